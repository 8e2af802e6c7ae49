// The lava and water passes over hand-made render lists at a fixed world
// time: the values each uploads (checked against hand-computed ones), which
// nodes each draws, the stages it binds, the first node's fog holding for
// its texture, and the LOD bias it leaves on the water's stages.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "render/WaterPasses.h"
#include "tests/render/PassFixture.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/WorldHooks.h"

namespace {

using gfx::SamplerState;
using Values = std::vector<std::vector<float>>;

constexpr float kT = 10.0f; // the world time of every test

class WaterPassTest : public PassTest {
  protected:
    void SetUp() override {
        PassTest::SetUp();
        ASSERT_NE(d_.dev, nullptr);
        ambient_ = AddEffect("ambient");
        ASSERT_NE(ambient_, nullptr);
        DrawThroughCountingDevice();
        for (int i = 0; i < 3; ++i) {
            ObjectRecord* h = Make(OT_MESH, {float(100 * i), 0, 300});
            ASSERT_TRUE(h);
            h->bVisibleNow = h->bSeen = 1;
            h->bSubsetDraw[0] = 1;
            meshes_.push_back(h);
        }
        saved_ = {DrawWater, OptionMV05, PrintPolygonCount, g_Engine.m_fWorldTime};
        savedEnvironment_ = g_EnvironmentSettings;
        DrawWater = OptionMV05 = PrintPolygonCount = true;
        g_Engine.m_fWorldTime = kT;
        g_Debug.m_PolygonStats = {};
        g_EngineObject.UpdateRenderMatrices();
        d_.dev->CreateCubeTexture(1, 1, 0, gfx::Format::A8R8G8B8, gfx::Pool::Managed, &cube_);
        normal_.pTexture = d_.Texture(0xFF8080FF);
        lava_.pTexture = d_.Texture(0xFFFF8000);
        environment_.pCubeTexture = cube_;
    }
    void TearDown() override {
        std::tie(DrawWater, OptionMV05, PrintPolygonCount, g_Engine.m_fWorldTime) = saved_;
        g_EnvironmentSettings = savedEnvironment_;
        std::snprintf(g_Engine.m_szCurrentWorld, sizeof g_Engine.m_szCurrentWorld, "%s", "");
        InstallWorldHooks(savedHooks_);
        if (cube_) cube_->Release();
        PassTest::TearDown();
    }

    // A water texture (normal map, environment cube) whose users are the
    // given objects' subset 0, in that order.
    strtexture* Water(const std::vector<ObjectRecord*>& users, std::function<void(strtexture*)> change = {}) {
        strtexture* t = Texture(users);
        t->desc.bWater = 1;
        t->pNormal = &normal_;
        t->pEnvironment = &environment_;
        if (change) change(t);
        return t;
    }
    strtexture* Lava(const std::vector<ObjectRecord*>& users, std::function<void(strtexture*)> change = {}) {
        strtexture* t = Texture(users);
        t->pLava = &lava_;
        if (change) change(t);
        return t;
    }
    strtexture* Texture(const std::vector<ObjectRecord*>& users) {
        return PassTest::Texture(users, {}, 0, 0xFF204060);
    }
    static void List(const std::vector<strtexture*>& textures) {
        PassTest::List(g_Renderer.m_pMeshTextures, textures);
    }
    // Runs a pass; the number of subsets it drew.
    size_t Run(void (ERenderer::*pass)()) {
        ambient_->uploads.clear();
        device_->Forget();
        (g_Renderer.*pass)();
        return device_->drawCulls.size();
    }
    std::vector<gfx::BaseTexture*> BoundOn(uint32_t stage) const {
        std::vector<gfx::BaseTexture*> out;
        for (const CountingDevice::Binding& b : device_->bindings)
            if (b.stage == stage) out.push_back(b.texture);
        return out;
    }
    float Bias(uint32_t stage) const {
        uint32_t v = 0;
        d_.dev->GetSamplerState(stage, SamplerState::MipMapLodBias, &v);
        return gfx::StateFloat(v);
    }

    CountingEffect* ambient_ = nullptr;
    gfx::CubeTexture* cube_ = nullptr;
    strtexture normal_, lava_, environment_;
    std::vector<ObjectRecord*> meshes_;
    std::tuple<bool, bool, bool, float> saved_;
    EnvironmentSettings savedEnvironment_;
    WorldHooks savedHooks_ = TheWorldHooks();
};

// Close enough for single-precision products and sines.
void ExpectValues(const Values& got, const Values& want, const char* name) {
    SCOPED_TRACE(name);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].size(), want[i].size());
        for (size_t k = 0; k < got[i].size(); ++k)
            EXPECT_NEAR(got[i][k], want[i][k], 1e-5f * std::max(1.0f, std::fabs(want[i][k])))
                << i << "," << k;
    }
}

