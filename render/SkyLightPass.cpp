// The sky-light pass of static meshes: every seen subset that the sky light
// reaches, drawn with the effect "skylight", lit by the sky light, shadowed
// by both sky maps (the full variant) and fogged per object; `translucent`
// textures come last, blended. The shader-model-2 variant draws without the
// maps, detail, sway or glint and leaves the translucent textures to the
// full variant's second call. The parameter block, the texture state and
// the sway live in LitPasses.cpp, shared with the other lit passes.
#include <cmath>
#include <cstring>

#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/LitPasses.h"
#include "render/Mesh.h"
#include "render/PassSkeleton.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "render/SkyShadowMap.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

using objflags::kFlag2NoSkyLight;

// The shader-model-2 variant's light factor at most.
constexpr float kLightFactorCap20 = 4.0f;

// Which of the two variants runs, and what it leaves out.
struct Variant {
    bool full;
    bool secondCall;
};

// The handles the per-object walk sets, found once per call.
struct Handles {
    effect::Handle wvp, world, worldView, cameraModel, itemDropped, itemDirection, useSkyLight, vertexColor,
        wire, przesX, przesY, wysY, wysY5, tree, leaves, leafWobble;
    passes::LightHandles light;

    explicit Handles(const EffectRecord* fx) : light(fx) {
        effect::Effect* e = fx->pEffect;
        auto named = [e](const char* name) { return e->GetParameterByName(effect::Handle(), name); };
        wvp = EffectParam(fx, &EffectRecord::g_mWorldViewProjection, "g_mWorldViewProjection");
        world = EffectParam(fx, &EffectRecord::g_mWorld, "g_mWorld");
        worldView = EffectParam(fx, &EffectRecord::g_mWorldView, "g_mWorldView");
        cameraModel = EffectParam(fx, &EffectRecord::g_CameraModel, "g_CameraModel");
        itemDropped = EffectParam(fx, &EffectRecord::g_bItemDropped, "g_bItemDropped");
        itemDirection = EffectParam(fx, &EffectRecord::g_vItemDropped, "g_vItemDropped");
        useSkyLight = EffectParam(fx, &EffectRecord::g_bUseSkyLight, "g_bUseSkyLight");
        vertexColor = EffectParam(fx, &EffectRecord::g_bVertexColor, "g_bVertexColor");
        wire = named("g_bWire");
        przesX = named("g_fPrzesX");
        przesY = named("g_fPrzesY");
        wysY = named("g_fWysY");
        wysY5 = named("g_fWysY5");
        tree = named("g_bDrzewo");
        leaves = named("g_bDrzewoLiscie");
        leafWobble = named("g_fDrzewoLiscie");
    }
};

bool TakesTexture(const strtexture* t, const Variant& v, uint8_t* secondCallFlag) {
    const TextureDescription& d = t->desc;
    if (d.bWater || t->pLava || d.bAdditive || (d.bTransparent && !DrawTransparent) || d.bStain ||
        d.bRayOfLight)
        return false;
    if (v.secondCall) return d.bTranslucent != 0;
    if (!v.full && d.bTranslucent) {
        *secondCallFlag = 1;
        return false;
    }
    return true;
}

bool DrawnUser(const strlistameshy* u) {
    return passes::DrawsSeenSubset(u) && !(u->m_hObject->dwFlags2 & kFlag2NoSkyLight);
}

// The per-call memory of what was uploaded last.
struct PassMemory {
    char technique[64] = {};
    bool wireOn = false, treeOn = false;
    passes::LightKeys keys;
};

// Begins the texture's technique by name when it differs from the last one
// begun; a technique the effect does not have leaves the one in force.
bool ChangeTechnique(EffectRecord* fx, const char* name, PassMemory* m) {
    if (StrCmpNoCase(m->technique, name) == 0) return false;
    effect::Effect* e = fx->pEffect;
    const effect::Handle t = e->GetTechniqueByName(name);
    if (!t || gfx::Failed(e->ValidateTechnique(t))) return false;
    if (!g_RenderStateCache.BeginTechnique(fx, t, false)) return false;
    std::strncpy(m->technique, name, sizeof m->technique - 1);
    return true;
}

