// The renderer's frame: the render lists of the visible textures with their
// presence flags, the work before the scene, and the scene's passes in their
// fixed order.
#include <cstring>
#include <utility>

#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Device.h"
#include "render/AutoMap.h"
#include "render/DepthRender.h"
#include "render/EnvironmentSettings.h"
#include "render/PaneCrashMgr.h"
#include "render/PostProcess.h"
#include "render/RenderOccluder.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "render/SkyShadowMap.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

namespace {

using gfx::RenderState;

// The renderer draws nothing in the first frames of a world.
constexpr uint32_t kFirstDrawnGameFrame = 5;
// While the hold byte is set, skinned meshes wait for this many game frames.
constexpr uint32_t kHeldSkinMeshFrames = 5;

void SetState(RenderState state, uint32_t value) {
    if (g_pD3DInterface) g_pD3DInterface->SetRenderState(state, value);
}

void DepthStates(bool test, bool write) {
    SetState(RenderState::ZEnable, test ? 1 : 0);
    SetState(RenderState::ZWriteEnable, write ? 1 : 0);
}

// No vertex shader, no fixed-function format, one of the two mesh vertex
// declarations (0 static, 1 skinned).
void MeshDeclaration(int which) {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    d->SetProgram(nullptr);
    d->SetFVF(0);
    d->SetVertexDeclaration(g_pVertexDeclarations[which]);
}

// The description keys that group the lists: textures of equal key draw
// with the same effect parameters and render states.
uint32_t MeshKey(const strtexture* t) {
    const TextureDescription& d = t->desc;
    return (d.bSpecular ? 1u : 0u) | (d.bFullyBrightInNormalMask ? 2u : 0u) | (d.bWater ? 4u : 0u) |
           (t->bAnimated ? 8u : 0u) | (t->pDetail ? 16u : 0u) | (t->pEnvironment ? 32u : 0u) |
           (t->pAddWater ? 64u : 0u) | (t->bHasMultitexture ? 128u : 0u) | (d.bTransparent ? 256u : 0u) |
           (d.bTranslucent ? 512u : 0u) | (d.b2Sided ? 1024u : 0u);
}

uint32_t SkinMeshKey(const strtexture* t) {
    const TextureDescription& d = t->desc;
    return (d.bSpecular ? 1u : 0u) | (d.bFullyBrightInNormalMask ? 2u : 0u) | (d.bWater ? 4u : 0u) |
           (t->bAnimated ? 8u : 0u) | (t->pDetail ? 16u : 0u) | (t->pEnvironment ? 32u : 0u) |
           (t->pAddWater ? 64u : 0u) | (d.bTransparent ? 128u : 0u) | (d.bTranslucent ? 256u : 0u);
}

// A list built by the insertion rule of the render lists: a record goes in
// front of the first entry of equal key, else to the end. Equal keys thus
// stay together, the groups keep the order in which their keys first came
// and each group holds its records newest-inserted first; that order is
// built here in one pass (a chain per group) instead of by shifting the
// list at each insertion.
class KeyGroups {
  public:
    static constexpr uint32_t NUM_KEYS = 1u << 11;

    KeyGroups() { std::memset(m_wGroupOfKey, 0, sizeof m_wGroupOfKey); }

    void Insert(uint32_t key, uint32_t id) {
        uint16_t& group = m_wGroupOfKey[key];
        if (!group) {
            group = uint16_t(++m_dwGroups);
            m_wHead[group - 1] = 0;
        }
        m_wNext[id] = m_wHead[group - 1];
        m_wHead[group - 1] = uint16_t(id);
    }

    // Writes the list and its null entry.
    void Emit(const ERenderer& renderer, strtexture** list) const {
        uint32_t n = 0;
        for (uint32_t g = 0; g < m_dwGroups; ++g)
            for (uint32_t id = m_wHead[g]; id; id = m_wNext[id])
                list[n++] = renderer.GetTexture(id);
        list[n] = nullptr;
    }

