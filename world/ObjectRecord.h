// One slot of the engine's object table: a world object (static mesh, skinned
// mesh, light or trigger without a mesh, sprite). A pointer to the record is
// the object handle; the object API (world/ObjectApi.h) is the only way the
// rest of the program changes one.
//
// Saved games hold each record as a 6784-byte image whose offsets are part of
// the save format. In memory the record is a plain struct with 8-byte
// pointers, so it is never written as it lies: ZT_OBJECT_RECORD_IMAGE below
// lists every field with its image offset, the image is written and read field
// by field (world/ObjectImage.cpp), 4-byte pointer slots are written as 0 and
// pointers are rebuilt on load. The offsets are checked at compile time to be
// ordered, non-overlapping and inside the image. The image fixes no order in
// memory: the fields every frame reads or writes for each object come first,
// so that the per-frame walks over the table touch one or two cache lines of
// each record; the rest follow in the order of the image.
//
// Fields that have no pinned offset sit in the image's unnamed gaps; each
// placement is written beside the field ("gap"). Free space left for later
// fields: 1-3, 11-15, 29-31, 36-39, 41, 48, 50-55, 61-63, 645, 756-815,
// 872-1067, 1080-1083, 1109-1111, 1125-1127, 1216-1223, 1225-1227,
// 1328-1339, 1344-1347, 1361-1363, 1370-1375, 1388-1411, 1416-1427,
// 1430-1455, 5552, 5554-5555, 5750-5751, 5772-5791, 5793-5795, 6090-6091,
// 6704-6727, 6737-6739, 6768-6771.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/Orientation.h"
#include "platform/math/Math.h"
#include "platform/math/Types.h"
#include "world/BezierMoving.h"
#include "world/Engine.h"

class EMesh;
namespace mesh {
class Mesh;
}
class ESkinMesh;
struct ObjectAction;
struct DeathParams;
struct FxInstance;
struct strSound;
struct strSingleSprite;
struct strPath;
struct strPlace;

// Blinking of a light (world key blinking1): on, then six values.
struct BlinkingBlock {
    uint8_t bOn = 0;
    float fValues[6] = {0.0f, 0.0f, 2.0f, 0.0f, 1.0f, 0.0f};
};
static_assert(sizeof(BlinkingBlock) == 28);

// The object's looping positioned sound. Image: 0 handle (written 0), 4 file
// name, 260 range, 264 condition variable.
struct ObjectSound {
    static constexpr size_t IMAGE_SIZE = 328;
    strSound* pSound = nullptr;
    char szFileName[256] = {};
    float fRange = 0;
    char szCondition[64] = {};

    void WriteImage(uint8_t* image) const;
    void ReadImage(const uint8_t* image); // pSound left null
};

// Light-control name list of a non-light object: on, a second flag, 32 light
// names of 32 characters (a full name has no terminator).
struct LightControlList {
    static constexpr int NUM_NAMES = 32;
    uint8_t bOn = 0;
    uint8_t bFlag2 = 0;
    char szNames[NUM_NAMES][32] = {};
};
static_assert(sizeof(LightControlList) == 1026);

struct ObjectRecord {
    static constexpr size_t IMAGE_SIZE = 6784;
    static constexpr int NUM_SUBSETS = 256;
    static constexpr int LIGHTS_PER_SUBSET = 3;
    static constexpr int NAME_LEN = 64;
    static constexpr int FILE_NAME_LEN = 128;
    // Indices into fRun1264, the motion state of an action's run.
    static constexpr int RUN_OFFSET = 0; // x, y, z
    static constexpr int RUN_PROGRESS = 3;
    static constexpr int RUN_ROTATION1 = 4;
    static constexpr int RUN_DOOR_ANGLE = 5;
    static constexpr int RUN_ROTATION2 = 6;

    // The owned mesh of a type-0 record, the skin mesh of a type-6 one, else null.
    EMesh* Mesh() const { return dwType == OT_MESH ? static_cast<EMesh*>(pObject) : nullptr; }
    ESkinMesh* SkinMesh() const { return dwType == OT_SKINMESH ? static_cast<ESkinMesh*>(pObject) : nullptr; }
    // Zero everything, then the creation defaults (identity orientations,
    // Bezier defaults, the third state value 2 pi, word 6740 = 256).
    void Clear();

