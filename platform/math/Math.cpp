#include "platform/math/Math.h"

#include <cmath>
#include <cstring>

namespace math {

// ---- Vec2 ---------------------------------------------------------------

float Vec2LengthSq(const Vec2& v) {
    return v.x * v.x + v.y * v.y;
}
float Vec2Length(const Vec2& v) {
    return std::sqrt(Vec2LengthSq(v));
}
float Vec2Dot(const Vec2& a, const Vec2& b) {
    return a.x * b.x + a.y * b.y;
}

Vec2 Vec2Normalize(const Vec2& v) {
    const float len = Vec2Length(v);
    if (len == 0.0f) return {};
    return {v.x / len, v.y / len};
}

// ---- Vec3 ---------------------------------------------------------------

float Vec3LengthSq(const Vec3& v) {
    return v.x * v.x + v.y * v.y + v.z * v.z;
}
float Vec3Length(const Vec3& v) {
    return std::sqrt(Vec3LengthSq(v));
}
float Vec3Distance(const Vec3& a, const Vec3& b) {
    return Vec3Length(a - b);
}
float Vec3Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 Vec3Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vec3 Vec3Normalize(const Vec3& v) {
    const float len = Vec3Length(v);
    if (len == 0.0f) return {};
    return {v.x / len, v.y / len, v.z / len};
}

Vec3 Vec3Lerp(const Vec3& a, const Vec3& b, float t) {
    return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
}

Vec3 Vec3Minimize(const Vec3& a, const Vec3& b) {
    return {a.x < b.x ? a.x : b.x, a.y < b.y ? a.y : b.y, a.z < b.z ? a.z : b.z};
}

Vec3 Vec3Maximize(const Vec3& a, const Vec3& b) {
    return {a.x > b.x ? a.x : b.x, a.y > b.y ? a.y : b.y, a.z > b.z ? a.z : b.z};
}

Vec4 Vec3Transform(const Vec3& v, const Matrix& m) {
    const auto& e = m.m;
    return {v.x * e[0][0] + v.y * e[1][0] + v.z * e[2][0] + e[3][0],
            v.x * e[0][1] + v.y * e[1][1] + v.z * e[2][1] + e[3][1],
            v.x * e[0][2] + v.y * e[1][2] + v.z * e[2][2] + e[3][2],
            v.x * e[0][3] + v.y * e[1][3] + v.z * e[2][3] + e[3][3]};
}

Vec3 Vec3TransformCoord(const Vec3& v, const Matrix& m) {
    const Vec4 r = Vec3Transform(v, m);
    return {r.x / r.w, r.y / r.w, r.z / r.w};
}

Vec3 Vec3TransformNormal(const Vec3& v, const Matrix& m) {
    const auto& e = m.m;
    return {v.x * e[0][0] + v.y * e[1][0] + v.z * e[2][0], v.x * e[0][1] + v.y * e[1][1] + v.z * e[2][1],
            v.x * e[0][2] + v.y * e[1][2] + v.z * e[2][2]};
}

namespace {

// Strided access into interleaved vertex data. Vertices are read and written
// through memcpy: a stride need not keep Vec3 alignment.
template <typename Fn>
void TransformArray(Vec3* out, std::size_t outStride, const Vec3* in, std::size_t inStride, std::size_t count,
                    Fn fn) {
    auto* dst = reinterpret_cast<unsigned char*>(out);
    const auto* src = reinterpret_cast<const unsigned char*>(in);
    for (std::size_t i = 0; i < count; ++i, dst += outStride, src += inStride) {
        Vec3 v;
        std::memcpy(&v, src, sizeof v);
        v = fn(v);
        std::memcpy(dst, &v, sizeof v);
    }
}

} // namespace

void Vec3TransformCoordArray(Vec3* out, std::size_t outStride, const Vec3* in, std::size_t inStride,
                             const Matrix& m, std::size_t count) {
    TransformArray(out, outStride, in, inStride, count,
                   [&m](const Vec3& v) { return Vec3TransformCoord(v, m); });
}

void Vec3TransformNormalArray(Vec3* out, std::size_t outStride, const Vec3* in, std::size_t inStride,
                              const Matrix& m, std::size_t count) {
    TransformArray(out, outStride, in, inStride, count,
                   [&m](const Vec3& v) { return Vec3TransformNormal(v, m); });
}

// ---- Vec4 ---------------------------------------------------------------

float Vec4LengthSq(const Vec4& v) {
    return v.x * v.x + v.y * v.y + v.z * v.z + v.w * v.w;
}
float Vec4Length(const Vec4& v) {
    return std::sqrt(Vec4LengthSq(v));
}
float Vec4Dot(const Vec4& a, const Vec4& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

Vec4 Vec4Normalize(const Vec4& v) {
    const float len = Vec4Length(v);
    if (len == 0.0f) return {};
    return {v.x / len, v.y / len, v.z / len, v.w / len};
}

Vec4 Vec4Transform(const Vec4& v, const Matrix& m) {
    const auto& e = m.m;
    return {v.x * e[0][0] + v.y * e[1][0] + v.z * e[2][0] + v.w * e[3][0],
            v.x * e[0][1] + v.y * e[1][1] + v.z * e[2][1] + v.w * e[3][1],
            v.x * e[0][2] + v.y * e[1][2] + v.z * e[2][2] + v.w * e[3][2],
            v.x * e[0][3] + v.y * e[1][3] + v.z * e[2][3] + v.w * e[3][3]};
}

// ---- Matrix -------------------------------------------------------------

Matrix MatrixIdentity() {
    return Matrix();
}

bool MatrixIsIdentity(const Matrix& m) {
    return m == Matrix();
}

Matrix MatrixMultiply(const Matrix& a, const Matrix& b) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] =
                a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

Matrix MatrixTranspose(const Matrix& m) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m.m[j][i];
    return r;
}

