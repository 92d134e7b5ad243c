// Helpers shared by the engine tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "control/blocks.h"

namespace testing_support {

// Small deterministic generator for test data (not the engine's): a 64-bit
// linear congruential sequence, uniform on [0, 1) from its top 53 bits, and
// normal deviates by the Box-Muller transform.
struct lcg {
    std::uint64_t s;
    explicit lcg(std::uint64_t seed) : s(seed) {}
    double uniform() {
        s = s * 2862933555777941757ULL + 3037000493ULL;
        return static_cast<double>(s >> 11) / 9007199254740992.0;
    }
    double normal() {
        const double u1 = uniform() + 1e-12, u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }
};

// Describes a state built by hand (its run description is read-only): f
// edits a copy of the description, which then replaces it.
template <class F>
void describe(gwr::state& s, F&& f) {
    gwr::run_description d = s.run();
    f(d);
    s.describe(d);
}

// The kernel of a control-file letter (f, v, c) into d.
inline void set_kernel(gwr::run_description& d, char letter) { gwr::kernel_of(letter, d.ktype, d.kshape); }

// The same for a state: its kernel of letter f, v or c, and its coordinates.
inline void set_kernel(gwr::state& s, char letter) {
    describe(s, [letter](gwr::run_description& d) { set_kernel(d, letter); });
}
inline void set_spherical(gwr::state& s, bool spherical) {
    describe(s, [spherical](gwr::run_description& d) {
        d.coords = spherical ? gwr::coordinates::spherical : gwr::coordinates::cartesian;
    });
}

// The calibration of a control-vector code into d: 1 given; 2, 3 and 6
// cross-validation, AICc and BIC over all observations; 4, 5 and 7 over a
// sample; anything else none.
void set_calibration(gwr::run_description& d, int icalib);

// A fresh engine state whose control input, listing and standard error are
// string streams the test can fill and read.
struct harness {
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    std::unique_ptr<gwr::state> s;

    explicit harness(const std::string& control = "");
    std::string listing() const { return out.str(); }
};

// A scratch folder removed at the end of the test.
struct tempdir {
    std::filesystem::path path;
    tempdir();
    ~tempdir();
    tempdir(const tempdir&) = delete;
    tempdir& operator=(const tempdir&) = delete;
    // Writes text to a file in the folder and returns its full path.
    std::string write(const std::string& name, const std::string& text) const;
    std::string file(const std::string& name) const { return (path / name).string(); }
};

// Result of running the built tzm program.
struct run_result {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs tzm in `workdir` with the control text on standard input.
run_result run_tzm(const std::string& control, const std::filesystem::path& workdir);

std::string read_file(const std::filesystem::path& p);

// The lines of a text (without their newlines).
std::vector<std::string> lines(const std::string& text);

// The listing with the two time-stamped lines ("Program starts at: ...",
// "Program terminates ... at: ...") replaced by a fixed text.
std::string mask_times(const std::string& listing);

}  // namespace testing_support
