// The scene of the collision benchmarks: the demo world loaded from a copy of
// data/ and, far from it, one generated grid of 100,352 triangles on 50,625
// vertices (a gentle wave), loaded once per process and shared by every
// benchmark that asks for it.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/Records.h"
#include "platform/math/Types.h"
#include "platform/os/Os.h"
#include "tests/world/WorldReset.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"
#include "world/WorldMgr.h"

namespace benchscene {

constexpr int kGridQuads = 224; // 224 x 224 quads: 100,352 triangles on 50,625 vertices
constexpr float kGridCell = 16.0f;
inline const math::Vec3 kGridOrigin{20000, 0, 20000};
// A grid of kGridQuads squared quads with a gentle wave, as a text .x file.
inline void WriteGrid(const std::filesystem::path& path) {
    std::ofstream f(path);
    const int n = kGridQuads + 1;
    f << "xof 0303txt 0032\nMesh grid {\n " << n * n << ";\n";
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            const float y = 24.0f * std::sin(float(x) * 0.2f) * std::cos(float(z) * 0.15f);
            f << " " << float(x) * kGridCell << ";" << y << ";" << float(z) * kGridCell << ";"
              << (z == n - 1 && x == n - 1 ? ";" : ",") << "\n";
        }
    const int faces = 2 * kGridQuads * kGridQuads;
    f << " " << faces << ";\n";
    int written = 0;
    for (int z = 0; z < kGridQuads; ++z)
        for (int x = 0; x < kGridQuads; ++x) {
            const int a = z * n + x, b = a + 1, c = a + n, d = c + 1;
            f << " 3;" << a << "," << c << "," << d << ";,\n";
            f << " 3;" << a << "," << d << "," << b << (++written == faces / 2 ? ";;" : ";,") << "\n";
        }
    f << "}\n";
}

// The demo world and the grid, loaded once for every benchmark.
struct Scene {
    Scene() {
        namespace fs = std::filesystem;
        dir = fs::temp_directory_path() / ("zt_bench_collision_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", dir, fs::copy_options::recursive);
        WriteGrid(dir / "models" / "bench_grid.x");
        previous = os::StartDirectory();
        os::SetStartDirectory(dir.string());
        wftest::ClearWorld();
        g_WorldMgr.LoadWorld("worlds\\test.w");
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", "models\\bench_grid.x");
        p.vPosition = kGridOrigin;
        p.dwFlags = 13;
        grid = g_Engine.AddObject(p);
    }
    ~Scene() {
        wftest::ClearWorld();
        os::SetStartDirectory(previous);
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
    std::string previous;
    ObjectRecord* grid = nullptr;
};

inline Scene& TheScene() {
    static Scene scene;
    return scene;
}

} // namespace benchscene
