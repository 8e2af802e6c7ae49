// The static-mesh manager, `EMeshMgr` (global g_MeshMgr): loads every .x file
// once and shares it between the EMesh objects that use it. A mesh id is the
// index of its entry in a table of 1024.
//
// A first load reads the .x file (text, binary or compressed), merges its
// meshes in the engine's vertex layout, cleans and welds it, validates it,
// centres prefab meshes (a path holding "prefabs" and no "_nocenter"), sorts
// the faces by attribute in vertex-cache order and computes the tangent
// frames; the result is saved to the optimised-mesh cache "!opt\NAMEvx.x"
// (binary .x) that later runs read instead. A cache carries the format
// version and the size and modification time of its source: a cache that
// lacks them, does not match the source or does not read is rebuilt.
//
// Failure policy: a name with characters other than letters, digits and
// "!_\.-" is appended to "!error.txt" and stops the engine (quit flag); a file
// that does not load prints the reader's reason and "*** Mesh NAME failed!"
// (also to "!error.txt"); the request then gives -1. A cache that cannot be
// saved is reported and the load still succeeds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshData.h"

// One material per subset, as the device takes it; ambient equals diffuse.
struct MeshMaterial {
    math::Vec4 diffuse;
    math::Vec4 ambient;
    math::Vec4 specular;
    math::Vec4 emissive;
    float power = 0;
};
MeshMaterial ToMeshMaterial(const mesh::XMaterial& m);

class EMeshMgr {
  public:
    static constexpr int MAX_MESHES = 1024;
    static constexpr int MAX_MATERIALS = 256;
    // The cache files' format; a cache of another version is rebuilt.
    static constexpr uint32_t CACHE_VERSION = 1;

    struct strmesh {
        uint32_t dwIndex = 0;
        char szFileName[256] = {};
        uint32_t dwCenter = 1; // 0 when the name holds "_nocenter"
        // The drawable mesh (engine vertex layout, attribute table, locks).
        std::unique_ptr<mesh::Mesh> pMesh;
        // The material buffer, every material of the file with its texture
        // name; dwNumMaterials of them (at most 256) are used.
        std::vector<mesh::XMaterial> MaterialBuffer;
        uint32_t dwNumMaterials = 0;
        std::vector<MeshMaterial> Materials; // ambient := diffuse
        math::Vec3 vMin, vMax;
        math::Vec3 vCenter; // 0, 0, 0
        float fRadius = 0;  // the largest distance of a vertex from the model origin
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
    // The drawable mesh of an id, or null.
    mesh::Mesh* GetD3DXMesh(int id) const;
    void ReleaseMesh(strmesh* entry);
    void ReleaseAll();

    int NumMeshes() const;

    // "!opt\" + the name with every backslash after the first five
    // characters turned into "_", + "vx.x".
    static std::string CacheFileName(const char* fileName);
    // The stamp a cache of the file must carry: the version, the source's
    // size and modification time.
    static mesh::XCacheStamp SourceStamp(const char* fileName);

  private:
    bool LoadMeshCached(strmesh* entry);
    // 1: loaded from the cache, 0: no usable cache (rebuild), -1: failed.
    int LoadCachedMesh(strmesh* entry);
    bool LoadMesh(strmesh* entry, bool centre);
    bool CheckName(const strmesh* entry) const;
    // The drawable mesh, materials, box and radius of the entry from the data.
    bool Install(strmesh* entry, const mesh::MeshData& data, std::vector<mesh::XMaterial>&& materials);
    void SaveCachedMesh(const strmesh* entry, const mesh::MeshData& data) const;

    strmesh* m_pFirst = nullptr;
    strmesh* m_Table[MAX_MESHES] = {};
};

extern EMeshMgr g_MeshMgr;
