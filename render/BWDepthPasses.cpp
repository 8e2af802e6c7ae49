// The black-and-white and depth passes: the scene drawn again into the
// post-processing's side targets. The black-and-white passes paint each
// object flat, white when it is kept in colour and the post-processing's
// black-and-white colour otherwise; the depth passes write each pixel's
// depth and blur amount for the depth of field. Transparent and excluded
// (additive, stain, translucent, ray-of-light, hidden) subsets take no part.
#include <algorithm>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/Mesh.h"
#include "render/PassSkeleton.h"
#include "render/PostProcess.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/ObjectRecord.h"

namespace {

constexpr math::Vec4 kKeptInColour{1.0f, 1.0f, 1.0f, 1.0f};

math::Vec4 BWColor(const ObjectRecord* h) {
    return g_PostProcess.IsObjectInBW(h) ? kKeptInColour : g_PostProcess.m_BWBackgroundColor;
}

// The subsets of a walked static mesh that both passes draw.
void DrawOpaqueSubsets(ObjectRecord* h) {
    const EMesh* mesh = h->Mesh();
    const uint32_t count = std::min<uint32_t>(mesh->m_dwNumSubsets, EMesh::MAX_SUBSETS);
    for (uint32_t i = 0; i < count; ++i) {
        if (!h->bSubsetDraw[i] || !mesh->m_bNonEmpty[i] || mesh->m_bTransparent[i] || mesh->m_bExcluded[i])
            continue;
        h->pD3DXMesh->DrawSubset(i);
    }
}

// The depth pass's object test: in view, seen, with a drawable mesh.
bool DepthObject(const ObjectRecord* h) {
    if (!h->bUsed || !h->bVisibleNow || !h->bSeen || !h->pD3DXMesh) return false;
    const EMesh* mesh = h->Mesh();
    return mesh != nullptr;
}

// The skinned passes' texture walk: every skinned texture but the hidden
// and blended ones; a node of a visible object whose skinned mesh's owner
// was seen.
bool SkinnedTextureTakes(const strtexture* t) {
    const TextureDescription& d = t->desc;
    return !t->bDoNotRender && !d.bTransparent && !d.bTranslucent && !d.bAdditive && !d.bStain;
}
bool SkinnedNodeDrawn(const strlistaskinmeshy* u) {
    const ObjectRecord* owner = u->pSkinMesh ? u->pSkinMesh->m_hObject : nullptr;
    return owner && u->m_hObject && u->m_hObject->bVisibleNow && owner->bSeen;
}

} // namespace

void ERenderer::RenderSceneBW() {
    RecordPass("ERenderer::RenderSceneBW");
    EffectRecord* fx = g_EffectMgr.FindEffect("ambient");
    if (!fx || !fx->pEffect) return;
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    cache.EndTranslucent(fx);
    cache.EndTransparent(fx);
    passes::SetCameraParameters(fx, passes::TakeCamera(), passes::kView | passes::kProj);
    g_RenderStateCache.BeginTechniqueByName(fx, "RenderSceneBW", true);
    const effect::Handle hWvp =
        EffectParam(fx, &EffectRecord::g_mWorldViewProjection, "g_mWorldViewProjection");
    const effect::Handle hWorld = EffectParam(fx, &EffectRecord::g_mWorld, "g_mWorld");
    const effect::Handle hColor = e->GetParameterByName(effect::Handle(), "g_BWColor");
    for (int slot = 0; slot < g_Engine.m_iMeshHighWater; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!passes::WalkedObject(h)) continue;
        const ObjectRenderValues& values = g_EngineObject.RenderValues(h->iIndex);
        e->SetMatrix(hWvp, values.mWorldViewProjection);
        e->SetMatrix(hWorld, values.mWorld);
        e->SetVector(hColor, BWColor(h));
        e->CommitChanges();
        DrawOpaqueSubsets(h);
        passes::CountObjectPolygons(h, &g_Debug.m_PolygonStats.visiblePolygons);
    }
    cache.EndTechnique(fx);
}

void ERenderer::RenderSceneDepth() {
    RecordPass("ERenderer::RenderSceneDepth");
    if (g_pD3DInterface) g_pD3DInterface->SetVertexDeclaration(g_pVertexDeclarations[0]);
    EffectRecord* fx = g_EffectMgr.FindEffect("ambient");
    if (!fx || !fx->pEffect) return;
    effect::Effect* e = fx->pEffect;
    g_PostProcess.SetFocusParams(e);
    g_RenderStateCache.BeginTechniqueByName(fx, "SceneDepth", true);
    const effect::Handle hWvp =
        EffectParam(fx, &EffectRecord::g_mWorldViewProjection, "g_mWorldViewProjection");
    for (int slot = 0; slot < g_Engine.m_iMeshHighWater; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!DepthObject(h)) continue;
        e->SetMatrix(hWvp, g_EngineObject.RenderValues(h->iIndex).mWorldViewProjection);
        e->CommitChanges();
        DrawOpaqueSubsets(h);
        passes::CountObjectPolygons(h, &g_Debug.m_PolygonStats.visiblePolygons);
    }
    g_RenderStateCache.EndTechnique(fx);
}

void ERenderer::RenderSkinmeshesBW() {
    RecordPass("ERenderer::RenderSkinmeshesBW");
    EffectRecord* fx = g_EffectMgr.FindEffect("ambient");
    if (!fx) {
        g_Console.Print("No ambient effect!");
        return;
    }
    if (!fx->pEffect) return;
    effect::Effect* e = fx->pEffect;
    passes::SetCameraParameters(fx, passes::TakeCamera(),
                                passes::kView | passes::kViewInv | passes::kProj | passes::kEye3);
    g_RenderStateCache.BeginTechniqueByName(fx, "RenderSkinmeshesBW", true);
    const effect::Handle hColor = e->GetParameterByName(effect::Handle(), "g_BWColor");
    passes::WalkSkinMeshTextures(
        m_pSkinMeshTextures, SkinnedTextureTakes, SkinnedNodeDrawn, [](strtexture*) {},
        [&](strtexture* t, strlistaskinmeshy* u) {
            e->SetVector(hColor, BWColor(u->m_hObject));
            u->pSkinMesh->Render(t->id, u->dwSubset, fx);
        });
    g_RenderStateCache.EndTechnique(fx);
}

void ERenderer::RenderSkinmeshesDepth() {
    RecordPass("ERenderer::RenderSkinmeshesDepth");
    if (g_pD3DInterface) g_pD3DInterface->SetVertexDeclaration(g_pVertexDeclarations[1]);
    EffectRecord* fx = g_EffectMgr.FindEffect("skinnedmesh");
    if (!fx) {
        g_Console.Print("No skinnedmesh depth effect!");
        return;
    }
    if (!fx->pEffect) return;
    g_PostProcess.SetFocusParams(fx->pEffect);
    passes::SetCameraParameters(fx, passes::TakeCamera(),
                                passes::kView | passes::kViewInv | passes::kProj | passes::kEye3);
    g_RenderStateCache.BeginTechniqueByName(fx, "RenderDepth", true);
    passes::WalkSkinMeshTextures(
        m_pSkinMeshTextures, SkinnedTextureTakes, SkinnedNodeDrawn, [](strtexture*) {},
        [&](strtexture* t, strlistaskinmeshy* u) { u->pSkinMesh->Render(t->id, u->dwSubset, fx); });
    g_RenderStateCache.EndTechnique(fx);
}
