// Inference of the multiscale model from its back-fitting operator.
//
// With the bandwidths fixed, the back-fitting is linear in the response:
// at its fixed point term j = R_j y and beta_j = P_j y (R_j = diag(x_j) P_j),
// and the hat matrix of the model is S = sum_j R_j (Yu, Fotheringham, Li,
// Oshan, Kang and Wolf 2019).  The fixed point is unique, so the back-fitting
// applied to the unit vector e_k (with the same smoothers, the same
// bandwidths and the same convergence test, from terms 0) converges to
// column k of every R_j and P_j.  As the fit starts from the single-bandwidth
// estimates, the operator starts from the single-bandwidth model's hat
// matrix split by parameter (beta_i = C_i X'W_i y on the fitting scale,
// C_i = (X'W_i X)^-1), which is as close: far fewer rounds than from 0.
// Blocks of unit vectors are run together;
// each block adds to every row i its entries of the diagonal of R_j and the
// squares of row i of P_j, so nothing of size n x n is ever held: memory is
// K + 2 blocks of n x B values.  Every sum over a row is formed in column
// order and the blocks follow each other in order, so the results do not
// depend on the number of threads.
#include <algorithm>
#include <cmath>
#include <vector>

#include "control/progress.h"
#include "gaussian/gaussian.h"
#include "gaussian/neighbours.h"
#include "gaussian/parallel.h"
#include "multiscale/multiscale.h"

