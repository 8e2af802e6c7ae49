// The start-up dialogs' logic on the plain control model: the launcher's
// resolution list and commands, the "zt.cfg" rewrite, the video options'
// enabling rules and the status text.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandMgr.h"
#include "app/Options.h"
#include "app/StartupDialogs.h"
#include "app/VideoConfig.h"
#include "app/WinMain.h"
#include "tests/app/ScratchDir.h"

namespace {

// Texts are their labels, so the tests see which label a control shows.
const char* LabelItself(const char* label) {
    return label;
}

std::vector<std::string> Names(const ResolutionList& list) {
    std::vector<std::string> names;
    for (uint32_t i = 0; i < list.dwCount; ++i)
        names.emplace_back(list.entries[i].szName);
    return names;
}

// ---- Resolution list -------------------------------------------------------

TEST(ResolutionList, OffersTheListedSizesTheAdapterHas) {
    using V = std::vector<std::string>;
    struct Case {
        const char* what;
        std::vector<DisplaySize> modes;
        V names;
    } cases[] = {
        {"one mode", {{1024, 768}}, V{"1024x768"}},
        {"order is the launcher's, not the adapter's",
         {{1920, 1080}, {640, 480}, {1280, 720}, {800, 600}},
         V{"640x480", "800x600", "1280x720", "1920x1080"}},
        {"1680x1050 is offered twice", {{1680, 1050}, {1440, 900}}, V{"1680x1050", "1440x900", "1680x1050"}},
        {"sizes not offered are left out", {{1024, 600}, {1280, 800}, {1024, 768}}, V{"1024x768"}},
        {"every size",
         {{640, 480},
          {800, 600},
          {1024, 768},
          {1280, 720},
          {1380, 720},
          {1280, 1024},
          {1366, 768},
          {1680, 1050},
          {1440, 900},
          {1600, 1200},
          {1920, 1080},
          {1920, 1200},
          {2048, 1536}},
         V{"640x480", "800x600", "1024x768", "1280x720", "1380x720", "1280x1024", "1366x768", "1680x1050",
           "1440x900", "1600x1200", "1680x1050", "1920x1080", "1920x1200", "2048x1536"}},
        // The mend: never an empty list.
        {"nothing offered: the desktop mode", {{1024, 600}}, V{"1280x1024"}},
        {"no modes at all: the desktop mode", {}, V{"1280x1024"}},
    };
    for (const auto& c : cases) {
        ResolutionList list;
        BuildResolutionList(list, c.modes, {1280, 1024}, {800, 600});
        EXPECT_EQ(Names(list), c.names) << c.what;
    }
    ResolutionList list;
    BuildResolutionList(list, {}, {0, 0}, {800, 600});
    EXPECT_EQ(Names(list), V{"800x600"}) << "no desktop mode either: the current size stays";
    EXPECT_EQ(list.entries[0].dwWidth, 800u);
    EXPECT_EQ(list.entries[0].dwHeight, 600u);
}

TEST(ResolutionList, HoldsAtMost64Entries) {
    ResolutionList list;
    for (uint32_t i = 0; i < 64; ++i)
        EXPECT_TRUE(list.Add(100 + i, 100));
    EXPECT_FALSE(list.Add(1, 1));
    EXPECT_EQ(list.dwCount, 64u);
    EXPECT_STREQ(list.entries[63].szName, "163x100");
}

TEST(ResolutionList, TheLauncherSelectsTheLastEntryOfTheSizeAndTheRewriteFindsTheFirst) {
    ResolutionList list;
    BuildResolutionList(list, {{800, 600}, {1680, 1050}, {1440, 900}, {1920, 1080}}, {}, {});
    ASSERT_EQ(Names(list),
              (std::vector<std::string>{"800x600", "1680x1050", "1440x900", "1680x1050", "1920x1080"}));
    struct Case {
        DisplaySize size;
        int selected, found;
    } cases[] = {
        {{1680, 1050}, 3, 1}, {{800, 600}, 0, 0},
        {{1920, 1080}, 4, 4}, {{1024, 768}, 0, 0}, // not listed: entry 0
        {{1680, 1200}, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LauncherSelection(list, c.size.width, c.size.height), c.selected) << c.size.width;
        EXPECT_EQ(FindResolutionEntry(list, c.size.width, c.size.height), c.found) << c.size.width;
    }
}

TEST(ResolutionList, TheRewriteLooksAtTheFirst63EntriesOnly) {
    ResolutionList list;
    for (uint32_t i = 0; i < 64; ++i)
        list.Add(1000 + i, 700);
    EXPECT_EQ(FindResolutionEntry(list, 1062, 700), 62);
    EXPECT_EQ(FindResolutionEntry(list, 1063, 700), 0);
    EXPECT_EQ(LauncherSelection(list, 1063, 700), 63);
}

// ---- zt.cfg rewrite --------------------------------------------------------

class ConfigRewrite : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        savedList_ = g_ResolutionList;
        savedWidth_ = screenwidth;
        savedHeight_ = screenheight;
        BuildResolutionList(g_ResolutionList, {{800, 600}, {1024, 768}, {1680, 1050}}, {}, {});
    }
    void TearDown() override {
        g_ResolutionList = savedList_;
        screenwidth = savedWidth_;
        screenheight = savedHeight_;
        ScratchDirTest::TearDown();
    }
    ResolutionList savedList_;
    uint32_t savedWidth_ = 0, savedHeight_ = 0;
};

