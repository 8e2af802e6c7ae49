// Bezier paths of a world, `BezierMgr` (global g_BezierMgr): the nodes of the
// level's side file (the world file's name with the extension "bzr"), kept in
// a singly linked list, newest first. Each node starts one cubic segment
// towards its next node, sampled at load into 200 points; objects ride the
// samples (lifts, vehicles, the Bezier camera's markers), characters walk
// them, and arriving at a node can set or clear script variables, fire an
// object's action or pause the mover.
//
// Lifetimes: nodes live from LoadFile to FreeAll (world close). A moving
// object's run state (ObjectSubRecord, inside its record) points at nodes, so
// FreeAll happens only after the world's objects are gone.
//
// Failure policy: a file that cannot be opened makes LoadFile return false; a
// zero-length segment, a missing start node and an inconsistent run state
// print their console lines and the mover stays where it is. Nothing here
// allocates per frame.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

struct ObjectRecord;

struct BezierNode {
    static constexpr uint32_t NUM_SAMPLES = 200;

    char szName[128] = {};
    math::Vec3 vPosition;                 // "pos"
    float fFixedRotation[3] = {};         // "fixed_rotation", degrees
    float fInterpolationRotation[3] = {}; // "interpolation_rotation", degrees
    math::Vec3 vControl1;                 // "ksztalt1"
    math::Vec3 vControl2;                 // "ksztalt2"
    float fValues[5] = {};                // "values"; the first is the speed on the segment from here
    uint8_t bDontFollow = 0;
    uint8_t bEmitBomb = 0;
    char szGameAiSet[128] = {};        // variable set on arrival
    char szGameAiUnset[128] = {};      // variable cleared on arrival
    char szGiveActionToMesh[128] = {}; // object whose action fires on arrival
    uint8_t bBlocker = 0;
    uint8_t bDontRender = 0;
    double dLength = 0;       // length of the segment that starts here
    uint32_t dwNumPoints = 0; // samples: 200 with a next node, 2 without
    math::Vec3 vPoints[NUM_SAMPLES];
    uint8_t bPauseInNode = 0;
    double dPauseTime = 0; // "pause_pause_time"
    math::Vec3 vIncoming;  // last step of the segment that ends here
    uint32_t dwColor = 0xFF00EAFE;
    BezierNode* pNextInPath = nullptr; // from "next_in_path_nr"
    BezierNode* pNext = nullptr;       // list link
    uint8_t bVisited = 0;              // the length walk's mark
    uint32_t nr = 0;
    uint32_t dwNextNr = 0;
};

class BezierMgr {
  public:
    // The most nodes one path file may hold (about 48 MB of nodes).
    static constexpr uint32_t MAX_FILE_NODES = 16384;

    virtual ~BezierMgr();

    // Parses the path file, links each node to its next node by number,
    // samples the segments and starts (or places) the objects whose Bezier
    // movement is active; false when the file cannot be opened.
    bool LoadFile(const char* fileName);
    // A zeroed node at the head of the list.
    BezierNode* AllocNode();
    // By name without regard to case (none for an empty name), by number.
    BezierNode* FindNode(const char* name) const;
    BezierNode* FindNodeByNr(uint32_t nr) const;
    void FreeAll();

    // Links next nodes by number and samples every node (the steps after the
    // file's last line; also used for paths built in code).
    void LinkAndSample();
    // The 200 samples of a node's segment (2 at its position without a next
    // node), its length and the next node's incoming direction.
    static void SampleNode(BezierNode* node);

    // Sum of the segment lengths from the named node along the next links,
    // each node counted once; 0 for a name that no node has.
    double GetPathLength(const char* startName);
    // The point at a distance along the path from the named node and the
    // path's direction there (characters walking a path).
    void GetPointOnPath(const char* startName, double distance, math::Vec3* position, math::Vec3* direction);

    // Advances every moving object by the frame time.
    void UpdateObjects(float frameTime);
    // Moves one object's run state along its path by t seconds and leaves
    // the new position and orientation in the run state.
    void Advance(ObjectRecord* h, double t);

    BezierNode* First() const { return m_pFirst; }

    // The mover reaches a node: its speed, laps, pauses, stop mark, script
    // variables and action.
    void NodeArrival(ObjectRecord* h, BezierNode* node);

  private:
    void StartLoadedObjects();

    BezierNode* m_pFirst = nullptr;
    uint32_t m_dwNumPoints = 0; // samples of every node, the bound of a mover's step
};

extern BezierMgr g_BezierMgr;

// ---- Object operations --------------------------------------------------------
// Starts the object along its path from its start node; only while its
// BezierMovingParams are active.
void StartObjectBezierMoving(ObjectRecord* h);
void StopObjectBezierMoving(ObjectRecord* h);
bool IsObjectBezierMoving(ObjectRecord* h);
// Slows the mover to a stop over value seconds (mode 1), or speeds it up to
// full speed over value seconds (mode 2).
void SetObjectBezierSpeedMode1(ObjectRecord* h, float value);
void SetObjectBezierSpeedMode2(ObjectRecord* h, float value);
// Switches the mover on or off, the change taking `seconds`: one that runs
// (or is speeding up) slows to a stop; one that was slowed down rises to full
// speed again; one that does not move starts from its start node and rises
// from a stand-still.
void SwitchObjectBezierMoving(ObjectRecord* h, float seconds);
// A mover that does not loop stops at the next blocker node.
void SetObjectBezierLoop(ObjectRecord* h, bool loop);
