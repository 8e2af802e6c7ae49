#include "physics/RigidBodyPhysics.h"

#include <cmath>
#include <cstring>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/Orientation.h"
#include "app/Records.h"
#include "physics/CollisionMgr.h"
#include "physics/RigidBodyJointsMgr.h"
#include "physics/RigidBodyParametersMgr.h"
#include "physics/RigidBodySimulation.h"
#include "render/Mesh.h"
#include "sound/SoundMgr.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

constexpr const char* kShapePrefabs[4] = {nullptr, "prefabs\\special\\rigidbody_box.x",
                                          "prefabs\\special\\rigidbody_cylinder.x",
                                          "prefabs\\special\\rigidbody_sphere.x"};

// The construction object stands for the body in the world's triangle
// gathering; the visible object no longer does.
constexpr uint32_t FLAG_GATHERED = 4;
constexpr uint32_t CONSTRUCTION_FLAGS = 140;
constexpr uint32_t CONSTRUCTION_FLAGS_NO_PHYSICS = 128;
constexpr uint32_t CONSTRUCTION_FLAGS2 = 0x18001040;

void Mul3(const double a[9], const double b[9], double out[9]) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[i * 3 + j] = a[i * 3] * b[j] + a[i * 3 + 1] * b[3 + j] + a[i * 3 + 2] * b[6 + j];
}

void MulVec3(const double m[9], const double v[3], double out[3]) {
    for (int i = 0; i < 3; ++i)
        out[i] = m[i * 3] * v[0] + m[i * 3 + 1] * v[1] + m[i * 3 + 2] * v[2];
}

template <size_t N> void PutBytes(uint8_t*& p, const void* src) {
    std::memcpy(p, src, N);
    p += N;
}
template <size_t N> void GetBytes(const uint8_t*& p, void* dst) {
    std::memcpy(dst, p, N);
    p += N;
}

template <class T> bool AllFinite(const uint8_t* at, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        T v;
        std::memcpy(&v, at + i * sizeof(T), sizeof(T));
        if (!std::isfinite(v)) return false;
    }
    return true;
}

// Whether the record's maps are those of a mesh of this many vertices, each
// entry within the other map's count.
bool Fits(const RigidBodyParameters* rec, uint32_t numVertices) {
    if (!rec || rec->num_old_vertices != numVertices || !rec->map_old_to_new || !rec->map_new_to_old)
        return false;
    for (uint32_t i = 0; i < rec->num_new_vertices; ++i)
        if (rec->map_new_to_old[i] >= numVertices) return false;
    for (uint32_t i = 0; i < numVertices; ++i)
        if (rec->map_old_to_new[i] >= rec->num_new_vertices) return false;
    return true;
}

template <size_t N> void Terminate(char (&text)[N]) {
    text[N - 1] = 0;
}

} // namespace

ERigidBodyPhysics::ERigidBodyPhysics() {
    m_Params.Reset();
}

void ERigidBodyPhysics::FreeArrays() {
    if (m_pParticles) g_Debug.RemoveAllocation("m_pParticles");
    if (m_pIndices) g_Debug.RemoveAllocation("m_pIndices");
    if (m_pTrojkaty) g_Debug.RemoveAllocation("m_pTrojkaty");
    delete[] m_pParticles;
    delete[] m_pIndices;
    delete[] m_pTrojkaty;
    m_pParticles = nullptr;
    m_pIndices = nullptr;
    m_pTrojkaty = nullptr;
    m_iNumParticles = m_dwNumIndices = m_dwNumTriangles = 0;
}

void ERigidBodyPhysics::Release() {
    if (!m_bInUse) return;
    for (strSound** s : {&m_pSound, &m_pSound2, &m_pSound3}) {
        if (*s) g_SoundMgr.DeleteSound(*s);
        *s = nullptr;
    }
    FreeArrays();
    if (m_pFinder) g_CollisionMgr.RemoveFinder(m_pFinder);
    m_pFinder = nullptr;
    if (m_hConstructionObj) g_Engine.DeleteObject(m_hConstructionObj);
    m_hConstructionObj = nullptr;
    m_bInUse = 0;
}

void ERigidBodyPhysics::GetObject(ObjectRecord** out) const {
    if (out) *out = m_bInUse ? m_hObject : nullptr;
}
void ERigidBodyPhysics::GetConstructionObject(ObjectRecord** out) const {
    if (out) *out = m_bInUse ? m_hConstructionObj : nullptr;
}
void ERigidBodyPhysics::GetFinder(Finder** out) const {
    if (out) *out = m_bInUse ? m_pFinder : nullptr;
}

