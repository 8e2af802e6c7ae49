// The fastest pass (SimpleRender): the two base passes that draw the solid
// world with ambient light, sky light and fog, without point lights or
// shadow maps. Each walks its render list texture by texture, so that
// texture stages and modes change once per texture, and per-object ambient
// and fog colours are uploaded only when the object's index differs from the
// last one uploaded.
#include <algorithm>
#include <cmath>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/PassSkeleton.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "world/Camera.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

using objflags::kFlag2NoSkyLight;

constexpr const char* kTechnique = "RenderSceneFastest";
// Sky-light power of static meshes at most.
constexpr float kMeshSkyLightPowerCap = 2.0f;

// The camera values of a pass: the given matrices or the camera's, the
// inverse view and the eye it places.
void SetCameraValues(const EffectRecord* fx, const math::Matrix* view, const math::Matrix* projection) {
    passes::SetCameraParameters(fx,
                                passes::CameraOf(view ? *view : g_Camera.View(),
                                                 projection ? *projection : g_Camera.Projection(), nullptr),
                                passes::kView | passes::kViewInv | passes::kProj | passes::kEye4);
}

// The cull mode, alpha modes and texture density of a texture's first drawn
// user. True when an alpha mode changed: the technique is begun again for
// the next texture.
bool SetTextureModes(EffectRecord* fx, const strtexture* t) {
    ERenderStateCache& cache = g_RenderStateCache;
    cache.SetCullMode(!t->desc.b2Sided);
    bool changed = false;
    if (t->desc.bTransparent != cache.m_bTransparentOn) {
        if (t->desc.bTransparent) {
            cache.BeginTransparent(fx);
        } else {
            cache.EndTransparent(fx);
        }
        changed = true;
    }
    if (t->desc.bTranslucent != cache.m_bTranslucentOn) {
        if (t->desc.bTranslucent) {
            cache.BeginTranslucent(fx);
        } else {
            cache.EndTranslucent(fx);
        }
        changed = true;
    }
    fx->pEffect->SetFloat(EffectParam(fx, &EffectRecord::g_fTextureDensity, "g_fTextureDensity"),
                          passes::TextureDensity(t));
    return changed;
}

// Begins the pass's technique again when another one was begun last.
void KeepTechnique(EffectRecord* fx, const char* technique, const char** begun) {
    if (*begun && StrCmpNoCase(*begun, technique) == 0) return;
    g_RenderStateCache.BeginTechniqueByName(fx, technique, false);
    *begun = technique;
}

void EndModes(EffectRecord* fx) {
    g_RenderStateCache.EndTransparent(fx);
    g_RenderStateCache.EndTranslucent(fx);
    g_RenderStateCache.EndTechnique(fx);
}

} // namespace

void ERenderer::RenderSimpleMeshes(const math::Matrix* view, const math::Matrix* projection) {
    RecordPass("ERenderer::RenderSimpleMeshes");
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    EffectRecord* fx =
        passes::FindPassEffect("SimpleMesh", "No simple mesh HEFFECT", "No simple mesh ID3DXEffect");
    if (!fx) return;
    effect::Effect* e = fx->pEffect;
    passes::ClearStagesForEffect();
    g_RenderStateCache.EndTechnique(fx);
    if (!g_RenderStateCache.BeginTechniqueByName(fx, kTechnique, true)) return;
    const char* begun = kTechnique;
    passes::SetSkyLightArrays(fx, kMeshSkyLightPowerCap);
    SetCameraValues(fx, view, projection);
    const bool noLights[3] = {false, false, false};
    e->SetBoolArray(EffectParam(fx, &EffectRecord::g_bUseLight, "g_bUseLight"), noLights, 3);
    d->SetVertexDeclaration(g_pVertexDeclarations[0]);
    g_RenderStateCache.EndTransparent(fx);
    g_RenderStateCache.BeginTranslucent(fx);
    const effect::Handle hUseSkyLight = EffectParam(fx, &EffectRecord::g_bUseSkyLight, "g_bUseSkyLight");
    e->SetBool(hUseSkyLight, UseSkyLight);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bDrawDetail, "g_bDrawDetail"), false);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bDetailAsNormal, "g_bDetailAsNormal"), false);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM"), false);
    const passes::ObjectMatrixHandles matrices(fx, false);
    const effect::Handle hVertexColor = EffectParam(fx, &EffectRecord::g_bVertexColor, "g_bVertexColor");
    const passes::LightHandles light(fx);
    passes::LightKeys keys;

    for (strtexture** entry = m_pMeshTextures; *entry; ++entry) {
        strtexture* t = *entry;
        const TextureDescription& desc = t->desc;
        if (desc.bTranslucent) {
            m_bSecondCallSkyLitMeshes = 1;
            continue;
        }
        if (desc.bRayOfLight || desc.bWater || desc.bAdditive || desc.bStain ||
            (desc.bTransparent && !DrawTransparent))
            continue;
        KeepTechnique(fx, kTechnique, &begun);
        bool first = true;
        for (strlistameshy* u = t->pMeshes; u; u = u->next) {
            if (!passes::DrawsSeenSubset(u)) continue;
            ObjectRecord* h = u->m_hObject;
            const ObjectRenderValues& values = g_EngineObject.RenderValues(h->iIndex);
            passes::UploadObjectMatrices(e, matrices, values);
            if (first) {
                first = false;
                BindTextureStages(t, true);
                if (SetTextureModes(fx, t)) begun = nullptr;
                e->CommitChanges();
            }
            passes::UploadAmbient(e, light, &keys, h, t->bAnimated != 0, &values);
            e->CommitChanges();
            e->SetBool(hVertexColor, h->bVertexColor != 0);
            passes::UploadFog(e, light, &keys, h, &values);
            if (UseSkyLight) e->SetBool(hUseSkyLight, !(h->dwFlags2 & kFlag2NoSkyLight));
            passes::CountSubset(u->pMesh, u->dwSubset);
            e->CommitChanges();
            h->pD3DXMesh->DrawSubset(u->dwSubset);
            passes::CountObjectPolygons(h, &g_Debug.m_PolygonStats.renderedPolygons);
        }
    }
    EndModes(fx);
}

