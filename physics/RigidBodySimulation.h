// The rigid-body simulation, `ERigidBodySimulation` (global
// g_RigidBodySimulation): the loose objects of the world, one body per slot.
//
// It owns up to MAX_SLOTS bodies, receives impulses from outside (shots,
// explosions, the player's body) and wakes the bodies touching a struck one,
// and keeps the NO COLLISION markers: boxes of "prefabs\special\hurt.x"
// objects, taken out of the world at world start, inside which bodies pass
// through the world's triangles. An object's two slot references (its record's
// dwRigidBody and dwRigidBody2) hold slot index + 1, 0 for none.
//
// Lifetimes: Reset (world start) destroys what the last world left and
// initialises the inertia-parameter manager; Destroy (world end) frees every
// body and that manager. All storage is fixed.
//
// A body whose settings ask for a joint is joined when it is added
// (physics/RigidBodyJointsMgr.h); removing it removes its joints.
//
// Every frame each awake body takes at most two steps: integrated until it
// would meet the world, its contacts answered by impulses, put to rest when it
// stops moving. Random choices come from the 15-bit generator, seeded from the
// timer at Reset, so that a run replays on a fixed clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "physics/CollisionMgr.h"
#include "physics/RigidBodyPhysics.h"
#include "platform/math/Types.h"

struct ObjectRecord;

struct RigidBodySlot {
    bool bUsed = false;
    bool bDone = false;
    uint32_t dwLastResult = 0;
    RigidBodyState Snapshots[4] = {};
    ERigidBodyPhysics* pBody = nullptr;

    // Zeroes the slot, marks it used and links slot and body both ways.
    void Init(ERigidBodyPhysics* body, uint32_t index);
};

struct NoCollisionMarker {
    bool bUsed = false;
    math::Vec3 vMin, vMax;
    math::Vec3 vCorners[8];

    void Clear() { *this = NoCollisionMarker{}; }
};

// 0.5 omega . (R Ibody R^T omega); 0 for a null state.
double RotationalKineticEnergy(const RigidBodyState* s);
// omega times the factor, and L taken again from it.
void ScaleSpin(RigidBodyState* s, double factor);

class ERigidBodySimulation {
  public:
    static constexpr uint32_t MAX_SLOTS = 1000;
    static constexpr uint32_t MAX_TRIANGLES = 1000;
    static constexpr uint32_t MAX_MARKERS = 100;
    static constexpr uint32_t MAX_WOKEN = 5; // the struck body and four neighbours
    static constexpr float WAKE_GAP = 6.0f;
    static constexpr double MAX_SPEED = 280.0, MAX_SPEED_BOX_PRESET = 200.0;
    static constexpr double MAX_SPIN = 9.0, MAX_SPIN_BOX_PRESET = 8.0;
    static constexpr double REST_COUNTDOWN = 2.0;
    // The frame and rest.
    static constexpr double MAX_FRAME_TIME = 0.1;
    static constexpr double DONE_TOLERANCE = 0.0001;
    static constexpr double MAX_AGE = 10.0, MAX_AGE_JOINTED = 25.0;
    static constexpr double YOUNG_AGE = 0.5, YOUNG_AGE_BY_ENERGY = 0.8;
    static constexpr double REST_MOVE = 0.02, REST_MOVE_BY_ENERGY = 0.1, REST_ENERGY = 100.0;
    // What AdvanceBody reports (the slot's last result; 0 for a new slot).
    static constexpr uint32_t RESULT_FREE = 1, RESULT_CONTACTS = 2, RESULT_STUCK = 4, RESULT_NO_CONTACTS = 5;
    // The time of impact: found within TOI_DISTANCE, halving at least
    // TOI_MIN_HALVINGS + 1 times before a half below TOI_MIN_HALF ends it.
    static constexpr double TOI_DISTANCE = 0.1, TOI_MIN_HALF = 0.0001;
    static constexpr int TOI_MIN_HALVINGS = 6;
    static constexpr int PUSH_OUT_STEPS = 4;
    static constexpr double PUSH_OUT_DISTANCE = 0.5;
    static constexpr double ESCAPE_START = 0.7, ESCAPE_START_BOX_PRESET = 2.0;
    static constexpr int ESCAPE_PASSES = 6;
    static constexpr double SEPARATION_SCALE = 1.1, SEPARATION_FULL_SPEED = 60.0, SEPARATION_MIN_SPEED = 40.0;
    static constexpr uint32_t MAX_SOLVED_CONTACTS = 48;
    // 1 + e of the contact response, and of a grenade's.
    static constexpr double BOUNCE = 1.41, BOUNCE_SPHERE_PRESET = 1.56;
    static constexpr double FRICTION = 0.14, FRICTION_MIN_SPEED = 30.0;
    static constexpr double SEPARATING_ANSWERED = 10.0;
    static constexpr const char* MARKER_MESH = "prefabs\\special\\hurt.x";
    // Given to every joint a body's settings ask for; the joint keeps it.
    static constexpr double JOINT_KEPT_VALUE = 10.0;

