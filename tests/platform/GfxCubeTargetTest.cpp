// Render-target cubes on the real device headless: an R32F cube with the
// full mip chain hands out a surface per face and level; each face level is
// drawn into with a depth surface of its own size and read back top row
// first, without touching the other faces; a sampled cube finds each face in
// Direct3D's face order; wrong uses are refused and a live cube holds off a
// reset as every default-pool resource does.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "tests/EffectDevice.h"
#include "tests/HeadlessGfx.h"

namespace {

using gfx::CubeFace;
using gfx::Format;
using gfx::Result;

constexpr uint32_t kEdge = 16;

// Writes g_fValue at the depth of the vertices.
const char* const kValueEffect = R"(
parameter float g_fValue = 0.0;
input float3 aPos : POSITION;
glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }
glsl fragment fs { void main() { FragColor = vec4(g_fValue, 0.0, 0.0, 1.0); } }
technique T { pass { vertex vs; fragment fs; CullMode = None; } }
)";

// Writes the red channel of the cube on stage 0 in the direction g_vDir.
const char* const kSampleEffect = R"(
parameter float4 g_vDir;
samplerCube sCube : stage 0 { MinFilter = Point; MagFilter = Point; MipFilter = None; }
input float3 aPos : POSITION;
glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }
glsl fragment fs { void main() { FragColor = vec4(texture(sCube, g_vDir.xyz).r, 0.0, 0.0, 1.0); } }
technique T { pass { vertex vs; fragment fs; CullMode = None; ZEnable = false; } }
)";

struct XyzVertex {
    float x, y, z;
};

class GfxCubeTargetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(d_.dev, nullptr);
        dev_ = d_.dev;
        ASSERT_EQ(dev_->CreateCubeTexture(kEdge, 0, gfx::usage::RenderTarget, Format::R32F,
                                          gfx::Pool::Default, &cube_),
                  Result::Ok);
        ASSERT_EQ(dev_->CreateDepthStencilSurface(kEdge, kEdge, Format::D24X8, 0, 0, false, &depth_),
                  Result::Ok);
        value_ = d_.Make(kValueEffect);
        ASSERT_NE(value_, nullptr);
        dev_->GetRenderTarget(0, &backBuffer_);
        dev_->GetDepthStencilSurface(&backDepth_);
    }
    void TearDown() override {
        if (dev_) {
            if (backBuffer_) dev_->SetRenderTarget(0, backBuffer_);
            dev_->SetDepthStencilSurface(backDepth_);
            dev_->SetTexture(0, nullptr);
        }
        for (gfx::Resource* r :
             std::initializer_list<gfx::Resource*>{value_, depth_, cube_, backBuffer_, backDepth_}) {
            if (r) r->Release();
        }
    }

    // Face `face` of level `level` as render target 0 with the cube's depth
    // surface (level 0 only: the depth surface has the edge of level 0).
    void UseFace(uint32_t face, uint32_t level = 0) {
        gfx::Surface* s = nullptr;
        ASSERT_EQ(cube_->GetCubeMapSurface(CubeFace(face), level, &s), Result::Ok);
        ASSERT_EQ(dev_->SetRenderTarget(0, s), Result::Ok);
        s->Release(); // the device holds it while it is set
        ASSERT_EQ(dev_->SetDepthStencilSurface(level == 0 ? depth_ : nullptr), Result::Ok);
    }

    // A rectangle of clip space at depth z written with `value`.
    void DrawRect(effect::Effect* e, float x0, float y0, float x1, float y1, float z) {
        const XyzVertex v[4] = {{x0, y1, z}, {x1, y1, z}, {x0, y0, z}, {x1, y0, z}};
        uint32_t passes = 0;
        ASSERT_EQ(e->Begin(&passes, 0), Result::Ok);
        ASSERT_EQ(e->BeginPass(0), Result::Ok);
        dev_->SetFVF(gfx::fvf::Xyz);
        ASSERT_EQ(dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, v, sizeof(XyzVertex)),
                  Result::Ok);
        e->EndPass();
        e->End();
    }
    void DrawValue(float x0, float y0, float x1, float y1, float z, float value) {
        value_->SetFloat(value_->GetParameterByName(effect::Handle(), "g_fValue"), value);
        DrawRect(value_, x0, y0, x1, y1, z);
    }

    // The values of one face level, row after row, through the lock's pitch.
    std::vector<float> ReadFace(uint32_t face, uint32_t level = 0) {
        const uint32_t side = cube_->Size(level);
        std::vector<float> out(size_t(side) * side, 12345.0f);
        gfx::Surface* s = nullptr;
        gfx::Surface* memory = nullptr;
        EXPECT_EQ(cube_->GetCubeMapSurface(CubeFace(face), level, &s), Result::Ok);
        EXPECT_EQ(dev_->CreateOffscreenPlainSurface(side, side, Format::R32F, gfx::Pool::SystemMem, &memory),
                  Result::Ok);
        if (!s || !memory) return out;
        EXPECT_EQ(dev_->GetRenderTargetData(s, memory), Result::Ok);
        gfx::LockedRect r;
        EXPECT_EQ(memory->LockRect(&r, nullptr, gfx::lock::ReadOnly), Result::Ok);
        for (uint32_t y = 0; y < side; ++y)
            std::memcpy(&out[y * side], static_cast<const uint8_t*>(r.pBits) + size_t(y) * r.Pitch, side * 4);
        memory->UnlockRect();
        memory->Release();
        s->Release();
        return out;
    }

    EffectDevice d_;
    gfx::Device* dev_ = nullptr;
    gfx::CubeTexture* cube_ = nullptr;
    gfx::Surface* depth_ = nullptr;
    gfx::Surface* backBuffer_ = nullptr;
    gfx::Surface* backDepth_ = nullptr;
    effect::Effect* value_ = nullptr;
};

