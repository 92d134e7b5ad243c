// Helpers shared by the result-file writers.
#pragma once

#include <fstream>
#include <string>

#include "control/blocks.h"

namespace gwr::written {

// Stem followed by k right-justified in two columns, a leading blank
// written as an underscore: PARM_1 .. PARM_9, PARM10 ..
std::string numbered(const char* stem, int k);

// Coordinates of fit location l (0-based) as the result files hold them:
// degrees when the run is spherical, rounded to single precision.
float xwritten(const state& s, int l);
float ywritten(const state& s, int l);

// Observed value column of location l: the dependent variable where the
// locations are the observations, the marker -1 elsewhere.
double observed(const state& s, int l);

// t value of parameter k (0-based) at location l: estimate over standard
// error where the standard error is positive, else 0.
double tvalue(const state& s, int l, int k);

// The seven casewise columns of location l in file order: observed,
// predicted, residual, leverage, standardised residual, Cook's distance,
// local r-square.
void casewise(const state& s, int l, double out[7]);

// Opens a result file for writing, replacing an existing one; throws
// io_error naming the file when it cannot be created.
void open_result(std::ofstream& f, const std::string& name);

// Closes a result file; throws io_error naming the file when anything
// written to it was lost.
void close_result(std::ofstream& f, const std::string& name);

}  // namespace gwr::written
