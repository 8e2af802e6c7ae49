#include "render/EffectMgr.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/FocusMgr.h"
#include "platform/os/Os.h"

EEffectMgr g_EffectMgr;

namespace {

const bool g_Registered =
    (RegisterDeviceHook(
         DeviceHook::Effects, [] { g_EffectMgr.OnLostDevice(); }, [] { g_EffectMgr.OnResetDevice(); }),
     true);

// Records are counted under one tag from creation to release.
constexpr const char* kTrackerTag = "efekt";

// The most a name or path holds; longer ones are skipped.
constexpr size_t kMaxText = 255;

// The handles every record resolves, by the names the effects declare.
struct NamedHandle {
    const char* name;
    effect::Handle EffectRecord::*field;
};
const NamedHandle kParameterHandles[] = {
    {"g_SkyLightDir", &EffectRecord::g_SkyLightDir},
    {"g_SkyLightDiffuse", &EffectRecord::g_SkyLightDiffuse},
    {"g_AmbientLightDiffuse", &EffectRecord::g_AmbientLightDiffuse},
    {"g_LightPos", &EffectRecord::g_LightPos},
    {"g_LightDiffuse", &EffectRecord::g_LightDiffuse},
    {"g_LightRange", &EffectRecord::g_LightRange},
    {"g_LightPower", &EffectRecord::g_LightPower},
    {"g_LightView", &EffectRecord::g_LightView},
    {"g_fFarClip", &EffectRecord::g_fFarClip},
    {"g_Texture", &EffectRecord::g_Texture},
    {"g_Normal", &EffectRecord::g_Normal},
    {"g_Normal2", &EffectRecord::g_Normal2},
    {"g_Normal3", &EffectRecord::g_Normal3},
    {"g_NormalMask", &EffectRecord::g_NormalMask},
    {"g_Environmental", &EffectRecord::g_Environmental},
    {"g_Detail", &EffectRecord::g_Detail},
    {"g_AddWaterNormal", &EffectRecord::g_AddWaterNormal},
    {"g_mWorld", &EffectRecord::g_mWorld},
    {"g_mView", &EffectRecord::g_mView},
    {"g_mViewInv", &EffectRecord::g_mViewInv},
    {"g_mProj", &EffectRecord::g_mProj},
    {"g_mWorldView", &EffectRecord::g_mWorldView},
    {"g_mWorldViewProjection", &EffectRecord::g_mWorldViewProjection},
    {"g_CameraPosition", &EffectRecord::g_CameraPosition},
    {"g_CameraModel", &EffectRecord::g_CameraModel},
    {"g_fDetailDensity", &EffectRecord::g_fDetailDensity},
    {"g_fNormalDensity", &EffectRecord::g_fNormalDensity},
    {"g_fDebugLights", &EffectRecord::g_fDebugLights},
    {"g_WaterColor", &EffectRecord::g_WaterColor},
    {"g_SpecularPower", &EffectRecord::g_SpecularPower},
    {"g_SpecularCone", &EffectRecord::g_SpecularCone},
    {"g_bSpecularInDetailMask", &EffectRecord::g_bSpecularInDetailMask},
    {"g_FogColor", &EffectRecord::g_FogColor},
    {"g_FogFar", &EffectRecord::g_FogFar},
    {"g_FogNear", &EffectRecord::g_FogNear},
    {"g_UseSkyLight", &EffectRecord::g_UseSkyLight},
    {"g_bItemDropped", &EffectRecord::g_bItemDropped},
    {"g_vItemDropped", &EffectRecord::g_vItemDropped},
    {"g_vLightDir", &EffectRecord::g_vLightDir},
    {"g_vLightPos", &EffectRecord::g_vLightPos},
    {"g_fCosTheta", &EffectRecord::g_fCosTheta},
    {"SHADOW_EPSILON", &EffectRecord::SHADOW_EPSILON},
    {"SMAP_SIZE", &EffectRecord::SMAP_SIZE},
    {"SMAP_SIZE1", &EffectRecord::SMAP_SIZE1},
    {"g_txLight", &EffectRecord::g_txLight},
    {"g_txShadow", &EffectRecord::g_txShadow},
    {"g_mViewToLightProj", &EffectRecord::g_mViewToLightProj},
    {"mWorldMatrixArray", &EffectRecord::mWorldMatrixArray},
    {"CurNumBones", &EffectRecord::CurNumBones},
    {"g_bDrawSpecular", &EffectRecord::g_bDrawSpecular},
    {"g_fTextureDensity", &EffectRecord::g_fTextureDensity},
    {"g_bDrawTransparent", &EffectRecord::g_bDrawTransparent},
    {"g_bDrawTranslucent", &EffectRecord::g_bDrawTranslucent},
    {"g_bUseSkyLight", &EffectRecord::g_bUseSkyLight},
    {"g_bBoss1", &EffectRecord::g_bBoss1},
    {"g_bAddWater", &EffectRecord::g_bAddWater},
    {"g_bFullyBrightINM", &EffectRecord::g_bFullyBrightINM},
    {"g_bDrawDetail", &EffectRecord::g_bDrawDetail},
    {"g_bDetailAsNormal", &EffectRecord::g_bDetailAsNormal},
    {"g_fBumpHeight", &EffectRecord::g_fBumpHeight},
    {"g_fFresnelCoef", &EffectRecord::g_fFresnelCoef},
    {"g_bVertexColor", &EffectRecord::g_bVertexColor},
    {"g_bUseLight", &EffectRecord::g_bUseLight},
    {"g_vLightPos", &EffectRecord::g_vLightPos2},
    {"g_fLightRange", &EffectRecord::g_fLightRange},
    {"g_vLightDiffuse", &EffectRecord::g_vLightDiffuse},
    {"g_fLightPower", &EffectRecord::g_fLightPower},
    {"g_bCastShadows", &EffectRecord::g_bCastShadows},
    {"g_bUseMinusLight", &EffectRecord::g_bUseMinusLight},
    {"g_vMinusLightPos", &EffectRecord::g_vMinusLightPos},
    {"g_fMinusLightRange", &EffectRecord::g_fMinusLightRange},
    {"g_fMinusLightPower", &EffectRecord::g_fMinusLightPower},
    {"g_bLinearScatter", &EffectRecord::g_bLinearScatter},
    {"cShadowResolution", &EffectRecord::cShadowResolution},
    {"cWorld", &EffectRecord::cWorld},
    {"cWorldIT", &EffectRecord::cWorldIT},
    {"g_fTextureDensityX", &EffectRecord::g_fTextureDensityX},
    {"g_fTextureDensityY", &EffectRecord::g_fTextureDensityY},
    {"g_bUseTexture", &EffectRecord::g_bUseTexture},
    {"g_LightDir", &EffectRecord::g_LightDir},
    {"bCastShadow", &EffectRecord::bCastShadow},
    {"g_tMultitextureR", &EffectRecord::g_tMultitextureR},
    {"g_tMultitextureRNormal", &EffectRecord::g_tMultitextureRNormal},
    {"g_fMultitextureDensityR", &EffectRecord::g_fMultitextureDensityR},
    {"g_tMultitextureG", &EffectRecord::g_tMultitextureG},
    {"g_tMultitextureGNormal", &EffectRecord::g_tMultitextureGNormal},
    {"g_fMultitextureDensityG", &EffectRecord::g_fMultitextureDensityG},
    {"g_tMultitextureB", &EffectRecord::g_tMultitextureB},
    {"g_tMultitextureBNormal", &EffectRecord::g_tMultitextureBNormal},
    {"g_fMultitextureDensityB", &EffectRecord::g_fMultitextureDensityB},
    {"g_fOcclusionData", &EffectRecord::g_fOcclusionData},
    {"g_fVertIncrease", &EffectRecord::g_fVertIncrease},
};
const NamedHandle kTechniqueHandles[] = {
    {"RenderSkinMesh20", &EffectRecord::RenderSkinMesh20},
    {"RenderSkinMesh", &EffectRecord::RenderSkinMesh},
    {"RenderSkinMeshSpecular", &EffectRecord::RenderSkinMeshSpecular},
    {"RenderSkinMeshT20", &EffectRecord::RenderSkinMeshT20},
    {"RenderSkinMeshT", &EffectRecord::RenderSkinMeshT},
    {"RenderSkinMeshSpecularT", &EffectRecord::RenderSkinMeshSpecularT},
    {"RenderScene", &EffectRecord::RenderScene},
    {"RenderScene20", &EffectRecord::RenderScene20},
    {"RenderSceneBase", &EffectRecord::RenderSceneBase},
    {"RenderSceneBaseT", &EffectRecord::RenderSceneBaseT},
    {"RenderSceneAmbientWater", &EffectRecord::RenderSceneAmbientWater},
    {"RenderSceneAmbientWater20", &EffectRecord::RenderSceneAmbientWater20},
};

const char* CreateResultName(gfx::Result r) {
    if (r == gfx::Result::InvalidCall) return "D3DERR_INVALIDCALL";
    if (r == gfx::Result::InvalidData) return "D3DXERR_INVALIDDATA";
    return "UNKNOWN";
}

// The compiler's message, one console line per line.
void PrintLines(const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) g_Console.Print(text.substr(start, end - start).c_str());
        start = end + 1;
    }
}

} // namespace

