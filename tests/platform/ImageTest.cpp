#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "platform/image/Image.h"
#include "platform/os/Os.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}
void Put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

// ---- DDS files made by hand ------------------------------------------------------

struct DdsLayout {
    uint32_t width = 4, height = 4;
    uint32_t mipCount = 0; // 0: no mip-count flag
    const char* fourCC = nullptr;
    uint32_t bits = 32;
    uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    uint32_t pfFlags = 0x41; // RGB | alpha pixels
    uint32_t caps2 = 0;
};

Bytes DdsHeader(const DdsLayout& s) {
    Bytes b = {'D', 'D', 'S', ' '};
    Put32(b, 124);
    Put32(b, 0x1007 | (s.mipCount ? 0x20000 : 0));
    Put32(b, s.height);
    Put32(b, s.width);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, s.mipCount);
    for (int i = 0; i < 11; ++i)
        Put32(b, 0);
    Put32(b, 32);
    if (s.fourCC) {
        Put32(b, 0x4);
        b.insert(b.end(), s.fourCC, s.fourCC + 4);
        for (int i = 0; i < 5; ++i)
            Put32(b, 0);
    } else {
        Put32(b, s.pfFlags);
        Put32(b, 0);
        Put32(b, s.bits);
        for (uint32_t m : s.masks)
            Put32(b, m);
    }
    Put32(b, 0x1000);
    Put32(b, s.caps2);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 0);
    EXPECT_EQ(b.size(), 128u);
    return b;
}

image::Picture DecodeOk(const Bytes& b) {
    image::Picture p;
    std::string error;
    EXPECT_TRUE(image::Decode(b.data(), b.size(), &p, &error)) << error;
    return p;
}

// Colour blocks: 565 end points and 2-bit indexes, texel 0 in the low bits.
Bytes ColourBlock(uint16_t c0, uint16_t c1, uint32_t indexes) {
    Bytes b;
    Put16(b, c0);
    Put16(b, c1);
    Put32(b, indexes);
    return b;
}

TEST(Dds, Dxt1BlocksDecodeBothModes) {
    struct Case {
        const char* name;
        uint16_t c0, c1;
        uint32_t expect[4]; // palette entries 0..3 as ARGB
    } cases[] = {
        // c0 > c1: four colours, thirds between red and blue.
        {"four colours", 0xF800, 0x001F, {0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA}},
        // c0 <= c1: three colours and transparent black.
        {"three colours", 0x001F, 0xF800, {0xFF0000FF, 0xFFFF0000, 0xFF7F007F, 0x00000000}},
    };
    for (const Case& c : cases) {
        DdsLayout s;
        s.fourCC = "DXT1";
        Bytes b = DdsHeader(s);
        // Row y uses palette entry y for all four texels.
        const Bytes block = ColourBlock(c.c0, c.c1, 0x00 | 0x55 << 8 | 0xAA << 16 | 0xFFu << 24);
        b.insert(b.end(), block.begin(), block.end());
        image::Picture p = DecodeOk(b);
        ASSERT_EQ(p.surfaces.size(), 1u) << c.name;
        for (uint32_t y = 0; y < 4; ++y) {
            for (uint32_t x = 0; x < 4; ++x) {
                EXPECT_EQ(p.surfaces[0].At(x, y), c.expect[y]) << c.name << " texel " << x << "," << y;
            }
        }
    }
}

