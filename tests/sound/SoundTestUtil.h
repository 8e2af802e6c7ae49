// Shared pieces of the sound tests: RIFF/WAVE files built chunk by chunk, a
// temporary data directory per test, and the console log of the test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/os/Os.h"
#include "tests/TestDir.h"

namespace soundtest {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
    Put16(b, uint16_t(v));
    Put16(b, uint16_t(v >> 16));
}

// One chunk: id, stated size (the real body size unless given), body, and the
// pad byte after an odd body.
inline Bytes Chunk(const char* id, const Bytes& body, int64_t statedSize = -1, bool pad = true) {
    Bytes b(id, id + 4);
    Put32(b, statedSize < 0 ? uint32_t(body.size()) : uint32_t(statedSize));
    b.insert(b.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) b.push_back(0);
    return b;
}

inline Bytes FmtBody(uint16_t channels, uint16_t bits, uint32_t rate, uint16_t tag = 1) {
    Bytes b;
    const uint16_t align = uint16_t(channels * bits / 8);
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * align);
    Put16(b, align);
    Put16(b, bits);
    return b;
}

inline Bytes Riff(const std::vector<Bytes>& chunks) {
    Bytes body{'W', 'A', 'V', 'E'};
    for (const Bytes& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    Bytes b{'R', 'I', 'F', 'F'};
    Put32(b, uint32_t(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// 16-bit samples of a sine, all channels alike.
inline Bytes Sine16(int channels, uint32_t frames, int16_t amplitude, double hz = 441.0,
                    uint32_t rate = 44100) {
    Bytes b;
    for (uint32_t i = 0; i < frames; ++i) {
        const auto s = int16_t(amplitude * std::sin(2 * M_PI * hz * i / rate));
        for (int c = 0; c < channels; ++c)
            Put16(b, uint16_t(s));
    }
    return b;
}

// A plain 16-bit PCM wave.
inline Bytes Wave16(int channels, uint32_t frames, int16_t amplitude = 8000, uint32_t rate = 44100) {
    return Riff({Chunk("fmt ", FmtBody(uint16_t(channels), 16, rate)),
                 Chunk("data", Sine16(channels, frames, amplitude, 441.0, rate))});
}

inline void WriteFile(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A fresh data directory as the start directory for the test's life.
class TempDataDir : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = os::StartDirectory();
        root_ = FreshTestDir("zt_sound_");
        os::SetStartDirectory(root_.string());
    }
    void TearDown() override {
        os::SetStartDirectory(saved_);
        fs::remove_all(root_);
    }
    // The console lines written since the last call.
    std::string TakeLog() {
        const fs::path log = root_ / "!console.txt";
        std::ifstream in(log, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        fs::remove(log);
        return text;
    }
    static bool Has(const std::string& log, const std::string& line) {
        return log.find(line + "\n") != std::string::npos;
    }
    std::string saved_;
    fs::path root_;
};

} // namespace soundtest
