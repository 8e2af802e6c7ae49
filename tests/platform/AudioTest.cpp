#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "platform/audio/Audio.h"
#include "platform/os/Os.h"
#include "tests/platform/AudioChild.h"

namespace fs = std::filesystem;
using audio::Result;

namespace {

audio::WaveFormat Pcm(uint16_t channels, uint16_t bits, uint32_t rate = 44100) {
    audio::WaveFormat f;
    f.formatTag = audio::kFormatPcm;
    f.channels = channels;
    f.bitsPerSample = bits;
    f.samplesPerSec = rate;
    f.blockAlign = uint16_t(channels * bits / 8);
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

audio::VoiceDesc Desc(uint32_t flags, const audio::WaveFormat& f, uint32_t bytes) {
    audio::VoiceDesc d;
    d.flags = flags;
    d.format = f;
    d.bytes = bytes;
    return d;
}

constexpr uint32_t k2D = audio::kFlagControlPan | audio::kFlagControlVolume;
constexpr uint32_t k3D = audio::kFlagControl3D | audio::kFlagControlVolume | audio::kFlagMute3DAtMaxDistance;

// Waits (bounded) until the condition holds; the bound only keeps a broken
// build from hanging.
template <typename F> bool WaitFor(F condition, int maxMs = 60000) {
    for (int t = 0; t < maxMs; t += 5) {
        if (condition()) return true;
        os::SleepMs(5);
    }
    return condition();
}

void FillConstant16(audio::Voice& v, int16_t value) {
    void* data = nullptr;
    uint32_t bytes = 0;
    ASSERT_EQ(v.Lock(&data, &bytes), Result::Ok);
    auto* s = static_cast<int16_t*>(data);
    for (uint32_t i = 0; i < bytes / 2; ++i)
        s[i] = value;
    ASSERT_EQ(v.Unlock(), Result::Ok);
}

void FillSine16(audio::Voice& v, int16_t amplitude, double hz, int channels) {
    void* data = nullptr;
    uint32_t bytes = 0;
    ASSERT_EQ(v.Lock(&data, &bytes), Result::Ok);
    auto* s = static_cast<int16_t*>(data);
    const uint32_t frames = bytes / (2 * channels);
    for (uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            s[i * channels + c] = int16_t(amplitude * std::sin(2 * M_PI * hz * i / 44100.0));
    ASSERT_EQ(v.Unlock(), Result::Ok);
}

} // namespace

TEST(AudioConversions, VolumeInHundredthsOfDecibelBecomesGain) {
    struct Case {
        int32_t mB;
        float gain;
    } cases[] = {
        {0, 1.0f},      {-600, 0.501187f}, {-2000, 0.1f}, {-4000, 0.01f}, {-9999, 1.00115e-5f},
        {-10000, 0.0f}, {-20000, 0.0f},    {500, 1.0f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(audio::VolumeToGain(c.mB), c.gain, c.gain * 1e-4f + 1e-9f) << c.mB;
}

TEST(AudioConversions, PanAttenuatesOnlyTheOtherSide) {
    struct Case {
        int32_t pan;
        float left, right;
    } cases[] = {
        {0, 1, 1}, {-10000, 1, 0}, {10000, 0, 1}, {-2000, 1, 0.1f}, {2000, 0.1f, 1}, {-30000, 1, 0},
    };
    for (const Case& c : cases) {
        float l = -1, r = -1;
        audio::PanToGains(c.pan, &l, &r);
        EXPECT_NEAR(l, c.left, 1e-5f) << c.pan;
        EXPECT_NEAR(r, c.right, 1e-5f) << c.pan;
    }
}

TEST(AudioDevice, NoneGivesNoDriverAndOneOpenAlDeviceAtATime) {
    std::unique_ptr<audio::Device> d;
    EXPECT_EQ(audio::OpenDevice(audio::Backend::None, &d), Result::NoDriver);
    EXPECT_EQ(d, nullptr);

    std::unique_ptr<audio::Device> first, second;
    ASSERT_EQ(audio::OpenDevice(audio::Backend::OpenAl, &first), Result::Ok);
    EXPECT_FALSE(first->IsSilent());
    EXPECT_EQ(audio::OpenDevice(audio::Backend::OpenAl, &second), Result::Allocated);
    // Auto falls back to the silent back-end instead of failing.
    ASSERT_EQ(audio::OpenDevice(audio::Backend::Auto, &second), Result::Ok);
    EXPECT_TRUE(second->IsSilent());
    first.reset();
    EXPECT_EQ(audio::OpenDevice(audio::Backend::OpenAl, &first), Result::Ok);
}

class AudioBackendTest : public ::testing::TestWithParam<audio::Backend> {
  protected:
    void SetUp() override { ASSERT_EQ(audio::OpenDevice(GetParam(), &device_), Result::Ok); }
    std::unique_ptr<audio::Voice> Make(const audio::VoiceDesc& d) {
        std::unique_ptr<audio::Voice> v;
        EXPECT_EQ(device_->CreateVoice(d, &v), Result::Ok);
        return v;
    }
    std::unique_ptr<audio::Device> device_;
};

TEST_P(AudioBackendTest, RefusesVoicesItCannotPlay) {
    audio::WaveFormat float32 = Pcm(1, 16);
    float32.formatTag = 3;
    audio::WaveFormat badAlign = Pcm(2, 16);
    badAlign.blockAlign = 2;
    struct Case {
        const char* what;
        audio::VoiceDesc desc;
        Result expected;
    } cases[] = {
        {"2D stereo", Desc(k2D, Pcm(2, 16), 4000), Result::Ok},
        {"2D mono 8-bit", Desc(k2D, Pcm(1, 8, 22050), 4000), Result::Ok},
        {"3D mono", Desc(k3D, Pcm(1, 16), 4000), Result::Ok},
        {"3D stereo", Desc(k3D, Pcm(2, 16), 4000), Result::InvalidParam},
        {"3D with pan", Desc(k3D | audio::kFlagControlPan, Pcm(1, 16), 4000), Result::InvalidParam},
        {"primary", Desc(audio::kFlagPrimary, Pcm(2, 16), 4000), Result::InvalidParam},
        {"not PCM", Desc(k2D, float32, 4000), Result::BadFormat},
        {"24-bit", Desc(k2D, Pcm(1, 24), 3000), Result::BadFormat},
        {"six channels", Desc(k2D, Pcm(6, 16), 1200), Result::BadFormat},
        {"block align", Desc(k2D, badAlign, 4000), Result::BadFormat},
        {"rate 50", Desc(k2D, Pcm(1, 16, 50), 4000), Result::BadFormat},
        {"empty", Desc(k2D, Pcm(1, 16), 0), Result::InvalidParam},
        {"3 bytes", Desc(k2D, Pcm(1, 8), 3), Result::InvalidParam},
        {"odd size", Desc(k2D, Pcm(2, 16), 4001), Result::Ok},
    };
    for (const Case& c : cases) {
        std::unique_ptr<audio::Voice> v;
        EXPECT_EQ(device_->CreateVoice(c.desc, &v), c.expected) << c.what;
        EXPECT_EQ(v != nullptr, c.expected == Result::Ok) << c.what;
        if (v) {
            EXPECT_EQ(v->Get3D() != nullptr, (c.desc.flags & audio::kFlagControl3D) != 0) << c.what;
        }
    }
}

TEST_P(AudioBackendTest, ControlsNeedTheirFlagAndRange) {
    auto flat = Make(Desc(k2D, Pcm(2, 16), 4000));
    auto volumeOnly = Make(Desc(audio::kFlagControlVolume, Pcm(1, 16), 4000));
    auto bare = Make(Desc(0, Pcm(1, 16), 4000));
    struct Case {
        const char* what;
        audio::Voice* v;
        bool pan;
        int32_t value;
        Result expected;
    } cases[] = {
        {"volume -2500", flat.get(), false, -2500, Result::Ok},
        {"volume 1", flat.get(), false, 1, Result::InvalidParam},
        {"volume -10001", flat.get(), false, -10001, Result::InvalidParam},
        {"volume, no control", bare.get(), false, -100, Result::ControlUnavailable},
        {"pan 10000", flat.get(), true, 10000, Result::Ok},
        {"pan 10001", flat.get(), true, 10001, Result::InvalidParam},
        {"pan, no control", volumeOnly.get(), true, 0, Result::ControlUnavailable},
    };
    for (const Case& c : cases) {
        Result r = c.pan ? c.v->SetPan(c.value) : c.v->SetVolume(c.value);
        EXPECT_EQ(r, c.expected) << c.what;
        if (r != Result::Ok) continue;
        int32_t back = 12345;
        EXPECT_EQ(c.pan ? c.v->GetPan(&back) : c.v->GetVolume(&back), Result::Ok);
        EXPECT_EQ(back, c.value) << c.what;
    }
}

TEST_P(AudioBackendTest, LockIsWholeAndSingle) {
    auto v = Make(Desc(k2D, Pcm(1, 8, 22050), 100));
    void* data = nullptr;
    uint32_t bytes = 0;
    EXPECT_EQ(v->Unlock(), Result::InvalidCall);
    ASSERT_EQ(v->Lock(&data, &bytes), Result::Ok);
    EXPECT_EQ(bytes, 100u);
    // A new 8-bit voice holds silence, which is 128.
    EXPECT_EQ(static_cast<uint8_t*>(data)[0], 128);
    EXPECT_EQ(static_cast<uint8_t*>(data)[99], 128);
    void* again = nullptr;
    EXPECT_EQ(v->Lock(&again, &bytes), Result::InvalidCall);
    EXPECT_EQ(v->Unlock(), Result::Ok);
}

TEST_P(AudioBackendTest, StopKeepsThePositionAndTheEndRewinds) {
    auto longVoice = Make(Desc(k2D, Pcm(1, 16), 44100 * 2 * 10)); // ten seconds
    FillConstant16(*longVoice, 1000);
    uint32_t status = 0, pos = 0, stopped = 0, later = 0;
    ASSERT_EQ(longVoice->Play(false), Result::Ok);
    ASSERT_EQ(longVoice->GetStatus(&status), Result::Ok);
    EXPECT_EQ(status, audio::kStatusPlaying);
    ASSERT_TRUE(WaitFor([&] { return longVoice->GetCurrentPosition(&pos) == Result::Ok && pos > 0; }));
    ASSERT_EQ(longVoice->Stop(), Result::Ok);
    ASSERT_EQ(longVoice->GetCurrentPosition(&stopped), Result::Ok);
    EXPECT_GT(stopped, 0u);
    EXPECT_EQ(stopped % 2, 0u); // whole frames
    os::SleepMs(30);
    ASSERT_EQ(longVoice->GetCurrentPosition(&later), Result::Ok);
    EXPECT_EQ(later, stopped);
    ASSERT_EQ(longVoice->GetStatus(&status), Result::Ok);
    EXPECT_EQ(status, 0u);
    // Play resumes where it stopped: no further on than the time since
    // (however long that was), give or take a mixing period.
    const uint64_t resumed = os::PerformanceCounter();
    ASSERT_EQ(longVoice->Play(true), Result::Ok);
    ASSERT_EQ(longVoice->GetStatus(&status), Result::Ok);
    EXPECT_EQ(status, audio::kStatusPlaying | audio::kStatusLooping);
    ASSERT_EQ(longVoice->GetCurrentPosition(&later), Result::Ok);
    const double seconds = double(os::PerformanceCounter() - resumed) / double(os::PerformanceFrequency());
    EXPECT_GE(later, stopped);
    EXPECT_LE(later, stopped + uint32_t(seconds * 44100 * 2) + 8820u);

    auto shortVoice = Make(Desc(k2D, Pcm(1, 16), 882)); // 10 ms
    ASSERT_EQ(shortVoice->Play(false), Result::Ok);
    ASSERT_TRUE(WaitFor([&] { return shortVoice->GetStatus(&status) == Result::Ok && status == 0; }));
    ASSERT_EQ(shortVoice->GetCurrentPosition(&pos), Result::Ok);
    EXPECT_EQ(pos, 0u);
}

TEST_P(AudioBackendTest, LostVoiceRefusesWorkUntilRestored) {
    auto v = Make(Desc(k2D, Pcm(1, 16), 400));
    FillConstant16(*v, 777);
    ASSERT_EQ(v->Play(true), Result::Ok);
    v->SimulateLoss(2);
    uint32_t status = 0;
    ASSERT_EQ(v->GetStatus(&status), Result::Ok);
    EXPECT_EQ(status, audio::kStatusBufferLost);
    void* data = nullptr;
    uint32_t bytes = 0;
    EXPECT_EQ(v->Play(false), Result::BufferLost);
    EXPECT_EQ(v->Lock(&data, &bytes), Result::BufferLost);
    EXPECT_EQ(v->Restore(), Result::BufferLost);
    EXPECT_EQ(v->Restore(), Result::BufferLost);
    EXPECT_EQ(v->Restore(), Result::Ok);
    ASSERT_EQ(v->GetStatus(&status), Result::Ok);
    EXPECT_EQ(status, 0u);
    // The data did not survive the loss.
    ASSERT_EQ(v->Lock(&data, &bytes), Result::Ok);
    EXPECT_EQ(static_cast<int16_t*>(data)[0], 0);
    EXPECT_EQ(v->Unlock(), Result::Ok);
}

TEST_P(AudioBackendTest, DeferredSettingsWaitForTheCommit) {
    auto v = Make(Desc(k3D, Pcm(1, 16), 4000));
    audio::Voice3D* v3 = v->Get3D();
    audio::Listener* listener = device_->GetListener();
    ASSERT_NE(v3, nullptr);
    ASSERT_NE(listener, nullptr);
    ASSERT_EQ(v3->SetPosition({10, 20, 30}, audio::Apply::Deferred), Result::Ok);
    ASSERT_EQ(v3->SetMaxDistance(640, audio::Apply::Deferred), Result::Ok);
    ASSERT_EQ(v3->SetMinDistance(5, audio::Apply::Immediate), Result::Ok);
    ASSERT_EQ(listener->SetPosition({1, 2, 3}, audio::Apply::Deferred), Result::Ok);
    EXPECT_EQ(v3->Position(), math::Vec3(0, 0, 0));
    EXPECT_EQ(v3->MinDistance(), 5.0f);
    EXPECT_NE(v3->MaxDistance(), 640.0f);
    EXPECT_EQ(listener->Position(), math::Vec3(0, 0, 0));
    ASSERT_EQ(listener->CommitDeferredSettings(), Result::Ok);
    EXPECT_EQ(v3->Position(), math::Vec3(10, 20, 30));
    EXPECT_EQ(v3->MaxDistance(), 640.0f);
    EXPECT_EQ(v3->MinDistance(), 5.0f); // the immediate value is not undone
    EXPECT_EQ(listener->Position(), math::Vec3(1, 2, 3));
    EXPECT_EQ(v3->SetMinDistance(0, audio::Apply::Immediate), Result::InvalidParam);
    EXPECT_EQ(listener->SetRolloffFactor(11, audio::Apply::Immediate), Result::InvalidParam);
}

TEST_P(AudioBackendTest, PrimaryFormatOnlyBeforeVoices) {
    EXPECT_EQ(device_->SetPrimaryFormat(Pcm(2, 24)), Result::BadFormat);
    EXPECT_EQ(device_->SetPrimaryFormat(Pcm(2, 16, 44100)), Result::Ok);
    auto v = Make(Desc(k2D, Pcm(2, 16), 400));
    EXPECT_EQ(device_->SetPrimaryFormat(Pcm(2, 16, 22050)), Result::InvalidCall);
}

INSTANTIATE_TEST_SUITE_P(Backends, AudioBackendTest,
                         ::testing::Values(audio::Backend::Silent, audio::Backend::OpenAl),
                         [](const auto& info) {
                             return info.param == audio::Backend::Silent ? std::string("Silent")
                                                                         : std::string("OpenAl");
                         });

// ---- What reaches the speakers (OpenAL's wave back-end, in a child process) ----

namespace {

fs::path WaveDir(const char* test) {
    fs::path dir = fs::temp_directory_path() / ("zt_audio_" + std::to_string(getpid()) + "_" + test);
    fs::create_directories(dir);
    return dir;
}

// Plays the voice to its end and a little beyond, so the mix holds all of it.
void PlayToEnd(audio::Voice& v) {
    ASSERT_EQ(v.Play(false), Result::Ok);
    uint32_t status = 0;
    ASSERT_TRUE(WaitFor([&] { return v.GetStatus(&status) == Result::Ok && status == 0; }));
    os::SleepMs(60);
}

} // namespace

// Child: a mono flat voice panned fully left, then one fully right.
TEST(AudioWaveChild, DISABLED_PanFlatMono) {
    ASSERT_TRUE(audiotest::InChild());
    std::unique_ptr<audio::Device> d;
    ASSERT_EQ(audio::OpenDevice(audio::Backend::OpenAl, &d), Result::Ok);
    std::unique_ptr<audio::Voice> v;
    ASSERT_EQ(d->CreateVoice(Desc(k2D, Pcm(1, 16), 44100 * 2 / 4), &v), Result::Ok);
    FillSine16(*v, 8000, 441.0, 1);
    ASSERT_EQ(v->SetPan(audio::kPanLeft), Result::Ok);
    PlayToEnd(*v);
}

TEST(AudioWave, PanSilencesTheOtherChannelExactly) {
    const fs::path dir = WaveDir("pan");
    const fs::path out = dir / "out.wav";
    ASSERT_EQ(audiotest::RunChild("AudioWaveChild.DISABLED_PanFlatMono", audiotest::WaveBackendEnv(dir, out)),
              0);
    audiotest::WaveOutput w = audiotest::ReadWaveOutput(out);
    ASSERT_EQ(w.channels, 2);
    // Flat voices reach the speakers unchanged: the left peak is the written one.
    EXPECT_NEAR(w.Peak(0), 8000, 80);
    EXPECT_EQ(w.Peak(1), 0);
    EXPECT_GT(w.CountAbove(0, 4000), 44100u / 8);
    fs::remove_all(dir);
}

// Child: a 3D voice to the listener's right (+x, listener facing +z), then one
// beyond its maximum distance with the mute flag.
TEST(AudioWaveChild, DISABLED_PlacedToTheRight) {
    ASSERT_TRUE(audiotest::InChild());
    std::unique_ptr<audio::Device> d;
    ASSERT_EQ(audio::OpenDevice(audio::Backend::OpenAl, &d), Result::Ok);
    audio::Listener* l = d->GetListener();
    ASSERT_EQ(l->SetOrientation({0, 0, 1}, {0, 1, 0}, audio::Apply::Immediate), Result::Ok);
    ASSERT_EQ(l->SetRolloffFactor(0, audio::Apply::Immediate), Result::Ok);
    std::unique_ptr<audio::Voice> v;
    ASSERT_EQ(d->CreateVoice(Desc(k3D, Pcm(1, 16), 44100 * 2 / 4), &v), Result::Ok);
    FillSine16(*v, 8000, 441.0, 1);
    ASSERT_EQ(v->Get3D()->SetPosition({100, 0, 0}, audio::Apply::Immediate), Result::Ok);
    PlayToEnd(*v);
}

TEST(AudioWave, PlacedVoiceComesFromItsSide) {
    const fs::path dir = WaveDir("placed");
    const fs::path out = dir / "out.wav";
    ASSERT_EQ(
        audiotest::RunChild("AudioWaveChild.DISABLED_PlacedToTheRight", audiotest::WaveBackendEnv(dir, out)),
        0);
    audiotest::WaveOutput w = audiotest::ReadWaveOutput(out);
    ASSERT_EQ(w.channels, 2);
    EXPECT_GT(w.Peak(1), 2000);
    EXPECT_GT(w.Peak(1), 4 * w.Peak(0));
    fs::remove_all(dir);
}

TEST(AudioWaveChild, DISABLED_MutedBeyondMaxDistance) {
    ASSERT_TRUE(audiotest::InChild());
    std::unique_ptr<audio::Device> d;
    ASSERT_EQ(audio::OpenDevice(audio::Backend::OpenAl, &d), Result::Ok);
    std::unique_ptr<audio::Voice> v;
    ASSERT_EQ(d->CreateVoice(Desc(k3D, Pcm(1, 16), 44100 * 2 / 4), &v), Result::Ok);
    FillSine16(*v, 8000, 441.0, 1);
    audio::Voice3D* v3 = v->Get3D();
    ASSERT_EQ(v3->SetMaxDistance(50, audio::Apply::Deferred), Result::Ok);
    ASSERT_EQ(v3->SetMinDistance(50, audio::Apply::Deferred), Result::Ok);
    ASSERT_EQ(v3->SetPosition({0, 0, 60}, audio::Apply::Deferred), Result::Ok);
    ASSERT_EQ(d->GetListener()->CommitDeferredSettings(), Result::Ok);
    PlayToEnd(*v);
}

TEST(AudioWave, MuteFlagSilencesBeyondMaxDistance) {
    const fs::path dir = WaveDir("muted");
    const fs::path out = dir / "out.wav";
    ASSERT_EQ(audiotest::RunChild("AudioWaveChild.DISABLED_MutedBeyondMaxDistance",
                                  audiotest::WaveBackendEnv(dir, out)),
              0);
    audiotest::WaveOutput w = audiotest::ReadWaveOutput(out);
    ASSERT_EQ(w.channels, 2);
    EXPECT_GT(w.samples.size(), 44100u / 4);
    EXPECT_EQ(w.Peak(0), 0);
    EXPECT_EQ(w.Peak(1), 0);
    fs::remove_all(dir);
}
