// The death parameters of a world object: its health, the script variables
// set or cleared when it is hit or dies, the animations, sounds, FX and
// replacement meshes of its death, the objects it activates, destroys or
// teleports, glass-pane shattering and screen shake. The world file's
// death-parameter keys fill it (EWorldMgr::ParseDeathParamsKeys), the death
// handling, explosions and hits read it, object copies copy it and save games
// hold it as a 2788-byte image. Like the action block it holds no pointers:
// the natural layout is the image layout, gaps written out as padding, and
// the image is written and read field by field.
//
// Members are named after their key ("death_params_" left off); the numbered
// values of "death_params_1" carry the names of what they switch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "app/Records.h"

struct DeathParams {
    static constexpr size_t IMAGE_SIZE = 2788;
    static constexpr int NUM_TELEPORT_OBJECTS = 10;

    uint8_t bOn = 0;               // death_params_1 value 1
    char szHandleDeathIf[32] = {}; // death_params_HandleDeathIf rest
    uint8_t _pad33[3] = {};
    float fKillIfPlayerCloserThan = 0.0f; // death_params_kill_if_player_closer_than value 1
    uint8_t bPrimaryHits = 1;             // death_params_1 value 9
    uint8_t bExplosionHits = 1;           // death_params_1 value 7
    uint8_t bSecondaryHits = 1;           // death_params_1 value 8
    uint8_t _pad43[1] = {};
    float fHealth = 1.0f;               // death_params_1 value 11
    char szSetWhenHit[32] = {};         // death_params_SetWhenHit rest
    char szUnsetWhenHit[32] = {};       // death_params_UnsetWhenHit rest
    char szSetWhenDead[32] = {};        // death_params_SetWhenDead rest
    char szUnsetWhenDead[32] = {};      // death_params_UnsetWhenDead rest
    uint8_t bHideAfterDeath = 1;        // death_params_1 value 6
    uint8_t bRemoveJointsWhenDead = 0;  // death_params_remove_joints_when_dead value 1
    uint8_t bDeathSound = 0;            // death_params_1 value 10
    char szSoundName[256] = {};         // death_params_SoundName rest
    uint8_t bHitAnim = 0;               // death_params_1 value 4
    char szHitAnimName[32] = {};        // death_params_HitAnimName rest
    uint8_t bDeadAnim = 0;              // death_params_1 value 3
    char szDeadAnimName[32] = {};       // death_params_DeadAnimName rest
    uint8_t bActivateObject = 0;        // death_params_1 value 2
    char szActivateObjectName[32] = {}; // death_params_ActivateObjectName rest
    uint8_t bDestroyObject = 0;         // death_params_1 value 5
    char szDestroyObjectName[32] = {};  // death_params_DestroyObjectName rest
    char szReserved[32] = {};           // no key
    uint8_t bThrownOff = 0;             // death_params_2 value 2
    uint8_t b2Value4 = 0;               // death_params_2 value 4
    uint8_t b2Value5 = 0;               // death_params_2 value 5
    uint8_t _pad602[2] = {};
    float fExplosionPowerCoef = 1.0f;       // death_params_ExplosionPowerCoef value 1
    char szCreateMeshOnDeath[256] = {};     // death_params_CreateMeshOnDeath rest
    char szCreateMeshOnGroundHit[256] = {}; // death_params_CreateMeshOnGroundHit rest
    uint8_t b4Value1 = 0;                   // death_params_4 value 1
    uint8_t _pad1121[3] = {};
    float fAddSpeed1 = 0.0f;  // death_params_AddSpeed value 1
    float fAddSpeed2 = 64.0f; // death_params_AddSpeed value 2
    float fAddSpeed3 = 0.0f;  // death_params_AddSpeed value 3
    uint8_t b5Value1 = 0;     // death_params_5 value 1
    uint8_t _pad1137[3] = {};
    float fDestroyOtherPause = 0.0f; // death_params_DestroyOtherPause value 1
    uint8_t b6Value1 = 0;            // death_params_6 value 1
    char szCreatedMeshName[32] = {}; // death_params_created_mesh_name rest
    uint8_t b6Value2 = 0;            // death_params_6 value 2
    uint8_t _pad1178[2] = {};
    float f6Value3 = 0.0f;              // death_params_6 value 3
    float f6Value4 = 0.0f;              // death_params_6 value 4
    float f6Value5 = 0.0f;              // death_params_6 value 5
    uint8_t bCreatedMeshDisappears = 0; // death_params_created_mesh_disappears value 1
    uint8_t _pad1193[3] = {};
    float fTimeToDisappearCreatedMesh = 0.0f; // death_params_time_to_disappear_created_mesh value 1
    char szConsolePrint[256] = {};            // death_params_console_print rest
    char szFXOnHit[32] = {};                  // death_params_FX_On_Hit rest
    char szFXOnDeath[32] = {};                // death_params_FX_On_Death rest
    char szFXOnGroundHit[32] = {};            // death_params_FX_On_GroundHit rest
    char szFXInHighestPoint[32] = {};         // death_params_FX_In_HighestPoint rest
    char szKillOtherObjectIfHpLessThanObject[64] =
        {}; // death_params_kill_other_object_if_hp_less_than_object value 1
    float fKillOtherObjectIfHpLessThanHp = 0.0f; // death_params_kill_other_object_if_hp_less_than_hp value 1
    uint8_t bSoundWhenHit = 0;                   // death_params_sound_when_hit value 1
    char szSoundNameWhenHit[255] = {};           // death_params_sound_name_when_hit value 1
    uint8_t _pad1908[1] = {};
    uint8_t bTeleportObjectsHereUse = 0; // death_params_teleport_objects_here_use value 1
    char szTeleportObjectsHere[10][64] =
        {}; // death_params_teleport_objects_here_list: value 1 the entry, value 2 the name
    uint8_t bTeleportObjectsHereCopy = 0; // death_params_teleport_objects_here_copy value 1
    uint8_t bShakeScreen = 0;             // death_params_shake_screen value 1
    // The death's constant shake and short shake: no key fills them.
    uint8_t bConstantShakeOn = 0;
    uint8_t _pad2553[3] = {};
    float fConstantShakeParams1 = 0.3f;
    float fConstantShakeParams2 = 0.1f;
    float fConstantShakeParams3 = 0.1f;
    float fConstantShakeParams4 = 0.2f;
    float fConstantShakeParams5 = 0.3f;
    float fConstantShakeParams6 = 1.0f;
    float fConstantShakeRange = 0.0f;
    ShakeScreenParams ShortShake;
    uint8_t bPaneCrashOn = 0; // death_params_pane_crash_on value 1
    uint8_t _pad2625[3] = {};
    int32_t iPaneCrashParams1 = 0; // death_params_pane_crash_params value 1
    uint8_t bPaneCrashParams3 = 1; // death_params_pane_crash_params value 3
    uint8_t _pad2633[3] = {};
    float fPaneCrashParams6 = 1.8f;       // death_params_pane_crash_params value 6
    float fPaneCrashParams7 = 1.0f;       // death_params_pane_crash_params value 7
    int32_t iPaneCrashParameters2_1 = 8;  // death_params_pane_crash_parameters2 value 1
    int32_t iPaneCrashParameters2_2 = 24; // death_params_pane_crash_parameters2 value 2
    uint8_t bPaneCrashParams2 = 1;        // death_params_pane_crash_params value 2
    uint8_t _pad2653[3] = {};
    float fPaneCrashParams5 = 1.0f;             // death_params_pane_crash_params value 5
    float fPaneCrashParams8 = 0.2f;             // death_params_pane_crash_params value 8
    float fPaneCrashParams4 = 1.2f;             // death_params_pane_crash_params value 4
    char szActivateObjectOnHit[32] = {};        // death_params_activate_object_on_hit value 1
    uint8_t bPhysicsHitTeleportedObjectsOn = 0; // death_params_physics_hit_teleported_objects_on value 1
    uint8_t _pad2701[3] = {};
    float fPhysicsHitTeleportedObjectsHitForce1 =
        0.0f; // death_params_physics_hit_teleported_objects_hit_force value 1
    float fPhysicsHitTeleportedObjectsHitForce2 =
        0.0f; // death_params_physics_hit_teleported_objects_hit_force value 2
    float fPhysicsHitTeleportedObjectsHitForce3 =
        0.0f; // death_params_physics_hit_teleported_objects_hit_force value 3
    char szMoveToObjectBeforeDeathObject[64] = {}; // death_params_move_to_object_before_death_object value 1
    float fMoveToObjectBeforeDeathSpeed = 0.0f;    // death_params_move_to_object_before_death_speed value 1
    uint8_t bExplosionDebris = 0;                  // no key
    uint8_t _pad2785[3] = {};

