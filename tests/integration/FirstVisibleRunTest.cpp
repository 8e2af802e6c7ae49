// The demo world drawn by the fastest pipeline (SimpleRender) in this
// process with moving objects held, read back after chosen frames:
// - from above the south-west corner the floor, a crate's top and the north
//   wall show their texels lit as the effect's formula gives, and the sky's
//   band above the horizon stands over the far wall;
// - low along the crate row in fog set 1 the crates read unfogged, partly
//   fogged, the fog colour and (without fog) unfogged;
// - low before the north wall the occlusion test hides the crate behind it,
//   leaves its faces out of the rendered polygons and changes no pixel;
//   the grate curtain counts as seen, and the glass is left to the second
//   call of the sky-light pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/Debug.h"
#include "render/EnvironmentSettings.h"
#include "tests/integration/DeviceWorldRun.h"
#include "world/ObjectRecord.h"

namespace {

struct Rgb {
    float r, g, b;
};
constexpr Rgb kGrey{132, 130, 132}, kBrown{132, 65, 0};
// Above the south-west corner, looking at the room's centre.
const math::Vec3 kOverviewEye{-450, 300, -450}, kOverviewAt{0, 60, 0};

// The fastest effect's formula for one point of an object: the texel lit by
// the object's ambient colour and the sky light, then fogged by the eye
// distance with the object's fog set.
uint32_t Formula(const Rgb& texel, const math::Vec3& normal, const ObjectRecord* h, const math::Vec3& point) {
    const EnvironmentSettings& env = g_EnvironmentSettings;
    const uint32_t ambient = env.GetAmbientColor(h->iAmbientLightIdx);
    uint32_t sky = 0;
    env.GetSkyLightColor(&sky);
    const float* d = env.SkyLightDirection();
    const float length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const float facing = std::max(0.0f, -(normal.x * d[0] + normal.y * d[1] + normal.z * d[2]) / length);
    const bool skyLit = env.m_bSkyLightInUse && UseSkyLight && !(h->dwFlags2 & 0x8);
    const float power = std::min(SkyLightPower, 2.0f);
    uint32_t fogColour = 0;
    float fogNear = 80000.0f, fogFar = 80008.0f;
    if (!(h->dwFlags2 & 0x40000)) {
        env.GetFogColor(&fogColour, h->iFogIdx);
        env.GetFogNear(&fogNear, h->iFogIdx);
        env.GetFogFar(&fogFar, h->iFogIdx);
    }
    const float distance = math::Vec3Length(point - g_Camera.GetPosition());
    const float fog = fogFar <= fogNear ? (distance >= fogFar ? 1.0f : 0.0f)
                                        : std::clamp((distance - fogNear) / (fogFar - fogNear), 0.0f, 1.0f);
    const float t[3] = {texel.r, texel.g, texel.b};
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) {
        const int shift = 16 - 8 * c;
        const float light = float((ambient >> shift) & 0xFF) / 255.0f +
                            (skyLit ? facing * float((sky >> shift) & 0xFF) / 255.0f * power : 0.0f);
        float v = std::min(1.0f, t[c] / 255.0f * light);
        v += (float((fogColour >> shift) & 0xFF) / 255.0f - v) * fog;
        out = (out << 8) | uint32_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
    }
    return out;
}

// The first texel of an uncompressed 32-bit TGA, 0x00RRGGBB.
uint32_t TgaTexel(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 22) return 0xFFFFFFFF;
    const size_t at = 18 + uint8_t(b[0]);
    return uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 1])) << 8 | uint8_t(b[at]);
}

void ExpectNear(uint32_t got, uint32_t want, int tolerance, const std::string& what) {
    for (int shift : {16, 8, 0}) {
        EXPECT_NEAR(int((got >> shift) & 0xFF), int((want >> shift) & 0xFF), tolerance)
            << what << std::hex << ": got " << (got & 0xFFFFFF) << ", want " << want;
    }
}

class FirstVisibleRun : public DeviceWorldRun {
  protected:
    void SetUp() override {
        DeviceWorldRun::SetUp();
        SimpleRender = true;
        UpdateObjects = false;
        UpdateBezier = false;
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        // Shown at once, as the level start shows it at its 205th frame: the
        // sky is drawn only in a shown world.
        g_Engine.m_bWorldShown = 1;
        // The renderer draws from the fifth game frame on.
        for (int i = 0; i < 5; ++i)
            Frame();
    }

