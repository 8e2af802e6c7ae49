// The lava and water passes: the static-mesh subsets whose texture has a
// `lava` companion or is marked `water`, drawn with the effect "ambient".
// The surfaces move with the world time through wave phases and a sine; the
// water gets its own fog, its normal map scrolled twice, the environment
// cube of stage 6 and, in the full pipeline with "Realtime water
// reflection", the depth render's reflection texture on stage 3. The first
// drawn node of a texture decides the texture's fog for the frame.
#include <cmath>

#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/Mesh.h"
#include "render/DepthRender.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/PassSkeleton.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "render/WaterPasses.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

namespace {

using gfx::SamplerState;

// Forces the finest mip level on the water's reflection and cube stages.
constexpr float kFinestLevelBias = -1000.0f;
constexpr uint32_t kNormalStage = 1;
constexpr uint32_t kReflectionStage = 3;
constexpr uint32_t kEnvironmentStage = 6;
constexpr uint32_t kLavaStage = 8;
// The world whose water has the high waves.
constexpr const char* kHighWaveWorld = "worlds\\level_10.w";
constexpr float kHighWaveAmplitude = 32.0f;
constexpr float kWaveAmplitude = 4.0f;

void SetBias(uint32_t stage, float bias) {
    if (g_pD3DInterface)
        g_pD3DInterface->SetSamplerState(stage, SamplerState::MipMapLodBias, gfx::FloatState(bias));
}

// The handles of the parameters a water or lava pass sets per node and per
// texture, found once per pass.
struct Handles {
    passes::ObjectMatrixHandles matrices;
    effect::Handle normalDensity, amplitude, fogColor, waterColor, sinF, waterHeight, levelTime;
    effect::Handle falaX, falaZ, fogFar, fogNear, transparent, speedUp, speedDown, mapCoef;

