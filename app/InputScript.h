// Scripted input: a text file of the keys, mouse motion, buttons, wheel
// steps and console lines a person would give, each on the level frame it
// names, so that the real program plays headless (ZT_INPUT_SCRIPT, app/
// ScriptedPlay.h). One event a line:
//
//   <level frame> key <name> down|up      a key by its name (GetKeyName's),
//                                          or by its DirectInput code
//   <level frame> mouse <dx> <dy>          relative motion
//   <level frame> button <n> down|up       DirectInput's button number 0..4
//   <level frame> wheel <steps>
//   <level frame> console <text>           a console line
//   <level frame> world <file>             the lines after it wait until
//                                          that world runs (at that frame)
//
// Blank lines and lines starting with "//" are skipped. Frames count from
// the opening of the current world and never go back within one world's
// lines. The reader refuses the whole script at its first bad line, naming
// the line's number; nothing is kept of a refused script.
//
// Playing allocates nothing: the events are read once, and each frame hands
// the due ones to a sink in the order of the file. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Where the events of a frame go (the window system in the program, a
// recorder in tests).
class InputScriptSink {
  public:
    virtual ~InputScriptSink() = default;
    // DirectInput key code 1..255 (mouse buttons come as Button).
    virtual void Key(uint32_t code, bool down) = 0;
    virtual void Mouse(int32_t dx, int32_t dy) = 0;
    virtual void Button(int32_t button, bool down) = 0;
    virtual void Wheel(int32_t steps) = 0;
    virtual void Console(const char* line) = 0;
};

class CInputScript {
  public:
    // Limits of a line's values: more would only overflow the mouse's sums.
    static constexpr int32_t MAX_FRAME = 100000000;
    static constexpr int32_t MAX_MOTION = 100000;
    static constexpr int32_t MAX_WHEEL_STEPS = 1000;
    static constexpr size_t MAX_LINE = 1023;
    static constexpr size_t MAX_WORLD_NAME = 127;
    static constexpr size_t MAX_BYTES = 16u << 20;

    enum class Kind : uint8_t { Key, Mouse, Button, Wheel, Console, World };
    struct Event {
        int32_t frame = 0;
        Kind kind = Kind::Key;
        bool down = false;
        int32_t a = 0, b = 0; // key code or button number; motion dx, dy; wheel steps
        std::string text;     // console line, world file
        int32_t line = 0;     // its line in the file, from 1
    };

    // Reads a script from its text, key names as the command manager has
    // them. False at the first bad line: `error` says "line N: what" and the
    // script is left empty.
    bool Parse(std::string_view text, std::string* error);
    // Parse of a file's text; "cannot be read" errors name no line.
    bool Load(const char* path, std::string* error);
    void Clear();

    // Hands the sink, in order, every event not yet played whose frame is at
    // most `levelFrame`, stopping at a world line until `world` (the running
    // world's file, null while none runs) is that world and its level frame
    // has come.
    void Play(const char* world, int32_t levelFrame, InputScriptSink& sink);

    bool Empty() const { return m_Events.empty(); }
    bool Finished() const { return m_iNext >= m_Events.size(); }
    const std::vector<Event>& Events() const { return m_Events; }

  private:
    std::vector<Event> m_Events;
    size_t m_iNext = 0;
};

extern CInputScript g_InputScript;
