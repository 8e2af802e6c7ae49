// The video settings: the option block that "save\video.cfg" stores (35 bytes,
// little-endian, version 5), the device-derived option flags, and the
// video-memory measures that choose the defaults.
//
// The file is read only when it is whole: exactly 35 bytes with version 5.
// Anything else (missing, short, long, another version) is replaced by the
// defaults for the measured video memory, written at once; all but a missing
// file are reported in the log. The file is written whole or not at all
// (os::AtomicFile); one that cannot be written stays as it was, and the log
// says why. The four levels are clamped to 0..2 on reading.
//
// Options that the console also sets (DrawShadows, DrawAnimatedShadows,
// DrawNotImportant, SimpleRender, DrawGrass) live in app/Options.h. Main
// thread only.
#pragma once

#include <cstdint>

namespace gfx {
class Interface;
}

constexpr uint32_t VIDEO_CFG_VERSION = 5;
constexpr uint32_t VIDEO_CFG_SIZE = 35;
constexpr const char* VIDEO_CFG_FILE = "save\\video.cfg";

// Options stored only in "save\video.cfg".
extern bool OptionMV01;
extern bool OptionMV08;
extern bool OptionMV16;
extern bool OptionMV06;
extern bool OptionAlwaysOn;
extern bool OptionMV05;
extern bool OptionMV20;
extern bool OptionMV22;
extern bool OptionMV21;
extern bool UsePS20;
extern uint32_t FilterLevel;
extern uint32_t ShadowMapLevel;
extern uint32_t TextureLevel;
extern uint32_t WaterTextureLevel;

// Found when the device is made.
extern bool NoLightMode;
extern bool AntialiasingSupported;
extern bool PixelShader20;
extern bool PixelShader30;
extern bool DepthFormatFound;

// Total local video memory in MB and its class (0 best .. 2 least).
extern uint32_t g_dwTotalVideoMemoryMB;
extern uint32_t g_dwVideoMemoryClass;

// The adapter interface the measures ask (set by the process entry).
extern gfx::Interface* g_pD3D;

// Free and total local video memory in bytes; 0 in reduced-render mode
// (SimpleRender) or without an adapter interface.
uint32_t QueryLocalVideoMemory();
uint32_t QueryTotalVideoMemory();
// 0 from 261 MB, 1 from 130 to 260 MB, 2 up to 129 MB.
uint32_t VideoMemoryClass(uint32_t megabytes);

// Measures the video memory, then reads the file; true when it was read.
// Otherwise the defaults are applied and written, and the result is false.
bool ReadVideoConfig();
void WriteVideoConfig();
// The defaults for the measured class (OptionMV20, OptionMV22, OptionMV21 and
// DrawGrass keep their values), then WriteVideoConfig.
void SetVideoDefaults();
