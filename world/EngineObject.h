// The behaviour layer, `EEngineObject` (global g_EngineObject): what makes a
// world act. Once per engine frame UpdateBehaviour walks the object table in
// fixed passes (camera collision finder, ambient sound, respawner data, the
// per-object update with trigger zones, action motion, doors, delayed
// pass-ons, sounds, sway, shooting, death countdowns and respawns, ties to
// sockets, cube-shadow slots, camera positioning, visibility, miniguns). The
// action interpreter (RunAction) applies an object's ObjectAction in its
// fixed order; HandleDeath kills an object by its DeathParams; the respawner
// brings characters back and caches its path look-ups in the world's ".gen"
// file; the services copy and teleport objects, run doors, voices, the
// direction pointer and sector visibility.
//
// Lifetimes: one instance for the whole run. The world-open hook resets the
// layer and makes its camera finder; the world-close hook stops its ambient
// sounds and drops the finder. Per-object state lives in the object records
// (their run-state words survive a saved game); the layer's own save block
// holds only the ambient sound.
//
// Failure policy: nothing throws. Missing objects, characters, items,
// sockets and files are reported or logged on the console (logged lines only
// while the console variable Debug is not 0) and the step is skipped; the
// remaining steps still run. No pass allocates.
//
// Flag words: "bit N" below 32 is the bit of index N, except bit 64, which is
// the value 64; values written in hex are masks (see the constants in the
// implementation files).
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/math/Types.h"
#include "world/ObjectAction.h"

struct Finder;
struct ObjectRecord;
struct DeathParams;
struct strSound;

// What the passes read of a visible object, filled by UpdateRenderMatrices.
struct ObjectRenderValues {
    math::Matrix mWorld;
    math::Matrix mWorldView;
    math::Matrix mWorldViewProjection;
    math::Vec4 vEyeInObject; // w = 1
    math::Vec4 vAmbient;     // the environment's ambient colour / 255, w = 1
    math::Vec4 vFog;         // its fog colour / 255
    float fFogNear = 0;
    float fFogFar = 0;
};

class EEngineObject {
  public:
    static constexpr int NUM_STATISTICS = 32;
    static constexpr int AMBIENT_NAME_LEN = 256;
    static constexpr float AMBIENT_MAX_VOLUME = 0.7f;

    virtual ~EEngineObject() = default;

    // ---- Per frame ---------------------------------------------------------------
    // The layer's passes, once per engine frame.
    void UpdateBehaviour();
    // Makes the next camera-moved test fire (a far random remembered position).
    void InvalidateCameraPosition();
    // The motion of a run (pass-on wait, movement, rotation, door) of an object
    // that is not dying; nothing while a save or load is in progress.
    void UpdateActionMotion(ObjectRecord* h);
    // Called by the position and orientation setters for live objects that
    // are not lights.
    void OnObjectMoved(ObjectRecord* h);

    // The ground under an object lit by an ambient probe: five downward
    // segment tests, at its position and LIGHTING_SAMPLE_SPREAD out along
    // +x, -x, +z and -z, each from LIGHTING_SAMPLE_RISE above it and
    // LIGHTING_SAMPLE_LENGTH long, past probe-lit objects and the object
    // itself. The centre test must hit, and at least LIGHTING_SAMPLE_VOTES
    // hits (the centre's among them) must lie within LIGHTING_SAMPLE_AGREE of
    // the centre hit's height; the centre hit is the ground then. False
    // otherwise (over a gap or an edge): nothing to probe from here.
    struct GroundSample {
        ObjectRecord* hGround = nullptr;
        math::Vec3 vPoint;
        uint32_t dwTextureId = 0;
    };
    static constexpr float LIGHTING_SAMPLE_SPREAD = 16.0f;
    static constexpr float LIGHTING_SAMPLE_RISE = 16.0f;
    static constexpr float LIGHTING_SAMPLE_LENGTH = 1024.0f;
    static constexpr float LIGHTING_SAMPLE_AGREE = 16.0f;
    static constexpr int LIGHTING_SAMPLE_VOTES = 3;
    static bool SampleGround(ObjectRecord* h, GroundSample* out);
    // Before drawing (renderer, plants): the camera's matrices, and for every
    // visible object its matrices, the eye in its space, its ambient and fog
    // colours and fog distances (RenderValues).
    void UpdateRenderMatrices();

