#include "render/EnvironmentSettings.h"

#include "app/Console.h"
#include "app/Orientation.h"
#include "platform/math/Math.h"
#include "platform/os/Number.h"
#include "render/PostProcess.h"
#include "render/SkyShadowMap.h"
#include "world/Camera.h"
#include "world/Engine.h"

EnvironmentSettings g_EnvironmentSettings;

namespace {

// Replaces the channel at `shift` of a packed colour (channel rule above).
uint32_t WithChannel(uint32_t color, float value, int shift) {
    // A value from data may be beyond any integer: cut to the int range first.
    uint32_t channel = uint32_t(os::ClampToInt(value)) & 0xFFu;
    uint32_t rgb = color & 0x00FFFFFFu;
    return (rgb & ~(0xFFu << shift)) | (channel << shift);
}

} // namespace

void EnvironmentSettings::SetAmbientColor(uint32_t color, int index) {
    m_dwAmbient[Index(index)] = color;
}
void EnvironmentSettings::SetAmbientR(float v, int i) {
    m_dwAmbient[Index(i)] = WithChannel(m_dwAmbient[Index(i)], v, 16);
}
void EnvironmentSettings::SetAmbientG(float v, int i) {
    m_dwAmbient[Index(i)] = WithChannel(m_dwAmbient[Index(i)], v, 8);
}
void EnvironmentSettings::SetAmbientB(float v, int i) {
    m_dwAmbient[Index(i)] = WithChannel(m_dwAmbient[Index(i)], v, 0);
}

void EnvironmentSettings::SetFogColor(uint32_t color, int index) {
    index = Index(index);
    m_dwFogColor[index] = color;
    g_Camera.SetBackgroundColor(color);
    if (index == 0) {
        g_Console.StoreVariable("FogR", float((color >> 16) & 0xFF), 0);
        g_Console.StoreVariable("FogG", float((color >> 8) & 0xFF), 0);
        g_Console.StoreVariable("FogB", float(color & 0xFF), 0);
    }
}

void EnvironmentSettings::GetFogColor(uint32_t* color, int index) const {
    if (color) *color = m_dwFogColor[Index(index)];
}
void EnvironmentSettings::SetFogR(float v, int i) {
    SetFogColor(WithChannel(m_dwFogColor[Index(i)], v, 16), i);
}
void EnvironmentSettings::SetFogG(float v, int i) {
    SetFogColor(WithChannel(m_dwFogColor[Index(i)], v, 8), i);
}
void EnvironmentSettings::SetFogB(float v, int i) {
    SetFogColor(WithChannel(m_dwFogColor[Index(i)], v, 0), i);
}
void EnvironmentSettings::GetFogFar(float* value, int index) const {
    if (value) *value = m_fFogFar[Index(index)];
}
void EnvironmentSettings::GetFogNear(float* value, int index) const {
    if (value) *value = m_fFogNear[Index(index)];
}

void EnvironmentSettings::GetSkyLightColor(uint32_t* color) const {
    if (color) *color = m_dwSkyLightColor;
}
void EnvironmentSettings::SetSkyLightR(float v) {
    m_dwSkyLightColor = WithChannel(m_dwSkyLightColor, v, 16);
}
void EnvironmentSettings::SetSkyLightG(float v) {
    m_dwSkyLightColor = WithChannel(m_dwSkyLightColor, v, 8);
}
void EnvironmentSettings::SetSkyLightB(float v) {
    m_dwSkyLightColor = WithChannel(m_dwSkyLightColor, v, 0);
}

void EnvironmentSettings::SetSkyLightDirection(const float* d) {
    if (!d) return;
    for (int i = 0; i < 3; ++i)
        m_vSkyLightDirection[i] = d[i];
}

void EnvironmentSettings::SetLensFlareDirection(const float* d) {
    if (!d) return;
    for (int i = 0; i < 3; ++i)
        m_vLensFlareDirection[i] = d[i];
}

void EnvironmentSettings::SetBloom(float cone, float power) {
    g_PostProcess.m_fBloomCone = cone;
    g_PostProcess.m_fBloomPower = power;
}

void EnvironmentSettings::DirectionFromAngles(float rotationDegrees, float pitchDegrees, float* direction) {
    orientation o;
    o.InitYawPitchRoll(rotationDegrees * math::kPi / 180.0f, pitchDegrees * math::kPi / 180.0f, 0.0f);
    direction[0] = o.forward.x;
    direction[1] = o.forward.y;
    direction[2] = o.forward.z;
}

void EnvironmentSettings::SetSkyLightProjector(int size, int distance1, int distance2, float bias) {
    g_SkyShadowMap.SetProjector(0, size, distance1, distance2, bias);
}

void EnvironmentSettings::GetSkyLightProjector(int* size, int* distance1, int* distance2, float* bias) {
    g_SkyShadowMap.GetProjector(0, size, distance1, distance2, bias);
}

ObjectRecord* EnvironmentSettings::CreateSkyObject(const char* fileName) {
    DeleteSkyObject();
    // Far away and hidden (no visible bit): only the sky drawer shows it.
    const float position[3] = {1.0e11f, 1.0e11f, 1.0e11f};
    m_hSkyObject = g_Engine.CreateObject(0, fileName, 0x80, 0, position, nullptr);
    return m_hSkyObject;
}

void EnvironmentSettings::DeleteSkyObject() {
    if (m_hSkyObject) g_Engine.DeleteObject(m_hSkyObject);
    m_hSkyObject = nullptr;
}
