// The cube shadow maps of the depth render on the real device headless: the
// slot count a world start fixes, slots handed out and given back, their
// ageing and renewal, which slots the frame renders, the sizes by the shadow
// quality, the face views against GLM, the faces read back after a render,
// the failures of the targets and of the effect, and a device reset.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "app/D3DMain.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "render/DepthRender.h"
#include "render/EffectMgr.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "tests/EffectDevice.h"
#include "tests/render/CountingDevice.h"
#include "tests/world/WorldFixture.h"
#include "world/Camera.h"
#include "world/EngineObjectFlags.h"

namespace {

using objflags::kFlagCubeShadow;

void ExpectMatrixNear(const math::Matrix& m, const glm::mat4& g, float eps) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(m.m[r][c], g[r][c], eps) << r << "," << c;
}

class DepthRenderTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        ASSERT_NE(d_.dev, nullptr);
        saved_ = {OptionMV01, ShadowMapLevel, WaterTextureLevel, DrawAnimatedShadows,
                  g_d3dpp.BackBufferFormat};
        OptionMV01 = true;
        ShadowMapLevel = 2; // small cubes
        WaterTextureLevel = 2;
        DrawAnimatedShadows = true;
        g_d3dpp.BackBufferFormat = gfx::Format::X8R8G8B8;
        device_ = new CountingDevice(d_.dev);
        g_pD3DInterface = device_;
        g_RenderStateCache = ERenderStateCache();
        UseEffect(true);
    }
    void TearDown() override {
        g_Renderer.StopPassRecording();
        g_DepthRender.Destroy();
        g_DepthRender = EDepthRender();
        g_EffectMgr.Destroy();
        WorldTest::TearDown();
        std::tie(OptionMV01, ShadowMapLevel, WaterTextureLevel, DrawAnimatedShadows,
                 g_d3dpp.BackBufferFormat) = saved_;
        g_RenderStateCache = ERenderStateCache();
        g_pD3DInterface = nullptr;
        device_->Release();
    }

    // The "CubeDepth" effect of the data directory, or none.
    void UseEffect(bool present) {
        g_EffectMgr.Destroy();
        if (!present) return;
        // Made on the device itself, drawn through the counting one.
        g_pD3DInterface = d_.dev;
        const std::string path = std::string(ZT_SOURCE_DIR) + "/data/fx/CubeDepth.fxc";
        EffectRecord* record = g_EffectMgr.CreateEffect("CubeDepth", path.c_str());
        g_pD3DInterface = device_;
        ASSERT_TRUE(record && record->pEffect) << path;
        effect_ = record->pEffect;
    }

    // A shown light at x, casting cube shadows unless told otherwise, in
    // view, near the camera.
    static ObjectRecord* Light(float x, bool casts = true) {
        ObjectRecord* h = Make(OT_LIGHT, {x, 64, 0});
        EXPECT_TRUE(h && h->bIsLight);
        if (casts) h->dwFlags |= kFlagCubeShadow;
        h->iRange = 300;
        h->iCameraDistance = 100;
        h->bVisible = 1;
        h->bVisibleNow = 1;
        return h;
    }
    static std::vector<ObjectRecord*> Lights(int n) {
        std::vector<ObjectRecord*> lights;
        for (int i = 0; i < n; ++i)
            lights.push_back(Light(100.0f * float(i)));
        return lights;
    }

    static int SlotsHeld() {
        int held = 0;
        for (int slot = 0; slot < EDepthRender::MAX_CUBE_SLOTS; ++slot)
            if (g_DepthRender.CubeSlotLight(slot)) ++held;
        return held;
    }
    static uint32_t CubeRenders() {
        uint32_t n = 0;
        for (uint32_t i = 0; i < g_Renderer.PassRecordCount(); ++i)
            if (std::strcmp(g_Renderer.GetPassRecord(i).szName, "EDepthRender::RenderCubeShadowMap") == 0)
                ++n;
        return n;
    }
    float EffectFloat(const char* name) const {
        float v = -1.0f;
        effect_->GetFloat(effect_->GetParameterByName(effect::Handle(), name), &v);
        return v;
    }

    // The values of one face of a slot's cube, level 0.
    std::vector<float> ReadFace(int slot, uint32_t face) {
        gfx::CubeTexture* cube = g_DepthRender.CubeTexture(slot);
        EXPECT_TRUE(cube);
        if (!cube) return {};
        const uint32_t side = cube->Size(0);
        std::vector<float> out(size_t(side) * side, -1.0f);
        gfx::Surface* s = nullptr;
        gfx::Surface* memory = nullptr;
        cube->GetCubeMapSurface(gfx::CubeFace(face), 0, &s);
        d_.dev->CreateOffscreenPlainSurface(side, side, gfx::Format::R32F, gfx::Pool::SystemMem, &memory);
        EXPECT_EQ(d_.dev->GetRenderTargetData(s, memory), gfx::Result::Ok);
        gfx::LockedRect r;
        memory->LockRect(&r, nullptr, gfx::lock::ReadOnly);
        for (uint32_t y = 0; y < side; ++y)
            std::memcpy(&out[y * side], static_cast<const uint8_t*>(r.pBits) + size_t(y) * r.Pitch, side * 4);
        memory->UnlockRect();
        memory->Release();
        s->Release();
        return out;
    }
    // Every face of a slot's cube set to `value`.
    void FillFaces(int slot, float value) {
        gfx::Surface* back = nullptr;
        d_.dev->GetRenderTarget(0, &back);
        for (uint32_t face = 0; face < gfx::CubeFaceCount; ++face) {
            gfx::Surface* s = nullptr;
            g_DepthRender.CubeTexture(slot)->GetCubeMapSurface(gfx::CubeFace(face), 0, &s);
            d_.dev->SetRenderTarget(0, s);
            d_.dev->ClearFloat(0, nullptr, gfx::clear::Target, math::Vec4{value, 0, 0, 0}, 1.0f, 0);
            s->Release();
        }
        d_.dev->SetRenderTarget(0, back);
        back->Release();
    }

    EffectDevice d_;
    CountingDevice* device_ = nullptr;
    effect::Effect* effect_ = nullptr;
    std::tuple<bool, uint32_t, uint32_t, bool, gfx::Format> saved_;
};

