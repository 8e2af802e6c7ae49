// World and Bezier path files larger than their readers take: refused or cut
// at the limit with a line naming the file, before the memory is taken.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/world/WorldFixture.h"
#include "world/BezierMgr.h"
#include "world/WorldMgr.h"

namespace fs = std::filesystem;

class HostileWorldFiles : public WorldTest {
  protected:
    void TearDown() override {
        g_BezierMgr.FreeAll();
        WorldTest::TearDown();
    }
};

// A sparse file (no disk space taken) just over the limit.
TEST_F(HostileWorldFiles, AWorldFileBeyondTheLimitIsRefused) {
    fs::create_directories(dir_ / "worlds");
    std::ofstream(dir_ / "worlds" / "huge.w") << "mesh models\\box.x\n";
    fs::resize_file(dir_ / "worlds" / "huge.w", uintmax_t(EWorldMgr::MAX_FILE_BYTES) + 1);
    MarkConsole();
    EXPECT_FALSE(g_WorldMgr.LoadWorld("worlds\\huge.w"));
    EXPECT_TRUE(g_WorldMgr.m_bLoadError);
    EXPECT_TRUE(
        PrintedLine("worlds\\huge.w: world file of 268435457 bytes, more than the 268435456 allowed"));
}

// Nodes beyond the limit are left out; those read link by number through
// the whole chain (each to the first node in the list with its next number).
TEST_F(HostileWorldFiles, APathFileBeyondTheNodeLimitIsCut) {
    constexpr uint32_t kNodes = BezierMgr::MAX_FILE_NODES + 3;
    std::ofstream out(dir_ / "many.bzr");
    for (uint32_t i = 0; i < kNodes; ++i)
        out << "bezier_node n" << i << "\nnr " << i << "\nnext_in_path_nr " << i + 1 << "\npos " << i
            << " 0 0\nksztalt1 " << i << " 0 0\nksztalt2 " << i + 1 << " 0 0\n";
    out.close();
    MarkConsole();
    ASSERT_TRUE(g_BezierMgr.LoadFile("many.bzr"));
    EXPECT_TRUE(PrintedLine("many.bzr: more than 16384 Bezier nodes, the rest of the file is ignored"));
    uint32_t count = 0;
    for (const BezierNode* n = g_BezierMgr.First(); n; n = n->pNext) {
        ++count;
        if (n->nr + 1 < BezierMgr::MAX_FILE_NODES) {
            ASSERT_NE(n->pNextInPath, nullptr) << n->szName;
            EXPECT_EQ(n->pNextInPath->nr, n->nr + 1);
        } else {
            EXPECT_EQ(n->pNextInPath, nullptr) << n->szName;
        }
    }
    EXPECT_EQ(count, BezierMgr::MAX_FILE_NODES);
    // Unit steps summed in floats far from the origin: within a percent.
    EXPECT_NEAR(g_BezierMgr.GetPathLength("n0"), double(BezierMgr::MAX_FILE_NODES - 1),
                0.01 * BezierMgr::MAX_FILE_NODES);
}
