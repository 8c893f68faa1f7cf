// The map view's markers on the demo scenario, drawn straight into the back
// buffer: colours, bars, what hides a marker, building state texts and the
// placement outline.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/crc32.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "rules/tfgen.h"
#include "support/golden.h"
#include "support/testsupport.h"
#include "ui/igi.h"
#include "ui/igidebug.h"
#include "ui/igibuild.h"
#include "ui/igidisp.h"
#include "ui/igimark.h"
#include "ui/igimouse.h"
#include "ui/slist.h"
#include "platform/cursor.h"
#include "units/building.h"
#include "units/constructq.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

class Markers : public testing::Test {
protected:
    QvTempDir home;
    QvLogCapture log;
    BITMAP* bb = nullptr;
    GRECT clip = {0, 32, 448, 448};
    void SetUp() override
    {
        std::filesystem::copy(QV_TEST_RUNDIR, home.path(), std::filesystem::copy_options::recursive);
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Cfg_SetDefaults(&g_Config);
        g_Config.windowed = 1;
        g_Config.disableendconditions = 1;
        Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("DEMO");
        Input_Init();
        Video_Init();
        InitCommonGameSystems();
        InitGameSpecifics();
        PlatHeadless_Advance(50);
        Game_Tick();
        bb = Backbuf_Lock();
        Map_SetViewPixelPos(0, 0);
        Fog_SetSeeAll(1);
    }
    void TearDown() override
    {
        Fog_SetSeeAll(0);
        CloseGameSpecifics();
        CloseCommonGameSystems();
        Display_FreeTerrainBuffer();
        Video_Close();
        Input_Close();
        Plat_Close();
        Map_SetViewPixelPos(0, 0);
        g_DebugFlags = 0;
    }
    void Clear() { Graph_FillRect(bb, nullptr, 0, 0, 0, 640, 480, 0); }
    uint8_t At(int x, int y) const { return bb->data[y * bb->x_size + x]; }
    int Count(int colour, int x = 0, int y = 32, int w = 448, int h = 448) const
    {
        int n = 0;
        for (int j = y; j < y + h; j++)
            for (int i = x; i < x + w; i++) n += At(i, j) == colour;
        return n;
    }
    UNIT* Unit(const char* type, int team, int x, int y)
    {
        UNIT* u = Units_NewAt(Units_SymToTypePtr(type), team, -1, x, y);
        EXPECT_NE(u, nullptr);
        return u;
    }
    // The health bar's fill colour of a marker drawn on a black screen: the
    // bar's second row holds it.
    std::vector<int> Colours() const
    {
        std::vector<int> seen(256);
        for (int j = 32; j < 480; j++)
            for (int i = 0; i < 448; i++) seen[At(i, j)]++;
        return seen;
    }
};

TEST(MarkerColours, HealthLevelsInEitherOrder)
{
    const GENERALRULES keep = g_General;
    const struct {
        const char* name;
        int first, second, hp, max, colour;
    } rows[] = {
        {"30 % with levels 60 and 30 is critical", 60, 30, 30, 100, IGIMARK_ENEMY},
        {"31 % is damaged", 60, 30, 31, 100, IGIMARK_NEUTRAL},
        {"60 % is damaged", 60, 30, 60, 100, IGIMARK_NEUTRAL},
        {"61 % is healthy", 60, 30, 61, 100, IGIMARK_HEALTHY},
        {"levels the other way round", 30, 60, 30, 100, IGIMARK_ENEMY},
        {"a maximum of 0 is healthy", 60, 30, 0, 0, IGIMARK_HEALTHY},
        {"above the maximum is healthy", 60, 30, 250, 100, IGIMARK_HEALTHY},
        {"no hit points left", 60, 30, 0, 400, IGIMARK_ENEMY},
    };
    for (const auto& r : rows) {
        g_General.healthlow = r.first;
        g_General.healthhigh = r.second;
        EXPECT_EQ(IgiMark_HealthColour(r.hp, r.max), r.colour) << r.name;
    }
    g_General = keep;
}

