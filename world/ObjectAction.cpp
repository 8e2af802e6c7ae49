#include "world/ObjectAction.h"

#include <bit>
#include <cstring>
#include <iterator>

#include "app/FileHelpers.h"
#include "world/ObjectApi.h"
#include "world/WorldMgr.h"

static_assert(std::endian::native == std::endian::little, "record images are copied as little-endian bytes");

void ObjectAction::WriteImage(uint8_t* image) const {
    std::memset(image, 0, IMAGE_SIZE);
#define ZT_PUT(offset, field) std::memcpy(image + (offset), &field, sizeof field);
    ZT_OBJECT_ACTION_IMAGE(ZT_PUT)
#undef ZT_PUT
}

void ObjectAction::ReadImage(const uint8_t* image) {
#define ZT_GET(offset, field) std::memcpy(&field, image + (offset), sizeof field);
    ZT_OBJECT_ACTION_IMAGE(ZT_GET)
#undef ZT_GET
}

void FileWriteObjectAction(std::FILE* f, const ObjectAction& action) {
    uint8_t image[ObjectAction::IMAGE_SIZE];
    action.WriteImage(image);
    FileWriteBytes(f, image, sizeof image);
}

void FileReadObjectAction(std::FILE* f, ObjectAction& action) {
    uint8_t image[ObjectAction::IMAGE_SIZE];
    action.WriteImage(image); // a short read keeps the fields as they were
    FileReadBytes(f, image, sizeof image);
    action.ReadImage(image);
}

