// The damage table, the damage formula and the "damage.txt" loader.
#include "units/damage.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <strings.h>

#include "core/debug.h"
#include "core/guard.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "core/utils.h"

// The assertion texts name these, so they keep the names the contracts use.
static int offensiveclasses;  // columns declared so far
static int defensiveclasses;  // defense records in use
static int s_offenseTable[MAXOFFENSECLASSES]; // class -> column or -1
static DAMAGEDEFENSE s_defenses[MAXDEFENSECLASSES];

static MODULE_GUARD s_guard = MODULE_GUARD_INIT("Damage");

void Damage_FreeAll(void)
{
    for (int i = 0; i < defensiveclasses; i++) Debug_Free(&s_defenses[i].row);
    memset(s_defenses, 0, sizeof s_defenses);
    offensiveclasses = 0;
    defensiveclasses = 0;
    for (int& column : s_offenseTable) column = -1;
}

void Damage_Init(void)
{
    Guard_Init(&s_guard);
    Damage_FreeAll();
}

void Damage_Close(void)
{
    Guard_Close(&s_guard);
    Damage_FreeAll();
}

// ---- offense classes

int Damage_OffenseIndex(const char* name)
{
    if (!name || strlen(name) != 2) return -1;
    unsigned char letter = (unsigned char)name[0];
    unsigned char digit = (unsigned char)name[1];
    if (!isalpha(letter) || !isdigit(digit)) return -1;
    return (toupper(letter) - 'A') * 10 + (digit - '0');
}

int Damage_AddOffense(int offense)
{
    ASSERT(offense >= 0 && offense < MAXOFFENSECLASSES);
    if (s_offenseTable[offense] != -1) return -1;
    s_offenseTable[offense] = offensiveclasses++;
    return s_offenseTable[offense];
}

int Damage_OffenseEntry(int offense)
{
    ASSERT(offense >= 0 && offense < MAXOFFENSECLASSES);
    return s_offenseTable[offense];
}

int Damage_OffenseColumn(const char* classname)
{
    int offense = Damage_OffenseIndex(classname);
    return offense < 0 ? -1 : s_offenseTable[offense];
}

int Damage_ColumnCount(void)
{
    return offensiveclasses;
}

// ---- defense classes

int Damage_AddDefense(const char* name, int damage, int deviation, int critical)
{
    if (!name || Damage_FindDefense(name) >= 0) return -1;
    if (defensiveclasses >= MAXDEFENSECLASSES) return -1;
    DAMAGEDEFENSE* def = &s_defenses[defensiveclasses];
    Str_CopySafe(def->name, name, sizeof def->name);
    def->row = nullptr;
    def->defaultdamage = (uint16_t)damage;
    def->defaultdeviation = (uint16_t)deviation;
    def->defaultcritical = (uint16_t)critical;
    return defensiveclasses++;
}

int Damage_FindDefense(const char* name)
{
    if (!name) return -1;
    // Stored names are cut to 63 characters, so a longer name must be cut the
    // same way to find its class again.
    char key[DAMAGE_NAMELEN];
    Str_CopySafe(key, name, sizeof key);
    for (int i = 0; i < defensiveclasses; i++) {
        if (strcasecmp(s_defenses[i].name, key) == 0) return i;
    }
    return -1;
}

int Damage_DefenseCount(void)
{
    return defensiveclasses;
}

const DAMAGEDEFENSE* Damage_GetDefense(int defense)
{
    if (defense < 0 || defense >= defensiveclasses) return nullptr;
    return &s_defenses[defense];
}

void Damage_SetEntry(int defense, int offenseclass, int damage, int deviation, int critical)
{
    ASSERT(defense >= 0 && defense < defensiveclasses);
    ASSERT(offenseclass >= 0 && offenseclass < MAXOFFENSECLASSES);
    int column = s_offenseTable[offenseclass];
    if (column < 0) return;
    DAMAGEDEFENSE* def = &s_defenses[defense];
    if (!def->row) {
        // Room for every possible column: a class declared after the row
        // exists then reads the defaults instead of memory past the row.
        def->row = (DAMAGEENTRY*)Debug_Malloc(MAXOFFENSECLASSES * sizeof(DAMAGEENTRY));
        for (int i = 0; i < MAXOFFENSECLASSES; i++) {
            def->row[i].damage = def->defaultdamage;
            def->row[i].deviation = (uint8_t)def->defaultdeviation;
            def->row[i].critical = (uint8_t)def->defaultcritical;
        }
    }
    def->row[column].damage = (uint16_t)damage;
    def->row[column].deviation = (uint8_t)deviation;
    def->row[column].critical = (uint8_t)critical;
}

