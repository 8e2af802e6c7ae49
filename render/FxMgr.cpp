#include "render/FxMgr.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FileHelpers.h"
#include "app/GameFrame.h"
#include "app/Options.h"
#include "app/Records.h"
#include "platform/gfx/Device.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/os/Os.h"
#include "render/Renderer.h"
#include "sound/SoundMgr.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

FxMgr g_FxMgr;

namespace {

constexpr int kLineLength = 256;
constexpr uint32_t kMaxStoredFilenames = 7;
constexpr float kMinEveryInterval = 0.02f;
constexpr float kReplaceableBelow = 1.1f;
constexpr float kGrenadeFarDistance = 2000.0f;
// A parent further than this from the camera fires its effects' sub-effects
// only while it is updated near the camera anyway (flags without 0x100).
constexpr int32_t kParentNearDistance = 512;
constexpr uint32_t kFlagFarUpdate = 0x100;
constexpr uint32_t kMeshFlags = 0x300081;
constexpr uint32_t kMeshFlags2 = 0x38010020;
constexpr uint32_t kShellFlags2 = 0x20100020;
constexpr uint32_t kKindFx = 4;

const char* const kNormalSounds[] = {
    "sounds\\weapons\\barrelexplode_01.wav", "sounds\\weapons\\barrelexplode_02.wav", "sounds\\weapons\\exp1.wav",
    "sounds\\weapons\\exp2.wav",             "sounds\\weapons\\exp3.wav",             "sounds\\weapons\\exp4.wav",
    "sounds\\weapons\\exp5.wav",
};
const char* const kGrenadeNearSounds[] = {
    "sounds\\weapons\\grenadeexplode_01.wav",
    "sounds\\weapons\\grenadeexplode_02.wav",
    "sounds\\weapons\\grenadeexplode_03.wav",
};
const char* const kGrenadeFarSounds[] = {
    "sounds\\weapons\\grenadeexplode_far_01.wav",
    "sounds\\weapons\\grenadeexplode_far_02.wav",
    "sounds\\weapons\\exp1.wav",
    "sounds\\weapons\\exp2.wav",
    "sounds\\weapons\\exp3.wav",
    "sounds\\weapons\\exp4.wav",
    "sounds\\weapons\\exp5.wav",
};

// The C library's decimal conversions: text that is no number gives 0; an
// integer out of range is held at the range's end.
float Number(const char* text) {
    return std::strtof(text, nullptr);
}
int32_t Integer(const char* text) {
    const long v = std::strtol(text, nullptr, 10);
    return int32_t(std::clamp<long>(v, INT32_MIN, INT32_MAX));
}

void CopyText(char* to, size_t size, const char* from) {
    std::snprintf(to, size, "%s", from ? from : "");
}

// The key tables of the parser: plain numbers, switches and vectors by their
// offset in the record.
struct FloatKey {
    const char* key;
    float FxDescription::*field;
};
const FloatKey kFloatKeys[] = {
    {"Life_Time", &FxDescription::fLifeTime},
    {"Life_Time_Rand", &FxDescription::fLifeTimeRand},
    {"Gravity", &FxDescription::fGravity},
    {"Grow", &FxDescription::fGrow},
    {"Disappear_Distance", &FxDescription::fDisappearDistance},
    {"Spinning_Speed", &FxDescription::fSpinSpeed},
    {"Spinning_Speed_Rand", &FxDescription::fSpinSpeedRand},
    {"Accelerate_After", &FxDescription::fAccelerateAfter},
    {"Accelerate_Coef", &FxDescription::fAccelerateCoef},
    {"Accelerate_For", &FxDescription::fAccelerateFor},
    {"Animated_Sprite_FPS", &FxDescription::fAnimatedFps},
};
struct BoolKey {
    const char* key;
    uint8_t FxDescription::*field;
};
const BoolKey kBoolKeys[] = {
    {"Spinning_Sprite", &FxDescription::bSpinning},
    {"Move", &FxDescription::bMove},
    {"Additive", &FxDescription::bAdditive},
    {"Multiply", &FxDescription::bMultiply},
    {"Light_Sprite", &FxDescription::bLightSprite},
    {"Use_Rotation", &FxDescription::bUseRotation},
    {"Flat_Rotation", &FxDescription::bFlatRotation},
    {"Apply_Physics_To_Mesh", &FxDescription::bApplyPhysicsToMesh},
    {"Animated_Sprite_Texture", &FxDescription::bAnimatedTexture},
};
struct VectorKey {
    const char* key;
    math::Vec3 FxDescription::*field;
};
const VectorKey kVectorKeys[] = {
    {"Scale", &FxDescription::vScale}, {"Scale_Rand", &FxDescription::vScaleRand},
    {"Pos", &FxDescription::vPos},     {"Pos_Rand", &FxDescription::vPosRand},
    {"Vel", &FxDescription::vVel},     {"Vel_Rand", &FxDescription::vVelRand},
};
struct TypeWord {
    const char* word;
    uint32_t type;
};
const TypeWord kTypeWords[] = {
    {"Sprite", FX_SPRITE},
    {"Mesh", FX_MESH},
    {"Spark", FX_SPARK},
    {"BloodDrop", FX_BLOOD_DROP},
};

// A key count held to 0..8.
uint32_t KeyCount(const char* text) {
    return uint32_t(std::clamp(Integer(text), 0, FxDescription::MAX_KEYS));
}

// Word n of the line as a number (the words of a key's list).
float WordNumber(const char* line, int n) {
    return Number(GetWord(line, n));
}
// The key index of word 1 when it is 0 or more and below the count, else -1.
int KeyIndex(const char* line, uint32_t count) {
    const int32_t i = Integer(GetWord(line, 1));
    return i >= 0 && uint32_t(i) < count ? i : -1;
}

// An After or Every line: "time name spread".
struct SubEffectLine {
    float time;
    char name[256];
    float spread;
};
SubEffectLine ParseSubEffect(const char* line) {
    SubEffectLine s{};
    char rest[512];
    CopyText(rest, sizeof rest, GetArgument(line));
    s.time = Number(rest);
    char afterTime[512];
    CopyText(afterTime, sizeof afterTime, GetArgument(rest));
    CopyText(s.name, sizeof s.name, afterTime);
    CutAtBlank(s.name);
    s.spread = Number(GetArgument(afterTime));
    return s;
}

// The direction of v turned by o, its length kept: the look along v
// followed by o.
math::Vec3 Turn(const math::Vec3& v, const orientation& o) {
    const float length = math::Vec3Length(v);
    if (length == 0.0f) return v;
    orientation q;
    q.InitDirection(v / length);
    q.Multiply(o.quaternion);
    return q.forward * length;
}

// (rand & 0xFFFF) / 65536 of the spread with a random sign: within half the
// spread, as the generator gives 15 bits.
float Spread(float spread) {
    if (!(spread > 0.0f)) return 0.0f;
    const float offset = float(os::Rand() & 0xFFFF) / 65536.0f * spread;
    return (os::Rand() & 1) ? offset : -offset;
}
void AddSpread(math::Vec3* v, const math::Vec3& spread) {
    v->x += Spread(spread.x);
    v->y += Spread(spread.y);
    v->z += Spread(spread.z);
}

uint32_t Channel(float v) {
    if (!(v > 0.0f)) return 0;
    return v >= 255.0f ? 255u : uint32_t(v);
}

} // namespace

