// The texture registry: records by name and id, their device textures, the
// companions a described texture brings, the mesh and skinned-mesh users,
// texture animation and the binding of a record to the sampler stages.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/gfx/TextureFiles.h"
#include "platform/os/Os.h"
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "world/Engine.h"

namespace {

template <size_t N> void CopyCut(char (&dst)[N], const char* src) {
    std::snprintf(dst, N, "%s", src ? src : "");
}

bool EndsWithNoCase(const char* s, const char* tail) {
    const size_t n = std::strlen(s), k = std::strlen(tail);
    return n >= k && StrCmpNoCase(s + n - k, tail) == 0;
}

// The file that stands for a path in high quality: "wall.dds" gives
// "wall_high.dds" when that file exists.
std::string HighVariant(const char* path) {
    const size_t n = std::strlen(path);
    if (n < 5) return path;
    std::string high = std::string(path, n - 4) + "_high" + (path + n - 4);
    return FileExists(high.c_str()) ? high : std::string(path);
}

// "x.dds" -> "x_normal.dds".
std::string NormalTwinName(const char* name) {
    const size_t n = std::strlen(name);
    return std::string(name, n - 4) + "_normal" + (name + n - 4);
}

bool Loaded(const strtexture* t) {
    return t && (t->pTexture || t->pCubeTexture);
}

} // namespace

const char* NormalizeTextureName(const char* name) {
    // Longer than the record's field by one, so that an over-long name is
    // seen as such.
    static char buffer[strtexture::NAME + 1];
    buffer[0] = 0;
    if (!name) return buffer;
    const char* slash = std::strrchr(name, '\\');
    CopyCut(buffer, slash ? slash + 1 : name);
    const size_t n = std::strlen(buffer);
    if (n > 3 && StrCmpNoCase(buffer + n - 3, "tga") != 0 && StrCmpNoCase(buffer + n - 3, "dds") != 0)
        std::memcpy(buffer + n - 3, "dds", 3);
    return buffer;
}

strtexture* ERenderer::FindTexture(const char* name) const {
    if (!name) return nullptr;
    ++m_dwNameLookups;
    for (strtexture* t = m_pTextures; t; t = t->next) {
        if (StrCmpNoCase(t->szName, name) == 0) return t;
    }
    return nullptr;
}

uint32_t ERenderer::GetTextureIdByName(const char* name, int reduce, int high, int) {
    if (!name) return 0;
    // A record whose file failed to load answers 0 here as it does below.
    for (const strtexture* t : m_pFreeTextures) {
        if (!t) break;
        if (StrCmpNoCase(t->szName, name) == 0) return t->bMissing ? 0 : t->id;
    }
    const strtexture* t = LoadTexture(name, reduce, high, 0);
    return t && !t->bMissing ? t->id : 0;
}

void ERenderer::SetTexture(uint32_t stage, uint32_t id) {
    const strtexture* t = GetTexture(id);
    if (!t || !g_pD3DInterface) return;
    // A record whose image is missing empties the stage rather than leave
    // the previous texture on it.
    g_pD3DInterface->SetTexture(stage, t->pTexture);
}

