// The fastest pass (SimpleRender): the two base passes that draw the solid
// world with ambient light, sky light and fog, without point lights or
// shadow maps. Each walks its render list texture by texture, so that
// texture stages and modes change once per texture, and per-object ambient
// and fog colours are uploaded only when the object's index differs from the
// last one uploaded.
#include <algorithm>
#include <cmath>

#include "app/Console.h"
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
#include "render/Mesh.h"
#include "render/PassSkeleton.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "world/Camera.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

using objflags::kFlag2NoSkyLight;

constexpr const char* kTechnique = "RenderSceneFastest";
// Fog far and near of an object without fog: beyond anything drawn.
constexpr float kNoFogFar = 80008.0f;
constexpr float kNoFogNear = 80000.0f;
// Sky-light power of static meshes at most.
constexpr float kMeshSkyLightPowerCap = 2.0f;

// The sky light both passes use: g_SkyLightDir, g_SkyLightDiffuse and
// g_bUseSkyLightX, each an array of two whose second entry is switched off.
void SetSkyLightValues(const EffectRecord* fx, float powerCap) {
    effect::Effect* e = fx->pEffect;
    const float* d = g_EnvironmentSettings.SkyLightDirection();
    float length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (length == 0.0f) length = 1.0f;
    uint32_t c = 0;
    g_EnvironmentSettings.GetSkyLightColor(&c);
    const float p = std::min(SkyLightPower, powerCap);
    const math::Vec4 direction[2] = {{d[0] / length, d[1] / length, d[2] / length, 0.0f}, {}};
    const math::Vec4 diffuse[2] = {{float((c >> 16) & 0xFF) / 255.0f * p, float((c >> 8) & 0xFF) / 255.0f * p,
                                    float(c & 0xFF) / 255.0f * p, 1.0f},
                                   {}};
    const bool on[2] = {g_EnvironmentSettings.m_bSkyLightInUse, false};
    e->SetVectorArray(EffectParam(fx, &EffectRecord::g_SkyLightDir, "g_SkyLightDir"), direction, 2);
    e->SetVectorArray(EffectParam(fx, &EffectRecord::g_SkyLightDiffuse, "g_SkyLightDiffuse"), diffuse, 2);
    if (gfx::Failed(e->SetBoolArray(e->GetParameterByName(effect::Handle(), "g_bUseSkyLightX"), on, 2)))
        g_Console.Print("Set failed");
}

// The camera values of a pass: the given matrices or the camera's, the
// inverse view and the eye.
void SetCameraValues(const EffectRecord* fx, const math::Matrix* view, const math::Matrix* projection) {
    effect::Effect* e = fx->pEffect;
    const math::Matrix& V = view ? *view : g_Camera.View();
    const math::Matrix& P = projection ? *projection : g_Camera.Projection();
    math::Matrix Vi;
    math::MatrixInverse(V, &Vi);
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mView, "g_mView"), V);
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mViewInv, "g_mViewInv"), Vi);
    e->SetMatrix(EffectParam(fx, &EffectRecord::g_mProj, "g_mProj"), P);
    e->SetVector(EffectParam(fx, &EffectRecord::g_CameraPosition, "g_CameraPosition"),
                 math::Vec4{Vi.m[3][0], Vi.m[3][1], Vi.m[3][2], 1.0f});
}

// The cull mode, alpha modes and texture density of a texture's first drawn
// user. True when an alpha mode changed: the technique is begun again for
// the next texture.
bool SetTextureModes(EffectRecord* fx, const strtexture* t) {
    ERenderStateCache& cache = g_RenderStateCache;
    cache.SetCullMode(!t->desc.b2Sided);
    bool changed = false;
    if (t->desc.bTransparent != cache.m_bTransparentOn) {
        if (t->desc.bTransparent) {
            cache.BeginTransparent(fx);
        } else {
            cache.EndTransparent(fx);
        }
        changed = true;
    }
    if (t->desc.bTranslucent != cache.m_bTranslucentOn) {
        if (t->desc.bTranslucent) {
            cache.BeginTranslucent(fx);
        } else {
            cache.EndTranslucent(fx);
        }
        changed = true;
    }
    const float density = t->desc.fTextureDensity == 0.0f ? 1.0f : t->desc.fTextureDensity;
    fx->pEffect->SetFloat(EffectParam(fx, &EffectRecord::g_fTextureDensity, "g_fTextureDensity"), density);
    return changed;
}

