#include "world/Camera.h"

#include <cmath>
#include <cstring>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "platform/math/Math.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"
#include "sound/SoundMgr.h"
#include "world/Engine.h"
#include "world/ImageIo.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

ECamera g_Camera;

namespace {

constexpr float kListenerInterval = 0.25f;
// How fast the constant shake's amplitudes return into a changed band (radians per second).
constexpr float kBandReturnSpeed = 0.2f;

float ClampGamma(float g) {
    return g < 0.5f ? 0.5f : (g > 3.0f ? 3.0f : g);
}

bool NoAmplitude(const ShakeScreenParams& p) {
    return p.fAmplitude1 == 0.0f && p.fAmplitude3 == 0.0f && !(p.fAmplitude2 > 0.0f);
}

void AxisParams(const ShakeScreenParams& p, int k, float* amplitude, float* period) {
    const float a[3] = {p.fAmplitude1, p.fAmplitude2, p.fAmplitude3};
    const float t[3] = {p.fPeriod1, p.fPeriod2, p.fPeriod3};
    *amplitude = a[k];
    *period = t[k];
}

void SetName(char (&field)[64], const char* name) {
    std::strncpy(field, name ? name : "", sizeof field - 1);
    field[sizeof field - 1] = 0;
}

} // namespace

ECamera::ECamera() {
    m_Shake.fSign = m_ConstantShake.fSign = 1.0f;
}

// ---- Eye and orientation ----------------------------------------------------------

void ECamera::SetPosition(const math::Vec3& eye) {
    m_vEye = eye;
    UpdateViewMatrix();
}

void ECamera::SetOrientation(const orientation& o) {
    m_Orientation = o;
    UpdateViewMatrix();
}

void ECamera::GetOrientation(orientation* out) const {
    if (out) *out = m_Orientation;
}

void ECamera::UpdateViewMatrix() {
    orientation o = m_Orientation;
    if (m_Shake.bOn || m_ConstantShake.bOn) {
        // Each turn uses the axes the previous one left.
        o.Rotate(o.right, m_Shake.fOffset[0] + m_ConstantShake.fOffset[0]);
        o.Rotate(o.up, m_Shake.fOffset[1] + m_ConstantShake.fOffset[1]);
        o.Rotate(o.forward, m_Shake.fOffset[2] + m_ConstantShake.fOffset[2]);
    }
    m_ViewOrientation = o;
    m_mView = math::MatrixLookAtLH(m_vEye, m_vEye + o.forward, o.up);
    m_mCamera = math::MatrixTransformation(math::Vec3(1, 1, 1), o.quaternion, m_vEye);
    if (g_pD3DInterface) g_pD3DInterface->SetTransform(gfx::TransformState::View, m_mView);
}

// ---- Projection ---------------------------------------------------------------------

void ECamera::SetProjection() {
    if (m_bOrthographic) {
        m_mProjection = math::MatrixOrthoLH(m_fOrthoSize * 4.0f / 3.0f, m_fOrthoSize, 1.0f, m_fFarZ);
    } else {
        const float fov = CurrentFOV * m_fFovFactor * 0.7853982f;
        const float aspect = screenheight ? float(screenwidth) / float(screenheight) : 1.0f;
        math::Matrix m;
        for (auto& row : m.m)
            for (float& v : row)
                v = 0;
        m.m[0][0] = 1.0f / std::tan(0.5f * fov * aspect);
        m.m[1][1] = 1.0f / std::tan(0.5f * fov);
        m.m[2][2] = 1.0f;
        m.m[2][3] = 1.0f;
        m.m[3][2] = -1.0f;
        m_mProjection = m;
        const float h = 2.0f * std::tan(0.5f * fov) * m_fFarZ;
        const float w = h * aspect;
        m_vFarCorners[0] = {-w / 2, h / 2, m_fFarZ};
        m_vFarCorners[1] = {w / 2, h / 2, m_fFarZ};
        m_vFarCorners[2] = {w / 2, -h / 2, m_fFarZ};
        m_vFarCorners[3] = {-w / 2, -h / 2, m_fFarZ};
    }
    if (g_pD3DInterface) g_pD3DInterface->SetTransform(gfx::TransformState::Projection, m_mProjection);
}

