// The demo data's effects of the fastest pipeline and of the occlusion test,
// read from data/fx and drawn on the real device headless:
// - SimpleMesh lights a quad of one texel colour as its formula gives, for
//   each sky-light switch, the vertex colour and the fog's three zones;
// - SimpleSkinmesh skins a two-bone strip in the 76-byte layout with a test
//   palette: each end goes where its bone puts it, the middle between;
// - ambient writes the occlusion value, and pushes skinned vertices out
//   along their normals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "platform/os/Os.h"
#include "tests/EffectDevice.h"

namespace {

using gfx::Result;

struct SkinnedVertex {
    float position[3];
    float weights[4];
    uint8_t indices[4];
    float normal[3];
    float tangent[3];
    float binormal[3];
    float uv[2];
};
static_assert(sizeof(SkinnedVertex) == 76);

class FastestEffectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(d_.dev, nullptr);
        dev_ = d_.dev;
        old_ = os::StartDirectory();
        os::SetStartDirectory(std::string(ZT_SOURCE_DIR) + "/data");
        ASSERT_EQ(dev_->CreateVertexDeclaration(mesh::kStaticMeshElements, &staticDecl_), Result::Ok);
        ASSERT_EQ(dev_->CreateVertexDeclaration(mesh::kSkinnedMeshElements, &skinnedDecl_), Result::Ok);
        dev_->SetRenderState(gfx::RenderState::ZEnable, 0);
        dev_->SetRenderState(gfx::RenderState::CullMode, gfx::StateValue(gfx::Cull::None));
        dev_->SetSamplerState(0, gfx::SamplerState::MagFilter, gfx::StateValue(gfx::TextureFilter::Point));
        dev_->SetSamplerState(0, gfx::SamplerState::MinFilter, gfx::StateValue(gfx::TextureFilter::Point));
    }
    void TearDown() override {
        if (dev_) {
            dev_->SetTexture(0, nullptr);
            dev_->SetVertexDeclaration(nullptr);
        }
        if (effect_) effect_->Release();
        if (staticDecl_) staticDecl_->Release();
        if (skinnedDecl_) skinnedDecl_->Release();
        os::SetStartDirectory(old_);
    }

    void Load(const char* name) {
        std::string errors;
        ASSERT_EQ(effect::CreateEffectFromFile(dev_, name, 0, &effect_, &errors), Result::Ok) << errors;
    }
    effect::Handle P(const char* name) {
        effect::Handle h = effect_->GetParameterByName(effect::Handle(), name);
        EXPECT_TRUE(h) << name;
        return h;
    }
    void Draw(const char* technique, gfx::VertexDeclaration* decl, const void* vertices, uint32_t stride,
              uint32_t triangles) {
        ASSERT_EQ(effect_->SetTechnique(effect_->GetTechniqueByName(technique)), Result::Ok) << technique;
        dev_->SetVertexDeclaration(decl);
        uint32_t passes = 0;
        ASSERT_EQ(effect_->Begin(&passes, 0), Result::Ok);
        ASSERT_EQ(effect_->BeginPass(0), Result::Ok);
        ASSERT_EQ(dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleList, triangles, vertices, stride),
                  Result::Ok);
        effect_->EndPass();
        effect_->End();
    }

    EffectDevice d_;
    gfx::Device* dev_ = nullptr;
    std::string old_;
    gfx::VertexDeclaration* staticDecl_ = nullptr;
    gfx::VertexDeclaration* skinnedDecl_ = nullptr;
    effect::Effect* effect_ = nullptr;
};

// ---- SimpleMesh ------------------------------------------------------------------

// Two triangles over the whole target facing the eye (normal -z), each
// vertex of one colour.
std::vector<mesh::Vertex> ScreenQuad(uint32_t color) {
    const float c[6][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, 1}, {1, -1}, {-1, -1}};
    std::vector<mesh::Vertex> v(6);
    for (int i = 0; i < 6; ++i) {
        v[i].position = {c[i][0], c[i][1], 0.5f};
        v[i].color = color;
        v[i].normal = {0, 0, -1};
        v[i].uv = {0.5f, 0.5f};
    }
    return v;
}

