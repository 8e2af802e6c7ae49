#include "world/ObeCamera.h"

#include <cmath>

#include "actors/player/Player.h"
#include "actors/PostacMgr.h"
#include "app/Console.h"
#include "app/Options.h"
#include "physics/MovePlayerSlide.h"
#include "platform/math/Math.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"

ObeCamera g_ObeCamera;

namespace {

constexpr float kRaise = 64.0f;     // the character's middle above its feet
constexpr float kHeadRaise = 24.0f; // aim above the head node
constexpr float kOrbitRadius = 256.0f;
constexpr float kOrbitHeight = 96.0f;
constexpr float kOrbitSpeed = -0.4f; // radians per second about the vertical
constexpr float kSlideStep = 20.0f;  // the box moves in steps of this length
constexpr float kFarMove = 320.0f;   // beyond this the eye jumps, nearer it eases in
constexpr float kFarMoveShare = 0.98f;
constexpr float kMaxFarMove = 960.0f;
constexpr float kEaseRate = 2.0f; // share of the remaining way per second

math::Vec3 CharacterPosition(const strpostac* p) {
    math::Vec3 position;
    if (p && p->hObjects[0]) GetObjectPosition(p->hObjects[0], &position);
    return position;
}

} // namespace

void ObeCamera::Init() {
    m_hCameraBoundingBox = g_Engine.CreateObject(OT_MESH, "prefabs\\special\\kamera.x", 128, 0);
    if (!m_hCameraBoundingBox) g_Console.Print("m_hCameraBoundingBox FAILED");
    m_bRunning = 0;
}

void ObeCamera::Destroy() {
    if (m_hCameraBoundingBox) g_Engine.DeleteObject(m_hCameraBoundingBox);
    m_hCameraBoundingBox = nullptr;
    m_bRunning = 0;
    m_pTarget = nullptr;
}

void ObeCamera::Start(strpostac* character) {
    if (m_bRunning || !character) return;
    g_Console.Print("Start OBE za skryptu");
    m_bRunning = 1;
    m_bLookAtCharacter = 1;
    m_fElapsed = 0;
    m_pTarget = character;
    m_vStartEye = g_Camera.GetPosition();
    g_Camera.GetOrientation(&m_StartOrientation);
    const math::Vec3 target = CharacterPosition(character) + math::Vec3(0, kRaise, 0);
    m_fStartDistance = math::Vec3Length(target - m_vStartEye);
    m_fCappedDistance = m_fStartDistance;
    if (m_fStartDistance > MAX_START_DISTANCE) {
        const math::Vec3 dir = (target - m_vStartEye) / m_fStartDistance;
        m_vStartEye += dir * MAX_START_DISTANCE;
        m_fCappedDistance = MAX_START_DISTANCE;
    }
    m_vEye = m_vStartEye;
    if (m_hCameraBoundingBox) SetObjectPosition(m_hCameraBoundingBox, m_vEye);
}

math::Vec3 ObeCamera::AimPoint() const {
    ObjectRecord* body = m_pTarget ? m_pTarget->hObjects[0] : nullptr;
    math::Vec3 aim;
    if (m_bLookAtCharacter) {
        if (GetObjectNodePosition(body, "Bip01_Spine1", &aim)) return aim;
    } else if (GetObjectNodePosition(body, "Bip01_Head", &aim)) {
        return aim + math::Vec3(0, kHeadRaise, 0);
    }
    // A body without readable nodes: its middle.
    return CharacterPosition(m_pTarget) + math::Vec3(0, kRaise, 0);
}

void ObeCamera::MoveEye(const math::Vec3& wanted, float frameTime) {
    const math::Vec3 way = wanted - m_vEye;
    const float remaining = math::Vec3Length(way);
    if (remaining <= 0.0f) return;
    float move;
    if (remaining > kFarMove) {
        move = std::fmin(remaining * kFarMoveShare, kMaxFarMove);
    } else {
        move = remaining * std::fmin(1.0f, kEaseRate * frameTime);
    }
    const math::Vec3 dir = way / remaining;
    // Steps of the box: a blocked step keeps only its free components, so
    // the eye slides along a wall.
    while (move > 0.0f) {
        const float length = std::fmin(move, kSlideStep);
        move -= length;
        const math::Vec3 step = dir * length;
        const math::Vec3 next = m_vEye + step;
        if (!m_hCameraBoundingBox || g_MovePlayerSlide.IsPositionFree(m_hCameraBoundingBox, next)) {
            m_vEye = next;
        } else {
            const math::Vec3 axes[3] = {{step.x, 0, 0}, {0, step.y, 0}, {0, 0, step.z}};
            for (const math::Vec3& a : axes)
                if (g_MovePlayerSlide.IsPositionFree(m_hCameraBoundingBox, m_vEye + a)) m_vEye += a;
        }
        if (m_hCameraBoundingBox) SetObjectPosition(m_hCameraBoundingBox, m_vEye);
    }
}

void ObeCamera::Update(float frameTime) {
    if (!m_bRunning) return;
    GlobalTimeSpeed = 0.6f;
    m_fElapsed += frameTime;

    const math::Vec3 aim = AimPoint();
    const math::Vec3 player = g_Player.m_vPosition;
    math::Vec3 dir(aim.x - player.x, 0, aim.z - player.z);
    const float length = math::Vec3Length(dir);
    dir = length > 0.0f ? dir / length : math::Vec3(0, 0, 1);
    dir = math::Vec3TransformNormal(dir, math::MatrixRotationY(kOrbitSpeed * m_fElapsed));
    const math::Vec3 wanted = aim + dir * kOrbitRadius + math::Vec3(0, kOrbitHeight, 0);
    MoveEye(wanted, frameTime);

    const math::Vec3 look = aim - m_vEye;
    orientation o;
    if (math::Vec3LengthSq(look) > 0.0f) o.SetDirection(math::Vec3Normalize(look));
    g_Camera.SetPosition(m_vEye);
    g_Camera.SetOrientation(o);
    if (m_bLookAtCharacter) g_PostacMgr.FacePoint(m_pTarget, m_vEye);

    if (m_fElapsed > DURATION) {
        m_bRunning = 0;
        GlobalTimeSpeed = 1.0f;
        g_Camera.SetOrientation(m_StartOrientation);
    }
}

strpostac* ObeCamera::FindPostacById(uint32_t id) {
    if (id == 0) return nullptr;
    for (strpostac& p : g_PostacMgr.m_Postacie)
        if (p.bUsed && !p.bDead && p.dwId == id) return &p;
    return nullptr;
}
