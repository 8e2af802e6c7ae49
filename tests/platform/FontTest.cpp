#include <gtest/gtest.h>
#include <iconv.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/font/Font.h"

namespace {

// glibc's converter is the independent reference for the code page.
TEST(Cp1250, EveryDefinedByteMatchesIconv) {
    iconv_t cd = iconv_open("UTF-32LE", "CP1250");
    ASSERT_NE(cd, iconv_t(-1));
    int checked = 0;
    for (int c = 1; c < 256; ++c) {
        char in = char(c);
        char32_t out = 0;
        char* inp = &in;
        char* outp = reinterpret_cast<char*>(&out);
        size_t inLeft = 1, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1)) {
            // Undefined in the code page: the byte stands for itself.
            EXPECT_EQ(font::Cp1250ToUnicode(uint8_t(c)), char32_t(c)) << "byte " << c;
            continue;
        }
        EXPECT_EQ(font::Cp1250ToUnicode(uint8_t(c)), out) << "byte " << c;
        ++checked;
    }
    iconv_close(cd);
    EXPECT_GT(checked, 240);
}

TEST(Cp1250, PolishLetters) {
    struct Case {
        uint8_t byte;
        char32_t unicode;
    } cases[] = {
        {0xA5, U'Ą'}, {0xC6, U'Ć'}, {0xCA, U'Ę'}, {0xA3, U'Ł'}, {0xD1, U'Ń'}, {0xD3, U'Ó'},
        {0x8C, U'Ś'}, {0x8F, U'Ź'}, {0xAF, U'Ż'}, {0xB9, U'ą'}, {0xE6, U'ć'}, {0xEA, U'ę'},
        {0xB3, U'ł'}, {0xF1, U'ń'}, {0xF3, U'ó'}, {0x9C, U'ś'}, {0x9F, U'ź'}, {0xBF, U'ż'},
    };
    for (const Case& c : cases)
        EXPECT_EQ(font::Cp1250ToUnicode(c.byte), c.unicode) << int(c.byte);
}

// The three families the game asks for, each at the heights it uses.
struct FaceCase {
    const char* family;
    int height;
};
const FaceCase kFaces[] = {{"Tahoma", 18}, {"Tahoma", 25}, {"Trebuchet MS", 32}, {"Palatino linotype", 32}};

// Polish text in code page 1250: "Zażółć gęślą jaźń ĄĆĘŁŃÓŚŹŻ".
const char kPolish[] = "Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1 \xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF";

class FaceTest : public ::testing::TestWithParam<FaceCase> {};

TEST_P(FaceTest, FoundAndSizedAsAsked) {
    const FaceCase& c = GetParam();
    const std::string file = font::FindFaceFile(c.family, 500);
    ASSERT_FALSE(file.empty()) << c.family;
    EXPECT_TRUE(std::filesystem::exists(file)) << file;
    std::unique_ptr<font::Face> face = font::Face::Create(c.family, c.height, 500);
    ASSERT_TRUE(face) << c.family;
    EXPECT_EQ(face->File(), file);
    EXPECT_EQ(face->PixelHeight(), c.height);
    EXPECT_GE(face->LineHeight(), c.height);
    EXPECT_LE(face->LineHeight(), c.height + c.height / 4);
    // A capital's ink lies between the line's top and its baseline.
    const font::Glyph& h = face->GlyphOf('H');
    EXPECT_GT(h.h, c.height / 2);
    EXPECT_GE(h.top, 0);
    EXPECT_LE(h.top + h.h, face->Ascent() + 1);
}

TEST_P(FaceTest, EveryPolishLetterHasInk) {
    std::unique_ptr<font::Face> face = font::Face::Create(GetParam().family, GetParam().height, 500);
    ASSERT_TRUE(face);
    for (const char* p = kPolish; *p; ++p) {
        if (*p == ' ') continue;
        const font::Glyph& g = face->GlyphOf(uint8_t(*p));
        EXPECT_GT(g.w * g.h, 0) << "byte " << int(uint8_t(*p));
        EXPECT_GT(g.advance, 0) << "byte " << int(uint8_t(*p));
        // The accented capitals reach above the plain ones.
    }
    EXPECT_LT(face->GlyphOf(0xA3).top + 0, face->GlyphOf('a').top); // 'Ł' starts higher than 'a'
}

