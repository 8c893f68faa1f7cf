#include "rules/tfunit.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <strings.h>

#include "core/error.h"
#include "core/textfile.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "platform/effects.h"
#include "platform/sound.h"
#include "platform/sprite.h"
#include "rules/gamemsg.h"
#include "units/damage.h"
#include "units/expltype.h"
#include "units/hlthexpl.h"
#include "units/mpteams.h"
#include "units/parts.h"
#include "units/unit.h"
#include "units/weapon.h"

typedef std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> PARSER_PTR;

// 2^24 / 360 in single precision, as the angles of the file have always been
// computed: a value worked out in double would move some angles by one unit.
static const float DEGREES_TO_ANGLE = 46603.38f;
enum : int32_t { ANGLE_MASK = PARTS_FULLTURN - 1, HALF_TURN = PARTS_FULLTURN / 2 };

// ---- failing a block

// Logged with where it happened; the block then fails.
__attribute__((format(printf, 2, 3))) static int Fail(TF_PARSER* parser, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    Tlog_SetLocation(__FILE__, __LINE__);
    Tlog_VPrintf(TLOG_ERROR, fmt, ap);
    va_end(ap);
    TF_ReportErrorLine(parser);
    return 0;
}

// A shared reader answered 0: the text ended inside its line, or it logged
// a refusal of its own. Either way the block fails; a truncated file must
// not load as a whole one.
static int SharedReaderFailed(TF_PARSER* parser)
{
    char token[TF_FIELD];
    if (!TF_PeekToken(parser, token, sizeof token))
        return Fail(parser, "Unexpected end of file in a unit type definition");
    return 0;
}

// A value for a field narrower than an int, or one the game can't use
// below or above a bound: stored anyway it would wrap into another value
// or leave the unit stuck.
static void CheckRange(TF_PARSER* parser, const char* what, int v, int lo, int hi)
{
    if (v < lo || v > hi) TF_Error(parser, "%s [%d] out of range (%d..%d)", what, v, lo, hi);
}

enum { BYTE_MAX = 255, WORD_MAX = 65535 };
// A decoy lives its count + 1 updates: up to 65536, nearly an hour of play.
enum { DECOY_MAXLIFE = WORD_MAX };

// ---- argument lists

enum { MAXARGS = 4 };

// The values of one argument list, by the letters of its form: 'i' an
// integer (a number is required), 'n' an integer written as text (text that
// is no number gives 0), 'f' a float, 's' a string (63 characters), 'F' a
// file name (12 characters).
struct ARGS {
    int count;
    char s[MAXARGS][TF_FIELD];
    int i[MAXARGS];
    float f;
};

static const char* Missing(char kind)
{
    if (kind == 'i' || kind == 'n') return "Expected Integer";
    if (kind == 'f') return "Expected Float";
    return "Expected String";
}

static bool IsBareBracket(const char* token, int quoted)
{
    return !quoted && token[0] && strchr("(){}", token[0]) && token[1] == '\0';
}

// An optional sign, then a digit (or a point and a digit for floats).
static bool LooksNumeric(const char* token, bool real)
{
    const char* c = token;
    if (*c == '-' || *c == '+') c++;
    if (real && *c == '.') c++;
    return *c >= '0' && *c <= '9';
}

static void CutFilename(TF_PARSER* parser, char* name)
{
    if (strlen(name) < TF_FILENAME) return;
    TLOG(TLOG_WARNING, "Filename [%s] too long - truncated", name);
    TF_ReportErrorLine(parser);
    name[TF_FILENAME - 1] = '\0';
}

static void ReadValue(TF_PARSER* parser, char kind, ARGS* a)
{
    int n = a->count++;
    if (kind == 'f') {
        // The tokenizer's own float conversion, so that every file reads
        // numbers alike.
        if (!TF_GetFloat(parser, a->s[n], &a->f) || IsBareBracket(a->s[n], 0) ||
            !LooksNumeric(a->s[n], true))
            TF_Error(parser, "%s", Missing(kind));
        return;
    }
    int quoted = 0;
    if (!TF_GetTokenQuoted(parser, a->s[n], TF_FIELD, &quoted) || IsBareBracket(a->s[n], quoted))
        TF_Error(parser, "%s", Missing(kind));
    if (kind == 'i' && !LooksNumeric(a->s[n], false)) TF_Error(parser, "Expected Integer");
    if (kind == 'i' || kind == 'n') a->i[n] = TF_TokenToInt(parser, a->s[n]);
    if (kind == 'F') CutFilename(parser, a->s[n]);
}

// The values of form and the closing ")", the "(" already read.
static void ReadValues(TF_PARSER* parser, const char* form, ARGS* a)
{
    a->count = 0;
    for (const char* k = form; *k; k++) ReadValue(parser, *k, a);
    if (!TF_ExpectCloseParen(parser)) TF_ReportExpected(parser, ")", "EOF");
}