    // Every default, the move-to speed included (0).
    DeathParams() = default;
    // Every default again, except the move-to speed, which keeps its value.
    void Reset();

    // The saved image: every field at its offset, padding written as zeros.
    void WriteImage(uint8_t* image) const;
    // Takes every field from an image; its padding bytes are ignored.
    void ReadImage(const uint8_t* image);
};

// Every field of the image at its offset (padding is not listed).
#define ZT_DEATH_PARAMS_IMAGE(X)                                                                             \
    X(0, bOn)                                                                                                \
    X(1, szHandleDeathIf)                                                                                    \
    X(36, fKillIfPlayerCloserThan)                                                                           \
    X(40, bPrimaryHits)                                                                                      \
    X(41, bExplosionHits)                                                                                    \
    X(42, bSecondaryHits)                                                                                    \
    X(44, fHealth)                                                                                           \
    X(48, szSetWhenHit)                                                                                      \
    X(80, szUnsetWhenHit)                                                                                    \
    X(112, szSetWhenDead)                                                                                    \
    X(144, szUnsetWhenDead)                                                                                  \
    X(176, bHideAfterDeath)                                                                                  \
    X(177, bRemoveJointsWhenDead)                                                                            \
    X(178, bDeathSound)                                                                                      \
    X(179, szSoundName)                                                                                      \
    X(435, bHitAnim)                                                                                         \
    X(436, szHitAnimName)                                                                                    \
    X(468, bDeadAnim)                                                                                        \
    X(469, szDeadAnimName)                                                                                   \
    X(501, bActivateObject)                                                                                  \
    X(502, szActivateObjectName)                                                                             \
    X(534, bDestroyObject)                                                                                   \
    X(535, szDestroyObjectName)                                                                              \
    X(567, szReserved)                                                                                       \
    X(599, bThrownOff)                                                                                       \
    X(600, b2Value4)                                                                                         \
    X(601, b2Value5)                                                                                         \
    X(604, fExplosionPowerCoef)                                                                              \
    X(608, szCreateMeshOnDeath)                                                                              \
    X(864, szCreateMeshOnGroundHit)                                                                          \
    X(1120, b4Value1)                                                                                        \
    X(1124, fAddSpeed1)                                                                                      \
    X(1128, fAddSpeed2)                                                                                      \
    X(1132, fAddSpeed3)                                                                                      \
    X(1136, b5Value1)                                                                                        \
    X(1140, fDestroyOtherPause)                                                                              \
    X(1144, b6Value1)                                                                                        \
    X(1145, szCreatedMeshName)                                                                               \
    X(1177, b6Value2)                                                                                        \
    X(1180, f6Value3)                                                                                        \
    X(1184, f6Value4)                                                                                        \
    X(1188, f6Value5)                                                                                        \
    X(1192, bCreatedMeshDisappears)                                                                          \
    X(1196, fTimeToDisappearCreatedMesh)                                                                     \
    X(1200, szConsolePrint)                                                                                  \
    X(1456, szFXOnHit)                                                                                       \
    X(1488, szFXOnDeath)                                                                                     \
    X(1520, szFXOnGroundHit)                                                                                 \
    X(1552, szFXInHighestPoint)                                                                              \
    X(1584, szKillOtherObjectIfHpLessThanObject)                                                             \
    X(1648, fKillOtherObjectIfHpLessThanHp)                                                                  \
    X(1652, bSoundWhenHit)                                                                                   \
    X(1653, szSoundNameWhenHit)                                                                              \
    X(1909, bTeleportObjectsHereUse)                                                                         \
    X(1910, szTeleportObjectsHere)                                                                           \
    X(2550, bTeleportObjectsHereCopy)                                                                        \
    X(2551, bShakeScreen)                                                                                    \
    X(2552, bConstantShakeOn)                                                                                \
    X(2556, fConstantShakeParams1)                                                                           \
    X(2560, fConstantShakeParams2)                                                                           \
    X(2564, fConstantShakeParams3)                                                                           \
    X(2568, fConstantShakeParams4)                                                                           \
    X(2572, fConstantShakeParams5)                                                                           \
    X(2576, fConstantShakeParams6)                                                                           \
    X(2580, fConstantShakeRange)                                                                             \
    ZT_SHAKE_SCREEN_PARAMS_IMAGE(X, 2584, ShortShake)                                                        \
    X(2624, bPaneCrashOn)                                                                                    \
    X(2628, iPaneCrashParams1)                                                                               \
    X(2632, bPaneCrashParams3)                                                                               \
    X(2636, fPaneCrashParams6)                                                                               \
    X(2640, fPaneCrashParams7)                                                                               \
    X(2644, iPaneCrashParameters2_1)                                                                         \
    X(2648, iPaneCrashParameters2_2)                                                                         \
    X(2652, bPaneCrashParams2)                                                                               \
    X(2656, fPaneCrashParams5)                                                                               \
    X(2660, fPaneCrashParams8)                                                                               \
    X(2664, fPaneCrashParams4)                                                                               \
    X(2668, szActivateObjectOnHit)                                                                           \
    X(2700, bPhysicsHitTeleportedObjectsOn)                                                                  \
    X(2704, fPhysicsHitTeleportedObjectsHitForce1)                                                           \
    X(2708, fPhysicsHitTeleportedObjectsHitForce2)                                                           \
    X(2712, fPhysicsHitTeleportedObjectsHitForce3)                                                           \
    X(2716, szMoveToObjectBeforeDeathObject)                                                                 \
    X(2780, fMoveToObjectBeforeDeathSpeed)                                                                   \
    X(2784, bExplosionDebris)

#define ZT_CHECK_DEATH_PARAMS_OFFSET(offset, field) static_assert(offsetof(DeathParams, field) == offset);
ZT_DEATH_PARAMS_IMAGE(ZT_CHECK_DEATH_PARAMS_OFFSET)
#undef ZT_CHECK_DEATH_PARAMS_OFFSET
static_assert(sizeof(DeathParams) == DeathParams::IMAGE_SIZE);

// The image through the counted binary helpers.
void FileWriteDeathParams(std::FILE* f, const DeathParams& params);
void FileReadDeathParams(std::FILE* f, DeathParams& params);
