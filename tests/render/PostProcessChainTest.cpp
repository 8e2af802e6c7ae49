// The post-processing chain on the program's own device headless, with the
// demo effect `dof` and the HUD textures in a scratch data directory (no
// `ambient` or `skinnedmesh`):
// - the stages each frame runs, on the pass record, over depth of field x
//   motion blur x a valid history, and with HDR;
// - the gates: before level frame 151 nothing; DrawPostprocess off or
//   WireFrame on stops the chain and the depth hooks while the
//   black-and-white hooks still switch targets;
// - the scene target cleared only until the first composed frame and again
//   after the menu's video options; a missing Main makes the targets again;
// - the values the chain sets: the red tint and the motion blur running
//   down, the saturation from the health and what overrides it;
// - the two console lines of the passes without their effects.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "app/CommandMgr.h"
#include "app/D3DMain.h"
#include "app/GameFrame.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Draw.h"
#include "render/EffectMgr.h"
#include "render/PostProcess.h"
#include "render/Renderer.h"
#include "tests/app/D3DMainFixture.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/WorldHooks.h"

namespace {

namespace fs = std::filesystem;
using Target = EPostProcess::Target;

PostProcessGameState g_game;
int32_t g_levelFrame = 200;
bool g_menuOpen = false;

class PostProcessChain : public D3DMainFixture {
  protected:
    void SetUp() override {
        D3DMainFixture::SetUp();
        const fs::path data = fs::path(ZT_SOURCE_DIR) / "data";
        fs::create_directories(root_ / "fx");
        fs::create_directories(root_ / "textures");
        fs::copy_file(data / "fx" / "dof.glfx", root_ / "fx" / "dof.glfx");
        for (const char* t :
             {"tarvok_noise.tga", "hud_vignetting.tga", "hud_vignetting_light.tga", "hud_ekran_krwi_16.tga"})
            fs::copy_file(data / "textures" / t, root_ / "textures" / t);
        saved_ = {OptionMV16, OptionMV21, OptionMV08,      DrawPostprocess,
                  WireFrame,  WideScreen, MotionBlurOption};
        savedPostProcess_ = g_PostProcess;
        savedFrameTime_ = g_Engine.m_fFrameTime;
        savedHooks_ = TheWorldHooks();
        savedGame_ = TheGameFrame();
        WorldHooks h = savedHooks_;
        h.PostProcessGame = [] { return g_game; };
        InstallWorldHooks(h);
        GameFrame f = savedGame_;
        f.LevelFrame = [] { return g_levelFrame; };
        f.MenuOpen = [] { return g_menuOpen; };
        InstallGameFrame(f);
        g_game = PostProcessGameState();
        g_levelFrame = 200;
        g_menuOpen = false;
        OptionMV16 = true;
        OptionMV21 = OptionMV08 = WireFrame = WideScreen = false;
        DrawPostprocess = true;
        MotionBlurOption = 1.0f;
        g_Engine.m_szCurrentWorld[0] = 0;
        g_Engine.m_bScriptedCamera = 0;
        CreateAndStart();
        ASSERT_NE(g_pD3DInterface, nullptr);
        g_Engine.m_fFrameTime = 0.0f;
        g_PostProcess.Create();
        ASSERT_TRUE(g_PostProcess.IsActive());
        g_PostProcess.m_bMotionBlurThisFrame = 0;
        g_PostProcess.m_bMotionBlurHistory = 0;
        g_PostProcess.m_fRedTintTime = g_PostProcess.m_fMotionBlurTime = 0.0f;
    }
    void TearDown() override {
        g_Renderer.StopPassRecording();
        if (g_pD3DInterface && g_pBackBufferSurface)
            g_pD3DInterface->SetRenderTarget(0, g_pBackBufferSurface);
        g_PostProcess.ReleaseTargets();
        g_PostProcess.Destroy();
        g_Renderer.ReleaseTextures();
        InstallWorldHooks(savedHooks_);
        InstallGameFrame(savedGame_);
        std::tie(OptionMV16, OptionMV21, OptionMV08, DrawPostprocess, WireFrame, WideScreen,
                 MotionBlurOption) = saved_;
        g_Engine.m_fFrameTime = savedFrameTime_;
        D3DMainFixture::TearDown();
        g_PostProcess = savedPostProcess_;
    }

