// Runs the real game headless with "runworld worlds\test.w" in its zt.cfg:
// the demo world is loaded at start-up, frames run, and the shuttle rides
// its Bezier loop, setting and clearing its script variable at the nodes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/integration/GameProcess.h"

namespace fs = std::filesystem;

namespace {

class WorldRun : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = gamerun::CopyDemoData("zt_world_run_"); }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        fs::remove_all(dir_);
    }

    void Start(const std::string& config) {
        std::ofstream(dir_ / "zt.cfg") << config;
        pid_ = gamerun::StartGame(dir_, {{"SDL_VIDEODRIVER", "offscreen"}});
    }

    std::string Log() const { return gamerun::ReadFile(dir_ / "!console.txt"); }

    // Waits for a text to be in the log `times` times; false when the game
    // ended or time ran out.
    bool WaitForLog(const std::string& text, int seconds, size_t times = 1) {
        return gamerun::WaitWhileRunning(
            pid_, [&] { return gamerun::Count(Log(), text) >= times; }, seconds);
    }

    int Stop(int seconds) {
        kill(pid_, SIGTERM);
        const int code = gamerun::WaitExit(pid_, seconds);
        if (code >= 0) pid_ = -1;
        return code;
    }

    fs::path dir_;
    pid_t pid_ = -1;
};

TEST_F(WorldRun, TheConfiguredWorldStartsAndItsShuttleRidesItsPath) {
    Start("screenwidth 320\r\nscreenheight 240\r\nDebug 1\r\nBackupConsole 0\r\nmucha 1\r\nrunworld "
          "worlds\\test.w\r\n");
    ASSERT_TRUE(WaitForLog("StartWorld worlds\\test.w", 120)) << Log();
    // Reaching the far node of its loop sets the variable; coming round to
    // the start clears it again.
    ASSERT_TRUE(WaitForLog("zmienna shuttle_far_side set by shuttle", 120)) << Log();
    ASSERT_TRUE(WaitForLog("zmienna shuttle_far_side unset by shuttle", 120, 2)) << Log();
    EXPECT_EQ(Stop(120), 0);
    const std::string log = Log();
    const size_t asked = log.find("Starting world worlds\\test.w");
    const size_t started = log.find("StartWorld worlds\\test.w");
    ASSERT_NE(asked, std::string::npos);
    EXPECT_LT(asked, started);
    EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
    // Arrival at the start node at load, the far node, the start again.
    const size_t first = log.find("zmienna shuttle_far_side unset by shuttle");
    const size_t far = log.find("zmienna shuttle_far_side set by shuttle");
    const size_t again = log.find("zmienna shuttle_far_side unset by shuttle", far);
    EXPECT_LT(started, first);
    EXPECT_LT(first, far);
    EXPECT_NE(again, std::string::npos);
    EXPECT_NE(log.find("Tovan engine out, good bye!"), std::string::npos);
}

TEST_F(WorldRun, WithTheStartMenuNoWorldIsRequested) {
    Start("screenwidth 320\r\nscreenheight 240\r\nDebug 4\r\nBackupConsole 0\r\nStartMenu 1\r\n"
          "mucha 1\r\nrunworld worlds\\test.w\r\n");
    ASSERT_TRUE(WaitForLog("*** Klatka: 20", 120)) << Log();
    EXPECT_EQ(Stop(120), 0);
    EXPECT_EQ(Log().find("StartWorld"), std::string::npos);
}

TEST_F(WorldRun, AnActionsWorldChangeStartsTheNamedWorldOnce) {
    // A trigger zone where the player stands (flying: the world has no
    // floor) names the demo world.
    std::ofstream(dir_ / "worlds" / "exit.w")
        << "light\n\tname exit_zone\n\txpos 0\n\typos 32\n\tzpos 0\n\trange 96\n\tflags 0\n"
           "\taction_general_opt 1 1\n\taction_general_2 1 1\n\taction_console_print Leaving the exit world\n"
           "\taction_start_world worlds\\test.w\n";
    Start("screenwidth 320\r\nscreenheight 240\r\nDebug 1\r\nBackupConsole 0\r\nmucha 1\r\n"
          "runworld worlds\\exit.w\r\n");
    ASSERT_TRUE(WaitForLog("StartWorld worlds\\test.w", 120)) << Log();
    // The new world runs from its own first frame: its door's trigger zone
    // fires once its level has started.
    ASSERT_TRUE(WaitForLog("Door trigger entered", 120)) << Log();
    EXPECT_EQ(Stop(120), 0);
    const std::string log = Log();
    const char* order[] = {"StartWorld worlds\\exit.w",
                           "Leaving the exit world",
                           "Dodaje Engine.m_WorldToStart worlds\\test.w",
                           "Starting world worlds\\test.w",
                           "StartWorld worlds\\test.w",
                           "Door trigger entered"};
    size_t at = 0;
    for (const char* line : order) {
        const size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
        at = found + 1;
    }
    EXPECT_EQ(gamerun::Count(log, "StartWorld worlds\\test.w"), 1u);
    EXPECT_EQ(gamerun::Count(log, "Leaving the exit world"), 1u);
}

// The performance display prints its shares on the console every frame: the
// update and the render share the frame, the game and the engine the update,
// and the objects, the renderer, the movers and the rest the engine's update.
TEST_F(WorldRun, ThePerformanceDisplayShowsSharesThatAddUp) {
    Start("screenwidth 320\r\nscreenheight 240\r\nBackupConsole 0\r\nDebugPerformance 1\r\n"
          "mucha 1\r\nrunworld worlds\\test.w\r\n");
    ASSERT_TRUE(WaitForLog("Debug performance", 120, 40)) << Log();
    EXPECT_EQ(Stop(120), 0);
    const std::string log = Log();

    const char* labels[] = {"Update: ",       "  MainGame: ",  "  Engine: ", "    EngineObject: ",
                            "    Renderer: ", "    Movable: ", "    ----: ", "Render: "};
    size_t blocks = 0;
    for (size_t p = log.find("\nDebug performance\n"); p != std::string::npos;
         p = log.find("\nDebug performance\n", p + 1)) {
        size_t line = p + 19;
        double share[8] = {};
        bool whole = true;
        for (int i = 0; i < 8 && whole; ++i) {
            const size_t end = log.find('\n', line);
            const std::string text =
                log.substr(line, end == std::string::npos ? std::string::npos : end - line);
            whole = end != std::string::npos && text.rfind(labels[i], 0) == 0;
            if (whole) share[i] = std::stod(text.substr(std::string(labels[i]).size()));
            line = end + 1;
        }
        if (!whole) continue; // the last block, cut by the end of the run
        ++blocks;
        for (double s : share) {
            EXPECT_GE(s, -1e-3) << log.substr(p, line - p);
            EXPECT_LE(s, 100.0 + 1e-3) << log.substr(p, line - p);
        }
        EXPECT_NEAR(share[0] + share[7], 100.0, 1e-3);
        EXPECT_NEAR(share[1] + share[2], 100.0, 1e-3);
        EXPECT_NEAR(share[3] + share[4] + share[5] + share[6], 100.0, 1e-3);
    }
    EXPECT_GE(blocks, 39u);
    // Only the first frame, before anything was rendered, has no figures.
    EXPECT_LE(gamerun::Count(log, "Szczatkowe == 0"), 2u);
    EXPECT_EQ(gamerun::Count(log, "fTotal==0"), 0u);
}

} // namespace
