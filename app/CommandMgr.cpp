#include "app/CommandMgr.h"

#include <cstdio>
#include <cstring>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "app/Input.h"
#include "app/Mouse.h"
#include "app/Options.h"
#include "app/TextMgr.h"
#include "platform/input/Input.h"
#include "platform/os/AtomicFile.h"
#include "platform/os/Os.h"
#include "sound/SoundMgr.h"
#include "world/Camera.h"

CCommandMgr g_CommandMgr;

bool InvertMouse = false;
float MouseSensitivity = 0.3f;
float OptionMCO2 = 0.2f;
bool MusicEnabled = true;
bool OptionMCO1 = true;
float MusicVolume = 0.65f;
float SoundVolume = 0.8f;
bool OptionMenuByte = true;
float MotionBlurOption = 1.0f;

namespace {

constexpr uint32_t kHighestKeyCode = NUM_KEY_STATES - 1;

struct KeyLabel {
    uint32_t code;
    const char* label;
};

// The bindable keys and the labels that name them.
constexpr KeyLabel kKeyLabels[] = {
    {12, ">CMDMinus"},
    {13, ">CMDEquals"},
    {15, ">CMDTAB"},
    {16, ">CMDQ"},
    {17, ">CMDW"},
    {18, ">CMDE"},
    {19, ">CMDR"},
    {20, ">CMDT"},
    {21, ">CMDY"},
    {22, ">CMDU"},
    {23, ">CMDI"},
    {24, ">CMDO"},
    {25, ">CMDP"},
    {26, ">CMDSqBracketLeft"},
    {27, ">CMDSqBracketRight"},
    {28, ">CMDEnter"},
    {29, ">CMDLeftControl"},
    {30, ">CMDA"},
    {31, ">CMDS"},
    {32, ">CMDD"},
    {33, ">CMDF"},
    {34, ">CMDG"},
    {35, ">CMDH"},
    {36, ">CMDJ"},
    {37, ">CMDK"},
    {38, ">CMDL"},
    {39, ">CMDSemicolon"},
    {40, ">CMDApostrophe"},
    {42, ">CMDLeftShift"},
    {43, ">CMDBackSlash"},
    {44, ">CMDZ"},
    {45, ">CMDX"},
    {46, ">CMDC"},
    {47, ">CMDV"},
    {48, ">CMDB"},
    {49, ">CMDN"},
    {50, ">CMDM"},
    {51, ">CMDComma"},
    {52, ">CMDDot"},
    {53, ">CMDSlash"},
    {54, ">CMDRightShift"},
    {56, ">CMDAlt"},
    {57, ">CMDSpace"},
    {71, ">CMDNum7"},
    {72, ">CMDNum8"},
    {73, ">CMDNum9"},
    {74, ">CMDNumMinus"},
    {75, ">CMDNum4"},
    {76, ">CMDNum5"},
    {77, ">CMDNum6"},
    {78, ">CMDNumPlus"},
    {79, ">CMDNum1"},
    {80, ">CMDNum2"},
    {81, ">CMDNum3"},
    {82, ">CMDNum0"},
    {83, ">CMDNumDel"},
    {156, ">CMDNumEnter"},
    {157, ">CMDRightControl"},
    {200, ">CMDUpArrow"},
    {203, ">CMDLeftArrow"},
    {205, ">CMDRightArrow"},
    {208, ">CMDDownArrow"},
    {210, ">CMDInsert"},
    {211, ">CMDDelete"},
    {256, ">CMDMButton0"},
    {257, ">CMDMButton1"},
    {258, ">CMDMButton2"},
};

struct DefaultBinding {
    uint32_t command;
    uint32_t first;
    uint32_t second;
};

constexpr DefaultBinding kDefaultBindings[] = {
    {1, input::dik::LShift, 0},
    {3, input::dik::W, input::dik::Up},
    {4, input::dik::S, input::dik::Down},
    {5, input::dik::A, 0},
    {6, input::dik::D, 0},
    {8, input::dik::Space, 0},
    {9, input::dik::L, 0},
    {10, input::dik::Grave, 0},
    {11, input::dik::Escape, 0},
    {12, input::dik::F10, 0},
    {13, input::dik::F8, 0},
    {14, KEY_MOUSE_BUTTON0 + 1, 0},
    {15, input::dik::Key1, 0},
    {16, input::dik::G, 0},
    {17, input::dik::Q, 0},
    {18, input::dik::E, 0},
    {19, KEY_MOUSE_BUTTON0, 0},
    {23, input::dik::RBracket, 0},
    {24, input::dik::LBracket, 0},
    {25, input::dik::R, 0},
    {34, input::dik::LControl, input::dik::C},
    {64, input::dik::Home, 0},
    {65, input::dik::End, 0},
    {66, input::dik::F5, 0},
    {67, input::dik::F9, 0},
    {70, input::dik::H, 0},
    {71, input::dik::Tab, input::dik::O},
};

} // namespace

