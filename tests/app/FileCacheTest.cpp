#include "app/FileCache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/Debug.h"
#include "tests/app/ScratchDir.h"

namespace {

// A fresh cache in a scratch directory; console lines land in its
// "!console.txt".
class FileCache : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        cache_ = std::make_unique<FileCacheManager>();
    }
    void TearDown() override {
        for (FileCacheManager::Entry& e : cache_->m_Cache)
            delete[] e.pData;
        ScratchDirTest::TearDown();
    }

    std::vector<std::string> ReadAll(FileCacheManager::Handle* h, uint32_t n = 256) {
        std::vector<std::string> lines;
        while (!cache_->Eof(h) && lines.size() < 100) {
            std::string buffer(n + 4, '#');
            cache_->ReadLine(h, buffer.data(), n);
            lines.emplace_back(buffer.c_str());
        }
        return lines;
    }
    std::vector<std::string> ReadFileLines(const std::string& bytes, uint32_t n = 256) {
        WriteFile("f.txt", bytes);
        FileCacheManager::Handle* h = cache_->Open("f.txt");
        EXPECT_NE(h, nullptr);
        std::vector<std::string> lines = ReadAll(h, n);
        cache_->Close(h);
        cache_->FreeFile("f.txt");
        return lines;
    }

    std::unique_ptr<FileCacheManager> cache_;
};

using Lines = std::vector<std::string>;

} // namespace