bool ERigidBodyPhysics::Create(ObjectRecord* h) {
    if (g_Engine.m_bReducedRenderMode) return false;
    Release();
    if (!h || !h->bUsed || h->dwType != OT_MESH || !h->Mesh()) return false;

    GetObjectRigidBodyPhysicsParams(h, &m_Params);
    if (m_Params.bSpherePreset) {
        m_Params.fFrictionCoef = 0.62f;
        m_Params.iShape = 3;
        m_Params.bCollideWithPlayer = 0;
        SetObjectRigidBodyPhysicsParams(h, m_Params);
    }
    if (m_Params.bBoxPreset) {
        m_Params.fFrictionCoef = 1.0f;
        m_Params.iShape = 1;
        m_Params.bCollideWithPlayer = m_Params.bReactAfterBulletHit = m_Params.bReactAfterExplosion = 0;
        SetObjectRigidBodyPhysicsParams(h, m_Params);
    }
    if (m_Params.iShape <= 0 || m_Params.iShape > 4) return false;
    // The world object keeps what its file says; only the body falls back.
    if (!(m_Params.fMass > 0.0f)) {
        g_Console.Printf("ERROR in ERigidBodyPhysics: mass %g of %s replaced by %g", double(m_Params.fMass),
                         h->szName, double(DEFAULT_MASS));
        m_Params.fMass = DEFAULT_MASS;
    }

    m_hObject = h;
    SetObjectFlags(h, 0, FLAG_GATHERED);
    math::Vec3 pos, scale;
    orientation o;
    GetObjectPosition(h, &pos);
    GetObjectOrientation(h, &o);
    GetObjectScale(h, &scale);
    m_fScale[0] = scale.x;
    m_fScale[1] = scale.y;
    m_fScale[2] = scale.z;
    double size[3] = {1, 1, 1};
    if (m_Params.iShape <= 3) {
        const EMesh* mesh = h->Mesh();
        size[0] = double(scale.x) * double(mesh->m_vBoxMax.x - mesh->m_vBoxMin.x);
        size[1] = double(scale.y) * double(mesh->m_vBoxMax.y - mesh->m_vBoxMin.y);
        size[2] = double(scale.z) * double(mesh->m_vBoxMax.z - mesh->m_vBoxMin.z);
        std::snprintf(m_Params.szConstructionPrefabFileName, sizeof m_Params.szConstructionPrefabFileName,
                      "%s", kShapePrefabs[m_Params.iShape]);
    }
    const char* prefab = m_Params.szConstructionPrefabFileName;

    AddObjectParams add;
    add.dwType = OT_MESH;
    std::snprintf(add.szFileName, sizeof add.szFileName, "%s", prefab);
    m_hConstructionObj = prefab[0] ? g_Engine.AddObject(add) : nullptr;
    if (!m_hConstructionObj) {
        g_Console.Print("ERROR in ERigidBodyPhysics: construction object creation failed!");
        g_Console.Printf("construction prefab failed: %s", prefab);
    } else {
        char name[ObjectRecord::NAME_LEN + 16]; // the object name cuts it
        std::snprintf(name, sizeof name, "physics_for_%s", h->szName);
        SetObjectName(m_hConstructionObj, name);
        SetObjectFlags(m_hConstructionObj,
                       m_Params.bDisableCollisionsWithOtherPhysics ? CONSTRUCTION_FLAGS_NO_PHYSICS
                                                                   : CONSTRUCTION_FLAGS,
                       0xFFFFFFFF);
        SetObjectFlags2(m_hConstructionObj, CONSTRUCTION_FLAGS2, 0xFFFFFFFF);
        SetObjectPositionAndOrientation(m_hConstructionObj, pos, o);
        SetObjectScale(m_hConstructionObj, math::Vec3(float(size[0]), float(size[1]), float(size[2])));
    }

    const CollisionMeshEntry* entry =
        m_hConstructionObj ? g_CollisionMgr.GetEntry(m_hConstructionObj) : nullptr;
    if (entry)
        BuildHull(prefab, entry->dwNumVertices, entry->CM_vVerticesLocal, entry->dwNumFaces,
                  entry->CM_dwFaces, size);
    else
        BuildHull(prefab, 0, nullptr, 0, nullptr, size);
    ComputeInertia(size);

    m_dwSlot = 0;
    m_pFinder = nullptr;
    if (m_Params.bJointOn) m_Params.bDisableAllCollisions = 1;
    m_dwNumTriangles = 0;
    m_pTrojkaty = new RigidBodyTriangle[MAX_TRIANGLES]{};
    g_Debug.AddAllocation("m_pTrojkaty");
    m_dwNumExcluded = 0;
    m_bExclusionPending = 1;
    if ((m_Params.bDisableAllCollisions || m_Params.bBoxPreset) && m_hConstructionObj)
        SetObjectFlags(m_hConstructionObj, 0, FLAG_GATHERED);

    if (m_Params.szSoundFileName[0]) {
        m_pSound = g_SoundMgr.CreateSound3D(m_Params.szSoundFileName);
        if (m_pSound) {
            g_SoundMgr.SetSoundRange(m_pSound, 2.0f * m_Params.fSoundRange);
            g_SoundMgr.SetSoundMinDistance(m_pSound, m_Params.fSoundRange * 0.5f);
        }
    }
    m_dSilenceTimer = 0;
    m_bSoundWaiting = 0;
    for (double& t : m_dTimers)
        t = 0;
    m_pSound2 = m_pSound3 = nullptr;
    m_bInUse = 1;
    Init();
    return true;
}

