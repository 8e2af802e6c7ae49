// Runs the real game binary headless in a copy of the data directory and
// checks what it wrote.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/FilePermissions.h"
#include "tests/integration/GameProcess.h"

namespace fs = std::filesystem;

namespace {

using gamerun::Count;

class GameRun : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = gamerun::CopyDemoData("zt_run_");
        // Verbosity 4 prints every engine frame, so the test sees frames run.
        std::ofstream(dir_ / "zt.cfg") << "screenwidth 320\nscreenheight 240\nDebug 4\nBackupConsole 0\n";
    }
    void TearDown() override {
        for (pid_t p : running_) {
            kill(p, SIGKILL);
            waitpid(p, nullptr, 0);
        }
        std::error_code ignored; // a test may have left the directory read-only
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir_);
    }

    pid_t Start(gamerun::Environment env = {}, const std::function<void()>& inChild = {}) {
        env.emplace_back("SDL_VIDEODRIVER", "offscreen");
        const pid_t pid = gamerun::StartGame(dir_, env, inChild);
        running_.push_back(pid);
        return pid;
    }

    // Exit code, or -1 when it did not end within the limit (then killed).
    int Wait(pid_t pid, int seconds) {
        const int code = gamerun::WaitExit(pid, seconds);
        if (code >= 0) std::erase(running_, pid);
        return code;
    }

    std::string Read(const std::string& name) const { return gamerun::ReadFile(dir_ / name); }

    // Waits for a line in the game's log; false at once when the game ended.
    bool WaitForLog(pid_t pid, const std::string& text, int seconds) {
        pid_t running = pid;
        const bool found = gamerun::WaitWhileRunning(
            running, [&] { return Read("!console.txt").find(text) != std::string::npos; }, seconds);
        if (running < 0) std::erase(running_, pid);
        return found;
    }

    fs::path dir_;
    std::vector<pid_t> running_;
};

uint32_t U32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}

// The run plays a script on a fixed frame time: its first line presses the
// screenshot key (F8, a key without a name), which the engine takes.
TEST_F(GameRun, RunsFramesRefusesASecondInstanceAndShutsDownOnSigterm) {
    std::ofstream(dir_ / "play.txt") << "// the screenshot key\n0 key 66 down\n";
    pid_t first = Start({{"ZT_INPUT_SCRIPT", (dir_ / "play.txt").string()}, {"ZT_FRAME_TIME", "0.05"}});
    ASSERT_TRUE(WaitForLog(first, "*** Klatka: 3", 120)) << Read("!console.txt");
    const std::string log = Read("!console.txt");
    EXPECT_NE(log.find("Welcome to Brakmoor."), std::string::npos);
    EXPECT_NE(log.find("> Driver: OpenGL"), std::string::npos);
    EXPECT_NE(log.find("PixelShader model 3.0 detected."), std::string::npos);
    EXPECT_NE(log.find("play.txt: 1 events"), std::string::npos);
    pid_t running = first;
    EXPECT_TRUE(gamerun::WaitWhileRunning(
        running, [&] { return fs::exists(dir_ / "zt_screen0000.bmp"); }, 120))
        << "the scripted F8 takes a screenshot";

    // A second start ends at once and touches nothing, report files included.
    std::ofstream(dir_ / "!error.txt") << "kept\n";
    const std::string video = Read("save/video.cfg");
    pid_t second = Start();
    EXPECT_EQ(Wait(second, 60), 0);
    EXPECT_EQ(Read("!error.txt"), "kept\n");
    EXPECT_EQ(Read("save/video.cfg"), video);
    EXPECT_EQ(Count(Read("!console.txt"), "Welcome to Brakmoor."), 1u);

    ASSERT_EQ(kill(first, SIGTERM), 0);
    EXPECT_EQ(Wait(first, 120), 0);
    const std::string end = Read("!console.txt");
    EXPECT_NE(end.find("Tovan engine out, good bye!"), std::string::npos);
    EXPECT_EQ(Count(end, "Tovan engine out, good bye!"), 1u);

    ASSERT_EQ(video.size(), 35u);
    EXPECT_EQ(U32(video, 0), 5u);
}

// A signal during start-up, before the window exists, is held until the
// window can take it as a close: the game still shuts down cleanly. Attended,
// the launcher waits for a click on a screen nobody sees (the offscreen
// driver): the signal ends it as its Quit button does.
TEST_F(GameRun, SigtermDuringStartUpEndsTheGameCleanly) {
    pid_t game = Start();
    ASSERT_TRUE(WaitForLog(game, "Welcome to Brakmoor.", 120)) << Read("!console.txt");
    kill(game, SIGTERM);
    EXPECT_EQ(Wait(game, 120), 0);
    EXPECT_EQ(Count(Read("!console.txt"), "Tovan engine out, good bye!"), 1u) << Read("!console.txt");
}

