// The inertia-tensor cache: the file reader's cases, the names of files and
// records, the sampled tensors of the construction prefabs against the
// analytic ones, the welded vertex maps, the matrix helpers, and a full round
// through the engine into a scratch data folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/Debug.h"
#include "physics/CollisionMgr.h"
#include "physics/RigidBodyParametersMgr.h"
#include "platform/os/Os.h"
#include "render/MeshMgr.h"
#include "tests/fuzz/ParamsFileInput.h"
#include "tests/physics/CollisionFixture.h"
#include "tests/world/WorldFixture.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFolder = fs::path("!opt") / "rigid_body_physics_parameters";
constexpr const char* kBox = "prefabs\\special\\rigidbody_box.x";
constexpr const char* kCylinder = "prefabs\\special\\rigidbody_cylinder.x";
constexpr const char* kSphere = "prefabs\\special\\rigidbody_sphere.x";
constexpr const char* kLProp = "models\\l_prop.x";

using Matrix3 = std::vector<double>; // 9 entries, row-major

class ParamsTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        fs::create_directories(dir_ / "prefabs" / "special");
        const fs::path data = fs::path(ZT_SOURCE_DIR) / "data";
        for (const char* name : {"rigidbody_box.x", "rigidbody_cylinder.x", "rigidbody_sphere.x"})
            fs::copy_file(data / "prefabs" / "special" / name, dir_ / "prefabs" / "special" / name);
        fs::copy_file(data / "models" / "l_prop.x", dir_ / "models" / "l_prop.x");
        mgr_ = std::make_unique<ERigidBodyParametersMgr>();
    }
    void TearDown() override {
        mgr_.reset();
        WorldTest::TearDown();
    }

    void Write(const fs::path& relative, const std::string& text) {
        fs::create_directories((dir_ / relative).parent_path());
        std::ofstream(dir_ / relative, std::ios::binary) << text;
    }
    std::string Read(const fs::path& relative) const {
        std::ifstream f(dir_ / relative, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    // Loads a parameter file written with the given text; the record or null.
    const RigidBodyParameters* Load(const std::string& text, const char* name = "case.txt") {
        Write(kFolder / name, text);
        const std::string path = std::string(ERigidBodyParametersMgr::FOLDER) + "\\" + name;
        if (!mgr_->LoadFile(path.c_str())) return nullptr;
        return &mgr_->Record(mgr_->NumRecords() - 1);
    }
    // A mesh object at the origin, its world and mesh coordinates one.
    static ObjectRecord* MakeAtOrigin(const char* file) {
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", file);
        p.dwFlags = 12;
        return g_Engine.AddObject(p);
    }
    // Lines printed after the mark that contain text.
    static int CountPrinted(const char* text) {
        int count = 0;
        PrintedAfterMark([&](const char* line) {
            count += std::strstr(line, text) != nullptr;
            return false;
        });
        return count;
    }

    std::unique_ptr<ERigidBodyParametersMgr> mgr_;
};

std::vector<uint32_t> Map(const std::unique_ptr<uint32_t[]>& map, uint32_t n) {
    return map ? std::vector<uint32_t>(map.get(), map.get() + n) : std::vector<uint32_t>{};
}

bool SameRecord(const RigidBodyParameters& a, const RigidBodyParameters& b) {
    return std::strcmp(a.szMeshFilename, b.szMeshFilename) == 0 &&
           std::equal(a.Ibody, a.Ibody + 9, b.Ibody) && std::equal(a.Ibodyinv, a.Ibodyinv + 9, b.Ibodyinv) &&
           a.num_old_vertices == b.num_old_vertices && a.num_new_vertices == b.num_new_vertices &&
           Map(a.map_old_to_new, a.num_old_vertices) == Map(b.map_old_to_new, b.num_old_vertices) &&
           Map(a.map_new_to_old, a.num_new_vertices) == Map(b.map_new_to_old, b.num_new_vertices);
}

// ---- The file reader ----------------------------------------------------------------

struct ReadCase {
    const char* name;
    std::string text;
    std::string meshName;
    Matrix3 Ibody;
    Matrix3 Ibodyinv;
    std::vector<uint32_t> oldToNew; // empty: no map
    std::vector<uint32_t> newToOld;
};

const Matrix3 kZero(9, 0.0);

class ParamsReadTest : public ParamsTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ParamsReadTest, FillsTheRecord) {
    const ReadCase& c = GetParam();
    const RigidBodyParameters* r = Load(c.text);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(std::string(r->szMeshFilename), c.meshName);
    EXPECT_EQ(Matrix3(r->Ibody, r->Ibody + 9), c.Ibody);
    EXPECT_EQ(Matrix3(r->Ibodyinv, r->Ibodyinv + 9), c.Ibodyinv);
    EXPECT_EQ(Map(r->map_old_to_new, r->num_old_vertices), c.oldToNew);
    EXPECT_EQ(Map(r->map_new_to_old, r->num_new_vertices), c.newToOld);
    EXPECT_EQ(r->num_old_vertices, c.oldToNew.size());
    EXPECT_EQ(r->num_new_vertices, c.newToOld.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParamsReadTest,
    ::testing::Values(
        ReadCase{"emptyFileLeavesClearedValues", "", "", kZero, kZero, {}, {}},
        ReadCase{"rowIndex7FillsRow2",
                 "ibody_row 7 1.5 -2 3\n",
                 "",
                 {0, 0, 0, 0, 0, 0, 1.5, -2, 3},
                 kZero,
                 {},
                 {}},
        ReadCase{"rowIndexMinus3FillsRow0",
                 "ibodyinv_row -3 4 5 6.25\n",
                 "",
                 kZero,
                 {4, 5, 6.25, 0, 0, 0, 0, 0, 0},
                 {},
                 {}},
        ReadCase{"fullPrecisionDecimals",
                 "ibody_row 1 0.166666666667 -0.000000000001 12345678.123456789012\n",
                 "",
                 {0, 0, 0, 0.166666666667, -0.000000000001, 12345678.123456789012, 0, 0, 0},
                 kZero,
                 {},
                 {}},
        ReadCase{"keywordsAnyCaseLeadingBlanksAndTabs",
                 "   MESH_FILENAME\tModels\\Crate.x\n\tIBODY_ROW 0 1 2 3\n",
                 "Models\\Crate.x",
                 {1, 2, 3, 0, 0, 0, 0, 0, 0},
                 kZero,
                 {},
                 {}},
        ReadCase{
            "nameCutAtItsBlank", "mesh_filename models\\my crate.x\n", "models\\my", kZero, kZero, {}, {}},
        ReadCase{"lastNameCounts", "mesh_filename a.x\nmesh_filename b.x\n", "b.x", kZero, kZero, {}, {}},
        ReadCase{"countsGiveIdentityMaps",
                 "num_old_vertices 3\nnum_new_vertices 3\n",
                 "",
                 kZero,
                 kZero,
                 {0, 1, 2},
                 {0, 1, 2}},
        ReadCase{"mapLines",
                 "num_old_vertices 3\nnum_new_vertices 2\nmap_new_vertices_to_old 1 "
                 "2\nmap_old_vertices_to_new 2 1\n"
                 "map_old_vertices_to_new 1 0\n",
                 "",
                 kZero,
                 kZero,
                 {0, 0, 1},
                 {0, 2}},
        ReadCase{"mapLinesOutOfRangeIgnored",
                 "num_old_vertices 3\nnum_new_vertices 2\nmap_old_vertices_to_new 3 "
                 "0\nmap_old_vertices_to_new 1 2\n"
                 "map_old_vertices_to_new -1 0\nmap_old_vertices_to_new 0 -1\nmap_new_vertices_to_old 2 0\n"
                 "map_new_vertices_to_old 0 3\nmap_new_vertices_to_old 1 99999999999\n"
                 "map_old_vertices_to_new 2 1\n",
                 "",
                 kZero,
                 kZero,
                 {0, 1, 1},
                 {0, 1}},
        ReadCase{"mapLinesBeforeTheirCountIgnored",
                 "map_old_vertices_to_new 1 0\nmap_new_vertices_to_old 1 0\nnum_old_vertices "
                 "2\nnum_new_vertices 2\n",
                 "",
                 kZero,
                 kZero,
                 {0, 1},
                 {0, 1}},
        ReadCase{"unknownLinesIgnored",
                 "hello world\n \nibody_rows 0 9 9 9\n# ibody_row 0 9 9 9\nmap 0 0\nibody_row 1 1 1 1\n",
                 "",
                 {0, 0, 0, 1, 1, 1, 0, 0, 0},
                 kZero,
                 {},
                 {}},
        ReadCase{"oversizedCountsIgnored",
                 "num_old_vertices 65537\nnum_new_vertices -1\n",
                 "",
                 kZero,
                 kZero,
                 {},
                 {}},
        ReadCase{"repeatedCountIgnored",
                 "num_old_vertices 2\nnum_old_vertices 4\nnum_new_vertices 2\nnum_new_vertices 3\n",
                 "",
                 kZero,
                 kZero,
                 {0, 1},
                 {0, 1}},
        ReadCase{"missingValuesReadZero",
                 "ibody_row 2 7\nnum_old_vertices\n",
                 "",
                 {0, 0, 0, 0, 0, 0, 7, 0, 0},
                 kZero,
                 {},
                 {}},
        ReadCase{"hostileNumbers",
                 "ibody_row 1 nan inf 1e308\nibodyinv_row 99999999999999999999 -0 1x 2\n",
                 "",
                 {0, 0, 0, 0, 0, 1, 0, 0, 0},
                 {0, 0, 0, 0, 0, 0, 0, 1, 2},
                 {},
                 {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ParamsTest, LargestCountIsAccepted) {
    const RigidBodyParameters* r = Load("num_old_vertices 65536\nnum_new_vertices 65536\n"
                                        "map_old_vertices_to_new 65535 7\n");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->num_old_vertices, 65536u);
    EXPECT_EQ(r->map_old_to_new[65535], 7u);
    EXPECT_EQ(r->map_new_to_old[65535], 65535u);
}

TEST_F(ParamsTest, LongNameCutAt255Characters) {
    const std::string name(300, 'n');
    const RigidBodyParameters* r = Load("mesh_filename " + name + "\n");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(std::string(r->szMeshFilename), name.substr(0, 255));
}

TEST_F(ParamsTest, MapsAreCountedByTheAllocationTracker) {
    g_bTrackAllocations = true;
    g_Debug.ClearAllocations();
    ASSERT_NE(Load("num_old_vertices 3\nnum_new_vertices 3\nnum_old_vertices 5\n"), nullptr);
    EXPECT_EQ(g_Debug.GetAllocationCount("map_old_to_new"), 1u);
    EXPECT_EQ(g_Debug.GetAllocationCount("map_new_to_old"), 1u);
    mgr_->Destroy();
    EXPECT_EQ(g_Debug.GetAllocationCount("map_old_to_new"), 0u);
    EXPECT_EQ(g_Debug.GetAllocationCount("map_new_to_old"), 0u);
    EXPECT_EQ(mgr_->NumRecords(), 0u);
    g_bTrackAllocations = false;
}

// ---- File and record names -------------------------------------------------------------

struct NameCase {
    const char* name;
    const char* mesh;
    const char* file;
};

class ParamsFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ParamsFileNameTest, MapsTheMeshName) {
    char path[RigidBodyParameters::PATH_LEN];
    ASSERT_TRUE(ERigidBodyParametersMgr::FileNameFor(GetParam().mesh, path));
    EXPECT_EQ(std::string(path), std::string("!opt\\rigid_body_physics_parameters\\") + GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParamsFileNameTest,
    ::testing::Values(
        NameCase{"prefab", "prefabs\\special\\rigidbody_box.x", "prefabs_special_rigidbody_box.txt"},
        NameCase{"severalFullStopsCutAtTheFirst", "models\\crate.v2.old.x", "models_crate.txt"},
        NameCase{"noFullStopKeepsTheWholeName", "models\\crate_without_ext", "models_crate_without_ext.txt"},
        NameCase{"leadingFullStop", ".x", ".txt"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParamsFileName, TooLongForThePathIsRefused) {
    char path[RigidBodyParameters::PATH_LEN];
    EXPECT_FALSE(ERigidBodyParametersMgr::FileNameFor(std::string(600, 'a').c_str(), path));
    EXPECT_STREQ(path, "");
    EXPECT_FALSE(ERigidBodyParametersMgr::FileNameFor(nullptr, path));
}

TEST_F(ParamsTest, NamesDifferingInCaseShareARecord) {
    RigidBodyParameters* first = nullptr;
    RigidBodyParameters* second = nullptr;
    ASSERT_TRUE(mgr_->FindParameters(kBox, &first));
    ASSERT_TRUE(mgr_->FindParameters("PREFABS\\Special\\RigidBody_Box.X", &second));
    EXPECT_EQ(first, second);
    EXPECT_EQ(mgr_->NumRecords(), 1u);
    EXPECT_TRUE(fs::exists(dir_ / kFolder / "prefabs_special_rigidbody_box.txt"));
}

TEST_F(ParamsTest, TableOf200Files) {
    for (int i = 0; i < 201; ++i)
        Write(kFolder / ("f" + std::to_string(1000 + i) + ".txt"),
              "mesh_filename m" + std::to_string(i) + ".x\n");
    MarkConsole();
    EXPECT_EQ(mgr_->Init(), 200u);
    EXPECT_EQ(mgr_->NumRecords(), 200u);
    EXPECT_TRUE(Printed("ERROR in RigidBodyParametersMgr: Init(): MAX_FILES_WITH_PARAMETERS"));
    // Listed by name: the last file is the one left out.
    EXPECT_STREQ(mgr_->Record(199).szMeshFilename, "m199.x");
    EXPECT_FALSE(mgr_->LoadFile("!opt\\rigid_body_physics_parameters\\f1200.txt"));
    EXPECT_TRUE(Printed("ERROR in RigidBodyParametersMgr: LoadFile(): MAX_FILES_WITH_PARAMETERS"));
    EXPECT_EQ(mgr_->NumRecords(), 200u);
}

TEST_F(ParamsTest, Exactly200FilesLoadWithoutMessage) {
    for (int i = 0; i < 200; ++i)
        Write(kFolder / ("f" + std::to_string(1000 + i) + ".txt"), "mesh_filename m.x\n");
    MarkConsole();
    EXPECT_EQ(mgr_->Init(), 200u);
    EXPECT_FALSE(Printed("MAX_FILES_WITH_PARAMETERS"));
}

TEST_F(ParamsTest, InitCreatesTheMissingFolder) {
    EXPECT_EQ(mgr_->Init(), 0u);
    EXPECT_TRUE(fs::is_directory(dir_ / kFolder));
    EXPECT_EQ(mgr_->Init(), 0u);
}

TEST_F(ParamsTest, UnreadableFileIsReportedAndTheOthersLoad) {
    Write(kFolder / "a.txt", "mesh_filename a.x\n");
    Write(kFolder / "c.txt", "mesh_filename c.x\n");
    fs::create_symlink(dir_ / "nowhere.txt", dir_ / kFolder / "b.txt");
    fs::create_directories(dir_ / kFolder / "d_folder");
    MarkConsole();
    EXPECT_EQ(mgr_->Init(), 2u);
    EXPECT_TRUE(Printed("Problem with Inertia Tensor file: !opt\\rigid_body_physics_parameters\\b.txt"));
    EXPECT_FALSE(Printed("d_folder"));
    EXPECT_STREQ(mgr_->Record(0).szMeshFilename, "a.x");
    EXPECT_STREQ(mgr_->Record(1).szMeshFilename, "c.x");
}

TEST_F(ParamsTest, APathIsLoadedOnce) {
    // Two meshes whose names map to one file: the second one's lookups write
    // the file with its own name each time, but the path is loaded already
    // and its record keeps the first name, so they fail without adding records.
    fs::copy_file(dir_ / "models" / "box.x", dir_ / "models" / "box.old.x");
    ASSERT_TRUE(mgr_->FindParameters("models\\box.x", nullptr));
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(mgr_->FindParameters("models\\box.old.x", nullptr));
    EXPECT_EQ(mgr_->NumRecords(), 1u);
    EXPECT_STREQ(mgr_->Record(0).szMeshFilename, "models\\box.x");
    EXPECT_NE(Read(kFolder / "models_box.txt").find("mesh_filename models\\box.old.x\n"), std::string::npos);
    Write(kFolder / "x.txt", "mesh_filename x.x\n");
    EXPECT_TRUE(mgr_->LoadFile("!opt\\rigid_body_physics_parameters\\x.txt"));
    EXPECT_TRUE(mgr_->LoadFile("!OPT\\rigid_body_physics_parameters\\X.TXT"));
    EXPECT_EQ(mgr_->NumRecords(), 2u);
}

TEST_F(ParamsTest, MeshThatCannotBeCreated) {
    MarkConsole();
    RigidBodyParameters* r = reinterpret_cast<RigidBodyParameters*>(this);
    EXPECT_FALSE(mgr_->FindParameters("models\\missing.x", &r));
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(mgr_->NumRecords(), 0u);
    EXPECT_FALSE(fs::exists(dir_ / kFolder / "models_missing.txt"));
    EXPECT_FALSE(mgr_->FindParameters(nullptr, &r));
    double I[9] = {1};
    EXPECT_FALSE(mgr_->GetInertiaTensor("models\\missing.x", I, I));
    EXPECT_EQ(I[0], 1.0);
    // Tried once a world, however often it is looked up.
    EXPECT_EQ(CountPrinted("ERROR in ComputeAndSaveInertiaTensor(): mesh creation failed: models\\missing.x"),
              1);
}

TEST_F(ParamsTest, FileThatCannotBeWrittenIsSilent) {
    ASSERT_EQ(mgr_->Init(), 0u);
    // A directory where the file should be.
    fs::create_directories(dir_ / kFolder / "prefabs_special_rigidbody_box.txt");
    MarkConsole();
    EXPECT_FALSE(mgr_->FindParameters(kBox, nullptr));
    EXPECT_FALSE(Printed("ComputeAndSaveInertiaTensor"));
    EXPECT_EQ(mgr_->NumRecords(), 0u);
}

// A mesh is loaded and sampled once a world, whatever became of its file: the
// lookups of a body (the hull, the tensor, a stale file's recomputing) do not
// load it again when its file cannot be written. The next world tries again.
// Each load of the mesh is a step of the loading bar.
TEST_F(ParamsTest, AMeshIsLoadedAndSampledOnceAWorld) {
    ASSERT_EQ(mgr_->Init(), 0u);
    uint32_t steps = g_Console.StepsDone();
    // Steps taken since the last look, which are then taken as seen.
    const auto Stepped = [&steps] {
        const uint32_t before = steps;
        steps = g_Console.StepsDone();
        return steps > before;
    };
    ASSERT_TRUE(mgr_->FindParameters(kSphere, nullptr));
    EXPECT_TRUE(Stepped());
    ASSERT_TRUE(mgr_->GetInertiaTensor(kSphere, nullptr, nullptr));
    EXPECT_FALSE(Stepped()) << "a file written and read back";

    fs::create_directories(dir_ / kFolder / "prefabs_special_rigidbody_box.txt");
    EXPECT_FALSE(mgr_->FindParameters(kBox, nullptr));
    EXPECT_TRUE(Stepped());
    EXPECT_FALSE(mgr_->GetInertiaTensor(kBox, nullptr, nullptr));
    EXPECT_FALSE(mgr_->FindParameters(kBox, nullptr));
    EXPECT_FALSE(Stepped()) << "a file that cannot be written";

    mgr_->Destroy();
    ASSERT_EQ(mgr_->Init(), 1u);
    EXPECT_FALSE(mgr_->FindParameters(kBox, nullptr));
    EXPECT_TRUE(Stepped()) << "the next world";
}

// ---- Tensors and vertex maps ----------------------------------------------------------------

struct TensorCase {
    const char* name;
    const char* mesh;
    Matrix3 analytic;
};

class ParamsTensorTest : public ParamsTest, public ::testing::WithParamInterface<TensorCase> {};

// The sampled tensor lies within 3% of the analytic one: every entry within
// 3% of the largest diagonal entry. The inverse is the inverse.
TEST_P(ParamsTensorTest, SampledTensorMatchesTheAnalyticOne) {
    const TensorCase& c = GetParam();
    double I[9], inverse[9];
    ASSERT_TRUE(mgr_->GetInertiaTensor(c.mesh, I, inverse));
    const double largest = std::max({c.analytic[0], c.analytic[4], c.analytic[8]});
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(I[i], c.analytic[i], 0.03 * largest) << "entry " << i;
    EXPECT_EQ(I[1], I[3]);
    EXPECT_EQ(I[2], I[6]);
    EXPECT_EQ(I[5], I[7]);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double product = 0;
            for (int k = 0; k < 3; ++k)
                product += I[i * 3 + k] * inverse[k * 3 + j];
            EXPECT_NEAR(product, i == j ? 1.0 : 0.0, 1e-9) << i << "," << j;
        }
}

// Sampling face by face gives bit for bit what asking every sample point
// whether it lies inside gives (the grid of 41 or 42 points per axis, each
// coordinate grown by adding its step, summed x outer, z inner).
TEST_P(ParamsTensorTest, FaceBySampleEqualsPointByPointBitForBit) {
    ObjectRecord* h = MakeAtOrigin(GetParam().mesh);
    ASSERT_NE(h, nullptr);
    const CollisionMeshEntry* entry = g_CollisionMgr.GetEntry(h);
    ASSERT_NE(entry, nullptr);
    double sum[9] = {};
    uint64_t count = 0;
    double lo[3], step[3];
    int samples[3];
    const double min[3] = {entry->vWorldMin.x, entry->vWorldMin.y, entry->vWorldMin.z};
    const double max[3] = {entry->vWorldMax.x, entry->vWorldMax.y, entry->vWorldMax.z};
    for (int a = 0; a < 3; ++a) {
        lo[a] = min[a] - 0.1;
        const double size = max[a] + 0.1 - lo[a];
        step[a] = size / 40.0;
        samples[a] = int(size / step[a]) + 2;
    }
    double p[3];
    p[0] = lo[0];
    for (int i = 0; i < samples[0]; ++i, p[0] += step[0]) {
        p[1] = lo[1];
        for (int j = 0; j < samples[1]; ++j, p[1] += step[1]) {
            p[2] = lo[2];
            for (int k = 0; k < samples[2]; ++k, p[2] += step[2]) {
                if (!ERigidBodyParametersMgr::IsPointInsideMesh(p, *entry)) continue;
                ++count;
                sum[0] += p[1] * p[1] + p[2] * p[2];
                sum[4] += p[0] * p[0] + p[2] * p[2];
                sum[8] += p[0] * p[0] + p[1] * p[1];
                sum[1] -= p[0] * p[1];
                sum[2] -= p[0] * p[2];
                sum[5] -= p[1] * p[2];
            }
        }
    }
    ASSERT_GT(count, 0u);
    sum[3] = sum[1];
    sum[6] = sum[2];
    sum[7] = sum[5];
    double I[9];
    ERigidBodyParametersMgr::ComputeInertiaTensor(h, I);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(I[i], sum[i] / double(count)) << i;
}

// Unit mass: a box of sides 1; a cylinder of radius 0.5 and height 1 along y;
// a sphere of radius 0.5; the L of two boxes (4000 and 3000 units of volume)
// about the origin, with its product of inertia in x and y.
const double kCylinderSide = (3 * 0.25 + 1.0) / 12;
INSTANTIATE_TEST_SUITE_P(
    Prefabs, ParamsTensorTest,
    ::testing::Values(
        TensorCase{"box", kBox, {1.0 / 6, 0, 0, 0, 1.0 / 6, 0, 0, 0, 1.0 / 6}},
        TensorCase{"cylinder", kCylinder, {kCylinderSide, 0, 0, 0, 0.125, 0, 0, 0, kCylinderSide}},
        TensorCase{"sphere", kSphere, {0.1, 0, 0, 0, 0.1, 0, 0, 0, 0.1}},
        TensorCase{"lProp",
                   kLProp,
                   {(4 * (100.0 / 3 + 100.0 / 12) + 3 * (700 + 100.0 / 12)) / 7, -3 * 375.0 / 7, 0,
                    -3 * 375.0 / 7, (4 * (1600.0 / 12 + 100.0 / 12) + 3 * (700.0 / 3 + 100.0 / 12)) / 7, 0, 0,
                    0, (4 * (1600.0 / 12 + 100.0 / 3) + 3 * (700.0 / 3 + 700)) / 7}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ParamsTest, FlatMeshGetsZeroTensors) {
    RigidBodyParameters* r = nullptr;
    ASSERT_TRUE(mgr_->FindParameters("models\\plane.x", &r));
    EXPECT_EQ(Matrix3(r->Ibody, r->Ibody + 9), kZero);
    EXPECT_EQ(Matrix3(r->Ibodyinv, r->Ibodyinv + 9), kZero);
    EXPECT_EQ(r->num_old_vertices, 4u);
}

// The maps of the welded vertices against the collision copy's own vertices:
// the new vertices are the first old vertex at each distinct position, in
// order, and every old vertex goes to the new one at its position.
TEST_F(ParamsTest, CoincidentVerticesCollapse) {
    RigidBodyParameters* r = nullptr;
    ASSERT_TRUE(mgr_->FindParameters(kBox, &r));
    ObjectRecord* h = MakeAtOrigin(kBox);
    ASSERT_NE(h, nullptr);
    const CollisionMeshEntry* e = g_CollisionMgr.GetEntry(h);
    ASSERT_NE(e, nullptr);
    std::vector<uint32_t> firsts;
    std::vector<uint32_t> oldToNew;
    for (uint32_t i = 0; i < e->dwNumVertices; ++i) {
        const auto same = [&](uint32_t j) { return e->CM_vVerticesLocal[j] == e->CM_vVerticesLocal[i]; };
        const auto it = std::find_if(firsts.begin(), firsts.end(), same);
        oldToNew.push_back(uint32_t(it - firsts.begin()));
        if (it == firsts.end()) firsts.push_back(i);
    }
    // The loaded box keeps a vertex per corner and side (its welded copy).
    EXPECT_EQ(r->num_old_vertices, e->dwNumVertices);
    EXPECT_EQ(r->num_old_vertices, 24u);
    EXPECT_EQ(r->num_new_vertices, 8u);
    EXPECT_EQ(Map(r->map_new_to_old, r->num_new_vertices), firsts);
    EXPECT_EQ(Map(r->map_old_to_new, r->num_old_vertices), oldToNew);
}

TEST_F(ParamsTest, TwoVerticesAtOnePosition) {
    // Two triangles of two materials sharing one corner: each material's
    // range has its own copy of it, five distinct positions of six.
    coltest::WriteMesh(dir_ / "models" / "pair.x",
                       {{{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}}, {{{1, 0, 0}, {2, 0, 1}, {2, 0, 5}}}});
    RigidBodyParameters* r = nullptr;
    ASSERT_TRUE(mgr_->FindParameters("models\\pair.x", &r));
    EXPECT_EQ(Map(r->map_old_to_new, r->num_old_vertices), (std::vector<uint32_t>{0, 1, 2, 2, 3, 4}));
    EXPECT_EQ(Map(r->map_new_to_old, r->num_new_vertices), (std::vector<uint32_t>{0, 1, 2, 4, 5}));
}

// ---- Matrix helpers ----------------------------------------------------------------------

struct InverseCase {
    const char* name;
    Matrix3 m;
    Matrix3 inverse; // empty: singular
};

class InvertMatrix3Test : public ::testing::TestWithParam<InverseCase> {};

TEST_P(InvertMatrix3Test, HandComputedInverse) {
    const InverseCase& c = GetParam();
    double out[9];
    std::fill(out, out + 9, 42.0);
    const bool invertible = InvertMatrix3(c.m.data(), out);
    EXPECT_EQ(invertible, !c.inverse.empty());
    const Matrix3 expected = c.inverse.empty() ? kZero : c.inverse;
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(out[i], expected[i], 1e-12) << "entry " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InvertMatrix3Test,
    ::testing::Values(
        InverseCase{"diagonal", {2, 0, 0, 0, 4, 0, 0, 0, 8}, {0.5, 0, 0, 0, 0.25, 0, 0, 0, 0.125}},
        InverseCase{"shear", {1, 2, 0, 0, 1, 0, 0, 0, 1}, {1, -2, 0, 0, 1, 0, 0, 0, 1}},
        InverseCase{"swap", {0, 1, 0, 1, 0, 0, 0, 0, 2}, {0, 1, 0, 1, 0, 0, 0, 0, 0.5}},
        InverseCase{"general", {1, 2, 3, 0, 1, 4, 5, 6, 0}, {-24, 18, 5, 20, -15, -4, -5, 4, 1}},
        InverseCase{
            "tensorLike", {2, -1, 0, -1, 2, -1, 0, -1, 2}, {0.75, 0.5, 0.25, 0.5, 1, 0.5, 0.25, 0.5, 0.75}},
        InverseCase{"singular", {1, 2, 3, 2, 4, 6, 1, 1, 1}, {}}, InverseCase{"zero", kZero, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Matrix3Helpers, DeterminantAndCofactors) {
    const double m[9] = {1, 2, 3, 0, 1, 4, 5, 6, 0};
    EXPECT_DOUBLE_EQ(Determinant3(m), 1.0);
    // Minor without row 0 and column 1: (0 4 / 5 0) = -20, negated.
    EXPECT_DOUBLE_EQ(Cofactor3(m, 0, 1), 20.0);
    EXPECT_DOUBLE_EQ(Cofactor3(m, 2, 2), 1.0);
    EXPECT_DOUBLE_EQ(Cofactor3(m, 1, 0), 18.0);
}

// ---- Files through the engine ----------------------------------------------------------------

// A computed file read back gives the same record; CR LF line ends read the
// same.
TEST_F(ParamsTest, ComputedFileReadsBack) {
    RigidBodyParameters* computed = nullptr;
    ASSERT_TRUE(mgr_->FindParameters(kCylinder, &computed));
    // The record was read from the file; compute the tensor again in memory.
    ObjectRecord* h = MakeAtOrigin(kCylinder);
    double I[9], inverse[9];
    ERigidBodyParametersMgr::ComputeInertiaTensor(h, I);
    InvertMatrix3(I, inverse);
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(computed->Ibody[i], I[i], 1e-12);
        EXPECT_NEAR(computed->Ibodyinv[i], inverse[i], 1e-11);
    }
    EXPECT_STREQ(computed->szMeshFilename, kCylinder);

    std::string text = Read(kFolder / "prefabs_special_rigidbody_cylinder.txt");
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const RigidBodyParameters* fromCrlf = Load(crlf, "crlf.txt");
    ASSERT_NE(fromCrlf, nullptr);
    EXPECT_TRUE(SameRecord(*fromCrlf, *computed));
}

// A file cut short while it was written (a kill, a full disc) at any byte:
// refused whole with a line, or, cut between whole lines before its maps,
// read as far as it goes; never a record whose maps leave their counts.
TEST_F(ParamsTest, FileCutAtEveryByteIsRefusedOrKeepsItsBounds) {
    RigidBodyParameters* whole = nullptr;
    ASSERT_TRUE(mgr_->FindParameters(kLProp, &whole));
    const std::string text = Read(kFolder / "models_l_prop.txt");
    ASSERT_GT(whole->num_old_vertices, whole->num_new_vertices); // welded: the maps are no identity
    const std::vector<uint32_t> oldToNew = Map(whole->map_old_to_new, whole->num_old_vertices);
    int refused = 0;
    for (size_t cut = 0; cut < text.size(); ++cut) {
        ERigidBodyParametersMgr cutMgr;
        Write(kFolder / "cut.txt", text.substr(0, cut));
        MarkConsole();
        if (!cutMgr.LoadFile("!opt\\rigid_body_physics_parameters\\cut.txt")) {
            EXPECT_TRUE(Printed("cut.txt: ")) << cut;
            ++refused;
            continue;
        }
        const RigidBodyParameters& r = cutMgr.Record(0);
        // Accepted: whole lines only, and the maps (when it has them) are the whole file's.
        EXPECT_TRUE(cut == 0 || text[cut - 1] == '\n') << cut;
        EXPECT_TRUE(paramsfuzz::IsSound(r)) << cut;
        if (r.map_old_to_new && r.num_new_vertices > 0) {
            EXPECT_EQ(Map(r.map_old_to_new, r.num_old_vertices), oldToNew) << cut;
        }
    }
    EXPECT_GT(refused, int(text.size()) / 2);
}

// Tensor values beyond any mesh's (a 400-digit number reads as the largest
// double) are logged and read as 0.
TEST_F(ParamsTest, TensorValuesOutOfRangeAreLoggedAndReadAsZero) {
    MarkConsole();
    const RigidBodyParameters* r = Load("ibody_row 0 " + std::string(400, '9') +
                                        " 2 -1e12\nibodyinv_row 1 -" + std::string(20, '9') + " 3 4\n");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(Matrix3(r->Ibody, r->Ibody + 9), (Matrix3{0, 2, -1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Matrix3(r->Ibodyinv, r->Ibodyinv + 9), (Matrix3{0, 0, 0, 0, 3, 4, 0, 0, 0}));
    EXPECT_TRUE(Printed("case.txt: ibody_row 0 value"));
    EXPECT_TRUE(Printed("case.txt: ibodyinv_row 1 value"));
}

TEST_F(ParamsTest, FileLayout) {
    coltest::WriteMesh(dir_ / "models" / "pair.x",
                       {{{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}}, {{{1, 0, 0}, {2, 0, 1}, {2, 0, 5}}}});
    mgr_->ComputeAndSaveInertiaTensor("models\\pair.x");
    // A flat mesh: zero tensors, the maps of the shared corner.
    EXPECT_EQ(
        Read(kFolder / "models_pair.txt"),
        "mesh_filename models\\pair.x\n \n"
        "ibody_row 0 0.000000000000 0.000000000000 0.000000000000\n"
        "ibody_row 1 0.000000000000 0.000000000000 0.000000000000\n"
        "ibody_row 2 0.000000000000 0.000000000000 0.000000000000\n \n"
        "ibodyinv_row 0 0.000000000000 0.000000000000 0.000000000000\n"
        "ibodyinv_row 1 0.000000000000 0.000000000000 0.000000000000\n"
        "ibodyinv_row 2 0.000000000000 0.000000000000 0.000000000000\n \n"
        "num_old_vertices 6\nnum_new_vertices 5\n \n"
        "map_new_vertices_to_old 0 0\nmap_new_vertices_to_old 1 1\nmap_new_vertices_to_old 2 2\n"
        "map_new_vertices_to_old 3 4\nmap_new_vertices_to_old 4 5\n \n"
        "map_old_vertices_to_new 0 0\nmap_old_vertices_to_new 1 1\nmap_old_vertices_to_new 2 2\n"
        "map_old_vertices_to_new 3 2\nmap_old_vertices_to_new 4 3\nmap_old_vertices_to_new 5 4\n \n \n");
    // The temporary object is gone.
    EXPECT_EQ(g_Engine.NumObjects(), 0);
}

// A process running in a locale whose decimal mark is a comma writes and
// reads the same files. The locale is compiled from the system's sources
// (package "locales") into the test's own folder.
class CommaLocale {
  public:
    explicit CommaLocale(const fs::path& dir) {
        const fs::path target = dir / "de_DE.UTF-8";
        const std::string command = "localedef -i de_DE -f UTF-8 '" + target.string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0 && !fs::exists(target)) return;
        setenv("LOCPATH", dir.c_str(), 1);
        ok_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr &&
              std::strcmp(std::localeconv()->decimal_point, ",") == 0;
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
    }
    bool ok() const { return ok_; }

  private:
    bool ok_ = false;
};

TEST_F(ParamsTest, CommaDecimalLocaleWritesAndReadsTheSame) {
    RigidBodyParameters* inC = nullptr;
    ASSERT_TRUE(mgr_->FindParameters(kSphere, &inC));
    const std::string textInC = Read(kFolder / "prefabs_special_rigidbody_sphere.txt");
    fs::remove(dir_ / kFolder / "prefabs_special_rigidbody_sphere.txt");

    auto other = std::make_unique<ERigidBodyParametersMgr>();
    {
        CommaLocale locale(dir_);
        ASSERT_TRUE(locale.ok()) << "no comma-decimal locale (localedef and the package locales)";
        char probe[32];
        std::snprintf(probe, sizeof probe, "%.1f", 0.5);
        ASSERT_STREQ(probe, "0,5");
        RigidBodyParameters* inComma = nullptr;
        ASSERT_TRUE(other->FindParameters(kSphere, &inComma));
        EXPECT_TRUE(SameRecord(*inComma, *inC));
    }
    EXPECT_EQ(Read(kFolder / "prefabs_special_rigidbody_sphere.txt"), textInC);
    EXPECT_EQ(textInC.find(','), std::string::npos);
}

// The three prefabs computed into a scratch data folder through the engine;
// a fresh manager's Init loads them and computes nothing: their meshes are
// gone, so any computation would fail and say so.
TEST_F(ParamsTest, InitLoadsComputedFilesAndComputesNothing) {
    ASSERT_EQ(mgr_->Init(), 0u);
    for (const char* mesh : {kBox, kCylinder, kSphere})
        ASSERT_TRUE(mgr_->FindParameters(mesh, nullptr)) << mesh;
    mgr_->Destroy();
    g_MeshMgr.ReleaseAll();
    fs::remove_all(dir_ / "prefabs");

    auto fresh = std::make_unique<ERigidBodyParametersMgr>();
    MarkConsole();
    EXPECT_EQ(fresh->Init(), 3u);
    for (const char* mesh : {kBox, kCylinder, kSphere}) {
        double I[9] = {};
        EXPECT_TRUE(fresh->GetInertiaTensor(mesh, I, nullptr)) << mesh;
        EXPECT_GT(I[0], 0.09) << mesh;
    }
    EXPECT_EQ(fresh->NumRecords(), 3u);
    EXPECT_FALSE(Printed("ComputeAndSaveInertiaTensor"));
}

} // namespace
