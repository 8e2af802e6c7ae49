// Effects on the real device, headless: what the parameters, inputs,
// samplers and pass states of an effect file do to the pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/os/Os.h"
#include "tests/EffectDevice.h"
#include "tests/TestDir.h"

namespace {

using effect::Handle;
using gfx::RenderState;
using gfx::Result;

// Position and colour: the smallest declaration an effect draws with.
struct ColorVertex {
    float x, y, z;
    uint32_t color;
};
const gfx::VertexElement kColorElements[] = {
    {0, 0, gfx::elemtype::Float3, 0, gfx::elemusage::Position, 0},
    {0, 12, gfx::elemtype::Color, 0, gfx::elemusage::Color, 0},
    gfx::DeclEnd,
};

// A flat colour over what the world-view-projection matrix places.
const char* const kFlat = R"(
parameter float4x4 g_mWorldViewProjection;
parameter float4 g_Color = {1, 0, 0, 1};
parameter float g_Scale : SCALE < string UIName = "scale"; float Step = 0.5; > = 1.0;
input float3 aPos : POSITION;
input float4 aColor : COLOR0;
glsl common { vec4 scaled(vec4 c) { return vec4(c.rgb * g_Scale, c.a); } }
glsl vertex vs { out vec4 vColor; void main() { gl_Position = g_mWorldViewProjection * vec4(aPos, 1.0); vColor = aColor; } }
glsl fragment param { void main() { FragColor = scaled(g_Color); } }
glsl fragment vertexColor { in vec4 vColor; void main() { FragColor = vColor; } }
technique Flat { pass { vertex vs; fragment param; } }
technique Other { pass { vertex vs; fragment param; } }
technique FromVertices { pass { vertex vs; fragment vertexColor; } }
technique States { pass p0 { vertex vs; fragment param; CullMode = None; SrcBlend = SrcColor; DepthBias = -0.5; } }
technique Twice { pass { vertex vs; fragment param; } pass { vertex vs; fragment param; ZWriteEnable = false; } }
)";

class EffectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(d_.dev, nullptr);
        dev_ = d_.dev;
        ASSERT_EQ(dev_->CreateVertexDeclaration(kColorElements, &decl_), Result::Ok);
        dev_->SetVertexDeclaration(decl_);
        dev_->SetFVF(0);
        dev_->SetRenderState(RenderState::ZEnable, 0);
        dev_->SetRenderState(RenderState::CullMode, gfx::StateValue(gfx::Cull::None));
    }
    void TearDown() override {
        if (e_) e_->Release();
        if (decl_) decl_->Release();
    }

    void Clear() { dev_->Clear(0, nullptr, gfx::clear::Target, 0xFF000000, 1.0f, 0); }

    // A quad over the whole target in clip space (identity matrix).
    void DrawQuad(uint32_t color = 0xFFFFFFFF) {
        const ColorVertex v[6] = {{-1, -1, 0.5f, color}, {-1, 1, 0.5f, color}, {1, 1, 0.5f, color},
                                  {-1, -1, 0.5f, color}, {1, 1, 0.5f, color},  {1, -1, 0.5f, color}};
        dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleList, 2, v, sizeof(ColorVertex));
    }

    // Begins the technique, draws the quad in every pass, ends.
    void DrawWith(const char* technique, uint32_t color = 0xFFFFFFFF) {
        ASSERT_EQ(e_->SetTechnique(e_->GetTechniqueByName(technique)), Result::Ok);
        uint32_t passes = 0;
        ASSERT_EQ(e_->Begin(&passes, 0), Result::Ok);
        for (uint32_t p = 0; p < passes; ++p) {
            ASSERT_EQ(e_->BeginPass(p), Result::Ok);
            DrawQuad(color);
            e_->EndPass();
        }
        e_->End();
    }

    Handle P(const char* name) { return e_->GetParameterByName(Handle(), name); }

    EffectDevice d_;
    gfx::Device* dev_ = nullptr;
    gfx::VertexDeclaration* decl_ = nullptr;
    effect::Effect* e_ = nullptr;
};

