// The audio layer's streaming voice, on the silent back-end and on OpenAL
// (its null output here): descriptions, the lock of a range, the play
// position, playing and pausing, loss and restore, volume. What OpenAL
// actually plays from the ring is checked in MusicOutputTest.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/Audio.h"
#include "platform/os/Os.h"
#include "tests/platform/AudioChild.h"

namespace {

namespace fs = std::filesystem;

audio::StreamDesc Desc(uint16_t channels = 2, uint32_t bytes = 88200, uint32_t parts = 2) {
    audio::StreamDesc d;
    d.flags = audio::kFlagControlVolume;
    d.bytes = bytes;
    d.parts = parts;
    d.format.formatTag = audio::kFormatPcm;
    d.format.channels = channels;
    d.format.samplesPerSec = 44100;
    d.format.bitsPerSample = 16;
    d.format.blockAlign = uint16_t(channels * 2);
    d.format.avgBytesPerSec = 44100u * channels * 2;
    return d;
}

class StreamVoiceTest : public ::testing::TestWithParam<audio::Backend> {
  protected:
    void SetUp() override {
        ASSERT_EQ(audio::OpenDevice(GetParam(), &device_), audio::Result::Ok);
        ASSERT_EQ(device_->CreateStream(Desc(), &stream_), audio::Result::Ok);
    }
    void TearDown() override {
        stream_.reset();
        device_.reset();
    }
    uint32_t Status() {
        uint32_t s = 0;
        EXPECT_EQ(stream_->GetStatus(&s), audio::Result::Ok);
        return s;
    }
    uint32_t Position() {
        uint32_t p = 1;
        EXPECT_EQ(stream_->GetCurrentPosition(&p), audio::Result::Ok);
        return p;
    }
    std::vector<uint8_t> Read(uint32_t offset, uint32_t bytes) {
        void* data = nullptr;
        EXPECT_EQ(stream_->Lock(offset, bytes, &data), audio::Result::Ok);
        std::vector<uint8_t> out(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + bytes);
        EXPECT_EQ(stream_->Unlock(), audio::Result::Ok);
        return out;
    }
    void Fill(uint32_t offset, uint32_t bytes, uint8_t value) {
        void* data = nullptr;
        ASSERT_EQ(stream_->Lock(offset, bytes, &data), audio::Result::Ok);
        std::memset(data, value, bytes);
        ASSERT_EQ(stream_->Unlock(), audio::Result::Ok);
    }

    std::unique_ptr<audio::Device> device_;
    std::unique_ptr<audio::Stream> stream_;
};

} // namespace

TEST_P(StreamVoiceTest, DescriptionsAreChecked) {
    struct Case {
        const char* what;
        audio::StreamDesc desc;
        audio::Result result;
    } cases[] = {
        {"music stream", Desc(), audio::Result::Ok},
        {"mono", Desc(1), audio::Result::Ok},
        {"four parts", Desc(2, 88200 * 2, 4), audio::Result::Ok},
        {"one part", Desc(2, 88200, 1), audio::Result::InvalidParam},
        {"too many parts", Desc(2, 4 * 17 * 100, 17), audio::Result::InvalidParam},
        {"parts of unequal size", Desc(2, 88202, 4), audio::Result::InvalidParam},
        {"a part of broken frames", Desc(2, 88204, 2), audio::Result::InvalidParam},
        {"no bytes", Desc(2, 0, 2), audio::Result::InvalidParam},
        {"three channels", Desc(3, 88200, 2), audio::Result::BadFormat},
    };
    audio::StreamDesc with3D = Desc();
    with3D.flags |= audio::kFlagControl3D;
    audio::StreamDesc withPan = Desc();
    withPan.flags |= audio::kFlagControlPan;
    audio::StreamDesc float32 = Desc();
    float32.format.bitsPerSample = 32;
    for (const Case& c : cases) {
        std::unique_ptr<audio::Stream> s;
        EXPECT_EQ(device_->CreateStream(c.desc, &s), c.result) << c.what;
        EXPECT_EQ(s != nullptr, c.result == audio::Result::Ok) << c.what;
    }
    for (const audio::StreamDesc& d : {with3D, withPan, float32}) {
        std::unique_ptr<audio::Stream> s;
        EXPECT_NE(device_->CreateStream(d, &s), audio::Result::Ok);
        EXPECT_EQ(s, nullptr);
    }
    EXPECT_EQ(device_->CreateStream(Desc(), nullptr), audio::Result::InvalidParam);
}

TEST_P(StreamVoiceTest, ANewStreamIsSilentAndStopped) {
    EXPECT_EQ(Status(), 0u);
    EXPECT_EQ(Position(), 0u);
    EXPECT_EQ(Read(0, 88200), std::vector<uint8_t>(88200, 0));
    int32_t v = 1;
    EXPECT_EQ(stream_->GetVolume(&v), audio::Result::Ok);
    EXPECT_EQ(v, 0);
}

