// The sky drawn once a frame: the demo world's sky.x (six subsets, one of
// them blended) on the headless device at 1024 x 768, in a scratch copy of
// the demo data (the mesh manager writes its cache beside the meshes).
// Reports wall time: llvmpipe rasterises on threads of its own. A few frames
// before the timed ones build the sky's programs, so that the time is the
// steady frame's, not the first draw's compiling.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/D3DMain.h"
#include "app/Options.h"
#include "app/Orientation.h"
#include "bench/HeadlessDevice.h"
#include "platform/gfx/Draw.h"
#include "platform/os/Os.h"
#include "render/EnvironmentSettings.h"
#include "render/MeshMgr.h"
#include "render/Renderer.h"
#include "world/Camera.h"
#include "world/Engine.h"

namespace {

namespace fs = std::filesystem;

struct SkyScene : bench::HeadlessDevice {
    SkyScene() : HeadlessDevice("sky bench", 1024, 768) {
        if (!d3d) return;
        dir = fs::temp_directory_path() / ("zt_sky_bench_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::copy(fs::path(ZT_SOURCE_DIR) / "data", dir, fs::copy_options::recursive);
        saved = os::StartDirectory();
        os::SetStartDirectory(dir.string());
        g_pD3DInterface = dev;
        screenwidth = 1024;
        screenheight = 768;
        g_Renderer.ReleaseTexturePaths();
        g_Renderer.Init();
        g_Camera.SetProjection();
        orientation o;
        o.SetDirection(math::Vec3(0.3f, 0.5f, 0.8f));
        g_Camera.SetPosition(math::Vec3(100, 64, -200));
        g_Camera.SetOrientation(o);
        g_Camera.UpdateViewMatrix();
        sky = g_EnvironmentSettings.CreateSkyObject("models\\sky.x");
        g_Engine.m_bWorldShown = 1;
    }
    ~SkyScene() {
        if (!d3d) return;
        g_Engine.m_bWorldShown = 0;
        g_EnvironmentSettings.DeleteSkyObject();
        g_MeshMgr.ReleaseAll();
        g_Renderer.ReleaseTextures();
        g_Renderer.ReleaseTexturePaths();
        g_pD3DInterface = nullptr;
        os::SetStartDirectory(saved);
        fs::remove_all(dir);
    }
    fs::path dir;
    std::string saved;
    ObjectRecord* sky = nullptr;
};

void BM_RenderSky(benchmark::State& state) {
    SkyScene s;
    if (!s.dev || !s.sky) return state.SkipWithError("no device or no sky");
    auto frame = [&s] {
        s.dev->BeginScene();
        g_EnvironmentSettings.RenderSky();
        s.dev->EndScene();
        s.dev->Present();
    };
    for (int i = 0; i < 5; ++i)
        frame();
    for (auto _ : state)
        frame();
}
BENCHMARK(BM_RenderSky)->UseRealTime();

} // namespace
