// The skinned mesh's least draw on the headless device: the model in bind
// pose on bone 0, placed by the instance's world matrix (position,
// orientation, scale) through mWorldMatrixArray[0] with CurNumBones 1, one
// subset per call; every call counted, none drawn without a device at
// creation or for a subset the model has not.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/D3DMain.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "render/EffectMgr.h"
#include "skinmesh/SkinMesh.h"
#include "tests/EffectDevice.h"
#include "tests/world/WorldFixture.h"

namespace {

class SkinMeshDrawTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        ASSERT_NE(d_.dev, nullptr);
        g_pD3DInterface = d_.dev;
        const std::string path = std::string(ZT_SOURCE_DIR) + "/data/fx/ambient.fxc";
        fx_ = g_EffectMgr.CreateEffect("ambient", path.c_str());
        ASSERT_TRUE(fx_ && fx_->pEffect);
    }
    void TearDown() override {
        g_EffectMgr.Destroy();
        WorldTest::TearDown();
        g_Engine.m_bQuit = 0; // the box's texture is not in the test's data
        g_pD3DInterface = nullptr;
    }

    // Draws subset `subset` of the skinned mesh with the occlusion technique
    // (value 1.0: red) seen from 200 units before the origin, looking +z, and
    // gives the back buffer's pixels.
    std::vector<uint32_t> DrawSeen(ESkinMesh* skin, uint32_t subset) {
        gfx::Device* d = d_.dev;
        d->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, 0xFF000000, 1.0f, 0);
        effect::Effect* e = fx_->pEffect;
        e->SetMatrix(EffectParam(fx_, &EffectRecord::g_mView, "g_mView"),
                     math::MatrixLookAtLH({0, 32, -200}, {0, 32, 0}, {0, 1, 0}));
        e->SetMatrix(EffectParam(fx_, &EffectRecord::g_mProj, "g_mProj"),
                     math::MatrixPerspectiveFovLH(1.0f, 1.0f, 1.0f, 1000.0f));
        e->SetFloat(EffectParam(fx_, &EffectRecord::g_fOcclusionData, "g_fOcclusionData"), 1.0f);
        e->SetFloat(EffectParam(fx_, &EffectRecord::g_fVertIncrease, "g_fVertIncrease"), 0.0f);
        e->SetTechnique(e->GetTechniqueByName("RenderSceneOcclusionSkinmeshes"));
        uint32_t passes = 0;
        e->Begin(&passes, 0);
        e->BeginPass(0);
        skin->Render(7, subset, fx_);
        e->EndPass();
        e->End();
        return d_.Read();
    }
    static bool Red(uint32_t argb) { return (argb & 0xFFFFFF) == 0xFF0000; }

    EffectDevice d_;
    EffectRecord* fx_ = nullptr;
};

TEST_F(SkinMeshDrawTest, TheBindPoseIsDrawnWhereTheWorldMatrixPutsIt) {
    ObjectRecord* h = Make(OT_SKINMESH, {0, 0, 0});
    ASSERT_TRUE(h && h->SkinMesh());
    ESkinMesh* skin = h->SkinMesh();
    constexpr uint32_t kW = EffectDevice::kW;
    // The box (64 units, standing on its origin) fills the middle of the view.
    std::vector<uint32_t> px = DrawSeen(skin, 0);
    EXPECT_TRUE(Red(px[16 * kW + 16])) << "its middle";
    EXPECT_FALSE(Red(px[16 * kW + 1])) << "beside it";
    int covered = 0;
    for (uint32_t p : px)
        covered += Red(p);
    // 64 units at 200 (near face 168) with a 1-radian view: about 11 pixels.
    EXPECT_NEAR(std::sqrt(float(covered)), 64.0f / (2.0f * 168.0f * std::tan(0.5f)) * kW, 2.0f);

    // Moved beside the view: the middle is empty.
    skin->SetPosition({300, 0, 0});
    EXPECT_FALSE(Red(DrawSeen(skin, 0)[16 * kW + 16]));
    // Back, a quarter as high (16 units): the middle is above it, a pixel
    // four rows lower is on it; its corner column (7 pixels left of the
    // middle) is empty until it is turned 45 degrees about y, which brings a
    // corner nearer and wider.
    skin->SetPosition({0, 0, 0});
    skin->SetScale({1, 0.25f, 1});
    px = DrawSeen(skin, 0);
    EXPECT_FALSE(Red(px[16 * kW + 16])) << "above the low box";
    EXPECT_TRUE(Red(px[20 * kW + 16])) << "on the low box";
    EXPECT_FALSE(Red(px[20 * kW + 9])) << "beside the unturned box";
    orientation turned;
    turned.SetYawPitchRoll(0.7853982f, 0.0f, 0.0f);
    skin->SetOrientation(turned);
    EXPECT_TRUE(Red(DrawSeen(skin, 0)[20 * kW + 9])) << "the turned box's corner";

    EXPECT_EQ(skin->m_dwRenderCalls, 4u);
    EXPECT_EQ(skin->m_dwLastRenderTexture, 7u);
    EXPECT_EQ(skin->m_pLastRenderEffect, fx_);
    // A subset the model has not: counted, nothing drawn.
    px = DrawSeen(skin, 3);
    EXPECT_EQ(skin->m_dwRenderCalls, 5u);
    EXPECT_EQ(skin->m_dwLastRenderSubset, 3u);
    for (uint32_t p : px)
        ASSERT_FALSE(Red(p));
    // The bone palette and the influence count the draw set.
    int32_t bones = 0;
    fx_->pEffect->GetInt(EffectParam(fx_, &EffectRecord::CurNumBones, "CurNumBones"), &bones);
    EXPECT_EQ(bones, 1);
}

TEST_F(SkinMeshDrawTest, MadeWithoutADeviceItOnlyCountsItsCalls) {
    g_pD3DInterface = nullptr;
    ObjectRecord* h = Make(OT_SKINMESH, {0, 0, 0});
    g_pD3DInterface = d_.dev;
    ASSERT_TRUE(h && h->SkinMesh());
    const std::vector<uint32_t> px = DrawSeen(h->SkinMesh(), 0);
    for (uint32_t p : px)
        ASSERT_FALSE(Red(p));
    EXPECT_EQ(h->SkinMesh()->m_dwRenderCalls, 1u);
}

} // namespace
