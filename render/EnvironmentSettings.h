// A world's atmosphere, `EnvironmentSettings` (global g_EnvironmentSettings):
// four ambient colours, four fog colours with their distances, the fog
// switch, the sky light and the lens-flare direction, the vertex-ambient
// tuning and the sky object. The world loader fills it, the console changes
// index 0, the renderer reads it and the save game keeps part of it (the
// 97-byte block of Save and Load). The sky-light power is the option
// `SkyLightPower`.
//
// The sky object is a world mesh without the visible bit, far away: only
// RenderSky draws it, centred on the eye with depth writes off, before the
// world's passes, so everything of the world lands on top of it.
//
// Colours are packed X8R8G8B8. The channel setters truncate the value toward
// zero and keep its low 8 bits (256 gives 0; nothing is clamped), take the
// other channels from the stored colour and leave the top byte 0. An index
// outside 0..3 means 0.
#pragma once

#include <cstdint>
#include <cstdio>

struct ObjectRecord;
namespace math {
struct Matrix;
}

class EnvironmentSettings {
  public:
    static constexpr int NUM_SETS = 4;

    void SetAmbientColor(uint32_t color, int index);
    void SetAmbientR(float value, int index);
    void SetAmbientG(float value, int index);
    void SetAmbientB(float value, int index);
    uint32_t GetAmbientColor(int index) const { return m_dwAmbient[Index(index)]; }

    // Stores fog colour[index] and hands it to the camera as its clear colour;
    // for index 0 also stores the console variables "FogR", "FogG", "FogB".
    void SetFogColor(uint32_t color, int index);
    void GetFogColor(uint32_t* color, int index) const;
    void SetFogR(float value, int index);
    void SetFogG(float value, int index);
    void SetFogB(float value, int index);
    void SetFogFar(float value, int index) { m_fFogFar[Index(index)] = value; }
    void GetFogFar(float* value, int index) const;
    void SetFogNear(float value, int index) { m_fFogNear[Index(index)] = value; }
    void GetFogNear(float* value, int index) const;
    void EnableFog() { m_bFogEnabled = true; }
    void DisableFog() { m_bFogEnabled = false; }
    bool FogEnabled() const { return m_bFogEnabled; }

    void SetSkyLightColor(uint32_t color) { m_dwSkyLightColor = color; }
    void GetSkyLightColor(uint32_t* color) const;
    void SetSkyLightR(float value);
    void SetSkyLightG(float value);
    void SetSkyLightB(float value);
    void SetSkyLightDirection(const float* direction);
    void SetLensFlareDirection(const float* direction);
    const float* SkyLightDirection() const { return m_vSkyLightDirection; }
    const float* LensFlareDirection() const { return m_vLensFlareDirection; }

    // The post-process's bloom cone and power.
    static void SetBloom(float cone, float power);

    // The direction of an orientation of yaw = rotation and pitch = pitch
    // (degrees, roll 0): its forward axis.
    static void DirectionFromAngles(float rotationDegrees, float pitchDegrees, float* direction);

    // The projector of sky shadow map 0 (texture size, two distances, bias).
    static void SetSkyLightProjector(int size, int distance1, int distance2, float bias);
    static void GetSkyLightProjector(int* size, int* distance1, int* distance2, float* bias);

    // The world's sky object, a mesh drawn as a camera-centred backdrop: a
    // second one replaces the first. Returns the new object, null on failure.
    ObjectRecord* CreateSkyObject(const char* fileName);
    void DeleteSkyObject();
    // Draws the sky object as the scene's backdrop: nothing unless the world
    // is shown, `DrawSky` is on and the sky object has its mesh; a mesh
    // whose geometry is gone prints "Nie ma mesha nieba". Leaves samplers
    // 0..7 at LOD bias -1.0, blending and alpha test off, depth test and
    // writes on and the view transform as it found it. `view` is the view
    // the sky is seen with (the camera's when null): the water reflection
    // passes its mirrored view, so the water shows the sky above it.
    void RenderSky(const math::Matrix* view = nullptr);
    ObjectRecord* SkyObject() const { return m_hSkyObject; }

    // The save block, SAVE_BLOCK_SIZE bytes little-endian: ambient colours
    // (0), fog colours (16), fog near (32) and far (48) distances, fog
    // enabled (64), sky-light power (65), colour (69) and direction (73),
    // lens-flare direction (85). Load stores the values as they are: the
    // camera's clear colour and the "FogR/G/B" variables stay as they were.
    // A null stream does nothing.
    static constexpr uint32_t SAVE_BLOCK_SIZE = 97;
    void Save(std::FILE* f) const;
    void Load(std::FILE* f);

    // Vertex-ambient tuning and the world's sky-light switch (world keys).
    float m_fVertexAmbientBrightness = 1.0f;
    float m_fVertexAmbientContrast = 1.0f;
    float m_vVertexAmbientColor[3] = {1.0f, 1.0f, 1.0f};
    float m_fVertexAmbientInsideBrightness = 1.0f;
    float m_fVertexAmbientInsideContrast = 1.0f;
    float m_vVertexAmbientInsideColor[3] = {1.0f, 1.0f, 1.0f};
    bool m_bSkyLightInUse = true;

  private:
    static int Index(int index) { return index < 0 || index >= NUM_SETS ? 0 : index; }

    uint32_t m_dwAmbient[NUM_SETS] = {};
    uint32_t m_dwFogColor[NUM_SETS] = {};
    float m_fFogFar[NUM_SETS] = {};
    float m_fFogNear[NUM_SETS] = {};
    bool m_bFogEnabled = false;
    uint32_t m_dwSkyLightColor = 0;
    float m_vSkyLightDirection[3] = {-1.0f, -0.5f, 0.5f};
    float m_vLensFlareDirection[3] = {-1.0f, -0.5f, 0.5f};
    ObjectRecord* m_hSkyObject = nullptr;
};

extern EnvironmentSettings g_EnvironmentSettings;
