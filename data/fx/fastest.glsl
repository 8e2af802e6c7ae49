// The fastest pipeline's light and fog, shared by SimpleMesh and
// SimpleSkinmesh (its parameters are declared by each effect).
//
//   light = ambient + sum over the two sky lights i switched on of
//           max(0, n . -d_i) x sky colour_i           (only with g_bUseSkyLight)
//   colour = texel x light, x vertex colour when g_bVertexColor
//   fog    = ztFogAmount (lighting.glsl): none up to near, full at and beyond
//            far (a set whose far is not beyond near fogs everything from
//            far on)
//   result = colour mixed toward the fog colour by fog; alpha = the texel's
//
// n is the vertex normal turned into world space, d_i the sky light's unit
// direction of travel, distance the eye distance of the point.
include "lighting.glsl"

vec3 ztSkyLit(vec3 n) {
    vec3 light = g_AmbientLightDiffuse.rgb;
    if (g_bUseSkyLight) {
        for (int i = 0; i < 2; ++i) {
            if (g_bUseSkyLightX[i]) light += ztDiffuse(n, g_SkyLightDir[i].xyz) * g_SkyLightDiffuse[i].rgb;
        }
    }
    return light;
}

vec4 ztFastest(vec4 texel, vec3 n, vec4 vertexColor, float distance) {
    vec3 c = texel.rgb * ztSkyLit(n);
    if (g_bVertexColor) c *= vertexColor.rgb;
    return vec4(ztFog(c, g_FogColor.rgb, distance, g_FogNear, g_FogFar), texel.a);
}
