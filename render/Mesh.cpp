#include "render/Mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Geometry.h"
#include "app/Options.h"
#include "physics/CollisionMgr.h"
#include "physics/IntersectSegment.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/os/Number.h"
#include "render/MeshMgr.h"
#include "render/Renderer.h"
#include "world/ObjectRecord.h"

namespace {

void ReportSubsets(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ReportSubsets(const char* format, ...) {
    if (!raportsubsets) return;
    char line[512];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    ErrorLog(line, "!subsets.txt");
}

} // namespace

EMesh::EMesh() {
    m_qRotation = math::QuatRotationYawPitchRoll(0.0f, math::kPi / 2, 0.0f);
    m_RigidBody.Reset();
    g_Debug.AddAllocation("::EMesh");
}

EMesh::~EMesh() {
    g_Debug.RemoveAllocation("::EMesh");
}

void EMesh::Create(const char* fileName) {
    if (!fileName || !*fileName) return;
    if (m_bCreated) g_Console.Print2("*** Mesh already created! *** ", fileName);
    // Each mesh of the world file is one step of the loading bar (the world
    // start counted them into its total).
    g_Console.StepLoadingProgress();
    g_Console.AddLoadingProgress(1);

    const int id = g_MeshMgr.GetMesh(fileName);
    const EMeshMgr::strmesh* entry = g_MeshMgr.GetEntry(id);
    if (id < 0) {
        g_Console.Print("MeshMgr returns INVALID code");
        return;
    }
    if (!entry || !entry->pMesh) {
        g_Console.Print("No mesh object returned!");
        return;
    }
    m_iMeshId = id;
    std::snprintf(m_szFileName, sizeof m_szFileName, "%s", fileName);
    m_dwNumSubsets = std::min<uint32_t>(entry->dwNumMaterials, MAX_SUBSETS);
    m_vBoxMin = entry->vMin;
    m_vBoxMax = entry->vMax;
    m_vBoxCenter = entry->vCenter;
    m_fBaseRadius = m_fRadius = entry->fRadius;
    if (m_hObject) {
        m_hObject->iRange = os::ClampToInt(m_fRadius);
        m_hObject->pD3DXMesh = entry->pMesh.get();
    }

    m_Materials.assign(m_dwNumSubsets, MeshMaterial{});
    g_Debug.AddAllocation("m_pMeshMaterials");
    ReportSubsets("%s", "");
    ReportSubsets("mesh name: %s", fileName);
    ReportSubsets("ilosc subsetow: %i", int(m_dwNumSubsets));

    int usable = 0;
    for (uint32_t s = 0; s < m_dwNumSubsets; ++s) {
        uint32_t faces = 0, vertices = 0;
        GetSubsetCounts(s, &faces, &vertices);
        const mesh::XMaterial& xm = entry->MaterialBuffer[s];
        if (faces && vertices) {
            m_bNonEmpty[s] = 1;
            ++usable;
            if (xm.textureFile.empty()) {
                char line[400];
                std::snprintf(line, sizeof line, "Mesh %s - empty subset %i!", fileName, int(s));
                ErrorLog(line, nullptr);
            }
            ReportSubsets("subset #%i, name: %s", int(s), xm.textureFile.c_str());
            ReportSubsets("faces: %i, vertices: %i", int(faces), int(vertices));
            m_Materials[s] = ToMeshMaterial(xm);
            // A subset without a texture name keeps id 0: nothing to load.
            if (!xm.textureFile.empty()) {
                m_dwTextureId[s] = g_Renderer.LoadMeshTextures(xm.textureFile.c_str(), this, s);
                SetSubsetFlags(s);
            }
        } else if (vertices) {
            g_Console.Print3("Error! ", fileName, " has 0 faces, !0 vertices!");
        }
    }
    ReportSubsets("Usable materials: %i", usable);

    m_bCreated = 1;
    m_vScale = {1, 1, 1};
    m_fExtentSum = std::fabs(m_vBoxMax.x - m_vBoxMin.x) + std::fabs(m_vBoxMax.y - m_vBoxMin.y) +
                   std::fabs(m_vBoxMax.z - m_vBoxMin.z);
    BuildSubsetTable();
}

void EMesh::SetSubsetFlags(uint32_t subset) {
    const strtexture* t = g_Renderer.GetTexture(m_dwTextureId[subset]);
    if (!t) return;
    const TextureDescription& d = t->desc;
    m_bTransparent[subset] = d.bTransparent;
    m_bExcluded[subset] = d.bAdditive || d.bStain || d.bTranslucent || d.bRayOfLight || t->bDoNotRender;
    m_bNoIntersect[subset] = d.bNoIntersect;
    m_bNoShadow[subset] = d.bDoNotCastShadow;
}

void EMesh::GetSubsetCounts(uint32_t subset, uint32_t* faces, uint32_t* vertices) const {
    const mesh::Mesh* m = g_MeshMgr.GetD3DXMesh(m_iMeshId);
    if (!m || !faces || !vertices) return;
    for (const mesh::AttributeRange& r : m->AttributeTable()) {
        if (r.attribId == subset) {
            *faces = r.faceCount;
            *vertices = r.vertexCount;
            return;
        }
    }
}

void EMesh::BuildSubsetTable() {
    mesh::Mesh* m = g_MeshMgr.GetD3DXMesh(m_iMeshId);
    if (!m) return;
    void* vertexBytes = nullptr;
    void* indexBytes = nullptr;
    if (m->LockVertexBuffer(gfx::lock::ReadOnly, &vertexBytes) != gfx::Result::Ok) return;
    if (m->LockIndexBuffer(gfx::lock::ReadOnly, &indexBytes) != gfx::Result::Ok) {
        m->UnlockVertexBuffer();
        return;
    }
    const auto* vertices = static_cast<const mesh::Vertex*>(vertexBytes);
    const auto* indices = static_cast<const uint16_t*>(indexBytes);
    float r2 = 0;
    for (const mesh::AttributeRange& r : m->AttributeTable())
        for (uint32_t f = r.faceStart; f < r.faceStart + r.faceCount; ++f)
            for (int k = 0; k < 3; ++k)
                r2 = std::max(r2, math::Vec3LengthSq(vertices[indices[3 * f + k]].position));
    m->UnlockIndexBuffer();
    m->UnlockVertexBuffer();
    m_fModelRadiusSq = r2;
    m_fModelRadius = std::sqrt(r2);
    const float s = std::max(std::max(m_vScale.x, m_vScale.y), m_vScale.z);
    m_fScaledRadiusSq = r2 * s * s;
}

void EMesh::UpdateWorldMatrix() {
    if (m_hObject) m_vPosition = m_hObject->vPosition;
    const math::Vec3 angles = m_hObject ? m_hObject->vRotationAngles : math::Vec3{};
    if (angles.x == 0 && angles.y == 0 && angles.z == 0) {
        m_qRotation = m_qBaseRotation;
    } else {
        orientation o;
        o.SetQuaternion(m_qBaseRotation);
        const math::Vec3 axis1 = o.forward, axis2 = o.right, axis3 = o.up;
        constexpr float kDegree = 0.0174532924f;
        o.Rotate(axis1, angles.x * kDegree);
        o.Rotate(axis2, angles.y * kDegree);
        o.Rotate(axis3, angles.z * kDegree);
        m_qRotation = o.quaternion;
    }
    if (m_hObject) m_hObject->Orientation.SetQuaternion(m_qRotation);

    m_mWorld = math::MatrixTransformation(m_vScale, m_qRotation, m_vPosition);
    BoxCorners(m_vBoxMin, m_vBoxMax, m_vWorldCorners);
    for (int i = 0; i < 8; ++i) {
        m_vWorldCorners[i] = math::Vec3TransformCoord(m_vWorldCorners[i], m_mWorld);
        m_vWorldMin = i ? math::Vec3Minimize(m_vWorldMin, m_vWorldCorners[i]) : m_vWorldCorners[i];
        m_vWorldMax = i ? math::Vec3Maximize(m_vWorldMax, m_vWorldCorners[i]) : m_vWorldCorners[i];
    }
    math::MatrixInverse(m_mWorld, &m_mInvWorld);
    if (m_hObject) {
        g_IntersectSegment.RefreshObject(m_hObject);
        g_CollisionMgr.UpdateObject(m_hObject);
    }
}

void EMesh::SetOrientation(const math::Quat& q) {
    m_qBaseRotation = q;
    UpdateWorldMatrix();
}

void EMesh::GetOrientation(orientation* out) const {
    if (out) out->SetQuaternion(m_qRotation);
}

void EMesh::SetScale(const math::Vec3& scale) {
    m_vScale = scale;
    float m = scale.x > scale.y ? scale.x : scale.y;
    if (scale.z > m) m = scale.z;
    m_fScaledRadiusSq = m_fModelRadiusSq * m * m;
    m_fRadius = m * m_fBaseRadius;
    if (m_hObject) m_hObject->iRange = os::ClampToInt(m_fRadius);
    UpdateWorldMatrix();
    BuildSubsetTable();
}

void EMesh::GetScale(math::Vec3* out) const {
    if (out) *out = m_vScale;
}

void EMesh::GetWorldMatrix(math::Matrix* out) const {
    if (out) *out = m_mWorld;
}

void EMesh::SetRigidBodyPhysicsParams(const RigidBodyPhysicsParams* params) {
    if (params) m_RigidBody = *params;
}

void EMesh::GetRigidBodyPhysicsParams(RigidBodyPhysicsParams* params) const {
    if (params) *params = m_RigidBody;
}

void EMesh::SetPathGenerationParams(const PathGenerationParams* params) {
    if (params) m_PathGeneration = *params;
}

void EMesh::GetPathGenerationParams(PathGenerationParams* params) const {
    if (params) *params = m_PathGeneration;
}

void EMesh::SetDisappearTime(bool on, float seconds) {
    m_bDisappear = on ? 1 : 0;
    m_fDisappearTime = seconds;
}

bool EMesh::IntersectSegmentBox(const math::Vec3* a, const math::Vec3* b) const {
    if (!a || !b) return false;
    const CollisionMeshEntry* entry = g_CollisionMgr.GetEntry(m_hObject);
    return entry && SegmentBoxCornersIntersect(*a, *b, entry->vWorldCorners);
}

void EMesh::ReleaseMaterials() {
    if (!m_bCreated) return;
    g_Renderer.UnlinkMesh(this);
    if (m_Materials.empty()) return;
    m_Materials.clear();
    g_Debug.RemoveAllocation("m_pMeshMaterials");
}
