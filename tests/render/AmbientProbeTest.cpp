// The ambient probes: the bounds against the reference colour; and on the
// headless device, with a small probe effect of the test's own: the queue's
// limit and what a processed request leaves in its receiver, the read-back
// failures, the centre pixel's address, the clear with depth formats with
// and without a stencil, only the ground object (and only the wanted
// texture's subsets) drawn, the camera put back, the missing targets and the
// device hooks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "app/D3DMain.h"
#include "app/FocusMgr.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/Mesh.h"
#include "render/AmbientProbe.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Renderer.h"
#include "tests/EffectDevice.h"
#include "tests/world/BehaviourFixture.h"
#include "world/EngineObjectFlags.h"

namespace {

using math::Vec3;

// ---- The bounds ------------------------------------------------------------------------------------

struct BoundCase {
    const char* name;
    Vec3 reference, measured, want;
};

class ProbeBounds : public ::testing::TestWithParam<BoundCase> {};

TEST_P(ProbeBounds, KeepAColourWithinItsReferenceOnlyWhenAllThreeChannelsAreBeyond) {
    const BoundCase& c = GetParam();
    const Vec3 got = EAmbientProbe::Bound(c.measured, c.reference);
    EXPECT_NEAR(got.x, c.want.x, 1e-6f);
    EXPECT_NEAR(got.y, c.want.y, 1e-6f);
    EXPECT_NEAR(got.z, c.want.z, 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProbeBounds,
    ::testing::Values(
        BoundCase{
            "BlueNotAboveTheUpperBoundStays", {0.5f, 0.5f, 0.5f}, {0.9f, 0.9f, 0.6f}, {0.9f, 0.9f, 0.6f}},
        BoundCase{
            "AllAboveBecomeTheUpperBound", {0.5f, 0.5f, 0.5f}, {0.9f, 0.9f, 0.9f}, {0.65f, 0.65f, 0.65f}},
        BoundCase{
            "AllBelowBecomeTheLowerBound", {0.5f, 0.5f, 0.5f}, {0.1f, 0.1f, 0.1f}, {0.15f, 0.15f, 0.15f}},
        BoundCase{
            "BlueNotBelowTheLowerBoundStays", {0.5f, 0.5f, 0.5f}, {0.1f, 0.1f, 0.2f}, {0.1f, 0.1f, 0.2f}},
        BoundCase{"OnTheUpperBoundIsNotAbove", {0.5f, 0.5f, 0.5f}, {0.65f, 0.9f, 0.9f}, {0.65f, 0.9f, 0.9f}},
        BoundCase{"EachChannelAgainstItsOwn", {0.2f, 0.4f, 0.6f}, {0.3f, 0.6f, 0.9f}, {0.26f, 0.52f, 0.78f}},
        BoundCase{"BlackReferenceAllAboveBecomesBlack", {0, 0, 0}, {0.2f, 0.3f, 0.4f}, {0, 0, 0}},
        BoundCase{"BlackReferenceAZeroChannelStays", {0, 0, 0}, {0.0f, 0.3f, 0.4f}, {0.0f, 0.3f, 0.4f}},
        BoundCase{"BlackReferenceBlackStays", {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
        BoundCase{
            "AFailedReadBackIsLiftedToTheLowerBound", {0.5f, 0.25f, 1.0f}, {0, 0, 0}, {0.15f, 0.075f, 0.3f}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- On the device -------------------------------------------------------------------------------------

// The test's probe technique draws half the ambient colour plus 0.25 red, so
// that what was drawn differs from the clear (the reference itself).
const char* const kProbeEffect = R"(
parameter float4x4 g_mWorldViewProjection;
parameter float4 g_AmbientLightDiffuse;
parameter bool g_bVertexColor = false;
input float3 aPos : POSITION;
input float4 aColor : COLOR0;
glsl vertex vs {
    out vec4 vColor;
    void main() { gl_Position = g_mWorldViewProjection * vec4(aPos, 1.0); vColor = aColor; }
}
glsl fragment fs {
    in vec4 vColor;
    void main() {
        vec3 c = g_AmbientLightDiffuse.rgb * 0.5 + vec3(0.25, 0.0, 0.0);
        if (g_bVertexColor) c *= vColor.rgb;
        FragColor = vec4(c, 1.0);
    }
}
technique RenderPlantProbeNoTexture { pass { vertex vs; fragment fs; CullMode = None; } }
)";

// What the test's technique draws for an ambient colour (0x00RRGGBB).
uint32_t Drawn(uint32_t ambient) {
    auto ch = [&](int shift, float add) {
        const float v = float((ambient >> shift) & 0xFF) / 255.0f * 0.5f + add;
        return uint32_t(std::lround(std::min(v, 1.0f) * 255.0f));
    };
    return ch(16, 0.25f) << 16 | ch(8, 0.0f) << 8 | ch(0, 0.0f);
}

bool Near(uint32_t a, uint32_t b) {
    for (int shift : {0, 8, 16})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 1) return false;
    return true;
}

std::string Hex(uint32_t v) {
    char s[16];
    std::snprintf(s, sizeof s, "%06X", v);
    return s;
}

// A .x mesh of two double-sided quads in the plane y = 0, normals up, vertex
// colours white: "near" (its own texture) over x and z in -256..256, and
// "far" (another texture) far off at x 1000..1100.
void WriteGroundMesh(const std::filesystem::path& file) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream f(file);
    f << "xof 0303txt 0032\nMesh m {\n 8;\n"
         "  -256;0;-256;, -256;0;256;, 256;0;256;, 256;0;-256;,\n"
         "  1000;0;0;, 1000;0;100;, 1100;0;100;, 1100;0;0;;\n"
         " 8;\n"
         "  3;0,1,2;, 3;0,2,3;, 3;0,2,1;, 3;0,3,2;,\n"
         "  3;4,5,6;, 3;4,6,7;, 3;4,6,5;, 3;4,7,6;;\n"
         " MeshNormals {\n  1;\n  0;1;0;;\n  8;\n"
         "  3;0,0,0;, 3;0,0,0;, 3;0,0,0;, 3;0,0,0;, 3;0,0,0;, 3;0,0,0;, 3;0,0,0;, 3;0,0,0;;\n }\n"
         " MeshMaterialList {\n  2;\n  8;\n  0,0,0,0,1,1,1,1;\n";
    for (const char* texture : {"textures\\\\probe_near.tga", "textures\\\\probe_far.tga"})
        f << "  Material {\n   1.0;1.0;1.0;1.0;;\n   8.0;\n   0.0;0.0;0.0;;\n   0.0;0.0;0.0;;\n"
             "   TextureFilename { \""
          << texture << "\"; }\n  }\n";
    f << " }\n}\n";
}

class ProbeDeviceTest : public BehaviourTest {
  protected:
    void SetUp() override {
        BehaviourTest::SetUp();
        ASSERT_NE(d_.dev, nullptr);
        g_pD3DInterface = d_.dev;
        saved_ = {g_DepthStencilFormat, g_EnvironmentSettings.GetAmbientColor(0),
                  g_EnvironmentSettings.GetAmbientColor(1)};
        g_DepthStencilFormat = gfx::Format::D24S8;
        d_.dev->CreateVertexDeclaration(mesh::kStaticMeshElements, &g_pVertexDeclarations[0]);
        d_.dev->CreateVertexDeclaration(mesh::kSkinnedMeshElements, &g_pVertexDeclarations[1]);
        g_EnvironmentSettings.SetAmbientColor(kAmbient0, 0);
        g_EnvironmentSettings.SetAmbientColor(kAmbient1, 1);
        const std::filesystem::path fx = dir_ / "fx" / "probe_test.glfx";
        std::filesystem::create_directories(fx.parent_path());
        std::ofstream(fx) << kProbeEffect;
        ASSERT_TRUE(LoadEffect());
        WriteGroundMesh(dir_ / "models" / "ground.x");
        ground_ = MakeGround("models\\ground.x", {0, 0, 0});
        ASSERT_TRUE(ground_ && ground_->pD3DXMesh);
        g_Camera.SetPosition({10, 300, -40});
        orientation o;
        o.SetDirection(math::Vec3Normalize(Vec3{0.3f, -0.5f, 1.0f}));
        g_Camera.SetOrientation(o);
        g_Camera.SetProjection();
        g_AmbientProbe.Init();
        ASSERT_TRUE(g_AmbientProbe.HasTargets());
    }
    void TearDown() override {
        g_AmbientProbe.Destroy();
        g_EffectMgr.Destroy();
        for (gfx::VertexDeclaration*& decl : g_pVertexDeclarations) {
            if (decl) decl->Release();
            decl = nullptr;
        }
        uint32_t a0 = 0, a1 = 0;
        std::tie(g_DepthStencilFormat, a0, a1) = saved_;
        g_EnvironmentSettings.SetAmbientColor(a0, 0);
        g_EnvironmentSettings.SetAmbientColor(a1, 1);
        BehaviourTest::TearDown();
        g_Renderer.ReleaseTextures();
        g_Engine.m_bQuit = 0;
        g_pD3DInterface = nullptr;
    }

    bool LoadEffect() {
        const std::string path = (dir_ / "fx" / "probe_test.fxc").string();
        const EffectRecord* fx = g_EffectMgr.CreateEffect("SkyLight", path.c_str());
        return fx && fx->pEffect;
    }

    static ObjectRecord* MakeGround(const char* file, const Vec3& at, int ambientIndex = 0) {
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", file);
        p.vPosition = at;
        p.dwFlags = objflags::kFlagVisible;
        ObjectRecord* h = g_Engine.AddObject(p);
        if (h) h->iAmbientLightIdx = ambientIndex;
        return h;
    }

    static uint32_t TextureIdOf(const char* name) {
        for (strtexture* t = g_Renderer.FirstTexture(); t; t = t->next)
            if (std::string(t->szName).find(name) != std::string::npos) return t->id;
        return 0;
    }

    // The probe target's texels, rows top-down.
    std::vector<uint32_t> ReadTarget() {
        std::vector<uint32_t> out(EAmbientProbe::PROBE_SIZE * EAmbientProbe::PROBE_SIZE, 0xDEADBEEF);
        gfx::Surface* memory = g_AmbientProbe.CalculateSurface();
        EXPECT_EQ(d_.dev->GetRenderTargetData(g_AmbientProbe.ProbeSurface(), memory), gfx::Result::Ok);
        gfx::LockedRect r;
        EXPECT_EQ(memory->LockRect(&r, nullptr, gfx::lock::ReadOnly), gfx::Result::Ok);
        for (uint32_t y = 0; y < EAmbientProbe::PROBE_SIZE; ++y)
            for (uint32_t x = 0; x < EAmbientProbe::PROBE_SIZE; ++x)
                out[y * EAmbientProbe::PROBE_SIZE + x] =
                    reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(r.pBits) + y * r.Pitch)[x] &
                    0xFFFFFF;
        memory->UnlockRect();
        return out;
    }

    // Fills the probe target with one colour, outside any probe.
    void FillTarget(uint32_t colour) {
        ASSERT_TRUE(g_AmbientProbe.BeginProbeRender());
        d_.dev->Clear(0, nullptr, gfx::clear::Target, colour, 1.0f, 0);
        g_AmbientProbe.EndProbeRender();
    }

    static constexpr uint32_t kAmbient0 = 0x806040; // the ground's
    static constexpr uint32_t kAmbient1 = 0x204080;

    EffectDevice d_;
    ObjectRecord* ground_ = nullptr;
    std::tuple<gfx::Format, uint32_t, uint32_t> saved_;
};

TEST_F(ProbeDeviceTest, TheProbeReadsTheGroundAsTheTechniqueDrawsIt) {
    EXPECT_TRUE(Near(g_AmbientProbe.RenderProbe({0, 0, 0}, ground_, 0), Drawn(kAmbient0)))
        << Hex(g_AmbientProbe.RenderProbe({0, 0, 0}, ground_, 0)) << " for " << Hex(Drawn(kAmbient0));
    // With the second set: the ground's own index is sent and is the reference.
    ground_->iAmbientLightIdx = 1;
    EXPECT_TRUE(Near(g_AmbientProbe.RenderProbe({0, 0, 0}, ground_, 0), Drawn(kAmbient1)));
    // Beside the ground: nothing is drawn under the eye, the clear shows.
    EXPECT_EQ(g_AmbientProbe.RenderProbe({600, 0, 0}, ground_, 0), kAmbient1);
    EXPECT_FALSE(g_AmbientProbe.IsBegun()) << "a probe that began the render ends it";
}

// Only the ground object is drawn, and only the subsets of the texture asked
// for: another object just under the eye is left out.
TEST_F(ProbeDeviceTest, OnlyTheGroundsSubsetsOfTheWantedTextureAreDrawn) {
    ObjectRecord* between = MakeGround("models\\ground.x", {0, 4, 0}, 1);
    ASSERT_TRUE(between);
    const uint32_t groundTexture = TextureIdOf("probe_near.tga"), farTexture = TextureIdOf("probe_far.tga");
    ASSERT_TRUE(groundTexture && farTexture && groundTexture != farTexture);
    struct Case {
        const char* name;
        uint32_t textureId;
        uint32_t want;
    } cases[] = {
        {"every texture", 0, Drawn(kAmbient0)},
        {"the ground's texture", groundTexture, Drawn(kAmbient0)},
        {"another texture of the ground", farTexture, kAmbient0},
        {"a texture nobody has", 999, kAmbient0},
    };
    for (const Case& c : cases) {
        const uint32_t got = g_AmbientProbe.RenderProbe({0, 0, 0}, ground_, c.textureId);
        EXPECT_TRUE(Near(got, c.want)) << c.name << ": " << Hex(got) << " for " << Hex(c.want);
    }
}

// 512 requests: the last is refused with one line, 511 are processed and the
// queue is empty; each processed receiver holds the probed colour, probed 1
// and re-probe 0; the refused one asks again.
TEST_F(ProbeDeviceTest, TheQueueTakes511RequestsAndProcessesThemAll) {
    std::vector<ObjectRecord> receivers(EAmbientProbe::QUEUE_SLOTS);
    MarkConsole();
    for (ObjectRecord& r : receivers) {
        r.bAmbientReprobe = 1;
        g_AmbientProbe.QueueProbe(&r, {0, 0, 0}, ground_, 0);
    }
    EXPECT_EQ(CountLines("MAX_AMBIENT_PROBE_CUE overflow!"), 1);
    EXPECT_EQ(g_AmbientProbe.QueueCount(), EAmbientProbe::MAX_AMBIENT_PROBE_CUE);
    g_AmbientProbe.ProcessQueue();
    EXPECT_EQ(g_AmbientProbe.QueueCount(), 0);
    const uint32_t drawn = Drawn(kAmbient0);
    for (int i = 0; i < EAmbientProbe::MAX_AMBIENT_PROBE_CUE; ++i) {
        const ObjectRecord& r = receivers[i];
        ASSERT_EQ(r.bAmbientProbed, 1) << i;
        ASSERT_EQ(r.bAmbientReprobe, 0) << i;
        ASSERT_NEAR(r.fProbedAmbient[0], float((drawn >> 16) & 0xFF) / 255.0f, 1.5f / 255.0f) << i;
        ASSERT_NEAR(r.fProbedAmbient[2], float(drawn & 0xFF) / 255.0f, 1.5f / 255.0f) << i;
    }
    EXPECT_EQ(receivers.back().bAmbientProbed, 0);
    EXPECT_EQ(receivers.back().bAmbientReprobe, 1) << "the refused receiver asks again";
    EXPECT_FALSE(g_AmbientProbe.IsBegun());
}

// A failed read-back measures black, which the lower bound lifts to 0.3 x
// the reference.
TEST_F(ProbeDeviceTest, AFailedReadBackGivesTheLowerBound) {
    struct Case {
        const char* name;
        const char* line;
        std::function<void()> fail, mend;
    } cases[] = {
        {"the copy", "GetRenderTargetData failed!", [&] { d_.dev->SimulateDeviceLoss(1); },
         [&] {
             gfx::PresentParameters pp = d_.dev->GetPresentParameters();
             g_AmbientProbe.OnLostDevice();
             while (d_.dev->TestCooperativeLevel() == gfx::Result::DeviceLost) {
             }
             ASSERT_EQ(d_.dev->Reset(&pp), gfx::Result::Ok);
             g_AmbientProbe.OnResetDevice();
         }},
        {"the lock", "LockRect FAILED!",
         [&] {
             gfx::LockedRect r;
             ASSERT_EQ(g_AmbientProbe.CalculateSurface()->LockRect(&r, nullptr, 0), gfx::Result::Ok);
         },
         [&] { g_AmbientProbe.CalculateSurface()->UnlockRect(); }},
    };
    const Vec3 reference = EAmbientProbe::ReferenceColour(ground_);
    for (const Case& c : cases) {
        ObjectRecord receiver;
        c.fail();
        MarkConsole();
        g_AmbientProbe.QueueProbe(&receiver, {0, 0, 0}, ground_, 0);
        g_AmbientProbe.ProcessQueue();
        EXPECT_TRUE(Printed(c.line)) << c.name;
        EXPECT_NEAR(receiver.fProbedAmbient[0], 0.3f * reference.x, 1e-6f) << c.name;
        EXPECT_NEAR(receiver.fProbedAmbient[1], 0.3f * reference.y, 1e-6f) << c.name;
        EXPECT_NEAR(receiver.fProbedAmbient[2], 0.3f * reference.z, 1e-6f) << c.name;
        EXPECT_EQ(receiver.bAmbientProbed, 1) << c.name;
        c.mend();
    }
}

// The centre pixel is row 8, column 8 of the target, row 0 being the top as
// on Direct3D: a pattern with a colour per pixel, and a pre-transformed quad
// over the bottom-right quarter (pixels 8..15 both ways), read back.
TEST_F(ProbeDeviceTest, TheCentrePixelIsRowEightColumnEight) {
    ASSERT_TRUE(g_AmbientProbe.BeginProbeRender());
    std::vector<gfx::Rect> pixels;
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            const gfx::Rect r{x, y, x + 1, y + 1};
            d_.dev->Clear(1, &r, gfx::clear::Target,
                          0xFF000000u | uint32_t(y) << 16 | uint32_t(x) << 8 | 0x5A, 1.0f, 0);
        }
    EXPECT_EQ(g_AmbientProbe.ReadProbe(), 0x08085Au) << Hex(g_AmbientProbe.ReadProbe());

    struct RhwVertex {
        float x, y, z, rhw;
        uint32_t colour;
    };
    const float a = 7.5f, b = 15.5f;
    const uint32_t c = 0xFF3366CC;
    const RhwVertex quad[4] = {
        {a, a, 0.5f, 1, c}, {b, a, 0.5f, 1, c}, {a, b, 0.5f, 1, c}, {b, b, 0.5f, 1, c}};
    d_.dev->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, 0xFF000000, 1.0f, 0);
    d_.dev->SetProgram(nullptr);
    d_.dev->SetVertexDeclaration(nullptr);
    d_.dev->SetRenderState(gfx::RenderState::CullMode, gfx::StateValue(gfx::Cull::None));
    d_.dev->SetRenderState(gfx::RenderState::ZEnable, 0);
    d_.dev->SetTexture(0, nullptr);
    d_.dev->SetTextureStageState(0, gfx::TextureStageState::ColorOp, uint32_t(gfx::TextureOp::SelectArg1));
    d_.dev->SetTextureStageState(0, gfx::TextureStageState::ColorArg1, gfx::texarg::Diffuse);
    d_.dev->SetFVF(gfx::fvf::XyzRhw | gfx::fvf::Diffuse);
    ASSERT_EQ(d_.dev->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, quad, sizeof(RhwVertex)),
              gfx::Result::Ok);
    EXPECT_EQ(g_AmbientProbe.ReadProbe(), 0x3366CCu);
    g_AmbientProbe.EndProbeRender();
    const std::vector<uint32_t> texels = ReadTarget();
    EXPECT_EQ(texels[7 * 16 + 8], 0u) << "row 7 is outside the quad";
    EXPECT_EQ(texels[8 * 16 + 7], 0u) << "column 7 is outside the quad";
    EXPECT_EQ(texels[15 * 16 + 15], 0x3366CCu);
}

