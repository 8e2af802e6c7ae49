// The sky-light pass of static meshes over hand-made render lists, with the
// uploads it makes counted through the effect and its draws at the device;
// the sky-light parameter block against GLM; the sway formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <glm/glm.hpp>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/Options.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/LitPasses.h"
#include "render/Mesh.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "render/SkyShadowMap.h"
#include "tests/render/PassFixture.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"

namespace {

// ---- The parameter block ---------------------------------------------------------------

// D3DX's row-vector matrix as GLM holds it: element [r][c] of the one is
// [r][c] of the other, so GLM's column-vector product of these is the
// transposed order (A x B in D3DX is B x A here).
glm::mat4 G(const math::Matrix& m) {
    glm::mat4 g;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            g[r][c] = m.m[r][c];
    return g;
}

struct BlockCase {
    const char* name;
    float direction[3];
    uint32_t sizes[2];
    float biases[2];
    float k;
    bool skyOn, animatedShadows, bothMaps;
};

class SkyLightBlockTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(SkyLightBlockTest, TheBlockIsTheMapsTheLightAndTheViewToLightMatrices) {
    const BlockCase& c = GetParam();
    SkyShadowMap maps;
    EnvironmentSettings env;
    env.SetSkyLightDirection(c.direction);
    env.SetSkyLightColor(0x00FF8040);
    env.m_bSkyLightInUse = c.skyOn;
    for (int i = 0; i < 2; ++i) {
        maps.m_Maps[i].dwSize = c.sizes[i];
        maps.m_Maps[i].fBias = c.biases[i];
        maps.m_Maps[i].mView =
            math::MatrixLookAtLH({100.0f * float(i + 1), 900, -300}, {0, 0, 50}, {0, 1, 0});
        maps.m_Maps[i].mProjection = math::MatrixOrthoLH(4000.0f * float(i + 1), 3000, 1, 9000);
    }
    const math::Matrix view = math::MatrixLookAtLH({-120, 180, -450}, {30, 10, 40}, {0, 1, 0});
    const litpass::SkyLightBlock b =
        litpass::ComputeSkyLightBlock(maps, env, view, c.k, c.animatedShadows, c.bothMaps);

    const glm::vec3 d(c.direction[0], c.direction[1], c.direction[2]);
    const glm::vec3 unit = glm::length(d) == 0.0f ? glm::vec3(0.0f) : glm::normalize(d);
    const glm::vec3 colour = glm::vec3(255, 128, 64) / 255.0f * c.k;
    const int used = c.bothMaps ? 2 : 1;
    for (int i = 0; i < used; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(b.vDirection[i].x, unit.x);
        EXPECT_FLOAT_EQ(b.vDirection[i].y, unit.y);
        EXPECT_FLOAT_EQ(b.vDirection[i].z, unit.z);
        EXPECT_EQ(b.vDirection[i].w, 0.0f);
        EXPECT_FLOAT_EQ(b.vDiffuse[i].x, colour.x);
        EXPECT_FLOAT_EQ(b.vDiffuse[i].y, colour.y);
        EXPECT_FLOAT_EQ(b.vDiffuse[i].z, colour.z);
        EXPECT_EQ(b.vDiffuse[i].w, 1.0f);
        const glm::mat4 want =
            G(maps.m_Maps[i].mProjection) * G(maps.m_Maps[i].mView) * glm::inverse(G(view));
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k)
                EXPECT_NEAR(b.mViewToLightProj[i].m[r][k], want[r][k],
                            1e-4f * (1.0f + std::fabs(want[r][k])));
    }
    EXPECT_EQ(b.bUse[0], c.skyOn);
    EXPECT_EQ(b.bUse[1], c.skyOn && c.animatedShadows && c.bothMaps);
    for (int i = 0; i < 2; ++i) {
        if (!c.bothMaps) {
            EXPECT_EQ(b.fMapSize[i], 0.0f) << "not computed for shader model 2";
            continue;
        }
        EXPECT_EQ(b.fMapSize[i], float(c.sizes[i]));
        EXPECT_FLOAT_EQ(b.fMapTexel[i], c.sizes[i] ? 1.0f / float(c.sizes[i]) : 1.0f);
        EXPECT_FLOAT_EQ(b.fShadowEpsilon[i], c.biases[i] * 0.0037f);
    }
}

