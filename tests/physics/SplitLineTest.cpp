// The word picker of the parameter files.
#include <gtest/gtest.h>

#include <string>

#include "physics/RigidBodyParametersMgr.h"

namespace {

struct SplitCase {
    const char* name;
    std::string line;
    int32_t index;
    size_t capacity;
    std::string word;
};

class SplitLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitLineTest, PicksTheWordOfTheIndex) {
    const SplitCase& c = GetParam();
    std::string out(c.capacity + 8, '#'); // room past the capacity shows a write beyond it
    SplitLine(c.line.c_str(), c.index, out.data(), c.capacity);
    EXPECT_EQ(std::string(out.c_str()), c.word);
    EXPECT_EQ(out[c.capacity], '#');
}

const std::string kLong = "first " + std::string(6000, 'x') + " tail";

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitLineTest,
    ::testing::Values(SplitCase{"firstOfPadded", "  A   B  ", 0, 16, "A"},
                      SplitCase{"secondOfPadded", "  A   B  ", 1, 16, "B"},
                      SplitCase{"pastTheLast", "  A   B  ", 2, 16, ""}, SplitCase{"empty", "", 0, 16, ""},
                      SplitCase{"emptyAtIndex", "", 3, 16, ""}, SplitCase{"blanks", "     ", 0, 16, ""},
                      SplitCase{"blanksAtIndex", "     ", 2, 16, ""},
                      SplitCase{"negative", "socket top 1 2 3", -5, 16, "socket"},
                      SplitCase{"numbers", "socket top 1.5 -2 3", 4, 16, "3"},
                      SplitCase{"noCommentSyntax", "value // note", 1, 16, "//"},
                      SplitCase{"truncatedAtCapacity", "mesh_filename models\\very_long_name.x", 1, 8,
                                "models\\"},
                      SplitCase{"capacityOne", "word", 0, 1, ""},
                      SplitCase{"wordCutAtTheWorkingCopy", kLong, 1, 8000, std::string(4993, 'x')},
                      SplitCase{"restBeyondTheWorkingCopy", kLong, 2, 8000, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SplitLine, NullLineAndZeroCapacity) {
    char out[4] = "abc";
    SplitLine(nullptr, 0, out, sizeof out);
    EXPECT_STREQ(out, "");
    out[0] = 'z';
    SplitLine("word", 0, out, 0);
    EXPECT_EQ(out[0], 'z');
}

} // namespace
