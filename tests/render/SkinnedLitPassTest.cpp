// The lit passes of skinned meshes over hand-made skinned lists: which
// users each variant hands to the stand-in skinned mesh (by the object's
// place in the palette at each draw), with the technique, alpha modes,
// stage textures and LOD bias in force at the draw; the uploads each makes
// through the effect; and the console lines of a missing effect, a missing
// normal map and a refused switch array.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Options.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "render/SkinnedLight.h"
#include "skinmesh/SkinMesh.h"
#include "tests/render/PassFixture.h"
#include "world/Camera.h"
#include "world/EngineObjectFlags.h"
#include "world/WorldHooks.h"

namespace {

using gfx::RenderState;

PostProcessGameState g_game; // what the game hook answers

using Pass = void (ERenderer::*)(bool);
constexpr Pass kSky = &ERenderer::RenderSkyLightSkinmeshes;
constexpr Pass kSky20 = &ERenderer::RenderSkyLightSkinmeshes20;
constexpr Pass kLight = &ERenderer::RenderLightSkinmeshes;
constexpr Pass kLight20 = &ERenderer::RenderLightSkinmeshes20;

struct Variant {
    const char* name;
    Pass pass;
    bool inside; // draws the objects with flag2 bit 0x8
};
const Variant kVariants[] = {
    {"sky light", kSky, false},
    {"sky light, shader model 2", kSky20, false},
    {"ambient light", kLight, true},
    {"ambient light, shader model 2", kLight20, true},
};

// What was in force at one draw of the stand-in.
struct Draw {
    int object = -1; // the fixture's object index, found by the palette's place
    std::string technique;
    uint32_t blend = 0, alphaTest = 0;
    float lodBias3 = 0;
    gfx::BaseTexture* stage[16] = {};
};

float LodBias(gfx::Device* d, uint32_t stage) {
    uint32_t bits = 0;
    d->GetSamplerState(stage, gfx::SamplerState::MipMapLodBias, &bits);
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

class SkinnedLitPassTest : public PassTest {
  protected:
    static constexpr int kObjects = 4;

    void SetUp() override {
        PassTest::SetUp();
        ASSERT_NE(d_.dev, nullptr);
        sky_ = AddEffect("SkyLightSkinmesh");
        light_ = AddEffect("LightSkinmesh");
        DrawThroughCountingDevice();
        for (int i = 0; i < kObjects; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "skinned_%d", i);
            objects_.push_back(Make(OT_SKINMESH, {float(100 * i), 0, 300}, name));
            ASSERT_TRUE(objects_.back() && objects_.back()->SkinMesh());
        }
        saved_ = {DrawModels,  DrawCharacterTextures, DrawDetail,
                  DrawShadows, DrawAnimatedShadows,   UseSkyLight};
        DrawModels = DrawCharacterTextures = DrawDetail = UseSkyLight = true;
        DrawShadows = DrawAnimatedShadows = false;
        savedHooks_ = TheWorldHooks();
        WorldHooks h = savedHooks_;
        h.PostProcessGame = [] { return g_game; };
        InstallWorldHooks(h);
        g_game = PostProcessGameState();
        savedCamera_ = g_Camera;
        savedEnvironment_ = g_EnvironmentSettings;
        device_->onDraw = [this] { draws_.push_back(Seen()); };
    }
    void TearDown() override {
        device_->onDraw = nullptr;
        g_Camera = savedCamera_;
        g_EnvironmentSettings = savedEnvironment_;
        InstallWorldHooks(savedHooks_);
        std::tie(DrawModels, DrawCharacterTextures, DrawDetail, DrawShadows, DrawAnimatedShadows,
                 UseSkyLight) = saved_;
        g_Renderer.m_bSecondCallSkyLitSkinMeshes = g_Renderer.m_bSecondCallAmbientLitSkinMeshes = 0;
        PassTest::TearDown();
    }

    // Shown, in view and seen; inside or outside.
    ObjectRecord* Ready(int i, bool inside) {
        ObjectRecord* h = objects_[size_t(i)];
        h->bVisibleNow = h->bSeen = 1;
        h->dwFlags |= objflags::kFlagVisible;
        h->dwFlags2 = inside ? objflags::kFlag2NoSkyLight : 0;
        h->iAmbientLightIdx = h->iFogIdx = 0;
        return h;
    }

    // A texture record whose users are the given objects (subset 0), in
    // that order.
    strtexture* Texture(const std::vector<int>& users, std::function<void(strtexture*)> describe = {}) {
        strtexture* t = NewRecord();
        std::snprintf(t->szName, sizeof t->szName, "textures\\skin_%u.tga", t->id);
        t->pTexture = d_.Texture(0xFF808080);
        for (auto it = users.rbegin(); it != users.rend(); ++it)
            AddUser(t, objects_[size_t(*it)]);
        if (describe) describe(t);
        return t;
    }
    // A companion record (normal map, detail, cube) of its own image.
    strtexture* Companion() {
        textures_.push_back(std::make_unique<strtexture>());
        strtexture* t = textures_.back().get();
        t->pTexture = d_.Texture(0xFF8080FF);
        return t;
    }

    static void List(const std::vector<strtexture*>& textures) {
        PassTest::List(g_Renderer.m_pSkinMeshTextures, textures);
    }

    CountingEffect* EffectOf(Pass pass) const { return pass == kSky || pass == kSky20 ? sky_ : light_; }

    // Runs a pass and gives its draws.
    std::vector<Draw> Run(Pass pass, bool call = false) {
        for (CountingEffect* e : {sky_, light_}) {
            if (!e) continue;
            e->uploads.clear();
            e->techniques.clear();
        }
        running_ = EffectOf(pass);
        device_->Forget();
        draws_.clear();
        (g_Renderer.*pass)(call);
        return draws_;
    }

    Draw Seen() const {
        Draw d;
        if (!running_) return d;
        effect::TechniqueDesc desc;
        if (running_->GetTechniqueDesc(running_->GetCurrentTechnique(), &desc) == gfx::Result::Ok &&
            desc.Name)
            d.technique = desc.Name;
        math::Matrix palette;
        running_->GetMatrixArray(running_->GetParameterByName(effect::Handle(), "mWorldMatrixArray"),
                                 &palette, 1);
        for (int i = 0; i < kObjects; ++i)
            if (std::fabs(palette.m[3][0] - objects_[size_t(i)]->vPosition.x) < 0.5f) d.object = i;
        d_.dev->GetRenderState(RenderState::AlphaBlendEnable, &d.blend);
        d_.dev->GetRenderState(RenderState::AlphaTestEnable, &d.alphaTest);
        d.lodBias3 = LodBias(d_.dev, 3);
        for (uint32_t s = 0; s < 16; ++s)
            d.stage[s] = device_->stageTextures[s];
        return d;
    }

    static std::vector<int> Objects(const std::vector<Draw>& draws) {
        std::vector<int> out;
        for (const Draw& d : draws)
            out.push_back(d.object);
        return out;
    }

    CountingEffect* sky_ = nullptr;
    CountingEffect* light_ = nullptr;
    CountingEffect* running_ = nullptr;
    std::vector<ObjectRecord*> objects_;
    std::vector<Draw> draws_;
    std::tuple<bool, bool, bool, bool, bool, bool> saved_;
    WorldHooks savedHooks_;
    ECamera savedCamera_;
    EnvironmentSettings savedEnvironment_;
};

using Floats = std::vector<std::vector<float>>;

// ---- Selection -----------------------------------------------------------------------

TEST_F(SkinnedLitPassTest, InsideObjectsGoToTheAmbientPassOutsideOnesToTheSkyPassAndHiddenOnesToNeither) {
    struct Case {
        const char* name;
        std::function<void(ObjectRecord*)> change; // of object 1
        bool drawn;                                // object 1 drawn by its family
    } cases[] = {
        {"plain", {}, true},
        {"flags without bit 0x1", [](ObjectRecord* h) { h->dwFlags &= ~objflags::kFlagVisible; }, false},
        {"not seen", [](ObjectRecord* h) { h->bSeen = 0; }, false},
        {"out of view", [](ObjectRecord* h) { h->bVisibleNow = 0; }, false},
    };
    for (const Variant& v : kVariants) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(v.name) + ", " + c.name);
            // Objects 0 and 1 of the pass's family, 2 and 3 of the other.
            for (int i = 0; i < kObjects; ++i)
                Ready(i, (i < 2) == v.inside);
            if (c.change) c.change(objects_[1]);
            List({Texture({0, 2, 1, 3})});
            const std::vector<int> want = c.drawn ? std::vector<int>{0, 1} : std::vector<int>{0};
            EXPECT_EQ(Objects(Run(v.pass)), want);
            EXPECT_EQ(objects_[0]->SkinMesh()->m_dwLastRenderTexture, textures_.back()->id);
            EXPECT_EQ(objects_[0]->SkinMesh()->m_pLastRenderEffect,
                      g_EffectMgr.FindEffect(v.inside ? "LightSkinmesh" : "SkyLightSkinmesh"));
        }
    }
}