TEST_F(WaterPassTest, EachPassUploadsItsTableOfValuesAtTheWorldTime) {
    // Set 0: ambient 0x404040, fog 0x306090 (600 .. 200 apart). The
    // object's set 1: fog 0x102030, far 900, near 300.
    g_EnvironmentSettings.SetAmbientColor(0x404040, 0);
    g_EnvironmentSettings.SetFogColor(0x306090, 0);
    g_EnvironmentSettings.SetFogColor(0x102030, 1);
    g_EnvironmentSettings.SetFogFar(900.0f, 1);
    g_EnvironmentSettings.SetFogNear(300.0f, 1);
    const float sky[3] = {0.0f, -3.0f, 4.0f};
    g_EnvironmentSettings.SetSkyLightDirection(sky);
    g_EnvironmentSettings.SetSkyLightColor(0xFF336699);
    meshes_[0]->iFogIdx = 1;
    auto describe = [](strtexture* t) {
        TextureDescription& d = t->desc;
        d.fWaterHeight = 12.0f;
        d.fWaterTransparent = 0.75f;
        d.fWaterColor[0] = 0.1f, d.fWaterColor[1] = 0.2f, d.fWaterColor[2] = 0.3f;
        d.fWaterFogFar = 5000.0f;
        d.fWaterFogNear = 1000.0f;
        d.fNormalDensity = 3.0f;
        d.fLavaSpeedUp = 20.0f;
        d.fLavaSpeedDown = 8.0f;
        d.fLavaMapCoef = 0.6f;
    };
    const std::vector<float> set1Fog = {16 / 255.0f, 32 / 255.0f, 48 / 255.0f};
    const std::vector<float> set0Fog = {48 / 255.0f, 96 / 255.0f, 144 / 255.0f};
    struct Case {
        const char* name;
        void (ERenderer::*pass)();
        bool reflectionOption;
        bool lava;
        float sinF, falaX, falaZ;
        Values fogColor, waterColor, waterFog; // waterFog: far, near
        Values normalDensity, amplitude, lavaValues;
    } cases[] = {
        {"lava",
         &ERenderer::RenderLava,
         true,
         true,
         std::sin(0.2f),
         0.029f,
         0.437f,
         {{set0Fog[0], set0Fog[1], set0Fog[2], 1.0f}},
         {{0.1f, 0.2f, 0.3f, 0.0f}},
         {{5000.0f, 1000.0f}},
         {},
         {},
         {{20.0f, 8.0f, 0.6f}}},
        {"plain water",
         &ERenderer::RenderWater,
         true,
         false,
         std::sin(2.5f),
         0.0004f,
         0.5005f,
         {{set1Fog[0], set1Fog[1], set1Fog[2], 1.0f}},
         {{set1Fog[0], set1Fog[1], set1Fog[2], 0.0f}},
         {{900.0f, 300.0f}},
         {{3.0f}},
         {},
         {}},
        {"reflective water, reflection on",
         &ERenderer::RenderWaterReflection,
         true,
         false,
         std::sin(6.0f),
         0.29f,
         0.77f,
         {{set0Fog[0], set0Fog[1], set0Fog[2], 1.0f}, {set1Fog[0], set1Fog[1], set1Fog[2], 0.0f}},
         {{set1Fog[0], set1Fog[1], set1Fog[2], 0.0f}},
         {{900.0f, 300.0f}},
         {{3.0f}},
         {{4.0f}},
         {}},
        {"reflective water, reflection off",
         &ERenderer::RenderWaterReflection,
         false,
         false,
         std::sin(2.5f),
         0.0004f,
         0.5005f,
         {{set0Fog[0], set0Fog[1], set0Fog[2], 1.0f}, {set1Fog[0], set1Fog[1], set1Fog[2], 0.0f}},
         {{set1Fog[0], set1Fog[1], set1Fog[2], 0.0f}},
         {{900.0f, 300.0f}},
         {{3.0f}},
         {{4.0f}},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OptionMV05 = c.reflectionOption;
        List({c.lava ? Lava({meshes_[0]}, describe) : Water({meshes_[0]}, describe)});
        ASSERT_EQ(Run(c.pass), 1u);
        const CountingEffect& e = *ambient_;
        ExpectValues(e.Of("g_SinF"), {{c.sinF}}, "g_SinF");
        ExpectValues(e.Of("g_FalaX"), {{c.falaX}}, "g_FalaX");
        ExpectValues(e.Of("g_FalaZ"), {{c.falaZ}}, "g_FalaZ");
        ExpectValues(e.Of("g_LevelTime"), {{kT}}, "g_LevelTime");
        ExpectValues(e.Of("g_WaterHeight"), {{12.0f}}, "g_WaterHeight");
        ExpectValues(e.Of("g_WaterTransparent"), {{0.75f}}, "g_WaterTransparent");
        ExpectValues(e.Of("g_FogColor"), c.fogColor, "g_FogColor");
        ExpectValues(e.Of("g_WaterColor"), c.waterColor, "g_WaterColor");
        Values waterFog;
        if (!e.Of("g_WaterFogFar").empty())
            waterFog.push_back({e.Of("g_WaterFogFar")[0][0], e.Of("g_WaterFogNear").at(0)[0]});
        ExpectValues(waterFog, c.waterFog, "g_WaterFogFar, g_WaterFogNear");
        ExpectValues(e.Of("g_fNormalDensity"), c.normalDensity, "g_fNormalDensity");
        ExpectValues(e.Of("g_fWaterAmplitude"), c.amplitude, "g_fWaterAmplitude");
        Values lava;
        if (!e.Of("g_fLavaSpeedUp").empty())
            lava.push_back({e.Of("g_fLavaSpeedUp")[0][0], e.Of("g_fLavaSpeedDown").at(0)[0],
                            e.Of("g_fLavaMapCoef").at(0)[0]});
        ExpectValues(lava, c.lavaValues, "lava speeds and map coefficient");
        ExpectValues(e.Of("g_AmbientLightDiffuse"), {{64 / 255.0f, 64 / 255.0f, 64 / 255.0f, 1.0f}},
                     "g_AmbientLightDiffuse");
        ExpectValues(e.Of("g_fDebugLights"), {{0.0f}}, "g_fDebugLights");
        ExpectValues(e.Of("g_SkyLightDir"), {{0.0f, -0.6f, 0.8f, 1.0f}}, "g_SkyLightDir");
        ExpectValues(e.Of("g_SkyLightDiffuse"), {{0x33 / 255.0f, 0x66 / 255.0f, 0x99 / 255.0f, 1.0f}},
                     "g_SkyLightDiffuse");
        EXPECT_EQ(e.Of("g_CameraModel").size(), 1u) << "per node";
    }
}

TEST_F(WaterPassTest, TheReflectivePassKeepsTheObjectsFogInItsRecord) {
    g_EnvironmentSettings.SetFogColor(0x102030, 2);
    g_EnvironmentSettings.SetFogFar(900.0f, 2);
    g_EnvironmentSettings.SetFogNear(300.0f, 2);
    meshes_[0]->iFogIdx = 2;
    List({Water({meshes_[0]})});
    ASSERT_EQ(Run(&ERenderer::RenderWaterReflection), 1u);
    const float* fog = meshes_[0]->fReflectionFog;
    EXPECT_FLOAT_EQ(fog[0], 16 / 255.0f);
    EXPECT_FLOAT_EQ(fog[1], 32 / 255.0f);
    EXPECT_FLOAT_EQ(fog[2], 48 / 255.0f);
    EXPECT_FLOAT_EQ(fog[4], 900.0f);
    EXPECT_FLOAT_EQ(fog[5], 300.0f);
}

TEST_F(WaterPassTest, TheWaveAmplitudeIsHighOnlyOnTheTenthLevel) {
    struct Case {
        const char* world;
        float amplitude;
    } cases[] = {
        {"WORLDS\\LEVEL_10.W", 32.0f},
        {"worlds\\level_10.w", 32.0f},
        {"worlds\\Level_10.W", 32.0f},
        {"worlds\\level_1.w", 4.0f},
        {"worlds\\level_10.w2", 4.0f},
        {"worlds\\test.w", 4.0f},
        {"", 4.0f},
    };
    List({Water({meshes_[0]})});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.world);
        std::snprintf(g_Engine.m_szCurrentWorld, sizeof g_Engine.m_szCurrentWorld, "%s", c.world);
        ASSERT_EQ(Run(&ERenderer::RenderWaterReflection), 1u);
        EXPECT_EQ(ambient_->Of("g_fWaterAmplitude"), (Values{{c.amplitude}}));
    }
}