TEST(Dds, Dxt3AndDxt5AlphaBlocks) {
    struct Case {
        const char* name;
        const char* fourCC;
        Bytes alpha;        // 8 bytes of alpha block
        uint32_t expect[4]; // alpha of texels 0..3 of row 0
    } cases[] = {
        {"DXT3 explicit 4-bit", "DXT3", {0x10, 0xF0, 0, 0, 0, 0, 0, 0}, {0x00, 0x11, 0x00, 0xFF}},
        // a0 > a1: 8 levels; indexes 0, 1, 2, 7 -> 255, 0, (6*255)/7, (1*255)/7.
        {"DXT5 eight levels", "DXT5", {255, 0, 0x88, 0x0E, 0, 0, 0, 0}, {255, 0, 218, 36}},
        // a0 <= a1: 6 levels plus 0 and 255; indexes 2, 6, 7, 5 -> (4*0+1*100)/5, 0, 255, 100*4/5.
        {"DXT5 six levels", "DXT5", {0, 100, 0xF2, 0x0B, 0, 0, 0, 0}, {20, 0, 255, 80}},
    };
    for (const Case& c : cases) {
        DdsLayout s;
        s.fourCC = c.fourCC;
        Bytes b = DdsHeader(s);
        b.insert(b.end(), c.alpha.begin(), c.alpha.end());
        // The colour half is always in four-colour mode: c0 < c1 must not make
        // index 3 transparent.
        const Bytes block = ColourBlock(0x001F, 0xF800, 0);
        b.insert(b.end(), block.begin(), block.end());
        image::Picture p = DecodeOk(b);
        ASSERT_EQ(p.surfaces.size(), 1u) << c.name;
        for (uint32_t x = 0; x < 4; ++x) {
            EXPECT_EQ(p.surfaces[0].At(x, 0) >> 24, c.expect[x]) << c.name << " texel " << x;
            EXPECT_EQ(p.surfaces[0].At(x, 0) & 0xFFFFFF, 0x0000FFu) << c.name << " texel " << x;
        }
        EXPECT_TRUE(p.hasAlpha);
    }
}

TEST(Dds, UncompressedLayoutsThroughTheirMasks) {
    struct Case {
        const char* name;
        uint32_t bits;
        uint32_t masks[4];
        uint32_t pfFlags;
        Bytes texel;
        uint32_t expect;
    } cases[] = {
        {"A8R8G8B8", 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 0x41, {0x30, 0x20, 0x10, 0x80}, 0x80102030},
        {"X8R8G8B8 ignores the top byte",
         32,
         {0xFF0000, 0xFF00, 0xFF, 0},
         0x40,
         {0x30, 0x20, 0x10, 0x55},
         0xFF102030},
        {"A8B8G8R8", 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, 0x41, {0x30, 0x20, 0x10, 0x80}, 0x80302010},
        {"R8G8B8", 24, {0xFF0000, 0xFF00, 0xFF, 0}, 0x40, {0x01, 0x02, 0x03}, 0xFF030201},
        {"R5G6B5", 16, {0xF800, 0x07E0, 0x001F, 0}, 0x40, {0xE0, 0x07}, 0xFF00FF00},
        {"A4R4G4B4", 16, {0x0F00, 0x00F0, 0x000F, 0xF000}, 0x41, {0x21, 0x83}, 0x88332211},
        {"L8", 8, {0xFF, 0, 0, 0}, 0x20000, {0x7F}, 0xFF7F7F7F},
    };
    for (const Case& c : cases) {
        DdsLayout s;
        s.width = s.height = 1;
        s.bits = c.bits;
        std::memcpy(s.masks, c.masks, sizeof s.masks);
        s.pfFlags = c.pfFlags;
        Bytes b = DdsHeader(s);
        b.insert(b.end(), c.texel.begin(), c.texel.end());
        image::Picture p = DecodeOk(b);
        ASSERT_EQ(p.surfaces.size(), 1u) << c.name;
        EXPECT_EQ(p.surfaces[0].At(0, 0), c.expect) << c.name;
    }
}

TEST(Dds, MipLevelsAndCubeFacesInFileOrder) {
    // 8 x 4 with 4 levels: 8x4, 4x2, 2x1, 1x1; each texel holds its face and
    // level so the order of the surfaces shows.
    for (bool cube : {false, true}) {
        DdsLayout s;
        s.width = 8;
        s.height = cube ? 8 : 4;
        s.mipCount = 4;
        s.caps2 = cube ? 0xFE00 : 0;
        Bytes b = DdsHeader(s);
        const uint32_t faces = cube ? 6 : 1;
        for (uint32_t f = 0; f < faces; ++f) {
            for (uint32_t l = 0; l < 4; ++l) {
                const uint32_t n = image::LevelSize(s.width, l) * image::LevelSize(s.height, l);
                for (uint32_t i = 0; i < n; ++i)
                    Put32(b, 0xFF000000 | f << 8 | l);
            }
        }
        image::Picture p = DecodeOk(b);
        EXPECT_EQ(p.levels, 4u);
        EXPECT_EQ(p.faces, faces);
        EXPECT_EQ(p.IsCube(), cube);
        ASSERT_EQ(p.surfaces.size(), size_t(faces) * 4);
        for (uint32_t f = 0; f < faces; ++f) {
            for (uint32_t l = 0; l < 4; ++l) {
                const image::Image& img = p.Surface(f, l);
                EXPECT_EQ(img.width, image::LevelSize(s.width, l));
                EXPECT_EQ(img.height, image::LevelSize(s.height, l));
                EXPECT_EQ(img.At(img.width - 1, img.height - 1), 0xFF000000 | f << 8 | l)
                    << "face " << f << " level " << l;
            }
        }
    }
}

