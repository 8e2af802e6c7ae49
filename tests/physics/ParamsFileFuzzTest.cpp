// A few thousand seeded mutations of computed and hand-written inertia-tensor
// files go through the file reader under the sanitizers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/fuzz/ParamsFileInput.h"
#include "tests/world/WorldFixture.h"

namespace {

class ParamsFileFuzz : public WorldTest {};

TEST_F(ParamsFileFuzz, SeededMutationsFinishCleanly) {
    namespace fs = std::filesystem;
    fs::create_directories(dir_ / "prefabs" / "special");
    fs::copy_file(fs::path(ZT_SOURCE_DIR) / "data" / "prefabs" / "special" / "rigidbody_box.x",
                  dir_ / "prefabs" / "special" / "rigidbody_box.x");
    auto mgr = std::make_unique<ERigidBodyParametersMgr>();
    ASSERT_TRUE(mgr->FindParameters("prefabs\\special\\rigidbody_box.x", nullptr));
    std::ifstream computed(dir_ / "!opt" / "rigid_body_physics_parameters" /
                               "prefabs_special_rigidbody_box.txt",
                           std::ios::binary);
    const std::string seeds[] = {
        std::string(std::istreambuf_iterator<char>(computed), std::istreambuf_iterator<char>()),
        "num_old_vertices 4\nnum_new_vertices 2\nmap_new_vertices_to_old 1 3\nmap_old_vertices_to_new 3 1\n"
        "ibody_row 1 0.5 0.25 0.125\nmesh_filename models\\a.x\n",
    };
    const std::string hostile[] = {" 99999999999",
                                   " -1",
                                   " 65536",
                                   " 65537",
                                   " nan",
                                   " 1e308",
                                   "\r",
                                   "\t",
                                   "\n",
                                   " num_old_vertices",
                                   "\nnum_new_vertices 65536\n",
                                   std::string(600, '9')};
    uint32_t state = 4242;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    int runs = 0;
    for (const std::string& seed : seeds) {
        ASSERT_FALSE(seed.empty());
        for (int i = 0; i < 1000; ++i, ++runs) {
            std::string m = seed;
            const uint32_t edits = 1 + next() % 6;
            for (uint32_t e = 0; e < edits && !m.empty(); ++e) {
                switch (next() % 4) {
                case 0: // flip a byte
                    m[next() % m.size()] ^= char(1 + next() % 255);
                    break;
                case 1: // cut the tail
                    m.resize(next() % m.size());
                    break;
                case 2: // a hostile word somewhere
                    m.insert(next() % m.size(), hostile[next() % std::size(hostile)]);
                    break;
                default: // a long run of one byte (long lines, no line ends)
                    m.insert(next() % m.size(), size_t(next() % 7000), char(next()));
                    break;
                }
            }
            ASSERT_TRUE(paramsfuzz::Feed(*mgr, reinterpret_cast<const uint8_t*>(m.data()), m.size()))
                << "run " << runs;
        }
    }
}

} // namespace