TEST_F(WaterPassTest, EachPassDrawsTheNodesItsTestsAccept) {
    struct Case {
        const char* name;
        std::function<void(strtexture*)> describe;
        std::function<void(ObjectRecord*)> change;
        size_t lava, water, reflective;
    } cases[] = {
        {"seen and in view", {}, {}, 1, 1, 1},
        {"not seen by the occluder", {}, [](ObjectRecord* h) { h->bSeen = 0; }, 1, 0, 0},
        {"subset not seen (not tested)", {}, [](ObjectRecord* h) { h->bSubsetDraw[0] = 0; }, 1, 1, 1},
        {"out of view", {}, [](ObjectRecord* h) { h->bVisibleNow = 0; }, 0, 0, 0},
        {"hidden by its flags (not tested)", {}, [](ObjectRecord* h) { h->dwFlags &= ~1u; }, 1, 1, 1},
        {"animation frames", [](strtexture* t) { t->bAnimated = 1; }, {}, 0, 0, 0},
        {"ray of light", [](strtexture* t) { t->desc.bRayOfLight = 1; }, {}, 0, 0, 0},
        {"DrawWater off: lava still drawn", {}, [](ObjectRecord*) { DrawWater = false; }, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawWater = true;
        ObjectRecord* h = meshes_[0];
        h->bVisibleNow = h->bSeen = h->bSubsetDraw[0] = 1;
        h->dwFlags |= 1u;
        if (c.change) c.change(h);
        List({Lava({h}, c.describe)});
        EXPECT_EQ(Run(&ERenderer::RenderLava), c.lava);
        List({Water({h}, c.describe)});
        EXPECT_EQ(Run(&ERenderer::RenderWater), c.water);
        EXPECT_EQ(Run(&ERenderer::RenderWaterReflection), c.reflective);
    }
    // Water is not lava, nor lava water.
    DrawWater = true;
    List({Water({meshes_[0]})});
    EXPECT_EQ(Run(&ERenderer::RenderLava), 0u);
    List({Lava({meshes_[0]})});
    EXPECT_EQ(Run(&ERenderer::RenderWater), 0u);
}

TEST_F(WaterPassTest, TheFirstDrawnNodeDecidesTheFogOfItsTexture) {
    g_EnvironmentSettings.SetFogFar(900.0f, 1);
    g_EnvironmentSettings.SetFogNear(300.0f, 1);
    g_EnvironmentSettings.SetFogFar(4000.0f, 2);
    g_EnvironmentSettings.SetFogNear(2000.0f, 2);
    struct Case {
        const char* name;
        std::function<void()> change;
        float fogFar, fogNear;
    } cases[] = {
        {"set 1 first", [] {}, 900.0f, 300.0f},
        {"the first one unseen: set 2", [this] { meshes_[0]->bSeen = 0; }, 4000.0f, 2000.0f},
        {"the first one without fog", [this] { meshes_[0]->dwFlags2 |= objflags::kFlag2NoFog; }, 80008.0f,
         80000.0f},
        {"the second one without fog", [this] { meshes_[1]->dwFlags2 |= objflags::kFlag2NoFog; }, 900.0f,
         300.0f},
    };
    for (auto pass : {&ERenderer::RenderWater, &ERenderer::RenderWaterReflection}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            meshes_[0]->iFogIdx = 1;
            meshes_[1]->iFogIdx = 2;
            for (ObjectRecord* h : meshes_) {
                h->bSeen = 1;
                h->dwFlags2 = 0;
            }
            c.change();
            List({Water({meshes_[0], meshes_[1]})});
            Run(pass);
            EXPECT_EQ(ambient_->Of("g_WaterFogFar"), (Values{{c.fogFar}}));
            EXPECT_EQ(ambient_->Of("g_WaterFogNear"), (Values{{c.fogNear}}));
            EXPECT_EQ(ambient_->Of("g_mWorld").size(), 0u) << "matrices are not recorded";
        }
    }
    // The lava's own fog distances, or none for an object without fog.
    meshes_[0]->dwFlags2 = objflags::kFlag2NoFog;
    meshes_[1]->dwFlags2 = 0;
    List({Lava({meshes_[0], meshes_[1]}, [](strtexture* t) { t->desc.fWaterFogFar = 7000.0f; })});
    ASSERT_EQ(Run(&ERenderer::RenderLava), 2u);
    EXPECT_EQ(ambient_->Of("g_WaterFogFar"), (Values{{80008.0f}}));
    meshes_[0]->dwFlags2 = 0;
    Run(&ERenderer::RenderLava);
    EXPECT_EQ(ambient_->Of("g_WaterFogFar"), (Values{{7000.0f}}));
}

