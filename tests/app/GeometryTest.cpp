#include "app/Geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/math/Math.h"

using math::Matrix;
using math::Vec3;
using math::Vec3d;

namespace {

constexpr float kEps = 1e-5f;
constexpr float kPi = 3.1415927f;

::testing::AssertionResult Near(const Vec3& a, const Vec3& b, float eps = kEps) {
    if (std::fabs(a.x - b.x) > eps || std::fabs(a.y - b.y) > eps || std::fabs(a.z - b.z) > eps)
        return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") != (" << b.x
                                             << ", " << b.y << ", " << b.z << ")";
    return ::testing::AssertionSuccess();
}

Vec3d D(const Vec3& v) {
    return {v.x, v.y, v.z};
}

// A fixed sequence of pseudo-random floats for the oracle comparisons.
struct Sequence {
    uint32_t state = 12345;
    float Next(float lo, float hi) {
        state = state * 1664525u + 1013904223u;
        return lo + (hi - lo) * float(state >> 8) / float(1u << 24);
    }
    Vec3 NextVec(float range) { return {Next(-range, range), Next(-range, range), Next(-range, range)}; }
};

// The exact minimum of |P(s) - Q(t)|^2 over the unit square, in doubles: the
// interior critical point when there is one, else the best of the four edges.
double SegmentDistanceOracle(const Vec3& p0, const Vec3& p1, const Vec3& q0, const Vec3& q1) {
    const Vec3d e0 = D(p1) - D(p0), e1 = D(q1) - D(q0), r = D(p0) - D(q0);
    const double a = math::Vec3dDot(e0, e0), b = math::Vec3dDot(e0, e1), c = math::Vec3dDot(e1, e1);
    const double d = math::Vec3dDot(e0, r), e = math::Vec3dDot(e1, r);
    auto f = [&](double s, double t) {
        const Vec3d v = r + e0 * s - e1 * t;
        return math::Vec3dDot(v, v);
    };
    auto clamp01 = [](double x) { return std::clamp(x, 0.0, 1.0); };
    double best = 1e300;
    const double det = a * c - b * b;
    if (det > 1e-9 * a * c) {
        const double s = (b * e - c * d) / det, t = (a * e - b * d) / det;
        if (s >= 0 && s <= 1 && t >= 0 && t <= 1) best = f(s, t);
    }
    for (double s : {0.0, 1.0})
        best = std::min(best, f(s, c > 0 ? clamp01((e + b * s) / c) : 0.0));
    for (double t : {0.0, 1.0})
        best = std::min(best, f(a > 0 ? clamp01((b * t - d) / a) : 0.0, t));
    return best;
}

} // namespace

// ---- Transforms and frames ------------------------------------------------------

TEST(GeometryTransform, NoDivideByWAndOutputMayAliasInput) {
    const Matrix proj = math::MatrixPerspectiveFovLH(kPi / 2, 1, 1, 100);
    const float q = 100.0f / 99.0f;
    Vec3 out;
    TransformCoord(&out, Vec3(2, -3, 50), proj);
    EXPECT_TRUE(Near(out, Vec3(2, -3, 50 * q - q), 1e-4f)); // the fourth column is ignored

    Vec3 p(1, 0, 0);
    TransformCoord(&p, p,
                   math::MatrixMultiply(math::MatrixRotationZ(kPi / 2), math::MatrixTranslation(10, 20, 30)));
    EXPECT_TRUE(Near(p, Vec3(10, 21, 30)));
}

