#include "render/RayTest.h"

#include <cmath>

#include "app/Records.h"
#include "physics/IntersectSegment.h"
#include "world/Filters.h"
#include "world/ObjectRecord.h"

uint32_t RayTestWorld(math::Vec3* start, math::Vec3* end, ObjectRecord* excluded, int32_t skipKind4,
                      ObjectRecord* excluded2, uint8_t skipKinds2And32, uint8_t skipKind16,
                      uint8_t firstSwitch) {
    if (!start || !end) return 0;
    const float manhattan =
        std::fabs(start->x - end->x) + std::fabs(start->y - end->y) + std::fabs(start->z - end->z);
    if (manhattan < 1.0f) return 0;

    g_RayTestFilter.hExcluded1 = excluded;
    g_RayTestFilter.hExcluded2 = excluded2;
    g_RayTestFilter.bSkipKind4 = skipKind4 != 0;
    g_RayTestFilter.bSkipKinds2And32 = skipKinds2And32 != 0;
    g_RayTestFilter.bSkipKind16 = skipKind16 != 0;
    SegmentQuery query;
    query.pStart = start;
    query.pEnd = end;
    query.pFilter = ObjectFilter16;
    query.pFilterArgument = nullptr;
    query.bSeeThrough = firstSwitch;
    query.bCoarse = 0;
    query.fCoarseDistance = 5000.0f;
    query.bIncludeExcluded = 0;
    query.bStickMarkers = 0;
    SegmentHit hit;
    if (!g_IntersectSegment.Test(query, &hit) || !hit.hObject) return 0;
    *start = hit.vPoint;
    *end = hit.vNormal;
    return hit.hObject->dwType == OT_MESH ? 1 : 2;
}