TEST_F(ConfigRewrite, ReplacesTheSizeLinesAndKeepsEveryOtherLineByteForByte) {
    struct Case {
        const char* what;
        DisplaySize size;
        std::string before, after;
    } cases[] = {
        {"plain",
         {1024, 768},
         "screenwidth 640\nscreenheight 480\nDifficulty 2\n",
         "ScreenWidth 1024\nScreenHeight 768\nDifficulty 2\n"},
        {"any letter case, any value",
         {1680, 1050},
         "SCREENWIDTH 12\nFOV 1.2\nScreenHeight\n",
         "ScreenWidth 1680\nFOV 1.2\nScreenHeight 1050\n"},
        {"empty lines and CR LF and CR ends kept",
         {800, 600},
         "\n\nDebug 1\r\n\r\nscreenheight 1\rscreenwidth 2\n\n",
         "\n\nDebug 1\r\n\r\nScreenHeight 600\rScreenWidth 800\n\n"},
        {"tabs, labels and long lines kept",
         {800, 600},
         "Debug\t1\nexec >GameName\n" + std::string(700, 'x') + "\nscreenwidth\t9\n",
         "Debug\t1\nexec >GameName\n" + std::string(700, 'x') + "\nScreenWidth 800\n"},
        {"blank lines are not empty", {800, 600}, "  \nsound 0\n", "  \nsound 0\n"},
        {"a word that only begins like the keyword stays",
         {800, 600},
         "screenwidthx 5\nscreenheight2 7\n",
         "screenwidthx 5\nscreenheight2 7\n"},
        {"no end of line at the end",
         {1024, 768},
         "Profiler 1\nscreenwidth 3",
         "Profiler 1\nScreenWidth 1024"},
        {"a size not listed takes entry 0",
         {1234, 567},
         "screenwidth 1\nscreenheight 2\n",
         "ScreenWidth 800\nScreenHeight 600\n"},
    };
    for (const auto& c : cases) {
        WriteFile("zt.cfg", c.before);
        screenwidth = c.size.width;
        screenheight = c.size.height;
        EXPECT_TRUE(UpdateConfigResolution()) << c.what;
        EXPECT_EQ(ReadFile("zt.cfg"), c.after) << c.what;
        EXPECT_FALSE(Exists("zt.bak")) << c.what;
    }
}

