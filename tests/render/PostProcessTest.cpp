// The post-processing's decisions and state without a device: the
// black-and-white switches and their list, the motion-blur decision of each
// cause, the focus that follows the segment test (200 when nothing is hit,
// the speed, reloading, the ranges), the focus parameters, the target
// luminance, the exposure and the adaptation steps, the measurement of a
// read-back image (the 8 x 8 block from texel 11, 11 through the pitch), and
// the save block at its byte offsets with a count beyond the list.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#define GLM_ENABLE_EXPERIMENTAL
#include <glm/gtc/packing.hpp>

#include "app/CommandMgr.h"
#include "app/FileHelpers.h"
#include "app/VideoConfig.h"
#include "render/EnvironmentSettings.h"
#include "render/PostProcess.h"
#include "tests/EffectDevice.h"
#include "tests/physics/CollisionFixture.h"
#include "world/Camera.h"
#include "world/EngineObject.h"
#include "world/ObeCamera.h"
#include "world/ObjectApi.h"
#include "world/WorldHooks.h"

using math::Vec3;

namespace {

// What the game hook answers in these tests.
PostProcessGameState g_game;

class PostProcessTest : public CollisionTest {
  protected:
    void SetUp() override {
        CollisionTest::SetUp();
        saved_ = g_PostProcess;
        savedHooks_ = TheWorldHooks();
        WorldHooks h = savedHooks_;
        h.PostProcessGame = [] { return g_game; };
        h.PlayerObject = [] { return g_player; };
        InstallWorldHooks(h);
        g_game = PostProcessGameState();
        g_player = nullptr;
        savedOptions_ = {OptionMV16, OptionMV21, MotionBlurOption};
        savedCamera_ = g_Camera;
        savedFrameTime_ = g_Engine.m_fFrameTime;
        savedSky_ = g_EnvironmentSettings;
        g_PostProcess.m_bActive = 1;
    }
    void TearDown() override {
        g_PostProcess = saved_;
        InstallWorldHooks(savedHooks_);
        std::tie(OptionMV16, OptionMV21, MotionBlurOption) = savedOptions_;
        g_Camera = savedCamera_;
        g_Engine.m_fFrameTime = savedFrameTime_;
        g_EnvironmentSettings = savedSky_;
        g_EngineObject.m_bCameraPositioning = false;
        g_EngineObject.m_CameraPositioning = CameraPositioningParams();
        g_ObeCamera.m_bRunning = 0;
        CollisionTest::TearDown();
    }

    // The camera at the origin looking along +z with this far distance.
    static void LookAlongZ(float farZ) {
        orientation o;
        o.SetDirection(Vec3(0, 0, 1));
        g_Camera.SetPosition(Vec3(0, 0, 0));
        g_Camera.SetOrientation(o);
        g_Camera.SetFarZ(farZ);
    }

