#include "app/TextMgr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/Debug.h"
#include "platform/os/Os.h"
#include "tests/app/ScratchDir.h"

namespace {

// Code page 1250 bytes of a few Polish letters: a-ogonek, o-acute, l-stroke,
// z-dot, S-acute.
const std::string kPolish = "\xB9\xF3\xB3\xBF\x8C";

class TextTable : public ScratchDirTest {
  protected:
    // Built inside the scratch directory, reporting at once like the table
    // of a running game.
    void SetUp() override {
        ScratchDirTest::SetUp();
        table_.emplace();
        table_->FlushReports();
    }
    void TearDown() override {
        table_.reset();
        ScratchDirTest::TearDown();
        g_TextMgr.Load(); // the table of the process's own start directory
    }
    void LoadTable(const std::string& contents) {
        WriteFile("scripts/text_keys.txt", contents);
        table_->Load();
    }
    std::vector<std::string> Keys() const {
        std::vector<std::string> keys;
        for (const strtext* t = table_->m_pTexts; t; t = t->next)
            keys.emplace_back(t->klucz);
        return keys;
    }
    std::string Replaced(const std::string& line, size_t capacity = 512) const {
        std::vector<char> buffer(capacity + 8, '#');
        std::memcpy(buffer.data(), line.c_str(), line.size() + 1);
        table_->ReplaceKeys(buffer.data(), capacity);
        for (size_t i = capacity; i < buffer.size(); ++i)
            EXPECT_EQ(buffer[i], '#') << "wrote past " << capacity;
        return buffer.data();
    }

    std::optional<ETextMgr> table_;
};

} // namespace

TEST_F(TextTable, LoadsKeysAndTextsByTheFileRules) {
    LoadTable("// comment line\r\n"
              "\r\n"
              ">Hello  Hello , world !\r\n"
              ">A = x\r\n"
              ">B =x\r\n"
              ">Apostrophe It\x92s here\r\n"
              ">Marks a  ! b ;c ?\r\n"
              ">Tabbed\t\tvalue\t\r\n"
              ">Empty\r\n"
              "  >Indented is ignored\r\n"
              ">Polish " +
              kPolish +
              " .\r\n"
              ">One x\r\n");
    struct Case {
        const char* key;
        std::string text;
    } cases[] = {
        {">Hello", "Hello, world!"},
        {">A", " x"},
        {">B", "x"},
        {">Apostrophe", "It's here"},
        {">Marks", "a ! b;c?"},
        {">Tabbed", "value"},
        {">Empty", ""},
        {">Polish", kPolish + "."},
        {">One", "x"},
    };
    for (const Case& c : cases) {
        const strtext* t = table_->FindExact(c.key);
        ASSERT_NE(t, nullptr) << c.key;
        EXPECT_EQ(std::string(t->zawartosc), c.text) << c.key;
    }
    // The entry read last is met first.
    EXPECT_EQ(Keys(), (std::vector<std::string>{">One", ">Polish", ">Empty", ">Tabbed", ">Marks",
                                                ">Apostrophe", ">B", ">A", ">Hello"}));
}

TEST_F(TextTable, ReadsLfAndCrFilesAlike) {
    for (const char* end : {"\n", "\r", "\r\n"}) {
        LoadTable(std::string(">First one") + end + ">Second two" + end);
        EXPECT_STREQ(table_->GetText(">First"), "one") << int(end[0]);
        EXPECT_STREQ(table_->GetText(">Second"), "two") << int(end[0]);
        EXPECT_EQ(Keys().size(), 2u);
    }
}

TEST_F(TextTable, LongKeysAndLinesFollowTheLimits) {
    std::string longKey = ">" + std::string(300, 'k');
    std::string longLine = ">Long " + std::string(506, 'v'); // 512 characters
    LoadTable(longKey + " text\n" + longLine + "\n");
    ASSERT_EQ(Keys().size(), 2u);
    EXPECT_EQ(Keys()[1], longKey.substr(0, 255));
    EXPECT_STREQ(table_->GetText(">Long"), "_string too long!");
}

TEST_F(TextTable, GetTextIgnoresCaseFindExactDoesNot) {
    LoadTable(">GameName Brakmoor\n");
    EXPECT_STREQ(table_->GetText(">gamename"), "Brakmoor");
    EXPECT_STREQ(table_->GetText(">GAMENAME"), "Brakmoor");
    EXPECT_EQ(table_->FindExact(">gamename"), nullptr);
    ASSERT_NE(table_->FindExact(">GameName"), nullptr);
    const char* missing = table_->GetText(">Missing");
    ASSERT_NE(missing, nullptr);
    EXPECT_STREQ(missing, "");
    EXPECT_STREQ(table_->GetText(nullptr), "");
}