void ECamera::SetFarZ(float farZ) {
    m_fFarZ = farZ;
    SetProjection();
}

void ECamera::SetOrthographic(bool on, float size) {
    m_bOrthographic = on;
    m_fOrthoSize = size;
    SetProjection();
}

// ---- Gamma ----------------------------------------------------------------------------

void ECamera::SetGamma(float gamma) {
    m_fGamma = m_fGammaR = m_fGammaG = m_fGammaB = ClampGamma(gamma);
    ApplyGammaRamp();
}

void ECamera::SetGammaR(float factor) {
    m_fGammaR = factor;
    ApplyGammaRamp();
}

void ECamera::SetGammaG(float factor) {
    m_fGammaG = factor;
    ApplyGammaRamp();
}

void ECamera::SetGammaB(float factor) {
    m_fGammaB = factor;
    ApplyGammaRamp();
}

void ECamera::BuildGammaRamp(gfx::GammaRamp* ramp) const {
    if (!ramp) return;
    const float factors[3] = {m_fGammaR, m_fGammaG, m_fGammaB};
    uint16_t* tables[3] = {ramp->red, ramp->green, ramp->blue};
    for (int c = 0; c < 3; ++c) {
        const float g = factors[c] >= 0.01f ? factors[c] : 0.01f; // not a number: the least
        for (int i = 0; i < 256; ++i) {
            const float value = 65535.0f * std::pow(float(i) / 255.0f, 1.0f / g);
            tables[c][i] = uint16_t(os::ClampToInt(value, 0, 65535));
        }
    }
}

void ECamera::ApplyGammaRamp() {
    if (!g_pD3DInterface) return;
    gfx::GammaRamp ramp;
    BuildGammaRamp(&ramp);
    g_pD3DInterface->SetGammaRamp(0, gfx::gamma::Calibrate, &ramp);
}

// ---- Shakes -----------------------------------------------------------------------------

void ECamera::StartShake(Shake& s, const ShakeScreenParams& params, const math::Vec3& source) {
    s.bOn = 1;
    s.vSource = source;
    for (int k = 0; k < 3; ++k) {
        s.fPhase[k] = math::kTwoPi;
        s.fAmplitude[k] = 0;
        s.fPeriod[k] = 1.0f;
        s.fOffset[k] = 0;
    }
    s.fRemaining = params.fDuration;
    if (params.bNegativeStart)
        s.fSign = -1.0f;
    else
        s.fSign = (os::Rand() & 1) ? 1.0f : -1.0f;
}

void ECamera::ShakeScreen(const ShakeScreenParams& params, const math::Vec3& source) {
    m_Shake.Params = params;
    if (NoAmplitude(params)) {
        m_Shake.bOn = 0;
        for (float& o : m_Shake.fOffset)
            o = 0;
        return;
    }
    if (params.fDuration > 0.0f) StartShake(m_Shake, params, source);
}

void ECamera::SetConstantShakeScreen(const ShakeScreenParams& params, ObjectRecord* cause) {
    g_Console.Print2("ConstantShakeScreen set by ", cause ? cause->szName : "");
    m_ConstantShake.Params = params;
    m_hShakeObject = cause;
    if (NoAmplitude(params)) {
        m_ConstantShake.bOn = 0;
        for (float& o : m_ConstantShake.fOffset)
            o = 0;
        return;
    }
    // A running constant shake keeps its swing; its amplitudes drift into
    // the new band in the step.
    if (!m_ConstantShake.bOn && params.fDuration > 0.0f) {
        math::Vec3 source;
        if (cause) GetObjectPosition(cause, &source);
        StartShake(m_ConstantShake, params, source);
    }
}

void ECamera::StopShakes() {
    m_Shake.bOn = 0;
    m_ConstantShake.bOn = 0;
    m_hShakeObject = nullptr;
    for (int k = 0; k < 3; ++k)
        m_Shake.fOffset[k] = m_ConstantShake.fOffset[k] = 0;
}

