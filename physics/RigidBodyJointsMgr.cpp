#include "physics/RigidBodyJointsMgr.h"

#include <cmath>
#include <cstring>

#include "app/Console.h"
#include "physics/RigidBodyPhysics.h"
#include "physics/RigidBodySimulation.h"
#include "render/Mesh.h"
#include "render/MeshSocketsMgr.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

ERigidBodyJointsMgr g_RigidBodyJointsMgr;

namespace {

inline double Dot(const double* a, const double* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline void Cross(const double* a, const double* b, double* out) {
    const double x = a[1] * b[2] - a[2] * b[1], y = a[2] * b[0] - a[0] * b[2], z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}
inline double Length(const double* a) {
    return std::sqrt(Dot(a, a));
}
// A zero vector stays zero.
inline void Normalise(double* a) {
    const double len = Length(a);
    if (len == 0.0) return;
    for (int k = 0; k < 3; ++k)
        a[k] /= len;
}
inline void MulVec3(const double* m, const double* v, double* out) {
    for (int i = 0; i < 3; ++i)
        out[i] = m[i * 3] * v[0] + m[i * 3 + 1] * v[1] + m[i * 3 + 2] * v[2];
}
inline void Copy(const double* from, double* to) {
    std::memcpy(to, from, 3 * sizeof(double));
}

ERigidBodyPhysics* BodyOf(ObjectRecord* h) {
    ERigidBodyPhysics* body = nullptr;
    g_RigidBodySimulation.FindBody(h, &body);
    return body;
}

// The named socket vector of the object; zero without a name or a socket.
void SocketVector(ObjectRecord* h, const char* name, double out[3]) {
    out[0] = out[1] = out[2] = 0.0;
    if (!name || !name[0]) return;
    float v[3] = {};
    g_MeshSocketsMgr.GetSocketVector(h, name, v);
    for (int k = 0; k < 3; ++k)
        out[k] = v[k];
}

// The velocity of the body's point p.
void PointVelocity(const ERigidBodyPhysics* b, const double p[3], double out[3]) {
    const RigidBodyState& s = b->m_State;
    const double r[3] = {p[0] - s.x[0], p[1] - s.x[1], p[2] - s.x[2]};
    Cross(s.omega, r, out);
    for (int k = 0; k < 3; ++k)
        out[k] += s.v[k];
}

// Takes the joint out of the body's list; later entries move forward.
void Unlist(ERigidBodyPhysics* body, const RigidBodyJoint* joint) {
    if (!body) return;
    RigidBodyJoint** list = body->m_pJoints;
    for (int i = 0; i < ERigidBodyPhysics::MAX_JOINTS; ++i) {
        if (list[i] != joint) continue;
        std::memmove(list + i, list + i + 1, (ERigidBodyPhysics::MAX_JOINTS - 1 - i) * sizeof *list);
        list[ERigidBodyPhysics::MAX_JOINTS - 1] = nullptr;
        --i;
    }
}

// Puts the joint into the first free entry, then packs the list: while a
// null lies before the last entry in use, that entry moves into it.
void List(ERigidBodyPhysics* body, RigidBodyJoint* joint) {
    if (!body) return;
    RigidBodyJoint** list = body->m_pJoints;
    const int n = ERigidBodyPhysics::MAX_JOINTS;
    for (int i = 0; i < n; ++i)
        if (!list[i]) {
            list[i] = joint;
            break;
        }
    for (;;) {
        int firstNull = -1, lastUsed = -1;
        for (int i = 0; i < n; ++i) {
            if (!list[i] && firstNull < 0) firstNull = i;
            if (list[i]) lastUsed = i;
        }
        if (firstNull < 0 || firstNull > lastUsed) return;
        list[firstNull] = list[lastUsed];
        list[lastUsed] = nullptr;
    }
}

} // namespace

uint32_t ERigidBodyJointsMgr::NumInUse() const {
    uint32_t n = 0;
    for (uint32_t i = 0; i < m_dwHighWater; ++i)
        n += m_Joints[i].bInUse;
    return n;
}

RigidBodyJoint* ERigidBodyJointsMgr::AddJoint(ObjectRecord* a, const char* socketA, ObjectRecord* b,
                                              const char* socketB, uint32_t kind, double kept,
                                              const char* axisSocketA, const char* axisSocketB) {
    if (a == b) return nullptr;
    RigidBodyJoint* j = nullptr;
    for (RigidBodyJoint& candidate : m_Joints)
        if (!candidate.bInUse) {
            j = &candidate;
            break;
        }
    if (!j) {
        g_Console.Print("ERROR in ERigidBodyJointsMgr::AddJoint(): MAX_RIGIDBODY_JOINTS exceeded!");
        return nullptr;
    }
    std::memset(j, 0, sizeof *j);
    j->bInUse = 1;
    j->bAwake = 1;
    j->dwKind = kind;
    j->dKept = kept;
    j->hObjectA = a;
    j->hObjectB = b;
    j->pBodyA = BodyOf(a);
    j->pBodyB = BodyOf(b);
    if (!j->pBodyA && !j->pBodyB) {
        j->bInUse = 0;
        return nullptr;
    }
    const uint32_t index = uint32_t(j - m_Joints);
    if (index + 1 > m_dwHighWater) m_dwHighWater = index + 1;

    SocketVector(a, socketA, j->vAnchorA);
    SocketVector(b, socketB, j->vAnchorB);
    Copy(j->vAnchorA, j->vOffsetA);
    Copy(j->vAnchorB, j->vOffsetB);
    const struct {
        ObjectRecord* h;
        const char* name;
        double* axis;
        double fallbackZ;
    } axes[2] = {{a, axisSocketA, j->vAxisA, 1.0}, {b, axisSocketB, j->vAxisB, -1.0}};
    for (const auto& s : axes) {
        if (!s.name) continue;
        SocketVector(s.h, s.name, s.axis);
        if (Length(s.axis) < MIN_AXIS_LENGTH) {
            s.axis[0] = s.axis[1] = 0.0;
            s.axis[2] = s.fallbackZ;
        }
    }
    Copy(j->vAxisA, j->vWorldAxisA);
    Copy(j->vAxisB, j->vWorldAxisB);
    List(j->pBodyA, j);
    List(j->pBodyB, j);
    AssignLevels();
    return j;
}

void ERigidBodyJointsMgr::AssignLevels() {
    constexpr uint32_t kUnset = UINT32_MAX;
    for (uint32_t i = 0; i < m_dwHighWater; ++i)
        for (ERigidBodyPhysics* b : {m_Joints[i].pBodyA, m_Joints[i].pBodyB})
            if (m_Joints[i].bInUse && b) b->m_dwLevel = kUnset;
    for (uint32_t i = 0; i < m_dwHighWater; ++i) {
        const RigidBodyJoint& j = m_Joints[i];
        if (!j.bInUse) continue;
        if (j.pBodyA && !j.pBodyB) j.pBodyA->m_dwLevel = 0;
        if (j.pBodyB && !j.pBodyA) j.pBodyB->m_dwLevel = 0;
    }
    // Down the hierarchy a level per sweep; a group held by nothing gets its
    // first body as its root once the held ones are done.
    for (;;) {
        bool changed = false;
        for (uint32_t i = 0; i < m_dwHighWater; ++i) {
            const RigidBodyJoint& j = m_Joints[i];
            if (!j.bInUse || !j.pBodyA || !j.pBodyB) continue;
            uint32_t& a = j.pBodyA->m_dwLevel;
            uint32_t& b = j.pBodyB->m_dwLevel;
            if (a == kUnset && b != kUnset) {
                a = b + 1;
                changed = true;
            } else if (b == kUnset && a != kUnset) {
                b = a + 1;
                changed = true;
            }
        }
        if (changed) continue;
        ERigidBodyPhysics* root = nullptr;
        for (uint32_t i = 0; i < m_dwHighWater && !root; ++i) {
            const RigidBodyJoint& j = m_Joints[i];
            if (!j.bInUse) continue;
            if (j.pBodyA && j.pBodyA->m_dwLevel == kUnset)
                root = j.pBodyA;
            else if (j.pBodyB && j.pBodyB->m_dwLevel == kUnset)
                root = j.pBodyB;
        }
        if (!root) return;
        root->m_dwLevel = 0;
    }
}

void ERigidBodyJointsMgr::RemoveJoints(ObjectRecord* h) {
    if (!h) return;
    for (uint32_t i = 0; i < m_dwHighWater; ++i) {
        RigidBodyJoint& j = m_Joints[i];
        if (!j.bInUse || (j.hObjectA != h && j.hObjectB != h)) continue;
        Unlist(j.pBodyA, &j);
        Unlist(j.pBodyB, &j);
        j.bInUse = 0;
        j.bAwake = 0;
    }
    while (m_dwHighWater > 0 && !m_Joints[m_dwHighWater - 1].bInUse)
        --m_dwHighWater;
    AssignLevels();
}

void ERigidBodyJointsMgr::SideFrame(ERigidBodyPhysics* body, ObjectRecord* h, Frame* out) {
    out->pR = body ? body->m_State.R : nullptr;
    if (body) {
        for (int k = 0; k < 3; ++k)
            out->s[k] = body->m_fScale[k];
        return;
    }
    math::Vec3 scale(1, 1, 1);
    GetObjectScale(h, &scale);
    out->s[0] = scale.x;
    out->s[1] = scale.y;
    out->s[2] = scale.z;
    // Copied into the kept orientation: constructing one rebuilds its axes.
    GetObjectOrientation(h, &m_Orientation);
    std::memcpy(out->m, m_Orientation.matrix.m, sizeof out->m);
}

// A socket vector of the side in world orientation: first into body space
// (the socket files keep z up, and the side's scale applies), then turned by
// the body's R, or by the object's row-vector matrix.
void ERigidBodyJointsMgr::ToWorld(const Frame& f, const double v[3], double out[3]) {
    const double b[3] = {v[0] * f.s[0], v[2] * f.s[1], v[1] * f.s[2]};
    if (f.pR) {
        MulVec3(f.pR, b, out);
        return;
    }
    for (int c = 0; c < 3; ++c)
        out[c] = b[0] * f.m[0][c] + b[1] * f.m[1][c] + b[2] * f.m[2][c];
}

uint32_t ERigidBodyJointsMgr::UpdateGeometry() {
    uint32_t awake = 0;
    for (uint32_t i = 0; i < m_dwHighWater; ++i) {
        RigidBodyJoint& j = m_Joints[i];
        if (!j.bInUse || !j.bAwake) continue;
        ++awake;
        UpdateJointGeometry(j);
    }
    return awake;
}

void ERigidBodyJointsMgr::UpdateJointGeometry(RigidBodyJoint& j) {
    ERigidBodyPhysics* A = j.pBodyA;
    ERigidBodyPhysics* B = j.pBodyB;
    Frame fa, fb;
    SideFrame(A, j.hObjectA, &fa);
    SideFrame(B, j.hObjectB, &fb);
    ToWorld(fa, j.vAnchorA, j.vOffsetA);
    ToWorld(fb, j.vAnchorB, j.vOffsetB);
    ToWorld(fa, j.vAxisA, j.vWorldAxisA);
    ToWorld(fb, j.vAxisB, j.vWorldAxisB);

    if (A && B) {
        for (int k = 0; k < 3; ++k) {
            j.vPointA[k] = A->m_State.x[k] + j.vOffsetA[k];
            j.vPointB[k] = B->m_State.x[k] + j.vOffsetB[k];
            j.vDirection[k] = j.vPointA[k] - j.vPointB[k];
        }
        for (int k = 0; k < 3; ++k) {
            if (A->m_dwLevel < B->m_dwLevel)
                j.vTarget[k] = j.vPointA[k];
            else if (B->m_dwLevel < A->m_dwLevel)
                j.vTarget[k] = j.vPointB[k];
            else
                j.vTarget[k] = 0.5 * (j.vPointA[k] + j.vPointB[k]);
        }
        if (Length(j.vDirection) <= MIN_ANCHOR_DISTANCE)
            for (int k = 0; k < 3; ++k)
                j.vDirection[k] = A->m_dwLevel < B->m_dwLevel ? -j.vWorldAxisA[k] : j.vWorldAxisB[k];
    } else if (A) {
        math::Vec3 pos;
        GetObjectPosition(j.hObjectB, &pos);
        const double p[3] = {pos.x, pos.y, pos.z};
        for (int k = 0; k < 3; ++k) {
            j.vTarget[k] = p[k] + j.vOffsetB[k];
            j.vDirection[k] = j.vWorldAxisB[k];
            j.vPointA[k] = A->m_State.x[k] + j.vOffsetA[k];
            j.vPointB[k] = j.vTarget[k];
        }
    } else if (B) {
        math::Vec3 pos;
        GetObjectPosition(j.hObjectA, &pos);
        const double p[3] = {pos.x, pos.y, pos.z};
        for (int k = 0; k < 3; ++k) {
            j.vTarget[k] = p[k] + j.vOffsetA[k];
            j.vDirection[k] = -j.vWorldAxisA[k];
            j.vPointA[k] = j.vTarget[k];
            j.vPointB[k] = B->m_State.x[k] + j.vOffsetB[k];
        }
    }
    Normalise(j.vDirection);
}

bool ERigidBodyJointsMgr::ApplyJointImpulse(RigidBodyJoint* j) {
    if (!j || j->dwKind != 0) return false;
    double n[3];
    Copy(j->vDirection, n);
    Normalise(n);
    const double* p = j->vTarget;
    ERigidBodyPhysics* bodies[2] = {BodyOf(j->hObjectA), BodyOf(j->hObjectB)};
    double vel[2][3] = {};
    double r[2][3] = {};
    double K = 0.0;
    for (int s = 0; s < 2; ++s) {
        ERigidBodyPhysics* b = bodies[s];
        if (!b) continue;
        const RigidBodyState& st = b->m_State;
        PointVelocity(b, p, vel[s]);
        for (int k = 0; k < 3; ++k)
            r[s][k] = p[k] - st.x[k];
        double rn[3], Irn[3], c[3];
        Cross(r[s], n, rn);
        MulVec3(st.Iinv, rn, Irn);
        Cross(Irn, r[s], c);
        K += 1.0 / st.mass + Dot(n, c);
    }
    const double restitution = 0.0;
    const double dv[3] = {vel[0][0] - vel[1][0], vel[0][1] - vel[1][1], vel[0][2] - vel[1][2]};
    const double vrel = (1.0 + restitution) * Dot(n, dv);
    const double jm = K != 0.0 ? -vrel / K : 0.0;
    j->dImpulse = jm;
    for (int s = 0; s < 2; ++s) {
        ERigidBodyPhysics* b = bodies[s];
        if (!b) continue;
        // Body A takes +J, body B -J; sleeping bodies take it too.
        const double sign = s == 0 ? 1.0 : -1.0;
        const double J[3] = {sign * jm * n[0], sign * jm * n[1], sign * jm * n[2]};
        RigidBodyState& st = b->m_State;
        double rJ[3];
        Cross(r[s], J, rJ);
        for (int k = 0; k < 3; ++k) {
            st.P[k] += J[k];
            st.L[k] += rJ[k];
            st.v[k] = st.P[k] / st.mass;
        }
        MulVec3(st.Iinv, st.L, st.omega);
    }
    return true;
}

void ERigidBodyJointsMgr::MoveBodyTo(ERigidBodyPhysics* body, const double position[3]) {
    if (!body || !position) return;
    RigidBodyState& s = body->m_State;
    double old[3];
    Copy(s.x, old);
    Copy(position, s.x);
    body->GatherWorldTriangles(&s, &s, true);
    if (!body->IsCollision(&s, &s, false)) return;
    for (int k = 0; k < 3; ++k)
        s.x[k] = old[k] + (position[k] - old[k]) * 0.5;
    if (!body->IsCollision(&s, &s, false)) return;
    Copy(old, s.x);
}

void ERigidBodyJointsMgr::RemoveSpeedAlong(ERigidBodyPhysics* body, const double before[3],
                                           const double anchor[3], const ERigidBodyPhysics* holder) {
    RigidBodyState& s = body->m_State;
    double n[3] = {s.x[0] - before[0], s.x[1] - before[1], s.x[2] - before[2]};
    if (Length(n) == 0.0) return;
    Normalise(n);
    double v[3], held[3] = {};
    PointVelocity(body, anchor, v);
    if (holder) PointVelocity(holder, anchor, held);
    const double dv[3] = {v[0] - held[0], v[1] - held[1], v[2] - held[2]};
    const double r[3] = {anchor[0] - s.x[0], anchor[1] - s.x[1], anchor[2] - s.x[2]};
    double rn[3], Irn[3], c[3];
    Cross(r, n, rn);
    MulVec3(s.Iinv, rn, Irn);
    Cross(Irn, r, c);
    const double K = 1.0 / s.mass + Dot(n, c);
    if (!(K > 0.0)) return;
    const double jm = -Dot(n, dv) / K;
    const double J[3] = {jm * n[0], jm * n[1], jm * n[2]};
    double rJ[3];
    Cross(r, J, rJ);
    for (int k = 0; k < 3; ++k) {
        s.P[k] += J[k];
        s.L[k] += rJ[k];
        s.v[k] = s.P[k] / s.mass;
    }
    MulVec3(s.Iinv, s.L, s.omega);
}

void ERigidBodyJointsMgr::ProjectPositions(ObjectRecord* const* objects, ERigidBodyPhysics* const* bodies,
                                           uint32_t count) {
    for (uint32_t level = 0; level < NUM_LEVELS; ++level)
        for (uint32_t i = 0; i < count; ++i) {
            ERigidBodyPhysics* body = bodies[i];
            if (!objects[i] || !body || !body->m_bActive || body->m_dwLevel != level) continue;
            int moved = 0;
            for (int e = 0; e < ERigidBodyPhysics::MAX_JOINTS && body->m_pJoints[e]; ++e) {
                RigidBodyJoint& j = *body->m_pJoints[e];
                if (j.dwKind != 0 || !j.bAwake) continue;
                const double* point = nullptr;
                if (body == j.pBodyA) {
                    if (j.pBodyB && j.pBodyA->m_dwLevel <= j.pBodyB->m_dwLevel) continue;
                    point = j.vPointA;
                } else if (body == j.pBodyB) {
                    if (j.pBodyA && j.pBodyB->m_dwLevel <= j.pBodyA->m_dwLevel) continue;
                    point = j.vPointB;
                } else {
                    continue;
                }
                if (moved == 0) {
                    double to[3], before[3];
                    Copy(body->m_State.x, before);
                    for (int k = 0; k < 3; ++k)
                        to[k] = body->m_State.x[k] + (j.vTarget[k] - point[k]);
                    MoveBodyTo(body, to);
                    RemoveSpeedAlong(body, before, j.vTarget, body == j.pBodyA ? j.pBodyB : j.pBodyA);
                }
                ++moved;
                // Only the joints of the moved body see a change.
                for (int f = 0; f < ERigidBodyPhysics::MAX_JOINTS && body->m_pJoints[f]; ++f)
                    if (body->m_pJoints[f]->bAwake) UpdateJointGeometry(*body->m_pJoints[f]);
            }
        }
}

uint32_t ERigidBodyJointsMgr::ListObjects() {
    if (++m_dwPass == 0) { // the stamps wrapped: none may look listed
        std::memset(m_dwListedInPass, 0, sizeof m_dwListedInPass);
        m_dwPass = 1;
    }
    uint32_t n = 0;
    for (uint32_t i = 0; i < m_dwHighWater; ++i) {
        const RigidBodyJoint& j = m_Joints[i];
        if (!j.bInUse || !j.bAwake) continue;
        for (ObjectRecord* h : {j.hObjectA, j.hObjectB}) {
            if (!h || h->iIndex < 0 || h->iIndex >= EEngine::MAX_OBJECTS) continue;
            uint32_t& stamp = m_dwListedInPass[h->iIndex];
            if (stamp == m_dwPass) continue;
            stamp = m_dwPass;
            m_hListed[n] = h;
            m_pListed[n] = BodyOf(h);
            ++n;
        }
    }
    return n;
}

void ERigidBodyJointsMgr::Update() {
    if (UpdateGeometry() == 0) return;
    const uint32_t n = ListObjects();
    if (m_bProjectionOn) ProjectPositions(m_hListed, m_pListed, n);
    for (uint32_t i = 0; i < m_dwHighWater; ++i) {
        RigidBodyJoint& j = m_Joints[i];
        if (j.bInUse && j.bAwake && j.dwKind == 0) ApplyJointImpulse(&j);
    }
    for (uint32_t i = 0; i < n; ++i) {
        ERigidBodyPhysics* body = m_pListed[i];
        const EMesh* mesh = m_hListed[i]->Mesh();
        if (!body) continue;
        RigidBodyState& s = body->m_State;
        if (mesh)
            for (const math::Vec3& corner : mesh->m_vWorldCorners) {
                const double c[3] = {corner.x, corner.y, corner.z};
                double vc[3];
                PointVelocity(body, c, vc);
                const double speed = Length(vc);
                const double limit = std::fmin(speed, double(body->m_Params.fJointDamping));
                const double J[3] = {-DAMPING * limit * vc[0], -DAMPING * limit * vc[1],
                                     -DAMPING * limit * vc[2]};
                body->ApplyImpulse(c, J);
            }
        const double spin = Length(s.omega);
        if (spin > MAX_SPIN) {
            for (double& w : s.omega)
                w *= MAX_SPIN / spin;
            // L = R Ibody R^T omega.
            double RtW[3], IRtW[3];
            for (int r = 0; r < 3; ++r)
                RtW[r] = s.R[r] * s.omega[0] + s.R[3 + r] * s.omega[1] + s.R[6 + r] * s.omega[2];
            MulVec3(s.Ibody, RtW, IRtW);
            MulVec3(s.R, IRtW, s.L);
        }
    }
}
