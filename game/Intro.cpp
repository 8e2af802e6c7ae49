#include "game/Intro.h"

Intro g_Intro;

void Intro::StartScene(int n) {
    if (n < 1 || n > 3) return;
    m_fSceneTime = 0;
    m_fStageTime = 0;
    m_bActive = true;
    m_iScene = n;
    m_iStage = 0;
}