// The probe's clear asks for the stencil only where its depth surface has
// one; otherwise the whole clear would be refused and the probe would read
// what the target held before.
TEST_F(ProbeDeviceTest, TheClearReachesTheTargetWithAndWithoutAStencil) {
    for (gfx::Format format : {gfx::Format::D24S8, gfx::Format::D24X8, gfx::Format::D16}) {
        g_DepthStencilFormat = format;
        g_AmbientProbe.CreateTargets();
        ASSERT_TRUE(g_AmbientProbe.HasTargets());
        FillTarget(0xFF00FF00);
        EXPECT_EQ(g_AmbientProbe.RenderProbe({600, 0, 0}, ground_, 0), kAmbient0)
            << "format " << uint32_t(format);
        // The depth was cleared as well: the ground is drawn over it.
        EXPECT_TRUE(Near(g_AmbientProbe.RenderProbe({0, 0, 0}, ground_, 0), Drawn(kAmbient0)));
    }
}

// After a probe the camera's eye, orientation, view and projection are those
// it had, whether the effect drew or was missing; the device's target,
// depth surface and viewport are the caller's again.
TEST_F(ProbeDeviceTest, TheCameraAndTheDeviceTargetsComeBack) {
    for (bool withEffect : {true, false}) {
        if (!withEffect) g_EffectMgr.Destroy();
        const Vec3 eye = g_Camera.GetPosition();
        const orientation o = g_Camera.Orientation();
        const math::Matrix view = g_Camera.View(), projection = g_Camera.Projection();
        gfx::Surface *target = nullptr, *depth = nullptr;
        d_.dev->GetRenderTarget(0, &target);
        d_.dev->GetDepthStencilSurface(&depth);
        gfx::Viewport vp;
        d_.dev->GetViewport(&vp);
        MarkConsole();

        ObjectRecord receiver;
        g_AmbientProbe.QueueProbe(&receiver, {0, 0, 0}, ground_, 0);
        g_AmbientProbe.ProcessQueue();
        const uint32_t single = g_AmbientProbe.RenderProbe({0, 0, 0}, ground_, 0);

        const char* what = withEffect ? "with the effect" : "without the effect";
        EXPECT_EQ(g_Camera.GetPosition(), eye) << what;
        EXPECT_EQ(g_Camera.Orientation().quaternion, o.quaternion) << what;
        EXPECT_EQ(g_Camera.Orientation().forward, o.forward) << what;
        EXPECT_EQ(g_Camera.Orientation().up, o.up) << what;
        EXPECT_EQ(g_Camera.View(), view) << what;
        EXPECT_EQ(g_Camera.Projection(), projection) << what;
        gfx::Surface *targetAfter = nullptr, *depthAfter = nullptr;
        d_.dev->GetRenderTarget(0, &targetAfter);
        d_.dev->GetDepthStencilSurface(&depthAfter);
        gfx::Viewport vpAfter;
        d_.dev->GetViewport(&vpAfter);
        EXPECT_EQ(targetAfter, target) << what;
        EXPECT_EQ(depthAfter, depth) << what;
        EXPECT_EQ(vpAfter.Width, vp.Width) << what;
        EXPECT_EQ(vpAfter.Height, vp.Height) << what;
        for (gfx::Surface* s : {target, depth, targetAfter, depthAfter})
            if (s) s->Release();
        EXPECT_EQ(receiver.bAmbientProbed, 1) << what;
        if (withEffect) {
            EXPECT_TRUE(Near(single, Drawn(kAmbient0))) << what;
        } else {
            EXPECT_EQ(single, kAmbient0) << "without the effect the reference is measured";
            EXPECT_NEAR(receiver.fProbedAmbient[0], float(0x80) / 255.0f, 1e-6f);
            EXPECT_EQ(CountLines("Ambient probe: no SkyLight effect"), 1) << "one line, not one per probe";
        }
    }
}

