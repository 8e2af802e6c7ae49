// The water reflection: before the scene, the world mirrored in the
// horizontal plane through the object named "water" is drawn into the depth
// render's water target with the cheapest effects, "SimplestMesh" and
// "SimplestSkinmesh", lit by the vertex ambient, the sky light, the
// objects' ambient colours and the fog; the water pass samples it. The
// mirror swaps the winding, so the reflection culls clockwise faces. There
// is no clip plane: what lies under the water is mirrored too.
#include <cmath>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Options.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "render/DepthRender.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

namespace {

using gfx::RenderState;

constexpr uint32_t kReflectionClearColour = 0xFF808080;
// Distance terms beyond which nothing is reflected.
constexpr int kMeshDistance = 6000;
constexpr int kIntroMeshDistance = 20000;
constexpr int kSkinMeshDistance = 2000;
// Object flags: drawn (flags value 1), kept out (0x100000); second flags:
// lit from inside (8), no fog (0x40000); kind bits: value 2 keeps a skinned
// mesh out.
constexpr uint32_t kFlagDrawn = 0x1;
constexpr uint32_t kFlagNotReflected = 0x100000;
constexpr uint32_t kFlag2LitFromInside = 0x8;
constexpr uint32_t kKindNotReflected = 0x2;
constexpr float kNoFogFar = 80008.0f;
constexpr float kNoFogNear = 80000.0f;
constexpr int kNone = -1;

math::Vec4 Channels(uint32_t packed) {
    return math::Vec4{float((packed >> 16) & 0xFF) / 255.0f, float((packed >> 8) & 0xFF) / 255.0f,
                      float(packed & 0xFF) / 255.0f, 1.0f};
}

// g_SkyLightDir, g_SkyLightDiffuse and g_bUseSkyLightX: arrays of two whose
// first element is the sky light (colour times its power) and whose second
// is switched off.
void SetSkyLight(const EffectRecord* fx) {
    effect::Effect* e = fx->pEffect;
    const EnvironmentSettings& env = g_EnvironmentSettings;
    const float* d = env.SkyLightDirection();
    float length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (length == 0.0f) length = 1.0f;
    uint32_t c = 0;
    env.GetSkyLightColor(&c);
    const float p = SkyLightPower;
    const math::Vec4 direction[2] = {{d[0] / length, d[1] / length, d[2] / length, 0.0f}, {}};
    const math::Vec4 diffuse[2] = {{float((c >> 16) & 0xFF) / 255.0f * p, float((c >> 8) & 0xFF) / 255.0f * p,
                                    float(c & 0xFF) / 255.0f * p, 1.0f},
                                   {}};
    const bool on[2] = {env.m_bSkyLightInUse, false};
    e->SetVectorArray(EffectParam(fx, &EffectRecord::g_SkyLightDir, "g_SkyLightDir"), direction, 2);
    e->SetVectorArray(EffectParam(fx, &EffectRecord::g_SkyLightDiffuse, "g_SkyLightDiffuse"), diffuse, 2);
    if (gfx::Failed(e->SetBoolArray(e->GetParameterByName(effect::Handle(), "g_bUseSkyLightX"), on, 2)))
        g_Console.Print("Set failed");
}

// The view, its inverse, the projection and the eye as (x, y, z, 1).
void SetViewValues(const EffectRecord* fx, const math::Matrix& view, const math::Matrix& projection) {
    effect::Effect* e = fx->pEffect;
    math::Matrix viewInv;
    math::MatrixInverse(view, &viewInv);
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mView, "g_mView"), view);
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mViewInv, "g_mViewInv"), viewInv);
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mProj, "g_mProj"), projection);
    const math::Vec3 eye = g_Camera.GetPosition();
    e->SetVector(EffectParam(fx, &EffectRecord::g_CameraPosition, "g_CameraPosition"),
                 math::Vec4{eye.x, eye.y, eye.z, 1.0f});
}

// The texture's first drawn entry: its maps, specular and density.
void SetTextureValues(const EffectRecord* fx, strtexture* t) {
    effect::Effect* e = fx->pEffect;
    g_Renderer.BindTextureStages(t, false);
    const bool specular = t->desc.bSpecular && TheWorldHooks().SpecularOption();
    if (specular) {
        e->SetFloat(EffectParam(fx, &EffectRecord::g_SpecularCone, "g_SpecularCone"), t->desc.fSpecularCone);
        e->SetFloat(EffectParam(fx, &EffectRecord::g_SpecularPower, "g_SpecularPower"),
                    t->desc.fSpecularPower);
    }
    e->SetBool(EffectParam(fx, &EffectRecord::g_bDrawSpecular, "g_bDrawSpecular"), specular);
}