void SetVertexAmbient(const EffectRecord* fx) {
    effect::Effect* e = fx->pEffect;
    const EnvironmentSettings& env = g_EnvironmentSettings;
    e->SetFloat(e->GetParameterByName(effect::Handle(), "g_fVertexAmbientBrightness"),
                env.m_fVertexAmbientBrightness);
    e->SetFloat(e->GetParameterByName(effect::Handle(), "g_fVertexAmbientContrast"),
                env.m_fVertexAmbientContrast);
    const float* c = env.m_vVertexAmbientColor;
    e->SetVector(e->GetParameterByName(effect::Handle(), "g_fVertexAmbientColor"),
                 math::Vec4{c[0], c[1], c[2], 1.0f});
}

void SetSway(effect::Effect* e, const Handles& p, const ObjectRecord* h, const EMesh* mesh,
             const strtexture* t, PassMemory* m) {
    const float height = std::fabs(mesh->m_vBoxMax.y - mesh->m_vBoxMin.y) * mesh->m_vScale.y;
    auto upload = [&](const litpass::Sway& s) {
        e->SetFloat(p.przesX, s.fPrzesX);
        e->SetFloat(p.przesY, s.fPrzesY);
        e->SetFloat(p.wysY, s.fWysY);
        e->SetFloat(p.wysY5, s.fWysY5);
    };
    if (h->bIsItWire) {
        if (!m->wireOn) e->SetBool(p.wire, true);
        m->wireOn = true;
        const float amplitude = std::fabs(mesh->m_vBoxMax.x - mesh->m_vBoxMin.x) * h->fSwayFactor;
        upload(litpass::WireSway(amplitude, height, h->fSwayPhase));
    } else if (m->wireOn) {
        e->SetBool(p.wire, false);
        m->wireOn = false;
    }
    const float clock = g_Engine.m_fWorldTime;
    if (h->bIsItTree) {
        if (t->desc.bTransparent) {
            e->SetBool(p.leaves, true);
            e->SetFloat(p.leafWobble, litpass::LeafWobble(clock));
        } else {
            e->SetBool(p.leaves, false);
        }
        if (!m->treeOn) e->SetBool(p.tree, true);
        m->treeOn = true;
        upload(litpass::TreeSway(height, clock));
    } else if (m->treeOn) {
        e->SetBool(p.tree, false);
        e->SetBool(p.leaves, false);
        m->treeOn = false;
    }
}

void SetAmbientAndFog(effect::Effect* e, const Handles& p, const ObjectRecord* h,
                      const ObjectRenderValues& values, const strtexture* t, PassMemory* m,
                      const math::Vec4* highlight) {
    passes::UploadAmbient(e, p.light, &m->keys, h, t->bAnimated != 0, &values);
    e->CommitChanges();
    if (highlight) {
        e->SetBool(p.itemDropped, h->bItemDropped != 0);
        if (h->bItemDropped) e->SetVector(p.itemDirection, *highlight);
    }
    passes::UploadFog(e, p.light, &m->keys, h, &values);
}

