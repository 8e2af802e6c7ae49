// The effect file reader over small texts: each construct, array sizes,
// annotations, initial values, and errors with their line.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/effect/EffectFile.h"

namespace {

using effect::EffectDecl;
using gfx::RenderState;

// The smallest complete technique, appended where a text needs one.
const std::string kStages = "glsl vertex vs { void main() { gl_Position = vec4(0.0); } }\n"
                            "glsl fragment fs { void main() { FragColor = vec4(1.0); } }\n";

bool Read(const std::string& text, EffectDecl* out, std::string* error) {
    const effect::IncludeReader include = [](std::string_view name, std::string* code) {
        if (name != "lib.glsl") return false;
        *code = "float lib() { return 1.0; }\n";
        return true;
    };
    return effect::ReadEffect(text, "fx\\t.glfx", include, out, error);
}

struct ParameterCase {
    const char* text;
    const char* type;
    uint32_t elements;
    uint32_t bytesPerElement;
    const char* semantic;
    std::vector<float> initial;
};

class ParameterTest : public ::testing::TestWithParam<ParameterCase> {};

TEST_P(ParameterTest, TypeSizeSemanticAndInitialValue) {
    const ParameterCase& c = GetParam();
    EffectDecl d;
    std::string error;
    ASSERT_TRUE(Read(c.text, &d, &error)) << error;
    ASSERT_EQ(d.parameters.size(), 1u);
    const effect::ParameterDecl& p = d.parameters[0];
    EXPECT_STREQ(p.type->name, c.type);
    EXPECT_EQ(p.elements, c.elements);
    EXPECT_EQ(p.type->bytes, c.bytesPerElement);
    EXPECT_EQ(p.semantic, c.semantic);
    EXPECT_EQ(p.hasInitial, !c.initial.empty());
    EXPECT_EQ(p.initial, c.initial);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, ParameterTest,
    ::testing::Values(
        ParameterCase{"parameter bool b;", "bool", 0, 4, "", {}},
        ParameterCase{"parameter bool b[2] = {true, false};", "bool", 2, 4, "", {1, 0}},
        ParameterCase{"parameter int n : COUNT = 3;", "int", 0, 4, "COUNT", {3}},
        ParameterCase{"parameter float f = -1.5e1f;", "float", 0, 4, "", {-15}},
        ParameterCase{"parameter float2 v = float2(1, 2);", "float2", 0, 8, "", {1, 2}},
        ParameterCase{"parameter float3 v[5];", "float3", 5, 12, "", {}},
        ParameterCase{"parameter float4 v[3] = {{1,2,3,4},{5,6,7,8},{9,10,11,12}};",
                      "float4",
                      3,
                      16,
                      "",
                      {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        ParameterCase{"parameter float4 filterTaps[12];", "float4", 12, 16, "", {}},
        ParameterCase{"parameter float4x3 mWorldMatrixArray[64] : WORLDMATRIXARRAY;",
                      "float4x3",
                      64,
                      48,
                      "WORLDMATRIXARRAY",
                      {}},
        ParameterCase{
            "parameter float4x4 m : WORLDVIEWPROJECTION;", "float4x4", 0, 64, "WORLDVIEWPROJECTION", {}},
        ParameterCase{"parameter texture t;", "texture", 0, 0, "", {}},
        ParameterCase{"parameter int c = 0x10;", "int", 0, 4, "", {16}}));

TEST(EffectFile, AnnotationsKeepStringsAndNumbers) {
    EffectDecl d;
    std::string error;
    ASSERT_TRUE(Read("parameter float4 taps[2] <string ConvertPixelsToTexels = \"g_Source\"; "
                     "float Scale = 0.5; int N = 3; bool On = true;> ;",
                     &d, &error))
        << error;
    const auto& a = d.parameters[0].annotations;
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0].type, effect::ParamType::String);
    EXPECT_EQ(a[0].name, "ConvertPixelsToTexels");
    EXPECT_EQ(a[0].text, "g_Source");
    EXPECT_EQ(a[1].numbers, std::vector<float>{0.5f});
    EXPECT_EQ(a[2].type, effect::ParamType::Int);
    EXPECT_EQ(a[3].numbers, std::vector<float>{1});
}

TEST(EffectFile, SamplersInputsCodeAndTechniques) {
    EffectDecl d;
    std::string error;
    ASSERT_TRUE(
        Read("// a comment\n"
             "parameter texture g_Texture; /* block\n comment */\n"
             "sampler2D sDiffuse : stage 0;\n"
             "samplerCube sEnv : stage 15 = g_Texture { MinFilter = Linear; AddressU = clamp; "
             "MipMapLodBias = -0.5; MaxAnisotropy = 4; };\n"
             "input float3 aPos : POSITION;\ninput float4 aIdx : BLENDINDICES;\n"
             "input float2 aTex1 : TEXCOORD1;\ninput float4 aColor : COLOR;\n"
             "include \"lib.glsl\";\n"
             "glsl common { // } in a comment\n vec4 k() { return vec4(1.0); } }\n" +
                 kStages +
                 "technique Lit {\n pass p0 { vertex vs; fragment fs; SrcBlend = SrcColor; CullMode = None; "
                 "ZWriteEnable = false; AlphaRef = 0x80; DepthBias = -0.25; }\n"
                 " pass { vertex vs; fragment fs; }\n}\n",
             &d, &error))
        << error;
    ASSERT_EQ(d.samplers.size(), 2u);
    EXPECT_FALSE(d.samplers[0].cube);
    EXPECT_EQ(d.samplers[0].texture, "");
    EXPECT_TRUE(d.samplers[1].cube);
    EXPECT_EQ(d.samplers[1].stage, 15u);
    EXPECT_EQ(d.samplers[1].texture, "g_Texture");
    ASSERT_EQ(d.samplers[1].states.size(), 4u);
    EXPECT_EQ(d.samplers[1].states[0].value, gfx::StateValue(gfx::TextureFilter::Linear));
    EXPECT_EQ(d.samplers[1].states[1].value, gfx::StateValue(gfx::TextureAddress::Clamp));
    EXPECT_EQ(gfx::StateFloat(d.samplers[1].states[2].value), -0.5f);

    ASSERT_EQ(d.inputs.size(), 4u);
    EXPECT_EQ(d.inputs[1].usage, gfx::elemusage::BlendIndices);
    EXPECT_EQ(d.inputs[2].usage, gfx::elemusage::TexCoord);
    EXPECT_EQ(d.inputs[2].usageIndex, 1u);
    EXPECT_EQ(d.inputs[3].usage, gfx::elemusage::Color);
    EXPECT_EQ(d.inputs[3].usageIndex, 0u);

    ASSERT_EQ(d.common.size(), 2u);
    EXPECT_EQ(d.common[0].source, "fx\\lib.glsl");
    EXPECT_EQ(d.common[1].line, 11);
    EXPECT_NE(d.common[1].code.find("vec4 k()"), std::string::npos);

    ASSERT_EQ(d.techniques.size(), 1u);
    const effect::TechniqueDecl& t = d.techniques[0];
    ASSERT_EQ(t.passes.size(), 2u);
    EXPECT_EQ(t.passes[0].name, "p0");
    const std::vector<std::pair<RenderState, uint32_t>> expected = {
        {RenderState::SrcBlend, gfx::StateValue(gfx::Blend::SrcColor)},
        {RenderState::CullMode, gfx::StateValue(gfx::Cull::None)},
        {RenderState::ZWriteEnable, 0},
        {RenderState::AlphaRef, 128},
        {RenderState::DepthBias, gfx::FloatState(-0.25f)}};
    ASSERT_EQ(t.passes[0].states.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(t.passes[0].states[i].state, expected[i].first) << i;
        EXPECT_EQ(t.passes[0].states[i].value, expected[i].second) << i;
    }
}

struct ErrorCase {
    const char* name;
    std::string text;
    const char* error;
};

class ReaderErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ReaderErrorTest, NamesTheFileAndLine) {
    const ErrorCase& c = GetParam();
    EffectDecl d;
    std::string error;
    EXPECT_FALSE(Read(c.text, &d, &error));
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(d.parameters.empty() && d.techniques.empty()) << "nothing is returned";
}

