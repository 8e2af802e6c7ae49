// libFuzzer target: any bytes as an input script (ZT_INPUT_SCRIPT), read and,
// when accepted, played over a run of frames and two worlds into a sink that
// checks what it is handed. Key names as the demo data gives a few keys.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/CommandMgr.h"
#include "app/InputScript.h"

namespace {

class CheckingSink final : public InputScriptSink {
  public:
    void Key(uint32_t code, bool) override { Check(code >= 1 && code <= 255); }
    void Mouse(int32_t dx, int32_t dy) override {
        Check(dx >= -CInputScript::MAX_MOTION && dx <= CInputScript::MAX_MOTION);
        Check(dy >= -CInputScript::MAX_MOTION && dy <= CInputScript::MAX_MOTION);
    }
    void Button(int32_t button, bool) override { Check(button >= 0 && button <= 4); }
    void Wheel(int32_t steps) override {
        Check(steps >= -CInputScript::MAX_WHEEL_STEPS && steps <= CInputScript::MAX_WHEEL_STEPS);
    }
    void Console(const char* line) override { Check(line && *line); }

  private:
    static void Check(bool ok) {
        if (!ok) std::abort();
    }
};

bool NameKeys() {
    std::snprintf(g_CommandMgr.m_KeyNames[0x11], KEY_NAME_LEN, "W");
    std::snprintf(g_CommandMgr.m_KeyNames[0x2A], KEY_NAME_LEN, "Left Shift");
    std::snprintf(g_CommandMgr.m_KeyNames[KEY_MOUSE_BUTTON0], KEY_NAME_LEN, "Left Mouse Button");
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool named = NameKeys();
    (void)named;
    CInputScript script;
    std::string error;
    const bool read = script.Parse(std::string_view(reinterpret_cast<const char*>(data), size), &error);
    // A refused script says why and keeps nothing.
    if (read != error.empty() || (!read && !script.Empty())) std::abort();
    CheckingSink sink;
    for (int32_t frame = 0; frame < 400; frame += 7)
        script.Play("worlds\\test.w", frame, sink);
    script.Play("worlds\\arena.w", CInputScript::MAX_FRAME, sink);
    return 0;
}
