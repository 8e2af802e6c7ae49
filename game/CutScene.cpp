#include "game/CutScene.h"

#include <cstdio>

#include "actors/player/Player.h"

CCutScene g_CutScene;

void CCutScene::StartScene(const char* name) {
    if (!name || PlayerDead || MissionFailed) return;
    std::snprintf(m_szRequestedScene, sizeof m_szRequestedScene, "%s", name);
    m_fSceneTime = 0;
}
