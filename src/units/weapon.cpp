// Weapon types and the weapon file.
//
// The registry is an array of pointers so that a record keeps its address for
// as long as the registry lives. The loader is a table of {keyword, handler};
// each handler is called after its keyword was read and reads "(" arguments
// ")" itself, returning 0 when the text ends inside the line (the block then
// fails with "Error parsing %s") and stopping through the tokenizer's fatal
// "Expected [%s] but found [%s]" for a bracket where a value belongs.
#include "units/weapon.h"

#include <cfloat>
#include <charconv>
#include <cstring>
#include <memory>
#include <utility>
#include <strings.h>

#include "core/fspath.h"
#include "core/debug.h"
#include "core/guard.h"
#include "core/error.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "platform/animtype.h"
#include "units/damage.h"
#include "units/expltype.h"
#include "units/target.h"
#include "units/unit.h"
#include "map/fog.h"
#include "map/map.h"

static_assert(int(TF_FIELD) == int(WEAPON_NAMELEN), "a weapon name is one tokenizer field");

static WEAPONTYPE* s_Types[WEAPON_MAXTYPES];
static int s_TypeCount;

static const char* const s_KindNames[WKIND_COUNT] = {
    "LINEAR", "HOMING", "VORTEX", "WAVE", "SHREDDER", "SELFDESTRUCT",
};

enum { SOUND_DEFAULTVOLUME = 80 };

// ---------------------------------------------------------------- registry

static void SetInitialValues(WEAPONTYPE* w)
{
    memset(w, 0, sizeof(*w));
    strcpy(w->name, "DEFAULT WEAPON");
    w->kind = WKIND_UNSET;
    w->range = -1.0f;
    w->tilerange = -1;
    w->mintilerange = 0;
    w->maxammo = -1;
    w->firedelay = -1;
    w->energyusedpershot = -1;
    w->initialspeed = -1.0f;
    w->acceleration = -1.0f;
    w->maxspeed = -1.0f;
    w->rotationalspeed = -1;
    w->SmokeDelay = -1;
    w->oinfo = OFFENSEINFO{-1, 50, 5};
    w->persistent = WEAPONPERSISTENT{0, 1, OFFENSEINFO{-1, 50, 5}};
    w->selfdestruct.minbound = OFFENSEBOUND{0, 100};
    w->selfdestruct.maxbound = OFFENSEBOUND{100, 100};
}

WEAPONTYPE* Weapon_NewType(void)
{
    if (s_TypeCount >= WEAPON_MAXTYPES) {
        ERR_FATAL(ERRC_FATAL, "Maximum weapon types (%d) exceeded", WEAPON_MAXTYPES);
    }
    WEAPONTYPE* w = static_cast<WEAPONTYPE*>(Debug_Calloc(1, sizeof(WEAPONTYPE)));
    SetInitialValues(w);
    s_Types[s_TypeCount++] = w;
    return w;
}

WEAPONTYPE* Weapon_FindType(const char* name)
{
    if (!name) return nullptr;
    for (int i = 0; i < s_TypeCount; i++) {
        if (strcasecmp(s_Types[i]->name, name) == 0) return s_Types[i];
    }
    return nullptr;
}

int Weapon_TypeCount(void)
{
    return s_TypeCount;
}

WEAPONTYPE* Weapon_GetType(int index)
{
    if (index < 0 || index >= s_TypeCount) return nullptr;
    return s_Types[index];
}

static MODULE_GUARD s_guard = MODULE_GUARD_INIT("Weapons");

void Weapon_FreeAll(void)
{
    for (int i = 0; i < s_TypeCount; i++) Debug_Free(&s_Types[i]);
    s_TypeCount = 0;
}

void Weapon_Init(void)
{
    Guard_Init(&s_guard);
    Weapon_FreeAll();
}

void Weapon_Close(void)
{
    Guard_Close(&s_guard);
    Weapon_FreeAll();
}

// ---------------------------------------------------------------- arguments

static int IsBracket(const char* token)
{
    return token[0] && !token[1] && strchr("(){}", token[0]);
}

