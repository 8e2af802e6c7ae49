// The sky shadow maps' drawing, before the scene: RenderSkyDepth fills map 0
// with the static world that does not move and map 1 with the skinned meshes
// and the moving meshes near the camera, each with the effect "SkyDepth",
// which writes the light-space depth. Which meshes cast is decided here from
// the object records: the engine's object frame sets their dynamic-shadow
// and near-dynamic bytes and the renderer's near-meshes bytes.
#include <algorithm>

#include "app/D3DMain.h"
#include "app/Options.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Device.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/Mesh.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "render/SkyShadowMap.h"
#include "skinmesh/SkinMesh.h"
#include "world/Engine.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

using objflags::kFlag2NoSkyShadow;

// The light's values of a map, for the depth and for the passes that read it.
void SetMapParameters(const EffectRecord* fx, const SkyShadowMap::Map& m, float epsilon) {
    effect::Effect* e = fx->pEffect;
    const math::Vec4 direction =
        math::Vec4Transform(math::Vec4{m.vDirection.x, m.vDirection.y, m.vDirection.z, 0.0f}, m.mView);
    const math::Vec3 unit = math::Vec3Normalize(math::Vec3{direction.x, direction.y, direction.z});
    e->SetVector(EffectParam(fx, &EffectRecord::g_vLightDir, "g_vLightDir"),
                 math::Vec4{unit.x, unit.y, unit.z, direction.w});
    e->SetVector(EffectParam(fx, &EffectRecord::g_vLightPos, "g_vLightPos"),
                 math::Vec4Transform(math::Vec4{m.vCentre.x, m.vCentre.y, m.vCentre.z, 1.0f}, m.mView));
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mProj, "g_mProj"), m.mProjection);
    e->SetVector(EffectParam(fx, &EffectRecord::g_LightPos, "g_LightPos"),
                 math::Vec4{m.vCentre.x, m.vCentre.y, m.vCentre.z, 0.0f});
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mView, "g_mView"), m.mView);
    e->SetFloat(EffectParam(fx, &EffectRecord::SMAP_SIZE, "SMAP_SIZE"), float(m.dwSize));
    e->SetFloat(EffectParam(fx, &EffectRecord::SMAP_SIZE1, "SMAP_SIZE1"),
                m.dwSize ? 1.0f / float(m.dwSize) : 1.0f);
    e->SetFloat(EffectParam(fx, &EffectRecord::SHADOW_EPSILON, "SHADOW_EPSILON"), epsilon);
}

// A subset whose texture never casts a sky shadow; the far map also leaves
// out alpha-tested (`transparent`) ones, which the near map draws solid.
bool CastsNoShadow(const strtexture* t, bool farMap) {
    const TextureDescription& d = t->desc;
    return d.bDoNotCastShadow || d.bAdditive || d.bStain || t->bDoNotRender || d.bTranslucent ||
           d.bRayOfLight || (farMap && d.bTransparent);
}

// The static meshes of one map: in use, casting, with a mesh; the far map
// those that do not move, the near one those that move and are near.
void DrawShadowMeshes(EffectRecord* fx, const math::Matrix& view, bool farMap) {
    gfx::Device* d = g_pD3DInterface;
    d->SetFVF(0);
    d->SetVertexDeclaration(g_pVertexDeclarations[0]);
    if (!g_RenderStateCache.BeginTechniqueByName(fx, "RenderShadow", true)) return;
    effect::Effect* e = fx->pEffect;
    const effect::Handle hWorld = EffectParam(fx, &EffectRecord::g_mWorld, "g_mWorld");
    const effect::Handle hWorldView = EffectParam(fx, &EffectRecord::g_mWorldView, "g_mWorldView");
    for (int slot = 0; slot < g_Engine.m_iMeshHighWater; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!h->bUsed || (h->dwFlags2 & kFlag2NoSkyShadow) || h->bNoShadow || !h->pD3DXMesh) continue;
        if (farMap ? h->bDynamicShadow != 0 : !(h->bDynamicShadow && h->bNearDynamic)) continue;
        const EMesh* mesh = h->Mesh();
        if (!mesh) continue;
        math::Matrix W;
        mesh->GetWorldMatrix(&W);
        e->SetMatrix(hWorld, W);
        e->SetMatrix(hWorldView, W * view);
        e->CommitChanges();
        const uint32_t subsets = std::min<uint32_t>(mesh->m_dwNumSubsets, EMesh::MAX_SUBSETS);
        for (uint32_t s = 0; s < subsets; ++s) {
            const strtexture* t = g_Renderer.GetTexture(mesh->m_dwTextureId[s]);
            if (!t || CastsNoShadow(t, farMap)) continue;
            h->pD3DXMesh->DrawSubset(s);
        }
    }
    g_RenderStateCache.EndTechnique(fx);
}

