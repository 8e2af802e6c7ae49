#include "app/Records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

using math::Vec3;

namespace {

// Object handles are only compared here, never dereferenced.
ObjectRecord* FakeObject(uintptr_t n) {
    return reinterpret_cast<ObjectRecord*>(n * 64);
}

void ExpectAddObjectDefaults(const AddObjectParams& p) {
    EXPECT_EQ(p.dwType, 0u);
    EXPECT_EQ(p.dwFlags, 13u);
    EXPECT_EQ(p.dwFlags2, 0u);
    EXPECT_EQ(p.dwFlags3, 0u);
    for (char c : p.szFileName)
        ASSERT_EQ(c, 0);
    EXPECT_EQ(p.vPosition, Vec3(0, 0, 0));
    EXPECT_EQ(p.vScale, Vec3(1, 1, 1));
    const orientation identity;
    EXPECT_EQ(std::memcmp(&p.Orientation, &identity, sizeof identity), 0);
    EXPECT_EQ(p.fRadius, 320.0f);
    EXPECT_EQ(p.fLightSize, 2.0f);
    EXPECT_EQ(p.fSpare1, 0.0f);
    EXPECT_EQ(p.fSpare2, -1.0f);
    EXPECT_EQ(p.fSpare3, 0.0f);
    EXPECT_EQ(p.fSpare4, 1.5707964f);
    EXPECT_EQ(p.fExtraValue, 0.0f);
}

} // namespace

TEST(AddObjectParams, ConstructedAsAVisibleUnrotatedMeshAtTheOrigin) {
    // Built over garbage: the constructor must set every field.
    alignas(AddObjectParams) unsigned char storage[sizeof(AddObjectParams)];
    std::memset(storage, 0xCD, sizeof storage);
    auto* p = new (storage) AddObjectParams;
    ExpectAddObjectDefaults(*p);
    EXPECT_EQ(p->dwFlags & 1u, 1u); // visible
    p->~AddObjectParams();
}

TEST(AddObjectParams, ResetRestoresEveryDefaultAfterUse) {
    AddObjectParams p;
    p.dwType = 6;
    p.dwFlags = 0xFFFFFFFF;
    p.dwFlags2 = p.dwFlags3 = 7;
    std::memset(p.szFileName, 'x', sizeof p.szFileName);
    p.vPosition = {1, 2, 3};
    p.vScale = {4, 5, 6};
    p.Orientation.SetYawPitchRoll(1, 2, 3);
    p.fRadius = p.fLightSize = p.fSpare1 = p.fSpare2 = p.fSpare3 = p.fSpare4 = p.fExtraValue = 99;
    p.Reset();
    ExpectAddObjectDefaults(p);
}

TEST(ShakeScreenParams, DefaultsAndZeroedPadding) {
    alignas(ShakeScreenParams) unsigned char storage[sizeof(ShakeScreenParams)];
    std::memset(storage, 0xCD, sizeof storage);
    const auto* s = new (storage) ShakeScreenParams;
    EXPECT_EQ(s->bOn, 0);
    const float expected[8] = {20.0f, 1.0f, 12.0f, 1.4f, 8.0f, 1.4f, 640.0f, 4.0f};
    const float actual[8] = {s->fAmplitude1, s->fPeriod1, s->fAmplitude2, s->fPeriod2,
                             s->fAmplitude3, s->fPeriod3, s->fDistance,   s->fDuration};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(actual[i], expected[i]) << "value " << i + 1;
    EXPECT_EQ(s->bNegativeStart, 0);
    // The record is embedded byte for byte in saved blocks: its padding is defined.
    for (int i : {1, 2, 3, 37, 38, 39})
        EXPECT_EQ(storage[i], 0) << "byte " << i;
}

