// Baselines for the maths on per-frame and per-triangle paths: matrix
// products, transforming a vertex buffer, quaternion interpolation and the
// segment tests of collision and shots.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "app/Geometry.h"
#include "platform/math/Math.h"

using math::Matrix;
using math::Vec3;

namespace {

struct Sequence {
    uint32_t state = 2024;
    float Next(float lo, float hi) {
        state = state * 1664525u + 1013904223u;
        return lo + (hi - lo) * float(state >> 8) / float(1u << 24);
    }
    Vec3 NextVec(float range) { return {Next(-range, range), Next(-range, range), Next(-range, range)}; }
};

void BM_MatrixMultiply(benchmark::State& state) {
    Matrix a = math::MatrixRotationYawPitchRoll(0.3f, 0.2f, 0.1f);
    const Matrix b = math::MatrixTranslation(1, 2, 3);
    for (auto _ : state) {
        a = math::MatrixMultiply(a, b);
        benchmark::DoNotOptimize(a);
    }
}
BENCHMARK(BM_MatrixMultiply);

void BM_MatrixInverse(benchmark::State& state) {
    const Matrix m = math::MatrixMultiply(math::MatrixRotationYawPitchRoll(0.3f, 0.2f, 0.1f),
                                          math::MatrixTranslation(1, 2, 3));
    Matrix inv;
    for (auto _ : state) {
        benchmark::DoNotOptimize(math::MatrixInverse(m, &inv));
        benchmark::DoNotOptimize(inv);
    }
}
BENCHMARK(BM_MatrixInverse);

// A static-mesh vertex buffer of 60-byte vertices, positions transformed in place.
void BM_TransformVertexArray(benchmark::State& state) {
    struct Vertex {
        Vec3 position;
        uint32_t colour;
        float rest[11];
    };
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<Vertex> vertices(count);
    Sequence seq;
    for (auto& v : vertices)
        v.position = seq.NextVec(100);
    const Matrix m = math::MatrixMultiply(math::MatrixRotationY(0.001f), math::MatrixTranslation(0, 0, 0));
    for (auto _ : state) {
        math::Vec3TransformCoordArray(&vertices[0].position, sizeof(Vertex), &vertices[0].position,
                                      sizeof(Vertex), m, count);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(count));
}
BENCHMARK(BM_TransformVertexArray)->Arg(1024)->Arg(65536);

void BM_QuatSlerp(benchmark::State& state) {
    const math::Quat a = math::QuatRotationYawPitchRoll(0.3f, 0.2f, 0.1f);
    const math::Quat b = math::QuatRotationYawPitchRoll(-1.0f, 0.5f, 0.4f);
    float t = 0;
    for (auto _ : state) {
        t = t < 1 ? t + 0.001f : 0;
        benchmark::DoNotOptimize(math::QuatSlerp(a, b, t));
    }
}
BENCHMARK(BM_QuatSlerp);

// Random segments against random triangles: a mix of hits and early misses.
void BM_SegmentTriangle(benchmark::State& state) {
    Sequence seq;
    constexpr int kCases = 1024;
    std::vector<Vec3> points(kCases * 5);
    for (auto& p : points)
        p = seq.NextVec(10);
    int i = 0;
    int64_t hits = 0;
    for (auto _ : state) {
        const Vec3* p = &points[std::size_t(i) * 5];
        hits += SegmentTriangleIntersect(p[0], p[1], p[2], p[3], p[4]);
        i = (i + 1) % kCases;
    }
    benchmark::DoNotOptimize(hits);
}
BENCHMARK(BM_SegmentTriangle);

void BM_SegmentTriangleDouble(benchmark::State& state) {
    Sequence seq;
    constexpr int kCases = 1024;
    std::vector<math::Vec3d> points(kCases * 5);
    for (auto& p : points) {
        const Vec3 v = seq.NextVec(10);
        p = {v.x, v.y, v.z};
    }
    int i = 0;
    math::Vec3d q;
    double t = 0;
    int64_t hits = 0;
    for (auto _ : state) {
        const math::Vec3d* p = &points[std::size_t(i) * 5];
        hits += SegmentTriangleIntersectDouble(p[0], p[1], p[2], p[3], p[4], &q, &t);
        i = (i + 1) % kCases;
    }
    benchmark::DoNotOptimize(hits);
}
BENCHMARK(BM_SegmentTriangleDouble);

void BM_SegmentAABB(benchmark::State& state) {
    Sequence seq;
    constexpr int kCases = 1024;
    std::vector<Vec3> points(kCases * 2);
    for (auto& p : points)
        p = seq.NextVec(20);
    const Vec3 min(-5, -5, -5), max(5, 5, 5);
    int i = 0;
    int64_t hits = 0;
    for (auto _ : state) {
        hits += SegmentAABBIntersect(points[std::size_t(i) * 2], points[std::size_t(i) * 2 + 1], min, max);
        i = (i + 1) % kCases;
    }
    benchmark::DoNotOptimize(hits);
}
BENCHMARK(BM_SegmentAABB);

void BM_SegmentBoxCorners(benchmark::State& state) {
    Sequence seq;
    constexpr int kCases = 1024;
    std::vector<Vec3> points(kCases * 2);
    for (auto& p : points)
        p = seq.NextVec(20);
    Vec3 corners[8];
    BoxCorners({-5, -5, -5}, {5, 5, 5}, corners);
    const Matrix r = math::MatrixRotationYawPitchRoll(0.4f, 0.3f, 0.2f);
    for (Vec3& c : corners)
        c = math::Vec3TransformCoord(c, r);
    int i = 0;
    int64_t hits = 0;
    for (auto _ : state) {
        hits +=
            SegmentBoxCornersIntersect(points[std::size_t(i) * 2], points[std::size_t(i) * 2 + 1], corners);
        i = (i + 1) % kCases;
    }
    benchmark::DoNotOptimize(hits);
}
BENCHMARK(BM_SegmentBoxCorners);

void BM_SqrDistSegmentSegment(benchmark::State& state) {
    Sequence seq;
    constexpr int kCases = 1024;
    std::vector<Vec3> points(kCases * 4);
    for (auto& p : points)
        p = seq.NextVec(10);
    int i = 0;
    float s = 0, t = 0;
    for (auto _ : state) {
        const Vec3* p = &points[std::size_t(i) * 4];
        benchmark::DoNotOptimize(SqrDistSegmentSegment(p[0], p[1], p[2], p[3], &s, &t));
        i = (i + 1) % kCases;
    }
}
BENCHMARK(BM_SqrDistSegmentSegment);

} // namespace
