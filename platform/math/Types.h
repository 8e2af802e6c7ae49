// The maths value types, laid out as Direct3D 9 lays them out: three or four
// packed floats, and 4 x 4 row-major matrices used with row vectors (v x M,
// translation in the fourth row). Functions on them are in platform/math/Math.h.
#pragma once

#include <cstdint>

namespace math {

struct Vec2 {
    float x = 0, y = 0;
    constexpr bool operator==(const Vec2&) const = default;
};

struct Vec3 {
    float x = 0, y = 0, z = 0;
    constexpr Vec3() = default;
    constexpr Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    constexpr Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Vec3 operator-() const { return {-x, -y, -z}; }
    constexpr Vec3 operator*(float s) const { return {x * s, y * s, z * s}; }
    constexpr Vec3 operator/(float s) const { return {x / s, y / s, z / s}; }
    constexpr Vec3& operator+=(const Vec3& o) {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    constexpr Vec3& operator-=(const Vec3& o) {
        x -= o.x;
        y -= o.y;
        z -= o.z;
        return *this;
    }
    constexpr Vec3& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    constexpr bool operator==(const Vec3& o) const { return x == o.x && y == o.y && z == o.z; }
    float* data() { return &x; }
    const float* data() const { return &x; }
};
constexpr Vec3 operator*(float s, const Vec3& v) {
    return v * s;
}

struct Vec4 {
    float x = 0, y = 0, z = 0, w = 0;
    constexpr bool operator==(const Vec4&) const = default;
};

// Quaternion (x, y, z, w); identity is (0, 0, 0, 1).
struct Quat {
    float x = 0, y = 0, z = 0, w = 1;
    constexpr bool operator==(const Quat&) const = default;
};

// Plane a x + b y + c z + d = 0.
struct Plane {
    float a = 0, b = 0, c = 0, d = 0;
    constexpr bool operator==(const Plane&) const = default;
};

struct Matrix {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    float& operator()(int r, int c) { return m[r][c]; }
    float operator()(int r, int c) const { return m[r][c]; }
    static constexpr Matrix Identity() { return Matrix(); }
    constexpr bool operator==(const Matrix&) const = default;
};

// Double-precision vector for the rigid-body and inertia computations that
// need tighter tolerances than floats give.
struct Vec3d {
    double x = 0, y = 0, z = 0;
    constexpr Vec3d() = default;
    constexpr Vec3d(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
    constexpr Vec3d operator+(const Vec3d& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Vec3d operator-(const Vec3d& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Vec3d operator-() const { return {-x, -y, -z}; }
    constexpr Vec3d operator*(double s) const { return {x * s, y * s, z * s}; }
    constexpr bool operator==(const Vec3d&) const = default;
};

static_assert(sizeof(Vec3) == 12 && sizeof(Quat) == 16 && sizeof(Matrix) == 64 && sizeof(Plane) == 16);

} // namespace math
