// The mesh-socket manager, `EMeshSocketsMgr` (global g_MeshSocketsMgr): named
// points of static meshes, read from the socket files at engine start.
//
// So far no socket files are read (that comes with the renderer's socket
// work), so no mesh has a socket and every query answers false.
#pragma once

#include "platform/math/Types.h"

struct ObjectRecord;

class EMeshSocketsMgr {
  public:
    virtual ~EMeshSocketsMgr() = default;

    // World position of a named socket of a mesh object; false when there is none.
    bool GetSocketWorldPosition(ObjectRecord* h, const char* socket, math::Vec3* out) const;
    // Reads the socket files at engine start (none are read until the
    // socket files are built).
    void LoadAll() {}
};

extern EMeshSocketsMgr g_MeshSocketsMgr;
