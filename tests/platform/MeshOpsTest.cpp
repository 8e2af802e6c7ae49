// The mesh operations of the first load: weld and clean on small meshes with
// known answers, validation, the optimised order and the tangent frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <set>

#include "platform/math/Math.h"
#include "platform/mesh/MeshData.h"
#include "platform/mesh/MeshOps.h"

namespace {

using math::Vec3;

mesh::Vertex V(Vec3 p, Vec3 n = {0, 1, 0}, math::Vec2 uv = {}) {
    mesh::Vertex v;
    v.position = p;
    v.normal = n;
    v.uv = uv;
    return v;
}

void AddFace(mesh::MeshData* d, uint32_t a, uint32_t b, uint32_t c, uint32_t attribute = 0) {
    d->indices.insert(d->indices.end(), {a, b, c});
    d->attributes.push_back(attribute);
}

// A unit cube written the way exporters often do: every face corner its own
// vertex (36 vertices, 12 faces), each side's normal, plus one degenerate
// face whose two corners lie 1e-7 apart.
mesh::MeshData CubeWithDuplicates() {
    mesh::MeshData d;
    const Vec3 c[8] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                       {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const int sides[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 4, 7, 3},
                             {1, 2, 6, 5}, {3, 7, 6, 2}, {0, 1, 5, 4}};
    const Vec3 normals[6] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (int s = 0; s < 6; ++s) {
        const int tri[2][3] = {{0, 1, 2}, {0, 2, 3}};
        for (const auto& t : tri) {
            const uint32_t base = uint32_t(d.vertices.size());
            for (int k : t)
                d.vertices.push_back(V(c[sides[s][k]], normals[s]));
            AddFace(&d, base, base + 1, base + 2);
        }
    }
    const uint32_t base = uint32_t(d.vertices.size());
    d.vertices.push_back(V({0, 0, 0}, {0, 0, -1}));
    d.vertices.push_back(V({1e-7f, 0, 0}, {0, 0, -1}));
    d.vertices.push_back(V({1, 1, 0}, {0, 0, -1}));
    AddFace(&d, base, base + 1, base + 2);
    return d;
}

TEST(MeshWeld, TheCubeKeepsOneVertexPerCornerAndSideAndLosesItsDegenerateFace) {
    mesh::MeshData d = CubeWithDuplicates();
    std::vector<uint32_t> adjacency = mesh::GenerateAdjacency(d, 0.0f);
    const std::vector<uint32_t> groups = mesh::CleanMesh(&d, adjacency);
    EXPECT_EQ(d.FaceCount(), 13u); // cleaning drops no face
    EXPECT_EQ(d.vertices.size(), 39u);
    mesh::WeldVertices(&d, &groups);
    EXPECT_EQ(d.FaceCount(), 12u);
    EXPECT_EQ(d.vertices.size(), 24u); // 8 corners x 3 sides, each with its side's normal
    std::set<std::tuple<float, float, float, float, float, float>> distinct;
    for (const mesh::Vertex& v : d.vertices)
        distinct.insert({v.position.x, v.position.y, v.position.z, v.normal.x, v.normal.y, v.normal.z});
    EXPECT_EQ(distinct.size(), 24u);
    adjacency = mesh::GenerateAdjacency(d, 0.0f);
    std::string error;
    EXPECT_TRUE(mesh::ValidateMesh(d, adjacency, &error)) << error;
    // A closed cube: every edge has its neighbour.
    EXPECT_EQ(std::count(adjacency.begin(), adjacency.end(), mesh::kNoFace), 0);
}

TEST(MeshWeld, ComponentsWithinTheEpsilonAreSnappedBeforeMerging) {
    mesh::MeshData d;
    d.vertices = {V({0, 0, 0}, {0, 1, 0}, {0.5f, 0.5f}), V({5e-7f, 0, 0}, {0, 1, 0}, {0.5f + 5e-7f, 0.5f}),
                  V({1, 0, 0}), V({0, 0, 1}), V({0, 0, 0}, {1, 0, 0})};
    AddFace(&d, 0, 2, 3);
    AddFace(&d, 1, 3, 2);
    AddFace(&d, 4, 2, 3);
    mesh::WeldVertices(&d);
    // Vertices 0 and 1 became one; 4 shares the point but not the normal.
    EXPECT_EQ(d.vertices.size(), 4u);
    EXPECT_EQ(d.indices[0], d.indices[3]);
    EXPECT_EQ(d.vertices[d.indices[6]].position, Vec3(0, 0, 0));
    EXPECT_NE(d.indices[6], d.indices[0]);
}

TEST(MeshClean, ABackFacingPairGetsVerticesOfItsOwnThatWeldingKeeps) {
    mesh::MeshData d;
    d.vertices = {V({0, 0, 0}), V({1, 0, 0}), V({0, 0, 1})};
    AddFace(&d, 0, 1, 2);
    AddFace(&d, 0, 2, 1); // the same triangle seen from behind
    const std::vector<uint32_t> groups = mesh::CleanMesh(&d, mesh::GenerateAdjacency(d, 0.0f));
    ASSERT_EQ(d.vertices.size(), 6u);
    for (int k = 0; k < 3; ++k)
        EXPECT_GE(d.indices[3 + k], 3u);
    mesh::WeldVertices(&d, &groups);
    EXPECT_EQ(d.vertices.size(), 6u);
    EXPECT_EQ(d.FaceCount(), 2u);
}

TEST(MeshClean, ABowTieVertexIsSplitPerFan) {
    mesh::MeshData d;
    // Two triangles touching only at vertex 0.
    d.vertices = {V({0, 0, 0}), V({1, 0, 0}), V({1, 0, 1}), V({-1, 0, 0}), V({-1, 0, -1})};
    AddFace(&d, 0, 2, 1);
    AddFace(&d, 0, 4, 3);
    mesh::CleanMesh(&d, mesh::GenerateAdjacency(d, 0.0f));
    ASSERT_EQ(d.vertices.size(), 6u);
    EXPECT_EQ(d.indices[0], 0u);
    EXPECT_EQ(d.indices[3], 5u);
    EXPECT_EQ(d.vertices[5].position, Vec3(0, 0, 0));
    // A fan of two faces joined by an edge is one fan: nothing splits.
    mesh::MeshData fan;
    fan.vertices = {V({0, 0, 0}), V({1, 0, 0}), V({1, 0, 1}), V({0, 0, 1})};
    AddFace(&fan, 0, 2, 1);
    AddFace(&fan, 0, 3, 2);
    mesh::CleanMesh(&fan, mesh::GenerateAdjacency(fan, 0.0f));
    EXPECT_EQ(fan.vertices.size(), 4u);
}

struct InvalidCase {
    const char* name;
    void (*spoil)(mesh::MeshData*, std::vector<uint32_t>*);
    const char* message;
};

class MeshValidate : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(MeshValidate, RefusesWithTheReason) {
    mesh::MeshData d;
    d.vertices = {V({0, 0, 0}), V({1, 0, 0}), V({1, 0, 1}), V({0, 0, 1})};
    AddFace(&d, 0, 2, 1);
    AddFace(&d, 0, 3, 2);
    std::vector<uint32_t> adjacency = mesh::GenerateAdjacency(d, 0.0f);
    std::string error;
    ASSERT_TRUE(mesh::ValidateMesh(d, adjacency, &error)) << error;
    GetParam().spoil(&d, &adjacency);
    EXPECT_FALSE(mesh::ValidateMesh(d, adjacency, &error));
    EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MeshValidate,
    ::testing::Values(
        InvalidCase{"IndexOutOfRange", [](mesh::MeshData* d, std::vector<uint32_t>*) { d->indices[4] = 9; },
                    "face 1 uses vertex 9 of 4"},
        InvalidCase{"Degenerate", [](mesh::MeshData* d, std::vector<uint32_t>*) { d->indices[1] = 0; },
                    "face 0 is degenerate"},
        InvalidCase{"AdjacencyOutOfRange", [](mesh::MeshData*, std::vector<uint32_t>* a) { (*a)[0] = 7; },
                    "adjacency names face 7"},
        InvalidCase{"OneSidedAdjacency",
                    [](mesh::MeshData*, std::vector<uint32_t>* a) {
                        for (uint32_t& e : *a)
                            if (e == 0) e = mesh::kNoFace;
                    },
                    "disagree on adjacency"}),
    [](const auto& info) { return std::string(info.param.name); });

// A grid of (n + 1) x (n + 1) vertices in the x-z plane, u along x, v along
// z, one material for the near half and one for the far half, faces in a
// random order.
mesh::MeshData ShuffledGrid(int n) {
    mesh::MeshData d;
    for (int z = 0; z <= n; ++z)
        for (int x = 0; x <= n; ++x)
            d.vertices.push_back(V({float(x), 0, float(z)}, {0, 1, 0}, {float(x) / n, float(z) / n}));
    std::vector<std::array<uint32_t, 4>> faces;
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            const uint32_t a = uint32_t(z * (n + 1) + x), b = a + 1, c = a + uint32_t(n + 1), e = c + 1;
            faces.push_back({a, c, e, uint32_t(z < n / 2 ? 0 : 1)});
            faces.push_back({a, e, b, uint32_t(z < n / 2 ? 0 : 1)});
        }
    std::mt19937 random(7);
    std::shuffle(faces.begin(), faces.end(), random);
    for (const auto& f : faces)
        AddFace(&d, f[0], f[1], f[2], f[3]);
    return d;
}

