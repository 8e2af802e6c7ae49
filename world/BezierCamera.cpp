#include "world/BezierCamera.h"

#include <cstdio>
#include <cstring>

CBezierCamera g_BezierCamera;

void CBezierCamera::ExecCommand(const char* argument) {
    if (m_bActive) Destroy();
    char camera[64] = {}, target[64] = {};
    if (argument) {
        const char* blank = std::strchr(argument, ' ');
        size_t n = blank ? size_t(blank - argument) : std::strlen(argument);
        std::snprintf(camera, sizeof camera, "%.*s", int(n < sizeof camera ? n : sizeof camera - 1), argument);
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
    m_bStarted = 0;
}

void CBezierCamera::Destroy() {
    m_bActive = 0;
    m_bStarted = 0;
}
