// libFuzzer target: any bytes as a wave file, read by the sound cache's
// reader and handed to a silent audio device as the sound manager does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/audio/Backends.h"
#include "sound/SoundWave.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::PrepareDataDirectory({"sounds"});
    static std::unique_ptr<audio::Device> device = audio::silent::OpenDevice();
    fuzz::WriteInput("sounds/fuzz.wav", data, size);
    CSoundWave wave;
    if (!wave.LoadWaveFromFile("sounds\\fuzz.wav")) return 0;
    audio::VoiceDesc desc;
    desc.bytes = wave.m_dwSize;
    desc.format = wave.m_Format;
    std::unique_ptr<audio::Voice> voice;
    if (device->CreateVoice(desc, &voice) != audio::Result::Ok) return 0;
    void* bytes = nullptr;
    uint32_t n = 0;
    if (voice->Lock(&bytes, &n) == audio::Result::Ok) {
        std::memcpy(bytes, wave.m_pReadedWaveData, std::min(n, wave.m_dwSize));
        voice->Unlock();
    }
    return 0;
}
