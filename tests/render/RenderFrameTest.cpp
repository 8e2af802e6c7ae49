// The renderer's frame as its pass record shows it: the work before the
// scene and the scene's passes under combinations of the video options, the
// console variables, the presence and second-call flags and the game's
// frame count and hold byte, compared with the fixed order.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/D3DMain.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "game/MainGame.h"
#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshData.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/PostProcess.h"
#include "render/Renderer.h"
#include "tests/EffectDevice.h"
#include "world/Engine.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

using Trace = std::vector<std::string>;

// One record as "Name" (call 0) or "Name(call)"; the renderer's own passes
// without their class.
Trace Recorded() {
    Trace out;
    const std::string own = "ERenderer::";
    for (uint32_t i = 0; i < g_Renderer.PassRecordCount(); ++i) {
        const ERenderer::PassRecord& r = g_Renderer.GetPassRecord(i);
        std::string name = r.szName;
        if (name.compare(0, own.size(), own) == 0) name.erase(0, own.size());
        if (r.dwCall) name += "(" + std::to_string(r.dwCall) + ")";
        out.push_back(name);
    }
    return out;
}

Trace Join(std::initializer_list<Trace> parts) {
    Trace out;
    for (const Trace& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The work before the scene with everything on: automap, both sky shadow
// maps, the point-light shadows, then the occlusion test and the culling.
const Trace kPreFull = {"PAutoMap::PreRender",     "RenderSkyDepth",
                        "RenderSkyDepth(1)",       "EDepthRender::RenderCubeShadows",
                        "ERenderOccluder::Render", "CullRenderLists"};
const Trace kPreShort = {"PAutoMap::PreRender", "ERenderOccluder::Render", "CullRenderLists"};
const Trace kSceneHead = {"RenderScene", "CPaneCrashMgr::Render"};
const Trace kSceneTail = {"CPathMgr::DrawDebug", "PostacMgr::DrawDebug", "CWeaponMgr::RenderLaserSight",
                          "EDepthRender::MarkVisibleLights"};

// What a case sets, before the work before the scene and again before the
// scene (the culling rebuilds the list flags from the lists, which are empty
// here).
struct Setting {
    uint32_t gameFrames = 10;
    bool hold = false;
    bool simpleRender = false, shaderModel2 = false;
    bool postProcessing = false, depthOfField = false, blackAndWhite = false;
    bool shadows = true, animatedShadows = true, skyLight = true, waterReflection = true;
    bool drawWater = true, drawSkyLit = true, drawAmbientLit = true, polygonCount = false;
    bool transparentSubset = false;
    // Presence flags.
    bool anyWater = false, meshWater = false, lava = false, meshAdditive = false, skinAdditive = false;
    bool meshStain = false, skinStain = false, ray = false, flash = false;
    bool skyLitMeshes = false, skyLitSkinned = false, ambientLitMeshes = false, ambientLitSkinned = false;
    // Second-call flags.
    bool secondSkyLit = false, secondSkyLitSkinned = false, secondAmbient = false,
         secondAmbientSkinned = false;
};

struct FrameCase {
    const char* name;
    Setting set;
    Trace expected;
};

Setting AllLit(Setting s) {
    s.skyLitMeshes = s.skyLitSkinned = s.ambientLitMeshes = s.ambientLitSkinned = true;
    return s;
}

Setting AllSecondCalls(Setting s) {
    s.secondSkyLit = s.secondSkyLitSkinned = s.secondAmbient = s.secondAmbientSkinned = true;
    return s;
}

template <class F> Setting With(F change) {
    Setting s;
    change(s);
    return s;
}

class FrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_Renderer.ReleaseTextures();
        saved_ = Saved::Take();
    }
    void TearDown() override {
        g_Renderer.StopPassRecording();
        saved_.Restore();
        ClearFlags();
        if (effectDevice_) g_EffectMgr.Destroy();
        if (placed_) {
            g_Engine.Object(0)->Clear();
            g_Engine.m_iMeshHighWater = EEngine::FIRST_MESH;
        }
    }

    static void ClearFlags() {
        ERenderer& r = g_Renderer;
        r.m_bAnyWater = r.m_bMeshWater = r.m_bLava = r.m_bMeshAdditive = r.m_bSkinMeshAdditive = 0;
        r.m_bMeshStain = r.m_bSkinMeshStain = r.m_bRayOfLight = r.m_bAnyFlash = 0;
        r.m_bSkyLitMeshes = r.m_bSkyLitSkinMeshes = r.m_bAmbientLitMeshes = r.m_bAmbientLitSkinMeshes = 0;
        r.m_bSecondCallSkyLitMeshes = r.m_bSecondCallSkyLitSkinMeshes = 0;
        r.m_bSecondCallAmbientLitMeshes = r.m_bSecondCallAmbientLitSkinMeshes = 0;
    }

    void Apply(const Setting& s) {
        g_MainGame.m_dwGameFrames = s.gameFrames;
        g_MainGame.m_bHoldSkinMeshes = s.hold;
        SimpleRender = s.simpleRender;
        UsePS20 = s.shaderModel2;
        OptionMV16 = s.postProcessing;
        OptionMV08 = s.depthOfField;
        g_PostProcess.m_bBWOn = s.blackAndWhite;
        DrawShadows = s.shadows;
        DrawAnimatedShadows = s.animatedShadows;
        g_EnvironmentSettings.m_bSkyLightInUse = s.skyLight;
        OptionMV05 = s.waterReflection;
        DrawWater = s.drawWater;
        DrawSkylightLitObjects = s.drawSkyLit;
        DrawAmbientLitObjects = s.drawAmbientLit;
        PrintPolygonCount = s.polygonCount;
        ERenderer& r = g_Renderer;
        r.m_bAnyWater = s.anyWater;
        r.m_bMeshWater = s.meshWater;
        r.m_bLava = s.lava;
        r.m_bMeshAdditive = s.meshAdditive;
        r.m_bSkinMeshAdditive = s.skinAdditive;
        r.m_bMeshStain = s.meshStain;
        r.m_bSkinMeshStain = s.skinStain;
        r.m_bRayOfLight = s.ray;
        r.m_bAnyFlash = s.flash;
        r.m_bSkyLitMeshes = s.skyLitMeshes;
        r.m_bSkyLitSkinMeshes = s.skyLitSkinned;
        r.m_bAmbientLitMeshes = s.ambientLitMeshes;
        r.m_bAmbientLitSkinMeshes = s.ambientLitSkinned;
        r.m_bSecondCallSkyLitMeshes = s.secondSkyLit;
        r.m_bSecondCallSkyLitSkinMeshes = s.secondSkyLitSkinned;
        r.m_bSecondCallAmbientLitMeshes = s.secondAmbient;
        r.m_bSecondCallAmbientLitSkinMeshes = s.secondAmbientSkinned;
    }

    // A shown static mesh in view at slot 0 whose second subset is
    // `transparent`, seen (the occlusion test without its target leaves the
    // marks as they are), and the effect of the ambient base pass that
    // meets it (made on a device of its own: the frame runs without one).
    void PlaceTransparentSubset() {
        effectDevice_ = std::make_unique<EffectDevice>();
        ASSERT_NE(effectDevice_->dev, nullptr);
        g_pD3DInterface = effectDevice_->dev;
        const std::string path = std::string(ZT_SOURCE_DIR) + "/data/fx/ambient.fxc";
        EffectRecord* ambient = g_EffectMgr.CreateEffect("ambient", path.c_str());
        g_pD3DInterface = nullptr;
        ASSERT_TRUE(ambient && ambient->pEffect);
        mesh::MeshData d;
        for (int i = 0; i < 3; ++i) {
            mesh::Vertex v;
            v.position = {float(i), float(i % 2), 0.0f};
            d.vertices.push_back(v);
        }
        d.indices = {0, 1, 2};
        d.attributes = {1};
        mesh::BuildAttributeTable(&d);
        std::string error;
        drawable_ = mesh::Mesh::Create(d, nullptr, &error);
        ASSERT_TRUE(drawable_) << error;
        mesh_ = std::make_unique<EMesh>();
        mesh_->m_dwNumSubsets = 2;
        mesh_->m_bNonEmpty[1] = mesh_->m_bTransparent[1] = 1;
        ObjectRecord* h = g_Engine.Object(0);
        h->bUsed = 1;
        h->dwType = OT_MESH;
        h->bVisibleNow = 1;
        h->bSeen = h->bSubsetDraw[1] = 1;
        h->dwFlags = objflags::kFlagVisible;
        h->pObject = mesh_.get();
        h->pD3DXMesh = drawable_.get();
        g_Engine.m_iMeshHighWater = 1;
        placed_ = true;
    }

    // The options a case changes, as they were.
    struct Saved {
        bool simple, ps20, mv16, mv08, mv05, shadows, animated, water, skyLit, ambientLit, polygons, skyLight;
        uint8_t bw;
        uint32_t frames;
        uint8_t hold;
        static Saved Take() {
            return Saved{SimpleRender,
                         UsePS20,
                         OptionMV16,
                         OptionMV08,
                         OptionMV05,
                         DrawShadows,
                         DrawAnimatedShadows,
                         DrawWater,
                         DrawSkylightLitObjects,
                         DrawAmbientLitObjects,
                         PrintPolygonCount,
                         g_EnvironmentSettings.m_bSkyLightInUse,
                         g_PostProcess.m_bBWOn,
                         g_MainGame.m_dwGameFrames,
                         g_MainGame.m_bHoldSkinMeshes};
        }
        void Restore() const {
            SimpleRender = simple;
            UsePS20 = ps20;
            OptionMV16 = mv16;
            OptionMV08 = mv08;
            OptionMV05 = mv05;
            DrawShadows = shadows;
            DrawAnimatedShadows = animated;
            DrawWater = water;
            DrawSkylightLitObjects = skyLit;
            DrawAmbientLitObjects = ambientLit;
            PrintPolygonCount = polygons;
            g_EnvironmentSettings.m_bSkyLightInUse = skyLight;
            g_PostProcess.m_bBWOn = bw;
            g_MainGame.m_dwGameFrames = frames;
            g_MainGame.m_bHoldSkinMeshes = hold;
        }
    };
    Saved saved_{};
    bool placed_ = false;
    std::unique_ptr<EffectDevice> effectDevice_;
    std::unique_ptr<mesh::Mesh> drawable_;
    std::unique_ptr<EMesh> mesh_;
};

