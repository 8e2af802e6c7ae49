// The demo world's two boxes lit from the ground under them, run in this
// process on the program's own device with the full pipeline: after 300
// frames each has been probed, the box on the dark patch holds a darker
// probed colour than the one on the lit floor and its top is drawn darker;
// a device loss and reset makes the probe targets again and the boxes are
// probed as before.
// With ZT_PROBE_PICTURE=<file.bmp> the test also saves the picture.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gfx/Bmp.h"
#include "render/AmbientProbe.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "tests/integration/DeviceWorldRun.h"
#include "world/EngineObjectFlags.h"

namespace {

// From the north-east of the two boxes, both in view.
const math::Vec3 kEye{260, 160, -120}, kAt{250, 0, -360};

struct Rgb {
    float r = 0, g = 0, b = 0;
    float Sum() const { return r + g + b; }
};

class AmbientProbeRun : public DeviceWorldRun {
  protected:
    void SetUp() override {
        DeviceWorldRun::SetUp();
        // The full pipeline: its sky-light pass leaves the sky light on the
        // effect that the probes draw with.
        SimpleRender = !FullPipeline();
        UpdateObjects = true;
        UpdateBezier = false;
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        g_Engine.m_bWorldShown = 1;
        lit_ = Find("probe_box_lit");
        dark_ = Find("probe_box_dark");
        ASSERT_TRUE(lit_ && dark_);
        // The player flies where the camera looks from, within reach of the
        // camera ride's trigger zone, which would take the view: it goes.
        g_Engine.DeleteObject(Find("ride_start"));
        RunAt(kEye, kAt, 300);
        ASSERT_EQ(g_Camera.GetPosition(), kEye);
    }

    static Rgb Probed(const ObjectRecord* h) {
        return {h->fProbedAmbient[0], h->fProbedAmbient[1], h->fProbedAmbient[2]};
    }

    // The mean colour of the 3 x 3 pixels where a point of a box's top
    // projects: 8 units in from its middle toward +x and +z, the same texel
    // of the crate texture on both boxes.
    static Rgb TopOf(const ObjectRecord* h, const std::vector<uint32_t>& picture) {
        const EMesh* mesh = h->Mesh();
        EXPECT_TRUE(mesh);
        if (!mesh) return {};
        const math::Vec3 c = (mesh->m_vWorldMin + mesh->m_vWorldMax) * 0.5f;
        uint32_t x = 0, y = 0;
        EXPECT_TRUE(Project({c.x + 8, mesh->m_vWorldMax.y, c.z + 8}, &x, &y)) << h->szName;
        Rgb sum;
        for (uint32_t dy = y - 1; dy <= y + 1; ++dy)
            for (uint32_t dx = x - 1; dx <= x + 1; ++dx) {
                const uint32_t p = picture[dy * kW + dx];
                sum.r += float((p >> 16) & 0xFF) / 9.0f;
                sum.g += float((p >> 8) & 0xFF) / 9.0f;
                sum.b += float(p & 0xFF) / 9.0f;
            }
        return sum;
    }

    virtual bool FullPipeline() const { return true; }

    ObjectRecord* lit_ = nullptr;
    ObjectRecord* dark_ = nullptr;
};

// The reset with the fastest pipeline, whose targets are all released
// before a reset.
class AmbientProbeFastestRun : public AmbientProbeRun {
  protected:
    bool FullPipeline() const override { return false; }
};

TEST_F(AmbientProbeRun, TheBoxOnTheDarkPatchIsProbedAndDrawnDarker) {
    for (const ObjectRecord* h : {lit_, dark_}) {
        EXPECT_EQ(h->bAmbientProbed, 1) << h->szName;
        EXPECT_EQ(h->bAmbientReprobe, 0) << h->szName;
        EXPECT_EQ(h->bLightingSampled, 1) << h->szName;
    }
    const Rgb lit = Probed(lit_), dark = Probed(dark_);
    EXPECT_LT(dark.r, lit.r);
    EXPECT_LT(dark.g, lit.g);
    EXPECT_LT(dark.b, lit.b);
    // Measured, not only the clear: the floor under the lit box is lit by
    // more than its ambient colour alone.
    const math::Vec3 floor = EAmbientProbe::ReferenceColour(Find("floor"));
    EXPECT_GT(lit.Sum(), floor.x + floor.y + floor.z) << lit.r << " " << lit.g << " " << lit.b;

    const std::vector<uint32_t> picture = ReadBack();
    const Rgb litTop = TopOf(lit_, picture), darkTop = TopOf(dark_, picture);
    EXPECT_LT(darkTop.Sum(), litTop.Sum()) << "dark " << darkTop.Sum() << ", lit " << litTop.Sum();
    if (const char* file = std::getenv("ZT_PROBE_PICTURE")) {
        std::FILE* f = std::fopen(file, "wb");
        ASSERT_TRUE(f) << file;
        EXPECT_TRUE(gfx::WriteBmp(f, kW, kH, picture.data(), kW));
        std::fclose(f);
    }
}

TEST_F(AmbientProbeFastestRun, ADeviceResetMakesTheTargetsAgainAndTheBoxesAreProbedAsBefore) {
    ASSERT_TRUE(g_AmbientProbe.HasTargets());
    const Rgb before[2] = {Probed(lit_), Probed(dark_)};
    const uint32_t resets = g_pD3DInterface->ResetCount();
    g_pD3DInterface->SimulateDeviceLoss(1);
    EXPECT_FALSE(g_FocusMgr.CheckFocus()); // lost
    EXPECT_FALSE(g_FocusMgr.CheckFocus()); // released, reset, made again
    ASSERT_EQ(g_pD3DInterface->ResetCount(), resets + 1)
        << "nothing of the probe kept the reset from working";
    EXPECT_TRUE(g_AmbientProbe.HasTargets()) << "made again";
    ASSERT_TRUE(g_FocusMgr.CheckFocus());

    for (ObjectRecord* h : {lit_, dark_}) {
        h->bAmbientReprobe = 1;
        h->fProbedAmbient[0] = h->fProbedAmbient[1] = h->fProbedAmbient[2] = -1.0f;
    }
    RunAt(kEye, kAt, 2);
    const Rgb after[2] = {Probed(lit_), Probed(dark_)};
    for (int i = 0; i < 2; ++i) {
        EXPECT_FLOAT_EQ(after[i].r, before[i].r) << i;
        EXPECT_FLOAT_EQ(after[i].g, before[i].g) << i;
        EXPECT_FLOAT_EQ(after[i].b, before[i].b) << i;
    }
}

} // namespace
