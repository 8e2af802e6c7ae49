// The rigid body of one loose world object, `ERigidBodyPhysics`: its motion in
// double precision, a hull of welded points taken from an invisible
// construction object, and its links to the visible object and its sound.
//
// The simulation (physics/RigidBodySimulation.h) owns one body per slot,
// creates it with Create, integrates it, wakes it and puts it to rest, and
// writes it into saved games with Save and Load.
//
// The body meets the world through triangles (RigidBodyContacts.cpp): the
// world triangles around it are gathered into m_pTrojkaty through the
// simulation's shared buffer, and gathered again only when a move leaves the
// gathered box; the move test and the contact generators intersect them, as
// segments and triangles, with the hull placed at the state asked about. A
// contact list holds at most MAX_CONTACTS; a generator that would add more
// says so once and stops. A hull edge naming a particle the body lacks is
// reported and left out.
//
// Lifetimes: the body owns its particles, hull indices, world-triangle buffer
// (each counted by the allocation tracker), its box finder, its construction
// object and its sounds; Release frees them all. It owns neither the visible
// object nor the joints.
//
// Failure policy: a missing construction object, inertia record or tensor is
// logged and creation goes on; only the special mode, a missing or non-mesh
// object and shape 0 refuse. A mass of 0, below 0 or not a number gives the
// default mass 8.0 (the object's settings keep what the file says).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "world/ObjectKeys.h"

struct ObjectRecord;
struct Finder;
struct strSound;
struct RigidBodyJoint;
class ERigidBodyRagdoll;

// The whole dynamic state, always copied as one 520-byte block. x, q, P and L
// are the primary values; R, Iinv, v and omega are derived by SetNewState.
struct RigidBodyState {
    static constexpr int NUM_PRIMARY = 13;

    double t;
    double mass;
    double Ibody[9];
    double Ibodyinv[9];
    double x[3];
    double q[4]; // x, y, z, w
    double P[3];
    double L[3];
    double R[9]; // world point = R * body point + x
    double Iinv[9];
    double v[3];
    double omega[3];
    double kept[2]; // the simulation's kinetic energies before a contact response
    double force[3];
    double torque[3];

    // x, q, P, L in that order.
    double* Primary() { return x; }
    const double* Primary() const { return x; }

    // Every value of the block, derived ones included.
    bool AllFinite() const {
        const double* v = &t;
        for (size_t i = 0; i < sizeof(RigidBodyState) / sizeof(double); ++i)
            if (!std::isfinite(v[i])) return false;
        return true;
    }
};
static_assert(sizeof(RigidBodyState) == 520);
static_assert(offsetof(RigidBodyState, L) + 3 * sizeof(double) ==
              offsetof(RigidBodyState, x) + RigidBodyState::NUM_PRIMARY * sizeof(double));

struct RigidBodyParticle {
    double vWorld[3] = {};
    double vBody[3] = {};
    uint8_t bContact = 0;
};

// One world triangle near the body, widened to doubles.
struct RigidBodyTriangle {
    double v0[3], v1[3], v2[3];
    double n[3];
    double vMin[3], vMax[3];
    ObjectRecord* hOwner;
    uint32_t dwMark;
    uint32_t dwUnused;
};

// One contact of a body with the world. The normal points from the world
// (object B) towards the body (object A); the edge directions are set for
// edge/edge contacts only; the last two fields are the simulation's.
struct RigidBodyContact {
    static constexpr uint32_t VERTEX_FACE = 1;
    static constexpr uint32_t EDGE_EDGE = 2;

    uint32_t dwType;
    ObjectRecord* hObjectA; // the body's construction object
    ObjectRecord* hObjectB; // the world triangle's object, null for the static world
    double p[3];
    double n[3];
    double ea[3], eb[3];
    double dRelativeSpeed;
    double vTangent[3];
};

// The simulation's contact lists: a count and the records.
struct RigidBodyContactList {
    static constexpr uint32_t MAX_CONTACTS = 100;
    uint32_t dwNumContacts = 0;
    RigidBodyContact Contacts[MAX_CONTACTS];
};

// True when enabled and some contact of the list lies closer than 1.5 to the
// point.
bool IsNearContact(bool enabled, const RigidBodyContactList* list, const double point[3]);

class ERigidBodyPhysics {
  public:
    static constexpr uint32_t MAX_TRIANGLES = 1000;
    static constexpr int MAX_JOINTS = 50;
    static constexpr int MAX_EXCLUDED = 25;
    static constexpr size_t SAVE_BLOCK_SIZE = 3044;
    static constexpr double GRAVITY = -9.81 * 64.0;
    static constexpr double MAX_INTEGRATION_ERROR = 0.08;
    static constexpr float DEFAULT_MASS = 8.0f;
    // An active body younger than this is not woken again by KeepAwake.
    static constexpr double KEEP_AWAKE_AGE = 3.0;
    // A not-important body is not woken while this many bodies are awake.
    static constexpr uint32_t NOT_IMPORTANT_ACTIVE_LIMIT = 6;
    // The margins of triangle gathering: the first gathered box and the
    // swept box whose leaving makes a gathering again.
    static constexpr float GATHER_MARGIN = 4.0f;
    static constexpr float REFRESH_MARGIN = 1.0f;

    ERigidBodyPhysics();
    virtual ~ERigidBodyPhysics() { Release(); }
    ERigidBodyPhysics(const ERigidBodyPhysics&) = delete;
    ERigidBodyPhysics& operator=(const ERigidBodyPhysics&) = delete;

    bool Create(ObjectRecord* h);
    bool Init();
    void Release();

