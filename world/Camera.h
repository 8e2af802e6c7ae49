// The game view's camera, `ECamera` (global g_Camera): eye, orientation,
// field of view and projection, the two screen shakes, the look modes (from
// an object, from a socket, a timed move to an object), the gamma ramp and the
// clear colour.
//
// Who drives it: the game's camera code (player, cut-scenes, the Bezier and
// OBE cameras) sets eye and orientation; the engine prepares the view before
// each render (EEngine::PrepareCamera calls UpdateViewMatrix); ECamera::Update
// runs once per game frame (shakes, sniper zoom, projection, sound listener).
// The current field of view is the option CurrentFOV, its base value FOV.
//
// Lifetimes: one instance for the whole run. Objects the camera refers to
// (the constant shake's cause, the look and move targets) are forgotten when
// they are deleted (ForgetObject).
//
// Failure policy: missing objects, characters and sockets print one console
// line and switch the mode off; nothing needs the device except sending the
// transforms and the gamma ramp, which are skipped without one.
#pragma once

#include <cstdint>
#include <cstdio>

#include "app/Orientation.h"
#include "app/Records.h"
#include "platform/gfx/Types.h"
#include "platform/math/Types.h"

struct ObjectRecord;

class ECamera {
  public:
    // One shake: its parameters and the running state of its three axes.
    struct Shake {
        ShakeScreenParams Params;
        uint8_t bOn = 0;
        math::Vec3 vSource;       // where the shake comes from
        float fPhase[3] = {};     // radians, 0 .. 2 pi
        float fAmplitude[3] = {}; // radians, drawn at each wrap
        float fPeriod[3] = {};    // seconds, drawn at each wrap
        float fOffset[3] = {};    // this frame's turn per axis, radians
        float fRemaining = 0;     // seconds left (timed shake)
        float fSign = 1;          // +1 or -1
    };
    // Bytes of the shake state in the save block.
    static constexpr uint32_t SHAKE_IMAGE_SIZE = 212;
    static constexpr float MAX_LOOK_FOV = 88.0f;

    ECamera();
    virtual ~ECamera() = default;

    // ---- Eye and orientation -------------------------------------------------
    void SetPosition(const math::Vec3& eye);
    const math::Vec3& GetPosition() const { return m_vEye; }
    void SetOrientation(const orientation& o);
    // Copies every field of the current orientation; nothing for null.
    void GetOrientation(orientation* out) const;
    const orientation& Orientation() const { return m_Orientation; }
    // Turns a copy of the orientation by the shakes, builds the view matrix
    // (eye towards eye + forward, up the turned up axis) and the camera
    // transform, and sets the view on the device.
    void UpdateViewMatrix();
    const math::Matrix& View() const { return m_mView; }
    const math::Matrix& CameraTransform() const { return m_mCamera; }
    // The orientation of the last view, shakes included.
    const orientation& ViewOrientation() const { return m_ViewOrientation; }

    // ---- Projection ------------------------------------------------------------
    // Perspective without a far plane from CurrentFOV x the field-of-view
    // factor x pi/4 and screenwidth / screenheight, or, while orthographic,
    // an orthographic box of the orthographic size; set on the device.
    void SetProjection();
    const math::Matrix& Projection() const { return m_mProjection; }
    void SetFarZ(float farZ);
    float GetFarZ() const { return m_fFarZ; }
    void SetOrthographic(bool on, float size);
    bool IsOrthographic() const { return m_bOrthographic != 0; }
    // The far-plane corners in view space for the renderer's frustum tests:
    // (-W/2, +H/2), (+W/2, +H/2), (+W/2, -H/2), (-W/2, -H/2), all at far.
    const math::Vec3* FarCorners() const { return m_vFarCorners; }

    // ---- Colours -----------------------------------------------------------------
    void SetBackgroundColor(uint32_t color) { m_dwClearColor = color; }
    uint32_t GetBackgroundColor() const { return m_dwClearColor; }
    // Gamma and the three factors := the value clamped to 0.5 .. 3.0.
    void SetGamma(float gamma);
    // One factor as given (console GammaR, GammaG, GammaB).
    void SetGammaR(float factor);
    void SetGammaG(float factor);
    void SetGammaB(float factor);
    float GetGamma() const { return m_fGamma; }
    float GammaR() const { return m_fGammaR; }
    float GammaG() const { return m_fGammaG; }
    float GammaB() const { return m_fGammaB; }
    // The ramp of the current factors: entry i of a channel with factor g is
    // 65535 x (i / 255)^(1 / g), g below 0.01 counting as 0.01.
    void BuildGammaRamp(gfx::GammaRamp* ramp) const;
    // Sends that ramp to the device (swap chain 0, calibrated); nothing
    // without a device.
    void ApplyGammaRamp();

    // ---- Shakes -------------------------------------------------------------------
    // Starts (or, with amplitudes 0, stops) the timed shake at its source.
    void ShakeScreen(const ShakeScreenParams& params, const math::Vec3& source);
    // The constant shake caused by an object, measured from its position.
    void SetConstantShakeScreen(const ShakeScreenParams& params, ObjectRecord* cause);
    void StopShakes();
    const Shake& TimedShake() const { return m_Shake; }
    const Shake& ConstantShake() const { return m_ConstantShake; }

