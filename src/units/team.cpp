// Teams: the nine team records, their defaults and the relation rules.
#include "units/team.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "ai/aiteam.h"
#include "core/config.h"
#include "core/debug.h"
#include "core/error.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "net/net.h"
#include "rules/gamemsg.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/unit.h"

TEAM_DATA teamdata[TEAM_MAXTEAMS];
int g_AlliancesDisabled = 0;

// Colour -> colour table value; the palette index is value x 8 + 39.
static const int s_colourValue[8] = {2, 1, 4, 3, 5, 6, 7, 0};

static const char* const s_unnamedText = "Unnamed";
static const char* const s_computerText = "Computer";

// The assertion texts name the parameters, so the checks live in helpers
// whose parameters carry those names.
static void CheckTeam(int team)
{
    ASSERT(team>=0 && team<TEAM_MAXTEAMS);
}

static void CheckTeams(int team1, int team2)
{
    ASSERT(team1>=0 && team1<TEAM_MAXTEAMS);
    ASSERT(team2>=0 && team2<TEAM_MAXTEAMS);
}

static int ClampLevel(int v)
{
    return v < 0 ? 0 : (v > 2 ? 2 : v);
}

// ---- relations

int Team_GetRelation(int team1, int team2)
{
    CheckTeams(team1, team2);
    return teamdata[team1].relation[team2];
}

int Team_AgreedRelation(int team1, int team2, int relation)
{
    CheckTeams(team1, team2);
    return teamdata[team1].relation[team2] == relation && teamdata[team2].relation[team1] == relation;
}

void Team_ForceRelation(int team1, int team2, int relation)
{
    CheckTeams(team1, team2);
    if (team1 == TEAM_NEUTRAL || team2 == TEAM_NEUTRAL) relation = TR_NEUTRAL;
    else if (team1 == team2) relation = TR_ALLY;
    teamdata[team1].relation[team2] = relation;
    Units_UpdateRelationRelatedInformationForTeam(team1);
    Units_UpdateRelationRelatedInformationForTeam(team2);
    Build_ResweepTeamSight(team1);
    Build_ResweepTeamSight(team2);
}

void Team_SetRelation(int team1, int team2, int relation)
{
    CheckTeams(team1, team2);
    if (g_AlliancesDisabled || g_OptRelationsLocked) return;
    Team_ForceRelation(team1, team2, relation);
}

// ---- credits

void Team_SetCredits(int team, int credits)
{
    CheckTeam(team);
    teamdata[team].credits = credits < 1 ? 0 : credits;
}

int Team_ChangeCredits(int team, int delta)
{
    CheckTeam(team);
    // Summed wide so that a large gain saturates instead of wrapping negative.
    int64_t sum = (int64_t)teamdata[team].credits + delta;
    if (sum < 0) sum = 0;
    if (sum > INT32_MAX) sum = INT32_MAX;
    const int change = (int)(sum - teamdata[team].credits);
    teamdata[team].credits = (int32_t)sum;
    if (delta > 0 && team == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(MSG_SFXCREDITADD));
    return change;
}

// ---- statistics

void Team_Stats_BuildingKill(int killer, int victim)
{
    CheckTeams(killer, victim);
    if (killer != victim) teamdata[killer].stats.kills_buildings++;
    teamdata[victim].stats.losses_buildings++;
}

void Team_Stats_UnitKill(int killer, int victim, int x, int y)
{
    CheckTeams(killer, victim);
    if (killer != victim) teamdata[killer].stats.kills_units++;
    teamdata[victim].stats.losses_units++;
    AI_Team::ReportAttack(killer, 1, x, y, 1);
    AI_Team::ReportAttack(victim, -1, x, y, 1);
}

void Team_Stats_UnitMade(int team)
{
    CheckTeam(team);
    teamdata[team].stats.made_units++;
}

void Team_Stats_BuildingMade(int team)
{
    CheckTeam(team);
    teamdata[team].stats.made_buildings++;
}

// ---- shared resource sight

void Team_IncSeeResource(int srcteam, int destteam)
{
    CheckTeams(srcteam, destteam);
    teamdata[srcteam].seeresource[destteam]++;
}

void Team_DecSeeResource(int srcteam, int destteam)
{
    CheckTeams(srcteam, destteam);
    ASSERT(teamdata[srcteam].seeresource[destteam]>0);
    teamdata[srcteam].seeresource[destteam]--;
}

// ---- unit defaults, side, colour, group

void Team_SetDefaultTenacity(int team, int v)
{
    CheckTeam(team);
    teamdata[team].unitdef.tenacity = ClampLevel(v);
}

void Team_SetDefaultAutonomy(int team, int v)
{
    CheckTeam(team);
    teamdata[team].unitdef.autonomy = ClampLevel(v);
}

void Team_SetDefaultSelfPres(int team, int v)
{
    CheckTeam(team);
    teamdata[team].unitdef.selfpreservation = ClampLevel(v);
}

void Team_SetDefaultBehaviour(int team, int tenacity, int autonomy, int selfpreservation)
{
    Team_SetDefaultTenacity(team, tenacity);
    Team_SetDefaultAutonomy(team, autonomy);
    Team_SetDefaultSelfPres(team, selfpreservation);
}

void Team_SetSide(int team, int side)
{
    CheckTeam(team);
    ASSERT((side)>=-1 && (side)<TS_MAX);
    teamdata[team].side = team == TEAM_NEUTRAL ? TS_VELKIN : side;
}

