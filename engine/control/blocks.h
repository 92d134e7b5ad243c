// Shared state of one engine run.
//
// The engine's routines communicate through named blocks of state; each block
// is a plain struct here, and one `gwr::state` gathers them all.  Routines take
// the state by reference, so a test can run any routine on a fresh state.
//
// Conventions:
//  * C++ arrays are 0-based: the value for 1-based position i lives at [i-1].
//    Identifiers (`fitid`) and column numbers (`idep`, `ixvar`, ...) keep their
//    1-based values.
//  * Matrices are `dmat`, column-major, so one variable over all observations
//    is contiguous.
//  * Tables are sized to the data once per run (see `state::size_obs`,
//    `state::size_loc`); nothing is allocated per location.
//  * Scratch used while fitting one location lives in `work`, never in the
//    state, so locations can be fitted in parallel with identical results.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "control/rng.h"
#include "control/run.h"
#include "gaussian/vexp.h"

namespace gwr {

// Program limits.
constexpr int maxvar = 52;     // variables (columns) in the data file
constexpr int maxobs = 80000;  // observations
constexpr int maxloc = 80000;  // fit locations

// Column-major matrix of doubles.
struct dmat {
    int rows = 0;
    int cols = 0;
    std::vector<double> a;  // rows * cols elements, column after column

    dmat() = default;
    dmat(int r, int c) { resize(r, c); }
    // r x c elements, all 0.
    void resize(int r, int c) {
        rows = r;
        cols = c;
        a.assign(static_cast<std::size_t>(r) * static_cast<std::size_t>(c), 0.0);
    }
    // 0-based element access.
    double& operator()(int i, int j) { return a[static_cast<std::size_t>(j) * rows + i]; }
    double operator()(int i, int j) const { return a[static_cast<std::size_t>(j) * rows + i]; }
    // Column j (0-based), contiguous.
    double* col(int j) { return a.data() + static_cast<std::size_t>(j) * rows; }
    const double* col(int j) const { return a.data() + static_cast<std::size_t>(j) * rows; }
};

namespace blocks {

// The control vector: 36 integer words; words 1..30 are cleared by `init`,
// words 31..33 hold the raw values read from the control file.  The words
// that record choices (8 to 14, 17, 19, 20) are what the control-vector dump
// prints: routines ask the run description instead.  Word 2, the
// observation count, is the run description's n.
struct option {
    int nvfile = 0;  //  1 variables in the data file's header
    int idep = 0;    //  3 dependent column (0 for descriptive statistics)
    int ixvar = 0;   //  4 x coordinate column
    int iyvar = 0;   //  5 y coordinate column
    int iwvar = 0;   //  6 weight (or Poisson offset) column, 0 none
    int ncol = 0;    //  7 design columns: predictors + 1
    int kertyp = 0;  //  8 1 fixed, 2 adaptive
    int kershp = 0;  //  9 1 Gaussian, 2 bi-square, 3 cylinder
    int icalib = 0;  // 10 calibration code 0..7
    int itest = 0;   // 11 significance test 0, +-1, +-2
    int ihist = 0;   // 12 print calibration history
    int ipred = 0;   // 13 print predictions
    int iouttp = 0;  // 14 result file 0 none, 1 text, 2 e00, 3 mif, 4 GeoPackage
    int iloc = 0;    // 15 1 fit at the observations, 2 elsewhere
    int nfit = 0;    // 16 fit locations
    int idiag = 0;   // 17 print casewise diagnostics
    int iorig = 0;   // 18 regression through the origin (always 0)
    int isph = 0;    // 19 0 Cartesian, 1 spherical
    int method = 0;  // 20 analysis method 1..5
    std::array<int, 10> spare{};  // 21..30
    int rawhst = 0;  // 31
    int rawprd = 0;  // 32
    int rawout = 0;  // 33
    std::array<int, 3> spare2{};  // 34..36