TEST_F(Markers, BarsClipTheirValuesAndNeverDivideByZero)
{
    const struct {
        const char* name;
        int value, max, minfill, filled;
    } rows[] = {
        {"half", 50, 100, 0, 10},  {"above the maximum stops at the end", 500, 100, 0, 20},
        {"maximum 0", 5, 0, 0, 20}, {"maximum 0 and nothing", 0, 0, 0, 0},
        {"negative value", -5, 100, 1, 1}, {"a value of 1 shows", 1, 1000, 0, 1},
    };
    for (const auto& r : rows) {
        Clear();
        IgiMark_Bar(bb, &clip, 10, 100, 22, 4, r.value, r.max, r.minfill, 25, 15);
        EXPECT_EQ(Count(25, 11, 101, 20, 1), r.filled) << r.name;
    }
    Clear();
    IgiMark_BarVertical(bb, &clip, 10, 200, 4, 12, 50, 10, 26, 15);
    EXPECT_EQ(Count(26, 11, 201, 1, 10), 10) << "a store above its capacity fills the bar";
    Clear();
    IgiMark_Bar(bb, &clip, 440, 100, 22, 4, 10, 10, 0, 25, 15);
    EXPECT_EQ(Count(25, 448, 0, 192, 480), 0) << "clipped to the view";
}

TEST_F(Markers, ColourRulesOfUnitsAndBuildings)
{
    const int keep = g_AlliancesDisabled;
    g_AlliancesDisabled = 0;
    UNIT* a = Unit("DemoTank", g_LocalTeam, 5, 5);
    UNIT* b = Unit("DemoTank", g_LocalTeam, 7, 5);
    const int other = g_LocalTeam == 1 ? 2 : 1;
    UNIT* e = Unit("DemoTank", other, 9, 5);
    igi_nfo.firstunit = a;
    EXPECT_EQ(IgiMark_UnitColour(a, 0), IGIMARK_OWNFIRST);
    EXPECT_EQ(IgiMark_UnitColour(b, 0), IGIMARK_OWNOTHER);
    EXPECT_EQ(IgiMark_UnitColour(b, 1), IGIMARK_OWNFIRST) << "hovered";
    const struct {
        int relation, colour;
    } rows[] = {{TR_ENEMY, IGIMARK_ENEMY}, {TR_NEUTRAL, IGIMARK_NEUTRAL}, {TR_ALLY, IGIMARK_ALLY}};
    BUILDING* d = Build_New(&g_BuildingTypes[Textfile_FindBuildingType("DemoDepot")], other, -1, 12, 12);
    ASSERT_NE(d, nullptr);
    for (const auto& r : rows) {
        Team_SetRelation(g_LocalTeam, other, r.relation);
        EXPECT_EQ(IgiMark_UnitColour(e, 0), r.colour) << r.relation;
        EXPECT_EQ(IgiMark_BuildingColour(d), r.colour) << r.relation;
    }
    BUILDING* own = Build_New(&g_BuildingTypes[Textfile_FindBuildingType("DemoDepot")], g_LocalTeam, -1, 16, 12);
    igi_nfo.sbuild = nullptr;
    EXPECT_EQ(IgiMark_BuildingColour(own), IGIMARK_OWNBUILD);
    igi_nfo.sbuild = own;
    EXPECT_EQ(IgiMark_BuildingColour(own), IGIMARK_OWNOTHER);
    igi_nfo.sbuild = nullptr;
    igi_nfo.firstunit = nullptr;
    Team_SetRelation(g_LocalTeam, other, TR_ENEMY);
    g_AlliancesDisabled = keep;
}

