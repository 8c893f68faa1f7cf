#include "ai/aidebug.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "ai/ai.h"
#include "ai/aigrid.h"
#include "ai/aip.h"
#include "ai/aiteam.h"
#include "ai/squad.h"
#include "core/console.h"
#include "core/tlog.h"
#include "units/team.h"

namespace {

int s_team = -1;   // kept for the run of the program

int Is(const char* word, const char* name) { return strcasecmp(word, name) == 0; }

int Selected(void) { return s_team >= 0 && s_team < TEAM_MAXTEAMS; }

// The selected team's AI record; prints why not and gives null otherwise.
AI_Team* SelectedAiTeam(void)
{
    if (!Selected()) {
        Console_PrintLine("Select team number with team cmd");
        return nullptr;
    }
    if (!AI_IsComputerTeam(s_team)) {
        Console_PrintLine("The team is not an ai team!");
        return nullptr;
    }
    return AI_GetTeam(s_team);
}

AIP_struct* SelectedPlan(void)
{
    AI_Team* t = SelectedAiTeam();
    if (!t) return nullptr;
    if (!t->plan) Console_Printf("Team %d has no AIP", s_team);
    return t->plan;
}

// The next token as a number; 0 when there is none.
int NextInt(int* have)
{
    *have = Console_NextToken();
    return *have ? Console_TokenInt() : 0;
}

void Team(void)
{
    int have;
    const int team = NextInt(&have);
    if (have && team >= 1 && team <= 8) {
        s_team = team;
        Console_Printf("Changed to Team #%d", team);
    } else {
        Console_PrintLine("team team#");
    }
}

void SwitchAll(int on)
{
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        if (!AI_IsComputerTeam(t)) continue;
        if (on) AI_Activate(t);
        else AI_Deactivate(t);
        Console_Printf(on ? "AI processing enabled for team %d" : "AI processing disabled for team %d", t);
    }
}

void SwitchOne(int on)
{
    if (!Selected()) {
        Console_PrintLine("please specify a team with the team command");
        return;
    }
    if (!AI_IsComputerTeam(s_team)) {
        Console_PrintLine("The team is not an ai team!");
        return;
    }
    if (on) AI_Activate(s_team);
    else AI_Deactivate(s_team);
    Console_Printf(on ? "AI processing enabled for team %d" : "AI processing disabled for team %d", s_team);
}

void LoadAip(void)
{
    if (!Console_NextToken() || !*Console_Token()) {
        Console_PrintLine("load_aip filename");
        return;
    }
    const std::string name = Console_Token();
    AI_Team* t = SelectedAiTeam();
    if (!t) return;
    // Through the frame's loader: the plan joins the plan list, which frees
    // it at the end of the game.
    AIP_struct* plan = AI_AIPLoad(name.c_str());
    if (!plan) {
        Console_PrintLine("Could not find .AIP  file");
        TLOG(TLOG_AI, "AI Debug Console could not load aip file %s", name.c_str());
        return;
    }
    AI_Team::SetPlan(t, plan);
}

void CellDump(void)
{
    int have_c, have_r;
    const int column = NextInt(&have_c), row = NextInt(&have_r);
    AI_Team* t = SelectedAiTeam();
    if (!t) return;
    const AI_TARGETS& g = t->strategic_targets;
    if (column < 0 || row < 0 || column >= g.grid_columns || row >= g.grid_rows) {
        Console_PrintLine("Invalid Cell Number");
        return;
    }
    const GRIDCELL* c = AI_GridCell(t, column, row);
    if (!c) {
        Console_PrintLine("Invalid Cell: NULL Pointer");
        return;
    }
    const int k = row * g.grid_columns + column;
    Console_PrintLine("");
    Console_Printf("TEAM %d.  GRIDCELL ( %d, %d):", s_team, column, row);
    Console_PrintLine(AI_GoalLabel(c->goal));
    Console_Printf("Priority: %10.2f", (double)c->priority);
    Console_Printf("Raw Priority: %10.2f", (double)c->raw_priority);
    Console_Printf("Threat: %d              Enemy Units:  %d", c->threat, c->enemy_units);
    Console_Printf("Our Units:  %d", c->non_enemy_units);
    Console_Printf("Ground Strength: %d     Air Strength: %d", c->enemy_ground_strength, c->enemy_air_strength);
    Console_Printf("Non Combat: %d", c->non_combat);
    Console_Printf("Enemy Buildings: %f     Ours: %f", (double)c->enemy_building_value,
                   (double)c->own_building_value);
    Console_Printf("Scripted Value:  %d", c->scripted_value);
    Console_Printf("Distance from Base: %d", g.distance_from_base[k]);
    Console_PrintLine(g.scouted[k] ? "SCOUTED" : "UNEXPLORED");
    if (g.base[k]) Console_PrintLine("IN BASE");
    if (c->squad_ptr) Console_Printf("SQUAD: %d", c->squad_ptr->id);
    else Console_PrintLine("SQUAD: None");
    Console_PrintLine("");
}

