// The ambient colour and fog uploads the lit passes share, made through a
// small effect of those four parameters on the real device headless: what a
// run of objects uploads by their keys, with the set colours taken from the
// frame's render values or from the environment's sets.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/PassSkeleton.h"
#include "tests/EffectDevice.h"
#include "tests/render/CountingEffect.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

using Floats = std::vector<std::vector<float>>;

constexpr const char* kEffect = R"(
parameter float4 g_AmbientLightDiffuse;
parameter float4 g_FogColor;
parameter float g_FogFar;
parameter float g_FogNear;
input float3 aPos : POSITION;
glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }
glsl fragment fs { void main() { FragColor = g_AmbientLightDiffuse + g_FogColor * (g_FogFar - g_FogNear); } }
technique T { pass { vertex vs; fragment fs; } }
)";

// One object of a run: its ambient and fog set, and its flags.
struct Object {
    int set = 1;
    bool fixedColour = false;
    bool noFog = false;
};

// Where a pass takes the set colours from.
enum class Source { Environment, RenderValues };

// Set 1 and set 2 of the environment, and render values that differ from
// them, so that the source of each upload shows.
constexpr uint32_t kAmbient[3] = {0, 0x336699, 0xFF0000};
constexpr uint32_t kFog[3] = {0, 0x102030, 0x000080};
constexpr float kFogFar[3] = {0, 900.0f, 500.0f};
constexpr float kFogNear[3] = {0, 100.0f, 50.0f};
const std::vector<float> kProbed = {0.1f, 0.2f, 0.3f, 0.4f};

std::vector<float> Channels(uint32_t c) {
    return {float((c >> 16) & 0xFF) / 255.0f, float((c >> 8) & 0xFF) / 255.0f, float(c & 0xFF) / 255.0f,
            1.0f};
}
ObjectRenderValues ValuesOf(int set) {
    ObjectRenderValues v;
    v.vAmbient = math::Vec4{0.5f, 0.25f, 0.1f * float(set), 1.0f};
    v.vFog = math::Vec4{0.2f * float(set), 0.0f, 0.0f, 1.0f};
    v.fFogFar = 2000.0f * float(set);
    v.fFogNear = 20.0f * float(set);
    return v;
}

class LightUploadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(d_.dev, nullptr);
        effect::Effect* real = d_.Make(kEffect);
        ASSERT_NE(real, nullptr);
        effect_ = new CountingEffect(real);
        record_.pEffect = effect_;
        saved_ = g_EnvironmentSettings;
        for (int set = 1; set <= 2; ++set) {
            g_EnvironmentSettings.SetAmbientColor(kAmbient[set], set);
            g_EnvironmentSettings.SetFogColor(kFog[set], set);
            g_EnvironmentSettings.SetFogFar(kFogFar[set], set);
            g_EnvironmentSettings.SetFogNear(kFogNear[set], set);
        }
    }
    void TearDown() override {
        g_EnvironmentSettings = saved_;
        if (effect_) effect_->Release();
    }

    // The objects of a run, in order.
    std::vector<std::unique_ptr<ObjectRecord>> Objects(const std::vector<Object>& run) {
        std::vector<std::unique_ptr<ObjectRecord>> out;
        for (const Object& o : run) {
            auto h = std::make_unique<ObjectRecord>();
            h->iAmbientLightIdx = h->iFogIdx = o.set;
            if (o.fixedColour) h->dwFlags2 |= objflags::kFlag2FixedColour;
            if (o.noFog) h->dwFlags2 |= objflags::kFlag2NoFog;
            for (int i = 0; i < 4; ++i)
                h->fProbedAmbient[i] = kProbed[size_t(i)];
            out.push_back(std::move(h));
        }
        return out;
    }

    EffectDevice d_;
    CountingEffect* effect_ = nullptr;
    EffectRecord record_;
    EnvironmentSettings saved_;
};

// ---- Ambient colour -----------------------------------------------------------------------

struct AmbientCase {
    const char* name;
    std::vector<Object> run;
    bool animatedTexture;
    Source source;
    Floats uploads;
    bool probedAmbient = true; // off: the water reflection's keys
};

void PrintTo(const AmbientCase& c, std::ostream* os) {
    *os << c.name;
}

class AmbientUploadTest : public LightUploadTest, public ::testing::WithParamInterface<AmbientCase> {};

TEST_P(AmbientUploadTest, EachObjectUploadsWhatItsKeySays) {
    const AmbientCase& c = GetParam();
    const passes::LightHandles handles(&record_);
    passes::LightKeys keys;
    keys.probedAmbient = c.probedAmbient;
    for (const auto& h : Objects(c.run)) {
        const ObjectRenderValues values = ValuesOf(h->iAmbientLightIdx);
        passes::UploadAmbient(effect_, handles, &keys, h.get(), c.animatedTexture,
                              c.source == Source::RenderValues ? &values : nullptr);
    }
    EXPECT_EQ(effect_->Of("g_AmbientLightDiffuse"), c.uploads);
    EXPECT_TRUE(effect_->Of("g_FogFar").empty());
}

const std::vector<float> kValuesAmbient1 = {0.5f, 0.25f, 0.1f, 1.0f};

