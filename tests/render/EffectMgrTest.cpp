// The effect manager over a scratch fx folder on the real headless device:
// which files load under which names, the record's handles, the console
// lines of refused effects, the device notices and the release.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "platform/os/Os.h"
#include "render/EffectMgr.h"
#include "tests/EffectDevice.h"
#include "tests/TestDir.h"

namespace fs = std::filesystem;

namespace {

// A file of the test effects under tests/render/fx.
fs::path TestEffect(const char* name) {
    return fs::path(ZT_SOURCE_DIR) / "tests" / "render" / "fx" / name;
}

class EffectMgrTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(d_.dev, nullptr);
        g_pD3DInterface = d_.dev;
        dir_ = FreshTestDir("zt_effectmgr_");
        fs::create_directories(dir_ / "fx");
        old_ = os::StartDirectory();
        os::SetStartDirectory(dir_.string());
        g_Console.Print(kMark);
    }
    void TearDown() override {
        g_EffectMgr.Destroy();
        g_pD3DInterface = nullptr;
        os::SetStartDirectory(old_);
        fs::remove_all(dir_);
    }

    void Copy(const char* from, const std::string& to) { fs::copy_file(TestEffect(from), dir_ / "fx" / to); }
    void Write(const std::string& name, const std::string& text) { std::ofstream(dir_ / "fx" / name) << text; }

    // Whether a line printed since SetUp starts with `text`.
    static bool Printed(const std::string& text) {
        char lines[EConsole::NUM_LINES][EConsole::LINE_LEN];
        int mark = -1;
        for (int i = 0; i < EConsole::NUM_LINES; ++i) {
            g_Console.CopyLine(i, lines[i]);
            if (std::strcmp(lines[i], kMark) == 0) mark = i;
        }
        for (int i = mark + 1; i < EConsole::NUM_LINES; ++i)
            if (std::strncmp(lines[i], text.c_str(), text.size()) == 0) return true;
        return false;
    }

    static int Count() {
        int n = 0;
        for (EffectRecord* r = g_EffectMgr.m_pEffects; r; r = r->pNext)
            ++n;
        return n;
    }

    static constexpr const char* kMark = "--- effect test ---";
    EffectDevice d_;
    fs::path dir_;
    std::string old_;
};

TEST_F(EffectMgrTest, LoadsEachFileOnceUnderItsNameAndFindsItWithoutCase) {
    Copy("ambient.glfx", "ambient.glfx");
    Copy("SimpleMesh.glfx", "SkyLight.glfx");
    Copy("SimpleMesh.glfx", "skylight.glfx");
    Copy("SimpleMesh.glfx", "ab.glfx");
    Copy("SimpleMesh.glfx", ".hidden.glfx");
    Copy("SimpleMesh.glfx", "x.txt");
    fs::create_directories(dir_ / "fx" / "folder.glfx");
    g_EffectMgr.Init();

    EXPECT_EQ(Count(), 3);
    ASSERT_NE(g_EffectMgr.FindEffect("AMBIENT"), nullptr);
    EXPECT_STREQ(g_EffectMgr.FindEffect("AMBIENT")->name, "ambient");
    EXPECT_STREQ(g_EffectMgr.FindEffect("ambient")->path, "fx\\ambient.fxc");
    // Listed by name, so SkyLight comes before skylight and is the one kept.
    ASSERT_NE(g_EffectMgr.FindEffect("skylight"), nullptr);
    EXPECT_STREQ(g_EffectMgr.FindEffect("skylight")->path, "fx\\SkyLight.fxc");
    EXPECT_NE(g_EffectMgr.FindEffect("ab"), nullptr);
    EXPECT_EQ(g_EffectMgr.FindEffect("folder"), nullptr);
    EXPECT_EQ(g_EffectMgr.FindEffect("hidden"), nullptr);
    EXPECT_EQ(g_EffectMgr.FindEffect(nullptr), nullptr);
    // Newest first: the last listed of "SkyLight", "ab", "ambient".
    EXPECT_STREQ(g_EffectMgr.m_pEffects->name, "ambient");
    EXPECT_EQ(g_EffectMgr.CreateEffect("SKYLIGHT", "fx\\skylight.fxc"), g_EffectMgr.FindEffect("skylight"));
    EXPECT_EQ(Count(), 3);
}

TEST_F(EffectMgrTest, RecordsHoldTheHandlesTheEffectDeclaresAndNullForTheRest) {
    Copy("ambient.glfx", "ambient.glfx");
    Copy("SimpleMesh.glfx", "SimpleMesh.glfx");
    g_EffectMgr.Init();
    const EffectRecord* a = g_EffectMgr.FindEffect("ambient");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->hTechnique, a->pEffect->GetTechniqueByName("RenderScene"));
    EXPECT_TRUE(a->g_mWorldViewProjection);
    EXPECT_EQ(a->g_fFarClip, a->pEffect->GetParameterByName({}, "g_fFarClip"));
    EXPECT_TRUE(a->g_bDrawTransparent);
    EXPECT_TRUE(a->g_Texture);
    EXPECT_TRUE(a->RenderScene);
    EXPECT_TRUE(a->RenderSceneBase);
    EXPECT_FALSE(a->g_SkyLightDir);
    EXPECT_FALSE(a->g_vLightPos);
    EXPECT_FALSE(a->RenderSkinMesh);
    EXPECT_FALSE(a->g_fOcclusionData);

    const EffectRecord* s = g_EffectMgr.FindEffect("simplemesh");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->hTechnique);
    EXPECT_FALSE(s->g_mWorldViewProjection);
    EXPECT_FALSE(s->RenderScene);
}

