// The texture registry on a scratch data directory and a real headless
// device: descriptions and twins, substitutes, names and ids, quality
// choices, companions and users, flashes, animation, reports, and what the
// stage binding puts on stages 0 and 1 (read back from drawn quads).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/XFile.h"
#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "tests/HeadlessGfx.h"
#include "tests/TestDir.h"
#include "world/Engine.h"

namespace {

namespace fs = std::filesystem;

// A w x h TGA of one colour (packed ARGB), top-left origin.
std::string Tga(uint32_t argb, uint32_t w = 4, uint32_t h = 4) {
    std::string b(18, '\0');
    b[2] = 2;
    b[12] = char(w), b[13] = char(w >> 8), b[14] = char(h), b[15] = char(h >> 8);
    b[16] = 32;
    b[17] = 0x28;
    for (uint32_t i = 0; i < w * h; ++i) {
        b += char(argb), b += char(argb >> 8), b += char(argb >> 16), b += char(argb >> 24);
    }
    return b;
}

// An uncompressed DDS of edge x edge with the full mip chain, one colour.
std::string Dds(uint32_t edge, uint32_t argb) {
    uint32_t levels = 0;
    for (uint32_t s = edge; s; s >>= 1)
        ++levels;
    std::string b = "DDS ";
    auto put = [&](uint32_t v) {
        for (int k = 0; k < 4; ++k)
            b += char(v >> (8 * k));
    };
    put(124), put(0x21007), put(edge), put(edge), put(0), put(0), put(levels);
    for (int i = 0; i < 11; ++i)
        put(0);
    put(32), put(0x41), put(0), put(32), put(0xFF0000), put(0xFF00), put(0xFF), put(0xFF000000);
    put(0x1000), put(0), put(0), put(0), put(0);
    for (uint32_t l = 0; l < levels; ++l) {
        const uint32_t s = std::max(1u, edge >> l);
        for (uint32_t i = 0; i < s * s; ++i)
            put(argb);
    }
    return b;
}

std::string LastConsoleLines(int n) {
    std::string out;
    char line[EConsole::LINE_LEN];
    for (int i = EConsole::NUM_LINES - n; i < EConsole::NUM_LINES; ++i) {
        g_Console.CopyLine(i, line);
        out += line;
        out += '\n';
    }
    return out;
}

class TextureRegistry : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 0); }

    void SetUp() override {
        dir_ = FreshTestDir("zt_textures_");
        oldDir_ = os::StartDirectory();
        os::SetStartDirectory(dir_.string());
        savedLevel_ = TextureLevel;
        savedFilter_ = FilterLevel;
        TextureLevel = 1;
        FilterLevel = 1;
        g_Engine.m_bQuit = 0;
    }
    void TearDown() override {
        g_Renderer.ReleaseTextures();
        g_Renderer.ReleaseTexturePaths();
        g_pD3DInterface = nullptr;
        if (dev_) dev_->Release();
        if (d3d_) d3d_->Release();
        win_.reset();
        TextureLevel = savedLevel_;
        FilterLevel = savedFilter_;
        DrawTextures = true;
        g_Engine.m_bQuit = 0;
        os::SetStartDirectory(oldDir_);
        fs::remove_all(dir_);
    }

    // Names are written as the data names them, with backslashes.
    void Write(std::string rel, const std::string& bytes) {
        for (char& c : rel)
            if (c == '\\') c = '/';
        fs::path p = dir_ / rel;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& rel) {
        std::ifstream f(dir_ / rel, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    void MakeDevice() {
        window::CreateParams p;
        p.title = "texture test";
        win_ = window::CreateWindow(p);
        ASSERT_NE(win_, nullptr) << window::LastError();
        d3d_ = gfx::CreateInterface();
        ASSERT_NE(d3d_, nullptr);
        gfx::PresentParameters pp = HeadlessPresentParams(16, 16);
        ASSERT_EQ(d3d_->CreateDevice(0, gfx::DeviceType::Hal, win_.get(), gfx::create::HardwareVertexProcessing,
                                     &pp, &dev_),
                  gfx::Result::Ok);
        g_pD3DInterface = dev_;
    }
    void Init() {
        g_Renderer.ReleaseTexturePaths();
        g_Renderer.Init();
    }
    // The colour a 16 x 16 quad shows from one stage's texture alone.
    uint32_t StageColour(uint32_t stage) {
        using gfx::TextureStageState;
        using gfx::TextureOp;
        dev_->SetRenderState(gfx::RenderState::ZEnable, 0);
        dev_->SetRenderState(gfx::RenderState::CullMode, gfx::StateValue(gfx::Cull::None));
        dev_->SetFVF(gfx::fvf::XyzRhw | gfx::fvf::Tex2);
        for (uint32_t s = 0; s < 2; ++s) {
            const bool on = s <= stage;
            dev_->SetTextureStageState(s, TextureStageState::ColorOp,
                                       gfx::StateValue(on ? TextureOp::SelectArg1 : TextureOp::Disable));
            dev_->SetTextureStageState(s, TextureStageState::AlphaOp,
                                       gfx::StateValue(on ? TextureOp::SelectArg1 : TextureOp::Disable));
        }
        struct V {
            float x, y, z, w, u0, v0, u1, v1;
        };
        const V v[4] = {{-0.5f, -0.5f, 0, 1, 0, 0, 0, 0},
                        {15.5f, -0.5f, 0, 1, 1, 0, 1, 0},
                        {-0.5f, 15.5f, 0, 1, 0, 1, 0, 1},
                        {15.5f, 15.5f, 0, 1, 1, 1, 1, 1}};
        dev_->DrawPrimitiveUP(gfx::PrimitiveType::TriangleStrip, 2, v, sizeof(V));
        std::vector<uint32_t> px(16 * 16);
        gfx::Surface* bb = nullptr;
        dev_->GetRenderTarget(0, &bb);
        dev_->ReadPixels(bb, px.data(), 16);
        bb->Release();
        return px[8 * 16 + 8] | 0xFF000000u;
    }

    fs::path dir_;
    std::string oldDir_;
    uint32_t savedLevel_ = 0, savedFilter_ = 0;
    std::unique_ptr<window::Window> win_;
    gfx::Interface* d3d_ = nullptr;
    gfx::Device* dev_ = nullptr;
};

// ---- Descriptions ---------------------------------------------------------------

struct KeyCase {
    const char* name;
    const char* lines;
    std::function<bool(const TextureDescription&)> holds;
};

class DescriptionKeys : public TextureRegistry, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(DescriptionKeys, SetTheirFieldsOnly) {
    Write("textures\\a.tga", Tga(0xFFFFFFFF));
    Write("scripts\\textures.txt", std::string("texture a.tga\n") + GetParam().lines + "\n");
    Init();
    const strtexturepaths* p = g_Renderer.FindTexturePath("a.tga");
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->bDescribed);
    EXPECT_TRUE(GetParam().holds(p->desc)) << GetParam().name;
}

