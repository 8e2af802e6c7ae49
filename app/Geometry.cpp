#include "app/Geometry.h"

#include <cmath>

#include "platform/math/Math.h"

using math::Vec3;

const uint16_t BoxTriangleIndices[36] = {0, 1, 2, 2, 3, 0, 5, 4, 7, 7, 6, 5, 4, 0, 3, 3, 7, 4,
                                         1, 5, 6, 6, 2, 1, 3, 2, 6, 6, 7, 3, 4, 5, 1, 1, 0, 4};

namespace {

// The box edges in the order the triangle tests walk them.
constexpr uint8_t kBoxEdges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                      {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

template <typename V> auto Dot(const V& a, const V& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

template <typename V> V Cross(const V& a, const V& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

template <typename T> T Abs(T x) {
    return x < 0 ? -x : x;
}

// The shared segment/triangle crossing for floats and doubles: ends strictly
// on opposite sides of the plane, the segment not parallel to it, then the
// crossing point inside the triangle by its barycentric coordinates (edges
// and corners count). The point and t are written once the plane is crossed.
template <typename V, typename T>
bool SegmentTriangleCross(const V& a, const V& b, const V& t0, const V& t1, const V& t2, const V& n,
                          T parallelEpsilon, V* outPoint, T* outT) {
    const T da = -Dot(V(a - t0), n);
    const T db = Dot(V(b - t0), n);
    if (!(da * db > 0)) return false;
    const V ab = b - a;
    const T denom = Dot(ab, n);
    if (Abs(denom) < parallelEpsilon) return false;
    const T t = da / denom;
    if (t < 0 || t > 1) return false;
    if (outT) *outT = t;
    const V p = a + ab * t;
    if (outPoint) *outPoint = p;
    const V rel = p - t0;
    const V e1 = t1 - t0;
    const V e2 = t2 - t0;
    const T e12 = Dot(e1, e2);
    const T e11 = Dot(e1, e1);
    const T e22 = Dot(e2, e2);
    const T pe1 = Dot(rel, e1);
    const T pe2 = Dot(rel, e2);
    const T den = e12 * e12 - e11 * e22;
    const T u = (pe2 * e12 - pe1 * e22) / den;
    const T v = (pe1 * e12 - pe2 * e11) / den;
    return u >= 0 && u <= 1 && v >= 0 && u + v <= 1;
}

// A triangle whose normal has every component strictly within 0.01 of zero.
template <typename V> bool IsDegenerate(const V& n) {
    return Abs(n.x) < 0.01 && Abs(n.y) < 0.01 && Abs(n.z) < 0.01;
}

bool InsideBox(const Vec3& p, const Vec3& min, const Vec3& max) {
    return p.x >= min.x && p.x <= max.x && p.y >= min.y && p.y <= max.y && p.z >= min.z && p.z <= max.z;
}

// Clamps both to -1..1 and picks the quadrant; 0 when both are near zero.
float AngleFromSinCos(float s, float c) {
    constexpr float kPi = math::kPi;
    constexpr float kTwoPi = math::kTwoPi;
    s = s < -1.0f ? -1.0f : (s > 1.0f ? 1.0f : s);
    c = c < -1.0f ? -1.0f : (c > 1.0f ? 1.0f : c);
    if (Abs(s) + Abs(c) <= 0.01f) return 0.0f;
    if (s >= 0.0f && c > 0.0f) return std::asin(s);
    if (s >= 0.0f && c < 0.0f) return kPi - std::asin(s);
    if (s < 0.0f && c < 0.0f) return kPi + std::asin(-s);
    if (s < 0.0f && c > 0.0f) return kTwoPi - std::asin(-s);
    return s > 0.0f ? 1.5707964f : 4.712389f; // c exactly 0: a quarter turn
}

void Clamp(float* v) {
    *v = *v < -1.0f ? -1.0f : (*v > 1.0f ? 1.0f : *v);
}

} // namespace

void TransformCoord(math::Vec3* out, const math::Vec3& p, const math::Matrix& m) {
    const auto& e = m.m;
    const Vec3 r(p.x * e[0][0] + p.y * e[1][0] + p.z * e[2][0] + e[3][0],
                 p.x * e[0][1] + p.y * e[1][1] + p.z * e[2][1] + e[3][1],
                 p.x * e[0][2] + p.y * e[1][2] + p.z * e[2][2] + e[3][2]);
    *out = r;
}

void PerpendicularVector(math::Vec3* out, const math::Vec3& v) {
    const float l = math::Vec3Length(v);
    // Solve for the component of largest magnitude (ties: y, then x).
    const float ax = Abs(v.x), ay = Abs(v.y), az = Abs(v.z);
    if (ay >= ax && ay >= az) {
        *out = ay == 0.0f ? Vec3() : Vec3(l, -(l * v.x + l * v.z) / v.y, l);
    } else if (ax >= az) {
        *out = Vec3(-(l * v.z + l * v.y) / v.x, l, l);
    } else {
        *out = Vec3(l, l, -(l * v.x + l * v.y) / v.z);
    }
}

void RotationBetweenVectors(const math::Vec3& a, const math::Vec3& b, math::Matrix* outMatrix,
                            math::Vec3* outAxis, float* outAngle) {
    Vec3 axis = math::Vec3Cross(a, b);
    const float la = math::Vec3Length(a);
    const float lb = math::Vec3Length(b);
    const Vec3 an = la <= 0.001f ? Vec3(1, 0, 0) : a / la;
    const Vec3 bn = lb <= 0.001f ? Vec3(0, 0, 1) : b / lb;
    float d = math::Vec3Dot(an, bn);
    Clamp(&d);
    const float angle = std::acos(d);
    if (math::Vec3Length(axis) < 0.01f || math::Vec3Length(an - bn) < 0.1f) PerpendicularVector(&axis, an);
    if (outMatrix) *outMatrix = math::MatrixRotationAxis(axis, angle);
    if (outAxis) *outAxis = axis;
    if (outAngle) *outAngle = angle;
}

float DistancePointSegment(const math::Vec3& p, const math::Vec3& a, const math::Vec3& b,
                           math::Vec3* closest) {
    const Vec3 d = b - a;
    const float dd = math::Vec3Dot(d, d);
    Vec3 c = a;
    if (!(dd > -0.001f && dd < 0.001f)) {
        const float t = math::Vec3Dot(p - a, d) / dd;
        if (t >= 1.0f)
            c = b;
        else if (t > 0.0f)
            c = a + d * t;
    }
    if (closest) *closest = c;
    return math::Vec3Length(p - c);
}

namespace {

// The squared distance between two segments as a quadratic in their
// parameters: |P0 + s e0 - Q0 - t e1|^2 = a00 s^2 + 2 a01 s t + a11 t^2 + 2 b0 s + 2 b1 t + c.
struct SegmentPairQuadratic {
    double a00, a01, a11, b0, b1, c;

    struct Minimum {
        double s, t, sqr;
    };

    // The minimum along one edge of the (s, t) square, the other parameter
    // held at 0 or 1; each clamps its free parameter to 0..1.
    Minimum AlongT0() const {
        if (b0 >= 0.0) return {0.0, 0.0, c};
        if (-b0 >= a00) return {1.0, 0.0, a00 + 2.0 * b0 + c};
        const double s = -b0 / a00;
        return {s, 0.0, b0 * s + c};
    }
    Minimum AlongT1() const {
        const double tmp = a01 + b0;
        if (tmp >= 0.0) return {0.0, 1.0, a11 + 2.0 * b1 + c};
        if (-tmp >= a00) return {1.0, 1.0, a00 + a11 + c + 2.0 * (b1 + tmp)};
        const double s = -tmp / a00;
        return {s, 1.0, tmp * s + a11 + 2.0 * b1 + c};
    }
    Minimum AlongS0() const {
        if (b1 >= 0.0) return {0.0, 0.0, c};
        if (-b1 >= a11) return {0.0, 1.0, a11 + 2.0 * b1 + c};
        const double t = -b1 / a11;
        return {0.0, t, b1 * t + c};
    }
    Minimum AlongS1() const {
        const double tmp = a01 + b1;
        if (tmp >= 0.0) return {1.0, 0.0, a00 + 2.0 * b0 + c};
        if (-tmp >= a11) return {1.0, 1.0, a00 + a11 + c + 2.0 * (b0 + tmp)};
        const double t = -tmp / a11;
        return {1.0, t, tmp * t + a00 + 2.0 * b0 + c};
    }

    // Eberly's region classification for segments that are not parallel:
    // the unconstrained minimum (s, t) scaled by det is tested against the
    // square; outside it, the minimum on the nearest edge is taken, and at a
    // corner region the edge is chosen by the gradient there.
    Minimum Classified(double det) const {
        const double s = a01 * b1 - a11 * b0;
        const double t = a01 * b0 - a00 * b1;
        if (s >= 0.0 && s <= det) {
            if (t >= 0.0 && t <= det) {
                const double is = s / det, it = t / det;
                return {is, it,
                        is * (a00 * is + a01 * it + 2.0 * b0) + it * (a01 * is + a11 * it + 2.0 * b1) + c};
            }
            return t > det ? AlongT1() : AlongT0();
        }
        if (s > det) {
            if (t >= 0.0 && t <= det) return AlongS1();
            if (t > det) return -(a01 + b0) <= a00 ? AlongT1() : AlongS1();
            return -b0 < a00 ? AlongT0() : AlongS1();
        }
        if (t >= 0.0 && t <= det) return AlongS0();
        if (t > det) return a01 + b0 < 0.0 ? AlongT1() : AlongS0();
        return b0 < 0.0 ? AlongT0() : AlongS0();
    }
};

} // namespace

// The squared distance by the region classification of the (s, t) square of
// the two segments' parameters (Eberly). Worked in doubles: in floats the
// determinant of two parallel segments of a few units is rounding noise far
// above the parallel threshold, and the classification then picks a wrong
// edge.
float SqrDistSegmentSegment(const math::Vec3& p0, const math::Vec3& p1, const math::Vec3& q0,
                            const math::Vec3& q1, float* outS, float* outT) {
    const math::Vec3d P0(p0.x, p0.y, p0.z), P1(p1.x, p1.y, p1.z), Q0(q0.x, q0.y, q0.z), Q1(q1.x, q1.y, q1.z);
    const math::Vec3d diff = P0 - Q0;
    const math::Vec3d e0 = P1 - P0;
    const math::Vec3d e1 = Q1 - Q0;
    const SegmentPairQuadratic q{math::Vec3dDot(e0, e0),    -math::Vec3dDot(e0, e1),
                                 math::Vec3dDot(e1, e1),    math::Vec3dDot(diff, e0),
                                 -math::Vec3dDot(diff, e1), math::Vec3dDot(diff, diff)};
    const double a00 = q.a00, a01 = q.a01, a11 = q.a11, b0 = q.b0, b1 = q.b1, c = q.c;
    const double det = Abs(a00 * a11 - a01 * a01);
    SegmentPairQuadratic::Minimum m;

    if (det >= 1e-5) {
        m = q.Classified(det);
    } else if (a01 > 0.0) { // parallel, directions at an obtuse angle
        if (-b0 <= a00) {
            m = q.AlongT0();
        } else {
            const double tmp = a00 + b0;
            if (-tmp >= a01) {
                m = {1.0, 1.0, a00 + a11 + c + 2.0 * (a01 + b0 + b1)};
            } else {
                const double t = -tmp / a01;
                m = {1.0, t, a00 + 2.0 * b0 + c + t * (a11 * t + 2.0 * (a01 + b1))};
            }
        }
    } else { // parallel, directions at an acute angle
        if (b0 <= 0.0) {
            m = q.AlongT0();
        } else if (b0 >= -a01) {
            m = {0.0, 1.0, a11 + 2.0 * b1 + c};
        } else {
            const double t = -b0 / a01;
            m = {0.0, t, c + t * (2.0 * b1 + a11 * t)};
        }
    }
    if (outS) *outS = float(m.s);
    if (outT) *outT = float(m.t);
    return float(Abs(m.sqr));
}

bool SegmentSphereOverlap(const math::Vec3& a, const math::Vec3& b, const math::Vec3& centre, float radius) {
    const Vec3 d = b - a;
    Vec3 v = centre - a;
    const float dd = math::Vec3Dot(d, d);
    if (!(dd > -0.001f && dd < 0.001f)) {
        const float t = math::Vec3Dot(v, d) / dd;
        if (t > 0.0f) v = t < 1.0f ? centre - (a + d * t) : centre - b;
    }
    return radius * radius >= math::Vec3Dot(v, v);
}

bool SegmentSphereIntersect(const math::Vec3& a, const math::Vec3& b, const math::Vec3& centre, float radius,
                            float* outT) {
    const Vec3 d = b - a;
    const float qa = math::Vec3Dot(d, d);
    const float qb = 2.0f * math::Vec3Dot(d, a - centre);
    const float qc = math::Vec3Dot(centre, centre) + math::Vec3Dot(a, a) - 2.0f * math::Vec3Dot(centre, a) -
                     radius * radius;
    const float disc = qb * qb - 4.0f * qa * qc;
    if (!(disc > 0.0f) || qa == 0.0f) return false;
    const float root = std::sqrt(disc);
    const float t1 = (-qb - root) / (2.0f * qa);
    const float t2 = (root - qb) / (2.0f * qa);
    const float t = (t1 >= 0.0f && (t2 < 0.0f || t1 <= t2)) ? t1 : t2;
    if (t < 0.0f || t > 1.0f) return false;
    if (outT) *outT = t;
    return true;
}

bool SegmentTriangleIntersect(const math::Vec3& a, const math::Vec3& b, const math::Vec3& t0,
                              const math::Vec3& t1, const math::Vec3& t2) {
    const Vec3 n = Cross(Vec3(t1 - t0), Vec3(t2 - t0));
    if (IsDegenerate(n)) return false;
    return SegmentTriangleCross<Vec3, float>(a, b, t0, t1, t2, n, 0.0001f, nullptr, nullptr);
}

bool SegmentTriangleIntersectWithNormal(const math::Vec3& a, const math::Vec3& b, const math::Vec3& t0,
                                        const math::Vec3& t1, const math::Vec3& t2,
                                        const math::Vec3& normal) {
    return SegmentTriangleCross<Vec3, float>(a, b, t0, t1, t2, normal, 0.0001f, nullptr, nullptr);
}

bool SegmentTriangleIntersectPoint(const math::Vec3& a, const math::Vec3& b, const math::Vec3& t0,
                                   const math::Vec3& t1, const math::Vec3& t2, math::Vec3* point, float* t) {
    const Vec3 n = Cross(Vec3(t1 - t0), Vec3(t2 - t0));
    if (IsDegenerate(n)) return false;
    return SegmentTriangleCross<Vec3, float>(a, b, t0, t1, t2, n, 0.0001f, point, t);
}

bool SegmentTriangleIntersectDouble(const math::Vec3d& a, const math::Vec3d& b, const math::Vec3d& t0,
                                    const math::Vec3d& t1, const math::Vec3d& t2, math::Vec3d* point,
                                    double* t) {
    const math::Vec3d n = Cross(math::Vec3d(t1 - t0), math::Vec3d(t2 - t0));
    if (IsDegenerate(n)) return false;
    return SegmentTriangleCross<math::Vec3d, double>(a, b, t0, t1, t2, n, 1e-8, point, t);
}

bool SegmentAABBIntersect(const math::Vec3& a, const math::Vec3& b, const math::Vec3& min,
                          const math::Vec3& max) {
    if (InsideBox(a, min, max) || InsideBox(b, min, max)) return true;
    const Vec3 d = b - a;
    const float* pa = a.data();
    const float* pd = d.data();
    const float* lo = min.data();
    const float* hi = max.data();
    for (int axis = 0; axis < 3; ++axis) {
        if (pd[axis] == 0.0f) continue;
        const int u = (axis + 1) % 3;
        const int v = (axis + 2) % 3;
        const float planes[2] = {lo[axis], hi[axis]};
        for (const float plane : planes) {
            const float t = (plane - pa[axis]) / pd[axis];
            if (t < 0.0f || t > 1.0f) continue;
            const float pu = pa[u] + t * pd[u];
            const float pv = pa[v] + t * pd[v];
            if (pu >= lo[u] && pu <= hi[u] && pv >= lo[v] && pv <= hi[v]) return true;
        }
    }
    return false;
}

void BoxCorners(const math::Vec3& min, const math::Vec3& max, math::Vec3 corners[8]) {
    corners[0] = {min.x, min.y, min.z};
    corners[1] = {max.x, min.y, min.z};
    corners[2] = {max.x, max.y, min.z};
    corners[3] = {min.x, max.y, min.z};
    corners[4] = {min.x, min.y, max.z};
    corners[5] = {max.x, min.y, max.z};
    corners[6] = {max.x, max.y, max.z};
    corners[7] = {min.x, max.y, max.z};
}

bool TriBoxCornersOverlap(const math::Vec3& t0, const math::Vec3& t1, const math::Vec3& t2,
                          const math::Vec3& min, const math::Vec3& max, const math::Vec3 corners[8]) {
    if (SegmentAABBIntersect(t0, t1, min, max) || SegmentAABBIntersect(t1, t2, min, max) ||
        SegmentAABBIntersect(t2, t0, min, max))
        return true;
    for (const auto& edge : kBoxEdges)
        if (SegmentTriangleIntersect(corners[edge[0]], corners[edge[1]], t0, t1, t2)) return true;
    return false;
}

bool TriBoxOverlap(const math::Vec3& t0, const math::Vec3& t1, const math::Vec3& t2, const math::Vec3& min,
                   const math::Vec3& max) {
    Vec3 corners[8];
    BoxCorners(min, max, corners);
    return TriBoxCornersOverlap(t0, t1, t2, min, max, corners);
}

bool SegmentBoxCornersIntersect(const math::Vec3& a, const math::Vec3& b, const math::Vec3 corners[8]) {
    const Vec3 nz = corners[0] - corners[4];
    const Vec3 nx = corners[0] - corners[1];
    const Vec3 ny = corners[0] - corners[3];
    // Outward normal and a corner on each face: min z, max z, min x, max x, min y, max y.
    const Vec3 normals[6] = {nz, -nz, nx, -nx, ny, -ny};
    const Vec3* points[6] = {&corners[0], &corners[4], &corners[0], &corners[1], &corners[0], &corners[3]};
    bool aOutside = false, bOutside = false;
    for (int i = 0; i < 6; ++i) {
        const float va = math::Vec3Dot(a - *points[i], normals[i]);
        const float vb = math::Vec3Dot(b - *points[i], normals[i]);
        if (va > 0.0f && vb > 0.0f) return false; // both ends beyond this face
        aOutside = aOutside || va > 0.0f;
        bOutside = bOutside || vb > 0.0f;
    }
    if (!aOutside || !bOutside) return true; // an end inside or on the box
    for (int i = 0; i < 36; i += 3)
        if (SegmentTriangleIntersect(a, b, corners[BoxTriangleIndices[i]], corners[BoxTriangleIndices[i + 1]],
                                     corners[BoxTriangleIndices[i + 2]]))
            return true;
    return false;
}

void MatrixToAngles(const math::Matrix& m, float* pitch, float* yaw, float* roll) {
    Vec3 z, y;
    TransformCoord(&z, Vec3(0, 0, 1), m);
    TransformCoord(&y, Vec3(0, 1, 0), m);

    const Vec3 flat = math::Vec3Normalize(Vec3(z.x, 0, z.z));
    float s = flat.x, c = flat.z;
    Clamp(&s);
    Clamp(&c);
    *yaw = AngleFromSinCos(s, c);

    // Turn back by the yaw: rotation about y by minus the angle.
    math::Matrix unyaw;
    unyaw.m[0][0] = c;
    unyaw.m[0][2] = s;
    unyaw.m[2][0] = -s;
    unyaw.m[2][2] = c;
    TransformCoord(&z, z, unyaw);
    TransformCoord(&y, y, unyaw);
    z = math::Vec3Normalize(z);
    s = -z.y;
    c = z.z;
    Clamp(&s);
    Clamp(&c);
    *pitch = AngleFromSinCos(s, c);

    // Turn back by the pitch: rotation about x by minus the angle.
    math::Matrix unpitch;
    unpitch.m[1][1] = c;
    unpitch.m[1][2] = -s;
    unpitch.m[2][1] = s;
    unpitch.m[2][2] = c;
    TransformCoord(&y, y, unpitch);
    y = math::Vec3Normalize(y);
    s = -y.x;
    c = y.y;
    *roll = AngleFromSinCos(s, c);
}
