// The environment settings' four sets as the renderer's passes read them: an
// index outside 0..3 means set 0 for every setter and getter, and a channel
// setter keeps the low 8 bits of the truncated value.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "render/EnvironmentSettings.h"

namespace {

class EnvironmentIndex : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override { saved_ = g_EnvironmentSettings; }
    void TearDown() override { g_EnvironmentSettings = saved_; }
    EnvironmentSettings saved_;
};

TEST_P(EnvironmentIndex, AnIndexOutsideTheFourSetsMeansSetZero) {
    EnvironmentSettings& e = g_EnvironmentSettings;
    for (int i = 0; i < EnvironmentSettings::NUM_SETS; ++i) {
        e.SetAmbientColor(0x010101u * uint32_t(i + 1), i);
        e.SetFogColor(0x020202u * uint32_t(i + 1), i);
        e.SetFogFar(1000.0f * float(i + 1), i);
        e.SetFogNear(10.0f * float(i + 1), i);
    }
    const int index = GetParam();
    e.SetAmbientColor(0x00ABCDEFu, index);
    e.SetAmbientR(300.0f, index);
    e.SetFogColor(0x00123456u, index);
    e.SetFogB(-1.0f, index);
    e.SetFogFar(5.0f, index);
    e.SetFogNear(6.0f, index);

    uint32_t fog = 0;
    float far = 0, near = 0;
    e.GetFogColor(&fog, index);
    e.GetFogFar(&far, index);
    e.GetFogNear(&near, index);
    // 300 keeps 44 (0x2C); -1 keeps 255.
    EXPECT_EQ(e.GetAmbientColor(index), 0x002CCDEFu);
    EXPECT_EQ(e.GetAmbientColor(0), 0x002CCDEFu);
    EXPECT_EQ(fog, 0x001234FFu);
    EXPECT_EQ(far, 5.0f);
    EXPECT_EQ(near, 6.0f);
    for (int i = 1; i < EnvironmentSettings::NUM_SETS; ++i) {
        EXPECT_EQ(e.GetAmbientColor(i), 0x010101u * uint32_t(i + 1)) << i;
        e.GetFogColor(&fog, i);
        EXPECT_EQ(fog, 0x020202u * uint32_t(i + 1)) << i;
        e.GetFogFar(&far, i);
        EXPECT_EQ(far, 1000.0f * float(i + 1)) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Outside, EnvironmentIndex, ::testing::Values(-1, 4, 1000, INT_MIN, INT_MAX, 0));

struct ChannelCase {
    float value;
    uint32_t channel;
};

class EnvironmentChannel : public ::testing::TestWithParam<ChannelCase> {
  protected:
    void SetUp() override { saved_ = g_EnvironmentSettings; }
    void TearDown() override { g_EnvironmentSettings = saved_; }
    EnvironmentSettings saved_;
};

TEST_P(EnvironmentChannel, KeepsTheLowEightBitsOfTheTruncatedValue) {
    EnvironmentSettings& e = g_EnvironmentSettings;
    e.SetAmbientColor(0xFF102030u, 2);
    e.SetAmbientG(GetParam().value, 2);
    // The other channels stay; the top byte is cleared.
    EXPECT_EQ(e.GetAmbientColor(2), 0x00100030u | GetParam().channel << 8);
}

INSTANTIATE_TEST_SUITE_P(Values, EnvironmentChannel,
                         ::testing::Values(ChannelCase{0.0f, 0}, ChannelCase{255.9f, 255},
                                           ChannelCase{256.0f, 0}, ChannelCase{300.0f, 44},
                                           ChannelCase{-0.5f, 0}, ChannelCase{-1.0f, 255},
                                           ChannelCase{1e20f, 0xFF}, ChannelCase{NAN, 0}));

} // namespace