static void ReadArgs(TF_PARSER* parser, const char* form, ARGS* a)
{
    if (!TF_ExpectOpenParen(parser)) TF_ReportExpected(parser, "(", "EOF");
    ReadValues(parser, form, a);
}

static void OpenBlock(TF_PARSER* parser)
{
    if (!TF_ExpectOpenBrace(parser)) TF_ReportExpected(parser, "{", "EOF");
}

// The next keyword of a block, 0 at its closing "}"; the end of the file
// before it is fatal.
static int NextKeyword(TF_PARSER* parser, char* token)
{
    int quoted = 0;
    if (!TF_GetTokenQuoted(parser, token, TF_FIELD, &quoted)) TF_ReportExpected(parser, "}", "EOF");
    return quoted || strcmp(token, "}") != 0;
}

// ---- angles

// Degrees as a 24-bit angle: truncated toward zero, masked to 24 bits.
static int32_t DegreesToAngle(float degrees)
{
    float angle = degrees * DEGREES_TO_ANGLE;
    return (int32_t)((int64_t)angle & ANGLE_MASK);
}

// A facing 0..255: bits 16..23 of the angle.
static int32_t DegreesToFacing(int degrees)
{
    return DegreesToAngle((float)degrees) >> 16;
}

// ---- the unit block

struct UNITBLOCK {
    UNITTYPE* t;
    int defaultunits;                          // SetDefaultUnit
    int nrequivalents;
    char equivalents[MPTEAMS_EQUIVALENTS][TF_FIELD];
};

typedef int (*UNIT_HANDLER)(TF_PARSER* parser, UNITBLOCK* b, const ARGS* a);

static SPRITE* RequiredSprite(TF_PARSER* parser, const char* name)
{
    SPRITE* sprite = Textfile_FindSprite(name);
    if (!sprite) TF_Error(parser, "Sprite file is required");
    return sprite;
}

static int UnitDescription(TF_PARSER* p, UNITBLOCK* b, const ARGS*)
{
    return Textfile_ParseSetDescription(p, 1, b->t->description) || SharedReaderFailed(p);
}

static int UnitMenuImage(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    UNITTYPE* t = b->t;
    if (t->menusprite)
        TF_Error(p, "Unit Type %s '%s' has too many menu images", t->symbolid, t->description);
    Str_CopySafe(t->menuspritefname, a->s[0], sizeof t->menuspritefname);
    t->menusprite = RequiredSprite(p, a->s[0]);
    return 1;
}

static int UnitShadowImage(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    UNITTYPE* t = b->t;
    if (t->shadowsprite)
        TF_Error(p, "Unit Type %s '%s' has too many shadow images", t->symbolid, t->description);
    Str_CopySafe(t->shadowspritefname, a->s[0], sizeof t->shadowspritefname);
    t->shadowsprite = RequiredSprite(p, a->s[0]);
    return 1;
}

// "(" up to four file names ")", each bound to a sound effect.
static void ReadSoundSet(TF_PARSER* p, UNITTYPE_SOUNDSET* set)
{
    char names[UNITTYPE_SOUNDS][TF_FIELD];
    int n = TF_GetStringList(p, names, UNITTYPE_SOUNDS);
    *set = UNITTYPE_SOUNDSET{};
    set->count = n;
    for (int i = 0; i < n; i++) {
        CutFilename(p, names[i]);
        Str_CopySafe(set->file[i], names[i], sizeof set->file[i]);
        Sound_InitEffect(&set->effect[i], set->file[i], UNITTYPE_SOUNDVOLUME);
    }
}

static int UnitSelectSounds(TF_PARSER* p, UNITBLOCK* b, const ARGS*)
{
    ReadSoundSet(p, &b->t->sound[0]);
    return 1;
}

static int UnitResponseSounds(TF_PARSER* p, UNITBLOCK* b, const ARGS*)
{
    ReadSoundSet(p, &b->t->sound[1]);
    return 1;
}

static int UnitMsgConstruct(TF_PARSER*, UNITBLOCK* b, const ARGS* a)
{
    b->t->msgconstruct = GameMsg_SymToData(a->s[0]);
    return 1;
}

static int UnitMsgCharged(TF_PARSER*, UNITBLOCK* b, const ARGS* a)
{
    b->t->msgcharged = GameMsg_SymToData(a->s[0]);
    return 1;
}

static int UnitCommandPointLoad(TF_PARSER*, UNITBLOCK* b, const ARGS* a)
{
    b->t->commandpointsload = a->i[0];
    return 1;
}

static int UnitSide(TF_PARSER* p, UNITBLOCK* b, const ARGS*)
{
    int side = 0;
    if (!Textfile_ParseSetSide(p, 1, &side)) return SharedReaderFailed(p);
    CheckRange(p, "SetSide", side, 0, BYTE_MAX);
    b->t->side = (uint8_t)side;
    return 1;
}

