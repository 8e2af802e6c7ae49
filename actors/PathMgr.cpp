#include "actors/PathMgr.h"
#include "render/Renderer.h"

CPathMgr g_PathMgr;

void CPathMgr::FindNearestPlaceInAllPaths(const math::Vec3& position, strPath** path, strPlace** place, int) {
    strPath* bestPath = nullptr;
    strPlace* bestPlace = nullptr;
    float best = 0;
    for (strPath& p : m_Paths)
        for (strPlace& q : p.Places) {
            const math::Vec3 d = q.vPosition - position;
            const float distance = d.x * d.x + d.y * d.y + d.z * d.z;
            if (!bestPlace || distance < best) {
                best = distance;
                bestPath = &p;
                bestPlace = &q;
            }
        }
    if (path) *path = bestPath;
    if (place) *place = bestPlace;
}

strPath* CPathMgr::FindPath(int32_t a, int32_t b, int32_t c) {
    for (strPath& p : m_Paths)
        if (p.iId[0] == a && p.iId[1] == b && p.iId[2] == c) return &p;
    return nullptr;
}

strPlace* CPathMgr::FindPlace(strPath* path, int32_t index) {
    if (!path) return nullptr;
    for (strPlace& q : path->Places)
        if (q.iIndex == index) return &q;
    return nullptr;
}

void CPathMgr::DrawDebug() {
    g_Renderer.RecordPass("CPathMgr::DrawDebug");
}
