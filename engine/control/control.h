// Run control: driver, control-file reader, data readers.
#pragma once

#include <string>
#include <vector>

#include "control/blocks.h"

namespace gwr {

// The whole run: banner, limits, init, read1, dispatch, finish.  Returns the
// process exit status; error stops and failures are turned into their
// standard-error text and status here.
int run(state& s);

// Sets the constants (degrees and radians, pi) and clears the control vector.
void init(state& s);
// The banner at the head of the listing, with the build's release.
void banner(state& s);
// The line "Program <text> at: <date and time>".
void xtime(state& s, const std::string& text);
// The closing lines: normal end (code 0) or premature end with its code.
void finish(state& s, int code);
// The echo of the analysis method (record 15), setting its control-vector
// word; stops (905) for a method the engine does not offer.
void problm(state& s, analysis m);
// The echo of the coordinate type (record 16), setting its word; stops (906)
// for an unknown type.
void ctype(state& s, coordinates c);
// The control-vector dump: words 1 to 20 with their labels.
void pcntrl(state& s);

// Reads the control file (records 1 to 16 and the keyword records), decodes
// it into the run description, refuses result files that would replace an
// input (chkout), and echoes it to the listing; stops at the first choice
// the engine does not know.
void read1(state& s);
// Records 1 to 3: the data, location and result file names; no location
// file means estimation at the observation points.
void gtfnam(state& s);

// The model's variables: the data columns (1-based, in data-file order)
// flagged in record 7 that are not the dependent, a coordinate or the
// weight; the predictors of a regression, the chosen variables of local
// statistics.  Only the first maxvar columns count (a data file with more
// stops when its records are read).
std::vector<int> model_columns(const state& s);

// Opens the data file and reads its header line: the variable names.
void rdlabl(state& s);
// Reads the data records into the data table (sets the observation count
// n); warns about empty fields, continued and cut records; ends the run
// with status 1 at a record that is not numbers, and stops for more
// variables or observations than the program holds and for fewer
// observations than the model has parameters.
void rdata(state& s);
// Reads the location file: identifier, x and y per line (degrees become
// radians when spherical).
void readin(state& s);
// Thins the fit locations for the Monte Carlo test of record 13 = -1: about
// 100 of them kept, each by a draw of the generator reseeded with its
// number; writes the share and the count kept.
void thin(state& s);

// Fit-location set-up, run by each analysis right after rdata once the
// observation coordinates xobs/yobs are in place (radians when spherical):
// without a location file (record 2 empty) the observation points are
// copied; with one, readin reads it and the same-location test applies
// (same count and exactly equal coordinates in the same order -> samepts =
// 1, else 0; the dump's word iloc follows).  Sets nloc and nfit.  Writes
// nothing of its own beyond readin's line; returns true when a location
// file was read, so the caller writes its own messages.
bool fitloc(state& s);

// Runs the analysis of the run's method (after read1).
void dispatch(state& s);

}  // namespace gwr
