#include "render/RenderConsoleRows.h"

#include "app/Console.h"
#include "app/ConsoleRows.h"
#include "render/EnvironmentSettings.h"
#include "render/PostProcess.h"

namespace {

bool AODepth(EConsole&, const char*, const char* value, bool) {
    g_PostProcess.SetAODepth(ConsoleFloat(value));
    return false;
}

bool AOIntensity(EConsole&, const char*, const char* value, bool) {
    g_PostProcess.SetAOIntensity(ConsoleFloat(value));
    return false;
}

bool HDRTargetLuminance(EConsole&, const char*, const char* value, bool) {
    g_PostProcess.m_fTargetLuminance = ConsoleFloat(value);
    return false;
}

// Either name sets both values from the list (0 when one is missing).
bool Bloom(EConsole& console, const char*, const char*, bool) {
    EnvironmentSettings::SetBloom(ConsoleValueOrZero(console, "BloomCone"),
                                  ConsoleValueOrZero(console, "BloomPower"));
    return false;
}

bool DrawFog(EConsole&, const char*, const char* value, bool) {
    if (ConsoleInt(value) != 0)
        g_EnvironmentSettings.EnableFog();
    else
        g_EnvironmentSettings.DisableFog();
    return false;
}

// One setter of a float, for the rows that set one value each.
template <void (*Set)(float)> bool SetFloat(EConsole&, const char*, const char* value, bool) {
    Set(ConsoleFloat(value));
    return false;
}

// Three-number forms: each channel from one of the three numbers.
template <void (*SetR)(float), void (*SetG)(float), void (*SetB)(float)>
bool SetThree(EConsole&, const char*, const char* value, bool) {
    float rgb[3];
    ConsoleThreeNumbers(value, rgb);
    SetR(rgb[0]);
    SetG(rgb[1]);
    SetB(rgb[2]);
    return false;
}

EnvironmentSettings& Env() {
    return g_EnvironmentSettings;
}
void FogFar(float v) {
    Env().SetFogFar(v, 0);
}
void FogNear(float v) {
    Env().SetFogNear(v, 0);
}
void FogR(float v) {
    Env().SetFogR(v, 0);
}
void FogG(float v) {
    Env().SetFogG(v, 0);
}
void FogB(float v) {
    Env().SetFogB(v, 0);
}
void AmbientR(float v) {
    Env().SetAmbientR(v, 0);
}
void AmbientG(float v) {
    Env().SetAmbientG(v, 0);
}
void AmbientB(float v) {
    Env().SetAmbientB(v, 0);
}
void SkyLightR(float v) {
    Env().SetSkyLightR(v);
}
void SkyLightG(float v) {
    Env().SetSkyLightG(v);
}
void SkyLightB(float v) {
    Env().SetSkyLightB(v);
}

// The direction of the sky light or the lens flare, from the stored
// rotation and pitch (degrees, 0 when not stored).
bool SkyLightDirection(EConsole& console, const char*, const char*, bool) {
    float direction[3];
    EnvironmentSettings::DirectionFromAngles(ConsoleValueOrZero(console, "SkyLightRotation"),
                                             ConsoleValueOrZero(console, "SkyLightPitch"), direction);
    g_EnvironmentSettings.SetSkyLightDirection(direction);
    return false;
}

bool LensFlareDirection(EConsole& console, const char*, const char*, bool) {
    float direction[3];
    EnvironmentSettings::DirectionFromAngles(ConsoleValueOrZero(console, "LensFlareRotation"),
                                             ConsoleValueOrZero(console, "LensFlarePitch"), direction);
    g_EnvironmentSettings.SetLensFlareDirection(direction);
    return false;
}

} // namespace

void RegisterRenderConsoleRows() {
    RegisterConsoleRow("AODepth", &AODepth);
    RegisterConsoleRow("AOIntensity", &AOIntensity);
    RegisterConsoleRow("HDRTargetLuminance", &HDRTargetLuminance);
    RegisterConsoleRow("BloomCone", &Bloom);
    RegisterConsoleRow("BloomPower", &Bloom);
    RegisterConsoleRow("DrawFog", &DrawFog);
    RegisterConsoleRow("fogfar", &SetFloat<&FogFar>);
    RegisterConsoleRow("fognear", &SetFloat<&FogNear>);
    RegisterConsoleRow("fogr", &SetFloat<&FogR>);
    RegisterConsoleRow("fogg", &SetFloat<&FogG>);
    RegisterConsoleRow("fogb", &SetFloat<&FogB>);
    RegisterConsoleRow("Fog", &SetThree<&FogR, &FogG, &FogB>);
    RegisterConsoleRow("ambientr", &SetFloat<&AmbientR>);
    RegisterConsoleRow("ambientg", &SetFloat<&AmbientG>);
    RegisterConsoleRow("ambientb", &SetFloat<&AmbientB>);
    RegisterConsoleRow("ambient", &SetThree<&AmbientR, &AmbientG, &AmbientB>);
    RegisterConsoleRow("skylightr", &SetFloat<&SkyLightR>);
    RegisterConsoleRow("skylightg", &SetFloat<&SkyLightG>);
    RegisterConsoleRow("skylightb", &SetFloat<&SkyLightB>);
    RegisterConsoleRow("SkyLight", &SetThree<&SkyLightR, &SkyLightG, &SkyLightB>);
    RegisterConsoleRow("SkyLightRotation", &SkyLightDirection);
    RegisterConsoleRow("SkyLightPitch", &SkyLightDirection);
    RegisterConsoleRow("LensFlareRotation", &LensFlareDirection);
    RegisterConsoleRow("LensFlarePitch", &LensFlareDirection);
}