// The next token must be the bracket; 0 at the end of the text.
static int ArgBracket(TF_PARSER* p, const char* bracket)
{
    char token[TF_FIELD];
    if (!TF_GetToken(p, token, sizeof token)) return 0;
    if (strcmp(token, bracket) != 0) TF_ReportExpected(p, bracket, token);
    return 1;
}

// The next token must be a value, not a bracket (reported as missing "what").
static int ArgPresent(TF_PARSER* p, const char* what)
{
    char token[TF_FIELD];
    if (!TF_PeekToken(p, token, sizeof token)) return 0;
    if (IsBracket(token)) TF_ReportExpected(p, what, token);
    return 1;
}

static int ArgInt(TF_PARSER* p, const char* what, int* value)
{
    char scratch[TF_FIELD];
    return ArgPresent(p, what) && TF_GetInt(p, scratch, value);
}

static int ArgFloat(TF_PARSER* p, const char* what, float* value)
{
    char scratch[TF_FIELD];
    return ArgPresent(p, what) && TF_GetFloat(p, scratch, value);
}

// As ArgFloat, keeping the token (TF_FIELD bytes) and its value as wide as
// the text says it: a float rounds the last values below 2^22 up onto it.
// Whatever the tokenizer doesn't read as a decimal keeps the float's value.
static int ArgReal(TF_PARSER* p, const char* what, char* token, float* value, double* wide)
{
    if (!ArgPresent(p, what) || !TF_GetFloat(p, token, value)) return 0;
    *wide = *value;
    const char* s = token;
    while (*s == ' ' || *s == '\t') s++;
    const bool negative = *s == '-';
    if (*s == '-' || *s == '+') s++;
    if (!((*s >= '0' && *s <= '9') || (*s == '.' && s[1] >= '0' && s[1] <= '9'))) return 1;
    double v;
    auto r = std::from_chars(s, s + strlen(s), v, std::chars_format::general);
    if (r.ec == std::errc() && v <= static_cast<double>(FLT_MAX)) *wide = negative ? -v : v;
    return 1;
}

static int ArgString(TF_PARSER* p, const char* what, char* field)
{
    return ArgPresent(p, what) && TF_GetString(p, field);
}

// "(" name ")" for the lines that take one name.
static int ParenName(TF_PARSER* p, char* field, const char* what = "")
{
    return ArgBracket(p, "(") && ArgString(p, what, field) && ArgBracket(p, ")");
}

// The damage-table column of an offense class, -1 when damage.txt didn't
// declare it. A class that can't be one (a letter and a digit) is a broken
// file rather than an undeclared class, so it stops with the file and line.
static int OffenseColumn(TF_PARSER* p, const char* classname)
{
    int offense = Damage_OffenseIndex(classname);
    if (offense < 0) TF_Error(p, "Bad offense class [%s]", classname);
    return Damage_OffenseEntry(offense);
}

// Truncates v into the int range (the file's reals may be anything).
static int TruncToInt(double v)
{
    if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<int>(v);
}

// ---------------------------------------------------------------- handlers

static int ParseSetMovement(TF_PARSER* p, WEAPONTYPE* w)
{
    char kind[TF_FIELD];
    if (!ParenName(p, kind)) return 0;
    for (int k = 0; k < WKIND_COUNT; k++) {
        if (strcasecmp(kind, s_KindNames[k]) == 0) {
            w->kind = k;
            return 1;
        }
    }
    TLOG(TLOG_ERROR, "Expected %s, %s, %s, %s, %s or %s in %s(%s)", s_KindNames[0],
         s_KindNames[1], s_KindNames[2], s_KindNames[3], s_KindNames[4], s_KindNames[5],
         "DefineWeapon", w->name);
    return 0;
}

