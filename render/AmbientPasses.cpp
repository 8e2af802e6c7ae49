// The shader-model-2 ambient base pass: the depth of the opaque static
// meshes in a flat colour that the base pass covers, and, when one was met,
// the `transparent` textures with their cut-out.
#include <algorithm>

#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/Options.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/Mesh.h"
#include "render/PassSkeleton.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/ObjectRecord.h"

bool ERenderer::RenderAmbientBaseColor() {
    RecordPass("ERenderer::RenderAmbientBaseColor");
    EffectRecord* fx = g_EffectMgr.FindEffect("ambient");
    if (!fx || !fx->pEffect) return false;
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    cache.EndTranslucent(fx);
    cache.EndTransparent(fx);
    if (g_pD3DInterface) g_pD3DInterface->SetVertexDeclaration(g_pVertexDeclarations[0]);
    passes::BeginTechnique(fx, &EffectRecord::RenderSceneBase, "RenderSceneBase");
    passes::SetCameraParameters(fx, passes::TakeCamera(), passes::kView | passes::kProj);
    e->SetVector(e->GetParameterByName(effect::Handle(), "g_fBaseColor"), math::Vec4{1.0f, 0.0f, 1.0f, 0.0f});
    const effect::Handle hWvp =
        EffectParam(fx, &EffectRecord::g_mWorldViewProjection, "g_mWorldViewProjection");
    const effect::Handle hWorld = EffectParam(fx, &EffectRecord::g_mWorld, "g_mWorld");

    bool metTransparent = false;
    for (int slot = 0; slot < g_Engine.m_iMeshHighWater; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!passes::WalkedObject(h)) continue;
        const EMesh* mesh = h->Mesh();
        const ObjectRenderValues& values = g_EngineObject.RenderValues(h->iIndex);
        e->SetMatrix(hWvp, values.mWorldViewProjection);
        e->SetMatrix(hWorld, values.mWorld);
        e->CommitChanges();
        const uint32_t count = std::min<uint32_t>(mesh->m_dwNumSubsets, EMesh::MAX_SUBSETS);
        for (uint32_t i = 0; i < count; ++i) {
            if (!h->bSubsetDraw[i] || !mesh->m_bNonEmpty[i]) continue;
            if (mesh->m_bTransparent[i]) {
                metTransparent = true;
                continue;
            }
            if (mesh->m_bExcluded[i]) continue;
            h->pD3DXMesh->DrawSubset(i);
        }
        passes::CountObjectPolygons(h, &g_Debug.m_PolygonStats.visiblePolygons);
    }
    cache.EndTechnique(fx);
    return metTransparent;
}

void ERenderer::RenderAmbient() {
    RecordPass("ERenderer::RenderAmbient");
    if (!DrawTransparent) return;
    EffectRecord* fx = g_EffectMgr.FindEffect("ambient");
    if (!fx || !fx->pEffect) return;
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    passes::BeginTechnique(fx, &EffectRecord::RenderSceneBaseT, "RenderSceneBaseT");
    cache.SetCullMode(false);
    const effect::Handle hWvp =
        EffectParam(fx, &EffectRecord::g_mWorldViewProjection, "g_mWorldViewProjection");
    const effect::Handle hWorld = EffectParam(fx, &EffectRecord::g_mWorld, "g_mWorld");
    const effect::Handle hTexture = EffectParam(fx, &EffectRecord::g_Texture, "g_Texture");
    passes::WalkMeshTextures(
        m_pAllTextures,
        [](const strtexture* t) {
            const TextureDescription& d = t->desc;
            return d.bTransparent && !d.bTranslucent && !d.bWater && !d.bAdditive && !d.bStain &&
                   !d.bRayOfLight && !t->pLava;
        },
        passes::DrawsSeenSubset,
        [&](strtexture* t) {
            e->SetTexture(hTexture, t->pTexture);
            cache.SetCullMode(!t->desc.b2Sided);
        },
        [&](strtexture*, strlistameshy* u) {
            ObjectRecord* h = u->m_hObject;
            const ObjectRenderValues& values = g_EngineObject.RenderValues(h->iIndex);
            e->SetMatrix(hWvp, values.mWorldViewProjection);
            e->SetMatrix(hWorld, values.mWorld);
            e->CommitChanges();
            h->pD3DXMesh->DrawSubset(u->dwSubset);
            passes::CountObjectPolygons(h, &g_Debug.m_PolygonStats.visiblePolygons);
        });
    cache.SetCullMode(true);
    cache.EndTechnique(fx);
}
