// The skin of one mesh: for each bone its name, the offset matrix that takes
// the mesh's space into the bone's at the bind pose, and the vertices it
// moves with their weights; and the smallest weight worth keeping.
//
// Shared: the hierarchy loader hands it to the allocator, which keeps a
// reference in its mesh container (and the skinning set-up another).
// Setters check what they are given: a bone past the count, a vertex past
// the mesh, or a weight outside 0..1 change nothing and give Fail.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/math/Types.h"
#include "platform/mesh/HResult.h"
#include "platform/mesh/MeshData.h"

namespace mesh {

class Mesh;

// The most matrices a skinning effect's palette holds, and the mark of a
// palette slot no bone uses.
constexpr uint32_t kMaxPaletteSize = 64;
constexpr uint32_t kUnusedBone = 0xFFFFFFFFu;

// One group of an indexed-blended mesh: faces of one material whose bones
// all fit one palette, with the vertex range only they use.
struct BoneCombination {
    uint32_t attribId = 0; // the material
    uint32_t faceStart = 0;
    uint32_t faceCount = 0;
    uint32_t vertexStart = 0;
    uint32_t vertexCount = 0;
    std::vector<uint32_t> boneId; // bone per palette slot, kUnusedBone when free
};

// A mesh made for palette skinning: each face's attribute is its group's
// index, each vertex's blend indices are slots of its group's palette.
struct IndexedBlendedMesh {
    SkinnedMeshData data;
    std::vector<BoneCombination> combinations;
    uint32_t maxVertexInfluences = 0; // largest kept per vertex, 1..4
    uint32_t trimmedVertices = 0;     // vertices that had more than four influences
};

class SkinInfo {
  public:
    // Null when a count is beyond what a skinned mesh can use (more
    // vertices than 16-bit indices reach, more bones than 16 bits count).
    static std::shared_ptr<SkinInfo> Create(uint32_t vertexCount, uint32_t boneCount);

    uint32_t GetNumVertices() const { return m_vertexCount; }
    uint32_t GetNumBones() const { return uint32_t(m_bones.size()); }

    // Replaces the bone's influences: count vertices with their weights.
    HResult SetBoneInfluence(uint32_t bone, uint32_t count, const uint32_t* vertices, const float* weights);
    // 0 for a bone past the count.
    uint32_t GetNumBoneInfluences(uint32_t bone) const;
    // Copies the bone's influences into arrays of GetNumBoneInfluences entries.
    HResult GetBoneInfluence(uint32_t bone, uint32_t* vertices, float* weights) const;

    HResult SetBoneName(uint32_t bone, std::string_view name);
    // Null for a bone past the count; empty until named.
    const char* GetBoneName(uint32_t bone) const;

    HResult SetBoneOffsetMatrix(uint32_t bone, const math::Matrix& offset);
    // Null for a bone past the count; identity until set.
    const math::Matrix* GetBoneOffsetMatrix(uint32_t bone) const;

    void SetMinBoneInfluence(float weight) { m_minInfluence = weight; }
    float GetMinBoneInfluence() const { return m_minInfluence; }

    // Converts `source` (whose vertex count is this skin's) for palette
    // skinning with at most paletteSize (1..64) bones a group. Per vertex,
    // influences below the minimum are dropped, the rest ordered by weight
    // (ties by bone), the four heaviest kept and renormalised. Per material
    // in attribute order, faces join the current group in order while its
    // bones fit, else a new group starts; a vertex used by two groups is
    // copied. Fail with "what is wrong" when the palette size is out of
    // range, the mesh does not match the skin, one face needs more bones
    // than a palette holds, or the copies pass 65,535 vertices.
    HResult ConvertToIndexedBlendedMesh(const Mesh& source, uint32_t paletteSize, IndexedBlendedMesh* out,
                                        std::string* error) const;

  private:
    SkinInfo(uint32_t vertexCount, uint32_t boneCount) : m_vertexCount(vertexCount), m_bones(boneCount) {}

    struct Bone {
        std::string name;
        math::Matrix offset;
        std::vector<uint32_t> vertices;
        std::vector<float> weights;
    };
    uint32_t m_vertexCount;
    std::vector<Bone> m_bones;
    float m_minInfluence = 0;
};

} // namespace mesh