TEST_F(EffectTest, ValuesReachThePixelsAndPersistAcrossTechniques) {
    e_ = d_.Make(kFlat);
    ASSERT_NE(e_, nullptr);
    e_->SetMatrix(P("g_mWorldViewProjection"), math::MatrixIdentity());
    Clear();
    DrawWith("Flat");
    EXPECT_EQ(d_.Pixel(16, 16), 0xFF0000u) << "initial value";

    e_->SetVector(P("g_Color"), {0, 1, 0, 1});
    e_->SetFloat(P("g_Scale"), 0.5f);
    DrawWith("Flat");
    EXPECT_EQ(d_.Pixel(16, 16), 0x008000u);

    // Another technique, another program: the values are the effect's.
    Clear();
    DrawWith("Other");
    EXPECT_EQ(d_.Pixel(16, 16), 0x008000u);
    float scale = 0;
    e_->GetFloat(P("g_Scale"), &scale);
    EXPECT_EQ(scale, 0.5f);
}

TEST_F(EffectTest, ValuesSetInsideAPassArriveAtCommit) {
    e_ = d_.Make(kFlat);
    ASSERT_NE(e_, nullptr);
    e_->SetMatrix(P("g_mWorldViewProjection"), math::MatrixIdentity());
    Clear();
    e_->SetTechnique(e_->GetTechniqueByName("Flat"));
    uint32_t passes = 0;
    e_->Begin(&passes, 0);
    e_->BeginPass(0);
    e_->SetVector(P("g_Color"), {0, 0, 1, 1});
    e_->CommitChanges();
    DrawQuad();
    e_->EndPass();
    e_->End();
    EXPECT_EQ(d_.Pixel(3, 3), 0x0000FFu);
}

TEST_F(EffectTest, NullHandlesAndUnknownNamesChangeNothing) {
    e_ = d_.Make(kFlat);
    ASSERT_NE(e_, nullptr);
    e_->SetMatrix(P("g_mWorldViewProjection"), math::MatrixIdentity());
    const Handle none = P("g_NotDeclared");
    EXPECT_FALSE(none);
    EXPECT_EQ(e_->SetVector(none, {0, 1, 0, 1}), Result::InvalidCall);
    EXPECT_EQ(e_->SetFloat(Handle(), 0.0f), Result::InvalidCall);
    EXPECT_EQ(e_->SetMatrix(Handle(), math::Matrix{}), Result::InvalidCall);
    EXPECT_EQ(e_->SetTexture(Handle(), nullptr), Result::InvalidCall);
    EXPECT_EQ(e_->SetTechnique(Handle()), Result::InvalidCall);
    EXPECT_FALSE(e_->GetTechniqueByName("NoSuchTechnique"));
    // A technique handle is no parameter.
    EXPECT_EQ(e_->SetFloat(e_->GetTechniqueByName("Flat"), 0.0f), Result::InvalidCall);
    Clear();
    DrawWith("Flat");
    EXPECT_EQ(d_.Pixel(16, 16), 0xFF0000u);
}

TEST_F(EffectTest, WorldViewProjectionPutsAVertexOnItsPixel) {
    e_ = d_.Make(kFlat);
    ASSERT_NE(e_, nullptr);
    const math::Matrix view = math::MatrixLookAtLH({0, 0, -10}, {0, 0, 0}, {0, 1, 0});
    const math::Matrix proj = math::MatrixPerspectiveFovLH(math::ToRadian(90.0f), 1.0f, 1.0f, 100.0f);
    const math::Matrix world = math::MatrixTranslation(2.0f, 3.0f, 0.0f);
    const math::Matrix wvp = math::MatrixMultiply(math::MatrixMultiply(world, view), proj);
    e_->SetMatrix(P("g_mWorldViewProjection"), wvp);
    // The model's origin: x = 2/10, y = 3/10 in clip space; pixel (19.2, 11.2).
    const math::Vec3 p = math::Vec3TransformCoord({0, 0, 0}, wvp);
    const uint32_t px = uint32_t((p.x + 1) * 0.5f * EffectDevice::kW);
    const uint32_t py = uint32_t((1 - p.y) * 0.5f * EffectDevice::kH);
    ASSERT_EQ(px, 19u);
    ASSERT_EQ(py, 11u);
    Clear();
    // A point at the model's origin.
    const ColorVertex v = {0, 0, 0, 0xFFFFFFFF};
    e_->SetTechnique(e_->GetTechniqueByName("Flat"));
    e_->Begin(nullptr, 0);
    e_->BeginPass(0);
    dev_->DrawPrimitiveUP(gfx::PrimitiveType::PointList, 1, &v, sizeof v);
    e_->EndPass();
    e_->End();
    const std::vector<uint32_t> px32 = d_.Read();
    for (uint32_t y = 0; y < EffectDevice::kH; ++y) {
        for (uint32_t x = 0; x < EffectDevice::kW; ++x) {
            EXPECT_EQ(px32[y * EffectDevice::kW + x] & 0xFFFFFF, x == px && y == py ? 0xFF0000u : 0u)
                << x << ", " << y;
        }
    }
}

