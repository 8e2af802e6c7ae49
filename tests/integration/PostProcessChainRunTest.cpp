// The post-processing chain composing the demo world's picture in this
// process, on the program's own device: the world drawn by the fastest
// pipeline into the scene target between the chain's hooks, the chain run
// into the back buffer, and the pictures and targets read back:
// - before level frame 151 the picture is the one without post-processing;
//   after it a neutral chain (no bloom, no depth of field, no blur, full
//   colour) keeps the centre, and the demo world's bloom brightens what lies
//   just outside the bright panel on the north wall while the panel stays;
// - the player's health greys the picture, the open menu colours it again;
// - black-and-white mode keeps the listed object coloured and greys the
//   rest, and its target holds white at the object and the black-and-white
//   colour elsewhere; a listed stain or grate curtain stays out of it;
// - the depth target holds a larger blur at a near crate than at the wall
//   in focus, and never the grate curtain's own depth;
// - with HDR the eye that has caught up with the scene keeps the picture
//   near the one without HDR, a lagging eye brightens or darkens it, and the
//   bright panel stays below full white.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "actors/player/Player.h"
#include "app/GameFrame.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "game/MainGame.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "render/EnvironmentSettings.h"
#include "render/PostProcess.h"
#include "render/SpriteMgr.h"
#include "tests/integration/DeviceWorldRun.h"

namespace {

struct Rgb {
    int r, g, b;
    int Sum() const { return r + g + b; }
    int Spread() const { return std::max({r, g, b}) - std::min({r, g, b}); }
};
Rgb Channels(uint32_t c) {
    return {int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)};
}

// The middle of the bright panel on the north wall.
const math::Vec3 kPanelEye{-160, 128, 300}, kPanelAt{-160, 128, 503};
const math::Vec3 kPanelMiddle{-160, 128, 503};

class PostProcessChainRun : public DeviceWorldRun {
  protected:
    void SetUp() override {
        // The player's update takes a health of 0 for his death: the flag
        // goes back with the health.
        saved_ = {OptionMV16,   OptionMV21,      OptionMV08, DrawPostprocess,
                  PlayerHealth, PlayerMaxHealth, PlayerDead};
        OptionMV16 = true;
        OptionMV21 = hdr_;
        OptionMV08 = false;
        DrawPostprocess = true;
        savedGame_ = TheGameFrame();
        DeviceWorldRun::SetUp();
        SimpleRender = true;
        UpdateObjects = false;
        UpdateBezier = false;
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        g_Engine.m_bWorldShown = 1;
        ASSERT_TRUE(g_PostProcess.IsActive());
        PlayerHealth = PlayerMaxHealth = 100.0f;
        LevelFrame(200);
        // The world in white ambient light: every texel at its own colour,
        // the near-white panel above the bloom's cone.
        savedEnvironment_ = g_EnvironmentSettings;
        for (int set = 0; set < 4; ++set)
            g_EnvironmentSettings.SetAmbientColor(0xFFFFFF, set);
        // Past the renderer's first frames, which draw nothing.
        for (int i = 0; i < 5; ++i)
            ChainFrame();
    }
    void TearDown() override {
        InstallGameFrame(savedGame_);
        g_EnvironmentSettings = savedEnvironment_;
        g_PostProcess.TurnOffBW(true);
        g_PostProcess.ClearBWObjects();
        DeviceWorldRun::TearDown();
        std::tie(OptionMV16, OptionMV21, OptionMV08, DrawPostprocess, PlayerHealth, PlayerMaxHealth,
                 PlayerDead) = saved_;
    }

    static void LevelFrame(int32_t frame) { g_MainGame.m_iLevelFrame = frame; }

