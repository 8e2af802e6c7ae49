// Stretched copies between render targets on the real device headless:
// a linear copy blends neighbouring texels where a point copy repeats them,
// a rectangle lands where it is asked with the top row on top, the caller's
// target stays current, and wrong uses are refused.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/gfx/Draw.h"
#include "tests/EffectDevice.h"

namespace {

using gfx::Rect;
using gfx::Result;
using gfx::TextureFilter;

class GfxStretchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(d_.dev, nullptr);
        dev_ = d_.dev;
        dev_->GetRenderTarget(0, &backBuffer_);
    }
    void TearDown() override {
        if (backBuffer_) dev_->SetRenderTarget(0, backBuffer_);
        for (gfx::Resource* r : owned_)
            r->Release();
        if (backBuffer_) backBuffer_->Release();
    }

    // A render target of w x h, its level surface returned.
    gfx::Surface* Target(uint32_t w, uint32_t h) {
        gfx::Texture* t = nullptr;
        EXPECT_EQ(dev_->CreateTexture(w, h, 1, gfx::usage::RenderTarget, gfx::Format::A8R8G8B8,
                                      gfx::Pool::Default, &t),
                  Result::Ok);
        gfx::Surface* s = nullptr;
        if (t) t->GetSurfaceLevel(0, &s);
        owned_.push_back(t);
        owned_.push_back(s);
        return s;
    }

    // Fills one rectangle of a target with a colour.
    void Fill(gfx::Surface* s, const Rect& r, uint32_t argb) {
        dev_->SetRenderTarget(0, s);
        dev_->Clear(1, &r, gfx::clear::Target, argb, 1.0f, 0);
        dev_->SetRenderTarget(0, backBuffer_);
    }

    // The target's pixels as ARGB, top row first.
    std::vector<uint32_t> Read(gfx::Surface* s) {
        gfx::Surface* memory = nullptr;
        dev_->CreateOffscreenPlainSurface(s->Width(), s->Height(), gfx::Format::A8R8G8B8,
                                          gfx::Pool::SystemMem, &memory);
        std::vector<uint32_t> out(size_t(s->Width()) * s->Height(), 0);
        EXPECT_EQ(dev_->GetRenderTargetData(s, memory), Result::Ok);
        gfx::LockedRect lr;
        memory->LockRect(&lr, nullptr, gfx::lock::ReadOnly);
        for (uint32_t y = 0; y < s->Height(); ++y)
            for (uint32_t x = 0; x < s->Width(); ++x)
                out[y * s->Width() + x] = static_cast<const uint32_t*>(static_cast<const void*>(
                    static_cast<const uint8_t*>(lr.pBits) + size_t(y) * lr.Pitch))[x];
        memory->UnlockRect();
        memory->Release();
        return out;
    }

    static int Red(uint32_t argb) { return int((argb >> 16) & 0xFF); }

    EffectDevice d_;
    gfx::Device* dev_ = nullptr;
    gfx::Surface* backBuffer_ = nullptr;
    std::vector<gfx::Resource*> owned_;
};

// Two columns, red 0 and 255, copied to four: the point copy repeats each
// texel twice, the linear one ramps between them at the quarter points.
TEST_F(GfxStretchTest, LinearCopiesBlendWherePointCopiesRepeat) {
    gfx::Surface* small = Target(2, 2);
    Fill(small, {0, 0, 1, 2}, 0xFF000000);
    Fill(small, {1, 0, 2, 2}, 0xFFFF0000);
    struct Case {
        TextureFilter filter;
        int expected[4];
    } cases[] = {
        {TextureFilter::Point, {0, 0, 255, 255}},
        {TextureFilter::Linear, {0, 64, 191, 255}},
    };
    for (const Case& c : cases) {
        gfx::Surface* big = Target(4, 2);
        ASSERT_EQ(dev_->StretchRect(small, nullptr, big, nullptr, c.filter), Result::Ok);
        const std::vector<uint32_t> px = Read(big);
        for (int x = 0; x < 4; ++x) {
            EXPECT_NEAR(Red(px[x]), c.expected[x], 2) << "column " << x << " filter " << int(c.filter);
            EXPECT_EQ(px[x], px[4 + x]) << "both rows alike";
        }
    }
}

