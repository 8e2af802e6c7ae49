// What the back-ends share: checking voice descriptions and arguments, the
// data block and its lock, pan applied to 2D data, lost-voice handling, and
// deferred 3D and listener settings. A back-end supplies only the output side
// through the hooks below.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/audio/Audio.h"

namespace audio::core {

// Checks a voice description the way every back-end must refuse it.
Result CheckVoiceDesc(const VoiceDesc& desc);
// Checks a primary (output) format.
Result CheckPrimaryFormat(const WaveFormat& format);
// Checks a stream description: PCM, flat, volume control only, whole frames per part.
Result CheckStreamDesc(const StreamDesc& desc);

struct Params3D {
    Mode3D mode = Mode3D::Normal;
    math::Vec3 position;
    math::Vec3 velocity;
    float minDistance = 1.0f;
    float maxDistance = 1.0e9f;
};

struct ListenerParams {
    math::Vec3 position;
    math::Vec3 velocity;
    math::Vec3 front{0, 0, 1};
    math::Vec3 top{0, 1, 0};
    float distanceFactor = 1.0f;
    float rolloffFactor = 1.0f;
    float dopplerFactor = 1.0f;
};

class BasicDevice;

// The loss of a buffer's data that a device can inflict (SimulateLoss): the
// buffer stays lost until a restore is let through, and the first
// `refusedRestores` attempts fail.
class BufferLoss {
  public:
    bool Lost() const { return lost_; }
    void Lose(int refusedRestores) {
        lost_ = true;
        refused_ = std::max(0, refusedRestores);
    }
    // Ok with nothing to do when not lost, BufferLost while restores are
    // refused; else the data becomes `silence` again and reload() hands it to
    // the output and gives the result.
    template <class Reload> Result Restore(std::vector<uint8_t>& data, uint8_t silence, Reload reload) {
        if (!lost_) return Result::Ok;
        if (refused_ > 0) {
            --refused_;
            return Result::BufferLost;
        }
        lost_ = false;
        std::fill(data.begin(), data.end(), silence);
        return reload();
    }

  private:
    bool lost_ = false;
    int refused_ = 0;
};

class BasicVoice : public Voice, public Voice3D {
  public:
    BasicVoice(BasicDevice& device, const VoiceDesc& desc);
    ~BasicVoice() override;

    // Voice
    const VoiceDesc& Desc() const override { return desc_; }
    Result GetStatus(uint32_t* status) override;
    Result Restore() override;
    Result Lock(void** data, uint32_t* bytes) override;
    Result Unlock() override;
    Result Play(bool loop) override;
    Result Stop() override;
    Result SetVolume(int32_t hundredthsDb) override;
    Result GetVolume(int32_t* hundredthsDb) override;
    Result SetPan(int32_t pan) override;
    Result GetPan(int32_t* pan) override;
    Result GetCurrentPosition(uint32_t* bytes) override;
    Voice3D* Get3D() override { return is3D_ ? this : nullptr; }
    void SimulateLoss(int refusedRestores) override;

    // Voice3D
    Result SetMode(Mode3D mode, Apply apply) override;
    Result SetPosition(const math::Vec3& position, Apply apply) override;
    Result SetVelocity(const math::Vec3& velocity, Apply apply) override;
    Result SetMinDistance(float distance, Apply apply) override;
    Result SetMaxDistance(float distance, Apply apply) override;
    math::Vec3 Position() const override { return current3D_.position; }
    float MinDistance() const override { return current3D_.minDistance; }
    float MaxDistance() const override { return current3D_.maxDistance; }

    // Called by the device.
    // Applies the deferred 3D settings (and the listener's rolloff when it changed).
    void CommitDeferred(bool rolloffChanged);
    void RefreshGain();
    bool Is3D() const { return is3D_; }
    BasicVoice* nextVoice = nullptr;
    BasicVoice* prevVoice = nullptr;

  protected:
    // Second half of construction, called by the back-end's constructor once
    // its output exists: uploads the silent block and applies the settings.
    Result Prepare();

    // The output side. Data handed to Upload is mono for 3D voices and stereo
    // (pan applied) for 2D voices, with the voice's sample width and rate.
    virtual Result Upload(const void* data, uint32_t bytes, int channels, int bits, uint32_t rate) = 0;
    virtual bool OutputPlaying() = 0;
    virtual void OutputPlay(bool loop) = 0; // from the current position
    virtual void OutputSetLoop(bool loop) = 0;
    virtual void OutputPause() = 0;
    virtual void OutputRewind() = 0; // stopped at frame 0
    virtual uint32_t OutputFrame() = 0;
    virtual void OutputGain(float gain) = 0;
    virtual void Output3D(const Params3D& params, float rolloff) = 0;

