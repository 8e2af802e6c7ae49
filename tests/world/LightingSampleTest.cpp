// The lighting sample of an object lit by an ambient probe (flag2
// 0x20000000): the five downward tests find its ground and queue a probe of
// it, with the centre hit's object, point and texture id, only when three
// hit heights (the centre's among them) agree within 16 units; when it is
// taken again (moved, re-probe asked, no valid sample); and what the
// object itself and other probed objects are to the tests.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "BehaviourFixture.h"
#include "render/AmbientProbe.h"
#include "render/EnvironmentSettings.h"
#include "render/Renderer.h"
#include "world/EngineObjectFlags.h"

namespace {

using math::Vec3;

constexpr float kNone = NAN; // no tile under that test

// A double-sided square tile of the given half size in the plane y = 0,
// textured with the given file.
void WriteTile(const std::filesystem::path& file, float h, const char* texture) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream f(file);
    f << "xof 0303txt 0032\nMesh m {\n 4;\n  " << -h << ";0;" << -h << ";, " << -h << ";0;" << h << ";, " << h
      << ";0;" << h << ";, " << h << ";0;" << -h
      << ";;\n 4;\n  3;0,1,2;, 3;0,2,3;, 3;0,2,1;, 3;0,3,2;;\n"
         " MeshMaterialList {\n  1;\n  4;\n  0,0,0,0;\n"
         "  Material {\n   1.0;1.0;1.0;1.0;;\n   8.0;\n   0.0;0.0;0.0;;\n   0.0;0.0;0.0;;\n"
         "   TextureFilename { \""
      << texture << "\"; }\n  }\n }\n}\n";
}

class LightingSampleTest : public BehaviourTest {
  protected:
    void SetUp() override {
        BehaviourTest::SetUp();
        g_MainGame.m_iLevelFrame = 220;
        WriteTile(dir_ / "models" / "tile.x", 6.0f, "textures\\\\probe_tile.tga");
        WriteTile(dir_ / "models" / "floor.x", 512.0f, "textures\\\\probe_ground.tga");
        g_AmbientProbe.Init(); // no device: only the queue
    }
    void TearDown() override {
        g_AmbientProbe.Init();
        BehaviourTest::TearDown();
        g_Renderer.ReleaseTextures();
    }

    static ObjectRecord* Solid(const char* file, const Vec3& at, uint32_t flags2 = 0) {
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", file);
        p.vPosition = at;
        p.dwFlags = objflags::kFlagVisible;
        p.dwFlags2 = flags2;
        ObjectRecord* h = g_Engine.AddObject(p);
        if (h) h->bWorldObject = 1; // as the world file's objects
        return h;
    }
    // A box lit by a probe that the per-object pass updates (it has an
    // action block).
    static ObjectRecord* Probed(const Vec3& at) {
        ObjectRecord* h = Solid("models\\box.x", at, objflags::kFlag2FixedColour);
        if (h) SetObjectAction(h, *NewAction());
        return h;
    }
    static uint32_t TextureIdOf(const char* name) {
        for (strtexture* t = g_Renderer.FirstTexture(); t; t = t->next)
            if (std::string(t->szName).find(name) != std::string::npos) return t->id;
        return 0;
    }
};

// The five test points: the centre, +x, -x, +z, -z, 16 units apart.
const Vec3 kOffsets[5] = {{0, 0, 0}, {16, 0, 0}, {-16, 0, 0}, {0, 0, 16}, {0, 0, -16}};

struct GroundCase {
    const char* name;
    float heights[5]; // a tile's top under each test point, or none
    bool queued;
};

class GroundVote : public LightingSampleTest, public ::testing::WithParamInterface<GroundCase> {};