strtexture* ERenderer::LoadTexture(const char* name, int reduce, int high, int cube) {
    if (!name) return nullptr;
    char normalized[strtexture::NAME + 1];
    CopyCut(normalized, NormalizeTextureName(name));
    if (strtexture* found = FindTexture(normalized)) return found;
    const bool tga = StrStrNoCase(name, ".tga") != 0;

    if (!HasFreeId()) {
        g_Console.Print("MAX_TEXTURES hit!");
        return nullptr;
    }

    const strtexturepaths* p = FindTexturePath(normalized);
    const char* path = p ? p->szPath : normalized;
    // A name or path that does not fit the record is never opened: it counts
    // as a missing file.
    if (std::strlen(normalized) >= size_t(strtexture::NAME) || std::strlen(path) >= size_t(strtexture::NAME)) {
        g_Console.Print3("Texture ", path, " does not exist!");
        ErrorLog(path, nullptr);
        ErrorLog("Texture does not exist!", nullptr);
        g_Engine.Quit();
        return nullptr;
    }
    if (raporttextures) {
        char line[strtexture::NAME + 16];
        std::snprintf(line, sizeof line, "texture %s", normalized);
        ErrorLog(line, "!textures.txt");
    }

    strtexture* t = NewRecord();
    if (p) {
        gfx::ImageInfo info;
        if (gfx::GetImageInfoFromFile(p->szPath, &info) == gfx::Result::Ok) {
            t->dwWidth = info.Width;
            t->dwHeight = info.Height;
            t->dwFormat = uint32_t(info.Format);
        }
        t->desc = p->desc;
        t->bDoNotRender = p->desc.bDoNotRender;
        t->fFrameTime = p->desc.fAnimationSpeed;
        t->bPlaying = 1;
    }
    CopyCut(t->szPath, path);
    bool failed = false;
    if (!FileExists(path)) {
        g_Console.Print3("Texture ", path, " does not exist!");
        ErrorLog(path, nullptr);
        ErrorLog("Texture does not exist!", nullptr);
        failed = true;
    } else if (!EndsWithNoCase(path, ".tga") && !EndsWithNoCase(path, ".dds")) {
        ErrorLog(path, nullptr);
        ErrorLog("Bad Format!", nullptr);
        failed = true;
    }
    t->bCube = cube ? 1 : 0;
    t->bTga = tga ? 1 : 0;
    t->bReduce = reduce ? 1 : 0;
    t->bHigh = high ? 1 : 0;
    t->bMissing = failed ? 1 : 0;
    if (!failed) {
        CreateTexture(t, p);
        g_Debug.AddAllocation("Texture");
        if (extractusedtextures) ExtractTextureFile(t);
    } else {
        g_Engine.Quit();
    }
    CopyCut(t->szName, normalized);
    return t;
}

bool ERenderer::HasFreeId() const {
    for (uint32_t id = 1; id < MAX_TEXTURES; ++id)
        if (!m_pTextureIds[id]) return true;
    return false;
}

strtexture* ERenderer::NewRecord() {
    uint32_t id = 1;
    while (id < MAX_TEXTURES && m_pTextureIds[id])
        ++id;
    if (id >= MAX_TEXTURES) return nullptr;
    strtexture* t = new strtexture();
    g_Debug.AddAllocation("strtexture");
    t->next = m_pTextures;
    if (m_pTextures) m_pTextures->prev = t;
    m_pTextures = t;
    t->id = id;
    m_pTextureIds[id] = t;
    return t;
}

strtexture* ERenderer::AddTextureRecord(const char* name) {
    strtexture* t = NewRecord();
    if (t) CopyCut(t->szName, name);
    return t;
}

void ERenderer::CreateTexture(strtexture* t, const strtexturepaths* p) {
    if (!g_pD3DInterface) return;
    const bool priority = p && p->desc.bPriority;
    gfx::TextureLoad load;
    std::string error;
    if (t->bCube) {
        load.skipTopLevels = t->bReduce && !priority ? 2 : 0;
        gfx::CreateCubeTextureFromFile(g_pD3DInterface, t->szPath, load, &t->pCubeTexture, nullptr, &error);
    } else {
        // The reduced load drops two top levels unless the file is exempt or
        // the high variant is asked for.
        const std::string file = t->bHigh ? HighVariant(t->szPath) : std::string(t->szPath);
        load.skipTopLevels = !t->bHigh && t->bReduce && !priority ? 2 : 0;
        gfx::CreateTextureFromFile(g_pD3DInterface, file.c_str(), load, &t->pTexture, nullptr, &error);
    }
    if (!Loaded(t) && !error.empty()) g_Console.Print(error.c_str());
}

