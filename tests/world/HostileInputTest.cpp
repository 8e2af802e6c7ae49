// Hostile input through every text reader: numbers that are not numbers or
// far out of range read as the one number reader reads them (finite, from
// their leading digits), and a directory where a file should be ends each
// reader at once, names the file in the log and counts as a missing file.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "WorldFixture.h"
#include "app/Console.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"
#include "render/MeshSocketsMgr.h"
#include "sound/RadioMgr.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/EngineObject.h"
#include "world/WorldMgr.h"

namespace {

namespace fs = std::filesystem;

const std::string kNines(60, '9');

class HostileNumberTest : public WorldTest, public ::testing::WithParamInterface<std::string> {
  protected:
    void Write(const std::string& name, const std::string& text) {
        fs::create_directories((dir_ / name).parent_path());
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    void TearDown() override {
        g_RadioMgr.Clear();
        g_BezierMgr.FreeAll();
        SkyLightPower = 1.0f;
        WorldTest::TearDown();
    }
};

TEST_P(HostileNumberTest, EveryTextReaderReadsItAsTheNumberReaderDoes) {
    const std::string& n = GetParam();
    const float expected = os::ReadFloat(n.c_str());
    ASSERT_TRUE(std::isfinite(expected));

    // zt.cfg and every file the console runs.
    Write("hostile.cfg", "SkyLightPower " + n + "\nHostileValue " + n + "\n");
    g_Console.ExecFile("hostile.cfg");
    EXPECT_EQ(SkyLightPower, expected);
    ASSERT_TRUE(g_Console.FindVariable("HostileValue"));
    EXPECT_EQ(g_Console.FindVariable("HostileValue")->fValue, expected);

    // A world file: positions, the scale (whose radius becomes an integer
    // range) and the camera's far distance.
    Write("worlds/h.w", "world_general_properties\n\tfarz " + n +
                            "\nmesh models\\box.x\n\tname hostile\n\txpos " + n + "\n\tscaling_axis " + n +
                            " " + n + " " + n + "\n");
    ASSERT_TRUE(g_WorldMgr.LoadWorld("worlds\\h.w"));
    ObjectRecord* h = g_Engine.FindObjectByName("hostile");
    ASSERT_TRUE(h);
    math::Vec3 position;
    GetObjectPosition(h, &position);
    EXPECT_EQ(position.x, expected);
    EXPECT_EQ(g_Camera.GetFarZ(), expected);

    // A radio definition.
    Write("r.txt", "radio r\ntrack t.wav\nrange " + n + "\nvolume " + n + "\n");
    ASSERT_TRUE(g_RadioMgr.LoadRadioFile("r.txt"));
    ASSERT_TRUE(g_RadioMgr.FirstRadio());
    EXPECT_EQ(g_RadioMgr.FirstRadio()->fRange[0], expected);
    EXPECT_EQ(g_RadioMgr.FirstRadio()->fVolume[0], expected);

    // A Bezier path file.
    Write("p.bzr",
          "bezier_node a\nnr 1\npos " + n + " 0 0\nvalues " + n + " 0 0 0 0\npause_pause_time " + n + "\n");
    ASSERT_TRUE(g_BezierMgr.LoadFile("p.bzr"));
    ASSERT_TRUE(g_BezierMgr.FindNode("a"));
    EXPECT_EQ(g_BezierMgr.FindNode("a")->vPosition.x, expected);
    EXPECT_EQ(g_BezierMgr.FindNode("a")->fValues[0], expected);

    // A mesh socket file and a three-number text.
    Write("sockets.txt", "mesh_filename models\\box.x\nsocket top " + n + " " + n + " " + n + "\n");
    EXPECT_TRUE(g_MeshSocketsMgr.LoadFile("sockets.txt"));
    float v[3] = {};
    ParseVector3((n + " " + n + " " + n).c_str(), v);
    EXPECT_EQ(v[0], expected);
    EXPECT_EQ(v[2], expected);
}

INSTANTIATE_TEST_SUITE_P(Numbers, HostileNumberTest,
                         ::testing::Values("nan", "-nan", "inf", "-inf", "1e30", "-1e-30", "0x7f", kNines,
                                           "-" + kNines, "99999999999", "0." + std::string(400, '0') + "1"));

// ---- A directory where a file should be ------------------------------------------------

class DirectoryAsFileTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        fs::create_directories(dir_ / "adir");
    }
    void TearDown() override {
        g_BezierMgr.FreeAll();
        g_RadioMgr.Clear();
        WorldTest::TearDown();
    }
};

TEST_F(DirectoryAsFileTest, EveryReaderEndsNamesTheFileAndGoesOnAsForAMissingOne) {
    struct Case {
        const char* what;
        std::function<bool()> read; // whether the reader took it as read
    } cases[] = {
        {"console file",
         [] {
             g_Console.ExecFile("adir");
             return false;
         }},
        {"world file", [] { return g_WorldMgr.LoadWorld("adir"); }},
        {"loading screen",
         [] {
             g_Console.BeginLoadingScreen("adir");
             return false;
         }},
        {"Bezier path file", [] { return g_BezierMgr.LoadFile("adir"); }},
        {"radio definition", [] { return g_RadioMgr.LoadRadioFile("adir"); }},
        {"mesh socket file", [] { return g_MeshSocketsMgr.LoadFile("adir"); }},
        {"respawner file",
         [] {
             g_EngineObject.LoadRespawnerData("adir");
             return false;
         }},
        {"copy", [] { return os::CopyFile("adir", "copy.txt", true); }},
    };
    for (const Case& c : cases) {
        MarkConsole();
        EXPECT_FALSE(c.read()) << c.what;
        if (std::string(c.what) != "copy" && std::string(c.what) != "respawner file") {
            EXPECT_TRUE(Printed("adir: cannot be read")) << c.what;
        }
    }
    EXPECT_EQ(g_WorldMgr.m_bLoadError, 1);
    // The error log names it too.
    std::ifstream log(dir_ / "!error.txt");
    const std::string text((std::istreambuf_iterator<char>(log)), {});
    EXPECT_NE(text.find("adir: cannot be read (Is a directory)"), std::string::npos) << text;
}

} // namespace
