// Player orders: execution after each update, the executed selections and the
// sync checks.
//
// Every order goes through one table from code to handler. A code whose
// handler doesn't exist yet is refused with a warning that names it, so no
// order is ever dropped without a trace. Handlers read only their payload and
// the game state, never the clock, so every machine and every replay executes
// the same orders the same way.
//
// The executed queue holds the orders of the current update while they run;
// they are freed right after, so the queue never grows with the game.
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ai/ai.h"
#include "core/bytes.h"
#include "core/config.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "rules/endcond.h"
#include "platform/video.h"
#include "rules/gamemsg.h"
#include "save/save.h"
#include "ui/igievnt.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/orders.h"
#include "units/ordersint.h"
#include "units/team.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/iterate.h"
#include "units/unitstate.h"

// The selections the executed orders of each team apply to.
static UNITLIST s_selection[TEAM_MAXTEAMS];

// The value this machine sent last with each QCHECKSYNC kind.
static uint32_t s_localSync[2];
static int s_haveLocalSync[2];
static int s_syncMismatches;
static int s_showSync; // each executed QCHECKSYNC shown on the message line

static void (*s_executedLog)(const char* line);

static const char* const s_names[QMAXCODE + 1] = {
    "QCLEARSELECTED", "QADDSELECTED", "QSTOP", "QMOVE", "QROTATE", "QFIREATGROUND",
    "QFIREATUNIT", "QFIREATBUILDING", "QLOCALCLEAR", "QLOCALADDWAYPOINT", "QLOCALEXECUTE",
    "QGLOBALADDWAYPOINT", "QGLOBALCLEAR", "QGLOBALEXECUTE", "QCONSTRUCTBUILDING",
    "QCONSTRUCTUNIT", "QDISEMBARK", "QDISEMBARKBLD", "QSELLBUILDING", "QCANCELBUILDING",
    "QTELEPORT", "QGIVEUNITS", "QGIVECREDITS", "QCHECKSYNC", "QCHANGEALLY", "QUPGRADEBUILDING",
    "QSETTENACITY", "QSETSELFPRESERVATION", "QSETAUTONOMY", "QMORPHINTOUNIT", "QMORPHINTOOVL",
    "QBOARDUNIT", "QBOARDBUILDING", "QREARMSELF", "QREPAIRBUILDING", "QPAUSECONSTRUCT",
    "QUNPAUSECONSTRUCT", "QCANCELCONSTRUCT", "QPACKBUILDING", "QUNPACKBUILDING", "QSETBLDDEST",
    "QSETCLUSTDEST", "QREPAIRSELF", "QPOWERTOGGLE", "QSCATTER", "QDUMPLISTS", "QSELFDESTRUCT",
    "QSELLRESOURCE", "QPHASE", "QUNPHASE", "QGRABUNIT", "QSPY", "QSABOTAGEBUILDING", "QUNMORPH",
    "QTOGGLESHOWSYNC", "QGOTOREPAIR", "QGOTOREARM", "QPLAYERLEFT", "(unnamed)", "QSETUPTRANSPORT",
    "QSURRENDER", "QAITAKEOVER", "QGAMESPEED", "QAUTOMOVEON", "QAUTOMOVEOFF", "QUNITSPECFUNC",
    "QTACTICALAI", "QSAVEGAME",
};

// ------------------------------------------------------------------ handlers

static void ClearSelected(const ORDERREC* n) { Units_ListClear(&s_selection[n->team]); }

// Ids are resolved now, against the team's units on the map: a unit that died
// or changed hands since the order was given is left out.
static void AddSelected(const ORDERREC* n)
{
    int dropped = 0;
    for (const UNITLISTELEM* e = n->list.head; e != nullptr; e = e->next) {
        if (UNIT* u = Units_IdToUnitPtr(e->u.id, n->team))
            Units_ListAppend(&s_selection[n->team], u, e->u.id, n->team);
        else
            dropped++;
    }
    if (dropped)
        TLOG(TLOG_DIAG, "QADDSELECTED of team %d: %d stale unit ids dropped", n->team, dropped);
}

