// The skinning set-up of a loading model's meshes.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "platform/mesh/MeshData.h"
#include "skinmesh/SkinMeshAllocateHierarchy.h"

namespace {

struct FixCase {
    const char* name;
    uint32_t influences;
    std::array<float, 4> before;
    std::array<float, 4> after;
};

class BlendWeightFix : public ::testing::TestWithParam<FixCase> {};

TEST_P(BlendWeightFix, GivesTheLastWeightWhatTheOthersLeave) {
    const FixCase& c = GetParam();
    mesh::SkinnedMeshData d;
    d.vertices.resize(2);
    for (mesh::SkinnedVertex& v : d.vertices) {
        std::copy(c.before.begin(), c.before.end(), v.weights);
        v.indices[0] = 3;
        v.indices[3] = 9;
    }
    FixBlendWeights(&d, c.influences);
    for (const mesh::SkinnedVertex& v : d.vertices) {
        for (int i = 0; i < 4; ++i)
            EXPECT_FLOAT_EQ(v.weights[i], c.after[size_t(i)]) << i;
        // Indices stay with their vertex.
        EXPECT_EQ(v.indices[0], 3);
        EXPECT_EQ(v.indices[3], 9);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlendWeightFix,
    ::testing::Values(
        FixCase{"OverOneClampsToZero", 4, {0.7f, 0.5f, 0.0f, 0.3f}, {0.7f, 0.5f, 0.0f, 0.0f}},
        FixCase{"RestGoesToTheFourth", 4, {0.2f, 0.1f, 0.1f, 0.0f}, {0.2f, 0.1f, 0.1f, 0.6f}},
        FixCase{"TwoInfluencesStillFixTheFourth", 2, {0.75f, 0.25f, 0.0f, 0.5f}, {0.75f, 0.25f, 0.0f, 0.0f}},
        FixCase{"NegativeSumClampsToOne", 3, {-0.5f, 0.0f, 0.0f, 0.0f}, {-0.5f, 0.0f, 0.0f, 1.0f}},
        FixCase{"OneInfluenceIsWhole", 1, {0.4f, 0.3f, 0.2f, 0.1f}, {1.0f, 0.0f, 0.0f, 0.0f}},
        FixCase{"NoInfluenceIsWhole", 0, {0.0f, 0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f, 0.0f}}),
    [](const ::testing::TestParamInfo<FixCase>& i) { return std::string(i.param.name); });

} // namespace
