// The integration tests' main. Sharded runs (GTEST_TOTAL_SHARDS and
// GTEST_SHARD_INDEX, as ctest gives them) are split here rather than by
// GoogleTest, which deals out single tests: the tests of a suite that share
// one run of the game (GAMERUN_SHARED_SUITE) go to one shard together, so
// that the game runs once for them. Every other test is dealt out alone, in
// turn, as GoogleTest would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "tests/integration/GameProcess.h"

namespace {

// Whether `name` matches one of GoogleTest's ':'-separated patterns of '*'
// and '?'.
bool MatchesPattern(const char* pattern, const char* name) {
    for (;; ++pattern, ++name) {
        switch (*pattern) {
        case '\0':
        case ':':
            return *name == '\0';
        case '*':
            return MatchesPattern(pattern + 1, name) || (*name != '\0' && MatchesPattern(pattern, name + 1));
        case '?':
            if (*name == '\0') return false;
            break;
        default:
            if (*pattern != *name) return false;
        }
    }
}

bool MatchesAny(const std::string& patterns, const std::string& name) {
    for (size_t at = 0;; ++at) {
        if (MatchesPattern(patterns.c_str() + at, name.c_str())) return true;
        at = patterns.find(':', at);
        if (at == std::string::npos) return false;
    }
}

// The filter that runs this shard's tests of those `filter` chooses.
std::string ShardFilter(const std::string& filter, int shards, int shard) {
    const size_t dash = filter.find('-');
    const std::string positive = dash == 0 || filter.empty() ? "*" : filter.substr(0, dash);
    const std::string negative = dash == std::string::npos ? "" : filter.substr(dash + 1);
    const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
    std::map<std::string, int> shardOf; // a shared suite's or a single test's
    int next = 0;
    std::string chosen;
    for (int i = 0; i < unit.total_test_suite_count(); ++i) {
        const ::testing::TestSuite& suite = *unit.GetTestSuite(i);
        for (int j = 0; j < suite.total_test_count(); ++j) {
            const std::string name = std::string(suite.name()) + "." + suite.GetTestInfo(j)->name();
            if (name.find("DISABLED_") != std::string::npos || !MatchesAny(positive, name) ||
                MatchesAny(negative, name))
                continue;
            const auto [it, added] =
                shardOf.emplace(gamerun::IsSharedSuite(suite.name()) ? suite.name() : name, next);
            if (added) next = (next + 1) % shards;
            if (it->second == shard) chosen += name + ":";
        }
    }
    return chosen.empty() ? "-*" : chosen;
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* total = std::getenv("GTEST_TOTAL_SHARDS");
    const char* index = std::getenv("GTEST_SHARD_INDEX");
    if (total && index && std::atoi(total) > 0) {
        const std::string filter = ShardFilter(GTEST_FLAG_GET(filter), std::atoi(total), std::atoi(index));
        // Nor is the choice split again, here or in a game a test starts.
        unsetenv("GTEST_TOTAL_SHARDS");
        unsetenv("GTEST_SHARD_INDEX");
        GTEST_FLAG_SET(filter, filter);
    }
    return RUN_ALL_TESTS();
}