static int CheckTeam(const ORDERREC* n, int other)
{
    if (other < TEAM_MAXTEAMS) return 1;
    TLOG(TLOG_ERROR, "Order %s (%d) of team %d names team %d; refused", s_names[n->code], n->code,
         n->team, other);
    return 0;
}

// The giver gives at most what it has; the receiver's total stays an int.
static void GiveCredits(const ORDERREC* n)
{
    int to = n->payload[0];
    uint32_t amount = Bytes_U32(n->payload + 4);
    if (!CheckTeam(n, to)) return;
    if (g_OptGivingDisabled) {
        TLOG(TLOG_WARNING, "Giving is disabled: team %d can't give %u credits to team %d", n->team,
             amount, to);
        return;
    }
    if (to == n->team) return;
    // A computer team gives from its uncommitted money only.
    int have = AI_GetCredits(n->team);
    int give = amount < (uint32_t)have ? (int)amount : have;
    if (give > INT_MAX - teamdata[to].credits) give = INT_MAX - teamdata[to].credits;
    Team_ChangeCredits(n->team, -give);
    AI_SpendCredits(n->team, give);
    AI_GiveCredits(to, Team_ChangeCredits(to, give));
    if (n->team == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(MSG_GAVECREDITS));
    if (to == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(MSG_ORDGIVENCREDITS));
}

static void ChangeAlly(const ORDERREC* n)
{
    int other = n->payload[0], relation = n->payload[1];
    if (!CheckTeam(n, other)) return;
    if (relation != TR_ENEMY && relation != TR_NEUTRAL && relation != TR_ALLY) {
        TLOG(TLOG_ERROR, "Order QCHANGEALLY of team %d: relation %d unknown; refused", n->team,
             relation);
        return;
    }
    Team_SetRelation(n->team, other, relation);
    // Only the side being chosen or dropped hears of it; an offer of
    // alliance the local team already returns is no request.
    if (other != g_LocalTeam || n->team == g_LocalTeam) return;
    if (Team_GetRelation(n->team, other) != relation) return;
    GameMsg_TriggerStd(GameMsg_Std(MSG_ALLIANCECHANGED));
    if (relation == TR_ENEMY)
        GameMsg_TriggerStd(GameMsg_Std(MSG_NEWENEMY));
    else if (relation == TR_ALLY && Team_GetRelation(other, n->team) != TR_ALLY)
        GameMsg_TriggerStd(GameMsg_Std(MSG_ALLYREQUEST));
}

// The selection is resolved again now: a unit that died or changed hands
// since it was selected stays where it is. A team nobody plays, and the
// neutral team, take no units: held there, they stand outside the game and
// can outlast every player in it.
static void GiveUnits(const ORDERREC* n)
{
    int to = n->payload[0];
    if (!CheckTeam(n, to) || to == n->team) return;
    if (to == TEAM_NEUTRAL || teamdata[to].type == TT_DISABLED) {
        TLOG(TLOG_ERROR, "Order %s (%d) of team %d names team %d, which isn't in the game; refused",
             s_names[n->code], n->code, n->team, to);
        return;
    }
    int given = 0;
    for (const UNITLISTELEM* e = Orders_TeamSelection(n->team)->head; e; e = e->next) {
        UNIT* u = Units_IdToUnitPtr(e->u.id, n->team);
        if (!u) continue;
        Units_GiveUnitToOtherTeam(u, to);
        given += u->team == to;
    }
    if (!given) return;
    if (n->team == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(MSG_UNITTRANSFER));
    if (to == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(MSG_UNITRECEIVED));
}

// 3 keeps the current default; the team clamps the other values to 0..2.
static void TacticalAI(const ORDERREC* n)
{
    int tenacity = (int32_t)Bytes_U32(n->payload), selfpres = (int32_t)Bytes_U32(n->payload + 4),
        autonomy = (int32_t)Bytes_U32(n->payload + 8);
    if (tenacity != 3) Team_SetDefaultTenacity(n->team, tenacity);
    if (selfpres != 3) Team_SetDefaultSelfPres(n->team, selfpres);
    if (autonomy != 3) Team_SetDefaultAutonomy(n->team, autonomy);
}

