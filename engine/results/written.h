// Helpers shared by the result-file writers.
#pragma once

#include <fstream>
#include <initializer_list>
#include <string>

#include "control/blocks.h"

namespace gwr::written {

// Stem followed by k right-justified in two columns, a leading blank
// written as an underscore: PARM_1 .. PARM_9, PARM10 ..
std::string numbered(const char* stem, int k);

// Coordinates of fit location l (0-based) as the result files hold them:
// degrees when the run is spherical, rounded to single precision.
float xwritten(const state& s, int l);
float ywritten(const state& s, int l);  // the same for y

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

// Whether the model's result files end with the columns PREDY and PREDSE
// (the prediction and its standard error at each fit location): only runs
// whose location table gives predictor values.
bool predicted(const state& s);

// A result file written under a temporary name in the folder of its final
// name (its stem, ".tmp-" and six random characters, its extension) and
// renamed to that name only when complete: a run that fails while writing
// leaves neither a partial file nor a destroyed earlier one.  A name that
// is a device or a pipe (/dev/null) is written directly; a folder is refused.
//
// Text writers call open() for the stream, then commit() (or commit({...})
// for a set of files that must all be written before any is renamed).  A
// writer that has a library create the file under a path gives it vacate()
// and then commits.  Without commit the temporary file is removed when the
// object goes.
class staged_file {
public:
    // Reserves the temporary file; io_error naming the file when it cannot.
    explicit staged_file(std::string name);
    ~staged_file();  // removes the temporary file unless committed
    staged_file(const staged_file&) = delete;
    staged_file& operator=(const staged_file&) = delete;

    const std::string& name() const { return name_; }  // the final name
    const std::string& temp() const { return temp_; }  // the name written to
    bool direct() const { return direct_; }            // a device or pipe: written as named

    // For a library that creates the file itself and refuses to replace
    // one (GDAL): removes the empty file reserved under temp() and returns
    // temp().  The name stays unused in practice: six random characters.
    const std::string& vacate();
    // Opens temp() for writing (text); io_error when it cannot.
    std::ofstream& open();
    // Closes the stream of open(); io_error when anything written was lost.
    void close();
    // Closes the stream if open and renames temp() to name().
    void commit();

private:
    std::string name_, temp_;  // final and temporary name
    std::ofstream f_;          // the stream of open()
    bool direct_ = false;      // written under its own name
    bool committed_ = false;   // renamed
};

// Commits every file after checking that each can still take its name.
void commit(std::initializer_list<staged_file*> files);

}  // namespace gwr::written
