#include "render/RenderOccluder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FocusMgr.h"
#include "app/Options.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/Mesh.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

ERenderOccluder g_RenderOccluder;

namespace {

// Made again after a device reset only when the world had them.
bool g_bRecreateAfterReset = false;

const bool g_Registered = (RegisterDeviceHook(
                               DeviceHook::OccluderTargets,
                               [] {
                                   g_bRecreateAfterReset = g_RenderOccluder.m_pTarget != nullptr;
                                   g_RenderOccluder.Destroy();
                               },
                               [] {
                                   if (g_bRecreateAfterReset) g_RenderOccluder.Init();
                               }),
                           true);

template <typename T> void ReleaseRef(T*& r) {
    if (r) r->Release();
    r = nullptr;
}

// Subsets of these textures never hide anything: marked, not drawn.
bool SeeThroughMeshTexture(const strtexture* t) {
    const TextureDescription& d = t->desc;
    return d.bTransparent || d.bAdditive || d.bStain || t->bDoNotRender || d.bTranslucent || d.bRayOfLight;
}
bool SeeThroughSkinTexture(const strtexture* t) {
    const TextureDescription& d = t->desc;
    return d.bTransparent || d.bTranslucent || d.bAdditive || d.bStain;
}

// Kind word of the objects drawn barely inflated.
constexpr uint32_t kKindSlim = 0x100;

} // namespace

void ERenderOccluder::Create() {
    Release();
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    if (gfx::Failed(d->CreateTexture(TARGET_SIZE, TARGET_SIZE, 1, gfx::usage::RenderTarget, gfx::Format::R32F,
                                     gfx::Pool::Default, &m_pTarget))) {
        g_Console.Print("Unable to create R32F depth map for render occluder");
        return;
    }
    if (gfx::Failed(d->CreateDepthStencilSurface(TARGET_SIZE, TARGET_SIZE, g_DepthStencilFormat, 0, 0, true,
                                                 &m_pDepthSurface))) {
        g_Console.Print("Unable to create depth/stencil surface for render occluder");
        return;
    }
    m_pTarget->GetSurfaceLevel(0, &m_pTargetSurface);
    if (gfx::Failed(d->CreateOffscreenPlainSurface(TARGET_SIZE, TARGET_SIZE, gfx::Format::R32F,
                                                   gfx::Pool::SystemMem, &m_pCalculateSurface))) {
        g_Console.Print("Unable to create m_pCalculateSurface for render occluder");
    }
}

void ERenderOccluder::Release() {
    ReleaseRef(m_pTargetSurface);
    ReleaseRef(m_pDepthSurface);
    ReleaseRef(m_pTarget);
    ReleaseRef(m_pCalculateSurface);
}

void ERenderOccluder::MarkFullySeen(ObjectRecord* h) {
    h->bSeen = 1;
    std::memset(h->bSubsetDraw, 1, sizeof h->bSubsetDraw);
}

namespace {

// The slots below the skinned-mesh high-water mark that can hold an object:
// the static-mesh range up to its own mark, then the skinned-mesh range. The
// rest of the static-mesh range holds nothing, and a slot gets its creation
// state when it is taken, so no one reads marks there: left alone, those
// records are not written every frame (nor made to take memory of their own).
template <class Visit> void ForEachMeshSlot(Visit&& visit) {
    for (int slot = EEngine::FIRST_MESH; slot < g_Engine.m_iMeshHighWater; ++slot)
        visit(g_Engine.Object(slot));
    for (int slot = EEngine::FIRST_SKINMESH; slot < g_Engine.m_iSkinMeshHighWater; ++slot)
        visit(g_Engine.Object(slot));
}

} // namespace

