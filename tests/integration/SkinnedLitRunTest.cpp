// Stand-in skinned boxes in the demo world, drawn by the full pipeline in
// this process and read back: outside in the sky light, one of them in the
// shadow of a block; inside under the back light; one hidden by its flags;
// one whose texture has no normal map. Each face is looked at head-on from
// the same distance, so that the light that follows the camera (ambient
// directions, back light, rim) falls on every face alike and only the
// light fixed in the world makes them differ.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "app/Options.h"
#include "render/EnvironmentSettings.h"
#include "render/SkinnedLight.h"
#include "render/SkyShadowMap.h"
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

// Away from the room and the course: the boxes and the block stand alone.
const math::Vec3 kOpen{1100, 0, -900};
const math::Vec3 kShaded{1400, 0, -900};
const math::Vec3 kInside{800, 0, -900};
const math::Vec3 kHidden{950, 0, -900};
const math::Vec3 kBare{650, 0, -900};
constexpr float kHalf = 32;   // the box model: 64 wide, 0..64 high
constexpr float kCentre = 32; // its middle's height

class SkinnedLitRun : public DeviceWorldRun {
  protected:
    void SetUp() override {
        DeviceWorldRun::SetUp();
        saved_ = {UsePS20,        DrawShadows,          DrawAnimatedShadows,
                  ShadowMapLevel, RecalculateSkyShadow, DrawCharacterTextures};
        UsePS20 = false;
        DrawShadows = DrawAnimatedShadows = RecalculateSkyShadow = DrawCharacterTextures = true;
        ShadowMapLevel = 0;
        SimpleRender = false;
        UpdateObjects = false;
        UpdateBezier = false;
        MakeBareModel();
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        g_Engine.m_bWorldShown = 1;
        const float* d = g_EnvironmentSettings.SkyLightDirection();
        toLight_ = math::Vec3Normalize(math::Vec3{-d[0], -d[1], -d[2]});
        open_ = Box(kOpen, "models\\box.x");
        shaded_ = Box(kShaded, "models\\box.x");
        inside_ = Box(kInside, "models\\box.x");
        inside_->dwFlags2 |= objflags::kFlag2NoSkyLight;
        hidden_ = Box(kHidden, "models\\box.x");
        hidden_->dwFlags &= ~objflags::kFlagVisible;
        bare_ = Box(kBare, "models\\box_bare.x");
        bare_->dwFlags2 |= objflags::kFlag2NoSkyLight;
        // A block toward the sky light from the shaded box, beyond the
        // camera that looks at its lit face, tall and wide enough to cover
        // it under the world's sky light.
        math::Vec3 across{toLight_.x, 0, toLight_.z};
        across = math::Vec3Normalize(across);
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "models\\box.x");
        p.vPosition = kShaded + across * 350.0f;
        p.vScale = {3, 6, 3};
        p.dwFlags = objflags::kFlagVisible;
        ASSERT_TRUE(g_Engine.AddObject(p));
        for (int i = 0; i < 5; ++i)
            Frame();
    }
    void TearDown() override {
        std::tie(UsePS20, DrawShadows, DrawAnimatedShadows, ShadowMapLevel, RecalculateSkyShadow,
                 DrawCharacterTextures) = saved_;
        DeviceWorldRun::TearDown();
    }

    // The box model with a texture of its own that has no normal map.
    void MakeBareModel() {
        namespace fs = std::filesystem;
        fs::copy_file(dir_ / "textures" / "crate.tga", dir_ / "textures" / "bare.tga");
        g_Renderer.RegisterTexturePath(".\\textures\\bare.tga");
        std::ifstream in(dir_ / "models" / "box.x");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string from = "textures\\\\crate.tga";
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, from.size(), "textures\\\\bare.tga");
        std::ofstream(dir_ / "models" / "box_bare.x") << text;
    }

    static ObjectRecord* Box(const math::Vec3& at, const char* model) {
        AddObjectParams p;
        p.dwType = OT_SKINMESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", model);
        p.vPosition = at;
        p.dwFlags = objflags::kFlagVisible;
        ObjectRecord* h = g_Engine.AddObject(p);
        EXPECT_TRUE(h && h->SkinMesh()) << model;
        return h;
    }

    // The middle of a box's face of outward normal n, looked at head-on from
    // 100 units; the sky maps are made again where the camera is.
    static Rgb Face(const math::Vec3& box, const math::Vec3& n) {
        const math::Vec3 centre = box + math::Vec3{0, kCentre, 0};
        const math::Vec3 face = centre + n * kHalf;
        const math::Vec3 eye = centre + n * 100.0f;
        g_SkyShadowMap.Reset();
        RunAt(eye, centre);
        uint32_t x = 0, y = 0;
        EXPECT_TRUE(Project(face, &x, &y));
        return Channels(ReadBack()[y * kW + x]);
    }

    // Of the four side faces, the one facing the sky light most and the one
    // facing it least.
    void SideFaces(math::Vec3* toward, math::Vec3* away) const {
        const math::Vec3 sides[4] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}};
        *toward = *away = sides[0];
        for (const math::Vec3& n : sides) {
            if (math::Vec3Dot(n, toLight_) > math::Vec3Dot(*toward, toLight_)) *toward = n;
            if (math::Vec3Dot(n, toLight_) < math::Vec3Dot(*away, toLight_)) *away = n;
        }
    }

    math::Vec3 toLight_;
    ObjectRecord *open_ = nullptr, *shaded_ = nullptr, *inside_ = nullptr, *hidden_ = nullptr,
                 *bare_ = nullptr;
    std::tuple<bool, bool, bool, int, bool, bool> saved_;
};