TEST(MeshOptimize, FacesGroupByAttributeInCacheOrderWithVerticesByFirstUse) {
    mesh::MeshData d = ShuffledGrid(40);
    const double before = mesh::AverageCacheMissRatio(d.indices, 16);
    const size_t faces = d.FaceCount();
    mesh::OptimizeMesh(&d);
    ASSERT_EQ(d.FaceCount(), faces);
    EXPECT_TRUE(std::is_sorted(d.attributes.begin(), d.attributes.end()));
    ASSERT_EQ(d.attributeTable.size(), 2u);
    // Each range owns its vertices: the row the halves share is copied.
    EXPECT_EQ(d.attributeTable[0].vertexStart, 0u);
    EXPECT_EQ(d.attributeTable[1].vertexStart, d.attributeTable[0].vertexCount);
    EXPECT_EQ(d.attributeTable[1].vertexStart + d.attributeTable[1].vertexCount, d.vertices.size());
    uint32_t next = 0;
    for (uint32_t v : d.indices) {
        ASSERT_LE(v, next);
        if (v == next) ++next;
    }
    EXPECT_EQ(next, d.vertices.size());
    const double after = mesh::AverageCacheMissRatio(d.indices, 16);
    EXPECT_LT(after, 0.8);
    EXPECT_LT(after, before / 2);
}

