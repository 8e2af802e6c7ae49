// The conversion of a skinned mesh for palette skinning: which influences a
// vertex keeps, how faces fall into palette groups, and that a vertex
// skinned from the converted mesh by the effects' rule lands where the
// file's own weights put it.
#include <gtest/gtest.h>

#include <glm/glm.hpp>

#include <algorithm>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshData.h"
#include "platform/mesh/MeshHierarchy.h"
#include "platform/mesh/SkinInfo.h"
#include "tests/RecordingAllocator.h"

namespace {

using Influences = std::vector<std::pair<uint32_t, float>>; // bone, weight

// A mesh in memory with the given positions, faces and face materials.
std::shared_ptr<mesh::Mesh> MakeMesh(const std::vector<math::Vec3>& positions,
                                     const std::vector<uint32_t>& indices,
                                     const std::vector<uint32_t>& attributes) {
    mesh::MeshData d;
    for (const math::Vec3& p : positions) {
        mesh::Vertex v;
        v.position = p;
        v.normal = {0, 1, 0};
        v.uv = {p.x, p.z};
        d.vertices.push_back(v);
    }
    d.indices = indices;
    d.attributes = attributes;
    mesh::BuildAttributeTable(&d);
    std::string error;
    std::shared_ptr<mesh::Mesh> m = mesh::Mesh::Create(d, nullptr, &error);
    EXPECT_TRUE(m) << error;
    return m;
}

// A skin of `bones` bones from each vertex's influences.
std::shared_ptr<mesh::SkinInfo> MakeSkin(uint32_t bones, const std::vector<Influences>& perVertex) {
    std::shared_ptr<mesh::SkinInfo> skin = mesh::SkinInfo::Create(uint32_t(perVertex.size()), bones);
    std::vector<std::vector<uint32_t>> vertices(bones);
    std::vector<std::vector<float>> weights(bones);
    for (uint32_t v = 0; v < perVertex.size(); ++v)
        for (auto [bone, weight] : perVertex[v]) {
            vertices[bone].push_back(v);
            weights[bone].push_back(weight);
        }
    for (uint32_t b = 0; b < bones; ++b)
        EXPECT_EQ(
            skin->SetBoneInfluence(b, uint32_t(vertices[b].size()), vertices[b].data(), weights[b].data()),
            mesh::HResult::Ok);
    return skin;
}

// The source faces in the order the conversion lays them out: by material,
// in their own order within one.
std::vector<uint32_t> SourceFaceOrder(const mesh::Mesh& source) {
    const std::vector<uint32_t>& attributes = source.Attributes();
    std::vector<uint32_t> faces(attributes.size());
    std::iota(faces.begin(), faces.end(), 0u);
    std::stable_sort(faces.begin(), faces.end(),
                     [&](uint32_t a, uint32_t b) { return attributes[a] < attributes[b]; });
    return faces;
}

// What every conversion must hold: groups cover the faces in order, each
// within its palette and vertex range, faces carry their group's number and
// material, and every corner skinned by the effects' rule (the first
// influences - 1 weights, the rest on the next index) with random palettes
// matches the source vertex skinned with all its file weights.
void CheckConversion(const mesh::Mesh& source, const mesh::SkinInfo& skin, uint32_t paletteSize,
                     const mesh::IndexedBlendedMesh& out) {
    const mesh::SkinnedMeshData& d = out.data;
    ASSERT_EQ(d.FaceCount(), source.NumFaces());
    ASSERT_GE(out.maxVertexInfluences, 1u);
    ASSERT_LE(out.maxVertexInfluences, 4u);
    ASSERT_LE(d.vertices.size(), size_t(mesh::Mesh::kMaxVertices));
    ASSERT_EQ(d.attributeTable.size(), out.combinations.size());

    std::mt19937 rng(7);
    std::uniform_real_distribution<float> r(-1.0f, 1.0f);
    std::vector<glm::mat4> palette(skin.GetNumBones());
    for (glm::mat4& m : palette) {
        m = glm::mat4(1.0f);
        for (int c = 0; c < 3; ++c)
            for (int row = 0; row < 3; ++row)
                m[c][row] += 0.5f * r(rng);
        m[3] = glm::vec4(r(rng), r(rng), r(rng), 1.0f);
    }
    // The file's influences per source vertex.
    std::vector<Influences> file(source.NumVertices());
    for (uint32_t b = 0; b < skin.GetNumBones(); ++b) {
        const uint32_t n = skin.GetNumBoneInfluences(b);
        std::vector<uint32_t> v(n);
        std::vector<float> w(n);
        skin.GetBoneInfluence(b, v.data(), w.data());
        for (uint32_t i = 0; i < n; ++i)
            file[v[i]].emplace_back(b, w[i]);
    }

    const std::vector<uint32_t> order = SourceFaceOrder(source);
    uint32_t nextFace = 0, nextVertex = 0;
    for (uint32_t g = 0; g < out.combinations.size(); ++g) {
        const mesh::BoneCombination& c = out.combinations[g];
        SCOPED_TRACE("group " + std::to_string(g));
        ASSERT_EQ(c.faceStart, nextFace);
        ASSERT_EQ(c.vertexStart, nextVertex);
        ASSERT_GT(c.faceCount, 0u);
        nextFace += c.faceCount;
        nextVertex += c.vertexCount;
        EXPECT_EQ(d.attributeTable[g].attribId, g);
        EXPECT_EQ(d.attributeTable[g].faceStart, c.faceStart);
        EXPECT_EQ(d.attributeTable[g].vertexCount, c.vertexCount);
        ASSERT_EQ(c.boneId.size(), paletteSize);
        const auto usedEnd = std::find(c.boneId.begin(), c.boneId.end(), mesh::kUnusedBone);
        EXPECT_TRUE(std::all_of(usedEnd, c.boneId.end(), [](uint32_t b) { return b == mesh::kUnusedBone; }));
        EXPECT_EQ(std::set<uint32_t>(c.boneId.begin(), usedEnd).size(), size_t(usedEnd - c.boneId.begin()));
        const uint32_t slots = uint32_t(usedEnd - c.boneId.begin());

        for (uint32_t f = c.faceStart; f < c.faceStart + c.faceCount; ++f) {
            ASSERT_EQ(d.attributes[f], g);
            const uint32_t from = order[f];
            ASSERT_EQ(source.Attributes()[from], c.attribId);
            for (int k = 0; k < 3; ++k) {
                const uint32_t vi = d.indices[3 * f + k];
                ASSERT_GE(vi, c.vertexStart);
                ASSERT_LT(vi, c.vertexStart + c.vertexCount);
                const mesh::SkinnedVertex& v = d.vertices[vi];
                const uint32_t src = source.Indices()[3 * from + k];
                ASSERT_EQ(v.position, source.Vertices()[src].position);

                const glm::vec4 p(v.position.x, v.position.y, v.position.z, 1.0f);
                const int own = int(out.maxVertexInfluences) - 1;
                glm::vec3 skinned(0.0f);
                float sum = 0;
                for (int i = 0; i <= own; ++i) {
                    ASSERT_LT(v.indices[i], slots);
                    const float w = i < own ? v.weights[i] : 1.0f - sum;
                    sum += v.weights[i];
                    skinned += w * glm::vec3(palette[c.boneId[v.indices[i]]] * p);
                }
                glm::vec3 expected(0.0f);
                for (auto [bone, weight] : file[src])
                    expected += weight * glm::vec3(palette[bone] * p);
                for (int a = 0; a < 3; ++a)
                    ASSERT_NEAR(skinned[a], expected[a], 1e-4f) << "face " << from << " corner " << k;
            }
        }
    }
    EXPECT_EQ(nextFace, d.FaceCount());
    EXPECT_EQ(nextVertex, d.vertices.size());
}

// ---- which influences a vertex keeps ----

struct KeepCase {
    const char* name;
    Influences influences; // of vertex 0
    float minInfluence;
    Influences kept; // heaviest first
    uint32_t trimmed;
};

class KeptInfluences : public ::testing::TestWithParam<KeepCase> {};

TEST_P(KeptInfluences, AreTheHeaviestFourRenormalised) {
    const KeepCase& kc = GetParam();
    const std::shared_ptr<mesh::Mesh> m = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 2, 1}, {0});
    const std::shared_ptr<mesh::SkinInfo> skin = MakeSkin(6, {kc.influences, {{0, 1.0f}}, {{0, 1.0f}}});
    skin->SetMinBoneInfluence(kc.minInfluence);
    mesh::IndexedBlendedMesh out;
    std::string error;
    ASSERT_EQ(skin->ConvertToIndexedBlendedMesh(*m, 64, &out, &error), mesh::HResult::Ok) << error;
    ASSERT_EQ(out.combinations.size(), 1u);
    EXPECT_EQ(out.trimmedVertices, kc.trimmed);
    EXPECT_EQ(out.maxVertexInfluences, std::max<uint32_t>(1, uint32_t(kc.kept.size())));
    const mesh::SkinnedVertex& v = out.data.vertices[0];
    ASSERT_EQ(v.position, (math::Vec3{0, 0, 0}));
    for (size_t i = 0; i < 4; ++i) {
        if (i < kc.kept.size()) {
            EXPECT_EQ(out.combinations[0].boneId[v.indices[i]], kc.kept[i].first) << i;
            EXPECT_NEAR(v.weights[i], kc.kept[i].second, 1e-6f) << i;
        } else {
            EXPECT_EQ(v.weights[i], 0.0f) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeptInfluences,
    ::testing::Values(
        KeepCase{"FiveKeepFour",
                 {{0, 0.3f}, {1, 0.25f}, {2, 0.2f}, {3, 0.15f}, {4, 0.1f}},
                 0.0f,
                 {{0, 0.3f / 0.9f}, {1, 0.25f / 0.9f}, {2, 0.2f / 0.9f}, {3, 0.15f / 0.9f}},
                 1},
        KeepCase{"TiesGoToTheLowerBone",
                 {{4, 0.125f}, {3, 0.25f}, {0, 0.125f}, {1, 0.25f}, {2, 0.25f}},
                 0.0f,
                 {{1, 0.25f / 0.875f}, {2, 0.25f / 0.875f}, {3, 0.25f / 0.875f}, {0, 0.125f / 0.875f}},
                 1},
        KeepCase{"HeaviestFirst", {{1, 0.2f}, {0, 0.8f}}, 0.0f, {{0, 0.8f}, {1, 0.2f}}, 0},
        KeepCase{"BelowTheMinimumDropped", {{0, 0.995f}, {5, 0.005f}}, 0.01f, {{0, 1.0f}}, 0},
        KeepCase{"DroppedBeforeCounting",
                 {{0, 0.3f}, {1, 0.3f}, {2, 0.2f}, {3, 0.19f}, {4, 0.01f}},
                 0.05f,
                 {{0, 0.3f / 0.99f}, {1, 0.3f / 0.99f}, {2, 0.2f / 0.99f}, {3, 0.19f / 0.99f}},
                 0},
        KeepCase{"OnePartialWeightBecomesWhole", {{2, 0.5f}}, 0.0f, {{2, 1.0f}}, 0}),
    [](const ::testing::TestParamInfo<KeepCase>& i) { return std::string(i.param.name); });

// ---- palette groups ----

// A strip of six quads along x; column i of positions follows bone i, so
// quad q needs bones q and q + 1.
struct StripCase {
    const char* name;
    uint32_t paletteSize;
    std::vector<uint32_t> quadMaterials;
    std::vector<std::vector<uint32_t>> groupBones; // per group, its used slots
    std::vector<uint32_t> groupMaterials;
    size_t vertices;
};

class StripGroups : public ::testing::TestWithParam<StripCase> {};

TEST_P(StripGroups, FillEachPaletteInFaceOrder) {
    const StripCase& sc = GetParam();
    std::vector<math::Vec3> positions;
    std::vector<Influences> influences;
    for (uint32_t x = 0; x <= 6; ++x)
        for (uint32_t z = 0; z < 2; ++z) {
            positions.push_back({float(x), 0, float(z)});
            influences.push_back({{x, 1.0f}});
        }
    std::vector<uint32_t> indices, attributes;
    for (uint32_t q = 0; q < 6; ++q) {
        const uint32_t a = 2 * q, b = a + 1, c = a + 2, e = a + 3;
        indices.insert(indices.end(), {a, b, e, a, e, c});
        attributes.insert(attributes.end(), {sc.quadMaterials[q], sc.quadMaterials[q]});
    }
    const std::shared_ptr<mesh::Mesh> m = MakeMesh(positions, indices, attributes);
    const std::shared_ptr<mesh::SkinInfo> skin = MakeSkin(7, influences);
    mesh::IndexedBlendedMesh out;
    std::string error;
    ASSERT_EQ(skin->ConvertToIndexedBlendedMesh(*m, sc.paletteSize, &out, &error), mesh::HResult::Ok)
        << error;
    ASSERT_EQ(out.combinations.size(), sc.groupBones.size());
    for (size_t g = 0; g < out.combinations.size(); ++g) {
        const mesh::BoneCombination& c = out.combinations[g];
        EXPECT_EQ(std::vector<uint32_t>(c.boneId.begin(), c.boneId.begin() + sc.groupBones[g].size()),
                  sc.groupBones[g])
            << g;
        EXPECT_EQ(c.attribId, sc.groupMaterials[g]) << g;
    }
    EXPECT_EQ(out.data.vertices.size(), sc.vertices);
    EXPECT_EQ(out.maxVertexInfluences, 1u);
    CheckConversion(*m, *skin, sc.paletteSize, out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StripGroups,
    ::testing::Values(
        StripCase{"OnePalette", 64, {0, 0, 0, 0, 0, 0}, {{0, 1, 2, 3, 4, 5, 6}}, {0}, 14},
        // The fourth quad brings bone 4 to a full palette: a new group, and
        // the column both use is copied.
        StripCase{"FullPaletteStartsAGroup", 4, {0, 0, 0, 0, 0, 0}, {{0, 1, 2, 3}, {3, 4, 5, 6}}, {0, 0}, 16},
        StripCase{"PaletteOfTwo",
                  2,
                  {0, 0, 0, 0, 0, 0},
                  {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}},
                  {0, 0, 0, 0, 0, 0},
                  24},
        StripCase{
            "NewMaterialStartsAGroup", 64, {0, 0, 0, 0, 0, 1}, {{0, 1, 2, 3, 4, 5}, {5, 6}}, {0, 1}, 16},
        StripCase{"MaterialsInAttributeOrder",
                  64,
                  {1, 0, 1, 0, 1, 0},
                  {{1, 2, 3, 4, 5, 6}, {0, 1, 2, 3, 4, 5}},
                  {0, 1},
                  24}),
    [](const ::testing::TestParamInfo<StripCase>& i) { return std::string(i.param.name); });

// ---- refusals ----

struct RefusalCase {
    const char* name;
    uint32_t paletteSize;
    uint32_t skinVertices; // 0: the mesh's count
    uint32_t meshVertices;
    bool twoMaterialsOverAll; // every vertex used by two materials
    uint32_t bonesPerVertex;
};

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, FailWithAReasonAndLeaveTheOutputAlone) {
    const RefusalCase& rc = GetParam();
    std::vector<math::Vec3> positions;
    std::vector<Influences> influences;
    for (uint32_t v = 0; v < rc.meshVertices; ++v) {
        positions.push_back({float(v % 256), 0, float(v / 256)});
        Influences in;
        for (uint32_t b = 0; b < rc.bonesPerVertex; ++b)
            in.emplace_back((v + b) % 8, 1.0f / float(rc.bonesPerVertex));
        influences.push_back(in);
    }
    std::vector<uint32_t> indices, attributes;
    for (uint32_t f = 0; 3 * f + 2 < rc.meshVertices; ++f) {
        indices.insert(indices.end(), {3 * f, 3 * f + 2, 3 * f + 1});
        attributes.push_back(0);
        if (rc.twoMaterialsOverAll) {
            indices.insert(indices.end(), {3 * f, 3 * f + 1, 3 * f + 2});
            attributes.push_back(1);
        }
    }
    const std::shared_ptr<mesh::Mesh> m = MakeMesh(positions, indices, attributes);
    if (rc.skinVertices) influences.resize(rc.skinVertices);
    const std::shared_ptr<mesh::SkinInfo> skin = MakeSkin(8, influences);
    mesh::IndexedBlendedMesh out;
    out.maxVertexInfluences = 77;
    std::string error;
    EXPECT_EQ(skin->ConvertToIndexedBlendedMesh(*m, rc.paletteSize, &out, &error), mesh::HResult::Fail);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(out.maxVertexInfluences, 77u);
    EXPECT_TRUE(out.combinations.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, Refusals,
                         ::testing::Values(RefusalCase{"NoPalette", 0, 0, 3, false, 1},
                                           RefusalCase{"PalettePast64", 65, 0, 3, false, 1},
                                           RefusalCase{"SkinOfAnotherMesh", 64, 4, 3, false, 1},
                                           // Three corners of two bones each: four bones.
                                           RefusalCase{"FaceWiderThanThePalette", 3, 0, 3, false, 2},
                                           // Two materials over 39,999 vertices: each copied once.
                                           RefusalCase{"CopiesPast16Bits", 64, 0, 39999, true, 1}),
                         [](const ::testing::TestParamInfo<RefusalCase>& i) {
                             return std::string(i.param.name);
                         });

// ---- the test character and a model of more bones than a palette ----

class CharacterConversion : public ::testing::TestWithParam<uint32_t> {};

TEST_P(CharacterConversion, SkinsLikeTheFileWeights) {
    RecordingAllocator allocator;
    mesh::Frame* root = nullptr;
    std::string error;
    const std::string path = std::string(ZT_SOURCE_DIR) + "/data/models/manekin/manekin.x";
    ASSERT_EQ(mesh::LoadMeshHierarchy(path, nullptr, &allocator, &root, &error), mesh::HResult::Ok) << error;
    int skinned = 0;
    std::vector<const mesh::MeshContainer*> containers;
    std::vector<mesh::Frame*> stack{root};
    while (!stack.empty()) {
        mesh::Frame* f = stack.back();
        stack.pop_back();
        if (!f) continue;
        for (const mesh::MeshContainer* c = f->meshContainer; c; c = c->nextMeshContainer)
            containers.push_back(c);
        stack.push_back(f->frameSibling);
        stack.push_back(f->frameFirstChild);
    }
    for (const mesh::MeshContainer* c : containers) {
        if (!c->skinInfo) continue;
        SCOPED_TRACE(c->name);
        ++skinned;
        mesh::IndexedBlendedMesh out;
        ASSERT_EQ(c->skinInfo->ConvertToIndexedBlendedMesh(*c->mesh, GetParam(), &out, &error),
                  mesh::HResult::Ok)
            << error;
        EXPECT_EQ(out.trimmedVertices, 0u);
        CheckConversion(*c->mesh, *c->skinInfo, GetParam(), out);
        const std::unique_ptr<mesh::SkinnedMesh> drawable =
            mesh::SkinnedMesh::Create(out.data, nullptr, &error);
        EXPECT_TRUE(drawable) << error;
    }
    EXPECT_GT(skinned, 0);
    mesh::FrameDestroy(root, &allocator);
}

INSTANTIATE_TEST_SUITE_P(Palettes, CharacterConversion, ::testing::Values(64u, 12u));

// A grid of 81 x 3 positions whose columns each follow two of 80 bones
// (0.75 on column x's bone, 0.25 on the next): more bones than a palette.
TEST(IndexedBlendedMesh, EightyBonesSplitIntoPalettesOf64) {
    std::vector<math::Vec3> positions;
    std::vector<Influences> influences;
    const uint32_t w = 81, h = 3;
    for (uint32_t z = 0; z < h; ++z)
        for (uint32_t x = 0; x < w; ++x) {
            positions.push_back({float(x), 0, float(z)});
            influences.push_back({{x % 80, 0.75f}, {(x + 1) % 80, 0.25f}});
        }
    std::vector<uint32_t> indices;
    for (uint32_t z = 0; z + 1 < h; ++z)
        for (uint32_t x = 0; x + 1 < w; ++x) {
            const uint32_t a = z * w + x, b = a + 1, c = a + w, d = c + 1;
            indices.insert(indices.end(), {a, c, d, a, d, b});
        }
    const std::shared_ptr<mesh::Mesh> m =
        MakeMesh(positions, indices, std::vector<uint32_t>(indices.size() / 3, 0));
    const std::shared_ptr<mesh::SkinInfo> skin = MakeSkin(80, influences);
    mesh::IndexedBlendedMesh out;
    std::string error;
    ASSERT_EQ(skin->ConvertToIndexedBlendedMesh(*m, 64, &out, &error), mesh::HResult::Ok) << error;
    EXPECT_EQ(out.maxVertexInfluences, 2u);
    EXPECT_GE(out.combinations.size(), 2u);
    CheckConversion(*m, *skin, 64, out);
}

} // namespace
