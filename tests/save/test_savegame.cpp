// Saved games of a running game: a game of things and regions saved at one
// update plays on exactly alike when loaded into a fresh game of its
// scenario or into the running one; damaged files are refused with the game
// as it was; QSAVEGAME saves amid its batch; state 6 loads a file through a
// new game of its scenario.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/crc32.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "map/region.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/sortdisp.h"
#include "platform/video.h"
#include "save/save.h"
#include "save/savefield.h"
#include "save/savetype.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/orders.h"

namespace {

OVERLAY* FindThing(int id)
{
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay)
        if (o->id == id) return o;
    return nullptr;
}

// What happens in the game each update, drawn from the synchronised stream:
// a thing moves, one is felled or planted, the map and a region change.
void Activity(void)
{
    OVERLAY* o = FindThing(2001 + Rand_Next(14));
    if (o) Ovl_MoveRel(o, Rand_Next(3) - 1, Rand_Next(3) - 1);
    if (g_UpdateCount % 7 == 3) {
        int id = 2001 + Rand_Next(14);
        if (OVERLAY* gone = FindThing(id)) {
            Ovl_Delete(gone);
        } else {
            int tree = Ovl_FindType("Tree");
            const OVERLAYTYPE* t = Ovl_GetType(tree);
            Ovl_New(tree, id, -1, t->level, t->sprite, t->sx, t->sy, 10 + Rand_Next(40), 10 + Rand_Next(40));
        }
    }
    MAP_ELEMENT_AT(Rand_Next(mapsizex), Rand_Next(mapsizey))->water = (uint32_t)Rand_Next(8);
    if (REGION* r = Region_FindById(51 + Rand_Next(3))) r->harass[Rand_Next(REGION_TEAMS)] += 5;
    Map_SetViewPixelPos(Rand_Next(200), Rand_Next(200));
}

// Two canonical saves alike, or the offset where they part (the saves
// themselves are too long to print).
testing::AssertionResult SameSave(const std::string& a, const std::string& b)
{
    if (a == b) return testing::AssertionSuccess();
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) i++;
    return testing::AssertionFailure() << "saves of " << a.size() << " and " << b.size() << " bytes part at offset "
                                       << i;
}

class SavedGame : public testing::Test {
protected:
    QvLogCapture log_{TLOG_SAVE};
    QvTempDir dir_;
    bool open_ = false;

    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        g_Config.disableendconditions = 1;
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        g_LocalTeam = 0;
        Input_Init();
        Video_Init();
        Event_Init();
        Save_Init();
    }
    void TearDown() override
    {
        if (open_) Stop();
        Event_Close();
        Video_Close();
        Input_Close();
        Plat_Close();
        Cfg_SetDefaults(&g_Config);
    }
    void Start(void)
    {
        Game_SetScenarioName("SAVEGAME");
        InitCommonGameSystems();
        InitGameSpecifics();
        g_GameState = GS_INGAME;
        open_ = true;
    }
    void Stop(void)
    {
        CloseGameSpecifics();
        CloseCommonGameSystems();
        open_ = false;
    }
    void Step(void)
    {
        Activity();
        Game_Update();
        Orders_AfterUpdate();
    }
    void RunTo(uint32_t update)
    {
        while (g_UpdateCount < update) Step();
    }
    std::string Canonical(void)
    {
        EXPECT_EQ(Save_Game(dir_.file("c.sav").c_str(), 0), 1);
        return QvSave_Canonical(dir_.read("c.sav"));
    }
    // The canonical saves of the next n updates.
    std::vector<std::string> PlayOn(int n)
    {
        std::vector<std::string> out;
        for (int i = 0; i < n; i++) {
            Step();
            out.push_back(Canonical());
        }
        return out;
    }
    static size_t FirstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b)
    {
        size_t i = 0;
        while (i < a.size() && i < b.size() && a[i] == b[i]) i++;
        return i;
    }
};

