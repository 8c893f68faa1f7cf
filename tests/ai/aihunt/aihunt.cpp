// The long-game hunt: one game from a seed, computer players on every team
// (or on a team its player handed over) taking player orders of every kind
// at random, checked at every update and at its close. aihunt.sh plays many
// seeds, one process each, so that a crash ends one game only.
//
// The seed draws, from a stream of the hunt's own (the simulation's is never
// touched): the scenario (the computer players' fixtures, two eight-team
// battles, the shipped scenarios), every team the computer's or team 0 or 1
// handed over, the speed (7 to 60 updates a second), how often an order
// goes out (every 1, 3, 10 or 30 updates on average), and in one game of two
// no end conditions (so that it plays to its last update); then every order.
// With Stop and cancel orders (the default) a Stop to one of the sender's
// crews or a cancel of one of its sites also goes out once per 30 updates.
//
// With --rigs the game is a Three Rigs launch of DUEL, QUAD or MELEE, as
// the staging page sets one up: every start location a computer player of
// a side drawn from the seed (or a person on team 0 or 1 who hands over),
// the credits drawn too. With --no-orders no player order goes out, and
// then the rigs game must also go as the computer players' own: every
// computer team has put up a depot and a factory by update 6000, and the
// game has a winner by update 20000.
//
// After every update every computer team's books balance, and every unit on
// its lists is live, has a type, and on the crew list can build; a failed
// check is told once per kind ("FAIL ...") and the game goes on, so that a
// later crash or a fault at the close shows too. The close must end without
// a fatal error. The "end" line gives, over the computer teams: crews
// stopped holding a purchase, its credits, crews that can build off every
// list, and teams with crews but none usable.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "ai/ai.h"
#include "ai/aibuild.h"
#include "ai/aiteam.h"
#include "ai/squad.h"
#include "core/config.h"
#include "core/error.h"
#include "core/gamestate.h"
#include "core/linklist.h"
#include "core/gll.h"
#include "core/utils.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "orderbuilder.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/bigwar.h"
#include "support/rigs.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitlist.h"

namespace fs = std::filesystem;

