// The mesh manager and its cache, the static mesh's subsets and placement,
// the mesh sockets and the bird slots, on a temporary data directory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/math/Math.h"
#include "platform/mesh/XFile.h"
#include "render/Mesh.h"
#include "render/MeshMgr.h"
#include "render/MeshSocketsMgr.h"
#include "render/ObjectSlots22.h"
#include "tests/world/WorldFixture.h"

namespace {

namespace fs = std::filesystem;
using math::Vec3;

// A text .x box from min to max, its 12 faces spread over `materials`
// materials (face f takes material f % materials), no texture names.
std::string BoxText(Vec3 lo, Vec3 hi, int materials = 1) {
    std::ostringstream s;
    s << "xof 0303txt 0032\nMesh Box {\n 8;\n";
    for (int i = 0; i < 8; ++i)
        s << " " << ((i & 1) ? hi.x : lo.x) << ";" << ((i & 2) ? hi.y : lo.y) << ";"
          << ((i & 4) ? hi.z : lo.z) << (i == 7 ? ";;\n" : ";,\n");
    const int f[12][3] = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 4, 6}, {0, 6, 2},
                          {1, 3, 7}, {1, 7, 5}, {2, 6, 7}, {2, 7, 3}, {0, 1, 5}, {0, 5, 4}};
    s << " 12;\n";
    for (int i = 0; i < 12; ++i)
        s << " 3;" << f[i][0] << "," << f[i][1] << "," << f[i][2] << (i == 11 ? ";;\n" : ";,\n");
    s << " MeshMaterialList { " << materials << "; 12; ";
    for (int i = 0; i < 12; ++i)
        s << i % materials << (i == 11 ? ";;" : ",");
    for (int m = 0; m < materials; ++m)
        s << " Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }";
    s << " }\n}\n";
    return s.str();
}

// A strip of `faces` separate triangles, face f of material f / 2, with as
// many materials as `materials`.
std::string ManyMaterials(int materials) {
    std::ostringstream s;
    const int faces = 2 * materials;
    s << "xof 0303txt 0032\nMesh Strip {\n " << 3 * faces << ";\n";
    for (int i = 0; i < faces; ++i)
        s << " " << i << ";0;0;, " << i << ";0;1;, " << i + 0.5 << ";0;0;"
          << (i == faces - 1 ? ";\n" : ",\n");
    s << " " << faces << ";\n";
    for (int i = 0; i < faces; ++i)
        s << " 3;" << 3 * i << "," << 3 * i + 1 << "," << 3 * i + 2 << (i == faces - 1 ? ";;\n" : ";,\n");
    s << " MeshMaterialList { " << materials << "; " << faces << "; ";
    for (int i = 0; i < faces; ++i)
        s << i / 2 << (i == faces - 1 ? ";;" : ",");
    for (int m = 0; m < materials; ++m)
        s << " Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }";
    s << " }\n}\n";
    return s.str();
}

class MeshMgrTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        g_Engine.m_bQuit = 0;
    }
    void TearDown() override {
        g_Engine.m_bQuit = 0;
        WorldTest::TearDown();
    }

  public:
    void Write(const std::string& relative, const std::string& text) {
        std::string name = relative;
        for (char& c : name)
            if (c == '\\') c = '/';
        const fs::path p = dir_ / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }

  protected:
    fs::path CachePath(const char* name) const { return os::ResolvePath(EMeshMgr::CacheFileName(name)); }
    const EMeshMgr::strmesh* Load(const char* name) { return g_MeshMgr.GetEntry(g_MeshMgr.GetMesh(name)); }
};

struct CacheNameCase {
    const char* name;
    const char* cache;
};

class CacheName : public ::testing::TestWithParam<CacheNameCase> {};

TEST_P(CacheName, BackslashesAfterTheFolderBecomeUnderscores) {
    EXPECT_EQ(EMeshMgr::CacheFileName(GetParam().name), GetParam().cache);
}

INSTANTIATE_TEST_SUITE_P(Names, CacheName,
                         ::testing::Values(CacheNameCase{"models\\box.x", "!opt\\models_box.xvx.x"},
                                           CacheNameCase{"a.x", "!opt\\a.xvx.x"},
                                           CacheNameCase{"prefabs\\doors\\Door_1.X",
                                                         "!opt\\prefabs_doors_Door_1.Xvx.x"}));