void ECamera::StepShake(Shake& s, float dt, const math::Vec3& source, bool timed) {
    const ShakeScreenParams& p = s.Params;
    float coefficient = 1.0f;
    if (p.fDistance > 0.0f) {
        const float d = math::Vec3Length(m_vEye - source);
        if (d >= p.fDistance) {
            coefficient = 0.0f;
            if (PrintShakeScreenDistance) g_Console.Print("ConstantShakeScreen distance coefficient == ZERO");
        } else {
            coefficient = 1.0f - d / p.fDistance;
            if (PrintShakeScreenDistance)
                g_Console.PrintFloat("ConstantShakeScreen distance coefficient == ", coefficient);
        }
    }
    const float fade = timed ? (p.fDuration > 0.0f ? s.fRemaining / p.fDuration : 0.0f) : 1.0f;
    for (int k = 0; k < 3; ++k) {
        float amplitude, period;
        AxisParams(p, k, &amplitude, &period);
        if (!(s.fPeriod[k] > 0.0f)) {
            s.fOffset[k] = 0;
            continue;
        }
        s.fPhase[k] += dt * math::kTwoPi / s.fPeriod[k];
        if (s.fPhase[k] >= math::kTwoPi) {
            s.fPhase[k] -= math::kTwoPi;
            s.fAmplitude[k] = math::ToRadian(RandomFloat(amplitude / 2) + amplitude / 2);
            s.fPeriod[k] = RandomFloat(period / 2) + period / 2;
        }
        if (!timed) {
            // After a change of parameters the amplitude returns into the band.
            const float high = math::ToRadian(amplitude), low = high / 2;
            if (s.fAmplitude[k] > high)
                s.fAmplitude[k] = std::fmax(high, s.fAmplitude[k] - kBandReturnSpeed * dt);
            else if (s.fAmplitude[k] < low && s.fAmplitude[k] > 0.0f)
                s.fAmplitude[k] = std::fmin(low, s.fAmplitude[k] + kBandReturnSpeed * dt);
        }
        s.fOffset[k] = std::sin(s.fPhase[k]) * s.fAmplitude[k] * coefficient * fade * s.fSign;
    }
    if (timed) {
        s.fRemaining -= dt;
        if (s.fRemaining < 0.0f) {
            s.fRemaining = 0;
            s.bOn = 0;
            for (float& o : s.fOffset)
                o = 0;
        }
    }
}

// ---- Look modes ------------------------------------------------------------------------------

void ECamera::LookFromObject(const char* name, float fov) {
    ObjectRecord* h = name && *name ? g_Engine.FindObjectByName(name) : nullptr;
    if (!h) {
        m_bLookFromObject = 0;
        m_hLookFromObject = nullptr;
        return;
    }
    m_bLookFromObject = 1;
    m_hLookFromObject = h;
    SetName(m_szLookFromObject, name);
    m_fLookFromObjectFov = fov > MAX_LOOK_FOV ? MAX_LOOK_FOV : fov;
    m_SavedOrientation[1] = m_ViewOrientation;
}

void ECamera::LookFromSocket(const char* name, const char* socket, float duration, bool character) {
    if (!name) name = "";
    ObjectRecord* h = nullptr;
    if (character) {
        if (!TheWorldHooks().CharacterBody(name, &h)) {
            g_Console.Print3("Character ", name, " not found!");
            return;
        }
    } else {
        h = g_Engine.FindObjectByName(name);
        if (!h) {
            g_Console.Print2("No object to look from: ", name);
            return;
        }
    }
    if (!h || !h->bUsed) {
        g_Console.Print2(name, " not used!");
        return;
    }
    math::Vec3 position;
    orientation o;
    if (!ReadObjectSocket(h, socket, &position, &o)) {
        g_Console.Print2("Socket to look from read failed: ", socket ? socket : "");
        return;
    }
    if (duration > 0.0f) {
        TheWorldHooks().StartCutFade();
        m_bSocketMode = 1;
        m_hSocketObject = h;
        SetName(m_szSocket, socket);
        m_fSocketTime = duration;
        m_vEye = position;
        m_Orientation = o;
    }
}

void ECamera::MoveToObject(const char* name, float duration) {
    ObjectRecord* h = name && *name ? g_Engine.FindObjectByName(name) : nullptr;
    if (!h) {
        g_Console.Print2("No object to move the camera to: ", name ? name : "");
        return;
    }
    if (!(duration > 0.0f)) return;
    TheWorldHooks().StartCutFade();
    m_hMoveObject = h;
    m_fMoveDuration = duration;
    m_fMoveProgress = 0;
    m_vMoveStartEye = m_vEye;
    m_MoveStartOrientation = m_Orientation;
}

