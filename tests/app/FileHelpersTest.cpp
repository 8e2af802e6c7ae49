#include "app/FileHelpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/TextMgr.h"
#include "platform/os/Os.h"
#include "tests/app/ScratchDir.h"

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s.push_back(char(b));
    return s;
}

// Runs a writer on a fresh memory stream and returns what it wrote.
std::string Written(const std::function<void(std::FILE*)>& write) {
    char* data = nullptr;
    size_t size = 0;
    std::FILE* f = open_memstream(&data, &size);
    write(f);
    std::fclose(f);
    std::string out(data, size);
    std::free(data);
    return out;
}

// A read-only stream over the given bytes; fmemopen needs a live buffer.
struct MemoryFile {
    explicit MemoryFile(const std::string& bytes) : data(bytes) {
        f = data.empty() ? std::fopen("/dev/null", "rb") : fmemopen(data.data(), data.size(), "rb");
    }
    ~MemoryFile() { std::fclose(f); }
    std::string data;
    std::FILE* f;
};

} // namespace

// ---------------------------------------------------------------------------
// Binary primitives

TEST(BinaryPrimitives, WriteTheDocumentedBytesAndCountThem) {
    const float vector[3] = {1.0f, -2.0f, 0.5f};
    struct Case {
        const char* what;
        std::function<void(std::FILE*)> write;
        std::string bytes;
    } cases[] = {
        {"bool true", [](std::FILE* f) { FileWriteBool(f, true); }, Bytes({1})},
        {"bool false", [](std::FILE* f) { FileWriteBool(f, false); }, Bytes({0})},
        {"u32", [](std::FILE* f) { FileWrite32(f, uint32_t(0x01020304)); }, Bytes({4, 3, 2, 1})},
        {"i32", [](std::FILE* f) { FileWrite32(f, int32_t(-2)); }, Bytes({0xFE, 0xFF, 0xFF, 0xFF})},
        {"float", [](std::FILE* f) { FileWrite32(f, 1.0f); }, Bytes({0, 0, 0x80, 0x3F})},
        {"vector", [&](std::FILE* f) { FileWriteVector(f, vector); },
         Bytes({0, 0, 0x80, 0x3F, 0, 0, 0, 0xC0, 0, 0, 0, 0x3F})},
        {"string", [](std::FILE* f) { FileWriteString(f, "abc"); }, Bytes({3, 0, 0, 0, 'a', 'b', 'c'})},
        {"empty string", [](std::FILE* f) { FileWriteString(f, ""); }, Bytes({0, 0, 0, 0})},
        {"raw block", [](std::FILE* f) { FileWriteBytes(f, "xyz", 3); }, "xyz"},
        {"empty block", [](std::FILE* f) { FileWriteBytes(f, "xyz", 0); }, ""},
        {"null string", [](std::FILE* f) { FileWriteString(f, nullptr); }, ""},
        {"null vector", [](std::FILE* f) { FileWriteVector(f, nullptr); }, ""},
    };
    for (const Case& c : cases) {
        g_BytesWritten = 0;
        EXPECT_EQ(Written(c.write), c.bytes) << c.what;
        EXPECT_EQ(g_BytesWritten, c.bytes.size()) << c.what;
    }
}

TEST(BinaryPrimitives, NullFileWritesAndCountsNothing) {
    g_BytesWritten = 0;
    FileWriteBool(nullptr, true);
    FileWrite32(nullptr, 1.0f);
    FileWriteString(nullptr, "abc");
    FileWriteBytes(nullptr, "abc", 3);
    EXPECT_EQ(g_BytesWritten, 0u);
}