TEST_F(SkinnedLitPassTest, OverlayAndHiddenTexturesAreLeftToOtherPasses) {
    const std::function<void(strtexture*)> kinds[] = {
        [](strtexture* t) { t->bDoNotRender = 1; },
        [](strtexture* t) { t->desc.bAdditive = 1; },
        [](strtexture* t) { t->desc.bStain = 1; },
        [](strtexture* t) { t->desc.bAdditive = t->desc.bTranslucent = 1; },
    };
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        for (int i = 0; i < kObjects; ++i)
            Ready(i, v.inside);
        for (const auto& kind : kinds) {
            List({Texture({0}, kind), Texture({1})});
            g_Renderer.m_bSecondCallSkyLitSkinMeshes = g_Renderer.m_bSecondCallAmbientLitSkinMeshes = 0;
            EXPECT_EQ(Objects(Run(v.pass)), std::vector<int>{1});
            EXPECT_FALSE(g_Renderer.m_bSecondCallSkyLitSkinMeshes ||
                         g_Renderer.m_bSecondCallAmbientLitSkinMeshes);
        }
    }
}

TEST_F(SkinnedLitPassTest, WithoutModelsOrWithAnEmptyListTheSkyPassOnlyClearsTheFormatAndSetsTheDeclaration) {
    for (Pass pass : {kSky, kSky20}) {
        for (bool models : {false, true}) {
            SCOPED_TRACE(models ? "empty list" : "DrawModels off");
            DrawModels = models;
            Ready(0, false);
            if (models) {
                List({});
            } else {
                List({Texture({0})});
            }
            EXPECT_TRUE(Run(pass).empty());
            EXPECT_EQ(device_->fvfCalls, 1u);
            EXPECT_EQ(device_->programCalls, 0u);
            EXPECT_TRUE(sky_->techniques.empty());
            EXPECT_TRUE(sky_->uploads.empty());
            EXPECT_EQ(device_->lastDeclaration, g_pVertexDeclarations[1]);
        }
    }
}

