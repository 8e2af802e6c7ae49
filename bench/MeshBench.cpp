// Static-mesh loading beside Assimp's X importer, as ratios in one run (ours
// over Assimp's, lower is better), for a generated 255 x 256 grid (65,280
// vertices, 129,540 faces) in text, binary and compressed form and for the
// demo meshes:
//   parse_ratio   reading into a mesh, against Assimp without post-processing
//                 (aim 0.5 or less);
//   full_ratio    the whole first load, parse to tangent frames without the
//                 cache write, against Assimp with JoinIdenticalVertices,
//                 ImproveCacheLocality and CalcTangentSpace (good: 1.5 or less);
//   cached_ratio  reading the optimised-mesh cache against our own full load
//                 (good: 0.2 or less);
//   acmr_ratio    vertex-cache misses per triangle (FIFO of 16) of our order
//                 against Assimp's (good: 1.05 or less); acmr12_ratio with a
//                 FIFO of 12, the size Assimp's step aims at.
// Each time is the fastest of several runs. Without Assimp (libassimp-dev
// found at configure time) only cached_ratio and the times are given.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/Fastest.h"
#include "bench/GridText.h"
#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshData.h"
#include "platform/mesh/MeshOps.h"
#include "platform/mesh/XFile.h"
#include "platform/os/Os.h"
#include "tests/XFileForms.h"

#ifdef ZT_HAVE_ASSIMP
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#endif

namespace {

namespace fs = std::filesystem;

bool Parse(const std::string& file, mesh::MeshData* d) {
    mesh::XFile x;
    std::string error;
    return mesh::ReadXFile(file, &x, &error) && mesh::BuildMeshData(x, file, d, &error);
}

// The mesh manager's first load without the cache write.
bool FullLoad(const std::string& file, mesh::MeshData* d) {
    if (!Parse(file, d)) return false;
    std::vector<uint32_t> adjacency = mesh::GenerateAdjacency(*d, 0.0f);
    const std::vector<uint32_t> groups = mesh::CleanMesh(d, adjacency);
    mesh::WeldVertices(d, &groups);
    adjacency = mesh::GenerateAdjacency(*d, 0.0f);
    std::string error;
    if (!mesh::ValidateMesh(*d, adjacency, &error)) return false;
    mesh::ComputeBounds(d);
    mesh::OptimizeMesh(d);
    mesh::ComputeTangentFrames(d);
    return mesh::Mesh::Create(*d, nullptr, &error) != nullptr;
}

bool CachedLoad(const std::string& cache) {
    mesh::MeshData d;
    std::string error;
    return Parse(cache, &d) && mesh::Mesh::Create(d, nullptr, &error) != nullptr;
}

// A scratch directory holding the grid in each form and copies of the demo
// meshes, with the cache of each.
struct Files {
    fs::path dir = fs::temp_directory_path() / ("zt_mesh_bench_" + std::to_string(::getpid()));
    std::vector<std::string> names;
    Files() {
        fs::create_directories(dir);
        os::SetStartDirectory(dir.string());
        const std::string text = GridText(255, 256);
        std::ofstream(dir / "grid_text.x", std::ios::binary) << text;
        mesh::XFile x;
        std::string error;
        mesh::ParseXFile(text, "grid", &x, &error);
        const std::string binary = mesh::XFileBinaryBytes(x.meshes.at(0), {});
        std::ofstream(dir / "grid_binary.x", std::ios::binary) << binary;
        std::ofstream(dir / "grid_compressed.x", std::ios::binary) << CompressXFile(binary);
        names = {"grid_text.x", "grid_binary.x", "grid_compressed.x"};
        const fs::path data = fs::path(ZT_SOURCE_DIR) / "data";
        for (const char* demo :
             {"models/box.x", "models/crate.x", "models/plane.x", "prefabs/props/marker_nocenter.x"}) {
            const std::string name = "demo_" + fs::path(demo).filename().string();
            fs::copy_file(data / demo, dir / name, fs::copy_options::overwrite_existing);
            names.push_back(name);
        }
        for (const std::string& n : names) {
            mesh::MeshData d;
            if (FullLoad(n, &d)) mesh::WriteXFileBinary(n + ".cache", mesh::ToXMesh(d), {}, &error);
        }
    }
    ~Files() { fs::remove_all(dir); }
};

Files& TheFiles() {
    static Files files;
    return files;
}

void BM_MeshLoadRatios(benchmark::State& state) {
    Files& files = TheFiles();
    const std::string name = files.names[size_t(state.range(0))];
    state.SetLabel(name);
    const std::string path = (files.dir / name).string();
    const int runs = name.rfind("grid", 0) == 0 ? 3 : 50;
    for (auto _ : state) {
        mesh::MeshData d;
        const double parse = Fastest(runs, [&] {
            mesh::MeshData p;
            Parse(name, &p);
        });
        const double full = Fastest(runs, [&] {
            d = {};
            FullLoad(name, &d);
        });
        const double cached = Fastest(runs, [&] { CachedLoad(name + ".cache"); });
        state.counters["ours_parse_ms"] = parse * 1e3;
        state.counters["ours_full_ms"] = full * 1e3;
        state.counters["cached_ratio"] = cached / full;
        const double acmr = mesh::AverageCacheMissRatio(d.indices, 16);
        const double acmr12 = mesh::AverageCacheMissRatio(d.indices, 12);
        state.counters["ours_acmr"] = acmr;
#ifdef ZT_HAVE_ASSIMP
        Assimp::Importer importer;
        const double aParse = Fastest(runs, [&] { importer.ReadFile(path, 0); });
        // The same work as ours: polygons split into triangles too.
        const unsigned flags = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                               aiProcess_ImproveCacheLocality | aiProcess_CalcTangentSpace;
        const double aFull = Fastest(runs, [&] { importer.ReadFile(path, flags); });
        const aiScene* scene = importer.ReadFile(path, flags);
        std::vector<uint32_t> theirs;
        for (unsigned m = 0; scene && m < scene->mNumMeshes; ++m) {
            const aiMesh* am = scene->mMeshes[m];
            const uint32_t base = uint32_t(theirs.size());
            for (unsigned f = 0; f < am->mNumFaces; ++f)
                if (am->mFaces[f].mNumIndices == 3)
                    for (unsigned k = 0; k < 3; ++k)
                        theirs.push_back(base + am->mFaces[f].mIndices[k]);
        }
        state.counters["parse_ratio"] = parse / aParse;
        state.counters["full_ratio"] = full / aFull;
        const double theirAcmr = mesh::AverageCacheMissRatio(theirs, 16);
        if (theirAcmr > 0) state.counters["acmr_ratio"] = acmr / theirAcmr;
        const double theirAcmr12 = mesh::AverageCacheMissRatio(theirs, 12);
        if (theirAcmr12 > 0) state.counters["acmr12_ratio"] = acmr12 / theirAcmr12;
#else
        (void)path;
        (void)acmr12;
        state.SetLabel(name + " (no Assimp: comparison skipped)");
#endif
    }
}
BENCHMARK(BM_MeshLoadRatios)->DenseRange(0, 6)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