// Begins the pass's technique again when another one was begun last.
void KeepTechnique(EffectRecord* fx, const char* technique, const char** begun) {
    if (*begun && StrCmpNoCase(*begun, technique) == 0) return;
    g_RenderStateCache.BeginTechniqueByName(fx, technique, false);
    *begun = technique;
}

// The per-object ambient and fog uploads, skipped while the object's index
// equals the one uploaded last.
struct LightingMemory {
    passes::LightKeys keys;

    void Ambient(const EffectRecord* fx, const ObjectRecord* h, bool animated, const math::Vec4& indexed,
                 const math::Vec4& own) {
        const effect::Handle handle =
            EffectParam(fx, &EffectRecord::g_AmbientLightDiffuse, "g_AmbientLightDiffuse");
        switch (keys.NextAmbient(h, animated)) {
        case passes::LightKeys::Ambient::Probed:
            fx->pEffect->SetVector(handle, own);
            break;
        case passes::LightKeys::Ambient::Set:
            fx->pEffect->SetVector(handle, indexed);
            break;
        case passes::LightKeys::Ambient::Keep:
            break;
        }
    }

    void Fog(const EffectRecord* fx, const ObjectRecord* h, const math::Vec4& color, float farDistance,
             float nearDistance) {
        effect::Effect* e = fx->pEffect;
        const effect::Handle hFar = EffectParam(fx, &EffectRecord::g_FogFar, "g_FogFar");
        const effect::Handle hNear = EffectParam(fx, &EffectRecord::g_FogNear, "g_FogNear");
        switch (keys.NextFog(h)) {
        case passes::LightKeys::Fog::None:
            e->SetFloat(hFar, kNoFogFar);
            e->SetFloat(hNear, kNoFogNear);
            break;
        case passes::LightKeys::Fog::Set:
            e->SetVector(EffectParam(fx, &EffectRecord::g_FogColor, "g_FogColor"), color);
            e->SetFloat(hFar, farDistance);
            e->SetFloat(hNear, nearDistance);
            break;
        case passes::LightKeys::Fog::Keep:
            break;
        }
    }
};

math::Vec4 Channels(uint32_t packed) {
    return math::Vec4{float((packed >> 16) & 0xFF) / 255.0f, float((packed >> 8) & 0xFF) / 255.0f,
                      float(packed & 0xFF) / 255.0f, 1.0f};
}

// One drawn subset in the polygon statistics, by the size class of its faces.
void CountSubset(const EMesh* mesh, uint32_t subset) {
    EDebug::PolygonStats& s = g_Debug.m_PolygonStats;
    uint32_t faces = 0, vertices = 0;
    mesh->GetSubsetCounts(subset, &faces, &vertices);
    ++s.switchedSubsets;
    if (faces < 100) {
        ++s.subsetsUnder100;
    } else if (faces < 500) {
        ++s.subsetsUnder500;
    } else if (faces < 1000) {
        ++s.subsetsUnder1000;
    }
}

void EndModes(EffectRecord* fx) {
    g_RenderStateCache.EndTransparent(fx);
    g_RenderStateCache.EndTranslucent(fx);
    g_RenderStateCache.EndTechnique(fx);
}

} // namespace

