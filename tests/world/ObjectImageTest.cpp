// The saved image of a record: each field at the offset the save format pins,
// read back unchanged; pointers written as 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <vector>

#include "world/ObjectRecord.h"

namespace {

struct Field {
    const char* name;
    size_t offset;
    std::function<void(ObjectRecord&)> set;
    std::vector<uint8_t> bytes; // expected at the offset
};

std::vector<uint8_t> U32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
std::vector<uint8_t> F32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return U32(v);
}
std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The pinned fields, each given a distinct value.
std::vector<Field> PinnedFields() {
    return {
        {"in use", 0, [](ObjectRecord& r) { r.bUsed = 1; }, {1}},
        {"slot index", 4, [](ObjectRecord& r) { r.iIndex = 0x0A0B0C0D; }, U32(0x0A0B0C0D)},
        {"vertex_color", 8, [](ObjectRecord& r) { r.bVertexColor = 0x21; }, {0x21}},
        {"is_it_wire", 10, [](ObjectRecord& r) { r.bIsItWire = 0x22; }, {0x22}},
        {"third state value", 24, [](ObjectRecord& r) { r.fState24 = 1.5f; }, F32(1.5f)},
        {"always wipe", 28, [](ObjectRecord& r) { r.bAlwaysWipe = 0x23; }, {0x23}},
        {"state value 32", 32, [](ObjectRecord& r) { r.fState32 = -2.0f; }, F32(-2.0f)},
        {"item_dropped", 42, [](ObjectRecord& r) { r.bItemDropped = 0x24; }, {0x24}},
        {"state word", 44, [](ObjectRecord& r) { r.dwState = 1024; }, U32(1024)},
        {"state byte 49", 49, [](ObjectRecord& r) { r.bState49 = 0x25; }, {0x25}},
        {"sector", 56, [](ObjectRecord& r) { r.iSector = 17; }, U32(17)},
        {"word 64", 64, [](ObjectRecord& r) { r.iState64 = -1; }, U32(0xFFFFFFFF)},
        {"visible", 68, [](ObjectRecord& r) { r.bVisible = 1; }, {1}},
        {"subset draw bytes", 70, [](ObjectRecord& r) { r.bSubsetDraw[0] = 7, r.bSubsetDraw[255] = 9; }, {7}},
        {"last subset draw byte", 325, [](ObjectRecord&) {}, {9}},
        {"type-2 byte", 327, [](ObjectRecord& r) { r.bIsType2 = 1; }, {1}},
        {"green point", 330, [](ObjectRecord& r) { r.bGreenPoint = 0x26; }, {0x26}},
        {"repeating sound",
         331,
         [](ObjectRecord& r) { std::strcpy(r.szRepeatSound, "bush"); },
         {'b', 'u', 's', 'h', 0}},
        {"repeat interval", 588, [](ObjectRecord& r) { r.fRepeatSoundInterval = 6.0f; }, F32(6.0f)},
        {"repeat timer", 592, [](ObjectRecord& r) { r.fRepeatSoundTimer = 0.25f; }, F32(0.25f)},
        {"reflection fog", 816, [](ObjectRecord& r) { r.fReflectionFog[0] = 3.0f; }, F32(3.0f)},
        {"ambient colour", 840,
         [](ObjectRecord& r) {
             r.vAmbient = {1, 2, 3};
         },
         Cat({F32(1), F32(2), F32(3)})},
        {"probed ambient", 856, [](ObjectRecord& r) { r.fProbedAmbient[2] = 4.0f; },
         Cat({F32(0), F32(0), F32(4)})},
        {"blinking pointer", 1068,
         [](ObjectRecord& r) { r.pBlinking = reinterpret_cast<BlinkingBlock*>(&r); }, U32(0)},
        {"word 1072", 1072, [](ObjectRecord& r) { r.dwState1072 = 0x11223344; }, U32(0x11223344)},
        {"ambient light index", 1084, [](ObjectRecord& r) { r.iAmbientLightIdx = 3; }, U32(3)},
        {"fog index", 1088, [](ObjectRecord& r) { r.iFogIdx = 2; }, U32(2)},
        {"rigid body", 1096, [](ObjectRecord& r) { r.dwRigidBody = 5; }, U32(5)},
        {"sound pointer", 1104, [](ObjectRecord& r) { r.pSound = reinterpret_cast<ObjectSound*>(&r); },
         U32(0)},
        {"is a light", 1124, [](ObjectRecord& r) { r.bIsLight = 1; }, {1}},
        {"slot copy", 1128, [](ObjectRecord& r) { r.iIndex2 = 3999; }, U32(3999)},
        {"PESEL", 1132,
         [](ObjectRecord& r) {
             r.Pesel = {0x01020304, 0x7FFF, 12};
         },
         Cat({U32(0x01020304), U32(0x7FFF), U32(12)})},
        {"name",
         1144,
         [](ObjectRecord& r) { std::strcpy(r.szName, "door_01"); },
         {'d', 'o', 'o', 'r', '_', '0', '1', 0}},
        {"matched", 1224, [](ObjectRecord& r) { r.bMatched = 1; }, {1}},
        {"action pointer", 1228, [](ObjectRecord& r) { r.pAction = reinterpret_cast<ObjectAction*>(&r); },
         U32(0)},
        {"time since run", 1232, [](ObjectRecord& r) { r.fTimeSinceRun = 9.5f; }, F32(9.5f)},
        {"pass-on pending", 1236, [](ObjectRecord& r) { r.bPassOnPending = 1; }, {1}},
        {"camera positioning", 1237, [](ObjectRecord& r) { r.bCameraPositioning = 1; }, {1}},
        {"in motion, at destination, has run",
         1248,
         [](ObjectRecord& r) { r.bInMotion = 1, r.bAtDestination = 2, r.bHasRun = 3; },
         {1, 2, 3}},
        {"door angle", 1284, [](ObjectRecord& r) { r.fRun1264[5] = 90.0f; }, F32(90.0f)},
        {"word 1320", 1320, [](ObjectRecord& r) { r.dwRun1320 = 77; }, U32(77)},
        {"FX name and FX pointers", 1208,
         [](ObjectRecord& r) { r.pFxName = r.szName, r.pFx = reinterpret_cast<FxInstance*>(&r); },
         Cat({U32(0), U32(0)})},
        {"shooting", 1308, [](ObjectRecord& r) { r.bShooting = 0x27; }, {0x27}},
        {"death pointer", 1324, [](ObjectRecord& r) { r.pDeathParams = reinterpret_cast<DeathParams*>(&r); },
         U32(0)},
        {"camera distance", 1340, [](ObjectRecord& r) { r.iCameraDistance = 1234; }, U32(1234)},
        {"range", 1348, [](ObjectRecord& r) { r.iRange = 320; }, U32(320)},
        {"light powers", 1352, [](ObjectRecord& r) { r.fLightPower = 2.0f, r.fLightBasePower = 2.5f; },
         Cat({F32(2.0f), F32(2.5f)})},
        {"cube map bytes",
         1368,
         [](ObjectRecord& r) { r.bCubeMapRendered = 1, r.bHasCubeShadow = 1; },
         {1, 1}},
        {"colour factors", 1376,
         [](ObjectRecord& r) { r.fLightR = 0.5f, r.fLightG = 0.25f, r.fLightB = 0.125f; },
         Cat({F32(0.5f), F32(0.25f), F32(0.125f)})},
        {"light control pointer", 1412,
         [](ObjectRecord& r) { r.pLightControl = reinterpret_cast<LightControlList*>(&r); }, U32(0)},
        {"ambient probe bytes",
         1428,
         [](ObjectRecord& r) { r.bAmbientReprobe = 1, r.bAmbientProbed = 1; },
         {1, 1}},
        {"light slots", 1456, [](ObjectRecord& r) { r.pLights[0][0] = &r; }, U32(0)},
        {"light counts", 4528, [](ObjectRecord& r) { r.dwLightCount[0] = 3, r.dwLightCount[255] = 2; },
         U32(3)},
        {"last light count", 5548, [](ObjectRecord&) {}, U32(2)},
        {"light set valid", 5553, [](ObjectRecord& r) { r.bLightSetValid = 1; }, {1}},
        {"marked for deletion", 5556, [](ObjectRecord& r) { r.bToDelete = 1; }, {1}},
        {"animation",
         5557,
         [](ObjectRecord& r) { std::strcpy(r.szAnimation, "idle"); },
         {'i', 'd', 'l', 'e', 0}},
        {"animation loops", 5621, [](ObjectRecord& r) { r.bAnimationLoop = 1; }, {1}},
        {"file name",
         5622,
         [](ObjectRecord& r) { std::strcpy(r.szFileName, "m\\b.x"); },
         {'m', '\\', 'b', '.', 'x', 0}},
        {"sprite pointer", 5752, [](ObjectRecord& r) { r.pSprite = reinterpret_cast<strSingleSprite*>(&r); },
         U32(0)},
        {"type and flags", 5756,
         [](ObjectRecord& r) { r.dwType = 6, r.dwFlags = 0x2001, r.dwFlags2 = 0x40000, r.dwKindFlags = 8; },
         Cat({U32(6), U32(0x2001), U32(0x40000), U32(8)})},
        {"world object", 5792, [](ObjectRecord& r) { r.bWorldObject = 1; }, {1}},
        {"start position, position, scale", 5796,
         [](ObjectRecord& r) {
             r.vStartPosition = {1, 2, 3}, r.vPosition = {4, 5, 6}, r.vScale = {7, 8, 9};
         },
         Cat({F32(1), F32(2), F32(3), F32(4), F32(5), F32(6), F32(7), F32(8), F32(9)})},
        {"state vectors", 5832, [](ObjectRecord& r) { r.vState5832.x = 10, r.vState5844.z = 11; },
         Cat({F32(10), F32(0), F32(0), F32(0), F32(0), F32(11)})},
        {"orientation quaternion", 5856,
         [](ObjectRecord& r) {
             r.Orientation.quaternion = {0.5f, -0.5f, 0.25f, 0.75f};
         },
         Cat({F32(0.5f), F32(-0.5f), F32(0.25f), F32(0.75f)})},
        {"orientation up axis", 5856 + 104,
         [](ObjectRecord& r) {
             r.Orientation.up = {0, 0, -1};
         },
         Cat({F32(0), F32(0), F32(-1)})},
        {"base orientation matrix", 5972 + 16, [](ObjectRecord& r) { r.BaseOrientation.matrix.m[0][0] = 2; },
         F32(2)},
        {"base orientation given, tied",
         6088,
         [](ObjectRecord& r) { r.bBaseOrientationGiven = 1, r.bTied = 1; },
         {1, 1}},
        {"tied-to pointer", 6092, [](ObjectRecord& r) { r.pTiedTo = &r; }, U32(0)},
        {"tie socket",
         6096,
         [](ObjectRecord& r) { std::strcpy(r.szTieSocket, "hand"); },
         {'h', 'a', 'n', 'd', 0}},
        {"tie object",
         6160,
         [](ObjectRecord& r) { std::strcpy(r.szTieObject, "guard"); },
         {'g', 'u', 'a', 'r', 'd', 0}},
        {"owned object pointer", 6224, [](ObjectRecord& r) { r.pObject = &r; }, U32(0)},
        {"disappear range", 6256, [](ObjectRecord& r) { r.iDisappearRange = 900; }, U32(900)},
        {"health", 6260, [](ObjectRecord& r) { r.fHealth = 42.0f; }, F32(42.0f)},
        {"explosion countdown", 6264, [](ObjectRecord& r) { r.fDeathCountdown = 0.35f; }, F32(0.35f)},
        {"explosion and ignore bytes",
         6268,
         [](ObjectRecord& r) { r.bExplosionKilled = 1, r.bIgnoresHits = 1; },
         {1, 1}},
        {"Bezier active and start node",
         6296,
         [](ObjectRecord& r) { r.Bezier.bActive = 1, std::strcpy(r.Bezier.szStartNode, "n1"); },
         {1, 1, 0, 1, 'n', '1', 0}},
        {"Bezier lap limit", 6296 + 136, [](ObjectRecord& r) { r.Bezier.dwLapLimit = 3; }, U32(3)},
        {"Bezier run state", 6456, [](ObjectRecord& r) { r.BezierState.bMoving = 1; }, {1}},
        {"pending tie pointers", 6728,
         [](ObjectRecord& r) { r.pPendingTieObject = r.szName, r.pPendingTieSocket = r.szName; },
         Cat({U32(0), U32(0)})},
        {"land_mine", 6736, [](ObjectRecord& r) { r.bLandMine = 1; }, {1}},
        {"word 6740", 6740, [](ObjectRecord& r) { r.dw6740 = 256; }, U32(256)},
        {"state values 6744", 6744, [](ObjectRecord& r) { r.fState6744[0] = 1, r.fState6744[5] = 6; },
         F32(1)},
        {"last state value", 6764, [](ObjectRecord&) {}, F32(6)},
        {"container PESEL", 6772,
         [](ObjectRecord& r) {
             r.ContainerPesel = {9, 8, 7};
         },
         Cat({U32(9), U32(8), U32(7)})},
    };
}