TEST_P(StreamVoiceTest, LockTakesARangeOfTheRing) {
    struct Case {
        uint32_t offset, bytes;
        audio::Result result;
    } cases[] = {
        {0, 88200, audio::Result::Ok},
        {44100, 44100, audio::Result::Ok},
        {88199, 1, audio::Result::Ok},
        {100, 50, audio::Result::Ok},
        {88200, 1, audio::Result::InvalidParam},
        {0, 0, audio::Result::InvalidParam},
        {44100, 44101, audio::Result::InvalidParam},
        {4000000000u, 400000000u, audio::Result::InvalidParam},
    };
    for (const Case& c : cases) {
        void* data = nullptr;
        EXPECT_EQ(stream_->Lock(c.offset, c.bytes, &data), c.result) << c.offset << " " << c.bytes;
        if (c.result == audio::Result::Ok) {
            EXPECT_EQ(stream_->Unlock(), audio::Result::Ok);
        }
    }
    void* data = nullptr;
    EXPECT_EQ(stream_->Lock(0, 4, nullptr), audio::Result::InvalidParam);
    EXPECT_EQ(stream_->Unlock(), audio::Result::InvalidCall);
    ASSERT_EQ(stream_->Lock(0, 4, &data), audio::Result::Ok);
    EXPECT_EQ(stream_->Lock(8, 4, &data), audio::Result::InvalidCall);
    EXPECT_EQ(stream_->Unlock(), audio::Result::Ok);

    // What is written stays, part by part, also while playing.
    Fill(0, 44100, 0x11);
    ASSERT_EQ(stream_->Play(), audio::Result::Ok);
    Fill(44100, 44100, 0x22);
    Fill(100, 10, 0x33);
    std::vector<uint8_t> expected(88200, 0x11);
    std::fill(expected.begin() + 44100, expected.end(), 0x22);
    std::fill(expected.begin() + 100, expected.begin() + 110, 0x33);
    EXPECT_EQ(Read(0, 88200), expected);
}

TEST_P(StreamVoiceTest, ThePositionIsSetInWholeFramesAndKeptWhilePaused) {
    struct Case {
        uint32_t set;
        audio::Result result;
        uint32_t got;
    } cases[] = {
        {0, audio::Result::Ok, 0},
        {4, audio::Result::Ok, 4},
        {6, audio::Result::Ok, 4},
        {44100, audio::Result::Ok, 44100},
        {60001, audio::Result::Ok, 60000},
        {88196, audio::Result::Ok, 88196},
        {88200, audio::Result::InvalidParam, 88196},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(stream_->SetCurrentPosition(c.set), c.result) << c.set;
        EXPECT_EQ(Position(), c.got) << c.set;
    }
    // Playing moves the position on; a pause keeps it.
    ASSERT_EQ(stream_->SetCurrentPosition(1000), audio::Result::Ok);
    ASSERT_EQ(stream_->Play(), audio::Result::Ok);
    EXPECT_EQ(Status(), audio::kStatusPlaying | audio::kStatusLooping);
    bool moved = false;
    for (int i = 0; i < 60000 && !moved; ++i) {
        moved = Position() != 1000;
        os::SleepMs(1);
    }
    EXPECT_TRUE(moved);
    ASSERT_EQ(stream_->Stop(), audio::Result::Ok);
    EXPECT_EQ(Status(), 0u);
    const uint32_t paused = Position();
    os::SleepMs(30);
    EXPECT_EQ(Position(), paused);
    EXPECT_EQ(stream_->Stop(), audio::Result::Ok);
}

TEST_P(StreamVoiceTest, ALostStreamRefusesUntilRestoredSilent) {
    Fill(0, 88200, 0x44);
    ASSERT_EQ(stream_->Play(), audio::Result::Ok);
    stream_->SimulateLoss(2);
    EXPECT_EQ(Status(), uint32_t(audio::kStatusBufferLost));
    void* data = nullptr;
    uint32_t position = 0;
    EXPECT_EQ(stream_->Lock(0, 4, &data), audio::Result::BufferLost);
    EXPECT_EQ(stream_->Play(), audio::Result::BufferLost);
    EXPECT_EQ(stream_->SetCurrentPosition(0), audio::Result::BufferLost);
    EXPECT_EQ(stream_->GetCurrentPosition(&position), audio::Result::BufferLost);
    EXPECT_EQ(stream_->Restore(), audio::Result::BufferLost);
    EXPECT_EQ(stream_->Restore(), audio::Result::BufferLost);
    EXPECT_EQ(stream_->Restore(), audio::Result::Ok);
    EXPECT_EQ(Status(), 0u);
    EXPECT_EQ(Position(), 0u);
    EXPECT_EQ(Read(0, 88200), std::vector<uint8_t>(88200, 0));
    EXPECT_EQ(stream_->Restore(), audio::Result::Ok);
}