    // ---- Read or written each frame for every object in use: first in memory,
    // close together (the image offsets stay as written beside each field).
    uint8_t bUsed = 0;              // 0: slot taken
    uint8_t bHiddenBySector = 0;    // gap 644
    uint8_t bVisibleNow = 0;        // gap 326: drawn this frame (the visibility pass)
    uint8_t bHitThisFrame = 0;      // gap 647
    uint8_t bNearCamera = 0;        // gap 653: a large mesh near the camera's height
    uint8_t bNeedsUpdate = 0;       // gap 654: the per-object pass updates it
    uint8_t bNeedsUpdateFixed = 0;  // gap 655: the classification is not refreshed
    uint8_t bLitByProbe = 0;        // gap 660
    uint8_t bUnimportantParked = 0; // gap 661: its flag words are parked below
    uint8_t bDownwash = 0;          // gap 662: a helicopter blowing on the ground
    uint8_t bIsItWire = 0;          // 10
    uint8_t bIsLight = 0;           // 1124
    uint8_t bSkyLit = 0;            // gap 740: drawn in the sky-lit passes, else ambient-lit
    uint8_t bInReflection = 0;      // gap 741: drawn in the water reflection
    uint8_t bPrepared = 0;          // gap 646: first-update preparation done
    uint8_t bPassOnPending = 0;     // 1236
    uint8_t bInMotion = 0;          // 1248
    uint8_t bHasRun = 0;            // 1250
    uint8_t bHasCubeShadow = 0;     // 1369
    uint8_t bTied = 0;              // 6089
    union {
        uint8_t bRun1308 = 0; // 1308: shooting
        uint8_t bShooting;
    };
    uint32_t dwType = 0;             // 5756
    uint32_t dwFlags = 0;            // 5760
    uint32_t dwFlags2 = 0;           // 5764
    int32_t iRange = 0;              // 1348: radius or range
    int32_t iCameraDistance = 0;     // 1340: rounded distance from the camera eye
    int32_t iPlayerDistance = 0;     // gap 648: rounded distance from the player
    uint32_t dwFrameCounter = 0;     // gap 656: frames the per-object pass saw it
    float fTimeSinceRun = 0;         // 1232
    float fVisibilityTimer = 0;      // gap 696
    float fDeathCountdown = 0;       // 6264: an explosion sets d/320 + 0.1
    math::Vec3 vPosition;            // 5808
    math::Vec3 vLightingPosition;    // gap 680: where its lighting was last sampled
    void* pObject = nullptr;         // 6224 (pointer): EMesh, ESkinMesh, or non-null while a sprite exists
    ObjectAction* pAction = nullptr; // 1228 (pointer)
    ObjectSound* pSound = nullptr;   // 1104 (pointer)
    char* pFxName = nullptr;         // 1208 (pointer): 64-byte FX name
    FxInstance* pFx = nullptr;       // 1212 (pointer)
    DeathParams* pDeathParams = nullptr; // 1324 (pointer)
    BlinkingBlock* pBlinking = nullptr;  // 1068 (pointer)
    ObjectRecord* pTiedTo = nullptr;     // 6092 (pointer)
    ObjectSubRecord BezierState;         // 6456 (248 bytes)

    // ---- The rest, in the order of the image
    int32_t iIndex = 0;       // 4: slot index
    uint8_t bVertexColor = 0; // 8: world key vertex_color
    uint8_t bIsItTree = 0;    // 9
    float fState16 = 0;       // 16, 20, 24: restored by Load
    float fState20 = 0;
    float fState24 = math::kTwoPi; // starts at 2 pi
    uint8_t bAlwaysWipe = 0;       // 28: WipeOut deletes it at any distance
    float fState32 = 0;            // 32: set to 0 by Load, teleports and copies
    uint8_t bState40 = 0;          // 40
    uint8_t bItemDropped = 0;      // 42: world key item_dropped
    uint8_t bState43 = 0;          // 43
    uint32_t dwState = 0;  // 44: state word (32, 64, 256 hide from some views; 1024 stops update and drawing)
    uint8_t bState49 = 0;  // 49: cleared by Load
    int32_t iSector = 0;   // 56: world key sector_idx
    uint8_t bState60 = 0;  // 60
    int32_t iState64 = -1; // 64
    uint8_t bVisible = 0;  // 68: mirror of flags bit 1
    uint8_t bState69 = 0;  // 69
    uint8_t bSubsetDraw[NUM_SUBSETS] = {}; // 70: one draw byte per mesh subset (seen by the occlusion test)
    uint8_t bIsType2 = 0;                  // 327: set for type-2 objects
    uint8_t bLightLinearScatter = 0;       // 328
    uint8_t bRedPoint = 0;                 // 329
    uint8_t bGreenPoint = 0;               // 330
    char szRepeatSound[257] = {};          // 331: repeating sound (world key bush_sound)
    float fRepeatSoundInterval = 0;        // 588: at least 6.0 s
    float fRepeatSoundTimer = 0;           // 592

