// A loaded mesh in one of the engine's vertex layouts: the static mesh (what
// the mesh manager keeps of a .x file once every mesh of the file is placed
// by its frames and merged into one) and the skinned mesh (with blend
// weights and indices), each with faces grouped by material (the subset
// table).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/math/Types.h"
#include "platform/mesh/XFile.h"

namespace mesh {

// One vertex of a static mesh, 60 bytes: position, colour, normal, tangent,
// binormal, texture coordinate. Tangent and binormal stay zero until the
// renderer computes the tangent frames.
struct Vertex {
    math::Vec3 position;
    uint32_t color = 0xFFFFFFFF;
    math::Vec3 normal;
    math::Vec3 tangent;
    math::Vec3 binormal;
    math::Vec2 uv;
};
static_assert(sizeof(Vertex) == 60 && offsetof(Vertex, normal) == 16 && offsetof(Vertex, uv) == 52);

// One vertex of a skinned mesh, 76 bytes: position, four blend weights,
// four blend indices (palette entries), normal, tangent, binormal, texture
// coordinate.
struct SkinnedVertex {
    math::Vec3 position;
    float weights[4] = {};
    uint8_t indices[4] = {};
    math::Vec3 normal;
    math::Vec3 tangent;
    math::Vec3 binormal;
    math::Vec2 uv;
};
static_assert(sizeof(SkinnedVertex) == 76 && offsetof(SkinnedVertex, weights) == 12 &&
              offsetof(SkinnedVertex, indices) == 28 && offsetof(SkinnedVertex, normal) == 32 &&
              offsetof(SkinnedVertex, tangent) == 44 && offsetof(SkinnedVertex, binormal) == 56 &&
              offsetof(SkinnedVertex, uv) == 68);

// The faces and vertices of one material, in the sorted face order.
struct AttributeRange {
    uint32_t attribId = 0;
    uint32_t faceStart = 0;
    uint32_t faceCount = 0;
    uint32_t vertexStart = 0;
    uint32_t vertexCount = 0;
};

template <typename V> struct BasicMeshData {
    using VertexType = V;
    std::vector<V> vertices;
    std::vector<uint32_t> indices;    // three per face
    std::vector<uint32_t> attributes; // material of each face
    std::vector<AttributeRange> attributeTable;
    std::vector<XMaterial> materials; // a mesh without materials gets one plain white material
    math::Vec3 boxMin;
    math::Vec3 boxMax;
    float radius = 0; // largest distance of a vertex from the model origin

    size_t FaceCount() const { return attributes.size(); }
};

struct MeshData : BasicMeshData<Vertex> {};
struct SkinnedMeshData : BasicMeshData<SkinnedVertex> {};

// Merges the meshes of a file: positions, normals, tangents and binormals
// moved by each mesh's frame, one vertex per distinct (position, normal)
// corner in order of first use, faces sorted by material (stable), then the
// attribute table and bounds. A file that gives each position one normal (as
// the binary writer does) keeps its vertex order when its faces use the
// vertices in order. False with "file: what is
// wrong" when the file holds no faces.
bool BuildMeshData(const XFile& file, std::string_view fileName, MeshData* out, std::string* error);

// One mesh of a file in its own space (its frame does not move it), built
// as BuildMeshData builds a file's meshes; vertexPositions gets the file's
// position index of each vertex. False when the mesh has no faces.
bool BuildSingleMeshData(const XMesh& mesh, MeshData* out, std::vector<uint32_t>* vertexPositions);

// The attribute table of faces already grouped by attribute: one range per
// run of equal attributes, with the lowest and highest vertex it uses.
template <typename D> void BuildAttributeTable(D* data);

// The mesh as one .x mesh object: one position per vertex, normals and the
// other vertex values indexed like the positions (for the binary writer).
XMesh ToXMesh(const MeshData& data);

// Box and radius from the vertex positions.
template <typename D> void ComputeBounds(D* data);

// Moves every vertex position by offset (used to centre prefabs).
void TranslateVertices(MeshData* data, const math::Vec3& offset);

} // namespace mesh
