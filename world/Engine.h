// The engine world: the global engine object `g_Engine` owns the table of
// world objects (4000 `ObjectRecord` slots in fixed ranges by type), the
// engine flags and the world's frame values.
//
// Lifetimes: the table lives from program start until exit; a record gets its
// creation state when its slot is taken, and a slot is taken while its in-use
// byte is set. Slots never taken stay all zero (not in use). A record pointer
// is the object handle the whole program passes around; every object operation takes
// it first and ignores a null record.
//
// Failure policy: nothing throws. Creation failures print one console line
// ("*** Over Objects Limit!", "Mesh Nie Created!" ...) and return null, leaving
// the slot free; lookups that find nothing return null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "app/CommandMgr.h"
#include "platform/math/Types.h"

struct ObjectRecord;
namespace window {
class Window;
}
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
    OT_LIGHT = 2, // no mesh, has a radius: lights and triggers
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
    // Slots 0-3899 in order: the first taken record with a non-empty name
    // equal to name ignoring case; onlyMain keeps types 0, 2 and 6. Sprites
    // are never found, by name or by PESEL.
    ObjectRecord* FindObjectByName(const char* name, bool onlyMain = false);
    ObjectRecord* FindObjectByPesel(const uint32_t pesel[3]);
    ObjectRecord* FindObjectByPesel(const PESEL& pesel);
    // Loads a resource into its cache by making a throw-away object: kind 1
    // texture, 2 sprite, 4 mesh, 8 sound file (when it exists), 16 skinned mesh.
    void PrecacheResource(const char* name, int kind);
    // Ties every record that holds both pending tie names (world open).
    void ApplyPendingTies();
    // Ties the object to a socket of the named object, or unties it. Names
    // longer than the 60 characters of the tie fields are refused.
    void TieObject(ObjectRecord* h, bool tie, const char* objectName, const char* socketName);
    // Pushes and damages the objects around a point (slots up to the type-2
    // high-water mark), then hands the explosion to the game.
    void ApplyExplosion(const math::Vec3& point, float power);

    // Runs the action of the object (type 0, 2 or 6) of that name; an empty
    // name does nothing.
    void FireAction(const char* name, int flag);
    // Deletes every object whose distance from the camera eye, less its range,
    // is at least the radius, and every object marked always-wipe.
    void WipeOut(float radius);

    // The record of a slot, null outside 0..3999.
    ObjectRecord* Object(int slot);
    int NumObjects() const { return m_iNumObjects; }

    // The forced camera look (ForceCameraToLook): the object looked from, the
    // object looked at, and the flags the from-object had before.
    ObjectRecord* m_hLookFrom = nullptr;
    ObjectRecord* m_hLookAt = nullptr;
    uint32_t m_dwLookFromFlags = 0;

    // ---- Save games ----------------------------------------------------------
    void Save(std::FILE* f);
    void Load(std::FILE* f);

    // ---- Engine flags and frame values ---------------------------------------
    // The quit flag ends the main loop (console "quit", the menu's exit).
    void Quit() { m_bQuit = 1; }
    // The engine's keyboard: released while the console or the menu reads
    // window key messages, created again when they close.
    // The command manager's keyboard on the engine's window.
    void CreateKeyboard() {
        g_CommandMgr.CreateKeyboard(m_hWnd);
        m_bKeyboardCreated = 1;
    }
    void ReleaseKeyboard() {
        g_CommandMgr.ReleaseKeyboard();
        m_bKeyboardCreated = 0;
    }
    // Saves the back buffer as the first free "zt_screen%04d.bmp" (0999 again
    // when all 1000 exist); nothing without a device or a kept back buffer.
    void SaveScreenshot();
    // The name SaveScreenshot uses: the first of zt_screen0000.bmp ..
    // zt_screen0999.bmp that cannot be opened for reading, else the last.
    static void ScreenshotFileName(char* out, size_t size);

    // ---- Frame, device and input hooks (main loop and frame driver) ----------
    // Reads the timer; false when less than 0.001 s passed since the last
    // frame (the time then adds up to the next call). The frame time is the
    // step clamped to 0.5 s and scaled by GlobalTimeSpeed.
    bool EngineFrameTiming();
    // The engine half of the frame; false without focus or before Init.
    bool EngineFrame();
    // Closes the running world and loads the named one ("*...": an empty
    // world); false when the world file cannot be loaded.
    bool StartWorld(const char* name);
    void EndWorld();
    void Init(window::Window* w);
    void Release();
    void PrepareCamera();
    void Render();
    void OnKeyDown(uint32_t key);
    void OnKeyUp(uint32_t key);
    void ReleaseMouse();
    void RestoreMouse();
    // Forwards a device reset to the mesh manager's hook.
    void OnDeviceReset() {}
    // The screenshot and cut-scene keys (while the keyboard is ready).
    void HandleKeys();
    // Prints "*** Stop cutscene!" and runs the cut-scene on fast forward.
    void StopCutscene();
    // The world-open hooks (after the world file was read).
    void OpenWorld();

    // Test seam: when set, each step of StartWorld, EndWorld and OpenWorld
    // reports its name before it runs.
    void (*m_pfnHookTrace)(const char* step) = nullptr;
    uint8_t m_bCameraPlaced = 0; // the engine placed the camera this frame
    // Set while the camera is forced to look from one object at another;
    // the post-processing then keeps full colour.
    uint8_t m_bScriptedCamera = 0;
    uint64_t m_qwFreeVideoMemory = 0;  // as the device told it at the last world open
    uint8_t m_bScreenshotKeyLatch = 0; // last state of the screenshot command
    uint8_t m_bCommand10Latch = 0;

    uint8_t m_bInitialized = 0;
    uint8_t m_bWorldRunning = 0; // set by the first world start
    double m_fLastTime = 0.0;    // last timer reading, seconds
    float m_fFrameTime = 0.0f;   // the scaled time step of this frame
    float m_fFpsAccumulator = 0.0f;
    float m_fFps = 0.0f;
    uint32_t m_dwFpsFrames = 0;
    uint32_t m_dwFrameNumber = 0;
    uint8_t m_bWorldTimeRunning = 0;
    char m_szCurrentWorld[128] = {};
    window::Window* m_hWnd = nullptr;

    uint8_t m_bKeyboardCreated = 0;
    uint8_t m_bQuit = 0;
    uint8_t m_bStartingWorld = 0; // a world change is pending or running
    uint8_t m_bScreenshotRequest = 0;

    // ---- World ---------------------------------------------------------------
    uint8_t m_bWorldLoaded = 0; // a world is loaded (ties are made at once, else kept pending)
    // An empty world ("*") was opened: its open hooks made objects (the game's
    // camera box) that the next start must close before the meshes go.
    uint8_t m_bEmptyWorldOpen = 0;
    // Asks for a world change at the end of the main loop's idle pass.
    void SetWorldToStart(const char* name);

    char m_WorldToStart[128] = {}; // the world to start next, empty for none
    uint8_t m_bWorldShown = 0;     // the world is rendered only while set
    // The world paused, and the second pause flag (the player's update stops
    // while either holds; the menu sets them once it is built).
    uint8_t m_bWorldPaused = 0;
    uint8_t m_bWorldPaused2 = 0;
    // A skipped cut-scene runs fast forward; no sound is made or played meanwhile.
    uint8_t m_bFastForward = 0;
    // The special reduced-render mode: the rigid bodies neither step nor are created.
    uint8_t m_bReducedRenderMode = 0;
    float m_fWorldTime = 0.0f; // seconds since the world started

    // One past the highest slot ever taken in each range (lowered on deletion).
    int m_iMeshHighWater = FIRST_MESH;
    int m_iSkinMeshHighWater = FIRST_SKINMESH;
    int m_iLightHighWater = FIRST_LIGHT;
    int m_iSpriteHighWater = FIRST_SPRITE;

    // Calls visit(slot) in slot order for each slot from the start of the
    // mesh, skinned-mesh and light ranges (and the sprite range with
    // withSprites) to the range's high-water mark: the per-frame walks, which
    // so skip the empty rest of each range. A mark is read again before each
    // slot, so an object the visit adds is still reached, as in a walk of the
    // whole table.
    template <typename Visit> void ForEachSlotBelowHighWater(Visit&& visit, bool withSprites = false) {
        for (int slot = FIRST_MESH; slot < m_iMeshHighWater; ++slot)
            visit(slot);
        for (int slot = FIRST_SKINMESH; slot < m_iSkinMeshHighWater; ++slot)
            visit(slot);
        for (int slot = FIRST_LIGHT; slot < m_iLightHighWater; ++slot)
            visit(slot);
        if (!withSprites) return;
        for (int slot = FIRST_SPRITE; slot < m_iSpriteHighWater; ++slot)
            visit(slot);
    }

  private:
    bool SlotRange(uint32_t type, int* first, int* end, int** highWater);

    ObjectRecord* m_Objects = nullptr; // MAX_OBJECTS records in zeroed memory
    int m_iNumObjects = 0;
};

extern EEngine g_Engine;

// The world to start first (the console's "runworld"), such as
// "worlds\level_10.w".
extern char WorldFileName[128];

// Set by the game while "worlds\intro.w" runs: the frame time is clamped to
// 2.0 s instead of 0.5 s.
extern bool g_bLongFrameTimeClamp;

// Bits that the stages of one engine frame set for later ones; zeroed at the
// start of every frame.
struct EngineSharedFlags {
    uint32_t dwWords[4];
    uint8_t bBytes[8];
};
static_assert(sizeof(EngineSharedFlags) == 24);
extern EngineSharedFlags g_EngineSharedFlags;
