// The editor state run through the state loop on a copy of the demo
// scenario, with scripted passes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/config.h"
#include "core/crc32.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "editor/editor.h"
#include "editor/medesk.h"
#include "editor/mefile.h"
#include "editor/meminimap.h"
#include "editor/meterrain.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "rules/scenario.h"
#include "support/golden.h"
#include "support/testsupport.h"
#include "support/passscript.h"
#include "units/prereq.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"

namespace fs = std::filesystem;

namespace {

// Opens the scenario as the File layer's Load does.
void OpenScenario(const char* name)
{
    MeEditor& me = g_MeEditor;
    if (me.miniMap) me.miniMap->Free();
    PREREQ_Done();
    CloseCommonGameSystems();
    Game_SetScenarioName(name);
    InitCommonGameSystems();
    me.CloseTools();
    Scenario_Load(nullptr);
    PREREQ_Init();
    Fog_SetSeeAll(1);
    me.flags |= MEF_OPEN | MEF_DRAWMAP;
    Ovl_DisplayAll();
    Display_ApplyPalette();
    me.OpenTools();
    me.RefreshAll();
    Mouse_FlushEvents();
    if (me.miniMap) me.miniMap->Create();
    MeTerrain::SetZoom(1);
    MeTerrain::InitZoom();
    MeBigMap::Centre(g_MapView.x, g_MapView.y);
    MeMenuFile::StoreBaseline();
    me.category = g_ScenarioCategory;
    if (me.desktop) me.desktop->Repaint(nullptr);
}

// One CRC over every element's initial altitude and tile word.
uint32_t TerrainCrc(void)
{
    uint32_t crc = 0;
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) {
            const MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
            const uint8_t bytes[5] = {(uint8_t)e->initalt, (uint8_t)e->tile, (uint8_t)(e->tile >> 8),
                                      (uint8_t)(e->tile >> 16), (uint8_t)(e->tile >> 24)};
            crc = Crc32_Update(crc, bytes, sizeof bytes);
        }
    return crc;
}

class EditorVisit : public testing::Test {
protected:
    QvLogCapture log{TLOG_SAVE};
    QvTempDir home{true};
    void SetUp() override
    {
        fs::create_symlink(fs::path(QV_TEST_RUNDIR) / "data", home.file("data"));
        fs::create_directories(home.file("scenario/SINGLE"));
        fs::copy(fs::path(QV_TEST_RUNDIR) / "scenario/SINGLE/DEMO", home.file("scenario/SINGLE/DEMO"));
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("DEMO");
        g_LocalTeam = 0;
        InitBaseSystem();
    }
    void TearDown() override
    {
        CloseBaseSystem();
        Plat_Close();
        g_GameState = GS_FRONTEND;
    }
    static void Chord(QvPassScript& s, int modifierKey, int scancode)
    {
        s.Add(QvKeyDown(modifierKey)).Add(QvKey(scancode)).Add(QvKeyUp(modifierKey));
    }
    static void Drag(QvPassScript& s, int button, int x, int y, int toX, int toY)
    {
        s.Add(QvMove(x, y)).Wait(10).Add(QvButton(1, button));
        for (int i = 1; i <= 4; i++) s.Add(QvMove(x + (toX - x) * i / 4, y + (toY - y) * i / 4)).Wait(100);
        s.Add(QvButton(0, button)).Wait(10);
    }
};

} // namespace

TEST_F(EditorVisit, TwoVisitsGoOnNumberingScreenshotsAndGiveTheHeapBack)
{
    const int first = MeDesktop::ScreenshotCounter();
    long blocks = 0;
    for (int visit = 0; visit < 2; visit++) {
        SCOPED_TRACE(visit);
        QvPassScript s(200);
        int teamSeen = -1;
        s.onPass = [&](int pass) {
            MeEditor& me = g_MeEditor;
            if (pass == 2 && visit == 0) {
                // A field holding the keyboard takes the digits.
                QIEdit* edit = new QIEdit("Field", nullptr, IRect(460, 60, 100, 12), IPoint(1, 1), 0, 0, 0x2, 8,
                                          15, &me.fontB->font);
                QIWidget::AddChild(me.backdrop, edit);
                me.desktop->SetCapture(edit, true);
            }
            if (pass == 6 && visit == 0) {
                teamSeen = me.team;
                me.desktop->SetCapture(me.desktop->captureWidget, false);
            }
        };
        s.Wait(20, 3).Add(QvKeyDown(6, '5')).Add(QvKeyUp(6)).Wait(20);
        Chord(s, SC_LSHIFT, 44);
        s.Wait(20);
        Chord(s, SC_LALT, 16);
        s.Wait(20, 3);
        g_MeEditor.team = 0;
        if (visit == 1) blocks = Debug_LiveBlocks();
        g_GameState = GS_EDITOR;
        Game_Main();
        EXPECT_FALSE(s.overran);
        EXPECT_EQ(g_GameState, GS_QUIT);
        if (visit == 0) {
            EXPECT_EQ(teamSeen, 0) << "the digit went to the field";
        }
        char name[32];
        snprintf(name, sizeof name, "mscr%04d.pcx", first + visit);
        EXPECT_EQ(access(name, 0), 0) << name << log.text();
        g_QuitRequested = 0;
    }
    EXPECT_EQ(MeDesktop::ScreenshotCounter(), first + 2);
    EXPECT_EQ(Debug_LiveBlocks(), blocks);
    const std::string text = log.text();
    EXPECT_NE(text.find("MapEditor is starting."), std::string::npos);
    EXPECT_NE(text.find("MapEditor has shutdown."), std::string::npos);
}