const KeyCase kKeyCases[] = {
    {"defaults", "", [](const TextureDescription& d) {
         return d.fAnimationSpeed == 1.0f && d.fDetailDensity == 16.0f && d.fWaterHeight == 16.0f &&
                d.fWaterFogFar == 20000.0f && d.fSpecularPower == 1.05f && d.fSpecularCone == 24.0f &&
                d.dwMaterial == MATERIAL_CEMENT && !d.bWater && d.fWaterColor[0] == 1.0f;
     }},
    {"Water sets the flag and the material", "Water",
     [](const TextureDescription& d) { return d.bWater && d.dwMaterial == MATERIAL_WATER; }},
    {"water_height is a whole other key", "water_height 7.5",
     [](const TextureDescription& d) { return !d.bWater && d.fWaterHeight == 7.5f && d.dwMaterial == 0; }},
    {"specular without numbers keeps its values", "specular",
     [](const TextureDescription& d) { return d.bSpecular && d.fSpecularPower == 1.05f && d.fSpecularCone == 24.0f; }},
    {"specular with numbers", "specular 3 40",
     [](const TextureDescription& d) { return d.bSpecular && d.fSpecularPower == 3.0f && d.fSpecularCone == 40.0f; }},
    {"water_color divides by 255, negatives taken unsigned", "water_color 255 51 -1",
     [](const TextureDescription& d) {
         return d.fWaterColor[0] == 1.0f && d.fWaterColor[1] == 0.2f && d.fWaterColor[2] == 4294967295.0f / 255.0f;
     }},
    {"add_water_param sets the add-water height", "add_water_param 5",
     [](const TextureDescription& d) { return d.fAddWaterHeight == 5.0f; }},
    {"2_sided and 2sided", "2_sided", [](const TextureDescription& d) { return d.b2Sided == 1; }},
    {"the last material wins", "metal\nglass", [](const TextureDescription& d) { return d.dwMaterial == MATERIAL_GLASS; }},
    {"file names are the whole argument", "detail  my detail.tga",
     [](const TextureDescription& d) { return std::strcmp(d.szDetail, "my detail.tga") == 0; }},
    {"keys match without regard to case", "TRANSLUCENT\nspecular_in_detail_mask",
     [](const TextureDescription& d) { return d.bTranslucent && d.bSpecularInDetailMask; }},
    {"unknown keys are ignored", "shiny 4\n\ntransparent", [](const TextureDescription& d) { return d.bTransparent == 1; }},
    {"grow names a file", "grow g.tga", [](const TextureDescription& d) { return std::strcmp(d.szGrow, "g.tga") == 0; }},
    {"an over-long file name is cut to its field",
     "normal aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
     "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
     "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
     [](const TextureDescription& d) { return std::strlen(d.szNormal) < sizeof d.szNormal; }},
};

