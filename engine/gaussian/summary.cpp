// Five-number summary and box-plot fence counts of every local parameter.
#include <algorithm>
#include <string>
#include <vector>

#include "format/format.h"
#include "gaussian/gaussian.h"

namespace gwr {

// Quartile positions of n sorted values (1-based), formed in single
// precision and truncated, never below 1.
void quartile_positions(int n, int& lq, int& med, int& uq) {
    const float base = static_cast<float>(n) + 0.5f;
    lq = std::max(1, static_cast<int>(base * 0.25f));
    med = std::max(1, static_cast<int>(base * 0.5f));
    uq = std::max(1, static_cast<int>(base * 0.75f));
}

void summry(state& s) {
    std::ostream& out = *s.out;
    const int n = s.fit3.nloc;
    const int K = s.run().K;
    auto label = [&](int k) { return k == 0 ? std::string("Intrcept") : s.lab1.modlab[k - 1]; };
    std::vector<double> v(static_cast<std::size_t>(std::max(n, 0)));
    auto sorted_column = [&](int k) {
        for (int i = 0; i < n; ++i) v[i] = s.bvals(i, k);
        hsort(v.data(), n);
    };
    int lq, med, uq;
    quartile_positions(n, lq, med, uq);

    const std::string stars(58, '*');
    ftn::ldwrite(out);
    ftn::fwrite(out, "(a)",
                {"", stars, "*          PARAMETER 5-NUMBER SUMMARIES                  *", stars});
    ftn::fwrite(out, "(2a)",
                {"   Label       Minimum  Lwr Quartile        Median", "  Upr Quartile       Maximum"});
    ftn::fwrite(out, "(2a)",
                {"-------- ------------- ------------- -------------", " ------------- -------------"});
    // With no fit location there is nothing to summarise.
    if (n >= 1) {
        for (int k = 0; k < K; ++k) {
            sorted_column(k);
            ftn::fwrite(out, "(a8,5f14.6)",
                        {label(k), v[0], v[lq - 1], v[med - 1], v[uq - 1], v[n - 1]});
        }
    }

    ftn::ldwrite(out);
    ftn::ldwrite(out);
    ftn::fwrite(out, "(2a)",
                {"        <------------------ LOWER ----------------->",
                 "<------------------ UPPER ----------------->"});
    ftn::fwrite(out, "(2a)",
                {"   Label Far Out   Outer Fence Outside   Inner Fence",
                 "   Inner Fence Outside   Outer Fence Far Out"});
    ftn::fwrite(out, "(2a)",
                {"-------- ------- ------------- ------- -------------",
                 " ------------- ------- ------------- -------"});
    if (n < 1) return;
    for (int k = 0; k < K; ++k) {
        sorted_column(k);
        const double q1 = v[lq - 1], q3 = v[uq - 1];
        // Tukey's (1977) inner and outer fences, 1.5 and 3 interquartile
        // ranges beyond the quartiles.
        const double iqr = std::abs(q3 - q1);
        const double lo_out = q1 - 3.0 * iqr, lo_in = q1 - 1.5 * iqr;
        const double up_in = q3 + 1.5 * iqr, up_out = q3 + 3.0 * iqr;
        int far_lo = 0, out_lo = 0, out_hi = 0, far_hi = 0;
        for (int p = 1; p <= n; ++p) {
            const double x = v[p - 1];
            if (p <= lq) {
                if (x < lo_out)
                    ++far_lo;
                else if (x < lo_in)
                    ++out_lo;
            }
            if (p >= uq) {
                if (x > up_out)
                    ++far_hi;
                else if (x > up_in)
                    ++out_hi;
            }
        }
        ftn::fwrite(out, "(a8,i8,f14.6,i8,2f14.6,i8,f14.6,i8)",
                    {label(k), far_lo, lo_out, out_lo, lo_in, up_in, out_hi, up_out, far_hi});
    }
    wrcond(s);
}

void wrcond(state& s) {
    const int m = s.fit3.nloc;
    if (m < 1 || static_cast<int>(s.diags.cond.size()) < m) return;
    int count = 0;
    double largest = 0.0;
    for (int i = 0; i < m; ++i) {
        const double c = s.diags.cond[i];
        if (c > condlimit) {
            ++count;
            largest = std::max(largest, c);
        }
    }
    if (count == 0) return;
    std::ostream& out = *s.out;
    ftn::ldwrite(out);
    ftn::fwrite(out, "(a,i7,a,i7,a)",
                {"** Warning: the local design is ill-conditioned at", count, " of", m, " fit locations"});
    ftn::fwrite(out, "(a,f14.2)", {"**   (condition number above 30); the largest is", largest});
}

}  // namespace gwr
