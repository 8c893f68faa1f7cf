#include "rules/tfgen.h"

#include <cstring>
#include <iterator>
#include <memory>

#include "core/gamestate.h"
#include "core/tfparse.h"
#include "units/team.h"

GENERALRULES g_General;

enum { HEALTH_LOW = 33, HEALTH_HIGH = 66, SFX_RADIUS = 40 };

static void ResetPerParse(void)
{
    g_General.healthlow = HEALTH_LOW;
    g_General.healthhigh = HEALTH_HIGH;
    g_General.sfxradius = SFX_RADIUS;
}

void Tfgen_Reset(void)
{
    g_General = GENERALRULES{};
    ResetPerParse();
}

// "(" count integers ")"; the end of the text inside is as fatal as a wrong
// token, since a truncated file would otherwise pass for a whole one.
static void ReadInts(TF_PARSER* parser, int count, int* v)
{
    int ok = 0;
    switch (count) {
    case 1: ok = TF_GetParenInt(parser, &v[0]); break;
    case 2: ok = TF_GetParenInt2(parser, &v[0], &v[1]); break;
    default: ok = TF_GetParenInt3(parser, &v[0], &v[1], &v[2]); break;
    }
    if (!ok) TF_ReportExpected(parser, "_number_", "EOF");
}

static void SetSfxRadius(const int* v)
{
    g_General.sfxradius = v[0] < 2 ? 1 : v[0];
}

static void SetHealthLevels(const int* v)
{
    g_General.healthlow = v[0];
    g_General.healthhigh = v[1];
}

static void SetTactAI(const int* v)
{
    for (int team = 0; team < TEAM_MAXTEAMS; team++) {
        Team_SetDefaultTenacity(team, v[0]);
        Team_SetDefaultAutonomy(team, v[1]);
        Team_SetDefaultSelfPres(team, v[2]);
    }
}

static void SetInitialGameSpd(const int* v)
{
    Game_SetUpdatesPerSecond(v[0]);
}

static const struct {
    const char* keyword;
    int count;
    int* field;                  // a plain value, or
    void (*apply)(const int* v); // a setter
} s_keywords[] = {
    {"SetHealSpeed", 1, &g_General.healspeed, nullptr},
    {"SetHealCost", 1, &g_General.healcost, nullptr},
    {"SetRepairSpeed", 1, &g_General.repairspeed, nullptr},
    {"SetRepairCost", 1, &g_General.repaircost, nullptr},
    {"SetRearmSpeed", 1, &g_General.rearmspeed, nullptr},
    {"SetHealthLevels", 2, nullptr, SetHealthLevels},
    {"SetInitialGameSpd", 1, nullptr, SetInitialGameSpd},
    {"SetSfxRadius", 1, nullptr, SetSfxRadius},
    {"SetTactAI", 3, nullptr, SetTactAI},
};

int Tfgen_ParseLine(TF_PARSER* parser)
{
    ResetPerParse();
    char token[TF_FIELD];
    while (TF_GetToken(parser, token, sizeof token)) {
        const auto* entry = std::begin(s_keywords);
        while (entry != std::end(s_keywords) && strcmp(entry->keyword, token) != 0) entry++;
        if (entry == std::end(s_keywords)) TF_Error(parser, "Unknown string [%s]", token);
        int v[3] = {0, 0, 0};
        ReadInts(parser, entry->count, v);
        if (entry->field) *entry->field = v[0];
        else entry->apply(v);
    }
    return 1;
}

int Tfgen_Load(const char* path)
{
    // Closed on every way out, a fatal error that a test hook turns into a
    // jump included.
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> parser(TF_Open(path), TF_Close);
    if (!parser) return 0;
    return Tfgen_ParseLine(parser.get());
}
