#include "physics/RigidBodySimulation.h"

#include <cmath>
#include <cstring>
#include <strings.h>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/Geometry.h"
#include "app/Timer.h"
#include "physics/RigidBodyJointsMgr.h"
#include "physics/RigidBodyParametersMgr.h"
#include "platform/os/Os.h"
#include "render/Mesh.h"
#include "skinmesh/SkinMesh.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

ERigidBodySimulation g_RigidBodySimulation;

void RigidBodySlot::Init(ERigidBodyPhysics* body, uint32_t index) {
    *this = RigidBodySlot{};
    bUsed = true;
    pBody = body;
    if (body) {
        body->m_dwSlot = index + 1;
        body->m_bActive = 0;
    }
}

bool ERigidBodySimulation::Reset() {
    Destroy();
    m_dwNumSlots = 0;
    os::Srand(uint32_t(int64_t(DXUtilTimer(TIMER_GETABSOLUTETIME) * 100.0)));
    g_RigidBodyParametersMgr.Init();
    BuildNoCollisionMarkers();
    m_bInitialised = true;
    return true;
}

void ERigidBodySimulation::Destroy() {
    if (!m_bInitialised) return;
    m_dwNumMarkers = 0;
    for (uint32_t i = 0; i < m_dwNumSlots; ++i)
        if (m_Slots[i].bUsed) RemoveBody(&m_Slots[i]);
    m_dwNumSlots = 0;
    m_dwNumActive = 0;
    g_RigidBodyParametersMgr.Destroy();
}

RigidBodySlot* ERigidBodySimulation::SlotOf(uint32_t ref) {
    if (ref < 1 || ref > MAX_SLOTS || !m_Slots[ref - 1].bUsed) return nullptr;
    return &m_Slots[ref - 1];
}

uint32_t ERigidBodySimulation::RefOf(const RigidBodySlot* slot) const {
    return slot ? uint32_t(slot - m_Slots) + 1 : 0;
}

RigidBodySlot* ERigidBodySimulation::AllocateSlot(ERigidBodyPhysics* body) {
    uint32_t i = 0;
    while (i < m_dwNumSlots && m_Slots[i].bUsed)
        ++i;
    if (i == m_dwNumSlots) {
        if (m_dwNumSlots >= MAX_SLOTS) return nullptr;
        ++m_dwNumSlots;
    }
    m_Slots[i].Init(body, i);
    return &m_Slots[i];
}

RigidBodySlot* ERigidBodySimulation::AddBody(ObjectRecord* h, RigidBodySlot* slot) {
    if (!h || !h->bUsed || !h->Mesh()) return nullptr;
    RigidBodyPhysicsParams params;
    params.Reset();
    GetObjectRigidBodyPhysicsParams(h, &params);
    if (params.iShape == 0 && !params.bSpherePreset && !params.bBoxPreset) return nullptr;

    auto* body = new ERigidBodyPhysics;
    g_Debug.AddAllocation("ERigidBodyPhysics");
    RigidBodySlot* s = nullptr;
    if (body->Create(h)) {
        if (slot && !slot->bUsed && slot >= m_Slots && slot < m_Slots + MAX_SLOTS) {
            const uint32_t i = uint32_t(slot - m_Slots);
            slot->Init(body, i);
            if (i >= m_dwNumSlots) m_dwNumSlots = i + 1;
            s = slot;
        } else {
            s = AllocateSlot(body);
        }
    }
    if (!s) {
        delete body;
        g_Debug.RemoveAllocation("ERigidBodyPhysics");
        return nullptr;
    }
    if (body->m_hConstructionObj) {
        body->m_hConstructionObj->dwRigidBody2 = RefOf(s);
        body->m_hConstructionObj->dwRigidBody = 0;
    }
    h->dwRigidBody2 = 0;
    if (params.bJointOn) JoinAsSet(h, params);
    return s;
}

// The joint the settings ask for: the object at its socket to the named
// object at that object's socket, the sockets naming the axes as well.
void ERigidBodySimulation::JoinAsSet(ObjectRecord* h, const RigidBodyPhysicsParams& p) {
    char target[sizeof p.szJointToObject + 1] = {}, mine[sizeof p.szJointMySocket + 1] = {},
         theirs[sizeof p.szJointObjectSocket + 1] = {};
    std::memcpy(target, p.szJointToObject, sizeof p.szJointToObject);
    std::memcpy(mine, p.szJointMySocket, sizeof p.szJointMySocket);
    std::memcpy(theirs, p.szJointObjectSocket, sizeof p.szJointObjectSocket);
    ObjectRecord* other = target[0] ? g_Engine.FindObjectByName(target) : nullptr;
    if (other) g_RigidBodyJointsMgr.AddJoint(h, mine, other, theirs, 0, JOINT_KEPT_VALUE, mine, theirs);
}

