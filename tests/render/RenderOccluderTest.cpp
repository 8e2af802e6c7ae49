// The render occluder: the decoding of prepared read-back images into the
// objects' seen and subset-seen bytes (each index once, the background and
// other negative values passed over, values beyond the table reported, the
// lock's row pitch honoured), the always-seen flag and RecalculateOccluders
// off, the held weapon model, failed read-backs and locks, and a real
// occlusion drawing into the 256 x 256 target read back at chosen texels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "app/D3DMain.h"
#include "app/Options.h"
#include "app/Orientation.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/Mesh.h"
#include "render/RenderOccluder.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "tests/EffectDevice.h"
#include "tests/render/CountingEffect.h"
#include "tests/world/WorldFixture.h"
#include "world/Camera.h"
#include "world/WorldHooks.h"

namespace {

constexpr uint32_t kSize = ERenderOccluder::TARGET_SIZE;
// Rows of the prepared images are padded: a reader that ignores the pitch
// reads the padding, which names a subset that must stay unmarked.
constexpr uint32_t kPitchFloats = kSize + 8;

uint32_t Index(int slot, uint32_t subset) {
    return uint32_t(slot) * 256 + subset;
}

struct Pixel {
    uint32_t x, y;
    float value;
};
struct Mark {
    int slot;
    uint32_t subset;
};

class RenderOccluderTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        // Slots 0 and 2 hold meshes, slot 1 is free again; slot 3400 holds a
        // skinned mesh.
        ASSERT_EQ(Make(OT_MESH)->iIndex, 0);
        ObjectRecord* freed = Make(OT_MESH);
        ASSERT_EQ(Make(OT_MESH)->iIndex, 2);
        g_Engine.DeleteObject(freed);
        ObjectRecord* skinned = Make(OT_SKINMESH);
        ASSERT_NE(skinned, nullptr);
        ASSERT_EQ(skinned->iIndex, 3400);
        ClearMarks();
        saved_ = {RecalculateOccluders, RecalculateCamera, DrawModels};
        hooks_ = TheWorldHooks();
    }
    void TearDown() override {
        InstallWorldHooks(hooks_);
        std::tie(RecalculateOccluders, RecalculateCamera, DrawModels) = saved_;
        WorldTest::TearDown();
    }

    static void ClearMarks() {
        for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot) {
            ObjectRecord* h = g_Engine.Object(slot);
            h->bSeen = 0;
            std::memset(h->bSubsetDraw, 0, sizeof h->bSubsetDraw);
        }
    }
    static bool Marked(const Mark& m) {
        const ObjectRecord* h = g_Engine.Object(m.slot);
        return h->bSeen && h->bSubsetDraw[m.subset];
    }
    static bool FullySeen(int slot) {
        const ObjectRecord* h = g_Engine.Object(slot);
        if (!h->bSeen) return false;
        for (uint8_t b : h->bSubsetDraw)
            if (!b) return false;
        return true;
    }

    // A cleared target's image (every value -1.0) with the given pixels, the
    // padding of each row naming slot 2, subset 9.
    static std::vector<float> Image(const std::vector<Pixel>& pixels) {
        std::vector<float> image(size_t(kPitchFloats) * kSize, ERenderOccluder::CLEAR_VALUE);
        for (uint32_t y = 0; y < kSize; ++y)
            for (uint32_t x = kSize; x < kPitchFloats; ++x)
                image[y * kPitchFloats + x] = float(Index(2, 9));
        for (const Pixel& p : pixels)
            image[p.y * kPitchFloats + p.x] = p.value;
        return image;
    }

    std::tuple<bool, bool, bool> saved_;
    WorldHooks hooks_;
};

struct DecodeCase {
    const char* name;
    std::vector<Pixel> pixels;
    std::vector<Mark> marked;
    std::vector<Mark> unmarked;
    std::vector<uint32_t> indicesMarked; // in the seen table
    std::vector<std::string> printed;
};

