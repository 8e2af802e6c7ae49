// The frame of the passes: the effect they look up, the camera values they
// upload, the object walk over the static meshes, the texture walk over a
// render list, the drawn-subset test, the ambient colour and fog uploads of
// the lit passes, the stage filters and the polygon statistics.
#pragma once

#include <cstdint>
#include <type_traits>

#include "platform/effect/Effect.h"
#include "platform/math/Math.h"
#include "render/Renderer.h"

struct EffectRecord;
struct ObjectRecord;
struct ObjectRenderValues;
class EMesh;

namespace passes {

// Fog far and near of an object without fog: beyond anything drawn.
constexpr float kNoFogFar = 80008.0f;
constexpr float kNoFogNear = 80000.0f;

// A packed X8R8G8B8 colour as the effects take it: channels / 255, w = 1.
math::Vec4 Channels(uint32_t packed);

// The fog of one of the environment's sets: its colour (w 1), far and near.
struct FogSet {
    math::Vec4 color;
    float fogFar = 0.0f, fogNear = 0.0f;
};
FogSet FogOfSet(int index);

// A texture's density as the effects take it: 1 for a density of 0.
float TextureDensity(const strtexture* t);

// The camera's view, its inverse, the projection and the eye.
struct CameraValues {
    math::Matrix view, viewInv, proj;
    math::Vec3 eye;
};
CameraValues TakeCamera();
// The values of the given matrices, with the given eye or, without one, the
// eye the view places.
CameraValues CameraOf(const math::Matrix& view, const math::Matrix& proj, const math::Vec3* eye);

// The record of a pass's effect with its effect, or null after printing
// `noRecord` (no such record) or `noEffect` (the record has no effect).
EffectRecord* FindPassEffect(const char* name, const char* noRecord, const char* noEffect);

// Empties every texture stage (through the cache) and leaves neither an
// FVF nor a fixed-function program in force, so that an effect's pass
// starts from its own declaration and programs.
void ClearStagesForEffect();

// Which camera parameters a pass uploads.
enum CameraParameter : uint32_t {
    kView = 1,
    kViewInv = 2,
    kProj = 4,
    kEye3 = 8,  // g_CameraPosition as three floats
    kEye4 = 16, // g_CameraPosition as the eye and 1
};
void SetCameraParameters(const EffectRecord* fx, const CameraValues& c, uint32_t which);

// The sky light of the passes that light by arrays of two lights:
// "g_SkyLightDir" (normalised, w 0), "g_SkyLightDiffuse" (colour times the
// sky-light power, at most `powerCap`) and "g_bUseSkyLightX", the second
// entries switched off; a refused switch array prints "Set failed".
void SetSkyLightArrays(const EffectRecord* fx, float powerCap);

// Begins the technique with the cache reset, through the record's cached
// handle when it has one, else by name.
void BeginTechnique(EffectRecord* fx, effect::Handle EffectRecord::*cached, const char* name);

// The handles of an object's matrices, and of its eye in object space
// where the pass uploads it, found once per call.
struct ObjectMatrixHandles {
    effect::Handle wvp, world, worldView, eyeInObject;
    ObjectMatrixHandles(const EffectRecord* fx, bool withEyeInObject);
};
// Uploads the object's world-view-projection, world and world-view matrices
// (and its eye in object space) from its render values.
void UploadObjectMatrices(effect::Effect* e, const ObjectMatrixHandles& p, const ObjectRenderValues& values);

// The object walk's test: a used static mesh in view, seen, with subsets,
// a drawable mesh and its visible flag.
bool WalkedObject(const ObjectRecord* h);

// A static-mesh user drawn by the passes that draw seen subsets: in view,
// seen, its subset seen by the occlusion test, with its mesh and object.
bool DrawsSeenSubset(const strlistameshy* u);

// Sets the magnification, minification and mip filters of a stage (no-op
// without a device).
void SetStageFilter(uint32_t stage, gfx::TextureFilter filter);

// Object-count statistics: the object's faces, the first time in the frame
// it is drawn, into the given counter (while PrintPolygonCount is set).
void CountObjectPolygons(ObjectRecord* h, uint32_t* counter);
// Subset-count statistics: one switched subset in the size class of its
// faces (while PrintPolygonCount is set).
void CountSubset(const EMesh* mesh, uint32_t subset);

// The ambient colour and fog of the lit passes, uploaded per object only
// when they change: an object's set indices are remembered and the next
// object of the same sets uploads nothing. A fixed-colour object
// (probed ambient) and an object without fog always upload and make the
// next object upload again; an animated texture uploads its set's ambient
// colour for every object.
struct LightKeys {
    static constexpr int kNoAmbient = -1;
    static constexpr int kNoFog = 255;
    int ambient = kNoAmbient;
    int fog = kNoFog;
    // Off: a fixed-colour object takes its set's colour too (the water
    // reflection).
    bool probedAmbient = true;

