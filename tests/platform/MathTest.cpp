// The maths library against two independent oracles: GLM (column vectors,
// right-handed by default, so its LH functions are used, and its column-major
// storage of the transposed matrix is byte for byte the row-major layout used
// here), and values worked out by hand from the Direct3D formulas.
#include "platform/math/Math.h"

#include <gtest/gtest.h>

#define GLM_ENABLE_EXPERIMENTAL
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/packing.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/gtx/euler_angles.hpp>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace math;

namespace {

constexpr float kEps = 1e-5f;

glm::vec3 G(const Vec3& v) {
    return {v.x, v.y, v.z};
}
glm::quat G(const Quat& q) {
    return glm::quat(q.w, q.x, q.y, q.z);
}

// A GLM matrix holds the transpose of our matrix column-major: the same bytes.
Matrix FromGlm(const glm::mat4& g) {
    Matrix m;
    std::memcpy(m.m, glm::value_ptr(g), sizeof m.m);
    return m;
}

Matrix Rows(std::initializer_list<float> values) {
    Matrix m;
    int i = 0;
    for (float v : values)
        m.m[i / 4][i % 4] = v, ++i;
    return m;
}

::testing::AssertionResult Near(const Matrix& a, const Matrix& b, float eps = kEps) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (std::fabs(a.m[i][j] - b.m[i][j]) > eps * (1.0f + std::fabs(b.m[i][j])))
                return ::testing::AssertionFailure()
                       << "element [" << i << "][" << j << "] is " << a.m[i][j] << ", expected " << b.m[i][j];
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Near(const Vec3& a, const Vec3& b, float eps = kEps) {
    if (std::fabs(a.x - b.x) > eps || std::fabs(a.y - b.y) > eps || std::fabs(a.z - b.z) > eps)
        return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") != (" << b.x
                                             << ", " << b.y << ", " << b.z << ")";
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

// q and -q are the same rotation.
::testing::AssertionResult SameRotation(const Quat& a, const Quat& b, float eps = kEps) {
    if (Near(a, b, eps)) return ::testing::AssertionSuccess();
    return Near(a, Quat{-b.x, -b.y, -b.z, -b.w}, eps);
}

Quat FromGlm(const glm::quat& q) {
    return {q.x, q.y, q.z, q.w};
}

const Vec3 kEye(3, 4, -10), kAt(1, -2, 5), kUp(0, 1, 0);
const Quat kQ1 = QuatNormalize({0.2f, -0.5f, 0.3f, 0.8f});
const Quat kQ2 = QuatNormalize({-0.6f, 0.1f, 0.4f, 0.5f});

struct MatrixCase {
    std::string name;
    Matrix ours;
    Matrix expected;
};

} // namespace

TEST(MathMatrix, BuildersMatchGlm) {
    const glm::vec3 axis = glm::normalize(glm::vec3(1, 2, 3));
    const glm::mat4 id(1.0f);
    const MatrixCase cases[] = {
        {"rotation x", MatrixRotationX(0.7f), FromGlm(glm::rotate(id, 0.7f, glm::vec3(1, 0, 0)))},
        {"rotation y", MatrixRotationY(-1.2f), FromGlm(glm::rotate(id, -1.2f, glm::vec3(0, 1, 0)))},
        {"rotation z", MatrixRotationZ(2.5f), FromGlm(glm::rotate(id, 2.5f, glm::vec3(0, 0, 1)))},
        {"rotation about an unnormalised axis", MatrixRotationAxis({1, 2, 3}, 0.9f),
         FromGlm(glm::rotate(id, 0.9f, axis))},
        {"rotation of a quaternion", MatrixRotationQuaternion(kQ1), FromGlm(glm::mat4_cast(G(kQ1)))},
        {"yaw pitch roll", MatrixRotationYawPitchRoll(0.3f, -0.5f, 1.1f),
         FromGlm(glm::yawPitchRoll(0.3f, -0.5f, 1.1f))},
        {"translation", MatrixTranslation(1, -2, 3), FromGlm(glm::translate(id, {1, -2, 3}))},
        {"scaling", MatrixScaling(2, 3, -4), FromGlm(glm::scale(id, {2, 3, -4}))},
        {"look-at", MatrixLookAtLH(kEye, kAt, kUp), FromGlm(glm::lookAtLH(G(kEye), G(kAt), G(kUp)))},
        {"perspective fov", MatrixPerspectiveFovLH(1.0f, 4.0f / 3.0f, 2.0f, 5000.0f),
         FromGlm(glm::perspectiveLH_ZO(1.0f, 4.0f / 3.0f, 2.0f, 5000.0f))},
        {"perspective width height", MatrixPerspectiveLH(4.0f, 3.0f, 2.0f, 100.0f),
         FromGlm(glm::frustumLH_ZO(-2.0f, 2.0f, -1.5f, 1.5f, 2.0f, 100.0f))},
        {"orthographic", MatrixOrthoLH(800, 600, 1, 100),
         FromGlm(glm::orthoLH_ZO(-400.f, 400.f, -300.f, 300.f, 1.f, 100.f))},
        {"orthographic off-centre", MatrixOrthoOffCenterLH(-10, 30, 5, 25, -3, 70),
         FromGlm(glm::orthoLH_ZO(-10.f, 30.f, 5.f, 25.f, -3.f, 70.f))},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(Near(c.ours, c.expected)) << c.name;
}

TEST(MathMatrix, ProjectionsAndViewByHand) {
    const float q = 100.0f / 99.0f;
    const MatrixCase cases[] = {
        {"perspective fov 90 degrees, square, 1..100", MatrixPerspectiveFovLH(kPi / 2, 1, 1, 100),
         Rows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, q, 1, 0, 0, -q, 0})},
        {"perspective fov, aspect 2 halves x", MatrixPerspectiveFovLH(kPi / 2, 2, 1, 100),
         Rows({0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, q, 1, 0, 0, -q, 0})},
        {"orthographic 800 x 600, 1..100", MatrixOrthoLH(800, 600, 1, 100),
         Rows({2.0f / 800, 0, 0, 0, 0, 2.0f / 600, 0, 0, 0, 0, 1.0f / 99, 0, 0, 0, -1.0f / 99, 1})},
        {"screen-style off-centre, y down", MatrixOrthoOffCenterLH(0, 800, 600, 0, 0, 1),
         Rows({2.0f / 800, 0, 0, 0, 0, -2.0f / 600, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1})},
        {"look along +z from (0, 0, -5)", MatrixLookAtLH({0, 0, -5}, {0, 0, 0}, {0, 1, 0}),
         Rows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1})},
        {"look along +x from the origin: x to -z in view", MatrixLookAtLH({0, 0, 0}, {1, 0, 0}, {0, 1, 0}),
         Rows({0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1})},
        {"rotation y quarter turn takes +z to +x", MatrixRotationY(kPi / 2),
         Rows({0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1})},
        {"mirror in y = 2 (plane not normalised)", MatrixReflect({0, 2, 0, -4}),
         Rows({1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 4, 0, 1})},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(Near(c.ours, c.expected)) << c.name;
}