TEST(GeometryPerpendicular, AlwaysPerpendicularAndFinite) {
    struct Case {
        Vec3 v, expected;
    };
    const Case cases[] = {
        {{1, 0, 0}, {0, 1, 1}},
        {{-1, 0, 0}, {0, 1, 1}}, // the signed-comparison rule would divide by z = 0 here
        {{0, 2, 0}, {2, 0, 2}},
        {{0, 0, -3}, {3, 3, 0}},
        {{0, 0, 0}, {0, 0, 0}},
        {{3, -4, 5}, {std::sqrt(50.0f), std::sqrt(50.0f), (-3 + 4) * std::sqrt(50.0f) / 5}},
        {{1, 1, 1}, {std::sqrt(3.0f), -2 * std::sqrt(3.0f), std::sqrt(3.0f)}}, // tie: y solved
    };
    for (const auto& c : cases) {
        Vec3 out(9, 9, 9);
        PerpendicularVector(&out, c.v);
        EXPECT_TRUE(Near(out, c.expected, 1e-4f)) << c.v.x << " " << c.v.y << " " << c.v.z;
        EXPECT_NEAR(math::Vec3Dot(out, c.v), 0.0f, 1e-4f);
    }
    Sequence seq;
    for (int i = 0; i < 200; ++i) {
        const Vec3 v = seq.NextVec(10);
        Vec3 out;
        PerpendicularVector(&out, v);
        ASSERT_TRUE(std::isfinite(out.x) && std::isfinite(out.y) && std::isfinite(out.z));
        EXPECT_NEAR(math::Vec3Dot(out, v) / (math::Vec3LengthSq(v) + 1.0f), 0.0f, 1e-4f);
        EXPECT_GT(math::Vec3Length(out), 0.0f);
    }
}

TEST(GeometryRotationBetween, TurnsOneDirectionOntoTheOther) {
    struct Case {
        std::string name;
        Vec3 a, b;
        float angle;
        bool perpendicularAxis; // the axis came from PerpendicularVector
    };
    const Case cases[] = {
        {"quarter turn", {1, 0, 0}, {0, 1, 0}, kPi / 2, false},
        {"general",
         {1, 2, 3},
         {-2, 0.5f, 1},
         std::acos(math::Vec3Dot(math::Vec3Normalize({1, 2, 3}), math::Vec3Normalize({-2, 0.5f, 1}))),
         false},
        {"equal", {2, 0, 0}, {2, 0, 0}, 0, true},
        {"opposite", {0, 0, 3}, {0, 0, -1}, kPi, true},
        {"nearly equal", {1, 0, 0}, {1, 0.05f, 0}, std::atan(0.05f), true},
        {"zero a counts as +x", {0, 0, 0}, {0, 1, 0}, kPi / 2, true},
    };
    for (const auto& c : cases) {
        Matrix m;
        Vec3 axis;
        float angle = -1;
        RotationBetweenVectors(c.a, c.b, &m, &axis, &angle);
        EXPECT_NEAR(angle, c.angle, 1e-4f) << c.name;
        const Vec3 an = math::Vec3Length(c.a) > 0.001f ? math::Vec3Normalize(c.a) : Vec3(1, 0, 0);
        if (c.perpendicularAxis) {
            Vec3 expected;
            PerpendicularVector(&expected, an);
            EXPECT_TRUE(Near(axis, expected)) << c.name;
        } else {
            EXPECT_TRUE(Near(axis, math::Vec3Cross(c.a, c.b))) << c.name; // not normalised
            EXPECT_TRUE(Near(math::Vec3TransformNormal(an, m), math::Vec3Normalize(c.b), 1e-4f)) << c.name;
        }
        EXPECT_NEAR(math::Vec3Dot(axis, an), 0.0f, 1e-4f) << c.name;
        const Matrix expectedMatrix = math::MatrixRotationAxis(axis, angle);
        EXPECT_EQ(std::memcmp(&m, &expectedMatrix, sizeof m), 0) << c.name;
    }
    // The opposite case really turns a onto b.
    Matrix m;
    RotationBetweenVectors({0, 0, 3}, {0, 0, -1}, &m, nullptr, nullptr);
    EXPECT_TRUE(Near(math::Vec3TransformNormal({0, 0, 1}, m), Vec3(0, 0, -1), 1e-4f));
    float angle = 0;
    RotationBetweenVectors({1, 0, 0}, {0, 0, 1}, nullptr, nullptr, &angle); // null outputs are skipped
    EXPECT_NEAR(angle, kPi / 2, 1e-5f);
}

// ---- Distances ------------------------------------------------------------------