TEST(Dds, OddSizesDecodePartialBlocks) {
    DdsLayout s;
    s.width = 5;
    s.height = 3;
    s.fourCC = "DXT1";
    Bytes b = DdsHeader(s);
    // Two blocks across, one down: left block red, right block blue.
    for (uint16_t c : {uint16_t(0xF800), uint16_t(0x001F)}) {
        const Bytes block = ColourBlock(c, 0, 0);
        b.insert(b.end(), block.begin(), block.end());
    }
    image::Picture p = DecodeOk(b);
    ASSERT_EQ(p.surfaces.size(), 1u);
    EXPECT_EQ(p.surfaces[0].At(3, 2), 0xFFFF0000u);
    EXPECT_EQ(p.surfaces[0].At(4, 2), 0xFF0000FFu);
}

TEST(Dds, BrokenFilesAreRefusedWithAReason) {
    struct Case {
        const char* name;
        DdsLayout layout;
        size_t dataBytes;
        const char* reason;
    };
    DdsLayout fourCC;
    fourCC.fourCC = "ATI2";
    DdsLayout volume;
    volume.caps2 = 0x200000;
    DdsLayout tooManyLevels;
    tooManyLevels.mipCount = 4; // a 4 x 4 picture has 3
    DdsLayout partialCube;
    partialCube.caps2 = 0x200 | 0x400;
    DdsLayout badBits;
    badBits.bits = 12;
    Case cases[] = {
        {"short data", DdsLayout(), 4 * 4 * 4 - 1, "data ends inside face 0 level 0"},
        {"unknown compression", fourCC, 16, "unsupported compression \"ATI2\""},
        {"volume", volume, 64, "volume textures are not supported"},
        {"too many levels", tooManyLevels, 256, "bad mip level count 4"},
        {"cube without all faces", partialCube, 64 * 6, "cube map without all six faces"},
        {"bit count", badBits, 64, "unsupported bit count 12"},
    };
    for (const Case& c : cases) {
        Bytes b = DdsHeader(c.layout);
        b.resize(b.size() + c.dataBytes, 0);
        image::Picture p;
        std::string error;
        EXPECT_FALSE(image::Decode(b.data(), b.size(), &p, &error)) << c.name;
        EXPECT_EQ(error, c.reason) << c.name;
        EXPECT_TRUE(p.surfaces.empty()) << c.name;
    }
    // A header cut short.
    Bytes head = DdsHeader(DdsLayout());
    image::Picture p;
    std::string error;
    EXPECT_FALSE(image::Decode(head.data(), 100, &p, &error));
    EXPECT_EQ(error, "not a DDS file");
}

// ---- BMP and TGA ---------------------------------------------------------------

class ImageFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        m_old = os::StartDirectory();
        m_dir = std::filesystem::temp_directory_path() /
                ("zt_image_" + std::to_string(getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_dir);
        os::SetStartDirectory(m_dir.string());
    }
    void TearDown() override {
        os::SetStartDirectory(m_old);
        std::filesystem::remove_all(m_dir);
    }
    std::string m_old;
    std::filesystem::path m_dir;
};

image::Image Pattern(uint32_t w, uint32_t h) {
    image::Image img;
    img.width = w;
    img.height = h;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x)
            img.pixels.push_back(0xFF000000 | (x * 40) << 16 | (y * 60) << 8 | 0x11);
    }
    return img;
}

TEST_F(ImageFiles, BmpWrittenAndReadBackUpright) {
    const image::Image img = Pattern(5, 3); // 5 x 3 needs row padding
    ASSERT_TRUE(image::SaveBmp("pic.bmp", img));
    image::Picture p;
    std::string error;
    ASSERT_TRUE(image::LoadFile("PIC.BMP", &p, &error)) << error;
    EXPECT_EQ(p.format, image::FileFormat::Bmp);
    ASSERT_EQ(p.surfaces.size(), 1u);
    EXPECT_EQ(p.surfaces[0].pixels, img.pixels);
    EXPECT_FALSE(p.hasAlpha);
}