// Without a target the queue is emptied without drawing anything: the
// device's own target is untouched and the receivers ask again.
TEST_F(ProbeDeviceTest, WithoutTargetsNothingIsDrawnAndTheReceiversAskAgain) {
    struct Case {
        const char* name;
        const char* line;
        std::function<void()> fail;
    } cases[] = {
        {"the render target", "Unable to create render target for ambient probe",
         [&] { d_.dev->FailTextureCreation(1); }},
        {"the depth surface", "Unable to create depth/stencil surface for ambient probe",
         [&] { g_DepthStencilFormat = gfx::Format::A8R8G8B8; }},
    };
    for (const Case& c : cases) {
        g_AmbientProbe.Destroy();
        c.fail();
        MarkConsole();
        g_AmbientProbe.Init();
        g_DepthStencilFormat = gfx::Format::D24S8;
        EXPECT_TRUE(Printed(c.line)) << c.name;
        EXPECT_FALSE(g_AmbientProbe.HasTargets()) << c.name;
        d_.dev->Clear(0, nullptr, gfx::clear::Target, 0xFF123456, 1.0f, 0);
        ObjectRecord a, b;
        g_AmbientProbe.QueueProbe(&a, {0, 0, 0}, ground_, 0);
        g_AmbientProbe.QueueProbe(&b, {0, 0, 0}, ground_, 0);
        g_AmbientProbe.ProcessQueue();
        EXPECT_EQ(g_AmbientProbe.QueueCount(), 0) << c.name;
        for (const ObjectRecord* r : {&a, &b}) {
            EXPECT_EQ(r->bAmbientProbed, 0) << c.name;
            EXPECT_EQ(r->bAmbientReprobe, 1) << c.name;
        }
        const std::vector<uint32_t> px = d_.Read();
        for (uint32_t p : px)
            ASSERT_EQ(p & 0xFFFFFF, 0x123456u) << c.name << ": the back buffer was drawn into";
        EXPECT_FALSE(g_AmbientProbe.BeginProbeRender()) << "nothing to begin: " << c.name;
        EXPECT_EQ(g_AmbientProbe.RenderProbe({0, 0, 0}, ground_, 0), kAmbient0) << c.name;
    }
    // The next world open makes them.
    g_AmbientProbe.Destroy();
    g_AmbientProbe.Init();
    EXPECT_TRUE(g_AmbientProbe.HasTargets());
}