TEST_F(EffectTest, TwoPassTechniqueReportsTwoAndPassStatesAreRestoredAtEnd) {
    e_ = d_.Make(kFlat);
    ASSERT_NE(e_, nullptr);
    uint32_t passes = 0;
    e_->SetTechnique(e_->GetTechniqueByName("Twice"));
    ASSERT_EQ(e_->Begin(&passes, 0), Result::Ok);
    EXPECT_EQ(passes, 2u);
    e_->End();
    effect::TechniqueDesc td;
    ASSERT_EQ(e_->GetTechniqueDesc(e_->GetTechniqueByName("Twice"), &td), Result::Ok);
    EXPECT_EQ(td.Passes, 2u);

    auto get = [&](RenderState s) {
        uint32_t v = 0;
        dev_->GetRenderState(s, &v);
        return v;
    };
    dev_->SetRenderState(RenderState::CullMode, gfx::StateValue(gfx::Cull::Cw));
    dev_->SetRenderState(RenderState::SrcBlend, gfx::StateValue(gfx::Blend::One));
    gfx::Program* before = dev_->GetProgram();
    e_->SetTechnique(e_->GetTechniqueByName("States"));
    e_->Begin(&passes, 0);
    e_->BeginPass(0);
    EXPECT_EQ(get(RenderState::CullMode), gfx::StateValue(gfx::Cull::None));
    EXPECT_EQ(get(RenderState::SrcBlend), gfx::StateValue(gfx::Blend::SrcColor));
    EXPECT_EQ(gfx::StateFloat(get(RenderState::DepthBias)), -0.5f);
    EXPECT_NE(dev_->GetProgram(), nullptr);
    // Set by the caller and named by no pass: stays.
    dev_->SetRenderState(RenderState::AlphaRef, 77);
    e_->EndPass();
    e_->End();
    EXPECT_EQ(get(RenderState::CullMode), gfx::StateValue(gfx::Cull::Cw));
    EXPECT_EQ(get(RenderState::SrcBlend), gfx::StateValue(gfx::Blend::One));
    EXPECT_EQ(gfx::StateFloat(get(RenderState::DepthBias)), 0.0f);
    EXPECT_EQ(get(RenderState::AlphaRef), 77u);
    EXPECT_EQ(dev_->GetProgram(), before);
}

// Every pass draws with its own program and states: the first writes red,
// the second adds green over it; a value changed between draws reaches both.
TEST_F(EffectTest, EveryPassOfAMultiPassTechniqueDraws) {
    e_ = d_.Make(R"(
parameter float4 g_Color;
input float3 aPos : POSITION;
glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }
glsl fragment red { void main() { FragColor = vec4(g_Color.r, 0.0, 0.0, 1.0); } }
glsl fragment green { void main() { FragColor = vec4(0.0, g_Color.g, 0.0, 1.0); } }
technique T {
    pass { vertex vs; fragment red; AlphaBlendEnable = false; }
    pass { vertex vs; fragment green; AlphaBlendEnable = true; SrcBlend = One; DestBlend = One; }
}
)");
    ASSERT_NE(e_, nullptr);
    struct Case {
        math::Vec4 color;
        uint32_t expected;
    } cases[] = {
        {{1.0f, 0.0f, 0, 1}, 0xFF0000u}, {{0.0f, 1.0f, 0, 1}, 0x00FF00u}, {{1.0f, 1.0f, 0, 1}, 0xFFFF00u}};
    for (const Case& c : cases) {
        e_->SetVector(P("g_Color"), c.color);
        Clear();
        DrawWith("T");
        EXPECT_EQ(d_.Pixel(16, 16), c.expected);
    }
    uint32_t blend = 1;
    dev_->GetRenderState(RenderState::AlphaBlendEnable, &blend);
    EXPECT_EQ(blend, 0u) << "the second pass's blending ends with the technique";
}

