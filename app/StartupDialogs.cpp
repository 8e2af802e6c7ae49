#include "app/StartupDialogs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/CommandMgr.h"
#include "app/Console.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "app/TextMgr.h"
#include "app/VideoConfig.h"
#include "app/WinMain.h"
#include "platform/gfx/Device.h"
#include "platform/os/AtomicFile.h"
#include "platform/os/Os.h"

ResolutionList g_ResolutionList;

const DisplaySize kLauncherSizes[14] = {
    {640, 480},   {800, 600},  {1024, 768},  {1280, 720},  {1380, 720},  {1280, 1024}, {1366, 768},
    {1680, 1050}, {1440, 900}, {1600, 1200}, {1680, 1050}, {1920, 1080}, {1920, 1200}, {2048, 1536},
};

namespace {

// The rewrite looks among the first 63 entries only.
constexpr uint32_t kRewriteEntries = 63;

using dialog::Control;
using dialog::ControlKind;

Control Make(uint32_t id, ControlKind kind, int x, int y, int w, int h) {
    Control c;
    c.id = id;
    c.kind = kind;
    c.x = x;
    c.y = y;
    c.w = w;
    c.h = h;
    return c;
}

struct LabelText {
    uint32_t id;
    const char* label;
};

constexpr LabelText kLauncherTexts[] = {
    {dlg::GAME_NAME, ">GameName"}, {dlg::TRANS, ">Trans"},
    {dlg::VIDEO, ">LVD17"},        {dlg::RESOLUTION_TITLE, ">Lt01"},
    {dlg::HINT1, ">Lt02"},         {dlg::HINT2, ">Lt03"},
    {dlg::START, ">Lt09"},         {dlg::QUIT, ">Lt11"},
};

constexpr LabelText kVideoTexts[] = {
    {dlg::IDOK, ">MMOK"},
    {dlg::GROUP, ">MOVideo"},
    {dlg::INTRO, ">LVD01"},
    {dlg::PS20, ">PS20"},
    {dlg::SHADOWS, ">G27"},
    {dlg::MV01, ">MV01"},
    {dlg::MV06, ">MV06"},
    {dlg::ANIMATED_SHADOWS, ">MV02"},
    {dlg::SHADOW_MAP_TITLE, ">G28"},
    {dlg::TEXTURE_TITLE, ">G29"},
    {dlg::FILTER_TITLE, ">G30"},
    {dlg::WATER_TITLE, ">G31"},
    {dlg::MV08, ">MV08"},
    {dlg::MV05, ">MV05"},
    {dlg::NOT_IMPORTANT, ">MV17"},
    {dlg::MV16, ">MV16"},
    {dlg::GRASS, ">MV19"},
    {dlg::MV20, ">MV20"},
    {dlg::MV22, ">MV22"},
    {dlg::MV21, ">MV21"},
};

// The check boxes that simply show their option.
struct CheckOption {
    uint32_t id;
    bool* option;
};

void FillList(dialog::Dialog& d, uint32_t id, const char* const (&labels)[3], uint32_t selection,
              TextLookup text) {
    d.ResetList(id);
    for (const char* label : labels)
        d.AddListItem(id, text(label));
    d.SetListSelection(id, int(selection));
}

} // namespace

const char* TextOfLabel(const char* label) {
    return g_TextMgr.GetText(label);
}

// ---- Resolution list ---------------------------------------------------------

bool ResolutionList::Add(uint32_t width, uint32_t height) {
    if (dwCount >= MAX_ENTRIES) return false;
    ResolutionEntry& e = entries[dwCount++];
    std::snprintf(e.szName, sizeof e.szName, "%ix%i", int(width), int(height));
    e.dwWidth = width;
    e.dwHeight = height;
    return true;
}

std::vector<DisplaySize> AdapterModes(gfx::Interface* d3d) {
    std::vector<DisplaySize> modes;
    if (!d3d) return modes;
    const uint32_t n = d3d->GetAdapterModeCount(0, gfx::Format::X8R8G8B8);
    for (uint32_t i = 0; i < n; ++i) {
        gfx::DisplayMode m;
        if (d3d->EnumAdapterModes(0, gfx::Format::X8R8G8B8, i, &m) == gfx::Result::Ok) {
            modes.push_back({m.Width, m.Height});
        }
    }
    return modes;
}

DisplaySize DesktopMode(gfx::Interface* d3d) {
    gfx::DisplayMode m;
    if (!d3d || d3d->GetAdapterDisplayMode(0, &m) != gfx::Result::Ok) return {};
    return {m.Width, m.Height};
}

