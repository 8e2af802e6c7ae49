// The behaviour block of a world object: a flat record of optional effects
// (script variables to set, sounds, teleports, camera moves, dialogues,
// respawns, screen shake, render switches, player-view modes ...) that the
// action interpreter applies in its fixed order whenever the object's action
// runs. The world file's action keys fill it (EWorldMgr::ParseActionKeys), an
// object copy copies it and save games hold it as a 6208-byte image, so every
// field sits at a fixed offset. The record holds no pointers: its natural
// layout is the image layout, with every gap written out as padding, and the
// image is still written and read field by field (padding written as zeros,
// ignored when read).
//
// Members are named after the world-file key that fills them (the key without
// its "action_" prefix; a key with several values numbers them). Text fields
// hold NUL-terminated text; a flag is 0 or 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "app/Records.h"

// The camera positioning an action starts: field-of-view and blend targets
// reached at their speeds per second (a speed of 0 jumps).
struct CameraPositioningParams {
    uint8_t bOn = 0;
    uint8_t _pad1[3] = {};
    float fFovTarget = 1.1f;
    float fFovSpeed = 0.0f;
    float fReserved = 1.0f;
    float fBlendTarget = 0.0f;
    float fBlendSpeed = 0.0f;
    float fValue6 = 6.0f;
    uint8_t bBlur = 0;
    uint8_t bMotionBlur = 0;
    uint8_t _pad30[2] = {};

    CameraPositioningParams() = default;
};
static_assert(sizeof(CameraPositioningParams) == 32);

struct ObjectAction {
    static constexpr size_t IMAGE_SIZE = 6208;
    static constexpr int NUM_SECTORS = 32;

