#include <gtest/gtest.h>

#include <string>

#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Device.h"
#include "tests/app/ScratchDir.h"

namespace {

TEST(VideoMemoryClass, BoundariesOfTheThreeClasses) {
    struct Case {
        uint32_t mb;
        uint32_t cls;
    } cases[] = {{0, 2}, {129, 2}, {130, 1}, {260, 1}, {261, 0}, {8192, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(VideoMemoryClass(c.mb), c.cls) << c.mb << " MB";
}

// The file's fields at their offsets.
struct Layout {
    uint32_t version;
    uint8_t animatedShadows, notImportant, shadows, mv01, mv08, mv16, simple, mv06, alwaysOn, mv05;
    uint32_t filter, shadowMap, texture, water;
    uint8_t grass, mv20, ps20, mv22, mv21;
};

std::string Bytes(const Layout& l) {
    std::string b;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(char((v >> (8 * i)) & 0xFF));
    };
    auto u8 = [&](uint8_t v) { b.push_back(char(v)); };
    u32(l.version);
    for (uint8_t v : {l.animatedShadows, l.notImportant, l.shadows, l.mv01, l.mv08, l.mv16, l.simple, l.mv06,
                      l.alwaysOn, l.mv05})
        u8(v);
    for (uint32_t v : {l.filter, l.shadowMap, l.texture, l.water})
        u32(v);
    for (uint8_t v : {l.grass, l.mv20, l.ps20, l.mv22, l.mv21})
        u8(v);
    return b;
}

class VideoConfigTest : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        std::filesystem::create_directories(root_ / "save");
        savedD3D_ = g_pD3D;
        g_pD3D = nullptr; // no adapter: the measure gives 0 MB, class 2
        SimpleRender = false;
        DrawGrass = OptionMV20 = OptionMV22 = OptionMV21 = true;
    }
    void TearDown() override {
        g_pD3D = savedD3D_;
        ScratchDirTest::TearDown();
    }
    std::string File() const { return ReadFile("save/video.cfg"); }
    gfx::Interface* savedD3D_ = nullptr;
};

TEST_F(VideoConfigTest, DefaultsOfEachClassAreWrittenAtTheirOffsets) {
    struct Case {
        uint32_t mb;
        Layout expected;
    } cases[] = {
        {512, {5, 1, 1, 1, 1, 0, 1, 0, 1, 1, 1, 0, 0, 0, 0, 1, 1, 0, 1, 1}},
        {256, {5, 0, 1, 1, 1, 0, 1, 0, 1, 1, 1, 2, 1, 0, 1, 1, 1, 0, 1, 1}},
        {64, {5, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 2, 2, 2, 2, 1, 1, 0, 1, 1}},
    };
    for (const Case& c : cases) {
        g_dwTotalVideoMemoryMB = c.mb;
        SetVideoDefaults();
        std::string file = File();
        ASSERT_EQ(file.size(), VIDEO_CFG_SIZE) << c.mb;
        EXPECT_EQ(file, Bytes(c.expected)) << c.mb << " MB";
    }
}

TEST_F(VideoConfigTest, DefaultsKeepGrassAndTheStoredOnlyOptions) {
    DrawGrass = false;
    OptionMV20 = false;
    OptionMV22 = false;
    OptionMV21 = true;
    g_dwTotalVideoMemoryMB = 512;
    SetVideoDefaults();
    std::string file = File();
    ASSERT_EQ(file.size(), 35u);
    EXPECT_EQ(file[30], 0); // DrawGrass
    EXPECT_EQ(file[31], 0); // OptionMV20
    EXPECT_EQ(file[33], 0); // OptionMV22
    EXPECT_EQ(file[34], 1); // OptionMV21
}

TEST_F(VideoConfigTest, AWholeVersion5FileIsReadWithLevelsClamped) {
    Layout l{5, 0, 1, 0, 1, 1, 0, 1, 0, 0, 1, 7, 2, 1, 0xFFFFFFFF, 0, 1, 1, 0, 1};
    WriteFile("save/video.cfg", Bytes(l));
    EXPECT_TRUE(ReadVideoConfig());
    EXPECT_FALSE(DrawAnimatedShadows);
    EXPECT_TRUE(DrawNotImportant);
    EXPECT_FALSE(DrawShadows);
    EXPECT_TRUE(OptionMV01);
    EXPECT_TRUE(OptionMV08);
    EXPECT_FALSE(OptionMV16);
    EXPECT_TRUE(SimpleRender);
    EXPECT_FALSE(OptionMV06);
    EXPECT_TRUE(OptionAlwaysOn); // always 1 after reading
    EXPECT_TRUE(OptionMV05);
    EXPECT_EQ(FilterLevel, 2u); // 7 clamped
    EXPECT_EQ(ShadowMapLevel, 2u);
    EXPECT_EQ(TextureLevel, 1u);
    EXPECT_EQ(WaterTextureLevel, 2u); // 0xFFFFFFFF clamped
    EXPECT_FALSE(DrawGrass);
    EXPECT_TRUE(OptionMV20);
    EXPECT_TRUE(UsePS20);
    EXPECT_FALSE(OptionMV22);
    EXPECT_TRUE(OptionMV21);
    EXPECT_EQ(File(), Bytes(l)); // reading leaves the file as it was
    SimpleRender = false;
}

