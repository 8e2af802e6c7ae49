// The lighting functions of the lit effects (skylight, light, the skinned
// lit effects, the fastest pipeline through fastest.glsl). Each takes its
// values as arguments, so an effect that includes this file needs no
// particular parameters. Directions are world-space unit vectors; a light
// direction is the direction the light travels.

// Linear fog: 0 up to near, 1 at and beyond far. A set whose far is not
// beyond near fogs everything from far on.
float ztFogAmount(float distance, float fogNear, float fogFar) {
    if (fogFar <= fogNear) return distance >= fogFar ? 1.0 : 0.0;
    return clamp((distance - fogNear) / (fogFar - fogNear), 0.0, 1.0);
}

vec3 ztFog(vec3 colour, vec3 fogColour, float distance, float fogNear, float fogFar) {
    return mix(colour, fogColour, ztFogAmount(distance, fogNear, fogFar));
}

// Lambert's term of a directional light.
float ztDiffuse(vec3 n, vec3 lightDir) {
    return max(0.0, dot(n, -lightDir));
}

// The vertex-ambient colour: the painted vertex colour with its contrast
// about mid-grey, times the brightness, tinted; never below black.
//   ((vertex - 0.5) x contrast + 0.5) x brightness x tint
vec3 ztVertexAmbient(vec3 vertexColour, float brightness, float contrast, vec3 tint) {
    return max((vertexColour - 0.5) * contrast + 0.5, 0.0) * brightness * tint;
}

// The normal of a normal-map texel (tangent space, 0..1 per channel, the
// flat normal (0.5, 0.5, 1)) in the vertex frame t, b, n; the strength
// scales the tilt (0 keeps n).
vec3 ztNormalFromMap(vec4 texel, float strength, vec3 t, vec3 b, vec3 n) {
    vec3 m = texel.xyz * 2.0 - 1.0;
    m.xy *= strength;
    vec3 v = m.x * t + m.y * b + max(m.z, 0.0) * n;
    return dot(v, v) > 1e-8 ? normalize(v) : n;
}

// A detail texel used as colour: mid-grey leaves the colour as it is,
// white doubles it, black takes it away (one factor for every pass, so a
// texture looks the same lit from outside and inside).
vec3 ztDetail(vec3 colour, vec4 detail) {
    return colour * 2.0 * detail.rgb;
}

// A detail texel used as a normal bends n by its red and green tilt.
vec3 ztBendByDetail(vec3 n, vec4 detail, vec3 t, vec3 b) {
    vec2 tilt = detail.xy * 2.0 - 1.0;
    return normalize(n + tilt.x * t + tilt.y * b);
}

// The sky light's highlight: the reflected light seen from the eye, raised
// to the cone (the sharpness) and scaled by the power.
float ztSpecular(vec3 n, vec3 lightDir, vec3 toEye, float power, float cone) {
    vec3 r = reflect(lightDir, n);
    return power * pow(max(0.0, dot(r, toEye)), max(cone, 1.0));
}

// The environment seen in the surface: the cube along the reflected view.
vec3 ztEnvironment(samplerCube cube, vec3 n, vec3 toEye) {
    return texture(cube, reflect(-toEye, n)).rgb;
}

// A point in a sky shadow map's light projection (orthographic: w is 1)
// lies in its square and depth range.
bool ztInShadowMap(vec4 lightClip) {
    return abs(lightClip.x) <= 1.0 && abs(lightClip.y) <= 1.0 && lightClip.z >= 0.0 && lightClip.z <= 1.0;
}

// The lit part (0..1) of a point in a light-depth map: four samples one
// texel apart, each lit where the stored depth plus the epsilon is not
// below the point's depth. The map's rows run top-down, as the light's
// projection draws them (texture v = 0.5 - 0.5 y).
float ztShadowLit(sampler2D map, vec4 lightClip, float texel, float epsilon) {
    vec2 uv = vec2(0.5 + 0.5 * lightClip.x, 0.5 - 0.5 * lightClip.y);
    float lit = 0.0;
    for (int i = 0; i < 4; ++i) {
        vec2 offset = vec2(float(i & 1), float(i >> 1)) * texel;
        lit += texture(map, uv + offset).r + epsilon >= lightClip.z ? 1.0 : 0.0;
    }
    return lit * 0.25;
}

// The dropped item's glint: white where n faces the turning highlight
// direction.
vec3 ztGlint(vec3 n, vec3 highlight) {
    return vec3(0.6) * pow(max(0.0, dot(n, highlight)), 24.0);
}
