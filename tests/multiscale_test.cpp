// The multiscale model against computations written out here: the
// back-fitting operator against dense smoother matrices iterated on the
// identity, a constant kernel against closed-form least squares, the
// bandwidths of a surface with a constant, a regional and a local
// coefficient, and the same bytes on one and two threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "gaussian/vexp.h"
#include "multiscale/multiscale.h"
#include "support/testing.h"

namespace {

using testing_support::lines;
using testing_support::mask_times;
using testing_support::read_file;
using testing_support::run_tzm;
using testing_support::tempdir;

using testing_support::lcg;

// n points on a square of side 10 with two predictors and coefficients
// b0 = 1 + 0.2 u, b1 = 0.5 + 0.1 v, b2 = sin(u) (the last varies fastest).
struct dataset {
    int n = 0;
    std::vector<double> u, v, x1, x2, y;
};

dataset make(int n, std::uint64_t seed) {
    dataset d;
    lcg g(seed);
    d.n = n;
    for (int i = 0; i < n; ++i) {
        const double u = 10.0 * g.uniform(), v = 10.0 * g.uniform();
        const double x1 = 3.0 + g.normal(), x2 = g.normal();
        d.u.push_back(u);
        d.v.push_back(v);
        d.x1.push_back(x1);
        d.x2.push_back(x2);
        d.y.push_back(1.0 + 0.2 * u + (0.5 + 0.1 * v) * x1 + std::sin(u) * x2 + 0.3 * g.normal());
    }
    return d;
}

void load(gwr::state& s, const dataset& d, char kernel) {
    const int n = d.n, K = 3;
    s.set_observation_count(n);
    s.set_parameter_count(K);
    testing_support::describe(s, [&](gwr::run_description& r) {
        r.method = gwr::analysis::multiscale;
        testing_support::set_calibration(r, 1);
        testing_support::set_kernel(r, kernel);
    });
    s.size_obs(n);
    s.struc1.xmat.resize(n, K);
    for (int i = 0; i < n; ++i) {
        s.struc2.xobs[i] = d.u[i];
        s.struc2.yobs[i] = d.v[i];
        s.struc2.ydep[i] = d.y[i];
        s.struc1.xmat(i, 0) = 1.0;
        s.struc1.xmat(i, 1) = d.x1[i];
        s.struc1.xmat(i, 2) = d.x2[i];
    }
    s.fit1.xfit = s.struc2.xobs;
    s.fit1.yfit = s.struc2.yobs;
    s.fit3.nloc = n;
    s.output.samepts = 1;
    s.size_loc(n, K);
    s.ws.size(n, K);
}

using matrix = std::vector<double>;  // n x n, row-major

// The adaptive bi-square weights of observation i with N neighbours,
// written out: D the N-th smallest distance, (1 - d^2/D^2)^2 below it.
matrix bisquare(const dataset& d, int N) {
    const int n = d.n;
    matrix w(n * n, 0.0);
    std::vector<double> ds(n);
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < n; ++k) {
            const double du = d.u[i] - d.u[k], dv = d.v[i] - d.v[k];
            ds[k] = du * du + dv * dv;
        }
        std::vector<double> sorted = ds;
        std::sort(sorted.begin(), sorted.end());
        const double D = sorted[N - 1];
        for (int k = 0; k < n; ++k)
            if (ds[k] < D) w[i * n + k] = (1.0 - ds[k] / D) * (1.0 - ds[k] / D);
    }
    return w;
}

