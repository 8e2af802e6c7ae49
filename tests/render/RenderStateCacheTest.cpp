// The render-state cache through a counting device in front of the real
// headless one: which device calls each switch makes, the alpha modes with
// the depth-write save, techniques begun and ended, and the sampler filters
// of the video options.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/D3DMain.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Draw.h"
#include "platform/os/Os.h"
#include "render/EffectMgr.h"
#include "render/RenderStateCache.h"
#include "tests/EffectDevice.h"
#include "tests/render/CountingDevice.h"

namespace {

using gfx::RenderState;
using gfx::StateValue;

class RenderStateCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(d_.dev, nullptr);
        counting_ = new CountingDevice(d_.dev);
        g_pD3DInterface = counting_;
        old_ = os::StartDirectory();
        os::SetStartDirectory((std::filesystem::path(ZT_SOURCE_DIR) / "tests" / "render").string());
        g_RenderStateCache = ERenderStateCache();
    }
    void TearDown() override {
        g_RenderStateCache = ERenderStateCache();
        g_EffectMgr.Destroy();
        g_pD3DInterface = nullptr;
        counting_->Release();
        os::SetStartDirectory(old_);
    }

    // Effects are made on the GL device itself; the cache then draws
    // through the counting one.
    EffectRecord* Ambient() {
        g_pD3DInterface = d_.dev;
        EffectRecord* r = g_EffectMgr.CreateEffect("ambient", "fx\\ambient.fxc");
        g_pD3DInterface = counting_;
        counting_->Forget();
        EXPECT_NE(r, nullptr);
        return r;
    }
    uint32_t State(RenderState s) {
        uint32_t v = 0;
        d_.dev->GetRenderState(s, &v);
        return v;
    }
    bool EffectBool(EffectRecord* r, effect::Handle h) {
        bool b = false;
        r->pEffect->GetBool(h, &b);
        return b;
    }

    EffectDevice d_;
    CountingDevice* counting_ = nullptr;
    std::string old_;
};

TEST_F(RenderStateCacheTest, CullingCallsTheDeviceOnlyOnAChange) {
    g_RenderStateCache.ResetCullMode();
    EXPECT_EQ(counting_->states.size(), 1u) << "unconditional";
    EXPECT_EQ(State(RenderState::CullMode), StateValue(gfx::Cull::Ccw));
    g_RenderStateCache.SetCullMode(true);
    EXPECT_EQ(counting_->states.size(), 1u);
    g_RenderStateCache.SetCullMode(false);
    g_RenderStateCache.SetCullMode(false);
    EXPECT_EQ(counting_->states.size(), 2u);
    EXPECT_EQ(State(RenderState::CullMode), StateValue(gfx::Cull::None));
    g_RenderStateCache.ResetCullMode();
    EXPECT_EQ(counting_->states.size(), 3u);
    EXPECT_TRUE(g_RenderStateCache.m_bCullOn);
}

TEST_F(RenderStateCacheTest, TransparentModeTestsAlphaAt128AndSetsTheEffectSwitch) {
    EffectRecord* r = Ambient();
    ASSERT_NE(r, nullptr);
    g_RenderStateCache.BeginTransparent(r);
    EXPECT_TRUE(g_RenderStateCache.m_bTransparentOn);
    EXPECT_EQ(State(RenderState::AlphaBlendEnable), 1u);
    EXPECT_EQ(State(RenderState::SrcBlend), StateValue(gfx::Blend::SrcAlpha));
    EXPECT_EQ(State(RenderState::DestBlend), StateValue(gfx::Blend::InvSrcAlpha));
    EXPECT_EQ(State(RenderState::BlendOp), StateValue(gfx::BlendOp::Add));
    EXPECT_EQ(State(RenderState::AlphaRef), 128u);
    EXPECT_EQ(State(RenderState::AlphaTestEnable), 1u);
    EXPECT_EQ(State(RenderState::AlphaFunc), StateValue(gfx::Cmp::GreaterEqual));
    EXPECT_TRUE(EffectBool(r, r->g_bDrawTransparent));

    g_RenderStateCache.EndTransparent(r);
    EXPECT_FALSE(g_RenderStateCache.m_bTransparentOn);
    EXPECT_EQ(State(RenderState::AlphaBlendEnable), 0u);
    EXPECT_EQ(State(RenderState::AlphaTestEnable), 0u);
    EXPECT_EQ(State(RenderState::AlphaFunc), StateValue(gfx::Cmp::Always));
    EXPECT_FALSE(EffectBool(r, r->g_bDrawTransparent));
    // Acts whatever the mark says.
    counting_->Forget();
    g_RenderStateCache.EndTransparent(r);
    EXPECT_EQ(counting_->states.size(), 3u);
}