TEST(BinaryPrimitives, ReadBackWhatWasWrittenAndCount) {
    const float v[3] = {3.5f, -1.0f, 1e-3f};
    std::string data = Written([&](std::FILE* f) {
        FileWriteBool(f, true);
        FileWrite32(f, int32_t(-7));
        FileWrite32(f, 2.25f);
        FileWriteVector(f, v);
        FileWriteString(f, "abc");
        FileWriteString(f, "");
        FileWriteBytes(f, "xy", 2);
    });
    MemoryFile m(data);
    g_BytesRead = 0;
    bool b = false;
    int32_t i = 0;
    float x = 0, w[3] = {};
    char s1[8] = "zzzzzzz", s2[8] = "zzzzzzz", raw[2] = {};
    FileReadBool(m.f, &b);
    FileRead32(m.f, &i);
    FileRead32(m.f, &x);
    FileReadVector(m.f, w);
    EXPECT_TRUE(FileReadString(m.f, s1, sizeof s1));
    EXPECT_TRUE(FileReadString(m.f, s2, sizeof s2));
    FileReadBytes(m.f, raw, 2);
    EXPECT_TRUE(b);
    EXPECT_EQ(i, -7);
    EXPECT_EQ(x, 2.25f);
    EXPECT_EQ(w[0], 3.5f);
    EXPECT_EQ(w[1], -1.0f);
    EXPECT_EQ(w[2], 1e-3f);
    EXPECT_STREQ(s1, "abc");
    EXPECT_STREQ(s2, "");
    EXPECT_EQ(std::string(raw, 2), "xy");
    EXPECT_EQ(g_BytesRead, data.size());
}

TEST(BinaryPrimitives, AnyNonZeroByteReadsAsTrue) {
    for (int byte : {1, 2, 0x7F, 0x80, 0xFF}) {
        MemoryFile m(Bytes({byte}));
        bool b = false;
        FileReadBool(m.f, &b);
        EXPECT_TRUE(b) << byte;
    }
    MemoryFile zero(Bytes({0}));
    bool b = true;
    FileReadBool(zero.f, &b);
    EXPECT_FALSE(b);
}

TEST(BinaryPrimitives, ShortReadLeavesTheRestOfTheTarget) {
    MemoryFile m(Bytes({0x11, 0x22}));
    uint32_t v = 0xAABBCCDD;
    FileRead32(m.f, &v);
    EXPECT_EQ(v, 0xAABB2211u);

    MemoryFile empty("");
    bool b = true;
    FileReadBool(empty.f, &b);
    EXPECT_TRUE(b);
}

// A stored length is read past when it does not fit the caller's buffer, so
// the value after the string still reads in step; the text is always ended.
TEST(BinaryPrimitives, ReadStringKeepsWithinTheCallersBuffer) {
    struct Case {
        uint32_t capacity;
        const char* expected;
    } cases[] = {{16, "hello"}, {6, "hello"}, {5, "hell"}, {2, "h"}, {1, ""}};
    for (const Case& c : cases) {
        std::string data = Written([](std::FILE* f) {
            FileWriteString(f, "hello");
            FileWrite32(f, uint32_t(0xC0FFEE));
        });
        MemoryFile m(data);
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        g_BytesRead = 0;
        EXPECT_TRUE(FileReadString(m.f, buffer, c.capacity)) << c.capacity;
        EXPECT_STREQ(buffer, c.expected) << c.capacity;
        EXPECT_EQ(buffer[c.capacity], '#') << "wrote past capacity " << c.capacity;
        uint32_t after = 0;
        FileRead32(m.f, &after);
        EXPECT_EQ(after, 0xC0FFEEu) << c.capacity;
        EXPECT_EQ(g_BytesRead, 4u + 5u + 4u) << c.capacity;
    }
}

