// Palette skinning of the 76-byte skinned vertex, shared by the effects of
// skinned meshes (mWorldMatrixArray and CurNumBones are declared by each).
//
// CurNumBones is the influence count less one: the first CurNumBones
// weights are the vertex's own, the last influence takes 1 - their sum.
// Each palette matrix takes a bone-space point straight to world space:
//   world = sum over influences k of w_k x v x mWorldMatrixArray[index_k]
// with v = (point, 1) for positions and (direction, 0) for normals and
// tangents (which come out unnormalised).

vec3 ztSkinned(vec4 v, vec4 weights, vec4 indices) {
    const int kMaxOwnWeights = 3;
    int own = clamp(CurNumBones, 0, kMaxOwnWeights);
    float sum = 0.0;
    vec3 world = vec3(0.0);
    for (int k = 0; k < own; ++k) {
        sum += weights[k];
        world += (v * mWorldMatrixArray[clamp(int(indices[k]), 0, 63)]) * weights[k];
    }
    return world + (v * mWorldMatrixArray[clamp(int(indices[own]), 0, 63)]) * (1.0 - sum);
}