static int UnitDefaultUnit(TF_PARSER*, UNITBLOCK* b, const ARGS* a)
{
    b->defaultunits = a->i[0];
    return 1;
}

static int UnitEquivalent(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    if (b->nrequivalents >= MPTEAMS_EQUIVALENTS) TF_Error(p, "Too many equivalents for a unit");
    Str_CopySafe(b->equivalents[b->nrequivalents++], a->s[0], TF_FIELD);
    return 1;
}

static int UnitCost(TF_PARSER* p, UNITBLOCK* b, const ARGS*)
{
    int cost = 0, time = 0;
    if (!Textfile_ParseSetCost(p, 1, &cost, &time)) return SharedReaderFailed(p);
    // A negative cost would pay the buyer; past 16 bits a long build would
    // wrap to no time at all.
    CheckRange(p, "SetCost cost", cost, 0, WORD_MAX);
    CheckRange(p, "SetCost time", time, 1, WORD_MAX);
    b->t->buildcost = (uint16_t)cost;
    b->t->buildtime = (uint16_t)time;
    return 1;
}

static int UnitStealTime(TF_PARSER*, UNITBLOCK* b, const ARGS* a)
{
    b->t->stealtime = a->i[0] < 0 ? 0 : a->i[0];
    return 1;
}

static int UnitEffects(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    Str_CopySafe(b->t->effectsym, a->s[0], sizeof b->t->effectsym);
    b->t->effects = Effects_FindTable(a->s[0]);
    if (!b->t->effects) TF_Error(p, "Unable to find effects [%s]", a->s[0]);
    return 1;
}

static int UnitMoveMode(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    static const char* const modes[MM_MODES] = {"Fly", "Hover", "Fixed", "Ground", "Tunnel"};
    for (int mode = 0; mode < MM_MODES; mode++) {
        if (strcmp(a->s[0], modes[mode]) == 0) {
            b->t->defmovemode = mode;
            b->t->defmaplevel = Units_GetMapLevel(mode);
            return 1;
        }
    }
    TF_Error(p, "Invalid movement mode : expected FLY, HOVER, FIXED, GROUND or TUNNEL");
}

static int UnitAttackMode(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    if (strcmp(a->s[0], "Fire") == 0) b->t->defattackmode = UAM_FIRE;
    else if (strcmp(a->s[0], "FireNoMove") == 0) b->t->defattackmode = UAM_FIRENOMV;
    else TF_Error(p, "Invalid attack mode : expected FIRE or FIRENOMOVE");
    return 1;
}

static int UnitRequirements(TF_PARSER* p, UNITBLOCK* b, const ARGS*)
{
    int type, makers[TEXTFILE_PREREQS], prereqs[TEXTFILE_PREREQS], equivalence, techlevel;
    if (!Textfile_ParsePrereqs(p, 1, &type, makers, prereqs, &equivalence, &techlevel))
        return SharedReaderFailed(p);
    PREREQ& r = b->t->prereq;
    r.id = (uint16_t)type;
    for (int i = 0; i < PREREQ_LISTLEN && i < TEXTFILE_PREREQS; i++) {
        r.prereqs[i] = (uint16_t)prereqs[i];
        r.makers[i] = (uint16_t)makers[i];
    }
    r.equivalence = (uint16_t)equivalence;
    r.techlevel = (uint8_t)techlevel;
    return 1;
}

static int UnitStrength(TF_PARSER*, UNITBLOCK* b, const ARGS* a)
{
    b->t->maxhitpoints = a->i[0];
    return 1;
}

static int UnitPhysics(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    CheckRange(p, "SetPhysics mass", a->i[0], 0, BYTE_MAX);
    CheckRange(p, "SetPhysics speed", a->i[1], 0, BYTE_MAX);
    b->t->mass = (uint8_t)a->i[0];
    b->t->speed = (uint8_t)a->i[1];
    return 1;
}

static int UnitHitSize(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    CheckRange(p, "SetHitSize", a->i[0], 0, BYTE_MAX);
    b->t->hitsize = (uint8_t)a->i[0];
    return 1;
}

static int UnitSeeingRange(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    CheckRange(p, "SetSeeingRange", a->i[0], 0, BYTE_MAX);
    b->t->seeingrange = (uint8_t)a->i[0];
    return 1;
}

static int UnitVulnerability(TF_PARSER* p, UNITBLOCK* b, const ARGS*)
{
    int defense = 255, strength = 0;
    if (!Textfile_ParseSetVulnerability(p, 1, &defense, &strength)) return SharedReaderFailed(p);
    b->t->defense = defense;
    b->t->defensestrength = strength;
    return 1;
}

