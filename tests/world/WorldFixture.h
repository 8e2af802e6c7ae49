// A world for object-table tests: a temporary data directory with a few .x
// models, an empty object table before and after each test, and helpers to
// create objects and to read what the console printed.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/Console.h"
#include "app/Options.h"
#include "app/Records.h"
#include "game/GameAI.h"
#include "game/MainGame.h"
#include "platform/os/Os.h"
#include "render/MeshMgr.h"
#include "tests/TestDir.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

class WorldTest : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        saved_ = os::StartDirectory();
        dir_ = FreshTestDir("zt_world_");
        fs::create_directories(dir_ / "models");
        fs::create_directories(dir_ / "chars");
        const fs::path source = fs::path(ZT_SOURCE_DIR) / "data" / "models";
        fs::copy_file(source / "box.x", dir_ / "models" / "box.x");
        fs::copy_file(source / "plane.x", dir_ / "models" / "plane.x");
        fs::copy_file(source / "box.x", dir_ / "chars" / "hero.x");
        os::SetStartDirectory(dir_.string());
        Reset();
    }

    void TearDown() override {
        Reset();
        g_MeshMgr.ReleaseAll();
        os::SetStartDirectory(saved_);
        std::filesystem::remove_all(dir_);
    }

    static void Reset() {
        g_Engine.DeleteWorldObjects(true);
        g_Engine.m_bWorldLoaded = 0;
        g_Engine.m_hLookFrom = g_Engine.m_hLookAt = nullptr;
        g_MainGame.m_iLevelFrame = 0;
        g_MainGame.EndSequenceOff();
        g_GameAI.ResetVariables();
        Debug = 0;
        DrawSprites = true;
    }

    static const char* FileOf(uint32_t type) {
        switch (type) {
        case OT_MESH:
            return "models\\box.x";
        case OT_SKINMESH:
            return "chars\\hero.x";
        case OT_SPRITE:
            return "textures\\flare.tga";
        default:
            return "";
        }
    }

    static ObjectRecord* Make(uint32_t type, const math::Vec3& position = {}, const char* name = nullptr) {
        AddObjectParams p;
        p.dwType = type;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", FileOf(type));
        p.vPosition = position;
        ObjectRecord* h = g_Engine.AddObject(p);
        if (h && name) SetObjectName(h, name);
        return h;
    }

    // Everything printed after this call is searched by Printed.
    static void MarkConsole() { g_Console.Print(kMark); }
    static bool Printed(const char* text) {
        return PrintedAfterMark([text](const char* line) { return std::strstr(line, text) != nullptr; });
    }
    // A line printed after the mark that is exactly `text`.
    static bool PrintedLine(const char* text) {
        return PrintedAfterMark([text](const char* line) { return std::strcmp(line, text) == 0; });
    }
    // Whether a line printed after the mark is one that `match` accepts.
    template <class Match> static bool PrintedAfterMark(Match match) {
        char lines[EConsole::NUM_LINES][EConsole::LINE_LEN];
        int mark = -1;
        for (int i = 0; i < EConsole::NUM_LINES; ++i) {
            g_Console.CopyLine(i, lines[i]);
            if (std::strcmp(lines[i], kMark) == 0) mark = i;
        }
        for (int i = mark + 1; i < EConsole::NUM_LINES; ++i)
            if (match(lines[i])) return true;
        return false;
    }

    std::filesystem::path dir_;

  private:
    static constexpr const char* kMark = "--- test mark ---";
    std::string saved_;
};
