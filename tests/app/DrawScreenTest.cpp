// Screen rectangles, image surfaces and the two kinds of fonts on the real
// device.
#include <cstring>
#include <fstream>

#include "app/ERect.h"
#include "app/Font.h"
#include "app/ImageSurface.h"
#include "app/TTFont.h"
#include "platform/gfx/TextureFiles.h"
#include "platform/image/Image.h"
#include "tests/app/DrawFixture.h"

namespace {

class RectTest : public DrawFixture {};

TEST_F(RectTest, AlphaByteFromAFraction) {
    struct Case {
        float alpha;
        uint32_t top;
    } cases[] = {{1.5f, 255}, {-1.0f, 0}, {0.5f, 127}, {1.0f, 255}, {0.0f, 0}, {0.25f, 63}};
    for (const Case& c : cases) {
        ERect r;
        r.Create("menu_black.tga", 0, 0, 10, 10, 0x12345678);
        ASSERT_TRUE(r.IsCreated());
        r.SetAlpha(c.alpha);
        EXPECT_EQ(r.GetColor(), c.top << 24 | 0x345678u) << c.alpha;
        ScreenVertex v[6];
        ASSERT_TRUE(r.ReadVertices(v));
        for (const ScreenVertex& x : v)
            EXPECT_EQ(x.color, r.GetColor());
    }
}

TEST_F(RectTest, VerticesFormTwoTrianglesOfTheCorners) {
    ERect r;
    r.Create("czarne.tga", 10, 20, 110, 70, 0xFFFFFFFF);
    ScreenVertex v[6];
    ASSERT_TRUE(r.ReadVertices(v));
    const struct {
        float x, y, u, v;
    } expect[6] = {{10, 20, 0, 0},  {10, 70, 0, 1},  {110, 70, 1, 1},
                   {110, 70, 1, 1}, {110, 20, 1, 0}, {10, 20, 0, 0}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(v[i].x, expect[i].x) << i;
        EXPECT_EQ(v[i].y, expect[i].y) << i;
        EXPECT_EQ(v[i].u, expect[i].u) << i;
        EXPECT_EQ(v[i].v, expect[i].v) << i;
        EXPECT_EQ(v[i].z, 1.0f);
        EXPECT_EQ(v[i].rhw, 1.0f);
    }
    // A free quad: (top-left, bottom-right, bottom-left), (top-left, top-right, bottom-right).
    r.SetQuad(0, 0, 8, 1, 9, 9, 1, 8, 0.25f, 0.75f, 0.1f, 0.9f, 0.5f);
    ASSERT_TRUE(r.ReadVertices(v));
    const struct {
        float x, y, u, v;
    } quad[6] = {{0, 0, 0.25f, 0.1f}, {9, 9, 0.75f, 0.9f}, {1, 8, 0.25f, 0.9f},
                 {0, 0, 0.25f, 0.1f}, {8, 1, 0.75f, 0.1f}, {9, 9, 0.75f, 0.9f}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(v[i].x, quad[i].x) << i;
        EXPECT_EQ(v[i].y, quad[i].y) << i;
        EXPECT_EQ(v[i].u, quad[i].u) << i;
        EXPECT_EQ(v[i].v, quad[i].v) << i;
        EXPECT_EQ(v[i].z, 0.5f);
        EXPECT_EQ(v[i].rhw, 0.5f);
    }
}

TEST_F(RectTest, CallsBeforeCreateAndUnknownTextures) {
    ERect r;
    r.SetRect(1, 2, 3, 4);
    EXPECT_EQ(r.Right(), 0.0f);
    r.SetColor(0xFF00FF00);
    EXPECT_EQ(r.GetColor(), 0xFF00FF00u);
    r.Create("menu_black.tga", 0, 0, 4, 4, 0x80000000);
    EXPECT_EQ(r.GetColor(), 0x80000000u);
    EXPECT_NE(r.GetTextureId(), 0u);

    ERect missing;
    missing.Create("no_such_texture.tga", 0, 0, 100, 100, 0xFFFFFFFF);
    EXPECT_FALSE(missing.IsCreated());
    EXPECT_NE(ReadFile("!error.txt").find("no_such_texture.tga\nTexture does not exist!\n"),
              std::string::npos);
    Clear(0xFF102030);
    missing.BeginRender2D(false);
    missing.Render(true);
    missing.EndRender2D();
    missing.RenderStandalone(true, true);
    EXPECT_EQ(Screenshot("rect_missing")[50 * width_ + 50], 0xFF102030u);
    // A second Create releases the first buffer and takes the new texture.
    r.Create("czarne.tga", 0, 0, 4, 4, 0xFFFFFFFF);
    EXPECT_TRUE(r.IsCreated());
    r.Release();
    EXPECT_FALSE(r.IsCreated());
}

TEST_F(RectTest, DimmingLayerAndMirroredQuadsDraw) {
    Clear(0xFFFFFFFF);
    ERect dim;
    dim.Create("menu_black.tga", 0, 0, float(width_), float(height_), 0x80000000);
    dim.BeginRender2D(false);
    dim.Render(true);
    // Right < left: a mirrored quad, drawn all the same.
    ERect mirrored;
    mirrored.Create("hud_progress_bar.tga", 300, 100, 200, 150, 0xFFFF0000);
    mirrored.Render(true);
    dim.EndRender2D();
    const std::vector<uint32_t> px = Screenshot("rect_dim");
    // Half-transparent black over white.
    EXPECT_NEAR(Red(px[400 * width_ + 600]), 127, 2);
    EXPECT_NEAR(Blue(px[400 * width_ + 600]), 127, 2);
    // The red bar, tinted over the dimmed screen, covers x 200..299.
    const uint32_t bar = px[124 * width_ + 250];
    EXPECT_GT(Red(bar), 150);
    EXPECT_LT(Green(bar), 40);
    EXPECT_EQ(px[124 * width_ + 199], px[400 * width_ + 600]);
}

TEST_F(RectTest, RenderStatesAreSavedAndRestored) {
    using gfx::RenderState;
    dev_->SetRenderState(RenderState::AlphaBlendEnable, 0);
    dev_->SetRenderState(RenderState::SrcBlend, gfx::StateValue(gfx::Blend::DestColor));
    dev_->SetRenderState(RenderState::AlphaRef, 99);
    dev_->SetRenderState(RenderState::ZEnable, 1);
    dev_->SetRenderState(RenderState::CullMode, gfx::StateValue(gfx::Cull::Cw));
    dev_->SetTextureStageState(0, gfx::TextureStageState::ColorArg2, gfx::texarg::TFactor);
    Saved2DStates before;
    before.Save();
    ERect r;
    r.Create("czarne.tga", 0, 0, 10, 10, 0xFFFFFFFF);
    for (bool additive : {false, true}) {
        r.BeginRender2D(additive);
        uint32_t v = 0;
        dev_->GetRenderState(RenderState::DestBlend, &v);
        EXPECT_EQ(v, gfx::StateValue(additive ? gfx::Blend::One : gfx::Blend::InvSrcAlpha));
        dev_->GetTextureStageState(0, gfx::TextureStageState::ColorArg2, &v);
        EXPECT_EQ(v, additive ? gfx::texarg::Current : gfx::texarg::Diffuse);
        dev_->GetRenderState(RenderState::AlphaRef, &v);
        EXPECT_EQ(v, 6u);
        r.Render(true);
        r.EndRender2D();
        Saved2DStates after;
        after.Save();
        EXPECT_EQ(std::memcmp(before.values, after.values, sizeof before.values), 0) << additive;
    }
    r.RenderStandalone(true, false);
    Saved2DStates after;
    after.Save();
    EXPECT_EQ(std::memcmp(before.values, after.values, sizeof before.values), 0);
}

// ---- Image surfaces -----------------------------------------------------------------------

class ImageSurfaceTest : public DrawFixture {};

TEST_F(ImageSurfaceTest, BadNamesAreRefusedAndLogged) {
    for (const char* name : {"misc\\HUD\\hud logo.bmp", "misc/HUD/hud_logo_harn.bmp"}) {
        ImageSurface s;
        EXPECT_EQ(s.Load(name, 64, 64), -1) << name;
        EXPECT_FALSE(s.IsLoaded());
        EXPECT_NE(ReadFile("!error.txt").find(std::string(name) + "\n"), std::string::npos) << name;
    }
    ImageSurface missing;
    EXPECT_EQ(missing.Load("misc\\none.bmp", 64, 64), -1);
}

TEST_F(ImageSurfaceTest, PictureIsScaledToTheAskedSizeAndCopiedUnscaled) {
    ImageSurface s;
    s.Draw(5, 6); // before a load: only the point
    EXPECT_EQ(s.DestX(), 5);
    EXPECT_EQ(s.DestY(), 6);
    ASSERT_EQ(s.Load("misc\\HUD\\hud_logo_harn.bmp", 512, 256), 0);
    EXPECT_EQ(s.SourceRect().right, 512);
    EXPECT_EQ(s.SourceRect().bottom, 256);
    EXPECT_EQ(s.ImageInfo().Width, 512u);
    EXPECT_EQ(s.ImageInfo().Height, 512u);
    Clear(0xFF0000FF);
    s.Draw(100, 200);
    const std::vector<uint32_t> px = Screenshot("image_surface");
    // The logo's corners are black; around it the blue clear colour stays.
    EXPECT_EQ(px[200 * width_ + 100], 0xFF000000u);
    EXPECT_EQ(px[455 * width_ + 611], 0xFF000000u);
    EXPECT_EQ(px[199 * width_ + 100], 0xFF0000FFu);
    EXPECT_EQ(px[456 * width_ + 611], 0xFF0000FFu);
    EXPECT_EQ(px[200 * width_ + 612], 0xFF0000FFu);
    // The gold ring crosses the picture's vertical middle near its top
    // (row 50 of 512, squeezed to 25 of 256).
    const uint32_t ring = px[(200 + 25) * width_ + 100 + 256];
    EXPECT_GT(Red(ring), 150);
    EXPECT_GT(Green(ring), 110);
    EXPECT_LT(Blue(ring), 110);

    ImageSurface full;
    ASSERT_EQ(full.LoadFromFile("misc\\loading\\loading1.bmp", true, 1, 1), 0);
    EXPECT_EQ(full.GetWidth(), width_);
    EXPECT_EQ(full.GetHeight(), height_);
    full.SaveToFile("copy.bmp");
    image::Picture copy;
    std::string error;
    ASSERT_TRUE(image::LoadFile("copy.bmp", &copy, &error)) << error;
    EXPECT_EQ(copy.width, width_);
    EXPECT_EQ(copy.height, height_);
}

// ---- TrueType fonts ---------------------------------------------------------------------------

class TTFontTest : public DrawFixture {
  protected:
    void SetUp() override {
        DrawFixture::SetUp();
        fonts_.Create();
    }
    void TearDown() override {
        fonts_.Release();
        DrawFixture::TearDown();
    }
    // Left-most column with text ink (green channel above 100) in rows y0..y1.
    int FirstInk(const std::vector<uint32_t>& px, int y0, int y1) {
        for (int x = 0; x < int(width_); ++x) {
            for (int y = y0; y < y1; ++y) {
                if (Green(px[size_t(y) * width_ + x]) > 100) return x;
            }
        }
        return -1;
    }
    TTFont fonts_;
};

TEST_F(TTFontTest, HeightsFollowTheScreen) {
    struct Case {
        uint32_t index;
        float scaleY;
        int height;
    } cases[] = {{0, 1.0f, 18}, {0, 1080.0f / 768.0f, 25}, {1, 1.0f, 32}, {2, 2.0f, 32}, {3, 1.0f, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(TTFont::FontHeight(c.index, c.scaleY), c.height) << c.index;
    for (uint32_t i = 0; i < TTFont::MAX_FONTS; ++i)
        EXPECT_EQ(fonts_.IsCreated(i), i < 3) << i;
    EXPECT_EQ(fonts_.CurrentIndex(), 0u);
    EXPECT_EQ(fonts_.CurrentFace()->PixelHeight(), 18);
}

TEST_F(TTFontTest, CentreAndRightMoveTheTextByItsWidth) {
    const char* text = "Hxxxxxxx";
    const int w = fonts_.GetTextWidth(text);
    ASSERT_GT(w, 40);
    struct Case {
        bool centre, right;
        int start;
    } cases[] = {
        {false, false, 500}, {true, false, 500 - w / 2}, {false, true, 500 - w}, {true, true, 500 - w / 2}};
    const int bearing = fonts_.CurrentFace()->GlyphOf('H').left;
    for (const Case& c : cases) {
        Clear(0xFF000000);
        fonts_.DrawText(text, 500.7f, 100.9f, 0xFF00FF00, c.centre, c.right);
        EXPECT_EQ(FirstInk(Screenshot("ttfont_align"), 100, 130), c.start + bearing) << c.centre << c.right;
    }
    fonts_.Release();
    EXPECT_EQ(fonts_.GetTextWidth(text), 0);
    Clear(0xFF000000);
    fonts_.DrawText(text, 500, 100, 0xFF00FF00, false, false);
    EXPECT_EQ(FirstInk(Screenshot("ttfont_released"), 90, 140), -1);
}

TEST_F(TTFontTest, EachFaceWritesPolishTextLegibly) {
    // "Zażółć gęślą jaźń" in code page 1250.
    const char* text = "Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1 \xA3\xD3\x8C\xAF";
    Clear(0xFF000000);
    for (uint32_t i = 0; i < 3; ++i) {
        fonts_.SelectFont(i);
        fonts_.DrawText(text, 20, 40.0f + 60.0f * float(i), 0xFFFFFFFF, false, false);
    }
    fonts_.SelectFont(0);
    const std::vector<uint32_t> px = Screenshot("ttfont_polish");
    for (uint32_t i = 0; i < 3; ++i) {
        fonts_.SelectFont(i);
        const int w = fonts_.GetTextWidth(text);
        const int top = 40 + 60 * int(i);
        const int lit =
            CountPixels(px, width_, 20, top, 20 + w, top + 50, [](uint32_t p) { return Green(p) > 128; });
        EXPECT_GT(lit, w) << "font " << i;
        // Nothing outside the text's box.
        EXPECT_EQ(
            CountPixels(px, width_, 20 + w + 3, top, 1000, top + 50, [](uint32_t p) { return Green(p) > 0; }),
            0)
            << "font " << i;
    }
    fonts_.SelectFont(0);
}

// ---- Bitmap fonts -------------------------------------------------------------------------------

class BitmapFontTest : public DrawFixture {
  protected:
    void SetUp() override {
        DrawFixture::SetUp();
        g_TTFont.Create();
    }
    void TearDown() override {
        font_.Release();
        g_TTFont.Release();
        DrawFixture::TearDown();
    }
    EFont font_;
};

TEST_F(BitmapFontTest, GlyphTablesOfABuiltSlot) {
    font_.EnsureFonts();
    ASSERT_EQ(font_.NumSlots(), 2u);
    const EFont::Slot& s = font_.GetSlot(0);
    EXPECT_TRUE(s.bRendered);
    EXPECT_EQ(s.dwTTFont, 1u);
    EXPECT_EQ(s.dwHeight, 640u);
    EXPECT_FALSE(s.HasGlyph(0));
    EXPECT_EQ(s.u0[0], 2.0f);
    EXPECT_EQ(s.x1[' '] - s.x0[' '], 10u);
    // Row tops step by 40 from 3; each cell's texture rectangle frames its glyph.
    struct Case {
        uint8_t c;
        uint32_t top;
    } cases[] = {{1, 3}, {'A', 3 + 4 * 40}, {0xB9, 3 + 11 * 40}, {255, 3 + 15 * 40}};
    for (const Case& c : cases) {
        EXPECT_EQ(s.top[c.c], c.top) << int(c.c);
        EXPECT_EQ(s.bottom[c.c], c.top + 32) << int(c.c);
        EXPECT_FLOAT_EQ(s.v0[c.c], float(c.top - 2) / 640.0f);
        EXPECT_FLOAT_EQ(s.v1[c.c], float(c.top + 34) / 640.0f);
        EXPECT_FLOAT_EQ(s.u0[c.c], float(s.x0[c.c] - 2) / float(s.dwWidth));
        EXPECT_FLOAT_EQ(s.u1[c.c], float(s.x1[c.c] + 2) / float(s.dwWidth));
        EXPECT_LE(s.x1[c.c], s.dwWidth);
    }
    // Each row's pen moves 4 pixels past the glyph before it.
    EXPECT_EQ(s.x0['B'], s.x1['A'] + 6);
    // A second EnsureFonts builds nothing more.
    font_.EnsureFonts();
    EXPECT_EQ(font_.NumSlots(), 2u);
}

TEST_F(BitmapFontTest, GlowTurnsBrightnessIntoAlpha) {
    image::Image src;
    src.width = 7;
    src.height = 7;
    src.pixels.assign(49, 0xFF000000);
    src.At(3, 3) = 0xFFFFFFFF;
    image::Image out;
    EFont::GlowToAlpha(src, out);
    // S = 255 within two pixels of the lit one: glow = trunc(256 sqrt(28 / 256)) = 84.
    struct Case {
        uint32_t x, y, alpha, rgb;
    } cases[] = {{3, 3, 255, 0xFFFFFF}, {2, 3, 84, 0}, {1, 1, 84, 0},
                 {5, 5, 84, 0},         {0, 3, 0, 0},  {6, 6, 0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(out.At(c.x, c.y) >> 24, c.alpha) << c.x << "," << c.y;
        EXPECT_EQ(out.At(c.x, c.y) & 0xFFFFFF, c.rgb) << c.x << "," << c.y;
    }
    // Grey 90 (b = 90) alone: S div 9 = 10, glow = trunc(256 sqrt(10 / 256)) = 50.
    src.pixels.assign(49, 0xFF000000);
    src.At(0, 0) = 0xFF5A5A5A;
    EFont::GlowToAlpha(src, out);
    EXPECT_EQ(out.At(0, 0) >> 24, 140u);
    EXPECT_EQ(out.At(2, 2) >> 24, 50u);
}

TEST_F(BitmapFontTest, TextWidthAndTextObjects) {
    font_.EnsureFonts();
    const EFont::Slot& s = font_.GetSlot(0);
    // Size 32 at 1024 x 768: each glyph adds its cell width (x1 - x0 + 4) - 4 + 1.
    const int expect = int(s.x1['A'] - s.x0['A']) + 1 + int(s.x1['b'] - s.x0['b']) + 1;
    EXPECT_EQ(font_.GetTextWidth("Ab", 32.0f, 0), expect);
    EXPECT_EQ(font_.GetTextWidth("Ab", 32.0f, 8), 0);
    EXPECT_EQ(font_.GetTextWidth("Ab", 32.0f, 5), 0);
    EXPECT_EQ(font_.GetTextWidth("", 32.0f, 0), 0);
    EXPECT_EQ(font_.GetTextWidth(nullptr, 32.0f, 0), 0);

    EXPECT_EQ(font_.CreateText("x", 0, 0, 0xFFFFFFFF, 18, 8, false, false), nullptr);
    EXPECT_EQ(font_.CreateText("", 0, 0, 0xFFFFFFFF, 18, 0, false, false), nullptr);
    EText* t = font_.CreateText("Hello", 100, 100, 0xFFFFFFFF, 18, 0, true, true);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->dwCount, 5u);
    // Centre wins over right: the text starts half its width left of x.
    ScreenVertex* v = nullptr;
    ASSERT_EQ(t->pVB->Lock(0, 0, reinterpret_cast<void**>(&v), gfx::lock::ReadOnly), gfx::Result::Ok);
    EXPECT_EQ(v[0].x, 100.0f - float(font_.GetTextWidth("Hello", 18, 0) / 2));
    EXPECT_EQ(v[1].y - v[0].y, 18.0f);
    t->pVB->Unlock();
    font_.DeleteText(t);
    font_.DeleteText(nullptr);
    font_.DrawText(nullptr);

    // A slot made but not drawn has no glyphs: its texts hold none.
    EFont bare;
    bare.CreateFont(1);
    EText* empty = bare.CreateText("abc", 0, 0, 0xFFFFFFFF, 18, 0, false, false);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->dwCount, 0u);
    bare.DeleteText(empty);
    bare.Release();
}

TEST_F(BitmapFontTest, PrintedTextIsLegibleInItsRectangle) {
    font_.EnsureFonts();
    Clear(0xFF000000);
    font_.BeginText();
    // "Zażółć gęślą jaźń" in both slots.
    const char* text = "Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1";
    font_.Print(text, 50, 100, 0xFFD9D5BF, 18, 0, false, false);
    font_.Print(text, 50, 200, 0xFFFFFFFF, 32, 1, false, false);
    font_.EndText();
    const std::vector<uint32_t> px = Screenshot("efont_polish");
    for (int slot = 0; slot < 2; ++slot) {
        const float size = slot ? 32.0f : 18.0f;
        const int top = slot ? 200 : 100;
        const int w = font_.GetTextWidth(text, size, uint32_t(slot));
        const int lit = CountPixels(px, width_, 50, top, 50 + w, top + int(size) + 2,
                                    [](uint32_t p) { return Red(p) > 150; });
        EXPECT_GT(lit, w / 2) << slot;
        // Drawing moves the pen a pixel further per glyph than the width counts.
        const int end = 50 + w + int(std::strlen(text)) + 8;
        EXPECT_EQ(CountPixels(px, width_, end, top, 1000, top + 40, [](uint32_t p) { return Red(p) > 0; }), 0)
            << slot;
    }
}

} // namespace

// ---- Textures from files ------------------------------------------------------------------------

namespace {

class TextureFiles : public DrawFixture {};

void Put32(std::string& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(char(v >> (8 * i)));
}

TEST_F(TextureFiles, FileLevelsOrAHalvedChain) {
    // A DDS of 4 x 2 with its own two levels: red, then blue.
    std::string dds = "DDS ";
    const uint32_t header[31] = {124,      0x21007, 2,    4,          0,        0, 2, 0,  0,    0, 0,
                                 0,        0,       0,    0,          0,        0, 0, 32, 0x41, 0, 32,
                                 0xFF0000, 0xFF00,  0xFF, 0xFF000000, 0x401000, 0, 0, 0,  0};
    for (uint32_t v : header)
        Put32(dds, v);
    for (int i = 0; i < 8; ++i)
        Put32(dds, 0xFFFF0000);
    for (int i = 0; i < 2; ++i)
        Put32(dds, 0xFF0000FF);
    std::ofstream(dir_ / "two.dds", std::ios::binary) << dds;
    // A picture without levels: 4 x 4 of black and white columns.
    image::Image stripes;
    stripes.width = stripes.height = 4;
    for (int i = 0; i < 16; ++i)
        stripes.pixels.push_back(i % 2 ? 0xFFFFFFFF : 0xFF000000);
    ASSERT_TRUE(image::SaveBmp("stripes.bmp", stripes));

    struct Case {
        const char* file;
        uint32_t levels;
        uint32_t level1; // the texel at (0, 0) of level 1
    } cases[] = {{"two.dds", 2, 0xFF0000FF}, {"stripes.bmp", 3, 0xFF808080}};
    for (const Case& c : cases) {
        gfx::Texture* t = nullptr;
        gfx::ImageInfo info;
        std::string error;
        ASSERT_EQ(gfx::CreateTextureFromFile(dev_, c.file, {}, &t, &info, &error), gfx::Result::Ok) << error;
        EXPECT_EQ(t->LevelCount(), c.levels) << c.file;
        gfx::LockedRect lr;
        ASSERT_EQ(t->LockRect(1, &lr, nullptr, gfx::lock::ReadOnly), gfx::Result::Ok);
        EXPECT_EQ(*static_cast<uint32_t*>(lr.pBits), c.level1) << c.file;
        t->UnlockRect(1);
        t->Release();
    }
    gfx::Texture* none = nullptr;
    std::string error;
    EXPECT_NE(gfx::CreateTextureFromFile(dev_, "missing.tga", {}, &none, nullptr, &error), gfx::Result::Ok);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(error, "missing.tga: cannot open the file");
}

} // namespace
