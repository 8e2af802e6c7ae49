#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/mesh/MeshData.h"
#include "platform/mesh/XFile.h"
#include "platform/os/Os.h"

namespace {

// A frame holding a quad (one 4-corner face) and a triangle, two materials,
// one of them a reference to a top-level material.
const char* kQuadFile = R"(xof 0303txt 0032
// a comment
template Vector {
 <3D82AB5E-62DA-11cf-AB39-0020AF71E433>
 FLOAT x; FLOAT y; FLOAT z;
}
Material Red {
 1.0;0.0;0.0;1.0;;
 8.0;
 0.5;0.5;0.5;;
 0.0;0.0;0.0;;
 TextureFilename { "textures\\red.tga"; }
}
Frame Root {
 FrameTransformMatrix {
  1,0,0,0, 0,1,0,0, 0,0,1,0, 10,20,30,1;;
 }
 Frame Child {
  FrameTransformMatrix { 2,0,0,0, 0,2,0,0, 0,0,2,0, 0,0,0,1;; }
  Mesh Quad {
   5;
   0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;, 0;0;1;;
   2;
   4;0,1,2,3;,
   3;0,1,4;;
   MeshNormals {
    2;
    0;0;-1;, 0;1;0;;
    2;
    4;0,0,0,0;,
    3;1,1,1;;
   }
   MeshTextureCoords {
    5;
    0;0;, 1;0;, 1;1;, 0;1;, 0.5;0.5;;
   }
   MeshMaterialList {
    2;
    2;
    1,
    0;;
    { Red }
    Material Green {
     0;1;0;1;; 0; 0;0;0;; 0;0;0;;
    }
   }
   VertexDuplicationIndices { 5; 5; 0, 1, 2, 3, 4; }
  }
 }
}
AnimationSet Idle { Animation { { Quad } AnimationKey { 0; 1; 0; 4; 1, 0, 0, 0;;; } } }
)";

TEST(XFileTest, ReadsFramesMeshesNormalsCoordinatesAndMaterials) {
    mesh::XFile x;
    std::string error;
    ASSERT_TRUE(mesh::ParseXFile(kQuadFile, "quad.x", &x, &error)) << error;

    ASSERT_EQ(x.frames.size(), 2u);
    EXPECT_EQ(x.frames[0].name, "Root");
    EXPECT_EQ(x.frames[0].parent, -1);
    EXPECT_EQ(x.frames[1].name, "Child");
    EXPECT_EQ(x.frames[1].parent, 0);
    EXPECT_FLOAT_EQ(x.frames[0].transform.m[3][0], 10);
    EXPECT_FLOAT_EQ(x.frames[0].transform.m[3][2], 30);

    ASSERT_EQ(x.meshes.size(), 1u);
    const mesh::XMesh& m = x.meshes[0];
    EXPECT_EQ(m.name, "Quad");
    EXPECT_EQ(m.frame, 1);
    ASSERT_EQ(m.positions.size(), 5u);
    EXPECT_FLOAT_EQ(m.positions[4].z, 1);
    // The quad becomes the fan (0 1 2) (0 2 3), the triangle stays.
    const std::vector<uint32_t> faces = {0, 1, 2, 0, 2, 3, 0, 1, 4};
    EXPECT_EQ(m.faces, faces);
    const std::vector<uint32_t> normalFaces = {0, 0, 0, 0, 0, 0, 1, 1, 1};
    EXPECT_EQ(m.normalFaces, normalFaces);
    ASSERT_EQ(m.texCoords.size(), 5u);
    EXPECT_FLOAT_EQ(m.texCoords[4].x, 0.5f);
    const std::vector<uint32_t> faceMaterials = {1, 1, 0};
    EXPECT_EQ(m.faceMaterials, faceMaterials);

    ASSERT_EQ(m.materials.size(), 2u);
    EXPECT_FLOAT_EQ(m.materials[0].diffuse.x, 1);
    EXPECT_FLOAT_EQ(m.materials[0].power, 8);
    EXPECT_FLOAT_EQ(m.materials[0].specular.y, 0.5f);
    EXPECT_EQ(m.materials[0].textureFile, "textures\\red.tga");
    EXPECT_FLOAT_EQ(m.materials[1].diffuse.y, 1);
    EXPECT_EQ(m.materials[1].textureFile, "");
}

