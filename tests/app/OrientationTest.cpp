#include "app/Orientation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/FileHelpers.h"
#include "platform/math/Math.h"

using math::Matrix;
using math::Quat;
using math::Vec3;

namespace {

constexpr float kEps = 1e-5f;
constexpr float kPi = 3.14159265f;

::testing::AssertionResult Near(const Vec3& a, const Vec3& b, float eps = kEps) {
    if (std::fabs(a.x - b.x) > eps || std::fabs(a.y - b.y) > eps || std::fabs(a.z - b.z) > eps)
        return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") != (" << b.x
                                             << ", " << b.y << ", " << b.z << ")";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Near(const Matrix& a, const Matrix& b, float eps = kEps) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (std::fabs(a.m[i][j] - b.m[i][j]) > eps)
                return ::testing::AssertionFailure()
                       << "element [" << i << "][" << j << "] is " << a.m[i][j] << ", expected " << b.m[i][j];
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Near(const Quat& a, const Quat& b, float eps = kEps) {
    if (std::fabs(a.x - b.x) > eps || std::fabs(a.y - b.y) > eps || std::fabs(a.z - b.z) > eps ||
        std::fabs(a.w - b.w) > eps)
        return ::testing::AssertionFailure()
               << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ") != (" << b.x << ", " << b.y
               << ", " << b.z << ", " << b.w << ")";
    return ::testing::AssertionSuccess();
}

Vec3 Row(const Matrix& m, int r) {
    return {m.m[r][0], m.m[r][1], m.m[r][2]};
}

// The three forms agree: axes are unit rows 2, 0, 1 of a complete rotation
// matrix, and that matrix is the rotation of the quaternion.
::testing::AssertionResult Consistent(const orientation& o) {
    if (!Near(o.forward, Row(o.matrix, 2)) || !Near(o.right, Row(o.matrix, 0)) ||
        !Near(o.up, Row(o.matrix, 1)))
        return ::testing::AssertionFailure() << "axes are not the matrix rows";
    for (const Vec3* axis : {&o.forward, &o.right, &o.up})
        if (std::fabs(math::Vec3Length(*axis) - 1.0f) > kEps)
            return ::testing::AssertionFailure() << "axis not unit";
    const float fourth[4][2] = {
        {o.matrix.m[0][3], 0}, {o.matrix.m[1][3], 0}, {o.matrix.m[2][3], 0}, {o.matrix.m[3][3], 1}};
    for (const auto& f : fourth)
        if (f[0] != f[1]) return ::testing::AssertionFailure() << "fourth column is not the identity's";
    if (o.matrix.m[3][0] != 0 || o.matrix.m[3][1] != 0 || o.matrix.m[3][2] != 0)
        return ::testing::AssertionFailure() << "fourth row is not the identity's";
    return Near(math::MatrixRotationQuaternion(o.quaternion), o.matrix);
}

} // namespace

TEST(Orientation, DefaultIsTheIdentity) {
    const orientation o;
    EXPECT_EQ(o.quaternion, (Quat{0, 0, 0, 1}));
    EXPECT_EQ(o.matrix, Matrix());
    EXPECT_EQ(o.forward, Vec3(0, 0, 1));
    EXPECT_EQ(o.right, Vec3(1, 0, 0));
    EXPECT_EQ(o.up, Vec3(0, 1, 0));
}

TEST(Orientation, SetDirectionBuildsAxesAndAConsistentFrame) {
    const float h = std::sqrt(0.5f);
    struct Case {
        const char* name;
        Vec3 direction, forward, right, up;
    };
    const Case cases[] = {
        {"along +x", {1, 0, 0}, {1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
        {"along -x", {-1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {"unnormalised +z", {0, 0, 5}, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
        {"along -z", {0, 0, -2}, {0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
        {"up and along +x", {1, 1, 0}, {h, h, 0}, {0, 0, -1}, {-h, h, 0}},
        // A look parallel to world up keeps right = +x, the limit of tilting
        // a look along +z up or down.
        {"straight up", {0, 1, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, -1}},
        {"straight down, unnormalised", {0, -3, 0}, {0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
    };
    for (const auto& c : cases) {
        orientation o;
        o.SetYawPitchRoll(0.3f, 0.2f, 0.1f); // the previous rotation must not matter
        o.SetDirection(c.direction);
        EXPECT_TRUE(Near(o.forward, c.forward)) << c.name;
        EXPECT_TRUE(Near(o.right, c.right)) << c.name;
        EXPECT_TRUE(Near(o.up, c.up)) << c.name;
        EXPECT_TRUE(Consistent(o)) << c.name;
    }
}

TEST(Orientation, VerticalLookIsTheLimitOfNearVerticalLooks) {
    for (float sign : {1.0f, -1.0f}) {
        orientation vertical, almost;
        vertical.SetDirection(Vec3(0, sign, 0));
        almost.SetDirection(Vec3(0, sign, 1e-3f));
        EXPECT_TRUE(Near(vertical.right, almost.right, 1e-3f)) << sign;
        EXPECT_TRUE(Near(vertical.up, almost.up, 1e-3f)) << sign;
        EXPECT_TRUE(Near(vertical.quaternion, almost.quaternion, 1e-3f)) << sign;
    }
}

TEST(Orientation, SetDirectionAndUpUsesTheHint) {
    struct Case {
        const char* name;
        Vec3 direction, hint, forward, right, up;
    };
    const Case cases[] = {
        {"rolled: up hint +x", {0, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, -1, 0}, {1, 0, 0}},
        {"world up hint equals SetDirection", {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
        {"hint parallel to the direction falls back to world up",
         {1, 0, 0},
         {2, 0, 0},
         {1, 0, 0},
         {0, 0, -1},
         {0, 1, 0}},
        {"tilted hint is made perpendicular", {0, 0, 1}, {0, 1, 1}, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
    };
    for (const auto& c : cases) {
        orientation o;
        o.SetDirectionAndUp(c.direction, c.hint);
        EXPECT_TRUE(Near(o.forward, c.forward)) << c.name;
        EXPECT_TRUE(Near(o.right, c.right)) << c.name;
        EXPECT_TRUE(Near(o.up, c.up)) << c.name;
        EXPECT_TRUE(Consistent(o)) << c.name;
    }
}

TEST(Orientation, NullArgumentsChangeNothing) {
    orientation o;
    o.SetYawPitchRoll(0.4f, -0.3f, 1.0f);
    const orientation before = o;
    const Vec3 d(1, 0, 0);
    o.SetQuaternion(static_cast<const Quat*>(nullptr));
    o.SetQuaternion(static_cast<const orientation*>(nullptr));
    o.Multiply(nullptr);
    o.Rotate(nullptr, 1.0f);
    o.Slerp(static_cast<const orientation*>(nullptr), 0.5f);
    o.Slerp(static_cast<const Quat*>(nullptr), 0.5f);
    o.SetDirection(nullptr);
    o.SetDirectionAndUp(&d, nullptr);
    o.SetDirectionAndUp(nullptr, &d);
    EXPECT_EQ(std::memcmp(&o, &before, sizeof o), 0);
}

TEST(Orientation, QuaternionSettersComposeInDirect3DOrder) {
    orientation o;
    o.Rotate(Vec3(0, 1, 0), kPi / 2);
    EXPECT_TRUE(Near(o.forward, Vec3(1, 0, 0)));
    EXPECT_TRUE(Near(o.right, Vec3(0, 0, -1)));
    EXPECT_TRUE(Consistent(o));

    // This rotation first, then the new one.
    const Quat start = math::QuatRotationYawPitchRoll(0.5f, 0.2f, -0.3f);
    const Quat turn = math::QuatRotationAxis({1, 0, 0}, 0.3f);
    orientation a;
    a.SetQuaternion(start);
    a.Rotate(Vec3(1, 0, 0), 0.3f);
    EXPECT_TRUE(Near(a.quaternion, math::QuatMultiply(start, turn)));
    EXPECT_TRUE(Near(a.matrix, math::MatrixMultiply(math::MatrixRotationQuaternion(start),
                                                    math::MatrixRotationQuaternion(turn))));
    orientation b;
    b.SetQuaternion(start);
    b.Multiply(turn);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);

    // An own axis passed by address is read before it changes.
    orientation own, copy;
    own.SetYawPitchRoll(1.0f, 0.5f, 0.0f);
    copy = own;
    const Vec3 right = copy.right;
    own.Rotate(&own.right, 0.7f);
    copy.Rotate(right, 0.7f);
    EXPECT_EQ(std::memcmp(&own, &copy, sizeof own), 0);
}

TEST(Orientation, AnglesSlerpAndInitialisers) {
    orientation o;
    o.InitYawPitchRoll(0.3f, -0.4f, 1.2f);
    EXPECT_TRUE(Near(o.matrix, math::MatrixRotationYawPitchRoll(0.3f, -0.4f, 1.2f)));
    EXPECT_TRUE(Consistent(o));

    float pitch = -1, yaw = -1, roll = -1;
    o.GetAngles(&pitch, &yaw, &roll);
    EXPECT_NEAR(pitch, 2 * kPi - 0.4f, 1e-4f);
    EXPECT_NEAR(yaw, 0.3f, 1e-4f);
    EXPECT_NEAR(roll, 1.2f, 1e-4f);
    float untouched = -1;
    o.GetAngles(&untouched, &yaw, nullptr);
    EXPECT_EQ(untouched, -1);

    orientation target;
    target.InitYawPitchRoll(kPi / 2, 0, 0);
    orientation s;
    s.Slerp(target, 0.5f);
    EXPECT_TRUE(Near(s.quaternion, math::QuatRotationAxis({0, 1, 0}, kPi / 4)));
    EXPECT_TRUE(Consistent(s));

    orientation d;
    d.SetYawPitchRoll(2, 2, 2);
    d.InitDirection(Vec3(1, 0, 0));
    EXPECT_TRUE(Near(d.forward, Vec3(1, 0, 0)));
    EXPECT_TRUE(Consistent(d));
}

TEST(OrientationSave, WritesTheFieldsAtTheirOffsetsAndReadsThemBackExactly) {
    // Values that are not a consistent rotation: the reader must copy, not rebuild.
    orientation o;
    float* f = reinterpret_cast<float*>(&o);
    for (int i = 0; i < 29; ++i)
        f[i] = 0.1f * i - 1.3f + (i % 3) * 1e-7f;

    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    g_BytesWritten = 0;
    FileWriteOrientation(file, &o);
    EXPECT_EQ(g_BytesWritten, 116u);
    ASSERT_EQ(std::ftell(file), 116);

    unsigned char bytes[116];
    std::rewind(file);
    ASSERT_EQ(std::fread(bytes, 1, sizeof bytes, file), sizeof bytes);
    struct Field {
        const char* name;
        int offset;
        const void* value;
        int size;
    };
    const Field fields[] = {{"quaternion", 0, &o.quaternion, 16},
                            {"matrix", 16, &o.matrix, 64},
                            {"forward", 80, &o.forward, 12},
                            {"right", 92, &o.right, 12},
                            {"up", 104, &o.up, 12}};
    for (const auto& field : fields)
        EXPECT_EQ(std::memcmp(bytes + field.offset, field.value, field.size), 0) << field.name;

    orientation back;
    std::rewind(file);
    g_BytesRead = 0;
    FileReadOrientation(file, &back);
    EXPECT_EQ(g_BytesRead, 116u);
    EXPECT_EQ(std::memcmp(&back, &o, sizeof o), 0);
    std::fclose(file);
}

TEST(OrientationSave, NullFileOrOrientationDoesNothing) {
    orientation o;
    g_BytesWritten = 0;
    FileWriteOrientation(nullptr, &o);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    FileWriteOrientation(file, nullptr);
    FileReadOrientation(file, nullptr);
    EXPECT_EQ(g_BytesWritten, 0u);
    EXPECT_EQ(std::ftell(file), 0);
    std::fclose(file);
}

// The two axes alone are those of the look the whole orientation builds,
// for plain, vertical and zero directions alike.
TEST(Orientation, LookAxesAreThoseOfTheLook) {
    const math::Vec3 directions[] = {{0, 0, 1}, {1, 2, 3}, {-0.3f, 0.1f, -2}, {0, 1, 0}, {0, -5, 0}, {0, 0, 0}};
    for (const math::Vec3& d : directions) {
        orientation look;
        look.InitDirection(d);
        math::Vec3 right, up;
        orientation::LookAxes(d, &right, &up);
        EXPECT_EQ(right, look.right) << d.x << " " << d.y << " " << d.z;
        EXPECT_EQ(up, look.up) << d.x << " " << d.y << " " << d.z;
    }
}
