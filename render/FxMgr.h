// The particle-effect manager, `FxMgr` (global g_FxMgr): every muzzle flash,
// smoke puff, spark, explosion, debris chunk and blood drop of the game.
//
// Descriptions. An effect starts from an `FxDescription`: a fixed record read
// from a text file "afx\NAME.afx" into a cache of 1024 records when a world
// opens (LoadAll), or one that game code fills itself from Reset. After
// loading, each record's After and Every names are linked to the records they
// name (ResolveSubEffects); a name that is unknown fires nothing. Records read
// from files start from zero bytes, not from Reset's defaults.
//
// Instances. Spawning copies a description into one of 2048 `FxInstance`
// slots; slot 0 is never handed out and is the dummy returned for a refused
// spawn, so callers may write to any non-null result. Update steps every live
// instance once per game frame: life, distance culling, following a socket,
// acceleration, gravity, spin, growth, hurting the player and the timed
// sub-effects. A description with an explosion power raises an explosion at
// spawn (force, a sound from a fixed table, a flash).
//
// Lifetimes: the cache and the instances live from Init (world open) to
// Destroy (world close); a saved game's load ends every instance (KillAll).
// An instance owns the world object of a mesh particle and deletes it when
// it ends.
//
// Failure policy: a refused spawn returns the dummy without a message; a full
// cache prints "MAX_FXCACHE exceeded!" and skips the file; keys beyond their
// list limits are ignored. Nothing is allocated per spawn or per frame.
//
// Drawing (sprite batches, sparks, distortion, light-sprite occlusion) and the
// flight of rockets, grenades, shell casings and blood drops belong to the
// drawing and projectile steps of this manager; until they come, such
// instances stay where they were spawned until their life ends.
#pragma once

#include <cstdint>

#include "app/Orientation.h"
#include "platform/math/Types.h"

struct ObjectRecord;
struct DistortionRecord;
namespace gfx {
class VertexBuffer;
}

enum : uint32_t {
    FX_SPRITE = 1,
    FX_MESH = 2,
    FX_STREAK = 3, // made by code only
    FX_SPARK = 4,
    FX_BLOOD_DROP = 5,
    FX_SHELL_CASING = 6, // made by code only
};

struct FxDescription {
    static constexpr int MAX_FILENAMES = 8;
    static constexpr int MAX_KEYS = 8;
    static constexpr int MAX_SUBEFFECTS = 8;

    char szName[256];
    uint32_t dwType;
    char szFilenames[MAX_FILENAMES][256];
    uint32_t dwFilenameCount;
    char szDistortionNormal[256];
    math::Vec3 vPos, vPosRand;
    math::Vec3 vScale, vScaleRand;
    uint8_t bMove;
    math::Vec3 vVel, vVelRand;
    math::Vec3 vAimPoint;
    uint8_t bAimAtPoint;
    math::Vec3 vColors[MAX_KEYS]; // channels 0..255
    float fAlphas[MAX_KEYS];      // 0..255
    float fColorTimes[MAX_KEYS];  // 0..1 of the life
    float fAlphaTimes[MAX_KEYS];
    uint32_t dwColorCount; // 0..8
    uint32_t dwAlphaCount; // 0..8
    float fKeySpare;       // Reset makes it 1.0; copied into instances, read by nothing here
    orientation Orientation;
    uint8_t bUseRotation;
    uint8_t bSpinning;
    float fSpinSpeed, fSpinSpeedRand; // degrees per second
    float fAccelerateAfter, fAccelerateCoef, fAccelerateFor;
    float fLifeTime, fLifeTimeRand; // seconds; below 0 never ends
    float fGravity;
    float fGrow;
    float fDisappearDistance;
    float fHurtPlayer;
    float fExplosionPower;
    uint8_t bAdditive, bMultiply, bLightSprite, bApplyPhysicsToMesh, bAnimatedTexture;
    float fAnimatedFps;
    uint8_t bBlueSpark;
    uint8_t bLimited;
    uint8_t bWarmStreak;
    uint8_t bFlatRotation;
    ObjectRecord* hOwner;
    uint32_t dwRenderFlags;
    uint32_t dwBlendFlags;
    float fAfterTimes[MAX_SUBEFFECTS], fAfterRands[MAX_SUBEFFECTS];
    char szAfterNames[MAX_SUBEFFECTS][256];
    FxDescription* pAfterDescriptions[MAX_SUBEFFECTS];
    uint32_t dwAfterCount;
    float fEveryIntervals[MAX_SUBEFFECTS], fEveryRands[MAX_SUBEFFECTS];
    char szEveryNames[MAX_SUBEFFECTS][256];
    FxDescription* pEveryDescriptions[MAX_SUBEFFECTS];
    uint32_t dwEveryCount;

