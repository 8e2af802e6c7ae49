#include "platform/audio/VoiceCore.h"
#include "platform/math/Math.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace audio {

float VolumeToGain(int32_t hundredthsDb) {
    if (hundredthsDb <= kVolumeMin) return 0.0f;
    if (hundredthsDb >= kVolumeMax) return 1.0f;
    return std::pow(10.0f, static_cast<float>(hundredthsDb) / 2000.0f);
}

void PanToGains(int32_t pan, float* left, float* right) {
    pan = std::clamp(pan, kPanLeft, kPanRight);
    *left = pan > 0 ? VolumeToGain(-pan) : 1.0f;
    *right = pan < 0 ? VolumeToGain(pan) : 1.0f;
}

namespace core {
namespace {

constexpr uint32_t kMinVoiceBytes = 4;
constexpr uint32_t kMaxVoiceBytes = 0x0FFFFFFF;
constexpr uint32_t kMinRate = 100;
constexpr uint32_t kMaxRate = 200000;
constexpr uint32_t kMaxStreamParts = 16;

Result CheckPcm(const WaveFormat& f) {
    if (f.formatTag != kFormatPcm) return Result::BadFormat;
    if (f.channels != 1 && f.channels != 2) return Result::BadFormat;
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16) return Result::BadFormat;
    if (f.blockAlign != f.channels * f.bitsPerSample / 8) return Result::BadFormat;
    if (f.samplesPerSec < kMinRate || f.samplesPerSec > kMaxRate) return Result::BadFormat;
    return Result::Ok;
}

uint8_t SilenceOf(const WaveFormat& f) {
    return f.bitsPerSample == 8 ? 128 : 0;
}

// A new value for a control: refused without the control or outside min..max.
Result CheckControl(uint32_t flags, uint32_t control, int32_t value, int32_t min, int32_t max) {
    if (!(flags & control)) return Result::ControlUnavailable;
    if (value < min || value > max) return Result::InvalidParam;
    return Result::Ok;
}

// A control's value handed out, where there is the control.
Result ReadControl(uint32_t flags, uint32_t control, int32_t value, int32_t* out) {
    if (!out) return Result::InvalidParam;
    if (!(flags & control)) return Result::ControlUnavailable;
    *out = value;
    return Result::Ok;
}


// Deferred-setting masks.
enum : uint32_t {
    kMode = 1,
    kPosition = 2,
    kVelocity = 4,
    kMinDist = 8,
    kMaxDist = 16,
    kOrientation = 32,
    kDistanceFactor = 64,
    kRolloff = 128,
    kDoppler = 256,
};

// A setting given either for the next commit (kept in `pending`, its bit
// marked) or at once (kept in `current`); true when it took effect now and
// the caller must pass it on to the output.
template <typename T>
bool Store(Apply apply, const T& value, T& pending, T& current, uint32_t& mask, uint32_t bit) {
    if (apply == Apply::Deferred) {
        pending = value;
        mask |= bit;
        return false;
    }
    current = value;
    return true;
}

} // namespace

Result CheckVoiceDesc(const VoiceDesc& desc) {
    if (desc.flags & kFlagPrimary) return Result::InvalidParam;
    if (Result r = CheckPcm(desc.format); r != Result::Ok) return r;
    if (desc.flags & kFlagControl3D) {
        // A placed voice is one point in space: it has one channel and no pan.
        if (desc.format.channels != 1) return Result::InvalidParam;
        if (desc.flags & kFlagControlPan) return Result::InvalidParam;
    }
    if (desc.bytes < kMinVoiceBytes || desc.bytes > kMaxVoiceBytes) return Result::InvalidParam;
    if (desc.bytes < desc.format.blockAlign) return Result::BufferTooSmall;
    return Result::Ok;
}

Result CheckPrimaryFormat(const WaveFormat& format) {
    return CheckPcm(format);
}

Result CheckStreamDesc(const StreamDesc& desc) {
    if (desc.flags & ~uint32_t(kFlagControlVolume)) return Result::InvalidParam;
    if (Result r = CheckPcm(desc.format); r != Result::Ok) return r;
    if (desc.parts < 2 || desc.parts > kMaxStreamParts) return Result::InvalidParam;
    if (desc.bytes < kMinVoiceBytes || desc.bytes > kMaxVoiceBytes) return Result::InvalidParam;
    const uint32_t part = desc.bytes / desc.parts;
    if (part * desc.parts != desc.bytes || part % desc.format.blockAlign != 0) return Result::InvalidParam;
    return Result::Ok;
}