TEST_F(GameRun, SigtermEndsTheLauncherWaitingForAClick) {
    pid_t game = Start({{"ZT_UNATTENDED", "0"}});
    ASSERT_TRUE(WaitForLog(game, "Welcome to Brakmoor.", 120)) << Read("!console.txt");
    kill(game, SIGTERM);
    EXPECT_EQ(Wait(game, 120), 0) << Read("!console.txt");
    EXPECT_EQ(Read("!console.txt").find("*** Klatka"), std::string::npos) << "no frame runs after Quit";
}

// One run on what the last run or another version left: a video settings
// file of another version, a torn keys file, the last run's reports, and a
// lock file that cannot be made. Each is mended or said, the game reaches
// its frames, and it ends cleanly.
class LeftFilesRun : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        run_ = gamerun::RunShared(
            "zt_left_files_", "LeftFilesRun",
            [](const fs::path& dir) -> gamerun::Environment {
                std::ofstream(dir / "zt.cfg")
                    << "screenwidth 320\nscreenheight 240\nDebug 4\nBackupConsole 0\n";
                std::string old(35, '\0');
                old[0] = 4;
                old[14] = 9; // a level no version 5 file could hold
                std::ofstream(dir / "save" / "video.cfg", std::ios::binary) << old;
                std::string torn(1000, '\0');
                torn[0] = 5;
                std::ofstream(dir / "save" / "keys.cfg", std::ios::binary) << torn;
                std::ofstream(dir / "!labels.txt") << "from the last run\n";
                std::ofstream(dir / "!techs.txt") << "from the last run\n";
                std::ofstream(dir / "scripts" / "text_keys.txt", std::ios::app)
                    << "\r\n>GameName Brakmoor\r\n";
                return {{"XDG_RUNTIME_DIR", (dir / "no runtime dir").string()}};
            },
            [](const std::string& log) { return log.find("*** Klatka: 1") != std::string::npos; });
    }
    static void TearDownTestSuite() { fs::remove_all(run_.dir); }

    void SetUp() override {
        ASSERT_TRUE(run_.reached) << run_.Log();
        EXPECT_EQ(run_.exitCode, 0);
    }

    static inline gamerun::SharedRun run_;
};
GAMERUN_SHARED_SUITE(LeftFilesRun);

TEST_F(LeftFilesRun, AVideoSettingsFileOfAnotherVersionIsReplaced) {
    const std::string video = run_.Read("save/video.cfg");
    ASSERT_EQ(video.size(), 35u);
    EXPECT_EQ(U32(video, 0), 5u);
    for (size_t level = 14; level < 30; level += 4)
        EXPECT_LE(U32(video, level), 2u) << level;
    EXPECT_EQ(video[12], 1); // OptionAlwaysOn
}

// A torn keys file is not half read on every start: it is reported and
// replaced by the defaults, written whole.
TEST_F(LeftFilesRun, ATornKeysFileIsReportedAndReplacedWhole) {
    EXPECT_NE(run_.Log().find(
                  "save\\keys.cfg: 1000 bytes, shorter than its layout of 2113: the defaults are written"),
              std::string::npos);
    const std::string keys = run_.Read("save/keys.cfg");
    ASSERT_EQ(keys.size(), 2113u);
    EXPECT_EQ(U32(keys, 0), 5u);
}

TEST_F(LeftFilesRun, ThisRunsLabelReportSurvivesStartUpAndTheLastRunsReportsGo) {
    const std::string labels = run_.Read("!labels.txt");
    EXPECT_EQ(labels.find("from the last run"), std::string::npos);
    EXPECT_NE(labels.find(">GameName"), std::string::npos) << labels;
    EXPECT_FALSE(fs::exists(run_.dir / "!techs.txt"));
}

// Only a lock another instance holds stops a start; a lock file that cannot
// be made is logged with its reason and the game runs.
TEST_F(LeftFilesRun, ALockFileThatCannotBeMadeIsLoggedAndTheGameRuns) {
    const std::string log = run_.Log();
    EXPECT_NE(log.find("Running without the single-instance lock: " + (run_.dir / "no runtime dir").string() +
                       "/Brakmoor.lock: No such file or directory"),
              std::string::npos)
        << log;
}

} // namespace