namespace {

using Kind = WorldKeyField::Kind;

// Every action key with the fields its values fill. Texts read from the rest
// of the line carry no label unless the table names one.
constexpr WorldKeyField kActionKeys[] = {
    {"action_general_opt", 1, Kind::U32Flag, offsetof(ObjectAction, dwGeneralOpt1), 0, nullptr},
    {"action_general_opt", 2, Kind::U32Flag, offsetof(ObjectAction, dwGeneralOpt2), 0, nullptr},
    {"action_partner_can_use", 1, Kind::U32Flag, offsetof(ObjectAction, dwPartnerCanUse), 0, nullptr},
    {"action_ifset", 0, Kind::Text, offsetof(ObjectAction, szIfset), 32, ""},
    {"action_default_set", 0, Kind::Text, offsetof(ObjectAction, szDefaultSet), 32, ""},
    {"action_default_unset", 0, Kind::Text, offsetof(ObjectAction, szDefaultUnset), 32, ""},
    {"action_dest_set", 0, Kind::Text, offsetof(ObjectAction, szDestSet), 32, ""},
    {"action_dest_unset", 0, Kind::Text, offsetof(ObjectAction, szDestUnset), 32, ""},
    {"action_sounds_activate", 0, Kind::Text, offsetof(ObjectAction, szSoundsActivate), 256,
     "sound activate"},
    {"action_sounds_deactivate", 0, Kind::Text, offsetof(ObjectAction, szSoundsDeactivate), 256,
     "deactivate sound"},
    {"action_sounds_range", 0, Kind::Float, offsetof(ObjectAction, fSoundsRange), 0, nullptr},
    {"action_camera_position_mesh", 1, Kind::U32Flag, offsetof(ObjectAction, dwCameraPositionMesh1), 0,
     nullptr},
    {"action_camera_position_mesh", 2, Kind::Text, offsetof(ObjectAction, szCameraPositionMesh2), 32, ""},
    {"action_moving", 1, Kind::Float, offsetof(ObjectAction, fMoving1), 0, nullptr},
    {"action_moving", 2, Kind::Float, offsetof(ObjectAction, fMoving2), 0, nullptr},
    {"action_moving", 3, Kind::Float, offsetof(ObjectAction, fMoving3), 0, nullptr},
    {"action_moving", 4, Kind::Float, offsetof(ObjectAction, fMoving4), 0, nullptr},
    {"action_moving", 5, Kind::Float, offsetof(ObjectAction, fMoving5), 0, nullptr},
    {"action_rotation", 1, Kind::Float, offsetof(ObjectAction, fRotation1), 0, nullptr},
    {"action_rotation", 2, Kind::Float, offsetof(ObjectAction, fRotation2), 0, nullptr},
    {"action_rotation", 3, Kind::Float, offsetof(ObjectAction, fRotation3), 0, nullptr},
    {"action_rotation", 4, Kind::Float, offsetof(ObjectAction, fRotation4), 0, nullptr},
    {"action_give_action_to___mesh", 0, Kind::Text, offsetof(ObjectAction, szGiveActionToMesh), 32, ""},
    {"action_give_action_to___delay", 0, Kind::Float, offsetof(ObjectAction, fGiveActionToDelay), 0, nullptr},
    {"action_switch_moving_on_action", 0, Kind::U32Flag, offsetof(ObjectAction, dwSwitchMovingOnAction), 0,
     nullptr},
    {"action_can_be_held_up", 0, Kind::U32Flag, offsetof(ObjectAction, dwCanBeHeldUp), 0, nullptr},
    {"action_target_name", 0, Kind::Text, offsetof(ObjectAction, szTargetName), 32, ""},
    {"action_set_if_pickedup", 0, Kind::Text, offsetof(ObjectAction, szSetIfPickedup), 32, ""},
    {"action_set_if_ontarget", 0, Kind::Text, offsetof(ObjectAction, szSetIfOntarget), 32, ""},
    {"action_general_2", 1, Kind::U32Flag, offsetof(ObjectAction, dwGeneral21), 0, nullptr},
    {"action_general_2", 2, Kind::U32Flag, offsetof(ObjectAction, dwGeneral22), 0, nullptr},
    {"action_respawn_character_name", 0, Kind::Text, offsetof(ObjectAction, szRespawnCharacterName), 32, ""},
    {"action_respawn_params", 2, Kind::FloatToInt, offsetof(ObjectAction, iRespawnParams2), 0, nullptr},
    {"action_respawn_params", 1, Kind::Float, offsetof(ObjectAction, fRespawnParams1), 0, nullptr},
    {"action_respawn_character_phase0", 0, Kind::Text, offsetof(ObjectAction, szRespawnCharacterPhase0), 32,
     ""},
    {"action_respawn_character_phase1", 0, Kind::Text, offsetof(ObjectAction, szRespawnCharacterPhase1), 32,
     ""},
    {"action_respawn_character_do_not_respawn_if", 0, Kind::Text,
     offsetof(ObjectAction, szRespawnCharacterDoNotRespawnIf), 32, ""},
    {"action_respawn_character_action_after_last_respawn", 0, Kind::Text,
     offsetof(ObjectAction, szRespawnCharacterActionAfterLastRespawn), 32, ""},
    {"action_general_3", 1, Kind::U32Flag, offsetof(ObjectAction, dwGeneral31), 0, nullptr},
    {"action_general_3", 2, Kind::U32Flag, offsetof(ObjectAction, dwGeneral32), 0, nullptr},
    {"action_general_3", 3, Kind::U32Flag, offsetof(ObjectAction, dwGeneral33), 0, nullptr},
    {"action_take_health_away", 0, Kind::Float, offsetof(ObjectAction, fTakeHealthAway), 0, nullptr},
    {"action_kill_object", 0, Kind::Text, offsetof(ObjectAction, szKillObject), 32, ""},
    {"action_push_object", 0, Kind::Text, offsetof(ObjectAction, szPushObject), 32, ""},
    {"action_push_obj_force", 0, Kind::Float, offsetof(ObjectAction, fPushObjForce), 0, nullptr},
    {"action_switch_light", 0, Kind::U32Flag, offsetof(ObjectAction, dwSwitchLight), 0, nullptr},
    {"action_kill_delay", 0, Kind::Float, offsetof(ObjectAction, fKillDelay), 0, nullptr},
    {"action_set_phase_for", 0, Kind::Text, offsetof(ObjectAction, szSetPhaseFor), 32, ""},
    {"action_phase_name", 0, Kind::Text, offsetof(ObjectAction, szPhaseName), 32, ""},
    {"action_teleport_player_here", 0, Kind::U32Flag, offsetof(ObjectAction, dwTeleportPlayerHere), 0,
     nullptr},
    {"action_allow_passing_blockers", 0, Kind::Text, offsetof(ObjectAction, szAllowPassingBlockers), 32, ""},
    {"action_forbid_passing_blockers", 0, Kind::Text, offsetof(ObjectAction, szForbidPassingBlockers), 32,
     ""},
    {"action_action_if_not_set", 0, Kind::Text, offsetof(ObjectAction, szActionIfNotSet), 32, ""},
    {"action_activate_ai_action", 0, Kind::Text, offsetof(ObjectAction, szActivateAiAction), 32, ""},
    {"action_play_music", 0, Kind::Text, offsetof(ObjectAction, szPlayMusic), 128, "play music"},
    {"action_rotation_acceleration", 1, Kind::Float, offsetof(ObjectAction, fRotationAcceleration), 0,
     nullptr},
    {"action_start_world", 0, Kind::Text, offsetof(ObjectAction, szStartWorld), 128, "start_world"},
    {"action_emit_bullet_hit_effects", 1, Kind::U32Flag, offsetof(ObjectAction, dwEmitBulletHitEffects), 0,
     nullptr},
    {"action_run_script", 0, Kind::Text, offsetof(ObjectAction, szRunScript), 255, "run_script"},
    {"action_console_print", 0, Kind::Text, offsetof(ObjectAction, szConsolePrint), 255, "console_print"},
    {"action_door", 1, Kind::U32Flag, offsetof(ObjectAction, dwDoor1), 0, nullptr},
    {"action_door", 2, Kind::U32Flag, offsetof(ObjectAction, dwDoor2), 0, nullptr},
    {"action_door", 3, Kind::Float, offsetof(ObjectAction, fDoor3), 0, nullptr},
    {"action_door", 4, Kind::Float, offsetof(ObjectAction, fDoor4), 0, nullptr},
    {"action_door", 5, Kind::Float, offsetof(ObjectAction, fDoor5), 0, nullptr},
    {"action_knob_general", 1, Kind::U32Flag, offsetof(ObjectAction, dwKnobGeneral1), 0, nullptr},
    {"action_knob_object", 1, Kind::Text, offsetof(ObjectAction, szKnobObject), 31, "action_knob_prefab"},
    {"action_knob_socket", 1, Kind::Text, offsetof(ObjectAction, szKnobSocket), 31, "action_knob_socket"},
    {"action_knob_general", 2, Kind::Float, offsetof(ObjectAction, fKnobGeneral2), 0, nullptr},
    {"action_knob_general", 3, Kind::Float, offsetof(ObjectAction, fKnobGeneral3), 0, nullptr},
    {"action_2door_enemy_can_open_this_door", 1, Kind::U32Flag,
     offsetof(ObjectAction, dw2doorEnemyCanOpenThisDoor), 0, nullptr},
    {"action_default_set_fx", 1, Kind::Text, offsetof(ObjectAction, szDefaultSetFx), 31,
     "action_default_set_fx"},
    {"action_default_unset_fx", 1, Kind::Text, offsetof(ObjectAction, szDefaultUnsetFx), 31,
     "action_default_unset_fx"},
    {"action_shoot_general", 1, Kind::U32Flag, offsetof(ObjectAction, dwShootGeneral1), 0, nullptr},
    {"action_shoot_target", 1, Kind::Text, offsetof(ObjectAction, szShootTarget), 31, "action_shoot_target"},
    {"action_shoot_weapon", 1, Kind::Text, offsetof(ObjectAction, szShootWeapon), 31, "action_shoot_weapon"},
    {"action_shoot_general", 2, Kind::I32, offsetof(ObjectAction, iShootGeneral2), 0, nullptr},
    {"action_shoot_general", 3, Kind::I32, offsetof(ObjectAction, iShootGeneral3), 0, nullptr},
    {"action_default_set_animation", 1, Kind::Text, offsetof(ObjectAction, szDefaultSetAnimation), 31,
     "action_default_set_animation"},
    {"action_destination_set_animation", 1, Kind::Text, offsetof(ObjectAction, szDestinationSetAnimation), 31,
     "action_destination_set_animation"},
    {"action_ladder", 1, Kind::U32Flag, offsetof(ObjectAction, dwLadder), 0, nullptr},
    {"action_teleport_character_here", 0, Kind::Text, offsetof(ObjectAction, szTeleportCharacterHere), 63,
     ""},
    {"action_set_anim_for_object_name", 1, Kind::Text, offsetof(ObjectAction, szSetAnimForObjectName), 63,
     "set_anim_for_object_name"},
    {"action_set_anim_for_animation_name", 1, Kind::Text, offsetof(ObjectAction, szSetAnimForAnimationName),
     63, "set_anim_for_animation_name"},
    {"action_start_moving_on_different_bezier", 1, Kind::Text,
     offsetof(ObjectAction, szStartMovingOnDifferentBezier), 63, "start_moving_on_different_bezier"},
    {"action_remove_joints_for", 1, Kind::Text, offsetof(ObjectAction, szRemoveJointsFor), 63,
     "action_remove_joints_for"},
    {"action_make_object_move_on_bezier_object_name", 1, Kind::Text,
     offsetof(ObjectAction, szMakeObjectMoveOnBezierObjectName), 63,
     "action_make_object_move_on_bezier_object_name"},
    {"action_make_object_move_on_bezier_bezier_name", 1, Kind::Text,
     offsetof(ObjectAction, szMakeObjectMoveOnBezierBezierName), 63,
     "action_make_object_move_on_bezier_bezier_name"},
    {"action_voice_hawke", 1, Kind::Text, offsetof(ObjectAction, szVoiceHawke), 63, "action_voice_hero0"},
    {"action_voice_hero0", 1, Kind::Text, offsetof(ObjectAction, szVoiceHawke), 63, "action_voice_hero0"},
    {"action_voice_fletch", 1, Kind::Text, offsetof(ObjectAction, szVoiceFletch), 63, "action_voice_hero1"},
    {"action_voice_hero1", 1, Kind::Text, offsetof(ObjectAction, szVoiceFletch), 63, "action_voice_hero1"},
    {"action_voice_other", 1, Kind::Text, offsetof(ObjectAction, szVoiceOther), 63, "action_voice_other"},
    {"action_control_blackout", 1, Kind::U32Flag, offsetof(ObjectAction, dwControlBlackout), 0, nullptr},
    {"action_blackout", 1, Kind::U32Flag, offsetof(ObjectAction, dwBlackout), 0, nullptr},
    {"action_switch_blinking", 1, Kind::U32Flag, offsetof(ObjectAction, dwSwitchBlinking), 0, nullptr},
    {"action_camera1_positioning_motion_blur", 1, Kind::U8Flag,
     offsetof(ObjectAction, CameraPositioning.bMotionBlur), 0, nullptr},
    {"action_kill_character", 1, Kind::Text, offsetof(ObjectAction, szKillCharacter), 63,
     "action_kill_character"},
    {"action_teleport_object_here", 1, Kind::Text, offsetof(ObjectAction, szTeleportObjectHere), 63,
     "action_teleport_object_here"},
    {"action_teleport_with_my_rotation", 1, Kind::U32Flag, offsetof(ObjectAction, dwTeleportWithMyRotation),
     0, nullptr},
    {"action_set_default_animation_loop", 1, Kind::U32Flag, offsetof(ObjectAction, dwSetDefaultAnimationLoop),
     0, nullptr},
    {"action_set_destination_animation_loop", 1, Kind::U32Flag,
     offsetof(ObjectAction, dwSetDestinationAnimationLoop), 0, nullptr},
    {"action_teleport_multi_partner_here", 0, Kind::U32Flag,
     offsetof(ObjectAction, dwTeleportMultiPartnerHere), 0, nullptr},
    {"action_make_object_move_on_bezier_loop", 0, Kind::U32Flag,
     offsetof(ObjectAction, dwMakeObjectMoveOnBezierLoop), 0, nullptr},
    {"action_voice_enemy", 1, Kind::Text, offsetof(ObjectAction, szVoiceEnemy), 63, "action_voice_enemy"},
    {"action_action_if_aimed_and_shot_with_rocket", 0, Kind::U32Flag,
     offsetof(ObjectAction, dwActionIfAimedAndShotWithRocket), 0, nullptr},
    {"action_switch_green_point_for", 1, Kind::Text, offsetof(ObjectAction, szSwitchGreenPointFor), 63,
     "action_switch_green_point_for"},
    {"action_switch_red_point_for", 1, Kind::Text, offsetof(ObjectAction, szSwitchRedPointFor), 63,
     "action_switch_red_point_for"},
    {"action_hide_icon_if_action_invalid", 0, Kind::U8Flag, offsetof(ObjectAction, bHideIconIfActionInvalid),
     0, nullptr},
    {"action_multi_check_point", 0, Kind::U8Flag, offsetof(ObjectAction, bMultiCheckPoint), 0, nullptr},
    {"action_action_on_look", 0, Kind::U8Flag, offsetof(ObjectAction, bActionOnLook), 0, nullptr},
    {"action_shake_screen", 1, Kind::U8Flag, offsetof(ObjectAction, bShakeScreen), 0, nullptr},
    {"action_constant_shake_screen", 1, Kind::U8Flag, offsetof(ObjectAction, bConstantShakeScreen), 0,
     nullptr},
    {"action_constant_shake_params", 1, Kind::Float, offsetof(ObjectAction, fConstantShakeParams1), 0,
     nullptr},
    {"action_constant_shake_params", 2, Kind::Float, offsetof(ObjectAction, fConstantShakeParams2), 0,
     nullptr},
    {"action_constant_shake_params", 3, Kind::Float, offsetof(ObjectAction, fConstantShakeParams3), 0,
     nullptr},
    {"action_constant_shake_params", 4, Kind::Float, offsetof(ObjectAction, fConstantShakeParams4), 0,
     nullptr},
    {"action_constant_shake_params", 5, Kind::Float, offsetof(ObjectAction, fConstantShakeParams5), 0,
     nullptr},
    {"action_constant_shake_params", 6, Kind::Float, offsetof(ObjectAction, fConstantShakeParams6), 0,
     nullptr},
    {"action_constant_shake_range", 1, Kind::Float, offsetof(ObjectAction, fConstantShakeRange), 0, nullptr},
    {"action_short_shake_screen", 1, Kind::U8Flag, offsetof(ObjectAction, ShortShake.bOn), 0, nullptr},
    {"action_short_shake_params", 1, Kind::Float, offsetof(ObjectAction, ShortShake.fAmplitude1), 0, nullptr},
    {"action_short_shake_params", 2, Kind::Float, offsetof(ObjectAction, ShortShake.fPeriod1), 0, nullptr},
    {"action_short_shake_params", 3, Kind::Float, offsetof(ObjectAction, ShortShake.fAmplitude2), 0, nullptr},
    {"action_short_shake_params", 4, Kind::Float, offsetof(ObjectAction, ShortShake.fPeriod2), 0, nullptr},
    {"action_short_shake_params", 5, Kind::Float, offsetof(ObjectAction, ShortShake.fAmplitude3), 0, nullptr},
    {"action_short_shake_params", 6, Kind::Float, offsetof(ObjectAction, ShortShake.fPeriod3), 0, nullptr},
    {"action_short_shake_params", 7, Kind::Float, offsetof(ObjectAction, ShortShake.fDistance), 0, nullptr},
    {"action_short_shake_params", 8, Kind::Float, offsetof(ObjectAction, ShortShake.fDuration), 0, nullptr},
    {"action_render_params_farz", 1, Kind::Float, offsetof(ObjectAction, fRenderParamsFarz), 0, nullptr},
    {"action_render_params_states", 1, Kind::U8Flag, offsetof(ObjectAction, bRenderParamsStates1), 0,
     nullptr},
    {"action_render_params_states", 2, Kind::U8Flag, offsetof(ObjectAction, bRenderParamsStates2), 0,
     nullptr},
    {"action_render_params_states", 3, Kind::U8Flag, offsetof(ObjectAction, bRenderParamsStates3), 0,
     nullptr},
    {"action_render_params_states", 4, Kind::U8Flag, offsetof(ObjectAction, bRenderParamsStates4), 0,
     nullptr},
    {"action_render_params_states", 5, Kind::U8Flag, offsetof(ObjectAction, bRenderParamsStates5), 0,
     nullptr},
    {"action_render_params_states", 6, Kind::U8Flag, offsetof(ObjectAction, bRenderParamsStates6), 0,
     nullptr},
    {"action_render_params_states", 7, Kind::U8Flag, offsetof(ObjectAction, bRenderParamsStates7), 0,
     nullptr},
    {"action_render_params_states", 8, Kind::U8Flag, offsetof(ObjectAction, bRenderParamsStates8), 0,
     nullptr},
    {"action_default_set_fx_tie_to_me", 1, Kind::U8Flag, offsetof(ObjectAction, bDefaultSetFxTieToMe), 0,
     nullptr},
    {"action_default_unset_fx_tie_to_me", 1, Kind::U8Flag, offsetof(ObjectAction, bDefaultUnsetFxTieToMe), 0,
     nullptr},
    {"action_spread_attachments_for_object", 1, Kind::Text,
     offsetof(ObjectAction, szSpreadAttachmentsForObject), 63, "action_spread_attachments_for_object"},
    {"action_spread_attachments_force", 1, Kind::Float, offsetof(ObjectAction, fSpreadAttachmentsForce), 0,
     nullptr},
    {"action_character_name_runs_to", 1, Kind::Text, offsetof(ObjectAction, szCharacterNameRunsTo), 63,
     "action_character_name_runs_to"},
    {"action_character_runs_to_target", 1, Kind::Text, offsetof(ObjectAction, szCharacterRunsToTarget), 63,
     "action_character_runs_to_target"},
    {"action_character_uses_bezier", 1, Kind::Text, offsetof(ObjectAction, szCharacterUsesBezier), 63,
     "action_character_uses_bezier"},
    {"action_character_set_phase_on_target", 1, Kind::Text,
     offsetof(ObjectAction, szCharacterSetPhaseOnTarget), 63, "action_character_set_phase_on_target"},
    {"action_character_runs_to_animation_name", 1, Kind::Text,
     offsetof(ObjectAction, szCharacterRunsToAnimationName), 63, "action_character_runs_to_animation_name"},
    {"action_move_camera_to_object_name", 1, Kind::Text, offsetof(ObjectAction, szMoveCameraToObjectName), 63,
     "action_move_camera_to_object_name"},
    {"action_move_camera_to_object_time", 1, Kind::Float, offsetof(ObjectAction, fMoveCameraToObjectTime), 0,
     nullptr},
    {"action_render_params_use_render_params", 1, Kind::U8Flag,
     offsetof(ObjectAction, bRenderParamsUseRenderParams), 0, nullptr},
    {"action_crouching_teleport_player_here", 1, Kind::U8Flag,
     offsetof(ObjectAction, bCrouchingTeleportPlayerHere), 0, nullptr},
    {"action_respawn_obe_after_death", 1, Kind::U8Flag, offsetof(ObjectAction, bRespawnObeAfterDeath), 0,
     nullptr},
    {"action_switch_to_peaceful_mode", 1, Kind::U8Flag, offsetof(ObjectAction, bSwitchToPeacefulMode), 0,
     nullptr},
    {"action_switch_to_combat_mode", 1, Kind::U8Flag, offsetof(ObjectAction, bSwitchToCombatMode), 0,
     nullptr},
    {"action_global_time_speed", 1, Kind::Float, offsetof(ObjectAction, fGlobalTimeSpeed), 0, nullptr},
    {"action_respawn_forbid_obe_after_death", 1, Kind::U8Flag,
     offsetof(ObjectAction, bRespawnForbidObeAfterDeath), 0, nullptr},
    {"action_camera_look_from_object", 1, Kind::Text, offsetof(ObjectAction, szCameraLookFromObject), 63,
     "action_camera_look_from_object"},
    {"action_camera_look_from_socket", 1, Kind::Text, offsetof(ObjectAction, szCameraLookFromSocket), 63,
     "action_camera_look_from_socket"},
    {"action_camera_look_from_time", 1, Kind::Float, offsetof(ObjectAction, fCameraLookFromTime), 0, nullptr},
    {"action_loop_anim_for", 1, Kind::U8Flag, offsetof(ObjectAction, bLoopAnimFor), 0, nullptr},
    {"action_sound_ambient_sound", 1, Kind::Text, offsetof(ObjectAction, szSoundAmbientSound), 254,
     "action_sound_ambient_sound"},
    {"action_sound_volume_ambient_sound", 1, Kind::Float, offsetof(ObjectAction, fSoundVolumeAmbientSound), 0,
     nullptr},
    {"action_respawn_on_alert_action", 0, Kind::Text, offsetof(ObjectAction, szRespawnOnAlertAction), 64, ""},
    {"action_respawn_enemy_type", 0, Kind::Text, offsetof(ObjectAction, szRespawnEnemyType), 64, ""},
    {"action_respawn_num_enemies", 1, Kind::I32, offsetof(ObjectAction, iRespawnNumEnemies), 0, nullptr},
    {"action_character_allow_sprint", 1, Kind::U8Flag, offsetof(ObjectAction, bCharacterAllowSprint), 0,
     nullptr},
    {"action_character_forbid_sprint", 1, Kind::U8Flag, offsetof(ObjectAction, bCharacterForbidSprint), 0,
     nullptr},
    {"action_next_run_after", 1, Kind::Float, offsetof(ObjectAction, fNextRunAfter), 0, nullptr},
    {"action_start_hero_dialogue", 1, Kind::Text, offsetof(ObjectAction, szStartHeroDialogue), 63,
     "action_start_hero_dialogue"},
    {"action_start_dialogue0", 1, Kind::Text, offsetof(ObjectAction, szStartDialogue0), 63,
     "action_start_dialogue0"},
    {"action_start_dialogue_actor0", 1, Kind::Text, offsetof(ObjectAction, szStartDialogueActor0), 63,
     "action_start_dialogue_actor0"},
    {"action_start_dialogue_actor1", 1, Kind::Text, offsetof(ObjectAction, szStartDialogueActor1), 63,
     "action_start_dialogue_actor1"},
    {"action_start_dialogue_actor2", 1, Kind::Text, offsetof(ObjectAction, szStartDialogueActor2), 63,
     "action_start_dialogue_actor2"},
    {"action_character_high_jump_on", 1, Kind::U8Flag, offsetof(ObjectAction, bCharacterHighJumpOn), 0,
     nullptr},
    {"action_character_high_jump_off", 1, Kind::U8Flag, offsetof(ObjectAction, bCharacterHighJumpOff), 0,
     nullptr},
    {"action_character_allow_jumping", 1, Kind::U8Flag, offsetof(ObjectAction, bCharacterAllowJumping), 0,
     nullptr},
    {"action_character_forbid_jumping", 1, Kind::U8Flag, offsetof(ObjectAction, bCharacterForbidJumping), 0,
     nullptr},
    {"action_add_new_objective", 1, Kind::Text, offsetof(ObjectAction, szAddNewObjective), 63,
     "action_add_new_objective"},
    {"action_add_new_hint", 1, Kind::Text, offsetof(ObjectAction, szAddNewHint), 63, "action_add_new_hint"},
    {"action_camera_look_from_character_not_object", 1, Kind::U8Flag,
     offsetof(ObjectAction, bCameraLookFromCharacterNotObject), 0, nullptr},
    {"action_respawn_forbid_models_other_than_first", 1, Kind::U8Flag,
     offsetof(ObjectAction, bRespawnForbidModelsOtherThanFirst), 0, nullptr},
    {"action_respawn_force_weapon", 0, Kind::Text, offsetof(ObjectAction, szRespawnForceWeapon), 64,
     "action_respawn_force_weapon"},
    {"action_respawn_can_throw_grenades", 1, Kind::U8Flag, offsetof(ObjectAction, bRespawnCanThrowGrenades),
     0, nullptr},
    {"action_respawn_agression_mode", 1, Kind::I32, offsetof(ObjectAction, iRespawnAgressionMode), 0,
     nullptr},
    {"action_player_move_and_view_turn_on_movement_radius", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOnMovementRadius), 0, nullptr},
    {"action_player_move_and_view_turn_off_movement_radius", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOffMovementRadius), 0, nullptr},
    {"action_player_move_and_view_movement_radius", 1, Kind::Float,
     offsetof(ObjectAction, fPlayerMoveAndViewMovementRadius), 0, nullptr},
    {"action_player_move_and_view_turn_on_panoramic_screen", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOnPanoramicScreen), 0, nullptr},
    {"action_player_move_and_view_turn_off_panoramic_screen", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOffPanoramicScreen), 0, nullptr},
    {"action_player_move_and_view_turn_on_bezier_walk", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOnBezierWalk), 0, nullptr},
    {"action_player_move_and_view_bezier_to_walk_on", 1, Kind::Text,
     offsetof(ObjectAction, szPlayerMoveAndViewBezierToWalkOn), 63,
     "action_player_move_and_view_bezier_to_walk_on"},
    {"action_player_move_and_view_turn_off_bezier_walk", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOffBezierWalk), 0, nullptr},
    {"action_player_move_and_view_turn_on_look_at", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOnLookAt), 0, nullptr},
    {"action_player_move_and_view_object_to_look_at", 1, Kind::Text,
     offsetof(ObjectAction, szPlayerMoveAndViewObjectToLookAt), 63,
     "action_player_move_and_view_object_to_look_at"},
    {"action_player_move_and_view_turn_off_look_at", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOffLookAt), 0, nullptr},
    {"action_player_move_and_view_look_at_angle_degrees", 1, Kind::Float,
     offsetof(ObjectAction, fPlayerMoveAndViewLookAtAngleDegrees), 0, nullptr},
    {"action_player_move_and_view_turn_on_bw_postprocess", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOnBwPostprocess), 0, nullptr},
    {"action_player_move_and_view_turn_off_bw_postprocess", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOffBwPostprocess), 0, nullptr},
    {"action_player_move_and_view_add_object_to_bw_postprocess", 1, Kind::Text,
     offsetof(ObjectAction, szPlayerMoveAndViewAddObjectToBwPostprocess), 63,
     "action_player_move_and_view_add_object_to_bw_postprocess"},
    {"action_player_move_and_view_add_character_to_bw_postprocess", 1, Kind::Text,
     offsetof(ObjectAction, szPlayerMoveAndViewAddCharacterToBwPostprocess), 63,
     "action_player_move_and_view_add_character_to_bw_postprocess"},
    {"action_render_params_delete_sector", 1, Kind::I32, offsetof(ObjectAction, iRenderParamsDeleteSector), 0,
     nullptr},
    {"action_fov_multiplier", 1, Kind::Float, offsetof(ObjectAction, fFovMultiplier), 0, nullptr},
    {"action_checkpoint_checkpoint", 1, Kind::U8Flag, offsetof(ObjectAction, bCheckpointCheckpoint), 0,
     nullptr},
    {"action_after_pickup", 1, Kind::Text, offsetof(ObjectAction, szAfterPickup), 63, "action_after_pickup"},
    {"action_respawn_shoots_only_above", 1, Kind::U8Flag, offsetof(ObjectAction, bRespawnShootsOnlyAbove), 0,
     nullptr},
    {"action_player_move_and_view_fades", 1, Kind::U8Flag, offsetof(ObjectAction, bPlayerMoveAndViewFades1),
     0, nullptr},
    {"action_player_move_and_view_fades", 2, Kind::Float, offsetof(ObjectAction, fPlayerMoveAndViewFades2), 0,
     nullptr},
    {"action_player_move_and_view_fades", 3, Kind::U8Flag, offsetof(ObjectAction, bPlayerMoveAndViewFades3),
     0, nullptr},
    {"action_player_move_and_view_fades", 4, Kind::Float, offsetof(ObjectAction, fPlayerMoveAndViewFades4), 0,
     nullptr},
    {"action_player_move_and_view_motion_blur", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewMotionBlur1), 0, nullptr},
    {"action_player_move_and_view_motion_blur", 2, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewMotionBlur2), 0, nullptr},
    {"action_player_move_and_view_mouse_inertia", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewMouseInertia1), 0, nullptr},
    {"action_player_move_and_view_mouse_inertia", 2, Kind::Float,
     offsetof(ObjectAction, fPlayerMoveAndViewMouseInertia2), 0, nullptr},
    {"action_player_move_and_view_mouse_inertia", 3, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewMouseInertia3), 0, nullptr},
    {"action_player_move_and_view_turn_on_monochromatic", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOnMonochromatic), 0, nullptr},
    {"action_player_move_and_view_turn_off_monochromatic", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOffMonochromatic), 0, nullptr},
    {"action_full_ammo", 1, Kind::U8Flag, offsetof(ObjectAction, bFullAmmo), 0, nullptr},
    {"action_end_game", 1, Kind::U8Flag, offsetof(ObjectAction, bEndGame), 0, nullptr},
    {"action_respawn_ragdoll_physics_on_death", 1, Kind::U8Flag,
     offsetof(ObjectAction, bRespawnRagdollPhysicsOnDeath), 0, nullptr},
    {"action_direction_pointer_to", 1, Kind::Text, offsetof(ObjectAction, szDirectionPointerTo), 63,
     "action_direction_pointer_to"},
    {"action_respawn_forbid_hat", 1, Kind::U8Flag, offsetof(ObjectAction, bRespawnForbidHat), 0, nullptr},
    {"action_radio_radio", 1, Kind::Text, offsetof(ObjectAction, szRadioRadio), 63, "action_radio_radio"},
    {"action_player_move_and_view_turn_on_bezier2_walk_use_running_mode", 1, Kind::U8Flag,
     offsetof(ObjectAction, bPlayerMoveAndViewTurnOnBezier2WalkUseRunningMode), 0, nullptr},
    {"action_countdown_turn_on", 1, Kind::U8Flag, offsetof(ObjectAction, bCountdownTurnOn), 0, nullptr},
    {"action_countdown_time_in_seconds", 1, Kind::Float, offsetof(ObjectAction, fCountdownTimeInSeconds), 0,
     nullptr},
    {"action_countdown_action_on_finish", 1, Kind::Text, offsetof(ObjectAction, szCountdownActionOnFinish),
     63, "action_countdown_action_on_finish"},
    {"action_countdown_turn_off", 1, Kind::U8Flag, offsetof(ObjectAction, bCountdownTurnOff), 0, nullptr},
    {"action_respawn_force_skinmesh", 0, Kind::Text, offsetof(ObjectAction, szRespawnForceSkinmesh), 255,
     "action_respawn_force_skinmesh"},
    {"action_add_cockroaches", 1, Kind::U8Flag, offsetof(ObjectAction, bAddCockroaches), 0, nullptr},
    {"action_num_cockroaches", 1, Kind::I32, offsetof(ObjectAction, iNumCockroaches), 0, nullptr},
};

} // namespace

