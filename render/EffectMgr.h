// The effect manager, `EEffectMgr` (global g_EffectMgr): every effect of
// the program, loaded once at engine start from "fx\*.fxc" (each read from
// its fx/NAME.glfx, platform/effect), one `EffectRecord` each in a list,
// newest first, with the parameter and technique handles the passes use.
// Render passes find their effect by name (`FindEffect`, without regard to
// case) every time they run.
//
// Lifetimes: records live from `Init` (engine start) to `Destroy` (engine
// release), which frees each record and its effect; a lost device keeps
// them all with their handles.
//
// Failure policy: an effect that cannot be created prints "effect NAME
// (PATH) create error RESULT (CODE)!" and the reader's or compiler's message
// after it; one without a valid technique prints "effect PATH - no valid
// technique!". Either is left out and the game runs on; passes that miss it
// print their own line. A name or path over 255 characters is skipped.
//
// The reflection switch (m_bReflection) is read by the behaviour layer:
// objects are classed for the water reflection while it is on.
#pragma once

#include <cstdint>

#include "platform/effect/Effect.h"

// One loaded effect. Handles the effect does not declare stay null.
struct EffectRecord {
    static constexpr int NAME_LEN = 256;
    static constexpr int PATH_LEN = 512;

    char name[NAME_LEN] = {};
    char path[PATH_LEN] = {};
    effect::Effect* pEffect = nullptr;
    effect::Handle hTechnique; // the first valid technique, may be null

    // Parameter handles, each named by its parameter (g_vLightPos2 holds
    // g_vLightPos's handle a second time).
    effect::Handle g_SkyLightDir, g_SkyLightDiffuse, g_AmbientLightDiffuse, g_LightPos;
    effect::Handle g_LightDiffuse, g_LightRange, g_LightPower, g_LightView;
    effect::Handle g_fFarClip, g_Texture, g_Normal, g_Normal2;
    effect::Handle g_Normal3, g_NormalMask, g_Environmental, g_Detail;
    effect::Handle g_AddWaterNormal, g_mWorld, g_mView, g_mViewInv;
    effect::Handle g_mProj, g_mWorldView, g_mWorldViewProjection, g_CameraPosition;
    effect::Handle g_CameraModel, g_fDetailDensity, g_fNormalDensity, g_fDebugLights;
    effect::Handle g_WaterColor, g_SpecularPower, g_SpecularCone, g_bSpecularInDetailMask;
    effect::Handle g_FogColor, g_FogFar, g_FogNear, g_UseSkyLight;
    effect::Handle g_bItemDropped, g_vItemDropped, g_vLightDir, g_vLightPos;
    effect::Handle g_fCosTheta, SHADOW_EPSILON, SMAP_SIZE, SMAP_SIZE1;
    effect::Handle g_txLight, g_txShadow, g_mViewToLightProj, mWorldMatrixArray;
    effect::Handle CurNumBones, g_bDrawSpecular, g_fTextureDensity, g_bDrawTransparent;
    effect::Handle g_bDrawTranslucent, g_bUseSkyLight, g_bBoss1, g_bAddWater;
    effect::Handle g_bFullyBrightINM, g_bDrawDetail, g_bDetailAsNormal, g_fBumpHeight;
    effect::Handle g_fFresnelCoef, g_bVertexColor, g_bUseLight, g_vLightPos2;
    effect::Handle g_fLightRange, g_vLightDiffuse, g_fLightPower;
    effect::Handle g_bCastShadows, g_bUseMinusLight, g_vMinusLightPos, g_fMinusLightRange;
    effect::Handle g_fMinusLightPower, g_bLinearScatter, cShadowResolution, cWorld;
    effect::Handle cWorldIT, g_fTextureDensityX, g_fTextureDensityY, g_bUseTexture;
    effect::Handle g_LightDir, bCastShadow, g_tMultitextureR, g_tMultitextureRNormal;
    effect::Handle g_fMultitextureDensityR, g_tMultitextureG, g_tMultitextureGNormal, g_fMultitextureDensityG;
    effect::Handle g_tMultitextureB, g_tMultitextureBNormal, g_fMultitextureDensityB;

    // Technique handles.
    effect::Handle RenderSkinMesh20, RenderSkinMesh, RenderSkinMeshSpecular, RenderSkinMeshT20;
    effect::Handle RenderSkinMeshT, RenderSkinMeshSpecularT, RenderScene, RenderScene20;
    effect::Handle RenderSceneBase, RenderSceneBaseT, RenderSceneAmbientWater, RenderSceneAmbientWater20;

    effect::Handle g_fOcclusionData, g_fVertIncrease;

    EffectRecord* pNext = nullptr;
    EffectRecord* pPrev = nullptr;
};

class EEffectMgr {
  public:
    virtual ~EEffectMgr() = default;

    // Engine start: loads every effect.
    void Init();
    // Enumerates "fx\*.fxc" and creates each (in name order).
    void LoadEffects();
    // The record of that name, or a new one; null on failure.
    EffectRecord* CreateEffect(const char* name, const char* path);
    // The newest record of that name (without regard to case), or null.
    EffectRecord* FindEffect(const char* name) const;
    void OnLostDevice();
    void OnResetDevice();
    // Frees every record and its effect (engine release).
    void Destroy();

    EffectRecord* m_pEffects = nullptr;
    bool m_bReflection = false;
};

// Stores the handle of a parameter of the newest record's effect.
void AddEffectParam(effect::Handle* handle, const char* name);
// Sets one float parameter.
void SetEffectFloat(effect::Effect* effect, effect::Handle handle, float value);
// A parameter of the record's effect as the passes set it: the record's
// cached handle when it has one, else found by name. The record has an effect.
effect::Handle EffectParam(const EffectRecord* record, effect::Handle EffectRecord::*handle,
                           const char* name);

extern EEffectMgr g_EffectMgr;