// ---- BasicStream ---------------------------------------------------------------

BasicStream::BasicStream(const StreamDesc& desc) : desc_(desc), data_(desc.bytes, SilenceOf(desc.format)) {}

Result BasicStream::Prepare() {
    OutputSeek(0, 0);
    if (Result r = OutputWrite(0, desc_.parts - 1); r != Result::Ok) return r;
    OutputGain(VolumeToGain(volume_));
    return Result::Ok;
}

Result BasicStream::GetStatus(uint32_t* status) {
    if (!status) return Result::InvalidParam;
    *status = loss_.Lost() ? uint32_t(kStatusBufferLost)
              : playing_   ? uint32_t(kStatusPlaying | kStatusLooping)
                           : 0u;
    return Result::Ok;
}

Result BasicStream::Restore() {
    return loss_.Restore(data_, SilenceOf(desc_.format), [this] {
        OutputSeek(0, 0);
        return OutputWrite(0, desc_.parts - 1);
    });
}

Result BasicStream::Lock(uint32_t offset, uint32_t bytes, void** data) {
    if (!data) return Result::InvalidParam;
    if (bytes == 0 || offset >= desc_.bytes || bytes > desc_.bytes - offset) return Result::InvalidParam;
    if (loss_.Lost()) return Result::BufferLost;
    if (locked_) return Result::InvalidCall;
    locked_ = true;
    lockOffset_ = offset;
    lockBytes_ = bytes;
    *data = data_.data() + offset;
    return Result::Ok;
}

Result BasicStream::Unlock() {
    if (!locked_) return Result::InvalidCall;
    locked_ = false;
    if (loss_.Lost()) return Result::BufferLost;
    return OutputWrite(lockOffset_ / PartBytes(), (lockOffset_ + lockBytes_ - 1) / PartBytes());
}

Result BasicStream::Play() {
    if (loss_.Lost()) return Result::BufferLost;
    if (playing_) return Result::Ok;
    playing_ = true;
    OutputPlay();
    return Result::Ok;
}

Result BasicStream::Stop() {
    if (loss_.Lost() || !playing_) return Result::Ok;
    OutputPause();
    playing_ = false;
    return Result::Ok;
}

Result BasicStream::SetCurrentPosition(uint32_t bytes) {
    if (loss_.Lost()) return Result::BufferLost;
    if (bytes >= desc_.bytes) return Result::InvalidParam;
    OutputSeek(bytes / PartBytes(), bytes % PartBytes() / desc_.format.blockAlign);
    return Result::Ok;
}

Result BasicStream::GetCurrentPosition(uint32_t* bytes) {
    if (!bytes) return Result::InvalidParam;
    if (loss_.Lost()) return Result::BufferLost;
    *bytes = OutputFrame() * desc_.format.blockAlign % desc_.bytes;
    return Result::Ok;
}

Result BasicStream::SetVolume(int32_t hundredthsDb) {
    if (Result r = CheckControl(desc_.flags, kFlagControlVolume, hundredthsDb, kVolumeMin, kVolumeMax);
        r != Result::Ok)
        return r;
    volume_ = hundredthsDb;
    OutputGain(VolumeToGain(volume_));
    return Result::Ok;
}

Result BasicStream::GetVolume(int32_t* hundredthsDb) {
    return ReadControl(desc_.flags, kFlagControlVolume, volume_, hundredthsDb);
}

void BasicStream::SimulateLoss(int refusedRestores) {
    if (playing_) OutputPause();
    playing_ = false;
    OutputSeek(0, 0);
    loss_.Lose(refusedRestores);
    locked_ = false;
}

// ---- BasicVoice ----------------------------------------------------------------

BasicVoice::BasicVoice(BasicDevice& device, const VoiceDesc& desc)
    : device_(device), desc_(desc), data_(desc.bytes, SilenceOf(desc.format)) {
    is3D_ = (desc.flags & kFlagControl3D) != 0;
    device_.Link(this);
}

