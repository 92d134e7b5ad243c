// Decoding of the control records' codes and letters into the run
// description.
#include "control/run.h"

namespace gwr {

analysis method_of(int record15) {
    switch (record15) {
        case 1: return analysis::descriptive;
        case 2: return analysis::gaussian;
        case 3: return analysis::logistic;
        case 4: return analysis::poisson;
        case 5: return analysis::log_odds;
        case 6: return analysis::multiscale;
        default: return analysis::unknown;
    }
}

void kernel_of(char letter, kernel_type& type, kernel_shape& shape) {
    type = letter == 'v' ? kernel_type::adaptive : kernel_type::fixed;
    shape = letter == 'f'   ? kernel_shape::gaussian
            : letter == 'v' ? kernel_shape::bisquare
            : letter == 'c' ? kernel_shape::cylinder
                            : kernel_shape::unknown;
}

criterion criterion_of(char letter) {
    switch (letter) {
        case 'n': return criterion::given;
        case 'c': return criterion::cv;
        case 'a': return criterion::aicc;
        case 'b': return criterion::bic;
        default: return criterion::unknown;
    }
}

sampling sampling_of(char letter) {
    switch (letter) {
        case 'a': return sampling::all;
        case 's': return sampling::sample;
        default: return sampling::unknown;
    }
}

coordinates coordinates_of(int record16) {
    return record16 == 1 ? coordinates::cartesian : record16 == 2 ? coordinates::spherical : coordinates::unknown;
}

result_format format_of(int record12) {
    switch (record12) {
        case 0: return result_format::none;
        case 1: return result_format::text;
        case 2: return result_format::e00;
        case 4: return result_format::gpkg;
        default: return result_format::mif;
    }
}

variation_test test_of(int record13) {
    switch (record13) {
        case 0: return variation_test::none;
        case 1:
        case -1: return variation_test::monte_carlo;
        case 2:
        case -2: return variation_test::leung;
        default: return variation_test::unknown;
    }
}

int kertyp_word(const run_description& d) { return d.adaptive() ? 2 : 1; }

int kershp_word(const run_description& d) {
    switch (d.kshape) {
        case kernel_shape::gaussian: return 1;
        case kernel_shape::bisquare: return 2;
        case kernel_shape::cylinder: return 3;
        default: return 0;
    }
}

int icalib_word(const run_description& d) {
    if (d.bandwidth_given()) return 1;
    if (!d.search() || d.sample == sampling::unknown) return 0;
    const bool all = d.sample == sampling::all;
    switch (d.crit) {
        case criterion::cv: return all ? 2 : 4;
        case criterion::aicc: return all ? 3 : 5;
        default: return all ? 6 : 7;
    }
}

}  // namespace gwr