    // Identity orientation, then Reset.
    FxDescription();
    // The defaults of a description made by code; the orientation is kept.
    void Reset();
    // Every byte zero (a record of the cache before a file fills it).
    void Zero();
    bool InUse() const { return szName[0] != 0; }
};

struct FxInstance {
    static constexpr int SOCKET_LEN = 64;

    char szName[256];
    uint8_t bInUse;
    ObjectRecord* hObject; // world object owned by the instance, or null
    uint32_t dwIndex;      // own slot (0 for the dummy)
    DistortionRecord* pDistortion;
    ObjectRecord* hParent;
    // The socket on the parent, kept as a copy: the caller's text may be
    // gone or changed by the time the instance reads it again. Empty: none.
    char szSocket[SOCKET_LEN];
    uint8_t bFollowSocket;
    uint32_t dwStepCount;
    uint32_t dwType;
    math::Vec3 vPosition, vStartPosition;
    math::Vec3 vVelocity;
    math::Vec3 vScale;
    math::Vec3 vDirection;
    math::Vec3 vQuadUp, vQuadRight;
    math::Vec3 vAimPoint;
    uint8_t bAimAtPoint;
    math::Vec3 vHistory[3]; // newest first
    math::Vec3 vColors[FxDescription::MAX_KEYS];
    float fAlphas[FxDescription::MAX_KEYS];
    float fColorTimes[FxDescription::MAX_KEYS];
    float fAlphaTimes[FxDescription::MAX_KEYS];
    uint32_t dwColorCount, dwAlphaCount;
    float fKeySpare;
    orientation Orientation;
    uint8_t bUseRotation;
    uint8_t bReplaceable;
    float fLifeFraction;
    uint8_t bSpinning;
    float fSpinSpeed, fSpinAngle; // radians per second; radians
    float fLifeTotal, fLifeLeft;
    float fGravity, fGrow, fDisappearDistance;
    uint8_t bMove, bAdditive, bMultiply, bLightSprite, bLimited;
    uint8_t bBlueSpark, bWarmStreak;
    uint8_t bFlatRotation, bApplyPhysicsToMesh, bAnimatedTexture;
    float fFrameTime, fCycleTime, fAnimTime; // animated texture
    uint8_t bVisibleEnabled, bVisible;
    float fHurtPlayer, fExplosionPower;
    float fAccelerateAfter, fAccelerateCoef, fAccelerateFor;
    float fVisibilityTimer;
    uint32_t dwTextureId;
    uint32_t dwRenderFlags; // 0x2 oriented quad, 0x800 no depth test (light sprites)
    uint32_t dwBlendFlags;  // 0x1 additive, 0x2 multiply
    uint32_t dwColor;       // 0xAARRGGBB of this frame
    math::Vec3 vSize;
    math::Vec3 vRenderPosition;
    float fCameraDistance, fCullDistance;
    uint8_t bRocket, bGrenade;
    float fWobbleA, fWobbleB;
    ObjectRecord* hOwner;
    float fEveryInterval[FxDescription::MAX_SUBEFFECTS];
    float fEveryRand[FxDescription::MAX_SUBEFFECTS];
    FxDescription* pEveryDescription[FxDescription::MAX_SUBEFFECTS];
    float fEveryTimer[FxDescription::MAX_SUBEFFECTS];
    uint32_t dwEveryCount;
    float fAfterDelay[FxDescription::MAX_SUBEFFECTS];
    FxDescription* pAfterDescription[FxDescription::MAX_SUBEFFECTS];
    uint32_t dwAfterCount;
    // Written by the actions of the object the effect was started for: the
    // light switch and the end of blinking.
    uint8_t bLightOn;
    int32_t iBlinkStep; // -1: not blinking

    FxInstance();
    void Zero();
};

class FxMgr {
  public:
    static constexpr int MAX_INSTANCES = 2048;
    static constexpr int MAX_FXCACHE = 1024;
    static constexpr int FREE_LIST = 32;
    static constexpr uint32_t MAX_LIMITED = 40;
    static constexpr int BLOOD_DROPS = 32;
    static constexpr int BLOOD_DROP_NAME = 64;
    static constexpr uint32_t SPARK_BUFFER_BYTES = 36864;
    // Hurting reaches this far from the instance (less while crouching).
    static constexpr float HURT_DISTANCE = 72.0f;
    static constexpr float HURT_DISTANCE_CROUCHED = 48.0f;
    // An explosion at spawn needs the level to be past this frame.
    static constexpr int32_t FIRST_EXPLOSION_FRAME = 200;
    static constexpr float EXPLOSION_SOUND_RANGE = 69000.0f;

    FxMgr();
    virtual ~FxMgr();