namespace {

struct SCENARIO {
    const char* name;
    int category;
    const char* from;   // "rundir", "shipped", or a battle
};

const SCENARIO kScenarios[] = {
    {"AIBASES", SC_SINGLE, "rundir"},   {"AIWAR", SC_FIXED, "rundir"},       {"BIGWAR", SC_FIXED, "battle"},
    {"BIGWAR2", SC_FIXED, "battle"},    {"DEMO", SC_SINGLE, "shipped"},      {"QUAD", SC_MULTI, "shipped"},
    {"MELEE", SC_MULTI, "shipped"},     {"DUEL", SC_MULTI, "shipped"},       {"OUTPOST", SC_CAMPAIGN, "shipped"},
    {"m13v", SC_FIXED, "shipped"},      {"m01s", SC_FIXED, "shipped"},       {"m01a", SC_FIXED, "shipped"},
};
const char* const kCategory[] = {"FIXED", "SINGLE", "MULTI", "CAMPAIGN"};
const int kGaps[] = {1, 3, 10, 30};
// The Three Rigs maps and their start locations.
const struct {
    const char* name;
    int slots;
} kRigsMaps[] = {{"DUEL", 2}, {"QUAD", 4}, {"MELEE", 8}};
const uint32_t kRigsCredits[] = {2500, 5000, 20000};
enum { RIGS_WORKS_BY = 6000, RIGS_WINNER_BY = 20000 };

const char* s_phase = "start";

void Say(const char* what, const char* detail)
{
    printf("FAIL %s at update %u (%s): %s\n", what, g_UpdateCount, s_phase, detail);
    fflush(stdout);
}

void FatalHook(int, const char* message)
{
    Say("fatal error", message);
    _exit(2);
}

#if !defined(__SANITIZE_ADDRESS__)
// A crash's update, before the default action ends the process (the
// sanitizers report their own).
void CrashHandler(int sig)
{
    char line[96];
    const int n = snprintf(line, sizeof line, "FAIL signal %d at update %u\n", sig, g_UpdateCount);
    if (write(1, line, (size_t)n) < 0) {}
    signal(sig, SIG_DFL);
    raise(sig);
}
#endif

// The scenario folder in home: the run directory's copy, the shipped one
// with its generated map, or a battle written afresh.
std::string MakeScenario(const std::string& home, const SCENARIO& s)
{
    const fs::path run(QV_TEST_RUNDIR), to = fs::path(home) / "scenario" / kCategory[s.category] / s.name;
    std::error_code ec;
    fs::create_directory_symlink(run / "data", fs::path(home) / "data", ec);
    if (!strcmp(s.from, "battle")) {
        BIGWAR w = BigWar_ComputerBattle();
        if (!strcmp(s.name, "BIGWAR2")) w.endkill = 0;   // to the last team standing
        return BigWar_WriteScenario(to.string(), (run / "data/deftxt").string(), w);
    }
    const fs::path made = run / "scenario" / kCategory[s.category] / s.name;
    fs::create_directories(to, ec);
    fs::copy(!strcmp(s.from, "shipped") ? fs::path(QV_SOURCE_DIR) / "data/demo/scenario" / kCategory[s.category] / s.name
                                        : made,
             to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    for (const char* generated : {"QUORVEX.map", "QUORVEX.mm"})
        if (fs::exists(made / generated)) fs::copy_file(made / generated, to / generated, fs::copy_options::overwrite_existing, ec);
    return ec ? "cannot copy " + made.string() + ": " + ec.message() : "";
}

bool s_failed = false;
std::set<std::string> s_said;

// A failed check goes on: each kind is told once, at its first update.
void Fail(const std::string& kind, const std::string& detail)
{
    s_failed = true;
    if (s_said.insert(kind).second) Say("check", detail.c_str());
}

// What is wrong with a listed unit: null when it is live and typed (and, on
// the crew list, can build).
const char* Gone(const UNIT* u, bool crew)
{
    if (!u->inuse || u->id < 0) return "a freed slot";
    if (!u->type) return "a unit without a type";
    return crew && !u->type->abilities.canbuild ? "a unit that can't build" : nullptr;
}

void CheckUnit(int team, const char* list, const void* unit, bool crew)
{
    const UNIT* u = static_cast<const UNIT*>(unit);
    if (const char* why = Gone(u, crew))
        Fail(std::string(list) + why, "team " + std::to_string(team) + "'s " + list + " holds " + why + " (unit " +
                                          std::to_string(u->id) + ", " + (u->inuse && u->type ? u->type->symbolid : "-") + ")");
}

// The lists are walked by their nodes: their cursors are the game's.
void CheckList(int team, const char* name, const GLL* list, bool crew)
{
    for (const GLL_NODE* n = list ? list->first : nullptr; n; n = n->next) CheckUnit(team, name, n->element, crew);
}

void CheckSquads(int team, const char* name, const GLL* squads)
{
    for (const GLL_NODE* n = squads ? squads->first : nullptr; n; n = n->next)
        for (const LINKLIST_CELL* c = static_cast<const squad*>(n->element)->units->head; c; c = c->next)
            CheckUnit(team, name, c->data, false);
}

void Check()
{
    for (int t = 0; t < TEAM_NEUTRAL; t++) {
        const AI_Team* a = AI_GetTeam(t);
        if (!a) continue;
        if (!AIBuild_BooksBalance(a)) {
            char line[160];
            snprintf(line, sizeof line, "team %d's books: credit[0] %d + prespent %d, team credits %d", t,
                     a->aibuild.credit[0], a->aibuild.prespent_credits, teamdata[t].credits);
            Fail("books", line);
        }
        CheckList(t, "crew list", a->aibuild.unassigned_cc, true);
        CheckList(t, "transports", a->aibuild.unassigned_transports, false);
        CheckList(t, "assigned transports", a->aibuild.assigned_transports, false);
        CheckList(t, "combat units", a->units, false);
        CheckSquads(t, "squads", a->squads);
        CheckSquads(t, "attack squads", a->attack_squads);
    }
}

bool Listed(const GLL* list, const UNIT* u)
{
    for (const GLL_NODE* n = list ? list->first : nullptr; n; n = n->next)
        if (n->element == u) return true;
    return false;
}

// The computer teams' crews at the end: stopped while holding a purchase
// (and its credits), off every list (neither listed nor assigned nor inside
// a site), and the teams with living crews of which none is usable.
void CrewCounts(int* stopped, int* locked, int* offlist, int* unusable)
{
    int crews[TEAM_NEUTRAL] = {}, usable[TEAM_NEUTRAL] = {};
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        const AI_Team* a = u->team < TEAM_NEUTRAL ? AI_GetTeam(u->team) : nullptr;
        // A script's special force not yet released is the script's, not the computer's.
        if (!a || !u->type->abilities.canbuild || AI_InUnreleasedForce(u)) continue;
        crews[u->team]++;
        // Building, listed, or under a construct order (a player's own included).
        if (u->ai.cc_constructing || Listed(a->aibuild.unassigned_cc, u) || u->sorder.code == SO_CONSTRUCT)
            usable[u->team]++;
        else if (u->ai.cc_construct_type == 0) ++*offlist;
        else {
            ++*stopped;
            *locked += u->ai.cc_construct_cost;
        }
    }
    for (int t = 0; t < TEAM_NEUTRAL; t++) *unusable += crews[t] > 0 && usable[t] == 0;
}

// One crew of the sender stopped, or one of its sites cancelled.
void StopOrCancel(OrderBuilder* draw, int team)
{
    const std::vector<UNIT*> crews = TeamCrews(team);
    if (draw->Pick(2) && !crews.empty()) {
        UNIT* c = crews[draw->Pick((int)crews.size())];
        UNITLIST sel;
        Units_ListInit(&sel);
        Units_ListAppend(&sel, c, c->id, team);
        Orders_QStop(team, &sel);
        Units_ListClose(&sel);
        return;
    }
    std::vector<int> sites;
    for (BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext)
        if (b->state == BS_BEINGBUILT) sites.push_back(b->id);
    if (!sites.empty()) Orders_QCancelBuilding(team, sites[draw->Pick((int)sites.size())]);
}

// A rigs game without orders: every computer team has put up its depot and
// its factory by update 6000.
void CheckRigs(RIGS_WORKS* works, int slots)
{
    Rigs_WorksWatch(works);
    if (g_UpdateCount != RIGS_WORKS_BY) return;
    for (int t = 0; t < slots; t++)
        if (AI_GetTeam(t) && (works->depot[t] < 0 || works->factory[t] < 0))
            Fail("works", "team " + std::to_string(t) + " has " + (works->depot[t] < 0 ? "no depot" : "a depot") +
                              " and " + (works->factory[t] < 0 ? "no factory" : "a factory") + " at update " +
                              std::to_string(RIGS_WORKS_BY));
}

bool StopKind(int code)
{
    return code == QSTOP || code == QCANCELBUILDING || code == QCANCELCONSTRUCT || code == QSURRENDER;
}

int Usage()
{
    fprintf(stderr, "usage: aihunt SEED [--updates N] [--scenario NAME] [--handover -1|0|1] [--speed 7..60]\n"
                    "              [--no-stop] [--rigs] [--no-orders]\n");
    return 64;
}

}   // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return Usage();
    const uint32_t seed = (uint32_t)strtoul(argv[1], nullptr, 10);
    OrderBuilder draw(seed * 2654435761u + 1);
    int scenario = draw.Pick((int)std::size(kScenarios));
    int handover = draw.Pick(4) ? -1 : draw.Pick(2);
    int speed = 7 + draw.Pick(54);
    const int gap = kGaps[draw.Pick((int)std::size(kGaps))];
    const bool drawn_endless = draw.Pick(2);
    unsigned updates = 20000;
    bool stops = true, rigs = false, orders = true, named = false;
    for (int i = 2; i < argc; i++) {
        const std::string o = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (o == "--no-stop") stops = false;
        else if (o == "--rigs") rigs = true;
        else if (o == "--no-orders") orders = false;
        else if (!v) return Usage();
        else if (o == "--updates") updates = (unsigned)atoi(argv[++i]);
        else if (o == "--handover") handover = atoi(argv[++i]);
        else if (o == "--speed") speed = atoi(argv[++i]);
        else if (o == "--scenario") {
            for (scenario = 0; scenario < (int)std::size(kScenarios) && kScenarios[scenario].name != std::string(v);)
                scenario++;
            if (scenario == (int)std::size(kScenarios)) return Usage();
            named = true;
            i++;
        } else return Usage();
    }
    // A rigs game's map, sides and credits come after the other kinds'
    // draws, which every seed of theirs keeps.
    int slots = 0, sides[RIGS_SLOTS] = {};
    uint32_t credits = 0;
    std::string rigsline;
    if (rigs) {
        int map = draw.Pick((int)std::size(kRigsMaps));
        if (named)
            for (map = 0; map < (int)std::size(kRigsMaps) && kScenarios[scenario].name != std::string(kRigsMaps[map].name);)
                map++;
        if (map == (int)std::size(kRigsMaps)) return Usage();
        for (scenario = 0; kScenarios[scenario].name != std::string(kRigsMaps[map].name);) scenario++;
        slots = kRigsMaps[map].slots;
        rigsline = ", Three Rigs sides";
        for (int n = 0; n < slots; n++) {
            sides[n] = draw.Pick(3);
            rigsline += (n ? "," : " ") + std::to_string(sides[n]);
        }
        credits = kRigsCredits[draw.Pick((int)std::size(kRigsCredits))];
        rigsline += ", credits " + std::to_string(credits);
    }
    // A rigs game plays to its winner: its end conditions stay.
    const bool endless = drawn_endless && !rigs;
    const SCENARIO& s = kScenarios[scenario];
    printf("seed %u: %s%s, %s, speed %d, %s, %s Stop and cancel, %u updates%s\n", seed, s.name, rigsline.c_str(),
           handover < 0 ? "computer on every team" : handover ? "team 1 handed over" : "team 0 handed over", speed,
           orders ? ("an order per " + std::to_string(gap) + " updates").c_str() : "no orders",
           stops && orders ? "with" : "without", updates, endless ? ", no end conditions" : "");
    fflush(stdout);