    // Word k (1..36) of the vector; 0 for word 2 (the run description's n).
    int word(int k) const;
    // Clears words 1..30.
    void clear_words();
};

// The file names of records 1 to 3 and the letters of record 8.
struct files {
    std::string datfil;  // observation data file (trailing blanks removed)
    std::string locfil;  // estimation-location file, or the "at sample points" text
    std::string outfil;  // result file
    char kercod = ' ';   // kernel letter f, v, c
    char calcod = ' ';   // calibration letter n, c, a, b
    char smpcod = ' ';   // sample letter a, s
};

// The bandwidth: as read, then as the search leaves it.
struct parms {
    double bandw = 0.0;   // fixed bandwidth, or adaptive size as read
    double bandw2 = 0.0;  // second bandwidth word
};

// The adaptive kernel's size N: as read, then as the search leaves it.
struct fit5 {
    int nnear = 0;  // adaptive local sample size
};

// The calibration sample of a sampled bandwidth search (selsmp).
struct sampl {
    double smppct = 0.0;      // calibration sample percentage
    std::vector<int> insamp;  // per observation: 1 calibration point, 0 not
};

// The data file as the control file describes it.
struct dat2 {
    int nvard = 0;  // names in the header line
    int idep = 0, ixvar = 0, iyvar = 0, iwvar = 0;  // column numbers as read
    std::vector<char> inmod;  // per data column: 1 in the model
};

// Variable names for the listing and the result files.
struct lab1 {
    std::vector<std::string> varlab;  // header names, 8 characters each
    std::vector<std::string> modlab;  // model variable names, 8 characters each
    // The same names whole, as the header spells them (blanks around a name
    // removed), for the result files that can hold long column names.
    std::vector<std::string> varful;
    std::vector<std::string> modful;
};

// The data file's header line.
struct lab2 {
    std::string linbuf;  // header line as read (at most 4096 characters)
};

// The data tables.
struct struc1 {
    dmat datmat;  // n x nvfile data table
    dmat xmat;    // n x K design matrix, column 1 all ones
    dmat selmat;  // n x m chosen variables of a descriptive run
};

// The observations' coordinates and response.
struct struc2 {
    std::vector<double> xobs, yobs;  // observation coordinates (radians when spherical)
    std::vector<double> ydep;        // dependent variable
};

// The fit locations (fitloc): coordinates, identifiers and count.
struct fit1 {
    std::vector<double> xfit, yfit;  // fit-location coordinates (radians when spherical)
};

struct fit2 {
    std::vector<int> fitid;  // fit-location identifiers
};

struct fit3 {
    int nloc = 0;  // fit locations
};

// The observation weights of record 5.
struct fit6 {
    std::vector<double> obswt;  // observation weights (1.0 when none)
};

// The hat matrix and the criteria of the latest model (global, local or a
// calibration trial).
struct hat1 {
    std::vector<double> hatdg;  // leverage per location
    double trs = 0.0;    // trace of the hat matrix
    double trols = 0.0;  // trace of the global projection
    double enp = 0.0;    // effective number of parameters: the trace
    double sigma = 0.0;  // sqrt(RSS / (n - enp))
    double sigml = 0.0;  // RSS / n
    // AICc: Gaussian n (ln(2 pi sigml) + 1) + 2n (enp + 1) / (n - 2 - enp)
    // (Hurvich, Simonoff and Tsai 1998, in the form of Fotheringham,
    // Brunsdon and Charlton 2002); logistic and Poisson -2L + 2k n / (n - k - 1)
    // (Hurvich and Tsai 1989).
    double aicc = 0.0;
    double aic = 0.0;    // logistic and Poisson: -2L + 2k (Akaike 1973)
    double bic = 0.0;    // logistic and Poisson: -2L + k ln n (Schwarz 1978)
    double adjr2 = 0.0;  // 1 - (1 - R^2)(n - 1) / (n - enp - 1)
    double pi = 0.0;     // 3.14159..., set by init
};

// The global model's residuals and estimates, and the residual sum of
// squares of the latest model.
struct anova {
    double rss = 0.0;
    std::vector<double> gresid;  // global residuals
    std::vector<double> gbeta;   // global estimates, K (left by the global fit)
};

// Fitted values, residuals and singular flags per location.
struct output {
    std::vector<double> yhat, resid;  // per location
    std::vector<int> locsing;         // per location: 1 generalised inverse used
    int samepts = 0;                  // 1 fit locations are the observations
};

// Casewise diagnostics (diagpt) and condition numbers per location.
struct diags {
    std::vector<double> stdres, cookd, locr2;  // per location
    // Condition number of the local design per location: the square root of
    // the ratio of the largest to the smallest eigenvalue of X'WX with its
    // columns scaled to unit diagonal; infinity where the fit is singular.
    std::vector<double> cond;
};

// The reweighted fits of the logistic and Poisson models.
struct glm1 {
    int niter = 0;  // reweighting passes of the global fit
    // The start of every local fit, the same at every location: the
    // working response of the start, the linear predictor and e^eta of the
    // unweighted first solve (n each) and its estimates (K).  Filled before
    // each loop of local fits and only read inside it.
    std::vector<double> zstart, etastart, expstart;
    std::vector<double> bstart;
    // For each location of the local model, the estimates of the pass at
    // which the relative convergence test of the standard errors' refit
    // stops (column i, K rows), recorded by the local fit when that pass
    // came before the fit converged (hasbrel(i) = 1): the refit makes the
    // same passes from the same start and would end there.
    dmat brel;
    std::vector<int> hasbrel;
    // The adaptive bi-square's D of each location in the latest loop of
    // local fits through the neighbour index (not a number where the
    // weights came another way): the later loops at the same size and
    // points take the weights without selecting D again.
    std::vector<double> dfit;
    int dfit_nn = -1;          // the size it was kept at (-1: none kept)
    bool dfit_atobs = false;   // kept at the observation points, else at the fit locations
};

// Log-likelihoods and deviances of the global and the local model.
struct glm2 {
    double loglik = 0.0, deviance = 0.0;  // latest IRLS fit
    double loclik = 0.0, locdev = 0.0;    // local model
};

// The Poisson offsets of record 5.
struct glm3 {
    std::vector<double> offset;  // Poisson offsets
    // Poisson: ln(y/offset) of every observation (0 where y is 0), formed
    // once per run for the likelihood's vector path (empty: not formed).
    std::vector<double> lnratio;
};

// The Monte Carlo test (mctest).
struct monte1 {
    double mean = 0.0, ss = 0.0;     // running mean and sum of squares of the latest mcstat
    dmat stats;                      // test statistics: row 1 observed, rows 2.. randomised
    std::vector<double> xsave, ysave;  // observation coordinates before randomisation
};

// Conversion between degrees and radians (set by init).
struct trig {
    double degrad = 0.0;  // degrees per radian
    double raddeg = 0.0;  // radians per degree
};

// What the result files write: the parameter count and the column names.
struct outst1 {
    int npar = 0;  // parameters written to the result files
};

struct outst2 {
    std::vector<std::string> names;  // result-file column names
};

// Predictions at the fit locations from the predictor values of a location
// table (engine/control/loctable.cpp fills the table's values; the fits
// fill the rest, engine/gaussian/predict.cpp).  Inactive for every run whose
// location file gives no predictor values.
struct predict {
    bool table = false;   // the location file is a table with a header line
    bool active = false;  // ... and it holds every independent variable
    std::string idcol;    // the table's column of identifiers ("" : record numbers)
    std::string offcol;   // its column of Poisson offsets ("" : none)
    dmat x0;                    // nloc x K design at the fit locations, column 1 all ones
    std::vector<double> off0;   // Poisson offsets at the fit locations (1 without a column)
    std::vector<double> predy;  // predicted response at each fit location
    std::vector<double> predse; // its standard error
    std::vector<double> q;      // Gaussian: x0' C x0, C = (X'WX)^-1 X'W^2X (X'WX)^-1
    double sigma = 0.0;         // Gaussian: sigma of the local model at the observations
    // What the table's reader did quietly and a user may not mean (empty
    // fields read as 0, records continued or cut short), for the listing.
    std::vector<std::string> warnings;
};

}  // namespace blocks

// Scratch of one weighted least-squares fit at one location.  One `work`
// per thread; sized once per run by `work::size`.
struct work {
    std::vector<double> wt;      // kernel weights, n
    std::vector<double> wtl;     // kernel weights of fit locations side by side (wtl[Lj + f], L = 4 or 8 lanes), 8n
    std::vector<double> dsqwrk;  // the adaptive kernel's scratch: squared distances, then weights, n
    std::vector<double> lresid;  // unweighted residuals of the fit, n
    std::vector<double> hdiag;   // projection diagonal, n
    dmat xc;                     // X*C, n x K
    dmat xtwx, xtwxi;            // K x K cross products and their (generalised) inverse
    dmat minvw;                  // K x K work copy inverted by minv
    dmat mwork;                  // K x n, C*X'W of the variance factors
    std::vector<double> xtwy, bhat, sehat, bprev;  // K
    std::vector<int> lpiv, mpiv;                  // minv pivots, K
    std::vector<int> keep;                        // retained parameters of a generalised inverse
    std::vector<double> packed, cwork;            // packed lower triangle, subinv work
    std::vector<double> packinv;                  // packed generalised inverse from subinv
    double lrss = 0.0;   // residual sum of squares of the fit (fitreg)
    double trloc = 0.0;  // trace of the projection (fitreg)
    int singfl = 0;      // 1: the fit took the generalised inverse

