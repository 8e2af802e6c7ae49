// The lit passes of skinned meshes. Outside (the sky light reaches them):
// the effect "SkyLightSkinmesh" with the static pass's sky-light parameter
// block under its own light factor, both sky maps, the ambient colour
// arriving from three directions that follow the camera, and a rim; the
// intro's hero gets two point lights of its own. Inside (flag2 bit 0x8):
// the effect "LightSkinmesh" with the ambient colour and a weak back light
// fixed to the camera. Both walk the skinned list texture by texture,
// choose what is drawn, set every parameter but the bones and hand each
// user to ESkinMesh::Render. The parameter block, the texture state and the
// ambient and fog keys are those of the static lit passes.
#include <cmath>
#include <cstring>

#include "app/D3DMain.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "app/Orientation.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/LitPasses.h"
#include "render/PassSkeleton.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "render/SkinnedLight.h"
#include "render/SkyShadowMap.h"
#include "skinmesh/SkinMesh.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

namespace {

using objflags::kFlag2NoSkyLight;
using passes::LightKeys;

// The ambient-lit pass's back light: a weak warm colour.
const math::Vec4 kBackLightDiffuse{0.3f, 0.2f, 0.1f, 0.0f};
// Mip-map LOD bias of the ambient-lit pass's map stages while it draws, and
// after it.
constexpr float kLightPassMapLodBias = -1000.0f;
constexpr float kMapLodBiasAfter = -1.0f;
constexpr uint32_t kMapStages[] = {3, 4, 5, 14};
constexpr const char* kIntroObject = "hero_scene_1";
constexpr const char* kIntroTechnique = "HeroIntro";
constexpr int kIntroScene = 1;

void SetMapLodBias(float bias) {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    for (uint32_t stage : kMapStages)
        d->SetSamplerState(stage, gfx::SamplerState::MipMapLodBias, gfx::FloatState(bias));
}

// The handles the per-object steps set, found once per call.
struct ObjectHandles {
    effect::Handle fresnel, useSkyLight;
    passes::LightHandles light;

