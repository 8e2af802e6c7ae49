#include "render/PostProcess.h"

#include "render/Renderer.h"
#include "world/ObjectRecord.h"

EPostProcess g_PostProcess;

void EPostProcess::AddObjectToBW(ObjectRecord* h) {
    if (!h || !h->bUsed || m_dwNumBWObjects >= MAX_BW_OBJECTS) return;
    m_hBWObjects[m_dwNumBWObjects++] = h;
}

bool EPostProcess::IsObjectInBW(const ObjectRecord* h) const {
    if (!h || !h->bUsed) return false;
    for (uint32_t i = 0; i < m_dwNumBWObjects; ++i)
        if (m_hBWObjects[i] == h) return true;
    return false;
}

void EPostProcess::UpdateFocus() {
    g_Renderer.RecordPass("EPostProcess::UpdateFocus");
}

void EPostProcess::BeginDepthScene() {
    g_Renderer.RecordPass("EPostProcess::BeginDepthScene");
}

void EPostProcess::EndDepthScene() {
    g_Renderer.RecordPass("EPostProcess::EndDepthScene");
}

void EPostProcess::BeginBWScene() {
    g_Renderer.RecordPass("EPostProcess::BeginBWScene");
}

void EPostProcess::EndBWScene() {
    g_Renderer.RecordPass("EPostProcess::EndBWScene");
}