    // Iteratively reweighted fits of the logistic and Poisson models.
    std::vector<double> kwt;    // kernel weights of the current fit, n
    std::vector<double> zwork;  // working response, n
    std::vector<double> eta;    // linear predictor, n
    std::vector<double> expeta; // e^eta: the likelihood of a pass and the reweighting of the next read it, n
    std::vector<double> lgterm; // the logarithmic terms of the log-likelihood (a block of them on the vector paths), n
    std::vector<double> varwt;  // variance weights: p(1 - p) logistic, the mean Poisson, n
    std::vector<double> kvwt;   // kernel weight times variance weight, n
    std::vector<double> quad;   // x_j' M x_j of each observation for the K x K matrix of a trace, n
    std::vector<double> wwt;    // working weights (kept apart from the kernel weights in wt), n
    // The visited observations of a local fit packed in visiting order
    // (glm/rows.cpp): design rows (K values each), response, offset,
    // kernel weight and working response; the working weights of a block.
    std::vector<double> prow;                  // K n
    std::vector<double> py, po, pkw, pz, pww;  // n
    dmat vmat;                  // K x K variance-weighted cross products
    int niter = 0;              // reweighting passes of the latest fit
    double loglik = 0.0, deviance = 0.0, enp = 0.0;  // of the latest fit; enp: trace of its hat matrix
    // The estimates of the first pass that met the relative convergence
    // test in a fit by the absolute one (hasbrel = 1), K.
    std::vector<double> brel;
    int hasbrel = 0;