// ---- Slots -------------------------------------------------------------------------------------

TEST_F(DepthRenderTest, AWorldStartCountsItsShadowCastingLightsUpToSix) {
    const struct Case {
        const char* name;
        int casting, plain;
        uint32_t count;
    } cases[] = {
        {"no light", 0, 0, 0},
        {"lights that cast no cube shadow", 0, 3, 0},
        {"three of five cast", 3, 2, 3},
        {"seven cast", 7, 0, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        for (int i = 0; i < c.casting; ++i)
            Light(float(i));
        for (int i = 0; i < c.plain; ++i)
            Light(float(i), false);
        g_DepthRender.Init();
        EXPECT_EQ(g_DepthRender.SlotCount(), c.count);
        for (int slot = 0; slot < EDepthRender::MAX_CUBE_SLOTS; ++slot)
            EXPECT_EQ(g_DepthRender.CubeTexture(slot) != nullptr, slot < int(c.count)) << slot;
        EXPECT_EQ(SlotsHeld(), 0);
        g_DepthRender.Destroy();
    }
}

TEST_F(DepthRenderTest, SevenLightsGetSixSlotsAndTheSeventhWaitsForOneToBeGivenBack) {
    const std::vector<ObjectRecord*> lights = Lights(7);
    g_DepthRender.Init();
    for (ObjectRecord* h : lights)
        g_DepthRender.AssignCubeSlot(h);
    for (int slot = 0; slot < 6; ++slot) {
        EXPECT_EQ(g_DepthRender.CubeSlotLight(slot), lights[slot]);
        EXPECT_EQ(lights[slot]->bHasCubeShadow, 1);
        EXPECT_EQ(lights[slot]->bCubeMapRendered, 0);
    }
    EXPECT_EQ(lights[6]->bHasCubeShadow, 0) << "every slot is taken";

    g_DepthRender.ReleaseCubeSlot(lights[2]);
    EXPECT_EQ(lights[2]->bHasCubeShadow, 0);
    EXPECT_EQ(g_DepthRender.CubeSlotLight(2), nullptr);
    g_DepthRender.AssignCubeSlot(lights[6]);
    EXPECT_EQ(g_DepthRender.CubeSlotLight(2), lights[6]);
    EXPECT_EQ(lights[6]->bHasCubeShadow, 1);

    // A lit record of another type is only marked; a record that is no
    // light, or no longer in use, takes nothing.
    ObjectRecord* mesh = Make(OT_MESH);
    mesh->bIsLight = 1;
    mesh->bCubeMapRendered = 1;
    g_DepthRender.AssignCubeSlot(mesh);
    EXPECT_EQ(mesh->bHasCubeShadow, 1);
    EXPECT_EQ(mesh->bCubeMapRendered, 0);
    g_DepthRender.ReleaseCubeSlot(lights[0]);
    ObjectRecord* dark = Make(OT_MESH);
    g_DepthRender.AssignCubeSlot(dark);
    EXPECT_EQ(dark->bHasCubeShadow, 0);
    EXPECT_EQ(g_DepthRender.CubeSlotLight(0), nullptr);
    g_DepthRender.AssignCubeSlot(nullptr);
    g_DepthRender.ReleaseCubeSlot(nullptr);
}

TEST_F(DepthRenderTest, ASlotIsGivenBackOnlyAfterMoreThanASecondWithoutItsLightDrawn) {
    // Each step ages the slots by a frame time, or marks the lights drawn
    // (the scene's end) with the light in view or not.
    struct Step {
        float frameTime;
        bool mark, inView;
    };
    const Step age = {0.25f, false, false};
    const Step markSeen = {0.0f, true, true}, markUnseen = {0.0f, true, false};
    const struct Case {
        const char* name;
        std::vector<Step> steps;
        bool option;
        bool held;
    } cases[] = {
        {"exactly one second", {age, age, age, age}, true, true},
        {"just over a second", {age, age, age, age, {0.0001f, false, false}}, true, false},
        {"drawn on the way", {age, age, age, markSeen, age, age, age}, true, true},
        {"out of view when the scene ends", {age, age, age, markUnseen, age, age}, true, false},
        {"without point-light shadows nothing is renewed", {age, age, age, markSeen, age, age}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        OptionMV01 = true;
        ObjectRecord* light = Light(0);
        g_DepthRender.Init();
        g_DepthRender.AssignCubeSlot(light);
        OptionMV01 = c.option;
        for (const Step& s : c.steps) {
            if (s.mark) {
                light->bVisibleNow = s.inView ? 1 : 0;
                g_DepthRender.MarkVisibleLights();
            } else {
                g_Engine.m_fFrameTime = s.frameTime;
                g_DepthRender.Update();
            }
        }
        EXPECT_EQ(g_DepthRender.CubeSlotLight(0) == light, c.held);
        EXPECT_EQ(light->bHasCubeShadow, c.held ? 1 : 0);
        g_DepthRender.Destroy();
    }
    OptionMV01 = true;
}

// ---- Which slots render -----------------------------------------------------------------

TEST_F(DepthRenderTest, TheFrameRendersTheSlotsOfVisibleNearLightsNotYetRendered) {
    const struct Case {
        const char* name;
        int distance, range;
        std::function<void(ObjectRecord*)> change; // after the slot was taken
        bool force;
        bool rendersNow;
        uint8_t rendered; // after the frame's step
        bool keepsSlot;
    } cases[] = {
        {"distance 2047, range 100: below 2048", 2047, 100, {}, false, true, 1, true},
        {"distance 2048, range 100", 2048, 100, {}, false, false, 0, true},
        {"distance 2999, range 1000: below 3000", 2999, 1000, {}, false, true, 1, true},
        {"distance 3000, range 1000", 3000, 1000, {}, false, false, 0, true},
        {"already rendered", 100, 300, [](ObjectRecord* h) { h->bCubeMapRendered = 1; }, false, false, 1,
         true},
        {"already rendered, forced", 100, 300, [](ObjectRecord* h) { h->bCubeMapRendered = 1; }, true, true,
         1, true},
        {"not visible", 100, 300,
         [](ObjectRecord* h) {
             h->bVisible = 0;
             h->bCubeMapRendered = 1;
         },
         true, false, 0, true},
        {"no longer in use", 100, 300, [](ObjectRecord* h) { h->bUsed = 0; }, false, false, 0, false},
        {"no longer a light", 100, 300, [](ObjectRecord* h) { h->bIsLight = 0; }, false, false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        ObjectRecord* light = Light(0);
        light->iCameraDistance = c.distance;
        light->iRange = c.range;
        g_DepthRender.Init();
        g_DepthRender.AssignCubeSlot(light);
        const uint32_t flags = light->dwFlags;
        if (c.change) c.change(light);
        if (c.force) g_DepthRender.ForceRender();
        g_Renderer.StartPassRecording();
        g_DepthRender.RenderCubeShadows();
        EXPECT_EQ(CubeRenders(), c.rendersNow ? 1u : 0u);
        EXPECT_EQ(light->bCubeMapRendered, c.rendered);
        EXPECT_EQ(g_DepthRender.CubeSlotLight(0) == light, c.keepsSlot);
        EXPECT_EQ(light->dwFlags, flags) << "the record's flags are left as they are";
        // The force flag lasts one frame: a rendered light is not rendered again.
        g_Renderer.StartPassRecording();
        g_DepthRender.RenderCubeShadows();
        EXPECT_EQ(CubeRenders(), 0u);
        light->bUsed = 1; // the table's own deletion comes with the reset
        g_DepthRender.Destroy();
    }
}

TEST_F(DepthRenderTest, WithoutPointLightShadowsNoCubeIsMadeAndTheFrameOnlyDropsTheForceFlag) {
    OptionMV01 = false;
    ObjectRecord* light = Light(0);
    g_DepthRender.Init();
    EXPECT_EQ(g_DepthRender.SlotCount(), 1u);
    EXPECT_EQ(g_DepthRender.CubeTexture(0), nullptr);
    EXPECT_EQ(g_DepthRender.CubeDepth(0), nullptr);
    EXPECT_NE(g_DepthRender.WaterTexture(), nullptr) << "the water target does not depend on the option";
    g_DepthRender.AssignCubeSlot(light);
    light->bCubeMapRendered = 1;
    g_DepthRender.ForceRender();
    g_Renderer.StartPassRecording();
    g_DepthRender.RenderCubeShadows();
    EXPECT_EQ(CubeRenders(), 0u);
    EXPECT_EQ(light->bCubeMapRendered, 1);

    // With the option back and the targets made after a reset, the dropped
    // force flag does not render the light again.
    OptionMV01 = true;
    g_DepthRender.OnResetDevice();
    ASSERT_NE(g_DepthRender.CubeTexture(0), nullptr);
    g_DepthRender.RenderCubeShadows();
    EXPECT_EQ(CubeRenders(), 0u);
}

// ---- Sizes -------------------------------------------------------------------------------

TEST_F(DepthRenderTest, TheShadowQualityGivesTheCubeSizeItsViewportsAndTheEpsilons) {
    const struct Case {
        uint32_t level;
        uint32_t size, levels;
        float fixed, moving;
    } cases[] = {
        {0, 512, 10, 4.2f, 26.0f},
        {1, 128, 8, 6.0f, 32.0f},
        {2, 32, 6, 32.0f, 40.0f},
        {7, 32, 6, 32.0f, 40.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        Reset();
        ShadowMapLevel = c.level;
        Light(0);
        g_DepthRender.Init();
        EXPECT_EQ(g_DepthRender.CubeSize(), c.size);
        const gfx::CubeTexture* cube = g_DepthRender.CubeTexture(0);
        ASSERT_NE(cube, nullptr);
        EXPECT_EQ(cube->Size(0), c.size);
        EXPECT_EQ(cube->LevelCount(), c.levels) << "the full chain";
        EXPECT_EQ(cube->GetFormat(), gfx::Format::R32F);
        ASSERT_NE(g_DepthRender.CubeDepth(0), nullptr);
        EXPECT_EQ(g_DepthRender.CubeDepth(0)->GetFormat(), gfx::Format::D24X8);
        EXPECT_EQ(g_DepthRender.CubeDepth(0)->Width(), c.size);
        for (uint32_t l = 0; l < c.levels; ++l) {
            const gfx::Viewport& vp = g_DepthRender.LevelViewport(l);
            EXPECT_EQ(vp.Width, c.size >> l) << l;
            EXPECT_EQ(vp.Height, c.size >> l) << l;
            EXPECT_EQ(vp.X, 0u);
            EXPECT_EQ(vp.MinZ, 0.0f);
            EXPECT_EQ(vp.MaxZ, 1.0f);
        }
        EXPECT_EQ(g_DepthRender.LevelViewport(c.levels - 1).Width, 1u);
        const math::Vec4 r = g_DepthRender.ShadowResolution();
        EXPECT_EQ(r.x, float(c.size));
        EXPECT_EQ(r.y, 1.0f / float(c.size));
        EXPECT_EQ(r.z, 0.0f);
        EXPECT_EQ(r.w, 0.0f);
        EXPECT_EQ(EffectFloat("g_fEpsilonStaly"), c.fixed);
        EXPECT_EQ(EffectFloat("g_fEpsilonZmienny"), c.moving);
        g_DepthRender.Destroy();
    }
}

TEST_F(DepthRenderTest, TheWaterTargetHasOneLevelOfTheBackBuffersFormatByItsQuality) {
    for (const auto& [level, size] : {std::pair{0u, 512u}, {1u, 256u}, {2u, 128u}, {5u, 128u}}) {
        SCOPED_TRACE(level);
        WaterTextureLevel = level;
        g_DepthRender.Init();
        const gfx::Texture* t = g_DepthRender.WaterTexture();
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->Width(0), size);
        EXPECT_EQ(t->LevelCount(), 1u) << "only level 0 is drawn and read";
        EXPECT_EQ(t->GetFormat(), gfx::Format::X8R8G8B8);
        ASSERT_NE(g_DepthRender.WaterDepth(), nullptr);
        EXPECT_EQ(g_DepthRender.WaterDepth()->Width(), size);
        EXPECT_EQ(g_DepthRender.WaterViewport().Width, size);
        g_DepthRender.Destroy();
        EXPECT_EQ(g_DepthRender.WaterTexture(), nullptr);
        EXPECT_EQ(g_DepthRender.WaterDepth(), nullptr);
    }
}

// ---- The face render ----------------------------------------------------------------------

TEST_F(DepthRenderTest, TheFaceViewsLookAlongDirect3DsCubeFacesAsGlmBuildsThem) {
    const glm::vec3 faces[6][2] = {
        {{1, 0, 0}, {0, 1, 0}},  {{-1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, -1}},
        {{0, -1, 0}, {0, 0, 1}}, {{0, 0, 1}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}},
    };
    for (uint32_t face = 0; face < 6; ++face) {
        SCOPED_TRACE(face);
        math::Matrix view;
        ASSERT_TRUE(EDepthRender::GetCubeFaceView(face, &view));
        ExpectMatrixNear(view, glm::lookAtLH(glm::vec3(0), faces[face][0], faces[face][1]), 1e-6f);
    }
    math::Matrix view;
    EXPECT_FALSE(EDepthRender::GetCubeFaceView(6, &view));
}

TEST_F(DepthRenderTest, AFaceRenderClearsEveryFaceSetsTheLightsValuesAndPutsTheTargetsBack) {
    ObjectRecord* light = Light(40);
    light->vPosition = {40, 64, -20};
    light->iRange = 350;
    g_DepthRender.Init();
    g_DepthRender.AssignCubeSlot(light);
    FillFaces(0, 5.0f);
    gfx::Surface* target = nullptr;
    gfx::Surface* depth = nullptr;
    d_.dev->GetRenderTarget(0, &target);
    d_.dev->GetDepthStencilSurface(&depth);
    const gfx::Viewport viewport{2, 3, 20, 10, 0.0f, 1.0f};
    d_.dev->SetViewport(viewport);

    MarkConsole();
    g_DepthRender.RenderCubeShadows();
    EXPECT_EQ(light->bCubeMapRendered, 1);
    for (uint32_t face = 0; face < 6; ++face) {
        SCOPED_TRACE(face);
        const std::vector<float> values = ReadFace(0, face);
        EXPECT_EQ(values, std::vector<float>(values.size(), 0.0f)) << "the clear colour";
    }
    EXPECT_FALSE(Printed("SetShadowPass failed"));

    gfx::Surface* after = nullptr;
    gfx::Surface* afterDepth = nullptr;
    d_.dev->GetRenderTarget(0, &after);
    d_.dev->GetDepthStencilSurface(&afterDepth);
    EXPECT_EQ(after, target);
    EXPECT_EQ(afterDepth, depth);
    gfx::Viewport vp;
    d_.dev->GetViewport(&vp);
    EXPECT_EQ(vp.X, viewport.X);
    EXPECT_EQ(vp.Width, viewport.Width);
    for (gfx::Surface* s : {target, depth, after, afterDepth})
        s->Release();

    // The last face's values: the -Z view with a quarter-turn projection
    // out to the light's range, the light's place and the bias.
    math::Matrix m;
    effect_->GetMatrix(effect_->GetParameterByName(effect::Handle(), "cCubemapViewProjection"), &m);
    const glm::mat4 expected =
        glm::perspectiveLH_ZO(std::numbers::pi_v<float> / 2, 1.0f, EDepthRender::NEAR_PLANE, 350.0f) *
        glm::lookAtLH(glm::vec3(0), glm::vec3(0, 0, -1), glm::vec3(0, 1, 0));
    ExpectMatrixNear(m, expected, 1e-5f);
    math::Vec4 p;
    effect_->GetVector(effect_->GetParameterByName(effect::Handle(), "cLightPositionWorld"), &p);
    EXPECT_EQ(p.x, 40.0f);
    EXPECT_EQ(p.y, 64.0f);
    EXPECT_EQ(p.z, -20.0f);
    EXPECT_EQ(p.w, 0.0f);
    EXPECT_EQ(EffectFloat("cZBias"), EDepthRender::Z_BIAS);
    effect_->GetMatrix(effect_->GetParameterByName(effect::Handle(), "cScreenViewProjection"), &m);
    const math::Matrix camera = g_Camera.View() * g_Camera.Projection();
    EXPECT_EQ(std::memcmp(&m, &camera, sizeof m), 0);
}

TEST_F(DepthRenderTest, ACubeThatCannotBeMadeIsPrintedAndItsSlotFailsItsFirstFace) {
    device_->failCubeTextures = true;
    ObjectRecord* light = Light(0);
    MarkConsole();
    g_DepthRender.Init();
    EXPECT_TRUE(PrintedLine("Unable to create R32F cubemap"));
    EXPECT_EQ(g_DepthRender.CubeTexture(0), nullptr);
    EXPECT_EQ(g_DepthRender.CubeDepth(0), nullptr) << "the depth surface is not made without its cube";
    g_DepthRender.AssignCubeSlot(light);
    gfx::Surface* target = nullptr;
    d_.dev->GetRenderTarget(0, &target);
    MarkConsole();
    g_DepthRender.RenderCubeShadows();
    EXPECT_TRUE(PrintedLine("SetShadowPass failed: 0"));
    EXPECT_FALSE(Printed("SetShadowPass failed: 1"));
    EXPECT_EQ(light->bCubeMapRendered, 0);
    gfx::Surface* after = nullptr;
    d_.dev->GetRenderTarget(0, &after);
    EXPECT_EQ(after, target) << "the targets are put back";
    target->Release();
    after->Release();
}

TEST_F(DepthRenderTest, WithoutTheEffectAWorldStartStillEmptiesTheSlotsOfTheWorldBefore) {
    ObjectRecord* old = Light(0);
    g_DepthRender.Init();
    g_DepthRender.AssignCubeSlot(old);
    ASSERT_EQ(g_DepthRender.CubeSlotLight(0), old);

    // The world ends (its targets go, the slot keeps its record) and the
    // next one starts without the effect: the slot no longer names the old
    // record, which ageing and giving back then leave alone.
    g_DepthRender.Destroy();
    ASSERT_EQ(g_DepthRender.CubeSlotLight(0), old);
    UseEffect(false);
    MarkConsole();
    g_DepthRender.Init();
    EXPECT_TRUE(PrintedLine("No CubeDepth effect"));
    EXPECT_EQ(SlotsHeld(), 0);
    EXPECT_EQ(g_DepthRender.CubeTexture(0), nullptr);
    EXPECT_EQ(g_DepthRender.WaterTexture(), nullptr) << "no water target either";
    g_Engine.m_fFrameTime = 2.0f;
    g_DepthRender.Update();
    ObjectRecord* other = Light(100);
    g_DepthRender.AssignCubeSlot(other);
    EXPECT_EQ(g_DepthRender.CubeSlotLight(0), other);
    g_DepthRender.ReleaseCubeSlot(other);
    EXPECT_EQ(old->bHasCubeShadow, 1) << "nothing wrote into the old record";

    // The slots still work, but no face is rendered without the effect; a
    // reset makes the targets.
    g_DepthRender.AssignCubeSlot(other);
    g_Renderer.StartPassRecording();
    g_DepthRender.RenderCubeShadows();
    EXPECT_EQ(CubeRenders(), 0u);
    EXPECT_EQ(other->bCubeMapRendered, 0);
    g_DepthRender.OnLostDevice();
    g_DepthRender.OnResetDevice();
    EXPECT_NE(g_DepthRender.CubeTexture(0), nullptr);
    EXPECT_NE(g_DepthRender.WaterTexture(), nullptr);
}

TEST_F(DepthRenderTest, ADeviceResetRemakesTheTargetsAndKeepsSlotsAndRenderedMarks) {
    ObjectRecord* light = Light(0);
    g_DepthRender.Init();
    g_DepthRender.AssignCubeSlot(light);
    g_DepthRender.RenderCubeShadows();
    ASSERT_EQ(light->bCubeMapRendered, 1);
    g_DepthRender.OnLostDevice();
    EXPECT_EQ(g_DepthRender.CubeTexture(0), nullptr);
    EXPECT_EQ(g_DepthRender.CubeDepth(0), nullptr);
    EXPECT_EQ(g_DepthRender.WaterTexture(), nullptr);
    EXPECT_EQ(g_DepthRender.WaterDepth(), nullptr);
    g_DepthRender.OnResetDevice();
    EXPECT_NE(g_DepthRender.CubeTexture(0), nullptr);
    EXPECT_NE(g_DepthRender.CubeDepth(0), nullptr);
    EXPECT_NE(g_DepthRender.WaterTexture(), nullptr);
    EXPECT_NE(g_DepthRender.WaterDepth(), nullptr);
    EXPECT_EQ(g_DepthRender.CubeSlotLight(0), light);
    EXPECT_EQ(light->bCubeMapRendered, 1);
    EXPECT_EQ(g_DepthRender.CubeSize(), 32u);
}

} // namespace