TEST(ObjectImageTest, EveryPinnedFieldLiesAtItsOffset) {
    auto record = std::make_unique<ObjectRecord>();
    const std::vector<Field> fields = PinnedFields();
    for (const Field& f : fields)
        f.set(*record);
    std::vector<uint8_t> image(ObjectRecord::IMAGE_SIZE, 0xEE);
    WriteObjectImage(*record, image.data());
    for (const Field& f : fields) {
        ASSERT_LE(f.offset + f.bytes.size(), image.size()) << f.name;
        const std::vector<uint8_t> got(image.begin() + long(f.offset),
                                       image.begin() + long(f.offset + f.bytes.size()));
        EXPECT_EQ(got, f.bytes) << f.name << " at " << f.offset;
    }
}

TEST(ObjectImageTest, ReadingAnImageRestoresEveryFieldAndNullsPointers) {
    auto record = std::make_unique<ObjectRecord>();
    for (const Field& f : PinnedFields())
        f.set(*record);
    std::vector<uint8_t> image(ObjectRecord::IMAGE_SIZE);
    WriteObjectImage(*record, image.data());

    auto back = std::make_unique<ObjectRecord>();
    back->pBlinking = reinterpret_cast<BlinkingBlock*>(back.get());
    ReadObjectImage(image.data(), back.get());
    std::vector<uint8_t> again(ObjectRecord::IMAGE_SIZE);
    WriteObjectImage(*back, again.data());
    EXPECT_EQ(again, image);
    EXPECT_EQ(back->pBlinking, nullptr);
    EXPECT_EQ(back->pObject, nullptr);
    EXPECT_EQ(back->pLights[0][0], nullptr);
    EXPECT_EQ(back->Pesel, record->Pesel);
    EXPECT_STREQ(back->szName, "door_01");
    EXPECT_EQ(back->Orientation.up, record->Orientation.up);
    EXPECT_EQ(back->dwLightCount[255], 2u);
}

