// Object filters of the world queries (ray tests, segment tests, sweeps): a
// filter gets a candidate record and usually one excluded record and answers
// whether the candidate takes part. These are the whole set; callers pass
// them by address (ObjectFilterFn). A null candidate is always rejected.
//
// Terms: the player is the player's engine object; dead or hidden is flags
// value 0x2000; visible flags value 1; a kind is the kind-bits word compared
// whole unless a bit is named; the pass-through bytes are the action block's
// ladder byte and its action-on-look byte.
#pragma once

#include <cstdint>

struct ObjectRecord;

bool ObjectFilter1(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter2(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter3(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter4(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter5(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter6(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter7(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter8(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter9(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter10(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter11(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter12(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter13(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter14(ObjectRecord* candidate, ObjectRecord* excluded);
bool ObjectFilter15(ObjectRecord* candidate, ObjectRecord* excluded);
// The world ray test's filter: its excluded objects and kind switches are
// the globals below, set by the ray test before it runs (the second argument
// is not read).
bool ObjectFilter16(ObjectRecord* candidate, ObjectRecord* unused);

struct RayTestFilterSettings {
    ObjectRecord* hExcluded1 = nullptr;
    ObjectRecord* hExcluded2 = nullptr;
    bool bSkipKind4 = false;
    bool bSkipKinds2And32 = false;
    bool bSkipKind16 = false;
};
extern RayTestFilterSettings g_RayTestFilter;