void SetDensity(const EffectRecord* fx, const strtexture* t) {
    const float density = t->desc.fTextureDensity == 0.0f ? 1.0f : t->desc.fTextureDensity;
    fx->pEffect->SetFloat(EffectParam(fx, &EffectRecord::g_fTextureDensity, "g_fTextureDensity"), density);
}

// The fog of an object's set, sent when the set differs from the last one
// sent (the static meshes keep it in the record); an object without fog
// gets distances beyond anything drawn.
void SendFog(const EffectRecord* fx, ObjectRecord* h, int* lastSet, bool keep) {
    effect::Effect* e = fx->pEffect;
    const effect::Handle hFar = EffectParam(fx, &EffectRecord::g_FogFar, "g_FogFar");
    const effect::Handle hNear = EffectParam(fx, &EffectRecord::g_FogNear, "g_FogNear");
    if (h->dwFlags2 & objflags::kFlag2NoFog) {
        e->SetFloat(hFar, kNoFogFar);
        e->SetFloat(hNear, kNoFogNear);
        *lastSet = kNone;
        return;
    }
    if (h->iFogIdx == *lastSet) return;
    const EnvironmentSettings& env = g_EnvironmentSettings;
    uint32_t color = 0;
    float fogFar = 0.0f, fogNear = 0.0f;
    env.GetFogColor(&color, h->iFogIdx);
    env.GetFogFar(&fogFar, h->iFogIdx);
    env.GetFogNear(&fogNear, h->iFogIdx);
    const math::Vec4 c = Channels(color);
    if (keep) {
        float* cached = h->fReflectionFog;
        cached[0] = c.x, cached[1] = c.y, cached[2] = c.z, cached[3] = c.w;
        cached[4] = fogFar;
        cached[5] = fogNear;
    }
    e->SetVector(EffectParam(fx, &EffectRecord::g_FogColor, "g_FogColor"), c);
    e->SetFloat(hFar, fogFar);
    e->SetFloat(hNear, fogNear);
    *lastSet = h->iFogIdx;
}

bool Reflected(const ObjectRecord* h, int limit) {
    return (h->dwFlags & kFlagDrawn) && !(h->dwFlags & kFlagNotReflected) && !h->bAlwaysWipe &&
           h->iCameraDistance <= limit;
}

} // namespace

math::Matrix EDepthRender::ReflectionView(const math::Vec3& waterPosition, const math::Matrix& view) {
    const math::Plane plane =
        math::PlaneFromPoints(waterPosition, waterPosition + math::Vec3{64.0f, 0.0f, 0.0f},
                              waterPosition + math::Vec3{0.0f, 0.0f, 64.0f});
    return math::MatrixReflect(plane) * view;
}

void EDepthRender::RenderWaterReflection() {
    g_Renderer.RecordPass("EDepthRender::RenderWaterReflection");
    gfx::Device* d = g_pD3DInterface;
    if (!d || !m_pWaterTexture || !m_pWaterDepth) return;
    const math::Matrix projection = g_Camera.Projection();
    const math::Matrix view = g_Camera.View();
    ObjectRecord* water = g_Engine.FindObjectByName("water");
    if (!water) {
        g_Console.Print("No water object!");
        return;
    }
    const math::Matrix mirrored = ReflectionView(water->vPosition, view);
    // Taken once per target: the frame asks the device for nothing new.
    if (!m_pWaterSurface && m_pWaterTexture->GetSurfaceLevel(0, &m_pWaterSurface) != gfx::Result::Ok) {
        m_pWaterSurface = nullptr;
        return;
    }
    SaveTargets();
    d->SetDepthStencilSurface(m_pWaterDepth);
    d->SetRenderTarget(0, m_pWaterSurface);
    d->SetViewport(m_WaterViewport);
    d->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, kReflectionClearColour, 1.0f, 0);
    g_EnvironmentSettings.RenderSky();
    RenderReflectionMeshes(&mirrored, &projection);
    RenderReflectionSkinmeshes(&mirrored, &projection);
    RestoreTargets();
}