TEST_F(SkinnedLitRun, OutsideTheFaceTowardTheSkyLightIsBrighterAndTheBlocksShadowDarkensIt) {
    ASSERT_TRUE(g_EnvironmentSettings.m_bSkyLightInUse);
    math::Vec3 toward, away;
    SideFaces(&toward, &away);
    ASSERT_GT(math::Vec3Dot(toward, toLight_), 0.1f) << "the sky light reaches a side face";
    const Rgb lit = Face(kOpen, toward), unlit = Face(kOpen, away);
    EXPECT_GT(lit.Sum(), unlit.Sum() + 30) << lit.Sum() << " against " << unlit.Sum();

    const Rgb shadowed = Face(kShaded, toward);
    DrawShadows = false;
    const Rgb unshadowed = Face(kShaded, toward);
    DrawShadows = true;
    EXPECT_LT(shadowed.Sum() + 30, unshadowed.Sum()) << shadowed.Sum() << " against " << unshadowed.Sum();
}

TEST_F(SkinnedLitRun, InsideTheFaceTowardTheBackLightIsBrighterThanTheOppositeOne) {
    // From the south-east corner both the east and the south face are seen
    // at 45 degrees, so the rim is alike on both; the back light, turned
    // with the camera, reaches one of them.
    const math::Vec3 centre = kInside + math::Vec3{0, kCentre, 0};
    const math::Vec3 eye = centre + math::Vec3{160, 0, -160};
    RunAt(eye, centre);
    const orientation& view = g_Camera.ViewOrientation();
    const math::Vec4 b = litpass::BackLightDirection(view.forward, view.right);
    const math::Vec3 back{b.x, b.y, b.z};
    // The two faces in view, each at 45 degrees to the look.
    const math::Vec3 east{1, 0, 0}, south{0, 0, -1};
    const bool southLit = math::Vec3Dot(south, back) > math::Vec3Dot(east, back);
    const math::Vec3 litFace = southLit ? south : east, darkFace = southLit ? east : south;
    ASSERT_GT(std::fabs(math::Vec3Dot(south, back) - math::Vec3Dot(east, back)), 0.5f);
    uint32_t x = 0, y = 0;
    const std::vector<uint32_t> picture = ReadBack();
    ASSERT_TRUE(Project(centre + litFace * kHalf + darkFace * (kHalf * 0.5f), &x, &y));
    const Rgb lit = Channels(picture[y * kW + x]);
    ASSERT_TRUE(Project(centre + darkFace * kHalf + litFace * (kHalf * 0.5f), &x, &y));
    const Rgb dark = Channels(picture[y * kW + x]);
    EXPECT_GT(lit.Sum(), dark.Sum() + 20) << lit.Sum() << " against " << dark.Sum();
    EXPECT_GE(lit.r - dark.r, lit.b - dark.b) << "the back light is warm";
}

TEST_F(SkinnedLitRun, WithoutCharacterTexturesTheBoxesShowTheWhiteTexture) {
    math::Vec3 toward, away;
    SideFaces(&toward, &away);
    for (const math::Vec3& box : {kOpen, kInside}) {
        const math::Vec3 n = box.x == kInside.x ? math::Vec3{0, 0, -1} : toward;
        DrawCharacterTextures = true;
        const Rgb textured = Face(box, n);
        DrawCharacterTextures = false;
        const Rgb white = Face(box, n);
        DrawCharacterTextures = true;
        EXPECT_GT(white.r, textured.r);
        EXPECT_GT(white.g, textured.g);
        EXPECT_GT(white.b, textured.b);
    }
}

TEST_F(SkinnedLitRun, TheHiddenBoxIsDrawnByNeitherPassAndTheBareTextureIsNamedOncePerFrame) {
    const math::Vec3 centre = kHidden + math::Vec3{0, kCentre, 0};
    RunAt(centre + math::Vec3{0, 200, -400}, centre);
    const uint32_t hidden = hidden_->SkinMesh()->m_dwRenderCalls;
    const uint32_t inside = inside_->SkinMesh()->m_dwRenderCalls;
    const uint32_t open = open_->SkinMesh()->m_dwRenderCalls;
    g_Console.Print("--- skinned lit mark ---");
    Place(centre + math::Vec3{0, 200, -400}, centre);
    Frame();
    EXPECT_EQ(hidden_->SkinMesh()->m_dwRenderCalls, hidden);
    EXPECT_GT(inside_->SkinMesh()->m_dwRenderCalls, inside) << "its neighbours are drawn";
    EXPECT_GT(open_->SkinMesh()->m_dwRenderCalls, open);
    char lines[EConsole::NUM_LINES][EConsole::LINE_LEN];
    int mark = -1, named = 0;
    for (int i = 0; i < EConsole::NUM_LINES; ++i) {
        g_Console.CopyLine(i, lines[i]);
        if (std::string(lines[i]) == "--- skinned lit mark ---") mark = i;
    }
    for (int i = mark + 1; i < EConsole::NUM_LINES; ++i)
        named += std::string(lines[i]).find("bare.tga - brak normala!") != std::string::npos;
    EXPECT_EQ(named, 1);
}

} // namespace
