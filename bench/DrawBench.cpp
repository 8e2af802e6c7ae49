// Per-frame screen drawing on the headless device: a screen rectangle in the
// 2D state, a console line in the TrueType font, a bitmap-font text (its
// buffer made and freed per call), and the CPU side of text measuring and
// image resampling that loading screens use.
// Benchmarks that draw report wall time: llvmpipe rasterises on threads of
// its own, which the CPU time of this thread leaves out.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "app/D3DMain.h"
#include "app/ERect.h"
#include "app/Font.h"
#include "app/Options.h"
#include "app/TTFont.h"
#include "bench/HeadlessDevice.h"
#include "platform/font/Font.h"
#include "platform/gfx/Draw.h"
#include "platform/image/Image.h"
#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "render/Renderer.h"

namespace {

// The program's device, headless, with the demo data as the data directory.
struct Screen : bench::HeadlessDevice {
    Screen() : HeadlessDevice("draw bench", 1024, 768) {
        os::SetStartDirectory((std::filesystem::path(ZT_SOURCE_DIR) / "data").string());
        g_Renderer.ReleaseTexturePaths();
        g_Renderer.Init();
        if (!d3d) return;
        g_pD3DInterface = dev;
        screenwidth = 1024;
        screenheight = 768;
        g_f2DScaleX = g_f2DScaleY = 1.0f;
        g_TTFont.Create();
        g_Font.EnsureFonts();
    }
    ~Screen() {
        g_Font.Release();
        g_TTFont.Release();
        g_Renderer.ReleaseTextures();
        g_pD3DInterface = nullptr;
    }
};

void BM_ScreenRectIn2DState(benchmark::State& state) {
    Screen s;
    if (!s.dev) return state.SkipWithError("no device");
    ERect r;
    r.Create("menu_black.tga", 0, 0, 1024, 768, 0x80000000);
    for (auto _ : state) {
        r.BeginRender2D(false);
        r.Render(true);
        r.EndRender2D();
    }
}
BENCHMARK(BM_ScreenRectIn2DState)->UseRealTime();

void BM_TrueTypeConsoleLine(benchmark::State& state) {
    Screen s;
    if (!s.dev) return state.SkipWithError("no device");
    const char* line = "StartWorld worlds\\test.w: 1234 objects, 56 lights, 7 effects";
    for (auto _ : state)
        g_TTFont.DrawText(line, 14, 8, 0xFF80FF80, false, false);
}
BENCHMARK(BM_TrueTypeConsoleLine)->UseRealTime();

void BM_BitmapFontPrint(benchmark::State& state) {
    Screen s;
    if (!s.dev) return state.SkipWithError("no device");
    g_Font.BeginText();
    for (auto _ : state)
        g_Font.Print("EU: EngineObjects Update:  ", 512, 32, 0xFFFFFFFF, 14, 0, false, true);
    g_Font.EndText();
}
BENCHMARK(BM_BitmapFontPrint)->UseRealTime();

void BM_MeasureText(benchmark::State& state) {
    std::unique_ptr<font::Face> face = font::Face::Create("Tahoma", 18);
    if (!face) return state.SkipWithError("no face");
    const char* line =
        "Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1 - the console's longest line of eighty char";
    for (auto _ : state)
        benchmark::DoNotOptimize(face->TextWidth(line));
}
BENCHMARK(BM_MeasureText);

void BM_ResampleLoadingPicture(benchmark::State& state) {
    image::Image src;
    src.width = 800;
    src.height = 512;
    src.pixels.assign(size_t(800) * 512, 0xFF406080);
    for (auto _ : state)
        benchmark::DoNotOptimize(image::Resample(src, 1200, 768).pixels.data());
}
BENCHMARK(BM_ResampleLoadingPicture);

} // namespace