void ECamera::ApplyLookModes() {
    if (m_bLookFromObject && m_hLookFromObject) {
        GetObjectPosition(m_hLookFromObject, &m_vEye);
        GetObjectOrientation(m_hLookFromObject, &m_Orientation);
    }
    if (m_bSocketMode && m_hSocketObject) {
        math::Vec3 position;
        orientation o;
        if (ReadObjectSocket(m_hSocketObject, m_szSocket, &position, &o)) {
            m_vEye = position;
            m_Orientation = o;
        } else {
            g_Console.Print2("No socket ", m_szSocket);
        }
    }
}

void ECamera::ForgetObject(ObjectRecord* h) {
    if (!h) return;
    if (m_hShakeObject == h) m_hShakeObject = nullptr;
    if (m_hMoveObject == h) m_hMoveObject = nullptr;
    if (m_hSocketObject == h) {
        m_hSocketObject = nullptr;
        m_bSocketMode = 0;
    }
    if (m_hLookFromObject == h) {
        m_hLookFromObject = nullptr;
        m_bLookFromObject = 0;
    }
    if (m_hLookAt == h) SetLookAt(nullptr, 0.0f);
}

void ECamera::StoreOrientation() {
    m_SavedOrientation[0] = m_Orientation;
}

void ECamera::RestoreOrientation() {
    m_Orientation = m_SavedOrientation[0];
    UpdateViewMatrix();
}

// ---- Per frame ---------------------------------------------------------------------------------

void ECamera::UpdateCameraMove(float dt) {
    if (!m_hMoveObject) return;
    m_fMoveProgress += dt;
    if (m_fMoveProgress > m_fMoveDuration) m_fMoveProgress = m_fMoveDuration;
    const float t = m_fMoveDuration > 0.0f ? m_fMoveProgress / m_fMoveDuration : 1.0f;
    math::Vec3 target;
    GetObjectPosition(m_hMoveObject, &target);
    m_vEye = m_vMoveStartEye + (target - m_vMoveStartEye) * t;
    orientation o = m_MoveStartOrientation;
    orientation targetOrientation;
    GetObjectOrientation(m_hMoveObject, &targetOrientation);
    o.Slerp(targetOrientation, t);
    m_Orientation = o;
    if (m_fMoveProgress >= m_fMoveDuration) m_hMoveObject = nullptr;
}

void ECamera::UpdateSocketMode(float dt) {
    if (!m_bSocketMode) return;
    m_fSocketTime -= dt;
    if (m_fSocketTime <= 0.0f) {
        m_fSocketTime = 0;
        m_bSocketMode = 0;
        m_hSocketObject = nullptr;
    }
}

void ECamera::UpdateSniperZoom(float dt) {
    if (m_bSniperView)
        m_fSniperZoom += dt;
    else
        m_fSniperZoom -= 2.0f * dt;
    if (m_fSniperZoom < 0.0f) m_fSniperZoom = 0.0f;
    if (m_fSniperZoom > 1.0f) m_fSniperZoom = 1.0f;
    CurrentFOV = FOV + m_fSniperZoom * 0.25f;
    m_bSniperView = 0;
    if (TheWorldHooks().IsVariableSet("sniper_view")) CurrentFOV = 0.35f;
}

void ECamera::UpdateListener(float dt) {
    const float* eye = m_vEye.data();
    g_SoundMgr.SetListenerPosition(eye);
    g_SoundMgr.SetListenerOrientation(m_ViewOrientation.forward.data(), m_ViewOrientation.up.data());
    m_fListenerTimer += dt;
    if (sound && m_fListenerTimer >= kListenerInterval) {
        m_fListenerTimer = 0;
        m_vListenerFront = m_ViewOrientation.forward;
        m_vListenerTop = m_ViewOrientation.up;
        m_vListenerEye = m_vEye;
        g_SoundMgr.CommitListener();
    }
}