TEST_F(WaterPassTest, TheSkyLightIsSentUnitLengthOrAsItIsWhenZeroAndBlackWithoutWaterSpecular) {
    struct Case {
        const char* name;
        float direction[3];
        bool noWaterSpecular;
        std::vector<float> dir, diffuse;
    } cases[] = {
        {"a direction",
         {3.0f, 0.0f, -4.0f},
         false,
         {0.6f, 0.0f, -0.8f, 1.0f},
         {1.0f, 128 / 255.0f, 0.0f, 1.0f}},
        {"zero length",
         {0.0f, 0.0f, 0.0f},
         false,
         {0.0f, 0.0f, 0.0f, 1.0f},
         {1.0f, 128 / 255.0f, 0.0f, 1.0f}},
        {"no water specular", {0.0f, 2.0f, 0.0f}, true, {0.0f, 1.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f, 0.0f}},
    };
    g_EnvironmentSettings.SetSkyLightColor(0x00FF8000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_EnvironmentSettings.SetSkyLightDirection(c.direction);
        WorldHooks hooks = savedHooks_;
        if (c.noWaterSpecular) hooks.NoWaterSpecular = [] { return true; };
        InstallWorldHooks(hooks);
        for (auto pass :
             {&ERenderer::RenderLava, &ERenderer::RenderWater, &ERenderer::RenderWaterReflection}) {
            List({Lava({meshes_[0]}), Water({meshes_[0]})});
            Run(pass);
            ExpectValues(ambient_->Of("g_SkyLightDir"), {c.dir}, "g_SkyLightDir");
            ExpectValues(ambient_->Of("g_SkyLightDiffuse"), {c.diffuse}, "g_SkyLightDiffuse");
        }
    }
}

