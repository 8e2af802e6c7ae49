// The count of heap allocations of the benchmark process (every operator
// new), for benchmarks that show a step allocates nothing.
#pragma once

#include <atomic>
#include <cstdint>

extern std::atomic<uint64_t> g_Allocations;