    // What other subsystems call a body.
    using Body = ERigidBodyPhysics;

    ERigidBodySimulation() = default;
    virtual ~ERigidBodySimulation() = default;
    ERigidBodySimulation(const ERigidBodySimulation&) = delete;
    ERigidBodySimulation& operator=(const ERigidBodySimulation&) = delete;

    // World start: Destroy, the generator seeded from the timer, the
    // inertia-parameter manager, the markers.
    bool Reset();
    // World end: every body and the inertia-parameter manager freed.
    void Destroy();

    // A body for the object, in the given slot or a new one, joined to the
    // object its settings name; null when it gets none.
    RigidBodySlot* AddBody(ObjectRecord* h, RigidBodySlot* slot = nullptr);
    void RemoveBody(RigidBodySlot* slot);
    // The slot of a reference (index + 1), null for 0 or an unused slot.
    RigidBodySlot* SlotOf(uint32_t ref);
    // The reference of a slot (index + 1), 0 for null.
    uint32_t RefOf(const RigidBodySlot* slot) const;
    // Removes every joint of the object; nothing for null.
    void RemoveJointsOfObject(ObjectRecord* h);

    bool FindBody(ObjectRecord* h, ERigidBodyPhysics** out);
    bool FindSlot(ObjectRecord* h, RigidBodySlot** out);
    RigidBodySlot* AllocateSlot(ERigidBodyPhysics* body);

    void ApplyImpulse(ObjectRecord* h, const double point[3], const double impulse[3]);
    void ApplyImpulse(ObjectRecord* h, const math::Vec3& point, const math::Vec3& impulse);
    // Nothing when any argument is null.
    void AddImpulse(ObjectRecord* h, const float* point, const float* impulse);
    void WakeTouchingBodies(ObjectRecord* h);
    // The smallest gap between the two objects' world collision boxes along
    // an axis that separates them; 0 when none does or an object is null.
    static float BoxGap(ObjectRecord* a, ObjectRecord* b);

    // The game frame's call: one frame of the simulation unless the engine
    // renders in its reduced mode.
    void Update();
    // One frame: every awake body takes at most two steps towards the frame
    // time (at most MAX_FRAME_TIME), with the joint pass before each round.
    void Simulate();
    // Advances the slot's body from t0 by dt as far as it is free, answers its
    // contacts; the time it advanced and a RESULT_ code.
    uint32_t AdvanceBody(uint32_t slot, double t0, double dt, double* advanced);
    // The two rest tests of a round (the second also by energy): false when
    // the body was put to rest (or there is none).
    bool StaysAwake(uint32_t slot, bool second);
    // Repairs of a start inside the world: the state pushed along the first
    // collision normal, the body shifted at random distances.
    void PushOutAlongNormal(uint32_t slot, RigidBodyState* s);
    bool EscapeByRandomShift(uint32_t slot);
    // Moves a body whose response left it fast a little away from its raw
    // contacts, unless that collides.
    void SeparateAlongContactNormals(uint32_t slot, bool averaging, double scale, double fullSpeed,
                                     double minSpeed);