    uint32_t dwGeneralOpt1 = 0;           // action_general_opt value 1
    uint32_t dwGeneralOpt2 = 0;           // action_general_opt value 2
    uint32_t dwPartnerCanUse = 0;         // action_partner_can_use value 1
    char szIfset[32] = {};                // action_ifset rest
    char szDefaultSet[32] = {};           // action_default_set rest
    char szDefaultUnset[32] = {};         // action_default_unset rest
    char szDestSet[32] = {};              // action_dest_set rest
    char szDestUnset[32] = {};            // action_dest_unset rest
    char szSoundsActivate[256] = {};      // action_sounds_activate rest
    char szSoundsDeactivate[256] = {};    // action_sounds_deactivate rest
    float fSoundsRange = 0.0f;            // action_sounds_range rest
    uint32_t dwCameraPositionMesh1 = 0;   // action_camera_position_mesh value 1
    char szCameraPositionMesh2[32] = {};  // action_camera_position_mesh value 2
    float fMoving1 = 0.0f;                // action_moving value 1
    float fMoving2 = 0.0f;                // action_moving value 2
    float fMoving3 = 0.0f;                // action_moving value 3
    float fMoving4 = 0.0f;                // action_moving value 4
    float fMoving5 = 0.0f;                // action_moving value 5
    float fRotation1 = 0.0f;              // action_rotation value 1
    float fRotation2 = 0.0f;              // action_rotation value 2
    float fRotation3 = 0.0f;              // action_rotation value 3
    float fRotation4 = 0.0f;              // action_rotation value 4
    char szGiveActionToMesh[32] = {};     // action_give_action_to___mesh rest
    float fGiveActionToDelay = 0.0f;      // action_give_action_to___delay rest
    uint32_t dwSwitchMovingOnAction = 0;  // action_switch_moving_on_action rest
    uint32_t dwCanBeHeldUp = 0;           // action_can_be_held_up rest
    char szTargetName[32] = {};           // action_target_name rest
    char szSetIfPickedup[32] = {};        // action_set_if_pickedup rest
    char szSetIfOntarget[32] = {};        // action_set_if_ontarget rest
    uint32_t dwGeneral21 = 0;             // action_general_2 value 1
    uint32_t dwGeneral22 = 0;             // action_general_2 value 2
    char szRespawnCharacterName[32] = {}; // action_respawn_character_name rest
    int32_t iRespawnParams2 = 1;  // action_respawn_params value 2 (read as a float, integer part kept)
    float fRespawnParams1 = 0.0f; // action_respawn_params value 1
    char szRespawnCharacterPhase0[32] = "estimate"; // action_respawn_character_phase0 rest
    char szRespawnCharacterPhase1[32] = "estimate"; // action_respawn_character_phase1 rest
    char szRespawnCharacterDoNotRespawnIf[32] = {}; // action_respawn_character_do_not_respawn_if rest
    char szRespawnCharacterActionAfterLastRespawn[32] =
        {};                                       // action_respawn_character_action_after_last_respawn rest
    uint32_t dwGeneral31 = 0;                     // action_general_3 value 1
    uint32_t dwGeneral32 = 0;                     // action_general_3 value 2
    uint32_t dwGeneral33 = 0;                     // action_general_3 value 3
    float fTakeHealthAway = 0.0f;                 // action_take_health_away rest
    char szKillObject[32] = {};                   // action_kill_object rest
    char szPushObject[32] = {};                   // action_push_object rest
    float fPushObjForce = 0.0f;                   // action_push_obj_force rest
    uint32_t dwSwitchLight = 0;                   // action_switch_light rest
    float fKillDelay = 0.0f;                      // action_kill_delay rest
    char szSetPhaseFor[32] = {};                  // action_set_phase_for rest
    char szPhaseName[32] = {};                    // action_phase_name rest
    uint32_t dwTeleportPlayerHere = 0;            // action_teleport_player_here rest
    char szAllowPassingBlockers[32] = {};         // action_allow_passing_blockers rest
    char szForbidPassingBlockers[32] = {};        // action_forbid_passing_blockers rest
    char szActionIfNotSet[32] = {};               // action_action_if_not_set rest
    char szActivateAiAction[32] = {};             // action_activate_ai_action rest
    char szPlayMusic[128] = {};                   // action_play_music rest
    float fRotationAcceleration = 0.0f;           // action_rotation_acceleration value 1
    char szStartWorld[128] = {};                  // action_start_world rest
    uint32_t dwEmitBulletHitEffects = 0;          // action_emit_bullet_hit_effects value 1
    char szRunScript[256] = {};                   // action_run_script rest
    char szConsolePrint[256] = {};                // action_console_print rest
    uint32_t dwDoor1 = 0;                         // action_door value 1
    uint32_t dwDoor2 = 1;                         // action_door value 2
    float fDoor3 = 80.0f;                         // action_door value 3
    float fDoor4 = 80.0f;                         // action_door value 4
    float fDoor5 = 0.0f;                          // action_door value 5
    uint32_t dwKnobGeneral1 = 0;                  // action_knob_general value 1
    char szKnobObject[32] = {};                   // action_knob_object value 1
    char szKnobSocket[32] = {};                   // action_knob_socket value 1
    float fKnobGeneral2 = 45.0f;                  // action_knob_general value 2
    float fKnobGeneral3 = 45.0f;                  // action_knob_general value 3
    uint32_t dw2doorEnemyCanOpenThisDoor = 0;     // action_2door_enemy_can_open_this_door value 1
    char szDefaultSetFx[32] = {};                 // action_default_set_fx value 1
    char szDefaultUnsetFx[32] = {};               // action_default_unset_fx value 1
    uint32_t dwShootGeneral1 = 0;                 // action_shoot_general value 1
    char szShootTarget[32] = {};                  // action_shoot_target value 1
    char szShootWeapon[32] = "ColtM4";            // action_shoot_weapon value 1
    int32_t iShootGeneral2 = 10;                  // action_shoot_general value 2
    int32_t iShootGeneral3 = 5;                   // action_shoot_general value 3
    char szDefaultSetAnimation[32] = {};          // action_default_set_animation value 1
    char szDestinationSetAnimation[32] = {};      // action_destination_set_animation value 1
    uint32_t dwLadder = 0;                        // action_ladder value 1
    char szTeleportCharacterHere[64] = {};        // action_teleport_character_here rest
    char szSetAnimForObjectName[64] = {};         // action_set_anim_for_object_name value 1
    char szSetAnimForAnimationName[64] = {};      // action_set_anim_for_animation_name value 1
    char szStartMovingOnDifferentBezier[64] = {}; // action_start_moving_on_different_bezier value 1
    char szRemoveJointsFor[64] = {};              // action_remove_joints_for value 1
    char szMakeObjectMoveOnBezierObjectName[64] = {}; // action_make_object_move_on_bezier_object_name value 1
    char szMakeObjectMoveOnBezierBezierName[64] = {}; // action_make_object_move_on_bezier_bezier_name value 1
    char szVoiceHawke[64] = {};     // action_voice_hawke value 1, action_voice_hero0 value 1
    char szVoiceFletch[64] = {};    // action_voice_fletch value 1, action_voice_hero1 value 1
    char szVoiceOther[64] = {};     // action_voice_other value 1
    uint32_t dwControlBlackout = 0; // action_control_blackout value 1
    uint32_t dwBlackout = 0;        // action_blackout value 1
    uint32_t dwSwitchBlinking = 0;  // action_switch_blinking value 1
    CameraPositioningParams
        CameraPositioning; // action_camera_positioning values 1-8, action_camera1_positioning_motion_blur
    char szKillCharacter[64] = {};                 // action_kill_character value 1
    char szTeleportObjectHere[64] = {};            // action_teleport_object_here value 1
    uint32_t dwTeleportWithMyRotation = 0;         // action_teleport_with_my_rotation value 1
    uint32_t dwSetDefaultAnimationLoop = 0;        // action_set_default_animation_loop value 1
    uint32_t dwSetDestinationAnimationLoop = 0;    // action_set_destination_animation_loop value 1
    uint32_t dwTeleportMultiPartnerHere = 0;       // action_teleport_multi_partner_here rest
    uint32_t dwMakeObjectMoveOnBezierLoop = 0;     // action_make_object_move_on_bezier_loop rest
    char szVoiceEnemy[64] = {};                    // action_voice_enemy value 1
    uint32_t dwActionIfAimedAndShotWithRocket = 0; // action_action_if_aimed_and_shot_with_rocket rest
    char szSwitchGreenPointFor[64] = {};           // action_switch_green_point_for value 1
    char szSwitchRedPointFor[64] = {};             // action_switch_red_point_for value 1
    uint8_t bHideIconIfActionInvalid = 0;          // action_hide_icon_if_action_invalid rest
    uint8_t bMultiCheckPoint = 0;                  // action_multi_check_point rest
    uint8_t bActionOnLook = 0;                     // action_action_on_look rest
    uint8_t bShakeScreen = 0;                      // action_shake_screen value 1
    uint8_t bConstantShakeScreen = 0;              // action_constant_shake_screen value 1
    uint8_t _pad3481[3] = {};
    float fConstantShakeParams1 = 0.3f; // action_constant_shake_params value 1
    float fConstantShakeParams2 = 0.1f; // action_constant_shake_params value 2
    float fConstantShakeParams3 = 0.1f; // action_constant_shake_params value 3
    float fConstantShakeParams4 = 0.2f; // action_constant_shake_params value 4
    float fConstantShakeParams5 = 0.3f; // action_constant_shake_params value 5
    float fConstantShakeParams6 = 1.0f; // action_constant_shake_params value 6
    float fConstantShakeRange = 0.0f;   // action_constant_shake_range value 1
    ShakeScreenParams
        ShortShake; // action_short_shake_screen value 1 (on), action_short_shake_params values 1-8
    float fRenderParamsFarz = 0.0f;             // action_render_params_farz value 1
    uint8_t bRenderParamsStates1 = 0;           // action_render_params_states value 1
    uint8_t bRenderParamsStates2 = 0;           // action_render_params_states value 2
    uint8_t bRenderParamsStates3 = 0;           // action_render_params_states value 3
    uint8_t bRenderParamsStates4 = 0;           // action_render_params_states value 4
    uint8_t bRenderParamsStates5 = 0;           // action_render_params_states value 5
    uint8_t bRenderParamsStates6 = 0;           // action_render_params_states value 6
    uint8_t bRenderParamsStates7 = 0;           // action_render_params_states value 7
    uint8_t bRenderParamsStates8 = 0;           // action_render_params_states value 8
    uint8_t bDefaultSetFxTieToMe = 0;           // action_default_set_fx_tie_to_me value 1
    uint8_t bDefaultUnsetFxTieToMe = 0;         // action_default_unset_fx_tie_to_me value 1
    char szSpreadAttachmentsForObject[64] = {}; // action_spread_attachments_for_object value 1
    uint8_t _pad3630[2] = {};
    float fSpreadAttachmentsForce = 1.0f;              // action_spread_attachments_force value 1
    char szCharacterNameRunsTo[64] = {};               // action_character_name_runs_to value 1
    char szCharacterRunsToTarget[64] = {};             // action_character_runs_to_target value 1
    char szCharacterUsesBezier[64] = {};               // action_character_uses_bezier value 1
    char szCharacterSetPhaseOnTarget[64] = {};         // action_character_set_phase_on_target value 1
    char szCharacterRunsToAnimationName[64] = "idzie"; // action_character_runs_to_animation_name value 1
    char szMoveCameraToObjectName[64] = {};            // action_move_camera_to_object_name value 1
    float fMoveCameraToObjectTime = 0.0f;              // action_move_camera_to_object_time value 1
    int32_t iRenderParamsShowSectors[32] =
        {}; // action_render_params_show_sectors: value 1 the entry, value 2 the value
    int32_t iRenderParamsHideSectors[32] =
        {}; // action_render_params_hide_sectors: value 1 the entry, value 2 the value
    uint8_t bRenderParamsUseRenderParams = 0; // action_render_params_use_render_params value 1
    uint8_t bCrouchingTeleportPlayerHere = 0; // action_crouching_teleport_player_here value 1
    uint8_t bRespawnObeAfterDeath = 0;        // action_respawn_obe_after_death value 1
    uint8_t bSwitchToPeacefulMode = 0;        // action_switch_to_peaceful_mode value 1
    uint8_t bSwitchToCombatMode = 0;          // action_switch_to_combat_mode value 1
    uint8_t _pad4285[3] = {};
    float fGlobalTimeSpeed = 0.0f;           // action_global_time_speed value 1
    uint8_t bRespawnForbidObeAfterDeath = 0; // action_respawn_forbid_obe_after_death value 1
    char szCameraLookFromObject[64] = {};    // action_camera_look_from_object value 1
    char szCameraLookFromSocket[64] = {};    // action_camera_look_from_socket value 1
    uint8_t _pad4421[3] = {};
    float fCameraLookFromTime = 0.0f;   // action_camera_look_from_time value 1
    uint8_t bLoopAnimFor = 0;           // action_loop_anim_for value 1
    char szSoundAmbientSound[255] = {}; // action_sound_ambient_sound value 1
    uint8_t _pad4684[4] = {};
    float fSoundVolumeAmbientSound = 1.0f; // action_sound_volume_ambient_sound value 1
    char szRespawnOnAlertAction[64] = {};  // action_respawn_on_alert_action rest
    char szRespawnEnemyType[64] = {};      // action_respawn_enemy_type rest
    int32_t iRespawnNumEnemies = 0;        // action_respawn_num_enemies value 1
    uint8_t bCharacterAllowSprint = 0;     // action_character_allow_sprint value 1
    uint8_t bCharacterForbidSprint = 0;    // action_character_forbid_sprint value 1
    uint8_t _pad4826[2] = {};
    float fNextRunAfter = 0.0f;                     // action_next_run_after value 1
    char szStartHeroDialogue[64] = {};              // action_start_hero_dialogue value 1
    char szStartDialogue0[64] = {};                 // action_start_dialogue0 value 1
    char szStartDialogueActor0[64] = {};            // action_start_dialogue_actor0 value 1
    char szStartDialogueActor1[64] = {};            // action_start_dialogue_actor1 value 1
    char szStartDialogueActor2[64] = {};            // action_start_dialogue_actor2 value 1
    uint8_t bCharacterHighJumpOn = 0;               // action_character_high_jump_on value 1
    uint8_t bCharacterHighJumpOff = 0;              // action_character_high_jump_off value 1
    uint8_t bCharacterAllowJumping = 0;             // action_character_allow_jumping value 1
    uint8_t bCharacterForbidJumping = 0;            // action_character_forbid_jumping value 1
    char szAddNewObjective[64] = {};                // action_add_new_objective value 1
    char szAddNewHint[64] = {};                     // action_add_new_hint value 1
    uint8_t bCameraLookFromCharacterNotObject = 0;  // action_camera_look_from_character_not_object value 1
    uint8_t bRespawnForbidModelsOtherThanFirst = 0; // action_respawn_forbid_models_other_than_first value 1
    char szRespawnForceWeapon[64] = {};             // action_respawn_force_weapon rest
    uint8_t bRespawnCanThrowGrenades = 0;           // action_respawn_can_throw_grenades value 1
    uint8_t _pad5351[1] = {};
    int32_t iRespawnAgressionMode = 0; // action_respawn_agression_mode value 1
    uint8_t bPlayerMoveAndViewTurnOnMovementRadius =
        0; // action_player_move_and_view_turn_on_movement_radius value 1
    uint8_t bPlayerMoveAndViewTurnOffMovementRadius =
        0; // action_player_move_and_view_turn_off_movement_radius value 1
    uint8_t _pad5358[2] = {};
    float fPlayerMoveAndViewMovementRadius = 0.0f; // action_player_move_and_view_movement_radius value 1
    uint8_t bPlayerMoveAndViewTurnOnPanoramicScreen =
        0; // action_player_move_and_view_turn_on_panoramic_screen value 1
    uint8_t bPlayerMoveAndViewTurnOffPanoramicScreen =
        0; // action_player_move_and_view_turn_off_panoramic_screen value 1
    uint8_t bPlayerMoveAndViewTurnOnBezierWalk = 0; // action_player_move_and_view_turn_on_bezier_walk value 1
    char szPlayerMoveAndViewBezierToWalkOn[64] = {}; // action_player_move_and_view_bezier_to_walk_on value 1
    uint8_t bPlayerMoveAndViewTurnOffBezierWalk =
        0;                                      // action_player_move_and_view_turn_off_bezier_walk value 1
    uint8_t bPlayerMoveAndViewTurnOnLookAt = 0; // action_player_move_and_view_turn_on_look_at value 1
    char szPlayerMoveAndViewObjectToLookAt[64] = {}; // action_player_move_and_view_object_to_look_at value 1
    uint8_t bPlayerMoveAndViewTurnOffLookAt = 0;     // action_player_move_and_view_turn_off_look_at value 1
    uint8_t _pad5498[2] = {};
    float fPlayerMoveAndViewLookAtAngleDegrees =
        0.0f; // action_player_move_and_view_look_at_angle_degrees value 1
    uint8_t bPlayerMoveAndViewTurnOnBwPostprocess =
        0; // action_player_move_and_view_turn_on_bw_postprocess value 1
    uint8_t bPlayerMoveAndViewTurnOffBwPostprocess =
        0; // action_player_move_and_view_turn_off_bw_postprocess value 1
    char szPlayerMoveAndViewAddObjectToBwPostprocess[64] =
        {}; // action_player_move_and_view_add_object_to_bw_postprocess value 1
    char szPlayerMoveAndViewAddCharacterToBwPostprocess[64] =
        {}; // action_player_move_and_view_add_character_to_bw_postprocess value 1
    uint8_t _pad5634[2] = {};
    int32_t iRenderParamsDeleteSector = 0; // action_render_params_delete_sector value 1
    float fFovMultiplier = 0.0f;           // action_fov_multiplier value 1
    uint8_t bCheckpointCheckpoint = 0;     // action_checkpoint_checkpoint value 1
    char szAfterPickup[64] = {};           // action_after_pickup value 1
    uint8_t bRespawnShootsOnlyAbove = 0;   // action_respawn_shoots_only_above value 1
    uint8_t bPlayerMoveAndViewFades1 = 0;  // action_player_move_and_view_fades value 1
    uint8_t _pad5711[1] = {};
    float fPlayerMoveAndViewFades2 = 1.0f; // action_player_move_and_view_fades value 2
    uint8_t bPlayerMoveAndViewFades3 = 0;  // action_player_move_and_view_fades value 3
    uint8_t _pad5717[3] = {};
    float fPlayerMoveAndViewFades4 = 1.0f;       // action_player_move_and_view_fades value 4
    uint8_t bPlayerMoveAndViewMotionBlur1 = 0;   // action_player_move_and_view_motion_blur value 1
    uint8_t bPlayerMoveAndViewMotionBlur2 = 0;   // action_player_move_and_view_motion_blur value 2
    uint8_t bPlayerMoveAndViewMouseInertia1 = 0; // action_player_move_and_view_mouse_inertia value 1
    uint8_t _pad5727[1] = {};
    float fPlayerMoveAndViewMouseInertia2 = 0.3f; // action_player_move_and_view_mouse_inertia value 2
    uint8_t bPlayerMoveAndViewMouseInertia3 = 0;  // action_player_move_and_view_mouse_inertia value 3
    uint8_t bPlayerMoveAndViewTurnOnMonochromatic =
        0; // action_player_move_and_view_turn_on_monochromatic value 1
    uint8_t bPlayerMoveAndViewTurnOffMonochromatic =
        0;                                     // action_player_move_and_view_turn_off_monochromatic value 1
    uint8_t bFullAmmo = 0;                     // action_full_ammo value 1
    uint8_t bEndGame = 0;                      // action_end_game value 1
    uint8_t bRespawnRagdollPhysicsOnDeath = 0; // action_respawn_ragdoll_physics_on_death value 1
    char szDirectionPointerTo[64] = {};        // action_direction_pointer_to value 1
    uint8_t bRespawnForbidHat = 0;             // action_respawn_forbid_hat value 1
    char szRadioRadio[64] = {};                // action_radio_radio value 1
    uint8_t bPlayerMoveAndViewTurnOnBezier2WalkUseRunningMode =
        0;                        // action_player_move_and_view_turn_on_bezier2_walk_use_running_mode value 1
    uint8_t bCountdownTurnOn = 0; // action_countdown_turn_on value 1
    uint8_t _pad5869[3] = {};
    float fCountdownTimeInSeconds = 60.0f;   // action_countdown_time_in_seconds value 1
    char szCountdownActionOnFinish[64] = {}; // action_countdown_action_on_finish value 1
    uint8_t bCountdownTurnOff = 0;           // action_countdown_turn_off value 1
    char szRespawnForceSkinmesh[256] = {};   // action_respawn_force_skinmesh rest
    uint8_t bAddCockroaches = 0;             // action_add_cockroaches value 1
    uint8_t _pad6198[2] = {};
    int32_t iNumCockroaches = 25; // action_num_cockroaches value 1
    uint8_t bLoopMusic = 0;       // action_loop_music value 1
    uint8_t _pad6205[3] = {};

