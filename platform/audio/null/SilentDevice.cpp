// The silent back-end: no output, but voices and streams keep their data,
// their settings and their play position by the clock, so a sound "plays" for
// its real length and ends on time.
#include <algorithm>

#include "platform/audio/Backends.h"
#include "platform/audio/VoiceCore.h"
#include "platform/os/Os.h"

namespace audio::silent {
namespace {

class SilentVoice final : public core::BasicVoice {
  public:
    SilentVoice(core::BasicDevice& device, const VoiceDesc& desc) : BasicVoice(device, desc) { Prepare(); }

  protected:
    Result Upload(const void*, uint32_t bytes, int channels, int bits, uint32_t rate) override {
        const uint32_t frame = CurrentFrame();
        frames_ = bytes / uint32_t(channels * bits / 8);
        rate_ = rate;
        Rebase(std::min(frame, frames_));
        return Result::Ok;
    }
    bool OutputPlaying() override {
        CurrentFrame();
        return playing_;
    }
    void OutputPlay(bool loop) override {
        loop_ = loop;
        playing_ = frames_ > 0;
        Rebase(pausedFrame_);
    }
    void OutputSetLoop(bool loop) override {
        Rebase(CurrentFrame());
        loop_ = loop;
    }
    void OutputPause() override {
        pausedFrame_ = CurrentFrame();
        playing_ = false;
    }
    void OutputRewind() override {
        playing_ = false;
        pausedFrame_ = 0;
    }
    uint32_t OutputFrame() override { return CurrentFrame(); }
    void OutputGain(float) override {}
    void Output3D(const core::Params3D&, float) override {}

  private:
    void Rebase(uint32_t frame) {
        pausedFrame_ = frame;
        startFrame_ = frame;
        startTick_ = os::PerformanceCounter();
    }
    // Advances the clock; a voice that ran past its end without looping stops
    // and rewinds.
    uint32_t CurrentFrame() {
        if (!playing_) return pausedFrame_;
        const uint64_t ticks = os::PerformanceCounter() - startTick_;
        const uint64_t elapsed = uint64_t(double(ticks) * double(rate_) / double(os::PerformanceFrequency()));
        const uint64_t pos = startFrame_ + elapsed;
        if (pos < frames_) return uint32_t(pos);
        if (loop_) return uint32_t(pos % frames_);
        playing_ = false;
        pausedFrame_ = 0;
        return 0;
    }

    uint32_t frames_ = 0;
    uint32_t rate_ = 1;
    bool playing_ = false;
    bool loop_ = false;
    uint32_t pausedFrame_ = 0;
    uint32_t startFrame_ = 0;
    uint64_t startTick_ = 0;
};

// The ring plays by the clock, part after part, whatever it holds.
class SilentStream final : public core::BasicStream {
  public:
    explicit SilentStream(const StreamDesc& desc) : BasicStream(desc) { Prepare(); }

  protected:
    Result OutputWrite(uint32_t, uint32_t) override { return Result::Ok; }
    void OutputPlay() override { Rebase(pausedFrame_); }
    void OutputPause() override { pausedFrame_ = CurrentFrame(); }
    void OutputSeek(uint32_t part, uint32_t frame) override { Rebase(part * PartFrames() + frame); }
    uint32_t OutputFrame() override { return CurrentFrame(); }
    void OutputGain(float) override {}

  private:
    uint32_t RingFrames() const { return desc_.bytes / desc_.format.blockAlign; }
    void Rebase(uint32_t frame) {
        pausedFrame_ = frame;
        startTick_ = os::PerformanceCounter();
    }
    uint32_t CurrentFrame() const {
        if (!Playing()) return pausedFrame_;
        const uint64_t ticks = os::PerformanceCounter() - startTick_;
        const uint64_t elapsed =
            uint64_t(double(ticks) * double(desc_.format.samplesPerSec) / double(os::PerformanceFrequency()));
        return uint32_t((pausedFrame_ + elapsed) % RingFrames());
    }

    uint32_t pausedFrame_ = 0; // while paused; the start frame while playing
    uint64_t startTick_ = 0;
};

class SilentDevice final : public core::BasicDevice {
  public:
    Result CreateVoice(const VoiceDesc& desc, std::unique_ptr<Voice>* voice) override {
        if (!voice) return Result::InvalidParam;
        voice->reset();
        if (Result r = core::CheckVoiceDesc(desc); r != Result::Ok) return r;
        *voice = std::make_unique<SilentVoice>(*this, desc);
        return Result::Ok;
    }
    Result CreateStream(const StreamDesc& desc, std::unique_ptr<Stream>* stream) override {
        if (!stream) return Result::InvalidParam;
        stream->reset();
        if (Result r = core::CheckStreamDesc(desc); r != Result::Ok) return r;
        *stream = std::make_unique<SilentStream>(desc);
        return Result::Ok;
    }
    bool IsSilent() const override { return true; }
    const char* Name() const override { return "silent"; }

  protected:
    void OutputListener(const core::ListenerParams&) override {}
    Result OutputFormat(const WaveFormat&) override { return Result::Ok; }
};

} // namespace

std::unique_ptr<Device> OpenDevice() {
    return std::make_unique<SilentDevice>();
}

} // namespace audio::silent
