// Runs the real game headless with "runworld worlds\test.w" in its zt.cfg:
// the demo world is loaded at start-up, frames run, and the shuttle rides
// its Bezier loop, setting and clearing its script variable at the nodes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

class WorldRun : public ::testing::Test {
  protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ =
            fs::temp_directory_path() / ("zt_world_run_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(dir_);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", dir_, fs::copy_options::recursive);
        fs::create_directories(dir_ / "save");
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        fs::remove_all(dir_);
    }

    void Start(const std::string& config) {
        std::ofstream(dir_ / "zt.cfg") << config;
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(dir_.c_str()) != 0) _exit(127);
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
            setenv("ZT_UNATTENDED", "1", 1);
            setenv("ALSOFT_DRIVERS", "null", 1);
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
            execl(ZT_BINARY, ZT_BINARY, static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    std::string Log() const {
        std::ifstream in(dir_ / "!console.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static size_t Count(const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }

    // Waits for a text to be in the log `times` times; false when the game
    // ended or time ran out.
    bool WaitForLog(const std::string& text, int seconds, size_t times = 1) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (Count(Log(), text) >= times) return true;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                ADD_FAILURE() << "the game ended early with status " << status;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    int Stop(int seconds) {
        kill(pid_, SIGTERM);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int status = 0;
        while (std::chrono::steady_clock::now() < end) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
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