void ERenderer::RenderSimpleSkinmeshes(const math::Matrix* view, const math::Matrix* projection) {
    RecordPass("ERenderer::RenderSimpleSkinmeshes");
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    d->SetFVF(0);
    d->SetVertexDeclaration(g_pVertexDeclarations[1]);
    if (!DrawModels) return;
    EffectRecord* fx = passes::FindPassEffect("SimpleSkinmesh", "No SimpleSkinmesh HEFFECT",
                                              "No SimpleSkinmesh ID3DXEffect");
    if (!fx) return;
    effect::Effect* e = fx->pEffect;
    passes::SetSkyLightArrays(fx, INFINITY);
    g_RenderStateCache.EndTechnique(fx);
    if (!g_RenderStateCache.BeginTechniqueByName(fx, "RenderScene", true)) return;
    const char* begun = "RenderScene";
    SetCameraValues(fx, view, projection);
    g_RenderStateCache.EndTranslucent(fx);
    g_RenderStateCache.EndTransparent(fx);
    const effect::Handle hUseSkyLight = EffectParam(fx, &EffectRecord::g_bUseSkyLight, "g_bUseSkyLight");
    const effect::Handle hFullyBright =
        EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM");
    e->SetBool(hUseSkyLight, UseSkyLight);
    e->SetBool(hFullyBright, false);
    const passes::LightHandles light(fx);
    passes::LightKeys keys;

    for (strtexture** entry = m_pSkinMeshTextures; *entry; ++entry) {
        strtexture* t = *entry;
        const TextureDescription& desc = t->desc;
        if (t->bDoNotRender || desc.bAdditive || desc.bStain) continue;
        if (desc.bTranslucent) {
            m_bSecondCallSkyLitSkinMeshes = 1;
            continue;
        }
        KeepTechnique(fx, t->pNormal ? "RenderScene1" : "RenderScene", &begun);
        bool first = true;
        for (strlistaskinmeshy* u = t->pSkinMeshes; u; u = u->next) {
            ObjectRecord* h = u->m_hObject;
            if (!u->pSkinMesh || !h || !h->bSeen || !h->bVisibleNow) continue;
            if (first) {
                first = false;
                BindTextureStages(t, false);
                if (SetTextureModes(fx, t)) begun = nullptr;
                if (t->pDetail && DrawDetail) {
                    g_RenderStateCache.SetTexture(2, t->pDetail->pTexture);
                    e->SetFloat(EffectParam(fx, &EffectRecord::g_fDetailDensity, "g_fDetailDensity"),
                                desc.fDetailDensity);
                }
                if (t->pNormal) g_RenderStateCache.SetTexture(6, t->pNormal->pTexture);
                e->SetBool(hFullyBright, desc.bFullyBrightInNormalMask != 0);
                e->CommitChanges();
            }
            passes::UploadAmbient(e, light, &keys, h, t->bAnimated != 0, nullptr);
            e->CommitChanges();
            passes::UploadFog(e, light, &keys, h, nullptr);
            if (UseSkyLight) e->SetBool(hUseSkyLight, !(h->dwFlags2 & kFlag2NoSkyLight));
            e->CommitChanges();
            u->pSkinMesh->Render(t->id, u->dwSubset, fx);
        }
    }
    EndModes(fx);
}