INSTANTIATE_TEST_SUITE_P(Keys, DescriptionKeys, ::testing::ValuesIn(kKeyCases));

TEST_F(TextureRegistry, FramesBeyondTheLimitAreIgnored) {
    Write("textures\\a.tga", Tga(0xFFFFFFFF));
    std::string lines = "texture a.tga\n";
    for (int i = 0; i < 130; ++i)
        lines += "animation_frame f" + std::to_string(i) + ".tga\n";
    Write("scripts\\textures.txt", lines);
    Init();
    const strtexturepaths* p = g_Renderer.FindTexturePath("a.tga");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->dwFrames, 127u);
    EXPECT_STREQ(p->pFrames[126], "f126.tga");
}

TEST_F(TextureRegistry, TwinCarriesTheListedValuesOnly) {
    Write("textures\\x.tga", Tga(0xFFFF0000));
    Write("textures\\x.dds", Dds(4, 0xFF00FF00));
    Write("scripts\\textures.txt",
          "texture x.tga\ntranslucent\nadditive\nstain\nwater\ndetail d.tga\ngrow g.tga\nno_fog\n");
    Init();
    const strtexturepaths* p = g_Renderer.FindTexturePath("x.tga");
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->szName, "x.dds");
    EXPECT_EQ(g_Renderer.FindTexturePath("X.DDS"), p);
    EXPECT_TRUE(p->desc.bTranslucent && p->desc.bAdditive && p->desc.bStain && p->desc.bNoFog);
    EXPECT_STREQ(p->desc.szGrow, "g.tga");
    EXPECT_FALSE(p->desc.bWater);
    EXPECT_EQ(p->desc.dwMaterial, 0u);
    EXPECT_STREQ(p->desc.szDetail, "");
    EXPECT_STREQ(p->szPath, ".\\textures\\x.dds");
}

TEST_F(TextureRegistry, SecondBlockAddsAndMissingFileIsReported) {
    Write("textures\\a.tga", Tga(0xFFFFFFFF));
    Write("scripts\\textures.txt", "texture a.tga\ntransparent\ntexture gone.tga\ntranslucent\n");
    Write("scripts\\textures\\more.txt", "texture a.tga\nmetal\n");
    Init();
    const strtexturepaths* p = g_Renderer.FindTexturePath("a.tga");
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->desc.bTransparent);
    EXPECT_FALSE(p->desc.bTranslucent);
    EXPECT_EQ(p->desc.dwMaterial, MATERIAL_METAL);
    const std::string log = LastConsoleLines(8);
    EXPECT_NE(log.find("gone.tga - tekstury nie ma, a jest opis!"), std::string::npos) << log;
    EXPECT_NE(log.find("a.tga - Kolejny wpis (scripts\\textures\\more.txt)"), std::string::npos) << log;
}

TEST_F(TextureRegistry, BadCharacterInAPathEndsTheGame) {
    Write("textures\\bad name.tga", Tga(0xFFFFFFFF));
    Init();
    EXPECT_TRUE(g_Engine.m_bQuit);
    EXPECT_NE(Read("!error.txt").find(".\\textures\\bad name.tga"), std::string::npos);
    EXPECT_EQ(g_Renderer.FindTexturePath("bad name.tga"), nullptr);
}