void BuildResolutionList(ResolutionList& list, const std::vector<DisplaySize>& modes, DisplaySize desktop,
                         DisplaySize current) {
    list.Clear();
    for (const DisplaySize& s : kLauncherSizes) {
        const bool offered = std::any_of(modes.begin(), modes.end(), [&](const DisplaySize& m) {
            return m.width == s.width && m.height == s.height;
        });
        if (offered) list.Add(s.width, s.height);
    }
    if (list.dwCount > 0) return;
    if (desktop.width > 0 && desktop.height > 0) {
        list.Add(desktop.width, desktop.height);
    } else {
        list.Add(current.width, current.height);
    }
}

int LauncherSelection(const ResolutionList& list, uint32_t width, uint32_t height) {
    int found = 0;
    for (uint32_t i = 0; i < list.dwCount; ++i) {
        if (list.entries[i].dwWidth == width && list.entries[i].dwHeight == height) found = int(i);
    }
    return found;
}

int FindResolutionEntry(const ResolutionList& list, uint32_t width, uint32_t height) {
    const uint32_t n = std::min(list.dwCount, kRewriteEntries);
    for (uint32_t i = 0; i < n; ++i) {
        if (list.entries[i].dwWidth == width && list.entries[i].dwHeight == height) return int(i);
    }
    return 0;
}

namespace {

// The whole of a file; false, with the reason, when it cannot be read.
bool ReadWholeFile(const char* name, std::string& text, std::string& error) {
    std::FILE* f = os::OpenFile(name, "rb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    const bool ok = !std::ferror(f);
    if (!ok) error = std::strerror(errno);
    std::fclose(f);
    return ok;
}

// The length of the line end mark at `at` (LF, CR LF, CR; 0 at the end).
size_t LineEndLength(const std::string& text, size_t at) {
    if (at >= text.size()) return 0;
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') return 2;
    return 1;
}

} // namespace

bool UpdateConfigResolution() {
    std::string text, error;
    if (!ReadWholeFile("zt.cfg", text, error)) {
        g_Console.Print2("zt.cfg could not be read, so it was not rewritten: ", error.c_str());
        return false;
    }
    if (text.empty()) return true;
    // An empty list has no entry to read: the current size is kept.
    uint32_t width = screenwidth, height = screenheight;
    if (g_ResolutionList.dwCount > 0) {
        const ResolutionEntry& e =
            g_ResolutionList.entries[FindResolutionEntry(g_ResolutionList, width, height)];
        width = e.dwWidth;
        height = e.dwHeight;
    }
    // Every line but the two size lines is written back as it was, its end
    // mark included; the size lines keep their end marks too.
    os::AtomicFile cfg("zt.cfg");
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find_first_of("\r\n", at), text.size());
        const size_t next = end + LineEndLength(text, end);
        const std::string line = text.substr(at, end - at);
        char changed[64] = "";
        if (IsKeyword(line.c_str(), "screenwidth")) {
            std::snprintf(changed, sizeof changed, "ScreenWidth %u", width);
        } else if (IsKeyword(line.c_str(), "screenheight")) {
            std::snprintf(changed, sizeof changed, "ScreenHeight %u", height);
        }
        if (changed[0]) {
            g_Console.ExecLine(changed);
            if (cfg.File()) std::fputs(changed, cfg.File());
            at = end;
        }
        if (cfg.File()) std::fwrite(text.data() + at, 1, next - at, cfg.File());
        at = next;
    }
    if (!cfg.Commit()) {
        g_Console.Print2("zt.cfg could not be rewritten and stays as it was: ", cfg.Error().c_str());
        return false;
    }
    return true;
}

void ApplyResolution(const ResolutionList& list, int index) {
    if (list.dwCount == 0) return;
    index = std::clamp(index, 0, int(std::min(list.dwCount, ResolutionList::MAX_ENTRIES)) - 1);
    const ResolutionEntry& e = list.entries[index];
    screenheight = e.dwHeight;
    screenwidth = e.dwWidth;
    g_f2DScaleX = float(screenwidth) / 1024.0f;
    g_f2DScaleY = float(screenheight) / 768.0f;
    UpdateConfigResolution();
}

// ---- Launcher ----------------------------------------------------------------

