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
#include "render/PassSkeleton.h"
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

// The ambient colour and fog keys of a walk: a fixed-colour object takes
// its set's colour as well.
passes::LightKeys ReflectionKeys() {
    passes::LightKeys keys;
    keys.probedAmbient = false;
    return keys;
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
    g_EnvironmentSettings.RenderSky(&mirrored);
    RenderReflectionMeshes(&mirrored, &projection);
    RenderReflectionSkinmeshes(&mirrored, &projection);
    RestoreTargets();
}

void EDepthRender::RenderReflectionMeshes(const math::Matrix* view, const math::Matrix* projection) {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    EffectRecord* fx =
        passes::FindPassEffect("SimplestMesh", "No simplest mesh HEFFECT", "No simplest mesh ID3DXEffect");
    if (!fx) return;
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    const math::Matrix& V = view ? *view : g_Camera.View();
    const math::Matrix& P = projection ? *projection : g_Camera.Projection();
    passes::ClearStagesForEffect();
    cache.EndTechnique(fx);
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
    passes::SetSkyLightArrays(fx, INFINITY);
    const bool noLights[3] = {false, false, false};
    const effect::Handle hUseLight = EffectParam(fx, &EffectRecord::g_bUseLight, "g_bUseLight");
    e->SetBoolArray(hUseLight, noLights, 3);
    d->SetVertexDeclaration(g_pVertexDeclarations[0]);
    // Only opaque and cut-out textures are reflected: they lay their depth
    // and draw unblended, so overlapping meshes hide each other by distance
    // rather than by the order of the texture list.
    cache.EndTransparent(fx);
    cache.EndTranslucent(fx);
    d->SetRenderState(RenderState::ZWriteEnable, 1);
    const effect::Handle hUseSkyLight = EffectParam(fx, &EffectRecord::g_bUseSkyLight, "g_bUseSkyLight");
    e->SetBool(hUseSkyLight, UseSkyLight);
    const math::Vec3 eye = g_Camera.GetPosition();
    passes::SetCameraParameters(fx, passes::CameraOf(V, P, &eye),
                                passes::kView | passes::kViewInv | passes::kProj | passes::kEye4);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM"), false);
    d->SetRenderState(RenderState::CullMode, gfx::StateValue(gfx::Cull::Cw));

    const effect::Handle hWvp =
        EffectParam(fx, &EffectRecord::g_mWorldViewProjection, "g_mWorldViewProjection");
    const effect::Handle hWorld = EffectParam(fx, &EffectRecord::g_mWorld, "g_mWorld");
    const effect::Handle hWorldView = EffectParam(fx, &EffectRecord::g_mWorldView, "g_mWorldView");
    const passes::LightHandles light(fx);
    const effect::Handle hVertexColor = EffectParam(fx, &EffectRecord::g_bVertexColor, "g_bVertexColor");
    const int limit = TheWorldHooks().IntroRunning() ? kIntroMeshDistance : kMeshDistance;
    const math::Matrix VP = V * P;
    passes::LightKeys keys = ReflectionKeys();

    for (strtexture* const* entry = g_Renderer.m_pMeshTextures; *entry; ++entry) {
        strtexture* t = *entry;
        const TextureDescription& desc = t->desc;
        if (t->bDoNotRender || desc.bTranslucent || desc.bWater || desc.bAdditive || desc.bStain) continue;
        cache.BeginTechniqueByName(fx, "RenderScene", true);
        bool first = true;
        for (strlistameshy* u = t->pMeshes; u; u = u->next) {
            ObjectRecord* h = u->m_hObject;
            if (!passes::DrawsSeenSubset(u) || !Reflected(h, limit)) continue;
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
                e->SetFloat(EffectParam(fx, &EffectRecord::g_fTextureDensity, "g_fTextureDensity"),
                            passes::TextureDensity(t));
                e->CommitChanges();
            }
            passes::UploadAmbient(e, light, &keys, h, t->bAnimated != 0, nullptr);
            // The static meshes keep their fog in the record.
            passes::UploadFog(e, light, &keys, h, nullptr, h->fReflectionFog);
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
    EffectRecord* fx = passes::FindPassEffect("SimplestSkinmesh", "No SimpleSkinmesh HEFFECT",
                                              "No SimpleSkinmesh ID3DXEffect");
    if (!fx) return;
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
    passes::SetSkyLightArrays(fx, INFINITY);
    if (!cache.BeginTechniqueByName(fx, "RenderScene", true)) return;
    const math::Vec3 eye = g_Camera.GetPosition();
    passes::SetCameraParameters(fx, passes::CameraOf(V, P, &eye),
                                passes::kView | passes::kViewInv | passes::kProj | passes::kEye4);
    cache.EndTransparent(fx);
    cache.EndTranslucent(fx);
    const effect::Handle hUseSkyLight = EffectParam(fx, &EffectRecord::g_bUseSkyLight, "g_bUseSkyLight");
    e->SetBool(hUseSkyLight, UseSkyLight);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM"), false);
    d->SetRenderState(RenderState::CullMode, gfx::StateValue(gfx::Cull::Cw));
    const passes::LightHandles light(fx);
    passes::LightKeys keys = ReflectionKeys();

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
                e->SetFloat(EffectParam(fx, &EffectRecord::g_fTextureDensity, "g_fTextureDensity"),
                            passes::TextureDensity(t));
                e->CommitChanges();
            }
            passes::UploadAmbient(e, light, &keys, h, t->bAnimated != 0, nullptr);
            passes::UploadFog(e, light, &keys, h, nullptr);
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