TEST_F(TextureRegistry, Substitutes) {
    std::string lines = "substitute orphan.tga\ntexture guard.tga\n";
    for (int i = 0; i < 32; ++i)
        lines += "substitute guard_" + std::to_string(i) + ".tga\n";
    lines += "texture empty.tga\n";
    Write("scripts\\texture_substitutes.txt", lines);
    ERenderer r;
    r.LoadTextureSubstitutes();
    const strtexturesubstitutes* s = r.FindTextureSubstitute("GUARD.dds");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->dwCount, 31u);
    EXPECT_STREQ(s->szSubstitutes[30], "guard_30.tga");
    ASSERT_NE(r.FindTextureSubstitute("empty.tga"), nullptr);
    EXPECT_EQ(r.FindTextureSubstitute("empty.tga")->dwCount, 0u);
    EXPECT_EQ(r.FindTextureSubstitute("gua"), nullptr);
    EXPECT_EQ(r.FindTextureSubstitute(nullptr), nullptr);
}

// ---- Names, ids, quality -----------------------------------------------------------

TEST_F(TextureRegistry, NameNormalisation) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {{"textures\\rock.bmp", "rock.dds"}, {"Wall.TGA", "Wall.TGA"}, {"abc", "abc"},
                          {"a\\b\\x.DDS", "x.DDS"},         {"pic.jpeg", "pic.jdds"}, {"", ""}};
    for (const Case& c : cases)
        EXPECT_STREQ(NormalizeTextureName(c.in), c.out) << c.in;

    MakeDevice();
    Write("textures\\wall.tga", Tga(0xFFFF0000));
    Write("textures\\rock.dds", Dds(4, 0xFF00FF00));
    Init();
    const uint32_t wall = g_Renderer.GetTextureIdByName("wall.tga");
    EXPECT_NE(wall, 0u);
    EXPECT_EQ(g_Renderer.GetTextureIdByName("Wall.TGA"), wall);
    const strtexture* rock = g_Renderer.GetTexture(g_Renderer.GetTextureIdByName("models\\rock.bmp"));
    ASSERT_NE(rock, nullptr);
    EXPECT_STREQ(rock->szName, "rock.dds");
    EXPECT_NE(rock->pTexture, nullptr);
    EXPECT_FALSE(g_Engine.m_bQuit);
}

TEST_F(TextureRegistry, IdsRunOutAtTheTableSize) {
    // Without a device: the records, ids and reports, no device textures.
    for (int i = 0; i < 1024; ++i)
        Write("t\\" + std::to_string(i) + ".tga", "");
    Init();
    for (uint32_t i = 0; i < 1023; ++i)
        ASSERT_EQ(g_Renderer.GetTextureIdByName((std::to_string(i) + ".tga").c_str()), i + 1);
    EXPECT_EQ(g_Renderer.GetTexture(0), nullptr);
    EXPECT_EQ(g_Renderer.GetTextureIdByName("1023.tga"), 0u);
    EXPECT_NE(LastConsoleLines(1).find("MAX_TEXTURES hit!"), std::string::npos);
    EXPECT_EQ(g_Renderer.GetTexture(1024), nullptr);
    g_Renderer.ReleaseTextures();
    EXPECT_EQ(g_Renderer.GetTextureIdByName("1023.tga"), 1u);
}

TEST_F(TextureRegistry, APrecachedTextureStaysLoadedUntilTheTexturesAreReleased) {
    Write("t\\precached.tga", "");
    Init();
    ASSERT_EQ(g_Renderer.FindTexture("precached.tga"), nullptr);
    g_Engine.PrecacheResource("precached.tga", 1);
    EXPECT_NE(g_Renderer.FindTexture("precached.tga"), nullptr);
    g_Renderer.ReleaseTextures();
    EXPECT_EQ(g_Renderer.FindTexture("precached.tga"), nullptr);
}