    // Observations with a non-zero kernel weight, ascending, when the kernel
    // has a cut-off: wt is 0 everywhere else.  nnbr = -1: every observation
    // may carry weight (scan wt).
    std::vector<int> nbr;                // n
    int nnbr = -1;                       // entries of nbr in use, or -1
    std::vector<int> cand;               // candidate observations of a neighbour search, n
    std::vector<double> candd;           // their squared distances, n
    std::vector<std::uint64_t> mark;     // one bit per observation, (n + 63) / 64 words
    bool wtsparse = false;               // wt is 0 outside nbr[0..nnbr-1]
    // The adaptive bi-square's D (the N-th smallest squared distance) of the
    // latest search through a neighbour index (genwgt_grid, genwgt_sphgrid).
    double dmax = 0.0;

    // Sizes every buffer for n observations and k parameters (once per run).
    void size(int n, int k);
};

namespace progress {
struct sink;  // progress lines for a watching program (control/progress.h)
}

// Spatial index of the observation points (a uniform grid), built by the
// fitting loops for the kernels with a cut-off.
struct nbgrid;
// The same for spherical coordinates (a grid over the points' unit vectors).
struct sphgrid;

// Everything one run holds: the blocks, the run description, the scratch
// of the fitting loops, the random source and the streams.
struct state {
    blocks::option option;
    blocks::files files;
    blocks::parms parms;
    blocks::fit5 fit5;
    blocks::sampl sampl;
    blocks::dat2 dat2;
    blocks::lab1 lab1;
    blocks::lab2 lab2;
    blocks::struc1 struc1;
    blocks::struc2 struc2;
    blocks::fit1 fit1;
    blocks::fit2 fit2;
    blocks::fit3 fit3;
    blocks::fit6 fit6;
    dmat bvals;  // local estimates (descriptive runs: local means), nloc x K
    dmat svals;  // standard errors (descriptive runs: local variances), nloc x K
    std::vector<double> tvals;  // t values (descriptive runs: standard deviations) of one location
    blocks::hat1 hat1;
    blocks::anova anova;
    blocks::output output;
    blocks::diags diags;
    blocks::glm1 glm1;
    blocks::glm2 glm2;
    blocks::glm3 glm3;
    blocks::monte1 monte1;
    blocks::trig trig;
    blocks::outst1 outst1;
    blocks::outst2 outst2;
    blocks::predict pred;  // predictions from a location table's predictor values

