#include "world/VisBlockers.h"

#include "app/Console.h"
#include "app/Geometry.h"
#include "platform/math/Math.h"
#include "render/Mesh.h"
#include "render/MeshMgr.h"
#include "skinmesh/SkinMesh.h"
#include "world/ObjectRecord.h"

VisBlockers g_VisBlockers;

bool VisBlockers::AddBlocker(ObjectRecord* h) {
    for (int i = 0; i < MAX_VISIBILITY_BLOCKERS; ++i) {
        if (m_Blockers[i].bUsed) continue;
        if (m_iCount < i + 1) m_iCount = i + 1;
        return Build(h, i);
    }
    g_Console.Print("* VisBlockers.cpp * AddBlocker() * MAX_VISIBILITY_BLOCKERS exceeded!");
    return false;
}

bool VisBlockers::Build(ObjectRecord* h, int index) {
    if (!h || index < 0 || index >= MAX_VISIBILITY_BLOCKERS) return false;
    Blocker& b = m_Blockers[index];
    for (auto& triangle : b.vTriangles)
        for (auto& corner : triangle)
            corner = math::Vec3();
    // The first two faces of the mesh, moved into the world (fewer when the
    // mesh has fewer; the rest stays zero).
    if (EMesh* mesh = h->Mesh()) {
        math::Matrix world;
        mesh->GetWorldMatrix(&world);
        if (const mesh::Mesh* m = g_MeshMgr.GetD3DXMesh(mesh->m_iMeshId)) {
            const mesh::Mesh& data = *m;
            size_t faces = data.Indices().size() / 3;
            for (size_t f = 0; f < 2 && f < faces; ++f)
                for (int c = 0; c < 3; ++c) {
                    uint32_t v = data.Indices()[f * 3 + c];
                    if (v < data.Vertices().size())
                        b.vTriangles[f][c] = math::Vec3TransformCoord(data.Vertices()[v].position, world);
                }
        }
    }
    b.hObject = h;
    b.bUsed = 1;
    return true;
}

void VisBlockers::Clear() {
    for (Blocker& b : m_Blockers) {
        b.bUsed = 0;
        b.hObject = nullptr;
    }
    m_iCount = 0;
}

bool VisBlockers::SamplePoints(ObjectRecord* h, math::Vec3 points[9]) {
    ESkinMesh* skin = h ? h->SkinMesh() : nullptr;
    if (!skin) return false;
    math::Vec3 min, max;
    skin->GetBoundingBox(&min, &max);
    BoxCorners(min, max, points);
    const math::Matrix world =
        math::MatrixTransformation(skin->GetScale(), skin->GetOrientation().quaternion, skin->GetPosition());
    for (int i = 0; i < 8; ++i)
        points[i] = math::Vec3TransformCoord(points[i], world);
    points[8] = h->vPosition;
    return true;
}

bool VisBlockers::IsSegmentBlocked(const math::Vec3& from, const math::Vec3& to) const {
    for (int i = 0; i < m_iCount; ++i) {
        const Blocker& b = m_Blockers[i];
        if (!b.bUsed) continue;
        for (const auto& t : b.vTriangles)
            if (SegmentTriangleIntersect(from, to, t[0], t[1], t[2])) return true;
    }
    return false;
}

bool VisBlockers::IsObjectHidden(const math::Vec3& eye, ObjectRecord* h) const {
    math::Vec3 points[9];
    if (!SamplePoints(h, points)) return false;
    for (const math::Vec3& p : points)
        if (!IsSegmentBlocked(eye, p)) return false;
    return true;
}
