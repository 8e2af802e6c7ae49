// The water reflection's light, shared by SimplestMesh and SimplestSkinmesh
// (their parameters are declared by each effect):
//
//   ambient = g_AmbientLightDiffuse, times the shaped vertex colour
//             clamp((c x brightness - 0.5) x contrast + 0.5, 0, 1) x g_fVertexAmbientColor
//             when g_bVertexColor
//   light   = ambient + max(0, n . -d) x sky colour   (sky light 0 only, while
//             g_bUseSkyLightX[0] and g_bUseSkyLight)
//   colour  = texel x light + specular, where specular (g_bDrawSpecular) =
//             max(0, reflect(d, n) . -v)^g_SpecularCone x g_SpecularPower x sky colour
//   fog     = clamp((distance - near) / (far - near), 0, 1) toward g_FogColor
//
// n is the world normal, d the sky light's unit direction of travel, v the
// unit vector from the eye (g_CameraPosition) to the point; no shadows, no
// normal map. Alpha is the texel's.

vec4 ztSimplest(vec4 texel, vec3 n, vec3 world, vec3 vertexColor, float distance) {
    vec3 ambient = g_AmbientLightDiffuse.rgb;
    if (g_bVertexColor) {
        vec3 shaped = clamp((vertexColor * g_fVertexAmbientBrightness - 0.5) * g_fVertexAmbientContrast + 0.5, 0.0, 1.0);
        ambient *= shaped * g_fVertexAmbientColor.rgb;
    }
    vec3 light = ambient;
    vec3 specular = vec3(0.0);
    if (g_bUseSkyLight && g_bUseSkyLightX[0]) {
        vec3 d = g_SkyLightDir[0].xyz;
        light += max(0.0, dot(n, -d)) * g_SkyLightDiffuse[0].rgb;
        if (g_bDrawSpecular) {
            vec3 v = world - g_CameraPosition.xyz;
            v = length(v) > 0.0 ? normalize(v) : vec3(0.0);
            specular = pow(max(0.0, dot(reflect(d, n), -v)), g_SpecularCone) * g_SpecularPower * g_SkyLightDiffuse[0].rgb;
        }
    }
    vec3 c = texel.rgb * light + specular;
    float fog;
    if (g_FogFar <= g_FogNear) {
        fog = distance >= g_FogFar ? 1.0 : 0.0;
    } else {
        fog = clamp((distance - g_FogNear) / (g_FogFar - g_FogNear), 0.0, 1.0);
    }
    return vec4(mix(c, g_FogColor.rgb, fog), texel.a);
}
