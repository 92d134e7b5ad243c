// The vector loops over observations (the vector exponential of the kernel
// weights and the sums in lanes) against the scalar ones: the exponential
// within its error bound and with the scalar library's ends, and whole
// runs within a relative 1e-13 of the scalar path, printed and stored
// numbers alike, with the same counts (passes, calls, locations).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "control/blocks.h"
#include "control/control.h"
#include "gaussian/gaussian.h"
#include "gaussian/vexp.h"
#include "support/testing.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::tempdir;

// One unit in the last place of the double nearest x (x > 0, normal).
double ulp_of(long double x) { return std::ldexp(1.0, std::ilogb(static_cast<double>(x)) - 52); }

TEST(VectorExponential, StaysWithinItsBoundAndKeepsTheLibrarysEnds) {
    if (!gwr::vexp_available()) GTEST_SKIP() << "no AVX2 on this processor: std::exp throughout";
    // Arguments over the whole range with a normal result, denser where
    // the kernel's weights live, and around the ends of the vector range.
    std::vector<double> x;
    std::mt19937_64 g(20261207);
    std::uniform_real_distribution<double> all(-708.0, 708.0), kernel(-60.0, 0.0), small(-1e-3, 1e-3);
    for (int i = 0; i < 100000; ++i) x.push_back(all(g));
    for (int i = 0; i < 100000; ++i) x.push_back(kernel(g));
    for (int i = 0; i < 20000; ++i) x.push_back(small(g));
    for (int i = -32; i <= 32; ++i) x.push_back(i * 0.6931471805599453 / 32.0);  // table points
    for (double e : {-708.0, 708.0, -707.9999999, 707.9999999, 0.0, -0.0, 1e-300, -1e-300})
        x.push_back(e);
    std::vector<double> y(x.size());
    gwr::vexp(x.data(), y.data(), static_cast<int>(x.size()), true);
    double worst = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const long double exact = expl(static_cast<long double>(x[i]));
        const double u = ulp_of(exact);
        const double err = static_cast<double>(std::fabs(static_cast<long double>(y[i]) - exact) / u);
        worst = std::max(worst, err);
        ASSERT_LE(std::fabs(y[i] - std::exp(x[i])), u) << "x = " << x[i];
    }
    EXPECT_LT(worst, 0.6);
    EXPECT_EQ(y[y.size() - 4], 1.0);  // exp(0) and exp(-0) exactly 1
    EXPECT_EQ(y[y.size() - 3], 1.0);

    // Outside [-708, 708] and at the special values: the library's bits,
    // so the kernel's exact zeros (and the index's reach) are unchanged.
    std::vector<double> edge;
    for (double t = -760.0; t <= -700.0; t += 0.0137) edge.push_back(t);
    for (double t = 700.0; t <= 720.0; t += 0.0137) edge.push_back(t);
    edge.push_back(std::numeric_limits<double>::quiet_NaN());
    edge.push_back(-std::numeric_limits<double>::infinity());
    edge.push_back(std::numeric_limits<double>::infinity());
    std::vector<double> ye(edge.size());
    gwr::vexp(edge.data(), ye.data(), static_cast<int>(edge.size()), true);
    for (std::size_t i = 0; i < edge.size(); ++i) {
        if (edge[i] >= -708.0 && edge[i] <= 708.0) continue;
        const double lib = std::exp(edge[i]);
        if (std::isnan(lib))
            EXPECT_TRUE(std::isnan(ye[i]));
        else
            EXPECT_EQ(ye[i], lib) << "x = " << edge[i];
    }

    // The kernel weights from squared distances, directly and through a
    // list of observations: the same values, exact zeros beyond the
    // reach, the observation weight itself at distance 0.
    const double twoh2 = 2.0 * 1.5 * 1.5;
    std::vector<double> d, ow;
    for (int j = 0; j < 3001; ++j) {
        d.push_back(j * 0.5);  // t from 0 down to -333, then far beyond -746 below
        ow.push_back(0.5 + (j % 7) * 0.25);
    }
    for (int j = 0; j < 400; ++j) d.push_back(twoh2 * (700.0 + j * 0.125)), ow.push_back(1.0);
    const int n = static_cast<int>(d.size());
    std::vector<double> wv(n), ws(n), wl(n, -1.0);
    std::vector<int> idx(n);
    for (int j = 0; j < n; ++j) idx[j] = j;
    gwr::gauss_weights(d.data(), nullptr, ow.data(), twoh2, wv.data(), n, true);
    gwr::gauss_weights(d.data(), nullptr, ow.data(), twoh2, ws.data(), n, false);
    gwr::gauss_weights(d.data(), idx.data(), ow.data(), twoh2, wl.data(), n, true);
    EXPECT_EQ(wv[0], ow[0]);
    for (int j = 0; j < n; ++j) {
        ASSERT_EQ(wv[j], wl[j]) << j;
        const double t = -d[j] / twoh2;
        if (t < -708.0)
            ASSERT_EQ(wv[j], ws[j]) << "t = " << t;  // the library's subnormals and zeros
        else
            ASSERT_LE(std::fabs(wv[j] - ws[j]), 4.5e-16 * ws[j]) << "t = " << t;  // one unit of exp, two roundings
        if (t <= -746.0) {
            ASSERT_EQ(wv[j], 0.0);
        }
    }
}

