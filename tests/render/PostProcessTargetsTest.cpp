// The post-processing's targets and HDR on the program's own device
// headless, with the demo effect `dof` and the noise texture in a scratch
// data directory:
// - the sizes and formats of every target for two screens, the quad, the
//   viewport mapping, the filter taps and the pixel-to-texel tables;
// - a failed creation at each step that matters (the HDR ones turn the
//   option off, also in save\video.cfg, and Main onward are still made; the
//   others stop there and leave the chain inactive), no `dof`, a device
//   below pixel shader 2.0, the two worlds without HDR;
// - a device loss and reset release and make every target again, and the
//   adapted luminance lives on;
// - HDR: a constant image measures its BT.709 luminance and scene colour,
//   Main is brighter while the eye is below the target, the adaptation
//   steps frame by frame, the exposure without a target or an adapted
//   luminance, and a failed read-back keeps the last measurement.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FocusMgr.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Draw.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/PostProcess.h"
#include "render/Renderer.h"
#include "tests/app/D3DMainFixture.h"
#include "world/Engine.h"

namespace {

namespace fs = std::filesystem;
using gfx::Format;
using Target = EPostProcess::Target;

constexpr Target kAllTargets[] = {EPostProcess::HDR,        EPostProcess::HDRScaled, EPostProcess::Main,
                                  EPostProcess::Distortion, EPostProcess::BW,        EPostProcess::Depth,
                                  EPostProcess::TargetTex,  EPostProcess::Bloom0,    EPostProcess::Bloom1,
                                  EPostProcess::Bloom2,     EPostProcess::MotionBlur};
constexpr Target kHDRTargets[] = {EPostProcess::HDR, EPostProcess::HDRScaled};
constexpr Target kMainOnward[] = {EPostProcess::Main,   EPostProcess::Distortion, EPostProcess::BW,
                                  EPostProcess::Depth,  EPostProcess::TargetTex,  EPostProcess::Bloom0,
                                  EPostProcess::Bloom1, EPostProcess::Bloom2,     EPostProcess::MotionBlur};

class PostProcessTargets : public D3DMainFixture {
  protected:
    void SetUp() override {
        D3DMainFixture::SetUp();
        const fs::path data = fs::path(ZT_SOURCE_DIR) / "data";
        fs::create_directories(root_ / "fx");
        fs::create_directories(root_ / "textures");
        fs::copy_file(data / "fx" / "dof.glfx", root_ / "fx" / "dof.glfx");
        fs::copy_file(data / "textures" / "tarvok_noise.tga", root_ / "textures" / "tarvok_noise.tga");
        saved_ = {OptionMV16, OptionMV21};
        std::memcpy(savedWorld_, g_Engine.m_szCurrentWorld, sizeof savedWorld_);
        savedPostProcess_ = g_PostProcess;
        savedEnvironment_ = g_EnvironmentSettings;
        savedFrameTime_ = g_Engine.m_fFrameTime;
        OptionMV16 = OptionMV21 = true;
        g_Engine.m_szCurrentWorld[0] = 0;
        CreateAndStart();
        ASSERT_NE(g_pD3DInterface, nullptr);
        ASSERT_NE(g_EffectMgr.FindEffect("dof"), nullptr);
        g_Engine.m_fFrameTime = 0.0f;
    }
    void TearDown() override {
        if (g_pD3DInterface) {
            g_pD3DInterface->FailTextureCreation(0);
            g_pD3DInterface->OverridePixelShaderVersion(0);
            if (g_pBackBufferSurface) g_pD3DInterface->SetRenderTarget(0, g_pBackBufferSurface);
        }
        g_PostProcess.ReleaseTargets();
        g_PostProcess.Destroy();
        std::tie(OptionMV16, OptionMV21) = saved_;
        std::memcpy(g_Engine.m_szCurrentWorld, savedWorld_, sizeof savedWorld_);
        g_EnvironmentSettings = savedEnvironment_;
        g_Engine.m_fFrameTime = savedFrameTime_;
        D3DMainFixture::TearDown();
        g_PostProcess = savedPostProcess_;
    }

