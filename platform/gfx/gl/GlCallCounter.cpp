#include "platform/gfx/gl/GlCallCounter.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <tuple>
#include <type_traits>
#include <vector>

#include "platform/gfx/gl/GlFunctions.h"

namespace gfx::gl {
namespace {

enum Fn : int {
#define ZT_GL_ENUM(type, name) k##name,
    ZT_GL_FUNCTIONS(ZT_GL_ENUM) ZT_GL_OPTIONAL_FUNCTIONS(ZT_GL_ENUM)
#undef ZT_GL_ENUM
        kFnCount
};

const char* const kNames[kFnCount] = {
#define ZT_GL_NAME(type, name) "gl" #name,
    ZT_GL_FUNCTIONS(ZT_GL_NAME) ZT_GL_OPTIONAL_FUNCTIONS(ZT_GL_NAME)
#undef ZT_GL_NAME
};

// What one piece of state is (the setting call's family and what selects
// it: a unit, a target, a program and location) and the value it holds.
using Key = std::array<uint64_t, 4>;
using Value = std::vector<uint64_t>;

// The counter's model of the GL state the layer sets, for one context.
struct Model {
    std::map<Key, Value> state;
    uint64_t activeUnit = 0, program = 0, vao = 0, arrayBuffer = 0;

    // Records `v` as the value of `k`; true when it held it already.
    bool Set(const Key& k, Value v) {
        auto [it, added] = state.try_emplace(k, std::move(v));
        if (added) return false;
        if (it->second == v) return true;
        it->second = std::move(v);
        return false;
    }
    // Forgets every value of family `fn` that `match` picks: GL reset it, or
    // a name it referred to was deleted and may come back as another object.
    template <class Match> void Forget(int fn, Match match) {
        for (auto it = state.lower_bound({uint64_t(fn), 0, 0, 0});
             it != state.end() && it->first[0] == uint64_t(fn);) {
            it = match(it->first, it->second) ? state.erase(it) : std::next(it);
        }
    }
};

struct Counter {
    bool on = false;
    Functions real;
    SDL_GLContext context = nullptr;
    Model model;
    uint64_t calls[kFnCount] = {}, redundant[kFnCount] = {};
};

Counter& C() {
    static Counter c;
    return c;
}

uint64_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

template <class T> Value Values(const T* p, size_t n) {
    Value v(n);
    for (size_t i = 0; i < n; ++i) {
        if constexpr (std::is_same_v<T, float>) {
            v[i] = Bits(p[i]);
        } else {
            v[i] = uint64_t(int64_t(p[i]));
        }
    }
    return v;
}

template <class T> uint64_t Word(T x) {
    if constexpr (std::is_pointer_v<T>) {
        return uint64_t(reinterpret_cast<uintptr_t>(x));
    } else if constexpr (std::is_floating_point_v<T>) {
        return Bits(float(x));
    } else {
        return uint64_t(int64_t(x));
    }
}

// A uniform of the program in use; a call for no location (-1) sets nothing.
bool UniformRedundant(int fn, GLint location, Value v) {
    Model& m = C().model;
    if (location < 0) return true;
    v.insert(v.begin(), uint64_t(fn));
    return m.Set({uint64_t(kUniform1i), m.program, uint64_t(int64_t(location)), 0}, std::move(v));
}

bool SetOn(int fn, uint64_t a, uint64_t b, uint64_t c, Value v) {
    return C().model.Set({uint64_t(fn), a, b, c}, std::move(v));
}

// Whether the call about to be made sets state to what it already is; the
// model follows the call. Calls that set no state are never redundant.
template <int Id, class... A> bool Redundant(A... a) {
    Model& m = C().model;
    const uint64_t args64[] = {Word(a)..., 0, 0, 0, 0, 0, 0};
    const auto arg = [&](size_t i) { return args64[i]; };
    const Value all{arg(0), arg(1), arg(2), arg(3), arg(4), arg(5)};
    if constexpr (Id == kActiveTexture) {
        m.activeUnit = arg(0);
        return SetOn(Id, 0, 0, 0, {arg(0)});
    } else if constexpr (Id == kBindTexture) {
        return SetOn(Id, m.activeUnit, arg(0), 0, {arg(1)});
    } else if constexpr (Id == kBindSampler) {
        return SetOn(Id, arg(0), 0, 0, {arg(1)});
    } else if constexpr (Id == kUseProgram) {
        m.program = arg(0);
        return SetOn(Id, 0, 0, 0, {arg(0)});
    } else if constexpr (Id == kBindVertexArray) {
        m.vao = arg(0);
        return SetOn(Id, 0, 0, 0, {arg(0)});
    } else if constexpr (Id == kBindBuffer) {
        // The element buffer belongs to the vertex array object.
        if (arg(0) == GL_ARRAY_BUFFER) m.arrayBuffer = arg(1);
        return SetOn(Id, arg(0), arg(0) == GL_ELEMENT_ARRAY_BUFFER ? m.vao : 0, 0, {arg(1)});
    } else if constexpr (Id == kEnable || Id == kDisable) {
        return SetOn(kEnable, arg(0), 0, 0, {Id == kEnable ? 1u : 0u});
    } else if constexpr (Id == kEnableVertexAttribArray || Id == kDisableVertexAttribArray) {
        return SetOn(kEnableVertexAttribArray, m.vao, arg(0), 0, {Id == kEnableVertexAttribArray ? 1u : 0u});
    } else if constexpr (Id == kVertexAttribPointer) {
        return SetOn(Id, m.vao, arg(0), 0, {arg(1), arg(2), arg(3), arg(4), arg(5), m.arrayBuffer});
    } else if constexpr (Id == kVertexAttrib4f) {
        return SetOn(Id, arg(0), 0, 0, {arg(1), arg(2), arg(3), arg(4)});
    } else if constexpr (Id == kUniform1i || Id == kUniform1f) {
        return UniformRedundant(Id, GLint(arg(0)), {arg(1)});
    } else if constexpr (Id == kUniform4f) {
        return UniformRedundant(Id, GLint(arg(0)), {arg(1), arg(2), arg(3), arg(4)});
    } else if constexpr (Id == kUniform1iv || Id == kUniform1fv || Id == kUniform2fv || Id == kUniform3fv ||
                         Id == kUniform4fv) {
        const size_t per = Id == kUniform2fv ? 2 : Id == kUniform3fv ? 3 : Id == kUniform4fv ? 4 : 1;
        const auto args = std::make_tuple(a...);
        return UniformRedundant(Id, std::get<0>(args),
                                Values(std::get<2>(args), per * size_t(std::get<1>(args))));
    } else if constexpr (Id == kUniformMatrix4fv || Id == kUniformMatrix3x4fv) {
        const size_t per = Id == kUniformMatrix4fv ? 16 : 12;
        const auto args = std::make_tuple(a...);
        Value v = Values(std::get<3>(args), per * size_t(std::get<1>(args)));
        v.push_back(std::get<2>(args));
        return UniformRedundant(Id, std::get<0>(args), std::move(v));
    } else if constexpr (Id == kBindFramebuffer) {
        // GL_FRAMEBUFFER binds both the read and the draw framebuffer.
        const bool both = arg(0) == GL_FRAMEBUFFER;
        bool same = true;
        if (both || arg(0) == GL_READ_FRAMEBUFFER) same &= SetOn(Id, GL_READ_FRAMEBUFFER, 0, 0, {arg(1)});
        if (both || arg(0) == GL_DRAW_FRAMEBUFFER) same &= SetOn(Id, GL_DRAW_FRAMEBUFFER, 0, 0, {arg(1)});
        return same;
    } else if constexpr (Id == kBindRenderbuffer || Id == kPixelStorei || Id == kPolygonMode ||
                         Id == kStencilFuncSeparate || Id == kStencilOpSeparate ||
                         Id == kStencilMaskSeparate) {
        // The first argument picks the state (a target, a name, a face).
        return SetOn(Id, arg(0), 0, 0, {arg(1), arg(2), arg(3), arg(4)});
    } else if constexpr (Id == kSamplerParameteri || Id == kSamplerParameterf) {
        return SetOn(kSamplerParameteri, arg(0), arg(1), 0, {arg(2)});
    } else if constexpr (Id == kClearColor || Id == kClearDepth || Id == kClearStencil || Id == kViewport ||
                         Id == kDepthRange || Id == kScissor || Id == kColorMask || Id == kDepthMask ||
                         Id == kDepthFunc || Id == kCullFace || Id == kFrontFace || Id == kPolygonOffset ||
                         Id == kBlendFuncSeparate || Id == kBlendEquationSeparate || Id == kClipControl) {
        return SetOn(Id, 0, 0, 0, all);
    } else if constexpr (Id == kDeleteTextures || Id == kDeleteBuffers || Id == kDeleteVertexArrays ||
                         Id == kDeleteFramebuffers || Id == kDeleteRenderbuffers) {
        const auto args = std::make_tuple(a...);
        for (GLsizei i = 0; i < std::get<0>(args); ++i) {
            const uint64_t name = std::get<1>(args)[i];
            if (name == 0) continue;
            auto bound = [name](const Key&, const Value& v) { return v[0] == name; };
            if constexpr (Id == kDeleteTextures) m.Forget(kBindTexture, bound);
            if constexpr (Id == kDeleteFramebuffers) m.Forget(kBindFramebuffer, bound);
            if constexpr (Id == kDeleteRenderbuffers) m.Forget(kBindRenderbuffer, bound);
            if constexpr (Id == kDeleteBuffers) {
                m.Forget(kBindBuffer, bound);
                m.Forget(kVertexAttribPointer, [name](const Key&, const Value& v) { return v[5] == name; });
                if (m.arrayBuffer == name) m.arrayBuffer = 0;
            }
            if constexpr (Id == kDeleteVertexArrays) {
                m.Forget(kBindVertexArray, bound);
                auto of = [name](const Key& k, const Value&) { return k[1] == name; };
                m.Forget(kEnableVertexAttribArray, of);
                m.Forget(kVertexAttribPointer, of);
                m.Forget(kBindBuffer, [name](const Key& k, const Value&) { return k[2] == name; });
                if (m.vao == name) m.vao = 0;
            }
        }
        return false;
    } else if constexpr (Id == kDeleteProgram) {
        // Its name may come back as another program with other uniforms.
        const uint64_t name = arg(0);
        m.Forget(kUniform1i, [name](const Key& k, const Value&) { return k[1] == name; });
        return false;
    } else {
        return false;
    }
}

template <int Id, auto Member> struct Wrapper;
template <int Id, class R, class... A, R (*Functions::*Member)(A...)> struct Wrapper<Id, Member> {
    static R Call(A... a) {
        Counter& c = C();
        ++c.calls[Id];
        if (Redundant<Id>(a...)) ++c.redundant[Id];
        return (c.real.*Member)(a...);
    }
};

} // namespace

std::string GlCallCounts::Describe() const {
    std::vector<GlCallCount> sorted = byName;
    std::sort(sorted.begin(), sorted.end(), [](const GlCallCount& x, const GlCallCount& y) {
        return x.redundant != y.redundant ? x.redundant > y.redundant : x.calls > y.calls;
    });
    std::string out;
    for (const GlCallCount& c : sorted) {
        out += std::string(c.name) + " " + std::to_string(c.calls) + " (redundant " +
               std::to_string(c.redundant) + ")\n";
    }
    return out;
}

void CountGlCalls(bool on) {
    // A context made later may come at the address of one gone before.
    Counter& c = C();
    c.on = on;
    c.context = nullptr;
    c.model = Model();
}

bool CountingGlCalls() {
    return C().on;
}

GlCallCounts TakeGlCallCounts() {
    Counter& c = C();
    GlCallCounts out;
    for (int i = 0; i < kFnCount; ++i) {
        if (c.calls[i] == 0) continue;
        out.calls += c.calls[i];
        out.redundant += c.redundant[i];
        out.byName.push_back({kNames[i], c.calls[i], c.redundant[i]});
        c.calls[i] = c.redundant[i] = 0;
    }
    return out;
}

void WrapForCounting(Functions* gl) {
    Counter& c = C();
    // A new context starts from GL's state, which the model does not know.
    if (SDL_GL_GetCurrentContext() != c.context) {
        c.context = SDL_GL_GetCurrentContext();
        c.model = Model();
    }
    c.real = *gl;
#define ZT_GL_WRAP(type, name)                                                                               \
    if (gl->name) gl->name = &Wrapper<k##name, &Functions::name>::Call;
    ZT_GL_FUNCTIONS(ZT_GL_WRAP)
    ZT_GL_OPTIONAL_FUNCTIONS(ZT_GL_WRAP)
#undef ZT_GL_WRAP
}

} // namespace gfx::gl
