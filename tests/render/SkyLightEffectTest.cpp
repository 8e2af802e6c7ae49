// The demo data's lit effects read from data/fx and drawn on the real
// device headless: every effect there builds with every technique valid
// (the shared lighting library included), and "skylight" lights a quad of
// one texel colour as its formula gives, for its techniques, the sky maps
// (a one-texel map whose red channel is the stored depth), the vertex
// ambient, the fog and the fully-bright mask.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
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

class DemoEffectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(d_.dev, nullptr);
        dev_ = d_.dev;
        old_ = os::StartDirectory();
        os::SetStartDirectory(std::string(ZT_SOURCE_DIR) + "/data");
        ASSERT_EQ(dev_->CreateVertexDeclaration(mesh::kStaticMeshElements, &decl_), Result::Ok);
        dev_->SetRenderState(gfx::RenderState::ZEnable, 0);
        dev_->SetRenderState(gfx::RenderState::CullMode, gfx::StateValue(gfx::Cull::None));
        for (uint32_t s = 0; s < 8; ++s) {
            dev_->SetSamplerState(s, gfx::SamplerState::MagFilter,
                                  gfx::StateValue(gfx::TextureFilter::Point));
            dev_->SetSamplerState(s, gfx::SamplerState::MinFilter,
                                  gfx::StateValue(gfx::TextureFilter::Point));
            dev_->SetSamplerState(s, gfx::SamplerState::MipFilter, gfx::StateValue(gfx::TextureFilter::None));
        }
    }
    void TearDown() override {
        if (dev_) {
            for (uint32_t s = 0; s < 8; ++s)
                dev_->SetTexture(s, nullptr);
            dev_->SetVertexDeclaration(nullptr);
        }
        if (effect_) effect_->Release();
        if (decl_) decl_->Release();
        os::SetStartDirectory(old_);
    }

    bool Load(const std::string& name, std::string* errors) {
        if (effect_) effect_->Release();
        effect_ = nullptr;
        return effect::CreateEffectFromFile(dev_, name.c_str(), 0, &effect_, errors) == Result::Ok;
    }
    effect::Handle P(const char* name) {
        effect::Handle h = effect_->GetParameterByName(effect::Handle(), name);
        EXPECT_TRUE(h) << name;
        return h;
    }
    void Draw(const char* technique, const void* vertices, uint32_t triangles) {
        ASSERT_EQ(effect_->SetTechnique(effect_->GetTechniqueByName(technique)), Result::Ok) << technique;
        dev_->SetVertexDeclaration(decl_);
        uint32_t passes = 0;
        ASSERT_EQ(effect_->Begin(&passes, 0), Result::Ok);
        ASSERT_EQ(effect_->BeginPass(0), Result::Ok);
        ASSERT_EQ(dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleList, triangles, vertices,
                                        sizeof(mesh::Vertex)),
                  Result::Ok);
        effect_->EndPass();
        effect_->End();
    }

    EffectDevice d_;
    gfx::Device* dev_ = nullptr;
    std::string old_;
    gfx::VertexDeclaration* decl_ = nullptr;
    effect::Effect* effect_ = nullptr;
};

TEST_F(DemoEffectTest, EveryDemoEffectBuildsWithEveryTechniqueValid) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(ZT_SOURCE_DIR) + "/data/fx"))
        if (entry.path().extension() == ".glfx") names.push_back(entry.path().stem().string());
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::string errors;
        ASSERT_TRUE(Load("fx\\" + name + ".fxc", &errors)) << errors;
        effect::EffectDesc desc;
        ASSERT_EQ(effect_->GetDesc(&desc), Result::Ok);
        for (uint32_t i = 0; i < desc.Techniques; ++i) {
            const effect::Handle t = effect_->GetTechnique(i);
            EXPECT_EQ(effect_->ValidateTechnique(t), Result::Ok) << "technique " << i;
        }
    }
}