// A quad of 24-byte vertices (a float4 position, a texture coordinate)
// drawn from memory through an effect: all four position components and the
// coordinate arrive, so w divides the position and the corners are coloured
// by their coordinates.
TEST_F(EffectTest, AQuadOfFloat4PositionsDrawsFromMemory) {
    e_ = d_.Make(R"(
input float4 aPos : POSITION;
input float2 aTex : TEXCOORD0;
glsl vertex vs { out vec2 vTex; void main() { gl_Position = aPos; vTex = aTex; } }
glsl fragment fs { in vec2 vTex; void main() { FragColor = vec4(vTex, 0.0, 1.0); } }
technique T { pass { vertex vs; fragment fs; CullMode = None; ZEnable = false; } }
)");
    ASSERT_NE(e_, nullptr);
    struct QuadVertex {
        float x, y, z, w, u, v;
    };
    static_assert(sizeof(QuadVertex) == 24);
    const gfx::VertexElement elements[] = {
        {0, 0, gfx::elemtype::Float4, 0, gfx::elemusage::Position, 0},
        {0, 16, gfx::elemtype::Float2, 0, gfx::elemusage::TexCoord, 0},
        gfx::DeclEnd,
    };
    gfx::VertexDeclaration* quadDecl = nullptr;
    ASSERT_EQ(dev_->CreateVertexDeclaration(elements, &quadDecl), Result::Ok);
    dev_->SetVertexDeclaration(quadDecl);
    // The left half of the target in clip space, every coordinate times w = 2.
    const QuadVertex quad[4] = {
        {-2, -2, 1, 2, 0, 1}, {0, -2, 1, 2, 1, 1}, {-2, 2, 1, 2, 0, 0}, {0, 2, 1, 2, 1, 0}};
    Clear();
    e_->SetTechnique(e_->GetTechniqueByName("T"));
    uint32_t passes = 0;
    ASSERT_EQ(e_->Begin(&passes, 0), Result::Ok);
    e_->BeginPass(0);
    EXPECT_EQ(dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, quad, sizeof(QuadVertex)),
              Result::Ok);
    e_->EndPass();
    e_->End();
    dev_->SetVertexDeclaration(decl_);
    quadDecl->Release();
    const uint32_t topLeft = d_.Pixel(0, 0), bottomRight = d_.Pixel(15, 31);
    EXPECT_LT(topLeft >> 16, 0x10u);
    EXPECT_LT((topLeft >> 8) & 0xFF, 0x10u);
    EXPECT_GT(bottomRight >> 16, 0xE0u);
    EXPECT_GT((bottomRight >> 8) & 0xFF, 0xE0u);
    EXPECT_EQ(d_.Pixel(16, 16), 0u) << "the right half is left as cleared";
    EXPECT_EQ(d_.Pixel(31, 0), 0u);
}

TEST_F(EffectTest, AlphaTestDiscardsBelowTheReference) {
    e_ = d_.Make(kFlat);
    ASSERT_NE(e_, nullptr);
    e_->SetMatrix(P("g_mWorldViewProjection"), math::MatrixIdentity());
    dev_->SetRenderState(RenderState::AlphaTestEnable, 1);
    dev_->SetRenderState(RenderState::AlphaRef, 128);
    dev_->SetRenderState(RenderState::AlphaFunc, gfx::StateValue(gfx::Cmp::GreaterEqual));
    struct Case {
        uint32_t color;
        uint32_t expected;
    } cases[] = {{0x7F00FF00, 0x000000}, {0x8000FF00, 0x00FF00}, {0xFF0000FF, 0x0000FF}};
    for (const Case& c : cases) {
        Clear();
        DrawWith("FromVertices", c.color);
        EXPECT_EQ(d_.Pixel(8, 8), c.expected) << std::hex << c.color;
    }
}

