// The environment settings' save block: every field at its offset, near
// distances before far ones, a round trip that restores every saved field
// and leaves the camera's clear colour and "FogR/G/B" alone, and short or
// missing streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "render/EnvironmentSettings.h"
#include "world/Camera.h"

namespace {

std::vector<uint8_t> Le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
std::vector<uint8_t> Le32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return Le32(v);
}

// Distinct values in every field, so that a field written in another's
// place shows.
void Fill(EnvironmentSettings& env, float seed) {
    for (int i = 0; i < EnvironmentSettings::NUM_SETS; ++i) {
        env.SetAmbientColor(0x00102030u + uint32_t(i) * 0x01010101u + uint32_t(seed), i);
        env.SetFogColor(0x00A0B0C0u + uint32_t(i) * 0x00010203u + uint32_t(seed), i);
        env.SetFogNear(seed + 10.0f * float(i + 1), i);
        env.SetFogFar(seed + 1000.0f * float(i + 1), i);
    }
    env.EnableFog();
    SkyLightPower = seed + 0.25f;
    env.SetSkyLightColor(0x00FFEE00u + uint32_t(seed));
    const float sky[3] = {seed - 1.0f, seed - 0.5f, seed + 0.5f};
    const float flare[3] = {seed + 2.0f, seed - 3.0f, seed + 4.5f};
    env.SetSkyLightDirection(sky);
    env.SetLensFlareDirection(flare);
}

std::vector<uint8_t> Block(const EnvironmentSettings& env) {
    std::FILE* f = std::tmpfile();
    g_BytesWritten = 0;
    env.Save(f);
    std::vector<uint8_t> bytes(size_t(std::ftell(f)));
    std::rewind(f);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    return bytes;
}

// A stream holding the bytes, rewound.
std::FILE* Stream(const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

class EnvironmentSave : public ::testing::Test {
  protected:
    void SetUp() override { savedPower_ = SkyLightPower; }
    void TearDown() override { SkyLightPower = savedPower_; }
    float savedPower_ = 1.0f;
};

struct FieldCase {
    const char* name;
    uint32_t offset;
    std::function<std::vector<uint8_t>()> bytes;
};

class EnvironmentSaveField : public EnvironmentSave, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(EnvironmentSaveField, SitsAtItsOffset) {
    EnvironmentSettings env;
    Fill(env, 7.0f);
    const std::vector<uint8_t> block = Block(env);
    ASSERT_EQ(block.size(), EnvironmentSettings::SAVE_BLOCK_SIZE);
    EXPECT_EQ(g_BytesWritten, EnvironmentSettings::SAVE_BLOCK_SIZE);
    const std::vector<uint8_t> expected = GetParam().bytes();
    ASSERT_LE(GetParam().offset + expected.size(), block.size());
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + GetParam().offset,
                                   block.begin() + GetParam().offset + expected.size()),
              expected);
}

std::vector<FieldCase> FieldCases() {
    std::vector<FieldCase> cases;
    for (int i = 0; i < EnvironmentSettings::NUM_SETS; ++i) {
        const uint32_t k = uint32_t(i);
        cases.push_back({"ambient", 4 * k, [k] { return Le32(0x00102030u + k * 0x01010101u + 7u); }});
        cases.push_back({"fog_colour", 16 + 4 * k, [k] { return Le32(0x00A0B0C0u + k * 0x00010203u + 7u); }});
        cases.push_back({"fog_near", 32 + 4 * k, [k] { return Le32(7.0f + 10.0f * float(k + 1)); }});
        cases.push_back({"fog_far", 48 + 4 * k, [k] { return Le32(7.0f + 1000.0f * float(k + 1)); }});
    }
    cases.push_back({"fog_enabled", 64, [] { return std::vector<uint8_t>{1}; }});
    cases.push_back({"sky_light_power", 65, [] { return Le32(7.25f); }});
    cases.push_back({"sky_light_colour", 69, [] { return Le32(0x00FFEE07u); }});
    cases.push_back({"sky_light_x", 73, [] { return Le32(6.0f); }});
    cases.push_back({"sky_light_y", 77, [] { return Le32(6.5f); }});
    cases.push_back({"sky_light_z", 81, [] { return Le32(7.5f); }});
    cases.push_back({"lens_flare_x", 85, [] { return Le32(9.0f); }});
    cases.push_back({"lens_flare_y", 89, [] { return Le32(4.0f); }});
    cases.push_back({"lens_flare_z", 93, [] { return Le32(11.5f); }});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Block, EnvironmentSaveField, ::testing::ValuesIn(FieldCases()),
                         [](const ::testing::TestParamInfo<FieldCase>& info) {
                             return std::string(info.param.name) + "_at_" + std::to_string(info.param.offset);
                         });