// ---------------------------------------------------------------------------
// Whole runs through both paths.

struct run_output {
    std::string listing;
    std::string results;  // the result file, when the run writes one
    std::vector<std::vector<double>> stored;  // estimates, standard errors, fitted values, residuals, criteria
};

// Runs the control text in folder dir (its file names relative to it) in
// this process, with the vector loops or the scalar ones.
run_output run_in(const fs::path& dir, const std::string& control, const std::string& result, bool vector,
                  gwr::vector_isa cap = gwr::vector_isa::avx512) {
    const fs::path here = fs::current_path();
    fs::current_path(dir);
    std::istringstream in(control);
    std::ostringstream out, err;
    gwr::state s(in, out, err);
    s.vector_loops = vector;
    s.vector_cap = cap;
    const int rc = gwr::run(s);
    fs::current_path(here);
    EXPECT_EQ(rc, 0) << err.str();
    run_output o;
    o.listing = testing_support::mask_times(out.str());
    if (!result.empty() && fs::is_regular_file(dir / result)) o.results = read_file(dir / result);
    o.stored = {s.bvals.a, s.svals.a, s.output.yhat, s.output.resid,
                {s.hat1.aicc, s.hat1.trs, s.hat1.sigma, s.anova.rss, s.parms.bandw}};
    return o;
}

// A printed number: its value and the unit of its last printed digit;
// integral tokens (counts, passes, locations) have no unit and must match
// exactly.
bool number(const std::string& tok, double& v, double& unit) {
    const char* b = tok.c_str();
    char* e = nullptr;
    v = std::strtod(b, &e);
    if (e == b || *e != '\0') return false;
    const std::size_t dot = tok.find('.');
    if (dot == std::string::npos) {
        unit = 0.0;
        return true;
    }
    const std::size_t ex = tok.find_first_of("eEdD", dot);
    const int decimals = static_cast<int>((ex == std::string::npos ? tok.size() : ex) - dot - 1);
    const int expo = ex == std::string::npos ? 0 : std::atoi(tok.c_str() + ex + 1);
    unit = std::pow(10.0, expo - decimals);
    return true;
}

std::vector<std::string> tokens(const std::string& text) {
    std::vector<std::string> t;
    std::string cur;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == ',' || c == '"') {
            if (!cur.empty()) t.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) t.push_back(cur);
    return t;
}

// Every token the same, or numbers within a relative 1e-13, or (printed
// rounding of nearly equal values) one unit of the last printed digit apart.
void same_text(const std::string& what, const std::string& scalar, const std::string& vector) {
    const auto a = tokens(scalar), b = tokens(vector);
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;
        double va, vb, ua, ub;
        ASSERT_TRUE(number(a[i], va, ua) && number(b[i], vb, ub))
            << what << ": token " << i << ": " << a[i] << " against " << b[i];
        ASSERT_GT(ua, 0.0) << what << ": an integer moved: " << a[i] << " against " << b[i];
        const double diff = std::fabs(va - vb);
        EXPECT_TRUE(diff <= 1e-13 * std::max(std::fabs(va), std::fabs(vb)) || (ua == ub && diff <= ua * 1.000001))
            << what << ": " << a[i] << " against " << b[i];
    }
}

// Stored values within a relative 1e-13 (with a floor of 1e-15 of the
// table's largest value, for estimates that cancel to nearly 0, whose
// rounding is that of the terms they are formed from).
void same_values(const std::string& what, const run_output& a, const run_output& b) {
    ASSERT_EQ(a.stored.size(), b.stored.size());
    for (std::size_t t = 0; t < a.stored.size(); ++t) {
        ASSERT_EQ(a.stored[t].size(), b.stored[t].size()) << what;
        double scale = 0.0;
        for (double v : a.stored[t])
            if (std::isfinite(v)) scale = std::max(scale, std::fabs(v));
        for (std::size_t i = 0; i < a.stored[t].size(); ++i) {
            const double x = a.stored[t][i], y = b.stored[t][i];
            if (x == y || (std::isnan(x) && std::isnan(y))) continue;
            EXPECT_LE(std::fabs(x - y), 1e-13 * std::max(std::fabs(x), std::fabs(y)) + 1e-15 * scale)
                << what << ": table " << t << " entry " << i << ": " << x << " against " << y;
        }
    }
}

