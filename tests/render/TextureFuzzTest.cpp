// A few thousand seeded mutations of the demo DDS and TGA files and of the
// texture scripts go through the texture readers under the sanitizers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/FileHelpers.h"
#include "tests/TestDir.h"
#include "tests/fuzz/TextureInput.h"

namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

TEST(TextureFuzz, SeededMutationsFinishCleanly) {
    const std::filesystem::path data = std::filesystem::path(ZT_SOURCE_DIR) / "data";
    const std::filesystem::path dir = FreshTestDir("zt_texture_fuzz_");
    std::filesystem::create_directories(dir / "scripts");
    const std::string saved = os::StartDirectory();
    os::SetStartDirectory(dir.string());
    const char* seeds[] = {"textures/metal_dxt1.dds", "textures/rust_dxt5.dds", "textures/paint.dds",
                           "textures/sky_cube.dds",   "textures/grate.tga",     "scripts/textures.txt",
                           "scripts/texture_substitutes.txt"};
    uint32_t state = 12345;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    int runs = 0;
    for (const char* seed : seeds) {
        const std::vector<uint8_t> original = ReadAll(data / seed);
        ASSERT_FALSE(original.empty()) << seed;
        for (int i = 0; i < 400; ++i, ++runs) {
            std::vector<uint8_t> m = original;
            const uint32_t edits = 1 + next() % 8;
            for (uint32_t e = 0; e < edits && !m.empty(); ++e) {
                switch (next() % 4) {
                case 0: // flip a byte, mostly in the header
                    m[next() % std::min<size_t>(m.size(), (next() & 1) ? 160 : m.size())] ^= uint8_t(1 + next() % 255);
                    break;
                case 1: // cut the tail
                    m.resize(next() % m.size());
                    break;
                case 2: // a huge or negative number in a header field
                    if (m.size() >= 32) {
                        const size_t at = 4 * (next() % 8);
                        const uint32_t v = (next() & 1) ? 0xFFFFFFFFu : 0x7FFFFFFFu;
                        for (int k = 0; k < 4; ++k)
                            m[at + k] = uint8_t(v >> (8 * k));
                    }
                    break;
                default: // a long run of one byte (long lines, no line ends)
                    m.insert(m.begin() + long(next() % m.size()), size_t(next() % 700), uint8_t(next()));
                    break;
                }
            }
            texfuzz::Feed(m.data(), m.size());
        }
    }
    EXPECT_EQ(runs, 2800);
    os::SetStartDirectory(saved);
    std::filesystem::remove_all(dir);
}

} // namespace
