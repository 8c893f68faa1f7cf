// Teams: the nine sides of a game (team 8 is the neutral team).
//
// Everything that belongs to a side rather than to a unit: who plays it, its
// alliance group and relations, whose sight it shares, its credits, its
// lists of units and buildings, its colour and side, its statistics, its
// global trails and the default behaviour of its units. Other modules read
// the fields directly and change them through the operations below.
//
// Relations are bits so that callers can test a mask: TR_ENEMY 1,
// TR_NEUTRAL 2, TR_ALLY 4 (TR_ALL 7). A team is allied with itself; every
// team is neutral towards team 8, and forcing or setting any relation to or
// from team 8 stores neutral. The defaults make team 8 an enemy of teams
// 0..7.
//
// Out-of-range team numbers, sides, colours and groups are assertion
// failures; credits never go below 0.
#pragma once

#include <cstdint>

#include "units/trail.h"
#include "units/unitlist.h"

struct UNIT;
struct BUILDING;

enum {
    TEAM_MAXTEAMS = 9,
    TEAM_NEUTRAL = 8,            // the neutral team
    TEAM_RESOURCES = 5,          // resource kinds (0 water, 1 ore, ...)
    TEAM_MOVELISTS = 5,          // on-map unit lists, one per move mode MM_FLY..MM_TUNNEL
    QUORVEX_GLOBALTRAILS = 30,
};

enum TEAM_TYPE { TT_DISABLED = 0, TT_HUMAN = 1, TT_COMPUTER = 2 };

enum TEAM_SIDE {
    TS_DEFAULT = -1,
    TS_ASHWARD = 0,
    TS_SOLARCH = 1,
    TS_VELKIN = 2,
    TS_CIVILIAN = 3,
    TS_MAX = 4,
};

enum TEAM_RELATION { TR_THIS = 0, TR_ENEMY = 1, TR_NEUTRAL = 2, TR_ALLY = 4, TR_ALL = 7 };

struct TEAM_RESOURCE {
    int32_t supply;
    int32_t usage;
    int32_t percent;
};

// The computer player's load.
struct TEAM_CPU {
    int32_t load;
    int32_t maxload;
    int32_t used;
    int32_t percent;
};

struct TEAM_STATS {
    int32_t kills_units;
    int32_t kills_buildings;
    int32_t losses_units;
    int32_t losses_buildings;
    int32_t made_units;
    int32_t made_buildings;
    int32_t collected[TEAM_RESOURCES];
};

struct TEAM_STARTPOS {
    int32_t x, y;                // map pixels; (-1, -1) for none
};

// Default behaviour of new units, each 0..2 (TACTAI_LOW .. TACTAI_HIGH).
struct TEAM_UNITDEF {
    int32_t selfpreservation;
    int32_t tenacity;
    int32_t autonomy;
};

struct TEAM_DATA {
    int32_t type;                        // TEAM_TYPE
    int32_t group;                       // alliance group 0..8
    int32_t startword;                   // cleared at game start
    int32_t relation[TEAM_MAXTEAMS];     // TEAM_RELATION this team holds towards each team
    int32_t lineofsight[TEAM_MAXTEAMS];  // > 0: this team shares that team's sight
    int32_t seeresource[TEAM_MAXTEAMS];  // reasons this team has to see that team's resources
    int32_t credits;                     // never below 0
    TEAM_RESOURCE resource[TEAM_RESOURCES];
    int32_t poweradjust[2];              // debug change of power supply and use, kept across recomputes
    TEAM_CPU cpu;
    UNIT* offmaplist;                    // units off the map (linked through next/prev)
    UNIT* unitlist[TEAM_MOVELISTS];      // units on the map, one list per move mode
    BUILDING* firstbuilding;             // the team's buildings (teamnext/teamprev)
    UNITLIST idleindirectfireunits;
    int32_t unitcount;                   // units of the team, on and off the map
    int32_t side;                        // TEAM_SIDE
    uint8_t non_default;
    int32_t minimapstatus;               // radar reasons (Game_AddMinimapStatus)
    int32_t colour;                      // 0..7
    int32_t palindex;                    // colour table value x 8 + 39
    int32_t killemall;
    TRAIL gtrails[QUORVEX_GLOBALTRAILS];
    TEAM_STATS stats;
    TEAM_STARTPOS startpos;
    TEAM_UNITDEF unitdef;
};

extern TEAM_DATA teamdata[TEAM_MAXTEAMS];

// Set in a game without a network session (InitGameSpecifics): Team_SetRelation
// then changes nothing.
extern int g_AlliancesDisabled;

// The relation team1 holds towards team2.
int Team_GetRelation(int team1, int team2);
// 1 when team1 holds relation towards team2 and team2 towards team1.
int Team_AgreedRelation(int team1, int team2, int relation);
// Sets team1's relation towards team2: TR_NEUTRAL when either is team 8,
// TR_ALLY when team1 == team2, else relation. Then re-sweeps the sight of
// every unit of team1 and team2 and of every building of team1 and team2.
void Team_ForceRelation(int team1, int team2, int relation);
// As Team_ForceRelation, but does nothing while alliances are disabled or
// relations are locked (g_OptRelationsLocked).
void Team_SetRelation(int team1, int team2, int relation);

// Credits below 1 store 0.
void Team_SetCredits(int team, int credits);
// Adds delta, held to 0..INT32_MAX; returns the change actually made.
int Team_ChangeCredits(int team, int delta);

void Team_Stats_BuildingKill(int killer, int victim);
void Team_Stats_UnitKill(int killer, int victim, int x, int y);
void Team_Stats_UnitMade(int team);
void Team_Stats_BuildingMade(int team);

void Team_IncSeeResource(int srcteam, int destteam);
// Asserts "teamdata[srcteam].seeresource[destteam]>0".
void Team_DecSeeResource(int srcteam, int destteam);

// Each clamps v to 0..2.
void Team_SetDefaultTenacity(int team, int v);
void Team_SetDefaultAutonomy(int team, int v);
void Team_SetDefaultSelfPres(int team, int v);
void Team_SetDefaultBehaviour(int team, int tenacity, int autonomy, int selfpreservation);

// side -1..3 (asserted); team 8 always gets TS_VELKIN.
void Team_SetSide(int team, int side);
// colour 0..7 (asserted); sets palindex too.
void Team_SetColour(int team, int colour);
// g 0..8 (asserted).
void Team_SetGroup(int team, int g);

// Before a scenario is read: colours, relations, shares, credits, cpu, side,
// type (TT_DISABLED with DisableAI, else TT_COMPUTER). Logs "TEAM Set Defaults".
void Team_SetDefaults(void);
// With the common game systems: empties the lists, trails and statistics,
// group = team number, unit defaults 1; logs each team; the local team
// becomes TT_HUMAN.
void Team_InitTeamData(void);
// Frees what the teams hold (the idle lists and global trails' waypoints).
void Team_CloseTeamData(void);

// The text shown as the team's player: in a network game the name of the
// active node that plays it; else by type, the unnamed-team text, the configured player
// name or the computer players' text. An unknown type is fatal "Unknown team
// type" (class 4).
const char* Team_GetPlayerNameString(int team);

// Adds delta to the team's minimap status counter; a negative result logs
// "Minimap status went negative".
void Game_AddMinimapStatus(int team, int delta);

// Update step 1: in a network game a TT_HUMAN team that no active node plays
// (Net_NodeOfTeam) becomes TT_DISABLED, logged once with the update; outside
// one this does nothing.
void Team_RemoveDeadTeams(void);
