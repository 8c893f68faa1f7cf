#include "ai/aip.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "core/debug.h"
#include "core/gamestate.h"
#include "core/parse.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "units/prereq.h"
#include "units/unit.h"

namespace {

enum { AIP_NAME = 160 };

struct AIP_SCALAR {
    const char* name;
    int kind;        // PARSE_INT, PARSE_FLOAT, PARSE_DOUBLE
    size_t offset;
};

#define AIP_INT(f) {#f, PARSE_INT, offsetof(AIP_struct, f)}
#define AIP_FLOAT(f) {#f, PARSE_FLOAT, offsetof(AIP_struct, f)}
#define AIP_DOUBLE(f) {#f, PARSE_DOUBLE, offsetof(AIP_struct, f)}

// In the order the plans have always been read; danger_diminishment and
// repair_buildings have defaults of their own and are read apart.
const AIP_SCALAR s_scalars[] = {
    AIP_INT(ground_unit_threat),         AIP_INT(threat_priority),
    AIP_INT(distance_priority),          AIP_INT(defend_buildings_priority),
    AIP_INT(perimeter_priority),         AIP_INT(appropriateness_priority),
    AIP_INT(persistence_priority),       AIP_INT(exploration_priority),
    AIP_INT(scripted_priority),          AIP_INT(resource_priority),
    AIP_INT(danger_priority),            AIP_FLOAT(danger_diminishment),
    AIP_INT(attack_enemy_base_priority), AIP_INT(single_use_group_priority),
    AIP_INT(relaxation_cycles),          AIP_FLOAT(relaxation_coefficient),
    AIP_DOUBLE(max_matching_force_ratio), AIP_DOUBLE(min_matching_force_ratio),
    AIP_DOUBLE(generic_ground_ratio),    AIP_INT(max_building_defense_force),
    AIP_INT(min_building_defense_force), AIP_INT(max_exploration_force),
    AIP_INT(min_exploration_force),      AIP_INT(max_perimeter_force),
    AIP_INT(min_perimeter_force),        AIP_INT(max_resource_force),
    AIP_INT(min_resource_force),         AIP_INT(recompute_strategy_period),
    AIP_INT(repair_buildings),
};

struct AIP_READER {
    PARSE_SCRIPT* script;
    const char* path;
};

int Int(const AIP_READER& r, const char* fmt, const char* array, int i, int* status = nullptr)
{
    char name[AIP_NAME];
    snprintf(name, sizeof name, fmt, array, i);
    return Parse_GetIntPtr(r.script, name, status);
}

float Float(const AIP_READER& r, const char* fmt, const char* array, int i)
{
    char name[AIP_NAME];
    snprintf(name, sizeof name, fmt, array, i);
    return Parse_GetFloatPtr(r.script, name, nullptr);
}

void String(const AIP_READER& r, const char* fmt, const char* array, int i, char* out, size_t size)
{
    char name[AIP_NAME];
    snprintf(name, sizeof name, fmt, array, i);
    Parse_GetStringPtr(r.script, name, nullptr, out, size);
}

// A value the strategic step can't use as written is held to its range and
// logged: passes of threat spreading beyond what the largest grid can use
// only cost time (two billion hung the game), and a period near the 32-bit
// limit overflows the first recompute's time. -1 is what a missing value
// reads and stays as it is.
void Clamp(const AIP_READER& r, const char* key, int32_t* v, int32_t lo, int32_t hi)
{
    if (*v >= lo && *v <= hi) return;
    const int32_t to = *v < lo ? lo : hi;
    TLOG(TLOG_ERROR, "%s: %s %d out of range, %d taken", r.path, key, *v, to);
    *v = to;
}

// The same for a float or a double; one that is no number is taken as 0.
template <typename T> void ClampReal(const AIP_READER& r, const char* key, T* v)
{
    const double d = (double)*v;
    if (d >= -AIP_MAXREAL && d <= AIP_MAXREAL) return;
    const double to = d > AIP_MAXREAL ? AIP_MAXREAL : d < -AIP_MAXREAL ? -AIP_MAXREAL : 0.0;
    TLOG(TLOG_ERROR, "%s: %s %g out of range, %g taken", r.path, key, d, to);
    *v = (T)to;
}

void ClampScalars(const AIP_READER& r, AIP_struct* plan)
{
    Clamp(r, "relaxation_cycles", &plan->relaxation_cycles, -1, AIP_MAXRELAX);
    Clamp(r, "recompute_strategy_period", &plan->recompute_strategy_period, -1, AIP_MAXPERIOD);
    Clamp(r, "ground_unit_threat", &plan->ground_unit_threat, -AIP_MAXWEIGHT, AIP_MAXWEIGHT);
    for (const AIP_SCALAR& s : s_scalars) {
        char* field = reinterpret_cast<char*>(plan) + s.offset;
        if (s.kind == PARSE_FLOAT) ClampReal(r, s.name, reinterpret_cast<float*>(field));
        else if (s.kind == PARSE_DOUBLE) ClampReal(r, s.name, reinterpret_cast<double*>(field));
    }
}

void ReadScalars(const AIP_READER& r, AIP_struct* plan)
{
    for (const AIP_SCALAR& s : s_scalars) {
        char* field = reinterpret_cast<char*>(plan) + s.offset;
        int status = 0;
        if (s.kind == PARSE_INT) {
            int v = Parse_GetInt(r.script, s.name, &status);
            if (status != 0 && s.offset == offsetof(AIP_struct, repair_buildings)) v = 1;
            memcpy(field, &v, sizeof v);
        } else if (s.kind == PARSE_FLOAT) {
            float v = Parse_GetFloat(r.script, s.name, &status);
            if (status != 0 && s.offset == offsetof(AIP_struct, danger_diminishment)) {
                v = (float)Parse_GetInt(r.script, s.name, &status);
                if (status != 0) v = 1.0f;
            }
            memcpy(field, &v, sizeof v);
        } else {
            const double v = Parse_GetDouble(r.script, s.name, &status);
            memcpy(field, &v, sizeof v);
        }
    }
}

// One entry of an account array, checked before the levels are counted: the
// setters would assert on what a hand-written plan can easily hold.
struct AIP_ENTRY {
    int priority, build_type, amount, index;
};

int ReadEntry(const AIP_READER& r, const char* array, int i, AIP_ENTRY* e)
{
    e->index = i;
    e->priority = Int(r, "%s[%d].priority", array, i);
    e->build_type = Int(r, "%s[%d].build_type", array, i);
    e->amount = Int(r, "%s[%d].build_amount", array, i);
    const char* what = nullptr;
    if (e->priority < 0 || e->priority > AIBUILD_MAX_PRIORITY) what = "priority";
    else if (e->build_type < 0 || e->build_type > RATIO_TO_HAVE) what = "build type";
    else if (e->amount < 1) what = "amount";
    if (!what) return 1;
    TLOG(TLOG_ERROR, "%s: %s[%d]: %s %d out of range, entry skipped", r.path, array, i, what,
         what[0] == 'p' ? e->priority : what[0] == 'b' ? e->build_type : e->amount);
    return 0;
}

// The end of the level that starts at first: the entries of its priority,
// at most MAX_NODES - 1 (a longer run opens another level of that priority).
int GroupEnd(const AIP_ENTRY* entries, int n, int first)
{
    int last = first + 1;
    while (last < n && entries[last].priority == entries[first].priority &&
           last - first < MAX_NODES - 1)
        last++;
    return last;
}

// The account named by array: consecutive entries of one priority form a
// level (build type of its first entry). Null when the array is missing or
// holds no usable entry.
AIBUILD_ACCOUNT* LoadAccount(const AIP_READER& r, const char* array)
{
    int status = 0;
    const int size = Parse_GetArraySize(r.script, array, &status);
    if (status != 0 || size <= 0) {
        TLOG(TLOG_ERROR, "%s: account '%s' missing or empty, slot left empty", r.path, array);
        return nullptr;
    }
    AIP_ENTRY* entries = static_cast<AIP_ENTRY*>(Debug_Calloc((size_t)size, sizeof(AIP_ENTRY)));
    int n = 0, levels = 0;
    for (int i = 0; i < size; i++) n += ReadEntry(r, array, i, &entries[n]);
    for (int first = 0; first < n; first = GroupEnd(entries, n, first)) levels++;
    AIBUILD_ACCOUNT* account = nullptr;
    if (n > 0) account = AIBuild_AccountNew(levels);
    for (int first = 0, level = 0; first < n; level++) {
        const int last = GroupEnd(entries, n, first);
        const AIP_ENTRY& e = entries[first];
        TLOG(TLOG_AI, "Loading Prioirty Level %d pri %d nodes %d build type %d", level, e.priority,
             last - first, e.build_type);
        AIBuild_AccountSetLevel(account, level, e.priority, last - first, e.build_type);
        for (int k = first; k < last; k++) {
            char item[PREREQ_NAMELEN + 1];
            String(r, "%s[%d].item_name", array, entries[k].index, item, sizeof item);
            const int id = PREREQ_WhatIs(item);
            if (id == 0)
                TLOG(TLOG_ERROR, "UNKOWN UNIT OR BUILDING TYPE '%s' ADDED TO ACCOUNT '%s'", item,
                     array);
            else AIBuild_AccountSetNode(account, level, k - first, id, entries[k].amount);
        }
        first = last;
    }
    Debug_Free(&entries);
    if (!account) TLOG(TLOG_ERROR, "%s: account '%s' has no usable entry, slot left empty", r.path, array);
    return account;
}

void LoadProgram(const AIP_READER& r, AIP_struct* plan)
{
    char name[PREREQ_NAMELEN + 1];
    Parse_GetString(r.script, "transport", nullptr, name, sizeof name);
    plan->transport = (uint16_t)PREREQ_WhatIs(name);
    plan->construction_program = AIBuild_ProgramNew();
    plan->budget = static_cast<int32_t*>(Debug_Calloc(AIBUILD_MAX_ACCOUNTS, sizeof(int32_t)));
    plan->max_reserve = static_cast<int32_t*>(Debug_Calloc(AIBUILD_MAX_ACCOUNTS, sizeof(int32_t)));
    int status = 0;
    const int size = Parse_GetArraySize(r.script, "unit_construction_program", &status);
    for (int i = 0; i < size; i++) {
        if (i >= AIBUILD_MAX_ACCOUNTS) {
            TLOG(TLOG_ERROR, "%s: unit_construction_program[%d]: only %d accounts, entry skipped",
                 r.path, i, AIBUILD_MAX_ACCOUNTS);
            continue;
        }
        char account[PARSE_NAME];
        String(r, "%s[%d].account_name", "unit_construction_program", i, account, sizeof account);
        int budget = Int(r, "%s[%d].budget", "unit_construction_program", i);
        int reserve = Int(r, "%s[%d].max_reserve", "unit_construction_program", i);
        if (AIBUILD_ACCOUNT* a = LoadAccount(r, account))
            AIBuild_ProgramSetAccount(plan->construction_program, i, a);
        if (i > 0) {
            plan->budget[i] = budget < 0 ? 0 : budget;
            plan->max_reserve[i] = reserve < 0 ? 0 : reserve;
        }
    }
}

// The type index of a name in a matching array, -1 (logged) when it is no
// type of the array's kind.
int MatchIndex(const AIP_READER& r, const char* array, int i, const char* member, int building)
{
    char name[PREREQ_NAMELEN + 1];
    char fmt[AIP_NAME];
    snprintf(fmt, sizeof fmt, "%%s[%%d].%s", member);
    String(r, fmt, array, i, name, sizeof name);
    const int id = PREREQ_WhatIs(name);
    const int index =
        building ? PREREQ_MapPrereqIdToBuildingId(id) : PREREQ_MapPrereqIdToUnitId(id);
    const int limit = building ? AIP_BUILDINGTYPES : AIP_UNITTYPES;
    if (index >= 0 && index < limit) return index;
    TLOG(TLOG_ERROR, "%s: %s[%d]: '%s' is no %s type, entry skipped", r.path, array, i, name,
         building ? "building" : "unit");
    return -1;
}

void LoadMatchings(const AIP_READER& r, AIP_struct* plan)
{
    for (int t = 0; t < AIP_UNITTYPES; t++) plan->unit_matching[t] = 1.0f;
    for (int t = 0; t < AIP_BUILDINGTYPES; t++) plan->building_matching[t] = 1.0f;
    int status = 0;
    int size = Parse_GetArraySize(r.script, "My_Matchings", &status);
    for (int i = 0; i < size; i++) {
        const int t = MatchIndex(r, "My_Matchings", i, "unit_name", 0);
        if (t >= 0) plan->unit_matching[t] = Float(r, "%s[%d].multiplier", "My_Matchings", i);
    }
    size = Parse_GetArraySize(r.script, "My_Building_Matchings", &status);
    for (int i = 0; i < size; i++) {
        const int t = MatchIndex(r, "My_Building_Matchings", i, "unit_name", 1);
        if (t < 0) continue;
        plan->building_matching[t] = Float(r, "%s[%d].multiplier", "My_Building_Matchings", i);
        plan->build_pos[t] = Int(r, "%s[%d].build_pos", "My_Building_Matchings", i);
    }
    size = Parse_GetArraySize(r.script, "My_Match_ups", &status);
    for (int i = 0; i < size; i++) {
        const int t = MatchIndex(r, "My_Match_ups", i, "unit_name", 0);
        const int m = t < 0 ? -1 : MatchIndex(r, "My_Match_ups", i, "match_up_name", 0);
        if (m < 0) continue;
        plan->match_up[t] = Units_GetTypePtr(m);
        plan->match_amount[t] = Float(r, "%s[%d].match_amount", "My_Match_ups", i);
    }
}

}   // namespace

