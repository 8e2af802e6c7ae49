#include <gtest/gtest.h>

#include <cstring>

#include "sound/SoundWave.h"
#include "tests/sound/SoundTestUtil.h"
#include "world/Engine.h"

using namespace soundtest;

namespace {

Bytes Counting(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(i * 7 + 1);
    return b;
}

} // namespace

class WaveReaderTest : public TempDataDir {};

TEST_F(WaveReaderTest, WalksChunksOfEveryShape) {
    const Bytes fmt = FmtBody(2, 16, 22050);
    const Bytes data = Counting(40);
    Bytes shortFmt = fmt;
    shortFmt.resize(14);
    Bytes riffOnly = Riff({});
    struct Case {
        const char* what;
        Bytes file;
        bool ok;
        uint32_t dataSize; // bytes expected when ok
        const char* logs;  // the ERR lines expected, in order
    } cases[] = {
        {"fmt then data", Riff({Chunk("fmt ", fmt), Chunk("data", data)}), true, 40, ""},
        {"data before fmt", Riff({Chunk("data", data), Chunk("fmt ", fmt)}), true, 40, ""},
        {"odd chunk and its pad byte before data",
         Riff({Chunk("fmt ", fmt), Chunk("LIST", Counting(3)), Chunk("data", data)}), true, 40, ""},
        {"odd data at the end without pad", Riff({Chunk("fmt ", fmt), Chunk("data", Counting(5), -1, false)}),
         true, 5, ""},
        {"longer fmt with extra bytes",
         Riff({Chunk("fmt ",
                     [&] {
                         Bytes b = fmt;
                         Put16(b, 0);
                         return b;
                     }()),
               Chunk("data", data)}),
         true, 40, ""},
        {"second data chunk replaces the first",
         Riff({Chunk("fmt ", fmt), Chunk("data", Counting(8)), Chunk("data", data)}), true, 40, ""},
        {"data stated past the end is cut", Riff({Chunk("fmt ", fmt), Chunk("data", data, 100000)}), true, 40,
         ""},
        {"no fmt", Riff({Chunk("data", data)}), false, 0, "ERR #2: format chunk wrong\n"},
        {"no data", Riff({Chunk("fmt ", fmt)}), false, 0, "ERR #3: data chunk wrong\n"},
        {"neither", Riff({Chunk("junk", Counting(6))}), false, 0,
         "ERR #2: format chunk wrong\nERR #3: data chunk wrong\n"},
        {"header only", riffOnly, false, 0, "ERR #2: format chunk wrong\nERR #3: data chunk wrong\n"},
        {"fmt shorter than 16 bytes", Riff({Chunk("fmt ", shortFmt), Chunk("data", data)}), false, 0,
         "ERR #2: format chunk wrong\n"},
        {"fmt cut by the end of the file",
         [&] {
             Bytes b = Riff({Chunk("fmt ", fmt)});
             b.resize(b.size() - 6);
             return b;
         }(),
         false, 0, "ERR #2: format chunk wrong\nERR #3: data chunk wrong\n"},
        {"huge unknown chunk hides the data",
         Riff({Chunk("fmt ", fmt), Chunk("junk", Counting(4), 0xFFFFFFF0), Chunk("data", data)}), false, 0,
         "ERR #3: data chunk wrong\n"},
        {"empty file", Bytes{}, false, 0, "ERR #2: format chunk wrong\nERR #3: data chunk wrong\n"},
    };
    for (const Case& c : cases) {
        WriteFile(root_ / "sounds" / "case.wav", c.file);
        TakeLog();
        CSoundWave wave;
        EXPECT_EQ(wave.LoadWaveFromFile("Sounds\\CASE.wav"), c.ok) << c.what;
        const std::string log = TakeLog();
        std::string errs;
        for (size_t p = log.find("ERR #"); p != std::string::npos; p = log.find("ERR #", p + 1))
            errs += log.substr(p, log.find('\n', p) + 1 - p);
        EXPECT_EQ(errs, c.logs) << c.what;
        if (c.ok) {
            EXPECT_EQ(wave.m_Format.formatTag, 1) << c.what;
            EXPECT_EQ(wave.m_Format.channels, 2) << c.what;
            EXPECT_EQ(wave.m_Format.samplesPerSec, 22050u) << c.what;
            EXPECT_EQ(wave.m_Format.avgBytesPerSec, 88200u) << c.what;
            EXPECT_EQ(wave.m_Format.blockAlign, 4) << c.what;
            EXPECT_EQ(wave.m_Format.bitsPerSample, 16) << c.what;
            EXPECT_EQ(wave.m_Format.extraSize, 0) << c.what;
            ASSERT_EQ(wave.m_dwSize, c.dataSize) << c.what;
            EXPECT_EQ(std::memcmp(wave.m_pReadedWaveData, Counting(c.dataSize).data(), c.dataSize), 0)
                << c.what;
            EXPECT_STREQ(wave.m_szName, "Sounds\\CASE.wav") << c.what;
        } else {
            // A failed load leaves nothing behind.
            EXPECT_EQ(wave.m_dwSize, 0u) << c.what;
            EXPECT_EQ(wave.m_pReadedWaveData, nullptr) << c.what;
            EXPECT_EQ(wave.m_Format.channels, 0) << c.what;
        }
    }
}

