// The hierarchy loader against a recording allocator: the order and the
// arguments of its callbacks, the links it makes, the skin information it
// hands out, and the clean-up of a load that fails; FrameFind and
// FrameDestroy; the test character skinned on the CPU at its bind pose.
#include <gtest/gtest.h>

#include <glm/glm.hpp>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshData.h"
#include "platform/mesh/MeshHierarchy.h"
#include "platform/mesh/MeshOps.h"
#include "platform/mesh/SkinInfo.h"
#include "platform/mesh/XFile.h"
#include "tests/RecordingAllocator.h"

namespace {

const std::string kTri = "3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;";

// A mesh before any frame, nested frames, siblings, and a frame holding two
// meshes with a child frame written between them.
const std::string kTree = "xof 0303txt 0032\n"
                          "Mesh Loose { " +
                          kTri +
                          " }\n"
                          "Frame A {\n"
                          " FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 5,0,0,1;; }\n"
                          " Frame B {\n"
                          "  Mesh B1 { " +
                          kTri +
                          " MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; "
                          "TextureFilename { \"maps\\\\b1.tga\"; } } } }\n"
                          "  Frame D { }\n"
                          "  Mesh B2 { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 1; 4;0,1,2,3;; }\n"
                          " }\n"
                          " Frame C { }\n"
                          "}\n"
                          "Frame E { }\n";

mesh::HResult Load(const std::string& text, RecordingAllocator* allocator, mesh::Frame** root,
                   std::string* error) {
    mesh::XFile x;
    if (!mesh::ParseXFile(text, "tree.x", &x, error)) return mesh::HResult::Fail;
    return mesh::LoadMeshHierarchy(x, "tree.x", nullptr, allocator, root, error);
}

TEST(MeshHierarchyTest, CallsTheAllocatorInFileOrderAndLinksAsWritten) {
    RecordingAllocator allocator;
    mesh::Frame* root = nullptr;
    std::string error;
    ASSERT_EQ(Load(kTree, &allocator, &root, &error), mesh::HResult::Ok) << error;
    EXPECT_EQ(allocator.log, (std::vector<std::string>{
                                 "frame (null)",
                                 "container Loose faces 1 materials 0 static",
                                 "frame A",
                                 "frame B",
                                 "container B1 faces 1 materials 1 static",
                                 "frame D",
                                 "container B2 faces 2 materials 0 static",
                                 "frame C",
                                 "frame E",
                             }));

    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name, "");
    EXPECT_EQ(root->transformationMatrix, math::Matrix{});
    ASSERT_NE(root->meshContainer, nullptr);
    EXPECT_EQ(root->meshContainer->name, "Loose");
    mesh::Frame* a = root->frameSibling;
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->name, "A");
    EXPECT_EQ(a->transformationMatrix.m[3][0], 5.0f);
    ASSERT_NE(a->frameSibling, nullptr);
    EXPECT_EQ(a->frameSibling->name, "E");
    EXPECT_EQ(a->frameSibling->frameSibling, nullptr);
    mesh::Frame* b = a->frameFirstChild;
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->name, "B");
    ASSERT_NE(b->frameSibling, nullptr);
    EXPECT_EQ(b->frameSibling->name, "C");
    ASSERT_NE(b->frameFirstChild, nullptr);
    EXPECT_EQ(b->frameFirstChild->name, "D");

    // The second mesh of B is chained to the first.
    const mesh::MeshContainer* b1 = b->meshContainer;
    ASSERT_NE(b1, nullptr);
    ASSERT_NE(b1->nextMeshContainer, nullptr);
    const mesh::MeshContainer* b2 = b1->nextMeshContainer;
    EXPECT_EQ(b2->name, "B2");
    EXPECT_EQ(b2->nextMeshContainer, nullptr);
    ASSERT_EQ(b1->materials.size(), 1u);
    EXPECT_EQ(b1->materials[0].textureFile, "maps\\b1.tga"); // as written
    // The quad's two triangles share an edge; each has two open edges.
    ASSERT_EQ(b2->adjacency.size(), 6u);
    EXPECT_EQ(b2->adjacency,
              (std::vector<uint32_t>{mesh::kNoFace, mesh::kNoFace, 1, 0, mesh::kNoFace, mesh::kNoFace}));
    EXPECT_EQ(b2->mesh->NumVertices(), 4u);

    EXPECT_EQ(mesh::FrameDestroy(root, &allocator), mesh::HResult::Ok);
    EXPECT_TRUE(allocator.live.empty());
    EXPECT_EQ(allocator.badDestroys, 0);
}