TEST_F(TextureRegistry, MissingFileIsReportedAndEndsTheGame) {
    Write("textures\\odd.png", Tga(0xFFFFFFFF));
    Init();
    raporttextures = true;
    const uint32_t id = g_Renderer.GetTextureIdByName("nowhere.tga");
    raporttextures = false;
    EXPECT_EQ(id, 0u);
    ASSERT_NE(g_Renderer.FindTexture("nowhere.tga"), nullptr);
    EXPECT_EQ(g_Renderer.FindTexture("nowhere.tga")->pTexture, nullptr);
    EXPECT_TRUE(g_Engine.m_bQuit);
    EXPECT_NE(LastConsoleLines(1).find("Texture nowhere.tga does not exist!"), std::string::npos);
    EXPECT_EQ(Read("!error.txt"), "nowhere.tga\nTexture does not exist!\n");
    EXPECT_EQ(Read("!textures.txt"), "texture nowhere.tga\n");
    g_Engine.m_bQuit = 0;
    // Too long for the record: a missing file, nothing copied past a field.
    const std::string longName(600, 'a');
    EXPECT_EQ(g_Renderer.GetTextureIdByName((longName + ".tga").c_str()), 0u);
    EXPECT_TRUE(g_Engine.m_bQuit);
}

TEST_F(TextureRegistry, QualityHighAndPriorityChooseTheFile) {
    MakeDevice();
    Write("textures\\x.dds", Dds(16, 0xFFFF0000));
    Write("textures\\x_high.dds", Dds(32, 0xFF00FF00));
    Write("textures\\p.dds", Dds(16, 0xFF0000FF));
    Write("textures\\flat.tga", Tga(0xFFFFFFFF, 16, 16));
    Write("scripts\\textures.txt", "texture p.dds\npriority\n");
    Init();
    struct Case {
        const char* name;
        int reduce, high;
        uint32_t width;
    };
    const Case cases[] = {{"x.dds", 1, 0, 4},  {"x.dds", 0, 1, 32},   {"x.dds", 0, 0, 16},
                          {"p.dds", 1, 0, 16}, {"flat.tga", 1, 0, 16}};
    for (const Case& c : cases) {
        g_Renderer.ReleaseTextures();
        const strtexture* t = g_Renderer.LoadTexture(c.name, c.reduce, c.high, 0);
        ASSERT_NE(t, nullptr);
        ASSERT_NE(t->pTexture, nullptr) << c.name;
        EXPECT_EQ(t->pTexture->Width(), c.width) << c.name << " reduce " << c.reduce << " high " << c.high;
    }
    // The header's size and format reach a described record.
    const strtexture* p = g_Renderer.LoadTexture("p.dds", 0, 0, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->dwWidth, 16u);
    EXPECT_EQ(p->dwFormat, uint32_t(gfx::Format::A8R8G8B8));
}

// ---- Users and companions ---------------------------------------------------------

TEST_F(TextureRegistry, CompanionsLoadOnceAndUsersUnlink) {
    MakeDevice();
    Write("textures\\a.tga", Tga(0xFFFF0000));
    Write("textures\\a_normal.tga", Tga(0xFF8080FF));
    Write("textures\\d.tga", Tga(0xFF00FF00));
    Write("textures\\m.tga", Tga(0xFF0000FF));
    Write("scripts\\textures.txt", "texture a.tga\ndetail d.tga\nMultitexture_R m.tga\nMultitexture_Density_R 3\n");
    Init();
    EMesh m1, m2;
    ESkinMesh skin;
    const uint32_t id = g_Renderer.LoadMeshTextures("a.tga", &m1, 0);
    const strtexture* t = g_Renderer.GetTexture(id);
    ASSERT_NE(t, nullptr);
    ASSERT_NE(t->pNormal, nullptr);
    EXPECT_STREQ(t->pNormal->szName, "a_normal.tga");
    ASSERT_NE(t->pDetail, nullptr);
    ASSERT_NE(t->pMultitextureR, nullptr);
    EXPECT_TRUE(t->bHasMultitexture);
    EXPECT_TRUE(t->pNormal->bDoNotRender && t->pDetail->bDoNotRender && t->pMultitextureR->bDoNotRender);
    EXPECT_FALSE(t->bDoNotRender);
    int records = 0;
    for (const strtexture* r = g_Renderer.FirstTexture(); r; r = r->next)
        ++records;
    EXPECT_EQ(g_Renderer.LoadMeshTextures("textures\\A.tga", &m2, 3), id);
    EXPECT_EQ(g_Renderer.LoadSkinMeshTextures("a.tga", &skin, 1), id);
    EXPECT_EQ(g_Renderer.LoadSkinMeshTextures("a.tga", &skin, 1), id);
    int after = 0;
    for (const strtexture* r = g_Renderer.FirstTexture(); r; r = r->next)
        ++after;
    EXPECT_EQ(after, records);
    auto meshUsers = [&] {
        int n = 0;
        for (const strlistameshy* u = t->pMeshes; u; u = u->next)
            ++n;
        return n;
    };
    ASSERT_EQ(meshUsers(), 2);
    EXPECT_EQ(t->pMeshes->pMesh, &m2);
    EXPECT_EQ(t->pMeshes->dwSubset, 3u);
    ASSERT_NE(t->pSkinMeshes, nullptr);
    EXPECT_EQ(t->pSkinMeshes->next, nullptr);
    g_Renderer.UnlinkMesh(&m2);
    EXPECT_EQ(meshUsers(), 1);
    EXPECT_EQ(t->pMeshes->pMesh, &m1);
    g_Renderer.UnlinkSkinMesh(&skin);
    EXPECT_EQ(t->pSkinMeshes, nullptr);
    g_Renderer.UnlinkMesh(nullptr);
    g_Renderer.UnlinkMesh(&m1);
    EXPECT_EQ(t->pMeshes, nullptr);
}

