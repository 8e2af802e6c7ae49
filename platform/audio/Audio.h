// Sound output of the platform layer: one output device with one listener and
// any number of voices. A voice holds a block of PCM data, written through
// Lock/Unlock, and plays it either flat (volume and pan, "2D") or placed in the
// world (a mono voice with a 3D side: position, velocity, distances). A stream
// plays a ring of parts that its owner keeps writing (music).
//
// Conventions kept above the layer:
// - volume in hundredths of a decibel, 0 (full) down to -10000 (silent); the
//   gain is 10^(mB/2000) and -10000 is exact silence;
// - pan in hundredths of a decibel from -10000 (right channel silent) to 10000
//   (left channel silent): the other channel is attenuated, never boosted;
// - positions and directions in the engine's left-handed axes (the layer flips
//   z for the right-handed output);
// - Stop pauses: the play position stays and the next Play resumes there; a
//   voice that plays to its end without looping stops and rewinds to 0;
// - 3D settings and listener settings may be deferred and take effect together
//   at Listener::CommitDeferredSettings.
//
// Back-ends: OpenAL Soft (al/) and a silent one (null/) used when no output
// device can be opened. The silent back-end validates and keeps data exactly as
// the OpenAL one does and keeps time, so voices and streams "play" for their
// real length.
//
// Threads: the device and its voices are used from one thread at a time; the
// caller serialises (the sound manager's lock).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/math/Types.h"

namespace audio {

enum class Result {
    Ok,
    Allocated, // no voice could be had from the device
    BadFormat, // a wave format the device cannot play
    BufferTooSmall,
    ControlUnavailable, // the voice was not created with that control
    InvalidCall,
    InvalidParam,
    OutOfMemory,
    Uninitialized,
    Unsupported,
    BufferLost, // the voice lost its data; Restore, then fill it again
    NoDriver,   // no output device
    NoObject,   // a call on something that does not exist
};

// Uncompressed PCM, the layout of a RIFF "fmt " chunk.
struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;
};
constexpr uint16_t kFormatPcm = 1;

// Voice creation flags.
enum : uint32_t {
    kFlagPrimary = 0x1, // the device's own output; never a voice
    kFlagControl3D = 0x10,
    kFlagControlFrequency = 0x20,
    kFlagControlPan = 0x40,
    kFlagControlVolume = 0x80,
    kFlagMute3DAtMaxDistance = 0x20000, // silent beyond the maximum distance
};

struct VoiceDesc {
    uint32_t flags = 0;
    uint32_t bytes = 0; // size of the data block
    WaveFormat format;
};

// Voice status bits.
enum : uint32_t {
    kStatusPlaying = 0x1,
    kStatusBufferLost = 0x2,
    kStatusLooping = 0x4,
};

constexpr int32_t kVolumeMin = -10000;
constexpr int32_t kVolumeMax = 0;
constexpr int32_t kPanLeft = -10000;
constexpr int32_t kPanRight = 10000;

// Gain factor of a volume in hundredths of a decibel: 10^(mB/2000), 0 at -10000.
float VolumeToGain(int32_t hundredthsDb);
// Gains of the left and right channel for a pan value.
void PanToGains(int32_t pan, float* left, float* right);

enum class Apply { Immediate, Deferred };

enum class Mode3D {
    Normal,       // placed in the world
    HeadRelative, // placed relative to the listener
    Disabled,     // no 3D processing: played at the listener
};

// The 3D side of a voice created with kFlagControl3D.
class Voice3D {
  public:
    virtual ~Voice3D() = default;
    virtual Result SetMode(Mode3D mode, Apply apply) = 0;
    virtual Result SetPosition(const math::Vec3& position, Apply apply) = 0;
    virtual Result SetVelocity(const math::Vec3& velocity, Apply apply) = 0;
    virtual Result SetMinDistance(float distance, Apply apply) = 0;
    virtual Result SetMaxDistance(float distance, Apply apply) = 0;
    // The values in effect (deferred ones only after the commit).
    virtual math::Vec3 Position() const = 0;
    virtual float MinDistance() const = 0;
    virtual float MaxDistance() const = 0;
};

