// The ambient-lit pass of static meshes: every seen subset of a mesh that
// stands inside (and of every mesh while the sky light is off), drawn with
// the effect "light", lit by its object's ambient colour shaped by the
// world's vertex-ambient terms, with its texture's normal map, detail,
// environment cube and specular highlight, fogged per object, and with the
// dropped items' glint. Its first call in the base pass leaves `translucent`
// textures to the second call later in the scene, which draws only those.
// The shader-model-2 variant has no detail and no glint. The per-texture
// state is the lit passes' shared one (LitPasses.cpp).
#include <cstring>

#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "app/Orientation.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "render/DepthRender.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/LitPasses.h"
#include "render/Mesh.h"
#include "render/PassSkeleton.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

using objflags::kFlag2NoSkyLight;

// The techniques by index: 1 adds the environment cube.
constexpr const char* kTechniques[2] = {"RenderAmbient0", "RenderAmbient1"};
constexpr const char* kTechniques20[2] = {"RenderAmbient20_0", "RenderAmbient20_1"};

struct Variant {
    bool full;            // detail and glint
    bool translucentOnly; // the second call
};

// The handles the walk sets, found once per call.
struct Handles {
    effect::Handle vertexColor, itemDropped, itemDirection, vaBrightness, vaContrast, vaColor;
    passes::ObjectMatrixHandles matrices;
    passes::LightHandles light;

    explicit Handles(const EffectRecord* fx) : matrices(fx, true), light(fx) {
        effect::Effect* e = fx->pEffect;
        auto named = [e](const char* name) { return e->GetParameterByName(effect::Handle(), name); };
        vertexColor = EffectParam(fx, &EffectRecord::g_bVertexColor, "g_bVertexColor");
        itemDropped = EffectParam(fx, &EffectRecord::g_bItemDropped, "g_bItemDropped");
        itemDirection = EffectParam(fx, &EffectRecord::g_vItemDropped, "g_vItemDropped");
        vaBrightness = named("g_fVertexAmbientBrightness");
        vaContrast = named("g_fVertexAmbientContrast");
        vaColor = named("g_fVertexAmbientColor");
    }
};

// One of the world's two vertex-ambient sets.
void SetVertexAmbient(effect::Effect* e, const Handles& p, bool inside) {
    const EnvironmentSettings& env = g_EnvironmentSettings;
    const float* c = inside ? env.m_vVertexAmbientInsideColor : env.m_vVertexAmbientColor;
    e->SetFloat(p.vaBrightness,
                inside ? env.m_fVertexAmbientInsideBrightness : env.m_fVertexAmbientBrightness);
    e->SetFloat(p.vaContrast, inside ? env.m_fVertexAmbientInsideContrast : env.m_fVertexAmbientContrast);
    e->SetVector(p.vaColor, math::Vec4{c[0], c[1], c[2], 1.0f});
}

// What the last uploads were, reset at every call.
struct PassMemory {
    const char* technique = nullptr; // the name last begun
    bool inside = false;             // the inside vertex-ambient set is on the effect
    passes::LightKeys keys;          // the ambient and fog sets
};

// A texture of the list that this call draws; a translucent one in the
// first call is left to the second, which the first call asks for.
bool TakesTexture(const strtexture* t, const Variant& v, uint8_t* secondCallFlag) {
    const TextureDescription& d = t->desc;
    if (d.bTranslucent && !v.translucentOnly) {
        *secondCallFlag = 1;
        return false;
    }
    if (v.translucentOnly && !d.bTranslucent) return false;
    return !(d.bWater || t->pLava || d.bRayOfLight || d.bAdditive || d.bStain ||
             (d.bTransparent && !DrawTransparent));
}

// A user drawn here: a seen subset, not excluded, and not left to the
// sky-light pass (which draws every mesh outside while the sky light is on).
bool DrawsUser(const strlistameshy* u) {
    if (!passes::DrawsSeenSubset(u)) return false;
    const ObjectRecord* h = u->m_hObject;
    return !h->bNoAmbientPass && !(UseSkyLight && !(h->dwFlags2 & kFlag2NoSkyLight));
}

