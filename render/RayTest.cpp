#include "render/RayTest.h"

#include "app/Records.h"
#include "physics/IntersectSegment.h"
#include "world/ObjectRecord.h"

namespace {
// The filter receives only the candidate and one argument, so the switches
// of the call are kept here; they stay set until the next call.
ObjectRecord* g_pRayExcluded = nullptr;
ObjectRecord* g_pRayExcluded2 = nullptr;
bool g_bRaySkipKind4 = false;
bool g_bRaySkipKinds2And32 = false;
bool g_bRaySkipKind16 = false;
} // namespace

bool RayTestFilter(ObjectRecord* h, ObjectRecord*) {
    if (!h || h == g_pRayExcluded || h == g_pRayExcluded2) return false;
    if (g_bRaySkipKind4 && h->dwKindFlags == 4) return false;
    if (g_bRaySkipKinds2And32 && (h->dwKindFlags == 2 || h->dwKindFlags == 32)) return false;
    if (g_bRaySkipKind16 && h->dwKindFlags == 16) return false;
    return true;
}

uint32_t RayTestWorld(math::Vec3* start, math::Vec3* end, ObjectRecord* excluded, int32_t skipKind4,
                      ObjectRecord* excluded2, uint8_t skipKinds2And32, uint8_t skipKind16,
                      uint8_t firstSwitch) {
    if (!start || !end) return 0;
    g_pRayExcluded = excluded;
    g_pRayExcluded2 = excluded2;
    g_bRaySkipKind4 = skipKind4 != 0;
    g_bRaySkipKinds2And32 = skipKinds2And32 != 0;
    g_bRaySkipKind16 = skipKind16 != 0;
    SegmentQuery query;
    query.pStart = start;
    query.pEnd = end;
    query.pFilter = RayTestFilter;
    query.pFilterArgument = nullptr;
    query.bSeeThrough = firstSwitch;
    query.bCoarse = 0;
    query.fCoarseDistance = 5000.0f;
    query.bIncludeExcluded = 0;
    query.bStickMarkers = 0;
    SegmentHit hit;
    if (!g_IntersectSegment.Test(query, &hit)) return 0;
    *start = hit.vPoint;
    *end = hit.vNormal;
    return hit.hObject && hit.hObject->dwType == OT_MESH ? 1 : 2;
}
