// The .x reader's forms: one mesh written as text, binary (32- and 64-bit
// floats) and compressed reads alike; DeclData and vertex colours; the binary
// writer round-trips what the cache keeps; damaged compressed files are
// refused with a reason.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/mesh/MeshData.h"
#include "platform/mesh/XFile.h"
#include "tests/XFileForms.h"

namespace {

// A quad of two materials with normals and texture coordinates, in a frame
// that moves it by (10, 0, 0).
const char* const kQuadText = R"(xof 0303txt 0032
template Dummy { <11111111-2222-3333-4444-555555555555> DWORD x; array FLOAT y[x]; }
Frame Root {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; }
 Mesh Quad {
  4; -1;0;1;, 1;0;1;, 1;0;-1;, -1;0;-1;;
  2; 3;0,1,2;, 3;0,2,3;;
  MeshNormals { 1; 0;1;0;; 2; 3;0,0,0;, 3;0,0,0;; }
  MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }
  MeshMaterialList { 2; 2; 0, 1;;
   Material { 1;0.5;0.25;1;; 8; 0.1;0.2;0.3;; 0;0;0;; TextureFilename { "textures\\crate.tga"; } }
   Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { "textures\\grate.tga"; } }
  }
 }
})";

// The same quad in the binary form, written token by token.
std::string QuadBinary(bool doubles) {
    XTokens t;
    t.doubles = doubles;
    t.bytes = doubles ? "xof 0303bin 0064" : "xof 0303bin 0032";
    // A template, skipped whole: its words and punctuation are tokens too.
    t.Token(31);
    t.Name("Dummy");
    t.Token(10);
    t.Token(5);
    t.bytes.append(16, '\x11');
    t.Token(41);
    t.Name("x");
    t.Token(20);
    t.Token(52);
    t.Token(42);
    t.Name("y");
    t.Token(14);
    t.Name("x");
    t.Token(15);
    t.Token(20);
    t.Token(11);
    t.Open("Frame");
    t.Open("FrameTransformMatrix");
    t.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1});
    t.Close();
    t.Name("Mesh");
    t.Name("Quad");
    t.Token(10);
    t.Ints({4});
    t.Floats({-1, 0, 1, 1, 0, 1, 1, 0, -1, -1, 0, -1});
    t.Ints({2, 3, 0, 1, 2, 3, 0, 2, 3});
    t.Open("MeshNormals");
    t.Ints({1});
    t.Floats({0, 1, 0});
    t.Ints({2, 3, 0, 0, 0, 3, 0, 0, 0});
    t.Close();
    t.Open("MeshTextureCoords");
    t.Ints({4});
    t.Floats({0, 0, 1, 0, 1, 1, 0, 1});
    t.Close();
    t.Open("MeshMaterialList");
    t.Ints({2, 2, 0, 1});
    t.Open("Material");
    t.Floats({1, 0.5, 0.25, 1, 8, 0.1, 0.2, 0.3, 0, 0, 0});
    t.Open("TextureFilename");
    t.String("textures\\crate.tga");
    t.Close();
    t.Close();
    t.Open("Material");
    t.Floats({1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
    t.Open("TextureFilename");
    t.String("textures\\grate.tga");
    t.Close();
    t.Close();
    t.Close();
    t.Close();
    t.Close();
    return t.bytes;
}

mesh::MeshData Load(const std::string& bytes) {
    mesh::XFile x;
    mesh::MeshData d;
    std::string error;
    EXPECT_TRUE(mesh::ParseXFile(bytes, "quad.x", &x, &error)) << error;
    EXPECT_TRUE(mesh::BuildMeshData(x, "quad.x", &d, &error)) << error;
    return d;
}

void ExpectSame(const mesh::MeshData& a, const mesh::MeshData& b) {
    ASSERT_EQ(a.vertices.size(), b.vertices.size());
    EXPECT_EQ(0, std::memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(mesh::Vertex)));
    EXPECT_EQ(a.indices, b.indices);
    EXPECT_EQ(a.attributes, b.attributes);
    ASSERT_EQ(a.materials.size(), b.materials.size());
    for (size_t i = 0; i < a.materials.size(); ++i) {
        EXPECT_EQ(a.materials[i].textureFile, b.materials[i].textureFile);
        EXPECT_EQ(a.materials[i].diffuse, b.materials[i].diffuse);
        EXPECT_EQ(a.materials[i].specular, b.materials[i].specular);
        EXPECT_EQ(a.materials[i].power, b.materials[i].power);
    }
    ASSERT_EQ(a.attributeTable.size(), b.attributeTable.size());
    for (size_t i = 0; i < a.attributeTable.size(); ++i) {
        EXPECT_EQ(a.attributeTable[i].faceStart, b.attributeTable[i].faceStart);
        EXPECT_EQ(a.attributeTable[i].faceCount, b.attributeTable[i].faceCount);
        EXPECT_EQ(a.attributeTable[i].vertexStart, b.attributeTable[i].vertexStart);
        EXPECT_EQ(a.attributeTable[i].vertexCount, b.attributeTable[i].vertexCount);
    }
}

struct FormCase {
    const char* name;
    std::string (*bytes)();
};

class XFileForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(XFileForms, ReadsLikeTheTextForm) {
    const mesh::MeshData text = Load(kQuadText);
    ASSERT_EQ(text.vertices.size(), 4u);
    EXPECT_EQ(text.vertices[0].position, math::Vec3(9, 0, 1)); // moved by its frame
    EXPECT_EQ(text.materials[0].textureFile, "textures\\crate.tga");
    ExpectSame(Load(GetParam().bytes()), text);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, XFileForms,
    ::testing::Values(FormCase{"Binary32", [] { return QuadBinary(false); }},
                      FormCase{"Binary64", [] { return QuadBinary(true); }},
                      FormCase{"CompressedText", [] { return CompressXFile(kQuadText); }},
                      FormCase{"CompressedBinary", [] { return CompressXFile(QuadBinary(false)); }},
                      // Blocks of 40 bytes: every block after the first uses its dictionary.
                      FormCase{"CompressedSmallBlocks", [] { return CompressXFile(kQuadText, 40); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XFileDecl, DeclDataAndVertexColoursGiveOneValuePerPosition) {
    auto bits = [](float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        return std::to_string(u);
    };
    // DeclData: a tangent (float3, usage 6) and texture coordinate 0 (float2,
    // usage 5) for each of three vertices; colours for vertex 1 only.
    std::string decl = "DeclData { 2; 2;0;6;0;, 1;0;5;0;; 15; ";
    const float values[3][5] = {{1, 0, 0, 0.25f, 0.5f}, {0, 1, 0, 1, 0}, {0, 0, 1, 0, 1}};
    for (int v = 0; v < 3; ++v)
        for (int k = 0; k < 5; ++k)
            decl += bits(values[v][k]) + (v == 2 && k == 4 ? ";" : ",");
    decl += "; }";
    const std::string text = "xof 0303txt 0032\nMesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; " + decl +
                             " MeshVertexColors { 1; 1; 1;0;0.5;1;;; } }";
    mesh::XFile x;
    std::string error;
    ASSERT_TRUE(mesh::ParseXFile(text, "decl.x", &x, &error)) << error;
    const mesh::XMesh& m = x.meshes.at(0);
    ASSERT_EQ(m.tangents.size(), 3u);
    EXPECT_EQ(m.tangents[1], math::Vec3(0, 1, 0));
    ASSERT_EQ(m.texCoords.size(), 3u);
    EXPECT_EQ(m.texCoords[0], math::Vec2(0.25f, 0.5f));
    ASSERT_EQ(m.colors.size(), 3u);
    EXPECT_EQ(m.colors[0], 0xFFFFFFFFu); // no colour given: opaque white
    EXPECT_EQ(m.colors[1], 0xFFFF0080u);
    EXPECT_EQ(m.colors[2], 0xFFFFFFFFu);
}

TEST(XFileWriter, TheBinaryFileRoundTripsVerticesMaterialsRangesAndTheStamp) {
    mesh::MeshData d = Load(kQuadText);
    d.vertices[2].tangent = {0, 0, 1};
    d.vertices[2].binormal = {1, 0, 0};
    d.vertices[3].color = 0x80FF0000u;
    const mesh::XCacheStamp stamp{7, 0x123456789ull, -5};
    const std::string bytes = mesh::XFileBinaryBytes(mesh::ToXMesh(d), stamp);
    EXPECT_EQ(bytes.substr(0, 16), "xof 0303bin 0032");
    mesh::XFile x;
    std::string error;
    ASSERT_TRUE(mesh::ParseXFile(bytes, "cache.x", &x, &error)) << error;
    EXPECT_TRUE(x.hasCacheStamp);
    EXPECT_EQ(x.cacheStamp, stamp);
    mesh::MeshData back;
    ASSERT_TRUE(mesh::BuildMeshData(x, "cache.x", &back, &error)) << error;
    ExpectSame(back, d);
}

struct DamagedCase {
    const char* name;
    std::string (*bytes)();
    const char* message;
};

class XFileDamaged : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(XFileDamaged, IsRefusedWithTheReason) {
    mesh::XFile x;
    std::string error;
    EXPECT_FALSE(mesh::ParseXFile(GetParam().bytes(), "bad.x", &x, &error));
    EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

std::string Patched(std::string s, size_t at, char c) {
    s[at] = c;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XFileDamaged,
    ::testing::Values(
        DamagedCase{"NoSignature", [] { return Patched(CompressXFile(kQuadText), 24, 'X'); }, "is damaged"},
        DamagedCase{"StoredSizePastTheEnd", [] { return Patched(CompressXFile(kQuadText), 23, '\x7F'); },
                    "is damaged"},
        DamagedCase{"BlockLargerThanDeclared",
                    [] {
                        std::string s = CompressXFile(kQuadText);
                        const uint32_t total = 20;
                        std::memcpy(&s[16], &total, 4);
                        return s;
                    },
                    "inflates past the declared size"},
        DamagedCase{"CutShort", [] { return CompressXFile(kQuadText).substr(0, 40); }, "is damaged"},
        DamagedCase{"MissingBlocks", [] { return CompressXFile(kQuadText, 40).substr(0, 100); },
                    "compressed block"},
        DamagedCase{"HugeDeclaredSize",
                    [] {
                        std::string s = CompressXFile(kQuadText);
                        const uint32_t total = 0xFFFFFFF0u;
                        std::memcpy(&s[16], &total, 4);
                        return s;
                    },
                    "declares 4294967280 bytes"},
        DamagedCase{"BinaryListPastTheEnd", [] { return QuadBinary(false).substr(0, 330); }, "a cut"},
        // A bad number inside a list of an object being skipped: nothing
        // after it is read, not even the rest of the list.
        DamagedCase{"BinaryNaNInASkippedList",
                    [] {
                        XTokens t;
                        t.bytes = "xof 0303bin 0032";
                        t.Open("Unknown");
                        t.Floats({std::nan(""), 1, 2, 3});
                        t.Close();
                        return t.bytes;
                    },
                    "'}' missing"},
        DamagedCase{"BinaryNameLengthHuge",
                    [] {
                        std::string s = "xof 0303bin 0032";
                        s += std::string("\x01\x00\xFF\xFF\xFF\x7F", 6);
                        return s;
                    },
                    "a cut name or string"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