TEST_F(Markers, AUnitMarkerHasBracketsAHealthBarAndABoostedOneIsColour27)
{
    UNIT* u = Unit("DemoTank", g_LocalTeam, 5, 5);
    Clear();
    IgiMark_DrawUnit(bb, &clip, u, 0);
    EXPECT_GT(Count(IGIMARK_OWNOTHER), 20) << "brackets in the selected colour";
    EXPECT_GT(Count(IGIMARK_HEALTHY), 0) << "a full health bar";
    u->hitpoints = u->type->maxhitpoints * 5;
    u->boost.state = BS_ON;
    Clear();
    IgiMark_DrawUnit(bb, &clip, u, 0);
    EXPECT_EQ(Count(IGIMARK_HEALTHY), 0);
    EXPECT_GT(Count(IGIMARK_BOOST), 0) << "boosted past its maximum, the bar stays inside its frame";
    u->boost.state = BS_OFF;
    u->hitpoints = 1;
    Clear();
    IgiMark_DrawUnit(bb, &clip, u, 0);
    EXPECT_GT(Count(IGIMARK_ENEMY), 0) << "a nearly dead unit's bar is critical";
}

TEST_F(Markers, NoHoverMarkerOnAnEnemyInFogButOnASeenOne)
{
    Fog_SetSeeAll(0);
    const int other = g_LocalTeam == 1 ? 2 : 1;
    UNIT* e = Unit("DemoTank", other, 6, 6);
    int sx, sy;
    Igidisp_MapToScreen(e->pixelpos.x, e->pixelpos.y, &sx, &sy);
    e->seen[g_LocalTeam] = 0;
    Clear();
    IgiMark_DrawOverlays(bb, &clip, 1, sx, sy);
    EXPECT_EQ(Count(IGIMARK_ENEMY), 0) << "unexplored fog";
    e->seen[g_LocalTeam] = 1;
    Clear();
    IgiMark_DrawOverlays(bb, &clip, 1, sx, sy);
    EXPECT_GT(Count(IGIMARK_ENEMY), 20) << "a seen enemy under the pointer";
    Clear();
    IgiMark_DrawOverlays(bb, &clip, 0, sx, sy);
    EXPECT_EQ(Count(IGIMARK_ENEMY), 0) << "the pointer is elsewhere";
}

TEST_F(Markers, AUnitInsideABuildingShowsTheBuildingsMarker)
{
    BUILDING* d = Build_New(&g_BuildingTypes[Textfile_FindBuildingType("DemoDepot")], g_LocalTeam, -1, 6, 6);
    ASSERT_NE(d, nullptr);
    UNIT* u = Unit("DemoTank", g_LocalTeam, 3, 3);
    Clear();
    IgiMark_DrawBuilding(bb, &clip, d, 0);
    const std::vector<int> building = Colours();
    BuildId_Setup(&u->partof, d);
    Clear();
    IgiMark_DrawUnit(bb, &clip, u, 0);
    EXPECT_EQ(Colours(), building);
    BuildId_Clear(&u->partof);
}

TEST_F(Markers, EachBuildingStateHasItsTextAndBar)
{
    BUILDING* f = Build_New(&g_BuildingTypes[Textfile_FindBuildingType("DemoFactory")], g_LocalTeam, -1, 6, 6);
    ASSERT_NE(f, nullptr);
    f->unittypetobuild = Units_SymToTypePtr("DemoTank");
    const struct {
        int state, key, bar;
    } rows[] = {
        {BS_IDLE, -1, -1},        {BS_BEINGBUILT, MLSD_CONST, 1}, {BS_PRODUCING, -2, 1},
        {3, MLSD_DISABLE, 0},     {4, MLSD_CHARGE, 1},            {BS_SELLING, MLSD_DEMO, 1},
        {6, MLSD_DEMO, 1},        {BS_UPGRADING, MLSD_UPGRADE, 1}, {BS_PACKING, MLSD_PACK, 1},
        {BS_UNPACKING, MLSD_UNPACK, 1}, {BS_POWERINGDOWN, MLSD_PWRDN, 1}, {BS_POWEREDOFF, MLSD_PWROFF, 0},
        {BS_POWERINGUP, MLSD_PWRUP, 1}, {13, -1, -1},
    };
    char text[128];
    const int keep = f->state;
    f->prodtime = 1000;
    f->prodleft = 250;
    for (const auto& r : rows) {
        f->state = r.state;
        EXPECT_EQ(IgiMark_StateText(f, text, sizeof text), r.bar) << r.state;
        const std::string want = r.key == -1 ? "" : r.key == -2 ? f->unittypetobuild->description
                                                                 : MLString_Display(r.key);
        EXPECT_EQ(std::string(text), want) << r.state;
        Clear();
        IgiMark_DrawBuilding(bb, &clip, f, 0);
        EXPECT_EQ(Count(24) > 0, r.bar == 1) << "the state's bar, state " << r.state;
    }
    f->state = keep;
}