// The operator route to the diagonal of every R_j, its traces and the row
// sums of squares of the coefficient operators equals the dense
// computation: smoother matrices A_j of the one-predictor fits, and the
// back-fitting R_j <- diag(x_j) A_j (I - sum_{l != j} R_l) iterated on the
// identity to its fixed point.  The fit itself equals P_j y.
TEST(Multiscale, OperatorEqualsDenseBackfittingOnTheIdentity) {
    const dataset d = make(60, 7);
    const int n = d.n, K = 3;
    const int sizes[K] = {45, 20, 12};
    for (bool scale : {false, true}) {
        std::ostringstream out, err;
        std::istringstream in;
        gwr::state s(in, out, err);
        load(s, d, 'v');
        gwr::ms_model m;
        gwr::msdesign(s, m, scale);
        for (int j = 0; j < K; ++j) m.bw[j] = sizes[j];
        // The operator starts from 0, or from a single-bandwidth fit's hat
        // matrix split by parameter: the fixed point is the same.
        m.bw0 = scale ? 30.0 : 0.0;
        // Near the fixed point, so that the comparison is tight.
        m.tol = 1e-11;
    m.maxrounds = 100000;
        gwr::msfit(s, m, false);
        ASSERT_TRUE(m.converged);
        gwr::msinfer(s, m);

        // Dense smoother matrices of the one-predictor fits.
        std::vector<matrix> A(K);
        for (int j = 0; j < K; ++j) {
            const matrix w = bisquare(d, sizes[j]);
            A[j].assign(n * n, 0.0);
            for (int i = 0; i < n; ++i) {
                double den = 0.0;
                for (int k = 0; k < n; ++k) den += w[i * n + k] * m.xs(k, j) * m.xs(k, j);
                for (int k = 0; k < n; ++k) A[j][i * n + k] = w[i * n + k] * m.xs(k, j) / den;
            }
        }
        std::vector<matrix> P(K, matrix(n * n, 0.0)), R(K, matrix(n * n, 0.0));
        for (int round = 0; round < 5000; ++round) {
            double change = 0.0;
            for (int j = 0; j < K; ++j) {
                matrix res(n * n, 0.0);  // I - sum_{l != j} R_l
                for (int i = 0; i < n; ++i) res[i * n + i] = 1.0;
                for (int l = 0; l < K; ++l)
                    if (l != j)
                        for (int t = 0; t < n * n; ++t) res[t] -= R[l][t];
                for (int i = 0; i < n; ++i)
                    for (int k = 0; k < n; ++k) {
                        double p = 0.0;
                        for (int q = 0; q < n; ++q) p += A[j][i * n + q] * res[q * n + k];
                        const double r = m.xs(i, j) * p;
                        change = std::max(change, std::fabs(r - R[j][i * n + k]));
                        P[j][i * n + k] = p;
                        R[j][i * n + k] = r;
                    }
            }
            if (change < 1e-15) break;
        }
        double trS = 0.0, trS_op = 0.0;
        for (int j = 0; j < K; ++j) {
            double tr = 0.0, tr_op = 0.0;
            for (int i = 0; i < n; ++i) {
                tr += R[j][i * n + i];
                tr_op += m.rdiag(i, j);
                EXPECT_NEAR(m.rdiag(i, j), R[j][i * n + i], 1e-8) << "scale " << scale << " j " << j << " i " << i;
                double ss = 0.0, b = 0.0;
                for (int k = 0; k < n; ++k) {
                    ss += P[j][i * n + k] * P[j][i * n + k];
                    b += P[j][i * n + k] * d.y[k];
                }
                EXPECT_NEAR(m.pss(i, j), ss, 1e-7 * ss) << "scale " << scale << " j " << j << " i " << i;
                EXPECT_NEAR(m.beta(i, j), b, 1e-7 * (1.0 + std::fabs(b)));
            }
            EXPECT_NEAR(tr_op, tr, 1e-7);
            trS += tr;
            trS_op += tr_op;
        }
        EXPECT_NEAR(trS_op, trS, 1e-7);
        // The intercept on the original scale: rows of P_0 - sum_j mean_j/sd_j P_j.
        for (int i = 0; i < n; ++i) {
            double ss = 0.0;
            for (int k = 0; k < n; ++k) {
                double a = P[0][i * n + k];
                for (int j = 1; j < K; ++j) a -= m.mean[j] / m.sd[j] * P[j][i * n + k];
                ss += a * a;
            }
            EXPECT_NEAR(m.pss0[i], ss, 1e-7 * ss);
        }
    }
}