// ---- Records ----------------------------------------------------------------------------

FxDescription::FxDescription() {
    Zero();
    Orientation = orientation();
    Reset();
}

void FxDescription::Reset() {
    const orientation kept = Orientation;
    Zero();
    Orientation = kept;
    vScale = {1.0f, 1.0f, 1.0f};
    for (int i = 0; i < MAX_KEYS; ++i) {
        vColors[i] = {1.0f, 1.0f, 1.0f};
        fAlphas[i] = 1.0f;
    }
    fLifeTime = 1.0f;
    fSpinSpeed = 90.0f;
    fAnimatedFps = 25.0f;
    dwRenderFlags = 1;
    fKeySpare = 1.0f;
}

void FxDescription::Zero() {
    std::memset(static_cast<void*>(this), 0, sizeof *this);
}

FxInstance::FxInstance() {
    Zero();
    Orientation = orientation();
}

void FxInstance::Zero() {
    std::memset(static_cast<void*>(this), 0, sizeof *this);
}

FxMgr::FxMgr() {
    for (FxDescription& d : m_Descriptions)
        d.Zero();
}

FxMgr::~FxMgr() = default;

// ---- Descriptions -------------------------------------------------------------------------

void FxMgr::LoadAll() {
    for (FxDescription& d : m_Descriptions)
        d.Zero();
    for (const os::DirEntry& e : os::ListDirectory("afx\\*.afx")) {
        if (e.name.empty() || e.name[0] == '.' || e.isDirectory) continue;
        char path[512];
        std::snprintf(path, sizeof path, "%s\\%s", "afx", e.name.c_str());
        LoadFxDescription(path);
    }
    ResolveSubEffects();
    LoadBloodDrops();
}

