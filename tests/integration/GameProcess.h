// What the tests that run the real game binary share: a copy of the demo data
// directory per test, the game started there as an unattended child process,
// its files read back, and waiting on it.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace gamerun {

namespace fs = std::filesystem;

// A fresh copy of the demo data with an empty save folder, named after the
// process and `name` so that parallel runs never share one.
inline fs::path CopyDemoData(const std::string& prefix, std::string name) {
    for (char& c : name)
        if (c == '/') c = '_';
    const fs::path dir = fs::temp_directory_path() / (prefix + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::copy(fs::path(ZT_SOURCE_DIR) / "data", dir, fs::copy_options::recursive);
    fs::create_directories(dir / "save");
    return dir;
}

// The same named after the running test ("Test/Case" for a parameterised one).
inline fs::path CopyDemoData(const std::string& prefix) {
    return CopyDemoData(prefix, ::testing::UnitTest::GetInstance()->current_test_info()->name());
}

// Starts the game in `dir`: unattended, silent, with the test's leak check
// and with its instance lock in `dir`, away from any other run. `env` names
// the display settings of the run and may replace those defaults. `inChild`,
// when given, runs in the child just before the game starts.
using Environment = std::vector<std::pair<const char*, std::string>>;

inline pid_t StartGame(const fs::path& dir, const Environment& env,
                       const std::function<void()>& inChild = {}) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        setenv("ZT_UNATTENDED", "1", 1);
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        // The game draws with every core llvmpipe finds, whatever the test's
        // own frames are given.
        unsetenv("LP_NUM_THREADS");
        for (const auto& [name, value] : env)
            setenv(name, value.c_str(), 1);
        if (inChild) inChild();
        execl(ZT_BINARY, ZT_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

inline std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// How often `part` stands in `text`, overlapping ones included.
inline size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The game's exit code (128 + the signal when one ended it), or -1 when it
// is still running after `seconds`.
inline int WaitExit(pid_t pid, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

// Polls `done` until it holds (true) or `seconds` pass (false). The game
// ending first fails the test, with `log` when one is given, and answers
// false; `pid` is then -1.
inline bool WaitWhileRunning(pid_t& pid, const std::function<bool()>& done, int seconds,
                             const std::function<std::string()>& log = {}) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            ADD_FAILURE() << "the game ended early with status " << status << (log ? ":\n" + log() : "");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// One run of the game that the tests of a suite share, each checking its
// own part of what the run left: its log and the files it wrote.
struct SharedRun {
    fs::path dir;
    bool reached = false; // the run logged what it was run for
    int exitCode = -1;    // after SIGTERM, as WaitExit gives it

    std::string Read(const std::string& name) const { return ReadFile(dir / name); }
    std::string Log() const { return Read("!console.txt"); }
};

// Runs the game once, offscreen, in a fresh copy of the demo data that
// `prepare` changes and whose extra environment it gives, until `reached`
// holds for the log, then ends it with SIGTERM. Meant for a suite's
// SetUpTestSuite; the suite's TearDownTestSuite removes `dir`.
inline SharedRun RunShared(const std::string& prefix, const std::string& suite,
                           const std::function<Environment(const fs::path&)>& prepare,
                           const std::function<bool(const std::string& log)>& reached, int seconds = 120) {
    SharedRun run;
    run.dir = CopyDemoData(prefix, suite);
    Environment env = prepare(run.dir);
    env.emplace_back("SDL_VIDEODRIVER", "offscreen");
    pid_t pid = StartGame(run.dir, env);
    run.reached = WaitWhileRunning(
        pid, [&] { return reached(run.Log()); }, seconds, [&] { return run.Log(); });
    if (pid > 0) {
        kill(pid, SIGTERM);
        run.exitCode = WaitExit(pid, 120);
        if (run.exitCode < 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    return run;
}

// The suites whose tests share a run, named by GAMERUN_SHARED_SUITE beside
// their fixture: a sharded run of the tests keeps each suite in one shard
// (tests/integration/Main.cpp), where the game runs once for it.
inline std::set<std::string>& SharedSuites() {
    static std::set<std::string> suites;
    return suites;
}

// `suite` as GoogleTest names it: "Prefix/Fixture" for a parameterised one.
inline bool IsSharedSuite(const std::string& suite) {
    return SharedSuites().count(suite.substr(suite.rfind('/') + 1)) > 0;
}

} // namespace gamerun

#define GAMERUN_SHARED_SUITE(fixture)                                                                        \
    [[maybe_unused]] const bool fixture##IsShared = ::gamerun::SharedSuites().insert(#fixture).second
