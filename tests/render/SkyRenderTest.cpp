// The sky of the demo world drawn on a real headless device: the colours
// read back are those of the sky mesh's subsets that a ray through each
// pixel meets first (the translucent cloud layer blended over what lies
// behind it), the picture does not depend on where the eye is, the drawer
// writes no depth and leaves the device's sampler and blend states as the
// passes after it expect, and it draws nothing when it must not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FocusMgr.h"
#include "app/Options.h"
#include "app/Orientation.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/window/Window.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/MeshMgr.h"
#include "render/Renderer.h"
#include "tests/app/ScratchDir.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kW = 128, kH = 96;
// The clear colour: no subset of the sky has it.
constexpr uint32_t kMarker = 0x00FF00FFu;

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// What the sky mesh holds, read from the mesh manager's geometry and the
// texture files themselves, independent of the drawer.
struct SkyModel {
    struct Triangle {
        math::Vec3 a, b, c;
        uint32_t subset;
    };
    std::vector<Triangle> triangles;
    std::vector<Rgb> colour;       // per subset: its texture's (flat) colour
    std::vector<float> alpha;      // its texture's alpha, 0..1
    std::vector<bool> translucent; // its texture is marked "translucent"

    // The subset a ray from the origin meets first, skipping translucent
    // ones when `opaqueOnly`; -1 when none.
    int Hit(const math::Vec3& dir, bool opaqueOnly) const {
        float best = 1e30f;
        int found = -1;
        for (const Triangle& t : triangles) {
            if (opaqueOnly && translucent[t.subset]) continue;
            const float d = Intersect(dir, t);
            if (d > 0 && d < best) best = d, found = int(t.subset);
        }
        return found;
    }

    // Ray (origin 0) against a triangle: the distance along dir, or -1.
    static float Intersect(const math::Vec3& dir, const Triangle& t) {
        const math::Vec3 e1 = t.b - t.a, e2 = t.c - t.a;
        const math::Vec3 p = math::Vec3Cross(dir, e2);
        const float det = math::Vec3Dot(e1, p);
        if (std::fabs(det) < 1e-9f) return -1;
        const math::Vec3 s = -t.a;
        const float u = math::Vec3Dot(s, p) / det;
        if (u < 0 || u > 1) return -1;
        const math::Vec3 q = math::Vec3Cross(s, e1);
        const float v = math::Vec3Dot(dir, q) / det;
        if (v < 0 || u + v > 1) return -1;
        return math::Vec3Dot(e2, q) / det;
    }
};

// The first texel of an uncompressed 32-bit TGA as colour and alpha.
bool TgaTexel(const fs::path& file, Rgb* colour, float* alpha) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 22 || bytes[2] != 2 || uint8_t(bytes[16]) != 32) return false;
    const size_t at = 18 + uint8_t(bytes[0]);
    colour->b = uint8_t(bytes[at]);
    colour->g = uint8_t(bytes[at + 1]);
    colour->r = uint8_t(bytes[at + 2]);
    *alpha = float(uint8_t(bytes[at + 3])) / 255.0f;
    return true;
}