namespace {

// The launcher rewrites zt.cfg with the chosen size. A file-size limit just
// below the rewritten file's size makes the rewrite's write fail: with the
// limit's signal the game is killed in the middle of the rewrite, without it
// the write fails. Either way zt.cfg stays whole, and the next start runs
// and rewrites it, every other line kept.
TEST_F(GameRun, AKilledOrFailedConfigRewriteLeavesZtCfgWhole) {
    // Size lines shorter than the ones written back ("ScreenWidth 1024"),
    // and enough lines that the log stays below the limit until the rewrite.
    std::string config = "screenwidth 1\r\nscreenheight 1\r\nDebug 4\r\nBackupConsole 0\r\n\r\n";
    for (int i = 0; i < 10000; ++i)
        config += "Difficulty 1\r\n";
    std::ofstream(dir_ / "zt.cfg", std::ios::binary) << config;
    const rlim_t limit = config.size();
    auto limited = [limit](bool ignoreSignal) {
        return [limit, ignoreSignal] {
            const rlimit size{limit, limit}, core{0, 0};
            setrlimit(RLIMIT_FSIZE, &size);
            setrlimit(RLIMIT_CORE, &core);
            signal(SIGXFSZ, ignoreSignal ? SIG_IGN : SIG_DFL);
        };
    };

    pid_t killed = Start({}, limited(false));
    // Compared without printing: the file is large.
    auto unchanged = [&] { return Read("zt.cfg") == config; };
    EXPECT_EQ(Wait(killed, 120), 128 + SIGXFSZ) << "killed while the rewrite was being written";
    EXPECT_TRUE(unchanged()) << Read("zt.cfg").size() << " bytes";

    pid_t failed = Start({}, limited(true));
    EXPECT_TRUE(WaitForLog(failed, "zt.cfg could not be rewritten and stays as it was: ", 120))
        << Read("!console.txt");
    EXPECT_NE(Read("!console.txt").find("File too large"), std::string::npos);
    EXPECT_TRUE(unchanged()) << Read("zt.cfg").size() << " bytes";
    kill(failed, SIGTERM);
    Wait(failed, 120);

    pid_t game = Start();
    ASSERT_TRUE(WaitForLog(game, "*** Klatka: 1", 120)) << Read("!console.txt");
    kill(game, SIGTERM);
    EXPECT_EQ(Wait(game, 120), 0);
    std::string rewritten = config;
    rewritten.replace(0, std::string("screenwidth 1\r\nscreenheight 1").size(),
                      "ScreenWidth 1024\r\nScreenHeight 768");
    EXPECT_TRUE(Read("zt.cfg") == rewritten) << Read("zt.cfg").substr(0, 80);
    EXPECT_FALSE(fs::exists(dir_ / "zt.cfg.new"));
    EXPECT_FALSE(fs::exists(dir_ / "zt.bak"));
}

// A bad test switch ends the start before the window, naming what is wrong
// (the script's line by its number).
TEST_F(GameRun, ABadInputScriptOrFrameTimeStopsTheStartNamingIt) {
    std::ofstream(dir_ / "bad.txt") << "220 key W down\n230 key W sideways\n";
    fs::create_directories(dir_ / "adir");
    const struct {
        const char* variable;
        std::string value;
        std::string logged;
    } cases[] = {
        {"ZT_INPUT_SCRIPT", (dir_ / "bad.txt").string(),
         "bad.txt: line 2: a key needs \"down\" or \"up\" after its name"},
        {"ZT_INPUT_SCRIPT", (dir_ / "adir").string(), "adir: cannot be read ("},
        {"ZT_FRAME_TIME", "nan", "ZT_FRAME_TIME nan: not a frame time in seconds (0.001..1)"},
        {"ZT_FRAME_TIME", "-0.05", "ZT_FRAME_TIME -0.05: not a frame time"},
        {"ZT_FRAME_TIME", "1e400", "ZT_FRAME_TIME 1e400: not a frame time"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        pid_t game = Start({{c.variable, c.value}});
        EXPECT_EQ(Wait(game, 120), 0);
        const std::string log = Read("!console.txt");
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_EQ(log.find("> Driver: OpenGL"), std::string::npos) << "no window, no device";
    }
}

} // namespace

namespace {

// Each file the game needs and cannot open is named in this run's log.
struct MissingFileCase {
    const char* what;
    const char* removed; // relative to the data directory
    const char* config;  // zt.cfg; null: zt.cfg is the file removed
    const char* logged;
};

class MissingFile : public GameRun, public ::testing::WithParamInterface<MissingFileCase> {};

TEST_P(MissingFile, IsNamedInTheLog) {
    const MissingFileCase& c = GetParam();
    if (c.config) std::ofstream(dir_ / "zt.cfg") << c.config;
    fs::remove_all(dir_ / c.removed);
    pid_t game = Start();
    EXPECT_TRUE(WaitForLog(game, c.logged, 120)) << Read("!console.txt");
    kill(game, SIGTERM);
    EXPECT_EQ(Wait(game, 120), 0);
}

constexpr const char* kWorldConfig =
    "screenwidth 320\nscreenheight 240\nBackupConsole 0\nmucha 1\nrunworld worlds\\test.w\n";

INSTANTIATE_TEST_SUITE_P(
    Game, MissingFile,
    ::testing::Values(MissingFileCase{"Config", "zt.cfg", nullptr,
                                      "zt.cfg: cannot be opened (No such file or directory)"},
                      MissingFileCase{"World", "worlds/test.w", kWorldConfig,
                                      "worlds\\test.w: cannot be opened (No such file or directory)"}),
    [](const auto& info) { return std::string(info.param.what); });

// Files whose loss leaves the demo world running, taken out together: one
// run of the world names each in its log and ends cleanly.
const MissingFileCase kMissingFromTheWorldRun[] = {
    {"TextTable", "scripts/text_keys.txt", kWorldConfig,
     "scripts\\text_keys.txt: cannot be opened (No such file or directory)"},
    {"RadioDefinitions", "scripts/radio", kWorldConfig,
     "scripts\\radio: cannot be opened (no such folder): no radio is defined"},
    {"Logo", "misc/HUD/hud_logo_harn.bmp", kWorldConfig,
     "misc\\HUD\\hud_logo_harn.bmp: cannot open the file"},
    {"LoadingPicture", "misc/loading/loading1.bmp", kWorldConfig,
     "misc\\loading\\loading1.bmp: cannot open the file"}};

class MissingFromTheWorldRun : public ::testing::TestWithParam<MissingFileCase> {
  protected:
    static void SetUpTestSuite() {
        run_ = gamerun::RunShared(
            "zt_missing_", "MissingFromTheWorldRun",
            [](const fs::path& dir) -> gamerun::Environment {
                std::ofstream(dir / "zt.cfg") << kWorldConfig;
                for (const MissingFileCase& c : kMissingFromTheWorldRun)
                    fs::remove_all(dir / c.removed);
                return {};
            },
            [](const std::string& log) {
                for (const MissingFileCase& c : kMissingFromTheWorldRun)
                    if (log.find(c.logged) == std::string::npos) return false;
                return true;
            });
    }
    static void TearDownTestSuite() { fs::remove_all(run_.dir); }

