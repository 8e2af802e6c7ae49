// The game layer's frame: `CMainGame` (global g_MainGame) runs the game
// modules each frame and keeps the level frame counter that most of them read
// to hold their work back at the start of a level. Only the counter is here
// until the game frame is built.
#pragma once

#include <cstdint>

class CMainGame {
public:
    virtual ~CMainGame() = default;

    int32_t m_iLevelFrame = 0;  // frames since the current world was opened
};

extern CMainGame g_MainGame;
