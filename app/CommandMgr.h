// Key bindings and the keyboard: `CCommandMgr` (global g_CommandMgr) reads
// the keyboard on the window's 2 ms timer, keeps the state of every key and
// mouse button, maps the numbered game commands to up to two keys each, names
// every bindable key by a text label, and loads and saves "save\keys.cfg",
// which holds the bindings together with the player's control and sound
// options.
//
// Key codes: 0..255 are DirectInput keyboard codes (input::dik), 256, 257 and
// 258 the mouse buttons 0, 1 and 2 (the mouse writes their states). A binding
// of 0, or of a code above 258, is unbound.
//
// "save\keys.cfg" (little-endian, 2113 bytes, version 5): the bindings (260
// commands x two u32 keys) at 4, then the options at their offsets below.
// A file of another version, or one shorter than its layout (torn), is
// reported and replaced by the defaults at once. The file is written whole or
// not at all (os::AtomicFile).
//
// Failure policy: a keyboard that cannot be made is logged and stays off (the
// old key states stay); an unreadable keys file means the defaults; a keys
// file that cannot be written stays as it was, and the log says why. Main
// thread only.
#pragma once

#include <cstdint>

namespace input {
class Device;
}
namespace window {
class Window;
}

constexpr uint32_t KEYS_CFG_VERSION = 5;
constexpr const char* KEYS_CFG_FILE = "save\\keys.cfg";
constexpr uint32_t KEYS_CFG_SIZE = 2113;
constexpr uint32_t NUM_COMMANDS = 260;
constexpr uint32_t NUM_KEY_NAMES = 260;
constexpr uint32_t KEY_NAME_LEN = 64;
constexpr uint32_t NUM_KEY_STATES = 259;    // 256 keyboard codes and three mouse buttons
constexpr uint32_t KEY_MOUSE_BUTTON0 = 256; // key codes of the mouse buttons 0..2
constexpr uint32_t COMMAND_FIRE = 19;       // the command with the press latch

// The control and sound options kept in "save\keys.cfg" (with the console's
// `sound`, app/Options.h). Start values as in the file's defaults.
extern bool InvertMouse;       // offset 2084: the vertical mouse axis turned over
extern float MouseSensitivity; // 2085
extern float OptionMCO2;       // 2089: kept for the menu
extern bool MusicEnabled;      // 2093: the music director plays only while set
extern bool OptionMCO1;        // 2095: the menu's tick-box option
extern float MusicVolume;      // 2096
extern float SoundVolume;      // 2100
extern bool OptionMenuByte;    // 2108: kept for the menu
extern float MotionBlurOption; // 2109: the motion-blur strength the post-process reads
// Sets the options above (and `sound`) to their start values.
void SetControlOptionDefaults();

class CCommandMgr {
  public:
    CCommandMgr() = default;
    virtual ~CCommandMgr();
    CCommandMgr(const CCommandMgr&) = delete;
    CCommandMgr& operator=(const CCommandMgr&) = delete;

    // Makes and acquires the keyboard on the window (nothing without the
    // input interface); an old keyboard is released first.
    void CreateKeyboard(window::Window* w);
    void ReleaseKeyboard();
    // One timer tick: reads the keyboard into the key states (a failed read
    // keeps the old ones), then ends command 19's latch once both its keys
    // are up.
    void PollKeyboard();

    // Whether a key of the command (its code plus the offset) is down; false
    // for commands outside 0..259 and for command 19 while its latch is set.
    bool IsCommandActive(int32_t command, int32_t offset = 0) const;
    // The mouse's button byte for n = 0..3, 0 for other numbers.
    uint8_t IsMouseButtonDown(int32_t n) const;

    // Key names from the labels, every binding cleared, then the defaults.
    void SetDefaults();
    // The key names alone, from the labels.
    void SetKeyNames();
    void LoadKeys();
    void SaveKeys();

    // The name of a key code, "" for codes without one.
    const char* GetKeyName(uint32_t code) const;
    // The code of the key with this name (letter case aside), 0 for none.
    uint32_t FindKeyCode(const char* name) const;
    // The key of a command's binding (slot 0 or 1); 0 when unbound.
    uint32_t GetBinding(uint32_t command, uint32_t slot) const;
    void SetBinding(uint32_t command, uint32_t slot, uint32_t key);
    // A mouse button's mirror in the key states (buttons 0..2).
    void SetMouseButtonState(uint32_t button, bool down);
    bool IsKeyDown(uint32_t code) const { return code < NUM_KEY_STATES && m_KeyStates[code] != 0; }

    input::Device* m_pKeyboard = nullptr;
    uint32_t m_dwVersion = KEYS_CFG_VERSION;
    uint8_t m_KeyStates[NUM_KEY_STATES] = {};
    char m_KeyNames[NUM_KEY_NAMES][KEY_NAME_LEN] = {};
    uint32_t m_Bindings[NUM_COMMANDS][2] = {};
    // Set by the code that consumed a press of command 19 (the player, the
    // save manager); the poll clears it once the command's keys are up.
    bool m_bCommand19Latch = false;
    bool m_bKeyboardReady = false;

  private:
    bool IsBoundKeyDown(uint32_t key, int32_t offset) const;
};

extern CCommandMgr g_CommandMgr;

// g_CommandMgr.IsCommandActive: the query the game layer makes.
bool IsCommandActive(int32_t command, int32_t offset = 0);