// The device hooks release every target, so that the device can be reset,
// and make them again after it; the probe then works as before. Without a
// world open, a reset makes nothing.
TEST_F(ProbeDeviceTest, ADeviceResetReleasesAndMakesTheTargetsAgain) {
    DeviceHookFn release = nullptr, recreate = nullptr;
    GetDeviceHook(DeviceHook::AmbientProbeTargets, &release, &recreate);
    ASSERT_TRUE(release && recreate);
    gfx::PresentParameters pp = d_.dev->GetPresentParameters();
    EXPECT_EQ(d_.dev->Reset(&pp), gfx::Result::InvalidCall) << "the targets hold default-pool memory";
    release();
    EXPECT_FALSE(g_AmbientProbe.ProbeSurface() || g_AmbientProbe.ProbeDepth() ||
                 g_AmbientProbe.CalculateSurface());
    ASSERT_EQ(d_.dev->Reset(&pp), gfx::Result::Ok);
    recreate();
    ASSERT_TRUE(g_AmbientProbe.HasTargets());
    EXPECT_TRUE(Near(g_AmbientProbe.RenderProbe({0, 0, 0}, ground_, 0), Drawn(kAmbient0)));

    g_AmbientProbe.Destroy();
    recreate();
    EXPECT_FALSE(g_AmbientProbe.HasTargets()) << "no world is open";
}