TEST_F(TextureRegistry, FlashSlots) {
    const float a[3] = {1, 2, 3};
    ERenderer r;
    r.AddFlash(a);
    r.AddFlash(a);
    r.AddFlash(a);
    for (int i = 0; i < 3; ++i)
        EXPECT_FLOAT_EQ(r.m_Flashes[i].fTime, ERenderer::FLASH_TIME) << i;
    EXPECT_EQ(r.m_Flashes[3].fTime, 0.0f);
    r.m_fFrameTime = 0.05f;
    r.UpdateFlashes();
    EXPECT_TRUE(r.m_bAnyFlash);
    r.UpdateFlashes();
    EXPECT_FALSE(r.m_bAnyFlash);
    for (const ERenderer::Flash& f : r.m_Flashes)
        EXPECT_EQ(f.vPosition[1], -1e9f);
    // The least remaining time takes the next flash, the earlier slot on a tie.
    r.AddFlash(a);
    EXPECT_FLOAT_EQ(r.m_Flashes[0].fTime, ERenderer::FLASH_TIME);
    r.AddFlash(nullptr);
}

// ---- Animation and stage binding -------------------------------------------------------

class StageBinding : public TextureRegistry {
  protected:
    void SetUp() override {
        TextureRegistry::SetUp();
        MakeDevice();
        Write("textures\\bialy.tga", Tga(0xFFFFFFFF));
        Write("textures\\scr.tga", Tga(0xFF000080));
        Write("textures\\scr_normal.tga", Tga(0xFF808000));
        Write("textures\\f1.tga", Tga(0xFFFF0000));
        Write("textures\\f2.tga", Tga(0xFF00FF00));
        Write("textures\\f3.tga", Tga(0xFF0000FF));
        Write("textures\\add.tga", Tga(0xFF00FFFF));
        Write("textures\\plain.tga", Tga(0xFFFF00FF));
        Write("scripts\\textures.txt",
              "texture scr.tga\nanimation_frame f1.tga\nanimation_frame f2.tga\nanimation_frame f3.tga\n"
              "animation_speed 0.5\ntexture add.tga\nadditive\n");
        Init();
        g_Renderer.InitWorld();
        EMesh mesh;
        scr_ = g_Renderer.GetTexture(g_Renderer.LoadMeshTextures("scr.tga", &mesh, 0));
        g_Renderer.UnlinkMesh(&mesh);
        ASSERT_NE(scr_, nullptr);
        g_Renderer.m_fFrameTime = 0.2f;
    }
    void TearDown() override {
        g_Renderer.EndWorld();
        TextureRegistry::TearDown();
    }
    // One engine frame of the renderer, then a binding.
    void Frame(strtexture* t, bool normal = true) {
        ++g_Renderer.m_dwFrame;
        g_Renderer.BindTextureStages(t, normal);
    }
    strtexture* scr_ = nullptr;
};

