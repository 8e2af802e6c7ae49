#include <cstring>

#include "world/ImageIo.h"
#include "world/ObjectRecord.h"

namespace {

#define ZT_OBJECT_SPAN(offset, member)                                                                       \
    imageio::Span{offset, imageio::Width<decltype(ObjectRecord::member)>()},
constexpr imageio::Span kObjectSpans[] = {ZT_OBJECT_RECORD_IMAGE(ZT_OBJECT_SPAN)};
#undef ZT_OBJECT_SPAN
static_assert(imageio::Fits(kObjectSpans, ObjectRecord::IMAGE_SIZE),
              "object record fields must lie in order inside the 6784-byte image");

constexpr imageio::Span kSubRecordSpans[] = {
    {0, 1},   {4, 4},   {8, 4},   {12, 4},  {16, 8},  {24, 8},  {32, 8},  {40, 8},  {48, 12}, {60, 116},
    {176, 1}, {177, 1}, {178, 1}, {179, 1}, {184, 8}, {192, 8}, {200, 4}, {204, 4}, {208, 4}, {212, 4}};
static_assert(imageio::Fits(kSubRecordSpans, ObjectSubRecord::IMAGE_SIZE));

} // namespace

void WriteObjectImage(const ObjectRecord& r, uint8_t* image) {
    std::memset(image, 0, ObjectRecord::IMAGE_SIZE);
#define ZT_OBJECT_PUT(offset, member) imageio::Put(image + offset, r.member);
    ZT_OBJECT_RECORD_IMAGE(ZT_OBJECT_PUT)
#undef ZT_OBJECT_PUT
}

void ReadObjectImage(const uint8_t* image, ObjectRecord* r) {
#define ZT_OBJECT_GET(offset, member) imageio::Get(image + offset, r->member);
    ZT_OBJECT_RECORD_IMAGE(ZT_OBJECT_GET)
#undef ZT_OBJECT_GET
}

void ObjectRecord::Clear() {
    static const ObjectRecord kCreated{};
    *this = kCreated;
}

void ObjectSound::WriteImage(uint8_t* image) const {
    imageio::Put(image, pSound);
    imageio::Put(image + 4, szFileName);
    imageio::Put(image + 260, fRange);
    imageio::Put(image + 264, szCondition);
}

void ObjectSound::ReadImage(const uint8_t* image) {
    imageio::Get(image, pSound);
    imageio::Get(image + 4, szFileName);
    szFileName[sizeof szFileName - 1] = 0;
    imageio::Get(image + 260, fRange);
    imageio::Get(image + 264, szCondition);
    szCondition[sizeof szCondition - 1] = 0;
}

#define ZT_BEZIER_MOVING_IMAGE(X)                                                                            \
    X(0, bActive)                                                                                            \
    X(1, bStartWhenLoaded)                                                                                   \
    X(2, bFlag2)                                                                                             \
    X(3, bLoops)                                                                                             \
    X(4, szStartNode)                                                                                        \
    X(136, dwLapLimit)                                                                                       \
    X(140, bFlag140)                                                                                         \
    X(141, bPlaceAtStart)                                                                                    \
    X(144, dFirstLapPause)                                                                                   \
    X(152, dLaterLapPause)

void BezierMovingParams::WriteImage(uint8_t* image) const {
    std::memset(image, 0, IMAGE_SIZE);
    ZT_BEZIER_MOVING_IMAGE(ZT_IMAGE_PUT_FIELD)
}

void BezierMovingParams::ReadImage(const uint8_t* image) {
    ZT_BEZIER_MOVING_IMAGE(ZT_IMAGE_GET_FIELD)
    szStartNode[sizeof szStartNode - 1] = 0;
}

// The node pointers (4 and 8) are not listed: the zeroed image keeps them 0
// and reading leaves them for the relinking.
#define ZT_SUB_RECORD_IMAGE(X)                                                                               \
    X(0, bMoving)                                                                                            \
    X(12, dwSampleIndex)                                                                                     \
    X(16, dDistanceInNode)                                                                                   \
    X(24, dDistanceInSegment)                                                                                \
    X(32, dSpeed)                                                                                            \
    X(40, dProgress)                                                                                         \
    X(48, vPosition)                                                                                         \
    X(60, Orientation)                                                                                       \
    X(176, bPauseInNode)                                                                                     \
    X(177, bStopAtEnd)                                                                                       \
    X(178, bStopMarked)                                                                                      \
    X(179, bLapPause)                                                                                        \
    X(184, dNodePauseTime)                                                                                   \
    X(192, dLapPauseTime)                                                                                    \
    X(200, dwLapCounter)                                                                                     \
    X(204, dwSpeedMode)                                                                                      \
    X(208, fSpeedModeValue)                                                                                  \
    X(212, fSpeedFactor)

ZT_DEFINE_RECORD_IMAGE(ObjectSubRecord, ZT_SUB_RECORD_IMAGE)
