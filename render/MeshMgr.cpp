#include "render/MeshMgr.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "platform/mesh/MeshOps.h"
#include "platform/mesh/XFile.h"
#include "platform/os/Os.h"
#include "world/Engine.h"

EMeshMgr g_MeshMgr;

MeshMaterial ToMeshMaterial(const mesh::XMaterial& m) {
    MeshMaterial r;
    r.diffuse = m.diffuse;
    r.ambient = m.diffuse;
    r.specular = {m.specular.x, m.specular.y, m.specular.z, 1.0f};
    r.emissive = {m.emissive.x, m.emissive.y, m.emissive.z, 1.0f};
    r.power = m.power;
    return r;
}

EMeshMgr::EMeshMgr() = default;

EMeshMgr::~EMeshMgr() {
    while (m_pFirst) {
        strmesh* next = m_pFirst->pNext;
        delete m_pFirst;
        m_pFirst = next;
    }
}

int EMeshMgr::GetMesh(const char* fileName) {
    if (!fileName || !*fileName) return -1;
    for (strmesh* e = m_pFirst; e; e = e->pNext)
        if (StrCmpNoCase(e->szFileName, fileName) == 0) return int(e->dwIndex);
    int slot = 0;
    while (slot < MAX_MESHES && m_Table[slot])
        ++slot;
    if (slot == MAX_MESHES) {
        g_Console.Print("Too many different meshes!");
        return -1;
    }
    auto* e = new strmesh;
    e->dwIndex = uint32_t(slot);
    // A name that does not fit the entry's field matches no file.
    const bool fits = std::strlen(fileName) < sizeof e->szFileName;
    if (fits) std::strcpy(e->szFileName, fileName);
    if (!fits || !LoadMeshCached(e)) {
        char line[400];
        std::snprintf(line, sizeof line, "*** Mesh %s failed!", fileName);
        ErrorLog(line, nullptr);
        g_Console.Print(line);
        delete e;
        return -1;
    }
    e->pNext = m_pFirst;
    if (m_pFirst) m_pFirst->pPrev = e;
    m_pFirst = e;
    m_Table[slot] = e;
    g_Debug.AddAllocation("EMeshMgr::strmesh");
    return slot;
}

std::string EMeshMgr::CacheFileName(const char* fileName) {
    std::string name = std::string("!opt\\") + fileName;
    for (size_t i = 5; i < name.size(); ++i)
        if (name[i] == '\\') name[i] = '_';
    return name + "vx.x";
}

mesh::XCacheStamp EMeshMgr::SourceStamp(const char* fileName) {
    const long long size = os::FileSize(fileName);
    const long long time = os::FileModifiedTime(fileName);
    return {CACHE_VERSION, uint64_t(size < 0 ? 0 : size), int64_t(time)};
}

bool EMeshMgr::CheckName(const strmesh* e) const {
    if (IsValidPath(e->szFileName)) return true;
    ErrorLog(e->szFileName, nullptr);
    g_Engine.Quit();
    return false;
}

bool EMeshMgr::LoadMeshCached(strmesh* e) {
    const bool centre = !StrStrNoCase(e->szFileName, "_nocenter");
    if (os::FileExists(CacheFileName(e->szFileName))) {
        const int cached = LoadCachedMesh(e);
        if (cached != 0) return cached > 0;
    }
    return LoadMesh(e, centre);
}

int EMeshMgr::LoadCachedMesh(strmesh* e) {
    if (!CheckName(e)) return -1;
    const std::string cacheName = CacheFileName(e->szFileName);
    mesh::XFile file;
    mesh::MeshData data;
    std::string error;
    if (!mesh::ReadXFile(cacheName, &file, &error) || !mesh::BuildMeshData(file, cacheName, &data, &error)) {
        // A cache cut short or damaged is made again from its source.
        g_Console.Print2("Reading mesh failed: ", cacheName.c_str());
        g_Console.Print(error.c_str());
        return 0;
    }
    if (!file.hasCacheStamp || !(file.cacheStamp == SourceStamp(e->szFileName))) return 0;
    e->dwCenter = StrStrNoCase(e->szFileName, "_nocenter") ? 0 : 1;
    return Install(e, data, std::move(data.materials)) ? 1 : -1;
}