void ERenderOccluder::Render() {
    g_Renderer.RecordPass("ERenderOccluder::Render");
    gfx::Device* d = g_pD3DInterface;
    if (!d || !m_pTarget || !m_pDepthSurface || !RecalculateCamera) return;
    if (!RecalculateOccluders) {
        ForEachMeshSlot([](ObjectRecord* h) { MarkFullySeen(h); });
        return;
    }
    gfx::Viewport viewport;
    d->GetViewport(&viewport);
    gfx::Surface* keptTarget = nullptr;
    gfx::Surface* keptDepth = nullptr;
    d->GetRenderTarget(0, &keptTarget);
    d->GetDepthStencilSurface(&keptDepth);
    d->SetRenderTarget(0, m_pTargetSurface);
    d->SetDepthStencilSurface(m_pDepthSurface);
    // The stencil is cleared only where the depth surface has one.
    uint32_t flags = gfx::clear::Target | gfx::clear::ZBuffer;
    if (gfx::HasStencil(m_pDepthSurface->GetFormat())) flags |= gfx::clear::Stencil;
    d->ClearFloat(0, nullptr, flags, math::Vec4{CLEAR_VALUE, 0.0f, 0.0f, 0.0f}, 1.0f, 0);

    ForEachMeshSlot([](ObjectRecord* h) {
        if (h->dwFlags & FLAG_ALWAYS_SEEN) {
            MarkFullySeen(h);
        } else {
            h->bSeen = 0;
        }
    });
    RenderMeshes();
    if (DrawModels) RenderSkinmeshes();
    ReadBack();

    d->SetDepthStencilSurface(keptDepth);
    if (keptTarget) d->SetRenderTarget(0, keptTarget);
    ReleaseRef(keptDepth);
    ReleaseRef(keptTarget);
    d->SetViewport(viewport);
}

void ERenderOccluder::RenderMeshes() {
    EffectRecord* fx = g_EffectMgr.FindEffect("ambient");
    if (!fx || !fx->pEffect) return;
    gfx::Device* d = g_pD3DInterface;
    g_RenderStateCache.EndTranslucent(fx);
    g_RenderStateCache.EndTransparent(fx);
    d->SetTexture(0, nullptr);
    d->SetProgram(nullptr);
    d->SetFVF(0);
    d->SetRenderState(gfx::RenderState::FogEnable, 0);
    d->SetRenderState(gfx::RenderState::Lighting, 0);
    const math::Matrix& V = g_Camera.View();
    const math::Matrix& P = g_Camera.Projection();
    effect::Effect* e = fx->pEffect;
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mView, "g_mView"), V);
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mProj, "g_mProj"), P);
    if (!g_RenderStateCache.BeginTechniqueByName(fx, "RenderSceneOcclusion", true)) return;
    d->SetVertexDeclaration(g_pVertexDeclarations[0]);
    const effect::Handle hWvp =
        EffectParam(fx, &EffectRecord::g_mWorldViewProjection, "g_mWorldViewProjection");
    const effect::Handle hWorld = EffectParam(fx, &EffectRecord::g_mWorld, "g_mWorld");
    const effect::Handle hIndex = EffectParam(fx, &EffectRecord::g_fOcclusionData, "g_fOcclusionData");
    const math::Matrix viewProjection = V * P;

    for (int slot = 0; slot < g_Engine.m_iMeshHighWater; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!h->bUsed || (h->dwFlags & FLAG_ALWAYS_SEEN)) continue;
        h->bSeen = 0;
        std::memset(h->bSubsetDraw, 0, sizeof h->bSubsetDraw);
        const EMesh* mesh = h->Mesh();
        if (!h->bVisibleNow || !mesh || mesh->m_dwNumSubsets == 0 || !h->pD3DXMesh) continue;
        math::Matrix W;
        mesh->GetWorldMatrix(&W);
        e->SetMatrix(hWvp, W * viewProjection);
        e->SetMatrix(hWorld, W);
        const uint32_t subsets = std::min<uint32_t>(mesh->m_dwNumSubsets, SUBSETS);
        for (uint32_t s = 0; s < subsets; ++s) {
            const strtexture* t = g_Renderer.GetTexture(mesh->m_dwTextureId[s]);
            if (!t) continue;
            if (SeeThroughMeshTexture(t)) {
                h->bSeen = 1;
                h->bSubsetDraw[s] = 1;
                continue;
            }
            e->SetFloat(hIndex, float(uint32_t(h->iIndex) * SUBSETS + s));
            e->CommitChanges();
            h->pD3DXMesh->DrawSubset(s);
        }
    }
    g_RenderStateCache.EndTechnique(fx);
}