TEST_F(WaveReaderTest, CutDataAndShortFmtAreNamedInTheLog) {
    WriteFile(root_ / "a.wav", Riff({Chunk("fmt ", FmtBody(1, 8, 8000)), Chunk("data", Counting(10), 5000)}));
    Bytes shortFmt = FmtBody(1, 8, 8000);
    shortFmt.resize(12);
    WriteFile(root_ / "b.wav", Riff({Chunk("fmt ", shortFmt), Chunk("data", Counting(10))}));
    TakeLog();
    CSoundWave a, b;
    EXPECT_TRUE(a.LoadWaveFromFile("a.wav"));
    EXPECT_FALSE(b.LoadWaveFromFile("b.wav"));
    const std::string log = TakeLog();
    EXPECT_TRUE(Has(log, "a.wav: \"data\" chunk of 5000 bytes cut to the 10 the file holds")) << log;
    EXPECT_TRUE(Has(log, "b.wav: \"fmt \" chunk of 12 bytes, 16 needed")) << log;
}

TEST_F(WaveReaderTest, MissingFileAndNullName) {
    TakeLog();
    CSoundWave wave;
    EXPECT_FALSE(wave.LoadWaveFromFile("sounds\\nothing.wav"));
    EXPECT_FALSE(wave.LoadWaveFromFile(nullptr));
    const std::string log = TakeLog();
    EXPECT_EQ(log, "ERR #1: There's no disk file!\nERR #1: There's no disk file!\n");
}

TEST_F(WaveReaderTest, ReloadingReplacesTheOldWave) {
    WriteFile(root_ / "big.wav", Wave16(2, 1000));
    WriteFile(root_ / "small.wav", Wave16(1, 10));
    CSoundWave wave;
    ASSERT_TRUE(wave.LoadWaveFromFile("big.wav"));
    ASSERT_TRUE(wave.LoadWaveFromFile("small.wav"));
    EXPECT_EQ(wave.m_dwSize, 20u);
    EXPECT_EQ(wave.m_Format.channels, 1);
    EXPECT_STREQ(wave.m_szName, "small.wav");
    wave.Free();
    EXPECT_EQ(wave.m_dwSize, 0u);
    EXPECT_EQ(wave.m_pReadedWaveData, nullptr);
}

// ---- The cache ----------------------------------------------------------------------

class SoundCacheTest : public TempDataDir {
  protected:
    void SetUp() override {
        TempDataDir::SetUp();
        g_SoundCache.Clear();
        g_Engine.m_fWorldTime = 0;
    }
    void TearDown() override {
        g_SoundCache.Clear();
        g_Engine.m_fWorldTime = 0;
        TempDataDir::TearDown();
    }
    static std::string Name(int i) { return "sounds\\s" + std::to_string(i) + ".wav"; }
    void MakeFiles(int n) {
        for (int i = 0; i < n; ++i)
            WriteFile(root_ / "sounds" / ("s" + std::to_string(i) + ".wav"), Wave16(1, 4));
    }
    static int UsedSlots() {
        int n = 0;
        for (const SoundCacheSlot& s : g_SoundCache.m_Slots)
            n += s.bUsed;
        return n;
    }
    static int SlotOf(const std::string& name) {
        for (int i = 0; i < CSoundCache::MAX_SOUNDCACHE; ++i)
            if (g_SoundCache.m_Slots[i].bUsed && name == g_SoundCache.m_Slots[i].szName) return i;
        return -1;
    }
};

