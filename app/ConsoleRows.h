// The console's rows: the variables and commands that EConsole::SetVariable
// applies, besides the plain option rows of app/Options.h.
//
// app/ keeps the table: the names, their order (the dispatcher takes the
// first row of a name) and each row's kind. A row's handler lives in the
// subsystem that owns what the row changes and is registered by name from
// that subsystem's registration function (RegisterWorldConsoleRows and its
// kin), which the game's start-up calls before the configuration is read.
// Registration is never done from a static initialiser: a static library's
// initialiser runs only if its object file happens to be linked. A row whose
// handler is not registered yet only stores its value, like an unknown name.
#pragma once

#include <cstdint>
#include <span>

class EConsole;

enum class ConsoleRowKind : uint8_t {
    Command,      // runs once, when typed or read; never re-sent
    IntSetting,   // holds a setting read as an integer: re-sent at world start and device reset
    FloatSetting, // holds a setting read as a number: re-sent likewise
};

// Applies a row's value. Returns true when the row ends the dispatch at once
// (the three-number placeholders "Fog", "Ambient" and "SkyLight" are then not
// stored).
using ConsoleRowHandler = bool (*)(EConsole& console, const char* name, const char* value, bool fromConfig);

struct ConsoleRow {
    const char* name;
    ConsoleRowKind kind;
    ConsoleRowHandler handler; // null until the owner registers it
};

// The rows in the dispatcher's order.
std::span<const ConsoleRow> ConsoleRows();
// The first row of that name (case ignored), null for none.
const ConsoleRow* FindConsoleRow(const char* name);
// Installs the handler of the row of that name; false (and a log line) when
// the table has no such row.
bool RegisterConsoleRow(const char* name, ConsoleRowHandler handler);

// How rows read their values: the leading decimal integer or number, 0
// without one; three blank-separated numbers (missing ones 0); a stored
// variable's value, 0 when it is not stored.
int32_t ConsoleInt(const char* value);
float ConsoleFloat(const char* value);
void ConsoleThreeNumbers(const char* value, float* out);
float ConsoleValueOrZero(EConsole& console, const char* name);
