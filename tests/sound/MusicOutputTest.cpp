// Music through OpenAL into a wave file: the demo gong streamed by the music
// thread comes out sample for sample, and looping goes on past the file's
// end. OpenAL reads its configuration once per process, so the playing runs
// in a child copy of this executable (tests/platform/AudioChild.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Options.h"
#include "platform/os/Os.h"
#include "sound/MusicThread.h"
#include "sound/SoundMgr.h"
#include "tests/platform/AudioChild.h"
#include "tests/sound/MusicTestUtil.h"
#include "world/Engine.h"

using namespace soundtest;

namespace {

constexpr const char* kDemo = "music\\gong_02.ogg";
constexpr size_t kHalfFrames = 44100 / 4; // one half of the stream, stereo 16-bit

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

// The first frame from `from` on where the reference's first `probe` frames begin.
size_t FindStart(const std::vector<int16_t>& out, size_t from, const std::vector<int16_t>& ref,
                 size_t probe) {
    for (size_t at = from; (at + probe) * 2 <= out.size(); ++at)
        if (MatchingFrames(out, at, ref, probe) == probe) return at;
    return SIZE_MAX;
}

} // namespace

// Child: the demo gong looping through the sound manager's music thread.
TEST(MusicOutputChild, DISABLED_LoopDemoMusicIntoWaveFile) {
    ASSERT_TRUE(audiotest::InChild());
    sound = true;
    g_Engine.m_bFastForward = 0;
    os::SetStartDirectory(std::getenv("ZT_SOUND_DIR"));
    g_SoundMgr.SetBackend(audio::Backend::OpenAl);
    ASSERT_TRUE(g_SoundMgr.Init());
    g_SoundMgr.Music_SetVolume(1.0f); // full setting: stream volume 0 dB
    g_SoundMgr.Music_Play(kDemo, true);
    ASSERT_NE(g_SoundMgr.m_pMusicThread, nullptr);
    ASSERT_TRUE(g_SoundMgr.m_pMusicThread->IsThreadRunning());
    // Two seconds of gong, then a second of its second time round.
    os::SleepMs(3300);
    ASSERT_TRUE(g_SoundMgr.Music_IsPlaying());
    g_SoundMgr.Release();
    g_SoundMgr.m_pDS.reset(); // closing the device finishes the file
}

TEST(MusicOutputTest, TheDemoMusicLoopsThroughOpenAlWithoutAGap) {
    const fs::path root = fs::temp_directory_path() / ("zt_music_out_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    fs::copy(fs::path(ZT_SOURCE_DIR) / "data" / "music", root / "music", fs::copy_options::recursive);
    const fs::path out = root / "out.wav";
    auto env = audiotest::WaveBackendEnv(root, out);
    env.push_back("ZT_SOUND_DIR=" + root.string());
    ASSERT_EQ(audiotest::RunChild("MusicOutputChild.DISABLED_LoopDemoMusicIntoWaveFile", env), 0);

    int channels = 0;
    long rate = 0;
    const Bytes pcm = musictest::DecodeOggFile((root / "music" / "gong_02.ogg").string(), &channels, &rate);
    ASSERT_EQ(channels, 2);
    ASSERT_EQ(rate, 44100);
    std::vector<int16_t> ref(pcm.size() / 2);
    std::memcpy(ref.data(), pcm.data(), ref.size() * 2);
    const size_t refFrames = ref.size() / 2;

    const audiotest::WaveOutput w = audiotest::ReadWaveOutput(out);
    ASSERT_EQ(w.channels, 2);
    fs::remove_all(root);

    // The file's samples, as decoded, all the way through.
    const size_t probe = 1024;
    const size_t first = FindStart(w.samples, 0, ref, probe);
    ASSERT_NE(first, SIZE_MAX) << "the music's first samples are not in the output";
    EXPECT_EQ(MatchingFrames(w.samples, first, ref, refFrames), refFrames);

    // Round again from sample 0, with no more than one half of silence
    // between the file's end and its second beginning.
    const size_t end = first + refFrames;
    const size_t again = FindStart(w.samples, end, ref, probe);
    ASSERT_NE(again, SIZE_MAX) << "the music did not loop";
    EXPECT_LE(again - end, kHalfFrames);
    EXPECT_GE(MatchingFrames(w.samples, again, ref, 2 * kHalfFrames), 2 * kHalfFrames);
}