void EWorldMgr::ParseActionKeys(const char* line, ObjectRecord* h) {
    if (!line || !h) return;
    TakeKeyword(line);
    const WorldKeyField* first = FindKeyField(kActionKeys, std::size(kActionKeys));
    bool camera = KeywordIs("action_camera_positioning");
    bool showSectors = KeywordIs("action_render_params_show_sectors");
    bool hideSectors = KeywordIs("action_render_params_hide_sectors");
    if (!first && !camera && !showSectors && !hideSectors) return;

    ObjectAction action;
    GetObjectAction(h, &action);
    if (first) ApplyKeyFields(line, first, std::end(kActionKeys), &action);
    if (camera) {
        // The eight values replace the whole embedded record, so its
        // motion-blur byte returns to 0.
        CameraPositioningParams p;
        p.bOn = ParamInt(line, 1) != 0;
        p.fFovTarget = ParamFloat(line, 2);
        p.fFovSpeed = ParamFloat(line, 3);
        p.fReserved = ParamFloat(line, 4);
        p.fBlendTarget = ParamFloat(line, 5);
        p.fBlendSpeed = ParamFloat(line, 6);
        p.fValue6 = ParamFloat(line, 7);
        p.bBlur = ParamInt(line, 8) != 0;
        action.CameraPositioning = p;
    }
    if (showSectors || hideSectors) {
        // An entry outside the list is ignored.
        int32_t* list = showSectors ? action.iRenderParamsShowSectors : action.iRenderParamsHideSectors;
        int entry = ParamInt(line, 1);
        int value = ParamInt(line, 2);
        if (entry >= 0 && entry < ObjectAction::NUM_SECTORS) list[entry] = value;
    }
    SetObjectAction(h, action);
}

void EWorldMgr::ParseLoopMusicKey(const char* line, ObjectRecord* h) {
    if (!line || !h) return;
    TakeKeyword(line);
    if (!KeywordIs("action_loop_music")) return;
    ObjectAction action;
    GetObjectAction(h, &action);
    action.bLoopMusic = ParamInt(line, 1) != 0;
    SetObjectAction(h, action);
}