TEST(SegmentQuery, DefaultsAndResetLetEveryObjectThrough) {
    SegmentQuery q;
    const Vec3 a(1, 2, 3), b(4, 5, 6);
    q.pStart = &a;
    q.pEnd = &b;
    q.pFilter = [](ObjectRecord*, ObjectRecord*) { return false; };
    q.pFilterArgument = FakeObject(3);
    q.bSeeThrough = q.bCoarse = q.bIncludeExcluded = q.bStickMarkers = 1;
    q.fCoarseDistance = 1.0f;
    q.Reset();

    SegmentQuery fresh;
    for (const SegmentQuery* s : {&q, &fresh}) {
        EXPECT_EQ(s->pStart, nullptr);
        EXPECT_EQ(s->pEnd, nullptr);
        EXPECT_EQ(s->pFilter, &NoObjectFilter);
        EXPECT_EQ(s->pFilterArgument, nullptr);
        EXPECT_EQ(s->bSeeThrough, 0);
        EXPECT_EQ(s->bCoarse, 0);
        EXPECT_EQ(s->fCoarseDistance, 5000.0f);
        EXPECT_EQ(s->bIncludeExcluded, 0);
        EXPECT_EQ(s->bStickMarkers, 0);
    }
    // The default filter accepts every object: a filter that answers false skips one.
    for (uintptr_t n : {0u, 1u, 2u, 1000u})
        EXPECT_TRUE(q.pFilter(FakeObject(n), FakeObject(n + 1))) << n;
}

TEST(SegmentHit, ConstructedZeroWhole) {
    alignas(SegmentHit) unsigned char storage[sizeof(SegmentHit)];
    std::memset(storage, 0xCD, sizeof storage);
    const auto* h = new (storage) SegmentHit;
    const Vec3 zero;
    EXPECT_EQ(h->bHit, 0u);
    EXPECT_EQ(h->vPoint, zero);
    EXPECT_EQ(h->fDistance, 0.0f);
    EXPECT_EQ(h->vNormal, zero);
    EXPECT_EQ(h->hObject, nullptr);
    EXPECT_EQ(h->dwFace, 0u);
    EXPECT_EQ(h->dwTextureId, 0u);
    EXPECT_EQ(h->fValue1, 0.0f);
    EXPECT_EQ(h->fValue2, 0.0f);
    EXPECT_EQ(h->vSegmentStart, zero);
    EXPECT_EQ(h->vSegmentEnd, zero);
    EXPECT_EQ(h->bSkinned, 0u);
    EXPECT_EQ(h->dwHitZone, 0u);
    for (char c : h->szNodeName)
        ASSERT_EQ(c, 0);
    EXPECT_EQ(h->Skinned.bHit, 0u);
    EXPECT_EQ(h->Skinned.hObject, nullptr);
    EXPECT_EQ(h->Skinned.vPoint, zero);
    EXPECT_EQ(h->Skinned.vNormal, zero);
    EXPECT_EQ(h->Skinned.fDistance, 0.0f);
    for (char c : h->Skinned.szNodeName)
        ASSERT_EQ(c, 0);
    for (char c : h->Skinned.szHitZoneName)
        ASSERT_EQ(c, 0);
}

TEST(SegmentHit, ResetClearsTheResultAndKeepsTheSkinnedStage) {
    SegmentHit h;
    h.bHit = 1;
    h.vPoint = h.vNormal = h.vSegmentStart = h.vSegmentEnd = {1, 2, 3};
    h.fDistance = h.fValue1 = h.fValue2 = 5;
    h.hObject = FakeObject(7);
    h.dwFace = h.dwTextureId = h.bSkinned = h.dwHitZone = 9;
    std::strcpy(h.szNodeName, "Bip01_Head");
    h.Skinned.bHit = 1;
    h.Skinned.hObject = FakeObject(8);
    h.Skinned.fDistance = 12;
    std::strcpy(h.Skinned.szHitZoneName, "head");
    h.Reset();

    const SegmentHit fresh;
    SegmentHit expected;
    expected.Skinned = h.Skinned;
    EXPECT_EQ(std::memcmp(&h, &expected, offsetof(SegmentHit, Skinned)), 0);
    EXPECT_EQ(h.szNodeName[0], 0);
    EXPECT_EQ(h.Skinned.bHit, 1u);
    EXPECT_EQ(h.Skinned.hObject, FakeObject(8));
    EXPECT_EQ(h.Skinned.fDistance, 12.0f);
    EXPECT_STREQ(h.Skinned.szHitZoneName, "head");
    EXPECT_EQ(h.hObject, fresh.hObject);
}