    // gap 596..655: render, collision and segment-test state
    uint8_t bSeen = 0;            // gap 596: seen this frame (render occluder)
    uint8_t bPolygonsCounted = 0; // gap 597
    uint8_t bNoAmbientPass = 0;   // gap 598: the ambient-lit pass skips it
    uint8_t bNoShadow = 0;        // gap 599: kept out of the sky shadow maps
    uint8_t bDynamicShadow = 0;   // gap 600
    uint8_t bNearDynamic = 0;     // gap 601
    uint8_t bGlassKind = 0;       // gap 602: 0 makes a glass pane of kind 1
    uint8_t bNoSegmentTest = 0;   // gap 603: segment tests skip it unless asked
    int32_t iCollisionNumber = 0; // gap 604: entry in the collision manager, 0 none
    int32_t iSegmentSlot[3] = {}; // gap 608: intersect/skinned, see-through, stick-marker tables
    uint8_t bNoGathering = 0;     // gap 620: first byte of the collision sub-record
    float fSwayPhase = 0;         // gap 624: a wire's sway phase (radians)
    float fSwayFactor = 0;        // gap 628
    math::Vec3 vRotationAngles;   // gap 632: degrees turning the base rotation about its own axes
    uint8_t bLightOn = 0;         // gap 652

    // gap 653..742: the behaviour layer's per-object state
    uint8_t bActionRunning = 0;          // gap 663: its action's run is in progress
    uint32_t dwParkedFlags = 0;          // gap 664: flag words of a parked unimportant object
    uint32_t dwParkedFlags2 = 0;         // gap 668
    float fDownwashTimer = 0;            // gap 672
    float fSwaySpeed = 0;                // gap 676: radians per second of a wire's sway
    float fLightingTimer = 0;            // gap 692
    math::Vec3 vTieOffset;               // gap 700: added to the socket position of a tie
    float fTieRotationSpeed[3] = {};     // gap 712: turns about the socket's three axes
    uint8_t bTieTakesSocketRotation = 0; // gap 724
    uint8_t bRunTimeCreated = 0;         // gap 725: made by the game while the world ran
    uint8_t bLaserOn = 0;                // gap 726: a laser beam is switched on for it
    uint8_t bLightingSampled = 0;        // gap 727: its lighting sample is valid
    uint32_t dwLaserBeam = 0;            // gap 728: index of that beam
    strPath* pRespawnPath = nullptr;     // gap 732 (pointer): path graph entry of a respawner
    strPlace* pRespawnPlace = nullptr;   // gap 736 (pointer)
    uint8_t bPassesBlockers = 0;         // gap 742: an action let it pass blockers
    uint8_t bMarker = 0;                 // gap 743: set on dropped items and held models
    math::Vec3 vLightingSample;          // gap 744: where its lighting sample was last taken