static void GameSpeed(const ORDERREC* n)
{
    Game_SetUpdatesPerSecond((int32_t)Bytes_U32(n->payload));
    Igievnt_HandleGameEvent(0);
}

// Every machine sends the same kinds at the same update; each compares what
// arrives with what it sent itself. Without a value of its own (a replay, or
// a kind this machine hasn't sent yet) there is nothing to compare.
static void CheckSync(const ORDERREC* n)
{
    int kind = n->payload[0];
    uint32_t value = Bytes_U32(n->payload + 4);
    if (kind != ORDER_SYNC_RANDOM && kind != ORDER_SYNC_VALUE) {
        TLOG(TLOG_ERROR, "Order QCHECKSYNC of team %d: kind %d unknown; refused", n->team, kind);
        return;
    }
    if (s_showSync) Display_Message("Sync check %d of team %d: %u", kind, n->team, value);
    if (!s_haveLocalSync[kind]) {
        TLOG(TLOG_DIAG, "Sync check %d of team %d: no local value to compare", kind, n->team);
        return;
    }
    if (value == s_localSync[kind]) return;
    s_syncMismatches++;
    TLOG(TLOG_ERROR, "Out of sync at update %u: check %d of team %d is %u, here %u", g_UpdateCount,
         kind, n->team, value, s_localSync[kind]);
}

// An order every machine executes, so every machine shows the checks or none.
static void ToggleShowSync(const ORDERREC*) { s_showSync = !s_showSync; }

// ------------------------------------------------------------------ building orders

// The order's building: it must exist and belong to the order's team.
static BUILDING* OwnBuilding(const ORDERREC* n, int offset)
{
    int id = (int32_t)Bytes_U32(n->payload + offset);
    BUILDING* b = Build_FindById(id);
    if (b != nullptr && b->team == n->team) return b;
    TLOG(TLOG_ERROR, "Order %s (%d) of team %d: building %d %s; refused", s_names[n->code], n->code,
         n->team, id, b ? "of another team" : "missing");
    return nullptr;
}

static void ConstructUnit(const ORDERREC* n)
{
    BUILDING* b = OwnBuilding(n, 4);
    if (b == nullptr) return;
    int type = n->payload[0];
    if (type >= Units_UnitTypeCount()) {
        TLOG(TLOG_ERROR, "Order QCONSTRUCTUNIT of team %d: unit type %d unknown; refused", n->team,
             type);
        return;
    }
    Build_StartProduction(b, Units_GetTypePtr(type));
}

static void SellBuilding(const ORDERREC* n)
{
    if (BUILDING* b = OwnBuilding(n, 0)) Build_Sell(b);
}

static void CancelBuilding(const ORDERREC* n)
{
    if (BUILDING* b = OwnBuilding(n, 0)) Build_CancelSite(b);
}

static void UpgradeBuilding(const ORDERREC* n)
{
    if (BUILDING* b = OwnBuilding(n, 0)) Build_StartUpgrade(b);
}

static void RepairBuilding(const ORDERREC* n)
{
    if (BUILDING* b = OwnBuilding(n, 0)) Build_RequestRepair(b);
}

static void PauseConstruct(const ORDERREC* n)
{
    if (BUILDING* b = OwnBuilding(n, 0)) Build_SetPaused(b, 1);
}

static void UnpauseConstruct(const ORDERREC* n)
{
    if (BUILDING* b = OwnBuilding(n, 0)) Build_SetPaused(b, 0);
}

static void CancelConstruct(const ORDERREC* n)
{
    if (BUILDING* b = OwnBuilding(n, 0)) Build_CancelProduction(b);
}

static void SetBldDest(const ORDERREC* n)
{
    if (BUILDING* b = OwnBuilding(n, 0))
        Build_SetRallyPoint(b, Bytes_U16(n->payload + 4), Bytes_U16(n->payload + 6));
}

static void SetClustDest(const ORDERREC* n)
{
    if (BUILDING* b = OwnBuilding(n, 0))
        Build_SetClusterRallyPoint(b, Bytes_U16(n->payload + 4), Bytes_U16(n->payload + 6));
}

