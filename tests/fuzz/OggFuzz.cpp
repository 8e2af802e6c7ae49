// libFuzzer target: any bytes as an Ogg Vorbis music file, opened as the
// music manager opens it and played through a silent audio device for a few
// refills (each decodes one half of the stream).
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/audio/Backends.h"
#include "sound/MusicStream.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {
constexpr int kRefills = 6;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::PrepareDataDirectory({"music"});
    static std::unique_ptr<audio::Device> device = audio::silent::OpenDevice();
    fuzz::WriteInput("music/fuzz.ogg", data, size);
    MusicStream* stream = rCreateMusicStream("music\\fuzz.ogg", device.get());
    if (!stream) return 0;
    rAddOggStreamToMusicStream(stream, "music\\fuzz.ogg");
    rPlayMusicStream(stream, true);
    for (int i = 0; i < kRefills; ++i) {
        stream->dwPreviousHalf = uint32_t(i & 1);
        stream->dwCurrentHalf = uint32_t(~i & 1);
        rRefillMusicStream(stream);
    }
    rDeleteMusicStream(&stream);
    return 0;
}
