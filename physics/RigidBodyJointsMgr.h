// The joints of rigid bodies, `ERigidBodyJointsMgr` (global
// g_RigidBodyJointsMgr): ball links between two world objects at mesh
// sockets. Every joint pass moves the body of the higher level onto the
// anchor of the lower one (position projection), answers the relative
// velocity along the joint's direction with an inelastic impulse, and damps
// every jointed body with a limit on its spin. Either side may be an object
// without a body; that side is a fixed point that follows its object.
//
// Lifetimes: the manager owns its MAX_RIGIDBODY_JOINTS records. A joint is
// listed in the joint lists of both its bodies (packed from the front) and
// lives until RemoveJoints for either of its objects, which the simulation
// calls when a body goes away and the engine when an object is deleted; it
// sleeps and wakes with its bodies.
//
// Failure policy: a full table prints "MAX_RIGIDBODY_JOINTS exceeded!" and
// makes no joint; a body whose joint list is full does not list the joint,
// which is still found through the other body and the table.
#pragma once

#include <cstdint>

#include "app/Orientation.h"
#include "world/Engine.h"

struct ObjectRecord;
class ERigidBodyPhysics;

struct RigidBodyJoint {
    uint8_t bInUse;
    uint8_t bAwake;                  // set and cleared with the bodies
    uint32_t dwKind;                 // 0 is the only kind made; others get neither impulse nor projection
    double vAnchorA[3], vAnchorB[3]; // the socket vectors as the files give them
    double vOffsetA[3], vOffsetB[3]; // the anchors in world orientation, from each centre
    double vPointA[3], vPointB[3];   // the world anchor points
    double vAxisA[3], vAxisB[3];
    double vWorldAxisA[3], vWorldAxisB[3];
    double vTarget[3];    // where the two anchors should meet
    double vDirection[3]; // unit: the line of the joint impulse
    ERigidBodyPhysics* pBodyA;
    ERigidBodyPhysics* pBodyB;
    ObjectRecord* hObjectA;
    ObjectRecord* hObjectB;
    double dImpulse; // the last joint impulse
    double dKept;    // given at creation, not used
};

class ERigidBodyJointsMgr {
  public:
    static constexpr uint32_t MAX_RIGIDBODY_JOINTS = 1000;
    // Each awake joint lists at most its two objects.
    static constexpr uint32_t MAX_LISTED = 2 * MAX_RIGIDBODY_JOINTS;
    static constexpr int NUM_LEVELS = 4;
    // Anchors closer than this take the impulse direction from the axes.
    static constexpr double MIN_ANCHOR_DISTANCE = 1.0;
    static constexpr double MIN_AXIS_LENGTH = 0.1;
    static constexpr double DAMPING = 0.001;
    static constexpr double MAX_SPIN = 5.0;

    ERigidBodyJointsMgr() = default;
    virtual ~ERigidBodyJointsMgr() = default;
    ERigidBodyJointsMgr(const ERigidBodyJointsMgr&) = delete;
    ERigidBodyJointsMgr& operator=(const ERigidBodyJointsMgr&) = delete;

    // Joins object A at its socket to object B at its socket; names may be
    // null. Nothing when both objects are the same or neither has a body.
    RigidBodyJoint* AddJoint(ObjectRecord* a, const char* socketA, ObjectRecord* b, const char* socketB,
                             uint32_t kind, double kept, const char* axisSocketA, const char* axisSocketB);
    // Frees every joint with the object on either side.
    void RemoveJoints(ObjectRecord* h);
    // The joint pass.
    void Update();
    // Offsets, points, target and direction of every awake joint; their number.
    uint32_t UpdateGeometry();
    bool ApplyJointImpulse(RigidBodyJoint* joint);
    void ProjectPositions(ObjectRecord* const* objects, ERigidBodyPhysics* const* bodies, uint32_t count);
    // Moves the body's centre there, or half the way, or not at all, as far
    // as it does not collide.
    void MoveBodyTo(ERigidBodyPhysics* body, const double position[3]);
    // Takes the speed the body's anchor had along the correction the
    // projection gave it (from its x before to its x now), relative to the
    // holder's point there: the correction stands for that motion. The
    // impulse acts at the anchor, so a body held off its centre turns about
    // it as a pendulum does instead of keeping whatever tilt it had.
    static void RemoveSpeedAlong(ERigidBodyPhysics* body, const double before[3], const double anchor[3],
                                 const ERigidBodyPhysics* holder);

    RigidBodyJoint& Joint(uint32_t i) { return m_Joints[i]; }
    // One past the highest record in use.
    uint32_t HighWater() const { return m_dwHighWater; }
    uint32_t NumInUse() const;

    uint8_t m_bProjectionOn = 0;

  private:
    // How one side turns its socket vectors into world orientation: its scale
    // (the body's, else the object's) and its body's R or its object's matrix.
    struct Frame {
        float s[3];
        const double* pR;
        float m[4][4];
    };
    void SideFrame(ERigidBodyPhysics* body, ObjectRecord* h, Frame* out);
    static void ToWorld(const Frame& f, const double socket[3], double out[3]);
    uint32_t ListObjects();
    // Offsets, points, target and direction of one joint.
    void UpdateJointGeometry(RigidBodyJoint& j);
    // The level of every jointed body from the joint hierarchy: a body held
    // by an object without a body is level 0, a body joined to a body one
    // level below it; a group held by nothing starts at its first body.
    void AssignLevels();

    RigidBodyJoint m_Joints[MAX_RIGIDBODY_JOINTS] = {};
    uint32_t m_dwHighWater = 0;
    // The joint pass's objects and bodies, and a stamp per object slot that
    // keeps the list distinct.
    ObjectRecord* m_hListed[MAX_LISTED] = {};
    ERigidBodyPhysics* m_pListed[MAX_LISTED] = {};
    uint32_t m_dwPass = 0;
    orientation m_Orientation; // scratch of SideFrame
    uint32_t m_dwListedInPass[EEngine::MAX_OBJECTS] = {};
};

extern ERigidBodyJointsMgr g_RigidBodyJointsMgr;