static int UnitCarry(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    CheckRange(p, "SetCarry units", a->i[0], 0, BYTE_MAX);
    CheckRange(p, "SetCarry mass", a->i[1], 0, BYTE_MAX);
    b->t->hold = (uint8_t)a->i[0];
    b->t->holdmass = (uint8_t)a->i[1];
    return 1;
}

// { ("src" "dst" "n") ... } with at most UNITTYPE_BLDPAIRS entries.
static int UnitBuildingPairs(TF_PARSER* p, UNITBLOCK* b, const ARGS*)
{
    auto& pairs = b->t->bldpairs;
    pairs.count = 0;
    OpenBlock(p);
    char token[TF_FIELD];
    while (NextKeyword(p, token)) {
        if (pairs.count >= UNITTYPE_BLDPAIRS) TF_ReportExpected(p, "}", token);
        if (strcmp(token, "(") != 0) TF_ReportExpected(p, "(", token);
        ARGS a;
        ReadValues(p, "ssn", &a);
        UNITTYPE_BLDPAIR& pair = pairs.pair[pairs.count++];
        Str_CopySafe(pair.src, a.s[0], sizeof pair.src);
        Str_CopySafe(pair.dst, a.s[1], sizeof pair.dst);
        pair.n = a.i[2];
    }
    return 1;
}

// Exactly four integers; the whole list is read first so that a longer one
// is reported as what it is.
static int UnitResourceTransport(TF_PARSER* p, UNITBLOCK* b, const ARGS*)
{
    if (!TF_ExpectOpenParen(p)) TF_ReportExpected(p, "(", "EOF");
    int v[4] = {0, 0, 0, 0}, count = 0;
    char token[TF_FIELD];
    for (;;) {
        int quoted = 0;
        if (!TF_GetTokenQuoted(p, token, sizeof token, &quoted)) TF_ReportExpected(p, ")", "EOF");
        if (!quoted && strcmp(token, ")") == 0) break;
        if (IsBareBracket(token, quoted) || !LooksNumeric(token, false))
            TF_Error(p, "Expected Integer");
        if (count < 4) v[count] = TF_TokenToInt(p, token);
        count++;
    }
    if (count != 4) TF_Error(p, "Wrong number of parameters");
    if (v[0] < 0 || v[0] >= UNIT_RESOURCES)
        return Fail(p, "Resource index [%d] out of range (0..%d)", v[0], UNIT_RESOURCES - 1);
    // A carrier that loads or unloads nothing a step waits at the door for
    // ever.
    CheckRange(p, "SetResourceTransport load", v[1], 0, INT32_MAX);
    if (v[1] > 0) {
        CheckRange(p, "SetResourceTransport loading rate", v[2], 1, INT32_MAX);
        CheckRange(p, "SetResourceTransport unloading rate", v[3], 1, INT32_MAX);
    }
    for (int i = 0; i < 3; i++) b->t->resource[v[0]][i] = v[i + 1];
    return 1;
}

static int UnitLoadAnimation(TF_PARSER*, UNITBLOCK* b, const ARGS* a)
{
    b->t->transportload = UNITTYPE_FACINGANIM{DegreesToFacing(a->i[0]), a->i[1]};
    return 1;
}

static int UnitUnloadAnimation(TF_PARSER*, UNITBLOCK* b, const ARGS* a)
{
    b->t->transportunload = UNITTYPE_FACINGANIM{DegreesToFacing(a->i[0]), a->i[1]};
    return 1;
}

static int Min(int a, int b) { return a < b ? a : b; }
static int Max(int a, int b) { return a > b ? a : b; }

static int UnitIdleAnimation(TF_PARSER*, UNITBLOCK* b, const ARGS* a)
{
    const int* v = a->i;
    b->t->abilities.canidle = 1;
    int32_t* info = b->t->idleanimationinfo;
    info[0] = Max(1, Min(v[0], v[1]));
    info[1] = Max(1, Max(v[0], v[1]));
    info[2] = Min(v[2], v[3]);
    info[3] = Max(v[2], v[3]);
    return 1;
}

#define UNIT_FLAG(fn, field)                                                                       \
    static int fn(TF_PARSER*, UNITBLOCK* b, const ARGS*)                                           \
    {                                                                                              \
        b->t->abilities.field = 1;                                                                 \
        return 1;                                                                                  \
    }
UNIT_FLAG(UnitIsHuman, ishuman)
UNIT_FLAG(UnitNoEdit, noedit)
UNIT_FLAG(UnitCanBlend, canblend)
UNIT_FLAG(UnitCanBoomerang, canboomerang)
UNIT_FLAG(UnitCanBoost, canboost)
UNIT_FLAG(UnitCanBeMorphedInto, canbemorphedinto)
UNIT_FLAG(UnitNoAutoTarget, noautotarget)
#undef UNIT_FLAG