// ---- With the program's SkyLight effect ------------------------------------------------------------

// The ground's lit colour as the scene lights it, computed here: ambient x
// the vertex ambient of white vertices (with vertex colour on) plus the sky
// light's colour x max(0, up . -direction) (with the sky light on).
struct LitCase {
    const char* name;
    bool skyOn;
    math::Vec3 skyDirection;
    math::Vec3 skyColour;
    bool vertexColour;
    bool inside; // the ground is lit from inside: the inside vertex-ambient set
};

class SkyLightProbe : public ProbeDeviceTest, public ::testing::WithParamInterface<LitCase> {
  protected:
    void SetUp() override {
        ProbeDeviceTest::SetUp();
        g_EffectMgr.Destroy();
        const std::string path = std::string(ZT_SOURCE_DIR) + "/data/fx/skylight.fxc";
        fx_ = g_EffectMgr.CreateEffect("SkyLight", path.c_str());
        ASSERT_TRUE(fx_ && fx_->pEffect);
        EnvironmentSettings& env = g_EnvironmentSettings;
        savedUseSkyLight_ = UseSkyLight;
        UseSkyLight = true;
        savedVertexAmbient_ = {env.m_fVertexAmbientBrightness, env.m_fVertexAmbientContrast,
                               env.m_fVertexAmbientInsideBrightness, env.m_fVertexAmbientInsideContrast};
        env.m_fVertexAmbientBrightness = 0.5f;
        env.m_fVertexAmbientContrast = 2.0f;
        env.m_vVertexAmbientColor[1] = 0.5f;
        env.m_vVertexAmbientColor[2] = 0.25f;
        env.m_fVertexAmbientInsideBrightness = 0.8f;
        env.m_fVertexAmbientInsideContrast = 1.0f;
        env.m_vVertexAmbientInsideColor[0] = 0.5f;
    }
    void TearDown() override {
        EnvironmentSettings& env = g_EnvironmentSettings;
        std::tie(env.m_fVertexAmbientBrightness, env.m_fVertexAmbientContrast,
                 env.m_fVertexAmbientInsideBrightness, env.m_fVertexAmbientInsideContrast) =
            savedVertexAmbient_;
        env.m_vVertexAmbientColor[1] = env.m_vVertexAmbientColor[2] = 1.0f;
        env.m_vVertexAmbientInsideColor[0] = 1.0f;
        UseSkyLight = savedUseSkyLight_;
        ProbeDeviceTest::TearDown();
    }