    float fReflectionFog[6] = {}; // 816: fog colour, far and near of the water pass
    math::Vec3 vAmbient;          // 840
    float fProbedAmbient[4] = {}; // 856 (the fourth in gap 868)
    uint32_t dwState1072 = 0;     // 1072
    float fState1076 = 0;         // 1076
    int32_t iAmbientLightIdx = 0; // 1084: 0..3
    int32_t iFogIdx = 0;          // 1088: 0..3
    int32_t iEnvTextureIdx = 0;   // 1092
    uint32_t dwRigidBody = 0;     // 1096: rigid-body slot, 0 none
    uint32_t dwRigidBody2 = 0;    // 1100: cleared with it
    uint8_t bState1108 = 0;       // 1108
    uint32_t dwState1112 = 0;     // 1112, 1116, 1120
    uint32_t dwState1116 = 0;
    uint32_t dwState1120 = 0;
    int32_t iIndex2 = 0;        // 1128: slot index copy
    PESEL Pesel;                // 1132
    char szName[NAME_LEN] = {}; // 1144: at most 63 characters
    uint8_t bMatched = 0;       // 1224: found in or created from a save

    // 1232..1323: run state of the object's action
    uint8_t bCameraPositioning = 0; // 1237
    float fTimeSinceFired = 0;      // 1240
    float fPassOnTimer = 0;         // 1244
    uint8_t bAtDestination = 0;     // 1249
    // The words below are restored by a saved game's Load under their
    // offset names; the behaviour layer reads them by the second names.
    union {
        uint32_t dwRun1252 = 0; // 1252: respawns made so far
        int32_t iRespawnCount;
    };
    union {
        uint32_t dwRun1256 = 0; // 1256: shots fired by a shooting object
        uint32_t dwShotsFired;
    };
    union {
        uint32_t dwRun1260 = 0; // 1260: shots it is to fire
        uint32_t dwShotsToFire;
    };
    // 1264..1288: motion offset x, y, z; motion progress; rotation angle 1;
    // the door angle (1284, degrees); rotation angle 2 (indices RUN_*)
    float fRun1264[7] = {};
    union {
        uint8_t bRun1292 = 0; // 1292: a door's knob turns (rather than the door)
        uint8_t bKnobPhase;
    };
    union {
        float fRun1296 = 0; // 1296: rotation angle 3
        float fRotationAngle3;
    };
    union {
        uint32_t dwRun1300 = 0; // 1300: respawn timer, seconds (a float)
        float fRespawnTimer;
    };
    union {
        float fRun1304 = 0; // 1304: a door knob's angle, degrees
        float fKnobAngle;
    };
    union {
        float fRun1312 = 0; // 1312: seconds to the next shot
        float fShotTimer;
    };
    union {
        uint32_t dwRun1316 = 0; // 1316: a door's timer, seconds (a float)
        float fDoorTimer;
    };
    union {
        uint32_t dwRun1320 = 0; // 1320: a door's target angle, degrees (a float)
        float fDoorTarget;
    };

    float fLightPower = 0;               // 1352: current light power ("radius")
    float fLightBasePower = 0;           // 1356
    uint8_t bIgnorePlayerVisibility = 0; // 1360
    float fLight1364 = 0;                // 1364
    uint8_t bCubeMapRendered = 0;        // 1368
    float fLightR = 0;                   // 1376, 1380, 1384: colour factors
    float fLightG = 0;
    float fLightB = 0;
    LightControlList* pLightControl = nullptr;                  // 1412 (pointer)
    uint8_t bAmbientReprobe = 0;                                // 1428
    uint8_t bAmbientProbed = 0;                                 // 1429
    ObjectRecord* pLights[NUM_SUBSETS][LIGHTS_PER_SUBSET] = {}; // 1456 (pointers)
    uint32_t dwLightCount[NUM_SUBSETS] = {};                    // 4528
    uint8_t bLightSetValid = 0;                                 // 5553
    uint8_t bToDelete = 0;                                      // 5556: deleted at the end of the frame
    char szAnimation[64] = {};                                  // 5557: current whole-body animation
    uint8_t bAnimationLoop = 0;                                 // 5621
    char szFileName[FILE_NAME_LEN] = {};                        // 5622: at most 127 characters
    strSingleSprite* pSprite = nullptr;                         // 5752 (pointer)
    uint32_t dwKindFlags = 0;                                   // 5768
    uint8_t bWorldObject = 0;          // 5792: from the world file or a save; only these are saved
    math::Vec3 vStartPosition;         // 5796
    math::Vec3 vScale;                 // 5820
    math::Vec3 vState5832;             // 5832
    math::Vec3 vState5844;             // 5844
    orientation Orientation;           // 5856
    orientation BaseOrientation;       // 5972
    uint8_t bBaseOrientationGiven = 0; // 6088
    char szTieSocket[64] = {};         // 6096: at most 60 characters
    char szTieObject[64] = {};         // 6160: at most 60 characters
    mesh::Mesh* pD3DXMesh = nullptr;   // the drawable mesh of a type-0 record (the mesh manager's)