    // Every default of the block (the texts "estimate", "ColtM4" and "idzie"
    // included).
    ObjectAction() = default;

    // The saved image: every field at its offset, padding written as zeros.
    void WriteImage(uint8_t* image) const;
    // Takes every field from an image; its padding bytes are ignored.
    void ReadImage(const uint8_t* image);
};

// Every field of the image at its offset (padding is not listed).
#define ZT_OBJECT_ACTION_IMAGE(X)                                                                            \
    X(0, dwGeneralOpt1)                                                                                      \
    X(4, dwGeneralOpt2)                                                                                      \
    X(8, dwPartnerCanUse)                                                                                    \
    X(12, szIfset)                                                                                           \
    X(44, szDefaultSet)                                                                                      \
    X(76, szDefaultUnset)                                                                                    \
    X(108, szDestSet)                                                                                        \
    X(140, szDestUnset)                                                                                      \
    X(172, szSoundsActivate)                                                                                 \
    X(428, szSoundsDeactivate)                                                                               \
    X(684, fSoundsRange)                                                                                     \
    X(688, dwCameraPositionMesh1)                                                                            \
    X(692, szCameraPositionMesh2)                                                                            \
    X(724, fMoving1)                                                                                         \
    X(728, fMoving2)                                                                                         \
    X(732, fMoving3)                                                                                         \
    X(736, fMoving4)                                                                                         \
    X(740, fMoving5)                                                                                         \
    X(744, fRotation1)                                                                                       \
    X(748, fRotation2)                                                                                       \
    X(752, fRotation3)                                                                                       \
    X(756, fRotation4)                                                                                       \
    X(760, szGiveActionToMesh)                                                                               \
    X(792, fGiveActionToDelay)                                                                               \
    X(796, dwSwitchMovingOnAction)                                                                           \
    X(800, dwCanBeHeldUp)                                                                                    \
    X(804, szTargetName)                                                                                     \
    X(836, szSetIfPickedup)                                                                                  \
    X(868, szSetIfOntarget)                                                                                  \
    X(900, dwGeneral21)                                                                                      \
    X(904, dwGeneral22)                                                                                      \
    X(908, szRespawnCharacterName)                                                                           \
    X(940, iRespawnParams2)                                                                                  \
    X(944, fRespawnParams1)                                                                                  \
    X(948, szRespawnCharacterPhase0)                                                                         \
    X(980, szRespawnCharacterPhase1)                                                                         \
    X(1012, szRespawnCharacterDoNotRespawnIf)                                                                \
    X(1044, szRespawnCharacterActionAfterLastRespawn)                                                        \
    X(1076, dwGeneral31)                                                                                     \
    X(1080, dwGeneral32)                                                                                     \
    X(1084, dwGeneral33)                                                                                     \
    X(1088, fTakeHealthAway)                                                                                 \
    X(1092, szKillObject)                                                                                    \
    X(1124, szPushObject)                                                                                    \
    X(1156, fPushObjForce)                                                                                   \
    X(1160, dwSwitchLight)                                                                                   \
    X(1164, fKillDelay)                                                                                      \
    X(1168, szSetPhaseFor)                                                                                   \
    X(1200, szPhaseName)                                                                                     \
    X(1232, dwTeleportPlayerHere)                                                                            \
    X(1236, szAllowPassingBlockers)                                                                          \
    X(1268, szForbidPassingBlockers)                                                                         \
    X(1300, szActionIfNotSet)                                                                                \
    X(1332, szActivateAiAction)                                                                              \
    X(1364, szPlayMusic)                                                                                     \
    X(1492, fRotationAcceleration)                                                                           \
    X(1496, szStartWorld)                                                                                    \
    X(1624, dwEmitBulletHitEffects)                                                                          \
    X(1628, szRunScript)                                                                                     \
    X(1884, szConsolePrint)                                                                                  \
    X(2140, dwDoor1)                                                                                         \
    X(2144, dwDoor2)                                                                                         \
    X(2148, fDoor3)                                                                                          \
    X(2152, fDoor4)                                                                                          \
    X(2156, fDoor5)                                                                                          \
    X(2160, dwKnobGeneral1)                                                                                  \
    X(2164, szKnobObject)                                                                                    \
    X(2196, szKnobSocket)                                                                                    \
    X(2228, fKnobGeneral2)                                                                                   \
    X(2232, fKnobGeneral3)                                                                                   \
    X(2236, dw2doorEnemyCanOpenThisDoor)                                                                     \
    X(2240, szDefaultSetFx)                                                                                  \
    X(2272, szDefaultUnsetFx)                                                                                \
    X(2304, dwShootGeneral1)                                                                                 \
    X(2308, szShootTarget)                                                                                   \
    X(2340, szShootWeapon)                                                                                   \
    X(2372, iShootGeneral2)                                                                                  \
    X(2376, iShootGeneral3)                                                                                  \
    X(2380, szDefaultSetAnimation)                                                                           \
    X(2412, szDestinationSetAnimation)                                                                       \
    X(2444, dwLadder)                                                                                        \
    X(2448, szTeleportCharacterHere)                                                                         \
    X(2512, szSetAnimForObjectName)                                                                          \
    X(2576, szSetAnimForAnimationName)                                                                       \
    X(2640, szStartMovingOnDifferentBezier)                                                                  \
    X(2704, szRemoveJointsFor)                                                                               \
    X(2768, szMakeObjectMoveOnBezierObjectName)                                                              \
    X(2832, szMakeObjectMoveOnBezierBezierName)                                                              \
    X(2896, szVoiceHawke)                                                                                    \
    X(2960, szVoiceFletch)                                                                                   \
    X(3024, szVoiceOther)                                                                                    \
    X(3088, dwControlBlackout)                                                                               \
    X(3092, dwBlackout)                                                                                      \
    X(3096, dwSwitchBlinking)                                                                                \
    X(3100, CameraPositioning.bOn)                                                                           \
    X(3104, CameraPositioning.fFovTarget)                                                                    \
    X(3108, CameraPositioning.fFovSpeed)                                                                     \
    X(3112, CameraPositioning.fReserved)                                                                     \
    X(3116, CameraPositioning.fBlendTarget)                                                                  \
    X(3120, CameraPositioning.fBlendSpeed)                                                                   \
    X(3124, CameraPositioning.fValue6)                                                                       \
    X(3128, CameraPositioning.bBlur)                                                                         \
    X(3129, CameraPositioning.bMotionBlur)                                                                   \
    X(3132, szKillCharacter)                                                                                 \
    X(3196, szTeleportObjectHere)                                                                            \
    X(3260, dwTeleportWithMyRotation)                                                                        \
    X(3264, dwSetDefaultAnimationLoop)                                                                       \
    X(3268, dwSetDestinationAnimationLoop)                                                                   \
    X(3272, dwTeleportMultiPartnerHere)                                                                      \
    X(3276, dwMakeObjectMoveOnBezierLoop)                                                                    \
    X(3280, szVoiceEnemy)                                                                                    \
    X(3344, dwActionIfAimedAndShotWithRocket)                                                                \
    X(3348, szSwitchGreenPointFor)                                                                           \
    X(3412, szSwitchRedPointFor)                                                                             \
    X(3476, bHideIconIfActionInvalid)                                                                        \
    X(3477, bMultiCheckPoint)                                                                                \
    X(3478, bActionOnLook)                                                                                   \
    X(3479, bShakeScreen)                                                                                    \
    X(3480, bConstantShakeScreen)                                                                            \
    X(3484, fConstantShakeParams1)                                                                           \
    X(3488, fConstantShakeParams2)                                                                           \
    X(3492, fConstantShakeParams3)                                                                           \
    X(3496, fConstantShakeParams4)                                                                           \
    X(3500, fConstantShakeParams5)                                                                           \
    X(3504, fConstantShakeParams6)                                                                           \
    X(3508, fConstantShakeRange)                                                                             \
    ZT_SHAKE_SCREEN_PARAMS_IMAGE(X, 3512, ShortShake)                                                        \
    X(3552, fRenderParamsFarz)                                                                               \
    X(3556, bRenderParamsStates1)                                                                            \
    X(3557, bRenderParamsStates2)                                                                            \
    X(3558, bRenderParamsStates3)                                                                            \
    X(3559, bRenderParamsStates4)                                                                            \
    X(3560, bRenderParamsStates5)                                                                            \
    X(3561, bRenderParamsStates6)                                                                            \
    X(3562, bRenderParamsStates7)                                                                            \
    X(3563, bRenderParamsStates8)                                                                            \
    X(3564, bDefaultSetFxTieToMe)                                                                            \
    X(3565, bDefaultUnsetFxTieToMe)                                                                          \
    X(3566, szSpreadAttachmentsForObject)                                                                    \
    X(3632, fSpreadAttachmentsForce)                                                                         \
    X(3636, szCharacterNameRunsTo)                                                                           \
    X(3700, szCharacterRunsToTarget)                                                                         \
    X(3764, szCharacterUsesBezier)                                                                           \
    X(3828, szCharacterSetPhaseOnTarget)                                                                     \
    X(3892, szCharacterRunsToAnimationName)                                                                  \
    X(3956, szMoveCameraToObjectName)                                                                        \
    X(4020, fMoveCameraToObjectTime)                                                                         \
    X(4024, iRenderParamsShowSectors)                                                                        \
    X(4152, iRenderParamsHideSectors)                                                                        \
    X(4280, bRenderParamsUseRenderParams)                                                                    \
    X(4281, bCrouchingTeleportPlayerHere)                                                                    \
    X(4282, bRespawnObeAfterDeath)                                                                           \
    X(4283, bSwitchToPeacefulMode)                                                                           \
    X(4284, bSwitchToCombatMode)                                                                             \
    X(4288, fGlobalTimeSpeed)                                                                                \
    X(4292, bRespawnForbidObeAfterDeath)                                                                     \
    X(4293, szCameraLookFromObject)                                                                          \
    X(4357, szCameraLookFromSocket)                                                                          \
    X(4424, fCameraLookFromTime)                                                                             \
    X(4428, bLoopAnimFor)                                                                                    \
    X(4429, szSoundAmbientSound)                                                                             \
    X(4688, fSoundVolumeAmbientSound)                                                                        \
    X(4692, szRespawnOnAlertAction)                                                                          \
    X(4756, szRespawnEnemyType)                                                                              \
    X(4820, iRespawnNumEnemies)                                                                              \
    X(4824, bCharacterAllowSprint)                                                                           \
    X(4825, bCharacterForbidSprint)                                                                          \
    X(4828, fNextRunAfter)                                                                                   \
    X(4832, szStartHeroDialogue)                                                                             \
    X(4896, szStartDialogue0)                                                                                \
    X(4960, szStartDialogueActor0)                                                                           \
    X(5024, szStartDialogueActor1)                                                                           \
    X(5088, szStartDialogueActor2)                                                                           \
    X(5152, bCharacterHighJumpOn)                                                                            \
    X(5153, bCharacterHighJumpOff)                                                                           \
    X(5154, bCharacterAllowJumping)                                                                          \
    X(5155, bCharacterForbidJumping)                                                                         \
    X(5156, szAddNewObjective)                                                                               \
    X(5220, szAddNewHint)                                                                                    \
    X(5284, bCameraLookFromCharacterNotObject)                                                               \
    X(5285, bRespawnForbidModelsOtherThanFirst)                                                              \
    X(5286, szRespawnForceWeapon)                                                                            \
    X(5350, bRespawnCanThrowGrenades)                                                                        \
    X(5352, iRespawnAgressionMode)                                                                           \
    X(5356, bPlayerMoveAndViewTurnOnMovementRadius)                                                          \
    X(5357, bPlayerMoveAndViewTurnOffMovementRadius)                                                         \
    X(5360, fPlayerMoveAndViewMovementRadius)                                                                \
    X(5364, bPlayerMoveAndViewTurnOnPanoramicScreen)                                                         \
    X(5365, bPlayerMoveAndViewTurnOffPanoramicScreen)                                                        \
    X(5366, bPlayerMoveAndViewTurnOnBezierWalk)                                                              \
    X(5367, szPlayerMoveAndViewBezierToWalkOn)                                                               \
    X(5431, bPlayerMoveAndViewTurnOffBezierWalk)                                                             \
    X(5432, bPlayerMoveAndViewTurnOnLookAt)                                                                  \
    X(5433, szPlayerMoveAndViewObjectToLookAt)                                                               \
    X(5497, bPlayerMoveAndViewTurnOffLookAt)                                                                 \
    X(5500, fPlayerMoveAndViewLookAtAngleDegrees)                                                            \
    X(5504, bPlayerMoveAndViewTurnOnBwPostprocess)                                                           \
    X(5505, bPlayerMoveAndViewTurnOffBwPostprocess)                                                          \
    X(5506, szPlayerMoveAndViewAddObjectToBwPostprocess)                                                     \
    X(5570, szPlayerMoveAndViewAddCharacterToBwPostprocess)                                                  \
    X(5636, iRenderParamsDeleteSector)                                                                       \
    X(5640, fFovMultiplier)                                                                                  \
    X(5644, bCheckpointCheckpoint)                                                                           \
    X(5645, szAfterPickup)                                                                                   \
    X(5709, bRespawnShootsOnlyAbove)                                                                         \
    X(5710, bPlayerMoveAndViewFades1)                                                                        \
    X(5712, fPlayerMoveAndViewFades2)                                                                        \
    X(5716, bPlayerMoveAndViewFades3)                                                                        \
    X(5720, fPlayerMoveAndViewFades4)                                                                        \
    X(5724, bPlayerMoveAndViewMotionBlur1)                                                                   \
    X(5725, bPlayerMoveAndViewMotionBlur2)                                                                   \
    X(5726, bPlayerMoveAndViewMouseInertia1)                                                                 \
    X(5728, fPlayerMoveAndViewMouseInertia2)                                                                 \
    X(5732, bPlayerMoveAndViewMouseInertia3)                                                                 \
    X(5733, bPlayerMoveAndViewTurnOnMonochromatic)                                                           \
    X(5734, bPlayerMoveAndViewTurnOffMonochromatic)                                                          \
    X(5735, bFullAmmo)                                                                                       \
    X(5736, bEndGame)                                                                                        \
    X(5737, bRespawnRagdollPhysicsOnDeath)                                                                   \
    X(5738, szDirectionPointerTo)                                                                            \
    X(5802, bRespawnForbidHat)                                                                               \
    X(5803, szRadioRadio)                                                                                    \
    X(5867, bPlayerMoveAndViewTurnOnBezier2WalkUseRunningMode)                                               \
    X(5868, bCountdownTurnOn)                                                                                \
    X(5872, fCountdownTimeInSeconds)                                                                         \
    X(5876, szCountdownActionOnFinish)                                                                       \
    X(5940, bCountdownTurnOff)                                                                               \
    X(5941, szRespawnForceSkinmesh)                                                                          \
    X(6197, bAddCockroaches)                                                                                 \
    X(6200, iNumCockroaches)                                                                                 \
    X(6204, bLoopMusic)

#define ZT_CHECK_OBJECT_ACTION_OFFSET(offset, field) static_assert(offsetof(ObjectAction, field) == offset);
ZT_OBJECT_ACTION_IMAGE(ZT_CHECK_OBJECT_ACTION_OFFSET)
#undef ZT_CHECK_OBJECT_ACTION_OFFSET
static_assert(sizeof(ObjectAction) == ObjectAction::IMAGE_SIZE);

// The image through the counted binary helpers.
void FileWriteObjectAction(std::FILE* f, const ObjectAction& action);
void FileReadObjectAction(std::FILE* f, ObjectAction& action);