dialog::Dialog MakeLauncherDialog() {
    std::vector<Control> c = {
        Make(dlg::GAME_NAME, ControlKind::Static, 24, 18, 432, 22),
        Make(dlg::VERSION, ControlKind::Static, 24, 42, 432, 18),
        Make(dlg::TRANS, ControlKind::Static, 24, 62, 432, 18),
        Make(dlg::RESOLUTION_TITLE, ControlKind::Static, 24, 104, 190, 20),
        Make(dlg::RESOLUTION, ControlKind::ComboBox, 220, 100, 170, 24),
        Make(dlg::HINT1, ControlKind::Static, 24, 140, 432, 20),
        Make(dlg::HINT2, ControlKind::Static, 24, 164, 432, 40),
        Make(dlg::VIDEO, ControlKind::Button, 24, 212, 170, 30),
        Make(dlg::START, ControlKind::Button, 196, 262, 124, 32),
        Make(dlg::QUIT, ControlKind::Button, 332, 262, 124, 32),
    };
    return dialog::Dialog(dlg::LAUNCHER, TextOfLabel(">GameName"), 480, 314, std::move(c), dlg::START);
}

void LauncherHandler::OnInit(dialog::Dialog& d) {
    StartupCancelled = false;
    BuildResolutionList(g_ResolutionList, m_Modes, m_Desktop, {screenwidth, screenheight});
    d.ResetList(dlg::RESOLUTION);
    for (uint32_t i = 0; i < g_ResolutionList.dwCount; ++i) {
        d.AddListItem(dlg::RESOLUTION, g_ResolutionList.entries[i].szName);
    }
    d.SetListSelection(dlg::RESOLUTION, LauncherSelection(g_ResolutionList, screenwidth, screenheight));
    g_CommandMgr.LoadKeys();
    for (const LabelText& t : kLauncherTexts)
        d.SetItemText(t.id, m_Text(t.label));
    d.SetItemText(dlg::VERSION, LAUNCHER_VERSION_TEXT);
}

void LauncherHandler::TakeResolution(dialog::Dialog& d) {
    const int index = std::min(d.GetListSelection(dlg::RESOLUTION), int(ResolutionList::MAX_ENTRIES) - 1);
    ApplyResolution(g_ResolutionList, index);
}

void LauncherHandler::OnCommand(dialog::Dialog& d, uint32_t id) {
    switch (id) {
    case dlg::START:
        TakeResolution(d);
        d.End(int(id));
        StartupCancelled = false;
        break;
    case dlg::VIDEO:
        TakeResolution(d);
        d.End(int(id));
        ShowVideoOptionsNext = true;
        StartupCancelled = false;
        break;
    case dlg::QUIT:
        StartupCancelled = true;
        d.End(int(id));
        break;
    default:
        break;
    }
}

// ---- Video options -----------------------------------------------------------

dialog::Dialog MakeVideoOptionsDialog() {
    constexpr int kLeft = 28, kRight = 300, kRow = 26, kTop = 70;
    std::vector<Control> c = {
        Make(dlg::GROUP, ControlKind::Group, 12, 10, 576, 442),
        Make(dlg::INTRO, ControlKind::Static, kLeft, 36, 544, 20),
        Make(dlg::PS20, ControlKind::CheckBox, kLeft, kTop, 260, 22),
        Make(dlg::SHADOWS, ControlKind::CheckBox, kLeft, kTop + kRow, 260, 22),
        Make(dlg::MV01, ControlKind::CheckBox, kLeft + 20, kTop + 2 * kRow, 240, 22),
        Make(dlg::MV06, ControlKind::CheckBox, kLeft + 20, kTop + 3 * kRow, 240, 22),
        Make(dlg::ANIMATED_SHADOWS, ControlKind::CheckBox, kLeft + 20, kTop + 4 * kRow, 240, 22),
        Make(dlg::SHADOW_MAP_TITLE, ControlKind::Static, kLeft + 20, kTop + 5 * kRow + 4, 120, 20),
        Make(dlg::SHADOW_MAP_LEVEL, ControlKind::ComboBox, kLeft + 144, kTop + 5 * kRow, 110, 22),
        Make(dlg::TEXTURE_TITLE, ControlKind::Static, kLeft, kTop + 8 * kRow + 4, 170, 20),
        Make(dlg::TEXTURE_LEVEL, ControlKind::ComboBox, kLeft + 174, kTop + 8 * kRow, 110, 22),
        Make(dlg::FILTER_TITLE, ControlKind::Static, kLeft, kTop + 9 * kRow + 4, 170, 20),
        Make(dlg::FILTER_LEVEL, ControlKind::ComboBox, kLeft + 174, kTop + 9 * kRow, 110, 22),
        Make(dlg::WATER_TITLE, ControlKind::Static, kLeft, kTop + 10 * kRow + 4, 170, 20),
        Make(dlg::WATER_LEVEL, ControlKind::ComboBox, kLeft + 174, kTop + 10 * kRow, 110, 22),
        Make(dlg::MV16, ControlKind::CheckBox, kRight, kTop, 280, 22),
        Make(dlg::MV08, ControlKind::CheckBox, kRight + 20, kTop + kRow, 260, 22),
        Make(dlg::MV21, ControlKind::CheckBox, kRight + 20, kTop + 2 * kRow, 260, 22),
        Make(dlg::MV05, ControlKind::CheckBox, kRight, kTop + 3 * kRow, 280, 22),
        Make(dlg::NOT_IMPORTANT, ControlKind::CheckBox, kRight, kTop + 4 * kRow, 280, 22),
        Make(dlg::GRASS, ControlKind::CheckBox, kRight, kTop + 5 * kRow, 280, 22),
        Make(dlg::MV20, ControlKind::CheckBox, kRight, kTop + 6 * kRow, 280, 22),
        Make(dlg::MV22, ControlKind::CheckBox, kRight, kTop + 7 * kRow, 280, 22),
        Make(dlg::STATUS, ControlKind::Static, kLeft, kTop + 11 * kRow + 10, 544, 72),
        Make(dlg::IDOK, ControlKind::Button, 464, 464, 124, 32),
    };
    return dialog::Dialog(dlg::VIDEO_OPTIONS, TextOfLabel(">MOVideo"), 600, 508, std::move(c), dlg::IDOK);
}

