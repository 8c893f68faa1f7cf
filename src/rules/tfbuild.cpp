#include "rules/tfbuild.h"

#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <strings.h>

#include "core/error.h"
#include "core/textfile.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "map/overlay.h"
#include "platform/effects.h"
#include "platform/sprite.h"
#include "rules/gamemsg.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/expltype.h"
#include "units/hlthexpl.h"
#include "units/mpteams.h"
#include "units/unit.h"

namespace {

enum {
    MAX_SEEINGRANGE = 20,
    RESOURCE_KINDS = BUILD_RESOURCES,
};

// One block being read: the equivalent names wait here until the block is
// whole, since the multiplayer teams keep them only while they are in use.
struct BLOCK {
    TF_PARSER* parser;
    BUILDINGTYPE* type;
    char equivalents[BUILD_EQUIVALENTS][TF_FIELD];
    int nrequivalents;
};

// A failure inside a block: logged with where, then the block fails.
__attribute__((format(printf, 2, 3))) int Fail(TF_PARSER* parser, const char* fmt, ...)
{
    char message[TF_LONGTOKEN];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(message, sizeof message, fmt, ap);
    va_end(ap);
    TLOG(TLOG_ERROR, "%s", message);
    TF_ReportErrorLine(parser);
    return 0;
}

// The errors that end the program at once (class 4), with the file and line.
[[noreturn]] __attribute__((format(printf, 2, 3))) void FatalAt(TF_PARSER* parser,
                                                                const char* fmt, ...)
{
    char message[TF_LONGTOKEN];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(message, sizeof message, fmt, ap);
    va_end(ap);
    TF_ReportErrorLine(parser);
    Error_AddContext("File : %s", parser->filename);
    Error_AddContext("Line : %d", parser->line);
    ERR_FATAL(ERRC_FATAL, "%s", message);
}

int Ints(TF_PARSER* p, int n, int* v)
{
    switch (n) {
    case 1: return TF_GetParenInt(p, &v[0]);
    case 2: return TF_GetParenInt2(p, &v[0], &v[1]);
    case 3: return TF_GetParenInt3(p, &v[0], &v[1], &v[2]);
    default: return TF_GetParenInt4(p, &v[0], &v[1], &v[2], &v[3]);
    }
}

// Readers of the stored bit fields: 15 in a signed 4-bit field is -1 (none).
int8_t Signed4(int v)
{
    v &= 15;
    return (int8_t)(v >= 8 ? v - 16 : v);
}

int ReadName(TF_PARSER* p, char* field)
{
    return TF_GetValue(p, field, TF_FIELD);
}

// An integer among other values: a bracket in its place is fatal, as in
// the tokenizer's own lists.
int ReadInt(TF_PARSER* p, int* v)
{
    char token[TF_FIELD];
    if (!TF_GetValue(p, token, sizeof token)) return 0;
    *v = TF_TokenToInt(p, token);
    return 1;
}

// A type defined before this one; the block's own type doesn't count, so
// that a type can't become its own upgrade or decoy.
BUILDINGTYPE* FindEarlier(const char* name, const BUILDINGTYPE* self)
{
    int i = Textfile_FindBuildingType(name);
    return i >= 0 && i < self->index ? &g_BuildingTypes[i] : nullptr;
}

// A value that its field can't hold, or that the game can't use: named
// with the keyword, it fails the block.
int InRange(BLOCK* b, const char* what, int v, int lo, int hi)
{
    if (v >= lo && v <= hi) return 1;
    return Fail(b->parser, "%s for [%s] - value [%d] out of range (%d..%d)", what, b->type->name, v,
                lo, hi);
}

// ---- the keywords, in the order they are tried

int Images(BLOCK* b, int)
{
    char names[3][TF_FIELD];
    if (!TF_ExpectOpenParen(b->parser)) return 0;
    for (auto& n : names)
        if (!ReadName(b->parser, n)) return 0;
    if (!TF_ExpectCloseParen(b->parser)) return 0;
    BUILDINGTYPE* t = b->type;
    for (int i = 0; i < 3; i++) Str_CopySafe(t->image[i], names[i], BUILD_FILENAME);
    t->footprint = Effects_FindType(t->image[0]);
    if (!t->footprint) FatalAt(b->parser, "No effects for [%s]", t->image[0]);
    return 1;
}

int Shadow(BLOCK* b, int)
{
    char name[TF_FIELD];
    if (!TF_GetParenString(b->parser, name)) return 0;
    Str_CopySafe(b->type->shadowimage, name, BUILD_FILENAME);
    return 1;
}

int Description(BLOCK* b, int)
{
    return Textfile_ParseSetDescription(b->parser, 1, b->type->description);
}

int DecoyOf(BLOCK* b, int)
{
    char name[TF_FIELD];
    if (!TF_GetParenString(b->parser, name)) return 0;
    BUILDINGTYPE* t = b->type;
    BUILDINGTYPE* of = FindEarlier(name, t);
    if (!of) return Fail(b->parser, "Invalid building name");
    if (of->decoy) return Fail(b->parser, "%s already has decoy", of->name);
    if (of->decoyof) return Fail(b->parser, "Can't make a decoy of %s, it's a decoy!", of->name);
    memcpy(t->image, of->image, sizeof t->image);
    t->footprint = of->footprint;
    Str_CopySafe(t->description, "Decoy", sizeof t->description);
    t->cost = of->cost / 2;
    // Production divides by the build time: half of 1 must not become 0.
    t->buildtime = of->buildtime / 2 < 1 ? 1 : of->buildtime / 2;
    t->maxhitpoints = of->maxhitpoints / 2;
    t->seeingrange = of->seeingrange;
    t->seeingheight = of->seeingheight;
    of->decoy = t;
    t->decoyof = of;
    return 1;
}

int Message(BLOCK* b, int charged)
{
    char name[TF_FIELD];
    if (!TF_GetParenString(b->parser, name)) return 0;
    (charged ? b->type->msgcharged : b->type->msgconstruct) = GameMsg_SymToData(name);
    return 1;
}

int UpgradeOf(BLOCK* b, int)
{
    char name[TF_FIELD];
    if (!TF_GetParenString(b->parser, name)) return 0;
    BUILDINGTYPE* of = FindEarlier(name, b->type);
    if (!of) return Fail(b->parser, "Invalid building name");
    if (of->upgradeto) return Fail(b->parser, "%s already has upgrade", of->name);
    of->upgradeto = b->type;
    b->type->upgradefrom = of;
    return 1;
}

int Sell(BLOCK* b, int)
{
    int v[2];
    if (!Ints(b->parser, 2, v)) return 0;
    b->type->sell[0] = v[0] < 0 ? -1 : v[0];
    b->type->sell[1] = v[1] < 0 ? 1 : v[1];
    return 1;
}

// A resource number outside the five records would index past them.
int ResourceOk(BLOCK* b, const char* keyword, int r)
{
    if (r >= 0 && r < RESOURCE_KINDS) return 1;
    return Fail(b->parser, "%s for [%s] - invalid resource [%d] (0..%d)", keyword, b->type->name, r,
                RESOURCE_KINDS - 1);
}

int Resource(BLOCK* b, int)
{
    int v[4];
    if (!Ints(b->parser, 4, v)) return 0;
    if (!ResourceOk(b, "SetResource", v[0])) return 0;
    if (v[1] < 0 || v[2] < 0 || v[3] < 0 || v[3] > v[2])
        return Fail(b->parser, "SetResource for [%s] - invalid value [%d %d %d]", b->type->name, v[0],
                    v[1], v[2]);
    BUILDTYPE_RESOURCE& r = b->type->resource[v[0]];
    r.production = v[1];
    r.maxstored = v[2];
    r.initial = v[3];
    return 1;
}

int ResourceSale(BLOCK* b, int)
{
    int v[3];
    if (!Ints(b->parser, 3, v)) return 0;
    if (!ResourceOk(b, "SetResourceSale", v[0])) return 0;
    if (v[1] < 1 || v[2] < 0)
        return Fail(b->parser, "SetResourceSale for [%s] - invalid value [%d %d %d]", b->type->name,
                    v[0], v[1], v[2]);
    b->type->resource[v[0]].salepercent = v[1];
    b->type->resource[v[0]].salecharge = v[2];
    return 1;
}

int Supply(BLOCK* b, int)
{
    int v[4];
    if (!Ints(b->parser, 4, v)) return 0;
    if (!ResourceOk(b, "SupplyResource", v[0]) || !ResourceOk(b, "SupplyResource", v[2])) return 0;
    if (v[1] < 0 || v[3] < 0)
        return Fail(b->parser, "SupplyResource for [%s] - invalid value [%d %d %d %d]",
                    b->type->name, v[0], v[1], v[2], v[3]);
    b->type->resource[v[0]].supplytarget = v[2];
    b->type->resource[v[0]].supplypercent = v[3];
    return 1;
}

int Need(BLOCK* b, int)
{
    int v[2];
    if (!Ints(b->parser, 2, v)) return 0;
    if (!ResourceOk(b, "NeedResource", v[0])) return 0;
    if (v[1] < 1)
        return Fail(b->parser, "NeedResource for [%s] - invalid value [%d %d]", b->type->name, v[0],
                    v[1]);
    b->type->resource[v[0]].need = v[1];
    return 1;
}

int OffOn(BLOCK* b, int)
{
    int v[2];
    if (!Ints(b->parser, 2, v)) return 0;
    b->type->offtime = v[0] < 1 ? 0 : v[0];
    b->type->ontime = v[1] < 1 ? 0 : v[1];
    return 1;
}

int CpuLoad(BLOCK* b, int)
{
    return Textfile_ParseSetCPULoad(b->parser, 1, &b->type->cpuload);
}

int CpuGain(BLOCK* b, int)
{
    return Ints(b->parser, 1, &b->type->cpugainpercent);
}

int StealTime(BLOCK* b, int)
{
    int v;
    if (!Ints(b->parser, 1, &v)) return 0;
    b->type->stealtime = v < 1 ? 0 : v;
    return 1;
}

int Radar(BLOCK* b, int)
{
    int v[2];
    if (!Ints(b->parser, 2, v)) return 0;
    b->type->radarx = Signed4(v[0]);
    b->type->radary = Signed4(v[1]);
    return 1;
}

int SeeingRange(BLOCK* b, int)
{
    int v;
    if (!Ints(b->parser, 1, &v)) return 0;
    b->type->seeingrange = (uint8_t)(v < 0 ? 0 : v > MAX_SEEINGRANGE ? MAX_SEEINGRANGE : v);
    return 1;
}

int SeeingHeight(BLOCK* b, int)
{
    int v;
    if (!Ints(b->parser, 1, &v)) return 0;
    b->type->seeingheight = (uint8_t)(v & 15);
    return 1;
}

int Bay(BLOCK* b, int)
{
    int v[2];
    if (!Ints(b->parser, 2, v)) return 0;
    b->type->bayx = Signed4(v[0]);
    b->type->bayy = Signed4(v[1]);
    return 1;
}

int Rooms(BLOCK* b, int)
{
    int v[2];
    if (!Ints(b->parser, 2, v)) return 0;
    if (!InRange(b, "SetRooms units", v[0], 0, 255) || !InRange(b, "SetRooms mass", v[1], 0, 255))
        return 0;
    b->type->rooms[0] = (uint8_t)v[0];
    b->type->rooms[1] = (uint8_t)v[1];
    return 1;
}

int Requirements(BLOCK* b, int)
{
    int type, makers[TEXTFILE_PREREQS], prereqs[TEXTFILE_PREREQS], equivalence, techlevel;
    if (!Textfile_ParsePrereqs(b->parser, 1, &type, makers, prereqs, &equivalence, &techlevel))
        return 0;
    PREREQ& p = b->type->prereq;
    p.id = (uint16_t)type;
    for (int i = 0; i < PREREQ_LISTLEN && i < TEXTFILE_PREREQS; i++) {
        p.prereqs[i] = (uint16_t)prereqs[i];
        p.makers[i] = (uint16_t)makers[i];
    }
    p.equivalence = (uint16_t)equivalence;
    p.techlevel = (uint8_t)techlevel;
    return 1;
}

int Hitpoints(BLOCK* b, int)
{
    if (!Textfile_ParseSetHitpoints(b->parser, 1, &b->type->maxhitpoints, &b->type->hitpoints2))
        return 0;
    // A building of no hit points is destroyed as soon as it stands.
    return InRange(b, "SetHitpoints", b->type->maxhitpoints, 1, INT32_MAX);
}

int SortHeight(BLOCK* b, int)
{
    int ignored;
    return Textfile_ParseSetImageSortHeight(b->parser, 1, &ignored);
}

int Side(BLOCK* b, int)
{
    int v;
    if (!Textfile_ParseSetSide(b->parser, 1, &v)) return 0;
    if (!InRange(b, "SetSide", v, INT8_MIN, INT8_MAX)) return 0;
    b->type->side = (int8_t)v;
    return 1;
}

int Equivalent(BLOCK* b, int)
{
    char name[TF_FIELD];
    if (!TF_GetParenString(b->parser, name)) return 0;
    if (b->nrequivalents >= BUILD_EQUIVALENTS)
        return Fail(b->parser, "Too many equivalents for a building");
    Str_CopySafe(b->equivalents[b->nrequivalents++], name, TF_FIELD);
    return 1;
}

int Cost(BLOCK* b, int)
{
    if (!Textfile_ParseSetCost(b->parser, 1, &b->type->cost, &b->type->buildtime)) return 0;
    // A negative cost pays the builder, and selling then takes credits
    // away; a job's work counts in hundredths of an update, in an int.
    return InRange(b, "SetCost cost", b->type->cost, 0, INT32_MAX) &&
           InRange(b, "SetCost time", b->type->buildtime, 1, INT32_MAX / 100);
}

int RepairCost(BLOCK* b, int)
{
    int v[2];
    if (!Ints(b->parser, 2, v)) return 0;
    for (int x : v)
        if (x < 0) {
            char found[16];
            snprintf(found, sizeof found, "%d", x);
            TF_ReportExpected(b->parser, "SetRepairCost", found);
        }
    b->type->repaircost[0] = v[0];
    b->type->repaircost[1] = v[1];
    return 1;
}

int Flag(BLOCK* b, int bit)
{
    if (!TF_ExpectEmptyParens(b->parser)) return 0;
    b->type->flags |= (uint32_t)bit;
    return 1;
}

int Teleport(BLOCK* b, int)
{
    int n;
    char name[TF_FIELD];
    if (!TF_ExpectOpenParen(b->parser) || !ReadInt(b->parser, &n) ||
        !ReadName(b->parser, name) || !TF_ExpectCloseParen(b->parser))
        return 0;
    EXPLTYPE* e = Expl_FindType(name);
    if (!e) return Fail(b->parser, "Explosion type \"%s\" not previously defined\n", name);
    b->type->flags |= BTF_ISTELEPORT;
    b->type->teleportn = n;
    b->type->teleportexpl = e;
    return 1;
}

int Repair(BLOCK* b, int)
{
    int flag = 0;
    if (!Textfile_ParseCanRepair(b->parser, 1, &flag)) return 0;
    if (flag) b->type->flags |= BTF_CANREPAIR;
    return 1;
}

int Heal(BLOCK* b, int)
{
    int flag = 0;
    if (!Textfile_ParseCanHeal(b->parser, 1, &flag)) return 0;
    if (flag) b->type->flags |= BTF_CANHEAL;
    return 1;
}

int ActivePart(BLOCK* b, int)
{
    if (!TF_ExpectOpenParen(b->parser)) return 0;
    for (BUILDTYPE_PART& part : b->type->activepart) {
        char name[TF_FIELD];
        int x, y;
        if (!ReadName(b->parser, name) || !ReadInt(b->parser, &x) ||
            !ReadInt(b->parser, &y))
            return 0;
        UNITTYPE* type = nullptr;
        if (strcasecmp(name, "none") != 0 && (type = Units_SymToTypePtr(name)) == nullptr)
            return Fail(b->parser, "Undefined active unit type [%s]", name);
        Str_CopySafe(part.name, type ? name : "", sizeof part.name);
        part.type = type;
        part.x = x;
        part.y = y;
    }
    return TF_ExpectCloseParen(b->parser);
}

int Associated(BLOCK* b, int)
{
    char name[TF_FIELD];
    int flag;
    if (!TF_ExpectOpenParen(b->parser) || !ReadName(b->parser, name) ||
        !ReadInt(b->parser, &flag) || !TF_ExpectCloseParen(b->parser))
        return 0;
    UNITTYPE* type = Units_SymToTypePtr(name);
    if (!type) return Fail(b->parser, "Undefined associate unit type %s", name);
    b->type->associatedunit = type;
    if (flag & 1) b->type->flags |= BTF_ASSOCIATEFLAG;
    else b->type->flags &= ~(uint32_t)BTF_ASSOCIATEFLAG;
    return 1;
}

int SpyType(BLOCK* b, int)
{
    static const char* const kinds[] = {"HQ", "RESOURCE", "UNITPLAN"};
    char kind[TF_FIELD];
    if (!TF_GetParenString(b->parser, kind)) return 0;
    for (int i = 0; i < 3; i++)
        if (strcmp(kind, kinds[i]) == 0) {
            b->type->spytype = BSPY_HQ + i;
            return 1;
        }
    return Fail(b->parser, "Unknown SPY TYPE in building type");
}

int Vulnerability(BLOCK* b, int)
{
    int defense, strength;
    if (!Textfile_ParseSetVulnerability(b->parser, 1, &defense, &strength)) return 0;
    b->type->defense = (int16_t)defense;
    b->type->defensestrength = (int16_t)strength;
    return 1;
}

int Crater(BLOCK* b, int)
{
    int v;
    if (!Ints(b->parser, 1, &v)) return 0;
    b->type->cratersize = v & 7;
    return 1;
}

int HealthExplosion(BLOCK* b, int)
{
    char name[TF_FIELD];
    int threshold;
    if (!TF_ExpectOpenParen(b->parser) || !ReadInt(b->parser, &threshold) ||
        !ReadName(b->parser, name) || !TF_ExpectCloseParen(b->parser))
        return 0;
    EXPLTYPE* e = Expl_FindType(name);
    if (!e) return Fail(b->parser, "Explosion type %s not defined", name);
    Hlthexpl_Add(&b->type->healthexplosions, threshold, 0, e);
    return 1;
}

// { (a b) (c d) }: the line through (b, a) and (d, c).
int Efficiency(BLOCK* b, int overresources)
{
    int v[2][2];
    if (!TF_ExpectOpenBrace(b->parser) || !Ints(b->parser, 2, v[0]) || !Ints(b->parser, 2, v[1]) ||
        !TF_ExpectCloseBrace(b->parser))
        return 0;
    BUILDTYPE_EFFICIENCY& e = overresources ? b->type->efficiencyres : b->type->efficiencyhp;
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++) e.point[i][j] = (uint8_t)v[i][j];
    int a = e.point[0][0], bx = e.point[0][1], c = e.point[1][0], d = e.point[1][1];
    if (bx == d)
        TF_Error(b->parser, "Efficiency line of [%s] has both points at %d: no slope", b->type->name,
                 d);
    e.slope = (c - a) * 65536 / (d - bx);
    e.intercept = a - (e.slope >> 16) * bx;
    return 1;
}

