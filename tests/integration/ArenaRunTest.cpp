// The player's arena run in this process, frame by frame on the stepped clock
// (30 frames a second): he starts at "game_start_point", walks and runs at
// his speeds and stops by friction, climbs the 16-unit stairs but not the
// 20-unit ones, rides the platform, the switch opens the door, the zones and
// the console's rows reach him. Then a script played in this process and by
// the real game headless: the pillars its screenshots show.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "actors/player/Player.h"
#include "app/CommandMgr.h"
#include "app/Console.h"
#include "app/InputScript.h"
#include "app/Mouse.h"
#include "app/TextMgr.h"
#include "platform/input/Input.h"
#include "platform/math/Math.h"
#include "tests/integration/BmpFile.h"
#include "tests/integration/GameProcess.h"
#include "tests/integration/InProcessWorld.h"
#include "world/Camera.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

constexpr int32_t CMD_RUN = 1, CMD_FORWARD = 3;
constexpr float kFeet = 36.0f; // the standing body's feet below his position
constexpr float kFrame = 1.0f / 30.0f;

class ArenaRun : public InProcessWorld {
  protected:
    void SetUp() override {
        InProcessWorld::SetUp();
        mucha = false;
        g_CommandMgr.SetDefaults();
        ReleaseKeys();
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\arena.w")) << Log();
        // Movement input counts from level frame 220.
        RunFrames(225);
    }
    void TearDown() override {
        ReleaseKeys();
        g_Mouse.m_State = {};
        InProcessWorld::TearDown();
    }

    static void Hold(int32_t command, bool down = true) {
        g_CommandMgr.m_KeyStates[g_CommandMgr.GetBinding(uint32_t(command), 0)] = down ? 1 : 0;
    }
    static void ReleaseKeys() {
        std::fill(std::begin(g_CommandMgr.m_KeyStates), std::end(g_CommandMgr.m_KeyStates), 0);
    }
    static float Across(const math::Vec3& a, const math::Vec3& b) { return std::hypot(a.x - b.x, a.z - b.z); }
    static float Feet() { return g_Player.m_vPosition.y - kFeet; }
    // Placed standing at (x, z) looking along +z, at rest.
    static void PutAt(float x, float z, float feet = 0.0f) {
        g_Mouse.m_State.yaw = 0;
        g_Mouse.m_State.pitch = 0;
        g_Player.TeleportTo(math::Vec3(x, feet + kFeet + 0.5f, z));
        RunFrames(10);
    }
    static math::Vec3 ObjectAt(const char* name) {
        math::Vec3 p;
        ObjectRecord* h = g_Engine.FindObjectByName(name);
        EXPECT_NE(h, nullptr) << name;
        if (h) GetObjectPosition(h, &p);
        return p;
    }
};

