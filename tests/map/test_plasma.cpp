// Plasma heights: repeatable, the grain as a true modulo of 32, the height
// range, and the sizes it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "core/rand.h"
#include "map/plasma.h"

namespace {

std::vector<uint8_t> Field(int w, int h, int grain, unsigned seed)
{
    std::vector<uint8_t> b((size_t)w * h, 0);
    EXPECT_EQ(Plasma_Generate(b.data(), w, h, grain, seed), 1);
    return b;
}

} // namespace

TEST(Plasma, SameArgumentsGiveTheSameHeights)
{
    for (int grain : {0, 12}) {
        auto a = Field(64, 40, grain, 1234);
        Crt_Srand(999);   // whatever the generator did in between
        Crt_Rand();
        EXPECT_EQ(Field(64, 40, grain, 1234), a) << "grain " << grain;
    }
    EXPECT_NE(Field(64, 40, 5, 1), Field(64, 40, 5, 2));
}

TEST(Plasma, GrainIsTakenModulo32)
{
    for (auto [grain, same] : {std::pair{37, 5}, {-1, 31}})
        EXPECT_EQ(Field(50, 50, grain, 7), Field(50, 50, same, 7)) << grain;
}

TEST(Plasma, HeightsStayWithin1To144)
{
    // Grain 0 is rough enough to reach both ends, so both clamps are used.
    auto b = Field(200, 120, 0, 3);
    auto [lo, hi] = std::minmax_element(b.begin(), b.end());
    EXPECT_EQ(*lo, PLASMA_MIN_HEIGHT);
    EXPECT_EQ(*hi, PLASMA_MAX_HEIGHT);
}

TEST(Plasma, CoarseGrainsOnlyBlendTheFourCorners)
{
    // 33 x 33 is exactly the plasma square: its corners are the seeded ones,
    // and without displacement every height lies between them.
    // A fine grain leaves that band somewhere.
    for (int grain : {16, 31, 2}) {
        auto b = Field(33, 33, grain, 42);
        uint8_t c[] = {b[0], b[32], b[32 * 33], b[32 * 33 + 32]};
        const auto band = std::minmax_element(std::begin(c), std::end(c));
        const uint8_t lo = *band.first, hi = *band.second;
        const bool outside = std::any_of(b.begin(), b.end(), [&](uint8_t v) { return v < lo || v > hi; });
        EXPECT_EQ(outside, grain == 2) << grain;
    }
}

TEST(Plasma, SizesOutsideTheLimitsAreRefusedUntouched)
{
    std::vector<uint8_t> b(4, 0xEE);
    for (auto [w, h] :
         {std::pair{0, 1}, {2, -2}, {1, PLASMA_MAX_SIDE + 1}})
        EXPECT_EQ(Plasma_Generate(b.data(), w, h, 5, 1), 0) << w << " x " << h;
    EXPECT_EQ(Plasma_Generate(nullptr, 2, 2, 5, 1), 0);
    EXPECT_EQ(b, std::vector<uint8_t>(4, 0xEE));
    // The largest accepted.
    auto big = Field(PLASMA_MAX_SIDE, PLASMA_MAX_SIDE, 9, 1);
    EXPECT_GE(*std::min_element(big.begin(), big.end()), PLASMA_MIN_HEIGHT);
}