// A mesh keeps its own space: the frame that holds it does not move it.
TEST(MeshHierarchyTest, AContainersMeshStaysInItsOwnSpace) {
    RecordingAllocator allocator;
    mesh::Frame* root = nullptr;
    std::string error;
    ASSERT_EQ(Load(kTree, &allocator, &root, &error), mesh::HResult::Ok) << error;
    const mesh::Frame* b = mesh::FrameFind(root, "B");
    ASSERT_NE(b, nullptr);
    const std::vector<mesh::Vertex>& v = b->meshContainer->mesh->Vertices();
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[1].position.x, 1.0f); // frame A moves it by 5 when placed
    mesh::FrameDestroy(root, &allocator);
}

struct FailCase {
    const char* name;
    RecordingAllocator::Call call;
    int n;
    mesh::HResult result;
    const char* message;
};

class MeshHierarchyFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(MeshHierarchyFailure, EndsTheLoadAndDestroysEverythingOnce) {
    const FailCase& c = GetParam();
    RecordingAllocator allocator;
    allocator.FailAt(c.call, c.n, c.result);
    mesh::Frame* root = reinterpret_cast<mesh::Frame*>(&allocator); // must be cleared
    std::string error;
    EXPECT_EQ(Load(kTree, &allocator, &root, &error), c.result);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(error, std::string("tree.x: ") + c.message);
    EXPECT_TRUE(allocator.live.empty());
    EXPECT_EQ(allocator.badDestroys, 0);
    // Nothing is called after the failing call but the destruction.
    size_t failing = 0;
    while (failing < allocator.log.size() && allocator.log[failing].rfind("destroy", 0) != 0)
        ++failing;
    for (size_t i = failing; i < allocator.log.size(); ++i)
        EXPECT_EQ(allocator.log[i].rfind("destroy", 0), 0u) << allocator.log[i];
}

using Call = RecordingAllocator::Call;
INSTANTIATE_TEST_SUITE_P(
    Cases, MeshHierarchyFailure,
    ::testing::Values(FailCase{"FirstFrame", Call::CreateFrame, 0, mesh::HResult::OutOfMemory,
                               "frame \"\" not created (0x8007000E)"},
                      FailCase{"NestedFrame", Call::CreateFrame, 3, mesh::HResult::Fail,
                               "frame \"D\" not created (0x80004005)"},
                      FailCase{"LastFrame", Call::CreateFrame, 5, mesh::HResult::Refused,
                               "frame \"E\" not created (0xFFFFFFFF)"},
                      FailCase{"FirstContainer", Call::CreateMeshContainer, 0, mesh::HResult::Fail,
                               "mesh \"Loose\" not taken (0x80004005)"},
                      FailCase{"ChainedContainer", Call::CreateMeshContainer, 2, mesh::HResult::Refused,
                               "mesh \"B2\" not taken (0xFFFFFFFF)"}),
    [](const ::testing::TestParamInfo<FailCase>& info) { return info.param.name; });

TEST(MeshHierarchyTest, FilesTheLoaderCannotUseAreRefusedAndLeaveNothing) {
    // A mesh past 16-bit indices: every triangle with positions of its own.
    std::string big = "xof 0303txt 0032\nFrame Holder { }\nFrame Body {\nMesh Big {\n65538;\n";
    for (int i = 0; i < 65538; ++i)
        big += std::to_string(i) + ";0;0;,";
    big.back() = ';';
    big += "\n21846;\n";
    for (int t = 0; t < 21846; ++t)
        big += "3;" + std::to_string(3 * t) + "," + std::to_string(3 * t + 1) + "," +
               std::to_string(3 * t + 2) + ";,";
    big.back() = ';';
    big += "\n}\n}\n";
    const struct {
        std::string text, message;
    } cases[] = {
        {big, "tree.x: mesh \"Big\" has 65538 vertices, more than 16-bit indices reach"},
        {"xof 0303txt 0032\nFrame F { Mesh Empty { 0; ; 0; ; } }\n", "tree.x: mesh \"Empty\" has no faces"},
    };
    for (const auto& c : cases) {
        RecordingAllocator allocator;
        mesh::Frame* root = nullptr;
        std::string error;
        EXPECT_EQ(Load(c.text, &allocator, &root, &error), mesh::HResult::Fail);
        EXPECT_EQ(error, c.message);
        EXPECT_EQ(root, nullptr);
        EXPECT_TRUE(allocator.live.empty());
        EXPECT_EQ(allocator.badDestroys, 0);
    }
}