TEST_F(TextTable, DuplicateLabelsAreReportedAndTheLaterWins) {
    LoadTable(">X first\n>Y other\n>x second\n>X third\n");
    EXPECT_STREQ(table_->GetText(">X"), "third");
    EXPECT_STREQ(table_->FindExact(">x")->zawartosc, "second");
    // One line per label read again: ">X third" equals both earlier
    // spellings without regard to case, and is reported once.
    EXPECT_EQ(ReadFile("!labels.txt"), "Duplicate label >x\nDuplicate label >X\n");
}

// Many copies of one label: a line for each copy after the first, not one
// per pair of copies (which grows with the square of the copies), and the
// last copy wins.
TEST_F(TextTable, ManyCopiesOfALabelGiveOneReportLineEach) {
    constexpr int kCopies = 3000;
    std::string file;
    for (int i = 0; i < kCopies; ++i)
        file += (i % 2 ? ">Same " : ">SAME ") + std::to_string(i) + "\n";
    LoadTable(file);
    EXPECT_STREQ(table_->GetText(">same"), std::to_string(kCopies - 1).c_str());
    EXPECT_STREQ(table_->FindExact(">SAME")->zawartosc, std::to_string(kCopies - 2).c_str());
    std::string expected;
    for (int i = 1; i < kCopies; ++i)
        expected += i % 2 ? "Duplicate label >Same\n" : "Duplicate label >SAME\n";
    EXPECT_EQ(ReadFile("!labels.txt"), expected);
    EXPECT_EQ(Keys().size(), size_t(kCopies));
}

TEST_F(TextTable, MissingOrEmptyFileGivesAnEmptyTable) {
    LoadTable(">Only one\n");
    std::filesystem::remove(root_ / "scripts" / "text_keys.txt");
    table_->Load();
    EXPECT_EQ(table_->m_pTexts, nullptr);
    EXPECT_STREQ(table_->GetText(">Only"), "");
    EXPECT_EQ(Replaced("use >Only"), "use >Only");
    LoadTable("");
    EXPECT_EQ(table_->m_pTexts, nullptr);
}

TEST_F(TextTable, ReplaceKeysSwapsKnownTokensOnly) {
    LoadTable(">KEY Enter\n>GameName Brakmoor\n>Arrow ->here\n>Polish " + kPolish + "\n");
    struct Case {
        std::string line;
        std::string expected;
    } cases[] = {
        {"Press >KEY.", "Press >KEY."},
        {"Press >KEY .", "Press Enter ."},
        {"Press >KEY\tnow", "Press Enter\tnow"},
        {">gamename", ">gamename"},
        {"Play >GameName", "Play Brakmoor"},
        {">KEY>KEY", ">KEYEnter"}, // the walk goes on inside an unknown token
        {">KEY >KEY", "Enter Enter"},
        {"a > b", "a > b"},
        {"to >Arrow >KEY", "to ->here Enter"},
        {"text " + std::string(">Polish"), "text " + kPolish},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Replaced(c.line), c.expected) << c.line;
}

TEST_F(TextTable, ReplaceKeysTokenIsAtMost127Characters) {
    std::string key = ">" + std::string(126, 'k'); // 127 characters
    LoadTable(key + " V\n");
    EXPECT_EQ(Replaced(key + "tail"), "Vtail");
    EXPECT_EQ(Replaced(key), "V");
}

// The expansion never runs past the caller's buffer, whatever its size.
TEST_F(TextTable, ReplaceKeysKeepsToTheCapacity) {
    LoadTable(">Big 0123456789\n>Gone \n");
    struct Case {
        std::string line;
        size_t capacity;
        std::string expected;
    } cases[] = {
        {"ab >Big cd", 64, "ab 0123456789 cd"},
        {"ab >Big cd", 17, "ab 0123456789 cd"},
        {"ab >Big cd", 16, "ab 0123456789 c"},
        {"ab >Big cd", 13, "ab 012345678"},
        {"ab >Big cd", 11, "ab 0123456"},
        {"x>Big", 6, "x0123"},
        {"x >Gone y", 10, "x  y"},
        {std::string(4000, 'a') + " >Big " + std::string(4000, 'b'), 9000,
         std::string(4000, 'a') + " 0123456789 " + std::string(4000, 'b')},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Replaced(c.line, c.capacity), c.expected) << c.capacity;
}