  private:
    uint16_t m_wGroupOfKey[NUM_KEYS]; // group number + 1, 0 for none yet
    uint16_t m_wHead[ERenderer::MAX_TEXTURES];
    uint16_t m_wNext[ERenderer::MAX_TEXTURES];
    uint32_t m_dwGroups = 0;
};

template <class Node> bool AnyUserInView(const Node* n) {
    for (; n; n = n->next)
        if (n->m_hObject && n->m_hObject->bVisibleNow) return true;
    return false;
}

// In view, seen by the occlusion test, and shown (or every object drawn,
// DrawPhysics).
template <class Node> bool AnyUserSeen(const Node* n) {
    for (; n; n = n->next) {
        const ObjectRecord* h = n->m_hObject;
        if (h && h->bVisibleNow && h->bSeen && (DrawPhysics || (h->dwFlags & objflags::kFlagVisible)))
            return true;
    }
    return false;
}

// Textures that the occlusion test never hides.
bool KeptUnseen(const TextureDescription& d) {
    return d.bTranslucent || d.bTransparent || d.bAdditive || d.bStain;
}

uint32_t GameFrames() {
    return TheWorldHooks().GameFramesSinceWorldOpen();
}

} // namespace

// ---- Render lists --------------------------------------------------------------------

void PartitionTranslucentLast(strtexture** list) {
    if (!list || !list[0]) return;
    int last = 0;
    while (list[last + 1])
        ++last;
    // Everything after `last` is translucent once swapped there, so each
    // search for an entry that is not goes on from where the last one ended.
    for (int i = 0; i < last; ++i) {
        if (!list[i]->desc.bTranslucent) continue;
        while (last > i && list[last]->desc.bTranslucent)
            --last;
        if (last == i) return;
        std::swap(list[i], list[last]);
    }
}

void ERenderer::ClearRenderLists() {
    for (strtexture*& t : m_pMeshTextures)
        t = nullptr;
    for (strtexture*& t : m_pSkinMeshTextures)
        t = nullptr;
    for (strtexture*& t : m_pAllTextures)
        t = nullptr;
}

void ERenderer::BuildRenderLists() {
    RecordPass("ERenderer::BuildRenderLists");
    m_bAnyWater = m_bLava = m_bMeshAdditive = m_bSkinMeshAdditive = m_bMeshStain = m_bSkinMeshStain = 0;
    m_bMeshWater = 0;
    KeyGroups meshes, skinned;
    uint32_t free = 0;
    for (strtexture* t = m_pTextures; t; t = t->next) {
        t->bListed = 0;
        if (t->bDoNotRender) continue;
        if (AnyUserInView(t->pMeshes)) {
            meshes.Insert(MeshKey(t), t->id);
            t->bListed = 1;
        }
        if (AnyUserInView(t->pSkinMeshes)) {
            skinned.Insert(SkinMeshKey(t), t->id);
            t->bListed = 1;
        }
        if (!t->pMeshes && !t->pSkinMeshes) m_pFreeTextures[free++] = t;
    }
    m_pFreeTextures[free] = nullptr;
    meshes.Emit(*this, m_pMeshTextures);
    skinned.Emit(*this, m_pSkinMeshTextures);
    PartitionTranslucentLast(m_pMeshTextures);
    PartitionTranslucentLast(m_pSkinMeshTextures);
    MergeRenderLists();
}

void ERenderer::MergeRenderLists() {
    uint32_t n = 0;
    for (strtexture* const* p = m_pMeshTextures; *p; ++p) {
        strtexture* t = *p;
        m_pAllTextures[n++] = t;
        if (t->desc.bWater) m_bAnyWater = m_bMeshWater = 1;
        if (t->pLava) m_bLava = 1;
        if (t->desc.bAdditive) m_bMeshAdditive = 1;
        if (t->desc.bStain) m_bMeshStain = 1;
    }
    for (strtexture* const* p = m_pSkinMeshTextures; *p; ++p) {
        strtexture* t = *p;
        m_pAllTextures[n++] = t;
        if (t->desc.bWater) m_bAnyWater = 1;
        if (t->desc.bAdditive) m_bSkinMeshAdditive = 1;
        if (t->desc.bStain) m_bSkinMeshStain = 1;
    }
    m_pAllTextures[n] = nullptr;
    PartitionTranslucentLast(m_pAllTextures);
}

void ERenderer::CullRenderLists() {
    RecordPass("ERenderer::CullRenderLists");
    m_bAnyWater = m_bMeshWater = m_bLava = m_bMeshAdditive = m_bSkinMeshAdditive = 0;
    m_bMeshStain = m_bSkinMeshStain = m_bRayOfLight = 0;
    uint32_t kept = 0;
    for (uint32_t i = 0; strtexture* t = m_pMeshTextures[i]; ++i) {
        if (t->desc.bRayOfLight) m_bRayOfLight = 1;
        if (t->desc.bRayOfLight || KeptUnseen(t->desc) || AnyUserSeen(t->pMeshes))
            m_pMeshTextures[kept++] = t;
    }
    m_pMeshTextures[kept] = nullptr;
    kept = 0;
    for (uint32_t i = 0; strtexture* t = m_pSkinMeshTextures[i]; ++i) {
        if (KeptUnseen(t->desc) || AnyUserSeen(t->pSkinMeshes)) m_pSkinMeshTextures[kept++] = t;
    }
    m_pSkinMeshTextures[kept] = nullptr;
    MergeRenderLists();
}

