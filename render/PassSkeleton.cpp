#include "render/PassSkeleton.h"

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/Options.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/RenderStateCache.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace passes {

namespace {

// Fog far and near of an object without fog: beyond anything drawn.
constexpr float kNoFogFar = 80008.0f;
constexpr float kNoFogNear = 80000.0f;

// A packed X8R8G8B8 colour as the effects take it, w = 1.
math::Vec4 Channels(uint32_t packed) {
    return math::Vec4{float((packed >> 16) & 0xFF) / 255.0f, float((packed >> 8) & 0xFF) / 255.0f,
                      float(packed & 0xFF) / 255.0f, 1.0f};
}

} // namespace

EffectRecord* FindPassEffect(const char* name, const char* noRecord, const char* noEffect) {
    EffectRecord* fx = g_EffectMgr.FindEffect(name);
    if (!fx) {
        g_Console.Print(noRecord);
        return nullptr;
    }
    if (!fx->pEffect) {
        g_Console.Print(noEffect);
        return nullptr;
    }
    return fx;
}

void ClearStagesForEffect() {
    for (uint32_t stage = 0; stage < 16; ++stage)
        g_RenderStateCache.SetTexture(stage, nullptr);
    if (gfx::Device* d = g_pD3DInterface) {
        d->SetFVF(0);
        d->SetProgram(nullptr);
    }
}

CameraValues TakeCamera() {
    CameraValues c;
    c.view = g_Camera.View();
    c.proj = g_Camera.Projection();
    math::MatrixInverse(c.view, &c.viewInv);
    c.eye = g_Camera.GetPosition();
    return c;
}

void SetCameraParameters(const EffectRecord* fx, const CameraValues& c, uint32_t which) {
    effect::Effect* e = fx->pEffect;
    if (which & kView) e->SetMatrix(EffectParam(fx, &EffectRecord::g_mView, "g_mView"), c.view);
    if (which & kViewInv) e->SetMatrix(EffectParam(fx, &EffectRecord::g_mViewInv, "g_mViewInv"), c.viewInv);
    if (which & kProj) e->SetMatrix(EffectParam(fx, &EffectRecord::g_mProj, "g_mProj"), c.proj);
    const effect::Handle eye = EffectParam(fx, &EffectRecord::g_CameraPosition, "g_CameraPosition");
    if (which & kEye3) e->SetValue(eye, &c.eye, 3 * sizeof(float));
    if (which & kEye4) e->SetVector(eye, math::Vec4{c.eye.x, c.eye.y, c.eye.z, 1.0f});
}

void BeginTechnique(EffectRecord* fx, effect::Handle EffectRecord::*cached, const char* name) {
    if (fx->*cached) {
        g_RenderStateCache.BeginTechnique(fx, fx->*cached, true);
    } else {
        g_RenderStateCache.BeginTechniqueByName(fx, name, true);
    }
}

ObjectMatrixHandles::ObjectMatrixHandles(const EffectRecord* fx, bool withEyeInObject)
    : wvp(EffectParam(fx, &EffectRecord::g_mWorldViewProjection, "g_mWorldViewProjection")),
      world(EffectParam(fx, &EffectRecord::g_mWorld, "g_mWorld")),
      worldView(EffectParam(fx, &EffectRecord::g_mWorldView, "g_mWorldView")),
      eyeInObject(withEyeInObject ? EffectParam(fx, &EffectRecord::g_CameraModel, "g_CameraModel")
                                  : effect::Handle()) {}

void UploadObjectMatrices(effect::Effect* e, const ObjectMatrixHandles& p, const ObjectRenderValues& values) {
    e->SetMatrix(p.wvp, values.mWorldViewProjection);
    e->SetMatrix(p.world, values.mWorld);
    e->SetMatrix(p.worldView, values.mWorldView);
    if (p.eyeInObject) e->SetVector(p.eyeInObject, values.vEyeInObject);
}

bool WalkedObject(const ObjectRecord* h) {
    if (!h->bUsed || !h->bVisibleNow || !h->bSeen || h->dwType != OT_MESH || !h->pD3DXMesh ||
        !(h->dwFlags & objflags::kFlagVisible))
        return false;
    const EMesh* mesh = h->Mesh();
    return mesh && mesh->m_dwNumSubsets != 0;
}

bool DrawsSeenSubset(const strlistameshy* u) {
    const ObjectRecord* h = u->m_hObject;
    return u->pMesh && h && h->bVisibleNow && h->bSeen && u->dwSubset < ObjectRecord::NUM_SUBSETS &&
           h->bSubsetDraw[u->dwSubset] && h->pD3DXMesh;
}

void SetStageFilter(uint32_t stage, gfx::TextureFilter filter) {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    const uint32_t v = gfx::StateValue(filter);
    d->SetSamplerState(stage, gfx::SamplerState::MagFilter, v);
    d->SetSamplerState(stage, gfx::SamplerState::MinFilter, v);
    d->SetSamplerState(stage, gfx::SamplerState::MipFilter, v);
}

void CountObjectPolygons(ObjectRecord* h, uint32_t* counter) {
    if (!PrintPolygonCount || h->bPolygonsCounted) return;
    *counter += h->pD3DXMesh->NumFaces();
    h->bPolygonsCounted = 1;
}

void CountSubset(const EMesh* mesh, uint32_t subset) {
    if (!PrintPolygonCount) return;
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

LightKeys::Ambient LightKeys::NextAmbient(const ObjectRecord* h, bool animatedTexture) {
    if (h->dwFlags2 & objflags::kFlag2FixedColour) {
        ambient = kNoAmbient;
        return Ambient::Probed;
    }
    if (h->iAmbientLightIdx == ambient && !animatedTexture) return Ambient::Keep;
    ambient = animatedTexture ? kNoAmbient : h->iAmbientLightIdx;
    return Ambient::Set;
}

LightKeys::Fog LightKeys::NextFog(const ObjectRecord* h) {
    if (h->dwFlags2 & objflags::kFlag2NoFog) {
        fog = kNoFog;
        return Fog::None;
    }
    if (h->iFogIdx == fog) return Fog::Keep;
    fog = h->iFogIdx;
    return Fog::Set;
}

LightHandles::LightHandles(const EffectRecord* fx)
    : ambient(EffectParam(fx, &EffectRecord::g_AmbientLightDiffuse, "g_AmbientLightDiffuse")),
      fogColor(EffectParam(fx, &EffectRecord::g_FogColor, "g_FogColor")),
      fogFar(EffectParam(fx, &EffectRecord::g_FogFar, "g_FogFar")),
      fogNear(EffectParam(fx, &EffectRecord::g_FogNear, "g_FogNear")) {}

void UploadAmbient(effect::Effect* e, const LightHandles& p, LightKeys* keys, const ObjectRecord* h,
                   bool animatedTexture, const ObjectRenderValues* values) {
    switch (keys->NextAmbient(h, animatedTexture)) {
    case LightKeys::Ambient::Probed:
        e->SetVector(p.ambient, math::Vec4{h->fProbedAmbient[0], h->fProbedAmbient[1], h->fProbedAmbient[2],
                                           h->fProbedAmbient[3]});
        break;
    case LightKeys::Ambient::Set:
        e->SetVector(p.ambient, values
                                    ? values->vAmbient
                                    : Channels(g_EnvironmentSettings.GetAmbientColor(h->iAmbientLightIdx)));
        break;
    case LightKeys::Ambient::Keep:
        break;
    }
}

void UploadFog(effect::Effect* e, const LightHandles& p, LightKeys* keys, const ObjectRecord* h,
               const ObjectRenderValues* values) {
    switch (keys->NextFog(h)) {
    case LightKeys::Fog::None:
        e->SetFloat(p.fogFar, kNoFogFar);
        e->SetFloat(p.fogNear, kNoFogNear);
        break;
    case LightKeys::Fog::Set: {
        math::Vec4 color;
        float fogFar = 0.0f, fogNear = 0.0f;
        if (values) {
            color = values->vFog;
            fogFar = values->fFogFar;
            fogNear = values->fFogNear;
        } else {
            uint32_t packed = 0;
            g_EnvironmentSettings.GetFogColor(&packed, h->iFogIdx);
            g_EnvironmentSettings.GetFogFar(&fogFar, h->iFogIdx);
            g_EnvironmentSettings.GetFogNear(&fogNear, h->iFogIdx);
            color = Channels(packed);
        }
        if (p.fogColor) e->SetVector(p.fogColor, color);
        e->SetFloat(p.fogFar, fogFar);
        e->SetFloat(p.fogNear, fogNear);
        break;
    }
    case LightKeys::Fog::Keep:
        break;
    }
}

} // namespace passes