TEST(MeshHierarchyTest, MissingFileIsReportedWithoutCallingTheAllocator) {
    RecordingAllocator allocator;
    mesh::Frame* root = nullptr;
    std::string error;
    EXPECT_EQ(mesh::LoadMeshHierarchy(std::string(ZT_SOURCE_DIR) + "/data/models/nothing_here.x", nullptr,
                                      &allocator, &root, &error),
              mesh::HResult::Fail);
    EXPECT_NE(error.find("nothing_here.x: cannot be opened"), std::string::npos) << error;
    EXPECT_TRUE(allocator.log.empty());
}

TEST(MeshHierarchyTest, FrameFindMatchesNamesExactlyDepthFirst) {
    RecordingAllocator allocator;
    mesh::Frame* root = nullptr;
    std::string error;
    ASSERT_EQ(Load(kTree, &allocator, &root, &error), mesh::HResult::Ok) << error;
    EXPECT_EQ(mesh::FrameFind(root, "D"), root->frameSibling->frameFirstChild->frameFirstChild);
    EXPECT_EQ(mesh::FrameFind(root, "E"), root->frameSibling->frameSibling);
    EXPECT_EQ(mesh::FrameFind(root, "d"), nullptr);
    EXPECT_EQ(mesh::FrameFind(root, "A "), nullptr);
    EXPECT_EQ(mesh::FrameFind(root, ""), nullptr); // the unnamed frame is not found by name
    EXPECT_EQ(mesh::FrameFind(nullptr, "A"), nullptr);
    // From a frame inside the tree: its subtree and later siblings only.
    mesh::Frame* b = mesh::FrameFind(root, "B");
    EXPECT_EQ(mesh::FrameFind(b, "C"), b->frameSibling);
    EXPECT_EQ(mesh::FrameFind(b, "A"), nullptr);
    mesh::FrameDestroy(root, &allocator);
}

TEST(MeshHierarchyTest, FrameDestroyFreesASubtreeWithItsSiblingsThroughTheAllocator) {
    RecordingAllocator allocator;
    mesh::Frame* root = nullptr;
    std::string error;
    ASSERT_EQ(Load(kTree, &allocator, &root, &error), mesh::HResult::Ok) << error;
    mesh::Frame* a = root->frameSibling;
    mesh::Frame* b = a->frameFirstChild;
    a->frameFirstChild = nullptr;
    allocator.log.clear();
    // B, its child D, its sibling C and B's two containers.
    EXPECT_EQ(mesh::FrameDestroy(b, &allocator), mesh::HResult::Ok);
    EXPECT_EQ(allocator.log,
              (std::vector<std::string>{"destroy frame D", "destroy container B1", "destroy container B2",
                                        "destroy frame B", "destroy frame C"}));
    EXPECT_EQ(allocator.live.size(), 4u); // the unnamed frame with Loose, A, E
    EXPECT_EQ(mesh::FrameDestroy(root, &allocator), mesh::HResult::Ok);
    EXPECT_TRUE(allocator.live.empty());
    EXPECT_EQ(allocator.badDestroys, 0);
    EXPECT_EQ(mesh::FrameDestroy(nullptr, &allocator), mesh::HResult::Ok);
}

