// The console's variable list, its row table and dispatcher, and the files
// and lines it runs. zt.cfg, files run by "exec" or object actions, the command
// line and scripts all reach the program through SetVariable.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Console.h"
#include "app/ConsoleRows.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"
#include "world/Engine.h"

// ---- The variable list ----------------------------------------------------------

ConsoleVariable* EConsole::AddVariableEntry() {
    ConsoleVariable* v = new ConsoleVariable();
    v->pNext = m_pZmienne;
    if (m_pZmienne) m_pZmienne->pPrev = v;
    m_pZmienne = v;
    g_Debug.AddAllocation("zmienna konsoli");
    return v;
}

ConsoleVariable* EConsole::FindVariable(const char* name) {
    if (!name) return nullptr;
    auto it = m_VariableIndex.find(NoCaseKey(name));
    return it != m_VariableIndex.end() ? it->second : nullptr;
}

void EConsole::StoreVariable(const char* name, float value, uint8_t fromConfig) {
    if (!name) return;
    if (ConsoleVariable* v = FindVariable(name)) {
        v->fValue = value;
        return;
    }
    ConsoleVariable* v = AddVariableEntry();
    std::snprintf(v->szName, sizeof v->szName, "%s", name);
    v->fValue = value;
    v->bFromConfig = fromConfig;
    m_VariableIndex[NoCaseKey(v->szName)] = v;
}

void EConsole::FreeVariables() {
    m_VariableIndex.clear();
    while (m_pZmienne) {
        ConsoleVariable* next = m_pZmienne->pNext;
        delete m_pZmienne;
        g_Debug.RemoveAllocation("m_pZmienne");
        m_pZmienne = next;
    }
}

// ---- The dispatcher ---------------------------------------------------------------

int32_t ConsoleInt(const char* value) {
    return os::ReadInt(value);
}

float ConsoleFloat(const char* value) {
    return os::ReadFloat(value);
}

void ConsoleThreeNumbers(const char* value, float* out) {
    const char* p = value;
    for (int i = 0; i < 3; ++i) {
        while (*p == ' ' || *p == '\t')
            ++p;
        out[i] = *p ? ConsoleFloat(p) : 0.0f;
        while (*p && *p != ' ' && *p != '\t')
            ++p;
    }
}

float ConsoleValueOrZero(EConsole& console, const char* name) {
    ConsoleVariable* v = console.FindVariable(name);
    return v ? v->fValue : 0.0f;
}