static void PowerToggle(const ORDERREC* n)
{
    if (BUILDING* b = OwnBuilding(n, 0)) Build_PowerToggle(b);
}

static void SellResource(const ORDERREC* n)
{
    BUILDING* b = OwnBuilding(n, 0);
    if (b != nullptr && Build_SellResources(b) == 0)
        TLOG(TLOG_WARNING, "Order QSELLRESOURCE of team %d: building %d has nothing worth selling",
             n->team, b->id);
}

// Every machine executes the order at the same update, so all save the same
// moment of the game; the save changes nothing, and the batch it came in
// runs on.
static void SaveGame(const ORDERREC*)
{
    char dump[UTILS_PATH], path[UTILS_PATH];
    // Without a configured directory the file would land wherever the
    // process happens to run.
    if (!g_SaveDir[0]) {
        TLOG(TLOG_WARNING, "Order QSAVEGAME: no saved-games directory; nothing saved");
        return;
    }
    if (!Utils_MakePath(dump, g_SaveDir, "", "", "SAVE.LOG", "") ||
        !Utils_MakePath(path, g_SaveDir, "", "", "MULTI.SAV", "")) {
        TLOG(TLOG_ERROR, "Order QSAVEGAME: saved-games directory too long [%s]", g_SaveDir);
        return;
    }
    Save_SetDumpFileName(dump);
    Save_Game(path, 0);
}

static ORDERHANDLER s_handlers[QMAXCODE + 1];

// Only a playback executes a departure: in a game the network says who
// left, not a player's order.
static void PlayerLeft(const ORDERREC* node)
{
    if (!Orders_IsPlayingBack()) {
        TLOG(TLOG_WARNING, "Order QPLAYERLEFT of team %d outside a playback; refused", node->team);
        return;
    }
    teamdata[node->team].type = TT_DISABLED;
    TLOG(TLOG_WARNING, "Team %d's player has left the game: team disabled at update %u", node->team,
         g_UpdateCount);
}

// The sending team goes to the computer; the work it bought charges on as
// losses of the new books.
static void AiTakeover(const ORDERREC* node)
{
    if (AI_TakeOver(node->team)) Endcond_TakeOver(node->team);
}

// The team leaves play at the same update on every machine: its units
// first, wherever they are, so that no building's removal sets any of them
// down again; then its buildings, as if destroyed, in list order. Credits,
// relations and trails stay: the end conditions find the team eliminated.
static void Surrender(const ORDERREC* node)
{
    const int team = node->team;
    if (team < 0 || team >= TEAM_MAXTEAMS) return;
    // By id: a deleted carrier takes its passengers along.
    std::vector<int> ids;
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    for (UNIT* u = Iterate_UnitNext(&it); u; u = Iterate_UnitNext(&it))
        if (u->team == team) ids.push_back(u->id);
    for (int id : ids)
        if (UNIT* u = Units_IdToUnitPtr(id, team)) Units_Delete(u);
    while (BUILDING* b = teamdata[team].firstbuilding) {
        Build_RemoveFromGame(b, BRM_DESTROYED);
        if (teamdata[team].firstbuilding == b) break; // never spin on a building that stays
    }
    Tlog_Printf(TLOG_DIAG, "Team %d surrendered", team);
}

// Every machine writes the same lines at the same update, so the trace logs
// of two machines compare line by line: units then buildings, each in the
// iterators' fixed order.
static void DumpLists(const ORDERREC* node)
{
    Tlog_Printf(TLOG_DIAG, "Lists at update %u (team %d)", g_UpdateCount, node->team);
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    for (UNIT* u = Iterate_UnitNext(&it); u; u = Iterate_UnitNext(&it))
        Tlog_Printf(TLOG_DIAG, "unit %d type %d team %d tile %d,%d hp %d state %d order %d", u->id,
                    u->type ? u->type->unittypeid : -1, u->team, u->tilepos.x, u->tilepos.y, u->hitpoints, u->state,
                    u->sorder.code);
    for (const BUILDING* b = g_Buildings; b; b = b->next)
        Tlog_Printf(TLOG_DIAG, "building %d type %d team %d tile %d,%d hp %d state %d", b->id,
                    b->buildingtype ? b->buildingtype->index : -1, b->team, b->tilex, b->tiley, b->hitpoints,
                    b->state);
}

