// Load, create, save and leave on the real systems and a copy of the demo
// scenario tree.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "core/config.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "editor/meminimap.h"
#include "game/systems.h"
#include "map/map.h"
#include "map/overlay.h"
#include "map/region.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/unit.h"
#include "platform/plat.h"
#include "support/testsupport.h"
#include "units/team.h"

namespace fs = std::filesystem;

namespace {

// Every unit, building, thing, region and team of the game, keyed by id (or
// by place for things), in one comparable text.
std::string Records(void)
{
    std::map<int, std::string> units, buildings;
    std::multiset<std::string> things, regions;
    auto text = [](std::initializer_list<long> v) {
        std::string s;
        for (long x : v) s += std::to_string(x) + " ";
        return s;
    };
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it))
        units[u->id] = std::string(u->type->symbolid) + " " +
                       text({u->team, u->tilepos.x, u->tilepos.y, u->hitpoints, u->sorder.code,
                             u->usertactaiinfo.tenacity, u->usertactaiinfo.autonomy});
    Iterate_BuildInit(&it, 0, TR_ALL);
    while (BUILDING* b = Iterate_BuildNext(&it))
        buildings[b->id] = std::string(b->buildingtype->name) + " " +
                           text({b->team, b->tilex, b->tiley, b->hitpoints, b->critical});
    for (const OVERLAY* o = g_Overlays; o; o = o->nextoverlay)
        if (o->type != -1) things.insert(text({o->type, o->tilepos.x, o->tilepos.y}));
    for (REGION* r = Region_FindByIndex(1); r; r = Region_FindByIndex(0))
        regions.insert(text({(long)r->id, (long)r->flags, r->x1, r->y1, r->x2, r->y2}));
    std::string all;
    for (auto& [id, s] : units) all += "u" + std::to_string(id) + " " + s + "\n";
    for (auto& [id, s] : buildings) all += "b" + std::to_string(id) + " " + s + "\n";
    for (auto& s : things) all += "t " + s + "\n";
    for (auto& s : regions) all += "r " + s + "\n";
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        const TEAM_DATA& d = teamdata[t];
        all += "team " + text({t, d.side, d.credits, d.startpos.x, d.startpos.y});
        for (int o = 0; o < TEAM_MAXTEAMS; o++) all += std::to_string(Team_GetRelation(t, o));
        all += "\n";
    }
    return all;
}

class FileLayer : public testing::Test {
protected:
    QvLogCapture log;
    QvTempDir home{true};
    void SetUp() override
    {
        fs::create_symlink(fs::path(QV_TEST_RUNDIR) / "data", home.file("data"));
        fs::create_directories(home.file("scenario/SINGLE"));
        fs::copy(fs::path(QV_TEST_RUNDIR) / "scenario/SINGLE/DEMO", home.file("scenario/SINGLE/DEMO"));
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Plat_InitWith(&g_PlatHeadless);
        Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("DEMO");
        g_LocalTeam = 0;
        InitBaseSystem();
        InitCommonGameSystems();
        g_MeEditor.Init();
        // Save writes the summary's picture from the minimap: without one
        // nothing of a save is put in place.
        g_MeEditor.miniMap = new MeMiniMap("MiniMap", 0x2000, IRect(506, 332, 134, 136), &g_MeEditor.view);
    }
    void TearDown() override
    {
        delete g_MeEditor.miniMap;
        g_MeEditor.miniMap = nullptr;
        g_MeEditor.Close();
        CloseCommonGameSystems();
        CloseBaseSystem();
        Plat_Close();
        g_GameState = GS_FRONTEND;
    }
    static void LoadNamed(const char* name)
    {
        g_MeEditor.scenarioName->Set(name);
        MeMenuFile::Load();
    }
    static void SaveAs(const char* name)
    {
        g_MeEditor.scenarioName->Set(name);
        MeMenuFile::Save();
    }
    std::string Read(const std::string& folder, const char* file)
    {
        std::string s;
        Fs_ReadAll(home.file("scenario/SINGLE/" + folder + "/" + file).c_str(), &s);
        return s;
    }
};

} // namespace

TEST_F(FileLayer, LoadSaveLoadSaveGivesTheSameFilesAndRecords)
{
    LoadNamed("DEMO");
    ASSERT_TRUE(g_MeEditor.flags & MEF_OPEN);
    EXPECT_EQ(g_MeEditor.category, SC_SINGLE);
    EXPECT_EQ(MeMenuFile::IsModified(), 0);
    const std::string loaded = Records();
    EXPECT_GT(loaded.size(), 1000u);
    SaveAs("COPYA");
    LoadNamed("COPYA");
    EXPECT_EQ(Records(), loaded);
    SaveAs("COPYB");
    LoadNamed("COPYB");
    EXPECT_EQ(Records(), loaded);
    EXPECT_FALSE(Read("COPYA", "QUORVEX.map").empty());
    EXPECT_EQ(Read("COPYA", "QUORVEX.map"), Read("COPYB", "QUORVEX.map"));
}

TEST_F(FileLayer, AGamesDisabledAlliancesDontStopRelationEdits)
{
    // A game without a network session turns the alliances off and leaves
    // them so: the editor's relation edits and its Save went nowhere.
    g_AlliancesDisabled = 1;
    LoadNamed("DEMO");
    EXPECT_EQ(g_AlliancesDisabled, 0);
    const int before = Team_GetRelation(2, 3);
    const int wanted = before == TR_ALLY ? TR_ENEMY : TR_ALLY;
    Team_SetRelation(2, 3, wanted);
    EXPECT_EQ(MeMenuFile::IsModified(), 1);
    SaveAs("DEMO");
    g_AlliancesDisabled = 1;
    LoadNamed("DEMO");
    EXPECT_EQ(Team_GetRelation(2, 3), wanted);
}