TEST_F(Markers, APlacementShadesItsFailedTilesOnly)
{
    const BUILDINGTYPE* t = &g_BuildingTypes[Textfile_FindBuildingType("DemoDepot")];
    UNIT* builder = Unit("DemoTank", g_LocalTeam, 20, 20);
    igi_nfo.firstunit = builder;
    int lx, ly;
    Igievnt_PlacementTopLeft(t, 8, 8, &lx, &ly);
    const int x0 = lx * 24 - g_MapView.x, y0 = ly * 24 - g_MapView.y + 32;
    auto draw = [&] {
        Graph_FillRect(bb, nullptr, 0, 0, 0, 640, 480, 200);
        IgiMark_DrawPlacement(bb, &clip, t, 8, 8);
        return std::vector<uint8_t>(bb->data, bb->data + 640 * 480);
    };
    std::vector<uint8_t> cells(t->width * t->height);
    ASSERT_TRUE(Build_ApplyEffects(builder, nullptr, t, lx, ly, cells.data())) << "free at first";
    const std::vector<uint8_t> free = draw();
    // Another building over the outline's top-left tile.
    ASSERT_NE(Build_New(const_cast<BUILDINGTYPE*>(t), g_LocalTeam, -1, lx - t->width + 1, ly - t->height + 1), nullptr);
    Build_ApplyEffects(builder, nullptr, t, lx, ly, cells.data());
    ASSERT_EQ(cells[0], BPC_BUILDING);
    const std::vector<uint8_t> blocked = draw();
    int failed = 0;
    for (int j = 0; j < t->height; j++)
        for (int i = 0; i < t->width; i++) {
            const int k = cells[j * t->width + i];
            if (k == BPC_NONE) continue;
            failed += k != BPC_FREE;
            for (int y = y0 + j * 24; y < y0 + j * 24 + 24; y++)
                for (int x = x0 + i * 24; x < x0 + i * 24 + 24; x++) {
                    const uint8_t was = free[y * 640 + x];
                    const uint8_t want = k == BPC_FREE ? was : k == BPC_UNEXPLORED ? g_ShadeTable[24][was] : g_DimTable[was];
                    ASSERT_EQ(blocked[y * 640 + x], want) << i << "," << j << " class " << k;
                }
        }
    EXPECT_GE(failed, 1);
    igi_nfo.firstunit = nullptr;
}

TEST(PowerGauge, ScaleAndColour)
{
    const struct {
        const char* name;
        int unit, usage, supply, step, top, gaps;
    } scales[] = {
        {"one step", 20, 30, 100, 100, 100, 5},
        {"the top rounds up to a step", 20, 150, 201, 100, 300, 15},
        {"no power at all still has a step", 0, 0, 0, 1, 1, 5},
        {"no power plants, some usage", 0, 7, 0, 1, 7, 35},
        {"nothing used or supplied", 20, 0, 0, 100, 100, 5},
    };
    for (const auto& r : scales) {
        const IGIMARK_SCALE sc = IgiMark_GaugeScale(r.unit, r.usage, r.supply);
        EXPECT_EQ(sc.step, r.step) << r.name;
        EXPECT_EQ(sc.top, r.top) << r.name;
        EXPECT_EQ(sc.gaps, r.gaps) << r.name;
    }
    const struct {
        const char* name;
        int usage, supply, colour;
    } colours[] = {
        {"supply equal to use", 100, 100, IGIMARK_ALLY}, {"no use, no supply", 0, 0, IGIMARK_ALLY},
        {"71 %", 100, 71, IGIMARK_NEUTRAL},              {"70 %", 100, 70, IGIMARK_ENEMY},
        {"none", 5, 0, IGIMARK_ENEMY},
    };
    for (const auto& r : colours) EXPECT_EQ(IgiMark_GaugeColour(r.usage, r.supply), r.colour) << r.name;
}