TEST(MathMatrix, ProductInverseTransposeDeterminantMatchGlm) {
    const Matrix a =
        MatrixMultiply(MatrixRotationYawPitchRoll(0.4f, 1.0f, -0.2f), MatrixTranslation(5, -7, 2));
    const Matrix b =
        Rows({2, 0.5f, 1, 0.2f, -1, 3, 0.25f, 0.1f, 0.3f, -2, 1.5f, -0.4f, 4, 1, -3, 1.5f}); // no zeros
    glm::mat4 ga, gb;
    std::memcpy(glm::value_ptr(ga), a.m, 64);
    std::memcpy(glm::value_ptr(gb), b.m, 64);

    // Row vectors: v (a b) is v a, then b; GLM applies the right factor first.
    EXPECT_TRUE(Near(MatrixMultiply(a, b), FromGlm(gb * ga)));
    EXPECT_TRUE(Near(a * b, FromGlm(gb * ga)));
    EXPECT_TRUE(Near(MatrixTranspose(b), FromGlm(glm::transpose(gb))));
    EXPECT_NEAR(MatrixDeterminant(b), glm::determinant(gb), 1e-4f);
    EXPECT_NEAR(MatrixDeterminant(a), 1.0f, 1e-5f);

    for (const Matrix* m : {&a, &b}) {
        Matrix inv;
        float det = 0;
        glm::mat4 g;
        std::memcpy(glm::value_ptr(g), m->m, 64);
        ASSERT_TRUE(MatrixInverse(*m, &inv, &det));
        EXPECT_NEAR(det, glm::determinant(g), 1e-4f);
        EXPECT_TRUE(Near(inv, FromGlm(glm::inverse(g)), 1e-4f));
        EXPECT_TRUE(Near(MatrixMultiply(*m, inv), Matrix(), 1e-5f));
    }
}

