// The water reflection's light, shared by SimplestMesh and SimplestSkinmesh
// (their parameters are declared by each effect), built from lighting.glsl:
//
//   ambient = g_AmbientLightDiffuse, times the vertex-ambient colour of the
//             vertex colour (ztVertexAmbient) when g_bVertexColor
//   light   = ambient + Lambert x sky colour   (sky light 0 only, while
//             g_bUseSkyLightX[0] and g_bUseSkyLight)
//   colour  = texel x light + specular (g_bDrawSpecular: the sky light's
//             highlight at g_SpecularPower and g_SpecularCone, in its colour)
//   fogged toward g_FogColor between g_FogNear and g_FogFar
//
// n is the world normal and world the point, seen from g_CameraPosition; no
// shadows, no normal map. Alpha is the texel's.

include "lighting.glsl"

vec4 ztSimplest(vec4 texel, vec3 n, vec3 world, vec3 vertexColor, float distance) {
    vec3 light = g_AmbientLightDiffuse.rgb;
    if (g_bVertexColor)
        light *= ztVertexAmbient(vertexColor, g_fVertexAmbientBrightness, g_fVertexAmbientContrast,
                                 g_fVertexAmbientColor.rgb);
    vec3 specular = vec3(0.0);
    if (g_bUseSkyLight && g_bUseSkyLightX[0]) {
        vec3 d = g_SkyLightDir[0].xyz;
        light += ztDiffuse(n, d) * g_SkyLightDiffuse[0].rgb;
        if (g_bDrawSpecular) {
            vec3 toEye = g_CameraPosition.xyz - world;
            toEye = length(toEye) > 0.0 ? normalize(toEye) : vec3(0.0);
            specular = ztSpecular(n, d, toEye, g_SpecularPower, g_SpecularCone) * g_SkyLightDiffuse[0].rgb;
        }
    }
    return vec4(ztFog(texel.rgb * light + specular, g_FogColor.rgb, distance, g_FogNear, g_FogFar), texel.a);
}