    // Puts the slot's body to rest: stopped, its four snapshots its state, its
    // countdown 2.0 (it falls by the frame time in each of a frame's two rounds).
    void PutBodyToRest(uint32_t slot);
    // A body whose state is no longer finite (x, q, P, L or what is derived
    // from them) goes back to its last finite snapshot, else to its
    // object's pose, and is put to rest, with a line; true when it was.
    bool RestIfNotFinite(uint32_t slot);
    // The caps at the start of a step: 280 (200 for a dropped item) units
    // per second, 9 (8) radians per second; grenades are never capped.
    static void LimitSpeeds(ERigidBodyPhysics* body);
    // The body's kinetic energies before a contact response, and afterwards
    // its v and omega brought back so that their sum does not grow.
    void StoreKineticEnergy(uint32_t slot);
    void LimitKineticEnergy(uint32_t slot);
    // Contact response. ClassifyContacts keeps the approaching contacts of
    // the raw list and the slowly separating ones (their normal reversed) in
    // the classified list; ApplyCollisionImpulses answers them one at a time,
    // ComputeContactImpulses all at once through the contact-force solver
    // (false above MAX_SOLVED_CONTACTS or when the solver fails).
    void ClassifyContacts(RigidBodyContactList* raw);
    void ApplyCollisionImpulses();
    bool ComputeContactImpulses();
    // Turns the slot's body's v (not P) along a randomly weighted sum of its
    // raw contacts' normals; false without such contacts.
    bool DeflectFromContacts(uint32_t slot);

    // The twelve offsets of a random shift at distance d in the order they
    // are tried, one draw of the 15-bit generator each (Fisher-Yates); with
    // the box preset none goes down.
    static void EscapeOffsets(double d, bool boxPreset, double out[12][3]);

    void BuildNoCollisionMarkers();
    bool IsInNoCollisionMarker(double x, double y, double z) const;

    // The object's rigid-body block of a saved game: a flag byte, then (at 1)
    // the body, the slot's four snapshots and its last result.
    static constexpr size_t SAVED_BODY_SIZE =
        ERigidBodyPhysics::SAVE_BLOCK_SIZE + 4 * sizeof(RigidBodyState) + 4;
    static constexpr size_t SAVE_BLOCK_SIZE = 1 + SAVED_BODY_SIZE;
    void SaveGame(ObjectRecord* h, std::FILE* f);
    // Reads at most `length` bytes. False when the block ends early or holds
    // what no body can be (logged): the body is then left as it was created.
    bool LoadGame(ObjectRecord* h, std::FILE* f, size_t length = SAVE_BLOCK_SIZE);
    // The same block in memory: the bytes written (1 or SAVE_BLOCK_SIZE), and
    // the reader of `size` bytes behind LoadGame.
    size_t WriteSaveBlock(ObjectRecord* h, uint8_t block[SAVE_BLOCK_SIZE]);
    bool ReadSaveBlock(ObjectRecord* h, const uint8_t* block, size_t size);

    uint32_t NumSlots() const { return m_dwNumSlots; }
    RigidBodySlot& Slot(uint32_t i) { return m_Slots[i]; }
    uint32_t NumMarkers() const { return m_dwNumMarkers; }
    const NoCollisionMarker& Marker(uint32_t i) const { return m_Markers[i]; }

    bool m_bInitialised = false;
    uint32_t m_dwNumActive = 0;
    // Scratch space of triangle gathering, shared by every body.
    uint32_t m_dwNumWorldTriangles = 0;
    CollisionTriangle m_WorldTriangles[MAX_TRIANGLES];
    // The contacts of the body being advanced, and the same classified.
    RigidBodyContactList m_Contacts;
    RigidBodyContactList m_ClassifiedContacts;

  private:
    void JoinAsSet(ObjectRecord* h, const RigidBodyPhysicsParams& params);
    // Applies J = j n at contact c to its two bodies (friction against the
    // tangent above FRICTION_MIN_SPEED) and keeps them awake.
    void ApplyContactImpulse(const RigidBodyContact& c, double j);
    // Steps the slot's body in a round of the frame (h the frame time, T its end).
    void StepSlot(uint32_t slot, double h, double T);
    // The slot's body when it is awake, else null.
    ERigidBodyPhysics* ActiveBody(uint32_t slot);
    // The joints' pass with their position projection on.
    static void JointPass();

    // The solver's matrix and right side, MAX_SOLVED_CONTACTS square.
    double m_A[MAX_SOLVED_CONTACTS * MAX_SOLVED_CONTACTS] = {};
    double m_b[MAX_SOLVED_CONTACTS] = {};
    uint32_t m_dwNumSlots = 0;
    RigidBodySlot m_Slots[MAX_SLOTS];
    uint32_t m_dwNumMarkers = 0;
    NoCollisionMarker m_Markers[MAX_MARKERS];
};

extern ERigidBodySimulation g_RigidBodySimulation;
