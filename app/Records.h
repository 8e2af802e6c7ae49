// Small plain records that callers fill and hand to an engine service in one
// call: the object-creation record (EEngine::AddObject), the screen-shake
// record (the camera; embedded byte for byte in the action and death blocks)
// and the request and answer records of the segment test (EIntersectSegment).
// Every constructor sets every default; the creation, request and answer
// records also have a Reset to the same defaults so one record can be filled,
// used, reset and filled again.
//
// AddObjectParams and ShakeScreenParams hold no pointers, so their natural
// layout is the pinned one (checked below). SegmentQuery and SegmentHit hold
// pointers and are never stored in a file: they keep their natural 64-bit
// layout, with no pinned size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/Orientation.h"
#include "platform/math/Types.h"

struct ObjectRecord;

// ---- Object creation ---------------------------------------------------------

struct AddObjectParams {
    uint32_t dwType;  // OT_MESH 0, OT_LIGHT 2, OT_SPRITE 5, OT_SKINMESH 6
    uint32_t dwFlags; // bit 0 visible
    uint32_t dwFlags2;
    uint32_t dwFlags3;
    char szFileName[128]; // mesh, skinned-mesh or sprite file
    math::Vec3 vPosition;
    math::Vec3 vScale;
    orientation Orientation;
    float fRadius; // lights; meshes take theirs from the mesh
    float fLightSize;
    float fSpare1; // the four spares are read by nothing and keep their defaults
    float fSpare2;
    float fSpare3;
    float fSpare4;
    float fExtraValue; // stored in the object as an integer

    AddObjectParams();
    void Reset();
};

static_assert(sizeof(AddObjectParams) == 312);
static_assert(offsetof(AddObjectParams, szFileName) == 16);
static_assert(offsetof(AddObjectParams, vPosition) == 144);
static_assert(offsetof(AddObjectParams, Orientation) == 168);
static_assert(offsetof(AddObjectParams, fRadius) == 284);
static_assert(offsetof(AddObjectParams, fExtraValue) == 308);

// ---- Screen shake ------------------------------------------------------------

// Amplitudes in degrees, periods and duration in seconds; the shake fades
// linearly with the camera's distance from its origin, to nothing at fDistance.
struct ShakeScreenParams {
    uint8_t bOn;
    float fAmplitude1;
    float fPeriod1;
    float fAmplitude2;
    float fPeriod2;
    float fAmplitude3;
    float fPeriod3;
    float fDistance;
    float fDuration;        // a shake starts only when this is above 0
    uint8_t bNegativeStart; // first swing negative, else a random sign

    ShakeScreenParams();
};

static_assert(sizeof(ShakeScreenParams) == 40);

// The fields of a shake record in a saved image, the record's first byte at
// offset `at`: X(offset, member) for each, `p` naming the record.
#define ZT_SHAKE_SCREEN_PARAMS_IMAGE(X, at, p)                                                               \
    X((at) + 0, p.bOn)                                                                                       \
    X((at) + 4, p.fAmplitude1)                                                                               \
    X((at) + 8, p.fPeriod1)                                                                                  \
    X((at) + 12, p.fAmplitude2)                                                                              \
    X((at) + 16, p.fPeriod2)                                                                                 \
    X((at) + 20, p.fAmplitude3)                                                                              \
    X((at) + 24, p.fPeriod3)                                                                                 \
    X((at) + 28, p.fDistance)                                                                                \
    X((at) + 32, p.fDuration)                                                                                \
    X((at) + 36, p.bNegativeStart)
static_assert(offsetof(ShakeScreenParams, fAmplitude1) == 4);
static_assert(offsetof(ShakeScreenParams, fDuration) == 32);
static_assert(offsetof(ShakeScreenParams, bNegativeStart) == 36);

// ---- Segment test ------------------------------------------------------------

// An object filter of a world query: answers whether the candidate takes part
// (false skips it). The second argument is the query's filter argument, in
// practice an object to leave out (the shooter).
using ObjectFilterFn = bool (*)(ObjectRecord* candidate, ObjectRecord* argument);

// The default filter of a segment query: every object takes part.
bool NoObjectFilter(ObjectRecord* candidate, ObjectRecord* argument);

struct SegmentQuery {
    const math::Vec3* pStart;
    const math::Vec3* pEnd;
    ObjectFilterFn pFilter; // NoObjectFilter by default
    // A 32-bit value in the original layout; a pointer-sized object handle here.
    ObjectRecord* pFilterArgument;
    uint8_t bSeeThrough; // test the see-through table instead of the intersect table
    uint8_t bCoarse;     // far skinned meshes hit at their centre without a hit-zone test
    float fCoarseDistance;
    uint8_t bIncludeExcluded; // also test meshes excluded from the segment test
    uint8_t bStickMarkers;    // test only the stick-marker table

    SegmentQuery();
    void Reset();
};

// The skinned-mesh stage's own answer inside a SegmentHit.
struct SegmentSkinnedResult {
    uint32_t bHit = 0;
    ObjectRecord* hObject = nullptr;
    math::Vec3 vPoint;
    math::Vec3 vNormal;
    float fDistance = 0;
    char szNodeName[128] = {};
    char szHitZoneName[64] = {};
};

struct SegmentHit {
    // The result part, cleared by Reset.
    uint32_t bHit = 0;
    math::Vec3 vPoint;
    float fDistance = 0; // from the segment start to the hit point
    math::Vec3 vNormal;  // unit normal of the face hit
    ObjectRecord* hObject = nullptr;
    uint32_t dwFace = 0;      // index in the object's collision face list
    uint32_t dwTextureId = 0; // texture of the subset holding the face; 0 for skinned meshes
    float fValue1 = 0;        // not set by the test; passed on by the game layer
    float fValue2 = 0;
    math::Vec3 vSegmentStart; // copies of the tested segment
    math::Vec3 vSegmentEnd;
    uint32_t bSkinned = 0;
    uint32_t dwHitZone = 0; // 0..5 from the hit zone's name
    char szNodeName[128] = {};
    // Kept over Reset; cleared by the constructor and by the test's own stage.
    SegmentSkinnedResult Skinned;

    // Value-initialises the whole record.
    SegmentHit() = default;
    void Reset();
};