void both_paths(const std::string& what, const fs::path& dir, const std::string& control, const std::string& result) {
    SCOPED_TRACE(what);
    const run_output s = run_in(dir, control, result, false);
    const run_output v = run_in(dir, control, result, true);
    same_text(what + " listing", s.listing, v.listing);
    same_text(what + " result file", s.results, v.results);
    same_values(what, s, v);
}

// Synthetic observations (uniform points on a square, three predictors,
// smoothly varying coefficients): ID,X,Y,DEP,X1,X2,X3.
std::string synthetic(int n) {
    std::mt19937_64 g(4242);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::normal_distribution<double> e(0.0, 1.0);
    const double side = std::sqrt(static_cast<double>(n));
    std::ostringstream o;
    o.precision(12);
    o << "ID,X,Y,DEP,X1,X2,X3\n";
    for (int i = 1; i <= n; ++i) {
        const double x = side * u(g), y = side * u(g);
        const double x1 = e(g), x2 = e(g), x3 = u(g);
        const double dep = 1.0 + (0.5 + x / side) * x1 - (0.3 * y / side) * x2 + 0.2 * x3 + 0.3 * e(g);
        o << i << ',' << x << ',' << y << ',' << dep << ',' << x1 << ',' << x2 << ',' << x3 << '\n';
    }
    return o.str();
}

std::string control(const std::string& data, const std::string& result, const std::string& cols,
                    const std::string& flags, const std::string& kernel, const std::string& bw, int diag,
                    int method, const std::string& extra = "") {
    return data + "\n\n" + result + "\n4\n" + cols + "\nVector and scalar loops\n" + flags + "\n" + kernel + "\n" + bw +
           "\n1\n1\n1\n0\n" + std::to_string(diag) + "\n" + std::to_string(method) + "\n1\n" + extra;
}

// Four fits at once against one at a time, for weights with zeros (and a
// fit with no weight at all), K = 1 to 4: the bits of weighted_products
// and calcse.
TEST(FourFits, AreTheBitsOfOneFitAtATime) {
    if (!gwr::fourfold(3)) GTEST_SKIP() << "no AVX2 on this processor: one fit at a time";
    tempdir t;
    t.write("synth.csv", synthetic(301));
    for (const char* flags : {"FFFFFFF", "FFFFTFF", "FFFFTTF", "FFFFTTT"}) {
        SCOPED_TRACE(flags);
        const fs::path here = fs::current_path();
        fs::current_path(t.path);
        std::istringstream in(control("synth.csv", "four.csv", "2,3,0", flags, "fnn", "4", 0, 2));
        std::ostringstream out, err;
        gwr::state s(in, out, err);
        const int rc = gwr::run(s);
        fs::current_path(here);
        ASSERT_EQ(rc, 0) << err.str() << out.str();
        const int n = s.run().n, K = s.run().K;
        ASSERT_TRUE(gwr::fourfold(K));
        std::mt19937_64 g(K);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        std::vector<double> w4(4 * static_cast<std::size_t>(n));
        for (int j = 0; j < n; ++j)
            for (int f = 0; f < 4; ++f) w4[4 * j + f] = f == 3 || u(g) < 0.2 ? 0.0 : std::exp(-30.0 * u(g));
        std::vector<double> A4(4 * K * K), b4(4 * K), C4(4 * K * K), v4(4 * K);
        gwr::weighted_products4(s.struc1.xmat, K, s.struc2.ydep.data(), w4.data(), n, A4.data(), b4.data());
        gwr::work& w = s.ws;
        for (int f = 0; f < 4; ++f) {
            for (int j = 0; j < n; ++j) w.wt[j] = w4[4 * j + f];
            std::vector<double> A(K * K), b(K);
            gwr::weighted_products(s.struc1.xmat, K, s.struc2.ydep.data(), w.wt.data(), nullptr, n, A.data(), b.data());
            for (int p = 0; p < K * K; ++p) ASSERT_EQ(A4[f * K * K + p], A[p]) << "fit " << f;
            for (int k = 0; k < K; ++k) ASSERT_EQ(b4[f * K + k], b[k]) << "fit " << f;
            // Any inverse will do for the factors: C = A + 1 on the diagonal.
            for (int p = 0; p < K * K; ++p) C4[f * K * K + p] = A[p] + (p % (K + 1) == 0 ? 1.0 : 0.0);
        }
        gwr::calcse4(s.struc1.xmat, K, w4.data(), n, C4.data(), v4.data());
        for (int f = 0; f < 4; ++f) {
            for (int j = 0; j < n; ++j) w.wt[j] = w4[4 * j + f];
            w.nnbr = -1;
            for (int p = 0; p < K * K; ++p) w.xtwxi.a[p] = C4[f * K * K + p];
            gwr::calcse(s, w);
            for (int k = 0; k < K; ++k) ASSERT_EQ(v4[f * K + k], w.sehat[k]) << "fit " << f;
        }
        EXPECT_EQ(v4[3 * K], 0.0);
    }
}

