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
    Start("screenwidth 320\r\nscreenheight 240\r\nDebug 1\r\nBackupConsole 0\r\nrunworld worlds\\test.w\r\n");
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
          "runworld worlds\\test.w\r\n");
    ASSERT_TRUE(WaitForLog("*** Klatka: 20", 120)) << Log();
    EXPECT_EQ(Stop(120), 0);
    EXPECT_EQ(Log().find("StartWorld"), std::string::npos);
}

} // namespace
