// The input work of every 2 ms timer tick and every frame: the keyboard poll,
// the command queries of the game layer and the mouse's event step; and the
// SDL devices taking events from the message pump.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "app/CommandMgr.h"
#include "app/Mouse.h"
#include "platform/input/Input.h"
#include "platform/window/Window.h"
#include "platform/window/sdl/SdlWindow.h"

namespace {

// A keyboard that hands out a fixed state.
class StateKeyboard final : public input::Device {
  public:
    input::DeviceKind Kind() const override { return input::DeviceKind::Keyboard; }
    input::Result SetDataFormat(input::DataFormat) override { return input::Result::Ok; }
    input::Result SetCooperativeLevel(window::Window*, uint32_t) override { return input::Result::Ok; }
    input::Result SetBufferSize(uint32_t) override { return input::Result::Ok; }
    input::Result Acquire() override { return input::Result::Ok; }
    input::Result Unacquire() override { return input::Result::Ok; }
    input::Result GetDeviceState(void* data, uint32_t size) override {
        std::memcpy(data, keys, size < sizeof keys ? size : sizeof keys);
        return input::Result::Ok;
    }
    input::Result GetDeviceData(input::MouseEvent*, uint32_t* count) override {
        *count = 0;
        return input::Result::InvalidParam;
    }
    void Release() override {}
    uint8_t keys[256] = {};
};

void BM_PollKeyboard(benchmark::State& state) {
    StateKeyboard keyboard;
    keyboard.keys[input::dik::W] = 0x80;
    keyboard.keys[input::dik::LShift] = 0x80;
    g_CommandMgr.SetDefaults();
    g_CommandMgr.m_pKeyboard = &keyboard;
    g_CommandMgr.m_bKeyboardReady = true;
    g_CommandMgr.m_bCommand19Latch = true;
    for (auto _ : state) {
        g_CommandMgr.PollKeyboard();
        benchmark::DoNotOptimize(g_CommandMgr.m_KeyStates);
    }
    g_CommandMgr.m_pKeyboard = nullptr;
    g_CommandMgr.m_bKeyboardReady = false;
}
BENCHMARK(BM_PollKeyboard);

// Every command once, as a frame of the player's and menu's queries might.
void BM_IsCommandActiveAllCommands(benchmark::State& state) {
    g_CommandMgr.SetDefaults();
    std::memset(g_CommandMgr.m_KeyStates, 0, sizeof g_CommandMgr.m_KeyStates);
    g_CommandMgr.m_KeyStates[input::dik::S] = 1;
    for (auto _ : state) {
        int active = 0;
        for (int c = 0; c < int(NUM_COMMANDS); ++c)
            active += IsCommandActive(c, 0);
        benchmark::DoNotOptimize(active);
    }
}
BENCHMARK(BM_IsCommandActiveAllCommands);

void BM_MouseApplyEvents(benchmark::State& state) {
    const uint32_t n = uint32_t(state.range(0));
    std::vector<input::MouseEvent> events(n);
    const uint32_t offsets[] = {input::mouseofs::X, input::mouseofs::Y, input::mouseofs::Z,
                                input::mouseofs::Button0};
    for (uint32_t i = 0; i < n; ++i) {
        events[i].offset = offsets[i % 4];
        events[i].data = (i % 4 == 3) ? ((i / 4) % 2 ? 0x80 : 0) : int32_t(i % 7) - 3;
    }
    MouseFrame frame;
    frame.iLevelFrame = 1000;
    frame.iFramesSinceCinematic = 1000;
    for (auto _ : state) {
        g_Mouse.ApplyEvents(events.data(), n, frame);
        benchmark::DoNotOptimize(g_Mouse.m_State);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
}
BENCHMARK(BM_MouseApplyEvents)->Arg(4)->Arg(64)->Arg(1024);

// Motion events through the pump into an acquired SDL mouse and out again.
void BM_SdlMouseEventsThroughThePump(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    window::CreateParams p;
    p.title = "input bench";
    std::unique_ptr<window::Window> w = window::CreateWindow(p);
    input::Interface* di = input::Create();
    if (!w || !di) {
        state.SkipWithError("no window");
        return;
    }
    input::Device* mouse = nullptr;
    di->CreateDevice(input::DeviceKind::Mouse, &mouse);
    mouse->SetDataFormat(input::DataFormat::Mouse2);
    mouse->SetCooperativeLevel(w.get(), input::coop::Exclusive | input::coop::Foreground);
    mouse->SetBufferSize(EMouse::BUFFER_SIZE);
    mouse->Acquire();
    const uint32_t id = SDL_GetWindowID(window::sdl::NativeWindow(w.get()));
    std::vector<input::MouseEvent> out(EMouse::BUFFER_SIZE);
    window::Message m;
    for (auto _ : state) {
        for (int i = 0; i < 16; ++i) {
            SDL_Event e{};
            e.type = SDL_MOUSEMOTION;
            e.motion.windowID = id;
            e.motion.xrel = i;
            e.motion.yrel = -i;
            SDL_PushEvent(&e);
        }
        while (window::PeekMessage(m)) {
        }
        uint32_t n = EMouse::BUFFER_SIZE;
        mouse->GetDeviceData(out.data(), &n);
        benchmark::DoNotOptimize(n);
    }
    mouse->Release();
    di->Release();
}
BENCHMARK(BM_SdlMouseEventsThroughThePump);

} // namespace