TEST(MathMatrix, SingularInverseFailsAndLeavesOutput) {
    const Matrix flat = MatrixScaling(1, 0, 1); // flattens y
    const Matrix marker = MatrixTranslation(9, 9, 9);
    Matrix out = marker;
    float det = 5;
    EXPECT_FALSE(MatrixInverse(flat, &out, &det));
    EXPECT_EQ(det, 0.0f);
    EXPECT_EQ(out, marker);
}

TEST(MathMatrix, TransformationMatchesComposedSteps) {
    const Vec3 scale(2, 0.5f, 3), sc(1, 2, 3), rc(-4, 0, 2), trans(10, -20, 30);
    const glm::mat4 id(1.0f);
    // GLM composes column-wise: the step applied first stands rightmost.
    const glm::mat4 scaleSteps = glm::translate(id, G(sc)) * glm::mat4_cast(G(kQ2)) *
                                 glm::scale(id, G(scale)) * glm::mat4_cast(glm::inverse(G(kQ2))) *
                                 glm::translate(id, -G(sc));
    const glm::mat4 rotSteps =
        glm::translate(id, G(rc)) * glm::mat4_cast(G(kQ1)) * glm::translate(id, -G(rc));
    const glm::mat4 full = glm::translate(id, G(trans)) * rotSteps * scaleSteps;
    EXPECT_TRUE(Near(MatrixTransformation(&sc, &kQ2, &scale, &rc, &kQ1, &trans), FromGlm(full), 1e-4f));

    const glm::mat4 simple = glm::translate(id, G(trans)) * glm::mat4_cast(G(kQ1)) * glm::scale(id, G(scale));
    EXPECT_TRUE(Near(MatrixTransformation(scale, kQ1, trans), FromGlm(simple), 1e-4f));
    EXPECT_TRUE(
        Near(MatrixTransformation(nullptr, nullptr, &scale, nullptr, &kQ1, &trans), FromGlm(simple), 1e-4f));
    EXPECT_EQ(MatrixTransformation(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), Matrix());
}

TEST(MathVector, TransformsWithAndWithoutDivide) {
    const Matrix proj = MatrixPerspectiveFovLH(kPi / 2, 1, 1, 100);
    const float q = 100.0f / 99.0f;
    const Vec4 clip = Vec3Transform({2, -3, 50}, proj);
    EXPECT_TRUE(Near(Vec3(clip.x, clip.y, clip.z), Vec3(2, -3, 50 * q - q)));
    EXPECT_FLOAT_EQ(clip.w, 50);
    EXPECT_TRUE(Near(Vec3TransformCoord({2, -3, 50}, proj), Vec3(2.0f / 50, -3.0f / 50, (50 * q - q) / 50)));
    // Near plane maps to depth 0, far plane to 1.
    EXPECT_NEAR(Vec3TransformCoord({0, 0, 1}, proj).z, 0.0f, kEps);
    EXPECT_NEAR(Vec3TransformCoord({0, 0, 100}, proj).z, 1.0f, kEps);

    const Matrix m = MatrixMultiply(MatrixRotationZ(kPi / 2), MatrixTranslation(10, 20, 30));
    EXPECT_TRUE(Near(Vec3TransformCoord({1, 0, 0}, m), Vec3(10, 21, 30)));
    EXPECT_TRUE(Near(Vec3TransformNormal({1, 0, 0}, m), Vec3(0, 1, 0)));

    glm::mat4 g;
    std::memcpy(glm::value_ptr(g), m.m, 64);
    const glm::vec4 gv = g * glm::vec4(0.5f, -2, 4, 0.25f);
    const Vec4 v = Vec4Transform({0.5f, -2, 4, 0.25f}, m);
    EXPECT_TRUE(Near(Vec3(v.x, v.y, v.z), Vec3(gv.x, gv.y, gv.z)));
    EXPECT_FLOAT_EQ(v.w, gv.w);
}

