// The demo world's overlay surfaces drawn by the fastest pipeline in this
// process and read back: the glowing sign on the north wall, the oil stain
// on the floor and the light shaft, each against the same pixel with its
// object hidden; the shader-model-2 ambient base pass before the base pass,
// leaving the same picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/VideoConfig.h"
#include "render/Mesh.h"
#include "skinmesh/SkinMesh.h"
#include "tests/integration/DeviceWorldRun.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

struct Rgb {
    int r, g, b;
    int Sum() const { return r + g + b; }
};
Rgb Channels(uint32_t c) {
    return {int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)};
}

class OverlayRun : public DeviceWorldRun {
  protected:
    void SetUp() override {
        DeviceWorldRun::SetUp();
        saved_ = UsePS20;
        UsePS20 = false;
        SimpleRender = true;
        UpdateObjects = false;
        UpdateBezier = false;
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        g_Engine.m_bWorldShown = 1;
        for (int i = 0; i < 5; ++i)
            Frame();
    }
    void TearDown() override {
        UsePS20 = saved_;
        DeviceWorldRun::TearDown();
    }

    // The pixel of a world point in the picture drawn from the pose.
    static Rgb PixelAt(const math::Vec3& eye, const math::Vec3& at, const math::Vec3& point) {
        RunAt(eye, at);
        uint32_t x = 0, y = 0;
        EXPECT_TRUE(Project(point, &x, &y));
        return Channels(ReadBack()[y * kW + x]);
    }
    // The same with the named object hidden.
    static Rgb HiddenPixelAt(const char* object, const math::Vec3& eye, const math::Vec3& at,
                             const math::Vec3& point) {
        ObjectRecord* h = Find(object);
        EXPECT_TRUE(h) << object;
        if (!h) return {};
        h->dwFlags &= ~objflags::kFlagVisible;
        const Rgb out = PixelAt(eye, at, point);
        h->dwFlags |= objflags::kFlagVisible;
        return out;
    }

    bool saved_ = false;
};

TEST_F(OverlayRun, TheSignGlowsTheStainDarkensTowardItsColourAndTheShaftBrightens) {
    {
        SCOPED_TRACE("the sign on the north wall");
        const math::Vec3 eye{100, 184, 380}, at{100, 184, 503};
        const math::Vec3 sign{76, 196, 503}, beside{20, 196, 504};
        const Rgb lit = PixelAt(eye, at, sign);
        uint32_t x = 0, y = 0;
        ASSERT_TRUE(Project(beside, &x, &y));
        const Rgb wall = Channels(ReadBack()[y * kW + x]);
        const Rgb behind = HiddenPixelAt("glow_sign", eye, at, sign);
        EXPECT_GT(lit.Sum(), wall.Sum());
        EXPECT_GT(lit.Sum(), behind.Sum());
        EXPECT_GE(lit.r, behind.r);
        EXPECT_GE(lit.g, behind.g);
        EXPECT_GE(lit.b, behind.b);
    }
    {
        SCOPED_TRACE("the oil stain on the floor");
        const math::Vec3 eye{250, 200, -200}, at{250, 0, -50}, stain{250, 0.5f, -50};
        const Rgb stained = PixelAt(eye, at, stain);
        const Rgb floor = HiddenPixelAt("oil_stain", eye, at, stain);
        EXPECT_LT(stained.Sum(), floor.Sum());
        EXPECT_LE(stained.r, floor.r);
        EXPECT_LE(stained.g, floor.g);
        EXPECT_LE(stained.b, floor.b);
        // The stain is blue-grey: blue gains on red.
        EXPECT_GT(stained.b * floor.r, floor.b * stained.r);
    }
    {
        SCOPED_TRACE("the light shaft");
        const math::Vec3 eye{-100, 116, 150}, at{-100, 116, 350}, shaft{-100, 116, 350};
        const Rgb lit = PixelAt(eye, at, shaft);
        const Rgb behind = HiddenPixelAt("light_shaft", eye, at, shaft);
        EXPECT_GT(lit.Sum(), behind.Sum());
        EXPECT_GE(lit.r, behind.r);
        EXPECT_GE(lit.g, behind.g);
        EXPECT_GE(lit.b, behind.b);
    }
}

// Whether a seen static mesh has a seen, non-empty `transparent` subset.
bool SeenTransparentSubset() {
    for (int slot = 0; slot < g_Engine.m_iMeshHighWater; ++slot) {
        const ObjectRecord* h = g_Engine.Object(slot);
        const EMesh* mesh = h->Mesh();
        if (!h->bUsed || !h->bVisibleNow || !h->bSeen || !mesh || !h->pD3DXMesh ||
            !(h->dwFlags & objflags::kFlagVisible))
            continue;
        for (uint32_t i = 0; i < mesh->m_dwNumSubsets && i < uint32_t(EMesh::MAX_SUBSETS); ++i)
            if (h->bSubsetDraw[i] && mesh->m_bNonEmpty[i] && mesh->m_bTransparent[i]) return true;
    }
    return false;
}

