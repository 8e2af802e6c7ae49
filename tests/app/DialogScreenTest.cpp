// The dialogs on screen, unattended: drawn in a window of their own (the
// offscreen video driver), pictured when asked, and ended by their default
// button.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/Options.h"
#include "app/StartupDialogs.h"
#include "app/VideoConfig.h"
#include "app/WinMain.h"
#include "platform/dialog/Dialog.h"
#include "platform/window/Window.h"
#include "tests/app/ScratchDir.h"

namespace {

const char* LabelItself(const char* label) {
    return label;
}

// Records what the dialog asked of its handler.
class CountingHandler : public dialog::Handler {
  public:
    explicit CountingHandler(bool endOnDefault) : endOnDefault_(endOnDefault) {}
    void OnInit(dialog::Dialog& d) override {
        ++inits;
        d.SetItemText(1, "OK");
    }
    void OnCommand(dialog::Dialog& d, uint32_t id) override {
        commands.push_back(id);
        if (endOnDefault_ && id == d.DefaultButton()) d.End(int(id));
    }
    int inits = 0;
    std::vector<uint32_t> commands;

  private:
    bool endOnDefault_;
};

dialog::Dialog SmallDialog() {
    dialog::Control text;
    text.id = 10;
    text.kind = dialog::ControlKind::Static;
    text.x = 10;
    text.y = 10;
    text.w = 200;
    text.h = 20;
    text.text = "Zaz\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1"; // Polish letters, code page 1250
    dialog::Control ok;
    ok.id = 1;
    ok.kind = dialog::ControlKind::Button;
    ok.x = 150;
    ok.y = 60;
    ok.w = 80;
    ok.h = 30;
    return dialog::Dialog(77, "test", 240, 100, {text, ok}, 1);
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels; // top-down RGB
};

Picture ReadBmp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Picture p;
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return p;
    uint32_t offset = 0;
    int32_t w = 0, h = 0;
    uint16_t bpp = 0;
    std::memcpy(&offset, &b[10], 4);
    std::memcpy(&w, &b[18], 4);
    std::memcpy(&h, &b[22], 4);
    std::memcpy(&bpp, &b[28], 2);
    if (bpp != 24 || w <= 0 || h == 0) return p;
    const int rows = h < 0 ? -h : h;
    const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
    if (b.size() < offset + stride * size_t(rows)) return p;
    p.width = w;
    p.height = rows;
    for (int y = 0; y < rows; ++y) {
        const size_t row = h > 0 ? size_t(rows - 1 - y) : size_t(y);
        for (int x = 0; x < w; ++x) {
            const unsigned char* px =
                reinterpret_cast<const unsigned char*>(&b[offset + row * stride + size_t(x) * 3]);
            p.pixels.push_back(uint32_t(px[2]) << 16 | uint32_t(px[1]) << 8 | px[0]);
        }
    }
    return p;
}

class DialogScreen : public ScratchDirTest {
  protected:
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 0); }
    void SetUp() override {
        ScratchDirTest::SetUp();
        const char* u = std::getenv("ZT_UNATTENDED");
        savedUnattended_ = u ? u : "";
        hadUnattended_ = u != nullptr;
        setenv("ZT_UNATTENDED", "1", 1);
        shots_ = root_ / "shots";
        std::filesystem::create_directories(shots_);
    }
    void TearDown() override {
        unsetenv("ZT_DIALOG_SHOTS");
        if (hadUnattended_) {
            setenv("ZT_UNATTENDED", savedUnattended_.c_str(), 1);
        } else {
            unsetenv("ZT_UNATTENDED");
        }
        ScratchDirTest::TearDown();
    }
    std::filesystem::path shots_;
    std::string savedUnattended_;
    bool hadUnattended_ = false;
};

TEST_F(DialogScreen, UnattendedTakesTheDefaultButtonWithoutAWindow) {
    dialog::Dialog d = SmallDialog();
    CountingHandler h(true);
    EXPECT_EQ(dialog::RunModal(nullptr, d, h, 0), 1);
    EXPECT_EQ(h.inits, 1);
    EXPECT_EQ(h.commands, std::vector<uint32_t>{1});
    EXPECT_TRUE(std::filesystem::is_empty(shots_));
}

TEST_F(DialogScreen, AHandlerThatIgnoresTheDefaultStillLetsTheRunEnd) {
    dialog::Dialog d = SmallDialog();
    CountingHandler h(false);
    EXPECT_EQ(dialog::RunModal(nullptr, d, h, 0), 0);
    EXPECT_TRUE(d.Ended());
    EXPECT_EQ(h.commands, std::vector<uint32_t>{1});
}

