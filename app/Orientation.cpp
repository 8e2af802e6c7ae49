#include "app/Orientation.h"

#include <bit>

#include "app/FileHelpers.h"
#include "app/Geometry.h"
#include "platform/math/Math.h"

namespace {

// Divide by the length; a zero vector stays zero.
math::Vec3 NormalizeAxis(const math::Vec3& v) {
    return math::Vec3Normalize(v);
}

// right = hint x forward unless the two are parallel (no right axis then):
// the hint is replaced by world up, or for a vertical forward by the
// horizontal z axis on the far side, which keeps right = +x as in the limit of
// tilting a look along +z up or down.
math::Vec3 RightAxis(const math::Vec3& forward, const math::Vec3& hint) {
    const math::Vec3 right = math::Vec3Cross(hint, forward);
    const float scale = math::Vec3LengthSq(hint) * math::Vec3LengthSq(forward);
    if (math::Vec3LengthSq(right) > 1e-12f * scale) return right;
    const float ax = forward.x < 0 ? -forward.x : forward.x;
    const float ay = forward.y < 0 ? -forward.y : forward.y;
    const float az = forward.z < 0 ? -forward.z : forward.z;
    const bool vertical = ay >= ax && ay >= az;
    const math::Vec3 fallback =
        vertical ? math::Vec3(0, 0, forward.y > 0 ? -1.0f : 1.0f) : math::Vec3(0, 1, 0);
    return math::Vec3Cross(fallback, forward);
}

} // namespace

orientation::orientation() {
    Rebuild();
}

void orientation::InitDirection(const math::Vec3* direction) {
    quaternion = math::QuatIdentity();
    Rebuild();
    SetDirection(direction);
}

void orientation::InitYawPitchRoll(float yaw, float pitch, float roll) {
    quaternion = math::QuatIdentity();
    Rebuild();
    SetYawPitchRoll(yaw, pitch, roll);
}

void orientation::Rebuild() {
    matrix = math::MatrixRotationQuaternion(quaternion);
    forward = NormalizeAxis({matrix.m[2][0], matrix.m[2][1], matrix.m[2][2]});
    right = NormalizeAxis({matrix.m[0][0], matrix.m[0][1], matrix.m[0][2]});
    up = NormalizeAxis({matrix.m[1][0], matrix.m[1][1], matrix.m[1][2]});
}

void orientation::SetQuaternion(const math::Quat* q) {
    if (!q) return;
    quaternion = *q;
    Rebuild();
}

void orientation::SetQuaternion(const orientation* o) {
    if (!o) return;
    SetQuaternion(&o->quaternion);
}

void orientation::SetYawPitchRoll(float yaw, float pitch, float roll) {
    quaternion = math::QuatRotationYawPitchRoll(yaw, pitch, roll);
    Rebuild();
}

void orientation::Multiply(const math::Quat* q) {
    if (!q) return;
    quaternion = math::QuatMultiply(quaternion, *q);
    Rebuild();
}

void orientation::Rotate(const math::Vec3* axis, float angle) {
    if (!axis) return;
    const math::Quat r = math::QuatRotationAxis(*axis, angle); // read before the axes change
    quaternion = math::QuatMultiply(quaternion, r);
    Rebuild();
}

void orientation::Slerp(const orientation* target, float t) {
    if (!target) return;
    Slerp(&target->quaternion, t);
}

void orientation::Slerp(const math::Quat* target, float t) {
    if (!target) return;
    quaternion = math::QuatSlerp(quaternion, *target, t);
    Rebuild();
}

void orientation::SetDirection(const math::Vec3* direction) {
    static constexpr math::Vec3 worldUp(0, 1, 0);
    SetDirectionAndUp(direction, &worldUp);
}

void orientation::LookAxes(const math::Vec3& direction, math::Vec3* right, math::Vec3* up) {
    static constexpr math::Vec3 worldUp(0, 1, 0);
    const math::Vec3 r = RightAxis(direction, worldUp);
    *right = NormalizeAxis(r);
    *up = NormalizeAxis(math::Vec3Cross(direction, r));
}

void orientation::SetDirectionAndUp(const math::Vec3* direction, const math::Vec3* upHint) {
    if (!direction || !upHint) return;
    const math::Vec3 f = *direction;
    const math::Vec3 r = RightAxis(f, *upHint);
    const math::Vec3 u = math::Vec3Cross(f, r);
    forward = NormalizeAxis(f);
    right = NormalizeAxis(r);
    up = NormalizeAxis(u);
    // Rows are the axes; the fourth row and column those of the identity, so
    // the matrix is a complete rotation without waiting for a Rebuild.
    matrix = math::Matrix();
    const math::Vec3* rows[3] = {&right, &up, &forward};
    for (int i = 0; i < 3; ++i) {
        matrix.m[i][0] = rows[i]->x;
        matrix.m[i][1] = rows[i]->y;
        matrix.m[i][2] = rows[i]->z;
    }
    quaternion = math::QuatRotationMatrix(matrix);
}

void orientation::GetAngles(float* pitch, float* yaw, float* roll) const {
    if (!pitch || !yaw || !roll) return;
    MatrixToAngles(matrix, pitch, yaw, roll);
}

// ---- Save stream -----------------------------------------------------------------

static_assert(std::endian::native == std::endian::little,
              "the save stream writes floats as they lie in memory");

// 116 bytes: quaternion (16), matrix (64), forward, right, up (12 each).
void FileWriteOrientation(std::FILE* f, const orientation* o) {
    if (!f || !o) return;
    FileWriteBytes(f, &o->quaternion, sizeof o->quaternion);
    FileWriteBytes(f, &o->matrix, sizeof o->matrix);
    FileWriteVector(f, o->forward.data());
    FileWriteVector(f, o->right.data());
    FileWriteVector(f, o->up.data());
}

// Read back as stored, without a rebuild.
void FileReadOrientation(std::FILE* f, orientation* o) {
    if (!f || !o) return;
    FileReadBytes(f, &o->quaternion, sizeof o->quaternion);
    FileReadBytes(f, &o->matrix, sizeof o->matrix);
    FileReadVector(f, o->forward.data());
    FileReadVector(f, o->right.data());
    FileReadVector(f, o->up.data());
}
