// The console's buffer, log files, input line and loading counters.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/Console.h"
#include "app/Options.h"
#include "app/Timer.h"
#include "game/CutScene.h"
#include "game/MainGame.h"
#include "platform/os/Os.h"
#include "tests/TestDir.h"
#include "world/Engine.h"

namespace fs = std::filesystem;

// A console of its own in a fresh start directory.
class ConsoleFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = os::StartDirectory();
        root_ = FreshTestDir("zt_console_");
        os::SetStartDirectory(root_.string());
        console_ = std::make_unique<EConsole>();
    }
    void TearDown() override {
        console_.reset();
        os::SetStartDirectory(saved_);
        fs::remove_all(root_);
    }
    std::string Read(const std::string& relative) const {
        std::ifstream in(root_ / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void Write(const std::string& relative, const std::string& bytes) {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative, std::ios::binary) << bytes;
    }
    std::string Line(int i) const {
        char buf[EConsole::LINE_LEN];
        console_->CopyLine(i, buf);
        return buf;
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root_))
            names.push_back(e.path().filename().string());
        return names;
    }

    std::string saved_;
    fs::path root_;
    std::unique_ptr<EConsole> console_;
};

// ---- Print ---------------------------------------------------------------------

// A text of each length goes to the log once and whole, and into the buffer
// in lines of 79 characters, of which the buffer keeps the first 1023.
class ConsoleLongLineTest : public ConsoleFileTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(ConsoleLongLineTest, TheLogHoldsTheTextOnceAndTheBufferInLinesOf79) {
    const size_t length = GetParam();
    std::string text;
    for (size_t i = 0; i < length; ++i)
        text += char('a' + i % 26);
    console_->Print("before");
    console_->Print(text.c_str());
    EXPECT_EQ(Read("!console.txt"), "before\n" + text + "\n");

    const std::string kept = text.substr(0, 1023);
    const int lines = int((kept.size() + 78) / 79);
    EXPECT_EQ(Line(127 - lines), "before");
    for (int i = 0; i < lines; ++i)
        EXPECT_EQ(Line(127 - lines + 1 + i), kept.substr(size_t(i) * 79, 79)) << i;
}

INSTANTIATE_TEST_SUITE_P(Lengths, ConsoleLongLineTest, ::testing::Values(1, 78, 79, 80, 158, 200, 256, 257, 600, 1023, 1500));

TEST_F(ConsoleFileTest, EmptyOrMissingTextScrollsABlankLineAndLogsNothing) {
    console_->Print("first");
    console_->Print("");
    console_->Print(nullptr);
    EXPECT_EQ(Line(125), "first");
    EXPECT_EQ(Line(126), "");
    EXPECT_EQ(Line(127), "");
    EXPECT_EQ(Read("!console.txt"), "first\n");
}