static int ParseSetSpeed(TF_PARSER* p, WEAPONTYPE* w)
{
    float initial, accel, maxspeed;
    int degrees;
    if (!ArgBracket(p, "(") || !ArgFloat(p, "", &initial) || !ArgFloat(p, "", &accel) ||
        !ArgFloat(p, "", &maxspeed) || !ArgInt(p, "", &degrees) || !ArgBracket(p, ")")) {
        return 0;
    }
    w->initialspeed = initial;
    w->acceleration = accel;
    w->maxspeed = maxspeed;
    // 2^24 / 360 per degree; the low 24 bits keep whole turns from piling up
    // (360 degrees is 0) and make a negative speed the same turn forwards.
    long long units = static_cast<long long>(static_cast<double>(degrees) * 46603.38);
    w->rotationalspeed = static_cast<int>(units & (WEAPON_ROTATION_TURN - 1));
    return 1;
}

static int ParseIsEnergyWeapon(TF_PARSER* p, WEAPONTYPE* w)
{
    int bleed;
    if (!ArgBracket(p, "(") || !ArgInt(p, "", &bleed) || !ArgBracket(p, ")")) return 0;
    w->isenergyweapon = 1;
    w->bleedpercent = bleed < 0 ? 0 : bleed > 100 ? 100 : bleed;
    return 1;
}

static int ParseSetAttributes(TF_PARSER* p, WEAPONTYPE* w)
{
    int v[5];
    if (!ArgBracket(p, "(")) return 0;
    for (int& x : v) {
        if (!ArgInt(p, "", &x)) return 0;
    }
    if (!ArgBracket(p, ")")) return 0;
    w->mintilerange = v[0];
    w->tilerange = v[1];
    w->maxammo = v[2];
    w->firedelay = v[3];
    w->energyusedpershot = v[4];
    w->range = static_cast<float>((static_cast<double>(w->tilerange) + 0.5) * 24.0);
    return 1;
}

static int ParseSetDirectDamage(TF_PARSER* p, WEAPONTYPE* w)
{
    int hp, energy;
    if (!ArgBracket(p, "(") || !ArgInt(p, "", &hp) || !ArgInt(p, "", &energy) ||
        !ArgBracket(p, ")")) {
        return 0;
    }
    w->directhitpointdamage = hp;
    w->directenergydamage = energy;
    return 1;
}

// The lines without arguments set one flag each.
static int EmptyParens(TF_PARSER* p, uint8_t* flag)
{
    if (!ArgBracket(p, "(") || !ArgBracket(p, ")")) return 0;
    *flag = 1;
    return 1;
}
static int ParseCanCancelBoosting(TF_PARSER* p, WEAPONTYPE* w)
{
    return EmptyParens(p, &w->CanCancelBoosting);
}
static int ParseCanOnlyShootHumans(TF_PARSER* p, WEAPONTYPE* w)
{
    return EmptyParens(p, &w->CanOnlyShootHuman);
}
static int ParseCanOnlyShootNonHumans(TF_PARSER* p, WEAPONTYPE* w)
{
    return EmptyParens(p, &w->CanOnlyShootNonHuman);
}
static int ParseCanShootFlyer(TF_PARSER* p, WEAPONTYPE* w)
{
    return EmptyParens(p, &w->CanShootFlyer);
}
static int ParseCanShootGround(TF_PARSER* p, WEAPONTYPE* w)
{
    return EmptyParens(p, &w->CanShootGround);
}
static int ParseCanShootBuilding(TF_PARSER* p, WEAPONTYPE* w)
{
    return EmptyParens(p, &w->CanShootBuilding);
}
static int ParseCanShootGroundUnit(TF_PARSER* p, WEAPONTYPE* w)
{
    return EmptyParens(p, &w->CanShootGroundUnit);
}
static int ParseCanShootIndirect(TF_PARSER* p, WEAPONTYPE* w)
{
    return EmptyParens(p, &w->CanShootIndirect);
}

static int ParseSetAnimation(TF_PARSER* p, WEAPONTYPE* w)
{
    char name[TF_FIELD];
    if (!ParenName(p, name)) return 0;
    ANIMTYPE* anim = AnimType_Find(name);
    if (!anim) {
        TLOG(TLOG_ERROR, "Animation type \"%s\" not previously defined", name);
        return 0;
    }
    w->InFlightAnimation = anim;
    return 1;
}

