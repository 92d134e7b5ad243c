#include "gaussian/parallel.h"

#ifdef _OPENMP
#include <omp.h>
#endif

namespace gwr {

int nthreads() {
#ifdef _OPENMP
    return omp_get_max_threads();
#else
    return 1;
#endif
}

int thread_num() {
#ifdef _OPENMP
    return omp_get_thread_num();
#else
    return 0;
#endif
}

void size_pool(state& s) {
    const int extra = nthreads() - 1;
    const int n = static_cast<int>(s.ws.wt.size());
    const int k = static_cast<int>(s.ws.bhat.size());
    if (static_cast<int>(s.wpool.size()) != extra) s.wpool.resize(extra);
    for (work& w : s.wpool)
        if (static_cast<int>(w.wt.size()) != n || static_cast<int>(w.bhat.size()) != k) w.size(n, k);
}

work& thread_work(state& s, int t) { return t == 0 ? s.ws : s.wpool[t - 1]; }

}  // namespace gwr
