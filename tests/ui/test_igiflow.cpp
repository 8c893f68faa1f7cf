// The interface in the real game: the fixture scenario by the lake started
// as the program starts a game, from its configuration, and its frame loop
// run under scripted passes on the headless platform's virtual clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
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
#include "platform/pcx.h"
#include "platform/video.h"
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
#include "ui/igimark.h"
#include "ui/igimouse.h"
#include "ui/igipanel.h"
#include "ui/textedit.h"
#include "units/building.h"
#include "rules/endcond.h"
#include "rules/gamemsg.h"
#include "units/buildplay.h"
#include "units/iterate.h"
#include "units/trail.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "ui/igicomms.h"
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

// The start: every zone set up, no warning; then
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
    f.Click(460, 300).Then([] { EXPECT_EQ(igi_nfo.event.zone, (uint32_t)ZD_NULL) << "zone 30's point"; });
    f.Click(460, 10).Then([] {
        EXPECT_EQ(igi_nfo.mfdmode, MFD_BUILD);
        EXPECT_EQ(Igizone_Find(460, 300), 30);
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
    EXPECT_NE(text.find("GameSpecifics: init Scenario"), std::string::npos);
    EXPECT_EQ(text.find("Some zones were not initialised"), std::string::npos) << "every panel is set up";
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
        EXPECT_TRUE(DemoFixture_Matches(pixels, palette, 0x30915CBCu, "igiflow_screen_actual.pcx"));
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

// From a fresh program no double click reached the game: the input layer
// paired presses only once a widget desktop had run. A double click on a
// tank that can morph selects it, enters morph mode and presses Morph.
class PlayerViewFlow : public InterfaceFlow {};

TEST_F(PlayerViewFlow, ADoubleClickOnATankDidNothingBeforeAWidgetPageHadRun)
{
    Flow f;
    static UNITTYPE* tank;
    f.Pass(QvPass{}).Pass(QvPass{}).Then([] {
        ASSERT_EQ(Unit(1)->tilepos.x, 9);
        ASSERT_EQ(Unit(1)->tilepos.y, 35);
        tank = Unit(1)->type;
        tank->abilities.canmorphunit = 1;
    });
    f.Click(ScreenX(9), ScreenY(35)).Click(ScreenX(9), ScreenY(35)).Pass(QvPass{}).Then([] {
        EXPECT_EQ(SelectedIds(), std::vector<int>({1}));
        EXPECT_EQ(igi_nfo.actionmode, AM_MORPH);
        EXPECT_TRUE(igi_nfo.zone.data[74].button.pressed) << "Morph";
        tank->abilities.canmorphunit = 0;
    });
    Play();
    EXPECT_FALSE(f.script.overran);
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

namespace {

std::vector<uint8_t> LastFrame(void)
{
    const uint8_t* pixels = nullptr;
    const PAL_RGB* palette = nullptr;
    if (!PlatHeadless_LastFrame(&pixels, &palette) || !pixels) return {};
    return std::vector<uint8_t>(pixels, pixels + 640 * 480);
}

// The pixels of the map view that changed to colour c between two frames,
// as a bounding box {left, top, right, bottom} and a count.
struct Changed {
    int l = 640, t = 480, r = -1, b = -1, n = 0;
};
Changed ChangedTo(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, int c)
{
    Changed ch;
    for (int y = 32; y < 480; y++)
        for (int x = 0; x < 448; x++) {
            const int i = y * 640 + x;
            if (after[i] == before[i] || after[i] != c) continue;
            ch.l = std::min(ch.l, x);
            ch.t = std::min(ch.t, y);
            ch.r = std::max(ch.r, x);
            ch.b = std::max(ch.b, y);
            ch.n++;
        }
    return ch;
}

int TeamUnits(int team)
{
    int n = 0;
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    for (UNIT* u = Iterate_UnitNext(&it); u; u = Iterate_UnitNext(&it)) n += u->team == team;
    return n;
}

} // namespace

// Markers through the real frame loop: a box selection brackets exactly the
// three tanks (golden frame); the pointer over a seen enemy draws its marker
// in colour 22; a factory making a tank shows the tank's name and a bar;
// a power plant placed over the lake shades the footprint's failed tiles.
TEST_F(InterfaceFlow, MarkersAroundTheSelectionTheHoveredEnemyAFactoryAndAPlacement)
{
    Flow f;
    static std::vector<uint8_t> before;
    static int enemy;
    f.Pass(QvMove(ScreenX(14), ScreenY(39))).Pass(QvPass{}).Then([] {
        CheckFixture();
        before = LastFrame();
    });
    const int left = ScreenX(9) - 12, right = ScreenX(11) + 12, top = ScreenY(35) - 13, bottom = ScreenY(35) + 14;
    QvPass down = QvMove(left, top);
    down.button = 0;
    down.down = 1;
    f.Pass(down).Pass(QvMove(right, bottom)).Pass(QvButton(0)).Pass(QvMove(ScreenX(14), ScreenY(39))).Pass(QvPass{});
    f.Then([=] {
        ASSERT_EQ(SelectedIds(), std::vector<int>({1, 2, 3}));
        const std::vector<uint8_t> after = LastFrame();
        for (int c : {15, 93}) {
            const Changed ch = ChangedTo(before, after, c);
            EXPECT_GT(ch.n, 20) << c;
            EXPECT_GE(ch.l, left - 24) << c;
            EXPECT_LE(ch.r, right + 24) << c;
            EXPECT_GE(ch.t, top - 30) << c;
            EXPECT_LE(ch.b, bottom + 24) << c;
        }
        const uint8_t* pixels = nullptr;
        const PAL_RGB* palette = nullptr;
        PlatHeadless_LastFrame(&pixels, &palette);
        EXPECT_TRUE(DemoFixture_Matches(pixels, palette, 0x87256F3Fu, "igiflow_markers_actual.pcx"));
        enemy = Units_NewAt(Unit(1)->type, 1, -1, 21, 31)->id;
    });
    f.Pass(QvPass{}).Then([] { before = LastFrame(); });
    f.Pass(QvMove(ScreenX(21), ScreenY(31))).Pass(QvPass{}).Then([] {
        ASSERT_TRUE(Unit(enemy)->seen[0]);
        const Changed ch = ChangedTo(before, LastFrame(), 22);
        EXPECT_GT(ch.n, 20);
        EXPECT_GE(ch.l, ScreenX(21) - 30);
        EXPECT_LE(ch.r, ScreenX(21) + 30);
    });
    // The factory (1002 on (10, 27)) selected, the first type of its list
    // started there.
    QvPass rdown = QvMove(200, 400);
    rdown.button = 1;
    rdown.down = 1;
    f.Pass(rdown).Pass(QvButton(0, 1)).Click(ScreenX(10), ScreenY(27)).Pass(QvPass{});
    f.Click(448 + 32, 64 + 25).Pass(QvMove(ScreenX(14), ScreenY(39)));
    for (int i = 0; i < 10; i++) f.Pass(QvPass{});
    f.Then([] {
        BUILDING* factory = Build_FindById(1002);
        ASSERT_EQ(factory->state, BS_PRODUCING);
        char text[128];
        EXPECT_EQ(IgiMark_StateText(factory, text, sizeof text), 1);
        EXPECT_STREQ(text, Unit(1)->type->description);
        const std::vector<uint8_t> now = LastFrame();
        int bar = 0;
        const int fx = 10 * 24 - 144, fy = 27 * 24 - 624 + 32 + factory->buildingtype->pixelh;
        for (int y = fy; y < std::min(480, fy + 40); y++)
            for (int x = fx; x < fx + factory->buildingtype->pixelw; x++) bar += now[y * 640 + x] == 24;
        EXPECT_GT(bar, 3) << "the state's bar under the factory";
    });
    // The builder chosen, a power plant to place; the pointer over the lake
    // in sight.
    static std::vector<uint8_t> plain;
    f.Pass(rdown).Pass(QvButton(0, 1)).Click(ScreenX(16), ScreenY(30)).Pass(QvMove(ScreenX(15), ScreenY(37)));
    f.Pass(QvPass{}).Then([] {
        ASSERT_EQ(igi_nfo.firstunit, Unit(4));
        plain = LastFrame();
        igi_nfo.placetype = (uint16_t)Build_FindById(1003)->buildingtype->index;
        igi_nfo.actionmode = AM_PLACE;
    });
    f.Pass(QvPass{}).Then([] {
        EXPECT_EQ(igi_nfo.actionmode, AM_PLACE);
        const BUILDINGTYPE* t = Build_FindById(1003)->buildingtype;
        int lx, ly;
        Igievnt_PlacementTopLeft(t, 15, 37, &lx, &ly);
        std::vector<uint8_t> cells(t->width * t->height);
        EXPECT_FALSE(Build_ApplyEffects(Unit(4), nullptr, t, lx, ly, cells.data()));
        const std::vector<uint8_t> now = LastFrame();
        // Every pixel of a failed tile went through the dimming table (the
        // plant's picture under it too), and the tile changed.
        std::vector<bool> dim(256), shade(256);
        for (int i = 0; i < 256; i++) {
            dim[g_DimTable[i]] = true;
            shade[g_ShadeTable[24][i]] = true;
        }
        int dimmed = 0, failed = 0;
        for (int j = 0; j < t->height; j++)
            for (int i = 0; i < t->width; i++) {
                if (cells[j * t->width + i] == BPC_FREE || cells[j * t->width + i] == BPC_NONE) continue;
                const int k = cells[j * t->width + i];
                EXPECT_TRUE(k == BPC_ALTITUDE || k == BPC_UNEXPLORED) << "the lake's slope and the fog: " << k;
                const std::vector<bool>& table = k == BPC_UNEXPLORED ? shade : dim;
                failed++;
                for (int y = 0; y < 24; y++)
                    for (int x = 0; x < 24; x++) {
                        const int at = ((ly + j - 26) * 24 + 32 + y) * 640 + (lx + i - 6) * 24 + x;
                        dimmed += now[at] != plain[at] && table[now[at]];
                    }
            }
        EXPECT_GT(failed, 0);
        EXPECT_GT(dimmed, failed * 24 * 24 * 3 / 4) << "the failed tiles over the water are shaded";
    });
    Play();
    EXPECT_FALSE(f.script.overran);
    EXPECT_LE(g_FrameCount, 1000u);
    EXPECT_EQ(f.script.passes, f.count + 1);
}

// The command panels through the real frame loop: automatic movement on
// and off for two tanks; a trail of three waypoints sent and followed; the
// trail stored as "Trail 1"; surrender takes every unit and building of the
// local team out of play; exit leaves the loop in state 5.
TEST_F(InterfaceFlow, PanelsCommandTheSelectionStoreATrailSurrenderAndExit)
{
    Flow f;
    f.Pass(QvPass{}).Pass(QvPass{}).Then([] {
        CheckFixture();
        for (int id : {1, 2}) Igievnt_SelectUnit(Unit(id));
        TakeExecuted();

    });
    f.Click(460, 40).Then([] { EXPECT_EQ(igi_nfo.mfdmode, MFD_ORDERS); });
    // IGI_ORORD2 at 559,118: mode 1 on, then, once executed, off.
    f.Click(594, 129).Pass(QvPass{}).Then([] {
        EXPECT_EQ(TakePayloads(QAUTOMOVEON), std::vector<std::string>({"01"}));
        EXPECT_EQ(Unit(1)->sorder.code, SO_AUTOMOVE);
        EXPECT_EQ(igi_nfo.automove, 1);
    });
    // Half a second later: sooner, the press on the same spot is a double
    // click, which buttons don't take.
    for (int i = 0; i < 10; i++) f.Pass(QvPass{});
    f.Click(594, 129).Pass(QvPass{}).Then([] {
        std::vector<std::pair<int, int>> got = TakeExecuted();
        EXPECT_EQ(got.back(), std::make_pair((int)QAUTOMOVEOFF, 0));
    });
    // The trail panel: edit, three ground clicks, execute.
    static const int wp[3][2] = {{10, 33}, {14, 33}, {13, 30}}; // dry land: the lake starts at altitude 4
    f.Click(520, 40).Then([] { EXPECT_EQ(igi_nfo.mfdmode, MFD_TRAIL); });
    f.Click(553, 111).Then([] { EXPECT_EQ(igi_nfo.actionmode, AM_TRAILINS0); });
    for (const auto& w : wp) f.Click(ScreenX(w[0]), ScreenY(w[1]));
    f.Then([] {
        EXPECT_EQ(Trail_Count(&igi_nfo.edittrail), 3);
        TakeExecuted();
    });
    f.Click(553, 161).Pass(QvPass{}).Then([] {
        const std::vector<std::pair<int, int>> want = {{QLOCALCLEAR, 0}, {QLOCALADDWAYPOINT, 0},
                                                       {QLOCALADDWAYPOINT, 0}, {QLOCALADDWAYPOINT, 0},
                                                       {QLOCALEXECUTE, 0}};
        EXPECT_EQ(TakeExecuted(), want);
        EXPECT_EQ(Unit(1)->sorder.code, SO_TRAIL);
        EXPECT_EQ(Trail_Count(Unit(1)->localtrail), 3);
    });
    // Both tanks follow the trail: each passes the waypoints in turn (a
    // waypoint counts when the tank stands on it or next to it, as the other
    // may hold the tile).
    static int reached[2];
    f.Then([] { reached[0] = reached[1] = 0; });
    for (int i = 0; i < 400; i++) f.Pass(QvPass{}).Then([] {
        for (int t = 0; t < 2; t++) {
            const UNIT* u = Unit(1 + t);
            int k = reached[t];
            if (k < 3 && std::max(std::abs(u->tilepos.x - wp[k][0]), std::abs(u->tilepos.y - wp[k][1])) <= 1)
                reached[t]++;
        }
    });
    f.Then([] {
        EXPECT_EQ(reached[0], 3) << Unit(1)->tilepos.x << "," << Unit(1)->tilepos.y;
        EXPECT_EQ(reached[1], 3) << Unit(2)->tilepos.x << "," << Unit(2)->tilepos.y;
    });
    // The global page: store the shown trail (the first tank's) as a new one.
    f.Click(590, 80).Click(500, 316).Pass(QvPass{}).Then([] {
        EXPECT_EQ(igi_nfo.trailpage, 1);
        EXPECT_STREQ(igi_nfo.trailname, "Trail 1");
        EXPECT_EQ(Trail_Count(&teamdata[0].gtrails[igi_nfo.globaltrail]), 3);
    });
    // The menu: surrender, then exit.
    f.Click(600, 10).Then([] { EXPECT_EQ(igi_nfo.mfdmode, MFD_MENU); });
    static int credits;
    f.Then([] { credits = teamdata[0].credits; });
    f.Click(550, 304).Pass(QvPass{}).Then([] {
        EXPECT_EQ(TeamUnits(0), 0);
        EXPECT_EQ(teamdata[0].firstbuilding, nullptr);
        EXPECT_EQ(teamdata[0].credits, credits) << "credits stay";
        EXPECT_EQ(Trail_Count(&teamdata[0].gtrails[igi_nfo.globaltrail]), 3) << "and so do trails";
    });
    f.Click(550, 326);
    f.script.stopWhenDone = false;
    Play();
    EXPECT_FALSE(f.script.overran);
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_LE(g_FrameCount, 2000u);
    EXPECT_NE(log.text().find("Team 0 surrendered"), std::string::npos);
}

// With the end conditions on, the local team's surrender eliminates it and
// the game is decided as after its destruction; a recorded game with the
// surrender replays to the same state at every update.
TEST_F(InterfaceFlow, ASurrenderEndsTheGameAndReplaysWithoutInput)
{
    QvTempDir dir;
    const std::string rec = dir.file("surrender.rec");
    std::map<uint32_t, uint64_t> recorded, replayed;
    auto digestEachPass = [](Flow& f, std::map<uint32_t, uint64_t>* out) {
        auto inner = f.script.onPass;
        f.script.onPass = [inner, out](int pass) {
            (*out)[g_UpdateCount] = QvDigest_State();
            inner(pass);
        };
    };
    g_Config.disableendconditions = 0;
    int passes = 0;
    {
        Flow f;
        digestEachPass(f, &recorded);
        f.Pass(QvPass{}).Pass(QvPass{}).Click(600, 10).Click(550, 304);
        // The lost game's picture waits for a key.
        for (int i = 0; i < 40; i++) f.Pass(QvPass{});
        f.Pass(QvKey(SC_ESCAPE));
        snprintf(g_Config.orderrecord, sizeof g_Config.orderrecord, "%s", rec.c_str());
        Play();
        passes = f.script.passes;
        g_Config.orderrecord[0] = '\0';
        EXPECT_FALSE(f.script.overran);
        EXPECT_EQ(TeamUnits(0), 0);
        EXPECT_TRUE(Endcond_IsEliminated(0));
    }
    const std::string text = log.text();
    const size_t surrendered = text.find("Team 0 surrendered");
    ASSERT_NE(surrendered, std::string::npos);
    EXPECT_NE(text.find("won (ie. You lost)", surrendered), std::string::npos) << "the other team wins";
    Game_ResetState();
    g_LocalTeam = g_Config.startteam;
    Game_SetScenarioCategory(g_Config.startcategory);
    Game_SetScenarioName(g_Config.startscenario);
    {
        Flow f;
        digestEachPass(f, &replayed);
        for (int i = 0; i < 46; i++) f.Pass(QvPass{});
        f.Pass(QvKey(SC_ESCAPE));
        snprintf(g_Config.orderplayback, sizeof g_Config.orderplayback, "%s", rec.c_str());
        Play();
        g_Config.orderplayback[0] = '\0';
    }
    int compared = 0;
    for (const auto& [update, digest] : recorded) {
        auto it = replayed.find(update);
        if (it == replayed.end()) continue;
        EXPECT_EQ(it->second, digest) << "update " << update;
        compared++;
    }
    EXPECT_GT(compared, 5);
    EXPECT_GT(passes, 40);
}

// Golden frames: a numbered trail of three waypoints on the map and the
// minimap; the communications panel after the local team offered an
// alliance that team 1 does not return (its ally cell lit, its enemy cell
// tinted), team 1 the one other player listed.
TEST_F(InterfaceFlow, GoldenTrailAndOneSidedAlliance)
{
    static const int wp[3][2] = {{10, 33}, {14, 33}, {13, 30}};
    Flow f;
    f.Pass(QvPass{}).Pass(QvPass{}).Then([] {
        for (int id : {1, 2}) Igievnt_SelectUnit(Unit(id));
    });
    f.Click(520, 40).Click(553, 111);
    for (const auto& w : wp) f.Click(ScreenX(w[0]), ScreenY(w[1]));
    // The fixture's radar is down: the trail shows on the minimap's dark
    // picture, inside the view's rectangle.
    f.Pass(QvMove(300, 420)).Pass(QvPass{}).Pass(QvPass{}).Then([] {
        ASSERT_EQ(Trail_Count(&igi_nfo.edittrail), 3);
        const uint8_t* pixels = nullptr;
        const PAL_RGB* palette = nullptr;
        ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette) && pixels);
        EXPECT_TRUE(DemoFixture_Matches(pixels, palette, 0x4E87A673u, "igiflow_trail_actual.pcx"));
        g_DebugFlags |= DBG_DEBUGMODE; // the communications panel opens in debug mode
        // The list holds only players: team 1 plays, as at the start of a
        // game of two.
        teamdata[1].type = TT_HUMAN;
        Igicomms_ListPlayers();
        // The scenario locks alliances: the offer is made as its order would.
        Team_ForceRelation(0, 1, TR_ALLY);
    });
    f.Click(540, 10).Pass(QvMove(300, 420)).Pass(QvPass{}).Pass(QvPass{}).Then([] {
        EXPECT_EQ(igi_nfo.mfdmode, MFD_COMMS);
        EXPECT_EQ(Team_GetRelation(0, 1), TR_ALLY);
        EXPECT_NE(Team_GetRelation(1, 0), TR_ALLY);
        const uint8_t* pixels = nullptr;
        const PAL_RGB* palette = nullptr;
        ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette) && pixels);
        EXPECT_TRUE(DemoFixture_Matches(pixels, palette, 0x108E4E34u, "igiflow_comms_actual.pcx"));
    });
    Play();
    EXPECT_FALSE(f.script.overran);
}