void DepthOn() {
    g_pD3DInterface->SetRenderState(gfx::RenderState::ZEnable, 1);
    g_pD3DInterface->SetRenderState(gfx::RenderState::ZWriteEnable, 1);
}

} // namespace

void ERenderer::RenderSkyDepth(int map) {
    RecordPass("ERenderer::RenderSkyDepth", uint32_t(map));
    SkyShadowMap& sky = g_SkyShadowMap;
    if (!sky.m_bActive || !RecalculateSkyShadow || !g_pD3DInterface) return;
    const int i = map == 0 ? 0 : 1;
    SkyShadowMap::Map& m = sky.m_Maps[i];
    if (m.bUpToDate && m.pTexture) return;
    EffectRecord* fx = g_EffectMgr.FindEffect("SkyDepth");
    if (!fx || !fx->pEffect) return;
    // The parameters describe the map as BeginRender made it (a creation
    // sets map 1's size and bias).
    if (!sky.BeginRender(i)) return;
    SetMapParameters(fx, m, sky.ShadowEpsilon(i));
    // A map without a light direction keeps its clear value: nothing is lit
    // by such a light, so nothing needs a shadow.
    if (!m.bNoDirection) {
        if (i == 0) {
            g_RenderStateCache.EndTransparent(fx);
            RenderShadowMeshes(m.mView);
        } else {
            if (!m_bNearMeshes || m_bNearSkinMeshes) RenderShadowSkinmeshes(m.mView);
            if (m_bNearMeshes) RenderShadowNearMeshes(m.mView);
        }
    }
    sky.EndRender();
    m.bUpToDate = 1;
}

void ERenderer::RenderShadowMeshes(const math::Matrix& view) {
    RecordPass("ERenderer::RenderShadowMeshes");
    EffectRecord* fx = g_EffectMgr.FindEffect("SkyDepth");
    if (!fx || !fx->pEffect || !g_pD3DInterface) return;
    g_RenderStateCache.EndTransparent(fx);
    DrawShadowMeshes(fx, view, true);
}

void ERenderer::RenderShadowNearMeshes(const math::Matrix& view) {
    RecordPass("ERenderer::RenderShadowNearMeshes");
    EffectRecord* fx = g_EffectMgr.FindEffect("SkyDepth");
    if (!fx || !fx->pEffect || !g_pD3DInterface) return;
    DepthOn();
    DrawShadowMeshes(fx, view, false);
}

void ERenderer::RenderShadowSkinmeshes(const math::Matrix&) {
    RecordPass("ERenderer::RenderShadowSkinmeshes");
    EffectRecord* fx = g_EffectMgr.FindEffect("SkyDepth");
    gfx::Device* d = g_pD3DInterface;
    if (!fx || !fx->pEffect || !d) return;
    DepthOn();
    d->SetFVF(0);
    d->SetVertexDeclaration(g_pVertexDeclarations[1]);
    if (!g_RenderStateCache.BeginTechniqueByName(fx, "RenderSkinMeshShadow", true)) return;
    for (strtexture* const* entry = m_pSkinMeshTextures; *entry; ++entry) {
        const strtexture* t = *entry;
        const TextureDescription& desc = t->desc;
        if (desc.bTransparent || desc.bAdditive || desc.bStain || desc.bTranslucent) continue;
        for (strlistaskinmeshy* u = t->pSkinMeshes; u; u = u->next) {
            const ObjectRecord* h = u->m_hObject;
            if (!u->pSkinMesh || !h || !(h->dwFlags & objflags::kFlagVisible) ||
                (h->dwFlags2 & kFlag2NoSkyShadow))
                continue;
            u->pSkinMesh->Render(t->id, u->dwSubset, fx);
        }
    }
    g_RenderStateCache.EndTechnique(fx);
}