int Transport(BLOCK* b, int)
{
    char name[TF_FIELD];
    int pack, unpack;
    if (!TF_ExpectOpenParen(b->parser) || !ReadName(b->parser, name) ||
        !ReadInt(b->parser, &pack) || !ReadInt(b->parser, &unpack) ||
        !TF_ExpectCloseParen(b->parser))
        return 0;
    UNITTYPE* type = Units_SymToTypePtr(name);
    if (!type) return Fail(b->parser, "Unknown type %s", name);
    b->type->transportunit = type;
    b->type->packtime = pack;
    b->type->unpacktime = unpack;
    return 1;
}

int Animation(BLOCK* b, int which)
{
    return Ints(b->parser, 1, &b->type->anim[which]);
}

int ActionIndicator(BLOCK* b, int which)
{
    char name[TF_FIELD];
    if (!TF_GetParenString(b->parser, name)) return 0;
    int type = Ovl_FindType(name);
    if (type < 0) return Fail(b->parser, "Undefined action indicator [%s]", name);
    b->type->actionindicator[which] = type;
    return 1;
}

int Interface(BLOCK* b, int)
{
    return Ints(b->parser, 2, b->type->interface);
}

const struct {
    const char* keyword;
    int (*read)(BLOCK* b, int arg);
    int arg;
} s_keywords[] = {
    {"SetBuildingImages", Images, 0},
    {"SetShadowImage", Shadow, 0},
    {"SetDescription", Description, 0},
    {"IsDecoyOf", DecoyOf, 0},
    {"SetMsgConstruct", Message, 0},
    {"SetMsgCharged", Message, 1},
    {"IsUpgradeOf", UpgradeOf, 0},
    {"SetSell", Sell, 0},
    {"SetResource", Resource, 0},
    {"SetResourceSale", ResourceSale, 0},
    {"SupplyResource", Supply, 0},
    {"NeedResource", Need, 0},
    {"SetOffOnTimes", OffOn, 0},
    {"SetCPULoad", CpuLoad, 0},
    {"SetCPUGainPercent", CpuGain, 0},
    {"SetStealTime", StealTime, 0},
    {"SetRadar", Radar, 0},
    {"SetSeeingRange", SeeingRange, 0},
    {"SetSeeingHeight", SeeingHeight, 0},
    {"SetBay", Bay, 0},
    {"SetRooms", Rooms, 0},
    {"SetRequirements", Requirements, 0},
    {"SetHitpoints", Hitpoints, 0},
    {"SetImageSortHeight", SortHeight, 0},
    {"SetSide", Side, 0},
    {"SetEquivalentBuilding", Equivalent, 0},
    {"SetCost", Cost, 0},
    {"SetRepairCost", RepairCost, 0},
    {"IsBridge", Flag, BTF_ISBRIDGE},
    {"IsNotBuilderEater", Flag, BTF_NOTBUILDEREATER},
    {"IsBuiltFromEdge", Flag, BTF_BUILTFROMEDGE},
    {"GivesMiniMap", Flag, BTF_GIVESMINIMAP},
    {"IsTeleport", Teleport, 0},
    {"CanRearm", Flag, BTF_CANREARM},
    {"CanRearmFlyer", Flag, BTF_CANREARMFLYER},
    {"CanRepair", Repair, 0},
    {"CanHeal", Heal, 0},
    {"ActivePart", ActivePart, 0},
    {"AssociatedUnit", Associated, 0},
    {"CanMake", Flag, BTF_CANMAKE},
    {"SetSpyType", SpyType, 0},
    {"SetVulnerability", Vulnerability, 0},
    {"MakesCrater", Crater, 0},
    {"SetHealthExplosion", HealthExplosion, 0},
    {"SetEfficiencyHitPoints", Efficiency, 0},
    {"SetEfficiencyResource", Efficiency, 1},
    {"SetTransportUnit", Transport, 0},
    {"SetConstructAnimation", Animation, 0},
    {"SetIdleAnimation", Animation, 1},
    {"SetDestructAnimation", Animation, 2},
    {"SetUpgradeAnimation", Animation, 3},
    {"SetRepairAnimation", Animation, 4},
    {"SetRearmAnimation", Animation, 5},
    {"SetResourceSaleAnimation", Animation, 6},
    {"SetBoardAnimation", Animation, 7},
    {"SetSellActionIndicator", ActionIndicator, 0},
    {"SetRepairActionIndicator", ActionIndicator, 1},
    {"SetPowerUpActionIndicator", ActionIndicator, 2},
    {"SetPowerDownActionIndicator", ActionIndicator, 3},
    {"SetPackActionIndicator", ActionIndicator, 4},
    {"SetInterface", Interface, 0},
};