TEST_F(MeshMgrTest, NamesDifferingInCaseShareOneEntry) {
    Write("models\\a.x", BoxText({0, 0, 0}, {1, 1, 1}));
    const int id = g_MeshMgr.GetMesh("models\\a.x");
    ASSERT_GE(id, 0);
    EXPECT_EQ(g_MeshMgr.GetMesh("MODELS\\A.X"), id);
    EXPECT_EQ(g_MeshMgr.NumMeshes(), 1);
    EXPECT_EQ(g_MeshMgr.GetMesh(""), -1);
    EXPECT_EQ(g_MeshMgr.GetMesh(nullptr), -1);
}

struct CentreCase {
    const char* name;
    float minX; // of the loaded box authored from x = 100 to 164
    uint32_t centre;
};

class Centring : public MeshMgrTest, public ::testing::WithParamInterface<CentreCase> {};

TEST_P(Centring, OnlyPrefabsWithoutNoCenterMoveToTheirBoxCentre) {
    Write(GetParam().name, BoxText({100, 0, 0}, {164, 10, 20}));
    const EMeshMgr::strmesh* e = Load(GetParam().name);
    ASSERT_TRUE(e);
    EXPECT_FLOAT_EQ(e->vMin.x, GetParam().minX);
    EXPECT_EQ(e->dwCenter, GetParam().centre);
    // The radius follows the centred positions.
    const float far =
        GetParam().minX < 0 ? std::sqrt(32.f * 32 + 5 * 5 + 10 * 10) : std::sqrt(164.f * 164 + 100 + 400);
    EXPECT_NEAR(e->fRadius, far, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Paths, Centring,
                         ::testing::Values(CentreCase{"prefabs\\props\\off.x", -32, 1},
                                           CentreCase{"PREFABS\\props\\off2.x", -32, 1},
                                           CentreCase{"prefabs\\props\\post_nocenter.x", 100, 0},
                                           CentreCase{"prefabs\\props\\post_NoCenter.x", 100, 0},
                                           CentreCase{"models\\off.x", 100, 1}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

TEST_F(MeshMgrTest, The1025thDistinctMeshIsRefused) {
    const std::string box = BoxText({0, 0, 0}, {1, 1, 1});
    for (int i = 0; i < EMeshMgr::MAX_MESHES; ++i) {
        const std::string name = "m\\" + std::to_string(i) + ".x";
        Write(name, box);
        ASSERT_EQ(g_MeshMgr.GetMesh(name.c_str()), i);
    }
    Write("m\\last.x", box);
    MarkConsole();
    EXPECT_EQ(g_MeshMgr.GetMesh("m\\last.x"), -1);
    EXPECT_TRUE(PrintedLine("Too many different meshes!"));
    // A freed slot is taken again.
    g_MeshMgr.ReleaseMesh(g_MeshMgr.GetEntry(5));
    EXPECT_EQ(g_MeshMgr.GetMesh("m\\last.x"), 5);
}

TEST_F(MeshMgrTest, TheCacheRoundTripsVerticesMaterialsAndRangesAndIsReadInstead) {
    Write("models\\two.x", BoxText({0, 0, 0}, {2, 3, 4}, 2));
    const EMeshMgr::strmesh* first = Load("models\\two.x");
    ASSERT_TRUE(first && first->pMesh);
    const fs::path cache = CachePath("models\\two.x");
    ASSERT_TRUE(fs::exists(cache)) << "the save creates !opt";
    const std::vector<mesh::Vertex> vertices = first->pMesh->Vertices();
    const std::vector<uint16_t> indices = first->pMesh->Indices();
    const std::vector<mesh::AttributeRange> table = first->pMesh->AttributeTable();
    ASSERT_EQ(table.size(), 2u);
    const auto written = fs::last_write_time(cache);

    g_MeshMgr.ReleaseAll();
    const EMeshMgr::strmesh* again = Load("models\\two.x");
    ASSERT_TRUE(again && again->pMesh);
    EXPECT_EQ(fs::last_write_time(cache), written) << "read, not made again";
    ASSERT_EQ(again->pMesh->Vertices().size(), vertices.size());
    EXPECT_EQ(0, std::memcmp(again->pMesh->Vertices().data(), vertices.data(),
                             vertices.size() * sizeof(mesh::Vertex)));
    EXPECT_EQ(again->pMesh->Indices(), indices);
    ASSERT_EQ(again->pMesh->AttributeTable().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(again->pMesh->AttributeTable()[i].faceStart, table[i].faceStart);
        EXPECT_EQ(again->pMesh->AttributeTable()[i].faceCount, table[i].faceCount);
        EXPECT_EQ(again->pMesh->AttributeTable()[i].vertexStart, table[i].vertexStart);
        EXPECT_EQ(again->pMesh->AttributeTable()[i].vertexCount, table[i].vertexCount);
    }
    EXPECT_EQ(again->dwNumMaterials, 2u);
    EXPECT_EQ(again->vMax, Vec3(2, 3, 4));
    // Tangent frames are stored: none is zero.
    for (const mesh::Vertex& v : again->pMesh->Vertices())
        EXPECT_NEAR(math::Vec3Length(v.tangent), 1, 1e-4);
}

struct StaleCase {
    const char* name;
    void (*spoil)(MeshMgrTest*, const fs::path& cache);
    const char* printed; // a line the load prints, or null
};

class StaleCache : public MeshMgrTest, public ::testing::WithParamInterface<StaleCase> {};

TEST_P(StaleCache, IsMadeAgainFromTheSource) {
    Write("models\\s.x", BoxText({0, 0, 0}, {2, 2, 2}));
    ASSERT_TRUE(Load("models\\s.x"));
    g_MeshMgr.ReleaseAll();
    const fs::path cache = CachePath("models\\s.x");
    GetParam().spoil(this, cache);
    MarkConsole();
    const EMeshMgr::strmesh* e = Load("models\\s.x");
    ASSERT_TRUE(e);
    // The source now holds a box to 8 (same length of text) unless the case
    // left it alone.
    const bool sourceChanged = std::string(GetParam().name).rfind("Source", 0) == 0;
    EXPECT_EQ(e->vMax.x, sourceChanged ? 8.0f : 2.0f);
    if (GetParam().printed) {
        EXPECT_TRUE(PrintedLine(GetParam().printed));
    }
    EXPECT_EQ(Printed("Reading mesh failed"),
              GetParam().printed && std::strstr(GetParam().printed, "Reading"));
    if (fs::is_directory(CachePath("models\\s.x"))) return; // nothing could be saved
    mesh::XFile x;
    std::string error;
    ASSERT_TRUE(mesh::ReadXFile(EMeshMgr::CacheFileName("models\\s.x"), &x, &error)) << error;
    EXPECT_TRUE(x.hasCacheStamp);
    EXPECT_EQ(x.cacheStamp, EMeshMgr::SourceStamp("models\\s.x")) << "saved again with the new stamp";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StaleCache,
    ::testing::Values(StaleCase{"SourceRewrittenSameSize",
                                [](MeshMgrTest* t, const fs::path&) {
                                    const fs::path src = os::ResolvePath("models\\s.x");
                                    const auto before = fs::last_write_time(src);
                                    t->Write("models\\s.x", BoxText({0, 0, 0}, {8, 2, 2}));
                                    fs::last_write_time(src, before + std::chrono::seconds(2));
                                },
                                nullptr},
                      StaleCase{"SourceLonger",
                                [](MeshMgrTest* t, const fs::path&) {
                                    t->Write("models\\s.x", BoxText({0, 0, 0}, {8, 2, 2}) + "\n\n");
                                },
                                nullptr},
                      StaleCase{"NoStamp",
                                [](MeshMgrTest*, const fs::path& cache) {
                                    std::ofstream(cache, std::ios::binary) << BoxText({0, 0, 0}, {5, 5, 5});
                                },
                                nullptr},
                      StaleCase{"OtherVersion",
                                [](MeshMgrTest*, const fs::path& cache) {
                                    mesh::XFile x;
                                    std::string error;
                                    mesh::ReadXFile(cache.string(), &x, &error);
                                    mesh::XCacheStamp stamp = x.cacheStamp;
                                    stamp.version = EMeshMgr::CACHE_VERSION + 1;
                                    std::ofstream(cache, std::ios::binary)
                                        << mesh::XFileBinaryBytes(x.meshes.at(0), stamp);
                                },
                                nullptr},
                      StaleCase{"CutShort",
                                [](MeshMgrTest*, const fs::path& cache) {
                                    fs::resize_file(cache, fs::file_size(cache) / 2);
                                },
                                "Reading mesh failed: !opt\\models_s.xvx.x"},
                      StaleCase{"ADirectory",
                                [](MeshMgrTest*, const fs::path& cache) {
                                    fs::remove(cache);
                                    fs::create_directories(cache);
                                },
                                "Failed to save !opt\\models_s.xvx.x"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MeshMgrTest, AFileThatDoesNotLoadGivesMinusOneAndIsReported) {
    MarkConsole();
    EXPECT_EQ(g_MeshMgr.GetMesh("models\\none.x"), -1);
    EXPECT_TRUE(PrintedLine("D3DXLoadMeshFromX models\\none.x failed"));
    EXPECT_TRUE(PrintedLine("*** Mesh models\\none.x failed!"));
    std::ifstream log(dir_ / "!error.txt");
    const std::string errors((std::istreambuf_iterator<char>(log)), {});
    EXPECT_NE(errors.find("*** Mesh models\\none.x failed!"), std::string::npos);
    EXPECT_EQ(g_MeshMgr.NumMeshes(), 0);
    // A name longer than the entry's field is no file.
    const std::string longName = "models\\" + std::string(260, 'a') + ".x";
    EXPECT_EQ(g_MeshMgr.GetMesh(longName.c_str()), -1);
    // A name with a character outside letters, digits and !_\.- stops the engine.
    Write("models\\bad name.x", BoxText({0, 0, 0}, {1, 1, 1}));
    EXPECT_EQ(g_MeshMgr.GetMesh("models\\bad name.x"), -1);
    EXPECT_EQ(g_Engine.m_bQuit, 1);
}

TEST_F(MeshMgrTest, ThreeHundredMaterialsKeep256SubsetsAndTheirOwnTable) {
    Write("models\\many.x", ManyMaterials(300));
    ObjectRecord* h = nullptr;
    {
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "models\\many.x");
        h = g_Engine.AddObject(p);
    }
    ASSERT_TRUE(h && h->Mesh());
    const EMesh* m = h->Mesh();
    EXPECT_EQ(m->m_dwNumSubsets, 256u);
    const EMeshMgr::strmesh* e = g_MeshMgr.GetEntry(m->m_iMeshId);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->pMesh->AttributeTable().size(), 300u) << "the table is sized from the mesh";
    EXPECT_EQ(h->pD3DXMesh, e->pMesh.get()) << "the object's mesh pointer";
    for (uint32_t s : {0u, 255u}) {
        uint32_t faces = 0, vertices = 0;
        m->GetSubsetCounts(s, &faces, &vertices);
        EXPECT_EQ(faces, 2u);
        EXPECT_EQ(vertices, 6u);
        EXPECT_EQ(m->m_bNonEmpty[s], 1);
    }
    uint32_t faces = 0, vertices = 0;
    m->GetSubsetCounts(299, &faces, &vertices);
    EXPECT_EQ(faces, 2u) << "read from the entry's own table";
    faces = vertices = 0;
    m->GetSubsetCounts(300, &faces, &vertices);
    EXPECT_EQ(faces + vertices, 0u) << "no such range: as the caller set them";
}

TEST_F(MeshMgrTest, PlacementKeepsThePitchUntilOrientedAndScalesTheRadius) {
    // A fresh mesh keeps its 90-degree pitch until SetOrientation.
    const math::Quat pitch = math::QuatRotationYawPitchRoll(0, math::kPi / 2, 0);
    {
        EMesh fresh;
        EXPECT_EQ(fresh.m_qRotation, pitch);
        fresh.UpdateWorldMatrix();
        EXPECT_EQ(fresh.m_qRotation, math::Quat{}) << "no object, angles 0: the base rotation (identity)";
    }
    ObjectRecord* h = Make(OT_MESH);
    ASSERT_TRUE(h && h->Mesh());
    EMesh* m = h->Mesh();
    const math::Quat base = math::QuatRotationYawPitchRoll(0.5f, 0, 0);
    m->SetOrientation(base);
    EXPECT_EQ(m->m_qRotation, base) << "angles 0, 0, 0: the base rotation";
    const float radius = m->Radius();
    const float modelSq = m->m_fModelRadiusSq;
    m->SetScale({2, 1, 3});
    EXPECT_FLOAT_EQ(m->Radius(), 3 * radius);
    EXPECT_EQ(h->iRange, int(3 * radius));
    EXPECT_FLOAT_EQ(m->m_fScaledRadiusSq, 9 * modelSq);
    // The inverse world matrix follows every rebuild.
    math::Matrix product = math::MatrixMultiply(m->m_mWorld, m->m_mInvWorld);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(product.m[r][c], r == c ? 1.0f : 0.0f, 1e-4);
}

// ---- Sockets -----------------------------------------------------------------------------

class SocketTest : public MeshMgrTest {
  protected:
    void LoadSockets(const std::string& text) {
        Write("scripts\\mesh_sockets\\s.txt", text);
        ASSERT_EQ(g_MeshSocketsMgr.LoadAll(), 1u);
    }
    void TearDown() override {
        fs::remove_all(dir_ / "scripts");
        g_MeshSocketsMgr.LoadAll();
        MeshMgrTest::TearDown();
    }
};

TEST_F(SocketTest, VectorsAndWorldPositionsByNameWithoutRegardToCase) {
    LoadSockets("mesh_filename MODELS\\BOX.X\n  socket Top 1 2 3\nSOCKET side 4 5 6\nrubbish line\n");
    ObjectRecord* h = Make(OT_MESH, {100, 0, 0});
    ASSERT_TRUE(h);
    h->Mesh()->SetOrientation(math::Quat{0, 0, 0, 1});
    float v[3] = {};
    ASSERT_TRUE(g_MeshSocketsMgr.GetSocketVector(h, "top", v));
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 2);
    EXPECT_EQ(v[2], 3);
    Vec3 world;
    ASSERT_TRUE(g_MeshSocketsMgr.GetSocketWorldPosition(h, "SIDE", &world));
    EXPECT_EQ(world, Vec3(104, 6, 5)) << "(a, c, b) through the world matrix";
    const float ragdoll[3] = {7, 8, 9};
    ASSERT_TRUE(g_MeshSocketsMgr.SetRagDollSocketVector(h, "Top", ragdoll));
    ASSERT_TRUE(g_MeshSocketsMgr.GetSocketVector(h, "TOP", v));
    EXPECT_EQ(v[2], 9) << "changed for the rest of the run";

    MarkConsole();
    float untouched[3] = {-1, -1, -1};
    EXPECT_FALSE(g_MeshSocketsMgr.GetSocketVector(h, "nose", untouched));
    EXPECT_EQ(untouched[0], -1);
    EXPECT_TRUE(PrintedLine("ERROR in EMeshSocketsMgr::GetSocketVector(): socketu <nose> nie znalazlem!"));
    EXPECT_FALSE(g_MeshSocketsMgr.SetRagDollSocketVector(h, "nose", ragdoll));
    // (the console line is cut to its width)
    EXPECT_TRUE(Printed("ERROR in EMeshSocketsMgr::SetRagDollSocketVector(): socketu <nose>"));
    MarkConsole();
    EXPECT_FALSE(g_MeshSocketsMgr.GetSocketVector(h, "", v));
    EXPECT_FALSE(g_MeshSocketsMgr.SetRagDollSocketVector(h, nullptr, ragdoll));
    EXPECT_FALSE(g_MeshSocketsMgr.GetSocketVector(nullptr, "top", v));
    EXPECT_FALSE(Printed("nie znalazlem")) << "empty names and null arguments are silent";
    // A light has no mesh: no socket.
    EXPECT_FALSE(g_MeshSocketsMgr.GetSocketVector(Make(OT_LIGHT), "top", v));
}

TEST_F(SocketTest, NamesThatDoNotFitAreNotStored) {
    const std::string longSocket(44, 's');
    LoadSockets("mesh_filename models\\box.x\nsocket " + longSocket + " 1 2 3\nsocket " +
                longSocket.substr(0, 43) + " 4 5 6\n");
    ObjectRecord* h = Make(OT_MESH);
    float v[3];
    EXPECT_FALSE(g_MeshSocketsMgr.GetSocketVector(h, longSocket.c_str(), v));
    ASSERT_TRUE(g_MeshSocketsMgr.GetSocketVector(h, longSocket.substr(0, 43).c_str(), v));
    EXPECT_EQ(v[0], 4) << "the long line was skipped, not cut to fit";

    // A mesh name too long for the record: the file matches no mesh, not
    // even one whose name begins alike.
    LoadSockets("mesh_filename models\\box.x" + std::string(300, 'x') + "\nsocket top 1 2 3\n");
    EXPECT_FALSE(g_MeshSocketsMgr.GetSocketVector(h, "top", v));
}

TEST_F(SocketTest, SixtySocketsAreKeptWithTheLimitReported) {
    std::string text = "mesh_filename models\\box.x\n";
    for (int i = 0; i < 61; ++i)
        text += "socket s" + std::to_string(i) + " " + std::to_string(i) + " 0 0\n";
    MarkConsole();
    LoadSockets(text);
    EXPECT_TRUE(PrintedLine("ERROR in  MeshSocketsMgr.cpp: MAX_SOCKETS_IN_ONE_FILE exceeded!"));
    ObjectRecord* h = Make(OT_MESH);
    float v[3];
    EXPECT_TRUE(g_MeshSocketsMgr.GetSocketVector(h, "s59", v));
    EXPECT_FALSE(g_MeshSocketsMgr.GetSocketVector(h, "s60", v));
}

struct FirstWordCase {
    const char* line;
    const char* keyword;
    bool expected;
};

class FirstWord : public ::testing::TestWithParam<FirstWordCase> {};

TEST_P(FirstWord, MatchesTheFirstBlankSeparatedWordWithoutRegardToCase) {
    EXPECT_EQ(IsFirstWord(GetParam().line, GetParam().keyword), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, FirstWord,
                         ::testing::Values(FirstWordCase{"socket a 1 2 3", "socket", true},
                                           FirstWordCase{"   SOCKET a", "socket", true},
                                           FirstWordCase{"\tsocket", "Socket", true},
                                           FirstWordCase{"sockets a", "socket", false},
                                           FirstWordCase{"sock a", "socket", false},
                                           FirstWordCase{"", "socket", false}, FirstWordCase{"   ", "", true},
                                           FirstWordCase{"a socket", "socket", false}));

// ---- Bird slots -----------------------------------------------------------------------------

TEST_F(MeshMgrTest, BirdSlotsDeleteOnlyTheObjectsTheyOwn) {
    ObjectRecord* kept = Make(OT_MESH);
    ObjectRecord* owned = Make(OT_MESH);
    ASSERT_TRUE(kept && owned);
    const int objects = g_Engine.NumObjects();
    g_ObjectSlots22.Init();
    g_ObjectSlots22.Clear();
    EXPECT_EQ(g_Engine.NumObjects(), objects) << "empty slots delete nothing";

    g_ObjectSlots22.m_Slots[3] = {1, 1, owned, 2.5f};
    g_ObjectSlots22.Clear();
    EXPECT_EQ(g_Engine.NumObjects(), objects - 1);
    EXPECT_FALSE(owned->bUsed);
    EXPECT_TRUE(kept->bUsed);
    EXPECT_EQ(g_ObjectSlots22.m_Slots[3].hObject, nullptr);
    EXPECT_EQ(g_ObjectSlots22.m_Slots[3].bUsed, 0);
    EXPECT_EQ(g_ObjectSlots22.m_Slots[3].bFlag2, 1) << "Clear leaves the second flag and the timer";

    g_ObjectSlots22.Init();
    EXPECT_EQ(g_ObjectSlots22.m_Slots[3].bFlag2, 0);
    EXPECT_EQ(g_ObjectSlots22.m_Slots[3].fTimer, 0);
    g_Engine.m_fFrameTime = 0.04f;
    g_ObjectSlots22.Update();
    EXPECT_EQ(g_ObjectSlots22.m_fFrameTime, 0.04f);
}

} // namespace
