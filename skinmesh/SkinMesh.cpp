#include "skinmesh/SkinMesh.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "app/Console.h"
#include "app/Debug.h"
#include "physics/CollisionMgr.h"
#include "physics/IntersectSegment.h"
#include "platform/math/Math.h"
#include "platform/mesh/MeshData.h"
#include "platform/mesh/XFile.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMeshMgr.h"

namespace {

void CopyName(char (&dst)[64], const char* src) {
    std::snprintf(dst, sizeof dst, "%s", src ? src : "");
}

} // namespace

ESkinMesh::ESkinMesh() {
    g_Debug.AddAllocation("ESkinMesh");
}

ESkinMesh::~ESkinMesh() {
    g_Renderer.UnlinkSkinMesh(this);
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
    return true;
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