    BasicDevice& device_;
    VoiceDesc desc_;

  private:
    Result UploadBlock();
    bool MutedByDistance() const;
    // Passes the current 3D settings to the output, and the gain when it may have changed.
    void Apply3D(bool gainChanged);

    std::vector<uint8_t> data_;
    std::vector<uint8_t> scratch_; // the block as uploaded (2D: stereo with pan)
    bool is3D_ = false;
    bool locked_ = false;
    BufferLoss loss_;
    bool loop_ = false;
    int32_t volume_ = 0;
    int32_t pan_ = 0;
    Params3D current3D_;
    Params3D pending3D_;
    uint32_t pendingMask_ = 0;
};

// What every stream shares: the ring's data and its lock, lost-stream
// handling, the playing flag and the volume. A back-end supplies the output
// side of the ring through the hooks below.
class BasicStream : public Stream {
  public:
    explicit BasicStream(const StreamDesc& desc);

    const StreamDesc& Desc() const override { return desc_; }
    Result GetStatus(uint32_t* status) override;
    Result Restore() override;
    Result Lock(uint32_t offset, uint32_t bytes, void** data) override;
    Result Unlock() override;
    Result Play() override;
    Result Stop() override;
    Result SetCurrentPosition(uint32_t bytes) override;
    Result GetCurrentPosition(uint32_t* bytes) override;
    Result SetVolume(int32_t hundredthsDb) override;
    Result GetVolume(int32_t* hundredthsDb) override;
    void SimulateLoss(int refusedRestores) override;

  protected:
    // Second half of construction, once the output exists: the silent ring
    // at position 0, and the gain.
    Result Prepare();

    uint32_t PartBytes() const { return desc_.bytes / desc_.parts; }
    uint32_t PartFrames() const { return PartBytes() / desc_.format.blockAlign; }
    const uint8_t* PartData(uint32_t part) const { return data_.data() + size_t(part) * PartBytes(); }
    // Play was called and Stop has not been since.
    bool Playing() const { return playing_; }

    // The output side. Parts first..last (ring indices) hold new data.
    virtual Result OutputWrite(uint32_t first, uint32_t last) = 0;
    virtual void OutputPlay() = 0; // from the current position
    virtual void OutputPause() = 0;
    // Moves the position to a frame of a part; keeps playing when Playing().
    virtual void OutputSeek(uint32_t part, uint32_t frame) = 0;
    // The play position in frames of the ring.
    virtual uint32_t OutputFrame() = 0;
    virtual void OutputGain(float gain) = 0;

    StreamDesc desc_;

  private:
    std::vector<uint8_t> data_;
    uint32_t lockOffset_ = 0;
    uint32_t lockBytes_ = 0;
    bool locked_ = false;
    BufferLoss loss_;
    bool playing_ = false;
    int32_t volume_ = 0;
};

class BasicDevice : public Device, public Listener {
  public:
    BasicDevice();
    ~BasicDevice() override;

    // Device
    Result SetPrimaryFormat(const WaveFormat& format) override;
    Listener* GetListener() override { return this; }

    // Listener
    Result SetPosition(const math::Vec3& position, Apply apply) override;
    Result SetOrientation(const math::Vec3& front, const math::Vec3& top, Apply apply) override;
    Result SetVelocity(const math::Vec3& velocity, Apply apply) override;
    Result SetDistanceFactor(float factor, Apply apply) override;
    Result SetRolloffFactor(float factor, Apply apply) override;
    Result SetDopplerFactor(float factor, Apply apply) override;
    Result CommitDeferredSettings() override;
    math::Vec3 Position() const override { return listener_.position; }

    const ListenerParams& ListenerState() const { return listener_; }
    const WaveFormat& PrimaryFormat() const { return primary_; }
    void Link(BasicVoice* voice);
    void Unlink(BasicVoice* voice);
    int VoiceCount() const { return voiceCount_; }

  protected:
    // Applies the listener to the output.
    virtual void OutputListener(const ListenerParams& params) = 0;
    // Changes the output format; only called while no voice exists.
    virtual Result OutputFormat(const WaveFormat& format) = 0;

  private:
    void ApplyListener(bool rolloffChanged);

    WaveFormat primary_;
    ListenerParams listener_;
    ListenerParams pending_;
    uint32_t pendingMask_ = 0;
    BasicVoice* voices_ = nullptr;
    int voiceCount_ = 0;
};

} // namespace audio::core
