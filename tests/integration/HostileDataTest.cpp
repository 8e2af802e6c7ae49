// Runs the real game headless on data that a careless modder or an attacker
// could hand it: numbers that are not numbers or far out of range in the
// world's path file and in zt.cfg, and directories where files should be.
// Each run reaches its frames or its log line, ends on SIGTERM and says good
// bye, as a run on good data does.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "tests/integration/GameProcess.h"

namespace fs = std::filesystem;

namespace {

const std::string kNines(60, '9'); // beyond every float and integer

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

struct Case {
    const char* name;
    std::function<void(const fs::path&)> prepare; // changes the copy of the data
    const char* logLine;                          // the line the run must reach
    const char* logFile = "!console.txt";         // where it stands
};

class HostileDataRun : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override { dir_ = gamerun::CopyDemoData("zt_hostile_run_"); }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        fs::remove_all(dir_);
    }
    std::string Log(const char* file = "!console.txt") const { return gamerun::ReadFile(dir_ / file); }

    fs::path dir_;
    pid_t pid_ = -1;
};

// The demo world with frame lines in the log.
void WriteConfig(const fs::path& dir, const std::string& extra = "") {
    fs::remove_all(dir / "zt.cfg");
    std::ofstream(dir / "zt.cfg") << "screenwidth 320\r\nscreenheight 240\r\nDebug 4\r\nBackupConsole 0\r\n"
                                  << extra << "mucha 1\r\nrunworld worlds\\test.w\r\n";
}

// Every number of the path file replaced by the hostile one, so speeds,
// positions and pauses all carry it.
void SpoilPaths(const fs::path& dir, const std::string& number) {
    WriteConfig(dir);
    const fs::path bzr = dir / "worlds" / "test.bzr";
    std::string text = gamerun::ReadFile(bzr);
    for (const char* key : {"values 64 ", "values 240 "})
        text = ReplaceAll(text, key, "values " + number + " ");
    text = ReplaceAll(text, "pause_pause_time 2", "pause_pause_time " + number);
    text = ReplaceAll(text, "pos 0 192 300", "pos " + number + " " + number + " 300");
    std::ofstream(bzr, std::ios::binary) << text;
}

// Loose props whose settings no body can have (a mass that is not a number
// or below zero, a mass or a size beyond every float, no size at all), each
// pushed by a trigger at the player's start, and two props pushed with forces
// beyond every float.
void SpoilBodies(const fs::path& dir) {
    WriteConfig(dir);
    std::string text;
    auto trigger = [&](int pesel, const std::string& target, const std::string& force) {
        const std::string id = std::to_string(pesel);
        text += "\r\nlight\r\n\tpesel " + id + " " + id + " " + id + "\r\n\tname push_" + target +
                "\r\n\txpos 0\r\n\typos 32\r\n\tzpos 0\r\n\trange 96\r\n\tflags 0\r\n"
                "\taction_general_opt 1 1\r\n\taction_general_2 1 1\r\n\taction_push_object " +
                target + "\r\n\taction_push_obj_force " + force + "\r\n";
    };
    struct Prop {
        const char *name, *general, *scale;
    } props[] = {{"nan_mass", "1 nan 1", "16 16 16"},
                 {"negative_mass", "1 -5 1", "16 16 16"},
                 {"huge_mass", nullptr, "16 16 16"},
                 {"flat_box", "1 10 1", "0 0 0"},
                 {"huge_box", "1 10 1", nullptr}};
    int pesel = 1300;
    for (const Prop& p : props) {
        const std::string id = std::to_string(pesel);
        text += "\r\nmesh prefabs\\special\\rigidbody_box.x\r\n\tpesel " + id + " " + id + " " + id +
                "\r\n\tname " + p.name + "\r\n\txpos " + std::to_string((pesel - 1300) * 100) +
                "\r\n\typos 40\r\n\tzpos 300\r\n\tscaling_axis " +
                (p.scale ? std::string(p.scale) : kNines + " 16 16") + "\r\n\tflags 13\r\n" +
                "\trigid_body_physics_general " +
                (p.general ? std::string(p.general) : "1 " + kNines + " 1") + "\r\n";
        trigger(pesel + 100, p.name, "1000");
        ++pesel;
    }
    trigger(1500, "ramp_crate", kNines);
    trigger(1501, "ball", "-" + kNines);
    std::ofstream(dir / "worlds" / "test.w", std::ios::binary | std::ios::app) << text;
}

TEST_P(HostileDataRun, TheGameRunsAndEndsOnSigterm) {
    GetParam().prepare(dir_);
    pid_ = gamerun::StartGame(dir_, {{"SDL_VIDEODRIVER", "offscreen"}});
    ASSERT_TRUE(gamerun::WaitWhileRunning(
        pid_, [&] { return Log(GetParam().logFile).find(GetParam().logLine) != std::string::npos; }, 120,
        [&] { return Log(); }))
        << Log();
    kill(pid_, SIGTERM);
    const int code = gamerun::WaitExit(pid_, 120);
    if (code >= 0) pid_ = -1;
    EXPECT_EQ(code, 0);
    EXPECT_NE(Log().find("Tovan engine out, good bye!"), std::string::npos) << Log();
}

INSTANTIATE_TEST_SUITE_P(
    Data, HostileDataRun,
    ::testing::Values(
        Case{"PathsOfNan", [](const fs::path& d) { SpoilPaths(d, "nan"); }, "*** Klatka: 30"},
        Case{"PathsOfInf", [](const fs::path& d) { SpoilPaths(d, "inf"); }, "*** Klatka: 30"},
        Case{"PathsOf1e30", [](const fs::path& d) { SpoilPaths(d, "1e30"); }, "*** Klatka: 30"},
        Case{"PathsBeyondEveryRange", [](const fs::path& d) { SpoilPaths(d, kNines); }, "*** Klatka: 30"},
        Case{"PathsOfNegativeHugeNumbers", [](const fs::path& d) { SpoilPaths(d, "-" + kNines); },
             "*** Klatka: 30"},
        // The bodies are pushed at the level's 200th frame or so and move
        // for the frames after it.
        Case{"BodiesOfHostileSettings", SpoilBodies, "*** Klatka: 400"},
        Case{"TimeScaleBeyondEveryRange",
             [](const fs::path& d) { WriteConfig(d, "GlobalTimeSpeed " + kNines + "\r\nFOV nan\r\n"); },
             "*** Klatka: 30"},
        Case{"TimeScaleNegative",
             [](const fs::path& d) { WriteConfig(d, "GlobalTimeSpeed -" + kNines + "\r\n"); },
             "*** Klatka: 30"},
        Case{"ConfigIsADirectory",
             [](const fs::path& d) {
                 fs::remove(d / "zt.cfg");
                 fs::create_directory(d / "zt.cfg");
             },
             "zt.cfg: cannot be read (Is a directory)", "!error.txt"},
        Case{"TextTableIsADirectory",
             [](const fs::path& d) {
                 WriteConfig(d);
                 fs::remove(d / "scripts" / "text_keys.txt");
                 fs::create_directory(d / "scripts" / "text_keys.txt");
             },
             "scripts\\text_keys.txt: cannot be read (Is a directory)", "!error.txt"},
        Case{"WorldIsADirectory",
             [](const fs::path& d) {
                 WriteConfig(d);
                 std::ofstream(d / "zt.cfg", std::ios::app) << "runworld worlds\r\n";
             },
             "worlds: cannot be read (Is a directory)"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
