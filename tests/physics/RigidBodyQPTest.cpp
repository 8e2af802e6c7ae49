// The contact-force solver and its elimination: the edge cases of both, and
// random contact problems checked for complementarity and against a
// brute-force search of the clamped set.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "physics/RigidBodyQP.h"
#include "tests/world/WorldFixture.h"

namespace {

using Vector = std::vector<double>;

// ---- Elimination ---------------------------------------------------------------------

// Loads an m x m system into the global elimination object.
void LoadSystem(const Vector& A, const Vector& b) {
    std::copy(A.begin(), A.end(), g_RigidBodyGauss.m_A);
    std::copy(b.begin(), b.end(), g_RigidBodyGauss.m_b);
}

struct GaussCase {
    const char* name;
    Vector A;
    Vector b;
    Vector x; // empty: the elimination fails
};

class GaussTest : public ::testing::TestWithParam<GaussCase> {};

TEST_P(GaussTest, Solves) {
    const GaussCase& c = GetParam();
    LoadSystem(c.A, c.b);
    const bool solved = g_RigidBodyGauss.Elimination(uint32_t(c.b.size()));
    ASSERT_EQ(solved, !c.x.empty());
    for (size_t i = 0; i < c.x.size(); ++i)
        EXPECT_NEAR(g_RigidBodyGauss.m_x[i], c.x[i], 1e-12) << "unknown " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GaussTest,
    ::testing::Values(GaussCase{"single", {4}, {2}, {0.5}},
                      GaussCase{"twoByTwo", {2, 1, 1, 3}, {3, 5}, {0.8, 1.4}},
                      GaussCase{"rowsExchanged", {1, 2, 3, 0, 1, 4, 5, 6, 0}, {14, 14, 17}, {1, 2, 3}},
                      // Column 0 holds 0 and -1: the largest signed value is
                      // the exact zero, though the matrix is regular.
                      GaussCase{"zeroIsTheLargestSignedPivot", {0, 1, -1, 0}, {1, 1}, {}},
                      GaussCase{"singular", {1, 2, 2, 4}, {1, 2}, {}}, GaussCase{"empty", {}, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Gauss, PivotIsTheLargestSignedValue) {
    // Column 0: 0.001 below -5. The positive value is the pivot, so row 1
    // comes to the top, though -5 is larger in magnitude.
    LoadSystem({-5, 1, 0.001, 2}, {-4, 2.001});
    ASSERT_TRUE(g_RigidBodyGauss.Elimination(2));
    EXPECT_EQ(g_RigidBodyGauss.m_A[0], 0.001);
    EXPECT_EQ(g_RigidBodyGauss.m_A[1], 2.0);
    EXPECT_EQ(g_RigidBodyGauss.m_b[0], 2.001);
    EXPECT_NEAR(g_RigidBodyGauss.m_x[0], 1.0, 1e-9);
    EXPECT_NEAR(g_RigidBodyGauss.m_x[1], 1.0, 1e-9);
}

TEST(Gauss, EqualValuesKeepTheEarlierRow) {
    LoadSystem({2, 1, 2, 3}, {3, 5});
    ASSERT_TRUE(g_RigidBodyGauss.Elimination(2));
    EXPECT_EQ(g_RigidBodyGauss.m_A[1], 1.0);
    EXPECT_NEAR(g_RigidBodyGauss.m_x[0], 1.0, 1e-12);
    EXPECT_NEAR(g_RigidBodyGauss.m_x[1], 1.0, 1e-12);
}

TEST_F(WorldTest, GaussRefusesItsLimit) {
    MarkConsole();
    EXPECT_FALSE(g_RigidBodyGauss.Elimination(ERigidBodyGauss::MAX_RIGIDBODYGAUSS_N));
    EXPECT_TRUE(PrintedLine("ERROR in ERigidBodyGauss::Elimination(): n>=MAX_RIGIDBODYGAUSS_N"));
    // 99 unknowns: the identity.
    const uint32_t m = 99;
    std::fill(g_RigidBodyGauss.m_A, g_RigidBodyGauss.m_A + m * m, 0.0);
    for (uint32_t i = 0; i < m; ++i) {
        g_RigidBodyGauss.m_A[i * m + i] = 1;
        g_RigidBodyGauss.m_b[i] = double(i);
    }
    ASSERT_TRUE(g_RigidBodyGauss.Elimination(m));
    EXPECT_EQ(g_RigidBodyGauss.m_x[98], 98.0);
}

// ---- ComputeForces ---------------------------------------------------------------------

struct ForcesCase {
    const char* name;
    Vector A;
    Vector b;
    bool check;
    bool solved;
    Vector f;
};

class ForcesTest : public ::testing::TestWithParam<ForcesCase> {};

TEST_P(ForcesTest, Forces) {
    const ForcesCase& c = GetParam();
    const uint32_t n = uint32_t(c.b.size());
    const double none = 0;
    EXPECT_EQ(g_RigidBodyQP.ComputeForces(n, n ? c.A.data() : &none, n ? c.b.data() : &none, c.check),
              c.solved);
    for (uint32_t i = 0; i < n; ++i)
        EXPECT_NEAR(g_RigidBodyQP.m_f[i], c.f[i], 1e-12) << "force " << i;
    for (uint32_t i = n; i < ERigidBodyQP::MAX_N; ++i)
        EXPECT_EQ(g_RigidBodyQP.m_f[i], 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ForcesTest,
    ::testing::Values(ForcesCase{"noContacts", {}, {}, true, true, {}},
                      ForcesCase{"singleContact", {2}, {-4}, true, true, {2}},
                      ForcesCase{"noNegativeAcceleration", {2, 1, 1, 2}, {0, 3}, true, true, {0, 0}},
                      // Contact 1 is pushed away by contact 0's force and needs none.
                      ForcesCase{"oneClampedOneFree", {2, -1, -1, 2}, {-2, 4}, true, true, {1, 0}},
                      ForcesCase{"bothClamped", {2, 1, 1, 2}, {-3, -3}, true, true, {1, 1}},
                      // Driving contact 1 lowers contact 0's force to zero, so 0
                      // leaves the clamped set.
                      ForcesCase{"clampedContactReleased", {1, 2, 2, 5}, {-1, -4}, true, true, {0, 0.8}},
                      ForcesCase{"asymmetryAboveTheLimit", {1, 1.0, 1.02, 1}, {-1, -1}, true, false, {0, 0}},
                      ForcesCase{"asymmetryWithinTheLimit",
                                 {2, 1.0, 1.005, 2},
                                 {-1, -1},
                                 true,
                                 true,
                                 {1.0 / 2.995, 0.995 / 2.995}},
                      ForcesCase{"asymmetryUncheckedSolves", {1, 1.0, 1.02, 1}, {-1, 0}, false, true, {1, 0}},
                      ForcesCase{"negativeDiagonal", {-1}, {1}, true, false, {0}},
                      // While contact 2 is driven, contact 0 comes back from
                      // the free set beside contact 1: the clamped block
                      // (3 3 / 1 1) is singular, its elimination meets an
                      // exact zero pivot, and the forces reached stay.
                      ForcesCase{"zeroPivotFails",
                                 {3, 3, 2, 1, 1, 3, 0, -2, 1},
                                 {-2, -1, -2},
                                 false,
                                 false,
                                 {0, 4.0 / 7, 1.0 / 7}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorldTest, AsymmetricMatrixIsReported) {
    const double A[4] = {1, 1.0, 1.02, 1}, b[2] = {-1, -1};
    MarkConsole();
    EXPECT_FALSE(g_RigidBodyQP.ComputeForces(2, A, b, true));
    EXPECT_TRUE(PrintedLine("ERROR in ERigidBodyQP::ComputeForces()    Matrix A is NOT PSD"));
}

TEST(Forces, NullArgumentsClearTheForces) {
    const double A[1] = {2}, b[1] = {-4};
    ASSERT_TRUE(g_RigidBodyQP.ComputeForces(1, A, b, true));
    EXPECT_FALSE(g_RigidBodyQP.ComputeForces(1, nullptr, b, true));
    EXPECT_EQ(g_RigidBodyQP.m_f[0], 0.0);
    EXPECT_FALSE(g_RigidBodyQP.ComputeForces(1, A, nullptr, true));
}

// A page that cannot be read: a solver that touched A or b would crash.
class UnreadablePage {
  public:
    UnreadablePage() : size_(size_t(::sysconf(_SC_PAGESIZE))) {
        page_ = ::mmap(nullptr, size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    }
    ~UnreadablePage() { ::munmap(page_, size_); }
    const double* data() const { return static_cast<const double*>(page_); }

  private:
    size_t size_;
    void* page_;
};

TEST(Forces, HundredContactsRefusedWithoutTouchingA) {
    UnreadablePage page;
    ASSERT_NE(page.data(), MAP_FAILED);
    EXPECT_FALSE(g_RigidBodyQP.ComputeForces(100, page.data(), page.data(), true));
    EXPECT_FALSE(g_RigidBodyQP.ComputeForces(1000000, page.data(), page.data(), false));
}

TEST(Forces, NinetyNineContactsAccepted) {
    // The identity with 20 contacts pressed: each gets the force that cancels
    // its own acceleration.
    const uint32_t n = 99;
    Vector A(n * n, 0.0), b(n, 1.0);
    for (uint32_t i = 0; i < n; ++i)
        A[i * n + i] = 1;
    for (uint32_t i = 0; i < 20; ++i)
        b[i * 4] = -0.5 * (i + 1);
    ASSERT_TRUE(g_RigidBodyQP.ComputeForces(n, A.data(), b.data(), true));
    for (uint32_t i = 0; i < n; ++i)
        EXPECT_EQ(g_RigidBodyQP.m_f[i], b[i] < 0 ? -b[i] : 0.0) << i;
}

TEST(Forces, ThirtyRoundsAtMost) {
    // 31 contacts that each need their own round.
    const uint32_t n = 31;
    Vector A(n * n, 0.0), b(n, -1.0);
    for (uint32_t i = 0; i < n; ++i)
        A[i * n + i] = 1;
    EXPECT_FALSE(g_RigidBodyQP.ComputeForces(n, A.data(), b.data(), true));
    // The forces reached so far stay.
    EXPECT_EQ(g_RigidBodyQP.m_f[29], 1.0);
    EXPECT_EQ(g_RigidBodyQP.m_f[30], 0.0);
}

// ---- Random contact problems -------------------------------------------------------------

// A B^T + eps I, symmetric positive definite like a contact matrix, and b
// with both signs.
struct Problem {
    uint32_t n;
    Vector A, b;
};

Problem RandomProblem(std::mt19937& rng, uint32_t n) {
    std::uniform_real_distribution<double> u(-1, 1);
    Vector B(n * n);
    for (double& v : B)
        v = u(rng);
    Problem p{n, Vector(n * n, 0.0), Vector(n)};
    for (uint32_t i = 0; i < n; ++i)
        for (uint32_t j = 0; j < n; ++j) {
            for (uint32_t k = 0; k < n; ++k)
                p.A[i * n + j] += B[i * n + k] * B[j * n + k];
            if (i == j) p.A[i * n + j] += 0.05;
        }
    for (double& v : p.b)
        v = u(rng);
    return p;
}

// Solves the system of the indices in `set` by elimination with partial
// (magnitude) pivoting; false when singular.
bool SolveSubset(const Problem& p, const std::vector<uint32_t>& set, Vector* f) {
    const size_t m = set.size();
    std::vector<Vector> M(m, Vector(m + 1));
    for (size_t r = 0; r < m; ++r) {
        for (size_t c = 0; c < m; ++c)
            M[r][c] = p.A[set[r] * p.n + set[c]];
        M[r][m] = -p.b[set[r]];
    }
    for (size_t k = 0; k < m; ++k) {
        size_t best = k;
        for (size_t r = k + 1; r < m; ++r)
            if (std::fabs(M[r][k]) > std::fabs(M[best][k])) best = r;
        std::swap(M[k], M[best]);
        if (std::fabs(M[k][k]) < 1e-14) return false;
        for (size_t r = 0; r < m; ++r) {
            if (r == k) continue;
            const double factor = M[r][k] / M[k][k];
            for (size_t c = k; c <= m; ++c)
                M[r][c] -= factor * M[k][c];
        }
    }
    f->assign(p.n, 0.0);
    for (size_t r = 0; r < m; ++r)
        (*f)[set[r]] = M[r][m] / M[r][r];
    return true;
}

Vector Accelerations(const Problem& p, const Vector& f) {
    Vector a(p.b);
    for (uint32_t i = 0; i < p.n; ++i)
        for (uint32_t j = 0; j < p.n; ++j)
            a[i] += p.A[i * p.n + j] * f[j];
    return a;
}

// The one solution, found by trying every clamped set.
Vector BruteForce(const Problem& p) {
    for (uint32_t mask = 0; mask < (1u << p.n); ++mask) {
        std::vector<uint32_t> set;
        for (uint32_t i = 0; i < p.n; ++i)
            if (mask & (1u << i)) set.push_back(i);
        Vector f;
        if (!SolveSubset(p, set, &f)) continue;
        const Vector a = Accelerations(p, f);
        bool ok = true;
        for (uint32_t i = 0; i < p.n && ok; ++i)
            ok = f[i] >= -1e-12 && (mask & (1u << i) || a[i] >= -1e-12);
        if (ok) return f;
    }
    return {};
}

double Largest(const Vector& v) {
    double m = 1.0;
    for (double x : v)
        m = std::max(m, std::fabs(x));
    return m;
}

TEST(ForcesRandom, ComplementarityUpTo20Contacts) {
    std::mt19937 rng(1234);
    for (uint32_t n = 1; n <= 20; ++n) {
        for (int trial = 0; trial < 20; ++trial) {
            const Problem p = RandomProblem(rng, n);
            ASSERT_TRUE(g_RigidBodyQP.ComputeForces(n, p.A.data(), p.b.data(), true)) << "n " << n;
            const Vector f(g_RigidBodyQP.m_f, g_RigidBodyQP.m_f + n);
            const Vector a = Accelerations(p, f);
            const double scale = Largest(f) * Largest(p.A) + Largest(p.b);
            for (uint32_t i = 0; i < n; ++i) {
                EXPECT_GE(f[i], -1e-9 * Largest(f)) << "n " << n << " trial " << trial;
                EXPECT_GE(a[i], -1e-9 * scale) << "n " << n << " trial " << trial;
                EXPECT_LE(std::fabs(f[i] * a[i]), 1e-9 * scale * Largest(f))
                    << "n " << n << " trial " << trial;
            }
        }
    }
}

TEST(ForcesRandom, MatchesBruteForceUpTo8Contacts) {
    std::mt19937 rng(99);
    for (uint32_t n = 1; n <= 8; ++n) {
        for (int trial = 0; trial < 25; ++trial) {
            const Problem p = RandomProblem(rng, n);
            const Vector expected = BruteForce(p);
            ASSERT_EQ(expected.size(), n);
            ASSERT_TRUE(g_RigidBodyQP.ComputeForces(n, p.A.data(), p.b.data(), true));
            for (uint32_t i = 0; i < n; ++i)
                EXPECT_NEAR(g_RigidBodyQP.m_f[i], expected[i], 1e-9 * Largest(expected))
                    << "n " << n << " trial " << trial << " contact " << i;
        }
    }
}

} // namespace
