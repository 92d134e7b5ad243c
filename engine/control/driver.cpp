// The run sequence of the engine: banner, limits, reset, control file,
// one analysis, closing report; and the error-stop conventions.
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <new>
#include <string>

#include "control/control.h"
#include "release.h"
#include "control/stop.h"
#include "descriptive/descriptive.h"
#include "format/format.h"
#include "gaussian/gaussian.h"
#include "gaussian/inference.h"
#include "glm/glm.h"
#include "multiscale/multiscale.h"
#include "sigtest/sigtest.h"

namespace gwr {

namespace {

const char* const banner_lines[] = {
    "*************************************************",
    "*       Geographically Weighted Regression      *",
    "",  // the release line, made by banner()
    "*            Dated: 06-vii-2003                 *",
    "*                                               *",
    "*   Local regression and statistics engine      *",
    "*   Gaussian, logistic and Poisson models,      *",
    "*   local summary statistics                    *",
    "*************************************************",
};

const char* const dump_labels[20] = {
    "number of variables in data file:  ", "number of sample points:           ",
    "index of dependent variable:       ", "index of easting:                  ",
    "index of northing:                 ", "index of weight variable:          ",
    "number of columns in design matrix:", "kernel type:                       ",
    "kernel shape:                      ", "calibration method:                ",
    "monte carlo significance test:     ", "print calibration history:         ",
    "print predictions:                 ", "type of output file:               ",
    "regression & sample locations same:", "number of regression points:       ",
    "print casewise diagnostics:        ", "regression through origin:         ",
    "cartesian/spherical coordinates    ", "not used                           ",
};

void limits(state& s) {
    std::ostream& o = *s.out;
    ftn::fwrite(o, "(a)", {" "});
    ftn::fwrite(o, "(a)", {"** Program limits:"});
    ftn::fwrite(o, "(a,i7)", {"** Maximum number of variables.....", maxvar});
    ftn::fwrite(o, "(a,i7)", {"** Maximum number of observations..", maxobs});
    ftn::fwrite(o, "(a,i7)", {"** Maximum number of fit locations.", maxloc});
    ftn::fwrite(o, "(a)", {" "});
}

}  // namespace

void banner(state& s) {
    // The release comes from the build, as in the front end's About box.
    std::string release = "*               Release " TZM_RELEASE;
    release.resize(48, ' ');
    release += '*';
    for (const char* line : banner_lines) ftn::fwrite(*s.out, "(a)", {*line ? std::string(line) : release});
}

void xtime(state& s, const std::string& text) {
    std::time_t now = std::time(nullptr);
    char buf[32] = {};
    std::string stamp = ctime_r(&now, buf) ? std::string(buf, 24) : std::string(24, ' ');
    ftn::fwrite(*s.out, "(6a)", {"Program ", text, " at: ", stamp});
}

void init(state& s) {
    s.trig.degrad = 57.29577951308232;
    s.trig.raddeg = 0.017453292519943295;
    s.hat1.pi = 3.141592653589793;
    s.option.clear_words();
}

void finish(state& s, int code) {
    ftn::fwrite(*s.out, "(a)", {" "});
    if (code == 0) {
        xtime(s, "terminates normally");
    } else {
        xtime(s, "terminates prematurely");
        ftn::fwrite(*s.out, "(a,i5)", {"** Return code is ", code});
    }
}

void problm(state& s, analysis m) {
    std::ostream& o = *s.out;
    ftn::fwrite(o, "(a)", {" "});
    ftn::fwrite(o, "(a)", {"*** Analysis method ***"});
    static const char* const lines[] = {
        "*** Geographically weighted descriptive statistics",
        "*** Geographically weighted multiple regression",
        "*** Geograpically weighted logistic regression",
        "*** Geographically weighted Poisson regression",
        "*** Geographically weighted log-odds ratios",
        "*** Geographically weighted multiscale regression",
    };
    if (!offered(m)) {
        ftn::fwrite(o, "(a)", {"*** Unknown method choice... stopping."});
        throw stop("905");
    }
    ftn::fwrite(o, "(a)", {lines[static_cast<int>(m) - 1]});
    s.option.method = static_cast<int>(m);
}

void ctype(state& s, coordinates c) {
    std::ostream& o = *s.out;
    if (c == coordinates::cartesian) {
        ftn::fwrite(o, "(a)", {"** Cartesian coordinates: Euclidean Distance"});
        s.option.isph = 0;
    } else if (c == coordinates::spherical) {
        ftn::fwrite(o, "(a)", {"** Spherical coordinates: Great Circle Distance"});
        s.option.isph = 1;
    } else {
        ftn::fwrite(o, "(a)", {"*** Unknown coordinate choice... stopping."});
        throw stop("906");
    }
}

void pcntrl(state& s) {
    ftn::fwrite(*s.out, "(a)", {"*********** Control Vector Dump *************"});
    for (int k = 1; k <= 20; ++k)
        ftn::fwrite(*s.out, "(a,i4)", {dump_labels[k - 1], k == 2 ? s.run().n : s.option.word(k)});
}

void dispatch(state& s) {
    const run_description& d = s.run();
    switch (d.method) {
        case analysis::descriptive:
            dstats(s);
            break;
        case analysis::gaussian:
            runmod(s);
            tzm_ft(s);
            summry(s);
            wradjt(s);
            if (d.test == variation_test::monte_carlo)
                mctest(s);
            else if (d.test == variation_test::leung)
                yltest(s);
            break;
        case analysis::multiscale:
            // The single-bandwidth model and its blocks first, then the
            // multiscale block and its result file.
            mscheck(s);
            runmod(s);
            tzm_ft(s);
            summry(s);
            wradjt(s);
            msgwr(s);
            if (d.test != variation_test::none) {
                ftn::fwrite(*s.out, "(a)", {"** No test for spatial variation is made for the multiscale model"});
            }
            break;
        case analysis::logistic:
        case analysis::poisson:
            runglm(s);
            summry(s);
            wradjt(s);
            break;
        default:  // log-odds: straight to the closing report
            break;
    }
}

int run(state& s) {
    int status = 0;
    try {
        banner(s);
        xtime(s, "starts");
        limits(s);
        init(s);
        read1(s);
        dispatch(s);
        finish(s, 0);
    } catch (const stop& st) {
        s.out->flush();
        if (!st.code.empty()) *s.err << "STOP " << st.code << " statement executed\n";
        if (!st.note.empty()) *s.err << "tzm: " << st.note << "\n";
        status = stop_status;
    } catch (const exit_status& e) {
        status = e.status;
    } catch (const io_error& e) {
        s.out->flush();
        *s.err << "tzm: " << e.what() << "\n";
        status = io_error_status;
    } catch (const std::bad_alloc&) {
        s.out->flush();
        *s.err << "tzm: not enough memory for the tables of this run\n";
        status = io_error_status;
    }
    s.out->flush();
    s.err->flush();
    return status;
}

}  // namespace gwr
