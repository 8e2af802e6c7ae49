// Shared pieces of the world-file tests: a temporary data directory, an
// emptied object table, expected values at image offsets, and the console's
// newest lines.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Console.h"
#include "platform/os/Os.h"
#include "render/EnvironmentSettings.h"
#include "tests/TestDir.h"
#include "tests/world/WorldReset.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"

namespace wftest {

// A data directory of its own for one test, made the start directory while
// it lives.
class TempDataDir {
  public:
    TempDataDir() {
        m_Dir = FreshTestDir("zt_wfile_");
        m_Previous = os::StartDirectory();
        os::SetStartDirectory(m_Dir.string());
    }
    ~TempDataDir() {
        os::SetStartDirectory(m_Previous);
        std::error_code ec;
        std::filesystem::remove_all(m_Dir, ec);
    }
    const std::filesystem::path& Path() const { return m_Dir; }

    // Writes a file below the directory (forward slashes), bytes as given.
    void Write(const std::string& relative, const std::string& bytes) const {
        std::filesystem::path p = m_Dir / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
    }

  private:
    std::filesystem::path m_Dir;
    std::string m_Previous;
};

// A small text .x box of the given half size centred on the origin.
inline std::string BoxX(float half = 8.0f) {
    std::string h = std::to_string(half);
    std::string m = "-" + h;
    auto v = [&](const std::string& x, const std::string& y, const std::string& z) {
        return x + ";" + y + ";" + z + ";";
    };
    return "xof 0303txt 0032\nMesh Box {\n 8;\n " + v(m, m, m) + ", " + v(h, m, m) + ", " + v(h, h, m) +
           ", " + v(m, h, m) + ", " + v(m, m, h) + ", " + v(h, m, h) + ", " + v(h, h, h) + ", " + v(m, h, h) +
           ";\n 6;\n 4;0,3,2,1;, 4;4,5,6,7;, 4;0,1,5,4;, 4;2,3,7,6;, 4;1,2,6,5;, 4;0,4,7,3;;\n}\n";
}

// A value expected at an offset of a record image.
struct Expect {
    enum Type { U8, U32, I32, F32, Text } type;
    int offset;
    double number = 0;
    const char* text = nullptr;
};
inline Expect U8At(int offset, double v) {
    return {Expect::U8, offset, v};
}
inline Expect U32At(int offset, double v) {
    return {Expect::U32, offset, v};
}
inline Expect I32At(int offset, double v) {
    return {Expect::I32, offset, v};
}
inline Expect F32At(int offset, double v) {
    return {Expect::F32, offset, v};
}
inline Expect TextAt(int offset, const char* t) {
    return {Expect::Text, offset, 0, t};
}

inline void CheckImage(const std::vector<uint8_t>& image, const std::vector<Expect>& expects,
                       const std::string& what) {
    for (const Expect& e : expects) {
        SCOPED_TRACE(what + " at offset " + std::to_string(e.offset));
        const uint8_t* p = image.data() + e.offset;
        switch (e.type) {
        case Expect::U8:
            EXPECT_EQ(*p, static_cast<uint8_t>(e.number));
            break;
        case Expect::U32: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            EXPECT_EQ(v, static_cast<uint32_t>(e.number));
            break;
        }
        case Expect::I32: {
            int32_t v;
            std::memcpy(&v, p, 4);
            EXPECT_EQ(v, static_cast<int32_t>(e.number));
            break;
        }
        case Expect::F32: {
            float v;
            std::memcpy(&v, p, 4);
            EXPECT_FLOAT_EQ(v, static_cast<float>(e.number));
            break;
        }
        case Expect::Text:
            EXPECT_STREQ(reinterpret_cast<const char*>(p), e.text);
            break;
        }
    }
}

template <class Record> std::vector<uint8_t> ImageOf(const Record& r) {
    std::vector<uint8_t> image(Record::IMAGE_SIZE);
    r.WriteImage(image.data());
    return image;
}

// The console's newest line, and the one before it.
inline std::string ConsoleLine(int back = 0) {
    char line[EConsole::LINE_LEN];
    g_Console.CopyLine(EConsole::NUM_LINES - 1 - back, line);
    return line;
}

// Prints a marker so that later checks see only what came after it.
inline void MarkConsole() {
    g_Console.Print("-- test mark --");
}
// True when a line equal to text was printed after the last mark.
inline bool PrintedSinceMark(const std::string& text) {
    for (int back = 0; back < EConsole::NUM_LINES; ++back) {
        std::string line = ConsoleLine(back);
        if (line == "-- test mark --") return false;
        if (line == text) return true;
    }
    return false;
}

// What was printed after the last mark (all the console holds when the mark
// has scrolled away), joined: the console wraps long lines.
inline std::string TextSinceMark() {
    std::string printed;
    for (int back = 0; back < EConsole::NUM_LINES; ++back) {
        const std::string line = ConsoleLine(back);
        if (line == "-- test mark --") break;
        printed = line + printed;
    }
    return printed;
}

} // namespace wftest