TEST_F(WaterPassTest, EachPassBindsItsStagesAndTheWaterPassesPutTheBiasBack) {
    gfx::Texture* reflection = nullptr; // no water target in this test
    struct Case {
        const char* name;
        void (ERenderer::*pass)();
        bool option;
        std::vector<std::pair<uint32_t, gfx::BaseTexture*>> bound; // stage 0 aside
    };
    const Case cases[] = {
        {"lava", &ERenderer::RenderLava, true, {{8, lava_.pTexture}}},
        {"plain water", &ERenderer::RenderWater, true, {{1, normal_.pTexture}, {6, cube_}, {6, nullptr}}},
        {"reflection on",
         &ERenderer::RenderWaterReflection,
         true,
         {{1, normal_.pTexture}, {3, reflection}, {3, nullptr}, {6, nullptr}}},
        {"reflection off",
         &ERenderer::RenderWaterReflection,
         false,
         {{1, normal_.pTexture}, {6, cube_}, {6, nullptr}}},
    };
    for (float rendererBias : {-1.0f, -0.1f}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            OptionMV05 = c.option;
            // The renderer's bias, as the scene sets it.
            SetSamplerFilters(16, rendererBias == -1.0f);
            ASSERT_FLOAT_EQ(CurrentSamplerBias(), rendererBias);
            List({Lava({meshes_[0]}), Water({meshes_[0]})});
            ASSERT_EQ(Run(c.pass), 1u);
            EXPECT_EQ(BoundOn(0).size(), 1u);
            for (uint32_t stage : {1u, 3u, 6u, 8u}) {
                std::vector<gfx::BaseTexture*> want;
                for (const auto& [s, texture] : c.bound)
                    if (s == stage) want.push_back(texture);
                EXPECT_EQ(BoundOn(stage), want) << "stage " << stage;
            }
            EXPECT_FLOAT_EQ(Bias(3), rendererBias);
            EXPECT_FLOAT_EQ(Bias(6), rendererBias);
            EXPECT_EQ(device_->samplerCalls, c.pass == &ERenderer::RenderLava ? 0u : 5u)
                << "stage 6 at the start, 3 and 6 per texture and after";
        }
    }
}