TEST(XFileTest, FrameWorldMatrixAppliesChildThenParent) {
    mesh::XFile x;
    std::string error;
    ASSERT_TRUE(mesh::ParseXFile(kQuadFile, "quad.x", &x, &error)) << error;
    const math::Matrix w = mesh::FrameWorldMatrix(x, 1);
    // Scale by 2 in the child, then move by (10, 20, 30).
    EXPECT_FLOAT_EQ(w.m[0][0], 2);
    EXPECT_FLOAT_EQ(w.m[3][0], 10);
    EXPECT_FLOAT_EQ(w.m[3][1], 20);
    const math::Matrix top = mesh::FrameWorldMatrix(x, -1);
    EXPECT_FLOAT_EQ(top.m[3][0], 0);
}

TEST(XFileTest, MaterialIndicesShorterThanTheFacesRepeatTheLast) {
    const char* text = R"(xof 0303txt 0032
Mesh M { 4; 0;0;0;, 1;0;0;, 0;1;0;, 1;1;0;;
 3; 3;0,1,2;, 3;1,3,2;, 3;0,2,3;;
 MeshMaterialList { 2; 2; 0, 1;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }
})";
    mesh::XFile x;
    std::string error;
    ASSERT_TRUE(mesh::ParseXFile(text, "m.x", &x, &error)) << error;
    ASSERT_EQ(x.meshes.size(), 1u);
    const std::vector<uint32_t> expected = {0, 1, 1};
    EXPECT_EQ(x.meshes[0].faceMaterials, expected);
    EXPECT_EQ(x.meshes[0].frame, -1);
}

// Faces of different corner counts in either order (the first face sizes the
// triangle list, too short or too long for the rest): each is the fan
// (0, k, k + 1) of its corners, its normal face follows the same fan, and its
// material goes to each of its triangles. Normals given in DeclData are
// indexed like the positions.
TEST(XFileTest, FacesOfAnyCornerCountBecomeFansWithTheirNormalsAndMaterials) {
    const char* text = R"(xof 0303txt 0032
Material A { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }
Material B { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }
Mesh TriangleFirst { 6; 0;0;0;, 1;0;0;, 2;1;0;, 1;2;0;, 0;2;0;, 3;3;0;;
 3; 3;5,4,3;, 5;0,1,2,3,4;, 4;4,3,1,5;;
 MeshNormals { 2; 0;0;1;, 0;0;-1;; 3; 3;1,1,1;, 5;0,1,0,1,0;, 4;1,1,0,0;; }
 MeshMaterialList { 2; 3; 1, 0, 1;; { A } { B } }
}
Mesh PentagonFirst { 6; 0;0;0;, 1;0;0;, 2;1;0;, 1;2;0;, 0;2;0;, 3;3;0;;
 2; 5;4,3,2,1,0;, 3;0,1,5;;
 DeclData { 1; 2;0;3;0;; 18; 0,0,1065353216, 0,0,1065353216, 0,0,1065353216,
  0,0,1065353216, 0,0,1065353216, 0,0,1065353216; }
})";
    mesh::XFile x;
    std::string error;
    ASSERT_TRUE(mesh::ParseXFile(text, "fans.x", &x, &error)) << error;
    ASSERT_EQ(x.meshes.size(), 2u);

    const mesh::XMesh& first = x.meshes[0];
    const std::vector<uint32_t> faces = {5, 4, 3, 0, 1, 2, 0, 2, 3, 0, 3, 4, 4, 3, 1, 4, 1, 5};
    EXPECT_EQ(first.faces, faces);
    const std::vector<uint32_t> normalFaces = {1, 1, 1, 0, 1, 0, 0, 0, 1, 0, 1, 0, 1, 1, 0, 1, 0, 0};
    EXPECT_EQ(first.normalFaces, normalFaces);
    const std::vector<uint32_t> materials = {1, 0, 0, 0, 1, 1};
    EXPECT_EQ(first.faceMaterials, materials);

    const mesh::XMesh& second = x.meshes[1];
    const std::vector<uint32_t> pentagonFirst = {4, 3, 2, 4, 2, 1, 4, 1, 0, 0, 1, 5};
    EXPECT_EQ(second.faces, pentagonFirst);
    EXPECT_EQ(second.normalFaces, pentagonFirst);
    ASSERT_EQ(second.normals.size(), 6u);
    EXPECT_EQ(second.normals[5], math::Vec3(0, 0, 1));
    EXPECT_TRUE(second.faceMaterials.empty());
}

