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
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "render/RenderOccluder.h"
#include "tests/EffectDevice.h"
#include "tests/world/WorldFixture.h"
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

TEST_F(OccluderDeviceTest, WithOccludersOffEverythingBelowTheSkinnedHighWaterIsSeen) {
    RecalculateOccluders = false;
    RecalculateCamera = true;
    g_RenderOccluder.Render();
    for (int slot : {0, 1, 2, 3399, 3400})
        EXPECT_TRUE(FullySeen(slot)) << slot;
    EXPECT_FALSE(g_Engine.Object(g_Engine.m_iSkinMeshHighWater)->bSeen)
        << "beyond the skinned high-water mark";

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

} // namespace
