// Skinned-mesh animations: the binary animation files (.bin, magic "BINA",
// version 2) with their per-node key tracks, the shared pose list through
// which sampled poses reach every skeleton, the sampler, and the finder that
// walks animation directories for names and loads one named animation into a
// free slot of a caller's animation array.
//
// Ownership: a loaded `strSkinMeshAnimation` owns its tracks and their key
// arrays (freed by ESkinMeshAnimation::FreeTracks); the records themselves
// belong to whoever holds the slot array (a model's base or the manager's
// common animations). Tracks point at `strLinkField` records of the one
// global list g_LinkFieldList, which outlives every loaded animation (it is
// cleared at the manager's release). Name buffers collected by a scan belong
// to the caller's name array.
//
// Failure policy: a file that cannot be opened is no animation, without a
// message; a wrong magic, a wrong version and a damaged file (counts the
// bytes cannot hold, a non-finite time, scale or duration, bytes cut short)
// print their line and leave the record empty, with nothing allocated. Every
// count is checked against the bytes left before anything is allocated.
// Sampling never allocates. Every allocation is registered with the
// allocation tracker under its record or member name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/math/Types.h"

// One pose record per distinct node name, shared by every animation and every
// skinned mesh: the sampler writes a node's pose here and the channels copy it
// into their nodes at once.
struct strLinkField {
    char szName[128] = {};
    math::Vec3 vTranslation{0, 0, 0};
    math::Quat qRotation{0, 0, 0, 1};
    math::Vec3 vScale{0, 0, 0};
    math::Matrix mLocal;
    uint8_t bUpperBody = 0, bLowerBody = 0, bFace = 0;
    strLinkField* pNext = nullptr;
};

// The global list of pose records, newest first.
class LinkFieldList {
  public:
    LinkFieldList() = default;
    LinkFieldList(const LinkFieldList&) = delete;
    LinkFieldList& operator=(const LinkFieldList&) = delete;
    virtual ~LinkFieldList() { Clear(); }

    // The record of a name (case-insensitive), or null.
    strLinkField* Find(const char* name) const;
    // The record of a name; a new one (all body-part flags set, zero scale,
    // identity rotation and matrix) pushed at the head when there is none.
    // Null for a null name or when no record can be allocated.
    strLinkField* FindOrAdd(const char* name);
    // Every record to the identity pose (scale 1): a node that the next
    // sampling does not reach reads the identity.
    void ResetPoses();
    void Clear();
    void Destroy() { Clear(); }
    strLinkField* Head() const { return m_pHead; }

  private:
    strLinkField* m_pHead = nullptr;
};

extern LinkFieldList g_LinkFieldList;

// One node's key tracks. Arrays of count 0 are null.
struct tNodeAnim {
    char szName[128] = {};
    strLinkField* pLinkField = nullptr;
    math::Vec3 vReservedTranslation;
    math::Quat qReservedRotation;
    math::Vec3 vReservedScale;
    uint32_t nT = 0, nR = 0, nS = 0;
    float* fTimeTranslation = nullptr;
    float* fTimeRotation = nullptr;
    float* fTimeScale = nullptr;
    math::Vec3* vTranslation = nullptr;
    math::Quat* qRotation = nullptr;
    math::Vec3* vScale = nullptr;
};

// One animation. The reader fills the tracks, the key-time scale and the
// duration; the finder fills the name and the default flag; the description
// fields come from the model's animations_desc.txt or a common animation's
// standard_params line.
struct strSkinMeshAnimation {
    char szName[128] = {};
    uint8_t bCommon = 0;
    uint8_t bDefault = 0;
    // Description: degrees, the time factor that multiplies a channel's time
    // advance, and the yaw-pitch-roll matrix of the three angles.
    float fAngleX = 0, fAngleY = 0, fAngleZ = 0;
    double dTimeFactor = 0.0;
    math::Matrix mRotation;
    uint32_t dwNumTracks = 0;
    tNodeAnim* pTracks = nullptr;
    double dKeyTimeScale = 0.0; // key time = channel time x this
    double dDuration = 0.0;     // in channel time
    uint32_t dwByteSize = 0;    // bytes of tracks, times and keys (statistics)
};

