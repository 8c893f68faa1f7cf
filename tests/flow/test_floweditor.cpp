// A scenario made in the editor and played from the front end, all through
// the program's frame loop on the headless platform: the editor's desktop
// by clicks and keys, its save, the front end's custom-mission page, the
// game to its end condition. And the editor saving where it can't.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ai/ai.h"
#include "core/crc32.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/mefile.h"
#include "editor/mepickthing.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/region.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "rules/endcond.h"
#include "rules/scenario.h"
#include "support/golden.h"
#include "flow/flowfixture.h"
#include "support/passscript.h"
#include "support/testsupport.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"
#include "widgets/qilist.h"
#include "widgets/qistatic.h"

namespace fs = std::filesystem;

namespace {

enum { SCAN_S = 31 };

IPoint operator+(const IPoint& a, const IPoint& b) { return IPoint(a.x + b.x, a.y + b.y); }

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

// The editor flows' pace: steps a pass of 20 ms apart, a click's passes
// 10 ms apart, a drag's moves 50 ms; the editor's own desktop.
void EditorPace(QvPassScript& s)
{
    s.pace.gap = QvTime(20);
    s.pace.clickMs = 10;
    s.pace.dragMs = 50;
    s.desktop = [] { return static_cast<QIDesktopBase*>(g_MeEditor.desktop); };
    s.Wait(20, 3);
}

// A step of passes of 50 ms until the condition holds, at most limit of them.
std::function<bool()> Holds(QvPassScript& s, std::function<bool(void)> holds, int limit)
{
    auto left = std::make_shared<int>(limit);
    return [&s, holds, left] {
        if (holds() || --*left < 0) return true;
        s.Add(QvTime(50));
        return false;
    };
}

std::vector<QvPass> ClickAt(const QvPassScript& s, const IPoint& p) { return s.ClickPasses(p.x, p.y); }

// A left drag in four moves.
std::vector<QvPass> DragFrom(const QvPassScript& s, const IPoint& a, const IPoint& b)
{
    return s.DragPasses(a.x, a.y, b.x, b.y);
}

IPoint TileCentre(const IPoint& t) { return MeBigMap::TileToScreen(t) + IPoint(12, 12); }

// The tile's top-left corner, where a waypoint or a region's corner goes.
IPoint Vertex(const IPoint& t) { return MeBigMap::WorldToScreen(IPoint(24 * t.x, 24 * t.y)) + IPoint(2, -3); }

// The side panel's pixels in the frame last presented.
std::string Panel(void)
{
    const uint8_t* pixels = nullptr;
    const PAL_RGB* palette = nullptr;
    std::string v;
    if (!PlatHeadless_LastFrame(&pixels, &palette) || !pixels) return v;
    for (int y = 32; y < 332; y++) v.append((const char*)pixels + y * 640 + 448, 192);
    return v;
}

void SetEdit(const char* name, const char* text)
{
    QIEdit* edit = static_cast<QIEdit*>(g_MeEditor.desktop->FindByName(name));
    ASSERT_NE(edit, nullptr) << name;
    snprintf(edit->buffer, (size_t)edit->maxLength + 1, "%s", text);
}

// The text of the box named id, "" when none is up.
std::string BoxText(const char* id)
{
    QIWidget* box = g_MeEditor.desktop ? g_MeEditor.desktop->FindByName(id) : nullptr;
    for (QIWidget* c = box ? box->FirstChild() : nullptr; c; c = c->Next())
        if (QIStatic* s = dynamic_cast<QIStatic*>(c)) return s->text.c_str();
    return "";
}

class FlowEditor : public testing::Test {
protected:
    QvLogCapture log{TLOG_SAVE};
    QvTempDir home{true};
    void SetUp() override
    {
        fs::create_symlink(fs::path(QV_TEST_RUNDIR) / "data", home.file("data"));
        fs::create_directories(home.file("scenario/SINGLE"));
        QvFlow_Start(home.path().c_str());
    }
    void TearDown() override { QvFlow_Close(); }
    // Create's dialog filled in: a new w x h scenario named name, opened.
    static void Create(QvPassScript& d, const char* name, const char* w, const char* h)
    {
        d.ClickOn("Create")
            .Do([=] {
                g_MeEditor.scenarioName->Set(name);
                SetEdit("ScenarioCreateWidthEdit", w);
                SetEdit("ScenarioCreateHeightEdit", h);
            })
            .ClickOn("ScenarioCreateOk")
            .Step(Holds(d, [] { return (g_MeEditor.flags & MEF_OPEN) != 0; }, 200))
            .Pause(20, 4);
    }
    // The picker's item whose type is named type, clicked.
    static void Pick(QvPassScript& d, const char* picker, const char* type)
    {
        d.Step([=, &d] {
            QIList* list = static_cast<QIList*>(g_MeEditor.desktop->FindByName(picker));
            if (!list || list->IsHidden()) return false;
            for (int i = 0; i < list->count; i++) {
                MePickItem* item = static_cast<MePickItem*>(list->ItemAt(i));
                const char* name = nullptr;
                if (auto* u = dynamic_cast<MePickUnit*>(item)) name = u->type->symbolid;
                if (auto* b = dynamic_cast<MePickBuilding*>(item)) name = b->type->name;
                if (name && strcmp(name, type) == 0) {
                    for (const QvPass& p : d.ClickPasses(list->x + 60 * (i % 3) + 30, list->y + 50 * (i / 3) + 25))
                        d.Add(p);
                    return true;
                }
            }
            ADD_FAILURE() << type << " is not in " << picker;
            return true;
        });
    }
    // The file picker's first row taken (the scenario's folder lists first).
    static void PickFirstFile(QvPassScript& d, const char* id)
    {
        const std::string list = std::string(id) + "FileList", ok = std::string(id) + "Ok";
        d.ClickOn(list, 20, 5).ClickOn(ok);
    }
};

// Id, team and tile of each unit or building, by id.
using Placed = std::array<int, 4>;

std::vector<Placed> UnitsNow(void)
{
    std::vector<Placed> v;
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) v.push_back({u->id, u->team, u->tilepos.x, u->tilepos.y});
    std::sort(v.begin(), v.end());
    return v;
}

