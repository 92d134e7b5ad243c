// The run description: what the control file asks of a run, decoded once
// from its records (read1) into named values, and read-only afterwards.
//
// The records hold codes and letters (kernel "v", calibration code 5, result
// file type 3, ...); the listing echoes them and the control-vector dump
// prints them as integer words (blocks::option).  Every routine that acts on
// them asks this description instead, by its enums and predicates, so that
// each meaning is decided in one place.  A new choice (a method, a kernel, a
// keyword record) is a new enumerator or field here, its decoding in
// run.cpp, and its echo in read1.
//
// The state holds one description (state::run(), read-only); read1 sets it
// with state::describe once the control file is read, and the data set-up
// adds the two counts n and K.
#pragma once

namespace gwr {

// The analysis method (record 15); the enumerators 1 to 6 have the value of
// their code.
enum class analysis {
    unknown = 0,      // any code not listed below: the run stops after the echo
    descriptive = 1,  // local summary statistics of the chosen variables
    gaussian = 2,     // Gaussian regression
    logistic = 3,     // logistic regression (0/1 response)
    poisson = 4,      // Poisson regression (counts, optional offset)
    log_odds = 5,     // announced only; the run goes on to its closing report
    multiscale = 6,   // Gaussian regression with a bandwidth for every parameter
};

// A method the engine runs: 1 to 6.
inline bool offered(analysis m) { return m != analysis::unknown; }

// Kernel type and shape (first letter of record 8: f, v or c).
enum class kernel_type {
    fixed,     // a bandwidth in coordinate units (km when spherical)
    adaptive,  // a number of nearest neighbours
};
enum class kernel_shape {
    unknown,   // any other letter: the run stops in the echo
    gaussian,  // f: exp(-d^2 / 2h^2) times the observation weight
    bisquare,  // v: (1 - d^2/D^2)^2 below D, the N-th nearest distance
    cylinder,  // c: 1 within the bandwidth, 0 beyond
};

// How the bandwidth is found (second letter of record 8).
enum class criterion {
    unknown,  // any other letter: no bandwidth and no criterion to search by
    given,    // n (or blank): the bandwidth of record 9
    cv,       // c: minimum of the cross-validation score
    aicc,     // a: minimum of the AICc
    bic,      // b: asked for the BIC; the logistic and Poisson search
              //    minimises the cross-validation score, a Gaussian run stops
};

// Which observations a bandwidth search evaluates (third letter of record 8).
enum class sampling {
    unknown,  // any other letter: a search stops in the echo
    all,      // a (or blank): every observation
    sample,   // s: a random sample of the percentage |record 9|
};

// Coordinates of the observations and locations (record 16).
enum class coordinates {
    unknown,    // any other code: the run stops in the echo
    cartesian,  // 1: planar, Euclidean distances
    spherical,  // 2: longitude and latitude in degrees, great-circle km
};

// The result file (record 12).
enum class result_format {
    none,  // 0
    text,  // 1: comma-delimited text
    e00,   // 2: ArcInfo export
    mif,   // 3 and any other code: MapInfo interchange .mif/.mid
    gpkg,  // 4: GeoPackage
};

// The test for spatial variation of the local parameters (record 13).
enum class variation_test {
    none,         // 0
    monte_carlo,  // 1 or -1 (-1: at a thinned set of the fit locations)
    leung,        // 2 or -2: withdrawn, a notice only
    unknown,      // any other code: neither echoed nor run
};

// Optional keyword records after record 16 of the control file, one per
// line: a keyword and its values.  Absent records leave these defaults.
struct keywords {
    bool limits = false;  // limits LO HI: bandwidth search range given
    double limlo = 0.0;   // sizes (adaptive), distances (fixed; km when spherical)
    double limhi = 0.0;
    int epsg = 0;         // epsg CODE: coordinate system of Cartesian results, 0 none
    int scale = 1;        // scale 0: multiscale fits on the predictors as given
    int inference = 1;    // inference 0: multiscale fits without standard errors
    int interval = 1;     // interval 0: no bandwidth interval after a search by AICc
};

// A default description is that of a state nobody has described: no known
// method, kernel or criterion (the weights of an unknown kernel are the
// fixed Gaussian's), Cartesian coordinates, no result file, no test.
struct run_description {
    analysis method = analysis::unknown;           // record 15
    kernel_type ktype = kernel_type::fixed;        // record 8, first letter
    kernel_shape kshape = kernel_shape::unknown;   // record 8, first letter
    criterion crit = criterion::unknown;           // record 8, second letter
    sampling sample = sampling::all;               // record 8, third letter
    coordinates coords = coordinates::cartesian;   // record 16
    result_format format = result_format::none;    // record 12
    variation_test test = variation_test::none;    // record 13
    bool thinned = false;        // Monte Carlo test at thinned fit locations (record 13 < 0)
    bool history = false;        // record 10: list every trial of the bandwidth search
    bool predictions = false;    // record 11: prediction report / table of local statistics
    bool casewise = false;       // record 14: list the casewise diagnostics
    bool location_file = false;  // record 2 names a file of fit locations
    keywords keys;               // the keyword records after record 16