TEST_F(ArenaRun, HeStartsAtTheStartPointWalksAndRunsAtTheirSpeedsAndFrictionStopsHim) {
    EXPECT_NEAR(g_Player.m_vPosition.x, 0.0f, 0.5f);
    EXPECT_NEAR(g_Player.m_vPosition.z, -600.0f, 0.5f);
    EXPECT_NEAR(Feet(), 0.0f, 3.0f) << "on the floor";
    EXPECT_NEAR(g_Mouse.m_State.yaw, 0.0, 1e-6) << "facing the start point's way";

    const struct {
        const char* name;
        int32_t extra;
        float speed;
    } cases[] = {{"walk", 0, 180.0f}, {"run", CMD_RUN, 420.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const math::Vec3 start = g_Player.m_vPosition;
        Hold(CMD_FORWARD);
        if (c.extra) Hold(c.extra);
        RunFrames(30);
        EXPECT_NEAR(Across(g_Player.m_vPosition, start), c.speed, c.speed * 0.05f);
        EXPECT_NEAR(g_Player.m_vPosition.x, start.x, 0.5f) << "straight ahead";
        ReleaseKeys();
        const math::Vec3 released = g_Player.m_vPosition;
        RunFrames(15);
        // Each frame on ground without input keeps (0.95 - dt) x 0.45 of the speed.
        EXPECT_LT(Across(g_Player.m_vPosition, released), c.speed * kFrame * 1.2f);
        EXPECT_EQ(std::hypot(g_Player.m_vVelocity.x, g_Player.m_vVelocity.z), 0.0f);
    }
}

TEST_F(ArenaRun, SixteenUnitStairsAreClimbedTwentyUnitOnesAreNot) {
    const struct {
        const char* stairs;
        bool climbed;
    } cases[] = {{"arena_stairs16", true}, {"arena_stairs20", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stairs);
        const math::Vec3 foot = ObjectAt(c.stairs);
        PutAt(foot.x, foot.z - 60.0f);
        Hold(CMD_FORWARD);
        // Five steps of 32 from the foot: on the top step after 1.4 s.
        RunFrames(42);
        ReleaseKeys();
        if (c.climbed) {
            EXPECT_NEAR(Feet(), 80.0f, 3.0f) << "on the top step";
        } else {
            EXPECT_LT(Feet(), 4.0f) << "still on the floor";
            EXPECT_LT(g_Player.m_vPosition.z, foot.z);
        }
    }
}

TEST_F(ArenaRun, ThePlatformCarriesHim) {
    // Onto the platform in the middle of its way (it rides 600 .. 1100 and
    // back at 120 a second), so that it keeps going one way meanwhile.
    for (int i = 0; i < 300 && std::fabs(ObjectAt("arena_platform").x - 850.0f) > 20.0f; ++i)
        RunFrames(1);
    const math::Vec3 platform = ObjectAt("arena_platform");
    ASSERT_NEAR(platform.x, 850.0f, 20.0f);
    PutAt(platform.x, platform.z, 16.0f);
    ASSERT_NEAR(Feet(), 16.0f, 3.0f) << "standing on the platform";
    const math::Vec3 before = g_Player.m_vPosition, platformBefore = ObjectAt("arena_platform");
    RunFrames(20);
    const math::Vec3 moved = ObjectAt("arena_platform") - platformBefore;
    ASSERT_NEAR(std::fabs(moved.x), 80.0f, 8.0f) << "the platform rides its path";
    EXPECT_NEAR(g_Player.m_vPosition.x - before.x, moved.x, 4.0f);
    EXPECT_NEAR(g_Player.m_vPosition.z, before.z, 1.0f);
    EXPECT_NEAR(Feet(), 16.0f, 3.0f) << "still on it";
}

TEST_F(ArenaRun, TheConsolesRowsReachHim) {
    g_Console.ExecLine("Teleport arena_floor");
    EXPECT_NEAR(g_Player.m_vPosition.x, 0.0f, 1e-3f);
    EXPECT_NEAR(g_Player.m_vPosition.z, 0.0f, 1e-3f);
    EXPECT_NEAR(g_Player.m_vPosition.y, 64.0f, 1e-3f) << "64 above the named object";
    RunFrames(30);
    EXPECT_NEAR(Feet(), 0.0f, 3.0f) << "he falls to the floor";
    g_Console.ExecLine("Health 40");
    EXPECT_FLOAT_EQ(PlayerHealth, 40.0f);
    g_Console.ExecLine("CombatMode 0");
    EXPECT_EQ(WeaponsEnabled, 0);
    g_Console.ExecLine("CombatMode 1");
    EXPECT_EQ(WeaponsEnabled, 1);
    g_Player.SetHealth(PlayerMaxHealth);
}

TEST_F(ArenaRun, ItsZonesStartTheCountdownTheDriveAndTheRestriction) {
    const struct {
        const char* zone;
        bool (*started)();
        const char* logged;
    } cases[] = {
        {"arena_countdown_zone", [] { return g_Player.m_bCountdown; }, "Arena countdown started"},
        {"arena_drive_zone", [] { return g_Player.m_bBezier; }, "Arena drive started"},
        {"arena_restriction_zone",
         [] { return g_Player.m_bRestricted && g_Player.m_fRestrictRadius == 200.0f; }, "Arena restriction"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zone);
        const math::Vec3 zone = ObjectAt(c.zone);
        PutAt(zone.x, zone.z);
        EXPECT_TRUE(c.started());
        EXPECT_NE(Log().find(c.logged), std::string::npos);
        g_Player.StopCountdown();
        g_Player.StopBezier();
        g_Player.EndRestriction();
    }
}

TEST_F(ArenaRun, TheCountdownRunsItsTargetsActionAtItsEnd) {
    const math::Vec3 zone = ObjectAt("arena_countdown_zone");
    PutAt(zone.x, zone.z);
    ASSERT_TRUE(g_Player.m_bCountdown);
    PutAt(0, -600);
    // Three seconds from the zone: the action runs with one second left.
    RunFrames(20);
    EXPECT_TRUE(g_Player.m_bCountdown) << "more than a second left";
    RunFrames(40);
    EXPECT_FALSE(g_Player.m_bCountdown);
    EXPECT_NE(Log().find("Arena countdown over"), std::string::npos);
}

TEST_F(ArenaRun, TheSwitchOpensTheDoor) {
    const math::Vec3 use = ObjectAt("arena_switch");
    // Before the switch, looking at it.
    PutAt(use.x, use.z - 100.0f);
    const math::Vec3 eye = g_Camera.GetPosition();
    const math::Vec3 d = math::Vec3Normalize(math::Vec3(use.x, use.y + 8.0f, use.z) - eye);
    g_Mouse.m_State.pitch = -std::asin(d.y);
    RunFrames(2);
    ASSERT_NE(g_Player.m_hUseTarget, nullptr) << "the switch under the crosshair";
    EXPECT_STREQ(g_Player.m_hUseTarget->szName, "arena_switch");
    Hold(18);
    RunFrames(2);
    ReleaseKeys();
    RunFrames(30);
    EXPECT_NE(Log().find("Arena switch used"), std::string::npos);
    EXPECT_NE(Log().find("Arena door swings"), std::string::npos);
}

// ---- Scripted play ---------------------------------------------------------------------

// A second's walk toward the first pillar, a screenshot, a quarter turn to
// the right toward the second pillar, a screenshot (F8, a key without a
// name: its DirectInput code).
constexpr const char* kScript = "// walk, look, turn, look\n"
                                "240 key W down\n"
                                "270 key W up\n"
                                "300 key 66 down\n"
                                "301 key 66 up\n"
                                "310 mouse 524 0\n"
                                "330 key 66 down\n"
                                "331 key 66 up\n";
constexpr int32_t kShotFrames[] = {300, 330};

// The script's keys go to the key table, its mouse motion through the mouse's
// own weighting, each on its frame, as in the real program.
class KeyTableSink final : public InputScriptSink {
  public:
    void Key(uint32_t code, bool down) override { g_CommandMgr.m_KeyStates[code] = down ? 1 : 0; }
    void Mouse(int32_t dx, int32_t dy) override {
        input::MouseEvent e[2];
        e[0].offset = input::mouseofs::X;
        e[0].data = dx;
        e[1].offset = input::mouseofs::Y;
        e[1].data = dy;
        g_Mouse.ApplyEvents(e, 2, GatherMouseFrame());
    }
    void Button(int32_t, bool) override {}
    void Wheel(int32_t) override {}
    void Console(const char* line) override { g_Console.ExecLine(line); }
};

struct View {
    math::Vec3 eye, forward;
};

// Each screenshot shows the frame before its key's frame: the eye and the
// look of that frame's camera.
class ArenaScript : public InProcessWorld {
  protected:
    void SetUp() override {
        InProcessWorld::SetUp();
        mucha = false;
        // The key names of the demo data's text table.
        g_TextMgr.Load();
        g_CommandMgr.SetDefaults();
        std::fill(std::begin(g_CommandMgr.m_KeyStates), std::end(g_CommandMgr.m_KeyStates), 0);
        g_Mouse.m_State = {};
    }
    void TearDown() override {
        std::fill(std::begin(g_CommandMgr.m_KeyStates), std::end(g_CommandMgr.m_KeyStates), 0);
        g_Mouse.m_State = {};
        InProcessWorld::TearDown();
        g_TextMgr.Load();
        g_CommandMgr.SetDefaults();
    }
    std::vector<View> Play() {
        CInputScript script;
        std::string error;
        EXPECT_TRUE(script.Parse(kScript, &error)) << error;
        EXPECT_TRUE(g_Engine.StartWorld("worlds\\arena.w")) << Log();
        KeyTableSink sink;
        std::vector<View> views;
        for (int32_t frame = 1; frame <= kShotFrames[1]; ++frame) {
            for (int32_t shot : kShotFrames) {
                if (frame == shot) views.push_back({g_Camera.GetPosition(), g_Camera.Orientation().forward});
            }
            script.Play("worlds\\arena.w", frame, sink);
            RunFrames(1);
        }
        return views;
    }
};

// The angle between the look and the way to a pillar's middle at eye height.
float OffCentre(const View& v, const char* pillar) {
    math::Vec3 p;
    GetObjectPosition(g_Engine.FindObjectByName(pillar), &p);
    const math::Vec3 to = math::Vec3Normalize(math::Vec3(p.x, v.eye.y, p.z) - v.eye);
    return std::acos(std::clamp(math::Vec3Dot(to, math::Vec3Normalize(v.forward)), -1.0f, 1.0f));
}

TEST_F(ArenaScript, TheWalkAndTheTurnPutEachPillarAheadAtItsScreenshot) {
    const std::vector<View> views = Play();
    ASSERT_EQ(views.size(), 2u);
    EXPECT_NEAR(views[0].eye.z, -420.0f, 15.0f) << "a second's walk from z = -600";
    EXPECT_LT(OffCentre(views[0], "arena_pillar_a"), 0.02f);
    EXPECT_NEAR(g_Mouse.m_State.yaw, M_PI / 2, 0.01) << "a quarter turn";
    EXPECT_LT(OffCentre(views[1], "arena_pillar_b"), 0.03f);
}

// The real program plays the same script headless on the same frame time: the
// middle of its first screenshot shows the first pillar (crate.tga, orange),
// of its second the second (alcove.tga, pale).
TEST(ArenaScriptedRun, TheScreenshotsShowTheFirstPillarAheadThenTheSecond) {
    const std::filesystem::path dir = gamerun::CopyDemoData("zt_arena_");
    std::ofstream(dir / "zt.cfg") << "screenwidth 320\r\nscreenheight 240\r\nBackupConsole 0\r\n"
                                     "runworld worlds\\arena.w\r\n";
    std::ofstream(dir / "play.txt") << kScript;
    pid_t game = gamerun::StartGame(dir, {{"SDL_VIDEODRIVER", "offscreen"},
                                          {"ZT_INPUT_SCRIPT", (dir / "play.txt").string()},
                                          {"ZT_FRAME_TIME", "0.033333"}});
    Bmp shots[2];
    pid_t running = game;
    const bool taken = gamerun::WaitWhileRunning(
        running,
        [&] {
            return ReadBmp(dir / "zt_screen0000.bmp", &shots[0]) &&
                   ReadBmp(dir / "zt_screen0001.bmp", &shots[1]);
        },
        600);
    if (running > 0) {
        kill(game, SIGTERM);
        EXPECT_EQ(gamerun::WaitExit(game, 120), 0);
    }
    const std::string log = gamerun::ReadFile(dir / "!console.txt");
    ASSERT_TRUE(taken) << log;
    EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
    struct Rgb {
        int r, g, b;
    };
    auto middle = [](const Bmp& bmp) {
        const uint32_t p = bmp.At(bmp.width / 2, bmp.height / 2);
        return Rgb{int(p >> 16 & 0xFF), int(p >> 8 & 0xFF), int(p & 0xFF)};
    };
    const Rgb first = middle(shots[0]), second = middle(shots[1]);
    EXPECT_GT(first.r - first.b, 60) << first.r << " " << first.g << " " << first.b;
    EXPECT_GT(first.r, first.g);
    EXPECT_LT(std::abs(second.r - second.b), 40) << second.r << " " << second.g << " " << second.b;
    EXPECT_GT(second.g, 80);
    std::filesystem::remove_all(dir);
}

} // namespace
