// The rotation value type of the whole program. One rotation is kept three
// times over, as a quaternion, as its 4 x 4 matrix (row vectors, left-handed,
// the rows are the rotated axes) and as the three unit axes forward (row 2),
// right (row 0) and up (row 1), so that readers take whichever form they need.
// Every setter leaves the three forms in agreement before it returns: the
// quaternion setters rebuild matrix and axes from the quaternion, the
// direction setters build axes and matrix first and take the quaternion from
// the matrix.
//
// The type is copied by value and saved as 116 bytes in field order
// (FileWriteOrientation / FileReadOrientation). Setters taking a pointer
// ignore a null pointer; no operation renormalises the quaternion (callers
// hand in unit quaternions and axes).
#pragma once

#include "platform/math/Types.h"

struct orientation {
    math::Quat quaternion; // x, y, z, w
    math::Matrix matrix;
    math::Vec3 forward{0, 0, 1};
    math::Vec3 right{1, 0, 0};
    math::Vec3 up{0, 1, 0};

    // The identity.
    orientation();

    void InitDirection(const math::Vec3* direction);
    void InitDirection(const math::Vec3& direction) { InitDirection(&direction); }
    void InitYawPitchRoll(float yaw, float pitch, float roll);

    // Matrix from the quaternion; axes from its rows 2, 0 and 1, normalised.
    void Rebuild();

    void SetQuaternion(const math::Quat* q);
    void SetQuaternion(const math::Quat& q) { SetQuaternion(&q); }
    void SetQuaternion(const orientation* o);
    void SetQuaternion(const orientation& o) { SetQuaternion(&o); }
    void SetYawPitchRoll(float yaw, float pitch, float roll);

    // This rotation followed by q.
    void Multiply(const math::Quat* q);
    void Multiply(const math::Quat& q) { Multiply(&q); }
    // This rotation followed by the turn about the axis by angle radians. The
    // axis is read before anything changes, so one of this orientation's own
    // axes may be passed.
    void Rotate(const math::Vec3* axis, float angle);
    void Rotate(const math::Vec3& axis, float angle) { Rotate(&axis, angle); }
    // Moves towards the target rotation by t (0 stays, 1 arrives).
    void Slerp(const orientation* target, float t);
    void Slerp(const orientation& target, float t) { Slerp(&target, t); }
    void Slerp(const math::Quat* target, float t);
    void Slerp(const math::Quat& target, float t) { Slerp(&target, t); }

    // Looks along the direction with world up (0, 1, 0). A direction parallel
    // to world up has no horizontal right axis: then the horizontal reference
    // is taken that keeps right = +x (a look straight up or down is the limit
    // of tilting a look along +z).
    void SetDirection(const math::Vec3* direction);
    void SetDirection(const math::Vec3& direction) { SetDirection(&direction); }
    // As SetDirection with an up hint in place of world up; a hint parallel to
    // the direction falls back as SetDirection's world up does.
    void SetDirectionAndUp(const math::Vec3* direction, const math::Vec3* up);
    void SetDirectionAndUp(const math::Vec3& direction, const math::Vec3& up) {
        SetDirectionAndUp(&direction, &up);
    }
    // The right and up axes SetDirection gives for the direction, without
    // building the rest (per-frame readers that need only these two).
    static void LookAxes(const math::Vec3& direction, math::Vec3* right, math::Vec3* up);

    // Pitch, yaw and roll of the matrix in radians, each 0..2 pi
    // (MatrixToAngles); nothing unless all three outputs are given.
    void GetAngles(float* pitch, float* yaw, float* roll) const;
};

static_assert(sizeof(orientation) == 116, "an orientation is saved as 116 bytes of floats");