TEST_F(GfxCubeTargetTest, TheFullChainGivesASurfacePerFaceAndLevelOfTheLevelsSize) {
    ASSERT_EQ(cube_->LevelCount(), 5u); // 16, 8, 4, 2, 1
    EXPECT_EQ(cube_->GetFormat(), Format::R32F);
    EXPECT_EQ(cube_->GetPool(), gfx::Pool::Default);
    EXPECT_EQ(cube_->GetType(), gfx::ResourceType::CubeTexture);
    for (uint32_t face = 0; face < gfx::CubeFaceCount; ++face) {
        for (uint32_t level = 0; level < cube_->LevelCount(); ++level) {
            gfx::Surface* s = nullptr;
            ASSERT_EQ(cube_->GetCubeMapSurface(CubeFace(face), level, &s), Result::Ok);
            EXPECT_EQ(s->Width(), kEdge >> level);
            EXPECT_EQ(s->Height(), kEdge >> level);
            EXPECT_EQ(s->GetFormat(), Format::R32F);
            s->Release();
        }
    }
    // The surface holds the cube: the cube outlives the caller's reference.
    gfx::Surface* s = nullptr;
    ASSERT_EQ(cube_->GetCubeMapSurface(CubeFace::NegativeZ, 0, &s), Result::Ok);
    EXPECT_EQ(cube_->RefCount(), 2u);
    s->Release();
    EXPECT_EQ(cube_->RefCount(), 1u);
}