TEST_P(FaceTest, WidthIsTheSumOfAdvancesOfTheWidestLine) {
    std::unique_ptr<font::Face> face = font::Face::Create(GetParam().family, GetParam().height, 500);
    ASSERT_TRUE(face);
    const int a = face->GlyphOf('a').advance, w = face->GlyphOf('W').advance, sp = face->GlyphOf(' ').advance;
    EXPECT_GT(sp, 0);
    struct Case {
        const char* text;
        int width;
        int lines;
    } cases[] = {
        {"", 0, 0},
        {"a", a, 1},
        {"aWa", 2 * a + w, 1},
        {"a a", 2 * a + sp, 1},
        {"aW\na", a + w, 2},
        {"a\naWW", a + 2 * w, 2},
        {"\x01\x02", 0, 1}, // controls take no room
    };
    for (const Case& c : cases) {
        int width = -1, height = -1;
        face->Measure(c.text, &width, &height);
        EXPECT_EQ(width, c.width) << c.text;
        EXPECT_EQ(height, c.lines * face->LineHeight()) << c.text;
    }
    int width = -1, height = -1;
    face->Measure(nullptr, &width, &height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
}

TEST_P(FaceTest, DrawnInkStaysInsideTheMeasuredBox) {
    std::unique_ptr<font::Face> face = font::Face::Create(GetParam().family, GetParam().height, 500);
    ASSERT_TRUE(face);
    int tw = 0, th = 0;
    face->Measure(kPolish, &tw, &th);
    image::Image img;
    img.width = uint32_t(tw + 40);
    img.height = uint32_t(th + 40);
    img.pixels.assign(size_t(img.width) * img.height, 0xFF000000);
    face->Draw(img, 20, 20, kPolish, 0xFFFFFFFF);
    int lit = 0, minX = 1 << 30, maxX = -1, minY = 1 << 30, maxY = -1;
    for (uint32_t y = 0; y < img.height; ++y) {
        for (uint32_t x = 0; x < img.width; ++x) {
            const uint32_t p = img.At(x, y);
            EXPECT_EQ(p >> 24, 0xFFu);
            // White over black: grey levels only.
            EXPECT_EQ((p >> 16) & 0xFF, p & 0xFF);
            if ((p & 0xFF) > 128) {
                ++lit;
                minX = std::min(minX, int(x));
                maxX = std::max(maxX, int(x));
                minY = std::min(minY, int(y));
                maxY = std::max(maxY, int(y));
            }
        }
    }
    EXPECT_GT(lit, 200);
    EXPECT_GE(minX, 20 - 2);
    EXPECT_LE(maxX, 20 + tw + 1);
    EXPECT_GE(minY, 20);
    EXPECT_LE(maxY, 20 + th);
    // The ink spans most of the measured width (the text ends in a capital).
    EXPECT_GT(maxX - 20, tw * 9 / 10);
}

TEST_P(FaceTest, AtlasHoldsEachGlyphsCoverage) {
    std::unique_ptr<font::Face> face = font::Face::Create(GetParam().family, GetParam().height, 500);
    ASSERT_TRUE(face);
    const image::Image atlas = face->AtlasImage();
    ASSERT_EQ(atlas.width, uint32_t(face->AtlasWidth()));
    ASSERT_EQ(atlas.height, uint32_t(face->AtlasHeight()));
    for (int c = 0; c < 256; ++c) {
        const font::Glyph& g = face->GlyphOf(uint8_t(c));
        if (g.w == 0) continue;
        ASSERT_LE(g.x + g.w, face->AtlasWidth());
        ASSERT_LE(g.y + g.h, face->AtlasHeight());
        uint32_t sum = 0;
        for (int y = 0; y < g.h; ++y) {
            for (int x = 0; x < g.w; ++x) {
                sum += face->Atlas()[size_t(g.y + y) * face->AtlasWidth() + g.x + x];
                EXPECT_EQ(atlas.At(uint32_t(g.x + x), uint32_t(g.y + y)) & 0xFFFFFF, 0xFFFFFFu);
            }
        }
        EXPECT_GT(sum, 0u) << "glyph " << c;
    }
    EXPECT_EQ(face->GlyphOf(0).w, 0);
    EXPECT_EQ(face->GlyphOf(0).advance, 0);
}

INSTANTIATE_TEST_SUITE_P(GameFaces, FaceTest, ::testing::ValuesIn(kFaces), [](const auto& info) {
    std::string n = std::string(info.param.family) + std::to_string(info.param.height);
    for (char& ch : n) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    }
    return n;
});

TEST(Face, DrawingOffThePictureIsClipped) {
    std::unique_ptr<font::Face> face = font::Face::Create("Tahoma", 18);
    ASSERT_TRUE(face);
    image::Image img;
    img.width = 8;
    img.height = 8;
    img.pixels.assign(64, 0);
    for (int x : {-30, -5, 3, 7}) {
        for (int y : {-20, -4, 5})
            face->Draw(img, x, y, "WWW", 0xFFFFFFFF);
    }
    // Half-transparent colour: the coverage is scaled by the colour's alpha.
    auto brightest = [&](uint32_t color) {
        image::Image img2;
        img2.width = 40;
        img2.height = 30;
        img2.pixels.assign(1200, 0xFF000000);
        face->Draw(img2, 2, 2, "I", color);
        uint32_t most = 0;
        for (uint32_t p : img2.pixels)
            most = std::max(most, p & 0xFF);
        return most;
    };
    const uint32_t full = brightest(0xFFFFFFFF), half = brightest(0x80FFFFFF);
    EXPECT_GT(full, 100u);
    EXPECT_NEAR(double(half), full * 128.0 / 255.0, 1.5);
    EXPECT_FALSE(font::Face::Create("Tahoma", 0));
}

} // namespace
