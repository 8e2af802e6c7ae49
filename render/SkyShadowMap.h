// The two sky shadow maps, `SkyShadowMap` (global g_SkyShadowMap): the
// projector of each map (texture size, two distances, bias). The render
// targets and the shadow passes come with the renderer; until then a new
// projector is only stored.
#pragma once

class SkyShadowMap {
  public:
    static constexpr int NUM_MAPS = 2;

    virtual ~SkyShadowMap() = default;

    // An index outside 0..1 is taken as 1.
    void SetProjector(int map, int size, int distance1, int distance2, float bias);
    void GetProjector(int map, int* size, int* distance1, int* distance2, float* bias) const;
    // Per engine update, from the renderer's update: the maps' light
    // matrices and up-to-date state (recorded only until the maps exist).
    void Update();

  private:
    static int Map(int map) { return map == 0 ? 0 : 1; }

    struct Projector {
        int iSize = 0;
        int iDistance1 = 0;
        int iDistance2 = 0;
        float fBias = 0;
    };
    Projector m_Projectors[NUM_MAPS];
};

extern SkyShadowMap g_SkyShadowMap;
