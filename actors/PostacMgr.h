// The non-player characters ("postacie") of the running world: 256 slots
// owned by `PostacMgr` (global g_PostacMgr). The character records, their
// descriptions and behaviour come with the characters' subsystem; this holds
// the slot table's in-use, name and dead marks and deleting the dead, which
// the console's "DeleteDead" asks for, and the marks the music director reads.
#pragma once

#include <cstdint>

#include "app/Orientation.h"
#include "platform/math/Types.h"

struct ObjectRecord;

struct strpostac {
    bool bUsed = false;
    bool bDead = false;
    char szName[64] = {};
    ObjectRecord* hObjects[3] = {};  // the body objects, the skinned mesh first
    ObjectRecord* hWeapon = nullptr; // the weapon object it carries
    char szDescription[64] = {};     // the description it was made from
    char szPhase[64] = {};           // its current phase
    char szRunTarget[64] = {};       // where it was told to run
    math::Vec3 vPosition;
    ObjectRecord* hRespawner = nullptr;
    uint32_t dwId = 0;      // unique id of the live character, 0 for none
    uint8_t bFacePoint = 0; // told to turn its face towards vFacePoint
    math::Vec3 vFacePoint;
    // Out of play besides bDead: the music director counts none of these.
    uint8_t bRemoved = 0;                  // takes part in nothing any more
    uint8_t bSuspended = 0;                // a far-away character parked by the update
    uint8_t bDeleteRequested = 0;          // removed at the end of the update
    float fDistanceToPlayer = 0;           // kept up to date by the character update
    uint8_t bAlerted = 0;                  // was given the player's position
    uint8_t bAlarm = 0;                    // raises the alarm (the alarm music)
    ObjectRecord* hLinkedObject = nullptr; // a marked one keeps the character out of the music's count
};

// A noise or alert the characters may notice: where, how far it carries
// through walls, in the open and in sight, its flags and the frames left.
struct strEvent {
    uint8_t bUsed = 0;
    math::Vec3 vPosition;
    float fRadiusWalls = 0;
    float fRadiusOpen = 0;
    int32_t iFlag = 0;
    float fRadiusSeen = 0;
    int32_t iFrames = 0;
    int32_t iFlag2 = 0;
    int32_t iFlag3 = 0;
};

class PostacMgr {
  public:
    static constexpr int MAX_POSTACIE = 256;
    static constexpr int MAX_EVENTS = 36;
    virtual ~PostacMgr() = default;

    // Frees every slot in use whose dead flag is set.
    void DeleteDeadCharacters();
    // World close: every character goes with its world (the slots hold the
    // world's objects, and the music director counts whoever is in one).
    void Destroy();
    // The character of that name (ignoring case); with liveOnly a dead one
    // does not count. Null when none.
    strpostac* FindByName(const char* name, bool liveOnly);
    // The character asked to face a point (a camera looking at it).
    void FacePoint(strpostac* p, const math::Vec3& point);

    // What the world's actions ask of the characters. Until the characters'
    // behaviour exists these keep the request on the character's slot.
    // The first live character of that name takes the phase.
    void SetFazaByName(const char* name, const char* phase);
    void RunToByName(const char* name, const char* target, const char* path, const char* phaseOnTarget,
                     const char* animation);
    // A character of the description comes back at the respawner, named
    // after it, in the phase; null when every slot is taken.
    strpostac* RespawnCharacter(const char* description, const math::Vec3& position, const orientation& o,
                                const char* phase, ObjectRecord* respawner);
    void PreloadCharacterSounds(const char* description) { ++m_dwSoundPreloads; }
    // Kinds 0 and 1: the hero's two voices, with the subtitle of the label.
    void PlayVoiceWithSubtitle(int kind, const char* file, const char* label);
    void TeleportCharacter(const char* name, const math::Vec3& position);
    // Kills the character; the blow comes from the position.
    void Zabij(strpostac* p, const math::Vec3& blowPosition);
    // Debug drawing of the characters at the end of the scene (recorded by
    // the renderer until the characters draw it).
    void DrawDebug();

    // Fills the first free event slot; nothing when all are used. (Their
    // countdown and the characters' noticing come with the characters.)
    void AddEvent(const math::Vec3& position, float radiusWalls, float radiusOpen, int32_t flag,
                  float radiusSeen, int32_t frames, int32_t flag2, int32_t flag3);

    strpostac m_Postacie[MAX_POSTACIE];
    strEvent m_Events[MAX_EVENTS];
    uint32_t m_dwSoundPreloads = 0;
    char m_szLastVoice[256] = {};
};

extern PostacMgr g_PostacMgr;