TEST_F(VideoConfigTest, AnythingButAWholeVersion5FileIsReplacedByDefaults) {
    Layout good{5, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 0, 1, 1};
    const std::string whole = Bytes(good);
    Layout old = good;
    old.version = 4;
    struct Case {
        const char* name;
        bool present;
        std::string bytes;
        const char* logged; // the report, or null for none
    } cases[] = {
        {"missing", false, "", nullptr},
        {"another version", true, Bytes(old), "save\\video.cfg: version 4, not 5: the defaults are written"},
        {"short by one byte", true, whole.substr(0, 34),
         "save\\video.cfg: 34 bytes, not the 35 of its layout: the defaults are written"},
        {"one byte too long", true, whole + '\0',
         "save\\video.cfg: 36 bytes, not the 35 of its layout: the defaults are written"},
        {"empty", true, "", "save\\video.cfg: 0 bytes, not the 35 of its layout: the defaults are written"},
    };
    Layout defaults{5, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 2, 2, 2, 2, 1, 1, 0, 1, 1}; // class 2 (no adapter)
    for (const Case& c : cases) {
        std::filesystem::remove(root_ / "save" / "video.cfg");
        std::filesystem::remove(root_ / "!console.txt");
        if (c.present) WriteFile("save/video.cfg", c.bytes);
        EXPECT_FALSE(ReadVideoConfig()) << c.name;
        EXPECT_EQ(g_dwVideoMemoryClass, 2u) << c.name;
        EXPECT_EQ(File(), Bytes(defaults)) << c.name;
        const std::string log = ReadFile("!console.txt");
        if (c.logged) {
            EXPECT_NE(log.find(c.logged), std::string::npos) << c.name << ": " << log;
        } else {
            EXPECT_EQ(log.find("video.cfg"), std::string::npos) << c.name << ": " << log;
        }
    }
}

// A settings file that cannot be written whole stays as it was.
TEST_F(VideoConfigTest, AFileThatCannotBeWrittenStaysAsItWas) {
    g_dwTotalVideoMemoryMB = 512;
    SetVideoDefaults();
    const std::string before = File();
    DrawShadows = !DrawShadows;
    std::filesystem::create_directories(root_ / "save" / "video.cfg.new"); // no temporary file can be made
    WriteVideoConfig();
    EXPECT_EQ(File(), before);
    EXPECT_NE(ReadFile("!console.txt").find("save\\video.cfg could not be written and stays as it was: "),
              std::string::npos);
}

TEST_F(VideoConfigTest, NothingIsWrittenWithoutTheSaveFolder) {
    std::filesystem::remove_all(root_ / "save");
    g_dwTotalVideoMemoryMB = 512;
    SetVideoDefaults();
    EXPECT_FALSE(Exists("save/video.cfg"));
}

TEST_F(VideoConfigTest, MeasuredVideoMemoryChoosesTheDefaults) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    gfx::Interface* d3d = gfx::CreateInterface();
    ASSERT_NE(d3d, nullptr);
    g_pD3D = d3d;
    uint64_t total = 0, free = 0;
    d3d->QueryVideoMemory(&total, &free);
    EXPECT_FALSE(ReadVideoConfig());
    EXPECT_EQ(g_dwTotalVideoMemoryMB, uint32_t(total >> 20));
    EXPECT_EQ(g_dwVideoMemoryClass, VideoMemoryClass(uint32_t(total >> 20)));
    EXPECT_EQ(QueryLocalVideoMemory(), uint32_t(free));
    // Reduced-render mode measures nothing.
    SimpleRender = true;
    EXPECT_EQ(QueryTotalVideoMemory(), 0u);
    EXPECT_EQ(QueryLocalVideoMemory(), 0u);
    SimpleRender = false;
    // The file just written is read back as the current version.
    EXPECT_TRUE(ReadVideoConfig());
    g_pD3D = nullptr;
    d3d->Release();
}

} // namespace