void ERenderer::ExtractTextureFile(const strtexture* t) const {
    if (StrStrNoCase(t->szPath, "misc")) return;
    char dest[strtexture::NAME + 16];
    std::snprintf(dest, sizeof dest, "!textures\\%s", t->szName);
    const size_t n = std::strlen(dest), k = std::strlen(t->szPath);
    if (n >= 4 && k >= 4) std::memcpy(dest + n - 4, t->szPath + k - 4, 4);
    os::CreateDirectory("!textures");
    os::CopyFile(t->szPath, dest, true);
}

strtexture* ERenderer::LoadNormalMap(const char* describedNormal, strtexture* layer) {
    if (!layer) return nullptr;
    if (describedNormal && describedNormal[0]) return layer->pNormal = LoadTexture(describedNormal, 0, 0, 0);
    if (layer->pNormal || std::strlen(layer->szName) < 5) return layer->pNormal;
    const std::string twin = NormalTwinName(layer->szName);
    if (FindTexturePath(twin.c_str())) layer->pNormal = LoadTexture(twin.c_str(), 0, 0, 0);
    return layer->pNormal;
}

uint32_t ERenderer::LoadMeshTextures(const char* fileName, EMesh* mesh, uint32_t subset) {
    if (!fileName) return 0;
    char name[strtexture::NAME + 1];
    CopyCut(name, LoadOneLevelTextureOnly ? "doopa_do_edytora.tga" : NormalizeTextureName(fileName));
    strtexture* t = LoadTexture(name, TextureLevel != 0, TextureLevel == 0, 0);
    if (!t) return 0;
    const bool hadUsers = t->pMeshes || t->pSkinMeshes;
    strlistameshy* node = new strlistameshy();
    g_Debug.AddAllocation("strlistameshy");
    node->m_hObject = mesh ? mesh->m_hObject : nullptr;
    node->pMesh = mesh;
    node->dwSubset = subset;
    node->next = t->pMeshes;
    if (t->pMeshes) t->pMeshes->prev = node;
    t->pMeshes = node;
    if (mesh && !mesh->m_hObject) g_Console.Print2("No mesh m_hObject! ", mesh->m_szFileName);
    if (hadUsers) return t->id;

    const strtexturepaths* p = FindTexturePath(name);
    if (!p) {
        g_Console.Print2(t->szName, " Nie p");
        g_Console.Print2("sname: ", fileName);
        return t->id;
    }
    LoadCompanions(t, p, TextureLevel, false);
    for (int k = 0; k < int(p->dwFrames); ++k) {
        strtexture* frame = LoadTexture(p->pFrames[k], TextureLevel != 0, 0, 0);
        LoadNormalMap(p->desc.szNormal, frame);
        g_Debug.AddAllocation("Texture");
        t->pFrames[k] = frame;
        if (frame) frame->bDoNotRender = 1;
        if (frame && frame->pNormal) frame->pNormal->bDoNotRender = 1;
    }
    if (p->dwFrames) {
        t->dwFrameCount = p->dwFrames;
        t->bPlaying = 1;
        t->bAnimated = 1;
    }
    return t->id;
}