TEST_F(EditorVisit, AClosedWindowEndsTheVisitAsAltQDoes)
{
    QvPassScript s(50);
    QvPass close;
    close.quit = true;
    s.Wait(20, 3).Add(close);
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_FALSE(s.overran);
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_EQ(g_MeEditor.desktop, nullptr);
    EXPECT_NE(log.text().find("MapEditor has shutdown."), std::string::npos);
}

// The frame now on the back buffer against its recorded CRC (written as a
// PCX on a mismatch).
static ::testing::AssertionResult FrameMatches(uint32_t golden, const char* file)
{
    return DemoFixture_Matches(Backbuf_Lock()->data, g_Palette, golden, file);
}

// A script that counts its passes as it is written.
struct Counted {
    QvPassScript s{400};
    int n = 0;
    Counted& Add(const QvPass& p)
    {
        s.Add(p);
        n++;
        return *this;
    }
    Counted& Wait(uint32_t ms, int count = 1)
    {
        s.Wait(ms, count);
        n += count;
        return *this;
    }
    Counted& Chord(int modifierKey, int scancode) { return Add(QvKeyDown(modifierKey)).Add(QvKey(scancode)).Add(QvKeyUp(modifierKey)); }
};

TEST_F(EditorVisit, EditsTheDemoScenarioAndPlaysIt)
{
    enum : uint32_t { ZOOM3 = 0xC7D64709u, ZOOM1 = 0x8FB3714Bu, GAME = 0x0C47A516u };
    Counted c;
    const int shots = MeDesktop::ScreenshotCounter();
    c.Wait(20, 3);
    const int openPass = c.n;
    c.Wait(20, 3).Add(QvMove(224, 256)).Wait(20);
    c.Add(QvKey(13)).Add(QvKey(13)).Wait(20);
    c.Add(QvKeyDown(SC_RIGHT)).Wait(20, 4).Add(QvKeyUp(SC_RIGHT)).Add(QvKeyDown(SC_DOWN)).Wait(20, 3);
    c.Add(QvKeyUp(SC_DOWN)).Wait(20, 2);
    const int zoom3Pass = c.n;
    c.Add(QvMove(561, 388)).Add(QvButton(1)).Add(QvButton(0)).Wait(20);
    c.Add(QvKey(12)).Add(QvKey(12)).Wait(20);
    c.Chord(SC_LALT, 19).Add(QvKey(19)).Add(QvKey(30)).Wait(20, 2);
    c.Add(QvMove(100, 100)).Wait(10).Add(QvButton(1));
    for (int i = 1; i <= 4; i++) c.Add(QvMove(100 + 25 * i, 100 + 20 * i)).Wait(20);
    const int bandPass = c.n;
    c.Add(QvButton(0)).Wait(10);
    c.Add(QvMove(300, 300)).Wait(10).Add(QvButton(1, 1));
    for (int i = 1; i <= 4; i++) c.Add(QvMove(310 + 10 * i, 250)).Wait(100);
    c.Add(QvButton(0, 1)).Wait(10).Add(QvMove(224, 256)).Wait(20);
    c.Chord(SC_LSHIFT, 44).Chord(SC_LSHIFT, 44).Wait(20, 2);
    const int savePass = c.n;
    c.Wait(20).Chord(SC_LCTRL, 16).Wait(50, 8);
    QvPass quit;
    quit.quit = true;
    c.Add(quit);

    uint32_t editorCrc = 0, gameCrc = 0;
    bool zoom3Ok = false, zoom1Ok = false, gameOk = false;
    int inGame = 0;
    c.s.onPass = [&](int pass) {
        MeEditor& me = g_MeEditor;
        if (pass == openPass) {
            OpenScenario("DEMO");
            Crt_Srand(1);
        }
        if (pass == zoom3Pass) {
            EXPECT_EQ(me.view.zoom, 3);
            zoom3Ok = FrameMatches(ZOOM3, "edit_zoom3.pcx");
        }
        if (pass == bandPass) {
            EXPECT_EQ(me.view.zoom, 1);
            EXPECT_EQ(me.tool->state, METS_BAND);
            EXPECT_TRUE(me.flags & MEF_ALTITUDES);
            zoom1Ok = FrameMatches(ZOOM1, "edit_zoom1.pcx");
        }
        if (pass == savePass) {
            EXPECT_EQ(Scenario_Save(), 1);
            EXPECT_EQ(Map_Save(g_ScenarioMapPath), 1);
            MeMenuFile::StoreBaseline(); // saved: Ctrl+Q has nothing to ask
            editorCrc = TerrainCrc();
        }
        if (g_GameState == GS_INGAME && ++inGame == 1) gameCrc = TerrainCrc();
        // The frame presented before this pass is the game's first.
        if (inGame == 2) gameOk = FrameMatches(GAME, "edit_game.pcx");
    };
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_FALSE(c.s.overran);
    EXPECT_TRUE(zoom3Ok);
    EXPECT_TRUE(zoom1Ok);
    EXPECT_TRUE(gameOk);
    EXPECT_NE(editorCrc, 0u);
    EXPECT_EQ(gameCrc, editorCrc);
    char name[32];
    for (int i = 0; i < 2; i++) {
        snprintf(name, sizeof name, "mscr%04d.pcx", shots + i);
        EXPECT_EQ(access(name, 0), 0) << name;
    }
    EXPECT_NE(log.text().find("MapEditor has shutdown."), std::string::npos);
}