    // One pass of the main loop with the world drawn by the fastest
    // pipeline between the post-processing's hooks, as the frame calls them
    // around the world's drawing when the full pipeline runs.
    static void ChainFrame() {
        stepclock::StepFrame();
        EXPECT_TRUE(g_Engine.EngineFrameTiming());
        EXPECT_TRUE(g_Engine.EngineFrame());
        g_MainGame.Update();
        gfx::Device* d = g_pD3DInterface;
        g_Engine.PrepareCamera();
        g_Renderer.PreRender();
        g_SpriteMgr.Update();
        uint32_t flags = gfx::clear::Target | gfx::clear::ZBuffer;
        if (gfx::HasStencil(g_d3dpp.AutoDepthStencilFormat)) flags |= gfx::clear::Stencil;
        d->Clear(0, nullptr, flags, g_Camera.GetBackgroundColor(), 1.0f, 0);
        d->BeginScene();
        const bool composed = DrawPostprocess;
        if (composed) g_PostProcess.BeginScene();
        g_Engine.Render();
        if (composed) {
            g_PostProcess.RestoreBackBuffer();
            g_PostProcess.RenderPostProcess();
        }
        d->EndScene();
        d->Present();
    }
    static std::vector<uint32_t> PictureAt(const math::Vec3& eye, const math::Vec3& at, int frames = 3) {
        for (int i = 0; i < frames; ++i) {
            Place(eye, at);
            ChainFrame();
        }
        return ReadBack();
    }
    static Rgb Pixel(const std::vector<uint32_t>& picture, const math::Vec3& point) {
        uint32_t x = 0, y = 0;
        EXPECT_TRUE(Project(point, &x, &y));
        return Channels(picture[y * kW + x]);
    }

    // A target of the chain read back (A8R8G8B8 as packed RGB; G16R16F as
    // red and green floats).
    static std::vector<uint32_t> ReadTarget(EPostProcess::Target t) {
        gfx::Surface* s = g_PostProcess.TargetSurface(t);
        gfx::Surface* memory = nullptr;
        EXPECT_EQ(g_pD3DInterface->CreateOffscreenPlainSurface(s->Width(), s->Height(), gfx::Format::A8R8G8B8,
                                                               gfx::Pool::SystemMem, &memory),
                  gfx::Result::Ok);
        std::vector<uint32_t> out(size_t(s->Width()) * s->Height());
        EXPECT_EQ(g_pD3DInterface->GetRenderTargetData(s, memory), gfx::Result::Ok);
        gfx::LockedRect lr;
        memory->LockRect(&lr, nullptr, gfx::lock::ReadOnly);
        for (uint32_t y = 0; y < s->Height(); ++y)
            std::memcpy(&out[size_t(y) * s->Width()],
                        static_cast<const uint8_t*>(lr.pBits) + size_t(y) * lr.Pitch, s->Width() * 4);
        memory->UnlockRect();
        memory->Release();
        return out;
    }
    struct DepthBlur {
        float depth, blur;
    };
    static DepthBlur DepthAt(const math::Vec3& point) {
        gfx::Surface* s = g_PostProcess.TargetSurface(EPostProcess::Depth);
        gfx::Surface* memory = nullptr;
        EXPECT_EQ(g_pD3DInterface->CreateOffscreenPlainSurface(s->Width(), s->Height(), gfx::Format::G16R16F,
                                                               gfx::Pool::SystemMem, &memory),
                  gfx::Result::Ok);
        EXPECT_EQ(g_pD3DInterface->GetRenderTargetData(s, memory), gfx::Result::Ok);
        uint32_t x = 0, y = 0;
        EXPECT_TRUE(Project(point, &x, &y));
        gfx::LockedRect lr;
        memory->LockRect(&lr, nullptr, gfx::lock::ReadOnly);
        uint16_t h[2];
        std::memcpy(h, static_cast<const uint8_t*>(lr.pBits) + size_t(y) * lr.Pitch + size_t(x) * 4,
                    sizeof h);
        memory->UnlockRect();
        memory->Release();
        return {math::HalfToFloat(h[0]), math::HalfToFloat(h[1])};
    }

    bool hdr_ = false; // the world drawn through HDR and its tone mapping
    std::tuple<bool, bool, bool, bool, float, float, uint8_t> saved_;
    GameFrame savedGame_;
    EnvironmentSettings savedEnvironment_;
};