static int UnitDecoy(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    UNITTYPE* of = Units_SymToTypePtr(a->s[0]);
    if (!of) return Fail(p, "Unit Type %s has not been defined", a->s[0]);
    if (of == b->t) return Fail(p, "Unit Type %s names itself", a->s[0]);
    if (of->decoy == DM_HASDECOY) return Fail(p, "Unit Type %s already has a decoy", a->s[0]);
    if (of->decoy == DM_ISDECOY)
        return Fail(p, "Unit Type %s is a decoy.  Can't have a decoy of a decoy", a->s[0]);
    CheckRange(p, "IsDecoyOf count", a->i[1], 0, DECOY_MAXLIFE);
    UNITTYPE* t = b->t;
    of->decoy = DM_HASDECOY;
    of->decoyinfo = UNITTYPE_TYPEINFO{};
    Str_CopySafe(of->decoyinfo.name, t->symbolid, sizeof of->decoyinfo.name);
    of->decoyinfo.type = t;
    t->decoy = DM_ISDECOY;
    t->decoyinfo = UNITTYPE_TYPEINFO{};
    Str_CopySafe(t->decoyinfo.name, of->symbolid, sizeof t->decoyinfo.name);
    t->decoyinfo.type = of;
    t->decoyinfo.n = a->i[1];
    return 1;
}

// A type named by a line must have been read before; the table keeps it, so
// the pointer taken now stays good and Units_PostProcessAllTypes finds it again.
static int TypeRef(TF_PARSER* p, const UNITTYPE* self, const ARGS* a, UNITTYPE_TYPEINFO* info)
{
    UNITTYPE* type = Units_SymToTypePtr(a->s[0]);
    if (!type) return Fail(p, "The Unit Type '%s' has not been defined", a->s[0]);
    // Itself as what it turns into: a grab, a switch or a promotion that
    // changes nothing, or loops.
    if (type == self) return Fail(p, "Unit Type %s names itself", a->s[0]);
    *info = UNITTYPE_TYPEINFO{};
    Str_CopySafe(info->name, a->s[0], sizeof info->name);
    info->type = type;
    info->n = a->i[1];
    info->m = a->count > 2 ? a->i[2] : 0;
    return 1;
}

static int UnitCanGrab(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    // The time a conversion takes: its counter ends one past it and must
    // still take a step.
    CheckRange(p, "CanGrab time", a->i[1], INT32_MIN, INT32_MAX - 2);
    b->t->abilities.cangrab = 1;
    return TypeRef(p, b->t, a, &b->t->grabinfo);
}

static int UnitCanAlternate(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    b->t->abilities.canalternate = 1;
    return TypeRef(p, b->t, a, &b->t->alternateinfo);
}

static int UnitCanVeteran(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    b->t->abilities.canveteran = 1;
    return TypeRef(p, b->t, a, &b->t->veteraninfo);
}

static int UnitCanSpy(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    // The time inside is drawn between the two.
    CheckRange(p, "CanSpy minimum time", a->i[0], 0, INT32_MAX);
    CheckRange(p, "CanSpy maximum time", a->i[1], a->i[0], INT32_MAX);
    b->t->abilities.canspy = 1;
    b->t->spyinfo[0] = a->i[0];
    b->t->spyinfo[1] = a->i[1];
    return 1;
}

static int UnitCanSabotage(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    CheckRange(p, "CanSabotage time", a->i[0], 1, INT32_MAX);
    b->t->abilities.cansabotage = 1;
    for (int i = 0; i < 3; i++) b->t->sabotageinfo[i] = a->i[i];
    return 1;
}

static int UnitCanPhase(TF_PARSER*, UNITBLOCK* b, const ARGS* a)
{
    auto& info = b->t->phaseinfo;
    b->t->abilities.canphase = 1;
    info.a = a->i[0];
    info.b = a->i[1];
    Str_CopySafe(info.text, a->s[2], sizeof info.text);
    info.c = a->i[3];
    info.buildingtype = nullptr;
    return 1;
}

// A morph plays its explosion: a name that no explosion type has would
// leave the unit code nothing to play.
static int Morph(TF_PARSER* p, const char* what, const ARGS* a, UNITTYPE_EXPLINFO* info)
{
    // The order tests its countdown, then counts it down: the bottom of the
    // word has no step below it.
    CheckRange(p, what, a->i[1], INT32_MIN + 1, INT32_MAX);
    info->expltype = Expl_FindType(a->s[0]);
    info->n = a->i[1];
    if (!info->expltype) return Fail(p, "Explosion type %s not defined\n", a->s[0]);
    return 1;
}

static int UnitMorphOverlay(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    b->t->abilities.canmorphovl = 1;
    return Morph(p, "CanMorphIntoOverlay time", a, &b->t->morphovlinfo);
}

static int UnitMorphUnit(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    b->t->abilities.canmorphunit = 1;
    return Morph(p, "CanMorphIntoUnit time", a, &b->t->morphunitinfo);
}

