#include "physics/MovePlayerSlide.h"

EMovePlayerSlide g_MovePlayerSlide;

bool EMovePlayerSlide::IsPositionFree(ObjectRecord*, const math::Vec3&) const {
    return true;
}
