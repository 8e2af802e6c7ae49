// A real device headless for the effect tests: a small back buffer, pixel
// read-back, 1 x 1 textures of one colour, and effects made from text.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/window/Window.h"
#include "tests/HeadlessGfx.h"

struct EffectDevice {
    static constexpr uint32_t kW = 32, kH = 32;

    EffectDevice() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window::CreateParams p;
        p.title = "effect test";
        win = window::CreateWindow(p);
        d3d = win ? gfx::CreateInterface() : nullptr;
        if (!d3d) return;
        gfx::PresentParameters pp = HeadlessPresentParams(kW, kH);
        d3d->CreateDevice(0, gfx::DeviceType::Hal, win.get(), gfx::create::HardwareVertexProcessing, &pp, &dev);
    }
    ~EffectDevice() {
        for (gfx::Texture* t : textures)
            t->Release();
        if (dev) dev->Release();
        if (d3d) d3d->Release();
    }
    EffectDevice(const EffectDevice&) = delete;
    EffectDevice& operator=(const EffectDevice&) = delete;

    // The effect of a text, or null with the error reported as a failure.
    effect::Effect* Make(const std::string& text, const char* name = "fx\\test.glfx") {
        effect::Effect* e = nullptr;
        std::string errors;
        const gfx::Result r = effect::CreateEffect(dev, text, name, 0, &e, &errors);
        EXPECT_EQ(r, gfx::Result::Ok) << errors;
        return e;
    }

    std::vector<uint32_t> Read() {
        std::vector<uint32_t> px(kW * kH, 0);
        gfx::Surface* bb = nullptr;
        dev->GetRenderTarget(0, &bb);
        dev->ReadPixels(bb, px.data(), kW);
        bb->Release();
        return px;
    }
    uint32_t Pixel(uint32_t x, uint32_t y) { return Read()[y * kW + x] & 0xFFFFFF; }

    // A 1 x 1 texture of one ARGB colour, kept until the device goes.
    gfx::Texture* Texture(uint32_t argb) {
        gfx::Texture* t = nullptr;
        dev->CreateTexture(1, 1, 1, 0, gfx::Format::A8R8G8B8, gfx::Pool::Managed, &t);
        gfx::LockedRect r;
        t->LockRect(0, &r, nullptr, 0);
        *static_cast<uint32_t*>(r.pBits) = argb;
        t->UnlockRect(0);
        textures.push_back(t);
        return t;
    }

    std::unique_ptr<window::Window> win;
    gfx::Interface* d3d = nullptr;
    gfx::Device* dev = nullptr;
    std::vector<gfx::Texture*> textures;
};