    // 6228..6295: death and mesh state
    union {
        uint8_t bDeath6228 = 0; // 6228: a thrown-off object flies
        uint8_t bFlying;
    };
    uint32_t dwDeath6232 = 0; // 6232, 6236, 6240
    uint32_t dwDeath6236 = 0;
    uint32_t dwDeath6240 = 0;
    union {
        float fDeath6244 = 0; // 6244, 6248: the two flight timers
        float fFlightTimer1;
    };
    union {
        float fDeath6248 = 0;
        float fFlightTimer2;
    };
    union {
        uint8_t bDeath6252 = 0; // 6252: hidden once dead
        uint8_t bHideAfterDeath;
    };
    uint8_t bDeath6253 = 0; // 6253
    union {
        uint8_t bDeath6254 = 0; // 6254: dying, never killed twice
        uint8_t bDying;
    };
    int32_t iDisappearRange = 0;  // 6256
    float fHealth = 0;            // 6260
    uint8_t bExplosionKilled = 0; // 6268: set by an explosion that killed it
    uint8_t bIgnoresHits = 0;     // 6269
    float fDeath6272 = 0;         // 6272, 6276
    float fDeath6276 = 0;
    uint8_t bDeath6280 = 0; // 6280
    union {
        uint32_t dwDeath6284 = 0; // 6284, 6288, 6292: launch vector of a flight (floats)
        float fLaunchX;
    };
    union {
        uint32_t dwDeath6288 = 0;
        float fLaunchY;
    };
    union {
        uint32_t dwDeath6292 = 0;
        float fLaunchZ;
    };

    BezierMovingParams Bezier;         // 6296 (160 bytes)
    char* pPendingTieObject = nullptr; // 6728 (pointer): 64 bytes
    char* pPendingTieSocket = nullptr; // 6732 (pointer): 64 bytes
    uint8_t bLandMine = 0;             // 6736
    uint32_t dw6740 = 256;             // 6740: 256 at creation and on Load
    float fState6744[6] = {};          // 6744..6764
    PESEL ContainerPesel;              // 6772: world key container_pesel
};

