// The Bezier camera, `CBezierCamera` (global g_BezierCamera): takes the view
// from the player while it runs. An invisible marker rides a Bezier path
// from the camera node and the eye follows it; the view looks at a second
// marker riding from the target node, or, without a target, along the
// camera marker's path, steered by the mouse. Started by the console
// ("BezierCamera camera_node target_node"); ended by command 19 or 8, or by
// the game at world close.
//
// Lifetimes: the two markers are world objects created at Start and deleted
// by Destroy; the mouse state is saved when the ride starts and given back by
// Destroy.
#pragma once

#include <cstdint>

#include "app/Mouse.h"

struct ObjectRecord;

class CBezierCamera {
  public:
    virtual ~CBezierCamera() = default;

    // Ends a running camera, splits the argument at its first blank into the
    // camera node and the target node (empty without a blank), starts, and
    // sets active.
    void ExecCommand(const char* argument);
    // Ends a running camera; an empty camera node does nothing more; keeps
    // both names, creates the markers ("Bezier camera", "Bezier target");
    // started 0.
    void Start(const char* cameraNode, const char* targetNode);
    // Per game frame while active.
    void Update(float frameTime);
    // Stops and deletes the markers, gives the mouse its saved state back,
    // clears active and started.
    void Destroy();

    uint8_t m_bActive = 0;
    uint8_t m_bStarted = 0;
    ObjectRecord* m_hCamera = nullptr;
    ObjectRecord* m_hTarget = nullptr;
    char m_szCameraNode[64] = {};
    char m_szTargetNode[64] = {};
    EMouse::State m_SavedMouse;
    bool m_bMouseSaved = false;
};

extern CBezierCamera g_BezierCamera;