TEST_F(RenderStateCacheTest, TranslucentModeKeepsDepthWritesAndTheOtherModeGivesThemBack) {
    EffectRecord* r = Ambient();
    ASSERT_NE(r, nullptr);
    d_.dev->SetRenderState(RenderState::ZWriteEnable, 1);
    g_RenderStateCache.BeginTranslucent(r);
    EXPECT_TRUE(g_RenderStateCache.m_bTranslucentOn);
    EXPECT_EQ(State(RenderState::ZWriteEnable), 0u);
    EXPECT_EQ(State(RenderState::AlphaBlendEnable), 1u);
    EXPECT_EQ(State(RenderState::AlphaRef), 0u);
    EXPECT_EQ(State(RenderState::AlphaTestEnable), 0u);
    EXPECT_EQ(State(RenderState::AlphaFunc), StateValue(gfx::Cmp::Always));
    EXPECT_TRUE(EffectBool(r, r->g_bDrawTranslucent));

    // Transparent while translucent: translucent ends first, depth writes
    // come back.
    g_RenderStateCache.BeginTransparent(r);
    EXPECT_FALSE(g_RenderStateCache.m_bTranslucentOn);
    EXPECT_TRUE(g_RenderStateCache.m_bTransparentOn);
    EXPECT_EQ(State(RenderState::ZWriteEnable), 1u);
    EXPECT_FALSE(EffectBool(r, r->g_bDrawTranslucent));

    // Translucent while transparent: transparent ends first.
    g_RenderStateCache.BeginTranslucent(r);
    EXPECT_FALSE(g_RenderStateCache.m_bTransparentOn);
    EXPECT_FALSE(EffectBool(r, r->g_bDrawTransparent));
    g_RenderStateCache.EndTranslucent(r);
    EXPECT_EQ(State(RenderState::ZWriteEnable), 1u);

    // Ended while off: depth writes are not touched.
    d_.dev->SetRenderState(RenderState::ZWriteEnable, 0);
    g_RenderStateCache.EndTranslucent(r);
    EXPECT_EQ(State(RenderState::ZWriteEnable), 0u);
}

TEST_F(RenderStateCacheTest, BeginTechniqueBeginsPassZeroAndEndTechniqueEndsIt) {
    EffectRecord* r = Ambient();
    ASSERT_NE(r, nullptr);
    g_RenderStateCache.m_bTransparentOn = true;
    ASSERT_TRUE(g_RenderStateCache.BeginTechnique(r, r->RenderSceneBase, false));
    EXPECT_TRUE(g_RenderStateCache.m_bTechniqueBegun);
    EXPECT_EQ(g_RenderStateCache.m_hCurrentTechnique, r->RenderSceneBase);
    EXPECT_TRUE(g_RenderStateCache.m_bTransparentOn);
    EXPECT_NE(d_.dev->GetProgram(), nullptr);
    EXPECT_EQ(State(RenderState::CullMode), StateValue(gfx::Cull::None)) << "the pass's state";
    EXPECT_GE(counting_->programCalls, 1u);
    EXPECT_EQ(counting_->fvfCalls, 1u);

    // A second begin ends the first; reset clears the transparent mark only.
    g_RenderStateCache.m_bTranslucentOn = true;
    ASSERT_TRUE(g_RenderStateCache.BeginTechniqueByName(r, "RenderScene", true));
    EXPECT_FALSE(g_RenderStateCache.m_bTransparentOn);
    EXPECT_TRUE(g_RenderStateCache.m_bTranslucentOn);
    EXPECT_NE(State(RenderState::CullMode), StateValue(gfx::Cull::None)) << "the first technique ended";
    g_RenderStateCache.m_bTranslucentOn = false;

    g_RenderStateCache.EndTechnique(r);
    EXPECT_FALSE(g_RenderStateCache.m_bTechniqueBegun);
    EXPECT_FALSE(g_RenderStateCache.m_hCurrentTechnique);
    EXPECT_EQ(d_.dev->GetProgram(), nullptr);
    // The effect is free to begin again.
    uint32_t passes = 0;
    EXPECT_EQ(r->pEffect->Begin(&passes, 0), gfx::Result::Ok);
    r->pEffect->End();
}