class SkyRender : public ScratchDirTest {
  protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("ZT_UNATTENDED", "1", 1);
    }

    void SetUp() override {
        ScratchDirTest::SetUp();
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", root_, fs::copy_options::recursive);
        savedW_ = screenwidth, savedH_ = screenheight;
        screenwidth = kW, screenheight = kH;
        window::CreateParams p;
        p.title = "sky test";
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        g_pD3D = gfx::CreateInterface();
        ASSERT_NE(g_pD3D, nullptr);
        ASSERT_TRUE(g_D3DMain.Create(win_.get()));
        g_FocusMgr.Start();
        g_Renderer.Init();
        g_Engine.m_bInitialized = 1;
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
        ASSERT_NE(g_EnvironmentSettings.SkyObject(), nullptr);
        g_Engine.m_bWorldShown = 1;
        DrawSky = true;
        WireFrame = false;
        d_ = g_pD3DInterface;
    }

    void TearDown() override {
        DrawSky = true;
        WireFrame = false;
        g_Engine.StartWorld("*");
        g_Engine.m_bInitialized = 0;
        g_Engine.m_bWorldShown = 0;
        g_MeshMgr.ReleaseAll();
        g_Renderer.ReleaseTextures();
        g_Renderer.ReleaseTexturePaths();
        g_D3DMain.Release();
        if (g_pD3D) g_pD3D->Release();
        g_pD3D = nullptr;
        g_FocusMgr.m_bOnFocus = false;
        g_FocusMgr.m_bStarted = false;
        win_.reset();
        screenwidth = savedW_, screenheight = savedH_;
        window::ClearMessageQueue();
        ScratchDirTest::TearDown();
    }

    static void Look(const math::Vec3& eye, const math::Vec3& direction) {
        orientation o;
        o.SetDirection(math::Vec3Normalize(direction));
        g_Camera.SetPosition(eye);
        g_Camera.SetOrientation(o);
        g_Camera.UpdateViewMatrix();
    }

    // Clears to the marker, draws the sky alone and reads the picture back.
    std::vector<uint32_t> Draw() {
        d_->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, kMarker, 1.0f, 0);
        d_->BeginScene();
        g_EnvironmentSettings.RenderSky();
        d_->EndScene();
        std::vector<uint32_t> px(kW * kH, 0xDEADBEEF);
        EXPECT_EQ(d_->ReadPixels(g_pBackBufferSurface, px.data(), kW), gfx::Result::Ok);
        for (uint32_t& c : px)
            c &= 0xFFFFFF;
        return px;
    }

    SkyModel Model() const {
        SkyModel model;
        const EMesh* sky = g_EnvironmentSettings.SkyObject()->Mesh();
        const EMeshMgr::strmesh* entry = g_MeshMgr.GetEntry(sky->m_iMeshId);
        EXPECT_TRUE(entry && entry->pMesh);
        if (!entry || !entry->pMesh) return model;
        const mesh::Mesh& m = *entry->pMesh;
        for (uint32_t f = 0; f < m.NumFaces(); ++f) {
            const auto& v = m.Vertices();
            const auto& i = m.Indices();
            model.triangles.push_back({v[i[3 * f]].position, v[i[3 * f + 1]].position,
                                       v[i[3 * f + 2]].position, m.Attributes()[f]});
        }
        for (uint32_t s = 0; s < sky->m_dwNumSubsets; ++s) {
            std::string file = entry->MaterialBuffer[s].textureFile;
            std::replace(file.begin(), file.end(), '\\', '/');
            Rgb c;
            float a = 1;
            EXPECT_TRUE(TgaTexel(root_ / file, &c, &a)) << file;
            model.colour.push_back(c);
            model.alpha.push_back(a);
            const strtexture* t = g_Renderer.GetTexture(sky->m_dwTextureId[s]);
            model.translucent.push_back(t && t->desc.bTranslucent);
        }
        return model;
    }

    // The direction from the eye through the centre of a pixel, in the
    // eye-centred frame the sky is drawn in.
    static math::Vec3 PixelRay(const math::Matrix& inverseViewProj, float x, float y) {
        const math::Vec3 ndc{(x + 0.5f) / float(kW) * 2 - 1, 1 - (y + 0.5f) / float(kH) * 2, 0.5f};
        return math::Vec3Normalize(math::Vec3TransformCoord(ndc, inverseViewProj));
    }

    std::unique_ptr<window::Window> win_;
    gfx::Device* d_ = nullptr;
    uint32_t savedW_ = 0, savedH_ = 0;
};

bool Near(uint32_t pixel, const Rgb& c, int tolerance) {
    return std::abs(int((pixel >> 16) & 0xFF) - c.r) <= tolerance &&
           std::abs(int((pixel >> 8) & 0xFF) - c.g) <= tolerance &&
           std::abs(int(pixel & 0xFF) - c.b) <= tolerance;
}

std::string Hex(uint32_t c) {
    char s[16];
    std::snprintf(s, sizeof s, "%06X", c);
    return s;
}