TEST_F(Markers, TheGaugeShowsSupplyUseTicksAndBlinksWithoutPower)
{
    const int team = igi_nfo.watchteam, keepprod = g_BuildingTypes[0].resource[IGIMARK_POWER].production;
    const TEAM_RESOURCE keep = teamdata[team].resource[IGIMARK_POWER];
    const BITMAP* bars = IgiDisp_Bitmap(IBM_RESOBARS);
    auto settle = [&](int usage, int supply, uint32_t frame = 20) {
        teamdata[team].resource[IGIMARK_POWER].usage = usage;
        teamdata[team].resource[IGIMARK_POWER].supply = supply;
        g_FrameCount = frame;
        for (int i = 0; i < 400; i++) IgiMark_DrawPowerGauge(bb, bars, 588, 376);
    };
    auto ticks = [&] { return Count(93, 596, 392, 1, 81); };
    g_BuildingTypes[0].resource[IGIMARK_POWER].production = 20;
    IgiMark_InitGauge();
    EXPECT_EQ(IgiMark_GaugeUnit(), 20);
    settle(100, 100);
    EXPECT_EQ(At(600, 473), IGIMARK_ALLY) << "supply equal to use";
    EXPECT_EQ(At(600, 473 - 81 + 3), IGIMARK_ALLY) << "full to the top";
    EXPECT_EQ(At(610, 473 - 81), 15) << "the usage mark at the top";
    EXPECT_EQ(ticks(), 4) << "gaps of 16 pixels";
    settle(100, 71);
    EXPECT_EQ(At(600, 473), IGIMARK_NEUTRAL);
    settle(100, 70);
    EXPECT_EQ(At(600, 473), IGIMARK_ENEMY);
    g_BuildingTypes[0].resource[IGIMARK_POWER].production = 1;
    IgiMark_InitGauge();
    settle(100, 100);
    EXPECT_EQ(ticks(), 0) << "100 gaps are too close to draw";
    // No supply at all: the bar at its minimum blinks for 10 frames in 40.
    std::vector<uint8_t> lit, dark;
    for (uint32_t frame : {5u, 15u}) {
        settle(100, 0, frame);
        std::vector<uint8_t>& v = frame == 5 ? dark : lit;
        for (int y = 376; y < 480; y++) v.insert(v.end(), bb->data + y * 640 + 588, bb->data + y * 640 + 640);
    }
    EXPECT_NE(lit, dark) << "the blink window";
    EXPECT_EQ(At(600, 473), IGIMARK_ENEMY);
    // A team without power: an empty gauge instead of a stop.
    g_BuildingTypes[0].resource[IGIMARK_POWER].production = 0;
    IgiMark_InitGauge();
    settle(0, 0);
    EXPECT_EQ(Count(IGIMARK_EMPTY, 596, 392, 17, 80), 17 * 80);
    g_BuildingTypes[0].resource[IGIMARK_POWER].production = keepprod;
    teamdata[team].resource[IGIMARK_POWER] = keep;
    IgiMark_InitGauge();
}