namespace {

// Steps run one after another on a script: a click on a named widget once
// the desktop has it, keys, waits, calls.
class Steps {
public:
    explicit Steps(QvPassScript& s) : s_(s)
    {
        s_.Wait(20, 3);
        queued_ = 3;
        s_.onPass = [this](int pass) { OnPass(pass); };
    }
    // At (dx, dy) inside the widget; its middle by default.
    Steps& Click(const char* name, int dx = -1, int dy = -1)
    {
        steps_.push_back({name, dx, dy, nullptr});
        return *this;
    }
    // Called at every pass, inside steps too.
    std::function<void(void)> every;
    Steps& Wait(uint32_t ms, int count)
    {
        steps_.push_back({nullptr, (int)ms, -count, nullptr});
        return *this;
    }
    // A key with its character, pressed and let go.
    Steps& Type(int scancode, int character)
    {
        return Do([this, scancode, character] {
            Add(QvKeyDown(scancode, character));
            Add(QvKeyUp(scancode));
        });
    }
    Steps& Chord(int modifier, int scancode)
    {
        steps_.push_back({nullptr, modifier, scancode, nullptr});
        return *this;
    }
    Steps& Do(std::function<void()> f, int wait = 1)
    {
        steps_.push_back({nullptr, 0, 0, std::move(f)});
        for (int i = 1; i < wait; i++) steps_.push_back({nullptr, 0, 0, [] {}});
        return *this;
    }
    bool done(void) const { return next_ == steps_.size() && !busy_; }

private:
    struct Step {
        const char* name;
        int modifier, scancode;
        std::function<void()> call;
    };
    void Add(const QvPass& p)
    {
        s_.Add(p);
        queued_++;
    }
    // A click or a call may run a load, which flips (and so passes) once a
    // stage: each step leaves passes enough behind it, and a pass inside a
    // step only uses them up.
    void OnPass(int pass)
    {
        if (every) every();
        if (busy_ || pass < queued_ - 1 || next_ >= steps_.size()) return;
        const Step st = steps_[next_++];
        busy_ = true;
        if (st.name) {
            QIWidget* w = g_MeEditor.desktop ? g_MeEditor.desktop->FindByName(st.name) : nullptr;
            if (!w || w->IsHidden()) {
                next_--;
                Add(QvPass{});
                busy_ = false;
                return;
            }
            Add(QvMove(w->x + (st.modifier < 0 ? w->w / 2 : st.modifier),
                       w->y + (st.scancode < 0 ? w->h / 2 : st.scancode)));
            Add(QvButton(1));
            for (int i = 0; i < SPARE; i++) Add(QvPass{});
            Add(QvButton(0));
        } else if (st.scancode < 0) {
            s_.Wait((uint32_t)st.modifier, -st.scancode);
            queued_ += -st.scancode;
        } else if (st.scancode) {
            if (st.modifier) Add(QvKeyDown(st.modifier));
            Add(QvKey(st.scancode));
            if (st.modifier) Add(QvKeyUp(st.modifier));
        } else {
            for (int i = 0; i < SPARE; i++) Add(QvPass{});
            st.call();
        }
        Add(QvPass{});
        busy_ = false;
    }
    enum { SPARE = 24 };
    bool busy_ = false;
    QvPassScript& s_;
    std::vector<Step> steps_;
    size_t next_ = 0;
    int queued_ = 0;
};

void SetEdit(const char* name, const char* text)
{
    QIEdit* edit = static_cast<QIEdit*>(g_MeEditor.desktop->FindByName(name));
    ASSERT_NE(edit, nullptr) << name;
    snprintf(edit->buffer, (size_t)edit->maxLength + 1, "%s", text);
}

} // namespace

