// The sky shadow maps of the demo world in this process, on the program's own
// device, read back after real frames at the texels where GLM projects the
// objects' tops:
// - map 0 holds a static crate's top above the floor beside it; the rigid
//   crate (crate_physics) and a stand-in skinned box are in map 1 only; an
//   object with the no-shadow byte, one with flag2 0x10000000 and the glass
//   (a translucent subset) are in neither;
// - a device loss and reset releases the maps, makes them again and the next
//   frame draws them.
// With ZT_SKY_MAP_PICTURE=<file.bmp> the test also saves map 0 as a grey
// picture (near white, far black) for a person to look at.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <string>
#include <vector>

#include "app/FocusMgr.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Bmp.h"
#include "platform/gfx/Draw.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/SkyShadowMap.h"
#include "tests/integration/DeviceWorldRun.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectApi.h"

namespace {

glm::vec3 G(const math::Vec3& v) {
    return {v.x, v.y, v.z};
}

class SkyShadowRun : public DeviceWorldRun {
  protected:
    void SetUp() override {
        DeviceWorldRun::SetUp();
        saved_ = {DrawShadows, DrawAnimatedShadows, ShadowMapLevel, RecalculateSkyShadow};
        DrawShadows = DrawAnimatedShadows = RecalculateSkyShadow = true;
        ShadowMapLevel = 0;
        SimpleRender = false;
        UpdateObjects = false;
        UpdateBezier = false;
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        g_Engine.m_bWorldShown = 1;
        // A stand-in skinned box on the floor before the door.
        AddObjectParams p;
        p.dwType = OT_SKINMESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "models\\box.x");
        p.vPosition = {0, 0, -260};
        p.dwFlags = objflags::kFlagVisible;
        skinned_ = g_Engine.AddObject(p);
        ASSERT_TRUE(skinned_);
        // The casters left out: by the no-shadow byte and by flag2 bit 28.
        noShadow_ = Find("crate_explosive");
        noSkyShadow_ = Find("radio_box");
        ASSERT_TRUE(noShadow_ && noSkyShadow_);
        noShadow_->bNoShadow = 1;
        noSkyShadow_->dwFlags2 |= objflags::kFlag2NoSkyShadow;
        for (int i = 0; i < 5; ++i)
            Frame();
    }
    void TearDown() override {
        std::tie(DrawShadows, DrawAnimatedShadows, ShadowMapLevel, RecalculateSkyShadow) = saved_;
        DeviceWorldRun::TearDown();
    }

    // From the south of the room, looking at its middle: every probe in view
    // and in both maps' squares.
    void RunHere(int frames = 3) { RunAt({0, 180, -450}, {0, 0, -100}, frames); }
    // Map 0 moves only in steps of 1024 units: its centre is made stale, as
    // at a world open, so that the next frame builds it where the camera is.
    void BuildHere() {
        g_SkyShadowMap.Reset();
        RunHere(1);
    }

    static std::vector<float> ReadMap(int i) {
        const SkyShadowMap::Map& m = g_SkyShadowMap.m_Maps[i];
        std::vector<float> out;
        if (!m.pSurface) return out;
        gfx::Surface* memory = nullptr;
        g_pD3DInterface->CreateOffscreenPlainSurface(m.dwSize, m.dwSize, gfx::Format::R32F,
                                                     gfx::Pool::SystemMem, &memory);
        EXPECT_EQ(g_pD3DInterface->GetRenderTargetData(m.pSurface, memory), gfx::Result::Ok);
        gfx::LockedRect r;
        if (memory->LockRect(&r, nullptr, gfx::lock::ReadOnly) == gfx::Result::Ok) {
            out.resize(size_t(m.dwSize) * m.dwSize);
            for (uint32_t y = 0; y < m.dwSize; ++y)
                std::memcpy(&out[size_t(y) * m.dwSize],
                            static_cast<const uint8_t*>(r.pBits) + size_t(y) * r.Pitch,
                            m.dwSize * sizeof(float));
            memory->UnlockRect();
        }
        memory->Release();
        return out;
    }

