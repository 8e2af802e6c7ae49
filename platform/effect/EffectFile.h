// Reader of effect files (fx/NAME.glfx): the project's own text format that
// takes the place of compiled effects. FORMAT.md beside this file is its
// reference.
//
// The reader turns the text into declarations (parameters, samplers, vertex
// inputs, GLSL code blocks, techniques with their passes and render states)
// and checks everything that does not need a GL compiler: types, array sizes,
// initial values, stage numbers, state names and values, and that every name
// a pass or sampler uses is declared. Includes are read through a callback,
// so the reader itself touches no file.
//
// Failure policy: the first problem ends the read with "file:line: what is
// wrong" and nothing is returned. Array sizes and value counts are checked
// before anything is allocated.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/Draw.h"
#include "platform/gfx/Types.h"

namespace effect {

// Scalar type of a parameter (Direct3D's parameter types, in our numbering).
enum class ParamType : uint8_t { Bool, Int, Float, Texture, String };
// Shape of a parameter: one value, a row vector, a matrix of rows, an object.
enum class ParamClass : uint8_t { Scalar, Vector, MatrixRows, Object };

// One parameter type of the format, with HLSL's sizes.
struct TypeInfo {
    const char* name;  // as written in the file ("float4x3")
    ParamType type;
    ParamClass cls;
    uint32_t rows, columns;
    uint32_t bytes;    // of one element; 0 for textures
    const char* glsl;  // uniform type, null for textures
};
// The type of a name, or null.
const TypeInfo* FindType(std::string_view name);

// Largest array a parameter may declare, and largest stage a sampler reads.
constexpr uint32_t MaxElements = 1024;
constexpr uint32_t MaxStages = 16;

struct AnnotationDecl {
    ParamType type = ParamType::Float;
    std::string name;
    std::string text;           // string annotations
    std::vector<float> numbers; // numeric ones
};

struct ParameterDecl {
    std::string name, semantic;
    const TypeInfo* type = nullptr;
    uint32_t elements = 0; // 0: not an array
    std::vector<AnnotationDecl> annotations;
    bool hasInitial = false;
    std::vector<float> initial; // every component, in memory order
    int line = 0;
};

struct SamplerStateDecl {
    gfx::SamplerState state;
    uint32_t value;
};

struct SamplerDecl {
    std::string name;
    bool cube = false;
    uint32_t stage = 0;
    std::string texture; // the texture parameter, empty when none
    std::vector<SamplerStateDecl> states;
    int line = 0;
};

struct InputDecl {
    const TypeInfo* type = nullptr; // float .. float4
    std::string name;
    uint8_t usage = 0, usageIndex = 0; // Direct3D's declaration usage numbers
    int line = 0;
};

struct CodeDecl {
    std::string name; // empty for common code
    std::string code;
    int line = 0;       // line of the code's first character
    std::string source; // the file the code comes from (an include's name)
};

struct RenderStateDecl {
    gfx::RenderState state;
    uint32_t value;
};

struct PassDecl {
    std::string name;
    std::string vertex, fragment;
    std::vector<RenderStateDecl> states;
    int line = 0;
};

struct TechniqueDecl {
    std::string name;
    std::vector<PassDecl> passes;
    int line = 0;
};

struct EffectDecl {
    std::vector<ParameterDecl> parameters;
    std::vector<SamplerDecl> samplers;
    std::vector<InputDecl> inputs;
    std::vector<CodeDecl> common; // in file order, includes in place
    std::vector<CodeDecl> vertex, fragment;
    std::vector<TechniqueDecl> techniques;
};

// Reads a file named by an include; false when it cannot be read.
using IncludeReader = std::function<bool(std::string_view name, std::string* text)>;

// Reads an effect file. `fileName` names it in messages. False with the
// message in `error` on the first problem.
bool ReadEffect(std::string_view text, std::string_view fileName, const IncludeReader& include, EffectDecl* out,
                std::string* error);

// Reads a whole text file through the path resolver; false when it cannot
// be read (missing, a directory, larger than MaxFileBytes).
constexpr size_t MaxFileBytes = 4u << 20;
bool ReadEffectText(std::string_view path, std::string* out);

// A render state or sampler state by its Direct3D name, and a value by the
// names of that state's kind; false when unknown. Names match without regard
// to case.
bool FindRenderState(std::string_view name, gfx::RenderState* out);
bool ParseRenderStateValue(gfx::RenderState state, std::string_view value, uint32_t* out);
bool FindSamplerState(std::string_view name, gfx::SamplerState* out);
bool ParseSamplerStateValue(gfx::SamplerState state, std::string_view value, uint32_t* out);

} // namespace effect
