#include "ui/igiclick.h"

#include "core/config.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/overlay.h"
#include "platform/input.h"
#include "ui/igi.h"
#include "units/autotarget.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unithold.h"
#include "units/unitlist.h"
#include "units/unitstate.h"

// Where the first stage hands over: most results pass the spy rule, some
// skip to the sabotage rule or straight to the final check.
enum { NEXT_SPY, NEXT_SABOTAGE, NEXT_FINAL };

namespace {

// What every stage reads, gathered once.
struct CLICK {
    UNIT* unit;
    BUILDING* build;
    int waypoint;
    int tx, ty;
    uint32_t mods;
    int local;
    UNIT* first;              // F
    UNITTYPE* common;         // the selection's one type, null when mixed or empty
    int single;               // exactly one unit selected
};

} // namespace

static UNITTYPE* CommonType(void)
{
    UNITTYPE* type = nullptr;
    for (UNITLISTELEM* e = igi_nfo.selected.head; e; e = e->next) {
        UNIT* u = UnitId_Ptr(&e->u);
        if (!u) continue;
        if (type && u->type != type) return nullptr;
        type = u->type;
    }
    return type;
}

static int Relation(int from, int to) { return Team_GetRelation(from, to); }

static int Shift(const CLICK& c) { return (c.mods & (MOD_LSHIFT | MOD_RSHIFT)) != 0; }

static int AnySpy(BUILDING* b)
{
    for (UNITID& spy : b->spy)
        if (UnitId_Valid(&spy)) return 1;
    return 0;
}

static int MorphKind(const CLICK& c)
{
    if (!c.first) return CK_CANTMORPH;
    const UNITTYPE* t = c.first->type;
    if (t->abilities.canmorphunit && c.unit && Units_CanMorphUnit(c.first, c.unit->type)) return CK_MORPHUNIT;
    if (t->abilities.canmorphovl) {
        OVERLAY* o = Ovl_IsThingAbsolute(c.tx * MAP_TILE_PIXELS, c.ty * MAP_TILE_PIXELS);
        if (o && o->type >= 0 && Units_CanMorphOverlay(c.first, Ovl_GetType(o->type))) return CK_MORPHOVL;
    }
    return CK_CANTMORPH;
}

static int ActionModeKind(const CLICK& c, int mode)
{
    int onwaypoint = c.waypoint >= 0;
    switch (mode) {
    case AM_MOVE: return CK_MOVE;
    case AM_MOVE2: return CK_MOVE2;
    case AM_FIRE:
    case AM_FIRENOMV: return CK_FIRE;
    case AM_ROTATE: return CK_ROTATE;
    case AM_TRAILINS0: return onwaypoint ? CK_WAYPOINT : CK_TRAILINS0;
    case AM_TRAILINS1: return onwaypoint ? CK_WAYPOINT : CK_TRAILINS1;
    case AM_TRAILEDIT: return onwaypoint ? CK_WAYPOINT : CK_TRAILEDIT;
    case AM_PLACE: return CK_PLACE;
    case AM_MORPH: return MorphKind(c);
    case AM_SELL: return CK_SELL;
    case AM_POWER: return CK_POWER;
    case AM_REPAIR: return CK_REPAIRBUILDING;
    case AM_PRODDEST: return CK_PRODDEST;
    default: return CK_CLUSTDEST;
    }
}

static int GroundKind(const CLICK& c, int* next)
{
    BUILDING* s = igi_nfo.sbuild;
    if (s && (s->buildingtype->flags & BTF_ISTELEPORT) && s->team == c.local && Build_IsIdle(s) &&
        !Units_ListEmpty(&s->hold))
        return Fog_IsExplored(c.tx, c.ty, c.local) ? CK_TELEPORT : CK_CANTTELEPORT;
    if (!c.first) {
        *next = NEXT_FINAL;
        return CK_NOTHING;
    }
    return g_Config.defaultmove ? CK_MOVE : CK_NOTHING;
}