// Halving with the linear filter averages each 2 x 2 block.
TEST_F(GfxStretchTest, ALinearHalfSizeCopyAveragesEachBlock) {
    gfx::Surface* big = Target(4, 4);
    Fill(big, {0, 0, 4, 4}, 0xFF000000);
    Fill(big, {0, 0, 1, 1}, 0xFFFF0000); // one texel of four in the top-left block
    Fill(big, {2, 2, 4, 4}, 0xFFFF0000); // a whole bottom-right block
    gfx::Surface* half = Target(2, 2);
    ASSERT_EQ(dev_->StretchRect(big, nullptr, half, nullptr, TextureFilter::Linear), Result::Ok);
    const std::vector<uint32_t> px = Read(half);
    EXPECT_NEAR(Red(px[0]), 64, 2);
    EXPECT_EQ(Red(px[1]), 0);
    EXPECT_EQ(Red(px[2]), 0);
    EXPECT_EQ(Red(px[3]), 255);
}

// The whole source into the top-left quarter of a larger target: the top row
// stays on top, the rest of the target is untouched, and the target the
// caller had set stays current.
TEST_F(GfxStretchTest, ARectangleLandsWhereAskedTopRowOnTop) {
    gfx::Surface* source = Target(2, 2);
    Fill(source, {0, 0, 2, 1}, 0xFFFF0000);
    Fill(source, {0, 1, 2, 2}, 0xFF0000FF);
    gfx::Surface* dest = Target(4, 4);
    Fill(dest, {0, 0, 4, 4}, 0xFF00FF00);
    gfx::Surface* current = Target(2, 2);
    dev_->SetRenderTarget(0, current);
    const Rect quarter{0, 0, 2, 2};
    ASSERT_EQ(dev_->StretchRect(source, nullptr, dest, &quarter, TextureFilter::Point), Result::Ok);
    gfx::Surface* after = nullptr;
    dev_->GetRenderTarget(0, &after);
    EXPECT_EQ(after, current);
    after->Release();
    dev_->Clear(0, nullptr, gfx::clear::Target, 0xFF123456, 1.0f, 0);
    EXPECT_EQ(Read(current)[0] & 0xFFFFFF, 0x123456u) << "clears still go to the caller's target";
    dev_->SetRenderTarget(0, backBuffer_);

    const std::vector<uint32_t> px = Read(dest);
    EXPECT_EQ(px[0] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(px[1 * 4 + 1] & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(px[0 * 4 + 3] & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(px[3 * 4 + 0] & 0xFFFFFF, 0x00FF00u);
}

TEST_F(GfxStretchTest, WrongUsesAreRefused) {
    gfx::Surface* a = Target(4, 4);
    gfx::Surface* b = Target(2, 2);
    gfx::Texture* plain = nullptr;
    ASSERT_EQ(dev_->CreateTexture(4, 4, 1, 0, gfx::Format::A8R8G8B8, gfx::Pool::Managed, &plain), Result::Ok);
    gfx::Surface* plainLevel = nullptr;
    plain->GetSurfaceLevel(0, &plainLevel);
    owned_.push_back(plain);
    owned_.push_back(plainLevel);
    const Rect outside{2, 2, 5, 4}, empty{1, 1, 1, 3}, negative{-1, 0, 2, 2};
    struct Case {
        const char* name;
        std::function<Result()> call;
    } cases[] = {
        {"no source", [&] { return dev_->StretchRect(nullptr, nullptr, b, nullptr, TextureFilter::Linear); }},
        {"no destination",
         [&] { return dev_->StretchRect(a, nullptr, nullptr, nullptr, TextureFilter::Linear); }},
        {"a surface onto itself",
         [&] { return dev_->StretchRect(a, nullptr, a, nullptr, TextureFilter::Linear); }},
        {"a source that is no render target",
         [&] { return dev_->StretchRect(plainLevel, nullptr, b, nullptr, TextureFilter::Linear); }},
        {"a destination that is no render target",
         [&] { return dev_->StretchRect(a, nullptr, plainLevel, nullptr, TextureFilter::Linear); }},
        {"a source rectangle past the edge",
         [&] { return dev_->StretchRect(a, &outside, b, nullptr, TextureFilter::Linear); }},
        {"an empty source rectangle",
         [&] { return dev_->StretchRect(a, &empty, b, nullptr, TextureFilter::Linear); }},
        {"a destination rectangle before the edge",
         [&] { return dev_->StretchRect(a, nullptr, b, &negative, TextureFilter::Linear); }},
        {"an anisotropic copy",
         [&] { return dev_->StretchRect(a, nullptr, b, nullptr, TextureFilter::Anisotropic); }},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.call(), Result::InvalidCall) << c.name;
}

} // namespace