void ERigidBodyPhysics::BuildHull(const char* prefab, uint32_t numVertices, const void* vertexData,
                                  uint32_t numFaces, const uint16_t* faces, const double size[3]) {
    const auto* vertices = static_cast<const math::Vec3*>(vertexData);
    RigidBodyParameters* rec = nullptr;
    if (!g_RigidBodyParametersMgr.FindParameters(prefab, &rec)) {
        g_Console.Printf("ERROR in ERigidBodyPhysics: nie znalazlem parametrow fizyki dla prefaba: %s",
                         prefab);
        rec = nullptr;
    } else if (!Fits(rec, numVertices) &&
               !(g_RigidBodyParametersMgr.Recompute(prefab, &rec) && Fits(rec, numVertices))) {
        // A stale or foreign file, computed again without success: its maps
        // would index past this mesh.
        g_Console.Printf("ERROR in ERigidBodyPhysics: physics parameters of %s do not match its %u vertices",
                         prefab, numVertices);
        rec = nullptr;
    }

    m_iNumParticles = rec ? rec->num_new_vertices : numVertices;
    m_pParticles = new RigidBodyParticle[m_iNumParticles ? m_iNumParticles : 1];
    g_Debug.AddAllocation("m_pParticles");
    for (uint32_t i = 0; i < m_iNumParticles; ++i) {
        const math::Vec3& v = vertices[rec ? rec->map_new_to_old[i] : i];
        m_pParticles[i].vBody[0] = double(v.x) * size[0];
        m_pParticles[i].vBody[1] = double(v.y) * size[1];
        m_pParticles[i].vBody[2] = double(v.z) * size[2];
    }
    m_dwNumIndices = numFaces;
    m_pIndices = new uint32_t[numFaces ? numFaces * 3 : 3]{};
    g_Debug.AddAllocation("m_pIndices");
    for (uint32_t i = 0; i < numFaces * 3; ++i) {
        // A face naming a vertex the mesh lacks points at particle 0.
        const uint32_t old = faces[i] < numVertices ? faces[i] : 0;
        m_pIndices[i] = rec ? rec->map_old_to_new[old] : old;
    }
    if (m_iNumParticles == 0) m_dwNumIndices = 0;
}

void ERigidBodyPhysics::ComputeInertia(const double size[3]) {
    double* I = m_State.Ibody;
    double* Iinv = m_State.Ibodyinv;
    std::memset(I, 0, sizeof m_State.Ibody);
    std::memset(Iinv, 0, sizeof m_State.Ibodyinv);
    const double m = m_Params.fMass;
    const double W = size[0], H = size[1], D = size[2];
    switch (m_Params.iShape) {
    case 1:
        I[0] = m / 12.0 * (H * H + D * D);
        I[4] = m / 12.0 * (W * W + D * D);
        I[8] = m / 12.0 * (W * W + H * H);
        break;
    case 2: {
        const double r = W / 2.0;
        I[0] = m * (r * r / 4.0 + H * H / 12.0);
        I[4] = m * (r * r / 2.0);
        I[8] = I[0];
        break;
    }
    case 3: {
        const double a = W / 2.0, b = H / 2.0, c = D / 2.0;
        I[0] = m / 5.0 * (b * b + c * c);
        I[4] = m / 5.0 * (a * a + c * c);
        I[8] = m / 5.0 * (a * a + b * b);
        break;
    }
    default: {
        const char* prefab = m_Params.szConstructionPrefabFileName;
        if (!g_RigidBodyParametersMgr.GetInertiaTensor(prefab, I, Iinv)) {
            g_Console.Printf("ERROR in ERigidBodyPhysics: nie znalazlem Inertia Tensor dla prefaba: %s",
                             prefab);
            return;
        }
        if (m > 0.0)
            for (int i = 0; i < 9; ++i) {
                I[i] *= m;
                Iinv[i] /= m;
            }
        return;
    }
    }
    for (int i = 0; i < 9; i += 4)
        Iinv[i] = I[i] != 0.0 ? 1.0 / I[i] : 0.0;
}