static int ServiceKind(const CLICK& c)
{
    const UNIT* f = c.first;
    BUILDING* b = c.build;
    uint32_t flags = b->buildingtype->flags;
    if (b->team == c.local && f->maplevel == ML_GROUND && Units_CanBoardBuilding(f, b)) return CK_BOARDBUILDING;
    if (f->type->abilities.ishuman && (flags & BTF_CANHEAL)) return CK_GOTOHEAL;
    if (!f->type->abilities.ishuman && (flags & BTF_CANREPAIR)) return CK_GOTOREPAIR;
    uint32_t rearm = f->movemode == MM_FLY ? BTF_CANREARMFLYER : BTF_CANREARM;
    if ((flags & rearm) && !f->type->abilities.weaponcharge) return CK_GOTOREARM;
    return CK_NOTHING;
}

static int BuildingKind(const CLICK& c)
{
    BUILDING* b = c.build;
    if (Shift(c) && b->team == c.local && (b->buildingtype->flags & BTF_CANMAKE)) return CK_PRIMARY;
    if (!c.first) {
        if (b != igi_nfo.sbuild) return CK_NOTHING;
        if (b->team == c.local) {
            if (!Units_ListEmpty(&b->hold)) return CK_UNLOADBUILDING;
            return b->buildingtype->spytype != BSPY_NONE && AnySpy(b) ? CK_SPYSEARCH : CK_NOTHING;
        }
        return UnitId_Valid(&b->spy[c.local]) ? CK_SPYREPORT : CK_NOTHING;
    }
    if (Relation(c.first->team, b->team) != TR_ENEMY && Units_MatchedTransportPair(c.first, b->buildingtype))
        return CK_TRANSPORT;
    int rel = Relation(c.local, b->team);
    if (rel == TR_ALLY) return ServiceKind(c);
    if (!g_Config.defaultfire) return CK_NOTHING;
    return rel == TR_ENEMY ? CK_FIRE : CK_NEUTRAL;
}

static int HealKind(const CLICK& c)
{
    return c.unit->type->abilities.ishuman ? CK_HEALUNIT : CK_REPAIRUNIT;
}

static int Damaged(const UNIT* u) { return u->hitpoints < u->type->maxhitpoints; }

static int OwnUnitKind(const CLICK& c, int* next)
{
    UNIT* f = c.first;
    UNIT* u = c.unit;
    if (f && f != u && f->type->abilities.canheal && Damaged(u) && c.single && Units_IsTargetAppropriate(f, u))
        return HealKind(c);
    if (u->type->hold == 0) {
        if (!f) {
            *next = NEXT_SABOTAGE;
            return CK_NOTHING;
        }
        return f->type->abilities.canboost && u->type->abilities.ishuman && c.single ? CK_BOOST : CK_NOTHING;
    }
    if (f && f != u && !u->type->abilities.cangrab && f->maplevel == u->maplevel && Units_HoldAvailable(u, f))
        return CK_BOARDUNIT;
    if (!Units_ListEmpty(&u->hold) && Units_ListFind(&igi_nfo.selected, u->id)) return CK_UNLOADUNIT;
    return CK_NOTHING;
}

static int OtherUnitKind(const CLICK& c, int* next)
{
    UNIT* f = c.first;
    UNIT* u = c.unit;
    if (!f) {
        *next = NEXT_SABOTAGE;
        return CK_NOTHING;
    }
    if (f->type->abilities.canheal) {
        if (Team_AgreedRelation(c.local, u->team, TR_ALLY) && Damaged(u) && c.single &&
            Units_IsTargetAppropriate(f, u))
            return HealKind(c);
        return CK_IMPOSSIBLE;
    }
    if (c.mods & MOD_CTRL) return CK_FIRE;
    if (!g_Config.defaultfire) return CK_NOTHING;
    return Relation(c.local, u->team) == TR_ENEMY ? CK_FIRE : CK_NEUTRAL;
}

static int DefaultKind(const CLICK& c, int* next)
{
    if (c.waypoint >= 0) return CK_WAYPOINT;
    if (c.unit) return c.unit->team == c.local ? OwnUnitKind(c, next) : OtherUnitKind(c, next);
    if (c.build) return BuildingKind(c);
    return GroundKind(c, next);
}