TEST_F(TextTable, EntriesAreTrackedUnderTheirTags) {
    bool saved = g_bTrackAllocations;
    g_Debug.ClearAllocations();
    g_bTrackAllocations = true;
    LoadTable(">A a\n>B b\n>C c\n");
    EXPECT_EQ(g_Debug.GetAllocationCount("strtext"), 3u);
    EXPECT_EQ(g_Debug.GetAllocationCount("text->klucz"), 3u);
    EXPECT_EQ(g_Debug.GetAllocationCount("text->zawartosc"), 3u);
    table_->Clear();
    EXPECT_EQ(g_Debug.GetAllocationCount("strtext"), 0u);
    EXPECT_EQ(g_Debug.GetAllocationCount("text->zawartosc"), 0u);
    g_bTrackAllocations = saved;
    g_Debug.ClearAllocations();
}

// The table built at start holds its report lines until the entry has deleted
// the previous run's reports: a refused second instance touches nothing, and
// this run's duplicate-label report is what remains.
TEST_F(TextTable, ConstructionHoldsReportsUntilOldOnesAreDeleted) {
    const char* reports[] = {"!labels.txt", "!error.txt",    "!anims.txt",    "!subsets.txt",
                             "!techs.txt",  "!textures.txt", "!variables.txt"};
    for (const char* r : reports)
        WriteFile(r, "old run\n");
    WriteFile("keep.txt", "x");
    WriteFile("scripts/text_keys.txt", ">D one\n>D two\n");
    ETextMgr fresh;
    EXPECT_STREQ(fresh.GetText(">D"), "two");
    for (const char* r : reports)
        EXPECT_EQ(ReadFile(r), "old run\n") << r;

    DeletePreviousReports();
    fresh.FlushReports();
    EXPECT_EQ(ReadFile("!labels.txt"), "Duplicate label >D\n");
    for (const char* r : reports) {
        if (std::strcmp(r, "!labels.txt") != 0) {
            EXPECT_FALSE(Exists(r)) << r;
        }
    }
    EXPECT_TRUE(Exists("keep.txt"));

    fresh.Load();  // after the flush, reports go straight to the file
    EXPECT_EQ(ReadFile("!labels.txt"), "Duplicate label >D\nDuplicate label >D\n");
}

// The shipped table holds every label that the application core shows, with
// no duplicates.
class ShippedTextTable : public ScratchDirTest {};

TEST_F(ShippedTextTable, HoldsTheApplicationCoreLabels) {
    std::filesystem::create_directories(root_ / "scripts");
    std::filesystem::copy_file(ZT_SOURCE_DIR "/data/scripts/text_keys.txt",
                               root_ / "scripts" / "text_keys.txt");
    ETextMgr table;
    EXPECT_FALSE(Exists("!labels.txt"));

    EXPECT_STREQ(table.GetText(">GameName"), "Brakmoor");
    // The file's typographic apostrophe (code page 1250) arrives as a plain one.
    EXPECT_NE(std::string(table.GetText(">NoMode")).find("couldn't"), std::string::npos);
    EXPECT_STREQ(table.GetText(">CMDEquals"), "=");
    std::vector<std::string> labels = {">NoMode",  ">LD",   ">S22",  ">Trans", ">PS20", ">MMOK",
                                       ">MOVideo", ">Lt01", ">Lt02", ">Lt03",  ">Lt09", ">Lt11"};
    for (int i = 1; i <= 6; ++i)
        labels.push_back(">Lv0" + std::to_string(i));
    for (int i : {1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}) {
        labels.push_back(std::string(">LVD") + (i < 10 ? "0" : "") + std::to_string(i));
    }
    for (int i : {27, 28, 29, 30, 31})
        labels.push_back(">G" + std::to_string(i));
    for (int i : {1, 2, 5, 6, 8, 16, 17, 19, 20, 21, 22}) {
        labels.push_back(std::string(">MV") + (i < 10 ? "0" : "") + std::to_string(i));
    }
    for (const char* k :
         {"Minus",       "Equals",    "TAB",        "SqBracketLeft", "SqBracketRight", "Enter",
          "LeftControl", "Semicolon", "Apostrophe", "LeftShift",     "BackSlash",      "Comma",
          "Dot",         "Slash",     "RightShift", "Alt",           "Space",          "NumMinus",
          "NumPlus",     "NumDel",    "NumEnter",   "RightControl",  "UpArrow",        "LeftArrow",
          "RightArrow",  "DownArrow", "Insert",     "Delete",        "MButton0",       "MButton1",
          "MButton2"}) {
        labels.push_back(std::string(">CMD") + k);
    }
    for (char c : std::string("QWERTYUIOPASDFGHJKLZXCVBNM"))
        labels.push_back(std::string(">CMD") + c);
    for (char c : std::string("0123456789"))
        labels.push_back(std::string(">CMDNum") + c);
    for (const std::string& label : labels) {
        ASSERT_NE(table.FindExact(label.c_str()), nullptr) << label;
        EXPECT_STRNE(table.GetText(label.c_str()), "") << label;
    }
}
