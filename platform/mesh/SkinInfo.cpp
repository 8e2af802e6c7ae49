#include "platform/mesh/SkinInfo.h"

#include <algorithm>

#include "platform/mesh/Mesh.h"

namespace mesh {

std::shared_ptr<SkinInfo> SkinInfo::Create(uint32_t vertexCount, uint32_t boneCount) {
    if (vertexCount > Mesh::kMaxVertices || boneCount > 0xFFFF) return nullptr;
    return std::shared_ptr<SkinInfo>(new SkinInfo(vertexCount, boneCount));
}

HResult SkinInfo::SetBoneInfluence(uint32_t bone, uint32_t count, const uint32_t* vertices,
                                   const float* weights) {
    if (bone >= m_bones.size() || (count > 0 && (!vertices || !weights))) return HResult::Fail;
    for (uint32_t i = 0; i < count; ++i)
        if (vertices[i] >= m_vertexCount || !(weights[i] >= 0.0f && weights[i] <= 1.0f)) return HResult::Fail;
    m_bones[bone].vertices.assign(vertices, vertices + count);
    m_bones[bone].weights.assign(weights, weights + count);
    return HResult::Ok;
}

uint32_t SkinInfo::GetNumBoneInfluences(uint32_t bone) const {
    return bone < m_bones.size() ? uint32_t(m_bones[bone].vertices.size()) : 0;
}

HResult SkinInfo::GetBoneInfluence(uint32_t bone, uint32_t* vertices, float* weights) const {
    if (bone >= m_bones.size()) return HResult::Fail;
    const Bone& b = m_bones[bone];
    if (!b.vertices.empty() && (!vertices || !weights)) return HResult::Fail;
    std::copy(b.vertices.begin(), b.vertices.end(), vertices);
    std::copy(b.weights.begin(), b.weights.end(), weights);
    return HResult::Ok;
}

HResult SkinInfo::SetBoneName(uint32_t bone, std::string_view name) {
    if (bone >= m_bones.size()) return HResult::Fail;
    m_bones[bone].name = std::string(name);
    return HResult::Ok;
}

const char* SkinInfo::GetBoneName(uint32_t bone) const {
    return bone < m_bones.size() ? m_bones[bone].name.c_str() : nullptr;
}

HResult SkinInfo::SetBoneOffsetMatrix(uint32_t bone, const math::Matrix& offset) {
    if (bone >= m_bones.size()) return HResult::Fail;
    m_bones[bone].offset = offset;
    return HResult::Ok;
}

const math::Matrix* SkinInfo::GetBoneOffsetMatrix(uint32_t bone) const {
    return bone < m_bones.size() ? &m_bones[bone].offset : nullptr;
}

} // namespace mesh
