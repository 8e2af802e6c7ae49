// The engine frame: the frame timer with its clamps and scales, and the
// engine update's gates, deferred deletion and published values.
#include <gtest/gtest.h>

#include <cfloat>
#include <limits>

#include "WorldFixture.h"
#include "app/Console.h"
#include "app/FocusMgr.h"
#include "app/Options.h"
#include "app/Timer.h"
#include "world/Engine.h"

namespace {

uint64_t g_Ticks = 0; // microseconds
uint64_t Counter() {
    return g_Ticks;
}
uint64_t Frequency() {
    return 1000000;
}
uint32_t Milliseconds() {
    return uint32_t(g_Ticks / 1000);
}

} // namespace

class EngineFrameTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        TimerClock clock = {Counter, Frequency, Milliseconds};
        DXUtilTimerSetClock(&clock);
        g_Ticks = 1000000;
        savedSpeed_ = GlobalTimeSpeed;
        GlobalTimeSpeed = 1.0f;
        g_bLongFrameTimeClamp = false;
        g_Engine.m_bFastForward = 0;
        g_Engine.m_bWorldTimeRunning = 0;
        g_Engine.m_fWorldTime = 0;
        g_Engine.m_fLastTime = DXUtilTimer(TIMER_GETABSOLUTETIME);
    }
    void TearDown() override {
        DXUtilTimerSetClock(nullptr);
        GlobalTimeSpeed = savedSpeed_;
        g_bLongFrameTimeClamp = false;
        g_Engine.m_bFastForward = 0;
        g_Engine.m_bInitialized = 0;
        g_FocusMgr.m_bOnFocus = false;
        WorldTest::TearDown();
    }
    static void Advance(double seconds) { g_Ticks += uint64_t(seconds * 1e6 + 0.5); }
    float savedSpeed_ = 1.0f;
};