    explicit ObjectHandles(const EffectRecord* fx) : light(fx) {
        fresnel = EffectParam(fx, &EffectRecord::g_fFresnelCoef, "g_fFresnelCoef");
        useSkyLight = EffectParam(fx, &EffectRecord::g_bUseSkyLight, "g_bUseSkyLight");
    }
};

// The object's ambient colour and fog, from the environment's sets by its
// indices (looked up only when an index changes).
void SetAmbientAndFog(effect::Effect* e, const ObjectHandles& p, const ObjectRecord* h, bool animated,
                      LightKeys* keys, bool commitAmbient) {
    passes::UploadAmbient(e, p.light, keys, h, animated, nullptr);
    if (commitAmbient) e->CommitChanges();
    passes::UploadFog(e, p.light, keys, h, nullptr);
}

// A user that a skinned lit pass may draw: with its skinned mesh and
// object, seen, shown and in view; `inside` picks the family by flag2 bit
// 0x8.
bool DrawnUser(const strlistaskinmeshy* u, bool inside) {
    const ObjectRecord* h = u->m_hObject;
    if (!u->pSkinMesh || !h || !h->bSeen) return false;
    if (((h->dwFlags2 & kFlag2NoSkyLight) != 0) != inside) return false;
    return (h->dwFlags & objflags::kFlagVisible) && h->bVisibleNow;
}

bool Skipped(const strtexture* t) {
    return t->bDoNotRender || t->desc.bAdditive || t->desc.bStain;
}

// ---- Sky-light pass
// ----------------------------------------------------------------

// What the sky-light pass remembers within one call.
struct SkyMemory {
    int kind = -1;         // 0 plain, 1 with the environment cube
    const char* name = ""; // the technique last begun by name
    LightKeys keys;
};

// The intro's first scene, with the hero lit by two named world objects.
struct Intro {
    bool running = false;
    math::Vec4 light[2];
};

Intro TakeIntro() {
    Intro intro;
    const PostProcessGameState game = TheWorldHooks().PostProcessGame();
    if (!game.bIntroRunning) return intro;
    intro.running = game.iIntroScene == kIntroScene;
    const char* const names[2] = {"light1", "light2"};
    for (int i = 0; i < 2; ++i) {
        // A missing light sends the origin.
        if (const ObjectRecord* h = g_Engine.FindObjectByName(names[i]))
            intro.light[i] = math::Vec4{h->vPosition.x, h->vPosition.y, h->vPosition.z, 0.0f};
    }
    return intro;
}

void RenderSkyLitSkinned(ERenderer& r, bool full, bool secondCall) {
    gfx::Device* d = g_pD3DInterface;
    if (d) {
        d->SetFVF(0);
        d->SetVertexDeclaration(g_pVertexDeclarations[1]);
    }
    if (!DrawModels || !r.m_pSkinMeshTextures[0]) return;
    EffectRecord* fx = passes::FindPassEffect("SkyLightSkinmesh", "No SkyLightSkinmesh HEFFECT",
                                              "No SkyLightSkinmesh ID3DXEffect");
    if (!fx) return;
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;

    const passes::CameraValues camera = passes::TakeCamera();
    const litpass::SkyLightBlock block =
        litpass::ComputeSkyLightBlock(g_SkyShadowMap, g_EnvironmentSettings, camera.view,
                                      SkinmeshLightCoef * SkyLightPower, DrawAnimatedShadows, full);
    litpass::UploadSkyLightBlock(fx, block, full);
    cache.EndTechnique(fx);
    passes::BeginTechnique(fx, &EffectRecord::RenderScene, "RenderScene");
    const bool shadows = full && DrawShadows && g_EnvironmentSettings.m_bSkyLightInUse;
    if (shadows) {
        litpass::BindSkyMaps(false);
    } else {
        // A map bound in an earlier frame would still shade: the stages are
        // emptied, which the effect reads as unshadowed.
        g_RenderStateCache.SetTexture(3, nullptr);
        g_RenderStateCache.SetTexture(4, nullptr);
    }
    cache.EndTranslucent(fx);
    cache.EndTransparent(fx);

    const ObjectHandles p(fx);
    const bool noLights[3] = {false, false, false};
    e->SetBoolArray(EffectParam(fx, &EffectRecord::g_bUseLight, "g_bUseLight"), noLights, 3);
    e->SetBool(p.useSkyLight, UseSkyLight);
    const effect::Handle fullyBright = EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM");
    e->SetBool(fullyBright, false);
    passes::SetCameraParameters(fx, camera, passes::kView | passes::kViewInv | passes::kProj);
    e->SetVector(EffectParam(fx, &EffectRecord::g_CameraPosition, "g_CameraPosition"),
                 math::Vec4{camera.eye.x, camera.eye.y, camera.eye.z, 0.0f});
    math::Vec4 ambientDirections[3];
    litpass::AmbientDirections(g_Camera.ViewOrientation().forward, ambientDirections);
    e->SetVectorArray(e->GetParameterByName(effect::Handle(), "g_AmbientLightDirection"), ambientDirections,
                      3);
    const Intro intro = full ? TakeIntro() : Intro();

    auto techniqueName = [full](bool cube) {
        if (full) return cube ? "RenderScene1" : "RenderScene";
        return cube ? "RenderScene20_1" : "RenderScene20_0";
    };
    if (cache.BeginTechniqueByName(fx, techniqueName(r.m_pSkinMeshTextures[0]->pEnvironment != nullptr),
                                   false) &&
        shadows)
        litpass::BindSkyMaps(true);
    SetSamplerFilters(16, true);

    litpass::MaterialVariant material;
    material.bSkinned = true;
    material.bDetail = full;
    material.bCommitAfter = true;
    const effect::Handle introLight[2] = {e->GetParameterByName(effect::Handle(), "g_vIntroLight0"),
                                          e->GetParameterByName(effect::Handle(), "g_vIntroLight1")};
    const litpass::Rim rim = full ? litpass::Rim::SkyLight : litpass::Rim::SkyLight20;
    SkyMemory memory;
    for (strtexture* const* entry = r.m_pSkinMeshTextures; *entry; ++entry) {
        strtexture* t = *entry;
        if (Skipped(t)) continue;
        if (!secondCall && t->desc.bTranslucent) {
            r.m_bSecondCallSkyLitSkinMeshes = 1;
            continue;
        }
        if (secondCall && !t->desc.bTranslucent) continue;
        const ObjectRecord* introObject = nullptr;
        bool stateDone = false;
        for (strlistaskinmeshy* u = t->pSkinMeshes; u; u = u->next) {
            if (!DrawnUser(u, false)) continue;
            ObjectRecord* h = u->m_hObject;
            if (!stateDone) {
                stateDone = true;
                const int kind = t->pEnvironment ? 1 : 0;
                if (kind != memory.kind) {
                    const char* name = techniqueName(kind == 1);
                    memory.kind = kind;
                    if (StrCmpNoCase(name, memory.name) != 0) {
                        cache.BeginTechniqueByName(fx, name, false);
                        memory.name = name;
                        if (full) {
                            if (shadows) litpass::BindSkyMaps(true);
                            litpass::UploadSkyLightBlock(fx, block, true);
                        }
                    }
                }
                if (intro.running && StrCmpNoCase(h->szName, kIntroObject) == 0) {
                    cache.BeginTechniqueByName(fx, kIntroTechnique, false);
                    introObject = h;
                    // The next texture begins its own technique again.
                    memory.kind = -1;
                    memory.name = "";
                }
                litpass::SetTextureMaterial(fx, t, material);
            }
            SetAmbientAndFog(e, p, h, t->bAnimated != 0, &memory.keys, true);
            if (UseSkyLight) e->SetBool(p.useSkyLight, true);
            if (h == introObject) {
                e->SetVector(introLight[0], intro.light[0]);
                e->SetVector(introLight[1], intro.light[1]);
            }
            e->SetFloat(p.fresnel, litpass::FresnelCoef(rim, h->dwFlags, h->dwKindFlags));
            e->CommitChanges();
            u->pSkinMesh->Render(t->id, u->dwSubset, fx);
        }
    }
    cache.EndTransparent(fx);
    cache.EndTranslucent(fx);
    if (full) {
        passes::SetStageFilter(3, gfx::TextureFilter::Linear);
        passes::SetStageFilter(4, gfx::TextureFilter::Linear);
    }
    // The maps are not left bound: a device loss releases them, and a
    // device still holding them could not be reset.
    cache.SetTexture(3, nullptr);
    cache.SetTexture(4, nullptr);
    cache.EndTechnique(fx);
}

// ---- Ambient-lit pass
// --------------------------------------------------------------

void RenderAmbientLitSkinned(ERenderer& r, bool full, bool translucentOnly) {
    EffectRecord* fx =
        passes::FindPassEffect("LightSkinmesh", "No light skinmesh HEFFECT", "No light skinmesh ID3DXEffect");
    if (!fx) return;
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    gfx::Device* d = g_pD3DInterface;
    passes::ClearStagesForEffect();
    passes::BeginTechnique(fx, &EffectRecord::RenderScene, "RenderScene");
    const passes::CameraValues camera = passes::TakeCamera();
    const orientation& view = g_Camera.ViewOrientation();
    e->SetVector(e->GetParameterByName(effect::Handle(), "g_vBackLightDirection"),
                 litpass::BackLightDirection(view.forward, view.right));
    e->SetVector(e->GetParameterByName(effect::Handle(), "g_vBackLightDiffuse"), kBackLightDiffuse);
    if (d) d->SetVertexDeclaration(g_pVertexDeclarations[1]);
    cache.EndTranslucent(fx);
    cache.EndTransparent(fx);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM"), false);
    passes::SetCameraParameters(fx, camera, passes::kView | passes::kViewInv | passes::kProj);
    e->SetVector(EffectParam(fx, &EffectRecord::g_CameraPosition, "g_CameraPosition"),
                 math::Vec4{camera.eye.x, camera.eye.y, camera.eye.z, 0.0f});
    e->SetBool(EffectParam(fx, &EffectRecord::g_bDrawDetail, "g_bDrawDetail"), false);
    e->SetBool(EffectParam(fx, &EffectRecord::g_bDetailAsNormal, "g_bDetailAsNormal"), false);

    const ObjectHandles p(fx);
    litpass::MaterialVariant material;
    material.bSkinned = true;
    material.bStandInNormal = true;
    material.bDetailSwitches = full;
    const litpass::Rim rim = litpass::Rim::Ambient;
    const char* begun = "";
    LightKeys keys;
    for (strtexture* const* entry = r.m_pSkinMeshTextures; *entry; ++entry) {
        strtexture* t = *entry;
        if (Skipped(t)) continue;
        bool stateDone = false;
        for (strlistaskinmeshy* u = t->pSkinMeshes; u; u = u->next) {
            if (!DrawnUser(u, true)) continue;
            if (!translucentOnly && t->desc.bTranslucent) {
                r.m_bSecondCallAmbientLitSkinMeshes = 1;
                continue;
            }
            if (translucentOnly && !t->desc.bTranslucent) continue;
            ObjectRecord* h = u->m_hObject;
            if (!stateDone) {
                stateDone = true;
                const char* name =
                    full ? (t->pEnvironment ? "RenderAmbient1" : "RenderAmbient0") : "RenderAmbient20";
                if (StrCmpNoCase(name, begun) != 0 && cache.BeginTechniqueByName(fx, name, false)) {
                    begun = name;
                    SetMapLodBias(kLightPassMapLodBias);
                }
                litpass::SetTextureMaterial(fx, t, material);
            }
            SetAmbientAndFog(e, p, h, t->bAnimated != 0, &keys, false);
            e->SetFloat(p.fresnel, litpass::FresnelCoef(rim, h->dwFlags, h->dwKindFlags));
            u->pSkinMesh->Render(t->id, u->dwSubset, fx);
        }
    }
    cache.EndTransparent(fx);
    cache.EndTranslucent(fx);
    cache.EndTechnique(fx);
    SetMapLodBias(kMapLodBiasAfter);
}

} // namespace

void ERenderer::RenderSkyLightSkinmeshes(bool secondCall) {
    RecordPass("ERenderer::RenderSkyLightSkinmeshes", secondCall);
    RenderSkyLitSkinned(*this, true, secondCall);
}

void ERenderer::RenderSkyLightSkinmeshes20(bool secondCall) {
    RecordPass("ERenderer::RenderSkyLightSkinmeshes20", secondCall);
    RenderSkyLitSkinned(*this, false, secondCall);
}

void ERenderer::RenderLightSkinmeshes(bool translucentOnly) {
    RecordPass("ERenderer::RenderLightSkinmeshes", translucentOnly);
    RenderAmbientLitSkinned(*this, true, translucentOnly);
}

void ERenderer::RenderLightSkinmeshes20(bool translucentOnly) {
    RecordPass("ERenderer::RenderLightSkinmeshes20", translucentOnly);
    RenderAmbientLitSkinned(*this, false, translucentOnly);
}