// ---- Translucent textures ----------------------------------------------------------

TEST_F(SkinnedLitPassTest,
       TranslucentTexturesWaitForTheSecondCallWhichDrawsThemBlendedEvenWhenAlsoTransparent) {
    struct Case {
        const char* name;
        bool transparent, translucent;
        std::vector<int> first, second; // objects drawn by each call
    } cases[] = {
        {"opaque", false, false, {0}, {}},
        {"transparent", true, false, {0}, {}},
        {"translucent", false, true, {}, {0}},
        {"both", true, true, {}, {0}},
    };
    const struct {
        Pass pass;
        uint8_t ERenderer::*flag;
        bool inside;
    } passes[] = {{kSky, &ERenderer::m_bSecondCallSkyLitSkinMeshes, false},
                  {kSky20, &ERenderer::m_bSecondCallSkyLitSkinMeshes, false},
                  {kLight, &ERenderer::m_bSecondCallAmbientLitSkinMeshes, true},
                  {kLight20, &ERenderer::m_bSecondCallAmbientLitSkinMeshes, true}};
    for (const auto& p : passes) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            Ready(0, p.inside);
            List({Texture({0}, [&c](strtexture* t) {
                t->desc.bTransparent = c.transparent;
                t->desc.bTranslucent = c.translucent;
            })});
            g_Renderer.*p.flag = 0;
            const std::vector<Draw> first = Run(p.pass, false);
            EXPECT_EQ(Objects(first), c.first);
            EXPECT_EQ(g_Renderer.*p.flag, c.translucent ? 1 : 0);
            const std::vector<Draw> second = Run(p.pass, true);
            EXPECT_EQ(Objects(second), c.second);
            for (const Draw& d : first)
                EXPECT_EQ(d.alphaTest, c.transparent ? 1u : 0u);
            for (const Draw& d : second) {
                EXPECT_EQ(d.blend, 1u) << "translucent mode";
                EXPECT_EQ(d.alphaTest, 0u) << "translucent mode, not transparent";
            }
            EXPECT_FALSE(g_RenderStateCache.m_bTranslucentOn || g_RenderStateCache.m_bTransparentOn);
            EXPECT_FALSE(g_RenderStateCache.m_bTechniqueBegun);
        }
    }
}

