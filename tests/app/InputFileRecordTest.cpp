#include <gtest/gtest.h>

#include <cstring>

#include "game/InputFileRecord.h"
#include "sound/SoundMgr.h"
#include "tests/sound/SoundTestUtil.h"

namespace {

bool SoundIsListed(const strSound* s) {
    for (const strSound* p = g_SoundMgr.FirstSound(); p; p = p->pNext) {
        if (p == s) return true;
    }
    return false;
}

class InputFileRecordTest : public soundtest::TempDataDir {
  protected:
    void SetUp() override {
        TempDataDir::SetUp();
        soundtest::WriteFile(root_ / "sounds" / "hum.wav", soundtest::Wave16(1, 4410));
        g_SoundMgr.SetBackend(audio::Backend::Silent);
        ASSERT_TRUE(g_SoundMgr.Init());
    }
    void TearDown() override {
        g_SoundMgr.Release();
        g_SoundMgr.SetBackend(audio::Backend::Auto);
        TempDataDir::TearDown();
    }
    InputFileRecord record_;
};

TEST_F(InputFileRecordTest, ResetClearsEverythingAndSetsTheIndexTo99) {
    std::memset(record_.m_Entries, 0x5A, sizeof record_.m_Entries);
    record_.m_dwCount = 7;
    record_.m_fValues[0] = 1.5f;
    record_.m_fValues[1] = -2.0f;
    record_.m_dwIndex = 3;
    record_.AddHit();
    record_.AddHit();
    EXPECT_EQ(record_.m_dwHits, 2u);

    record_.Reset();
    for (uint8_t b : record_.m_Entries)
        ASSERT_EQ(b, 0);
    EXPECT_EQ(record_.m_dwCount, 0u);
    EXPECT_EQ(record_.m_fValues[0], 0.0f);
    EXPECT_EQ(record_.m_fValues[1], 0.0f);
    EXPECT_EQ(record_.m_pSound, nullptr);
    EXPECT_EQ(record_.m_dwIndex, InputFileRecord::INDEX_AFTER_RESET);
    EXPECT_EQ(record_.m_dwHits, 0u);
}

TEST_F(InputFileRecordTest, ReleaseDeletesItsSoundOnceAndClearsTheHandle) {
    strSound* s = g_SoundMgr.CreateSound("sounds\\hum.wav");
    ASSERT_NE(s, nullptr);
    g_SoundMgr.PlaySound(s, true);
    record_.m_pSound = s;

    record_.Release();
    EXPECT_EQ(record_.m_pSound, nullptr);
    EXPECT_FALSE(SoundIsListed(s));
    record_.Release(); // nothing left to delete
    EXPECT_EQ(record_.m_pSound, nullptr);
}

} // namespace
