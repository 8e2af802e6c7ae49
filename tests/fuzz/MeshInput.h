// What the mesh fuzzing feeds one input through: the .x reader (any of its
// forms: text, binary, compressed, a cache file), and for what reads, the
// hierarchy loader, the merge, the first-load pipeline and the drawable mesh
// in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshData.h"
#include "platform/mesh/MeshOps.h"
#include "platform/mesh/XFile.h"
#include "tests/RecordingAllocator.h"

namespace meshfuzz {

// The hierarchy loader with an allocator that fails one call chosen by the
// input's size: loaded or not, no frame or container may be left alive or be
// destroyed twice.
inline void FeedHierarchy(const mesh::XFile& x, size_t size) {
    RecordingAllocator allocator;
    allocator.FailAt(size & 1 ? RecordingAllocator::Call::CreateFrame
                              : RecordingAllocator::Call::CreateMeshContainer,
                     int(size % 7), mesh::HResult::Fail);
    mesh::Frame* root = nullptr;
    std::string error;
    if (!mesh::Failed(mesh::LoadMeshHierarchy(x, "fuzz.x", nullptr, &allocator, &root, &error)))
        mesh::FrameDestroy(root, &allocator);
    if (!allocator.live.empty() || allocator.badDestroys != 0) __builtin_trap();
}

inline void Feed(const uint8_t* data, size_t size) {
    mesh::XFile x;
    std::string error;
    if (!mesh::ParseXFile(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.x", &x, &error))
        return;
    FeedHierarchy(x, size);
    mesh::MeshData d;
    if (!mesh::BuildMeshData(x, "fuzz.x", &d, &error)) return;
    // The pipeline is sized by the mesh; keep each input quick.
    if (d.vertices.size() > 20000 || d.FaceCount() > 20000) return;
    std::vector<uint32_t> adjacency = mesh::GenerateAdjacency(d, 0.0f);
    const std::vector<uint32_t> groups = mesh::CleanMesh(&d, adjacency);
    mesh::WeldVertices(&d, &groups);
    adjacency = mesh::GenerateAdjacency(d, 0.0f);
    if (d.attributes.empty() || !mesh::ValidateMesh(d, adjacency, &error)) return;
    mesh::ComputeBounds(&d);
    mesh::OptimizeMesh(&d);
    mesh::ComputeTangentFrames(&d);
    const std::unique_ptr<mesh::Mesh> m = mesh::Mesh::Create(d, nullptr, &error);
    // What the cache would hold reads back.
    if (m) {
        const std::string cache = mesh::XFileBinaryBytes(mesh::ToXMesh(d), {});
        mesh::XFile back;
        if (!mesh::ParseXFile(cache, "cache.x", &back, &error)) __builtin_trap();
    }
}

} // namespace meshfuzz