void EDepthRender::RenderReflectionMeshes(const math::Matrix* view, const math::Matrix* projection) {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    EffectRecord* fx = g_EffectMgr.FindEffect("SimplestMesh");
    if (!fx) {
        g_Console.Print("No simplest mesh HEFFECT");
        return;
    }
    if (!fx->pEffect) {
        g_Console.Print("No simplest mesh ID3DXEffect");
        return;
    }
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    const math::Matrix& V = view ? *view : g_Camera.View();
    const math::Matrix& P = projection ? *projection : g_Camera.Projection();
    for (uint32_t stage = 0; stage < 16; ++stage)
        cache.SetTexture(stage, nullptr);
    cache.EndTechnique(fx);
    d->SetFVF(0);
    d->SetProgram(nullptr);
    cache.EndTranslucent(fx);
    cache.EndTransparent(fx);
    if (!cache.BeginTechniqueByName(fx, "RenderScene", true)) return;

    const EnvironmentSettings& env = g_EnvironmentSettings;
    e->SetFloat(e->GetParameterByName(effect::Handle(), "g_fVertexAmbientBrightness"),
                env.m_fVertexAmbientBrightness);
    e->SetFloat(e->GetParameterByName(effect::Handle(), "g_fVertexAmbientContrast"),
                env.m_fVertexAmbientContrast);
    const float* va = env.m_vVertexAmbientColor;
    e->SetVector(e->GetParameterByName(effect::Handle(), "g_fVertexAmbientColor"),
                 math::Vec4{va[0], va[1], va[2], 1.0f});
    SetSkyLight(fx);
    const bool noLights[3] = {false, false, false};
    const effect::Handle hUseLight = EffectParam(fx, &EffectRecord::g_bUseLight, "g_bUseLight");
    e->SetBoolArray(hUseLight, noLights, 3);
    d->SetVertexDeclaration(g_pVertexDeclarations[0]);
    cache.EndTransparent(fx);
    cache.BeginTranslucent(fx);
    const effect::Handle hUseSkyLight = EffectParam(fx, &EffectRecord::g_bUseSkyLight, "g_bUseSkyLight");
    e->SetBool(hUseSkyLight, UseSkyLight);
    SetViewValues(fx, V, P);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM"), false);
    d->SetRenderState(RenderState::CullMode, gfx::StateValue(gfx::Cull::Cw));

    const effect::Handle hWvp =
        EffectParam(fx, &EffectRecord::g_mWorldViewProjection, "g_mWorldViewProjection");
    const effect::Handle hWorld = EffectParam(fx, &EffectRecord::g_mWorld, "g_mWorld");
    const effect::Handle hWorldView = EffectParam(fx, &EffectRecord::g_mWorldView, "g_mWorldView");
    const effect::Handle hAmbient =
        EffectParam(fx, &EffectRecord::g_AmbientLightDiffuse, "g_AmbientLightDiffuse");
    const effect::Handle hVertexColor = EffectParam(fx, &EffectRecord::g_bVertexColor, "g_bVertexColor");
    const int limit = TheWorldHooks().IntroRunning() ? kIntroMeshDistance : kMeshDistance;
    const math::Matrix VP = V * P;
    int ambientSet = kNone, fogSet = kNone;

    for (strtexture* const* entry = g_Renderer.m_pMeshTextures; *entry; ++entry) {
        strtexture* t = *entry;
        const TextureDescription& desc = t->desc;
        if (t->bDoNotRender || desc.bTranslucent || desc.bWater || desc.bAdditive || desc.bStain) continue;
        cache.BeginTechniqueByName(fx, "RenderScene", true);
        bool first = true;
        for (strlistameshy* u = t->pMeshes; u; u = u->next) {
            ObjectRecord* h = u->m_hObject;
            if (!u->pMesh || !h || !h->bVisibleNow || !h->bSeen || !Reflected(h, limit) ||
                u->dwSubset >= ObjectRecord::NUM_SUBSETS || !h->bSubsetDraw[u->dwSubset] || !h->pD3DXMesh)
                continue;
            const math::Matrix& world = g_EngineObject.RenderValues(h->iIndex).mWorld;
            e->SetMatrix(hWvp, world * VP);
            e->SetMatrix(hWorld, world);
            e->SetMatrix(hWorldView, world * V);
            if (first) {
                first = false;
                SetTextureValues(fx, t);
                if (desc.bTransparent) {
                    if (!cache.m_bTransparentOn) cache.BeginTransparent(fx);
                } else if (cache.m_bTransparentOn) {
                    cache.EndTransparent(fx);
                }
                SetDensity(fx, t);
                e->CommitChanges();
            }
            if (h->iAmbientLightIdx != ambientSet || t->bAnimated) {
                e->SetVector(hAmbient, Channels(env.GetAmbientColor(h->iAmbientLightIdx)));
                ambientSet = t->bAnimated ? kNone : h->iAmbientLightIdx;
            }
            SendFog(fx, h, &fogSet, true);
            if (UseSkyLight) e->SetBool(hUseSkyLight, !(h->dwFlags2 & kFlag2LitFromInside));
            e->SetBoolArray(hUseLight, noLights, 3);
            e->SetBool(hVertexColor, h->bVertexColor != 0);
            e->CommitChanges();
            h->pD3DXMesh->DrawSubset(u->dwSubset);
        }
    }
    cache.EndTransparent(fx);
    cache.EndTranslucent(fx);
    cache.ResetCullMode();
    cache.EndTechnique(fx);
}