static EXPLTYPE* FindExplosion(const char* name)
{
    EXPLTYPE* type = Expl_FindType(name);
    if (!type) TLOG(TLOG_ERROR, "Explosion type \"%s\" not previously defined", name);
    return type;
}

static int ParseSetSmokeExplosion(TF_PARSER* p, WEAPONTYPE* w)
{
    int delay;
    char name[TF_FIELD];
    if (!ArgBracket(p, "(") || !ArgInt(p, "", &delay) || !ArgString(p, "", name) ||
        !ArgBracket(p, ")")) {
        return 0;
    }
    EXPLTYPE* type = FindExplosion(name);
    if (!type) return 0;
    w->SmokeDelay = delay;
    w->SmokeExplosion = type;
    return 1;
}

static int ParseExplosionLine(TF_PARSER* p, EXPLTYPE** slot)
{
    char name[TF_FIELD];
    if (!ParenName(p, name)) return 0;
    EXPLTYPE* type = FindExplosion(name);
    if (!type) return 0;
    *slot = type;
    return 1;
}
static int ParseSetHitExplosion(TF_PARSER* p, WEAPONTYPE* w)
{
    return ParseExplosionLine(p, &w->HitExplosion);
}
static int ParseSetFireExplosion(TF_PARSER* p, WEAPONTYPE* w)
{
    return ParseExplosionLine(p, &w->FireExplosion);
}

// A value the game can't hold or step past its bounds, refused at its line.
static void CheckRange(TF_PARSER* p, const char* what, int v, int lo, int hi)
{
    if (v < lo || v > hi) TF_Error(p, "%s %d out of range (%d..%d)", what, v, lo, hi);
}

// A strength or an area the damage sums can take: within WEAPON_MAXSTRENGTH
// either way.
static OFFENSEINFO Offense(TF_PARSER* p, const char* classname, int strength, int area)
{
    CheckRange(p, "Weapon strength", strength, -WEAPON_MAXSTRENGTH, WEAPON_MAXSTRENGTH);
    CheckRange(p, "Area effect", area, -WEAPON_MAXSTRENGTH, WEAPON_MAXSTRENGTH);
    return OFFENSEINFO{OffenseColumn(p, classname), strength, area};
}

// class, strength, area: the offense part of SetOffense and PersistentDamage.
static int ReadOffense(TF_PARSER* p, OFFENSEINFO* out)
{
    char classname[TF_FIELD];
    int strength, area;
    if (!ArgString(p, "_OffenseClass_", classname) || !ArgInt(p, "_WeaponStrength_", &strength) ||
        !ArgInt(p, "_AreaEffect_", &area)) {
        return 0;
    }
    *out = Offense(p, classname, strength, area);
    return 1;
}

static int ParseSetOffense(TF_PARSER* p, WEAPONTYPE* w)
{
    char classname[TF_FIELD];
    int strength, area;
    // The class is the first argument and has no name of its own here.
    if (!ArgBracket(p, "(") || !ArgString(p, "", classname) ||
        !ArgInt(p, "_WeaponStrength_", &strength) || !ArgInt(p, "_AreaEffect_", &area) ||
        !ArgBracket(p, ")")) {
        return 0;
    }
    w->oinfo = Offense(p, classname, strength, area);
    return 1;
}

static int ParseSoundLine(TF_PARSER* p, SOUND_EFFECT* effect)
{
    char file[TF_FIELD];
    int volume;
    if (!ArgBracket(p, "(") || !ArgString(p, "", file) || !ArgInt(p, "_Volume_", &volume) ||
        !ArgBracket(p, ")")) {
        return 0;
    }
    Sound_InitEffect(effect, file, volume < 0 ? SOUND_DEFAULTVOLUME : volume);
    return 1;
}
static int ParseSetFireSound(TF_PARSER* p, WEAPONTYPE* w)
{
    return ParseSoundLine(p, &w->FireSound);
}
static int ParseSetHitSound(TF_PARSER* p, WEAPONTYPE* w)
{
    return ParseSoundLine(p, &w->HitSound);
}