TEST_F(Markers, ACellsPictureGoesThroughItsTableAndTheClockDimsTheSweptPart)
{
    const UNITTYPE* tank = Units_SymToTypePtr("DemoTank");
    GRECT list = {448, 64, 192, 250};
    auto cell = [&](int listmode, int index, int prereqid) {
        igi_nfo.listmode = listmode;
        Graph_FillRect(bb, nullptr, 0, 448, 64, 64, 50, 200);
        IgiMark_DrawListCell(0, 448, 64, "", index, prereqid, 0, &list);
        std::vector<uint8_t> v;
        for (int y = 64; y < 114; y++) v.insert(v.end(), bb->data + y * 640 + 448, bb->data + y * 640 + 512);
        return v;
    };
    // Every pixel either kept (the frame over it) or through the table.
    auto through = [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, const uint8_t* table) {
        int changed = 0;
        for (size_t i = 0; i < a.size(); i++) {
            if (a[i] == b[i]) continue;
            if (b[i] != table[a[i]]) return -1;
            changed++;
        }
        return changed;
    };
    PREREQ_StolePlans(tank->prereq.id, g_LocalTeam);
    ASSERT_EQ(IgiMark_CellTable(tank->unittypeid, tank->prereq.id), CT_TEAM);
    const std::vector<uint8_t> team = cell(LM_UNITS, tank->unittypeid, tank->prereq.id);
    EXPECT_GT(through(team, cell(LM_UNITS, tank->unittypeid, 250), g_DimTable), 50) << "no plans";
    EXPECT_GT(through(team, cell(LM_SPYPLANS, tank->unittypeid, 250), g_HighlightTable), 50) << "spied, no plans";
    BUILDING* f = nullptr;
    for (BUILDING* b = g_Buildings; b; b = b->next)
        if (b->team == g_LocalTeam && b->buildingtype->flags & BTF_CANMAKE) f = b;
    ASSERT_NE(f, nullptr);
    igi_nfo.sbuild = f;
    f->state = BS_PRODUCING;
    f->unittypetobuild = const_cast<UNITTYPE*>(tank);
    f->prodtime = 1000;
    int last = 0;
    f->prodleft = 1000;
    const std::vector<uint8_t> start = cell(LM_UNITS, tank->unittypeid, tank->prereq.id);
    for (int left : {1000, 500, 0}) {
        f->prodleft = left;
        const int swept = through(start, cell(LM_UNITS, tank->unittypeid, tank->prereq.id), g_DimTable);
        if (left == 1000) {
            EXPECT_EQ(swept, 0);
        } else {
            EXPECT_GT(swept, last) << left;
        }
        last = swept;
    }
    EXPECT_GT(last, 64 * 50 / 2) << "a full sweep dims the cell";
    f->state = BS_IDLE;
    f->unittypetobuild = nullptr;
    igi_nfo.sbuild = nullptr;
    // A building type's cell drawn the frame after a placement emptied the
    // selection: grey, and the program goes on.
    igi_nfo.firstunit = nullptr;
    const int depot = Textfile_FindBuildingType("DemoDepot");
    PREREQ_StolePlans(g_BuildingTypes[depot].prereq.id, g_LocalTeam);
    cell(LM_BUILDINGS, depot, g_BuildingTypes[depot].prereq.id);
    EXPECT_EQ(IgiMark_CellTable(depot, g_BuildingTypes[depot].prereq.id), CT_GREY);
    igi_nfo.listmode = LM_UNITS;
}