namespace {

// The 2 x 2 minors of the lower two rows and of the upper two rows, shared by
// the determinant and the inverse (Laplace expansion by pairs of rows).
struct PairMinors {
    float lo[6], hi[6];
    explicit PairMinors(const Matrix& m) {
        const auto& e = m.m;
        hi[0] = e[0][0] * e[1][1] - e[0][1] * e[1][0];
        hi[1] = e[0][0] * e[1][2] - e[0][2] * e[1][0];
        hi[2] = e[0][0] * e[1][3] - e[0][3] * e[1][0];
        hi[3] = e[0][1] * e[1][2] - e[0][2] * e[1][1];
        hi[4] = e[0][1] * e[1][3] - e[0][3] * e[1][1];
        hi[5] = e[0][2] * e[1][3] - e[0][3] * e[1][2];
        lo[0] = e[2][0] * e[3][1] - e[2][1] * e[3][0];
        lo[1] = e[2][0] * e[3][2] - e[2][2] * e[3][0];
        lo[2] = e[2][0] * e[3][3] - e[2][3] * e[3][0];
        lo[3] = e[2][1] * e[3][2] - e[2][2] * e[3][1];
        lo[4] = e[2][1] * e[3][3] - e[2][3] * e[3][1];
        lo[5] = e[2][2] * e[3][3] - e[2][3] * e[3][2];
    }
    float Determinant() const {
        return hi[0] * lo[5] - hi[1] * lo[4] + hi[2] * lo[3] + hi[3] * lo[2] - hi[4] * lo[1] + hi[5] * lo[0];
    }
};

} // namespace

float MatrixDeterminant(const Matrix& m) {
    return PairMinors(m).Determinant();
}

