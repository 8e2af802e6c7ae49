// The ambient-lit pass of static meshes over hand-made render lists, with
// the data directory's effect "light" on the real device headless: which
// subsets each call draws (counted at the device, with the alpha modes of
// each draw), the pending byte of the second call, the techniques begun, the
// uploads made through the effect (vertex-ambient sets, ambient colours, fog,
// glint), the stages bound, the polygon statistics and the console lines of
// a missing effect.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/Options.h"
#include "app/Orientation.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/Mesh.h"
#include "render/DepthRender.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "tests/render/PassFixture.h"
#include "world/Camera.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"

namespace {

using objflags::kFlag2FixedColour;
using objflags::kFlag2NoFog;
using objflags::kFlag2NoSkyLight;
using Values = std::vector<std::vector<float>>;

constexpr float kOutsideBrightness = 0.5f, kInsideBrightness = 1.5f;

class LightMeshPassTest : public PassTest {
  protected:
    void SetUp() override {
        PassTest::SetUp();
        ASSERT_NE(d_.dev, nullptr);
        namespace fs = std::filesystem;
        const fs::path data = fs::path(ZT_SOURCE_DIR) / "data";
        fs::create_directories(dir_ / "textures");
        for (const char* t : {"bialy.tga", "crate.tga", "grate.tga"})
            fs::copy_file(data / "textures" / t, dir_ / "textures" / t);
        // Two subsets: the crate's sides and its grate top.
        fs::copy_file(data / "models" / "crate.x", dir_ / "models" / "crate.x");

        saved_ = {DrawTransparent, DrawTextures, DrawDetail, PrintPolygonCount, UseSkyLight};
        DrawTransparent = DrawTextures = DrawDetail = true;
        PrintPolygonCount = UseSkyLight = false;
        EnvironmentSettings& env = g_EnvironmentSettings;
        savedEnv_ = {env.m_fVertexAmbientBrightness, env.m_fVertexAmbientInsideBrightness};
        env.m_fVertexAmbientBrightness = kOutsideBrightness;
        env.m_fVertexAmbientInsideBrightness = kInsideBrightness;

        // The effect is made on the device itself, the rest through the
        // counting one, which the meshes then draw through.
        light_ = AddEffect("light");
        DrawThroughCountingDevice();
        g_Renderer.Init();
        g_Renderer.InitWorld(); // the default white texture
        ASSERT_NE(g_Renderer.DefaultTexture(), nullptr);
        for (int i = 0; i < 3; ++i)
            meshes_.push_back(Ready(Make(OT_MESH, {float(100 * i), 0, 300})));
        g_Debug.m_PolygonStats = {};
        g_EngineObject.UpdateRenderMatrices();
        ASSERT_EQ(d_.dev->CreateCubeTexture(4, 1, 0, gfx::Format::A8R8G8B8, gfx::Pool::Managed, &cube_),
                  gfx::Result::Ok);
    }
    void TearDown() override {
        std::tie(DrawTransparent, DrawTextures, DrawDetail, PrintPolygonCount, UseSkyLight) = saved_;
        std::tie(g_EnvironmentSettings.m_fVertexAmbientBrightness,
                 g_EnvironmentSettings.m_fVertexAmbientInsideBrightness) = savedEnv_;
        g_Renderer.m_bSecondCallAmbientLitMeshes = 0;
        PassTest::TearDown();
    }
    void AfterWorldTearDown() override {
        g_Renderer.EndWorld();
        g_Renderer.ReleaseTextures();
        g_Renderer.ReleaseTexturePaths();
        if (cube_) cube_->Release();
    }

    // In view, seen in subset 0 and inside.
    static ObjectRecord* Ready(ObjectRecord* h) {
        PassTest::Ready(h)->dwFlags2 |= kFlag2NoSkyLight;
        return h;
    }

    // A detail record and an environment cube record for a texture.
    void GiveDetail(strtexture* t) {
        t->pDetail = NewRecord();
        t->pDetail->pTexture = d_.Texture(0xFF808080);
    }
    void GiveCube(strtexture* t) {
        t->pEnvironment = NewRecord();
        t->pEnvironment->bCube = 1;
        t->pEnvironment->pCubeTexture = cube_;
    }