// ---- Ambient and fog ------------------------------------------------------------------

TEST_F(SkinnedLitPassTest, AmbientAndFogAreUploadedOnlyWhenTheSetChanges) {
    g_EnvironmentSettings.SetAmbientColor(0x336699, 2);
    g_EnvironmentSettings.SetFogColor(0x102030, 1);
    g_EnvironmentSettings.SetFogFar(900.0f, 1);
    g_EnvironmentSettings.SetFogNear(100.0f, 1);
    const std::vector<float> ambient2 = {0x33 / 255.0f, 0x66 / 255.0f, 0x99 / 255.0f, 1.0f};
    const std::vector<float> fog1 = {0x10 / 255.0f, 0x20 / 255.0f, 0x30 / 255.0f, 1.0f};
    struct Case {
        const char* name;
        bool noFogBetween;
        bool animated;
        size_t ambientUploads, fogColourUploads, fogFarUploads;
    } cases[] = {
        {"two objects of equal sets", false, false, 1, 1, 1},
        {"a no-fog object between them", true, false, 1, 2, 3},
        {"an animated texture", false, true, 3, 1, 1},
    };
    for (const Variant& v : kVariants) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(v.name) + ", " + c.name);
            for (int i = 0; i < 3; ++i) {
                ObjectRecord* h = Ready(i, v.inside);
                h->iAmbientLightIdx = 2;
                h->iFogIdx = 1;
            }
            if (c.noFogBetween) objects_[1]->dwFlags2 |= objflags::kFlag2NoFog;
            List({Texture({0, 1, 2}, [&c](strtexture* t) { t->bAnimated = c.animated; })});
            EXPECT_EQ(Run(v.pass).size(), 3u);
            CountingEffect* e = EffectOf(v.pass);
            const Floats ambient = e->Of("g_AmbientLightDiffuse");
            EXPECT_EQ(ambient.size(), c.ambientUploads);
            for (const std::vector<float>& a : ambient)
                EXPECT_EQ(a, ambient2);
            const Floats fog = e->Of("g_FogColor");
            EXPECT_EQ(fog.size(), c.fogColourUploads);
            for (const std::vector<float>& f : fog)
                EXPECT_EQ(f, fog1);
            EXPECT_EQ(e->Of("g_FogFar").size(), c.fogFarUploads);
            if (c.noFogBetween) {
                EXPECT_EQ(e->Of("g_FogFar")[1], std::vector<float>{80008.0f});
            }
        }
    }
}