void EEffectMgr::Init() {
    LoadEffects();
}

void EEffectMgr::LoadEffects() {
    // The effect files are fx/NAME.glfx; each is listed under the name of
    // the compiled effect it stands for, NAME.fxc.
    for (const os::DirEntry& entry : os::ListDirectory("fx\\*.glfx")) {
        if (entry.name.empty() || entry.name[0] == '.') continue;
        const std::string fileName = entry.name.substr(0, entry.name.size() - 5) + ".fxc";
        if (fileName.size() > kMaxText) continue;
        char path[EffectRecord::PATH_LEN];
        std::snprintf(path, sizeof path, "%s\\%s", "fx", fileName.c_str());
        if (entry.isDirectory) continue;
        char name[EffectRecord::NAME_LEN];
        std::strcpy(name, fileName.c_str());
        size_t n = std::strlen(name);
        if (n <= 4) continue;
        if (name[n - 3] == '.') name[n -= 3] = 0;
        if (n >= 4 && name[n - 4] == '.') name[n - 4] = 0;
        CreateEffect(name, path);
    }
}

EffectRecord* EEffectMgr::CreateEffect(const char* name, const char* path) {
    if (!name || !path || std::strlen(name) > kMaxText || std::strlen(path) > kMaxText) return nullptr;
    if (EffectRecord* found = FindEffect(name)) return found;
    if (std::strlen(path) < 4) return nullptr;
    // The engine's special mode (lower optimisation) does not exist yet.
    const uint32_t flags = effect::create::NotCloneable | effect::create::OptimizationLevel3;
    effect::Effect* e = nullptr;
    std::string errors;
    const gfx::Result r = effect::CreateEffectFromFile(g_pD3DInterface, path, flags, &e, &errors);
    if (r != gfx::Result::Ok) {
        g_Console.Printf("effect %s (%s) create error %s (%i)!", name, path, CreateResultName(r),
                         int(gfx::ResultLowWord(r) & 0xFFFF));
        PrintLines(errors);
        return nullptr;
    }
    effect::Handle technique;
    if (e->FindNextValidTechnique(effect::Handle(), &technique) != gfx::Result::Ok) {
        g_Console.Printf("effect %s - no valid technique!", path);
        e->Release();
        return nullptr;
    }

    EffectRecord* rec = new EffectRecord;
    g_Debug.AddAllocation(kTrackerTag);
    rec->pNext = m_pEffects;
    if (m_pEffects) m_pEffects->pPrev = rec;
    m_pEffects = rec;

    std::strcpy(rec->name, name);
    std::strcpy(rec->path, path);
    rec->pEffect = e;
    rec->hTechnique = technique;
    for (const NamedHandle& h : kParameterHandles)
        AddEffectParam(&(rec->*h.field), h.name);
    for (const NamedHandle& h : kTechniqueHandles)
        rec->*h.field = e->GetTechniqueByName(h.name);
    return rec;
}

