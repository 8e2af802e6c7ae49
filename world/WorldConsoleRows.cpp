#include "world/WorldConsoleRows.h"

#include <cstdio>

#include "app/Console.h"
#include "app/ConsoleRows.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "world/BezierCamera.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"

namespace {

bool WipeOut(EConsole&, const char*, const char* value, bool) {
    g_Engine.WipeOut(ConsoleFloat(value));
    return true;
}

bool SectorShowOrHide(EConsole&, const char* name, const char* value, bool) {
    SetSectorHidden(uint32_t(ConsoleInt(value)), StrCmpNoCase(name, "SectorHide") == 0);
    return false;
}

bool SectorShowAll(EConsole&, const char*, const char*, bool) {
    for (uint32_t sector = 0; sector < 256; ++sector)
        SetSectorHidden(sector, false);
    return false;
}

bool BezierCamera(EConsole&, const char*, const char* value, bool) {
    g_BezierCamera.ExecCommand(value);
    return false;
}

bool Action(EConsole&, const char*, const char* value, bool) {
    g_Engine.FireAction(value, 0);
    return true;
}

bool Fov(EConsole&, const char*, const char* value, bool) {
    FOV = ConsoleFloat(value);
    CurrentFOV = FOV;
    g_Camera.SetProjection();
    return false;
}

// From zt.cfg only the name is kept (the start-up runs it); typed, the world
// starts at the end of the frame.
bool RunWorld(EConsole&, const char*, const char* value, bool fromConfig) {
    std::snprintf(WorldFileName, sizeof WorldFileName, "%s", value);
    if (fromConfig) return false;
    g_Engine.SetWorldToStart(value);
    return true;
}

bool FarZ(EConsole&, const char*, const char* value, bool) {
    g_Camera.SetFarZ(ConsoleFloat(value));
    return false;
}

bool Gamma(EConsole&, const char*, const char* value, bool) {
    g_Camera.SetGamma(ConsoleFloat(value));
    return false;
}
bool GammaR(EConsole&, const char*, const char* value, bool) {
    g_Camera.SetGammaR(ConsoleFloat(value));
    return false;
}
bool GammaG(EConsole&, const char*, const char* value, bool) {
    g_Camera.SetGammaG(ConsoleFloat(value));
    return false;
}
bool GammaB(EConsole&, const char*, const char* value, bool) {
    g_Camera.SetGammaB(ConsoleFloat(value));
    return false;
}

} // namespace

void RegisterWorldConsoleRows() {
    RegisterConsoleRow("WipeOut", &WipeOut);
    RegisterConsoleRow("SectorShow", &SectorShowOrHide);
    RegisterConsoleRow("SectorHide", &SectorShowOrHide);
    RegisterConsoleRow("SectorShowAll", &SectorShowAll);
    RegisterConsoleRow("BezierCamera", &BezierCamera);
    RegisterConsoleRow("Action", &Action);
    RegisterConsoleRow("FOV", &Fov);
    RegisterConsoleRow("runworld", &RunWorld);
    RegisterConsoleRow("farz", &FarZ);
    RegisterConsoleRow("Gamma", &Gamma);
    RegisterConsoleRow("GammaR", &GammaR);
    RegisterConsoleRow("GammaG", &GammaG);
    RegisterConsoleRow("GammaB", &GammaB);
}
