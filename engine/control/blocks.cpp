#include "control/blocks.h"

#include <iostream>

namespace gwr {

namespace blocks {

int option::word(int k) const {
    switch (k) {
        case 1: return nvfile;
        case 3: return idep;
        case 4: return ixvar;
        case 5: return iyvar;
        case 6: return iwvar;
        case 7: return ncol;
        case 8: return kertyp;
        case 9: return kershp;
        case 10: return icalib;
        case 11: return itest;
        case 12: return ihist;
        case 13: return ipred;
        case 14: return iouttp;
        case 15: return iloc;
        case 16: return nfit;
        case 17: return idiag;
        case 18: return iorig;
        case 19: return isph;
        case 20: return method;
        case 31: return rawhst;
        case 32: return rawprd;
        case 33: return rawout;
        default:
            if (k >= 21 && k <= 30) return spare[k - 21];
            if (k >= 34 && k <= 36) return spare2[k - 34];
            return 0;
    }
}

void option::clear_words() {
    int keep_hst = rawhst, keep_prd = rawprd, keep_out = rawout;
    std::array<int, 3> keep2 = spare2;
    *this = option{};
    rawhst = keep_hst;
    rawprd = keep_prd;
    rawout = keep_out;
    spare2 = keep2;
}

}  // namespace blocks

void work::size(int n, int k) {
    wt.assign(n, 0.0);
    wtl.assign(8 * static_cast<std::size_t>(n), 0.0);
    dsqwrk.assign(n, 0.0);
    lresid.assign(n, 0.0);
    hdiag.assign(n, 0.0);
    xc.resize(n, k);
    xtwx.resize(k, k);
    xtwxi.resize(k, k);
    minvw.resize(k, k);
    mwork.resize(k, n);
    xtwy.assign(k, 0.0);
    bhat.assign(k, 0.0);
    sehat.assign(k, 0.0);
    bprev.assign(k, 0.0);
    lpiv.assign(k, 0);
    mpiv.assign(k, 0);
    keep.assign(k, 0);
    packed.assign(static_cast<std::size_t>(k) * (k + 1) / 2, 0.0);
    cwork.assign(k, 0.0);
    packinv.assign(static_cast<std::size_t>(k) * (k + 1) / 2, 0.0);
    lrss = 0.0;
    trloc = 0.0;
    singfl = 0;
    kwt.assign(n, 0.0);
    zwork.assign(n, 0.0);
    eta.assign(n, 0.0);
    expeta.assign(n, 0.0);
    lgterm.assign(n, 0.0);
    varwt.assign(n, 0.0);
    kvwt.assign(n, 0.0);
    quad.assign(n, 0.0);
    wwt.assign(n, 0.0);
    prow.assign(static_cast<std::size_t>(n) * k, 0.0);
    py.assign(n, 0.0);
    po.assign(n, 0.0);
    pkw.assign(n, 0.0);
    pz.assign(n, 0.0);
    pww.assign(n, 0.0);
    vmat.resize(k, k);
    niter = 0;
    loglik = deviance = enp = 0.0;
    brel.assign(k, 0.0);
    hasbrel = 0;
    nbr.assign(n, 0);
    nnbr = -1;
    cand.assign(n, 0);
    candd.assign(n, 0.0);
    mark.assign((static_cast<std::size_t>(n) + 63) / 64, 0);
    wtsparse = false;
}

state::state() : state(std::cin, std::cout, std::cerr) {}

state::state(std::istream& i, std::ostream& o, std::ostream& e) : out(&o), err(&e), in(&i) {}

void state::size_obs(int n) {
    struc2.xobs.assign(n, 0.0);
    struc2.yobs.assign(n, 0.0);
    struc2.ydep.assign(n, 0.0);
    fit6.obswt.assign(n, 1.0);
    sampl.insamp.assign(n, 1);
    anova.gresid.assign(n, 0.0);
    glm1.zstart.assign(n, 0.0);
    glm1.etastart.assign(n, 0.0);
    glm1.expstart.assign(n, 0.0);
    glm3.offset.assign(n, 1.0);
}

void state::size_loc(int rows, int k) {
    bvals.resize(rows, k);
    svals.resize(rows, k);
    tvals.assign(k, 0.0);
    glm1.bstart.assign(k, 0.0);
    glm1.brel.resize(k, rows);
    glm1.hasbrel.assign(rows, 0);
    hat1.hatdg.assign(rows, 0.0);
    output.yhat.assign(rows, 0.0);
    output.resid.assign(rows, 0.0);
    output.locsing.assign(rows, 0);
    diags.stdres.assign(rows, 0.0);
    diags.cookd.assign(rows, 0.0);
    diags.locr2.assign(rows, 0.0);
    diags.cond.assign(rows, 0.0);
}

}  // namespace gwr
