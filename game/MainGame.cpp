#include "game/MainGame.h"

#include "world/Engine.h"

CMainGame g_MainGame;

void CMainGame::StartUp() { m_bStartedUp = true; }

void CMainGame::Update() {
    if (g_Engine.m_bWorldLoaded) ++m_iLevelFrame;
}
