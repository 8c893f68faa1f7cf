// A map maker's work is never lost: every way out of the scenario stops when
// its save fails, a close request asks first, a broken folder is reported
// and the editor stays, and what the scenario file keeps counts as a change.
#include <gtest/gtest.h>

#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/mefile.h"
#include "editorfixture.h"
#include "editorvisit.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "map/region.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "rules/endcond.h"
#include "support/world.h"
#include "units/orders.h"
#include "units/team.h"
#include "widgets/qidesktop.h"
#include "widgets/qiitem.h"
#include "widgets/qilist.h"
#include "widgets/qimenu.h"
#include "widgets/qistatic.h"

namespace fs = std::filesystem;

namespace {

enum { SCAN_N = 49, SCAN_O = 24, SCAN_T = 20, SCAN_S = 31 };
// A load flips once a stage, and each flip is a pass of the script: the
// step after a load waits these out.
enum { LOADPASSES = 40 };

class EditorKeepsWork : public EditorVisit {
protected:
    MeEditor& me = g_MeEditor;
    std::string Folder(const std::string& name) const { return home.file("scenario/SINGLE/" + name); }
    // A copy of the demo under another name.
    void Copy(const std::string& name) const { fs::copy(Folder("DEMO"), Folder(name)); }
    std::string Read(const std::string& name, const char* file) const
    {
        std::string s;
        Fs_ReadAll((Folder(name) + "/" + file).c_str(), &s);
        return s;
    }
    void Write(const std::string& name, const char* file, const std::string& s) const
    {
        home.write("scenario/SINGLE/" + name + "/" + file, s);
    }
    // The editor's loop goes on with the demo open and its edit unsaved.
    void ExpectStillEditing(const char* row, int credits)
    {
        EXPECT_EQ(g_GameState, GS_EDITOR) << row;
        ASSERT_NE(me.desktop, nullptr) << row;
        EXPECT_TRUE(me.desktop->dflags & QID_RUNNING) << row;
        EXPECT_TRUE(me.flags & MEF_OPEN) << row;
        EXPECT_STRCASEEQ(g_ScenarioName, "DEMO") << row;
        EXPECT_EQ(teamdata[1].credits, credits) << row;
        EXPECT_EQ(MeMenuFile::IsModified(), 1) << row;
    }
    static void Close(QvPassScript& s)
    {
        s.Input([] {
            QvPass close;
            close.quit = true;
            return std::vector<QvPass>{close, QvPass{}};
        });
    }
    void Run(QvPassScript& s)
    {
        g_GameState = GS_EDITOR;
        Game_Main();
        EXPECT_FALSE(s.overran);
        EXPECT_TRUE(s.done());
    }
    // Every file of a folder by name, with its bytes.
    std::map<std::string, std::string> Files(const std::string& name) const
    {
        std::map<std::string, std::string> files;
        for (const fs::directory_entry& e : fs::directory_iterator(Folder(name)))
            Fs_ReadAll(e.path().c_str(), &files[e.path().filename().string()]);
        return files;
    }
    // The File layer's Load and Save of the scenario the name text names.
    static void LoadAndSave(QvPassScript& s, const char* load, const char* save)
    {
        s.ClickOn("ScenarioFiles").Do([=] { g_MeEditor.scenarioName->Set(load); }).ClickOn("Load").Pause(20, LOADPASSES);
        s.ClickOn("ScenarioFiles").Do([=] { g_MeEditor.scenarioName->Set(save); }).ClickOn("Save");
    }
    // The scenario played update by update to update bound, as a game
    // started on it plays, with the state's digest after each update.
    std::vector<uint64_t> Play(const char* name, uint32_t bound) const
    {
        std::vector<uint64_t> digests;
        Game_ResetState();
        Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName(name);
        InitCommonGameSystems();
        InitGameSpecifics();
        g_GameState = GS_INGAME;
        while (g_GameState == GS_INGAME && g_UpdateCount < bound) {
            Game_Update();
            Orders_AfterUpdate();
            digests.push_back(QvDigest_State());
        }
        CloseGameSpecifics();
        CloseCommonGameSystems();
        return digests;
    }
};

} // namespace

