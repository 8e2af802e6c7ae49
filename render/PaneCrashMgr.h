// Breaking glass panes, `CPaneCrashMgr` (global g_PaneCrashMgr): the shards of
// a destroyed glass object fall and fade. Only the entry points of the engine
// frame and the world start are here until the panes are built: the panes
// that were started are counted, and the world start releases them.
#pragma once

#include <cstdint>

struct ObjectRecord;

class CPaneCrashMgr {
  public:
    virtual ~CPaneCrashMgr() = default;

    // Starts the shattering of the object's pane.
    void Start(ObjectRecord* h) {
        if (h) ++m_iActivePanes;
    }
    // Per engine frame: the shards' step (no shards exist yet).
    void Update() {}
    // The shards' drawing in the renderer's scene (recorded only until the
    // shards exist).
    void Render();
    // Every pane ends (world start and close).
    void Release() { m_iActivePanes = 0; }
    int ActivePanes() const { return m_iActivePanes; }

  private:
    int m_iActivePanes = 0;
};

extern CPaneCrashMgr g_PaneCrashMgr;
