#include "support/rigs.h"

#include <cstring>

#include "core/gamestate.h"
#include "multi/mmchat.h"
#include "units/building.h"
#include "units/team.h"

void Rigs_Launch(const char* map, int slots, const int* sides, int human, uint32_t credits)
{
    NetSession session{};
    NetGameSettings settings{};
    settings.options = MM_OPT_THREERIGS | MM_OPT_FOG | MM_OPT_SHROUD | MM_OPT_VELKIN;
    settings.credits = credits;
    for (int n = 0; n < RIGS_SLOTS; n++) {
        NetNodeSettings& s = settings.node[n];
        s.team = (uint8_t)n;
        s.colour = NET_NO_COLOUR;
        s.side = -1;
        settings.slottypes[n] = AVAILABLE;
        if (n >= slots) continue;
        session.players[n].flags = NET_PLAYER_ACTIVE;
        settings.slottypes[n] = n == human ? HUMAN : COMPUTER_MEDIUM;
        s.side = (int8_t)sides[n];
        memset(s.relations, TR_ENEMY, sizeof s.relations);
    }
    MM_chat_update_game_from(&session, &settings, human >= 0 ? human : 0);
    if (human < 0) g_LocalTeam = TEAM_NEUTRAL;
    Game_SetScenarioName(map);
}

void Rigs_WorksInit(RIGS_WORKS* w)
{
    for (int t = 0; t < RIGS_SLOTS; t++) w->depot[t] = w->factory[t] = -1;
}

void Rigs_WorksWatch(RIGS_WORKS* w)
{
    for (int t = 0; t < RIGS_SLOTS; t++)
        for (const BUILDING* b = teamdata[t].firstbuilding; b; b = b->teamnext) {
            if (!b->complete) continue;
            const char* name = b->buildingtype->name;
            int* seen = !strcmp(name, "DemoDepot") ? &w->depot[t]
                        : !strcmp(name, "DemoFactory") || !strcmp(name, "DemoBigFactory") ? &w->factory[t]
                                                                                           : nullptr;
            if (seen && *seen < 0) *seen = (int)g_UpdateCount;
        }
}