// ---- the end of a block

int LoadSprite(TF_PARSER* parser, SPRITE** slot, const char* name)
{
    *slot = Textfile_FindSprite(name);
    if (*slot) return 1;
    return Fail(parser, "No sprite [%s] for building type", name);
}

int Finish(BLOCK* b)
{
    TF_PARSER* p = b->parser;
    BUILDINGTYPE* t = b->type;
    TF_UnderscoreToSpace(t->description);
    for (int i = 0; i < 2; i++)
        for (char* c = t->image[i]; *c; c++) *c = (char)toupper((unsigned char)*c);
    if (strcmp(t->image[0], "NONE") == 0)
        FatalAt(p, "Missing image definitions for building [%s]", t->description);
    for (int i = 0; i < t->index; i++)
        if (strcmp(g_BuildingTypes[i].name, t->name) == 0)
            FatalAt(p, "Repeat building type symbol [%s]", t->name);

    if (!LoadSprite(p, &t->sprite[1], t->image[1]) || !LoadSprite(p, &t->sprite[0], t->image[0]))
        return 0;
    t->pixelw = Sprite_GetWidth(t->sprite[0]);
    t->pixelh = Sprite_GetHeight(t->sprite[0]);
    int w = t->pixelw / BUILD_TILEPIXELS, h = t->pixelh / BUILD_TILEPIXELS;
    // The size fields hold signed 4 bits and a placed building saves the
    // fields under at most BUILD_MAXSIDE x BUILD_MAXSIDE tiles.
    if (w < 1 || h < 1 || w > BUILD_MAXSIDE || h > BUILD_MAXSIDE)
        TF_Error(p, "Building [%s]: image [%s] of %d x %d pixels makes %d x %d tiles (1..%d)",
                 t->name, t->image[0], t->pixelw, t->pixelh, w, h, BUILD_MAXSIDE);
    t->width = (int8_t)w;
    t->height = (int8_t)h;
    if (!LoadSprite(p, &t->sprite[2], t->image[2])) return 0;
    if (t->shadowimage[0] && !LoadSprite(p, &t->shadowsprite, t->shadowimage)) return 0;
    // Without a SetHitpoints line (or as the decoy of a building of 1) the
    // type would fall at the first update.
    if (!InRange(b, "Maximum hit points (SetHitpoints)", t->maxhitpoints, 1, INT32_MAX)) return 0;

    if ((t->flags & BTF_CANMAKE) && t->bayx != -1) {
        // The grid is shared with every type of that footprint: a write
        // beyond it would land in another grid or the heap.
        uint8_t* cell = Effects_OvlEntry(t->footprint, t->bayx, t->bayy);
        if (!cell)
            TF_Error(p, "Bay (%d, %d) of [%s] is outside its footprint [%s]", t->bayx, t->bayy,
                     t->name, t->image[0]);
        cell[0] = BUILD_BAYCODE;
    }
    if (MpTeams_EquivalentBuildingsInUse())
        MpTeams_AddEquivalentBuildings(t, b->equivalents, b->nrequivalents);
    return 1;
}

} // namespace

