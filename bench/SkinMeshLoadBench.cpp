// Skinned-model loading beside Assimp's X importer, as a ratio in one run
// (ours over Assimp's, lower is better; good: 0.5 or less): the hierarchy
// load (parse, frames, containers, skin information, no conversion) against
// Assimp without post-processing, for the test character and for a
// generated skinned grid near the 16-bit limit (60,000 vertices, 80 bones).
// The run also checks that both readers agree on frame names and parents,
// bone names, the weights each bone puts on each position and the offset
// matrices (Assimp's transposed, and mirrored in z: its importer turns the
// left-handed file right-handed); a disagreement fails the benchmark.
//
// The skinned mesh operations (adjacency, clean, weld, validation, the
// attribute sort with vertex-cache order, tangent frames) on the test
// character's skinned vertices, beside the same pipeline on its static
// vertices: skinned_ratio (good: 1.3 or less, the vertex being 76 bytes
// instead of 60).
//
// The conversion for palette skinning (influences kept per vertex, faces
// grouped into palettes of 64, vertices copied across groups) of every
// skinned mesh of both files, once each file is loaded: conversion_ms, and
// its share of the hierarchy load as conversion_ratio.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "bench/Fastest.h"
#include "bench/GridText.h"
#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshHierarchy.h"
#include "platform/mesh/MeshOps.h"
#include "platform/mesh/SkinInfo.h"
#include "platform/os/Os.h"

#ifdef ZT_HAVE_ASSIMP
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#endif