bool ERigidBodyPhysics::Init() {
    if (!m_bInUse) return false;
    double r = 0.0;
    for (uint32_t i = 0; i < m_iNumParticles; ++i) {
        const double* p = m_pParticles[i].vBody;
        r = std::fmax(r, std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]));
    }
    r += 1.0;
    for (int k = 0; k < 3; ++k) {
        m_vLocalMin[k] = -r;
        m_vLocalMax[k] = r;
    }
    math::Vec3 pos;
    orientation o;
    GetObjectPosition(m_hObject, &pos);
    GetObjectOrientation(m_hObject, &o);
    const float fr = float(r);
    const math::Vec3 bmin(pos.x - fr, pos.y - fr, pos.z - fr), bmax(pos.x + fr, pos.y + fr, pos.z + fr);
    if (m_pFinder)
        g_CollisionMgr.MoveBoxFinder(m_pFinder, &bmin, &bmax);
    else
        m_pFinder = g_CollisionMgr.AddBoxFinder(&bmin, &bmax);

    m_dAge = 0;
    m_bActive = 1;
    m_dwSteps = 0;
    RigidBodyState& s = m_State;
    s.t = 0;
    s.mass = m_Params.fMass;
    s.x[0] = pos.x;
    s.x[1] = pos.y;
    s.x[2] = pos.z;
    s.q[0] = o.quaternion.x;
    s.q[1] = o.quaternion.y;
    s.q[2] = o.quaternion.z;
    s.q[3] = o.quaternion.w;
    const double len = std::sqrt(s.q[0] * s.q[0] + s.q[1] * s.q[1] + s.q[2] * s.q[2] + s.q[3] * s.q[3]);
    if (len == 0.0)
        g_Console.Print("ERROR in ERigidBodyPhysics::Init(): dQLen==0 !!!");
    else
        for (double& c : s.q)
            c /= len;
    for (int k = 0; k < 3; ++k)
        s.P[k] = s.L[k] = s.v[k] = s.omega[k] = s.force[k] = s.torque[k] = 0.0;
    SetNewState(&s);

    for (uint32_t i = 0; i < m_iNumParticles; ++i) {
        MulVec3(s.R, m_pParticles[i].vBody, m_pParticles[i].vWorld);
        m_pParticles[i].vWorld[0] += pos.x;
        m_pParticles[i].vWorld[1] += pos.y;
        m_pParticles[i].vWorld[2] += pos.z;
    }
    if (m_pSound) {
        const float x[3] = {float(s.x[0]), float(s.x[1]), float(s.x[2])};
        g_SoundMgr.SetSoundPosition(m_pSound, x);
    }
    CheckHull();
    return true;
}