static int UnitChargeWeapon(TF_PARSER* p, UNITBLOCK* b, const ARGS* a)
{
    // A negative charge is no charge at all, and one far enough below 0
    // ran the unit's count (which falls by up to 100 an update) past what
    // a saved game holds, then past the word.
    CheckRange(p, "ChargeWeapon", a->i[0], 0, INT32_MAX);
    // Kept within int: a huge charge is a long one, not a negative one.
    int64_t charge = (int64_t)a->i[0] * 100;
    if (charge > INT32_MAX) charge = INT32_MAX;
    b->t->abilities.weaponcharge = 1;
    b->t->weaponchargeinfo = (int32_t)charge;
    return 1;
}

static int UnitRundownInfo(TF_PARSER* p, UNITBLOCK* b, const ARGS*)
{
    auto& info = b->t->rundowninfo;
    OpenBlock(p);
    char token[TF_FIELD];
    while (NextKeyword(p, token)) {
        ARGS a;
        if (strcmp(token, "SetAttack") == 0) {
            ReadArgs(p, "i", &a);
            info.attack = a.i[0];
        } else if (strcmp(token, "SetDefence") == 0) {
            ReadArgs(p, "i", &a);
            info.defence = a.i[0];
        } else if (strcmp(token, "SetSquishSound") == 0) {
            ReadArgs(p, "F", &a);
            Str_CopySafe(info.squishsound, a.s[0], sizeof info.squishsound);
            Sound_InitEffect(&info.squish, info.squishsound, UNITTYPE_SOUNDVOLUME);
        } else {
            return Fail(p, "Unknown string in rundown information %s", token);
        }
    }
    return 1;
}

static int UnitAddPart(TF_PARSER* p, UNITBLOCK* b, const ARGS*)
{
    auto& parts = b->t->partinfo;
    if (parts.nrparts >= UNITTYPE_MAXPARTS) return Fail(p, "Too many parts in unit");
    PARTTYPE* part = Tfunit_ParsePart(p, b->t);
    if (!part) return 0;
    parts.parttype[parts.nrparts++] = part;
    return 1;
}

// A null form: the handler reads the line itself (nested blocks, the shared
// readers, lists of any length).
static const struct {
    const char* keyword;
    const char* form;
    UNIT_HANDLER read;
} s_unitKeywords[] = {
    {"SetDescription", nullptr, UnitDescription},
    {"SetMenuImage", "F", UnitMenuImage},
    {"SetShadowImage", "F", UnitShadowImage},
    {"SetSelectSounds", nullptr, UnitSelectSounds},
    {"SetResponseSounds", nullptr, UnitResponseSounds},
    {"SetMsgConstruct", "s", UnitMsgConstruct},
    {"SetMsgCharged", "s", UnitMsgCharged},
    {"SetCommandPointLoad", "i", UnitCommandPointLoad},
    {"SetSide", nullptr, UnitSide},
    {"SetDefaultUnit", "i", UnitDefaultUnit},
    {"SetEquivalentUnit", "s", UnitEquivalent},
    {"SetCost", nullptr, UnitCost},
    {"SetStealTime", "i", UnitStealTime},
    {"UseEffects", "s", UnitEffects},
    {"SetMoveMode", "s", UnitMoveMode},
    {"SetDefaultAttackMode", "s", UnitAttackMode},
    {"SetRequirements", nullptr, UnitRequirements},
    {"SetStrength", "i", UnitStrength},
    {"SetPhysics", "ii", UnitPhysics},
    {"SetHitSize", "i", UnitHitSize},
    {"SetSeeingRange", "i", UnitSeeingRange},
    {"SetVulnerability", nullptr, UnitVulnerability},
    {"SetCarry", "ii", UnitCarry},
    {"SetBuildingSrcAndDst", nullptr, UnitBuildingPairs},
    {"SetResourceTransport", nullptr, UnitResourceTransport},
    {"SetTransportLoadAnimation", "ii", UnitLoadAnimation},
    {"SetTransportUnLoadAnimation", "ii", UnitUnloadAnimation},
    {"SetIdleAnimation", "iiii", UnitIdleAnimation},
    {"IsHuman", "", UnitIsHuman},
    {"NoEdit", "", UnitNoEdit},
    {"IsDecoyOf", "sn", UnitDecoy},
    {"CanBlend", "", UnitCanBlend},
    {"CanGrab", "sn", UnitCanGrab},
    {"CanSpy", "ii", UnitCanSpy},
    {"CanSabotage", "iii", UnitCanSabotage},
    {"CanBoomerang", "", UnitCanBoomerang},
    {"CanBoost", "", UnitCanBoost},
    {"CanAlternate", "sn", UnitCanAlternate},
    {"CanVeteran", "snn", UnitCanVeteran},
    {"CanPhase", "nnsn", UnitCanPhase},
    {"CanMorphIntoOverlay", "sn", UnitMorphOverlay},
    {"CanMorphIntoUnit", "sn", UnitMorphUnit},
    {"CanBeMorphedInto", "", UnitCanBeMorphedInto},
    {"ChargeWeapon", "i", UnitChargeWeapon},
    {"NoAutoTarget", "", UnitNoAutoTarget},
    {"SetRundownInfo", nullptr, UnitRundownInfo},
    {"AddPart", nullptr, UnitAddPart},
};