bool MatrixInverse(const Matrix& m, Matrix* out, float* determinant) {
    const PairMinors p(m);
    const float det = p.Determinant();
    if (determinant) *determinant = det;
    if (det == 0.0f || !out) return det != 0.0f;
    const auto& e = m.m;
    const float* s = p.hi;
    const float* c = p.lo;
    const float inv = 1.0f / det;
    Matrix r;
    r.m[0][0] = (e[1][1] * c[5] - e[1][2] * c[4] + e[1][3] * c[3]) * inv;
    r.m[0][1] = (-e[0][1] * c[5] + e[0][2] * c[4] - e[0][3] * c[3]) * inv;
    r.m[0][2] = (e[3][1] * s[5] - e[3][2] * s[4] + e[3][3] * s[3]) * inv;
    r.m[0][3] = (-e[2][1] * s[5] + e[2][2] * s[4] - e[2][3] * s[3]) * inv;
    r.m[1][0] = (-e[1][0] * c[5] + e[1][2] * c[2] - e[1][3] * c[1]) * inv;
    r.m[1][1] = (e[0][0] * c[5] - e[0][2] * c[2] + e[0][3] * c[1]) * inv;
    r.m[1][2] = (-e[3][0] * s[5] + e[3][2] * s[2] - e[3][3] * s[1]) * inv;
    r.m[1][3] = (e[2][0] * s[5] - e[2][2] * s[2] + e[2][3] * s[1]) * inv;
    r.m[2][0] = (e[1][0] * c[4] - e[1][1] * c[2] + e[1][3] * c[0]) * inv;
    r.m[2][1] = (-e[0][0] * c[4] + e[0][1] * c[2] - e[0][3] * c[0]) * inv;
    r.m[2][2] = (e[3][0] * s[4] - e[3][1] * s[2] + e[3][3] * s[0]) * inv;
    r.m[2][3] = (-e[2][0] * s[4] + e[2][1] * s[2] - e[2][3] * s[0]) * inv;
    r.m[3][0] = (-e[1][0] * c[3] + e[1][1] * c[1] - e[1][2] * c[0]) * inv;
    r.m[3][1] = (e[0][0] * c[3] - e[0][1] * c[1] + e[0][2] * c[0]) * inv;
    r.m[3][2] = (-e[3][0] * s[3] + e[3][1] * s[1] - e[3][2] * s[0]) * inv;
    r.m[3][3] = (e[2][0] * s[3] - e[2][1] * s[1] + e[2][2] * s[0]) * inv;
    *out = r;
    return true;
}

Matrix MatrixTranslation(float x, float y, float z) {
    Matrix r;
    r.m[3][0] = x;
    r.m[3][1] = y;
    r.m[3][2] = z;
    return r;
}

Matrix MatrixScaling(float x, float y, float z) {
    Matrix r;
    r.m[0][0] = x;
    r.m[1][1] = y;
    r.m[2][2] = z;
    return r;
}

Matrix MatrixRotationX(float angle) {
    const float s = std::sin(angle), c = std::cos(angle);
    Matrix r;
    r.m[1][1] = c;
    r.m[1][2] = s;
    r.m[2][1] = -s;
    r.m[2][2] = c;
    return r;
}

Matrix MatrixRotationY(float angle) {
    const float s = std::sin(angle), c = std::cos(angle);
    Matrix r;
    r.m[0][0] = c;
    r.m[0][2] = -s;
    r.m[2][0] = s;
    r.m[2][2] = c;
    return r;
}

Matrix MatrixRotationZ(float angle) {
    const float s = std::sin(angle), c = std::cos(angle);
    Matrix r;
    r.m[0][0] = c;
    r.m[0][1] = s;
    r.m[1][0] = -s;
    r.m[1][1] = c;
    return r;
}

Matrix MatrixRotationAxis(const Vec3& axis, float angle) {
    const Vec3 v = Vec3Normalize(axis);
    const float s = std::sin(angle), c = std::cos(angle), d = 1.0f - c;
    Matrix r;
    r.m[0][0] = d * v.x * v.x + c;
    r.m[0][1] = d * v.x * v.y + s * v.z;
    r.m[0][2] = d * v.x * v.z - s * v.y;
    r.m[1][0] = d * v.y * v.x - s * v.z;
    r.m[1][1] = d * v.y * v.y + c;
    r.m[1][2] = d * v.y * v.z + s * v.x;
    r.m[2][0] = d * v.z * v.x + s * v.y;
    r.m[2][1] = d * v.z * v.y - s * v.x;
    r.m[2][2] = d * v.z * v.z + c;
    return r;
}

Matrix MatrixRotationQuaternion(const Quat& q) {
    Matrix r;
    r.m[0][0] = 1.0f - 2.0f * (q.y * q.y + q.z * q.z);
    r.m[0][1] = 2.0f * (q.x * q.y + q.z * q.w);
    r.m[0][2] = 2.0f * (q.x * q.z - q.y * q.w);
    r.m[1][0] = 2.0f * (q.x * q.y - q.z * q.w);
    r.m[1][1] = 1.0f - 2.0f * (q.x * q.x + q.z * q.z);
    r.m[1][2] = 2.0f * (q.y * q.z + q.x * q.w);
    r.m[2][0] = 2.0f * (q.x * q.z + q.y * q.w);
    r.m[2][1] = 2.0f * (q.y * q.z - q.x * q.w);
    r.m[2][2] = 1.0f - 2.0f * (q.x * q.x + q.y * q.y);
    return r;
}