TEST_F(RenderOccluderTest, ReadBackImagesMarkEachIndexFoundOnce) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const DecodeCase cases[] = {
        {"the background marks nothing (not object 0, subset 1)", {}, {}, {{0, 1}, {0, 0}, {2, 9}}, {}, {}},
        {"a subset seen at several pixels",
         {{10, 10, float(Index(2, 3))}, {200, 100, float(Index(2, 3))}},
         {{2, 3}},
         {{2, 0}, {2, 4}, {0, 3}},
         {Index(2, 3)},
         {}},
        {"a fraction is cut toward zero", {{5, 5, float(Index(2, 3)) + 0.75f}}, {{2, 3}}, {{2, 4}}, {}, {}},
        {"the first and the last texel",
         {{0, 0, float(Index(0, 7))}, {kSize - 1, kSize - 1, float(Index(2, 255))}},
         {{0, 7}, {2, 255}},
         {{2, 9}},
         {},
         {}},
        {"a skinned mesh marks its subset 0",
         {{40, 40, float(Index(3400, 0))}},
         {{3400, 0}},
         {{3400, 1}},
         {},
         {}},
        {"negative values and NaN are passed over",
         {{1, 1, -0.5f}, {2, 2, -300.0f}, {3, 3, nan}, {4, 4, -std::numeric_limits<float>::infinity()}},
         {},
         {{0, 0}, {0, 1}},
         {},
         {}},
        {"a free slot: the table is marked, the record is not",
         {{7, 7, float(Index(1, 4))}},
         {},
         {{1, 4}},
         {Index(1, 4)},
         {}},
        {"the last index the table holds", {{9, 9, 972799.0f}}, {}, {}, {972799u}, {}},
        {"beyond the table: reported with the object number, nothing marked",
         {{8, 8, 972800.0f}, {9, 8, 1e30f}, {10, 8, std::numeric_limits<float>::infinity()}, {11, 8, 1.0f}},
         {{0, 1}},
         {},
         {1u},
         {"Za duzy idx: 3800", "Za duzy idx: 2147483647"}},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ClearMarks();
        MarkConsole();
        const std::vector<float> image = Image(c.pixels);
        g_RenderOccluder.MarkImage(image.data(), int32_t(kPitchFloats * sizeof(float)), kSize, kSize);
        for (const Mark& m : c.marked)
            EXPECT_TRUE(Marked(m)) << m.slot << "/" << m.subset;
        for (const Mark& m : c.unmarked) {
            EXPECT_FALSE(g_Engine.Object(m.slot)->bSubsetDraw[m.subset]) << m.slot << "/" << m.subset;
            const uint32_t index = Index(m.slot, m.subset);
            if (std::find(c.indicesMarked.begin(), c.indicesMarked.end(), index) == c.indicesMarked.end()) {
                EXPECT_FALSE(g_RenderOccluder.IsIndexMarked(index)) << m.slot << "/" << m.subset;
            }
        }
        for (uint32_t index : c.indicesMarked)
            EXPECT_TRUE(g_RenderOccluder.IsIndexMarked(index)) << index;
        if (c.marked.empty()) {
            EXPECT_FALSE(g_Engine.Object(0)->bSeen || g_Engine.Object(2)->bSeen);
        }
        for (const std::string& line : c.printed)
            EXPECT_TRUE(PrintedLine(line.c_str())) << line;
        EXPECT_FALSE(g_Engine.Object(1)->bSeen) << "a free slot is never marked";
    }
}

// ---- On the device ------------------------------------------------------------------------------