TEST_F(ConfigRewrite, TheRewrittenLinesAreRunByTheConsole) {
    WriteFile("zt.cfg", "screenwidth 640\nscreenheight 480\n");
    screenwidth = 1234; // not listed: entry 0, 800 x 600, is written and run
    screenheight = 567;
    UpdateConfigResolution();
    EXPECT_EQ(screenwidth, 800u);
    EXPECT_EQ(screenheight, 600u);
}

TEST_F(ConfigRewrite, AnEmptyListKeepsTheCurrentSize) {
    g_ResolutionList.Clear();
    WriteFile("zt.cfg", "screenwidth 640\nscreenheight 480\n");
    screenwidth = 1100;
    screenheight = 700;
    UpdateConfigResolution();
    EXPECT_EQ(ReadFile("zt.cfg"), "ScreenWidth 1100\nScreenHeight 700\n");
}

TEST_F(ConfigRewrite, AMissingConfigIsLeftMissingAndLogged) {
    EXPECT_FALSE(UpdateConfigResolution());
    EXPECT_FALSE(Exists("zt.cfg"));
    EXPECT_FALSE(Exists("zt.bak"));
    EXPECT_NE(
        ReadFile("!console.txt").find("zt.cfg could not be read, so it was not rewritten: No such file"),
        std::string::npos);
}

// A rewrite that cannot be written whole changes nothing: the file stays as
// it was, the log says why, and the next start finds the same settings.
TEST_F(ConfigRewrite, ARewriteThatCannotBeWrittenLeavesTheConfigWhole) {
    const std::string before = "screenwidth 640\nscreenheight 480\nDifficulty 2\n";
    WriteFile("zt.cfg", before);
    std::filesystem::create_directories(root_ / "zt.cfg.new"); // the temporary file cannot be made
    screenwidth = 1024;
    screenheight = 768;
    EXPECT_FALSE(UpdateConfigResolution());
    EXPECT_EQ(ReadFile("zt.cfg"), before);
    EXPECT_NE(ReadFile("!console.txt").find("zt.cfg could not be rewritten and stays as it was: "),
              std::string::npos)
        << ReadFile("!console.txt");
}

// ---- Launcher --------------------------------------------------------------

class LauncherTest : public ConfigRewrite {
  protected:
    void SetUp() override {
        ConfigRewrite::SetUp();
        std::filesystem::create_directories(root_ / "save");
        WriteFile("zt.cfg", "screenwidth 640\nscreenheight 480\nDifficulty 1\n");
        screenwidth = 1680;
        screenheight = 1050;
        StartupCancelled = true;
        ShowLauncherNext = ShowVideoOptionsNext = false;
    }
    void TearDown() override {
        StartupCancelled = ShowLauncherNext = ShowVideoOptionsNext = false;
        g_f2DScaleX = float(savedWidth_) / 1024.0f;
        g_f2DScaleY = float(savedHeight_) / 768.0f;
        ConfigRewrite::TearDown();
    }
    dialog::Dialog Open(std::vector<DisplaySize> modes) {
        dialog::Dialog d = MakeLauncherDialog();
        handler_ = std::make_unique<LauncherHandler>(std::move(modes), DisplaySize{1920, 1080}, &LabelItself);
        d.Init(*handler_);
        return d;
    }
    std::unique_ptr<LauncherHandler> handler_;
};

TEST_F(LauncherTest, InitFillsTheListSelectsTheCurrentSizeAndShowsItsLabels) {
    dialog::Dialog d = Open({{800, 600}, {1680, 1050}, {1024, 768}});
    EXPECT_FALSE(StartupCancelled);
    const dialog::Control* list = d.Item(dlg::RESOLUTION);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->items, (std::vector<std::string>{"800x600", "1024x768", "1680x1050", "1680x1050"}));
    EXPECT_EQ(list->selection, 3) << "the last entry of the current size";
    struct Case {
        uint32_t id;
        const char* text;
    } texts[] = {{1003, ">GameName"}, {1004, " ver 1.00, 12 II 2010."},
                 {1005, ">Trans"},    {1002, ">LVD17"},
                 {1006, ">Lt01"},     {1021, ">Lt02"},
                 {1022, ">Lt03"},     {1001, ">Lt09"},
                 {1000, ">Lt11"}};
    for (const Case& t : texts)
        EXPECT_EQ(d.GetItemText(t.id), t.text) << t.id;
    EXPECT_TRUE(Exists("save/keys.cfg")) << "the key bindings were loaded (and made)";
    EXPECT_EQ(d.DefaultButton(), dlg::START);
}

