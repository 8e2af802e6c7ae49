#include "platform/mesh/MeshData.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>

#include "platform/math/Math.h"

namespace mesh {

namespace {

struct Corner {
    uint32_t position;
    uint32_t normal; // ~0 without normals
    bool operator==(const Corner&) const = default;
};

struct CornerHash {
    size_t operator()(const Corner& c) const { return (size_t(c.position) << 32) ^ c.normal; }
};

// Appends the mesh's vertices, moved by world, and its faces (three vertex
// indices and one attribute each), recording each new vertex's position.
void AppendMesh(const XMesh& m, const math::Matrix& world, uint32_t firstMaterial, MeshData* d,
                std::vector<uint32_t>* indices, std::vector<uint32_t>* attributes,
                std::vector<uint32_t>* vertexPositions) {
    // Most positions keep one normal: the first (position, normal) of each
    // position is found by index, only further normals of a position go
    // through the hash.
    std::vector<Corner> first(m.positions.size(), Corner{~0u, ~0u});
    std::vector<uint32_t> firstVertex(m.positions.size());
    std::unordered_map<Corner, uint32_t, CornerHash> seen;
    const bool hasNormals = m.normalFaces.size() == m.faces.size();
    for (size_t i = 0; i < m.faces.size(); ++i) {
        Corner c{m.faces[i], hasNormals ? m.normalFaces[i] : ~0u};
        uint32_t vertex;
        bool inserted;
        if (first[c.position].position == ~0u) {
            first[c.position] = c;
            firstVertex[c.position] = vertex = uint32_t(d->vertices.size());
            inserted = true;
        } else if (first[c.position] == c) {
            vertex = firstVertex[c.position];
            inserted = false;
        } else {
            auto [it, added] = seen.emplace(c, uint32_t(d->vertices.size()));
            vertex = it->second;
            inserted = added;
        }
        if (inserted) {
            Vertex v;
            v.position = math::Vec3TransformCoord(m.positions[c.position], world);
            if (hasNormals)
                v.normal = math::Vec3Normalize(math::Vec3TransformNormal(m.normals[c.normal], world));
            if (c.position < m.texCoords.size()) v.uv = m.texCoords[c.position];
            if (c.position < m.colors.size()) v.color = m.colors[c.position];
            if (c.position < m.tangents.size())
                v.tangent = math::Vec3TransformNormal(m.tangents[c.position], world);
            if (c.position < m.binormals.size())
                v.binormal = math::Vec3TransformNormal(m.binormals[c.position], world);
            d->vertices.push_back(v);
            if (vertexPositions) vertexPositions->push_back(c.position);
        }
        indices->push_back(vertex);
    }
    for (size_t t = 0; t < m.TriangleCount(); ++t)
        attributes->push_back(firstMaterial + (t < m.faceMaterials.size() ? m.faceMaterials[t] : 0));
}

// Faces sorted by material, keeping the file's order within a material, then
// the attribute table and bounds.
void SortFacesAndFinish(const std::vector<uint32_t>& indices, const std::vector<uint32_t>& attributes,
                        MeshData* d) {
    std::vector<uint32_t> order(attributes.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return attributes[a] < attributes[b]; });
    d->indices.reserve(indices.size());
    d->attributes.reserve(attributes.size());
    for (uint32_t f : order) {
        d->indices.insert(d->indices.end(), indices.begin() + 3 * f, indices.begin() + 3 * f + 3);
        d->attributes.push_back(attributes[f]);
    }
    BuildAttributeTable(d);
    ComputeBounds(d);
}

void AddMaterials(const XMesh& m, MeshData* d) {
    if (m.materials.empty())
        d->materials.push_back(XMaterial{});
    else
        d->materials.insert(d->materials.end(), m.materials.begin(), m.materials.end());
}

} // namespace

bool BuildMeshData(const XFile& file, std::string_view fileName, MeshData* out, std::string* error) {
    MeshData d;
    std::vector<uint32_t> indices, attributes;
    for (const XMesh& m : file.meshes) {
        if (m.faces.empty()) continue;
        const uint32_t firstMaterial = uint32_t(d.materials.size());
        AddMaterials(m, &d);
        AppendMesh(m, FrameWorldMatrix(file, m.frame), firstMaterial, &d, &indices, &attributes, nullptr);
    }
    if (attributes.empty()) {
        if (error) *error = std::string(fileName) + ": no mesh with faces";
        return false;
    }
    SortFacesAndFinish(indices, attributes, &d);
    *out = std::move(d);
    return true;
}

bool BuildSingleMeshData(const XMesh& m, MeshData* out, std::vector<uint32_t>* vertexPositions) {
    if (m.faces.empty()) return false;
    MeshData d;
    std::vector<uint32_t> indices, attributes, positions;
    AddMaterials(m, &d);
    AppendMesh(m, math::Matrix{}, 0, &d, &indices, &attributes, &positions);
    SortFacesAndFinish(indices, attributes, &d);
    *out = std::move(d);
    *vertexPositions = std::move(positions);
    return true;
}

template <typename D> void BuildAttributeTable(D* d) {
    d->attributeTable.clear();
    for (uint32_t f = 0; f < d->attributes.size();) {
        AttributeRange r;
        r.attribId = d->attributes[f];
        r.faceStart = f;
        uint32_t lo = ~0u, hi = 0;
        while (f < d->attributes.size() && d->attributes[f] == r.attribId) {
            for (int k = 0; k < 3; ++k) {
                lo = std::min(lo, d->indices[3 * f + k]);
                hi = std::max(hi, d->indices[3 * f + k]);
            }
            ++f;
        }
        r.faceCount = f - r.faceStart;
        r.vertexStart = lo;
        r.vertexCount = hi - lo + 1;
        d->attributeTable.push_back(r);
    }
}

XMesh ToXMesh(const MeshData& d) {
    XMesh m;
    m.name = "mesh";
    const size_t n = d.vertices.size();
    m.positions.resize(n);
    m.normals.resize(n);
    m.tangents.resize(n);
    m.binormals.resize(n);
    m.texCoords.resize(n);
    m.colors.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const Vertex& v = d.vertices[i];
        m.positions[i] = v.position;
        m.normals[i] = v.normal;
        m.tangents[i] = v.tangent;
        m.binormals[i] = v.binormal;
        m.texCoords[i] = v.uv;
        m.colors[i] = v.color;
    }
    m.faces = d.indices;
    m.normalFaces = d.indices;
    m.faceMaterials = d.attributes;
    m.materials = d.materials;
    return m;
}

template <typename D> void ComputeBounds(D* d) {
    if (d->vertices.empty()) {
        d->boxMin = d->boxMax = {};
        d->radius = 0;
        return;
    }
    d->boxMin = d->boxMax = d->vertices[0].position;
    float r2 = 0;
    for (const auto& v : d->vertices) {
        d->boxMin = math::Vec3Minimize(d->boxMin, v.position);
        d->boxMax = math::Vec3Maximize(d->boxMax, v.position);
        r2 = std::max(r2, math::Vec3LengthSq(v.position));
    }
    d->radius = std::sqrt(r2);
}

template void BuildAttributeTable(MeshData*);
template void BuildAttributeTable(SkinnedMeshData*);
template void ComputeBounds(MeshData*);
template void ComputeBounds(SkinnedMeshData*);

void TranslateVertices(MeshData* d, const math::Vec3& offset) {
    for (Vertex& v : d->vertices)
        v.position += offset;
}

} // namespace mesh
