// The Bezier camera, `CBezierCamera` (global g_BezierCamera): a camera that
// rides a marker along one Bezier path and looks at a marker on another. It
// is started from the console ("BezierCamera camera_node target_node"). The
// markers, their movement and the per-frame update come with the Bezier
// paths; this holds the command and the start request.
#pragma once

#include <cstdint>

class CBezierCamera {
public:
    virtual ~CBezierCamera() = default;

    // Ends a running camera, splits the argument at its first blank into the
    // camera node and the target node (empty without a blank), starts, and
    // sets active.
    void ExecCommand(const char* argument);
    // Ends a running camera; an empty camera node does nothing more; keeps
    // both names; started 0.
    void Start(const char* cameraNode, const char* targetNode);
    // Clears active and started.
    void Destroy();

    uint8_t m_bActive = 0;
    uint8_t m_bStarted = 0;
    char m_szCameraNode[64] = {};
    char m_szTargetNode[64] = {};
};

extern CBezierCamera g_BezierCamera;