// Normal map, multitexture layers (static meshes only), detail, lava,
// add-water, grow and environment cube of a texture's first user; all of
// them stay out of the render lists.
void ERenderer::LoadCompanions(strtexture* t, const strtexturepaths* p, uint32_t quality, bool skinned) {
    const TextureDescription& d = p->desc;
    auto companion = [](strtexture* c) {
        if (c) c->bDoNotRender = 1;
        return c;
    };
    if (d.szNormal[0]) {
        t->pNormal = companion(LoadTexture(d.szNormal, quality == 2, quality == 0, 0));
    } else if (std::strlen(t->szName) >= 5 && !t->pNormal) {
        const std::string twin = NormalTwinName(t->szName);
        if (FindTexturePath(twin.c_str())) t->pNormal = companion(LoadTexture(twin.c_str(), quality == 2, quality == 0, 0));
    }
    if (!skinned) {
        struct Layer {
            const char* file;
            strtexture** slot;
            float density;
        };
        const Layer layers[] = {{d.szMultitextureR, &t->pMultitextureR, d.fMultitextureDensityR},
                                {d.szMultitextureG, &t->pMultitextureG, d.fMultitextureDensityG},
                                {d.szMultitextureB, &t->pMultitextureB, d.fMultitextureDensityB}};
        for (const Layer& l : layers) {
            if (!l.file[0] || *l.slot) continue;
            *l.slot = companion(LoadTexture(l.file, 0, 0, 0));
            t->bHasMultitexture = 1;
            companion(LoadNormalMap(d.szNormal, *l.slot));
        }
    }
    if (d.szDetail[0] && !t->pDetail) t->pDetail = companion(LoadTexture(d.szDetail, 0, 0, 0));
    if (!skinned && d.szLava[0] && !t->pLava) t->pLava = companion(LoadTexture(d.szLava, 0, 0, 0));
    if (d.szAddWater[0] && !t->pAddWater) t->pAddWater = companion(LoadTexture(d.szAddWater, 0, 0, skinned ? 1 : 0));
    if (d.szGrow[0] && !t->pGrow) t->pGrow = companion(LoadTexture(d.szGrow, skinned ? 0 : quality != 0, 0, 0));
    if (d.szEnvironmental[0] && !t->pEnvironment)
        t->pEnvironment = companion(LoadTexture(d.szEnvironmental, TextureLevel != 0, 0, 1));
}

uint32_t ERenderer::LoadSkinMeshTextures(const char* fileName, ESkinMesh* skinMesh, uint32_t subset) {
    if (!fileName) return 0;
    char name[strtexture::NAME + 1];
    CopyCut(name, NormalizeTextureName(fileName));
    strtexture* t = LoadTexture(name, FilterLevel != 0, FilterLevel == 0, 0);
    if (!t) {
        g_Console.Print("CreateTexture failed");
        return 0;
    }
    for (const strlistaskinmeshy* n = t->pSkinMeshes; n; n = n->next) {
        if (n->pSkinMesh == skinMesh && n->dwSubset == subset) return t->id;
    }
    const bool hadUsers = t->pMeshes || t->pSkinMeshes;
    strlistaskinmeshy* node = new strlistaskinmeshy();
    g_Debug.AddAllocation("strlistaskinmeshy");
    node->m_hObject = skinMesh ? skinMesh->m_hObject : nullptr;
    node->pSkinMesh = skinMesh;
    node->dwSubset = subset;
    node->next = t->pSkinMeshes;
    if (t->pSkinMeshes) t->pSkinMeshes->prev = node;
    t->pSkinMeshes = node;
    if (skinMesh && !skinMesh->m_hObject) g_Console.Print("No skinmesh m_hObject!");
    if (hadUsers) return t->id;

    const strtexturepaths* p = FindTexturePath(name);
    if (!p) {
        g_Console.Print2(t->szName, " Nie p");
        g_Console.Print2("sname: ", fileName);
        return t->id;
    }
    LoadCompanions(t, p, FilterLevel, true);
    return t->id;
}

namespace {
// Takes every node of `owner` out of a texture's user list.
template <class Node, class Owner>
void UnlinkUsers(Node*& head, Owner* owner, Owner* Node::*field, const char* tag) {
    for (Node* n = head; n;) {
        Node* next = n->next;
        if (n->*field == owner) {
            (n->prev ? n->prev->next : head) = n->next;
            if (n->next) n->next->prev = n->prev;
            delete n;
            g_Debug.RemoveAllocation(tag);
        }
        n = next;
    }
}
} // namespace

void ERenderer::UnlinkMesh(EMesh* mesh) {
    if (!mesh) return;
    for (strtexture* t = m_pTextures; t; t = t->next)
        UnlinkUsers(t->pMeshes, mesh, &strlistameshy::pMesh, "strlistameshy");
}

