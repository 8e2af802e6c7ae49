#include "game/LoadScreen.h"

#include "sound/MusicDirector.h"

LoadScreen g_LoadScreen;

void LoadScreen::Begin(const char* worldName) {
    m_bBegun = worldName != nullptr;
    // Forced: a plain request would leave the director's action music playing.
    g_MusicDirector.PlayMusic("", false, true);
}
