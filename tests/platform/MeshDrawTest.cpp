// The drawable mesh on the real device headless: DrawSubset through the
// fixed-function pipeline puts the texels where the vertices project, one
// attribute range at a time; an effect program set on the device draws the
// indexed faces instead, a skinned mesh's with its blend weights and indices;
// locks write through to the device.
#include <gtest/gtest.h>

#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "tests/EffectDevice.h"

namespace {

using gfx::Result;

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// A quad over the middle half of the target (clip space, identity
// matrices): corners top-left, top-right, bottom-right, bottom-left with u
// along x and v down; the upper-right triangle is attribute 0, the
// lower-left one attribute 1.
mesh::MeshData Quad() {
    mesh::MeshData d;
    const math::Vec3 p[4] = {
        {-0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {0.5f, -0.5f, 0.5f}, {-0.5f, -0.5f, 0.5f}};
    const math::Vec2 uv[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) {
        mesh::Vertex v;
        v.position = p[i];
        v.normal = {0, 0, -1};
        v.uv = uv[i];
        d.vertices.push_back(v);
    }
    d.indices = {0, 1, 2, 0, 2, 3};
    d.attributes = {0, 1};
    mesh::BuildAttributeTable(&d);
    return d;
}

class MeshDrawTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(d_.dev, nullptr);
        dev_ = d_.dev;
        std::string error;
        mesh_ = mesh::Mesh::Create(Quad(), dev_, &error);
        ASSERT_TRUE(mesh_) << error;
        // Red, green / blue, white: one texel per quarter of the quad.
        ASSERT_EQ(dev_->CreateTexture(2, 2, 1, 0, gfx::Format::A8R8G8B8, gfx::Pool::Managed, &texture_),
                  Result::Ok);
        gfx::LockedRect r;
        texture_->LockRect(0, &r, nullptr, 0);
        auto* t = static_cast<uint32_t*>(r.pBits);
        t[0] = 0xFF000000 | kRed;
        t[1] = 0xFF000000 | kGreen;
        t[r.Pitch / 4] = 0xFF000000 | kBlue;
        t[r.Pitch / 4 + 1] = 0xFF000000 | kWhite;
        texture_->UnlockRect(0);
        dev_->SetTexture(0, texture_);
        dev_->SetSamplerState(0, gfx::SamplerState::MagFilter, gfx::StateValue(gfx::TextureFilter::Point));
        dev_->SetSamplerState(0, gfx::SamplerState::MinFilter, gfx::StateValue(gfx::TextureFilter::Point));
        dev_->SetRenderState(gfx::RenderState::ZEnable, 0);
        dev_->SetRenderState(gfx::RenderState::Lighting, 0);
        dev_->Clear(0, nullptr, gfx::clear::Target, 0xFF000000, 1.0f, 0);
    }
    void TearDown() override {
        if (dev_) dev_->SetTexture(0, nullptr);
        if (texture_) texture_->Release();
        mesh_.reset();
    }

    EffectDevice d_;
    gfx::Device* dev_ = nullptr;
    gfx::Texture* texture_ = nullptr;
    std::unique_ptr<mesh::Mesh> mesh_;
};

TEST_F(MeshDrawTest, EachSubsetDrawsItsTexelsWhereItsVerticesProject) {
    // The quad covers pixels 8..23; its upper-right triangle is above the
    // diagonal from (8, 8) to (23, 23).
    ASSERT_EQ(mesh_->DrawSubset(0), Result::Ok);
    EXPECT_EQ(d_.Pixel(10, 10), kRed) << "top-left quarter, above the diagonal";
    EXPECT_EQ(d_.Pixel(21, 10), kGreen);
    EXPECT_EQ(d_.Pixel(21, 21), kWhite);
    EXPECT_EQ(d_.Pixel(10, 21), 0u) << "the other subset is not drawn yet";
    EXPECT_EQ(d_.Pixel(3, 3), 0u);
    ASSERT_EQ(mesh_->DrawSubset(1), Result::Ok);
    EXPECT_EQ(d_.Pixel(10, 21), kBlue);
    EXPECT_EQ(d_.Pixel(28, 16), 0u);
    EXPECT_EQ(mesh_->DrawSubset(7), Result::Ok) << "no such attribute: nothing drawn";
}

