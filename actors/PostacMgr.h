// The non-player characters ("postacie") of the running world: 256 slots
// owned by `PostacMgr` (global g_PostacMgr). The character records, their
// descriptions and behaviour come with the characters' subsystem; this holds
// the slot table's in-use, name and dead marks and deleting the dead, which
// the console's "DeleteDead" asks for, and the marks the music director reads.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

struct ObjectRecord;

struct strpostac {
    bool bUsed = false;
    bool bDead = false;
    char szName[64] = {};
    ObjectRecord* hObjects[3] = {};  // the body objects, the skinned mesh first
    uint32_t dwId = 0;               // unique id of the live character, 0 for none
    uint8_t bFacePoint = 0;          // told to turn its face towards vFacePoint
    math::Vec3 vFacePoint;
    // Out of play besides bDead: the music director counts none of these.
    uint8_t bRemoved = 0;          // takes part in nothing any more
    uint8_t bSuspended = 0;        // a far-away character parked by the update
    uint8_t bDeleteRequested = 0;  // removed at the end of the update
    float fDistanceToPlayer = 0;   // kept up to date by the character update
    uint8_t bAlerted = 0;          // was given the player's position
    uint8_t bAlarm = 0;            // raises the alarm (the alarm music)
    ObjectRecord* hLinkedObject = nullptr;  // a marked one keeps the character out of the music's count
};

class PostacMgr {
public:
    static constexpr int MAX_POSTACIE = 256;
    virtual ~PostacMgr() = default;

    // Frees every slot in use whose dead flag is set.
    void DeleteDeadCharacters();
    // The character of that name (ignoring case); with liveOnly a dead one
    // does not count. Null when none.
    strpostac* FindByName(const char* name, bool liveOnly);
    // The character asked to face a point (a camera looking at it).
    void FacePoint(strpostac* p, const math::Vec3& point);

    strpostac m_Postacie[MAX_POSTACIE];
};

extern PostacMgr g_PostacMgr;
