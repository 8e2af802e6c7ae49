// The ambient base, overlay and strobe passes over hand-made render lists:
// which subsets each draws (counted at the device, with the cull mode of
// each draw), the result of the ambient base pass, the uploads it makes
// through the effect, the device states it leaves, and its console lines.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/Options.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "tests/render/PassFixture.h"
#include "world/EngineObject.h"

namespace {

using gfx::RenderState;

constexpr uint32_t kCullOff = uint32_t(gfx::Cull::None);
constexpr uint32_t kCullOn = uint32_t(gfx::Cull::Ccw);

class OverlayPassTest : public PassTest {
  protected:
    void SetUp() override {
        PassTest::SetUp();
        ASSERT_NE(d_.dev, nullptr);
        // The effects are made on the device itself, the rest through the
        // counting one, which the meshes then draw through.
        ambient_ = AddEffect("ambient");
        skinned_ = AddEffect("skinnedmesh");
        strobo_ = AddEffect("strobo");
        DrawThroughCountingDevice();
        for (int i = 0; i < 3; ++i)
            meshes_.push_back(Ready(Make(OT_MESH, {float(100 * i), 0, 300})));
        skinnedObject_ = Ready(Make(OT_SKINMESH, {0, 0, 300}));
        saved_ = {DrawTransparent, DrawModels, PrintPolygonCount};
        DrawTransparent = DrawModels = PrintPolygonCount = true;
        g_Debug.m_PolygonStats = {};
        g_EngineObject.UpdateRenderMatrices();
        for (ObjectRecord* h : meshes_)
            h->Mesh()->m_bNonEmpty[0] = 1;
    }
    void TearDown() override {
        std::tie(DrawTransparent, DrawModels, PrintPolygonCount) = saved_;
        for (ERenderer::Flash& f : g_Renderer.m_Flashes)
            f = {};
        PassTest::TearDown();
    }

    // The box mesh the static objects share.
    EMesh* Mesh() const { return meshes_[0]->Mesh(); }

    // Runs a pass and gives the cull mode of each of its draws.
    std::vector<uint32_t> Run(void (ERenderer::*pass)()) {
        for (CountingEffect* e : {ambient_, skinned_, strobo_})
            if (e) e->uploads.clear();
        device_->Forget();
        (g_Renderer.*pass)();
        return device_->drawCulls;
    }
    uint32_t SkinnedDraws() const { return skinnedObject_->SkinMesh()->m_dwRenderCalls; }
    uint32_t State(RenderState s) const {
        uint32_t v = 0;
        d_.dev->GetRenderState(s, &v);
        return v;
    }