TEST_F(LauncherTest, StartTakesTheChosenSizeIntoTheScreenAndZtCfg) {
    dialog::Dialog d = Open({{800, 600}, {1024, 768}});
    d.Select(*handler_, dlg::RESOLUTION, 1);
    EXPECT_FALSE(d.Ended()) << "choosing a size ends nothing";
    StartupCancelled = true;
    d.Click(*handler_, dlg::START);
    EXPECT_TRUE(d.Ended());
    EXPECT_FALSE(StartupCancelled);
    EXPECT_FALSE(ShowVideoOptionsNext);
    EXPECT_EQ(screenwidth, 1024u);
    EXPECT_EQ(screenheight, 768u);
    EXPECT_FLOAT_EQ(g_f2DScaleX, 1.0f);
    EXPECT_FLOAT_EQ(g_f2DScaleY, 1.0f);
    EXPECT_EQ(ReadFile("zt.cfg"), "ScreenWidth 1024\nScreenHeight 768\nDifficulty 1\n");
}

TEST_F(LauncherTest, VideoOptionsSavesTheSizeFirstAndAsksForTheOtherDialog) {
    dialog::Dialog d = Open({{800, 600}, {1024, 768}});
    d.Select(*handler_, dlg::RESOLUTION, 0);
    d.Click(*handler_, dlg::VIDEO);
    EXPECT_TRUE(d.Ended());
    EXPECT_TRUE(ShowVideoOptionsNext);
    EXPECT_FALSE(StartupCancelled);
    EXPECT_EQ(screenwidth, 800u);
    EXPECT_FLOAT_EQ(g_f2DScaleX, 800.0f / 1024.0f);
    EXPECT_FLOAT_EQ(g_f2DScaleY, 600.0f / 768.0f);
    EXPECT_EQ(ReadFile("zt.cfg"), "ScreenWidth 800\nScreenHeight 600\nDifficulty 1\n");
}

TEST_F(LauncherTest, QuitCancelsTheStartAndKeepsZtCfg) {
    dialog::Dialog d = Open({{800, 600}});
    d.Click(*handler_, dlg::QUIT);
    EXPECT_TRUE(d.Ended());
    EXPECT_TRUE(StartupCancelled);
    EXPECT_EQ(ReadFile("zt.cfg"), "screenwidth 640\nscreenheight 480\nDifficulty 1\n");
}

TEST_F(LauncherTest, WithoutAnyListedModeTheDesktopModeIsOffered) {
    dialog::Dialog d = Open({});
    EXPECT_EQ(d.Item(dlg::RESOLUTION)->items, std::vector<std::string>{"1920x1080"});
    EXPECT_EQ(d.GetListSelection(dlg::RESOLUTION), 0);
    d.Click(*handler_, dlg::START);
    EXPECT_EQ(screenwidth, 1920u);
    EXPECT_EQ(screenheight, 1080u);
}

TEST_F(LauncherTest, NoSelectionTakesTheFirstEntry) {
    dialog::Dialog d = Open({{800, 600}, {1024, 768}});
    d.SetListSelection(dlg::RESOLUTION, -1);
    d.Click(*handler_, dlg::START);
    EXPECT_EQ(screenwidth, 800u);
}

// ---- Video options ---------------------------------------------------------

// The options the dialog edits, kept and put back around each test.
struct VideoOptionSet {
    bool ps20, shadows, animated, mv06, mv01, mv16, mv08, mv21, mv05, notImportant, grass, mv20, mv22,
        alwaysOn;
    uint32_t shadowMap, texture, filter, water;

