#include "world/DeathParams.h"

#include <cstring>
#include <iterator>

#include "app/FileHelpers.h"
#include "world/ImageIo.h"
#include "world/ObjectApi.h"
#include "world/WorldMgr.h"

void DeathParams::Reset() {
    float speed = fMoveToObjectBeforeDeathSpeed;
    *this = DeathParams();
    fMoveToObjectBeforeDeathSpeed = speed;
}

ZT_DEFINE_RECORD_IMAGE(DeathParams, ZT_DEATH_PARAMS_IMAGE)

void FileWriteDeathParams(std::FILE* f, const DeathParams& params) {
    imageio::FileWrite(f, params);
}

void FileReadDeathParams(std::FILE* f, DeathParams& params) {
    imageio::FileRead(f, params);
}

namespace {

using Kind = WorldKeyField::Kind;

// The replacement mesh of a death is created from this name, so it must fit
// the 128-byte file-name field of the creation record.
constexpr uint16_t DEATH_MESH_NAME_BOUND = sizeof(AddObjectParams::szFileName);

// Every death-parameter key with the fields its values fill ("death_params_2"
// reads values 2, 4 and 5 only).
constexpr WorldKeyField kDeathKeys[] = {
    {"death_params_1", 1, Kind::U8Flag, offsetof(DeathParams, bOn), 0, nullptr},
    {"death_params_HandleDeathIf", 0, Kind::Text, offsetof(DeathParams, szHandleDeathIf), 32, ""},
    {"death_params_kill_if_player_closer_than", 1, Kind::Float,
     offsetof(DeathParams, fKillIfPlayerCloserThan), 0, nullptr},
    {"death_params_1", 9, Kind::U8Flag, offsetof(DeathParams, bPrimaryHits), 0, nullptr},
    {"death_params_1", 7, Kind::U8Flag, offsetof(DeathParams, bExplosionHits), 0, nullptr},
    {"death_params_1", 8, Kind::U8Flag, offsetof(DeathParams, bSecondaryHits), 0, nullptr},
    {"death_params_1", 11, Kind::Float, offsetof(DeathParams, fHealth), 0, nullptr},
    {"death_params_SetWhenHit", 0, Kind::Text, offsetof(DeathParams, szSetWhenHit), 32, ""},
    {"death_params_UnsetWhenHit", 0, Kind::Text, offsetof(DeathParams, szUnsetWhenHit), 32, ""},
    {"death_params_SetWhenDead", 0, Kind::Text, offsetof(DeathParams, szSetWhenDead), 32, ""},
    {"death_params_UnsetWhenDead", 0, Kind::Text, offsetof(DeathParams, szUnsetWhenDead), 32, ""},
    {"death_params_1", 6, Kind::U8Flag, offsetof(DeathParams, bHideAfterDeath), 0, nullptr},
    {"death_params_remove_joints_when_dead", 1, Kind::U8Flag, offsetof(DeathParams, bRemoveJointsWhenDead), 0,
     nullptr},
    {"death_params_1", 10, Kind::U8Flag, offsetof(DeathParams, bDeathSound), 0, nullptr},
    {"death_params_SoundName", 0, Kind::Text, offsetof(DeathParams, szSoundName), 256, "Sound Name"},
    {"death_params_1", 4, Kind::U8Flag, offsetof(DeathParams, bHitAnim), 0, nullptr},
    {"death_params_HitAnimName", 0, Kind::Text, offsetof(DeathParams, szHitAnimName), 32, ""},
    {"death_params_1", 3, Kind::U8Flag, offsetof(DeathParams, bDeadAnim), 0, nullptr},
    {"death_params_DeadAnimName", 0, Kind::Text, offsetof(DeathParams, szDeadAnimName), 32, ""},
    {"death_params_1", 2, Kind::U8Flag, offsetof(DeathParams, bActivateObject), 0, nullptr},
    {"death_params_ActivateObjectName", 0, Kind::Text, offsetof(DeathParams, szActivateObjectName), 32, ""},
    {"death_params_1", 5, Kind::U8Flag, offsetof(DeathParams, bDestroyObject), 0, nullptr},
    {"death_params_DestroyObjectName", 0, Kind::Text, offsetof(DeathParams, szDestroyObjectName), 32, ""},
    {"death_params_2", 2, Kind::U8Flag, offsetof(DeathParams, bThrownOff), 0, nullptr},
    {"death_params_2", 4, Kind::U8Flag, offsetof(DeathParams, b2Value4), 0, nullptr},
    {"death_params_2", 5, Kind::U8Flag, offsetof(DeathParams, b2Value5), 0, nullptr},
    {"death_params_ExplosionPowerCoef", 1, Kind::Float, offsetof(DeathParams, fExplosionPowerCoef), 0,
     nullptr},
    {"death_params_CreateMeshOnDeath", 0, Kind::Text, offsetof(DeathParams, szCreateMeshOnDeath),
     DEATH_MESH_NAME_BOUND, "Create Mesh On Death"},
    {"death_params_CreateMeshOnGroundHit", 0, Kind::Text, offsetof(DeathParams, szCreateMeshOnGroundHit), 256,
     "Create Mesh On Ground Hit"},
    {"death_params_4", 1, Kind::U8Flag, offsetof(DeathParams, b4Value1), 0, nullptr},
    {"death_params_AddSpeed", 1, Kind::Float, offsetof(DeathParams, fAddSpeed1), 0, nullptr},
    {"death_params_AddSpeed", 2, Kind::Float, offsetof(DeathParams, fAddSpeed2), 0, nullptr},
    {"death_params_AddSpeed", 3, Kind::Float, offsetof(DeathParams, fAddSpeed3), 0, nullptr},
    {"death_params_5", 1, Kind::U8Flag, offsetof(DeathParams, b5Value1), 0, nullptr},
    {"death_params_DestroyOtherPause", 1, Kind::Float, offsetof(DeathParams, fDestroyOtherPause), 0, nullptr},
    {"death_params_6", 1, Kind::U8Flag, offsetof(DeathParams, b6Value1), 0, nullptr},
    {"death_params_created_mesh_name", 0, Kind::Text, offsetof(DeathParams, szCreatedMeshName), 32, ""},
    {"death_params_6", 2, Kind::U8Flag, offsetof(DeathParams, b6Value2), 0, nullptr},
    {"death_params_6", 3, Kind::Float, offsetof(DeathParams, f6Value3), 0, nullptr},
    {"death_params_6", 4, Kind::Float, offsetof(DeathParams, f6Value4), 0, nullptr},
    {"death_params_6", 5, Kind::Float, offsetof(DeathParams, f6Value5), 0, nullptr},
    {"death_params_created_mesh_disappears", 1, Kind::U8Flag, offsetof(DeathParams, bCreatedMeshDisappears),
     0, nullptr},
    {"death_params_time_to_disappear_created_mesh", 1, Kind::Float,
     offsetof(DeathParams, fTimeToDisappearCreatedMesh), 0, nullptr},
    {"death_params_console_print", 0, Kind::Text, offsetof(DeathParams, szConsolePrint), 255,
     "console_print"},
    {"death_params_FX_On_Hit", 0, Kind::Text, offsetof(DeathParams, szFXOnHit), 31, "death_params_FX_On_Hit"},
    {"death_params_FX_On_Death", 0, Kind::Text, offsetof(DeathParams, szFXOnDeath), 31,
     "death_params_FX_On_Death"},
    {"death_params_FX_On_GroundHit", 0, Kind::Text, offsetof(DeathParams, szFXOnGroundHit), 31,
     "death_params_FX_On_GroundHit"},
    {"death_params_FX_In_HighestPoint", 0, Kind::Text, offsetof(DeathParams, szFXInHighestPoint), 31,
     "death_params_FX_In_HighestPoint"},
    {"death_params_kill_other_object_if_hp_less_than_object", 1, Kind::Text,
     offsetof(DeathParams, szKillOtherObjectIfHpLessThanObject), 63,
     "death_params_kill_other_object_if_hp_less_than_object"},
    {"death_params_kill_other_object_if_hp_less_than_hp", 1, Kind::Float,
     offsetof(DeathParams, fKillOtherObjectIfHpLessThanHp), 0, nullptr},
    {"death_params_sound_when_hit", 1, Kind::U8Flag, offsetof(DeathParams, bSoundWhenHit), 0, nullptr},
    {"death_params_sound_name_when_hit", 1, Kind::Text, offsetof(DeathParams, szSoundNameWhenHit), 254,
     "SoundWhenHitName"},
    {"death_params_teleport_objects_here_use", 1, Kind::U8Flag,
     offsetof(DeathParams, bTeleportObjectsHereUse), 0, nullptr},
    {"death_params_teleport_objects_here_copy", 1, Kind::U8Flag,
     offsetof(DeathParams, bTeleportObjectsHereCopy), 0, nullptr},
    {"death_params_shake_screen", 1, Kind::U8Flag, offsetof(DeathParams, bShakeScreen), 0, nullptr},
    {"death_params_pane_crash_on", 1, Kind::U8Flag, offsetof(DeathParams, bPaneCrashOn), 0, nullptr},
    {"death_params_pane_crash_params", 1, Kind::I32, offsetof(DeathParams, iPaneCrashParams1), 0, nullptr},
    {"death_params_pane_crash_params", 3, Kind::U8Flag, offsetof(DeathParams, bPaneCrashParams3), 0, nullptr},
    {"death_params_pane_crash_params", 6, Kind::Float, offsetof(DeathParams, fPaneCrashParams6), 0, nullptr},
    {"death_params_pane_crash_params", 7, Kind::Float, offsetof(DeathParams, fPaneCrashParams7), 0, nullptr},
    {"death_params_pane_crash_parameters2", 1, Kind::I32, offsetof(DeathParams, iPaneCrashParameters2_1), 0,
     nullptr},
    {"death_params_pane_crash_parameters2", 2, Kind::I32, offsetof(DeathParams, iPaneCrashParameters2_2), 0,
     nullptr},
    {"death_params_pane_crash_params", 2, Kind::U8Flag, offsetof(DeathParams, bPaneCrashParams2), 0, nullptr},
    {"death_params_pane_crash_params", 5, Kind::Float, offsetof(DeathParams, fPaneCrashParams5), 0, nullptr},
    {"death_params_pane_crash_params", 8, Kind::Float, offsetof(DeathParams, fPaneCrashParams8), 0, nullptr},
    {"death_params_pane_crash_params", 4, Kind::Float, offsetof(DeathParams, fPaneCrashParams4), 0, nullptr},
    {"death_params_activate_object_on_hit", 1, Kind::Text, offsetof(DeathParams, szActivateObjectOnHit), 31,
     "ActivateObjectOnHit"},
    {"death_params_physics_hit_teleported_objects_on", 1, Kind::U8Flag,
     offsetof(DeathParams, bPhysicsHitTeleportedObjectsOn), 0, nullptr},
    {"death_params_physics_hit_teleported_objects_hit_force", 1, Kind::Float,
     offsetof(DeathParams, fPhysicsHitTeleportedObjectsHitForce1), 0, nullptr},
    {"death_params_physics_hit_teleported_objects_hit_force", 2, Kind::Float,
     offsetof(DeathParams, fPhysicsHitTeleportedObjectsHitForce2), 0, nullptr},
    {"death_params_physics_hit_teleported_objects_hit_force", 3, Kind::Float,
     offsetof(DeathParams, fPhysicsHitTeleportedObjectsHitForce3), 0, nullptr},
    {"death_params_move_to_object_before_death_object", 1, Kind::Text,
     offsetof(DeathParams, szMoveToObjectBeforeDeathObject), 63,
     "death_params_move_to_object_before_death_object"},
    {"death_params_move_to_object_before_death_speed", 1, Kind::Float,
     offsetof(DeathParams, fMoveToObjectBeforeDeathSpeed), 0, nullptr},
};

} // namespace

void EWorldMgr::ParseDeathParamsKeys(const char* line, ObjectRecord* h) {
    if (!line || !h) return;
    TakeKeyword(line);
    const WorldKeyField* first = FindKeyField(kDeathKeys, std::size(kDeathKeys));
    bool teleportList = KeywordIs("death_params_teleport_objects_here_list");
    if (!first && !teleportList) return;

    DeathParams params;
    GetObjectDeathParams(h, &params);
    if (first) ApplyKeyFields(line, first, std::end(kDeathKeys), &params);
    if (teleportList) {
        // Compared without sign, so a negative entry is refused too; the
        // record is stored back either way.
        unsigned entry = static_cast<unsigned>(ParamInt(line, 1));
        if (entry < DeathParams::NUM_TELEPORT_OBJECTS)
            safe_string_copy("TeleportObjectsHere", 63, params.szTeleportObjectsHere[entry],
                             GetLineParam(line, 2));
    }
    SetObjectDeathParams(h, params);
}
