#include "render/DepthRender.h"

#include "render/Renderer.h"
#include "world/ObjectRecord.h"

EDepthRender g_DepthRender;

void EDepthRender::AssignCubeSlot(ObjectRecord* h) {
    if (!h || !h->bUsed || !h->bIsLight) return;
    if (h->dwType != OT_LIGHT) {
        h->bHasCubeShadow = 1;
        h->bCubeMapRendered = 0;
        return;
    }
    for (ObjectRecord*& light : m_pSlotLights) {
        if (light) continue;
        light = h;
        h->bHasCubeShadow = 1;
        h->bCubeMapRendered = 0;
        return;
    }
}

void EDepthRender::ReleaseCubeSlot(ObjectRecord* h) {
    if (!h) return;
    for (ObjectRecord*& light : m_pSlotLights)
        if (light == h) light = nullptr;
    h->bHasCubeShadow = 0;
}

void EDepthRender::RenderCubeShadows() {
    g_Renderer.RecordPass("EDepthRender::RenderCubeShadows");
}

void EDepthRender::RenderWaterReflection() {
    g_Renderer.RecordPass("EDepthRender::RenderWaterReflection");
}

void EDepthRender::MarkVisibleLights() {
    g_Renderer.RecordPass("EDepthRender::MarkVisibleLights");
}

void EDepthRender::Destroy() {
    m_bEffectReady = false;
    for (ObjectRecord*& light : m_pSlotLights) {
        if (light) light->bHasCubeShadow = 0;
        light = nullptr;
    }
}
