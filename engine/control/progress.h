// Progress lines for a program that watches a run (tzm --progress).
//
// With --progress the engine writes lines "progress PHASE STEP STEPS" on
// standard error: STEP units of the phase's STEPS are done.  The phases:
//   reading      bytes of the data file read
//   calibration  criterion evaluations of the bandwidth search, of an
//                estimated total (revised as the search narrows)
//   interval     criterion evaluations of the bandwidth interval after a
//                search by AICc done, of all of them
//   fits         locations of the current fitting loop done, of all of them
//   montecarlo   randomised data sets of the Monte Carlo test done, of 99
//   writing      0 of 1 when a result file is begun, 1 of 1 when it is done
// A fitting loop that runs inside the calibration, the bandwidth interval or
// the Monte Carlo test
// reports its locations as "fits" lines between the lines of that phase.
//
// Progress never touches the listing or any result: the fitting loops count
// with an atomic counter and only thread 0 writes, at most five lines a
// second, so the bytes of a run are the same with and without it.  A run
// without a sink (state::progress null) does nothing but one test per call.
#pragma once

#include <atomic>
#include <chrono>
#include <iosfwd>

namespace gwr {

struct state;

namespace progress {

using clock = std::chrono::steady_clock;  // the clock of the intervals between lines

// Where the lines go, and when a fitting loop last wrote one.
struct sink {
    std::ostream* err = nullptr;                                // standard error
    clock::time_point last = clock::now();                      // the latest "fits" line
    clock::duration interval = std::chrono::milliseconds(200);  // the least time between two
};

// One line "progress PHASE STEP STEPS".
void report(state& s, const char* phase, long long step, long long steps);

// The golden-section search after `done` criterion evaluations, its bracket
// [x0, x3] with inner points x1, x2 and relative tolerance `tol`: reports
// `done` of the evaluations the search will make, estimated from how far
// the bracket still has to shrink.
void trials(state& s, int done, double x0, double x1, double x2, double x3, double tol);

// Reading the observation records from `in` (the data file): every 1024
// records, the bytes read of the file's size.  `done` reports the end.
void reading(state& s, std::istream& in, long long records, bool done = false);

// A loop over `total` fit locations: tick() once per location, from any
// thread.  Thread 0 writes "fits DONE TOTAL" when a fifth of a second has
// passed since the last such line; a loop that wrote a line writes its
// final count when it ends.
class loop {
public:
    loop(state& s, long long total);
    ~loop();  // the final count, when the loop wrote a line
    loop(const loop&) = delete;
    loop& operator=(const loop&) = delete;
    // One location done (any thread); nothing without a sink.
    void tick() {
        if (sink_) step();
    }

private:
    void step();                      // counts, and writes a line on thread 0 when due
    sink* sink_;                      // the state's sink, or null
    long long total_;                 // locations of the loop
    std::atomic<long long> done_{0};  // locations done
    bool said_ = false;               // a line was written
};

}  // namespace progress
}  // namespace gwr