void FxMgr::LoadFxDescription(const char* path) {
    if (!path || !path[0]) return;
    os::File f = os::Open(path, "rt");
    if (!f) return;
    FxDescription* d = nullptr;
    for (FxDescription& r : m_Descriptions) {
        if (!r.InUse()) {
            d = &r;
            break;
        }
    }
    if (!d) {
        g_Console.Print("MAX_FXCACHE exceeded!");
        return;
    }

    d->dwRenderFlags = 1;
    const char* name = path;
    for (size_t i = std::strlen(path); i-- > 1;) {
        if (path[i] == '\\') {
            name = path + i + 1;
            break;
        }
    }
    CopyText(d->szName, sizeof d->szName, name);
    if (const size_t n = std::strlen(d->szName); n > 4) d->szName[n - 4] = 0;

    char line[kLineLength + 1];
    while (MoreLines(f.get(), path)) {
        ReadLine(f.get(), line, kLineLength);
        if (IsKeyword(line, "Type")) {
            const char* word = GetArgument(line);
            for (const TypeWord& t : kTypeWords)
                if (StrCmpNoCase(word, t.word) == 0) d->dwType = t.type;
        } else if (IsKeyword(line, "Filename")) {
            if (d->dwFilenameCount < kMaxStoredFilenames)
                CopyText(d->szFilenames[d->dwFilenameCount++], sizeof d->szFilenames[0], GetArgument(line));
        } else if (IsKeyword(line, "DistortionNormal")) {
            CopyText(d->szDistortionNormal, sizeof d->szDistortionNormal, GetArgument(line));
        } else if (IsKeyword(line, "dwColor")) {
            d->dwColorCount = KeyCount(GetArgument(line));
        } else if (IsKeyword(line, "dwAlpha")) {
            d->dwAlphaCount = KeyCount(GetArgument(line));
        } else if (IsKeyword(line, "Color")) {
            if (const int i = KeyIndex(line, d->dwColorCount); i >= 0)
                d->vColors[i] = {WordNumber(line, 2), WordNumber(line, 3), WordNumber(line, 4)};
        } else if (IsKeyword(line, "Alpha")) {
            if (const int i = KeyIndex(line, d->dwAlphaCount); i >= 0) d->fAlphas[i] = WordNumber(line, 2);
        } else if (IsKeyword(line, "Color_Time")) {
            if (const int i = KeyIndex(line, d->dwColorCount); i >= 0) d->fColorTimes[i] = WordNumber(line, 2);
        } else if (IsKeyword(line, "Alpha_Time")) {
            if (const int i = KeyIndex(line, d->dwAlphaCount); i >= 0) d->fAlphaTimes[i] = WordNumber(line, 2);
        } else if (IsKeyword(line, "Hurt_Player")) {
            d->fHurtPlayer = Number(GetArgument(line));
            if (d->fHurtPlayer < 0.0f) g_Console.Print2("Ujemny hurt_player dla ", d->szName);
        } else if (IsKeyword(line, "Explosion_Power")) {
            d->fExplosionPower = Number(GetArgument(line));
            if (d->fExplosionPower < 0.0f) g_Console.Print2("Ujemny explosion_power dla ", d->szName);
        } else if (IsKeyword(line, "After")) {
            if (d->dwAfterCount < FxDescription::MAX_SUBEFFECTS) {
                const SubEffectLine s = ParseSubEffect(line);
                d->fAfterTimes[d->dwAfterCount] = s.time;
                CopyText(d->szAfterNames[d->dwAfterCount], sizeof d->szAfterNames[0], s.name);
                d->fAfterRands[d->dwAfterCount++] = s.spread;
            }
        } else if (IsKeyword(line, "Every")) {
            if (d->dwEveryCount < FxDescription::MAX_SUBEFFECTS) {
                const SubEffectLine s = ParseSubEffect(line);
                d->fEveryIntervals[d->dwEveryCount] = s.time;
                CopyText(d->szEveryNames[d->dwEveryCount], sizeof d->szEveryNames[0], s.name);
                d->fEveryRands[d->dwEveryCount++] = s.spread;
            }
        } else {
            for (const VectorKey& k : kVectorKeys)
                if (IsKeyword(line, k.key)) ParseVector3(GetArgument(line), (d->*k.field).data());
            for (const FloatKey& k : kFloatKeys)
                if (IsKeyword(line, k.key)) d->*k.field = Number(GetArgument(line));
            for (const BoolKey& k : kBoolKeys)
                if (IsKeyword(line, k.key)) d->*k.field = StrCmpNoCase(GetArgument(line), "true") == 0 ? 1 : 0;
        }
    }
}

void FxMgr::ResolveSubEffects() {
    for (FxDescription& d : m_Descriptions) {
        for (int i = 0; i < FxDescription::MAX_SUBEFFECTS; ++i) {
            d.pAfterDescriptions[i] = FindDescription(d.szAfterNames[i]);
            d.pEveryDescriptions[i] = FindDescription(d.szEveryNames[i]);
        }
    }
}

FxDescription* FxMgr::FindDescription(const char* name) {
    if (!name || !name[0]) return nullptr;
    for (FxDescription& d : m_Descriptions)
        if (d.InUse() && StrCmpNoCase(d.szName, name) == 0) return &d;
    return nullptr;
}

void FxMgr::WriteTextureConflictReport() {
    static constexpr const char* kReport = "!fx_bugs.txt";
    os::File f = os::Open(kReport, "wt");
    if (!f) return;
    bool any = false;
    char text[kLineLength * 2];
    auto usedAs = [&](const FxDescription& d) {
        std::snprintf(text, sizeof text, d.bAdditive ? "Jako additive w %s" : "Jako normal w %s", d.szName);
        WriteLine(f.get(), text, kLineLength);
    };
    for (int a = 0; a < MAX_FXCACHE; ++a) {
        const FxDescription& A = m_Descriptions[a];
        if (!A.InUse() || A.dwType != FX_SPRITE) continue;
        bool headed = false;
        for (int b = a + 1; b < MAX_FXCACHE; ++b) {
            const FxDescription& B = m_Descriptions[b];
            if (!B.InUse() || B.dwType != FX_SPRITE || B.bAdditive == A.bAdditive) continue;
            if (StrCmpNoCase(A.szFilenames[0], B.szFilenames[0]) != 0) continue;
            if (!headed) {
                std::snprintf(text, sizeof text, "*** tekstura %s uzyta jako Additive i Normal!", A.szFilenames[0]);
                WriteLine(f.get(), text, kLineLength);
                usedAs(A);
                headed = true;
            }
            usedAs(B);
            any = true;
        }
    }
    f.Close();
    if (!any) os::DeleteFile(kReport);
}