Matrix MatrixRotationYawPitchRoll(float yaw, float pitch, float roll) {
    const float sy = std::sin(yaw), cy = std::cos(yaw);
    const float sp = std::sin(pitch), cp = std::cos(pitch);
    const float sr = std::sin(roll), cr = std::cos(roll);
    // Rz(roll) x Rx(pitch) x Ry(yaw), written out.
    Matrix r;
    r.m[0][0] = cr * cy + sr * sp * sy;
    r.m[0][1] = sr * cp;
    r.m[0][2] = sr * sp * cy - cr * sy;
    r.m[1][0] = cr * sp * sy - sr * cy;
    r.m[1][1] = cr * cp;
    r.m[1][2] = sr * sy + cr * sp * cy;
    r.m[2][0] = cp * sy;
    r.m[2][1] = -sp;
    r.m[2][2] = cp * cy;
    return r;
}

Matrix MatrixTransformation(const Vec3* scalingCenter, const Quat* scalingRotation, const Vec3* scaling,
                            const Vec3* rotationCenter, const Quat* rotation, const Vec3* translation) {
    Matrix r;
    const Vec3 sc = scalingCenter ? *scalingCenter : Vec3();
    if (scaling) {
        const Matrix toCentre = MatrixTranslation(-sc.x, -sc.y, -sc.z);
        const Matrix fromCentre = MatrixTranslation(sc.x, sc.y, sc.z);
        const Matrix scale = MatrixScaling(scaling->x, scaling->y, scaling->z);
        if (scalingRotation) {
            const Matrix sr = MatrixRotationQuaternion(*scalingRotation);
            const Matrix srInv = MatrixTranspose(sr); // a rotation's inverse
            r = toCentre * srInv * scale * sr * fromCentre;
        } else {
            r = toCentre * scale * fromCentre;
        }
    }
    if (rotation) {
        const Vec3 rc = rotationCenter ? *rotationCenter : Vec3();
        r = r * MatrixTranslation(-rc.x, -rc.y, -rc.z) * MatrixRotationQuaternion(*rotation) *
            MatrixTranslation(rc.x, rc.y, rc.z);
    }
    if (translation) {
        r.m[3][0] += translation->x;
        r.m[3][1] += translation->y;
        r.m[3][2] += translation->z;
    }
    return r;
}

Matrix MatrixTransformation(const Vec3& scaling, const Quat& rotation, const Vec3& translation) {
    // Scale x rotation x translation without the identity centre steps.
    Matrix r = MatrixRotationQuaternion(rotation);
    for (int j = 0; j < 3; ++j) {
        r.m[0][j] *= scaling.x;
        r.m[1][j] *= scaling.y;
        r.m[2][j] *= scaling.z;
    }
    r.m[3][0] = translation.x;
    r.m[3][1] = translation.y;
    r.m[3][2] = translation.z;
    return r;
}

Matrix MatrixLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up) {
    const Vec3 z = Vec3Normalize(at - eye);
    const Vec3 x = Vec3Normalize(Vec3Cross(up, z));
    const Vec3 y = Vec3Cross(z, x);
    Matrix r;
    r.m[0][0] = x.x;
    r.m[1][0] = x.y;
    r.m[2][0] = x.z;
    r.m[3][0] = -Vec3Dot(x, eye);
    r.m[0][1] = y.x;
    r.m[1][1] = y.y;
    r.m[2][1] = y.z;
    r.m[3][1] = -Vec3Dot(y, eye);
    r.m[0][2] = z.x;
    r.m[1][2] = z.y;
    r.m[2][2] = z.z;
    r.m[3][2] = -Vec3Dot(z, eye);
    return r;
}

namespace {

// Left-handed perspective with x and y scales; depth 0 at zn, 1 at zf.
Matrix Perspective(float xScale, float yScale, float zn, float zf) {
    Matrix r;
    r.m[0][0] = xScale;
    r.m[1][1] = yScale;
    r.m[2][2] = zf / (zf - zn);
    r.m[2][3] = 1.0f;
    r.m[3][2] = -zn * zf / (zf - zn);
    r.m[3][3] = 0.0f;
    return r;
}

} // namespace

Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zn, float zf) {
    const float yScale = 1.0f / std::tan(fovY / 2.0f);
    return Perspective(yScale / aspect, yScale, zn, zf);
}