    bool operator==(const VideoOptionSet&) const = default;
    static VideoOptionSet Now() {
        return {UsePS20,      DrawShadows, DrawAnimatedShadows, OptionMV06,     OptionMV01,
                OptionMV16,   OptionMV08,  OptionMV21,          OptionMV05,     DrawNotImportant,
                DrawGrass,    OptionMV20,  OptionMV22,          OptionAlwaysOn, ShadowMapLevel,
                TextureLevel, FilterLevel, WaterTextureLevel};
    }
    void Apply() const {
        UsePS20 = ps20;
        DrawShadows = shadows;
        DrawAnimatedShadows = animated;
        OptionMV06 = mv06;
        OptionMV01 = mv01;
        OptionMV16 = mv16;
        OptionMV08 = mv08;
        OptionMV21 = mv21;
        OptionMV05 = mv05;
        DrawNotImportant = notImportant;
        DrawGrass = grass;
        OptionMV20 = mv20;
        OptionMV22 = mv22;
        OptionAlwaysOn = alwaysOn;
        ShadowMapLevel = shadowMap;
        TextureLevel = texture;
        FilterLevel = filter;
        WaterTextureLevel = water;
    }
};

// Everything on, best levels.
constexpr VideoOptionSet kAllOn = {false, true, true, true, true,  true, true, true, true,
                                   true,  true, true, true, false, 0,    0,    0,    0};

class VideoOptionsTest : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        std::filesystem::create_directories(root_ / "save");
        saved_ = VideoOptionSet::Now();
        savedMB_ = g_dwTotalVideoMemoryMB;
        savedClass_ = g_dwVideoMemoryClass;
        kAllOn.Apply();
        g_dwTotalVideoMemoryMB = 512;
        g_dwVideoMemoryClass = 0;
        StartupCancelled = true;
        ShowLauncherNext = false;
        ShowVideoOptionsNext = true;
    }
    void TearDown() override {
        saved_.Apply();
        g_dwTotalVideoMemoryMB = savedMB_;
        g_dwVideoMemoryClass = savedClass_;
        StartupCancelled = ShowLauncherNext = ShowVideoOptionsNext = false;
        ScratchDirTest::TearDown();
    }
    dialog::Dialog Open() {
        dialog::Dialog d = MakeVideoOptionsDialog();
        d.Init(handler_);
        return d;
    }
    VideoOptionsHandler handler_{&LabelItself};
    VideoOptionSet saved_{};
    uint32_t savedMB_ = 0, savedClass_ = 0;
};

TEST_F(VideoOptionsTest, InitShowsEveryLabelAndTheOptions) {
    dialog::Dialog d = Open();
    EXPECT_FALSE(StartupCancelled);
    struct Case {
        uint32_t id;
        const char* label;
    } texts[] = {{1, ">MMOK"},    {1046, ">MOVideo"}, {1052, ">LVD01"}, {1022, ">PS20"}, {1021, ">G27"},
                 {1025, ">MV01"}, {1023, ">MV06"},    {1024, ">MV02"},  {1047, ">G28"},  {1048, ">G29"},
                 {1049, ">G30"},  {1050, ">G31"},     {1037, ">MV08"},  {1038, ">MV05"}, {1039, ">MV17"},
                 {1040, ">MV16"}, {1041, ">MV19"},    {1042, ">MV20"},  {1045, ">MV22"}, {1043, ">MV21"}};
    for (const Case& t : texts)
        EXPECT_EQ(d.GetItemText(t.id), t.label) << t.id;
    for (uint32_t id : {1007u, 1008u, 1009u, 1010u})
        ASSERT_NE(d.Item(id), nullptr) << id;
    EXPECT_EQ(d.Item(1007)->items, (std::vector<std::string>{">Lv01", ">Lv02", ">Lv03"}));
    for (uint32_t id : {1008u, 1009u, 1010u}) {
        EXPECT_EQ(d.Item(id)->items, (std::vector<std::string>{">Lv04", ">Lv05", ">Lv06"})) << id;
    }
    for (uint32_t id : {1021u, 1023u, 1024u, 1025u, 1037u, 1038u, 1039u, 1040u, 1041u, 1042u, 1043u, 1045u}) {
        EXPECT_TRUE(d.IsButtonChecked(id)) << id;
        EXPECT_TRUE(d.IsItemEnabled(id)) << id;
    }
    EXPECT_FALSE(d.IsButtonChecked(1022));
    EXPECT_TRUE(OptionAlwaysOn);
    EXPECT_EQ(d.DefaultButton(), dlg::IDOK);
}