// ---- The frame -------------------------------------------------------------------------

void ERenderer::Update() {
    m_fFrameTime = g_Engine.m_fFrameTime;
    ++m_dwFrame;
    if (OptionMV16) g_PostProcess.UpdateFocus();
    DrawProjectors = DrawShadows && ShadowMapLevel <= 2 && OptionMV01;
    UpdateFlashes();
    g_SkyShadowMap.Update();
    // The engine's object frame classed the objects in view just before.
    const uint8_t* lit = g_EngineSharedFlags.bBytes;
    m_bSkyLitMeshes = lit[0];
    m_bSkyLitSkinMeshes = lit[1];
    m_bAmbientLitMeshes = lit[2];
    m_bAmbientLitSkinMeshes = lit[3];
    BuildRenderLists();
    if (RaportUndefinedTextures) {
        WriteUndefinedTextures();
        RaportUndefinedTextures = false;
    }
    if (RaportDoubleTextures) {
        WriteDoubleTextures();
        RaportDoubleTextures = false;
    }
}

void ERenderer::PreRender() {
    if (GameFrames() < kFirstDrawnGameFrame) return;
    SetState(RenderState::FillMode, gfx::StateValue(gfx::FillMode::Solid));
    g_AutoMap.PreRender();
    if (!SimpleRender && !UsePS20) {
        if (DrawShadows) {
            if (g_EnvironmentSettings.m_bSkyLightInUse) {
                RenderSkyDepth(0);
                if (DrawAnimatedShadows) RenderSkyDepth(1);
            }
            g_DepthRender.RenderCubeShadows();
        }
        if (m_bMeshWater && DrawWater && OptionMV05) g_DepthRender.RenderWaterReflection();
    }
    g_RenderOccluder.Render();
    CullRenderLists();
}

void ERenderer::Render() {
    if (GameFrames() < kFirstDrawnGameFrame) return;
    g_EngineObject.UpdateRenderMatrices();
    RenderScene();
    g_DepthRender.MarkVisibleLights();
}

void ERenderer::ResetPolygonCounts() {
    RecordPass("ERenderer::ResetPolygonCounts");
    g_Engine.ForEachSlotBelowHighWater([](int slot) { g_Engine.Object(slot)->bPolygonsCounted = 0; });
}

void ERenderer::RenderScene() {
    RecordPass("ERenderer::RenderScene");
    SetSamplerFilters(16, false);
    g_RenderStateCache.ResetCullMode();
    SetState(RenderState::StencilEnable, 0);
    DepthStates(true, false);
    SetState(RenderState::AlphaBlendEnable, 0);
    SetState(RenderState::AlphaTestEnable, 0);
    m_fFrameTime = g_Engine.m_fFrameTime;
    MeshDeclaration(0);
    SetState(RenderState::DepthBias, 0);
    const bool countPolygons = PrintPolygonCount;
    if (countPolygons) {
        g_Debug.m_PolygonStats = {};
        ResetPolygonCounts();
    }

    g_PaneCrashMgr.Render();
    if (UsePS20 && RenderAmbientBaseColor()) RenderAmbient();
    if (countPolygons) ResetPolygonCounts();
    if (SimpleRender)
        RenderBaseFastest();
    else
        RenderBaseFull();

    if (m_bMeshAdditive) {
        SetSamplerFilters(2, false);
        RenderAdditive();
    }
    if (m_bSkinMeshAdditive) RenderSkinmeshesAdditive();
    if (m_bMeshStain) RenderStains();
    if (m_bSkinMeshStain) RenderSkinmeshStains();
    if (m_bAnyFlash) {
        RenderStroboMeshes();
        RenderStroboSkinmeshes();
    }

    // The blended parts that the base pass left.
    if (m_bSecondCallSkyLitMeshes && DrawSkylightLitObjects) {
        DepthStates(true, false);
        RenderSkyLightMeshes(true);
    }
    if (m_bSecondCallSkyLitSkinMeshes && DrawSkylightLitObjects) {
        DepthStates(true, true);
        RenderSkyLightSkinmeshes(true);
    }
    if (m_bSecondCallAmbientLitMeshes && DrawAmbientLitObjects) {
        DepthStates(true, false);
        if (UsePS20)
            RenderLightMeshes20(true);
        else
            RenderLightMeshes(true);
    }
    if (m_bSecondCallAmbientLitSkinMeshes && DrawAmbientLitObjects) {
        DepthStates(true, false);
        if (UsePS20)
            RenderLightSkinmeshes20(true);
        else
            RenderLightSkinmeshes(true);
    }
    m_bSecondCallSkyLitMeshes = m_bSecondCallSkyLitSkinMeshes = 0;
    m_bSecondCallAmbientLitMeshes = m_bSecondCallAmbientLitSkinMeshes = 0;

    if (m_bRayOfLight) RenderRayOfLight();
    if (OptionMV16) {
        if (OptionMV08) {
            g_PostProcess.BeginDepthScene();
            RenderSceneDepth();
            RenderSkinmeshesDepth();
            g_PostProcess.EndDepthScene();
        }
        if (g_PostProcess.m_bBWOn) {
            g_PostProcess.BeginBWScene();
            MeshDeclaration(0);
            RenderSceneBW();
            MeshDeclaration(1);
            RenderSkinmeshesBW();
            g_PostProcess.EndBWScene();
            MeshDeclaration(0);
        }
    }
    if (countPolygons) ResetPolygonCounts();

    const WorldHooks& hooks = TheWorldHooks();
    hooks.DrawPathsDebug();
    hooks.DrawCharactersDebug();
    hooks.RenderLaserSight();
}