void ERenderer::UnlinkSkinMesh(ESkinMesh* skinMesh) {
    if (!skinMesh) return;
    for (strtexture* t = m_pTextures; t; t = t->next)
        UnlinkUsers(t->pSkinMeshes, skinMesh, &strlistaskinmeshy::pSkinMesh, "strlistaskinmeshy");
}

void ERenderer::FreeRecords(bool track) {
    while (strtexture* t = m_pTextures) {
        m_pTextures = t->next;
        while (strlistameshy* n = t->pMeshes) {
            t->pMeshes = n->next;
            delete n;
            if (track) g_Debug.RemoveAllocation("strlistameshy");
        }
        while (strlistaskinmeshy* n = t->pSkinMeshes) {
            t->pSkinMeshes = n->next;
            delete n;
            if (track) g_Debug.RemoveAllocation("strlistaskinmeshy");
        }
        if (t->pTexture || t->pCubeTexture) {
            if (t->pTexture) t->pTexture->Release();
            if (t->pCubeTexture) t->pCubeTexture->Release();
            if (track) g_Debug.RemoveAllocation("Texture");
        }
        m_pTextureIds[t->id] = nullptr;
        delete t;
        if (track) g_Debug.RemoveAllocation("strtexture");
    }
    ClearRenderLists();
    for (strtexture*& t : m_pFreeTextures)
        t = nullptr;
    m_pDefaultTexture = nullptr;
}

void ERenderer::ReleaseTextures() {
    FreeRecords(true);
}

void ERenderer::BindTextureStages(strtexture* T, bool bindNormalMap) {
    if (!T || !g_pD3DInterface) return;
    gfx::Device* d = g_pD3DInterface;
    auto image = [&](const strtexture* r) { return DrawTextures || !m_pDefaultTexture ? r->pTexture : m_pDefaultTexture; };
    const strtexture* S = T;
    if (!T->bAnimated) {
        d->SetTexture(0, image(T));
    } else {
        // The animation steps at the first binding of a frame only, however
        // many passes bind the texture.
        if (T->bPlaying && T->dwSteppedFrame != m_dwFrame) {
            T->dwSteppedFrame = m_dwFrame;
            T->fFrameTimer += m_fFrameTime;
            if (T->fFrameTimer > T->fFrameTime) {
                ++T->dwCurrentFrame;
                T->fFrameTimer = 0.0f;
                if (T->dwCurrentFrame > T->dwFrameCount) T->dwCurrentFrame = 0;
            }
        }
        if (T->dwCurrentFrame == 0) {
            d->SetTexture(0, image(T));
        } else {
            const strtexture* frame =
                T->dwCurrentFrame <= uint32_t(strtexturepaths::MAX_FRAMES) ? T->pFrames[T->dwCurrentFrame - 1] : nullptr;
            if (!frame) return;
            d->SetTexture(0, frame->pTexture);
            S = frame;
        }
    }
    if (S->pNormal && bindNormalMap) {
        d->SetTexture(1, S->pNormal->pTexture);
        return;
    }
    if (T->bHasMultitexture || T->desc.bAdditive || !bindNormalMap) return;
    g_Console.Print2(T->szName, " - brak normala!");
    d->SetTexture(1, S->pTexture);
}

namespace {
strtexture* FindAnimated(const char* name, const char* notFound) {
    if (!name) return nullptr;
    strtexture* t = g_Renderer.FindTexture(name);
    if (!t) g_Console.Print2(notFound, name);
    return t;
}
} // namespace

void AnimationPause(const char* name) {
    if (strtexture* t = FindAnimated(name, "AnimationPause: not found ")) t->bPlaying = 0;
}

void AnimationStop(const char* name) {
    if (strtexture* t = FindAnimated(name, "AnimationStop: not found ")) {
        t->bPlaying = 0;
        t->fFrameTimer = 0.0f;
        t->dwCurrentFrame = 0;
    }
}

void AnimationPlay(const char* name) {
    if (strtexture* t = FindAnimated(name, "AnimationPlay: not found ")) t->bPlaying = 1;
}
