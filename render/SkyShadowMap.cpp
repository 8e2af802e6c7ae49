#include "render/SkyShadowMap.h"

#include "render/Renderer.h"

SkyShadowMap g_SkyShadowMap;

void SkyShadowMap::SetProjector(int map, int size, int distance1, int distance2, float bias) {
    Projector& p = m_Projectors[Map(map)];
    p.iSize = size;
    p.iDistance1 = distance1;
    p.iDistance2 = distance2;
    p.fBias = bias;
}

void SkyShadowMap::GetProjector(int map, int* size, int* distance1, int* distance2, float* bias) const {
    const Projector& p = m_Projectors[Map(map)];
    if (size) *size = p.iSize;
    if (distance1) *distance1 = p.iDistance1;
    if (distance2) *distance2 = p.iDistance2;
    if (bias) *bias = p.fBias;
}

void SkyShadowMap::Update() {
    g_Renderer.RecordPass("SkyShadowMap::Update");
}