// Inputs arrive by usage whatever the layout: the static 60-byte one and the
// skinned 76-byte one, colours as 0..1 and blend indices as 0..255.
struct LayoutCase {
    const char* name;
    std::vector<gfx::VertexElement> elements;
    uint32_t stride;
    uint32_t posAt, colorAt, indicesAt, texAt;
};

class EffectLayoutTest : public EffectTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(EffectLayoutTest, InputsArriveByUsage) {
    const LayoutCase& c = GetParam();
    const bool skinned = c.indicesAt != 0;
    // The palette entry that the blend index picks moves the quad right by
    // half the screen; a float4x3 palette is a mat3x4 used as v * m.
    const std::string text =
        std::string(R"(
parameter float4x3 mWorldMatrixArray[64];
input float3 aPos : POSITION;
input float4 aColor : COLOR0;
input float2 aTex : TEXCOORD0;
)") + (skinned ? "input float4 aIndices : BLENDINDICES;\n" : "") +
        R"(
glsl vertex vs {
    out vec4 vColor; out vec2 vTex; out vec4 vIdx;
    void main() {
)" +
        (skinned ? "vec3 p = vec4(aPos, 1.0) * mWorldMatrixArray[int(aIndices.y)]; vIdx = aIndices;\n"
                 : "vec3 p = aPos; vIdx = vec4(0.0);\n") +
        R"(
        gl_Position = vec4(p, 1.0); vColor = aColor; vTex = aTex;
    }
}
glsl fragment fs { in vec4 vColor; in vec2 vTex; in vec4 vIdx;
    void main() { FragColor = vec4(vColor.r, vTex.x, vIdx.x / 255.0, 1.0); } }
technique T { pass { vertex vs; fragment fs; } }
)";
    e_ = d_.Make(text);
    ASSERT_NE(e_, nullptr);
    math::Matrix palette[64];
    palette[5] = math::MatrixTranslation(1.0f, 0.0f, 0.0f);
    e_->SetMatrixArray(P("mWorldMatrixArray"), palette, 64);

    std::vector<gfx::VertexElement> elements = c.elements;
    elements.push_back(gfx::DeclEnd);
    gfx::VertexDeclaration* decl = nullptr;
    ASSERT_EQ(dev_->CreateVertexDeclaration(elements.data(), &decl), Result::Ok);
    dev_->SetVertexDeclaration(decl);
    // A quad over the left half of the screen.
    const float corners[6][2] = {{-1, -1}, {-1, 1}, {0, 1}, {-1, -1}, {0, 1}, {0, -1}};
    std::vector<uint8_t> vertices(6 * c.stride, 0);
    for (int i = 0; i < 6; ++i) {
        uint8_t* v = vertices.data() + i * c.stride;
        const float pos[3] = {corners[i][0], corners[i][1], 0.5f};
        std::memcpy(v + c.posAt, pos, 12);
        const uint32_t color = 0xFF800000; // red 128
        std::memcpy(v + c.colorAt, &color, 4);
        const float tex[2] = {0.25f, 0};
        std::memcpy(v + c.texAt, tex, 8);
        if (skinned) {
            const uint8_t indices[4] = {64, 5, 0, 0};
            std::memcpy(v + c.indicesAt, indices, 4);
        }
    }
    Clear();
    e_->SetTechnique(e_->GetTechnique(0));
    e_->Begin(nullptr, 0);
    e_->BeginPass(0);
    dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleList, 2, vertices.data(), c.stride);
    e_->EndPass();
    e_->End();
    dev_->SetVertexDeclaration(decl_);
    decl->Release();
    const uint32_t left = d_.Pixel(8, 16), right = d_.Pixel(24, 16);
    const uint32_t drawn = skinned ? right : left, empty = skinned ? left : right;
    EXPECT_EQ(empty, 0u);
    EXPECT_EQ(drawn >> 16, 128u) << "colour";
    EXPECT_NEAR(double((drawn >> 8) & 0xFF), 64.0, 1.0) << "texture coordinate";
    EXPECT_EQ(drawn & 0xFF, skinned ? 64u : 0u) << "blend index";
}