void ERigidBodyPhysics::CheckHull() const {
    const double* x = m_State.x;
    uint32_t inward = 0;
    auto normalOf = [&](uint32_t f, double N[3], double c[3]) {
        const double* A = m_pParticles[m_pIndices[f * 3]].vWorld;
        const double* B = m_pParticles[m_pIndices[f * 3 + 1]].vWorld;
        const double* C = m_pParticles[m_pIndices[f * 3 + 2]].vWorld;
        const double a[3] = {A[0] - C[0], A[1] - C[1], A[2] - C[2]};
        const double b[3] = {B[0] - C[0], B[1] - C[1], B[2] - C[2]};
        N[0] = a[1] * b[2] - a[2] * b[1];
        N[1] = a[2] * b[0] - a[0] * b[2];
        N[2] = a[0] * b[1] - a[1] * b[0];
        double len = std::sqrt(N[0] * N[0] + N[1] * N[1] + N[2] * N[2]);
        if (len == 0.0) len = 1.0;
        for (int k = 0; k < 3; ++k) {
            N[k] /= len;
            c[k] = (A[k] + B[k] + C[k]) / 3.0 - x[k];
        }
        return N[0] * c[0] + N[1] * c[1] + N[2] * c[2] < 0.0;
    };
    double N[3], c[3];
    for (uint32_t f = 0; f < m_dwNumIndices; ++f)
        if (normalOf(f, N, c)) ++inward;
    if (inward == 0 || inward < m_dwNumIndices / 2) return;
    const ObjectRecord* co = m_hConstructionObj;
    const char* meshName = co && co->Mesh() ? co->Mesh()->m_szFileName : "";
    for (uint32_t f = 0; f < m_dwNumIndices; ++f) {
        if (!normalOf(f, N, c)) continue;
        const double* A = m_pParticles[m_pIndices[f * 3]].vWorld;
        const double* B = m_pParticles[m_pIndices[f * 3 + 1]].vWorld;
        const double* C = m_pParticles[m_pIndices[f * 3 + 2]].vWorld;
        g_Console.Print("");
        g_Console.Print("ERROR: #xxx DZIWNA SPRAWA... normal vABCN NIE wskazuje na zewnatrz obiektu "
                        "m_hConstructionObj......");
        g_Console.Printf("prefab: %s", meshName);
        g_Console.Printf("object_name: %s", co ? co->szName : "");
        if (m_Params.iShape == 1) g_Console.Print("   BOX physics");
        if (m_Params.iShape == 4) g_Console.Print("   Physics Construction Taken From Prefab:");
        g_Console.Printf("vA=(%lf,%lf,%lf)", A[0], A[1], A[2]);
        g_Console.Printf("vB=(%lf,%lf,%lf)", B[0], B[1], B[2]);
        g_Console.Printf("vC=(%lf,%lf,%lf)", C[0], C[1], C[2]);
        g_Console.Printf("vABCN=(%lf,%lf,%lf)", N[0], N[1], N[2]);
        g_Console.Printf("v0(srodek trojkata)=(%lf,%lf,%lf)", c[0], c[1], c[2]);
        g_Console.Printf("nr_face: %d", int(f));
        g_Console.Print("");
    }
}

void ERigidBodyPhysics::Activate() {
    if (!m_bInUse) return;
    uint32_t& active = g_RigidBodySimulation.m_dwNumActive;
    if (m_Params.bNotImportant && active >= NOT_IMPORTANT_ACTIVE_LIMIT) return;
    m_dSleepCountdown = -1.0;
    if (!m_bActive) {
        g_Engine.FireAction(m_Params.szGiveActionTo, 0);
        if (m_pSound) g_SoundMgr.PlaySound(m_pSound, false);
        m_dSilenceTimer = 0;
        m_bSoundWaiting = 0;
    }
    MarkAwake();
}

void ERigidBodyPhysics::KeepAwake() {
    uint32_t& active = g_RigidBodySimulation.m_dwNumActive;
    if (m_Params.bNotImportant && active >= NOT_IMPORTANT_ACTIVE_LIMIT) return;
    if (m_bActive && m_dAge < KEEP_AWAKE_AGE) return;
    MarkAwake();
}

void ERigidBodyPhysics::Deactivate() {
    uint32_t& active = g_RigidBodySimulation.m_dwNumActive;
    if (m_bActive && active > 0) --active;
    m_bActive = 0;
    SetJointsAwake(0);
}

// Counts a body that was asleep among the active ones and restarts its age.
void ERigidBodyPhysics::MarkAwake() {
    if (!m_bActive) {
        m_dwSteps = 0;
        ++g_RigidBodySimulation.m_dwNumActive;
    }
    m_dAge = 0;
    m_bActive = 1;
    SetJointsAwake(1);
}

void ERigidBodyPhysics::SetJointsAwake(uint8_t awake) {
    for (int i = 0; i < MAX_JOINTS && m_pJoints[i]; ++i)
        m_pJoints[i]->bAwake = awake;
}

