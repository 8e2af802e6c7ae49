// Textures from DDS files on the real device: each layout of the demo data
// decodes on the CPU and reads back from GL to the same texels (compressed
// upload and CPU-decoded upload alike), reduced loads have the expected top
// size, and every face and level of a cube map reads back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Draw.h"
#include "platform/gfx/TextureFiles.h"
#include "platform/image/Image.h"
#include "platform/window/Window.h"
#include "tests/HeadlessGfx.h"

namespace {

using gfx::Result;

std::string DemoTexture(const char* name) {
    return std::string(ZT_SOURCE_DIR) + "/data/textures/" + name;
}

class GfxTexture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 0); }
    void SetUp() override {
        window::CreateParams p;
        p.title = "texture test";
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        d3d_ = gfx::CreateInterface();
        ASSERT_NE(d3d_, nullptr);
        gfx::PresentParameters pp = HeadlessPresentParams(16, 16);
        ASSERT_EQ(d3d_->CreateDevice(0, gfx::DeviceType::Hal, win_.get(), gfx::create::HardwareVertexProcessing,
                                     &pp, &dev_),
                  Result::Ok);
    }
    void TearDown() override {
        if (dev_) dev_->Release();
        if (d3d_) d3d_->Release();
        win_.reset();
    }
    std::unique_ptr<window::Window> win_;
    gfx::Interface* d3d_ = nullptr;
    gfx::Device* dev_ = nullptr;
};

TEST_F(GfxTexture, EachLayoutReadsBackAsDecodedOnTheCpu) {
    struct Case {
        const char* file;
        gfx::Format format;
    };
    const Case cases[] = {{"metal_dxt1.dds", gfx::Format::Dxt1},
                          {"rust_dxt5.dds", gfx::Format::Dxt5},
                          {"paint.dds", gfx::Format::A8R8G8B8}};
    for (bool cpuDecode : {false, true}) {
        dev_->ForceCpuTextureDecode(cpuDecode);
        for (const Case& c : cases) {
            const std::string path = DemoTexture(c.file);
            image::Picture cpu;
            std::string error;
            ASSERT_TRUE(image::LoadFile(path, &cpu, &error)) << error;
            gfx::Texture* t = nullptr;
            gfx::ImageInfo info;
            ASSERT_EQ(gfx::CreateTextureFromFile(dev_, path.c_str(), {}, &t, &info, &error), Result::Ok) << error;
            EXPECT_EQ(t->GetFormat(), c.format) << c.file;
            EXPECT_EQ(info.Format, c.format) << c.file;
            ASSERT_EQ(t->LevelCount(), cpu.levels) << c.file;
            for (uint32_t l = 0; l < t->LevelCount(); ++l) {
                const image::Image& want = cpu.Surface(0, l);
                std::vector<uint32_t> got(size_t(want.width) * want.height);
                ASSERT_EQ(t->ReadBack(0, l, got.data()), Result::Ok);
                EXPECT_EQ(got, want.pixels) << c.file << " level " << l << (cpuDecode ? " (CPU decode)" : "");
            }
            t->Release();
        }
    }
    dev_->ForceCpuTextureDecode(false);
    // Decoding on request gives an A8R8G8B8 texture of the same texels.
    gfx::TextureLoad decode;
    decode.decodeCompressed = true;
    gfx::Texture* t = nullptr;
    ASSERT_EQ(gfx::CreateTextureFromFile(dev_, DemoTexture("rust_dxt5.dds").c_str(), decode, &t), Result::Ok);
    EXPECT_EQ(t->GetFormat(), gfx::Format::A8R8G8B8);
    std::vector<uint32_t> px(64 * 64);
    ASSERT_EQ(t->ReadBack(0, 0, px.data()), Result::Ok);
    EXPECT_EQ(px[0], 0xC0844100u) << std::hex << px[0]; // brown, alpha 192
    t->Release();
}

