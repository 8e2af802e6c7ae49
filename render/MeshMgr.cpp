#include "render/MeshMgr.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "world/Engine.h"

EMeshMgr g_MeshMgr;

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
    if (std::strlen(fileName) >= sizeof strmesh::szFileName) {
        g_Console.Printf("*** Mesh %s failed!", fileName);
        return -1;
    }
    auto* e = new strmesh;
    e->dwIndex = uint32_t(slot);
    std::strcpy(e->szFileName, fileName);
    if (!LoadMesh(e)) {
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

bool EMeshMgr::LoadMesh(strmesh* e) {
    if (!IsValidPath(e->szFileName)) {
        ErrorLog(e->szFileName, nullptr);
        g_Engine.Quit();
        return false;
    }
    e->dwCenter = StrStrNoCase(e->szFileName, "_nocenter") ? 0 : 1;
    mesh::XFile file;
    std::string error;
    if (!mesh::ReadXFile(e->szFileName, &file, &error) ||
        !mesh::BuildMeshData(file, e->szFileName, &e->data, &error)) {
        g_Console.Print(error.c_str());
        return false;
    }
    if (StrStrNoCase(e->szFileName, "prefabs") && e->dwCenter) {
        const math::Vec3 centre = (e->data.boxMin + e->data.boxMax) * 0.5f;
        mesh::TranslateVertices(&e->data, -centre);
        mesh::ComputeBounds(&e->data);
    }
    return true;
}

EMeshMgr::strmesh* EMeshMgr::GetEntry(int id) const {
    return id >= 0 && id < MAX_MESHES ? m_Table[id] : nullptr;
}

void EMeshMgr::ReleaseMesh(strmesh* e) {
    if (!e) return;
    if (e->pPrev) e->pPrev->pNext = e->pNext;
    if (e->pNext) e->pNext->pPrev = e->pPrev;
    if (m_pFirst == e) m_pFirst = e->pNext;
    if (e->dwIndex < MAX_MESHES && m_Table[e->dwIndex] == e) m_Table[e->dwIndex] = nullptr;
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