static int ParseCopyWeapon(TF_PARSER* p, WEAPONTYPE* w)
{
    char name[TF_FIELD];
    if (!ParenName(p, name)) return 0;
    const WEAPONTYPE* from = Weapon_FindType(name);
    if (!from) {
        TLOG(TLOG_ERROR, "Couldn't find weapon type with name %s", name);
        return 0;
    }
    if (from == w) return 1;
    char own[WEAPON_NAMELEN];
    memcpy(own, w->name, sizeof own);
    *w = *from; // sound effects share their samples, which outlive every type
    memcpy(w->name, own, sizeof own);
    return 1;
}

static int ParseSetBooster(TF_PARSER* p, WEAPONTYPE* w)
{
    int a, b, d;
    float c;
    double written;
    char token[TF_FIELD];
    if (!ArgBracket(p, "(") || !ArgInt(p, "", &a) || !ArgInt(p, "", &b) ||
        !ArgReal(p, "", token, &c, &written) || !ArgInt(p, "", &d) || !ArgBracket(p, ")")) {
        return 0;
    }
    // Refused at the line, as the strength is, rather than cut: the range
    // holds 621 days of play, so a time past it only ever means "for good",
    // which a number within it says as well; a cut would quietly change
    // what the file says.
    CheckRange(p, "Boost time", b, -WEAPON_MAXBOOSTTIME, WEAPON_MAXBOOSTTIME);
    // Judged by what the file writes, not by its float, which rounds the last
    // values below the top onto it.
    auto within = [](double fade) {
        return fade > static_cast<double>(WEAPON_MINBOOSTFADE) - 1.0 &&
               fade < static_cast<double>(WEAPON_MAXBOOSTFADE) + 1.0;
    };
    if (!within(written * 256.0))
        TF_Error(p, "Boost fade speed %s out of range (from %d to below %d)", token,
                 WEAPON_MINBOOSTFADE / 256, (WEAPON_MAXBOOSTFADE + 1) / 256);
    // Played through the float, as every real of the file is and games
    // always have, but where that rounding carried it past the bounds.
    double fade = static_cast<double>(c) * 256.0;
    if (!within(fade)) fade = written * 256.0;
    w->boost.time = b;
    w->boost.fadespeed = TruncToInt(fade);
    w->boost.hitpoints = a;
    w->boost.deadly = static_cast<uint8_t>(d);
    w->boost.isbooster = 1;
    return 1;
}

static int ParsePersistentDamage(TF_PARSER* p, WEAPONTYPE* w)
{
    int times, rate;
    OFFENSEINFO oinfo;
    if (!ArgBracket(p, "(") || !ArgInt(p, "_Times_", &times) || !ArgInt(p, "_Rate_", &rate) ||
        !ReadOffense(p, &oinfo) || !ArgBracket(p, ")")) {
        return 0;
    }
    // A shot counts its hits down from it, and the one count that step
    // can't take is no count a saved game holds.
    CheckRange(p, "Persistent damage times", times, INT32_MIN + 1, INT32_MAX);
    w->persistent = WEAPONPERSISTENT{times, rate, oinfo};
    w->ispersistent = 1;
    return 1;
}

static int ParseSetSelfDestruct(TF_PARSER* p, WEAPONTYPE* w)
{
    int v[4];
    static const char* const names[4] = {"_MinHitpointPercent_", "_MinOffensePercent_",
                                         "_MaxHitpointPercent_", "_MaxOffensePercent_"};
    if (!ArgBracket(p, "(")) return 0;
    for (int i = 0; i < 4; i++) {
        if (!ArgInt(p, names[i], &v[i])) return 0;
    }
    if (!ArgBracket(p, ")")) return 0;
    w->selfdestruct.isselfdestruct = 1;
    w->selfdestruct.minbound = OFFENSEBOUND{v[0], v[1]};
    w->selfdestruct.maxbound = OFFENSEBOUND{v[2], v[3]};
    return 1;
}