void ERigidBodySimulation::RemoveJointsOfObject(ObjectRecord* h) {
    if (h) g_RigidBodyJointsMgr.RemoveJoints(h);
}

void ERigidBodySimulation::RemoveBody(RigidBodySlot* slot) {
    if (!slot || !slot->bUsed) return;
    if (ERigidBodyPhysics* body = slot->pBody) {
        ObjectRecord* h = body->m_hObject;
        RemoveJointsOfObject(h);
        if (body->m_bActive && m_dwNumActive > 0) --m_dwNumActive;
        delete body;
        g_Debug.RemoveAllocation("ERigidBodyPhysics");
        slot->pBody = nullptr;
        if (h) h->dwRigidBody = h->dwRigidBody2 = 0;
    }
    slot->bUsed = false;
    m_dwNumSlots = 0;
    for (uint32_t i = 0; i < MAX_SLOTS; ++i)
        if (m_Slots[i].bUsed) m_dwNumSlots = i + 1;
}

bool ERigidBodySimulation::FindSlot(ObjectRecord* h, RigidBodySlot** out) {
    if (!out) return false;
    *out = nullptr;
    if (!h) return false;
    for (uint32_t ref : {h->dwRigidBody2, h->dwRigidBody}) {
        if (!ref) continue;
        RigidBodySlot* s = SlotOf(ref);
        if (s && s->pBody) {
            *out = s;
            return true;
        }
        break;
    }
    for (uint32_t i = 0; i < m_dwNumSlots; ++i) {
        RigidBodySlot& s = m_Slots[i];
        if (!s.bUsed || !s.pBody) continue;
        if (s.pBody->m_hConstructionObj == h || s.pBody->m_hObject == h) {
            *out = &s;
            return true;
        }
    }
    return false;
}

bool ERigidBodySimulation::FindBody(ObjectRecord* h, ERigidBodyPhysics** out) {
    if (!out) return false;
    RigidBodySlot* s = nullptr;
    const bool found = FindSlot(h, &s);
    *out = found ? s->pBody : nullptr;
    return found;
}

void ERigidBodySimulation::ApplyImpulse(ObjectRecord* h, const double point[3], const double impulse[3]) {
    ERigidBodyPhysics* body = nullptr;
    if (!FindBody(h, &body) || !body->m_bInUse) return;
    if (!body->m_bActive && body->m_hObject) {
        math::Vec3 pos;
        GetObjectPosition(body->m_hObject, &pos);
        const double d[3] = {pos.x - body->m_State.x[0], pos.y - body->m_State.x[1],
                             pos.z - body->m_State.x[2]};
        // The object was moved while the body slept.
        if (std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) > 1.0) body->Init();
    }
    body->Activate();
    const RigidBodyPhysicsParams& p = body->m_Params;
    if (!p.bSpherePreset && !p.bBoxPreset) WakeTouchingBodies(h);
    body->ApplyImpulse(p.bSpherePreset ? body->m_State.x : point, impulse);
}

void ERigidBodySimulation::ApplyImpulse(ObjectRecord* h, const math::Vec3& point, const math::Vec3& impulse) {
    const double p[3] = {point.x, point.y, point.z}, j[3] = {impulse.x, impulse.y, impulse.z};
    ApplyImpulse(h, p, j);
}

void ERigidBodySimulation::AddImpulse(ObjectRecord* h, const float* point, const float* impulse) {
    if (!h || !point || !impulse) return;
    const double p[3] = {point[0], point[1], point[2]}, j[3] = {impulse[0], impulse[1], impulse[2]};
    ApplyImpulse(h, p, j);
}