void ERigidBodyPhysics::UpdateObject() {
    if (!m_hConstructionObj) return;
    const RigidBodyState& s = m_State;
    // The quaternion of the matrix whose rows are R's columns, the row-vector
    // form of the same rotation.
    const double* R = s.R;
    const double m00 = R[0], m01 = R[3], m02 = R[6], m10 = R[1], m11 = R[4], m12 = R[7], m20 = R[2],
                 m21 = R[5], m22 = R[8];
    double qx, qy, qz, qw;
    const double tr = m00 + m11 + m22;
    if (tr > 0.0) {
        const double sq = std::sqrt(tr + 1.0) * 2.0;
        qw = 0.25 * sq;
        qx = (m12 - m21) / sq;
        qy = (m20 - m02) / sq;
        qz = (m01 - m10) / sq;
    } else if (m00 > m11 && m00 > m22) {
        const double sq = std::sqrt(1.0 + m00 - m11 - m22) * 2.0;
        qw = (m12 - m21) / sq;
        qx = 0.25 * sq;
        qy = (m01 + m10) / sq;
        qz = (m20 + m02) / sq;
    } else if (m11 > m22) {
        const double sq = std::sqrt(1.0 + m11 - m00 - m22) * 2.0;
        qw = (m20 - m02) / sq;
        qx = (m01 + m10) / sq;
        qy = 0.25 * sq;
        qz = (m12 + m21) / sq;
    } else {
        const double sq = std::sqrt(1.0 + m22 - m00 - m11) * 2.0;
        qw = (m01 - m10) / sq;
        qx = (m20 + m02) / sq;
        qy = (m12 + m21) / sq;
        qz = 0.25 * sq;
    }
    orientation o;
    o.SetQuaternion(math::Quat{float(qx), float(qy), float(qz), float(qw)});
    const math::Vec3 pos(float(s.x[0]), float(s.x[1]), float(s.x[2]));
    // A write moves the mesh, its collision copy and its place in every
    // finder: an object that has the pose already is left alone (a frame
    // asks several times, mostly of a body that has not moved since).
    for (ObjectRecord* h : {m_hConstructionObj, m_hObject})
        if (h && !(h->vPosition == pos && h->Orientation.quaternion == o.quaternion))
            SetObjectPositionAndOrientation(h, pos, o);

    if (m_pSound && m_Params.bSoundOn && !g_SoundMgr.IsSoundPlaying(m_pSound)) {
        m_bSoundWaiting = 1;
        if (m_dSilenceTimer >= m_Params.fSilenceBetweenSounds) {
            m_dSilenceTimer = 0;
            m_bSoundWaiting = 0;
            g_SoundMgr.PlaySound(m_pSound, false);
        }
    }
    if (m_dTimers[2] > 0.15) {
        m_dTimers[2] = 0;
        if (m_pSound) {
            const float x[3] = {float(s.x[0]), float(s.x[1]), float(s.x[2])};
            g_SoundMgr.SetSoundPosition(m_pSound, x);
        }
    }
}

void ERigidBodyPhysics::StopMomentum() {
    for (int k = 0; k < 3; ++k)
        m_State.P[k] = m_State.L[k] = 0.0;
    SetNewState(&m_State);
}

void ERigidBodyPhysics::WriteBlock(uint8_t* block) const {
    uint8_t* p = block;
    PutBytes<1>(p, &m_bInUse);
    PutBytes<520>(p, &m_State);
    PutBytes<1>(p, &m_bActive);
    PutBytes<8>(p, &m_dAge);
    PutBytes<4>(p, &m_dwSteps);
    m_Params.WriteImage(p);
    p += RigidBodyPhysicsParams::IMAGE_SIZE;
    PutBytes<1>(p, &m_bSoundWaiting);
    PutBytes<8>(p, &m_dSilenceTimer);
    PutBytes<32>(p, m_dTimers);
    const uint8_t ragdoll = 0;
    PutBytes<1>(p, &ragdoll);
    PutBytes<24>(p, m_vLocalMin);
    PutBytes<24>(p, m_vLocalMax);
    PutBytes<12>(p, m_vGatheredMin);
    PutBytes<12>(p, m_vGatheredMax);
    PutBytes<12>(p, m_fScale);
}