TEST_F(SkyRender, EachPixelShowsTheSubsetItsRayMeetsWithTheCloudsBlended) {
    const SkyModel model = Model();
    ASSERT_EQ(model.colour.size(), 6u);
    ASSERT_FALSE(model.triangles.empty());
    // Pixels of each subset (the translucent one counted where it lies over
    // another), over four looks that between them see every band.
    std::map<int, int> seen;
    const math::Vec3 looks[] = {{0, 0.35f, 1}, {0.2f, 3, 1}, {1, -0.6f, 0.3f}, {-1, 0.9f, -0.2f}};
    for (const math::Vec3& look : looks) {
        SCOPED_TRACE(testing::Message() << "look " << look.x << " " << look.y << " " << look.z);
        Look({40, 130, -70}, look);
        const std::vector<uint32_t> px = Draw();

        math::Matrix view = g_Camera.View();
        view.m[3][0] = view.m[3][1] = view.m[3][2] = 0;
        math::Matrix projection, inverse;
        ASSERT_EQ(d_->GetTransform(gfx::TransformState::Projection, &projection), gfx::Result::Ok);
        ASSERT_TRUE(math::MatrixInverse(math::MatrixMultiply(view, projection), &inverse));

        for (uint32_t y = 1; y + 1 < kH; ++y) {
            for (uint32_t x = 1; x + 1 < kW; ++x) {
                // Only pixels well inside one subset: the rays through the
                // pixel's corners meet the same subsets as through its centre.
                auto trace = [&](float fx, float fy) {
                    const math::Vec3 dir = PixelRay(inverse, fx, fy);
                    return std::make_pair(model.Hit(dir, false), model.Hit(dir, true));
                };
                const auto hit = trace(float(x), float(y));
                bool inside = true;
                for (float dy : {-1.0f, 1.0f})
                    for (float dx : {-1.0f, 1.0f})
                        inside = inside && trace(float(x) + dx, float(y) + dy) == hit;
                if (!inside) continue;
                ASSERT_GE(hit.first, 0) << "the sky box surrounds the eye";
                const uint32_t pixel = px[y * kW + x];
                Rgb expected = model.colour[size_t(hit.first)];
                int tolerance = 1;
                if (model.translucent[size_t(hit.first)]) {
                    ASSERT_GE(hit.second, 0);
                    const float a = model.alpha[size_t(hit.first)];
                    const Rgb& back = model.colour[size_t(hit.second)];
                    expected = {int(std::lround(expected.r * a + back.r * (1 - a))),
                                int(std::lround(expected.g * a + back.g * (1 - a))),
                                int(std::lround(expected.b * a + back.b * (1 - a)))};
                    tolerance = 2;
                }
                EXPECT_TRUE(Near(pixel, expected, tolerance))
                    << "pixel " << x << "," << y << " subset " << hit.first << " is " << Hex(pixel);
                ++seen[hit.first];
            }
        }
    }
    for (int subset = 0; subset < 6; ++subset)
        EXPECT_GE(seen[subset], 8) << "subset " << subset << " was hardly seen";
}

// The looks are along axes, so that the camera's own view matrix, whose
// look-at point is eye + forward, is exact at every eye.
TEST_F(SkyRender, TheSkyStaysCentredOnTheEye) {
    for (const math::Vec3& look : {math::Vec3(0, 0, 1), math::Vec3(0, 1, 0), math::Vec3(-1, 0, 0)}) {
        SCOPED_TRACE(testing::Message() << "look " << look.x << " " << look.y << " " << look.z);
        Look({0, 0, 0}, look);
        const std::vector<uint32_t> first = Draw();
        EXPECT_EQ(std::count(first.begin(), first.end(), kMarker), 0) << "the sky covers the whole screen";
        for (const math::Vec3& eye : {math::Vec3(5000, -300, 12345), math::Vec3(-70000, 20000, 3)}) {
            Look(eye, look);
            EXPECT_TRUE(Draw() == first) << "eye " << eye.x << " " << eye.y << " " << eye.z;
        }
    }
}

TEST_F(SkyRender, LeavesTheStatesThePassesAfterItExpect) {
    Look({10, 20, 30}, {1, 0.2f, 0});
    for (uint32_t s = 0; s < 10; ++s)
        d_->SetSamplerState(s, gfx::SamplerState::MipMapLodBias, gfx::FloatState(0.5f));
    math::Matrix view;
    d_->GetTransform(gfx::TransformState::View, &view);
    Draw();
    for (uint32_t s = 0; s < 10; ++s) {
        uint32_t bias = 0;
        d_->GetSamplerState(s, gfx::SamplerState::MipMapLodBias, &bias);
        EXPECT_FLOAT_EQ(gfx::StateFloat(bias), s < 8 ? -1.0f : 0.5f) << "sampler " << s;
    }
    auto state = [&](gfx::RenderState r) {
        uint32_t v = 0;
        d_->GetRenderState(r, &v);
        return v;
    };
    EXPECT_EQ(state(gfx::RenderState::AlphaBlendEnable), 0u);
    EXPECT_EQ(state(gfx::RenderState::AlphaTestEnable), 0u);
    EXPECT_EQ(state(gfx::RenderState::ZEnable), 1u);
    EXPECT_EQ(state(gfx::RenderState::ZWriteEnable), 1u);
    math::Matrix after;
    d_->GetTransform(gfx::TransformState::View, &after);
    EXPECT_EQ(after, view);
    EXPECT_EQ(view, g_Camera.View());
}