std::vector<Placed> BuildingsNow(void)
{
    std::vector<Placed> v;
    for (BUILDING* b = g_Buildings; b; b = b->next) v.push_back({b->id, b->team, b->tilex, b->tiley});
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

// The editor makes a 64 x 64 map with a sand stroke, two teams with their
// start positions, tanks and depots, a path for one tank, a region and team
// 0's end condition (a unit of its own in the region); team 1 stands by.
// Saved, then played from the custom-mission page: the tank walks its path
// into the region and team 0 wins.
TEST_F(FlowEditor, AScenarioMadeInTheEditorIsPlayedFromTheFrontEndToItsEndCondition)
{
    QvPassScript s(6000);
    EditorPace(s);
    const IPoint start0(3, 3), start1(15, 15), walkerAt(4, 5), guard0(4, 9), tanks1(15, 13), depot0(3, 12),
        depot1(16, 16);
    const std::vector<IPoint> waypoints = {IPoint(8, 6), IPoint(10, 8)};
    const IPoint regionFrom(9, 7), regionTo(13, 11);
    enum : uint32_t { EDITED = 0x46AE666Fu, GAME = 0xB3CACBF6u };
    // What the editor made, and what the run saw of it.
    REGION region = {};
    std::vector<Placed> units, buildings;
    uint32_t editorCrc = 0, wonAt = 0;
    int sand = 0, walkerId = -1, inGame = 0;
    bool loaded = false, walkerIn = false;
    std::string picked, panel, saved;
    ::testing::AssertionResult editedOk = ::testing::AssertionFailure() << "not looked at",
                               gameOk = ::testing::AssertionFailure() << "not looked at";

    auto tiles = [&s](std::initializer_list<IPoint> list) {
        std::vector<QvPass> v;
        for (const IPoint& t : list)
            for (const QvPass& p : ClickAt(s, TileCentre(t))) v.push_back(p);
        return v;
    };
    // The game has read the saved folder: what the editor placed is there.
    s.onPass = [&](int) {
        // The frame presented before the game's second pass is its first.
        if (g_GameState == GS_INGAME && ++inGame == 2) gameOk = QvLastFrameMatches(GAME, "flow_game.pcx");
        if (g_GameState == GS_INGAME && Game_GetResult().winner >= 0 && !wonAt) {
            wonAt = g_UpdateCount;
            const UNIT* w = Units_IdToUnitPtr(walkerId, 0);
            walkerIn = w && Region_ContainsTile(Region_FindById(region.id), w->tilepos.x, w->tilepos.y);
        }
        if (g_GameState != GS_INGAME || loaded) return;
        loaded = true;
        EXPECT_EQ(mapsizex, 64);
        EXPECT_EQ(mapsizey, 64);
        EXPECT_EQ(TerrainCrc(), editorCrc);
        EXPECT_EQ(UnitsNow(), units);
        EXPECT_EQ(BuildingsNow(), buildings);
        for (int t : {0, 1}) EXPECT_EQ(teamdata[t].type, t == 0 ? TT_HUMAN : TT_COMPUTER) << t;
        EXPECT_EQ(teamdata[0].startpos.x / 24, start0.x);
        EXPECT_EQ(teamdata[1].startpos.y / 24, start1.y);
        const UNIT* w = Units_IdToUnitPtr(walkerId, 0);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->sorder.code, SO_TRAIL);
        EXPECT_EQ(w->sorder.trail.mode, TRAIL_STOP);
        std::vector<std::pair<int, int>> trail, want;
        for (const WAYPOINT* p = w->localtrail->head; p; p = p->next) trail.push_back({p->x, p->y});
        for (const IPoint& p : waypoints) want.push_back({p.x, p.y});
        EXPECT_EQ(trail, want);
        const REGION* r = Region_FindById(region.id);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(std::vector<int>({r->x1, r->y1, r->x2, r->y2}),
                  std::vector<int>({region.x1, region.y1, region.x2, region.y2}));
        EXPECT_STRCASEEQ(Endcond_GetEndCondFile(0), "FLOW.END");
        ASSERT_NE(Endcond_GetTree(0, ENDCOND_END), nullptr);
        EXPECT_STRCASEEQ(AI_GetFsmFilename(1, 0), "STANDBY.FSM");
    };

    Create(s, "FLOW", "64", "64");
    // Terrain: a stroke of sand on the west edge.
    s.ClickOn("Terrain")
        .ClickOn("TextureScroller", 3 * 32 + 16, 16)
        .Input([&s] { return DragFrom(s, TileCentre(IPoint(1, 15)), TileCentre(IPoint(6, 16))); })
        .Do([&] {
            for (int y = 0; y < mapsizey; y++)
                for (int x = 0; x < mapsizex; x++) sand += (MAP_ELEMENT_AT(x, y)->tile & 0xffff) == 0x3333u;
        });
    // Two teams on side 0 (the demo's types are all of it), each with its start.
    s.ClickOn("Player")
        .ClickOn("Plr1")
        .ClickOn("PlrSide0")
        .ClickOn("PlrStartPos")
        .Input([&] { return tiles({start0}); })
        .ClickOn("Plr2")
        .ClickOn("PlrSide0")
        .ClickOn("PlrStartPos")
        .Input([&] { return tiles({start1}); });
    // Tanks and a depot for each.
    s.ClickOn("AddUnit");
    Pick(s, "UnitScroller", "DemoTank");
    s.Input([&] { return tiles({tanks1, tanks1 + IPoint(1, 0)}); }).Chord(0, SC_SPACE).ClickOn("AddBuilding");
    Pick(s, "BuildingScroller", "DemoDepot");
    s.Input([&] { return tiles({depot1}); }).Chord(0, SC_SPACE).ClickOn("Plr1").ClickOn("AddUnit");
    Pick(s, "UnitScroller", "DemoTank");
    s.Input([&] { return tiles({walkerAt, guard0}); }).Chord(0, SC_SPACE).ClickOn("AddBuilding");
    Pick(s, "BuildingScroller", "DemoDepot");
    s.Input([&] { return tiles({depot0}); }).Chord(0, SC_SPACE);
    // The walker's path: selected by a band, two waypoints, stopping at the end.
    s.ClickOn("Paths")
        .Input([&] {
            return DragFrom(s, MeBigMap::TileToScreen(walkerAt) + IPoint(-6, -6), TileCentre(walkerAt) + IPoint(16, 16));
        })
        .Do([&] {
            ASSERT_EQ(g_MeBrushLists[MEBL_SELECTION].count, 1);
            walkerId = static_cast<UNIT*>(g_MeBrushLists[MEBL_SELECTION].head->Thing())->id;
        })
        .ClickOn("PathWpAdd")
        .Input([&] {
            std::vector<QvPass> v;
            for (const IPoint& t : waypoints)
                for (const QvPass& p : ClickAt(s, Vertex(t))) v.push_back(p);
            return v;
        })
        .Chord(0, SC_SPACE)
        .ClickOn("PathDirOnce")
        .ClickOn("PathWpAssign");
    // The region, then the end-condition file naming it, picked for team 0;
    // team 1's state machine stands by.
    s.ClickOn("AI")
        .ClickOn("RegionNew")
        .Input([&] { return DragFrom(s, Vertex(regionFrom), Vertex(regionTo)); })
        .Do([&] {
            ASSERT_EQ(Region_Count(), 1);
            region = *Region_FindByIndex(1);
            char text[400];
            snprintf(text, sizeof text,
                     "DefineEndCondTree(0)\n{\n    Description(\"Bring a unit into the region.\")\n"
                     "    DefineCondState()\n    {\n        DefineCondition(0 0 0 0 \"Region reached\")\n"
                     "        {\n            CritInRegion(%u)\n        }\n    }\n}\n",
                     (unsigned)region.id);
            home.write("scenario/SINGLE/FLOW/FLOW.END", text);
            home.write("scenario/SINGLE/FLOW/STANDBY.FSM",
                       "DefineAICondTree()\n{\n    Description(\"Stand by.\")\n    DefineCondState()\n    {\n    }\n}\n");
        })
        .ClickOn("Plr1")
        .ClickOn("EndCondSelect");
    PickFirstFile(s, "EndCondSelect");
    s.ClickOn("Plr2").ClickOn("FSMSelect");
    PickFirstFile(s, "FSMSelect");
    // The picked name in its field, the panel as a full repaint draws it
    // (the description's rows went over the old ones' tails).
    s.Pause(20, 2)
        .Do([&] {
            picked = static_cast<QIEdit*>(g_MeEditor.desktop->FindByName("FSMName"))->buffer;
            panel = Panel();
            g_MeEditor.desktop->Repaint(nullptr);
        })
        .Pause(20, 2)
        .Do([&] { EXPECT_TRUE(Panel() == panel) << "the panel after the pick differs from its repaint"; });
    s.Do([&] {
         editedOk = QvLastFrameMatches(EDITED, "flow_edited.pcx");
         editorCrc = TerrainCrc();
         units = UnitsNow();
         buildings = BuildingsNow();
     })
        .Chord(SC_LCTRL, SCAN_S)
        .Pause(20, 3)
        .Do([&] { saved = home.read("scenario/SINGLE/FLOW/QUORVEX.scn"); })
        .ClickOn("File")
        .ClickOn("Menu");
    // The front end: Single Player, Play Custom Mission, the list's only
    // folder, Load Mission; each page let fade in first.
    for (const IPoint& p : {IPoint(320, 105), IPoint(320, 253), IPoint(100, 108), IPoint(320, 418)})
        s.Pause(0, 14).Input([&s, p] { return ClickAt(s, p); });
    s.Step(Holds(s, [] { return Game_GetResult().winner >= 0; }, 2000))
        .Input([&s] { return ClickAt(s, IPoint(320, 240)); })
        .Pause(0, 14)
        .Input([] {
            QvPass close;
            close.quit = true;
            return std::vector<QvPass>{close};
        });

    g_GameState = GS_EDITOR;
    Game_Main();

    EXPECT_TRUE(s.done()) << "stopped at step " << s.stepsRun << "\n" << log.text();
    EXPECT_FALSE(s.overran);
    EXPECT_GT(sand, 0);
    EXPECT_EQ(units.size(), 4u);
    EXPECT_EQ(buildings.size(), 2u);
    EXPECT_NE(saved.find("SetEnd("), std::string::npos) << saved;
    EXPECT_TRUE(loaded);
    EXPECT_EQ(picked, "Standby.fsm");
    EXPECT_TRUE(editedOk);
    EXPECT_TRUE(gameOk);
    EXPECT_STREQ(g_ScenarioName, "FLOW");
    EXPECT_EQ(Game_GetResult().winner, 0);
    EXPECT_TRUE(walkerIn) << "won at update " << wonAt;
    EXPECT_NE(log.text().find("Team 0 won (That's you)"), std::string::npos);
}

