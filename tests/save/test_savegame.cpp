// Saved games of a running game: a game of things and regions saved at one
// update plays on exactly alike when loaded into a fresh game of its
// scenario or into the running one; damaged files are refused with the game
// as it was; QSAVEGAME saves amid its batch; state 6 loads a file through a
// new game of its scenario.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ai/ai.h"
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
#include "core/gll.h"
#include "rules/endcond.h"
#include "rules/tfgen.h"
#include "save/save.h"
#include "save/saveblk.h"
#include "save/savefield.h"
#include "save/saveget.h"
#include "save/saveptr.h"
#include "save/savetype.h"
#include "shell/shell.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/buildid.h"
#include "units/constructq.h"
#include "units/explosion.h"
#include "units/expltype.h"
#include "units/iterate.h"
#include "units/target.h"
#include "units/weapon.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/vortex.h"
#include "units/team.h"
#include "units/prereq.h"
#include "units/unit.h"
#include "units/unitstate.h"
#include "units/parts.h"
#include "map/pathsrch.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "core/utils.h"
#include "units/orders.h"
#include "units/team.h"

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
    QvLogCapture log_{TLOG_SAVE | TLOG_AI};
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
    // The computer team (1) is booted and started again after each load.
    for (const char* line : {"Loading...", "- converting ids to pointers", "- pre save parsing", "- post save parsing",
                             "AI Booting team 1", "- done."})
        EXPECT_NE(log_.text().find(line), std::string::npos) << line;
    EXPECT_TRUE(AI_IsEnabled(1));
}