void ERenderer::RenderSimpleMeshes(const math::Matrix* view, const math::Matrix* projection) {
    RecordPass("ERenderer::RenderSimpleMeshes");
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    EffectRecord* fx = g_EffectMgr.FindEffect("SimpleMesh");
    if (!fx) {
        g_Console.Print("No simple mesh HEFFECT");
        return;
    }
    if (!fx->pEffect) {
        g_Console.Print("No simple mesh ID3DXEffect");
        return;
    }
    effect::Effect* e = fx->pEffect;
    for (uint32_t stage = 0; stage < 16; ++stage)
        g_RenderStateCache.SetTexture(stage, nullptr);
    g_RenderStateCache.EndTechnique(fx);
    d->SetFVF(0);
    d->SetProgram(nullptr);
    if (!g_RenderStateCache.BeginTechniqueByName(fx, kTechnique, true)) return;
    const char* begun = kTechnique;
    SetSkyLightValues(fx, kMeshSkyLightPowerCap);
    SetCameraValues(fx, view, projection);
    const bool noLights[3] = {false, false, false};
    e->SetBoolArray(EffectParam(fx, &EffectRecord::g_bUseLight, "g_bUseLight"), noLights, 3);
    d->SetVertexDeclaration(g_pVertexDeclarations[0]);
    g_RenderStateCache.EndTransparent(fx);
    g_RenderStateCache.BeginTranslucent(fx);
    const effect::Handle hUseSkyLight = EffectParam(fx, &EffectRecord::g_bUseSkyLight, "g_bUseSkyLight");
    e->SetBool(hUseSkyLight, UseSkyLight);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bDrawDetail, "g_bDrawDetail"), false);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bDetailAsNormal, "g_bDetailAsNormal"), false);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM"), false);
    const effect::Handle hWvp =
        EffectParam(fx, &EffectRecord::g_mWorldViewProjection, "g_mWorldViewProjection");
    const effect::Handle hWorld = EffectParam(fx, &EffectRecord::g_mWorld, "g_mWorld");
    const effect::Handle hWorldView = EffectParam(fx, &EffectRecord::g_mWorldView, "g_mWorldView");
    const effect::Handle hVertexColor = EffectParam(fx, &EffectRecord::g_bVertexColor, "g_bVertexColor");
    LightingMemory memory;

    for (strtexture** entry = m_pMeshTextures; *entry; ++entry) {
        strtexture* t = *entry;
        const TextureDescription& desc = t->desc;
        if (desc.bTranslucent) {
            m_bSecondCallSkyLitMeshes = 1;
            continue;
        }
        if (desc.bRayOfLight || desc.bWater || desc.bAdditive || desc.bStain ||
            (desc.bTransparent && !DrawTransparent))
            continue;
        KeepTechnique(fx, kTechnique, &begun);
        bool first = true;
        for (strlistameshy* u = t->pMeshes; u; u = u->next) {
            ObjectRecord* h = u->m_hObject;
            const EMesh* mesh = u->pMesh;
            if (!mesh || !h || !h->bVisibleNow || !h->pD3DXMesh || !h->bSeen ||
                u->dwSubset >= ObjectRecord::NUM_SUBSETS || !h->bSubsetDraw[u->dwSubset])
                continue;
            const ObjectRenderValues& values = g_EngineObject.RenderValues(h->iIndex);
            e->SetMatrix(hWvp, values.mWorldViewProjection);
            e->SetMatrix(hWorld, values.mWorld);
            e->SetMatrix(hWorldView, values.mWorldView);
            if (first) {
                first = false;
                BindTextureStages(t, true);
                if (SetTextureModes(fx, t)) begun = nullptr;
                e->CommitChanges();
            }
            const math::Vec4 own{h->fProbedAmbient[0], h->fProbedAmbient[1], h->fProbedAmbient[2],
                                 h->fProbedAmbient[3]};
            memory.Ambient(fx, h, t->bAnimated != 0, values.vAmbient, own);
            e->CommitChanges();
            e->SetBool(hVertexColor, h->bVertexColor != 0);
            memory.Fog(fx, h, values.vFog, values.fFogFar, values.fFogNear);
            if (UseSkyLight) e->SetBool(hUseSkyLight, !(h->dwFlags2 & kFlag2NoSkyLight));
            if (PrintPolygonCount) CountSubset(mesh, u->dwSubset);
            e->CommitChanges();
            h->pD3DXMesh->DrawSubset(u->dwSubset);
            if (PrintPolygonCount && !h->bPolygonsCounted) {
                g_Debug.m_PolygonStats.renderedPolygons += h->pD3DXMesh->NumFaces();
                h->bPolygonsCounted = 1;
            }
        }
    }
    EndModes(fx);
}