// Regression: the editor turned the fog's see-all on for its view and left
// it on, so a game started after a visit saw the whole map, drew no fog and
// let units target what their team could not see (the demo played on
// differently from update one).
TEST_F(FlowEditor, AGameAfterAnEditorVisitHasItsFogBackNotTheEditorsSeeAll)
{
    QvPassScript s(200);
    EditorPace(s);
    bool seeAllInside = false;
    s.Do([&] { seeAllInside = Fog_GetSeeAll() != 0; }).Chord(SC_LALT, SC_Q);
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_TRUE(s.done()) << "stopped at step " << s.stepsRun;
    EXPECT_TRUE(seeAllInside) << "the editor shows the whole map";
    EXPECT_EQ(Fog_GetSeeAll(), 0) << "the editor's see-all outlived its visit";
}

namespace {

// Modes bind root too while this lives: the override capability is off in
// the effective set (a user without it is bound anyway).
class ModesBind {
public:
    ModesBind()
    {
        ok_ = syscall(SYS_capget, &head_, old_) == 0;
        __user_cap_data_struct now[2];
        memcpy(now, old_, sizeof now);
        now[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        ok_ = ok_ && syscall(SYS_capset, &head_, now) == 0;
    }
    ~ModesBind()
    {
        if (ok_) syscall(SYS_capset, &head_, old_);
    }
    bool ok(void) const { return ok_; }

private:
    __user_cap_header_struct head_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct old_[2] = {};
    bool ok_ = false;
};

void SetModes(const fs::path& folder, fs::perms dir, fs::perms files)
{
    for (const auto& e : fs::directory_iterator(folder)) fs::permissions(e.path(), files);
    fs::permissions(folder, dir);
}

} // namespace

// A scenario whose folder went read-only after it was made: Ctrl+S says it
// could not be written and leaves the folder as it was; the edits stay open
// and unsaved. A new name in a read-only category can't be made either, and
// the scenario keeps its own name. Once writable again, Ctrl+S saves it.
TEST_F(FlowEditor, SavingIntoAReadOnlyFolderSaysSoAndLosesNothing)
{
    QvPassScript s(2000);
    EditorPace(s);
    MeEditor& me = g_MeEditor;
    const fs::path category = home.file("scenario/SINGLE"), folder = category / "LOCKED";
    std::unique_ptr<ModesBind> bind;
    std::string before, lockedText, newText, nameAfter;
    uint32_t edited = 0;
    bool keptOpen = false, savedAfter = false;
    auto folderText = [&] {
        std::string all;
        for (const char* f : {"QUORVEX.scn", "QUORVEX.map", "QUORVEX.mm"}) all += home.read("scenario/SINGLE/LOCKED/" + std::string(f));
        return all;
    };
    auto boxUp = [](const char* id) { return [id] { return !BoxText(id).empty(); }; };
    Create(s, "LOCKED", "40", "30");
    s.Chord(SC_LALT, 19) // Alt+R: every altitude up
        .Do([&] {
            edited = TerrainCrc();
            before = folderText();
            bind = std::make_unique<ModesBind>();
            ASSERT_TRUE(bind->ok());
            SetModes(folder, fs::perms::owner_read | fs::perms::owner_exec, fs::perms::owner_read);
        })
        .Chord(SC_LCTRL, SCAN_S)
        .Step(Holds(s, boxUp("ErrScenarioWrite"), 50))
        .Do([&] { lockedText = BoxText("ErrScenarioWrite"); })
        .ClickOn("ErrScenarioWriteOk")
        .Do([&] {
            keptOpen = (me.flags & MEF_OPEN) && MeMenuFile::IsModified() && TerrainCrc() == edited;
            EXPECT_EQ(folderText(), before);
            // Elsewhere: a new folder in the category, now read-only too.
            fs::permissions(category, fs::perms::owner_read | fs::perms::owner_exec);
            me.scenarioName->Set("ELSEWHERE");
        })
        .Chord(SC_LCTRL, SCAN_S)
        .Step(Holds(s, boxUp("ErrCreatingDir"), 50))
        .Do([&] { newText = BoxText("ErrCreatingDir"); })
        .ClickOn("ErrCreatingDirOk")
        .Do([&] {
            nameAfter = g_ScenarioName;
            fs::permissions(category, fs::perms::owner_all);
            SetModes(folder, fs::perms::owner_all, fs::perms::owner_read | fs::perms::owner_write);
            bind.reset();
            me.scenarioName->Set("LOCKED");
        })
        .Chord(SC_LCTRL, SCAN_S)
        .Pause(20, 3)
        .Do([&] { savedAfter = !MeMenuFile::IsModified() && folderText() != before; })
        .Chord(SC_LALT, SC_Q);
    g_GameState = GS_EDITOR;
    Game_Main();
    bind.reset();
    fs::permissions(category, fs::perms::owner_all);

    EXPECT_TRUE(s.done()) << "stopped at step " << s.stepsRun;
    EXPECT_FALSE(s.overran);
    EXPECT_EQ(lockedText, "Scenario LOCKED could not be written.");
    EXPECT_TRUE(keptOpen);
    // Regression: the path was shown as joined, with a backslash before ELSEWHERE.
    EXPECT_EQ(newText, "Directory " + (category / "ELSEWHERE").string() + " cannot be created.");
    EXPECT_FALSE(fs::exists(category / "ELSEWHERE"));
    EXPECT_STREQ(nameAfter.c_str(), "LOCKED") << "the open scenario took the name it could not be saved under";
    EXPECT_TRUE(savedAfter);
    // Read back as the game reads it: the edit is there.
    Game_SetScenarioName("LOCKED");
    InitCommonGameSystems();
    Scenario_Load(nullptr);
    EXPECT_EQ(TerrainCrc(), edited);
    CloseCommonGameSystems();
}
