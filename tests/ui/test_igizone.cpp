#include <gtest/gtest.h>

#include <vector>

#include "support/testsupport.h"
#include "ui/igi.h"
#include "ui/igizone.h"

namespace {

std::vector<std::pair<uint32_t, uint32_t>> g_calls;

void Record(uint32_t zd, uint32_t reason) { g_calls.push_back({zd, reason}); }

class Zones : public ::testing::Test {
protected:
    void SetUp() override
    {
        igi_nfo.zone = ZONE_TABLE{};
        g_calls.clear();
    }
    void TearDown() override { Igizone_ClearAll(); }
};

TEST_F(Zones, HitTestTakesTheLowestEnabledZoneWithEdgesInclusive)
{
    Igizone_Add(21, ZT_STDBTN, 49, 96, 398, 415, ZL_ALL, Record);
    Igizone_Add(22, ZT_STDBTN, 0, 32, 447, 479, ZL_ALL, Record);
    Igizone_Add(30, ZT_STDBTN, 448, 64, 639, 313, ZL_BUILD, Record);
    Igizone_SetActiveMask(ZL_BUILD);
    struct Row {
        const char* name;
        int x, y, want;
    } rows[] = {
        {"inside the overlap", 100, 100, 21},    {"on rx and ry", 398, 415, 21},
        {"one past rx", 399, 415, 22},           {"on lx and ly of the map", 0, 32, 22},
        {"panel corner", 639, 313, 30},          {"top bar: no zone", 10, 10, ZD_NULL},
        {"off screen", 5000, -3, ZD_NULL},
    };
    for (const Row& r : rows) EXPECT_EQ(Igizone_Find(r.x, r.y), r.want) << r.name;
    Igizone_SetDisabled(21, 1);
    EXPECT_EQ(Igizone_Find(100, 100), 22) << "a disabled zone lets the one behind it take the point";
    EXPECT_EQ(Igizone_GetDisabled(21), 1);
}

TEST_F(Zones, ActiveMaskKeepsOnlyMatchingZonesInAscendingOrderAllDirty)
{
    Igizone_Add(54, ZT_STDBTN, 465, 95, 559, 220, ZL_COMMS, Record);
    Igizone_Add(30, ZT_STDBTN, 448, 64, 639, 313, ZL_BUILD, Record);
    Igizone_Add(8, ZT_STDBTN, 6, 0, 54, 31, ZL_ALL, Record);
    Igizone_Add(1, ZT_STDBTN, 15, 400, 432, 432, ZL_COMMS, Record);
    for (int zd : {1, 8, 30, 54}) igi_nfo.zone.data[zd].dirty = 0;
    Igizone_SetActiveMask(ZL_COMMS);
    EXPECT_TRUE(Igizone_IsDefined(1));
    EXPECT_TRUE(Igizone_IsDefined(8));
    EXPECT_FALSE(Igizone_IsDefined(30));
    EXPECT_TRUE(Igizone_IsDefined(54));
    for (int zd : {1, 8, 54}) EXPECT_EQ(igi_nfo.zone.data[zd].dirty, 1) << zd;
    EXPECT_EQ(Igizone_Find(500, 100), 54);
    EXPECT_EQ(Igizone_Find(500, 300), ZD_NULL) << "zone 30 is not in the communications panel";

    Igizone_SetDisabled(8, 1);
    Igizone_CallAllForward(ZR_UPDATE);
    Igizone_CallAllBackward(ZR_DRAW);
    std::vector<std::pair<uint32_t, uint32_t>> want = {
        {1, ZR_UPDATE}, {54, ZR_UPDATE}, {54, ZR_DRAW}, {1, ZR_DRAW}};
    EXPECT_EQ(g_calls, want);
}

TEST_F(Zones, LoneActiveZoneIsDefinedAndRedefinitionCountsTwice)
{
    Igizone_Add(74, ZT_STDBTN, 10, 10, 20, 20, ZL_SPECIAL, Record);
    Igizone_Add(74, ZT_STDBTN, 30, 30, 40, 40, ZL_SPECIAL, Record);
    EXPECT_EQ(igi_nfo.zone.defined, 2);
    EXPECT_FALSE(Igizone_IsDefined(74)) << "defining does not link";
    Igizone_SetActiveMask(ZL_SPECIAL);
    EXPECT_TRUE(Igizone_IsDefined(74)) << "alone in the list, without links";
    EXPECT_EQ(Igizone_Find(15, 15), ZD_NULL) << "the second definition replaced the rectangle";
    EXPECT_EQ(Igizone_Find(40, 40), 74);
    Igizone_ClearAll();
    EXPECT_FALSE(Igizone_IsDefined(74));
    EXPECT_EQ(igi_nfo.zone.defined, 0);
}

TEST_F(Zones, EnabledPauseZoneTakesEveryPointButTheChatField)
{
    Igizone_Add(1, ZT_STDBTN, 15, 400, 432, 432, ZL_COMMS, Record);
    Igizone_Add(2, ZT_STDBTN, 1, 1, 638, 478, ZL_ALL, Record);
    Igizone_Add(22, ZT_STDBTN, 0, 32, 447, 479, ZL_ALL, Record);
    Igizone_SetActiveMask(ZL_COMMS);
    EXPECT_EQ(Igizone_Find(100, 100), 2);
    EXPECT_EQ(Igizone_Find(20, 410), 1);
    EXPECT_EQ(Igizone_Find(0, 479), 22) << "the screen's border lies outside zone 2";
    Igizone_SetDisabled(2, 1);
    EXPECT_EQ(Igizone_Find(100, 100), 22);
    g_calls.clear();
    Igizone_CallHandler(2, ZR_INPUT);
    EXPECT_TRUE(g_calls.empty()) << "a disabled zone's handler is not called";
}

using ZonesDeathTest = Zones;

TEST_F(ZonesDeathTest, AddAssertsRangesAndAnUnlinkedZone)
{
    struct Row {
        const char* name;
        int zd, type, lx, ly, rx, ry;
        const char* expr;
    } rows[] = {
        {"zd", 83, 0, 0, 0, 5, 5, "zd>=0 && zd<ZD_MAXIMUM"},
        {"type", 3, 3, 0, 0, 5, 5, "type>=0 && type<ZT_MAXIMUM"},
        {"rx", 3, 0, 0, 0, 640, 5, "rx <= IGI_ZONEXMAX"},
        {"ry", 3, 0, 0, 0, 5, 480, "ry <= IGI_ZONEYMAX"},
        {"empty", 3, 0, 5, 0, 5, 5, "lx < rx && ly < ry"},
    };
    for (const Row& r : rows)
        EXPECT_EXIT(Igizone_Add(r.zd, r.type, r.lx, r.ly, r.rx, r.ry, ZL_ALL, Record),
                    testing::ExitedWithCode(1), r.expr)
            << r.name;
    Igizone_Add(3, ZT_STDBTN, 0, 0, 5, 5, ZL_ALL, Record);
    Igizone_Add(4, ZT_STDBTN, 0, 0, 5, 5, ZL_ALL, Record);
    Igizone_SetActiveMask(ZL_ALL);
    EXPECT_EXIT(Igizone_Add(3, ZT_STDBTN, 0, 0, 5, 5, ZL_ALL, Record), testing::ExitedWithCode(1),
                "nextactive == NULL");
}

} // namespace
