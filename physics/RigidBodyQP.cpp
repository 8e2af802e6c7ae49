#include "physics/RigidBodyQP.h"

#include <cmath>
#include <cstring>

#include "app/Console.h"

ERigidBodyGauss g_RigidBodyGauss;
ERigidBodyQP g_RigidBodyQP;

bool ERigidBodyGauss::Elimination(uint32_t m) {
    if (m == 0) return false;
    if (m >= MAX_RIGIDBODYGAUSS_N) {
        g_Console.Print("ERROR in ERigidBodyGauss::Elimination(): n>=MAX_RIGIDBODYGAUSS_N");
        return false;
    }
    double* A = m_A;
    for (uint32_t k = 0; k < m; ++k) {
        // The largest signed value, not the largest magnitude.
        uint32_t p = k;
        for (uint32_t i = k + 1; i < m; ++i)
            if (A[i * m + k] > A[p * m + k]) p = i;
        if (p != k) {
            // Columns left of k are zero in both rows.
            for (uint32_t j = k; j < m; ++j) {
                const double t = A[p * m + j];
                A[p * m + j] = A[k * m + j];
                A[k * m + j] = t;
            }
            const double t = m_b[p];
            m_b[p] = m_b[k];
            m_b[k] = t;
        }
        const double pivot = A[k * m + k];
        if (pivot == 0.0) return false;
        for (uint32_t i = k + 1; i < m; ++i) {
            const double factor = A[i * m + k] / pivot;
            A[i * m + k] = 0;
            for (uint32_t j = k + 1; j < m; ++j)
                A[i * m + j] -= A[k * m + j] * factor;
            m_b[i] -= factor * m_b[k];
        }
    }
    for (uint32_t i = m; i-- > 0;) {
        double sum = m_b[i];
        for (uint32_t j = i + 1; j < m; ++j)
            sum -= A[i * m + j] * m_x[j];
        if (A[i * m + i] == 0.0) return false;
        m_x[i] = sum / A[i * m + i];
    }
    return true;
}

bool ERigidBodyQP::ComputeForces(uint32_t n, const double* A, const double* b, bool check) {
    std::memset(m_f, 0, sizeof m_f);
    if (!A || !b) return false;
    m_n = n;
    m_pA = A;
    m_pb = b;
    if (n >= MAX_N) return false;
    m_bFailed = 0;
    for (uint32_t i = 0; i < n; ++i) {
        m_f[i] = 0;
        m_a[i] = b[i];
        m_bInC[i] = 0;
        m_bInNC[i] = 0;
    }
    if (check && !IsMatrixPSD()) {
        m_bFailed = 1;
        g_Console.Print("ERROR in ERigidBodyQP::ComputeForces()    Matrix A is NOT PSD");
        return false;
    }
    for (int round = 0; round < MAX_ROUNDS; ++round) {
        uint32_t d = 0;
        while (d < n && (m_bInC[d] || m_bInNC[d] || !(m_a[d] < 0)))
            ++d;
        if (d == n) return true;
        DriveToZero(d);
        if (m_bFailed) return false;
    }
    return false;
}

bool ERigidBodyQP::IsMatrixPSD() const {
    const double* A = m_pA;
    for (uint32_t i = 0; i < m_n; ++i) {
        if (A[i * m_n + i] < 0) return false;
        for (uint32_t j = i + 1; j < m_n; ++j)
            if (std::fabs(A[i * m_n + j] - A[j * m_n + i]) > 0.01) return false;
    }
    return true;
}

void ERigidBodyQP::DriveToZero(uint32_t d) {
    const double* A = m_pA;
    for (int pivot = 0; pivot < MAX_PIVOTS; ++pivot) {
        FDirection(d);
        if (m_bFailed) return;
        // Only the entries of C and d are not zero; they are summed in index
        // order, as the whole row would be.
        for (uint32_t i = 0; i < m_n; ++i) {
            const double* row = A + i * m_n;
            double sum = 0;
            for (uint32_t k = 0; k < m_dwNumMoving; ++k)
                sum += row[m_dwMoving[k]] * m_df[m_dwMoving[k]];
            m_da[i] = sum;
        }
        m_s = 0;
        m_j = 0;
        MaxStep(d);
        if (m_bFailed) return;
        for (uint32_t i = 0; i < m_n; ++i) {
            m_f[i] += m_s * m_df[i];
            m_a[i] += m_s * m_da[i];
        }
        const uint32_t j = static_cast<uint32_t>(m_j);
        if (m_bInC[j]) {
            m_bInC[j] = 0;
            m_bInNC[j] = 1;
        } else if (m_bInNC[j]) {
            m_bInNC[j] = 0;
            m_bInC[j] = 1;
        } else {
            m_bInC[d] = 1;
            return;
        }
    }
}

void ERigidBodyQP::FDirection(uint32_t d) {
    for (uint32_t i = 0; i < m_n; ++i)
        m_df[i] = 0;
    m_df[d] = 1;
    // The clamped indices in increasing order, and their number k; beside
    // them the indices whose force moves (C and d).
    uint32_t clamped[MAX_N];
    uint32_t k = 0;
    m_dwNumMoving = 0;
    for (uint32_t i = 0; i < m_n; ++i) {
        if (m_bInC[i]) clamped[k++] = i;
        if (m_bInC[i] || i == d) m_dwMoving[m_dwNumMoving++] = i;
    }
    if (k == 0) return;
    const double* A = m_pA;
    for (uint32_t r = 0; r < k; ++r) {
        const double* row = A + clamped[r] * m_n;
        double* out = g_RigidBodyGauss.m_A + r * k;
        for (uint32_t c = 0; c < k; ++c)
            out[c] = row[clamped[c]];
        g_RigidBodyGauss.m_b[r] = -row[d];
    }
    if (!g_RigidBodyGauss.Elimination(k)) {
        m_bFailed = 1;
        return;
    }
    for (uint32_t r = 0; r < k; ++r)
        m_df[clamped[r]] = g_RigidBodyGauss.m_x[r];
}

void ERigidBodyQP::MaxStep(uint32_t d) {
    bool found = false;
    m_j = -1;
    if (m_da[d] > 0) {
        m_s = -m_a[d] / m_da[d];
        m_j = static_cast<int32_t>(d);
        found = true;
    }
    // A strictly smaller step replaces the choice: on a tie the earlier index stays.
    const auto consider = [&](double step, uint32_t i) {
        if (!found || step < m_s) {
            m_s = step;
            m_j = static_cast<int32_t>(i);
            found = true;
        }
    };
    for (uint32_t i = 0; i < m_n; ++i)
        if (m_bInC[i] && m_df[i] < 0) consider(-m_f[i] / m_df[i], i);
    for (uint32_t i = 0; i < m_n; ++i)
        if (m_bInNC[i] && m_da[i] < 0) consider(-m_a[i] / m_da[i], i);
    if (!found || m_j < 0) m_bFailed = 1;
}