class OccluderDeviceTest : public RenderOccluderTest {
  protected:
    void SetUp() override {
        RenderOccluderTest::SetUp();
        ASSERT_NE(d_.dev, nullptr);
        g_pD3DInterface = d_.dev;
        savedDepth_ = g_DepthStencilFormat;
        g_DepthStencilFormat = gfx::Format::D24X8;
        g_RenderOccluder.Init();
        ASSERT_TRUE(g_RenderOccluder.IsCreated());
    }
    void TearDown() override {
        g_RenderOccluder.Destroy();
        g_DepthStencilFormat = savedDepth_;
        g_pD3DInterface = nullptr;
        RenderOccluderTest::TearDown();
    }

    // Draws clip-space rectangles of occlusion values into the occluder's
    // target (cleared to the clear value), as the mesh drawing does: each
    // spans x from its left edge to 0.5 further, y from 0 to 1 (the upper
    // half).
    void DrawIndices(const std::vector<std::pair<float, float>>& rects) {
        effect::Effect* e = d_.Make(R"(
parameter float g_fOcclusionData;
input float3 aPos : POSITION;
glsl vertex vs { void main() { gl_Position = vec4(aPos, 1.0); } }
glsl fragment fs { void main() { FragColor = vec4(g_fOcclusionData, 0.0, 0.0, 1.0); } }
technique T { pass { vertex vs; fragment fs; CullMode = None; ZEnable = false; } }
)");
        ASSERT_NE(e, nullptr);
        gfx::Device* d = d_.dev;
        gfx::Surface *back = nullptr, *backDepth = nullptr;
        d->GetRenderTarget(0, &back);
        d->GetDepthStencilSurface(&backDepth);
        d->SetRenderTarget(0, g_RenderOccluder.m_pTargetSurface);
        d->SetDepthStencilSurface(g_RenderOccluder.m_pDepthSurface);
        d->ClearFloat(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer,
                      math::Vec4{ERenderOccluder::CLEAR_VALUE, 0, 0, 0}, 1.0f, 0);
        uint32_t passes = 0;
        e->Begin(&passes, 0);
        e->BeginPass(0);
        d->SetFVF(gfx::fvf::Xyz);
        for (const auto& [left, value] : rects) {
            const float v[4][3] = {
                {left, 1, 0.5f}, {left + 0.5f, 1, 0.5f}, {left, 0, 0.5f}, {left + 0.5f, 0, 0.5f}};
            e->SetFloat(e->GetParameterByName(effect::Handle(), "g_fOcclusionData"), value);
            e->CommitChanges();
            d->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, v, 12);
        }
        e->EndPass();
        e->End();
        e->Release();
        d->SetRenderTarget(0, back);
        d->SetDepthStencilSurface(backDepth);
        back->Release();
        backDepth->Release();
    }

    EffectDevice d_;
    gfx::Format savedDepth_ = gfx::Format::D16;
};

TEST_F(OccluderDeviceTest, ARealOcclusionDrawingReadsBackTheIndexAtEachTexel) {
    RecalculateOccluders = true;
    // Columns 0..63 show slot 0's subset 5, 64..127 slot 2's subset 0, 128..191
    // the skinned mesh; the lower half and the right quarter are background.
    DrawIndices({{-1.0f, float(Index(0, 5))}, {-0.5f, float(Index(2, 0))}, {0.0f, float(Index(3400, 0))}});
    MarkConsole();
    g_RenderOccluder.ReadBack();
    EXPECT_TRUE(Marked({0, 5}));
    EXPECT_TRUE(Marked({2, 0}));
    EXPECT_TRUE(Marked({3400, 0}));
    EXPECT_FALSE(g_Engine.Object(0)->bSubsetDraw[1]) << "the background is no index";
    EXPECT_FALSE(g_Engine.Object(2)->bSubsetDraw[5]);
    EXPECT_FALSE(Printed("Za duzy idx"));
    // The values at chosen texels, read as the occluder reads them.
    gfx::LockedRect r;
    ASSERT_EQ(g_RenderOccluder.m_pCalculateSurface->LockRect(&r, nullptr, gfx::lock::ReadOnly),
              gfx::Result::Ok);
    auto at = [&](uint32_t x, uint32_t y) {
        return reinterpret_cast<const float*>(static_cast<const uint8_t*>(r.pBits) + size_t(y) * r.Pitch)[x];
    };
    EXPECT_EQ(at(10, 10), float(Index(0, 5)));
    EXPECT_EQ(at(100, 120), float(Index(2, 0)));
    EXPECT_EQ(at(130, 0), float(Index(3400, 0)));
    EXPECT_EQ(at(10, 200), ERenderOccluder::CLEAR_VALUE) << "the lower half";
    EXPECT_EQ(at(250, 10), ERenderOccluder::CLEAR_VALUE) << "the right quarter";
    g_RenderOccluder.m_pCalculateSurface->UnlockRect();
}

