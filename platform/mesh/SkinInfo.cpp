#include "platform/mesh/SkinInfo.h"

#include <algorithm>
#include <array>
#include <numeric>

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

namespace {

struct Influence {
    uint32_t bone;
    float weight;
};

// The influences a vertex keeps: the heaviest four, renormalised.
struct Kept {
    std::array<Influence, 4> influences;
    uint32_t count = 0;
};

} // namespace

HResult SkinInfo::ConvertToIndexedBlendedMesh(const Mesh& source, uint32_t paletteSize,
                                              IndexedBlendedMesh* out, std::string* error) const {
    auto fail = [&](std::string what) {
        if (error) *error = std::move(what);
        return HResult::Fail;
    };
    if (paletteSize == 0 || paletteSize > kMaxPaletteSize)
        return fail("palette size " + std::to_string(paletteSize) + " is not 1.." +
                    std::to_string(kMaxPaletteSize));
    const uint32_t vertexCount = source.NumVertices();
    if (vertexCount != m_vertexCount)
        return fail("the mesh has " + std::to_string(vertexCount) + " vertices, the skin " +
                    std::to_string(m_vertexCount));

    // Every vertex's influences, gathered bone by bone.
    std::vector<uint32_t> first(vertexCount + 1, 0);
    for (const Bone& b : m_bones)
        for (uint32_t v : b.vertices)
            ++first[v + 1];
    std::partial_sum(first.begin(), first.end(), first.begin());
    std::vector<Influence> all(first.back());
    {
        std::vector<uint32_t> fill(first.begin(), first.end() - 1);
        for (uint32_t bone = 0; bone < m_bones.size(); ++bone) {
            const Bone& b = m_bones[bone];
            for (size_t i = 0; i < b.vertices.size(); ++i)
                all[fill[b.vertices[i]]++] = {bone, b.weights[i]};
        }
    }

    IndexedBlendedMesh result;
    std::vector<Kept> kept(vertexCount);
    result.maxVertexInfluences = 1;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        Influence* begin = all.data() + first[v];
        Influence* end = all.data() + first[v + 1];
        end = std::remove_if(begin, end, [&](const Influence& i) { return i.weight < m_minInfluence; });
        std::sort(begin, end, [](const Influence& a, const Influence& b) {
            return a.weight != b.weight ? a.weight > b.weight : a.bone < b.bone;
        });
        const size_t n = size_t(end - begin);
        if (n > 4) ++result.trimmedVertices;
        Kept& k = kept[v];
        k.count = uint32_t(std::min<size_t>(n, 4));
        float sum = 0;
        for (uint32_t i = 0; i < k.count; ++i) {
            k.influences[i] = begin[i];
            sum += begin[i].weight;
        }
        if (sum > 0)
            for (uint32_t i = 0; i < k.count; ++i)
                k.influences[i].weight /= sum;
        result.maxVertexInfluences = std::max(result.maxVertexInfluences, k.count);
    }

    // Faces by material, keeping their order within one.
    const std::vector<uint32_t>& attributes = source.Attributes();
    const std::vector<uint16_t>& indices = source.Indices();
    const uint32_t faceCount = uint32_t(attributes.size());
    std::vector<uint32_t> faces(faceCount);
    std::iota(faces.begin(), faces.end(), 0u);
    std::stable_sort(faces.begin(), faces.end(),
                     [&](uint32_t a, uint32_t b) { return attributes[a] < attributes[b]; });

    // Groups: a bone's slot is valid while its stamp is the current group's.
    std::vector<uint32_t> slotOf(m_bones.size(), 0);
    std::vector<uint32_t> slotStamp(m_bones.size(), kUnusedBone);
    std::vector<uint32_t> groupOfFace(faceCount);
    std::vector<uint32_t> orderedFaces;
    orderedFaces.reserve(faceCount);
    uint32_t used = 0;
    for (uint32_t f : faces) {
        std::array<uint32_t, 12> bones;
        uint32_t faceBones = 0, fresh = 0;
        for (int c = 0; c < 3; ++c) {
            const Kept& k = kept[indices[3 * f + c]];
            for (uint32_t i = 0; i < k.count; ++i) {
                const uint32_t bone = k.influences[i].bone;
                if (std::find(bones.begin(), bones.begin() + faceBones, bone) != bones.begin() + faceBones)
                    continue;
                bones[faceBones++] = bone;
            }
        }
        if (faceBones > paletteSize)
            return fail("face " + std::to_string(f) + " needs " + std::to_string(faceBones) +
                        " bones, a palette holds " + std::to_string(paletteSize));
        const uint32_t group = uint32_t(result.combinations.size()) - 1;
        const bool sameMaterial =
            !result.combinations.empty() && result.combinations.back().attribId == attributes[f];
        if (sameMaterial)
            for (uint32_t i = 0; i < faceBones; ++i)
                fresh += slotStamp[bones[i]] != group;
        if (!sameMaterial || used + fresh > paletteSize) {
            BoneCombination c;
            c.attribId = attributes[f];
            c.faceStart = uint32_t(orderedFaces.size());
            c.boneId.assign(paletteSize, kUnusedBone);
            result.combinations.push_back(std::move(c));
            used = 0;
        }
        const uint32_t g = uint32_t(result.combinations.size()) - 1;
        BoneCombination& c = result.combinations.back();
        for (uint32_t i = 0; i < faceBones; ++i) {
            if (slotStamp[bones[i]] == g) continue;
            slotStamp[bones[i]] = g;
            slotOf[bones[i]] = used;
            c.boneId[used++] = bones[i];
        }
        ++c.faceCount;
        groupOfFace[f] = g;
        orderedFaces.push_back(f);
    }

    // Each group's vertices in their first order, copied when an earlier
    // group used them too.
    const std::vector<Vertex>& from = source.Vertices();
    SkinnedMeshData& d = result.data;
    d.indices.resize(3 * size_t(faceCount));
    d.attributes.resize(faceCount);
    std::vector<uint32_t> newIndex(vertexCount), indexStamp(vertexCount, kUnusedBone);
    std::vector<uint32_t> groupVertices;
    for (uint32_t g = 0; g < result.combinations.size(); ++g) {
        BoneCombination& c = result.combinations[g];
        groupVertices.clear();
        for (uint32_t i = c.faceStart; i < c.faceStart + c.faceCount; ++i)
            for (int k = 0; k < 3; ++k) {
                const uint32_t v = indices[3 * orderedFaces[i] + k];
                if (indexStamp[v] == g) continue;
                indexStamp[v] = g;
                groupVertices.push_back(v);
            }
        std::sort(groupVertices.begin(), groupVertices.end());
        c.vertexStart = uint32_t(d.vertices.size());
        c.vertexCount = uint32_t(groupVertices.size());
        if (size_t(c.vertexStart) + c.vertexCount > Mesh::kMaxVertices)
            return fail("more than " + std::to_string(Mesh::kMaxVertices) +
                        " vertices once split by palette");
        for (uint32_t s = 0; s < paletteSize && c.boneId[s] != kUnusedBone; ++s)
            slotOf[c.boneId[s]] = s;
        for (uint32_t v : groupVertices) {
            newIndex[v] = uint32_t(d.vertices.size());
            SkinnedVertex out;
            out.position = from[v].position;
            out.normal = from[v].normal;
            out.tangent = from[v].tangent;
            out.binormal = from[v].binormal;
            out.uv = from[v].uv;
            const Kept& k = kept[v];
            for (uint32_t i = 0; i < k.count; ++i) {
                out.weights[i] = k.influences[i].weight;
                out.indices[i] = uint8_t(slotOf[k.influences[i].bone]);
            }
            d.vertices.push_back(out);
        }
        for (uint32_t i = c.faceStart; i < c.faceStart + c.faceCount; ++i) {
            const uint32_t f = orderedFaces[i];
            for (int k = 0; k < 3; ++k)
                d.indices[3 * size_t(i) + k] = newIndex[indices[3 * f + k]];
            d.attributes[i] = g;
        }
        d.attributeTable.push_back({g, c.faceStart, c.faceCount, c.vertexStart, c.vertexCount});
    }
    ComputeBounds(&d);
    *out = std::move(result);
    return HResult::Ok;
}

} // namespace mesh