void FxMgr::LoadBloodDrops() {
    m_dwBloodDropCount = 0;
    m_dwBloodDropOFCount = 0;
    auto read = [](const char* file, char (*names)[BLOOD_DROP_NAME], uint32_t* count) {
        os::File f = os::Open(file, "rt");
        if (!f) return false;
        char line[kLineLength + 1];
        while (*count < BLOOD_DROPS && MoreLines(f.get(), file)) {
            ReadLine(f.get(), line, kLineLength);
            TrimRight(line);
            if (!line[0] || IsKeyword(line, "//")) continue;
            CopyText(names[(*count)++], BLOOD_DROP_NAME, line);
        }
        return true;
    };
    if (!read("scripts\\BloodDrops.txt", m_szBloodDrops, &m_dwBloodDropCount)) return;
    read("scripts\\BloodDropsOF.txt", m_szBloodDropsOF, &m_dwBloodDropOFCount);
}

void FxMgr::PreloadBloodDropTextures() {
    for (uint32_t i = 0; i < m_dwBloodDropCount; ++i)
        g_Renderer.GetTextureIdByName(m_szBloodDrops[i]);
    for (uint32_t i = 0; i < m_dwBloodDropOFCount; ++i)
        g_Renderer.GetTextureIdByName(m_szBloodDropsOF[i]);
}

// ---- Spawning ----------------------------------------------------------------------------

uint32_t FxMgr::TakeSlot() {
    for (uint32_t& entry : m_dwFreeList) {
        if (!entry) continue;
        const uint32_t slot = entry;
        entry = 0;
        if (m_Instances[slot].bInUse) continue;
        ++m_dwStatFromFreeList;
        return slot;
    }
    // Every slot below the hint is in use, so the scan finds the first free
    // slot of 1..2047 without walking the taken ones again.
    for (uint32_t slot = m_dwScanFrom; slot < MAX_INSTANCES; ++slot) {
        if (m_Instances[slot].bInUse) continue;
        m_dwScanFrom = slot + 1;
        return slot;
    }
    m_dwScanFrom = MAX_INSTANCES;
    uint32_t oldest = 0;
    float least = kReplaceableBelow;
    for (uint32_t slot = 1; slot < MAX_INSTANCES; ++slot) {
        const FxInstance& fx = m_Instances[slot];
        if (fx.bReplaceable && fx.fLifeFraction < least) {
            least = fx.fLifeFraction;
            oldest = slot;
        }
    }
    if (!oldest) return 0;
    KillFx(oldest);
    ++m_dwStatRecycled;
    return oldest;
}