static void SetupHandlers(void)
{
    memset(s_handlers, 0, sizeof s_handlers);
    s_handlers[QCLEARSELECTED] = {ClearSelected, 0};
    s_handlers[QADDSELECTED] = {AddSelected, 0};
    s_handlers[QGIVECREDITS] = {GiveCredits, 8};
    s_handlers[QGIVEUNITS] = {GiveUnits, 1};
    s_handlers[QCHANGEALLY] = {ChangeAlly, 2};
    s_handlers[QTACTICALAI] = {TacticalAI, 12};
    s_handlers[QGAMESPEED] = {GameSpeed, 4};
    s_handlers[QAITAKEOVER] = {AiTakeover, 0};
    s_handlers[QSURRENDER] = {Surrender, 0};
    s_handlers[QCHECKSYNC] = {CheckSync, 8};
    s_handlers[QSAVEGAME] = {SaveGame, 0};
    s_handlers[QPLAYERLEFT] = {PlayerLeft, 0};
    s_handlers[QTOGGLESHOWSYNC] = {ToggleShowSync, 0};
    s_handlers[QDUMPLISTS] = {DumpLists, 0};
    Orders_SetupUnitHandlers(s_handlers);
    Orders_SetupBuildingUnitHandlers(s_handlers);
    s_handlers[QCONSTRUCTUNIT] = {ConstructUnit, 8};
    s_handlers[QSELLBUILDING] = {SellBuilding, 4};
    s_handlers[QCANCELBUILDING] = {CancelBuilding, 4};
    s_handlers[QUPGRADEBUILDING] = {UpgradeBuilding, 4};
    s_handlers[QREPAIRBUILDING] = {RepairBuilding, 4};
    s_handlers[QPAUSECONSTRUCT] = {PauseConstruct, 4};
    s_handlers[QUNPAUSECONSTRUCT] = {UnpauseConstruct, 4};
    s_handlers[QCANCELCONSTRUCT] = {CancelConstruct, 4};
    s_handlers[QSETBLDDEST] = {SetBldDest, 8};
    s_handlers[QSETCLUSTDEST] = {SetClustDest, 8};
    s_handlers[QPOWERTOGGLE] = {PowerToggle, 4};
    s_handlers[QSELLRESOURCE] = {SellResource, 4};
}

const char* Orders_CodeName(int code)
{
    return code >= 0 && code <= QMAXCODE ? s_names[code] : "(unknown)";
}

// ------------------------------------------------------------------ execution

static void LogExecuted(const ORDERREC* n)
{
    char line[32 + 2 * 4 * ORDER_MAXSELECTION];
    int at = snprintf(line, sizeof line, "%u %d %d ", g_UpdateCount, n->code, n->team);
    if (n->code == QADDSELECTED) {
        for (const UNITLISTELEM* e = n->list.head; e && at < (int)sizeof line - 9; e = e->next) {
            uint32_t id = (uint32_t)e->u.id;
            for (int b = 0; b < 4; b++)
                at += snprintf(line + at, sizeof line - at, "%02x", (id >> (8 * b)) & 0xff);
        }
    } else {
        for (int i = 0; i < n->length; i++)
            at += snprintf(line + at, sizeof line - at, "%02x", n->payload[i]);
    }
    s_executedLog(line);
}

void Orders_Execute(const ORDERREC* node)
{
    if (node->code > QMAXCODE || node->team >= TEAM_MAXTEAMS) {
        TLOG(TLOG_ERROR, "Order code %d of team %d out of range; refused", node->code, node->team);
        return;
    }
    if (s_handlers[QCLEARSELECTED].fn == nullptr) SetupHandlers();
    if (s_executedLog) LogExecuted(node);
    const ORDERHANDLER& h = s_handlers[node->code];
    if (h.fn == nullptr) {
        TLOG(TLOG_WARNING, "Order %s (%d) of team %d not available yet", s_names[node->code],
             node->code, node->team);
        return;
    }
    if (node->code != QADDSELECTED && node->length < h.length) {
        TLOG(TLOG_ERROR, "Order %s (%d) of team %d: %d payload bytes, %d expected; refused",
             s_names[node->code], node->code, node->team, node->length, h.length);
        return;
    }
    h.fn(node);
    // Crews of a computer team that the order left idle are its crews again.
    if (node->code != QCLEARSELECTED && node->code != QADDSELECTED) AI_PlayerOrderRan(node->team);
}

