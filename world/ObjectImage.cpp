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
    static const ObjectRecord kCreated;
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

void BezierMovingParams::WriteImage(uint8_t* image) const {
    std::memset(image, 0, IMAGE_SIZE);
    imageio::Put(image + 0, bActive);
    imageio::Put(image + 1, bStartWhenLoaded);
    imageio::Put(image + 2, bFlag2);
    imageio::Put(image + 3, bLoops);
    imageio::Put(image + 4, szStartNode);
    imageio::Put(image + 136, dwLapLimit);
    imageio::Put(image + 140, bFlag140);
    imageio::Put(image + 141, bPlaceAtStart);
    imageio::Put(image + 144, dFirstLapPause);
    imageio::Put(image + 152, dLaterLapPause);
}

void BezierMovingParams::ReadImage(const uint8_t* image) {
    imageio::Get(image + 0, bActive);
    imageio::Get(image + 1, bStartWhenLoaded);
    imageio::Get(image + 2, bFlag2);
    imageio::Get(image + 3, bLoops);
    imageio::Get(image + 4, szStartNode);
    szStartNode[sizeof szStartNode - 1] = 0;
    imageio::Get(image + 136, dwLapLimit);
    imageio::Get(image + 140, bFlag140);
    imageio::Get(image + 141, bPlaceAtStart);
    imageio::Get(image + 144, dFirstLapPause);
    imageio::Get(image + 152, dLaterLapPause);
}

void ObjectSubRecord::WriteImage(uint8_t* image) const {
    std::memset(image, 0, IMAGE_SIZE);
    imageio::Put(image + 0, bMoving);
    imageio::Put(image + 4, pStartNode);
    imageio::Put(image + 8, pCurrentNode);
    imageio::Put(image + 12, dwSampleIndex);
    imageio::Put(image + 16, dDistanceInNode);
    imageio::Put(image + 24, dDistanceInSegment);
    imageio::Put(image + 32, dSpeed);
    imageio::Put(image + 40, dProgress);
    imageio::Put(image + 48, vPosition);
    imageio::Put(image + 60, Orientation);
    imageio::Put(image + 176, bPauseInNode);
    imageio::Put(image + 177, bStopAtEnd);
    imageio::Put(image + 178, bStopMarked);
    imageio::Put(image + 179, bLapPause);
    imageio::Put(image + 184, dNodePauseTime);
    imageio::Put(image + 192, dLapPauseTime);
    imageio::Put(image + 200, dwLapCounter);
    imageio::Put(image + 204, dwSpeedMode);
    imageio::Put(image + 208, fSpeedModeValue);
    imageio::Put(image + 212, fSpeedFactor);
}

void ObjectSubRecord::ReadImage(const uint8_t* image) {
    imageio::Get(image + 0, bMoving);
    imageio::Get(image + 12, dwSampleIndex);
    imageio::Get(image + 16, dDistanceInNode);
    imageio::Get(image + 24, dDistanceInSegment);
    imageio::Get(image + 32, dSpeed);
    imageio::Get(image + 40, dProgress);
    imageio::Get(image + 48, vPosition);
    imageio::Get(image + 60, Orientation);
    imageio::Get(image + 176, bPauseInNode);
    imageio::Get(image + 177, bStopAtEnd);
    imageio::Get(image + 178, bStopMarked);
    imageio::Get(image + 179, bLapPause);
    imageio::Get(image + 184, dNodePauseTime);
    imageio::Get(image + 192, dLapPauseTime);
    imageio::Get(image + 200, dwLapCounter);
    imageio::Get(image + 204, dwSpeedMode);
    imageio::Get(image + 208, fSpeedModeValue);
    imageio::Get(image + 212, fSpeedFactor);
}