INSTANTIATE_TEST_SUITE_P(
    Reader, ReaderErrorTest,
    ::testing::Values(
        ErrorCase{"UnknownType", "\nparameter half h;", "fx\\t.glfx:2: unknown type 'half'"},
        ErrorCase{"ZeroArray", "parameter float f[0];", "fx\\t.glfx:1: array size must be 1 to 1024"},
        ErrorCase{"HugeArray", "parameter float f[100000];", "fx\\t.glfx:1: array size must be 1 to 1024"},
        ErrorCase{"NegativeArray", "parameter float f[-3];", "fx\\t.glfx:1: array size must be 1 to 1024"},
        ErrorCase{"TooFewValues", "parameter float3 v =\n {1, 2};",
                  "fx\\t.glfx:2: 'v' needs 3 values, 2 given"},
        ErrorCase{"TooManyValues", "parameter float2 v = {1, 2, 3};",
                  "fx\\t.glfx:1: too many values (2 expected)"},
        ErrorCase{"BadNumber", "parameter float f = 1.2.3;", "fx\\t.glfx:1: expected a value, found '1.2.3'"},
        ErrorCase{"MissingSemicolon", "parameter float f\nparameter float g;",
                  "fx\\t.glfx:2: expected ';', found 'parameter'"},
        ErrorCase{"TextureValue", "parameter texture t = 1;", "fx\\t.glfx:1: a texture has no initial value"},
        ErrorCase{"StageTooHigh", "sampler2D s : stage 16;", "fx\\t.glfx:1: stage must be 0 to 15"},
        ErrorCase{"SamplerOfNoTexture", "parameter float f;\nsampler2D s : stage 1 = f;",
                  "fx\\t.glfx:2: 'f' is not a texture parameter"},
        ErrorCase{"UnknownSamplerState", "sampler2D s : stage 1 { Filter = Linear; }",
                  "fx\\t.glfx:1: unknown sampler state 'Filter'"},
        ErrorCase{"UnknownUsage", "input float3 p : POSITION1;", "fx\\t.glfx:1: unknown usage 'POSITION1'"},
        ErrorCase{"MatrixInput", "input float4x4 p : POSITION;",
                  "fx\\t.glfx:1: an input is float, float2, float3 or float4, not 'float4x4'"},
        ErrorCase{"UsageTwice", "input float3 p : POSITION;\ninput float3 q : POSITION0;",
                  "fx\\t.glfx:2: usage POSITION0 given twice"},
        ErrorCase{"OpenBlock", "\nglsl vertex vs { void main() {",
                  "fx\\t.glfx:2: GLSL block that never ends"},
        ErrorCase{"OpenComment", "parameter float f; /* never", "fx\\t.glfx:1: comment that never ends"},
        ErrorCase{"MissingInclude", "include \"none.glsl\"",
                  "fx\\t.glfx:1: cannot read the include \"none.glsl\""},
        ErrorCase{"UnknownState",
                  kStages + "technique T { pass {\n vertex vs; fragment fs; Blending = 1; } }",
                  "fx\\t.glfx:4: unknown render state 'Blending'"},
        ErrorCase{"BadStateValue",
                  kStages + "technique T { pass { vertex vs; fragment fs; CullMode = Back; } }",
                  "fx\\t.glfx:3: bad value 'Back' for CullMode"},
        ErrorCase{"UnknownStage", kStages + "technique T {\n pass { vertex other; fragment fs; } }",
                  "fx\\t.glfx:4: no vertex stage 'other'"},
        ErrorCase{"PassWithoutFragment", kStages + "technique T { pass { vertex vs; } }",
                  "fx\\t.glfx:3: a pass names a vertex and a fragment stage"},
        ErrorCase{"TechniqueTwice", kStages + "technique T { }\ntechnique t { }",
                  "fx\\t.glfx:4: technique 't' declared twice"},
        ErrorCase{"NameTwice", "parameter float a;\nsampler2D a : stage 0;",
                  "fx\\t.glfx:2: 'a' declared twice"},
        ErrorCase{"StageTwice", kStages + "glsl vertex vs { }",
                  "fx\\t.glfx:3: vertex stage 'vs' given twice"},
        ErrorCase{"UnknownDeclaration", "shader x;", "fx\\t.glfx:1: unknown declaration 'shader'"},
        ErrorCase{"StrayPunctuation", "}", "fx\\t.glfx:1: expected a declaration, found '}'"},
        ErrorCase{"UnendedString", "include \"lib.glsl", "fx\\t.glfx:1: string that never ends"}),
    [](const auto& info) { return std::string(info.param.name); });

