// The mesh operations over the 76-byte skinned vertex: blend weights and
// indices keep vertices apart in the weld and travel with their vertex
// through the whole first-load pipeline; the static pipeline's output is the
// same bytes as before the operations learnt the second layout.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshData.h"
#include "platform/mesh/MeshHierarchy.h"
#include "platform/mesh/MeshOps.h"
#include "platform/mesh/XFile.h"
#include "tests/RecordingAllocator.h"
#include "tests/SkinnedMeshes.h"

namespace {

// The mesh manager's first load after the merge: adjacency, clean, weld,
// validation, the optimised order, tangent frames.
template <typename D> bool FirstLoad(D* d, std::string* error) {
    std::vector<uint32_t> adjacency = mesh::GenerateAdjacency(*d, 0.0f);
    const std::vector<uint32_t> groups = mesh::CleanMesh(d, adjacency);
    mesh::WeldVertices(d, &groups);
    adjacency = mesh::GenerateAdjacency(*d, 0.0f);
    if (!mesh::ValidateMesh(*d, adjacency, error)) return false;
    mesh::OptimizeMesh(d);
    mesh::ComputeTangentFrames(d);
    return true;
}

mesh::SkinnedVertex Skinned(math::Vec3 p, float w0, uint8_t i0, uint8_t i1) {
    mesh::SkinnedVertex v;
    v.position = p;
    v.normal = {0, 0, -1};
    v.weights[0] = w0;
    v.weights[1] = 1.0f - w0;
    v.indices[0] = i0;
    v.indices[1] = i1;
    return v;
}

struct WeldCase {
    const char* name;
    float weight; // of the copy of vertex 0
    uint8_t index;
    size_t vertices; // after the weld
};

class SkinnedWeld : public ::testing::TestWithParam<WeldCase> {};

// Two triangles side by side; the second uses a copy of vertex 0 that
// differs (or not) in one weight or one index.
TEST_P(SkinnedWeld, KeepsVerticesThatDifferInABlendValueApart) {
    const WeldCase& c = GetParam();
    mesh::SkinnedMeshData d;
    d.vertices = {Skinned({0, 0, 0}, 0.5f, 1, 2), Skinned({1, 0, 0}, 1.0f, 1, 0),
                  Skinned({1, 1, 0}, 1.0f, 2, 0), Skinned({0, 0, 0}, c.weight, 1, c.index),
                  Skinned({0, 1, 0}, 1.0f, 2, 0)};
    d.indices = {0, 2, 1, 3, 4, 2};
    d.attributes = {0, 0};
    mesh::WeldVertices(&d);
    ASSERT_EQ(d.vertices.size(), c.vertices);
    ASSERT_EQ(d.FaceCount(), 2u);
    // Whatever was kept, each corner still has the blend values it had.
    const mesh::SkinnedVertex& corner = d.vertices[d.indices[3]];
    EXPECT_EQ(corner.weights[0], c.weight);
    EXPECT_EQ(corner.indices[1], c.index);
    EXPECT_EQ(d.vertices[d.indices[0]].weights[0], 0.5f);
    EXPECT_EQ(d.vertices[d.indices[0]].indices[1], 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, SkinnedWeld,
                         ::testing::Values(WeldCase{"Equal", 0.5f, 2, 4},
                                           WeldCase{"OtherWeight", 0.25f, 2, 5},
                                           WeldCase{"OtherIndex", 0.5f, 3, 5}),
                         [](const ::testing::TestParamInfo<WeldCase>& info) { return info.param.name; });

using BlendKey = std::tuple<float, float, float, float, float, float, float, uint32_t>;
BlendKey KeyOf(const mesh::SkinnedVertex& v) {
    uint32_t indices;
    std::memcpy(&indices, v.indices, 4);
    return {v.position.x, v.position.y, v.position.z, v.weights[0],
            v.weights[1], v.weights[2], v.weights[3], indices};
}

// The test character's container through the first-load pipeline: every
// (position, weights, indices) it had comes out, and nothing else.
TEST(SkinnedMeshOps, TheCharactersBlendValuesTravelWithTheirVertices) {
    RecordingAllocator allocator;
    mesh::Frame* root = nullptr;
    std::string error;
    const std::string path = std::string(ZT_SOURCE_DIR) + "/data/models/manekin/manekin.x";
    ASSERT_EQ(mesh::LoadMeshHierarchy(path, nullptr, &allocator, &root, &error), mesh::HResult::Ok) << error;
    const mesh::Frame* body = mesh::FrameFind(root, "Body");
    ASSERT_TRUE(body && body->meshContainer);
    mesh::SkinnedMeshData d = SkinnedFromContainer(*body->meshContainer);
    mesh::FrameDestroy(root, &allocator);

    std::set<BlendKey> before;
    for (const mesh::SkinnedVertex& v : d.vertices)
        before.insert(KeyOf(v));
    const size_t faces = d.FaceCount();

    ASSERT_TRUE(FirstLoad(&d, &error)) << error;

    EXPECT_EQ(d.FaceCount(), faces);
    std::set<BlendKey> after;
    for (const mesh::SkinnedVertex& v : d.vertices)
        after.insert(KeyOf(v));
    EXPECT_TRUE(after == before);
    for (const mesh::SkinnedVertex& v : d.vertices)
        ASSERT_NEAR(math::Vec3Length(v.tangent), 1.0f, 1e-4f);
    const std::unique_ptr<mesh::SkinnedMesh> m = mesh::SkinnedMesh::Create(d, nullptr, &error);
    ASSERT_TRUE(m) << error;
    EXPECT_EQ(mesh::SkinnedMesh::BytesPerVertex(), 76u);
}

// FNV-1a of the optimised-mesh cache the mesh manager writes for a demo
// mesh (the stamp left zero): these were taken from the static-only build,
// so a cache written by it is still read as the current build would write it.
uint64_t Fnv1a(const std::string& bytes) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    return h;
}

struct CacheCase {
    const char* file;
    uint64_t hash;
};

class StaticCacheBytes : public ::testing::TestWithParam<CacheCase> {};

TEST_P(StaticCacheBytes, AreThoseOfTheStaticOnlyBuild) {
    const std::string path = std::string(ZT_SOURCE_DIR) + "/data/" + GetParam().file;
    mesh::XFile x;
    mesh::MeshData d;
    std::string error;
    ASSERT_TRUE(mesh::ReadXFile(path, &x, &error) && mesh::BuildMeshData(x, path, &d, &error)) << error;
    ASSERT_TRUE(FirstLoad(&d, &error)) << error;
    EXPECT_EQ(Fnv1a(mesh::XFileBinaryBytes(mesh::ToXMesh(d), {})), GetParam().hash)
        << std::hex << Fnv1a(mesh::XFileBinaryBytes(mesh::ToXMesh(d), {}));
}

INSTANTIATE_TEST_SUITE_P(DemoMeshes, StaticCacheBytes,
                         ::testing::Values(CacheCase{"models/box.x", 0xd6b4c007c5ebf31aull},
                                           CacheCase{"models/crate.x", 0x75bca715ffccf27aull},
                                           CacheCase{"models/plane.x", 0x4782a53646c01e27ull},
                                           CacheCase{"prefabs/props/marker_nocenter.x",
                                                     0xc8c7da869cbf4878ull},
                                           CacheCase{"models/manekin/manekin.x", 0x2f16f86aa764cd4bull}));

} // namespace