    // One RenderPostProcess and the chain's own records of it.
    static std::vector<std::string> Run() {
        g_Renderer.StartPassRecording();
        g_PostProcess.RenderPostProcess();
        g_Renderer.StopPassRecording();
        std::vector<std::string> out;
        for (uint32_t i = 0; i < g_Renderer.PassRecordCount(); ++i) {
            const std::string name = g_Renderer.GetPassRecord(i).szName;
            if (name.rfind("EPostProcess::", 0) == 0) out.push_back(name.substr(14));
        }
        return out;
    }
    static float EffectFloat(const char* name) {
        effect::Effect* e = g_PostProcess.DofEffect();
        float v = -1.0f;
        e->GetFloat(e->GetParameterByName(effect::Handle(), name), &v);
        return v;
    }
    static gfx::Surface* Current() {
        gfx::Surface* s = nullptr;
        g_pD3DInterface->GetRenderTarget(0, &s);
        s->Release(); // the device still holds it
        return s;
    }
    // Main's top-left pixel as packed RGB.
    static uint32_t MainPixel() {
        gfx::Surface* main = g_PostProcess.TargetSurface(EPostProcess::Main);
        gfx::Surface* memory = nullptr;
        g_pD3DInterface->CreateOffscreenPlainSurface(main->Width(), main->Height(), gfx::Format::A8R8G8B8,
                                                     gfx::Pool::SystemMem, &memory);
        EXPECT_EQ(g_pD3DInterface->GetRenderTargetData(main, memory), gfx::Result::Ok);
        gfx::LockedRect lr;
        memory->LockRect(&lr, nullptr, gfx::lock::ReadOnly);
        uint32_t c = 0;
        std::memcpy(&c, lr.pBits, 4);
        memory->UnlockRect();
        memory->Release();
        return c & 0xFFFFFF;
    }
    static void FillMain(uint32_t color) {
        gfx::Surface* kept = Current();
        g_pD3DInterface->SetRenderTarget(0, g_PostProcess.TargetSurface(EPostProcess::Main));
        g_pD3DInterface->Clear(0, nullptr, gfx::clear::Target, color, 1.0f, 0);
        g_pD3DInterface->SetRenderTarget(0, kept);
    }

