// The demo world run headless in this process, frame by frame on a steady
// clock, with an action typed into the console: the chain it starts (passed
// on with delays, a lift cage going and coming back, a barrel dying into its
// wreck, a respawn, a teleport) shows in the console log in order, and the
// world's own trigger zone opens its door with the tied lamp following.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "actors/Player.h"
#include "actors/PostacMgr.h"
#include "app/Console.h"
#include "app/FocusMgr.h"
#include "app/Options.h"
#include "app/Timer.h"
#include "game/MainGame.h"
#include "platform/os/Os.h"
#include "render/MeshMgr.h"
#include "render/MeshSocketsMgr.h"
#include "tests/integration/StepClock.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace fs = std::filesystem;

namespace {

class BehaviourRun : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = os::StartDirectory();
        dir_ = fs::temp_directory_path() / ("zt_behaviour_run_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", dir_, fs::copy_options::recursive);
        fs::remove(dir_ / "!console.txt");
        os::SetStartDirectory(dir_.string());

        stepclock::Install();
        g_Engine.m_fLastTime = DXUtilTimer(TIMER_GETABSOLUTETIME);
        g_Engine.m_bInitialized = 1;
        g_FocusMgr.m_bOnFocus = true;
        Debug = 1;
        for (int i = 0; i < 3; ++i)
            g_Player.m_vPosition[i] = 0.0f;
        ASSERT_EQ(g_MeshSocketsMgr.LoadAll(), 4u); // the demo data's socket files
    }
    void TearDown() override {
        g_Engine.StartWorld("*");
        g_Engine.m_bInitialized = 0;
        g_FocusMgr.m_bOnFocus = false;
        DXUtilTimerSetClock(nullptr);
        Debug = 0;
        g_MeshMgr.ReleaseAll();
        os::SetStartDirectory(saved_);
        fs::remove_all(dir_);
    }

    // One pass of the main loop's work: the engine frame and the game's.
    static void RunFrames(int n) {
        for (int i = 0; i < n; ++i) {
            stepclock::StepFrame();
            ASSERT_TRUE(g_Engine.EngineFrameTiming());
            ASSERT_TRUE(g_Engine.EngineFrame());
            g_MainGame.Update();
        }
    }
    static void Type(const char* text) {
        g_Console.Open();
        for (const char* c = text; *c; ++c)
            g_Console.OnKey(*c == ' ' ? 32u : uint32_t(*c >= 'a' && *c <= 'z' ? *c - 'a' + 'A' : *c));
        g_Console.OnKey(13); // Enter
        g_Console.Close();
    }
    std::string Log() const {
        std::ifstream in(dir_ / "!console.txt", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    std::string saved_;
};

TEST_F(BehaviourRun, AnActionTypedIntoTheConsoleRunsItsChainInOrder) {
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    ObjectRecord* cage = g_Engine.FindObjectByName("cage");
    ObjectRecord* door = g_Engine.FindObjectByName("door_hall");
    ObjectRecord* shade = g_Engine.FindObjectByName("lamp_shade");
    ObjectRecord* crate = g_Engine.FindObjectByName("crate_physics");
    ObjectRecord* start = g_Engine.FindObjectByName("demostart");
    ASSERT_TRUE(cage && door && shade && crate && start);
    ASSERT_TRUE(shade->bTied);
    const math::Vec3 cageStart = cage->vPosition;

    RunFrames(210); // past level frame 203: the door's trigger zone fires
    EXPECT_TRUE(door->bHasRun);
    EXPECT_FALSE(cage->bHasRun);

    Type("action demostart");
    RunFrames(90); // 3 s: the cage is on its way up
    EXPECT_TRUE(cage->bInMotion);
    EXPECT_GT(cage->vPosition.y, cageStart.y);
    EXPECT_EQ(door->fRun1264[ObjectRecord::RUN_DOOR_ANGLE], 90.0f); // swung open
    math::Vec3 top;
    ASSERT_TRUE(ReadObjectSocket(door, "top", &top, nullptr));
    EXPECT_NEAR(shade->vPosition.x, top.x, 1e-3f); // the tied lamp went with it
    EXPECT_NEAR(shade->vPosition.z, top.z, 1e-3f);
    EXPECT_EQ(crate->vPosition, start->vPosition);

    RunFrames(210); // 7 s more: the barrel died, the cage came back down
    EXPECT_FALSE(cage->bInMotion);
    EXPECT_FALSE(cage->bAtDestination);
    EXPECT_EQ(cage->vPosition, cageStart);
    EXPECT_TRUE(g_Engine.FindObjectByName("barrel_wreck"));
    EXPECT_TRUE(g_Engine.FindObjectByName("barrel")->bDying);
    EXPECT_TRUE(g_PostacMgr.FindByName("cage_return", true)); // the respawned character

    const std::string log = Log();
    const char* chain[] = {"Door trigger entered",
                           "Mesh wola przekazanie akcji na door_hall",
                           "Door swings",
                           "Demo chain started",
                           "Mesh wola spauzowane przekazanie akcji na cage",
                           "\ncage w srodku, uruchamiam akcje",
                           "Cage moves",
                           "Barrel destroyed",
                           "Przekazuje akcje na cage_return",
                           "Cage returns",
                           "Respawnuje postac z id grunt",
                           "Mesh wola przekazanie akcji na cage",
                           "\ncage w srodku, uruchamiam akcje",
                           "zmienna cage_up set by cage",
                           "Podmieniam na mesha models\\box_broken.x",
                           "Podmieniony mesh ma name barrel_wreck"};
    size_t at = 0;
    for (const char* line : chain) {
        const size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
        at = found + 1;
    }
    // The cage ran twice: up, and back.
    size_t runs = 0;
    for (size_t p = log.find("\ncage w srodku"); p != std::string::npos;
         p = log.find("\ncage w srodku", p + 1))
        ++runs;
    EXPECT_EQ(runs, 2u);
}

TEST_F(BehaviourRun, TheLiftCalledTwiceGoesUpAndComesBack) {
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    ObjectRecord* lift = g_Engine.FindObjectByName("lift");
    ASSERT_TRUE(lift);
    const math::Vec3 bottom = lift->vPosition;
    RunFrames(210);

    // Its call sets the variable it waits for and passes on after 0.5 s; it
    // rises 192 at 64 a second.
    g_Console.ExecLine("Action trigger_lift");
    RunFrames(60);
    EXPECT_TRUE(lift->bInMotion);
    EXPECT_GT(lift->vPosition.y, bottom.y);
    RunFrames(90);
    EXPECT_FALSE(lift->bInMotion);
    EXPECT_TRUE(lift->bAtDestination);
    EXPECT_EQ(lift->vPosition, bottom + math::Vec3(0, 192, 0));

    g_Console.ExecLine("Action trigger_lift");
    RunFrames(150);
    EXPECT_FALSE(lift->bInMotion);
    EXPECT_FALSE(lift->bAtDestination);
    EXPECT_EQ(lift->vPosition, bottom);
    const std::string log = Log();
    size_t runs = 0;
    for (size_t p = log.find("\nlift w srodku"); p != std::string::npos;
         p = log.find("\nlift w srodku", p + 1))
        ++runs;
    EXPECT_EQ(runs, 2u) << log;
}

} // namespace