    void GetObject(ObjectRecord** out) const;
    void GetConstructionObject(ObjectRecord** out) const;
    void GetFinder(Finder** out) const;

    void Activate();
    void KeepAwake();
    void Deactivate();
    void UpdateObject();
    void StopMomentum();

    // The 3044-byte block, raw on the stream.
    void Save(std::FILE* f) const;
    void Load(std::FILE* f);
    // The same block in memory. ReadBlock takes any bytes; IsBlockSound tells
    // whether they are a body that can move: in use, every number finite and
    // a mass above 0.
    void WriteBlock(uint8_t* block) const;
    void ReadBlock(const uint8_t* block);
    static bool IsBlockSound(const uint8_t* block);

    // Derives v, the unit q, R, Iinv and omega of any state.
    static void SetNewState(RigidBodyState* s);
    void ComputeDerivative(double time, double out[RigidBodyState::NUM_PRIMARY]);
    // The state reached from t0 towards t1 in out (two half steps, or one
    // shorter step when adaptive and the error estimate is too large); the
    // body's own state is unchanged.
    void Integrate(double t0, double t1, RigidBodyState* out, bool adaptive);
    void GetState(RigidBodyState* out) const;
    void SetState(const RigidBodyState* in, bool derive);
    void ApplyImpulse(const double point[3], const double impulse[3]);

    // ---- World triangles and contacts (RigidBodyContacts.cpp) -----------------------
    // Copies the world triangles around the body placed at both states into
    // m_pTrojkaty: first sets the gathered box anew (grown by GATHER_MARGIN),
    // otherwise it only grows to take both placements.
    void GatherWorldTriangles(const RigidBodyState* a, const RigidBodyState* b, bool first);
    // Gathers again only when the move leaves the gathered box.
    void RefreshWorldTriangles(const RigidBodyState* previous, const RigidBodyState* next);
    void ClearWorldTriangles() { m_dwNumTriangles = 0; }
    // Whether the move, or the body at the new state, meets a world triangle.
    bool IsCollision(const RigidBodyState* previous, const RigidBodyState* next, bool verbose);
    // Vertex/face and edge/edge contacts of the body at the new state.
    void TestCollisions_NOWA_KONCEPCJA(const RigidBodyState* previous, const RigidBodyState* next,
                                       bool* found, RigidBodyContactList* list, bool verbose);
    // Contacts from the crossings of hull and world edges with the other
    // side's triangles; the fallback of the generator above.
    void TestCollisions(const RigidBodyState* previous, const RigidBodyState* next, bool* found,
                        RigidBodyContactList* list, bool verbose);
    // The normal of the first crossing of the body at the state with the world.
    bool Get_First_Collision_Normal(const RigidBodyState* state, double normal[3], bool verbose);

    // The step-doubling error of two states: the absolute value of one signed
    // sum of the differences of their primary values (not a norm).
    static double IntegrationError(const RigidBodyState& a, const RigidBodyState& b);
    // The error estimate of the last Integrate (a test and tuning seam).
    double LastIntegrationError() const { return m_dLastError; }

    uint8_t m_bInUse = 0;
    RigidBodyPhysicsParams m_Params;
    ObjectRecord* m_hObject = nullptr;
    ObjectRecord* m_hConstructionObj = nullptr;
    uint32_t m_dwSlot = 0; // slot index + 1, 0 for none
    uint8_t m_bActive = 0;
    double m_dAge = 0;
    double m_dSleepCountdown = 0;
    uint32_t m_dwSteps = 0;
    uint8_t m_bSoundWaiting = 0;
    double m_dSilenceTimer = 0;
    strSound* m_pSound = nullptr;
    strSound* m_pSound2 = nullptr;
    strSound* m_pSound3 = nullptr;
    double m_dTimers[4] = {}; // the third runs the sound's position, the fourth the simulation's
    RigidBodyState m_State{};
    uint8_t m_bRagdollMember = 0;
    ERigidBodyRagdoll* m_pRagdoll = nullptr;
    RigidBodyJoint* m_pJoints[MAX_JOINTS] = {};
    uint32_t m_dwLevel = 0;
    float m_fScale[3] = {};
    uint32_t m_iNumParticles = 0;
    RigidBodyParticle* m_pParticles = nullptr;
    uint32_t m_dwNumIndices = 0; // hull triangles
    uint32_t* m_pIndices = nullptr;
    double m_vLocalMin[3] = {}, m_vLocalMax[3] = {};
    uint32_t m_dwNumTriangles = 0;
    RigidBodyTriangle* m_pTrojkaty = nullptr;
    float m_vGatheredMin[3] = {}, m_vGatheredMax[3] = {};
    Finder* m_pFinder = nullptr;
    uint8_t m_bExclusionPending = 0;
    uint32_t m_dwNumExcluded = 0;
    ObjectRecord* m_hExcluded[MAX_EXCLUDED] = {};

  private:
    void BuildHull(const char* prefab, uint32_t numVertices, const void* vertices, uint32_t numFaces,
                   const uint16_t* faces, const double size[3]);
    void ComputeInertia(const double size[3]);
    void CheckHull() const;
    void FreeArrays();
    void MarkAwake();
    void SetJointsAwake(uint8_t awake);
    // Contact tests (RigidBodyContacts.cpp).
    void PlaceParticles(const RigidBodyState& s);
    // Whether a world triangle of the object is left out of the body's own.
    bool IsExcludedFromGathering(ObjectRecord* h, ObjectRecord* const player[3]) const;

    double m_dLastError = 0;
};