// Every leave and replace asks to save; the save fails (a folder stands
// where the scenario file goes): each stays in the editor with the edit.
TEST_F(EditorKeepsWork, EveryLeaveAndReplaceStaysWhenItsSaveFails)
{
    Copy("OTHER");
    QvPassScript s(4000);
    VisitPace(s);
    const int credits = 2345;
    struct Row {
        const char* name;
        std::function<void(QvPassScript&)> act;
    };
    const std::vector<Row> rows = {
        {"Quit", [](QvPassScript& t) { t.ClickOn("Quit"); }},
        {"Menu", [](QvPassScript& t) { t.ClickOn("Menu"); }},
        {"Launch", [](QvPassScript& t) { t.ClickOn("Launch"); }},
        {"Load", [this](QvPassScript& t) { t.Do([this] { me.scenarioName->Set("Other"); }).ClickOn("Load"); }},
        {"Create", [](QvPassScript& t) { t.ClickOn("Create"); }},
        {"N", [](QvPassScript& t) { t.Chord(0, SCAN_N); }},
        {"Ctrl+O", [this](QvPassScript& t) { t.Do([this] { me.scenarioName->Set("Other"); }).Chord(SC_LCTRL, SCAN_O); }},
        {"Ctrl+Q", [](QvPassScript& t) { t.Chord(SC_LCTRL, SC_Q); }},
        {"Shift+Q", [](QvPassScript& t) { t.Chord(SC_LSHIFT, SC_Q); }},
        {"Alt+Q", [](QvPassScript& t) { t.Chord(SC_LALT, SC_Q); }},
        {"the window's close", [](QvPassScript& t) { Close(t); }},
    };
    size_t checked = 0;
    s.ClickOn("Load").Pause(20, LOADPASSES).Do([&] {
        teamdata[1].credits = credits;
        fs::remove(Folder("DEMO") + "/QUORVEX.scn");
        fs::create_directories(Folder("DEMO") + "/QUORVEX.scn/keep");
    });
    for (const Row& row : rows) {
        row.act(s);
        s.ClickOn("QueryScenarioSaveOk").ClickOn("ErrScenarioWriteOk");
        s.Do([&, name = row.name] {
            EXPECT_EQ(me.desktop->FindByName("ErrScenarioWrite"), nullptr) << name;
            ExpectStillEditing(name, credits);
            checked++;
        });
    }
    // Mended, the edit is kept by the last leave's save.
    const std::string scn = Read("DEMO", "QUORVEX.scn");
    s.Do([&] {
        fs::remove_all(Folder("DEMO") + "/QUORVEX.scn");
        Write("DEMO", "QUORVEX.scn", scn);
    })
        .Chord(SC_LALT, SC_Q)
        .ClickOn("QueryScenarioSaveOk");
    Run(s);
    EXPECT_EQ(checked, rows.size());
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_NE(Read("DEMO", "QUORVEX.scn").find("SetCredit(2345)"), std::string::npos);
}

// A box over the map with the placing tool armed and the pointer on the map:
// the tool ends its click as the box takes the pointer and repaints the
// desktop, which drew its own picture in the map's place. The map stays as
// it was around the box (a close's question, a failing Ctrl+S's error).
TEST_F(EditorKeepsWork, RegressionABoxOverAnEditedMapBlankedTheMap)
{
    QvPassScript s(2000);
    VisitPace(s);
    const std::pair<const char*, std::function<void(QvPassScript&)>> rows[] = {
        {"QueryScenarioSave", [](QvPassScript& t) { Close(t); }},
        {"ErrScenarioWrite", [](QvPassScript& t) { t.Chord(SC_LCTRL, SCAN_S); }}};
    const BITMAP* bb = nullptr;
    std::string before;
    size_t checked = 0;
    s.ClickOn("Load").Pause(20, LOADPASSES).Do([&] {
        teamdata[1].credits = 2468;
        fs::remove(Folder("DEMO") + "/QUORVEX.scn");
        fs::create_directories(Folder("DEMO") + "/QUORVEX.scn/keep");
    });
    s.ClickOn("AddUnit").ClickOn("UnitScroller", 30, 25);
    for (const auto& row : rows) {
        s.Input([] { return std::vector<QvPass>{QvMove(200, 300), QvPass{}}; }).Pause(20, 3).Do([&] {
            bb = Backbuf_Lock();
            before.assign((const char*)bb->data, (size_t)bb->x_size * bb->y_size);
        });
        row.second(s);
        s.Pause(20, 3).Do([&, box = row.first] {
            const QIWidget* b = me.desktop->FindByName(box);
            ASSERT_NE(b, nullptr) << box;
            for (int y = MEBIGMAP_Y; y < MEBIGMAP_Y + MEBIGMAP_SIDE; y++)
                for (int x = MEBIGMAP_X; x < MEBIGMAP_X + MEBIGMAP_SIDE; x++)
                    // The box's frame takes its right and bottom corners too.
                    if (x < b->x || x > b->x + b->w || y < b->y || y > b->y + b->h) {
                        ASSERT_EQ(bb->data[y * bb->x_size + x], (uint8_t)before[y * bb->x_size + x])
                            << box << " at " << x << "," << y;
                    }
            checked++;
        });
        if (!strcmp(row.first, "QueryScenarioSave")) s.ClickOn("QueryScenarioSaveOk");
        s.ClickOn("ErrScenarioWriteOk");
    }
    s.Chord(SC_LALT, SC_Q).ClickOn("QueryScenarioSaveCancel");
    Run(s);
    EXPECT_EQ(checked, 2u);
}