void Team_SetColour(int team, int colour)
{
    CheckTeam(team);
    ASSERT((colour < 8) && (colour >= 0));
    teamdata[team].colour = colour;
    teamdata[team].palindex = s_colourValue[colour] * 8 + 39;
}

void Team_SetGroup(int team, int g)
{
    CheckTeam(team);
    ASSERT(g>=0 && g<TEAM_MAXTEAMS);
    teamdata[team].group = g;
}

// ---- set-up and close

void Team_SetDefaults(void)
{
    TLOG(TLOG_SETUP, "TEAM Set Defaults");
    for (int i = 0; i < TEAM_MAXTEAMS; i++) {
        TEAM_DATA& td = teamdata[i];
        // A network launch has written the players' teams already: what it
        // wrote stays for the scenario to read.
        const bool given = g_OptTeamSetupGiven && i < TEAM_NEUTRAL;
        const bool played = given && td.type != TT_DISABLED;
        if (!played) Team_SetColour(i, i & 7);
        for (int j = 0; j < TEAM_MAXTEAMS; j++) {
            if (j == TEAM_NEUTRAL) td.relation[j] = TR_NEUTRAL;
            else if (j == i) td.relation[j] = TR_ALLY;
            else if (!played) td.relation[j] = TR_ENEMY;
            td.lineofsight[j] = 0;
            td.seeresource[j] = 0;
        }
        if (!played) {
            td.credits = 0;
            td.side = TS_DEFAULT;
        }
        td.cpu.load = 0;
        td.cpu.maxload = 0;
        td.cpu.percent = 0;
        td.non_default = 0;
        td.startpos.x = -1;
        td.startpos.y = -1;
        if (!given) td.type = g_Config.disableai ? TT_DISABLED : TT_COMPUTER;
    }
}

void Team_InitTeamData(void)
{
    for (int i = 0; i < TEAM_MAXTEAMS; i++) {
        TEAM_DATA& td = teamdata[i];
        td.startword = 0;
        td.offmaplist = nullptr;
        for (UNIT*& list : td.unitlist) list = nullptr;
        td.firstbuilding = nullptr;
        td.unitcount = 0;
        td.killemall = 0;
        td.minimapstatus = 0;
        td.poweradjust[0] = td.poweradjust[1] = 0;
        Units_ListInit(&td.idleindirectfireunits);
        for (TRAIL& trail : td.gtrails) Trail_Init(&trail);
        td.group = i;
        td.unitdef.selfpreservation = 1;
        td.unitdef.tenacity = 1;
        td.unitdef.autonomy = 1;
        memset(&td.stats, 0, sizeof td.stats);
        // A new game starts with no buildings: nothing supplied, nothing used.
        for (TEAM_RESOURCE& res : td.resource) res = TEAM_RESOURCE{0, 0, 100};
        const int32_t* r = td.relation;
        TLOG(TLOG_SETUP,
             "Team Info : # %d : Type %d : Side %d : Colour %d : Relation %d,%d,%d,%d,%d,%d,%d,%d,%d",
             i, td.type, td.side, td.colour, r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8]);
    }
    if (g_LocalTeam >= 0 && g_LocalTeam < TEAM_MAXTEAMS) teamdata[g_LocalTeam].type = TT_HUMAN;
}

void Team_CloseTeamData(void)
{
    for (TEAM_DATA& td : teamdata) {
        Units_ListClose(&td.idleindirectfireunits);
        for (TRAIL& trail : td.gtrails) Trail_Clear(&trail);
    }
}

const char* Team_GetPlayerNameString(int team)
{
    CheckTeam(team);
    if (g_NetworkGame) {
        int node = Net_NodeOfTeam(team);
        if (node < NET_NODES) {
            // A copy: the packet thread rewrites the session block whenever a
            // SESSION comes. One per team, so that two names can be shown at once.
            static char names[TEAM_MAXTEAMS][NET_NAME_SIZE];
            Net_Lock();
            memcpy(names[team], g_NetSession.players[node].name, NET_NAME_SIZE);
            Net_Unlock();
            names[team][NET_NAME_SIZE - 1] = '\0';
            return names[team];
        }
    }
    switch (teamdata[team].type) {
    case TT_DISABLED:
        return s_unnamedText;
    case TT_HUMAN:
        return g_NetworkGame ? s_unnamedText : g_CfgPlayerName;
    case TT_COMPUTER:
        return s_computerText;
    default:
        ERR_FATAL(ERRC_FATAL, "Unknown team type");
    }
}

void Game_AddMinimapStatus(int team, int delta)
{
    CheckTeam(team);
    teamdata[team].minimapstatus += delta;
    if (teamdata[team].minimapstatus < 0) TLOG(TLOG_ERROR, "Minimap status went negative");
}

void Team_RemoveDeadTeams(void)
{
    // Only a network game can lose a player. Its units stay where they are.
    if (!g_NetworkGame) return;
    for (int team = 0; team < TEAM_MAXTEAMS; team++) {
        if (teamdata[team].type != TT_HUMAN || Net_NodeOfTeam(team) < NET_NODES) continue;
        teamdata[team].type = TT_DISABLED;
        TLOG(TLOG_WARNING, "Team %d's player has left the game: team disabled at update %u", team,
             g_UpdateCount);
        Orders_RecordPlayerLeft(team);
    }
}