INSTANTIATE_TEST_SUITE_P(
    LitPass, AmbientUploadTest,
    ::testing::Values(
        AmbientCase{"a set from the environment", {{1}}, false, Source::Environment, {Channels(kAmbient[1])}},
        AmbientCase{"a set from the render values", {{1}}, false, Source::RenderValues, {kValuesAmbient1}},
        AmbientCase{"the same set again uploads nothing",
                    {{1}, {1}},
                    false,
                    Source::Environment,
                    {Channels(kAmbient[1])}},
        AmbientCase{"each change of set uploads",
                    {{1}, {2}, {1}},
                    false,
                    Source::Environment,
                    {Channels(kAmbient[1]), Channels(kAmbient[2]), Channels(kAmbient[1])}},
        AmbientCase{"a fixed colour sends the probed one and the next object uploads again",
                    {{1}, {1, true}, {1}},
                    false,
                    Source::RenderValues,
                    {kValuesAmbient1, kProbed, kValuesAmbient1}},
        AmbientCase{"without probed colours a fixed colour takes the set colour like the others",
                    {{1}, {1, true}, {2}},
                    false,
                    Source::Environment,
                    {Channels(kAmbient[1]), Channels(kAmbient[2])},
                    false},
        AmbientCase{"an animated texture uploads for every object",
                    {{1}, {1}},
                    true,
                    Source::Environment,
                    {Channels(kAmbient[1]), Channels(kAmbient[1])}}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (ch == ' ') ch = '_';
        return n;
    });

// ---- Fog -------------------------------------------------------------------------------------

struct FogCase {
    const char* name;
    std::vector<Object> run;
    Source source;
    bool colourHandle; // false: a pass that takes the distances alone
    Floats colours, fars, nears;
};

void PrintTo(const FogCase& c, std::ostream* os) {
    *os << c.name;
}

class FogUploadTest : public LightUploadTest, public ::testing::WithParamInterface<FogCase> {};

TEST_P(FogUploadTest, EachObjectUploadsWhatItsKeySays) {
    const FogCase& c = GetParam();
    passes::LightHandles handles(&record_);
    if (!c.colourHandle) handles.fogColor = effect::Handle();
    passes::LightKeys keys;
    for (const auto& h : Objects(c.run)) {
        const ObjectRenderValues values = ValuesOf(h->iFogIdx);
        passes::UploadFog(effect_, handles, &keys, h.get(),
                          c.source == Source::RenderValues ? &values : nullptr);
    }
    EXPECT_EQ(effect_->Of("g_FogColor"), c.colours);
    EXPECT_EQ(effect_->Of("g_FogFar"), c.fars);
    EXPECT_EQ(effect_->Of("g_FogNear"), c.nears);
    EXPECT_TRUE(effect_->Of("g_AmbientLightDiffuse").empty());
}

INSTANTIATE_TEST_SUITE_P(
    LitPass, FogUploadTest,
    ::testing::Values(FogCase{"a set from the environment",
                              {{1}},
                              Source::Environment,
                              true,
                              {Channels(kFog[1])},
                              {{kFogFar[1]}},
                              {{kFogNear[1]}}},
                      FogCase{"a set from the render values",
                              {{2}},
                              Source::RenderValues,
                              true,
                              {{0.4f, 0.0f, 0.0f, 1.0f}},
                              {{4000.0f}},
                              {{40.0f}}},
                      FogCase{"the same set again uploads nothing",
                              {{1}, {1}},
                              Source::Environment,
                              true,
                              {Channels(kFog[1])},
                              {{kFogFar[1]}},
                              {{kFogNear[1]}}},
                      FogCase{"no fog puts it beyond anything drawn and the set after it uploads again",
                              {{1}, {1, false, true}, {1}},
                              Source::Environment,
                              true,
                              {Channels(kFog[1]), Channels(kFog[1])},
                              {{kFogFar[1]}, {80008.0f}, {kFogFar[1]}},
                              {{kFogNear[1]}, {80000.0f}, {kFogNear[1]}}},
                      FogCase{"the distances alone",
                              {{1}, {2}},
                              Source::Environment,
                              false,
                              {},
                              {{kFogFar[1]}, {kFogFar[2]}},
                              {{kFogNear[1]}, {kFogNear[2]}}}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (ch == ' ') ch = '_';
        return n;
    });

TEST_F(LightUploadTest, AnUploadedFogSetIsKeptWhereAsked) {
    const passes::LightHandles handles(&record_);
    passes::LightKeys keys;
    const auto objects = Objects({{1}, {1, false, true}, {2}, {2}});
    std::vector<std::vector<float>> kept(objects.size(), std::vector<float>(6, -1.0f));
    for (size_t i = 0; i < objects.size(); ++i)
        passes::UploadFog(effect_, handles, &keys, objects[i].get(), nullptr, kept[i].data());
    auto set = [](int n) {
        std::vector<float> v = Channels(kFog[n]);
        v.push_back(kFogFar[n]);
        v.push_back(kFogNear[n]);
        return v;
    };
    const std::vector<float> untouched(6, -1.0f);
    EXPECT_EQ(kept, (Floats{set(1), untouched, set(2), untouched}))
        << "only an uploaded set is kept: not without fog, not a set already in force";
}

} // namespace