FxInstance* FxMgr::SpawnFx(FxDescription* d, ObjectRecord* parent, const char* socket, uint8_t followSocket) {
    if (!d) return nullptr;
    FxInstance* const dummy = &m_Instances[0];
    if (!AddFX && d->dwType != FX_STREAK) return dummy;
    if (!DrawFX) return dummy;
    if (d->dwType == FX_MESH && d->bApplyPhysicsToMesh) return dummy;
    if (d->dwType == FX_SPRITE && !d->szFilenames[0][0]) return dummy;
    if (d->bLimited) {
        if (m_dwLimitedCount >= MAX_LIMITED) return dummy;
        ++m_dwLimitedCount;
    }
    const uint32_t slot = TakeSlot();
    if (!slot) {
        if (d->bLimited) --m_dwLimitedCount;
        return dummy;
    }

    FxInstance& fx = m_Instances[slot];
    fx.Zero();
    fx.dwIndex = slot;
    ++m_dwStatSpawned;
    if (d->dwType == FX_BLOOD_DROP) d->bMultiply = 1;

    std::memcpy(fx.szName, d->szName, sizeof fx.szName);
    fx.hParent = parent;
    CopyText(fx.szSocket, sizeof fx.szSocket, socket);
    fx.bFollowSocket = followSocket;
    fx.bInUse = 1;
    fx.bVisibleEnabled = 1;
    fx.dwType = d->dwType;
    fx.bAdditive = d->bAdditive;
    fx.bMultiply = d->bMultiply;
    fx.bMove = d->bMove;
    fx.bUseRotation = d->bUseRotation;
    fx.bLightSprite = d->bLightSprite;
    fx.bLimited = d->bLimited;
    fx.bFlatRotation = d->bFlatRotation;
    fx.bApplyPhysicsToMesh = d->bApplyPhysicsToMesh;
    fx.bAnimatedTexture = d->bAnimatedTexture;
    fx.bBlueSpark = d->bBlueSpark;
    fx.bWarmStreak = d->bWarmStreak;
    fx.fGravity = d->fGravity;
    fx.fGrow = d->fGrow;
    fx.fDisappearDistance = d->fDisappearDistance;
    fx.fHurtPlayer = d->fHurtPlayer;
    fx.fExplosionPower = d->fExplosionPower;
    fx.fAccelerateAfter = d->fAccelerateAfter;
    fx.fAccelerateCoef = d->fAccelerateCoef;
    fx.fAccelerateFor = d->fAccelerateFor;
    fx.hOwner = d->hOwner;
    std::memcpy(fx.vColors, d->vColors, sizeof fx.vColors);
    std::memcpy(fx.fAlphas, d->fAlphas, sizeof fx.fAlphas);
    std::memcpy(fx.fColorTimes, d->fColorTimes, sizeof fx.fColorTimes);
    std::memcpy(fx.fAlphaTimes, d->fAlphaTimes, sizeof fx.fAlphaTimes);
    fx.dwColorCount = d->dwColorCount;
    fx.dwAlphaCount = d->dwAlphaCount;
    fx.fKeySpare = d->fKeySpare;
    fx.Orientation = d->Orientation;
    fx.vAimPoint = d->vAimPoint;
    fx.bAimAtPoint = d->bAimAtPoint;
    fx.bLightOn = 1;
    fx.iBlinkStep = -1;

    fx.fLifeTotal = fx.fLifeLeft = d->fLifeTime + RandomFloat(d->fLifeTimeRand);
    if (d->bSpinning) {
        fx.bSpinning = 1;
        fx.fSpinSpeed = (d->fSpinSpeed + RandomFloat(d->fSpinSpeedRand)) * math::kPi / 180.0f;
        fx.fSpinAngle = 0.0f;
    }
    if (d->bAnimatedTexture) {
        fx.fFrameTime = d->fAnimatedFps <= 0.0001f ? 30.0f : 1.0f / d->fAnimatedFps;
        fx.fCycleTime = fx.fFrameTime * 32.0f;
    }

    fx.vPosition = d->vPos;
    AddSpread(&fx.vPosition, d->vPosRand);
    fx.vScale = d->vScale;
    AddSpread(&fx.vScale, d->vScaleRand);
    fx.vVelocity = d->vVel;
    AddSpread(&fx.vVelocity, d->vVelRand);
    fx.vStartPosition = fx.vPosition;
    for (math::Vec3& h : fx.vHistory)
        h = fx.vPosition;
    fx.vSize = fx.vScale;

    if (fx.bUseRotation && fx.dwType != FX_SHELL_CASING) fx.vVelocity = Turn(fx.vVelocity, fx.Orientation);
    if (fx.bAimAtPoint)
        orientation::LookAxes(math::Vec3Normalize(fx.vAimPoint - fx.vPosition), &fx.vQuadRight, &fx.vQuadUp);
    if (parent) PlaceOnParent(&fx, parent, fx.szSocket[0] ? fx.szSocket : nullptr);

    for (int i = 0; i < FxDescription::MAX_SUBEFFECTS; ++i) {
        if (!d->szAfterNames[i][0] && !d->szEveryNames[i][0]) continue;
        fx.fAfterDelay[i] = d->fAfterTimes[i] + RandomFloat(d->fAfterRands[i]);
        fx.pAfterDescription[i] = d->pAfterDescriptions[i];
        fx.pEveryDescription[i] = d->pEveryDescriptions[i];
        fx.fEveryInterval[i] = d->fEveryIntervals[i];
        fx.fEveryRand[i] = d->fEveryRands[i];
        if (fx.pEveryDescription[i] && fx.fEveryInterval[i] < kMinEveryInterval)
            fx.fEveryInterval[i] = kMinEveryInterval;
        fx.fEveryTimer[i] = -RandomFloat(fx.fEveryRand[i]);
    }
    fx.dwAfterCount = d->dwAfterCount;
    fx.dwEveryCount = d->dwEveryCount;

    if (fx.fExplosionPower > 0.001f && TheGameFrame().LevelFrame() > FIRST_EXPLOSION_FRAME) ExplodeAtSpawn(fx);

    fx.dwColor = 0xFF000000u | Channel(d->vColors[0].x) << 16 | Channel(d->vColors[0].y) << 8 |
                 Channel(d->vColors[0].z);
    fx.vRenderPosition = fx.vPosition;
    SetUpByType(&fx, *d);
    return &fx;
}

void FxMgr::PlaceOnParent(FxInstance* fx, ObjectRecord* parent, const char* socket) {
    if (!fx->bMove) {
        if (!socket) return;
        math::Vec3 at;
        orientation o;
        if (!ReadObjectSocket(parent, socket, &at, &o)) {
            g_Console.Print2("FX nie czyta socketa ", socket);
            return;
        }
        const math::Vec3 offset = fx->vPosition;
        if (offset.x != 0.0f || offset.y != 0.0f || offset.z != 0.0f) at += Turn(offset, o);
        fx->vPosition = fx->vRenderPosition = at;
        fx->Orientation = o;
        return;
    }
    fx->vVelocity = Turn(fx->vVelocity, parent->Orientation);
    if (!socket) return;
    math::Vec3 at;
    orientation o;
    if (ReadObjectSocket(parent, socket, &at, &o))
        fx->vPosition = at;
    else
        g_Console.Print2("FX nie czyta socketa ", socket);
}

