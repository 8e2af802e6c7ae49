// Music through OpenAL: the demo gong streamed by the music thread comes out
// sample for sample, and looping goes on past the file's end without a gap.
// OpenAL reads its configuration once per process, so the playing runs in a
// child copy of this executable (tests/platform/AudioChild.h), mixed on the
// test's clock; how often the real-time output drops out is measured by the
// music benchmark, not here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Options.h"
#include "platform/os/Os.h"
#include "sound/MusicStream.h"
#include "sound/MusicThread.h"
#include "sound/SoundMgr.h"
#include "tests/platform/AudioChild.h"
#include "tests/sound/MusicTestUtil.h"
#include "world/Engine.h"

using namespace soundtest;

namespace {

constexpr const char* kDemo = "music\\gong_02.ogg";
constexpr size_t kHalfFrames = 44100 / 4; // one half of the stream, stereo 16-bit
constexpr uint32_t kStepFrames = 1000;    // mixed at a time: several steps a half

// Frames of the output equal to the reference from `at` on, within a sample
// tolerance; stops at the first frame that differs.
size_t MatchingFrames(const std::vector<int16_t>& out, size_t at, const std::vector<int16_t>& ref,
                      size_t maxFrames) {
    size_t n = 0;
    while (n < maxFrames && (at + n) * 2 + 1 < out.size() && n * 2 + 1 < ref.size()) {
        const size_t o = (at + n) * 2, r = n * 2;
        if (std::abs(out[o] - ref[r]) > 2 || std::abs(out[o + 1] - ref[r + 1]) > 2) break;
        ++n;
    }
    return n;
}

} // namespace

// Child: the demo gong looping through the sound manager's music thread,
// mixed step by step; after each step the music thread has looked at the new
// play position (and refilled the half it left) before the next is mixed, so
// the output is the same however late the thread runs.
TEST(MusicOutputChild, DISABLED_LoopDemoMusic) {
    ASSERT_TRUE(audiotest::InChild());
    sound = true;
    g_Engine.m_bFastForward = 0;
    os::SetStartDirectory(std::getenv("ZT_SOUND_DIR"));
    g_SoundMgr.SetBackend(audio::Backend::OpenAlLoopback);
    ASSERT_TRUE(g_SoundMgr.Init());
    g_SoundMgr.Music_SetVolume(1.0f); // full setting: stream volume 0 dB
    g_SoundMgr.Music_Play(kDemo, true);
    CMusicThread* thread = g_SoundMgr.m_pMusicThread;
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(thread->IsThreadRunning());
    const uint32_t frames = uint32_t(std::atoi(std::getenv("ZT_MUSIC_FRAMES")));
    auto caughtUp = [&] {
        // The bound only keeps a hung thread from hanging the test.
        for (int i = 0; i < 60000; ++i) {
            {
                CSoundLock::Scoped lock(g_SoundMgr.Lock());
                uint32_t cursor = 0;
                thread->Stream()->pBuffer->GetCurrentPosition(&cursor);
                if (thread->Stream()->dwPreviousHalf == (cursor >= MusicStream::HALF_BYTES ? 1u : 0u))
                    return true;
            }
            os::SleepMs(1);
        }
        return false;
    };
    // Mixed under the sound lock, so that no refill runs half-way through a step.
    const bool rendered = audiotest::RenderLoopbackToFile(frames, kStepFrames, [&](int16_t* out, uint32_t n) {
        {
            CSoundLock::Scoped lock(g_SoundMgr.Lock());
            if (audio::RenderLoopback(out, n) != audio::Result::Ok) return false;
        }
        return caughtUp();
    });
    ASSERT_TRUE(rendered);
    ASSERT_TRUE(g_SoundMgr.Music_IsPlaying());
    g_SoundMgr.Release();
    g_SoundMgr.m_pDS.reset();
}

TEST(MusicOutputTest, TheDemoMusicLoopsThroughOpenAlWithoutAGap) {
    const fs::path root = fs::temp_directory_path() / ("zt_music_out_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    fs::copy(fs::path(ZT_SOURCE_DIR) / "data" / "music", root / "music", fs::copy_options::recursive);

    int channels = 0;
    long rate = 0;
    const Bytes pcm = musictest::DecodeOggFile((root / "music" / "gong_02.ogg").string(), &channels, &rate);
    ASSERT_EQ(channels, 2);
    ASSERT_EQ(rate, 44100);
    std::vector<int16_t> ref(pcm.size() / 2);
    std::memcpy(ref.data(), pcm.data(), ref.size() * 2);
    const size_t refFrames = ref.size() / 2;

    // The piece once and four halves of its second time round.
    const fs::path out = root / "out.raw";
    auto env = audiotest::LoopbackEnv(root, out);
    env.push_back("ZT_SOUND_DIR=" + root.string());
    env.push_back("ZT_MUSIC_FRAMES=" + std::to_string(refFrames + 4 * kHalfFrames));
    ASSERT_EQ(audiotest::RunChild("MusicOutputChild.DISABLED_LoopDemoMusic", env), 0);
    const audiotest::WaveOutput w = audiotest::ReadLoopbackOutput(out);
    fs::remove_all(root);
    ASSERT_EQ(w.samples.size(), (refFrames + 4 * kHalfFrames) * 2);

    // The file's samples, as decoded, from the first frame on and all the way through.
    EXPECT_EQ(MatchingFrames(w.samples, 0, ref, refFrames), refFrames);
    // Then round again from sample 0, at once.
    EXPECT_EQ(MatchingFrames(w.samples, refFrames, ref, 4 * kHalfFrames), 4 * kHalfFrames);
}