    // The sky light as the sky-light pass leaves it on the effect.
    void LeaveSkyLight(bool on, const math::Vec3& direction, const math::Vec3& colour) {
        effect::Effect* e = fx_->pEffect;
        const math::Vec4 d[2] = {{direction.x, direction.y, direction.z, 0.0f}, {}};
        const math::Vec4 c[2] = {{colour.x, colour.y, colour.z, 1.0f}, {}};
        const bool x[2] = {on, false};
        e->SetVectorArray(e->GetParameterByName(effect::Handle(), "g_SkyLightDir"), d, 2);
        e->SetVectorArray(e->GetParameterByName(effect::Handle(), "g_SkyLightDiffuse"), c, 2);
        e->SetBoolArray(e->GetParameterByName(effect::Handle(), "g_bUseSkyLightX"), x, 2);
    }

    EffectRecord* fx_ = nullptr;
    bool savedUseSkyLight_ = true;
    std::tuple<float, float, float, float> savedVertexAmbient_;
};

TEST_P(SkyLightProbe, TheProbeReadsTheGroundsLitColour) {
    const LitCase& c = GetParam();
    const EnvironmentSettings& env = g_EnvironmentSettings;
    LeaveSkyLight(c.skyOn, c.skyDirection, c.skyColour);
    ground_->bVertexColor = c.vertexColour ? 1 : 0;
    if (c.inside) ground_->dwFlags2 |= objflags::kFlag2NoSkyLight;
    const Vec3 ambient = EAmbientProbe::ReferenceColour(ground_);
    Vec3 light = ambient;
    if (c.vertexColour) {
        // White vertices: ((1 - 0.5) x contrast + 0.5) x brightness x tint.
        const float contrast = c.inside ? env.m_fVertexAmbientInsideContrast : env.m_fVertexAmbientContrast;
        const float brightness =
            c.inside ? env.m_fVertexAmbientInsideBrightness : env.m_fVertexAmbientBrightness;
        const float* tint = c.inside ? env.m_vVertexAmbientInsideColor : env.m_vVertexAmbientColor;
        const float k = (0.5f * contrast + 0.5f) * brightness;
        light = {light.x * k * tint[0], light.y * k * tint[1], light.z * k * tint[2]};
    }
    if (c.skyOn) {
        const float lambert = std::max(0.0f, -c.skyDirection.y);
        light = light + c.skyColour * lambert;
    }
    const uint32_t got = g_AmbientProbe.RenderProbe({0, 0, 0}, ground_, 0);
    const auto channel = [](float v) { return uint32_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    const uint32_t want = channel(light.x) << 16 | channel(light.y) << 8 | channel(light.z);
    EXPECT_TRUE(Near(got, want)) << Hex(got) << " for " << Hex(want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SkyLightProbe,
    ::testing::Values(
        LitCase{"AmbientAlone", false, {0, -1, 0}, {0.5f, 0.5f, 0.5f}, false, false},
        LitCase{"SkyFromStraightAbove", true, {0, -1, 0}, {0.3f, 0.2f, 0.1f}, false, false},
        LitCase{"SkyAtSixtyDegrees", true, {0.8660254f, -0.5f, 0}, {0.4f, 0.4f, 0.2f}, false, false},
        LitCase{"SkyFromBelowAddsNothing", true, {0, 1, 0}, {0.5f, 0.5f, 0.5f}, false, false},
        LitCase{"VertexAmbientShapesTheAmbient", false, {0, -1, 0}, {}, true, false},
        LitCase{"InsideTakesTheInsideSet", true, {0, -1, 0}, {0.1f, 0.1f, 0.1f}, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
