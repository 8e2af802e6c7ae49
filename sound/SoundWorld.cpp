#include "sound/SoundWorld.h"

#include "app/Debug.h"
#include "app/Options.h"
#include "game/MainGame.h"
#include "game/Panel.h"
#include "world/Engine.h"

namespace soundworld {

bool SoundAllowed() {
    return sound && !g_Engine.m_bFastForward;
}

bool Cinematic() {
    return WideScreen || g_Panel.m_bSoftLetterbox;
}

uint32_t LevelFrame() {
    return g_MainGame.m_iLevelFrame > 0 ? uint32_t(g_MainGame.m_iLevelFrame) : 0;
}

double WorldTime() {
    return g_Engine.m_fWorldTime;
}

void Track(const char* tag) {
    g_Debug.AddAllocation(tag);
}

void Untrack(const char* tag) {
    g_Debug.RemoveAllocation(tag);
}

} // namespace soundworld