    // ---- Action interpreter ---------------------------------------------------------
    // Runs the object's action (automatic: its trigger zone fired). Nothing
    // for a null object.
    void RunAction(ObjectRecord* h, bool automatic);
    void RunActionByName(const char* name);
    void RunActionIfObject(ObjectRecord* h, bool automatic);

    // ---- Death and respawning ---------------------------------------------------------
    // Kills the object by its death parameters; nothing for a null object, one
    // already dying or one without death parameters. a and b go only to a
    // chained kill.
    void HandleDeath(ObjectRecord* h, const math::Vec3* a, const math::Vec3* b);
    // One respawn of the respawner's character now.
    void RespawnCharacter(ObjectRecord* h);
    // The respawner's per-frame wait and count (for respawners that have run).
    void UpdateRespawn(ObjectRecord* h);
    // Respawner data of the running world: the nearest path and place of
    // every respawner, computed or read from "<world file>.gen".
    void ComputeRespawnerData();
    void SaveRespawnerData(const char* fileName);
    void LoadRespawnerData(const char* fileName);
    static bool RespawnerDataExists(const char* fileName);
    // "<world file>.gen" for the running world.
    static void RespawnerFileName(char* out, size_t size);

    // ---- Services ------------------------------------------------------------------------
    // A copy of a mesh or skinned mesh (null for anything else or on failure).
    ObjectRecord* CopyObject(ObjectRecord* h);
    // Moves or copies the objects the dying object's death parameters list.
    void TeleportObjectHereOnDeath(ObjectRecord* h);
    void SetAmbientSound(const char* name, float volume);
    void StartCameraPositioning(ObjectRecord* h);
    void StartDoor(ObjectRecord* h);
    // One step of a swinging door; false when nothing moves any more.
    bool UpdateDoor(ObjectRecord* h);
    void PlayActionVoice(ObjectRecord* h);
    void SetDirectionPointer(const char* name);
    void ShowSectors(const int32_t* sectors);
    void HideSectors(const int32_t* sectors);
    void DeleteSector(int32_t sector);

    // ---- Save block and world hooks -----------------------------------------------
    void Save(std::FILE* f);
    void Load(std::FILE* f);
    void OnWorldOpen();
    void OnWorldClose();

    // ---- State ------------------------------------------------------------------------------
    float m_fStatistics[NUM_STATISTICS] = {};
    float m_fFrameTime = 0;
    uint32_t m_dwFrameCounter = 0; // the player teleport resets it
    uint32_t m_dwObjectsTested = 0;
    uint32_t m_dwTriggersTested = 0;
    uint32_t m_dwRespawnUpdates = 0;
    bool m_bSectorVisibilityChanged = false;
    float m_fVisibilityTimer = 0;
    bool m_bActionsAllowed = false;
    math::Vec3 m_vPlayerPosition;
    math::Vec3 m_vPreviousPlayerPosition;
    ObjectRecord* m_pLastShaker = nullptr;

    // Ambient sound.
    char m_szNextAmbientSound[AMBIENT_NAME_LEN] = {};
    char m_szAmbientSound[AMBIENT_NAME_LEN] = {};
    float m_fAmbientTargetVolume = 0;
    float m_fAmbientVolume = 0;
    strSound* m_pAmbientSound = nullptr;
    strSound* m_pFadingSound = nullptr;
    float m_fFadingVolume = 0;

    // Camera collision finder (a projector finder of the collision manager).
    Finder* m_pCameraFinder = nullptr;
    float m_fFinderRange = 0;
    float m_fFinderAngle = 0;
    float m_fFinderFarZ = 0;
    math::Vec3 m_vFinderPosition;
    math::Vec3 m_vFinderDirection;

