#include "app/Profiler.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

uint64_t g_ticks = 0;
uint64_t Counter() {
    return g_ticks;
}
uint64_t Frequency() {
    return 1000;
}

class ProfilerClock : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = std::make_unique<Profiler>(g_Profiler);
        g_Profiler.m_pfnCounter = Counter;
        g_Profiler.m_pfnFrequency = Frequency;
        g_ticks = 1000;
        ProfilerFrameReset();
    }
    void TearDown() override { g_Profiler = *saved_; }
    std::unique_ptr<Profiler> saved_;
};

} // namespace

TEST_F(ProfilerClock, StageTimesAddUpWithinAFrame) {
    ProfilerStart(210);
    g_ticks += 250;
    EXPECT_DOUBLE_EQ(ProfilerStop(210), 0.25);
    ProfilerStart(210);
    g_ticks += 500;
    EXPECT_DOUBLE_EQ(ProfilerStop(210), 0.5);
    EXPECT_DOUBLE_EQ(g_Profiler.m_Entries[210].seconds, 0.75);

    ProfilerStart(220); // started, never stopped
    g_ticks += 100;
    EXPECT_EQ(g_Profiler.m_Entries[220].seconds, 0.0);

    ProfilerFrameTime();
    EXPECT_DOUBLE_EQ(g_Profiler.m_fFrameTime, 0.85);
    ProfilerFrameReset();
    EXPECT_EQ(g_Profiler.m_Entries[210].seconds, 0.0);
}

TEST_F(ProfilerClock, IdsOutsideTheTableAreIgnored) {
    for (int id : {-1, 512, 100000}) {
        ProfilerStart(id);
        g_ticks += 10;
        EXPECT_EQ(ProfilerStop(id), 0.0) << id;
    }
    ProfilerStart(511);
    g_ticks += 10;
    EXPECT_DOUBLE_EQ(ProfilerStop(511), 0.01);
}

// A stage longer than a wrap of the counter's low 32 bits keeps its length.
TEST(ProfilerSeconds, UseTheFull64BitDifference) {
    struct Case {
        uint64_t from, to, frequency;
        double seconds;
    } cases[] = {
        {0, 3'000'000'000ull, 1'000'000'000ull, 3.0},
        {0xFFFF'FF00ull, 0x1'0000'0100ull, 256, 2.0},       // crosses a 32-bit wrap
        {1'000, 10'000'001'000ull, 1'000'000'000ull, 10.0}, // more than two wraps
        {5, 5, 1000, 0.0},
        {0, 100, 0, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(ProfilerSeconds(c.from, c.to, c.frequency), c.seconds) << c.to;
}

TEST(ProfilerLabels, TableOfLabelledIds) {
    auto saved = std::make_unique<Profiler>(g_Profiler);
    g_Profiler = Profiler();
    for (const Profiler::Entry& e : g_Profiler.m_Entries) {
        ASSERT_FALSE(e.used);
        ASSERT_EQ(e.level, 5u);
    }
    ProfilerInitLabels();
    struct Case {
        int id;
        uint32_t level;
        const char* label;
    } cases[] = {
        {0, 0, "Engine Update"},          {30, 1, "EU: EngineObjects Update"},
        {37, 3, "EO: U ObjectsOnBezier"}, {46, 5, "EO: UO FX i drobnica"},
        {141, 4, "EO: U WaitingToDie"},   {200, 0, "MainGame Update"},
        {244, 1, "MU Bronie Update"},     {260, 1, "MU Bronie Update"},
        {280, 1, "MU SoundMgr Update"},   {300, 0, "D3DMain Prerender"},
        {460, 1, "MainGame Render"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(g_Profiler.m_Entries[c.id].used) << c.id;
        EXPECT_EQ(g_Profiler.m_Entries[c.id].level, c.level) << c.id;
        EXPECT_STREQ(g_Profiler.m_Entries[c.id].label, c.label) << c.id;
    }
    int used = 0;
    for (const Profiler::Entry& e : g_Profiler.m_Entries)
        used += e.used ? 1 : 0;
    EXPECT_EQ(used, 41);
    EXPECT_FALSE(g_Profiler.m_Entries[1].used);
    EXPECT_EQ(g_Profiler.m_Entries[1].level, 5u);
    g_Profiler = *saved;
}
