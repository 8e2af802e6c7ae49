// The behaviour layer's block of a saved game (its ambient sound only: two
// counted strings, the next and the current sound file, then the target and
// the current volume as 32-bit floats) and its world hooks.
//
// A block that ends early or holds a name that does not fit the layer's
// fields is refused as a whole: the layer stays silent rather than take half
// of it.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "physics/CollisionMgr.h"
#include "sound/SoundMgr.h"
#include "world/Camera.h"
#include "world/EngineObject.h"
#include "world/EngineObjectLog.h"

namespace objlog {
namespace {

void PrintLine(const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    g_Console.Print(text);
}

} // namespace

void Logged(const char* format, ...) {
    if (!Debug) return;
    va_list args;
    va_start(args, format);
    PrintLine(format, args);
    va_end(args);
}

void Reported(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PrintLine(format, args);
    va_end(args);
}

} // namespace objlog

namespace {

constexpr float kFinderRange = 10000.0f;
constexpr float kFinderAngle = 1.5707964f;

void StopAndDelete(strSound** sound) {
    if (!*sound) return;
    g_SoundMgr.StopSound(*sound);
    g_SoundMgr.DeleteSound(*sound);
    *sound = nullptr;
}

// A counted string that must fit the buffer whole; false when the block ends
// early or the stored length does not fit.
bool ReadName(std::FILE* f, char* out, uint32_t capacity) {
    const long at = std::ftell(f);
    uint32_t length = 0;
    if (std::fread(&length, 4, 1, f) != 1 || length >= capacity) return false;
    std::fseek(f, at, SEEK_SET);
    return FileReadString(f, out, capacity);
}

bool ReadFloat(std::FILE* f, float* out) {
    const uint32_t before = g_BytesRead;
    float value = 0.0f;
    FileRead32(f, &value);
    if (g_BytesRead - before != 4 || std::feof(f)) return false;
    *out = value;
    return true;
}

} // namespace

void EEngineObject::Save(std::FILE* f) {
    if (!f) return;
    FileWriteString(f, m_szNextAmbientSound);
    FileWriteString(f, m_szAmbientSound);
    FileWrite32(f, m_fAmbientTargetVolume);
    FileWrite32(f, m_fAmbientVolume);
}

void EEngineObject::Load(std::FILE* f) {
    if (!f) return;
    m_pLastShaker = nullptr;
    StopAndDelete(&m_pAmbientSound);

    char next[AMBIENT_NAME_LEN] = {};
    char current[AMBIENT_NAME_LEN] = {};
    float target = 0.0f;
    float volume = 0.0f;
    if (!ReadName(f, next, sizeof next) || !ReadName(f, current, sizeof current) || !ReadFloat(f, &target) ||
        !ReadFloat(f, &volume)) {
        g_Console.Print("EEngineObject::Load: the behaviour block is damaged");
        m_szNextAmbientSound[0] = 0;
        m_szAmbientSound[0] = 0;
        m_fAmbientTargetVolume = 0.0f;
        m_fAmbientVolume = 0.0f;
        return;
    }
    std::memcpy(m_szNextAmbientSound, next, sizeof next);
    std::memcpy(m_szAmbientSound, current, sizeof current);
    m_fAmbientTargetVolume = target;
    m_fAmbientVolume = volume;

    if (m_szAmbientSound[0]) {
        m_pAmbientSound = g_SoundMgr.CreateSound(m_szAmbientSound);
        g_SoundMgr.SetSoundVolume(m_pAmbientSound, m_fAmbientVolume);
        g_SoundMgr.PlaySound(m_pAmbientSound, true);
        g_SoundMgr.SetSoundVolume(m_pAmbientSound, m_fAmbientVolume);
    }
}

void EEngineObject::OnWorldOpen() {
    m_pLastShaker = nullptr;

    orientation look;
    look.SetDirection(math::Vec3{1.0f, 0.0f, 0.0f});
    m_vFinderPosition = math::Vec3{1.0f, 0.0f, 0.0f};
    m_vFinderDirection = math::Vec3{1.0f, 0.0f, 0.0f};
    m_fFinderRange = kFinderRange;
    m_fFinderAngle = kFinderAngle;
    m_pCameraFinder = g_CollisionMgr.AddProjectorFinder(&m_vFinderPosition, &look, m_fFinderRange, m_fFinderAngle);

    CurrentFOV = FOV;
    m_CameraPositioning.fFovTarget = FOV;
    m_fCameraBlend = 0.0f;
    m_bCameraPositioning = false;

    SetDirectionPointer(nullptr);

    m_fAmbientVolume = 0.0f;
    m_fAmbientTargetVolume = 0.0f;
    m_pAmbientSound = nullptr;
    m_szNextAmbientSound[0] = 0;

    m_fVisibilityTimer = 0.0f;
    m_fStatistics[0] = 0.0f;
}

void EEngineObject::OnWorldClose() {
    m_szAmbientSound[0] = 0;
    StopAndDelete(&m_pAmbientSound);
    StopAndDelete(&m_pFadingSound);
    m_fAmbientVolume = 0.0f;
    m_fFadingVolume = 0.0f;
    g_CollisionMgr.RemoveFinder(m_pCameraFinder);
    m_pCameraFinder = nullptr;
}