Matrix MatrixPerspectiveLH(float width, float height, float zn, float zf) {
    return Perspective(2.0f * zn / width, 2.0f * zn / height, zn, zf);
}

Matrix MatrixOrthoLH(float width, float height, float zn, float zf) {
    Matrix r;
    r.m[0][0] = 2.0f / width;
    r.m[1][1] = 2.0f / height;
    r.m[2][2] = 1.0f / (zf - zn);
    r.m[3][2] = zn / (zn - zf);
    return r;
}

Matrix MatrixOrthoOffCenterLH(float left, float right, float bottom, float top, float zn, float zf) {
    Matrix r;
    r.m[0][0] = 2.0f / (right - left);
    r.m[1][1] = 2.0f / (top - bottom);
    r.m[2][2] = 1.0f / (zf - zn);
    r.m[3][0] = (left + right) / (left - right);
    r.m[3][1] = (top + bottom) / (bottom - top);
    r.m[3][2] = zn / (zn - zf);
    return r;
}

Matrix MatrixReflect(const Plane& plane) {
    const Plane p = PlaneNormalize(plane);
    const float n[4] = {p.a, p.b, p.c, p.d};
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = (i == j ? 1.0f : 0.0f) - 2.0f * n[i] * n[j];
    return r;
}

// ---- Quaternion -----------------------------------------------------------

