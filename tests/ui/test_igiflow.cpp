// The interface in the real game: the fixture scenario by the lake started
// as the program starts a game, from its configuration, and its frame loop
// run under scripted passes on the headless platform's virtual clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "map/map.h"
#include "map/mapview.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "support/passscript.h"
#include "support/testsupport.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igidisp.h"
#include "ui/igievnt.h"
#include "ui/textedit.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

enum {
    PASS_MS = 50,     // one update a pass at the scenario's 20 a second
    MAX_PASSES = 600, // the bound: the whole flow within 600 frames
    FIELD_ZD = 1,     // the chat field's zone: it wins over every other
    WATER_ALTITUDE = 4,
};

std::vector<std::string> s_executed;

// A script of passes with checks between them: a check added after some
// passes runs once the loop has handled them, before the next pass posts
// its input.
struct Flow {
    QvPassScript script{MAX_PASSES};
    std::map<int, std::vector<std::function<void()>>> checks;
    int count = 0;

    Flow()
    {
        script.onPass = [this](int pass) {
            auto it = checks.find(pass);
            if (it == checks.end()) return;
            for (auto& check : it->second) check();
        };
    }
    Flow& Pass(QvPass p)
    {
        p.advanceMs = PASS_MS;
        script.Add(p);
        count++;
        return *this;
    }
    Flow& Then(std::function<void()> check)
    {
        checks[count].push_back(std::move(check));
        return *this;
    }
    Flow& Click(int x, int y)
    {
        QvPass down = QvMove(x, y);
        down.button = 0;
        down.down = 1;
        return Pass(down).Pass(QvButton(0));
    }
    Flow& WheelAt(int x, int y)
    {
        QvPass p = QvWheel(120);
        p.moveX = x;
        p.moveY = y;
        return Pass(p);
    }
};

// The codes and teams of the orders executed since the last call.
std::vector<std::pair<int, int>> TakeExecuted(void)
{
    std::vector<std::pair<int, int>> out;
    for (const std::string& line : s_executed) {
        unsigned update;
        int code, team;
        if (sscanf(line.c_str(), "%u %d %d", &update, &code, &team) == 3) out.emplace_back(code, team);
    }
    s_executed.clear();
    return out;
}

char s_field[32];

void FieldHandler(uint32_t zd, uint32_t reason)
{
    if (reason == ZR_INPUT) Igievnt_HandleEditZone((int)zd);
}

class InterfaceFlow : public testing::Test {
protected:
    QvLogCapture log{TLOG_DIAG};
    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Cfg_Load(QV_TEST_RUNDIR "/igi.cfg", &g_Config);
        g_DebugFlags = g_Config.debugflags;
        Game_SetDirectories(QV_TEST_RUNDIR, g_Config.datadir, g_Config.datadir2, g_Config.savedir,
                            g_Config.scenariodir);
        Game_SetScenarioCategory(g_Config.startcategory);
        Game_SetScenarioName(g_Config.startscenario);
        g_LocalTeam = g_Config.startteam;
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        InitBaseSystem();
        // The game's end leads to the front end, which ends the run here.
        Game_SetFrontEndHook(+[] { g_GameState = GS_QUIT; });
        s_executed.clear();
        Orders_SetExecutedLog(+[](const char* line) { s_executed.push_back(line); });
    }
    void TearDown() override
    {
        Orders_SetExecutedLog(nullptr);
        Game_SetFrontEndHook(nullptr);
        CloseBaseSystem();
        Plat_Close();
        Cfg_SetDefaults(&g_Config);
        g_DebugFlags = 0;
        g_GameState = GS_FRONTEND;
    }
    // The game from its start to the script's end.
    static void Play(void)
    {
        g_GameState = Game_EntryState(g_Config.entrypoint);
        Game_Main();
    }
};

UNIT* Unit(int id) { return Units_IdToUnitPtr(id, -1); }