// Two triangles over the whole target facing the eye (normal -z, tangent
// +x, binormal +y), each vertex of one colour, at depth 0.5.
std::vector<mesh::Vertex> ScreenQuad(uint32_t color) {
    const float c[6][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, 1}, {1, -1}, {-1, -1}};
    std::vector<mesh::Vertex> v(6);
    for (int i = 0; i < 6; ++i) {
        v[i].position = {c[i][0], c[i][1], 0.5f};
        v[i].color = color;
        v[i].normal = {0, 0, -1};
        v[i].tangent = {1, 0, 0};
        v[i].binormal = {0, 1, 0};
        v[i].uv = {0.5f, 0.5f};
    }
    return v;
}

struct SkyLightCase {
    const char* name;
    const char* technique;
    uint8_t mapDepth[2]; // the red channel of maps 0 and 1 (255: far)
    bool useX[2];
    bool vertexColor;
    bool fullyBright;
    uint8_t normalAlpha;
    float fogNear, fogFar;
    // Expected: how much of the sky light reaches the point, the vertex
    // ambient factor, fog amount, fully bright.
    float sky;
    float fog;
};

TEST_F(DemoEffectTest, SkyLightLightsTheTexelAsItsFormulaGives) {
    std::string errors;
    ASSERT_TRUE(Load("fx\\skylight.fxc", &errors)) << errors;
    const uint32_t texel = 0xFFC86432; // 200, 100, 50
    const math::Vec4 ambient{0.2f, 0.3f, 0.4f, 1.0f};
    const math::Vec4 skyColor[2] = {{0.6f, 0.5f, 0.3f, 1.0f}, {0.6f, 0.5f, 0.3f, 1.0f}};
    const math::Vec4 skyDir[2] = {{0, 0, 1, 0}, {0, 0, 1, 0}};
    const math::Vec4 fog{0.1f, 0.9f, 0.5f, 1.0f};
    const uint32_t vertexColor = 0xFF8040C0; // 128, 64, 192
    const float brightness = 1.5f, contrast = 2.0f;
    const math::Vec4 tint{1.0f, 0.5f, 1.0f, 1.0f};
    const SkyLightCase cases[] = {
        {"unshadowed, lit", "RenderScene00", {0, 0}, {true, true}, false, false, 0, 80000, 80008, 1, 0},
        {"map 0 far: lit", "RenderScene10", {255, 255}, {true, true}, false, false, 0, 80000, 80008, 1, 0},
        {"map 0 nearer than the point: shadowed",
         "RenderScene10",
         {0, 255},
         {true, false},
         false,
         false,
         0,
         80000,
         80008,
         0,
         0},
        {"within the epsilon of the point: lit",
         "RenderScene10",
         {127, 255},
         {true, false},
         false,
         false,
         0,
         80000,
         80008,
         1,
         0},
        {"map 1 shadows inside its square",
         "RenderScene10",
         {255, 0},
         {true, true},
         false,
         false,
         0,
         80000,
         80008,
         0,
         0},
        {"map 1 switched off", "RenderScene10", {255, 0}, {true, false}, false, false, 0, 80000, 80008, 1, 0},
        {"sky light off", "RenderScene10", {255, 255}, {false, false}, false, false, 0, 80000, 80008, 0, 0},
        {"cached technique shadows",
         "RenderScene",
         {0, 255},
         {true, false},
         false,
         false,
         0,
         80000,
         80008,
         0,
         0},
        {"shader model 2 ignores the maps",
         "RenderScene20_0",
         {0, 0},
         {true, true},
         false,
         false,
         0,
         80000,
         80008,
         1,
         0},
        {"vertex ambient", "RenderScene00", {0, 0}, {true, false}, true, false, 0, 80000, 80008, 1, 0},
        {"fully bright where the normal map's alpha is set",
         "RenderScene10",
         {0, 255},
         {true, false},
         false,
         true,
         255,
         80000,
         80008,
         0,
         0},
        {"fully bright flag without the mark",
         "RenderScene10",
         {0, 255},
         {true, false},
         false,
         true,
         0,
         80000,
         80008,
         0,
         0},
        {"half fogged", "RenderScene00", {0, 0}, {true, true}, false, false, 0, 0.0f, 1.0f, 1, 0.5f},
    };
    for (const SkyLightCase& c : cases) {
        SCOPED_TRACE(c.name);
        dev_->SetTexture(0, d_.Texture(texel));
        dev_->SetTexture(1, d_.Texture(0x008080FFu | (uint32_t(c.normalAlpha) << 24)));
        dev_->SetTexture(3, d_.Texture(0xFF000000u | (uint32_t(c.mapDepth[0]) << 16)));
        dev_->SetTexture(4, d_.Texture(0xFF000000u | (uint32_t(c.mapDepth[1]) << 16)));
        const math::Matrix identity = math::Matrix::Identity();
        effect_->SetMatrix(P("g_mWorldViewProjection"), identity);
        effect_->SetMatrix(P("g_mWorld"), identity);
        // The view-space point is the vertex itself, eye distance about 0.5
        // at the centre (the fog case uses it).
        effect_->SetMatrix(P("g_mWorldView"), identity);
        const math::Matrix lightProj[2] = {identity, identity};
        effect_->SetMatrixArray(P("g_mViewToLightProj"), lightProj, 2);
        const float epsilon[2] = {0.01f, 0.01f}, texelStep[2] = {1.0f, 1.0f};
        effect_->SetFloatArray(P("SHADOW_EPSILON"), epsilon, 2);
        effect_->SetFloatArray(P("SMAP_SIZE1"), texelStep, 2);
        effect_->SetVector(P("g_CameraPosition"), math::Vec4{0, 0, -10, 1});
        effect_->SetVector(P("g_AmbientLightDiffuse"), ambient);
        effect_->SetVectorArray(P("g_SkyLightDir"), skyDir, 2);
        effect_->SetVectorArray(P("g_SkyLightDiffuse"), skyColor, 2);
        effect_->SetBoolArray(P("g_bUseSkyLightX"), c.useX, 2);
        effect_->SetBool(P("g_bUseSkyLight"), true);
        effect_->SetBool(P("g_bVertexColor"), c.vertexColor);
        effect_->SetFloat(P("g_fVertexAmbientBrightness"), brightness);
        effect_->SetFloat(P("g_fVertexAmbientContrast"), contrast);
        effect_->SetVector(P("g_fVertexAmbientColor"), tint);
        effect_->SetBool(P("g_bFullyBrightINM"), c.fullyBright);
        effect_->SetFloat(P("g_fNormalDensity"), 1.0f);
        effect_->SetBool(P("g_bDrawSpecular"), false);
        effect_->SetBool(P("g_bDrawDetail"), false);
        effect_->SetBool(P("g_bItemDropped"), false);
        effect_->SetVector(P("g_FogColor"), fog);
        effect_->SetFloat(P("g_FogNear"), c.fogNear);
        effect_->SetFloat(P("g_FogFar"), c.fogFar);
        const std::vector<mesh::Vertex> quad = ScreenQuad(vertexColor);
        Draw(c.technique, quad.data(), 2);

        const float tex[3] = {200 / 255.0f, 100 / 255.0f, 50 / 255.0f};
        const float vc[3] = {128 / 255.0f, 64 / 255.0f, 192 / 255.0f};
        const float amb[3] = {ambient.x, ambient.y, ambient.z}, fogc[3] = {fog.x, fog.y, fog.z};
        const float sky[3] = {skyColor[0].x, skyColor[0].y, skyColor[0].z},
                    tints[3] = {tint.x, tint.y, tint.z};
        // At the centre pixel the point is about (0, 0, 0.5): distance 0.5.
        uint32_t want = 0;
        for (int ch = 0; ch < 3; ++ch) {
            float a = amb[ch];
            if (c.vertexColor)
                a *= std::max((vc[ch] - 0.5f) * contrast + 0.5f, 0.0f) * brightness * tints[ch];
            float light = a + c.sky * sky[ch];
            if (c.fullyBright && c.normalAlpha > 127) light = 1.0f;
            float colour = tex[ch] * light;
            colour = colour + (fogc[ch] - colour) * c.fog;
            want = (want << 8) | uint32_t(std::lround(std::clamp(colour, 0.0f, 1.0f) * 255.0f));
        }
        const uint32_t got = d_.Pixel(16, 16);
        for (int shift : {16, 8, 0}) {
            EXPECT_NEAR(int((got >> shift) & 0xFF), int((want >> shift) & 0xFF), 3)
                << std::hex << "got " << got << " want " << want;
        }
    }
}

