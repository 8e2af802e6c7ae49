#include "app/VideoConfig.h"

#include <algorithm>
#include <cstdio>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "platform/gfx/Device.h"
#include "platform/os/AtomicFile.h"
#include "platform/os/Os.h"

bool OptionMV01 = true;
bool OptionMV08 = false;
bool OptionMV16 = true;
bool OptionMV06 = true;
bool OptionAlwaysOn = true;
bool OptionMV05 = true;
bool OptionMV20 = true;
bool OptionMV22 = true;
bool OptionMV21 = true;
bool UsePS20 = false;
uint32_t FilterLevel = 0;
uint32_t ShadowMapLevel = 0;
uint32_t TextureLevel = 0;
uint32_t WaterTextureLevel = 0;

bool NoLightMode = false;
bool AntialiasingSupported = false;
bool PixelShader20 = false;
bool PixelShader30 = false;
bool DepthFormatFound = false;

uint32_t g_dwTotalVideoMemoryMB = 0;
uint32_t g_dwVideoMemoryClass = 0;

gfx::Interface* g_pD3D = nullptr;

namespace {

uint32_t Clamp32(uint64_t bytes) {
    return uint32_t(std::min<uint64_t>(bytes, 0xFFFFFFFFu));
}

void MeasureVideoMemory() {
    g_dwTotalVideoMemoryMB = QueryTotalVideoMemory() >> 20;
    g_dwVideoMemoryClass = VideoMemoryClass(g_dwTotalVideoMemoryMB);
}

uint32_t ReadLevel(std::FILE* f) {
    uint32_t v = 0;
    FileRead32(f, &v);
    return std::min<uint32_t>(v, 2);
}

} // namespace

namespace {
// Local video memory in bytes, the total or the free amount; 0 in
// reduced-render mode or without an adapter.
uint32_t QueryVideoMemory(bool total) {
    if (SimpleRender || !g_pD3D) return 0;
    uint64_t totalBytes = 0, freeBytes = 0;
    g_pD3D->QueryVideoMemory(&totalBytes, &freeBytes);
    return Clamp32(total ? totalBytes : freeBytes);
}
} // namespace

uint32_t QueryLocalVideoMemory() {
    return QueryVideoMemory(false);
}

uint32_t QueryTotalVideoMemory() {
    return QueryVideoMemory(true);
}

uint32_t VideoMemoryClass(uint32_t mb) {
    if (mb >= 261) return 0;
    if (mb >= 130) return 1;
    return 2;
}

bool ReadVideoConfig() {
    MeasureVideoMemory();
    const long long size = os::FileSize(VIDEO_CFG_FILE);
    if (size >= 0 && size != VIDEO_CFG_SIZE) {
        g_Console.Printf("%s: %lld bytes, not the %u of its layout: the defaults are written", VIDEO_CFG_FILE,
                         size, VIDEO_CFG_SIZE);
    }
    if (size == VIDEO_CFG_SIZE) {
        if (std::FILE* f = os::OpenFile(VIDEO_CFG_FILE, "rb")) {
            uint32_t version = 0;
            FileRead32(f, &version);
            if (version == VIDEO_CFG_VERSION) {
                FileReadBool(f, &DrawAnimatedShadows);
                FileReadBool(f, &DrawNotImportant);
                FileReadBool(f, &DrawShadows);
                FileReadBool(f, &OptionMV01);
                FileReadBool(f, &OptionMV08);
                FileReadBool(f, &OptionMV16);
                FileReadBool(f, &SimpleRender);
                FileReadBool(f, &OptionMV06);
                FileReadBool(f, &OptionAlwaysOn);
                FileReadBool(f, &OptionMV05);
                FilterLevel = ReadLevel(f);
                ShadowMapLevel = ReadLevel(f);
                TextureLevel = ReadLevel(f);
                WaterTextureLevel = ReadLevel(f);
                FileReadBool(f, &DrawGrass);
                FileReadBool(f, &OptionMV20);
                FileReadBool(f, &UsePS20);
                FileReadBool(f, &OptionMV22);
                FileReadBool(f, &OptionMV21);
                std::fclose(f);
                OptionAlwaysOn = true;
                return true;
            }
            g_Console.Printf("%s: version %u, not %u: the defaults are written", VIDEO_CFG_FILE, version,
                             VIDEO_CFG_VERSION);
            std::fclose(f);
        }
    }
    SetVideoDefaults();
    return false;
}

void SetVideoDefaults() {
    g_dwVideoMemoryClass = VideoMemoryClass(g_dwTotalVideoMemoryMB);
    UsePS20 = false;
    DrawShadows = true;
    OptionMV01 = true;
    DrawAnimatedShadows = true;
    DrawNotImportant = true;
    OptionMV08 = false;
    OptionMV16 = true;
    SimpleRender = false;
    OptionMV06 = true;
    OptionAlwaysOn = true;
    OptionMV05 = true;
    switch (g_dwVideoMemoryClass) {
    case 0:
        FilterLevel = ShadowMapLevel = TextureLevel = WaterTextureLevel = 0;
        break;
    case 1:
        DrawAnimatedShadows = false;
        FilterLevel = 2;
        ShadowMapLevel = 1;
        WaterTextureLevel = 1;
        TextureLevel = 0;
        break;
    default:
        DrawAnimatedShadows = false;
        FilterLevel = ShadowMapLevel = TextureLevel = WaterTextureLevel = 2;
        DrawShadows = OptionMV01 = OptionMV16 = OptionMV06 = OptionMV05 = false;
        break;
    }
    WriteVideoConfig();
}

void WriteVideoConfig() {
    os::AtomicFile file(VIDEO_CFG_FILE);
    std::FILE* f = file.File();
    FileWrite32(f, VIDEO_CFG_VERSION);
    FileWriteBool(f, DrawAnimatedShadows);
    FileWriteBool(f, DrawNotImportant);
    FileWriteBool(f, DrawShadows);
    FileWriteBool(f, OptionMV01);
    FileWriteBool(f, OptionMV08);
    FileWriteBool(f, OptionMV16);
    FileWriteBool(f, SimpleRender);
    FileWriteBool(f, OptionMV06);
    FileWriteBool(f, OptionAlwaysOn);
    FileWriteBool(f, OptionMV05);
    FileWrite32(f, FilterLevel);
    FileWrite32(f, ShadowMapLevel);
    FileWrite32(f, TextureLevel);
    FileWrite32(f, WaterTextureLevel);
    FileWriteBool(f, DrawGrass);
    FileWriteBool(f, OptionMV20);
    FileWriteBool(f, UsePS20);
    FileWriteBool(f, OptionMV22);
    FileWriteBool(f, OptionMV21);
    if (!file.Commit())
        g_Console.Print3(VIDEO_CFG_FILE, " could not be written and stays as it was: ", file.Error().c_str());
}

void EDebug::OnDeviceCreated() {
    m_dwVideoMemoryAtCreation = QueryLocalVideoMemory();
}