// What the interface tests rely on: the local base in view by the lake, a
// builder, a factory with a type it can make and the credits for it, power,
// a store; team 1's scouts in sight but one.
void CheckFixture(void)
{
    EXPECT_EQ(g_MapView.tilex, 6);
    EXPECT_EQ(g_MapView.tiley, 26);
    EXPECT_LE((int)MAP_ELEMENT_AT(18, 40)->altitude, WATER_ALTITUDE) << "the lake in view";
    for (int id : {1, 2, 3, 4}) {
        ASSERT_NE(Unit(id), nullptr) << id;
        EXPECT_EQ(Unit(id)->team, 0) << id;
    }
    BUILDING* factory = Build_FindById(1002);
    BUILDING* power = Build_FindById(1003);
    BUILDING* store = Build_FindById(1004);
    ASSERT_TRUE(factory && power && store);
    const UNITTYPE* tank = Unit(1)->type;
    EXPECT_TRUE(PREREQ_CanThisMakeThat(factory->buildingtype->prereq.id, tank->prereq.id, 0));
    EXPECT_TRUE(PREREQ_CanMake(tank->prereq.id, 0));
    EXPECT_GE(teamdata[0].credits, (int)tank->buildcost);
    EXPECT_TRUE(PREREQ_CanThisMakeThat(Unit(4)->type->prereq.id, power->buildingtype->prereq.id, 0))
        << "unit 4 builds power plants";
    const TEAM_RESOURCE& p = teamdata[0].resource[BUILD_POWER];
    EXPECT_GT(p.usage, 0);
    EXPECT_GE(p.supply, p.usage);
    EXPECT_GT(store->buildingtype->resource[0].maxstored, 0);
    for (int id : {21, 22, 23}) ASSERT_NE(Unit(id), nullptr) << id;
    EXPECT_TRUE(Unit(21)->seen[0]);
    EXPECT_TRUE(Unit(22)->seen[0]);
    EXPECT_FALSE(Unit(23)->seen[0]) << "the scout under the fog";
}

} // namespace

