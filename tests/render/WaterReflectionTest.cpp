// The water reflection's steps over hand-made render lists: the mirrored
// view (against GLM), which static and skinned subsets each walk draws and
// with which cull mode, the fog it sends, and its console lines.
#include <gtest/gtest.h>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/D3DMain.h"
#include "app/Options.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "render/DepthRender.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "tests/render/PassFixture.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/WorldHooks.h"

namespace {

using Values = std::vector<std::vector<float>>;
constexpr uint32_t kCullCw = uint32_t(gfx::Cull::Cw);

TEST(WaterReflectionView, APointAboveTheWaterIsMirroredAsFarBelowIt) {
    struct Case {
        const char* name;
        math::Vec3 water, point;
        float mirroredY;
    } cases[] = {
        {"water at 100, point at 130", {50, 100, -20}, {7, 130, 9}, 70},
        {"water at 0, point at 50", {0, 0, 0}, {-300, 50, 12}, -50},
        {"water below zero", {900, -20, 4}, {1, 10, 1}, -50},
        {"a point under the water", {0, 100, 0}, {0, 40, 0}, 160},
    };
    // Any camera: the mirror comes first, then the camera's view.
    const glm::mat4 lookAt = glm::lookAtLH(glm::vec3(200, 300, -400), glm::vec3(0, 0, 0), glm::vec3(0, 1, 0));
    math::Matrix view;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            view.m[r][c] = lookAt[r][c]; // GLM's columns are the engine's rows
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const math::Matrix m = EDepthRender::ReflectionView(c.water, view);
        const math::Vec4 got = math::Vec3Transform(c.point, m);
        const glm::vec4 want = lookAt * glm::vec4(c.point.x, c.mirroredY, c.point.z, 1.0f);
        EXPECT_NEAR(got.x, want.x, 1e-3f);
        EXPECT_NEAR(got.y, want.y, 1e-3f);
        EXPECT_NEAR(got.z, want.z, 1e-3f);
        EXPECT_NEAR(got.w, want.w, 1e-5f);
    }
}

class WaterReflectionTest : public PassTest {
  protected:
    void SetUp() override {
        PassTest::SetUp();
        ASSERT_NE(d_.dev, nullptr);
        mesh_ = AddEffect("SimplestMesh");
        skinned_ = AddEffect("SimplestSkinmesh");
        DrawThroughCountingDevice();
        for (int i = 0; i < 3; ++i) {
            ObjectRecord* h = Make(OT_MESH, {float(100 * i), 0, 300});
            ASSERT_TRUE(h);
            Ready(h);
            meshes_.push_back(h);
        }
        skinnedObject_ = Ready(Make(OT_SKINMESH, {0, 0, 300}));
        saved_ = {DrawModels, UseSkyLight, g_Engine.m_bReducedRenderMode};
        savedEnvironment_ = g_EnvironmentSettings;
        DrawModels = true;
        g_EngineObject.UpdateRenderMatrices();
    }
    void TearDown() override {
        std::tie(DrawModels, UseSkyLight, g_Engine.m_bReducedRenderMode) = saved_;
        g_EnvironmentSettings = savedEnvironment_;
        InstallWorldHooks(savedHooks_);
        PassTest::TearDown();
    }

    // Drawn, in view, seen (subset 0), near.
    static ObjectRecord* Ready(ObjectRecord* h) {
        EXPECT_TRUE(h);
        h->bVisibleNow = h->bSeen = 1;
        h->bSubsetDraw[0] = 1;
        h->dwFlags = (h->dwFlags | 1u) & ~0x100000u;
        h->dwFlags2 = 0;
        h->iCameraDistance = 100;
        return h;
    }
    strtexture* Texture(const std::vector<ObjectRecord*>& users,
                        std::function<void(strtexture*)> change = {}) {
        return PassTest::Texture(users, change, 0, 0xFF804020);
    }
    // The cull mode of each static draw of the reflection's mesh walk.
    std::vector<uint32_t> RunMeshes() {
        mesh_->uploads.clear();
        device_->Forget();
        g_DepthRender.RenderReflectionMeshes(nullptr, nullptr);
        return device_->drawCulls;
    }
    // The skinned meshes' draws of the skinned walk.
    uint32_t RunSkinmeshes() {
        skinned_->uploads.clear();
        const uint32_t before = skinnedObject_->SkinMesh()->m_dwRenderCalls;
        g_DepthRender.RenderReflectionSkinmeshes(nullptr, nullptr);
        return skinnedObject_->SkinMesh()->m_dwRenderCalls - before;
    }
    uint32_t Cull() const {
        uint32_t v = 0;
        d_.dev->GetRenderState(gfx::RenderState::CullMode, &v);
        return v;
    }

    CountingEffect* mesh_ = nullptr;
    CountingEffect* skinned_ = nullptr;
    std::vector<ObjectRecord*> meshes_;
    ObjectRecord* skinnedObject_ = nullptr;
    std::tuple<bool, bool, uint8_t> saved_;
    EnvironmentSettings savedEnvironment_;
    WorldHooks savedHooks_ = TheWorldHooks();
};

