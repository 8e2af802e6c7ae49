// Vector, matrix, quaternion and plane functions with Direct3D's conventions:
// left-handed coordinates, row vectors multiplied on the left (v x M), the
// translation in the fourth row, angles in radians. Every formula is the one
// the D3DX utility library publishes for its function of the same role, so
// that results (signs, axis orders, quaternion order, projection layouts)
// match what the engine's data and algorithms were made for.
//
// Style: functions take their inputs by const reference and return the result
// by value. The few that can fail (an inverse of a singular matrix, a line
// parallel to a plane) return bool and write through a trailing out pointer,
// leaving it untouched on failure. Nothing allocates; everything is safe to
// call from any thread.
//
// Degenerate inputs follow D3DX: normalising a zero vector, quaternion or plane
// gives zeros (never NaN); transforms with a divide by w divide even by 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/math/Types.h"

namespace math {

constexpr float kPi = 3.141592654f;
constexpr float kTwoPi = 2.0f * kPi;
constexpr float ToRadian(float degrees) {
    return degrees * (kPi / 180.0f);
}
constexpr float ToDegree(float radians) {
    return radians * (180.0f / kPi);
}

// ---- Vec2 ---------------------------------------------------------------
float Vec2Length(const Vec2& v);
float Vec2LengthSq(const Vec2& v);
float Vec2Dot(const Vec2& a, const Vec2& b);
Vec2 Vec2Normalize(const Vec2& v);

// ---- Vec3 ---------------------------------------------------------------
float Vec3Length(const Vec3& v);
float Vec3LengthSq(const Vec3& v);
float Vec3Distance(const Vec3& a, const Vec3& b);
float Vec3Dot(const Vec3& a, const Vec3& b);
Vec3 Vec3Cross(const Vec3& a, const Vec3& b);
// v / |v|; the zero vector stays the zero vector.
Vec3 Vec3Normalize(const Vec3& v);
// a + (b - a) t
Vec3 Vec3Lerp(const Vec3& a, const Vec3& b, float t);
Vec3 Vec3Minimize(const Vec3& a, const Vec3& b);
Vec3 Vec3Maximize(const Vec3& a, const Vec3& b);
// (x, y, z, 1) x M, then divided by the resulting w.
Vec3 Vec3TransformCoord(const Vec3& v, const Matrix& m);
// (x, y, z, 0) x M: rotation and scale only, no translation.
Vec3 Vec3TransformNormal(const Vec3& v, const Matrix& m);
// (x, y, z, 1) x M, all four components, no divide.
Vec4 Vec3Transform(const Vec3& v, const Matrix& m);
// Vec3TransformCoord over an array. Strides are in bytes between consecutive
// vectors (vertex buffers interleave other fields); out may equal in.
void Vec3TransformCoordArray(Vec3* out, std::size_t outStride, const Vec3* in, std::size_t inStride,
                             const Matrix& m, std::size_t count);
void Vec3TransformNormalArray(Vec3* out, std::size_t outStride, const Vec3* in, std::size_t inStride,
                              const Matrix& m, std::size_t count);

// ---- Vec3d --------------------------------------------------------------
constexpr double Vec3dDot(const Vec3d& a, const Vec3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
constexpr Vec3d Vec3dCross(const Vec3d& a, const Vec3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// ---- Vec4 ---------------------------------------------------------------
float Vec4Length(const Vec4& v);
float Vec4LengthSq(const Vec4& v);
float Vec4Dot(const Vec4& a, const Vec4& b);
Vec4 Vec4Normalize(const Vec4& v);
// v x M (four components).
Vec4 Vec4Transform(const Vec4& v, const Matrix& m);

// ---- Matrix -------------------------------------------------------------
Matrix MatrixIdentity();
bool MatrixIsIdentity(const Matrix& m);
// a x b: applying the result equals applying a, then b.
Matrix MatrixMultiply(const Matrix& a, const Matrix& b);
Matrix MatrixTranspose(const Matrix& m);
float MatrixDeterminant(const Matrix& m);
// False (out untouched) when the determinant is exactly 0. The determinant is
// written when its pointer is given, also on failure.
bool MatrixInverse(const Matrix& m, Matrix* out, float* determinant = nullptr);
Matrix MatrixTranslation(float x, float y, float z);
Matrix MatrixScaling(float x, float y, float z);
// Rotations: positive angles turn clockwise looking along the axis towards the
// origin (left-handed); RotationY(pi/2) takes +z to +x.
Matrix MatrixRotationX(float angle);
Matrix MatrixRotationY(float angle);
Matrix MatrixRotationZ(float angle);
// The axis is normalised first.
Matrix MatrixRotationAxis(const Vec3& axis, float angle);
// The rotation of a unit quaternion (upper 3 x 3; the rest identity).
Matrix MatrixRotationQuaternion(const Quat& q);
// Roll about z first, then pitch about x, then yaw about y.
Matrix MatrixRotationYawPitchRoll(float yaw, float pitch, float roll);
// Scaling about a centre in a rotated frame, then rotation about a centre, then
// translation. A null argument leaves its step out (no centre, no scaling
// rotation, unit scale, no rotation, no translation):
//   Msc^-1 Msr^-1 Ms Msr Msc Mrc^-1 Mr Mrc Mt
Matrix MatrixTransformation(const Vec3* scalingCenter, const Quat* scalingRotation, const Vec3* scaling,
                            const Vec3* rotationCenter, const Quat* rotation, const Vec3* translation);
// The common form: scale, then rotate, then translate.
Matrix MatrixTransformation(const Vec3& scaling, const Quat& rotation, const Vec3& translation);
// View matrix looking from eye at a point, left-handed.
Matrix MatrixLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up);
// Left-handed perspective projection, depth 0 at zn to 1 at zf, w = view z.
Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zn, float zf);
Matrix MatrixPerspectiveLH(float width, float height, float zn, float zf);
// Left-handed orthographic projection, depth 0 at zn to 1 at zf.
Matrix MatrixOrthoLH(float width, float height, float zn, float zf);
Matrix MatrixOrthoOffCenterLH(float left, float right, float bottom, float top, float zn, float zf);
// Mirror through a plane (normalised first).
Matrix MatrixReflect(const Plane& plane);

// ---- Quaternion -----------------------------------------------------------
Quat QuatIdentity();
bool QuatIsIdentity(const Quat& q);
float QuatLength(const Quat& q);
float QuatLengthSq(const Quat& q);
float QuatDot(const Quat& a, const Quat& b);
// q / |q|; a zero quaternion stays zero.
Quat QuatNormalize(const Quat& q);
Quat QuatConjugate(const Quat& q);
// Conjugate over the squared length.
Quat QuatInverse(const Quat& q);
// The rotation of a followed by the rotation of b (Hamilton product b a).
Quat QuatMultiply(const Quat& a, const Quat& b);
// The axis is normalised first.
Quat QuatRotationAxis(const Vec3& axis, float angle);
// The same rotation as MatrixRotationYawPitchRoll.
Quat QuatRotationYawPitchRoll(float yaw, float pitch, float roll);
// The rotation of the matrix's upper 3 x 3 part (other elements ignored).
Quat QuatRotationMatrix(const Matrix& m);
// Axis = (x, y, z) as stored, angle = 2 acos(w).
void QuatToAxisAngle(const Quat& q, Vec3* axis, float* angle);
// Spherical interpolation along the shorter arc; linear when the two are
// closer than 1 - 0.001 in dot product. t = 0 gives a, t = 1 gives b (or -b).
Quat QuatSlerp(const Quat& a, const Quat& b, float t);

// ---- Plane --------------------------------------------------------------
// Through three points, normal (p2 - p1) x (p3 - p1) normalised.
Plane PlaneFromPoints(const Vec3& p1, const Vec3& p2, const Vec3& p3);
Plane PlaneFromPointNormal(const Vec3& point, const Vec3& normal);
// Divides by the normal's length; a zero normal gives a zero plane.
Plane PlaneNormalize(const Plane& p);
// a x + b y + c z + d
float PlaneDotCoord(const Plane& p, const Vec3& v);
// a x + b y + c z
float PlaneDotNormal(const Plane& p, const Vec3& v);
// a x + b y + c z + d w
float PlaneDot(const Plane& p, const Vec4& v);
// The plane as a row vector times M; pass the inverse transpose of a point
// transform to move a plane with it.
Plane PlaneTransform(const Plane& p, const Matrix& m);
// The point where the line through p1 and p2 meets the plane; false (out
// untouched) when the line is parallel to it. Not limited to the segment.
bool PlaneIntersectLine(const Plane& p, const Vec3& p1, const Vec3& p2, Vec3* out);

// ---- Half floats -----------------------------------------------------------
// The value of an IEEE 754 binary16 number (sign bit, 5 exponent bits, 10
// mantissa bits), as the 16-bit float render targets store their channels:
// exact for every pattern, subnormals, signed zeros, infinities and NaN
// included.
float HalfToFloat(uint16_t half);

inline Matrix operator*(const Matrix& a, const Matrix& b) {
    return MatrixMultiply(a, b);
}

} // namespace math