BasicVoice::~BasicVoice() {
    device_.Unlink(this);
}

Result BasicVoice::Prepare() {
    if (Result r = UploadBlock(); r != Result::Ok) return r;
    if (is3D_) Output3D(current3D_, device_.ListenerState().rolloffFactor);
    RefreshGain();
    return Result::Ok;
}

Result BasicVoice::UploadBlock() {
    const WaveFormat& f = desc_.format;
    const uint32_t frames = desc_.bytes / f.blockAlign;
    const uint32_t bytes = frames * f.blockAlign;
    if (is3D_ || (f.channels == 2 && pan_ == 0))
        return Upload(data_.data(), bytes, f.channels, f.bitsPerSample, f.samplesPerSec);

    // Flat voices always go out as stereo, so that pan can attenuate one side
    // exactly and a mono sound reaches both speakers at full level.
    float gain[2];
    PanToGains(pan_, &gain[0], &gain[1]);
    const int sampleBytes = f.bitsPerSample / 8;
    scratch_.resize(size_t(frames) * 2 * sampleBytes);
    for (uint32_t i = 0; i < frames; ++i) {
        for (int ch = 0; ch < 2; ++ch) {
            const int src = f.channels == 2 ? ch : 0;
            const size_t in = size_t(i) * f.blockAlign + size_t(src) * sampleBytes;
            const size_t out = (size_t(i) * 2 + ch) * sampleBytes;
            if (sampleBytes == 1) {
                float v = (float(data_[in]) - 128.0f) * gain[ch];
                scratch_[out] = uint8_t(std::clamp(std::lround(v) + 128L, 0L, 255L));
            } else {
                int16_t s;
                std::memcpy(&s, &data_[in], 2);
                long v = std::clamp(std::lround(float(s) * gain[ch]), -32768L, 32767L);
                int16_t o = int16_t(v);
                std::memcpy(&scratch_[out], &o, 2);
            }
        }
    }
    return Upload(scratch_.data(), uint32_t(scratch_.size()), 2, f.bitsPerSample, f.samplesPerSec);
}

Result BasicVoice::GetStatus(uint32_t* status) {
    if (!status) return Result::InvalidParam;
    if (loss_.Lost()) {
        *status = kStatusBufferLost;
        return Result::Ok;
    }
    *status = 0;
    if (OutputPlaying()) *status = kStatusPlaying | (loop_ ? uint32_t(kStatusLooping) : 0u);
    return Result::Ok;
}

Result BasicVoice::Restore() {
    return loss_.Restore(data_, SilenceOf(desc_.format), [this] { return UploadBlock(); });
}

Result BasicVoice::Lock(void** data, uint32_t* bytes) {
    if (!data || !bytes) return Result::InvalidParam;
    if (loss_.Lost()) return Result::BufferLost;
    if (locked_) return Result::InvalidCall;
    locked_ = true;
    *data = data_.data();
    *bytes = uint32_t(data_.size());
    return Result::Ok;
}

Result BasicVoice::Unlock() {
    if (!locked_) return Result::InvalidCall;
    locked_ = false;
    return UploadBlock();
}

Result BasicVoice::Play(bool loop) {
    if (loss_.Lost()) return Result::BufferLost;
    loop_ = loop;
    if (OutputPlaying())
        OutputSetLoop(loop);
    else
        OutputPlay(loop);
    return Result::Ok;
}

Result BasicVoice::Stop() {
    if (!loss_.Lost() && OutputPlaying()) OutputPause();
    return Result::Ok;
}

Result BasicVoice::SetVolume(int32_t hundredthsDb) {
    if (Result r = CheckControl(desc_.flags, kFlagControlVolume, hundredthsDb, kVolumeMin, kVolumeMax);
        r != Result::Ok)
        return r;
    volume_ = hundredthsDb;
    RefreshGain();
    return Result::Ok;
}

Result BasicVoice::GetVolume(int32_t* hundredthsDb) {
    return ReadControl(desc_.flags, kFlagControlVolume, volume_, hundredthsDb);
}

Result BasicVoice::SetPan(int32_t pan) {
    if (Result r = CheckControl(desc_.flags, kFlagControlPan, pan, kPanLeft, kPanRight); r != Result::Ok)
        return r;
    if (pan == pan_) return Result::Ok;
    pan_ = pan;
    if (loss_.Lost()) return Result::Ok; // applied when the data is written again
    return UploadBlock();
}

