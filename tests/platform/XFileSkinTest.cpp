// The .x reader's skin templates: XSkinMeshHeader and SkinWeights read with
// their mesh in every form, and each count, index and weight checked.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/mesh/XFile.h"
#include "tests/XFileForms.h"

namespace {

// A quad skinned to two bones; the header is on line 7, the bones on lines 8
// and 9, the mesh closes on line 10.
std::string SkinText(const std::string& header, const std::string& bone1, const std::string& bone2) {
    return "xof 0303txt 0032\n"
           "Frame Root {\n"
           " Frame Arm { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,2,0,1;; } }\n"
           " Mesh Skin {\n"
           "  4; 0;0;0;, 1;0;0;, 1;3;0;, 0;3;0;;\n"
           "  2; 3;0,1,2;, 3;0,2,3;;\n"
           "  " +
           header +
           "\n"
           "  " +
           bone1 +
           "\n"
           "  " +
           bone2 +
           "\n"
           " }\n"
           "}\n";
}

const std::string kHeader = "XSkinMeshHeader { 2; 4; 2; }";
const std::string kRoot =
    "SkinWeights { \"Root\"; 4; 0,1,2,3; 1.0,1.0,0.25,0.5; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }";
const std::string kArm = "SkinWeights { \"Arm\"; 2; 2,3; 0.75,0.5; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,-2,0,1;; }";

// The same file in the binary form.
std::string SkinBinary(bool doubles) {
    XTokens t;
    t.doubles = doubles;
    t.bytes = doubles ? "xof 0303bin 0064" : "xof 0303bin 0032";
    t.Name("Frame");
    t.Name("Root");
    t.Token(10);
    t.Name("Frame");
    t.Name("Arm");
    t.Token(10);
    t.Open("FrameTransformMatrix");
    t.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 2, 0, 1});
    t.Close();
    t.Close();
    t.Name("Mesh");
    t.Name("Skin");
    t.Token(10);
    t.Ints({4});
    t.Floats({0, 0, 0, 1, 0, 0, 1, 3, 0, 0, 3, 0});
    t.Ints({2, 3, 0, 1, 2, 3, 0, 2, 3});
    t.Open("XSkinMeshHeader");
    t.Ints({2, 4, 2});
    t.Close();
    t.Open("SkinWeights");
    t.String("Root");
    t.Ints({4, 0, 1, 2, 3});
    t.Floats({1, 1, 0.25, 0.5, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    t.Close();
    t.Open("SkinWeights");
    t.String("Arm");
    t.Ints({2, 2, 3});
    t.Floats({0.75, 0.5, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -2, 0, 1});
    t.Close();
    t.Close();
    t.Close();
    return t.bytes;
}

struct FormCase {
    const char* name;
    std::string bytes;
};

class XFileSkinForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(XFileSkinForms, ReadsHeaderAndEveryBoneWithItsMesh) {
    mesh::XFile x;
    std::string error;
    ASSERT_TRUE(mesh::ParseXFile(GetParam().bytes, "skin.x", &x, &error)) << error;
    ASSERT_EQ(x.frames.size(), 2u);
    ASSERT_EQ(x.meshes.size(), 1u);
    const mesh::XMesh& m = x.meshes[0];
    EXPECT_EQ(m.frame, 0);
    ASSERT_TRUE(m.hasSkinHeader);
    EXPECT_EQ(m.skinHeader.maxWeightsPerVertex, 2u);
    EXPECT_EQ(m.skinHeader.maxWeightsPerFace, 4u);
    EXPECT_EQ(m.skinHeader.boneCount, 2u);
    ASSERT_EQ(m.skinWeights.size(), 2u);

    const mesh::XSkinWeights& root = m.skinWeights[0];
    EXPECT_EQ(root.boneName, "Root");
    EXPECT_EQ(root.vertices, (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(root.weights, (std::vector<float>{1.0f, 1.0f, 0.25f, 0.5f}));
    EXPECT_EQ(root.offset.m[3][1], 0.0f);

    const mesh::XSkinWeights& arm = m.skinWeights[1];
    EXPECT_EQ(arm.boneName, "Arm");
    EXPECT_EQ(arm.vertices, (std::vector<uint32_t>{2, 3}));
    EXPECT_EQ(arm.weights, (std::vector<float>{0.75f, 0.5f}));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(arm.offset.m[r][c], r == 3 && c == 1 ? -2.0f : (r == c ? 1.0f : 0.0f)) << r << c;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, XFileSkinForms,
    ::testing::Values(FormCase{"Text", SkinText(kHeader, kRoot, kArm)}, FormCase{"Binary", SkinBinary(false)},
                      FormCase{"Binary64", SkinBinary(true)},
                      FormCase{"TextCompressed", CompressXFile(SkinText(kHeader, kRoot, kArm))},
                      FormCase{"BinaryCompressed", CompressXFile(SkinBinary(false), 64)}),
    [](const ::testing::TestParamInfo<FormCase>& info) { return info.param.name; });

TEST(XFileSkinTest, SkinWeightsWithoutHeaderAndAnEmptyBoneRead) {
    const std::string empty = "SkinWeights { \"Arm\"; 0; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }";
    mesh::XFile x;
    std::string error;
    ASSERT_TRUE(mesh::ParseXFile(SkinText("", kRoot, empty), "skin.x", &x, &error)) << error;
    const mesh::XMesh& m = x.meshes.at(0);
    EXPECT_FALSE(m.hasSkinHeader);
    ASSERT_EQ(m.skinWeights.size(), 2u);
    EXPECT_TRUE(m.skinWeights[1].vertices.empty());
    EXPECT_TRUE(m.skinWeights[1].weights.empty());
}

struct SkinBadCase {
    const char* name;
    std::string text;
    std::string message; // after "bad.x: line N: "
};

class XFileSkinBadInput : public ::testing::TestWithParam<SkinBadCase> {};

TEST_P(XFileSkinBadInput, IsRefusedWithTheLineAndNothingRead) {
    const SkinBadCase& c = GetParam();
    mesh::XFile x;
    x.frames.push_back({}); // untouched on failure
    std::string error;
    EXPECT_FALSE(mesh::ParseXFile(c.text, "bad.x", &x, &error));
    EXPECT_EQ(error.rfind("bad.x: " + c.message, 0), 0u) << error;
    EXPECT_EQ(x.frames.size(), 1u);
}

const std::string kMatrix = "1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;;";

INSTANTIATE_TEST_SUITE_P(
    Cases, XFileSkinBadInput,
    ::testing::Values(
        SkinBadCase{"IndexPastThePositions",
                    SkinText(kHeader, "SkinWeights { \"Root\"; 2; 0,4; 1,1; " + kMatrix + " }", kArm),
                    "line 8: mesh \"Skin\": bone \"Root\" influences vertex 4, not below 4"},
        SkinBadCase{"CountTheFileCannotHold",
                    SkinText(kHeader, "SkinWeights { \"Root\"; 4000000000; 0; 1; " + kMatrix + " }", kArm),
                    "line 8: influence count 4000000000 is more than the file holds"},
        SkinBadCase{"FewerIndicesThanTheCount",
                    SkinText(kHeader, kRoot, "SkinWeights { \"Arm\"; 3; 2,3; 0.75,0.5; " + kMatrix + " }"),
                    "line 9: influenced vertex 0.75 is not a whole number"},
        SkinBadCase{"WeightAboveOne",
                    SkinText(kHeader, kRoot, "SkinWeights { \"Arm\"; 2; 2,3; 1.5,0.5; " + kMatrix + " }"),
                    "line 9: mesh \"Skin\": bone \"Arm\" has weight 1.5, not in 0..1"},
        SkinBadCase{"NegativeWeight",
                    SkinText(kHeader, kRoot, "SkinWeights { \"Arm\"; 2; 2,3; 0.5,-0.25; " + kMatrix + " }"),
                    "line 9: mesh \"Skin\": bone \"Arm\" has weight -0.25, not in 0..1"},
        SkinBadCase{"WeightNotFinite",
                    SkinText(kHeader, kRoot, "SkinWeights { \"Arm\"; 2; 2,3; 1e999,0.5; " + kMatrix + " }"),
                    "line 9: a number expected, found bad text \"1e999\""},
        SkinBadCase{"BoneNamedTwice",
                    SkinText(kHeader, kRoot, "SkinWeights { \"Root\"; 1; 2; 0.5; " + kMatrix + " }"),
                    "line 9: mesh \"Skin\": bone \"Root\" is named twice"},
        SkinBadCase{"BoneWithoutName", SkinText(kHeader, kRoot, "SkinWeights { 1; 2; 0.5; " + kMatrix + " }"),
                    "line 9: a bone name expected, found \"1\""},
        SkinBadCase{"OffsetMatrixCut", SkinText(kHeader, kRoot, "SkinWeights { \"Arm\"; 1; 2; 0.5; 1,0,0; }"),
                    "line 9: a number expected, found \"}\""},
        SkinBadCase{"HeaderCountsMoreBones", SkinText("XSkinMeshHeader { 2; 4; 3; }", kRoot, kArm),
                    "line 10: mesh \"Skin\": the skin header declares 3 bones, 2 SkinWeights given"},
        SkinBadCase{"HeaderCountsFewerBones", SkinText("XSkinMeshHeader { 2; 4; 1; }", kRoot, kArm),
                    "line 10: mesh \"Skin\": the skin header declares 1 bones, 2 SkinWeights given"},
        SkinBadCase{"HeaderValuePast16Bits", SkinText("XSkinMeshHeader { 2; 4; 65536; }", kRoot, kArm),
                    "line 7: skin header value 65536 does not fit 16 bits"},
        SkinBadCase{"SecondHeader", SkinText(kHeader + " " + kHeader, kRoot, kArm),
                    "line 7: mesh \"Skin\": a second skin header"}),
    [](const ::testing::TestParamInfo<SkinBadCase>& info) { return info.param.name; });

// The binary form names the byte where the damage is and keeps nothing.
TEST(XFileSkinTest, BinaryIndexPastThePositionsIsRefused) {
    std::string bytes = SkinBinary(false);
    const std::string arm = "Arm";
    const size_t at = bytes.rfind(arm) + arm.size() + 2 + 2 + 4 + 4; // string end, list token, size, count
    bytes[at] = 9;                                                   // the Arm's first influenced vertex
    mesh::XFile x;
    std::string error;
    EXPECT_FALSE(mesh::ParseXFile(bytes, "bad.x", &x, &error));
    EXPECT_NE(error.find(": byte "), std::string::npos) << error;
    EXPECT_NE(error.find("bone \"Arm\" influences vertex 9, not below 4"), std::string::npos) << error;
    EXPECT_TRUE(x.meshes.empty());
}

// The generated character in both of its forms: one skinned mesh whose
// bones are frames of the file, every position influenced with weights that
// add up to one.
TEST(XFileSkinTest, TheTestCharacterCarriesItsSkinInBothForms) {
    const std::string dir = std::string(ZT_SOURCE_DIR) + "/data/models/manekin/";
    for (const char* name : {"manekin.x", "manekin_lowpoly.x"}) {
        SCOPED_TRACE(name);
        mesh::XFile x;
        std::string error;
        ASSERT_TRUE(mesh::ReadXFile(dir + name, &x, &error)) << error;
        ASSERT_EQ(x.meshes.size(), 1u);
        const mesh::XMesh& m = x.meshes[0];
        ASSERT_TRUE(m.hasSkinHeader);
        EXPECT_EQ(m.skinHeader.boneCount, m.skinWeights.size());
        EXPECT_GT(m.skinWeights.size(), 10u);
        std::vector<float> sum(m.positions.size(), 0.0f);
        std::vector<uint32_t> influences(m.positions.size(), 0);
        for (const mesh::XSkinWeights& bone : m.skinWeights) {
            bool isFrame = false;
            for (const mesh::XFrame& f : x.frames)
                isFrame = isFrame || f.name == bone.boneName;
            EXPECT_TRUE(isFrame) << bone.boneName;
            ASSERT_EQ(bone.vertices.size(), bone.weights.size());
            for (size_t i = 0; i < bone.vertices.size(); ++i) {
                sum[bone.vertices[i]] += bone.weights[i];
                ++influences[bone.vertices[i]];
            }
        }
        for (size_t v = 0; v < sum.size(); ++v) {
            EXPECT_NEAR(sum[v], 1.0f, 2e-3f) << "position " << v;
            EXPECT_LE(influences[v], m.skinHeader.maxWeightsPerVertex) << "position " << v;
        }
    }
}

} // namespace