namespace {

namespace fs = std::filesystem;

// Plain frames and containers, as the game's allocator keeps them.
class PlainAllocator : public mesh::AllocateHierarchy {
  public:
    mesh::HResult CreateFrame(const char* name, mesh::Frame** out) override {
        *out = new mesh::Frame;
        if (name) (*out)->name = name;
        return mesh::HResult::Ok;
    }
    mesh::HResult CreateMeshContainer(const char* name, const std::shared_ptr<mesh::Mesh>& m,
                                      const mesh::XMaterial* materials, uint32_t numMaterials,
                                      const uint32_t* adjacency, const std::shared_ptr<mesh::SkinInfo>& skin,
                                      mesh::MeshContainer** out) override {
        auto* c = new mesh::MeshContainer;
        if (name) c->name = name;
        c->mesh = m;
        if (materials) c->materials.assign(materials, materials + numMaterials);
        c->adjacency.assign(adjacency, adjacency + 3 * m->NumFaces());
        c->skinInfo = skin;
        *out = c;
        return mesh::HResult::Ok;
    }
    mesh::HResult DestroyFrame(mesh::Frame* f) override {
        delete f;
        return mesh::HResult::Ok;
    }
    mesh::HResult DestroyMeshContainer(mesh::MeshContainer* c) override {
        delete c;
        return mesh::HResult::Ok;
    }
};

// The grid mesh of w x h positions under a root with `bones` child frames;
// each row of positions is shared by two neighbouring bones. Matrices
// are written with decimals, which Assimp's reader needs.
std::string SkinnedGridText(int w, int h, int bones) {
    std::ostringstream s;
    s << "xof 0303txt 0032\nFrame Root {\n";
    for (int b = 0; b < bones; ++b)
        s << " Frame Bone" << b
          << " { FrameTransformMatrix { 1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0," << b
          << ".0,0.0,0.0,1.0;; } }\n";
    // The grid's mesh, its closing brace left for the skin.
    const std::string grid = GridText(w, h);
    const size_t header = grid.find('\n') + 1;
    s << grid.substr(header, grid.rfind('}') - header);
    s << " XSkinMeshHeader { 2; 6; " << bones << "; }\n";
    // Row z belongs to bone z * bones / h with weight 0.75, and to the next
    // bone with 0.25 (rows, so that the faces, written row by row, reach
    // the bones in order as a character's limbs do).
    std::vector<std::vector<int>> rows(static_cast<size_t>(bones));
    for (int z = 0; z < h; ++z) {
        const int b = z * bones / h;
        rows[size_t(b)].push_back(z);
        rows[size_t((b + 1) % bones)].push_back(-1 - z);
    }
    for (int b = 0; b < bones; ++b) {
        std::vector<std::pair<int, float>> influences;
        for (int code : rows[size_t(b)]) {
            const int z = code >= 0 ? code : -1 - code;
            for (int x = 0; x < w; ++x)
                influences.emplace_back(z * w + x, code >= 0 ? 0.75f : 0.25f);
        }
        s << " SkinWeights { \"Bone" << b << "\"; " << influences.size() << ";\n ";
        for (size_t i = 0; i < influences.size(); ++i)
            s << influences[i].first << (i + 1 == influences.size() ? ";\n " : ",");
        for (size_t i = 0; i < influences.size(); ++i)
            s << influences[i].second << (i + 1 == influences.size() ? ";\n" : ",");
        s << " 1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0," << -b << ".0,0.0,0.0,1.0;; }\n";
    }
    s << " }\n}\n";
    return s.str();
}

bool LoadOurs(const std::string& path, PlainAllocator* allocator, mesh::Frame** root) {
    std::string error;
    return !mesh::Failed(mesh::LoadMeshHierarchy(path, nullptr, allocator, root, &error));
}

struct Files {
    fs::path dir = fs::temp_directory_path() / ("zt_skin_bench_" + std::to_string(::getpid()));
    std::vector<std::string> paths;
    Files() {
        fs::create_directories(dir);
        std::ofstream(dir / "skinned_grid.x", std::ios::binary) << SkinnedGridText(250, 240, 80);
        paths = {std::string(ZT_SOURCE_DIR) + "/data/models/manekin/manekin.x",
                 (dir / "skinned_grid.x").string()};
    }
    ~Files() { fs::remove_all(dir); }
};

Files& TheFiles() {
    static Files files;
    return files;
}

#ifdef ZT_HAVE_ASSIMP
// What both readers must agree on; empty when they do.
std::string Disagreement(const mesh::Frame* root, const aiScene* scene) {
    // Frames: every frame of ours is a node of the same name under a parent
    // of the same name.
    std::string why;
    std::function<void(const mesh::Frame*, const std::string&)> walk = [&](const mesh::Frame* f,
                                                                           const std::string& parent) {
        for (; f && why.empty(); f = f->frameSibling) {
            const aiNode* node = scene->mRootNode->FindNode(f->name.c_str());
            if (!node)
                why = "frame " + f->name + " missing";
            else if (!parent.empty() && (!node->mParent || parent != node->mParent->mName.C_Str()))
                why = "frame " + f->name + " has another parent";
            walk(f->frameFirstChild, f->name);
        }
    };
    walk(root, "");
    if (!why.empty()) return why;

    // Bones: per bone name, the (position, weight) pairs and the offset.
    using Influence = std::tuple<float, float, float, float>;
    std::map<std::string, std::vector<Influence>> ours, theirs;
    std::map<std::string, aiMatrix4x4> theirOffsets;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* am = scene->mMeshes[m];
        for (unsigned b = 0; b < am->mNumBones; ++b) {
            const aiBone* bone = am->mBones[b];
            auto& list = theirs[bone->mName.C_Str()];
            for (unsigned i = 0; i < bone->mNumWeights; ++i) {
                const aiVector3D& p = am->mVertices[bone->mWeights[i].mVertexId];
                list.emplace_back(p.x, p.y, p.z, bone->mWeights[i].mWeight);
            }
            theirOffsets[bone->mName.C_Str()] = bone->mOffsetMatrix;
        }
    }
    std::function<void(const mesh::Frame*)> gather = [&](const mesh::Frame* f) {
        for (; f && why.empty(); f = f->frameSibling) {
            for (const mesh::MeshContainer* c = f->meshContainer; c; c = c->nextMeshContainer) {
                if (!c->skinInfo) continue;
                const mesh::SkinInfo& skin = *c->skinInfo;
                for (uint32_t b = 0; b < skin.GetNumBones(); ++b) {
                    const std::string name = skin.GetBoneName(b);
                    const uint32_t n = skin.GetNumBoneInfluences(b);
                    std::vector<uint32_t> v(n);
                    std::vector<float> w(n);
                    skin.GetBoneInfluence(b, v.data(), w.data());
                    for (uint32_t i = 0; i < n; ++i) {
                        const math::Vec3& p = c->mesh->Vertices()[v[i]].position;
                        ours[name].emplace_back(p.x, p.y, -p.z, w[i]);
                    }
                    const auto found = theirOffsets.find(name);
                    if (found == theirOffsets.end()) {
                        why = "bone " + name + " missing";
                        return;
                    }
                    // Mirrored in z: the entries of exactly one z row or column change sign.
                    const math::Matrix& o = *skin.GetBoneOffsetMatrix(b);
                    for (int r = 0; r < 4; ++r)
                        for (int k = 0; k < 4; ++k) {
                            const float sign = (r == 2) != (k == 2) ? -1.0f : 1.0f;
                            if (std::fabs(o.m[r][k] - sign * found->second[k][r]) > 1e-4f)
                                why = "bone " + name + " has another offset";
                        }
                }
            }
            gather(f->frameFirstChild);
        }
    };
    gather(root);
    if (!why.empty()) return why;
    if (ours.size() != theirs.size()) return "bone counts differ";
    for (auto& [name, list] : ours) {
        // Assimp keeps a vertex per face corner; compare distinct pairs.
        for (auto* l : {&list, &theirs[name]}) {
            std::sort(l->begin(), l->end());
            l->erase(std::unique(l->begin(), l->end()), l->end());
        }
        // The readers round decimals apart in the last bit.
        const auto& other = theirs[name];
        auto near = [](const Influence& a, const Influence& b) {
            return std::fabs(std::get<0>(a) - std::get<0>(b)) < 1e-4f &&
                   std::fabs(std::get<1>(a) - std::get<1>(b)) < 1e-4f &&
                   std::fabs(std::get<2>(a) - std::get<2>(b)) < 1e-4f &&
                   std::fabs(std::get<3>(a) - std::get<3>(b)) < 1e-6f;
        };
        if (list.size() != other.size() || !std::equal(list.begin(), list.end(), other.begin(), near))
            return "bone " + name + " weighs other positions";
    }
    return {};
}
#endif