void ERigidBodyPhysics::ReadBlock(const uint8_t* block) {
    if (m_pFinder) g_CollisionMgr.RemoveFinder(m_pFinder);
    m_pFinder = nullptr;
    m_dwNumExcluded = 0;
    m_bExclusionPending = 1;
    const uint8_t* p = block;
    GetBytes<1>(p, &m_bInUse);
    GetBytes<520>(p, &m_State);
    GetBytes<1>(p, &m_bActive);
    GetBytes<8>(p, &m_dAge);
    GetBytes<4>(p, &m_dwSteps);
    m_Params.ReadImage(p);
    p += RigidBodyPhysicsParams::IMAGE_SIZE;
    GetBytes<1>(p, &m_bSoundWaiting);
    GetBytes<8>(p, &m_dSilenceTimer);
    GetBytes<32>(p, m_dTimers);
    GetBytes<1>(p, &m_bRagdollMember);
    GetBytes<24>(p, m_vLocalMin);
    GetBytes<24>(p, m_vLocalMax);
    GetBytes<12>(p, m_vGatheredMin);
    GetBytes<12>(p, m_vGatheredMax);
    GetBytes<12>(p, m_fScale);
    // The texts are used as C strings.
    Terminate(m_Params.szJointMySocket);
    Terminate(m_Params.szJointToObject);
    Terminate(m_Params.szJointObjectSocket);
    Terminate(m_Params.szGiveActionTo);
    Terminate(m_Params.szSoundFileName);
    Terminate(m_Params.szCollisionSound);
    for (auto& name : m_Params.szDisableCollisionWith)
        Terminate(name);
    Terminate(m_Params.szConstructionPrefabFileName);
}

namespace {

// Where the numbers of a body block lie.
constexpr size_t kBlockState = 1, kBlockActive = 521, kBlockAge = 522, kBlockParams = 534,
                 kBlockSilence = 2919, kBlockLocalBox = 2960, kBlockGatheredBox = 3008;
constexpr size_t kParamsFloats[] = {offsetof(RigidBodyPhysicsParams, fMass),
                                    offsetof(RigidBodyPhysicsParams, fFrictionCoef),
                                    offsetof(RigidBodyPhysicsParams, fJointDamping),
                                    offsetof(RigidBodyPhysicsParams, fSoundRange),
                                    offsetof(RigidBodyPhysicsParams, fSilenceBetweenSounds),
                                    offsetof(RigidBodyPhysicsParams, fCollisionSoundValue)};
static_assert(kBlockGatheredBox + 9 * sizeof(float) == ERigidBodyPhysics::SAVE_BLOCK_SIZE);

} // namespace

bool ERigidBodyPhysics::IsBlockSound(const uint8_t* block) {
    if (block[0] != 1 || block[kBlockActive] > 1) return false;
    // The state, the age, the silence timer and the four timers, the local box.
    if (!AllFinite<double>(block + kBlockState, sizeof(RigidBodyState) / sizeof(double)) ||
        !AllFinite<double>(block + kBlockAge, 1) || !AllFinite<double>(block + kBlockSilence, 5) ||
        !AllFinite<double>(block + kBlockLocalBox, 6) || !AllFinite<float>(block + kBlockGatheredBox, 9))
        return false;
    for (size_t at : kParamsFloats)
        if (!AllFinite<float>(block + kBlockParams + at, 1)) return false;
    double mass;
    std::memcpy(&mass, block + kBlockState + offsetof(RigidBodyState, mass), sizeof mass);
    return mass > 0.0;
}

void ERigidBodyPhysics::Save(std::FILE* f) const {
    uint8_t block[SAVE_BLOCK_SIZE];
    WriteBlock(block);
    std::fwrite(block, 1, sizeof block, f);
}

void ERigidBodyPhysics::Load(std::FILE* f) {
    uint8_t block[SAVE_BLOCK_SIZE];
    if (std::fread(block, 1, sizeof block, f) < sizeof block) {
        // A torn block would leave a body of mass 0: the body keeps the state
        // it was created with, and only the finder waits for the next gathering.
        if (m_pFinder) g_CollisionMgr.RemoveFinder(m_pFinder);
        m_pFinder = nullptr;
        g_Console.Print("ERROR in ERigidBodyPhysics::Load(): block cut short");
        return;
    }
    ReadBlock(block);
}

void ERigidBodyPhysics::SetNewState(RigidBodyState* s) {
    if (!s) return;
    for (int k = 0; k < 3; ++k)
        s->v[k] = s->P[k] / s->mass;
    const double len =
        std::sqrt(s->q[0] * s->q[0] + s->q[1] * s->q[1] + s->q[2] * s->q[2] + s->q[3] * s->q[3]);
    if (len == 0.0)
        g_Console.Print("ERROR in ERigidBodyPhysics::SetNewState(): dQLen==0 !!!");
    else
        for (double& c : s->q)
            c /= len;
    const double x = s->q[0], y = s->q[1], z = s->q[2], w = s->q[3];
    double* R = s->R;
    R[0] = 1 - 2 * y * y - 2 * z * z;
    R[1] = 2 * x * y - 2 * w * z;
    R[2] = 2 * x * z + 2 * w * y;
    R[3] = 2 * x * y + 2 * w * z;
    R[4] = 1 - 2 * x * x - 2 * z * z;
    R[5] = 2 * y * z - 2 * w * x;
    R[6] = 2 * x * z - 2 * w * y;
    R[7] = 2 * y * z + 2 * w * x;
    R[8] = 1 - 2 * x * x - 2 * y * y;
    double RI[9], Rt[9];
    Mul3(R, s->Ibodyinv, RI);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            Rt[i * 3 + j] = R[j * 3 + i];
    Mul3(RI, Rt, s->Iinv);
    MulVec3(s->Iinv, s->L, s->omega);
}