Bytes Tga(uint8_t type, uint8_t descriptor, uint16_t w, uint16_t h, const Bytes& data) {
    Bytes b = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(b, w);
    Put16(b, h);
    b.push_back(32);
    b.push_back(descriptor);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

TEST(Tga, RowOrderFollowsTheOriginBitAndRleExpands) {
    // Two rows of one BGRA texel each: first stored red, then green.
    const Bytes red = {0, 0, 255, 200}, green = {0, 255, 0, 100};
    Bytes rows = red;
    rows.insert(rows.end(), green.begin(), green.end());
    struct Case {
        const char* name;
        Bytes file;
        uint32_t top, bottom;
    } cases[] = {
        {"bottom-up", Tga(2, 8, 1, 2, rows), 0x6400FF00, 0xC8FF0000},
        {"top-down", Tga(2, 8 | 0x20, 1, 2, rows), 0xC8FF0000, 0x6400FF00},
        // RLE: one run packet of two red texels, stored bottom-up.
        {"run-length", Tga(10, 8, 1, 2, {0x81, 0, 0, 255, 200}), 0xC8FF0000, 0xC8FF0000},
    };
    for (const Case& c : cases) {
        image::Picture p = DecodeOk(c.file);
        EXPECT_EQ(p.format, image::FileFormat::Tga) << c.name;
        ASSERT_EQ(p.surfaces.size(), 1u) << c.name;
        EXPECT_EQ(p.surfaces[0].At(0, 0), c.top) << c.name;
        EXPECT_EQ(p.surfaces[0].At(0, 1), c.bottom) << c.name;
        EXPECT_TRUE(p.hasAlpha) << c.name;
    }
}

TEST_F(ImageFiles, MissingOrBrokenFilesNameTheFile) {
    image::Picture p;
    std::string error;
    EXPECT_FALSE(image::LoadFile("misc\\none.tga", &p, &error));
    EXPECT_EQ(error, "misc\\none.tga: cannot open the file");
    std::FILE* f = os::OpenFile("junk.tga", "wb");
    ASSERT_TRUE(f);
    std::fputs("this is no picture", f);
    std::fclose(f);
    EXPECT_FALSE(image::LoadFile("junk.tga", &p, &error));
    EXPECT_EQ(error.rfind("junk.tga: cannot decode picture", 0), 0u) << error;
}

// ---- Sizes a file declares ---------------------------------------------------------

Bytes Bmp24Header(int32_t w, int32_t h) {
    Bytes b = {'B', 'M'};
    Put32(b, 0); // file size, not trusted
    Put32(b, 0);
    Put32(b, 54); // pixel data offset
    Put32(b, 40);
    Put32(b, uint32_t(w));
    Put32(b, uint32_t(h));
    Put16(b, 1);
    Put16(b, 24);
    for (int i = 0; i < 6; ++i)
        Put32(b, 0);
    return b;
}

void PutBe32(Bytes& b, uint32_t v) {
    for (int i = 3; i >= 0; --i)
        b.push_back(uint8_t(v >> (8 * i)));
}

// A PNG whose IHDR declares w x h RGBA pixels, followed by a tiny IDAT and IEND
// (checksums are not checked by the reader).
Bytes PngHeader(uint32_t w, uint32_t h) {
    Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    PutBe32(b, 13);
    b.insert(b.end(), {'I', 'H', 'D', 'R'});
    PutBe32(b, w);
    PutBe32(b, h);
    b.insert(b.end(), {8, 6, 0, 0, 0});
    PutBe32(b, 0);
    PutBe32(b, 2);
    b.insert(b.end(), {'I', 'D', 'A', 'T', 0x78, 0x9C});
    PutBe32(b, 0);
    PutBe32(b, 0);
    b.insert(b.end(), {'I', 'E', 'N', 'D'});
    PutBe32(b, 0);
    return b;
}

// A small PNG whose data chunk declares two gigabytes.
Bytes PngHugeChunk() {
    Bytes b = PngHeader(8, 6);
    Bytes chunk;
    PutBe32(chunk, 0x7FFFFFF0);
    std::copy(chunk.begin(), chunk.end(), b.begin() + 33);
    return b;
}

// A JPEG that ends after its scan header: one component of w x h pixels.
Bytes JpegHeader(uint16_t w, uint16_t h) {
    return {0xFF, 0xD8, 0xFF, 0xC0, 0,    11,   8, uint8_t(h >> 8), uint8_t(h), uint8_t(w >> 8), uint8_t(w),
            1,    1,    0x11, 0,    0xFF, 0xDA, 0, 8,               1,          1,               0,
            0,    63,   0};
}

// A JPEG whose Huffman table declares 300 codes (the decoder's table holds 256).
Bytes JpegOverfullHuffmanTable() {
    Bytes b = {0xFF, 0xD8, 0xFF, 0xC4, 0x01, 0x3F, 0x00};
    const uint8_t counts[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 44, 255};
    b.insert(b.end(), counts, counts + 16);
    b.resize(b.size() + 300, 0x11);
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

struct HostilePicture {
    const char* name;
    Bytes file;
    const char* reason; // the start of the message after the file name
};

std::ostream& operator<<(std::ostream& os, const HostilePicture& c) {
    return os << c.name;
}

class HostilePictures : public ImageFiles, public ::testing::WithParamInterface<HostilePicture> {};

// Each file declares a picture its data cannot fill or one beyond the limit:
// refused from its header, before anything is decoded, with the file named.
TEST_P(HostilePictures, AreRefusedBeforeDecoding) {
    const HostilePicture& c = GetParam();
    std::FILE* f = os::OpenFile("hostile.pic", "wb");
    ASSERT_TRUE(f);
    std::fwrite(c.file.data(), 1, c.file.size(), f);
    std::fclose(f);
    image::Picture p;
    std::string error;
    EXPECT_FALSE(image::LoadFile("hostile.pic", &p, &error));
    EXPECT_EQ(error.rfind(std::string("hostile.pic: ") + c.reason, 0), 0u) << error;
    EXPECT_TRUE(p.surfaces.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Image, HostilePictures,
    ::testing::Values(
        HostilePicture{"TgaBeyondTheLimit", Tga(2, 8, 17566, 21316, {}),
                       "picture of 17566 x 21316 pixels is larger than the limit"},
        // The header itself cut short: its missing descriptor byte reads 0.
        HostilePicture{"TgaRunLengthHeaderOf17Bytes",
                       [] {
                           Bytes b = Tga(10, 0, 4096, 4091, {});
                           b.pop_back();
                           return b;
                       }(),
                       "picture of 4096 x 4091 pixels needs at least 654578 bytes, the file holds 17"},
        HostilePicture{"TgaRawCutShort", Tga(2, 8, 2000, 1000, Bytes(64, 0x7F)),
                       "picture of 2000 x 1000 pixels needs at least 8000018 bytes, the file holds 82"},
        HostilePicture{"TgaRunLengthCutShort", Tga(10, 8, 4096, 4096, {0x81, 0, 0, 255, 200}),
                       "picture of 4096 x 4096 pixels needs at least 655378 bytes, the file holds 23"},
        HostilePicture{"TgaTooManyPixels", Tga(2, 8, 16000, 16000, {}),
                       "picture of 16000 x 16000 pixels is larger than the limit"},
        HostilePicture{"BmpCutShort", Bmp24Header(4000, 4000),
                       "picture of 4000 x 4000 pixels needs at least"},
        HostilePicture{"BmpTopDownCutShort", Bmp24Header(3000, -3000),
                       "picture of 3000 x 3000 pixels needs at least"},
        HostilePicture{"PngCutShort", PngHeader(6000, 6000), "picture of 6000 x 6000 pixels needs at least"},
        HostilePicture{"PngBeyondTheLimit", PngHeader(16384, 16384),
                       "picture of 16384 x 16384 pixels is larger than the limit"},
        HostilePicture{"PngChunkBeyondTheFile", PngHugeChunk(),
                       "PNG chunk of 2147483632 bytes, the file holds 59"},
        HostilePicture{"JpegCutShort", JpegHeader(8000, 8000),
                       "picture of 8000 x 8000 pixels needs at least 125000 bytes"},
        HostilePicture{"JpegOverfullHuffmanTable", JpegOverfullHuffmanTable(),
                       "cannot decode picture (Bogus Huffman table definition)"}),
    [](const ::testing::TestParamInfo<HostilePicture>& info) { return std::string(info.param.name); });

TEST(Dds, SurfacesBeyondThePixelLimitAreRefused) {
    // A cube of six 8192 x 8192 faces: each side is allowed, all six are not.
    DdsLayout cube;
    cube.width = cube.height = 8192;
    cube.fourCC = "DXT1";
    cube.caps2 = 0x200 | 0xFC00;
    Bytes b = DdsHeader(cube);
    image::Picture p;
    std::string error;
    EXPECT_FALSE(image::Decode(b.data(), b.size(), &p, &error));
    EXPECT_EQ(error, "picture of 8192 x 8192 pixels in 6 surfaces is larger than the limit");
}

// ---- Resampling and colour keys ------------------------------------------------

image::Image Make(uint32_t w, uint32_t h, std::vector<uint32_t> px) {
    image::Image img;
    img.width = w;
    img.height = h;
    img.pixels = std::move(px);
    return img;
}

TEST(Resample, BoxWhenShrinkingBilinearWhenEnlarging) {
    struct Case {
        const char* name;
        image::Image src;
        uint32_t w, h;
        std::vector<uint32_t> expect;
    } cases[] = {
        {"2x2 to 1x1 averages all four",
         Make(2, 2, {0xFF000000, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000}),
         1,
         1,
         {0xFF404040}},
        {"halves each axis",
         Make(4, 2,
              {0xFF000000, 0xFF000010, 0xFF000020, 0xFF000040, 0xFF000000, 0xFF000010, 0xFF000020,
               0xFF000040}),
         2,
         1,
         {0xFF000008, 0xFF000030}},
        // 3 -> 2: each output covers one and a half source texels.
        {"fractional coverage",
         Make(3, 1, {0xFF000000, 0xFF000060, 0xFF0000C0}),
         2,
         1,
         {0xFF000020, 0xFF0000A0}},
        // 2 -> 4: centres at 0.25-steps between the two texels, clamped at the ends.
        {"bilinear enlargement",
         Make(2, 1, {0xFF000000, 0xFF000080}),
         4,
         1,
         {0xFF000000, 0xFF000020, 0xFF000060, 0xFF000080}},
        {"alpha is filtered too", Make(2, 1, {0x00000000, 0xFF000000}), 1, 1, {0x80000000}},
        {"same size copies", Make(2, 1, {0x12345678, 0x9ABCDEF0}), 2, 1, {0x12345678, 0x9ABCDEF0}},
        {"zero size is empty", Make(2, 1, {1, 2}), 0, 5, {}},
    };
    for (const Case& c : cases) {
        const image::Image out = image::Resample(c.src, c.w, c.h);
        EXPECT_EQ(out.pixels, c.expect) << c.name;
        if (!c.expect.empty()) {
            EXPECT_EQ(out.width, c.w) << c.name;
            EXPECT_EQ(out.height, c.h) << c.name;
        }
    }
}

TEST(ColorKey, OnlyTheExactKeyBecomesTransparentBlack) {
    image::Image img = Make(4, 1, {0xFF000000, 0x00000000, 0xFF000001, 0xFE000000});
    image::ApplyColorKey(img, 0xFF000000);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0, 0, 0xFF000001, 0xFE000000}));
    image::Image same = Make(1, 1, {0xFF000000});
    image::ApplyColorKey(same, 0);
    EXPECT_EQ(same.pixels[0], 0xFF000000u);
}

} // namespace

