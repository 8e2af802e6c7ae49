// The Bezier movement records that every world object carries inside its
// ObjectRecord: the settings the world file gives (BezierMovingParams) and the
// run state of a movement along a path (ObjectSubRecord). Both are part of
// the object's saved image: BezierMovingParams as its pinned 160 bytes,
// ObjectSubRecord as 248 bytes whose node pointers are written as 0 and
// relinked by the object save block's reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/Orientation.h"
#include "platform/math/Types.h"

struct BezierNode;

struct BezierMovingParams {
    static constexpr size_t IMAGE_SIZE = 160;

    uint8_t bActive = 0;
    uint8_t bStartWhenLoaded = 1; // start moving when the paths are loaded
    uint8_t bFlag2 = 0;
    uint8_t bLoops = 1;
    char szStartNode[132] = {}; // start-node name, offsets 4..135
    uint32_t dwLapLimit = 0;    // 0 = none
    uint8_t bFlag140 = 0;
    uint8_t bPlaceAtStart = 0;
    uint8_t _pad142[2] = {};
    double dFirstLapPause = 0.0;
    double dLaterLapPause = 0.0;

    void WriteImage(uint8_t* image) const;
    void ReadImage(const uint8_t* image);
};

static_assert(sizeof(BezierMovingParams) == BezierMovingParams::IMAGE_SIZE);
static_assert(offsetof(BezierMovingParams, szStartNode) == 4 &&
              offsetof(BezierMovingParams, dwLapLimit) == 136 &&
              offsetof(BezierMovingParams, bFlag140) == 140 &&
              offsetof(BezierMovingParams, bPlaceAtStart) == 141 &&
              offsetof(BezierMovingParams, dFirstLapPause) == 144 &&
              offsetof(BezierMovingParams, dLaterLapPause) == 152);

// The run state of a movement. Image offsets (248 bytes) are beside each
// field; pointers are written as 0.
struct ObjectSubRecord {
    static constexpr size_t IMAGE_SIZE = 248;

    uint8_t bMoving = 0;                // 0
    BezierNode* pStartNode = nullptr;   // 4 (pointer)
    BezierNode* pCurrentNode = nullptr; // 8 (pointer)
    uint32_t dwSampleIndex = 0;         // 12: sample segment within the current node
    double dDistanceInNode = 0;         // 16
    double dDistanceInSegment = 0;      // 24
    double dSpeed = 0;                  // 32
    double dProgress = 0;               // 40
    math::Vec3 vPosition;               // 48
    orientation Orientation;            // 60 (116 bytes)
    uint8_t bPauseInNode = 0;           // 176
    uint8_t bStopAtEnd = 0;             // 177: stop-at-end request
    uint8_t bStopMarked = 0;            // 178: a blocker node asked the movement to stop
    uint8_t bLapPause = 0;              // 179
    double dNodePauseTime = 0;          // 184
    double dLapPauseTime = 0;           // 192
    uint32_t dwLapCounter = 0;          // 200
    uint32_t dwSpeedMode = 0;           // 204: 0 none, 1 slow down, 2 speed up
    float fSpeedModeValue = 0;          // 208
    float fSpeedFactor = 1;             // 212
    // 216..247 unused

    void Reset() { *this = ObjectSubRecord{}; }
    void WriteImage(uint8_t* image) const;
    // Pointers are left as they are: the reader relinks them by node names.
    void ReadImage(const uint8_t* image);
};