int BuildingType_ParseDefinition(TF_PARSER* parser, int keyword_read)
{
    if (!TF_ExpectKeywordIf(parser, keyword_read, "DefineBuildingType")) return 0;
    BUILDINGTYPE* t = Build_NewType();
    if (!t) return 0;
    BLOCK b{};
    b.parser = parser;
    b.type = t;
    char token[TF_FIELD];
    if (!TF_GetParenString(parser, token) || !TF_ExpectOpenBrace(parser))
        return Fail(parser, "Unexpected end of file in DefineBuildingType()");
    Str_CopySafe(t->name, token, sizeof t->name);
    for (;;) {
        int quoted = 0;
        if (!TF_GetTokenQuoted(parser, token, sizeof token, &quoted))
            return Fail(parser, "Unexpected end of file in building type [%s]", t->name);
        if (!quoted && strcmp(token, "}") == 0) break;
        const auto* k = std::begin(s_keywords);
        while (k != std::end(s_keywords) && strcmp(k->keyword, token) != 0) k++;
        if (k == std::end(s_keywords)) return Fail(parser, "Unexpected function [%s]", token);
        if (!k->read(&b, k->arg)) {
            if (!TF_PeekToken(parser, token, sizeof token))
                Fail(parser, "Unexpected end of file in building type [%s]", t->name);
            return 0;
        }
    }
    return Finish(&b);
}