class Voice {
  public:
    virtual ~Voice() = default;
    virtual const VoiceDesc& Desc() const = 0;
    virtual Result GetStatus(uint32_t* status) = 0;
    // Brings a lost voice back; its data must be written again.
    virtual Result Restore() = 0;
    // The whole data block for writing; Unlock hands it to the output.
    virtual Result Lock(void** data, uint32_t* bytes) = 0;
    virtual Result Unlock() = 0;
    // Plays from the current position; on a playing voice only the loop flag changes.
    virtual Result Play(bool loop) = 0;
    virtual Result Stop() = 0;
    virtual Result SetVolume(int32_t hundredthsDb) = 0;
    virtual Result GetVolume(int32_t* hundredthsDb) = 0;
    virtual Result SetPan(int32_t pan) = 0;
    virtual Result GetPan(int32_t* pan) = 0;
    // Play position in bytes of the data block.
    virtual Result GetCurrentPosition(uint32_t* bytes) = 0;
    // The 3D side, null for a voice without kFlagControl3D.
    virtual Voice3D* Get3D() = 0;
    // Test seam: the voice loses its data as on a device takeover; the next
    // refusedRestores calls of Restore answer BufferLost.
    virtual void SimulateLoss(int refusedRestores) = 0;
};

// A streaming voice: a looping ring of equal parts (the data block split in
// `parts`) that plays part after part. The caller writes each part again once
// the play position has left it; a part that is not written again in time is
// played again as it is, so the ring always goes on. Flat (no 3D side, no
// pan), played at the listener with its channels as written.
struct StreamDesc {
    uint32_t flags = 0; // kFlagControlVolume only
    uint32_t bytes = 0; // the whole ring
    uint32_t parts = 2; // bytes / parts must be whole frames
    WaveFormat format;
};

class Stream {
  public:
    virtual ~Stream() = default;
    virtual const StreamDesc& Desc() const = 0;
    // kStatusPlaying | kStatusLooping while playing, kStatusBufferLost when lost.
    virtual Result GetStatus(uint32_t* status) = 0;
    // Brings a lost stream back, silent; its data must be written again.
    virtual Result Restore() = 0;
    // A range of the ring for writing (no wrap-around); Unlock hands the parts
    // it touched to the output.
    virtual Result Lock(uint32_t offset, uint32_t bytes, void** data) = 0;
    virtual Result Unlock() = 0;
    // Plays the ring from the current position, looping until Stop.
    virtual Result Play() = 0;
    // Pauses; the position stays.
    virtual Result Stop() = 0;
    // Play position in bytes of the ring.
    virtual Result SetCurrentPosition(uint32_t bytes) = 0;
    virtual Result GetCurrentPosition(uint32_t* bytes) = 0;
    virtual Result SetVolume(int32_t hundredthsDb) = 0;
    virtual Result GetVolume(int32_t* hundredthsDb) = 0;
    // Test seam: the stream loses its data; the next refusedRestores calls of
    // Restore answer BufferLost.
    virtual void SimulateLoss(int refusedRestores) = 0;
};

class Listener {
  public:
    virtual ~Listener() = default;
    virtual Result SetPosition(const math::Vec3& position, Apply apply) = 0;
    virtual Result SetOrientation(const math::Vec3& front, const math::Vec3& top, Apply apply) = 0;
    virtual Result SetVelocity(const math::Vec3& velocity, Apply apply) = 0;
    // World units per metre (Doppler only).
    virtual Result SetDistanceFactor(float factor, Apply apply) = 0;
    // Scales the distance attenuation of every 3D voice between its minimum
    // and maximum distance (inverse-distance law, clamped).
    virtual Result SetRolloffFactor(float factor, Apply apply) = 0;
    virtual Result SetDopplerFactor(float factor, Apply apply) = 0;
    // Applies every deferred listener and 3D voice setting at once.
    virtual Result CommitDeferredSettings() = 0;
    virtual math::Vec3 Position() const = 0;
};

enum class Backend {
    Auto,   // OpenAL Soft, or the silent back-end when no output device opens
    OpenAl, // OpenAL Soft only (NoDriver when no output device opens)
    Silent, // the silent back-end
    None,   // no device at all (NoDriver): for running without sound
    // OpenAL Soft mixing only when RenderLoopback asks for output (16-bit
    // stereo): tests hear the output on a clock of their own.
    OpenAlLoopback,
};

class Device {
  public:
    virtual ~Device() = default;
    // The format of the mixed output (channels, rate, bits); only before any voice exists.
    virtual Result SetPrimaryFormat(const WaveFormat& format) = 0;
    virtual Listener* GetListener() = 0;
    virtual Result CreateVoice(const VoiceDesc& desc, std::unique_ptr<Voice>* voice) = 0;
    virtual Result CreateStream(const StreamDesc& desc, std::unique_ptr<Stream>* stream) = 0;
    // True for the silent back-end.
    virtual bool IsSilent() const = 0;
    virtual const char* Name() const = 0;
};

Result OpenDevice(Backend backend, std::unique_ptr<Device>* device);

// Mixes the next `frames` frames of the open OpenAlLoopback device into `out`
// (16-bit stereo at the device's rate); NoDriver when none is open.
Result RenderLoopback(int16_t* out, uint32_t frames);

} // namespace audio