void FxMgr::SetUpByType(FxInstance* fx, const FxDescription& d) {
    switch (fx->dwType) {
    case FX_SPRITE: {
        const uint32_t n = std::min<uint32_t>(d.dwFilenameCount, FxDescription::MAX_FILENAMES);
        const char* file = n >= 2 ? d.szFilenames[uint32_t(os::Rand()) % n] : d.szFilenames[0];
        fx->dwTextureId = g_Renderer.GetTextureIdByName(file);
        fx->dwRenderFlags =
            (fx->bLightSprite ? 0x800u : 0u) | d.dwRenderFlags | (fx->bUseRotation || fx->bSpinning ? 2u : 0u);
        fx->dwBlendFlags = uint32_t(fx->bAdditive) | uint32_t(fx->bMultiply) << 1 | d.dwBlendFlags;
        break;
    }
    case FX_BLOOD_DROP:
        if (!m_dwBloodDropCount) break;
        fx->vColors[0] = {1.0f, 1.0f, 1.0f};
        fx->dwTextureId = g_Renderer.GetTextureIdByName(m_szBloodDrops[uint32_t(os::Rand()) % m_dwBloodDropCount]);
        fx->dwRenderFlags =
            (fx->bLightSprite ? 0x800u : 0u) | d.dwRenderFlags | (fx->bUseRotation || fx->bSpinning ? 2u : 0u);
        fx->dwBlendFlags = d.dwBlendFlags | 2u;
        break;
    case FX_MESH:
    case FX_SHELL_CASING: {
        const bool shell = fx->dwType == FX_SHELL_CASING;
        if (!d.szFilenames[0][0])
            g_Console.Print2(d.szName, shell ? " tworzy bullet shell bez nazwy!" : " tworzy mesha bez nazwy!");
        static AddObjectParams* params = new AddObjectParams;
        params->Reset();
        params->dwType = OT_MESH;
        params->dwFlags3 = kKindFx;
        CopyText(params->szFileName, sizeof params->szFileName, d.szFilenames[0]);
        params->dwFlags = shell ? kMeshFlags : kMeshFlags | d.dwRenderFlags;
        params->dwFlags2 = shell ? kShellFlags2 : kMeshFlags2 | d.dwBlendFlags;
        params->vPosition = fx->vPosition;
        if (shell || fx->bUseRotation) params->Orientation = fx->Orientation;
        fx->hObject = g_Engine.AddObject(*params);
        if (!fx->hObject) break;
        SetObjectScale(fx->hObject, fx->vScale);
        fx->hObject->bVisible = 1;
        if (shell) fx->hObject->bMarker = 1;
        break;
    }
    default:
        break;
    }
}

void FxMgr::ExplodeAtSpawn(const FxInstance& fx) {
    g_Engine.ApplyExplosion(fx.vPosition, fx.fExplosionPower);
    if (!TheWorldHooks().IsVariableSet("cicha_eksplozja")) {
        const char* sound;
        if (!m_bGrenadeSound)
            sound = kNormalSounds[os::Rand() % 7];
        else if (math::Vec3Distance(fx.vPosition, g_Camera.GetPosition()) >= kGrenadeFarDistance)
            sound = kGrenadeFarSounds[os::Rand() % 7];
        else
            sound = kGrenadeNearSounds[os::Rand() % 3];
        g_SoundMgr.PlaySound3DOnce(sound, fx.vPosition.data(), EXPLOSION_SOUND_RANGE);
    }
    g_Renderer.AddFlash(fx.vPosition.data());
}

FxInstance* FxMgr::SpawnFxAt(const FxDescription* d, const math::Vec3* position, const orientation* o) {
    if (!d) return nullptr;
    if (d != &m_ScratchAt) m_ScratchAt = *d;
    if (position) m_ScratchAt.vPos += *position;
    if (o) m_ScratchAt.Orientation = *o;
    return SpawnFx(&m_ScratchAt, nullptr, nullptr, 0);
}

FxInstance* FxMgr::SpawnFxByName(const char* name, const math::Vec3* position, const orientation* o) {
    const FxDescription* d = FindDescription(name);
    return d ? SpawnFxAt(d, position, o) : nullptr;
}

FxInstance* FxMgr::SpawnFxOnSocket(const char* name, ObjectRecord* parent, const char* socket,
                                   uint8_t followSocket) {
    FxDescription* d = FindDescription(name);
    return d ? SpawnFx(d, parent, socket, followSocket) : nullptr;
}

void FxMgr::KillFx(uint32_t index) {
    if (index >= MAX_INSTANCES || !m_Instances[index].bInUse) return;
    FxInstance& fx = m_Instances[index];
    if (fx.hObject) g_Engine.DeleteObject(fx.hObject);
    if (fx.bLimited && m_dwLimitedCount) --m_dwLimitedCount;
    fx.Zero();
    if (index && index < m_dwScanFrom) m_dwScanFrom = index;
}

void FxMgr::KillAll() {
    for (uint32_t i = 0; i < MAX_INSTANCES; ++i)
        KillFx(i);
}

// ---- The frame ---------------------------------------------------------------------------

void FxMgr::Update() {
    if (!DrawFX || TheGameFrame().MenuOpen()) return;
    m_fFrameTime = UpdateModels ? g_Engine.m_fFrameTime : 0.0f;
    m_bSparksThisFrame = 0;
    m_dwLiveCount = 0;
    m_dwStatReplaceable = 0;
    for (uint32_t i = 0; i < MAX_INSTANCES; ++i) {
        FxInstance& fx = m_Instances[i];
        if (!fx.bInUse) continue;
        StepInstance(&fx);
        if (!fx.bInUse) continue;
        if (fx.fLifeTotal >= 0.0f) {
            fx.fLifeLeft -= m_fFrameTime;
            if (fx.fLifeLeft <= 0.0f && fx.dwStepCount > 2) {
                KillFx(i);
                continue;
            }
        }
        ++fx.dwStepCount;
        ++m_dwLiveCount;
        if (fx.bReplaceable) ++m_dwStatReplaceable;
    }
    // The spark buffer is filled by the drawing step.
    if (!m_bSparksThisFrame) m_dwSparkCount = 0;
    RefillFreeList();
    m_dwStatSpawned = m_dwStatFromFreeList = m_dwStatRecycled = 0;
}