    static inline gamerun::SharedRun run_;
};
GAMERUN_SHARED_SUITE(MissingFromTheWorldRun);

TEST_P(MissingFromTheWorldRun, IsNamedInTheLog) {
    EXPECT_NE(run_.Log().find(GetParam().logged), std::string::npos) << run_.Log();
    EXPECT_EQ(run_.exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Game, MissingFromTheWorldRun, ::testing::ValuesIn(kMissingFromTheWorldRun),
                         [](const auto& info) { return std::string(info.param.what); });

// A data directory the game cannot write to loses every setting, save and
// log: it is said once at start, on standard error and in a log that can
// still be written, and the game runs on.
TEST_F(GameRun, AReadOnlyDataDirectoryIsReportedOnceAndTheGameRuns) {
    std::ofstream(dir_ / "zt.cfg") << "screenwidth 320\nscreenheight 240\nBackupConsole 0\n";
    std::ofstream(dir_ / "!console.txt") << "from the last run\n"; // a file the game may still append to
    const fs::path errors = fs::path(dir_.string() + ".stderr");
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    pid_t game = Start({}, [&errors] {
        if (!testperm::ObeyFilePermissions()) _exit(126);
        const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) dup2(fd, 2);
    });
    const std::string line = "The data directory " + dir_.string() +
                             " cannot be written (Permission denied): settings, saves and logs are lost";
    EXPECT_TRUE(WaitForLog(game, line, 120)) << Read("!console.txt") << gamerun::ReadFile(errors);
    EXPECT_TRUE(WaitForLog(game, "Welcome to Brakmoor.", 120)) << Read("!console.txt");
    kill(game, SIGTERM);
    EXPECT_EQ(Wait(game, 120), 0);
    EXPECT_EQ(Count(gamerun::ReadFile(errors), line), 1u) << gamerun::ReadFile(errors);
    EXPECT_EQ(Count(Read("!console.txt"), line), 1u);
    fs::remove(errors);
}

} // namespace
