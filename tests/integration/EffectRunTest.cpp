// Runs the real game headless with a data copy whose fx folder holds its
// good effects and one that does not parse: the broken one is named on the
// console and left out, and the game runs on into its world.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/integration/GameProcess.h"

namespace fs = std::filesystem;

namespace {

TEST(EffectRun, ABrokenEffectIsReportedAndTheGameRunsOn) {
    const fs::path dir = gamerun::CopyDemoData("zt_effect_run_");
    ASSERT_TRUE(fs::exists(dir / "fx" / "ambient.glfx")) << "the demo data's good effects";
    std::ofstream(dir / "fx" / "broken.glfx") << "parameter float4 g_Color = {1, 0, 0};\n";
    std::ofstream(dir / "zt.cfg") << "screenwidth 320\r\nscreenheight 240\r\nDebug 1\r\nBackupConsole 0\r\n"
                                     "mucha 1\r\nrunworld worlds\\test.w\r\n";
    pid_t pid = gamerun::StartGame(dir, {{"SDL_VIDEODRIVER", "offscreen"}});
    const auto log = [&] { return gamerun::ReadFile(dir / "!console.txt"); };
    // The world starts after the effects were loaded.
    EXPECT_TRUE(gamerun::WaitWhileRunning(
        pid, [&] { return log().find("StartWorld worlds\\test.w") != std::string::npos; }, 120))
        << log();
    if (pid > 0) {
        kill(pid, SIGTERM);
        EXPECT_EQ(gamerun::WaitExit(pid, 120), 0);
    }
    const std::string text = log();
    const size_t line = text.find("effect broken (fx\\broken.fxc) create error D3DXERR_INVALIDDATA (2905)!\n");
    EXPECT_NE(line, std::string::npos) << text;
    EXPECT_NE(text.find("fx\\broken.glfx:1: 'g_Color' needs 4 values, 3 given", line), std::string::npos) << text;
    EXPECT_EQ(text.find("effect ambient"), std::string::npos) << "the good effect loads silently";
    EXPECT_NE(text.find("Tovan engine out, good bye!"), std::string::npos);
    fs::remove_all(dir);
}

} // namespace