using namespace gfx::elemtype;
using namespace gfx::elemusage;
const LayoutCase kLayouts[] = {
    {"static60",
     {{0, 0, Float3, 0, Position, 0},
      {0, 12, Float3, 0, Normal, 0},
      {0, 24, Float2, 0, TexCoord, 0},
      {0, 32, Float3, 0, Tangent, 0},
      {0, 44, Float3, 0, Binormal, 0},
      {0, 56, gfx::elemtype::Color, 0, gfx::elemusage::Color, 0}},
     60,
     0,
     56,
     0,
     24},
    {"skinned76",
     {{0, 0, Float3, 0, Position, 0},
      {0, 12, Float3, 0, BlendWeight, 0},
      {0, 24, UByte4, 0, BlendIndices, 0},
      {0, 28, Float3, 0, Normal, 0},
      {0, 40, Float2, 0, TexCoord, 0},
      {0, 48, Float3, 0, Tangent, 0},
      {0, 60, Float3, 0, Binormal, 0},
      {0, 72, gfx::elemtype::Color, 0, gfx::elemusage::Color, 0}},
     76,
     0,
     72,
     24,
     40},
};
INSTANTIATE_TEST_SUITE_P(Layouts, EffectLayoutTest, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EffectTest, StageSamplerAndParameterSamplerReadTheirTextures) {
    e_ = d_.Make(R"(
parameter texture g_Texture;
sampler2D sStage : stage 0;
sampler2D sParam : stage 1 = g_Texture { MinFilter = Point; MagFilter = Point; AddressU = Clamp; };
input float3 aPos : POSITION;
glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }
glsl fragment fs { void main() {
    FragColor = vec4(texture(sStage, vec2(0.5)).r, texture(sParam, vec2(0.5)).g, 0.0, 1.0); } }
technique T { pass { vertex vs; fragment fs; } }
)");
    ASSERT_NE(e_, nullptr);
    dev_->SetTexture(0, d_.Texture(0xFFFF0000));
    ASSERT_EQ(e_->SetTexture(P("g_Texture"), d_.Texture(0xFF00FF00)), Result::Ok);
    Clear();
    DrawWith("T");
    EXPECT_EQ(d_.Pixel(16, 16), 0xFFFF00u);
    uint32_t address = 0;
    dev_->GetSamplerState(1, gfx::SamplerState::AddressU, &address);
    EXPECT_EQ(address, gfx::StateValue(gfx::TextureAddress::Clamp)) << "sampler states set at BeginPass";
    dev_->SetTexture(0, nullptr);
    dev_->SetTexture(1, nullptr);
    e_->SetTexture(P("g_Texture"), nullptr);
}