TEST_F(RenderStateCacheTest, RefusedTechniquesLeaveNothingBegun) {
    EffectRecord* r = Ambient();
    ASSERT_NE(r, nullptr);
    EXPECT_FALSE(g_RenderStateCache.BeginTechnique(nullptr, r->RenderScene, true));
    EXPECT_FALSE(g_RenderStateCache.BeginTechniqueByName(nullptr, "RenderScene", true));
    EXPECT_FALSE(g_RenderStateCache.BeginTechniqueByName(r, "RenderSkinMesh", true));
    EXPECT_FALSE(g_RenderStateCache.m_bTechniqueBegun);
    EXPECT_FALSE(g_RenderStateCache.BeginTechnique(r, r->RenderSkinMesh, true));
    EXPECT_FALSE(g_RenderStateCache.m_bTechniqueBegun);

    // Begun, but without a pass 0: the effect is ended again.
    EXPECT_FALSE(g_RenderStateCache.BeginTechniqueByName(r, "Empty", true));
    EXPECT_FALSE(g_RenderStateCache.m_bTechniqueBegun);
    r->pEffect->SetTechnique(r->RenderScene);
    EXPECT_EQ(r->pEffect->Begin(nullptr, 0), gfx::Result::Ok) << "not left begun";
    r->pEffect->End();
    g_RenderStateCache.EndTechnique(r);
}

TEST_F(RenderStateCacheTest, SetTextureAlwaysCallsTheDeviceBelowStage16) {
    g_RenderStateCache.SetTexture(0, d_.Texture(0xFFFFFFFF));
    g_RenderStateCache.SetTexture(0, d_.Texture(0xFFFFFFFF));
    g_RenderStateCache.SetTexture(15, nullptr);
    g_RenderStateCache.SetTexture(16, nullptr);
    EXPECT_EQ(counting_->textureCalls, 3u);
    g_RenderStateCache.SetTexture(0, nullptr);
}

struct FilterCase {
    const char* name;
    bool best;
    uint32_t filterLevel;
    bool ps20;
    bool strong;
    gfx::TextureFilter filter;
    float bias;
};

class SamplerFilterTest : public RenderStateCacheTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(SamplerFilterTest, StagesGetTheOptionsFilterAndBias) {
    const FilterCase& c = GetParam();
    const uint32_t savedLevel = FilterLevel;
    const bool savedPs20 = UsePS20;
    bool best = c.best;
    SetBestFilteringOption(&best);
    FilterLevel = c.filterLevel;
    UsePS20 = c.ps20;
    SetSamplerFilters(20, c.strong);
    FilterLevel = savedLevel;
    UsePS20 = savedPs20;
    SetBestFilteringOption(nullptr);

    EXPECT_EQ(counting_->samplerCalls, 16u * 7u) << "20 stages set 16";
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t v = 0;
        for (gfx::SamplerState s :
             {gfx::SamplerState::MinFilter, gfx::SamplerState::MagFilter, gfx::SamplerState::MipFilter}) {
            d_.dev->GetSamplerState(i, s, &v);
            EXPECT_EQ(v, StateValue(c.filter)) << i;
        }
        d_.dev->GetSamplerState(i, gfx::SamplerState::MipMapLodBias, &v);
        EXPECT_EQ(gfx::StateFloat(v), c.bias) << i;
        d_.dev->GetSamplerState(i, gfx::SamplerState::MaxAnisotropy, &v);
        EXPECT_EQ(v, 4u);
        d_.dev->GetSamplerState(i, gfx::SamplerState::AddressU, &v);
        EXPECT_EQ(v, StateValue(gfx::TextureAddress::Wrap));
        d_.dev->GetSamplerState(i, gfx::SamplerState::AddressV, &v);
        EXPECT_EQ(v, StateValue(gfx::TextureAddress::Wrap));
    }
}

using gfx::TextureFilter;
INSTANTIATE_TEST_SUITE_P(
    Options, SamplerFilterTest,
    ::testing::Values(FilterCase{"BestStrong", true, 2, false, true, TextureFilter::Anisotropic, -1.0f},
                      FilterCase{"BestWeak", true, 2, false, false, TextureFilter::Anisotropic, -0.1f},
                      FilterCase{"Level0Strong", false, 0, false, true, TextureFilter::Anisotropic, -1.0f},
                      FilterCase{"Level0Weak", false, 0, false, false, TextureFilter::Anisotropic, -0.1f},
                      FilterCase{"Level1Strong", false, 1, false, true, TextureFilter::Linear, -1.0f},
                      FilterCase{"Level1Weak", false, 1, false, false, TextureFilter::Linear, -0.1f},
                      FilterCase{"Level2Strong", false, 2, false, true, TextureFilter::Linear, 0.0f},
                      FilterCase{"Level2Weak", false, 2, false, false, TextureFilter::Linear, 0.0f},
                      FilterCase{"Ps20Best", true, 0, true, true, TextureFilter::Anisotropic, 0.0f},
                      FilterCase{"Ps20Level1", false, 1, true, true, TextureFilter::Linear, 0.0f}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
