// The demo data run in this process, frame by frame on a steady clock: a
// copy of data/ as the start directory, the engine initialised with focus,
// frames of the engine and the game, console typing and the log.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "actors/player/Player.h"
#include "app/Console.h"
#include "app/FocusMgr.h"
#include "app/Options.h"
#include "app/Timer.h"
#include "game/MainGame.h"
#include "platform/os/Os.h"
#include "render/MeshMgr.h"
#include "render/MeshSocketsMgr.h"
#include "tests/integration/StepClock.h"
#include "world/Engine.h"

class InProcessWorld : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        saved_ = os::StartDirectory();
        dir_ = fs::temp_directory_path() / ("zt_in_process_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", dir_, fs::copy_options::recursive);
        fs::remove(dir_ / "!console.txt");
        os::SetStartDirectory(dir_.string());

        stepclock::Install();
        g_Engine.m_fLastTime = DXUtilTimer(TIMER_GETABSOLUTETIME);
        g_Engine.m_bInitialized = 1;
        g_FocusMgr.m_bOnFocus = true;
        Debug = 1;
        // The demo world has no start point: the player flies where the
        // tests put him.
        mucha = true;
        g_Player.m_vPosition = {};
        ASSERT_EQ(g_MeshSocketsMgr.LoadAll(), 4u); // the demo data's socket files
    }
    void TearDown() override {
        g_Engine.StartWorld("*");
        g_Engine.m_bInitialized = 0;
        g_FocusMgr.m_bOnFocus = false;
        DXUtilTimerSetClock(nullptr);
        Debug = 0;
        mucha = false;
        g_MeshMgr.ReleaseAll();
        os::SetStartDirectory(saved_);
        std::filesystem::remove_all(dir_);
    }

    // One pass of the main loop's work: the engine frame and the game's.
    static void RunFrames(int n) {
        for (int i = 0; i < n; ++i) {
            stepclock::StepFrame();
            ASSERT_TRUE(g_Engine.EngineFrameTiming());
            ASSERT_TRUE(g_Engine.EngineFrame());
            g_MainGame.Update();
        }
    }
    static void Type(const char* text) {
        g_Console.Open();
        for (const char* c = text; *c; ++c)
            g_Console.OnKey(*c == ' ' ? 32u : uint32_t(*c >= 'a' && *c <= 'z' ? *c - 'a' + 'A' : *c));
        g_Console.OnKey(13); // Enter
        g_Console.Close();
    }
    // A data file of the test's own beside the demo data.
    void WriteData(const char* name, const std::string& text) const {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    std::string Log() const {
        std::ifstream in(dir_ / "!console.txt", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::filesystem::path dir_;
    std::string saved_;
};