TEST_F(EffectTest, ReflectionGivesDescriptionsAnnotationsAndElements) {
    e_ = d_.Make(std::string(kFlat) + R"(
parameter float3 g_Taps[5] < string Convert = "g_Scale"; >;
parameter bool g_Flags[2] = {true, false};
parameter float4x3 g_Bones[4];
)");
    ASSERT_NE(e_, nullptr);
    struct Case {
        const char* name;
        effect::ParameterClass cls;
        uint32_t rows, columns, elements, bytes, annotations;
    } cases[] = {
        {"g_Scale", effect::ParameterClass::Scalar, 1, 1, 0, 4, 2},
        {"g_Color", effect::ParameterClass::Vector, 1, 4, 0, 16, 0},
        {"g_Taps", effect::ParameterClass::Vector, 1, 3, 5, 60, 1},
        {"g_Flags", effect::ParameterClass::Scalar, 1, 1, 2, 8, 0},
        {"g_Bones", effect::ParameterClass::MatrixRows, 4, 3, 4, 192, 0},
        {"g_mWorldViewProjection", effect::ParameterClass::MatrixRows, 4, 4, 0, 64, 0},
    };
    for (const Case& c : cases) {
        effect::ParameterDesc d;
        ASSERT_EQ(e_->GetParameterDesc(P(c.name), &d), Result::Ok) << c.name;
        EXPECT_STREQ(d.Name, c.name);
        EXPECT_EQ(d.Class, c.cls) << c.name;
        EXPECT_EQ(d.Rows, c.rows) << c.name;
        EXPECT_EQ(d.Columns, c.columns) << c.name;
        EXPECT_EQ(d.Elements, c.elements) << c.name;
        EXPECT_EQ(d.Bytes, c.bytes) << c.name;
        EXPECT_EQ(d.Annotations, c.annotations) << c.name;
    }
    effect::ParameterDesc d;
    e_->GetParameterDesc(P("g_Scale"), &d);
    EXPECT_STREQ(d.Semantic, "SCALE");

    // Walking by index until no parameter comes.
    effect::EffectDesc ed;
    e_->GetDesc(&ed);
    uint32_t n = 0;
    while (e_->GetParameter(Handle(), n))
        ++n;
    EXPECT_EQ(n, ed.Parameters);

    const char* text = nullptr;
    ASSERT_EQ(e_->GetString(e_->GetAnnotationByName(P("g_Taps"), "Convert"), &text), Result::Ok);
    EXPECT_STREQ(text, "g_Scale");
    EXPECT_EQ(e_->GetString(e_->GetAnnotationByName(P("g_Scale"), "Step"), &text), Result::InvalidCall);

    // 60 bytes of float3[5]; more is cut at the size.
    float taps[16];
    for (int i = 0; i < 16; ++i)
        taps[i] = float(i);
    ASSERT_EQ(e_->SetValue(P("g_Taps"), taps, sizeof taps), Result::Ok);
    math::Vec4 v[5];
    e_->GetVectorArray(P("g_Taps"), v, 5);
    EXPECT_EQ(v[4], (math::Vec4{12, 13, 14, 0}));
    // One element by its handle.
    e_->SetVector(e_->GetParameterElement(P("g_Taps"), 1), {7, 8, 9, 10});
    e_->GetVectorArray(P("g_Taps"), v, 5);
    EXPECT_EQ(v[1], (math::Vec4{7, 8, 9, 0}));
    EXPECT_EQ(v[2], (math::Vec4{6, 7, 8, 0}));

    bool flags[2] = {};
    e_->GetBoolArray(P("g_Flags"), flags, 2);
    EXPECT_TRUE(flags[0]);
    EXPECT_FALSE(flags[1]);

    // A 4 x 4 matrix into float4x3: the last column is dropped.
    math::Matrix m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.m[r][c] = float(r * 4 + c);
    e_->SetMatrix(e_->GetParameterElement(P("g_Bones"), 2), m);
    float bone[12];
    ASSERT_EQ(e_->GetValue(e_->GetParameterElement(P("g_Bones"), 2), bone, sizeof bone), Result::Ok);
    const float expected[12] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14};
    EXPECT_EQ(std::memcmp(bone, expected, sizeof bone), 0);
}