// The window's close (or an interrupt) with a changed scenario asks as Alt+Q
// does: Ok saves and leaves. Further closes while it asks (a double click
// on the close button, Ctrl+C twice) leave the question up: Ok still saves.
TEST_F(EditorKeepsWork, RegressionTwoCloseRequestsEndedTheEditorWithoutSaving)
{
    for (int second = 0; second < 3; second++) {
        SCOPED_TRACE(second);
        QvPassScript s(600);
        VisitPace(s);
        bool asked = false, stillAsking = false;
        s.onPass = [&](int) {
            if (asked || !me.desktop || !me.desktop->FindByName("QueryScenarioSave")) return;
            asked = true;
            if (second) Plat_PostQuit();
        };
        s.ClickOn("Load").Pause(20, LOADPASSES).Do([&] { teamdata[1].credits = 3000 + second; });
        Close(s);
        // 50 ms and 300 ms after the question came up, once more.
        if (second) s.Pause(50, second == 1 ? 1 : 6).Input([] {
            QvPass close;
            close.quit = true;
            return std::vector<QvPass>{close, QvPass{}};
        });
        s.Pause(20, 3).Do([&] { stillAsking = me.desktop && me.desktop->FindByName("QueryScenarioSave"); });
        s.ClickOn("QueryScenarioSaveOk");
        g_GameState = GS_EDITOR;
        Game_Main();
        EXPECT_FALSE(s.overran);
        EXPECT_TRUE(asked);
        EXPECT_TRUE(stillAsking);
        EXPECT_EQ(g_GameState, GS_QUIT);
        EXPECT_NE(Read("DEMO", "QUORVEX.scn").find("SetCredit(300" + std::to_string(second) + ")"), std::string::npos);
        g_QuitRequested = 0;
    }
}

// A modal box owns the keyboard: N pressed in the save question opens no
// further question or Create dialog, and Ctrl+S under the delete question
// saves nothing.
TEST_F(EditorKeepsWork, RegressionEditorKeysActedUnderABox)
{
    QvPassScript s(800);
    VisitPace(s);
    int mostBoxes = 0;
    s.onPass = [&](int) {
        if (!me.backdrop) return;
        int boxes = 0;
        for (QIWidget* w = me.backdrop->FirstChild(); w; w = w->Next())
            boxes += !strcasecmp(w->name.c_str(), "QueryScenarioSave") || !strcasecmp(w->name.c_str(), "ScenarioCreate") ||
                     !strcasecmp(w->name.c_str(), "ScenarioQueryDelete");
        mostBoxes = std::max(mostBoxes, boxes);
    };
    std::string scn;
    s.ClickOn("Load").Pause(20, LOADPASSES).Do([&] {
        teamdata[1].credits = 3333;
        scn = Read("DEMO", "QUORVEX.scn");
    });
    s.Chord(0, SCAN_N).Pause(20, 3).Chord(0, SCAN_N).Chord(0, SCAN_N).ClickOn("QueryScenarioSaveCancel");
    s.ClickOn("ScenarioCreateCancel");
    s.ClickOn("FileDelete").Chord(SC_LCTRL, SCAN_S).Pause(20, 3).ClickOn("ScenarioQueryDeleteCancel");
    s.Do([&] {
        EXPECT_EQ(Read("DEMO", "QUORVEX.scn"), scn);
        EXPECT_EQ(MeMenuFile::IsModified(), 1);
    });
    s.Chord(SC_LALT, SC_Q).ClickOn("QueryScenarioSaveCancel");
    Run(s);
    EXPECT_EQ(mostBoxes, 1);
    EXPECT_EQ(g_GameState, GS_QUIT);
}

// Six broken folders loaded from the File layer: each an error box with the
// reader's text, the editor open (without a scenario) and the folder still
// listed; the demo loads whole afterwards.
TEST_F(EditorKeepsWork, ABrokenFolderIsAnErrorBoxAndTheEditorStays)
{
    const std::string map = Read("DEMO", "QUORVEX.map"), scn = Read("DEMO", "QUORVEX.scn");
    ASSERT_GT(map.size(), 64u);
    struct Broken {
        const char* folder;
        const char* why; // a part of the error box's text
        std::function<void(void)> make;
    };
    auto mapWith = [&](size_t at, char byte) {
        std::string m = map;
        m[at] = byte;
        return m;
    };
    auto scnWith = [&](const std::string& from, const std::string& to) {
        std::string t = scn;
        const size_t at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) t.replace(at, from.size(), to);
        return t;
    };
    const std::vector<Broken> broken = {
        {"CUTMAP", "map file [QUORVEX.map] at offset 14344: the file ends inside element", [&] { Write("CUTMAP", "QUORVEX.map", map.substr(0, map.size() / 2)); }},
        {"NOMAP", "map file [QUORVEX.map] cannot be opened", [&] { fs::remove(Folder("NOMAP") + "/QUORVEX.map"); }},
        {"WIDE", "at offset 8: expected a width of 2 .. 512", [&] { Write("WIDE", "QUORVEX.map", mapWith(9, (char)0xEA).replace(8, 1, 1, (char)0x60)); }},
        {"RESERVED", "at offset 18: element (0,0): variation bits 5..7 set", [&] { Write("RESERVED", "QUORVEX.map", mapWith(16 + 2, (char)0xE0)); }},
        {"OFFMAP", ": QUORVEX.scn line 43: Unit 1 at (800, 10)", [&] { Write("OFFMAP", "QUORVEX.scn", scnWith("PutUnitAt(1 DemoTank 8 10)", "PutUnitAt(1 DemoTank 800 10)")); }},
        {"GARBAGE", "QUORVEX.scn", [&] { Write("GARBAGE", "QUORVEX.scn", std::string("\x01\x7f{{ SetTeam(((\n\xff", 16)); }},
    };
    for (const Broken& b : broken) {
        Copy(b.folder);
        b.make();
    }
    QvPassScript s(4000);
    VisitPace(s);
    size_t checked = 0;
    s.ClickOn("Load").Pause(20, LOADPASSES);
    for (const Broken& b : broken) {
        // A click elsewhere first: two clicks on one spot are not two clicks.
        s.ClickOn("ScenarioFiles")
            .Do([&] { me.scenarioName->Set(b.folder); })
            .ClickOn("Load")
            .Pause(20, LOADPASSES)
            .Do([&] {
                SCOPED_TRACE(b.folder);
                QIWidget* text = me.desktop->FindByName("ErrScenarioLoad");
                const QIStatic* shown = nullptr;
                for (QIWidget* w = text ? text->FirstChild() : nullptr; w && !shown; w = w->Next())
                    shown = dynamic_cast<const QIStatic*>(w);
                ASSERT_NE(shown, nullptr);
                EXPECT_NE(std::string(shown->text.c_str()).find(b.why), std::string::npos) << shown->text.c_str();
                EXPECT_EQ(g_GameState, GS_EDITOR);
                EXPECT_TRUE(me.desktop->dflags & QID_RUNNING);
                EXPECT_FALSE(me.flags & MEF_OPEN);
                bool listed = false;
                for (int i = 0; me.scenarioList->ItemAt(i); i++)
                    listed |= strcasecmp(static_cast<QITextItem*>(me.scenarioList->ItemAt(i))->text.c_str(),
                                         b.folder) == 0;
                EXPECT_TRUE(listed);
                checked++;
            })
            .ClickOn("ErrScenarioLoadOk");
    }
    s.ClickOn("ScenarioFiles").Do([&] { me.scenarioName->Set("DEMO"); }).ClickOn("Load").Pause(20, LOADPASSES).Do([&] {
        EXPECT_TRUE(me.flags & MEF_OPEN);
        EXPECT_EQ(teamdata[0].credits, 2000);
    });
    s.Chord(SC_LALT, SC_Q);
    Run(s);
    EXPECT_EQ(checked, broken.size());
    EXPECT_EQ(g_GameState, GS_QUIT);
}

