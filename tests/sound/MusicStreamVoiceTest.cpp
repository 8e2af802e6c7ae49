// The audio layer's streaming voice, on the silent back-end and on OpenAL
// (its null output here): descriptions, the lock of a range, the play
// position, playing and pausing, loss and restore, volume. What OpenAL
// actually plays from the ring is checked in MusicOutputTest.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/audio/Audio.h"
#include "platform/os/Os.h"
#include "tests/platform/AudioChild.h"

namespace {

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
    for (int i = 0; i < 5000 && !moved; ++i) {
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