void SetControlOptionDefaults() {
    InvertMouse = false;
    MouseSensitivity = 0.3f;
    OptionMCO2 = 0.2f;
    MusicEnabled = true;
    sound = true;
    OptionMCO1 = true;
    MusicVolume = 0.65f;
    SoundVolume = 0.8f;
    OptionMenuByte = true;
    MotionBlurOption = 1.0f;
}

bool IsCommandActive(int32_t command, int32_t offset) {
    return g_CommandMgr.IsCommandActive(command, offset);
}

CCommandMgr::~CCommandMgr() {
    if (m_pKeyboard) m_pKeyboard->Release();
    m_pKeyboard = nullptr;
}

void CCommandMgr::CreateKeyboard(window::Window* w) {
    if (!g_pDirectInput) return;
    ReleaseKeyboard();
    if (g_pDirectInput->CreateDevice(input::DeviceKind::Keyboard, &m_pKeyboard) != input::Result::Ok) {
        m_pKeyboard = nullptr;
        g_Console.Print("CreateDevice(keyboard) failed!");
        return;
    }
    if (m_pKeyboard->SetDataFormat(input::DataFormat::Keyboard) != input::Result::Ok) {
        g_Console.Print("keyboard SetDataFormat failed");
        return;
    }
    if (m_pKeyboard->SetCooperativeLevel(w, input::coop::Exclusive | input::coop::Foreground) !=
        input::Result::Ok) {
        g_Console.Print("keyboard SetCooperativeLevel failed");
        return;
    }
    m_pKeyboard->Acquire();
    m_bKeyboardReady = true;
}

void CCommandMgr::ReleaseKeyboard() {
    m_bKeyboardReady = false;
    if (!m_pKeyboard) return;
    m_pKeyboard->Unacquire();
    m_pKeyboard->Release();
    m_pKeyboard = nullptr;
}

void CCommandMgr::PollKeyboard() {
    if (m_bKeyboardReady && m_pKeyboard) {
        uint8_t state[256];
        if (m_pKeyboard->GetDeviceState(state, sizeof state) == input::Result::Ok) {
            for (uint32_t i = 0; i < 256; ++i)
                m_KeyStates[i] = state[i] >= 128 ? 1 : 0;
        }
    }
    if (m_bCommand19Latch && !IsBoundKeyDown(m_Bindings[COMMAND_FIRE][0], 0) &&
        !IsBoundKeyDown(m_Bindings[COMMAND_FIRE][1], 0)) {
        m_bCommand19Latch = false;
    }
}

bool CCommandMgr::IsBoundKeyDown(uint32_t key, int32_t offset) const {
    if (key == 0 || key > kHighestKeyCode) return false;
    const int64_t code = int64_t(key) + offset;
    return code >= 0 && code <= kHighestKeyCode && m_KeyStates[code] != 0;
}

bool CCommandMgr::IsCommandActive(int32_t command, int32_t offset) const {
    if (command < 0 || command >= int32_t(NUM_COMMANDS)) return false;
    if (command == int32_t(COMMAND_FIRE) && m_bCommand19Latch) return false;
    return IsBoundKeyDown(m_Bindings[command][0], offset) || IsBoundKeyDown(m_Bindings[command][1], offset);
}

uint8_t CCommandMgr::IsMouseButtonDown(int32_t n) const {
    if (n < 0 || n > 3) return 0;
    return g_Mouse.m_State.buttons[n];
}

void CCommandMgr::SetMouseButtonState(uint32_t button, bool down) {
    if (button < 3) m_KeyStates[KEY_MOUSE_BUTTON0 + button] = down ? 1 : 0;
}

const char* CCommandMgr::GetKeyName(uint32_t code) const {
    return code < NUM_KEY_NAMES ? m_KeyNames[code] : "";
}

uint32_t CCommandMgr::GetBinding(uint32_t command, uint32_t slot) const {
    return command < NUM_COMMANDS && slot < 2 ? m_Bindings[command][slot] : 0;
}