TEST(VectorPaths, WholeRunsStayWithinARelative1e13OfTheScalarPath) {
    if (!gwr::vexp_available()) GTEST_SKIP() << "no AVX2 on this processor: one path only";
    tempdir t;
    for (const char* f : {"columbus.csv", "columbus_new.csv", "counts.csv"})
        fs::copy_file(fs::path(EXAMPLES_DIR) / f, t.path / f);
    // The examples whose kernel weights every observation: fixed Gaussian
    // kernels, given and searched by AICc (with the bandwidth interval),
    // casewise diagnostics, predictions, logistic and Poisson models.
    for (const char* name : {"gaussian", "gaussian_fixed", "predict", "logistic", "poisson"}) {
        const std::string ctl = read_file(fs::path(EXAMPLES_DIR) / (std::string(name) + ".tzm"));
        const auto rec = testing_support::lines(ctl);
        both_paths(name, t.path, ctl, rec.size() > 2 ? rec[2] : "");
    }
    // Synthetic data large enough for the neighbour index (at the final
    // bandwidth) and for many blocks of four, n not a multiple of four:
    // K = 3 by AICc with diagnostics and the interval; K = 4 and K = 2 with
    // a given bandwidth.
    t.write("synth.csv", synthetic(1203));
    both_paths("K = 3, AICc", t.path,
               control("synth.csv", "k3.csv", "2,3,0", "FFFFTTF", "faa", "0", 1, 2), "k3.csv");
    both_paths("K = 4, given", t.path,
               control("synth.csv", "k4.csv", "2,3,0", "FFFFTTT", "fnn", "6", 1, 2), "k4.csv");
    both_paths("K = 2, cross-validation", t.path,
               control("synth.csv", "k2.csv", "2,3,0", "FFFFTFF", "fca", "0", 0, 2), "k2.csv");
}

// The reweighting loops' likelihood on the two vector widths (the vector
// logarithm, the terms and the lanes' sum): the same bits in every printed
// and stored number, for the logistic and Poisson examples and a Poisson
// model of more observations (two blocks, n not a multiple of eight).
TEST(VectorPaths, TheTwoVectorWidthsGiveTheSameBits) {
    if (gwr::vector_isa_available() != gwr::vector_isa::avx512) GTEST_SKIP() << "no AVX-512 on this processor";
    tempdir t;
    for (const char* f : {"columbus.csv", "counts.csv"}) fs::copy_file(fs::path(EXAMPLES_DIR) / f, t.path / f);
    auto same = [&](const std::string& what, const std::string& ctl, const std::string& result) {
        SCOPED_TRACE(what);
        const run_output a = run_in(t.path, ctl, result, true, gwr::vector_isa::avx2);
        const run_output b = run_in(t.path, ctl, result, true, gwr::vector_isa::avx512);
        EXPECT_EQ(a.listing, b.listing);
        EXPECT_EQ(a.results, b.results);
        ASSERT_EQ(a.stored.size(), b.stored.size());
        for (std::size_t q = 0; q < a.stored.size(); ++q) EXPECT_EQ(a.stored[q], b.stored[q]) << "table " << q;
    };
    for (const char* name : {"logistic", "poisson"}) {
        const std::string ctl = read_file(fs::path(EXAMPLES_DIR) / (std::string(name) + ".tzm"));
        const auto rec = testing_support::lines(ctl);
        same(name, ctl, rec.size() > 2 ? rec[2] : "");
    }
    // Counts from the synthetic predictors, offsets 1: DEP is replaced by a
    // count drawn around exp(0.5 + 0.4 X1 - 0.3 X2).
    std::istringstream in(synthetic(803));
    std::ostringstream o;
    std::string line;
    std::getline(in, line);
    o << line << '\n';
    std::mt19937_64 g(7);
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ls(line);
        for (std::string v; std::getline(ls, v, ',');) f.push_back(v);
        std::poisson_distribution<int> p(std::exp(0.5 + 0.4 * std::stod(f[4]) - 0.3 * std::stod(f[5])));
        f[3] = std::to_string(p(g));
        for (std::size_t q = 0; q < f.size(); ++q) o << (q ? "," : "") << f[q];
        o << '\n';
    }
    t.write("counts_synth.csv", o.str());
    const std::string ctl = control("counts_synth.csv", "pois.csv", "2,3,0", "FFFFFTT", "vaa", "0", 0, 4, "interval 0\n");
    same("Poisson, adaptive AICc", ctl, "pois.csv");
    // Against the library's logarithm and the sum in observation order (the
    // vector exponential on both): no reweighting loop takes another number
    // of passes, so every estimate keeps its bits, and the likelihoods
    // printed stay within a relative 1e-13.
    SCOPED_TRACE("Poisson, adaptive AICc, in order");
    const run_output in_order = run_in(t.path, ctl, "pois.csv", true, gwr::vector_isa::scalar);
    const run_output lanes = run_in(t.path, ctl, "pois.csv", true);
    same_text("listing", in_order.listing, lanes.listing);
    EXPECT_EQ(in_order.results, lanes.results);
    for (std::size_t q = 0; q < 4; ++q) EXPECT_EQ(in_order.stored[q], lanes.stored[q]) << "table " << q;
}

