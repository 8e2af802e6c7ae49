// The fastest pass over hand-made render lists: which textures and users
// are drawn (counted by the polygon statistics and the skinned meshes' draw
// requests), the second-call flags of translucent textures, the alpha mode
// of transparent ones, and the ambient, fog and sky-light uploads counted
// through the effect.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/Options.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "tests/render/PassFixture.h"
#include "world/EngineObject.h"

namespace {

class FastestPassTest : public PassTest {
  protected:
    void SetUp() override {
        PassTest::SetUp();
        ASSERT_NE(d_.dev, nullptr);
        MakeVertexDeclarations(d_.dev);
        mesh_ = AddEffect("SimpleMesh");
        skinned_ = AddEffect("SimpleSkinmesh");
        for (int i = 0; i < 3; ++i)
            meshes_.push_back(Ready(Make(OT_MESH, {float(100 * i), 0, 300})));
        skinnedObject_ = Ready(Make(OT_SKINMESH, {0, 0, 300}));
        saved_ = {DrawTransparent, DrawModels, UseSkyLight, PrintPolygonCount, SkyLightPower};
        DrawTransparent = DrawModels = UseSkyLight = PrintPolygonCount = true;
        g_Renderer.m_bSecondCallSkyLitMeshes = g_Renderer.m_bSecondCallSkyLitSkinMeshes = 0;
        g_Debug.m_PolygonStats = {};
        g_Engine.m_bQuit = 0;
    }
    void TearDown() override {
        std::tie(DrawTransparent, DrawModels, UseSkyLight, PrintPolygonCount, SkyLightPower) = saved_;
        PassTest::TearDown();
        g_Engine.m_bQuit = 0;
    }

    // Runs the static pass over the list, with the frame's render values.
    void RunMeshes(const std::vector<strtexture*>& list) {
        List(g_Renderer.m_pMeshTextures, list);
        g_EngineObject.UpdateRenderMatrices();
        mesh_->uploads.clear();
        g_Renderer.RenderSimpleMeshes(nullptr, nullptr);
    }
    void RunSkinned(const std::vector<strtexture*>& list) {
        List(g_Renderer.m_pSkinMeshTextures, list);
        skinned_->uploads.clear();
        g_Renderer.RenderSimpleSkinmeshes(nullptr, nullptr);
    }
    static uint32_t DrawnSubsets() { return g_Debug.m_PolygonStats.switchedSubsets; }
    uint32_t SkinnedDraws() const { return skinnedObject_->SkinMesh()->m_dwRenderCalls; }