Result BasicVoice::GetPan(int32_t* pan) {
    return ReadControl(desc_.flags, kFlagControlPan, pan_, pan);
}

Result BasicVoice::GetCurrentPosition(uint32_t* bytes) {
    if (!bytes) return Result::InvalidParam;
    if (loss_.Lost()) return Result::BufferLost;
    *bytes = std::min<uint32_t>(OutputFrame() * desc_.format.blockAlign, desc_.bytes);
    return Result::Ok;
}

void BasicVoice::SimulateLoss(int refusedRestores) {
    OutputRewind();
    loss_.Lose(refusedRestores);
    locked_ = false;
}

void BasicVoice::Apply3D(bool gainChanged) {
    Output3D(current3D_, device_.ListenerState().rolloffFactor);
    if (gainChanged) RefreshGain();
}

Result BasicVoice::SetMode(Mode3D mode, Apply apply) {
    if (Store(apply, mode, pending3D_.mode, current3D_.mode, pendingMask_, kMode)) Apply3D(true);
    return Result::Ok;
}

Result BasicVoice::SetPosition(const math::Vec3& position, Apply apply) {
    if (Store(apply, position, pending3D_.position, current3D_.position, pendingMask_, kPosition)) Apply3D(true);
    return Result::Ok;
}

Result BasicVoice::SetVelocity(const math::Vec3& velocity, Apply apply) {
    if (Store(apply, velocity, pending3D_.velocity, current3D_.velocity, pendingMask_, kVelocity)) Apply3D(false);
    return Result::Ok;
}

Result BasicVoice::SetMinDistance(float distance, Apply apply) {
    if (!(distance > 0.0f)) return Result::InvalidParam;
    if (Store(apply, distance, pending3D_.minDistance, current3D_.minDistance, pendingMask_, kMinDist))
        Apply3D(false);
    return Result::Ok;
}

Result BasicVoice::SetMaxDistance(float distance, Apply apply) {
    if (!(distance > 0.0f)) return Result::InvalidParam;
    // The mute-at-maximum-distance flag makes the distance part of the gain.
    if (Store(apply, distance, pending3D_.maxDistance, current3D_.maxDistance, pendingMask_, kMaxDist))
        Apply3D(true);
    return Result::Ok;
}

void BasicVoice::CommitDeferred(bool rolloffChanged) {
    if (!is3D_) return;
    if (pendingMask_) {
        if (pendingMask_ & kMode) current3D_.mode = pending3D_.mode;
        if (pendingMask_ & kPosition) current3D_.position = pending3D_.position;
        if (pendingMask_ & kVelocity) current3D_.velocity = pending3D_.velocity;
        if (pendingMask_ & kMinDist) current3D_.minDistance = pending3D_.minDistance;
        if (pendingMask_ & kMaxDist) current3D_.maxDistance = pending3D_.maxDistance;
    }
    if (pendingMask_ || rolloffChanged) Output3D(current3D_, device_.ListenerState().rolloffFactor);
    pendingMask_ = 0;
    if (desc_.flags & kFlagMute3DAtMaxDistance) RefreshGain();
}

bool BasicVoice::MutedByDistance() const {
    if (!is3D_ || !(desc_.flags & kFlagMute3DAtMaxDistance)) return false;
    switch (current3D_.mode) {
    case Mode3D::Normal:
        return math::Vec3Distance(current3D_.position, device_.ListenerState().position) > current3D_.maxDistance;
    case Mode3D::HeadRelative:
        return math::Vec3Distance(current3D_.position, math::Vec3()) > current3D_.maxDistance;
    case Mode3D::Disabled:
        return false;
    }
    return false;
}

void BasicVoice::RefreshGain() {
    OutputGain(MutedByDistance() ? 0.0f : VolumeToGain(volume_));
}

// ---- BasicDevice ---------------------------------------------------------------

BasicDevice::BasicDevice() {
    primary_.formatTag = kFormatPcm;
    primary_.channels = 2;
    primary_.samplesPerSec = 44100;
    primary_.bitsPerSample = 16;
    primary_.blockAlign = 4;
    primary_.avgBytesPerSec = 176400;
}

