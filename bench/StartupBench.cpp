// Start-up of the real game, headless (offscreen video, silent sound,
// unattended, so the logo's pause is skipped), from the process being
// started to its first frames, broken down into its steps. The game writes
// the time of each step to the file that ZT_START_TIMES names; this process
// notes the time just before it starts the game, so that loading the
// program counts too. Each step is reported in milliseconds, as the mean of
// the runs; the run's time is the whole span to the game's first frame.
// One run before the timed ones writes the caches a first start makes.
// ZT_START_BENCH_OTHER may name another build of the game (one from before a
// change): each iteration then starts it too, alternating with this one, and
// its span and this one's over it are reported (other_first_game_frame_ms,
// ours_over_other), so that both meet the machine's load alike.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

long long MonotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

// The steps in the order the game marks their ends; each step's time runs
// from the previous mark (the first from the start of the process).
const std::vector<std::pair<const char*, const char*>> kSteps = {
    {"static_init", "load_program_ms"},
    {"main", "static_construction_ms"},
    {"game_layers", "game_layers_ms"},
    {"instance_lock", "instance_lock_ms"},
    {"reports_and_log", "reports_and_log_ms"},
    {"game_window", "game_window_ms"},
    {"graphics_and_input", "graphics_and_input_ms"},
    {"startup_dialogs", "startup_dialogs_ms"},
    {"device_created", "device_created_ms"},
    {"device_reset", "device_reset_ms"},
    {"fonts", "fonts_ms"},
    {"logo_frame", "logo_frame_ms"},
    {"device", "device_after_logo_ms"},
    {"first_game_frame", "first_game_frame_ms"},
};

std::map<std::string, long long> ReadMarks(const fs::path& file) {
    std::map<std::string, long long> marks;
    std::ifstream in(file);
    std::string name;
    long long ns = 0;
    while (in >> name >> ns)
        marks.emplace(name, ns); // the first mark of a name counts
    return marks;
}

// Starts the game in dir and waits for its first game frame (at most 60 s),
// then ends it as a closed window would. The marks, or none when the frame
// never came.
std::map<std::string, long long> RunOnce(const char* binary, const fs::path& dir, long long* spawnNs) {
    const fs::path times = dir / "start_times.txt";
    fs::remove(times);
    *spawnNs = MonotonicNs();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        setenv("ZT_UNATTENDED", "1", 1);
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        setenv("ZT_START_TIMES", times.c_str(), 1);
        execl(binary, binary, static_cast<char*>(nullptr));
        _exit(127);
    }
    std::map<std::string, long long> marks;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
        marks = ReadMarks(times);
        if (marks.count("first_game_frame") || waitpid(pid, nullptr, WNOHANG) == pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    if (!marks.count("first_game_frame")) marks.clear();
    return marks;
}

void BM_StartToFirstFrame(benchmark::State& state) {
    const fs::path dir = fs::temp_directory_path() / ("zt_start_bench_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::copy(fs::path(ZT_SOURCE_DIR) / "data", dir, fs::copy_options::recursive);
    fs::create_directories(dir / "save");
    const char* other = std::getenv("ZT_START_BENCH_OTHER");
    long long spawn = 0;
    if (RunOnce(ZT_BINARY, dir, &spawn).empty() || (other && RunOnce(other, dir, &spawn).empty()))
        state.SkipWithError("the game showed no frame");
    std::map<std::string, double> sums;
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        if (other) {
            const std::map<std::string, long long> marks = RunOnce(other, dir, &spawn);
            if (marks.empty()) {
                state.SkipWithError("the other game showed no frame");
                break;
            }
            theirs += double(marks.at("first_game_frame") - spawn) * 1e-6;
        }
        const std::map<std::string, long long> marks = RunOnce(ZT_BINARY, dir, &spawn);
        if (marks.empty()) {
            state.SkipWithError("the game showed no frame");
            break;
        }
        long long previous = spawn;
        for (const auto& [mark, counter] : kSteps) {
            const auto at = marks.find(mark);
            if (at == marks.end()) continue;
            sums[counter] += double(at->second - previous) * 1e-6;
            previous = at->second;
        }
        const double span = double(marks.at("first_game_frame") - spawn) * 1e-9;
        ours += span * 1e3;
        state.SetIterationTime(span);
    }
    if (other && theirs > 0) {
        state.counters["other_first_game_frame_ms"] =
            benchmark::Counter(theirs, benchmark::Counter::kAvgIterations);
        state.counters["ours_over_other"] = ours / theirs;
    }
    for (const auto& [counter, sum] : sums)
        state.counters[counter] = benchmark::Counter(sum, benchmark::Counter::kAvgIterations);
    fs::remove_all(dir);
}
BENCHMARK(BM_StartToFirstFrame)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