void ERenderer::RenderBaseFull() {
    RecordPass("ERenderer::RenderBaseFull");
    SetSamplerFilters(2, false);
    if (m_bSkyLitMeshes && DrawSkylightLitObjects) {
        if (UsePS20) {
            DepthStates(true, false);
            RenderSkyLightMeshes20(false);
        } else {
            DepthStates(true, true);
            RenderSkyLightMeshes(false);
        }
    }
    SetSamplerFilters(2, false);
    if (m_bAmbientLitMeshes && DrawAmbientLitObjects) {
        DepthStates(true, true);
        if (UsePS20)
            RenderLightMeshes20(false);
        else
            RenderLightMeshes(false);
    }
    // Skinned meshes may be held out of the first frames of a world.
    const bool skinMeshesDrawn = !TheWorldHooks().SkinMeshesHeld() || GameFrames() > kHeldSkinMeshFrames;
    SetSamplerFilters(16, true);
    if (m_bAmbientLitSkinMeshes && DrawAmbientLitObjects) {
        DepthStates(true, true);
        if (skinMeshesDrawn) {
            if (UsePS20)
                RenderLightSkinmeshes20(false);
            else
                RenderLightSkinmeshes(false);
        }
    }
    SetSamplerFilters(16, true);
    if (m_bSkyLitSkinMeshes && DrawSkylightLitObjects) {
        DepthStates(true, true);
        SetState(RenderState::AlphaBlendEnable, 0);
        if (skinMeshesDrawn) {
            if (UsePS20)
                RenderSkyLightSkinmeshes20(false);
            else
                RenderSkyLightSkinmeshes(false);
        }
    }
    if (m_bAnyWater && DrawWater) {
        if (UsePS20) {
            DepthStates(true, false);
            SetState(RenderState::AlphaBlendEnable, 0);
            RenderWater();
        } else {
            RenderWaterReflection();
        }
    }
    if (m_bLava) RenderLava();
}

void ERenderer::RenderBaseFastest() {
    RecordPass("ERenderer::RenderBaseFastest");
    DepthStates(true, true);
    RenderSimpleMeshes(nullptr, nullptr);
    if (m_bAmbientLitSkinMeshes || m_bSkyLitSkinMeshes) {
        DepthStates(true, true);
        RenderSimpleSkinmeshes(nullptr, nullptr);
    }
    // The water pass itself decides whether water is drawn (DrawWater).
    if (m_bAnyWater) RenderWater();
    if (m_bLava) RenderLava();
}

// ---- Pass recording ---------------------------------------------------------------------

void ERenderer::AppendPassRecord(const char* name, uint32_t call) {
    if (m_dwPassRecords >= MAX_PASS_RECORDS) {
        ++m_dwDroppedPassRecords;
        return;
    }
    m_PassRecords[m_dwPassRecords++] = PassRecord{name, call};
}