// A quad whose corner 2 has two normals, so its position makes two vertices:
// both carry that position's influences.
TEST(MeshHierarchyTest, EveryVertexCarriesTheInfluencesOfItsPosition) {
    const std::string text =
        "xof 0303txt 0032\n"
        "Frame Root { Frame Arm { }\n"
        " Mesh Skin {\n"
        "  4; 0;0;0;, 1;0;0;, 1;3;0;, 0;3;0;;\n"
        "  2; 3;0,1,2;, 3;0,2,3;;\n"
        "  MeshNormals { 2; 0;0;-1;, 0;0;1;; 2; 3;0,0,0;, 3;0,1,0;; }\n"
        "  XSkinMeshHeader { 2; 4; 2; }\n"
        "  SkinWeights { \"Root\"; 3; 0,1,3; 1.0,1.0,0.5; "
        "1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }\n"
        "  SkinWeights { \"Arm\"; 2; 2,3; 1.0,0.5; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,-2,0,1;; }\n"
        " }\n"
        "}\n";
    RecordingAllocator allocator;
    mesh::Frame* root = nullptr;
    std::string error;
    ASSERT_EQ(Load(text, &allocator, &root, &error), mesh::HResult::Ok) << error;
    EXPECT_EQ(allocator.log[2], "container Skin faces 2 materials 0 bones 2");
    const mesh::MeshContainer* c = root->meshContainer;
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c->skinInfo, nullptr);
    const mesh::SkinInfo& skin = *c->skinInfo;
    const std::vector<mesh::Vertex>& vertices = c->mesh->Vertices();
    // Corners in first use: 0, 1, 2 (normal 0), 2 (normal 1), 3.
    ASSERT_EQ(vertices.size(), 5u);
    EXPECT_EQ(skin.GetNumVertices(), 5u);
    ASSERT_EQ(skin.GetNumBones(), 2u);
    EXPECT_STREQ(skin.GetBoneName(0), "Root");
    EXPECT_STREQ(skin.GetBoneName(1), "Arm");
    EXPECT_EQ(skin.GetBoneOffsetMatrix(1)->m[3][1], -2.0f);
    EXPECT_EQ(skin.GetBoneName(2), nullptr);

    ASSERT_EQ(skin.GetNumBoneInfluences(1), 3u);
    std::vector<uint32_t> v(3);
    std::vector<float> w(3);
    ASSERT_EQ(skin.GetBoneInfluence(1, v.data(), w.data()), mesh::HResult::Ok);
    EXPECT_EQ(v, (std::vector<uint32_t>{2, 3, 4}));
    EXPECT_EQ(w, (std::vector<float>{1.0f, 1.0f, 0.5f}));
    for (size_t i = 0; i < v.size(); ++i)
        EXPECT_EQ(vertices[v[i]].position.y, 3.0f);
    mesh::FrameDestroy(root, &allocator);
}

TEST(SkinInfoTest, SettersRefuseWhatTheSkinCannotHold) {
    EXPECT_EQ(mesh::SkinInfo::Create(65536, 1), nullptr);
    EXPECT_EQ(mesh::SkinInfo::Create(3, 65536), nullptr);
    std::shared_ptr<mesh::SkinInfo> skin = mesh::SkinInfo::Create(3, 2);
    ASSERT_NE(skin, nullptr);
    const uint32_t vertices[] = {0, 2};
    const float weights[] = {0.25f, 1.0f};
    EXPECT_EQ(skin->SetBoneInfluence(0, 2, vertices, weights), mesh::HResult::Ok);
    const uint32_t past[] = {0, 3};
    const float tooHeavy[] = {0.25f, 1.5f};
    const float nan[] = {0.25f, std::nanf("")};
    EXPECT_EQ(skin->SetBoneInfluence(0, 2, past, weights), mesh::HResult::Fail);
    EXPECT_EQ(skin->SetBoneInfluence(0, 2, vertices, tooHeavy), mesh::HResult::Fail);
    EXPECT_EQ(skin->SetBoneInfluence(0, 2, vertices, nan), mesh::HResult::Fail);
    EXPECT_EQ(skin->SetBoneInfluence(2, 2, vertices, weights), mesh::HResult::Fail);
    EXPECT_EQ(skin->SetBoneName(2, "X"), mesh::HResult::Fail);
    EXPECT_EQ(skin->SetBoneOffsetMatrix(2, math::Matrix{}), mesh::HResult::Fail);
    // The refused calls left bone 0 as it was.
    uint32_t v[2];
    float w[2];
    ASSERT_EQ(skin->GetNumBoneInfluences(0), 2u);
    ASSERT_EQ(skin->GetBoneInfluence(0, v, w), mesh::HResult::Ok);
    EXPECT_EQ(v[1], 2u);
    EXPECT_EQ(w[1], 1.0f);
    EXPECT_EQ(skin->GetNumBoneInfluences(5), 0u);
    EXPECT_EQ(skin->GetBoneInfluence(5, v, w), mesh::HResult::Fail);
    skin->SetMinBoneInfluence(0.0001f);
    EXPECT_EQ(skin->GetMinBoneInfluence(), 0.0001f);
}

