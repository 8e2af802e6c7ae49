#include "app/InputScript.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include "app/CommandMgr.h"
#include "platform/os/Os.h"

CInputScript g_InputScript;

namespace {

constexpr std::string_view kSpace = " \t";

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kSpace) - first + 1);
}

// The next word of `s` (taken off it).
std::string_view Word(std::string_view* s) {
    *s = Trim(*s);
    const size_t end = s->find_first_of(kSpace);
    const std::string_view word = s->substr(0, end);
    *s = end == std::string_view::npos ? std::string_view() : s->substr(end);
    return word;
}

// A whole word as a decimal integer within -limit..limit (0..limit unless
// negative values are allowed).
bool Integer(std::string_view word, int32_t limit, bool negative, int32_t* out) {
    if (word.empty() || word.size() > 12) return false;
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
    if (ec != std::errc() || end != word.data() + word.size()) return false;
    if (v > limit || v < (negative ? -int64_t(limit) : 0)) return false;
    *out = int32_t(v);
    return true;
}

// "down" or "up" as the last word of `s`, taken off it.
bool State(std::string_view* s, bool* down) {
    *s = Trim(*s);
    const size_t space = s->find_last_of(kSpace);
    const std::string_view last = space == std::string_view::npos ? *s : s->substr(space + 1);
    if (last != "down" && last != "up") return false;
    *down = last == "down";
    *s = space == std::string_view::npos ? std::string_view() : Trim(s->substr(0, space));
    return true;
}

// A key by its name, or by its code in decimal (keys without a name).
uint32_t KeyCode(std::string_view name) {
    int32_t code = 0;
    if (Integer(name, int32_t(KEY_MOUSE_BUTTON0 + 2), false, &code)) return uint32_t(code);
    char buffer[KEY_NAME_LEN];
    if (name.empty() || name.size() >= sizeof buffer) return 0;
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = 0;
    return g_CommandMgr.FindKeyCode(buffer);
}

// Letter case and the kind of slash aside, as the file resolver takes names.
bool SameWorld(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] == '/' ? '\\' : a[i], y = b[i] == '/' ? '\\' : b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// One line into `e`; false with the reason.
bool ParseLine(std::string_view s, CInputScript::Event* e, std::string* why) {
    const std::string_view frameWord = Word(&s);
    if (!Integer(frameWord, CInputScript::MAX_FRAME, false, &e->frame)) {
        *why = "no level frame (0.." + std::to_string(CInputScript::MAX_FRAME) + ") at its start";
        return false;
    }
    const std::string_view kind = Word(&s);
    s = Trim(s);
    if (kind == "key") {
        e->kind = CInputScript::Kind::Key;
        if (!State(&s, &e->down)) {
            *why = "a key needs \"down\" or \"up\" after its name";
            return false;
        }
        const uint32_t code = KeyCode(s);
        if (code == 0) {
            *why = "no key is named \"" + std::string(s) + "\"";
            return false;
        }
        if (code >= KEY_MOUSE_BUTTON0) {
            e->kind = CInputScript::Kind::Button;
            e->a = int32_t(code - KEY_MOUSE_BUTTON0);
        } else {
            e->a = int32_t(code);
        }
        return true;
    }
    if (kind == "button") {
        e->kind = CInputScript::Kind::Button;
        if (!State(&s, &e->down) || !Integer(s, 4, false, &e->a)) {
            *why = "a button is its number 0..4 and \"down\" or \"up\"";
            return false;
        }
        return true;
    }
    if (kind == "mouse") {
        e->kind = CInputScript::Kind::Mouse;
        const std::string_view x = Word(&s), y = Word(&s);
        if (!Integer(x, CInputScript::MAX_MOTION, true, &e->a) ||
            !Integer(y, CInputScript::MAX_MOTION, true, &e->b) || !Trim(s).empty()) {
            *why = "mouse motion is two whole numbers within +-" + std::to_string(CInputScript::MAX_MOTION);
            return false;
        }
        return true;
    }
    if (kind == "wheel") {
        e->kind = CInputScript::Kind::Wheel;
        if (!Integer(s, CInputScript::MAX_WHEEL_STEPS, true, &e->a)) {
            *why = "wheel steps are a whole number within +-" + std::to_string(CInputScript::MAX_WHEEL_STEPS);
            return false;
        }
        return true;
    }
    if (kind == "console" || kind == "world") {
        e->kind = kind == "console" ? CInputScript::Kind::Console : CInputScript::Kind::World;
        if (s.empty()) {
            *why = std::string(kind) + " needs its text";
            return false;
        }
        if (e->kind == CInputScript::Kind::World && s.size() > CInputScript::MAX_WORLD_NAME) {
            *why = "a world's file name is at most " + std::to_string(CInputScript::MAX_WORLD_NAME) +
                   " characters";
            return false;
        }
        e->text.assign(s);
        return true;
    }
    *why = "unknown event \"" + std::string(kind) + "\" (key, mouse, button, wheel, console, world)";
    return false;
}

} // namespace

bool CInputScript::Parse(std::string_view text, std::string* error) {
    Clear();
    std::vector<Event> events;
    int32_t lineNumber = 0;
    int32_t lastFrame = 0;
    size_t at = 0;
    while (at < text.size()) {
        // LF, CR LF and CR end lines alike.
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view raw = text.substr(at, end - at);
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++lineNumber;
        const std::string_view line = Trim(raw);
        if (line.empty() || line.starts_with("//")) continue;
        std::string why;
        Event e;
        e.line = lineNumber;
        if (raw.size() > MAX_LINE) {
            why = "longer than " + std::to_string(MAX_LINE) + " characters";
        } else if (line.find('\0') != std::string_view::npos) {
            why = "holds a zero byte";
        } else if (ParseLine(line, &e, &why) && e.kind != Kind::World && e.frame < lastFrame) {
            why = "frame " + std::to_string(e.frame) + " comes after frame " + std::to_string(lastFrame);
        }
        if (!why.empty()) {
            if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
        }
        // A world line starts the count of its world's frames.
        lastFrame = e.frame;
        events.push_back(std::move(e));
    }
    m_Events = std::move(events);
    return true;
}

bool CInputScript::Load(const char* path, std::string* error) {
    Clear();
    std::string text;
    if (!path || !os::ReadWholeFile(path, &text, MAX_BYTES)) {
        if (error) {
            *error = errno == EFBIG ? "larger than " + std::to_string(MAX_BYTES >> 20) + " MB"
                                    : std::string("cannot be read (") + std::strerror(errno) + ")";
        }
        return false;
    }
    return Parse(text, error);
}

void CInputScript::Clear() {
    m_Events.clear();
    m_iNext = 0;
}

void CInputScript::Play(const char* world, int32_t levelFrame, InputScriptSink& sink) {
    while (m_iNext < m_Events.size()) {
        const Event& e = m_Events[m_iNext];
        if (e.frame > levelFrame) return;
        switch (e.kind) {
        case Kind::World:
            if (!world || !SameWorld(world, e.text)) return;
            break;
        case Kind::Key:
            sink.Key(uint32_t(e.a), e.down);
            break;
        case Kind::Mouse:
            sink.Mouse(e.a, e.b);
            break;
        case Kind::Button:
            sink.Button(e.a, e.down);
            break;
        case Kind::Wheel:
            sink.Wheel(e.a);
            break;
        case Kind::Console:
            sink.Console(e.text.c_str());
            break;
        }
        ++m_iNext;
    }
}
