#include "app/Debug.h"

#include <cstdio>
#include <cstring>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "app/Timer.h"

constinit bool g_bTrackAllocations = false;
constinit EDebug g_Debug;

namespace {

// Tags are kept in 63 characters; a longer one is cut the same way every time
// so that it still finds its own slot.
void CutTag(const char* tag, char (&out)[EDebug::TAG_LEN]) {
    std::strncpy(out, tag ? tag : "", EDebug::TAG_LEN - 1);
    out[EDebug::TAG_LEN - 1] = 0;
}

} // namespace

int EDebug::FindSlot(const char* tag) const {
    char key[TAG_LEN];
    CutTag(tag, key);
    for (int i = 0; i < MAX_ALLOCATIONS; ++i) {
        if (m_Allocations[i].used && StrCmpNoCase(m_Allocations[i].tag, key) == 0) return i;
    }
    return -1;
}

void EDebug::AddAllocation(const char* tag) {
    if (!g_bTrackAllocations) return;
    int i = FindSlot(tag);
    if (i >= 0) {
        ++m_Allocations[i].count;
        return;
    }
    for (AllocationSlot& slot : m_Allocations) {
        if (slot.used) continue;
        CutTag(tag, slot.tag);
        slot.count = 1;
        slot.used = true;
        return;
    }
    // Every slot taken by another tag: this one is not counted.
}

void EDebug::RemoveAllocation(const char* tag) {
    if (!g_bTrackAllocations) return;
    int i = FindSlot(tag);
    if (i < 0) {
        g_Console.Print3("Remove ", tag ? tag : "", " nie ma odpowiednika!");
        return;
    }
    AllocationSlot& slot = m_Allocations[i];
    if (--slot.count == 0) slot = AllocationSlot();
}

void EDebug::DumpAllocations() const {
    if (!g_bTrackAllocations) return;
    g_Console.Print("*** Current memory allocations:");
    for (const AllocationSlot& slot : m_Allocations) {
        if (slot.used) g_Console.Printf("%s: %i", slot.tag, int(slot.count));
    }
}

uint32_t EDebug::GetAllocationCount(const char* tag) const {
    int i = FindSlot(tag);
    return i < 0 ? 0 : m_Allocations[i].count;
}

void EDebug::ClearAllocations() {
    for (AllocationSlot& slot : m_Allocations)
        slot = AllocationSlot();
}

void EDebug::StartTimer(uint32_t n) {
    if (n < MAX_TIMERS) m_fTimers[n] = DXUtilTimer(TIMER_GETABSOLUTETIME);
}

double EDebug::GetTimerElapsed(uint32_t n) const {
    if (n >= MAX_TIMERS) return 0.0;
    return DXUtilTimer(TIMER_GETABSOLUTETIME) - m_fTimers[n];
}
