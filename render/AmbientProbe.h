// Ambient-light probes, `EAmbientProbe` (global g_AmbientProbe): objects
// queued for a probe render of their ambient light. Only the per-world
// lifecycle and the queue step of the engine render are here until the probe
// targets are built; without targets the queue is emptied unprobed.
#pragma once

class EAmbientProbe {
  public:
    virtual ~EAmbientProbe() = default;
    void Init() { m_bInitialised = true; }
    void Destroy() { m_bInitialised = false; }
    // Works off the queue of objects waiting for a probe.
    void ProcessQueue() {}
    bool IsInitialised() const { return m_bInitialised; }

  private:
    bool m_bInitialised = false;
};

extern EAmbientProbe g_AmbientProbe;
