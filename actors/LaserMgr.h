// Laser beams, `LaserMgr` (global g_LaserMgr): up to 256 beams between
// objects. Only the per-frame and per-world entry points are here until the
// beams are built; no beam is ever switched on yet.
#pragma once

class LaserMgr {
  public:
    static constexpr int MAX_BEAMS = 256;
    virtual ~LaserMgr() = default;
    void Init() { m_iNumBeams = 0; }
    void Release() { m_iNumBeams = 0; }
    void Update() {}
    void Render() {}
    // Switches a beam off; ignored unless index < 256.
    void RemoveBeam(unsigned index) {
        if (index < MAX_BEAMS && m_iNumBeams > 0) --m_iNumBeams;
    }
    int m_iNumBeams = 0;
};

extern LaserMgr g_LaserMgr;