    // The world open's Create at a screen of w x h, the log marked first.
    void Open(uint32_t w, uint32_t h) {
        screenwidth = w;
        screenheight = h;
        logMark_ = Log().size();
        g_PostProcess.Create();
    }
    // Log lines since Open that name the post-processing's failures.
    std::vector<std::string> FailureLines() const {
        std::vector<std::string> lines = Log(), out;
        for (size_t i = logMark_; i < lines.size(); ++i) {
            const std::string& l = lines[i];
            if (l.find("PostProcess") != std::string::npos || l.find("Failed") != std::string::npos ||
                l.find("PS 2.0") != std::string::npos)
                out.push_back(l);
        }
        return out;
    }
    static bool Made(Target t) {
        return g_PostProcess.TargetTexture(t) != nullptr && g_PostProcess.TargetSurface(t) != nullptr;
    }
    static bool NoneMade() {
        for (Target t : kAllTargets)
            if (g_PostProcess.TargetTexture(t) || g_PostProcess.TargetSurface(t)) return false;
        return !g_PostProcess.ReadBackSurface() && !g_PostProcess.BWDepthStencil();
    }

    // A constant colour in the HDR target, as the scene would leave it.
    static void FillHDR(float r, float g, float b) {
        gfx::Device* d = g_pD3DInterface;
        ASSERT_EQ(d->SetRenderTarget(0, g_PostProcess.TargetSurface(EPostProcess::HDR)), gfx::Result::Ok);
        ASSERT_EQ(d->ClearFloat(0, nullptr, gfx::clear::Target, math::Vec4{r, g, b, 1.0f}, 1.0f, 0),
                  gfx::Result::Ok);
    }
    // A pixel of Main as packed RGB.
    static uint32_t MainPixel(uint32_t x, uint32_t y) {
        gfx::Surface* main = g_PostProcess.TargetSurface(EPostProcess::Main);
        gfx::Surface* memory = nullptr;
        EXPECT_EQ(g_pD3DInterface->CreateOffscreenPlainSurface(
                      main->Width(), main->Height(), Format::A8R8G8B8, gfx::Pool::SystemMem, &memory),
                  gfx::Result::Ok);
        EXPECT_EQ(g_pD3DInterface->GetRenderTargetData(main, memory), gfx::Result::Ok);
        gfx::LockedRect lr;
        memory->LockRect(&lr, nullptr, gfx::lock::ReadOnly);
        uint32_t c = 0;
        std::memcpy(&c, static_cast<const uint8_t*>(lr.pBits) + size_t(y) * lr.Pitch + size_t(x) * 4, 4);
        memory->UnlockRect();
        memory->Release();
        return c & 0xFFFFFF;
    }
    static float EffectFloat(const char* name) {
        effect::Effect* e = g_PostProcess.DofEffect();
        float v = -1.0f;
        e->GetFloat(e->GetParameterByName(effect::Handle(), name), &v);
        return v;
    }