static int SpyRule(const CLICK& c, int kind, int* next)
{
    if (!c.first || !c.common || !c.common->abilities.canspy || !c.build) {
        *next = NEXT_SABOTAGE;
        return kind;
    }
    *next = NEXT_FINAL;
    BUILDING* b = c.build;
    int spytype = b->buildingtype->spytype;
    if (c.first->spy.nrplans > 0 && b->team == c.local && spytype == BSPY_HQ) return CK_SPYHOME;
    if (kind == CK_FIRE && b->team != c.local && !UnitId_Valid(&b->spy[c.local]) && spytype != BSPY_NONE)
        return CK_SPY;
    return kind;
}

static int SabotageRule(const CLICK& c, int kind)
{
    if (kind == CK_FIRE && c.build && c.first && c.common && c.common->abilities.cansabotage) return CK_SABOTAGE;
    return kind;
}

// A tile is only refused for a move when the player can see that it is
// impassable for every form the selection can take.
static int MoveRefused(const CLICK& c)
{
    const UNITTYPE* t = c.common;
    if (!Fog_IsSeen(c.tx, c.ty, c.local)) return 0;
    if (!Units_IsImpassible(t, c.tx, c.ty)) return 0;
    if (t->abilities.canalternate && t->alternateinfo.type && !Units_IsImpassible(t->alternateinfo.type, c.tx, c.ty))
        return 0;
    if (c.first->alternate_utype && !Units_IsImpassible(c.first->alternate_utype, c.tx, c.ty)) return 0;
    return 1;
}

static int FireCheck(const CLICK& c)
{
    UNIT* f = c.first;
    if (!c.common || !f) return CK_FIRE;
    const UNITTYPE_ABILITIES& a = c.common->abilities;
    UNIT* u = c.unit && c.unit->state != US_PHASING ? c.unit : nullptr;
    if (u) {
        if (a.cangrab && u->type->abilities.ishuman && Relation(c.local, u->team) != TR_ALLY) return CK_GRAB;
        if (a.isshredder && c.single) return CK_SHRED;
        return Units_IsTargetAppropriate(f, u) ? CK_FIRE : CK_CANTFIRE;
    }
    if (c.build) return Units_CanShootBuilding(f, c.build) ? CK_FIRE : CK_CANTFIRE;
    return Units_CanShootGround(f, c.tx, c.ty) && Fog_IsSeen(c.tx, c.ty, c.local) ? CK_FIRE : CK_CANTFIRE;
}

static int FinalCheck(const CLICK& c, int kind)
{
    switch (kind) {
    case CK_NOTHING:
        if (c.unit && c.unit->team == c.local) return CK_SELECTUNIT;
        return c.build ? CK_SELECTBUILDING : CK_NOTHING;
    case CK_MOVE:
    case CK_MOVE2:
        if (!c.first) return CK_IMPOSSIBLE;
        return c.common && MoveRefused(c) ? CK_IMPOSSIBLE : kind;
    case CK_FIRE: return FireCheck(c);
    default: return kind;
    }
}

int Igievnt_ClassifyClick(UNIT* unit, BUILDING* building, int waypoint, int tx, int ty, uint32_t modifiers)
{
    int mode = igi_nfo.actionmode;
    if (mode < 0 || mode >= AM_MAXIMUM) {
        TLOG(TLOG_WARNING, "Unknown action mode [%d]", mode);
        return CK_NOTHING;
    }
    if (g_LocalTeam < 0 || g_LocalTeam >= TEAM_MAXTEAMS) return CK_NOTHING;
    CLICK c;
    c.unit = unit;
    c.build = building;
    c.waypoint = waypoint;
    c.tx = tx;
    c.ty = ty;
    c.mods = modifiers;
    c.local = g_LocalTeam;
    c.first = igi_nfo.firstunit;
    c.common = CommonType();
    c.single = Units_ListSize(&igi_nfo.selected) == 1;
    int next = NEXT_SPY;
    int kind = mode == AM_DEFAULT ? DefaultKind(c, &next) : ActionModeKind(c, mode);
    if (next == NEXT_SPY) kind = SpyRule(c, kind, &next);
    if (next == NEXT_SABOTAGE) kind = SabotageRule(c, kind);
    return FinalCheck(c, kind);
}
