// Ambient-light probes, `EAmbientProbe` (global g_AmbientProbe): objects
// queued for a probe render of their ambient light. Only the per-world
// lifecycle and the queue step of the engine render are here until the probe
// targets are built; without targets the queue is emptied unprobed.
#pragma once

#include "platform/math/Types.h"

struct ObjectRecord;

class EAmbientProbe {
  public:
    // The lighting sample of an object lit from the ground under it: where
    // it was last taken (the object's position until then), and a new one
    // taken now. The ground tests and the probe come with the renderer; the
    // sample point is kept per slot.
    math::Vec3 SamplePoint(const ObjectRecord* h) const;
    void SampleObjectLighting(const ObjectRecord* h);

    virtual ~EAmbientProbe() = default;
    void Init() { m_bInitialised = true; }
    void Destroy() { m_bInitialised = false; }
    // Works off the queue of objects waiting for a probe.
    void ProcessQueue() {}
    bool IsInitialised() const { return m_bInitialised; }

  private:
    bool m_bInitialised = false;
    static constexpr int NUM_SLOTS = 4000;
    math::Vec3 m_vSamplePoints[NUM_SLOTS];
    bool m_bSampled[NUM_SLOTS] = {};
};

extern EAmbientProbe g_AmbientProbe;