// The empty rest of the static-mesh range above its high-water mark is
// neither marked nor cleared: its records are left untouched.
TEST_F(OccluderDeviceTest, WithOccludersOffEverySlotBelowItsRangesHighWaterMarkIsSeen) {
    RecalculateOccluders = false;
    RecalculateCamera = true;
    g_RenderOccluder.Render();
    for (int slot : {0, 1, 2, 3400})
        EXPECT_TRUE(FullySeen(slot)) << slot;
    for (int slot : {g_Engine.m_iMeshHighWater, 3399, g_Engine.m_iSkinMeshHighWater})
        EXPECT_FALSE(g_Engine.Object(slot)->bSeen) << slot << ", beyond its range's high-water mark";

    // With occluders on, the records there keep what they hold.
    ClearMarks();
    g_Engine.Object(3399)->bSeen = 1;
    RecalculateOccluders = true;
    g_RenderOccluder.Render();
    EXPECT_EQ(g_Engine.Object(3399)->bSeen, 1);
    EXPECT_EQ(g_Engine.Object(3399)->bSubsetDraw[0], 0);
    RecalculateOccluders = false;

    // Without the camera's recalculation nothing is touched.
    ClearMarks();
    RecalculateCamera = false;
    g_RenderOccluder.Render();
    EXPECT_FALSE(g_Engine.Object(0)->bSeen);
}

TEST_F(OccluderDeviceTest, AlwaysSeenObjectsAndTheHeldWeaponAreFullySeenWhateverTheTargetShows) {
    RecalculateOccluders = true;
    RecalculateCamera = true;
    g_Engine.Object(2)->dwFlags |= ERenderOccluder::FLAG_ALWAYS_SEEN;
    static ObjectRecord* held = nullptr;
    held = g_Engine.Object(0);
    WorldHooks hooks = TheWorldHooks();
    hooks.HeldWeaponModel = [] { return held; };
    InstallWorldHooks(hooks);
    g_Engine.Object(3400)->bSeen = 1;
    // No object is in view and no effect is loaded: nothing is drawn, the
    // target reads back as background.
    g_RenderOccluder.Render();
    EXPECT_TRUE(FullySeen(2)) << "flags bit 0x200000";
    EXPECT_TRUE(FullySeen(0)) << "the held weapon model";
    EXPECT_FALSE(g_Engine.Object(3400)->bSeen) << "cleared and not found in the target";
    gfx::Surface* target = nullptr;
    d_.dev->GetRenderTarget(0, &target);
    EXPECT_EQ(target->Width(), EffectDevice::kW) << "the back buffer is render target 0 again";
    target->Release();
    gfx::Viewport vp;
    d_.dev->GetViewport(&vp);
    EXPECT_EQ(vp.Width, EffectDevice::kW) << "and its viewport";
}

