// The demo world's pool and lava plane drawn in this process and read back:
// which pass draws the water in each pipeline, the water gone with
// DrawWater off while the lava stays, the lava flowing from one second to
// the next while the floor beside it keeps its colour, and the reflection:
// the crate at the pool's edge and a stand-in skinned box in the water
// target where their mirrored images project, the water showing them, and
// the target left alone without the option or without the water object.
#include <gtest/gtest.h>

#include <glm/glm.hpp>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/VideoConfig.h"
#include "platform/gfx/Draw.h"
#include "render/DepthRender.h"
#include "tests/integration/DeviceWorldRun.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
Rgb Channels(uint32_t c) {
    return {int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)};
}
int Distance(const Rgb& a, const Rgb& b) {
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

// The pool (water at y = 2 over x 652..908, z -512..-256) seen from its
// south-west, the lava plane (y = 1 over x 1332..1588) from its south.
const math::Vec3 kPoolEye{700, 160, -600}, kPoolAt{800, 0, -360}, kPoolPoint{740, 2, -420};
const math::Vec3 kLavaEye{1460, 200, -640}, kLavaAt{1460, 0, -384}, kLavaPoint{1460, 1, -384};
const math::Vec3 kFloorPoint{1260, 0, -384}; // course floor west of the lava

class WaterRun : public DeviceWorldRun {
  protected:
    void SetUp() override {
        DeviceWorldRun::SetUp();
        saved_ = {UsePS20, DrawWater, OptionMV05};
        UsePS20 = false;
        DrawWater = true;
        SimpleRender = true;
        UpdateObjects = false;
        UpdateBezier = false;
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        g_Engine.m_bWorldShown = 1;
        for (int i = 0; i < 5; ++i)
            Frame();
    }
    void TearDown() override {
        std::tie(UsePS20, DrawWater, OptionMV05) = saved_;
        DeviceWorldRun::TearDown();
    }

    static Rgb PixelOf(const math::Vec3& point) {
        uint32_t x = 0, y = 0;
        EXPECT_TRUE(Project(point, &x, &y));
        return Channels(ReadBack()[y * kW + x]);
    }
    static Rgb PixelAt(const math::Vec3& eye, const math::Vec3& at, const math::Vec3& point) {
        RunAt(eye, at);
        return PixelOf(point);
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
    // ZT_WATER_PICTURE=DIR saves the frame as DIR/NAME.bmp, to be looked at.
    static void SavePicture(const std::string& name) {
        const char* dir = std::getenv("ZT_WATER_PICTURE");
        if (!dir) return;
        std::string file = std::string(dir) + "/" + name + ".bmp";
        for (char& c : file)
            if (c == ' ' || c == ',') c = '_';
        g_pD3DInterface->SaveSurfaceToFile(file.c_str(), g_pBackBufferSurface);
    }
    // The water passes of one frame from the pose. (The lava plane off to
    // the side of the pool's view may be drawn too: the camera volume that
    // leaves objects out opens wider than the view.)
    static std::vector<std::string> PassesAt(const math::Vec3& eye, const math::Vec3& at) {
        RunAt(eye, at, 2);
        g_Renderer.StartPassRecording();
        Place(eye, at);
        Frame();
        g_Renderer.StopPassRecording();
        std::vector<std::string> out;
        for (uint32_t i = 0; i < g_Renderer.PassRecordCount(); ++i) {
            const std::string name = g_Renderer.GetPassRecord(i).szName;
            if (name.find("Water") != std::string::npos) out.push_back(name);
        }
        return out;
    }

    std::tuple<bool, bool, bool> saved_;
};

TEST_F(WaterRun, EachPipelineDrawsThePoolWithItsOwnPassAndDrawWaterOffLeavesOnlyTheLava) {
    struct Case {
        const char* name;
        bool simpleRender, usePS20, reflection;
        std::vector<std::string> passes; // at the pool
    } cases[] = {
        {"fastest", true, false, true, {"ERenderer::RenderWater"}},
        {"full, reflection off", false, false, false, {"ERenderer::RenderWaterReflection"}},
        {"full, shader model 2", false, true, true, {"ERenderer::RenderWater"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimpleRender = c.simpleRender;
        UsePS20 = c.usePS20;
        OptionMV05 = c.reflection;
        DrawWater = true;
        EXPECT_EQ(PassesAt(kPoolEye, kPoolAt), c.passes);
        SavePicture(c.name);
        const Rgb water = PixelOf(kPoolPoint);
        const Rgb under = HiddenPixelAt("water", kPoolEye, kPoolAt, kPoolPoint);
        EXPECT_GT(Distance(water, under), 24) << "the water covers what lies under it";
        const Rgb lava = PixelAt(kLavaEye, kLavaAt, kLavaPoint);
        const Rgb beneathLava = HiddenPixelAt("lava_pool", kLavaEye, kLavaAt, kLavaPoint);
        EXPECT_GT(Distance(lava, beneathLava), 24);

        DrawWater = false;
        EXPECT_GT(Distance(PixelAt(kPoolEye, kPoolAt, kPoolPoint), water), 24)
            << "no water in either pipeline";
        // The shader-model-2 base pass lays the pool's depth whether or not
        // water is drawn, which hides the floor under it.
        if (!c.usePS20) {
            EXPECT_EQ(PixelOf(kPoolPoint), under);
        }
        EXPECT_GT(Distance(PixelAt(kLavaEye, kLavaAt, kLavaPoint), beneathLava), 24) << "the lava stays";
    }
}

// The fastest pipeline names a lit texture without its normal map every
// frame it is drawn; the demo's lava has its flat one, so looking at the
// lava fills the console with nothing.
TEST_F(WaterRun, TheLavaIsDrawnWithItsNormalMapAndNothingIsNamedMissing) {
    SimpleRender = true;
    g_Console.Print("--- mark ---");
    RunAt(kLavaEye, kLavaAt);
    std::vector<std::string> missing;
    for (int i = 0; i < EConsole::NUM_LINES; ++i) {
        char line[EConsole::LINE_LEN];
        g_Console.CopyLine(i, line);
        if (std::string(line) == "--- mark ---") missing.clear();
        if (std::string(line).find("brak normala") != std::string::npos) missing.push_back(line);
    }
    EXPECT_EQ(missing, std::vector<std::string>{});
}

// The demo world has no skinned mesh: no frame of either pipeline runs a
// skinned-mesh pass, whatever lights and triggers are in view.
TEST_F(WaterRun, AWorldWithoutSkinnedMeshesRunsNoSkinnedPass) {
    int skinned = 0;
    g_Engine.ForEachSlotBelowHighWater([&](int slot) {
        const ObjectRecord* h = g_Engine.Object(slot);
        skinned += h->bUsed && h->dwType == OT_SKINMESH;
    });
    ASSERT_EQ(skinned, 0);
    for (bool simple : {true, false}) {
        SCOPED_TRACE(simple ? "fastest" : "full");
        SimpleRender = simple;
        for (const auto& [eye, at] : {std::pair{kPoolEye, kPoolAt}, std::pair{kLavaEye, kLavaAt},
                                      std::pair{math::Vec3{0, 150, 0}, math::Vec3{0, 100, 504}}}) {
            RunAt(eye, at, 2);
            g_Renderer.StartPassRecording();
            Place(eye, at);
            Frame();
            g_Renderer.StopPassRecording();
            ASSERT_GT(g_Renderer.PassRecordCount(), 0u);
            for (uint32_t i = 0; i < g_Renderer.PassRecordCount(); ++i) {
                const std::string name = g_Renderer.GetPassRecord(i).szName;
                EXPECT_EQ(name.find("Skinmesh"), std::string::npos) << name;
            }
        }
    }
}

TEST_F(WaterRun, TheLavaFlowsFromOneSecondToTheNextWhileTheFloorStays) {
    for (bool simple : {true, false}) {
        SCOPED_TRACE(simple ? "fastest" : "full");
        SimpleRender = simple;
        RunAt(kLavaEye, kLavaAt);
        const std::vector<uint32_t> before = ReadBack();
        RunAt(kLavaEye, kLavaAt, 30); // one second at 30 frames a second
        const std::vector<uint32_t> after = ReadBack();
        uint32_t x = 0, y = 0;
        ASSERT_TRUE(Project(kFloorPoint, &x, &y));
        EXPECT_EQ(Channels(after[y * kW + x]), Channels(before[y * kW + x])) << "the floor";
        // Across the lava's middle, a row of pixels: most of them change.
        int changed = 0, probes = 0;
        for (float dx = -96; dx <= 96; dx += 8) {
            ASSERT_TRUE(Project({kLavaPoint.x + dx, kLavaPoint.y, kLavaPoint.z}, &x, &y));
            ++probes;
            changed += Distance(Channels(after[y * kW + x]), Channels(before[y * kW + x])) > 12;
        }
        EXPECT_GT(changed, probes / 2);
    }
}

// The pool's crate (box.x at (870, 0, -300): 64 units, its south face at
// z = -332) seen from the south-west above the pool; its mirrored image in
// the water at y = 2 hangs below the surface.
const math::Vec3 kReflectEye{760, 90, -620}, kReflectAt{860, -30, -330};
const math::Vec3 kCrateFace{870, 40, -333};
math::Vec3 Mirrored(const math::Vec3& p) {
    return {p.x, 2.0f * 2.0f - p.y, p.z};
}

class WaterReflectionRun : public WaterRun {
  protected:
    void SetUp() override {
        WaterRun::SetUp();
        SimpleRender = false;
        OptionMV05 = true;
    }
    // The water target's texels, top-down.
    static std::vector<uint32_t> ReadTarget() {
        gfx::Texture* target = g_DepthRender.WaterTexture();
        EXPECT_TRUE(target);
        if (!target) return {};
        gfx::Surface* level = nullptr;
        EXPECT_EQ(target->GetSurfaceLevel(0, &level), gfx::Result::Ok);
        if (!level) return {};
        const uint32_t size = g_DepthRender.WaterViewport().Width;
        std::vector<uint32_t> px(size_t(size) * size, 0xDEADBEEF);
        gfx::Surface* memory = nullptr;
        g_pD3DInterface->CreateOffscreenPlainSurface(size, size, level->GetFormat(), gfx::Pool::SystemMem,
                                                     &memory);
        EXPECT_TRUE(memory);
        if (memory && g_pD3DInterface->GetRenderTargetData(level, memory) == gfx::Result::Ok) {
            gfx::LockedRect lr;
            memory->LockRect(&lr, nullptr, gfx::lock::ReadOnly);
            for (uint32_t y = 0; y < size; ++y)
                for (uint32_t x = 0; x < size; ++x)
                    px[size_t(y) * size + x] = static_cast<const uint32_t*>(static_cast<const void*>(
                        static_cast<const uint8_t*>(lr.pBits) + size_t(y) * lr.Pitch))[x];
            memory->UnlockRect();
        } else {
            ADD_FAILURE() << "no read-back of the water target";
        }
        if (memory) memory->Release();
        level->Release();
        return px;
    }
    // The texel of the target where a world point projects with the
    // camera's view and projection (GLM, row vectors as the engine keeps
    // them).
    static Rgb TexelOf(const std::vector<uint32_t>& target, const math::Vec3& p) {
        const math::Matrix v = g_Camera.View(), pr = g_Camera.Projection();
        glm::mat4 view, proj;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                view[r][c] = v.m[r][c]; // GLM's columns are the engine's rows
                proj[r][c] = pr.m[r][c];
            }
        const glm::vec4 clip = proj * view * glm::vec4(p.x, p.y, p.z, 1.0f);
        const uint32_t size = g_DepthRender.WaterViewport().Width;
        const float x = (clip.x / clip.w * 0.5f + 0.5f) * float(size);
        const float y = (0.5f - clip.y / clip.w * 0.5f) * float(size);
        EXPECT_TRUE(clip.w > 0 && x >= 0 && y >= 0 && x < float(size) && y < float(size));
        if (!(clip.w > 0 && x >= 0 && y >= 0 && x < float(size) && y < float(size))) return {};
        return Channels(target[size_t(y) * size + size_t(x)]);
    }
    static bool Reddish(const Rgb& c) { return c.r > c.b + 40; }
    static bool Drawn(const char* pass) {
        for (uint32_t i = 0; i < g_Renderer.PassRecordCount(); ++i)
            if (std::string(g_Renderer.GetPassRecord(i).szName) == pass) return true;
        return false;
    }
};

TEST_F(WaterReflectionRun, TheMirroredCrateIsInTheTargetAndTheWaterShowsIt) {
    RunAt(kReflectEye, kReflectAt);
    SavePicture("reflection");
    const std::vector<uint32_t> target = ReadTarget();
    const Rgb crate = TexelOf(target, Mirrored(kCrateFace));
    EXPECT_TRUE(Reddish(crate)) << crate.r << "," << crate.g << "," << crate.b;
    const Rgb sky = TexelOf(target, Mirrored({700, 40, -400})); // nothing stands there
    EXPECT_GT(Distance(crate, sky), 24);
    // On the screen, the water where the mirrored crate shows against the
    // water where only the sky is mirrored.
    const Rgb underCrate = PixelOf(Mirrored(kCrateFace));
    const Rgb away = PixelOf({700, 2, -420});
    EXPECT_GT(Distance(underCrate, away), 24);
}

// Looking steeply down at the pool, the water mirrors the sky overhead: the
// sky box (gen_meshes.py: 960 units around the eye, bands up to y = 960,
// the zenith navy on its top face, a cloud square of 480 at 720) is seen
// through the mirrored view, so where the eye looks 51 degrees down (a
// direction that meets y = 960 at z = 784 once mirrored, beyond the clouds)
// the target holds the zenith band and not the ground's bands below the
// horizon.
TEST_F(WaterReflectionRun, TheWaterMirrorsTheSkyOverheadNotTheSkyBelowTheHorizon) {
    const math::Vec3 eye{780, 100, -560}, at{780, 2, -440};
    RunAt(eye, at);
    SavePicture("sky mirrored");
    const Rgb zenith{0, 0, 132}; // NAVY of gen_textures.py
    const Rgb texel = TexelOf(ReadTarget(), {780, 2, -480});
    EXPECT_LT(Distance(texel, zenith), 40) << texel.r << "," << texel.g << "," << texel.b;
}

// Two meshes overlapping in the mirror: the nearer one hides the farther
// whichever of their textures comes first in the list (the crate's
// crate.tga, reddish, and the bright panel's bright_panel.tga, near white).
TEST_F(WaterReflectionRun, OverlappingMeshesInTheMirrorHideEachOtherByDistance) {
    struct Case {
        const char* name;
        float panelZ;      // the panel's plane, facing south
        bool crateInFront; // what the mirrored crate face's texel shows
    } cases[] = {
        {"the panel in front of the crate", -345.0f, false},
        {"the panel behind the crate", -255.0f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AddObjectParams params;
        params.dwType = OT_MESH;
        std::snprintf(params.szFileName, sizeof params.szFileName, "models\\bright_panel.x");
        params.vPosition = {870, 8, c.panelZ};
        params.dwFlags = objflags::kFlagVisible;
        ObjectRecord* panel = g_Engine.AddObject(params);
        ASSERT_TRUE(panel && panel->Mesh());
        RunAt(kReflectEye, kReflectAt);
        SavePicture(c.name);
        const Rgb texel = TexelOf(ReadTarget(), Mirrored(kCrateFace));
        EXPECT_EQ(Reddish(texel), c.crateInFront) << texel.r << "," << texel.g << "," << texel.b;
        g_Engine.DeleteObject(panel);
    }
}

TEST_F(WaterReflectionRun, AStandInSkinnedBoxNearTheCameraIsMirroredToo) {
    AddObjectParams params;
    params.dwType = OT_SKINMESH;
    std::snprintf(params.szFileName, sizeof params.szFileName, "models\\box.x");
    params.vPosition = {720, 0, -300};
    params.dwFlags = objflags::kFlagVisible;
    ObjectRecord* box = g_Engine.AddObject(params);
    ASSERT_TRUE(box && box->SkinMesh());
    RunAt(kReflectEye, kReflectAt);
    EXPECT_LT(box->iCameraDistance, 2000);
    EXPECT_TRUE(Reddish(TexelOf(ReadTarget(), Mirrored({720, 40, -333}))));
}

TEST_F(WaterReflectionRun, WithoutTheOptionOrTheWaterObjectTheTargetIsLeftAsItWas) {
    RunAt(kReflectEye, kReflectAt);
    const std::vector<uint32_t> drawn = ReadTarget();
    struct Case {
        const char* name;
        bool option;
        const char* waterName;
        bool reflectionRuns;
    } cases[] = {
        {"the option off", false, "water", false},
        {"no object named water", true, "pool", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OptionMV05 = c.option;
        ObjectRecord* water = Find("water");
        ASSERT_TRUE(water);
        SetObjectName(water, c.waterName);
        // The crate moves: a new reflection would show it elsewhere.
        ObjectRecord* crate = Find("pool_crate");
        ASSERT_TRUE(crate);
        SetObjectPosition(crate, {760, 0, -300});
        g_Console.Print("--- mark ---");
        g_Renderer.StartPassRecording();
        Place(kReflectEye, kReflectAt);
        Frame();
        g_Renderer.StopPassRecording();
        EXPECT_EQ(Drawn("EDepthRender::RenderWaterReflection"), c.reflectionRuns);
        EXPECT_EQ(ReadTarget(), drawn);
        bool printed = false;
        for (int i = 0; i < EConsole::NUM_LINES; ++i) {
            char line[EConsole::LINE_LEN];
            g_Console.CopyLine(i, line);
            if (std::string(line) == "--- mark ---") printed = false;
            if (std::string(line) == "No water object!") printed = true;
        }
        EXPECT_EQ(printed, c.reflectionRuns);
        SetObjectName(Find(c.waterName), "water");
        SetObjectPosition(crate, {870, 0, -300});
    }
}

} // namespace