void CCommandMgr::SetBinding(uint32_t command, uint32_t slot, uint32_t key) {
    if (command < NUM_COMMANDS && slot < 2) m_Bindings[command][slot] = key > kHighestKeyCode ? 0 : key;
}

uint32_t CCommandMgr::FindKeyCode(const char* name) const {
    if (!name || !*name) return 0;
    for (uint32_t code = 1; code < NUM_KEY_NAMES; ++code) {
        if (os::EqualNoCase(m_KeyNames[code], name)) return code;
    }
    return 0;
}

void CCommandMgr::SetKeyNames() {
    std::memset(m_KeyNames, 0, sizeof m_KeyNames);
    for (const KeyLabel& k : kKeyLabels) {
        std::snprintf(m_KeyNames[k.code], KEY_NAME_LEN, "%s", g_TextMgr.GetText(k.label));
    }
}

void CCommandMgr::SetDefaults() {
    SetKeyNames();
    std::memset(m_Bindings, 0, sizeof m_Bindings);
    for (const DefaultBinding& b : kDefaultBindings) {
        m_Bindings[b.command][0] = b.first;
        m_Bindings[b.command][1] = b.second;
    }
}

void CCommandMgr::LoadKeys() {
    const long long size = os::FileSize(KEYS_CFG_FILE);
    std::FILE* f = size >= 4 ? os::OpenFile(KEYS_CFG_FILE, "rb") : nullptr;
    uint32_t version = 0;
    if (f) FileRead32(f, &version);
    // A torn file would be half read on every start: it goes like one of
    // another version, and the log says so.
    if (size >= 0 && size < KEYS_CFG_SIZE) {
        g_Console.Printf("%s: %lld bytes, shorter than its layout of %u: the defaults are written",
                         KEYS_CFG_FILE, size, KEYS_CFG_SIZE);
    } else if (f && version != m_dwVersion) {
        g_Console.Printf("%s: version %u, not %u: the defaults are written", KEYS_CFG_FILE, version,
                         m_dwVersion);
    }
    if (!f || version != m_dwVersion || size < KEYS_CFG_SIZE) {
        if (f) std::fclose(f);
        SetDefaults();
        SaveKeys();
        return;
    }
    SetDefaults();
    SetControlOptionDefaults();
    // The file holds its whole layout: every field is there.
    for (auto& binding : m_Bindings) {
        FileRead32(f, &binding[0]);
        FileRead32(f, &binding[1]);
    }
    FileReadBool(f, &InvertMouse);
    FileRead32(f, &MouseSensitivity);
    FileRead32(f, &OptionMCO2);
    FileReadBool(f, &MusicEnabled);
    FileReadBool(f, &sound);
    FileReadBool(f, &OptionMCO1);
    FileRead32(f, &MusicVolume);
    FileRead32(f, &SoundVolume);
    float gamma = 1.0f;
    FileRead32(f, &gamma);
    FileReadBool(f, &OptionMenuByte);
    FileRead32(f, &MotionBlurOption);
    std::fclose(f);

    // A code no key state stands for would read past the table.
    for (auto& binding : m_Bindings) {
        for (uint32_t& key : binding) {
            if (key > kHighestKeyCode) key = 0;
        }
    }
    g_Camera.SetGamma(gamma);
    g_SoundMgr.Music_SetVolume(MusicVolume);
    g_SoundMgr.SetVolume(SoundVolume);
}

void CCommandMgr::SaveKeys() {
    os::AtomicFile file(KEYS_CFG_FILE);
    std::FILE* f = file.File();
    FileWrite32(f, m_dwVersion);
    for (const auto& binding : m_Bindings) {
        FileWrite32(f, binding[0]);
        FileWrite32(f, binding[1]);
    }
    FileWriteBool(f, InvertMouse);
    FileWrite32(f, MouseSensitivity);
    FileWrite32(f, OptionMCO2);
    FileWriteBool(f, MusicEnabled);
    FileWriteBool(f, sound);
    FileWriteBool(f, OptionMCO1);
    FileWrite32(f, MusicVolume);
    FileWrite32(f, SoundVolume);
    FileWrite32(f, g_Camera.GetGamma());
    FileWriteBool(f, OptionMenuByte);
    FileWrite32(f, MotionBlurOption);
    if (!file.Commit())
        g_Console.Print3(KEYS_CFG_FILE, " could not be written and stays as it was: ", file.Error().c_str());
}