// The sky writes no depth: a screen quad drawn after it at a depth far
// beyond the box (1 - 1/z of the camera's projection at 100000 units) shows
// over the whole screen.
TEST_F(SkyRender, HidesNothingDrawnAfterIt) {
    Look({0, 0, 0}, {0.3f, 0.4f, 1});
    d_->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, kMarker, 1.0f, 0);
    d_->BeginScene();
    g_EnvironmentSettings.RenderSky();
    struct Vertex {
        float x, y, z, rhw;
        uint32_t colour;
    };
    const float z = 1.0f - 1.0f / 100000.0f;
    const Vertex quad[4] = {{0, 0, z, 1, 0xFF102030u},
                            {float(kW), 0, z, 1, 0xFF102030u},
                            {0, float(kH), z, 1, 0xFF102030u},
                            {float(kW), float(kH), z, 1, 0xFF102030u}};
    d_->SetTexture(0, nullptr);
    d_->SetTextureStageState(0, gfx::TextureStageState::ColorOp, gfx::StateValue(gfx::TextureOp::SelectArg1));
    d_->SetTextureStageState(0, gfx::TextureStageState::ColorArg1, gfx::texarg::Diffuse);
    d_->SetTextureStageState(0, gfx::TextureStageState::AlphaOp, gfx::StateValue(gfx::TextureOp::Disable));
    d_->SetFVF(gfx::fvf::XyzRhw | gfx::fvf::Diffuse);
    d_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, quad, sizeof(Vertex));
    d_->EndScene();
    std::vector<uint32_t> px(kW * kH, 0);
    ASSERT_EQ(d_->ReadPixels(g_pBackBufferSurface, px.data(), kW), gfx::Result::Ok);
    const long covered =
        std::count_if(px.begin(), px.end(), [](uint32_t p) { return (p & 0xFFFFFF) == 0x102030u; });
    EXPECT_EQ(covered, long(px.size()));
}

struct QuietCase {
    const char* name;
    std::function<void()> set;
};

class SkyRenderQuiet : public SkyRender, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(SkyRenderQuiet, DrawsNothing) {
    Look({0, 0, 0}, {0, 0.5f, 1});
    GetParam().set();
    const std::vector<uint32_t> px = Draw();
    EXPECT_EQ(std::count(px.begin(), px.end(), kMarker), long(px.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Sky, SkyRenderQuiet,
    ::testing::Values(QuietCase{"DrawSkyOff", [] { DrawSky = false; }},
                      QuietCase{"NoSkyObject", [] { g_EnvironmentSettings.DeleteSkyObject(); }},
                      QuietCase{"WorldNotShown", [] { g_Engine.m_bWorldShown = 0; }},
                      QuietCase{"WireFrame", [] { WireFrame = true; }}),
    [](const ::testing::TestParamInfo<QuietCase>& info) { return std::string(info.param.name); });

TEST_F(SkyRender, ASkyWhoseGeometryIsGoneSaysSoEachFrame) {
    Look({0, 0, 0}, {0, 0.5f, 1});
    EMesh* sky = g_EnvironmentSettings.SkyObject()->Mesh();
    const int id = sky->m_iMeshId;
    sky->m_iMeshId = -1;
    const std::vector<uint32_t> px = Draw();
    Draw();
    sky->m_iMeshId = id;
    EXPECT_EQ(std::count(px.begin(), px.end(), kMarker), long(px.size()));
    char last[EConsole::LINE_LEN], before[EConsole::LINE_LEN];
    g_Console.CopyLine(EConsole::NUM_LINES - 1, last);
    g_Console.CopyLine(EConsole::NUM_LINES - 2, before);
    EXPECT_STREQ(last, "Nie ma mesha nieba");
    EXPECT_STREQ(before, "Nie ma mesha nieba");
}

} // namespace