const char* GoalLetter(const GRIDCELL* c)
{
    switch (c->goal) {
    case NO_GOAL: return "_";
    case DEFEND_BASE: return c->event_state == 1 ? "X" : c->event_state == 2 ? "d" : "D";
    case ATTACK_TROOPS: return "A";
    case SEIGE: return "S";
    case EXPLORATION: return "E";
    case MANUALLY_SCRIPTED: return "M";
    case PERIMETER: return c->event_state == 2 ? "p" : "P";
    case RESOURCE_GOAL: return "R";
    default: return "*";
    }
}

// trunc(9 x (v - low) / (high - low)) within 0..9; 0 for an empty range.
int Digit(double v, double low, double high)
{
    if (high == low) return 0;
    const double d = 9.0 * (v - low) / (high - low);
    return d < 0 ? 0 : d > 9 ? 9 : (int)d;
}

std::string Entry(const AI_Team* t, const GRIDCELL* c, char view)
{
    const AI_TARGETS& g = t->strategic_targets;
    const int k = c->row * g.grid_columns + c->column;
    char text[16];
    switch (view) {
    case 'b':
        if (g.distance_from_base[k] > 9) return "*";
        snprintf(text, sizeof text, "%d", g.distance_from_base[k]);
        return text;
    case 'd':
        if (c->danger > 9) return "++ ";
        if (c->danger < -9) return "-- ";
        snprintf(text, sizeof text, c->danger < 0 ? "-%d " : "+%d ", std::abs((int)c->danger));
        return text;
    case 'g': return GoalLetter(c);
    case 's': return c->squad_ptr ? GoalLetter(c) : ".";
    case 'p':
        snprintf(text, sizeof text, "%d", Digit(c->raw_priority, t->lowest_raw_priority, t->highest_raw_priority));
        return text;
    case 't':
        snprintf(text, sizeof text, "%d", Digit(c->threat, 0, t->highest_threat));
        return text;
    default: return "*";
    }
}

void Map(void)
{
    const char view = Console_NextToken() ? Console_Token()[0] : '\0';
    AI_Team* t = SelectedAiTeam();
    if (!t) return;
    const AI_TARGETS& g = t->strategic_targets;
    Console_Printf("MAP for team %d", s_team);
    for (int r = 0; r < g.grid_rows; r++) {
        std::string line;
        for (int c = 0; c < g.grid_columns; c++) {
            const GRIDCELL* cell = AI_GridCell(t, c, r);
            if (!cell) {
                Console_PrintLine("Invalid Cell: NULL Pointer");
                return;
            }
            line += Entry(t, cell, view);
        }
        Console_PrintLine(line.c_str());
    }
}

void ParameterDump(const AIP_struct* p)
{
    Console_PrintLine("AIP Parameters:");
    Console_PrintLine("---------------");
    Console_Printf("Threat:              %d", p->threat_priority);
    Console_Printf("Distance:            %d", p->distance_priority);
    Console_Printf("Defend Base:         %d", p->defend_buildings_priority);
    Console_Printf("Defend Perimeter:    %d", p->perimeter_priority);
    Console_Printf("Attack Enemy Base:   %d", p->attack_enemy_base_priority);
    Console_Printf("Persistence:         %d", p->persistence_priority);
    Console_Printf("Exploration:         %d", p->exploration_priority);
    Console_Printf("Scripted:            %d", p->scripted_priority);
    Console_Printf("Singe Use Bonus:     %d", p->single_use_group_priority);
    Console_Printf("Match:    %lf-> %lf", p->min_matching_force_ratio, p->max_matching_force_ratio);
    Console_Printf("Defend Forces: %d->%d", p->min_building_defense_force, p->max_building_defense_force);
    Console_Printf("Perimeter Frc: %d->%d", p->min_perimeter_force, p->max_perimeter_force);
    Console_Printf("Explore Force: %d->%d", p->min_exploration_force, p->max_exploration_force);
    Console_Printf("Resource Force: %d->%d", p->min_resource_force, p->max_resource_force);
    Console_Printf("Cycles, Coeff: %d, %f", p->relaxation_cycles, (double)p->relaxation_coefficient);
    Console_Printf("Recompute:           %d cycles", p->recompute_strategy_period);
    Console_PrintLine(p->filename);
}

// One settable parameter: its name, its field and its two lines.
struct PARAMETER {
    const char* name;
    int32_t AIP_struct::* i;
    double AIP_struct::* d;
    float AIP_struct::* f;
    const char* old_line;
    const char* new_line;
};

