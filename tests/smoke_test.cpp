#include <gtest/gtest.h>

#include "control/rng.h"

// The portable generator gives the same sequence on every machine.
TEST(Rng, FirstValuesOfARun) {
    gwr::rng r;
    EXPECT_EQ(r.rand(), 19689);
    EXPECT_EQ(r.rand(), 16279);
    EXPECT_EQ(r.rand(), 3421);
    EXPECT_EQ(r.rand(), 2957);
    EXPECT_EQ(r.rand(), 19080);
}