    // What map i holds where the point projects, and the point's own light
    // depth: the light as GLM builds it from the camera, the world's sky-light
    // direction and the map's width and depth.
    struct Probe {
        float held = -1.0f, depth = -1.0f;
    };
    static Probe At(int i, const std::vector<float>& texels, const math::Vec3& p) {
        const SkyShadowMap::Map& m = g_SkyShadowMap.m_Maps[i];
        const float* sky = g_EnvironmentSettings.SkyLightDirection();
        const glm::vec3 d = glm::normalize(glm::vec3(sky[0], sky[1], sky[2]));
        const glm::vec3 camera = G(g_Camera.GetPosition());
        const glm::vec3 eye = glm::trunc(camera - d * (float(m.dwDepth) / 2.0f));
        const float h = float(m.dwWidth) / 2.0f;
        const glm::mat4 light = glm::orthoLH_ZO(-h, h, -h, h, 1.0f, float(m.dwDepth)) *
                                glm::lookAtLH(eye, camera, glm::vec3(0, 1, 0));
        const glm::vec4 clip = light * glm::vec4(G(p), 1.0f);
        Probe out;
        out.depth = clip.z;
        const int x = int((clip.x + 1.0f) * 0.5f * float(m.dwSize));
        const int y = int((1.0f - clip.y) * 0.5f * float(m.dwSize));
        if (texels.empty() || x < 0 || y < 0 || x >= int(m.dwSize) || y >= int(m.dwSize)) return out;
        out.held = texels[size_t(y) * m.dwSize + size_t(x)];
        return out;
    }
    static bool Holds(const Probe& p) { return std::fabs(p.held - p.depth) < 2e-3f; }
    static bool Behind(const Probe& p) { return p.held > p.depth + 4e-3f; }

    // The middle of a mesh object's top face.
    static math::Vec3 TopOf(const ObjectRecord* h) {
        if (const EMesh* mesh = h->Mesh()) {
            const math::Vec3 c = (mesh->m_vWorldMin + mesh->m_vWorldMax) * 0.5f;
            return {c.x, mesh->m_vWorldMax.y, c.z};
        }
        return h->vPosition + math::Vec3{0, 64, 0};
    }

    static bool Recorded(const char* name) {
        for (uint32_t k = 0; k < g_Renderer.PassRecordCount(); ++k)
            if (std::string(g_Renderer.GetPassRecord(k).szName) == name) return true;
        return false;
    }

    // Map 0's texels as a grey picture: 1.0 (nothing) black, the nearest
    // depth of the map white.
    static void SavePicture(const std::vector<float>& texels, uint32_t size, const char* file) {
        float nearest = 1.0f;
        for (float v : texels)
            nearest = std::min(nearest, v);
        std::vector<uint32_t> px(texels.size());
        for (size_t k = 0; k < texels.size(); ++k) {
            const float t = nearest < 1.0f ? (1.0f - texels[k]) / (1.0f - nearest) : 0.0f;
            const uint32_t g = uint32_t(std::lround(std::clamp(t, 0.0f, 1.0f) * 255.0f));
            px[k] = 0xFF000000u | (g << 16) | (g << 8) | g;
        }
        std::FILE* f = std::fopen(file, "wb");
        ASSERT_TRUE(f) << file;
        EXPECT_TRUE(gfx::WriteBmp(f, size, size, px.data(), size));
        std::fclose(f);
    }

    ObjectRecord* skinned_ = nullptr;
    ObjectRecord* noShadow_ = nullptr;
    ObjectRecord* noSkyShadow_ = nullptr;
    std::tuple<bool, bool, uint32_t, bool> saved_;
};

