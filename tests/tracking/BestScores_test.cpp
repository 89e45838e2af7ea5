#include "tracking/BestScores.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(BestScores, TheBoundIsTheLargestOfTheCountSmallestOnceThereAreEnough) {
    CBestScores best(3);
    const float infinity = std::numeric_limits<float>::infinity();
    best.Offer(5.0f);
    best.Offer(NAN);  // counts for nothing
    best.Offer(2.0f);
    EXPECT_EQ(best.Bound(), infinity);
    best.Offer(9.0f);
    EXPECT_EQ(best.Bound(), 9.0f);
    best.Offer(9.0f);  // not below the bound: the bound stays
    EXPECT_EQ(best.Bound(), 9.0f);
    best.Offer(1.0f);
    EXPECT_EQ(best.Bound(), 5.0f);
    best.Offer(2.0f);  // a tie with a kept one is kept
    EXPECT_EQ(best.Bound(), 2.0f);

    CBestScores none(0);  // at least one
    none.Offer(4.0f);
    EXPECT_EQ(none.Bound(), 4.0f);
}

}  // namespace
