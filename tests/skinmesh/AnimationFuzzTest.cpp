// Seeded mutations of the test character's animation files go through the
// .bin reader and the sampler under the sanitizers, and leave no tracked
// record behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/Debug.h"
#include "tests/fuzz/AnimationInput.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

TEST(AnimationFuzz, SeededMutationsFinishCleanly) {
    const bool saved = g_bTrackAllocations;
    g_bTrackAllocations = true;
    g_Debug.ClearAllocations();
    g_LinkFieldList.Clear();
    const std::string dir = std::string(ZT_SOURCE_DIR) + "/data/models/manekin/animations/";
    uint32_t state = 5151;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    for (const char* seed : {"glowa_gada.bin", "celuje.bin", "umiera.bin"}) {
        const std::vector<uint8_t> original = ReadAll(dir + seed);
        ASSERT_GT(original.size(), 28u) << seed;
        animfuzz::Feed(original.data(), original.size());
        for (int i = 0; i < 300; ++i) {
            std::vector<uint8_t> m = original;
            const uint32_t edits = 1 + next() % 4;
            for (uint32_t e = 0; e < edits && !m.empty(); ++e) {
                switch (next() % 4) {
                case 0: // flip a byte, often in the header or the first record's counts
                    m[next() % std::min<size_t>(m.size(), (next() & 1) ? 200 : m.size())] ^=
                        uint8_t(1 + next() % 255);
                    break;
                case 1: // cut the tail
                    m.resize(next() % m.size());
                    break;
                case 2: { // a huge count, a NaN or an infinity somewhere
                    const size_t at = next() % m.size();
                    const uint32_t values[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x7FC00000u, 0x7F800000u,
                                               0xFF800000u};
                    const uint32_t v = values[next() % 5];
                    for (size_t k = 0; k < 4 && at + k < m.size(); ++k)
                        m[at + k] = uint8_t(v >> (8 * k));
                    break;
                }
                default: // key times out of order: swap two words
                    if (m.size() > 8) {
                        const size_t a = next() % (m.size() - 4), b = next() % (m.size() - 4);
                        for (size_t k = 0; k < 4; ++k)
                            std::swap(m[a + k], m[b + k]);
                    }
                    break;
                }
            }
            animfuzz::Feed(m.data(), m.size());
        }
    }
    for (const char* tag : {"tNodeAnim", "p_fTimeTranslation", "p_fTimeRotation", "p_fTimeScale",
                            "vTranslation", "qRotation", "vScale", "strLinkField"})
        EXPECT_EQ(g_Debug.GetAllocationCount(tag), 0u) << tag;
    g_bTrackAllocations = saved;
}

} // namespace