// After a load every relation row shows its team's relation, also where it
// is enemy, the rows' first value.
TEST_F(EditorKeepsWork, EveryRelationRowShowsTheLoadedRelation)
{
    Copy("ENEMIES");
    std::string scn = Read("ENEMIES", "QUORVEX.scn");
    const size_t at = scn.find("SetAlliance(2 0 1 1 1 1 1 1)");
    ASSERT_NE(at, std::string::npos);
    scn.replace(at, 28, "SetAlliance(2 0 0 0 0 0 0 0)");
    Write("ENEMIES", "QUORVEX.scn", scn);
    QvPassScript s(600);
    VisitPace(s);
    int rows = 0;
    s.Do([&] { me.scenarioName->Set("Enemies"); }).ClickOn("Load").Pause(20, LOADPASSES).Do([&] {
        for (int i = 0; i < MEEDITOR_RELTEAMS; i++) {
            QIMenu* menu = dynamic_cast<QIMenu*>(me.teams[i].relationWidget);
            ASSERT_NE(menu, nullptr);
            const int want = i == 0 ? 2 : 0;
            EXPECT_EQ(me.teams[i].relation, want) << i;
            QIWidget* shown = menu->FirstChild();
            for (int c = 0; c < want && shown; c++) shown = shown->Next();
            EXPECT_EQ(menu->current, shown) << "row " << i;
            rows++;
        }
    });
    s.Chord(SC_LALT, SC_Q);
    Run(s);
    EXPECT_EQ(rows, MEEDITOR_RELTEAMS);
}

// The tile set (T) and the tech level are written by Save: changing either
// alone asks on Quit.
TEST_F(EditorKeepsWork, ATileSetOrTechLevelChangeAsksOnQuit)
{
    for (int tech = 0; tech < 2; tech++) {
        SCOPED_TRACE(tech ? "tech level" : "tile set");
        QvPassScript s(800);
        VisitPace(s);
        bool asked = false;
        s.ClickOn("Load").Pause(20, LOADPASSES);
        if (tech)
            s.ClickOn("Stats")
                .ClickOn("TechLevel")
                .TypeKey(SC_BACKSPACE, 0)
                .TypeKey(SC_BACKSPACE, 0)
                .TypeKey(8, '7')
                .TypeKey(SC_RETURN, '\r')
                .Do([&] {
                    // "Modified?" says so at once (it once kept "No" until redrawn).
                    auto* shown = dynamic_cast<QICallbackText*>(me.desktop->FindByName("ScenarioChangedTotal"));
                    ASSERT_NE(shown, nullptr);
                    EXPECT_STREQ(shown->text.c_str(), "Yes");
                });
        else
            s.Chord(0, SCAN_T);
        s.onPass = [&](int) { asked |= me.desktop && me.desktop->FindByName("QueryScenarioSave"); };
        s.ClickOn("File").ClickOn("Quit").ClickOn("QueryScenarioSaveCancel");
        Run(s);
        EXPECT_TRUE(asked);
        EXPECT_EQ(g_GameState, GS_QUIT);
        g_TechLevel = 10;
    }
}

