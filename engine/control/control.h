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

void init(state& s);
void banner(state& s);
void xtime(state& s, const std::string& text);
void finish(state& s, int code);
// The echo of the analysis method (record 15), setting its control-vector
// word; stops (905) for a method the engine does not offer.
void problm(state& s, analysis m);
// The echo of the coordinate type (record 16), setting its word; stops (906)
// for an unknown type.
void ctype(state& s, coordinates c);
// The control-vector dump: words 1 to 20 with their labels.
void pcntrl(state& s);

void read1(state& s);
void gtfnam(state& s);

// The model's variables: the data columns (1-based, in data-file order)
// flagged in record 7 that are not the dependent, a coordinate or the
// weight; the predictors of a regression, the chosen variables of local
// statistics.  Only the first maxvar columns count (a data file with more
// stops when its records are read).
std::vector<int> model_columns(const state& s);

void rdlabl(state& s);
void rdata(state& s);
void readin(state& s);
void thin(state& s);

// Fit-location set-up, run by each analysis right after rdata once the
// observation coordinates xobs/yobs are in place (radians when spherical):
// iloc = 1 copies the observation points; iloc = 2 reads the location file
// (readin) and applies the same-location test (same count and exactly equal
// coordinates in the same order -> samepts = 1, iloc = 1; else samepts = 0,
// iloc = 2).  Sets nloc and nfit.  Writes nothing of its own beyond readin's
// line; returns true when a location file was read, so the caller writes its
// own messages.
bool fitloc(state& s);

// Runs the analysis of the run's method (after read1).
void dispatch(state& s);

}  // namespace gwr
