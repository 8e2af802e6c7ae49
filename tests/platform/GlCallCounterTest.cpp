// The GL call counter: which calls it judges redundant (the state already
// held the value), over the real entry points of a headless device, and
// the layer's draws and effects judged by it.
#include <gtest/gtest.h>

#include <GL/glcorearb.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "platform/effect/Effect.h"
#include "platform/gfx/Device.h"
#include "platform/gfx/gl/GlCallCounter.h"
#include "platform/gfx/gl/GlDevice.h"
#include "platform/gfx/gl/GlDraw.h"
#include "platform/window/Window.h"
#include "tests/HeadlessGfx.h"

namespace {

using gfx::gl::Functions;

class GlCallCounterTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 0); }

    void SetUp() override {
        gfx::gl::CountGlCalls(true);
        window::CreateParams p;
        p.title = "call counter test";
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        d3d_ = gfx::CreateInterface();
        ASSERT_NE(d3d_, nullptr);
        gfx::PresentParameters pp = HeadlessPresentParams(32, 32);
        ASSERT_EQ(d3d_->CreateDevice(0, gfx::DeviceType::Hal, win_.get(),
                                     gfx::create::HardwareVertexProcessing, &pp, &dev_),
                  gfx::Result::Ok);
        gl_ = &static_cast<gfx::gl::GlDevice*>(dev_)->Gl();
        gfx::gl::TakeGlCallCounts();
    }
    void TearDown() override {
        if (dev_) dev_->Release();
        if (d3d_) d3d_->Release();
        win_.reset();
        gfx::gl::CountGlCalls(false);
        gfx::gl::TakeGlCallCounts();
    }

    std::unique_ptr<window::Window> win_;
    gfx::Interface* d3d_ = nullptr;
    gfx::Device* dev_ = nullptr;
    const Functions* gl_ = nullptr;
};

struct Case {
    const char* name;
    std::function<void(const Functions&)> calls;
    uint64_t calls_, redundant;
};

class GlCallCounterCases : public GlCallCounterTest, public ::testing::WithParamInterface<Case> {};

GLuint Texture(const Functions& gl) {
    GLuint t = 0;
    gl.GenTextures(1, &t);
    return t;
}

// A program that links: one uniform the fragment stage reads.
GLuint Program(const Functions& gl) {
    return gfx::gl::BuildProgram(
        gl, "#version 330 core\nvoid main() { gl_Position = vec4(0.0); }\n",
        "#version 330 core\nuniform float k;\nout vec4 c;\nvoid main() { c = vec4(k); }\n",
        "call counter test");
}

TEST_P(GlCallCounterCases, CountsAsItShould) {
    GetParam().calls(*gl_);
    const gfx::gl::GlCallCounts counts = gfx::gl::TakeGlCallCounts();
    EXPECT_EQ(counts.calls, GetParam().calls_) << counts.Describe();
    EXPECT_EQ(counts.redundant, GetParam().redundant) << counts.Describe();
}

const Case kCases[] = {
    {"SameTextureTwiceOnOneUnit",
     [](const Functions& gl) {
         const GLuint t = Texture(gl);
         gl.ActiveTexture(GL_TEXTURE3);
         gl.BindTexture(GL_TEXTURE_2D, t);
         gl.BindTexture(GL_TEXTURE_2D, t);
     },
     4, 1},
    {"SameTextureOnTwoUnits",
     [](const Functions& gl) {
         const GLuint t = Texture(gl);
         gl.ActiveTexture(GL_TEXTURE3);
         gl.BindTexture(GL_TEXTURE_2D, t);
         gl.ActiveTexture(GL_TEXTURE4);
         gl.BindTexture(GL_TEXTURE_2D, t);
     },
     5, 0},
    {"ATextureNameDeletedAndMadeAgain",
     [](const Functions& gl) {
         GLuint t = Texture(gl);
         gl.ActiveTexture(GL_TEXTURE3);
         gl.BindTexture(GL_TEXTURE_2D, t);
         gl.DeleteTextures(1, &t);
         t = Texture(gl);
         gl.BindTexture(GL_TEXTURE_2D, t);
     },
     6, 0},
    {"AUniformByValueAndProgram",
     [](const Functions& gl) {
         const GLuint a = Program(gl), b = Program(gl);
         gfx::gl::TakeGlCallCounts(); // counted from here
         gl.UseProgram(a);
         const GLint k = gl.GetUniformLocation(a, "k");
         gl.Uniform1f(k, 0.5f);
         gl.Uniform1f(k, 0.5f); // redundant
         gl.Uniform1f(k, 0.25f);
         gl.UseProgram(b);
         gl.Uniform1f(gl.GetUniformLocation(b, "k"), 0.25f);
         gl.UseProgram(b);       // redundant
         gl.Uniform1f(-1, 1.0f); // sets nothing
     },
     10, 3},
    {"TheElementBufferBelongsToTheVertexArray",
     [](const Functions& gl) {
         GLuint vao[2] = {}, buffer = 0;
         gl.GenVertexArrays(2, vao);
         gl.GenBuffers(1, &buffer);
         gl.BindVertexArray(vao[0]);
         gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
         gl.BindVertexArray(vao[1]);
         gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
         gl.BindVertexArray(vao[0]);
         gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer); // redundant
         gl.DeleteVertexArrays(2, vao);
         gl.DeleteBuffers(1, &buffer);
     },
     10, 1},
};

