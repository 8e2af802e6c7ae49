// The mesh-socket manager, `EMeshSocketsMgr` (global g_MeshSocketsMgr): named
// points of static meshes, read from the socket files of
// "scripts\mesh_sockets\" at engine start and looked up by an object and a
// socket name (ties to sockets, door knobs).
//
// A socket file is text: "mesh_filename NAME" names the mesh its sockets
// belong to (the last such line counts), "socket NAME X Y Z" adds a socket in
// the mesh's model space with z up; other lines are ignored. At most 200
// files of at most 60 sockets are kept; more are reported and left out.
//
// Failure policy: a file that cannot be opened is reported and skipped; a
// socket name longer than its 43 characters skips its line, and a mesh name
// longer than 255 leaves the file matching no mesh; a lookup that finds
// nothing answers false (the vector queries print the socket's name).
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

struct ObjectRecord;

struct MeshSocket {
    char szName[44] = {};
    float fPosition[3] = {};
};

struct MeshSocketFile {
    char szMeshName[256] = {};
    uint32_t dwNumSockets = 0;
    MeshSocket Sockets[60];
};

class EMeshSocketsMgr {
  public:
    static constexpr uint32_t MAX_FILES_WITH_SOCKETS = 200;
    static constexpr uint32_t MAX_SOCKETS_IN_ONE_FILE = 60;

    virtual ~EMeshSocketsMgr() = default;

    // Reads every file of "scripts\mesh_sockets\"; the number read.
    uint32_t LoadAll();
    // Reads one file into the next record; false when it cannot be opened.
    bool LoadFile(const char* path);
    // World position of a named socket of a mesh object: the stored (a, b, c)
    // as the model point (a, c, b) through the mesh's world matrix; false
    // when there is none.
    bool GetSocketWorldPosition(ObjectRecord* h, const char* socket, math::Vec3* out) const;
    // The socket's three stored numbers as written; false (with a console
    // line when the name is not empty) when there is no such socket.
    bool GetSocketVector(ObjectRecord* h, const char* socket, float* out) const;
    // Overwrites the socket's three stored numbers for the rest of the run
    // (the rigid ragdoll keeps its attachment points there); false with a
    // console line when there is no such socket, silently for null arguments.
    bool SetRagDollSocketVector(ObjectRecord* h, const char* socket, const float* v);

    uint32_t NumFiles() const { return m_dwNumFiles; }

  private:
    MeshSocket* Find(ObjectRecord* h, const char* socket) const;

    uint32_t m_dwNumFiles = 0;
    mutable MeshSocketFile m_Files[MAX_FILES_WITH_SOCKETS];
};

extern EMeshSocketsMgr g_MeshSocketsMgr;

// True when the line's first word (after leading blanks, up to the next
// blank) equals the keyword, without regard to case.
bool IsFirstWord(const char* line, const char* keyword);