    // The counts of the data: observations read (set by rdata) and
    // parameters, the columns of the local tables (set by the model set-up:
    // the design columns with the intercept, or the chosen variables of a
    // descriptive run).
    int n = 0;  // observations
    int K = 0;  // parameters

    // Methods.
    bool offered() const { return gwr::offered(method); }  // a method the engine runs
    bool regression() const {  // a model with a dependent variable (record 4)
        return gaussian_model() || method == analysis::logistic || method == analysis::poisson;
    }
    // A Gaussian model: the single-bandwidth one, or the multiscale one,
    // which begins with it.
    bool gaussian_model() const { return method == analysis::gaussian || method == analysis::multiscale; }
    // A model fitted by iteratively reweighted least squares.
    bool glm() const { return method == analysis::logistic || method == analysis::poisson; }

    // Kernel: its size is a number of neighbours.
    bool adaptive() const { return ktype == kernel_type::adaptive; }

    // Bandwidth: given in record 9, no search.
    bool bandwidth_given() const { return crit == criterion::given; }
    // A criterion to search by (letters c, a, b).
    bool search() const { return crit == criterion::cv || crit == criterion::aicc || crit == criterion::bic; }
    // The search's criterion leaves each calibration point out of its own
    // fit: cross-validation, which the letter b also gets.
    bool leave_one_out() const { return crit == criterion::cv || crit == criterion::bic; }
    // The search evaluates a random sample of the observations.
    bool sampled() const { return search() && sample == sampling::sample; }

    // Longitude and latitude, great-circle distances.
    bool spherical() const { return coords == coordinates::spherical; }
    // A result file is asked for.
    bool writes_results() const { return format != result_format::none; }
};

// Decoding of the records' codes and letters: the only place where they
// are given a meaning.  read1 calls them; a test that builds a state by hand
// may as well.
analysis method_of(int record15);
// Sets the type and shape of the kernel letter (record 8, first letter).
void kernel_of(char letter, kernel_type& type, kernel_shape& shape);
criterion criterion_of(char letter);       // second letter (read1 reads a blank as n)
sampling sampling_of(char letter);         // third letter (read1 reads a blank as a)
coordinates coordinates_of(int record16);  // 1 Cartesian, 2 spherical
result_format format_of(int record12);     // 0 none, 1 text, 2 e00, 4 gpkg, else mif
variation_test test_of(int record13);      // 0 none, +-1 Monte Carlo, +-2 Leung

// The integer words the control-vector dump prints for the kernel (type 1
// fixed, 2 adaptive; shape 1 Gaussian, 2 bi-square, 3 cylinder) and the
// calibration (1 given; 2, 3, 6 CV, AICc, BIC on all points; 4, 5, 7 on a
// sample; 0 none).
int kertyp_word(const run_description& d);  // word 8
int kershp_word(const run_description& d);  // word 9
int icalib_word(const run_description& d);  // word 10

}  // namespace gwr
