// Debug view lines, `EViewLines` (global g_ViewLines): line lists drawn with
// the fixed-function pipeline. Only the per-world create and release are
// here until the lines are drawn.
#pragma once

class EViewLines {
  public:
    virtual ~EViewLines() = default;
    void Create() { m_bCreated = true; }
    void Release() { m_bCreated = false; }
    bool IsCreated() const { return m_bCreated; }

  private:
    bool m_bCreated = false;
};

extern EViewLines g_ViewLines;