// Nobody at the screen: a SIGTERM must still end a dialog that waits for a
// click (the launcher under ./run.sh without a display once waited forever),
// through its close button where it has one.
TEST_F(DialogScreen, ATerminationSignalEndsAWaitingDialog) {
    unsetenv("ZT_UNATTENDED");
    window::CatchTerminationSignals();
    struct Case {
        uint32_t closeId;
        int result;
        std::vector<uint32_t> commands;
    };
    for (const Case& c : {Case{1, 1, {1}}, Case{0, 0, {}}}) {
        SCOPED_TRACE(c.closeId);
        dialog::Dialog d = SmallDialog();
        CountingHandler h(true);
        std::raise(SIGTERM);
        EXPECT_EQ(dialog::RunModal(nullptr, d, h, c.closeId), c.result);
        EXPECT_EQ(h.commands, c.commands);
        EXPECT_TRUE(window::TerminationRequested());
        window::ClearMessageQueue();
        EXPECT_FALSE(window::TerminationRequested());
    }
}

TEST_F(DialogScreen, APictureShowsTheDrawnDialogAtItsSize) {
    setenv("ZT_DIALOG_SHOTS", shots_.c_str(), 1);
    dialog::Dialog d = SmallDialog();
    CountingHandler h(true);
    EXPECT_EQ(dialog::RunModal(nullptr, d, h, 0), 1);
    const Picture p = ReadBmp(shots_ / "dialog77.bmp");
    ASSERT_EQ(p.width, 240);
    ASSERT_EQ(p.height, 100);
    // The background, the text and the button make several colours; the
    // text's row differs from the empty row under it.
    std::set<uint32_t> colours(p.pixels.begin(), p.pixels.end());
    EXPECT_GE(colours.size(), 4u);
    auto rowColours = [&](int y, int x0, int x1) {
        std::set<uint32_t> c;
        for (int x = x0; x < x1; ++x)
            c.insert(p.pixels[size_t(y) * 240 + size_t(x)]);
        return c.size();
    };
    bool textDrawn = false;
    for (int y = 10; y < 30; ++y)
        textDrawn |= rowColours(y, 10, 150) > 2;
    EXPECT_TRUE(textDrawn) << "no text where the static control is";
    EXPECT_EQ(rowColours(45, 10, 140), 1u) << "an empty row holds only the background";
    bool buttonDrawn = true;
    for (int y = 62; y < 88; y += 5)
        buttonDrawn &= p.pixels[size_t(y) * 240 + 190] != p.pixels[size_t(y) * 240 + 5];
    EXPECT_TRUE(buttonDrawn) << "the button's face differs from the background";
}

TEST_F(DialogScreen, TheStartupDialogsRunUnattendedToTheirDefaultButtons) {
    setenv("ZT_DIALOG_SHOTS", shots_.c_str(), 1);
    std::filesystem::create_directories(root_ / "save");
    WriteFile("zt.cfg", "screenwidth 640\nscreenheight 480\n");
    const uint32_t width = screenwidth, height = screenheight;
    screenwidth = 800;
    screenheight = 600;

    dialog::Dialog video = MakeVideoOptionsDialog();
    VideoOptionsHandler videoHandler(&LabelItself);
    EXPECT_EQ(dialog::RunModal(nullptr, video, videoHandler, dlg::IDOK), int(dlg::IDOK));
    EXPECT_TRUE(ShowLauncherNext);
    EXPECT_EQ(ReadFile("save/video.cfg").size(), VIDEO_CFG_SIZE);

    dialog::Dialog launcher = MakeLauncherDialog();
    LauncherHandler launcherHandler({{640, 480}, {800, 600}}, {}, &LabelItself);
    EXPECT_EQ(dialog::RunModal(nullptr, launcher, launcherHandler, dlg::QUIT), int(dlg::START));
    EXPECT_FALSE(StartupCancelled);
    EXPECT_EQ(ReadFile("zt.cfg"), "ScreenWidth 800\nScreenHeight 600\n") << "the current size stays chosen";

    for (const dialog::Dialog* d : {&video, &launcher}) {
        const Picture p = ReadBmp(shots_ / ("dialog" + std::to_string(d->ResourceId()) + ".bmp"));
        EXPECT_EQ(p.width, d->Width()) << d->ResourceId();
        EXPECT_EQ(p.height, d->Height()) << d->ResourceId();
    }
    screenwidth = width;
    screenheight = height;
    g_f2DScaleX = float(width) / 1024.0f;
    g_f2DScaleY = float(height) / 768.0f;
    ShowLauncherNext = ShowVideoOptionsNext = StartupCancelled = false;
}

} // namespace