TEST(MathVector, StridedArrayTransformTouchesOnlyPositions) {
    struct Vertex { // position first, as in a 60-byte static-mesh vertex
        Vec3 position;
        uint32_t colour;
        float rest[11];
    };
    static_assert(sizeof(Vertex) == 60);
    std::vector<Vertex> v(5);
    for (int i = 0; i < 5; ++i) {
        v[i].position = {float(i), float(2 * i), 1};
        v[i].colour = 0xAABBCC00u + i;
        for (float& r : v[i].rest)
            r = -1;
    }
    const Matrix m = MatrixMultiply(MatrixScaling(2, 2, 2), MatrixTranslation(0, 0, 5));
    Vec3TransformCoordArray(&v[0].position, sizeof(Vertex), &v[0].position, sizeof(Vertex), m, v.size());
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(Near(v[i].position, Vec3(2.0f * i, 4.0f * i, 7))) << i;
        EXPECT_EQ(v[i].colour, 0xAABBCC00u + i);
        EXPECT_EQ(v[i].rest[10], -1);
    }
    Vec3 normals[2];
    const Vec3 in[2] = {{1, 0, 0}, {0, 0, 1}};
    Vec3TransformNormalArray(normals, sizeof(Vec3), in, sizeof(Vec3), MatrixRotationY(kPi / 2), 2);
    EXPECT_TRUE(Near(normals[0], Vec3(0, 0, -1)));
    EXPECT_TRUE(Near(normals[1], Vec3(1, 0, 0)));
}

TEST(MathVector, ZeroNormalisesToZero) {
    EXPECT_EQ(Vec3Normalize({0, 0, 0}), Vec3(0, 0, 0));
    EXPECT_EQ(Vec2Normalize({0, 0}), Vec2{});
    EXPECT_EQ(Vec4Normalize({0, 0, 0, 0}), Vec4{});
    EXPECT_EQ(QuatNormalize({0, 0, 0, 0}), (Quat{0, 0, 0, 0}));
    EXPECT_EQ(PlaneNormalize({0, 0, 0, 7}), Plane{});
    EXPECT_TRUE(Near(Vec3Normalize({0, 3, 4}), Vec3(0, 0.6f, 0.8f)));
    EXPECT_TRUE(Near(Vec3Cross({1, 0, 0}, {0, 1, 0}), Vec3(0, 0, 1)));
    EXPECT_TRUE(Near(Vec3Lerp({0, 10, -4}, {10, 20, 4}, 0.25f), Vec3(2.5f, 12.5f, -2)));
    EXPECT_EQ(Vec3Minimize({1, 5, -2}, {3, 0, -1}), Vec3(1, 0, -2));
    EXPECT_EQ(Vec3Maximize({1, 5, -2}, {3, 0, -1}), Vec3(3, 5, -1));
}

TEST(MathQuat, AxisMultiplyAndAnglesMatchGlmAndMatrices) {
    EXPECT_TRUE(Near(QuatRotationAxis({1, 2, 3}, 0.9f),
                     FromGlm(glm::angleAxis(0.9f, glm::normalize(glm::vec3(1, 2, 3))))));
    // The product applies the first factor first.
    EXPECT_TRUE(Near(QuatMultiply(kQ1, kQ2), FromGlm(G(kQ2) * G(kQ1))));
    EXPECT_TRUE(Near(MatrixRotationQuaternion(QuatMultiply(kQ1, kQ2)),
                     MatrixMultiply(MatrixRotationQuaternion(kQ1), MatrixRotationQuaternion(kQ2))));

    struct Angles {
        float yaw, pitch, roll;
    };
    const Angles table[] = {{0, 0, 0}, {0.3f, -0.5f, 1.1f}, {kPi, 0.2f, -2.9f}, {-1.7f, 1.5f, 0.4f}};
    for (const auto& a : table) {
        EXPECT_TRUE(Near(MatrixRotationQuaternion(QuatRotationYawPitchRoll(a.yaw, a.pitch, a.roll)),
                         MatrixRotationYawPitchRoll(a.yaw, a.pitch, a.roll)))
            << a.yaw << " " << a.pitch << " " << a.roll;
    }
    // Yaw alone turns about y, pitch about x, roll about z.
    EXPECT_TRUE(Near(QuatRotationYawPitchRoll(0.5f, 0, 0), QuatRotationAxis({0, 1, 0}, 0.5f)));
    EXPECT_TRUE(Near(QuatRotationYawPitchRoll(0, 0.5f, 0), QuatRotationAxis({1, 0, 0}, 0.5f)));
    EXPECT_TRUE(Near(QuatRotationYawPitchRoll(0, 0, 0.5f), QuatRotationAxis({0, 0, 1}, 0.5f)));

    const Quat inv = QuatInverse({0, 0, 2, 0}); // a non-unit quaternion
    EXPECT_TRUE(Near(inv, Quat{0, 0, -0.5f, 0}));
    EXPECT_TRUE(Near(QuatConjugate(kQ1), Quat{-kQ1.x, -kQ1.y, -kQ1.z, kQ1.w}));
    Vec3 axis;
    float angle = 0;
    QuatToAxisAngle(QuatRotationAxis({0, 1, 0}, 1.2f), &axis, &angle);
    EXPECT_NEAR(angle, 1.2f, kEps);
    EXPECT_TRUE(Near(axis, Vec3(0, std::sin(0.6f), 0)));
}