TEST_F(EngineFrameTest, FrameTimeIsClampedScaledAndSummedOverSkippedCalls) {
    struct Step {
        double advance;
        bool due;
        float frameTime;
    };
    struct Case {
        const char* what;
        bool intro;
        float speed;
        bool fastForward;
        std::vector<Step> steps;
    } cases[] = {
        {"two calls within 1 ms add up to the next",
         false,
         1.0f,
         false,
         {{0.0005, false, 0}, {0.0004, false, 0}, {0.0003, true, 0.0012f}}},
        {"a 3 s stall gives 0.5 s", false, 1.0f, false, {{3.0, true, 0.5f}, {0.02, true, 0.02f}}},
        {"2.0 s in the intro world", true, 1.0f, false, {{3.0, true, 2.0f}, {1.5, true, 1.5f}}},
        {"GlobalTimeSpeed scales after the clamp",
         false,
         0.5f,
         false,
         {{0.1, true, 0.05f}, {3.0, true, 0.25f}}},
        {"fast forward runs 100 times faster", false, 1.0f, true, {{0.01, true, 1.0f}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_bLongFrameTimeClamp = c.intro;
        GlobalTimeSpeed = c.speed;
        g_Engine.m_bFastForward = c.fastForward;
        g_Engine.m_fLastTime = DXUtilTimer(TIMER_GETABSOLUTETIME);
        for (const Step& s : c.steps) {
            g_Engine.m_fFrameTime = -1;
            Advance(s.advance);
            EXPECT_EQ(g_Engine.EngineFrameTiming(), s.due) << s.advance;
            if (s.due)
                EXPECT_NEAR(g_Engine.m_fFrameTime, s.frameTime, 1e-5) << s.advance;
            else
                EXPECT_EQ(g_Engine.m_fFrameTime, -1.0f);
        }
    }
}

TEST_F(EngineFrameTest, WorldTimeAndFramesPerSecondFollowTheFrames) {
    GlobalTimeSpeed = 0.5f;
    g_Engine.m_bWorldTimeRunning = 1;
    g_Engine.m_fWorldTime = 0;
    g_Engine.m_dwFpsFrames = 0;
    g_Engine.m_fFpsAccumulator = 0;
    for (int i = 0; i < 3; ++i) {
        Advance(0.02);
        ASSERT_TRUE(g_Engine.EngineFrameTiming());
    }
    // Three unscaled 0.02 s frames pass 0.05 s: 3 / 0.06 frames per second.
    EXPECT_NEAR(g_Engine.m_fFps, 50.0f, 1e-3);
    EXPECT_EQ(g_Engine.m_dwFpsFrames, 0u);
    // World time runs with the scaled time.
    EXPECT_NEAR(g_Engine.m_fWorldTime, 0.03f, 1e-5);
}

TEST_F(EngineFrameTest, TheFrameNeedsFocusAndInitialisation) {
    struct Case {
        bool focus, initialised, runs;
    } cases[] = {{false, false, false}, {true, false, false}, {false, true, false}, {true, true, true}};
    for (const Case& c : cases) {
        g_FocusMgr.m_bOnFocus = c.focus;
        g_Engine.m_bInitialized = c.initialised;
        const uint32_t before = g_Engine.m_dwFrameNumber;
        EXPECT_EQ(g_Engine.EngineFrame(), c.runs);
        EXPECT_EQ(g_Engine.m_dwFrameNumber, before + (c.runs ? 1 : 0));
    }
}

TEST_F(EngineFrameTest, MarkedObjectsGoAtTheEndOfTheFrameAndTheCountIsPublished) {
    g_FocusMgr.m_bOnFocus = true;
    g_Engine.m_bInitialized = 1;
    ObjectRecord* keep = Make(OT_MESH, {}, "keep");
    ObjectRecord* mesh = Make(OT_MESH, {}, "gone");
    AddObjectParams light;
    light.dwType = OT_LIGHT;
    ObjectRecord* lamp = g_Engine.AddObject(light);
    ObjectRecord* guard = Make(OT_SKINMESH, {}, "guard");
    ASSERT_TRUE(keep && mesh && lamp && guard);
    mesh->bToDelete = 1;
    lamp->bToDelete = 1;
    guard->bToDelete = 1;
    std::memset(&g_EngineSharedFlags, 0xFF, sizeof g_EngineSharedFlags);
    g_Engine.m_bFastForward = 1;
    ASSERT_TRUE(g_Engine.EngineFrame());
    EXPECT_TRUE(keep->bUsed);
    EXPECT_FALSE(mesh->bUsed);
    EXPECT_FALSE(lamp->bUsed);
    EXPECT_FALSE(guard->bUsed);
    EXPECT_EQ(g_Engine.NumObjects(), 1);
    ConsoleVariable* total = g_Console.FindVariable("TotalObjects");
    ASSERT_TRUE(total);
    EXPECT_EQ(total->fValue, 1.0f);
    // Shared flags start every frame at zero; fast forward ends without a cut-scene.
    const EngineSharedFlags zero{};
    EXPECT_EQ(std::memcmp(&g_EngineSharedFlags, &zero, sizeof zero), 0);
    EXPECT_EQ(g_Engine.m_bFastForward, 0);
    EXPECT_EQ(g_Engine.m_bWorldTimeRunning, 1);
}

// The time scale may come from the console, scripts or actions as any value:
// the frame time stays a number within 0 and 100 times the clamped step.
TEST_F(EngineFrameTest, AnyTimeScaleGivesAFrameTimeInItsBounds) {
    struct Case {
        float speed;
        float frameTime; // of a 0.02 s step
    } cases[] = {
        {std::numeric_limits<float>::quiet_NaN(), 0.0f},
        {std::numeric_limits<float>::infinity(), 2.0f},
        {-std::numeric_limits<float>::infinity(), 0.0f},
        {FLT_MAX, 2.0f},
        {-FLT_MAX, 0.0f},
        {-1.0f, 0.0f},
        {250.0f, 2.0f},
        {3.0f, 0.06f},
    };
    for (const Case& c : cases) {
        GlobalTimeSpeed = c.speed;
        Advance(0.02);
        ASSERT_TRUE(g_Engine.EngineFrameTiming());
        EXPECT_NEAR(g_Engine.m_fFrameTime, c.frameTime, 1e-5) << c.speed;
    }
    // With fast forward on and the longest step, the bound still holds.
    GlobalTimeSpeed = FLT_MAX;
    g_Engine.m_bFastForward = 1;
    Advance(10.0);
    ASSERT_TRUE(g_Engine.EngineFrameTiming());
    EXPECT_FLOAT_EQ(g_Engine.m_fFrameTime, 0.5f * 100.0f * 100.0f);
}
