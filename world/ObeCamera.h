// The OBE camera, `ObeCamera` (global g_ObeCamera): a short scripted fly-by
// towards a character in slowed time. For 2.5 s the eye circles the
// character from the player's side and looks at it, carried by an invisible
// bounding-box object that slides along the world instead of passing
// through walls; then normal time and the camera's orientation come back.
//
// Lifetimes: the bounding-box object lives from Init to Destroy (world open
// and close, from the game layer).
#pragma once

#include <cstdint>

#include "app/Orientation.h"
#include "platform/math/Types.h"

struct ObjectRecord;
struct strpostac;

class ObeCamera {
  public:
    static constexpr float DURATION = 2.5f;
    static constexpr float MAX_START_DISTANCE = 1600.0f;

    virtual ~ObeCamera() = default;

    // Creates the bounding-box object ("prefabs\special\kamera.x").
    void Init();
    void Destroy();
    // Only when not running and a character is given.
    void Start(strpostac* character);
    // Per game frame while running.
    void Update(float frameTime);
    // The live character with that id; none for id 0.
    static strpostac* FindPostacById(uint32_t id);

    bool IsRunning() const { return m_bRunning != 0; }

    uint8_t m_bRunning = 0;
    strpostac* m_pTarget = nullptr;
    uint8_t m_bLookAtCharacter = 0;
    float m_fElapsed = 0;
    ObjectRecord* m_hCameraBoundingBox = nullptr;
    math::Vec3 m_vStartEye;
    orientation m_StartOrientation;
    float m_fStartDistance = 0;
    float m_fCappedDistance = 0;
    math::Vec3 m_vEye; // where the box has carried the eye

  private:
    math::Vec3 AimPoint() const;
    // Moves the eye towards the wanted point in free steps of the box.
    void MoveEye(const math::Vec3& wanted, float frameTime);
};

extern ObeCamera g_ObeCamera;
