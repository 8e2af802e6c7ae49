// Pure 3D geometry shared by collision, the renderer's mesh and box tests,
// rigid bodies, rag-dolls, skinned-mesh hit tests, characters and visibility
// blockers. No state, no allocation; results through return values and
// optional out pointers (a null optional output is simply not written).
//
// Conventions: row vectors, p' = p x M with the translation in the fourth row.
// A segment runs from a (t = 0) to b (t = 1). A triangle's normal is
// (T1 - T0) x (T2 - T0); every test treats both sides alike. Box corners are
// numbered as BoxCorners writes them, and the corner-based routines accept a
// rotated box as long as the eight points keep those roles.
//
// The tolerances are part of the contract (callers depend on what counts as a
// hit at the edges): a triangle whose normal has every component within 0.01
// of zero is degenerate; a segment must have its ends strictly on opposite
// sides of a triangle's plane; edges and corners of a triangle count as
// inside; box bounds are inclusive.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

// out = (x, y, z, 1) x M, first three components, without the divide by w.
// out may be the same vector as p.
void TransformCoord(math::Vec3* out, const math::Vec3& p, const math::Matrix& m);

// A vector perpendicular to v: two components |v|, the third solved so that
// the dot product with v is 0. The solved component is the one of largest
// magnitude, so nothing is divided by 0; the zero vector gives zero.
void PerpendicularVector(math::Vec3* out, const math::Vec3& v);

// The rotation turning the direction of a onto the direction of b: axis
// a x b (not normalised; PerpendicularVector of a's direction when a and b are
// parallel, opposite or nearly equal), angle acos of the directions' dot
// product, and the matrix of that rotation.
void RotationBetweenVectors(const math::Vec3& a, const math::Vec3& b, math::Matrix* outMatrix,
                            math::Vec3* outAxis, float* outAngle);

// Distance from p to the segment; the closest point is written when asked.
float DistancePointSegment(const math::Vec3& p, const math::Vec3& a, const math::Vec3& b,
                           math::Vec3* closest = nullptr);

// Squared distance between segments p0-p1 and q0-q1; s and t are the
// parameters (0..1) of the closest points on each.
float SqrDistSegmentSegment(const math::Vec3& p0, const math::Vec3& p1, const math::Vec3& q0,
                            const math::Vec3& q1, float* s = nullptr, float* t = nullptr);

// True when the segment comes within the radius of the centre (touching counts).
bool SegmentSphereOverlap(const math::Vec3& a, const math::Vec3& b, const math::Vec3& centre, float radius);
// True with t (0..1) of the entry point when the segment crosses the sphere's
// surface; a segment starting inside reports its exit; a graze does not count.
bool SegmentSphereIntersect(const math::Vec3& a, const math::Vec3& b, const math::Vec3& centre, float radius,
                            float* t);

bool SegmentTriangleIntersect(const math::Vec3& a, const math::Vec3& b, const math::Vec3& t0,
                              const math::Vec3& t1, const math::Vec3& t2);
// The same test with the caller's plane normal (no degenerate-triangle check).
bool SegmentTriangleIntersectWithNormal(const math::Vec3& a, const math::Vec3& b, const math::Vec3& t0,
                                        const math::Vec3& t1, const math::Vec3& t2, const math::Vec3& normal);
// The same test; once the crossing of the plane is found, t and the point are
// written even when the point then lies outside the triangle.
bool SegmentTriangleIntersectPoint(const math::Vec3& a, const math::Vec3& b, const math::Vec3& t0,
                                   const math::Vec3& t1, const math::Vec3& t2, math::Vec3* point, float* t);
// The same test in double precision, with the tighter parallel threshold 1e-8.
bool SegmentTriangleIntersectDouble(const math::Vec3d& a, const math::Vec3d& b, const math::Vec3d& t0,
                                    const math::Vec3d& t1, const math::Vec3d& t2, math::Vec3d* point,
                                    double* t);

// True when the segment touches the axis-aligned box (an end inside, or a
// crossing of a face within its extent; bounds inclusive).
bool SegmentAABBIntersect(const math::Vec3& a, const math::Vec3& b, const math::Vec3& min,
                          const math::Vec3& max);

// Corners 0 (min x, min y, min z), 1 (max x, min y, min z), 2 (max x, max y, min z),
// 3 (min x, max y, min z), 4..7 the same at max z.
void BoxCorners(const math::Vec3& min, const math::Vec3& max, math::Vec3 corners[8]);
// The twelve triangles of a box over corners in BoxCorners order.
extern const uint16_t BoxTriangleIndices[36];

// True when the triangle and the axis-aligned box touch.
bool TriBoxOverlap(const math::Vec3& t0, const math::Vec3& t1, const math::Vec3& t2, const math::Vec3& min,
                   const math::Vec3& max);
// The same with the box's corners supplied (kept by the caller per box).
bool TriBoxCornersOverlap(const math::Vec3& t0, const math::Vec3& t1, const math::Vec3& t2,
                          const math::Vec3& min, const math::Vec3& max, const math::Vec3 corners[8]);
// True when the segment touches the (possibly rotated) box of eight corners.
bool SegmentBoxCornersIntersect(const math::Vec3& a, const math::Vec3& b, const math::Vec3 corners[8]);

// Three angles of a rotation matrix in radians, each in 0..2 pi. An exact
// quarter turn gives pi/2 or 3 pi/2.
void MatrixToAngles(const math::Matrix& m, float* pitch, float* yaw, float* roll);