    struct Probe {
        const char* what;
        const char* object;
        math::Vec3 point;
        math::Vec3 normal;
        Rgb texel;
    };
    void CheckProbes(const std::vector<Probe>& probes, int tolerance) {
        const std::vector<uint32_t> px = ReadBack();
        for (const Probe& p : probes) {
            const ObjectRecord* h = Find(p.object);
            ASSERT_TRUE(h) << p.object;
            uint32_t x = 0, y = 0;
            ASSERT_TRUE(Project(p.point, &x, &y)) << p.what;
            ExpectNear(px[y * kW + x], Formula(p.texel, p.normal, h, p.point), tolerance, p.what);
        }
    }
};

TEST_F(FirstVisibleRun, FromAboveTheSouthWestCornerTheRoomShowsItsLitTexels) {
    RunAt(kOverviewEye, kOverviewAt);
    // Texels by the boxes' and the floor's texture quarters: the quarter of
    // negative x and positive z is grey on the floor (beside the alcove floor
    // that lies over its middle) and brown on a crate's top; the wall's upper
    // half toward +x is orange.
    CheckProbes({{"the floor", "floor", {-200, 0, 60}, {0, 1, 0}, kGrey},
                 {"the barrel's top", "barrel", {-158, 32, 158}, {0, 1, 0}, kBrown},
                 {"the north wall", "wall_north", {250, 200, 504}, {0, 0, -1}, {255, 130, 0}}},
                4);
    // Above the far wall the sky: the ray through that point leaves the eye
    // a little above level and meets the sky box's band above the horizon,
    // whose texture's colour shows unlit and unfogged.
    ASSERT_NE(g_EnvironmentSettings.SkyObject(), nullptr) << "the demo world names its sky";
    uint32_t x = 0, y = 0;
    ASSERT_TRUE(Project({250, 330, 600}, &x, &y));
    const uint32_t above = ReadBack()[y * kW + x] & 0xFFFFFF;
    const uint32_t horizon = TgaTexel(dir_ / "textures" / "sky_horizon.tga");
    EXPECT_NE(horizon, g_Camera.GetBackgroundColor() & 0xFFFFFF);
    ExpectNear(above, horizon, 1, "the sky above the north wall");
}

TEST_F(FirstVisibleRun, AlongTheCrateRowTheFogGrowsWithDistanceUnlessTheObjectHasNone) {
    RunAt({560, 32, 400}, {1000, 32, 400});
    // Each crate's face toward the eye, a quarter in from its top and its
    // +z side: brown.
    struct Crate {
        const char* name;
        float fog; // expected share of the fog colour
    } crates[] = {
        {"crate_fog_near", 0.0f}, {"crate_fog_mid", -1.0f}, {"crate_fog_far", 1.0f}, {"crate_fog_off", 0.0f}};
    const std::vector<uint32_t> px = ReadBack();
    for (const Crate& c : crates) {
        const ObjectRecord* h = Find(c.name);
        ASSERT_TRUE(h) << c.name;
        const math::Vec3 point{h->vPosition.x - 32.0f, 48.0f, h->vPosition.z + 16.0f};
        uint32_t x = 0, y = 0;
        ASSERT_TRUE(Project(point, &x, &y)) << c.name;
        const uint32_t got = px[y * kW + x];
        ExpectNear(got, Formula(kBrown, {-1, 0, 0}, h, point), 4, c.name);
        // The share of fog the formula gives, read against the two ends.
        const float distance = math::Vec3Length(point - g_Camera.GetPosition());
        if (c.fog >= 0.0f) {
            const float share =
                (h->dwFlags2 & 0x40000) ? 0.0f : std::clamp((distance - 200.0f) / 400.0f, 0.0f, 1.0f);
            EXPECT_EQ(share, c.fog) << c.name << " at " << distance;
        } else {
            EXPECT_GT(distance, 200.0f) << c.name;
            EXPECT_LT(distance, 600.0f) << c.name;
        }
    }
    uint32_t fog = 0;
    g_EnvironmentSettings.GetFogColor(&fog, 1);
    const ObjectRecord* far = Find("crate_fog_far");
    uint32_t x = 0, y = 0;
    ASSERT_TRUE(Project({far->vPosition.x - 32.0f, 48.0f, far->vPosition.z + 16.0f}, &x, &y));
    EXPECT_EQ(px[y * kW + x] & 0xFFFFFF, fog & 0xFFFFFF) << "exactly the fog colour";
}

