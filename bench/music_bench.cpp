// The music thread's cost: its CPU time while a demo piece streams through
// the sound manager (on OpenAL's silent output and on the silent back-end),
// as a ratio to what libvorbisfile alone spends decoding the same music at
// the same pace over the same seconds, and how often it wakes; the two halves of its tick taken
// apart: the update that finds the play position still in the same half,
// and the refill that decodes 44100 bytes into the half just left; and how
// late the refills come on the real-time output (dropouts).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "app/Options.h"
#include "platform/audio/Audio.h"
#include "platform/os/Os.h"
#include "sound/MusicStream.h"
#include "sound/MusicThread.h"
#include "sound/SoundLock.h"
#include "sound/SoundMgr.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kPiece = "music\\loop\\loopAction03.ogg";

// A copy of the demo music, kept for the whole run (the log goes there too)
// and removed at its end.
const std::string& DataDir() {
    struct Removed {
        std::string dir;
        ~Removed() { fs::remove_all(dir); }
    };
    static const Removed dir{[] {
        const fs::path d = fs::temp_directory_path() / ("zt_music_bench_" + std::to_string(::getpid()));
        fs::create_directories(d);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data" / "music", d / "music",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        return d.string();
    }()};
    return dir.dir;
}

std::set<pid_t> Threads() {
    std::set<pid_t> ids;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ids.insert(pid_t(std::atoi(e->d_name)));
        closedir(d);
    }
    return ids;
}

// CPU time of one thread of this process, in seconds (the kernel's per-thread
// CPU clock, as pthread_getcpuclockid builds it).
double ThreadCpuSeconds(pid_t tid) {
    const clockid_t clock = clockid_t((~clockid_t(tid)) << 3) | 6;
    timespec t{};
    if (clock_gettime(clock, &t) != 0) return 0;
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double OwnCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Context switches of one thread so far: each sleep of the thread is one.
long long ContextSwitches(pid_t tid) {
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/status";
    long long total = 0;
    if (std::FILE* f = std::fopen(path.c_str(), "r")) {
        char line[256];
        long long n = 0;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "voluntary_ctxt_switches: %lld", &n) == 1 ||
                std::sscanf(line, "nonvoluntary_ctxt_switches: %lld", &n) == 1)
                total += n;
        std::fclose(f);
    }
    return total;
}

// CPU seconds plain libvorbisfile spends on this thread decoding `bytes` of
// 16-bit little-endian samples of the piece, from its start and round again
// at its end, as the looping stream does: as fast as it can, one half of
// the stream (44100 bytes) after the other.
double DecodeCpuSeconds(uint64_t bytes) {
    const std::string path = os::ResolvePath(kPiece);
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0) return 0;
    static char buffer[MusicStream::HALF_BYTES];
    const double c0 = OwnCpuSeconds();
    int section = 0;
    uint64_t inHalf = 0;
    while (bytes > 0) {
        const uint64_t want = std::min<uint64_t>(bytes, sizeof buffer - inHalf);
        const long n = ov_read(&vf, buffer + inHalf, int(want), 0, 2, 1, &section);
        if (n < 0) break;
        if (n == 0) {
            ov_pcm_seek(&vf, 0);
            continue;
        }
        bytes -= uint64_t(n);
        inHalf = (inHalf + uint64_t(n)) % sizeof buffer;
        benchmark::DoNotOptimize(buffer);
    }
    const double cpu = OwnCpuSeconds() - c0;
    ov_clear(&vf);
    return cpu;
}

// Plain libvorbisfile decoding the piece on a thread of its own at the
// music's pace, beside the music thread: one half of the stream (44100
// bytes) each time the music has played a half, sleeping in between, as any
// player that decodes just in time must. Its CPU time, read over the same
// seconds as the music thread's, is the decoder's own cost at that pace, its
// caches as cold and its wake-ups as few as the thread's can be.
class PacedDecoder {
  public:
    explicit PacedDecoder(uint32_t bytesPerSecond)
        : m_thread([this, bytesPerSecond] { Run(bytesPerSecond); }) {}
    ~PacedDecoder() {
        m_stop = true;
        m_thread.join();
    }
    pid_t Tid() const { return m_tid.load(); }

  private:
    void Run(uint32_t bytesPerSecond) {
        m_tid = pid_t(syscall(SYS_gettid));
        const std::string path = os::ResolvePath(kPiece);
        OggVorbis_File vf;
        if (ov_fopen(path.c_str(), &vf) != 0) return;
        static char buffer[MusicStream::HALF_BYTES];
        const auto half =
            std::chrono::microseconds(uint64_t(MusicStream::HALF_BYTES) * 1000000 / bytesPerSecond);
        auto due = std::chrono::steady_clock::now();
        int section = 0;
        while (!m_stop) {
            for (long filled = 0; filled < long(sizeof buffer);) {
                const long n = ov_read(&vf, buffer + filled, int(sizeof buffer - filled), 0, 2, 1, &section);
                if (n < 0) break;
                if (n == 0) ov_pcm_seek(&vf, 0);
                filled += n;
            }
            benchmark::DoNotOptimize(buffer);
            due += half;
            std::this_thread::sleep_until(due);
        }
        ov_clear(&vf);
    }