// The first line where two texts differ, both versions; "" when they are
// the same.
std::string first_difference(const std::string& a, const std::string& b) {
    if (a == b) return "";
    const auto la = testing_support::lines(a), lb = testing_support::lines(b);
    for (std::size_t i = 0; i < std::max(la.size(), lb.size()); ++i) {
        const std::string x = i < la.size() ? la[i] : "(none)", y = i < lb.size() ? lb[i] : "(none)";
        if (x != y) return "line " + std::to_string(i + 1) + ":\n" + x + "\n" + y;
    }
    return "the same lines, different line ends";
}

// Eight fits at once (AVX-512, the weights formed in the lanes) against
// four (AVX2): the same bytes, listing and result file, and the same stored
// values, on runs that take every branch of the lanes: a search by AICc
// with the final fit and the casewise diagnostics; cross-validation (each
// calibration point's own observation left out); a given bandwidth small
// enough for the neighbour index to serve some locations (those fitted one
// at a time beside the lanes), with observation weights.
TEST(VectorPaths, EightFitsAtOnceGiveTheBytesOfFour) {
    if (gwr::vector_isa_available() != gwr::vector_isa::avx512) GTEST_SKIP() << "no AVX-512 on this processor";
    tempdir t;
    t.write("synth.csv", synthetic(1203));
    std::string weighted = "ID,X,Y,DEP,X1,X2,X3,W\n";
    {
        std::istringstream in(synthetic(1203));
        std::string line;
        std::getline(in, line);
        for (int i = 0; std::getline(in, line); ++i) weighted += line + "," + std::to_string(0.25 + (i % 5) * 0.5) + "\n";
    }
    t.write("weighted.csv", weighted);
    struct job {
        const char* what;
        std::string control, result;
    };
    const job jobs[] = {
        {"K = 3, AICc, diagnostics", control("synth.csv", "k3.csv", "2,3,0", "FFFFTTF", "faa", "0", 1, 2), "k3.csv"},
        {"K = 2, cross-validation", control("synth.csv", "k2.csv", "2,3,0", "FFFFTFF", "fca", "0", 1, 2), "k2.csv"},
        {"K = 4, given, observation weights",
         control("weighted.csv", "k4.csv", "2,3,8", "FFFFTTTF", "fnn", "3", 1, 2), "k4.csv"},
        {"K = 1, AICc", control("synth.csv", "k1.csv", "2,3,0", "FFFFFFF", "faa", "0", 0, 2), "k1.csv"},
    };
    for (const job& j : jobs) {
        SCOPED_TRACE(j.what);
        const run_output four = run_in(t.path, j.control, j.result, true, gwr::vector_isa::avx2);
        const run_output eight = run_in(t.path, j.control, j.result, true, gwr::vector_isa::avx512);
        EXPECT_EQ(first_difference(four.listing, eight.listing), "") << "listing";
        EXPECT_EQ(first_difference(four.results, eight.results), "") << "result file";
        EXPECT_TRUE(four.stored == eight.stored) << "stored values";
    }
}

}  // namespace
