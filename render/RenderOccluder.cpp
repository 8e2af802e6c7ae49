#include "render/RenderOccluder.h"

#include <cstring>

#include "render/Renderer.h"
#include "world/Engine.h"
#include "world/ObjectRecord.h"

ERenderOccluder g_RenderOccluder;

void ERenderOccluder::Render() {
    g_Renderer.RecordPass("ERenderOccluder::Render");
    auto markSeen = [](int slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        h->bSeen = 1;
        std::memset(h->bSubsetDraw, 1, sizeof h->bSubsetDraw);
    };
    for (int slot = EEngine::FIRST_MESH; slot < g_Engine.m_iMeshHighWater; ++slot)
        markSeen(slot);
    for (int slot = EEngine::FIRST_SKINMESH; slot < g_Engine.m_iSkinMeshHighWater; ++slot)
        markSeen(slot);
}
