// The engine world: the global engine object `g_Engine` owns the table of
// world objects (4000 `ObjectRecord` slots in fixed ranges by type), the
// engine flags and the world's frame values.
//
// Lifetimes: every record is constructed once at program start and lives until
// exit; a slot is taken while its in-use byte is set. A record pointer is the
// object handle the whole program passes around; every object operation takes
// it first and ignores a null record.
//
// Failure policy: nothing throws. Creation failures print one console line
// ("*** Over Objects Limit!", "Mesh Nie Created!" ...) and return null, leaving
// the slot free; lookups that find nothing return null.
#pragma once

#include <cstdint>
#include <cstdio>

struct ObjectRecord;
struct AddObjectParams;

// The unique id of an object: creation time in ms, a rand() value and the
// slot. Saved games and world cross-references identify objects by these 12
// bytes; all zero means no object.
struct PESEL {
    uint32_t dwTime = 0;
    uint32_t dwRand = 0;
    uint32_t dwSlot = 0;
    bool IsNone() const { return dwTime == 0 && dwRand == 0 && dwSlot == 0; }
    bool operator==(const PESEL&) const = default;
};
static_assert(sizeof(PESEL) == 12);

// Object types, the first word of AddObjectParams.
enum : uint32_t {
    OT_MESH = 0,
    OT_LIGHT = 2,  // no mesh, has a radius: lights and triggers
    OT_SPRITE = 5,
    OT_SKINMESH = 6,
};

class EEngine {
public:
    // ---- Object table --------------------------------------------------------
    static constexpr int MAX_OBJECTS = 4000;
    // Slot ranges: meshes, skinned meshes, type-2 objects, sprites.
    static constexpr int FIRST_MESH = 0;
    static constexpr int FIRST_SKINMESH = 3400;
    static constexpr int FIRST_LIGHT = 3800;
    static constexpr int FIRST_SPRITE = 3900;
    // Searches by name and PESEL stop before the sprites.
    static constexpr int SEARCH_END = 3900;

    EEngine();
    virtual ~EEngine();

    ObjectRecord* AddObject(const AddObjectParams& params);
    ObjectRecord* CreateObject(uint32_t type, const char* fileName, uint32_t flags, uint32_t flags2,
                               const float* position = nullptr, const float* angles = nullptr);
    void DeleteObject(ObjectRecord* h);
    void DeleteWorldObjects(bool all);
    void DeleteNotImportant();
    ObjectRecord* FindObjectByName(const char* name, bool onlyMain = false);
    ObjectRecord* FindObjectByPesel(const uint32_t pesel[3]);
    ObjectRecord* FindObjectByPesel(const PESEL& pesel);

    ObjectRecord* Object(int slot);
    int NumObjects() const { return m_iNumObjects; }

    // ---- Save games ----------------------------------------------------------
    void Save(std::FILE* f);
    void Load(std::FILE* f);

    // ---- Engine flags and frame values ---------------------------------------
    // A skipped cut-scene runs fast forward; no sound is made or played meanwhile.
    uint8_t m_bFastForward = 0;
    float m_fWorldTime = 0.0f;  // seconds since the world started

    // ---- World ---------------------------------------------------------------

    // One past the highest slot ever taken in each range (lowered on deletion).
    int m_iMeshHighWater = FIRST_MESH;
    int m_iSkinMeshHighWater = FIRST_SKINMESH;
    int m_iLightHighWater = FIRST_LIGHT;
    int m_iSpriteHighWater = FIRST_SPRITE;

private:
    ObjectRecord* m_Objects = nullptr;  // MAX_OBJECTS records, built at construction
    int m_iNumObjects = 0;
};

extern EEngine g_Engine;
