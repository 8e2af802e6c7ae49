#include "app/Profiler.h"

#include <cstring>

#include "platform/os/Os.h"

constinit Profiler g_Profiler;

namespace {

uint64_t Now() {
    return g_Profiler.m_pfnCounter ? g_Profiler.m_pfnCounter() : os::PerformanceCounter();
}

uint64_t Frequency() {
    return g_Profiler.m_pfnFrequency ? g_Profiler.m_pfnFrequency() : os::PerformanceFrequency();
}

struct Label {
    int id;
    uint32_t level;
    const char* text;
};

constexpr Label LABELS[] = {
    {prof::EngineUpdate, 0, "Engine Update"},
    {prof::MainGamePre, 1, "EU: MainGame Pre"},
    {prof::EnvUpdate, 1, "EU: Env Update"},
    {prof::EngineObjectsUpdate, 1, "EU: EngineObjects Update"},
    {32, 2, "EO: Camera Collision Finder"},
    {34, 2, "EO: AmbientSound"},
    {36, 2, "EO: UpdateObjects"},
    {37, 3, "EO: U ObjectsOnBezier"},
    {38, 3, "EO: U ObjectLoop"},
    {45, 5, "EO: UO Startup"},
    {46, 5, "EO: UO FX i drobnica"},
    {58, 5, "EO: UO UpdateALS"},
    {60, 5, "EO: UO UpdateSkinmesh"},
    {62, 5, "EO: UO UpdateSuicide"},
    {64, 5, "EO: UO UpdateAction"},
    {141, 4, "EO: U WaitingToDie"},
    {144, 3, "EO: U LinkedUpdate"},
    {145, 3, "EO: U SkinmeshUpdate"},
    {prof::MainGameUpdate, 0, "MainGame Update"},
    {202, 1, "MU Startup"},
    {204, 1, "MU DeeDee Update"},
    {206, 1, "MU Cutscene Update"},
    {prof::CameraUpdate, 1, "MU Camera Update"},
    {prof::PlayerUpdate, 1, "MU Player Update"},
    {214, 1, "MU GameAI Update"},
    {220, 1, "MU PostacMgr Update"},
    {240, 1, "MU ItemMgr Update"},
    {244, 1, "MU Bronie Update"},
    {248, 1, "MU FX Update"},
    {250, 1, "MU Dialogue Update"},
    {252, 1, "MU Objective Update"},
    {256, 1, "MU Mewy Update"},
    {258, 1, "MU Dust Update"},
    {260, 1, "MU Bronie Update"},
    {262, 1, "MU Panel Update"},
    {prof::RigidBodySimulationUpdate, 1, "MU RigidBodySimulation Update"},
    {280, 1, "MU SoundMgr Update"},
    {prof::Prerender, 0, "D3DMain Prerender"},
    {prof::Render, 0, "D3DMain Render"},
    {prof::EngineRender, 1, "Engine Render"},
    {prof::MainGameRender, 1, "MainGame Render"},
};

bool ValidId(int id) {
    return id >= 0 && id < Profiler::MAX_ENTRIES;
}

} // namespace

double ProfilerSeconds(uint64_t from, uint64_t to, uint64_t frequency) {
    if (frequency == 0) return 0.0;
    return double(to - from) / double(frequency);
}

void ProfilerInitLabels() {
    for (const Label& l : LABELS) {
        Profiler::Entry& e = g_Profiler.m_Entries[l.id];
        e.used = true;
        e.level = l.level;
        std::strncpy(e.label, l.text, Profiler::LABEL_LEN - 1);
    }
}

void ProfilerFrameReset() {
    g_Profiler.m_FrameStart = Now();
    for (Profiler::Entry& e : g_Profiler.m_Entries)
        e.seconds = 0.0;
}

void ProfilerStart(int id) {
    if (ValidId(id)) g_Profiler.m_Entries[id].start = Now();
}

double ProfilerStop(int id) {
    if (!ValidId(id)) return 0.0;
    Profiler::Entry& e = g_Profiler.m_Entries[id];
    double seconds = ProfilerSeconds(e.start, Now(), Frequency());
    e.seconds += seconds;
    return seconds;
}

void ProfilerFrameTime() {
    g_Profiler.m_fFrameTime = ProfilerSeconds(g_Profiler.m_FrameStart, Now(), Frequency());
}
