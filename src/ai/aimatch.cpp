#include "ai/aimatch.h"

#include "ai/ai.h"
#include "ai/aip.h"
#include "ai/aiteam.h"
#include "core/debug.h"
#include "core/tlog.h"
#include "units/parts.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/weapon.h"

namespace {

struct AIMATCH_TABLES {
    float basic[UNITS_MAXTYPES];
    float second[UNITS_MAXTYPES];          // always 0
    float multiplier[TEAM_MAXTEAMS][UNITS_MAXTYPES];
    float addend[TEAM_MAXTEAMS][UNITS_MAXTYPES];
};

AIMATCH_TABLES s_match = {};

}   // namespace

float AiMatch_TypeStrength(int type)
{
    const UNITTYPE* unit_type = Units_GetTypePtr(type);
    if (!unit_type) return 0.0f;
    ASSERT(unit_type->partinfo.nrparts > 0);
    float damage = 0.0f, rate = 1.0f;
    for (int p = 0; p < unit_type->partinfo.nrparts; p++) {
        const PARTTYPE* part_type = unit_type->partinfo.parttype[p];
        ASSERT(part_type);
        ASSERT(part_type->nrweapons < 5);
        ASSERT(part_type->nrweapons >= 0);
        if (part_type->nrweapons == 0 || !part_type->weapons[0].type) continue;
        const WEAPONTYPE* w = part_type->weapons[0].type;
        damage = (float)(w->oinfo.hitpoints < 0 ? -w->oinfo.hitpoints : w->oinfo.hitpoints);
        rate = (float)w->firedelay;
        break;
    }
    return rate > 0.0f ? damage / rate : damage;
}

void AI_Match_Init(void)
{
    TLOG(TLOG_AI, "AI_Match_Init");
    for (int t = 0; t < UNITS_MAXTYPES; t++) {
        const UNITTYPE* type = Units_GetTypePtr(t);
        s_match.basic[t] = type ? AiMatch_TypeStrength(t) : 0.0f;
        s_match.second[t] = 0.0f;
        if (type)
            TLOG(TLOG_AI, "Unit Name '%s' Symbol '%s' strength %4.4f basic %4.4f", type->description,
                 type->symbolid, (double)s_match.basic[t], (double)s_match.basic[t]);
    }
}

void AI_Match_Close(void)
{
    for (int t = 0; t < UNITS_MAXTYPES; t++) s_match.basic[t] = s_match.second[t] = 0.0f;
    for (int team = 0; team < TEAM_MAXTEAMS; team++) AiMatch_ResetFactors(team);
}

void AiMatch_ResetFactors(int team)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    for (int t = 0; t < UNITS_MAXTYPES; t++) s_match.multiplier[team][t] = s_match.addend[team][t] = 1.0f;
}

void AiMatch_ApplyPlan(int team)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    const AI_Team* the_team = AI_GetTeam(team);
    if (!the_team || !the_team->plan) return;
    const AIP_struct* plan = the_team->plan;
    for (int t = 0; t < UNITS_MAXTYPES; t++) {
        s_match.multiplier[team][t] = plan->unit_matching[t] * s_match.basic[t];
        s_match.addend[team][t] = plan->unit_matching[t] * s_match.second[t];
    }
}

int AiMatch_UnitStrength(const UNIT* the_unit, int team)
{
    ASSERT(the_unit);
    ASSERT(the_unit->type);
    const AI_Team* the_team = AI_GetTeam(team);
    ASSERT(the_team);
    const int unit_type = the_unit->type->unittypeid;
    ASSERT(unit_type >= 0);
    ASSERT(unit_type < Units_UnitTypeCount());
    const int s = (int)((float)the_unit->hitpoints * s_match.multiplier[team][unit_type] +
                        s_match.addend[team][unit_type]);
    return s < 1 ? 1 : s;
}

float AiMatch_Multiplier(int team, int type)
{
    return team >= 0 && team < TEAM_MAXTEAMS && type >= 0 && type < UNITS_MAXTYPES
               ? s_match.multiplier[team][type]
               : 0.0f;
}