TEST(MathQuat, FromRotationMatrixEveryBranchAndBack) {
    struct Case {
        const char* name;
        Matrix m;
    };
    const Case cases[] = {
        {"identity (trace branch)", Matrix()},
        {"small turn (trace branch)", MatrixRotationAxis({1, 1, 0}, 0.3f)},
        {"half turn about x (x largest)", MatrixRotationX(kPi)},
        {"half turn about y (y largest)", MatrixRotationY(kPi)},
        {"half turn about z (z largest)", MatrixRotationZ(kPi)},
        {"large turn near x", MatrixRotationAxis({1, 0.2f, -0.1f}, 2.8f)},
        {"large turn near y", MatrixRotationAxis({0.1f, -1, 0.3f}, 3.0f)},
        {"large turn near z", MatrixRotationAxis({-0.2f, 0.1f, 1}, -2.7f)},
        {"yaw pitch roll", MatrixRotationYawPitchRoll(2.0f, -1.0f, 2.5f)},
    };
    for (const auto& c : cases) {
        const Quat q = QuatRotationMatrix(c.m);
        EXPECT_NEAR(QuatLength(q), 1.0f, kEps) << c.name;
        EXPECT_TRUE(Near(MatrixRotationQuaternion(q), c.m)) << c.name;
        glm::mat4 g;
        std::memcpy(glm::value_ptr(g), c.m.m, 64);
        EXPECT_TRUE(SameRotation(q, FromGlm(glm::quat_cast(g)))) << c.name;
    }
    // By hand: a quarter turn about y, and the translation row is ignored.
    const float h = std::sqrt(0.5f);
    Matrix m = MatrixRotationY(kPi / 2);
    m.m[3][0] = 50;
    m.m[3][3] = 0;
    EXPECT_TRUE(Near(QuatRotationMatrix(m), Quat{0, h, 0, h}));
    EXPECT_TRUE(Near(QuatRotationMatrix(MatrixRotationX(kPi)), Quat{1, 0, 0, 0}));
}

