// The music thread: starting, stopping and joining, the lock it shares with
// the main thread, and main-thread calls while it refills. The file is built
// twice: into test_sound, and on its own with ThreadSanitizer
// (test_music_tsan), which links only the music stream, the thread, the lock
// and the platform's os and audio layers.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/audio/Audio.h"
#include "platform/os/Os.h"
#include "sound/MusicStream.h"
#include "sound/MusicThread.h"
#include "sound/SoundLock.h"
#include "tests/sound/MusicTestUtil.h"

#ifdef ZT_MUSIC_TSAN
#include "sound/MusicLog.h"
// This build has no console: the music code's log lines go to standard error.
void MusicLog(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}
#endif

using namespace soundtest;

namespace {

class MusicThreadTest : public TempDataDir {
  protected:
    void SetUp() override {
        TempDataDir::SetUp();
        ASSERT_EQ(audio::OpenDevice(audio::Backend::Silent, &device_), audio::Result::Ok);
        // 0.6 s: the silent stream's position crosses a half every 0.25 s.
        WriteFile(root_ / "music" / "a.ogg", musictest::EncodeOgg(musictest::Tone(2, 26460), 2, 44100));
        WriteFile(root_ / "music" / "b.ogg", musictest::EncodeOgg(musictest::Tone(1, 8000, 22050), 1, 22050));
        WriteFile(root_ / "music" / "bad.ogg", Bytes(100, 7));
    }
    void TearDown() override {
        thread_.reset();
        device_.reset();
        TempDataDir::TearDown();
    }
    void Make() { thread_ = std::make_unique<CMusicThread>(device_.get(), lock_); }
    // Waits (without a deadline that matters) until the thread has refilled
    // `count` halves, watching the stream under the lock.
    bool WaitForRefills(int count) {
        uint32_t last = 0;
        {
            CSoundLock::Scoped lock(lock_);
            last = thread_->Stream()->dwPreviousHalf;
        }
        int seen = 0;
        for (int i = 0; i < 20000 && seen < count; ++i) {
            {
                CSoundLock::Scoped lock(lock_);
                const uint32_t half = thread_->Stream()->dwPreviousHalf;
                if (half != last) ++seen;
                last = half;
            }
            os::SleepMs(1);
        }
        return seen >= count;
    }

    std::unique_ptr<audio::Device> device_;
    CSoundLock lock_;
    std::unique_ptr<CMusicThread> thread_;
};

} // namespace

TEST_F(MusicThreadTest, TheLockIsANoOpWhileNoThreadRuns) {
    Make();
    EXPECT_FALSE(lock_.IsActive());
    EXPECT_FALSE(lock_.Take()); // nothing to wait for
    ASSERT_TRUE(thread_->Open("music\\a.ogg"));
    EXPECT_TRUE(thread_->IsThreadRunning());
    EXPECT_TRUE(lock_.IsActive());
    EXPECT_TRUE(lock_.Take());
    lock_.Give();
    thread_->Stop();
    EXPECT_FALSE(thread_->IsThreadRunning());
    EXPECT_FALSE(lock_.IsActive());
    EXPECT_FALSE(lock_.Take());
    thread_->Stop(); // twice is harmless
    // The stream stays usable without its thread, unlocked.
    thread_->Play(1.0f, true);
    EXPECT_TRUE(thread_->IsPlaying());
}

TEST_F(MusicThreadTest, AFileWithoutAStreamLeavesNoThread) {
    Make();
    for (const char* name : {"music\\none.ogg", "music\\bad.ogg"}) {
        EXPECT_FALSE(thread_->Open(name)) << name;
        EXPECT_FALSE(thread_->IsStreamOpen());
        EXPECT_FALSE(thread_->IsThreadRunning());
        EXPECT_FALSE(lock_.IsActive());
        thread_->Play(1.0f, true);
        thread_->PauseMusic();
        thread_->ResumeMusic();
        thread_->SetVolume(0.5f);
        thread_->StopMusic();
        EXPECT_FALSE(thread_->IsPlaying());
    }
}

TEST_F(MusicThreadTest, OpeningAnotherFileReplacesStreamAndThread) {
    Make();
    ASSERT_TRUE(thread_->Open("music\\a.ogg"));
    thread_->Play(1.0f, true);
    ASSERT_TRUE(WaitForRefills(1));
    ASSERT_TRUE(thread_->Open("music\\b.ogg"));
    EXPECT_TRUE(thread_->IsThreadRunning());
    EXPECT_TRUE(lock_.IsActive());
    {
        CSoundLock::Scoped lock(lock_);
        EXPECT_EQ(thread_->Stream()->wfx.channels, 1);
        EXPECT_EQ(thread_->Stream()->wfx.samplesPerSec, 22050u);
    }
    // A file that yields nothing after a good one: no stream, no thread.
    EXPECT_FALSE(thread_->Open("music\\bad.ogg"));
    EXPECT_FALSE(thread_->IsThreadRunning());
    EXPECT_EQ(thread_->Stream(), nullptr);
    EXPECT_FALSE(lock_.IsActive());
}

TEST_F(MusicThreadTest, TheThreadRefillsWhileTheMainThreadCalls) {
    Make();
    ASSERT_TRUE(thread_->Open("music\\a.ogg"));
    thread_->Play(0.5f, true);
    EXPECT_TRUE(thread_->IsPlaying());
    for (int i = 0; i < 200; ++i) {
        thread_->SetVolume(float(i % 10) / 10.0f);
        EXPECT_TRUE(thread_->IsPlaying());
        thread_->PauseMusic();
        thread_->ResumeMusic();
    }
    // Looping past the file's end (0.6 s) takes several halves.
    EXPECT_TRUE(WaitForRefills(4));
    EXPECT_TRUE(thread_->IsPlaying());
    {
        CSoundLock::Scoped lock(lock_);
        EXPECT_FALSE(thread_->Stream()->bFinished);
    }
    thread_->StopMusic();
    EXPECT_FALSE(thread_->IsPlaying());
}

TEST_F(MusicThreadTest, ANonLoopingPieceFinishesOnTheThread) {
    Make();
    ASSERT_TRUE(thread_->Open("music\\a.ogg"));
    thread_->Play(1.0f, false);
    bool finished = false;
    for (int i = 0; i < 20000 && !finished; ++i) {
        finished = !thread_->IsPlaying();
        os::SleepMs(1);
    }
    EXPECT_TRUE(finished);
}

TEST_F(MusicThreadTest, StartingAgainStopsTheRunningThreadFirst) {
    Make();
    ASSERT_TRUE(thread_->Open("music\\a.ogg"));
    thread_->Play(1.0f, true);
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(thread_->Start());
        EXPECT_TRUE(thread_->IsThreadRunning());
        EXPECT_TRUE(lock_.IsActive());
    }
    EXPECT_TRUE(WaitForRefills(1));
}

TEST_F(MusicThreadTest, TheDestructorJoinsBeforeTheStreamIsFreed) {
    // Under the sanitizers a refill running past the stream's release shows
    // up as a use after free or a race.
    for (int i = 0; i < 25; ++i) {
        Make();
        ASSERT_TRUE(thread_->Open("music\\a.ogg"));
        thread_->Play(1.0f, true);
        os::SleepMs(uint32_t(i % 4));
        thread_.reset();
        EXPECT_FALSE(lock_.IsActive()) << i;
    }
}
