#include "render/PassSkeleton.h"

#include "app/Debug.h"
#include "app/Options.h"
#include "platform/effect/Effect.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/Mesh.h"
#include "render/RenderStateCache.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace passes {

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

bool WalkedObject(const ObjectRecord* h) {
    if (!h->bUsed || !h->bVisibleNow || !h->bSeen || h->dwType != OT_MESH || !h->pD3DXMesh ||
        !(h->dwFlags & objflags::kFlagVisible))
        return false;
    const EMesh* mesh = h->Mesh();
    return mesh && mesh->m_dwNumSubsets != 0;
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

} // namespace passes