    // ---- Look modes ------------------------------------------------------------------
    // Looks from the named object with its own field of view (at most 88);
    // an object that does not exist switches the mode off.
    void LookFromObject(const char* name, float fov);
    bool IsLookingFromObject() const { return m_bLookFromObject != 0; }
    float LookFromObjectFov() const { return m_fLookFromObjectFov; }
    // Looks from a socket of an object (or of a character's body when
    // character is set) for duration seconds.
    void LookFromSocket(const char* name, const char* socket, float duration, bool character);
    bool IsLookingFromSocket() const { return m_bSocketMode != 0; }
    // Moves the eye from where it is to the named object in duration seconds,
    // turning by spherical interpolation.
    void MoveToObject(const char* name, float duration);
    bool IsMoving() const { return m_hMoveObject != nullptr; }
    // Puts eye and orientation where the look-from-object and socket modes
    // say (engine's camera preparation).
    void ApplyLookModes();
    // The look-at mode an action switches: on with an object and an angle
    // (degrees), off with none and 0. The player's view that follows it
    // comes with the player; the camera keeps the request.
    void SetLookAt(ObjectRecord* target, float angleDegrees) {
        m_hLookAt = target;
        m_fLookAtAngle = target ? angleDegrees : 0.0f;
    }
    ObjectRecord* LookAtTarget() const { return m_hLookAt; }
    float LookAtAngle() const { return m_fLookAtAngle; }
    // The object is being deleted: every mode that refers to it ends.
    void ForgetObject(ObjectRecord* h);

    // Saved orientations of the menu.
    void StoreOrientation();
    void RestoreOrientation();

    // ---- Sniper view -------------------------------------------------------------------
    // Held each frame by the player while the scope is up.
    void SetSniperView() { m_bSniperView = 1; }
    float SniperZoom() const { return m_fSniperZoom; }

    // ---- Per frame -----------------------------------------------------------------------
    // Frame time; shake steps; camera move and socket time; sniper zoom;
    // projection; the sound listener.
    void Update(float frameTime);
    void OnResetDevice() { SetProjection(); }

    void Save(std::FILE* f);
    void Load(std::FILE* f);

    // The shake state as it is saved (SHAKE_IMAGE_SIZE bytes).
    void WriteShakeImage(uint8_t* image) const;
    void ReadShakeImage(const uint8_t* image);

    float m_fFovFactor = 1.0f; // the global field-of-view factor
    // Set while the player or weapon code holds the camera (the mouse does
    // not turn the view then).
    uint8_t m_bHold = 0;

  private:
    void StartShake(Shake& s, const ShakeScreenParams& params, const math::Vec3& source);
    // Phases, drawn values and this frame's offsets of one shake.
    void StepShake(Shake& s, float dt, const math::Vec3& source, bool timed);
    void UpdateSniperZoom(float dt);
    void UpdateListener(float dt);
    void UpdateCameraMove(float dt);
    void UpdateSocketMode(float dt);

    Shake m_Shake;
    Shake m_ConstantShake;
    ObjectRecord* m_hShakeObject = nullptr;

    uint8_t m_bSniperView = 0;
    float m_fSniperZoom = 0;

    orientation m_Orientation;
    orientation m_SavedOrientation[2]; // menu
    orientation m_ViewOrientation;     // the last view, shakes included

    float m_fGamma = 1.0f, m_fGammaR = 1.0f, m_fGammaG = 1.0f, m_fGammaB = 1.0f;

    uint8_t m_bOrthographic = 0;
    float m_fOrthoSize = 1024.0f;
    float m_fFarZ = 1600.0f;
    float m_fNear = -128.0f;
    float m_fFrameTime = 0;

    // Camera move.
    ObjectRecord* m_hMoveObject = nullptr;
    math::Vec3 m_vMoveStartEye;
    orientation m_MoveStartOrientation;
    float m_fMoveDuration = 0;
    float m_fMoveProgress = 0;

    // Look from a socket.
    uint8_t m_bSocketMode = 0;
    ObjectRecord* m_hSocketObject = nullptr;
    char m_szSocket[64] = {};
    float m_fSocketTime = 0;

    // Look-at mode.
    ObjectRecord* m_hLookAt = nullptr;
    float m_fLookAtAngle = 0;

    // Look from an object.
    uint8_t m_bLookFromObject = 0;
    ObjectRecord* m_hLookFromObject = nullptr;
    char m_szLookFromObject[64] = {};
    float m_fLookFromObjectFov = 0;

    uint32_t m_dwClearColor = 0;
    math::Vec3 m_vEye;
    math::Vec3 m_vListenerFront{0, 0, 1};
    math::Vec3 m_vListenerTop{0, 1, 0};
    math::Vec3 m_vListenerEye; // eye at the last committed listener update
    float m_fListenerTimer = 0;

    math::Matrix m_mView;
    math::Matrix m_mCamera;
    math::Matrix m_mProjection;
    math::Vec3 m_vFarCorners[4];
};

extern ECamera g_Camera;

// The constant shake that an action block or a death's parameters describe:
// their six values are the amplitude and period of three swings, then the
// range it fades out at.
template <class Block> ShakeScreenParams ConstantShakeOf(const Block& b) {
    ShakeScreenParams p;
    p.fAmplitude1 = b.fConstantShakeParams1;
    p.fPeriod1 = b.fConstantShakeParams2;
    p.fAmplitude2 = b.fConstantShakeParams3;
    p.fPeriod2 = b.fConstantShakeParams4;
    p.fAmplitude3 = b.fConstantShakeParams5;
    p.fPeriod3 = b.fConstantShakeParams6;
    p.fDistance = b.fConstantShakeRange;
    return p;
}
