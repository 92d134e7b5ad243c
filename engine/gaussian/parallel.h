// Threads of the fitting loops.
//
// The loops over fit locations run in parallel (OpenMP, OMP_NUM_THREADS
// threads; one thread without OpenMP).  Every thread fits its locations with
// its own scratch `work` and writes only the rows of its own locations; sums
// over locations are formed afterwards, in location order, from the stored
// per-location values, and nothing is written to the listing inside a
// parallel region.  So a run gives the same bytes for any number of threads.
#pragma once

#include "control/blocks.h"

namespace gwr {

// Number of threads the parallel loops use.
int nthreads();

// Number of the calling thread inside a parallel region (0 outside).
int thread_num();

// Gives every thread of the parallel loops its scratch, sized like s.ws:
// thread 0 uses s.ws, the others s.wpool.  Allocates only when the thread
// count or the sizes changed, so a loop run many times (calibration, the
// Monte Carlo test) allocates once.
void size_pool(state& s);

// Scratch of thread t after size_pool.
work& thread_work(state& s, int t);

}  // namespace gwr