struct LightCase {
    const char* name;
    math::Vec4 skyDir[2];
    bool skyOn[2];
    bool useSkyLight;
    bool vertexColor;
    float fogNear, fogFar, distance;
};

TEST_F(FastestEffectTest, SimpleMeshLightsTheTexelAsItsFormulaGives) {
    Load("fx\\SimpleMesh.fxc");
    ASSERT_NE(effect_, nullptr);
    const uint32_t texel = 0xFFC86432; // 200, 100, 50
    dev_->SetTexture(0, d_.Texture(texel));
    const math::Vec4 ambient{0.2f, 0.3f, 0.4f, 1.0f};
    const math::Vec4 skyColor[2] = {{0.6f, 0.5f, 0.3f, 1.0f}, {0.3f, 0.3f, 0.3f, 1.0f}};
    const math::Vec4 fog{0.1f, 0.9f, 0.5f, 1.0f};
    const uint32_t vertexColor = 0xFF8040C0; // 128, 64, 192
    const float s60 = std::sqrt(3.0f) / 2.0f;
    const math::Vec4 facing{0, 0, 1, 0}, slanted{0, s60, 0.5f, 0}, behind{0, 0, -1, 0};
    const LightCase cases[] = {
        {"ambient alone", {facing, facing}, {false, false}, true, false, 80000, 80008, 100},
        {"first sky light full on", {facing, facing}, {true, false}, true, false, 80000, 80008, 100},
        {"at sixty degrees half", {slanted, facing}, {true, false}, true, false, 80000, 80008, 100},
        {"from behind nothing", {behind, facing}, {true, false}, true, false, 80000, 80008, 100},
        {"both sky lights", {facing, slanted}, {true, true}, true, false, 80000, 80008, 100},
        {"sky light off for the object", {facing, facing}, {true, true}, false, false, 80000, 80008, 100},
        {"vertex colour", {facing, facing}, {true, false}, true, true, 80000, 80008, 100},
        {"nearer than fog near", {facing, facing}, {true, false}, true, false, 200, 600, 150},
        {"inside the fog", {facing, facing}, {true, false}, true, false, 200, 600, 350},
        {"at fog far", {facing, facing}, {true, false}, true, false, 200, 600, 600},
        {"beyond fog far", {facing, facing}, {true, false}, true, false, 200, 600, 900},
        {"far not beyond near", {facing, facing}, {false, false}, true, false, 0, 0, 1},
    };
    for (const LightCase& c : cases) {
        SCOPED_TRACE(c.name);
        effect_->SetMatrix(P("g_mWorldViewProjection"), math::Matrix::Identity());
        effect_->SetMatrix(P("g_mWorld"), math::Matrix::Identity());
        // Every point at (0, 0, distance) in eye space: one exact distance.
        math::Matrix toDistance;
        for (int r = 0; r < 3; ++r)
            toDistance.m[r][0] = toDistance.m[r][1] = toDistance.m[r][2] = 0.0f;
        toDistance.m[3][2] = c.distance;
        effect_->SetMatrix(P("g_mWorldView"), toDistance);
        effect_->SetVector(P("g_AmbientLightDiffuse"), ambient);
        effect_->SetVectorArray(P("g_SkyLightDir"), c.skyDir, 2);
        effect_->SetVectorArray(P("g_SkyLightDiffuse"), skyColor, 2);
        effect_->SetBoolArray(P("g_bUseSkyLightX"), c.skyOn, 2);
        effect_->SetBool(P("g_bUseSkyLight"), c.useSkyLight);
        effect_->SetBool(P("g_bVertexColor"), c.vertexColor);
        effect_->SetVector(P("g_FogColor"), fog);
        effect_->SetFloat(P("g_FogNear"), c.fogNear);
        effect_->SetFloat(P("g_FogFar"), c.fogFar);
        const std::vector<mesh::Vertex> quad = ScreenQuad(vertexColor);
        Draw("RenderSceneFastest", staticDecl_, quad.data(), sizeof(mesh::Vertex), 2);

        // The formula, channel by channel.
        const float tex[3] = {200 / 255.0f, 100 / 255.0f, 50 / 255.0f};
        const float vc[3] = {128 / 255.0f, 64 / 255.0f, 192 / 255.0f};
        const float amb[3] = {ambient.x, ambient.y, ambient.z}, fogc[3] = {fog.x, fog.y, fog.z};
        float f = c.fogFar <= c.fogNear
                      ? (c.distance >= c.fogFar ? 1.0f : 0.0f)
                      : std::clamp((c.distance - c.fogNear) / (c.fogFar - c.fogNear), 0.0f, 1.0f);
        uint32_t want = 0;
        for (int ch = 0; ch < 3; ++ch) {
            float light = amb[ch];
            for (int i = 0; i < 2; ++i) {
                const float sky[3] = {skyColor[i].x, skyColor[i].y, skyColor[i].z};
                if (c.useSkyLight && c.skyOn[i]) light += std::max(0.0f, c.skyDir[i].z) * sky[ch];
            }
            float colour = tex[ch] * light * (c.vertexColor ? vc[ch] : 1.0f);
            colour = colour + (fogc[ch] - colour) * f;
            want = (want << 8) | uint32_t(std::lround(std::clamp(colour, 0.0f, 1.0f) * 255.0f));
        }
        const uint32_t got = d_.Pixel(16, 16);
        for (int shift : {16, 8, 0}) {
            EXPECT_NEAR(int((got >> shift) & 0xFF), int((want >> shift) & 0xFF), 2)
                << std::hex << "got " << got << " want " << want;
        }
    }
}