// With a fixed Gaussian kernel so wide that every weight is 1, every
// smoother is a global one-predictor regression, and the back-fitting
// converges to the global least-squares fit, which the single-bandwidth
// model also is there; the hat matrix is then the projection, of trace K.
TEST(Multiscale, ConstantWeightsGiveTheGlobalLeastSquaresFit) {
    const dataset d = make(80, 11);
    const int n = d.n, K = 3;
    std::ostringstream out, err;
    std::istringstream in;
    gwr::state s(in, out, err);
    load(s, d, 'f');
    gwr::ms_model m;
    gwr::msdesign(s, m, true);
    for (int j = 0; j < K; ++j) m.bw[j] = 1e9;
    m.tol = 1e-11;
    m.maxrounds = 100000;
    gwr::msfit(s, m, false);
    ASSERT_TRUE(m.converged);
    gwr::msinfer(s, m);

    // Normal equations X'X b = X'y, solved by Cramer's rule.
    double a[3][3] = {}, r[3] = {};
    for (int i = 0; i < n; ++i) {
        const double x[3] = {1.0, d.x1[i], d.x2[i]};
        for (int p = 0; p < 3; ++p) {
            r[p] += x[p] * d.y[i];
            for (int q = 0; q < 3; ++q) a[p][q] += x[p] * x[q];
        }
    }
    auto det = [](double m3[3][3]) {
        return m3[0][0] * (m3[1][1] * m3[2][2] - m3[1][2] * m3[2][1]) -
               m3[0][1] * (m3[1][0] * m3[2][2] - m3[1][2] * m3[2][0]) +
               m3[0][2] * (m3[1][0] * m3[2][1] - m3[1][1] * m3[2][0]);
    };
    const double D = det(a);
    double b[3];
    for (int c = 0; c < 3; ++c) {
        double t[3][3];
        for (int p = 0; p < 3; ++p)
            for (int q = 0; q < 3; ++q) t[p][q] = q == c ? r[p] : a[p][q];
        b[c] = det(t) / D;
    }
    // On the fitting scale: the slopes times the predictors' spread, the
    // intercept at their means.
    const double bs[3] = {b[0] + m.mean[1] * b[1] + m.mean[2] * b[2], b[1] * m.sd[1], b[2] * m.sd[2]};
    double tr = 0.0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < K; ++j) {
            EXPECT_NEAR(m.beta(i, j), bs[j], 1e-7 * (1.0 + std::fabs(bs[j])));
            tr += m.rdiag(i, j);
        }
    }
    EXPECT_NEAR(tr, 3.0, 1e-7);
}

