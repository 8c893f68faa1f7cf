// The eight computer bases of the fixture AIBASES played long: the tankers
// crowd round the depots' and factories' doors, where units each waiting for
// the next one's tile closed rings that stood for good, and lines of units
// stood behind idle units and units coming the other way, sealing the
// factories. No ring stands now, every factory keeps delivering, and no
// unit waits more than LIMIT updates on one tile: in the crowds of idle
// units late in the game, lines behind units that kept waiting stood for
// hundreds. The longest wait is printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "core/config.h"
#include "core/gamestate.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "aigamefixture.h"
#include "support/testsupport.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/unit.h"
#include "map/map.h"
#include "map/path.h"

namespace {

// A finished unit waits inside only while every tile round its factory is
// taken; the computer player sends idle units off that ring every nine
// updates and a unit held up there goes round once its patience is out, so
// a factory sealed for longer than a unit may wait is a fault.
enum { BASES = 8, UPDATES = 8000, LIMIT = 200, HELDLIMIT = 200, LATE = 2000 };

using AiBasesFlow = AiGameFixture;

// A unit that wants to go on (waiting for a tile or a path) and has not left
// its tile since it began: since when it has stood so.
struct Wait {
    int x = 0, y = 0, since = -1;
};

// 1 when the unit waits for a tile in a ring of units each waiting for the
// next one's tile, back to itself.
bool InWaitingRing(const UNIT* u)
{
    const UNIT* v = u;
    for (int n = 0; n < 100; n++) {
        int x, y;
        if (v->state != US_WAITFOROBSTACLE || !Path_Peek(&v->move.path, &x, &y, 0)) return false;
        v = MAP_ELEMENT_AT(x, y)->unit[v->maplevel];
        if (v == nullptr) return false;
        if (v == u) return true;
    }
    return false;
}

TEST_F(AiBasesFlow, WaitingRingsAtTheFactoryDoorsNoLongerStandForGood)
{
    Game_SetScenarioName("AIBASES");
    InitCommonGameSystems();
    InitGameSpecifics();
    g_GameState = GS_INGAME;
    std::map<uint32_t, Wait> waits;
    int longest = 0, longestid = -1, ring = 0, ringid = -1;
    // Per base: the updates in a row its factory held a finished unit it
    // could not put out (longest), and the update of its last unit made.
    std::map<int, int> held, heldmost;   // by factory id
    int madeat[BASES] = {}, made[BASES] = {}, madelate[BASES] = {};
    while (g_GameState == GS_INGAME && (int)g_UpdateCount < UPDATES) {
        Game_Update();
        Orders_AfterUpdate();
        const int now = (int)g_UpdateCount;
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) {
            Wait& w = waits[u->id];
            const bool waiting = u->onmap && (u->state == US_WAITFOROBSTACLE || u->state == US_WAITFORPATH);
            if (!waiting || w.since < 0 || w.x != u->tilepos.x || w.y != u->tilepos.y)
                w = waiting ? Wait{u->tilepos.x, u->tilepos.y, now} : Wait{};
            if (w.since < 0) continue;
            if (now - w.since > longest) longest = now - w.since, longestid = (int)u->id;
            // Rings are looked for among the long waits only, now and then.
            if (now % 50 == 0 && now - w.since > LIMIT && now - w.since > ring && InWaitingRing(u))
                ring = now - w.since, ringid = (int)u->id;
        }
        for (int t = 0; t < BASES; t++) {
            for (const BUILDING* b = teamdata[t].firstbuilding; b; b = b->teamnext) {
                if (!(b->buildingtype->flags & BTF_CANMAKE)) continue;
                int& h = held[b->id];
                h = b->state == BS_PRODUCING && b->prodleft <= 0 && b->costleft <= 0 ? h + 1 : 0;
                heldmost[b->id] = std::max(heldmost[b->id], h);
            }
            if (teamdata[t].stats.made_units != made[t]) {
                madeat[t] = now;
                if (now > LATE) madelate[t]++;
            }
            made[t] = teamdata[t].stats.made_units;
        }
    }
    printf("longest wait: %d updates (unit %d); longest in a ring: %d (unit %d)\n", longest, longestid, ring,
           ringid);
    for (int t = 0; t < BASES; t++) {
        printf("base %d: %d units made, %d after update %d, the last at update %d\n", t, made[t], madelate[t], LATE,
               madeat[t]);
        EXPECT_GT(madelate[t], 0) << "base " << t << " delivers nothing after update " << LATE;
    }
    for (const auto& [id, most] : heldmost) {
        printf("factory %d: a finished unit held at most %d updates\n", id, most);
        EXPECT_LE(most, HELDLIMIT) << "factory " << id << " can't put its unit out";
    }
    EXPECT_EQ((int)g_UpdateCount, UPDATES) << "the game ended early";
    EXPECT_LE(ring, LIMIT) << "unit " << ringid << " waits in a ring";
    EXPECT_LE(longest, LIMIT) << "unit " << longestid << " waits too long";
    CloseGameSpecifics();
    CloseCommonGameSystems();
}

// Buildings are solid: units stood on depots and factories all game (DEMO
// 14 of them, AIBASES hundreds). No ground unit stands on a footprint tile
// but the bay, open whether or not its type makes units (the wells and
// water works have bays they share a grid with the bayless depot), and the
// tankers still deliver through the bays.
using UnitsInPlayFootprints = AiGameFixture;

TEST_F(UnitsInPlayFootprints, RegressionNoGroundUnitStandsOnABuildingButAtItsBay)
{
    // The demo's player is the local team; its clock ends the game at update
    // 2704 with a picture that waits for the player.
    const struct {
        const char* scenario;
        int local, until;
    } games[] = {{"DEMO", 0, 2700}, {"AIBASES", 8, 3000}};
    for (const auto& [scenario, local, until] : games) {
        SCOPED_TRACE(scenario);
        Game_ResetState();
        g_LocalTeam = local;
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Game_SetScenarioName(scenario);
        InitCommonGameSystems();
        InitGameSpecifics();
        g_GameState = GS_INGAME;
        int on = 0, firstat = -1, bays = 0;
        while (g_GameState == GS_INGAME && (int)g_UpdateCount < until) {
            Game_Update();
            Orders_AfterUpdate();
            for (int team = 0; team < TEAM_MAXTEAMS; team++)
            for (const BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext) {
                const BUILDINGTYPE* t = b->buildingtype;
                if (!b->effectswritten) continue;
                for (int cy = 0; cy < t->height; cy++)
                    for (int cx = 0; cx < t->width; cx++) {
                        const UNIT* u = MAP_ELEMENT_AT(b->tilex + cx, b->tiley + cy)->unit[ML_GROUND];
                        if (!Build_TypeCovers(t, cx, cy) || u == nullptr) continue;
                        if (cx == t->bayx && cy == t->bayy) bays++;
                        else if (on++ == 0) firstat = (int)g_UpdateCount;
                    }
            }
        }
        int collected = 0;
        for (int t = 0; t < BASES; t++)
            for (int r = 0; r < TEAM_RESOURCES; r++) collected += teamdata[t].stats.collected[r];
        printf("%s: %d units on footprints by update %u (the first at %d), %d at bays; %d collected\n", scenario,
               on, g_UpdateCount, firstat, bays, collected);
        EXPECT_EQ(on, 0) << "the first at update " << firstat;
        if (strcmp(scenario, "AIBASES") == 0) {
            EXPECT_GT(bays, 0) << "the bays are open";
            EXPECT_GT(collected, 0) << "the tankers deliver";
        }
        CloseGameSpecifics();
        CloseCommonGameSystems();
    }
}

} // namespace