void ERigidBodyPhysics::ComputeDerivative(double, double out[RigidBodyState::NUM_PRIMARY]) {
    RigidBodyState& s = m_State;
    s.force[0] = 0.0;
    s.force[1] = s.mass * GRAVITY;
    s.force[2] = 0.0;
    s.torque[0] = s.torque[1] = s.torque[2] = 0.0;
    const double* w = s.omega;
    const double qx = s.q[0], qy = s.q[1], qz = s.q[2], qw = s.q[3];
    out[0] = s.v[0];
    out[1] = s.v[1];
    out[2] = s.v[2];
    out[3] = 0.5 * (qw * w[0] + w[1] * qz - w[2] * qy);
    out[4] = 0.5 * (qw * w[1] + w[2] * qx - w[0] * qz);
    out[5] = 0.5 * (qw * w[2] + w[0] * qy - w[1] * qx);
    out[6] = -0.5 * (w[0] * qx + w[1] * qy + w[2] * qz);
    for (int k = 0; k < 3; ++k) {
        out[7 + k] = s.force[k];
        out[10 + k] = s.torque[k];
    }
}

void ERigidBodyPhysics::Integrate(double t0, double t1, RigidBodyState* out, bool adaptive) {
    if (!out || !m_bInUse) return;
    const double h = t1 - t0;
    if (h < 0.0) return;
    const RigidBodyState s0 = m_State;
    double d[RigidBodyState::NUM_PRIMARY];
    auto step = [&](double dt) {
        ComputeDerivative(m_State.t, d);
        double* y = m_State.Primary();
        for (int i = 0; i < RigidBodyState::NUM_PRIMARY; ++i)
            y[i] += d[i] * dt;
        SetNewState(&m_State);
    };
    step(h / 2.0);
    step(h / 2.0);
    *out = m_State;
    out->t = t1;

    m_State = s0;
    step(h);
    double sum = 0.0;
    for (int i = 0; i < RigidBodyState::NUM_PRIMARY; ++i)
        sum += out->Primary()[i] - m_State.Primary()[i];
    const double err = std::fabs(sum);
    m_dLastError = err;
    if (adaptive && err > MAX_INTEGRATION_ERROR) {
        const double h2 = h * std::sqrt(MAX_INTEGRATION_ERROR / err);
        m_State = s0;
        step(h2);
        *out = m_State;
        out->t = t0 + h2;
    }
    m_State = s0;
}

double ERigidBodyPhysics::IntegrationError(const RigidBodyState& a, const RigidBodyState& b) {
    double sum = 0.0;
    for (int i = 0; i < RigidBodyState::NUM_PRIMARY; ++i)
        sum += a.Primary()[i] - b.Primary()[i];
    return std::fabs(sum);
}

void ERigidBodyPhysics::GetState(RigidBodyState* out) const {
    if (out) *out = m_State;
}

void ERigidBodyPhysics::SetState(const RigidBodyState* in, bool derive) {
    if (!in) return;
    m_State = *in;
    if (derive) SetNewState(&m_State);
}

void ERigidBodyPhysics::ApplyImpulse(const double point[3], const double J[3]) {
    if (!m_bActive) return;
    RigidBodyState& s = m_State;
    const double r[3] = {point[0] - s.x[0], point[1] - s.x[1], point[2] - s.x[2]};
    for (int k = 0; k < 3; ++k)
        s.P[k] += J[k];
    s.L[0] += r[1] * J[2] - r[2] * J[1];
    s.L[1] += r[2] * J[0] - r[0] * J[2];
    s.L[2] += r[0] * J[1] - r[1] * J[0];
    for (int k = 0; k < 3; ++k)
        s.v[k] = s.P[k] / s.mass;
    MulVec3(s.Iinv, s.L, s.omega);
}