    CountingEffect* mesh_ = nullptr;
    CountingEffect* skinned_ = nullptr;
    std::vector<ObjectRecord*> meshes_;
    ObjectRecord* skinnedObject_ = nullptr;
    std::tuple<bool, bool, bool, bool, float> saved_;
};

struct LeaveCase {
    const char* name;
    std::function<void(strtexture*)> describe;
    std::function<void(ObjectRecord*)> change; // of the object, before the pass
    uint32_t drawn;
};

TEST_F(FastestPassTest, StaticMeshesDrawOnlySolidSeenSubsetsInView) {
    const LeaveCase cases[] = {
        {"a plain texture", {}, {}, 1},
        {"transparent with DrawTransparent on", [](strtexture* t) { t->desc.bTransparent = 1; }, {}, 1},
        {"transparent with DrawTransparent off",
         [](strtexture* t) {
             t->desc.bTransparent = 1;
             DrawTransparent = false;
         },
         {},
         0},
        {"translucent", [](strtexture* t) { t->desc.bTranslucent = 1; }, {}, 0},
        {"additive", [](strtexture* t) { t->desc.bAdditive = 1; }, {}, 0},
        {"stain", [](strtexture* t) { t->desc.bStain = 1; }, {}, 0},
        {"water", [](strtexture* t) { t->desc.bWater = 1; }, {}, 0},
        {"ray of light", [](strtexture* t) { t->desc.bRayOfLight = 1; }, {}, 0},
        {"the seen byte clear", {}, [](ObjectRecord* h) { h->bSeen = 0; }, 0},
        {"the subset-seen byte clear", {}, [](ObjectRecord* h) { h->bSubsetDraw[0] = 0; }, 0},
        {"out of view", {}, [](ObjectRecord* h) { h->bVisibleNow = 0; }, 0},
        {"no drawable mesh", {}, [](ObjectRecord* h) { h->pD3DXMesh = nullptr; }, 0},
    };
    for (const LeaveCase& c : cases) {
        SCOPED_TRACE(c.name);
        DrawTransparent = true;
        g_Debug.m_PolygonStats = {};
        ObjectRecord* h = meshes_[0];
        mesh::Mesh* kept = h->pD3DXMesh;
        h->bPolygonsCounted = 0;
        if (c.change) c.change(h);
        g_Renderer.m_bSecondCallSkyLitMeshes = 0;
        strtexture* t = Texture({h}, c.describe);
        RunMeshes({t});
        EXPECT_EQ(DrawnSubsets(), c.drawn);
        EXPECT_EQ(g_Debug.m_PolygonStats.renderedPolygons, c.drawn ? 12u : 0u) << "the box's faces, once";
        EXPECT_EQ(g_Renderer.m_bSecondCallSkyLitMeshes, t->desc.bTranslucent) << "left to the second call";
        // A transparent texture draws in the alpha-test mode; every pass ends
        // with both modes off.
        const bool transparentDrawn = t->desc.bTransparent && c.drawn;
        const auto modes = mesh_->Of("g_bDrawTransparent");
        EXPECT_EQ(std::count(modes.begin(), modes.end(), std::vector<float>{1.0f}), transparentDrawn ? 1 : 0);
        EXPECT_FALSE(g_RenderStateCache.m_bTransparentOn || g_RenderStateCache.m_bTranslucentOn);
        Ready(h)->pD3DXMesh = kept;
    }
}

TEST_F(FastestPassTest, SkinnedMeshesDrawSeenUsersInViewWhileModelsAreDrawn) {
    const LeaveCase cases[] = {
        {"a plain texture", {}, {}, 1},
        {"transparent", [](strtexture* t) { t->desc.bTransparent = 1; }, {}, 1},
        {"translucent", [](strtexture* t) { t->desc.bTranslucent = 1; }, {}, 0},
        {"additive", [](strtexture* t) { t->desc.bAdditive = 1; }, {}, 0},
        {"stain", [](strtexture* t) { t->desc.bStain = 1; }, {}, 0},
        {"do not render", [](strtexture* t) { t->bDoNotRender = 1; }, {}, 0},
        {"the seen byte clear", {}, [](ObjectRecord* h) { h->bSeen = 0; }, 0},
        {"the subset-seen byte is not asked", {}, [](ObjectRecord* h) { h->bSubsetDraw[0] = 0; }, 1},
        {"out of view", {}, [](ObjectRecord* h) { h->bVisibleNow = 0; }, 0},
        {"DrawModels off", {}, [](ObjectRecord*) { DrawModels = false; }, 0},
    };
    for (const LeaveCase& c : cases) {
        SCOPED_TRACE(c.name);
        DrawModels = true;
        ObjectRecord* h = skinnedObject_;
        if (c.change) c.change(h);
        g_Renderer.m_bSecondCallSkyLitSkinMeshes = 0;
        const uint32_t before = SkinnedDraws();
        strtexture* t = Texture({h}, c.describe);
        RunSkinned({t});
        EXPECT_EQ(SkinnedDraws() - before, c.drawn);
        if (c.drawn) {
            EXPECT_EQ(h->SkinMesh()->m_dwLastRenderTexture, t->id);
            EXPECT_EQ(h->SkinMesh()->m_pLastRenderEffect, g_EffectMgr.FindEffect("SimpleSkinmesh"));
        }
        EXPECT_EQ(g_Renderer.m_bSecondCallSkyLitSkinMeshes, t->desc.bTranslucent);
        Ready(h);
    }
}

TEST_F(FastestPassTest, AnObjectWithoutFogPushesItOutAndTheNextOneUploadsItsOwnAgain) {
    ObjectRecord *a = meshes_[0], *b = meshes_[1], *c = meshes_[2];
    for (ObjectRecord* h : {a, b, c})
        h->iFogIdx = 1;
    b->dwFlags2 |= 0x40000;
    g_EnvironmentSettings.SetFogFar(600.0f, 1);
    g_EnvironmentSettings.SetFogNear(200.0f, 1);
    RunMeshes({Texture({a, b, c})});
    ASSERT_EQ(DrawnSubsets(), 3u);
    EXPECT_EQ(mesh_->Of("g_FogColor").size(), 2u) << "a's, and c's after b forgot the index";
    const std::vector<std::vector<float>> far = mesh_->Of("g_FogFar"), near = mesh_->Of("g_FogNear");
    const std::vector<std::vector<float>> wantFar = {{600.0f}, {80008.0f}, {600.0f}};
    const std::vector<std::vector<float>> wantNear = {{200.0f}, {80000.0f}, {200.0f}};
    EXPECT_EQ(far, wantFar);
    EXPECT_EQ(near, wantNear);
}

TEST_F(FastestPassTest, ObjectsOfOneAmbientIndexShareOneUploadUnlessTheTextureIsAnimated) {
    struct Case {
        const char* name;
        bool animated;
        bool ownColour; // the middle object uses its own ambient colour
        size_t uploads;
    } cases[] = {
        {"one index, still texture", false, false, 1},
        {"one index, animated texture", true, false, 3},
        {"an own colour between", false, true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (ObjectRecord* h : meshes_) {
            h->iAmbientLightIdx = 1;
            h->dwFlags2 = 0;
        }
        if (c.ownColour) {
            meshes_[1]->dwFlags2 |= 0x20000000;
            meshes_[1]->fProbedAmbient[0] = 0.75f;
        }
        strtexture* t = Texture(meshes_, [&](strtexture* r) { r->bAnimated = c.animated; });
        RunMeshes({t});
        const auto ambient = mesh_->Of("g_AmbientLightDiffuse");
        EXPECT_EQ(ambient.size(), c.uploads);
        if (c.ownColour && ambient.size() == 3) {
            EXPECT_EQ(ambient[1][0], 0.75f) << "the probed colour";
        }
    }
}

TEST_F(FastestPassTest, TheSkyLightPowerIsCappedForStaticMeshesOnly) {
    g_EnvironmentSettings.SetSkyLightColor(0x00FF8000);
    const float direction[3] = {0.0f, -2.0f, 0.0f};
    g_EnvironmentSettings.SetSkyLightDirection(direction);
    g_EnvironmentSettings.m_bSkyLightInUse = true;
    SkyLightPower = 3.0f;
    RunMeshes({Texture({meshes_[0]})});
    RunSkinned({Texture({skinnedObject_})});
    const std::vector<float> meshLight = {2.0f, 1.0f, 0.0f, 1.0f, 0, 0, 0, 0};
    const std::vector<float> skinLight = {3.0f, 1.5f, 0.0f, 1.0f, 0, 0, 0, 0};
    for (const auto& [effect, want] : {std::pair{mesh_, meshLight}, std::pair{skinned_, skinLight}}) {
        const auto diffuse = effect->Of("g_SkyLightDiffuse");
        ASSERT_EQ(diffuse.size(), 1u);
        for (size_t i = 0; i < want.size(); ++i)
            EXPECT_NEAR(diffuse[0][i], want[i], 0.01f) << i;
        const auto dir = effect->Of("g_SkyLightDir");
        ASSERT_EQ(dir.size(), 1u);
        EXPECT_EQ(dir[0], (std::vector<float>{0, -1, 0, 0, 0, 0, 0, 0})) << "unit length, second light none";
        EXPECT_EQ(effect->Of("g_bUseSkyLightX").front(), (std::vector<float>{1, 0}));
    }
}

TEST_F(FastestPassTest, AMissingEffectIsNamedAndNothingIsDrawn) {
    struct Case {
        const char* name;
        bool skinned;
        bool keepRecord; // a record without its effect
        const char* printed;
    } cases[] = {
        {"static, no record", false, false, "No simple mesh HEFFECT"},
        {"static, no effect", false, true, "No simple mesh ID3DXEffect"},
        {"skinned, no record", true, false, "No SimpleSkinmesh HEFFECT"},
        {"skinned, no effect", true, true, "No SimpleSkinmesh ID3DXEffect"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_EffectMgr.Destroy();
        mesh_ = skinned_ = nullptr;
        if (c.keepRecord) {
            for (const char* name : {"SimpleMesh", "SimpleSkinmesh"}) {
                auto* record = new EffectRecord;
                std::snprintf(record->name, sizeof record->name, "%s", name);
                record->pNext = g_EffectMgr.m_pEffects;
                g_EffectMgr.m_pEffects = record;
            }
        }
        const uint32_t skinnedBefore = SkinnedDraws();
        g_Debug.m_PolygonStats = {};
        MarkConsole();
        if (c.skinned) {
            g_Renderer.m_pSkinMeshTextures[0] = Texture({skinnedObject_});
            g_Renderer.m_pSkinMeshTextures[1] = nullptr;
            g_Renderer.RenderSimpleSkinmeshes(nullptr, nullptr);
        } else {
            g_Renderer.m_pMeshTextures[0] = Texture({meshes_[0]});
            g_Renderer.m_pMeshTextures[1] = nullptr;
            g_Renderer.RenderSimpleMeshes(nullptr, nullptr);
        }
        EXPECT_TRUE(PrintedLine(c.printed));
        EXPECT_EQ(DrawnSubsets(), 0u);
        EXPECT_EQ(SkinnedDraws(), skinnedBefore);
    }
}

} // namespace