// The file list with its second row picked draws that row as the picked one
// (the frame's CRC against its recorded value).
TEST_F(EditorKeepsWork, TheFileListDrawsThePickedSecondRowPicked)
{
    enum : uint32_t { PICKED = 0xA3741A2Bu };
    Copy("OTHER");
    QvPassScript s(400);
    VisitPace(s);
    bool frameOk = false;
    s.ClickOn("ScenarioList", 10, 12)
        .Input([] { return std::vector<QvPass>{QvMove(200, 200), QvPass{}}; })
        .Do([] {}, 3)
        .Do([&] {
            EXPECT_STREQ(me.scenarioName->c_str(), "Other");
            EXPECT_EQ(me.scenarioList->current, 1);
            frameOk = FrameMatches(PICKED, "file_list_picked.pcx");
        })
        .Chord(SC_LALT, SC_Q);
    Run(s);
    EXPECT_TRUE(frameOk);
}

// Create refuses an empty name with its own text, and the desktop builds the
// statistics layer after the player and end-condition layers.
TEST_F(EditorKeepsWork, CreateRefusesAnEmptyNameAndTheStatisticsLayerIsBuiltLast)
{
    QvPassScript s(400);
    VisitPace(s);
    bool refused = false;
    std::vector<std::string> layers;
    s.Do([&] {
        for (QIWidget* w = me.backdrop->FirstChild(); w; w = w->Next()) layers.push_back(w->name.c_str());
    });
    // The scenario list as drawn: after the error box it is drawn with its
    // rows at once, not empty until the pointer passes over it.
    auto listPixels = [&] {
        std::string p;
        const BITMAP* bb = Backbuf_Lock();
        const QIWidget* l = me.scenarioList;
        for (int y = l->y; y < l->y + l->h; y++) p.append((const char*)bb->data + (size_t)y * bb->x_size + l->x, (size_t)l->w);
        return p;
    };
    std::string before, after;
    s.Do([&] { before = listPixels(); });
    s.ClickOn("Create")
        .Do([&] { me.scenarioName->Set(""); })
        .ClickOn("ScenarioCreateOk")
        .ClickOn("ErrScenarioNoNameOk")
        .Do([&] {
            refused = true;
            after = listPixels();
        })
        .Chord(SC_LALT, SC_Q);
    Run(s);
    EXPECT_TRUE(refused);
    EXPECT_TRUE(before == after) << "the scenario list was drawn otherwise after the error box";
    EXPECT_TRUE(fs::exists(Folder("DEMO") + "/QUORVEX.scn"));
    auto at = [&](const char* name) { return std::find(layers.begin(), layers.end(), name) - layers.begin(); };
    EXPECT_GT(at("StatsLayer"), at("PlayerLayer"));
    EXPECT_GT(at("StatsLayer"), at("EndCondLayer"));
}

// The picked row and the name text name one scenario after the list is
// filled again: a delete leaves no row picked, a create picks the new one,
// and Load then loads what is drawn as picked.
TEST_F(EditorKeepsWork, RegressionThePickedRowStayedOnItsPlaceAfterCreateOrDelete)
{
    Copy("OTHER");
    Copy("ZED");
    QvPassScript s(1200);
    VisitPace(s);
    int checked = 0;
    auto agree = [&](const char* after) {
        s.Pause(20, 3).Do([&, after] {
            const QITextItem* row = dynamic_cast<const QITextItem*>(me.scenarioList->ItemAt(me.scenarioList->current));
            if (row) EXPECT_STRCASEEQ(row->text.c_str(), me.scenarioName->c_str()) << after;
            else EXPECT_FALSE(me.ScenarioExists(me.scenarioName->c_str())) << after;
            checked++;
        });
    };
    s.ClickOn("ScenarioList", 10, 12).ClickOn("FileDelete").ClickOn("ScenarioQueryDeleteOk");
    agree("delete");
    s.ClickOn("ScenarioList", 10, 12).ClickOn("Create").Do([&] { me.scenarioName->Set("ANEW"); });
    s.ClickOn("ScenarioCreateOk").Pause(20, LOADPASSES);
    agree("create");
    s.ClickOn("ScenarioFiles").ClickOn("Load").Pause(20, LOADPASSES).Do([&] { EXPECT_STRCASEEQ(g_ScenarioName, "ANEW"); });
    s.Chord(SC_LALT, SC_Q);
    Run(s);
    EXPECT_EQ(checked, 2);
    EXPECT_FALSE(fs::exists(Folder("OTHER")));
}

// Loaded and saved with no edit, a scenario's file comes back byte for byte,
// units and buildings in the order the file gave them.
TEST_F(EditorKeepsWork, RegressionALoadThenSaveReversedEachTeamsUnitsAndBuildings)
{
    QvPassScript s(800);
    VisitPace(s);
    std::vector<std::string> saves;
    for (int i = 0; i < 3; i++) {
        LoadAndSave(s, "DEMO", "DEMO");
        s.Do([&] { saves.push_back(Read("DEMO", "QUORVEX.scn")); });
    }
    s.Chord(SC_LALT, SC_Q);
    Run(s);
    ASSERT_EQ(saves.size(), 3u);
    EXPECT_LT(saves[0].find("PutUnitAt(1 "), saves[0].find("PutUnitAt(2 "));
    EXPECT_LT(saves[0].find("AddBuildingAt(1011 "), saves[0].find("AddBuildingAt(1012 "));
    EXPECT_EQ(saves[1], saves[0]);
    EXPECT_EQ(saves[2], saves[0]);
    EXPECT_EQ(saves[0].find('\\'), std::string::npos) << "the header names the file with '/' alone";
}