    explicit Handles(const EffectRecord* fx) : matrices(fx, true) {
        effect::Effect* e = fx->pEffect;
        auto named = [e](const char* name) { return e->GetParameterByName(effect::Handle(), name); };
        normalDensity = EffectParam(fx, &EffectRecord::g_fNormalDensity, "g_fNormalDensity");
        amplitude = named("g_fWaterAmplitude");
        fogColor = EffectParam(fx, &EffectRecord::g_FogColor, "g_FogColor");
        waterColor = EffectParam(fx, &EffectRecord::g_WaterColor, "g_WaterColor");
        sinF = named("g_SinF");
        waterHeight = named("g_WaterHeight");
        levelTime = named("g_LevelTime");
        falaX = named("g_FalaX");
        falaZ = named("g_FalaZ");
        fogFar = named("g_WaterFogFar");
        fogNear = named("g_WaterFogNear");
        transparent = named("g_WaterTransparent");
        speedUp = named("g_fLavaSpeedUp");
        speedDown = named("g_fLavaSpeedDown");
        mapCoef = named("g_fLavaMapCoef");
    }
};

// The parameters of every pass, set once before the walk.
void SetFrameParameters(const EffectRecord* fx, bool sendFogColor) {
    effect::Effect* e = fx->pEffect;
    passes::SetCameraParameters(fx, passes::TakeCamera(),
                                passes::kView | passes::kViewInv | passes::kProj | passes::kEye3);
    const EnvironmentSettings& env = g_EnvironmentSettings;
    e->SetVector(EffectParam(fx, &EffectRecord::g_AmbientLightDiffuse, "g_AmbientLightDiffuse"),
                 passes::Channels(env.GetAmbientColor(0)));
    e->SetFloat(EffectParam(fx, &EffectRecord::g_fDebugLights, "g_fDebugLights"), 0.0f);
    if (sendFogColor) {
        uint32_t fog = 0;
        env.GetFogColor(&fog, 0);
        e->SetVector(EffectParam(fx, &EffectRecord::g_FogColor, "g_FogColor"), passes::Channels(fog));
    }
    e->SetVector(EffectParam(fx, &EffectRecord::g_SkyLightDir, "g_SkyLightDir"),
                 water::SkyLightDirection(env.SkyLightDirection()));
    uint32_t sky = 0;
    env.GetSkyLightColor(&sky);
    e->SetVector(EffectParam(fx, &EffectRecord::g_SkyLightDiffuse, "g_SkyLightDiffuse"),
                 TheWorldHooks().NoWaterSpecular() ? math::Vec4{0, 0, 0, 0} : passes::Channels(sky));
}

void SetNodeParameters(effect::Effect* e, const Handles& k, const ObjectRecord* h) {
    passes::UploadObjectMatrices(e, k.matrices, g_EngineObject.RenderValues(h->iIndex));
}

// The time-driven values of a texture.
void SetWave(effect::Effect* e, const Handles& k, const water::Wave& wave, const TextureDescription& desc) {
    e->SetFloat(k.sinF, wave.sinF);
    e->SetFloat(k.waterHeight, desc.fWaterHeight);
    e->SetFloat(k.levelTime, g_Engine.m_fWorldTime);
    e->SetFloat(k.falaX, wave.falaX);
    e->SetFloat(k.falaZ, wave.falaZ);
}

void DrawNode(effect::Effect* e, strlistameshy* u) {
    ObjectRecord* h = u->m_hObject;
    e->CommitChanges();
    h->pD3DXMesh->DrawSubset(u->dwSubset);
    passes::CountObjectPolygons(h, &g_Debug.m_PolygonStats.renderedPolygons);
}

// Takes part: not animated, no ray of light; the pass's own mark.
bool PlainSurface(const strtexture* t) {
    return !t->bAnimated && !t->desc.bRayOfLight;
}

bool WaterNodeDrawn(const strlistameshy* u) {
    const ObjectRecord* h = u->m_hObject;
    return u->pMesh && h && h->bSeen && h->bVisibleNow && h->pD3DXMesh;
}

// The two water passes: the plain one (reflection false) and the
// reflective one.
void RenderWaterSurfaces(ERenderer& r, bool reflective) {
    if (!DrawWater) return;
    EffectRecord* fx = g_EffectMgr.FindEffect("ambient");
    gfx::Device* d = g_pD3DInterface;
    if (!fx || !fx->pEffect || !d) return;
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    const bool reflection = reflective && OptionMV05;
    const float amplitude = reflective ? water::WaveAmplitude(g_Engine.m_szCurrentWorld) : 0.0f;
    d->SetFVF(0);
    d->SetVertexDeclaration(g_pVertexDeclarations[0]);
    if (reflection) {
        cache.BeginTechniqueByName(fx, "RenderSceneAmbientWaterReflection", true);
    } else if (reflective) {
        passes::BeginTechnique(fx, &EffectRecord::RenderSceneAmbientWater, "RenderSceneAmbientWater");
    } else {
        passes::BeginTechnique(fx, &EffectRecord::RenderSceneAmbientWater20, "RenderSceneAmbientWater20");
    }
    SetBias(kEnvironmentStage, kFinestLevelBias);
    SetFrameParameters(fx, reflective);
    const Handles k(fx);
    const water::Wave wave = water::WaveAt(
        reflection ? water::Surface::ReflectedWater : water::Surface::Water, g_Engine.m_fWorldTime);
    gfx::Texture* reflectionTexture = g_DepthRender.WaterTexture();

    passes::WalkMeshTextures(
        r.m_pMeshTextures, [](const strtexture* t) { return t->desc.bWater && PlainSurface(t); },
        WaterNodeDrawn,
        [&](strtexture* t, strlistameshy* u) {
            ObjectRecord* h = u->m_hObject;
            const TextureDescription& desc = t->desc;
            cache.SetTexture(0, t->pTexture);
            SetBias(kEnvironmentStage, kFinestLevelBias);
            SetBias(kReflectionStage, kFinestLevelBias);
            if (t->pNormal) cache.SetTexture(kNormalStage, t->pNormal->pTexture);
            if (reflection) {
                cache.SetTexture(kReflectionStage, reflectionTexture);
            } else if (t->pEnvironment) {
                cache.SetCubeTexture(kEnvironmentStage, t->pEnvironment->pCubeTexture);
            }
            e->SetFloat(k.normalDensity, desc.fNormalDensity);
            if (reflective) e->SetFloat(k.amplitude, amplitude);
            passes::FogSet fog = passes::FogOfSet(h->iFogIdx);
            if (reflective) {
                // Kept in the record (colour, alpha, far, near), and used
                // from there.
                float* cached = h->fReflectionFog;
                cached[0] = fog.color.x;
                cached[1] = fog.color.y;
                cached[2] = fog.color.z;
                cached[4] = fog.fogFar;
                cached[5] = fog.fogNear;
                fog.color = math::Vec4{cached[0], cached[1], cached[2], 0.0f};
                fog.fogFar = cached[4];
                fog.fogNear = cached[5];
            }
            e->SetVector(k.fogColor, fog.color);
            e->SetVector(k.waterColor, math::Vec4{fog.color.x, fog.color.y, fog.color.z, 0.0f});
            SetWave(e, k, wave, desc);
            const bool noFog = (h->dwFlags2 & objflags::kFlag2NoFog) != 0;
            e->SetFloat(k.fogFar, noFog ? passes::kNoFogFar : fog.fogFar);
            e->SetFloat(k.fogNear, noFog ? passes::kNoFogNear : fog.fogNear);
            e->SetFloat(k.transparent, desc.fWaterTransparent);
        },
        [&](strtexture*, strlistameshy* u) {
            SetNodeParameters(e, k, u->m_hObject);
            DrawNode(e, u);
        });
    cache.EndTechnique(fx);
    // The reflection target is drawn into before the next scene, and it and
    // the cube are made again at a device reset: no stage keeps them.
    if (reflection) cache.SetTexture(kReflectionStage, nullptr);
    cache.SetCubeTexture(kEnvironmentStage, nullptr);
    SetBias(kEnvironmentStage, CurrentSamplerBias());
    SetBias(kReflectionStage, CurrentSamplerBias());
}

} // namespace

