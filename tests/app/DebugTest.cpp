#include "app/Debug.h"

#include <gtest/gtest.h>

#include <string>

#include "app/Timer.h"
#include "tests/app/ScratchDir.h"

namespace {

// The tracker with its switch on; console lines land in the scratch
// directory's "!console.txt".
class Tracker : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        saved_ = g_bTrackAllocations;
        g_bTrackAllocations = true;
        g_Debug.ClearAllocations();
    }
    void TearDown() override {
        g_Debug.ClearAllocations();
        g_bTrackAllocations = saved_;
        ScratchDirTest::TearDown();
    }
    std::string Console() const { return ReadFile("!console.txt"); }

    bool saved_ = false;
};

} // namespace

TEST_F(Tracker, CountsPerTagWithoutRegardToCase) {
    g_Debug.AddAllocation("strSound");
    g_Debug.AddAllocation("STRSOUND");
    g_Debug.AddAllocation("strtexture");
    EXPECT_EQ(g_Debug.GetAllocationCount("strsound"), 2u);
    EXPECT_EQ(g_Debug.GetAllocationCount("strtexture"), 1u);
    EXPECT_EQ(g_Debug.m_Allocations[0].count, 2u);
    EXPECT_STREQ(g_Debug.m_Allocations[0].tag, "strSound"); // the first spelling names the slot

    g_Debug.RemoveAllocation("StrSound");
    EXPECT_EQ(g_Debug.GetAllocationCount("strSound"), 1u);
    EXPECT_EQ(Console(), "");
}

TEST_F(Tracker, SwitchedOffCountsNothing) {
    g_bTrackAllocations = false;
    g_Debug.AddAllocation("strpostac");
    g_Debug.RemoveAllocation("strFaza");
    g_Debug.DumpAllocations();
    g_bTrackAllocations = true;
    EXPECT_EQ(g_Debug.GetAllocationCount("strpostac"), 0u);
    EXPECT_EQ(Console(), "");
    // Switched on later, a release of something created before has no match.
    g_Debug.RemoveAllocation("strpostac");
    EXPECT_EQ(Console(), "Remove strpostac nie ma odpowiednika!\n");
}

TEST_F(Tracker, ASlotFreedAtZeroIsTakenByTheNextNewTag) {
    g_Debug.AddAllocation("a");
    g_Debug.AddAllocation("b");
    g_Debug.RemoveAllocation("a");
    EXPECT_FALSE(g_Debug.m_Allocations[0].used);
    g_Debug.AddAllocation("c");
    EXPECT_STREQ(g_Debug.m_Allocations[0].tag, "c");
    EXPECT_STREQ(g_Debug.m_Allocations[1].tag, "b");
    g_Debug.RemoveAllocation("a");
    EXPECT_EQ(Console(), "Remove a nie ma odpowiednika!\n");
}

TEST_F(Tracker, AFullTableCountsNoNewTag) {
    for (int i = 0; i < EDebug::MAX_ALLOCATIONS; ++i)
        g_Debug.AddAllocation(("tag" + std::to_string(i)).c_str());
    g_Debug.AddAllocation("one too many");
    EXPECT_EQ(g_Debug.GetAllocationCount("one too many"), 0u);
    g_Debug.AddAllocation("tag7"); // known tags still count
    EXPECT_EQ(g_Debug.GetAllocationCount("tag7"), 2u);
}

TEST_F(Tracker, LongTagsFindTheirOwnSlot) {
    std::string tag(100, 'x');
    g_Debug.AddAllocation(tag.c_str());
    g_Debug.AddAllocation(tag.c_str());
    EXPECT_EQ(g_Debug.GetAllocationCount(tag.c_str()), 2u);
    EXPECT_EQ(std::string(g_Debug.m_Allocations[0].tag), tag.substr(0, EDebug::TAG_LEN - 1));
}

TEST_F(Tracker, DumpListsUsedSlotsInSlotOrder) {
    g_Debug.AddAllocation("zmienna konsoli");
    g_Debug.AddAllocation("strtext");
    g_Debug.AddAllocation("strtext");
    g_Debug.AddAllocation("gone");
    g_Debug.RemoveAllocation("gone");
    g_Debug.DumpAllocations();
    EXPECT_EQ(Console(), "*** Current memory allocations:\nzmienna konsoli: 1\nstrtext: 2\n");
}

namespace {

uint64_t g_fakeTicks = 0;
uint64_t FakeCounter() {
    return g_fakeTicks;
}
uint64_t FakeFrequency() {
    return 1000;
}
uint32_t FakeMs() {
    return 0;
}

} // namespace

TEST(DebugTimers, MeasureAbsoluteTimeBySlot) {
    TimerClock clock = {FakeCounter, FakeFrequency, FakeMs};
    DXUtilTimerSetClock(&clock);
    g_fakeTicks = 5000;
    g_Debug.StartTimer(401);
    g_Debug.StartTimer(511);
    g_fakeTicks = 5250;
    EXPECT_DOUBLE_EQ(g_Debug.GetTimerElapsed(401), 0.25);
    g_Debug.StartTimer(401);
    g_fakeTicks = 6000;
    EXPECT_DOUBLE_EQ(g_Debug.GetTimerElapsed(401), 0.75);
    EXPECT_DOUBLE_EQ(g_Debug.GetTimerElapsed(511), 1.0);
    g_Debug.StartTimer(512);
    EXPECT_EQ(g_Debug.GetTimerElapsed(512), 0.0);
    EXPECT_EQ(g_Debug.GetTimerElapsed(100000), 0.0);
    DXUtilTimerSetClock(nullptr);
}