TEST_P(GroundVote, QueuesTheCentreTileOnlyWhenThreeHeightsAgreeWithIt) {
    const GroundCase& c = GetParam();
    ObjectRecord* tiles[5] = {};
    for (int i = 0; i < 5; ++i)
        if (!std::isnan(c.heights[i])) {
            tiles[i] = Solid("models\\tile.x", kOffsets[i] + Vec3{0, c.heights[i], 0});
            ASSERT_TRUE(tiles[i]);
        }
    ObjectRecord* box = Probed({0, 100, 0});
    ASSERT_TRUE(box);
    Frame(0.02f);
    if (!c.queued) {
        EXPECT_EQ(g_AmbientProbe.QueueCount(), 0);
        EXPECT_EQ(box->bLightingSampled, 0) << "asked again at the next refresh";
        Frame(0.02f);
        EXPECT_EQ(g_AmbientProbe.QueueCount(), 0);
        return;
    }
    ASSERT_EQ(g_AmbientProbe.QueueCount(), 1);
    const AmbientProbeRequest& r = g_AmbientProbe.Request(0);
    EXPECT_EQ(r.hReceiver, box);
    EXPECT_EQ(r.hGround, tiles[0]);
    EXPECT_NEAR(r.vPoint.x, 0.0f, 1e-3f);
    EXPECT_NEAR(r.vPoint.y, c.heights[0], 1e-3f);
    EXPECT_NEAR(r.vPoint.z, 0.0f, 1e-3f);
    EXPECT_NE(r.dwTextureId, 0u);
    EXPECT_EQ(r.dwTextureId, TextureIdOf("probe_tile.tga"));
    EXPECT_EQ(box->bLightingSampled, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Grounds, GroundVote,
    ::testing::Values(GroundCase{"AllFiveLevel", {0, 0, 0, 0, 0}, true},
                      GroundCase{"OneSideOnAStep", {0, 40, 0, 0, 0}, true},
                      GroundCase{"SixteenAboveAndBelowStillAgree", {0, 16, -16, 17, -17}, true},
                      GroundCase{"SeventeenDoNot", {0, 17, -17, 17, -17}, false},
                      GroundCase{"ThreeTilesLevelTwoMissing", {0, kNone, 0, kNone, 0}, true},
                      GroundCase{"OnlyTwoAgree", {0, kNone, 0, kNone, kNone}, false},
                      GroundCase{"ANarrowPostUnderTheCentre", {60, 0, 0, 0, 0}, false},
                      GroundCase{"AGapUnderTheCentre", {kNone, 0, 0, 0, 0}, false},
                      GroundCase{"NothingUnderIt", {kNone, kNone, kNone, kNone, kNone}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// On a whole floor: the floor is queued with the hit point under the object
// and its texture id; the object's own box and another probed box between
// it and the floor are passed through.
TEST_F(LightingSampleTest, AnObjectOverAFloorQueuesTheFloor) {
    ObjectRecord* floor = Solid("models\\floor.x", {0, 0, 0});
    ObjectRecord* below = Probed({5, 20, -3}); // probed too: not a ground
    ObjectRecord* box = Probed({5, 90, -3});
    ASSERT_TRUE(floor && below && box);
    below->bLightingSampled = 1; // sampled already: only `box` asks
    below->vLightingSample = below->vPosition;
    Frame(0.02f);
    ASSERT_EQ(g_AmbientProbe.QueueCount(), 1);
    const AmbientProbeRequest& r = g_AmbientProbe.Request(0);
    EXPECT_EQ(r.hReceiver, box);
    EXPECT_EQ(r.hGround, floor);
    EXPECT_NEAR(r.vPoint.x, 5.0f, 1e-3f);
    EXPECT_NEAR(r.vPoint.y, 0.0f, 1e-3f);
    EXPECT_NEAR(r.vPoint.z, -3.0f, 1e-3f);
    EXPECT_EQ(r.dwTextureId, TextureIdOf("probe_ground.tga"));
    EXPECT_NE(r.dwTextureId, TextureIdOf("probe_tile.tga"));
}

// The sample is taken again when the object moved more than 32 units while
// its lighting timer passed 0.2 s, or when a re-probe is asked; not before
// level frame 220, and not while the world does not run.
TEST_F(LightingSampleTest, TheSampleIsTakenAgainOnlyWhenDue) {
    Solid("models\\floor.x", {0, 0, 0});
    ObjectRecord* box = Probed({0, 50, 0});
    ASSERT_TRUE(box);
    struct Step {
        const char* name;
        std::function<void()> change;
        float dt;
        int queued; // requests after the frame
    } steps[] = {
        {"first sample", [] {}, 0.02f, 1},
        {"moved 33 units, timer not past 0.2",
         [&] {
             SetObjectPosition(box, {33, 50, 0});
         },
         0.1f, 0},
        {"timer past 0.2", [] {}, 0.15f, 1},
        {"moved 30 units more",
         [&] {
             SetObjectPosition(box, {63, 50, 0});
         },
         0.3f, 0},
        {"re-probe asked", [&] { box->bAmbientReprobe = 1; }, 0.01f, 1},
        {"re-probe answered", [] {}, 0.01f, 0},
        {"level frame 219",
         [&] {
             g_MainGame.m_iLevelFrame = 219;
             box->bAmbientReprobe = 1;
         },
         0.01f, 0},
        {"world not running",
         [&] {
             g_MainGame.m_iLevelFrame = 220;
             g_Engine.m_bWorldRunning = 0;
         },
         0.01f, 0},
        {"running again", [&] { g_Engine.m_bWorldRunning = 1; }, 0.01f, 1},
    };
    for (const Step& s : steps) {
        g_AmbientProbe.Init();
        s.change();
        Frame(s.dt);
        EXPECT_EQ(g_AmbientProbe.QueueCount(), s.queued) << s.name;
        if (s.queued) {
            EXPECT_EQ(box->bAmbientReprobe, 0) << s.name;
        }
    }
}

// Before its first probe (the level's first 220 frames) the object is drawn
// with the world's ambient colour 0, set as its probed colour when it is
// first prepared, not with black.
TEST_F(LightingSampleTest, UntilItsFirstProbeTheObjectHoldsAmbientColourZero) {
    const uint32_t saved = g_EnvironmentSettings.GetAmbientColor(0);
    g_EnvironmentSettings.SetAmbientColor(0x336699, 0);
    g_MainGame.m_iLevelFrame = 100;
    ObjectRecord* box = Probed({0, 50, 0});
    ASSERT_TRUE(box);
    Frame(0.02f);
    g_EnvironmentSettings.SetAmbientColor(saved, 0);
    EXPECT_EQ(g_AmbientProbe.QueueCount(), 0);
    EXPECT_EQ(box->bAmbientProbed, 0);
    EXPECT_FLOAT_EQ(box->fProbedAmbient[0], float(0x33) / 255.0f);
    EXPECT_FLOAT_EQ(box->fProbedAmbient[1], float(0x66) / 255.0f);
    EXPECT_FLOAT_EQ(box->fProbedAmbient[2], float(0x99) / 255.0f);
}

} // namespace