INSTANTIATE_TEST_SUITE_P(
    LitPass, SkyLightBlockTest,
    ::testing::Values(
        BlockCase{"plain", {-1, -0.5f, 0.5f}, {2048, 1024}, {0.76f, 0.6f}, 1.2f, true, true, true},
        BlockCase{"zero direction", {0, 0, 0}, {2048, 1024}, {0.76f, 0.6f}, 1.0f, true, true, true},
        BlockCase{"a map of size 0", {0, -3, 4}, {0, 512}, {0.5f, 0.8f}, 1.0f, true, true, true},
        BlockCase{"no animated shadows", {1, -1, 0}, {1024, 1024}, {1, 1}, 2.0f, true, false, true},
        BlockCase{"sky light off", {1, -1, 0}, {1024, 1024}, {1, 1}, 2.0f, false, true, true},
        BlockCase{"shader model 2", {1, -2, 0}, {2048, 2048}, {0.7f, 0.6f}, 4.0f, true, true, false}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (ch == ' ') ch = '_';
        return n;
    });

// ---- Sway ---------------------------------------------------------------------------

TEST(LitPassSway, WireAndTreeSwayFollowTheClockAndThePhase) {
    struct Case {
        const char* name;
        litpass::Sway got;
        float przesX, przesY, wysY;
    } cases[] = {
        {"wire at phase 1", litpass::WireSway(10.0f, 100.0f, 1.0f), std::sin(1.0f) * 10.0f,
         -std::cos(0.5f) * std::sin(1.0f) * 10.0f * 0.4f, 100.0f},
        {"wire at phase 4 swings back", litpass::WireSway(10.0f, 50.0f, 4.0f), std::sin(4.0f) * 10.0f,
         -std::cos(2.0f) * std::sin(4.0f) * 10.0f * 0.4f, 50.0f},
        {"tree at 5 s", litpass::TreeSway(200.0f, 5.0f), std::sin(1.0f) * 12.0f, std::cos(1.0f) * 12.0f,
         200.0f},
        {"tree at 0 s", litpass::TreeSway(160.0f, 0.0f), 0.0f, 0.06f * 160.0f, 160.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(c.got.fPrzesX, c.przesX, 1e-5f);
        EXPECT_NEAR(c.got.fPrzesY, c.przesY, 1e-5f);
        EXPECT_FLOAT_EQ(c.got.fWysY, c.wysY);
        EXPECT_FLOAT_EQ(c.got.fWysY5, 0.5f * c.wysY);
    }
    EXPECT_NEAR(litpass::LeafWobble(2.0f), std::sin(1.4f) * 0.05f, 1e-6f);
}

// ---- The pass ---------------------------------------------------------------------------

class SkyLightPassTest : public PassTest {
  protected:
    void SetUp() override {
        PassTest::SetUp();
        ASSERT_NE(d_.dev, nullptr);
        skylight_ = AddEffect("skylight");
        DrawThroughCountingDevice();
        for (int i = 0; i < 3; ++i)
            meshes_.push_back(Ready(Make(OT_MESH, {float(100 * i), 0, 300})));
        saved_ = {DrawTransparent, DrawShadows, DrawAnimatedShadows, SkyLightPower};
        DrawTransparent = DrawShadows = DrawAnimatedShadows = true;
        SkyLightPower = 1.0f;
        for (int i = 0; i < 2; ++i)
            g_SkyShadowMap.m_Maps[i].pTexture = d_.Texture(0xFFFFFFFF);
        g_Renderer.m_bSecondCallSkyLitMeshes = 0;
        g_EngineObject.UpdateRenderMatrices();
    }
    void TearDown() override {
        std::tie(DrawTransparent, DrawShadows, DrawAnimatedShadows, SkyLightPower) = saved_;
        for (SkyShadowMap::Map& m : g_SkyShadowMap.m_Maps)
            m.pTexture = nullptr;
        g_Renderer.m_bSecondCallSkyLitMeshes = 0;
        PassTest::TearDown();
    }

    static void List(const std::vector<strtexture*>& textures) {
        PassTest::List(g_Renderer.m_pMeshTextures, textures);
    }
    // Runs a call of a variant; the draws' cull modes.
    size_t Run(bool full, bool secondCall) {
        if (skylight_) {
            skylight_->uploads.clear();
            skylight_->techniques.clear();
        }
        device_->Forget();
        if (full) {
            g_Renderer.RenderSkyLightMeshes(secondCall);
        } else {
            g_Renderer.RenderSkyLightMeshes20(secondCall);
        }
        return device_->drawCulls.size();
    }
    static int CountPrinted(const char* text) {
        int n = 0;
        PrintedAfterMark([&](const char* line) {
            n += std::strcmp(line, text) == 0;
            return false;
        });
        return n;
    }

    CountingEffect* skylight_ = nullptr;
    std::vector<ObjectRecord*> meshes_;
    std::tuple<bool, bool, bool, float> saved_;
};

TEST_F(SkyLightPassTest, OnlySeenSubsetsOfSeenObjectsThatTheSkyReachesAreDrawn) {
    struct Case {
        const char* name;
        std::function<void(ObjectRecord*)> first; // applied to the first object
        size_t draws;                             // of three users
    } cases[] = {
        {"all seen", {}, 3},
        {"a subset the occlusion test did not see", [](ObjectRecord* h) { h->bSubsetDraw[0] = 0; }, 2},
        {"an object not seen", [](ObjectRecord* h) { h->bSeen = 0; }, 2},
        {"an object out of view", [](ObjectRecord* h) { h->bVisibleNow = 0; }, 2},
        {"an object inside", [](ObjectRecord* h) { h->dwFlags2 |= objflags::kFlag2NoSkyLight; }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (ObjectRecord* h : meshes_) {
            Ready(h)->dwFlags2 = 0;
            h->bSubsetDraw[1] = 1; // another subset of the object is seen all the same
        }
        if (c.first) c.first(meshes_[0]);
        List({Texture(meshes_)});
        EXPECT_EQ(Run(true, false), c.draws);
    }
}

TEST_F(SkyLightPassTest, TheTechniqueFollowsShadowsAndCubeAndAnEqualNameIsNotBegunAgain) {
    struct Case {
        const char* name;
        bool shadows;
        std::vector<bool> cubes; // one texture each, in list order
        std::vector<std::string> begun;
    } cases[] = {
        {"shadows, no cube", true, {false, false}, {"RenderScene", "RenderScene10"}},
        {"shadows, then a cube",
         true,
         {false, true, true},
         {"RenderScene", "RenderScene10", "RenderScene11"}},
        {"no shadows", false, {false, true}, {"RenderScene", "RenderScene00", "RenderScene01"}},
    };
    strtexture* cube = Texture({});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawShadows = c.shadows;
        std::vector<strtexture*> list;
        for (bool withCube : c.cubes)
            list.push_back(
                Texture({meshes_[0]}, [&](strtexture* t) { t->pEnvironment = withCube ? cube : nullptr; }));
        List(list);
        EXPECT_EQ(Run(true, false), c.cubes.size());
        EXPECT_EQ(skylight_->techniques, c.begun);
    }
    SCOPED_TRACE("shader model 2");
    List({Texture({meshes_[0]}), Texture({meshes_[1]}, [&](strtexture* t) { t->pEnvironment = cube; })});
    EXPECT_EQ(Run(false, false), 2u);
    EXPECT_EQ(skylight_->techniques, (std::vector<std::string>{"RenderScene20_0", "RenderScene20_1"}));
}

// Every technique the meshes are drawn with has the vertex-ambient terms,
// also the shader-model-2 pass's first, begun before the walk.
TEST_F(SkyLightPassTest, TheVertexAmbientTermsReachEveryTechniqueTheMeshesAreDrawnWith) {
    strtexture* cube = Texture({});
    struct Case {
        const char* name;
        bool full, withCube;
    } cases[] = {
        {"full, no cube", true, false},
        {"full, a cube", true, true},
        {"shader model 2, no cube", false, false},
        {"shader model 2, a cube", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        List({Texture({meshes_[0]}, [&](strtexture* t) { t->pEnvironment = c.withCube ? cube : nullptr; })});
        ASSERT_EQ(Run(c.full, false), 1u);
        EXPECT_FALSE(skylight_->Of("g_fVertexAmbientBrightness").empty());
        EXPECT_FALSE(skylight_->Of("g_fVertexAmbientContrast").empty());
        EXPECT_FALSE(skylight_->Of("g_fVertexAmbientColor").empty());
    }
}

TEST_F(SkyLightPassTest, AmbientAndFogAreSetOnIndexChangesAnimatedTexturesAndObjectsWithoutFog) {
    struct Case {
        const char* name;
        bool animated;
        std::vector<uint32_t> flags2; // per user
        size_t ambientUploads;
        std::vector<std::vector<float>> fogFar;
    } cases[] = {
        {"one index", false, {0, 0, 0}, 1, {{100}}},
        {"an animated texture", true, {0, 0, 0}, 3, {{100}}},
        {"no fog, then the same index", false, {objflags::kFlag2NoFog, 0, 0}, 1, {{80008}, {100}}},
        {"no fog in the middle", false, {0, objflags::kFlag2NoFog, 0}, 1, {{100}, {80008}, {100}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (size_t i = 0; i < meshes_.size(); ++i) {
            meshes_[i]->dwFlags2 = c.flags2[i];
            meshes_[i]->iFogIdx = 0;
            meshes_[i]->iAmbientLightIdx = 0;
        }
        g_EnvironmentSettings.SetFogFar(100.0f, 0);
        g_EngineObject.UpdateRenderMatrices();
        List({Texture(meshes_, [&](strtexture* t) { t->bAnimated = c.animated; })});
        EXPECT_EQ(Run(true, false), 3u);
        EXPECT_EQ(skylight_->Of("g_AmbientLightDiffuse").size(), c.ambientUploads);
        EXPECT_EQ(skylight_->Of("g_FogFar"), c.fogFar);
        const auto nearUploads = skylight_->Of("g_FogNear");
        for (size_t i = 0; i < c.fogFar.size(); ++i)
            if (c.fogFar[i][0] == 80008.0f) {
                EXPECT_EQ(nearUploads.at(i), std::vector<float>{80000.0f});
            }
    }
}

TEST_F(SkyLightPassTest, TranslucentTexturesAreBlendedByTheFullVariantAndLeftToTheSecondCall) {
    auto translucent = [](strtexture* t) { t->desc.bTranslucent = 1; };
    struct Case {
        const char* name;
        bool full, secondCall;
        std::vector<uint32_t> blends; // AlphaBlendEnable at each draw: opaque user, then translucent user
        bool flagged;
    } cases[] = {
        {"full, first call: both, the translucent one blended", true, false, {0, 1}, false},
        {"full, second call: the translucent one only", true, true, {1}, false},
        {"shader model 2, first call: the opaque one, the rest flagged", false, false, {0}, true},
        {"shader model 2, second call: the translucent one only", false, true, {1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_Renderer.m_bSecondCallSkyLitMeshes = 0;
        List({Texture({meshes_[0]}), Texture({meshes_[1]}, translucent)});
        Run(c.full, c.secondCall);
        EXPECT_EQ(device_->drawBlends, c.blends);
        EXPECT_EQ(g_Renderer.m_bSecondCallSkyLitMeshes, c.flagged ? 1 : 0);
        EXPECT_FALSE(g_RenderStateCache.m_bTranslucentOn) << "ended after the pass";
        EXPECT_FALSE(g_RenderStateCache.m_bTechniqueBegun);
    }
}

TEST_F(SkyLightPassTest, TheSecondMapIsBoundOnlyWithAnimatedShadowsAndTheShaderModel2PowerIsCapped) {
    List({Texture({meshes_[0]})});
    using Maps = std::vector<gfx::BaseTexture*>;
    DrawAnimatedShadows = false;
    Run(true, false);
    EXPECT_EQ(device_->drawMaps[0], Maps{g_SkyShadowMap.m_Maps[0].pTexture});
    EXPECT_EQ(device_->drawMaps[1], Maps{nullptr});
    EXPECT_EQ(skylight_->Of("g_bUseSkyLightX"), (std::vector<std::vector<float>>{{1, 0}}));
    DrawAnimatedShadows = true;
    Run(true, false);
    EXPECT_EQ(device_->drawMaps[1], Maps{g_SkyShadowMap.m_Maps[1].pTexture});
    EXPECT_EQ(device_->stageTextures[3], nullptr) << "the device holds no map after the pass";
    EXPECT_EQ(device_->stageTextures[4], nullptr);

    g_EnvironmentSettings.SetSkyLightColor(0x00FFFFFF);
    SkyLightPower = 6.0f;
    Run(false, false);
    ASSERT_EQ(skylight_->Of("g_SkyLightDiffuse").size(), 1u);
    EXPECT_EQ(skylight_->Of("g_SkyLightDiffuse")[0][0], 4.0f);
    EXPECT_EQ(device_->drawMaps[0], Maps{nullptr}) << "no maps for shader model 2";
    Run(true, false);
    EXPECT_EQ(skylight_->Of("g_SkyLightDiffuse")[0][0], 6.0f) << "the full variant keeps the power";
}

TEST_F(SkyLightPassTest, AMissingEffectOrSwitchPrintsOnceAndTheFrameGoesOn) {
    struct Case {
        const char* name;
        int effect; // 0 none, 1 a record without its effect, 2 an effect without g_bUseSkyLightX
        const char* printed;
        size_t draws;
    } cases[] = {
        {"no record", 0, "No skylight HEFFECT", 0},
        {"no effect", 1, "No skylight ID3DXEffect", 0},
        {"no switch", 2, "Set failed", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_EffectMgr.Destroy();
        skylight_ = nullptr;
        if (c.effect == 1) {
            auto* record = new EffectRecord;
            std::snprintf(record->name, sizeof record->name, "skylight");
            g_EffectMgr.m_pEffects = record;
        } else if (c.effect == 2) {
            g_pD3DInterface = d_.dev;
            skylight_ =
                AddEffect("skylight", std::string(ZT_SOURCE_DIR) + "/tests/render/fx/skylight_no_switch.fxc");
            g_pD3DInterface = device_;
        }
        List({Texture({meshes_[0]})});
        MarkConsole();
        EXPECT_EQ(Run(true, false), c.draws);
        EXPECT_EQ(CountPrinted(c.printed), 1);
        EXPECT_FALSE(g_RenderStateCache.m_bTechniqueBegun);
    }
}

} // namespace