bool EMeshMgr::LoadMesh(strmesh* e, bool centre) {
    if (!CheckName(e)) return false;
    const bool prefab = StrStrNoCase(e->szFileName, "prefabs");
    mesh::XFile file;
    mesh::MeshData data;
    std::string error;
    if (!mesh::ReadXFile(e->szFileName, &file, &error) ||
        !mesh::BuildMeshData(file, e->szFileName, &data, &error)) {
        g_Console.Print3("D3DXLoadMeshFromX ", e->szFileName, " failed");
        g_Console.Print(error.c_str());
        return false;
    }
    e->dwCenter = centre ? 1 : 0;

    std::vector<uint32_t> adjacency = mesh::GenerateAdjacency(data, 0.0f);
    const std::vector<uint32_t> groups = mesh::CleanMesh(&data, adjacency);
    mesh::WeldVertices(&data, &groups);
    adjacency = mesh::GenerateAdjacency(data, 0.0f);
    if (data.attributes.empty() || !mesh::ValidateMesh(data, adjacency, &error)) {
        g_Console.Print3("D3DXValidMesh ", e->szFileName, " failed");
        if (!error.empty()) g_Console.Print(error.c_str());
        return false;
    }

    mesh::ComputeBounds(&data);
    if (prefab && centre) {
        mesh::TranslateVertices(&data, -(data.boxMin + data.boxMax) * 0.5f);
        mesh::ComputeBounds(&data);
    }
    // The tangent frames split no vertex, so the order made before them
    // stands.
    mesh::OptimizeMesh(&data);
    mesh::ComputeTangentFrames(&data);

    if (!Install(e, data, std::move(data.materials))) return false;
    SaveCachedMesh(e, data);
    return true;
}

bool EMeshMgr::Install(strmesh* e, const mesh::MeshData& data, std::vector<mesh::XMaterial>&& materials) {
    std::string error;
    e->pMesh = mesh::Mesh::Create(data, g_pD3DInterface, &error);
    if (!e->pMesh) {
        g_Console.Print3(e->szFileName, ": ", error.c_str());
        return false;
    }
    e->MaterialBuffer = std::move(materials);
    e->dwNumMaterials = uint32_t(std::min<size_t>(e->MaterialBuffer.size(), MAX_MATERIALS));
    e->Materials.clear();
    for (uint32_t i = 0; i < e->dwNumMaterials; ++i)
        e->Materials.push_back(ToMeshMaterial(e->MaterialBuffer[i]));
    g_Debug.AddAllocation("m_pMeshMaterials");
    e->vMin = data.boxMin;
    e->vMax = data.boxMax;
    e->vCenter = {0, 0, 0};
    e->fRadius = data.radius;
    return true;
}

void EMeshMgr::SaveCachedMesh(const strmesh* e, const mesh::MeshData& data) const {
    const std::string cacheName = CacheFileName(e->szFileName);
    mesh::XMesh x = mesh::ToXMesh(data);
    x.materials = e->MaterialBuffer;
    std::string error;
    if (!os::CreateDirectory("!opt") ||
        !mesh::WriteXFileBinary(cacheName, x, SourceStamp(e->szFileName), &error))
        g_Console.Print2("Failed to save ", cacheName.c_str());
}

EMeshMgr::strmesh* EMeshMgr::GetEntry(int id) const {
    return id >= 0 && id < MAX_MESHES ? m_Table[id] : nullptr;
}

mesh::Mesh* EMeshMgr::GetD3DXMesh(int id) const {
    const strmesh* e = GetEntry(id);
    return e ? e->pMesh.get() : nullptr;
}

void EMeshMgr::ReleaseMesh(strmesh* e) {
    if (!e) return;
    if (e->pPrev) e->pPrev->pNext = e->pNext;
    if (e->pNext) e->pNext->pPrev = e->pPrev;
    if (m_pFirst == e) m_pFirst = e->pNext;
    if (e->dwIndex < MAX_MESHES && m_Table[e->dwIndex] == e) m_Table[e->dwIndex] = nullptr;
    if (e->pMesh) g_Debug.RemoveAllocation("m_pMeshMaterials");
    delete e;
    g_Debug.RemoveAllocation("EMeshMgr::strmesh");
}

void EMeshMgr::ReleaseAll() {
    while (m_pFirst)
        ReleaseMesh(m_pFirst);
}

int EMeshMgr::NumMeshes() const {
    int n = 0;
    for (strmesh* e = m_pFirst; e; e = e->pNext)
        ++n;
    return n;
}