// Includes over a small set of library files: nesting, include-once, and
// the errors of a missing or cyclic include, named by the including file.
struct IncludeCase {
    const char* name;
    std::map<std::string, std::string> files;
    std::string text;
    std::string error;                // empty: read
    std::vector<std::string> sources; // the common code's files, in order
    std::vector<int> lines;           // the line each piece starts on
};

class IncludeTest : public ::testing::TestWithParam<IncludeCase> {};

TEST_P(IncludeTest, IncludesNestOnceAndNameTheirFileInErrors) {
    const IncludeCase& c = GetParam();
    const effect::IncludeReader include = [&c](std::string_view name, std::string* code) {
        const auto it = c.files.find(std::string(name));
        if (it == c.files.end()) return false;
        *code = it->second;
        return true;
    };
    EffectDecl d;
    std::string error;
    const bool ok = effect::ReadEffect(c.text, "fx\\t.glfx", include, &d, &error);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(ok, c.error.empty());
    std::vector<std::string> sources;
    std::vector<int> lines;
    for (const effect::CodeDecl& code : d.common) {
        sources.push_back(code.source);
        lines.push_back(code.line);
    }
    EXPECT_EQ(sources, c.sources);
    EXPECT_EQ(lines, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, IncludeTest,
    ::testing::Values(
        IncludeCase{"Plain", {{"a.glsl", "float a;\n"}}, "include \"a.glsl\"", "", {"fx\\a.glsl"}, {1}},
        IncludeCase{"NestedGoesFirstAndKeepsLines",
                    {{"a.glsl", "float a1;\ninclude \"b.glsl\";\nfloat a3;\n"}, {"b.glsl", "float b;\n"}},
                    "include \"a.glsl\"",
                    "",
                    {"fx\\a.glsl", "fx\\b.glsl", "fx\\a.glsl"},
                    {1, 1, 3}},
        IncludeCase{"SecondIncludeIsSkipped",
                    {{"a.glsl", "include \"C.glsl\"\nfloat a;\n"}, {"c.glsl", "float c;\n"}},
                    "include \"c.glsl\"\ninclude \"a.glsl\"\ninclude \"a.glsl\"",
                    "",
                    {"fx\\c.glsl", "fx\\a.glsl"},
                    {1, 2}},
        IncludeCase{"MissingNested",
                    {{"a.glsl", "float a;\n\n  include \"gone.glsl\"\n"}},
                    "include \"a.glsl\"",
                    "fx\\a.glsl:3: cannot read the include \"gone.glsl\"",
                    {},
                    {}},
        IncludeCase{"SelfInclude",
                    {{"a.glsl", "include \"a.glsl\"\n"}},
                    "include \"a.glsl\"",
                    "fx\\a.glsl:1: include cycle: fx\\a.glsl -> fx\\a.glsl",
                    {},
                    {}},
        IncludeCase{"CycleThroughAnother",
                    {{"a.glsl", "include \"b.glsl\"\n"}, {"b.glsl", "float b;\ninclude \"A.glsl\"\n"}},
                    "\ninclude \"a.glsl\"",
                    "fx\\b.glsl:2: include cycle: fx\\a.glsl -> fx\\b.glsl -> fx\\A.glsl",
                    {},
                    {}},
        IncludeCase{"IncludeWordInCodeIsCode",
                    {{"a.glsl", "float include_x; // include \"no.glsl\" here\n"}},
                    "include \"a.glsl\"",
                    "",
                    {"fx\\a.glsl"},
                    {1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EffectFile, EmptyTextIsAnEffectWithNothing) {
    EffectDecl d;
    std::string error;
    EXPECT_TRUE(Read("", &d, &error));
    EXPECT_TRUE(Read("\r\n// only a comment\r\n", &d, &error));
}

} // namespace
