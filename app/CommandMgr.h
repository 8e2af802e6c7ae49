// Key bindings and the keyboard, `CCommandMgr` (global g_CommandMgr). Only
// the keyboard poll that the window's timer drives is here until the input
// devices are built.
#pragma once

#include <cstdint>

class CCommandMgr {
public:
    virtual ~CCommandMgr() = default;

    // One timer tick: with a ready keyboard, reads the key states; without
    // one, the old states stay.
    void PollKeyboard();

    uint8_t m_KeyStates[259] = {};
    bool m_bKeyboardReady = false;
};

extern CCommandMgr g_CommandMgr;
