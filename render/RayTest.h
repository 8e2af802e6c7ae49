// The world ray test: the general line-of-hit query over the world's objects,
// a wrapper of the segment test with one fixed object filter (ObjectFilter16,
// the ray test's filter) whose switches are passed as arguments.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

struct ObjectRecord;

// Tests the segment start..end. Nothing is tested when the two points differ
// by less than 1.0 summed over the axes. No hit: 0, start and end unchanged.
// A hit: start = the hit point, end = the surface normal there; 1 for a mesh
// object, 2 for any other type. The excluded objects are never hit; the kind
// switches leave out objects whose kind word equals 4 (skipKind4), 2 or 32
// (skipKinds2And32) or 16 (skipKind16); firstSwitch tests the see-through
// table. The switches stay set in g_RayTestFilter until the next call.
uint32_t RayTestWorld(math::Vec3* start, math::Vec3* end, ObjectRecord* excluded, int32_t skipKind4,
                      ObjectRecord* excluded2, uint8_t skipKinds2And32, uint8_t skipKind16,
                      uint8_t firstSwitch);
