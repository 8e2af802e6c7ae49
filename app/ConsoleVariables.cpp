// The console's variable list, its command dispatcher and the files and
// lines it runs. zt.cfg, files run by "exec" or object actions, the command
// line and scripts all reach the program through SetVariable.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "actors/ItemMgr.h"
#include "actors/Player.h"
#include "actors/PostacMgr.h"
#include "actors/WeaponMgr.h"
#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "game/CutScene.h"
#include "game/Intro.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"
#include "render/EnvironmentSettings.h"
#include "render/PostProcess.h"
#include "world/BezierCamera.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/ObjectApi.h"

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

namespace {

// Numbers of a value: the leading decimal integer or number, 0 without one.
int32_t IntValue(const char* value) {
    return os::ReadInt(value);
}
float FloatValue(const char* value) {
    return os::ReadFloat(value);
}

// The first, second and third blank-separated numbers of a value; missing
// ones are 0.
void ThreeNumbers(const char* value, float* out) {
    const char* p = value;
    for (int i = 0; i < 3; ++i) {
        while (*p == ' ' || *p == '\t')
            ++p;
        out[i] = *p ? FloatValue(p) : 0.0f;
        while (*p && *p != ' ' && *p != '\t')
            ++p;
    }
}

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
            *static_cast<bool*>(row.target) = IntValue(value) != 0;
            break;
        case Kind::Int:
            *static_cast<int32_t*>(row.target) = IntValue(value);
            break;
        case Kind::UInt:
            *static_cast<uint32_t*>(row.target) = uint32_t(IntValue(value));
            break;
        case Kind::Float:
            *static_cast<float*>(row.target) = FloatValue(value);
            break;
        }
    }
    if (any && Is(name, "SystemDebug")) g_bTrackAllocations = SystemDebug != 0;
    return any;
}

// "Bron..." rows: one float of the current weapon's view-model placement.
float* WeaponPlacementField(ItemSlot* weapon, const char* name) {
    struct Row {
        const char* name;
        float* field;
    } rows[] = {
        {"BronX", &weapon->vCarriedPos[0]},    {"BronY", &weapon->vCarriedPos[1]},
        {"BronZ", &weapon->vCarriedPos[2]},    {"BronAX", &weapon->vAimPos[0]},
        {"BronAY", &weapon->vAimPos[1]},       {"BronAZ", &weapon->vAimPos[2]},
        {"BronRY", &weapon->fHeldRotation[0]}, {"BronRAY", &weapon->fHeldRotation[1]},
        {"BronRX", &weapon->fHeldRotation[2]}, {"BronRAX", &weapon->fHeldRotation[3]},
    };
    for (const Row& r : rows) {
        if (Is(name, r.name)) return r.field;
    }
    return nullptr;
}

bool IsWeaponPlacementName(const char* name) {
    static const char* const names[] = {"BronX",  "BronY",  "BronZ",  "BronAX",  "BronAY",
                                        "BronAZ", "BronRX", "BronRY", "BronRAX", "BronRAY"};
    for (const char* n : names) {
        if (Is(name, n)) return true;
    }
    return false;
}

} // namespace

namespace {
float VariableOrZero(EConsole& console, const char* name) {
    ConsoleVariable* v = console.FindVariable(name);
    return v ? v->fValue : 0.0f;
}
} // namespace

void EConsole::SetSkyOrLensDirection(bool skyLight) {
    float direction[3];
    if (skyLight) {
        EnvironmentSettings::DirectionFromAngles(VariableOrZero(*this, "SkyLightRotation"),
                                                 VariableOrZero(*this, "SkyLightPitch"), direction);
        g_EnvironmentSettings.SetSkyLightDirection(direction);
    } else {
        EnvironmentSettings::DirectionFromAngles(VariableOrZero(*this, "LensFlareRotation"),
                                                 VariableOrZero(*this, "LensFlarePitch"), direction);
        g_EnvironmentSettings.SetLensFlareDirection(direction);
    }
}