TEST_F(EditorVisit, ACreatedScenarioIsEditedSavedAndReadBack)
{
    enum : uint32_t { CREATED = 0xD6FBBB41u, WAITING = 0x95FCD918u, STATS = 0x1CF706DBu };
    QvPassScript s(2000);
    Steps steps(s);
    bool createdOk = false, waitingOk = false, statsOk = false;
    uint32_t editorCrc = 0;
    steps.Click("Create")
        .Do([] {
            g_MeEditor.scenarioName->Set("TEST1");
            SetEdit("ScenarioCreateWidthEdit", "40");
            SetEdit("ScenarioCreateHeightEdit", "30");
        })
        .Click("ScenarioCreateOk")
        .Do([] {}, 3)
        .Do([&] { createdOk = FrameMatches(CREATED, "edit_created.pcx"); })
        .Do([&] {
            // The panel at the reader's map stage, as a load shows it.
            MeMenuFile::ShowWaitPanel(17, "ScenarioLoading", "Loading Scenario", "Loading Demo .. Please Wait.");
            for (const char* text : {"Loading ..", "Loading .. Version", "Loading .. Terrain", "ovleff.txt",
                                     "animate.txt", "damage.txt", "weapon.txt", "units.txt", "overlay.txt",
                                     "build.txt", "general.txt", "Loading .. Map"})
                MeMenuFile::LoadProgress(text);
            waitingOk = FrameMatches(WAITING, "edit_waiting.pcx");
            MeMenuFile::CloseWaitPanel();
            g_MeEditor.desktop->Repaint(nullptr);
        })
        .Do([] { Crt_Srand(1); })
        .Chord(SC_LALT, 19)
        .Chord(0, 19)
        .Click("AutoRidge")
        .Click("Stats")
        .Click("TechLevel")
        .Type(SC_BACKSPACE, 0)
        .Type(SC_BACKSPACE, 0)
        .Type(8, '7')
        .Type(SC_RETURN, '\r')
        .Do([] {}, 3)
        .Do([&] {
            statsOk = FrameMatches(STATS, "edit_stats.pcx");
            editorCrc = TerrainCrc();
        })
        .Click("File")
        .Click("Save")
        .Click("Quit");
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_FALSE(s.overran);
    EXPECT_TRUE(steps.done());
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_TRUE(createdOk);
    EXPECT_TRUE(waitingOk);
    EXPECT_TRUE(statsOk);
    // Read back as a game would read it.
    g_TechLevel = 10;
    Game_SetScenarioName("TEST1");
    InitCommonGameSystems();
    Scenario_Load(nullptr);
    EXPECT_EQ(mapsizex, 40);
    EXPECT_EQ(mapsizey, 30);
    EXPECT_EQ(g_TechLevel, 7);
    EXPECT_EQ(TerrainCrc(), editorCrc);
    CloseCommonGameSystems();
}

TEST_F(EditorVisit, TheSavedDemoLaunchesAndIsPlayedToItsEnd)
{
    QvPassScript s(3400);
    Steps steps(s);
    bool inGame = false;
    steps.every = [&] { inGame |= g_GameState == GS_INGAME; };
    steps.Click("ScenarioList", 10, 4).Click("Load").Click("Save").Click("Launch").Wait(50, 3000);
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_TRUE(steps.done());
    EXPECT_TRUE(inGame);
    EXPECT_STRCASEEQ(g_ScenarioName, "DEMO");
    // As the demo plays when the editor never touched it.
    EXPECT_NE(log.text().find("Team 1 won (ie. You lost)"), std::string::npos);
    EXPECT_EQ(g_UpdateCount, 2704u);
}
