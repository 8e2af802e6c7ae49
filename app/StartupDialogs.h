// The start-up dialogs, shown before the device exists: the launcher
// (resource 130: the screen resolution, start, video options, quit) and the
// video options (resource 135: the options of "save\video.cfg"). They talk to
// the process entry through StartupCancelled, ShowLauncherNext and
// ShowVideoOptionsNext (app/WinMain.h). The launcher writes the chosen
// resolution back into "zt.cfg"; the video options write "save\video.cfg".
//
// Each dialog is a handler over a platform dialog (platform/dialog): its
// controls carry the resource ids, every visible text is a text label looked
// up through a text function (the text table in the game, the label itself in
// tests), and the rules below run on the plain control model, on screen or
// not.
//
// Failure policy: a zt.cfg that cannot be rewritten stays as it was, and the
// log says why; the resolution list is never empty when the launcher shows it
// (the desktop mode, or the current screen size, stands in). Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dialog/Dialog.h"

namespace gfx {
class Interface;
}
namespace window {
class Window;
}

// Resource and control ids.
namespace dlg {
constexpr uint32_t LAUNCHER = 130;
constexpr uint32_t VIDEO_OPTIONS = 135;

constexpr uint32_t IDOK = 1;
// Launcher.
constexpr uint32_t QUIT = 1000, START = 1001, VIDEO = 1002, GAME_NAME = 1003, VERSION = 1004, TRANS = 1005;
constexpr uint32_t RESOLUTION_TITLE = 1006, RESOLUTION = 1007, HINT1 = 1021, HINT2 = 1022;
// Video options.
constexpr uint32_t SHADOW_MAP_LEVEL = 1007, FILTER_LEVEL = 1008, TEXTURE_LEVEL = 1009, WATER_LEVEL = 1010;
constexpr uint32_t SHADOWS = 1021, PS20 = 1022, MV06 = 1023, ANIMATED_SHADOWS = 1024, MV01 = 1025;
constexpr uint32_t MV08 = 1037, MV05 = 1038, NOT_IMPORTANT = 1039, MV16 = 1040, GRASS = 1041, MV20 = 1042;
constexpr uint32_t MV21 = 1043, STATUS = 1044, MV22 = 1045, GROUP = 1046, SHADOW_MAP_TITLE = 1047;
constexpr uint32_t TEXTURE_TITLE = 1048, FILTER_TITLE = 1049, WATER_TITLE = 1050, INTRO = 1052;
} // namespace dlg

// The version text of the launcher.
constexpr const char* LAUNCHER_VERSION_TEXT = " ver 1.00, 12 II 2010.";

// The text of a label.
using TextLookup = const char* (*)(const char* label);
// g_TextMgr's text.
const char* TextOfLabel(const char* label);

// ---- Resolution list ---------------------------------------------------------

struct ResolutionEntry {
    char szName[64]; // "%ix%i"
    uint32_t dwWidth;
    uint32_t dwHeight;
};

struct ResolutionList {
    static constexpr uint32_t MAX_ENTRIES = 64;
    ResolutionEntry entries[MAX_ENTRIES] = {};
    uint32_t dwCount = 0;

    void Clear() { dwCount = 0; }
    // False when the list is full.
    bool Add(uint32_t width, uint32_t height);
};

extern ResolutionList g_ResolutionList;

struct DisplaySize {
    uint32_t width = 0;
    uint32_t height = 0;
};

// The sizes the launcher offers, in its order (one size twice).
extern const DisplaySize kLauncherSizes[14];

// The X8R8G8B8 modes of adapter 0 and its desktop mode (0 x 0 when unknown).
std::vector<DisplaySize> AdapterModes(gfx::Interface* d3d);
DisplaySize DesktopMode(gfx::Interface* d3d);

// Fills the list with the offered sizes the adapter has a mode of; when none
// is, the desktop mode stands in, else the current screen size.
void BuildResolutionList(ResolutionList& list, const std::vector<DisplaySize>& modes, DisplaySize desktop,
                         DisplaySize current);
// The entry the launcher selects: the last of the current size, else 0.
int LauncherSelection(const ResolutionList& list, uint32_t width, uint32_t height);
// The entry the rewrite takes: the first of the size among the first 63,
// else 0.
int FindResolutionEntry(const ResolutionList& list, uint32_t width, uint32_t height);

// Rewrites "zt.cfg": the screenwidth and screenheight lines get the size of
// the list's entry for the current screen size and are run by the console;
// every other line is kept byte for byte. The file is replaced whole or not
// at all (os::AtomicFile); false, with a line in the log, when it could not
// be read or rewritten.
bool UpdateConfigResolution();
// The launcher's start and video-options steps: the entry's size becomes
// the screen size and the 2D scale factors, then the rewrite.
void ApplyResolution(const ResolutionList& list, int index);

// ---- The dialogs -----------------------------------------------------------

dialog::Dialog MakeLauncherDialog();
dialog::Dialog MakeVideoOptionsDialog();

class LauncherHandler : public dialog::Handler {
  public:
    LauncherHandler(std::vector<DisplaySize> modes, DisplaySize desktop, TextLookup text = &TextOfLabel)
        : m_Modes(std::move(modes)), m_Desktop(desktop), m_Text(text) {}
    void OnInit(dialog::Dialog& d) override;
    void OnCommand(dialog::Dialog& d, uint32_t id) override;

  private:
    void TakeResolution(dialog::Dialog& d);
    std::vector<DisplaySize> m_Modes;
    DisplaySize m_Desktop;
    TextLookup m_Text;
};

class VideoOptionsHandler : public dialog::Handler {
  public:
    explicit VideoOptionsHandler(TextLookup text = &TextOfLabel) : m_Text(text) {}
    void OnInit(dialog::Dialog& d) override;
    void OnCommand(dialog::Dialog& d, uint32_t id) override;

    // Applies the enabling rules to the options and the controls.
    void RefreshControls(dialog::Dialog& d);
    void RefreshStatus(dialog::Dialog& d);

  private:
    TextLookup m_Text;
};

// The status line from the video memory, its class and the options.
std::string VideoStatusText(uint32_t totalMB, uint32_t memoryClass, TextLookup text);

// Run the dialogs modally over the window.
void LauncherDialog(window::Window* parent);
void VideoOptionsDialog(window::Window* parent);
