// Random streams, the runtime generator, unique ids and angles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <vector>

#include "core/angle.h"
#include "core/rand.h"
#include "core/uid.h"
#include "support/testsupport.h"

namespace {

// ---------------------------------------------------------------------------
// Rand

// A range larger than any table number modulo which keeps draws distinct.
constexpr int32_t WIDE = INT32_MAX;

class Rand : public ::testing::Test {
protected:
    void SetUp() override { Rand_Reset(0); }
    void TearDown() override { Rand_Reset(0); }

    static std::vector<int32_t> Draw(int n, int32_t range)
    {
        std::vector<int32_t> out;
        for (int i = 0; i < n; i++) out.push_back(Rand_Next(range));
        return out;
    }
};

TEST_F(Rand, BothStreamsReadOneTableOf140DistinctNumbersAndWrap)
{
    std::vector<int32_t> first = Draw(RAND_TABLESIZE, WIDE);
    EXPECT_EQ(Rand_GetPosition(), 0);
    EXPECT_EQ(Draw(RAND_TABLESIZE, WIDE), first);
    // A broken table (a repeated number) would show up as a repeat here.
    EXPECT_EQ(std::set<int32_t>(first.begin(), first.end()).size(), (size_t)RAND_TABLESIZE);
    Rand_SetLocalPosition(139);
    EXPECT_EQ(Rand_NextLocal(WIDE), first[139]);
    EXPECT_EQ(Rand_GetLocalPosition(), 0);
}

TEST_F(Rand, DrawsStayBelowTheRangeAndANonPositiveOneGivesZeroWithoutMoving)
{
    for (int32_t range : {1, 7, INT32_MAX}) {
        for (int i = 0; i < RAND_TABLESIZE; i++) {
            int32_t n = Rand_Next(range);
            EXPECT_GE(n, 0);
            EXPECT_LT(n, range);
        }
    }
    Rand_SetPosition(17);
    Rand_SetLocalPosition(88);
    for (int32_t range : {0, INT32_MIN}) {
        EXPECT_EQ(Rand_Next(range), 0);
        EXPECT_EQ(Rand_NextLocal(range), 0);
    }
    EXPECT_EQ(Rand_GetPosition(), 17);
    EXPECT_EQ(Rand_GetLocalPosition(), 88);
}

// Positions are taken modulo 140 and made positive; a reset starts the
// synchronised stream at 0 and the local one where it is told.
TEST_F(Rand, PositionsWrapInto0To139)
{
    struct CASE { int32_t set; int32_t got; };
    for (CASE c : {CASE{141, 1}, CASE{-281, 139}, CASE{INT32_MIN, 12}}) {
        Rand_SetPosition(c.set);
        EXPECT_EQ(Rand_GetPosition(), c.got) << c.set;
        Rand_Reset(c.set);
        EXPECT_EQ(Rand_GetPosition(), 0);
        EXPECT_EQ(Rand_GetLocalPosition(), c.got) << c.set;
    }
}

TEST_F(Rand, StreamsMoveIndependentlyAndAPositionReplays)
{
    Rand_SetPosition(10);
    Rand_SetLocalPosition(10);
    std::vector<int32_t> first = Draw(200, 1000);
    EXPECT_EQ(Rand_GetLocalPosition(), 10);
    for (int i = 0; i < 25; i++) Rand_NextLocal(WIDE);
    EXPECT_EQ(Rand_GetPosition(), 70);
    EXPECT_EQ(Rand_GetLocalPosition(), 35);
    Rand_SetPosition(10);
    EXPECT_EQ(Draw(200, 1000), first);
}

// ---------------------------------------------------------------------------
// Crt

TEST(Crt, SeedsStartWithTheKnownValues)
{
    struct Row {
        uint32_t seed;
        int32_t draws[3];
    };
    const Row rows[] = {{1, {41, 18467, 6334}}, {0xFFFFFFFFu, {35, 29739, 3374}}};
    for (const Row& row : rows) {
        Crt_Srand(row.seed);
        for (int32_t want : row.draws) EXPECT_EQ(Crt_Rand(), want) << row.seed;
    }
}

// ---------------------------------------------------------------------------
// Uid

class Uid : public ::testing::Test {
protected:
    void SetUp() override { Uid_Reset(); }
    void TearDown() override { Uid_Reset(); }
};

TEST_F(Uid, CountsUpFromOneAndReserveOrSetMovesTheCounter)
{
    EXPECT_EQ(Uid_Next(), 1);
    // Reserve only raises it.
    EXPECT_EQ(Uid_Reserve(10), 10);
    EXPECT_EQ(Uid_Reserve(5), 5);
    EXPECT_EQ(Uid_Next(), 11);
    Uid_Reserve(11);
    EXPECT_EQ(Uid_Next(), 12);
    // Set restores a saved counter, at least 1.
    Uid_Set(-7);
    EXPECT_EQ(Uid_Next(), 1);
}

// Without the stop, the counter would wrap (undefined, then negative ids) and
// hand out ids again.
TEST_F(Uid, ExhaustedIdsAreFatalInsteadOfWrapping)
{
    Uid_Set(INT32_MAX - 1);
    EXPECT_EQ(Uid_Next(), INT32_MAX - 1);
    QV_EXPECT_FATAL(Uid_Next(), "Unique ids exhausted");
}

// ---------------------------------------------------------------------------
// Angles

constexpr int32_t QUARTER = 1 << 22;

// Exact quarter turns (north: y up the screen); degenerate vectors give 0.
TEST(Angle, AxesLandOnExactQuarterTurns)
{
    const struct {
        float x, y;
        int32_t angle;
    } rows[] = {
        {0.0f, -1.0f, QUARTER},     {-1.0f, -0.0f, 2 * QUARTER}, {250.0f, -250.0f, QUARTER / 2},
        {-3.0f, 3.0f, 5 * QUARTER / 2}, {0.0f, 0.0f, 0},          {NAN, 1.0f, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Util_VectorAngle(row.x, row.y), row.angle) << row.x << "," << row.y;
}

TEST(Angle, ResultStaysWithinOneTurn)
{
    for (int i = 0; i < 3600; i++) {
        double t = i * (2.0 * M_PI / 3600.0);
        int32_t a = Util_VectorAngle((float)std::cos(t), (float)-std::sin(t));
        EXPECT_GE(a, 0);
        EXPECT_LT(a, 4 * QUARTER);
        double expected = t * (4.0 * QUARTER) / (2.0 * M_PI);
        double diff = std::fabs(a - expected);
        // Only the step from the top of the turn back to 0 may jump.
        EXPECT_TRUE(diff < 64.0 || std::fabs(diff - 4.0 * QUARTER) < 64.0) << i;
    }
}

TEST(Angle, SineTableMatchesTheLibraryWithinFloatRounding)
{
    for (int i = 0; i < UTIL_SINE_SIZE; i++)
        EXPECT_NEAR(g_SineTable[i], (float)std::sin(2.0 * M_PI * i / (int)UTIL_SINE_SIZE), 1.2e-7) << i;
}

TEST(Angle, SinAndCosIndexBits14To23)
{
    EXPECT_EQ(Util_Sin(QUARTER), 1.0f);
    EXPECT_EQ(Util_Cos(2 * QUARTER), -1.0f);
    EXPECT_EQ(Util_Sin(-QUARTER), -1.0f);
    // Bits below 14 don't move the index; whole turns wrap.
    EXPECT_EQ(Util_Sin(QUARTER + (1 << 14) - 1), 1.0f);
    EXPECT_EQ(Util_Cos((5 << 14) + (1 << 24)), g_SineTable[261]);
}

} // namespace