TEST_F(VideoOptionsTest, TheEnablingRulesClearWhatCannotBeUsed) {
    struct Case {
        const char* what;
        VideoOptionSet start;
        VideoOptionSet after;
        std::vector<uint32_t> disabled;
    } cases[] = {
        {"all on",
         kAllOn,
         [] {
             auto s = kAllOn;
             s.alwaysOn = true;
             return s;
         }(),
         {}},
        {"pixel shader 2.0 forces shadows and post-processing off",
         [] {
             auto s = kAllOn;
             s.ps20 = true;
             return s;
         }(),
         {true, false, false, false, false, false, false, false, false, true, true, true, true, true, 0, 0, 0,
          0},
         {1021, 1023, 1024, 1025, 1007, 1037, 1038, 1040, 1043}},
        {"no shadows: their details go",
         [] {
             auto s = kAllOn;
             s.shadows = false;
             return s;
         }(),
         {false, false, false, false, false, true, true, true, true, true, true, true, true, true, 0, 0, 0,
          0},
         {1023, 1024, 1025, 1007}},
        {"no post-processing: depth of field and HDR go",
         [] {
             auto s = kAllOn;
             s.mv16 = false;
             return s;
         }(),
         {false, true, true, true, true, false, false, false, true, true, true, true, true, true, 0, 0, 0, 0},
         {1037, 1043}},
        {"levels and plain options are kept",
         {false, true, false, false, true, true, false, true, false, false, false, false, false, false, 2, 1,
          2, 1},
         {false, true, false, false, true, true, false, true, false, false, false, false, false, true, 2, 1,
          2, 1},
         {}},
    };
    const std::vector<uint32_t> switches = {1007, 1021, 1023, 1024, 1025, 1037, 1038,
                                            1039, 1040, 1041, 1042, 1043, 1045};
    for (const auto& c : cases) {
        c.start.Apply();
        dialog::Dialog d = Open();
        const VideoOptionSet now = VideoOptionSet::Now();
        EXPECT_TRUE(now == c.after) << c.what;
        for (uint32_t id : switches) {
            const bool off = std::find(c.disabled.begin(), c.disabled.end(), id) != c.disabled.end();
            EXPECT_EQ(d.IsItemEnabled(id), !off) << c.what << ": control " << id;
        }
        EXPECT_EQ(d.IsButtonChecked(1022), c.after.ps20) << c.what;
        EXPECT_EQ(d.IsButtonChecked(1021), c.after.shadows) << c.what;
        EXPECT_EQ(d.IsButtonChecked(1024), c.after.animated) << c.what;
        EXPECT_EQ(d.IsButtonChecked(1040), c.after.mv16) << c.what;
        EXPECT_EQ(d.IsButtonChecked(1037), c.after.mv08) << c.what;
        EXPECT_EQ(d.GetListSelection(1007), int(c.after.shadowMap)) << c.what;
        EXPECT_EQ(d.GetListSelection(1009), int(c.after.texture)) << c.what;
        EXPECT_EQ(d.GetListSelection(1008), int(c.after.filter)) << c.what;
        EXPECT_EQ(d.GetListSelection(1010), int(c.after.water)) << c.what;
    }
}