TEST_F(SkinnedLitPassTest, AProbedObjectSendsItsOwnColourAndASetOutsideTheFourUsesTheFirst) {
    g_EnvironmentSettings.SetAmbientColor(0xFF0000, 0);
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        ObjectRecord* probed = Ready(0, v.inside);
        probed->dwFlags2 |= objflags::kFlag2FixedColour;
        const float own[4] = {0.1f, 0.2f, 0.3f, 0.4f};
        std::memcpy(probed->fProbedAmbient, own, sizeof own);
        Ready(1, v.inside)->iAmbientLightIdx = 7;
        List({Texture({0, 1})});
        Run(v.pass);
        EXPECT_EQ(EffectOf(v.pass)->Of("g_AmbientLightDiffuse"),
                  (Floats{{0.1f, 0.2f, 0.3f, 0.4f}, {1, 0, 0, 1}}));
    }
}

// ---- Texture state ----------------------------------------------------------------------

TEST_F(SkinnedLitPassTest, WithoutCharacterTexturesStageZeroIsWhiteWhileDetailAndCubeKeepTheirImages) {
    for (const Variant& v : {kVariants[0], kVariants[2]}) {
        for (bool characterTextures : {true, false}) {
            SCOPED_TRACE(std::string(v.name) + (characterTextures ? "" : ", DrawCharacterTextures off"));
            DrawCharacterTextures = characterTextures;
            Ready(0, v.inside);
            strtexture* detail = Companion();
            strtexture* cube = Companion();
            strtexture* t = Texture({0}, [&](strtexture* r) {
                r->pDetail = detail;
                r->pEnvironment = cube;
                r->pNormal = Companion();
            });
            List({t});
            const std::vector<Draw> draws = Run(v.pass);
            ASSERT_EQ(draws.size(), 1u);
            EXPECT_EQ(draws[0].stage[0], characterTextures ? static_cast<gfx::BaseTexture*>(t->pTexture)
                                                           : g_Renderer.DefaultTexture());
            EXPECT_EQ(draws[0].stage[1], t->pNormal->pTexture);
            EXPECT_EQ(draws[0].stage[2], detail->pTexture);
            EXPECT_EQ(draws[0].stage[6], cube->pCubeTexture);
        }
    }
}

TEST_F(SkinnedLitPassTest, AMissingNormalMapIsNamedOncePerTextureAndItsImageStandsInOnlyInTheAmbientPass) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        Ready(0, v.inside);
        Ready(1, v.inside);
        strtexture* bare = Texture({0, 1});
        List({bare});
        device_->stageTextures[1] = nullptr;
        MarkConsole();
        const std::vector<Draw> draws = Run(v.pass);
        ASSERT_EQ(draws.size(), 2u);
        const std::string line = std::string(bare->szName) + " - brak normala!";
        int printed = 0;
        PrintedAfterMark([&](const char* l) {
            printed += line == l;
            return false;
        });
        EXPECT_EQ(printed, v.inside ? 1 : 0);
        EXPECT_EQ(draws[1].stage[1], v.inside ? static_cast<gfx::BaseTexture*>(bare->pTexture) : nullptr);
    }
}

TEST_F(SkinnedLitPassTest, TheAmbientPassBiasesTheMapStagesWhileItDrawsAndPutsThemBackAfter) {
    for (Pass pass : {kLight, kLight20}) {
        for (uint32_t s : {3u, 4u, 5u, 14u})
            d_.dev->SetSamplerState(s, gfx::SamplerState::MipMapLodBias, gfx::FloatState(-7.0f));
        Ready(0, true);
        List({Texture({0})});
        const std::vector<Draw> draws = Run(pass);
        ASSERT_EQ(draws.size(), 1u);
        EXPECT_EQ(draws[0].lodBias3, -1000.0f);
        for (uint32_t s : {3u, 4u, 5u, 14u})
            EXPECT_EQ(LodBias(d_.dev, s), -1.0f) << "stage " << s;
    }
}