TEST_F(SoundCacheTest, FindsNamesWithoutRegardToCase) {
    MakeFiles(2);
    g_Engine.m_fWorldTime = 3.5f;
    ASSERT_TRUE(g_SoundCache.LoadToCache("sounds\\s1.wav"));
    g_Engine.m_fWorldTime = 9.0f;
    EXPECT_TRUE(g_SoundCache.LoadToCache("SOUNDS\\S1.WAV"));
    EXPECT_EQ(UsedSlots(), 1);
    EXPECT_TRUE(g_SoundCache.IsCached("Sounds\\s1.Wav"));
    EXPECT_FALSE(g_SoundCache.IsCached("sounds\\s0.wav"));
    EXPECT_FALSE(g_SoundCache.IsCached(nullptr));
    SoundCacheSlot* slot = nullptr;
    ASSERT_TRUE(g_SoundCache.FindSlot("sOUNDS\\s1.wav", &slot));
    EXPECT_EQ(slot, &g_SoundCache.m_Slots[0]);
    EXPECT_EQ(slot->fLastUseTime, 3.5); // the second load changed nothing
    EXPECT_EQ(slot->pWave->m_dwSize, 8u);
    EXPECT_FALSE(g_SoundCache.LoadToCache(nullptr));
}

TEST_F(SoundCacheTest, FullCacheDropsTheWaveLoadedLongestAgo) {
    constexpr int N = CSoundCache::MAX_SOUNDCACHE;
    MakeFiles(N + 3);
    for (int i = 0; i < N; ++i) {
        // Slots 7 and 3 share the earliest time; 3 has the lower index.
        g_Engine.m_fWorldTime = (i == 3 || i == 7) ? 0.5f : float(10 + i);
        ASSERT_TRUE(g_SoundCache.LoadToCache(Name(i).c_str())) << i;
    }
    EXPECT_EQ(UsedSlots(), N);
    g_Engine.m_fWorldTime = 5000;
    // Using a cached wave does not make it newer.
    EXPECT_TRUE(g_SoundCache.LoadToCache(Name(3).c_str()));
    EXPECT_EQ(g_SoundCache.m_Slots[3].fLastUseTime, 0.5);

    ASSERT_TRUE(g_SoundCache.LoadToCache(Name(N).c_str()));
    EXPECT_EQ(SlotOf(Name(N)), 3);
    EXPECT_EQ(g_SoundCache.m_Slots[3].fLastUseTime, 5000.0);
    EXPECT_FALSE(g_SoundCache.IsCached(Name(3).c_str()));

    ASSERT_TRUE(g_SoundCache.LoadToCache(Name(N + 1).c_str()));
    EXPECT_EQ(SlotOf(Name(N + 1)), 7);
    ASSERT_TRUE(g_SoundCache.LoadToCache(Name(N + 2).c_str()));
    EXPECT_EQ(SlotOf(Name(N + 2)), 0); // then the oldest of the rest, time 10
    EXPECT_EQ(UsedSlots(), N);
}

TEST_F(SoundCacheTest, FailedLoadLeavesItsSlotEmpty) {
    constexpr int N = CSoundCache::MAX_SOUNDCACHE;
    MakeFiles(N);
    for (int i = 0; i < N; ++i) {
        g_Engine.m_fWorldTime = float(100 - (i == 42 ? 99 : 0) + i);
        ASSERT_TRUE(g_SoundCache.LoadToCache(Name(i).c_str()));
    }
    TakeLog();
    EXPECT_FALSE(g_SoundCache.LoadToCache("sounds\\missing.wav"));
    const std::string log = TakeLog();
    EXPECT_TRUE(Has(log, "ERROR in CSoundCache::LoadToCache(): LoadWaveFromFile() failed...")) << log;
    EXPECT_TRUE(Has(log, "sounds\\missing.wav")) << log;
    EXPECT_EQ(UsedSlots(), N - 1);
    EXPECT_FALSE(g_SoundCache.m_Slots[42].bUsed);
    EXPECT_EQ(g_SoundCache.m_Slots[42].pWave, nullptr);
    // The empty slot is the first one taken next.
    ASSERT_TRUE(g_SoundCache.LoadToCache(Name(42).c_str()));
    EXPECT_EQ(SlotOf(Name(42)), 42);
}

TEST_F(SoundCacheTest, FreeSlotAndClear) {
    MakeFiles(3);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(g_SoundCache.LoadToCache(Name(i).c_str()));
    g_SoundCache.FreeSlot(1);
    g_SoundCache.FreeSlot(-1);
    g_SoundCache.FreeSlot(CSoundCache::MAX_SOUNDCACHE);
    EXPECT_EQ(UsedSlots(), 2);
    EXPECT_FALSE(g_SoundCache.IsCached(Name(1).c_str()));
    EXPECT_EQ(g_SoundCache.m_Slots[1].szName[0], 0);
    g_SoundCache.Clear();
    EXPECT_EQ(UsedSlots(), 0);
}