    std::atomic<bool> m_stop{false};
    std::atomic<pid_t> m_tid{0};
    std::thread m_thread;
};

double WallSeconds() {
    return double(os::PerformanceCounter()) / double(os::PerformanceFrequency());
}

// OpenAL opens one device at a time, and the sound manager keeps its own
// after Release: the silent back-end takes its place, so that the
// benchmarks that follow can open OpenAL again.
void GiveBackTheSoundDevice() {
    g_SoundMgr.Release();
    g_SoundMgr.SetBackend(audio::Backend::Silent);
    g_SoundMgr.Init();
    g_SoundMgr.Release();
    g_SoundMgr.SetBackend(audio::Backend::Auto);
}

// Streams the looping demo piece for six seconds and reports the music
// thread's CPU time over the same seconds against
// - thread_cpu_over_decoding: libvorbisfile decoding the same music at the
//   same pace on a thread beside it (PacedDecoder); 1 would be the
//   decoder's own cost, and both meet the machine's load alike;
// - thread_cpu_over_tight_decoding: libvorbisfile decoding as much music in
//   one go afterwards, its caches warm (the least decoding can cost);
// and its share of a core and its wake-ups per second.
void CoreShare(benchmark::State& state, audio::Backend backend) {
    setenv("ALSOFT_DRIVERS", "null", 0);
    const std::string saved = os::StartDirectory();
    os::SetStartDirectory(DataDir());
    sound = true;
    g_SoundMgr.SetBackend(backend);
    if (!g_SoundMgr.Init()) {
        state.SkipWithError("no audio device");
        os::SetStartDirectory(saved);
        return;
    }
    g_SoundMgr.Music_SetVolume(1.0f);
    const std::set<pid_t> before = Threads();
    g_SoundMgr.Music_Play(kPiece, true);
    pid_t music = 0;
    for (pid_t t : Threads())
        if (!before.count(t)) music = t;
    if (!music || !g_SoundMgr.Music_IsPlaying()) {
        state.SkipWithError("the music thread did not start");
    } else {
        const uint32_t bytesPerSecond = g_SoundMgr.m_pMusicThread->Stream()->wfx.avgBytesPerSec;
        PacedDecoder paced(bytesPerSecond);
        while (!paced.Tid())
            os::SleepMs(1);
        double cpu = 0, pacedCpu = 0, wall = 0;
        long long wakeUps = 0;
        for (auto _ : state) {
            const double c0 = ThreadCpuSeconds(music), p0 = ThreadCpuSeconds(paced.Tid()), w0 = WallSeconds();
            const long long s0 = ContextSwitches(music);
            os::SleepMs(1000);
            cpu += ThreadCpuSeconds(music) - c0;
            pacedCpu += ThreadCpuSeconds(paced.Tid()) - p0;
            wall += WallSeconds() - w0;
            wakeUps += ContextSwitches(music) - s0;
        }
        const double tight = DecodeCpuSeconds(uint64_t(wall * bytesPerSecond));
        state.counters["core_share_percent"] = 100.0 * cpu / wall;
        state.counters["wakeups_per_second"] = double(wakeUps) / wall;
        state.counters["decode_core_share_percent"] = 100.0 * pacedCpu / wall;
        if (pacedCpu > 0) state.counters["thread_cpu_over_decoding"] = cpu / pacedCpu;
        if (tight > 0) state.counters["thread_cpu_over_tight_decoding"] = cpu / tight;
    }
    GiveBackTheSoundDevice();
    os::SetStartDirectory(saved);
}

void BM_MusicThreadCpuOpenAl(benchmark::State& state) {
    CoreShare(state, audio::Backend::OpenAl);
}
BENCHMARK(BM_MusicThreadCpuOpenAl)->Iterations(6)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MusicThreadCpuSilent(benchmark::State& state) {
    CoreShare(state, audio::Backend::Silent);
}
BENCHMARK(BM_MusicThreadCpuSilent)->Iterations(6)->Unit(benchmark::kMillisecond)->UseRealTime();