// ---- the part block

struct PARTBLOCK {
    UNITTYPE* unit;
    PARTTYPE* part;
    int images;
};

typedef int (*PART_HANDLER)(TF_PARSER* parser, PARTBLOCK* b, const ARGS* a);

static int PartRotationRate(TF_PARSER* p, PARTBLOCK* b, const ARGS* a)
{
    // A whole turn or more turns at once; masked, 360 degrees would be 0,
    // and a part that never turns would never finish a turn it is ordered.
    if (a->f >= 360.0f) {
        b->part->rotationspeed = PARTS_FULLTURN;
        return 1;
    }
    float angle = a->f * DEGREES_TO_ANGLE;
    int32_t speed = angle > -(float)PARTS_FULLTURN ? DegreesToAngle(a->f) : 0;
    if (speed == 0) return Fail(p, "Rotation rate [%s] never turns the part", a->s[0]);
    b->part->rotationspeed = speed;
    return 1;
}

static int PartRotationalArc(TF_PARSER*, PARTBLOCK* b, const ARGS* a)
{
    // 360 degrees or more leaves the part free; masked, it would pin it.
    b->part->halfrotationangle = a->i[0] >= 360 ? HALF_TURN : DegreesToAngle((float)a->i[0]);
    return 1;
}

static int PartScanDelay(TF_PARSER*, PARTBLOCK* b, const ARGS* a)
{
    b->part->scandelay = a->i[0];
    return 1;
}

static int PartImage(TF_PARSER* p, PARTBLOCK* b, const ARGS* a)
{
    if (b->images++ > 0) {
        TLOG(TLOG_ERROR, "Unit Type %s '%s' has too many images per part", b->unit->symbolid,
             b->unit->description);
        TF_ReportErrorLine(p);
        return 1;
    }
    Str_CopySafe(b->part->spritename, a->s[0], sizeof b->part->spritename);
    b->part->sprite = RequiredSprite(p, a->s[0]);
    return 1;
}

static int PartMoveAnimation(TF_PARSER*, PARTBLOCK* b, const ARGS* a)
{
    b->part->defaultanim = a->i[0];
    return 1;
}

static int PartStandingAnimation(TF_PARSER*, PARTBLOCK* b, const ARGS* a)
{
    b->part->overrideanim = a->i[0];
    return 1;
}

static int PartFireAnimation(TF_PARSER*, PARTBLOCK* b, const ARGS* a)
{
    b->part->fireanim = a->i[0];
    return 1;
}

static int PartHealthExplosion(TF_PARSER* p, PARTBLOCK* b, const ARGS* a)
{
    EXPLTYPE* expl = Expl_FindType(a->s[1]);
    if (!expl) return Fail(p, "Explosion type %s not defined\n", a->s[1]);
    int attach = a->s[2][0] == 'A' || a->s[2][0] == 'a';
    Hlthexpl_Add(&b->part->healthexpl, a->i[0], attach, expl);
    return 1;
}

static int PartAddWeapon(TF_PARSER* p, PARTBLOCK* b, const ARGS* a)
{
    UNITTYPE* unit = b->unit;
    PARTTYPE* part = b->part;
    if (unit->decoy == DM_ISDECOY)
        return Fail(p, "Weapons cannot be added to parts of a DECOY unit!");
    WEAPONTYPE* weapon = Weapon_FindType(a->s[0]);
    if (!weapon) return Fail(p, "Couldn't find weapon type with name %s", a->s[0]);
    // A shredder belongs to the unit, not to a slot of the part.
    if (weapon->kind == WSHREDDER) {
        if (unit->abilities.isshredder) return Fail(p, "Only one SHREDDER is allowed per unit");
        unit->abilities.isshredder = 1;
        unit->shredderinfo = weapon;
        return 1;
    }
    if (part->nrweapons >= PARTS_MAXWEAPONS) return Fail(p, "Too many weapons in part");
    part->weapons[part->nrweapons++] = PARTWEAPON{weapon, a->i[1], a->i[2]};
    return 1;
}

static const struct {
    const char* keyword;
    const char* form;
    PART_HANDLER read;
} s_partKeywords[] = {
    {"SetRotationRate", "f", PartRotationRate},
    {"SetRotationalArc", "i", PartRotationalArc},
    {"SetScanDelay", "i", PartScanDelay},
    {"SetImage", "F", PartImage},
    {"SetMoveAnimation", "i", PartMoveAnimation},
    {"SetStandingAnimation", "i", PartStandingAnimation},
    {"SetDefaultFireAnimation", "i", PartFireAnimation},
    {"SetHealthExplosion", "nss", PartHealthExplosion},
    {"AddWeapon", "snn", PartAddWeapon},
};

