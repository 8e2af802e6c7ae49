// The strobe passes: while a flash is active the solid surfaces are drawn
// once more with the effect "strobo", which adds the light of the five
// flash slots.
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

constexpr float kStaticRange = 300.0f;
constexpr float kSkinnedRange = 400.0f;
constexpr float kPower = 2.0f;

// The flash slots' lights: on while time is left, their positions, colour,
// reach and strength.
void SetFlashLights(const EffectRecord* fx, const ERenderer& r, float range) {
    effect::Effect* e = fx->pEffect;
    bool on[ERenderer::MAX_FLASHES];
    float positions[ERenderer::MAX_FLASHES][3];
    for (int i = 0; i < ERenderer::MAX_FLASHES; ++i) {
        on[i] = r.m_Flashes[i].fTime > 0.0f;
        for (int k = 0; k < 3; ++k)
            positions[i][k] = r.m_Flashes[i].vPosition[k];
    }
    e->SetBoolArray(e->GetParameterByName(effect::Handle(), "g_bLightOn"), on, ERenderer::MAX_FLASHES);
    e->SetValue(EffectParam(fx, &EffectRecord::g_LightPos, "g_LightPos"), positions, sizeof positions);
    e->SetVector(EffectParam(fx, &EffectRecord::g_LightDiffuse, "g_LightDiffuse"),
                 math::Vec4{1.0f, 0.9f, 0.7f, 1.0f});
    e->SetFloat(EffectParam(fx, &EffectRecord::g_LightRange, "g_LightRange"), range);
    e->SetFloat(EffectParam(fx, &EffectRecord::g_LightPower, "g_LightPower"), kPower);
}

} // namespace

void ERenderer::RenderStroboMeshes() {
    RecordPass("ERenderer::RenderStroboMeshes");
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    d->SetVertexDeclaration(g_pVertexDeclarations[0]);
    EffectRecord* fx = g_EffectMgr.FindEffect("strobo");
    if (!fx) {
        g_Console.Print("No strobo.fx found!");
        return;
    }
    if (!fx->pEffect) return;
    effect::Effect* e = fx->pEffect;
    const passes::CameraValues camera = passes::TakeCamera();
    ERenderStateCache& cache = g_RenderStateCache;
    cache.EndTechnique(fx);
    d->SetFVF(0);
    d->SetProgram(nullptr);
    cache.BeginTechniqueByName(fx, "Tech", true);
    passes::SetCameraParameters(fx, camera, passes::kView | passes::kViewInv | passes::kProj | passes::kEye3);
    SetFlashLights(fx, *this, kStaticRange);
    const passes::ObjectMatrixHandles matrices(fx, false);
    passes::WalkMeshTextures(
        m_pMeshTextures,
        [](const strtexture* t) {
            const TextureDescription& desc = t->desc;
            return t->pTexture && !desc.bRayOfLight && !desc.bWater && !desc.bTransparent && !t->bAnimated &&
                   !t->bHasMultitexture && !desc.bTranslucent && !desc.bAdditive && !desc.bStain;
        },
        passes::DrawsSeenSubset, [&](strtexture* t) { BindTextureStages(t, true); },
        [&](strtexture*, strlistameshy* u) {
            ObjectRecord* h = u->m_hObject;
            const ObjectRenderValues& values = g_EngineObject.RenderValues(h->iIndex);
            passes::UploadObjectMatrices(e, matrices, values);
            e->CommitChanges();
            h->pD3DXMesh->DrawSubset(u->dwSubset);
        });
    cache.EndTechnique(fx);
}

void ERenderer::RenderStroboSkinmeshes() {
    RecordPass("ERenderer::RenderStroboSkinmeshes");
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    d->SetFVF(0);
    d->SetVertexDeclaration(g_pVertexDeclarations[1]);
    if (!DrawModels) return;
    EffectRecord* fx = g_EffectMgr.FindEffect("strobo");
    if (!fx) {
        g_Console.Print("No strobo HEFFECT");
        return;
    }
    if (!fx->pEffect) {
        g_Console.Print("No strobo ID3DXEffect");
        return;
    }
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    cache.BeginTechniqueByName(fx, "TechSkinmesh", true);
    SetFlashLights(fx, *this, kSkinnedRange);
    passes::SetCameraParameters(fx, passes::TakeCamera(),
                                passes::kView | passes::kViewInv | passes::kProj | passes::kEye4);
    const effect::Handle hDensity = EffectParam(fx, &EffectRecord::g_fTextureDensity, "g_fTextureDensity");
    passes::WalkSkinMeshTextures(
        m_pSkinMeshTextures,
        [](const strtexture* t) {
            const TextureDescription& desc = t->desc;
            return !t->bDoNotRender && !desc.bAdditive && !desc.bStain && !desc.bTranslucent &&
                   !desc.bTransparent;
        },
        [](const strlistaskinmeshy* u) {
            const ObjectRecord* h = u->m_hObject;
            return u->pSkinMesh && h && (h->dwFlags & objflags::kFlagVisible) && h->bSeen && h->bVisibleNow;
        },
        [&](strtexture* t) {
            BindTextureStages(t, true);
            e->SetFloat(hDensity, passes::TextureDensity(t));
        },
        [&](strtexture* t, strlistaskinmeshy* u) { u->pSkinMesh->Render(t->id, u->dwSubset, fx); });
    cache.EndTransparent(fx);
    cache.EndTranslucent(fx);
    cache.EndTechnique(fx);
}
