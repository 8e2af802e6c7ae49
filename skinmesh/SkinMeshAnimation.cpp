#include "skinmesh/SkinMeshAnimation.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "platform/math/Math.h"
#include "platform/os/Os.h"
#include "skinmesh/SkinMeshMgr.h"

LinkFieldList g_LinkFieldList;
ESkinMeshAnimationLoader g_SkinMeshCacheAnimation;

namespace {

void CopyName(char (&out)[128], const char* name) {
    std::snprintf(out, sizeof out, "%s", name);
}

bool EndsWithNoCase(const char* name, const char* suffix) {
    const size_t n = std::strlen(name), s = std::strlen(suffix);
    return n >= s && os::EqualNoCase(std::string_view(name + n - s, s), suffix);
}

void Blank() {
    g_Console.Print(" ");
}

} // namespace

// ---- Link fields ----------------------------------------------------------------

strLinkField* LinkFieldList::Find(const char* name) const {
    if (!name) return nullptr;
    for (strLinkField* f = m_pHead; f; f = f->pNext)
        if (StrCmpNoCase(f->szName, name) == 0) return f;
    return nullptr;
}

strLinkField* LinkFieldList::FindOrAdd(const char* name) {
    if (!name) return nullptr;
    if (strLinkField* f = Find(name)) return f;
    strLinkField* f = new (std::nothrow) strLinkField();
    if (!f) return nullptr;
    g_Debug.AddAllocation("strLinkField");
    CopyName(f->szName, name);
    f->bUpperBody = f->bLowerBody = f->bFace = 1;
    f->pNext = m_pHead;
    m_pHead = f;
    return f;
}

void LinkFieldList::ResetPoses() {
    for (strLinkField* f = m_pHead; f; f = f->pNext) {
        f->vTranslation = {0, 0, 0};
        f->qRotation = {0, 0, 0, 1};
        f->vScale = {1, 1, 1};
        f->mLocal = math::Matrix::Identity();
    }
}

void LinkFieldList::Clear() {
    while (m_pHead) {
        strLinkField* next = m_pHead->pNext;
        delete m_pHead;
        g_Debug.RemoveAllocation("strLinkField");
        m_pHead = next;
    }
}

// ---- Reading ----------------------------------------------------------------------

