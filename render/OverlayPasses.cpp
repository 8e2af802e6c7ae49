// The overlay passes after the base pass: glowing `additive` and
// `ray_of_light` surfaces added onto the frame, `stain` decals multiplied
// into it, on static meshes with the effect "ambient" and on skinned meshes
// with "skinnedmesh".
#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Options.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/Mesh.h"
#include "render/PassSkeleton.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

using gfx::RenderState;

// The static additive and ray-of-light passes, alike but for the technique
// and the textures they take.
void RenderGlowing(ERenderer& r, const char* technique, bool rayOfLight) {
    EffectRecord* fx = g_EffectMgr.FindEffect("ambient");
    gfx::Device* d = g_pD3DInterface;
    if (!fx || !fx->pEffect || !d) return;
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    d->SetProgram(nullptr);
    d->SetFVF(0);
    cache.BeginTechniqueByName(fx, technique, true);
    cache.EndTranslucent(fx);
    cache.EndTransparent(fx);
    cache.ResetCullMode();
    passes::SetCameraParameters(fx, passes::TakeCamera(),
                                passes::kView | passes::kViewInv | passes::kProj | passes::kEye3);
    // Added onto the frame through the device's blending, which the
    // technique leaves alone and which stays set after the pass.
    using gfx::TextureStageState;
    d->SetTextureStageState(0, TextureStageState::ColorArg1, gfx::texarg::Texture);
    d->SetTextureStageState(0, TextureStageState::ColorArg2, gfx::texarg::Current);
    d->SetTextureStageState(0, TextureStageState::ColorOp, uint32_t(gfx::TextureOp::SelectArg1));
    d->SetTextureStageState(0, TextureStageState::AlphaArg1, gfx::texarg::Texture);
    d->SetTextureStageState(0, TextureStageState::AlphaArg2, gfx::texarg::Diffuse);
    d->SetTextureStageState(0, TextureStageState::AlphaOp, uint32_t(gfx::TextureOp::SelectArg1));
    d->SetRenderState(RenderState::BlendOp, uint32_t(gfx::BlendOp::Add));
    d->SetRenderState(RenderState::SrcBlend, uint32_t(gfx::Blend::SrcColor));
    d->SetRenderState(RenderState::DestBlend, uint32_t(gfx::Blend::One));
    d->SetRenderState(RenderState::AlphaTestEnable, 0);
    d->SetRenderState(RenderState::AlphaBlendEnable, 1);
    cache.SetCullMode(true);
    d->SetRenderState(RenderState::ZEnable, 1);
    d->SetRenderState(RenderState::ZWriteEnable, 0);
    d->SetVertexDeclaration(g_pVertexDeclarations[0]);

    const passes::ObjectMatrixHandles matrices(fx, true);
    const effect::Handle hAppear = e->GetParameterByName(effect::Handle(), "g_fAppearDistance");
    passes::WalkMeshTextures(
        r.m_pMeshTextures,
        [rayOfLight](const strtexture* t) {
            const TextureDescription& desc = t->desc;
            return rayOfLight ? desc.bRayOfLight != 0 : desc.bAdditive && !desc.bRayOfLight && !desc.bWater;
        },
        [](const strlistameshy* u) {
            return u->pMesh && u->m_hObject && u->m_hObject->bVisibleNow && u->m_hObject->pD3DXMesh;
        },
        [&](strtexture* t) {
            r.BindTextureStages(t, false);
            cache.SetCullMode(!t->desc.b2Sided);
            e->SetFloat(hAppear, t->desc.fAppearDistance);
        },
        [&](strtexture*, strlistameshy* u) {
            ObjectRecord* h = u->m_hObject;
            const ObjectRenderValues& values = g_EngineObject.RenderValues(h->iIndex);
            passes::UploadObjectMatrices(e, matrices, values);
            passes::CountSubset(u->pMesh, u->dwSubset);
            e->CommitChanges();
            h->pD3DXMesh->DrawSubset(u->dwSubset);
        });
    cache.EndTechnique(fx);
}