TEST_F(StageBinding, AnimationStepsOncePerFrame) {
    EXPECT_TRUE(scr_->bAnimated);
    EXPECT_EQ(scr_->dwFrameCount, 3u);
    const float timers[] = {0.2f, 0.4f};
    for (float expected : timers) {
        Frame(scr_);
        EXPECT_FLOAT_EQ(scr_->fFrameTimer, expected);
        EXPECT_EQ(scr_->dwCurrentFrame, 0u);
    }
    Frame(scr_);
    EXPECT_EQ(scr_->dwCurrentFrame, 1u);
    EXPECT_EQ(StageColour(0), 0xFFFF0000u);
    // A second pass in the same frame binds the same image and does not step.
    g_Renderer.BindTextureStages(scr_, true);
    g_Renderer.BindTextureStages(scr_, true);
    EXPECT_EQ(scr_->dwCurrentFrame, 1u);
    EXPECT_EQ(scr_->fFrameTimer, 0.0f);
    // A timer of exactly the frame time does not advance.
    g_Renderer.m_fFrameTime = 0.5f;
    Frame(scr_);
    EXPECT_EQ(scr_->dwCurrentFrame, 1u);
    g_Renderer.m_fFrameTime = 0.6f;
    Frame(scr_); // frame 2
    Frame(scr_); // frame 3
    EXPECT_EQ(StageColour(0), 0xFF0000FFu);
    Frame(scr_); // back to the texture itself
    EXPECT_EQ(scr_->dwCurrentFrame, 0u);
    EXPECT_EQ(StageColour(0), 0xFF000080u);
}

TEST_F(StageBinding, PauseStopAndPlay) {
    g_Renderer.m_fFrameTime = 0.6f;
    Frame(scr_);
    Frame(scr_);
    ASSERT_EQ(scr_->dwCurrentFrame, 2u);
    AnimationPause("scr.tga");
    Frame(scr_);
    EXPECT_EQ(scr_->dwCurrentFrame, 2u);
    EXPECT_EQ(StageColour(0), 0xFF00FF00u);
    AnimationPlay("scr.tga");
    Frame(scr_);
    EXPECT_EQ(scr_->dwCurrentFrame, 3u);
    AnimationStop("scr.tga");
    EXPECT_EQ(scr_->dwCurrentFrame, 0u);
    Frame(scr_);
    EXPECT_EQ(StageColour(0), 0xFF000080u);
    AnimationPause("nothing.tga");
    EXPECT_NE(LastConsoleLines(1).find("AnimationPause: not found nothing.tga"), std::string::npos);
    AnimationPlay(nullptr);
}

// SetTexture binds the record's texture, and a record without one leaves
// the stage empty, not holding the texture bound before; an id without a
// record changes nothing.
TEST_F(StageBinding, SetTextureBindsTheRecordsTextureEvenWhenItHasNone) {
    strtexture* add = g_Renderer.LoadTexture("add.tga", 0, 0, 0);
    strtexture* plain = g_Renderer.LoadTexture("plain.tga", 0, 0, 0);
    ASSERT_TRUE(add && plain);
    const uint32_t empty = StageColour(0); // nothing bound yet
    g_Renderer.SetTexture(0, add->id);
    EXPECT_EQ(StageColour(0), 0xFF00FFFFu);
    g_Renderer.SetTexture(0, 1024);
    g_Renderer.SetTexture(0, 0);
    EXPECT_EQ(StageColour(0), 0xFF00FFFFu) << "no record: the stage keeps its texture";
    gfx::Texture* kept = plain->pTexture;
    plain->pTexture = nullptr; // its image failed to load
    g_Renderer.SetTexture(0, plain->id);
    plain->pTexture = kept;
    EXPECT_EQ(StageColour(0), empty) << "the record's empty texture";
}