    // Cube-shadow slot pass: where the camera was when the lights were last ranked.
    math::Vec3 m_vCubeCameraPosition;
    math::Vec3 m_vCubeCameraDirection;

    // Camera positioning started by an action.
    bool m_bCameraPositioning = false;
    float m_fCameraBlend = 0;
    CameraPositioningParams m_CameraPositioning;
    uint8_t m_bCameraMotionBlur = 0;

    // The HUD's direction pointer.
    char m_szDirectionPointer[64] = {};
    ObjectRecord* m_hDirectionPointer = nullptr;

    // The camera as UpdateRenderMatrices found it, and each slot's values.
    math::Matrix m_mView;
    math::Matrix m_mProjection;
    math::Matrix m_mInverseView;
    math::Vec3 m_vEye;
    const ObjectRenderValues& RenderValues(int slot) const { return m_RenderValues[slot]; }

    // Diagnostics: the object most recently asked to run its action (before
    // the gates) and how many such requests came.
    ObjectRecord* m_pLastActionObject = nullptr;
    uint32_t m_iActionsRun = 0;

  private:
    ObjectRenderValues m_RenderValues[4000];

    void UpdateCameraFinder();
    void UpdateAmbientSound();
    void UpdateObjects();
    void UpdateObject(ObjectRecord* h, float nearReach);
    void UpdateTriggerZone(ObjectRecord* h);
    void UpdateTies();
    void UpdateCubeShadowSlots();
    void UpdateCameraPositioning();
    void UpdateVisibility();
    void UpdateMiniguns();
    void PrepareObject(ObjectRecord* h);
    void RefreshNeedsUpdate(ObjectRecord* h);
    void UpdateSway(ObjectRecord* h);
    void UpdateSounds(ObjectRecord* h);
    void UpdateDownwash(ObjectRecord* h);
    void UpdateShooting(ObjectRecord* h);
    void UpdateLightingSample(ObjectRecord* h);
    bool UpdateRotation(ObjectRecord* h, bool back);
    bool UpdateMovement(ObjectRecord* h, bool back);

    // The interpreter's gates and effects (ActionInterpreter.cpp).
    bool PassesGates(ObjectRecord* h, const ObjectAction& a, bool automatic);
    void ApplyEffects(ObjectRecord* h, const ObjectAction& a, bool automatic, bool destination);
    // The effect groups ApplyEffects runs in order.
    struct EffectContext {
        ObjectRecord* h;
        const ObjectAction& a;
        bool automatic;   // run by the engine, not by the player
        bool destination; // the object is at its destination side
    };
    void CountdownAmmoAndRadioEffects(const EffectContext& c);
    void ViewEffects(const EffectContext& c);
    void ProgressAndDialogueEffects(const EffectContext& c);
    void RenderAndMarkerEffects(const EffectContext& c);
    void TeleportCameraAndDamageEffects(const EffectContext& c);
    void AnimationMoveAndKillEffects(const EffectContext& c);
    void SideFxAndSoundEffects(const EffectContext& c);
    void MusicWorldAndCharacterEffects(const EffectContext& c);
    void HandOnAndCameraEffects(const EffectContext& c);
    void ApplyRenderParams(ObjectRecord* h, const ObjectAction& a);
    void ApplyShooting(ObjectRecord* h, const ObjectAction& a);
    void TeleportPlayerHere(ObjectRecord* h, const ObjectAction& a);
    void ReplaceByDestroyedMesh(ObjectRecord* h, const DeathParams& dp);
};

extern EEngineObject g_EngineObject;

// Readiness of an object's action for the interface: 0 cannot run, 1 ready,
// 2 waiting (its icon may show).
int CanRunObjectAction(ObjectRecord* h);

// Hides (true) or shows (false) every live object of a sector; sector 0 does
// nothing. The sector's state is kept for IsSectorHidden.
void SetSectorHidden(uint32_t sector, bool hidden);
bool IsSectorHidden(uint32_t sector);