void VideoOptionsHandler::OnInit(dialog::Dialog& d) {
    StartupCancelled = false;
    RefreshControls(d);
    RefreshStatus(d);
}

void VideoOptionsHandler::RefreshControls(dialog::Dialog& d) {
    // Pixel shader 2.0 has no room for the shadow and post-processing
    // options: they go off and cannot be switched on.
    if (UsePS20) {
        DrawShadows = DrawAnimatedShadows = OptionMV06 = OptionMV01 = false;
        OptionMV16 = OptionMV08 = OptionMV21 = OptionMV05 = false;
    }
    d.CheckButton(dlg::PS20, UsePS20);
    for (uint32_t id : {dlg::SHADOWS, dlg::MV05, dlg::MV16})
        d.EnableItem(id, !UsePS20);

    d.CheckButton(dlg::SHADOWS, DrawShadows);
    if (!DrawShadows) DrawAnimatedShadows = OptionMV06 = OptionMV01 = false;
    for (uint32_t id : {dlg::MV06, dlg::ANIMATED_SHADOWS, dlg::MV01})
        d.EnableItem(id, DrawShadows);
    d.EnableItem(dlg::SHADOW_MAP_LEVEL, DrawShadows);

    for (const LabelText& t : kVideoTexts)
        d.SetItemText(t.id, m_Text(t.label));

    const CheckOption shown[] = {
        {dlg::MV06, &OptionMV06}, {dlg::ANIMATED_SHADOWS, &DrawAnimatedShadows},
        {dlg::MV01, &OptionMV01}, {dlg::GRASS, &DrawGrass},
        {dlg::MV20, &OptionMV20}, {dlg::MV22, &OptionMV22},
    };
    for (const CheckOption& c : shown)
        d.CheckButton(c.id, *c.option);

    static const char* const kShadowLevels[3] = {">Lv01", ">Lv02", ">Lv03"};
    static const char* const kLevels[3] = {">Lv04", ">Lv05", ">Lv06"};
    FillList(d, dlg::SHADOW_MAP_LEVEL, kShadowLevels, ShadowMapLevel, m_Text);
    FillList(d, dlg::TEXTURE_LEVEL, kLevels, TextureLevel, m_Text);
    FillList(d, dlg::FILTER_LEVEL, kLevels, FilterLevel, m_Text);
    FillList(d, dlg::WATER_LEVEL, kLevels, WaterTextureLevel, m_Text);

    d.CheckButton(dlg::MV16, OptionMV16);
    if (!OptionMV16) OptionMV08 = OptionMV21 = false;
    d.EnableItem(dlg::MV08, OptionMV16);
    d.EnableItem(dlg::MV21, OptionMV16);

    const CheckOption late[] = {
        {dlg::MV08, &OptionMV08},
        {dlg::MV21, &OptionMV21},
        {dlg::MV05, &OptionMV05},
        {dlg::NOT_IMPORTANT, &DrawNotImportant},
    };
    for (const CheckOption& c : late)
        d.CheckButton(c.id, *c.option);
    OptionAlwaysOn = true;
}

