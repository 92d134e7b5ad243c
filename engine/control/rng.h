// The engine's portable pseudo-random generator.
//
// The platform's rand() differs between systems (range and sequence), which
// would make sampled calibration, thinning and the Monte Carlo test differ
// from machine to machine.  This generator is the same everywhere: a 64-bit
// linear congruential state seeded through SplitMix64; rand() returns the top
// 15 bits (0..32767).  A run starts as after srand(1).
#pragma once

#include <cstdint>

namespace gwr {

struct rng {
    static constexpr int rand_max = 32767;  // largest value of rand()
    std::uint64_t s = 0;                    // the generator's state

    rng() { srand(1); }

    // Restarts the sequence: the state is SplitMix64 of the seed.
    void srand(std::uint64_t seed) {
        std::uint64_t z = seed + 0x9E3779B97F4A7C15ULL;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        s = z ^ (z >> 31);
    }

    // The next value, 0..32767: the top 15 bits of the next LCG state
    // (Knuth's MMIX multiplier and increment).
    int rand() {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<int>(s >> 49);
    }
};

}  // namespace gwr