TEST_F(MeshDrawTest, AWrittenVertexLockReachesTheDevice) {
    void* p = nullptr;
    ASSERT_EQ(mesh_->LockVertexBuffer(0, &p), Result::Ok);
    EXPECT_EQ(mesh_->LockVertexBuffer(0, &p), Result::InvalidCall) << "one lock at a time";
    auto* v = static_cast<mesh::Vertex*>(p);
    for (int i = 0; i < 4; ++i)
        v[i].position.x += 0.5f; // a quarter of the target to the right
    ASSERT_EQ(mesh_->UnlockVertexBuffer(), Result::Ok);
    EXPECT_EQ(mesh_->Vertices()[0].position.x, 0.0f);
    mesh_->DrawSubset(0);
    mesh_->DrawSubset(1);
    EXPECT_EQ(d_.Pixel(10, 16), 0u);
    EXPECT_EQ(d_.Pixel(18, 10), kRed);
    EXPECT_EQ(d_.Pixel(29, 21), kWhite);
}

TEST_F(MeshDrawTest, WithAnEffectProgramSetTheIndexedFacesRunIt) {
    effect::Effect* e = d_.Make(R"(
input float3 aPos : POSITION;
glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }
glsl fragment fs { void main() { FragColor = vec4(1.0, 0.0, 1.0, 1.0); } }
technique T { pass { vertex vs; fragment fs; } }
)");
    ASSERT_NE(e, nullptr);
    uint32_t passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), Result::Ok);
    ASSERT_EQ(e->BeginPass(0), Result::Ok);
    mesh_->DrawSubset(1);
    e->EndPass();
    e->End();
    e->Release();
    EXPECT_EQ(d_.Pixel(10, 21), 0xFF00FFu);
    EXPECT_EQ(d_.Pixel(21, 10), 0u);
}

// The skinned quad: each vertex's first blend index moves it by a quarter of
// the target per entry, and its first weight is the red it is drawn in.
TEST_F(MeshDrawTest, ASkinnedSubsetDrawsThroughTheSkinnedDeclaration) {
    const mesh::MeshData quad = Quad();
    mesh::SkinnedMeshData d;
    for (const mesh::Vertex& from : quad.vertices) {
        mesh::SkinnedVertex v;
        v.position = from.position;
        v.weights[0] = 1.0f;
        v.weights[3] = 0.2f;
        v.indices[0] = 1;
        v.normal = from.normal;
        v.uv = from.uv;
        d.vertices.push_back(v);
    }
    d.indices = quad.indices;
    d.attributes = quad.attributes;
    mesh::BuildAttributeTable(&d);
    std::string error;
    std::unique_ptr<mesh::SkinnedMesh> skinned = mesh::SkinnedMesh::Create(d, dev_, &error);
    ASSERT_TRUE(skinned) << error;
    effect::Effect* e = d_.Make(R"(
input float3 aPos : POSITION;
input float4 aWeights : BLENDWEIGHT;
input float4 aIndices : BLENDINDICES;
glsl vertex vs {
    out vec4 vColour;
    void main() {
        gl_Position = vec4(aPos.x + 0.5 * aIndices.x, aPos.y, aPos.z, 1.0);
        vColour = vec4(aWeights.x, 0.0, aWeights.w, 1.0);
    }
}
glsl fragment fs { in vec4 vColour; void main() { FragColor = vColour; } }
technique T { pass { vertex vs; fragment fs; } }
)");
    ASSERT_NE(e, nullptr);
    uint32_t passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), Result::Ok);
    ASSERT_EQ(e->BeginPass(0), Result::Ok);
    EXPECT_EQ(skinned->DrawSubset(1), Result::Ok);
    e->EndPass();
    e->End();
    e->Release();
    // The lower-left triangle, a quarter of the target to the right.
    EXPECT_EQ(d_.Pixel(18, 21), 0xFF0033u);
    EXPECT_EQ(d_.Pixel(10, 21), 0u);
    EXPECT_EQ(d_.Pixel(26, 10), 0u) << "the other subset is not drawn";
}

TEST(MeshCreate, RefusesMoreVerticesThanSixteenBitIndicesReach) {
    mesh::MeshData d = Quad();
    d.vertices.resize(mesh::Mesh::kMaxVertices + 1, d.vertices[0]);
    std::string error;
    EXPECT_EQ(mesh::Mesh::Create(d, nullptr, &error), nullptr);
    EXPECT_NE(error.find("65536 vertices"), std::string::npos) << error;
    d.vertices.resize(mesh::Mesh::kMaxVertices);
    auto m = mesh::Mesh::Create(d, nullptr, &error);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->DrawSubset(0), Result::InvalidCall) << "no device: memory only";
    uint32_t count = 0;
    m->GetAttributeTable(nullptr, &count);
    EXPECT_EQ(count, 2u);
}

} // namespace