void EDepthRender::RenderReflectionSkinmeshes(const math::Matrix* view, const math::Matrix* projection) {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    d->SetFVF(0);
    d->SetVertexDeclaration(g_pVertexDeclarations[1]);
    if (!DrawModels) return;
    EffectRecord* fx = g_EffectMgr.FindEffect("SimplestSkinmesh");
    if (!fx) {
        g_Console.Print("No SimpleSkinmesh HEFFECT");
        return;
    }
    if (!fx->pEffect) {
        g_Console.Print("No SimpleSkinmesh ID3DXEffect");
        return;
    }
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    const math::Matrix& V = view ? *view : g_Camera.View();
    const math::Matrix& P = projection ? *projection : g_Camera.Projection();
    for (uint32_t stage = 0; stage < 16; ++stage)
        cache.SetTexture(stage, nullptr);
    cache.EndTechnique(fx);
    d->SetProgram(nullptr);
    cache.EndTranslucent(fx);
    cache.EndTransparent(fx);
    SetSkyLight(fx);
    if (!cache.BeginTechniqueByName(fx, "RenderScene", true)) return;
    SetViewValues(fx, V, P);
    cache.EndTransparent(fx);
    cache.EndTranslucent(fx);
    const effect::Handle hUseSkyLight = EffectParam(fx, &EffectRecord::g_bUseSkyLight, "g_bUseSkyLight");
    e->SetBool(hUseSkyLight, UseSkyLight);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM"), false);
    d->SetRenderState(RenderState::CullMode, gfx::StateValue(gfx::Cull::Cw));
    const effect::Handle hAmbient =
        EffectParam(fx, &EffectRecord::g_AmbientLightDiffuse, "g_AmbientLightDiffuse");
    const EnvironmentSettings& env = g_EnvironmentSettings;
    int ambientSet = kNone, fogSet = kNone;

    for (strtexture* const* entry = g_Renderer.m_pSkinMeshTextures; *entry; ++entry) {
        strtexture* t = *entry;
        const TextureDescription& desc = t->desc;
        if (t->bDoNotRender || desc.bAdditive || desc.bStain || desc.bTranslucent) continue;
        cache.BeginTechniqueByName(fx, "RenderScene", false);
        bool first = true;
        for (strlistaskinmeshy* u = t->pSkinMeshes; u; u = u->next) {
            ObjectRecord* h = u->m_hObject;
            if (!h || !u->pSkinMesh || (h->dwKindFlags & kKindNotReflected) ||
                !Reflected(h, kSkinMeshDistance) || !h->bVisibleNow)
                continue;
            // Unseen ones only in the reduced-render mode.
            if (!h->bSeen && !g_Engine.m_bReducedRenderMode) continue;
            if (first) {
                first = false;
                SetTextureValues(fx, t);
                SetDensity(fx, t);
                e->CommitChanges();
            }
            if (h->iAmbientLightIdx != ambientSet || t->bAnimated) {
                e->SetVector(hAmbient, Channels(env.GetAmbientColor(h->iAmbientLightIdx)));
                ambientSet = t->bAnimated ? kNone : h->iAmbientLightIdx;
            }
            SendFog(fx, h, &fogSet, false);
            if (UseSkyLight) e->SetBool(hUseSkyLight, !(h->dwFlags2 & kFlag2LitFromInside));
            e->CommitChanges();
            u->pSkinMesh->Render(t->id, u->dwSubset, fx);
        }
    }
    cache.ResetCullMode();
    cache.EndTransparent(fx);
    cache.EndTranslucent(fx);
    cache.EndTechnique(fx);
}