    work ws;  // scratch of the serial fitting loops (and of thread 0 of the parallel ones)
    std::vector<work> wpool;  // scratch of threads 1.. of the parallel fitting loops
    std::shared_ptr<const nbgrid> nbix;  // neighbour index while a fitting loop runs, else empty
    std::shared_ptr<const sphgrid> sphix;  // its spherical counterpart, while a fitting loop runs
    int nbmin = 1024;  // fewest observations for which the fitting loops build the index
    // The loops over every observation in vector form where the processor
    // has AVX2: the vector exponential of gaussian/vexp.h for the kernel
    // weights and the logistic and Poisson means, and four calibration
    // points fitted at once (gaussian/wls.cpp, the same sums in the same
    // order).  false: std::exp and one fit at a time, the scalar path that
    // the tests compare whole runs against.
    bool vector_loops = true;
    // The widest vector path the loops may take where vector_loops is set
    // (gaussian/vexp.h); the tests lower it to compare the paths' results.
    vector_isa vector_cap = vector_isa::avx512;

    rng rand;  // the run's only random source

    progress::sink* progress = nullptr;  // progress lines (tzm --progress), null: none

    std::ostream* out;  // the listing
    std::ostream* err;  // standard error
    std::istream* in;   // the control file

    // Control-file reading position (for diagnostics and list-directed continuation).
    int ctlrec = 0;

    // Observation file, left open by rdlabl after its header for rdata.
    std::unique_ptr<std::ifstream> datstream;
    int datline = 0;  // last line read from the data file

    state();  // on the process's standard streams
    state(std::istream& in, std::ostream& out, std::ostream& err);

    // The run description (control/run.h): read-only.  read1 sets it once
    // the control file is read; rdata adds the observation count n and the
    // model set-up the parameter count K.  A test that builds a state by
    // hand describes it the same way.
    const run_description& run() const { return run_; }
    void describe(const run_description& d) { run_ = d; }
    void set_observation_count(int n) { run_.n = n; }
    void set_parameter_count(int k) { run_.K = k; }

    // Per-observation tables (n rows).
    void size_obs(int n);
    // Per-location tables: `rows` rows, k columns.  Callers pass
    // max(nobs, nloc): the same tables hold per-observation values (global
    // fitted values, calibration trials) when the locations are elsewhere.
    void size_loc(int rows, int k);

private:
    run_description run_;
};

}  // namespace gwr
