// The launched settings into the game's teams. Every machine holds the same
// blocks and computes the same teams from them: nothing here depends on
// which machine runs it but the local team.
#include <cstdint>

#include "core/gamestate.h"
#include "core/tlog.h"
#include "multi/mmchat.h"
#include "units/mpteams.h"
#include "units/team.h"

static int64_t Credits(int64_t c, int handicaps, int h, int default_handicap)
{
    if (!handicaps) return c;
    if (h == 0) return default_handicap * c / 100;
    return h * c * 25 / 100 + c * 75 / 100;
}

void MM_chat_update_game_from(NetSession* session, NetGameSettings* settings, int own)
{
    TLOG(TLOG_SETUP, "Updating the game");
    uint8_t taken[NET_NODES] = {};
    for (int t = 0; t < NET_NODES; t++) teamdata[t].type = TT_DISABLED;
    const uint32_t o = settings->options;
    g_OptFogDisabled = !(o & MM_OPT_FOG);
    g_OptShroudDisabled = !(o & MM_OPT_SHROUD);
    g_OptGivingDisabled = !(o & MM_OPT_GIVEMONEY);
    g_OptAlliedResourcesHidden = !(o & MM_OPT_VIEWRESOURCES);
    const int rigs = (o & MM_OPT_THREERIGS) != 0;
    g_OptThreeRigs = g_OptThreeRigsUnits = (uint8_t)rigs;
    g_MpTeamsStartUnits = rigs;
    MpTeams_SetSetupEquivalentBuildings(rigs);
    const bool teams = (o & MM_OPT_TEAMS) != 0;
    g_OptRelationsLocked = teams;
    g_OptTeamSetupGiven = 1;
    g_OptCreditsSet = 1;
    const bool handicaps = (o & MM_OPT_HANDICAP) != 0;
    // The nodes that play, taken once: a computer node leaves the session
    // below, and the relations of a later node must still see it.
    bool active[NET_NODES];
    for (int n = 0; n < NET_NODES; n++) {
        NetNodeSettings& s = settings->node[n];
        active[n] = (session->players[n].flags & NET_PLAYER_ACTIVE) != 0;
        if (s.side < -1 || s.side > 2) s.side = -1;
        if (s.colour > 8) s.colour = NET_NO_COLOUR;
        if (active[n] && s.colour < 8) taken[s.colour] = 1;
    }
    g_LocalTeam = own >= 0 && own < NET_NODES && settings->node[own].team < NET_NODES ? settings->node[own].team : 0;
    auto node_of = [&](int team) {
        for (int m = 0; m < NET_NODES; m++)
            if (active[m] && settings->node[m].team == team) return m;
        return -1;
    };
    for (int n = 0; n < NET_NODES; n++) {
        NetNodeSettings& s = settings->node[n];
        const int type = settings->slottypes[n];
        if (!active[n] || type > COMPUTER_HARD || s.team >= NET_NODES) continue;
        const int t = s.team;
        TEAM_DATA& td = teamdata[t];
        if (s.colour == NET_NO_COLOUR) {
            int c = 0;
            while (c < NET_NODES && taken[c]) c++;
            if (c < NET_NODES) {
                taken[c] = 1;
                s.colour = (uint8_t)c;
            }
        }
        if (s.colour < NET_NODES) Team_SetColour(t, s.colour);
        td.side = s.side;
        if (type == HUMAN) {
            td.type = TT_HUMAN;
            const int h = s.handicap <= 20 ? s.handicap : 0;
            const int dh = MM_chat.slots[n] ? MM_chat.slots[n]->default_handicap : 100;
            int64_t credits = Credits(settings->credits, handicaps, h, dh);
            if (credits > INT32_MAX) credits = INT32_MAX;
            Team_SetCredits(t, (int)credits);
            for (int j = 0; j < NET_NODES; j++) {
                int rel;
                const int m = node_of(j);
                if (j == t)
                    rel = TR_ALLY;
                else if (teams)
                    rel = m >= 0 && s.group != 0 && settings->node[m].group == s.group ? TR_ALLY : TR_ENEMY;
                else if (m < 0)
                    rel = TR_NEUTRAL;
                else
                    rel = s.relations[m] == TR_ENEMY || s.relations[m] == TR_ALLY ? (int)s.relations[m] : (int)TR_NEUTRAL;
                td.relation[j] = rel;
            }
        } else {
            td.type = TT_COMPUTER;
            Team_SetCredits(t, settings->credits > INT32_MAX ? INT32_MAX : (int)settings->credits);
            for (int j = 0; j < NET_NODES; j++) td.relation[j] = j == t ? TR_ALLY : TR_ENEMY;
        }
    }
    for (int t = 0; t < NET_NODES; t++)
        if (teamdata[t].type != TT_DISABLED)
            TLOG(TLOG_SETUP, "Launched team %d: type %d colour %d credits %d side %d relations %d%d%d%d%d%d%d%d", t,
                 teamdata[t].type, teamdata[t].colour, teamdata[t].credits, teamdata[t].side, teamdata[t].relation[0],
                 teamdata[t].relation[1], teamdata[t].relation[2], teamdata[t].relation[3], teamdata[t].relation[4],
                 teamdata[t].relation[5], teamdata[t].relation[6], teamdata[t].relation[7]);
    for (int n = 0; n < NET_NODES; n++)
        if (active[n] && settings->slottypes[n] >= COMPUTER_EASY && settings->slottypes[n] <= COMPUTER_HARD)
            session->players[n].flags &= ~NET_PLAYER_ACTIVE;
}

void MM_chat_update_game(void)
{
    Net_Lock();
    MM_chat_update_game_from(&g_NetSession, &g_NetSettings, g_NetOwnNode);
    Net_Unlock();
}
