#include "physics/RigidBodySimulation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <strings.h>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/Geometry.h"
#include "app/Timer.h"
#include "physics/RigidBodyJointsMgr.h"
#include "physics/RigidBodyParametersMgr.h"
#include "physics/RigidBodyQP.h"
#include "platform/os/Os.h"
#include "render/Mesh.h"
#include "skinmesh/SkinMesh.h"
#include "world/BezierMgr.h"
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
    m_ClassifiedContacts.dwNumContacts = 0;
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

namespace {

// R Ibody R^T w: the world inertia tensor applied to w.
void WorldInertiaTimes(const RigidBodyState& s, const double w[3], double out[3]) {
    const double* R = s.R;
    double local[3], scaled[3];
    for (int i = 0; i < 3; ++i)
        local[i] = R[i] * w[0] + R[3 + i] * w[1] + R[6 + i] * w[2];
    for (int i = 0; i < 3; ++i)
        scaled[i] = s.Ibody[i * 3] * local[0] + s.Ibody[i * 3 + 1] * local[1] + s.Ibody[i * 3 + 2] * local[2];
    for (int i = 0; i < 3; ++i)
        out[i] = R[i * 3] * scaled[0] + R[i * 3 + 1] * scaled[1] + R[i * 3 + 2] * scaled[2];
}

double Length(const double v[3]) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

double Dot(const double a[3], const double b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void Cross(const double a[3], const double b[3], double out[3]) {
    const double c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    out[0] = c[0];
    out[1] = c[1];
    out[2] = c[2];
}

// a / |a|, where a zero length counts as 1.
void Normalise(double a[3]) {
    double len = Length(a);
    if (len == 0.0) len = 1.0;
    for (int k = 0; k < 3; ++k)
        a[k] /= len;
}

void MulMat(const double m[9], const double v[3], double out[3]) {
    const double r[3] = {m[0] * v[0] + m[1] * v[1] + m[2] * v[2], m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
                         m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
    out[0] = r[0];
    out[1] = r[1];
    out[2] = r[2];
}

// v + omega x (p - x) of a body, zero without one.
void PointSpeed(const ERigidBodyPhysics* b, const double p[3], double out[3]) {
    out[0] = out[1] = out[2] = 0.0;
    if (!b) return;
    const RigidBodyState& s = b->m_State;
    const double r[3] = {p[0] - s.x[0], p[1] - s.x[1], p[2] - s.x[2]};
    Cross(s.omega, r, out);
    for (int k = 0; k < 3; ++k)
        out[k] += s.v[k];
}

// n . ((Iinv (r x f)) x r'): how a force f at r turns the point r' along n.
double TurnAlong(const RigidBodyState& s, const double r[3], const double f[3], const double r2[3],
                 const double n[3]) {
    double t[3], w[3], a[3];
    Cross(r, f, t);
    MulMat(s.Iinv, t, w);
    Cross(w, r2, a);
    return Dot(n, a);
}

double Distance(const double a[3], const double b[3]) {
    const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return Length(d);
}

// +1 when the body is a contact's object A, -1 when it is object B, else 0.
double TakesPart(const ERigidBodyPhysics* body, const RigidBodyContact& c) {
    const auto isBody = [&](const ObjectRecord* o) {
        return o && (o == body->m_hConstructionObj || o == body->m_hObject);
    };
    return isBody(c.hObjectA) ? 1.0 : isBody(c.hObjectB) ? -1.0 : 0.0;
}

double LinearKineticEnergy(const RigidBodyState& s) {
    return 0.5 * s.mass * (s.v[0] * s.v[0] + s.v[1] * s.v[1] + s.v[2] * s.v[2]);
}

} // namespace

double RotationalKineticEnergy(const RigidBodyState* s) {
    if (!s) return 0.0;
    double Iw[3];
    WorldInertiaTimes(*s, s->omega, Iw);
    return 0.5 * (s->omega[0] * Iw[0] + s->omega[1] * Iw[1] + s->omega[2] * Iw[2]);
}

void ScaleSpin(RigidBodyState* s, double factor) {
    if (!s) return;
    for (double& w : s->omega)
        w *= factor;
    WorldInertiaTimes(*s, s->omega, s->L);
}

void ERigidBodySimulation::PutBodyToRest(uint32_t i) {
    RigidBodySlot& slot = m_Slots[i];
    ERigidBodyPhysics* body = slot.pBody;
    if (!slot.bUsed || !body || !body->m_bInUse) return;
    body->Deactivate();
    body->StopMomentum();
    for (RigidBodyState& s : slot.Snapshots)
        s = body->m_State;
    body->m_dSleepCountdown = REST_COUNTDOWN;
}

bool ERigidBodySimulation::RestIfNotFinite(uint32_t i) {
    RigidBodySlot& slot = m_Slots[i];
    ERigidBodyPhysics* body = slot.pBody;
    if (!slot.bUsed || !body || !body->m_bInUse || body->m_State.AllFinite()) return false;
    const RigidBodyState* last = nullptr;
    for (const RigidBodyState& s : slot.Snapshots)
        if (!last && s.AllFinite()) last = &s;
    if (last) {
        body->m_State = *last;
    } else {
        const uint8_t wasActive = body->m_bActive;
        body->Init();
        body->m_bActive = wasActive;
    }
    const char* name = body->m_hObject ? body->m_hObject->szName : "";
    g_Console.Printf("ERROR in ERigidBodySimulation: body %s not finite, put to rest at (%g, %g, %g)", name,
                     body->m_State.x[0], body->m_State.x[1], body->m_State.x[2]);
    PutBodyToRest(i);
    return true;
}

void ERigidBodySimulation::LimitSpeeds(ERigidBodyPhysics* body) {
    const RigidBodyPhysicsParams& p = body->m_Params;
    if (p.bSpherePreset) return;
    RigidBodyState& s = body->m_State;
    const double maxSpeed = p.bBoxPreset ? MAX_SPEED_BOX_PRESET : MAX_SPEED;
    const double speed = Length(s.v);
    if (speed > maxSpeed) {
        for (int k = 0; k < 3; ++k) {
            s.v[k] *= maxSpeed / speed;
            s.P[k] = s.mass * s.v[k];
        }
    }
    const double maxSpin = p.bBoxPreset ? MAX_SPIN_BOX_PRESET : MAX_SPIN;
    const double spin = Length(s.omega);
    if (spin > maxSpin) ScaleSpin(&s, maxSpin / spin);
}

void ERigidBodySimulation::StoreKineticEnergy(uint32_t i) {
    RigidBodyState& s = m_Slots[i].pBody->m_State;
    s.kept[0] = LinearKineticEnergy(s);
    s.kept[1] = RotationalKineticEnergy(&s);
}

void ERigidBodySimulation::LimitKineticEnergy(uint32_t i) {
    RigidBodyState& s = m_Slots[i].pBody->m_State;
    const double linBefore = s.kept[0], rotBefore = s.kept[1];
    const double lin = LinearKineticEnergy(s), rot = RotationalKineticEnergy(&s);
    if (lin + rot <= linBefore + rotBefore) return;
    const double excess = lin + rot - (linBefore + rotBefore);
    const bool linGrew = linBefore < lin, rotGrew = rotBefore < rot;
    double newLin = lin, newRot = rot;
    if (rotGrew && !linGrew) {
        newRot = rot - excess;
    } else if (linGrew && !rotGrew) {
        newLin = lin - excess;
    } else if (linGrew && rotGrew) {
        newLin = linBefore;
        newRot = rotBefore;
    }
    newLin = std::max(newLin, 0.0);
    newRot = std::max(newRot, 0.0);
    // Only v and omega: P and L keep the response's values.
    const double speed = Length(s.v);
    if (speed > 0.0 && s.mass > 0.0) {
        const double target = std::sqrt(2.0 * newLin / s.mass);
        for (double& v : s.v)
            v *= target / speed;
    }
    if (rot > 0.0)
        for (double& w : s.omega)
            w *= std::sqrt(newRot / rot);
}

void ERigidBodySimulation::ClassifyContacts(RigidBodyContactList* raw) {
    m_ClassifiedContacts.dwNumContacts = 0;
    if (!raw) return;
    for (uint32_t i = 0; i < raw->dwNumContacts && i < RigidBodyContactList::MAX_CONTACTS; ++i) {
        RigidBodyContact& c = raw->Contacts[i];
        Normalise(c.n);
        ERigidBodyPhysics *a = nullptr, *b = nullptr;
        FindBody(c.hObjectA, &a);
        FindBody(c.hObjectB, &b);
        double va[3], vb[3], vr[3], t[3];
        PointSpeed(a, c.p, va);
        PointSpeed(b, c.p, vb);
        for (int k = 0; k < 3; ++k)
            vr[k] = va[k] - vb[k];
        c.dRelativeSpeed = Dot(c.n, vr);
        Cross(vr, c.n, t);
        Cross(c.n, t, c.vTangent);
        Normalise(c.vTangent);
        const bool sphere = (a && a->m_Params.bSpherePreset) || (b && b->m_Params.bSpherePreset);
        if (c.dRelativeSpeed >= 0.0 && (c.dRelativeSpeed >= SEPARATING_ANSWERED || sphere)) continue;
        RigidBodyContact& kept = m_ClassifiedContacts.Contacts[m_ClassifiedContacts.dwNumContacts++];
        kept = c;
        // Slowly separating: answered as if it approached from the other side.
        if (c.dRelativeSpeed >= 0.0)
            for (double& v : kept.n)
                v *= -1.0;
    }
}

void ERigidBodySimulation::ApplyContactImpulse(const RigidBodyContact& c, double j) {
    ERigidBodyPhysics* bodies[2] = {};
    FindBody(c.hObjectA, &bodies[0]);
    FindBody(c.hObjectB, &bodies[1]);
    for (int side = 0; side < 2; ++side) {
        ERigidBodyPhysics* b = bodies[side];
        if (!b) continue;
        RigidBodyState& s = b->m_State;
        double speed[3], J[3], r[3], turn[3];
        PointSpeed(b, c.p, speed);
        const bool sliding = Length(speed) > FRICTION_MIN_SPEED;
        for (int k = 0; k < 3; ++k) {
            J[k] = j * c.n[k] - (sliding ? FRICTION * j * c.vTangent[k] : 0.0);
            r[k] = c.p[k] - s.x[k];
        }
        Cross(r, J, turn);
        const double sign = side == 0 ? 1.0 : -1.0;
        for (int k = 0; k < 3; ++k) {
            s.P[k] += sign * J[k];
            s.L[k] += sign * turn[k];
            s.v[k] = s.P[k] / s.mass;
        }
        MulMat(s.Iinv, s.L, s.omega);
        b->KeepAwake();
    }
}

void ERigidBodySimulation::ApplyCollisionImpulses() {
    for (uint32_t i = 0; i < m_ClassifiedContacts.dwNumContacts; ++i) {
        RigidBodyContact& c = m_ClassifiedContacts.Contacts[i];
        Normalise(c.n);
        ERigidBodyPhysics *a = nullptr, *b = nullptr;
        FindBody(c.hObjectA, &a);
        FindBody(c.hObjectB, &b);
        double va[3], vb[3], vr[3];
        PointSpeed(a, c.p, va);
        PointSpeed(b, c.p, vb);
        for (int k = 0; k < 3; ++k)
            vr[k] = va[k] - vb[k];
        const double vrel = Dot(c.n, vr);
        if (!(vrel < 0.0)) continue;
        double denominator = 0.0;
        for (const ERigidBodyPhysics* body : {a, b}) {
            if (!body) continue;
            const RigidBodyState& s = body->m_State;
            const double r[3] = {c.p[0] - s.x[0], c.p[1] - s.x[1], c.p[2] - s.x[2]};
            denominator += 1.0 / s.mass + TurnAlong(s, r, c.n, r, c.n);
        }
        if (denominator == 0.0) continue; // nothing that can move
        const bool sphere = (a && a->m_Params.bSpherePreset) || (b && b->m_Params.bSpherePreset);
        ApplyContactImpulse(c, -(sphere ? BOUNCE_SPHERE_PRESET : BOUNCE) * vrel / denominator);
    }
}

bool ERigidBodySimulation::ComputeContactImpulses() {
    const uint32_t n = m_ClassifiedContacts.dwNumContacts;
    if (n > MAX_SOLVED_CONTACTS) return false;
    ERigidBodyPhysics* bodies[MAX_SOLVED_CONTACTS][2] = {};
    for (uint32_t i = 0; i < n; ++i) {
        RigidBodyContact& c = m_ClassifiedContacts.Contacts[i];
        Normalise(c.n);
        FindBody(c.hObjectA, &bodies[i][0]);
        FindBody(c.hObjectB, &bodies[i][1]);
        const bool sphere = (bodies[i][0] && bodies[i][0]->m_Params.bSpherePreset) ||
                            (bodies[i][1] && bodies[i][1]->m_Params.bSpherePreset);
        m_b[i] = c.dRelativeSpeed * (sphere ? BOUNCE_SPHERE_PRESET : BOUNCE);
    }
    // Row i: contact i's relative normal speed for a unit impulse at contact
    // j, which pushes j's first body along n_j and its second against it.
    for (uint32_t i = 0; i < n; ++i) {
        const RigidBodyContact& ci = m_ClassifiedContacts.Contacts[i];
        for (uint32_t j = 0; j < n; ++j) {
            const RigidBodyContact& cj = m_ClassifiedContacts.Contacts[j];
            double sum = 0.0;
            for (int side = 0; side < 2; ++side) {
                const ERigidBodyPhysics* body = bodies[i][side];
                if (!body) continue;
                double push = 0.0;
                if (body == bodies[j][0]) push += 1.0;
                if (body == bodies[j][1]) push -= 1.0;
                if (push == 0.0) continue;
                const RigidBodyState& s = body->m_State;
                const double rj[3] = {cj.p[0] - s.x[0], cj.p[1] - s.x[1], cj.p[2] - s.x[2]};
                const double ri[3] = {ci.p[0] - s.x[0], ci.p[1] - s.x[1], ci.p[2] - s.x[2]};
                const double f[3] = {push * cj.n[0], push * cj.n[1], push * cj.n[2]};
                const double K = Dot(ci.n, f) / s.mass + TurnAlong(s, rj, f, ri, ci.n);
                sum += side == 0 ? K : -K;
            }
            m_A[i * n + j] = sum;
        }
    }
    if (!g_RigidBodyQP.ComputeForces(n, m_A, m_b, false)) return false;
    for (uint32_t i = 0; i < n; ++i)
        if (g_RigidBodyQP.m_f[i] >= 0.0)
            ApplyContactImpulse(m_ClassifiedContacts.Contacts[i], g_RigidBodyQP.m_f[i]);
    return true;
}

bool ERigidBodySimulation::DeflectFromContacts(uint32_t i) {
    ERigidBodyPhysics* body = m_Slots[i].pBody;
    if (!body) return false;
    double sum[3] = {};
    bool any = false;
    for (uint32_t k = 0; k < m_Contacts.dwNumContacts && k < RigidBodyContactList::MAX_CONTACTS; ++k) {
        const RigidBodyContact& c = m_Contacts.Contacts[k];
        const double side = TakesPart(body, c);
        if (side == 0.0) continue;
        double n[3] = {c.n[0], c.n[1], c.n[2]};
        Normalise(n);
        const double r = std::clamp(double(os::Rand()) / 32767.0, 0.0, 1.0);
        for (int k2 = 0; k2 < 3; ++k2)
            sum[k2] += side * r * n[k2];
        any = true;
    }
    if (!any) return false;
    Normalise(sum);
    RigidBodyState& s = body->m_State;
    const double speed = Length(s.v);
    for (int k = 0; k < 3; ++k)
        s.v[k] = sum[k] * speed;
    return true;
}

void ERigidBodySimulation::EscapeOffsets(double d, bool boxPreset, double out[12][3]) {
    const double directions[12][3] = {{0, 1, 0}, {0, -1, 0},  {1, 0, 0},   {-1, 0, 0},
                                      {0, 0, 1}, {0, 0, -1},  {0, 1, 1},   {1, 0, 1},
                                      {1, 1, 0}, {0, -1, -1}, {-1, 0, -1}, {-1, -1, 0}};
    int order[12];
    for (int k = 0; k < 12; ++k)
        order[k] = k;
    // Each draw picks one of the directions not yet picked and parks it at k:
    // the first picked ends at 11.
    for (int k = 11; k >= 0; --k)
        std::swap(order[os::Rand() % (k + 1)], order[k]);
    for (int k = 0; k < 12; ++k)
        for (int c = 0; c < 3; ++c) {
            out[k][c] = directions[order[11 - k]][c] * d;
            if (boxPreset && c == 1) out[k][c] = std::fabs(out[k][c]);
        }
}

size_t ERigidBodySimulation::WriteSaveBlock(ObjectRecord* h, uint8_t block[SAVE_BLOCK_SIZE]) {
    RigidBodySlot* slot = nullptr;
    ERigidBodyPhysics* body = nullptr;
    if (!FindSlot(h, &slot) || !FindBody(h, &body) || !body) {
        block[0] = 0;
        return 1;
    }
    uint8_t* p = block;
    *p++ = 1;
    body->WriteBlock(p);
    p += ERigidBodyPhysics::SAVE_BLOCK_SIZE;
    for (const RigidBodyState& s : slot->Snapshots) {
        std::memcpy(p, &s, sizeof s);
        p += sizeof s;
    }
    std::memcpy(p, &slot->dwLastResult, 4);
    return SAVE_BLOCK_SIZE;
}

void ERigidBodySimulation::SaveGame(ObjectRecord* h, std::FILE* f) {
    if (!h || !f) return;
    uint8_t block[SAVE_BLOCK_SIZE];
    std::fwrite(block, 1, WriteSaveBlock(h, block), f);
}

namespace {

bool IsResultCode(uint32_t r) {
    return r == 0 || r == 1 || r == 2 || r == 4 || r == 5;
}

} // namespace

bool ERigidBodySimulation::ReadSaveBlock(ObjectRecord* h, const uint8_t* block, size_t size) {
    if (!h) return true;
    const char* name = h->szName;
    // Lines short enough for the console with a name of 31 characters.
    if (size == 0) {
        g_Console.Printf("ERROR: rigid body of <%s> cut at 0 of %zu bytes", name, SAVE_BLOCK_SIZE);
        return false;
    }
    if (block[0] == 0) return true;
    RigidBodySlot* slot = nullptr;
    ERigidBodyPhysics* body = nullptr;
    if (block[0] != 1 || !FindSlot(h, &slot) || !FindBody(h, &body) || !body) {
        if (block[0] == 1) {
            g_Console.Print("ERROR in ERigidBodySimulation::LoadGame()");
            g_Console.Printf("obiekt <%s> ma zapisana fizyke i musze ja odczytac, ale", name);
            g_Console.Print("fizyka dla niego nie jest zainicjowana i");
            g_Console.Print("nie mam dokad zapisac tych parametrow!");
            return size == SAVE_BLOCK_SIZE;
        }
        g_Console.Printf("ERROR: rigid body of <%s> has the flag %d", name, int(block[0]));
        return false;
    }
    if (size < SAVE_BLOCK_SIZE) {
        g_Console.Printf("ERROR: rigid body of <%s> cut at %zu of %zu bytes", name, size, SAVE_BLOCK_SIZE);
        return false;
    }
    const uint8_t* saved = block + 1;
    RigidBodyState snapshots[4];
    const uint8_t* p = saved + ERigidBodyPhysics::SAVE_BLOCK_SIZE;
    for (RigidBodyState& s : snapshots) {
        std::memcpy(&s, p, sizeof s);
        p += sizeof s;
    }
    uint32_t lastResult;
    std::memcpy(&lastResult, p, 4);
    bool sound = ERigidBodyPhysics::IsBlockSound(saved) && IsResultCode(lastResult);
    for (const RigidBodyState& s : snapshots)
        sound = sound && s.AllFinite();
    if (!sound) {
        g_Console.Printf("ERROR: rigid body of <%s> cannot move, not loaded", name);
        return false;
    }
    body->ReadBlock(saved);
    std::memcpy(slot->Snapshots, snapshots, sizeof snapshots);
    slot->dwLastResult = lastResult;
    body->UpdateObject();
    return true;
}

bool ERigidBodySimulation::LoadGame(ObjectRecord* h, std::FILE* f, size_t length) {
    if (!h || !f) return true;
    uint8_t block[SAVE_BLOCK_SIZE];
    size_t size = length > 0 ? std::fread(block, 1, 1, f) : 0;
    if (size == 1 && block[0] == 1)
        size += std::fread(block + 1, 1, std::min(length, SAVE_BLOCK_SIZE) - 1, f);
    return ReadSaveBlock(h, block, size);
}

// ---- The frame ----------------------------------------------------------------------------

void ERigidBodySimulation::Update() {
    if (g_Engine.m_bReducedRenderMode) return;
    Simulate();
}

void ERigidBodySimulation::Simulate() {
    // A frame time that is not a positive number moves nothing.
    const double frame = g_Engine.m_fFrameTime;
    const double h = frame > 0.0 ? std::min(frame, MAX_FRAME_TIME) : 0.0;
    const double T = h;
    for (uint32_t i = 0; i < m_dwNumSlots; ++i) {
        RigidBodySlot& slot = m_Slots[i];
        if (!slot.bUsed) continue;
        slot.bDone = false;
        if (slot.pBody) slot.pBody->m_State.t = 0.0;
    }
    for (int round = 0; round < 2; ++round) {
        JointPass();
        for (uint32_t i = 0; i < m_dwNumSlots; ++i)
            if (ERigidBodyPhysics* b = ActiveBody(i); b && !RestIfNotFinite(i)) b->UpdateObject();
        for (uint32_t i = 0; i < m_dwNumSlots; ++i) {
            ERigidBodyPhysics* b = ActiveBody(i);
            if (!b) continue;
            RigidBodyState* snap = m_Slots[i].Snapshots;
            snap[3] = snap[2];
            snap[2] = snap[1];
            snap[1] = snap[0];
            snap[0] = b->m_State;
        }
        for (uint32_t i = 0; i < m_dwNumSlots; ++i)
            StepSlot(i, h, T);
    }
    m_dwNumActive = 0;
    JointPass();
    for (uint32_t i = 0; i < m_dwNumSlots; ++i) {
        ERigidBodyPhysics* b = ActiveBody(i);
        if (!b || RestIfNotFinite(i)) continue;
        b->UpdateObject();
        ++m_dwNumActive;
    }
    for (uint32_t i = 0; i < m_dwNumSlots; ++i) {
        ERigidBodyPhysics* b = ActiveBody(i);
        if (!b) continue;
        b->m_dAge += h;
        if (b->m_bSoundWaiting) b->m_dSilenceTimer += h;
        b->m_dTimers[2] += h;
        b->m_dTimers[3] += h;
    }
}

// Jointed bodies gather no world triangles: the projection onto their
// anchors is what holds them, so it is on for the simulation's passes only.
void ERigidBodySimulation::JointPass() {
    g_RigidBodyJointsMgr.m_bProjectionOn = 1;
    g_RigidBodyJointsMgr.Update();
    g_RigidBodyJointsMgr.m_bProjectionOn = 0;
}

ERigidBodyPhysics* ERigidBodySimulation::ActiveBody(uint32_t i) {
    RigidBodySlot& slot = m_Slots[i];
    return slot.bUsed && slot.pBody && slot.pBody->m_bActive ? slot.pBody : nullptr;
}

void ERigidBodySimulation::StepSlot(uint32_t i, double h, double T) {
    RigidBodySlot& slot = m_Slots[i];
    ERigidBodyPhysics* b = slot.pBody;
    if (!slot.bUsed || !b) return;
    // A body put to rest waits out its countdown, a round at a time.
    if (b->m_dSleepCountdown >= 0.0) {
        b->m_dSleepCountdown -= h;
        return;
    }
    if (!b->m_bActive || slot.bDone) return;
    if (!StaysAwake(i, false) || !StaysAwake(i, true)) return;
    LimitSpeeds(b);
    const double t0 = slot.Snapshots[0].t;
    const double dt = t0 + h > T ? T - t0 : h;
    double advanced = 0.0;
    slot.dwLastResult = AdvanceBody(i, t0, dt, &advanced);
    if (RestIfNotFinite(i)) return;
    b->UpdateObject();
    b->m_State.t = t0 + advanced;
    if (b->m_State.t >= T - DONE_TOLERANCE) slot.bDone = true;
    ++b->m_dwSteps;
}

bool ERigidBodySimulation::StaysAwake(uint32_t i, bool second) {
    RigidBodySlot& slot = m_Slots[i];
    ERigidBodyPhysics* b = slot.pBody;
    if (!b) return false;
    if (b->m_Params.bJointOn) {
        for (int k = 0; k < ERigidBodyPhysics::MAX_JOINTS && b->m_pJoints[k]; ++k) {
            const RigidBodyJoint* j = b->m_pJoints[k];
            if (IsObjectBezierMoving(j->hObjectA) || IsObjectBezierMoving(j->hObjectB)) return true;
        }
        if (b->m_dAge > MAX_AGE_JOINTED) {
            PutBodyToRest(i);
            return false;
        }
        return true;
    }
    if (b->m_dAge > MAX_AGE) {
        PutBodyToRest(i);
        return false;
    }
    if (b->m_dAge <= (second ? YOUNG_AGE_BY_ENERGY : YOUNG_AGE)) return true;
    // A body in flight is slow and barely moves at the top of its arc; it
    // rests only once its last step met something.
    if (slot.dwLastResult == RESULT_FREE) return true;
    const RigidBodyState& s = b->m_State;
    if (second && Dot(s.v, s.v) + Dot(s.omega, s.omega) < REST_ENERGY) {
        PutBodyToRest(i);
        return false;
    }
    const double limit = second ? REST_MOVE_BY_ENERGY : REST_MOVE;
    const RigidBodyState* snap = slot.Snapshots;
    for (int k = 0; k < 3; ++k)
        if (!(Distance(snap[k].x, snap[k + 1].x) < limit)) return true;
    PutBodyToRest(i);
    return false;
}

// ---- One body's step ----------------------------------------------------------------------

uint32_t ERigidBodySimulation::AdvanceBody(uint32_t i, double t0, double dt, double* advanced) {
    RigidBodySlot& slot = m_Slots[i];
    ERigidBodyPhysics* body = slot.pBody;
    // A stuck body did not move: 0 advanced, never an unset value.
    double taken = 0.0;
    if (advanced) *advanced = 0.0;
    if (!body) return RESULT_STUCK;
    RigidBodyState S0{}, S1{}, S2{}, S3{}, S4{};
    bool shifted = false;
    body->GetState(&S0);
    const double t1 = t0 + dt;
    m_Contacts.dwNumContacts = 0;
    body->Integrate(t0, t1, &S3, false);
    body->GatherWorldTriangles(&S0, &S3, true);
    if (IsInNoCollisionMarker(S3.x[0], S3.x[1], S3.x[2])) body->ClearWorldTriangles();

    // A start state inside the world is pushed out, or shifted at random.
    if (body->IsCollision(&S0, &S0, false)) {
        const double start[3] = {S0.x[0], S0.x[1], S0.x[2]};
        PushOutAlongNormal(i, &S0);
        if (body->IsCollision(&S0, &S0, false)) {
            std::memcpy(S0.x, start, sizeof start);
            if (!EscapeByRandomShift(i)) {
                if (body->m_Params.bBoxPreset && body->m_hObject) body->m_hObject->bToDelete = 1;
                return RESULT_STUCK;
            }
            body->GetState(&S0);
            shifted = true;
        }
    }

    // The step integrates from the body's own state: a push moved only the
    // copy S0, which the tests below start from; a shift moved the body, so
    // only then is the step integrated again.
    S1 = S2 = S0;
    m_Contacts.dwNumContacts = 0;
    if (shifted) body->Integrate(t0, t1, &S3, false);
    taken = S3.t - t0;
    if (!body->IsCollision(&S0, &S3, false)) {
        body->SetState(&S3, true);
        if (advanced) *advanced = taken;
        return RESULT_FREE;
    }

    // The time of impact: the last free and the first colliding state within
    // TOI_DISTANCE of each other, every trial integrated afresh from S0.
    double free = 0.0;
    S1 = S0;
    S2 = S3;
    const double speed = Length(S0.v);
    if (speed == 0.0) {
        S2 = S0;
    } else {
        body->SetState(&S0, false);
        body->Integrate(t0, t0 + TOI_DISTANCE / speed, &S4, false);
        if (body->IsCollision(&S0, &S4, false)) {
            S2 = S4;
        } else {
            double half = taken;
            for (int halvings = 0;; ++halvings) {
                half *= 0.5;
                body->SetState(&S0, false);
                body->Integrate(t0, t0 + free + half, &S4, false);
                if (body->IsCollision(&S0, &S4, false)) {
                    S2 = S4;
                } else {
                    free += half;
                    S1 = S4;
                }
                if (Distance(S1.x, S2.x) <= TOI_DISTANCE) break;
                if (half < TOI_MIN_HALF && halvings >= TOI_MIN_HALVINGS) break;
            }
        }
    }
    if (advanced) *advanced = free;
    body->SetState(&S1, true);

    bool found = false;
    body->TestCollisions_NOWA_KONCEPCJA(&S1, &S1, &found, &m_Contacts, false);
    if (!found) body->TestCollisions(&S1, &S2, &found, &m_Contacts, false);
    if (!found) {
        if (slot.dwLastResult != RESULT_NO_CONTACTS) EscapeByRandomShift(i);
        return RESULT_NO_CONTACTS;
    }
    ClassifyContacts(&m_Contacts);
    body->SetState(&S1, true);
    if (m_ClassifiedContacts.dwNumContacts == 0) {
        if (slot.dwLastResult == RESULT_NO_CONTACTS)
            body->StopMomentum();
        else
            DeflectFromContacts(i);
        return RESULT_NO_CONTACTS;
    }

    StoreKineticEnergy(i);
    if (m_ClassifiedContacts.dwNumContacts == 1 || !ComputeContactImpulses()) ApplyCollisionImpulses();
    LimitKineticEnergy(i);
    SeparateAlongContactNormals(i, true, SEPARATION_SCALE, SEPARATION_FULL_SPEED, SEPARATION_MIN_SPEED);
    if (body->m_Params.bSpherePreset) {
        // A grenade loses speed and spin at every bounce.
        RigidBodyState& s = body->m_State;
        const double f = body->m_Params.fFrictionCoef;
        for (int k = 0; k < 3; ++k) {
            s.v[k] *= f;
            s.P[k] = s.mass * s.v[k];
        }
        ScaleSpin(&s, f);
    }
    return RESULT_CONTACTS;
}

void ERigidBodySimulation::PushOutAlongNormal(uint32_t i, RigidBodyState* s) {
    ERigidBodyPhysics* body = m_Slots[i].pBody;
    for (int k = 0; k < PUSH_OUT_STEPS; ++k) {
        double n[3];
        if (!body->Get_First_Collision_Normal(s, n, false)) return;
        Normalise(n);
        n[1] = std::max(n[1], 0.0);
        for (int c = 0; c < 3; ++c)
            s->x[c] += PUSH_OUT_DISTANCE * n[c];
    }
}

bool ERigidBodySimulation::EscapeByRandomShift(uint32_t i) {
    ERigidBodyPhysics* body = m_Slots[i].pBody;
    if (!body) return false;
    const bool box = body->m_Params.bBoxPreset;
    RigidBodyState trial = body->m_State;
    const double start[3] = {trial.x[0], trial.x[1], trial.x[2]};
    double d = box ? ESCAPE_START_BOX_PRESET : ESCAPE_START;
    for (int pass = 0; pass < ESCAPE_PASSES; ++pass, d *= 2.0) {
        double offsets[12][3];
        EscapeOffsets(d, box, offsets);
        for (const auto& o : offsets) {
            for (int c = 0; c < 3; ++c)
                trial.x[c] = start[c] + o[c];
            if (!body->IsCollision(&trial, &trial, false)) {
                std::memcpy(body->m_State.x, trial.x, sizeof trial.x);
                return true;
            }
        }
    }
    return false;
}

void ERigidBodySimulation::SeparateAlongContactNormals(uint32_t i, bool averaging, double scale,
                                                       double fullSpeed, double minSpeed) {
    ERigidBodyPhysics* body = m_Slots[i].pBody;
    if (!body) return;
    double sum[3] = {};
    uint32_t count = 0;
    for (uint32_t k = 0; k < m_Contacts.dwNumContacts && k < RigidBodyContactList::MAX_CONTACTS; ++k) {
        const RigidBodyContact& c = m_Contacts.Contacts[k];
        const double side = TakesPart(body, c);
        if (side == 0.0) continue;
        double n[3] = {c.n[0], c.n[1], c.n[2]};
        Normalise(n);
        for (int a = 0; a < 3; ++a)
            sum[a] += side * n[a] * (averaging ? 1.0 : scale);
        ++count;
    }
    if (count == 0) return;
    RigidBodyState& s = body->m_State;
    double factor = 1.0;
    if (averaging) {
        const double speed = Length(s.v);
        if (speed < minSpeed) return;
        factor = scale / double(count) * (speed >= fullSpeed ? 1.0 : speed / fullSpeed);
    }
    const double before[3] = {s.x[0], s.x[1], s.x[2]};
    for (int a = 0; a < 3; ++a)
        s.x[a] += sum[a] * factor;
    if (body->IsCollision(&s, &s, false)) std::memcpy(s.x, before, sizeof before);
}