TEST_F(SavedGame, LoadedIntoAFreshGameOrInPlaceItPlaysOnAlike)
{
    const std::string file = dir_.file("save/at30.sav");
    Start();
    RunTo(30);
    const std::string at30 = Canonical();
    ASSERT_FALSE(at30.empty());
    ASSERT_EQ(Save_Game(file.c_str(), 0), 1);
    const uint64_t digest = QvDigest_State();
    const int things = Ovl_Count(), displays = SortDisp_Count();
    const std::vector<std::string> later = PlayOn(20);
    EXPECT_FALSE(later.back() == at30) << "the game changes as it goes";
    Stop();

    Start();  // a fresh game of the scenario
    ASSERT_EQ(Save_Load(file.c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_EQ(g_UpdateCount, 30u);
    EXPECT_TRUE(SameSave(Canonical(), at30));
    EXPECT_EQ(QvDigest_State(), digest);
    EXPECT_EQ(Ovl_Count(), things);
    EXPECT_EQ(SortDisp_Count(), displays);
    std::vector<std::string> fresh = PlayOn(20);
    EXPECT_EQ(FirstDifference(fresh, later), later.size());
    Stop();

    Start();  // the same game, elsewhere in its course: loaded in place
    RunTo(45);
    ASSERT_EQ(Save_Load(file.c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_TRUE(SameSave(Canonical(), at30));
    std::vector<std::string> inplace = PlayOn(20);
    EXPECT_EQ(FirstDifference(inplace, later), later.size());
    for (const char* line : {"Loading...", "- converting ids to pointers", "- done."})
        EXPECT_NE(log_.text().find(line), std::string::npos) << line;
}

TEST_F(SavedGame, ASaveChangesNothingInTheRunningGame)
{
    Start();
    RunTo(12);
    Orders_QSaveGame();  // pending: a save must leave the queues alone
    const uint64_t digest = QvDigest_State();
    const std::string before = Canonical();
    Save_SetDumpFileName(dir_.file("SAVE.LOG").c_str());
    EXPECT_TRUE(SameSave(Canonical(), before));
    EXPECT_EQ(QvDigest_State(), digest);
    EXPECT_EQ(g_OrdersPending.count, 1);
    const std::string dump = dir_.read("SAVE.LOG");
    for (const char* type : {"DISPLAYELEMENT", "OVERLAY", "MAP_ELEMENT", "REGION", "MAPGRID", "SPRITE"})
        EXPECT_NE(dump.find(type), std::string::npos) << type;
    EXPECT_NE(dump.find("(Static)"), std::string::npos);
}

// The fields of every stored form, with the padding the compiler put
// between them, cover the record's bytes exactly (static forms name their
// record and are left out).
TEST(SaveForms, EachCoversEveryByteOfItsRecordButPadding)
{
    for (int i = 0; i < SaveForm_Count(); i++) {
        int type = 0, global = 0;
        const SAVEFORM* form = SaveForm_At(i, &type, &global);
        if (form->naming) continue;
        std::vector<int> cover(form->memsize, 0);
        for (int k = 0; k < form->nfields; k++) {
            const SAVEFIELD& f = form->fields[k];
            EXPECT_LE(f.stored, f.memsize) << form->name << "." << f.name;
            for (uint32_t b = 0; b < (uint32_t)f.memsize * f.count; b++) {
                ASSERT_LT(f.offset + b, form->memsize) << form->name << "." << f.name;
                cover[f.offset + b]++;
            }
        }
        // Padding is what no field covers: it may only precede an aligned
        // field or end the record, never lie inside a field's reach.
        uint32_t uncovered = 0;
        for (uint32_t b = 0; b < form->memsize; b++) {
            EXPECT_LE(cover[b], 1) << form->name << " byte " << b << " in two fields";
            uncovered += cover[b] == 0;
        }
        EXPECT_LT(uncovered, 8u) << form->name;
    }
}

TEST(SaveForms, TheFormatDocumentShowsTheTables)
{
    QvTempDir dir;
    std::string doc;
    FILE* f = fopen(QV_SOURCE_DIR "/docs/formats.md", "rb");
    ASSERT_TRUE(f);
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) doc.append(buf, n);
    fclose(f);
    EXPECT_NE(doc.find(SaveForm_Describe()), std::string::npos) << SaveForm_Describe();
}

} // namespace