// ---- Skinned strips ---------------------------------------------------------------------

// A horizontal strip at y 0 of three columns of vertices (x = -0.8, 0,
// 0.8), 0.2 high: the left column follows bone 0 alone, the right one bone 1
// alone, the middle half of each. Indices name palette slots 2 and 5, so
// that an index read wrongly picks an identity slot.
std::vector<SkinnedVertex> TwoBoneStrip() {
    struct Column {
        float x, w0;
    } columns[3] = {{-0.8f, 1.0f}, {0.0f, 0.5f}, {0.8f, 0.0f}};
    auto vertex = [&](int column, float y) {
        SkinnedVertex v{};
        v.position[0] = columns[column].x;
        v.position[1] = y;
        v.position[2] = 0.5f;
        v.weights[0] = columns[column].w0;
        v.weights[1] = 0.75f; // not read: the last influence takes 1 - w0
        v.indices[0] = 2;
        v.indices[1] = 5;
        v.normal[1] = 1.0f; // up
        v.uv[0] = v.uv[1] = 0.5f;
        return v;
    };
    std::vector<SkinnedVertex> out;
    for (int c = 0; c < 2; ++c) {
        const SkinnedVertex a = vertex(c, 0.1f), b = vertex(c + 1, 0.1f), d = vertex(c + 1, -0.1f),
                            e = vertex(c, -0.1f);
        out.insert(out.end(), {a, b, d, a, d, e});
    }
    return out;
}

// Palette: identity everywhere; slot 2 lifts by 0.5 (y), slot 5 lowers by 0.5.
std::vector<math::Matrix> TestPalette() {
    std::vector<math::Matrix> palette(64, math::Matrix::Identity());
    palette[2] = math::MatrixTranslation(0, 0.5f, 0);
    palette[5] = math::MatrixTranslation(0, -0.5f, 0);
    return palette;
}

// Pixel row of clip-space y on the 32-row target.
uint32_t Row(float y) {
    return uint32_t((1.0f - y) * 0.5f * EffectDevice::kH);
}
uint32_t Column(float x) {
    return uint32_t((x + 1.0f) * 0.5f * EffectDevice::kW);
}