TEST_F(VideoOptionsTest, CheckingPixelShader20TurnsTheOptionsOffAndTheyCannotBeCheckedAgain) {
    dialog::Dialog d = Open();
    d.Click(handler_, 1022);
    EXPECT_TRUE(UsePS20);
    for (bool* option : {&DrawShadows, &DrawAnimatedShadows, &OptionMV06, &OptionMV01, &OptionMV16,
                         &OptionMV08, &OptionMV21, &OptionMV05}) {
        EXPECT_FALSE(*option);
    }
    for (uint32_t id : {1021u, 1038u, 1040u, 1023u, 1037u}) {
        d.Click(handler_, id); // disabled: nothing happens
        EXPECT_FALSE(d.IsButtonChecked(id)) << id;
    }
    EXPECT_FALSE(DrawShadows);
    EXPECT_FALSE(OptionMV05);
    EXPECT_FALSE(OptionMV16);

    d.Click(handler_, 1022); // off again: the controls come back, the options stay off
    EXPECT_FALSE(UsePS20);
    EXPECT_TRUE(d.IsItemEnabled(1021));
    EXPECT_FALSE(DrawShadows);
    d.Click(handler_, 1021);
    EXPECT_TRUE(DrawShadows);
    EXPECT_TRUE(d.IsItemEnabled(1024));
}

TEST_F(VideoOptionsTest, EachControlStoresItsOption) {
    struct Case {
        uint32_t id;
        bool* option;
    } cases[] = {{1021, &DrawShadows}, {1023, &OptionMV06}, {1024, &DrawAnimatedShadows},
                 {1025, &OptionMV01},  {1040, &OptionMV16}, {1037, &OptionMV08},
                 {1043, &OptionMV21},  {1038, &OptionMV05}, {1039, &DrawNotImportant},
                 {1041, &DrawGrass},   {1042, &OptionMV20}, {1045, &OptionMV22}};
    for (const Case& c : cases) {
        kAllOn.Apply();
        dialog::Dialog d = Open();
        d.Click(handler_, c.id);
        EXPECT_FALSE(*c.option) << c.id;
        EXPECT_FALSE(d.IsButtonChecked(c.id)) << c.id;
        d.Click(handler_, c.id);
        EXPECT_TRUE(*c.option) << c.id;
    }
    struct List {
        uint32_t id;
        uint32_t* level;
    } lists[] = {
        {1007, &ShadowMapLevel}, {1009, &TextureLevel}, {1008, &FilterLevel}, {1010, &WaterTextureLevel}};
    for (const List& l : lists) {
        kAllOn.Apply();
        dialog::Dialog d = Open();
        d.Select(handler_, l.id, 2);
        EXPECT_EQ(*l.level, 2u) << l.id;
        d.Select(handler_, l.id, 3); // no such entry
        EXPECT_EQ(*l.level, 2u) << l.id;
    }
}

TEST_F(VideoOptionsTest, DepthOfFieldAndHdrStoreNothingWithoutPostProcessing) {
    dialog::Dialog d = Open();
    d.Click(handler_, 1040); // post-processing off: both cleared and disabled
    EXPECT_FALSE(OptionMV08);
    EXPECT_FALSE(OptionMV21);
    // Even if the box is checked while off, 0 is stored.
    d.CheckButton(1037, true);
    handler_.OnCommand(d, 1037);
    EXPECT_FALSE(OptionMV08);
    d.CheckButton(1043, true);
    handler_.OnCommand(d, 1043);
    EXPECT_FALSE(OptionMV21);
}

TEST_F(VideoOptionsTest, TheStatusFollowsEveryChange) {
    dialog::Dialog d = Open();
    const std::string before = d.GetItemText(dlg::STATUS);
    d.Click(handler_, 1024); // animated shadows off
    EXPECT_NE(d.GetItemText(dlg::STATUS), before);
    EXPECT_EQ(d.GetItemText(dlg::STATUS), ">LVD03 512 >LVD04 >LVD05 >LVD06 >LVD14 >LVD15");
}