    std::tuple<bool, bool> saved_;
    char savedWorld_[sizeof g_Engine.m_szCurrentWorld] = {};
    EPostProcess savedPostProcess_;
    EnvironmentSettings savedEnvironment_;
    float savedFrameTime_ = 0;
    size_t logMark_ = 0;
};

// ---- Sizes ---------------------------------------------------------------------------------------

struct Size {
    uint32_t w, h;
};

class PostProcessSizes : public PostProcessTargets, public ::testing::WithParamInterface<Size> {};

TEST_P(PostProcessSizes, EveryTargetTakesItsSizeAndFormatFromTheScreen) {
    const Size s = GetParam();
    Open(s.w, s.h);
    EXPECT_TRUE(g_PostProcess.IsActive());
    EXPECT_TRUE(FailureLines().empty());
    struct Want {
        Target t;
        uint32_t w, h;
        Format f;
    } wants[] = {
        {EPostProcess::HDR, s.w, s.h, Format::A16B16G16R16F},
        {EPostProcess::HDRScaled, 32, 32, Format::A16B16G16R16F},
        {EPostProcess::Main, s.w, s.h, Format::A8R8G8B8},
        {EPostProcess::Distortion, s.w, s.h, Format::A8R8G8B8},
        {EPostProcess::BW, s.w / 2, s.h / 2, Format::A8R8G8B8},
        {EPostProcess::Depth, s.w, s.h, Format::G16R16F},
        {EPostProcess::TargetTex, s.w, s.h, Format::A8R8G8B8},
        {EPostProcess::Bloom0, s.w / 8, s.h / 8, Format::A8R8G8B8},
        {EPostProcess::Bloom1, s.w / 8, s.h / 8, Format::A8R8G8B8},
        {EPostProcess::Bloom2, s.w, s.h, Format::A8R8G8B8},
        {EPostProcess::MotionBlur, s.w / 2, s.h / 2, Format::A8R8G8B8},
    };
    for (const Want& w : wants) {
        const gfx::Surface* surface = g_PostProcess.TargetSurface(w.t);
        ASSERT_NE(surface, nullptr) << w.t;
        EXPECT_EQ(surface->Width(), w.w) << w.t;
        EXPECT_EQ(surface->Height(), w.h) << w.t;
        EXPECT_EQ(surface->GetFormat(), w.f) << w.t;
        EXPECT_EQ(g_PostProcess.TargetTexture(w.t)->LevelCount(), 1u) << w.t;
    }
    const gfx::Surface* readBack = g_PostProcess.ReadBackSurface();
    ASSERT_NE(readBack, nullptr);
    EXPECT_EQ(readBack->Width(), 32u);
    EXPECT_EQ(readBack->GetFormat(), Format::A16B16G16R16F);
    const gfx::Surface* bwDepth = g_PostProcess.BWDepthStencil();
    ASSERT_NE(bwDepth, nullptr);
    EXPECT_EQ(bwDepth->Width(), s.w / 2);
    EXPECT_EQ(bwDepth->Height(), s.h / 2);
    EXPECT_EQ(bwDepth->GetFormat(), g_DepthStencilFormat);
    ASSERT_NE(g_PostProcess.QuadDeclaration(), nullptr);
    EXPECT_EQ(g_PostProcess.QuadDeclaration()->Stride(0), 24u);

    // The quad in pixels half a pixel to the upper left, and the mapping
    // that takes it to clip space.
    const EPostProcess::QuadVertex* q = g_PostProcess.FullScreenQuad();
    const float W = float(s.w), H = float(s.h);
    EXPECT_EQ(q[0].x, -0.5f);
    EXPECT_EQ(q[0].y, H - 0.5f);
    EXPECT_EQ(q[0].v, 1.0f);
    EXPECT_EQ(q[1].x, W - 0.5f);
    EXPECT_EQ(q[3].y, -0.5f);
    EXPECT_EQ(q[3].u, 1.0f);
    EXPECT_EQ(q[3].v, 0.0f);
    effect::Effect* e = g_PostProcess.DofEffect();
    ASSERT_NE(e, nullptr);
    math::Vec4 v;
    e->GetVector(e->GetParameterByName(effect::Handle(), "viewportScale"), &v);
    EXPECT_FLOAT_EQ(v.x, 2.0f / W);
    EXPECT_FLOAT_EQ(v.y, -2.0f / H);
    e->GetVector(e->GetParameterByName(effect::Handle(), "viewportBias"), &v);
    EXPECT_EQ(v.x, -1.0f);
    EXPECT_EQ(v.y, 1.0f);
    math::Vec4 taps[12];
    e->GetVectorArray(e->GetParameterByName(effect::Handle(), "filterTaps"), taps, 12);
    EXPECT_FLOAT_EQ(taps[0].x, -0.326212f / W);
    EXPECT_FLOAT_EQ(taps[11].y, -0.597705f / H);
    // The bloom's kernel offset (1, 0) in quarter-size pixels, the down
    // filter's (1.5, 1.5) in half-size ones.
    math::Vec4 kernel[13], down[16];
    e->GetVectorArray(e->GetParameterByName(effect::Handle(), "TexelKernelH"), kernel, 13);
    EXPECT_FLOAT_EQ(kernel[7].x, 1.0f / float(s.w / 4));
    EXPECT_EQ(kernel[7].y, 0.0f);
    e->GetVectorArray(e->GetParameterByName(effect::Handle(), "TexelCoordsDownFilter"), down, 16);
    EXPECT_FLOAT_EQ(down[15].x, 1.5f / float(s.w / 2));
    EXPECT_FLOAT_EQ(down[15].y, 1.5f / float(s.h / 2));
    const strtexture* noise = g_Renderer.GetTexture(g_PostProcess.NoiseTexture());
    ASSERT_NE(noise, nullptr);
    EXPECT_STREQ(noise->szName, "tarvok_noise.tga");
}

INSTANTIATE_TEST_SUITE_P(Screens, PostProcessSizes, ::testing::Values(Size{1366, 768}, Size{1024, 768}),
                         [](const auto& info) {
                             return std::to_string(info.param.w) + "x" + std::to_string(info.param.h);
                         });

// ---- Failures -----------------------------------------------------------------------------------------

struct FailureCase {
    const char* name;
    bool hdr;         // the "High Dynamic Range" option at creation
    uint32_t failing; // the texture creation that fails
    const char* line; // the one line printed
    std::vector<Target> made, missing;
    bool hdrOptionAfter, active;
};

class PostProcessFailures : public PostProcessTargets, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PostProcessFailures, PrintTheirLineAndStopOrGoOnAsTheStepSays) {
    const FailureCase& c = GetParam();
    OptionMV21 = c.hdr;
    // The noise texture is loaded already (as from the world before), so
    // the count starts at the targets.
    ASSERT_NE(g_Renderer.GetTextureIdByName("tarvok_noise.tga"), 0u);
    g_pD3DInterface->FailTextureCreation(c.failing);
    Open(320, 240);
    EXPECT_EQ(FailureLines(), std::vector<std::string>{c.line});
    for (Target t : c.made)
        EXPECT_TRUE(Made(t)) << "target " << t;
    for (Target t : c.missing) {
        EXPECT_EQ(g_PostProcess.TargetTexture(t), nullptr) << "target " << t;
        EXPECT_EQ(g_PostProcess.TargetSurface(t), nullptr) << "target " << t;
    }
    if (c.hdr && !c.hdrOptionAfter) {
        EXPECT_EQ(g_PostProcess.ReadBackSurface(), nullptr);
    }
    EXPECT_EQ(OptionMV21, c.hdrOptionAfter);
    EXPECT_EQ(g_PostProcess.IsActive(), c.active);
    // What the video settings keep: byte 34 is the HDR option.
    WriteVideoConfig();
    const std::string cfg = ReadFile("save/video.cfg");
    ASSERT_EQ(cfg.size(), VIDEO_CFG_SIZE);
    EXPECT_EQ(cfg[34], c.hdrOptionAfter ? 1 : 0);
    // The switch-off lasts: the next world makes no HDR targets.
    g_PostProcess.ReleaseTargets();
    g_PostProcess.Destroy();
    Open(320, 240);
    EXPECT_EQ(Made(EPostProcess::HDR), c.hdrOptionAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, PostProcessFailures,
    ::testing::Values(FailureCase{"HDRTex",
                                  true,
                                  1,
                                  "PostProcess: Failed creating HDRTex",
                                  {kMainOnward, kMainOnward + 9},
                                  {EPostProcess::HDR, EPostProcess::HDRScaled},
                                  false,
                                  true},
                      FailureCase{"HDRScaledTex",
                                  true,
                                  2,
                                  "PostProcess: Failed creating HDRScaledTex",
                                  {kMainOnward, kMainOnward + 9},
                                  {EPostProcess::HDR, EPostProcess::HDRScaled},
                                  false,
                                  true},
                      FailureCase{"MainTexWithHDR",
                                  true,
                                  3,
                                  "PostProcess: Failed creating MainTex",
                                  {EPostProcess::HDR, EPostProcess::HDRScaled},
                                  {kMainOnward, kMainOnward + 9},
                                  true,
                                  false},
                      FailureCase{"Bloom1Tex",
                                  false,
                                  7,
                                  "PostProcess: Failed creating BloomTex1",
                                  {EPostProcess::Main, EPostProcess::Distortion, EPostProcess::BW,
                                   EPostProcess::Depth, EPostProcess::TargetTex, EPostProcess::Bloom0},
                                  {EPostProcess::Bloom1, EPostProcess::Bloom2, EPostProcess::MotionBlur},
                                  false,
                                  false},
                      FailureCase{"Bloom0TexWithHDR",
                                  true,
                                  8,
                                  "PostProcess: Failed creating BloomTex0",
                                  {EPostProcess::HDR, EPostProcess::HDRScaled, EPostProcess::TargetTex},
                                  {EPostProcess::Bloom0, EPostProcess::Bloom1, EPostProcess::Bloom2,
                                   EPostProcess::MotionBlur},
                                  true,
                                  false},
                      FailureCase{"MotionBlurTex",
                                  false,
                                  9,
                                  "PostProcess: Failed creating MotionBlurTex",
                                  {EPostProcess::Bloom2},
                                  {EPostProcess::MotionBlur},
                                  false,
                                  false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PostProcessTargets, WithoutDofNothingIsMadeAndNothingPrinted) {
    g_EffectMgr.Destroy();
    fs::remove(root_ / "fx" / "dof.glfx");
    g_EffectMgr.Init();
    ASSERT_EQ(g_EffectMgr.FindEffect("dof"), nullptr);
    Open(320, 240);
    EXPECT_TRUE(NoneMade());
    EXPECT_TRUE(FailureLines().empty());
    EXPECT_FALSE(g_PostProcess.IsActive());
    EXPECT_EQ(g_PostProcess.DofEffect(), nullptr);
}

TEST_F(PostProcessTargets, ADeviceBelowPixelShader2MakesNothing) {
    struct Case {
        uint32_t version;
        bool made;
    } cases[] = {{gfx::PixelShaderVersion(1, 4), false}, {gfx::PixelShaderVersion(2, 0), true}};
    for (const Case& c : cases) {
        g_pD3DInterface->OverridePixelShaderVersion(c.version);
        Open(320, 240);
        if (c.made) {
            EXPECT_TRUE(FailureLines().empty());
        } else {
            EXPECT_EQ(FailureLines(),
                      std::vector<std::string>{"EPostProcess::Create error - PS 2.0 not supported!"});
            EXPECT_TRUE(NoneMade());
        }
        EXPECT_EQ(g_PostProcess.IsActive(), c.made);
        g_PostProcess.ReleaseTargets();
        g_PostProcess.Destroy();
    }
}

TEST_F(PostProcessTargets, PostprocessingOffMakesNothing) {
    OptionMV16 = false;
    g_PostProcess.m_bForcedMotionBlur = 1;
    Open(320, 240);
    EXPECT_TRUE(NoneMade());
    EXPECT_FALSE(g_PostProcess.IsActive());
    EXPECT_EQ(g_PostProcess.m_bForcedMotionBlur, 1) << "nothing of Create runs";
    g_PostProcess.CreatePostProcessTargets();
    EXPECT_TRUE(NoneMade());
}

TEST_F(PostProcessTargets, TwoWorldsMakeTheHDRTargetsButDoNotRunHDR) {
    struct Case {
        const char* world;
        bool option;
        bool runs, made;
    } cases[] = {
        {"worlds\\LEVEL_02.W", true, false, true}, {"worlds\\level_03.w", true, false, true},
        {"worlds\\level_04.w", true, true, true},  {"worlds\\test.w", true, true, true},
        {"worlds\\test.w", false, false, false},
    };
    for (const Case& c : cases) {
        std::snprintf(g_Engine.m_szCurrentWorld, sizeof g_Engine.m_szCurrentWorld, "%s", c.world);
        OptionMV21 = c.option;
        g_PostProcess.m_bForcedMotionBlur = g_PostProcess.m_bMonochromatic = 1;
        Open(320, 240);
        EXPECT_EQ(g_PostProcess.HDRRunsInThisWorld(), c.runs) << c.world;
        for (Target t : kHDRTargets)
            EXPECT_EQ(Made(t), c.made) << c.world;
        EXPECT_TRUE(g_PostProcess.IsActive()) << c.world;
        EXPECT_EQ(g_PostProcess.m_bForcedMotionBlur, 0) << "cleared at every world open";
        EXPECT_EQ(g_PostProcess.m_bMonochromatic, 0);
        g_PostProcess.ReleaseTargets();
        g_PostProcess.Destroy();
    }
}

// ---- Lifecycle -----------------------------------------------------------------------------------------

TEST_F(PostProcessTargets, ALossAndResetReleaseAndMakeEveryTargetAgain) {
    Open(320, 240);
    ASSERT_TRUE(g_PostProcess.IsActive());
    g_PostProcess.m_fAdaptedLuminance = 0.3f;
    g_PostProcess.m_fEK = 0.7f;
    // The focus manager's hook halves, as they run around a reset.
    DeviceHookFn release = nullptr, recreate = nullptr;
    GetDeviceHook(DeviceHook::PostProcessTargets, &release, &recreate);
    ASSERT_NE(release, nullptr);
    ASSERT_NE(recreate, nullptr);
    release();
    EXPECT_TRUE(NoneMade());
    EXPECT_EQ(g_PostProcess.m_fEK, 0.0f);
    EXPECT_NE(g_PostProcess.QuadDeclaration(), nullptr) << "the declaration stays";
    recreate();
    for (Target t : kAllTargets)
        EXPECT_TRUE(Made(t)) << t;

    // A real loss: the reset succeeds only once nothing of the default pool
    // is held, and every target is there again afterwards.
    const uint32_t resets = g_pD3DInterface->ResetCount();
    g_pD3DInterface->SimulateDeviceLoss(1);
    EXPECT_FALSE(g_FocusMgr.CheckFocus());
    EXPECT_FALSE(g_FocusMgr.CheckFocus());
    ASSERT_EQ(g_pD3DInterface->ResetCount(), resets + 1);
    for (Target t : kAllTargets)
        EXPECT_TRUE(Made(t)) << t;
    EXPECT_NE(g_PostProcess.ReadBackSurface(), nullptr);
    EXPECT_EQ(g_PostProcess.TargetSurface(EPostProcess::BW)->Width(), 160u);
    EXPECT_TRUE(g_PostProcess.IsActive());
    EXPECT_EQ(g_PostProcess.m_fAdaptedLuminance, 0.3f);
}

TEST_F(PostProcessTargets, TheWorldsEndReleasesEverythingAndTheNextWorldMakesItAgain) {
    Open(320, 240);
    g_PostProcess.ReleaseTargets();
    g_PostProcess.Destroy();
    EXPECT_TRUE(NoneMade());
    EXPECT_FALSE(g_PostProcess.IsActive());
    EXPECT_EQ(g_PostProcess.QuadDeclaration(), nullptr);
    Open(640, 480);
    EXPECT_TRUE(g_PostProcess.IsActive());
    EXPECT_EQ(g_PostProcess.TargetSurface(EPostProcess::Bloom0)->Width(), 80u);
}

// ---- Pixel-to-texel tables on an effect of the test's own ------------------------------------------

TEST_F(PostProcessTargets, AnnotatedTablesHoldTheirSourcesPixelsOverIntegerScreenDivisions) {
    g_EffectMgr.Destroy();
    WriteFile("fx/dof.glfx", R"(
parameter float2 Source[3] = {{4, 8}, {-2, 6}, {683, 384}};
parameter float2 Horizontal[3] < string ConvertPixelsToTexelsH = "Source"; >;
parameter float2 Vertical[3] < string ConvertPixelsToTexelsV = "Source"; >;
parameter float2 Half[3] < string ConvertPixelsToTexels = "Source"; int Unused = 3; >;
parameter float2 NoSource[2] < string ConvertPixelsToTexels = "Missing"; > = {{7, 7}, {7, 7}};
parameter float2 NotAString[2] < int ConvertPixelsToTexels = 1; > = {{5, 5}, {5, 5}};
input float4 aPos : POSITION;
glsl vertex vs { void main() { gl_Position = aPos; } }
glsl fragment fs { void main() { FragColor = vec4(Source[0], Half[0]); } }
technique T { pass { vertex vs; fragment fs; } }
)");
    g_EffectMgr.Init();
    Open(1366, 768);
    ASSERT_TRUE(g_PostProcess.IsActive());
    effect::Effect* e = g_PostProcess.DofEffect();
    auto table = [e](const char* name, uint32_t n) {
        std::vector<math::Vec4> v(n);
        e->GetVectorArray(e->GetParameterByName(effect::Handle(), name), v.data(), n);
        return v;
    };
    const float source[3][2] = {{4, 8}, {-2, 6}, {683, 384}};
    struct Case {
        const char* name;
        float w, h; // 1366 / 4 = 341 and 768 / 4 = 192; 683 and 384 for 2
    } cases[] = {{"Horizontal", 341, 192}, {"Vertical", 341, 192}, {"Half", 683, 384}};
    for (const Case& c : cases) {
        const std::vector<math::Vec4> v = table(c.name, 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_FLOAT_EQ(v[size_t(i)].x, source[i][0] / c.w) << c.name << " " << i;
            EXPECT_FLOAT_EQ(v[size_t(i)].y, source[i][1] / c.h) << c.name << " " << i;
        }
    }
    EXPECT_EQ(table("NoSource", 2)[1].x, 7.0f) << "a missing source leaves the table";
    EXPECT_EQ(table("NotAString", 2)[0].y, 5.0f) << "only string annotations name sources";
    EXPECT_EQ(table("Source", 3)[2].x, 683.0f) << "the source keeps its pixels";
}

// ---- HDR ---------------------------------------------------------------------------------------------

class PostProcessHDR : public PostProcessTargets {
  protected:
    void SetUp() override {
        PostProcessTargets::SetUp();
        g_EnvironmentSettings.SetSkyLightColor(0x00C8B4A0u); // 200, 180, 160
        // The screen the device was made for: the scene's depth surface is
        // as large as the targets drawn with it.
        Open(kW, kH);
        ASSERT_TRUE(g_PostProcess.IsActive());
        ASSERT_TRUE(Made(EPostProcess::HDR));
    }
};

TEST_F(PostProcessHDR, AConstantImageMeasuresItsBT709LuminanceAndSceneColour) {
    struct Case {
        const char* name;
        float r, g, b;
    } cases[] = {
        {"coloured, beyond 1", 0.5f, 1.5f, 0.25f},
        {"grey 2", 2.0f, 2.0f, 2.0f},
        {"black", 0.0f, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        FillHDR(c.r, c.g, c.b);
        g_PostProcess.RenderHDR();
        EXPECT_NEAR(g_PostProcess.m_fMeasuredLuminance, 0.2126f * c.r + 0.7152f * c.g + 0.0722f * c.b, 1e-4f)
            << c.name;
        const float length = std::sqrt(c.r * c.r + c.g * c.g + c.b * c.b);
        const float n = length > 0 ? length : 1.0f;
        const math::Vec4 s = g_PostProcess.m_vSceneColor;
        EXPECT_NEAR(s.x, c.r / n + (200.0f - c.r / n) * 0.6f, 1e-3f) << c.name;
        EXPECT_NEAR(s.y, c.g / n + (180.0f - c.g / n) * 0.6f, 1e-3f) << c.name;
        EXPECT_NEAR(s.z, c.b / n + (160.0f - c.b / n) * 0.6f, 1e-3f) << c.name;
        EXPECT_EQ(s.w, 0.0f);
    }
    // Black: 0.6 times the sky's channels exactly.
    EXPECT_FLOAT_EQ(g_PostProcess.m_vSceneColor.x, 120.0f);
    EXPECT_FLOAT_EQ(g_PostProcess.m_vSceneColor.y, 108.0f);
    EXPECT_FLOAT_EQ(g_PostProcess.m_vSceneColor.z, 96.0f);
}

// The tone mapping on display values: decoded with a 2.2 power, exposed by
// the fourth root of the target over the adapted luminance decoded, bent
// above linear 0.5 toward 1, encoded back and tinted a quarter toward the
// scene colour's hue.
float ToneMapped(float scene, float target, float adapted, float hue) {
    const float x = std::pow(scene, 2.2f) * std::pow(target / std::pow(adapted, 2.2f), 0.25f);
    const float over = std::max(x - 0.5f, 0.0f);
    const float y = std::min(x, 0.5f) + over / (1.0f + 2.0f * over);
    return std::pow(y, 1.0f / 2.2f) * (1.0f + (hue - 1.0f) * 0.25f) * 255.0f;
}

TEST_F(PostProcessHDR, MainIsBrighterWhileTheEyeIsBelowTheTargetThanAboveIt) {
    g_PostProcess.m_fTargetLuminance = 0.2f;
    struct Case {
        const char* name;
        float scene, adapted;
    } cases[] = {
        {"grey, the eye in the dark", 0.5f, 0.05f},         {"grey, the eye at the target", 0.5f, 0.2f},
        {"grey, the eye in bright light", 0.5f, 0.8f},      {"dark grey", 0.1f, 0.2f},
        {"beyond white, bent by the shoulder", 3.0f, 0.2f},
    };
    std::vector<uint32_t> grey;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FillHDR(c.scene, c.scene, c.scene);
        g_PostProcess.m_fAdaptedLuminance = c.adapted;
        g_PostProcess.m_bEyeSet = 1;
        g_PostProcess.RenderHDR();
        EXPECT_EQ(g_PostProcess.m_fAdaptedLuminance, c.adapted) << "no time passed";
        const uint32_t pixel = MainPixel(kW / 2, kH / 2);
        if (c.scene == 0.5f) grey.push_back(pixel);
        const math::Vec4 k = g_PostProcess.m_vSceneColor;
        const float top = std::max(k.x, std::max(k.y, k.z));
        const float hue[3] = {top > 0 ? k.x / top : 1.0f, top > 0 ? k.y / top : 1.0f,
                              top > 0 ? k.z / top : 1.0f};
        for (int ch = 0; ch < 3; ++ch) {
            const float got = float((pixel >> (16 - 8 * ch)) & 0xFF);
            EXPECT_NEAR(got, ToneMapped(c.scene, 0.2f, c.adapted, hue[ch]), 2.0f) << "channel " << ch;
            // The shoulder bends light beyond white toward full, never onto it.
            EXPECT_LT(got, 255.0f) << "channel " << ch;
        }
    }
    ASSERT_EQ(grey.size(), 3u);
    for (int shift : {16, 8, 0}) {
        EXPECT_GT((grey[0] >> shift) & 0xFF, ((grey[1] >> shift) & 0xFF) + 25u);
        EXPECT_GT((grey[1] >> shift) & 0xFF, ((grey[2] >> shift) & 0xFF) + 25u);
    }
}

TEST_F(PostProcessHDR, TheEyeAdaptsFrameByFrameAndLandsOnTheMeasuredLuminance) {
    FillHDR(0.5f, 0.5f, 0.5f); // luminance 0.5
    g_Engine.m_fFrameTime = 0.5f;
    // A new chain: its first measurement sets the eye, whatever it was.
    g_PostProcess.m_fAdaptedLuminance = 0.1f;
    g_PostProcess.RenderHDR();
    EXPECT_NEAR(g_PostProcess.m_fAdaptedLuminance, 0.5f, 1e-4f);
    // From then on it steps.
    g_PostProcess.m_fAdaptedLuminance = 0.1f;
    for (int frame = 1; frame <= 22; ++frame) {
        g_PostProcess.RenderHDR();
        const float want = frame >= 20 ? 0.5f : 0.1f + 0.02f * float(frame);
        EXPECT_NEAR(g_PostProcess.m_fAdaptedLuminance, want, 1e-4f) << "frame " << frame;
        EXPECT_NEAR(EffectFloat("g_fLuminance"), g_PostProcess.m_fAdaptedLuminance, 1e-6f);
    }
    EXPECT_NEAR(EffectFloat("g_fIloraz"), 0.2f / 0.5f, 1e-4f);
    // Less than a step below: there within the frame.
    g_PostProcess.m_fAdaptedLuminance = 0.49f;
    g_PostProcess.RenderHDR();
    EXPECT_NEAR(g_PostProcess.m_fAdaptedLuminance, g_PostProcess.m_fMeasuredLuminance, 1e-6f);
}

TEST_F(PostProcessHDR, TheExposureIsOneWithoutATargetOrBeforeTheEyeAdapted) {
    FillHDR(0.5f, 0.5f, 0.5f);
    struct Case {
        float target, adapted, iloraz;
    } cases[] = {{0.0f, 0.4f, 1.0f}, {0.2f, 0.0f, 1.0f}, {0.2f, 0.1f, 2.0f}};
    g_PostProcess.m_bEyeSet = 1;
    for (const Case& c : cases) {
        g_PostProcess.m_fTargetLuminance = c.target;
        g_PostProcess.m_fAdaptedLuminance = c.adapted;
        g_PostProcess.HDRToMain();
        EXPECT_FLOAT_EQ(EffectFloat("g_fIloraz"), c.iloraz) << c.target << " / " << c.adapted;
        EXPECT_FLOAT_EQ(EffectFloat("g_fTargetLuminance"), c.target);
    }
}

TEST_F(PostProcessHDR, AFailedReadBackKeepsTheLastMeasurement) {
    FillHDR(0.5f, 1.5f, 0.25f);
    g_PostProcess.RenderHDR();
    const float luminance = g_PostProcess.m_fMeasuredLuminance;
    const math::Vec4 colour = g_PostProcess.m_vSceneColor;
    ASSERT_GT(luminance, 1.0f);
    FillHDR(0.0f, 0.0f, 0.0f);
    logMark_ = Log().size();
    g_pD3DInterface->SimulateDeviceLoss(1);
    g_PostProcess.RenderHDR();
    bool printed = false;
    for (const std::string& l : Log())
        printed = printed || l == "GetRenderTargetData HDR failed!";
    EXPECT_TRUE(printed);
    EXPECT_EQ(g_PostProcess.m_fMeasuredLuminance, luminance);
    EXPECT_EQ(g_PostProcess.m_vSceneColor.x, colour.x);
    EXPECT_EQ(g_PostProcess.m_vSceneColor.z, colour.z);
}

} // namespace
