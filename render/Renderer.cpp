#include "render/Renderer.h"

#include <cstdio>
#include <cstring>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "platform/os/Os.h"
#include "render/SkyShadowMap.h"
#include "world/Engine.h"

ERenderer g_Renderer;

ERenderer::~ERenderer() {
    // At process exit the debug tracker may be gone already: nothing is
    // counted here.
    FreeRecords(false);
    ReleaseTexturePaths();
    while (strtexturesubstitutes* s = m_pSubstitutes) {
        m_pSubstitutes = s->next;
        delete s;
    }
}

void ERenderer::ReleaseTexturePaths() {
    while (strtexturepaths* p = m_pTexturePaths) {
        m_pTexturePaths = p->next;
        delete[] p->pFrames;
        delete p;
    }
}

void ERenderer::Init() {
    ScanTextureDirectory(".", false);
    LoadAllTextureDescriptions();
    LinkTextureTwins();
    // The data directory is known only once the process runs: the
    // substitutes are read at the first initialisation.
    if (!m_bSubstitutesLoaded) {
        LoadTextureSubstitutes();
        m_bSubstitutesLoaded = true;
    }
}

void ERenderer::InitWorld() {
    m_bWorldReady = true;
    g_SkyShadowMap.Reset();
    ClearRenderLists();
    const strtexture* white = LoadTexture("bialy.tga", 0, 0, 0);
    m_pDefaultTexture = white ? white->pTexture : nullptr;
}

void ERenderer::EndWorld() {
    m_bWorldReady = false;
    g_SkyShadowMap.EndWorld();
    m_pDefaultTexture = nullptr;
}

void ERenderer::AddFlash(const float* position) {
    if (!position) return;
    int slot = 0;
    for (int i = 1; i < MAX_FLASHES; ++i) {
        if (m_Flashes[i].fTime < m_Flashes[slot].fTime) slot = i;
    }
    std::memcpy(m_Flashes[slot].vPosition, position, sizeof m_Flashes[slot].vPosition);
    m_Flashes[slot].fTime = FLASH_TIME;
}

void ERenderer::UpdateFlashes() {
    m_bAnyFlash = 0;
    for (Flash& f : m_Flashes) {
        f.fTime -= m_fFrameTime;
        if (f.fTime < 0.0f) {
            f.fTime = 0.0f;
            f.vPosition[1] = -1e9f;
        } else {
            m_bAnyFlash = 1;
        }
    }
}

void ERenderer::WriteUndefinedTextures() const {
    std::FILE* f = os::OpenFile("UndefinedTextures.txt", "wb");
    if (!f) return;
    WriteLine(f, "Textures not defined in scripts:", 256);
    WriteLine(f, "", 256);
    for (const strtexturepaths* p = m_pTexturePaths; p; p = p->next) {
        if (!p->bDescribed) WriteLine(f, p->szPath, int(sizeof p->szPath));
    }
    std::fclose(f);
}

void ERenderer::WriteDoubleTextures() const {
    std::FILE* f = os::OpenFile("DoubleTextures.txt", "wb");
    if (!f) return;
    WriteLine(f, "Duplicated textures:", 256);
    WriteLine(f, "", 256);
    for (const strtexturepaths* p = m_pTexturePaths; p; p = p->next) {
        bool first = true;
        for (const strtexturepaths* q = p->next; q; q = q->next) {
            if (StrCmpNoCase(p->szStem, q->szStem) != 0) continue;
            if (first) {
                WriteLine(f, "", 256);
                WriteLine(f, "0: Found duplicated texture:", 256);
                WriteLine(f, p->szPath, int(sizeof p->szPath));
                first = false;
            }
            WriteLine(f, q->szPath, int(sizeof q->szPath));
        }
    }
    std::fclose(f);
}