// Saved under a new name, the scenario takes its folder's other files (its
// own end condition, state machine and briefing) along: the copy loads and
// plays the game of the original saved in its own folder. Saved over
// another scenario, that folder becomes the saved scenario whole: a file the
// source lacks goes (a stale state machine would shadow the shared one),
// its subfolder stays, named in the log, as the source's subfolder left out
// of a copy is. A file the copy can't read is named in the box and the log.
TEST_F(EditorKeepsWork, RegressionASaveUnderANewNameLeftTheFoldersOtherFilesBehind)
{
    Copy("OTHER");
    Write("OTHER", "Def_00_0.FSM", Read("DEMO", "Def_01_0.FSM"));
    fs::create_directories(Folder("OTHER") + "/kept");
    fs::create_directories(Folder("DEMO") + "/notes");
    QvPassScript s(600);
    VisitPace(s);
    std::string unreadBox;
    LoadAndSave(s, "DEMO", "DEMO");
    s.ClickOn("ScenarioFiles").Do([&] { me.scenarioName->Set("COPY"); }).ClickOn("Save");
    s.ClickOn("ScenarioFiles").Do([&] { me.scenarioName->Set("OTHER"); }).ClickOn("Save");
    // A file no read gets through, even as root.
    s.ClickOn("QueryScenarioOverwriteOk").Pause(20, 3).Do([&] {
        fs::create_symlink("/proc/self/mem", Folder("OTHER") + "/LOCKED.END");
        me.scenarioName->Set("UNREAD");
    });
    s.ClickOn("Save");
    s.Do([&] {
        const QIWidget* box = me.desktop->FindByName("ErrScenarioCopy");
        if (const QIStatic* text = box ? dynamic_cast<const QIStatic*>(box->FirstChild()) : nullptr)
            unreadBox = text->text.c_str();
    }).ClickOn("ErrScenarioCopyOk").Chord(SC_LALT, SC_Q);
    Run(s);
    EXPECT_NE(unreadBox.find("UNREAD could not be written: LOCKED.END cannot be read"), std::string::npos) << unreadBox;
    EXPECT_NE(log.text().find(Folder("OTHER") + "/LOCKED.END] cannot be read"), std::string::npos);
    EXPECT_NE(log.text().find("keeps its folder [kept]"), std::string::npos);
    EXPECT_NE(log.text().find("Folder [notes] of scenario folder"), std::string::npos);
    EXPECT_EQ(log.text().find(" names no "), std::string::npos) << "the demo's end condition names its depot";
    EXPECT_TRUE(fs::is_directory(Folder("OTHER") + "/kept"));
    EXPECT_FALSE(fs::exists(Folder("UNREAD")));
    fs::remove(Folder("OTHER") + "/LOCKED.END");
    // The copy's own three files are written; the others come as they are.
    std::map<std::string, std::string> original = Files("DEMO"), copy = Files("COPY"), over = Files("OTHER");
    for (auto* files : {&original, &copy, &over})
        for (const char* own : {"QUORVEX.scn", "QUORVEX.map", "QUORVEX.mm", "notes", "kept"}) files->erase(own);
    ASSERT_EQ(copy, original);
    EXPECT_EQ(over, original);
    ASSERT_EQ(original.size(), 3u);
    const std::vector<uint64_t> played = Play("DEMO", 500);
    const std::vector<uint64_t> copyPlayed = Play("COPY", 500);
    ASSERT_EQ(played.size(), 500u);
    size_t same = 0;
    while (same < played.size() && same < copyPlayed.size() && played[same] == copyPlayed[same]) same++;
    EXPECT_EQ(same, played.size()) << "first differing update " << same;
}