TEST_F(OccluderDeviceTest, AFailedReadBackOrLockLeavesTheMarksAndSaysSo) {
    RecalculateOccluders = true;
    DrawIndices({{-1.0f, float(Index(0, 5))}});
    struct Case {
        const char* name;
        const char* printed;
        std::function<void()> before, after;
    };
    gfx::Surface* wrong = nullptr;
    d_.dev->CreateOffscreenPlainSurface(kSize, kSize / 2, gfx::Format::R32F, gfx::Pool::SystemMem, &wrong);
    gfx::Surface* kept = g_RenderOccluder.m_pCalculateSurface;
    gfx::LockedRect lr;
    const Case cases[] = {
        {"the read-back fails", "GetRenderTargetData failed!",
         [&] { g_RenderOccluder.m_pCalculateSurface = wrong; },
         [&] { g_RenderOccluder.m_pCalculateSurface = kept; }},
        {"the lock fails", "LockRect failed!", [&] { kept->LockRect(&lr, nullptr, 0); },
         [&] { kept->UnlockRect(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearMarks();
        g_Engine.Object(2)->bSeen = 1;
        g_Engine.Object(2)->bSubsetDraw[1] = 1;
        MarkConsole();
        c.before();
        g_RenderOccluder.ReadBack();
        c.after();
        EXPECT_TRUE(PrintedLine(c.printed));
        EXPECT_FALSE(Marked({0, 5})) << "nothing read";
        EXPECT_TRUE(Marked({2, 1})) << "the marks stay as they were";
    }
    wrong->Release();
    // Without the target: said, and nothing else.
    g_RenderOccluder.Destroy();
    MarkConsole();
    g_RenderOccluder.ReadBack();
    EXPECT_TRUE(PrintedLine("!m_pTarget"));
}

TEST_F(OccluderDeviceTest, AResourceThatCannotBeMadeIsNamedAndTheTestThenDoesNothing) {
    struct Case {
        const char* name;
        std::function<void()> fail;
        const char* printed;
        bool targetMade;
    };
    const Case cases[] = {
        {"the target", [this] { d_.dev->FailTextureCreation(1); },
         "Unable to create R32F depth map for render occluder", false},
        // A colour format is no depth format.
        {"the depth surface", [] { g_DepthStencilFormat = gfx::Format::R32F; },
         "Unable to create depth/stencil surface for render occluder", true},
    };
    RecalculateOccluders = false;
    RecalculateCamera = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_RenderOccluder.Destroy();
        c.fail();
        MarkConsole();
        g_RenderOccluder.Init();
        d_.dev->FailTextureCreation(0);
        g_DepthStencilFormat = gfx::Format::D24X8;
        EXPECT_TRUE(PrintedLine(c.printed));
        EXPECT_EQ(g_RenderOccluder.m_pTarget != nullptr, c.targetMade);
        EXPECT_EQ(g_RenderOccluder.m_pDepthSurface, nullptr);
        EXPECT_EQ(g_RenderOccluder.m_pCalculateSurface, nullptr) << "the later steps are not made";
        EXPECT_FALSE(g_RenderOccluder.IsCreated());
        // Off, the test would count everything seen: it does not run at all.
        ClearMarks();
        g_RenderOccluder.Render();
        EXPECT_FALSE(g_Engine.Object(0)->bSeen || g_Engine.Object(2)->bSeen);
    }
}

// ---- The drawing steps with the "ambient" effect of the data -----------------------------------

// The eye at the height of the crates' middle, looking along +z at a crate
// 200 units away (slot 1) and another 400 away behind it (slot 2); the
// crate of slot 0 and the skinned mesh are out of view.
class OccluderPassTest : public OccluderDeviceTest {
  protected:
    void SetUp() override {
        OccluderDeviceTest::SetUp();
        d_.dev->CreateVertexDeclaration(mesh::kStaticMeshElements, &g_pVertexDeclarations[0]);
        d_.dev->CreateVertexDeclaration(mesh::kSkinnedMeshElements, &g_pVertexDeclarations[1]);
        const std::string path = std::string(ZT_SOURCE_DIR) + "/data/fx/ambient.fxc";
        EffectRecord* record = g_EffectMgr.CreateEffect("ambient", path.c_str());
        ASSERT_TRUE(record && record->pEffect) << path;
        effect_ = new CountingEffect(record->pEffect);
        record->pEffect = effect_;
        // The crates again, their geometry made on the device this time.
        g_Engine.DeleteObject(g_Engine.Object(0));
        g_Engine.DeleteObject(g_Engine.Object(2));
        g_MeshMgr.ReleaseAll();
        ASSERT_EQ(Make(OT_MESH)->iIndex, 0);
        front_ = Make(OT_MESH, {0, 0, 200});
        behind_ = Make(OT_MESH, {0, 0, 400});
        ASSERT_TRUE(front_ && behind_);
        ASSERT_EQ(front_->iIndex, 1);
        ASSERT_EQ(behind_->iIndex, 2);
        skinned_ = g_Engine.Object(3400);
        for (int slot : {0, 1, 2, 3400})
            g_Engine.Object(slot)->bVisibleNow = 0;
        front_->bVisibleNow = behind_->bVisibleNow = 1;
        crate_ = g_Renderer.GetTexture(front_->Mesh()->m_dwTextureId[0]);
        ASSERT_NE(crate_, nullptr);
        ASSERT_NE(crate_->pSkinMeshes, nullptr) << "the skinned mesh wears the crate texture too";
        orientation o;
        o.SetDirection(math::Vec3{0, 0, 1});
        g_Camera.SetPosition({0, 32, 0});
        g_Camera.SetOrientation(o);
        g_Camera.UpdateViewMatrix();
        g_Camera.SetProjection();
        RecalculateOccluders = RecalculateCamera = DrawModels = true;
    }
    void TearDown() override {
        crate_->desc = TextureDescription();
        crate_->bDoNotRender = 0;
        g_EffectMgr.Destroy();
        for (gfx::VertexDeclaration*& decl : g_pVertexDeclarations) {
            if (decl) decl->Release();
            decl = nullptr;
        }
        OccluderDeviceTest::TearDown();
        g_Engine.m_bQuit = 0;
    }

    // The occlusion index each draw uploaded.
    std::vector<float> UploadedIndices() const {
        std::vector<float> out;
        for (const std::vector<float>& v : effect_->Of("g_fOcclusionData"))
            out.push_back(v.at(0));
        return out;
    }

    CountingEffect* effect_ = nullptr;
    ObjectRecord* front_ = nullptr;
    ObjectRecord* behind_ = nullptr;
    ObjectRecord* skinned_ = nullptr;
    strtexture* crate_ = nullptr;
};

struct MeshDrawCase {
    const char* name;
    std::function<void(strtexture*)> describe;
    std::function<void(ObjectRecord*)> change;
    bool drawn;
    // The marks after the drawing step: unchanged from all set, cleared, or
    // set for the subset alone without drawing.
    enum { Kept, Cleared, SubsetSeen } marks;
};

TEST_F(OccluderPassTest, StaticMeshesDrawTheirSolidSubsetsAndMarkTheSeeThroughOnesSeen) {
    const MeshDrawCase cases[] = {
        {"a solid subset in view", {}, {}, true, MeshDrawCase::Cleared},
        {"transparent", [](strtexture* t) { t->desc.bTransparent = 1; }, {}, false, MeshDrawCase::SubsetSeen},
        {"translucent", [](strtexture* t) { t->desc.bTranslucent = 1; }, {}, false, MeshDrawCase::SubsetSeen},
        {"additive", [](strtexture* t) { t->desc.bAdditive = 1; }, {}, false, MeshDrawCase::SubsetSeen},
        {"stain", [](strtexture* t) { t->desc.bStain = 1; }, {}, false, MeshDrawCase::SubsetSeen},
        {"ray of light", [](strtexture* t) { t->desc.bRayOfLight = 1; }, {}, false, MeshDrawCase::SubsetSeen},
        {"do not render", [](strtexture* t) { t->bDoNotRender = 1; }, {}, false, MeshDrawCase::SubsetSeen},
        {"out of view", {}, [](ObjectRecord* h) { h->bVisibleNow = 0; }, false, MeshDrawCase::Cleared},
        {"no drawable mesh",
         {},
         [](ObjectRecord* h) { h->pD3DXMesh = nullptr; },
         false,
         MeshDrawCase::Cleared},
        {"always seen",
         {},
         [](ObjectRecord* h) { h->dwFlags |= ERenderOccluder::FLAG_ALWAYS_SEEN; },
         false,
         MeshDrawCase::Kept},
    };
    behind_->bVisibleNow = 0;
    for (const MeshDrawCase& c : cases) {
        SCOPED_TRACE(c.name);
        crate_->desc = TextureDescription();
        crate_->bDoNotRender = 0;
        if (c.describe) c.describe(crate_);
        mesh::Mesh* drawable = front_->pD3DXMesh;
        const uint32_t flags = front_->dwFlags;
        front_->bVisibleNow = 1;
        if (c.change) c.change(front_);
        // Last frame's marks.
        front_->bSeen = 1;
        std::memset(front_->bSubsetDraw, 1, sizeof front_->bSubsetDraw);
        effect_->uploads.clear();
        g_RenderOccluder.RenderMeshes();
        EXPECT_EQ(UploadedIndices(), c.drawn ? std::vector<float>{float(Index(1, 0))} : std::vector<float>{});
        switch (c.marks) {
        case MeshDrawCase::Kept:
            EXPECT_TRUE(FullySeen(1));
            break;
        case MeshDrawCase::Cleared:
            EXPECT_FALSE(front_->bSeen || front_->bSubsetDraw[0] || front_->bSubsetDraw[1]);
            break;
        case MeshDrawCase::SubsetSeen:
            EXPECT_TRUE(front_->bSeen && front_->bSubsetDraw[0]);
            EXPECT_FALSE(front_->bSubsetDraw[1]) << "the other subsets' marks are cleared";
            break;
        }
        front_->pD3DXMesh = drawable;
        front_->dwFlags = flags;
    }
}

struct SkinDrawCase {
    const char* name;
    std::function<void(strtexture*)> describe;
    std::function<void(ObjectRecord*)> change;
    bool drawn;
    bool seen;             // the seen byte after the step (it starts clear)
    float increase = 1.0f; // g_fVertIncrease of the draw
};

TEST_F(OccluderPassTest, SkinnedMeshesInViewDrawInflatedByDistanceAndOthersNeitherDrawNorMark) {
    const SkinDrawCase cases[] = {
        {"near", {}, {}, true, false, 1.0f},
        {"at 2048 units", {}, [](ObjectRecord* h) { h->iCameraDistance = 2048; }, true, false, 1.0f},
        {"beyond 2048 units", {}, [](ObjectRecord* h) { h->iCameraDistance = 2049; }, true, false, 32.0f},
        {"of kind 256", {}, [](ObjectRecord* h) { h->dwKindFlags = 0x100; }, true, false, 0.1f},
        {"of kind 256 beyond 2048 units",
         {},
         [](ObjectRecord* h) {
             h->dwKindFlags = 0x100;
             h->iCameraDistance = 5000;
         },
         true,
         false,
         32.0f},
        {"of another kind with bit 256",
         {},
         [](ObjectRecord* h) { h->dwKindFlags = 0x101; },
         true,
         false,
         1.0f},
        {"transparent", [](strtexture* t) { t->desc.bTransparent = 1; }, {}, false, true},
        {"translucent", [](strtexture* t) { t->desc.bTranslucent = 1; }, {}, false, true},
        {"additive", [](strtexture* t) { t->desc.bAdditive = 1; }, {}, false, true},
        {"stain", [](strtexture* t) { t->desc.bStain = 1; }, {}, false, true},
        // A character out of view would hide what stands behind it.
        {"out of view", {}, [](ObjectRecord* h) { h->bVisibleNow = 0; }, false, false},
        {"out of view, transparent", [](strtexture* t) { t->desc.bTransparent = 1; },
         [](ObjectRecord* h) { h->bVisibleNow = 0; }, false, false},
        {"always seen",
         {},
         [](ObjectRecord* h) { h->dwFlags |= ERenderOccluder::FLAG_ALWAYS_SEEN; },
         false,
         false},
    };
    front_->bVisibleNow = behind_->bVisibleNow = 0;
    ESkinMesh* skin = skinned_->SkinMesh();
    ASSERT_NE(skin, nullptr);
    for (const SkinDrawCase& c : cases) {
        SCOPED_TRACE(c.name);
        crate_->desc = TextureDescription();
        if (c.describe) c.describe(crate_);
        const uint32_t flags = skinned_->dwFlags;
        skinned_->bVisibleNow = 1;
        skinned_->bSeen = 0;
        skinned_->iCameraDistance = 100;
        skinned_->dwKindFlags = 0;
        if (c.change) c.change(skinned_);
        effect_->uploads.clear();
        const uint32_t before = skin->m_dwRenderCalls;
        g_RenderOccluder.RenderSkinmeshes();
        EXPECT_EQ(skin->m_dwRenderCalls - before, c.drawn ? 1u : 0u);
        EXPECT_EQ(bool(skinned_->bSeen), c.seen);
        if (c.drawn) {
            EXPECT_EQ(UploadedIndices(), std::vector<float>{float(Index(3400, 0))}) << "subset 0";
            EXPECT_EQ(effect_->Of("g_fVertIncrease"), std::vector<std::vector<float>>{{c.increase}});
            EXPECT_EQ(skin->m_dwLastRenderTexture, crate_->id);
            EXPECT_EQ(skin->m_pLastRenderEffect, g_EffectMgr.FindEffect("ambient"));
        } else {
            EXPECT_TRUE(UploadedIndices().empty());
        }
        skinned_->dwFlags = flags;
    }
}

// The whole test on the device: the front crate is seen, the one behind it
// is hidden, and neither the background nor what the target held before
// marks anything. The clear writes -1.0 and leaves out the stencil, which
// the depth surface (D24X8) does not have: a clear that asked for it would
// fail and leave last frame's values in the target.
TEST_F(OccluderPassTest, ARealOcclusionRenderSeesTheFrontCrateAndNothingBehindItOrAroundIt) {
    // Last frame's picture: the hidden crate over the upper left quarter.
    DrawIndices({{-1.0f, float(Index(2, 0))}});
    MarkConsole();
    g_RenderOccluder.Render();
    EXPECT_TRUE(Marked({1, 0})) << "the front crate";
    EXPECT_FALSE(behind_->bSeen) << "the crate behind it";
    EXPECT_FALSE(g_Engine.Object(0)->bSeen) << "the background names no object";
    EXPECT_FALSE(Printed("Za duzy idx"));
    EXPECT_FALSE(g_RenderOccluder.IsIndexMarked(Index(0, 1)));
    gfx::LockedRect r;
    ASSERT_EQ(g_RenderOccluder.m_pCalculateSurface->LockRect(&r, nullptr, gfx::lock::ReadOnly),
              gfx::Result::Ok);
    auto at = [&](uint32_t x, uint32_t y) {
        return reinterpret_cast<const float*>(static_cast<const uint8_t*>(r.pBits) + size_t(y) * r.Pitch)[x];
    };
    EXPECT_EQ(at(kSize / 2, kSize / 2), float(Index(1, 0))) << "the middle shows the front crate";
    EXPECT_EQ(at(10, 10), ERenderOccluder::CLEAR_VALUE) << "last frame's value is cleared";
    EXPECT_EQ(at(kSize - 1, kSize - 1), ERenderOccluder::CLEAR_VALUE);
    g_RenderOccluder.m_pCalculateSurface->UnlockRect();
}

} // namespace
