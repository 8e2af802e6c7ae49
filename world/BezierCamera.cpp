#include "world/BezierCamera.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/CommandMgr.h"
#include "app/Console.h"
#include "platform/math/Math.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

CBezierCamera g_BezierCamera;

namespace {

constexpr const char* kMarkerFile = "prefabs\\special\\marker.x";
constexpr uint32_t kInvisibleFlags = 128;

ObjectRecord* CreateMarker(const char* name, const char* failure) {
    ObjectRecord* h = g_Engine.CreateObject(OT_MESH, kMarkerFile, kInvisibleFlags, 0);
    if (!h) {
        g_Console.Print(failure);
        return nullptr;
    }
    SetObjectName(h, name);
    return h;
}

void StartMarker(ObjectRecord* h, const char* node) {
    if (!h) return;
    BezierMovingParams p;
    p.bActive = 1;
    std::snprintf(p.szStartNode, sizeof p.szStartNode, "%s", node);
    SetObjectBezierMovingParams(h, p);
    StartObjectBezierMoving(h);
}

} // namespace

void CBezierCamera::ExecCommand(const char* argument) {
    if (m_bActive) Destroy();
    char camera[64] = {}, target[64] = {};
    if (argument) {
        const char* blank = std::strchr(argument, ' ');
        size_t n = blank ? size_t(blank - argument) : std::strlen(argument);
        std::snprintf(camera, sizeof camera, "%.*s", int(n < sizeof camera ? n : sizeof camera - 1),
                      argument);
        if (blank) std::snprintf(target, sizeof target, "%s", blank + 1);
    }
    Start(camera, target);
    m_bActive = 1;
}

void CBezierCamera::Start(const char* cameraNode, const char* targetNode) {
    if (m_bActive) Destroy();
    if (!cameraNode || !*cameraNode) return;
    std::snprintf(m_szCameraNode, sizeof m_szCameraNode, "%s", cameraNode);
    std::snprintf(m_szTargetNode, sizeof m_szTargetNode, "%s", targetNode ? targetNode : "");
    m_hCamera = CreateMarker("Bezier camera", "Camera mesh not created!");
    if (m_szTargetNode[0]) m_hTarget = CreateMarker("Bezier target", "Target mesh not created!");
    m_bStarted = 0;
}

void CBezierCamera::Update(float frameTime) {
    if (!m_bActive) return;
    if (IsCommandActive(19, 0) || IsCommandActive(8, 0)) {
        Destroy();
        return;
    }
    if (!m_bStarted) {
        if (g_Console.IsOpen()) return;
        StartMarker(m_hCamera, m_szCameraNode);
        if (m_szTargetNode[0]) StartMarker(m_hTarget, m_szTargetNode);
        m_SavedMouse = g_Mouse.m_State;
        m_bMouseSaved = true;
        g_Mouse.m_State.yaw = g_Mouse.m_State.pitch = 0;
        m_bStarted = 1;
    }
    if (!m_hCamera) return;
    math::Vec3 eye;
    GetObjectPosition(m_hCamera, &eye);
    g_Camera.SetPosition(eye);
    orientation o;
    if (m_hTarget) {
        math::Vec3 at;
        GetObjectPosition(m_hTarget, &at);
        math::Vec3 dir = at - eye;
        float length = math::Vec3Length(dir);
        if (length == 0.0f) length = 1.0f;
        o.SetDirection(dir / length);
    } else {
        GetObjectOrientation(m_hCamera, &o);
        o.Rotate(math::Vec3(0, 1, 0), float(g_Mouse.m_State.yaw));
        o.Rotate(o.right, float(g_Mouse.m_State.pitch));
    }
    g_Camera.SetOrientation(o);
    g_Camera.SetProjection();
    g_Camera.Update(frameTime);
}

void CBezierCamera::Destroy() {
    for (ObjectRecord** marker : {&m_hCamera, &m_hTarget}) {
        if (!*marker) continue;
        StopObjectBezierMoving(*marker);
        g_Engine.DeleteObject(*marker);
        *marker = nullptr;
    }
    if (m_bMouseSaved) g_Mouse.m_State = m_SavedMouse;
    m_bMouseSaved = false;
    m_bActive = 0;
    m_bStarted = 0;
}
