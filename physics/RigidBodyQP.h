// The contact-force solver of resting contacts, `ERigidBodyQP` (global
// g_RigidBodyQP), and its linear-system solver `ERigidBodyGauss` (global
// g_RigidBodyGauss).
//
// Given the n x n matrix A and the vector b of n resting contacts (row i: how
// the relative normal acceleration at contact i answers a unit force at each
// contact, and the acceleration without contact forces), ComputeForces looks
// for forces f with f >= 0, a = A f + b >= 0 and f_i a_i = 0 for every i. It
// is a pivoting method: one contact at a time is driven to zero acceleration
// while two index sets are kept, C (clamped: a_i = 0) and NC (not clamped:
// f_i = 0). Each pivot solves the clamped subsystem by Gauss elimination.
//
// Lifetimes: A and b belong to the caller for the length of one call; the
// result f stays in the solver until the next call. Both objects keep all
// their working state in fixed arrays, so a solve allocates nothing; neither
// is re-entrant (main thread only).
//
// Failure policy: every failure is the false result, with f at the forces
// reached so far (zero after an early exit); only a matrix that fails the
// check and an oversized elimination print a console line.
#pragma once

#include <cstdint>

class ERigidBodyGauss {
  public:
    static constexpr uint32_t MAX_RIGIDBODYGAUSS_N = 100;

    // Solves the m x m system held in the first m * m entries of m_A (row
    // stride m) with the right side m_b; true with the solution in m_x. The
    // pivot of a column is its largest signed value from the diagonal down,
    // the earlier row on a tie; an exactly zero pivot fails. m_A and m_b are
    // overwritten.
    bool Elimination(uint32_t m);

    double m_A[MAX_RIGIDBODYGAUSS_N * MAX_RIGIDBODYGAUSS_N] = {};
    double m_b[MAX_RIGIDBODYGAUSS_N] = {};
    double m_x[MAX_RIGIDBODYGAUSS_N] = {};
};

class ERigidBodyQP {
  public:
    static constexpr uint32_t MAX_N = 100; // at most MAX_N - 1 contacts
    static constexpr int MAX_ROUNDS = 30;
    static constexpr int MAX_PIVOTS = 30;

    // A is n x n row-major, b has n entries; with check set, A must pass
    // IsMatrixPSD first. True when every contact is resolved; the forces are
    // in m_f either way.
    bool ComputeForces(uint32_t n, const double* A, const double* b, bool check);

    // The result: one force per contact, the rest zero.
    double m_f[MAX_N] = {};

  private:
    // Only symmetry (within 0.01) and a non-negative diagonal are tested.
    bool IsMatrixPSD() const;
    // Raises the force of contact d until its acceleration reaches zero,
    // moving blocking contacts between C and NC; d ends in C.
    void DriveToZero(uint32_t d);
    // The force change per unit force at d that keeps the clamped
    // accelerations at zero.
    void FDirection(uint32_t d);
    // The largest step along the direction and the index that blocks it.
    void MaxStep(uint32_t d);

    uint32_t m_n = 0;
    const double* m_pA = nullptr;
    const double* m_pb = nullptr;
    double m_a[MAX_N] = {};
    uint8_t m_bInC[MAX_N] = {};
    uint8_t m_bInNC[MAX_N] = {};
    double m_df[MAX_N] = {};
    // The indices of C and d in increasing order: where m_df is not zero.
    uint32_t m_dwMoving[MAX_N] = {};
    uint32_t m_dwNumMoving = 0;
    double m_da[MAX_N] = {};
    double m_s = 0;
    int32_t m_j = -1;
    uint8_t m_bFailed = 0;
};

extern ERigidBodyGauss g_RigidBodyGauss;
extern ERigidBodyQP g_RigidBodyQP;