TEST_F(Markers, EachDebugFlagDrawsItsLines)
{
    const struct {
        const char* name;
        int flags;
        std::vector<std::string> starts;
    } rows[] = {
        {"none", 0, {}},
        {"rates", DBG_RATES, {"Mem    = ", "Units : ", "Bldgs  = ", "Ms     = ", "Fps    = ", "Av     = "}},
        {"rates in debug mode", DBG_RATES | DBG_DEBUGMODE,
         {"Mem    = ", "Teams : ", "Bldgs  = ", "Ms     = ", "Fps    = ", "Av     = "}},
        {"status without a selection", DBG_UNITVALUES, {"Side:", "MouseAt ", "UCycles : ", "DCycles : "}},
        {"network", IGIDEBUG_NETWORK, {"Network Info not available"}},
    };
    for (const auto& r : rows) {
        g_DebugFlags = r.flags;
        IgiDebug_Draw(bb, 1000, 100, 100);
        std::vector<std::string> got;
        for (int i = 0; i < IgiDebug_LineCount(); i++) got.push_back(IgiDebug_Line(i));
        ASSERT_EQ(got.size(), r.starts.size()) << r.name;
        for (size_t i = 0; i < got.size(); i++) EXPECT_EQ(got[i].rfind(r.starts[i], 0), 0u) << r.name << ": " << got[i];
    }
    // The selected unit and building add their lines.
    UNIT* u = Unit("DemoTank", g_LocalTeam, 5, 5);
    igi_nfo.firstunit = u;
    igi_nfo.sbuild = g_Buildings;
    g_DebugFlags = DBG_UNITVALUES;
    IgiDebug_Draw(bb, 1000, 100, 100);
    EXPECT_EQ(IgiDebug_LineCount(), 6);
    EXPECT_EQ(std::string(IgiDebug_Line(2)).rfind("FU: 005,005", 0), 0u) << IgiDebug_Line(2);
    EXPECT_EQ(std::string(IgiDebug_Line(3)).rfind("FB: ", 0), 0u);
    igi_nfo.firstunit = nullptr;
    igi_nfo.sbuild = nullptr;
    // Rates every 15 frames; the block goes back and forth over 0..430.
    IgiDebug_Reset();
    g_DebugFlags = DBG_RATES;
    int lo = 1000, hi = -1;
    for (int f = 1; f <= 100; f++) {
        IgiDebug_Draw(bb, (uint32_t)(1000 + f * 20), 0, 0);
        lo = std::min(lo, IgiDebug_BlockX());
        hi = std::max(hi, IgiDebug_BlockX());
    }
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, IGIDEBUG_BLOCKRIGHT);
    EXPECT_STREQ(IgiDebug_Line(4), "Fps    = 050");
    EXPECT_STREQ(IgiDebug_Line(3), "Ms     = 020");
    g_DebugFlags = 0;
}

// A selected unit (with its group number) and a selected producing factory
// with two queued tanks, as pictures; then the same unit without a picture
// and with values no record should hold still draws, inside its box.
TEST_F(Markers, GoldenMarkersOfASelectedUnitAndBuilding)
{
    UNIT* u = Unit("DemoTank", g_LocalTeam, 5, 5);
    u->hitpoints = u->type->maxhitpoints / 2;
    u->interfaceinfo.group[3] = 1;
    igi_nfo.firstunit = u;
    BUILDING* f = Build_New(&g_BuildingTypes[Textfile_FindBuildingType("DemoFactory")], g_LocalTeam, -1, 8, 4);
    ASSERT_NE(f, nullptr);
    f->state = BS_PRODUCING;
    f->unittypetobuild = u->type;
    f->prodtime = 1000;
    f->prodleft = 400;
    igi_nfo.sbuild = f;
    Units_AddToConstructQueue(u->type->unittypeid, f->id);
    Units_AddToConstructQueue(u->type->unittypeid, f->id);
    Clear();
    IgiMark_DrawUnit(bb, &clip, u, 0);
    IgiMark_DrawBuilding(bb, &clip, f, 0);
    EXPECT_TRUE(Golden_BitmapMatches(bb, g_Palette, 0x0058ADB9u, "markers_actual.pcx"));
    PART* keep = u->basepart;
    u->basepart = nullptr;
    u->hitpoints = -50;
    u->experience = 0xffffffffu;
    Clear();
    IgiMark_DrawUnit(bb, &clip, u, 1);
    EXPECT_GT(Count(IGIMARK_OWNFIRST), 20) << "a tile-sized marker";
    EXPECT_EQ(Count(IGIMARK_OWNFIRST, 0, 32, 448, 100 - 32) + Count(IGIMARK_OWNFIRST, 0, 200, 448, 280), 0);
    u->basepart = keep;
    f->state = BS_IDLE;
    igi_nfo.firstunit = nullptr;
    igi_nfo.sbuild = nullptr;
}

// The number beside a unit was the group's index: 0 for the group on key
// 1. It is the key now: 1 for the first group, 0 for the tenth.
class PlayerViewMarkers : public Markers {};

TEST_F(PlayerViewMarkers, TheGroupOnKey1ShowedAs0)
{
    UNIT* u = Unit("DemoTank", g_LocalTeam, 5, 5);
    const struct {
        int group;
        uint32_t crc;
        const char* file;
    } rows[] = {{0, 0xB016F72Cu, "group_key1.pcx"}, {9, 0x24156888u, "group_key0.pcx"}};
    for (const auto& r : rows) {
        u->interfaceinfo.group[r.group] = 1;
        Clear();
        IgiMark_DrawUnit(bb, &clip, u, 0);
        EXPECT_TRUE(Golden_BitmapMatches(bb, g_Palette, r.crc, r.file)) << "group " << r.group;
        u->interfaceinfo.group[r.group] = 0;
    }
}