    enum class Ambient { Keep, Probed, Set };
    Ambient NextAmbient(const ObjectRecord* h, bool animatedTexture);
    enum class Fog { Keep, None, Set };
    Fog NextFog(const ObjectRecord* h);
};

// The handles of the ambient colour and fog, found once per call. A pass
// whose effect takes the fog's distances alone clears `fogColor`.
struct LightHandles {
    effect::Handle ambient, fogColor, fogFar, fogNear;
    explicit LightHandles(const EffectRecord* fx);
};

// The object's ambient colour, uploaded as its key asks: the probed colour
// of a fixed-colour object, else its set's colour, taken from `values` when
// given (static meshes, filled for the frame) or from the environment's
// sets (skinned meshes).
void UploadAmbient(effect::Effect* e, const LightHandles& p, LightKeys* keys, const ObjectRecord* h,
                   bool animatedTexture, const ObjectRenderValues* values);
// The object's fog, uploaded as its key asks: an object without fog gets
// far and near beyond anything drawn; a set its colour, far and near, taken
// from `values` when given, else from the environment's sets. With `kept`,
// an uploaded set is also stored there: colour (four floats), far, near.
void UploadFog(effect::Effect* e, const LightHandles& p, LightKeys* keys, const ObjectRecord* h,
               const ObjectRenderValues* values, float* kept = nullptr);

// The texture walk over static-mesh users: for each texture that `takes`
// accepts, each user that `drawn` accepts; `first` runs before the first
// drawn user of a texture (given that user too when it takes two
// arguments), `each` for every drawn one.
template <typename Takes, typename Drawn, typename First, typename Each>
void WalkMeshTextures(strtexture* const* list, Takes&& takes, Drawn&& drawn, First&& first, Each&& each) {
    for (; *list; ++list) {
        strtexture* t = *list;
        if (!takes(t)) continue;
        bool firstDrawn = true;
        for (strlistameshy* u = t->pMeshes; u; u = u->next) {
            if (!drawn(u)) continue;
            if (firstDrawn) {
                firstDrawn = false;
                if constexpr (std::is_invocable_v<First&, strtexture*, strlistameshy*>) {
                    first(t, u);
                } else {
                    first(t);
                }
            }
            each(t, u);
        }
    }
}

// The same over skinned-mesh users.
template <typename Takes, typename Drawn, typename First, typename Each>
void WalkSkinMeshTextures(strtexture* const* list, Takes&& takes, Drawn&& drawn, First&& first, Each&& each) {
    for (; *list; ++list) {
        strtexture* t = *list;
        if (!takes(t)) continue;
        bool firstDrawn = true;
        for (strlistaskinmeshy* u = t->pSkinMeshes; u; u = u->next) {
            if (!drawn(u)) continue;
            if (firstDrawn) {
                firstDrawn = false;
                first(t);
            }
            each(t, u);
        }
    }
}

} // namespace passes