void ECamera::Update(float frameTime) {
    m_fFrameTime = frameTime;
    if (m_Shake.bOn) StepShake(m_Shake, frameTime, m_Shake.vSource, true);
    if (m_ConstantShake.bOn) {
        if (m_hShakeObject) GetObjectPosition(m_hShakeObject, &m_ConstantShake.vSource);
        StepShake(m_ConstantShake, frameTime, m_ConstantShake.vSource, false);
    }
    UpdateCameraMove(frameTime);
    UpdateSocketMode(frameTime);
    UpdateSniperZoom(frameTime);
    SetProjection();
    UpdateViewMatrix();
    UpdateListener(frameTime);
}

// ---- Save block ------------------------------------------------------------------------------------

// Shake image: the timed shake at 0 (params 0, on 40, source 44, phases 56,
// amplitudes 68, periods 80, offsets 92, remaining 104, sign 108), the
// constant shake at 112 (params 112, on 152, phases 156, amplitudes 168,
// periods 180, offsets 192), the causing object at 204 (a pointer slot,
// written 0) and the constant shake's sign at 208.
#define ZT_CAMERA_SHAKE_IMAGE(X)                                                                             \
    ZT_SHAKE_SCREEN_PARAMS_IMAGE(X, 0, m_Shake.Params)                                                       \
    X(40, m_Shake.bOn)                                                                                       \
    X(44, m_Shake.vSource)                                                                                   \
    X(56, m_Shake.fPhase)                                                                                    \
    X(68, m_Shake.fAmplitude)                                                                                \
    X(80, m_Shake.fPeriod)                                                                                   \
    X(92, m_Shake.fOffset)                                                                                   \
    X(104, m_Shake.fRemaining)                                                                               \
    X(108, m_Shake.fSign)                                                                                    \
    ZT_SHAKE_SCREEN_PARAMS_IMAGE(X, 112, m_ConstantShake.Params)                                             \
    X(152, m_ConstantShake.bOn)                                                                              \
    X(156, m_ConstantShake.fPhase)                                                                           \
    X(168, m_ConstantShake.fAmplitude)                                                                       \
    X(180, m_ConstantShake.fPeriod)                                                                          \
    X(192, m_ConstantShake.fOffset)                                                                          \
    X(208, m_ConstantShake.fSign)

void ECamera::WriteShakeImage(uint8_t* image) const {
    std::memset(image, 0, SHAKE_IMAGE_SIZE);
    ZT_CAMERA_SHAKE_IMAGE(ZT_IMAGE_PUT_FIELD)
}

void ECamera::ReadShakeImage(const uint8_t* image) {
    ZT_CAMERA_SHAKE_IMAGE(ZT_IMAGE_GET_FIELD)
    // The causing object is not saved: the constant shake stays where it was.
    m_hShakeObject = nullptr;
}

namespace {

void WriteObjectName(std::FILE* f, const ObjectRecord* h) {
    FileWriteBool(f, h != nullptr);
    if (h) FileWriteString(f, h->szName);
}

ObjectRecord* ReadObjectName(std::FILE* f) {
    bool present = false;
    FileReadBool(f, &present);
    if (!present) return nullptr;
    char name[ObjectRecord::NAME_LEN] = {};
    FileReadString(f, name, sizeof name);
    return g_Engine.FindObjectByName(name);
}

} // namespace