void BM_SkinnedHierarchyLoadRatio(benchmark::State& state) {
    const std::string path = TheFiles().paths[size_t(state.range(0))];
    state.SetLabel(fs::path(path).filename().string());
    const int runs = state.range(0) == 0 ? 20 : 3;
    for (auto _ : state) {
        PlainAllocator allocator;
        const double ours = Fastest(runs, [&] {
            mesh::Frame* root = nullptr;
            if (LoadOurs(path, &allocator, &root)) mesh::FrameDestroy(root, &allocator);
        });
        state.counters["ours_ms"] = ours * 1e3;
#ifdef ZT_HAVE_ASSIMP
        Assimp::Importer importer;
        const double theirs = Fastest(runs, [&] { importer.ReadFile(path, 0); });
        state.counters["load_ratio"] = ours / theirs;
        mesh::Frame* root = nullptr;
        if (!LoadOurs(path, &allocator, &root)) {
            state.SkipWithError("our loader refused the file");
            break;
        }
        const aiScene* scene = importer.ReadFile(path, 0);
        const std::string why =
            scene ? Disagreement(root, scene) : std::string(importer.GetErrorString()).substr(0, 120);
        mesh::FrameDestroy(root, &allocator);
        if (!why.empty()) {
            state.SkipWithError(("the readers disagree: " + why).c_str());
            break;
        }
#else
        state.SetLabel(fs::path(path).filename().string() + " (no Assimp: comparison skipped)");
#endif
    }
}
BENCHMARK(BM_SkinnedHierarchyLoadRatio)->DenseRange(0, 1)->Iterations(1)->Unit(benchmark::kMillisecond);

