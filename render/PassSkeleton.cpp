#include "render/PassSkeleton.h"

#include <algorithm>
#include <cmath>

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

math::Vec4 Channels(uint32_t packed) {
    return math::Vec4{float((packed >> 16) & 0xFF) / 255.0f, float((packed >> 8) & 0xFF) / 255.0f,
                      float(packed & 0xFF) / 255.0f, 1.0f};
}

FogSet FogOfSet(int index) {
    const EnvironmentSettings& env = g_EnvironmentSettings;
    uint32_t packed = 0;
    FogSet f;
    env.GetFogColor(&packed, index);
    env.GetFogFar(&f.fogFar, index);
    env.GetFogNear(&f.fogNear, index);
    f.color = Channels(packed);
    return f;
}

float TextureDensity(const strtexture* t) {
    return t->desc.fTextureDensity == 0.0f ? 1.0f : t->desc.fTextureDensity;
}

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

CameraValues CameraOf(const math::Matrix& view, const math::Matrix& proj, const math::Vec3* eye) {
    CameraValues c;
    c.view = view;
    c.proj = proj;
    math::MatrixInverse(c.view, &c.viewInv);
    c.eye = eye ? *eye : math::Vec3{c.viewInv.m[3][0], c.viewInv.m[3][1], c.viewInv.m[3][2]};
    return c;
}

void SetSkyLightArrays(const EffectRecord* fx, float powerCap) {
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
    if (probedAmbient && (h->dwFlags2 & objflags::kFlag2FixedColour)) {
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
               const ObjectRenderValues* values, float* kept) {
    switch (keys->NextFog(h)) {
    case LightKeys::Fog::None:
        e->SetFloat(p.fogFar, kNoFogFar);
        e->SetFloat(p.fogNear, kNoFogNear);
        break;
    case LightKeys::Fog::Set: {
        const FogSet f =
            values ? FogSet{values->vFog, values->fFogFar, values->fFogNear} : FogOfSet(h->iFogIdx);
        if (kept) {
            kept[0] = f.color.x, kept[1] = f.color.y, kept[2] = f.color.z, kept[3] = f.color.w;
            kept[4] = f.fogFar;
            kept[5] = f.fogNear;
        }
        if (p.fogColor) e->SetVector(p.fogColor, f.color);
        e->SetFloat(p.fogFar, f.fogFar);
        e->SetFloat(p.fogNear, f.fogNear);
        break;
    }
    case LightKeys::Fog::Keep:
        break;
    }
}

} // namespace passes