TEST_F(FileLayer, CreateAfterABiggerMapDropsStartPositionsItNoLongerHolds)
{
    LoadNamed("DEMO");
    ASSERT_GT(mapsizex, 40);
    teamdata[0].startpos = {45 * 24, 10 * 24};
    teamdata[1].startpos = {10 * 24, 31 * 24};
    teamdata[2].startpos = {39 * 24, 29 * 24};
    // The demo's default machine for side 1 names a force only the demo has.
    for (TEAM_DATA& t : teamdata) t.side = 0;
    MeMenuFile::CreateNamed("TEST1", 40, 30);
    ASSERT_TRUE(g_MeEditor.flags & MEF_OPEN);
    EXPECT_EQ(mapsizex, 40);
    EXPECT_EQ(mapsizey, 30);
    EXPECT_STREQ(g_TerrainName, "BARREN");
    EXPECT_STREQ(g_ScenarioName, "TEST1");
    EXPECT_EQ(MeMenuFile::IsModified(), 0);
    EXPECT_EQ(teamdata[0].startpos.x, -1);
    EXPECT_EQ(teamdata[1].startpos.y, -1);
    EXPECT_EQ(teamdata[2].startpos.x, 39 * 24);
    EXPECT_TRUE(fs::exists(home.file("scenario/SINGLE/TEST1/QUORVEX.map")));
    EXPECT_FALSE(fs::exists(home.file("scenario/SINGLE/TEST1/QUORVEX.mm")));
    EXPECT_EQ(MAP_ELEMENT_AT(5, 5)->altitude, 2);
    // Its name is taken now: a second create is refused and changes nothing.
    LoadNamed("DEMO");
    const int w = mapsizex;
    MeMenuFile::CreateNamed("TEST1", 20, 20);
    EXPECT_EQ(mapsizex, w);
    EXPECT_STREQ(g_ScenarioName, "DEMO");
}

TEST_F(FileLayer, ANewScenarioThatCannotBeWrittenLeavesNoneOpen)
{
    LoadNamed("DEMO");
    // Files can't grow: the folder is made, the scenario text isn't written.
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit none = saved;
    none.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &none);
    MeMenuFile::CreateNamed("NOROOM", 30, 30);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(g_MeEditor.flags & MEF_OPEN);
    EXPECT_EQ(g_NewMapRequest.flag, 0);
    EXPECT_EQ(MeMenuFile::ChangeChecksum(), 0u);
    // The editor goes on: another scenario opens.
    LoadNamed("DEMO");
    EXPECT_TRUE(g_MeEditor.flags & MEF_OPEN);
}

TEST_F(FileLayer, TypedSidesClampTo20Through500)
{
    const struct {
        const char* typed;
        int side;
    } rows[] = {{"0", 20}, {"", 20}, {"10", 20}, {"9999", 500}, {"123", 123}, {"501", 500}, {"20", 20}};
    for (const auto& r : rows) EXPECT_EQ(MeMenuFile::ClampSide(r.typed), r.side) << r.typed;
}

TEST_F(FileLayer, TheLeaveButtonsSetTheNextState)
{
    g_GameState = GS_EDITOR;
    MeMenuFile::OnLaunch(nullptr, QIN_CLICKED, 0);
    EXPECT_EQ(g_GameState, GS_EDITOR) << "no scenario to launch";
    LoadNamed("DEMO");
    const struct {
        QIHANDLER button;
        int state;
    } rows[] = {{MeMenuFile::OnLaunch, GS_NEWGAME}, {MeMenuFile::OnMenu, GS_FRONTEND}, {MeMenuFile::OnQuit, GS_QUIT}};
    for (const auto& r : rows) {
        g_GameState = GS_EDITOR;
        r.button(nullptr, QIN_PRESSED, 0);
        EXPECT_EQ(g_GameState, GS_EDITOR);
        r.button(nullptr, QIN_CLICKED, 0);
        EXPECT_EQ(g_GameState, r.state);
    }
}

namespace {

class FileTrustEditorLoad : public FileLayer {};

} // namespace

// A broken scenario picked in the File layer: its load is refused with the
// file and line, the editor goes on without a scenario open, and the next
// load is whole.
TEST_F(FileTrustEditorLoad, ABrokenScenarioIsRefusedWithFileAndLineAndTheEditorGoesOnWithoutOne)
{
    LoadNamed("DEMO");
    const std::string demo = Records();
    fs::copy(home.file("scenario/SINGLE/DEMO"), home.file("scenario/SINGLE/BROKEN"));
    std::string scn = Read("BROKEN", "QUORVEX.scn");
    const size_t at = scn.find("SetEnd(DEMO1.END)");
    ASSERT_NE(at, std::string::npos);
    scn.replace(at, 17, "SetEnd(OPEN.END)");
    home.write("scenario/SINGLE/BROKEN/QUORVEX.scn", scn);
    home.write("scenario/SINGLE/BROKEN/OPEN.END", "DefineEndCondTree(0)\n{\n");
    LoadNamed("BROKEN");
    EXPECT_FALSE(g_MeEditor.flags & MEF_OPEN);
    EXPECT_NE(log.text().find("Scenario [BROKEN] not loaded: " + home.file("scenario/SINGLE/BROKEN/OPEN.END") +
                              " line 3: Expected [}] but found [EOF]"),
              std::string::npos)
        << log.text();
    LoadNamed("DEMO");
    ASSERT_TRUE(g_MeEditor.flags & MEF_OPEN);
    EXPECT_EQ(Records(), demo);
}
