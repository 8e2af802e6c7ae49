// The static-mesh manager, `EMeshMgr` (global g_MeshMgr): loads every .x file
// once and shares it between the EMesh objects that use it. A mesh id is the
// index of its entry in a table of 1024.
//
// Loading reads the file with the project's .x reader, merges its meshes in
// the engine's vertex layout with faces grouped by material, and centres
// prefab meshes (a path holding "prefabs" and no "_nocenter"). The
// optimised-mesh cache under "!opt\" and the tangent frames come with the
// renderer.
//
// Failure policy: a name with characters other than letters, digits and
// "!_\.-" is appended to "!error.txt" and stops the engine (quit flag); a file
// that does not load prints the reader's reason and "*** Mesh NAME failed!"
// (also to "!error.txt"); the request then gives -1.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/mesh/MeshData.h"

class EMeshMgr {
  public:
    static constexpr int MAX_MESHES = 1024;
    static constexpr int MAX_MATERIALS = 256;

    struct strmesh {
        uint32_t dwIndex = 0;
        char szFileName[256] = {};
        uint32_t dwCenter = 1; // 0 when the name holds "_nocenter"
        mesh::MeshData data;   // vertices, faces, attribute table, materials, box and radius
        // The box of each attribute range's vertices (the collision manager
        // fills them when an object of the mesh is added).
        math::Vec3 vSubsetMin[MAX_MATERIALS];
        math::Vec3 vSubsetMax[MAX_MATERIALS];
        strmesh* pNext = nullptr;
        strmesh* pPrev = nullptr;
    };

    EMeshMgr();
    virtual ~EMeshMgr();

    // The id of the named mesh, loaded on first request; -1 when it cannot be.
    int GetMesh(const char* fileName);
    // The entry of an id (null for ids out of range or empty slots).
    strmesh* GetEntry(int id) const;
    void ReleaseMesh(strmesh* entry);
    void ReleaseAll();

    int NumMeshes() const;

  private:
    bool LoadMesh(strmesh* entry);

    strmesh* m_pFirst = nullptr;
    strmesh* m_Table[MAX_MESHES] = {};
};

extern EMeshMgr g_MeshMgr;
