// The interface in the real game: the fixture scenario by the lake started
// as the program starts a game, from its configuration, and its frame loop
// run under scripted passes on the headless platform's virtual clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
#include "platform/cursor.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "support/golden.h"
#include "support/passscript.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igidisp.h"
#include "ui/igievnt.h"
#include "ui/igiclick.h"
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

// The game screen of the fixture: after a few frames the golden frame (the
// top bar with colons then the credits, the building panel's background,
// the framed minimap with the view's rectangle, the scouts under the fog);
// then the pointer at the right edge scrolls the view under cursor 42 until
// the map's edge stops it under cursor 50.
TEST_F(InterfaceFlow, GameScreenGoldenFrameThenTheRightEdgeScrolls)
{
    Flow f;
    for (int i = 0; i < 8; i++) f.Pass(QvPass{});
    f.Then([] {
        const uint8_t* pixels = nullptr;
        const PAL_RGB* palette = nullptr;
        ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette) && pixels);
        EXPECT_TRUE(DemoFixture_Matches(pixels, palette, 0xF884CA05u, "igiflow_screen_actual.pcx"));
    });
    static int startx;
    f.Then([] { startx = g_MapView.x; }).Pass(QvMove(639, 240)).Pass(QvPass{}).Then([] {
        EXPECT_EQ(Cursor_Current(), 42);
        EXPECT_GT(g_MapView.x, startx);
    });
    for (int i = 0; i < 80; i++) f.Pass(QvPass{});
    f.Then([] {
        EXPECT_EQ(g_MapView.x, mapsizex * 24 - MAPVIEW_SIZE);
        EXPECT_EQ(Cursor_Current(), 50) << "the map's right edge";
    });
    Play();
    EXPECT_FALSE(f.script.overran);
    EXPECT_EQ(f.script.passes, f.count + 1);
}

namespace {

// The payloads (hex) of the orders of code executed since the last take.
std::vector<std::string> TakePayloads(int code)
{
    std::vector<std::string> out;
    for (const std::string& line : s_executed) {
        unsigned update;
        int c, team, at = 0;
        if (sscanf(line.c_str(), "%u %d %d %n", &update, &c, &team, &at) >= 3 && c == code)
            out.push_back(line.substr(at));
    }
    s_executed.clear();
    return out;
}

// A tile's centre on the screen with the fixture's view origin (144, 624).
int ScreenX(int tx) { return tx * 24 - 144; }
int ScreenY(int ty) { return ty * 24 - 624 + 32; }

std::vector<int> SelectedIds(void)
{
    std::vector<int> ids;
    for (UNITLISTELEM* e = igi_nfo.selected.head; e; e = e->next) ids.push_back(e->u.id);
    return ids;
}

} // namespace