TEST_F(OverlayRun, WithShaderModel2TheAmbientBasePassComesFirstAndTheChosenPixelsStayTheSame) {
    struct View {
        const char* name;
        math::Vec3 eye, at;
        std::vector<math::Vec3> probes;
    } views[] = {
        {"over the room", {-450, 300, -450}, {0, 60, 0}, {{-100, 0, 60}, {-158, 32, 158}, {250, 200, 504}}},
        {"at the sign", {100, 184, 380}, {100, 184, 503}, {{76, 196, 503}, {20, 196, 504}}},
        {"at the grate curtain", {-250, 80, 0}, {-420, 80, 0}, {}},
    };
    int transparentViews = 0;
    for (const View& v : views) {
        SCOPED_TRACE(v.name);
        UsePS20 = false;
        RunAt(v.eye, v.at);
        const std::vector<uint32_t> full = ReadBack();
        UsePS20 = true;
        RunAt(v.eye, v.at, 2);
        g_Renderer.StartPassRecording();
        Place(v.eye, v.at);
        Frame();
        g_Renderer.StopPassRecording();
        const bool transparent = SeenTransparentSubset();
        transparentViews += transparent;
        std::vector<std::string> passes;
        for (uint32_t i = 0; i < g_Renderer.PassRecordCount(); ++i) {
            const std::string name = g_Renderer.GetPassRecord(i).szName;
            if (name == "ERenderer::RenderAmbientBaseColor" || name == "ERenderer::RenderAmbient" ||
                name == "ERenderer::RenderSimpleMeshes")
                passes.push_back(name);
        }
        std::vector<std::string> want = {"ERenderer::RenderAmbientBaseColor"};
        if (transparent) want.push_back("ERenderer::RenderAmbient");
        want.push_back("ERenderer::RenderSimpleMeshes");
        EXPECT_EQ(passes, want);
        const std::vector<uint32_t> base = ReadBack();
        for (const math::Vec3& p : v.probes) {
            uint32_t x = 0, y = 0;
            ASSERT_TRUE(Project(p, &x, &y));
            const Rgb a = Channels(full[y * kW + x]), b = Channels(base[y * kW + x]);
            EXPECT_NEAR(a.r, b.r, 2) << x << "," << y;
            EXPECT_NEAR(a.g, b.g, 2) << x << "," << y;
            EXPECT_NEAR(a.b, b.b, 2) << x << "," << y;
        }
        // The base pass's flat magenta never reaches the picture, also
        // under blended transparent texels (the grate's filtered alpha):
        // no pixel leans further toward it than the full pipeline's.
        int tinted = 0;
        for (size_t i = 0; i < full.size(); ++i) {
            const Rgb a = Channels(full[i]), b = Channels(base[i]);
            const int leanFull = std::min(a.r, a.b) - a.g, leanBase = std::min(b.r, b.b) - b.g;
            tinted += leanBase > std::max(leanFull, 0) + 8;
        }
        EXPECT_EQ(tinted, 0);
    }
    EXPECT_EQ(transparentViews, 2) << "the grate curtain is seen from over the room and before it";
}

TEST_F(OverlayRun, AFlashLightsTheSurfacesNearItForItsTimeAndSkinnedMeshesOnlyWhileModelsAreDrawn) {
    // A stand-in skinned box on the floor before the door.
    AddObjectParams params;
    params.dwType = OT_SKINMESH;
    std::snprintf(params.szFileName, sizeof params.szFileName, "models\\box.x");
    params.vPosition = {0, 0, -260};
    params.dwFlags = objflags::kFlagVisible;
    ObjectRecord* skinned = g_Engine.AddObject(params);
    ASSERT_TRUE(skinned && skinned->SkinMesh());
    const float beside[3] = {0, 32, -320};
    struct Case {
        const char* name;
        math::Vec3 eye, at, face; // the face looks at the eye
        const float* flash;
    };
    const float besideBarrel[3] = {-150, 20, 100};
    const Case cases[] = {
        {"the barrel", {-150, 40, 20}, {-150, 16, 150}, {-150, 16, 134}, besideBarrel},
        {"the stand-in skinned box", {0, 40, -380}, {0, 32, -260}, {0, 32, -292}, beside},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rgb before = PixelAt(c.eye, c.at, c.face);
        g_Renderer.AddFlash(c.flash);
        Place(c.eye, c.at);
        Frame();
        uint32_t x = 0, y = 0;
        ASSERT_TRUE(Project(c.face, &x, &y));
        const Rgb lit = Channels(ReadBack()[y * kW + x]);
        EXPECT_GT(lit.Sum(), before.Sum() + 30) << "lit in the frame of the flash";
        // 0.1 s later: three frames at 30 a second.
        const Rgb after = PixelAt(c.eye, c.at, c.face);
        EXPECT_FALSE(g_Renderer.m_bAnyFlash);
        EXPECT_NEAR(after.r, before.r, 2);
        EXPECT_NEAR(after.g, before.g, 2);
        EXPECT_NEAR(after.b, before.b, 2);
    }
    // Without models the skinned box is drawn by no pass, the strobe one
    // included: a frame with the flash asks it to draw as often as one
    // without.
    const bool models = DrawModels;
    DrawModels = false;
    RunAt(cases[1].eye, cases[1].at);
    uint32_t calls = skinned->SkinMesh()->m_dwRenderCalls;
    Frame();
    const uint32_t plain = skinned->SkinMesh()->m_dwRenderCalls - calls;
    g_Renderer.AddFlash(beside);
    calls = skinned->SkinMesh()->m_dwRenderCalls;
    g_Renderer.StartPassRecording();
    Frame();
    g_Renderer.StopPassRecording();
    EXPECT_EQ(skinned->SkinMesh()->m_dwRenderCalls - calls, plain);
    bool strobe = false;
    for (uint32_t i = 0; i < g_Renderer.PassRecordCount(); ++i)
        strobe |= std::string(g_Renderer.GetPassRecord(i).szName) == "ERenderer::RenderStroboSkinmeshes";
    EXPECT_TRUE(strobe) << "the pass ran and drew nothing";
    DrawModels = models;
}

} // namespace
