// Effects tables, texture defaults and overlay-effect grids.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/gll.h"
#include "platform/effects.h"
#include "support/testsupport.h"

namespace {

class Effects : public testing::Test {
protected:
    void SetUp() override { Effects_Init(); }
    void TearDown() override { Effects_Close(); }
};

using P = std::pair<int, int>;

// Every cell of a table except (row, col) (a whole row when col is -1) holds
// value and second.
bool OthersAre(const EFFECTTYPE* t, int row, int col, int value, int second)
{
    for (int r = 0; r < EFFECTS_ROWS; r++)
        for (int c = 0; c < EFFECTS_COLUMNS; c++) {
            if (r == row && (col < 0 || c == col)) continue;
            if (t->cell[r][c][0] != value || t->cell[r][c][1] != second) return false;
        }
    return true;
}

} // namespace

TEST_F(Effects, SetEffectSetsACellOrARowWideningMinMaxAndRefusesCellsOutside)
{
    EFFECTTYPE* t = Effects_NewTable("Tracked", 50, 1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(P(t->min, t->max), P(255, 0)); // empty
    EXPECT_TRUE(Effects_SetEffect(t, 3, 5, 80, 4));
    EXPECT_EQ(P(t->cell[3][5][0], t->cell[3][5][1]), P(80, 4));
    EXPECT_TRUE(OthersAre(t, 3, 5, 50, 1));
    EXPECT_TRUE(Effects_SetEffect(t, 17, -1, 20, 9)); // the last special-effects row
    EXPECT_EQ(P(t->cell[17][EFFECTS_COLUMNS - 1][0], t->cell[17][0][0]), P(20, 20));
    EXPECT_EQ(P(t->min, t->max), P(20, 80));
    EXPECT_TRUE(Effects_SetEffect(t, 0, 0, 300, 0)); // kept as a byte: 44
    EXPECT_EQ(P(t->cell[0][0][0], t->max), P(44, 80));

    EFFECTTYPE* u = Effects_NewTable("Legged", 7, 7);
    for (auto [row, col] : {P{18, 0}, {-1, 0}, {0, 8}, {0, -2}})
        EXPECT_FALSE(Effects_SetEffect(u, row, col, 1, 1)) << row << "," << col;
    EXPECT_TRUE(OthersAre(u, -1, -1, 7, 7));
    EXPECT_EQ(u->min, 255);
}

TEST_F(Effects, AtMostSixteenTablesFoundByNameWithoutCase)
{
    for (int i = 0; i < EFFECTS_MAX_TABLES; i++)
        ASSERT_NE(Effects_NewTable(("Table" + std::to_string(i)).c_str(), i, 0), nullptr);
    EXPECT_EQ(Effects_NewTable("Seventeenth", 0, 0), nullptr);
    EXPECT_EQ(Effects_FindTable("TABLE7"), Effects_GetTable(7));
    EXPECT_EQ(Effects_FindTable("table15")->cell[0][0][0], 15);
    EXPECT_EQ(Effects_FindTable("Seventeenth"), nullptr);
}

TEST_F(Effects, TextureDefaultsAreTheirOwnTableOf16BitPairs)
{
    EFFECTTYPE* t = Effects_NewTable("Hover", 1, 1);
    EXPECT_TRUE(Effects_SetTextureDefault(3, -1, 22, 50));
    EXPECT_TRUE(Effects_SetTextureDefault(15, 7, 1000, 40000));
    int v = -1, s = -1;
    EXPECT_TRUE(Effects_GetTextureDefault(3, EFFECTS_COLUMNS - 1, &v, &s));
    EXPECT_EQ(P(v, s), P(22, 50));
    Effects_GetTextureDefault(15, 7, &v, &s);
    EXPECT_EQ(P(v, s), P(1000, 40000));
    EXPECT_TRUE(OthersAre(t, -1, -1, 1, 1)) << "the effects tables don't change";
    // Only the 16 texture rows.
    EXPECT_FALSE(Effects_SetTextureDefault(16, 0, 1, 1) || Effects_SetTextureDefault(0, 8, 1, 1) ||
                 Effects_GetTextureDefault(16, 0, &v, &s));
    EXPECT_EQ(v, 0);
}

TEST_F(Effects, OvlGridIsCopiedFoundWithoutCaseAndWritable)
{
    // 3 x 2: codes 1..6, the corner outside the footprint.
    std::vector<uint8_t> grid = {1, 0, 2, 0, 31, 0, 4, 9, 5, 9, 6, 9};
    OVLEFFECT* e = Effects_AddOvlEffect("Refinery", 3, 2, grid.data());
    ASSERT_NE(e, nullptr);
    grid[0] = 99; // the caller's buffer is not kept
    EXPECT_EQ(Effects_FindType("REFINERY"), e);
    EXPECT_EQ(Effects_OvlEntry(e, 0, 0)[0], 1);
    EXPECT_EQ(Effects_OvlEntry(e, 2, 0)[0], EFFECTS_NOT_FOOTPRINT);
    EXPECT_EQ(P(Effects_OvlEntry(e, 1, 1)[0], Effects_OvlEntry(e, 1, 1)[1]), P(5, 9));
    for (auto [x, y] : {P{3, 0}, {0, 2}, {-1, 0}})
        EXPECT_EQ(Effects_OvlEntry(e, x, y), nullptr) << x << "," << y;
    // A building file marks its bay tile.
    Effects_OvlEntry(e, 1, 1)[0] = 4;
    EXPECT_EQ(Effects_FindType("refinery")->grid[(1 * 3 + 1) * 2], 4);
}

TEST_F(Effects, OvlGridsOfBadSizeOrRepeatedNameAreRefused)
{
    uint8_t grid[2 * 65 * 2] = {};
    const struct {
        const char* name;
        int w, h;
        const uint8_t* grid;
    } bad[] = {{"Zero", 0, 1, grid},
               {"Negative", 1, -3, grid},
               {"Wide", EFFECTS_OVL_MAX_SIDE + 1, 1, grid},
               {"NoGrid", 1, 1, nullptr}};
    for (const auto& b : bad) EXPECT_EQ(Effects_AddOvlEffect(b.name, b.w, b.h, b.grid), nullptr) << b.name;
    ASSERT_NE(Effects_AddOvlEffect("Tree", 1, 1, grid), nullptr);
    EXPECT_EQ(Effects_AddOvlEffect("TREE", 1, 1, grid), nullptr);
    ASSERT_NE(Effects_AddOvlEffect("Rock", 2, 1, grid), nullptr);
    // The list keeps the order of adding.
    GLL* list = Effects_OvlList();
    ASSERT_EQ(list->count, 2);
    EXPECT_STREQ(static_cast<OVLEFFECT*>(list->last->element)->name, "Rock");
}

TEST(EffectsLifecycle, GuardedAndEmptyAfterReinit)
{
    QV_EXPECT_FATAL(Effects_Close(), "Effects not initialised");
    Effects_Init();
    QV_EXPECT_FATAL(Effects_Init(), "Effects already initialised");
    uint8_t grid[2] = {1, 1};
    Effects_NewTable("A", 0, 0);
    Effects_AddOvlEffect("G", 1, 1, grid);
    Effects_SetTextureDefault(0, 0, 5, 5);
    Effects_Close();
    Effects_Init();
    int v = -1;
    Effects_GetTextureDefault(0, 0, &v, nullptr);
    EXPECT_EQ(P(Effects_NrTables(), v), P(0, 0));
    EXPECT_EQ(Effects_FindType("G"), nullptr);
    Effects_Close();
}