void FxMgr::RefillFreeList() {
    int n = 0;
    std::memset(m_dwFreeList, 0, sizeof m_dwFreeList);
    for (uint32_t slot = 1; slot < MAX_INSTANCES && n < FREE_LIST; ++slot)
        if (!m_Instances[slot].bInUse) m_dwFreeList[n++] = slot;
}

void FxMgr::StepInstance(FxInstance* fx) {
    const float dt = m_fFrameTime;
    if (fx->dwType == FX_STREAK || fx->dwType == FX_SPARK) m_bSparksThisFrame = 1;
    if (fx->hParent && !fx->hParent->bUsed) fx->hParent = nullptr;
    if (fx->bUseRotation) {
        fx->vDirection = fx->Orientation.forward;
        fx->vQuadUp = fx->Orientation.up;
        fx->vQuadRight = fx->Orientation.right;
    }
    const float farZ = g_Camera.GetFarZ();
    fx->fCameraDistance = math::Vec3Distance(fx->vRenderPosition, g_Camera.GetPosition());
    fx->fCullDistance = farZ;
    if (fx->fDisappearDistance > 1.0f && fx->fDisappearDistance < farZ) fx->fCullDistance = fx->fDisappearDistance;
    // An effect made to end at once has no fraction of its life left.
    fx->fLifeFraction = fx->fLifeTotal != 0.0f ? fx->fLifeLeft / fx->fLifeTotal : 0.0f;
    bool afterPending = false;
    for (const FxDescription* a : fx->pAfterDescription)
        afterPending = afterPending || a;
    fx->bReplaceable = fx->dwType != FX_STREAK && !fx->bRocket && !fx->bGrenade && fx->fLifeTotal > 0.0f &&
                       !afterPending;
    if (fx->fCameraDistance > fx->fCullDistance && fx->bReplaceable) {
        KillFx(fx->dwIndex);
        return;
    }

    if (fx->hParent && !fx->bMove && fx->bFollowSocket) {
        math::Vec3 target = fx->hParent->vPosition;
        bool read = true;
        if (fx->szSocket[0]) {
            orientation o;
            read = ReadObjectSocket(fx->hParent, fx->szSocket, &target, &o);
            if (!read) g_Console.Print2("FX nie czyta socketa ", fx->szSocket);
        }
        if (read) {
            if (fx->hObject)
                SetObjectPosition(fx->hObject, target);
            else
                fx->vRenderPosition = target;
        }
    }
    // Rockets and grenades fly and shell casings fall in the projectile
    // step; until then they stay where they were spawned.
    if (fx->dwType == FX_SHELL_CASING) return;

    const bool moving = fx->bMove && !fx->bApplyPhysicsToMesh;
    if (moving && !fx->bRocket && !fx->bGrenade) {
        if (fx->fAccelerateCoef != 0.0f) {
            fx->fAccelerateAfter -= dt;
            if (fx->fAccelerateAfter <= 0.0f) {
                fx->fAccelerateAfter = 0.0f;
                fx->fAccelerateFor -= dt;
                if (fx->fAccelerateFor > 0.0f) {
                    const float speed = math::Vec3Length(fx->vVelocity);
                    const float slower = speed - dt * fx->fAccelerateCoef;
                    fx->vVelocity = slower <= 0.0f || speed == 0.0f ? math::Vec3{} : fx->vVelocity * (slower / speed);
                } else {
                    fx->fAccelerateCoef = 0.0f;
                }
            }
        }
        fx->vHistory[2] = fx->vHistory[1];
        fx->vHistory[1] = fx->vHistory[0];
        fx->vHistory[0] = fx->vPosition;
        fx->vDirection = math::Vec3Normalize(fx->vPosition - fx->vHistory[1]);
        orientation::LookAxes(fx->vDirection, &fx->vQuadRight, &fx->vQuadUp);
        // Blood drops fall in the projectile step.
        if (fx->dwType != FX_BLOOD_DROP) {
            fx->vVelocity.y -= fx->fGravity * dt;
            fx->vPosition += fx->vVelocity * dt;
            fx->vRenderPosition = fx->vPosition;
        }
    }

    if (fx->fHurtPlayer > 0.0f) {
        const WorldHooks& hooks = TheWorldHooks();
        const float reach = hooks.PlayerCrouching() ? HURT_DISTANCE_CROUCHED : HURT_DISTANCE;
        if (math::Vec3Distance(hooks.PlayerPosition(), fx->vPosition) < reach)
            hooks.ChangePlayerHealth(-dt * fx->fHurtPlayer);
    }
    if (fx->bSpinning) UpdateSpin(fx);
    // Light sprites test their visibility in the drawing step.
    if (moving && !fx->bRocket && !fx->bGrenade) {
        if (fx->hObject)
            SetObjectPosition(fx->hObject, fx->vPosition);
        else
            fx->vRenderPosition = fx->vPosition;
    }
    if (fx->fGrow != 0.0f) {
        fx->vScale *= 1.0f + dt * fx->fGrow;
        if (fx->hObject) SetObjectScale(fx->hObject, fx->vScale);
        fx->vSize = fx->vScale;
    }

    if (!SubEffectsActive(*fx)) return;
    for (int i = 0; i < FxDescription::MAX_SUBEFFECTS; ++i) {
        const FxDescription* every = fx->pEveryDescription[i];
        if (!every) continue;
        fx->fEveryTimer[i] += dt;
        if (fx->fEveryTimer[i] < fx->fEveryInterval[i]) continue;
        fx->fEveryTimer[i] = -RandomFloat(fx->fEveryRand[i]);
        FireSubEffect(*fx, every, &m_ScratchEvery);
        // The spawn may have recycled this very slot.
        if (!fx->bInUse || fx->pEveryDescription[i] != every) return;
    }
    for (int i = 0; i < FxDescription::MAX_SUBEFFECTS; ++i) {
        const FxDescription* after = fx->pAfterDescription[i];
        if (!after) continue;
        fx->fAfterDelay[i] -= dt;
        if (fx->fAfterDelay[i] > 0.0f) continue;
        fx->pAfterDescription[i] = nullptr;
        FireSubEffect(*fx, after, &m_ScratchAfter);
        if (!fx->bInUse) return;
    }
}

