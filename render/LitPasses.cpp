#include "render/LitPasses.h"

#include <cmath>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Options.h"
#include "app/Orientation.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/PassSkeleton.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "render/SkyShadowMap.h"

namespace {

// The dropped items' glint turns this fast (radians per second).
constexpr float kGlintTurn = -3.0f;

} // namespace

math::Vec4 ItemGlintDirection(const orientation& camera, float clock) {
    orientation o;
    o.SetDirection(camera.forward);
    o.Rotate(camera.right, kGlintTurn * clock);
    return math::Vec4{o.forward.x, o.forward.y, o.forward.z, 0.0f};
}

namespace litpass {

bool g_bSpecularOption = true;

SkyLightBlock ComputeSkyLightBlock(const SkyShadowMap& maps, const EnvironmentSettings& environment,
                                   const math::Matrix& view, float k, bool drawAnimatedShadows,
                                   bool bothMaps) {
    SkyLightBlock b;
    math::Matrix viewInv;
    math::MatrixInverse(view, &viewInv);
    const float* d = environment.SkyLightDirection();
    float length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (length == 0.0f) length = 1.0f;
    uint32_t c = 0;
    environment.GetSkyLightColor(&c);
    const math::Vec4 direction{d[0] / length, d[1] / length, d[2] / length, 0.0f};
    const math::Vec4 diffuse{float((c >> 16) & 0xFF) / 255.0f * k, float((c >> 8) & 0xFF) / 255.0f * k,
                             float(c & 0xFF) / 255.0f * k, 1.0f};
    const int maps_ = bothMaps ? 2 : 1;
    for (int i = 0; i < maps_; ++i) {
        const SkyShadowMap::Map& m = maps.m_Maps[i];
        b.bUse[i] = environment.m_bSkyLightInUse && (i == 0 || drawAnimatedShadows);
        b.mViewToLightProj[i] = viewInv * m.mView * m.mProjection;
        b.vDirection[i] = direction;
        b.vDiffuse[i] = diffuse;
        if (!bothMaps) continue;
        int size = 0;
        float bias = 0.0f;
        maps.GetProjector(i, &size, nullptr, nullptr, &bias);
        b.fMapSize[i] = float(uint32_t(size));
        b.fMapTexel[i] = b.fMapSize[i] == 0.0f ? 1.0f : 1.0f / b.fMapSize[i];
        b.fShadowEpsilon[i] = bias * SkyShadowMap::EPSILON_PER_BIAS;
    }
    return b;
}

void UploadSkyLightBlock(const EffectRecord* fx, const SkyLightBlock& b, bool bothMaps) {
    effect::Effect* e = fx->pEffect;
    if (bothMaps) {
        e->SetFloatArray(EffectParam(fx, &EffectRecord::SMAP_SIZE, "SMAP_SIZE"), b.fMapSize, 2);
        e->SetFloatArray(EffectParam(fx, &EffectRecord::SMAP_SIZE1, "SMAP_SIZE1"), b.fMapTexel, 2);
        e->SetFloatArray(EffectParam(fx, &EffectRecord::SHADOW_EPSILON, "SHADOW_EPSILON"), b.fShadowEpsilon,
                         2);
    }
    e->SetMatrixArray(EffectParam(fx, &EffectRecord::g_mViewToLightProj, "g_mViewToLightProj"),
                      b.mViewToLightProj, 2);
    e->SetVectorArray(EffectParam(fx, &EffectRecord::g_SkyLightDir, "g_SkyLightDir"), b.vDirection, 2);
    e->SetVectorArray(EffectParam(fx, &EffectRecord::g_SkyLightDiffuse, "g_SkyLightDiffuse"), b.vDiffuse, 2);
    if (gfx::Failed(e->SetBoolArray(e->GetParameterByName(effect::Handle(), "g_bUseSkyLightX"), b.bUse, 2)))
        g_Console.Print("Set failed");
}

void BindSkyMaps(bool point) {
    g_RenderStateCache.SetTexture(3, g_SkyShadowMap.m_Maps[0].pTexture);
    if (DrawAnimatedShadows) g_RenderStateCache.SetTexture(4, g_SkyShadowMap.m_Maps[1].pTexture);
    if (point) {
        passes::SetStageFilter(3, gfx::TextureFilter::Point);
        passes::SetStageFilter(4, gfx::TextureFilter::Point);
    }
}

namespace {

// A skinned mesh's image and normal map: the image as it is (the default
// white texture without DrawCharacterTextures), the normal map when there
// is one, else, with `standIn`, the image named and put in its place.
void BindSkinnedStages(strtexture* t, bool standIn) {
    ERenderStateCache& cache = g_RenderStateCache;
    cache.SetTexture(0, DrawCharacterTextures ? t->pTexture : g_Renderer.DefaultTexture());
    if (t->pNormal) {
        cache.SetTexture(1, t->pNormal->pTexture);
    } else if (standIn) {
        g_Console.Print2(t->szName, " - brak normala!");
        cache.SetTexture(1, t->pTexture);
    }
}

} // namespace

void SetTextureMaterial(EffectRecord* fx, strtexture* t, const MaterialVariant& variant) {
    effect::Effect* e = fx->pEffect;
    ERenderStateCache& cache = g_RenderStateCache;
    const TextureDescription& desc = t->desc;
    gfx::Texture* white = g_Renderer.DefaultTexture();

    if (variant.bSkinned) {
        BindSkinnedStages(t, variant.bStandInNormal);
    } else {
        g_Renderer.BindTextureStages(t, true);
    }
    e->SetFloat(EffectParam(fx, &EffectRecord::g_fNormalDensity, "g_fNormalDensity"), desc.fNormalDensity);
    cache.SetCullMode(!desc.b2Sided);
    auto translucent = [&] {
        if (desc.bTranslucent) {
            if (!cache.m_bTranslucentOn) cache.BeginTranslucent(fx);
        } else if (cache.m_bTranslucentOn) {
            cache.EndTranslucent(fx);
        }
    };
    auto transparent = [&] {
        if (desc.bTransparent) {
            if (!cache.m_bTransparentOn) cache.BeginTransparent(fx);
        } else if (cache.m_bTransparentOn) {
            cache.EndTransparent(fx);
        }
    };
    if (variant.bSkinned) {
        transparent();
        translucent();
    } else {
        translucent();
        transparent();
    }
    // Skinned meshes show their detail and cube whatever DrawTextures says.
    const bool ownImages = DrawTextures || variant.bSkinned;
    const effect::Handle drawSpecular = EffectParam(fx, &EffectRecord::g_bDrawSpecular, "g_bDrawSpecular");
    if (desc.bSpecular && g_bSpecularOption) {
        e->SetFloat(EffectParam(fx, &EffectRecord::g_SpecularCone, "g_SpecularCone"), desc.fSpecularCone);
        e->SetFloat(EffectParam(fx, &EffectRecord::g_SpecularPower, "g_SpecularPower"), desc.fSpecularPower);
        e->SetBool(drawSpecular, true);
    } else {
        e->SetBool(drawSpecular, false);
    }
    e->SetFloat(EffectParam(fx, &EffectRecord::g_fTextureDensity, "g_fTextureDensity"),
                passes::TextureDensity(t));
    if (variant.bDetail) {
        const effect::Handle drawDetail = EffectParam(fx, &EffectRecord::g_bDrawDetail, "g_bDrawDetail");
        const effect::Handle asNormal =
            EffectParam(fx, &EffectRecord::g_bDetailAsNormal, "g_bDetailAsNormal");
        const effect::Handle inMask =
            EffectParam(fx, &EffectRecord::g_bSpecularInDetailMask, "g_bSpecularInDetailMask");
        if (t->pDetail && DrawDetail) {
            cache.SetTexture(2, ownImages ? t->pDetail->pTexture : white);
            e->SetFloat(EffectParam(fx, &EffectRecord::g_fDetailDensity, "g_fDetailDensity"),
                        desc.fDetailDensity);
            if (variant.bDetailSwitches) {
                e->SetBool(drawDetail, true);
                e->SetBool(asNormal, desc.bDetailAsNormal != 0);
                e->SetBool(inMask, desc.bSpecularInDetailMask != 0);
            }
        } else if (variant.bDetailSwitches) {
            e->SetBool(drawDetail, false);
            e->SetBool(asNormal, false);
            e->SetBool(inMask, false);
        }
    }
    if (t->pEnvironment && g_pD3DInterface) {
        gfx::BaseTexture* cube = ownImages ? static_cast<gfx::BaseTexture*>(t->pEnvironment->pCubeTexture)
                                           : static_cast<gfx::BaseTexture*>(white);
        g_pD3DInterface->SetTexture(6, cube);
    }
    e->SetBool(EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM"),
               desc.bFullyBrightInNormalMask != 0);
    if (variant.bCommitAfter) e->CommitChanges();
}

const char* SkyLightTechnique(bool shadows, bool cube) {
    static const char* const names[2][2] = {{"RenderScene00", "RenderScene01"},
                                            {"RenderScene10", "RenderScene11"}};
    return names[shadows ? 1 : 0][cube ? 1 : 0];
}

const char* SkyLightTechnique20(bool cube) {
    return cube ? "RenderScene20_1" : "RenderScene20_0";
}

Sway WireSway(float amplitude, float height, float phase) {
    Sway s;
    s.fPrzesX = std::sin(phase) * amplitude;
    s.fPrzesY = -std::cos(0.5f * phase) * s.fPrzesX * 0.4f;
    s.fWysY = height;
    s.fWysY5 = 0.5f * height;
    return s;
}

Sway TreeSway(float height, float clock) {
    const float t = 0.2f * clock;
    Sway s;
    s.fPrzesX = std::sin(t) * 0.06f * height;
    s.fPrzesY = std::cos(t) * 0.06f * height;
    s.fWysY = height;
    s.fWysY5 = 0.5f * height;
    return s;
}

float LeafWobble(float clock) {
    return std::sin(0.7f * clock) * 0.05f;
}

} // namespace litpass