// The skinned additive and stain passes.
void RenderSkinnedOverlay(ERenderer& r, const char* technique, bool stains, const char* missing) {
    gfx::Device* d = g_pD3DInterface;
    if (d) d->SetVertexDeclaration(g_pVertexDeclarations[1]);
    EffectRecord* fx = g_EffectMgr.FindEffect("skinnedmesh");
    if (!fx) {
        g_Console.Print(missing);
        return;
    }
    if (!fx->pEffect) return;
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    cache.BeginTechniqueByName(fx, technique, true);
    passes::SetCameraParameters(fx, passes::TakeCamera(),
                                passes::kEye3 | passes::kView | passes::kViewInv | passes::kProj);
    const effect::Handle hTexture = EffectParam(fx, &EffectRecord::g_Texture, "g_Texture");
    passes::WalkSkinMeshTextures(
        r.m_pSkinMeshTextures,
        [stains](const strtexture* t) {
            return stains ? t->desc.bStain != 0 : t->desc.bAdditive && !t->bDoNotRender;
        },
        [](const strlistaskinmeshy* u) {
            const ObjectRecord* h = u->pSkinMesh ? u->pSkinMesh->m_hObject : nullptr;
            return h && h->bVisibleNow && h->bSeen;
        },
        [&](strtexture* t) {
            e->SetTexture(hTexture, t->pTexture);
            cache.SetCullMode(!t->desc.b2Sided);
        },
        [&](strtexture* t, strlistaskinmeshy* u) { u->pSkinMesh->Render(t->id, u->dwSubset, fx); });
    cache.EndTransparent(fx);
    cache.EndTranslucent(fx);
    cache.EndTechnique(fx);
}

} // namespace

void ERenderer::RenderAdditive() {
    RecordPass("ERenderer::RenderAdditive");
    RenderGlowing(*this, "Additive", false);
}

void ERenderer::RenderRayOfLight() {
    RecordPass("ERenderer::RenderRayOfLight");
    RenderGlowing(*this, "RayOfLight", true);
}

void ERenderer::RenderStains() {
    RecordPass("ERenderer::RenderStains");
    EffectRecord* fx = g_EffectMgr.FindEffect("ambient");
    if (!fx || !fx->pEffect) return;
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    cache.EndTransparent(fx);
    cache.EndTranslucent(fx);
    cache.BeginTechniqueByName(fx, "Stain", true);
    if (g_pD3DInterface) g_pD3DInterface->SetVertexDeclaration(g_pVertexDeclarations[0]);
    passes::SetCameraParameters(fx, passes::TakeCamera(),
                                passes::kView | passes::kViewInv | passes::kProj | passes::kEye3);
    const passes::ObjectMatrixHandles matrices(fx, false);
    const effect::Handle hTexture = EffectParam(fx, &EffectRecord::g_Texture, "g_Texture");
    // The stains take the fog's distances alone.
    passes::LightHandles fog(fx);
    fog.fogColor = effect::Handle();
    passes::LightKeys keys;
    passes::WalkMeshTextures(
        m_pMeshTextures,
        [](const strtexture* t) { return t->desc.bStain && !t->desc.bRayOfLight && !t->desc.bWater; },
        passes::DrawsSeenSubset,
        [&](strtexture* t) {
            e->SetTexture(hTexture, t->pTexture);
            cache.SetCullMode(!t->desc.b2Sided);
        },
        [&](strtexture*, strlistameshy* u) {
            ObjectRecord* h = u->m_hObject;
            const ObjectRenderValues& values = g_EngineObject.RenderValues(h->iIndex);
            passes::UploadObjectMatrices(e, matrices, values);
            passes::UploadFog(e, fog, &keys, h, nullptr);
            passes::CountSubset(u->pMesh, u->dwSubset);
            e->CommitChanges();
            h->pD3DXMesh->DrawSubset(u->dwSubset);
        });
    cache.EndTechnique(fx);
}

void ERenderer::RenderSkinmeshesAdditive() {
    RecordPass("ERenderer::RenderSkinmeshesAdditive");
    RenderSkinnedOverlay(*this, "Additive", false, "No skinnedmesh additive effect!");
}

void ERenderer::RenderSkinmeshStains() {
    RecordPass("ERenderer::RenderSkinmeshStains");
    RenderSkinnedOverlay(*this, "Stain", true, "No skinnedmesh stain effect!");
}