// The column-vector twin of a row-vector matrix (its transpose): GLM's
// column i holds the matrix's row i.
glm::mat4 Glm(const math::Matrix& m) {
    glm::mat4 g;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            g[r][c] = m.m[r][c];
    return g;
}

void Combine(const mesh::Frame* frame, const glm::mat4& parent, std::map<std::string, glm::mat4>* out) {
    for (; frame; frame = frame->frameSibling) {
        const glm::mat4 world = parent * Glm(frame->transformationMatrix);
        (*out)[frame->name] = world;
        Combine(frame->frameFirstChild, world, out);
    }
}

// At the bind pose the bones' offsets undo their frames: skinning the
// container's vertices with its influences puts each where the static
// loader, which places the mesh by its frames, puts it.
TEST(MeshHierarchyTest, TheTestCharacterSkinnedAtItsBindPoseMatchesTheStaticLoad) {
    const std::string path = std::string(ZT_SOURCE_DIR) + "/data/models/manekin/manekin.x";
    RecordingAllocator allocator;
    mesh::Frame* root = nullptr;
    std::string error;
    ASSERT_EQ(mesh::LoadMeshHierarchy(path, nullptr, &allocator, &root, &error), mesh::HResult::Ok) << error;
    mesh::XFile file;
    mesh::MeshData placed;
    ASSERT_TRUE(mesh::ReadXFile(path, &file, &error) && mesh::BuildMeshData(file, path, &placed, &error))
        << error;

    std::map<std::string, glm::mat4> world;
    Combine(root, glm::mat4(1.0f), &world);
    const mesh::Frame* body = mesh::FrameFind(root, "Body");
    ASSERT_NE(body, nullptr);
    const mesh::MeshContainer* c = body->meshContainer;
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c->skinInfo, nullptr);
    const std::vector<mesh::Vertex>& vertices = c->mesh->Vertices();
    ASSERT_EQ(vertices.size(), placed.vertices.size());

    std::vector<glm::vec3> skinned(vertices.size(), glm::vec3(0.0f));
    const mesh::SkinInfo& skin = *c->skinInfo;
    for (uint32_t b = 0; b < skin.GetNumBones(); ++b) {
        ASSERT_TRUE(world.count(skin.GetBoneName(b))) << skin.GetBoneName(b);
        const glm::mat4 m = world[skin.GetBoneName(b)] * Glm(*skin.GetBoneOffsetMatrix(b));
        const uint32_t n = skin.GetNumBoneInfluences(b);
        std::vector<uint32_t> v(n);
        std::vector<float> w(n);
        ASSERT_EQ(skin.GetBoneInfluence(b, v.data(), w.data()), mesh::HResult::Ok);
        for (uint32_t i = 0; i < n; ++i) {
            const math::Vec3& p = vertices[v[i]].position;
            skinned[v[i]] += w[i] * glm::vec3(m * glm::vec4(p.x, p.y, p.z, 1.0f));
        }
    }
    for (size_t i = 0; i < vertices.size(); ++i) {
        const glm::vec3 s = skinned[i];
        const math::Vec3& expected = placed.vertices[i].position;
        ASSERT_NEAR(s.x, expected.x, 1e-4f) << "vertex " << i;
        ASSERT_NEAR(s.y, expected.y, 1e-4f) << "vertex " << i;
        ASSERT_NEAR(s.z, expected.z, 1e-4f) << "vertex " << i;
    }
    EXPECT_EQ(mesh::FrameDestroy(root, &allocator), mesh::HResult::Ok);
    EXPECT_TRUE(allocator.live.empty());
}

} // namespace
