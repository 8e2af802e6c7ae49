#include "render/AutoMap.h"

#include "render/Renderer.h"

PAutoMap g_AutoMap;

void PAutoMap::PreRender() {
    g_Renderer.RecordPass("PAutoMap::PreRender");
}