namespace water {

Wave WaveAt(Surface surface, float T) {
    switch (surface) {
    case Surface::Lava:
        return {std::sin(T * 0.02f), T * 0.0029f, T * 0.0037f + 0.4f};
    case Surface::ReflectedWater:
        return {std::sin(T * 0.6f), T * 0.029f, T * 0.037f + 0.4f};
    case Surface::Water:
        break;
    }
    return {std::sin(T * 0.25f), T * 0.00004f, T * 0.00005f + 0.5f};
}

float WaveAmplitude(const char* world) {
    return world && StrCmpNoCase(world, kHighWaveWorld) == 0 ? kHighWaveAmplitude : kWaveAmplitude;
}

math::Vec4 SkyLightDirection(const float* d) {
    float length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (length == 0.0f) length = 1.0f;
    return math::Vec4{d[0] / length, d[1] / length, d[2] / length, 1.0f};
}

} // namespace water

void ERenderer::RenderLava() {
    RecordPass("ERenderer::RenderLava");
    EffectRecord* fx = g_EffectMgr.FindEffect("ambient");
    gfx::Device* d = g_pD3DInterface;
    if (!fx || !fx->pEffect || !d) return;
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    cache.BeginTechniqueByName(fx, "RenderSceneAmbientLava", true);
    SetFrameParameters(fx, true);
    const Handles k(fx);
    const water::Wave wave = water::WaveAt(water::Surface::Lava, g_Engine.m_fWorldTime);
    gfx::VertexDeclaration* meshDeclaration = g_pVertexDeclarations[0];

    passes::WalkMeshTextures(
        m_pMeshTextures, [](const strtexture* t) { return t->pLava && PlainSurface(t); },
        [](const strlistameshy* u) {
            const ObjectRecord* h = u->m_hObject;
            return u->pMesh && h && h->bVisibleNow && h->pD3DXMesh;
        },
        [&](strtexture* t, strlistameshy* u) {
            const TextureDescription& desc = t->desc;
            cache.SetTexture(0, t->pTexture);
            cache.SetTexture(kLavaStage, t->pLava->pTexture);
            e->SetVector(k.waterColor,
                         math::Vec4{desc.fWaterColor[0], desc.fWaterColor[1], desc.fWaterColor[2], 0.0f});
            SetWave(e, k, wave, desc);
            const bool noFog = (u->m_hObject->dwFlags2 & objflags::kFlag2NoFog) != 0;
            e->SetFloat(k.fogFar, noFog ? passes::kNoFogFar : desc.fWaterFogFar);
            e->SetFloat(k.fogNear, noFog ? passes::kNoFogNear : desc.fWaterFogNear);
            e->SetFloat(k.transparent, desc.fWaterTransparent);
            e->SetFloat(k.speedUp, desc.fLavaSpeedUp);
            e->SetFloat(k.speedDown, desc.fLavaSpeedDown);
            e->SetFloat(k.mapCoef, desc.fLavaMapCoef);
        },
        [&](strtexture*, strlistameshy* u) {
            // Another pass may have left its own declaration.
            gfx::VertexDeclaration* current = nullptr;
            d->GetVertexDeclaration(&current);
            if (current != meshDeclaration) d->SetVertexDeclaration(meshDeclaration);
            if (current) current->Release();
            SetNodeParameters(e, k, u->m_hObject);
            DrawNode(e, u);
        });
    cache.EndTechnique(fx);
}

void ERenderer::RenderWater() {
    RecordPass("ERenderer::RenderWater");
    RenderWaterSurfaces(*this, false);
}

void ERenderer::RenderWaterReflection() {
    RecordPass("ERenderer::RenderWaterReflection");
    RenderWaterSurfaces(*this, true);
}
