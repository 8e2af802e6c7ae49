#include "render/Renderer.h"

#include <cstring>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "platform/gfx/TextureFiles.h"
#include "platform/os/Os.h"

ERenderer g_Renderer;

namespace {
bool EndsWithNoCase(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    return s.size() >= n && StrCmpNoCase(s.c_str() + s.size() - n, tail) == 0;
}
std::string AfterLastBackslash(const std::string& s) {
    const size_t k = s.find_last_of("\\/");
    return k == std::string::npos ? s : s.substr(k + 1);
}
}  // namespace

void ERenderer::ScanTextureFiles(const std::string& dir) {
    for (const os::DirEntry& e : os::ListDirectory(dir.empty() ? "*" : dir + "\\*")) {
        if (e.name.empty() || e.name[0] == '.') continue;
        const std::string path = dir.empty() ? e.name : dir + "\\" + e.name;
        if (e.isDirectory) {
            ScanTextureFiles(path);
        } else if (EndsWithNoCase(path, ".tga") || EndsWithNoCase(path, ".dds")) {
            m_TextureFiles.push_back(path);
        }
    }
}

uint32_t ERenderer::GetTextureIdByName(const char* name, int, int, int) {
    if (!name || !*name) return 0;
    const std::string wanted = AfterLastBackslash(name);
    uint32_t freeId = 0;
    for (uint32_t id = 1; id < MAX_TEXTURES; ++id) {
        if (m_Textures[id].texture && StrCmpNoCase(m_Textures[id].name.c_str(), wanted.c_str()) == 0) return id;
        if (!m_Textures[id].texture && !freeId) freeId = id;
    }
    if (!freeId) {
        g_Console.Print("MAX_TEXTURES hit!");
        return 0;
    }
    if (!g_pD3DInterface) return 0;
    std::string path = name;
    if (!os::FileExists(path)) {
        if (!m_bTextureFilesScanned) {
            ScanTextureFiles("");
            m_bTextureFilesScanned = true;
        }
        path = wanted;
        for (const std::string& f : m_TextureFiles) {
            if (StrCmpNoCase(AfterLastBackslash(f).c_str(), wanted.c_str()) == 0) {
                path = f;
                break;
            }
        }
    }
    gfx::Texture* t = nullptr;
    std::string error;
    if (gfx::CreateTextureFromFile(g_pD3DInterface, path.c_str(), 0, &t, nullptr, &error) != gfx::Result::Ok) {
        g_Console.Print3("Texture ", path.c_str(), " does not exist!");
        ErrorLog(path.c_str(), nullptr);
        ErrorLog("Texture does not exist!", nullptr);
        if (Debug > 0) g_Console.Print(error.c_str());
        return 0;
    }
    m_Textures[freeId].name = wanted;
    m_Textures[freeId].texture = t;
    return freeId;
}

void ERenderer::SetTexture(uint32_t stage, uint32_t id) {
    if (!g_pD3DInterface || id >= MAX_TEXTURES || !m_Textures[id].texture) return;
    g_pD3DInterface->SetTexture(stage, m_Textures[id].texture);
}

gfx::Texture* ERenderer::GetTextureObject(uint32_t id) const {
    return id < MAX_TEXTURES ? m_Textures[id].texture : nullptr;
}

void ERenderer::ReleaseTextures() {
    for (TextureSlot& s : m_Textures) {
        if (s.texture) s.texture->Release();
        s.texture = nullptr;
        s.name.clear();
    }
}