TEST_F(EnvironmentSave, GreyFogThatIsOnShowsAtSixteenAndSixtyFour) {
    EnvironmentSettings env;
    env.SetFogColor(0x00808080u, 0);
    env.EnableFog();
    const std::vector<uint8_t> block = Block(env);
    ASSERT_EQ(block.size(), EnvironmentSettings::SAVE_BLOCK_SIZE);
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 16, block.begin() + 20),
              (std::vector<uint8_t>{128, 128, 128, 0}));
    EXPECT_EQ(block[64], 1);
    env.DisableFog();
    EXPECT_EQ(Block(env)[64], 0);
}

TEST_F(EnvironmentSave, LoadRestoresEveryFieldButNotTheClearColourOrFogVariables) {
    EnvironmentSettings saved;
    Fill(saved, 7.0f);
    std::vector<uint8_t> block = Block(saved);
    block.push_back(0xAB); // the next block's first byte stays unread

    EnvironmentSettings env;
    Fill(env, 3.0f);
    env.DisableFog();
    const uint32_t clear = g_Camera.GetBackgroundColor();
    const float fogR = g_Console.FindVariable("FogR")->fValue;
    const float fogG = g_Console.FindVariable("FogG")->fValue;
    const float fogB = g_Console.FindVariable("FogB")->fValue;

    std::FILE* f = Stream(block);
    g_BytesRead = 0;
    env.Load(f);
    EXPECT_EQ(g_BytesRead, EnvironmentSettings::SAVE_BLOCK_SIZE);
    EXPECT_EQ(std::fgetc(f), 0xAB);
    std::fclose(f);

    // Saving again gives the same bytes: every saved field came back.
    EXPECT_EQ(Block(env), Block(saved));
    EXPECT_TRUE(env.FogEnabled());
    EXPECT_FLOAT_EQ(SkyLightPower, 7.25f);
    EXPECT_EQ(g_Camera.GetBackgroundColor(), clear);
    EXPECT_FLOAT_EQ(g_Console.FindVariable("FogR")->fValue, fogR);
    EXPECT_FLOAT_EQ(g_Console.FindVariable("FogG")->fValue, fogG);
    EXPECT_FLOAT_EQ(g_Console.FindVariable("FogB")->fValue, fogB);
}

TEST_F(EnvironmentSave, AnyNonZeroFogByteReadsAsOn) {
    EnvironmentSettings env;
    std::vector<uint8_t> block = Block(env);
    for (uint8_t byte : {uint8_t(1), uint8_t(2), uint8_t(0x80), uint8_t(0xFF)}) {
        block[64] = byte;
        env.DisableFog();
        std::FILE* f = Stream(block);
        env.Load(f);
        std::fclose(f);
        EXPECT_TRUE(env.FogEnabled()) << int(byte);
    }
}

TEST_F(EnvironmentSave, AShortBlockKeepsWhatItDoesNotHoldAndANullStreamDoesNothing) {
    EnvironmentSettings saved;
    Fill(saved, 7.0f);
    const std::vector<uint8_t> full = Block(saved);

    // Cut inside the fog far distances: the colours and near distances come
    // back, the rest stays as it was.
    EnvironmentSettings env;
    Fill(env, 3.0f);
    const std::vector<uint8_t> before = Block(env);
    std::FILE* f = Stream(std::vector<uint8_t>(full.begin(), full.begin() + 50));
    env.Load(f);
    std::fclose(f);
    const std::vector<uint8_t> after = Block(env);
    EXPECT_EQ(std::vector<uint8_t>(after.begin(), after.begin() + 48),
              std::vector<uint8_t>(full.begin(), full.begin() + 48));
    EXPECT_EQ(std::vector<uint8_t>(after.begin() + 52, after.end()),
              std::vector<uint8_t>(before.begin() + 52, before.end()));

    env.Load(nullptr);
    env.Save(nullptr);
    EXPECT_EQ(Block(env), after);
}

} // namespace