namespace {

bool Is(const char* name, const char* row) {
    return StrCmpNoCase(name, row) == 0;
}

// The plain "set the option" rows: a name and the global it sets.
enum class Kind { Bool, Int, UInt, Float };
struct OptionRow {
    const char* name;
    Kind kind;
    void* target;
};

// Rows 3, 9, 12, 14, 21, 25, 27, 29, 39 and 41 of the dispatcher; the order
// within the table is the dispatcher's.
const OptionRow kOptions[] = {
    {"Profiler", Kind::Int, &g_iProfiler},
    {"Difficulty", Kind::Int, &Difficulty},
    {"developer", Kind::Bool, &developer},
    {"DrawPostprocess", Kind::Bool, &DrawPostprocess},
    {"DrawPhysics", Kind::Bool, &DrawPhysics},
    {"DrawTextures", Kind::Bool, &DrawTextures},
    {"RecalculateOccluders", Kind::Bool, &RecalculateOccluders},
    {"SimpleRender", Kind::Bool, &SimpleRender},
    {"God", Kind::Bool, &God},
    {"mucha", Kind::Bool, &mucha},
    {"AOEnable", Kind::Bool, &AOEnable},
    {"AORenderScene", Kind::Bool, &AORenderScene},
    {"DrawCharacterTextures", Kind::Bool, &DrawCharacterTextures},
    {"DrawGrass", Kind::Bool, &DrawGrass},
    {"RaportUndefinedTextures", Kind::Bool, &RaportUndefinedTextures},
    {"RaportDoubleTextures", Kind::Bool, &RaportDoubleTextures},
    {"DrawAmbientLitObjects", Kind::Bool, &DrawAmbientLitObjects},
    {"DrawSkylightLitObjects", Kind::Bool, &DrawSkylightLitObjects},
    {"SkinmeshLightCoef", Kind::Float, &SkinmeshLightCoef},
    {"DrawProjectors", Kind::Bool, &DrawProjectors},
    {"PrintShakeScreenDistance", Kind::Bool, &PrintShakeScreenDistance},
    {"DrawStickMarkers", Kind::Bool, &DrawStickMarkers},
    {"DrawNotImportant", Kind::Bool, &DrawNotImportant},
    {"DrawDetail", Kind::Bool, &DrawDetail},
    {"RecalculateSkyLightEveryFrame", Kind::Bool, &RecalculateSkyLightEveryFrame},
    {"Demo", Kind::Bool, &Demo},
    {"RaportVariables", Kind::Bool, &RaportVariables},
    {"LoadOneLevelTextureOnly", Kind::Bool, &LoadOneLevelTextureOnly},
    {"WideScreen", Kind::Bool, &WideScreen},
    {"AddFX", Kind::Bool, &AddFX},
    {"SkyLightPower", Kind::Float, &SkyLightPower},
    {"LightPowerMultiplier", Kind::Float, &LightPowerMultiplier},
    {"UpdateBezier", Kind::Bool, &UpdateBezier},
    {"UpdateModels", Kind::Bool, &UpdateModels},
    {"UpdatePostacMgr", Kind::Bool, &UpdatePostacMgr},
    {"DrawModels", Kind::Bool, &DrawModels},
    {"UpdateObjects", Kind::Bool, &UpdateObjects},
    {"DrawFX", Kind::Bool, &DrawFX},
    {"DrawWorld", Kind::Bool, &DrawWorld},
    {"DebugPerformance", Kind::Bool, &DebugPerformance},
    {"DebugLights", Kind::Int, &DebugLights},
    {"DebugVM", Kind::Bool, &DebugVM},
    {"DebugCharacters", Kind::Bool, &DebugCharacters},
    {"DebugHeroLights", Kind::Bool, &DebugHeroLights},
    {"RecalculateCamera", Kind::Bool, &RecalculateCamera},
    {"RecalculateSkyShadow", Kind::Bool, &RecalculateSkyShadow},
    {"UseSkyLight", Kind::Bool, &UseSkyLight},
    {"NumApprovedLights", Kind::Int, &NumApprovedLights},
    {"SkinMeshSpeed", Kind::Float, &SkinMeshSpeed},
    {"GlobalTimeSpeed", Kind::Float, &GlobalTimeSpeed},
    {"loadmodels", Kind::Bool, &loadmodels},
    {"DrawFPS", Kind::Bool, &DrawFPS},
    {"PrintPolygonCount", Kind::Bool, &PrintPolygonCount},
    {"DrawTransparent", Kind::Bool, &DrawTransparent},
    {"DrawTranslucent", Kind::Bool, &DrawTranslucent},
    {"DrawAnimatedShadows", Kind::Bool, &DrawAnimatedShadows},
    {"DrawShadows", Kind::Bool, &DrawShadows},
    {"DrawSky", Kind::Bool, &DrawSky},
    {"DrawWater", Kind::Bool, &DrawWater},
    {"raportsubsets", Kind::Bool, &raportsubsets},
    {"raporttextures", Kind::Bool, &raporttextures},
    {"sound", Kind::Bool, &sound},
    {"extractusedtextures", Kind::Bool, &extractusedtextures},
    {"raporttechs", Kind::Bool, &raporttechs},
    {"CorpseDisappearTime", Kind::Float, &CorpseDisappearTime},
    {"DrawCharacterPaths", Kind::Bool, &DrawCharacterPaths},
    {"DrawPaths", Kind::Bool, &DrawPaths},
    {"WireFrame", Kind::Bool, &WireFrame},
    {"DrawSprites", Kind::Bool, &DrawSprites},
    {"DrawProjectors", Kind::Bool, &DrawProjectors2}, // the second flag of that name
    {"DrawLights", Kind::Bool, &DrawLights},
    {"StartMenu", Kind::Bool, &StartMenu},
    {"MuchaSpeed", Kind::Float, &MuchaSpeed},
    {"DrawCameraCoordinates", Kind::Bool, &DrawCameraCoordinates},
    {"DrawCompass", Kind::Bool, &DrawCompass},
    {"Debug", Kind::UInt, &Debug},
    {"SystemDebug", Kind::UInt, &SystemDebug},
    {"EnableAntialiasing", Kind::Bool, &EnableAntialiasing},
};

// Sets every option row of that name (a name may drive several flags).
bool SetOptions(const char* name, const char* value) {
    bool any = false;
    for (const OptionRow& row : kOptions) {
        if (!Is(name, row.name)) continue;
        any = true;
        switch (row.kind) {
        case Kind::Bool:
            *static_cast<bool*>(row.target) = ConsoleInt(value) != 0;
            break;
        case Kind::Int:
            *static_cast<int32_t*>(row.target) = ConsoleInt(value);
            break;
        case Kind::UInt:
            *static_cast<uint32_t*>(row.target) = uint32_t(ConsoleInt(value));
            break;
        case Kind::Float:
            *static_cast<float*>(row.target) = ConsoleFloat(value);
            break;
        }
    }
    if (any && Is(name, "SystemDebug")) g_bTrackAllocations = SystemDebug != 0;
    return any;
}

// The rows in the dispatcher's order. Rows of the application core carry
// their handler here; the others are filled in by their owners.
bool StoredOnly(EConsole&, const char*, const char*, bool) {
    return false;
}
bool SetScreenWidth(EConsole&, const char*, const char* value, bool) {
    screenwidth = uint32_t(ConsoleInt(value));
    return false;
}
bool SetScreenHeight(EConsole&, const char*, const char* value, bool) {
    screenheight = uint32_t(ConsoleInt(value));
    return false;
}
bool SetConsoleLines(EConsole& console, const char*, const char* value, bool) {
    console.SetNumConsoleLines(ConsoleInt(value));
    return false;
}

using K = ConsoleRowKind;
ConsoleRow g_Rows[] = {
    {"credits", K::FloatSetting, &StoredOnly},
    {"Intro", K::Command, nullptr},
    {"CombatMode", K::IntSetting, nullptr},
    {"Teleport", K::Command, nullptr},
    {"WipeOut", K::Command, nullptr},
    {"Gimme", K::Command, nullptr},
    {"Health", K::Command, nullptr},
    {"SectorShow", K::Command, nullptr},
    {"SectorHide", K::Command, nullptr},
    {"SectorShowAll", K::Command, nullptr},
    {"AODepth", K::FloatSetting, nullptr},
    {"AOIntensity", K::FloatSetting, nullptr},
    {"HDRTargetLuminance", K::FloatSetting, nullptr},
    {"BloomCone", K::FloatSetting, nullptr},
    {"BloomPower", K::FloatSetting, nullptr},
    {"CutScene", K::Command, nullptr},
    {"BezierCamera", K::Command, nullptr},
    {"DeleteDead", K::Command, nullptr},
    {"Action", K::Command, nullptr},
    {"BronX", K::FloatSetting, nullptr},
    {"BronY", K::FloatSetting, nullptr},
    {"BronZ", K::FloatSetting, nullptr},
    {"BronAX", K::FloatSetting, nullptr},
    {"BronAY", K::FloatSetting, nullptr},
    {"BronAZ", K::FloatSetting, nullptr},
    {"BronRX", K::FloatSetting, nullptr},
    {"BronRY", K::FloatSetting, nullptr},
    {"BronRAX", K::FloatSetting, nullptr},
    {"BronRAY", K::FloatSetting, nullptr},
    {"FOV", K::FloatSetting, nullptr},
    {"screenwidth", K::IntSetting, &SetScreenWidth},
    {"screenheight", K::IntSetting, &SetScreenHeight},
    // Names a world to start (typed) or to start with (zt.cfg): re-sending it
    // would start the world again.
    {"runworld", K::Command, nullptr},
    {"DrawFog", K::IntSetting, nullptr},
    {"numconsolelines", K::IntSetting, &SetConsoleLines},
    {"farz", K::FloatSetting, nullptr},
    {"fogfar", K::FloatSetting, nullptr},
    {"fognear", K::FloatSetting, nullptr},
    {"fogr", K::FloatSetting, nullptr},
    {"fogg", K::FloatSetting, nullptr},
    {"fogb", K::FloatSetting, nullptr},
    // The three-number forms keep no value of their own (their entry is a
    // placeholder 0 that would turn the colour black), so they run once.
    {"Fog", K::Command, nullptr},
    {"ambientr", K::FloatSetting, nullptr},
    {"ambientg", K::FloatSetting, nullptr},
    {"ambientb", K::FloatSetting, nullptr},
    {"ambient", K::Command, nullptr},
    {"skylightr", K::FloatSetting, nullptr},
    {"skylightg", K::FloatSetting, nullptr},
    {"skylightb", K::FloatSetting, nullptr},
    {"SkyLight", K::Command, nullptr},
    {"SkyLightRotation", K::FloatSetting, nullptr},
    {"SkyLightPitch", K::FloatSetting, nullptr},
    {"LensFlareRotation", K::FloatSetting, nullptr},
    {"LensFlarePitch", K::FloatSetting, nullptr},
    {"Gamma", K::FloatSetting, nullptr},
    {"GammaR", K::FloatSetting, nullptr},
    {"GammaG", K::FloatSetting, nullptr},
    {"GammaB", K::FloatSetting, nullptr},
};

ConsoleRow* FindRow(const char* name) {
    for (ConsoleRow& row : g_Rows) {
        if (Is(name, row.name)) return &row;
    }
    return nullptr;
}

const OptionRow* FindOption(const char* name) {
    for (const OptionRow& row : kOptions) {
        if (Is(name, row.name)) return &row;
    }
    return nullptr;
}

} // namespace