// ---- Techniques ----------------------------------------------------------------------------

TEST_F(SkinnedLitPassTest, EachVariantDrawsWithTheTechniqueOfTheTexturesCube) {
    struct Case {
        Pass pass;
        bool inside;
        const char* plain;
        const char* cube;
    } cases[] = {
        {kSky, false, "RenderScene", "RenderScene1"},
        {kSky20, false, "RenderScene20_0", "RenderScene20_1"},
        {kLight, true, "RenderAmbient0", "RenderAmbient1"},
        {kLight20, true, "RenderAmbient20", "RenderAmbient20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plain);
        for (int i = 0; i < 3; ++i)
            Ready(i, c.inside);
        strtexture* cube = Companion();
        List({Texture({0}), Texture({1}, [&](strtexture* t) { t->pEnvironment = cube; }), Texture({2})});
        const std::vector<Draw> draws = Run(c.pass);
        ASSERT_EQ(draws.size(), 3u);
        EXPECT_EQ(draws[0].technique, c.plain);
        EXPECT_EQ(draws[1].technique, c.cube);
        EXPECT_EQ(draws[2].technique, c.plain);
    }
}

TEST_F(SkinnedLitPassTest, TheIntroHeroBeginsItsTechniqueOnlyAsTheFirstDrawnUserOfItsTexture) {
    for (int i = 0; i < kObjects; ++i)
        Ready(i, false);
    Ready(3, true); // a light source's place is read from any object
    SetObjectName(objects_[3], "light1");
    objects_[3]->vPosition = {5, 6, 7};
    struct Case {
        const char* name;
        Pass pass;
        bool running;
        int scene;
        const char* heroName; // of object 0
        std::vector<int> firstUsers;
        std::vector<std::string> techniques; // at the draws of objects 0, 1, 2
        size_t introLights;
    } cases[] = {
        {"hero first", kSky, true, 1, "Hero_Scene_1", {0, 1}, {"HeroIntro", "HeroIntro", "RenderScene"}, 1},
        {"hero second",
         kSky,
         true,
         1,
         "hero_scene_1",
         {1, 0},
         {"RenderScene", "RenderScene", "RenderScene"},
         0},
        {"second scene",
         kSky,
         true,
         2,
         "hero_scene_1",
         {0, 1},
         {"RenderScene", "RenderScene", "RenderScene"},
         0},
        {"intro not running",
         kSky,
         false,
         1,
         "hero_scene_1",
         {0, 1},
         {"RenderScene", "RenderScene", "RenderScene"},
         0},
        {"shader model 2",
         kSky20,
         true,
         1,
         "hero_scene_1",
         {0, 1},
         {"RenderScene20_0", "RenderScene20_0", "RenderScene20_0"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_game.bIntroRunning = c.running;
        g_game.iIntroScene = c.scene;
        SetObjectName(objects_[0], c.heroName);
        List({Texture(c.firstUsers), Texture({2})});
        const std::vector<Draw> draws = Run(c.pass);
        ASSERT_EQ(draws.size(), 3u);
        for (const Draw& d : draws)
            EXPECT_EQ(d.technique, c.techniques[size_t(d.object)]) << "object " << d.object;
        const Floats light0 = sky_->Of("g_vIntroLight0");
        ASSERT_EQ(light0.size(), c.introLights);
        if (c.introLights) {
            EXPECT_EQ(light0[0], (std::vector<float>{5, 6, 7, 0}));
            EXPECT_EQ(sky_->Of("g_vIntroLight1"), (Floats{{0, 0, 0, 0}})) << "no light2: the origin";
        }
    }
}

// ---- Parameters of the variants ------------------------------------------------------------

TEST_F(SkinnedLitPassTest, TheVariantsDifferInTheirSkyArraysDetailStateAndRim) {
    g_EnvironmentSettings.m_bSkyLightInUse = true;
    DrawAnimatedShadows = true;
    struct Case {
        Pass pass;
        std::vector<float> useSkyLightX;
        size_t blockUploads;  // again at the first texture's technique in the full variant
        size_t detailUploads; // g_bDrawDetail per texture
        bool detailBound;
        std::vector<float> fresnel; // plain, kind 256, flags 0x80000
    } cases[] = {
        {kSky, {1, 1}, 2, 1, true, {0.8f, 0.0f, 0.0f}},
        {kSky20, {1, 0}, 1, 0, false, {1.0f, 1.0f, 0.0f}},
        {kLight, {}, 0, 2, true, {1.0f, 1.0f, 0.0f}},
        {kLight20, {}, 0, 1, true, {1.0f, 1.0f, 0.0f}},
    };
    for (const Case& c : cases) {
        const bool inside = c.pass == kLight || c.pass == kLight20;
        for (int i = 0; i < 3; ++i)
            Ready(i, inside);
        objects_[1]->dwKindFlags = objflags::kKindNoFresnel;
        objects_[2]->dwFlags |= objflags::kFlagNoFresnel;
        strtexture* detail = Companion();
        List({Texture({0, 1, 2}, [&](strtexture* t) { t->pDetail = detail; })});
        const std::vector<Draw> draws = Run(c.pass);
        ASSERT_EQ(draws.size(), 3u);
        CountingEffect* e = EffectOf(c.pass);
        EXPECT_EQ(e->Of("g_bUseSkyLightX"), Floats(c.blockUploads, c.useSkyLightX));
        EXPECT_EQ(e->Of("g_bDrawDetail").size(), c.detailUploads);
        EXPECT_EQ(draws[0].stage[2] == detail->pTexture, c.detailBound);
        Floats fresnel;
        for (float f : c.fresnel)
            fresnel.push_back({f});
        EXPECT_EQ(e->Of("g_fFresnelCoef"), fresnel);
        objects_[1]->dwKindFlags = 0;
        objects_[2]->dwFlags &= ~objflags::kFlagNoFresnel;
    }
}

TEST_F(SkinnedLitPassTest, TheCameraBoundLightFollowsTheView) {
    orientation o;
    o.SetDirection(math::Vec3{0.3f, -0.2f, 1.0f});
    g_Camera.SetOrientation(o);
    g_Camera.UpdateViewMatrix();
    const orientation& view = g_Camera.ViewOrientation();
    Ready(0, false);
    Ready(1, true);
    List({Texture({0, 1})});
    Run(kSky);
    math::Vec4 want[3];
    litpass::AmbientDirections(view.forward, want);
    std::vector<float> directions;
    for (const math::Vec4& d : want)
        directions.insert(directions.end(), {d.x, d.y, d.z, d.w});
    EXPECT_EQ(sky_->Of("g_AmbientLightDirection"), (Floats{directions}));
    Run(kLight);
    const math::Vec4 back = litpass::BackLightDirection(view.forward, view.right);
    EXPECT_EQ(light_->Of("g_vBackLightDirection"), (Floats{{back.x, back.y, back.z, back.w}}));
    EXPECT_EQ(light_->Of("g_vBackLightDiffuse"), (Floats{{0.3f, 0.2f, 0.1f, 0.0f}}));
}

TEST_F(SkinnedLitPassTest, TheSkyPassTakesItsLightFactorFromBothConsoleVariables) {
    const auto saved = std::make_tuple(SkinmeshLightCoef, SkyLightPower);
    g_EnvironmentSettings.SetSkyLightColor(0x00FF3366);
    SkinmeshLightCoef = 0.5f;
    SkyLightPower = 6.0f; // no cap for skinned meshes, shader model 2 included
    Ready(0, false);
    for (Pass pass : {kSky, kSky20}) {
        List({Texture({0})});
        Run(pass);
        const Floats diffuse = sky_->Of("g_SkyLightDiffuse");
        ASSERT_FALSE(diffuse.empty());
        EXPECT_NEAR(diffuse[0][0], 0xFF / 255.0f * 3.0f, 1e-5f);
        EXPECT_NEAR(diffuse[0][1], 0x33 / 255.0f * 3.0f, 1e-5f);
        EXPECT_NEAR(diffuse[0][2], 0x66 / 255.0f * 3.0f, 1e-5f);
        EXPECT_EQ(diffuse[0][3], 1.0f);
    }
    std::tie(SkinmeshLightCoef, SkyLightPower) = saved;
}

// ---- Failures --------------------------------------------------------------------------------

TEST_F(SkinnedLitPassTest, AMissingEffectIsNamedAndNothingIsDrawn) {
    struct Case {
        Pass pass;
        bool keepRecord;
        const char* printed;
    } cases[] = {
        {kSky, false, "No SkyLightSkinmesh HEFFECT"},
        {kSky20, true, "No SkyLightSkinmesh ID3DXEffect"},
        {kLight, false, "No light skinmesh HEFFECT"},
        {kLight20, true, "No light skinmesh ID3DXEffect"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.printed);
        g_EffectMgr.Destroy();
        sky_ = light_ = nullptr;
        if (c.keepRecord) {
            for (const char* name : {"SkyLightSkinmesh", "LightSkinmesh"}) {
                auto* record = new EffectRecord;
                std::snprintf(record->name, sizeof record->name, "%s", name);
                record->pNext = g_EffectMgr.m_pEffects;
                g_EffectMgr.m_pEffects = record;
            }
        }
        Ready(0, c.pass == kLight || c.pass == kLight20);
        List({Texture({0})});
        MarkConsole();
        const uint32_t before = objects_[0]->SkinMesh()->m_dwRenderCalls;
        EXPECT_TRUE(Run(c.pass).empty());
        EXPECT_EQ(objects_[0]->SkinMesh()->m_dwRenderCalls, before);
        EXPECT_TRUE(PrintedLine(c.printed));
    }
}

TEST_F(SkinnedLitPassTest, ARefusedSkyLightSwitchArrayIsReportedAndThePassGoesOn) {
    // The effect with its switch array renamed: setting it is refused.
    namespace fs = std::filesystem;
    const fs::path source = fs::path(ZT_SOURCE_DIR) / "data" / "fx";
    fs::create_directories(dir_ / "fx");
    for (const fs::directory_entry& include : fs::directory_iterator(source))
        if (include.path().extension() == ".glsl")
            fs::copy_file(include.path(), dir_ / "fx" / include.path().filename());
    std::ifstream in(source / "SkyLightSkinmesh.glfx");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t at = text.find("g_bUseSkyLightX"); at != std::string::npos;
         at = text.find("g_bUseSkyLightX", at))
        text.replace(at, 15, "g_bUseSkyLightZ");
    std::ofstream(dir_ / "fx" / "SkyLightSkinmesh.glfx") << text;
    g_EffectMgr.Destroy();
    sky_ = light_ = nullptr;
    const std::string path = (dir_ / "fx" / "SkyLightSkinmesh.fxc").string();
    g_pD3DInterface = d_.dev; // effects are made on the device itself
    EffectRecord* record = g_EffectMgr.CreateEffect("SkyLightSkinmesh", path.c_str());
    g_pD3DInterface = device_;
    ASSERT_TRUE(record && record->pEffect);
    Ready(0, false);
    List({Texture({0})});
    MarkConsole();
    EXPECT_EQ(Run(kSky).size(), 1u);
    EXPECT_TRUE(PrintedLine("Set failed"));
}

} // namespace
