// The scene's passes as the frame calls them. Each records its call; the
// drawing of each comes with the pass itself. Until then a pass draws
// nothing and does only what the frame relies on: a lit family's first
// call leaves the `translucent` textures of its list to a second call. The
// fastest pass (FastestPass.cpp), the ambient base pass (AmbientPasses.cpp),
// the overlay passes (OverlayPasses.cpp), the strobe passes
// (StroboPasses.cpp), the sky-light pass of static meshes (SkyLightPass.cpp),
// the lit passes of skinned meshes (SkinnedLitPasses.cpp) and the
// black-and-white and depth passes (BWDepthPasses.cpp) are built.
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "world/Engine.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

bool HasTranslucent(strtexture* const* list) {
    for (; *list; ++list)
        if ((*list)->desc.bTranslucent) return true;
    return false;
}

// A first call leaves the translucent textures to the second one.
void LeaveTranslucent(bool secondCall, strtexture* const* list, uint8_t* secondCallFlag) {
    if (!secondCall && HasTranslucent(list)) *secondCallFlag = 1;
}

} // namespace

void ERenderer::RenderLightMeshes(bool translucentOnly) {
    RecordPass("ERenderer::RenderLightMeshes", translucentOnly);
    LeaveTranslucent(translucentOnly, m_pMeshTextures, &m_bSecondCallAmbientLitMeshes);
}

void ERenderer::RenderLightMeshes20(bool translucentOnly) {
    RecordPass("ERenderer::RenderLightMeshes20", translucentOnly);
    LeaveTranslucent(translucentOnly, m_pMeshTextures, &m_bSecondCallAmbientLitMeshes);
}

void ERenderer::RenderWater() {
    RecordPass("ERenderer::RenderWater");
}

void ERenderer::RenderWaterReflection() {
    RecordPass("ERenderer::RenderWaterReflection");
}

void ERenderer::RenderLava() {
    RecordPass("ERenderer::RenderLava");
}