void RenderSkyLit(ERenderer& r, const Variant& v) {
    EffectRecord* fx = passes::FindPassEffect("skylight", "No skylight HEFFECT", "No skylight ID3DXEffect");
    if (!fx) return;
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    gfx::Device* d = g_pD3DInterface;
    passes::ClearStagesForEffect();
    cache.EndTechnique(fx);
    PassMemory memory;
    if (v.full) {
        passes::BeginTechnique(fx, &EffectRecord::RenderScene, "RenderScene");
    } else {
        // Begun by name: the first texture of the same technique keeps it,
        // so the vertex-ambient terms a technique change uploads go with it
        // now.
        if (cache.BeginTechniqueByName(fx, "RenderScene20_0", true)) {
            std::strncpy(memory.technique, "RenderScene20_0", sizeof memory.technique - 1);
            SetVertexAmbient(fx);
        }
    }
    math::Vec4 highlight;
    if (v.full) highlight = ItemGlintDirection(g_Camera.ViewOrientation(), g_Engine.m_fWorldTime);

    const passes::CameraValues camera = passes::TakeCamera();
    const float k = v.full ? SkyLightPower : std::min(SkyLightPower, kLightFactorCap20);
    const bool skyOn = g_EnvironmentSettings.m_bSkyLightInUse;
    litpass::UploadSkyLightBlock(fx,
                                 litpass::ComputeSkyLightBlock(g_SkyShadowMap, g_EnvironmentSettings,
                                                               camera.view, k, DrawAnimatedShadows, v.full),
                                 v.full);
    const bool shadows = v.full && DrawShadows && skyOn;
    if (shadows) litpass::BindSkyMaps(false);
    if (d) d->SetVertexDeclaration(g_pVertexDeclarations[0]);
    if (v.full) {
        cache.EndTransparent(fx);
        cache.BeginTranslucent(fx);
        cache.ResetCullMode();
    }

    const Handles p(fx);
    e->SetBool(p.useSkyLight, UseSkyLight);
    passes::SetCameraParameters(fx, camera, passes::kView | passes::kViewInv | passes::kProj | passes::kEye4);
    if (v.full) {
        e->SetBool(EffectParam(fx, &EffectRecord::g_bDrawDetail, "g_bDrawDetail"), false);
        e->SetBool(EffectParam(fx, &EffectRecord::g_bDetailAsNormal, "g_bDetailAsNormal"), false);
    }
    e->SetBool(EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM"), false);
    if (v.full) {
        e->SetBool(p.wire, false);
        e->SetBool(p.tree, false);
        e->SetBool(p.leaves, false);
    }
    litpass::MaterialVariant material;
    material.bDetail = v.full;
    material.bCommitAfter = !v.full;

    for (strtexture* const* entry = r.m_pMeshTextures; *entry; ++entry) {
        strtexture* t = *entry;
        if (!TakesTexture(t, v, &r.m_bSecondCallSkyLitMeshes)) continue;
        const bool cube = t->pEnvironment != nullptr;
        const char* name =
            v.full ? litpass::SkyLightTechnique(DrawShadows, cube) : litpass::SkyLightTechnique20(cube);
        if (ChangeTechnique(fx, name, &memory)) {
            SetVertexAmbient(fx);
            if (v.full && DrawShadows) litpass::BindSkyMaps(true);
        }
        bool stateDone = false;
        for (strlistameshy* u = t->pMeshes; u; u = u->next) {
            if (!DrawnUser(u)) continue;
            ObjectRecord* h = u->m_hObject;
            const ObjectRenderValues& values = g_EngineObject.RenderValues(h->iIndex);
            e->SetMatrix(p.wvp, values.mWorldViewProjection);
            e->SetMatrix(p.world, values.mWorld);
            e->SetMatrix(p.worldView, values.mWorldView);
            e->SetVector(p.cameraModel, values.vEyeInObject);
            if (!stateDone) {
                stateDone = true;
                litpass::SetTextureMaterial(fx, t, material);
            }
            if (v.full) SetSway(e, p, h, u->pMesh, t, &memory);
            SetAmbientAndFog(e, p, h, values, t, &memory, v.full ? &highlight : nullptr);
            if (UseSkyLight) e->SetBool(p.useSkyLight, true);
            e->CommitChanges();
            e->SetBool(p.vertexColor, h->bVertexColor != 0);
            passes::CountSubset(u->pMesh, u->dwSubset);
            e->CommitChanges();
            h->pD3DXMesh->DrawSubset(u->dwSubset);
            passes::CountObjectPolygons(h, &g_Debug.m_PolygonStats.renderedPolygons);
        }
    }

    for (uint32_t stage = 3; stage <= 5; ++stage)
        passes::SetStageFilter(stage, gfx::TextureFilter::Linear);
    // The maps are render targets: held by the device's stages, they would
    // keep a device reset from working once their owner released them.
    if (v.full) {
        cache.SetTexture(3, nullptr);
        cache.SetTexture(4, nullptr);
    }
    cache.EndTransparent(fx);
    cache.EndTranslucent(fx);
    cache.EndTechnique(fx);
}

} // namespace

void ERenderer::RenderSkyLightMeshes(bool secondCall) {
    RecordPass("ERenderer::RenderSkyLightMeshes", secondCall);
    RenderSkyLit(*this, Variant{true, secondCall});
}

void ERenderer::RenderSkyLightMeshes20(bool secondCall) {
    RecordPass("ERenderer::RenderSkyLightMeshes20", secondCall);
    RenderSkyLit(*this, Variant{false, secondCall});
}