// The mouse over the map: a box either way selects the three tanks and no
// more; a right click empties the selection; a ground click moves the tanks
// there; a click on a seen enemy fires at it, fire mode then a ground click
// fires at the ground; a click on a type in a selected factory's list
// starts it there; a right drag scrolls the view.
TEST_F(InterfaceFlow, MouseSelectsMovesFiresAndScrollsOnTheMap)
{
    Flow f;
    // The scouts are decoys that soon fade: an armed enemy in the
    // builder's sight stands for them.
    static int enemy;
    f.Pass(QvPass{}).Pass(QvPass{}).Then([] {
        CheckFixture();
        enemy = Units_NewAt(Unit(1)->type, 1, -1, 21, 31)->id;
    });
    auto drag = [&f](int x1, int y1, int x2, int y2, int button) {
        QvPass down = QvMove(x1, y1);
        down.button = button;
        down.down = 1;
        f.Pass(down).Pass(QvMove((x1 + x2) / 2, (y1 + y2) / 2)).Pass(QvMove(x2, y2)).Pass(QvButton(0, button));
    };
    // Tanks 1 to 3 stand on tiles (9..11, 35); the builder at (16, 30).
    const int left = ScreenX(9) - 12, right = ScreenX(11) + 12, top = ScreenY(35) - 13, bottom = ScreenY(35) + 14;
    const std::vector<int> tanks = {1, 2, 3};
    drag(left, top, right, bottom, 0);
    f.Then([&] { EXPECT_EQ(SelectedIds(), tanks); });
    QvPass rdown = QvMove(200, 400);
    rdown.button = 1;
    rdown.down = 1;
    f.Pass(rdown).Pass(QvButton(0, 1)).Then([] { EXPECT_TRUE(SelectedIds().empty()) << "the right click"; });
    drag(right, bottom, left, top, 0);
    f.Then([&] {
        EXPECT_EQ(SelectedIds(), tanks) << "the box drawn backwards";
        TakeExecuted();
    });
    static int before;
    f.Click(ScreenX(12), ScreenY(38)).Pass(QvPass{}).Then([] {
        std::vector<std::pair<int, int>> want = {{QCLEARSELECTED, 0}, {QADDSELECTED, 0}, {QMOVE, 0}};
        std::vector<std::pair<int, int>> got = TakeExecuted();
        EXPECT_EQ(got, want);
        before = std::abs(Unit(1)->tilepos.x - 12) + std::abs(Unit(1)->tilepos.y - 38);
    });
    for (int i = 0; i < 60; i++) f.Pass(QvPass{});
    f.Then([] {
        EXPECT_LT(std::abs(Unit(1)->tilepos.x - 12) + std::abs(Unit(1)->tilepos.y - 38), before)
            << "the tanks head there";
    });
    // The enemy on (21, 31), seen: a fire order in the default attack mode.
    f.Click(ScreenX(21), ScreenY(31)).Pass(QvPass{}).Then([] {
        char want[32];
        snprintf(want, sizeof want, "%02x%02x%02x%02x02000000", enemy & 255, enemy >> 8 & 255, enemy >> 16 & 255,
                 enemy >> 24 & 255);
        EXPECT_EQ(TakePayloads(QFIREATUNIT), std::vector<std::string>({want}));
    });
    f.Click(300, 10).Then([] { EXPECT_EQ(igi_nfo.actionmode, AM_FIRE); });
    f.Click(ScreenX(13), ScreenY(33)).Pass(QvPass{}).Then([] {
        const std::vector<std::string> want = {"0d0021000000"};
        EXPECT_EQ(TakePayloads(QFIREATGROUND), want);
        EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
    });
    // The factory (1002 on (10, 27)) selected, a click on the first type
    // of its list starts the tank there.
    f.Pass(rdown).Pass(QvButton(0, 1)).Click(ScreenX(10), ScreenY(27)).Pass(QvPass{}).Then([] {
        ASSERT_EQ(igi_nfo.sbuild, Build_FindById(1002));
        EXPECT_EQ(igi_nfo.listmode, 0);
        TakeExecuted();
    });
    f.Click(448 + 32, 64 + 25).Pass(QvPass{}).Then([] {
        char want[32];
        snprintf(want, sizeof want, "%02x000000ea030000", Unit(1)->type->unittypeid);
        EXPECT_EQ(TakePayloads(QCONSTRUCTUNIT), std::vector<std::string>({want}));
    });
    static int viewx;
    f.Then([] { viewx = g_MapView.x; });
    drag(200, 200, 240, 200, 1);
    f.Then([] {
        EXPECT_GT(g_MapView.x, viewx) << "the right drag scrolls";
        EXPECT_EQ(igi_nfo.dragmode, 0);
        EXPECT_EQ(igi_nfo.dragging, 0);
        EXPECT_NE(igi_nfo.sbuild, nullptr) << "a drag is no cancel";
        int l, t, r, b;
        Mouse_GetClipRect(&l, &t, &r, &b);
        EXPECT_EQ(std::vector<int>({l, t, r, b}), std::vector<int>({0, 0, 639, 479}));
    });
    Play();
    EXPECT_FALSE(f.script.overran);
    EXPECT_EQ(f.script.passes, f.count + 1);
}

// A game commanded by the mouse, recorded, then replayed without input:
// the same state at every update (the script keeps off the construct queue
// and the primary makers, which are local by design).
TEST_F(InterfaceFlow, AMouseCommandedGameReplaysWithoutInput)
{
    QvTempDir dir;
    const std::string rec = dir.file("mouse.rec");
    std::map<uint32_t, uint64_t> recorded, replayed;
    auto digestEachPass = [](Flow& f, std::map<uint32_t, uint64_t>* out) {
        auto inner = f.script.onPass;
        f.script.onPass = [inner, out](int pass) {
            (*out)[g_UpdateCount] = QvDigest_State();
            inner(pass);
        };
    };
    int passes = 0;
    {
        Flow f;
        digestEachPass(f, &recorded);
        QvPass down = QvMove(ScreenX(9) - 12, ScreenY(35) - 13);
        down.button = 0;
        down.down = 1;
        f.Pass(QvPass{}).Pass(down).Pass(QvMove(ScreenX(10), ScreenY(35))).Pass(QvMove(ScreenX(11) + 12, ScreenY(35) + 14));
        f.Pass(QvButton(0)).Click(ScreenX(12), ScreenY(38));
        for (int i = 0; i < 30; i++) f.Pass(QvPass{});
        f.Click(300, 10).Click(ScreenX(13), ScreenY(33));
        for (int i = 0; i < 30; i++) f.Pass(QvPass{});
        snprintf(g_Config.orderrecord, sizeof g_Config.orderrecord, "%s", rec.c_str());
        Play();
        passes = f.count;
        g_Config.orderrecord[0] = '\0';
        ASSERT_FALSE(f.script.overran);
        ASSERT_GT(std::filesystem::file_size(rec), 40u) << "the clicks' orders were recorded";
    }
    Game_ResetState();
    g_LocalTeam = g_Config.startteam;
    Game_SetScenarioCategory(g_Config.startcategory);
    Game_SetScenarioName(g_Config.startscenario);
    {
        Flow f;
        digestEachPass(f, &replayed);
        for (int i = 0; i < passes; i++) f.Pass(QvPass{});
        snprintf(g_Config.orderplayback, sizeof g_Config.orderplayback, "%s", rec.c_str());
        Play();
        g_Config.orderplayback[0] = '\0';
    }
    ASSERT_GT(recorded.size(), 50u);
    int compared = 0;
    for (const auto& [update, digest] : recorded) {
        auto it = replayed.find(update);
        if (it == replayed.end()) continue;
        EXPECT_EQ(it->second, digest) << "update " << update;
        compared++;
    }
    EXPECT_GT(compared, 50);
}