// Byte k of the field at image offset o holds (o + k) * 37 + 11, in
// memory, wherever the field lies there.
void FillEveryImageField(ObjectRecord* r) {
    auto fill = [](void* field, size_t bytes, size_t offset) {
        auto* b = static_cast<uint8_t*>(field);
        for (size_t k = 0; k < bytes; ++k)
            b[k] = uint8_t((offset + k) * 37 + 11);
    };
#define ZT_FILL(offset, member) fill(&r->member, sizeof r->member, offset);
    ZT_OBJECT_RECORD_IMAGE(ZT_FILL)
#undef ZT_FILL
}

// A record whose every saved field holds bytes of its own is written byte
// for byte as a build with the fields in the image's order in memory wrote
// it (data/filled_object_image.bin): the order in memory is free, the file's
// is not. Read back into a fresh record, it is written the same again, but
// for the terminator reading puts at the end of a name.
TEST(ObjectImageTest, AFilledRecordIsWrittenAsTheRecordedImage) {
    std::ifstream in(std::filesystem::path(ZT_SOURCE_DIR) / "tests" / "world" / "data" /
                         "filled_object_image.bin",
                     std::ios::binary);
    const std::vector<uint8_t> recorded((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
    ASSERT_EQ(recorded.size(), ObjectRecord::IMAGE_SIZE);

    auto record = std::make_unique<ObjectRecord>();
    FillEveryImageField(record.get());
    std::vector<uint8_t> image(ObjectRecord::IMAGE_SIZE, 0xEE);
    WriteObjectImage(*record, image.data());
    const auto differ = std::mismatch(image.begin(), image.end(), recorded.begin());
    EXPECT_EQ(differ.first, image.end()) << "first difference at offset " << differ.first - image.begin();

    auto back = std::make_unique<ObjectRecord>();
    ReadObjectImage(recorded.data(), back.get());
    std::vector<uint8_t> again(ObjectRecord::IMAGE_SIZE);
    WriteObjectImage(*back, again.data());
    std::vector<uint8_t> expected = recorded;
    expected[6296 + 4 + 131] = 0; // the reader ends the Bezier start node inside its field
    EXPECT_EQ(again, expected);
}

TEST(ObjectImageTest, GapsAreWrittenAsZeros) {
    auto record = std::make_unique<ObjectRecord>();
    std::vector<uint8_t> image(ObjectRecord::IMAGE_SIZE, 0xEE);
    WriteObjectImage(*record, image.data());
    // Offsets that no field claims.
    for (size_t offset : {1u, 2u, 3u, 11u, 15u, 36u, 48u, 55u, 326u, 700u, 1000u, 1080u, 1220u, 1400u, 5552u,
                          5780u, 6090u, 6710u, 6770u})
        EXPECT_EQ(image[offset], 0) << offset;
}

} // namespace
