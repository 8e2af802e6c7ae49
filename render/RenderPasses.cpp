// The scene's passes as the frame calls them. Each records its call; the
// drawing of each comes with the pass itself. Until then a pass draws
// nothing and does only what the frame relies on: a lit family's first
// call leaves the `translucent` textures of its list to a second call. The
// fastest pass (FastestPass.cpp), the ambient base pass (AmbientPasses.cpp),
// the overlay passes (OverlayPasses.cpp), the strobe passes
// (StroboPasses.cpp), the sky-light pass of static meshes (SkyLightPass.cpp),
// the lit passes of skinned meshes (SkinnedLitPasses.cpp), the
// black-and-white and depth passes (BWDepthPasses.cpp) and the ambient-lit
// pass of static meshes (LightMeshPass.cpp) are built.
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "world/Engine.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

void ERenderer::RenderWater() {
    RecordPass("ERenderer::RenderWater");
}

void ERenderer::RenderWaterReflection() {
    RecordPass("ERenderer::RenderWaterReflection");
}

void ERenderer::RenderLava() {
    RecordPass("ERenderer::RenderLava");
}