std::span<const ConsoleRow> ConsoleRows() {
    return g_Rows;
}

const ConsoleRow* FindConsoleRow(const char* name) {
    return name ? FindRow(name) : nullptr;
}

bool RegisterConsoleRow(const char* name, ConsoleRowHandler handler) {
    ConsoleRow* row = name ? FindRow(name) : nullptr;
    if (!row) {
        g_Console.Print2("No console row to register: ", name);
        return false;
    }
    row->handler = handler;
    return true;
}

void EConsole::SetVariable(const char* name, const char* value, bool fromConfig) {
    if (!name || !*name) return;
    if (Is(name, "DropDebug")) {
        Print("............");
        g_Debug.DumpAllocations();
        return;
    }
    if (!value || !*value) return;
    StoreVariable(name, ConsoleFloat(value), fromConfig ? 1 : 0);

    if (const ConsoleRow* row = FindRow(name)) {
        if (row->handler && row->handler(*this, name, value, fromConfig)) return;
    } else {
        SetOptions(name, value);
    }

    // The three-number forms are never kept in the list.
    StoreVariable("Fog", 0.0f, 0);
    StoreVariable("Ambient", 0.0f, 0);
    StoreVariable("SkyLight", 0.0f, 0);
}

// ---- Files, lines and the command line -----------------------------------------------