// A detail texture scales the texel alike in the sky-light pass (outside)
// and the ambient-lit pass (inside): twice the detail texel, so that a
// mid-grey detail leaves the colour as it is.
TEST_F(DemoEffectTest, ADetailTexelScalesTheColourAlikeOutsideAndInside) {
    struct Case {
        const char* effect;
        const char* technique;
    } cases[] = {{"fx\\skylight.fxc", "RenderScene00"}, {"fx\\light.fxc", "RenderAmbient0"}};
    const uint32_t texel = 0xFFC86432; // 200, 100, 50
    const uint32_t detail = 0xFF606060; // 96
    for (const Case& c : cases) {
        SCOPED_TRACE(c.effect);
        std::string errors;
        ASSERT_TRUE(Load(c.effect, &errors)) << errors;
        dev_->SetTexture(0, d_.Texture(texel));
        dev_->SetTexture(1, d_.Texture(0x008080FFu));
        dev_->SetTexture(2, d_.Texture(detail));
        const math::Matrix identity = math::Matrix::Identity();
        effect_->SetMatrix(P("g_mWorldViewProjection"), identity);
        effect_->SetMatrix(P("g_mWorld"), identity);
        effect_->SetMatrix(P("g_mWorldView"), identity);
        effect_->SetVector(P("g_CameraPosition"), math::Vec4{0, 0, -10, 1});
        effect_->SetVector(P("g_AmbientLightDiffuse"), math::Vec4{0.5f, 0.5f, 0.5f, 1.0f});
        // No sky light outside (the ambient-lit effect has none).
        effect_->SetBool(effect_->GetParameterByName(effect::Handle(), "g_bUseSkyLight"), false);
        effect_->SetBool(P("g_bVertexColor"), false);
        effect_->SetBool(P("g_bFullyBrightINM"), false);
        effect_->SetFloat(P("g_fNormalDensity"), 1.0f);
        effect_->SetBool(P("g_bDrawSpecular"), false);
        effect_->SetBool(P("g_bDrawDetail"), true);
        effect_->SetBool(P("g_bDetailAsNormal"), false);
        effect_->SetBool(P("g_bSpecularInDetailMask"), false);
        effect_->SetFloat(P("g_fDetailDensity"), 1.0f);
        effect_->SetBool(P("g_bItemDropped"), false);
        effect_->SetFloat(P("g_FogNear"), 80000.0f);
        effect_->SetFloat(P("g_FogFar"), 80008.0f);
        const std::vector<mesh::Vertex> quad = ScreenQuad(0xFFFFFFFF);
        Draw(c.technique, quad.data(), 2);
        const uint32_t got = d_.Pixel(16, 16);
        const int tex[3] = {200, 100, 50};
        for (int ch = 0; ch < 3; ++ch) {
            const int want = int(std::lround(tex[ch] * 0.5 * 2.0 * 96.0 / 255.0));
            EXPECT_NEAR(int((got >> (16 - 8 * ch)) & 0xFF), want, 3) << std::hex << got;
        }
    }
}

} // namespace
