// The reader of numbers in text: leading decimal digits only, every result
// finite, values beyond a type's range clamped to its ends; and the clamps
// that stand before casts and loops, NaN included.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "platform/os/Number.h"

namespace {

const std::string kNines(60, '9');

struct NumberCase {
    std::string text;
    double real;  // ReadDouble
    float single; // ReadFloat
    int32_t integer;
};

class NumberReading : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberReading, ReadsTheLeadingDecimalNumber) {
    const NumberCase& c = GetParam();
    EXPECT_EQ(os::ReadDouble(c.text.c_str()), c.real) << c.text;
    EXPECT_EQ(os::ReadFloat(c.text.c_str()), c.single) << c.text;
    EXPECT_EQ(os::ReadInt(c.text.c_str()), c.integer) << c.text;
    EXPECT_TRUE(std::isfinite(os::ReadDouble(c.text.c_str())));
    EXPECT_TRUE(std::isfinite(os::ReadFloat(c.text.c_str())));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NumberReading,
    ::testing::Values(
        NumberCase{"12", 12, 12, 12}, NumberCase{"  \t-2.5x", -2.5, -2.5f, -2}, NumberCase{"+7", 7, 7, 7},
        NumberCase{".5", 0.5, 0.5f, 0}, NumberCase{"5.", 5, 5, 5}, NumberCase{"12.9", 12.9, 12.9f, 12},
        NumberCase{"-0.75", -0.75, -0.75f, 0}, NumberCase{"", 0, 0, 0}, NumberCase{"abc", 0, 0, 0},
        NumberCase{"-", 0, 0, 0}, NumberCase{".", 0, 0, 0}, NumberCase{"nan", 0, 0, 0},
        NumberCase{"-nan", 0, 0, 0}, NumberCase{"NAN(123)", 0, 0, 0}, NumberCase{"inf", 0, 0, 0},
        NumberCase{"-inf", 0, 0, 0}, NumberCase{"infinity", 0, 0, 0}, NumberCase{"1e30", 1, 1, 1},
        NumberCase{"-2E-5", -2, -2, -2}, NumberCase{"0x1p99", 0, 0, 0},
        NumberCase{"2147483647", 2147483647.0, 2147483648.0f, INT32_MAX},
        NumberCase{"2147483648", 2147483648.0, 2147483648.0f, INT32_MAX},
        NumberCase{"-2147483649", -2147483649.0, -2147483648.0f, INT32_MIN},
        NumberCase{"99999999999", 99999999999.0, 99999999999.0f, INT32_MAX},
        NumberCase{"1" + std::string(40, '0'), 1e40, FLT_MAX, INT32_MAX},
        NumberCase{kNines, 1e60, FLT_MAX, INT32_MAX}, NumberCase{"-" + kNines, -1e60, -FLT_MAX, INT32_MIN},
        NumberCase{std::string(400, '9'), DBL_MAX, FLT_MAX, INT32_MAX},
        NumberCase{"-" + std::string(400, '9') + ".5", -DBL_MAX, -FLT_MAX, INT32_MIN},
        NumberCase{"0." + std::string(400, '0') + "1", 0, 0, 0}));

TEST(NumberReading, WideIntegersAndNullTexts) {
    EXPECT_EQ(os::ReadInt64("4294967295"), 4294967295LL);
    EXPECT_EQ(os::ReadInt64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(os::ReadInt64("9223372036854775808"), INT64_MAX);
    EXPECT_EQ(os::ReadInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(os::ReadInt64(("-" + kNines).c_str()), INT64_MIN);
    EXPECT_EQ(os::ReadInt64(nullptr), 0);
    EXPECT_EQ(os::ReadInt(nullptr), 0);
    EXPECT_EQ(os::ReadDouble(nullptr), 0);
    EXPECT_EQ(os::ReadFloat(nullptr), 0);
}

TEST(NumberClamps, CastsAndRangesHoldForEveryValue) {
    const double nan = std::numeric_limits<double>::quiet_NaN(),
                 inf = std::numeric_limits<double>::infinity();
    struct Case {
        double value;
        int32_t lo, hi, expected;
    } cases[] = {
        {3.7, INT32_MIN, INT32_MAX, 3},
        {-3.7, INT32_MIN, INT32_MAX, -3},
        {1e10, INT32_MIN, INT32_MAX, INT32_MAX},
        {-1e10, INT32_MIN, INT32_MAX, INT32_MIN},
        {inf, INT32_MIN, INT32_MAX, INT32_MAX},
        {-inf, INT32_MIN, INT32_MAX, INT32_MIN},
        {nan, INT32_MIN, INT32_MAX, 0},
        {nan, 0, 65535, 0},
        {70000.0, 0, 65535, 65535},
        {-1.0, 0, 65535, 0},
        {2147483647.0, INT32_MIN, INT32_MAX, INT32_MAX},
    };
    for (const Case& c : cases)
        EXPECT_EQ(os::ClampToInt(c.value, c.lo, c.hi), c.expected) << c.value;

    const float fnan = std::numeric_limits<float>::quiet_NaN(), finf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(os::ClampFloat(fnan, 0.01f, 100.0f), 0.01f);
    EXPECT_EQ(os::ClampFloat(finf, 0.0f, 100.0f), 100.0f);
    EXPECT_EQ(os::ClampFloat(-finf, 0.0f, 100.0f), 0.0f);
    EXPECT_EQ(os::ClampFloat(2.5f, 0.0f, 100.0f), 2.5f);
}

} // namespace