TEST_F(WaterReflectionTest, EachWalkReflectsTheSubsetsItsTestsAccept) {
    struct Case {
        const char* name;
        std::function<void(strtexture*)> describe;
        std::function<void(ObjectRecord*)> change;
        bool intro;
        size_t meshes;
        uint32_t skinned;
    } cases[] = {
        {"near", {}, {}, false, 1, 1},
        {"at 2000", {}, [](ObjectRecord* h) { h->iCameraDistance = 2000; }, false, 1, 1},
        {"at 2001", {}, [](ObjectRecord* h) { h->iCameraDistance = 2001; }, false, 1, 0},
        {"at 6000", {}, [](ObjectRecord* h) { h->iCameraDistance = 6000; }, false, 1, 0},
        {"at 6001", {}, [](ObjectRecord* h) { h->iCameraDistance = 6001; }, false, 0, 0},
        {"at 20000 in the intro", {}, [](ObjectRecord* h) { h->iCameraDistance = 20000; }, true, 1, 0},
        {"at 20001 in the intro", {}, [](ObjectRecord* h) { h->iCameraDistance = 20001; }, true, 0, 0},
        {"at 2001 in the intro", {}, [](ObjectRecord* h) { h->iCameraDistance = 2001; }, true, 1, 0},
        {"water", [](strtexture* t) { t->desc.bWater = 1; }, {}, false, 0, 1},
        {"translucent", [](strtexture* t) { t->desc.bTranslucent = 1; }, {}, false, 0, 0},
        {"additive", [](strtexture* t) { t->desc.bAdditive = 1; }, {}, false, 0, 0},
        {"stain", [](strtexture* t) { t->desc.bStain = 1; }, {}, false, 0, 0},
        {"do not render", [](strtexture* t) { t->bDoNotRender = 1; }, {}, false, 0, 0},
        {"transparent", [](strtexture* t) { t->desc.bTransparent = 1; }, {}, false, 1, 1},
        {"flags without 0x1", {}, [](ObjectRecord* h) { h->dwFlags &= ~1u; }, false, 0, 0},
        {"flags with 0x100000", {}, [](ObjectRecord* h) { h->dwFlags |= 0x100000u; }, false, 0, 0},
        {"always wiped", {}, [](ObjectRecord* h) { h->bAlwaysWipe = 1; }, false, 0, 0},
        {"out of view", {}, [](ObjectRecord* h) { h->bVisibleNow = 0; }, false, 0, 0},
        {"not seen", {}, [](ObjectRecord* h) { h->bSeen = 0; }, false, 0, 0},
        {"not seen, reduced-render mode",
         {},
         [](ObjectRecord* h) {
             h->bSeen = 0;
             g_Engine.m_bReducedRenderMode = 1;
         },
         false,
         0,
         1},
        {"subset not seen", {}, [](ObjectRecord* h) { h->bSubsetDraw[0] = 0; }, false, 0, 1},
        {"kind bits 2", {}, [](ObjectRecord* h) { h->dwKindFlags = 2; }, false, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_Engine.m_bReducedRenderMode = 0;
        WorldHooks hooks = savedHooks_;
        if (c.intro) hooks.IntroRunning = [] { return true; };
        InstallWorldHooks(hooks);
        ObjectRecord* mesh = Ready(meshes_[0]);
        ObjectRecord* skinned = Ready(skinnedObject_);
        mesh->bAlwaysWipe = skinned->bAlwaysWipe = 0;
        mesh->dwKindFlags = skinned->dwKindFlags = 0;
        if (c.change) {
            c.change(mesh);
            c.change(skinned);
        }
        List(g_Renderer.m_pMeshTextures, {Texture({mesh}, c.describe)});
        List(g_Renderer.m_pSkinMeshTextures, {Texture({skinned}, c.describe)});
        EXPECT_EQ(RunMeshes(), std::vector<uint32_t>(c.meshes, kCullCw)) << "clockwise culling";
        EXPECT_EQ(RunSkinmeshes(), c.skinned);
        EXPECT_EQ(Cull(), uint32_t(gfx::Cull::Ccw)) << "counter-clockwise again after";
    }
}

TEST_F(WaterReflectionTest, FogIsSentOncePerSetAndNotAtAllForObjectsWithoutFog) {
    g_EnvironmentSettings.SetFogColor(0x336699, 1);
    g_EnvironmentSettings.SetFogFar(900.0f, 1);
    g_EnvironmentSettings.SetFogNear(300.0f, 1);
    g_EnvironmentSettings.SetFogFar(4000.0f, 2);
    g_EnvironmentSettings.SetFogNear(2000.0f, 2);
    struct Case {
        const char* name;
        int sets[3];
        uint32_t noFog; // bit i: object i has flag2 0x40000
        Values fogFar;
    } cases[] = {
        {"one set", {1, 1, 1}, 0, {{900.0f}}},
        {"two sets", {1, 2, 1}, 0, {{900.0f}, {4000.0f}, {900.0f}}},
        {"the middle one without fog", {1, 1, 1}, 2, {{900.0f}, {80008.0f}, {900.0f}}},
        {"the first one without fog", {1, 1, 1}, 1, {{80008.0f}, {900.0f}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < 3; ++i) {
            Ready(meshes_[i])->iFogIdx = c.sets[i];
            if (c.noFog & (1u << i)) meshes_[i]->dwFlags2 = objflags::kFlag2NoFog;
        }
        List(g_Renderer.m_pMeshTextures, {Texture(meshes_)});
        ASSERT_EQ(RunMeshes().size(), 3u);
        EXPECT_EQ(mesh_->Of("g_FogFar"), c.fogFar);
    }
    // The static meshes keep the fog they were sent in their records.
    const float* kept = meshes_[0]->fReflectionFog;
    EXPECT_FLOAT_EQ(kept[0], 0x33 / 255.0f);
    EXPECT_FLOAT_EQ(kept[1], 0x66 / 255.0f);
    EXPECT_FLOAT_EQ(kept[2], 0x99 / 255.0f);
    EXPECT_FLOAT_EQ(kept[3], 1.0f);
    EXPECT_FLOAT_EQ(kept[4], 900.0f);
    EXPECT_FLOAT_EQ(kept[5], 300.0f);
    // The skinned walk: no fog for its object without fog.
    skinnedObject_->dwFlags2 = objflags::kFlag2NoFog;
    List(g_Renderer.m_pSkinMeshTextures, {Texture({skinnedObject_})});
    ASSERT_EQ(RunSkinmeshes(), 1u);
    EXPECT_EQ(skinned_->Of("g_FogFar"), (Values{{80008.0f}}));
    EXPECT_EQ(skinned_->Of("g_FogNear"), (Values{{80000.0f}}));
}

TEST_F(WaterReflectionTest, TheSkyLightIsTheFirstOfTwoAndTheCameraPositionHasFourComponents) {
    const float direction[3] = {0.0f, -3.0f, 4.0f};
    g_EnvironmentSettings.SetSkyLightDirection(direction);
    g_EnvironmentSettings.SetSkyLightColor(0x00FF8000);
    g_EnvironmentSettings.m_bSkyLightInUse = true;
    const float power = SkyLightPower;
    List(g_Renderer.m_pMeshTextures, {Texture({meshes_[0]})});
    List(g_Renderer.m_pSkinMeshTextures, {Texture({skinnedObject_})});
    RunMeshes();
    RunSkinmeshes();
    for (CountingEffect* e : {mesh_, skinned_}) {
        EXPECT_EQ(e->Of("g_SkyLightDir"), (Values{{0.0f, -0.6f, 0.8f, 0.0f, 0, 0, 0, 0}}));
        EXPECT_EQ(e->Of("g_SkyLightDiffuse"),
                  (Values{{power, 128 / 255.0f * power, 0.0f, 1.0f, 0, 0, 0, 0}}));
        EXPECT_EQ(e->Of("g_bUseSkyLightX"), (Values{{1.0f, 0.0f}}));
        ASSERT_EQ(e->Of("g_CameraPosition").size(), 1u);
        EXPECT_EQ(e->Of("g_CameraPosition")[0][3], 1.0f);
    }
}

TEST_F(WaterReflectionTest, AMissingEffectIsNamedAndThatHalfIsNotDrawn) {
    struct Case {
        const char* name;
        bool keepRecords;
        const char* meshLine;
        const char* skinnedLine;
    } cases[] = {
        {"no records", false, "No simplest mesh HEFFECT", "No SimpleSkinmesh HEFFECT"},
        {"records without effects", true, "No simplest mesh ID3DXEffect", "No SimpleSkinmesh ID3DXEffect"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_EffectMgr.Destroy();
        mesh_ = skinned_ = nullptr;
        if (c.keepRecords) {
            for (const char* name : {"SimplestMesh", "SimplestSkinmesh"}) {
                auto* record = new EffectRecord;
                std::snprintf(record->name, sizeof record->name, "%s", name);
                record->pNext = g_EffectMgr.m_pEffects;
                g_EffectMgr.m_pEffects = record;
            }
        }
        List(g_Renderer.m_pMeshTextures, {Texture({meshes_[0]})});
        List(g_Renderer.m_pSkinMeshTextures, {Texture({skinnedObject_})});
        MarkConsole();
        device_->Forget();
        g_DepthRender.RenderReflectionMeshes(nullptr, nullptr);
        EXPECT_TRUE(device_->drawCulls.empty());
        EXPECT_TRUE(PrintedLine(c.meshLine));
        const uint32_t before = skinnedObject_->SkinMesh()->m_dwRenderCalls;
        MarkConsole();
        g_DepthRender.RenderReflectionSkinmeshes(nullptr, nullptr);
        EXPECT_EQ(skinnedObject_->SkinMesh()->m_dwRenderCalls, before);
        EXPECT_TRUE(PrintedLine(c.skinnedLine));
    }
    // Without models the skinned half asks for no effect at all.
    DrawModels = false;
    MarkConsole();
    g_DepthRender.RenderReflectionSkinmeshes(nullptr, nullptr);
    EXPECT_FALSE(Printed("SimpleSkinmesh"));
}

} // namespace
