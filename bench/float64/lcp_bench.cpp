// The contact-force solver beside Bullet's Dantzig solver (btSolveDantzigLCP
// of the double-precision build): random contact problems A = B B^T + eps I
// with b of both signs, n = 4, 8, 16, 32 and 48, the same set for both.
//
// Before timing, every problem is solved by both and the forces must agree
// within 1e-6 relative (the solution of a positive-definite problem is
// unique). The counters give ours and Bullet's solves per second, their ratio
// (above 1: ours is faster) and the worst complementarity residual of each,
// max(-f_i, -a_i, |f_i a_i|) relative to the problem's scale.
//
// Ours is called without the symmetry check, as Bullet has none.
//
// Bullet solves A x = b' + w with lo <= x <= hi; with b' = -b, lo = 0 and
// hi = infinity its x and w are our f and a. It overwrites A and b, so each
// of its solves works on a copy, which its timing includes.
//
// Built as its own executable (zt_bench_lcp): the double-precision Bullet
// cannot share a process with the single-precision one of zt_bench.
#include <benchmark/benchmark.h>

#include <BulletDynamics/MLCPSolvers/btDantzigLCP.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "physics/RigidBodyQP.h"

namespace {

using Vector = std::vector<double>;

struct Problem {
    int n = 0;
    Vector A, b;
};

constexpr int kProblems = 32;

// B is n x n with entries in -1..1; about a third of b is negative, so that
// the solution clamps a part of the contacts and leaves the rest free.
std::vector<Problem> Problems(int n) {
    std::mt19937 rng(uint32_t(n) * 7919u);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<Problem> problems(kProblems);
    for (Problem& p : problems) {
        p.n = n;
        Vector B(size_t(n) * n);
        for (double& v : B)
            v = u(rng);
        p.A.assign(size_t(n) * n, 0.0);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                double sum = i == j ? 0.05 : 0.0;
                for (int k = 0; k < n; ++k)
                    sum += B[size_t(i) * n + k] * B[size_t(j) * n + k];
                p.A[size_t(i) * n + j] = sum;
            }
        p.b.resize(size_t(n));
        for (double& v : p.b)
            v = u(rng) + 0.35;
    }
    return problems;
}

struct BulletSolver {
    explicit BulletSolver(int n)
        : A(size_t(n) * n), x(size_t(n)), b(size_t(n)), w(size_t(n)), lo(size_t(n), 0.0),
          hi(size_t(n), BT_INFINITY), findex(size_t(n), -1) {}
    bool Solve(const Problem& p) {
        std::copy(p.A.begin(), p.A.end(), A.begin());
        for (int i = 0; i < p.n; ++i)
            b[size_t(i)] = -p.b[size_t(i)];
        std::fill(x.begin(), x.end(), 0.0);
        std::fill(lo.begin(), lo.end(), 0.0);
        std::fill(hi.begin(), hi.end(), BT_INFINITY);
        return btSolveDantzigLCP(p.n, A.data(), x.data(), b.data(), w.data(), 0, lo.data(), hi.data(),
                                 findex.data(), scratch);
    }
    Vector A, x, b, w, lo, hi;
    std::vector<int> findex;
    btDantzigScratchMemory scratch;
};

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

double Largest(const Vector& v) {
    double m = 0;
    for (double x : v)
        m = std::max(m, std::fabs(x));
    return m;
}

// max(-f_i, -a_i, |f_i a_i|) over the contacts, relative to |A| |f| + |b|.
double Residual(const Problem& p, const double* f) {
    const Vector fv(f, f + p.n);
    const double scale = Largest(p.A) * Largest(fv) + Largest(p.b);
    double worst = 0;
    for (int i = 0; i < p.n; ++i) {
        double a = p.b[size_t(i)];
        for (int j = 0; j < p.n; ++j)
            a += p.A[size_t(i) * p.n + j] * f[j];
        worst = std::max(
            {worst, -f[i] / scale, -a / scale, std::fabs(f[i] * a) / (scale * std::max(1.0, Largest(fv)))});
    }
    return worst;
}

void BM_ContactForcesVsBullet(benchmark::State& state) {
    const int n = int(state.range(0));
    const std::vector<Problem> problems = Problems(n);
    BulletSolver bullet(n);
    double ourResidual = 0, bulletResidual = 0;
    for (const Problem& p : problems) {
        const bool ours = g_RigidBodyQP.ComputeForces(uint32_t(n), p.A.data(), p.b.data(), false);
        const bool theirs = bullet.Solve(p);
        if (!ours || !theirs) {
            state.SkipWithError(ours ? "Bullet found no solution" : "ours found no solution");
            return;
        }
        const double scale = std::max(1.0, Largest(bullet.x));
        for (int i = 0; i < n; ++i)
            if (std::fabs(g_RigidBodyQP.m_f[i] - bullet.x[size_t(i)]) > 1e-6 * scale) {
                state.SkipWithError("the forces differ from Bullet's");
                return;
            }
        ourResidual = std::max(ourResidual, Residual(p, g_RigidBodyQP.m_f));
        bulletResidual = std::max(bulletResidual, Residual(p, bullet.x.data()));
    }

    size_t solved = 0;
    for (auto _ : state)
        for (const Problem& p : problems)
            solved += g_RigidBodyQP.ComputeForces(uint32_t(n), p.A.data(), p.b.data(), false);
    benchmark::DoNotOptimize(solved);

    // Bullet's time is CPU time too, as the benchmark's own rates are.
    const int rounds = int(std::max<benchmark::IterationCount>(20, state.iterations()));
    const double start = ThreadSeconds();
    for (int r = 0; r < rounds; ++r)
        for (const Problem& p : problems)
            solved += bullet.Solve(p);
    benchmark::DoNotOptimize(solved);
    const double bulletSeconds = (ThreadSeconds() - start) / double(rounds * problems.size());

    const double solves = double(state.iterations() * problems.size());
    state.counters["solves"] = benchmark::Counter(solves, benchmark::Counter::kIsRate);
    state.counters["bullet_solves"] = 1.0 / bulletSeconds;
    // Finished after the run: our solves per second over Bullet's.
    state.counters["ratio"] = benchmark::Counter(solves * bulletSeconds, benchmark::Counter::kIsRate);
    state.counters["residual"] = ourResidual;
    state.counters["bullet_residual"] = bulletResidual;
}
BENCHMARK(BM_ContactForcesVsBullet)->Arg(4)->Arg(8)->Arg(16)->Arg(32)->Arg(48);

} // namespace