void VideoOptionsHandler::RefreshStatus(dialog::Dialog& d) {
    d.SetItemText(dlg::STATUS, VideoStatusText(g_dwTotalVideoMemoryMB, g_dwVideoMemoryClass, m_Text));
}

std::string VideoStatusText(uint32_t totalMB, uint32_t memoryClass, TextLookup text) {
    char memory[512];
    std::snprintf(memory, sizeof memory, "%s %i %s", text(">LVD03"), int(totalMB), text(">LVD04"));

    const char* textures = "";
    const char* shadows = "";
    switch (memoryClass) {
    case 0:
        textures = text(">LVD05");
        shadows = text(">LVD06");
        break;
    case 1:
        textures = text(TextureLevel != 0 || FilterLevel != 0 ? ">LVD08" : ">LVD07");
        shadows = text(ShadowMapLevel != 0 || !DrawShadows ? ">LVD10" : ">LVD09");
        break;
    case 2:
        textures = text(">LVD11");
        break;
    default:
        break;
    }

    const char* animated = "";
    if (DrawAnimatedShadows && OptionMV06) {
        animated = text(">LVD12");
    } else if (DrawAnimatedShadows) {
        animated = text(">LVD13");
    } else if (OptionMV06) {
        animated = text(">LVD14");
    }

    const char* post = "";
    if (OptionMV16 && OptionMV08) {
        post = text(">LVD15");
    } else if (!OptionMV16) {
        post = text(">LVD16");
    }

    char status[2048];
    std::snprintf(status, sizeof status, "%s %s %s %s %s", memory, textures, shadows, animated, post);
    return status;
}

void VideoOptionsHandler::OnCommand(dialog::Dialog& d, uint32_t id) {
    // Check boxes that change what else may be chosen.
    const CheckOption ruling[] = {
        {dlg::PS20, &UsePS20},
        {dlg::SHADOWS, &DrawShadows},
        {dlg::MV06, &OptionMV06},
        {dlg::MV01, &OptionMV01},
        {dlg::ANIMATED_SHADOWS, &DrawAnimatedShadows},
        {dlg::MV16, &OptionMV16},
    };
    for (const CheckOption& c : ruling) {
        if (c.id != id) continue;
        *c.option = d.IsButtonChecked(id);
        RefreshControls(d);
        RefreshStatus(d);
        return;
    }
    // The post-processing effects count only while post-processing is on.
    if (id == dlg::MV08 || id == dlg::MV21) {
        bool& option = id == dlg::MV08 ? OptionMV08 : OptionMV21;
        option = OptionMV16 && d.IsButtonChecked(id);
        RefreshStatus(d);
        return;
    }
    const CheckOption plain[] = {
        {dlg::MV05, &OptionMV05}, {dlg::NOT_IMPORTANT, &DrawNotImportant},
        {dlg::GRASS, &DrawGrass}, {dlg::MV20, &OptionMV20},
        {dlg::MV22, &OptionMV22},
    };
    for (const CheckOption& c : plain) {
        if (c.id != id) continue;
        *c.option = d.IsButtonChecked(id);
        RefreshStatus(d);
        return;
    }
    struct ListOption {
        uint32_t id;
        uint32_t* level;
    } const lists[] = {
        {dlg::SHADOW_MAP_LEVEL, &ShadowMapLevel},
        {dlg::TEXTURE_LEVEL, &TextureLevel},
        {dlg::FILTER_LEVEL, &FilterLevel},
        {dlg::WATER_LEVEL, &WaterTextureLevel},
    };
    for (const ListOption& l : lists) {
        if (l.id != id) continue;
        const int selection = d.GetListSelection(id);
        if (selection >= 0) *l.level = uint32_t(selection);
        RefreshStatus(d);
        return;
    }
    if (id == dlg::IDOK) {
        StartupCancelled = false;
        ShowLauncherNext = true;
        ShowVideoOptionsNext = false;
        WriteVideoConfig();
        d.End(int(id));
    }
}

// ---- Running them --------------------------------------------------------------

void LauncherDialog(window::Window* parent) {
    dialog::Dialog d = MakeLauncherDialog();
    LauncherHandler handler(AdapterModes(g_pD3D), DesktopMode(g_pD3D));
    dialog::RunModal(parent, d, handler, dlg::QUIT);
}

void VideoOptionsDialog(window::Window* parent) {
    dialog::Dialog d = MakeVideoOptionsDialog();
    VideoOptionsHandler handler;
    dialog::RunModal(parent, d, handler, dlg::IDOK);
}