BasicDevice::~BasicDevice() = default;

Result BasicDevice::SetPrimaryFormat(const WaveFormat& format) {
    if (Result r = CheckPrimaryFormat(format); r != Result::Ok) return r;
    if (voiceCount_ > 0) return Result::InvalidCall;
    if (Result r = OutputFormat(format); r != Result::Ok) return r;
    primary_ = format;
    return Result::Ok;
}

void BasicDevice::Link(BasicVoice* voice) {
    voice->prevVoice = nullptr;
    voice->nextVoice = voices_;
    if (voices_) voices_->prevVoice = voice;
    voices_ = voice;
    ++voiceCount_;
}

void BasicDevice::Unlink(BasicVoice* voice) {
    if (voice->prevVoice) voice->prevVoice->nextVoice = voice->nextVoice;
    if (voice->nextVoice) voice->nextVoice->prevVoice = voice->prevVoice;
    if (voices_ == voice) voices_ = voice->nextVoice;
    voice->prevVoice = voice->nextVoice = nullptr;
    --voiceCount_;
}

void BasicDevice::ApplyListener(bool rolloffChanged) {
    OutputListener(listener_);
    for (BasicVoice* v = voices_; v; v = v->nextVoice)
        v->CommitDeferred(rolloffChanged);
}

Result BasicDevice::SetPosition(const math::Vec3& position, Apply apply) {
    if (Store(apply, position, pending_.position, listener_.position, pendingMask_, kPosition)) {
        OutputListener(listener_);
        // Voices muted beyond their maximum distance depend on where the listener is.
        for (BasicVoice* v = voices_; v; v = v->nextVoice)
            v->RefreshGain();
    }
    return Result::Ok;
}

Result BasicDevice::SetOrientation(const math::Vec3& front, const math::Vec3& top, Apply apply) {
    const bool now = Store(apply, front, pending_.front, listener_.front, pendingMask_, kOrientation);
    Store(apply, top, pending_.top, listener_.top, pendingMask_, kOrientation);
    if (now) OutputListener(listener_);
    return Result::Ok;
}

Result BasicDevice::SetVelocity(const math::Vec3& velocity, Apply apply) {
    if (Store(apply, velocity, pending_.velocity, listener_.velocity, pendingMask_, kVelocity))
        OutputListener(listener_);
    return Result::Ok;
}

Result BasicDevice::SetDistanceFactor(float factor, Apply apply) {
    if (!(factor > 0.0f)) return Result::InvalidParam;
    if (Store(apply, factor, pending_.distanceFactor, listener_.distanceFactor, pendingMask_, kDistanceFactor))
        OutputListener(listener_);
    return Result::Ok;
}

Result BasicDevice::SetRolloffFactor(float factor, Apply apply) {
    if (!(factor >= 0.0f && factor <= 10.0f)) return Result::InvalidParam;
    if (Store(apply, factor, pending_.rolloffFactor, listener_.rolloffFactor, pendingMask_, kRolloff))
        ApplyListener(true);
    return Result::Ok;
}

Result BasicDevice::SetDopplerFactor(float factor, Apply apply) {
    if (!(factor >= 0.0f && factor <= 10.0f)) return Result::InvalidParam;
    if (Store(apply, factor, pending_.dopplerFactor, listener_.dopplerFactor, pendingMask_, kDoppler))
        OutputListener(listener_);
    return Result::Ok;
}

Result BasicDevice::CommitDeferredSettings() {
    const uint32_t m = pendingMask_;
    if (m & kPosition) listener_.position = pending_.position;
    if (m & kVelocity) listener_.velocity = pending_.velocity;
    if (m & kOrientation) {
        listener_.front = pending_.front;
        listener_.top = pending_.top;
    }
    if (m & kDistanceFactor) listener_.distanceFactor = pending_.distanceFactor;
    if (m & kRolloff) listener_.rolloffFactor = pending_.rolloffFactor;
    if (m & kDoppler) listener_.dopplerFactor = pending_.dopplerFactor;
    pendingMask_ = 0;
    if (m) OutputListener(listener_);
    for (BasicVoice* v = voices_; v; v = v->nextVoice)
        v->CommitDeferred((m & kRolloff) != 0);
    return Result::Ok;
}

} // namespace core
} // namespace audio