TEST_F(Markers, TheListTooltipNamesTheTypeUnderThePointerAndItsCost)
{
    const UNITTYPE* tank = Units_SymToTypePtr("DemoTank");
    PREREQ_StolePlans(tank->prereq.id, g_LocalTeam);
    igi_nfo.listmode = LM_UNITS;
    Igievnt_RefillBuildList();
    ASSERT_GT(SList_Count(Igievnt_BuildList(LM_UNITS)), 0);
    Clear();
    Mouse_SetPos(448 + 32, 64 + 25);
    EXPECT_EQ(IgiMark_DrawListTooltip(bb), 1);
    EXPECT_GT(Count(66, 0, 32, 448, 448), 10) << "the box's frame, left of the panel";
    Mouse_SetPos(448 + 32, 64 + 240);
    EXPECT_EQ(IgiMark_DrawListTooltip(bb), 0) << "no entry under the pointer";
}

// Store bars for the local team or a resource site; hold boxes for the
// local team and two-way allies only; a charging mount's bar.
TEST_F(Markers, StoresHoldsAndChargeShowOnlyToWhomTheyShould)
{
    const int keep = g_AlliancesDisabled;
    g_AlliancesDisabled = 0;
    const int other = g_LocalTeam == 1 ? 2 : 1;
    BUILDINGTYPE* t = &g_BuildingTypes[Textfile_FindBuildingType("DemoDepot")];
    const BUILDINGTYPE saved = *t;
    t->resource[0].maxstored = 100;
    t->rooms[0] = 3;
    BUILDING* b = Build_New(t, g_LocalTeam, -1, 6, 6);
    ASSERT_NE(b, nullptr);
    b->stored[0] = 50;
    const struct {
        const char* name;
        int own, relation, production, stores, holds;
    } rows[] = {
        {"own", 1, TR_ALLY, 0, 1, 1},
        {"an enemy's store is hidden", 0, TR_ENEMY, 0, 0, 0},
        {"an enemy resource site shows it", 0, TR_ENEMY, 5, 1, 0},
        {"an ally both ways shows its holds", 0, TR_ALLY, 0, 0, 1},
    };
    for (const auto& r : rows) {
        b->team = r.own ? g_LocalTeam : other;
        Team_SetRelation(g_LocalTeam, other, r.relation);
        Team_SetRelation(other, g_LocalTeam, r.relation);
        t->resource[0].production = r.production;
        // Only the hold boxes' outlines are black.
        Graph_FillRect(bb, nullptr, 0, 0, 0, 640, 480, 200);
        IgiMark_DrawBuilding(bb, &clip, b, 0);
        EXPECT_EQ(Count(26) > 0, r.stores == 1) << r.name;
        EXPECT_EQ(Count(0) > 0, r.holds == 1) << r.name;
    }
    b->team = g_LocalTeam;
    t->resource[0].production = 0;
    UNIT* mount = Unit("DemoTank", g_LocalTeam, 20, 20);
    mount->type->abilities.weaponcharge = 1;
    mount->type->weaponchargeinfo = 100;
    mount->chargeremaining = 50;
    mount->ischarging = 1;
    UnitId_Setup(&b->bay[0], mount);
    Clear();
    IgiMark_DrawBuilding(bb, &clip, b, 0);
    EXPECT_GT(Count(93), 0) << "the charge bar";
    mount->type->abilities.weaponcharge = 0;
    UnitId_Clear(&b->bay[0]);
    Team_SetRelation(g_LocalTeam, other, TR_ENEMY);
    Team_SetRelation(other, g_LocalTeam, TR_ENEMY);
    Build_Remove(b);
    *t = saved;
    g_AlliancesDisabled = keep;
}

} // namespace