void ERenderOccluder::RenderSkinmeshes() {
    EffectRecord* fx = g_EffectMgr.FindEffect("ambient");
    if (!fx) {
        g_Console.Print("No ambient effect!");
        return;
    }
    if (!fx->pEffect) return;
    gfx::Device* d = g_pD3DInterface;
    if (!g_RenderStateCache.BeginTechniqueByName(fx, "RenderSceneOcclusionSkinmeshes", true)) return;
    d->SetVertexDeclaration(g_pVertexDeclarations[1]);
    effect::Effect* e = fx->pEffect;
    const math::Matrix& V = g_Camera.View();
    math::Matrix Vi;
    math::MatrixInverse(V, &Vi);
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mView, "g_mView"), V);
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mViewInv, "g_mViewInv"), Vi);
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mProj, "g_mProj"), g_Camera.Projection());
    // The eye: (0, 0, 0, 1) through the inverse view.
    e->SetVector(EffectParam(fx, &EffectRecord::g_CameraPosition, "g_CameraPosition"),
                 math::Vec4{Vi.m[3][0], Vi.m[3][1], Vi.m[3][2], Vi.m[3][3]});
    const effect::Handle hIndex = EffectParam(fx, &EffectRecord::g_fOcclusionData, "g_fOcclusionData");
    const effect::Handle hIncrease = EffectParam(fx, &EffectRecord::g_fVertIncrease, "g_fVertIncrease");

    for (strtexture* t = g_Renderer.FirstTexture(); t; t = t->next) {
        for (strlistaskinmeshy* u = t->pSkinMeshes; u; u = u->next) {
            ObjectRecord* h = u->m_hObject;
            if (!u->pSkinMesh || !h || (h->dwFlags & FLAG_ALWAYS_SEEN)) continue;
            // An object out of view hides nothing and is not marked.
            if (!h->bVisibleNow) continue;
            if (SeeThroughSkinTexture(t)) {
                h->bSeen = 1;
                continue;
            }
            e->SetFloat(hIndex, float(uint32_t(h->iIndex) * SUBSETS));
            const float increase =
                h->iCameraDistance > 2048 ? 32.0f : (h->dwKindFlags == kKindSlim ? 0.1f : 1.0f);
            e->SetFloat(hIncrease, increase);
            u->pSkinMesh->Render(t->id, u->dwSubset, fx);
        }
    }
    g_RenderStateCache.EndTechnique(fx);
}

void ERenderOccluder::ReadBack() {
    if (!m_pTarget) {
        g_Console.Print("!m_pTarget");
        return;
    }
    if (!RecalculateOccluders) return;
    gfx::Device* d = g_pD3DInterface;
    if (!d || !m_pCalculateSurface ||
        gfx::Failed(d->GetRenderTargetData(m_pTargetSurface, m_pCalculateSurface))) {
        g_Console.Print("GetRenderTargetData failed!");
        return;
    }
    gfx::LockedRect locked;
    if (gfx::Failed(m_pCalculateSurface->LockRect(&locked, nullptr, gfx::lock::ReadOnly))) {
        g_Console.Print("LockRect failed!");
        return;
    }
    MarkImage(locked.pBits, locked.Pitch, m_pCalculateSurface->Width(), m_pCalculateSurface->Height());
    m_pCalculateSurface->UnlockRect();
    if (ObjectRecord* held = TheWorldHooks().HeldWeaponModel()) MarkFullySeen(held);
}

void ERenderOccluder::MarkImage(const void* bits, int32_t pitch, uint32_t width, uint32_t height) {
    std::memset(m_bSeenTable, 0, sizeof m_bSeenTable);
    if (!bits) return;
    for (uint32_t y = 0; y < height; ++y) {
        const auto* row =
            reinterpret_cast<const float*>(static_cast<const uint8_t*>(bits) + ptrdiff_t(y) * pitch);
        for (uint32_t x = 0; x < width; ++x) {
            const float value = row[x];
            // The clear value and anything else below 0 (or not a number)
            // names nothing.
            if (!(value >= 0.0f)) continue;
            if (value >= float(SEEN_TABLE_SIZE)) {
                const double object = std::floor(double(value) / SUBSETS);
                g_Console.PrintInt("Za duzy idx: ", object < double(INT_MAX) ? int(object) : INT_MAX);
                continue;
            }
            MarkIndex(uint32_t(value));
        }
    }
}

void ERenderOccluder::MarkIndex(uint32_t index) {
    if (m_bSeenTable[index]) return;
    m_bSeenTable[index] = 1;
    ObjectRecord* h = g_Engine.Object(int(index / SUBSETS));
    if (!h || !h->bUsed) return;
    h->bSeen = 1;
    h->bSubsetDraw[index % SUBSETS] = 1;
}
