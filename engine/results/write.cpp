// The choice of the result writer: one place for the Gaussian, logistic,
// Poisson and descriptive runs.
#include "control/progress.h"
#include "descriptive/descriptive.h"
#include "format/format.h"
#include "results/results.h"

namespace gwr {

void write_results(state& s) {
    const run_description& d = s.run();
    if (!d.writes_results()) return;
    std::ostream& out = *s.out;
    // The local statistics have writers of their own (means, variances and
    // standard deviations instead of estimates and diagnostics).
    const bool stats = d.method == analysis::descriptive;
    progress::report(s, "writing", 0, 1);
    switch (d.format) {
        case result_format::text:
            stats ? wrscsv(s) : wr_csv(s);
            ftn::ldwrite(out, {"** Results written to .txt file"});
            break;
        case result_format::e00:
            stats ? wrse00(s) : wr_e00(s);
            ftn::ldwrite(out, {"** Results written to .e00 file"});
            break;
        case result_format::mif:
            stats ? wrsmif(s) : wr_mif(s);
            ftn::ldwrite(out, {"** Results written to .mif file"});
            break;
        case result_format::gpkg:
            stats ? wrsgpkg(s) : wr_gpkg(s);
            ftn::ldwrite(out, {gpkg_note(s)});
            break;
        case result_format::none:
            break;
    }
    progress::report(s, "writing", 1, 1);
}

}  // namespace gwr