namespace {

// Splits a line into the name (up to the first blank or tab) and the value
// (from the second word on).
void SplitLine(const char* line, char* name, size_t nameSize, const char** value) {
    size_t n = std::strcspn(line, " \t");
    std::snprintf(name, nameSize, "%.*s", int(n < nameSize ? n : nameSize - 1), line);
    const char* v = line + n;
    while (*v == ' ' || *v == '\t')
        ++v;
    *value = v;
}

} // namespace

void EConsole::ExecFile(const char* fileName) {
    if (!fileName) return;
    const bool fromConfig = StrCmpNoCase(fileName, "zt.cfg") == 0;
    std::FILE* f = os::OpenFile(fileName, "rt");
    if (!f) {
        Printf("%s: cannot be opened (%s)", fileName, std::strerror(errno));
        return;
    }
    char line[257];
    char name[257];
    while (MoreLines(f, fileName)) {
        ReadLine(f, line, 256);
        TrimRight(line);
        const char* value;
        SplitLine(line, name, sizeof name, &value);
        SetVariable(name, value, fromConfig);
    }
    const bool unreadable = std::ferror(f);
    std::fclose(f);
    if (unreadable) return;
    g_f2DScaleX = float(screenwidth) / 1024.0f;
    g_f2DScaleY = float(screenheight) / 768.0f;
}

