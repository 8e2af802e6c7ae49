// The blocks of a save file in their order: the post-processing block and
// then the environment block come after the camera's, so a load gives the
// settings back, the clear colour comes back through the camera's block,
// and "FogR/G/B" keep what the running world gave them.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "game/SaveMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/PostProcess.h"
#include "world/Camera.h"
#include "world/Engine.h"

namespace {

std::vector<uint8_t> Bytes(std::FILE* f) {
    std::vector<uint8_t> bytes(size_t(std::ftell(f)));
    std::rewind(f);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    return bytes;
}

std::vector<uint8_t> EnvironmentBlock() {
    std::FILE* f = std::tmpfile();
    g_EnvironmentSettings.Save(f);
    std::vector<uint8_t> bytes = Bytes(f);
    std::fclose(f);
    return bytes;
}

class SaveBlocks : public ::testing::Test {
  protected:
    void SetUp() override {
        savedCamera_ = g_Camera;
        savedEnvironment_ = g_EnvironmentSettings;
    }
    void TearDown() override {
        g_Camera = savedCamera_;
        g_EnvironmentSettings = savedEnvironment_;
    }
    ECamera savedCamera_;
    EnvironmentSettings savedEnvironment_;
};

TEST_F(SaveBlocks, TheEnvironmentComesBackAfterTheCamera) {
    g_EnvironmentSettings.SetFogColor(0x00204060u, 0);
    g_EnvironmentSettings.SetFogFar(3000.0f, 0);
    g_EnvironmentSettings.SetAmbientColor(0x00112233u, 2);
    g_EnvironmentSettings.EnableFog();
    const std::vector<uint8_t> environment = EnvironmentBlock();

    std::FILE* f = std::tmpfile();
    g_SaveMgr.WriteBlocks(f);
    // The environment block closes the file, counted on its own.
    EXPECT_EQ(g_BytesWritten, EnvironmentSettings::SAVE_BLOCK_SIZE);
    const std::vector<uint8_t> file = Bytes(f);
    ASSERT_GT(file.size(), environment.size());
    EXPECT_EQ(std::vector<uint8_t>(file.end() - long(environment.size()), file.end()), environment);

    // The running world changes its fog; the load restores the saved one.
    g_EnvironmentSettings.SetFogColor(0x00A0B0C0u, 0);
    g_EnvironmentSettings.SetFogFar(100.0f, 0);
    g_EnvironmentSettings.SetAmbientColor(0, 2);
    g_EnvironmentSettings.DisableFog();
    std::rewind(f);
    g_SaveMgr.ReadBlocks(f);
    EXPECT_EQ(std::ftell(f), long(file.size()));
    EXPECT_EQ(g_BytesRead, EnvironmentSettings::SAVE_BLOCK_SIZE);
    std::fclose(f);

    EXPECT_EQ(EnvironmentBlock(), environment);
    EXPECT_EQ(g_Camera.GetBackgroundColor(), 0x00204060u);
    EXPECT_FLOAT_EQ(g_Console.FindVariable("FogR")->fValue, 160.0f);
    EXPECT_FLOAT_EQ(g_Console.FindVariable("FogG")->fValue, 176.0f);
    EXPECT_FLOAT_EQ(g_Console.FindVariable("FogB")->fValue, 192.0f);
}

TEST_F(SaveBlocks, ThePostProcessingBlockLiesBetweenTheCameraAndTheEnvironment) {
    const EPostProcess saved = g_PostProcess;
    g_PostProcess.m_bBWOn = 1;
    g_PostProcess.m_fRedTintTime = 0.25f;
    g_PostProcess.SetAODepth(12.0f);
    std::FILE* block = std::tmpfile();
    g_PostProcess.Save(block);
    const std::vector<uint8_t> postProcess = Bytes(block);
    std::fclose(block);
    ASSERT_EQ(postProcess.size(), EPostProcess::SaveBlockBytes(g_PostProcess.m_dwNumBWObjects));
    const std::vector<uint8_t> environment = EnvironmentBlock();

    std::FILE* f = std::tmpfile();
    g_SaveMgr.WriteBlocks(f);
    const std::vector<uint8_t> file = Bytes(f);
    const size_t at = file.size() - environment.size() - postProcess.size();
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + long(at), file.end() - long(environment.size())),
              postProcess);

    g_PostProcess.m_bBWOn = 0;
    g_PostProcess.m_fRedTintTime = 0.0f;
    g_PostProcess.SetAODepth(0.0f);
    std::rewind(f);
    g_SaveMgr.ReadBlocks(f);
    EXPECT_EQ(std::ftell(f), long(file.size()));
    EXPECT_EQ(g_PostProcess.m_bBWOn, 1);
    EXPECT_EQ(g_PostProcess.m_fRedTintTime, 0.25f);
    EXPECT_EQ(g_PostProcess.m_fAODepth, 12.0f);
    std::fclose(f);
    g_PostProcess = saved;
}

} // namespace
