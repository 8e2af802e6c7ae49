// The demo world run headless in this process, frame by frame on a steady
// clock, with an action typed into the console: the chain it starts (passed
// on with delays, a lift cage going and coming back, a barrel dying into its
// wreck, a respawn, a teleport) shows in the console log in order, and the
// world's own trigger zone opens its door with the tied lamp following.
#include <gtest/gtest.h>

#include <string>

#include "actors/PostacMgr.h"
#include "tests/integration/InProcessWorld.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

class BehaviourRun : public InProcessWorld {};

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