// ---- JPEG -------------------------------------------------------------------------

namespace {

struct JpegSource {
    int components = 3; // 1 grey, 3 RGB, 4 CMYK
    bool progressive = false;
};

// A w x h picture whose top half has the samples `top` and bottom half `bottom`.
Bytes EncodeJpeg(const JpegSource& src, int w, int h, const uint8_t* top, const uint8_t* bottom) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = src.components;
    c.in_color_space = src.components == 1 ? JCS_GRAYSCALE : src.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    if (src.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(w) * src.components);
    for (int y = 0; y < h; ++y) {
        const uint8_t* v = y < h / 2 ? top : bottom;
        for (int x = 0; x < w; ++x)
            std::copy(v, v + src.components, row.begin() + ptrdiff_t(x) * src.components);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes b(out, out + size);
    std::free(out);
    return b;
}

void ExpectNear(uint32_t argb, uint32_t want, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = int(argb >> shift & 0xFF), b = int(want >> shift & 0xFF);
        EXPECT_NEAR(a, b, tolerance) << std::hex << "got " << argb << " want " << want;
    }
}

struct JpegCase {
    const char* name;
    JpegSource source;
    uint8_t top[4], bottom[4];
    uint32_t topArgb, bottomArgb; // what the decoder gives back
};

std::ostream& operator<<(std::ostream& os, const JpegCase& c) {
    return os << c.name;
}