PARTTYPE* Tfunit_ParsePart(TF_PARSER* parser, UNITTYPE* unittype)
{
    PARTBLOCK b{unittype, Parts_NewType(), 0};
    if (!b.part) {
        Fail(parser, "Max number of part types exceeded");
        return nullptr;
    }
    OpenBlock(parser);
    char token[TF_FIELD];
    while (NextKeyword(parser, token)) {
        const auto* k = std::begin(s_partKeywords);
        while (k != std::end(s_partKeywords) && strcmp(k->keyword, token) != 0) k++;
        if (k == std::end(s_partKeywords)) {
            Fail(parser, "Unknown String in Part Definition : '%s'", token);
            return nullptr;
        }
        ARGS a{};
        ReadArgs(parser, k->form, &a);
        if (!k->read(parser, &b, &a)) return nullptr;
    }
    if (!Parts_SetupType(b.part)) {
        TF_ReportErrorLine(parser);
        return nullptr;
    }
    return b.part;
}

// ---- the unit block

// A shadow drawn under the base part follows its frames and rotations,
// unless it is a single picture for every one of them.
static void CheckShadow(TF_PARSER* parser, const UNITTYPE* t)
{
    const PARTTYPE* base = t->partinfo.nrparts > 0 ? t->partinfo.parttype[0] : nullptr;
    if (!t->shadowsprite || !base || !base->sprite) return;
    if (Sprite_NrFrames(t->shadowsprite) == 1 || Sprite_SameLayout(t->shadowsprite, base->sprite))
        return;
    TF_Error(parser,
             "Shadow sprite must have same geometry as base part's sprite in unit type [%s], or "
             "must have exactly one frame",
             t->symbolid);
}

static int ReadUnitLines(TF_PARSER* parser, UNITBLOCK* b)
{
    char token[TF_FIELD];
    while (NextKeyword(parser, token)) {
        const auto* k = std::begin(s_unitKeywords);
        while (k != std::end(s_unitKeywords) && strcmp(k->keyword, token) != 0) k++;
        if (k == std::end(s_unitKeywords))
            return Fail(parser, "Unknown String in Unit Definition : '%s'", token);
        ARGS a{};
        if (k->form) ReadArgs(parser, k->form, &a);
        if (!k->read(parser, b, &a)) return 0;
    }
    return 1;
}

int Tfunit_ParseUnitType(TF_PARSER* parser)
{
    UNITBLOCK b{};
    b.t = Units_NewType();
    if (!b.t) {
        TF_ReportErrorLine(parser);
        return 0;
    }
    if (!TF_GetParenString(parser, b.t->symbolid)) TF_ReportExpected(parser, "_name_", "EOF");
    // Types are looked up by name, case ignored: a second of one name could
    // never be found.
    for (int i = 0; i < b.t->unittypeid; i++)
        if (strcasecmp(Units_GetTypePtr(i)->symbolid, b.t->symbolid) == 0)
            TF_Error(parser, "Repeat unit type symbol [%s]", b.t->symbolid);
    OpenBlock(parser);
    if (!ReadUnitLines(parser, &b)) return 0;
    CheckShadow(parser, b.t);
    if (!Units_IsValidType(b.t)) {
        TF_ReportErrorLine(parser);
        return 0;
    }
    if (b.defaultunits > 0) MpTeams_AddStartUnits(b.t->side, b.t, b.defaultunits);
    if (g_MpTeamsPresetSides && !g_MpTeamsStartUnits && b.nrequivalents > 0)
        MpTeams_AddEquivalentUnits(b.t, b.equivalents, b.nrequivalents);
    return 1;
}

int Tfunit_ParseFile(TF_PARSER* parser)
{
    char token[TF_FIELD];
    while (TF_GetToken(parser, token, sizeof token)) {
        if (strcmp(token, "DefineUnitType") != 0)
            TF_ReportExpected(parser, "DefineUnitType", token);
        if (!Tfunit_ParseUnitType(parser)) TF_Error(parser, "Unable to parse unit type definition");
    }
    if (g_MpTeamsPresetSides && !g_MpTeamsStartUnits) MpTeams_ResolveEquivalentUnits();
    return 1;
}

int Tfunit_DefineUnitType(const char* path)
{
    // Closed on every way out, a fatal error that a test hook turns into a
    // jump included.
    PARSER_PTR parser(TF_Open(path), TF_Close);
    if (!parser) return 0;
    return Tfunit_ParseFile(parser.get());
}

void Tfunit_Reset(void)
{
    Units_FreeTypes();
    Parts_FreeTypes();
}