void EConsole::ExecFileIfNamed(const char* fileName) {
    if (fileName && *fileName) ExecFile(fileName);
}

void EConsole::ExecLine(const char* line) {
    if (!line) return;
    char name[1024];
    const char* value;
    SplitLine(line, name, sizeof name, &value);
    SetVariable(name, value, false);
}

void EConsole::ExecCommandLine() {
    char line[LINE_LEN];
    std::memcpy(line, m_szCommandLine, LINE_LEN);
    if (line[0]) PushHistory(line);
    char name[LINE_LEN];
    const char* value;
    SplitLine(line, name, sizeof name, &value);
    std::memset(m_szCommandLine, 0, sizeof m_szCommandLine);
    m_iCursor = 0;

    if (Is(name, "quit")) {
        g_Engine.Quit();
    } else if (Is(name, "VersionFor")) {
        Print(" ");
        Print("Final release.");
    } else if (Is(name, "exec")) {
        if (*value) ExecFile(value);
    } else if (Is(name, "close")) {
        Close();
    } else if (*value) {
        Print(line);
        SetVariable(name, value, false);
    } else if (ConsoleVariable* v = FindVariable(name)) {
        Printf("%s == %f", v->szName, double(v->fValue));
    } else {
        Print(line);
    }
}

namespace {

// The kind of a stored name: its row's, or its option's type; false for a
// name that is no row (stored only).
bool KindOf(const char* name, ConsoleRowKind* kind) {
    if (const ConsoleRow* row = FindRow(name)) {
        *kind = row->kind;
        return true;
    }
    if (const OptionRow* option = FindOption(name)) {
        *kind = option->kind == Kind::Float ? ConsoleRowKind::FloatSetting : ConsoleRowKind::IntSetting;
        return true;
    }
    return false;
}

// A stored value as its row reads it: an integer row gets the integer it
// was given (the stored number cut toward zero), a number row the number
// itself in the shortest plain decimal form that reads back the same (the
// console's reader takes no exponent).
void FormatStoredValue(float stored, ConsoleRowKind kind, char* out, size_t size) {
    if (kind == ConsoleRowKind::IntSetting) {
        std::snprintf(out, size, "%d", int(os::ClampToInt(double(stored))));
        return;
    }
    const std::to_chars_result r = std::to_chars(out, out + size - 1, stored, std::chars_format::fixed);
    *(r.ec == std::errc() ? r.ptr : out) = 0;
}

} // namespace

void EConsole::ReapplyVariables() {
    for (ConsoleVariable* v = m_pZmienne; v; v = v->pNext) {
        // Only settings come back; commands ran once, when typed or read.
        ConsoleRowKind kind;
        if (!KindOf(v->szName, &kind) || kind == ConsoleRowKind::Command) continue;
        char name[sizeof v->szName];
        char value[64];
        std::memcpy(name, v->szName, sizeof name);
        FormatStoredValue(v->fValue, kind, value, sizeof value);
        SetVariable(name, value, v->bFromConfig != 0);
    }
}

void EConsole::CompleteName() {
    const size_t typed = std::strlen(m_szCommandLine);
    ConsoleVariable* only = nullptr;
    int matches = 0;
    for (ConsoleVariable* v = m_pZmienne; v; v = v->pNext) {
        if (std::strlen(v->szName) < typed) continue;
        bool prefix = true;
        for (size_t i = 0; i < typed && prefix; ++i)
            prefix = CharEqualNoCase(v->szName[i], m_szCommandLine[i]);
        if (!prefix) continue;
        ++matches;
        only = v;
    }
    if (matches == 1) {
        size_t n = strnlen(only->szName, LINE_LEN - 1);
        std::memcpy(m_szCommandLine, only->szName, n);
        m_szCommandLine[n] = 0;
        m_iCursor = uint32_t(std::strlen(m_szCommandLine));
        return;
    }
    if (matches < 2) return;
    for (ConsoleVariable* v = m_pZmienne; v; v = v->pNext) {
        bool prefix = std::strlen(v->szName) >= typed;
        for (size_t i = 0; i < typed && prefix; ++i)
            prefix = CharEqualNoCase(v->szName[i], m_szCommandLine[i]);
        if (prefix) Printf("%s %f", v->szName, double(v->fValue));
    }
}