TEST_F(FastestEffectTest, SimpleSkinmeshPutsEachEndOfATwoBoneStripWhereItsBoneTakesIt) {
    Load("fx\\SimpleSkinmesh.fxc");
    ASSERT_NE(effect_, nullptr);
    dev_->SetTexture(0, d_.Texture(0xFFFFFFFF));
    const std::vector<math::Matrix> palette = TestPalette();
    effect_->SetMatrixArray(P("mWorldMatrixArray"), palette.data(), 64);
    effect_->SetInt(P("CurNumBones"), 1);
    effect_->SetMatrix(P("g_mView"), math::Matrix::Identity());
    effect_->SetMatrix(P("g_mProj"), math::Matrix::Identity());
    effect_->SetVector(P("g_AmbientLightDiffuse"), math::Vec4{1, 1, 1, 1});
    effect_->SetBool(P("g_bUseSkyLight"), false);
    effect_->SetFloat(P("g_FogNear"), 80000.0f);
    effect_->SetFloat(P("g_FogFar"), 80008.0f);
    for (const char* technique : {"RenderScene", "RenderScene1"}) {
        SCOPED_TRACE(technique);
        dev_->Clear(0, nullptr, gfx::clear::Target, 0xFF000000, 1.0f, 0);
        const std::vector<SkinnedVertex> strip = TwoBoneStrip();
        Draw(technique, skinnedDecl_, strip.data(), sizeof(SkinnedVertex), uint32_t(strip.size() / 3));
        struct Probe {
            float x, y;
            bool drawn;
        } probes[] = {
            {-0.7f, 0.5f, true},  // the left end, lifted
            {-0.7f, 0.0f, false}, // where it was authored
            {0.7f, -0.5f, true},  // the right end, lowered
            {0.7f, 0.0f, false},  //
            {0.0f, 0.0f, true},   // the middle: half each way
            {0.0f, 0.45f, false}, //
            {-0.4f, 0.25f, true}, // between the left end and the middle
        };
        for (const Probe& p : probes) {
            EXPECT_EQ(d_.Pixel(Column(p.x), Row(p.y)), p.drawn ? 0xFFFFFFu : 0u) << p.x << ", " << p.y;
        }
    }
}

TEST_F(FastestEffectTest, TheOcclusionTechniquesWriteTheirValueAndPushSkinnedVerticesOut) {
    Load("fx\\ambient.fxc");
    ASSERT_NE(effect_, nullptr);
    // Static: a quad of one value where its corners project.
    effect_->SetMatrix(P("g_mWorldViewProjection"), math::MatrixScaling(0.5f, 0.5f, 1.0f));
    effect_->SetFloat(P("g_fOcclusionData"), 1.0f);
    dev_->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, 0xFF000000, 1.0f, 0);
    const std::vector<mesh::Vertex> quad = ScreenQuad(0xFFFFFFFF);
    Draw("RenderSceneOcclusion", staticDecl_, quad.data(), sizeof(mesh::Vertex), 2);
    EXPECT_EQ(d_.Pixel(16, 16), 0xFF0000u) << "the value in the red channel";
    EXPECT_EQ(d_.Pixel(4, 4), 0u) << "outside the scaled quad";

    // Skinned: the strip pushed up along its normal by g_fVertIncrease.
    const std::vector<math::Matrix> palette(64, math::Matrix::Identity());
    effect_->SetMatrixArray(P("mWorldMatrixArray"), palette.data(), 64);
    effect_->SetInt(P("CurNumBones"), 0);
    effect_->SetMatrix(P("g_mView"), math::Matrix::Identity());
    effect_->SetMatrix(P("g_mProj"), math::Matrix::Identity());
    for (float increase : {0.0f, 0.5f}) {
        SCOPED_TRACE(increase);
        effect_->SetFloat(P("g_fVertIncrease"), increase);
        dev_->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, 0xFF000000, 1.0f, 0);
        const std::vector<SkinnedVertex> strip = TwoBoneStrip();
        Draw("RenderSceneOcclusionSkinmeshes", skinnedDecl_, strip.data(), sizeof(SkinnedVertex),
             uint32_t(strip.size() / 3));
        EXPECT_EQ(d_.Pixel(Column(0.0f), Row(increase)), 0xFF0000u);
        EXPECT_EQ(d_.Pixel(Column(0.0f), Row(0.5f - increase)), 0u);
    }
}

} // namespace
