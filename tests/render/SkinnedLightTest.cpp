// The camera-bound light of the skinned lit passes against GLM: the back
// light's direction and the three ambient directions, each the camera's
// look turned by the D3DX convention (row vectors, a new turn following
// the old one, so a forward axis is turned about fixed axes in order), and
// the rim strength over variant, flags and kind bits.
#include "render/SkinnedLight.h"

#include <gtest/gtest.h>

#include <cmath>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include "world/EngineObjectFlags.h"

namespace {

constexpr float kPi = 3.14159265358979f;

glm::vec3 Turned(const glm::vec3& v, const glm::vec3& axis, float angle) {
    return glm::vec3(glm::rotate(glm::mat4(1.0f), angle, glm::normalize(axis)) * glm::vec4(v, 0.0f));
}

::testing::AssertionResult Near(const math::Vec4& got, const glm::vec3& want, float w, float eps = 1e-4f) {
    if (std::fabs(got.x - want.x) > eps || std::fabs(got.y - want.y) > eps ||
        std::fabs(got.z - want.z) > eps || got.w != w)
        return ::testing::AssertionFailure()
               << "(" << got.x << ", " << got.y << ", " << got.z << ", " << got.w << ") != (" << want.x
               << ", " << want.y << ", " << want.z << ", " << w << ")";
    return ::testing::AssertionSuccess();
}

struct Camera {
    const char* name;
    glm::vec3 forward;
};

// The camera's right axis as a look direction gives it: world up x forward.
glm::vec3 RightOf(const glm::vec3& forward) {
    return glm::normalize(glm::cross(glm::vec3(0, 1, 0), glm::normalize(forward)));
}

class BackLight : public ::testing::TestWithParam<Camera> {};

TEST_P(BackLight, IsTheLookTurnedAboutRightThenUpAndReversed) {
    const glm::vec3 f = glm::normalize(GetParam().forward);
    const glm::vec3 r = RightOf(f);
    const glm::vec3 want = -Turned(Turned(f, r, 1.15f * kPi), glm::vec3(0, 1, 0), 1.25f * kPi);
    EXPECT_TRUE(Near(litpass::BackLightDirection({f.x, f.y, f.z}, {r.x, r.y, r.z}), want, 0.0f));
}

INSTANTIATE_TEST_SUITE_P(Cameras, BackLight,
                         ::testing::Values(Camera{"along_z", {0, 0, 1}}, Camera{"along_minus_x", {-1, 0, 0}},
                                           Camera{"down_and_aside", {1, -0.5f, 2}},
                                           Camera{"up_and_back", {-0.3f, 0.8f, -1}}),
                         [](const auto& info) { return info.param.name; });

TEST(BackLightValue, LookingAlongZItPointsDownLeftAndTowardTheViewer) {
    const math::Vec4 d = litpass::BackLightDirection({0, 0, 1}, {1, 0, 0});
    EXPECT_NEAR(d.x, -0.630f, 5e-4f);
    EXPECT_NEAR(d.y, -0.454f, 5e-4f);
    EXPECT_NEAR(d.z, -0.630f, 5e-4f);
    EXPECT_EQ(d.w, 0.0f);
}

class AmbientDirections : public ::testing::TestWithParam<Camera> {};

TEST_P(AmbientDirections, AreTheLookTiltedAboutItsRightAndTurnedBothWaysAboutUp) {
    const glm::vec3 f = glm::normalize(GetParam().forward);
    const glm::vec3 o = Turned(f, RightOf(f), 0.2f * kPi);
    const glm::vec3 want[3] = {o, Turned(o, glm::vec3(0, 1, 0), 0.55f * kPi),
                               Turned(o, glm::vec3(0, 1, 0), -0.55f * kPi)};
    const glm::vec3 given = GetParam().forward; // not unit length: the pass normalises it
    math::Vec4 got[3];
    litpass::AmbientDirections({given.x, given.y, given.z}, got);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(Near(got[i], want[i], 0.0f)) << "direction " << i;
}

INSTANTIATE_TEST_SUITE_P(Cameras, AmbientDirections,
                         ::testing::Values(Camera{"along_z", {0, 0, 1}},
                                           Camera{"long_axis_along_x", {7, 0, 0}},
                                           Camera{"down_and_aside", {1, -0.5f, 2}}),
                         [](const auto& info) { return info.param.name; });

TEST(AmbientDirectionValues, LookingAlongZTheFirstTiltsDownAndTheOthersTurnAside) {
    math::Vec4 d[3];
    litpass::AmbientDirections({0, 0, 1}, d);
    // Tilted down by 0.2 pi: (0, -sin, cos).
    EXPECT_NEAR(d[0].y, -std::sin(0.2f * kPi), 1e-5f);
    EXPECT_NEAR(d[0].z, std::cos(0.2f * kPi), 1e-5f);
    // The turned ones keep the height and mirror each other across the look.
    EXPECT_NEAR(d[1].y, d[0].y, 1e-5f);
    EXPECT_NEAR(d[2].y, d[0].y, 1e-5f);
    EXPECT_NEAR(d[1].x, -d[2].x, 1e-5f);
    EXPECT_NEAR(d[1].z, d[2].z, 1e-5f);
    EXPECT_LT(d[1].z, 0.0f); // past the side: 0.55 pi
}

struct RimCase {
    litpass::Rim variant;
    uint32_t flags;
    uint32_t kind;
    float want;
};

class Fresnel : public ::testing::TestWithParam<RimCase> {};

TEST_P(Fresnel, FollowsTheVariantTheNoRimBitAndTheWholeKindWord) {
    const RimCase& c = GetParam();
    EXPECT_EQ(litpass::FresnelCoef(c.variant, c.flags, c.kind), c.want);
}

using litpass::Rim;
constexpr uint32_t kShown = objflags::kFlagVisible;
constexpr uint32_t kNoRim = objflags::kFlagVisible | 0x80000u;

INSTANTIATE_TEST_SUITE_P(
    Cases, Fresnel,
    ::testing::Values(RimCase{Rim::SkyLight, kShown, 0, 0.8f}, RimCase{Rim::SkyLight, kNoRim, 0, 0.0f},
                      RimCase{Rim::SkyLight, kShown, 256, 0.0f}, RimCase{Rim::SkyLight, kNoRim, 256, 0.0f},
                      RimCase{Rim::SkyLight, kShown, 256 | 1, 0.8f}, // kind bits compared whole
                      RimCase{Rim::SkyLight20, kShown, 0, 1.0f}, RimCase{Rim::SkyLight20, kNoRim, 0, 0.0f},
                      RimCase{Rim::SkyLight20, kShown, 256, 1.0f},
                      RimCase{Rim::SkyLight20, kNoRim, 256, 0.0f}, RimCase{Rim::Ambient, kShown, 0, 1.0f},
                      RimCase{Rim::Ambient, kNoRim, 0, 0.0f}, RimCase{Rim::Ambient, kShown, 256, 1.0f}));

} // namespace