EffectRecord* EEffectMgr::FindEffect(const char* name) const {
    if (!name) return nullptr;
    for (EffectRecord* r = m_pEffects; r; r = r->pNext) {
        if (StrCmpNoCase(r->name, name) == 0) return r;
    }
    return nullptr;
}

void EEffectMgr::OnLostDevice() {
    for (EffectRecord* r = m_pEffects; r; r = r->pNext) {
        if (r->pEffect) r->pEffect->OnLostDevice();
    }
}

void EEffectMgr::OnResetDevice() {
    for (EffectRecord* r = m_pEffects; r; r = r->pNext) {
        if (r->pEffect) r->pEffect->OnResetDevice();
    }
}

void EEffectMgr::Destroy() {
    while (m_pEffects) {
        EffectRecord* r = m_pEffects;
        m_pEffects = r->pNext;
        if (r->pEffect) r->pEffect->Release();
        delete r;
        g_Debug.RemoveAllocation(kTrackerTag);
    }
}

void AddEffectParam(effect::Handle* handle, const char* name) {
    if (!handle || !name) {
        g_Console.Print("AddEffectParam: one of params is NULL");
        return;
    }
    EffectRecord* head = g_EffectMgr.m_pEffects;
    if (!head || !head->pEffect) return;
    *handle = head->pEffect->GetParameterByName(effect::Handle(), name);
}

void SetEffectFloat(effect::Effect* effect, effect::Handle handle, float value) {
    if (effect) effect->SetFloat(handle, value);
}

effect::Handle EffectParam(const EffectRecord* record, effect::Handle EffectRecord::*handle,
                           const char* name) {
    if (record->*handle) return record->*handle;
    return record->pEffect->GetParameterByName(effect::Handle(), name);
}
