// The player's collide-and-slide movement, `EMovePlayerSlide` (global
// g_MovePlayerSlide). Only the free-space test that the OBE camera's
// bounding box asks is here until the collision subsystem's face data and
// the slide movement are built: with no world faces registered there is
// nothing to meet, so every position is free.
#pragma once

#include "platform/math/Types.h"

struct ObjectRecord;

class EMovePlayerSlide {
  public:
    virtual ~EMovePlayerSlide() = default;

    // True when the object's bounding box, grown by 10, placed at the
    // position meets no world geometry.
    bool IsPositionFree(ObjectRecord* h, const math::Vec3& position) const;
};

extern EMovePlayerSlide g_MovePlayerSlide;