TEST_F(EffectMgrTest, RefusedEffectsPrintTheirLinesAndTheRestLoad) {
    Copy("ambient.glfx", "ambient.glfx");
    Write("broken.glfx", "parameter float4 g_Color = {1, 0, 0};\n");
    Write("nolink.glfx", "glsl vertex vs { float missing(); void main() { gl_Position = vec4(missing()); } }\n"
                         "glsl fragment fs { void main() { } }\n"
                         "technique T { pass { vertex vs; fragment fs; } }\n");
    g_EffectMgr.Init();
    EXPECT_TRUE(Printed("effect broken (fx\\broken.fxc) create error D3DXERR_INVALIDDATA (2905)!"));
    EXPECT_TRUE(Printed("fx\\broken.glfx:1: 'g_Color' needs 4 values, 3 given"));
    EXPECT_TRUE(Printed("effect fx\\nolink.fxc - no valid technique!"));
    EXPECT_EQ(g_EffectMgr.FindEffect("broken"), nullptr);
    EXPECT_EQ(g_EffectMgr.FindEffect("nolink"), nullptr);
    EXPECT_NE(g_EffectMgr.FindEffect("ambient"), nullptr);

    // Without a device the creation is an invalid call.
    g_pD3DInterface = nullptr;
    EXPECT_EQ(g_EffectMgr.CreateEffect("late", "fx\\ambient.fxc"), nullptr);
    EXPECT_TRUE(Printed("effect late (fx\\ambient.fxc) create error D3DERR_INVALIDCALL (2156)!"));
}

TEST_F(EffectMgrTest, LostAndResetKeepEveryRecordEffectAndHandle) {
    Copy("ambient.glfx", "ambient.glfx");
    g_EffectMgr.Init();
    EffectRecord* a = g_EffectMgr.FindEffect("ambient");
    ASSERT_NE(a, nullptr);
    effect::Effect* e = a->pEffect;
    const effect::Handle wvp = a->g_mWorldViewProjection, tech = a->hTechnique;
    a->pEffect->SetFloat(a->g_fFarClip, 512.0f);
    g_EffectMgr.OnLostDevice();
    g_EffectMgr.OnResetDevice();
    EXPECT_EQ(g_EffectMgr.FindEffect("ambient"), a);
    EXPECT_EQ(a->pEffect, e);
    EXPECT_EQ(a->g_mWorldViewProjection, wvp);
    EXPECT_EQ(a->hTechnique, tech);
    float far = 0;
    a->pEffect->GetFloat(a->g_fFarClip, &far);
    EXPECT_EQ(far, 512.0f);
}

TEST_F(EffectMgrTest, RecordsAreCountedUnderOneTagAndDestroyFreesTheirEffects) {
    Copy("ambient.glfx", "ambient.glfx");
    Copy("SimpleMesh.glfx", "SimpleMesh.glfx");
    g_Debug.ClearAllocations();
    g_bTrackAllocations = true;
    g_EffectMgr.Init();
    EXPECT_EQ(g_Debug.GetAllocationCount("efekt"), 2u);
    effect::Effect* kept = g_EffectMgr.FindEffect("ambient")->pEffect;
    kept->AddRef();
    g_EffectMgr.Destroy();
    EXPECT_EQ(g_Debug.GetAllocationCount("efekt"), 0u);
    EXPECT_EQ(g_Debug.GetAllocationCount("m_pEffects"), 0u);
    EXPECT_EQ(g_EffectMgr.m_pEffects, nullptr);
    EXPECT_EQ(kept->Release(), 0u) << "the manager released its reference";
    g_bTrackAllocations = false;
    g_Debug.ClearAllocations();
}

TEST_F(EffectMgrTest, NamesAndPathsOver255CharactersAreSkipped) {
    Copy("ambient.glfx", "ambient.glfx");
    const std::string longName(256, 'a');
    const std::string longPath = "fx\\" + std::string(253, 'b') + ".fxc";
    EXPECT_EQ(g_EffectMgr.CreateEffect(longName.c_str(), "fx\\ambient.fxc"), nullptr);
    EXPECT_EQ(g_EffectMgr.CreateEffect("ambient", longPath.c_str()), nullptr);
    EXPECT_EQ(Count(), 0);
    const std::string name255(255, 'c');
    ASSERT_NE(g_EffectMgr.CreateEffect(name255.c_str(), "fx\\ambient.fxc"), nullptr);
    EXPECT_EQ(std::strlen(g_EffectMgr.m_pEffects->name), 255u);
    // A path shorter than 4 characters gives nothing, silently.
    EXPECT_EQ(g_EffectMgr.CreateEffect("short", "fx\\"), nullptr);
}

TEST_F(EffectMgrTest, AddEffectParamAndSetEffectFloat) {
    effect::Handle h;
    AddEffectParam(&h, "g_fFarClip");
    EXPECT_FALSE(h) << "an empty list does nothing";
    AddEffectParam(nullptr, "g_fFarClip");
    EXPECT_TRUE(Printed("AddEffectParam: one of params is NULL"));
    Copy("ambient.glfx", "ambient.glfx");
    g_EffectMgr.Init();
    AddEffectParam(&h, "g_fFarClip");
    ASSERT_TRUE(h);
    EffectRecord* a = g_EffectMgr.FindEffect("ambient");
    SetEffectFloat(a->pEffect, h, 3.0f);
    SetEffectFloat(nullptr, h, 4.0f);
    float v = 0;
    a->pEffect->GetFloat(h, &v);
    EXPECT_EQ(v, 3.0f);
}

} // namespace