TEST(BinaryPrimitives, ReadStringReportsAShortBlock) {
    struct Case {
        const char* what;
        std::string data;
        const char* expected;
    } cases[] = {
        {"no length", Bytes({5, 0}), ""},
        {"length beyond the data", Bytes({10, 0, 0, 0, 'a', 'b', 'c'}), "abc"},
        {"huge length", Bytes({0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'}), "ab"},
    };
    for (const Case& c : cases) {
        MemoryFile m(c.data);
        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_FALSE(FileReadString(m.f, buffer, sizeof buffer)) << c.what;
        EXPECT_STREQ(buffer, c.expected) << c.what;
    }
    char untouched[4] = "xyz";
    EXPECT_FALSE(FileReadString(nullptr, untouched, sizeof untouched));
    EXPECT_STREQ(untouched, "xyz");
}

// ---------------------------------------------------------------------------
// Line readers

namespace {

std::vector<std::string> ReadAllLines(const std::string& bytes, int n, bool raw) {
    MemoryFile m(bytes);
    std::vector<std::string> lines;
    while (!std::feof(m.f) && lines.size() < 100) {
        std::vector<char> buffer(size_t(n) + 1, '#');
        if (raw) {
            ReadLineRaw(m.f, buffer.data(), n);
        } else {
            ReadLine(m.f, buffer.data(), n);
        }
        lines.emplace_back(buffer.data());
    }
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(LineReaders, AcceptEveryLineEnd) {
    struct Case {
        const char* what;
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"LF", "one\ntwo\n\nfour\n", {"one", "two", "", "four", ""}},
        {"CR LF", "one\r\ntwo\r\n\r\nfour\r\n", {"one", "two", "", "four", ""}},
        {"CR", "one\rtwo\r\rfour\r", {"one", "two", "", "four", ""}},
        {"mixed", "a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"no final end", "last", {"last"}},
        {"LF CR is two ends", "a\n\rb", {"a", "", "b"}},
        {"empty file", "", {""}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadAllLines(c.bytes, 256, true), c.lines) << c.what;
        EXPECT_EQ(ReadAllLines(c.bytes, 256, false), c.lines) << c.what;
    }
}

// The character met at the cut is kept for the next line rather than lost.
TEST(LineReaders, OverLongLineContinuesOnTheNextCall) {
    struct Case {
        std::string bytes;
        int n;
        Lines lines;
    } cases[] = {
        {"abcdefg\nxy", 3, {"abc", "def", "g", "xy"}},
        {"abc\nd", 3, {"abc", "d"}},
        {"abc\r\nd", 3, {"abc", "d"}},
        {"abcd\r\ne", 3, {"abc", "d", "e"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadAllLines(c.bytes, c.n, true), c.lines) << c.bytes;
}

TEST(LineReaders, ReadLineTurnsTabsIntoBlanksRawKeepsThem) {
    EXPECT_EQ(ReadAllLines("a\tb\t\tc", 256, false), Lines{"a b  c"});
    EXPECT_EQ(ReadAllLines("a\tb\t\tc", 256, true), Lines{"a\tb\t\tc"});
}

TEST(LineReaders, WriteLineWritesAtMostNCharactersAndALineFeed) {
    struct Case {
        const char* text;
        int n;
        std::string bytes;
    } cases[] = {{"hello", 256, "hello\n"}, {"hello", 3, "hel\n"}, {"", 10, "\n"}, {nullptr, 10, "\n"}};
    for (const Case& c : cases) {
        EXPECT_EQ(Written([&](std::FILE* f) { WriteLine(f, c.text, c.n); }), c.bytes) << c.n;
    }
}

class ReadLineLabels : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        WriteFile("scripts/text_keys.txt", ">Door the door\n>Long 0123456789abcdefghij\n");
        g_TextMgr.Load();
    }
    void TearDown() override {
        ScratchDirTest::TearDown();
        g_TextMgr.Load();
    }
};

TEST_F(ReadLineLabels, ReplacesLabelsOnlyInReadLine) {
    EXPECT_EQ(ReadAllLines("open >Door\tnow", 256, false), Lines{"open the door now"});
    EXPECT_EQ(ReadAllLines("open >Door\tnow", 256, true), Lines{"open >Door\tnow"});
}

TEST_F(ReadLineLabels, ExpansionStaysInsideTheCallersBuffer) {
    MemoryFile m("x >Long");
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    ReadLine(m.f, buffer, 10); // the buffer holds 11 bytes
    EXPECT_STREQ(buffer, "x 01234567");
    for (size_t i = 11; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], '#') << i;
}

// ---------------------------------------------------------------------------
// Words and arguments

TEST(Words, IsKeywordComparesTheVeryFirstWord) {
    struct Case {
        const char* line;
        const char* keyword;
        bool expected;
    } cases[] = {
        {"model  x.x", "MODEL", true}, {"  model x", "model", false}, {"model\tx", "model", true},
        {"model", "model", true},      {"models x", "model", false},  {"", "", true},
        {"mod", "model", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsKeyword(c.line, c.keyword), c.expected) << c.line;
}

TEST(Words, IsKeywordLooksAtMost127Characters) {
    std::string word(127, 'k');
    EXPECT_TRUE(IsKeyword((word + "extra rest").c_str(), word.c_str()));
    EXPECT_FALSE(IsKeyword((word + "extra rest").c_str(), (word + "extra").c_str()));
}

TEST(Words, GetArgumentAndGetWord) {
    struct Case {
        const char* line;
        int n;
        const char* word;
        const char* argument;
    } cases[] = {
        {"  fog_color   1 2 3  ", 2, "2", "1 2 3"},
        {"  fog_color   1 2 3  ", 0, "fog_color", "1 2 3"},
        {"  fog_color   1 2 3  ", 3, "3", "1 2 3"},
        {"  fog_color   1 2 3  ", 9, "", "1 2 3"},
        {"key\tvalue\twith  gaps\t", 1, "value", "value\twith  gaps"},
        {"single", 1, "", ""},
        {"", 0, "", ""},
        {"\t \t", 0, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(GetWord(c.line, c.n), c.word) << c.line << " word " << c.n;
        EXPECT_STREQ(GetArgument(c.line), c.argument) << c.line;
    }
}

TEST(Words, LinesOf512CharactersAreTooLong) {
    std::string fits = "key " + std::string(507, 'v'); // 511 characters
    std::string tooLong = fits + "v";
    EXPECT_EQ(std::string(GetArgument(fits.c_str())), std::string(507, 'v'));
    EXPECT_STREQ(GetArgument(tooLong.c_str()), "_string too long!");
    EXPECT_STREQ(GetWord(tooLong.c_str(), 0), "_string too long!");
}

TEST(Words, ParseVector3) {
    std::string padded = "7 8 9" + std::string(400, ' ') + "x";
    struct Case {
        std::string text;
        float x, y, z;
    } cases[] = {
        {"1 2 3", 1, 2, 3}, {"  -1.5\t2.25   3e2 ", -1.5f, 2.25f, 3},
        {"4 5", 4, 5, 0},   {"4", 4, 0, 0},
        {"a b c", 0, 0, 0}, {padded, 7, 8, 9},
    };
    for (const Case& c : cases) {
        float v[3] = {-9, -9, -9};
        ParseVector3(c.text.c_str(), v);
        EXPECT_EQ(v[0], c.x) << c.text;
        EXPECT_EQ(v[1], c.y) << c.text;
        EXPECT_EQ(v[2], c.z) << c.text;
    }
    float v[3] = {-9, -9, -9};
    ParseVector3("", v);
    ParseVector3(nullptr, v);
    EXPECT_EQ(v[0], -9.0f);
}

// ---------------------------------------------------------------------------
// Files

class FileHelpersDir : public ScratchDirTest {};

TEST_F(FileHelpersDir, FileExistsOpensForReading) {
    WriteFile("Models/Crate.X", "x");
    std::filesystem::create_directories(root_ / "folder");
    EXPECT_TRUE(FileExists("models\\crate.x"));
    EXPECT_FALSE(FileExists("models\\missing.x"));
    EXPECT_FALSE(FileExists("folder"));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(nullptr));
}

TEST_F(FileHelpersDir, ErrorLogAppendsAtMost256Characters) {
    ErrorLog("first", nullptr);
    ErrorLog(std::string(300, 'x').c_str(), nullptr);
    ErrorLog("other", "!labels.txt");
    ErrorLog(nullptr, nullptr);
    EXPECT_EQ(ReadFile("!error.txt"), "first\n" + std::string(256, 'x') + "\n");
    EXPECT_EQ(ReadFile("!labels.txt"), "other\n");
}

// ---------------------------------------------------------------------------
// Strings

TEST(Strings, StrCmpNoCase) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    } cases[] = {
        {"Abc", "aBC", 0}, {"ab", "abc", -1},    {"abc", "ab", 1}, {"", "", 0},
        {"", "a", -1},     {"abd", "ABC", 1},    {"_", "A", -1}, // '_' is below 'a' once 'A' is lowered
        {"\xE9", "a", -1},                                       // bytes 128..255 sort below ASCII
        {"a", "\xE9", 1},  {"\xC6", "\xE6", -1},                 // Polish capitals are not folded here
    };
    for (const Case& c : cases)
        EXPECT_EQ(StrCmpNoCase(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST(Strings, CharEqualNoCase) {
    EXPECT_TRUE(CharEqualNoCase('Q', 'q'));
    EXPECT_TRUE(CharEqualNoCase('5', '5'));
    EXPECT_FALSE(CharEqualNoCase('[', '{'));
}

TEST(Strings, StrToLowerFoldsAsciiAndPolishCapitals) {
    char text[] = "ZAZ\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF \xC9\xB9 Ok";
    StrToLower(text);
    EXPECT_STREQ(text, "zaz\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF \xC9\xB9 ok");
}

TEST(Strings, StrStrNoCase) {
    struct Case {
        const char* text;
        const char* part;
        int expected;
    } cases[] = {
        {"Models\\Crate.X", "crate", 1},
        {"models", "MODELS", 1},
        {"models", "", 1},
        {"", "", 0},
        {"", "a", 0},
        {"abc", "abd", 0},
        {"\xA3\xD3"
         "DKA",
         "\xB3\xF3"
         "dka",
         1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StrStrNoCase(c.text, c.part), c.expected) << c.text << " / " << c.part;
}

TEST(Strings, CuttingAndTrimming) {
    struct Case {
        std::function<void(char*)> edit;
        const char* before;
        const char* after;
    } cases[] = {
        {CutAtSpace, "a\tb c", "a\tb"}, {CutAtSpace, "abc", "abc"}, {CutAtBlank, "a\tb c", "a"},
        {CutAtBlank, "ab c", "ab"},     {TrimRight, "   ", " "},    {TrimRight, "a \t", "a"},
        {TrimRight, "a b", "a b"},      {TrimRight, " ", " "},      {TrimRight, "", ""},
    };
    for (const Case& c : cases) {
        std::string buffer = c.before;
        c.edit(buffer.data());
        EXPECT_STREQ(buffer.c_str(), c.after) << '"' << c.before << '"';
    }
    CutAtSpace(nullptr);
    CutAtBlank(nullptr);
    TrimRight(nullptr);
}

TEST(Strings, IsValidPath) {
    struct Case {
        const char* name;
        bool valid;
    } cases[] = {
        {"models\\crate_01.x", true},
        {"!opt\\a-b.X", true},
        {"", true},
        {"models\\crate 01.x", false},
        {"models/crate.x", false},
        {"c:\\models\\crate.x", false},
        {"\xB3\xF3"
         "dka.x",
         false},
        {nullptr, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsValidPath(c.name), c.valid) << (c.name ? c.name : "null");
}

// ---------------------------------------------------------------------------
// Numbers and colours

TEST(Numbers, RandomFloatScalesTheProjectGenerator) {
    EXPECT_EQ(RandomFloat(0.0f), 0.0f);
    os::Srand(1234);
    std::vector<int> raw;
    for (int i = 0; i < 200; ++i)
        raw.push_back(os::Rand());
    os::Srand(1234);
    for (int r : raw) {
        float one = RandomFloat(1.0f);
        EXPECT_EQ(one, float(r) / 32768.0f);
        EXPECT_GE(one, 0.0f);
        EXPECT_LT(one, 1.0f);
    }
    for (int i = 0; i < 200; ++i) {
        float neg = RandomFloat(-2.0f);
        EXPECT_LE(neg, 0.0f);
        EXPECT_GT(neg, -2.0f);
    }
}

TEST(Numbers, StepTowardsStopsAtTheTarget) {
    struct Case {
        float value, target, step, expected;
    } cases[] = {
        {0.9f, 1.0f, 0.5f, 1.0f}, {0.0f, 1.0f, 0.25f, 0.25f}, {1.0f, 0.0f, 0.25f, 0.75f},
        {1.0f, 0.9f, 0.5f, 0.9f}, {2.0f, 2.0f, 0.5f, 2.0f},
    };
    for (const Case& c : cases) {
        float v = c.value;
        StepTowards(&v, c.target, c.step);
        EXPECT_EQ(v, c.expected) << c.value << " -> " << c.target;
    }
    StepTowards(nullptr, 1.0f, 1.0f);
}

TEST(Numbers, NearlyEqualAndLerpClamped) {
    EXPECT_TRUE(IsNearlyEqual(1.0f, 1.5f, 0.5f));
    EXPECT_FALSE(IsNearlyEqual(1.0f, 1.51f, 0.5f));
    EXPECT_TRUE(IsNearlyEqual(-1.0f, -1.0f, 0.0f));
    struct Case {
        float a, b, t, expected;
    } cases[] = {{2, 4, 0.5f, 3}, {2, 4, -1, 2}, {2, 4, 2, 4}, {4, 2, 0.25f, 3.5f}};
    for (const Case& c : cases)
        EXPECT_EQ(LerpClamped(c.a, c.b, c.t), c.expected) << c.t;
}

TEST(Numbers, LerpColorBlendsEachChannel) {
    struct Case {
        uint32_t c1, c2;
        float t;
        uint32_t expected;
    } cases[] = {
        {0x00000000, 0xFFFFFFFF, 0.5f, 0x7F7F7F7F},
        {0x00806040, 0xFF000000, 0.5f, 0x7F403020}, // shaded ambient: channels halved, alpha 127
        {0x10203040, 0x20406080, 0.0f, 0x10203040},
        {0x10203040, 0x20406080, 1.0f, 0x20406080},
        {0x10203040, 0x20406080, -3.0f, 0x10203040},
        {0x10203040, 0x20406080, 7.0f, 0x20406080},
        {0xFF0000FF, 0x00FF0000, 0.25f, 0xBF3F00BF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LerpColor(c.c1, c.c2, c.t), c.expected) << std::hex << c.c1 << " " << c.t;
}

TEST(Numbers, VecToRGBPacksWithoutClamping) {
    struct Case {
        float v[3];
        bool scale;
        uint32_t expected;
    } cases[] = {
        {{1.0f, 0.5f, 0.0f}, true, 0x00FF7F00},
        {{12.9f, 34.2f, 255.0f}, false, 0x000C22FF},
        {{1.0f, 1.0f, 1.0f}, true, 0x00FFFFFF},
        {{256.0f, 0.0f, 0.0f}, false, 0x01000000}, // spills into the alpha bits
    };
    for (const Case& c : cases)
        EXPECT_EQ(VecToRGB(c.v, c.scale), c.expected) << std::hex << c.expected;
    EXPECT_EQ(VecToRGB(nullptr, true), 0u);
}

TEST(Numbers, FormatTwoDigits) {
    struct Case {
        uint32_t n;
        const char* text;
    } cases[] = {{0, "00"}, {7, "07"}, {10, "10"}, {59, "59"}, {123, "123"}};
    for (const Case& c : cases)
        EXPECT_STREQ(FormatTwoDigits(c.n), c.text) << c.n;
}

// A carry into the integer part writes ".00" after it and then fills up to
// the decimals asked for, so with fewer than two decimals the ".00" stays.
TEST(Numbers, FormatFloatRoundsItsText) {
    struct Case {
        float value;
        int decimals;
        const char* text;
    } cases[] = {
        {0.125f, 2, "0.13"},          {9.999f, 2, "10.00"},   {0.5f, 2, "0.50"},
        {-1.25f, 2, "-1.25"},         {-0.004f, 2, "-0.00"},  {0.0f, 2, "0.00"},
        {0.196f, 2, "0.20"},          {99.995f, 2, "100.00"}, {1234.5678f, 2, "1234.57"},
        {1e10f, 2, "10000000000.00"}, {3.0f, 4, "3.0000"},    {2.71828f, 3, "2.718"},
        {0.0996f, 3, "0.100"},        {640.0f, 2, "640.00"},  {9.96f, 1, "10.00"},
        {9.6f, 0, "10.00"},           {9.4f, 0, "9."},        {9.99996f, 4, "10.0000"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(FormatFloat(c.value, c.decimals), c.text) << c.value;
}