// A save that can't put one of its files in place (a folder stands where it
// goes) leaves the folder as it was and the scenario its own; in its own
// folder and over another scenario.
TEST_F(EditorKeepsWork, RegressionASaveThatFailedHalfWayLeftHalfAScenario)
{
    Copy("OTHER");
    // Taken out by the save over it (the default state machine of the
    // teams without a side would shadow the shared one), and back after the
    // failure.
    Write("OTHER", "Def_00_0.FSM", "x");
    struct Row {
        const char* folder;
        const char* blocked;
    };
    const Row rows[] = {{"DEMO", "QUORVEX.map"}, {"OTHER", "QUORVEX.mm"}};
    QvPassScript s(1200);
    VisitPace(s);
    std::map<std::string, std::string> before[2];
    size_t checked = 0;
    s.ClickOn("Load").Pause(20, LOADPASSES);
    for (size_t i = 0; i < 2; i++) {
        const Row row = rows[i];
        const std::string blocked = Folder(row.folder) + "/" + row.blocked;
        s.Do([&, i, row, blocked] {
            teamdata[1].credits = 4321;
            before[i] = Files(row.folder);
            fs::remove(blocked);
            fs::create_directories(blocked + "/keep");
            me.scenarioName->Set(row.folder);
        });
        s.ClickOn("Save");
        if (i) s.ClickOn("QueryScenarioOverwriteOk");
        s.ClickOn("ErrScenarioWriteOk").Do([&, i, row, blocked] {
            SCOPED_TRACE(row.folder);
            std::map<std::string, std::string> after = Files(row.folder);
            after[row.blocked] = before[i][row.blocked];
            EXPECT_EQ(after, before[i]);
            ExpectStillEditing(row.folder, 4321);
            fs::remove_all(blocked);
            Write(row.folder, row.blocked, before[i][row.blocked]);
            checked++;
        });
    }
    s.Do([&] { me.scenarioName->Set("DEMO"); }).ClickOn("Save").Chord(SC_LALT, SC_Q);
    Run(s);
    EXPECT_EQ(checked, 2u);
    EXPECT_NE(Read("DEMO", "QUORVEX.scn").find("SetCredit(4321)"), std::string::npos);
}

// A copy of the demo made before its end condition moved into the demo's
// folders, and a map whose maker picked "Demo0.end" from the list then:
// neither has a copy of its own. Both open in the editor, and a game started
// on them plays the demo's.
TEST_F(EditorKeepsWork, RegressionADemoCopyNamingTheSharedEndConditionNoLongerOpened)
{
    for (const char* name : {"MINE", "PICKED"}) {
        Copy(name);
        fs::remove(Folder(name) + "/DEMO0.END");
    }
    std::string scn = Read("PICKED", "QUORVEX.scn");
    ASSERT_NE(scn.find("SetEnd(DEMO0.END)"), std::string::npos);
    Write("PICKED", "QUORVEX.scn", scn.replace(scn.find("SetEnd(DEMO0.END)"), 17, "SetEnd(Demo0.end)"));
    QvPassScript s(600);
    VisitPace(s);
    int opened = 0;
    for (const char* name : {"MINE", "PICKED"})
        s.ClickOn("ScenarioFiles")
            .Do([this, name] { me.scenarioName->Set(name); })
            .ClickOn("Load")
            .Pause(20, LOADPASSES)
            .Do([&, name] {
                EXPECT_EQ(me.desktop->FindByName("ErrScenarioLoad"), nullptr) << name;
                EXPECT_TRUE(me.flags & MEF_OPEN) << name;
                EXPECT_STRCASEEQ(g_ScenarioName, name);
                EXPECT_STRCASEEQ(Endcond_GetEndCondFile(0), "DEMO0.END");
                opened++;
            });
    s.Chord(SC_LALT, SC_Q);
    Run(s);
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(log.text().find("not loaded"), std::string::npos) << log.text();
    const std::vector<uint64_t> played = Play("DEMO", 300);
    ASSERT_EQ(played.size(), 300u);
    EXPECT_EQ(Play("MINE", 300), played);
    EXPECT_EQ(Play("PICKED", 300), played);
}

// Saved over another scenario, the old one's files that the saved one would
// read go (here a stale state machine and the end condition it now finds
// shared); the map maker's notes and an end condition nothing names stay,
// each named in a warning. A failed commit said of those files that they
// were taken out and not which step failed; it now names the step and the
// file, takes nothing out and puts back what it had.
TEST_F(EditorKeepsWork, RegressionASaveOverAnotherScenarioDeletedTheMakersOwnFiles)
{
    Copy("SRC");
    fs::remove(Folder("SRC") + "/Def_01_0.FSM");
    fs::remove(Folder("SRC") + "/DEMO0.END");
    Copy("OTHER");
    Write("OTHER", "notes.txt", "mine");
    Write("OTHER", "OLD0.END", "DefineEndCondTree(0) { }\n");
    Write("OTHER", "Def_01_0.FSM", "stale");
    const std::string blocked = Folder("OTHER") + "/QUORVEX.mm";
    std::map<std::string, std::string> before;
    std::string failed;
    QvPassScript s(900);
    VisitPace(s);
    s.ClickOn("ScenarioFiles").Do([&] { me.scenarioName->Set("SRC"); }).ClickOn("Load").Pause(20, LOADPASSES);
    s.Do([&] {
        before = Files("OTHER");
        fs::remove(blocked);
        fs::create_directories(blocked + "/keep");
        log.clear();
        me.scenarioName->Set("OTHER");
    });
    s.ClickOn("Save").ClickOn("QueryScenarioOverwriteOk").ClickOn("ErrScenarioWriteOk").Do([&] {
        failed = log.text();
        std::map<std::string, std::string> after = Files("OTHER");
        after["QUORVEX.mm"] = before["QUORVEX.mm"];
        EXPECT_EQ(after, before);
        fs::remove_all(blocked);
        Write("OTHER", "QUORVEX.mm", before["QUORVEX.mm"]);
        log.clear();
        me.scenarioName->Set("OTHER");
    });
    s.ClickOn("Save").ClickOn("QueryScenarioOverwriteOk").Pause(20, 3).Chord(SC_LALT, SC_Q);
    Run(s);
    EXPECT_NE(failed.find("[" + blocked + "] could not be replaced: it is a directory"), std::string::npos) << failed;
    EXPECT_EQ(failed.find("taken out"), std::string::npos) << failed;
    const std::map<std::string, std::string> over = Files("OTHER");
    std::vector<std::string> names;
    for (const auto& [name, bytes] : over) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"OLD0.END", "QUORVEX.map", "QUORVEX.mm", "QUORVEX.scn", "notes.txt",
                                               "quorvex.brf"}));
    EXPECT_EQ(over.count("notes.txt") ? over.at("notes.txt") : "", "mine");
    const std::string text = log.text();
    for (const char* gone : {"[Def_01_0.FSM], which the saved scenario would read, is taken out",
                             "[DEMO0.END], which the saved scenario would read, is taken out",
                             "keeps [notes.txt]: the saved scenario doesn't read it",
                             "keeps [OLD0.END]: the saved scenario doesn't read it"})
        EXPECT_NE(text.find(gone), std::string::npos) << gone << "\n" << text;
}