TEST_F(GfxTexture, ReducedLoadsDropTwoLevelsOrFilterDown) {
    struct Case {
        const char* file;
        uint32_t skip, width, levels;
    };
    // paint.dds: 32 x 32 with 6 levels; bialy.tga: 8 x 8, no levels (not DDS:
    // taken as it is).
    const Case cases[] = {{"paint.dds", 0, 32, 6}, {"paint.dds", 2, 8, 4}, {"metal_dxt1.dds", 2, 16, 5},
                          {"bialy.tga", 2, 8, 4}};
    for (const Case& c : cases) {
        gfx::TextureLoad load;
        load.skipTopLevels = c.skip;
        gfx::Texture* t = nullptr;
        ASSERT_EQ(gfx::CreateTextureFromFile(dev_, DemoTexture(c.file).c_str(), load, &t), Result::Ok) << c.file;
        EXPECT_EQ(t->Width(), c.width) << c.file << " skip " << c.skip;
        EXPECT_EQ(t->LevelCount(), c.levels) << c.file << " skip " << c.skip;
        t->Release();
    }
    // A DDS file without levels is box-filtered to a quarter of each side;
    // one with fewer levels than skipped keeps its smallest.
    image::Picture p;
    std::string error;
    std::vector<uint8_t> one = {'D', 'D', 'S', ' '};
    auto put = [&](uint32_t v) {
        for (int k = 0; k < 4; ++k)
            one.push_back(uint8_t(v >> (8 * k)));
    };
    put(124), put(0x21007), put(8), put(8), put(0), put(0), put(2);
    for (int i = 0; i < 11; ++i)
        put(0);
    put(32), put(0x41), put(0), put(32), put(0xFF0000), put(0xFF00), put(0xFF), put(0xFF000000);
    for (int i = 0; i < 5; ++i)
        put(i == 0 ? 0x1000 : 0);
    for (int i = 0; i < 64; ++i)
        put(0xFF112233);
    for (int i = 0; i < 16; ++i)
        put(0xFF445566);
    image::DecodeOptions o;
    o.skipTopLevels = 2;
    ASSERT_TRUE(image::DecodeDds(one.data(), one.size(), &p, &error, o)) << error;
    EXPECT_EQ(p.width, 4u);
    EXPECT_EQ(p.levels, 1u);
    EXPECT_EQ(p.Surface(0, 0).At(0, 0), 0xFF445566u);
    one[4 + 24] = 1; // one level only
    ASSERT_TRUE(image::DecodeDds(one.data(), one.size(), &p, &error, o)) << error;
    EXPECT_EQ(p.width, 2u);
    EXPECT_EQ(p.Surface(0, 0).At(1, 1), 0xFF112233u);
}

TEST_F(GfxTexture, EveryFaceAndLevelOfACubeMapReadsBack) {
    const uint32_t faceColours[6] = {0xFFFF0000, 0xFF00FFFF, 0xFF00FF00, 0xFFFF00FF, 0xFF0000FF, 0xFFFFFF00};
    gfx::CubeTexture* cube = nullptr;
    gfx::ImageInfo info;
    std::string error;
    ASSERT_EQ(gfx::CreateCubeTextureFromFile(dev_, DemoTexture("sky_cube.dds").c_str(), {}, &cube, &info, &error),
              Result::Ok)
        << error;
    EXPECT_EQ(info.Type, gfx::ResourceType::CubeTexture);
    ASSERT_EQ(cube->LevelCount(), 5u);
    for (uint32_t f = 0; f < gfx::CubeFaceCount; ++f) {
        for (uint32_t l = 0; l < cube->LevelCount(); ++l) {
            const uint32_t n = cube->Size(l) * cube->Size(l);
            std::vector<uint32_t> px(n);
            ASSERT_EQ(cube->ReadBack(f, l, px.data()), Result::Ok);
            EXPECT_EQ(px, std::vector<uint32_t>(n, faceColours[f])) << "face " << f << " level " << l;
        }
    }
    EXPECT_EQ(dev_->SetTexture(15, cube), Result::Ok);
    dev_->SetTexture(15, nullptr);
    cube->Release();
    // A 2D file is no cube map, and a cube map no 2D texture.
    gfx::Texture* t = nullptr;
    EXPECT_NE(gfx::CreateTextureFromFile(dev_, DemoTexture("sky_cube.dds").c_str(), {}, &t), Result::Ok);
    EXPECT_NE(gfx::CreateCubeTextureFromFile(dev_, DemoTexture("paint.dds").c_str(), {}, &cube), Result::Ok);
    ASSERT_EQ(gfx::GetImageInfoFromFile(DemoTexture("sky_cube.dds").c_str(), &info), Result::Ok);
    EXPECT_EQ(info.Type, gfx::ResourceType::CubeTexture);
    EXPECT_EQ(info.Width, 16u);
    EXPECT_EQ(info.MipLevels, 5u);
    ASSERT_EQ(gfx::GetImageInfoFromFile(DemoTexture("rust_dxt5.dds").c_str(), &info), Result::Ok);
    EXPECT_EQ(info.Format, gfx::Format::Dxt5);
    ASSERT_EQ(gfx::GetImageInfoFromFile(DemoTexture("crate.tga").c_str(), &info), Result::Ok);
    EXPECT_EQ(info.Width, 64u);
    EXPECT_EQ(info.Format, gfx::Format::A8R8G8B8);
}

} // namespace