TEST_F(StageBinding, StagesPerFlagCombination) {
    strtexture* add = g_Renderer.LoadTexture("add.tga", 0, 0, 0);
    strtexture* plain = g_Renderer.LoadTexture("plain.tga", 0, 0, 0);
    ASSERT_TRUE(add && plain);
    struct Case {
        const char* name;
        strtexture* t;
        bool normal, drawTextures;
        uint32_t stage0, stage1; // 0: stage 1 keeps the previous texture
        bool warns;
    };
    const Case cases[] = {
        {"normal map on stage 1", scr_, true, true, 0xFF000080, 0xFF808000, false},
        {"no normal map asked: stage 1 kept", plain, false, true, 0xFFFF00FF, 0, false},
        {"missing normal map: the image stands in", plain, true, true, 0xFFFF00FF, 0xFFFF00FF, true},
        {"additive without normal map: stage 1 kept", add, true, true, 0xFF00FFFF, 0, false},
        {"textures off: white on stage 0", plain, true, false, 0xFFFFFFFF, 0xFFFF00FF, true},
    };
    for (const Case& c : cases) {
        DrawTextures = c.drawTextures;
        g_pD3DInterface->SetTexture(1, nullptr);
        g_Console.Print("-");
        g_Renderer.BindTextureStages(c.t, c.normal);
        EXPECT_EQ(StageColour(0), c.stage0) << c.name;
        EXPECT_EQ(StageColour(1), c.stage1 ? c.stage1 : 0xFFFFFFFFu) << c.name;
        const bool warned = LastConsoleLines(1).find(" - brak normala!") != std::string::npos;
        EXPECT_EQ(warned, c.warns) << c.name;
    }
    // Frames show their own images with textures off.
    DrawTextures = false;
    g_Renderer.m_fFrameTime = 0.6f;
    Frame(scr_);
    EXPECT_EQ(StageColour(0), 0xFFFF0000u);
}

// ---- Reports -----------------------------------------------------------------------------

TEST_F(TextureRegistry, Reports) {
    Write("a\\x.tga", Tga(0xFFFFFFFF));
    Write("b\\x.dds", Dds(4, 0xFFFFFFFF));
    Write("b\\y.tga", Tga(0xFFFFFFFF));
    Write("scripts\\textures.txt", "texture y.tga\n");
    Init();
    RaportUndefinedTextures = true;
    RaportDoubleTextures = true;
    g_Renderer.Update();
    EXPECT_FALSE(RaportUndefinedTextures);
    EXPECT_FALSE(RaportDoubleTextures);
    EXPECT_EQ(Read("UndefinedTextures.txt"), "Textures not defined in scripts:\n\n.\\b\\x.dds\n.\\a\\x.tga\n");
    EXPECT_EQ(Read("DoubleTextures.txt"),
              "Duplicated textures:\n\n\n0: Found duplicated texture:\n.\\b\\x.dds\n.\\a\\x.tga\n");
}

} // namespace

namespace {

// Every texture the demo meshes and descriptions name is a file of the demo
// data: a missing one would end the game at its first load.
TEST(DemoTextures, EveryNamedTextureExists) {
    const std::string data = std::string(ZT_SOURCE_DIR) + "/data";
    const std::string saved = os::StartDirectory();
    os::SetStartDirectory(data);
    g_Renderer.ReleaseTexturePaths();
    g_Renderer.Init();
    std::vector<std::string> named;
    // Meshes in every form: read them as the mesh manager does.
    for (const char* folder : {"/models", "/prefabs"}) {
        for (const auto& e : fs::recursive_directory_iterator(data + folder)) {
            if (e.path().extension() != ".x") continue;
            mesh::XFile x;
            std::string error;
            ASSERT_TRUE(mesh::ReadXFile(e.path().string(), &x, &error)) << error;
            for (const mesh::XMesh& m : x.meshes)
                for (const mesh::XMaterial& mat : m.materials)
                    if (!mat.textureFile.empty()) named.push_back(mat.textureFile);
        }
    }
    for (const strtexturepaths* p = g_Renderer.FirstTexturePath(); p; p = p->next) {
        const TextureDescription& d = p->desc;
        for (const char* f : {d.szNormal, d.szDetail, d.szLava, d.szAddWater, d.szEnvironmental, d.szGrow,
                              d.szMultitextureR, d.szMultitextureG, d.szMultitextureB}) {
            if (*f) named.push_back(f);
        }
        for (uint32_t k = 0; k < p->dwFrames; ++k)
            named.push_back(p->pFrames[k]);
    }
    EXPECT_GE(named.size(), 8u);
    for (const std::string& n : named) {
        EXPECT_NE(g_Renderer.FindTexturePath(NormalizeTextureName(n.c_str())), nullptr) << n;
    }
    g_Renderer.ReleaseTexturePaths();
    os::SetStartDirectory(saved);
}

} // namespace
