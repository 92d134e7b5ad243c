// Writes a synthetic observation file for the benchmarks.
//
//   gen_data N SEED FILE
#include <cstdio>
#include <cstdlib>

#include "synth.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: gen_data N SEED FILE\n");
        return 2;
    }
    int n = std::atoi(argv[1]);
    if (n < 1) {
        std::fprintf(stderr, "gen_data: N must be at least 1\n");
        return 2;
    }
    if (!synth::write_data(argv[3], n, std::strtoull(argv[2], nullptr, 10))) {
        std::fprintf(stderr, "gen_data: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