    // ---- Descriptions ------------------------------------------------------
    // Empties the cache, loads every "afx\*.afx", links the sub-effects and
    // reads the blood-drop lists.
    void LoadAll();
    // Parses one file into the first free record of the cache.
    void LoadFxDescription(const char* path);
    void ResolveSubEffects();
    // The first cached record of that name (case ignored); null for a null
    // or empty name or none.
    FxDescription* FindDescription(const char* name);
    // Writes "!fx_bugs.txt" with the textures used both additively and
    // normally by sprite effects, or deletes it when there are none.
    void WriteTextureConflictReport();
    void LoadBloodDrops();
    void PreloadBloodDropTextures();

    // ---- Instances ---------------------------------------------------------
    // Null for a null description, the dummy for a refused spawn, else the
    // new instance. The socket text is copied.
    FxInstance* SpawnFx(FxDescription* description, ObjectRecord* parent, const char* socket,
                        uint8_t followSocket);
    // A copy of the description moved by position and, when given, turned
    // to the orientation.
    FxInstance* SpawnFxAt(const FxDescription* description, const math::Vec3* position,
                          const orientation* o);
    FxInstance* SpawnFxByName(const char* name, const math::Vec3* position, const orientation* o);
    FxInstance* SpawnFxOnSocket(const char* name, ObjectRecord* parent, const char* socket,
                                uint8_t followSocket);
    // Ends a live instance (index below MAX_INSTANCES), deleting its world object.
    void KillFx(uint32_t index);
    void KillAll();

    // ---- The game's frame and the world's lifetime -------------------------
    void Update();
    void Init();
    void Destroy();

    // Gathers the live sprite instances into their batches before the scene
    // (frame driver) and draws them inside it: the drawing step.
    void BuildSpriteBuffers() {}
    void Render() {}

    // ---- Read by tests, the drawing step and the debug displays ------------
    FxInstance* Instance(int index) { return index >= 0 && index < MAX_INSTANCES ? &m_Instances[index] : nullptr; }
    FxDescription* Description(int index) {
        return index >= 0 && index < MAX_FXCACHE ? &m_Descriptions[index] : nullptr;
    }
    uint32_t LiveCount() const { return m_dwLiveCount; }
    uint32_t LimitedCount() const { return m_dwLimitedCount; }
    uint32_t FreeListEntry(int i) const { return m_dwFreeList[i]; }
    uint32_t BloodDropCount() const { return m_dwBloodDropCount; }
    uint32_t BloodDropOFCount() const { return m_dwBloodDropOFCount; }
    const char* BloodDrop(int i) const { return m_szBloodDrops[i]; }
    const char* BloodDropOF(int i) const { return m_szBloodDropsOF[i]; }
    float FrameTime() const { return m_fFrameTime; }
    bool SparksThisFrame() const { return m_bSparksThisFrame != 0; }

    // Statistics of the last spawns (cleared at the end of every update).
    uint32_t m_dwStatReplaceable = 0;
    uint32_t m_dwStatSpawned = 0;
    uint32_t m_dwStatFromFreeList = 0;
    uint32_t m_dwStatRecycled = 0;
    // Set while a mortar explosion spawns its effect: grenade sounds.
    uint8_t m_bGrenadeSound = 0;

  private:
    void StepInstance(FxInstance* fx);
    void UpdateSpin(FxInstance* fx);
    void RefillFreeList();
    void ExplodeAtSpawn(const FxInstance& fx);
    // A free slot: the free list, a scan, or the replaceable instance with
    // the least life left; 0 when there is none.
    uint32_t TakeSlot();
    void PlaceOnParent(FxInstance* fx, ObjectRecord* parent, const char* socket);
    void SetUpByType(FxInstance* fx, const FxDescription& d);
    void FireSubEffect(const FxInstance& fx, const FxDescription* d, FxDescription* scratch);
    bool SubEffectsActive(const FxInstance& fx) const;

    char m_szBloodDrops[BLOOD_DROPS][BLOOD_DROP_NAME] = {};
    uint32_t m_dwBloodDropCount = 0;
    char m_szBloodDropsOF[BLOOD_DROPS][BLOOD_DROP_NAME] = {};
    uint32_t m_dwBloodDropOFCount = 0;

    FxInstance m_Instances[MAX_INSTANCES];

    gfx::VertexBuffer* m_pSparkVB = nullptr;
    uint32_t m_dwSparkCount = 0;
    uint8_t m_bSparksThisFrame = 0;

    uint32_t m_dwFreeList[FREE_LIST] = {};
    uint32_t m_dwScanFrom = 1; // every slot from 1 below it is in use
    float m_fFrameTime = 0.0f;
    FxDescription m_Descriptions[MAX_FXCACHE];
    uint32_t m_dwLimitedCount = 0;
    uint32_t m_dwLiveCount = 0;

    // Scratch copies for the three kinds of spawn from a description: at a
    // position, and the Every and After sub-effects.
    FxDescription m_ScratchAt;
    FxDescription m_ScratchEvery;
    FxDescription m_ScratchAfter;
};

extern FxMgr g_FxMgr;
