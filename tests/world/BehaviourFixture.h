// A running world for the behaviour layer's tests: the object-table fixture
// plus a level past its start-up frames, a player, and helpers to give
// objects actions and death parameters and to run frames of the layer.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "WorldFixture.h"
#include "actors/ItemMgr.h"
#include "actors/PathMgr.h"
#include "actors/player/Player.h"
#include "actors/PostacMgr.h"
#include "actors/WeaponMgr.h"
#include "game/LoadScreen.h"
#include "game/Panel.h"
#include "game/SaveMgr.h"
#include "render/PostProcess.h"
#include "world/Camera.h"
#include "world/DeathParams.h"
#include "world/EngineObject.h"
#include "world/ObjectAction.h"

class BehaviourTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        ResetLayer();
    }
    void TearDown() override {
        ResetLayer();
        WorldTest::TearDown();
    }

    static void ResetLayer() {
        g_EngineObject.OnWorldClose();
        EEngineObject& e = g_EngineObject;
        e.m_pLastShaker = nullptr;
        e.m_dwFrameCounter = 0;
        e.m_bCameraPositioning = false;
        e.m_szNextAmbientSound[0] = e.m_szAmbientSound[0] = 0;
        e.m_fAmbientTargetVolume = e.m_fAmbientVolume = 0;
        e.m_vPreviousPlayerPosition = e.m_vPlayerPosition = {};
        g_Engine.m_bWorldRunning = 1;
        g_Engine.m_fFrameTime = 0.0f;
        g_MainGame.m_iLevelFrame = 203;
        g_SaveMgr = CSaveMgr{};
        g_LoadScreen.m_bActive = false;
        PlayerDead = 0;
        PlayerHealth = 100.0f;
        g_Player.m_hObject = nullptr;
        g_Player.m_bMovedByWorld = false;
        SetPlayer({});
        for (strpostac& p : g_PostacMgr.m_Postacie)
            p = strpostac{};
        g_PathMgr.m_Paths.clear();
        g_ItemMgr.m_Descriptions.clear();
        g_Camera.SetPosition({0, 0, 0});
        DrawNotImportant = true;
        UpdateObjects = true;
        GlobalTimeSpeed = 1.0f;
    }

    static void SetPlayer(const math::Vec3& p) {
        g_Player.m_vPosition.x = p.x;
        g_Player.m_vPosition.y = p.y;
        g_Player.m_vPosition.z = p.z;
    }

    // An action that runs (general_opt 1); automatic adds the trigger-zone
    // switches (general_opt 2, general_2 1).
    static std::unique_ptr<ObjectAction> NewAction(bool automatic = false) {
        auto a = std::make_unique<ObjectAction>();
        a->dwGeneralOpt1 = 1;
        if (automatic) {
            a->dwGeneralOpt2 = 1;
            a->dwGeneral21 = 1;
        }
        return a;
    }
    static std::unique_ptr<DeathParams> NewDeath() {
        auto d = std::make_unique<DeathParams>();
        d->bOn = 1;
        return d;
    }

    // One frame of the behaviour layer with the given frame time.
    static void Frame(float dt) {
        g_Engine.m_fFrameTime = dt;
        g_EngineObject.UpdateBehaviour();
    }
    static void Frames(int n, float dt) {
        for (int i = 0; i < n; ++i)
            Frame(dt);
    }

    // The console lines printed since MarkConsole, oldest first.
    static std::vector<std::string> LinesSinceMark() {
        std::vector<std::string> lines;
        char line[EConsole::LINE_LEN];
        int mark = -1;
        for (int i = 0; i < EConsole::NUM_LINES; ++i) {
            g_Console.CopyLine(i, line);
            if (std::strcmp(line, "--- test mark ---") == 0) mark = i;
        }
        for (int i = mark + 1; i < EConsole::NUM_LINES; ++i) {
            g_Console.CopyLine(i, line);
            lines.emplace_back(line);
        }
        return lines;
    }
    // Index of the first line since the mark that holds the text, -1 if none.
    static int LineOf(const char* text) {
        const std::vector<std::string> lines = LinesSinceMark();
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].find(text) != std::string::npos) return int(i);
        return -1;
    }
    static int CountLines(const char* text) {
        int n = 0;
        for (const std::string& l : LinesSinceMark())
            if (l.find(text) != std::string::npos) ++n;
        return n;
    }
};