    static inline ObjectRecord* g_player = nullptr;
    EPostProcess saved_;
    WorldHooks savedHooks_;
    std::tuple<bool, bool, float> savedOptions_;
    ECamera savedCamera_;
    float savedFrameTime_ = 0;
    EnvironmentSettings savedSky_;
};

// An upright quad in the plane z = 0, x and y from -100 to 100.
coltest::Subset Wall() {
    return {{{-100, -100, 0}, {100, -100, 0}, {100, 100, 0}},
            {{-100, -100, 0}, {100, 100, 0}, {-100, 100, 0}}};
}

// ---- Black and white ------------------------------------------------------------------------------

TEST_F(PostProcessTest, BlackAndWhiteHeldStaysOnUntilForcedOff) {
    struct Case {
        const char* name;
        bool hold, force;
        bool onAfter;
    } cases[] = {
        {"held, not forced: stays on", true, false, true},
        {"held, forced: off", true, true, false},
        {"not held, not forced: off", false, false, false},
        {"not held, forced: off", false, true, false},
    };
    for (const Case& c : cases) {
        g_PostProcess.TurnOnBW(c.hold);
        EXPECT_EQ(g_PostProcess.m_bBWOn, 1) << c.name;
        EXPECT_EQ(g_PostProcess.m_bBWHold, c.hold ? 1 : 0) << c.name;
        g_PostProcess.TurnOffBW(c.force);
        EXPECT_EQ(g_PostProcess.m_bBWOn, c.onAfter ? 1 : 0) << c.name;
        EXPECT_EQ(g_PostProcess.m_bBWHold, c.onAfter ? 1 : 0) << c.name;
        g_PostProcess.TurnOffBW(true);
    }
}

TEST_F(PostProcessTest, TheColourListTakesEightLiveObjectsAndIgnoresTheNinth) {
    g_PostProcess.ClearBWObjects();
    std::vector<ObjectRecord*> objects;
    for (int i = 0; i < 9; ++i)
        objects.push_back(Make(OT_MESH));
    ObjectRecord* gone = Make(OT_MESH);
    g_Engine.DeleteObject(gone);
    g_PostProcess.AddObjectToBW(nullptr);
    g_PostProcess.AddObjectToBW(gone);
    EXPECT_EQ(g_PostProcess.m_dwNumBWObjects, 0u) << "null and unused handles are refused";
    for (ObjectRecord* h : objects)
        g_PostProcess.AddObjectToBW(h);
    EXPECT_EQ(g_PostProcess.m_dwNumBWObjects, 8u);
    EXPECT_TRUE(g_PostProcess.IsObjectInBW(objects[7]));
    EXPECT_FALSE(g_PostProcess.IsObjectInBW(objects[8])) << "the ninth is ignored";
    EXPECT_FALSE(g_PostProcess.IsObjectInBW(nullptr));
    g_Engine.DeleteObject(objects[0]);
    EXPECT_FALSE(g_PostProcess.IsObjectInBW(objects[0])) << "a slot no longer in use";
    g_PostProcess.ClearBWObjects();
    EXPECT_FALSE(g_PostProcess.IsObjectInBW(objects[1]));
}

// ---- Motion blur ---------------------------------------------------------------------------------

struct BlurCase {
    const char* name;
    float option; // MotionBlurOption
    float time;   // motion-blur time
    PostProcessGameState game;
    bool forced, cameraBlur, obe;
    bool blur;
};

PostProcessGameState Game(float explosion, float hit, bool dead, bool failed) {
    PostProcessGameState s;
    s.fSecondsSinceExplosion = explosion;
    s.fSecondsSinceBulletHit = hit;
    s.bPlayerDead = dead;
    s.bMissionFailed = failed;
    return s;
}

class MotionBlurDecision : public PostProcessTest, public ::testing::WithParamInterface<BlurCase> {};

TEST_P(MotionBlurDecision, BlursForItsCause) {
    const BlurCase& c = GetParam();
    MotionBlurOption = c.option;
    g_PostProcess.m_fMotionBlurTime = c.time;
    g_game = c.game;
    g_PostProcess.m_bForcedMotionBlur = c.forced ? 1 : 0;
    g_EngineObject.m_bCameraPositioning = c.cameraBlur;
    g_EngineObject.m_CameraPositioning.bMotionBlur = c.cameraBlur ? 1 : 0;
    g_ObeCamera.m_bRunning = c.obe ? 1 : 0;
    g_PostProcess.m_bMotionBlurThisFrame = c.blur ? 0 : 1;
    PreparePostProcess();
    EXPECT_EQ(g_PostProcess.m_bMotionBlurThisFrame, c.blur ? 1 : 0);
}

const PostProcessGameState kCalm = Game(5.0f, 1.0f, false, false);

INSTANTIATE_TEST_SUITE_P(
    Causes, MotionBlurDecision,
    ::testing::Values(
        BlurCase{"Calm", 1.0f, 0.0f, kCalm, false, false, false, false},
        BlurCase{"TimeLeft", 1.0f, 0.2f, kCalm, false, false, false, true},
        BlurCase{"ExplosionJustUnderFour", 1.0f, 0, Game(3.99f, 1, false, false), false, false, false, true},
        BlurCase{"ExplosionAtFour", 1.0f, 0, Game(4.0f, 1, false, false), false, false, false, false},
        BlurCase{"HitJustNow", 1.0f, 0, Game(5, 0.1f, false, false), false, false, false, true},
        BlurCase{"HitAtFifteenHundredths", 1.0f, 0, Game(5, 0.15f, false, false), false, false, false, false},
        BlurCase{"Forced", 1.0f, 0, kCalm, true, false, false, true},
        BlurCase{"PlayerDead", 1.0f, 0, Game(5, 1, true, false), false, false, false, true},
        BlurCase{"MissionFailed", 1.0f, 0, Game(5, 1, false, true), false, false, false, true},
        BlurCase{"BlurringCameraPositioning", 1.0f, 0, kCalm, false, true, false, true},
        BlurCase{"ObeCamera", 1.0f, 0, kCalm, false, false, true, true},
        BlurCase{"OptionAtFifteenHundredths", 0.15f, 0, Game(5, 1, true, false), false, false, false, true},
        BlurCase{"OptionLowDeadPlayerNoTime", 0.1f, 0, Game(5, 1, true, false), false, false, false, false},
        BlurCase{"OptionLowDeadPlayerTimeLeft", 0.1f, 0.3f, Game(5, 1, true, false), false, false, false,
                 true},
        BlurCase{"OptionLowEveryCause", 0.1f, 0, Game(0, 0, true, true), true, true, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PostProcessTest, AnInactiveChainDecidesNothing) {
    g_PostProcess.m_bActive = 0;
    g_PostProcess.m_fMotionBlurTime = 1.0f;
    g_PostProcess.m_bMotionBlurThisFrame = 0;
    g_PostProcess.m_fTargetLuminance = 0.35f;
    OptionMV21 = true;
    g_PostProcess.m_bHDRThisWorld = 1;
    PreparePostProcess();
    EXPECT_EQ(g_PostProcess.m_bMotionBlurThisFrame, 0);
    EXPECT_FLOAT_EQ(g_PostProcess.m_fTargetLuminance, 0.35f);
    g_PostProcess.m_fFocus = 123.0f;
    g_PostProcess.UpdateFocus();
    EXPECT_FLOAT_EQ(g_PostProcess.m_fFocus, 123.0f);
}

// ---- Target luminance ------------------------------------------------------------------------------

TEST_F(PostProcessTest, TheTargetLuminanceIsWrittenOnlyWhileHDRRuns) {
    struct Case {
        const char* name;
        bool option, world, intro;
        int scene;
        float want;
    } cases[] = {
        {"HDR runs", true, true, false, 0, 0.2f},
        {"the intro's first scene", true, true, true, 1, 0.16f},
        {"the intro's second scene", true, true, true, 2, 0.2f},
        {"scene 1 outside the intro", true, true, false, 1, 0.2f},
        {"HDR not in this world: the console's value stays", true, false, false, 0, 0.35f},
        {"HDR option off: the console's value stays", false, true, true, 1, 0.35f},
    };
    for (const Case& c : cases) {
        g_PostProcess.m_fTargetLuminance = 0.35f;
        OptionMV21 = c.option;
        g_PostProcess.m_bHDRThisWorld = c.world ? 1 : 0;
        g_game.bIntroRunning = c.intro;
        g_game.iIntroScene = c.scene;
        PreparePostProcess();
        EXPECT_FLOAT_EQ(g_PostProcess.m_fTargetLuminance, c.want) << c.name;
    }
}

// ---- Focus -----------------------------------------------------------------------------------------

TEST_F(PostProcessTest, WithNothingHitTheFocusReaches200WithinAFrame) {
    LookAlongZ(10240.0f);
    g_Engine.m_fFrameTime = 1.0f / 30.0f;
    for (float from : {0.0f, 150.0f, 400.0f, 500.0f}) {
        g_PostProcess.m_fFocus = from;
        g_PostProcess.UpdateFocus();
        EXPECT_FLOAT_EQ(g_PostProcess.m_fTargetFocus, 200.0f) << from;
        EXPECT_FLOAT_EQ(g_PostProcess.m_fFocus, 200.0f) << "from " << from;
        EXPECT_FLOAT_EQ(g_PostProcess.m_fFocusRange, 8000.0f);
    }
}

TEST_F(PostProcessTest, TheFocusMovesTowardTheHitAtTheLargerOfFarAnd10000PerSecond) {
    Write("models\\wall.x", {Wall()});
    ASSERT_NE(MakeMesh("models\\wall.x", {0, 0, 3000}, 1), nullptr);
    struct Case {
        const char* name;
        float farZ, from, frame;
        float want;
    } cases[] = {
        {"far below 10000: 10000 a second", 5000.0f, 1000.0f, 0.1f, 2000.0f},
        {"far above 10000: far a second", 20000.0f, 0.0f, 0.1f, 2000.0f},
        {"shrinking toward the hit", 20000.0f, 4500.0f, 0.05f, 3500.0f},
        {"stops at the hit", 20000.0f, 2900.0f, 0.1f, 3000.0f},
        {"stops at the hit from beyond", 5000.0f, 3100.0f, 0.1f, 3000.0f},
    };
    for (const Case& c : cases) {
        LookAlongZ(c.farZ);
        g_Engine.m_fFrameTime = c.frame;
        g_PostProcess.m_fFocus = c.from;
        g_PostProcess.UpdateFocus();
        EXPECT_NEAR(g_PostProcess.m_fTargetFocus, 3000.0f, 0.01f) << c.name;
        EXPECT_NEAR(g_PostProcess.m_fFocus, c.want, 0.01f) << c.name;
    }
    // The segment reaches only as far as the camera sees.
    LookAlongZ(2000.0f);
    g_PostProcess.UpdateFocus();
    EXPECT_FLOAT_EQ(g_PostProcess.m_fTargetFocus, 200.0f);
}

TEST_F(PostProcessTest, ThePlayersOwnObjectIsNotFocusedOn) {
    Write("models\\wall.x", {Wall()});
    ObjectRecord* near = MakeMesh("models\\wall.x", {0, 0, 500}, 1);
    ObjectRecord* far = MakeMesh("models\\wall.x", {0, 0, 3000}, 1);
    g_player = near;
    ASSERT_NE(near, nullptr);
    ASSERT_NE(far, nullptr);
    LookAlongZ(10240.0f);
    g_PostProcess.UpdateFocus();
    EXPECT_NEAR(g_PostProcess.m_fTargetFocus, 3000.0f, 0.01f);
    // Once it is not the player's any more it is focused on; hidden objects
    // (flags 0x2000) are passed over.
    g_player = nullptr;
    SetObjectFlags(far, 0x2001, 0xFFFFFFFF);
    g_PostProcess.UpdateFocus();
    EXPECT_NEAR(g_PostProcess.m_fTargetFocus, 500.0f, 0.01f);
    g_player = near;
    g_PostProcess.UpdateFocus();
    EXPECT_FLOAT_EQ(g_PostProcess.m_fTargetFocus, 200.0f);
}

TEST_F(PostProcessTest, TheFocusRangeFollowsTheIntroAndTheAimAndReloadingHoldsItClose) {
    LookAlongZ(10240.0f);
    struct Case {
        const char* name;
        bool intro;
        float aim;
        bool reloading;
        float range, focus;
    } cases[] = {
        {"normally", false, 0.0f, false, 8000.0f, 200.0f},
        {"aim at 0.1", false, 0.1f, false, 8000.0f, 200.0f},
        {"aiming", false, 0.5f, false, 2000.0f, 200.0f},
        {"in the intro", true, 0.0f, false, 18000.0f, 200.0f},
        {"aiming in the intro", true, 0.5f, false, 18000.0f, 200.0f},
        {"reloading", false, 0.5f, true, 4000.0f, 16.0f},
    };
    for (const Case& c : cases) {
        g_game.bIntroRunning = c.intro;
        g_game.fAimProgress = c.aim;
        g_game.bReloading = c.reloading;
        g_Engine.m_fFrameTime = 1.0f;
        g_PostProcess.m_fFocus = 700.0f;
        g_PostProcess.UpdateFocus();
        EXPECT_FLOAT_EQ(g_PostProcess.m_fFocusRange, c.range) << c.name;
        EXPECT_FLOAT_EQ(g_PostProcess.m_fFocus, c.focus) << c.name;
        EXPECT_FLOAT_EQ(g_PostProcess.m_fTargetFocus, c.focus) << c.name;
    }
}

TEST_F(PostProcessTest, FocusParamsGiveTheInverseRangeAndARangeOfZeroCountsAsOne) {
    EffectDevice d;
    ASSERT_NE(d.dev, nullptr);
    effect::Effect* e = d.Make(R"(
parameter float g_FocalRange = -1.0;
parameter float g_FocalDist = -1.0;
input float3 aPos : POSITION;
glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }
glsl fragment fs { void main() { FragColor = vec4(g_FocalRange, g_FocalDist, 0.0, 1.0); } }
technique T { pass { vertex vs; fragment fs; } }
)");
    ASSERT_NE(e, nullptr);
    auto value = [e](const char* name) {
        float v = 0;
        e->GetFloat(e->GetParameterByName(effect::Handle(), name), &v);
        return v;
    };
    g_PostProcess.m_fFocus = 640.0f;
    g_PostProcess.m_fFocusRange = 8000.0f;
    g_PostProcess.SetFocusParams(e);
    EXPECT_FLOAT_EQ(value("g_FocalRange"), 1.0f / 8000.0f);
    EXPECT_FLOAT_EQ(value("g_FocalDist"), 640.0f);
    g_PostProcess.m_fFocusRange = 0.0f;
    g_PostProcess.SetFocusParams(e);
    EXPECT_FLOAT_EQ(value("g_FocalRange"), 1.0f);
    EXPECT_FLOAT_EQ(g_PostProcess.m_fFocusRange, 1.0f) << "the range is stored as 1.0";
    // An inactive chain and a null effect set nothing.
    g_PostProcess.m_bActive = 0;
    g_PostProcess.m_fFocus = 5.0f;
    g_PostProcess.SetFocusParams(e);
    g_PostProcess.SetFocusParams(nullptr);
    EXPECT_FLOAT_EQ(value("g_FocalDist"), 640.0f);
    e->Release();
}

// ---- Adaptation and exposure ---------------------------------------------------------------------

TEST_F(PostProcessTest, TheAdaptedLuminanceStepsTowardTheMeasuredOneAndStops) {
    g_PostProcess.m_fMeasuredLuminance = 0.5f;
    g_PostProcess.m_fAdaptedLuminance = 0.1f;
    g_PostProcess.m_bEyeSet = 1;
    for (int frame = 1; frame <= 25; ++frame) {
        g_PostProcess.AdaptLuminance(0.5f, false);
        const float want = frame >= 20 ? 0.5f : 0.1f + 0.02f * float(frame);
        EXPECT_NEAR(g_PostProcess.m_fAdaptedLuminance, want, 1e-5f) << "frame " << frame;
    }
    EXPECT_EQ(g_PostProcess.m_fAdaptedLuminance, 0.5f) << "exactly the measured value";
    // Downward, half as fast in the intro, landing on the measured value.
    g_PostProcess.m_fMeasuredLuminance = 0.45f;
    g_PostProcess.AdaptLuminance(1.0f, true);
    EXPECT_NEAR(g_PostProcess.m_fAdaptedLuminance, 0.48f, 1e-6f);
    g_PostProcess.AdaptLuminance(1.0f, true);
    g_PostProcess.AdaptLuminance(1.0f, true);
    EXPECT_EQ(g_PostProcess.m_fAdaptedLuminance, 0.45f);
    // Less than one step away: there after one frame.
    g_PostProcess.m_fMeasuredLuminance = 0.4501f;
    g_PostProcess.AdaptLuminance(0.5f, false);
    EXPECT_EQ(g_PostProcess.m_fAdaptedLuminance, 0.4501f);
}

TEST_F(PostProcessTest, TheExposureIsTargetOverAdaptedAndOneWithoutEither) {
    struct Case {
        float target, adapted, want;
    } cases[] = {
        {0.2f, 0.1f, 2.0f}, {0.2f, 0.8f, 0.25f}, {0.0f, 0.5f, 1.0f}, {0.2f, 0.0f, 1.0f}, {0.0f, 0.0f, 1.0f},
    };
    for (const Case& c : cases) {
        g_PostProcess.m_fTargetLuminance = c.target;
        g_PostProcess.m_fAdaptedLuminance = c.adapted;
        EXPECT_FLOAT_EQ(g_PostProcess.Iloraz(), c.want) << c.target << " / " << c.adapted;
    }
}

// ---- Measurement -----------------------------------------------------------------------------------

// A 32 x 32 half-float image with rows `pitch` bytes apart: `outside`
// everywhere (the row padding too), `inside` on the 8 x 8 block from
// texel (11, 11).
std::vector<uint8_t> Image(uint32_t pitch, const float outside[3], const float inside[3]) {
    std::vector<uint8_t> image(size_t(pitch) * 32);
    for (uint32_t y = 0; y < 32; ++y) {
        for (uint32_t x = 0; x < pitch / 8; ++x) {
            const bool in = x >= 11 && x < 19 && y >= 11 && y < 19;
            const float* c = in ? inside : outside;
            const uint16_t texel[4] = {glm::packHalf1x16(c[0]), glm::packHalf1x16(c[1]),
                                       glm::packHalf1x16(c[2]), glm::packHalf1x16(1.0f)};
            std::memcpy(&image[size_t(y) * pitch + size_t(x) * 8], texel, sizeof texel);
        }
    }
    return image;
}

TEST_F(PostProcessTest, TheMeasurementReadsTheBlockFromTexel11ThroughTheLocksPitch) {
    g_EnvironmentSettings.SetSkyLightColor(0x00C8B4A0u); // 200, 180, 160
    const float bright[3] = {9.0f, 7.0f, 5.0f};
    struct Case {
        const char* name;
        float inside[3];
        float luminance;
        Vec3 colour; // before the mix toward the sky
    } cases[] = {
        {"a grey block", {0.5f, 0.5f, 0.5f}, 0.5f, Vec3(1, 1, 1) / std::sqrt(3.0f)},
        {"a coloured block",
         {0.5f, 1.5f, 0.25f},
         0.2126f * 0.5f + 0.7152f * 1.5f + 0.0722f * 0.25f,
         Vec3(0.5f, 1.5f, 0.25f) / std::sqrt(0.25f + 2.25f + 0.0625f)},
        {"a black block: the colour stays 0", {0, 0, 0}, 0.0f, Vec3(0, 0, 0)},
    };
    // Rows of exactly 32 texels, and rows padded with the bright colour:
    // a reader that ignores the pitch would meet it.
    for (uint32_t pitch : {256u, 256u + 40u}) {
        for (const Case& c : cases) {
            const std::vector<uint8_t> image = Image(pitch, bright, c.inside);
            g_PostProcess.MeasureImage(image.data(), int32_t(pitch));
            EXPECT_NEAR(g_PostProcess.m_fMeasuredLuminance, c.luminance, 1e-5f)
                << c.name << ", pitch " << pitch;
            const math::Vec4 s = g_PostProcess.m_vSceneColor;
            EXPECT_NEAR(s.x, c.colour.x + (200.0f - c.colour.x) * 0.6f, 1e-4f) << c.name;
            EXPECT_NEAR(s.y, c.colour.y + (180.0f - c.colour.y) * 0.6f, 1e-4f) << c.name;
            EXPECT_NEAR(s.z, c.colour.z + (160.0f - c.colour.z) * 0.6f, 1e-4f) << c.name;
            EXPECT_EQ(s.w, 0.0f);
        }
    }
    // The texels around the block are not read.
    const float black[3] = {0, 0, 0};
    g_PostProcess.MeasureImage(Image(256, bright, black).data(), 256);
    EXPECT_EQ(g_PostProcess.m_fMeasuredLuminance, 0.0f);
}

TEST(PostProcessLuminance, ATexelsLuminanceTakesTheBT709Weights) {
    const uint16_t red[4] = {0x3C00, 0, 0, 0x3C00}, green[4] = {0, 0x3C00, 0, 0}, blue[4] = {0, 0, 0x3C00, 0};
    EXPECT_FLOAT_EQ(EPostProcess::PixelLuminance(red), 0.2126f);
    EXPECT_FLOAT_EQ(EPostProcess::PixelLuminance(green), 0.7152f);
    EXPECT_FLOAT_EQ(EPostProcess::PixelLuminance(blue), 0.0722f);
    const uint16_t bright[4] = {0x4400, 0x4400, 0x4400, 0}; // 4.0 each
    EXPECT_FLOAT_EQ(EPostProcess::PixelLuminance(bright), 4.0f);
}

// ---- The save block --------------------------------------------------------------------------------

std::vector<uint8_t> FileBytes(std::FILE* f) {
    std::vector<uint8_t> bytes(size_t(std::ftell(f)));
    std::rewind(f);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    return bytes;
}
template <typename T> T At(const std::vector<uint8_t>& b, size_t offset) {
    T v{};
    std::memcpy(&v, &b[offset], sizeof v);
    return v;
}

TEST_F(PostProcessTest, TheSaveBlockLiesAtItsByteOffsetsAndComesBack) {
    ObjectRecord* a = Make(OT_MESH);
    ObjectRecord* b = Make(OT_MESH);
    EPostProcess& pp = g_PostProcess;
    pp.m_bForcedMotionBlur = 1;
    pp.m_bBWHold = 0;
    pp.m_bBWOn = 1;
    pp.m_bMonochromatic = 1;
    pp.m_bMotionBlurThisFrame = 0;
    pp.ClearBWObjects();
    pp.AddObjectToBW(a);
    pp.AddObjectToBW(b);
    pp.m_fRedTintTime = 0.75f;
    pp.m_fMotionBlurTime = 0.5f;
    pp.SetAODepth(48.0f);
    pp.SetAOIntensity(0.5f);

    std::FILE* f = std::tmpfile();
    g_BytesWritten = 0;
    pp.Save(f);
    EXPECT_EQ(g_BytesWritten, EPostProcess::SaveBlockBytes(2));
    const std::vector<uint8_t> bytes = FileBytes(f);
    ASSERT_EQ(bytes.size(), 49u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 5), (std::vector<uint8_t>{1, 0, 1, 1, 0}));
    EXPECT_EQ(At<uint32_t>(bytes, 5), 2u);
    EXPECT_EQ(At<float>(bytes, 9), 0.75f);
    EXPECT_EQ(At<float>(bytes, 13), 0.5f);
    EXPECT_EQ(At<float>(bytes, 17), 48.0f);
    EXPECT_EQ(At<float>(bytes, 21), 500.0f);
    EXPECT_EQ(std::memcmp(&bytes[25], &a->Pesel, 12), 0);
    EXPECT_EQ(std::memcmp(&bytes[37], &b->Pesel, 12), 0);

    pp.m_bForcedMotionBlur = pp.m_bBWOn = pp.m_bMonochromatic = 0;
    pp.m_bBWHold = pp.m_bMotionBlurThisFrame = 1;
    pp.ClearBWObjects();
    pp.m_fRedTintTime = pp.m_fMotionBlurTime = pp.m_fAODepth = pp.m_fAOIntensity = 0;
    std::rewind(f);
    g_BytesRead = 0;
    pp.Load(f);
    EXPECT_EQ(g_BytesRead, 49u);
    EXPECT_EQ(pp.m_bForcedMotionBlur, 1);
    EXPECT_EQ(pp.m_bBWHold, 0);
    EXPECT_EQ(pp.m_bBWOn, 1);
    EXPECT_EQ(pp.m_bMonochromatic, 1);
    EXPECT_EQ(pp.m_bMotionBlurThisFrame, 0);
    EXPECT_EQ(pp.m_dwNumBWObjects, 2u);
    EXPECT_TRUE(pp.IsObjectInBW(a));
    EXPECT_TRUE(pp.IsObjectInBW(b));
    EXPECT_EQ(pp.m_fRedTintTime, 0.75f);
    EXPECT_EQ(pp.m_fMotionBlurTime, 0.5f);
    EXPECT_EQ(pp.m_fAODepth, 48.0f);
    EXPECT_EQ(pp.m_fAOIntensity, 500.0f);
    std::fclose(f);

    // A null stream does nothing.
    pp.Save(nullptr);
    pp.Load(nullptr);
    EXPECT_EQ(pp.m_dwNumBWObjects, 2u);
}

TEST_F(PostProcessTest, ACountOfNineKeepsEightAndTheNextBlockStillReads) {
    std::vector<ObjectRecord*> objects;
    for (int i = 0; i < 9; ++i)
        objects.push_back(Make(OT_MESH));
    // A block written by hand: flags, count 9, the four floats, nine
    // references; then the next block's first word.
    std::FILE* f = std::tmpfile();
    for (int i = 0; i < 5; ++i)
        FileWriteBool(f, false);
    FileWrite32(f, uint32_t(9));
    for (float v : {0.1f, 0.2f, 0.3f, 0.4f})
        FileWrite32(f, v);
    for (ObjectRecord* h : objects)
        FileWritePesel(f, h);
    FileWrite32(f, uint32_t(0xC0FFEE));
    std::rewind(f);
    g_BytesRead = 0;
    g_PostProcess.Load(f);
    EXPECT_EQ(g_BytesRead, EPostProcess::SaveBlockBytes(9));
    EXPECT_EQ(g_PostProcess.m_dwNumBWObjects, 8u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(g_PostProcess.m_hBWObjects[i], objects[size_t(i)]) << i;
    EXPECT_FALSE(g_PostProcess.IsObjectInBW(objects[8]));
    EXPECT_FLOAT_EQ(g_PostProcess.m_fAOIntensity, 0.4f);
    uint32_t next = 0;
    FileRead32(f, &next);
    EXPECT_EQ(next, 0xC0FFEEu) << "the next block starts where it was written";
    // A count far beyond the file stops at its end.
    std::rewind(f);
    for (int i = 0; i < 5; ++i)
        FileWriteBool(f, false);
    FileWrite32(f, uint32_t(0xFFFFFFFF));
    std::rewind(f);
    g_PostProcess.Load(f);
    EXPECT_EQ(g_PostProcess.m_dwNumBWObjects, 8u);
    EXPECT_TRUE(std::feof(f));
    std::fclose(f);
}

} // namespace