struct WEAPON_KEYWORD {
    const char* keyword;
    int (*handler)(TF_PARSER*, WEAPONTYPE*);
};

static const WEAPON_KEYWORD s_Keywords[] = {
    {"SetMovement", ParseSetMovement},
    {"SetSpeed", ParseSetSpeed},
    {"IsEnergyWeapon", ParseIsEnergyWeapon},
    {"SetAttributes", ParseSetAttributes},
    {"SetDirectDamage", ParseSetDirectDamage},
    {"CanCancelBoosting", ParseCanCancelBoosting},
    {"CanOnlyShootHumans", ParseCanOnlyShootHumans},
    {"CanOnlyShootNonHumans", ParseCanOnlyShootNonHumans},
    {"CanShootFlyer", ParseCanShootFlyer},
    {"CanShootGround", ParseCanShootGround},
    {"CanShootBuilding", ParseCanShootBuilding},
    {"CanShootGroundUnit", ParseCanShootGroundUnit},
    {"CanShootIndirect", ParseCanShootIndirect},
    {"SetAnimation", ParseSetAnimation},
    {"SetSmokeExplosion", ParseSetSmokeExplosion},
    {"SetHitExplosion", ParseSetHitExplosion},
    {"SetOffense", ParseSetOffense},
    {"SetFireSound", ParseSetFireSound},
    {"SetHitSound", ParseSetHitSound},
    {"CopyWeapon", ParseCopyWeapon},
    {"SetBooster", ParseSetBooster},
    {"SetFireExplosion", ParseSetFireExplosion},
    {"PersistentDamage", ParsePersistentDamage},
    {"SetSelfDestruct", ParseSetSelfDestruct},
};

// ---------------------------------------------------------------- blocks

static int MissingLine(TF_PARSER* p, const WEAPONTYPE* w, const char* keyword, int withline)
{
    TLOG(TLOG_ERROR, "Missing %s line in definition of weapon %s", keyword, w->name);
    if (withline) TF_ReportErrorLine(p);
    return 0;
}

// The lines a weapon can't do without, once its block has been read.
static int CheckComplete(TF_PARSER* p, const WEAPONTYPE* w)
{
    if (w->kind == WKIND_UNSET) return MissingLine(p, w, "SetMovement", 0);
    if (w->kind != WSELFDESTRUCT) {
        if (w->range == -1.0f && w->maxammo == -1 && w->firedelay == -1 &&
            w->energyusedpershot == -1) {
            return MissingLine(p, w, "SetAttributes", 1);
        }
        if (w->initialspeed == -1.0f && w->acceleration == -1.0f && w->maxspeed == -1.0f &&
            w->rotationalspeed == -1) {
            return MissingLine(p, w, "SetSpeed", 1);
        }
    } else if (!w->selfdestruct.isselfdestruct) {
        return MissingLine(p, w, "SetSelfDestruct", 1);
    }
    if (w->oinfo.offense == -1) return MissingLine(p, w, "SetOffense", 1);
    return 1;
}

// Keyword lines up to "}".
static int ParseLines(TF_PARSER* p, WEAPONTYPE* w)
{
    char keyword[TF_FIELD];
    for (;;) {
        if (!TF_GetToken(p, keyword, sizeof keyword)) TF_ReportExpected(p, "}", "EOF");
        if (strcmp(keyword, "}") == 0) return 1;
        const WEAPON_KEYWORD* entry = nullptr;
        for (const WEAPON_KEYWORD& k : s_Keywords) {
            if (strcmp(keyword, k.keyword) == 0) entry = &k;
        }
        if (!entry) {
            TLOG(TLOG_ERROR, "Unknown token [%s] in weapon file, line %d", keyword, p->line);
            TF_ReportErrorLine(p);
            return 0;
        }
        if (!entry->handler(p, w)) {
            TLOG(TLOG_ERROR, "Error parsing %s", keyword);
            TF_ReportErrorLine(p);
            return 0;
        }
    }
}