TEST(MeshTangents, FollowTheTextureUDirectionAcrossTheKeptNormals) {
    mesh::MeshData d = ShuffledGrid(4);
    // A tilted normal stays as it is; the frame is built around it.
    const Vec3 tilted = math::Vec3Normalize({0.3f, 1, 0});
    d.vertices[7].normal = tilted;
    mesh::ComputeTangentFrames(&d);
    for (size_t i = 0; i < d.vertices.size(); ++i) {
        SCOPED_TRACE(i);
        const mesh::Vertex& v = d.vertices[i];
        EXPECT_NEAR(math::Vec3Dot(v.tangent, v.normal), 0, 1e-5);
        EXPECT_NEAR(math::Vec3Dot(v.binormal, v.normal), 0, 1e-5);
        EXPECT_NEAR(math::Vec3Dot(v.tangent, v.binormal), 0, 1e-5);
        EXPECT_NEAR(math::Vec3Length(v.tangent), 1, 1e-5);
        EXPECT_GT(v.tangent.x, 0.9f);  // u grows with x
        EXPECT_GT(v.binormal.z, 0.9f); // v grows with z
    }
    EXPECT_EQ(d.vertices[7].normal, tilted);
}

TEST(MeshCacheMiss, CountsTheMissesOfAFifoPerTriangle) {
    // 0 1 2 | 2 1 3 (hits 1, 2) | 4 5 0 with a cache of 3: 0 was pushed out.
    EXPECT_DOUBLE_EQ(mesh::AverageCacheMissRatio({0, 1, 2, 2, 1, 3, 4, 5, 0}, 3), 7.0 / 3.0);
    EXPECT_DOUBLE_EQ(mesh::AverageCacheMissRatio({0, 1, 2, 2, 1, 3, 4, 5, 0}, 8), 6.0 / 3.0);
}

} // namespace