void EConsole::SetVariable(const char* name, const char* value, bool fromConfig) {
    if (!name || !*name) return;
    if (Is(name, "DropDebug")) {
        Print("............");
        g_Debug.DumpAllocations();
        return;
    }
    if (!value || !*value) return;
    StoreVariable(name, FloatValue(value), fromConfig ? 1 : 0);

    // Rows in the dispatcher's order; the ones that end return at once.
    if (Is(name, "credits")) {
        // stored only
    } else if (Is(name, "Intro")) {
        g_Intro.StartScene(IntValue(value));
    } else if (Is(name, "CombatMode")) {
        g_Player.EnableWeapons(IntValue(value) != 0);
    } else if (Is(name, "Teleport")) {
        if (ObjectRecord* target = g_Engine.FindObjectByName(value)) {
            math::Vec3 p;
            GetObjectPosition(target, &p);
            p.y += 64.0f;
            g_Player.TeleportTo(p.data());
        }
    } else if (Is(name, "WipeOut")) {
        g_Engine.WipeOut(FloatValue(value));
        return;
    } else if (Is(name, "Gimme")) {
        g_ItemMgr.GiveItem(value, 1);
    } else if (Is(name, "Health")) {
        g_Player.SetHealth(FloatValue(value));
    } else if (Is(name, "SectorShow") || Is(name, "SectorHide")) {
        SetSectorHidden(uint32_t(IntValue(value)), Is(name, "SectorHide"));
    } else if (Is(name, "SectorShowAll")) {
        for (uint32_t sector = 0; sector < 256; ++sector)
            SetSectorHidden(sector, false);
    } else if (Is(name, "AODepth")) {
        g_PostProcess.SetAODepth(FloatValue(value));
    } else if (Is(name, "AOIntensity")) {
        g_PostProcess.SetAOIntensity(FloatValue(value));
    } else if (Is(name, "HDRTargetLuminance")) {
        g_PostProcess.m_fTargetLuminance = FloatValue(value);
    } else if (Is(name, "BloomCone") || Is(name, "BloomPower")) {
        EnvironmentSettings::SetBloom(VariableOrZero(*this, "BloomCone"),
                                      VariableOrZero(*this, "BloomPower"));
    } else if (Is(name, "CutScene")) {
        g_CutScene.StartScene(value);
        return;
    } else if (Is(name, "BezierCamera")) {
        g_BezierCamera.ExecCommand(value);
    } else if (Is(name, "DeleteDead")) {
        g_PostacMgr.DeleteDeadCharacters();
        return;
    } else if (Is(name, "Action")) {
        g_Engine.FireAction(value, 0);
        return;
    } else if (IsWeaponPlacementName(name)) {
        if (ItemSlot* weapon = g_WeaponMgr.m_pCurrentWeapon)
            *WeaponPlacementField(weapon, name) = FloatValue(value);
    } else if (Is(name, "FOV")) {
        FOV = FloatValue(value);
        CurrentFOV = FOV;
        g_Camera.SetProjection();
    } else if (Is(name, "screenwidth")) {
        screenwidth = uint32_t(IntValue(value));
    } else if (Is(name, "screenheight")) {
        screenheight = uint32_t(IntValue(value));
    } else if (Is(name, "runworld")) {
        std::snprintf(WorldFileName, sizeof WorldFileName, "%s", value);
        if (!fromConfig) {
            g_Engine.SetWorldToStart(value);
            return;
        }
    } else if (Is(name, "DrawFog")) {
        if (IntValue(value) != 0)
            g_EnvironmentSettings.EnableFog();
        else
            g_EnvironmentSettings.DisableFog();
    } else if (Is(name, "numconsolelines")) {
        // Clamped to the buffer, so the closed view never reads outside it.
        int32_t n = IntValue(value);
        m_iNumConsoleLines = uint32_t(n < 0 ? 0 : (n > NUM_LINES ? NUM_LINES : n));
    } else if (Is(name, "farz")) {
        g_Camera.SetFarZ(FloatValue(value));
    } else if (Is(name, "fogfar")) {
        g_EnvironmentSettings.SetFogFar(FloatValue(value), 0);
    } else if (Is(name, "fognear")) {
        g_EnvironmentSettings.SetFogNear(FloatValue(value), 0);
    } else if (Is(name, "fogr")) {
        g_EnvironmentSettings.SetFogR(FloatValue(value), 0);
    } else if (Is(name, "fogg")) {
        g_EnvironmentSettings.SetFogG(FloatValue(value), 0);
    } else if (Is(name, "fogb")) {
        g_EnvironmentSettings.SetFogB(FloatValue(value), 0);
    } else if (Is(name, "Fog")) {
        float rgb[3];
        ThreeNumbers(value, rgb);
        g_EnvironmentSettings.SetFogR(rgb[0], 0);
        g_EnvironmentSettings.SetFogG(rgb[1], 0);
        g_EnvironmentSettings.SetFogB(rgb[2], 0);
    } else if (Is(name, "ambientr")) {
        g_EnvironmentSettings.SetAmbientR(FloatValue(value), 0);
    } else if (Is(name, "ambientg")) {
        g_EnvironmentSettings.SetAmbientG(FloatValue(value), 0);
    } else if (Is(name, "ambientb")) {
        g_EnvironmentSettings.SetAmbientB(FloatValue(value), 0);
    } else if (Is(name, "ambient")) {
        float rgb[3];
        ThreeNumbers(value, rgb);
        g_EnvironmentSettings.SetAmbientR(rgb[0], 0);
        g_EnvironmentSettings.SetAmbientG(rgb[1], 0);
        g_EnvironmentSettings.SetAmbientB(rgb[2], 0);
    } else if (Is(name, "skylightr")) {
        g_EnvironmentSettings.SetSkyLightR(FloatValue(value));
    } else if (Is(name, "skylightg")) {
        g_EnvironmentSettings.SetSkyLightG(FloatValue(value));
    } else if (Is(name, "skylightb")) {
        g_EnvironmentSettings.SetSkyLightB(FloatValue(value));
    } else if (Is(name, "SkyLight")) {
        float rgb[3];
        ThreeNumbers(value, rgb);
        g_EnvironmentSettings.SetSkyLightR(rgb[0]);
        g_EnvironmentSettings.SetSkyLightG(rgb[1]);
        g_EnvironmentSettings.SetSkyLightB(rgb[2]);
    } else if (Is(name, "SkyLightRotation") || Is(name, "SkyLightPitch")) {
        SetSkyOrLensDirection(true);
    } else if (Is(name, "LensFlareRotation") || Is(name, "LensFlarePitch")) {
        SetSkyOrLensDirection(false);
    } else if (Is(name, "Gamma")) {
        g_Camera.SetGamma(FloatValue(value));
    } else if (Is(name, "GammaR")) {
        g_Camera.SetGammaR(FloatValue(value));
    } else if (Is(name, "GammaG")) {
        g_Camera.SetGammaG(FloatValue(value));
    } else if (Is(name, "GammaB")) {
        g_Camera.SetGammaB(FloatValue(value));
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

void EConsole::ReapplyVariables() {
    for (ConsoleVariable* v = m_pZmienne; v; v = v->pNext) {
        // Re-sending the world would restart it; the placeholders of the
        // three-number forms hold 0 and would turn those colours black.
        if (Is(v->szName, "runworld") || Is(v->szName, "world") || Is(v->szName, "Fog") ||
            Is(v->szName, "Ambient") || Is(v->szName, "SkyLight"))
            continue;
        char name[sizeof v->szName];
        char value[64];
        std::memcpy(name, v->szName, sizeof name);
        std::snprintf(value, sizeof value, "%s", FormatFloat(v->fValue, 2));
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
