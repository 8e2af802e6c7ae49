// The window and device that drawing benchmarks run on: SDL's offscreen
// driver, a windowed X8R8G8B8 back buffer of the given size with a D24S8
// depth-stencil buffer, presented without waiting. Where no window or device
// can be made, `dev` stays null and the benchmark skips.
#pragma once

#include <cstdlib>
#include <memory>

#include "platform/gfx/Device.h"
#include "platform/window/Window.h"

namespace bench {

struct HeadlessDevice {
    // The window keeps its default size unless one is given.
    HeadlessDevice(const char* title, unsigned width, unsigned height, int windowWidth = 0,
                   int windowHeight = 0) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window::CreateParams p;
        p.title = title;
        if (windowWidth > 0 && windowHeight > 0) {
            p.width = windowWidth;
            p.height = windowHeight;
        }
        win = window::CreateWindow(p);
        d3d = win ? gfx::CreateInterface() : nullptr;
        if (!d3d) return;
        gfx::PresentParameters pp;
        pp.BackBufferWidth = width;
        pp.BackBufferHeight = height;
        pp.BackBufferFormat = gfx::Format::X8R8G8B8;
        pp.Windowed = true;
        pp.EnableAutoDepthStencil = true;
        pp.AutoDepthStencilFormat = gfx::Format::D24S8;
        pp.PresentationInterval = gfx::PresentIntervalImmediate;
        d3d->CreateDevice(0, gfx::DeviceType::Hal, win.get(), gfx::create::HardwareVertexProcessing, &pp,
                          &dev);
    }
    ~HeadlessDevice() {
        if (dev) dev->Release();
        if (d3d) d3d->Release();
    }
    HeadlessDevice(const HeadlessDevice&) = delete;
    HeadlessDevice& operator=(const HeadlessDevice&) = delete;

    std::unique_ptr<window::Window> win;
    gfx::Interface* d3d = nullptr;
    gfx::Device* dev = nullptr;
};

} // namespace bench
