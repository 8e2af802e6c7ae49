#include "skinmesh/SkinMesh.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "physics/CollisionMgr.h"
#include "physics/IntersectSegment.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshData.h"
#include "platform/mesh/XFile.h"
#include "render/EffectMgr.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMeshMgr.h"

namespace {

void CopyName(char (&dst)[64], const char* src) {
    std::snprintf(dst, sizeof dst, "%s", src ? src : "");
}

// The 76-byte skinned vertex of the skinned-mesh declaration.
struct SkinnedVertex {
    math::Vec3 position;
    float weights[4];
    uint8_t indices[4];
    math::Vec3 normal;
    math::Vec3 tangent;
    math::Vec3 binormal;
    math::Vec2 uv;
};
static_assert(sizeof(SkinnedVertex) == 76 && offsetof(SkinnedVertex, indices) == 28 &&
              offsetof(SkinnedVertex, normal) == 32 && offsetof(SkinnedVertex, uv) == 68);

template <typename T> void ReleaseRef(T*& r) {
    if (r) r->Release();
    r = nullptr;
}

} // namespace

ESkinMesh::ESkinMesh() {
    g_Debug.AddAllocation("ESkinMesh");
}

ESkinMesh::~ESkinMesh() {
    g_Renderer.UnlinkSkinMesh(this);
    ReleaseBuffers();
    g_Debug.RemoveAllocation("ESkinMesh");
}

bool ESkinMesh::Create(const char* fileName) {
    m_bLoaded = 0;
    if (!fileName || !*fileName) return false;
    std::snprintf(m_szFileName, sizeof m_szFileName, "%s", fileName);
    mesh::XFile file;
    mesh::MeshData data;
    std::string error;
    if (!mesh::ReadXFile(fileName, &file, &error) || !mesh::BuildMeshData(file, fileName, &data, &error)) {
        g_Console.Print(error.c_str());
        return false;
    }
    m_vBoxMin = data.boxMin;
    m_vBoxMax = data.boxMax;
    m_fRadius = data.radius;
    m_bLoaded = 1;
    m_CollisionState.hObject = m_hObject;
    PlaceWorldBox();
    RegisterTextures(data);
    MakeBuffers(data);
    return true;
}

bool ESkinMesh::MakeBuffers(const mesh::MeshData& data) {
    ReleaseBuffers();
    gfx::Device* d = g_pD3DInterface;
    if (!d) return true;
    if (data.vertices.size() > mesh::Mesh::kMaxVertices ||
        data.indices.size() != data.attributes.size() * 3) {
        g_Console.Print2(m_szFileName, ": too many vertices to draw");
        return false;
    }
    const uint32_t vbBytes = uint32_t(data.vertices.size() * sizeof(SkinnedVertex));
    const uint32_t ibBytes = uint32_t(data.indices.size() * sizeof(uint16_t));
    gfx::Result r =
        d->CreateVertexBuffer(vbBytes, gfx::usage::WriteOnly, 0, gfx::Pool::Managed, &m_pVertexBuffer);
    if (r == gfx::Result::Ok)
        r = d->CreateIndexBuffer(ibBytes, gfx::usage::WriteOnly, gfx::Format::Index16, gfx::Pool::Managed,
                                 &m_pIndexBuffer);
    if (r == gfx::Result::Ok) r = d->CreateVertexDeclaration(mesh::kSkinnedMeshElements, &m_pDeclaration);
    void* p = nullptr;
    if (r == gfx::Result::Ok) r = m_pVertexBuffer->Lock(0, 0, &p, 0);
    if (r != gfx::Result::Ok) {
        g_Console.Print3(m_szFileName, ": the device refuses the skinned buffers: ", gfx::ResultName(r));
        ReleaseBuffers();
        return false;
    }
    // Bind pose: every vertex on bone 0 with its whole weight.
    auto* out = static_cast<SkinnedVertex*>(p);
    for (const mesh::Vertex& v : data.vertices)
        *out++ = SkinnedVertex{
            v.position, {1.0f, 0.0f, 0.0f, 0.0f}, {0, 0, 0, 0}, v.normal, v.tangent, v.binormal, v.uv};
    m_pVertexBuffer->Unlock();
    if (m_pIndexBuffer->Lock(0, 0, &p, 0) == gfx::Result::Ok) {
        auto* index = static_cast<uint16_t*>(p);
        for (uint32_t i : data.indices)
            *index++ = uint16_t(i);
        m_pIndexBuffer->Unlock();
    }
    for (const mesh::AttributeRange& range : data.attributeTable) {
        if (range.attribId >= MAX_SUBSETS) continue;
        m_Ranges[range.attribId] = {range.faceStart, range.faceCount, range.vertexStart, range.vertexCount};
    }
    m_pDevice = d;
    return true;
}

void ESkinMesh::ReleaseBuffers() {
    ReleaseRef(m_pVertexBuffer);
    ReleaseRef(m_pIndexBuffer);
    ReleaseRef(m_pDeclaration);
    m_pDevice = nullptr;
    for (SubsetRange& r : m_Ranges)
        r = {};
}

math::Matrix ESkinMesh::GetWorldMatrix() const {
    return math::MatrixTransformation(m_vScale, m_Orientation.quaternion, m_vPosition);
}