// Dropouts of the real-time output: while the looping demo piece streams
// through the sound manager on OpenAL's (silent) output, the play position
// is watched under the sound lock every millisecond. Each time it enters a
// new half, the music thread has until the position comes back round (one
// half later) to refill the half it left; the time it takes is its refill
// lag, and a lag longer than a half's playing time is a dropout (a stale
// half heard again). Reported per second of music; run it with the machine
// loaded to see how the thread copes.
void BM_MusicDropouts(benchmark::State& state) {
    setenv("ALSOFT_DRIVERS", "null", 0);
    const std::string saved = os::StartDirectory();
    os::SetStartDirectory(DataDir());
    sound = true;
    g_SoundMgr.SetBackend(audio::Backend::OpenAl);
    if (!g_SoundMgr.Init()) {
        state.SkipWithError("no audio device");
        os::SetStartDirectory(saved);
        return;
    }
    g_SoundMgr.Music_SetVolume(1.0f);
    g_SoundMgr.Music_Play(kPiece, true);
    CMusicThread* thread = g_SoundMgr.m_pMusicThread;
    if (!thread || !thread->Stream() || !thread->Stream()->pBuffer) {
        state.SkipWithError("the music thread did not start");
    } else {
        const MusicStream* stream = thread->Stream();
        const double halfSeconds =
            double(MusicStream::HALF_BYTES) / double(stream->wfx.samplesPerSec * stream->wfx.blockAlign);
        double worst = 0, behindSince = -1, seconds = 0;
        int64_t dropouts = 0;
        for (auto _ : state) {
            const double start = WallSeconds();
            while (WallSeconds() - start < 1.0) {
                uint32_t cursor = 0, previous = 0;
                {
                    CSoundLock::Scoped lock(g_SoundMgr.Lock());
                    stream->pBuffer->GetCurrentPosition(&cursor);
                    previous = stream->dwPreviousHalf;
                }
                const double now = WallSeconds();
                const bool behind = (cursor >= MusicStream::HALF_BYTES ? 1u : 0u) != previous;
                if (behind && behindSince < 0) behindSince = now;
                if (!behind && behindSince >= 0) {
                    const double lag = now - behindSince;
                    worst = std::max(worst, lag);
                    dropouts += lag > halfSeconds;
                    behindSince = -1;
                }
                os::SleepMs(1);
            }
            seconds += WallSeconds() - start;
        }
        state.counters["max_refill_lag_ms"] = worst * 1000.0;
        state.counters["dropouts_per_minute"] = double(dropouts) * 60.0 / seconds;
    }
    GiveBackTheSoundDevice();
    os::SetStartDirectory(saved);
}
BENCHMARK(BM_MusicDropouts)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// A stream of the demo piece, looping, on a device of its own.
struct BenchStream {
    std::unique_ptr<audio::Device> device;
    MusicStream* stream = nullptr;
    std::string saved;

    explicit BenchStream(audio::Backend backend) {
        setenv("ALSOFT_DRIVERS", "null", 0);
        saved = os::StartDirectory();
        os::SetStartDirectory(DataDir());
        if (audio::OpenDevice(backend, &device) != audio::Result::Ok) return;
        stream = rCreateMusicStream(kPiece, device.get());
        if (stream) rPlayMusicStream(stream, true);
        if (stream) stream->bLoop = 1;
    }
    ~BenchStream() {
        rDeleteMusicStream(&stream);
        device.reset();
        os::SetStartDirectory(saved);
    }
};

// The update alone when it finds nothing to do: one position query. The
// thread's wake-up around it, which costs far more, is in the CPU time of
// BM_MusicThreadCpuOpenAl/Silent; BM_MusicTickWithinAHalf adds the lock and
// the next sleep's length.
void BM_MusicUpdateWithinAHalf(benchmark::State& state) {
    BenchStream b(state.range(0) ? audio::Backend::OpenAl : audio::Backend::Silent);
    if (!b.stream || !b.stream->pBuffer) {
        state.SkipWithError("no stream");
        return;
    }
    b.stream->pBuffer->Stop();
    for (auto _ : state) {
        rUpdateMusicStream(b.stream);
        benchmark::DoNotOptimize(b.stream->dwCurrentHalf);
    }
}
BENCHMARK(BM_MusicUpdateWithinAHalf)->Arg(0)->Arg(1)->ArgName("openal");

// One turn of the thread's loop that finds nothing to do, short of the sleep
// itself: the sound lock taken, the update, the next sleep's length worked
// out from the play position, the lock given back.
void BM_MusicTickWithinAHalf(benchmark::State& state) {
    BenchStream b(state.range(0) ? audio::Backend::OpenAl : audio::Backend::Silent);
    if (!b.stream || !b.stream->pBuffer) {
        state.SkipWithError("no stream");
        return;
    }
    b.stream->pBuffer->Stop();
    CSoundLock lock;
    lock.SetActive(true);
    for (auto _ : state) {
        lock.Semaphore().Wait(-1);
        rUpdateMusicStream(b.stream);
        benchmark::DoNotOptimize(rMusicStreamSleepMs(b.stream));
        lock.Semaphore().Release();
    }
}
BENCHMARK(BM_MusicTickWithinAHalf)->Arg(0)->Arg(1)->ArgName("openal");

// The tick that refills: 44100 bytes decoded and written into the half left.
void BM_MusicRefillHalf(benchmark::State& state) {
    BenchStream b(state.range(0) ? audio::Backend::OpenAl : audio::Backend::Silent);
    if (!b.stream || !b.stream->pBuffer) {
        state.SkipWithError("no stream");
        return;
    }
    uint32_t half = 0;
    for (auto _ : state) {
        b.stream->dwPreviousHalf = half;
        b.stream->dwCurrentHalf = 1 - half;
        rRefillMusicStream(b.stream);
        half = 1 - half;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * MusicStream::HALF_BYTES);
}
BENCHMARK(BM_MusicRefillHalf)->Arg(0)->Arg(1)->ArgName("openal")->Unit(benchmark::kMicrosecond);

} // namespace