class JpegPictures : public ::testing::TestWithParam<JpegCase> {};

// Rows come out top-down, grey spreads to all three channels, Adobe CMYK
// (inks stored inverted) becomes RGB, and every JPEG is opaque.
TEST_P(JpegPictures, DecodeTopDownOpaque) {
    const JpegCase& c = GetParam();
    const Bytes file = EncodeJpeg(c.source, 16, 16, c.top, c.bottom);
    image::Info info;
    std::string error;
    ASSERT_TRUE(image::ReadInfo(file.data(), file.size(), &info, &error)) << error;
    EXPECT_EQ(info.width, 16u);
    EXPECT_EQ(info.height, 16u);
    EXPECT_FALSE(info.hasAlpha);
    image::Picture p;
    ASSERT_TRUE(image::Decode(file.data(), file.size(), &p, &error)) << error;
    EXPECT_EQ(p.format, image::FileFormat::Jpg);
    EXPECT_FALSE(p.hasAlpha);
    ASSERT_EQ(p.surfaces.size(), 1u);
    const image::Image& img = p.surfaces[0];
    ASSERT_EQ(img.pixels.size(), 256u);
    // Away from the edge between the halves, where the blocks blur it.
    ExpectNear(img.pixels[2 * 16 + 5], c.topArgb, 6);
    ExpectNear(img.pixels[13 * 16 + 10], c.bottomArgb, 6);
}