namespace {

constexpr size_t kHeaderSize = 28;
constexpr size_t kRecordSize = 180;

uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

float F32(const uint8_t* p) {
    const uint32_t u = U32(p);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

double F64(const uint8_t* p) {
    const uint64_t u = uint64_t(U32(p)) | uint64_t(U32(p + 4)) << 32;
    double d;
    std::memcpy(&d, &u, 8);
    return d;
}

// Walks the node records without allocating anything: every count fits the
// bytes left and every key time is finite. The size the file must have is the
// end of its last record; bytes after it are not read.
bool RecordsFit(const std::vector<uint8_t>& bytes, uint32_t n) {
    size_t at = kHeaderSize;
    const size_t size = bytes.size();
    if ((size - at) / kRecordSize < n) return false;
    for (uint32_t i = 0; i < n; ++i) {
        if (size - at < kRecordSize) return false;
        const uint64_t nT = U32(&bytes[at + 168]), nR = U32(&bytes[at + 172]), nS = U32(&bytes[at + 176]);
        const uint64_t keys = 16 * nT + 20 * nR + 16 * nS;
        if (keys > size - at - kRecordSize) return false;
        const uint8_t* times = &bytes[at + kRecordSize];
        for (uint64_t k = 0; k < nT + nR + nS; ++k)
            if (!std::isfinite(F32(times + 4 * k))) return false;
        at += kRecordSize + keys;
    }
    return true;
}

template <class T> T* NewArray(uint32_t n, const char* tag) {
    if (n == 0) return nullptr;
    T* p = new T[n];
    g_Debug.AddAllocation(tag);
    return p;
}

template <class T> void DeleteArray(T*& p, const char* tag) {
    if (!p) return;
    delete[] p;
    g_Debug.RemoveAllocation(tag);
    p = nullptr;
}

math::Vec3 ReadVec3(const uint8_t* p) {
    return {F32(p), F32(p + 4), F32(p + 8)};
}

math::Quat ReadQuat(const uint8_t* p) {
    return {F32(p), F32(p + 4), F32(p + 8), F32(p + 12)};
}

void FreeTrackArrays(tNodeAnim& t) {
    DeleteArray(t.fTimeTranslation, "p_fTimeTranslation");
    DeleteArray(t.fTimeRotation, "p_fTimeRotation");
    DeleteArray(t.fTimeScale, "p_fTimeScale");
    DeleteArray(t.vTranslation, "vTranslation");
    DeleteArray(t.qRotation, "qRotation");
    DeleteArray(t.vScale, "vScale");
}

} // namespace

bool ESkinMeshAnimation::Load_Animation_From_Bin_File(const char* fileName, strSkinMeshAnimation* anim) {
    if (!anim) return false;
    anim->dTimeFactor = 1.0;
    anim->fAngleX = anim->fAngleY = anim->fAngleZ = 0;
    anim->dwNumTracks = 0;
    anim->pTracks = nullptr;
    if (!fileName) return false;
    std::vector<uint8_t> bytes;
    if (!os::ReadWholeFile(fileName, &bytes)) return false;
    return LoadFromBytes(bytes, fileName, anim);
}

bool ESkinMeshAnimation::LoadFromBytes(const std::vector<uint8_t>& bytes, const char* fileName,
                                       strSkinMeshAnimation* anim) {
    // The magic is exactly four bytes, whatever their case.
    if (bytes.size() < 4 ||
        !os::EqualNoCase(std::string_view(reinterpret_cast<const char*>(bytes.data()), 4), "BINA")) {
        g_Console.Printf(
            "ERROR in ESkinMeshAnimation::Load_Animation_From_Bin_File(): File is not BIN animation!, "
            "AnimFile=%s",
            fileName);
        return false;
    }
    auto damaged = [&] {
        g_Console.Printf(
            "ERROR in ESkinMeshAnimation::Load_Animation_From_Bin_File(): File is damaged!, AnimFile=%s",
            fileName);
        return false;
    };
    if (bytes.size() < 8) return damaged();
    if (U32(&bytes[4]) != 2) {
        g_Console.Printf(
            "ERROR in ESkinMeshAnimation::Load_Animation_From_Bin_File(): Wrong version of file format!, "
            "AnimFile=%s",
            fileName);
        return false;
    }
    if (bytes.size() < 12) return damaged();
    const uint32_t n = U32(&bytes[8]);
    if (n == 0) return true;
    if (bytes.size() < kHeaderSize) return damaged();
    const double keyTimeScale = F64(&bytes[12]), duration = F64(&bytes[20]);
    if (!std::isfinite(keyTimeScale) || !std::isfinite(duration) || !RecordsFit(bytes, n)) return damaged();

    // Checked whole: from here on nothing can fail but the memory.
    anim->pTracks = NewArray<tNodeAnim>(n, "tNodeAnim");
    anim->dwNumTracks = n;
    anim->dwByteSize = static_cast<uint32_t>(sizeof(tNodeAnim) * n);
    anim->dKeyTimeScale = keyTimeScale;
    anim->dDuration = duration;
    size_t at = kHeaderSize;
    for (uint32_t i = 0; i < n; ++i) {
        tNodeAnim& t = anim->pTracks[i];
        const uint8_t* r = &bytes[at];
        std::memcpy(t.szName, r, 127);
        t.szName[127] = 0;
        t.pLinkField = g_LinkFieldList.FindOrAdd(t.szName);
        if (!t.pLinkField)
            g_Console.Printf(
                "ERROR in ESkinMeshAnimation::Load_Animation_From_Bin_File():  pLinkField is NULL, "
                "AnimFile=%s",
                fileName);
        t.vReservedTranslation = ReadVec3(r + 128);
        t.qReservedRotation = ReadQuat(r + 140);
        t.vReservedScale = ReadVec3(r + 156);
        t.nT = U32(r + 168);
        t.nR = U32(r + 172);
        t.nS = U32(r + 176);
        t.fTimeTranslation = NewArray<float>(t.nT, "p_fTimeTranslation");
        t.fTimeRotation = NewArray<float>(t.nR, "p_fTimeRotation");
        t.fTimeScale = NewArray<float>(t.nS, "p_fTimeScale");
        t.vTranslation = NewArray<math::Vec3>(t.nT, "vTranslation");
        t.qRotation = NewArray<math::Quat>(t.nR, "qRotation");
        t.vScale = NewArray<math::Vec3>(t.nS, "vScale");
        anim->dwByteSize += 4 * (t.nT + t.nR + t.nS) + 12 * t.nT + 16 * t.nR + 12 * t.nS;
        const uint8_t* p = r + kRecordSize;
        for (uint32_t k = 0; k < t.nT; ++k, p += 4)
            t.fTimeTranslation[k] = F32(p);
        for (uint32_t k = 0; k < t.nR; ++k, p += 4)
            t.fTimeRotation[k] = F32(p);
        for (uint32_t k = 0; k < t.nS; ++k, p += 4)
            t.fTimeScale[k] = F32(p);
        for (uint32_t k = 0; k < t.nT; ++k, p += 12)
            t.vTranslation[k] = ReadVec3(p);
        for (uint32_t k = 0; k < t.nR; ++k, p += 16)
            t.qRotation[k] = ReadQuat(p);
        for (uint32_t k = 0; k < t.nS; ++k, p += 12)
            t.vScale[k] = ReadVec3(p);
        at = static_cast<size_t>(p - bytes.data());
    }
    g_SkinMeshMgr.m_dwAnimationBytes += anim->dwByteSize;
    g_SkinMeshMgr.m_dwNumAnimations += 1;
    return true;
}

void ESkinMeshAnimation::FreeTracks(strSkinMeshAnimation* anim) {
    if (!anim || anim->dwNumTracks == 0) return;
    for (uint32_t i = 0; i < anim->dwNumTracks; ++i)
        FreeTrackArrays(anim->pTracks[i]);
    DeleteArray(anim->pTracks, "tNodeAnim");
    anim->dwNumTracks = 0;
    anim->szName[0] = 0;
    g_SkinMeshMgr.m_dwAnimationBytes -= anim->dwByteSize;
    g_SkinMeshMgr.m_dwNumAnimations -= 1;
    anim->dwByteSize = 0;
}

// ---- Sampling -----------------------------------------------------------------

namespace {

// The key pair around T: g and g1 with k[g] <= T <= k[g1] (g = g1 at the
// ends). The search starts from a guess proportional to T within the key
// span, so evenly spaced keys are found in a step or two. False when no pair
// holds T (NaN).
bool FindKeys(const float* k, uint32_t count, float T, uint32_t* outG, uint32_t* outG1) {
    const int64_t n = count;
    if (n == 1 || T < k[0]) { // one key, or before the first key: the first key
        *outG = *outG1 = 0;
        return true;
    }
    const float span = k[n - 1] - k[0];
    const float f = span != 0.0f ? (T - k[0]) / span : 0.0f;
    // Clamped into the key range before it becomes an index (NaN gives 0).
    float guess = f * static_cast<float>(n - 1);
    if (!(guess >= 0.0f)) guess = 0.0f;
    if (guess > static_cast<float>(n - 1)) guess = static_cast<float>(n - 1);
    int64_t g = static_cast<int64_t>(guess);
    if (g > n - 1) g = n - 1;
    int64_t step = k[g] < T ? 1 : -1;
    bool restarted = false;
    for (;;) {
        if (g < 0 || g >= n) {
            if (restarted) return false;
            restarted = true;
            g = 0;
            step = 1;
            continue;
        }
        const int64_t g1 = g + 1 < n ? g + 1 : n - 1;
        if ((k[g] <= T && k[g1] >= T) || g == g1) {
            *outG = static_cast<uint32_t>(g);
            *outG1 = static_cast<uint32_t>(g1);
            return true;
        }
        g += step;
    }
}

// The blend weight u / dt of the pair (0 for one key or equal times).
float PairWeight(const float* k, uint32_t g, uint32_t g1, float T) {
    const float dt = k[g1] - k[g];
    if (g == g1 || dt == 0.0f) return 0.0f;
    return (T - k[g]) / dt;
}

math::Vec3 Lerp(const math::Vec3& a, const math::Vec3& b, float s) {
    return {a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s, a.z + (b.z - a.z) * s};
}

// One key kind at T: the blend of its key pair, the key itself when the
// weight is 0 (one key, equal times, T on the key), the default without keys.
template <class Value, class Blend>
Value SampleKind(const float* k, const Value* keys, uint32_t n, float T, Value none, Blend blend) {
    uint32_t g, g1;
    if (n == 0 || !FindKeys(k, n, T, &g, &g1)) return none;
    const float w = PairWeight(k, g, g1, T);
    return w == 0.0f ? keys[g] : blend(keys[g], keys[g1], w);
}

bool InChannel(const strLinkField* f, uint32_t channel) {
    switch (channel) {
    case 1:
        return f->bUpperBody != 0;
    case 2:
        return f->bLowerBody != 0;
    case 3:
        return f->bFace != 0;
    default:
        return true;
    }
}

} // namespace

void ESkinMeshAnimation::Sample(strSkinMeshAnimation* anim, AnimationChannel* channel) {
    if (!anim || !channel) return;
    const double D = anim->dDuration;
    const double t = channel->dTime;
    double local;
    if (channel->bLoop) {
        // The loop count is clamped before it becomes an integer.
        double n = D > 0.0 ? std::trunc(t / D) : 0.0;
        if (!(n >= 0.0)) n = 0.0;
        if (n > 4294967295.0) n = 4294967295.0;
        local = t - n * D;
        if (local > D) local = D;
        channel->dwPrevLoopCount = channel->dwLoopCount;
        channel->dwLoopCount = static_cast<uint32_t>(n);
    } else {
        local = t > D ? D : t;
        channel->bFinished = t > D;
    }
    channel->dLocalTime = local;
    const float T = static_cast<float>(local * anim->dKeyTimeScale);

    for (uint32_t i = 0; i < anim->dwNumTracks; ++i) {
        const tNodeAnim& track = anim->pTracks[i];
        strLinkField* field = track.pLinkField;
        if (!field || !InChannel(field, channel->dwChannel)) continue;
        field->vTranslation =
            SampleKind(track.fTimeTranslation, track.vTranslation, track.nT, T, math::Vec3{0, 0, 0}, Lerp);
        field->qRotation = SampleKind(track.fTimeRotation, track.qRotation, track.nR, T,
                                      math::Quat{0, 0, 0, 1}, math::QuatSlerp);
        field->vScale = SampleKind(track.fTimeScale, track.vScale, track.nS, T, math::Vec3{1, 1, 1}, Lerp);
        field->mLocal = math::MatrixTransformation(field->vScale, field->qRotation, field->vTranslation);
    }
}

// ---- Finding animation files ------------------------------------------------

bool ESkinMeshAnimationLoader::IsDefaultAnimationFile(const char* fileName) {
    return fileName && EndsWithNoCase(fileName, "_DEFAULT.bin");
}

void ESkinMeshAnimationLoader::StripAnimationExtension(char* name) {
    if (!name) return;
    const size_t n = std::strlen(name);
    if (EndsWithNoCase(name, "_DEFAULT.bin"))
        name[n - 12] = 0;
    else if (EndsWithNoCase(name, ".bin"))
        name[n - 4] = 0;
}

// Visits every entry of the sorted listing: an animation file (a name
// ending in "bin", any case) goes to visit(file name, full path); every
// directory is walked where it stands in the listing. The pattern is "*":
// the listing matches literally, and "*.*" would leave out every name
// without a dot (most directories).
template <class Visit> void ESkinMeshAnimationLoader::SearchDirectory(const char* directory, Visit& visit) {
    const std::string dir(directory);
    for (const os::DirEntry& e : os::ListDirectory(dir + "\\*")) {
        const std::string full = dir + "\\" + e.name;
        if (e.isDirectory) {
            SearchDirectory(full.c_str(), visit);
        } else if (e.name.size() >= 3 &&
                   os::EqualNoCase(std::string_view(e.name).substr(e.name.size() - 3), "bin")) {
            visit(e.name.c_str(), full.c_str());
        }
    }
}

int ESkinMeshAnimationLoader::LoadAnimation(const char* directory, const char* name, int* slotCount,
                                            strSkinMeshAnimation** slots, int limit) {
    if (!slotCount || !slots) return -1;
    m_iLimit = limit;
    m_iNumSlots = *slotCount;
    m_pSlots = slots;
    const int slot = SearchAndLoadAnimation___START(directory, name);
    *slotCount = m_iNumSlots;
    m_pSlots = nullptr;
    return slot;
}

int ESkinMeshAnimationLoader::FindFreeSlot() {
    for (int i = 0; i < m_iNumSlots; ++i)
        if (!m_pSlots[i]) return i;
    if (m_iNumSlots < MAX_ANIMATIONS) {
        m_pSlots[m_iNumSlots] = nullptr;
        return m_iNumSlots++;
    }
    Blank();
    g_Console.Print("FATAL INTERNAL ERROR in SkinMeshBase: MAX_ANIMATIONS_IN_SKINMESHBASE exceeded!");
    Blank();
    return -1;
}

int ESkinMeshAnimationLoader::SearchAndLoadAnimation___START(const char* directory, const char* name) {
    if (!directory || !name || !m_pSlots) return -1;
    const int slot = FindFreeSlot();
    if (slot < 0) return -1;
    strSkinMeshAnimation* anim = new strSkinMeshAnimation();
    g_Debug.AddAllocation("strSkinMeshAnimation");
    anim->dTimeFactor = 1.0;
    m_pSlots[slot] = anim;
    auto visit = [&](const char* fileName, const char* fullPath) { TryFile(slot, fileName, fullPath, name); };
    SearchDirectory(directory, visit);
    if (anim->dwNumTracks != 0) return slot;

    ESkinMeshAnimation::FreeTracks(anim);
    delete anim;
    g_Debug.RemoveAllocation("strSkinMeshAnimation");
    m_pSlots[slot] = nullptr;
    Blank();
    Blank();
    g_Console.Print("ERROR in SearchAndLoadAnimation___START(): Animation not found or corrupted!");
    g_Console.Print("Bad animation name:");
    g_Console.Print(name);
    g_Console.Print("Directory Path:");
    g_Console.Print(directory);
    Blank();
    Blank();
    return -1;
}

void ESkinMeshAnimationLoader::TryFile(int slot, const char* fileName, const char* fullPath,
                                       const char* wantedName) {
    strSkinMeshAnimation* anim = m_pSlots[slot];
    if (!anim || anim->dwNumTracks != 0) return; // the first file that loads wins
    CopyName(anim->szName, fileName);
    StripAnimationExtension(anim->szName);
    anim->bDefault = IsDefaultAnimationFile(fileName) ? 1 : 0;
    if (wantedName && StrCmpNoCase(anim->szName, wantedName) != 0) return;
    if (!ESkinMeshAnimation::Load_Animation_From_Bin_File(fullPath, anim)) {
        Blank();
        g_Console.Printf("\nProblem with skinmesh's animation: %s", fileName);
        g_Console.Printf("szFullPath: %s", fullPath);
        Blank();
    }
}

void ESkinMeshAnimationLoader::ScanAnimationNames(const char* directory, int* nameCount, char** names,
                                                  int limit) {
    m_szDefaultAnimationName[0] = 0;
    if (!directory || !nameCount || !names) return;
    m_iLimit = limit;
    m_iNumAnimationNames = *nameCount;
    m_szAnimationNames = names;
    Przejrzyj_Katalog(directory);
    *nameCount = m_iNumAnimationNames;
    for (int i = 0; i < m_iNumAnimationNames; ++i) {
        for (int j = i + 1; j < m_iNumAnimationNames; ++j) {
            if (!names[i] || !names[j] || StrCmpNoCase(names[i], names[j]) != 0) continue;
            Blank();
            g_Console.Print("ERROR: Two animations with the same name!!!");
            g_Console.Printf("Duplicated name: %s", names[i]);
            g_Console.Printf("szDirectoryName: %s", directory);
            Blank();
        }
    }
    m_szAnimationNames = nullptr;
}

void ESkinMeshAnimationLoader::Przejrzyj_Katalog(const char* directory) {
    if (!directory || !m_szAnimationNames) return;
    auto visit = [&](const char* fileName, const char*) {
        if (m_iNumAnimationNames >= MAX_ANIMATIONS - 1) {
            Blank();
            Blank();
            g_Console.Print("FATAL INTERNAL ERROR in SkinMeshBase: MAX_ANIMATIONS_IN_SKINMESHBASE exceeded!");
            Blank();
            Blank();
            return;
        }
        char*& slot = m_szAnimationNames[m_iNumAnimationNames];
        if (slot) {
            // A buffer already there is reused rather than lost.
            Blank();
            g_Console.Print("FATAL INTERNAL ERROR in SkinMeshBase::Przejrzyj_Katalog(): "
                            "m_szAnimationNames[m_iNumAnimationNames] is not NULL!");
            Blank();
        } else {
            slot = new (std::nothrow) char[NAME_SIZE];
            if (!slot) {
                Blank();
                g_Console.Print("FATAL INTERNAL ERROR in SkinMeshBase::Przejrzyj_Katalog(): not enough RAM?");
                Blank();
                return;
            }
            g_Debug.AddAllocation("m_szAnimationNames");
        }
        std::snprintf(slot, 129, "%s", fileName);
        const bool isDefault = IsDefaultAnimationFile(slot);
        StripAnimationExtension(slot);
        if (isDefault) CopyName(m_szDefaultAnimationName, slot);
        ++m_iNumAnimationNames;
    };
    SearchDirectory(directory, visit);
}

void ESkinMeshAnimationLoader::FreeAnimationNames(int* nameCount, char** names) {
    if (!nameCount || !names) return;
    for (int i = 0; i < MAX_ANIMATIONS; ++i) {
        if (!names[i]) continue;
        delete[] names[i];
        g_Debug.RemoveAllocation("m_szAnimationNames");
        names[i] = nullptr;
    }
    *nameCount = 0;
}