void ESkinMesh::Render(uint32_t textureId, uint32_t subset, EffectRecord* effect) {
    ++m_dwRenderCalls;
    m_dwLastRenderTexture = textureId;
    m_dwLastRenderSubset = subset;
    m_pLastRenderEffect = effect;
    if (!m_pDevice || !effect || !effect->pEffect || subset >= MAX_SUBSETS) return;
    const SubsetRange& r = m_Ranges[subset];
    if (!r.dwFaceCount) return;
    effect::Effect* e = effect->pEffect;
    const math::Matrix world = GetWorldMatrix();
    e->SetMatrixArray(EffectParam(effect, &EffectRecord::mWorldMatrixArray, "mWorldMatrixArray"), &world, 1);
    e->SetInt(EffectParam(effect, &EffectRecord::CurNumBones, "CurNumBones"), 1);
    e->CommitChanges();
    m_pDevice->SetVertexDeclaration(m_pDeclaration);
    m_pDevice->SetStreamSource(0, m_pVertexBuffer, 0, sizeof(SkinnedVertex));
    m_pDevice->SetIndices(m_pIndexBuffer);
    m_pDevice->DrawIndexedPrimitive(gfx::PrimitiveType::TriangleList, 0, r.dwVertexStart, r.dwVertexCount,
                                    r.dwFaceStart * 3, r.dwFaceCount);
}

void ESkinMesh::SetPosition(const math::Vec3& position) {
    m_vPosition = position;
    PlaceWorldBox();
}

void ESkinMesh::SetScale(const math::Vec3& scale) {
    m_vScale = scale;
    PlaceWorldBox();
}

void ESkinMesh::PlaceWorldBox() {
    const math::Vec3 a{m_vBoxMin.x * m_vScale.x, m_vBoxMin.y * m_vScale.y, m_vBoxMin.z * m_vScale.z};
    const math::Vec3 b{m_vBoxMax.x * m_vScale.x, m_vBoxMax.y * m_vScale.y, m_vBoxMax.z * m_vScale.z};
    m_vWorldMin = m_vPosition + math::Vec3Minimize(a, b);
    m_vWorldMax = m_vPosition + math::Vec3Maximize(a, b);
    if (m_hObject) {
        g_IntersectSegment.RefreshObject(m_hObject);
        g_CollisionMgr.UpdateObject(m_hObject);
    }
}

void ESkinMesh::GetSegmentSphere(math::Vec3* centre, float* radius) const {
    if (centre) *centre = (m_vWorldMin + m_vWorldMax) * 0.5f;
    if (radius) *radius = math::Vec3Length(m_vWorldMax - m_vWorldMin) * 0.5f;
}

void ESkinMesh::GetWorldBox(math::Vec3* min, math::Vec3* max) const {
    if (min) *min = m_vWorldMin;
    if (max) *max = m_vWorldMax;
}

void ESkinMesh::RegisterTextures(const mesh::MeshData& data) {
    // Successive instances of one model take a texture's substitutes in turn.
    const uint32_t instance = g_SkinMeshMgr.NextInstance(m_szFileName);
    m_dwNumSubsets = uint32_t(std::min<size_t>(data.materials.size(), MAX_SUBSETS));
    for (uint32_t s = 0; s < m_dwNumSubsets; ++s) {
        const char* file = data.materials[s].textureFile.c_str();
        if (!*file) continue;
        const strtexturesubstitutes* sub = g_Renderer.FindTextureSubstitute(NormalizeTextureName(file));
        if (sub && sub->dwCount) file = sub->szSubstitutes[instance % sub->dwCount];
        m_dwTextureId[s] = g_Renderer.LoadSkinMeshTextures(file, this, s);
    }
}

void ESkinMesh::Release() {
    g_Renderer.UnlinkSkinMesh(this);
    ReleaseBuffers();
    m_bLoaded = 0;
}

void ESkinMesh::GetBoundingBox(math::Vec3* min, math::Vec3* max) const {
    if (min) *min = m_vBoxMin;
    if (max) *max = m_vBoxMax;
}

void ESkinMesh::SetAnimation(const char* name, bool loop, float, float) {
    CopyName(m_szAnimation, name);
    m_bAnimationLoop = loop ? 1 : 0;
}

void ESkinMesh::SetUpperAnimation(const char* name, bool, float) {
    CopyName(m_szUpperAnimation, name);
}
void ESkinMesh::SetLowerAnimation(const char* name, bool, float) {
    CopyName(m_szLowerAnimation, name);
}
void ESkinMesh::SetFaceAnimation(const char* name, bool, float) {
    CopyName(m_szFaceAnimation, name);
}

bool ESkinMesh::IsAnimationFinished() const {
    return true;
}
bool ESkinMesh::HasAnimation(const char*) const {
    return false;
}
bool ESkinMesh::GetNodePosition(const char*, math::Vec3*) const {
    return false;
}
void ESkinMesh::UpdateNodeMatrices() {}
bool ESkinMesh::ReadSocket(const char*, math::Vec3*, orientation*) const {
    return false;
}
void ESkinMesh::SaveGame(std::FILE*) {}
void ESkinMesh::LoadGame(std::FILE*) {}