#if !defined(__SANITIZE_ADDRESS__)
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(sig, CrashHandler);
#endif
    std::string tmpl = (getenv("TMPDIR") ? std::string(getenv("TMPDIR")) : "/tmp") + "/aihunt-XXXXXX";
    if (!mkdtemp(tmpl.data())) return 70;
    const std::string home = tmpl;
    fs::create_directories(home + "/save");
    if (std::string why = MakeScenario(home, s); !why.empty()) {
        printf("FAIL setup: %s\n", why.c_str());
        return 70;
    }
    Error_SetFatalHook(FatalHook);
    Game_ResetState();
    Cfg_SetDefaults(&g_Config);
    g_Config.disableendconditions = endless;
    Plat_InitWith(&g_PlatHeadless);
    PlatHeadless_SetClock(0, 0);
    Game_SetDirectories(home.c_str(), "data", "", "save", "scenario");
    Game_SetScenarioCategory(s.category);
    Game_SetScenarioName(s.name);
    if (rigs) Rigs_Launch(s.name, slots, sides, handover, credits);
    g_LocalTeam = handover < 0 ? TEAM_NEUTRAL : handover;
    Input_Init();
    Video_Init();
    Event_Init();
    Game_ClearResult();
    InitCommonGameSystems();
    InitGameSpecifics();
    g_GameState = GS_INGAME;
    Str_CopySafe(g_SaveDir, (home + "/save").c_str(), GAME_PATH);
    Game_SetUpdatesPerSecond(speed);
    // The winner's picture waits for a key.
    PlatHeadless_SetPumpHook(+[] { Input_RawKey(0x1C, 1, '\r'); });
    if (handover >= 0) Orders_QAITakeover(handover);
    s_phase = "play";
    unsigned sent = 0;
    RIGS_WORKS works;
    Rigs_WorksInit(&works);
    while (g_GameState == GS_INGAME && g_UpdateCount < updates) {
        int team = handover;
        if (team < 0 && orders) {
            team = draw.Pick(TEAM_NEUTRAL);
            g_LocalTeam = team;   // debug mode's team switch
        }
        if (orders && AI_GetTeam(team) && draw.Pick(gap) == 0) {
            const int code = draw.Pick(QMAXCODE + 1);
            if (stops || !StopKind(code)) {
                draw.Send(code, team);
                sent++;
            }
        }
        if (orders && stops && AI_GetTeam(team) && draw.Pick(30) == 0) {
            StopOrCancel(&draw, team);
            sent++;
        }
        Game_Update();
        Orders_AfterUpdate();
        Check();
        if (rigs && !orders) CheckRigs(&works, slots);
    }
    if (rigs && !orders && g_GameState == GS_INGAME && g_UpdateCount >= RIGS_WINNER_BY)
        Fail("no winner", "no winner by update " + std::to_string(RIGS_WINNER_BY));
    else if (rigs && !orders && g_GameState != GS_INGAME && Game_GetResult().winner < 0)
        Fail("no winner", "the game ended without a winner");
    int stopped = 0, locked = 0, offlist = 0, unusable = 0;
    CrewCounts(&stopped, &locked, &offlist, &unusable);
    const unsigned played = g_UpdateCount;
    s_phase = "close";
    printf("closing after %u updates\n", played);
    fflush(stdout);
    g_LocalTeam = handover < 0 ? TEAM_NEUTRAL : handover;
    CloseGameSpecifics();
    CloseCommonGameSystems();
    Event_Close();
    Video_Close();
    Input_Close();
    Plat_Close();
    fs::remove_all(home);
    printf("end %s: %u updates, %u orders, winner %d; crews stopped holding a purchase %d, credits locked %d, "
           "crews off every list %d, teams with no usable crew %d\n",
           s_failed ? "failed" : "ok", played, sent, Game_GetResult().winner, stopped, locked, offlist, unusable);
    return s_failed;
}