Quat QuatIdentity() {
    return Quat();
}
bool QuatIsIdentity(const Quat& q) {
    return q == Quat();
}
float QuatLengthSq(const Quat& q) {
    return q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
}
float QuatLength(const Quat& q) {
    return std::sqrt(QuatLengthSq(q));
}
float QuatDot(const Quat& a, const Quat& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

Quat QuatNormalize(const Quat& q) {
    const float len = QuatLength(q);
    if (len == 0.0f) return {0, 0, 0, 0};
    return {q.x / len, q.y / len, q.z / len, q.w / len};
}

Quat QuatConjugate(const Quat& q) {
    return {-q.x, -q.y, -q.z, q.w};
}

Quat QuatInverse(const Quat& q) {
    const float n = QuatLengthSq(q);
    return {-q.x / n, -q.y / n, -q.z / n, q.w / n};
}

Quat QuatMultiply(const Quat& a, const Quat& b) {
    // Hamilton product b a: rotating by the result rotates by a, then by b.
    return {b.w * a.x + b.x * a.w + b.y * a.z - b.z * a.y, b.w * a.y - b.x * a.z + b.y * a.w + b.z * a.x,
            b.w * a.z + b.x * a.y - b.y * a.x + b.z * a.w, b.w * a.w - b.x * a.x - b.y * a.y - b.z * a.z};
}

Quat QuatRotationAxis(const Vec3& axis, float angle) {
    const Vec3 v = Vec3Normalize(axis);
    const float s = std::sin(angle / 2.0f);
    return {v.x * s, v.y * s, v.z * s, std::cos(angle / 2.0f)};
}

Quat QuatRotationYawPitchRoll(float yaw, float pitch, float roll) {
    const float sy = std::sin(yaw / 2.0f), cy = std::cos(yaw / 2.0f);
    const float sp = std::sin(pitch / 2.0f), cp = std::cos(pitch / 2.0f);
    const float sr = std::sin(roll / 2.0f), cr = std::cos(roll / 2.0f);
    return {sy * cp * sr + cy * sp * cr, sy * cp * cr - cy * sp * sr, cy * cp * sr - sy * sp * cr,
            cy * cp * cr + sy * sp * sr};
}

Quat QuatRotationMatrix(const Matrix& mat) {
    const auto& m = mat.m;
    const float trace = m[0][0] + m[1][1] + m[2][2] + 1.0f;
    if (trace > 1.0f) {
        const float s = 2.0f * std::sqrt(trace);
        return {(m[1][2] - m[2][1]) / s, (m[2][0] - m[0][2]) / s, (m[0][1] - m[1][0]) / s, 0.25f * s};
    }
    // Solve from the largest diagonal element to keep the square root away from 0.
    int big = 0;
    if (m[1][1] > m[big][big]) big = 1;
    if (m[2][2] > m[big][big]) big = 2;
    if (big == 0) {
        const float s = 2.0f * std::sqrt(1.0f + m[0][0] - m[1][1] - m[2][2]);
        return {0.25f * s, (m[0][1] + m[1][0]) / s, (m[0][2] + m[2][0]) / s, (m[1][2] - m[2][1]) / s};
    }
    if (big == 1) {
        const float s = 2.0f * std::sqrt(1.0f + m[1][1] - m[0][0] - m[2][2]);
        return {(m[0][1] + m[1][0]) / s, 0.25f * s, (m[1][2] + m[2][1]) / s, (m[2][0] - m[0][2]) / s};
    }
    const float s = 2.0f * std::sqrt(1.0f + m[2][2] - m[0][0] - m[1][1]);
    return {(m[0][2] + m[2][0]) / s, (m[1][2] + m[2][1]) / s, 0.25f * s, (m[0][1] - m[1][0]) / s};
}

void QuatToAxisAngle(const Quat& q, Vec3* axis, float* angle) {
    if (axis) *axis = {q.x, q.y, q.z};
    if (angle) *angle = 2.0f * std::acos(q.w);
}

Quat QuatSlerp(const Quat& a, const Quat& b, float t) {
    float wa = 1.0f - t;
    float wb = t;
    float dot = QuatDot(a, b);
    if (dot < 0.0f) { // the shorter arc runs to -b
        wb = -wb;
        dot = -dot;
    }
    if (1.0f - dot > 0.001f) {
        const float theta = std::acos(dot);
        const float sinTheta = std::sin(theta);
        wa = std::sin(theta * wa) / sinTheta;
        wb = std::sin(theta * wb) / sinTheta;
    }
    return {wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z, wa * a.w + wb * b.w};
}

// ---- Plane --------------------------------------------------------------

Plane PlaneFromPointNormal(const Vec3& point, const Vec3& normal) {
    return {normal.x, normal.y, normal.z, -Vec3Dot(point, normal)};
}

Plane PlaneFromPoints(const Vec3& p1, const Vec3& p2, const Vec3& p3) {
    const Vec3 n = Vec3Normalize(Vec3Cross(p2 - p1, p3 - p1));
    return PlaneFromPointNormal(p1, n);
}

Plane PlaneNormalize(const Plane& p) {
    const float len = std::sqrt(p.a * p.a + p.b * p.b + p.c * p.c);
    if (len == 0.0f) return {};
    return {p.a / len, p.b / len, p.c / len, p.d / len};
}

float PlaneDotCoord(const Plane& p, const Vec3& v) {
    return p.a * v.x + p.b * v.y + p.c * v.z + p.d;
}
float PlaneDotNormal(const Plane& p, const Vec3& v) {
    return p.a * v.x + p.b * v.y + p.c * v.z;
}
float PlaneDot(const Plane& p, const Vec4& v) {
    return p.a * v.x + p.b * v.y + p.c * v.z + p.d * v.w;
}

Plane PlaneTransform(const Plane& p, const Matrix& m) {
    const Vec4 r = Vec4Transform({p.a, p.b, p.c, p.d}, m);
    return {r.x, r.y, r.z, r.w};
}

bool PlaneIntersectLine(const Plane& p, const Vec3& p1, const Vec3& p2, Vec3* out) {
    const Vec3 dir = p2 - p1;
    const float dot = PlaneDotNormal(p, dir);
    if (dot == 0.0f) return false;
    const float t = PlaneDotCoord(p, p1) / dot;
    if (out) *out = p1 - dir * t;
    return true;
}

float HalfToFloat(uint16_t half) {
    const uint32_t sign = uint32_t(half & 0x8000u) << 16;
    const uint32_t exponent = (half >> 10) & 0x1Fu;
    uint32_t mantissa = half & 0x3FFu;
    uint32_t bits;
    if (exponent == 0x1F) {
        // Infinity or NaN: the single-precision twin, payload kept.
        bits = sign | 0x7F800000u | (mantissa << 13);
    } else if (exponent != 0) {
        bits = sign | ((exponent + 127 - 15) << 23) | (mantissa << 13);
    } else if (mantissa == 0) {
        bits = sign;
    } else {
        // A subnormal half is a normal float: shift the mantissa up to its
        // leading one and lower the exponent as far.
        uint32_t e = 127 - 15 + 1;
        while (!(mantissa & 0x400u)) {
            mantissa <<= 1;
            --e;
        }
        bits = sign | (e << 23) | ((mantissa & 0x3FFu) << 13);
    }
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

} // namespace math