TEST_F(FileCache, ReadsEveryLineEnd) {
    struct Case {
        const char* what;
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"CR LF", "a\r\nb", {"a", "b"}},
        {"LF", "one\ntwo\n", {"one", "two"}},
        {"CR", "one\rtwo\r", {"one", "two"}},
        {"blank lines", "a\r\n\r\nb\n\nc\r\rd", {"a", "", "b", "", "c", "", "d"}},
        // After a CR only an LF is passed over; the next line's first byte stays.
        {"CR before text", "a\rbc", {"a", "bc"}},
        {"LF CR", "a\n\rb", {"a", "", "b"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadFileLines(c.bytes), c.lines) << c.what;
}

TEST_F(FileCache, LongLinesAreSplitAtNMinusOne) {
    EXPECT_EQ(ReadFileLines("abcdefg\nh", 4), (Lines{"abc", "def", "g", "h"}));
    EXPECT_EQ(ReadFileLines("abc\nd", 4), (Lines{"abc", "d"}));
}

TEST_F(FileCache, EndOfDataGivesEmptyTextAndEof) {
    WriteFile("last.txt", "end");
    FileCacheManager::Handle* h = cache_->Open("last.txt");
    char buffer[16] = "zzzz";
    cache_->ReadLine(h, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "end");
    EXPECT_TRUE(cache_->Eof(h));
    cache_->ReadLine(h, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");
    EXPECT_TRUE(cache_->Eof(h));

    WriteFile("empty.txt", "");
    FileCacheManager::Handle* e = cache_->Open("empty.txt");
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(cache_->Eof(e));
    std::strcpy(buffer, "zzzz");
    cache_->ReadLine(e, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");
}

TEST_F(FileCache, InvalidHandlesAndSizesDoNothing) {
    WriteFile("a.txt", "text\n");
    FileCacheManager::Handle* h = cache_->Open("a.txt");
    char buffer[8] = "keep";
    cache_->ReadLine(nullptr, buffer, sizeof buffer);
    cache_->ReadLine(h, buffer, 0);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_FALSE(cache_->Eof(nullptr));
    cache_->Close(h);
    cache_->ReadLine(h, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_FALSE(cache_->Eof(h));
    cache_->Close(nullptr);
    cache_->ReadLine(h, buffer, 1);
    EXPECT_STREQ(buffer, "keep");
}

TEST_F(FileCache, HandlesShareOneEntryWithOwnPositions) {
    WriteFile("Scripts/Desc.TXT", "first\nsecond\n");
    FileCacheManager::Handle* a = cache_->Open("scripts\\desc.txt");
    FileCacheManager::Handle* b = cache_->Open("SCRIPTS\\DESC.TXT");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->entry, b->entry);
    char line[32];
    cache_->ReadLine(a, line, sizeof line);
    cache_->ReadLine(a, line, sizeof line);
    EXPECT_STREQ(line, "second");
    cache_->ReadLine(b, line, sizeof line);
    EXPECT_STREQ(line, "first");
    int used = 0;
    for (const FileCacheManager::Entry& e : cache_->m_Cache)
        used += e.used;
    EXPECT_EQ(used, 1);
}

TEST_F(FileCache, ClosedFilesStayCachedUntilFreed) {
    WriteFile("data.txt", "cached\n");
    FileCacheManager::Handle* h = cache_->Open("data.txt");
    cache_->Close(h);
    std::filesystem::remove(root_ / "data.txt");
    h = cache_->Open("DATA.TXT"); // served from memory
    ASSERT_NE(h, nullptr);
    char line[16];
    cache_->ReadLine(h, line, sizeof line);
    EXPECT_STREQ(line, "cached");
    cache_->Close(h);
    cache_->FreeFile("data.txt");
    EXPECT_EQ(cache_->Open("data.txt"), nullptr);
    cache_->FreeFile("never cached");
}

// Freeing while a handle still reads the data is refused.
TEST_F(FileCache, FreeingAnOpenFileIsRefused) {
    WriteFile("open.txt", "one\ntwo\n");
    FileCacheManager::Handle* h = cache_->Open("open.txt");
    char line[16];
    cache_->ReadLine(h, line, sizeof line);
    cache_->FreeFile("open.txt");
    EXPECT_EQ(ReadFile("!console.txt"),
              "ERROR in FileCacheManager: file is still open, not freed! file: open.txt\n");
    cache_->ReadLine(h, line, sizeof line);
    EXPECT_STREQ(line, "two");
    cache_->Close(h);
    cache_->FreeFile("open.txt");
    EXPECT_FALSE(cache_->m_Cache[0].used);
    EXPECT_EQ(cache_->m_Cache[0].pData, nullptr);
}

TEST_F(FileCache, LoadFileTakesAnEntryEachTime) {
    WriteFile("x.txt", "abc");
    EXPECT_EQ(cache_->LoadFile("x.txt"), 0);
    EXPECT_EQ(cache_->LoadFile("x.txt"), 1); // a second entry, which Open never finds
    EXPECT_EQ(cache_->m_Cache[1].size, 3u);
    EXPECT_EQ(std::string(cache_->m_Cache[1].pData, 3), "abc");
    EXPECT_EQ(cache_->LoadFile("missing.txt"), -1);
    std::filesystem::create_directories(root_ / "folder");
    EXPECT_EQ(cache_->LoadFile("folder"), -1);
    EXPECT_EQ(ReadFile("!console.txt"), "");
}

// Names that do not fit an entry are refused instead of overrunning it.
TEST_F(FileCache, NamesThatDoNotFitAreRefused) {
    std::string fits(FileCacheManager::NAME_LEN - 1, 'n');
    std::string tooLong(FileCacheManager::NAME_LEN, 'n');
    WriteFile(fits.substr(0, 200) + "/" + fits.substr(201), "x");
    fits[200] = '\\';
    EXPECT_EQ(cache_->LoadFile(fits.c_str()), 0);
    EXPECT_STREQ(cache_->m_Cache[0].name, fits.c_str());
    EXPECT_EQ(cache_->LoadFile(tooLong.c_str()), -1);
    EXPECT_EQ(cache_->Open(tooLong.c_str()), nullptr);
    EXPECT_NE(ReadFile("!console.txt").find("file name too long"), std::string::npos);
}

TEST_F(FileCache, FullCacheAndHandleTableAreReported) {
    WriteFile("f.txt", "x");
    for (int i = 0; i < FileCacheManager::MAX_ENTRIES; ++i)
        ASSERT_EQ(cache_->LoadFile("f.txt"), i);
    EXPECT_EQ(cache_->LoadFile("f.txt"), -1);
    EXPECT_EQ(ReadFile("!console.txt"),
              "ERROR in FileCacheManager: no more free space in cache! file: f.txt\n");

    for (int i = 0; i < FileCacheManager::MAX_HANDLES; ++i)
        ASSERT_NE(cache_->Open("f.txt"), nullptr);
    EXPECT_EQ(cache_->Open("f.txt"), nullptr);
    EXPECT_NE(
        ReadFile("!console.txt").find("ERROR in FileCacheManager: no more free file handles! file: f.txt\n"),
        std::string::npos);
}

TEST_F(FileCache, CachedDataIsTracked) {
    bool saved = g_bTrackAllocations;
    g_bTrackAllocations = true;
    g_Debug.ClearAllocations();
    WriteFile("t.txt", "x");
    cache_->LoadFile("t.txt");
    cache_->LoadFile("t.txt");
    EXPECT_EQ(g_Debug.GetAllocationCount("m_Cache[i].pData"), 2u);
    cache_->FreeFile("t.txt");
    EXPECT_EQ(g_Debug.GetAllocationCount("m_Cache[i].pData"), 1u);
    g_Debug.ClearAllocations();
    g_bTrackAllocations = saved;
}
