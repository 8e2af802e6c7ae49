#include "platform/effect/EffectFile.h"

#include <charconv>
#include <cstdlib>

#include "platform/os/Os.h"

namespace effect {
namespace {

using gfx::RenderState;
using gfx::SamplerState;

const TypeInfo kTypes[] = {
    {"bool", ParamType::Bool, ParamClass::Scalar, 1, 1, 4, "bool"},
    {"int", ParamType::Int, ParamClass::Scalar, 1, 1, 4, "int"},
    {"float", ParamType::Float, ParamClass::Scalar, 1, 1, 4, "float"},
    {"float2", ParamType::Float, ParamClass::Vector, 1, 2, 8, "vec2"},
    {"float3", ParamType::Float, ParamClass::Vector, 1, 3, 12, "vec3"},
    {"float4", ParamType::Float, ParamClass::Vector, 1, 4, 16, "vec4"},
    // Four rows of three: a mat3x4 in GLSL, used as v * m.
    {"float4x3", ParamType::Float, ParamClass::MatrixRows, 4, 3, 48, "mat3x4"},
    {"float4x4", ParamType::Float, ParamClass::MatrixRows, 4, 4, 64, "mat4"},
    {"texture", ParamType::Texture, ParamClass::Object, 1, 1, 0, nullptr},
};

// ---- State names and values ---------------------------------------------------------------------

struct Named {
    const char* name;
    uint32_t value;
};

const Named kBools[] = {{"false", 0}, {"true", 1}, {"off", 0}, {"on", 1}};
const Named kCmps[] = {{"Never", 1},   {"Less", 2},     {"Equal", 3},        {"LessEqual", 4},
                       {"Greater", 5}, {"NotEqual", 6}, {"GreaterEqual", 7}, {"Always", 8}};
const Named kBlends[] = {
    {"Zero", 1},         {"One", 2},          {"SrcColor", 3},       {"InvSrcColor", 4}, {"SrcAlpha", 5},
    {"InvSrcAlpha", 6},  {"DestAlpha", 7},    {"InvDestAlpha", 8},   {"DestColor", 9},   {"InvDestColor", 10},
    {"SrcAlphaSat", 11}, {"BlendFactor", 14}, {"InvBlendFactor", 15}};
const Named kBlendOps[] = {{"Add", 1}, {"Subtract", 2}, {"RevSubtract", 3}, {"Min", 4}, {"Max", 5}};
const Named kCulls[] = {{"None", 1}, {"CW", 2}, {"CCW", 3}};
const Named kFills[] = {{"Point", 1}, {"Wireframe", 2}, {"Solid", 3}};
const Named kShades[] = {{"Flat", 1}, {"Gouraud", 2}};
const Named kStencilOps[] = {{"Keep", 1},    {"Zero", 2},   {"Replace", 3}, {"IncrSat", 4},
                             {"DecrSat", 5}, {"Invert", 6}, {"Incr", 7},    {"Decr", 8}};
const Named kFogModes[] = {{"None", 0}, {"Exp", 1}, {"Exp2", 2}, {"Linear", 3}};
const Named kFilters[] = {{"None", 0}, {"Point", 1}, {"Linear", 2}, {"Anisotropic", 3}};
const Named kAddresses[] = {{"Wrap", 1}, {"Mirror", 2}, {"Clamp", 3}, {"Border", 4}};

// How a state's value is written: by the names of a table, as a number, or
// as a float (stored by its bits). Every named kind also takes numbers.
struct ValueKind {
    const Named* names;
    size_t count;
    bool isFloat;
};
template <size_t N> constexpr ValueKind Names(const Named (&t)[N]) {
    return {t, N, false};
}
constexpr ValueKind kNumber = {nullptr, 0, false};
constexpr ValueKind kFloat = {nullptr, 0, true};

struct RenderStateName {
    const char* name;
    RenderState state;
    ValueKind kind;
};

const RenderStateName kRenderStates[] = {
    {"ZEnable", RenderState::ZEnable, Names(kBools)},
    {"ZWriteEnable", RenderState::ZWriteEnable, Names(kBools)},
    {"ZFunc", RenderState::ZFunc, Names(kCmps)},
    {"FillMode", RenderState::FillMode, Names(kFills)},
    {"ShadeMode", RenderState::ShadeMode, Names(kShades)},
    {"CullMode", RenderState::CullMode, Names(kCulls)},
    {"AlphaTestEnable", RenderState::AlphaTestEnable, Names(kBools)},
    {"AlphaRef", RenderState::AlphaRef, kNumber},
    {"AlphaFunc", RenderState::AlphaFunc, Names(kCmps)},
    {"AlphaBlendEnable", RenderState::AlphaBlendEnable, Names(kBools)},
    {"SrcBlend", RenderState::SrcBlend, Names(kBlends)},
    {"DestBlend", RenderState::DestBlend, Names(kBlends)},
    {"BlendOp", RenderState::BlendOp, Names(kBlendOps)},
    {"SeparateAlphaBlendEnable", RenderState::SeparateAlphaBlendEnable, Names(kBools)},
    {"SrcBlendAlpha", RenderState::SrcBlendAlpha, Names(kBlends)},
    {"DestBlendAlpha", RenderState::DestBlendAlpha, Names(kBlends)},
    {"BlendOpAlpha", RenderState::BlendOpAlpha, Names(kBlendOps)},
    {"DitherEnable", RenderState::DitherEnable, Names(kBools)},
    {"FogEnable", RenderState::FogEnable, Names(kBools)},
    {"FogColor", RenderState::FogColor, kNumber},
    {"FogTableMode", RenderState::FogTableMode, Names(kFogModes)},
    {"FogVertexMode", RenderState::FogVertexMode, Names(kFogModes)},
    {"FogStart", RenderState::FogStart, kFloat},
    {"FogEnd", RenderState::FogEnd, kFloat},
    {"FogDensity", RenderState::FogDensity, kFloat},
    {"RangeFogEnable", RenderState::RangeFogEnable, Names(kBools)},
    {"Lighting", RenderState::Lighting, Names(kBools)},
    {"Ambient", RenderState::Ambient, kNumber},
    {"SpecularEnable", RenderState::SpecularEnable, Names(kBools)},
    {"NormalizeNormals", RenderState::NormalizeNormals, Names(kBools)},
    {"Clipping", RenderState::Clipping, Names(kBools)},
    {"StencilEnable", RenderState::StencilEnable, Names(kBools)},
    {"StencilFunc", RenderState::StencilFunc, Names(kCmps)},
    {"StencilRef", RenderState::StencilRef, kNumber},
    {"StencilMask", RenderState::StencilMask, kNumber},
    {"StencilWriteMask", RenderState::StencilWriteMask, kNumber},
    {"StencilFail", RenderState::StencilFail, Names(kStencilOps)},
    {"StencilZFail", RenderState::StencilZFail, Names(kStencilOps)},
    {"StencilPass", RenderState::StencilPass, Names(kStencilOps)},
    {"TwoSidedStencilMode", RenderState::TwoSidedStencilMode, Names(kBools)},
    {"CcwStencilFail", RenderState::CcwStencilFail, Names(kStencilOps)},
    {"CcwStencilZFail", RenderState::CcwStencilZFail, Names(kStencilOps)},
    {"CcwStencilPass", RenderState::CcwStencilPass, Names(kStencilOps)},
    {"CcwStencilFunc", RenderState::CcwStencilFunc, Names(kCmps)},
    {"ColorWriteEnable", RenderState::ColorWriteEnable, kNumber},
    {"ScissorTestEnable", RenderState::ScissorTestEnable, Names(kBools)},
    {"DepthBias", RenderState::DepthBias, kFloat},
    {"SlopeScaleDepthBias", RenderState::SlopeScaleDepthBias, kFloat},
    {"TextureFactor", RenderState::TextureFactor, kNumber},
    {"MultisampleAntialias", RenderState::MultisampleAntialias, Names(kBools)},
};

struct SamplerStateName {
    const char* name;
    SamplerState state;
    ValueKind kind;
};

const SamplerStateName kSamplerStates[] = {
    {"AddressU", SamplerState::AddressU, Names(kAddresses)},
    {"AddressV", SamplerState::AddressV, Names(kAddresses)},
    {"MagFilter", SamplerState::MagFilter, Names(kFilters)},
    {"MinFilter", SamplerState::MinFilter, Names(kFilters)},
    {"MipFilter", SamplerState::MipFilter, Names(kFilters)},
    {"MipMapLodBias", SamplerState::MipMapLodBias, kFloat},
    {"MaxAnisotropy", SamplerState::MaxAnisotropy, kNumber},
};

bool ParseNumber(std::string_view text, double* out) {
    if (text.empty()) return false;
    std::string_view t = text;
    bool negative = false;
    if (t[0] == '-' || t[0] == '+') {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        uint64_t v = 0;
        auto [end, ec] = std::from_chars(t.data() + 2, t.data() + t.size(), v, 16);
        if (ec != std::errc() || end != t.data() + t.size() || v > 0xFFFFFFFFull) return false;
        *out = negative ? -double(v) : double(v);
        return true;
    }
    if (!t.empty() && (t.back() == 'f' || t.back() == 'F')) t.remove_suffix(1);
    double v = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size()) return false;
    *out = negative ? -v : v;
    return true;
}

bool ParseValue(const ValueKind& kind, std::string_view text, uint32_t* out) {
    for (size_t i = 0; i < kind.count; ++i) {
        if (os::EqualNoCase(kind.names[i].name, text)) {
            *out = kind.names[i].value;
            return true;
        }
    }
    double v = 0;
    if (!ParseNumber(text, &v)) return false;
    if (kind.isFloat) {
        *out = gfx::FloatState(float(v));
        return true;
    }
    if (v < -2147483648.0 || v > 4294967295.0 || v != double(int64_t(v))) return false;
    *out = uint32_t(int64_t(v));
    return true;
}

// ---- Lexer ------------------------------------------------------------------------------------

struct Token {
    enum Kind { End, Word, Number, String, Punct, Bad } kind = End;
    std::string_view text;
    int line = 0;
};

bool IsWordStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsWordChar(char c) {
    return IsWordStart(c) || (c >= '0' && c <= '9');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

class Lexer {
  public:
    explicit Lexer(std::string_view text) : m_s(text) {}

    Token Next() {
        Token t = Peek();
        m_pos = m_peekEnd;
        m_line = m_peekEndLine;
        m_peeked = false;
        return t;
    }

    const Token& Peek() {
        if (m_peeked) return m_peek;
        size_t p = m_pos;
        int line = m_line;
        m_peek = Scan(p, line);
        m_peekEnd = p;
        m_peekEndLine = line;
        m_peeked = true;
        return m_peek;
    }

    // Reads raw text up to the '}' that closes a '{' just read, skipping
    // braces inside comments. False when the text ends first.
    bool ReadBlock(std::string* code, int* firstLine) {
        m_peeked = false;
        size_t p = m_pos;
        int line = m_line;
        *firstLine = line;
        int depth = 1;
        while (p < m_s.size()) {
            const char c = m_s[p];
            if (c == '\n') {
                ++line;
            } else if (c == '/' && p + 1 < m_s.size() && m_s[p + 1] == '/') {
                while (p < m_s.size() && m_s[p] != '\n')
                    ++p;
                continue;
            } else if (c == '/' && p + 1 < m_s.size() && m_s[p + 1] == '*') {
                p += 2;
                while (p + 1 < m_s.size() && !(m_s[p] == '*' && m_s[p + 1] == '/')) {
                    if (m_s[p] == '\n') ++line;
                    ++p;
                }
                p += 2;
                continue;
            } else if (c == '{') {
                ++depth;
            } else if (c == '}' && --depth == 0) {
                code->assign(m_s.substr(m_pos, p - m_pos));
                m_pos = p + 1;
                m_line = line;
                return true;
            }
            ++p;
        }
        m_line = line;
        return false;
    }

    int Line() const { return m_line; }

  private:
    // Skips blanks and comments; a comment that never ends is a Bad token.
    Token Scan(size_t& p, int& line) const {
        for (;;) {
            while (p < m_s.size() && (m_s[p] == ' ' || m_s[p] == '\t' || m_s[p] == '\r' || m_s[p] == '\n')) {
                if (m_s[p] == '\n') ++line;
                ++p;
            }
            if (p + 1 < m_s.size() && m_s[p] == '/' && m_s[p + 1] == '/') {
                while (p < m_s.size() && m_s[p] != '\n')
                    ++p;
                continue;
            }
            if (p + 1 < m_s.size() && m_s[p] == '/' && m_s[p + 1] == '*') {
                const int start = line;
                p += 2;
                while (p + 1 < m_s.size() && !(m_s[p] == '*' && m_s[p + 1] == '/')) {
                    if (m_s[p] == '\n') ++line;
                    ++p;
                }
                if (p + 1 >= m_s.size()) return {Token::Bad, "comment that never ends", start};
                p += 2;
                continue;
            }
            break;
        }
        Token t;
        t.line = line;
        if (p >= m_s.size()) return t;
        const size_t start = p;
        const char c = m_s[p];
        const bool sign =
            (c == '-' || c == '+') && p + 1 < m_s.size() && (IsDigit(m_s[p + 1]) || m_s[p + 1] == '.');
        if (IsWordStart(c)) {
            while (p < m_s.size() && IsWordChar(m_s[p]))
                ++p;
            t.kind = Token::Word;
        } else if (IsDigit(c) || sign || (c == '.' && p + 1 < m_s.size() && IsDigit(m_s[p + 1]))) {
            ++p;
            while (p < m_s.size() &&
                   (IsWordChar(m_s[p]) || m_s[p] == '.' ||
                    ((m_s[p] == '-' || m_s[p] == '+') && (m_s[p - 1] == 'e' || m_s[p - 1] == 'E'))))
                ++p;
            t.kind = Token::Number;
        } else if (c == '"') {
            ++p;
            while (p < m_s.size() && m_s[p] != '"' && m_s[p] != '\n')
                ++p;
            if (p >= m_s.size() || m_s[p] != '"') return {Token::Bad, "string that never ends", line};
            t.kind = Token::String;
            t.text = m_s.substr(start + 1, p - start - 1);
            ++p;
            return t;
        } else {
            ++p;
            t.kind = Token::Punct;
        }
        t.text = m_s.substr(start, p - start);
        return t;
    }

    std::string_view m_s;
    size_t m_pos = 0;
    int m_line = 1;
    bool m_peeked = false;
    Token m_peek;
    size_t m_peekEnd = 0;
    int m_peekEndLine = 1;
};

// ---- Parser -----------------------------------------------------------------------------------

class Parser {
  public:
    Parser(std::string_view text, std::string_view fileName, const IncludeReader& include, EffectDecl* out)
        : m_lex(text), m_file(fileName), m_include(include), m_out(out) {}

    bool Run() {
        for (;;) {
            const Token t = Take();
            if (t.kind == Token::End) return Check();
            if (t.kind == Token::Bad) return false;
            if (t.kind != Token::Word) return Fail(t.line, "expected a declaration, found '" + Str(t) + "'");
            bool ok = false;
            if (t.text == "parameter") {
                ok = Parameter();
            } else if (t.text == "sampler2D" || t.text == "samplerCube") {
                ok = Sampler(t.text == "samplerCube", t.line);
            } else if (t.text == "input") {
                ok = Input(t.line);
            } else if (t.text == "glsl") {
                ok = Glsl();
            } else if (t.text == "include") {
                ok = Include(t.line);
            } else if (t.text == "technique") {
                ok = Technique(t.line);
            } else {
                return Fail(t.line, "unknown declaration '" + Str(t) + "'");
            }
            if (!ok) return false;
        }
    }

    const std::string& Error() const { return m_error; }

  private:
    static std::string Str(const Token& t) {
        return t.kind == Token::End ? "end of file" : std::string(t.text);
    }

    // The next token; a bad one (an unended comment or string) is the error.
    Token Take() {
        const Token t = m_lex.Next();
        if (t.kind == Token::Bad) Fail(t.line, t.text);
        return t;
    }

    bool Fail(int line, std::string_view what) { return FailIn(std::string(m_file), line, what); }
    bool FailIn(const std::string& file, int line, std::string_view what) {
        if (m_error.empty()) m_error = file + ":" + std::to_string(line) + ": " + std::string(what);
        return false;
    }

    bool Expect(std::string_view punct) {
        const Token t = Take();
        if (t.kind == Token::Punct && t.text == punct) return true;
        return Fail(t.line, "expected '" + std::string(punct) + "', found '" + Str(t) + "'");
    }

    bool Accept(std::string_view punct) {
        const Token& t = m_lex.Peek();
        if (t.kind == Token::Punct && t.text == punct) {
            Take();
            return true;
        }
        return false;
    }

    bool Word(std::string* out, const char* what) {
        const Token t = Take();
        if (t.kind != Token::Word)
            return Fail(t.line, std::string("expected ") + what + ", found '" + Str(t) + "'");
        out->assign(t.text);
        return true;
    }

    // Values of an initial value or annotation: numbers, true/false, and
    // lists in braces or TYPE( ... ), nested as deep as wanted, flattened.
    bool Values(std::vector<float>* out, size_t limit, int depth = 0) {
        if (depth > 8) return Fail(m_lex.Line(), "lists nested too deep");
        const Token t = Take();
        if (t.kind == Token::Punct && t.text == "{") return List(out, limit, "}", depth);
        if (t.kind == Token::Word && FindType(t.text) && Accept("(")) return List(out, limit, ")", depth);
        double v = 0;
        if (t.kind == Token::Word && (t.text == "true" || t.text == "false")) {
            v = t.text == "true" ? 1 : 0;
        } else if (t.kind != Token::Number || !ParseNumber(t.text, &v)) {
            return Fail(t.line, "expected a value, found '" + Str(t) + "'");
        }
        if (out->size() >= limit)
            return Fail(t.line, "too many values (" + std::to_string(limit) + " expected)");
        out->push_back(float(v));
        return true;
    }

    bool List(std::vector<float>* out, size_t limit, const char* close, int depth) {
        if (Accept(close)) return true;
        for (;;) {
            if (!Values(out, limit, depth + 1)) return false;
            if (Accept(close)) return true;
            if (!Expect(",")) return false;
        }
    }

    bool Annotations(std::vector<AnnotationDecl>* out) {
        while (!Accept(">")) {
            AnnotationDecl a;
            std::string type;
            const int line = m_lex.Peek().line;
            if (!Word(&type, "an annotation type") || !Word(&a.name, "an annotation name") || !Expect("="))
                return false;
            if (type == "string") {
                a.type = ParamType::String;
                const Token s = Take();
                if (s.kind != Token::String) return Fail(s.line, "expected a string, found '" + Str(s) + "'");
                a.text.assign(s.text);
            } else {
                const TypeInfo* ti = FindType(type);
                if (!ti || ti->type == ParamType::Texture)
                    return Fail(line, "unknown annotation type '" + type + "'");
                a.type = ti->type;
                if (!Values(&a.numbers, ti->rows * ti->columns)) return false;
            }
            if (!Expect(";")) return false;
            out->push_back(std::move(a));
        }
        return true;
    }

    bool Parameter() {
        ParameterDecl p;
        std::string type;
        p.line = m_lex.Peek().line;
        if (!Word(&type, "a type")) return false;
        p.type = FindType(type);
        if (!p.type) return Fail(p.line, "unknown type '" + type + "'");
        if (!Word(&p.name, "a parameter name")) return false;
        if (Accept("[")) {
            const Token n = Take();
            double v = 0;
            if (n.kind != Token::Number || !ParseNumber(n.text, &v) || v < 1 || v > MaxElements ||
                v != double(int(v)))
                return Fail(n.line, "array size must be 1 to " + std::to_string(MaxElements));
            p.elements = uint32_t(v);
            if (!Expect("]")) return false;
        }
        if (Accept(":") && !Word(&p.semantic, "a semantic")) return false;
        if (Accept("<") && !Annotations(&p.annotations)) return false;
        if (Accept("=")) {
            if (p.type->type == ParamType::Texture) return Fail(p.line, "a texture has no initial value");
            const size_t count = size_t(std::max(1u, p.elements)) * p.type->rows * p.type->columns;
            const int line = m_lex.Peek().line;
            if (!Values(&p.initial, count)) return false;
            if (p.initial.size() != count) {
                return Fail(line, "'" + p.name + "' needs " + std::to_string(count) + " values, " +
                                      std::to_string(p.initial.size()) + " given");
            }
            p.hasInitial = true;
        }
        if (!Expect(";")) return false;
        m_out->parameters.push_back(std::move(p));
        return true;
    }

    bool Sampler(bool cube, int line) {
        SamplerDecl s;
        s.cube = cube;
        s.line = line;
        std::string word;
        if (!Word(&s.name, "a sampler name") || !Expect(":") || !Word(&word, "'stage'")) return false;
        if (word != "stage") return Fail(line, "expected 'stage', found '" + word + "'");
        const Token n = Take();
        double v = 0;
        if (n.kind != Token::Number || !ParseNumber(n.text, &v) || v < 0 || v >= MaxStages ||
            v != double(int(v)))
            return Fail(n.line, "stage must be 0 to " + std::to_string(MaxStages - 1));
        s.stage = uint32_t(v);
        if (Accept("=") && !Word(&s.texture, "a texture parameter")) return false;
        if (Accept("{")) {
            while (!Accept("}")) {
                std::string name, value;
                const int at = m_lex.Peek().line;
                if (!Word(&name, "a sampler state") || !Expect("=")) return false;
                SamplerStateDecl st{};
                if (!FindSamplerState(name, &st.state))
                    return Fail(at, "unknown sampler state '" + name + "'");
                const Token val = Take();
                if (!ParseSamplerStateValue(st.state, val.text, &st.value))
                    return Fail(val.line, "bad value '" + Str(val) + "' for " + name);
                if (!Expect(";")) return false;
                s.states.push_back(st);
            }
            Accept(";");
        } else if (!Expect(";")) {
            return false;
        }
        m_out->samplers.push_back(std::move(s));
        return true;
    }

    bool Input(int line) {
        InputDecl in;
        in.line = line;
        std::string type, usage;
        if (!Word(&type, "a type")) return false;
        in.type = FindType(type);
        if (!in.type || in.type->type != ParamType::Float || in.type->cls == ParamClass::MatrixRows)
            return Fail(line, "an input is float, float2, float3 or float4, not '" + type + "'");
        if (!Word(&in.name, "an input name") || !Expect(":") || !Word(&usage, "a usage") || !Expect(";"))
            return false;
        if (!Usage(usage, &in.usage, &in.usageIndex)) return Fail(line, "unknown usage '" + usage + "'");
        for (const InputDecl& o : m_out->inputs) {
            if (o.usage == in.usage && o.usageIndex == in.usageIndex)
                return Fail(line, "usage " + usage + " given twice");
        }
        m_out->inputs.push_back(std::move(in));
        return true;
    }

    static bool Usage(std::string_view word, uint8_t* usage, uint8_t* index) {
        struct U {
            const char* name;
            uint8_t usage;
            uint8_t maxIndex;
        };
        static const U kUsages[] = {
            {"POSITION", gfx::elemusage::Position, 0},
            {"BLENDWEIGHT", gfx::elemusage::BlendWeight, 0},
            {"BLENDINDICES", gfx::elemusage::BlendIndices, 0},
            {"NORMAL", gfx::elemusage::Normal, 0},
            {"TANGENT", gfx::elemusage::Tangent, 0},
            {"BINORMAL", gfx::elemusage::Binormal, 0},
            {"COLOR", gfx::elemusage::Color, 1},
            {"TEXCOORD", gfx::elemusage::TexCoord, 7},
        };
        size_t digits = word.size();
        while (digits > 0 && IsDigit(word[digits - 1]))
            --digits;
        const std::string_view base = word.substr(0, digits);
        const std::string_view number = word.substr(digits);
        if (number.size() > 1) return false;
        const uint8_t n = number.empty() ? 0 : uint8_t(number[0] - '0');
        for (const U& u : kUsages) {
            if (os::EqualNoCase(base, u.name) && n <= u.maxIndex) {
                *usage = u.usage;
                *index = n;
                return true;
            }
        }
        return false;
    }

    bool Glsl() {
        std::string kind;
        CodeDecl c;
        if (!Word(&kind, "common, vertex or fragment")) return false;
        std::vector<CodeDecl>* list = nullptr;
        if (kind == "common") {
            list = &m_out->common;
        } else if (kind == "vertex" || kind == "fragment") {
            list = kind == "vertex" ? &m_out->vertex : &m_out->fragment;
            if (!Word(&c.name, "a stage name")) return false;
            for (const CodeDecl& o : *list) {
                if (o.name == c.name) return Fail(m_lex.Line(), kind + " stage '" + c.name + "' given twice");
            }
        } else {
            return Fail(m_lex.Line(), "expected common, vertex or fragment, found '" + kind + "'");
        }
        const int open = m_lex.Peek().line;
        if (!Expect("{")) return false;
        c.source = std::string(m_file);
        if (!m_lex.ReadBlock(&c.code, &c.line)) return Fail(open, "GLSL block that never ends");
        Accept(";");
        list->push_back(std::move(c));
        return true;
    }

    bool Include(int line) {
        const Token name = Take();
        if (name.kind != Token::String)
            return Fail(name.line, "expected a file name in quotes, found '" + Str(name) + "'");
        Accept(";");
        return AddInclude(std::string(name.text), std::string(m_file), line);
    }

    // An included file's code goes in as common code. Its own include lines
    // (`include "NAME.glsl"` alone on a line) put their files in place
    // first; a file already included is not included again, and a file that
    // would include itself, directly or through others, fails the effect.
    bool AddInclude(const std::string& name, const std::string& from, int line) {
        const std::string source = Folder() + name;
        for (size_t i = 0; i < m_includeStack.size(); ++i) {
            if (!os::EqualNoCase(m_includeStack[i], source)) continue;
            std::string chain;
            for (size_t k = i; k < m_includeStack.size(); ++k)
                chain += m_includeStack[k] + " -> ";
            return FailIn(from, line, "include cycle: " + chain + source);
        }
        for (const std::string& done : m_included)
            if (os::EqualNoCase(done, source)) return true;
        std::string text;
        if (!m_include || !m_include(name, &text))
            return FailIn(from, line, "cannot read the include \"" + name + "\"");
        m_includeStack.push_back(source);
        // The text in chunks between its include lines, each keeping the
        // line it starts on.
        CodeDecl chunk;
        chunk.source = source;
        chunk.line = 1;
        size_t pos = 0;
        int lineNo = 1;
        while (pos < text.size()) {
            size_t end = text.find_first_of("\r\n", pos);
            if (end == std::string::npos) end = text.size();
            const std::string_view row(text.data() + pos, end - pos);
            size_t next = end;
            if (next < text.size())
                next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
            std::string nested;
            if (IncludeLine(row, &nested)) {
                if (!chunk.code.empty()) m_out->common.push_back(chunk);
                if (!AddInclude(nested, source, lineNo)) return false;
                chunk.code.clear();
                chunk.line = lineNo + 1;
            } else {
                chunk.code.append(row);
                chunk.code += '\n';
            }
            pos = next;
            ++lineNo;
        }
        if (!chunk.code.empty()) m_out->common.push_back(std::move(chunk));
        m_includeStack.pop_back();
        m_included.push_back(source);
        return true;
    }

    // `include "NAME"` with only blanks around it (and an optional `;`).
    static bool IncludeLine(std::string_view row, std::string* name) {
        auto blank = [](char c) { return c == ' ' || c == '\t'; };
        size_t i = 0;
        while (i < row.size() && blank(row[i]))
            ++i;
        if (row.substr(i, 7) != "include") return false;
        i += 7;
        while (i < row.size() && blank(row[i]))
            ++i;
        if (i >= row.size() || row[i] != '"') return false;
        const size_t close = row.find('"', i + 1);
        if (close == std::string_view::npos) return false;
        name->assign(row.substr(i + 1, close - i - 1));
        i = close + 1;
        while (i < row.size() && (blank(row[i]) || row[i] == ';'))
            ++i;
        return i == row.size() && !name->empty();
    }

    // The effect's folder as its name writes it ("fx\\"), which names the
    // included files in messages.
    std::string Folder() const {
        const size_t slash = m_file.find_last_of("\\/");
        return slash == std::string_view::npos ? std::string() : std::string(m_file.substr(0, slash + 1));
    }

    bool Technique(int line) {
        TechniqueDecl t;
        t.line = line;
        if (!Word(&t.name, "a technique name") || !Expect("{")) return false;
        while (!Accept("}")) {
            PassDecl p;
            std::string word;
            p.line = m_lex.Peek().line;
            if (!Word(&word, "'pass'")) return false;
            if (word != "pass") return Fail(p.line, "expected 'pass', found '" + word + "'");
            if (m_lex.Peek().kind == Token::Word && !Word(&p.name, "a pass name")) return false;
            if (!Expect("{") || !PassBody(&p)) return false;
            Accept(";");
            t.passes.push_back(std::move(p));
        }
        Accept(";");
        m_out->techniques.push_back(std::move(t));
        return true;
    }

    bool PassBody(PassDecl* p) {
        while (!Accept("}")) {
            std::string word;
            const int line = m_lex.Peek().line;
            if (!Word(&word, "a stage or render state")) return false;
            if (word == "vertex" || word == "fragment") {
                if (!Word(word == "vertex" ? &p->vertex : &p->fragment, "a stage name")) return false;
            } else {
                RenderStateDecl s{};
                if (!FindRenderState(word, &s.state))
                    return Fail(line, "unknown render state '" + word + "'");
                if (!Expect("=")) return false;
                const Token val = Take();
                if (!ParseRenderStateValue(s.state, val.text, &s.value))
                    return Fail(val.line, "bad value '" + Str(val) + "' for " + word);
                p->states.push_back(s);
            }
            if (!Expect(";")) return false;
        }
        return true;
    }

    // Everything named must be declared; GLSL names must be unique.
    bool Check() {
        const EffectDecl& e = *m_out;
        std::vector<std::string_view> names;
        auto unique = [&](std::string_view n, int line) {
            for (std::string_view o : names) {
                if (o == n) return Fail(line, "'" + std::string(n) + "' declared twice");
            }
            names.push_back(n);
            return true;
        };
        for (const ParameterDecl& p : e.parameters) {
            if (!unique(p.name, p.line)) return false;
        }
        for (const SamplerDecl& s : e.samplers) {
            if (!unique(s.name, s.line)) return false;
            if (s.texture.empty()) continue;
            const ParameterDecl* tex = nullptr;
            for (const ParameterDecl& p : e.parameters) {
                if (p.name == s.texture) tex = &p;
            }
            if (!tex || tex->type->type != ParamType::Texture || tex->elements != 0)
                return Fail(s.line, "'" + s.texture + "' is not a texture parameter");
        }
        for (const InputDecl& in : e.inputs) {
            if (!unique(in.name, in.line)) return false;
        }
        auto has = [](const std::vector<CodeDecl>& list, const std::string& n) {
            for (const CodeDecl& c : list) {
                if (c.name == n) return true;
            }
            return false;
        };
        for (size_t i = 0; i < e.techniques.size(); ++i) {
            const TechniqueDecl& t = e.techniques[i];
            for (size_t k = 0; k < i; ++k) {
                if (os::EqualNoCase(e.techniques[k].name, t.name))
                    return Fail(t.line, "technique '" + t.name + "' declared twice");
            }
            for (const PassDecl& p : t.passes) {
                if (p.vertex.empty() || p.fragment.empty())
                    return Fail(p.line, "a pass names a vertex and a fragment stage");
                if (!has(e.vertex, p.vertex)) return Fail(p.line, "no vertex stage '" + p.vertex + "'");
                if (!has(e.fragment, p.fragment))
                    return Fail(p.line, "no fragment stage '" + p.fragment + "'");
            }
        }
        return true;
    }

    Lexer m_lex;
    std::string_view m_file;
    const IncludeReader& m_include;
    EffectDecl* m_out;
    std::string m_error;
    std::vector<std::string> m_includeStack; // the files being included, outermost first
    std::vector<std::string> m_included;     // the files included in full
};

} // namespace

const TypeInfo* FindType(std::string_view name) {
    for (const TypeInfo& t : kTypes) {
        if (name == t.name) return &t;
    }
    return nullptr;
}

bool FindRenderState(std::string_view name, gfx::RenderState* out) {
    for (const RenderStateName& r : kRenderStates) {
        if (os::EqualNoCase(r.name, name)) {
            *out = r.state;
            return true;
        }
    }
    return false;
}

bool ParseRenderStateValue(gfx::RenderState state, std::string_view value, uint32_t* out) {
    for (const RenderStateName& r : kRenderStates) {
        if (r.state == state) return ParseValue(r.kind, value, out);
    }
    return false;
}

bool FindSamplerState(std::string_view name, gfx::SamplerState* out) {
    for (const SamplerStateName& s : kSamplerStates) {
        if (os::EqualNoCase(s.name, name)) {
            *out = s.state;
            return true;
        }
    }
    return false;
}

bool ParseSamplerStateValue(gfx::SamplerState state, std::string_view value, uint32_t* out) {
    for (const SamplerStateName& s : kSamplerStates) {
        if (s.state == state) return ParseValue(s.kind, value, out);
    }
    return false;
}

bool ReadEffect(std::string_view text, std::string_view fileName, const IncludeReader& include,
                EffectDecl* out, std::string* error) {
    *out = EffectDecl{};
    Parser p(text, fileName, include, out);
    if (p.Run()) return true;
    if (error) *error = p.Error();
    *out = EffectDecl{};
    return false;
}

} // namespace effect