class RenderFrame : public FrameTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(RenderFrame, RunsThePassesInTheirFixedOrder) {
    const FrameCase& c = GetParam();
    if (c.set.transparentSubset) PlaceTransparentSubset();
    g_Renderer.StartPassRecording();
    Apply(c.set);
    g_Renderer.PreRender();
    Apply(c.set);
    g_Renderer.Render();
    g_Renderer.StopPassRecording();
    EXPECT_EQ(Recorded(), c.expected);
    EXPECT_EQ(g_Renderer.DroppedPassRecords(), 0u);
    // The second calls are made: nothing of them is left for the next frame.
    EXPECT_FALSE(g_Renderer.m_bSecondCallSkyLitMeshes || g_Renderer.m_bSecondCallSkyLitSkinMeshes ||
                 g_Renderer.m_bSecondCallAmbientLitMeshes || g_Renderer.m_bSecondCallAmbientLitSkinMeshes);
}

// The scene of the full pipeline around its passes.
Trace Scene(const Trace& passes) {
    return Join({kSceneHead, {"RenderBaseFull"}, passes, kSceneTail});
}

INSTANTIATE_TEST_SUITE_P(
    Options, RenderFrame,
    ::testing::Values(
        // Nothing before the fifth game frame of a world, whatever is asked.
        FrameCase{"FourthGameFrame",
                  With([](Setting& s) {
                      s = AllLit(s), s.gameFrames = 4, s.anyWater = s.meshWater = s.flash = true;
                  }),
                  {}},
        FrameCase{"FifthGameFrame", With([](Setting& s) { s.gameFrames = 5; }), Join({kPreFull, Scene({})})},
        FrameCase{"SkyLightNotInUse", With([](Setting& s) { s.skyLight = false; }),
                  Join({{"PAutoMap::PreRender", "EDepthRender::RenderCubeShadows", "ERenderOccluder::Render",
                         "CullRenderLists"},
                        Scene({})})},
        FrameCase{"AnimatedModelsCastNoShadows", With([](Setting& s) { s.animatedShadows = false; }),
                  Join({{"PAutoMap::PreRender", "RenderSkyDepth", "EDepthRender::RenderCubeShadows",
                         "ERenderOccluder::Render", "CullRenderLists"},
                        Scene({})})},
        FrameCase{"ShadowsOff", With([](Setting& s) { s.shadows = false; }), Join({kPreShort, Scene({})})},
        FrameCase{"Water", With([](Setting& s) { s.anyWater = s.meshWater = true; }),
                  Join({{"PAutoMap::PreRender", "RenderSkyDepth", "RenderSkyDepth(1)",
                         "EDepthRender::RenderCubeShadows", "EDepthRender::RenderWaterReflection",
                         "ERenderOccluder::Render", "CullRenderLists"},
                        Scene({"RenderWaterReflection"})})},
        FrameCase{"WaterOnlyOnSkinnedMeshes", With([](Setting& s) { s.anyWater = true; }),
                  Join({kPreFull, Scene({"RenderWaterReflection"})})},
        FrameCase{"WaterWithoutRealtimeReflection",
                  With([](Setting& s) { s.anyWater = s.meshWater = true, s.waterReflection = false; }),
                  Join({kPreFull, Scene({"RenderWaterReflection"})})},
        FrameCase{"WaterNotDrawn",
                  With([](Setting& s) { s.anyWater = s.meshWater = true, s.drawWater = false; }),
                  Join({kPreFull, Scene({})})},
        FrameCase{"Lava", With([](Setting& s) { s.lava = true; }), Join({kPreFull, Scene({"RenderLava"})})},
        FrameCase{"LitFamilies", With([](Setting& s) { s = AllLit(s); }),
                  Join({kPreFull, Scene({"RenderSkyLightMeshes", "RenderLightMeshes", "RenderLightSkinmeshes",
                                         "RenderSkyLightSkinmeshes"})})},
        FrameCase{"SkyLitObjectsNotDrawn", With([](Setting& s) { s = AllLit(s), s.drawSkyLit = false; }),
                  Join({kPreFull, Scene({"RenderLightMeshes", "RenderLightSkinmeshes"})})},
        FrameCase{"AmbientLitObjectsNotDrawn",
                  With([](Setting& s) { s = AllLit(s), s.drawAmbientLit = false; }),
                  Join({kPreFull, Scene({"RenderSkyLightMeshes", "RenderSkyLightSkinmeshes"})})},
        // The hold byte keeps skinned meshes out until more than five frames passed.
        FrameCase{"HeldAtTheFifthFrame",
                  With([](Setting& s) { s = AllLit(s), s.hold = true, s.gameFrames = 5; }),
                  Join({kPreFull, Scene({"RenderSkyLightMeshes", "RenderLightMeshes"})})},
        FrameCase{"HeldAtTheSixthFrame",
                  With([](Setting& s) { s = AllLit(s), s.hold = true, s.gameFrames = 6; }),
                  Join({kPreFull, Scene({"RenderSkyLightMeshes", "RenderLightMeshes", "RenderLightSkinmeshes",
                                         "RenderSkyLightSkinmeshes"})})},
        FrameCase{"HoldClearAtTheFifthFrame", With([](Setting& s) { s = AllLit(s), s.gameFrames = 5; }),
                  Join({kPreFull, Scene({"RenderSkyLightMeshes", "RenderLightMeshes", "RenderLightSkinmeshes",
                                         "RenderSkyLightSkinmeshes"})})},
        FrameCase{"SecondCalls", With([](Setting& s) { s = AllSecondCalls(s); }),
                  Join({kPreFull, Scene({"RenderSkyLightMeshes(1)", "RenderSkyLightSkinmeshes(1)",
                                         "RenderLightMeshes(1)", "RenderLightSkinmeshes(1)"})})},
        FrameCase{"SecondCallsNotDrawn",
                  With([](Setting& s) { s = AllSecondCalls(s), s.drawSkyLit = s.drawAmbientLit = false; }),
                  Join({kPreFull, Scene({})})},
        FrameCase{"AdditiveStainsFlashAndRays", With([](Setting& s) {
                      s = AllSecondCalls(s);
                      s.meshAdditive = s.skinAdditive = s.meshStain = s.skinStain = s.flash = s.ray = true;
                  }),
                  Join({kPreFull,
                        Scene({"RenderAdditive", "RenderSkinmeshesAdditive", "RenderStains",
                               "RenderSkinmeshStains", "RenderStroboMeshes", "RenderStroboSkinmeshes",
                               "RenderSkyLightMeshes(1)", "RenderSkyLightSkinmeshes(1)",
                               "RenderLightMeshes(1)", "RenderLightSkinmeshes(1)", "RenderRayOfLight"})})},
        FrameCase{"SkinnedStainOnly", With([](Setting& s) { s.skinStain = true; }),
                  Join({kPreFull, Scene({"RenderSkinmeshStains"})})},
        FrameCase{
            "PostProcessingWithDepthOfFieldAndBlackAndWhite", With([](Setting& s) {
                s.postProcessing = s.depthOfField = s.blackAndWhite = true, s.ray = true;
            }),
            Join({kPreFull,
                  Scene({"RenderRayOfLight", "EPostProcess::BeginDepthScene", "RenderSceneDepth",
                         "RenderSkinmeshesDepth", "EPostProcess::EndDepthScene", "EPostProcess::BeginBWScene",
                         "RenderSceneBW", "RenderSkinmeshesBW", "EPostProcess::EndBWScene"})})},
        FrameCase{"PostProcessingBlackAndWhiteOnly",
                  With([](Setting& s) { s.postProcessing = s.blackAndWhite = true; }),
                  Join({kPreFull, Scene({"EPostProcess::BeginBWScene", "RenderSceneBW", "RenderSkinmeshesBW",
                                         "EPostProcess::EndBWScene"})})},
        FrameCase{"DepthOfFieldAndBlackAndWhiteWithoutPostProcessing",
                  With([](Setting& s) { s.depthOfField = s.blackAndWhite = true; }),
                  Join({kPreFull, Scene({})})},
        FrameCase{"PolygonCount", With([](Setting& s) { s.polygonCount = true; }),
                  Join({kPreFull,
                        {"RenderScene", "ResetPolygonCounts", "CPaneCrashMgr::Render", "ResetPolygonCounts",
                         "RenderBaseFull", "ResetPolygonCounts"},
                        kSceneTail})},
        // No sky maps and no reflection; water even with DrawWater off.
        FrameCase{"SimpleRender", With([](Setting& s) {
                      s = AllLit(s), s.simpleRender = true, s.anyWater = s.meshWater = s.lava = true;
                      s.drawWater = false;
                  }),
                  Join({kPreShort,
                        kSceneHead,
                        {"RenderBaseFastest", "RenderSimpleMeshes", "RenderSimpleSkinmeshes", "RenderWater",
                         "RenderLava"},
                        kSceneTail})},
        FrameCase{"SimpleRenderWithoutSkinnedMeshes", With([](Setting& s) { s.simpleRender = true; }),
                  Join({kPreShort, kSceneHead, {"RenderBaseFastest", "RenderSimpleMeshes"}, kSceneTail})},
        FrameCase{"SimpleRenderAmbientLitSkinnedMeshes",
                  With([](Setting& s) { s.simpleRender = true, s.ambientLitSkinned = true; }),
                  Join({kPreShort,
                        kSceneHead,
                        {"RenderBaseFastest", "RenderSimpleMeshes", "RenderSimpleSkinmeshes"},
                        kSceneTail})},
        // The ambient base passes come first; then the variants ending in 20,
        // plain water, and the sky-light second calls in their full variant.
        FrameCase{
            "ShaderModel2", With([](Setting& s) {
                s = AllSecondCalls(AllLit(s)), s.shaderModel2 = true, s.transparentSubset = true;
                s.anyWater = s.meshWater = true;
            }),
            Join({kPreShort,
                  kSceneHead,
                  {"RenderAmbientBaseColor", "RenderAmbient", "RenderBaseFull", "RenderSkyLightMeshes20",
                   "RenderLightMeshes20", "RenderLightSkinmeshes20", "RenderSkyLightSkinmeshes20",
                   "RenderWater", "RenderSkyLightMeshes(1)", "RenderSkyLightSkinmeshes(1)",
                   "RenderLightMeshes20(1)", "RenderLightSkinmeshes20(1)"},
                  kSceneTail})},
        FrameCase{"ShaderModel2WithoutTransparentSubsets", With([](Setting& s) { s.shaderModel2 = true; }),
                  Join({kPreShort, kSceneHead, {"RenderAmbientBaseColor", "RenderBaseFull"}, kSceneTail})},
        FrameCase{
            "ShaderModel2PolygonCount",
            With([](Setting& s) { s.shaderModel2 = s.polygonCount = s.transparentSubset = true; }),
            Join({kPreShort,
                  {"RenderScene", "ResetPolygonCounts", "CPaneCrashMgr::Render", "RenderAmbientBaseColor",
                   "RenderAmbient", "ResetPolygonCounts", "RenderBaseFull", "ResetPolygonCounts"},
                  kSceneTail})}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- First calls leave translucent textures to the second ones ----------------------------------

struct TranslucentCase {
    const char* name;
    bool simpleRender, shaderModel2;
    bool inMeshList, inSkinnedList, additive;
    Trace secondCalls;
};

class LeftTranslucent : public FrameTest, public ::testing::WithParamInterface<TranslucentCase> {
  protected:
    void TearDown() override {
        FrameTest::TearDown();
        g_Renderer.ReleaseTextures();
    }
};

TEST_P(LeftTranslucent, TheFirstCallsOfEachFamilyLeaveTheirTranslucentTextures) {
    const TranslucentCase& c = GetParam();
    // The sky-light and ambient-lit passes walk their lists only with their
    // effects (made on a device of their own: the frame runs without one).
    effectDevice_ = std::make_unique<EffectDevice>();
    ASSERT_NE(effectDevice_->dev, nullptr);
    g_pD3DInterface = effectDevice_->dev;
    const std::string fx = std::string(ZT_SOURCE_DIR) + "/data/fx/";
    EffectRecord* skylight = g_EffectMgr.CreateEffect("skylight", (fx + "skylight.fxc").c_str());
    EffectRecord* skinned = g_EffectMgr.CreateEffect("SkyLightSkinmesh", (fx + "SkyLightSkinmesh.fxc").c_str());
    EffectRecord* light = g_EffectMgr.CreateEffect("light", (fx + "light.fxc").c_str());
    g_pD3DInterface = nullptr;
    ASSERT_TRUE(skylight && skylight->pEffect);
    ASSERT_TRUE(skinned && skinned->pEffect);
    ASSERT_TRUE(light && light->pEffect);
    ObjectRecord user;
    user.bUsed = user.bVisibleNow = user.bSeen = 1;
    user.dwFlags = objflags::kFlagVisible;
    strtexture* t = g_Renderer.AddTextureRecord("glass.dds");
    ASSERT_NE(t, nullptr);
    t->desc.bTranslucent = 1;
    t->desc.bAdditive = c.additive;
    if (c.inMeshList) {
        t->pMeshes = new strlistameshy();
        t->pMeshes->m_hObject = &user;
    }
    if (c.inSkinnedList) {
        t->pSkinMeshes = new strlistaskinmeshy();
        t->pSkinMeshes->m_hObject = &user;
    }
    Setting s = AllLit(Setting());
    s.simpleRender = c.simpleRender;
    s.shaderModel2 = c.shaderModel2;
    Apply(s);
    g_Renderer.BuildRenderLists();
    g_Renderer.PreRender();
    g_Renderer.StartPassRecording();
    g_Renderer.Render();
    g_Renderer.StopPassRecording();
    Trace second;
    for (const std::string& pass : Recorded())
        if (pass.size() > 3 && pass.compare(pass.size() - 3, 3, "(1)") == 0) second.push_back(pass);
    EXPECT_EQ(second, c.secondCalls);
}

INSTANTIATE_TEST_SUITE_P(
    Pipelines, LeftTranslucent,
    ::testing::Values(
        // The full sky-light pass draws its translucent textures itself.
        TranslucentCase{"FullMeshList", false, false, true, false, false, {"RenderLightMeshes(1)"}},
        // The sky-light skinned pass leaves a translucent
        // texture; the ambient-lit one only for a user it
        // would draw (a skinned mesh inside), which this
        // list has not.
        TranslucentCase{"FullSkinnedList", false, false, false, true, false, {"RenderSkyLightSkinmeshes(1)"}},
        TranslucentCase{"ShaderModel2MeshList",
                        false,
                        true,
                        true,
                        false,
                        false,
                        {"RenderSkyLightMeshes(1)", "RenderLightMeshes20(1)"}},
        // The fastest pass walks its lists only with its
        // effects (FastestPassTest shows what it leaves then):
        // without them nothing is left for a second call.
        TranslucentCase{"FastestWithoutItsEffects", true, false, true, true, false, {}},
        // Additive skinned textures are their own pass's.
        TranslucentCase{"FullSkinnedAdditive", false, false, false, true, true, {}},
        TranslucentCase{"NoTranslucentListed", false, false, false, false, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The engine update's step ------------------------------------------------------------------

struct UpdateCase {
    const char* name;
    bool postProcessing, shadows, pointLightShadows;
    uint32_t shadowQuality;
    Trace expected;
    bool projectors;
};

class RendererUpdate : public FrameTest, public ::testing::WithParamInterface<UpdateCase> {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        savedQuality_ = ShadowMapLevel;
        savedPointLights_ = OptionMV01;
        savedProjectors_ = DrawProjectors;
    }
    void TearDown() override {
        FrameTest::TearDown();
        ShadowMapLevel = savedQuality_;
        OptionMV01 = savedPointLights_;
        DrawProjectors = savedProjectors_;
        std::memset(g_EngineSharedFlags.bBytes, 0, sizeof g_EngineSharedFlags.bBytes);
    }
    uint32_t savedQuality_ = 0;
    bool savedPointLights_ = false, savedProjectors_ = false;
};

TEST_P(RendererUpdate, FocusesProjectorsAndLitFamiliesBeforeTheLists) {
    const UpdateCase& c = GetParam();
    OptionMV16 = c.postProcessing;
    DrawShadows = c.shadows;
    OptionMV01 = c.pointLightShadows;
    ShadowMapLevel = c.shadowQuality;
    // The object frame classed objects in view: sky-lit meshes and
    // ambient-lit skinned meshes.
    std::memset(g_EngineSharedFlags.bBytes, 0, sizeof g_EngineSharedFlags.bBytes);
    g_EngineSharedFlags.bBytes[0] = g_EngineSharedFlags.bBytes[3] = 1;
    g_Renderer.StartPassRecording();
    g_Renderer.Update();
    g_Renderer.StopPassRecording();
    EXPECT_EQ(Recorded(), c.expected);
    EXPECT_EQ(DrawProjectors, c.projectors);
    EXPECT_TRUE(g_Renderer.m_bSkyLitMeshes && g_Renderer.m_bAmbientLitSkinMeshes);
    EXPECT_FALSE(g_Renderer.m_bSkyLitSkinMeshes || g_Renderer.m_bAmbientLitMeshes);
}

const Trace kUpdate = {"SkyShadowMap::Update", "BuildRenderLists"};

INSTANTIATE_TEST_SUITE_P(
    Options, RendererUpdate,
    ::testing::Values(UpdateCase{"PostProcessing", true, true, true, 0,
                                 Join({{"EPostProcess::UpdateFocus"}, kUpdate}), true},
                      UpdateCase{"NoPostProcessing", false, true, true, 2, kUpdate, true},
                      UpdateCase{"ShadowsOff", false, false, true, 0, kUpdate, false},
                      UpdateCase{"PointLightShadowsOff", false, true, false, 0, kUpdate, false},
                      UpdateCase{"ShadowQualityBeyondTwo", false, true, true, 3, kUpdate, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