TEST_F(SkyShadowRun, EachMapHoldsItsCastersAndNoneHoldsTheLeftOut) {
    RunHere();
    BuildHere();
    const std::vector<float> far = ReadMap(0), near = ReadMap(1);
    ASSERT_FALSE(far.empty() || near.empty());
    int size = 0, width = 0, depth = 0;
    float bias = 0;
    g_SkyShadowMap.GetProjector(0, &size, &width, &depth, &bias);
    EXPECT_EQ(size, 1024) << "the world's projector";
    EXPECT_EQ(width, 2048);
    EXPECT_EQ(depth, 4096);
    EXPECT_FLOAT_EQ(bias, 0.76f) << "the default bias: the floor does not shadow itself";
    EXPECT_EQ(g_SkyShadowMap.m_Maps[0].pSurface->Width(), 1024u);
    EXPECT_EQ(g_SkyShadowMap.m_Maps[1].dwSize, 2048u) << "shadow quality 0";

    const ObjectRecord* barrel = Find("barrel");
    ASSERT_TRUE(barrel);
    const Probe top = At(0, far, TopOf(barrel));
    // The floor 85 units from the crate across the light (the light goes
    // toward +x and -z), out of its shadow: the texel 40 to the side in map 0.
    const Probe beside = At(0, far, TopOf(barrel) + math::Vec3{60, -32, 60});
    EXPECT_TRUE(Holds(top)) << "the barrel's top: " << top.held << " for " << top.depth;
    EXPECT_TRUE(Holds(beside)) << "the floor beside it: " << beside.held << " for " << beside.depth;
    EXPECT_LT(top.held, beside.held) << "the top is nearer the light than the floor";

    struct Case {
        const char* what;
        const ObjectRecord* h;
        math::Vec3 point;
        bool inFar, inNear;
    } cases[] = {
        {"crate_physics, a rigid body", Find("crate_physics"), {}, false, true},
        {"the stand-in skinned box", skinned_, {}, false, true},
        {"the no-shadow byte", noShadow_, {}, false, false},
        {"flag2 0x10000000", noSkyShadow_, {}, false, false},
        {"the glass, translucent", Find("glass_pane"), {421, 64, -150}, false, false},
        {"a static crate", Find("barrel"), {}, true, false},
        {"a wall", Find("wall_north"), {0, 256, 512}, true, false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.h) << c.what;
        const math::Vec3 p = c.point == math::Vec3{} ? TopOf(c.h) : c.point;
        const Probe inFar = At(0, far, p), inNear = At(1, near, p);
        EXPECT_EQ(Holds(inFar), c.inFar) << c.what << " in map 0: " << inFar.held << " for " << inFar.depth;
        EXPECT_EQ(Behind(inFar), !c.inFar) << c.what << " in map 0: " << inFar.held << " for " << inFar.depth;
        EXPECT_EQ(Holds(inNear), c.inNear)
            << c.what << " in map 1: " << inNear.held << " for " << inNear.depth;
        EXPECT_EQ(Behind(inNear), !c.inNear)
            << c.what << " in map 1: " << inNear.held << " for " << inNear.depth;
    }
    if (const char* file = std::getenv("ZT_SKY_MAP_PICTURE"))
        SavePicture(far, g_SkyShadowMap.m_Maps[0].dwSize, file);
}

TEST_F(SkyShadowRun, ADeviceLossAndResetMakesTheMapsAgainAndTheNextFrameDrawsThem) {
    RunHere();
    BuildHere();
    ASSERT_TRUE(g_SkyShadowMap.HasTargets(0) && g_SkyShadowMap.HasTargets(1));
    const uint32_t resets = g_pD3DInterface->ResetCount();
    g_pD3DInterface->SimulateDeviceLoss(1);
    EXPECT_FALSE(g_FocusMgr.CheckFocus()); // lost
    EXPECT_FALSE(g_FocusMgr.CheckFocus()); // released, reset, made again
    ASSERT_EQ(g_pD3DInterface->ResetCount(), resets + 1) << "nothing of the maps kept the reset from working";
    EXPECT_TRUE(g_SkyShadowMap.HasTargets(0) && g_SkyShadowMap.HasTargets(1)) << "made again";
    EXPECT_FALSE(g_SkyShadowMap.m_Maps[0].bUpToDate) << "to be drawn again";
    const std::vector<float> empty = ReadMap(0);
    ASSERT_TRUE(g_FocusMgr.CheckFocus());

    Place({0, 180, -450}, {0, 0, -100});
    g_Renderer.StartPassRecording();
    Frame();
    g_Renderer.StopPassRecording();
    EXPECT_TRUE(Recorded("ERenderer::RenderShadowMeshes"));
    EXPECT_TRUE(Recorded("ERenderer::RenderShadowNearMeshes"));
    const std::vector<float> far = ReadMap(0);
    EXPECT_NE(far, empty);
    const ObjectRecord* barrel = Find("barrel");
    EXPECT_TRUE(Holds(At(0, far, TopOf(barrel))));
    EXPECT_TRUE(Holds(At(1, ReadMap(1), TopOf(Find("crate_physics")))));
}

} // namespace