TEST_F(WaterPassTest, MissingNormalMapAndCubeLeaveTheirStagesAlone) {
    List({Water({meshes_[0]}, [](strtexture* t) { t->pNormal = t->pEnvironment = nullptr; })});
    OptionMV05 = false;
    ASSERT_EQ(Run(&ERenderer::RenderWaterReflection), 1u);
    EXPECT_TRUE(BoundOn(1).empty());
    EXPECT_EQ(BoundOn(6), std::vector<gfx::BaseTexture*>{nullptr}) << "only emptied after the pass";
}

TEST_F(WaterPassTest, EveryDrawnObjectCountsItsFacesOnceAsRenderedPolygons) {
    List({Lava({meshes_[0], meshes_[1]}), Water({meshes_[0]})});
    Run(&ERenderer::RenderLava);
    Run(&ERenderer::RenderWater);
    EXPECT_EQ(g_Debug.m_PolygonStats.renderedPolygons, 24u) << "two boxes of 12 faces";
}

TEST_F(WaterPassTest, WithoutTheAmbientEffectNothingIsDrawnOrPrinted) {
    for (bool keepRecord : {false, true}) {
        SCOPED_TRACE(keepRecord ? "a record without its effect" : "no record");
        g_EffectMgr.Destroy();
        if (keepRecord) {
            auto* record = new EffectRecord;
            std::snprintf(record->name, sizeof record->name, "%s", "ambient");
            g_EffectMgr.m_pEffects = record;
        }
        for (auto pass :
             {&ERenderer::RenderLava, &ERenderer::RenderWater, &ERenderer::RenderWaterReflection}) {
            List({Lava({meshes_[0]}), Water({meshes_[0]})});
            MarkConsole();
            device_->Forget();
            (g_Renderer.*pass)();
            EXPECT_TRUE(device_->drawCulls.empty());
            EXPECT_FALSE(Printed(""));
        }
    }
}

TEST(WaterWaves, ThePhasesFollowTheWorldTimeWithTheirOwnFactors) {
    struct Case {
        const char* name;
        water::Surface surface;
        float T, sinF, falaX, falaZ;
    } cases[] = {
        {"lava at 0", water::Surface::Lava, 0.0f, 0.0f, 0.0f, 0.4f},
        {"lava at 100", water::Surface::Lava, 100.0f, 0.9092974f, 0.29f, 0.77f},
        {"water at 0", water::Surface::Water, 0.0f, 0.0f, 0.0f, 0.5f},
        {"water at 100", water::Surface::Water, 100.0f, -0.1323518f, 0.004f, 0.505f},
        {"reflected water at 0", water::Surface::ReflectedWater, 0.0f, 0.0f, 0.0f, 0.4f},
        {"reflected water at 100", water::Surface::ReflectedWater, 100.0f, -0.3048106f, 2.9f, 4.1f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const water::Wave w = water::WaveAt(c.surface, c.T);
        EXPECT_NEAR(w.sinF, c.sinF, 1e-5f);
        EXPECT_NEAR(w.falaX, c.falaX, 1e-5f);
        EXPECT_NEAR(w.falaZ, c.falaZ, 1e-5f);
    }
}

// The demo pool's normal map: no pattern repeats inside it, so its glints
// do not stand in regular rows and columns. Against itself shifted by any
// step below its size, along either axis, its texels differ on average
// (a map of sine ridges 8 texels apart equals itself shifted by 8).
TEST(DemoWaterNormalMap, RepeatsNoPatternInsideItself) {
    std::ifstream file(std::string(ZT_SOURCE_DIR) + "/data/textures/water_normal.tga", std::ios::binary);
    std::vector<uint8_t> tga((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GE(tga.size(), 18u);
    ASSERT_EQ(tga[2], 2) << "uncompressed true colour";
    ASSERT_EQ(tga[16], 32);
    const int w = tga[12] | tga[13] << 8, h = tga[14] | tga[15] << 8;
    const size_t first = 18 + tga[0];
    ASSERT_GE(tga.size(), first + size_t(w) * h * 4);
    auto tilt = [&](int x, int y, int channel) { // 2 red (x tilt), 1 green (y tilt)
        return int(tga[first + (size_t(y % h) * w + size_t(x % w)) * 4 + size_t(channel)]);
    };
    for (int step = 1; step < w; ++step) {
        double along = 0, across = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                along += std::abs(tilt(x, y, 2) - tilt(x + step, y, 2));
                across += std::abs(tilt(x, y, 1) - tilt(x, y + step, 1));
            }
        EXPECT_GT(along / (w * h), 4.0) << "shifted by " << step << " across the rows";
        EXPECT_GT(across / (w * h), 4.0) << "shifted by " << step << " down the columns";
    }
}

} // namespace
