#include "render/MeshSocketsMgr.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "physics/RigidBodyParametersMgr.h"
#include "platform/math/Math.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"
#include "render/Mesh.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"

EMeshSocketsMgr g_MeshSocketsMgr;

namespace {

constexpr int kLineLength = 5000;

} // namespace

uint32_t EMeshSocketsMgr::LoadAll() {
    m_dwNumFiles = 0;
    const std::vector<os::DirEntry> entries = os::ListDirectory("scripts\\mesh_sockets\\*.*");
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].isDirectory) continue;
        const std::string path = "scripts\\mesh_sockets\\" + entries[i].name;
        if (LoadFile(path.c_str()))
            ++m_dwNumFiles;
        else
            g_Console.Printf("\nProblem with Mesh Socket file: %s", path.c_str());
        if (m_dwNumFiles == MAX_FILES_WITH_SOCKETS && i + 1 < entries.size()) {
            g_Console.Print("ERROR in  MeshSocketsMgr.cpp: MAX_FILES_WITH_SOCKETS exceeded!");
            break;
        }
    }
    return m_dwNumFiles;
}

bool EMeshSocketsMgr::LoadFile(const char* path) {
    if (m_dwNumFiles >= MAX_FILES_WITH_SOCKETS) return false;
    std::FILE* f = os::OpenFile(path ? path : "", "rb");
    if (!f) return false;
    MeshSocketFile& file = m_Files[m_dwNumFiles];
    file.szMeshName[0] = 0;
    file.dwNumSockets = 0;
    char meshName[sizeof file.szMeshName] = {};
    static char line[kLineLength + 1];
    static char token[kLineLength + 1];
    while (MoreLines(f, path)) {
        line[0] = 0;
        ReadLine(f, line, kLineLength);
        if (IsFirstWord(line, "mesh_filename")) {
            SplitLine(line, 1, token, sizeof token);
            // A name too long for the record matches no mesh.
            if (std::strlen(token) >= sizeof meshName) token[0] = 0;
            std::memcpy(meshName, token, std::strlen(token) + 1);
        } else if (IsFirstWord(line, "socket")) {
            SplitLine(line, 1, token, sizeof token);
            MeshSocket& s = file.Sockets[file.dwNumSockets];
            if (std::strlen(token) >= sizeof s.szName) continue;
            std::memcpy(s.szName, token, std::strlen(token) + 1);
            for (int i = 0; i < 3; ++i) {
                SplitLine(line, 2 + i, token, 64);
                s.fPosition[i] = os::ReadFloat(token);
            }
            if (++file.dwNumSockets == MAX_SOCKETS_IN_ONE_FILE) {
                g_Console.Print("ERROR in  MeshSocketsMgr.cpp: MAX_SOCKETS_IN_ONE_FILE exceeded!");
                break;
            }
        }
    }
    const bool unreadable = std::ferror(f);
    std::fclose(f);
    if (unreadable) return false;
    std::memcpy(file.szMeshName, meshName, sizeof meshName);
    return true;
}

MeshSocket* EMeshSocketsMgr::Find(ObjectRecord* h, const char* socket) const {
    const EMesh* mesh = h ? h->Mesh() : nullptr;
    if (!mesh || !socket) return nullptr;
    for (uint32_t i = 0; i < m_dwNumFiles; ++i) {
        MeshSocketFile& file = m_Files[i];
        if (!file.szMeshName[0] || StrCmpNoCase(file.szMeshName, mesh->m_szFileName) != 0) continue;
        for (uint32_t k = 0; k < file.dwNumSockets; ++k)
            if (StrCmpNoCase(file.Sockets[k].szName, socket) == 0) return &file.Sockets[k];
    }
    return nullptr;
}

bool EMeshSocketsMgr::GetSocketWorldPosition(ObjectRecord* h, const char* socket, math::Vec3* out) const {
    const MeshSocket* s = Find(h, socket);
    if (!s || !out) return false;
    const math::Vec3 model{s->fPosition[0], s->fPosition[2], s->fPosition[1]};
    math::Matrix world;
    h->Mesh()->GetWorldMatrix(&world);
    *out = math::Vec3TransformCoord(model, world);
    return true;
}

bool EMeshSocketsMgr::GetSocketVector(ObjectRecord* h, const char* socket, float* out) const {
    if (!h || !socket || !out || !h->Mesh()) return false;
    const MeshSocket* s = Find(h, socket);
    if (!s) {
        if (*socket)
            g_Console.Printf("ERROR in EMeshSocketsMgr::GetSocketVector(): socketu <%s> nie znalazlem!",
                             socket);
        return false;
    }
    std::memcpy(out, s->fPosition, sizeof s->fPosition);
    return true;
}

bool EMeshSocketsMgr::SetRagDollSocketVector(ObjectRecord* h, const char* socket, const float* v) {
    if (!h || !socket || !v || !h->Mesh()) return false;
    MeshSocket* s = Find(h, socket);
    if (!s) {
        g_Console.Printf("ERROR in EMeshSocketsMgr::SetRagDollSocketVector(): socketu <%s> nie znalazlem!",
                         socket);
        return false;
    }
    std::memcpy(s->fPosition, v, sizeof s->fPosition);
    return true;
}

bool IsFirstWord(const char* line, const char* keyword) {
    if (!line || !keyword) return false;
    while (*line == ' ' || *line == '\t')
        ++line;
    const char* end = line;
    while (*end && *end != ' ' && *end != '\t' && *end != '\r' && *end != '\n')
        ++end;
    return os::EqualNoCase(std::string_view(line, size_t(end - line)), keyword);
}