// Saved over another scenario, a file of the source folder that the saved
// scenario doesn't read never replaces the target's file of that name (in
// any letter case): the target's stays, named with the others kept. Files
// the saved scenario reads are replaced, and files the target lacks come
// along.
TEST_F(EditorKeepsWork, RegressionASaveOverAnotherScenarioReplacedTheMakersOwnFileOfTheSameName)
{
    struct Row {
        const char *source, *sourceBytes; // in SRC (null bytes: the demo's own)
        const char *target, *targetBytes; // in OTHER before the save (null: none)
        const char* after;                // OTHER's bytes under the target's name (or the source's)
        bool named;                       // a "keeps" warning names it
    };
    const Row rows[] = {
        {"notes.txt", "play1 notes", "notes.txt", "other notes", "other notes", true},
        {"Ideas.txt", "play1 ideas", "IDEAS.TXT", "other ideas", "other ideas", true},
        {"DEMO0.END", nullptr, "DEMO0.END", "stale", nullptr, false},
        {"plan.txt", "play1 plan", nullptr, nullptr, "play1 plan", false},
    };
    Copy("SRC");
    Copy("OTHER");
    for (const Row& r : rows) {
        if (r.sourceBytes) Write("SRC", r.source, r.sourceBytes);
        if (r.target) Write("OTHER", r.target, r.targetBytes);
    }
    QvPassScript s(600);
    VisitPace(s);
    LoadAndSave(s, "SRC", "OTHER");
    s.ClickOn("QueryScenarioOverwriteOk").Pause(20, 3).Chord(SC_LALT, SC_Q);
    Run(s);
    const std::map<std::string, std::string> over = Files("OTHER");
    const std::string text = log.text();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.source);
        const std::string name = r.target ? r.target : r.source;
        const std::string want = r.after ? r.after : Read("SRC", r.source);
        EXPECT_EQ(over.count(name) ? over.at(name) : "(none)", want);
        if (strcmp(r.source, name.c_str()) != 0) {
            EXPECT_EQ(over.count(r.source), 0u) << "a second file beside it";
        }
        const std::string kept = "keeps [" + name + "]: the saved scenario doesn't read it";
        EXPECT_EQ(text.find(kept) != std::string::npos, r.named) << text;
    }
    EXPECT_NE(text.find("keeps [notes.txt]: the saved scenario doesn't read it (the one of [" + Folder("SRC") +
                        "] is not carried over it)"),
              std::string::npos)
        << text;
    EXPECT_EQ(Read("SRC", "notes.txt"), "play1 notes");
}

namespace {

class EditorKeepsWorkRegion : public EditorTest {
protected:
    EditorKeepsWorkRegion() : EditorTest(20, 16) {}
    MeEditor& me = g_MeEditor;
    void TearDown() override
    {
        Region_FreeAll();
        me.tool = &me.plainTool;
        me.regionTool.flags = 0;
        me.regionTool.state = METS_IDLE;
        me.regionTool.previousTool = nullptr;
        EditorTest::TearDown();
    }
};

} // namespace

// NewReg armed, the pointer over the map and off it without a press: no
// region, and the tool stays armed for the band a press starts.
TEST_F(EditorKeepsWorkRegion, ThePointerPassingOverTheMapMakesNoRegion)
{
    View(0, 0, 1);
    me.regionTool.Arm();
    me.tool->PointerEnter();
    me.tool->PointerMove(At(100, 100));
    me.tool->PointerLeave(At(460, 100));
    EXPECT_EQ(Region_Count(), 0);
    EXPECT_EQ(me.tool, &me.regionTool);
    EXPECT_EQ(me.regionTool.state, METS_CLICK);
    me.tool->PointerEnter();
    me.tool->LeftDown(At(48, 80, 1));
    me.tool->PointerMove(At(96, 128, 1));
    me.tool->LeftUp(At(96, 128));
    ASSERT_EQ(Region_Count(), 1);
    EXPECT_EQ(Region_FindByIndex(1)->x1, 48);
    EXPECT_EQ(me.tool, &me.plainTool);
}