    std::tuple<bool, bool, bool, bool, bool, bool, float> saved_;
    EPostProcess savedPostProcess_;
    float savedFrameTime_ = 0;
    WorldHooks savedHooks_;
    GameFrame savedGame_;
};

// ---- Stage routing ----------------------------------------------------------------------------------

struct Routing {
    const char* name;
    bool depthOfField, motionBlur, history, hdr;
    std::vector<std::string> stages;
    bool historyAfter;
};

class PostProcessRouting : public PostProcessChain, public ::testing::WithParamInterface<Routing> {};

TEST_P(PostProcessRouting, EachFrameRunsItsStagesInOrder) {
    const Routing& r = GetParam();
    OptionMV08 = r.depthOfField;
    OptionMV21 = r.hdr;
    g_PostProcess.m_bHDRThisWorld = r.hdr ? 1 : 0;
    if (r.hdr) g_PostProcess.CreatePostProcessTargets();
    g_PostProcess.m_bMotionBlurThisFrame = r.motionBlur ? 1 : 0;
    g_PostProcess.m_bMotionBlurHistory = r.history ? 1 : 0;
    EXPECT_EQ(Run(), r.stages);
    EXPECT_EQ(g_PostProcess.m_bMotionBlurHistory, r.historyAfter ? 1 : 0);
    EXPECT_EQ(Current(), g_pBackBufferSurface) << "the picture ends in the back buffer";
}

const std::string kD = "RenderDistortion", kB = "RenderBloom", kS = "RenderToScreen";
INSTANTIATE_TEST_SUITE_P(
    Frames, PostProcessRouting,
    ::testing::Values(
        Routing{"NoDepthOfFieldNoBlur", false, false, true, false, {kD, kB, kS}, false},
        Routing{"NoDepthOfFieldBlurFirst",
                false,
                true,
                false,
                false,
                {kD, kB, "CopyTargetToBloom2", "CopyBloom2ToTarget", "CopyTargetToMotionBlur", kS},
                true},
        Routing{"NoDepthOfFieldBlurAgain",
                false,
                true,
                true,
                false,
                {kD, kB, "CopyTargetToBloom2", "RenderMotionBlur", "CopyTargetToMotionBlur", kS},
                true},
        Routing{"DepthOfFieldNoBlur",
                true,
                false,
                true,
                false,
                {kD, kB, "RenderDoF", "CopyBloom2ToTarget", kS},
                false},
        Routing{"DepthOfFieldBlurFirst",
                true,
                true,
                false,
                false,
                {kD, kB, "RenderDoF", "CopyBloom2ToTarget", "CopyTargetToMotionBlur", kS},
                true},
        Routing{"DepthOfFieldBlurAgain",
                true,
                true,
                true,
                false,
                {kD, kB, "RenderDoF", "RenderMotionBlur", "CopyTargetToMotionBlur", kS},
                true},
        Routing{"Hdr", false, false, false, true, {kD, "RenderHDR", kB, kS}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Gates ----------------------------------------------------------------------------------------------

TEST_F(PostProcessChain, WithoutDrawPostprocessOrInWireFrameOnlyTheBlackAndWhiteHooksSwitchTargets) {
    gfx::Surface* back = g_pBackBufferSurface;
    struct Case {
        const char* name;
        bool draw, wire;
        int32_t levelFrame;
        bool chain, bw;
    } cases[] = {
        {"all on", true, false, 200, true, true},
        {"DrawPostprocess off", false, false, 200, false, true},
        {"WireFrame on", true, true, 200, false, true},
        {"before level frame 151", true, false, 150, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawPostprocess = c.draw;
        WireFrame = c.wire;
        g_levelFrame = c.levelFrame;
        g_PostProcess.BeginScene();
        EXPECT_EQ(Current(), c.chain ? g_PostProcess.TargetSurface(EPostProcess::Main) : back);
        g_PostProcess.RestoreBackBuffer();
        EXPECT_EQ(Current(), back);
        g_PostProcess.BeginDepthScene();
        EXPECT_EQ(Current(), c.chain ? g_PostProcess.TargetSurface(EPostProcess::Depth) : back);
        g_PostProcess.EndDepthScene();
        EXPECT_EQ(Current(), back);
        gfx::Surface* depth = nullptr;
        g_pD3DInterface->GetDepthStencilSurface(&depth);
        g_PostProcess.BeginBWScene();
        EXPECT_EQ(Current(), c.bw ? g_PostProcess.TargetSurface(EPostProcess::BW) : back);
        gfx::Surface* bwDepth = nullptr;
        g_pD3DInterface->GetDepthStencilSurface(&bwDepth);
        EXPECT_EQ(bwDepth, c.bw ? g_PostProcess.BWDepthStencil() : depth);
        g_PostProcess.EndBWScene();
        EXPECT_EQ(Current(), back);
        gfx::Surface* after = nullptr;
        g_pD3DInterface->GetDepthStencilSurface(&after);
        EXPECT_EQ(after, depth) << "the caller's depth surface is back";
        for (gfx::Surface* s : {depth, bwDepth, after})
            if (s) s->Release();
        const std::vector<std::string> stages = Run();
        EXPECT_EQ(!stages.empty(), c.chain);
    }
}

// What no geometry covers shows the frame's clear colour (the camera's
// background, the fog colour of the world) in every frame, also after
// composed frames, and never the last frame's picture (stale green here).
TEST_F(PostProcessChain, EveryFrameClearsTheSceneTargetToTheCamerasBackground) {
    const uint32_t kGreen = 0xFF00FF00;
    const uint32_t kept = g_Camera.GetBackgroundColor();
    struct Step {
        const char* name;
        void (*before)();
        uint32_t background;
    } steps[] = {
        {"a new chain", [] {}, 0x303030},
        {"after a composed frame", [] { g_PostProcess.RenderPostProcess(); }, 0x303030},
        {"another composed frame, the fog changed", [] { g_PostProcess.RenderPostProcess(); }, 0x102030},
        {"after the menu's video options", [] { g_PostProcess.OnVideoOptionsApplied(); }, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        s.before();
        g_Camera.SetBackgroundColor(s.background);
        FillMain(kGreen);
        g_PostProcess.BeginScene();
        g_PostProcess.RestoreBackBuffer();
        EXPECT_EQ(MainPixel(), s.background);
    }
    g_Camera.SetBackgroundColor(kept);
    EXPECT_EQ(g_PostProcess.m_bDepthClearedOnce, 0) << "the depth target waits for its first depth pass";
}

// The glow bloom spreads around a bright patch keeps the patch's hue: the
// bright pass keeps what is brighter than the cone by its luminance and
// scales the colour, rather than cutting each channel on its own (which
// turned orange red). An orange patch on black, read in Target beside it,
// where only the glow lies (the fixture's screen is 64 x 48, the bloom's
// 8 x 6).
double HueDegrees(uint32_t rgb) {
    const double r = double((rgb >> 16) & 0xFF), g = double((rgb >> 8) & 0xFF), b = double(rgb & 0xFF);
    return std::atan2(std::sqrt(3.0) * (g - b), 2.0 * r - g - b) * 180.0 / 3.14159265358979;
}

TEST_F(PostProcessChain, TheBloomAroundAnOrangePatchKeepsItsHue) {
    const uint32_t kOrange = 0xE67300; // 230, 115, 0: hue 30 degrees
    gfx::Surface* main = g_PostProcess.TargetSurface(EPostProcess::Main);
    const int32_t w = int32_t(main->Width()), h = int32_t(main->Height());
    const gfx::Rect patch{w / 2 - 8, h / 2 - 8, w / 2 + 8, h / 2 + 8};
    gfx::Surface* kept = Current();
    g_pD3DInterface->SetRenderTarget(0, main);
    g_pD3DInterface->Clear(0, nullptr, gfx::clear::Target, 0xFF000000, 1.0f, 0);
    g_pD3DInterface->Clear(1, &patch, gfx::clear::Target, 0xFF000000 | kOrange, 1.0f, 0);
    g_pD3DInterface->SetRenderTarget(0, kept);
    g_PostProcess.m_fBloomCone = 0.3f;
    g_PostProcess.m_fBloomPower = 1.5f; // no channel of the bloom reaches full
    g_PostProcess.RenderBloom();

    gfx::Surface* target = g_PostProcess.TargetSurface(EPostProcess::TargetTex);
    gfx::Surface* memory = nullptr;
    g_pD3DInterface->CreateOffscreenPlainSurface(uint32_t(w), uint32_t(h), gfx::Format::A8R8G8B8,
                                                 gfx::Pool::SystemMem, &memory);
    ASSERT_NE(memory, nullptr);
    ASSERT_EQ(g_pD3DInterface->GetRenderTargetData(target, memory), gfx::Result::Ok);
    gfx::LockedRect lr;
    memory->LockRect(&lr, nullptr, gfx::lock::ReadOnly);
    auto at = [&](int32_t x, int32_t y) {
        uint32_t c = 0;
        std::memcpy(&c, static_cast<const uint8_t*>(lr.pBits) + size_t(y) * lr.Pitch + size_t(x) * 4, 4);
        return c & 0xFFFFFF;
    };
    const uint32_t beside[] = {at(patch.right + 4, h / 2), at(patch.left - 5, h / 2), at(w / 2, patch.top - 5),
                               at(w / 2, patch.bottom + 4)};
    memory->UnlockRect();
    memory->Release();
    for (uint32_t glow : beside) {
        SCOPED_TRACE(testing::Message() << std::hex << glow);
        EXPECT_GT((glow >> 16) & 0xFF, 16u) << "the patch glows beyond its edge";
        EXPECT_NEAR(HueDegrees(glow), 30.0, 5.0);
    }
}

// The composite's three HUD textures are looked up by name once in a
// world, at its first composed frame, not in every frame.
TEST_F(PostProcessChain, TheHudTexturesAreLookedUpOnceAWorld) {
    g_PostProcess.RenderPostProcess();
    const uint32_t afterFirst = g_Renderer.m_dwNameLookups;
    for (int frame = 0; frame < 3; ++frame)
        g_PostProcess.RenderPostProcess();
    EXPECT_EQ(g_Renderer.m_dwNameLookups, afterFirst) << "no name looked up after the first frame";
    ASSERT_NE(g_PostProcess.m_pHud[0], nullptr);
    EXPECT_STREQ(g_PostProcess.m_pHud[0]->szName, "hud_vignetting.tga");
    // A new world looks them up again.
    g_PostProcess.Create();
    g_PostProcess.RenderPostProcess();
    EXPECT_GT(g_Renderer.m_dwNameLookups, afterFirst);
}

TEST_F(PostProcessChain, AMissingMainMakesTheTargetsAgainAndTheFrameIsComposed) {
    g_PostProcess.ReleaseTargets();
    ASSERT_EQ(g_PostProcess.TargetTexture(EPostProcess::Main), nullptr);
    const std::vector<std::string> stages = Run();
    ASSERT_FALSE(stages.empty());
    EXPECT_EQ(stages.front(), "CreatePostProcessTargets");
    EXPECT_EQ(stages.back(), "RenderToScreen");
    for (uint32_t t = EPostProcess::Main; t < EPostProcess::TARGET_COUNT; ++t)
        EXPECT_NE(g_PostProcess.TargetTexture(Target(t)), nullptr) << t;
}

// ---- Values ---------------------------------------------------------------------------------------------

TEST_F(PostProcessChain, TheRedTintAndTheMotionBlurRunDownWithTheFrameTime) {
    g_Engine.m_fFrameTime = 0.5f;
    g_PostProcess.m_fRedTintTime = 0.8f;
    for (float want : {0.4f, 0.15f, 0.0f}) {
        g_PostProcess.RenderPostProcess();
        EXPECT_NEAR(EffectFloat("g_fRed"), want, 1e-6f);
    }
    EXPECT_EQ(g_PostProcess.m_fRedTintTime, 0.0f);

    g_PostProcess.m_bMotionBlurThisFrame = 1;
    g_PostProcess.RenderPostProcess(); // the first blurred frame only fills the history
    g_Engine.m_fFrameTime = 0.1f;
    g_PostProcess.m_fMotionBlurTime = 0.5f;
    g_PostProcess.RenderPostProcess();
    EXPECT_NEAR(EffectFloat("fMotionBlurCoef"), 0.3f, 1e-6f);
    EXPECT_NEAR(g_PostProcess.m_fMotionBlurTime, 0.47f, 1e-6f);
    // With no time left the option's strength blurs.
    g_PostProcess.m_fMotionBlurTime = 0.0f;
    MotionBlurOption = 0.5f;
    g_PostProcess.RenderPostProcess();
    EXPECT_NEAR(EffectFloat("fMotionBlurCoef"), 0.3f, 1e-6f);
    EXPECT_EQ(g_PostProcess.m_fMotionBlurTime, 0.0f);
}

TEST_F(PostProcessChain, TheSaturationFollowsTheHealthUnlessSomethingOverridesIt) {
    struct Case {
        const char* name;
        float health, maxHealth;
        bool wide, scripted, menu, mono, cutScene;
        float want;
    } cases[] = {
        {"full", 100, 100, false, false, false, false, false, 1.0f},
        {"five sixths", 250, 300, false, false, false, false, false, 1.0f},
        {"half", 50, 100, false, false, false, false, false, 0.6f},
        {"none", 0, 100, false, false, false, false, false, 0.0f},
        {"below none", -30, 100, false, false, false, false, false, 0.0f},
        {"no maximum", 0, 0, false, false, false, false, false, 1.0f},
        {"wide screen", 0, 100, true, false, false, false, false, 1.0f},
        {"scripted camera", 0, 100, false, true, false, false, false, 1.0f},
        {"menu open", 0, 100, false, false, true, false, false, 1.0f},
        {"monochromatic", 100, 100, false, false, false, true, false, 0.1f},
        {"monochromatic with the menu open", 100, 100, false, false, true, true, false, 0.1f},
        {"a black_white cut-scene phase", 100, 100, true, false, false, false, true, 0.1f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_game.fPlayerHealth = c.health;
        g_game.fPlayerMaxHealth = c.maxHealth;
        g_game.bCutSceneBlackWhite = c.cutScene;
        WideScreen = c.wide;
        g_Engine.m_bScriptedCamera = c.scripted ? 1 : 0;
        g_menuOpen = c.menu;
        g_PostProcess.m_bMonochromatic = c.mono ? 1 : 0;
        g_PostProcess.RenderPostProcess();
        EXPECT_NEAR(EffectFloat("g_fBW"), c.want, 1e-6f);
    }
    g_Engine.m_bScriptedCamera = 0;
}

TEST_F(PostProcessChain, TheBloodScreenNeedsAnAmountAndBlackAndWhiteModeItsTarget) {
    effect::Effect* e = g_PostProcess.DofEffect();
    auto texture = [e](const char* name) {
        gfx::BaseTexture* t = nullptr;
        e->GetTexture(e->GetParameterByName(effect::Handle(), name), &t);
        if (t) t->Release();
        return t;
    };
    g_PostProcess.m_fEK = 0.7f;
    g_PostProcess.TurnOnBW(false);
    g_PostProcess.RenderPostProcess();
    EXPECT_NEAR(EffectFloat("fEK"), 0.7f, 1e-6f);
    EXPECT_NE(texture("tEK"), nullptr);
    EXPECT_NE(texture("tW"), nullptr);
    EXPECT_NE(texture("tWL"), nullptr);
    EXPECT_EQ(texture("tBW"), g_PostProcess.TargetTexture(EPostProcess::BW));
    bool bw = false;
    e->GetBool(e->GetParameterByName(effect::Handle(), "g_bBW"), &bw);
    EXPECT_TRUE(bw);

    g_PostProcess.m_fEK = 0.0f;
    g_PostProcess.TurnOffBW(true);
    g_PostProcess.RenderPostProcess();
    EXPECT_EQ(EffectFloat("fEK"), 0.0f);
    e->GetBool(e->GetParameterByName(effect::Handle(), "g_bBW"), &bw);
    EXPECT_FALSE(bw);
}

// ---- The passes without their effects ----------------------------------------------------------------

TEST_F(PostProcessChain, ThePassesWithoutTheirEffectsPrintTheirLinesAndTheHooksStillPutTheTargetsBack) {
    ASSERT_EQ(g_EffectMgr.FindEffect("ambient"), nullptr);
    ASSERT_EQ(g_EffectMgr.FindEffect("skinnedmesh"), nullptr);
    OptionMV08 = true;
    gfx::Surface* back = g_pBackBufferSurface;
    g_PostProcess.BeginDepthScene();
    g_Renderer.RenderSceneDepth();
    g_Renderer.RenderSkinmeshesDepth();
    g_PostProcess.EndDepthScene();
    g_PostProcess.BeginBWScene();
    g_Renderer.RenderSceneBW();
    g_Renderer.RenderSkinmeshesBW();
    g_PostProcess.EndBWScene();
    EXPECT_EQ(Current(), back);
    EXPECT_TRUE(Logged("No skinnedmesh depth effect!"));
    EXPECT_TRUE(Logged("No ambient effect!"));
    EXPECT_FALSE(Run().empty()) << "the frame goes on";
}

} // namespace