    CountingEffect* ambient_ = nullptr;
    CountingEffect* skinned_ = nullptr;
    CountingEffect* strobo_ = nullptr;
    std::vector<ObjectRecord*> meshes_;
    ObjectRecord* skinnedObject_ = nullptr;
    std::tuple<bool, bool, bool> saved_;
};

// ---- Ambient base pass -------------------------------------------------------------

TEST_F(OverlayPassTest, TheAmbientBaseColorPassDrawsOpaqueSeenSubsetsAndTellsOfTransparentOnes) {
    struct Case {
        const char* name;
        std::function<void(EMesh*)> subset;        // of every box
        std::function<void(ObjectRecord*)> object; // of every box, or of the first only
        bool everyObject;
        bool result;
        size_t draws; // of the three boxes
    } cases[] = {
        {"opaque", {}, {}, false, false, 3},
        {"additive or stain only (excluded)", [](EMesh* m) { m->m_bExcluded[0] = 1; }, {}, false, false, 0},
        {"a seen transparent subset", [](EMesh* m) { m->m_bTransparent[0] = 1; }, {}, false, true, 0},
        {"a transparent subset the occluder did not see", [](EMesh* m) { m->m_bTransparent[0] = 1; },
         [](ObjectRecord* h) { h->bSubsetDraw[0] = 0; }, true, false, 0},
        {"an empty subset", [](EMesh* m) { m->m_bNonEmpty[0] = 0; }, {}, false, false, 0},
        {"one object not seen", {}, [](ObjectRecord* h) { h->bSeen = 0; }, false, false, 2},
        {"one object out of view", {}, [](ObjectRecord* h) { h->bVisibleNow = 0; }, false, false, 2},
        {"one object hidden by its flags", {}, [](ObjectRecord* h) { h->dwFlags &= ~1u; }, false, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (ObjectRecord* h : meshes_) {
            EMesh* mesh = h->Mesh();
            mesh->m_bNonEmpty[0] = 1;
            mesh->m_bTransparent[0] = mesh->m_bExcluded[0] = 0;
            if (c.subset) c.subset(mesh);
            Ready(h)->dwFlags |= 1u;
            if (c.object && (c.everyObject || h == meshes_[0])) c.object(h);
        }
        device_->Forget();
        ambient_->uploads.clear();
        EXPECT_EQ(g_Renderer.RenderAmbientBaseColor(), c.result);
        EXPECT_EQ(device_->drawCulls.size(), c.draws);
        EXPECT_EQ(ambient_->Of("g_fBaseColor"), (std::vector<std::vector<float>>{{1, 0, 1, 0}}));
    }
}

TEST_F(OverlayPassTest, TheTransparentAmbientPassDrawsOnlyPlainTransparentTexturesAndCullsAgainAfter) {
    struct Case {
        const char* name;
        std::function<void(strtexture*)> describe;
        std::vector<uint32_t> culls; // at each draw
    } cases[] = {
        {"transparent", [](strtexture* t) { t->desc.bTransparent = 1; }, {kCullOn}},
        {"transparent and 2sided",
         [](strtexture* t) { t->desc.bTransparent = t->desc.b2Sided = 1; },
         {kCullOff}},
        {"transparent and translucent",
         [](strtexture* t) { t->desc.bTransparent = t->desc.bTranslucent = 1; },
         {}},
        {"transparent water", [](strtexture* t) { t->desc.bTransparent = t->desc.bWater = 1; }, {}},
        {"transparent additive", [](strtexture* t) { t->desc.bTransparent = t->desc.bAdditive = 1; }, {}},
        {"transparent stain", [](strtexture* t) { t->desc.bTransparent = t->desc.bStain = 1; }, {}},
        {"transparent ray of light",
         [](strtexture* t) { t->desc.bTransparent = t->desc.bRayOfLight = 1; },
         {}},
        {"transparent with lava",
         [](strtexture* t) {
             t->desc.bTransparent = 1;
             t->pLava = t;
         },
         {}},
        {"opaque", {}, {}},
        {"transparent with DrawTransparent off",
         [](strtexture* t) {
             t->desc.bTransparent = 1;
             DrawTransparent = false;
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawTransparent = true;
        List(g_Renderer.m_pAllTextures, {Texture({meshes_[0]}, c.describe)});
        EXPECT_EQ(Run(&ERenderer::RenderAmbient), c.culls);
        if (DrawTransparent) {
            EXPECT_EQ(State(RenderState::CullMode), kCullOn) << "culling on again after the pass";
        }
    }
}

TEST_F(OverlayPassTest, AnObjectDrawnByBothAmbientPassesCountsItsFacesOnce) {
    Mesh()->m_bTransparent[0] = 1;
    meshes_[1]->bVisibleNow = meshes_[2]->bVisibleNow = 0;
    List(g_Renderer.m_pAllTextures, {Texture({meshes_[0]}, [](strtexture* t) { t->desc.bTransparent = 1; })});
    ASSERT_TRUE(g_Renderer.RenderAmbientBaseColor());
    EXPECT_EQ(Run(&ERenderer::RenderAmbient).size(), 1u);
    EXPECT_EQ(g_Debug.m_PolygonStats.visiblePolygons, 12u) << "the box's faces, once";
}

// ---- Additive, ray-of-light and stain passes ---------------------------------------

TEST_F(OverlayPassTest, EachStaticOverlayPassTakesItsOwnTextures) {
    struct Case {
        const char* name;
        std::function<void(strtexture*)> describe;
        std::function<void(ObjectRecord*)> change;
        size_t additive, rayOfLight, stains;
    } cases[] = {
        {"additive", [](strtexture* t) { t->desc.bAdditive = 1; }, {}, 1, 0, 0},
        {"additive ray of light",
         [](strtexture* t) { t->desc.bAdditive = t->desc.bRayOfLight = 1; },
         {},
         0,
         1,
         0},
        {"additive water", [](strtexture* t) { t->desc.bAdditive = t->desc.bWater = 1; }, {}, 0, 0, 0},
        {"ray of light", [](strtexture* t) { t->desc.bRayOfLight = 1; }, {}, 0, 1, 0},
        {"stain", [](strtexture* t) { t->desc.bStain = 1; }, {}, 0, 0, 1},
        {"stain ray of light", [](strtexture* t) { t->desc.bStain = t->desc.bRayOfLight = 1; }, {}, 0, 1, 0},
        {"stain water", [](strtexture* t) { t->desc.bStain = t->desc.bWater = 1; }, {}, 0, 0, 0},
        {"unseen: additive and ray of light drawn, stains not",
         [](strtexture* t) { t->desc.bAdditive = t->desc.bStain = 1; }, [](ObjectRecord* h) { h->bSeen = 0; },
         1, 0, 0},
        {"subset unseen", [](strtexture* t) { t->desc.bAdditive = 1; },
         [](ObjectRecord* h) { h->bSubsetDraw[0] = 0; }, 1, 0, 0},
        {"out of view", [](strtexture* t) { t->desc.bAdditive = t->desc.bStain = 1; },
         [](ObjectRecord* h) { h->bVisibleNow = 0; }, 0, 0, 0},
        {"plain", {}, {}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ObjectRecord* h = Ready(meshes_[0]);
        if (c.change) c.change(h);
        List(g_Renderer.m_pMeshTextures, {Texture({h}, c.describe)});
        g_Debug.m_PolygonStats = {};
        EXPECT_EQ(Run(&ERenderer::RenderAdditive).size(), c.additive);
        EXPECT_EQ(Run(&ERenderer::RenderRayOfLight).size(), c.rayOfLight);
        EXPECT_EQ(Run(&ERenderer::RenderStains).size(), c.stains);
        EXPECT_EQ(g_Debug.m_PolygonStats.switchedSubsets, c.additive + c.rayOfLight + c.stains);
        EXPECT_EQ(g_Debug.m_PolygonStats.subsetsUnder100, c.additive + c.rayOfLight + c.stains) << "12 faces";
    }
}

TEST_F(OverlayPassTest, TheAppearDistanceAndCullingChangeOncePerTexture) {
    auto glow = [](float distance, bool twoSided) {
        return [=](strtexture* t) {
            t->desc.bAdditive = 1;
            t->desc.fAppearDistance = distance;
            t->desc.b2Sided = twoSided;
        };
    };
    List(g_Renderer.m_pMeshTextures,
         {Texture(meshes_, glow(2000.0f, true)), Texture({meshes_[0]}, glow(0.0f, false))});
    EXPECT_EQ(Run(&ERenderer::RenderAdditive),
              (std::vector<uint32_t>{kCullOff, kCullOff, kCullOff, kCullOn}));
    EXPECT_EQ(ambient_->Of("g_fAppearDistance"), (std::vector<std::vector<float>>{{2000.0f}, {0.0f}}));
    EXPECT_EQ(ambient_->Of("g_CameraModel").size(), 4u) << "per node";
}

TEST_F(OverlayPassTest, TheStainPassCullsPerTexture) {
    auto stain = [](bool twoSided) {
        return [=](strtexture* t) {
            t->desc.bStain = 1;
            t->desc.b2Sided = twoSided;
        };
    };
    List(g_Renderer.m_pMeshTextures,
         {Texture({meshes_[0]}, stain(true)), Texture({meshes_[1]}, stain(false))});
    EXPECT_EQ(Run(&ERenderer::RenderStains), (std::vector<uint32_t>{kCullOff, kCullOn}));
}

TEST_F(OverlayPassTest, TheStainPassSetsFogAroundAnObjectWithoutFog) {
    ObjectRecord *a = meshes_[0], *b = meshes_[1], *c = meshes_[2];
    for (ObjectRecord* h : meshes_)
        h->iFogIdx = 1;
    b->dwFlags2 |= 0x40000;
    g_EnvironmentSettings.SetFogFar(600.0f, 1);
    g_EnvironmentSettings.SetFogNear(200.0f, 1);
    List(g_Renderer.m_pMeshTextures, {Texture({a, b, c}, [](strtexture* t) { t->desc.bStain = 1; })});
    ASSERT_EQ(Run(&ERenderer::RenderStains).size(), 3u);
    EXPECT_EQ(ambient_->Of("g_FogFar"), (std::vector<std::vector<float>>{{600.0f}, {80008.0f}, {600.0f}}));
    EXPECT_EQ(ambient_->Of("g_FogNear"), (std::vector<std::vector<float>>{{200.0f}, {80000.0f}, {200.0f}}));
    // Objects of one set share one upload.
    b->dwFlags2 = 0;
    Run(&ERenderer::RenderStains);
    EXPECT_EQ(ambient_->Of("g_FogFar").size(), 1u);
}

TEST_F(OverlayPassTest, AdditiveBlendingSetOnTheDeviceStaysWhileTheStainEffectPutsItsOwnBack) {
    List(g_Renderer.m_pMeshTextures,
         {Texture({meshes_[0]}, [](strtexture* t) { t->desc.bAdditive = t->desc.bStain = 1; })});
    for (auto pass : {&ERenderer::RenderAdditive, &ERenderer::RenderStains}) {
        d_.dev->SetRenderState(RenderState::AlphaBlendEnable, 0);
        d_.dev->SetRenderState(RenderState::ZWriteEnable, 1);
        d_.dev->SetRenderState(RenderState::DestBlend, uint32_t(gfx::Blend::Zero));
        ASSERT_EQ(Run(pass).size(), 1u);
        const bool additive = pass == &ERenderer::RenderAdditive;
        EXPECT_EQ(State(RenderState::AlphaBlendEnable), additive ? 1u : 0u);
        EXPECT_EQ(State(RenderState::ZWriteEnable), additive ? 0u : 1u);
        EXPECT_EQ(State(RenderState::DestBlend), uint32_t(additive ? gfx::Blend::One : gfx::Blend::Zero));
        if (additive) {
            EXPECT_EQ(State(RenderState::SrcBlend), uint32_t(gfx::Blend::SrcColor));
        }
    }
}

TEST_F(OverlayPassTest, SkinnedOverlayPassesDrawSeenUsersOfTheirTextures) {
    struct Case {
        const char* name;
        std::function<void(strtexture*)> describe;
        std::function<void(ObjectRecord*)> change;
        uint32_t additive, stains;
    } cases[] = {
        {"additive", [](strtexture* t) { t->desc.bAdditive = 1; }, {}, 1, 0},
        {"additive, do not render", [](strtexture* t) { t->desc.bAdditive = t->bDoNotRender = 1; }, {}, 0, 0},
        {"stain, do not render", [](strtexture* t) { t->desc.bStain = t->bDoNotRender = 1; }, {}, 0, 1},
        {"both", [](strtexture* t) { t->desc.bAdditive = t->desc.bStain = 1; }, {}, 1, 1},
        {"not seen", [](strtexture* t) { t->desc.bAdditive = t->desc.bStain = 1; },
         [](ObjectRecord* h) { h->bSeen = 0; }, 0, 0},
        {"out of view", [](strtexture* t) { t->desc.bAdditive = t->desc.bStain = 1; },
         [](ObjectRecord* h) { h->bVisibleNow = 0; }, 0, 0},
        {"plain", {}, {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ObjectRecord* h = Ready(skinnedObject_);
        if (c.change) c.change(h);
        strtexture* t = Texture({h}, c.describe);
        List(g_Renderer.m_pSkinMeshTextures, {t});
        uint32_t before = SkinnedDraws();
        Run(&ERenderer::RenderSkinmeshesAdditive);
        EXPECT_EQ(SkinnedDraws() - before, c.additive);
        before = SkinnedDraws();
        Run(&ERenderer::RenderSkinmeshStains);
        EXPECT_EQ(SkinnedDraws() - before, c.stains);
        if (c.stains) {
            EXPECT_EQ(h->SkinMesh()->m_dwLastRenderTexture, t->id);
            EXPECT_EQ(h->SkinMesh()->m_pLastRenderEffect, g_EffectMgr.FindEffect("skinnedmesh"));
        }
    }
}

// ---- Strobe passes -----------------------------------------------------------------

TEST_F(OverlayPassTest, TheFlashSlotsAreOnWhileTimeIsLeftWithTheRangeOfEachMeshKind) {
    g_Renderer.m_Flashes[0].fTime = 0.0f;
    g_Renderer.m_Flashes[1].fTime = 0.01f;
    g_Renderer.m_Flashes[2].fTime = -0.5f;
    g_Renderer.m_Flashes[3].fTime = 0.08f;
    List(g_Renderer.m_pMeshTextures, {Texture({meshes_[0]})});
    List(g_Renderer.m_pSkinMeshTextures, {Texture({skinnedObject_})});
    const std::vector<float> on = {0, 1, 0, 1, 0};
    EXPECT_EQ(Run(&ERenderer::RenderStroboMeshes).size(), 1u);
    EXPECT_EQ(strobo_->Of("g_bLightOn"), (std::vector<std::vector<float>>{on}));
    EXPECT_EQ(strobo_->Of("g_LightRange"), (std::vector<std::vector<float>>{{300.0f}}));
    EXPECT_EQ(strobo_->Of("g_LightPower"), (std::vector<std::vector<float>>{{2.0f}}));
    EXPECT_EQ(strobo_->Of("g_LightDiffuse"), (std::vector<std::vector<float>>{{1.0f, 0.9f, 0.7f, 1.0f}}));
    const uint32_t before = SkinnedDraws();
    Run(&ERenderer::RenderStroboSkinmeshes);
    EXPECT_EQ(SkinnedDraws() - before, 1u);
    EXPECT_EQ(strobo_->Of("g_bLightOn"), (std::vector<std::vector<float>>{on}));
    EXPECT_EQ(strobo_->Of("g_LightRange"), (std::vector<std::vector<float>>{{400.0f}}));
    EXPECT_EQ(strobo_->Of("g_fTextureDensity"), (std::vector<std::vector<float>>{{1.0f}})) << "0 means 1";
}

TEST_F(OverlayPassTest, TheStrobePassesLeaveOutTexturesAndUnmarkedSurfaces) {
    struct Case {
        const char* name;
        std::function<void(strtexture*)> describe;
        std::function<void(ObjectRecord*)> change;
        size_t meshDraws;
        uint32_t skinnedDraws;
    } cases[] = {
        {"plain", {}, {}, 1, 1},
        {"transparent", [](strtexture* t) { t->desc.bTransparent = 1; }, {}, 0, 0},
        {"water", [](strtexture* t) { t->desc.bWater = 1; }, {}, 0, 1},
        {"ray of light", [](strtexture* t) { t->desc.bRayOfLight = 1; }, {}, 0, 1},
        {"animated", [](strtexture* t) { t->bAnimated = 1; }, {}, 0, 1},
        {"multitexture", [](strtexture* t) { t->bHasMultitexture = 1; }, {}, 0, 1},
        {"translucent", [](strtexture* t) { t->desc.bTranslucent = 1; }, {}, 0, 0},
        {"additive", [](strtexture* t) { t->desc.bAdditive = 1; }, {}, 0, 0},
        {"stain", [](strtexture* t) { t->desc.bStain = 1; }, {}, 0, 0},
        {"do not render", [](strtexture* t) { t->bDoNotRender = 1; }, {}, 1, 0},
        {"no image", [](strtexture* t) { t->pTexture = nullptr; }, {}, 0, 1},
        {"not seen", {}, [](ObjectRecord* h) { h->bSeen = 0; }, 0, 0},
        {"subset not seen", {}, [](ObjectRecord* h) { h->bSubsetDraw[0] = 0; }, 0, 1},
        {"out of view", {}, [](ObjectRecord* h) { h->bVisibleNow = 0; }, 0, 0},
        {"hidden by its flags", {}, [](ObjectRecord* h) { h->dwFlags &= ~1u; }, 1, 0},
        {"DrawModels off", {}, [](ObjectRecord*) { DrawModels = false; }, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawModels = true;
        ObjectRecord* mesh = Ready(meshes_[0]);
        ObjectRecord* skinned = Ready(skinnedObject_);
        mesh->dwFlags |= 1u;
        skinned->dwFlags |= 1u;
        if (c.change) {
            c.change(mesh);
            c.change(skinned);
        }
        List(g_Renderer.m_pMeshTextures, {Texture({mesh}, c.describe)});
        List(g_Renderer.m_pSkinMeshTextures, {Texture({skinned}, c.describe)});
        EXPECT_EQ(Run(&ERenderer::RenderStroboMeshes).size(), c.meshDraws);
        const uint32_t before = SkinnedDraws();
        Run(&ERenderer::RenderStroboSkinmeshes);
        EXPECT_EQ(SkinnedDraws() - before, c.skinnedDraws);
    }
}

TEST_F(OverlayPassTest, AMissingEffectIsNamedAndNothingIsDrawn) {
    struct Case {
        const char* name;
        void (ERenderer::*pass)();
        bool keepRecords;    // records without their effects
        const char* printed; // null: silent
    } cases[] = {
        {"strobe, static, no record", &ERenderer::RenderStroboMeshes, false, "No strobo.fx found!"},
        {"strobe, static, no effect", &ERenderer::RenderStroboMeshes, true, nullptr},
        {"strobe, skinned, no record", &ERenderer::RenderStroboSkinmeshes, false, "No strobo HEFFECT"},
        {"strobe, skinned, no effect", &ERenderer::RenderStroboSkinmeshes, true, "No strobo ID3DXEffect"},
        {"skinned additive, no record", &ERenderer::RenderSkinmeshesAdditive, false,
         "No skinnedmesh additive effect!"},
        {"skinned additive, no effect", &ERenderer::RenderSkinmeshesAdditive, true, nullptr},
        {"skinned stains, no record", &ERenderer::RenderSkinmeshStains, false,
         "No skinnedmesh stain effect!"},
        {"skinned stains, no effect", &ERenderer::RenderSkinmeshStains, true, nullptr},
        {"additive, no record", &ERenderer::RenderAdditive, false, nullptr},
        {"stains, no effect", &ERenderer::RenderStains, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_EffectMgr.Destroy();
        ambient_ = skinned_ = strobo_ = nullptr;
        if (c.keepRecords) {
            for (const char* name : {"ambient", "skinnedmesh", "strobo"}) {
                auto* record = new EffectRecord;
                std::snprintf(record->name, sizeof record->name, "%s", name);
                record->pNext = g_EffectMgr.m_pEffects;
                g_EffectMgr.m_pEffects = record;
            }
        }
        auto all = [](strtexture* t) { t->desc.bAdditive = t->desc.bStain = 1; };
        List(g_Renderer.m_pMeshTextures, {Texture({meshes_[0]}, all)});
        List(g_Renderer.m_pSkinMeshTextures, {Texture({skinnedObject_}, all)});
        const uint32_t before = SkinnedDraws();
        MarkConsole();
        EXPECT_TRUE(Run(c.pass).empty());
        EXPECT_EQ(SkinnedDraws(), before);
        if (c.printed) {
            EXPECT_TRUE(PrintedLine(c.printed));
        } else {
            EXPECT_FALSE(Printed("No ")) << "silent";
        }
    }
}

} // namespace
