// The non-player characters ("postacie") of the running world: 256 slots
// owned by `PostacMgr` (global g_PostacMgr). The character records, their
// descriptions and behaviour come with the characters' subsystem; this holds
// the slot table's in-use, name and dead marks and deleting the dead, which
// the console's "DeleteDead" asks for.
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
