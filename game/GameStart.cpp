#include "game/GameStart.h"

#include "actors/ActorConsoleRows.h"
#include "actors/ActorHooks.h"
#include "actors/LaserMgr.h"
#include "actors/PathMgr.h"
#include "actors/PostacMgr.h"
#include "actors/WeaponMgr.h"
#include "actors/player/Player.h"
#include "app/ConsoleRows.h"
#include "app/GameFrame.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "game/CutScene.h"
#include "game/DialogueMgr.h"
#include "game/GameAI.h"
#include "game/Intro.h"
#include "game/LoadScreen.h"
#include "game/MainGame.h"
#include "game/Menu.h"
#include "game/Objective.h"
#include "game/Panel.h"
#include "game/SaveMgr.h"
#include "game/ScreenOverlay.h"
#include "physics/PhysicsWorld.h"
#include "render/RenderConsoleRows.h"
#include "sound/SoundWorld.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObjectAction.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/WorldConsoleRows.h"
#include "world/WorldHooks.h"

namespace {

GameFrame MakeGameFrame() {
    GameFrame f;
    f.StartUp = [] { g_MainGame.StartUp(); };
    f.Update = [] {
        g_MainGame.Update();
        g_ScreenOverlay.ResetFrame();
    };
    f.PreRender = [] { g_MainGame.PreRender(); };
    f.Render = [] {
        if (g_Menu.IsOpen())
            g_Menu.Render();
        else
            g_MainGame.Render();
    };
    f.KeyDown = [](uint32_t key) {
        if (g_Menu.IsOpen())
            g_Menu.OnKeyDown(key);
        else
            g_MainGame.OnKey(key);
    };
    f.KeyUp = [](uint32_t key) {
        if (g_Menu.IsOpen())
            g_Menu.OnKeyUp(key);
        else
            g_MainGame.OnKey(key);
    };
    f.Shutdown = [] { g_MainGame.Shutdown(); };
    f.MenuOpen = [] { return g_Menu.IsOpen(); };
    f.MenuDeviceReset = [] { g_Menu.OnDeviceReset(); };
    f.LoadingActive = [] { return g_LoadScreen.IsActive(); };
    f.RenderLoading = [] { g_LoadScreen.Render(); };
    f.LevelFrame = [] { return g_MainGame.m_iLevelFrame; };
    f.CutSceneRunning = [] { return g_CutScene.IsRunning(); };
    f.LevelTitle = [] { return g_MainGame.GetLevelTitle(); };
    f.LevelLoadingPicture = [] { return g_MainGame.GetLevelLoadingPicture(); };
    f.DrawBriefing = [] {
        g_LoadScreen.Update();
        g_LoadScreen.DrawBriefing();
    };
    f.FillMouseFrame = [](MouseFrame& m) {
        m.bMenuOpen = g_Menu.IsOpen();
        m.bLoadingActive = g_LoadScreen.IsActive();
        m.iLevelFrame = g_MainGame.m_iLevelFrame;
        m.iFramesSinceCinematic = g_MainGame.m_iFramesSinceCinematic;
        m.fZoom = g_WeaponMgr.m_fZoom;
        m.bZoomDoubled = g_WeaponMgr.m_bZoomDoubled;
        m.bWeaponView = g_WeaponMgr.m_bViewFlag;
        m.fWideScreenFade = g_Panel.m_fWideScreenFade;
        m.bCameraHold = g_Camera.m_bHold != 0;
    };
    return f;
}

soundworld::Hooks MakeSoundWorld() {
    soundworld::Hooks h;
    h.NotFastForwarding = [] { return !g_Engine.m_bFastForward; };
    h.Cinematic = [] { return WideScreen || g_Panel.m_bSoftLetterbox; };
    h.IntroRunning = [] { return IntroWorldRunning; };
    h.LevelFrame = [] { return g_MainGame.m_iLevelFrame > 0 ? uint32_t(g_MainGame.m_iLevelFrame) : 0u; };
    h.WorldTime = [] { return double(g_Engine.m_fWorldTime); };
    h.FrameTime = [] { return g_Engine.m_fFrameTime; };
    h.CurrentWorld = []() -> const char* { return g_Engine.m_szCurrentWorld; };
    h.ScriptVariable = [](const char* name) { return g_GameAI.IsSet(name, nullptr); };
    h.UnsetScriptVariable = [](const char* name) { g_GameAI.UnsetVariable(name, nullptr); };
    h.VisitCharacters = [](soundworld::CharacterVisitor visit, void* context) {
        for (const strpostac& p : g_PostacMgr.m_Postacie) {
            soundworld::Character c;
            c.bActive = p.bUsed && !p.bDead && !p.bRemoved && !p.bSuspended && !p.bDeleteRequested;
            c.fDistanceToPlayer = p.fDistanceToPlayer;
            c.bAlerted = p.bAlerted;
            c.bAlarm = p.bAlarm;
            c.bOnMarker = p.hLinkedObject && p.hLinkedObject->bMarker;
            c.szName = p.szName;
            visit(c, context);
        }
    };
    h.ObjectPosition = [](ObjectRecord* object, math::Vec3* out) { GetObjectPosition(object, out); };
    h.ObjectName = [](ObjectRecord* object) -> const char* { return object->szName; };
    h.ObjectRadio = [](ObjectRecord* object) -> const char* {
        return object->pAction ? object->pAction->szRadioRadio : nullptr;
    };
    return h;
}

WorldHooks MakeWorldHooks() {
    WorldHooks h;
    h.PlayMusic = [](const char* name, bool loop) { g_MainGame.PlayMusic(name, loop); };
    h.SelectScriptWorld = [] { g_MainGame.SelectScriptWorld(); };
    h.LoadScreenBegin = [](const char* world) { g_LoadScreen.Begin(world); };
    h.LoadScreenTextures = [] { g_LoadScreen.LoadTextures(); };
    h.GameWorldOpened = [] { g_MainGame.Init(); };
    h.GameWorldClosed = [] { g_MainGame.Destroy(); };
    h.ScreenOverlayInit = [] { g_ScreenOverlay.Init(); };
    h.ScreenOverlayClear = [] { g_ScreenOverlay.Clear(); };
    h.LasersInit = [] { g_LaserMgr.Init(); };
    h.LasersRelease = [] { g_LaserMgr.Release(); };
    h.MenuOverlayInit = [] { g_Menu.InitOverlay(); };
    h.MenuOverlayRelease = [] { g_Menu.ReleaseOverlay(); };
    h.EarlyPlayerUpdate = [] { g_MainGame.EarlyPlayerUpdate(); };
    h.LasersUpdate = [] { g_LaserMgr.Update(); };
    h.LasersRender = [] { g_LaserMgr.Render(); };
    h.RemoveLaserBeam = [](uint32_t beam) {
        if (beam < LaserMgr::MAX_BEAMS) g_LaserMgr.RemoveBeam(beam);
    };
    h.UpdateDialogueSounds = [] { g_DialogueMgr.UpdateAllDialogueSoundsAndListeners(); };
    h.CutSceneTime = [] { return g_CutScene.m_fSceneTime; };
    h.GameFramesSinceWorldOpen = [] { return g_MainGame.m_dwGameFrames; };
    h.SkinMeshesHeld = [] { return g_MainGame.m_bHoldSkinMeshes != 0; };
    h.IntroRunning = [] { return IntroWorldRunning; };
    h.DrawPathsDebug = [] { g_PathMgr.DrawDebug(); };
    h.DrawCharactersDebug = [] { g_PostacMgr.DrawDebug(); };
    h.RenderLaserSight = [] { g_WeaponMgr.RenderLaserSight(); };
    h.PostProcessGame = [] {
        PostProcessGameState s;
        s.fSecondsSinceExplosion = g_Player.m_fTimeSinceExplosion;
        s.fSecondsSinceBulletHit = g_Player.m_fTimeSinceHit;
        s.bPlayerDead = PlayerDead != 0;
        s.bMissionFailed = MissionFailed != 0;
        s.bReloading = g_WeaponMgr.m_pCurrentWeapon && g_WeaponMgr.m_dwWeaponState == 1;
        s.fAimProgress = g_WeaponMgr.m_fAimProgress;
        s.bIntroRunning = IntroWorldRunning;
        s.iIntroScene = g_Intro.m_iScene;
        s.fPlayerHealth = PlayerHealth;
        s.fPlayerMaxHealth = PlayerMaxHealth;
        s.bCutSceneBlackWhite = g_CutScene.IsRunning() && g_CutScene.m_bPhaseBlackWhite;
        return s;
    };
    h.IsVariableSet = [](const char* name) { return g_GameAI.IsSet(name); };
    h.SetVariable = [](const char* name, ObjectRecord* setter) { g_GameAI.SetVariable(name, setter); };
    h.UnsetVariable = [](const char* name, ObjectRecord* setter) { g_GameAI.UnsetVariable(name, setter); };
    h.RegisterHit = [](const char* objectName) { g_GameAI.RegisterHit(objectName); };
    h.SaveBusy = [] { return bool(g_SaveMgr.m_bBusy); };
    h.SaveStep = [] { return uint32_t(g_SaveMgr.m_dwStep); };
    h.ClearUsableObject = [] { g_Panel.m_bUsableObject = false; };
    h.ShowUsableObject = [](const math::Vec3& position) {
        g_Panel.m_bUsableObject = true;
        g_Panel.m_vUsableObjectPosition = position;
    };
    h.PreloadDialogueSounds = [](const char* dialogue) { g_DialogueMgr.PreloadDialogueSounds(dialogue); };
    h.PreloadHeroDialogueSounds = [](const char* dialogue) {
        g_DialogueMgr.PreloadHeroDialogueSounds(dialogue);
    };
    h.PlayerPosition = [] { return g_Player.m_vPosition; };
    h.PlayerMovedByWorld = [] { g_Player.m_bMovedByWorld = true; };
    h.ChangePlayerHealth = [](float delta) { g_Player.ChangeHealth(delta); };
    h.PlayerCrouching = [] { return g_Player.m_bCrouched; };
    h.StartCutFade = [] { g_Panel.StartCutFade(); };
    h.SetFadeState = [](uint32_t state) { g_Panel.m_dwFadeState = state; };
    h.OnExplosion = [](const math::Vec3& position, float power) { g_MainGame.OnExplosion(position, power); };
    h.StopObjectDialogue = [](ObjectRecord* object) { g_DialogueMgr.StopObjectDialogue(object); };
    h.PlayerObject = [] { return g_Player.m_hObject; };
    h.HeldWeaponModel = [] { return g_WeaponMgr.m_hWeaponModel; };
    h.CharacterBody = [](const char* name, ObjectRecord** body) {
        strpostac* p = g_PostacMgr.FindByName(name, true);
        if (!p) return false;
        *body = p->hObjects[0];
        return true;
    };
    return h;
}

bool Intro(EConsole&, const char*, const char* value, bool) {
    g_Intro.StartScene(ConsoleInt(value));
    return false;
}

bool CutScene(EConsole&, const char*, const char* value, bool) {
    g_CutScene.StartScene(value);
    return true;
}

void RegisterGameConsoleRows() {
    RegisterConsoleRow("Intro", &Intro);
    RegisterConsoleRow("CutScene", &CutScene);
}

physicsworld::Hooks MakePhysicsWorld() {
    physicsworld::Hooks h;
    h.PlayerBody = [](int which) { return which == 0 ? g_Player.m_hObjectStand : g_Player.m_hObjectCrouch; };
    h.PlayerExcludedObject = [](int which) {
        ObjectRecord* const objects[3] = {g_Player.m_hObjectStand, g_Player.m_hObjectCrouch,
                                          g_Player.m_hObject};
        return which >= 0 && which < 3 ? objects[which] : nullptr;
    };
    h.ChangePlayerHealth = [](float change, int32_t a, uint32_t b) { g_Player.ChangeHealth(change, a, b); };
    return h;
}

actorhooks::Hooks MakeActorHooks() {
    actorhooks::Hooks h;
    h.LevelFrame = [] { return g_MainGame.m_iLevelFrame; };
    h.MenuOpen = [] { return g_Menu.IsOpen(); };
    h.OpenMenu = [] { g_Menu.Open(); };
    h.CutSceneRunning = [] { return g_CutScene.IsRunning(); };
    h.IntroRunning = [] { return g_Intro.m_bActive; };
    h.HudFade = [] { return g_Panel.m_fFade; };
    h.Letterbox = [] { return g_Panel.m_bPanoramic; };
    h.ClearHints = [] { g_Panel.m_iUseHint = 0; };
    h.ShowUseHint = [](int32_t canRun) { g_Panel.m_iUseHint = canRun; };
    h.LoadingBeforeStep = [](uint32_t step) { return g_SaveMgr.m_bBusy && g_SaveMgr.m_dwStep < step; };
    h.LoadLastCheckpoint = [] { g_SaveMgr.LoadLastCheckpoint(); };
    h.ShowObjectiveList = [] { g_Objective.OnShowListKey(); };
    h.ShowTask = [] { g_Objective.OnShowTaskKey(); };
    return h;
}

} // namespace

void StartGameLayers() {
    actorhooks::InstallActorHooks(MakeActorHooks());
    InstallGameFrame(MakeGameFrame());
    soundworld::InstallSoundWorld(MakeSoundWorld());
    InstallWorldHooks(MakeWorldHooks());
    RegisterWorldConsoleRows();
    RegisterRenderConsoleRows();
    RegisterActorConsoleRows();
    RegisterGameConsoleRows();
    physicsworld::InstallPhysicsWorld(MakePhysicsWorld());
}