// A playback channel of a skinned-mesh instance (the channel steps come with
// the instance's channels): the sampler reads the loop flag, the time and
// the channel number and writes the local time, the loop counts and the
// finished flag.
struct AnimationChannel {
    int32_t iAnimation = -1;
    bool bLoop = false;
    double dTimeStep = 0.0;
    double dTime = 0.0;
    bool bFinished = false;
    double dBlendTime = 0.0;
    double dBlendTimeLeft = 0.0;
    double dSpeed = 1.0;
    uint32_t dwChannel = 0; // 0 whole body, 1 upper body, 2 lower body, 3 face
    uint32_t dwLoopCount = 0;
    uint32_t dwPrevLoopCount = 0;
    double dLocalTime = 0.0;
    char szAnimationName[128] = {};
};

class ESkinMeshAnimation {
  public:
    // Reads one .bin file into the record (binding its tracks to
    // g_LinkFieldList); false when it is no readable animation.
    static bool Load_Animation_From_Bin_File(const char* fileName, strSkinMeshAnimation* anim);
    // The same on a file's bytes (after the record was emptied); fileName
    // only names the file in messages.
    static bool LoadFromBytes(const std::vector<uint8_t>& bytes, const char* fileName,
                              strSkinMeshAnimation* anim);
    // Frees the tracks and their arrays and takes the animation out of the
    // statistics.
    static void FreeTracks(strSkinMeshAnimation* anim);
    // Evaluates the animation at the channel's time into the link fields of
    // its tracks (loop or clamp, then per key kind a search from a guess and
    // a blend). Allocates nothing.
    static void Sample(strSkinMeshAnimation* anim, AnimationChannel* channel);
};

// Animation-file finder (global g_SkinMeshCacheAnimation).
class ESkinMeshAnimationLoader {
  public:
    static constexpr int MAX_ANIMATIONS = 1000; // MAX_ANIMATIONS_IN_SKINMESHBASE
    static constexpr int NAME_SIZE = 130;

    virtual ~ESkinMeshAnimationLoader() = default;

    // Searches the directory tree for the named animation and loads it into a
    // free slot of the caller's array; the slot index, or -1.
    int LoadAnimation(const char* directory, const char* name, int* slotCount, strSkinMeshAnimation** slots,
                      int limit);
    int SearchAndLoadAnimation___START(const char* directory, const char* name);
    // Collects the animation names of a directory tree (at most 999) into the
    // caller's array of NAME_SIZE buffers, reports duplicates and leaves the
    // default animation's name in the loader.
    void ScanAnimationNames(const char* directory, int* nameCount, char** names, int limit);
    void Przejrzyj_Katalog(const char* directory);
    // Frees the name buffers a scan allocated and clears the count.
    static void FreeAnimationNames(int* nameCount, char** names);

    const char* GetDefaultAnimationName() const { return m_szDefaultAnimationName; }

    // "walk_DEFAULT.bin" is a default animation file (any case).
    static bool IsDefaultAnimationFile(const char* fileName);
    // The animation name of a file name: less "_DEFAULT.bin", else less
    // ".bin" (any case), else the name itself.
    static void StripAnimationExtension(char* name);

  private:
    int FindFreeSlot();
    template <class Visit> void SearchDirectory(const char* directory, Visit& visit);
    void TryFile(int slot, const char* fileName, const char* fullPath, const char* wantedName);

    int m_iLimit = 0;
    int m_iNumSlots = 0;
    strSkinMeshAnimation** m_pSlots = nullptr;
    int m_iNumAnimationNames = 0;
    char** m_szAnimationNames = nullptr;
    char m_szDefaultAnimationName[128] = {};
};

extern ESkinMeshAnimationLoader g_SkinMeshCacheAnimation;