namespace gwr {

void msinfer(state& s, ms_model& m) {
    const int n = m.n, K = m.K;
    const int B = ms_block;
    const std::size_t nb = static_cast<std::size_t>(n) * B;
    // Row-major blocks: entry (i, c) at i * B + c, so the B columns of one
    // observation are contiguous for the smoother's inner loop.
    std::vector<double> P(nb * K);   // coefficient responses, one block per column j
    std::vector<double> fit(nb);     // sum_j x_j P_j: the fitted responses
    std::vector<double> res(nb);     // partial residuals
    std::vector<double> change(n), fsq(n);
    std::vector<double> acc(static_cast<std::size_t>(nthreads()) * B);
    const double* xo = s.struc2.xobs.data();
    const double* yo = s.struc2.yobs.data();

    m.rdiag.resize(n, K);
    m.pss.resize(n, K);
    m.pss0.assign(n, 0.0);
    m.oprounds = 0;
    size_pool(s);
    // The single-bandwidth model's inverse cross products C_i, K x K per
    // observation, on the fitting scale.
    const bool gwr_start = m.bw0 > 0.0;
    const std::size_t KK = static_cast<std::size_t>(K) * K;
    std::vector<double> C(gwr_start ? KK * n : 0);
    auto start_bw = [&] { return s.run().adaptive() ? (s.fit5.nnear = static_cast<int>(m.bw0 + 0.5), m.bw0) : m.bw0; };
    if (gwr_start) {
        const double h0 = start_bw();
        genwgt_check(s);
        nbscope nbs(s);
#pragma omp parallel
        {
            work& w = thread_work(s, thread_num());
#pragma omp for schedule(dynamic, 16)
            for (int i = 0; i < n; ++i) {
                genwgt_at(s, w, xo[i], yo[i], h0);
                double* A = w.xtwx.a.data();
                std::fill(A, A + KK, 0.0);
                auto add = [&](int k) {
                    const double wk = w.wt[k];
                    for (int a = 0; a < K; ++a)
                        for (int b = 0; b < K; ++b) A[b * K + a] += m.xs(k, a) * wk * m.xs(k, b);
                };
                if (w.nnbr >= 0) {
                    for (int t = 0; t < w.nnbr; ++t) add(w.nbr[t]);
                } else {
                    for (int k = 0; k < n; ++k)
                        if (w.wt[k] != 0.0) add(k);
                }
                syminv(A, K, C.data() + KK * i, w);
            }
        }
    }
    const int nblocks = (n + B - 1) / B;
    for (int blk = 0; blk < nblocks; ++blk) {
        progress::report(s, "inference", blk, nblocks);
        const int k0 = blk * B;
        const int nc = std::min(B, n - k0);
        std::fill(P.begin(), P.end(), 0.0);
        std::fill(fit.begin(), fit.end(), 0.0);
        if (gwr_start) {
            // Column k of the single-bandwidth hat matrix, split by parameter:
            // P_j(i, k) = (C_i x_k)_j w_ik, for the block's unit vectors k
            // among the neighbours of i.
            const double h0 = start_bw();
            nbscope nbs(s);
#pragma omp parallel
            {
                work& w = thread_work(s, thread_num());
#pragma omp for schedule(dynamic, 16)
                for (int i = 0; i < n; ++i) {
                    genwgt_at(s, w, xo[i], yo[i], h0);
                    const double* Ci = C.data() + KK * i;
                    const std::size_t at = static_cast<std::size_t>(i) * B;
                    for (int c = 0; c < nc; ++c) {
                        const int k = k0 + c;
                        const double wk = w.wt[k];
                        if (wk == 0.0) continue;
                        double f = 0.0;
                        for (int j = 0; j < K; ++j) {
                            double p = 0.0;
                            for (int a = 0; a < K; ++a) p += Ci[a * K + j] * m.xs(k, a);
                            p *= wk;
                            P[nb * j + at + c] = p;
                            f += m.xs(i, j) * p;
                        }
                        fit[at + c] = f;
                    }
                }
            }
        }
        int rounds = 0;
        for (int round = 1; round <= m.maxrounds; ++round) {
            rounds = round;
            std::fill(change.begin(), change.end(), 0.0);
            for (int j = 0; j < K; ++j) {
                const double* xj = m.xs.col(j);
                const double* dj = m.denom.data() + static_cast<std::size_t>(j) * n;
                double* Pj = P.data() + nb * j;
                // Partial residual of the unit vectors: e_k less the other terms.
                for (int i = 0; i < n; ++i) {
                    double* ri = res.data() + static_cast<std::size_t>(i) * B;
                    const double* fi = fit.data() + static_cast<std::size_t>(i) * B;
                    const double* pi = Pj + static_cast<std::size_t>(i) * B;
                    for (int c = 0; c < nc; ++c) ri[c] = -fi[c] + xj[i] * pi[c];
                    const int c = i - k0;
                    if (c >= 0 && c < nc) ri[c] += 1.0;
                }
                const double h = s.run().adaptive() ? (s.fit5.nnear = static_cast<int>(m.bw[j] + 0.5), m.bw[j])
                                                    : m.bw[j];
                genwgt_check(s);
                nbscope nbs(s);
#pragma omp parallel
                {
                    work& w = thread_work(s, thread_num());
                    double* a = acc.data() + static_cast<std::size_t>(thread_num()) * B;
#pragma omp for schedule(dynamic, 16)
                    for (int i = 0; i < n; ++i) {
                        genwgt_at(s, w, xo[i], yo[i], h);
                        const double* wt = w.wt.data();
                        std::fill(a, a + nc, 0.0);
                        auto add = [&](int k) {
                            const double wx = wt[k] * xj[k];
                            const double* rk = res.data() + static_cast<std::size_t>(k) * B;
                            for (int c = 0; c < nc; ++c) a[c] += wx * rk[c];
                        };
                        if (w.nnbr >= 0) {
                            for (int t = 0; t < w.nnbr; ++t) add(w.nbr[t]);
                        } else {
                            for (int k = 0; k < n; ++k)
                                if (wt[k] != 0.0) add(k);
                        }
                        double* pi = Pj + static_cast<std::size_t>(i) * B;
                        double* fi = fit.data() + static_cast<std::size_t>(i) * B;
                        double ch = 0.0;
                        for (int c = 0; c < nc; ++c) {
                            const double p = dj[i] > 0.0 ? a[c] / dj[i] : 0.0;
                            const double d = xj[i] * (p - pi[c]);
                            ch += d * d;
                            fi[c] += d;
                            pi[c] = p;
                        }
                        change[i] += ch;
                    }
                }
            }
            // The score of change of the block, as for the fit, summed in
            // observation order.
            double num = 0.0, den = 0.0;
            for (int i = 0; i < n; ++i) {
                const double* fi = fit.data() + static_cast<std::size_t>(i) * B;
                double f2 = 0.0;
                for (int c = 0; c < nc; ++c) f2 += fi[c] * fi[c];
                num += change[i];
                den += f2;
            }
            const double score = den > 0.0 ? std::sqrt(num / den) : std::sqrt(num);
            if (score < m.tol) break;
        }
        m.oprounds = std::max(m.oprounds, rounds);
        // What the block adds to every row: the diagonal entries of R_j of its
        // unit vectors and the squares of the row's entries of P_j (and of
        // the intercept on the original scale, P_0 - sum_j mean_j / sd_j P_j).
#pragma omp parallel for schedule(static)
        for (int i = 0; i < n; ++i) {
            const std::size_t at = static_cast<std::size_t>(i) * B;
            double orig = 0.0;
            for (int c = 0; c < nc; ++c) {
                double a0 = P[at + c];
                for (int j = 1; j < K; ++j) a0 -= m.mean[j] / m.sd[j] * P[nb * j + at + c];
                orig += a0 * a0;
            }
            m.pss0[i] += orig;
            for (int j = 0; j < K; ++j) {
                const double* pi = P.data() + nb * j + at;
                double ss = 0.0;
                for (int c = 0; c < nc; ++c) ss += pi[c] * pi[c];
                m.pss(i, j) += ss;
            }
            const int c = i - k0;
            if (c >= 0 && c < nc)
                for (int j = 0; j < K; ++j) m.rdiag(i, j) = m.xs(i, j) * P[nb * j + at + c];
        }
    }
    progress::report(s, "inference", nblocks, nblocks);
    m.inferred = true;
}

}  // namespace gwr
