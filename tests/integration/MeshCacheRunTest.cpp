// The real game twice on one fresh copy of the demo data: the first run
// builds every mesh of the demo world and writes its optimised-mesh cache
// under !opt, the second reads only the cache (nothing is written again);
// neither logs a mesh failure.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "tests/integration/GameProcess.h"

namespace fs = std::filesystem;

namespace {

class MeshCacheRun : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = gamerun::CopyDemoData("zt_mesh_cache_");
        fs::remove_all(dir_ / "!opt");
        std::ofstream(dir_ / "zt.cfg") << "screenwidth 320\r\nscreenheight 240\r\nDebug 1\r\nBackupConsole "
                                          "0\r\nmucha 1\r\nrunworld worlds\\test.w\r\n";
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        fs::remove_all(dir_);
    }

    // Runs the game until its world has started and run a while, then ends it.
    void RunOnce() {
        fs::remove(dir_ / "!console.txt");
        pid_ = gamerun::StartGame(dir_, {{"SDL_VIDEODRIVER", "offscreen"}});
        ASSERT_TRUE(gamerun::WaitWhileRunning(
            pid_, [&] { return Log().find("StartWorld worlds\\test.w") != std::string::npos; }, 120,
            [&] { return Log(); }))
            << Log();
        kill(pid_, SIGTERM);
        EXPECT_EQ(gamerun::WaitExit(pid_, 120), 0);
        pid_ = -1;
    }

    std::string Log() const { return gamerun::ReadFile(dir_ / "!console.txt"); }

    // Every mesh cache file with its bytes (the physics folder beside them is
    // another cache).
    std::map<std::string, std::string> Cache() const {
        std::map<std::string, std::string> files;
        if (!fs::is_directory(dir_ / "!opt")) return files;
        for (const auto& e : fs::directory_iterator(dir_ / "!opt"))
            if (e.is_regular_file()) files[e.path().filename().string()] = gamerun::ReadFile(e.path());
        return files;
    }

    void ExpectNoMeshFailure(const std::string& log) {
        for (const char* failure :
             {"failed!", "MeshMgr returns INVALID code", "No mesh object returned!", "Reading mesh failed",
              "Failed to save", "D3DXLoadMeshFromX", "D3DXValidMesh"})
            EXPECT_EQ(log.find(failure), std::string::npos) << failure << "\n" << log;
        EXPECT_EQ(gamerun::ReadFile(dir_ / "!error.txt").find("Mesh"), std::string::npos);
    }

    fs::path dir_;
    pid_t pid_ = -1;
};

TEST_F(MeshCacheRun, TheFirstRunWritesTheCacheAndTheSecondReadsOnlyIt) {
    RunOnce();
    ExpectNoMeshFailure(Log());
    const std::map<std::string, std::string> first = Cache();
    // One file per distinct mesh of the demo world, each in the binary form.
    for (const char* name : {"models_box.xvx.x", "models_plane.xvx.x", "models_crate.xvx.x",
                             "prefabs_props_crate_offset.xvx.x", "prefabs_props_marker_nocenter.xvx.x"}) {
        ASSERT_TRUE(first.count(name)) << name;
        EXPECT_EQ(first.at(name).substr(0, 16), "xof 0303bin 0032") << name;
    }
    std::map<std::string, fs::file_time_type> written;
    for (const auto& e : fs::directory_iterator(dir_ / "!opt"))
        written[e.path().filename().string()] = fs::last_write_time(e.path());

    RunOnce();
    ExpectNoMeshFailure(Log());
    EXPECT_EQ(Cache(), first) << "the second run adds and changes nothing";
    for (const auto& e : fs::directory_iterator(dir_ / "!opt"))
        EXPECT_EQ(fs::last_write_time(e.path()), written[e.path().filename().string()]) << e.path();
}

} // namespace