// Begins the texture's technique when its name differs from the one begun
// last; a technique begun anew gets the outside vertex-ambient set.
void KeepTechnique(EffectRecord* fx, const Handles& p, const strtexture* t, const Variant& v, PassMemory* m) {
    const int index = t->pEnvironment && !t->bHasMultitexture ? 1 : 0;
    const char* name = v.full ? kTechniques[index] : kTechniques20[index];
    if (m->technique && StrCmpNoCase(m->technique, name) == 0) return;
    if (!g_RenderStateCache.BeginTechniqueByName(fx, name, false)) return;
    SetVertexAmbient(fx->pEffect, p, false);
    m->inside = false;
    m->technique = name;
}

} // namespace

void ERenderer::RenderLightMeshes(bool translucentOnly) {
    RecordPass("ERenderer::RenderLightMeshes", translucentOnly);
    DrawLightMeshes(true, translucentOnly);
}

void ERenderer::RenderLightMeshes20(bool translucentOnly) {
    RecordPass("ERenderer::RenderLightMeshes20", translucentOnly);
    DrawLightMeshes(false, translucentOnly);
}

void ERenderer::DrawLightMeshes(bool full, bool translucentOnly) {
    EffectRecord* fx = passes::FindPassEffect("light", "No light HEFFECT", "No light ID3DXEffect");
    if (!fx) return;
    gfx::Device* d = g_pD3DInterface;
    const Variant v{full, translucentOnly};
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;

    // Set-up.
    if (d) {
        for (uint32_t stage = 0; stage < gfx::SamplerCount; ++stage)
            d->SetTexture(stage, nullptr);
        d->SetFVF(0);
        d->SetProgram(nullptr);
    }
    const math::Vec4 glint =
        full ? ItemGlintDirection(g_Camera.ViewOrientation(), g_Engine.m_fWorldTime) : math::Vec4{};
    passes::BeginTechnique(fx, &EffectRecord::RenderScene, "RenderScene");
    const passes::CameraValues camera = passes::TakeCamera();
    if (d) d->SetVertexDeclaration(g_pVertexDeclarations[0]);
    cache.EndTransparent(fx);
    cache.EndTranslucent(fx);
    cache.ResetCullMode();
    const Handles p(fx);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM"), false);
    passes::SetCameraParameters(fx, camera, passes::kView | passes::kViewInv | passes::kProj | passes::kEye3);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bDrawDetail, "g_bDrawDetail"), false);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bDetailAsNormal, "g_bDetailAsNormal"), false);
    e->SetVector(EffectParam(fx, &EffectRecord::cShadowResolution, "cShadowResolution"),
                 g_DepthRender.ShadowResolution());

    PassMemory memory;
    const litpass::MaterialVariant material{full, true};
    for (strtexture* const* entry = m_pMeshTextures; *entry; ++entry) {
        strtexture* t = *entry;
        if (!TakesTexture(t, v, &m_bSecondCallAmbientLitMeshes)) continue;
        KeepTechnique(fx, p, t, v, &memory);
        bool stateSet = false;
        for (strlistameshy* u = t->pMeshes; u; u = u->next) {
            if (!DrawsUser(u)) continue;
            ObjectRecord* h = u->m_hObject;
            const ObjectRenderValues& values = g_EngineObject.RenderValues(h->iIndex);
            passes::UploadObjectMatrices(e, p.matrices, values);
            const bool inside = (h->dwFlags2 & kFlag2NoSkyLight) != 0;
            if (inside != memory.inside) {
                SetVertexAmbient(e, p, inside);
                memory.inside = inside;
            }
            if (!stateSet) {
                litpass::SetTextureMaterial(fx, t, material);
                stateSet = true;
            }
            passes::UploadAmbient(e, p.light, &memory.keys, h, t->bAnimated != 0, &values);
            e->CommitChanges();
            e->SetBool(p.vertexColor, h->bVertexColor != 0);
            if (full) {
                e->SetBool(p.itemDropped, h->bItemDropped != 0);
                if (h->bItemDropped) e->SetVector(p.itemDirection, glint);
            }
            passes::UploadFog(e, p.light, &memory.keys, h, &values);
            passes::CountSubset(u->pMesh, u->dwSubset);
            e->CommitChanges();
            h->pD3DXMesh->DrawSubset(u->dwSubset);
            passes::CountObjectPolygons(h, &g_Debug.m_PolygonStats.renderedPolygons);
        }
    }
    cache.EndTranslucent(fx);
    cache.EndTransparent(fx);
    cache.EndTechnique(fx);
}