// Every field of the image: X(offset, member). Pointer members take 4 bytes
// written as 0.
#define ZT_OBJECT_RECORD_IMAGE(X)                                                                            \
    X(0, bUsed)                                                                                              \
    X(4, iIndex)                                                                                             \
    X(8, bVertexColor)                                                                                       \
    X(9, bIsItTree)                                                                                          \
    X(10, bIsItWire)                                                                                         \
    X(16, fState16)                                                                                          \
    X(20, fState20)                                                                                          \
    X(24, fState24)                                                                                          \
    X(28, bAlwaysWipe)                                                                                       \
    X(32, fState32)                                                                                          \
    X(40, bState40)                                                                                          \
    X(42, bItemDropped)                                                                                      \
    X(43, bState43)                                                                                          \
    X(44, dwState)                                                                                           \
    X(49, bState49)                                                                                          \
    X(56, iSector)                                                                                           \
    X(60, bState60)                                                                                          \
    X(64, iState64)                                                                                          \
    X(68, bVisible)                                                                                          \
    X(69, bState69)                                                                                          \
    X(70, bSubsetDraw)                                                                                       \
    X(326, bVisibleNow)                                                                                      \
    X(327, bIsType2)                                                                                         \
    X(328, bLightLinearScatter)                                                                              \
    X(329, bRedPoint)                                                                                        \
    X(330, bGreenPoint)                                                                                      \
    X(331, szRepeatSound)                                                                                    \
    X(588, fRepeatSoundInterval)                                                                             \
    X(592, fRepeatSoundTimer)                                                                                \
    X(596, bSeen)                                                                                            \
    X(597, bPolygonsCounted)                                                                                 \
    X(598, bNoAmbientPass)                                                                                   \
    X(599, bNoShadow)                                                                                        \
    X(600, bDynamicShadow)                                                                                   \
    X(601, bNearDynamic)                                                                                     \
    X(602, bGlassKind)                                                                                       \
    X(603, bNoSegmentTest)                                                                                   \
    X(604, iCollisionNumber)                                                                                 \
    X(608, iSegmentSlot)                                                                                     \
    X(620, bNoGathering)                                                                                     \
    X(624, fSwayPhase)                                                                                       \
    X(628, fSwayFactor)                                                                                      \
    X(632, vRotationAngles)                                                                                  \
    X(644, bHiddenBySector)                                                                                  \
    X(646, bPrepared)                                                                                        \
    X(647, bHitThisFrame)                                                                                    \
    X(648, iPlayerDistance)                                                                                  \
    X(652, bLightOn)                                                                                         \
    X(653, bNearCamera)                                                                                      \
    X(654, bNeedsUpdate)                                                                                     \
    X(655, bNeedsUpdateFixed)                                                                                \
    X(656, dwFrameCounter)                                                                                   \
    X(660, bLitByProbe)                                                                                      \
    X(661, bUnimportantParked)                                                                               \
    X(662, bDownwash)                                                                                        \
    X(663, bActionRunning)                                                                                   \
    X(664, dwParkedFlags)                                                                                    \
    X(668, dwParkedFlags2)                                                                                   \
    X(672, fDownwashTimer)                                                                                   \
    X(676, fSwaySpeed)                                                                                       \
    X(680, vLightingPosition)                                                                                \
    X(692, fLightingTimer)                                                                                   \
    X(696, fVisibilityTimer)                                                                                 \
    X(700, vTieOffset)                                                                                       \
    X(712, fTieRotationSpeed)                                                                                \
    X(724, bTieTakesSocketRotation)                                                                          \
    X(725, bRunTimeCreated)                                                                                  \
    X(726, bLaserOn)                                                                                         \
    X(727, bLightingSampled)                                                                                 \
    X(728, dwLaserBeam)                                                                                      \
    X(732, pRespawnPath)                                                                                     \
    X(736, pRespawnPlace)                                                                                    \
    X(740, bSkyLit)                                                                                          \
    X(741, bInReflection)                                                                                    \
    X(742, bPassesBlockers)                                                                                  \
    X(743, bMarker)                                                                                          \
    X(744, vLightingSample)                                                                                  \
    X(816, fReflectionFog)                                                                                   \
    X(840, vAmbient)                                                                                         \
    X(856, fProbedAmbient)                                                                                   \
    X(1068, pBlinking)                                                                                       \
    X(1072, dwState1072)                                                                                     \
    X(1076, fState1076)                                                                                      \
    X(1084, iAmbientLightIdx)                                                                                \
    X(1088, iFogIdx)                                                                                         \
    X(1092, iEnvTextureIdx)                                                                                  \
    X(1096, dwRigidBody)                                                                                     \
    X(1100, dwRigidBody2)                                                                                    \
    X(1104, pSound)                                                                                          \
    X(1108, bState1108)                                                                                      \
    X(1112, dwState1112)                                                                                     \
    X(1116, dwState1116)                                                                                     \
    X(1120, dwState1120)                                                                                     \
    X(1124, bIsLight)                                                                                        \
    X(1128, iIndex2)                                                                                         \
    X(1132, Pesel)                                                                                           \
    X(1144, szName)                                                                                          \
    X(1208, pFxName)                                                                                         \
    X(1212, pFx)                                                                                             \
    X(1224, bMatched)                                                                                        \
    X(1228, pAction)                                                                                         \
    X(1232, fTimeSinceRun)                                                                                   \
    X(1236, bPassOnPending)                                                                                  \
    X(1237, bCameraPositioning)                                                                              \
    X(1240, fTimeSinceFired)                                                                                 \
    X(1244, fPassOnTimer)                                                                                    \
    X(1248, bInMotion)                                                                                       \
    X(1249, bAtDestination)                                                                                  \
    X(1250, bHasRun)                                                                                         \
    X(1252, dwRun1252)                                                                                       \
    X(1256, dwRun1256)                                                                                       \
    X(1260, dwRun1260)                                                                                       \
    X(1264, fRun1264)                                                                                        \
    X(1292, bRun1292)                                                                                        \
    X(1296, fRun1296)                                                                                        \
    X(1300, dwRun1300)                                                                                       \
    X(1304, fRun1304)                                                                                        \
    X(1308, bRun1308)                                                                                        \
    X(1312, fRun1312)                                                                                        \
    X(1316, dwRun1316)                                                                                       \
    X(1320, dwRun1320)                                                                                       \
    X(1324, pDeathParams)                                                                                    \
    X(1340, iCameraDistance)                                                                                 \
    X(1348, iRange)                                                                                          \
    X(1352, fLightPower)                                                                                     \
    X(1356, fLightBasePower)                                                                                 \
    X(1360, bIgnorePlayerVisibility)                                                                         \
    X(1364, fLight1364)                                                                                      \
    X(1368, bCubeMapRendered)                                                                                \
    X(1369, bHasCubeShadow)                                                                                  \
    X(1376, fLightR)                                                                                         \
    X(1380, fLightG)                                                                                         \
    X(1384, fLightB)                                                                                         \
    X(1412, pLightControl)                                                                                   \
    X(1428, bAmbientReprobe)                                                                                 \
    X(1429, bAmbientProbed)                                                                                  \
    X(1456, pLights)                                                                                         \
    X(4528, dwLightCount)                                                                                    \
    X(5553, bLightSetValid)                                                                                  \
    X(5556, bToDelete)                                                                                       \
    X(5557, szAnimation)                                                                                     \
    X(5621, bAnimationLoop)                                                                                  \
    X(5622, szFileName)                                                                                      \
    X(5752, pSprite)                                                                                         \
    X(5756, dwType)                                                                                          \
    X(5760, dwFlags)                                                                                         \
    X(5764, dwFlags2)                                                                                        \
    X(5768, dwKindFlags)                                                                                     \
    X(5792, bWorldObject)                                                                                    \
    X(5796, vStartPosition)                                                                                  \
    X(5808, vPosition)                                                                                       \
    X(5820, vScale)                                                                                          \
    X(5832, vState5832)                                                                                      \
    X(5844, vState5844)                                                                                      \
    X(5856, Orientation)                                                                                     \
    X(5972, BaseOrientation)                                                                                 \
    X(6088, bBaseOrientationGiven)                                                                           \
    X(6089, bTied)                                                                                           \
    X(6092, pTiedTo)                                                                                         \
    X(6096, szTieSocket)                                                                                     \
    X(6160, szTieObject)                                                                                     \
    X(6224, pObject)                                                                                         \
    X(6228, bDeath6228)                                                                                      \
    X(6232, dwDeath6232)                                                                                     \
    X(6236, dwDeath6236)                                                                                     \
    X(6240, dwDeath6240)                                                                                     \
    X(6244, fDeath6244)                                                                                      \
    X(6248, fDeath6248)                                                                                      \
    X(6252, bDeath6252)                                                                                      \
    X(6253, bDeath6253)                                                                                      \
    X(6254, bDeath6254)                                                                                      \
    X(6256, iDisappearRange)                                                                                 \
    X(6260, fHealth)                                                                                         \
    X(6264, fDeathCountdown)                                                                                 \
    X(6268, bExplosionKilled)                                                                                \
    X(6269, bIgnoresHits)                                                                                    \
    X(6272, fDeath6272)                                                                                      \
    X(6276, fDeath6276)                                                                                      \
    X(6280, bDeath6280)                                                                                      \
    X(6284, dwDeath6284)                                                                                     \
    X(6288, dwDeath6288)                                                                                     \
    X(6292, dwDeath6292)                                                                                     \
    X(6296, Bezier)                                                                                          \
    X(6456, BezierState)                                                                                     \
    X(6728, pPendingTieObject)                                                                               \
    X(6732, pPendingTieSocket)                                                                               \
    X(6736, bLandMine)                                                                                       \
    X(6740, dw6740)                                                                                          \
    X(6744, fState6744)                                                                                      \
    X(6772, ContainerPesel)

// The image of a record: every listed field at its offset, gaps zero.
void WriteObjectImage(const ObjectRecord& record, uint8_t* image);
// Every listed field from an image; pointers are set to null.
void ReadObjectImage(const uint8_t* image, ObjectRecord* record);