const PARAMETER s_parameters[] = {
    {"threat", &AIP_struct::threat_priority, nullptr, nullptr, "Old Threat:              %d",
     "New Threat:              %d"},
    {"distance", &AIP_struct::distance_priority, nullptr, nullptr, "Old Distance:            %d",
     "New Distance:            %d"},
    {"defend", &AIP_struct::defend_buildings_priority, nullptr, nullptr, "Old Defend Base:         %d",
     "New Defend Base:         %d"},
    {"attack", &AIP_struct::attack_enemy_base_priority, nullptr, nullptr, "Old Attack Enemy Base:   %d",
     "New Attack Enemy Base:   %d"},
    {"persist", &AIP_struct::persistence_priority, nullptr, nullptr, "Old Persistence:         %d",
     "New Persistence:         %d"},
    {"explore", &AIP_struct::exploration_priority, nullptr, nullptr, "Old Exploration:         %d",
     "New Exploration:         %d"},
    {"scripted", &AIP_struct::scripted_priority, nullptr, nullptr, "Old Scripted:            %d",
     "New Scripted:            %d"},
    {"min_match", nullptr, &AIP_struct::min_matching_force_ratio, nullptr, "Old Min Match:           %lf",
     "New Min Match:           %lf"},
    {"max_match", nullptr, &AIP_struct::max_matching_force_ratio, nullptr, "Old Max Match:           %lf",
     "New Max Match:           %lf"},
    {"min_defend", &AIP_struct::min_building_defense_force, nullptr, nullptr, "Old Min Defend:          %d",
     "New Min Defend:          %d"},
    {"max_defend", &AIP_struct::max_building_defense_force, nullptr, nullptr, "Max Defend:          %d",
     "Max Defend:          %d"},
    {"cycles", &AIP_struct::relaxation_cycles, nullptr, nullptr, "Old Relax Cycles:        %d",
     "New Relax Cycles:        %d"},
    {"coeff", nullptr, nullptr, &AIP_struct::relaxation_coefficient, "Old Relax Coefficient:   %f",
     "New Relax Coefficient:   %f"},
    {"period", &AIP_struct::recompute_strategy_period, nullptr, nullptr, "Old Recompute Period:   %d cycles",
     "New Recompute Period:   %d cycles"},
    {"single", &AIP_struct::single_use_group_priority, nullptr, nullptr, "Old Single Use Bonus:   %d cycles",
     "New Single Use Bonus:   %d cycles"},
};

void PrintValue(const PARAMETER& p, const AIP_struct* plan, const char* fmt)
{
    if (p.i) Console_Printf(fmt, plan->*p.i);
    else if (p.d) Console_Printf(fmt, plan->*p.d);
    else Console_Printf(fmt, (double)(plan->*p.f));
}

void Aip(void)
{
    if (!Console_NextToken()) {
        Console_PrintLine("Command not recognised");
        return;
    }
    const std::string word = Console_Token();
    if (Is(word.c_str(), "display") || Is(word.c_str(), "dis")) {
        if (const AIP_struct* plan = SelectedPlan()) ParameterDump(plan);
        return;
    }
    for (const PARAMETER& p : s_parameters) {
        if (!Is(word.c_str(), p.name)) continue;
        int have;
        const int value = NextInt(&have);
        AIP_struct* plan = SelectedPlan();
        if (!plan) return;
        PrintValue(p, plan, p.old_line);
        if (p.i) plan->*p.i = value;
        else if (p.d) plan->*p.d = value;
        else plan->*p.f = (float)value;
        PrintValue(p, plan, p.new_line);
        return;
    }
    Console_PrintLine("Command not recognised");
}

void Help(void)
{
    Console_PrintLine("AI Console");
    Console_PrintLine("Help currently unavailable");
    Console_PrintLine("exit or bye to quit");
}

struct COMMAND {
    const char* name;
    void (*fn)(void);
};

void EnableAll(void) { SwitchAll(1); }
void DisableAll(void) { SwitchAll(0); }
void Enable(void) { SwitchOne(1); }
void Disable(void) { SwitchOne(0); }

const COMMAND s_commands[] = {
    {"team", Team},         {"enable_all", EnableAll}, {"disable_all", DisableAll}, {"enable", Enable},
    {"disable", Disable},   {"load_aip", LoadAip},     {"grid_cell", CellDump},     {"gc", CellDump},
    {"map", Map},           {"m", Map},                {"aip", Aip},                {"help", Help},
    {"?", Help},
};

}   // namespace

void AiDebug_Console(void)
{
    const std::string before = Console_Prompt();
    Console_SetPrompt("AI> ");
    Console_PrintLine("");
    Console_PrintLine("AI Debug Console");
    Console_PrintLine("Type exit to exit");
    int skip_blank = 0;
    for (;;) {
        if (!skip_blank) Console_PrintLine("");
        skip_blank = 0;
        Console_ShowPrompt();
        if (!Console_ReadLine()) break;
        if (!Console_NextToken()) {
            skip_blank = 1;
            continue;
        }
        const std::string command = Console_Token();
        if (Is(command.c_str(), "exit") || Is(command.c_str(), "bye")) break;
        const COMMAND* found = nullptr;
        for (const COMMAND& c : s_commands)
            if (Is(command.c_str(), c.name)) found = &c;
        if (found) found->fn();
        else Console_PrintLine("Command not recognised");
    }
    Console_SetPrompt(before.c_str());
}

int AiDebug_SelectedTeam(void) { return s_team; }

void AiDebug_Register(void) { Console_AddCommand("ai", AiDebug_Console); }

void AiDebug_Unregister(void) { Console_RemoveCommand("ai"); }
