// Records that small groups of world-file object keys fill: the rigid-body
// settings of a static mesh (held by its EMesh, read by the rigid-body
// simulation, saved with the object as a 2384-byte image).
//
// The keys themselves are parsed by EWorldMgr (world/WorldMgr.h): blinking,
// light control, Bezier movement, the object's own FX and the rigid-body keys,
// each reading the object's current record, changing the fields its key names
// and writing the record back through the object API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Rigid-body settings of a mesh object. The record has no constructor of its
// own: Reset gives the defaults (its owner, the mesh, calls it when it is
// built). No pointers, so the natural layout is the image layout.
struct RigidBodyPhysicsParams {
    static constexpr size_t IMAGE_SIZE = 2384;
    static constexpr int NUM_DISABLED_COLLISIONS = 25;

    int32_t iShape; // rigid_body_physics_general value 1: 0 none, 1 box, 2 cylinder, 3 sphere, 4 mesh
    float fMass;    // rigid_body_physics_general value 2
    uint8_t bCollideWithPlayer;   // rigid_body_physics_general value 3
    uint8_t bReactAfterBulletHit; // rigid_body_physics_react_after_bullet_hit value 1
    uint8_t bReactAfterExplosion; // rigid_body_physics_react_after_explosion value 1
    uint8_t bNotImportant;        // rigid_body_physics_not_important value 1
    uint8_t bSpherePreset;        // no key: set for grenades
    uint8_t bBoxPreset;           // no key: set for items dropped by the item manager
    uint8_t _pad14[2];
    float fFrictionCoef;          // rigid_body_physics_friction_coef value 1
    uint8_t bJointOn;             // rigid_body_physics_joint_general value 1
    char szJointMySocket[32];     // rigid_body_physics_joint_my_socket value 1
    char szJointToObject[32];     // rigid_body_physics_joint_to_object value 1
    char szJointObjectSocket[32]; // rigid_body_physics_joint_object_socket value 1
    uint8_t _pad117[3];
    float fJointDamping;       // rigid_body_physics_joint_general value 2
    char szGiveActionTo[32];   // rigid_body_physics_give_action_to value 1
    char szSoundFileName[256]; // rigid_body_physics_sound_filename value 1
    uint8_t bSoundOn;          // rigid_body_physics_sound_params value 1
    uint8_t _pad413[3];
    float fSoundRange;                          // rigid_body_physics_sound_params value 2
    float fSilenceBetweenSounds;                // rigid_body_physics_silence_between_sounds value 1
    char szCollisionSound[256];                 // rigid_body_physics_collision_sound value 2
    uint8_t Reserved680[768];                   // no key, zeroed by Reset
    float fCollisionSoundValue;                 // rigid_body_physics_collision_sound value 1
    uint8_t bDisableAllCollisions;              // rigid_body_physics_disable_all_collisions value 1
    uint8_t bDisableCollisionsWithOtherPhysics; // rigid_body_physics_disable_collisions_with_other_physics
                                                // value 1
    // rigid_body_physics_disable_collision_with_1 (entry 0) and
    // rigid_body_physics_disable_collision_with_list (entry, name)
    char szDisableCollisionWith[NUM_DISABLED_COLLISIONS][32];
    char szConstructionPrefabFileName[128]; // rigid_body_physics_construction_prefab_filename value 1
    uint8_t _pad2382[2];

    // The defaults: shape 0, mass 8.0, collide with player, react after
    // bullet hits and explosions, friction and joint damping 1.0; everything
    // else (texts, names, the reserved area, padding) zero.
    void Reset();

    // The saved image: every field at its offset, padding written as zeros.
    void WriteImage(uint8_t* image) const;
    // Takes every field from an image; its padding bytes are ignored.
    void ReadImage(const uint8_t* image);
};

// Every field of the image at its offset (padding is not listed).
#define ZT_RIGID_BODY_PARAMS_IMAGE(X)                                                                        \
    X(0, iShape)                                                                                             \
    X(4, fMass)                                                                                              \
    X(8, bCollideWithPlayer)                                                                                 \
    X(9, bReactAfterBulletHit)                                                                               \
    X(10, bReactAfterExplosion)                                                                              \
    X(11, bNotImportant)                                                                                     \
    X(12, bSpherePreset)                                                                                     \
    X(13, bBoxPreset)                                                                                        \
    X(16, fFrictionCoef)                                                                                     \
    X(20, bJointOn)                                                                                          \
    X(21, szJointMySocket)                                                                                   \
    X(53, szJointToObject)                                                                                   \
    X(85, szJointObjectSocket)                                                                               \
    X(120, fJointDamping)                                                                                    \
    X(124, szGiveActionTo)                                                                                   \
    X(156, szSoundFileName)                                                                                  \
    X(412, bSoundOn)                                                                                         \
    X(416, fSoundRange)                                                                                      \
    X(420, fSilenceBetweenSounds)                                                                            \
    X(424, szCollisionSound)                                                                                 \
    X(680, Reserved680)                                                                                      \
    X(1448, fCollisionSoundValue)                                                                            \
    X(1452, bDisableAllCollisions)                                                                           \
    X(1453, bDisableCollisionsWithOtherPhysics)                                                              \
    X(1454, szDisableCollisionWith)                                                                          \
    X(2254, szConstructionPrefabFileName)

#define ZT_CHECK_RIGID_BODY_PARAMS_OFFSET(offset, field)                                                     \
    static_assert(offsetof(RigidBodyPhysicsParams, field) == offset);
ZT_RIGID_BODY_PARAMS_IMAGE(ZT_CHECK_RIGID_BODY_PARAMS_OFFSET)
#undef ZT_CHECK_RIGID_BODY_PARAMS_OFFSET
static_assert(sizeof(RigidBodyPhysicsParams) == RigidBodyPhysicsParams::IMAGE_SIZE);

// The image through the counted binary helpers.
void FileWriteRigidBodyPhysicsParams(std::FILE* f, const RigidBodyPhysicsParams& params);
void FileReadRigidBodyPhysicsParams(std::FILE* f, RigidBodyPhysicsParams& params);