struct BadCase {
    const char* name;
    std::string text;
    const char* message; // expected part of the error
};

std::string MeshText(const std::string& body) {
    return "xof 0303txt 0032\nMesh M {\n" + body + "\n}\n";
}

const std::string kTri = "3; 0;0;0;, 1;0;0;, 0;1;0;;\n 1; 3;0,1,2;;\n";

std::string Nested(int depth) {
    std::string s = "xof 0303txt 0032\n";
    for (int i = 0; i < depth; ++i)
        s += "Frame F {\n";
    for (int i = 0; i < depth; ++i)
        s += "}\n";
    return s;
}

class XFileBadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(XFileBadInput, IsRefusedWithFileAndReason) {
    const BadCase& c = GetParam();
    mesh::XFile x;
    x.frames.push_back({}); // untouched on failure
    std::string error;
    EXPECT_FALSE(mesh::ParseXFile(c.text, "bad.x", &x, &error));
    EXPECT_EQ(error.rfind("bad.x: ", 0), 0u) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(x.frames.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XFileBadInput,
    ::testing::Values(
        BadCase{"Empty", "", "no \"xof \" header"},
        BadCase{"NotX", "hello world, this is text", "no \"xof \" header"},
        BadCase{"BinaryGarbage", "xof 0303bin 0032....", "an unknown binary token"},
        BadCase{"CompressedGarbage", "xof 0303tzip0032....", "compressed file declares 774778414 bytes"},
        BadCase{"FloatSize", "xof 0303txt 0016 Mesh {}", "unknown float size \"0016\""},
        BadCase{"HugeVertexCount", MeshText("1000000000; 0;0;0;;"), "vertex count 1000000000 is more than"},
        BadCase{"NegativeCount", MeshText("-3; 0;0;0;;"), "is not a whole number"},
        BadCase{"FractionalCount", MeshText("2.5; 0;0;0;;"), "is not a whole number"},
        BadCase{"TooFewVertices", MeshText("3; 0;0;0;, 1;0;0;;"), "a number expected, found \"}\""},
        BadCase{"WordInsteadOfNumber", MeshText("3; 0;0;0;, 1;zero;0;, 0;1;0;;\n 1; 3;0,1,2;;"),
                "a number expected, found \"zero\""},
        BadCase{"FaceIndexOutOfRange", MeshText("3; 0;0;0;, 1;0;0;, 0;1;0;;\n 1; 3;0,1,3;;"),
                "face 0 uses vertex 3, not below 3"},
        BadCase{"FaceWithTwoCorners", MeshText("3; 0;0;0;, 1;0;0;, 0;1;0;;\n 1; 2;0,1;;"),
                "face 0 has 2 corners"},
        BadCase{"MoreFacesThanDeclared", MeshText("3; 0;0;0;, 1;0;0;, 0;1;0;;\n 1; 3;0,1,2;, 3;0,1,2;;"),
                "a mesh member or '}' expected"},
        BadCase{"NormalFaceCount", MeshText(kTri + "MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; }"),
                "2 normal faces for 1 faces"},
        BadCase{"NormalFaceCorners", MeshText(kTri + "MeshNormals { 1; 0;0;1;; 1; 4;0,0,0,0;; }"),
                "normal face 0 has 4 corners, the face has 3"},
        BadCase{"NormalIndexOutOfRange", MeshText(kTri + "MeshNormals { 1; 0;0;1;; 1; 3;0,1,0;; }"),
                "uses normal 1, not below 1"},
        BadCase{"TexCoordCount", MeshText(kTri + "MeshTextureCoords { 2; 0;0;, 1;1;; }"),
                "2 texture coordinates for 3 vertices"},
        BadCase{"MaterialIndexOutOfRange",
                MeshText(kTri + "MeshMaterialList { 1; 1; 1;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }"),
                "material index 1 is not below 1"},
        BadCase{
            "MoreMaterialIndicesThanFaces",
            MeshText(kTri + "MeshMaterialList { 1; 2; 0, 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }"),
            "2 material indices for 1 faces"},
        BadCase{"MaterialsMissing",
                MeshText(kTri + "MeshMaterialList { 2; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; "
                                "0;0;0;; } }"),
                "1 materials given, 2 declared"},
        BadCase{"UndefinedReference", MeshText(kTri + "MeshMaterialList { 1; 1; 0;; { Nowhere } }"),
                "material \"Nowhere\" is not defined"},
        BadCase{"MissingBrace", "xof 0303txt 0032\nFrame F { Mesh M {" + kTri, "'}' expected, the file ends"},
        BadCase{"UnterminatedString",
                MeshText(kTri + "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; "
                                "TextureFilename { \"abc } } }"),
                "unterminated string"},
        BadCase{"SkippedObjectUnclosed", "xof 0303txt 0032\nAnimationSet A { Animation { ", "'}' missing"},
        BadCase{"FramesTooDeep", Nested(80), "frames nested deeper than 64"},
        // One material referenced far more often than declared: each reference
        // would copy it, texture name and all.
        BadCase{"MoreReferencesThanDeclared",
                "xof 0303txt 0032\nMaterial Red { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }\nMesh M {\n" + kTri +
                    "MeshMaterialList { 1; 1; 0;; {Red} {Red} {Red} {Red} }\n}\n",
                "more materials given than the 1 declared"},
        BadCase{"MoreMaterialsThanDeclared",
                MeshText(kTri + "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } "
                                "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }"),
                "more materials given than the 1 declared"},
        BadCase{"TextureNameTooLong",
                MeshText(kTri +
                         "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; "
                         "TextureFilename { \"" +
                         std::string(300, 'a') + "\"; } } }"),
                "texture file name of 300 characters, at most 259 allowed"}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return info.param.name; });

// Numbers of every form read as the C library reads them: plain decimals
// (read in the lexer's own pass) and every other form (exponents, more than
// 15 digits) alike, to the last bit; forms that are not numbers are refused.
struct NumberCase {
    const char* text;
    bool valid;
};

class XFileNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(XFileNumber, ReadsAsTheCLibraryDoes) {
    const NumberCase& c = GetParam();
    const std::string text = MeshText(std::string("3; ") + c.text + ";0;0;, 1;0;0;, 0;1;0;;\n 1; 3;0,1,2;;");
    mesh::XFile x;
    std::string error;
    const bool read = mesh::ParseXFile(text, "n.x", &x, &error);
    ASSERT_EQ(read, c.valid) << error;
    if (!c.valid) {
        EXPECT_NE(error.find("a number expected"), std::string::npos) << error;
        return;
    }
    const char* text0 = c.text[0] == '+' ? c.text + 1 : c.text;
    const float expected = float(std::strtod(text0, nullptr));
    const float got = x.meshes.at(0).positions.at(0).x;
    EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << got << " against " << expected;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, XFileNumber,
    ::testing::Values(NumberCase{"0.1", true}, NumberCase{"-887.5", true}, NumberCase{"+2.5", true},
                      NumberCase{".5", true}, NumberCase{"1.", true}, NumberCase{"-0", true},
                      NumberCase{"007", true}, NumberCase{"123456789012345", true},
                      NumberCase{"1234567890123456", true}, NumberCase{"0.000000000000001", true},
                      NumberCase{"0.30000000000000004", true}, NumberCase{"16777217", true},
                      NumberCase{"2.5e-3", true}, NumberCase{"-1E4", true}, NumberCase{"3.4028234e38", true},
                      NumberCase{"1.2.3", false}, NumberCase{"--1", false}, NumberCase{"1-2", false},
                      NumberCase{"1e", false}, NumberCase{"1e999", false}, NumberCase{".", false},
                      NumberCase{"-", false}));

TEST(XFileTest, ErrorNamesTheLine) {
    mesh::XFile x;
    std::string error;
    EXPECT_FALSE(mesh::ParseXFile(MeshText("3; 0;0;0;, 1;0;0;, 0;1;0;;\n 1; 3;0,1,7;;"), "m.x", &x, &error));
    EXPECT_EQ(error.rfind("m.x: line 4: ", 0), 0u) << error;
}

TEST(XFileTest, ReadsThroughThePathResolverAndReportsMissingFiles) {
    namespace fs = std::filesystem;
    const std::string saved = os::StartDirectory();
    const fs::path dir = fs::temp_directory_path() / ("zt_xfile_" + std::to_string(::getpid()));
    fs::create_directories(dir / "Models");
    std::ofstream(dir / "Models" / "Quad.X") << kQuadFile;
    os::SetStartDirectory(dir.string());

    mesh::XFile x;
    std::string error;
    EXPECT_TRUE(mesh::ReadXFile("models\\quad.x", &x, &error)) << error;
    EXPECT_EQ(x.meshes.size(), 1u);
    EXPECT_FALSE(mesh::ReadXFile("models\\none.x", &x, &error));
    EXPECT_EQ(error, "models\\none.x: cannot be opened");

    os::SetStartDirectory(saved);
    fs::remove_all(dir);
}

TEST(MeshDataTest, MergesMeshesPlacedByTheirFramesAndGroupsFacesByMaterial) {
    mesh::XFile x;
    std::string error;
    ASSERT_TRUE(mesh::ParseXFile(kQuadFile, "quad.x", &x, &error)) << error;
    mesh::MeshData d;
    ASSERT_TRUE(mesh::BuildMeshData(x, "quad.x", &d, &error)) << error;

    // Corners differ by normal: quad corners (normal 0) and triangle corners (normal 1).
    EXPECT_EQ(d.vertices.size(), 4u + 3u);
    ASSERT_EQ(d.FaceCount(), 3u);
    const std::vector<uint32_t> attributes = {0, 1, 1}; // the triangle's material 0 first
    EXPECT_EQ(d.attributes, attributes);
    ASSERT_EQ(d.attributeTable.size(), 2u);
    EXPECT_EQ(d.attributeTable[0].attribId, 0u);
    EXPECT_EQ(d.attributeTable[0].faceStart, 0u);
    EXPECT_EQ(d.attributeTable[0].faceCount, 1u);
    EXPECT_EQ(d.attributeTable[1].faceStart, 1u);
    EXPECT_EQ(d.attributeTable[1].faceCount, 2u);
    for (const auto& r : d.attributeTable) {
        for (uint32_t f = r.faceStart; f < r.faceStart + r.faceCount; ++f)
            for (int k = 0; k < 3; ++k) {
                EXPECT_GE(d.indices[3 * f + k], r.vertexStart);
                EXPECT_LT(d.indices[3 * f + k], r.vertexStart + r.vertexCount);
            }
    }

    // Positions are scaled by 2 and moved by (10, 20, 30); normals stay unit length.
    EXPECT_FLOAT_EQ(d.boxMin.x, 10);
    EXPECT_FLOAT_EQ(d.boxMax.x, 12);
    EXPECT_FLOAT_EQ(d.boxMax.z, 32);
    EXPECT_FLOAT_EQ(d.radius, std::sqrt(12.f * 12 + 22 * 22 + 30 * 30)); // vertex (1, 1, 0) placed
    for (const auto& v : d.vertices)
        EXPECT_NEAR(v.normal.x * v.normal.x + v.normal.y * v.normal.y + v.normal.z * v.normal.z, 1, 1e-5);
    EXPECT_EQ(d.materials[1].textureFile, "");
    EXPECT_EQ(d.materials[0].textureFile, "textures\\red.tga");
}

TEST(MeshDataTest, MeshWithoutMaterialsGetsOnePlainMaterialAndEmptyFilesAreRefused) {
    mesh::XFile x;
    std::string error;
    ASSERT_TRUE(mesh::ParseXFile(MeshText(kTri), "t.x", &x, &error)) << error;
    mesh::MeshData d;
    ASSERT_TRUE(mesh::BuildMeshData(x, "t.x", &d, &error)) << error;
    EXPECT_EQ(d.materials.size(), 1u);
    EXPECT_EQ(d.vertices.size(), 3u);

    mesh::XFile empty;
    ASSERT_TRUE(mesh::ParseXFile("xof 0303txt 0032\nFrame F { }\n", "e.x", &empty, &error)) << error;
    EXPECT_FALSE(mesh::BuildMeshData(empty, "e.x", &d, &error));
    EXPECT_EQ(error, "e.x: no mesh with faces");
}

// The generated test character: the text model and its binary low-poly twin
// read without an error, with the same frames in the same order and one mesh
// each under the Body frame.
TEST(XFileTest, TheTestCharacterReadsInBothForms) {
    const std::string dir = std::string(ZT_SOURCE_DIR) + "/data/models/manekin/";
    mesh::XFile text, binary;
    std::string error;
    ASSERT_TRUE(mesh::ReadXFile(dir + "manekin.x", &text, &error)) << error;
    EXPECT_EQ(error, "");
    ASSERT_TRUE(mesh::ReadXFile(dir + "manekin_lowpoly.x", &binary, &error)) << error;
    EXPECT_EQ(error, "");

    ASSERT_EQ(text.frames.size(), 58u); // scene root, 54 biped bones, two face bones, Body
    ASSERT_EQ(binary.frames.size(), text.frames.size());
    for (size_t i = 0; i < text.frames.size(); ++i) {
        SCOPED_TRACE(text.frames[i].name);
        EXPECT_EQ(binary.frames[i].name, text.frames[i].name);
        EXPECT_EQ(binary.frames[i].parent, text.frames[i].parent);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(binary.frames[i].transform.m[r][c], text.frames[i].transform.m[r][c], 1e-5f);
    }
    int head = -1;
    for (size_t i = 0; i < text.frames.size(); ++i)
        if (text.frames[i].name == "Bip01_Head") head = static_cast<int>(i);
    ASSERT_GE(head, 0);
    const math::Matrix headWorld = mesh::FrameWorldMatrix(text, head);
    EXPECT_NEAR(headWorld.m[3][0], 0.0f, 1e-4f);
    EXPECT_NEAR(headWorld.m[3][1], 142.8f, 1e-4f);
    EXPECT_NEAR(headWorld.m[3][2], 0.0f, 1e-4f);

    for (const mesh::XFile* file : {&text, &binary}) {
        ASSERT_EQ(file->meshes.size(), 1u);
        const mesh::XMesh& m = file->meshes[0];
        ASSERT_GE(m.frame, 0);
        EXPECT_EQ(file->frames[static_cast<size_t>(m.frame)].name, "Body");
        EXPECT_LT(m.positions.size(), 65536u);
        EXPECT_EQ(m.texCoords.size(), m.positions.size());
        EXPECT_EQ(m.normalFaces.size(), m.faces.size());
        ASSERT_EQ(m.materials.size(), 2u);
        EXPECT_EQ(m.materials[0].textureFile, "maps\\manekin.tga");
        EXPECT_EQ(m.materials[1].textureFile, "maps\\manekin_glowa.tga");
        EXPECT_EQ(m.faceMaterials.size(), m.TriangleCount());
    }
    EXPECT_LT(binary.meshes[0].positions.size(), text.meshes[0].positions.size());
}

} // namespace