int BuildingType_Parse(TF_PARSER* parser)
{
    char token[TF_FIELD];
    for (;;) {
        if (g_NrBuildingTypes >= BUILD_MAXTYPES) {
            TLOG(TLOG_DIAG, "Max of [%d] building types reached", BUILD_MAXTYPES);
            break;
        }
        if (!TF_ExpectKeyword(parser, "DefineBuildingType", token)) break;
        if (!BuildingType_ParseDefinition(parser, 1))
            TF_Error(parser, "Failed on parsing of DefineBuildingType()");
    }
    if (MpTeams_EquivalentBuildingsInUse()) MpTeams_ResolveEquivalentBuildings();
    return 1;
}

int BuildingType_LoadFile(const char* path)
{
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> parser(TF_Open(path), TF_Close);
    if (!parser) return 0;
    return BuildingType_Parse(parser.get());
}

void BuildingType_ReloadSprites(void)
{
    for (int i = 0; i < g_NrBuildingTypes; i++) {
        BUILDINGTYPE* t = &g_BuildingTypes[i];
        for (int image : {1, 0, 2})
            if (t->sprite[image]) Textfile_ReloadSprite(t->sprite[image]);
        if (t->shadowsprite) Textfile_ReloadSprite(t->shadowsprite);
    }
}

void BuildingType_FreeSprites(void)
{
    BuildingType_ReloadSprites();
}
