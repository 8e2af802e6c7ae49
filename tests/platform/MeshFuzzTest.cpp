// Seeded mutations of the demo meshes and a skinned quad in each form (text,
// binary, compressed text and binary) and of a cache file go through the .x
// reader and the first-load pipeline under the sanitizers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/fuzz/MeshInput.h"

namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> CacheSeed() {
    mesh::XFile x;
    mesh::MeshData d;
    std::string error;
    const std::string path = std::string(ZT_SOURCE_DIR) + "/data/models/crate.x";
    EXPECT_TRUE(mesh::ReadXFile(path, &x, &error) && mesh::BuildMeshData(x, path, &d, &error)) << error;
    const std::string bytes = mesh::XFileBinaryBytes(mesh::ToXMesh(d), {1, 1234, 5678});
    return {bytes.begin(), bytes.end()};
}

TEST(MeshFuzz, SeededMutationsFinishCleanly) {
    const std::filesystem::path data = std::filesystem::path(ZT_SOURCE_DIR) / "data";
    std::vector<std::vector<uint8_t>> seeds;
    for (const char* seed :
         {"models/box.x", "models/crate.x", "models/plane.x", "prefabs/props/marker_nocenter.x"}) {
        seeds.push_back(ReadAll(data / seed));
        ASSERT_FALSE(seeds.back().empty()) << seed;
        meshfuzz::Feed(seeds.back().data(), seeds.back().size());
    }
    // A skinned quad in each form.
    const std::filesystem::path corpus = std::filesystem::path(ZT_SOURCE_DIR) / "tests/fuzz/corpus/xfile";
    for (const char* seed : {"skin.x", "skin_binary.x", "skin_tzip.x", "skin_bzip.x"}) {
        seeds.push_back(ReadAll(corpus / seed));
        ASSERT_FALSE(seeds.back().empty()) << seed;
        meshfuzz::Feed(seeds.back().data(), seeds.back().size());
    }
    seeds.push_back(CacheSeed());
    uint32_t state = 4242;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    for (const std::vector<uint8_t>& original : seeds) {
        for (int i = 0; i < 500; ++i) {
            std::vector<uint8_t> m = original;
            const uint32_t edits = 1 + next() % 6;
            for (uint32_t e = 0; e < edits && !m.empty(); ++e) {
                switch (next() % 4) {
                case 0: // flip a byte, often near the header
                    m[next() % std::min<size_t>(m.size(), (next() & 1) ? 64 : m.size())] ^=
                        uint8_t(1 + next() % 255);
                    break;
                case 1: // cut the tail
                    m.resize(16 + next() % std::max<size_t>(1, m.size() - 16));
                    break;
                case 2: { // a huge count or size somewhere
                    const size_t at = next() % m.size();
                    const uint32_t v = (next() & 1) ? 0xFFFFFFFFu : 0x7FFFFFFFu;
                    for (size_t k = 0; k < 4 && at + k < m.size(); ++k)
                        m[at + k] = uint8_t(v >> (8 * k));
                    break;
                }
                default: // a run of one byte
                    m.insert(m.begin() + long(next() % m.size()), size_t(next() % 300), uint8_t(next()));
                    break;
                }
            }
            meshfuzz::Feed(m.data(), m.size());
        }
    }
}

} // namespace