// Each parameter's bandwidth interval is the smallest set of sizes holding
// 95 % of the Akaike weights of its smoother's AICc, computed here from
// dense bi-square weights at every size of the search range on the
// parameter's partial residual at convergence.
TEST(Multiscale, BandwidthIntervalsFromEachSmoothersAkaikeWeights) {
    const dataset d = make(60, 5);
    const int n = d.n, K = 3;
    std::ostringstream out, err;
    std::istringstream in;
    gwr::state s(in, out, err);
    load(s, d, 'v');
    gwr::ms_model m;
    gwr::msdesign(s, m, true);
    for (int j = 0; j < K; ++j) m.bw[j] = 30;
    gwr::msfit(s, m, true);
    ASSERT_TRUE(m.converged);
    const std::vector<gwr::bwresult> iv = gwr::msinterval(s, m);
    ASSERT_EQ(static_cast<int>(iv.size()), K);
    const int lo = static_cast<int>(m.lo + 0.5), hi = static_cast<int>(m.hi + 0.5);
    ASSERT_LT(lo, hi);
    int narrow = 0;
    for (int j = 0; j < K; ++j) {
        std::vector<double> r(n);
        for (int i = 0; i < n; ++i) {
            double f = 0.0;
            for (int l = 0; l < K; ++l)
                if (l != j) f += m.xs(i, l) * m.beta(i, l);
            r[i] = d.y[i] - f;
        }
        std::vector<double> aicc;
        std::vector<int> size;
        for (int N = lo; N <= hi; ++N) {
            const matrix w = bisquare(d, N);
            double rss = 0.0, tr = 0.0;
            for (int i = 0; i < n; ++i) {
                double a = 0.0, c = 0.0;
                for (int k = 0; k < n; ++k) {
                    a += w[i * n + k] * m.xs(k, j) * m.xs(k, j);
                    c += w[i * n + k] * m.xs(k, j) * r[k];
                }
                const double e = r[i] - m.xs(i, j) * c / a;
                rss += e * e;
                tr += m.xs(i, j) * m.xs(i, j) * w[i * n + i] / a;
            }
            if (n - 2.0 - tr <= 0.0) continue;
            aicc.push_back(n * (std::log(2.0 * 3.141592653589793 * rss / n) + 1.0 + 2.0 * (tr + 1.0) / (n - 2.0 - tr)));
            size.push_back(N);
        }
        const double amin = *std::min_element(aicc.begin(), aicc.end());
        std::vector<std::pair<double, int>> wt;
        double total = 0.0;
        for (std::size_t t = 0; t < aicc.size(); ++t) {
            wt.emplace_back(std::exp(-(aicc[t] - amin) / 2.0), size[t]);
            total += wt.back().first;
        }
        std::stable_sort(wt.begin(), wt.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        double held = 0.0;
        int from = hi, to = lo, count = 0;
        for (const auto& [v, N] : wt) {
            if (held >= 0.95) break;
            held += v / total;
            from = std::min(from, N);
            to = std::max(to, N);
            ++count;
        }
        EXPECT_EQ(iv[j].count, count) << "parameter " << j;
        EXPECT_EQ(static_cast<int>(iv[j].lo), from) << "parameter " << j;
        EXPECT_EQ(static_cast<int>(iv[j].hi), to) << "parameter " << j;
        if (to - from < hi - lo) ++narrow;
    }
    EXPECT_GT(narrow, 0);  // the weights rule some sizes out
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// The smoother from the kept neighbour distances gives the bits of the
// smoother through the neighbour search (the full scan below 1024
// observations, the grid above), with coincident points (ties at D, and
// D = 0 for the smallest sizes) and leave-one-out, on every vector path,
// also after sizes were evicted from the store; and the whole back-fitting
// with its bandwidth searches gives the same bits on every path.
TEST(Multiscale, KeptDistancesGiveTheSearchBitsOnEveryVectorPath) {
    using gwr::vector_isa;
    struct path {
        bool loops;
        vector_isa cap;
    };
    std::vector<path> paths{{false, vector_isa::avx512}};
    if (gwr::vector_isa_available() >= vector_isa::avx2) paths.push_back({true, vector_isa::avx2});
    if (gwr::vector_isa_available() >= vector_isa::avx512) paths.push_back({true, vector_isa::avx512});
    for (int n : {300, 1500}) {
        dataset d = make(n, 17);
        for (int i = 7; i < n; i += 7) {
            d.u[i] = d.u[i - 3];
            d.v[i] = d.v[i - 3];
        }
        std::ostringstream out, err;
        std::istringstream in;
        gwr::state s(in, out, err);
        load(s, d, 'v');
        gwr::ms_model m;
        gwr::msdesign(s, m, true);
        gwr::ms_reach q;
        gwr::msreach_init(s, q);
        ASSERT_TRUE(q.on);
        std::vector<int> sizes{1, 2, 9, 37, n / 3, n};
        if (n == 300)  // more sizes than the store holds, then the first ones again
            for (int k = 0; k < gwr::ms_sizes; ++k) sizes.push_back(41 + 3 * k);
        if (n == 300) sizes.insert(sizes.end(), {1, 2, 9});
        std::vector<double> b0(n), d0(n), e2(n), hd(n), b(n), dn(n);
        int pass = 0;
        for (int nn : sizes) {
            const int j = pass++ % 3;
            const bool loo = pass % 2 == 0;
            s.vector_loops = true;
            s.vector_cap = vector_isa::avx512;
            const double c0 = gwr::mssmooth(s, m, j, nn, d.y.data(), b0.data(), d0.data(), e2, hd, loo);
            for (const path& p : paths) {
                s.vector_loops = p.loops;
                s.vector_cap = p.cap;
                const double c = gwr::mssmooth(s, m, j, nn, d.y.data(), b.data(), dn.data(), e2, hd, loo, &q);
                EXPECT_TRUE(same_bits(b, b0) && same_bits(dn, d0))
                    << "n " << n << " size " << nn << " path " << int(p.cap) << p.loops;
                EXPECT_EQ(std::memcmp(&c, &c0, sizeof c), 0) << "n " << n << " size " << nn;
            }
        }
        // One search per size, however many passes and paths asked for it.
        EXPECT_EQ(q.fills, n == 300 ? static_cast<int>(sizes.size()) : 6);
        EXPECT_LE(q.sizes.size(), static_cast<std::size_t>(gwr::ms_sizes));
    }

    const dataset d = make(1500, 23);
    gwr::ms_model first;
    for (const path& p : paths) {
        std::ostringstream out, err;
        std::istringstream in;
        gwr::state s(in, out, err);
        load(s, d, 'v');
        s.vector_loops = p.loops;
        s.vector_cap = p.cap;
        gwr::ms_model m;
        gwr::msdesign(s, m, true);
        m.maxrounds = 2;
        gwr::msfit(s, m, true);
        if (&p == &paths[0]) {
            first = m;
            continue;
        }
        EXPECT_EQ(m.bw, first.bw);
        EXPECT_TRUE(same_bits(m.beta.a, first.beta.a)) << "path " << int(p.cap);
    }
}

std::string data_text(int n, std::uint64_t seed) {
    // A constant intercept, a slope that changes across the whole region
    // and one that changes over short distances.
    lcg g(seed);
    std::ostringstream t;
    t << "ID,X,Y,DEP,X1,X2\n";
    t.precision(10);
    for (int i = 1; i <= n; ++i) {
        const double u = 20.0 * g.uniform(), v = 20.0 * g.uniform();
        const double x1 = g.normal(), x2 = g.normal();
        const double y = 3.0 + (1.0 + 0.1 * u) * x1 + 2.0 * std::sin(1.5 * u) * std::cos(1.5 * v) * x2 +
                         0.2 * g.normal();
        t << i << ',' << u << ',' << v << ',' << y << ',' << x1 << ',' << x2 << '\n';
    }
    return t.str();
}

// Method 6 on data.csv, result res.csv, calibration history on.
std::string control(const std::string& kernel, const std::string& bandwidth, const std::string& keys) {
    return "data.csv\n\nres.csv\n4\n2 3 0\nmultiscale\nFFFFTT\n" + kernel + "\n" + bandwidth +
           "\n1\n0\n1\n0\n0\n6\n1\n" + keys;
}

// The sizes searched for a constant, a regional and a local coefficient
// are ordered so; the listing shows the block, every round, and the result
// file holds the multiscale estimates (their summary in the listing).
TEST(Multiscale, BandwidthsFollowTheScaleOfEachSurface) {
    tempdir t;
    t.write("data.csv", data_text(500, 3));
    const auto r = run_tzm(control("vaa", "0", "interval 0\n"), t.path);
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    const auto L = lines(r.out);
    auto at = std::find(L.begin(), L.end(), "   Label          Size         ENP_j   Adj. level  Critical |t|");
    ASSERT_NE(at, L.end()) << r.out;
    int size[3];
    double enp[3];
    for (int j = 0; j < 3; ++j) {
        std::istringstream row(*(at + 1 + j));
        std::string label;
        row >> label >> size[j] >> enp[j];
    }
    EXPECT_GE(size[0], size[1]);
    EXPECT_GT(size[1], size[2]);
    EXPECT_LT(enp[0], enp[2]);
    EXPECT_NE(r.out.find("** Back-fitting converged after"), std::string::npos);
    EXPECT_NE(r.out.find("** Back-fitting rounds: score of change"), std::string::npos);

    // The result file: the estimates whose medians the listing's summary shows.
    const auto rows = lines(read_file(t.file("res.csv")));
    ASSERT_EQ(rows.size(), 501u);
    EXPECT_EQ(rows[0].substr(0, 31), "ID,FITX,FITY,PARM_1,PARM_2,PARM");
    std::vector<double> b1;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        std::istringstream f(rows[i]);
        std::string cell;
        for (int c = 0; c < 5; ++c) std::getline(f, cell, ',');
        b1.push_back(std::stod(cell));
    }
    std::sort(b1.begin(), b1.end());
    auto sum = std::find(L.begin(), L.end(), "Multiscale parameter 5-number summaries (original scale)...");
    ASSERT_NE(sum, L.end());
    std::istringstream row(*(sum + 4));
    std::string label;
    double mn, q1;
    row >> label >> mn >> q1;
    EXPECT_EQ(label, "X1");
    EXPECT_NEAR(mn, b1[0], 1e-6);
}

// One thread and two give the same listing and result file, with and
// without inference, for the fixed kernel and for the adaptive one with its
// bandwidth searches; inference 0 and scale 0 say so in the listing.
TEST(Multiscale, SameBytesOnOneAndTwoThreads) {
    const std::string data = data_text(300, 5);
    struct setup {
        std::string kernel, bandwidth, keys;
    };
    for (const setup& u : {setup{"fna", "2.5", ""}, setup{"fna", "2.5", "scale 0\ninference 0\n"},
                           setup{"vaa", "0", "interval 0\ninference 0\n"}}) {
        const std::string& keys = u.keys;
        std::string listing[2], result[2];
        for (int th = 1; th <= 2; ++th) {
            const char* old = std::getenv("OMP_NUM_THREADS");
            const std::string saved = old ? old : "";
            ::setenv("OMP_NUM_THREADS", std::to_string(th).c_str(), 1);
            tempdir t;
            t.write("data.csv", data);
            const auto r = run_tzm(control(u.kernel, u.bandwidth, keys), t.path);
            if (old)
                ::setenv("OMP_NUM_THREADS", saved.c_str(), 1);
            else
                ::unsetenv("OMP_NUM_THREADS");
            ASSERT_EQ(r.status, 0) << r.err << r.out;
            listing[th - 1] = mask_times(r.out);
            result[th - 1] = read_file(t.file("res.csv"));
        }
        EXPECT_EQ(listing[0], listing[1]);
        EXPECT_EQ(result[0], result[1]);
        if (keys.find("scale 0") != std::string::npos) {
            EXPECT_NE(listing[0].find("** Predictors fitted as given (keyword record scale 0)"), std::string::npos);
            EXPECT_NE(listing[0].find("** Inference left out (keyword record inference 0)"), std::string::npos);
        }
    }
}

}  // namespace