TEST(MathQuat, SlerpEndsMidpointAndShorterArc) {
    const Quat a = QuatIdentity();
    const Quat b = QuatRotationAxis({0, 1, 0}, kPi / 2);
    struct Case {
        const char* name;
        Quat from, to;
        float t;
        Quat expected;
    };
    const Quat negB{-b.x, -b.y, -b.z, -b.w};
    const Case cases[] = {
        {"t = 0 gives the start", a, b, 0.0f, a},
        {"t = 1 gives the end", a, b, 1.0f, b},
        {"midpoint is the half angle", a, b, 0.5f, QuatRotationAxis({0, 1, 0}, kPi / 4)},
        {"quarter point", a, b, 0.25f, QuatRotationAxis({0, 1, 0}, kPi / 8)},
        {"a small angle is still spherical", a, QuatRotationAxis({1, 0, 0}, 0.5f), 0.5f,
         QuatRotationAxis({1, 0, 0}, 0.25f)},
        {"negated target goes the short way", a, negB, 0.5f, QuatRotationAxis({0, 1, 0}, kPi / 4)},
        {"general pair like GLM", kQ1, kQ2, 0.3f, FromGlm(glm::slerp(G(kQ1), G(kQ2), 0.3f))},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(Near(QuatSlerp(c.from, c.to, c.t), c.expected)) << c.name;

    // Nearly equal quaternions blend linearly (no division by a vanishing sine).
    const Quat c = QuatRotationAxis({0, 1, 0}, 0.01f);
    const Quat s = QuatSlerp(a, c, 0.5f);
    EXPECT_TRUE(Near(s, Quat{0.5f * c.x, 0.5f * c.y, 0.5f * c.z, 0.5f + 0.5f * c.w}));
    EXPECT_FALSE(std::isnan(QuatSlerp(a, a, 0.7f).w));
}

TEST(MathPlane, FromPointsNormaliseDotAndIntersect) {
    // The water plane through P spanned by +x and +z: normal down, y = P.y.
    const Vec3 p(5, 7, -3);
    const Plane water = PlaneFromPoints(p, p + Vec3(64, 0, 0), p + Vec3(0, 0, 64));
    EXPECT_TRUE(Near(Vec3(water.a, water.b, water.c), Vec3(0, -1, 0)));
    EXPECT_FLOAT_EQ(water.d, 7);
    EXPECT_FLOAT_EQ(PlaneDotCoord(water, {100, 7, 100}), 0);
    EXPECT_FLOAT_EQ(PlaneDotCoord(water, {0, 10, 0}), -3);

    const Plane n = PlaneNormalize({0, 3, 4, 10});
    EXPECT_NEAR(n.b, 0.6f, kEps);
    EXPECT_NEAR(n.c, 0.8f, kEps);
    EXPECT_NEAR(n.d, 2.0f, kEps);
    EXPECT_EQ(PlaneFromPointNormal({1, 2, 3}, {0, 0, 1}), (Plane{0, 0, 1, -3}));
    EXPECT_FLOAT_EQ(PlaneDotNormal({1, 2, 3, 100}, {1, 1, 1}), 6);
    EXPECT_FLOAT_EQ(PlaneDot({1, 2, 3, 100}, {1, 1, 1, 0.5f}), 56);

    // The line, not only the segment, meets the plane.
    Vec3 hit(-1, -1, -1);
    ASSERT_TRUE(PlaneIntersectLine({0, 1, 0, -2}, {3, 0, 1}, {3, 1, 1}, &hit));
    EXPECT_TRUE(Near(hit, Vec3(3, 2, 1)));
    const Vec3 before = hit;
    EXPECT_FALSE(PlaneIntersectLine({0, 1, 0, -2}, {0, 0, 0}, {1, 0, 5}, &hit));
    EXPECT_EQ(hit, before);

    // Moving a plane with a point transform takes the inverse transpose.
    Matrix inv;
    ASSERT_TRUE(MatrixInverse(MatrixTranslation(0, 5, 0), &inv));
    const Plane moved = PlaneTransform({0, 1, 0, 0}, MatrixTranspose(inv));
    EXPECT_TRUE(Near(Vec3(moved.a, moved.b, moved.c), Vec3(0, 1, 0)));
    EXPECT_FLOAT_EQ(moved.d, -5);

    // Mirroring in the water plane flips heights about it.
    EXPECT_TRUE(Near(Vec3TransformCoord({1, 10, 2}, MatrixReflect(water)), Vec3(1, 4, 2)));
}

// Half floats as the 16-bit float targets store them: hand-known patterns
// (each class of the format), then every one of the 65536 patterns against
// GLM's unpacking.
TEST(MathHalf, KnownPatternsGiveTheirExactValues) {
    struct Case {
        uint16_t bits;
        float value;
    };
    const Case cases[] = {
        {0x0000, 0.0f},
        {0x3C00, 1.0f},
        {0xC000, -2.0f},
        {0x3800, 0.5f},
        {0x3E00, 1.5f},
        {0x3555, 0.333251953125f},
        {0x7BFF, 65504.0f},                   // the largest finite
        {0x0400, 6.103515625e-05f},           // the smallest normal, 2^-14
        {0x0001, 5.9604644775390625e-08f},    // the smallest subnormal, 2^-24
        {0x03FF, 6.0975551605224609375e-05f}, // the largest subnormal
        {0x8001, -5.9604644775390625e-08f},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HalfToFloat(c.bits), c.value) << std::hex << c.bits;
    EXPECT_TRUE(std::signbit(HalfToFloat(0x8000)));
    EXPECT_EQ(HalfToFloat(0x8000), 0.0f);
    EXPECT_EQ(HalfToFloat(0x7C00), INFINITY);
    EXPECT_EQ(HalfToFloat(0xFC00), -INFINITY);
    EXPECT_TRUE(std::isnan(HalfToFloat(0x7E00)));
    EXPECT_TRUE(std::isnan(HalfToFloat(0xFC01)));
}

TEST(MathHalf, EveryPatternMatchesGlm) {
    for (uint32_t bits = 0; bits <= 0xFFFF; ++bits) {
        const float want = glm::unpackHalf1x16(uint16_t(bits));
        const float got = HalfToFloat(uint16_t(bits));
        if (std::isnan(want)) {
            ASSERT_TRUE(std::isnan(got)) << std::hex << bits;
        } else {
            ASSERT_EQ(got, want) << std::hex << bits;
            ASSERT_EQ(std::signbit(got), std::signbit(want)) << std::hex << bits;
        }
    }
}