    static void List(const std::vector<strtexture*>& textures) {
        PassTest::List(g_Renderer.m_pMeshTextures, textures);
    }
    // Runs one call of one variant; the draws it made.
    size_t Run(bool translucentOnly, bool full = true) {
        light_->uploads.clear();
        light_->techniques.clear();
        device_->Forget();
        if (full)
            g_Renderer.RenderLightMeshes(translucentOnly);
        else
            g_Renderer.RenderLightMeshes20(translucentOnly);
        return device_->drawCulls.size();
    }

    CountingEffect* light_ = nullptr;
    gfx::CubeTexture* cube_ = nullptr;
    std::vector<ObjectRecord*> meshes_;
    std::tuple<bool, bool, bool, bool, bool> saved_;
    std::tuple<float, float> savedEnv_;
};

// ---- Which textures each call draws -------------------------------------------------------

TEST_F(LightMeshPassTest, EachCallDrawsItsTexturesInTheirAlphaModeAndTheFirstAsksForTheSecond) {
    const struct Case {
        const char* name;
        std::function<void(strtexture*)> describe;
        bool secondCall;
        size_t draws;         // of the three boxes
        uint8_t pending;      // the second call asked for
        uint32_t test, blend; // at the draws
        std::function<void()> also = {};
    } cases[] = {
        {"plain, first call", {}, false, 3, 0, 0, 0},
        {"plain, second call", {}, true, 0, 0, 0, 0},
        {"translucent, first call", [](strtexture* t) { t->desc.bTranslucent = 1; }, false, 0, 1, 0, 0},
        {"translucent, none of its users drawn", [](strtexture* t) { t->desc.bTranslucent = 1; }, false, 0, 1,
         0, 0,
         [this] {
             for (ObjectRecord* h : meshes_)
                 h->bSeen = 0;
         }},
        {"translucent, second call: blended", [](strtexture* t) { t->desc.bTranslucent = 1; }, true, 3, 0, 0,
         1},
        {"translucent and transparent, first call",
         [](strtexture* t) { t->desc.bTranslucent = t->desc.bTransparent = 1; }, false, 0, 1, 0, 0},
        {"translucent and transparent, second call: alpha-tested",
         [](strtexture* t) { t->desc.bTranslucent = t->desc.bTransparent = 1; }, true, 3, 0, 1, 1},
        {"transparent: alpha-tested", [](strtexture* t) { t->desc.bTransparent = 1; }, false, 3, 0, 1, 1},
        {"transparent with DrawTransparent off", [](strtexture* t) { t->desc.bTransparent = 1; }, false, 0, 0,
         0, 0, [] { DrawTransparent = false; }},
        {"water", [](strtexture* t) { t->desc.bWater = 1; }, false, 0, 0, 0, 0},
        {"with lava", [](strtexture* t) { t->pLava = t; }, false, 0, 0, 0, 0},
        {"ray of light", [](strtexture* t) { t->desc.bRayOfLight = 1; }, false, 0, 0, 0, 0},
        {"additive", [](strtexture* t) { t->desc.bAdditive = 1; }, false, 0, 0, 0, 0},
        {"stain", [](strtexture* t) { t->desc.bStain = 1; }, false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawTransparent = true;
        for (ObjectRecord* h : meshes_)
            Ready(h);
        if (c.also) c.also();
        g_Renderer.m_bSecondCallAmbientLitMeshes = 0;
        List({Texture(meshes_, c.describe)});
        EXPECT_EQ(Run(c.secondCall), c.draws);
        EXPECT_EQ(g_Renderer.m_bSecondCallAmbientLitMeshes, c.pending);
        EXPECT_EQ(device_->drawAlphaTests, std::vector<uint32_t>(c.draws, c.test));
        EXPECT_EQ(device_->drawBlends, std::vector<uint32_t>(c.draws, c.blend));
        EXPECT_FALSE(g_RenderStateCache.m_bTranslucentOn || g_RenderStateCache.m_bTransparentOn)
            << "both alpha modes end with the pass";
    }
}

// ---- Which users are drawn ----------------------------------------------------------------

TEST_F(LightMeshPassTest, OnlyVisibleSeenInsideSubsetsAreDrawn) {
    const struct Case {
        const char* name;
        std::function<void(ObjectRecord*)> change; // of the first box
        bool useSkyLight;
        size_t draws;
    } cases[] = {
        {"every box", {}, false, 3},
        {"out of view", [](ObjectRecord* h) { h->bVisibleNow = 0; }, false, 2},
        {"not seen", [](ObjectRecord* h) { h->bSeen = 0; }, false, 2},
        {"seen, but not its subset", [](ObjectRecord* h) { h->bSubsetDraw[0] = 0; }, false, 2},
        {"excluded from the pass", [](ObjectRecord* h) { h->bNoAmbientPass = 1; }, false, 2},
        {"outside, with the sky light: the sky-light pass draws it",
         [](ObjectRecord* h) { h->dwFlags2 &= ~kFlag2NoSkyLight; }, true, 2},
        {"outside, without the sky light", [](ObjectRecord* h) { h->dwFlags2 &= ~kFlag2NoSkyLight; }, false,
         3},
        {"inside, with the sky light", {}, true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (ObjectRecord* h : meshes_) {
            Ready(h);
            h->bNoAmbientPass = 0;
        }
        if (c.change) c.change(meshes_[0]);
        UseSkyLight = c.useSkyLight;
        List({Texture(meshes_)});
        EXPECT_EQ(Run(false), c.draws);
    }
}

TEST_F(LightMeshPassTest, AnObjectSeenInOneSubsetIsDrawnInThatOneAndCountsItsFacesOnce) {
    // Made from the two-subset crate.
    AddObjectParams params;
    params.dwType = OT_MESH;
    std::snprintf(params.szFileName, sizeof params.szFileName, "models\\crate.x");
    params.vPosition = {0, 0, 300};
    ObjectRecord* two = g_Engine.AddObject(params);
    ASSERT_TRUE(two);
    Ready(two);
    ASSERT_TRUE(two && two->Mesh());
    ASSERT_EQ(two->Mesh()->m_dwNumSubsets, 2u);
    g_EngineObject.UpdateRenderMatrices();
    const struct Case {
        const char* name;
        uint8_t seen, subset0, subset1;
        size_t draws;
    } cases[] = {
        {"both subsets seen", 1, 1, 1, 2},
        {"the sides only", 1, 1, 0, 1},
        {"the top only", 1, 0, 1, 1},
        {"in view but not seen at all", 0, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        two->bSeen = c.seen;
        two->bSubsetDraw[0] = c.subset0;
        two->bSubsetDraw[1] = c.subset1;
        two->bPolygonsCounted = 0;
        PrintPolygonCount = true;
        g_Debug.m_PolygonStats = {};
        List({Texture({two}, {}, 0), Texture({two}, {}, 1)});
        EXPECT_EQ(Run(false), c.draws);
        EXPECT_EQ(g_Debug.m_PolygonStats.switchedSubsets, c.draws);
        EXPECT_EQ(g_Debug.m_PolygonStats.renderedPolygons, c.draws ? two->pD3DXMesh->NumFaces() : 0u)
            << "the whole object's faces, once";
    }
}

// ---- Techniques and texture state -------------------------------------------------------------

TEST_F(LightMeshPassTest, TheTechniqueFollowsTheCubeAndIsBegunOnlyWhenItsNameChanges) {
    auto plain = [](strtexture*) {};
    auto cube = [this](strtexture* t) { GiveCube(t); };
    auto cubeAndLayers = [this](strtexture* t) {
        GiveCube(t);
        t->bHasMultitexture = 1;
    };
    using Describe = std::function<void(strtexture*)>;
    const struct Case {
        const char* name;
        std::vector<Describe> textures;
        bool full;
        std::vector<std::string> begun;
    } cases[] = {
        {"two plain textures", {plain, plain}, true, {"RenderScene", "RenderAmbient0"}},
        {"a cube", {cube}, true, {"RenderScene", "RenderAmbient1"}},
        {"a cube with multitexture layers", {cubeAndLayers}, true, {"RenderScene", "RenderAmbient0"}},
        {"plain, cube, cube, plain",
         {plain, cube, cube, plain},
         true,
         {"RenderScene", "RenderAmbient0", "RenderAmbient1", "RenderAmbient0"}},
        {"shader model 2: plain, cube",
         {plain, cube},
         false,
         {"RenderScene", "RenderAmbient20_0", "RenderAmbient20_1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<strtexture*> list;
        for (const Describe& d : c.textures)
            list.push_back(Texture({meshes_[0]}, d));
        List(list);
        EXPECT_EQ(Run(false, c.full), c.textures.size());
        EXPECT_EQ(light_->techniques, c.begun);
    }
}

TEST_F(LightMeshPassTest, WithoutDrawTexturesTheWhiteTextureStandsForImageDetailAndCube) {
    const struct Case {
        const char* name;
        bool drawTextures, full;
    } cases[] = {
        {"textures drawn", true, true},
        {"textures not drawn", false, true},
        {"shader model 2: no detail", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawTextures = c.drawTextures;
        strtexture* t = Texture({meshes_[0]}, [this](strtexture* r) {
            GiveDetail(r);
            GiveCube(r);
        });
        List({t});
        ASSERT_EQ(Run(false, c.full), 1u);
        gfx::BaseTexture* white = g_Renderer.DefaultTexture();
        EXPECT_EQ(device_->stageTextures[0], c.drawTextures ? t->pTexture : white);
        gfx::BaseTexture* detail = c.drawTextures ? t->pDetail->pTexture : white;
        EXPECT_EQ(device_->stageTextures[2], c.full ? detail : nullptr);
        EXPECT_EQ(device_->stageTextures[6], c.drawTextures ? static_cast<gfx::BaseTexture*>(cube_) : white);
        EXPECT_EQ(light_->Of("g_bDrawDetail").back(), std::vector<float>{c.full ? 1.0f : 0.0f});
    }
}

// ---- Per-object uploads -------------------------------------------------------------------------

TEST_F(LightMeshPassTest, TheVertexAmbientSetsSwitchOncePerChange) {
    ObjectRecord *a = meshes_[0], *b = meshes_[1], *c = meshes_[2];
    ObjectRecord* outside = Ready(Make(OT_MESH, {300, 0, 300}));
    outside->dwFlags2 &= ~kFlag2NoSkyLight;
    g_EngineObject.UpdateRenderMatrices();
    const float in = kInsideBrightness, out = kOutsideBrightness;
    // The technique's begin sets the outside set; the first inside object
    // the inside one, and so on at each change only.
    List({Texture({a, b, outside, c})});
    Run(false);
    EXPECT_EQ(light_->Of("g_fVertexAmbientBrightness"), (Values{{out}, {in}, {out}, {in}}));
    EXPECT_EQ(light_->Of("g_fVertexAmbientContrast").size(), 4u);
    EXPECT_EQ(light_->Of("g_fVertexAmbientColor").size(), 4u);
    // A second texture of the same technique keeps the inside set; one of
    // another technique starts again from the outside set.
    List({Texture({a}), Texture({b})});
    Run(false);
    EXPECT_EQ(light_->Of("g_fVertexAmbientBrightness"), (Values{{out}, {in}}));
    List({Texture({a}), Texture({b}, [this](strtexture* t) { GiveCube(t); })});
    Run(false);
    EXPECT_EQ(light_->Of("g_fVertexAmbientBrightness"), (Values{{out}, {in}, {out}, {in}}));
}

TEST_F(LightMeshPassTest, AmbientColoursAreSetWhenTheirKeyChangesAndFogAgainAfterAnObjectWithoutFog) {
    ObjectRecord *a = meshes_[0], *b = meshes_[1], *c = meshes_[2];
    const struct Case {
        const char* name;
        std::function<void(strtexture*)> describe;
        uint32_t bFlags2;
        size_t ambients, fogFars;
    } cases[] = {
        {"one ambient index, one fog index", {}, 0, 1, 1},
        {"an animated texture sets the ambient colour each time", [](strtexture* t) { t->bAnimated = 1; }, 0,
         3, 1},
        {"a probed colour in the middle", {}, kFlag2FixedColour, 3, 1},
        {"no fog in the middle: the third sets its fog again", {}, kFlag2NoFog, 1, 3},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        for (ObjectRecord* h : meshes_) {
            h->iAmbientLightIdx = 1;
            h->iFogIdx = 2;
            h->dwFlags2 = kFlag2NoSkyLight;
        }
        b->dwFlags2 |= k.bFlags2;
        b->fProbedAmbient[0] = 0.75f;
        List({Texture({a, b, c}, k.describe)});
        Run(false);
        EXPECT_EQ(light_->Of("g_AmbientLightDiffuse").size(), k.ambients);
        const Values fars = light_->Of("g_FogFar");
        EXPECT_EQ(fars.size(), k.fogFars);
        if (k.bFlags2 == kFlag2FixedColour) {
            EXPECT_EQ(light_->Of("g_AmbientLightDiffuse")[1][0], 0.75f);
        }
        if (k.bFlags2 == kFlag2NoFog) {
            EXPECT_EQ(fars[1], std::vector<float>{80008.0f});
            EXPECT_EQ(light_->Of("g_FogNear")[1], std::vector<float>{80000.0f});
            EXPECT_EQ(fars[2], fars[0]);
        }
    }
}

TEST_F(LightMeshPassTest, TheGlintTurnsTheCameraForwardAboutItsRightAxisAsGlmDoes) {
    orientation camera;
    camera.SetDirection(math::Vec3Normalize(math::Vec3{0.3f, -0.4f, 0.8f}));
    const float clock = 0.7f;
    const math::Vec4 glint = ItemGlintDirection(camera, clock);
    const glm::vec3 f(camera.forward.x, camera.forward.y, camera.forward.z);
    const glm::vec3 r(camera.right.x, camera.right.y, camera.right.z);
    const glm::vec4 expected = glm::rotate(glm::mat4(1.0f), -3.0f * clock, r) * glm::vec4(f, 0.0f);
    EXPECT_NEAR(glint.x, expected.x, 1e-5f);
    EXPECT_NEAR(glint.y, expected.y, 1e-5f);
    EXPECT_NEAR(glint.z, expected.z, 1e-5f);
    EXPECT_EQ(glint.w, 0.0f);

    // The pass hands it to the dropped items only; the shader-model-2
    // variant has no glint.
    meshes_[1]->bItemDropped = 1;
    g_Engine.m_fWorldTime = clock;
    List({Texture(meshes_)});
    Run(false);
    EXPECT_EQ(light_->Of("g_bItemDropped"), (Values{{0}, {1}, {0}}));
    const math::Vec4 now = ItemGlintDirection(g_Camera.ViewOrientation(), clock);
    EXPECT_EQ(light_->Of("g_vItemDropped"), (Values{{now.x, now.y, now.z, 0.0f}}));
    Run(false, false);
    EXPECT_TRUE(light_->Of("g_bItemDropped").empty());
    EXPECT_TRUE(light_->Of("g_vItemDropped").empty());
    g_Engine.m_fWorldTime = 0.0f;
}

TEST_F(LightMeshPassTest, ThePassWideValuesAreSetOnceWithTheCubeShadowSize) {
    List({Texture(meshes_), Texture(meshes_)});
    Run(false);
    const math::Vec4 r = g_DepthRender.ShadowResolution();
    EXPECT_EQ(light_->Of("cShadowResolution"), (Values{{r.x, r.y, r.z, r.w}}));
    EXPECT_EQ(light_->Of("g_CameraModel").size(), 6u) << "per entry";
    EXPECT_EQ(light_->Of("g_bVertexColor").size(), 6u) << "per entry";
    EXPECT_EQ(light_->Of("g_fNormalDensity").size(), 2u) << "per texture";
}

// ---- A missing effect -------------------------------------------------------------------------

TEST_F(LightMeshPassTest, WithoutTheEffectNothingIsDrawnAndNothingChanges) {
    const struct Case {
        const char* line;
        bool record;
    } cases[] = {{"No light HEFFECT", false}, {"No light ID3DXEffect", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        g_EffectMgr.Destroy();
        light_ = nullptr;
        if (c.record) {
            // A record whose effect was not made.
            auto* record = new EffectRecord;
            std::snprintf(record->name, sizeof record->name, "light");
            record->pNext = g_EffectMgr.m_pEffects;
            g_EffectMgr.m_pEffects = record;
        }
        List({Texture(meshes_, [](strtexture* t) { t->desc.bTranslucent = 1; }), Texture(meshes_)});
        g_Renderer.m_bSecondCallAmbientLitMeshes = 0;
        device_->Forget();
        MarkConsole();
        g_Renderer.RenderLightMeshes(false);
        EXPECT_TRUE(PrintedLine(c.line));
        EXPECT_TRUE(device_->drawCulls.empty());
        EXPECT_EQ(device_->textureCalls, 0u);
        EXPECT_TRUE(device_->states.empty());
        EXPECT_EQ(g_Renderer.m_bSecondCallAmbientLitMeshes, 0);
    }
}

} // namespace