// After "DefineWeapon": "(" name ")" "{" lines "}".
static int ParseBlock(TF_PARSER* p)
{
    char name[TF_FIELD];
    if (!ParenName(p, name, "_name_")) {
        TLOG(TLOG_ERROR, "Error parsing %s", "DefineWeapon");
        TF_ReportErrorLine(p);
        return 0;
    }
    if (!TF_ExpectOpenBrace(p)) TF_ReportExpected(p, "{", "EOF");
    if (Weapon_FindType(name)) {
        TLOG(TLOG_ERROR, "Weapon %s already defined", name);
        TF_ReportErrorLine(p);
        return 0;
    }
    // Checked here rather than left to Weapon_NewType, so that the stop names
    // the file and line of the weapon that doesn't fit.
    if (Weapon_TypeCount() >= WEAPON_MAXTYPES) {
        TF_Error(p, "Maximum weapon types (%d) exceeded", WEAPON_MAXTYPES);
    }
    WEAPONTYPE* w = Weapon_NewType();
    memcpy(w->name, name, sizeof w->name);
    return ParseLines(p, w) && CheckComplete(p, w);
}

int Tfweapon_ParseWeapon(TF_PARSER* parser)
{
    ASSERT(parser);
    char token[TF_FIELD];
    while (TF_GetToken(parser, token, sizeof token)) {
        if (strcmp(token, "DefineWeapon") != 0) {
            // The file ends here by design; say where, since a misspelt
            // keyword looks the same and drops every later block.
            TLOG(TLOG_WARNING, "Weapon file ends at [%s] in file [%s] at line [%d]", token,
                 parser->filename, parser->line);
            return 1;
        }
        if (!ParseBlock(parser)) return 0;
    }
    return 1;
}

int Tfweapon_LoadWeaponFile(const char* path)
{
    // Closed on every way out, a fatal error that a test hook turns into a
    // jump included.
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> parser(TF_Open(path), TF_Close);
    if (!parser) {
        TLOG(TLOG_ERROR, "Can't open weapon file [%s]", Fs_Resolve(path ? path : "").c_str());
        return 0;
    }
    return Tfweapon_ParseWeapon(parser.get());
}

// ------------------------------------------------------------------ shooting

int Weapon_CanShoot(const WEAPONTYPE* w, TARGET* target)
{
    ASSERT(w && target);
    if (!Target_Valid(target)) return 0;
    switch (target->mode) {
    case FM_GROUND: return w->CanShootGround;
    case FM_BUILDING: return w->CanShootBuilding;
    case FM_UNIT: {
        const UNIT* u = target->unit.unit;   // valid: checked above
        int can = u->maplevel == ML_FLY ? w->CanShootFlyer
                                        : (w->CanShootGround || w->CanShootGroundUnit);
        if (!can) return 0;
        int human = u->type->abilities.ishuman;
        if (w->CanOnlyShootHuman && !human) return 0;
        if (w->CanOnlyShootNonHuman && human) return 0;
        return 1;
    }
    default: return 0;
    }
}

int Weapon_TargetInRange(UNIT* u, const WEAPONTYPE* w, TARGET* target)
{
    ASSERT(u && w && target);
    if (!Target_Valid(target)) return TARGETRANGE_INVALIDTARGET;
    int tx, ty, tile[2];
    Target_GetPosition(target, &tx, &ty);
    // Squared whole-pixel distances from the shooter's centre (a target
    // unit's position is its centre too): the same answer on every machine.
    int64_t dx = tx - (u->pixelpos.x + 12), dy = ty - (u->pixelpos.y + 12);
    int64_t d2 = dx * dx + dy * dy;
    int64_t mind = (int64_t)w->mintilerange * 24;
    if (d2 < mind * mind) return TARGETRANGE_TOOCLOSE;
    if ((double)d2 > (double)w->range * (double)w->range) return TARGETRANGE_TOOFAR;
    if (Fog_IsOpen() && Target_GetTilePosition(target, tile) && !Fog_IsSeen(tile[0], tile[1], u->team))
        return TARGETRANGE_CANTSEE;
    return TARGETRANGE_OK;
}
