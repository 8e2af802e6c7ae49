// Sound and radio files that declare or hold more than a reader may take:
// each is refused (or cut) before the memory is taken, with a line naming
// the file. The large files are sparse: they take no disk space.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "platform/audio/Backends.h"
#include "sound/MusicStream.h"
#include "sound/RadioMgr.h"
#include "sound/SoundWave.h"
#include "tests/sound/SoundTestUtil.h"

using namespace soundtest;

namespace {

// Writes the bytes, then extends the file with zeros to `size` bytes.
void WriteSparse(const fs::path& path, const Bytes& head, uintmax_t size) {
    WriteFile(path, head);
    fs::resize_file(path, size);
}

struct HostileSoundFile {
    const char* name;
    std::function<void(const fs::path& root)> write;
    std::function<bool()> read; // true when the reader took the file
    const char* log;            // the line expected in the log
};

std::ostream& operator<<(std::ostream& os, const HostileSoundFile& c) {
    return os << c.name;
}

int RadioCount() {
    int n = 0;
    for (const RadioDefinition* r = g_RadioMgr.FirstRadio(); r; r = r->pNext)
        ++n;
    return n;
}

const HostileSoundFile kCases[] = {
    {"WaveDataBeyondTheLimit",
     [](const fs::path& root) {
         const uint32_t bytes = CSoundWave::MAX_DATA_BYTES + 1;
         const Bytes head = Riff({Chunk("fmt ", FmtBody(1, 16, 22050)), Chunk("data", {}, bytes)});
         WriteSparse(root / "sounds" / "huge.wav", head, head.size() + bytes);
     },
     [] {
         CSoundWave wave;
         return wave.LoadWaveFromFile("sounds\\huge.wav");
     },
     "sounds\\huge.wav: \"data\" chunk of 268435456 bytes, more than the 268435455 a sound can hold"},
    {"OggFileBeyondTheLimit",
     [](const fs::path& root) {
         WriteSparse(root / "music" / "huge.ogg", Bytes{'O', 'g', 'g', 'S'},
                     uintmax_t(MusicStream::MAX_FILE_BYTES) + 1);
     },
     [] {
         std::unique_ptr<audio::Device> device = audio::silent::OpenDevice();
         MusicStream* s = rCreateMusicStream("music\\huge.ogg", device.get());
         const bool made = s != nullptr;
         rDeleteMusicStream(&s);
         return made;
     },
     "ERROR in rAddOggStreamToMusicStream(): Ogg file larger than 64 MB!\nmusic\\huge.ogg"},
    {"MoreRadiosThanAFileMayHold",
     [](const fs::path& root) {
         std::string text;
         for (uint32_t i = 0; i <= RadioMgr::MAX_FILE_RADIOS; ++i)
             text += "radio r" + std::to_string(i) + "\ntrack sounds\\a.wav\n";
         WriteFile(root / "scripts" / "radio" / "many.txt", Bytes(text.begin(), text.end()));
     },
     [] {
         g_RadioMgr.LoadRadioFile("scripts\\radio\\many.txt");
         const bool all = RadioCount() > int(RadioMgr::MAX_FILE_RADIOS);
         g_RadioMgr.Clear();
         return all;
     },
     "scripts\\radio\\many.txt: more than 1024 radios, the rest of the file is ignored"},
};

} // namespace

class HostileSoundFiles : public TempDataDir, public ::testing::WithParamInterface<HostileSoundFile> {};

TEST_P(HostileSoundFiles, AreRefusedWithTheFileNamed) {
    const HostileSoundFile& c = GetParam();
    c.write(root_);
    TakeLog();
    EXPECT_FALSE(c.read());
    EXPECT_NE(TakeLog().find(c.log), std::string::npos) << "expected: " << c.log;
}

INSTANTIATE_TEST_SUITE_P(Sound, HostileSoundFiles, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<HostileSoundFile>& info) {
                             return std::string(info.param.name);
                         });