void Damage_SetGroupEntries(int defense, int letter, int damage, int deviation, int critical)
{
    for (int i = 0; i < 10; i++) Damage_SetEntry(defense, letter * 10 + i, damage, deviation, critical);
}

// ---- the formula

int Damage_GetDamage(int offenseidx, int defense, int hitpoints, int targetdefensestrength,
                     int areaeffect, int distance, int* critical)
{
    int ignored = 0;
    if (!critical) critical = &ignored;
    ASSERT(offenseidx >= 0);
    ASSERT(offenseidx < offensiveclasses);
    ASSERT(defense >= 0);
    ASSERT(defense < defensiveclasses);

    const int64_t radius = areaeffect;
    const int64_t d = distance;
    if (radius < d) {
        *critical = 0;
        return 0;
    }
    const DAMAGEDEFENSE* def = &s_defenses[defense];
    if (!def->row) {
        TLOG(TLOG_ERROR, "No entries for defense %d (%s)", defense, def->name);
        return hitpoints;
    }
    const DAMAGEENTRY* e = &def->row[offenseidx];

    // The order of the draws is part of the game's synchronisation: the
    // critical test first, the deviation only for a hit that was not critical.
    *critical = e->critical > 0 ? (Rand_Next(100) < e->critical) : 0;
    if (*critical) return hitpoints;
    int dev = e->deviation > 0 ? Rand_Next(2 * e->deviation) - e->deviation : 0;

    int64_t falloff;
    if (radius > 0) {
        if (d >= radius) return 0;
        falloff = (radius * radius - d * d) * 100 / (radius * radius);
    } else {
        falloff = d == 0 ? 100 : 0;
    }

    // Each step truncates as 32-bit arithmetic would; the wider type only
    // keeps extreme strengths from overflowing, which plain values never reach.
    __extension__ typedef __int128 WIDE;
    WIDE result = (WIDE)(e->damage + dev) * targetdefensestrength * falloff;
    result = result / 100 / 100 * hitpoints / 100;
    if (result > INT32_MAX) return INT32_MAX;
    if (result < INT32_MIN) return INT32_MIN;
    return (int)result;
}

// ---- the damage file
//
//   DeclareOffenses ( ) { A0 B0 C0 ... }
//   DefineVulnerability ( name damage deviation criticalhit ) {
//       offense damage deviation criticalhit     ; A5: one class, A: A0..A9
//       ...
//   }
//   ... more DefineVulnerability blocks
//
// DeclareOffenses is matched without regard to case, DefineVulnerability and
// "}" exactly. Any other token where a block may start ends the file.

struct DAMAGE_FIELD {
    const char* name;
    int max;
};
static const DAMAGE_FIELD s_damageField = {"damage", 65535};
static const DAMAGE_FIELD s_deviationField = {"deviation", 255};
static const DAMAGE_FIELD s_criticalField = {"criticalhit", 255};

static int IsInteger(const char* token)
{
    const char* p = token;
    if (*p == '-' || *p == '+') p++;
    if (!isdigit((unsigned char)*p)) return 0;
    while (isdigit((unsigned char)*p)) p++;
    return *p == '\0';
}

// One value of an entry; a token that isn't a number stops the file (logged).
static int ReadValue(TF_PARSER* parser, const DAMAGE_FIELD& field, int* value)
{
    char token[TF_FIELD];
    if (!TF_GetToken(parser, token, sizeof token)) Str_CopySafe(token, "EOF", sizeof token);
    else if (IsInteger(token)) {
        *value = Str_ToInt(token);
        if (*value < 0 || *value > field.max) {
            TF_Error(parser, "Value of %s out of range [%d]", field.name, *value);
        }
        return 1;
    }
    TLOG(TLOG_ERROR, "Expecting %s, but got %s", field.name, token);
    TF_ReportErrorLine(parser);
    return 0;
}

static int ReadValues(TF_PARSER* parser, int* damage, int* deviation, int* critical)
{
    return ReadValue(parser, s_damageField, damage) &&
           ReadValue(parser, s_deviationField, deviation) &&
           ReadValue(parser, s_criticalField, critical);
}