TEST_F(GfxCubeTargetTest, EachFaceLevelKeepsWhatWasDrawnIntoItAndNoOtherFaceChanges) {
    // Every face cleared to its number plus one, level 0 and level 1.
    for (uint32_t face = 0; face < gfx::CubeFaceCount; ++face) {
        for (uint32_t level : {0u, 1u}) {
            UseFace(face, level);
            ASSERT_EQ(dev_->ClearFloat(0, nullptr, gfx::clear::Target,
                                       math::Vec4{float(face + 1) + 10.0f * float(level), 0, 0, 0}, 1.0f, 0),
                      Result::Ok);
        }
    }
    // Face +Y, level 0, its depth surface cleared to far: a near rectangle
    // over the top half, a farther one over the left half (it loses where
    // they overlap), and the nearest over the left half of the bottom-left
    // quarter.
    UseFace(uint32_t(CubeFace::PositiveY));
    ASSERT_EQ(dev_->Clear(0, nullptr, gfx::clear::ZBuffer, 0, 1.0f, 0), Result::Ok);
    dev_->SetRenderState(gfx::RenderState::ZEnable, 1);
    dev_->SetRenderState(gfx::RenderState::ZWriteEnable, 1);
    DrawValue(-1, 0, 1, 1, 0.25f, 7.0f);
    DrawValue(-1, -1, 0, 1, 0.75f, 9.0f);
    DrawValue(-1, -1, -0.5f, 0, 0.1f, 5.0f);
    const std::vector<float> top = ReadFace(uint32_t(CubeFace::PositiveY));
    const uint32_t bottom = (kEdge - 1) * kEdge;
    EXPECT_EQ(top[0], 7.0f) << "top left: the farther rectangle lost";
    EXPECT_EQ(top[kEdge - 1], 7.0f) << "top right";
    EXPECT_EQ(top[bottom], 5.0f) << "bottom left";
    EXPECT_EQ(top[bottom + kEdge / 2 - 1], 9.0f) << "bottom, left of the middle";
    EXPECT_EQ(top[bottom + kEdge - 1], 3.0f) << "bottom right keeps the clear";
    for (uint32_t face = 0; face < gfx::CubeFaceCount; ++face) {
        if (face == uint32_t(CubeFace::PositiveY)) continue;
        SCOPED_TRACE(face);
        const std::vector<float> level0 = ReadFace(face);
        EXPECT_EQ(level0, std::vector<float>(kEdge * kEdge, float(face + 1)));
        const std::vector<float> level1 = ReadFace(face, 1);
        EXPECT_EQ(level1, std::vector<float>((kEdge / 2) * (kEdge / 2), float(face + 1) + 10.0f));
    }
    EXPECT_EQ(ReadFace(uint32_t(CubeFace::PositiveY), 1),
              std::vector<float>((kEdge / 2) * (kEdge / 2), 3.0f + 10.0f));
}

TEST_F(GfxCubeTargetTest, ASampledCubeFindsEachFaceInDirect3DsFaceOrder) {
    for (uint32_t face = 0; face < gfx::CubeFaceCount; ++face) {
        UseFace(face);
        ASSERT_EQ(
            dev_->ClearFloat(0, nullptr, gfx::clear::Target, math::Vec4{float(face + 1), 0, 0, 0}, 1.0f, 0),
            Result::Ok);
    }
    // Sampled into a one-texel float target.
    gfx::Texture* out = nullptr;
    gfx::Surface* outSurface = nullptr;
    gfx::Surface* memory = nullptr;
    ASSERT_EQ(dev_->CreateTexture(1, 1, 1, gfx::usage::RenderTarget, Format::R32F, gfx::Pool::Default, &out),
              Result::Ok);
    ASSERT_EQ(out->GetSurfaceLevel(0, &outSurface), Result::Ok);
    ASSERT_EQ(dev_->CreateOffscreenPlainSurface(1, 1, Format::R32F, gfx::Pool::SystemMem, &memory),
              Result::Ok);
    effect::Effect* sample = d_.Make(kSampleEffect);
    ASSERT_NE(sample, nullptr);
    const struct {
        math::Vec4 direction;
        CubeFace face;
    } cases[] = {
        {{1, 0.1f, 0.2f, 0}, CubeFace::PositiveX},  {{-1, 0.2f, -0.1f, 0}, CubeFace::NegativeX},
        {{0.1f, 1, 0.2f, 0}, CubeFace::PositiveY},  {{-0.2f, -1, 0.1f, 0}, CubeFace::NegativeY},
        {{0.2f, -0.1f, 1, 0}, CubeFace::PositiveZ}, {{0.1f, 0.2f, -1, 0}, CubeFace::NegativeZ},
    };
    ASSERT_EQ(dev_->SetRenderTarget(0, outSurface), Result::Ok);
    ASSERT_EQ(dev_->SetDepthStencilSurface(nullptr), Result::Ok);
    ASSERT_EQ(dev_->SetTexture(0, cube_), Result::Ok);
    for (const auto& c : cases) {
        SCOPED_TRACE(uint32_t(c.face));
        sample->SetVector(sample->GetParameterByName(effect::Handle(), "g_vDir"), c.direction);
        DrawRect(sample, -1, -1, 1, 1, 0.5f);
        ASSERT_EQ(dev_->GetRenderTargetData(outSurface, memory), Result::Ok);
        gfx::LockedRect r;
        ASSERT_EQ(memory->LockRect(&r, nullptr, gfx::lock::ReadOnly), Result::Ok);
        float v = 0;
        std::memcpy(&v, r.pBits, sizeof v);
        memory->UnlockRect();
        EXPECT_EQ(v, float(uint32_t(c.face) + 1));
    }
    dev_->SetTexture(0, nullptr);
    for (gfx::Resource* r : std::initializer_list<gfx::Resource*>{sample, memory, outSurface, out})
        r->Release();
}