TEST_F(FirstVisibleRun, TheOcclusionTestHidesTheCrateBehindTheNorthWallAndChangesNoPixel) {
    const math::Vec3 eye{150, 40, 250}, at{150, 40, 620};
    PrintPolygonCount = true;
    struct Result {
        std::vector<uint32_t> picture;
        uint32_t rendered = 0;
        std::vector<const ObjectRecord*> hidden; // in view, drawable, not seen
    } result[2];
    for (int occluder = 0; occluder < 2; ++occluder) {
        RecalculateOccluders = occluder == 1;
        RunAt(eye, at);
        Result& r = result[occluder];
        r.picture = ReadBack();
        r.rendered = g_Debug.m_PolygonStats.renderedPolygons;
        for (int slot = 0; slot < g_Engine.m_iMeshHighWater; ++slot) {
            const ObjectRecord* h = g_Engine.Object(slot);
            if (h->bUsed && h->bVisibleNow && h->pD3DXMesh && !h->bSeen) r.hidden.push_back(h);
        }
    }
    const ObjectRecord* crate = Find("crate_hidden");
    ASSERT_TRUE(crate);
    EXPECT_TRUE(crate->bVisibleNow) << "in view";
    EXPECT_FALSE(crate->bSeen) << "hidden by the wall";
    EXPECT_TRUE(result[0].hidden.empty()) << "without the test everything counts as seen";
    EXPECT_NE(std::find(result[1].hidden.begin(), result[1].hidden.end(), crate), result[1].hidden.end());
    uint32_t hiddenFaces = 0;
    for (const ObjectRecord* h : result[1].hidden)
        hiddenFaces += h->pD3DXMesh->NumFaces();
    EXPECT_GE(hiddenFaces, 12u) << "the crate's twelve faces at least";
    EXPECT_EQ(result[1].rendered + hiddenFaces, result[0].rendered) << "hidden faces are not rendered";
    size_t differ = 0, first = 0;
    for (size_t i = 0; i < result[0].picture.size(); ++i) {
        if (result[0].picture[i] != result[1].picture[i] && !differ++) first = i;
    }
    EXPECT_EQ(differ, 0u) << "the picture is the same pixel for pixel; the first difference at " << first % kW
                          << ", " << first / kW;
}

TEST_F(FirstVisibleRun, TheGrateCountsAsSeenAndTheGlassIsLeftToTheSecondCall) {
    RecalculateOccluders = true;
    // Facing the grate curtain from inside the room, the crate behind it.
    RunAt({-150, 80, 0}, {-420, 60, 0});
    const ObjectRecord* grate = Find("curtain");
    const ObjectRecord* behind = Find("crate_grated");
    ASSERT_TRUE(grate && behind);
    EXPECT_TRUE(grate->bVisibleNow);
    EXPECT_TRUE(grate->bSeen && grate->bSubsetDraw[0]) << "a transparent subset is never hidden";
    EXPECT_TRUE(behind->bVisibleNow && behind->bSeen) << "seen through the grate";

    RunAt(kOverviewEye, kOverviewAt, 2);
    Place(kOverviewEye, kOverviewAt);
    g_Renderer.StartPassRecording();
    Frame();
    g_Renderer.StopPassRecording();
    bool secondCall = false;
    for (uint32_t i = 0; i < g_Renderer.PassRecordCount(); ++i) {
        const ERenderer::PassRecord& r = g_Renderer.GetPassRecord(i);
        secondCall =
            secondCall || (std::string(r.szName) == "ERenderer::RenderSkyLightMeshes" && r.dwCall == 1);
    }
    EXPECT_TRUE(secondCall) << "the glass's translucent texture set the sky-lit meshes' second call";
    const ObjectRecord* glass = Find("glass_pane");
    ASSERT_TRUE(glass && glass->bVisibleNow);
    // The glass (cyan, half transparent) is not drawn by the fastest pass:
    // its middle shows what stands behind it, not a cyan tint.
    uint32_t x = 0, y = 0;
    ASSERT_TRUE(Project(glass->vPosition + math::Vec3{0, 64, 0}, &x, &y));
    const uint32_t pixel = ReadBack()[y * kW + x];
    const int red = int((pixel >> 16) & 0xFF), blue = int(pixel & 0xFF);
    EXPECT_GE(red + 16, blue) << std::hex << pixel;
}

} // namespace