// The keyboard through the real frame loop: a box selection made group 1
// with Ctrl+1, lost to a right click, and recalled by 1; Shift+1 centres the
// view on it; A and a ground click fire at the ground, S stops; F12 holds
// the game for 50 frames and F12 again lets it go; Shift+Z writes the back
// buffer as it stands; left Ctrl+left Shift+Q quits.
TEST_F(InterfaceFlow, HotKeysGroupCentreFireStopPauseShootAndQuit)
{
    QvTempDir shots(true); // the screenshot goes to the working directory
    Flow f;
    f.Pass(QvPass{}).Pass(QvPass{}).Then([] {
        CheckFixture();
        Igipanel_ResetMsgCounts();
    });
    const int left = ScreenX(9) - 12, right = ScreenX(11) + 12, top = ScreenY(35) - 13, bottom = ScreenY(35) + 14;
    QvPass down = QvMove(left, top);
    down.button = 0;
    down.down = 1;
    f.Pass(down).Pass(QvMove(right, bottom)).Pass(QvButton(0));
    const std::vector<int> tanks = {1, 2, 3};
    f.Then([&] { ASSERT_EQ(SelectedIds(), tanks); });
    f.Pass(QvKeyDown(SC_LCTRL)).Pass(QvKey(SC_1)).Pass(QvKeyUp(SC_LCTRL)).Then([&] {
        EXPECT_EQ(Igipanel_MsgCount(MSG_GROUPMADE), 1);
    });
    QvPass rdown = QvMove(200, 400);
    rdown.button = 1;
    rdown.down = 1;
    f.Pass(rdown).Pass(QvButton(0, 1)).Then([] { ASSERT_TRUE(SelectedIds().empty()); });
    f.Pass(QvKey(SC_1)).Then([&] {
        EXPECT_EQ(SelectedIds(), tanks);
        EXPECT_EQ(Igipanel_MsgCount(MSG_SQUAD1SELECTED), 1);
        EXPECT_EQ(g_MapView.x, 144) << "a plain recall leaves the view";
    });
    // Tank 1 on (9, 35): the view's origin goes to (9 x 24 - 216, 35 x 24 - 216).
    f.Pass(QvKeyDown(SC_LSHIFT)).Pass(QvKey(SC_1)).Pass(QvKeyUp(SC_LSHIFT)).Then([] {
        EXPECT_EQ(g_MapView.x, 0);
        EXPECT_EQ(g_MapView.y, 35 * 24 - 216);
        EXPECT_EQ(Igipanel_MsgCount(MSG_SQUAD1SELECTED), 2);
        TakeExecuted();
    });
    // Tile (13, 33) under the new origin.
    f.Pass(QvKey(SC_A)).Then([] { EXPECT_EQ(igi_nfo.actionmode, AM_FIRE); });
    f.Click(13 * 24, 33 * 24 - (35 * 24 - 216) + 32).Pass(QvPass{}).Then([] {
        EXPECT_EQ(TakePayloads(QFIREATGROUND), std::vector<std::string>({"0d0021000000"}));
    });
    f.Pass(QvKey(31)).Pass(QvPass{}).Then([] {
        std::vector<std::pair<int, int>> got = TakeExecuted();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back(), std::make_pair((int)QSTOP, 0));
    });
    static uint32_t held;
    f.Pass(QvKey(SC_F12)).Then([] {
        EXPECT_TRUE(g_GamePaused);
        EXPECT_EQ(igi_nfo.lockzone, 2u);
        held = g_UpdateCount;
    });
    for (int i = 0; i < 50; i++) f.Pass(QvPass{});
    f.Then([] { EXPECT_EQ(g_UpdateCount, held) << "paused for 50 frames"; });
    f.Pass(QvKey(SC_F12)).Pass(QvPass{}).Pass(QvPass{}).Then([] {
        EXPECT_FALSE(g_GamePaused);
        EXPECT_EQ(igi_nfo.lockzone, (uint32_t)ZD_NULL);
        EXPECT_GT(g_UpdateCount, held);
    });
    // A pass starts once its frame is drawn, before the keys it brings are
    // handled: the back buffer then is the one the key finds.
    static std::vector<uint8_t> shown;
    f.Pass(QvKeyDown(SC_LSHIFT)).Then([] {
        BITMAP* back = Backbuf_Lock();
        ASSERT_TRUE(back && back->data);
        shown.assign(back->data, back->data + (size_t)back->x_size * back->y_size);
    });
    f.Pass(QvKey(44)).Pass(QvKeyUp(SC_LSHIFT)).Then([] {
        BITMAP got = {};
        ASSERT_TRUE(Pcx_Read("quor0000.pcx", &got, nullptr));
        ASSERT_EQ((size_t)got.x_size * got.y_size, shown.size());
        EXPECT_TRUE(std::equal(shown.begin(), shown.end(), got.data)) << "the back buffer as the key found it";
        Graph_FreeBitmap(&got);
        EXPECT_EQ(Igipanel_MsgCount(MSG_SCRNSHOT), 1);
    });
    f.Pass(QvKeyDown(SC_LCTRL)).Pass(QvKeyDown(SC_LSHIFT)).Pass(QvKey(SC_Q));
    f.script.stopWhenDone = false;
    Play();
    EXPECT_FALSE(f.script.overran);
    EXPECT_EQ(f.script.passes, f.count + 1) << "the Q pass ended the loop";
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_LE(g_FrameCount, 1000u);
    EXPECT_NE(log.text().find("Player hit CTRL SHIFT Q from in game"), std::string::npos);
}
