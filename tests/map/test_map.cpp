// The map: its file (saving, loading, the old version, refusals), the
// new-map request, the bounded accessors and the resource levels.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/tlog.h"
#include "gen_map.h"
#include "map/map.h"
#include "support/testsupport.h"

namespace {

class MapTest : public testing::Test {
protected:
    QvTempDir dir;
    QvLogCapture log;
    void SetUp() override { Map_Free(); }
    void TearDown() override { Map_Free(), g_NewMapRequest = MAP_NEWREQUEST{}; }
    std::string Log() const { return log.text(); }
    static int Count(const std::string& text, const std::string& what)
    {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            n++;
        return n;
    }
    static void NewMap(int w, int h, int altitude, int terrain)
    {
        g_NewMapRequest = MAP_NEWREQUEST{1, w, h, altitude, terrain};
        ASSERT_EQ(Map_Load(nullptr), 1);
    }
    // The stored fields of every element (what the file carries).
    static std::vector<uint32_t> Fields()
    {
        std::vector<uint32_t> out;
        for (const MAP_ELEMENT* e = g_MapElements; e < g_MapElements + mapsizex * mapsizey; e++) {
            out.push_back(e->tile);
            out.push_back(e->altitude | e->effect << 5 | e->water << 10 | e->mineral << 13 |
                          e->initalt << 16);
        }
        return out;
    }
    static std::string U32(uint32_t v)
    {
        std::string s;
        for (int k = 0; k < 4; k++) s.push_back((char)((v >> (8 * k)) & 0xFF));
        return s;
    }
};

// ------------------------------------------------------------------ map files

using MapFile = MapTest;

TEST_F(MapFile, SaveThenLoadIsByteIdentical)
{
    ASSERT_EQ(GenMap_BuildDemo(), 1);
    // Every field at its extremes somewhere.
    MAP_ELEMENT* e = MAP_ELEMENT_AT(63, 63);
    *e = MAP_ELEMENT{};
    e->tile = 0x1FFFFFu;
    e->altitude = e->initalt = 31;
    e->water = e->mineral = 7;
    std::vector<uint32_t> before = Fields();
    ASSERT_EQ(Map_Save(dir.file("a.map").c_str()), 1);
    // The units of the map before don't stand on the one loaded, even when
    // it has the same size.
    MAP_ELEMENT_AT(5, 5)->unit[ML_GROUND] = reinterpret_cast<UNIT*>(e);
    ASSERT_EQ(Map_Load(dir.file("a.map").c_str()), 1);
    EXPECT_EQ(MAP_ELEMENT_AT(5, 5)->unit[ML_GROUND], nullptr);
    EXPECT_EQ(Fields(), before);
    ASSERT_EQ(Map_Save(dir.file("b.map").c_str()), 1);
    EXPECT_EQ(dir.read("a.map"), dir.read("b.map"));
    EXPECT_EQ(Log(), "");
}

TEST_F(MapFile, ElementBytesFollowTheDocumentedLayout)
{
    NewMap(3, 2, 4, 2);
    MAP_ELEMENT* e = MAP_ELEMENT_AT(1, 1);
    e->tile = 0xABCDu | 2u << 16 | 5u << 18 | 0xFF000000u; // bits 21.. aren't stored
    e->altitude = 17, e->effect = 9, e->water = 3, e->mineral = 6, e->initalt = 12;
    ASSERT_EQ(Map_Save(dir.file("m.map").c_str()), 1);
    std::string f = dir.read("m.map");
    ASSERT_EQ(f.size(), 16u + 6u * 7u);
    EXPECT_EQ(f.substr(0, 16), "MAP_" + U32(0x210) + U32(3) + U32(2));
    // Element (1, 1) is the fifth in row order.
    const std::string want = {'\xCD', '\xAB', (char)(2 | 5 << 2), 17, 9, (char)(3 | 6 << 3), 12};
    EXPECT_EQ(f.substr(16 + 4 * 7, 7), want);
}

TEST_F(MapFile, OldVersionTakesInitialAltitudeFromAltitude)
{
    std::string old = GenMap_OldFileBytes(5, 3, 7);
    dir.write("old.map", old);
    ASSERT_EQ(Map_Load(dir.file("old.map").c_str()), 1);
    ASSERT_EQ(std::pair(mapsizex, mapsizey), std::pair(5, 3));
    for (int i = 0; i < 15; i++) {
        const uint8_t* b = (const uint8_t*)old.data() + 16 + 6 * i;
        EXPECT_EQ(MAP_ELEMENT_AT(i % 5, i / 5)->initalt, b[3]) << i;
    }
    // Written back, it is a 0x210 file.
    ASSERT_EQ(Map_Save(dir.file("new.map").c_str()), 1);
    EXPECT_EQ(dir.read("new.map").substr(4, 4), U32(0x210));
}

struct BadMap {
    const char* name;
    std::string bytes;
    const char* logged; // the offset and what was wrong
};

TEST_F(MapFile, RefusesBrokenFilesAndKeepsThePreviousMap)
{
    NewMap(4, 3, 7, 1);
    ASSERT_EQ(Map_Save(dir.file("good.map").c_str()), 1);
    const std::string good = dir.read("good.map");
    MAP_ELEMENT_AT(2, 2)->water = 5; // so the map in memory differs from any file
    std::vector<uint32_t> before = Fields();
    MAP_ELEMENT* block = g_MapElements;

    auto with = [&](size_t at, char value) {
        std::string s = good;
        s[at] = value;
        return s;
    };
    const size_t e0 = 16; // element (0, 0)
    const BadMap cases[] = {
        {"empty", "", "offset 0: the file ends before the magic MAP_"},
        {"version", with(5, 0x03), "offset 4: expected version 0x210 or 0x200"},
        {"huge", "MAP_" + U32(0x210) + U32(0x80000000u) + U32(0x80000000u),
         "offset 8: expected a width of 2 .. 512"},
        {"short", good.substr(0, 16 + 7 * 5 + 3),
         "offset 54: the file ends inside element (1,1) of 4 x 3"},
        {"long", good + "x", "offset 100: bytes after the last element"},
        {"altitude", with(e0 + 3, 32), "offset 19: element (0,0): altitude above 31"},
    };
    for (const BadMap& c : cases) {
        std::string name = std::string(c.name) + ".map";
        dir.write(name, c.bytes);
        EXPECT_EQ(Map_Load(dir.file(name).c_str()), 0) << c.name;
        std::string log = Log();
        EXPECT_NE(log.find("[" + dir.file(name) + "] at " + c.logged), std::string::npos)
            << c.name << "\n" << log;
        EXPECT_EQ(std::tuple(mapsizex, mapsizey, g_MapElements), std::tuple(4, 3, block));
        EXPECT_EQ(Fields(), before) << c.name;
    }
    EXPECT_EQ(Map_Load(dir.file("absent.map").c_str()), 0);
    EXPECT_NE(Log().find("Unable to open map file [" + dir.file("absent.map") + "]"),
              std::string::npos);
}

// ------------------------------------------------------------------ new maps

using NewMapRequest = MapTest;

TEST_F(NewMapRequest, MakesAUniformMapWithoutReadingAFile)
{
    g_NewMapRequest = MAP_NEWREQUEST{1, 7, 5, 9, 12};
    ASSERT_EQ(Map_Load(dir.file("no-such.map").c_str()), 1);
    EXPECT_EQ(g_NewMapRequest.flag, 0);
    ASSERT_EQ(std::pair(mapsizex, mapsizey), std::pair(7, 5));
    const MAP_ELEMENT* e = MAP_ELEMENT_AT(6, 4);
    EXPECT_EQ((std::vector<uint32_t>{e->tile, e->altitude, e->initalt, e->effect}),
              (std::vector<uint32_t>{0xCCCCu, 9, 9, MAP_EFFECT_NONE}));
    // With the flag down again the next load reads its file.
    EXPECT_EQ(Map_Load(dir.file("no-such.map").c_str()), 0);
    EXPECT_EQ(mapsizex, 7);
}

TEST_F(NewMapRequest, RefusesSidesOutsideTheLimitsAndKeepsTheMap)
{
    NewMap(4, 4, 3, 0);
    std::vector<uint32_t> before = Fields();
    for (auto [w, h] : {std::pair{1, 4}, {4, 513}, {-2, 4}}) {
        g_NewMapRequest = MAP_NEWREQUEST{1, w, h, 3, 0};
        EXPECT_EQ(Map_Load(nullptr), 0);
        EXPECT_EQ(Fields(), before);
    }
    EXPECT_NE(Log().find("New map of -2 x 4 refused"), std::string::npos);
    // Out-of-range altitude and terrain are brought into their fields.
    g_NewMapRequest = MAP_NEWREQUEST{1, 2, 2, 40, 99};
    ASSERT_EQ(Map_Load(nullptr), 1);
    EXPECT_EQ(MAP_ELEMENT_AT(1, 1)->altitude, 31u);
    EXPECT_EQ(MAP_ELEMENT_AT(1, 1)->tile, 0xFFFFu);
}

// ------------------------------------------------------------------ access

using MapAccess = MapTest;

TEST_F(MapAccess, OffMapElementIsElementZeroAndLoggedOncePerMap)
{
    NewMap(4, 3, 1, 0);
    MAP_ELEMENT* zero = &g_MapElements[0];
    EXPECT_EQ(Line_GetElement(-1, 0, "units.cpp", 12), zero);
    EXPECT_EQ(Line_GetElement(INT_MAX, INT_MIN, "b.cpp", 2), zero);
    std::string log = Log();
    EXPECT_EQ(Count(log, "Tried to access map element"), 1);
    EXPECT_NE(log.find("Tried to access map element (-1,0) in file units.cpp, line 12"),
              std::string::npos);
    // A new map logs its first stray access again.
    NewMap(2, 2, 1, 0);
    Line_GetElement(2, 2, "c.cpp", 5);
    EXPECT_EQ(Count(Log(), "Tried to access map element"), 2);
}

TEST_F(MapAccess, WithoutAMapAStrayWriteDoesNotLastAndNoTileIsValid)
{
    MAP_ELEMENT* e = Line_GetElement(5, 5, "a.cpp", 1);
    ASSERT_NE(e, nullptr);
    e->altitude = 20;
    e->unit[1] = reinterpret_cast<UNIT*>(e);
    MAP_ELEMENT* again = Line_GetElement(0, 0, "a.cpp", 2);
    EXPECT_EQ((std::vector<uint32_t>{again->altitude, again->effect}),
              (std::vector<uint32_t>{0, MAP_EFFECT_NONE}));
    EXPECT_EQ(again->unit[1], nullptr);
    EXPECT_EQ(Map_IsValidTile(0, 0), 0);
    // On a map, valid tiles leave out row and column 0.
    NewMap(5, 4, 1, 0);
    const int tiles[][3] = {{4, 3, 1}, {0, 1, 0}, {1, 0, 0}, {5, 1, 0}};
    for (const auto& t : tiles) EXPECT_EQ(Map_IsValidTile(t[0], t[1]), t[2]) << t[0] << "," << t[1];
}

TEST_F(MapAccess, HypsAreRoundedHundredthsAndClampedOutOfRange)
{
    EXPECT_EQ(MAP_HYPS(1, 2), 224);   // 223.61 rounded
    EXPECT_EQ(Line_GetHyps(64, 0, "ai.cpp", 7), 6300);
    EXPECT_EQ(Line_GetHyps(INT_MIN, 1000, "ai.cpp", 9), MAP_HYPS(63, 63));
    std::string log = Log();
    EXPECT_EQ(Count(log, "Line_GetHyps out of range"), 1);
    EXPECT_NE(log.find("Line_GetHyps out of range (64,0) in file ai.cpp, line 7"),
              std::string::npos);
}

// ------------------------------------------------------------------ resources

using ResourceLevel = MapTest;

TEST_F(ResourceLevel, SetsValidTilesWithinTheIntegerRadiusAndIgnoresBadRequests)
{
    NewMap(12, 12, 5, 1);
    Map_SetResourceLevel(1, 9, 2, 5, 5);
    // Integer square root of the squared distance: (7, 7) is at sqrt(8),
    // which counts as 2; (8, 5) at 3 doesn't.
    auto mineral = [](int x, int y) { return (int)MAP_ELEMENT_AT(x, y)->mineral; };
    EXPECT_EQ((std::vector<int>{mineral(3, 3), mineral(7, 7), mineral(8, 5)}), (std::vector<int>{7, 7, 0}));
    // Near the edge only valid tiles change ((3, 2) at sqrt(13) counts as 3,
    // (3, 3) at sqrt(18) as 4); a negative amount is level 0.
    Map_SetResourceLevel(0, 4, 3, 0, 0);
    Map_SetResourceLevel(0, -3, 0, 1, 1);
    const int water[][3] = {{0, 2, 0}, {1, 1, 0}, {3, 2, 4}, {3, 3, 0}};
    for (const auto& w : water)
        EXPECT_EQ(MAP_ELEMENT_AT(w[0], w[1])->water, (uint32_t)w[2]) << w[0] << "," << w[1];

    // Unknown kinds, negative radii and far centres change nothing.
    std::vector<uint32_t> before = Fields();
    Map_SetResourceLevel(2, 5, 3, 3, 3);
    Map_SetResourceLevel(0, 5, INT_MAX / 2, INT_MIN, INT_MAX); // no tile within reach
    EXPECT_EQ(Fields(), before);
    EXPECT_NE(Log().find("unknown resource kind 2"), std::string::npos);
    Map_SetResourceLevel(1, 3, INT_MAX, 3, 3); // everything valid
    EXPECT_EQ(std::pair(mineral(11, 11), mineral(0, 5)), std::pair(3, 0));
}

} // namespace