TEST_F(PostProcessChainRun,
       BeforeFrame151ThePictureIsTheSceneAfterItANeutralChainKeepsTheCentreAndBloomSpreads) {
    DrawPostprocess = false;
    const std::vector<uint32_t> plain = PictureAt(kPanelEye, kPanelAt);
    DrawPostprocess = true;
    LevelFrame(100);
    EXPECT_TRUE(PictureAt(kPanelEye, kPanelAt) == plain) << "the chain waits for level frame 151";

    LevelFrame(200);
    const float cone = g_PostProcess.m_fBloomCone, power = g_PostProcess.m_fBloomPower;
    EXPECT_GT(power, 0.0f) << "the demo world's bloom_params";
    g_PostProcess.m_fBloomPower = 0.0f;
    const std::vector<uint32_t> neutral = PictureAt(kPanelEye, kPanelAt);
    int checked = 0;
    for (uint32_t y = kH / 2 - 20; y < kH / 2 + 20; ++y) {
        for (uint32_t x = kW / 2 - 20; x < kW / 2 + 20; ++x) {
            const Rgb a = Channels(plain[y * kW + x]), b = Channels(neutral[y * kW + x]);
            EXPECT_NEAR(a.r, b.r, 2) << x << "," << y;
            EXPECT_NEAR(a.g, b.g, 2) << x << "," << y;
            EXPECT_NEAR(a.b, b.b, 2) << x << "," << y;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 1600);

    g_PostProcess.m_fBloomCone = cone;
    g_PostProcess.m_fBloomPower = power;
    const std::vector<uint32_t> bloom = PictureAt(kPanelEye, kPanelAt);
    const Rgb panel = Pixel(plain, kPanelMiddle), panelBloom = Pixel(bloom, kPanelMiddle);
    EXPECT_GT(panel.Sum(), 600) << "the panel is near white";
    // Up the column from the panel's middle to its top edge; the wall a few
    // pixels above it.
    uint32_t x = 0, y = 0;
    ASSERT_TRUE(Project(kPanelMiddle, &x, &y));
    while (y > 0 && Channels(plain[(y - 1) * kW + x]).Sum() > 600)
        --y;
    ASSERT_GT(y, 8u);
    const Rgb beside = Channels(plain[(y - 4) * kW + x]), besideBloom = Channels(bloom[(y - 4) * kW + x]);
    EXPECT_LT(beside.Sum(), 400) << "the wall";
    EXPECT_NEAR(panelBloom.r, panel.r, 8);
    EXPECT_NEAR(panelBloom.g, panel.g, 8);
    EXPECT_NEAR(panelBloom.b, panel.b, 8);
    EXPECT_GT(besideBloom.Sum(), beside.Sum() + 30) << "the panel's glow spreads onto the wall";
}

TEST_F(PostProcessChainRun, TheHealthGreysThePictureAndTheOpenMenuColoursIt) {
    // Points on the crate-textured wall and the olive floor, coloured both.
    const math::Vec3 eye{0, 150, 0}, at{0, 100, 504};
    const math::Vec3 probes[] = {{-60, 200, 504}, {60, 250, 504}, {0, 0, 300}};
    struct Case {
        const char* name;
        float health;
        bool menu;
        bool grey;
    } cases[] = {
        {"full health", 100.0f, false, false},
        {"five sixths", 100.0f * 5.0f / 6.0f, false, false},
        {"no health", 0.0f, false, true},
        {"below zero", -20.0f, false, true},
        {"no health with the menu open", 0.0f, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlayerHealth = c.health;
        GameFrame frame = savedGame_;
        if (c.menu) frame.MenuOpen = [] { return true; };
        InstallGameFrame(frame);
        const std::vector<uint32_t> picture = PictureAt(eye, at);
        InstallGameFrame(savedGame_);
        int coloured = 0;
        for (const math::Vec3& p : probes) {
            const Rgb px = Pixel(picture, p);
            EXPECT_GT(px.Sum(), 30) << "lit";
            if (c.grey) {
                EXPECT_LE(px.Spread(), 1) << px.r << " " << px.g << " " << px.b;
            }
            coloured += px.Spread() > 10;
        }
        if (!c.grey) {
            EXPECT_GE(coloured, 2);
        }
    }
}

TEST_F(PostProcessChainRun, BlackAndWhiteKeepsTheListedObjectColouredAndItsTargetWhite) {
    ObjectRecord* barrel = Find("barrel");
    ASSERT_NE(barrel, nullptr);
    g_PostProcess.ClearBWObjects();
    g_PostProcess.TurnOnBW(false);
    g_PostProcess.AddObjectToBW(barrel);
    const math::Vec3 eye{-150, 60, -20}, at{-150, 16, 150};
    const math::Vec3 face{-150, 24, 118}, floor{-100, 0, 100};
    const std::vector<uint32_t> picture = PictureAt(eye, at);
    EXPECT_GT(Pixel(picture, face).Spread(), 10) << "the listed barrel keeps its colour";
    EXPECT_LE(Pixel(picture, floor).Spread(), 1) << "the floor is grey";

    // The BW target is half the screen's size.
    const std::vector<uint32_t> bw = ReadTarget(EPostProcess::BW);
    auto at2 = [&](const math::Vec3& p) {
        uint32_t x = 0, y = 0;
        EXPECT_TRUE(Project(p, &x, &y));
        return bw[(y / 2) * (kW / 2) + x / 2] & 0xFFFFFF;
    };
    const math::Vec4 c = g_PostProcess.m_BWBackgroundColor;
    const uint32_t bwColour =
        uint32_t(c.x * 255 + 0.5f) << 16 | uint32_t(c.y * 255 + 0.5f) << 8 | uint32_t(c.z * 255 + 0.5f);
    EXPECT_EQ(at2(face), 0xFFFFFFu);
    EXPECT_EQ(at2(floor), bwColour);

    // A listed stain and a listed grate curtain stay out of the image: the
    // floor and the wall behind them are there in the black-and-white colour.
    struct Excluded {
        const char* object;
        math::Vec3 eye, at, point;
    } excluded[] = {
        {"oil_stain", {250, 200, -200}, {250, 0, -50}, {250, 0.5f, -50}},
        {"curtain", {-250, 80, 0}, {-420, 80, 0}, {-420, 100, 0}},
    };
    for (const Excluded& e : excluded) {
        SCOPED_TRACE(e.object);
        ObjectRecord* h = Find(e.object);
        ASSERT_NE(h, nullptr);
        g_PostProcess.ClearBWObjects();
        g_PostProcess.AddObjectToBW(h);
        PictureAt(e.eye, e.at);
        const std::vector<uint32_t> image = ReadTarget(EPostProcess::BW);
        uint32_t x = 0, y = 0;
        ASSERT_TRUE(Project(e.point, &x, &y));
        int white = 0;
        for (uint32_t dy = 0; dy < 4; ++dy)
            for (uint32_t dx = 0; dx < 4; ++dx)
                white += (image[(y / 2 + dy) * (kW / 2) + x / 2 + dx] & 0xFFFFFF) == 0xFFFFFF;
        EXPECT_EQ(white, 0);
        EXPECT_EQ(image[(y / 2) * (kW / 2) + x / 2] & 0xFFFFFF, bwColour);
    }
}

TEST_F(PostProcessChainRun, TheDepthTargetBlursANearCrateMoreThanTheWallInFocusAndLeavesTheCurtainOut) {
    OptionMV08 = true;
    // Along the view the north wall; the barrel (a crate) near, below left.
    // The camera jumps here, as a cut-scene's does: the behaviour layer's
    // camera finder, which follows a camera only after it has moved 256
    // units, is told so; from where it stood the barrel lies outside it.
    const math::Vec3 eye{-50, 100, -100}, at{-50, 100, 504};
    g_EngineObject.InvalidateCameraPosition();
    PictureAt(eye, at, 4);
    EXPECT_NEAR(g_PostProcess.m_fFocus, 604.0f, 12.0f) << "the focus is on the wall";
    const DepthBlur wall = DepthAt({-50, 100, 504});
    const DepthBlur crate = DepthAt({-150, 40, 118});
    EXPECT_NEAR(wall.depth, 604.0f, 12.0f);
    EXPECT_LT(wall.blur, 0.01f);
    EXPECT_NEAR(crate.depth, 218.0f, 30.0f);
    EXPECT_GT(crate.blur, wall.blur + 0.03f);

    // Through the grate curtain's bars and holes the depth is never the
    // curtain's own (170 units away).
    const math::Vec3 curtainEye{-250, 100, 0}, curtainAt{-420, 100, 0};
    g_EngineObject.InvalidateCameraPosition();
    PictureAt(curtainEye, curtainAt, 4);
    for (float z = -40.0f; z <= 40.0f; z += 4.0f) {
        const DepthBlur d = DepthAt({-420, 100, z});
        EXPECT_GT(std::abs(d.depth - 170.0f), 10.0f) << z;
    }
}

class PostProcessChainHDRRun : public PostProcessChainRun {
  protected:
    PostProcessChainHDRRun() { hdr_ = true; }

    // Two frames at the pose: the first measures the scene, the eye is then
    // set to `lag` times the measured luminance for the second (whose own
    // adaptation step is a frame's time: next to nothing).
    static std::vector<uint32_t> PictureWithEye(const math::Vec3& eye, const math::Vec3& at, float lag) {
        Place(eye, at);
        ChainFrame();
        g_PostProcess.m_fAdaptedLuminance = g_PostProcess.m_fMeasuredLuminance * lag;
        Place(eye, at);
        ChainFrame();
        return ReadBack();
    }
    static double Mean(const std::vector<uint32_t>& picture) {
        double sum = 0;
        for (uint32_t p : picture)
            sum += Channels(p).Sum();
        return sum / (3.0 * double(picture.size()));
    }
};

TEST_F(PostProcessChainHDRRun,
       TheAdaptedEyeKeepsThePictureALaggingOneBrightensOrDarkensItWhiteStaysBelowFull) {
    ASSERT_TRUE(g_PostProcess.HDRRunsInThisWorld());
    g_PostProcess.m_fBloomPower = 0.0f; // the tone mapping alone
    struct Pose {
        const char* name;
        math::Vec3 eye, at;
    } poses[] = {
        {"the bright panel filling the view", kPanelEye, kPanelAt},
        {"the crate-textured wall and the floor", {0, 150, 0}, {0, 100, 504}},
    };
    for (const Pose& pose : poses) {
        SCOPED_TRACE(pose.name);
        OptionMV21 = false;
        const std::vector<uint32_t> plain = PictureAt(pose.eye, pose.at);
        OptionMV21 = true;
        PictureAt(pose.eye, pose.at);
        ASSERT_GT(g_PostProcess.m_fMeasuredLuminance, 0.05f) << "lit";

        const std::vector<uint32_t> adapted = PictureWithEye(pose.eye, pose.at, 1.0f);
        const std::vector<uint32_t> intoLight = PictureWithEye(pose.eye, pose.at, 0.5f);
        const std::vector<uint32_t> intoShadow = PictureWithEye(pose.eye, pose.at, 2.0f);
        const double plainMean = Mean(plain), adaptedMean = Mean(adapted);
        EXPECT_NEAR(adaptedMean, plainMean, plainMean * 0.2) << "the mid-tones keep their brightness";
        EXPECT_GT(Mean(intoLight), adaptedMean * 1.08) << "just stepped into light";
        EXPECT_LT(Mean(intoShadow), adaptedMean * 0.92) << "just stepped into shadow";
    }

    // The near-white panel: bent below full by the shoulder, not far below
    // its own colour, and still below full with the eye lagging in light.
    OptionMV21 = false;
    const Rgb panel = Pixel(PictureAt(kPanelEye, kPanelAt), kPanelMiddle);
    OptionMV21 = true;
    ASSERT_GT(panel.Sum(), 600);
    for (float lag : {1.0f, 0.5f}) {
        const Rgb hdr = Pixel(PictureWithEye(kPanelEye, kPanelAt, lag), kPanelMiddle);
        EXPECT_LT(std::max({hdr.r, hdr.g, hdr.b}), 255) << lag;
        EXPECT_GT(hdr.Sum(), panel.Sum() * 8 / 10) << lag;
    }
}

// The eye at the chain's start: a world opens (with the eye as the process
// starts it, at 0), and frames 1, 30 and 300 of the chain show a pixel of
// the crate-textured north wall alike: the first measurement sets the eye
// instead of a dark eye over-exposing the picture for seconds.
TEST_F(PostProcessChainHDRRun, TheFirstFramesOfTheChainAreExposedLikeTheFramesAfterThem) {
    const math::Vec3 eye{0, 150, 0}, at{0, 100, 504};
    g_PostProcess.m_fAdaptedLuminance = 0.0f;
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    g_Engine.m_bWorldShown = 1;
    for (int set = 0; set < 4; ++set)
        g_EnvironmentSettings.SetAmbientColor(0xFFFFFF, set);
    ASSERT_TRUE(g_PostProcess.HDRRunsInThisWorld());
    LevelFrame(100);
    PictureAt(eye, at, 5); // the world drawn without the chain
    LevelFrame(151);
    std::vector<Rgb> seen;
    for (int frame = 1; frame <= 300; ++frame) {
        Place(eye, at);
        ChainFrame();
        if (frame == 1 || frame == 30 || frame == 300) seen.push_back(Pixel(ReadBack(), at));
    }
    ASSERT_EQ(seen.size(), 3u);
    for (const Rgb& c : seen) {
        SCOPED_TRACE(testing::Message() << c.r << "," << c.g << "," << c.b);
        EXPECT_GT(c.Sum(), 60) << "lit";
        EXPECT_NEAR(c.Sum(), seen[2].Sum(), seen[2].Sum() / 10);
    }
}

} // namespace