INSTANTIATE_TEST_SUITE_P(
    Image, JpegPictures,
    ::testing::Values(
        JpegCase{"Rgb", {3, false}, {200, 40, 30}, {20, 60, 220}, 0xFFC8281E, 0xFF143CDC},
        JpegCase{"RgbProgressive", {3, true}, {200, 40, 30}, {20, 60, 220}, 0xFFC8281E, 0xFF143CDC},
        JpegCase{"Grey", {1, false}, {30}, {230}, 0xFF1E1E1E, 0xFFE6E6E6},
        // Cyan ink 255 and black 255 stored inverted: no cyan, no black.
        JpegCase{"Cmyk", {4, false}, {255, 0, 0, 255}, {128, 128, 128, 255}, 0xFFFF0000, 0xFF808080}),
    [](const ::testing::TestParamInfo<JpegCase>& info) { return std::string(info.param.name); });

// Each scan of a progressive file is a pass over the whole picture: a small
// file repeating one scan thousands of times must not keep the decoder busy.
TEST(Jpeg, RepeatedScansAreRefused) {
    const uint8_t top[3] = {10, 20, 30}, bottom[3] = {40, 50, 60};
    const Bytes file = EncodeJpeg({3, true}, 16, 16, top, bottom);
    // The first scan: its header and entropy-coded data, up to the next marker.
    size_t sos = 0;
    while (sos + 1 < file.size() && !(file[sos] == 0xFF && file[sos + 1] == 0xDA))
        ++sos;
    ASSERT_LT(sos + 1, file.size());
    size_t end = sos + 2;
    while (end + 1 < file.size() && !(file[end] == 0xFF && file[end + 1] != 0 &&
                                      !(file[end + 1] >= 0xD0 && file[end + 1] <= 0xD7)))
        ++end;
    Bytes flood(file.begin(), file.begin() + ptrdiff_t(end));
    for (int i = 0; i < 2000; ++i)
        flood.insert(flood.end(), file.begin() + ptrdiff_t(sos), file.begin() + ptrdiff_t(end));
    flood.insert(flood.end(), {0xFF, 0xD9});
    image::Picture p;
    std::string error;
    EXPECT_FALSE(image::Decode(flood.data(), flood.size(), &p, &error));
    EXPECT_EQ(error, "cannot decode picture (more than 500 scans)");
    EXPECT_TRUE(p.surfaces.empty());
}

} // namespace