AIP_struct* AIP_Load(const char* path)
{
    PARSE_SCRIPT* script = IParse_NewScript();
    Parse_AddIncludeDir(script, g_HomeDir);
    // A syntax error (1) leaves a script that ran only in part: a plan made
    // from it would steer the computer player by defaults nobody chose.
    if (IParse_LoadScript(path, script) != PARSE_OK) {
        Parse_FreeData(script);
        return nullptr;
    }
    AIP_struct* plan = static_cast<AIP_struct*>(Debug_Calloc(1, sizeof(AIP_struct)));
    const AIP_READER r = {script, path};
    ReadScalars(r, plan);
    ClampScalars(r, plan);
    LoadProgram(r, plan);
    LoadMatchings(r, plan);
    Parse_FreeData(script);
    AIP_Restart(plan);
    const char* base = path;
    for (const char* c = path; *c; c++)
        if (*c == '\\' || *c == '/') base = c + 1;
    Str_CopySafe(plan->filename, base, sizeof plan->filename);
    return plan;
}

void AIP_Restart(AIP_struct* plan)
{
    plan->target_mode = 0;
    // Wide: the debug console may have set any period.
    plan->last_recompute = (int32_t)-((int64_t)plan->recompute_strategy_period + 1);
    for (float& need : plan->match_up_need) need = 0.0f;
    if (!plan->construction_program) return;
    for (AIBUILD_ACCOUNT* account : plan->construction_program->account)
        for (int l = 0; account && l < account->priority_levels; l++) AIBuild_LevelReset(&account->priority_level[l]);
}

int32_t AIP_SaturateInt(double v)
{
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return (int32_t)v;
}

void AIP_Delete(AIP_struct* plan)
{
    ASSERT(plan);
    TLOG(TLOG_AI, "AIP_Delete: Deleting aip's construction program");
    AIBuild_ProgramDelete(plan->construction_program);
    Debug_Free(&plan->budget);
    Debug_Free(&plan->max_reserve);
    TLOG(TLOG_AI, "    Done");
    Debug_Free(&plan);
}
