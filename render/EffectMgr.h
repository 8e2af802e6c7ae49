// The effect manager, `EEffectMgr` (global g_EffectMgr): the effects of the
// scene passes. The effects come with the renderer; this holds its
// engine-lifetime entry points and the reflection switch the behaviour layer
// reads (objects are classed for the water reflection while it is on).
#pragma once

class EEffectMgr {
  public:
    virtual ~EEffectMgr() = default;

    // Engine start and release.
    void Init() { m_bInitialised = true; }
    void Destroy() { m_bInitialised = false; }
    bool IsInitialised() const { return m_bInitialised; }

    bool m_bReflection = false;

  private:
    bool m_bInitialised = false;
};

extern EEffectMgr g_EffectMgr;