bool FxMgr::SubEffectsActive(const FxInstance& fx) const {
    const float farZ = g_Camera.GetFarZ();
    if (!fx.hParent) {
        if (fx.fCameraDistance > farZ) return false;
        return !(fx.fDisappearDistance > 1.0f) || fx.fCameraDistance <= fx.fDisappearDistance;
    }
    const ObjectRecord* p = fx.hParent;
    // Seen this frame, within the far distance, and near the camera or
    // updated at any distance.
    if (!p->bVisibleNow || float(p->iCameraDistance) > farZ) return false;
    return p->iCameraDistance <= kParentNearDistance || !(p->dwFlags & kFlagFarUpdate);
}

void FxMgr::FireSubEffect(const FxInstance& fx, const FxDescription* d, FxDescription* scratch) {
    *scratch = *d;
    scratch->Orientation = fx.Orientation;
    ObjectRecord* parent = fx.hParent;
    if (!parent) {
        scratch->vPos += fx.vPosition;
        SpawnFx(scratch, nullptr, nullptr, 0);
        return;
    }
    if (fx.bMove) scratch->vPos = Turn(scratch->vPos, parent->Orientation) + fx.vPosition;
    // The socket is copied: the new instance may take this very slot.
    char socket[FxInstance::SOCKET_LEN];
    std::memcpy(socket, fx.szSocket, sizeof socket);
    SpawnFx(scratch, parent, socket[0] ? socket : nullptr, fx.bFollowSocket);
}

void FxMgr::UpdateSpin(FxInstance* fx) {
    fx->fSpinAngle += fx->fSpinSpeed * m_fFrameTime;
    if (fx->fSpinAngle > math::kTwoPi)
        fx->fSpinAngle -= math::kTwoPi;
    else if (fx->fSpinAngle < -math::kTwoPi)
        fx->fSpinAngle += math::kTwoPi;
    fx->Orientation.InitDirection(math::Vec3Normalize(fx->vPosition - g_Camera.GetPosition()));
    fx->Orientation.Rotate(fx->Orientation.forward, fx->fSpinAngle);
    if (fx->hObject && fx->dwType == FX_MESH) SetObjectOrientation(fx->hObject, fx->Orientation);
    fx->vDirection = fx->Orientation.forward;
    fx->vQuadUp = fx->Orientation.up;
    fx->vQuadRight = fx->Orientation.right;
}

// ---- The world's lifetime ----------------------------------------------------------------

void FxMgr::Init() {
    for (FxDescription& d : m_Descriptions)
        d.Zero();
    for (FxInstance& fx : m_Instances)
        fx.Zero();
    m_dwScanFrom = 1;
    std::memset(m_szBloodDrops, 0, sizeof m_szBloodDrops);
    std::memset(m_szBloodDropsOF, 0, sizeof m_szBloodDropsOF);
    m_dwBloodDropCount = m_dwBloodDropOFCount = 0;
    m_dwLimitedCount = 0;
    LoadAll();
    WriteTextureConflictReport();
    if (g_pD3DInterface && !m_pSparkVB &&
        g_pD3DInterface->CreateVertexBuffer(SPARK_BUFFER_BYTES, gfx::usage::WriteOnly,
                                            gfx::fvf::Xyz | gfx::fvf::Diffuse, gfx::Pool::Managed,
                                            &m_pSparkVB) != gfx::Result::Ok)
        m_pSparkVB = nullptr;
    PreloadBloodDropTextures();
    for (int i = 0; i < FREE_LIST; ++i)
        m_dwFreeList[i] = uint32_t(i + 1);
    m_bGrenadeSound = 0;
}

void FxMgr::Destroy() {
    if (m_pSparkVB) {
        m_pSparkVB->Release();
        m_pSparkVB = nullptr;
    }
    KillAll();
}
