#include "world/Filters.h"

#include "world/ObjectAction.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"

RayTestFilterSettings g_RayTestFilter;

namespace {

constexpr uint32_t kDeadOrHidden = 0x2000;
constexpr uint32_t kVisible = 1;
constexpr uint32_t kFlag2Excluded = 0x20000000;

bool IsPlayer(const ObjectRecord* h) {
    return h == TheWorldHooks().PlayerObject();
}
bool DeadOrHidden(const ObjectRecord* h) {
    return (h->dwFlags & kDeadOrHidden) != 0;
}
bool Kind(const ObjectRecord* h, uint32_t kind) {
    return h->dwKindFlags == kind;
}
// The ladder byte of the action block.
bool PassThrough(const ObjectRecord* h) {
    return h->pAction && (h->pAction->dwLadder & 0xFF) != 0;
}
// The action-on-look byte.
bool PassThrough2(const ObjectRecord* h) {
    return h->pAction && h->pAction->bActionOnLook != 0;
}
bool IsMeshOrSkin(const ObjectRecord* h) {
    return h->dwType == OT_MESH || h->dwType == OT_SKINMESH;
}

} // namespace

bool ObjectFilter1(ObjectRecord*, ObjectRecord*) {
    return false;
}

bool ObjectFilter2(ObjectRecord* c, ObjectRecord*) {
    return c && !IsPlayer(c) && !Kind(c, 128) && !PassThrough(c) && !DeadOrHidden(c);
}

bool ObjectFilter3(ObjectRecord* c, ObjectRecord* excluded) {
    return ObjectFilter2(c, excluded) && !PassThrough2(c);
}

bool ObjectFilter4(ObjectRecord* c, ObjectRecord* excluded) {
    return c && !IsPlayer(c) && c != excluded && c->dwType != OT_SKINMESH && !Kind(c, 8) && !PassThrough(c) &&
           !DeadOrHidden(c);
}

bool ObjectFilter5(ObjectRecord* c, ObjectRecord* excluded) {
    return c && !IsPlayer(c) && c != excluded && !Kind(c, 16) && !Kind(c, 32) && !Kind(c, 8) &&
           !PassThrough(c) && !DeadOrHidden(c);
}

bool ObjectFilter6(ObjectRecord* c, ObjectRecord* excluded) {
    return c && c != excluded && !IsPlayer(c) && !DeadOrHidden(c) && !(c->dwFlags2 & kFlag2Excluded) &&
           (c->dwFlags & kVisible) && c->bWorldObject;
}

bool ObjectFilter7(ObjectRecord* c, ObjectRecord* excluded) {
    return c && c != excluded && c->dwType != OT_SKINMESH && !IsPlayer(c) && !DeadOrHidden(c) &&
           c->bWorldObject;
}

bool ObjectFilter8(ObjectRecord* c, ObjectRecord* excluded) {
    return c && c != excluded && !DeadOrHidden(c) && !PassThrough(c);
}

bool ObjectFilter9(ObjectRecord* c, ObjectRecord* excluded) {
    return ObjectFilter8(c, excluded) && !PassThrough2(c);
}

bool ObjectFilter10(ObjectRecord* c, ObjectRecord* excluded) {
    return c && c != excluded && !DeadOrHidden(c);
}

bool ObjectFilter11(ObjectRecord* c, ObjectRecord* excluded) {
    return c && !IsPlayer(c) && c != excluded && !DeadOrHidden(c) && IsMeshOrSkin(c) && !PassThrough(c);
}

bool ObjectFilter12(ObjectRecord* c, ObjectRecord* excluded) {
    return ObjectFilter11(c, excluded) && c->dwRigidBody == 0;
}

bool ObjectFilter13(ObjectRecord* c, ObjectRecord* excluded) {
    return ObjectFilter12(c, excluded) && !Kind(c, 16);
}

bool ObjectFilter14(ObjectRecord* c, ObjectRecord* excluded) {
    return ObjectFilter11(c, excluded) && !PassThrough2(c);
}

bool ObjectFilter15(ObjectRecord* c, ObjectRecord* excluded) {
    return c && !IsPlayer(c) && !DeadOrHidden(c) && c != excluded && c->dwType == OT_MESH && !Kind(c, 2) &&
           !Kind(c, 32) && !(c->dwKindFlags & 8) && !PassThrough(c);
}

bool ObjectFilter16(ObjectRecord* c, ObjectRecord*) {
    const RayTestFilterSettings& s = g_RayTestFilter;
    if (!c || c == s.hExcluded1 || c == s.hExcluded2 || DeadOrHidden(c)) return false;
    if (s.bSkipKind4 && Kind(c, 4)) return false;
    if (s.bSkipKinds2And32 && (Kind(c, 2) || Kind(c, 32))) return false;
    if (s.bSkipKind16 && Kind(c, 16)) return false;
    return !PassThrough(c) && !c->bIgnoresHits;
}