static void ReadOffenses(TF_PARSER* parser)
{
    char token[TF_FIELD];
    if (!TF_ExpectKeyword(parser, "DeclareOffenses", token)) {
        TF_ReportExpected(parser, "DeclareOffenses", "EOF");
    }
    if (!TF_ExpectOpenParen(parser)) TF_ReportExpected(parser, "(", "EOF");
    if (!TF_ExpectCloseParen(parser)) TF_ReportExpected(parser, ")", "EOF");
    if (!TF_ExpectOpenBrace(parser)) TF_ReportExpected(parser, "{", "EOF");
    for (;;) {
        if (!TF_GetToken(parser, token, sizeof token)) TF_ReportExpected(parser, "}", "EOF");
        if (strcmp(token, "}") == 0) return;
        int offense = Damage_OffenseIndex(token);
        if (offense < 0) TF_Error(parser, "Bad offense class [%s]", token);
        Damage_AddOffense(offense); // a repeated class keeps its first column
    }
}

// The entry lines of a block up to "}"; 0 when a value is missing.
static int ReadEntries(TF_PARSER* parser, int defense)
{
    const char* defname = s_defenses[defense].name;
    char offense[TF_FIELD];
    for (;;) {
        if (!TF_GetToken(parser, offense, sizeof offense)) return 1;
        if (strcmp(offense, "}") == 0) return 1;
        size_t len = strlen(offense);
        int group = -1;
        int single = -1;
        if (len == 1 && isalpha((unsigned char)offense[0])) {
            group = toupper((unsigned char)offense[0]) - 'A';
        } else if (len == 2) {
            single = Damage_OffenseIndex(offense);
        }
        if (group < 0 && single < 0) {
            TF_Error(parser, "Bad offense [%s] for defense [%s]", offense, defname);
        }
        int damage, deviation, critical;
        if (!ReadValues(parser, &damage, &deviation, &critical)) return 0;
        if (group >= 0) Damage_SetGroupEntries(defense, group, damage, deviation, critical);
        else Damage_SetEntry(defense, single, damage, deviation, critical);
    }
}

// "( name damage deviation criticalhit ) {" and its entries; 0 on failure.
static int ReadVulnerability(TF_PARSER* parser)
{
    if (defensiveclasses >= MAXDEFENSECLASSES) {
        TF_Error(parser, "Maximum defense classes (%d) exceeded", MAXDEFENSECLASSES);
    }
    if (!TF_ExpectOpenParen(parser)) TF_ReportExpected(parser, "(", "EOF");
    char name[TF_FIELD];
    if (!TF_GetString(parser, name)) TF_ReportExpected(parser, "_name_", "EOF");
    if (Damage_FindDefense(name) >= 0) TF_Error(parser, "Duplicate defense [%s]", name);
    int damage, deviation, critical;
    if (!ReadValues(parser, &damage, &deviation, &critical)) return 0;
    if (!TF_ExpectCloseParen(parser)) TF_ReportExpected(parser, ")", "EOF");
    if (!TF_ExpectOpenBrace(parser)) TF_ReportExpected(parser, "{", "EOF");
    int defense = Damage_AddDefense(name, damage, deviation, critical);
    ASSERT(defense >= 0); // the name and the room were checked above
    return ReadEntries(parser, defense);
}

int Tfweapon_LoadDamage(TF_PARSER* parser)
{
    ReadOffenses(parser);
    char token[TF_FIELD];
    while (TF_GetToken(parser, token, sizeof token)) {
        if (strcmp(token, "DefineVulnerability") != 0) {
            // The file ends here by design; say where, since a misspelt
            // keyword looks the same and drops every later block.
            TLOG(TLOG_WARNING, "Damage file ends at [%s] in file [%s] at line [%d]", token,
                 parser->filename, parser->line);
            return 1;
        }
        if (!ReadVulnerability(parser)) return 0;
    }
    return 1;
}

int Tfweapon_LoadDamageFile(const char* path)
{
    // Closed on every way out, a fatal error that a test hook turns into a
    // jump included.
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> parser(TF_Open(path), TF_Close);
    if (!parser) return 0;
    return Tfweapon_LoadDamage(parser.get());
}

// ---- the shared SetVulnerability line

int Textfile_ParseSetVulnerability(TF_PARSER* parser, int keyword_read, int* defense,
                                   int* strength)
{
    char name[TF_FIELD];
    char scratch[TF_FIELD];
    if (!TF_ExpectKeywordIf(parser, keyword_read, "SetVulnerability")) return 0;
    if (!TF_ExpectOpenParen(parser)) return 0;
    if (!TF_GetString(parser, name)) return 0;
    if (!TF_GetInt(parser, scratch, strength)) return 0;
    if (!TF_ExpectCloseParen(parser)) return 0;
    *defense = Damage_FindDefense(name);
    if (*defense < 0) {
        TLOG(TLOG_ERROR, "No match for defense [%s] in damage.txt", name);
        TF_ReportErrorLine(parser);
        return 0;
    }
    return 1;
}