void ERenderer::RenderSimpleSkinmeshes(const math::Matrix* view, const math::Matrix* projection) {
    RecordPass("ERenderer::RenderSimpleSkinmeshes");
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    d->SetFVF(0);
    d->SetVertexDeclaration(g_pVertexDeclarations[1]);
    if (!DrawModels) return;
    EffectRecord* fx = g_EffectMgr.FindEffect("SimpleSkinmesh");
    if (!fx) {
        g_Console.Print("No SimpleSkinmesh HEFFECT");
        return;
    }
    if (!fx->pEffect) {
        g_Console.Print("No SimpleSkinmesh ID3DXEffect");
        return;
    }
    effect::Effect* e = fx->pEffect;
    SetSkyLightValues(fx, INFINITY);
    g_RenderStateCache.EndTechnique(fx);
    if (!g_RenderStateCache.BeginTechniqueByName(fx, "RenderScene", true)) return;
    const char* begun = "RenderScene";
    SetCameraValues(fx, view, projection);
    g_RenderStateCache.EndTranslucent(fx);
    g_RenderStateCache.EndTransparent(fx);
    const effect::Handle hUseSkyLight = EffectParam(fx, &EffectRecord::g_bUseSkyLight, "g_bUseSkyLight");
    const effect::Handle hFullyBright =
        EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM");
    e->SetBool(hUseSkyLight, UseSkyLight);
    e->SetBool(hFullyBright, false);
    LightingMemory memory;

    for (strtexture** entry = m_pSkinMeshTextures; *entry; ++entry) {
        strtexture* t = *entry;
        const TextureDescription& desc = t->desc;
        if (t->bDoNotRender || desc.bAdditive || desc.bStain) continue;
        if (desc.bTranslucent) {
            m_bSecondCallSkyLitSkinMeshes = 1;
            continue;
        }
        KeepTechnique(fx, t->pNormal ? "RenderScene1" : "RenderScene", &begun);
        bool first = true;
        for (strlistaskinmeshy* u = t->pSkinMeshes; u; u = u->next) {
            ObjectRecord* h = u->m_hObject;
            if (!u->pSkinMesh || !h || !h->bSeen || !h->bVisibleNow) continue;
            if (first) {
                first = false;
                BindTextureStages(t, false);
                if (SetTextureModes(fx, t)) begun = nullptr;
                if (t->pDetail && DrawDetail) {
                    g_RenderStateCache.SetTexture(2, t->pDetail->pTexture);
                    e->SetFloat(EffectParam(fx, &EffectRecord::g_fDetailDensity, "g_fDetailDensity"),
                                desc.fDetailDensity);
                }
                if (t->pNormal) g_RenderStateCache.SetTexture(6, t->pNormal->pTexture);
                e->SetBool(hFullyBright, desc.bFullyBrightInNormalMask != 0);
                e->CommitChanges();
            }
            const math::Vec4 indexed = Channels(g_EnvironmentSettings.GetAmbientColor(h->iAmbientLightIdx));
            const math::Vec4 own{h->fProbedAmbient[0], h->fProbedAmbient[1], h->fProbedAmbient[2],
                                 h->fProbedAmbient[3]};
            memory.Ambient(fx, h, t->bAnimated != 0, indexed, own);
            e->CommitChanges();
            uint32_t fogColor = 0;
            float fogFar = 0, fogNear = 0;
            g_EnvironmentSettings.GetFogColor(&fogColor, h->iFogIdx);
            g_EnvironmentSettings.GetFogFar(&fogFar, h->iFogIdx);
            g_EnvironmentSettings.GetFogNear(&fogNear, h->iFogIdx);
            memory.Fog(fx, h, Channels(fogColor), fogFar, fogNear);
            if (UseSkyLight) e->SetBool(hUseSkyLight, !(h->dwFlags2 & kFlag2NoSkyLight));
            e->CommitChanges();
            u->pSkinMesh->Render(t->id, u->dwSubset, fx);
        }
    }
    EndModes(fx);
}
