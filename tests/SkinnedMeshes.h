// A skinned mesh's data made from a loaded mesh container the plain way:
// each vertex takes its four heaviest influences, the palette entry being
// the bone's number (bones past 255 are left out). For the tests and
// benchmarks of the skinned mesh operations.
#pragma once

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshData.h"
#include "platform/mesh/MeshHierarchy.h"
#include "platform/mesh/SkinInfo.h"

inline mesh::SkinnedMeshData SkinnedFromContainer(const mesh::MeshContainer& c) {
    mesh::SkinnedMeshData d;
    const std::vector<mesh::Vertex>& from = c.mesh->Vertices();
    std::vector<std::vector<std::pair<float, uint32_t>>> influences(from.size());
    const uint32_t bones = c.skinInfo ? std::min(c.skinInfo->GetNumBones(), 256u) : 0;
    for (uint32_t b = 0; b < bones; ++b) {
        const uint32_t n = c.skinInfo->GetNumBoneInfluences(b);
        std::vector<uint32_t> v(n);
        std::vector<float> w(n);
        c.skinInfo->GetBoneInfluence(b, v.data(), w.data());
        for (uint32_t i = 0; i < n; ++i)
            influences[v[i]].emplace_back(w[i], b);
    }
    d.vertices.resize(from.size());
    for (size_t i = 0; i < from.size(); ++i) {
        mesh::SkinnedVertex& s = d.vertices[i];
        s.position = from[i].position;
        s.normal = from[i].normal;
        s.tangent = from[i].tangent;
        s.binormal = from[i].binormal;
        s.uv = from[i].uv;
        auto& list = influences[i];
        std::stable_sort(list.begin(), list.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (size_t k = 0; k < list.size() && k < 4; ++k) {
            s.weights[k] = list[k].first;
            s.indices[k] = uint8_t(list[k].second);
        }
    }
    const std::vector<uint16_t>& indices = c.mesh->Indices();
    d.indices.assign(indices.begin(), indices.end());
    d.attributes = c.mesh->Attributes();
    d.attributeTable = c.mesh->AttributeTable();
    d.materials = c.materials;
    return d;
}
