#include "app/ScriptedPlay.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "app/CommandMgr.h"
#include "app/Console.h"
#include "app/InputScript.h"
#include "app/Timer.h"
#include "platform/input/Input.h"
#include "platform/os/Os.h"

namespace scriptedplay {
namespace {

constexpr double kMinFrameTime = 0.001, kMaxFrameTime = 1.0;

// The fixed clock: microseconds, stepped once a frame.
uint64_t g_Microseconds = 0;
uint64_t g_FrameMicroseconds = 0;
uint64_t g_FrameStart = 0; // the wall clock's ticks at the frame's start

uint64_t Counter() {
    return g_Microseconds;
}
uint64_t Frequency() {
    return 1000000;
}
uint32_t Milliseconds() {
    return uint32_t(g_Microseconds / 1000);
}

bool g_Script = false;

// A failed push (a key code without a key on this system) is said once a
// line; the play goes on.
class WindowSink final : public InputScriptSink {
  public:
    window::Window* w = nullptr;
    void Key(uint32_t code, bool down) override {
        if (!input::PushKey(w, uint8_t(code), down)) g_Console.Printf("Input script: key %u not sent", code);
    }
    void Mouse(int32_t dx, int32_t dy) override {
        if (!input::PushMouseMotion(w, dx, dy)) g_Console.Print("Input script: mouse motion not sent");
    }
    void Button(int32_t button, bool down) override {
        if (!input::PushMouseButton(w, button, down))
            g_Console.Printf("Input script: button %d not sent", int(button));
    }
    void Wheel(int32_t steps) override {
        if (!input::PushMouseWheel(w, steps)) g_Console.Print("Input script: wheel not sent");
    }
    void Console(const char* line) override { g_Console.ExecLine(line); }
};

void Refuse(const std::string& what) {
    g_Console.Print(what.c_str());
    std::fprintf(stderr, "%s\n", what.c_str());
}

bool StartFrameTime(const char* value) {
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(value, &end);
    if (end == value || *end || errno || !std::isfinite(seconds) || seconds < kMinFrameTime ||
        seconds > kMaxFrameTime) {
        Refuse(std::string("ZT_FRAME_TIME ") + value + ": not a frame time in seconds (0.001..1)");
        return false;
    }
    g_FrameMicroseconds = uint64_t(std::llround(seconds * 1e6));
    g_Microseconds = 1000000;
    const TimerClock clock = {Counter, Frequency, Milliseconds};
    DXUtilTimerSetClock(&clock);
    return true;
}

bool StartScript(const char* path) {
    // The names the script's keys go by, ahead of the game's own start.
    g_CommandMgr.SetKeyNames();
    std::string error;
    if (!g_InputScript.Load(path, &error)) {
        Refuse(std::string("ZT_INPUT_SCRIPT ") + path + ": " + error);
        return false;
    }
    g_Script = true;
    g_Console.Printf("Input script %s: %u events", path, unsigned(g_InputScript.Events().size()));
    return true;
}

} // namespace

bool Start() {
    const char* frameTime = std::getenv("ZT_FRAME_TIME");
    if (frameTime && *frameTime && !StartFrameTime(frameTime)) return false;
    const char* script = std::getenv("ZT_INPUT_SCRIPT");
    return !script || !*script || StartScript(script);
}

bool ScriptActive() {
    return g_Script;
}

bool FixedFrameTime() {
    return g_FrameMicroseconds != 0;
}

void BeginFrame() {
    if (!g_FrameMicroseconds) return;
    g_FrameStart = os::PerformanceCounter();
    g_Microseconds += g_FrameMicroseconds;
}

void EndFrame(window::Window* w, const char* world, int32_t levelFrame) {
    if (g_Script) {
        // The events of the next frame: the pump before it hands them to the
        // devices and the key messages, and the poll to the key table.
        static WindowSink sink;
        sink.w = w;
        g_InputScript.Play(world, levelFrame + 1, sink);
    }
    if (!g_FrameMicroseconds) return;
    const double frequency = double(os::PerformanceFrequency());
    const double spent =
        double(os::PerformanceCounter() - g_FrameStart) * 1e6 / (frequency > 0 ? frequency : 1);
    const double left = double(g_FrameMicroseconds) - spent;
    if (left > 0) os::SleepMs(uint32_t(std::ceil(left / 1000.0)));
}

void Stop() {
    if (g_FrameMicroseconds) DXUtilTimerSetClock(nullptr);
    g_FrameMicroseconds = 0;
    g_Script = false;
    g_InputScript.Clear();
}

} // namespace scriptedplay