TEST_P(StreamVoiceTest, VolumeNeedsItsControlAndStaysInRange) {
    struct Case {
        int32_t set;
        audio::Result result;
        int32_t got;
    } cases[] = {{-5000, audio::Result::Ok, -5000},
                 {0, audio::Result::Ok, 0},
                 {-10000, audio::Result::Ok, -10000},
                 {1, audio::Result::InvalidParam, -10000},
                 {-10001, audio::Result::InvalidParam, -10000}};
    for (const Case& c : cases) {
        EXPECT_EQ(stream_->SetVolume(c.set), c.result) << c.set;
        int32_t v = 1;
        EXPECT_EQ(stream_->GetVolume(&v), audio::Result::Ok);
        EXPECT_EQ(v, c.got) << c.set;
    }
    audio::StreamDesc d = Desc();
    d.flags = 0;
    std::unique_ptr<audio::Stream> plain;
    ASSERT_EQ(device_->CreateStream(d, &plain), audio::Result::Ok);
    int32_t v = 0;
    EXPECT_EQ(plain->SetVolume(-100), audio::Result::ControlUnavailable);
    EXPECT_EQ(plain->GetVolume(&v), audio::Result::ControlUnavailable);
}

INSTANTIATE_TEST_SUITE_P(Backends, StreamVoiceTest,
                         ::testing::Values(audio::Backend::Silent, audio::Backend::OpenAl),
                         [](const ::testing::TestParamInfo<audio::Backend>& info) {
                             return info.param == audio::Backend::Silent ? std::string("Silent")
                                                                         : std::string("OpenAl");
                         });

// ---- What OpenAL plays from the ring -------------------------------------------------

namespace {

constexpr uint32_t kPartFrames = 4410; // 0.1 s a part
constexpr uint32_t kPartBytes = kPartFrames * 4;

void FillLevel(audio::Stream* s, uint32_t part, int16_t level) {
    void* data = nullptr;
    ASSERT_EQ(s->Lock(part * kPartBytes, kPartBytes, &data), audio::Result::Ok);
    auto* p = static_cast<int16_t*>(data);
    for (uint32_t i = 0; i < kPartFrames * 2; ++i)
        p[i] = level;
    ASSERT_EQ(s->Unlock(), audio::Result::Ok);
}

uint32_t PartPlaying(audio::Stream* s) {
    uint32_t p = 0;
    EXPECT_EQ(s->GetCurrentPosition(&p), audio::Result::Ok);
    return p / kPartBytes;
}

} // namespace

// Child: a two-part ring of constant levels; part 0 is written again once
// part 1 plays, then nothing more is written. Mixed on the test's clock in
// steps of 10 ms, the position asked after each step as the music thread
// asks it.
TEST(StreamVoiceChild, DISABLED_Ring) {
    ASSERT_TRUE(audiotest::InChild());
    std::unique_ptr<audio::Device> device;
    ASSERT_EQ(audio::OpenDevice(audio::Backend::OpenAlLoopback, &device), audio::Result::Ok);
    std::unique_ptr<audio::Stream> s;
    ASSERT_EQ(device->CreateStream(Desc(2, 2 * kPartBytes, 2), &s), audio::Result::Ok);
    FillLevel(s.get(), 0, 1000);
    FillLevel(s.get(), 1, 2000);
    ASSERT_EQ(s->Play(), audio::Result::Ok);
    bool rewritten = false;
    const bool rendered =
        audiotest::RenderLoopbackToFile(8 * kPartFrames, kPartFrames / 10, [&](int16_t* out, uint32_t n) {
            if (audio::RenderLoopback(out, n) != audio::Result::Ok) return false;
            if (PartPlaying(s.get()) == 1 && !rewritten) {
                FillLevel(s.get(), 0, 3000);
                rewritten = true;
            }
            return true;
        });
    ASSERT_TRUE(rendered);
    ASSERT_TRUE(rewritten);
    ASSERT_EQ(s->Stop(), audio::Result::Ok);
    s.reset();
    device.reset();
}

TEST(StreamVoiceOutput, TheRingPlaysPartAfterPartAndGoesOnWhenNotWritten) {
    const fs::path root = fs::temp_directory_path() / ("zt_stream_ring_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    const fs::path out = root / "out.raw";
    ASSERT_EQ(audiotest::RunChild("StreamVoiceChild.DISABLED_Ring", audiotest::LoopbackEnv(root, out)), 0);
    const audiotest::WaveOutput w = audiotest::ReadLoopbackOutput(out);
    fs::remove_all(root);
    ASSERT_EQ(w.samples.size(), 8 * kPartFrames * 2);

    // The levels of the left channel, as runs of at least half a part.
    std::vector<int> levels;
    int level = -1;
    size_t run = 0;
    for (size_t i = 0; i < w.samples.size(); i += 2) {
        const int l = (w.samples[i] + 500) / 1000 * 1000;
        run = l == level ? run + 1 : 1;
        level = l;
        if (run == kPartFrames / 2 && l != 0 && (levels.empty() || levels.back() != l)) levels.push_back(l);
    }
    ASSERT_GE(levels.size(), 5u);
    // Written, written, written again; then the ring unwritten: part 1 as it
    // was, part 0 as it was last written.
    EXPECT_EQ(std::vector<int>(levels.begin(), levels.begin() + 5),
              (std::vector<int>{1000, 2000, 3000, 2000, 3000}));
}
