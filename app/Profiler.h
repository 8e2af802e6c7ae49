// The profiler: 512 timers by id, each a frame stage bracketed by
// ProfilerStart and ProfilerStop; the stop adds the stage's seconds to the
// timer. Ids with a label are shown by the profiler display while the console
// variable Profiler (g_iProfiler) is non-zero. Main thread only; start and stop read the
// counter once and allocate nothing.
#pragma once

#include <cstdint>

class Profiler {
  public:
    static constexpr int MAX_ENTRIES = 512;
    static constexpr int LABEL_LEN = 256;

    struct Entry {
        bool used = false;    // set for the ids with a label
        uint64_t start = 0;   // performance-counter value
        double seconds = 0.0; // accumulated this frame
        char label[LABEL_LEN] = {};
        uint32_t level = 5; // indent level of the display
    };

    constexpr Profiler() = default;

    Entry m_Entries[MAX_ENTRIES] = {};
    uint64_t m_FrameStart = 0;
    double m_fFrameTime = 0.0;

    // The counter read by start, stop and the frame marks; tests drive it by hand.
    uint64_t (*m_pfnCounter)() = nullptr;
    uint64_t (*m_pfnFrequency)() = nullptr;
};

extern Profiler g_Profiler;

// The timers the frame brackets, named where they are started and stopped
// and where their labels are given.
namespace prof {
constexpr int EngineUpdate = 0;
constexpr int MainGamePre = 10;
constexpr int EnvUpdate = 20;
constexpr int EngineObjectsUpdate = 30;
constexpr int RendererUpdate = 50;
constexpr int MainGameUpdate = 200;
constexpr int CameraUpdate = 208;
constexpr int PlayerUpdate = 210;
constexpr int FxUpdate = 248;
constexpr int RigidBodySimulationUpdate = 264;
constexpr int SoundMgrUpdate = 280;
constexpr int Prerender = 300;
constexpr int Render = 400;
constexpr int EngineRender = 430;
constexpr int MainGameRender = 460;
} // namespace prof

void ProfilerInitLabels();
void ProfilerFrameReset();
void ProfilerStart(int id);
double ProfilerStop(int id);
void ProfilerFrameTime();
// The on-screen display of every labelled timer (while the console variable
// Profiler is non-zero), right after ProfilerFrameTime.
void ProfilerReport();

// Seconds between two counter values, from their full 64-bit difference.
double ProfilerSeconds(uint64_t from, uint64_t to, uint64_t frequency);