void ERigidBodySimulation::WakeTouchingBodies(ObjectRecord* h) {
    ERigidBodyPhysics* listed[MAX_WOKEN] = {};
    uint32_t n = 0;
    if (!FindBody(h, &listed[0])) return;
    n = 1;
    for (uint32_t k = 0; k < n; ++k) {
        ERigidBodyPhysics* b = listed[k];
        if (!b->m_pFinder) continue;
        for (TouchNode* t = b->m_pFinder->pTouchList; t; t = t->pNext) {
            ObjectRecord* o = t->hObject;
            if (!t->bUsed || !o) continue;
            if (o->dwType == OT_SKINMESH && o->SkinMesh()) {
                o->SkinMesh()->WakeRagDoll();
                continue;
            }
            ERigidBodyPhysics* other = nullptr;
            if (n >= MAX_WOKEN || !FindBody(o, &other)) continue;
            if (other->m_Params.bSpherePreset || other->m_Params.bBoxPreset) continue;
            bool already = false;
            for (uint32_t i = 0; i < n; ++i)
                already |= listed[i] == other;
            if (!already && BoxGap(b->m_hConstructionObj, o) < WAKE_GAP) listed[n++] = other;
        }
    }
    for (uint32_t i = 1; i < n; ++i)
        listed[i]->Activate();
}

float ERigidBodySimulation::BoxGap(ObjectRecord* a, ObjectRecord* b) {
    if (!a || !b) return 0.0f;
    const CollisionMeshEntry* ea = g_CollisionMgr.GetEntry(a);
    const CollisionMeshEntry* eb = g_CollisionMgr.GetEntry(b);
    if (!ea || !eb) return 0.0f;
    const float amin[3] = {ea->vWorldMin.x, ea->vWorldMin.y, ea->vWorldMin.z};
    const float amax[3] = {ea->vWorldMax.x, ea->vWorldMax.y, ea->vWorldMax.z};
    const float bmin[3] = {eb->vWorldMin.x, eb->vWorldMin.y, eb->vWorldMin.z};
    const float bmax[3] = {eb->vWorldMax.x, eb->vWorldMax.y, eb->vWorldMax.z};
    bool separated = false;
    float best = 0.0f;
    for (int k = 0; k < 3; ++k) {
        float gap = -1.0f;
        if (bmin[k] - amax[k] >= 0.0f)
            gap = bmin[k] - amax[k];
        else if (amin[k] - bmax[k] >= 0.0f)
            gap = amin[k] - bmax[k];
        if (gap < 0.0f) continue;
        if (!separated || gap < best) best = gap;
        separated = true;
    }
    return separated ? best : 0.0f;
}

void ERigidBodySimulation::BuildNoCollisionMarkers() {
    m_dwNumMarkers = 0;
    for (int i = 0; i < EEngine::SEARCH_END; ++i) {
        ObjectRecord* h = g_Engine.Object(i);
        if (!h || !h->bUsed || h->dwType != OT_MESH || !h->Mesh()) continue;
        const EMesh* mesh = h->Mesh();
        if (strcasecmp(mesh->m_szFileName, MARKER_MESH) != 0) continue;
        if (m_dwNumMarkers + 1 >= MAX_MARKERS) {
            g_Console.Print("");
            g_Console.Print("FATAL ERROR in ERigidBodySimulation: Too Many NO COLLISION Markers!!!");
            g_Console.Print("");
            return;
        }
        NoCollisionMarker& m = m_Markers[m_dwNumMarkers++];
        m.Clear();
        m.bUsed = true;
        m.vMin = mesh->m_vWorldMin;
        m.vMax = mesh->m_vWorldMax;
        for (int c = 0; c < 8; ++c)
            m.vCorners[c] = mesh->m_vWorldCorners[c];
        g_Engine.DeleteObject(h);
    }
}

bool ERigidBodySimulation::IsInNoCollisionMarker(double x, double y, double z) const {
    const math::Vec3 a{float(x), float(y), float(z)};
    const math::Vec3 b{a.x + 1.0f, a.y + 1.0f, a.z + 1.0f};
    for (uint32_t i = 0; i < m_dwNumMarkers; ++i) {
        const NoCollisionMarker& m = m_Markers[i];
        if (x < m.vMin.x || y < m.vMin.y || z < m.vMin.z || x > m.vMax.x || y > m.vMax.y || z > m.vMax.z)
            continue;
        if (SegmentBoxCornersIntersect(a, b, m.vCorners)) return true;
    }
    return false;
}

void ERigidBodySimulation::SaveGame(ObjectRecord* h, std::FILE* f) {
    ERigidBodyPhysics* body = nullptr;
    if (!h || !f || !h->dwRigidBody || !FindBody(h, &body)) return;
    body->Save(f);
}

void ERigidBodySimulation::LoadGame(ObjectRecord* h, std::FILE* f) {
    ERigidBodyPhysics* body = nullptr;
    if (!h || !f || !h->dwRigidBody || !FindBody(h, &body)) return;
    body->Load(f);
}
