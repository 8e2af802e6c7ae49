// The music stream: memory callbacks, file helpers, adding files, creation,
// the half-by-half refill, volume and the lost-stream check. The stream runs
// on the silent back-end here, whose data can be read back exactly; its
// output through OpenAL is checked in MusicOutputTest.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "platform/audio/Audio.h"
#include "sound/MusicStream.h"
#include "tests/sound/MusicTestUtil.h"

using namespace soundtest;
using musictest::DecodeOggFile;
using musictest::EncodeOgg;
using musictest::Tone;

namespace {

constexpr uint32_t kHalf = MusicStream::HALF_BYTES;
constexpr uint32_t kRing = MusicStream::BUFFER_BYTES;

// len bytes of the PCM played over and over, from byte start on.
Bytes Repeated(const Bytes& pcm, size_t start, size_t len) {
    Bytes out;
    out.reserve(len);
    for (size_t i = 0; i < len; ++i)
        out.push_back(pcm[(start + i) % pcm.size()]);
    return out;
}

Bytes Silence(size_t len) {
    return Bytes(len, 0);
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

// ---- Memory callbacks ---------------------------------------------------------------

class MusicMemoryCallbacks : public ::testing::Test {
  protected:
    void SetUp() override {
        src_.pData = new uint8_t[10];
        for (int i = 0; i < 10; ++i)
            src_.pData[i] = uint8_t('0' + i);
        src_.dwSize = 10;
        src_.dwPosition = 0;
    }
    void TearDown() override { rMusicMemoryClose(&src_); }
    MusicMemorySource src_{};
};

TEST_F(MusicMemoryCallbacks, ReadCutsAtTheEndAndCountsWholeItems) {
    struct Case {
        uint32_t position;
        size_t size, count;
        size_t result;
        uint32_t newPosition;
        const char* copied;
    } cases[] = {
        {0, 1, 4, 4, 4, "0123"},
        {8, 1, 4, 2, 10, "89"},
        {10, 1, 4, 0, 10, ""},
        {0, 3, 2, 2, 6, "012345"},
        {7, 4, 1, 0, 10, "789"}, // a partial item is copied but not counted
        {4, 2, 0, 0, 4, ""},
        {2, 0, 5, 0, 2, ""},                          // no item size: n itself
        {0, size_t(1) << 62, 4, 0, 10, "0123456789"}, // the product does not wrap
    };
    for (const Case& c : cases) {
        src_.dwPosition = c.position;
        char out[16] = {};
        EXPECT_EQ(rMusicMemoryRead(out, c.size, c.count, &src_), c.result) << c.position << " " << c.size;
        EXPECT_EQ(src_.dwPosition, c.newPosition) << c.position << " " << c.size;
        EXPECT_STREQ(out, c.copied) << c.position << " " << c.size;
        EXPECT_EQ(rMusicMemoryTell(&src_), long(c.newPosition));
    }
}

TEST_F(MusicMemoryCallbacks, SeekRejectsPositionsOutsideTheFile) {
    struct Case {
        ogg_int64_t offset;
        int whence;
        int result;
        uint32_t newPosition;
    } cases[] = {
        {5, SEEK_SET, 0, 5},
        {10, SEEK_SET, 0, 10},
        {11, SEEK_SET, -1, 3},
        {-1, SEEK_SET, -1, 3},
        {4, SEEK_CUR, 0, 7},
        {-3, SEEK_CUR, 0, 0},
        {-4, SEEK_CUR, -1, 3},
        {8, SEEK_CUR, -1, 3},
        {0, SEEK_END, 0, 10},
        {-10, SEEK_END, 0, 0},
        {1, SEEK_END, -1, 3},
        {-11, SEEK_END, -1, 3},
        {LLONG_MAX, SEEK_CUR, -1, 3},
        {LLONG_MIN, SEEK_END, -1, 3},
        {2, 7, 0, 3}, // an unknown origin changes nothing
    };
    for (const Case& c : cases) {
        src_.dwPosition = 3;
        EXPECT_EQ(rMusicMemorySeek(&src_, c.offset, c.whence), c.result) << c.offset << " " << c.whence;
        EXPECT_EQ(src_.dwPosition, c.newPosition) << c.offset << " " << c.whence;
    }
}

TEST_F(MusicMemoryCallbacks, CloseFreesTheDataOnce) {
    EXPECT_EQ(rMusicMemoryClose(&src_), 0);
    EXPECT_EQ(src_.pData, nullptr);
    EXPECT_EQ(rMusicMemoryClose(&src_), 0);
    char out[4];
    EXPECT_EQ(rMusicMemoryRead(out, 1, 4, &src_), 0u);
}

// ---- Files ---------------------------------------------------------------------------

class MusicStreamTest : public TempDataDir {
  protected:
    void SetUp() override {
        TempDataDir::SetUp();
        ASSERT_EQ(audio::OpenDevice(audio::Backend::Silent, &device_), audio::Result::Ok);
        TakeLog();
    }
    void TearDown() override {
        rDeleteMusicStream(&stream_);
        device_.reset();
        TempDataDir::TearDown();
    }
    // Writes music\<name> holding the tone of the given shape; returns the data name.
    std::string WriteOgg(const std::string& name, int channels, uint32_t frames, long rate = 44100) {
        const Bytes ogg = EncodeOgg(Tone(channels, frames, rate), channels, rate);
        EXPECT_FALSE(ogg.empty());
        WriteFile(root_ / "music" / name, ogg);
        return "music\\" + name;
    }
    Bytes Decoded(const std::string& name) { return DecodeOggFile((root_ / "music" / name).string()); }
    // Bytes of the stream's ring.
    Bytes Ring(uint32_t offset, uint32_t bytes) {
        void* data = nullptr;
        EXPECT_EQ(stream_->pBuffer->Lock(offset, bytes, &data), audio::Result::Ok);
        Bytes out(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + bytes);
        stream_->pBuffer->Unlock();
        return out;
    }
    void FillHalf(uint32_t half, uint8_t value) {
        void* data = nullptr;
        ASSERT_EQ(stream_->pBuffer->Lock(half * kHalf, kHalf, &data), audio::Result::Ok);
        std::memset(data, value, kHalf);
        stream_->pBuffer->Unlock();
    }
    // One refill of the half that the play position has just left.
    void RefillHalf(uint32_t half) {
        stream_->dwPreviousHalf = half;
        stream_->dwCurrentHalf = 1 - half;
        rRefillMusicStream(stream_);
    }
    uint32_t Status() {
        uint32_t status = 0;
        EXPECT_EQ(stream_->pBuffer->GetStatus(&status), audio::Result::Ok);
        return status;
    }

    std::unique_ptr<audio::Device> device_;
    MusicStream* stream_ = nullptr;
};

TEST_F(MusicStreamTest, FileHelpersMeasureAndReadWholeFiles) {
    WriteFile(root_ / "music" / "five.bin", Bytes{1, 2, 3, 4, 5});
    WriteFile(root_ / "music" / "empty.bin", Bytes{});
    EXPECT_EQ(rMusicFileSize("music\\five.bin"), 5);
    EXPECT_EQ(rMusicFileSize("MUSIC\\FIVE.BIN"), 5);
    EXPECT_EQ(rMusicFileSize("music\\empty.bin"), 0);
    EXPECT_EQ(rMusicFileSize("music\\none.bin"), 0);
    EXPECT_EQ(rMusicFileSize(nullptr), 0);

    uint8_t buffer[8] = {};
    EXPECT_TRUE(rMusicReadFile("music\\five.bin", buffer, 5));
    EXPECT_EQ(Bytes(buffer, buffer + 5), (Bytes{1, 2, 3, 4, 5}));
    struct Case {
        const char* name;
        void* buffer;
        int32_t size;
    } refused[] = {
        {"music\\five.bin", buffer, 8}, // a short read
        {"music\\five.bin", buffer, 0}, {"music\\five.bin", buffer, -1}, {"music\\five.bin", nullptr, 5},
        {nullptr, buffer, 5},           {"music\\none.bin", buffer, 5},
    };
    for (const Case& c : refused)
        EXPECT_FALSE(rMusicReadFile(c.name, c.buffer, c.size)) << (c.name ? c.name : "null") << " " << c.size;
}

// ---- Adding files and creating streams ---------------------------------------------

TEST_F(MusicStreamTest, AddRefusesWhatCannotBeReadOrDecoded) {
    const std::string good = WriteOgg("good.ogg", 2, 4000);
    Bytes ogg = EncodeOgg(Tone(2, 4000), 2, 44100);
    WriteFile(root_ / "music" / "cut.ogg", Bytes(ogg.begin(), ogg.begin() + 40));
    WriteFile(root_ / "music" / "wave.ogg", Wave16(2, 1000));
    WriteFile(root_ / "music" / "empty.ogg", Bytes{});
    stream_ = rCreateMusicStream(good.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    TakeLog();
    struct Case {
        const char* name;
        const char* error;
    } cases[] = {
        {"music\\none.ogg", "Could not open Ogg file!"},
        {"music\\empty.ogg", "Could not open Ogg file!"},
        {"music\\wave.ogg", "Problems with Ogg file!"},
        {"music\\cut.ogg", "Problems with Ogg file!"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(rAddOggStreamToMusicStream(stream_, c.name)) << c.name;
        EXPECT_EQ(TakeLog(), std::string(" \nERROR in rAddOggStreamToMusicStream(): ") + c.error + "\n" +
                                 c.name + "\n \n");
        EXPECT_EQ(stream_->dwNumFiles, 1u) << c.name;
    }
    EXPECT_FALSE(rAddOggStreamToMusicStream(stream_, nullptr));
    EXPECT_FALSE(rAddOggStreamToMusicStream(nullptr, good.c_str()));
}

TEST_F(MusicStreamTest, AFullStreamRefusesAnEleventhFile) {
    const std::string name = WriteOgg("a.ogg", 1, 2000);
    stream_ = rCreateMusicStream(name.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    for (uint32_t i = 1; i < MusicStream::MAX_FILES; ++i)
        EXPECT_TRUE(rAddOggStreamToMusicStream(stream_, name.c_str())) << i;
    EXPECT_EQ(stream_->dwNumFiles, 10u);
    EXPECT_FALSE(rAddOggStreamToMusicStream(stream_, name.c_str()));
    EXPECT_EQ(stream_->dwNumFiles, 10u);
    for (uint32_t i = 0; i < stream_->dwNumFiles; ++i) {
        EXPECT_NE(stream_->Files[i].pInfo, nullptr) << i;
        EXPECT_NE(stream_->Files[i].pComment, nullptr) << i;
    }
}

TEST_F(MusicStreamTest, NoStreamWithoutAFirstFile) {
    WriteFile(root_ / "music" / "wave.ogg", Wave16(2, 1000));
    for (const char* name : {"music\\none.ogg", "music\\wave.ogg"}) {
        EXPECT_EQ(rCreateMusicStream(name, device_.get()), nullptr) << name;
        const std::string log = TakeLog();
        EXPECT_NE(log.find("rAddOggStreamToMusicStream"), std::string::npos) << name;
        EXPECT_EQ(log.find("CreateSoundBuffer"), std::string::npos) << name;
    }
    const std::string good = WriteOgg("good.ogg", 2, 1000);
    EXPECT_EQ(rCreateMusicStream(nullptr, device_.get()), nullptr);
    EXPECT_EQ(rCreateMusicStream(good.c_str(), nullptr), nullptr);
}

TEST_F(MusicStreamTest, TheStreamTakesTheFormatOfTheFirstFile) {
    struct Case {
        int channels;
        long rate;
        uint16_t blockAlign;
        uint32_t bytesPerSecond;
    } cases[] = {{1, 22050, 2, 44100}, {2, 44100, 4, 176400}, {2, 32000, 4, 128000}};
    for (const Case& c : cases) {
        const std::string name =
            WriteOgg("f" + std::to_string(c.channels) + "_" + std::to_string(c.rate) + ".ogg", c.channels,
                     3000, c.rate);
        stream_ = rCreateMusicStream(name.c_str(), device_.get());
        ASSERT_NE(stream_, nullptr) << name;
        ASSERT_NE(stream_->pBuffer, nullptr) << name;
        const audio::StreamDesc& d = stream_->pBuffer->Desc();
        EXPECT_EQ(d.bytes, kRing);
        EXPECT_EQ(d.parts, 2u);
        EXPECT_EQ(d.flags, uint32_t(audio::kFlagControlVolume));
        EXPECT_EQ(d.format.formatTag, audio::kFormatPcm);
        EXPECT_EQ(d.format.channels, c.channels);
        EXPECT_EQ(d.format.samplesPerSec, uint32_t(c.rate));
        EXPECT_EQ(d.format.bitsPerSample, 16);
        EXPECT_EQ(d.format.blockAlign, c.blockAlign);
        EXPECT_EQ(d.format.avgBytesPerSec, c.bytesPerSecond);
        EXPECT_EQ(stream_->wfx.blockAlign, c.blockAlign);
        EXPECT_EQ(Ring(0, kRing), Silence(kRing)) << name;
        EXPECT_EQ(stream_->dwNumFiles, 1u);
        EXPECT_FALSE(stream_->bLoop);
        EXPECT_FALSE(stream_->bFinished);
        rDeleteMusicStream(&stream_);
        EXPECT_EQ(stream_, nullptr);
    }
}

TEST_F(MusicStreamTest, AStreamWithoutItsBufferIgnoresEveryCall) {
    // Three channels decode, but no stream of that shape can play.
    const std::string name = WriteOgg("surround.ogg", 3, 3000);
    stream_ = rCreateMusicStream(name.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    EXPECT_EQ(stream_->pBuffer, nullptr);
    EXPECT_EQ(TakeLog(), " \nERROR in rCreateMusicStream(): CreateSoundBuffer() failed...\n \n");
    EXPECT_FALSE(rIsMusicStreamPlaying(stream_));
    rPlayMusicStream(stream_, true);
    rSetMusicStreamVolume(stream_, 0.5f);
    rPauseMusicStream(stream_);
    rResumeMusicStream(stream_);
    rUpdateMusicStream(stream_);
    rStopMusicStream(stream_);
    EXPECT_FALSE(stream_->bLoop);
    EXPECT_FALSE(stream_->bFinished);
    EXPECT_FALSE(stream_->bPaused);
    EXPECT_FALSE(rIsMusicStreamPlaying(stream_));
    EXPECT_EQ(TakeLog(), "");
}

// ---- Refill --------------------------------------------------------------------------

TEST_F(MusicStreamTest, PlayPrimesBothHalvesFromTheStart) {
    const std::string name = WriteOgg("long.ogg", 2, 30000); // 120000 bytes: more than the ring
    const Bytes pcm = Decoded("long.ogg");
    ASSERT_EQ(pcm.size(), 120000u);
    stream_ = rCreateMusicStream(name.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    for (int round = 0; round < 2; ++round) { // playing again starts from the beginning again
        rPlayMusicStream(stream_, false);
        EXPECT_EQ(Ring(0, kRing), Bytes(pcm.begin(), pcm.begin() + kRing)) << round;
        EXPECT_EQ(stream_->dwPreviousHalf, 0u);
        EXPECT_EQ(stream_->dwCurrentHalf, 0u);
        EXPECT_FALSE(stream_->bFinished);
        EXPECT_EQ(Status(), audio::kStatusPlaying | audio::kStatusLooping);
        EXPECT_TRUE(rIsMusicStreamPlaying(stream_));
    }
    // The next refill of half 0 continues where half 1 ended.
    RefillHalf(0);
    EXPECT_EQ(Ring(0, kHalf),
              Concat(Bytes(pcm.begin() + kRing, pcm.end()), Silence(kRing + kHalf - pcm.size())));
    EXPECT_TRUE(stream_->bFinished);
}

TEST_F(MusicStreamTest, ANonLoopingEndFillsSilenceAndFinishes) {
    const std::string name = WriteOgg("short.ogg", 2, 5000); // 20000 bytes: shorter than a half
    const Bytes pcm = Decoded("short.ogg");
    ASSERT_EQ(pcm.size(), 20000u);
    stream_ = rCreateMusicStream(name.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    rPlayMusicStream(stream_, false);
    EXPECT_EQ(Ring(0, kRing), Concat(pcm, Silence(kRing - pcm.size())));
    EXPECT_FALSE(stream_->bFinished); // priming found the end, but playing starts unfinished
    EXPECT_TRUE(rIsMusicStreamPlaying(stream_));

    FillHalf(0, 0x55);
    RefillHalf(0); // the end of the file at once
    EXPECT_TRUE(stream_->bFinished);
    EXPECT_FALSE(rIsMusicStreamPlaying(stream_));
    EXPECT_EQ(Ring(0, kHalf), Silence(kHalf));
    // The stream itself goes on (with silence) until the music is stopped.
    EXPECT_EQ(Status(), audio::kStatusPlaying | audio::kStatusLooping);
}

TEST_F(MusicStreamTest, ALoopingEndContinuesFromSampleZeroInTheSameRefill) {
    const std::string name = WriteOgg("loop.ogg", 2, 5000);
    const Bytes pcm = Decoded("loop.ogg");
    ASSERT_EQ(pcm.size(), 20000u);
    stream_ = rCreateMusicStream(name.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);

    // The first play primes with the flag the new stream had: off.
    rPlayMusicStream(stream_, true);
    EXPECT_EQ(Ring(0, kRing), Concat(pcm, Silence(kRing - pcm.size())));
    EXPECT_TRUE(stream_->bLoop);
    RefillHalf(0);
    EXPECT_EQ(Ring(0, kHalf), Repeated(pcm, 0, kHalf));
    RefillHalf(1);
    EXPECT_EQ(Ring(kHalf, kHalf), Repeated(pcm, kHalf, kHalf));
    EXPECT_FALSE(stream_->bFinished);
    EXPECT_TRUE(rIsMusicStreamPlaying(stream_));

    // Played again while looping, priming loops as well.
    rPlayMusicStream(stream_, true);
    EXPECT_EQ(Ring(0, kRing), Repeated(pcm, 0, kRing));
    RefillHalf(0);
    EXPECT_EQ(Ring(0, kHalf), Repeated(pcm, kRing, kHalf));
}

TEST_F(MusicStreamTest, ALoopingEndGoesOnWithTheNextFileIndex) {
    const std::string a = WriteOgg("a.ogg", 2, 5000);
    const std::string b = WriteOgg("b.ogg", 2, 7000, 44100);
    const Bytes pcmA = Decoded("a.ogg");
    const Bytes pcmB = Decoded("b.ogg");
    stream_ = rCreateMusicStream(a.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    ASSERT_TRUE(rAddOggStreamToMusicStream(stream_, b.c_str()));
    rPlayMusicStream(stream_, true);
    stream_->dwNextFile = 1;
    RefillHalf(0); // a has ended: b from its first sample, then b again
    EXPECT_EQ(stream_->dwCurrentFile, 1u);
    EXPECT_EQ(Ring(0, kHalf), Repeated(pcmB, 0, kHalf));
}

TEST_F(MusicStreamTest, AFileWithoutSamplesLoopsIntoSilenceInsteadOfSpinning) {
    const std::string name = WriteOgg("nothing.ogg", 2, 0);
    stream_ = rCreateMusicStream(name.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    rPlayMusicStream(stream_, true);
    FillHalf(0, 0x55);
    RefillHalf(0);
    EXPECT_EQ(Ring(0, kHalf), Silence(kHalf));
}

TEST_F(MusicStreamTest, ADecodingErrorLeavesTheHalfAsItWas) {
    // One packet a page: a damaged page is one hole in the data.
    WriteFile(root_ / "music" / "holed.ogg", EncodeOgg(Tone(2, 80000), 2, 44100, true));
    stream_ = rCreateMusicStream("music\\holed.ogg", device_.get());
    ASSERT_NE(stream_, nullptr);
    rPlayMusicStream(stream_, false);
    // Damage a page well after the primed part: its checksum fails and the
    // decoder reports the hole once.
    MusicMemorySource& src = stream_->Files[0].Source;
    for (uint32_t i = src.dwSize * 3 / 4; i < src.dwSize * 3 / 4 + 16; ++i)
        src.pData[i] ^= 0xA5;
    int unchanged = 0;
    for (int i = 0; i < 12 && !stream_->bFinished; ++i) {
        FillHalf(0, 0x55);
        RefillHalf(0);
        if (Ring(0, kHalf) == Bytes(kHalf, 0x55)) ++unchanged;
    }
    EXPECT_EQ(unchanged, 1);
    EXPECT_TRUE(stream_->bFinished); // the stream goes on to its end after the hole
}

TEST_F(MusicStreamTest, UpdateRefillsTheHalfThePositionLeft) {
    const std::string name = WriteOgg("long.ogg", 2, 80000);
    stream_ = rCreateMusicStream(name.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    rPlayMusicStream(stream_, false);
    ASSERT_EQ(stream_->pBuffer->Stop(), audio::Result::Ok); // the position stays where it is put
    struct Case {
        uint32_t position;
        uint32_t currentHalf;
        bool refills; // the half left behind is written
    } cases[] = {
        {0, 0, false},  {44096, 0, false}, {44100, 1, true}, {88196, 1, false},
        {100, 0, true}, {100, 0, false},   {60000, 1, true},
    };
    for (const Case& c : cases) {
        const uint32_t left = stream_->dwPreviousHalf;
        FillHalf(left, 0x55);
        ASSERT_EQ(stream_->pBuffer->SetCurrentPosition(c.position), audio::Result::Ok);
        rUpdateMusicStream(stream_);
        EXPECT_EQ(stream_->dwCurrentHalf, c.currentHalf) << c.position;
        EXPECT_EQ(stream_->dwPreviousHalf, c.currentHalf) << c.position;
        EXPECT_EQ(Ring(left * kHalf, kHalf) != Bytes(kHalf, 0x55), c.refills) << c.position;
    }
}

TEST_F(MusicStreamTest, HalvesOutOfRangeRefillNothing) {
    const std::string name = WriteOgg("long.ogg", 2, 80000);
    stream_ = rCreateMusicStream(name.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    struct Case {
        uint32_t previous, current;
    } cases[] = {{0, 0}, {1, 1}, {2, 0}, {0, 2}, {7, 1}};
    for (const Case& c : cases) {
        FillHalf(0, 0x55);
        FillHalf(1, 0x55);
        stream_->dwPreviousHalf = c.previous;
        stream_->dwCurrentHalf = c.current;
        rRefillMusicStream(stream_);
        EXPECT_EQ(Ring(0, kRing), Bytes(kRing, 0x55)) << c.previous << " " << c.current;
    }
}

// ---- Volume, state, loss ----------------------------------------------------------------

TEST_F(MusicStreamTest, VolumeIsLinearInHundredthsOfDecibel) {
    const std::string name = WriteOgg("a.ogg", 2, 2000);
    stream_ = rCreateMusicStream(name.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    struct Case {
        float volume;
        int32_t mB;
    } cases[] = {
        {0.5f, -5000}, {1.2f, 0},      {1.0f, 0},       {0.0f, -10000}, {-0.5f, -10000},
        {0.3f, -7000}, {0.25f, -7500}, {0.001f, -9990}, {0.99999f, -1}, {NAN, -10000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rMusicVolumeToHundredthsDb(c.volume), c.mB) << c.volume;
        rSetMusicStreamVolume(stream_, c.volume);
        int32_t v = 1;
        ASSERT_EQ(stream_->pBuffer->GetVolume(&v), audio::Result::Ok);
        EXPECT_EQ(v, c.mB) << c.volume;
    }
}

TEST_F(MusicStreamTest, StopPauseAndResume) {
    const std::string name = WriteOgg("a.ogg", 2, 20000);
    stream_ = rCreateMusicStream(name.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    const uint32_t playing = audio::kStatusPlaying | audio::kStatusLooping;

    rPlayMusicStream(stream_, true);
    rPauseMusicStream(stream_);
    EXPECT_TRUE(stream_->bPaused);
    EXPECT_EQ(Status(), 0u);
    EXPECT_FALSE(rIsMusicStreamPlaying(stream_)); // looping: the stream's own state
    rResumeMusicStream(stream_);
    EXPECT_FALSE(stream_->bPaused);
    EXPECT_EQ(Status(), playing);
    rResumeMusicStream(stream_); // not paused: nothing
    EXPECT_EQ(Status(), playing);
    rStopMusicStream(stream_);
    EXPECT_TRUE(stream_->bFinished);
    EXPECT_EQ(Status(), 0u);
    EXPECT_FALSE(rIsMusicStreamPlaying(stream_));

    rPlayMusicStream(stream_, false);
    rPauseMusicStream(stream_);
    EXPECT_TRUE(rIsMusicStreamPlaying(stream_)); // not looping: not finished
    rStopMusicStream(stream_);
    EXPECT_FALSE(rIsMusicStreamPlaying(stream_));
}

TEST_F(MusicStreamTest, TheLostStreamCheckGivesUpAfterThreeRounds) {
    const std::string name = WriteOgg("a.ogg", 2, 20000);
    stream_ = rCreateMusicStream(name.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    bool restored = true;
    EXPECT_EQ(rRestoreMusicBuffer(stream_->pBuffer, &restored), audio::Result::Ok);
    EXPECT_FALSE(restored);
    EXPECT_EQ(rRestoreMusicBuffer(nullptr, &restored), audio::Result::NoObject);
    struct Case {
        int refusals;
        audio::Result result;
    } cases[] = {{0, audio::Result::Ok},
                 {1, audio::Result::Ok},
                 {3, audio::Result::Ok},
                 {4, audio::Result::BufferLost},
                 {10, audio::Result::BufferLost}};
    for (const Case& c : cases) {
        stream_->pBuffer->SimulateLoss(c.refusals);
        EXPECT_EQ(rRestoreMusicBuffer(stream_->pBuffer, &restored), c.result) << c.refusals;
        EXPECT_EQ(restored, c.result == audio::Result::Ok) << c.refusals;
        while (stream_->pBuffer->Restore() == audio::Result::BufferLost) {
        }
    }
}

TEST_F(MusicStreamTest, PlayBringsALostStreamBack) {
    const std::string name = WriteOgg("a.ogg", 2, 30000);
    const Bytes pcm = Decoded("a.ogg");
    stream_ = rCreateMusicStream(name.c_str(), device_.get());
    ASSERT_NE(stream_, nullptr);
    stream_->pBuffer->SimulateLoss(3);
    rPlayMusicStream(stream_, false);
    EXPECT_EQ(Status(), audio::kStatusPlaying | audio::kStatusLooping);
    EXPECT_EQ(Ring(0, kRing), Bytes(pcm.begin(), pcm.begin() + kRing));

    stream_->pBuffer->SimulateLoss(10); // more than the check waits for
    rPlayMusicStream(stream_, false);
    EXPECT_EQ(Status(), uint32_t(audio::kStatusBufferLost));
}

// ---- The music thread's sleep --------------------------------------------------

TEST(MusicSleep, LastsUntilThePositionEntersTheOtherHalfWithinBounds) {
    struct Case {
        uint32_t cursor, bytesPerSecond, ms;
    } cases[] = {
        {0, 176400, 125},                 // a whole half ahead: the longest sleep
        {1, 176400, 125},                 // just after a crossing: the longest sleep
        {44100 - 1764, 176400, 10},       // exactly 10 ms ahead
        {44100 - 1765, 176400, 11},       // a byte more: rounded up
        {44099, 176400, 1},               // a frame ahead
        {44100, 176400, 125},             // just entered the second half
        {88200 - 4, 176400, 1},           // the wrap back into the first half
        {88200 + 44100 - 882, 176400, 5}, // positions past the ring wrap round
        {44100 - 441, 44100, 10},         // mono 22050 Hz
        {0, 44100, 125},                  // a whole second at that rate
        {0, 0, 125},                      // no rate: the longest sleep
    };
    for (const Case& c : cases)
        EXPECT_EQ(rMusicMsToNextHalf(c.cursor, c.bytesPerSecond), c.ms)
            << c.cursor << " " << c.bytesPerSecond;
}

// The thread's loop on a simulated clock: the play position moves at the
// stream's byte rate, and at each wake-up the stream is updated and the next
// sleep taken from it. Every time the position enters the other half, the
// half it left is refilled no later than a loop waking every millisecond
// would, long before the position comes back round to it. An output that
// mixes in periods (OpenAL's does, 1024 frames at a time by default)
// reports a position that moves in steps: the half left is then refilled
// within a period of the step that shows the crossing, still at least a
// period before the position comes back round to it.
TEST_F(MusicStreamTest, SleepingUntilTheNextHalfRefillsAsSoonAsPollingEachMillisecond) {
    struct Case {
        int channels;
        long rate;
        uint32_t stepFrames; // the reported position moves this many frames at a time
    } cases[] = {{2, 44100, 1},    {1, 22050, 1},   {2, 48000, 1},   {1, 8000, 1},
                 {2, 44100, 1024}, {2, 48000, 960}, {1, 22050, 1024}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels at " << c.rate << " Hz, steps of "
                                        << c.stepFrames << " frames");
        const std::string name = WriteOgg("tone.ogg", c.channels, 4000, c.rate);
        stream_ = rCreateMusicStream(name.c_str(), device_.get());
        ASSERT_NE(stream_, nullptr);
        rPlayMusicStream(stream_, true);
        ASSERT_EQ(stream_->pBuffer->Stop(), audio::Result::Ok); // the test moves the position
        const uint64_t rate = stream_->wfx.avgBytesPerSec;
        ASSERT_EQ(rate, uint64_t(c.channels) * 2 * uint64_t(c.rate));
        const uint64_t step = uint64_t(c.stepFrames) * stream_->wfx.blockAlign;
        // Microseconds from the start until the position shows a byte: the
        // first step at or after it.
        auto shown = [&](uint64_t byte) {
            const uint64_t steps = (byte + step - 1) / step;
            return (steps * step * 1000000 + rate - 1) / rate;
        };
        const uint64_t stepUs = (step * 1000000 + rate - 1) / rate;
        const uint64_t halfUs = uint64_t(MusicStream::HALF_BYTES) * 1000000 / rate;

        uint64_t now = 0, halvesRefilled = 0, wakeUps = 0;
        const uint64_t end = uint64_t(20) * MusicStream::BUFFER_BYTES * 1000000 / rate; // twenty times round
        while (now < end) {
            const uint64_t played = now * rate / 1000000 / step * step;
            ASSERT_EQ(stream_->pBuffer->SetCurrentPosition(uint32_t(played % MusicStream::BUFFER_BYTES)),
                      audio::Result::Ok);
            const uint32_t before = stream_->dwPreviousHalf;
            rUpdateMusicStream(stream_);
            if (stream_->dwPreviousHalf != before) {
                ++halvesRefilled;
                // The polling loop refilled within a millisecond of the
                // crossing showing (the position reads in whole frames);
                // this loop within a period and a millisecond of it.
                const uint64_t late = now - shown(halvesRefilled * MusicStream::HALF_BYTES);
                EXPECT_LE(late, 1000 + stepUs) << "half " << halvesRefilled;
                EXPECT_LT(now + stepUs, (halvesRefilled + 1) * halfUs) << "half " << halvesRefilled;
            }
            now += uint64_t(rMusicStreamSleepMs(stream_)) * 1000;
            ++wakeUps;
        }
        EXPECT_EQ(halvesRefilled, 39u); // every crossing, none skipped
        // A few wake-ups a second instead of a thousand: at most one per
        // longest sleep and one per crossing where the position moves
        // smoothly (eight a second at 125 ms), a few more where it moves in
        // steps, as the crossing is awaited until a step shows it.
        EXPECT_LE(wakeUps * 1000000 / end, c.stepFrames > 1 ? 16u : 9u);
        rDeleteMusicStream(&stream_);
    }
}