TEST_F(VideoOptionsTest, OkWritesTheFileAndGoesBackToTheLauncher) {
    dialog::Dialog d = Open();
    d.Click(handler_, 1041); // grass off
    d.Click(handler_, dlg::IDOK);
    EXPECT_TRUE(d.Ended());
    EXPECT_FALSE(StartupCancelled);
    EXPECT_TRUE(ShowLauncherNext);
    EXPECT_FALSE(ShowVideoOptionsNext);
    const std::string file = ReadFile("save/video.cfg");
    ASSERT_EQ(file.size(), VIDEO_CFG_SIZE);
    EXPECT_EQ(file[30], 0) << "DrawGrass";
    EXPECT_EQ(file[6], 1) << "DrawShadows";
}

// ---- Status text -----------------------------------------------------------

TEST(VideoStatus, NamesTheMemoryItsClassAndTheCostlyOptions) {
    struct Case {
        uint32_t mb, cls;
        VideoOptionSet options;
        const char* text;
    } cases[] = {
        {512, 0, kAllOn, ">LVD03 512 >LVD04 >LVD05 >LVD06 >LVD12 >LVD15"},
        {256, 1, kAllOn, ">LVD03 256 >LVD04 >LVD07 >LVD09 >LVD12 >LVD15"},
        {256, 1,
         [] {
             auto s = kAllOn;
             s.texture = 1;
             return s;
         }(),
         ">LVD03 256 >LVD04 >LVD08 >LVD09 >LVD12 >LVD15"},
        {256, 1,
         [] {
             auto s = kAllOn;
             s.filter = 2;
             return s;
         }(),
         ">LVD03 256 >LVD04 >LVD08 >LVD09 >LVD12 >LVD15"},
        {256, 1,
         [] {
             auto s = kAllOn;
             s.shadowMap = 1;
             return s;
         }(),
         ">LVD03 256 >LVD04 >LVD07 >LVD10 >LVD12 >LVD15"},
        {256, 1,
         [] {
             auto s = kAllOn;
             s.shadows = false;
             return s;
         }(),
         ">LVD03 256 >LVD04 >LVD07 >LVD10 >LVD12 >LVD15"},
        {64, 2, kAllOn, ">LVD03 64 >LVD04 >LVD11  >LVD12 >LVD15"},
        {512, 0,
         [] {
             auto s = kAllOn;
             s.mv06 = false;
             return s;
         }(),
         ">LVD03 512 >LVD04 >LVD05 >LVD06 >LVD13 >LVD15"},
        {512, 0,
         [] {
             auto s = kAllOn;
             s.animated = false;
             return s;
         }(),
         ">LVD03 512 >LVD04 >LVD05 >LVD06 >LVD14 >LVD15"},
        {512, 0,
         [] {
             auto s = kAllOn;
             s.animated = s.mv06 = false;
             return s;
         }(),
         ">LVD03 512 >LVD04 >LVD05 >LVD06  >LVD15"},
        {512, 0,
         [] {
             auto s = kAllOn;
             s.mv08 = false;
             return s;
         }(),
         ">LVD03 512 >LVD04 >LVD05 >LVD06 >LVD12 "},
        {512, 0,
         [] {
             auto s = kAllOn;
             s.mv16 = false;
             return s;
         }(),
         ">LVD03 512 >LVD04 >LVD05 >LVD06 >LVD12 >LVD16"},
        {0, 2,
         [] {
             auto s = kAllOn;
             s.animated = s.mv06 = s.mv08 = false;
             return s;
         }(),
         ">LVD03 0 >LVD04 >LVD11   "},
    };
    const VideoOptionSet saved = VideoOptionSet::Now();
    for (const auto& c : cases) {
        c.options.Apply();
        EXPECT_EQ(VideoStatusText(c.mb, c.cls, &LabelItself), c.text);
    }
    saved.Apply();
}

} // namespace