INSTANTIATE_TEST_SUITE_P(Calls, GlCallCounterCases, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// The layer itself: a draw repeated as it was sends nothing GL holds.
TEST_F(GlCallCounterTest, ARepeatedDrawSendsNoRedundantCall) {
    struct Vertex {
        float x, y, z, rhw;
        uint32_t colour;
    };
    const Vertex quad[4] = {{0, 0, 0, 1, 0xFFFF0000},
                            {32, 0, 0, 1, 0xFFFF0000},
                            {0, 32, 0, 1, 0xFFFF0000},
                            {32, 32, 0, 1, 0xFFFF0000}};
    ASSERT_EQ(dev_->SetFVF(gfx::fvf::XyzRhw | gfx::fvf::Diffuse), gfx::Result::Ok);
    ASSERT_EQ(dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, quad, sizeof(Vertex)),
              gfx::Result::Ok);
    const gfx::gl::GlCallCounts first = gfx::gl::TakeGlCallCounts();
    ASSERT_EQ(dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, quad, sizeof(Vertex)),
              gfx::Result::Ok);
    const gfx::gl::GlCallCounts second = gfx::gl::TakeGlCallCounts();
    EXPECT_EQ(second.redundant, 0u) << second.Describe();
    // The vertices again and the draw.
    EXPECT_LE(second.calls, 2u) << second.Describe();
    EXPECT_GT(first.calls, second.calls) << first.Describe();
}

} // namespace

uint64_t CallsOf(const gfx::gl::GlCallCounts& counts, const char* name) {
    for (const gfx::gl::GlCallCount& c : counts.byName)
        if (std::string(c.name) == name) return c.calls;
    return 0;
}

// An effect's programs are linked when a technique is first needed, once.
TEST_F(GlCallCounterTest, AnEffectLinksATechniqueWhenFirstBegun) {
    effect::Effect* e = nullptr;
    std::string errors;
    const char* text =
        "input float3 aPos : POSITION;\n"
        "glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }\n"
        "glsl fragment red { void main() { FragColor = vec4(1.0, 0.0, 0.0, 1.0); } }\n"
        "glsl fragment blue { void main() { FragColor = vec4(0.0, 0.0, 1.0, 1.0); } }\n"
        "technique A { pass { vertex vs; fragment red; } }\n"
        "technique B { pass { vertex vs; fragment blue; } pass { vertex vs; fragment red; } }\n";
    ASSERT_EQ(effect::CreateEffect(dev_, text, "fx\\lazy.glfx", 0, &e, &errors), gfx::Result::Ok) << errors;
    EXPECT_EQ(CallsOf(gfx::gl::TakeGlCallCounts(), "glLinkProgram"), 0u);

    ASSERT_EQ(e->SetTechnique(e->GetTechniqueByName("B")), gfx::Result::Ok);
    uint32_t passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), gfx::Result::Ok);
    EXPECT_EQ(passes, 2u);
    EXPECT_EQ(e->End(), gfx::Result::Ok);
    EXPECT_EQ(CallsOf(gfx::gl::TakeGlCallCounts(), "glLinkProgram"), 2u) << "B's two passes";

    ASSERT_EQ(e->Begin(&passes, 0), gfx::Result::Ok);
    EXPECT_EQ(e->End(), gfx::Result::Ok);
    EXPECT_EQ(e->ValidateTechnique(e->GetTechniqueByName("A")), gfx::Result::Ok);
    gfx::gl::GlCallCounts counts = gfx::gl::TakeGlCallCounts();
    EXPECT_EQ(CallsOf(counts, "glLinkProgram"), 1u) << "A's pass, B's kept";
    EXPECT_EQ(CallsOf(counts, "glDeleteShader"), 3u) << "the stages go once every technique is linked";
    e->Release();
}
