// The OpenAL Soft back-end. Every voice is one source with one buffer; a
// stream is one source with a queue of buffers.
// Flat voices are listener-relative sources at the listener with direct
// channels, so their stereo data reaches the speakers as written; placed
// voices are mono sources in world space (z flipped) with the inverse-distance
// law clamped between their minimum and maximum distance, scaled by the
// listener's rolloff factor.
//
// OpenAL keeps one current context per process, so one device is open at a
// time; a second open answers Allocated.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/audio/Backends.h"
#include "platform/audio/VoiceCore.h"

namespace audio::al {
namespace {

// Every live sound owns a voice: ask for far more sources than the default.
constexpr ALCint kMonoSources = 1024;
constexpr ALCint kStereoSources = 1024;
constexpr float kSpeedOfSound = 343.3f;

std::atomic<bool> g_deviceOpen{false};
// The open loopback device and its mixing entry point, for RenderLoopback.
std::atomic<ALCdevice*> g_loopback{nullptr};
LPALCRENDERSAMPLESSOFT g_renderSamples = nullptr;

Result FromAlError(ALenum err) {
    switch (err) {
    case AL_NO_ERROR:
        return Result::Ok;
    case AL_OUT_OF_MEMORY:
        return Result::OutOfMemory;
    case AL_INVALID_ENUM:
    case AL_INVALID_VALUE:
        return Result::InvalidParam;
    default:
        return Result::InvalidCall;
    }
}

ALenum AlFormat(int channels, int bits) {
    if (channels == 1) return bits == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    return bits == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

// Left-handed engine axes to OpenAL's right-handed ones.
void Flip(const math::Vec3& v, ALfloat* out) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = -v.z;
}

// A new source; Allocated (and 0) when OpenAL has none left.
Result GenSource(ALuint* source) {
    alGetError();
    alGenSources(1, source);
    if (alGetError() != AL_NO_ERROR) {
        *source = 0;
        return Result::Allocated;
    }
    return Result::Ok;
}

// A new buffer; OutOfMemory or Allocated (and 0) when OpenAL cannot make one.
Result GenBuffer(ALuint* buffer) {
    alGenBuffers(1, buffer);
    if (ALenum err = alGetError(); err != AL_NO_ERROR) {
        *buffer = 0;
        return FromAlError(err) == Result::OutOfMemory ? Result::OutOfMemory : Result::Allocated;
    }
    return Result::Ok;
}

// A flat source: at the listener, relative to it, with no distance fading.
void MakeFlat(ALuint source, bool directChannels) {
    const ALfloat zero[3] = {0, 0, 0};
    alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSourcefv(source, AL_POSITION, zero);
    alSourcef(source, AL_ROLLOFF_FACTOR, 0.0f);
    if (directChannels) alSourcei(source, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
}

// Stops a source, lets go of its buffers and deletes it.
void DeleteSource(ALuint* source) {
    if (!*source) return;
    alSourceStop(*source);
    alSourcei(*source, AL_BUFFER, 0);
    alDeleteSources(1, source);
}

class AlDevice;

class AlVoice final : public core::BasicVoice {
  public:
    AlVoice(core::BasicDevice& device, const VoiceDesc& desc) : BasicVoice(device, desc) {}
    ~AlVoice() override {
        DeleteSource(&source_);
        if (buffer_) alDeleteBuffers(1, &buffer_);
    }

    Result Create(bool directChannels) {
        if (Result r = GenSource(&source_); r != Result::Ok) return r;
        if (Result r = GenBuffer(&buffer_); r != Result::Ok) return r;
        if (!Is3D()) MakeFlat(source_, directChannels);
        return Prepare();
    }

  protected:
    Result Upload(const void* data, uint32_t bytes, int channels, int bits, uint32_t rate) override {
        // A buffer cannot change while a source holds it: detach, refill, and
        // put the source back where it was.
        ALint state = AL_INITIAL;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        const uint32_t frame = OutputFrame();
        alSourceStop(source_);
        alSourcei(source_, AL_BUFFER, 0);
        alGetError();
        alBufferData(buffer_, AlFormat(channels, bits), data, ALsizei(bytes), ALsizei(rate));
        Result r = FromAlError(alGetError());
        alSourcei(source_, AL_BUFFER, ALint(buffer_));
        const uint32_t frames = bytes / uint32_t(channels * bits / 8);
        pendingFrame_ = frame < frames ? frame : 0;
        if (state == AL_PLAYING) OutputPlay(loop_);
        return r;
    }
    bool OutputPlaying() override {
        ALint state = AL_INITIAL;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        return state == AL_PLAYING;
    }
    void OutputPlay(bool loop) override {
        loop_ = loop;
        alSourcei(source_, AL_LOOPING, loop ? AL_TRUE : AL_FALSE);
        alSourcePlay(source_);
        if (pendingFrame_) alSourcei(source_, AL_SAMPLE_OFFSET, ALint(pendingFrame_));
        pendingFrame_ = 0;
    }
    void OutputSetLoop(bool loop) override {
        loop_ = loop;
        alSourcei(source_, AL_LOOPING, loop ? AL_TRUE : AL_FALSE);
    }
    void OutputPause() override { alSourcePause(source_); }
    void OutputRewind() override {
        alSourceRewind(source_);
        pendingFrame_ = 0;
    }
    uint32_t OutputFrame() override {
        ALint state = AL_INITIAL;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        if (state != AL_PLAYING && state != AL_PAUSED) return pendingFrame_;
        ALint offset = 0;
        alGetSourcei(source_, AL_SAMPLE_OFFSET, &offset);
        return uint32_t(offset);
    }
    void OutputGain(float gain) override { alSourcef(source_, AL_GAIN, gain); }
    void Output3D(const core::Params3D& p, float rolloff) override {
        ALfloat pos[3] = {0, 0, 0};
        ALfloat vel[3];
        if (p.mode != Mode3D::Disabled) Flip(p.position, pos);
        Flip(p.velocity, vel);
        alSourcei(source_, AL_SOURCE_RELATIVE, p.mode == Mode3D::Normal ? AL_FALSE : AL_TRUE);
        alSourcefv(source_, AL_POSITION, pos);
        alSourcefv(source_, AL_VELOCITY, vel);
        alSourcef(source_, AL_REFERENCE_DISTANCE, p.minDistance);
        alSourcef(source_, AL_MAX_DISTANCE, p.maxDistance);
        alSourcef(source_, AL_ROLLOFF_FACTOR, rolloff);
    }

  private:
    ALuint source_ = 0;
    ALuint buffer_ = 0;
    bool loop_ = false;
    uint32_t pendingFrame_ = 0; // where a stopped source resumes after a refill
};

// A stream is one source with one buffer per part, queued in ring order from
// the part that plays. A part written again once OpenAL has finished it is
// unqueued, refilled and queued at the tail; writing a part that is still
// waiting in the queue (or any part while the source is not under way)
// rebuilds the queue from the play position. When the queue runs dry because
// nothing was written in time, the whole ring is queued again as it is, as a
// looping buffer would play it.
class AlStream final : public core::BasicStream {
  public:
    explicit AlStream(const StreamDesc& desc)
        : BasicStream(desc), buffers_(desc.parts, 0), fresh_(desc.parts, 0), unqueued_(desc.parts, 0) {
        queue_.reserve(desc.parts);
    }
    ~AlStream() override {
        DeleteSource(&source_);
        for (ALuint b : buffers_)
            if (b) alDeleteBuffers(1, &b);
    }

    Result Create(bool directChannels) {
        if (Result r = GenSource(&source_); r != Result::Ok) return r;
        for (ALuint& b : buffers_)
            if (Result r = GenBuffer(&b); r != Result::Ok) return r;
        MakeFlat(source_, directChannels);
        return Prepare();
    }

  protected:
    Result OutputWrite(uint32_t first, uint32_t last) override {
        for (uint32_t p = first; p <= last; ++p)
            fresh_[p] = 1;
        RestartIfDry();
        const ALint state = State();
        if (state != AL_PLAYING && state != AL_PAUSED)
            return Requeue(queue_.empty() ? 0 : queue_[0], pendingFrame_, false);
        uint32_t part = 0, frame = 0;
        const uint32_t processed = Where(&part, &frame);
        for (uint32_t i = processed; i < queue_.size(); ++i) {
            if (queue_[i] >= first && queue_[i] <= last) return Requeue(part, frame, state == AL_PLAYING);
        }
        Unqueue(processed);
        const int appended = AppendFresh();
        if (Playing() && State() == AL_STOPPED) {
            // It ran dry between the looks: what was queued has played.
            const uint32_t start = appended >= 0 ? uint32_t(appended) : Next(queue_.back());
            return Requeue(start, 0, true);
        }
        return Result::Ok;
    }
    void OutputPlay() override {
        alSourcePlay(source_);
        if (pendingFrame_) alSourcei(source_, AL_SAMPLE_OFFSET, ALint(pendingFrame_));
        pendingFrame_ = 0;
    }
    void OutputPause() override {
        RestartIfDry();
        alSourcePause(source_);
    }
    void OutputSeek(uint32_t part, uint32_t frame) override { Requeue(part, frame, Playing()); }
    uint32_t OutputFrame() override {
        RestartIfDry();
        uint32_t part = 0, frame = 0;
        Where(&part, &frame);
        return part * PartFrames() + frame;
    }
    void OutputGain(float gain) override { alSourcef(source_, AL_GAIN, gain); }

  private:
    ALint State() const {
        ALint state = AL_INITIAL;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        return state;
    }
    uint32_t Next(uint32_t part) const { return (part + 1) % desc_.parts; }

    // The part that plays and the frame in it; returns how many queued
    // buffers OpenAL has finished.
    uint32_t Where(uint32_t* part, uint32_t* frame) {
        const ALint state = State();
        if (queue_.empty()) return 0;
        if (state != AL_PLAYING && state != AL_PAUSED) {
            *part = queue_[0];
            *frame = pendingFrame_;
            return 0;
        }
        // The finished count and the offset are two queries: retry when a
        // buffer finished between them.
        ALint processed = 0, offset = 0, again = 0;
        for (int tries = 0; tries < 4; ++tries) {
            alGetSourcei(source_, AL_BUFFERS_PROCESSED, &processed);
            alGetSourcei(source_, AL_SAMPLE_OFFSET, &offset);
            alGetSourcei(source_, AL_BUFFERS_PROCESSED, &again);
            if (processed == again) break;
        }
        const uint32_t done = std::min<uint32_t>(uint32_t(std::max(again, 0)), uint32_t(queue_.size() - 1));
        const int64_t within = int64_t(offset) - int64_t(done) * PartFrames();
        *part = queue_[done];
        *frame = uint32_t(std::clamp<int64_t>(within, 0, PartFrames() - 1));
        return uint32_t(std::max(again, 0));
    }

    // Queues the whole ring from a part, every part with what it holds now.
    Result Requeue(uint32_t start, uint32_t frame, bool play) {
        alSourceStop(source_);
        alSourcei(source_, AL_BUFFER, 0);
        queue_.clear();
        alGetError();
        for (uint32_t k = 0; k < desc_.parts; ++k)
            Queue((start + k) % desc_.parts);
        const Result r = FromAlError(alGetError());
        pendingFrame_ = frame;
        if (play) OutputPlay();
        return r;
    }
    void Queue(uint32_t part) {
        const WaveFormat& f = desc_.format;
        alBufferData(buffers_[part], AlFormat(f.channels, f.bitsPerSample), PartData(part),
                     ALsizei(PartBytes()), ALsizei(f.samplesPerSec));
        alSourceQueueBuffers(source_, 1, &buffers_[part]);
        queue_.push_back(part);
        fresh_[part] = 0;
    }
    void Unqueue(uint32_t count) {
        count = std::min<uint32_t>(count, uint32_t(queue_.size()));
        if (count == 0) return;
        alSourceUnqueueBuffers(source_, ALsizei(count), unqueued_.data());
        queue_.erase(queue_.begin(), queue_.begin() + count);
    }
    // Queues the written parts that follow the tail in ring order; the first
    // one queued, or -1.
    int AppendFresh() {
        int first = -1;
        if (queue_.empty()) return first;
        for (uint32_t next = Next(queue_.back()); fresh_[next] && !Queued(next); next = Next(next)) {
            Queue(next);
            if (first < 0) first = int(next);
        }
        return first;
    }
    bool Queued(uint32_t part) const { return std::find(queue_.begin(), queue_.end(), part) != queue_.end(); }
    // Nothing was written in time and OpenAL played the queue out: play the
    // ring on from the part after the last one, as it is.
    void RestartIfDry() {
        if (Playing() && !queue_.empty() && State() == AL_STOPPED) Requeue(Next(queue_.back()), 0, true);
    }

    ALuint source_ = 0;
    std::vector<ALuint> buffers_;  // one per part
    std::vector<uint8_t> fresh_;   // written since it was last queued
    std::vector<ALuint> unqueued_; // room for alSourceUnqueueBuffers
    std::vector<uint32_t> queue_;  // the parts queued, in OpenAL's order
    uint32_t pendingFrame_ = 0;    // where a source not under way starts in queue_[0]
};

class AlDevice final : public core::BasicDevice {
  public:
    AlDevice(ALCdevice* device, bool loopback) : device_(device), loopback_(loopback) {}
    ~AlDevice() override {
        if (loopback_) g_loopback = nullptr;
        alcMakeContextCurrent(nullptr);
        if (context_) alcDestroyContext(context_);
        alcCloseDevice(device_);
        g_deviceOpen = false;
    }

    Result MakeContext(uint32_t rate) {
        // A loopback device mixes 16-bit stereo, which its context names; for
        // any other device the list ends before the format.
        const ALCint attrs[] = {ALC_FREQUENCY,
                                ALCint(rate),
                                ALC_MONO_SOURCES,
                                kMonoSources,
                                ALC_STEREO_SOURCES,
                                kStereoSources,
                                loopback_ ? ALC_FORMAT_CHANNELS_SOFT : 0,
                                ALC_STEREO_SOFT,
                                ALC_FORMAT_TYPE_SOFT,
                                ALC_SHORT_SOFT,
                                0};
        ALCcontext* context = alcCreateContext(device_, attrs);
        if (!context) return Result::NoDriver;
        alcMakeContextCurrent(context);
        if (context_) alcDestroyContext(context_);
        context_ = context;
        alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
        directChannels_ = alIsExtensionPresent("AL_SOFT_direct_channels") == AL_TRUE;
        OutputListener(ListenerState());
        return Result::Ok;
    }

    Result CreateVoice(const VoiceDesc& desc, std::unique_ptr<Voice>* voice) override {
        if (!voice) return Result::InvalidParam;
        voice->reset();
        if (Result r = core::CheckVoiceDesc(desc); r != Result::Ok) return r;
        auto v = std::make_unique<AlVoice>(*this, desc);
        if (Result r = v->Create(directChannels_); r != Result::Ok) return r;
        *voice = std::move(v);
        return Result::Ok;
    }
    Result CreateStream(const StreamDesc& desc, std::unique_ptr<Stream>* stream) override {
        if (!stream) return Result::InvalidParam;
        stream->reset();
        if (Result r = core::CheckStreamDesc(desc); r != Result::Ok) return r;
        auto s = std::make_unique<AlStream>(desc);
        if (Result r = s->Create(directChannels_); r != Result::Ok) return r;
        *stream = std::move(s);
        return Result::Ok;
    }
    bool IsSilent() const override { return false; }
    const char* Name() const override { return "OpenAL Soft"; }

  protected:
    void OutputListener(const core::ListenerParams& p) override {
        ALfloat pos[3], vel[3], orient[6];
        Flip(p.position, pos);
        Flip(p.velocity, vel);
        Flip(p.front, orient);
        Flip(p.top, orient + 3);
        alListenerfv(AL_POSITION, pos);
        alListenerfv(AL_VELOCITY, vel);
        alListenerfv(AL_ORIENTATION, orient);
        alDopplerFactor(p.dopplerFactor);
        alSpeedOfSound(kSpeedOfSound / p.distanceFactor);
    }
    Result OutputFormat(const WaveFormat& format) override {
        if (format.samplesPerSec == PrimaryFormat().samplesPerSec) return Result::Ok;
        return MakeContext(format.samplesPerSec);
    }

  private:
    ALCdevice* device_;
    const bool loopback_;
    ALCcontext* context_ = nullptr;
    bool directChannels_ = false;
};

} // namespace

Result OpenDevice(std::unique_ptr<Device>* device) {
    if (g_deviceOpen.exchange(true)) return Result::Allocated;
    ALCdevice* alc = alcOpenDevice(nullptr);
    if (!alc) {
        g_deviceOpen = false;
        return Result::NoDriver;
    }
    auto d = std::make_unique<AlDevice>(alc, false); // closes the device on failure
    if (Result r = d->MakeContext(44100); r != Result::Ok) return r;
    *device = std::move(d);
    return Result::Ok;
}

Result OpenLoopbackDevice(std::unique_ptr<Device>* device) {
    if (alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback") != ALC_TRUE) return Result::NoDriver;
    auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    g_renderSamples =
        reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (!open || !g_renderSamples) return Result::NoDriver;
    if (g_deviceOpen.exchange(true)) return Result::Allocated;
    ALCdevice* alc = open(nullptr);
    if (!alc) {
        g_deviceOpen = false;
        return Result::NoDriver;
    }
    auto d = std::make_unique<AlDevice>(alc, true); // closes the device on failure
    if (Result r = d->MakeContext(44100); r != Result::Ok) return r;
    g_loopback = alc;
    *device = std::move(d);
    return Result::Ok;
}

} // namespace audio::al

namespace audio {

Result RenderLoopback(int16_t* out, uint32_t frames) {
    ALCdevice* device = al::g_loopback;
    if (!device || !out) return Result::NoDriver;
    al::g_renderSamples(device, out, ALCsizei(frames));
    return Result::Ok;
}

} // namespace audio