// What the units keep across updates besides their records: the move
// group ids, the making sequence and the hit-point total come back with a
// load, and a refused load leaves them alone.
TEST_F(SavedGame, TheUnitCountersComeBackWithALoad)
{
    const std::string file = dir_.file("save/counters.sav");
    Start();
    RunTo(10);
    Units_SetGroupIdCounter(77);
    Units_SetNextSeq(500);
    UNITS_totalhitpoints = 123456789012LL;
    ASSERT_EQ(Save_Game(file.c_str(), 0), 1);
    Units_SetGroupIdCounter(5);
    Units_SetNextSeq(9);
    UNITS_totalhitpoints = 3;
    std::string bad = dir_.read("save/counters.sav");
    bad.resize(bad.size() - 1);
    dir_.write("save/bad.sav", bad);
    EXPECT_EQ(Save_Load(dir_.file("save/bad.sav").c_str()), SAVE_BADFILE);
    EXPECT_EQ(Units_GetGroupIdCounter(), 5u);
    EXPECT_EQ(Units_NextSeq(), 9u);
    EXPECT_EQ(UNITS_totalhitpoints, 3);
    ASSERT_EQ(Save_Load(file.c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_EQ(Units_GetGroupIdCounter(), 77u);
    EXPECT_EQ(Units_NextSeq(), 500u);
    EXPECT_EQ(UNITS_totalhitpoints, 123456789012LL);
}

// The prerequisites' counts, stolen plans and can-make flags are the game's:
// a load puts them back as they were saved, stolen plans included.
TEST_F(SavedGame, PrerequisitesComeBackWithTheirStolenPlans)
{
    const std::string file = dir_.file("save/prereq.sav");
    Start();
    RunTo(5);
    const int id = Units_GetTypePtr(0)->prereq.id;
    ASSERT_GT(id, 0);
    PREREQ_StolePlans(id, 2);
    const int count = PREREQ_HowMany(id, 0), canmake = PREREQ_CanMake(id, 3);
    ASSERT_EQ(Save_Game(file.c_str(), 0), 1);
    PREREQ_StolePlans(id, 4);
    ASSERT_EQ(Save_Load(file.c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_EQ(PREREQ_HaveStolen(id, 2), 1);
    EXPECT_EQ(PREREQ_HaveStolen(id, 4), 0);
    EXPECT_EQ(PREREQ_HowMany(id, 0), count);
    EXPECT_EQ(PREREQ_CanMake(id, 3), canmake);
}

// The general rules come from their file: a game whose rules changed since
// the save refuses the file and goes on as it was.
TEST_F(SavedGame, OtherGeneralRulesRefuseTheFile)
{
    const std::string file = dir_.file("save/rules.sav");
    Start();
    RunTo(5);
    ASSERT_EQ(Save_Game(file.c_str(), 0), 1);
    const GENERALRULES kept = g_General;
    g_General.healcost++;
    const uint64_t digest = QvDigest_State();
    EXPECT_EQ(Save_Load(file.c_str()), SAVE_BADFILE);
    EXPECT_NE(std::string(Save_LoadError()).find("static data differs"), std::string::npos) << Save_LoadError();
    EXPECT_EQ(QvDigest_State(), digest);
    g_General = kept;
    EXPECT_EQ(Save_Load(file.c_str()), SAVE_LOADED) << Save_LoadError();
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
            if (f.kind == SF_VARIANT) {
                // The selector, and of the union whichever case reaches a byte.
                std::vector<int> reach(f.memsize, 0);
                for (uint32_t b = 0; b < 4; b++) reach[f.selector + b] = 1;
                for (int c = 0; c < f.ncases; c++)
                    for (int j = 0; j < f.cases[c].nfields; j++) {
                        const SAVEFIELD& g = f.cases[c].fields[j];
                        EXPECT_NE(g.kind, SF_VARIANT) << form->name << "." << f.name;
                        for (uint32_t b = 0; b < (uint32_t)g.memsize * g.count; b++) {
                            ASSERT_LT(g.offset + b, f.memsize) << form->name << "." << f.name << "." << g.name;
                            reach[g.offset + b] = 1;
                        }
                    }
                for (uint32_t b = 0; b < f.memsize; b++) cover[f.offset + b] += reach[b];
                continue;
            }
            EXPECT_LE(f.stored, f.memsize) << form->name << "." << f.name;
            for (uint32_t b = 0; b < (uint32_t)f.memsize * f.count; b++) {
                ASSERT_LT(f.offset + b, form->memsize) << form->name << "." << f.name;
                cover[f.offset + b]++;
            }
        }
        // What a saved game leaves out on purpose: the computer players'
        // records (started afresh) and the teams' global trails (blocks of
        // their own).
        struct Omitted {
            const char* form;
            size_t offset, size;
        } const omitted[] = {
            {"UNIT", offsetof(UNIT, ai), sizeof(UNIT::ai)},
            {"BUILDING", offsetof(BUILDING, ai), sizeof(BUILDING::ai)},
            {"TEAM_DATA", offsetof(TEAM_DATA, gtrails), sizeof(TEAM_DATA::gtrails)},
        };
        for (const Omitted& o : omitted)
            if (std::string(o.form) == form->name)
                for (size_t b = 0; b < o.size; b++) cover[o.offset + b]++;
        // Padding is what no field covers: a run of it only ever fills up to
        // the next aligned field, so no run reaches 8 bytes.
        uint32_t run = 0;
        for (uint32_t b = 0; b < form->memsize; b++) {
            EXPECT_LE(cover[b], 1) << form->name << " byte " << b << " in two fields";
            run = cover[b] == 0 ? run + 1 : 0;
            EXPECT_LT(run, 8u) << form->name << " byte " << b << " in no field";
        }
    }
}

TEST(SaveForms, TheDispatcherRegistersEachPointerFieldOrSaysItHasNone)
{
    QvLogCapture log;
    Save_Init();
    SavePtr_Reset();
    Saveblk_Init();
    DISPLAYELEMENT e{};
    e.next = e.prevup = &e;
    Save_RegisterTypePointers(ST_DISPLAYELEMENT, &e);
    std::vector<std::string> descs;
    for (SAVEPOINTER* p = SavePtr_First(); p; p = SavePtr_Next()) {
        descs.push_back(p->desc);
        EXPECT_EQ(p->type, descs.size() == 5 ? (uint32_t)ST_SPRITE : (uint32_t)ST_DISPLAYELEMENT) << p->desc;
    }
    EXPECT_EQ(descs, (std::vector<std::string>{"e->next", "e->prev", "e->nextup", "e->prevup", "e->sprite"}));
    EXPECT_EQ(SavePtr_First()->value, (uint64_t)(uintptr_t)&e);
    Save_RegisterTypePointers(ST_PROJECTILEID, &e);
    Save_RegisterTypePointers(200, &e);
    EXPECT_EQ(SavePtr_Count(), 5u);
    EXPECT_NE(log.text().find("No GetPtr for PROJECTILEID type"), std::string::npos) << log.text();
    EXPECT_NE(log.text().find("No GetPtr for Unknown Type type"), std::string::npos) << log.text();
    Saveblk_Close();
    SavePtr_Close();
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

namespace {

uint32_t Get32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= (uint32_t)(uint8_t)s[at + i] << (8 * i);
    return v;
}

void Put32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++) s[at + i] = (char)(v >> (8 * i));
}

struct FileBlock {
    size_t at;      // of the marker
    uint32_t flags, id, size;
    bool global;
};

std::vector<FileBlock> Blocks(const std::string& s)
{
    std::vector<FileBlock> out;
    size_t at = 32;
    for (int section = 0; section < 2; section++) {
        uint32_t n = Get32(s, at);
        at += 4;
        for (uint32_t i = 0; i < n; i++) {
            uint32_t flags = Get32(s, at + 4);
            uint32_t size = (flags & 0x30000000) == 0x30000000 ? 0 : flags & 0xFFFFF;
            out.push_back({at, flags, Get32(s, at + 8), size, section == 0});
            at += 16 + size;
        }
    }
    return out;
}

int TypeOf(const FileBlock& b) { return (int)(b.flags >> 20 & 0xFF); }

// Every CRC recomputed, so that a change reaches the checks behind them.
std::string RepairCrcs(std::string s)
{
    for (const FileBlock& b : Blocks(s))
        if (b.size || (b.flags & 0x30000000) != 0x30000000) Put32(s, b.at + 12, Crc32_Block(s.data() + b.at + 16, b.size));
    return s;
}

// The stored offset of an OVERLAY record's fields (docs/formats.md).
enum { OVL_LAYER = 36, OVL_DISPLAY = 48, OVL_NEXT = 56, OVL_PREV = 60 };

class SavedGameRefused : public SavedGame {
protected:
    std::string file_, before_;
    uint64_t digest_ = 0;
    long heap_ = 0;
    std::vector<FileBlock> blocks_;

    void SetUp() override
    {
        SavedGame::SetUp();
        Start();
        RunTo(20);
        ASSERT_EQ(Save_Game(dir_.file("good.sav").c_str(), 0), 1);
        file_ = dir_.read("good.sav");
        blocks_ = Blocks(file_);
        RunTo(26);  // the running game differs from the file
        before_ = Canonical();
        digest_ = QvDigest_State();
        heap_ = Debug_LiveBlocks();
    }
    // The file is refused naming why, and the game is as it was.
    // Every refusal compares the digest and the heap; every tenth, and each
    // of the damages behind repaired CRCs, the whole canonical save too.
    void Refused(const std::string& bytes, const std::string& what, const char* why = nullptr, bool whole = true)
    {
        dir_.write("bad.sav", bytes);
        EXPECT_EQ(Save_Load(dir_.file("bad.sav").c_str()), SAVE_BADFILE) << what;
        const std::string error = Save_LoadError();
        EXPECT_NE(error.find("bad.sav: "), std::string::npos) << what << ": " << error;
        if (why) {
            EXPECT_NE(error.find(why), std::string::npos) << what << ": " << error;
        }
        if (whole) {
            EXPECT_TRUE(SameSave(Canonical(), before_)) << what;
        }
        EXPECT_EQ(QvDigest_State(), digest_) << what;
        EXPECT_EQ(Debug_LiveBlocks(), heap_) << what;
    }
    std::vector<const FileBlock*> OfType(int type)
    {
        std::vector<const FileBlock*> out;
        for (const FileBlock& b : blocks_)
            if (TypeOf(b) == type) out.push_back(&b);
        return out;
    }
};

TEST_F(SavedGameRefused, CutsFlipsAndStrayBytes)
{
    std::vector<size_t> cuts;
    for (size_t i = 0; i < blocks_.size(); i += blocks_[i].global ? 97 : 1) cuts.push_back(blocks_[i].at);
    std::mt19937 rng(39);
    for (int i = 0; i < 500; i++) cuts.push_back(rng() % file_.size());
    for (size_t i = 0; i < cuts.size(); i++)
        Refused(file_.substr(0, cuts[i]), "cut at " + std::to_string(cuts[i]), nullptr, i % 10 == 0);
    Refused(file_ + '\0', "a trailing byte", "after the last block");
    // Flips anywhere: refused, or (in bits that carry nothing, as a block's
    // tree colour) loaded as the file says.
    const std::string saved = QvSave_Canonical(file_);
    for (int i = 0; i < 500; i++) {
        std::string bytes = file_;
        size_t at = rng() % bytes.size();
        bytes[at] = (char)(bytes[at] ^ (1 + rng() % 255));
        dir_.write("bad.sav", bytes);
        if (Save_Load(dir_.file("bad.sav").c_str()) == SAVE_LOADED) {
            EXPECT_TRUE(SameSave(Canonical(), saved)) << "flip at " << at;
            Stop();
            Start();
            RunTo(26);
        } else {
            EXPECT_EQ(QvDigest_State(), digest_) << "flip at " << at;
            if (i % 10 == 0) {
                EXPECT_TRUE(SameSave(Canonical(), before_)) << "flip at " << at;
            }
        }
    }
}

TEST_F(SavedGameRefused, DamageBehindRepairedCrcs)
{
    auto overlays = OfType(ST_OVERLAY);
    auto displays = OfType(ST_DISPLAYELEMENT);
    auto rows = OfType(ST_MAP_ELEMENT);
    auto sprites = OfType(ST_SPRITE);
    ASSERT_GE(overlays.size(), 3u);
    ASSERT_FALSE(displays.empty() || rows.empty() || sprites.empty());
    const size_t first = overlays[0]->at + 16, second = overlays[1]->at + 16, last = overlays.back()->at + 16;
    struct Row {
        const char* name;
        size_t at;
        uint32_t value;
        const char* why;
    } rows_[] = {
        {"a cycle in the thing list", last + OVL_NEXT, overlays[0]->id, "lists reach"},
        {"an id naming no block", first + OVL_DISPLAY, SaveId_Make(ST_DISPLAYELEMENT, 0xFFFF0), "bad pointer [o->display]"},
        {"an id of another type", first + OVL_DISPLAY, overlays[1]->id, "bad pointer [o->display]"},
        {"an id of the registry's head", first + OVL_DISPLAY, SaveId_Make(ST_DISPLAYELEMENT, 2), "bad pointer [o->display]"},
        {"two blocks of one id", overlays[1]->at + 8, overlays[0]->id, "repeated id"},
        {"an orphan block", first + OVL_NEXT, overlays[2]->id, "lists reach"},
        {"a field out of range", second + OVL_LAYER, 99, "field layer out of range"},
        {"the sentinel in a link", second + OVL_PREV, 0xFFFFFFFFu, "sentinel"},
        {"a display element in another bucket", displays[0]->at + 16 + 24, 0x7FFFFFFF, "inconsistent"},
    };
    for (const Row& r : rows_) {
        std::string bytes = file_;
        Put32(bytes, r.at, r.value);
        Refused(RepairCrcs(bytes), r.name, r.why);
    }
    // One grid array reached from two cells.
    std::string twice = file_;
    auto cells = OfType(ST_MAPGRID);
    const FileBlock* from = nullptr;
    for (const FileBlock* c : cells)
        if (c->global && Get32(twice, c->at + 16) != SAVEID_NULL) {
            if (!from) from = c;
            else if (c != from) {
                Put32(twice, c->at + 16, Get32(twice, from->at + 16));
                break;
            }
        }
    // The array the cell named before is named by none: its entries serve
    // no list.
    Refused(RepairCrcs(twice), "a block reached twice", "cell->items[l][i]");
    // A row of another size, changed static data, one global fewer.
    std::string resized = file_;
    Put32(resized, rows[0]->at + 4, rows[0]->flags - 24);
    resized.erase(rows[0]->at + 16 + rows[0]->size - 24, 24);
    Refused(RepairCrcs(resized), "a block of another size", "holds");
    std::string changed = file_;
    Put32(changed, sprites[0]->at + 12, Get32(changed, sprites[0]->at + 12) ^ 1);
    Refused(changed, "changed static data", "static data differs");
}

// The construct queue is the game's global: a file whose queue breaks its
// own rules is refused, one that keeps them loads it.
TEST_F(SavedGameRefused, AConstructQueueBreakingItsRules)
{
    size_t entries = 0;
    for (size_t i = 1; i < blocks_.size() && !entries; i++)
        if (blocks_[i].global && blocks_[i].size == CQ_CAPACITY * 8 && blocks_[i + 1].size == CQ_TYPES * 4) entries = i;
    ASSERT_NE(entries, 0u);
    const size_t count = blocks_[entries - 1].at + 16, first = blocks_[entries].at + 16,
                 bytype = blocks_[entries + 1].at + 16;
    struct Row {
        const char* name;
        std::vector<std::pair<size_t, uint32_t>> puts;
        const char* why;
    } const rows[] = {
        {"a count past the capacity", {{count, CQ_CAPACITY + 1}}, "construct queue's count"},
        {"an entry of no unit type", {{count, 1}, {first, CQ_TYPES}, {bytype, 0}}, "construct queue entry"},
        {"counts by type that don't add up", {{count, 1}, {first, 3}, {first + 4, 0xFFFFFFFFu}}, "counts by type"},
    };
    for (const Row& r : rows) {
        std::string bytes = file_;
        for (auto [at, v] : r.puts) Put32(bytes, at, v);
        Refused(RepairCrcs(bytes), r.name, r.why);
    }
    std::string good = file_;
    Put32(good, count, 1);
    Put32(good, first, 3);
    Put32(good, first + 4, 0xFFFFFFFFu);
    Put32(good, bytype + 12, 1);
    dir_.write("queue.sav", RepairCrcs(good));
    ASSERT_EQ(Save_Load(dir_.file("queue.sav").c_str()), SAVE_LOADED) << Save_LoadError();
    int type = 0, building = 0;
    ASSERT_EQ(Units_ConstructQueueCount(), 1);
    Units_ConstructQueueEntry(0, &type, &building);
    EXPECT_EQ(type, 3);
    EXPECT_EQ(building, -1);
    EXPECT_EQ(Units_NumberOnConstructQueue(3), 1);
}

TEST_F(SavedGameRefused, AFileOfAnotherMapIsRefusedByARunningGameWithUnits)
{
    Stop();
    Game_SetScenarioName("DEMO");
    InitCommonGameSystems();
    InitGameSpecifics();
    open_ = true;
    const uint64_t digest = QvDigest_State();
    EXPECT_EQ(Save_Load(dir_.file("good.sav").c_str()), SAVE_OTHERSCENARIO);
    strcpy(g_ScenarioName, "SAVEGAME");
    EXPECT_EQ(Save_Load(dir_.file("good.sav").c_str()), SAVE_BADFILE);
    EXPECT_NE(std::string(Save_LoadError()).find("Global block"), std::string::npos) << Save_LoadError();
    EXPECT_EQ(QvDigest_State(), digest);
}

// A game with units and buildings saves whole: every pointer of its units,
// parts, paths, lists and buildings finds its block, each unit and
// building is one block, and the save changes nothing in it.
TEST_F(SavedGameRefused, AGameWithUnitsSavesEveryRecordOnce)
{
    Stop();
    Game_SetScenarioName("DEMO");
    InitCommonGameSystems();
    InitGameSpecifics();
    open_ = true;
    for (int i = 0; i < 40; i++) Game_Update();
    // Combat under way: a shot in flight from a unit's part, a vortex and a
    // wave that keep it, an explosion with its plays.
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    UNIT* shooter = Iterate_UnitNext(&it);
    while (shooter && !shooter->basepart) shooter = Iterate_UnitNext(&it);
    ASSERT_NE(shooter, nullptr);
    EXPLID blast;
    ASSERT_NE(g_ExplTypeList, nullptr);
    Expl_MakeExplosion(&blast, g_ExplTypeList, nullptr, 0, 0, 0, shooter->pixelpos.x, shooter->pixelpos.y, nullptr);
    Game_Update();
    TARGET ground;
    Target_Setup(&ground, FM_GROUND, nullptr, nullptr, shooter->tilepos.x + 8, shooter->tilepos.y);
    PROJECTILEID shot;
    ASSERT_EQ(Weapon_MakeProjectile(&shot, Weapon_GetType(0), &ground, shooter->basepart), 1);
    ASSERT_NE(Vortex_Open(shot.projectile, shooter->pixelpos.x, shooter->pixelpos.y), nullptr);
    Swave_Start(shot.projectile, shooter->pixelpos.x, shooter->pixelpos.y);
    const uint64_t digest = QvDigest_State();
    ASSERT_GT(Units_Count(), 0);
    ASSERT_GT(Build_Count(), 0);
    ASSERT_EQ(Save_Game(dir_.file("units.sav").c_str(), 0), 1);
    for (int t = 0; t < SAVE_TYPE_COUNT; t++) EXPECT_EQ(Save_TypeMissing(t), 0u) << Save_TypeName(t);
    EXPECT_EQ(Save_TypeBlocks(ST_UNIT), (uint32_t)Units_Count());
    EXPECT_EQ(Save_TypeBlocks(ST_BUILDING), (uint32_t)Build_Count());
    EXPECT_EQ(Save_TypeBlocks(ST_TEAM_DATA), 9u);
    EXPECT_EQ(Save_TypeBlocks(ST_PROJECTILE), (uint32_t)Projectile_Count());
    EXPECT_EQ(Save_TypeBlocks(ST_EXPL), (uint32_t)Expl_Count());
    EXPECT_EQ(Save_TypeBlocks(ST_VORTEX), (uint32_t)Vortex_Count());
    EXPECT_EQ(Save_TypeBlocks(ST_SWave), (uint32_t)Swave_Count());
    EXPECT_EQ(Save_TypeBlocks(ST_EXPLANIM), (uint32_t)Expl_PlayCount());
    EXPECT_GT(Save_TypeBlocks(ST_PROJECTILE), 0u);
    EXPECT_GT(Save_TypeBlocks(ST_VORTEX), 0u);
    EXPECT_GT(Save_TypeBlocks(ST_EXPL), 0u);
    EXPECT_GT(Save_TypeBlocks(ST_SWave), 0u);
    EXPECT_EQ(QvDigest_State(), digest);
    // The making sequence never goes back below a unit in play.
    const uint32_t next = Units_NextSeq();
    Units_SetNextSeq(1);
    uint32_t last = 0;
    for (UNIT* u = Units_MadeAfter(0, UINT32_MAX); u; u = Units_MadeAfter(u->seq, UINT32_MAX)) last = u->seq;
    EXPECT_EQ(Units_NextSeq(), last + 1);
    Units_SetNextSeq(next);
    // It loads in place with every record (its computer players start
    // afresh: they stop its units, so the game isn't the same).
    const int units = Units_Count(), buildings = Build_Count(), shots = Projectile_Count();
    ASSERT_EQ(Save_Load(dir_.file("units.sav").c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_EQ(Units_Count(), units);
    EXPECT_EQ(Build_Count(), buildings);
    EXPECT_EQ(Projectile_Count(), shots);
}

// The demo with its units and buildings, computer players off (a load
// starts them afresh), combat under way from update 40: shots in flight
// from units' parts, a vortex and a wave keeping one, an explosion.
class SavedGameWithUnits : public SavedGameRefused {
protected:
    void StartDemo(void)
    {
        g_Config.disableai = 1;
        Game_SetScenarioName("DEMO");
        InitCommonGameSystems();
        InitGameSpecifics();
        g_GameState = GS_INGAME;
        open_ = true;
        // A small budget keeps searches under way across updates.
        Pathsrch_SetBudget(60);
    }
    void TearDown() override
    {
        Pathsrch_SetBudget(0);
        SavedGameRefused::TearDown();
    }
    void Play(void)
    {
        Game_Update();
        Orders_AfterUpdate();
    }
    void Combat(void)
    {
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        int shots = 0;
        while (UNIT* u = Iterate_UnitNext(&it)) {
            if (!u->basepart || !u->onmap || shots == 3) continue;
            TARGET ground;
            Target_Setup(&ground, FM_GROUND, nullptr, nullptr, u->tilepos.x + 6, u->tilepos.y + 2);
            PROJECTILEID shot;
            if (!Weapon_MakeProjectile(&shot, Weapon_GetType(0), &ground, u->basepart)) continue;
            if (shots++ == 0) {
                AI_AddToSpecialForce(AI_NewSpecialForce(u->team, 0xFFFFFFFFu), u->id);
                Vortex_Open(shot.projectile, u->pixelpos.x, u->pixelpos.y);
                Swave_Start(shot.projectile, u->pixelpos.x, u->pixelpos.y);
                EXPLID blast;
                Expl_MakeExplosion(&blast, g_ExplTypeList, nullptr, 0, 0, 0, u->pixelpos.x, u->pixelpos.y, nullptr);
            }
        }
    }
    std::vector<uint64_t> Digests(int n)
    {
        std::vector<uint64_t> out;
        for (int i = 0; i < n; i++) {
            Play();
            out.push_back(QvDigest_State());
        }
        return out;
    }
    // A DEMO game at update 40 with combat, saved to units.sav; the
    // refusal checks' state taken at update 47.
    void SaveDemo(void)
    {
        Stop();
        StartDemo();
        while (g_UpdateCount < 40) Play();
        Combat();
        ASSERT_EQ(Save_Game(dir_.file("units.sav").c_str(), 0), 1);
        file_ = dir_.read("units.sav");
        blocks_ = Blocks(file_);
        while (g_UpdateCount < 47) Play();
        before_ = Canonical();
        digest_ = QvDigest_State();
        // The pools keep what a refused load gave back: the heap is
        // measured once they hold a file's records.
        std::string warm = file_;
        Put32(warm, OfType(ST_UNIT)[0]->at + 16 + StoredOffset(ST_UNIT, "team"), 8);
        dir_.write("warm.sav", RepairCrcs(warm));
        EXPECT_EQ(Save_Load(dir_.file("warm.sav").c_str()), SAVE_BADFILE);
        heap_ = Debug_LiveBlocks();
    }
    // Where a field of a record of the type lies in its stored form.
    static size_t StoredOffset(int type, const char* name)
    {
        const SAVEFORM* form = SaveForm_Get(type, 0) ? SaveForm_Get(type, 0) : SaveForm_Get(type, 1);
        size_t at = 0;
        for (int i = 0; i < form->nfields; i++) {
            if (!strcmp(form->fields[i].name, name)) return at;
            at += SaveField_Stored(&form->fields[i]);
        }
        ADD_FAILURE() << "no field " << name;
        return 0;
    }
};

TEST_F(SavedGameWithUnits, LoadedIntoAFreshGameOrInPlaceItPlaysOnAlike)
{
    SaveDemo();
    Stop();
    StartDemo();
    while (g_UpdateCount < 40) Play();
    Combat();
    const std::string at = Canonical();
    ASSERT_TRUE(SameSave(at, QvSave_Canonical(file_)));
    const uint64_t digest = QvDigest_State();
    EXPECT_GT(Projectile_Count(), 0);
    EXPECT_GT(Vortex_Count(), 0);
    EXPECT_GT(Swave_Count(), 0);
    EXPECT_GT(Expl_Count(), 0);
    EXPECT_GT(Build_Count(), 0);
    EXPECT_GT(Pathsrch_Pending(), 1) << "a search under way, another waiting";
    EXPECT_GT(Save_TypeBlocks(ST_CONDTREE), 0u) << "the condition machine's trees";
    EXPECT_GT(Save_TypeBlocks(ST_CRITERIA), 0u);
    EXPECT_GT(Save_TypeBlocks(ST_SPECIAL_FORCE), 0u) << "a special force";
    const int units = Units_Count(), parts = Parts_InUse();
    const std::vector<uint64_t> later = Digests(80);
    const std::string end = Canonical();
    Stop();

    StartDemo();  // a fresh game of the scenario
    ASSERT_EQ(Save_Load(dir_.file("units.sav").c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_TRUE(SameSave(Canonical(), at));
    EXPECT_EQ(QvDigest_State(), digest);
    EXPECT_EQ(Units_Count(), units);
    EXPECT_EQ(Parts_InUse(), parts);
    EXPECT_EQ(Digests(80), later);
    EXPECT_TRUE(SameSave(Canonical(), end));

    // A run saving through QSAVEGAME amid its batches and through Save_Game
    // between frames is the run that never saved; the QSAVEGAME file
    // loaded goes on with it.
    Stop();
    Str_CopySafe(g_SaveDir, dir_.file("save").c_str(), sizeof g_SaveDir);
    StartDemo();
    while (g_UpdateCount < 40) Play();
    Combat();
    std::vector<uint64_t> saving;
    for (int i = 0; i < 80; i++) {
        if (i == 5) Orders_QSaveGame();
        if (i % 20 == 15) {
            ASSERT_EQ(Save_Game(dir_.file("between.sav").c_str(), 0), 1);
        }
        Play();
        saving.push_back(QvDigest_State());
    }
    EXPECT_EQ(saving, later);
    Stop();
    StartDemo();
    ASSERT_EQ(Save_Load(dir_.file("save/MULTI.SAV").c_str()), SAVE_LOADED) << Save_LoadError();
    const size_t from = g_UpdateCount - 40;
    ASSERT_LT(from, later.size());
    std::vector<uint64_t> multi = Digests((int)(later.size() - from));
    EXPECT_TRUE(std::equal(multi.begin(), multi.end(), later.begin() + (long)from));

    // The same game further on, loaded in place: the replaced records go
    // back to their pools and the loaded ones play on alike.
    ASSERT_EQ(Save_Load(dir_.file("units.sav").c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_EQ(QvDigest_State(), digest);
    EXPECT_EQ(Units_Count(), units);
    EXPECT_EQ(Parts_InUse(), parts);
    EXPECT_EQ(Digests(80), later);
    EXPECT_TRUE(SameSave(Canonical(), end));
}

// What ranges can't see in the records of units, parts, buildings and the
// grid: each breach is refused, the game as it was.
TEST_F(SavedGameWithUnits, RecordsBreakingTheirListsAreRefused)
{
    SaveDemo();
    auto units = OfType(ST_UNIT);
    auto parts = OfType(ST_PART);
    ASSERT_GE(units.size(), 2u);
    ASSERT_GE(parts.size(), 1u);
    // Two units on the map.
    std::vector<size_t> onmap;
    for (const FileBlock* u : units)
        if (Get32(file_, u->at + 16 + StoredOffset(ST_UNIT, "gridcell")) != 0xFFFFFFFFu) onmap.push_back(u->at + 16);
    ASSERT_GE(onmap.size(), 2u);
    const size_t u0 = onmap[0], u1 = onmap[1];
    const size_t bytemap = StoredOffset(ST_UNIT, "u->seemap.bytemapinfo[l].bytemap");
    ASSERT_EQ(OfType(ST_PATHSRCH).size(), 1u);
    const size_t search = OfType(ST_PATHSRCH)[0]->at + 16;
    ASSERT_EQ(OfType(ST_PQELEMENT).size(), 1u) << "a search under way";
    const size_t open = OfType(ST_PQELEMENT)[0]->at + 16;
    ASSERT_GE(OfType(ST_BYTEMAP).size(), 1u);
    const size_t map0 = OfType(ST_BYTEMAP)[0]->at + 16, lastbits = map0 + StoredOffset(ST_BYTEMAP, "bits") + BYTEMAP_BYTES - 4;
    struct Row {
        const char* name;
        size_t at;
        uint32_t value;
        const char* why;
    } const rows[] = {
        {"a unit on another team's list", u0 + StoredOffset(ST_UNIT, "team"), 8, "another team's list"},
        {"a unit in no grid cell", u0 + StoredOffset(ST_UNIT, "gridcell"), 0xFFFFFFFFu, "grid cell"},
        {"two units of one making number", u1 + StoredOffset(ST_UNIT, "seq"), Get32(file_, u0 + StoredOffset(ST_UNIT, "seq")),
         "making sequence"},
        {"a part standing on another unit", parts[0]->at + 16 + StoredOffset(ST_PART, "p->unit"), units.back()->id,
         "part"},
        {"one byte map kept by two sweeps", u1 + bytemap, Get32(file_, u0 + bytemap), "two sweeps"},
        {"a byte map marking tiles left of the map", map0 + StoredOffset(ST_BYTEMAP, "x0"), (uint32_t)-1000, "off the map"},
        // The square lies on the map; the bit past its last row doesn't.
        {"a mark past a byte map's square", lastbits, Get32(file_, lastbits) | 0x80000000u, "off the map"},
        {"an open list longer than its buckets", search + StoredOffset(ST_PATHSRCH, "nopen"),
         Get32(file_, search + StoredOffset(ST_PATHSRCH, "nopen")) + 1, "open list"},
        {"a ring start past the ring", search + StoredOffset(ST_PATHSRCH, "ringhead"), 5000, "ring"},
        // Its f far past the last one taken out: a bucket of its own that
        // taking it out would spread it back into.
        {"an open entry out of its bucket", open + StoredOffset(ST_PQELEMENT, "f.hi"),
         Get32(file_, search + StoredOffset(ST_PATHSRCH, "openlast.hi")) + 0x100, "out of its bucket"},
    };
    for (const Row& r : rows) {
        std::string bytes = file_;
        Put32(bytes, r.at, r.value);
        Refused(RepairCrcs(bytes), r.name, r.why);
    }
    // A part firing a weapon slot its type hasn't (its update asserted):
    // the demo's first part has fewer than four weapons.
    {
        std::string bytes = file_;
        const size_t part = parts[0]->at + 16;
        Put32(bytes, part + StoredOffset(ST_PART, "state.state"), PS_FIRING);
        Put32(bytes, part + StoredOffset(ST_PART, "state.weapon"), PARTS_MAXWEAPONS - 1);
        Refused(RepairCrcs(bytes), "a part firing a weapon its type hasn't", "weapon");
    }
    // A condition tree's text loses its end.
    const FileBlock* text = nullptr;
    for (const FileBlock* b : OfType(ST_VOID))
        if (!b->global && b->size > 1) text = b;
    ASSERT_NE(text, nullptr);
    std::string bytes = file_;
    bytes[text->at + 16 + text->size - 1] = 'x';
    Refused(RepairCrcs(bytes), "a text without its end", "text without its end");
}

// A criterion of a node type no file has is not saved: the save is refused
// with its message (it used to end the program) and the game is unchanged.
TEST_F(SavedGameWithUnits, ACriterionOfAnInvalidTypeRefusesTheSave)
{
    Stop();
    StartDemo();
    CRITERIA* node = nullptr;
    for (int t = 0; t < ENDCOND_TEAMS && !node; t++)
        for (CONDTREE* tree : {g_Endcond.endtree[t], g_Endcond.fsm[t]})
            if (CONDSTATE* state = tree ? Endcond_GetState(tree, 1) : nullptr)
                if (!node && state->conds && state->conds->first)
                    node = static_cast<CONDITION*>(state->conds->first->element)->criteria;
    ASSERT_NE(node, nullptr);
    const uint16_t type = node->type;
    node->type = CRIT_KINDS + 3;
    const uint64_t digest = QvDigest_State();
    EXPECT_EQ(Save_Game(dir_.file("invalid.sav").c_str(), 0), 0);
    EXPECT_NE(log_.text().find("Endcondition node type 35 invalid - cannot be saved."), std::string::npos);
    EXPECT_EQ(QvDigest_State(), digest);
    node->type = type;
    EXPECT_EQ(Save_Game(dir_.file("invalid.sav").c_str(), 0), 1);
}

// Automatic production's primaries and maker and paused lists are weak
// handles: an in-place load must leave them naming the loaded buildings,
// not the replaced ones' records.
TEST_F(SavedGameWithUnits, AutomaticProductionNamesTheLoadedBuildingsAfterAnInPlaceLoad)
{
    Stop();
    tinfo.enableap = 1;
    StartDemo();
    ASSERT_TRUE(AP_IsOnline());
    while (g_UpdateCount < 10) Play();
    const int types = Units_UnitTypeCount();
    for (int u = 0; u < types; u++)
        if (AP_GetPrimaryMaker(g_LocalTeam, u)) {
            Units_AddToConstructQueue(u, -1);
            AP_PauseOrCancel(nullptr, u);
            break;
        }
    // Per team and type: the primary's id, then the makers' ids, paused or not.
    auto snapshot = [&] {
        std::vector<std::vector<int>> out;
        for (int t = 0; t < TEAM_MAXTEAMS; t++)
            for (int u = 0; u < types; u++) {
                std::vector<int> row;
                BUILDING* p = AP_GetPrimaryMaker(t, u);
                row.push_back(p ? p->id : -1);
                if (GLL* l = AP_GetMakerList(t, u))
                    for (GLL_NODE* n = l->first; n; n = n->next) {
                        BUILDING* b = BuildId_Ptr(static_cast<BUILDID*>(n->element));
                        row.push_back(b ? b->id : -2);
                        row.push_back(b ? AP_IsPaused(b, u) : 0);
                    }
                out.push_back(row);
            }
        return out;
    };
    const auto before = snapshot();
    int primaries = 0, paused = 0;
    for (const auto& row : before) {
        primaries += row[0] >= 0;
        for (size_t i = 2; i < row.size(); i += 2) paused += row[i];
    }
    ASSERT_GT(primaries, 0);
    ASSERT_GT(paused, 0);
    ASSERT_EQ(Save_Game(dir_.file("ap.sav").c_str(), 0), 1);
    const std::string at = QvSave_Canonical(dir_.read("ap.sav"));
    {
        // A maker list's node naming no handle: listing it ended the program.
        std::string bytes = dir_.read("ap.sav");
        bool found = false;
        for (const FileBlock& b : Blocks(bytes))
            if (!found && TypeOf(b) == ST_APGLLNODE) {
                Put32(bytes, b.at + 16 + StoredOffset(ST_APGLLNODE, "node->element"), SAVEID_NULL);
                found = true;
            }
        ASSERT_TRUE(found);
        dir_.write("bad.sav", RepairCrcs(bytes));
        const uint64_t digest = QvDigest_State();
        EXPECT_EQ(Save_Load(dir_.file("bad.sav").c_str()), SAVE_BADFILE);
        EXPECT_NE(std::string(Save_LoadError()).find("local blocks"), std::string::npos) << Save_LoadError();
        EXPECT_EQ(QvDigest_State(), digest);
    }
    const std::vector<uint64_t> later = Digests(20);

    ASSERT_EQ(Save_Load(dir_.file("ap.sav").c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_EQ(snapshot(), before);
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        for (int u = 0; u < types; u++)
            if (BUILDING* p = AP_GetPrimaryMaker(t, u)) {
                bool live = false;
                for (BUILDING* b = teamdata[t].firstbuilding; b; b = b->teamnext) live |= b == p;
                EXPECT_TRUE(live) << "team " << t << " type " << u;
            }
    EXPECT_TRUE(SameSave(Canonical(), at));
    EXPECT_EQ(Digests(20), later);
    Stop();
    tinfo.enableap = 0;
}

// Damage anywhere in the game's records behind repaired CRCs: refused with
// the game as it was, or loaded as the file says and played on.
TEST_F(SavedGameWithUnits, FlippedRecordsAreRefusedOrPlayOn)
{
    SaveDemo();
    std::vector<FileBlock> records;  // SaveDemo makes the same file again
    for (int type : {ST_UNIT, ST_PART, ST_BUILDING, ST_PROJECTILE, ST_EXPL, ST_EXPLANIM, ST_SWave, ST_VORTEX,
                     ST_UNITLISTELEM, ST_PATHNODE, ST_WAYPOINT, ST_MAPGRID, ST_MINIBUILDING, ST_BYTEMAP,
                     ST_TEAM_DATA})
        for (const FileBlock* b : OfType(type))
            if (b->size) records.push_back(*b);
    ASSERT_FALSE(records.empty());
    std::mt19937 rng(40);
    int loaded = 0;
    for (int i = 0; i < 200; i++) {
        const FileBlock* b = &records[rng() % records.size()];
        std::string bytes = file_;
        const size_t at = b->at + 16 + rng() % b->size;
        bytes[at] = (char)(bytes[at] ^ (1 << rng() % 8));
        dir_.write("bad.sav", RepairCrcs(bytes));
        const std::string what = "flip at " + std::to_string(at) + " in a " + Save_TypeName(TypeOf(*b));
        if (Save_Load(dir_.file("bad.sav").c_str()) != SAVE_LOADED) {
            EXPECT_EQ(QvDigest_State(), digest_) << what;
            continue;
        }
        loaded++;
        for (int k = 0; k < 5; k++) Play();
        SaveDemo();
    }
    EXPECT_GT(loaded, 0);
}


} // namespace

namespace {

// The save of QSAVEGAME and state 6's files live in the test's own
// saved-games directory.
class SavedGameFlow : public SavedGame {
protected:
    void SetUp() override
    {
        SavedGame::SetUp();
        Str_CopySafe(g_SaveDir, dir_.file("save").c_str(), sizeof g_SaveDir);
        s_first = s_last = 0;
    }
    void TearDown() override
    {
        PlatHeadless_SetPumpHook(nullptr);
        Game_SetFrontEndHook(nullptr);
        Plat_ClearQuit();
        SavedGame::TearDown();
    }
    // A saved game of the fixture scenario at update 50 in the saved-games
    // directory.
    std::string SaveAt50(void)
    {
        Start();
        RunTo(50);
        const std::string path = dir_.file("save/at50.sav");
        EXPECT_EQ(Save_Game(path.c_str(), 0), 1);
        Stop();
        return path;
    }
    // The in-game frames: the first and the last update seen, quit after 56.
    static void Pump(void)
    {
        if (g_GameState != GS_INGAME) return;
        if (!s_first) s_first = g_UpdateCount, s_units = Units_Count();
        s_last = g_UpdateCount;
        PlatHeadless_Advance(50);
        if (g_UpdateCount >= 56) Plat_PostQuit();
    }
    static void FrontEnd(void)
    {
        s_frontEnd++;
        g_GameState = GS_QUIT;
    }
    static uint32_t s_first, s_last;
    static int s_frontEnd, s_units;
};
uint32_t SavedGameFlow::s_first, SavedGameFlow::s_last;
int SavedGameFlow::s_frontEnd, SavedGameFlow::s_units;

TEST_F(SavedGameFlow, QSaveGameSavesAmidItsBatchAndTheRecordingKeepsIt)
{
    Str_CopySafe(g_Config.orderrecord, dir_.file("orders.rec").c_str(), CFG_PATH);
    Start();
    RunTo(5);
    const int credits = teamdata[1].credits;
    Orders_QGiveCredits(0, 1, 100);
    Orders_QSaveGame();
    Orders_QGiveCredits(0, 1, 50);
    Step();
    EXPECT_EQ(teamdata[1].credits, credits + 150) << "the orders after the save ran too";
    EXPECT_EQ(Save_CheckHeader(dir_.file("save/MULTI.SAV").c_str()), SAVE_LOADED);
    EXPECT_NE(dir_.read("save/SAVE.LOG").find("Locals: "), std::string::npos);
    Stop();
    const std::string rec = dir_.read("orders.rec");
    ASSERT_GE(rec.size(), 6u);
    EXPECT_EQ(Get32(rec, 0), 6u) << "the batch run after update 6";
    EXPECT_EQ((uint8_t)rec[4] | (uint8_t)rec[5] << 8, 3) << "all three orders recorded";
    Start();
    EXPECT_EQ(Save_Load(dir_.file("save/MULTI.SAV").c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_EQ(g_UpdateCount, 6u);
    // No saved-games directory: nothing lands in the working directory.
    g_SaveDir[0] = '\0';
    ORDERREC* save = Orders_NewNode(QSAVEGAME, 0, 0);
    Orders_Execute(save);
    Orders_FreeNode(save);
    EXPECT_NE(log_.text().find("Order QSAVEGAME: no saved-games directory"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("MULTI.SAV"));
}

TEST_F(SavedGameFlow, State6LoadsTheFileThroughANewGameOfItsScenario)
{
    SaveAt50();
    Game_SetScenarioName("DEMO");  // another scenario is current
    Str_CopySafe(g_PendingLoadName, "at50.sav", sizeof g_PendingLoadName);
    PlatHeadless_SetPumpHook(Pump);
    g_GameState = GS_LOADGAME;
    Game_Main();
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_STREQ(g_ScenarioName, "SAVEGAME");
    EXPECT_EQ(s_first, 50u) << "the game goes on from the file's update";
    EXPECT_GE(s_last, 55u);
    EXPECT_EQ(g_SaveFlags & SAVEF_PENDINGLOAD, 0u);
    for (const char* line : {"Loading...", "- done.", "Time: "})
        EXPECT_NE(log_.text().find(line), std::string::npos) << line;
    EXPECT_EQ(log_.text().find("No picture [loadgame.pcx]"), std::string::npos);
}

// A game with units and buildings: state 6 opens it at the file's update
// with its units where they stood.
TEST_F(SavedGameFlow, State6LoadsAGameWithUnits)
{
    g_Config.disableai = 1;
    Game_SetScenarioName("DEMO");
    InitCommonGameSystems();
    InitGameSpecifics();
    g_GameState = GS_INGAME;
    open_ = true;
    while (g_UpdateCount < 50) {
        Game_Update();
        Orders_AfterUpdate();
    }
    const int units = Units_Count();
    ASSERT_GT(units, 0);
    ASSERT_EQ(Save_Game(dir_.file("save/units50.sav").c_str(), 0), 1);
    Stop();
    Game_SetScenarioName("SAVEGAME");
    Str_CopySafe(g_PendingLoadName, "units50.sav", sizeof g_PendingLoadName);
    PlatHeadless_SetPumpHook(Pump);
    g_GameState = GS_LOADGAME;
    Game_Main();
    EXPECT_STREQ(g_ScenarioName, "DEMO");
    EXPECT_EQ(s_first, 50u);
    EXPECT_EQ(s_units, units);
    EXPECT_GE(s_last, 55u);
}

TEST_F(SavedGameFlow, State6RefusesABadFileAndGoesToTheFrontEnd)
{
    SaveAt50();
    const std::string good = dir_.read("save/at50.sav");
    std::string other = good;
    memcpy(&other[12], "NOSUCH\0", 7);
    Put32(other, 28, Crc32_Block(other.data() + 4, 24));
    // A bare name is looked for in the saved-games directory and named as a
    // path of this system.
    const std::string named = dir_.file("save/bad.sav") + ": its scenario [NOSUCH] isn't in the current category";
    struct Row {
        const char* name;
        std::string bytes;
        const char* why;
    } rows[] = {
        {"a bad header CRC", good.substr(0, 28) + "XXXX" + good.substr(32), "bad header CRC"},
        {"a scenario not in the category", other, named.c_str()},
        {"a cut after the header", good.substr(0, good.size() / 2), "at offset"},
        {"no file", "", "can't be opened"},
    };
    for (const Row& r : rows) {
        log_.clear();
        s_frontEnd = 0;
        s_first = 0;
        const std::string path = dir_.file("save/bad.sav");
        remove(path.c_str());
        if (!r.bytes.empty()) dir_.write("save/bad.sav", r.bytes);
        Str_CopySafe(g_PendingLoadName, "bad.sav", sizeof g_PendingLoadName);
        Game_SetFrontEndHook(FrontEnd);
        PlatHeadless_SetPumpHook(Pump);
        g_SaveFlags |= SAVEF_PENDINGLOAD;  // as the menu panel's Load leaves it
        g_GameState = GS_LOADGAME;
        Game_Main();
        EXPECT_EQ(s_frontEnd, 1) << r.name;
        EXPECT_EQ(s_first, 0u) << r.name << ": no game was played";
        const std::string text = log_.text();
        EXPECT_NE(text.find("Saved game not loaded: "), std::string::npos) << r.name;
        EXPECT_NE(text.find(r.why), std::string::npos) << r.name << ": " << text.substr(0, 2000);
        EXPECT_EQ(g_SaveFlags & SAVEF_PENDINGLOAD, 0u) << r.name;
    }
}

} // namespace

// The front end's record through its stored form: a campaign in progress
// comes back whole; a field outside what the front end sets is refused.
TEST(SaveForms, ShellInfoTravelsAndOutOfRangeValuesAreRefused)
{
    const SAVEFORM* form = SaveForm_Get(ST_SHELLINFO, 1);
    ASSERT_NE(form, nullptr);
    SHELLINFO good = {};
    good.current = 23, good.next = 16, good.previous = 5, good.mode = SHELL_CAMPAIGN;
    good.selectedMission = 215, good.highestMission = 216, good.result = 1;
    good.wonFirst = 1, good.wonSecond = 1 << 12, good.mission = 204, good.side = SHELL_SIDE_FIRST;
    snprintf(good.title, sizeof good.title, "Mission one");
    good.lastMission = 204, good.lastSide = SHELL_SIDE_FIRST;
    good.debrief[1].water = -5;
    struct Row {
        const char* name;
        void (*change)(SHELLINFO*);
        const char* bad; // null: loads
    } rows[] = {
        {"a campaign in progress", [](SHELLINFO*) {}, nullptr},
        {"nothing set yet", [](SHELLINFO* s) { *s = SHELLINFO{}; }, nullptr},
        {"a state past the last", [](SHELLINFO* s) { s->next = 24; }, "next"},
        {"a mode between the modes", [](SHELLINFO* s) { s->mode = 100; }, "mode"},
        {"a mission below the trainings", [](SHELLINFO* s) { s->mission = 150; }, "mission"},
        {"a mission past the final one", [](SHELLINFO* s) { s->mission = 217; }, "mission"},
        {"a selection outside the ring", [](SHELLINFO* s) { s->selectedMission = 216; }, "selectedMission"},
        {"a side that is none", [](SHELLINFO* s) { s->side = 5; }, "side"},
        {"a campaign without a side", [](SHELLINFO* s) { s->side = 0; }, "side"},
        {"a custom mission without a side", [](SHELLINFO* s) { s->side = 0, s->mode = SHELL_CUSTOM; }, nullptr},
        {"a result other than won or lost", [](SHELLINFO* s) { s->result = 2; }, "result"},
        {"a title without its end", [](SHELLINFO* s) { memset(s->title, 'x', sizeof s->title); }, "title"},
    };
    for (const Row& r : rows) {
        SHELLINFO in = good, out = {};
        r.change(&in);
        std::vector<uint8_t> bytes((size_t)SaveForm_StoredSize(ST_SHELLINFO, 1, sizeof in));
        SaveForm_Encode(form, &in, sizeof in, bytes.data());
        const char* bad = nullptr;
        int ok = SaveForm_Decode(form, bytes.data(), &out, sizeof out, &bad);
        if (!r.bad) {
            EXPECT_EQ(ok, 1) << r.name << ": " << (bad ? bad : "");
            EXPECT_EQ(memcmp(&in, &out, sizeof in), 0) << r.name;
        } else {
            EXPECT_EQ(ok, 0) << r.name;
            EXPECT_STREQ(bad ? bad : "", r.bad) << r.name;
        }
    }
}

// Each width of field read back as written, byte arrays copied whole only
// where every value is allowed, and a narrow range still refused.
TEST(SaveForms, FieldsOfEveryWidthDecodeAndNarrowRangesAreChecked)
{
    struct Rec {
        uint8_t bytes[5], small;
        int16_t half;
        int32_t word;
        int64_t wide;
    };
    const SAVEFIELD fields[] = {
        {"bytes", offsetof(Rec, bytes), 1, 1, SF_UINT, 5, 0, 255, 0, nullptr, 0, 0},
        {"small", offsetof(Rec, small), 1, 1, SF_UINT, 1, 0, 3, 0, nullptr, 0, 0},
        {"half", offsetof(Rec, half), 2, 2, SF_INT, 1, -5, 5, 0, nullptr, 0, 0},
        {"word", offsetof(Rec, word), 4, 4, SF_INT, 1, INT32_MIN, INT32_MAX, 0, nullptr, 0, 0},
        {"wide", offsetof(Rec, wide), 8, 4, SF_INT, 1, INT32_MIN, INT32_MAX, 0, nullptr, 0, 0},
    };
    const SAVEFORM form{"test", sizeof(Rec), 5 + 1 + 2 + 4 + 4, fields, 5, 0};
    const Rec in{{0, 255, 7, 128, 1}, 3, -5, -123456, -7};
    uint8_t stored[16];
    SaveForm_Encode(&form, &in, sizeof in, stored);
    Rec out{};
    const char* bad = nullptr;
    ASSERT_EQ(SaveForm_Decode(&form, stored, &out, sizeof out, &bad), 1);
    EXPECT_EQ(memcmp(out.bytes, in.bytes, 5), 0);
    EXPECT_EQ(out.small, 3);
    EXPECT_EQ(out.half, -5);
    EXPECT_EQ(out.word, -123456);
    EXPECT_EQ(out.wide, -7) << "a 4-byte value widens with its sign";
    struct Row {
        const char* name;
        size_t at;
        uint8_t value;
        const char* bad;
    } const rows[] = {{"a byte past a narrow range", 5, 4, "small"}, {"a half word past its range", 6, 6, "half"}};
    for (const Row& r : rows) {
        uint8_t damaged[16];
        memcpy(damaged, stored, sizeof damaged);
        damaged[r.at] = r.value;
        bad = nullptr;
        EXPECT_EQ(SaveForm_Decode(&form, damaged, &out, sizeof out, &bad), 0) << r.name;
        EXPECT_STREQ(bad ? bad : "", r.bad) << r.name;
    }
    // A block of plain bytes comes back as stored; one of narrower bytes is
    // still checked byte by byte.
    const uint8_t text[] = {'a', 0, 200, 255, 1};
    for (int64_t max : {255, 127}) {
        const SAVEFIELD byte[] = {{"byte", 0, 1, 1, SF_UINT, 1, 0, max, 0, nullptr, 0, 0}};
        const SAVEFORM bytes{"bytes", 1, 1, byte, 1, 0};
        uint8_t back[sizeof text] = {};
        EXPECT_EQ(SaveForm_Decode(&bytes, text, back, sizeof back, &bad), max == 255 ? 1 : 0) << max;
        if (max == 255) {
            EXPECT_EQ(memcmp(back, text, sizeof text), 0);
        }
    }
}