TEST_F(GfxCubeTargetTest, WrongUsesAreRefused) {
    gfx::CubeTexture* c = nullptr;
    EXPECT_EQ(
        dev_->CreateCubeTexture(kEdge, 1, gfx::usage::RenderTarget, Format::R32F, gfx::Pool::Managed, &c),
        Result::InvalidCall)
        << "a render target lives in the default pool";
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(
        dev_->CreateCubeTexture(kEdge, 1, gfx::usage::RenderTarget, Format::Dxt1, gfx::Pool::Default, &c),
        Result::InvalidCall)
        << "a compressed format is not drawn into";
    gfx::Surface* s = nullptr;
    EXPECT_EQ(cube_->GetCubeMapSurface(CubeFace(6), 0, &s), Result::InvalidCall);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(cube_->GetCubeMapSurface(CubeFace::PositiveX, cube_->LevelCount(), &s), Result::InvalidCall);
    EXPECT_EQ(s, nullptr);
    gfx::LockedRect lr;
    EXPECT_EQ(cube_->LockRect(CubeFace::PositiveX, 0, &lr, nullptr, 0), Result::InvalidCall)
        << "a render target is drawn on the GPU only";

    // A plain cube's face is no render target.
    ASSERT_EQ(dev_->CreateCubeTexture(kEdge, 1, 0, Format::A8R8G8B8, gfx::Pool::Managed, &c), Result::Ok);
    ASSERT_EQ(c->GetCubeMapSurface(CubeFace::PositiveX, 0, &s), Result::Ok);
    EXPECT_EQ(dev_->SetRenderTarget(0, s), Result::InvalidCall);
    s->Release();
    c->Release();

    // A read-back into memory of another size or format.
    gfx::Surface* face = nullptr;
    gfx::Surface* memory = nullptr;
    ASSERT_EQ(cube_->GetCubeMapSurface(CubeFace::PositiveX, 1, &face), Result::Ok);
    ASSERT_EQ(dev_->CreateOffscreenPlainSurface(kEdge, kEdge, Format::R32F, gfx::Pool::SystemMem, &memory),
              Result::Ok);
    EXPECT_EQ(dev_->GetRenderTargetData(face, memory), Result::InvalidCall);
    memory->Release();
    ASSERT_EQ(dev_->CreateOffscreenPlainSurface(kEdge / 2, kEdge / 2, Format::A8R8G8B8, gfx::Pool::SystemMem,
                                                &memory),
              Result::Ok);
    EXPECT_EQ(dev_->GetRenderTargetData(face, memory), Result::InvalidCall);
    memory->Release();
    face->Release();
}

TEST_F(GfxCubeTargetTest, ALiveCubeTargetHoldsOffAReset) {
    gfx::PresentParameters pp = HeadlessPresentParams(EffectDevice::kW, EffectDevice::kH);
    backBuffer_->Release();
    backBuffer_ = nullptr;
    backDepth_->Release();
    backDepth_ = nullptr;
    depth_->Release();
    depth_ = nullptr;
    EXPECT_EQ(dev_->Reset(&pp), Result::InvalidCall);
    cube_->Release();
    cube_ = nullptr;
    EXPECT_EQ(dev_->Reset(&pp), Result::Ok);
}

} // namespace