template <typename D> void FirstLoadPipeline(D* d) {
    std::vector<uint32_t> adjacency = mesh::GenerateAdjacency(*d, 0.0f);
    const std::vector<uint32_t> groups = mesh::CleanMesh(d, adjacency);
    mesh::WeldVertices(d, &groups);
    adjacency = mesh::GenerateAdjacency(*d, 0.0f);
    std::string error;
    if (!mesh::ValidateMesh(*d, adjacency, &error)) return;
    mesh::OptimizeMesh(d);
    mesh::ComputeTangentFrames(d);
}

void BM_SkinnedMeshOpsRatio(benchmark::State& state) {
    PlainAllocator allocator;
    mesh::Frame* root = nullptr;
    if (!LoadOurs(TheFiles().paths[0], &allocator, &root)) {
        state.SkipWithError("the character does not load");
        return;
    }
    const mesh::Frame* body = mesh::FrameFind(root, "Body");
    mesh::IndexedBlendedMesh converted;
    std::string error;
    if (mesh::Failed(body->meshContainer->skinInfo->ConvertToIndexedBlendedMesh(*body->meshContainer->mesh,
                                                                                64, &converted, &error))) {
        state.SkipWithError(("the character does not convert: " + error).c_str());
        mesh::FrameDestroy(root, &allocator);
        return;
    }
    const mesh::SkinnedMeshData& skinned = converted.data;
    mesh::MeshData flat;
    const mesh::Mesh& m = *body->meshContainer->mesh;
    flat.vertices = m.Vertices();
    flat.indices.assign(m.Indices().begin(), m.Indices().end());
    flat.attributes = m.Attributes();
    flat.attributeTable = m.AttributeTable();
    mesh::FrameDestroy(root, &allocator);
    for (auto _ : state) {
        const double ours = Fastest(20, [&] {
            mesh::SkinnedMeshData d = skinned;
            FirstLoadPipeline(&d);
        });
        const double plain = Fastest(20, [&] {
            mesh::MeshData d = flat;
            FirstLoadPipeline(&d);
        });
        state.counters["skinned_ms"] = ours * 1e3;
        state.counters["static_ms"] = plain * 1e3;
        state.counters["skinned_ratio"] = ours / plain;
    }
}
BENCHMARK(BM_SkinnedMeshOpsRatio)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_IndexedBlendedConversion(benchmark::State& state) {
    const std::string path = TheFiles().paths[size_t(state.range(0))];
    state.SetLabel(fs::path(path).filename().string());
    const int runs = state.range(0) == 0 ? 20 : 3;
    PlainAllocator allocator;
    mesh::Frame* root = nullptr;
    const double load = Fastest(runs, [&] {
        if (root) mesh::FrameDestroy(root, &allocator);
        root = nullptr;
        LoadOurs(path, &allocator, &root);
    });
    std::vector<const mesh::MeshContainer*> skinned;
    std::function<void(const mesh::Frame*)> gather = [&](const mesh::Frame* f) {
        for (; f; f = f->frameSibling) {
            for (const mesh::MeshContainer* c = f->meshContainer; c; c = c->nextMeshContainer)
                if (c->skinInfo) skinned.push_back(c);
            gather(f->frameFirstChild);
        }
    };
    gather(root);
    if (skinned.empty()) {
        state.SkipWithError("no skinned mesh loaded");
        mesh::FrameDestroy(root, &allocator);
        return;
    }
    for (auto _ : state) {
        bool failed = false;
        const double convert = Fastest(runs, [&] {
            for (const mesh::MeshContainer* c : skinned) {
                mesh::IndexedBlendedMesh out;
                std::string error;
                failed |= mesh::Failed(c->skinInfo->ConvertToIndexedBlendedMesh(*c->mesh, 64, &out, &error));
                benchmark::DoNotOptimize(out.data.vertices.data());
            }
        });
        if (failed) {
            state.SkipWithError("a skinned mesh does not convert");
            break;
        }
        state.counters["conversion_ms"] = convert * 1e3;
        state.counters["conversion_ratio"] = convert / load;
    }
    mesh::FrameDestroy(root, &allocator);
}
BENCHMARK(BM_IndexedBlendedConversion)->DenseRange(0, 1)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