TEST_F(EffectTest, CompileErrorsFailTheCreationAndLinkErrorsInvalidateTheTechnique) {
    effect::Effect* e = nullptr;
    std::string errors;
    const char* bad = "input float3 aPos : POSITION;\n"
                      "glsl vertex vs {\n void main() { gl_Position = vec4(aPos, 1.0) }\n}\n"
                      "glsl fragment fs { void main() { } }\n"
                      "technique T { pass { vertex vs; fragment fs; } }\n";
    EXPECT_EQ(effect::CreateEffect(dev_, bad, "fx\\bad.glfx", 0, &e, &errors), Result::InvalidData);
    EXPECT_EQ(e, nullptr);
    EXPECT_NE(errors.find("fx\\bad.glfx:2: vertex stage 'vs' does not compile"), std::string::npos) << errors;
    EXPECT_NE(errors.find("fx\\bad.glfx:3"), std::string::npos)
        << "the compiler's line is the file's: " << errors;

    // A function declared and called but defined nowhere compiles and does
    // not link.
    e_ = d_.Make("glsl vertex vs { out float v; float missing(float x);\n"
                 "  void main() { v = missing(1.0); gl_Position = vec4(0.0); } }\n"
                 "glsl vertex vs2 { out float v; void main() { v = 1.0; gl_Position = vec4(0.0); } }\n"
                 "glsl fragment fs { in float v; void main() { FragColor = vec4(v); } }\n"
                 "technique Broken { pass { vertex vs; fragment fs; } }\n"
                 "technique Good { pass { vertex vs2; fragment fs; } }\n");
    ASSERT_NE(e_, nullptr);
    Handle next;
    ASSERT_EQ(e_->FindNextValidTechnique(Handle(), &next), Result::Ok);
    EXPECT_EQ(next, e_->GetTechniqueByName("Good"));
    EXPECT_EQ(e_->FindNextValidTechnique(next, &next), Result::InvalidCall);
    e_->SetTechnique(e_->GetTechniqueByName("Broken"));
    EXPECT_EQ(e_->Begin(nullptr, 0), Result::InvalidCall);
}

TEST_F(EffectTest, FilesResolveFromTheFxcNameAndIncludeSharedCode) {
    const std::filesystem::path dir = FreshTestDir("zt_effect_");
    const std::string old = os::StartDirectory();
    os::SetStartDirectory(dir.string());
    std::filesystem::create_directories(dir / "fx");
    std::ofstream(dir / "fx" / "Lib.glsl") << "vec4 libColor() { return vec4(0.0, 0.0, 1.0, 1.0); }\n";
    std::ofstream(dir / "fx" / "Shaded.glfx")
        << "include \"lib.glsl\"\ninput float3 aPos : POSITION;\n"
           "glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }\n"
           "glsl fragment fs { void main() { FragColor = libColor(); } }\n"
           "technique T { pass { vertex vs; fragment fs; } }\n";
    std::string errors;
    ASSERT_EQ(effect::CreateEffectFromFile(dev_, "fx\\shaded.fxc", 0, &e_, &errors), Result::Ok) << errors;
    Clear();
    DrawWith("T");
    EXPECT_EQ(d_.Pixel(16, 16), 0x0000FFu);

    effect::Effect* e = nullptr;
    // A fault in an included file is named by that file and its line; a
    // missing include by the including file and line.
    std::ofstream(dir / "fx" / "broken.glsl") << "float ok() { return 1.0; }\nfloat bad() { return 1.0 }\n";
    std::ofstream(dir / "fx" / "UsesBroken.glfx")
        << "include \"lib.glsl\"\ninclude \"broken.glsl\"\n"
           "glsl vertex vs { void main() { gl_Position = vec4(0.0); } }\n"
           "glsl fragment fs { void main() { FragColor = libColor(); } }\n"
           "technique T { pass { vertex vs; fragment fs; } }\n";
    EXPECT_EQ(effect::CreateEffectFromFile(dev_, "fx\\usesbroken.fxc", 0, &e, &errors), Result::InvalidData);
    EXPECT_EQ(e, nullptr);
    EXPECT_NE(errors.find("\nfx\\broken.glsl:2"), std::string::npos) << errors;
    std::ofstream(dir / "fx" / "UsesMissing.glfx") << "\ninclude \"nothere.glsl\"\n";
    EXPECT_EQ(effect::CreateEffectFromFile(dev_, "fx\\usesmissing.fxc", 0, &e, &errors), Result::InvalidData);
    EXPECT_EQ(errors, "fx\\usesmissing.glfx:2: cannot read the include \"nothere.glsl\"");
    EXPECT_EQ(effect::CreateEffectFromFile(dev_, "fx\\missing.fxc", 0, &e, &errors), Result::InvalidData);
    EXPECT_EQ(errors, "fx\\missing.glfx: cannot be read");
    std::filesystem::create_directories(dir / "fx" / "dir.glfx");
    EXPECT_EQ(effect::CreateEffectFromFile(dev_, "fx\\dir.fxc", 0, &e, &errors), Result::InvalidData);
    os::SetStartDirectory(old);
    std::filesystem::remove_all(dir);
}

} // namespace
