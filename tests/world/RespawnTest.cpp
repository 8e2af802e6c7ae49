// Respawners: the count and the interval of their respawns, what holds them
// back, the action after the last one, and the ".gen" file of the world.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "BehaviourFixture.h"
#include "app/FileHelpers.h"

namespace {

class RespawnTest : public BehaviourTest {
  protected:
    void SetUp() override {
        BehaviourTest::SetUp();
        std::snprintf(g_Engine.m_szCurrentWorld, sizeof g_Engine.m_szCurrentWorld, "worlds\\arena.w");
        std::filesystem::create_directories(dir_ / "worlds");
    }
    void TearDown() override {
        g_Engine.m_szCurrentWorld[0] = 0;
        BehaviourTest::TearDown();
    }

    // A respawner of "grunt" at the position, interval and count given.
    static ObjectRecord* Respawner(const char* name, const math::Vec3& at, float interval, float count) {
        ObjectRecord* h = Make(OT_LIGHT, at, name);
        auto a = NewAction();
        std::strcpy(a->szRespawnCharacterName, "grunt");
        std::strcpy(a->szRespawnCharacterPhase0, "patrol");
        std::strcpy(a->szRespawnCharacterPhase1, "guard");
        a->fRespawnParams1 = interval;
        a->iRespawnParams2 = int32_t(count);
        SetObjectAction(h, *a);
        return h;
    }
    static int LiveCharacters(const char* name) {
        int n = 0;
        for (const strpostac& p : g_PostacMgr.m_Postacie)
            if (p.bUsed && !p.bDead && StrCmpNoCase(p.szName, name) == 0) ++n;
        return n;
    }
    static void KillAll() {
        for (strpostac& p : g_PostacMgr.m_Postacie)
            if (p.bUsed) p.bDead = true;
    }
    std::string Gen() const {
        std::ifstream in(dir_ / "worlds" / "arena.w.gen", std::ios::binary);
        if (!in) return "<none>";
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static strPath& AddPath(int a, int b, int c, std::initializer_list<strPlace> places) {
        strPath p;
        p.iId[0] = a;
        p.iId[1] = b;
        p.iId[2] = c;
        p.Places = places;
        return g_PathMgr.m_Paths.emplace_back(std::move(p));
    }
};

// The respawn the action makes counts: with 5.0 and 3 there are three in
// all, each 5 seconds after the last character is gone, then the
// after-last action fires once.
TEST_F(RespawnTest, ThreeRespawnsInAllThenTheActionAfterTheLast) {
    ObjectRecord* h = Respawner("spawner", {5000, 0, 0}, 5.0f, 3);
    std::strcpy(h->pAction->szRespawnCharacterActionAfterLastRespawn, "reinforcements_over");
    ObjectRecord* after = Make(OT_LIGHT, {5000, 0, 0}, "reinforcements_over");
    SetObjectAction(after, *NewAction());

    g_EngineObject.RunAction(h, false);
    EXPECT_EQ(h->iRespawnCount, 1);
    EXPECT_EQ(LiveCharacters("spawner"), 1); // named after the respawner

    std::vector<float> respawnTimes;
    std::vector<float> afterLastTimes;
    float time = 0.0f;
    float goneAt = -1.0f;
    for (int frame = 0; frame < 400; ++frame) {
        if (LiveCharacters("spawner") > 0 && time >= goneAt + 1.0f) {
            KillAll(); // each character lives a second
            goneAt = time;
        }
        const int before = h->iRespawnCount;
        const bool afterRan = after->bHasRun;
        Frame(0.25f);
        time += 0.25f;
        if (h->iRespawnCount > before && LiveCharacters("spawner") > 0) respawnTimes.push_back(time - goneAt);
        if (!afterRan && after->bHasRun) afterLastTimes.push_back(time - goneAt);
        after->bHasRun = 0;
        after->bInMotion = 0;
    }
    // Killed at once after the action's respawn: two more, each 5 s (plus
    // the frame that starts the wait) after the last was gone.
    ASSERT_EQ(respawnTimes.size(), 2u);
    for (float t : respawnTimes)
        EXPECT_FLOAT_EQ(t, 5.25f);
    ASSERT_EQ(afterLastTimes.size(), 1u);
    EXPECT_FLOAT_EQ(afterLastTimes[0], 5.25f);
    EXPECT_EQ(h->iRespawnCount, 4); // past the count: nothing more
    int made = 0;
    for (const strpostac& p : g_PostacMgr.m_Postacie)
        if (p.bUsed) ++made;
    EXPECT_EQ(made, 3);
}

TEST_F(RespawnTest, ALiveCharacterOfItsNameStopsTheTimer) {
    ObjectRecord* h = Respawner("spawner", {5000, 0, 0}, 2.0f, 3);
    g_EngineObject.RunAction(h, false);
    Frames(40, 0.25f);
    EXPECT_EQ(h->iRespawnCount, 1);
    EXPECT_EQ(h->fRespawnTimer, 0.0f);
    // Another character's name does not count.
    for (strpostac& p : g_PostacMgr.m_Postacie)
        if (p.bUsed) std::strcpy(p.szName, "someone_else");
    Frames(10, 0.25f);
    EXPECT_EQ(h->iRespawnCount, 2);
}

TEST_F(RespawnTest, ItsBlockingVariableHoldsItBack) {
    ObjectRecord* h = Respawner("spawner", {5000, 0, 0}, 1.0f, 3);
    std::strcpy(h->pAction->szRespawnCharacterDoNotRespawnIf, "area_clear");
    g_EngineObject.RunAction(h, false);
    KillAll();
    g_GameAI.SetVariable("area_clear", nullptr);
    Frames(20, 0.25f);
    EXPECT_EQ(h->iRespawnCount, 1);
    g_GameAI.UnsetVariable("area_clear", nullptr);
    Frames(6, 0.25f);
    EXPECT_EQ(h->iRespawnCount, 2);
}

TEST_F(RespawnTest, NothingHappensBeforeItsActionRan) {
    ObjectRecord* h = Respawner("spawner", {5000, 0, 0}, 0.5f, 3);
    Frames(20, 0.25f);
    EXPECT_EQ(h->iRespawnCount, 0);
    EXPECT_EQ(LiveCharacters("spawner"), 0);
}

TEST_F(RespawnTest, ThePhaseComesFromOneRandomNumber) {
    ObjectRecord* h = Respawner("spawner", {5000, 0, 0}, 0.5f, 100);
    bool seen[2] = {};
    for (int i = 0; i < 40; ++i) {
        g_EngineObject.RespawnCharacter(h);
        for (const strpostac& p : g_PostacMgr.m_Postacie)
            if (p.bUsed) {
                if (std::strcmp(p.szPhase, "patrol") == 0) seen[0] = true;
                if (std::strcmp(p.szPhase, "guard") == 0) seen[1] = true;
                ASSERT_TRUE(std::strcmp(p.szPhase, "patrol") == 0 || std::strcmp(p.szPhase, "guard") == 0);
                EXPECT_STREQ(p.szDescription, "grunt");
            }
        for (strpostac& p : g_PostacMgr.m_Postacie)
            p = strpostac{};
    }
    EXPECT_TRUE(seen[0]);
    EXPECT_TRUE(seen[1]);
    EXPECT_EQ(h->iRespawnCount, 40);
}

TEST_F(RespawnTest, ARespawnerWithoutACharacterNameIsReported) {
    ObjectRecord* h = Make(OT_LIGHT, {}, "empty");
    SetObjectAction(h, *NewAction());
    MarkConsole();
    g_EngineObject.RespawnCharacter(h);
    EXPECT_TRUE(Printed("EEngineObject::RespawnCharacter nie ma name!"));
    EXPECT_EQ(h->iRespawnCount, 0);
}

// ---- The respawner file -----------------------------------------------------------------------------

TEST_F(RespawnTest, TheFileHoldsFiveLinesPerRespawnerInSlotOrder) {
    AddPath(1, 2, 3, {{0, {0, 0, 0}}, {7, {100, 0, 0}}});
    AddPath(4, 5, 6, {{2, {1000, 0, 1000}}});
    Respawner("north", {90, 0, 10}, 1.0f, 1);
    Respawner("east", {990, 0, 990}, 1.0f, 1);
    g_MainGame.m_iLevelFrame = 100;
    Frame(0.01f);
    EXPECT_EQ(Gen(), "north\n1\n2\n3\n7\neast\n4\n5\n6\n2\n");
}

TEST_F(RespawnTest, AWorldWithoutKnownPlacesLeavesNoFile) {
    Respawner("lonely", {0, 0, 0}, 1.0f, 1); // no paths at all
    MarkConsole();
    g_MainGame.m_iLevelFrame = 100;
    Frame(0.01f);
    EXPECT_EQ(Gen(), "<none>");
    EXPECT_TRUE(Printed("lonely nie skeszowal sciezek!"));

    g_EngineObject.ComputeRespawnerData(); // a world without respawners
    g_Engine.DeleteWorldObjects(true);
    char file[160];
    EEngineObject::RespawnerFileName(file, sizeof file);
    g_EngineObject.SaveRespawnerData(file);
    EXPECT_EQ(Gen(), "<none>");
}

TEST_F(RespawnTest, AnExistingFileIsLoadedNotComputed) {
    strPath& path = AddPath(1, 2, 3, {{0, {0, 0, 0}}, {7, {100, 0, 0}}});
    std::ofstream(dir_ / "worlds" / "arena.w.gen", std::ios::binary)
        << "gone\n9\n9\n9\n9\n"  // an object that no longer exists: skipped
        << "north\n1\n2\n3\n0\n" // place 0, though place 7 is nearer
        << "east\n4\n4\n4\n0\n"  // no such path
        << "west\n1\n2\n3\n5\n"; // no such place
    ObjectRecord* north = Respawner("north", {100, 0, 0}, 1.0f, 1);
    ObjectRecord* east = Respawner("east", {100, 0, 0}, 1.0f, 1);
    ObjectRecord* west = Respawner("west", {100, 0, 0}, 1.0f, 1);
    MarkConsole();
    g_MainGame.m_iLevelFrame = 100;
    Frame(0.01f);
    EXPECT_EQ(north->pRespawnPath, &path);
    ASSERT_TRUE(north->pRespawnPlace);
    EXPECT_EQ(north->pRespawnPlace->iIndex, 0);
    EXPECT_EQ(east->pRespawnPath, nullptr);
    EXPECT_TRUE(Printed("east ma zapisany zly path respawnu!"));
    EXPECT_EQ(west->pRespawnPath, nullptr);
    EXPECT_EQ(west->pRespawnPlace, nullptr);
    EXPECT_TRUE(Printed("west ma zapisany zly place respawnu!"));
    EXPECT_FALSE(Printed("gone"));
}

TEST_F(RespawnTest, ARespawnerWithAPathButNoPlaceIsReportedAndLeftOut) {
    AddPath(1, 2, 3, {{0, {0, 0, 0}}});
    ObjectRecord* h = Respawner("odd", {0, 0, 0}, 1.0f, 1);
    g_EngineObject.ComputeRespawnerData();
    h->pRespawnPlace = nullptr;
    MarkConsole();
    char file[160];
    EEngineObject::RespawnerFileName(file, sizeof file);
    g_EngineObject.SaveRespawnerData(file);
    EXPECT_TRUE(Printed("oddnie ma skeszowanego miejsca!"));
    EXPECT_EQ(Gen(), "<none>");
}

TEST_F(RespawnTest, TheDataAreSettledOnlyAtLevelFrame100) {
    AddPath(1, 2, 3, {{0, {0, 0, 0}}});
    Respawner("north", {0, 0, 0}, 1.0f, 1);
    for (int32_t frame : {99, 101}) {
        g_MainGame.m_iLevelFrame = frame;
        Frame(0.01f);
        EXPECT_EQ(Gen(), "<none>") << frame;
    }
}

TEST_F(RespawnTest, AFileThatCannotBeWrittenGoesToTheErrorLogAndLeavesNothingHalfWritten) {
    AddPath(1, 2, 3, {{0, {0, 0, 0}}});
    Respawner("north", {0, 0, 0}, 1.0f, 1);
    g_EngineObject.ComputeRespawnerData();
    std::ofstream(dir_ / "worlds" / "arena.w.gen", std::ios::binary) << "kept\n1\n2\n3\n0\n";
    std::filesystem::create_directories(dir_ / "worlds" / "arena.w.gen.new"); // no temporary file can be made
    MarkConsole();
    for (const char* name : {"no_such_directory\\arena.w.gen", "worlds\\arena.w.gen"})
        g_EngineObject.SaveRespawnerData(name);
    std::ifstream in(dir_ / "!error.txt");
    std::stringstream s;
    s << in.rdbuf();
    const std::string errors = s.str();
    EXPECT_NE(errors.find("Failed to save respawner data!\nFailed to save respawner data!"),
              std::string::npos)
        << errors;
    EXPECT_TRUE(Printed("Failed to save respawner data: "));
    EXPECT_EQ(Gen(), "kept\n1\n2\n3\n0\n");
}

} // namespace