// Moves a queue's orders to the executed queue, records them under the
// current update when recording, and executes them in queue order.
static void RunQueue(ORDERQUEUE* source)
{
    while (ORDERREC* node = Orders_QueuePop(source)) Orders_QueueAppend(&g_OrdersExecuted, node);
    if (g_OrdersExecuted.count == 0) return;
    if (Orders_IsRecording()) Orders_RecordExecuted(&g_OrdersExecuted);
    for (const ORDERREC* node = g_OrdersExecuted.head; node != nullptr; node = node->next)
        Orders_Execute(node);
    Orders_QueueFree(&g_OrdersExecuted);
}

void Orders_AfterUpdate(void)
{
    if (Orders_IsPlayingBack()) {
        Orders_QueueFree(&g_OrdersPending);
        Orders_TakePlayback(g_UpdateCount, &g_OrdersPending);
    }
    // In a network game the pending orders wait for the round packet, and
    // the rounds' orders run when their round is done, not after an update.
    if (g_NetworkGame) return;
    RunQueue(&g_OrdersPending);
}

void Orders_ExecuteIncoming(void) { RunQueue(&g_OrdersIncoming); }

UNITLIST* Orders_TeamSelection(int team)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    return &s_selection[team];
}

int Orders_SyncMismatches(void) { return s_syncMismatches; }
int Orders_ShowingSync(void) { return s_showSync; }

void Orders_SetExecutedLog(void (*fn)(const char* line)) { s_executedLog = fn; }

void Orders_NoteLocalSync(int kind, uint32_t value)
{
    if (kind != ORDER_SYNC_RANDOM && kind != ORDER_SYNC_VALUE) return;
    s_localSync[kind] = value;
    s_haveLocalSync[kind] = 1;
}

// ------------------------------------------------------------------ init and close

static void ResetExecution(void)
{
    for (UNITLIST& sel : s_selection) Units_ListClose(&sel);
    memset(s_localSync, 0, sizeof s_localSync);
    memset(s_haveLocalSync, 0, sizeof s_haveLocalSync);
    s_syncMismatches = 0;
    s_showSync = 0;
}

// A configured file name: relative names live in the start directory.
static void ConfigPath(char* out, const char* name)
{
    if (name[0] == '/' || name[0] == '\\') Utils_MakePath(out, name, "", "", "", "");
    else Utils_MakePath(out, g_HomeDir, "", "", name, "");
}

void Orders_Init(void)
{
    Orders_StopRecording();
    Orders_StopPlayback();
    Orders_ResetNodes();
    ResetExecution();
    SetupHandlers();
    char path[UTILS_PATH];
    // Playback first: it reads its whole file before a recording of the same
    // name could replace it.
    if (g_Config.orderplayback[0]) {
        ConfigPath(path, g_Config.orderplayback);
        Orders_StartPlayback(path);
    }
    if (g_Config.orderrecord[0]) {
        ConfigPath(path, g_Config.orderrecord);
        Orders_StartRecording(path);
    }
}

void Orders_AfterLoad(void)
{
    if (Orders_IsRecording()) TLOG(TLOG_WARNING, "Order recording ended by the load of a saved game");
    if (Orders_IsPlayingBack()) TLOG(TLOG_WARNING, "Order playback ended by the load of a saved game");
    Orders_StopRecording();
    Orders_StopPlayback();
    Orders_ResetNodes();
    ResetExecution();
}

void Orders_Close(void)
{
    Orders_StopRecording();
    Orders_StopPlayback();
    ResetExecution();
    Orders_CloseNodes();
}
