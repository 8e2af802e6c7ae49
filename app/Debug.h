// The debug manager: the allocation tracker, which counts live objects per
// text tag (every tracked record is added under its tag when created and
// removed when released), and the debug timers. The tracker only counts while
// its switch, the console variable SystemDebug, is on; it never changes what
// the program does. Video-memory measures and the debug displays live with the
// device and drawing code.
//
// One global instance, constant-initialised and never destroyed, so that
// managers constructed during static initialisation (the text table) or
// destroyed at exit may still call it.
#pragma once

#include <cstdint>

// The switch of the allocation tracker: the console's "SystemDebug" sets it
// (value != 0). Off at start.
extern bool g_bTrackAllocations;

class EDebug {
  public:
    static constexpr int MAX_ALLOCATIONS = 1024;
    static constexpr int TAG_LEN = 64;
    static constexpr int MAX_TIMERS = 512;

    constexpr EDebug() = default;

    void AddAllocation(const char* tag);
    void RemoveAllocation(const char* tag);
    // "*** Current memory allocations:" and one "tag: count" line per used slot.
    void DumpAllocations() const;

    void StartTimer(uint32_t n);
    double GetTimerElapsed(uint32_t n) const;

    // Keeps the free local video memory at device creation.
    void OnDeviceCreated();

    // Video-memory measures: what a section's resources took of the free
    // local video memory (section 1 the post-processing surfaces, section 2
    // the render targets of the sky shadows and projectors).
    static constexpr uint32_t NUM_VIDEO_MEMORY_SECTIONS = 10;
    void BeginVideoMemoryMeasure(uint32_t section);
    void EndVideoMemoryMeasure();
    // The four lines of the video-memory report for the free memory now.
    void FormatVideoMemoryReport(uint32_t freeNow, char (&lines)[4][96]) const;
    // Draws the report (console variable DebugVM; nothing in reduced-render
    // mode).
    void DrawVideoMemoryReport() const;

    // Polygon statistics that the mesh passes add to while PrintPolygonCount
    // is on (the renderer zeroes them each frame), and their display.
    struct PolygonStats {
        uint32_t visiblePolygons = 0, renderedPolygons = 0, visibleShadowPolygons = 0;
        uint32_t switchedSubsets = 0, subsetsUnder100 = 0, subsetsUnder500 = 0, subsetsUnder1000 = 0;
        uint32_t techniqueSwitches = 0;
    };
    PolygonStats m_PolygonStats;
    void FormatPolygonStats(char (&lines)[10][96]) const;
    void DrawPolygonStats() const;
    // The performance report, printed on the console (DebugPerformance).
    void DrawPerformance() const;
    // Effects and lights drawn this frame, and their display (DebugLights).
    uint32_t m_dwFxRendered = 0, m_dwLightsRendered = 0;
    void DrawRenderCounts() const;

    // The count under a tag (case-insensitive), 0 when it has no slot.
    uint32_t GetAllocationCount(const char* tag) const;
    // Forgets every tag and count (tests, and a fresh start of tracking).
    void ClearAllocations();

    struct AllocationSlot {
        char tag[TAG_LEN] = {};
        uint32_t count = 0;
        bool used = false;
    };

    // Tracker.
    AllocationSlot m_Allocations[MAX_ALLOCATIONS] = {};
    // Debug timers: start times in seconds of absolute time.
    double m_fTimers[MAX_TIMERS] = {};
    // Performance figures in seconds, filled by the engine frame for the
    // performance display.
    double m_fUpdateTotal = 0, m_fGameUpdate = 0, m_fEngineUpdate = 0, m_fObjectUpdate = 0,
           m_fMovableUpdate = 0, m_fRendererUpdate = 0, m_fRenderTotal = 0;
    // Free local video memory at device creation, in bytes.
    uint32_t m_dwVideoMemoryAtCreation = 0;
    // Bytes taken per section, the section measured now and the free memory
    // when its measure began.
    uint32_t m_dwVideoMemorySections[NUM_VIDEO_MEMORY_SECTIONS] = {};
    uint32_t m_dwVideoMemorySection = 0;
    uint32_t m_dwVideoMemoryAtMeasureStart = 0;

  private:
    int FindSlot(const char* tag) const;
};

extern EDebug g_Debug;