TEST(GeometryDistance, PointToSegment) {
    struct Case {
        const char* name;
        Vec3 p, a, b, closest;
    };
    const Case cases[] = {
        {"beside the middle", {5, 3, 0}, {0, 0, 0}, {10, 0, 0}, {5, 0, 0}},
        {"before the start", {-4, 3, 0}, {0, 0, 0}, {10, 0, 0}, {0, 0, 0}},
        {"past the end", {14, 0, 3}, {0, 0, 0}, {10, 0, 0}, {10, 0, 0}},
        {"degenerate segment measures from a", {3, 4, 0}, {0, 0, 0}, {0.01f, 0, 0}, {0, 0, 0}},
        {"a equals b", {3, 4, 7}, {3, 4, 2}, {3, 4, 2}, {3, 4, 2}},
    };
    for (const auto& c : cases) {
        Vec3 closest(-9, -9, -9);
        const float d = DistancePointSegment(c.p, c.a, c.b, &closest);
        EXPECT_TRUE(Near(closest, c.closest)) << c.name;
        EXPECT_NEAR(d, math::Vec3Length(c.p - c.closest), kEps) << c.name;
        EXPECT_NEAR(DistancePointSegment(c.p, c.a, c.b), d, 0) << c.name;
    }
}

TEST(GeometryDistance, SegmentToSegmentByHand) {
    struct Case {
        const char* name;
        Vec3 p0, p1, q0, q1;
        float sqr, s, t;
    };
    const Case cases[] = {
        {"crossing at both middles", {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, 0, 0.5f, 0.5f},
        {"skew, 3 apart", {-1, 0, 0}, {1, 0, 0}, {0, -1, 3}, {0, 1, 3}, 9, 0.5f, 0.5f},
        {"end to end", {0, 0, 0}, {1, 0, 0}, {3, 0, 0}, {5, 0, 0}, 4, 1, 0},
        {"perpendicular, 2 apart", {0, 0, 0}, {0, 0, 2}, {-1, 2, 1}, {1, 2, 1}, 4, 0.5f, 0.5f},
        {"parallel, overlapping", {0, 0, 0}, {4, 0, 0}, {2, 1, 0}, {6, 1, 0}, 1, -1, -1},
        {"parallel, opposite, apart", {0, 0, 0}, {1, 0, 0}, {5, 2, 0}, {3, 2, 0}, 8, 1, 1},
    };
    for (const auto& c : cases) {
        float s = -9, t = -9;
        const float sqr = SqrDistSegmentSegment(c.p0, c.p1, c.q0, c.q1, &s, &t);
        EXPECT_NEAR(sqr, c.sqr, 1e-4f) << c.name;
        if (c.s >= 0) {
            EXPECT_NEAR(s, c.s, 1e-5f) << c.name;
            EXPECT_NEAR(t, c.t, 1e-5f) << c.name;
        }
        // Whatever parameters are reported, they are the closest points.
        const Vec3 ps = c.p0 + (c.p1 - c.p0) * s, qt = c.q0 + (c.q1 - c.q0) * t;
        EXPECT_NEAR(math::Vec3LengthSq(ps - qt), sqr, 1e-4f) << c.name;
        EXPECT_EQ(SqrDistSegmentSegment(c.p0, c.p1, c.q0, c.q1), sqr) << c.name;
    }
}

TEST(GeometryDistance, SegmentToSegmentMatchesAnExactOracle) {
    Sequence seq;
    for (int i = 0; i < 2000; ++i) {
        Vec3 p0 = seq.NextVec(10), p1 = seq.NextVec(10), q0 = seq.NextVec(10), q1 = seq.NextVec(10);
        if (i % 4 == 1) q1 = q0 + (p1 - p0) * seq.Next(-2, 2);       // parallel pairs
        if (i % 8 == 3) q0 = p0 + (p1 - p0) * seq.Next(-0.5f, 1.5f); // touching pairs
        float s = -1, t = -1;
        const float sqr = SqrDistSegmentSegment(p0, p1, q0, q1, &s, &t);
        const double expected = SegmentDistanceOracle(p0, p1, q0, q1);
        ASSERT_NEAR(sqr, expected, 2e-3 * (1 + expected)) << "case " << i;
        ASSERT_TRUE(s >= 0 && s <= 1 && t >= 0 && t <= 1) << "case " << i;
        const Vec3 ps = p0 + (p1 - p0) * s, qt = q0 + (q1 - q0) * t;
        ASSERT_NEAR(math::Vec3LengthSq(ps - qt), expected, 2e-3 * (1 + expected)) << "case " << i;
    }
}

// ---- Spheres --------------------------------------------------------------------

TEST(GeometrySphere, Overlap) {
    const Vec3 centre(0, 0, 0);
    struct Case {
        const char* name;
        Vec3 a, b;
        float radius;
        bool expected;
    };
    const Case cases[] = {
        {"through the centre", {-10, 0, 0}, {10, 0, 0}, 1, true},
        {"passes beside", {-10, 2, 0}, {10, 2, 0}, 1.9f, false},
        {"touching counts", {-10, 2, 0}, {10, 2, 0}, 2, true},
        {"closest point is the start", {3, 0, 0}, {10, 0, 0}, 2.9f, false},
        {"start within", {2, 0, 0}, {10, 0, 0}, 2.5f, true},
        {"closest point is the end", {-10, 0, 0}, {-3, 0, 0}, 3, true},
        {"ends short of the sphere", {-10, 0, 0}, {-3.1f, 0, 0}, 3, false},
        {"near-zero segment measures from its start only", {1.01f, 0, 0}, {0.99f, 0, 0}, 1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SegmentSphereOverlap(c.a, c.b, centre, c.radius), c.expected) << c.name;
}

TEST(GeometrySphere, IntersectEntryExitAndGraze) {
    const Vec3 centre(1, 2, 3);
    struct Case {
        const char* name;
        Vec3 a, b;
        bool expected;
        float t;
    };
    const Case cases[] = {
        {"enters", {-9, 2, 3}, {11, 2, 3}, true, 0.25f},
        {"enters going back", {11, 2, 3}, {-9, 2, 3}, true, 0.25f},
        {"starts inside: exit", {1, 2, 3}, {11, 2, 3}, true, 0.5f},
        {"grazes (tangent)", {-9, 7, 3}, {11, 7, 3}, false, 0},
        {"ends before the sphere", {-19, 2, 3}, {-9, 2, 3}, false, 0},
        {"wholly inside", {0, 2, 3}, {2, 2, 3}, false, 0},
        {"zero length", {1, 2, 3}, {1, 2, 3}, false, 0},
        {"ends exactly on the surface", {-9, 2, 3}, {-4, 2, 3}, true, 1},
    };
    for (const auto& c : cases) {
        float t = -7;
        EXPECT_EQ(SegmentSphereIntersect(c.a, c.b, centre, 5, &t), c.expected) << c.name;
        EXPECT_NEAR(t, c.expected ? c.t : -7, 1e-5f) << c.name;
    }
}

// ---- Segment and triangle -----------------------------------------------------------

namespace {

struct TriangleCase {
    const char* name;
    Vec3 a, b;
    bool hit;
    float t; // written by the point variants; < 0: not written
};

const Vec3 kT0(0, 0, 0), kT1(10, 0, 0), kT2(0, 10, 0); // in the plane z = 0

const TriangleCase kTriangleCases[] = {
    {"through the inside", {2, 2, -5}, {2, 2, 5}, true, 0.5f},
    {"from the other side", {2, 3, 6}, {2, 3, -2}, true, 0.75f},
    {"end exactly on the plane", {2, 2, -5}, {2, 2, 0}, false, -1},
    {"the same segment lengthened", {2, 2, -5}, {2, 2, 1}, true, 5.0f / 6},
    {"start exactly on the plane", {2, 2, 0}, {2, 2, 4}, false, -1},
    {"both ends on one side", {2, 2, 1}, {2, 2, 4}, false, -1},
    {"crosses the plane outside", {8, 8, -1}, {8, 8, 1}, false, 0.5f},
    {"crosses beside the first edge", {5, -0.01f, -1}, {5, -0.01f, 1}, false, 0.5f},
    {"on the first edge", {5, 0, -1}, {5, 0, 1}, true, 0.5f},
    {"on the long edge", {5, 5, -1}, {5, 5, 1}, true, 0.5f},
    {"on a corner", {10, 0, -1}, {10, 0, 3}, true, 0.25f},
    {"slanted", {-2, 0, -4}, {6, 8, 4}, true, 0.5f},
    {"nearly parallel: denominator below 0.0001", {2, 2, -4e-7f}, {2, 2, 4e-7f}, false, -1},
    {"denominator just above 0.0001", {2, 2, -1e-6f}, {2, 2, 1e-6f}, true, 0.5f},
};

void ExpectPoint(const TriangleCase& c, const Vec3& point, float t) {
    if (c.t < 0) {
        EXPECT_EQ(t, -3) << c.name;
        EXPECT_EQ(point, Vec3(-3, -3, -3)) << c.name;
    } else {
        EXPECT_NEAR(t, c.t, 1e-5f) << c.name;
        EXPECT_TRUE(Near(point, c.a + (c.b - c.a) * c.t, 1e-4f)) << c.name;
    }
}

} // namespace

TEST(GeometryTriangle, EveryVariantAgreesOnTheTable) {
    const Vec3 normal = math::Vec3Cross(kT1 - kT0, kT2 - kT0);
    for (const auto& c : kTriangleCases) {
        EXPECT_EQ(SegmentTriangleIntersect(c.a, c.b, kT0, kT1, kT2), c.hit) << c.name;
        EXPECT_EQ(SegmentTriangleIntersect(c.a, c.b, kT0, kT2, kT1), c.hit) << c.name << " (other winding)";
        EXPECT_EQ(SegmentTriangleIntersectWithNormal(c.a, c.b, kT0, kT1, kT2, normal), c.hit) << c.name;

        Vec3 point(-3, -3, -3);
        float t = -3;
        EXPECT_EQ(SegmentTriangleIntersectPoint(c.a, c.b, kT0, kT1, kT2, &point, &t), c.hit) << c.name;
        ExpectPoint(c, point, t);
    }
}

TEST(GeometryTriangle, DoublePrecisionVariant) {
    for (const auto& c : kTriangleCases) {
        // The tighter parallel threshold lets the nearly parallel row hit.
        const bool hit = c.hit || std::string(c.name).starts_with("nearly parallel");
        Vec3d point(-3, -3, -3);
        double t = -3;
        EXPECT_EQ(SegmentTriangleIntersectDouble(D(c.a), D(c.b), D(kT0), D(kT1), D(kT2), &point, &t), hit)
            << c.name;
        if (hit) {
            EXPECT_NEAR(t, c.t < 0 ? 0.5 : c.t, 1e-5) << c.name;
            const Vec3d expected = D(c.a) + (D(c.b) - D(c.a)) * t;
            EXPECT_NEAR(point.x, expected.x, 1e-9) << c.name;
            EXPECT_NEAR(point.z, expected.z, 1e-9) << c.name;
        }
    }
    // Denominators below 1e-8 still miss in doubles.
    Vec3d point;
    double t = 0;
    EXPECT_FALSE(
        SegmentTriangleIntersectDouble({2, 2, -4e-11}, {2, 2, 4e-11}, D(kT0), D(kT1), D(kT2), &point, &t));
}

TEST(GeometryTriangle, TinyTrianglesAreDegenerateUnlessTheNormalIsSupplied) {
    const Vec3 s0(0, 0, 0), s1(0.09f, 0, 0), s2(0, 0.09f, 0); // normal (0, 0, 0.0081)
    const Vec3 a(0.01f, 0.01f, -1), b(0.01f, 0.01f, 1);
    Vec3 point(-3, -3, -3);
    float t = -3;
    EXPECT_FALSE(SegmentTriangleIntersect(a, b, s0, s1, s2));
    EXPECT_FALSE(SegmentTriangleIntersectPoint(a, b, s0, s1, s2, &point, &t));
    EXPECT_EQ(t, -3);
    Vec3d pd;
    double td = -3;
    EXPECT_FALSE(SegmentTriangleIntersectDouble(D(a), D(b), D(s0), D(s1), D(s2), &pd, &td));
    EXPECT_TRUE(SegmentTriangleIntersectWithNormal(a, b, s0, s1, s2, {0, 0, 1}));
    // Slightly larger: 0.11 x 0.11 = 0.0121 passes.
    EXPECT_TRUE(SegmentTriangleIntersect(a, b, s0, {0.11f, 0, 0}, {0, 0.11f, 0}));
}

// ---- Boxes --------------------------------------------------------------------------

TEST(GeometryBox, SegmentAgainstAxisAlignedBox) {
    const Vec3 min(0, 0, 0), max(10, 10, 10);
    struct Case {
        const char* name;
        Vec3 a, b;
        bool expected;
    };
    const Case cases[] = {
        {"start inside", {5, 5, 5}, {50, 50, 50}, true},
        {"end inside", {50, 50, 50}, {5, 5, 5}, true},
        {"start on a corner", {10, 10, 10}, {20, 20, 20}, true},
        {"passes through", {-5, 5, 5}, {15, 5, 5}, true},
        {"diagonal through", {-1, -1, -1}, {11, 11, 11}, true},
        {"in a face plane, crossing", {-5, 0, 5}, {15, 0, 5}, true},
        {"through an edge only", {-5, -5, 5}, {5, 5, 5}, true},
        {"stops short", {-10, 5, 5}, {-1, 5, 5}, false},
        {"parallel outside", {-1, 5, -5}, {-1, 5, 15}, false},
        {"passes beside an edge", {-5, 4, 5}, {4, -5, 5}, false},
        {"zero length outside", {11, 5, 5}, {11, 5, 5}, false},
        {"zero length inside", {1, 1, 1}, {1, 1, 1}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SegmentAABBIntersect(c.a, c.b, min, max), c.expected) << c.name;
}

TEST(GeometryBox, CornerOrderAndTrianglesCoverTheFaces) {
    Vec3 c[8];
    BoxCorners({-1, -2, -3}, {4, 5, 6}, c);
    const Vec3 expected[8] = {{-1, -2, -3}, {4, -2, -3}, {4, 5, -3}, {-1, 5, -3},
                              {-1, -2, 6},  {4, -2, 6},  {4, 5, 6},  {-1, 5, 6}};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(c[i], expected[i]) << "corner " << i;

    // Two triangles on each of the six faces, covering it, all wound alike
    // (normals towards the box's inside).
    const Vec3 centre(1.5f, 1.5f, 1.5f);
    float area[6] = {};
    for (int i = 0; i < 36; i += 3) {
        const Vec3 &p = c[BoxTriangleIndices[i]], &q = c[BoxTriangleIndices[i + 1]],
                   &r = c[BoxTriangleIndices[i + 2]];
        const Vec3 n = math::Vec3Cross(q - p, r - p);
        const Vec3 mid = (p + q + r) / 3.0f;
        EXPECT_LT(math::Vec3Dot(n, mid - centre), 0) << "triangle " << i / 3;
        const Vec3 u = math::Vec3Normalize(n);
        const int face = std::fabs(u.x) > 0.5f   ? (u.x < 0 ? 3 : 2)
                         : std::fabs(u.y) > 0.5f ? (u.y < 0 ? 5 : 4)
                                                 : (u.z < 0 ? 1 : 0);
        area[face] += 0.5f * math::Vec3Length(n);
    }
    const float faceArea[6] = {5 * 7, 5 * 7, 7 * 9, 7 * 9, 5 * 9, 5 * 9};
    for (int f = 0; f < 6; ++f)
        EXPECT_NEAR(area[f], faceArea[f], 1e-3f) << "face " << f;
}

TEST(GeometryBox, TriangleAgainstBox) {
    const Vec3 min(0, 0, 0), max(10, 10, 10);
    struct Case {
        const char* name;
        Vec3 t0, t1, t2;
        bool expected;
    };
    const Case cases[] = {
        {"wholly inside", {1, 1, 1}, {2, 1, 1}, {1, 2, 1}, true},
        {"an edge crosses the box", {-5, 5, 5}, {15, 5, 5}, {5, 20, 20}, true},
        {"large, slicing through, edges outside", {-100, -100, 5}, {100, -100, 5}, {-100, 100, 5}, true},
        {"across a corner", {29, 0, 0}, {0, 29, 0}, {0, 0, 29}, true},
        {"just past a corner", {31, 0, 0}, {0, 31, 0}, {0, 0, 31}, false},
        {"far away", {20, 20, 20}, {30, 20, 20}, {20, 30, 20}, false},
        {"touching a face", {10, 2, 2}, {20, 2, 2}, {15, 5, 2}, true},
    };
    Vec3 corners[8];
    BoxCorners(min, max, corners);
    for (const auto& c : cases) {
        EXPECT_EQ(TriBoxOverlap(c.t0, c.t1, c.t2, min, max), c.expected) << c.name;
        EXPECT_EQ(TriBoxCornersOverlap(c.t0, c.t1, c.t2, min, max, corners), c.expected) << c.name;
    }
}

TEST(GeometryBox, SegmentAgainstCornersOfAxisAlignedAndRotatedBoxes) {
    Vec3 box[8];
    BoxCorners({0, 0, 0}, {10, 10, 10}, box);
    // The unit cube turned 45 degrees about y reaches x = +-sqrt(2) at z = 0.
    Vec3 turned[8];
    BoxCorners({-1, -1, -1}, {1, 1, 1}, turned);
    const Matrix r = math::MatrixRotationY(kPi / 4);
    for (Vec3& v : turned)
        v = math::Vec3TransformCoord(v, r);

    struct Case {
        const char* name;
        const Vec3* corners;
        Vec3 a, b;
        bool expected;
    };
    const Case cases[] = {
        {"through", box, {-5, 5, 5}, {15, 5, 5}, true},
        {"both beyond one face", box, {-5, 1, 1}, {-1, 9, 9}, false},
        {"start inside", box, {5, 5, 5}, {50, 5, 5}, true},
        {"end on the surface", box, {20, 5, 5}, {10, 5, 5}, true},
        {"outside on two faces, missing", box, {-3, 8, 5}, {8, 19, 5}, false},
        {"outside on two faces, crossing a corner region", box, {-3, 6, 5}, {6, -3, 5}, true},
        {"turned box: inside its diamond", turned, {1.3f, 0, -5}, {1.3f, 0, 5}, true},
        {"turned box: beyond its diamond", turned, {1.5f, 0, -5}, {1.5f, 0, 5}, false},
        {"turned box: through the centre", turned, {-5, 0.5f, 0}, {5, 0.5f, 0}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SegmentBoxCornersIntersect(c.a, c.b, c.corners), c.expected) << c.name;
}

// ---- Angles ---------------------------------------------------------------------------

TEST(GeometryAngles, MatrixToAnglesRecoversYawPitchRoll) {
    struct Case {
        float yaw, pitch, roll;
    };
    const Case cases[] = {
        {0, 0, 0}, {0.3f, 0.2f, 0.1f}, {-0.5f, -1.0f, 2.5f}, {3.0f, 0.4f, -3.0f}, {2.0f, 1.2f, 0}};
    auto wrap = [](float a) { return a < 0 ? a + 2 * kPi : a; };
    for (const auto& c : cases) {
        float pitch = -1, yaw = -1, roll = -1;
        MatrixToAngles(math::MatrixRotationYawPitchRoll(c.yaw, c.pitch, c.roll), &pitch, &yaw, &roll);
        EXPECT_NEAR(yaw, wrap(c.yaw), 1e-4f) << c.yaw << " " << c.pitch << " " << c.roll;
        EXPECT_NEAR(pitch, wrap(c.pitch), 1e-4f) << c.yaw << " " << c.pitch << " " << c.roll;
        EXPECT_NEAR(roll, wrap(c.roll), 1e-4f) << c.yaw << " " << c.pitch << " " << c.roll;
    }
}

TEST(GeometryAngles, ExactQuarterTurnsAreNotZero) {
    auto rows = [](Vec3 r0, Vec3 r1, Vec3 r2) {
        Matrix m;
        const Vec3* r[3] = {&r0, &r1, &r2};
        for (int i = 0; i < 3; ++i)
            m.m[i][0] = r[i]->x, m.m[i][1] = r[i]->y, m.m[i][2] = r[i]->z;
        return m;
    };
    struct Case {
        const char* name;
        Matrix m;
        float pitch, yaw, roll;
    };
    const Case cases[] = {
        {"yaw a quarter turn", rows({0, 0, -1}, {0, 1, 0}, {1, 0, 0}), 0, kPi / 2, 0},
        {"yaw three quarters", rows({0, 0, 1}, {0, 1, 0}, {-1, 0, 0}), 0, 3 * kPi / 2, 0},
        {"yaw a half turn", rows({-1, 0, 0}, {0, 1, 0}, {0, 0, -1}), 0, kPi, 0},
        {"roll a quarter turn", rows({0, 1, 0}, {-1, 0, 0}, {0, 0, 1}), 0, 0, kPi / 2},
        {"pitch a quarter turn (looking down)", rows({1, 0, 0}, {0, 0, 1}, {0, -1, 0}), kPi / 2, 0, 0},
    };
    for (const auto& c : cases) {
        float pitch = -1, yaw = -1, roll = -1;
        MatrixToAngles(c.m, &pitch, &yaw, &roll);
        EXPECT_NEAR(pitch, c.pitch, 1e-6f) << c.name;
        EXPECT_NEAR(yaw, c.yaw, 1e-6f) << c.name;
        EXPECT_NEAR(roll, c.roll, 1e-6f) << c.name;
    }
}