// The log stays open between lines; a line still reaches the file of that
// name in the current start directory after the file was deleted or rewritten
// and after the start directory moved.
TEST_F(ConsoleFileTest, EachLineIsInTheLogFileAsSoonAsPrintedEvenAfterTheFileWentAway) {
    console_->Print("one");
    EXPECT_EQ(Read("!console.txt"), "one\n");
    fs::remove(root_ / "!console.txt");
    console_->Print("two");
    EXPECT_EQ(Read("!console.txt"), "two\n");
    Write("!console.txt", "rewritten\n");
    console_->Print("three");
    EXPECT_EQ(Read("!console.txt"), "rewritten\nthree\n");

    const fs::path other = FreshTestDir("zt_console_moved_");
    os::SetStartDirectory(other.string());
    console_->Print("four");
    std::ifstream in(other / "!console.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "four\n");
    EXPECT_EQ(Read("!console.txt"), "rewritten\nthree\n");
    os::SetStartDirectory(root_.string());
    console_.reset(); // closes the file before its directory goes
    fs::remove_all(other);
}

TEST_F(ConsoleFileTest, ShortTextsScrollOldestOut) {
    for (int i = 0; i < EConsole::NUM_LINES + 2; ++i)
        console_->Print(std::to_string(i).c_str());
    EXPECT_EQ(Line(0), "2");
    EXPECT_EQ(Line(127), "129");
}

TEST_F(ConsoleFileTest, FormattedVariantsUseTheirFormats) {
    struct Case {
        void (*print)(EConsole&);
        const char* expected;
    } cases[] = {
        {[](EConsole& c) { c.PrintVector("v", 1.0f, 2.5f, -3.0f); }, "v(1.000000, 2.500000, -3.000000)"},
        {[](EConsole& c) { c.Print2("a", "b"); }, "ab"},
        {[](EConsole& c) { c.Print3("a", "b", "c"); }, "abc"},
        {[](EConsole& c) { c.Print4("a", "b", "c", "d"); }, "abcd"},
        {[](EConsole& c) { c.Print5("a", "b", "c", "d", "e"); }, "abcde"},
        {[](EConsole& c) { c.PrintFloat("f", 0.5f); }, "f0.500000"},
        {[](EConsole& c) { c.PrintFloat("d", 0.25); }, "d0.250000"},
        {[](EConsole& c) { c.PrintFloat("i", 3); }, "i3.000000"},
        {[](EConsole& c) { c.PrintInt("n", -7); }, "n-7"},
        {[](EConsole& c) { c.PrintInteger("n", 42); }, "n42"},
        {[](EConsole& c) { c.Print2Float("a", "b", 1.5f); }, "ab1.500000"},
        {[](EConsole& c) { c.Print2Int("a", "b", 9); }, "ab9"},
    };
    for (const Case& c : cases) {
        c.print(*console_);
        EXPECT_EQ(Line(127), c.expected);
    }
}

// Prints from a second thread (the music thread) and the main thread at once
// must neither lose nor tear lines.
TEST_F(ConsoleFileTest, PrintsFromTwoThreadsKeepEveryLineWhole) {
    constexpr int kLines = 300;
    auto run = [this](char tag) {
        std::string text(60, tag);
        for (int i = 0; i < kLines; ++i)
            console_->Print(text.c_str());
    };
    std::thread music(run, 'm');
    run('g');
    music.join();
    std::istringstream log(Read("!console.txt"));
    std::string line;
    int counts[2] = {};
    while (std::getline(log, line)) {
        ASSERT_TRUE(line == std::string(60, 'm') || line == std::string(60, 'g')) << line;
        ++counts[line[0] == 'm'];
    }
    EXPECT_EQ(counts[0], kLines);
    EXPECT_EQ(counts[1], kLines);
    for (int i = 0; i < EConsole::NUM_LINES; ++i) {
        std::string l = Line(i);
        EXPECT_TRUE(l == std::string(60, 'm') || l == std::string(60, 'g')) << i;
    }
}

// ---- Log files -------------------------------------------------------------------

TEST_F(ConsoleFileTest, LogStepsKeepADatedCopyOnlyWithBackupConsole) {
    struct Case {
        bool backup;
        bool atEnd; // EndLogFile instead of BeginLogFile
        bool logKept;
        bool copyMade;
    } cases[] = {
        {false, false, false, false},
        {true, false, false, true},
        {false, true, true, false},
        {true, true, false, true},
    };
    for (const Case& c : cases) {
        for (const auto& f : Files())
            fs::remove(root_ / f);
        console_ = std::make_unique<EConsole>();
        if (c.backup) console_->StoreVariable("BackupConsole", 1.0f, 1);
        Write("!console.txt", "previous run\n");
        if (c.atEnd)
            console_->EndLogFile();
        else
            console_->BeginLogFile();
        std::string copy;
        for (const auto& f : Files()) {
            if (f.rfind("!Console ", 0) == 0) copy = f;
        }
        EXPECT_EQ(fs::exists(root_ / "!console.txt"), c.logKept) << c.backup << c.atEnd;
        EXPECT_EQ(!copy.empty(), c.copyMade) << c.backup << c.atEnd;
        if (!copy.empty()) {
            int y, mo, d, h, mi, s;
            EXPECT_EQ(
                std::sscanf(copy.c_str(), "!Console %d-%d-%d at %d-%d-%d.txt", &y, &mo, &d, &h, &mi, &s), 6)
                << copy;
            EXPECT_EQ(Read(copy), "previous run\n");
        }
    }
}

TEST_F(ConsoleFileTest, BackupConsoleSetToZeroMakesNoCopy) {
    console_->StoreVariable("BackupConsole", 0.0f, 1);
    Write("!console.txt", "x\n");
    console_->BeginLogFile();
    EXPECT_TRUE(Files().empty());
}

// What start-up prints before the log step goes to this run's log, first,
// and not to the previous run's, which the log step removes.
TEST_F(ConsoleFileTest, LinesHeldBeforeTheLogStepOpenThisRunsLog) {
    Write("!console.txt", "previous run\n");
    console_->HoldLogFile();
    console_->Print("zt.cfg: cannot be opened (No such file or directory)");
    EXPECT_EQ(Read("!console.txt"), "previous run\n");
    console_->BeginLogFile();
    console_->Print("Welcome to Brakmoor.");
    EXPECT_EQ(Read("!console.txt"),
              "zt.cfg: cannot be opened (No such file or directory)\nWelcome to Brakmoor.\n");
    EXPECT_EQ(Line(EConsole::NUM_LINES - 2), "zt.cfg: cannot be opened (No such file or directory)");
}

TEST_F(ConsoleFileTest, AFileToRunThatCannotBeOpenedIsNamedInTheLog) {
    fs::create_directories(root_ / "scripts");
    for (const char* name : {"scripts\\missing.cfg", "no_folder\\x.cfg"})
        console_->ExecFile(name);
    EXPECT_EQ(Read("!console.txt"), "scripts\\missing.cfg: cannot be opened (No such file or directory)\n"
                                    "no_folder\\x.cfg: cannot be opened (No such file or directory)\n");
}

// ---- Input line ------------------------------------------------------------------

namespace {
constexpr uint32_t kBack = 8, kTab = 9, kEnter = 13, kLeft = 37, kUp = 38, kRight = 39, kDown = 40,
                   kDelete = 46;

void Type(EConsole& c, const char* keys) {
    for (const char* p = keys; *p; ++p) {
        char k = *p;
        uint32_t code = (k >= 'a' && k <= 'z') ? uint32_t(k - 'a' + 'A') : uint32_t(k);
        if (k == '.') code = 190;
        if (k == '-') code = 189;
        if (k == '\\') code = 220;
        c.OnKey(code);
    }
}
} // namespace

TEST_F(ConsoleFileTest, EditingKeysMoveTheCursorAndChangeTheLine) {
    struct Case {
        const char* typed;
        std::vector<uint32_t> keys;
        const char* line;
        uint32_t cursor;
    } cases[] = {
        {"abc", {}, "abc", 3},
        {"abc", {kLeft, 'X'}, "abxc", 3},
        {"abc", {kLeft, kLeft, kLeft, kLeft, 'Z'}, "zabc", 1}, // not below 0
        {"abc", {kRight, 'D'}, "abcd", 4},                     // not past the end
        {"abc", {kBack}, "ab", 2},
        {"abc", {kLeft, kBack}, "ac", 1},
        {"abc", {kLeft, kLeft, kLeft, kBack}, "abc", 0}, // nothing before the cursor
        {"abc", {kLeft, kLeft, kDelete}, "ac", 1},
        {"abc", {kDelete}, "abc", 3}, // nothing at the end
        {"", {'1', '9', ' ', 190, 189, 220}, "19 .-\\", 6},
        // Insert (45) and the right Windows key (92) type nothing; nor does F1.
        {"a", {45, 92, 112}, "a", 1},
    };
    for (const Case& c : cases) {
        console_ = std::make_unique<EConsole>();
        Type(*console_, c.typed);
        for (uint32_t k : c.keys)
            console_->OnKey(k);
        EXPECT_STREQ(console_->CommandLine(), c.line) << c.typed;
        EXPECT_EQ(console_->Cursor(), c.cursor) << c.typed;
    }
}

TEST_F(ConsoleFileTest, The80thCharacterIsRefusedAndLettersArriveLowerCase) {
    for (int i = 0; i < 85; ++i)
        console_->OnKey('A' + i % 26);
    EXPECT_EQ(std::strlen(console_->CommandLine()), 79u);
    EXPECT_EQ(console_->Cursor(), 79u);
    for (const char* p = console_->CommandLine(); *p; ++p)
        EXPECT_TRUE(*p >= 'a' && *p <= 'z');
}

TEST_F(ConsoleFileTest, HistoryWalksOlderAndNewerCommands) {
    Type(*console_, "one");
    console_->OnKey(kEnter);
    Type(*console_, "two");
    console_->OnKey(kEnter);
    EXPECT_STREQ(console_->HistoryEntry(1), "two");
    EXPECT_STREQ(console_->HistoryEntry(2), "one");

    console_->OnKey(kUp);
    EXPECT_STREQ(console_->CommandLine(), "two");
    EXPECT_EQ(console_->Cursor(), 3u);
    console_->OnKey(kUp);
    EXPECT_STREQ(console_->CommandLine(), "one");
    console_->OnKey(kUp); // the oldest stored command: nothing happens
    EXPECT_STREQ(console_->CommandLine(), "one");
    EXPECT_EQ(console_->HistoryIndex(), 2u);
    console_->OnKey(kDown);
    EXPECT_STREQ(console_->CommandLine(), "two");
    console_->OnKey(kDown); // back to the blank entry 0
    EXPECT_STREQ(console_->CommandLine(), "");
    EXPECT_EQ(console_->Cursor(), 0u);
    console_->OnKey(kDown); // at entry 0 nothing happens
    EXPECT_EQ(console_->HistoryIndex(), 0u);
}

TEST_F(ConsoleFileTest, HistoryKeepsTheLatest63Commands) {
    for (int i = 0; i < 70; ++i) {
        Type(*console_, ("c" + std::to_string(i)).c_str());
        console_->OnKey(kEnter);
    }
    EXPECT_STREQ(console_->HistoryEntry(0), "");
    EXPECT_STREQ(console_->HistoryEntry(1), "c69");
    EXPECT_STREQ(console_->HistoryEntry(63), "c7");
    for (int i = 0; i < 80; ++i)
        console_->OnKey(kUp);
    EXPECT_EQ(console_->HistoryIndex(), 63u);
    EXPECT_STREQ(console_->CommandLine(), "c7");
}

TEST_F(ConsoleFileTest, EnterOnAnEmptyLineAddsNoHistory) {
    console_->OnKey(kEnter);
    EXPECT_STREQ(console_->HistoryEntry(1), "");
}

TEST_F(ConsoleFileTest, BackQuoteClosesAndGivesTheKeyboardBack) {
    console_->Open();
    EXPECT_TRUE(console_->IsOpen());
    EXPECT_EQ(g_Engine.m_bKeyboardCreated, 0);
    Type(*console_, "ab");
    console_->OnKey(192);
    EXPECT_FALSE(console_->IsOpen());
    EXPECT_EQ(g_Engine.m_bKeyboardCreated, 1);
    EXPECT_STREQ(console_->CommandLine(), "ab"); // the key is not typed
}

TEST_F(ConsoleFileTest, TabCompletesOneNameOrListsSeveral) {
    console_->StoreVariable("DrawShadows", 1.0f, 0);
    console_->StoreVariable("DrawSky", 0.0f, 0);
    console_->StoreVariable("farz", 9000.0f, 0);
    Type(*console_, "fa");
    console_->OnKey(kTab);
    EXPECT_STREQ(console_->CommandLine(), "farz");
    EXPECT_EQ(console_->Cursor(), 4u);

    console_->ResetState();
    Type(*console_, "drawsh");
    console_->OnKey(kTab);
    EXPECT_STREQ(console_->CommandLine(), "DrawShadows");

    console_->ResetState();
    Type(*console_, "draws");
    console_->OnKey(kTab);
    EXPECT_STREQ(console_->CommandLine(), "draws");
    std::string log = Read("!console.txt");
    EXPECT_NE(log.find("DrawShadows 1.000000\n"), std::string::npos);
    EXPECT_NE(log.find("DrawSky 0.000000\n"), std::string::npos);
    EXPECT_EQ(log.find("farz"), std::string::npos);

    console_->ResetState();
    Type(*console_, "zz");
    console_->OnKey(kTab);
    EXPECT_STREQ(console_->CommandLine(), "zz");
}

TEST_F(ConsoleFileTest, ResetStateClearsTheLineAndTheLoadingScreen) {
    Write("w.w", "mesh a.x\n");
    console_->BeginLoadingScreen("w.w");
    Type(*console_, "abc");
    console_->ResetState();
    EXPECT_STREQ(console_->CommandLine(), "");
    EXPECT_EQ(console_->Cursor(), 0u);
    EXPECT_FALSE(console_->LoadingShown());
}

// ---- Closed view -------------------------------------------------------------------

TEST_F(ConsoleFileTest, ClosedViewShowsTheNewestLinesInsideTheBuffer) {
    struct Case {
        const char* value;
        int first, count;
    } cases[] = {
        {"5", 123, 5}, {"0", 128, 0}, {"128", 0, 128}, {"500", 0, 128}, {"-3", 128, 0},
    };
    for (const Case& c : cases) {
        console_->SetVariable("numconsolelines", c.value, false);
        int first = -1, count = -1;
        console_->ShortView(&first, &count);
        EXPECT_EQ(count, c.count) << c.value;
        if (count) {
            EXPECT_EQ(first, c.first) << c.value;
        }
        EXPECT_GE(first, 0);
        EXPECT_LE(first + count, EConsole::NUM_LINES);
    }
}

// ---- Loading counters ----------------------------------------------------------------

namespace {
// The timer's clock, driven by hand in milliseconds.
uint64_t g_fakeMs = 0;
uint64_t FakeCounter() {
    return g_fakeMs;
}
uint64_t FakeFrequency() {
    return 1000;
}
uint32_t FakeMilliseconds() {
    return uint32_t(g_fakeMs);
}
} // namespace

class ConsoleLoadingTest : public ConsoleFileTest {
  protected:
    void SetUp() override {
        ConsoleFileTest::SetUp();
        SetNow(10.0);
        TimerClock clock = {FakeCounter, FakeFrequency, FakeMilliseconds};
        DXUtilTimerSetClock(&clock);
    }
    void TearDown() override {
        DXUtilTimerSetClock(nullptr);
        ConsoleFileTest::TearDown();
    }
    static void SetNow(double seconds) { g_fakeMs = uint64_t(seconds * 1000.0 + 0.5); }
};

TEST_F(ConsoleLoadingTest, CountsTheMeshLinesOfTheWorldFile) {
    Write("worlds/test.w", "mesh models\\a.x\r\nMESH models\\b.x\n  mesh indented.x\nmeshes x\nskinmesh m.x\n"
                           "mesh\tmodels\\c.x\nname mesh\n");
    console_->BeginLoadingScreen("worlds\\test.w");
    EXPECT_TRUE(console_->LoadingShown());
    EXPECT_EQ(console_->NumMeshes(), 3u);
    EXPECT_EQ(console_->TotalSteps(), EConsole::TOTAL_LOADING_STEPS + 3);
    EXPECT_EQ(console_->StepsDone(), 0u);
    EXPECT_EQ(console_->LoadingStage(), -1);
    EXPECT_EQ(console_->AnimationFrame(), 0u); // the first frame was drawn
    EXPECT_STREQ(console_->LoadingPictureFile(), "misc\\loading\\loading1.bmp");
}

TEST_F(ConsoleLoadingTest, AMissingWorldFileLeavesTheLoadingScreenOff) {
    console_->BeginLoadingScreen("worlds\\missing.w");
    EXPECT_FALSE(console_->LoadingShown());
    EXPECT_EQ(console_->TotalSteps(), EConsole::TOTAL_LOADING_STEPS);
    EXPECT_EQ(console_->AnimationFrame(), 255u);
}

TEST_F(ConsoleLoadingTest, StagesFollowTheMeshesLoaded) {
    std::string world;
    for (int i = 0; i < 7; ++i)
        world += "mesh m.x\n";
    Write("w.w", world);
    console_->BeginLoadingScreen("w.w");
    // stage = 8 * loaded / (meshes + 1), at most 7
    const int expected[] = {1, 2, 3, 4, 5, 6, 7, 7, 7};
    for (int s : expected) {
        console_->StepLoadingProgress();
        EXPECT_EQ(console_->LoadingStage(), s);
    }
}

TEST_F(ConsoleLoadingTest, RedrawsAtMostTwiceASecond) {
    Write("w.w", "mesh a.x\n");
    console_->BeginLoadingScreen("w.w");
    EXPECT_EQ(console_->AnimationFrame(), 0u);
    struct Step {
        double now;
        uint32_t frame;
    } steps[] = {{10.1, 0}, {10.49, 0}, {10.5, 1}, {10.6, 1}, {11.2, 2}, {11.7, 3},
                 {12.2, 4}, {12.7, 5},  {13.2, 6}, {13.7, 7}, {14.2, 0}};
    for (const Step& s : steps) {
        SetNow(s.now);
        console_->AddLoadingProgress(1);
        EXPECT_EQ(console_->AnimationFrame(), s.frame) << s.now;
    }
}

TEST_F(ConsoleLoadingTest, NoFrameWhileACutSceneRunsLateInTheLevelOrAfterRelease) {
    Write("w.w", "mesh a.x\n");
    console_->BeginLoadingScreen("w.w");
    int scene = 0, phase = 0;
    g_CutScene.m_pCurrentScene = &scene;
    g_CutScene.m_pCurrentPhase = &phase;
    SetNow(20.0);
    console_->AddLoadingProgress(1);
    g_CutScene.m_pCurrentScene = nullptr;
    g_CutScene.m_pCurrentPhase = nullptr;
    EXPECT_EQ(console_->AnimationFrame(), 0u);

    // Nor once the level has run 199 frames.
    g_MainGame.m_iLevelFrame = 199;
    SetNow(25.0);
    console_->AddLoadingProgress(1);
    g_MainGame.m_iLevelFrame = 198;
    SetNow(26.0);
    console_->AddLoadingProgress(1);
    g_MainGame.m_iLevelFrame = 0;
    EXPECT_EQ(console_->AnimationFrame(), 1u);

    console_->ReleaseProgressBar();
    EXPECT_FALSE(console_->LoadingShown());
    SetNow(30.0);
    console_->AddLoadingProgress(1);
    EXPECT_EQ(console_->AnimationFrame(), 1u);
    EXPECT_EQ(console_->StepsDone(), 4u);
}

TEST_F(ConsoleLoadingTest, ProgressFractionIsCappedAtTheTotal) {
    Write("w.w", "mesh a.x\n");
    console_->BeginLoadingScreen("w.w");
    EXPECT_FLOAT_EQ(console_->LoadingFraction(), 0.0f);
    console_->AddLoadingProgress(161);
    EXPECT_FLOAT_EQ(console_->LoadingFraction(), 161.0f / 322.0f);
    console_->AddLoadingProgress(1000);
    EXPECT_FLOAT_EQ(console_->LoadingFraction(), 1.0f);
}

TEST_F(ConsoleLoadingTest, PictureFillsTheHeightCentredAndCroppedOnTheLeft) {
    struct Case {
        uint32_t w, h;
        float x, width, cropLeft;
    } cases[] = {
        {1600, 1024, 0.0f, 1600.0f, 0.0f},
        {1920, 1024, 160.0f, 1600.0f, 0.0f},
        {1024, 768, 0.0f, 1200.0f, 88.0f},
    };
    const uint32_t savedW = screenwidth, savedH = screenheight;
    Write("w.w", "mesh a.x\n");
    for (const Case& c : cases) {
        screenwidth = c.w;
        screenheight = c.h;
        console_->BeginLoadingScreen("w.w");
        EXPECT_FLOAT_EQ(console_->LoadingPictureX(), c.x) << c.w;
        EXPECT_FLOAT_EQ(console_->LoadingPictureY(), 0.0f);
        EXPECT_FLOAT_EQ(console_->LoadingPicturePlacement().fWidth, c.width) << c.w;
        EXPECT_FLOAT_EQ(console_->LoadingPicturePlacement().fHeight, float(c.h));
        EXPECT_FLOAT_EQ(console_->LoadingPicturePlacement().fLeft, c.cropLeft) << c.w;
    }
    screenwidth = savedW;
    screenheight = savedH;
}