// The start: the interface's warning right after the scenario's lines; then
// clicks on the top bar's fire modes, stop and panel selectors, a text field
// that holds the pointer while it edits, and what a wheel turn finds under
// the pointer; all within the frame bound, the game ending with the script.
TEST_F(InterfaceFlow, TopBarTextFieldAndPointerThroughTheRealFrameLoop)
{
    Flow f;
    const int zone12x = 300, zone13x = 350, zone14x = 400, topy = 10;
    f.Pass(QvPass{}).Pass(QvPass{}).Then([] {
        CheckFixture();
        EXPECT_EQ(igi_nfo.mfdmode, MFD_BUILD);
        for (int id : {1, 2, 3}) Igievnt_SelectUnit(Unit(id));
    });
    // Fire modes: a second click on the same mode goes back to 0.
    const struct {
        int x, mode;
    } fire[] = {{zone12x, AM_FIRE}, {zone12x, AM_DEFAULT}, {zone13x, AM_FIRENOMV}, {zone13x, AM_DEFAULT}};
    for (const auto& c : fire) f.Click(c.x, topy).Then([c] { EXPECT_EQ(igi_nfo.actionmode, c.mode) << c.x; });
    // Stop: the selection goes first, then the order.
    f.Then([] { TakeExecuted(); }).Click(zone14x, topy).Pass(QvPass{}).Then([] {
        const std::vector<std::pair<int, int>> want = {{QCLEARSELECTED, 0}, {QADDSELECTED, 0}, {QSTOP, 0}};
        EXPECT_EQ(TakeExecuted(), want);
    });
    // Panels: the orders panel leaves the building panel's list zone empty.
    f.Click(460, 40).Then([] {
        EXPECT_EQ(igi_nfo.mfdmode, MFD_ORDERS);
        EXPECT_EQ(igi_nfo.zone.data[16].button.pressed, 1u);
    });
    f.Click(520, 150).Then([] { EXPECT_EQ(igi_nfo.event.zone, (uint32_t)ZD_NULL) << "zone 30's point"; });
    f.Click(460, 10).Then([] {
        EXPECT_EQ(igi_nfo.mfdmode, MFD_BUILD);
        EXPECT_EQ(Igizone_Find(520, 150), 30);
        // A text field over the map view, as a panel would define one.
        Igievnt_DefineButton(FIELD_ZD, FieldHandler, 100, 40, 160, 20, 4, 4, s_field, 20, "ab",
                             TEC_LETTERS | TEC_DIGITS, 0, ZL_ALL);
        Igizone_SetActiveMask(ZL_BUILD);
    });
    f.Click(150, 50).Then([] {
        EXPECT_EQ(igi_nfo.lockzone, (uint32_t)FIELD_ZD);
        EXPECT_EQ(igi_nfo.zone.data[FIELD_ZD].button.editing, 1);
    });
    // A shifted capital with the shift key held over three passes.
    QvPass capital = QvKey(0x2D);
    capital.character = 'X';
    f.Pass(QvKeyDown(SC_LSHIFT)).Pass(capital).Then([] {
        EXPECT_NE(igi_nfo.event.modifiers & MOD_LSHIFT, 0u);
    });
    QvPass small = QvKey(0x15);
    small.character = 'y';
    f.Pass(QvKeyUp(SC_LSHIFT)).Pass(small).Then([] {
        EXPECT_EQ(igi_nfo.event.modifiers & MOD_LSHIFT, 0u);
        EXPECT_STREQ(s_field, "abXy");
    });
    // The field holds the pointer: a click aimed at zone 12 lands in it.
    f.Click(zone12x, topy).Then([] {
        EXPECT_EQ(igi_nfo.lockzone, (uint32_t)FIELD_ZD);
        EXPECT_STREQ(s_field, "abXy");
        EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
        const ZONE& z = igi_nfo.zone.data[FIELD_ZD];
        EXPECT_TRUE(igi_nfo.event.x >= z.lx && igi_nfo.event.x <= z.rx && igi_nfo.event.y <= z.ry);
    });
    f.Pass(QvKey(SC_ESCAPE)).Then([] {
        EXPECT_EQ(igi_nfo.lockzone, (uint32_t)ZD_NULL);
        EXPECT_STREQ(s_field, "ab");
    });
    f.Click(zone12x, topy).Then([] { EXPECT_EQ(igi_nfo.actionmode, AM_FIRE) << "the pointer is free again"; });
    // The wheel over a scout in sight finds it; over the one under the fog,
    // nothing, though it stands there. Scouts 22 and 23 stand on tiles
    // (20, 31) and (24, 30): on screen, less the view's origin (144, 624),
    // 32 lower.
    const int seenx = 20 * 24 - 144, seeny = 31 * 24 - 624 + 32;
    const int fogx = 24 * 24 - 144, fogy = 30 * 24 - 624 + 32;
    f.WheelAt(seenx, seeny).Then([] {
        EXPECT_EQ(igi_nfo.event.kind, (uint32_t)EV_WHEEL);
        EXPECT_EQ(igi_nfo.event.value, 120);
        EXPECT_EQ(igi_nfo.event.unit, Unit(22));
    });
    f.WheelAt(fogx, fogy).Then([=] {
        EXPECT_EQ(igi_nfo.event.unit, nullptr);
        int px, py;
        Igidisp_ScreenToMap(fogx, fogy, &px, &py);
        EXPECT_EQ(Igidisp_UnitAtPixel(px, py), Unit(23)) << "it stands there";
    });
    Play();
    EXPECT_FALSE(f.script.overran);
    EXPECT_LE(g_FrameCount, (uint32_t)MAX_PASSES);
    EXPECT_EQ(f.script.passes, f.count + 1) << "the game ended with the script";
    const std::string text = log.text();
    const size_t scenario = text.find("GameSpecifics: init Scenario");
    const size_t general = text.find("general.txt]", scenario);
    const size_t warning = text.find("Some zones were not initialised (29, 82)");
    const size_t next = text.find("GameSpecifics: init Alliances");
    ASSERT_NE(warning, std::string::npos) << text;
    EXPECT_LT(scenario, general);
    EXPECT_LT(general, warning);
    EXPECT_LT(warning, next);
}