void ECamera::Save(std::FILE* f) {
    if (!f) return;
    uint8_t image[SHAKE_IMAGE_SIZE];
    WriteShakeImage(image);
    FileWriteBytes(f, image, SHAKE_IMAGE_SIZE);
    FileWriteBool(f, m_bSniperView != 0);
    FileWrite32(f, m_fSniperZoom);
    FileWrite32(f, CurrentFOV);
    // Camera move.
    FileWriteBool(f, m_hMoveObject != nullptr);
    FileWriteVector(f, m_vMoveStartEye.data());
    FileWriteOrientation(f, &m_MoveStartOrientation);
    FileWrite32(f, m_fMoveDuration);
    FileWrite32(f, m_fMoveProgress);
    WriteObjectName(f, m_hMoveObject);
    // Look from a socket.
    FileWriteBool(f, m_bSocketMode != 0);
    WriteObjectName(f, m_hSocketObject);
    FileWriteString(f, m_szSocket);
    FileWrite32(f, m_fSocketTime);
    // Look from an object.
    FileWriteBool(f, m_hLookFromObject != nullptr);
    FileWriteBool(f, m_bLookFromObject != 0);
    FileWriteString(f, m_szLookFromObject);
    FileWrite32(f, m_fLookFromObjectFov);
    // Projection and colours.
    FileWriteBool(f, m_hShakeObject != nullptr);
    FileWriteBool(f, m_bOrthographic != 0);
    FileWrite32(f, m_dwClearColor);
    FileWrite32(f, m_fOrthoSize);
    FileWrite32(f, m_fFarZ);
    FileWrite32(f, m_fNear);
    FileWrite32(f, m_fFrameTime);
    // Orientations: current, menu (twice), look mode, last view.
    FileWriteOrientation(f, &m_Orientation);
    FileWriteOrientation(f, &m_SavedOrientation[0]);
    FileWriteOrientation(f, &m_SavedOrientation[0]);
    FileWriteOrientation(f, &m_SavedOrientation[1]);
    FileWriteOrientation(f, &m_ViewOrientation);
    const math::Vec3 target = m_vEye + m_Orientation.forward;
    FileWriteVector(f, m_vListenerTop.data());
    FileWriteVector(f, target.data());
    FileWriteVector(f, m_vListenerEye.data());
    FileWriteVector(f, m_vEye.data());
    FileWriteVector(f, m_vListenerFront.data());
    FileWriteVector(f, m_vListenerTop.data());
}

void ECamera::Load(std::FILE* f) {
    if (!f) return;
    uint8_t image[SHAKE_IMAGE_SIZE] = {};
    FileReadBytes(f, image, SHAKE_IMAGE_SIZE);
    ReadShakeImage(image);
    bool b = false;
    FileReadBool(f, &b);
    m_bSniperView = b;
    FileRead32(f, &m_fSniperZoom);
    FileRead32(f, &CurrentFOV);
    FileReadBool(f, &b); // move active: the object read below tells it
    FileReadVector(f, m_vMoveStartEye.data());
    FileReadOrientation(f, &m_MoveStartOrientation);
    FileRead32(f, &m_fMoveDuration);
    FileRead32(f, &m_fMoveProgress);
    m_hMoveObject = ReadObjectName(f);
    FileReadBool(f, &b);
    m_bSocketMode = b;
    m_hSocketObject = ReadObjectName(f);
    FileReadString(f, m_szSocket, sizeof m_szSocket);
    FileRead32(f, &m_fSocketTime);
    if (!m_hSocketObject) m_bSocketMode = 0;
    FileReadBool(f, &b); // a look-from object was set: found again by name below
    FileReadBool(f, &b);
    m_bLookFromObject = b;
    FileReadString(f, m_szLookFromObject, sizeof m_szLookFromObject);
    FileRead32(f, &m_fLookFromObjectFov);
    m_hLookFromObject = m_bLookFromObject ? g_Engine.FindObjectByName(m_szLookFromObject) : nullptr;
    if (!m_hLookFromObject) m_bLookFromObject = 0;
    FileReadBool(f, &b); // the constant shake's cause is not saved
    FileReadBool(f, &b);
    m_bOrthographic = b;
    FileRead32(f, &m_dwClearColor);
    FileRead32(f, &m_fOrthoSize);
    FileRead32(f, &m_fFarZ);
    FileRead32(f, &m_fNear);
    FileRead32(f, &m_fFrameTime);
    orientation repeated;
    FileReadOrientation(f, &m_Orientation);
    FileReadOrientation(f, &m_SavedOrientation[0]);
    FileReadOrientation(f, &repeated);
    FileReadOrientation(f, &m_SavedOrientation[1]);
    FileReadOrientation(f, &m_ViewOrientation);
    math::Vec3 target;
    FileReadVector(f, m_vListenerTop.data());
    FileReadVector(f, target.data());
    FileReadVector(f, m_vListenerEye.data());
    FileReadVector(f, m_vEye.data());
    FileReadVector(f, m_vListenerFront.data());
    FileReadVector(f, m_vListenerTop.data());
    SetProjection();
    UpdateViewMatrix();
}
