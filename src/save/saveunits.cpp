// The stored form of the game's own records: units and their parts, paths
// and trails, unit lists, buildings, teams, projectiles, explosions,
// vortices and shock waves, and the condition machine's trees. Records that the game embeds (a part's state
// and display records, a unit's handles and targets) are stored inside the
// record that holds them; the handle types also have forms of their own.
#include <climits>
#include <bit>
#include <cstddef>

#include "core/angle.h"
#include "core/gll.h"
#include "map/map.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "ai/ai.h"
#include "ai/aip.h"
#include "rules/endcond.h"
#include "save/savefield.h"
#include "save/savetype.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/explosion.h"
#include "units/expltype.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/target.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitlist.h"
#include "units/vortex.h"
#include "units/weapon.h"

namespace {

#define MEMBER(rec, f) (((rec*)nullptr)->f)
#define FLD(rec, f, st, kind, lo, hi) \
    {#f, (uint32_t)offsetof(rec, f), (uint8_t)sizeof(MEMBER(rec, f)), st, kind, 1, lo, hi, 0, nullptr, 0, 0}
#define I32(rec, f, lo, hi) FLD(rec, f, 4, SF_INT, lo, hi)
#define ANYI(rec, f) FLD(rec, f, 4, SF_INT, I32MIN, I32MAX)
#define ANYU(rec, f) FLD(rec, f, 4, SF_UINT, 0, U32MAX)
// A counter the game steps up or down by one: the one value that step would
// overflow from is out of range.
#define UPI(rec, f) FLD(rec, f, 4, SF_INT, I32MIN, I32MAX - 1)
#define DOWNI(rec, f) FLD(rec, f, 4, SF_INT, I32MIN + 1, I32MAX)
#define ARR(rec, f, st, kind, lo, hi)                                                             \
    {#f, (uint32_t)offsetof(rec, f), (uint8_t)sizeof(MEMBER(rec, f)[0]), st, kind,                \
     (uint16_t)(sizeof(MEMBER(rec, f)) / sizeof(MEMBER(rec, f)[0])), lo, hi, 0, nullptr, 0, 0}
#define BYTES(rec, f) {#f, (uint32_t)offsetof(rec, f), 1, 1, SF_UINT, (uint16_t)sizeof(MEMBER(rec, f)), 0, 255, 0, nullptr, 0, 0}
#define TEXT(rec, f) {#f, (uint32_t)offsetof(rec, f), 1, 1, SF_TEXT, (uint16_t)sizeof(MEMBER(rec, f)), 0, 255, 0, nullptr, 0, 0}
#define PTR(rec, f, desc, target) {desc, (uint32_t)offsetof(rec, f), 8, 4, SF_PTR, 1, 0, 0, target, nullptr, 0, 0}
#define PTRS(rec, f, desc, target)                                                                \
    {desc, (uint32_t)offsetof(rec, f), 8, 4, SF_PTR,                                              \
     (uint16_t)(sizeof(MEMBER(rec, f)) / sizeof(MEMBER(rec, f)[0])), 0, 0, target, nullptr, 0, 0}
// A weak handle {pointer, id}: the pointer, then its id.
#define WEAK(rec, f, ptrf, desc, target)                                                          \
    {desc, (uint32_t)offsetof(rec, f.ptrf), 8, 4, SF_WEAK, 1, 0, 0, target, nullptr, 0, 0},       \
        I32(rec, f.id, -1, I32MAX)
#define UNITIDF(rec, f, desc) WEAK(rec, f, unit, desc, ST_UNIT)
#define BUILDIDF(rec, f, desc) WEAK(rec, f, building, desc, ST_BUILDING)
#define TARGETF(rec, f, desc)                                                                     \
    I32(rec, f.mode, FM_NONE, FM_BUILDING), UNITIDF(rec, f.unit, desc ".unit"),                   \
        BUILDIDF(rec, f.building, desc ".building"), I32(rec, f.x, -1, TILEMAX), I32(rec, f.y, -1, TILEMAX)
#define CASE(value, table) {value, table, (int)(sizeof table / sizeof table[0])}
#define CASE0(value) {value, nullptr, 0}
#define VARIANT(rec, f, sub, sel, cases)                                                          \
    {#f, (uint32_t)offsetof(rec, f), (uint8_t)sizeof(sub), 0, SF_VARIANT, 1, 0, 0, 0, cases,      \
     (uint16_t)(sizeof cases / sizeof cases[0]), (uint16_t)offsetof(sub, sel)}
#define FORM(name, rec, table) {name, (uint32_t)sizeof(rec), 0, table, (int)(sizeof table / sizeof table[0]), 0}

const int64_t I32MIN = INT32_MIN, I32MAX = INT32_MAX, U32MAX = UINT32_MAX;
const int64_t TILEMAX = MAP_MAX_SIDE - 1, PIXELMAX = MAP_MAX_SIDE * 24;
const int64_t TEAMMAX = TEAM_MAXTEAMS - 1;
// Where a shot, a blast, a vortex or a wave can be, in pixels: the largest
// map with half its side again on every edge (a homing shot may circle off
// the map). Within it the 16.16 form fits a word, and a shot's squared
// distance to its aim, taken in 16.16, fits 63 bits.
const int64_t PXLO = -PIXELMAX / 2, PXHI = PIXELMAX + PIXELMAX / 2;
const int64_t FXLO = PXLO * 65536, FXHI = PXHI * 65536 + 65535;
// A shot's speed, 16.16: from one pixel an update to the 30000 a weapon's
// speed is held to.
const int64_t SPEEDLO = 65536, SPEEDHI = 30000LL * 65536;
// A shock wave's reach in pixels (its radius is held to it); its bubbles
// ride the ring, so lie up to that far past the wave's centre.
const int64_t WAVEFAR = 1 << 20;
#define PIX(rec, f) I32(rec, f, PXLO, PXHI)
// A tile an order, a path or a building's exit names: on the map or -1 for
// none, taken with a map's side of slack on every edge (orders step around
// it and measure from it, a unit's pixel place is its tile times 24).
#define TILE(rec, f) I32(rec, f, -MAP_MAX_SIDE, 2 * MAP_MAX_SIDE - 1)
// A weapon's charge (which stops once below zero) and an idle unit's delay
// (about one off an update) never get down to half the range below zero, and
// a boost's time and fade speed stay within half the range either way: what
// the game takes from them, or adds to them, then fits a word.
const int64_t COUNTLO = I32MIN / 2;
#define HALFI(rec, f) I32(rec, f, COUNTLO, I32MAX / 2)
// The weapon file's reader holds a booster to the same half: a unit's boost
// time is counted down by one from it, its fade speed is the booster's.
static_assert(-WEAPON_MAXBOOSTTIME - 1 >= COUNTLO && WEAPON_MAXBOOSTTIME <= I32MAX / 2 &&
                  WEAPON_MINBOOSTFADE >= COUNTLO && WEAPON_MAXBOOSTFADE <= I32MAX / 2,
              "a boost the weapon file takes is one a saved game holds");
// A part's angle, 24-bit: every turn the game makes wraps it into one turn.
#define ANGLE(rec, f) I32(rec, f, 0, PARTS_FULLTURN - 1)

// ---- handles

#define HANDLE(rec, ptrf, desc, target)                                                           \
    {desc, (uint32_t)offsetof(rec, ptrf), 8, 4, SF_WEAK, 1, 0, 0, target, nullptr, 0, 0}, I32(rec, id, -1, I32MAX)
const SAVEFIELD kUnitId[] = {HANDLE(UNITID, unit, "h->unit", ST_UNIT)};
const SAVEFIELD kBuildId[] = {HANDLE(BUILDID, building, "h->building", ST_BUILDING)};
const SAVEFIELD kExplId[] = {HANDLE(EXPLID, expl, "h->expl", ST_EXPL)};
const SAVEFIELD kTarget[] = {
    I32(TARGET, mode, FM_NONE, FM_BUILDING), UNITIDF(TARGET, unit, "t->unit"),
    BUILDIDF(TARGET, building, "t->building"), I32(TARGET, x, -1, TILEMAX), I32(TARGET, y, -1, TILEMAX),
};
const SAVEFIELD kUnitList[] = {
    PTR(UNITLIST, head, "l->head", ST_UNITLISTELEM),
    PTR(UNITLIST, tail, "l->tail", ST_UNITLISTELEM),
    I32(UNITLIST, count, 0, I32MAX),
};
const SAVEFIELD kUnitListElem[] = {
    UNITIDF(UNITLISTELEM, u, "e->u"),
    PTR(UNITLISTELEM, next, "e->next", ST_UNITLISTELEM),
};

// ---- paths and trails

const SAVEFIELD kPathNode[] = {
    PTR(PATHNODE, next, "n->next", ST_PATHNODE),
    PTR(PATHNODE, prev, "n->prev", ST_PATHNODE),
    ARR(PATHNODE, steps, 1, SF_UINT, 0, 15),
    FLD(PATHNODE, first, 2, SF_INT, 0, PATH_NODESTEPS),
    FLD(PATHNODE, count, 2, SF_INT, 0, PATH_NODESTEPS),
};
const SAVEFIELD kWaypoint[] = {
    I32(WAYPOINT, type, WPT_MOVE, WPT_FIRE),
    I32(WAYPOINT, x, 0, TILEMAX),
    I32(WAYPOINT, y, 0, TILEMAX),
    ANYI(WAYPOINT, value),
    PTR(WAYPOINT, next, "w->next", ST_WAYPOINT),
    PTR(WAYPOINT, prev, "w->prev", ST_WAYPOINT),
};
const SAVEFIELD kTrail[] = {
    PTR(TRAIL, head, "t->head", ST_WAYPOINT),
    PTR(TRAIL, tail, "t->tail", ST_WAYPOINT),
};

// ---- the standing orders: one case per order code

const SAVEFIELD kSoAttack[] = {
    TARGETF(STANDINGORDERINFO, attack.target, "so->attack.target"),
    TILE(STANDINGORDERINFO, attack.homepos.x), TILE(STANDINGORDERINFO, attack.homepos.y),
    TILE(STANDINGORDERINFO, attack.destpos.x), TILE(STANDINGORDERINFO, attack.destpos.y),
};
const SAVEFIELD kSoMove[] = {
    TILE(STANDINGORDERINFO, move.destpos.x), TILE(STANDINGORDERINFO, move.destpos.y), ANYU(STANDINGORDERINFO, move.groupid), UPI(STANDINGORDERINFO, move.retries),
};
const SAVEFIELD kSoConstruct[] = {
    UPI(STANDINGORDERINFO, construct.retries), I32(STANDINGORDERINFO, construct.buildtype, -1, BUILD_MAXTYPES - 1),
    TILE(STANDINGORDERINFO, construct.topleftpos.x), TILE(STANDINGORDERINFO, construct.topleftpos.y),
};
const SAVEFIELD kSoSpy[] = {
    BUILDIDF(STANDINGORDERINFO, spy.building, "so->spy.building"),
    I32(STANDINGORDERINFO, spy.mode, SPY_SPY, SPY_EJECTALL), UPI(STANDINGORDERINFO, spy.retries),
    TILE(STANDINGORDERINFO, spy.destx), TILE(STANDINGORDERINFO, spy.desty), TILE(STANDINGORDERINFO, spy.exitx), TILE(STANDINGORDERINFO, spy.exity),
    DOWNI(STANDINGORDERINFO, spy.timeleft), FLD(STANDINGORDERINFO, spy.stealid, 2, SF_UINT, 0, 0xFFFF),
    DOWNI(STANDINGORDERINFO, spy.stealtime), ANYI(STANDINGORDERINFO, spy.stealmax), ANYI(STANDINGORDERINFO, spy.effect),
};
const SAVEFIELD kSoSabotage[] = {
    BUILDIDF(STANDINGORDERINFO, sabotage.building, "so->sabotage.building"),
    UNITIDF(STANDINGORDERINFO, sabotage.unit, "so->sabotage.unit"),
    DOWNI(STANDINGORDERINFO, sabotage.sabotageleft), UPI(STANDINGORDERINFO, sabotage.retries),
};
const SAVEFIELD kSoTrail[] = {
    FLD(STANDINGORDERINFO, trail.didtrailwait, 1, SF_UINT, 0, 1), ANYI(STANDINGORDERINFO, trail.followstate),
    I32(STANDINGORDERINFO, trail.mode, TRAIL_REVERSE, TRAIL_STOP),
    PTR(STANDINGORDERINFO, trail.trail, "so->trail.trail", ST_TRAIL),
    PTR(STANDINGORDERINFO, trail.waypoint, "so->trail.waypoint", ST_WAYPOINT),
};
const SAVEFIELD kSoBoard[] = {UNITIDF(STANDINGORDERINFO, board.unit, "so->board.unit"), UPI(STANDINGORDERINFO, board.retries)};
const SAVEFIELD kSoBoardBld[] = {BUILDIDF(STANDINGORDERINFO, boardbld.building, "so->boardbld.building"), UPI(STANDINGORDERINFO, boardbld.retries)};
const SAVEFIELD kSoGrab[] = {UNITIDF(STANDINGORDERINFO, grabunit.unit, "so->grabunit.unit"), UPI(STANDINGORDERINFO, grabunit.retries)};
const SAVEFIELD kSoPickup[] = {UPI(STANDINGORDERINFO, pickup.retries)};
const SAVEFIELD kSoService[] = {
    BUILDIDF(STANDINGORDERINFO, serviceself.b, "so->serviceself.b"),
    TILE(STANDINGORDERINFO, serviceself.returnpos.x), TILE(STANDINGORDERINFO, serviceself.returnpos.y),
    I32(STANDINGORDERINFO, serviceself.state, SERVICE_MOVING_TO_QUEUE, SERVICE_MOVING_BACK),
};
const SAVEFIELD kSoMorphOvl[] = {
    PTR(STANDINGORDERINFO, morphovl.otypeinto, "so->morphovl.otypeinto", ST_OVERLAYTYPE), DOWNI(STANDINGORDERINFO, morphovl.countdown),
};
const SAVEFIELD kSoMorphUnit[] = {
    PTR(STANDINGORDERINFO, morphunit.utypeinto, "so->morphunit.utypeinto", ST_UNITTYPE),
    I32(STANDINGORDERINFO, morphunit.teaminto, -1, TEAMMAX), DOWNI(STANDINGORDERINFO, morphunit.countdown),
};
const SAVEFIELD kSoUnmorph[] = {DOWNI(STANDINGORDERINFO, unmorph.countdown)};
const SAVEFIELD kSoAutomove[] = {ANYI(STANDINGORDERINFO, automove.level), I32(STANDINGORDERINFO, automove.retreat, 0, 1)};

const SAVECASE kSoCases[] = {
    CASE0(SO_NONE),           CASE(SO_ATTACK, kSoAttack),
    CASE(SO_MOVE, kSoMove),           CASE(SO_CONSTRUCT, kSoConstruct),
    CASE(SO_SPY, kSoSpy),             CASE(SO_SABOTAGE_BUILDING, kSoSabotage),
    CASE(SO_TRAIL, kSoTrail),         CASE(SO_BOARD, kSoBoard),
    CASE(SO_BOARDBLD, kSoBoardBld),   CASE(SO_GRABUNIT, kSoGrab),
    CASE(SO_PICKUP, kSoPickup),       CASE(SO_REPAIRSELF, kSoService),
    CASE(SO_REARMSELF, kSoService),   CASE(SO_MORPHOVL, kSoMorphOvl),
    CASE(SO_MORPHUNIT, kSoMorphUnit), CASE(SO_UNMORPH, kSoUnmorph),
    CASE(SO_AUTOMOVE, kSoAutomove),   CASE0(SO_DUMMY),
};

// ---- the unit's next state: kinds 5 and 6 carry a target

const SAVEFIELD kNsMove[] = {I32(UNITNEXTSTATE, move.x, 0, TILEMAX), I32(UNITNEXTSTATE, move.y, 0, TILEMAX), ANYU(UNITNEXTSTATE, move.groupid)};
const SAVEFIELD kNsRotate[] = {ANYI(UNITNEXTSTATE, rotate.facing)};
const SAVEFIELD kNsWait[] = {ANYI(UNITNEXTSTATE, wait.updates)};
const SAVEFIELD kNsFire[] = {TARGETF(UNITNEXTSTATE, fire.target, "ns->fire.target")};
const SAVEFIELD kNsFireOnce[] = {TARGETF(UNITNEXTSTATE, fireonce.target, "ns->fireonce.target")};
const SAVECASE kNsCases[] = {
    CASE0(UNS_NONE),       CASE0(UNS_STOP),           CASE(UNS_WAIT, kNsWait),
    CASE(UNS_MOVE, kNsMove),       CASE(UNS_ROTATE, kNsRotate),       CASE(UNS_FIRE, kNsFire),
    CASE(UNS_FIREONCE, kNsFireOnce), CASE0(UNS_WAITFOROBSTACLE), CASE0(UNS_PHASE),
    CASE0(UNS_UNPHASE),
};

// ---- units

// The flag bits have no address of their own: they fill the byte after idledelay.
const uint32_t kUnitBits = offsetof(UNIT, idledelay) + 4;
static_assert(offsetof(UNIT, seen) == kUnitBits + 1, "unit layout: the seven flags share one byte");

// The computer players' record (ai) is not stored: a loaded game starts
// its computer players afresh.
const SAVEFIELD kUnit[] = {
    PTR(UNIT, type, "u->type", ST_UNITTYPE),
    I32(UNIT, id, -1, I32MAX),
    FLD(UNIT, team, 1, SF_INT, 0, TEAMMAX),
    I32(UNIT, movemode, MM_FLY, MM_TUNNEL),
    I32(UNIT, maplevel, ML_FLY, ML_TUNNEL),
    I32(UNIT, state, US_NONE, US_UNPHASING),
    I32(UNIT, idledelay, COUNTLO, I32MAX),
    {"iscaptured/onmap/isblended/isphased/isanimating/ischarging/inuse bits", kUnitBits, 1, 1, SF_UINT, 1, 0, 127, 0,
     nullptr, 0, 0},
    BYTES(UNIT, seen),
    BYTES(UNIT, ever_seen),
    ARR(UNIT, apparentteam, 1, SF_UINT, 0, TEAMMAX),
    ARR(UNIT, resource, 4, SF_INT, 0, I32MAX),
    PTR(UNIT, localtrail, "u->localtrail", ST_TRAIL),
    ANYI(UNIT, trailmode),
    VARIANT(UNIT, sorder, STANDINGORDERINFO, code, kSoCases),
    ANYI(UNIT, sorder.nextscantime),
    VARIANT(UNIT, snextorder, STANDINGORDERINFO, code, kSoCases),
    ANYI(UNIT, snextorder.nextscantime),
    ANYI(UNIT, tactaiinfo.tenacity), ANYI(UNIT, tactaiinfo.autonomy), ANYI(UNIT, tactaiinfo.selfpreservation),
    ANYI(UNIT, usertactaiinfo.tenacity), ANYI(UNIT, usertactaiinfo.autonomy),
    ANYI(UNIT, usertactaiinfo.selfpreservation),
    I32(UNIT, hitpoints, 0, I32MAX), ANYU(UNIT, experience), DOWNI(UNIT, liferemaining),
    I32(UNIT, chargeremaining, COUNTLO, I32MAX),
    PTR(UNIT, building_package, "u->building_package", ST_BUILDINGPACKAGE),
    PTR(UNIT, alternate_utype, "u->alternate_utype", ST_UNITTYPE),
    I32(UNIT, operation.code, UO_NONE, UO_MORPHOVL), ANYI(UNIT, operation.duration), UPI(UNIT, operation.counter),
    ANYI(UNIT, boost.state), HALFI(UNIT, boost.counter), HALFI(UNIT, boost.fadespeed), I32(UNIT, boost.floor, 0, I32MAX),
    I32(UNIT, spy.nrplans, 0, UNITS_MAXSTOLEN),
    ARR(UNIT, spy.plans, 2, SF_UINT, 0, 0xFFFF),
    I32(UNIT, tilepos.x, 0, TILEMAX), I32(UNIT, tilepos.y, 0, TILEMAX),
    I32(UNIT, pixelpos.x, 0, PIXELMAX), I32(UNIT, pixelpos.y, 0, PIXELMAX),
    PTR(UNIT, hold.head, "u->hold.head", ST_UNITLISTELEM),
    PTR(UNIT, hold.tail, "u->hold.tail", ST_UNITLISTELEM),
    I32(UNIT, hold.count, 0, I32MAX),
    BUILDIDF(UNIT, associate, "u->associate"),
    BUILDIDF(UNIT, partof, "u->partof"),
    VARIANT(UNIT, nextstate, UNITNEXTSTATE, type, kNsCases),
    I32(UNIT, nextstate.pushedtype, UNS_NONE, UNS_UNPHASE),
    PTR(UNIT, move.path.head, "u->move.path.head", ST_PATHNODE),
    PTR(UNIT, move.path.tail, "u->move.path.tail", ST_PATHNODE),
    I32(UNIT, move.path.count, 0, I32MAX),
    TILE(UNIT, move.path.headx), TILE(UNIT, move.path.heady),
    TILE(UNIT, move.path.lastx), TILE(UNIT, move.path.lasty),
    ANYU(UNIT, move.groupid),
    TILE(UNIT, move.srchtilepos.x), TILE(UNIT, move.srchtilepos.y),
    I32(UNIT, move.srctilepos.x, 0, TILEMAX), I32(UNIT, move.srctilepos.y, 0, TILEMAX),
    I32(UNIT, move.facing, 0, 255), I32(UNIT, move.basefacing, 0, 255),
    ANYU(UNIT, move.waituntil), I32(UNIT, move.pathready, 0, 1),
    FLD(UNIT, move.curspeed, 1, SF_UINT, 0, 255),
    FLD(UNIT, move.targetspeed, 1, SF_UINT, 0, 255),
    FLD(UNIT, move.curvepos, 1, SF_UINT, 0, 255),
    FLD(UNIT, move.translate.negatex, 1, SF_UINT, 0, 1),
    FLD(UNIT, move.translate.negatey, 1, SF_UINT, 0, 1),
    FLD(UNIT, move.translate.swapxy, 1, SF_UINT, 0, 1),
    PTR(UNIT, move.pixelarray, "u->move.pixelarray", ST_PIXELARRAY),
    PTR(UNIT, basepart, "u->basepart", ST_PART),
    PTR(UNIT, shadowdisplay, "u->shadowdisplay", ST_DISPLAYELEMENT),
    BYTES(UNIT, interfaceinfo.group),
    PTRS(UNIT, seemap.bytemapinfo, "u->seemap.bytemapinfo[l].bytemap", ST_BYTEMAP),
    FLD(UNIT, seemap.teammask, 2, SF_UINT, 0, 0xFFFF),
    ANYI(UNIT, gridcell),
    ANYI(UNIT, claimpos.x), ANYI(UNIT, claimpos.y),
    I32(UNIT, claimlevel, -1, ML_LEVELS - 1),
    FLD(UNIT, seq, 4, SF_UINT, 1, U32MAX - 1),
    PTR(UNIT, next, "u->next", ST_UNIT),
    PTR(UNIT, prev, "u->prev", ST_UNIT),
};
static_assert(sizeof(BYTEMAPINFO) == sizeof(void*), "a byte-map slot is one pointer");

// ---- parts

#define PARTSTATEF(f, desc)                                                                       \
    I32(PART, f.state, PS_IDLE, PS_STOP), TARGETF(PART, f.target, desc ".target"), ANGLE(PART, f.angle), \
        UPI(PART, f.counter), I32(PART, f.weapon, -1, PARTS_MAXWEAPONS), ANYI(PART, f.once)
const SAVEFIELD kPart[] = {
    PTR(PART, type, "p->type", ST_PARTTYPE),
    I32(PART, id, -1, I32MAX),
    PARTSTATEF(state, "p->state"),
    PARTSTATEF(next, "p->next"),
    PTR(PART, dinfo.sprite, "p->dinfo.sprite", ST_SPRITE),
    ANYI(PART, dinfo.defaultanim), ANYI(PART, dinfo.overrideanim), ANYI(PART, dinfo.fireanim),
    FLD(PART, typefireanim, 1, SF_UINT, 0, 1),
    PTR(PART, display, "p->display", ST_DISPLAYELEMENT),
    DOWNI(PART, scancount),
    I32(PART, anim.mode, PAM_STILL, PAM_BACKWARD), ANYI(PART, anim.anim), ANYI(PART, anim.frame),
    ANYI(PART, anim.speed),
    ANGLE(PART, relangle), ANGLE(PART, angle), ANYU(PART, anglechanged),
    I32(PART, weapon[0].ammo, 0, I32MAX), ANYU(PART, weapon[0].nextfire),
    I32(PART, weapon[1].ammo, 0, I32MAX), ANYU(PART, weapon[1].nextfire),
    I32(PART, weapon[2].ammo, 0, I32MAX), ANYU(PART, weapon[2].nextfire),
    I32(PART, weapon[3].ammo, 0, I32MAX), ANYU(PART, weapon[3].nextfire),
    WEAK(PART, healthexpl, expl, "p->healthexpl", ST_EXPL),
    ANYI(PART, lasthealth),
    PTR(PART, unit, "p->unit", ST_UNIT),
    PTR(PART, partup, "p->partup", ST_PART),
    PTR(PART, partdown, "p->partdown", ST_PART),
};
static_assert(PARTS_MAXWEAPONS == 4, "a part's weapon slots");

// ---- buildings

const SAVEFIELD kPackage[] = {
    PTR(BUILDINGPACKAGE, building_type, "p->building_type", ST_BUILDINGTYPE),
    UNITIDF(BUILDINGPACKAGE, whomademe, "p->whomademe"),
};

#define BLISTF(f, desc)                                                                           \
    PTR(BUILDING, f.head, desc ".head", ST_UNITLISTELEM), PTR(BUILDING, f.tail, desc ".tail", ST_UNITLISTELEM), \
        I32(BUILDING, f.count, 0, I32MAX)
// The computer players' record (ai) is not stored (as units' ai).
// Hit points, stores, a job's work and cost and what is left of them: never
// below 0 in play, so the differences taken of them (work done, cost paid,
// a store's change) fit an int. Efficiency is a percentage.
const int64_t PERCENT = 100;
const SAVEFIELD kBuilding[] = {
    I32(BUILDING, id, -1, I32MAX),
    I32(BUILDING, team, 0, TEAMMAX),
    PTR(BUILDING, buildingtype, "b->buildingtype", ST_BUILDINGTYPE),
    I32(BUILDING, tilex, 0, TILEMAX), I32(BUILDING, tiley, 0, TILEMAX),
    I32(BUILDING, hitpoints, 0, I32MAX), I32(BUILDING, state, BS_IDLE, BS_POWERINGUP),
    ANYI(BUILDING, critical), I32(BUILDING, complete, 0, 1),
    UNITIDF(BUILDING, whomademe, "b->whomademe"),
    TILE(BUILDING, departx), TILE(BUILDING, departy),
    UNITIDF(BUILDING, spy[0], "b->spy[t]"), UNITIDF(BUILDING, spy[1], "b->spy[t]"),
    UNITIDF(BUILDING, spy[2], "b->spy[t]"), UNITIDF(BUILDING, spy[3], "b->spy[t]"),
    UNITIDF(BUILDING, spy[4], "b->spy[t]"), UNITIDF(BUILDING, spy[5], "b->spy[t]"),
    UNITIDF(BUILDING, spy[6], "b->spy[t]"), UNITIDF(BUILDING, spy[7], "b->spy[t]"),
    UNITIDF(BUILDING, spy[8], "b->spy[t]"),
    UNITIDF(BUILDING, bay[0], "b->bay[i]"), UNITIDF(BUILDING, bay[1], "b->bay[i]"),
    UNITIDF(BUILDING, bay[2], "b->bay[i]"), UNITIDF(BUILDING, bay[3], "b->bay[i]"),
    UNITIDF(BUILDING, associate, "b->associate"),
    I32(BUILDING, sightswept, 0, 1),
    BLISTF(hold, "b->hold"),
    ARR(BUILDING, stored, 4, SF_INT, 0, I32MAX),
    ANYI(BUILDING, delivering),
    PTR(BUILDING, unittypetobuild, "b->unittypetobuild", ST_UNITTYPE),
    I32(BUILDING, prodtime, 0, I32MAX), I32(BUILDING, prodleft, 0, I32MAX),
    I32(BUILDING, jobcost, 0, I32MAX), I32(BUILDING, costleft, 0, I32MAX),
    ANYI(BUILDING, repairrequest),
    I32(BUILDING, animsection, -1, BUILDANIM_MAX - 1), I32(BUILDING, actionindicator, -1, BUILDACTION_MAX - 1),
    PTR(BUILDING, ap.srclist, "b->ap.srclist", ST_APGLLHEADER),
    ANYI(BUILDING, ap.capacity), ANYI(BUILDING, ap.source), ANYI(BUILDING, ap.usersetprimary),
    ANYI(BUILDING, primary), I32(BUILDING, paused, 0, 1),
    BLISTF(pickup, "b->pickup"),
    BLISTF(queue, "b->queue"),
    TILE(BUILDING, rallyx), TILE(BUILDING, rallyy),
    ARR(BUILDING, collected, 4, SF_INT, I32MIN, I32MAX),
    PTR(BUILDING, bottomoverlay, "b->bottomoverlay", ST_OVERLAY),
    PTR(BUILDING, topoverlay, "b->topoverlay", ST_OVERLAY),
    PTR(BUILDING, animoverlay, "b->animoverlay", ST_OVERLAY),
    PTR(BUILDING, shadowoverlay, "b->shadowoverlay", ST_OVERLAY),
    PTR(BUILDING, minib, "b->minib", ST_MINIBUILDING),
    PTRS(BUILDING, seemap.bytemapinfo, "b->seemap.bytemapinfo[l].bytemap", ST_BYTEMAP),
    FLD(BUILDING, seemap.teammask, 2, SF_UINT, 0, 0xFFFF),
    BYTES(BUILDING, savedeffect),
    ANYI(BUILDING, effectswritten), I32(BUILDING, efficiency, 0, PERCENT),
    WEAK(BUILDING, explosion, expl, "b->explosion", ST_EXPL),
    PTR(BUILDING, next, "b->next", ST_BUILDING),
    PTR(BUILDING, teamnext, "b->teamnext", ST_BUILDING),
    PTR(BUILDING, teamprev, "b->teamprev", ST_BUILDING),
};
static_assert(TEAM_MAXTEAMS == 9 && BUILD_BAYUNITS == 4, "a building's handle slots");

const SAVEFIELD kMiniBuilding[] = {
    I32(MINIBUILDING, x, 0, TILEMAX), I32(MINIBUILDING, y, 0, TILEMAX),
    I32(MINIBUILDING, width, 0, BUILD_MAXSIDE), I32(MINIBUILDING, height, 0, BUILD_MAXSIDE),
    I32(MINIBUILDING, team, 0, TEAMMAX),
    UNITIDF(MINIBUILDING, attached, "m->attached"),
    BUILDIDF(MINIBUILDING, building, "m->building"),
    I32(MINIBUILDING, seen, 0, 1),
    PTR(MINIBUILDING, next, "m->next", ST_MINIBUILDING),
    PTR(MINIBUILDING, prev, "m->prev", ST_MINIBUILDING),
};

// ---- teams: a global block each. The global trails are blocks of their
// own (a trail order points at one), so the team's form leaves them out.
// Counts stepped by one leave room for the step; a resource's supply and
// use are sums of what buildings make and need, never below 0, its percent
// their ratio held to 100; a start position is a map pixel or -1.

#define TEAMRES(r)                                                                                \
    I32(TEAM_DATA, resource[r].supply, 0, I32MAX), I32(TEAM_DATA, resource[r].usage, 0, I32MAX),      \
        I32(TEAM_DATA, resource[r].percent, 0, PERCENT)
const SAVEFIELD kTeam[] = {
    I32(TEAM_DATA, type, TT_DISABLED, TT_COMPUTER),
    I32(TEAM_DATA, group, 0, TEAMMAX),
    ANYI(TEAM_DATA, startword),
    ARR(TEAM_DATA, relation, 4, SF_INT, 0, TR_ALL),
    ARR(TEAM_DATA, lineofsight, 4, SF_INT, I32MIN + 1, I32MAX - 1),
    ARR(TEAM_DATA, seeresource, 4, SF_INT, 0, I32MAX - 1),
    I32(TEAM_DATA, credits, 0, I32MAX),
    TEAMRES(0),
    TEAMRES(1),
    TEAMRES(2),
    TEAMRES(3),
    TEAMRES(4),
    ARR(TEAM_DATA, poweradjust, 2, SF_INT, I32MIN, I32MAX),
    ANYI(TEAM_DATA, cpu.load), ANYI(TEAM_DATA, cpu.maxload), ANYI(TEAM_DATA, cpu.used), ANYI(TEAM_DATA, cpu.percent),
    PTR(TEAM_DATA, offmaplist, "t->offmaplist", ST_UNIT),
    PTRS(TEAM_DATA, unitlist, "t->unitlist[m]", ST_UNIT),
    PTR(TEAM_DATA, firstbuilding, "t->firstbuilding", ST_BUILDING),
    PTR(TEAM_DATA, idleindirectfireunits.head, "t->idleindirectfireunits.head", ST_UNITLISTELEM),
    PTR(TEAM_DATA, idleindirectfireunits.tail, "t->idleindirectfireunits.tail", ST_UNITLISTELEM),
    I32(TEAM_DATA, idleindirectfireunits.count, 0, I32MAX),
    I32(TEAM_DATA, unitcount, 0, I32MAX - 1),
    // Up to TS_MAX: a scenario's side past the last is kept as TS_MAX, no side of
    // any type (the scenario reader's clamp), and the game plays and saves on.
    I32(TEAM_DATA, side, TS_DEFAULT, TS_MAX),
    FLD(TEAM_DATA, non_default, 1, SF_UINT, 0, 255),
    I32(TEAM_DATA, minimapstatus, I32MIN + 1, I32MAX - 1),
    I32(TEAM_DATA, colour, 0, 7), ANYI(TEAM_DATA, palindex), ANYI(TEAM_DATA, killemall),
    I32(TEAM_DATA, stats.kills_units, 0, I32MAX - 1), I32(TEAM_DATA, stats.kills_buildings, 0, I32MAX - 1),
    I32(TEAM_DATA, stats.losses_units, 0, I32MAX - 1), I32(TEAM_DATA, stats.losses_buildings, 0, I32MAX - 1),
    I32(TEAM_DATA, stats.made_units, 0, I32MAX - 1), I32(TEAM_DATA, stats.made_buildings, 0, I32MAX - 1),
    ARR(TEAM_DATA, stats.collected, 4, SF_INT, 0, I32MAX),
    I32(TEAM_DATA, startpos.x, -1, PIXELMAX - 1), I32(TEAM_DATA, startpos.y, -1, PIXELMAX - 1),
    I32(TEAM_DATA, unitdef.selfpreservation, TACTAI_LOW, TACTAI_HIGH),
    I32(TEAM_DATA, unitdef.tenacity, TACTAI_LOW, TACTAI_HIGH), I32(TEAM_DATA, unitdef.autonomy, TACTAI_LOW, TACTAI_HIGH),
};
static_assert(TEAM_RESOURCES == 5, "a team's resource rows");

// ---- projectiles, explosions, vortices, waves

const SAVEFIELD kProjectile[] = {
    I32(PROJECTILE, id, -1, I32MAX),
    UNITIDF(PROJECTILE, owner, "p->owner"),
    PTR(PROJECTILE, weapon, "p->weapon", ST_WEAPONTYPE),
    TARGETF(PROJECTILE, target, "p->target"),
    PTR(PROJECTILE, part, "p->part", ST_PART),
    PIX(PROJECTILE, x), PIX(PROJECTILE, y), I32(PROJECTILE, team, 0, TEAMMAX),
    I32(PROJECTILE, oinfo.offense, 0, MAXOFFENSECLASSES - 1), I32(PROJECTILE, oinfo.hitpoints, -WEAPON_MAXSTRENGTH, WEAPON_MAXSTRENGTH),
    I32(PROJECTILE, oinfo.areaeffect, -WEAPON_MAXSTRENGTH, WEAPON_MAXSTRENGTH),
    I32(PROJECTILE, fx, FXLO, FXHI), I32(PROJECTILE, fy, FXLO, FXHI), PIX(PROJECTILE, aimx), PIX(PROJECTILE, aimy),
    I32(PROJECTILE, speed, SPEEDLO, SPEEDHI), I32(PROJECTILE, heading, 0, UTIL_FULL_TURN - 1),
    I32(PROJECTILE, travelled, 0, I32MAX - 30000),
    UPI(PROJECTILE, smokecounter), DOWNI(PROJECTILE, hitsleft), UPI(PROJECTILE, hitwait),
    I32(PROJECTILE, held, 0, I32MAX - 1),
    PTR(PROJECTILE, display, "p->display", ST_DISPLAYELEMENT),
    PTR(PROJECTILE, anim.animtype, "p->anim.animtype", ST_ANIMTYPE),
    PTR(PROJECTILE, anim.curframe, "p->anim.curframe", ST_ANIMFRAME),
    PTR(PROJECTILE, anim.sprite, "p->anim.sprite", ST_SPRITE),
    ANYI(PROJECTILE, anim.frame), DOWNI(PROJECTILE, anim.wait),
    PTR(PROJECTILE, next, "p->next", ST_PROJECTILE),
    PTR(PROJECTILE, prev, "p->prev", ST_PROJECTILE),
};

const SAVEFIELD kExplAnim[] = {
    PTR(EXPLANIM, iter.animtype, "a->iter.animtype", ST_ANIMTYPE),
    PTR(EXPLANIM, iter.curframe, "a->iter.curframe", ST_ANIMFRAME),
    PTR(EXPLANIM, iter.sprite, "a->iter.sprite", ST_SPRITE),
    ANYI(EXPLANIM, iter.frame), DOWNI(EXPLANIM, iter.wait),
    PTR(EXPLANIM, display, "a->display", ST_DISPLAYELEMENT),
    I32(EXPLANIM, dx, -65535, 65535), I32(EXPLANIM, dy, -65535, 65535), // two 16-bit hot spots apart
    PTR(EXPLANIM, next, "a->next", ST_EXPLANIM),
    PTR(EXPLANIM, prev, "a->prev", ST_EXPLANIM),
};
const SAVEFIELD kExpl[] = {
    I32(EXPL, id, -1, I32MAX),
    PTR(EXPL, type, "e->type", ST_EXPLTYPE),
    PTR(EXPL, curanim, "e->curanim", ST_EXPLANIMTYPE),
    I32(EXPL, entry, 0, I32MAX - 1), UPI(EXPL, cycle),
    PTR(EXPL, firstexplanim, "e->firstexplanim", ST_EXPLANIM),
    PTR(EXPL, part, "e->part", ST_PART),
    ANYI(EXPL, partid),
    FLD(EXPL, isattached, 1, SF_UINT, 0, 1),
    ANYI(EXPL, remap), ANYI(EXPL, frame), ANYI(EXPL, direction),
    PIX(EXPL, x), PIX(EXPL, y),
    PTR(EXPL, sprite, "e->sprite", ST_SPRITE),
    PTR(EXPL, next, "e->next", ST_EXPL),
    PTR(EXPL, prev, "e->prev", ST_EXPL),
};

const SAVEFIELD kVortex[] = {
    PTR(VORTEX, proj, "v->proj", ST_PROJECTILE),
    PIX(VORTEX, x), PIX(VORTEX, y), I32(VORTEX, radius, 0, I32MAX), I32(VORTEX, age, 0, I32MAX - 1),
    I32(VORTEX, life, 1, I32MAX), ANYI(VORTEX, hitsleft), UPI(VORTEX, hitwait),
};
// The vortex list: a GLL header and its nodes, each node's element a vortex.
const SAVEFIELD kVortexHeader[] = {
    PTR(GLL, first, "gll->first", ST_VORTEXGLLNODE),
    PTR(GLL, curr, "gll->curr", ST_VORTEXGLLNODE),
    PTR(GLL, last, "gll->last", ST_VORTEXGLLNODE),
    I32(GLL, count, 0, I32MAX), ANYI(GLL, pos),
};
const SAVEFIELD kVortexNode[] = {
    PTR(GLL_NODE, next, "node->next", ST_VORTEXGLLNODE),
    PTR(GLL_NODE, prev, "node->prev", ST_VORTEXGLLNODE),
    PTR(GLL_NODE, element, "node->element", ST_VORTEX),
};
// Automatic production's source lists: elements are building handles.
const SAVEFIELD kApHeader[] = {
    PTR(GLL, first, "gll->first", ST_APGLLNODE),
    PTR(GLL, curr, "gll->curr", ST_APGLLNODE),
    PTR(GLL, last, "gll->last", ST_APGLLNODE),
    I32(GLL, count, 0, I32MAX), ANYI(GLL, pos),
};
const SAVEFIELD kApNode[] = {
    PTR(GLL_NODE, next, "node->next", ST_APGLLNODE),
    PTR(GLL_NODE, prev, "node->prev", ST_APGLLNODE),
    PTR(GLL_NODE, element, "node->element", ST_BUILDID),
};

// Automatic production's per team and unit type records.
const SAVEFIELD kApUnitInfo[] = {
    BUILDIDF(APUNITINFO, primary, "I->primary"),
    PTR(APUNITINFO, upflist, "I->upflist", ST_APGLLHEADER),
    I32(APUNITINFO, usersetprimary, 0, 1), I32(APUNITINFO, allpaused, 0, 1), I32(APUNITINFO, primarypaused, 0, 1),
    PTR(APUNITINFO, pausedlist, "I->pausedlist", ST_APGLLHEADER),
};

// A bubble's radius, 6 to 48 pixels as the wave places it: the lens draws
// a disc of radius / 24 tiles round it, a loop over the disc's square.
const int64_t BUBBLEMAX = 48;
const SAVEFIELD kSwaveNode[] = {I32(SWaveNode, x, PXLO - WAVEFAR, PXHI + WAVEFAR), I32(SWaveNode, y, PXLO - WAVEFAR, PXHI + WAVEFAR), I32(SWaveNode, radius, 0, BUBBLEMAX)};
const SAVEFIELD kSwave[] = {
    PTR(SWave, next, "w->next", ST_SWave),
    PTR(SWave, prev, "w->prev", ST_SWave),
    PTR(SWave, bubble, "w->bubble", ST_SWaveNode),
    PTR(SWave, proj, "w->proj", ST_PROJECTILE),
    PIX(SWave, x), PIX(SWave, y), I32(SWave, radius, 0, WAVEFAR), I32(SWave, maxradius, 0, WAVEFAR),
    I32(SWave, growth, 1, I32MAX), I32(SWave, age, 0, I32MAX - 1),
};

// The step curves: static, named by their points.
const SAVEFIELD kPixelArray[] = {
    FLD(PIXELARRAY, xoff, 1, SF_INT, -128, 127),
    FLD(PIXELARRAY, yoff, 1, SF_INT, -128, 127),
    FLD(PIXELARRAY, facing, 1, SF_INT, -128, 127),
};


// ---- the path search: its state, its tile table's rows, its open list

// A 64-bit field as its two words, low first.
static_assert(std::endian::native == std::endian::little, "a 64-bit field's low word comes first");
#define U64(rec, f)                                                                               \
    {#f ".lo", (uint32_t)offsetof(rec, f), 4, 4, SF_UINT, 1, 0, U32MAX, 0, nullptr, 0, 0},          \
        {#f ".hi", (uint32_t)offsetof(rec, f) + 4, 4, 4, SF_UINT, 1, 0, U32MAX, 0, nullptr, 0, 0}
// The search's tiles as indices in row order and the goal's column and row
// (-1 none): within the largest map, so the load's check that they agree
// (row x width + column) and the distances taken to the goal fit an int.
#define SRCHTILE(f) I32(PATHSRCH, f, -1, (int64_t)MAP_MAX_SIDE * MAP_MAX_SIDE - 1)
const SAVEFIELD kPathsrch[] = {
    ANYI(PATHSRCH, ringhead), ANYI(PATHSRCH, ringcount), ANYU(PATHSRCH, stamp),
    I32(PATHSRCH, active, 0, 1), I32(PATHSRCH, done, 0, 1), I32(PATHSRCH, altmatters, 0, 1),
    UNITIDF(PATHSRCH, unit, "ps->unit"),
    PTR(PATHSRCH, type, "ps->type", ST_UNITTYPE),
    SRCHTILE(start), SRCHTILE(goal), I32(PATHSRCH, goalx, -1, TILEMAX), I32(PATHSRCH, goaly, -1, TILEMAX),
    U64(PATHSRCH, minbase), SRCHTILE(best), U64(PATHSRCH, besth), U64(PATHSRCH, bestg),
    U64(PATHSRCH, openlast),
    ARR(PATHSRCH, buckets, 4, SF_UINT, 0, U32MAX),
    I32(PATHSRCH, nopen, 0, I32MAX), I32(PATHSRCH, nwaiting, 0, I32MAX),
    PTR(PATHSRCH, open, "ps->open", ST_PQELEMENT),
    PTR(PATHSRCH, waiting, "ps->waiting", ST_UNITID),
};
const SAVEFIELD kPathsrchTile[] = {
    U64(PATHSRCH_TILE, g), ANYU(PATHSRCH_TILE, stamp),
    FLD(PATHSRCH_TILE, speed, 1, SF_UINT, 0, 255), FLD(PATHSRCH_TILE, climb, 1, SF_UINT, 0, 255),
    FLD(PATHSRCH_TILE, alt, 1, SF_UINT, 0, 255), FLD(PATHSRCH_TILE, costspeed, 1, SF_UINT, 0, 255),
};
const SAVEFIELD kPqElement[] = {U64(PQELEMENT, f), U64(PQELEMENT, htile)};

// ---- the condition machine: trees of states, each with its lists; a
// list is a GLL header and its nodes, each node's element a record.

#define GLLTABLES(id, nodetype, elemtype)                                                              \
    const SAVEFIELD kGllHead##id[] = {                                                            \
        PTR(GLL, first, "gll->first", nodetype), PTR(GLL, curr, "gll->curr", nodetype),                  \
        PTR(GLL, last, "gll->last", nodetype),   I32(GLL, count, 0, I32MAX), ANYI(GLL, pos),         \
    };                                                                                            \
    const SAVEFIELD kGllNode##id[] = {                                                            \
        PTR(GLL_NODE, next, "node->next", nodetype), PTR(GLL_NODE, prev, "node->prev", nodetype),        \
        PTR(GLL_NODE, element, "node->element", elemtype),                                        \
    };
GLLTABLES(CondState, ST_CONDSTATEGLLNODE, ST_CONDSTATE)
GLLTABLES(Condition, ST_CONDITIONGLLNODE, ST_CONDITION)
GLLTABLES(RegionAdjust, ST_REGIONADJUSTGLLNODE, ST_REGIONADJUST)
GLLTABLES(TrigSf, ST_TRIGSFGLLNODE, ST_TRIGSF)
GLLTABLES(GiveSf, ST_GIVESFGLLNODE, ST_GIVESF)
GLLTABLES(Bonus, ST_GIVEBONUSCREDITSGLLNODE, ST_GIVEBONUSCREDITS)
GLLTABLES(GameMsg, ST_GAMEMSG_DATAGLLNODE, ST_GAMEMSG_DATA)
GLLTABLES(CnBool, ST_CNBOOLGLLNODE, ST_CRITERIA)
GLLTABLES(CnDestItem, ST_CNDESTITEMGLLNODE, ST_ULONG)
GLLTABLES(ReleaseSf, ST_RELEASESFGLLNODE, ST_ULONG)
GLLTABLES(IdList, ST_IDLISTGLLNODE, ST_ULONG)

const SAVEFIELD kCondTree[] = {
    PTR(CONDTREE, condstates, "t->condstates", ST_CONDSTATEGLLHEADER),
    I32(CONDTREE, current, 1, I32MAX), I32(CONDTREE, elapsed, 0, ENDCOND_MAXELAPSED),  // where its clock stops
    I32(CONDTREE, timelimit, 0, I32MAX),
    PTR(CONDTREE, description, "t->description", ST_VOID),
};
const SAVEFIELD kCondState[] = {
    PTR(CONDSTATE, conds, "cs->conds", ST_CONDITIONGLLHEADER),
    PTR(CONDSTATE, tweakregions, "cs->tweakregions", ST_REGIONADJUSTGLLHEADER),
    PTR(CONDSTATE, specialforces_trigger, "cs->specialforces_trigger", ST_TRIGSFGLLHEADER),
    PTR(CONDSTATE, specialforces_release, "cs->specialforces_release", ST_RELEASESFGLLHEADER),
    PTR(CONDSTATE, specialforces_give, "cs->specialforces_give", ST_GIVESFGLLHEADER),
    PTR(CONDSTATE, give_bonus_credits, "cs->give_bonus_credits", ST_GIVEBONUSCREDITSGLLHEADER),
    PTR(CONDSTATE, gamemsgdata, "cs->gamemsgdata", ST_GAMEMSG_DATAGLLHEADER),
    TEXT(CONDSTATE, aipfile),
    PTR(CONDSTATE, aip, "cs->aip", ST_AIP_struct),
    TEXT(CONDSTATE, msgfile),
    PTR(CONDSTATE, alliances, "cs->alliances", ST_ALLIANCESET),
};
const SAVEFIELD kCondition[] = {
    I32(CONDITION, next, 0, I32MAX), ANYI(CONDITION, delay), ANYI(CONDITION, expiry), ANYI(CONDITION, spare),
    PTR(CONDITION, criteria, "c->criteria", ST_CRITERIA),
    TEXT(CONDITION, text),
};
const SAVEFIELD kTrigSf[] = {ANYI(TRIGSF, force), ANYI(TRIGSF, region)};
const SAVEFIELD kGiveSf[] = {ANYI(GIVESF, force), I32(GIVESF, team, 0, TEAMMAX)};
const SAVEFIELD kBonus[] = {I32(GIVEBONUSCREDITS, team, 0, TEAMMAX), ANYI(GIVEBONUSCREDITS, amount)};
const SAVEFIELD kGameMsgData[] = {TEXT(GAMEMSG_DATA, sym)};
const SAVEFIELD kRegionId[] = {PTR(REGIONID, region, "rid->region", ST_REGION), ANYI(REGIONID, id)};
const SAVEFIELD kRegionAdjust[] = {
    PTR(REGIONADJUST, rid.region, "ra->rid.region", ST_REGION), ANYI(REGIONADJUST, rid.id),
    ANYI(REGIONADJUST, value), ANYI(REGIONADJUST, minforce), ANYI(REGIONADJUST, maxforce),
};
const SAVEFIELD kAllianceSet[] = {ARR(ALLIANCESET, relation, 4, SF_INT, 0, TR_ALL)};

// A criteria node: the union's record follows the node type.
const SAVEFIELD kCritBoolean[] = {PTR(CRITERIA, boolean.nodes, "data->nodes", ST_CNBOOLGLLHEADER)};
const SAVEFIELD kCritUnary[] = {PTR(CRITERIA, unary.node, "data->node", ST_CRITERIA), I32(CRITERIA, unary.latch, 0, 1)};
const SAVEFIELD kCritUseRegion[] = {
    I32(CRITERIA, useregion.team, -1, TEAMMAX), ANYI(CRITERIA, useregion.regionid),
    PTR(CRITERIA, useregion.region, "data->region", ST_REGION),
    ANYI(CRITERIA, useregion.a), ANYI(CRITERIA, useregion.b), DOWNI(CRITERIA, useregion.counter),
};
const SAVEFIELD kCritBuildItem[] = {
    ANYI(CRITERIA, builditem.regionid), PTR(CRITERIA, builditem.region, "data->region", ST_REGION),
    PTR(CRITERIA, builditem.itemname, "data->itemname", ST_VOID),
    ANYI(CRITERIA, builditem.itemid), ANYI(CRITERIA, builditem.count), I32(CRITERIA, builditem.team, -1, TEAMMAX),
};
// The id list's blocks are IDLISTGLLHEADER: its pointer names the type its
// walker registers.
const SAVEFIELD kCritDestroyItem[] = {
    ANYI(CRITERIA, destroyitem.regionid), PTR(CRITERIA, destroyitem.region, "data->region", ST_REGION),
    PTR(CRITERIA, destroyitem.idlist, "data->idlist", ST_IDLISTGLLHEADER),
    ANYI(CRITERIA, destroyitem.count), ANYI(CRITERIA, destroyitem.allowed),
};
const SAVEFIELD kCritAmount[] = {ANYI(CRITERIA, amount.amount)};
// The team indexes the start counts and the teams.
const SAVEFIELD kCritKillEnemy[] = {I32(CRITERIA, killenemy.team, 0, TEAMMAX), ANYI(CRITERIA, killenemy.percent)};
const SAVEFIELD kCritTimer[] = {ANYI(CRITERIA, timer.time), ANYI(CRITERIA, timer.deadline)};
const SAVEFIELD kCritStealPlan[] = {
    PTR(CRITERIA, stealplan.plan_name, "data->plan_name", ST_VOID),
    FLD(CRITERIA, stealplan.planid, 2, SF_UINT, 0, 0xFFFF), FLD(CRITERIA, stealplan.team, 1, SF_UINT, 0, TEAMMAX),
};
const SAVECASE kCritCases[] = {
    CASE(CRIT_OR, kCritBoolean),
    CASE(CRIT_AND, kCritBoolean),
    CASE(CRIT_NOT, kCritUnary),
    CASE(CRIT_HOLDREGION, kCritUseRegion),
    CASE(CRIT_HARASSREGION, kCritUseRegion),
    CASE(CRIT_BUILDBUILDING, kCritBuildItem),
    CASE(CRIT_BUILDUNIT, kCritBuildItem),
    CASE(CRIT_MOVEUNITSTOREGION, kCritDestroyItem),
    CASE(CRIT_DESTROYBUILDING, kCritDestroyItem),
    CASE(CRIT_DESTROYUNIT, kCritDestroyItem),
    CASE(CRIT_CAPTUREUNIT, kCritDestroyItem),
    CASE(CRIT_COLLECTMINERAL, kCritAmount),
    CASE(CRIT_COLLECTWATER, kCritAmount),
    CASE(CRIT_KILLTEAMUNITS, kCritKillEnemy),
    CASE(CRIT_KILLENEMYUNITS, kCritKillEnemy),
    CASE(CRIT_DESTROYTEAMBUILDINGS, kCritKillEnemy),
    CASE(CRIT_DESTROYENEMYBUILDINGS, kCritKillEnemy),
    CASE0(CRIT_KILLALL),
    CASE0(CRIT_KILLALLANDALLIES),
    CASE(CRIT_DESTROYBUILDINGTYPE, kCritBuildItem),
    CASE(CRIT_MOREUNITSTHANENEMY, kCritKillEnemy),
    CASE(CRIT_LESSUNITSTHANENEMY, kCritKillEnemy),
    CASE(CRIT_TIMER, kCritTimer),
    CASE(CRIT_TIMERGAME, kCritTimer),
    CASE(CRIT_STEALPLAN, kCritStealPlan),
    CASE(CRIT_ENEMYINREGION, kCritUseRegion),
    CASE(CRIT_INREGION, kCritUseRegion),
    CASE(CRIT_BEGINBUILDBUILDING, kCritBuildItem),
    CASE(CRIT_HAVECREDITS, kCritAmount),
    CASE(CRIT_TEAMINREGION, kCritUseRegion),
    CASE(CRIT_KILLUNITTYPE, kCritBuildItem),
    CASE(CRIT_ONCE, kCritUnary),
};
static_assert(sizeof kCritCases / sizeof kCritCases[0] == CRIT_KINDS, "a case per criterion kind");
const SAVEFIELD kCriteria[] = {
    {"type", 0, (uint8_t)sizeof(CRITERIA), (uint8_t)sizeof(CRITERIA::type), SF_VARIANT, 1, 0, 0, 0, kCritCases,
     (uint16_t)(sizeof kCritCases / sizeof kCritCases[0]), (uint16_t)offsetof(CRITERIA, type)},
};
// The special forces: a force's unit ids are an id list.
GLLTABLES(SpecialForce, ST_SPECIAL_FORCEGLLNODE, ST_SPECIAL_FORCE)
const SAVEFIELD kSpecialForce[] = {
    ANYU(SPECIAL_FORCE, id), PTR(SPECIAL_FORCE, units, "force->units", ST_IDLISTGLLHEADER),
    I32(SPECIAL_FORCE, team, 0, TEAMMAX), I32(SPECIAL_FORCE, released, 0, 1),
};
// A condition-tree pointer variable of the machine's state.
const SAVEFIELD kCondTreePtr[] = {{"*condtreeptr", 0, 8, 4, SF_PTR, 1, 0, 0, ST_CONDTREE, nullptr, 0, 0}};
// The type tables: static, named by their names and places.
const SAVEFIELD kUnitType[] = {I32(UNITTYPE, unittypeid, 0, UNITS_MAXTYPES - 1), TEXT(UNITTYPE, symbolid)};
const SAVEFIELD kBuildingType[] = {I32(BUILDINGTYPE, index, 0, BUILD_MAXTYPES - 1), TEXT(BUILDINGTYPE, name)};
const SAVEFIELD kPartType[] = {TEXT(PARTTYPE, spritename), ANYI(PARTTYPE, nrweapons)};
const SAVEFIELD kExplType[] = {TEXT(EXPLTYPE, name), ANYI(EXPLTYPE, nranims)};
const SAVEFIELD kExplAnimType[] = {
    ANYI(EXPLANIMTYPE, startcycle), ANYI(EXPLANIMTYPE, hotspotmin), ANYI(EXPLANIMTYPE, hotspotmax),
    ANYI(EXPLANIMTYPE, rendertype),
};
const SAVEFIELD kWeaponType[] = {TEXT(WEAPONTYPE, name), ANYI(WEAPONTYPE, kind)};
// The plans a state names: static, named by their file.
const SAVEFIELD kAip[] = {TEXT(AIP_struct, filename)};

} // namespace

SAVEFORMROW g_SaveUnitForms[] = {
    {ST_UNITID, -1, FORM("UNITID", UNITID, kUnitId)},
    {ST_BUILDID, -1, FORM("BUILDID", BUILDID, kBuildId)},
    {ST_EXPLID, -1, FORM("EXPLID", EXPLID, kExplId)},
    {ST_TARGET, -1, FORM("TARGET", TARGET, kTarget)},
    {ST_UNITLIST, -1, FORM("UNITLIST", UNITLIST, kUnitList)},
    {ST_UNITLISTELEM, 0, FORM("UNITLISTELEM", UNITLISTELEM, kUnitListElem)},
    {ST_PATHNODE, 0, FORM("PATHNODE", PATHNODE, kPathNode)},
    {ST_WAYPOINT, 0, FORM("WAYPOINT", WAYPOINT, kWaypoint)},
    {ST_TRAIL, -1, FORM("TRAIL", TRAIL, kTrail)},
    {ST_UNIT, -1, FORM("UNIT", UNIT, kUnit)},
    {ST_PART, 0, FORM("PART", PART, kPart)},
    {ST_BUILDINGPACKAGE, 0, FORM("BUILDINGPACKAGE", BUILDINGPACKAGE, kPackage)},
    {ST_BUILDING, -1, FORM("BUILDING", BUILDING, kBuilding)},
    {ST_MINIBUILDING, 0, FORM("MINIBUILDING", MINIBUILDING, kMiniBuilding)},
    {ST_TEAM_DATA, 1, FORM("TEAM_DATA", TEAM_DATA, kTeam)},
    {ST_PROJECTILE, -1, FORM("PROJECTILE", PROJECTILE, kProjectile)},
    {ST_EXPLANIM, 0, FORM("EXPLANIM", EXPLANIM, kExplAnim)},
    {ST_EXPL, -1, FORM("EXPL", EXPL, kExpl)},
    {ST_VORTEX, 0, FORM("VORTEX", VORTEX, kVortex)},
    {ST_VORTEXGLLHEADER, 0, FORM("VORTEXGLLHEADER", GLL, kVortexHeader)},
    {ST_VORTEXGLLNODE, 0, FORM("VORTEXGLLNODE", GLL_NODE, kVortexNode)},
    {ST_APGLLHEADER, 0, FORM("APGLLHEADER", GLL, kApHeader)},
    {ST_APGLLNODE, 0, FORM("APGLLNODE", GLL_NODE, kApNode)},
    {ST_APUNITINFO, 1, FORM("APUNITINFO", APUNITINFO, kApUnitInfo)},
    {ST_SWaveNode, 0, FORM("SWaveNode", SWaveNode, kSwaveNode)},
    {ST_SWave, 0, FORM("SWave", SWave, kSwave)},
    {ST_SPECIAL_FORCE, 0, FORM("SPECIAL_FORCE", SPECIAL_FORCE, kSpecialForce)},
    {ST_SPECIAL_FORCEGLLHEADER, 0, FORM("SPECIAL_FORCEGLLHEADER", GLL, kGllHeadSpecialForce)},
    {ST_SPECIAL_FORCEGLLNODE, 0, FORM("SPECIAL_FORCEGLLNODE", GLL_NODE, kGllNodeSpecialForce)},
    {ST_PATHSRCH, 1, FORM("PATHSRCH", PATHSRCH, kPathsrch)},
    {ST_PRIQUEUE, 1, FORM("PRIQUEUE tile row", PATHSRCH_TILE, kPathsrchTile)},
    {ST_PQELEMENT, 0, FORM("PQELEMENT", PQELEMENT, kPqElement)},
    {ST_PIXELARRAY, 1, {"PIXELARRAY", (uint32_t)sizeof(PIXELARRAY), 0, kPixelArray, 3, 1}},
    {ST_CONDTREE, 0, FORM("CONDTREE", CONDTREE, kCondTree)},
    {ST_CONDSTATE, 0, FORM("CONDSTATE", CONDSTATE, kCondState)},
    {ST_CONDITION, 0, FORM("CONDITION", CONDITION, kCondition)},
    {ST_REGIONADJUST, 0, FORM("REGIONADJUST", REGIONADJUST, kRegionAdjust)},
    {ST_TRIGSF, 0, FORM("TRIGSF", TRIGSF, kTrigSf)},
    {ST_GIVESF, 0, FORM("GIVESF", GIVESF, kGiveSf)},
    {ST_GIVEBONUSCREDITS, 0, FORM("GIVEBONUSCREDITS", GIVEBONUSCREDITS, kBonus)},
    {ST_GAMEMSG_DATA, 0, FORM("GAMEMSG_DATA", GAMEMSG_DATA, kGameMsgData)},
    {ST_REGIONID, -1, FORM("REGIONID", REGIONID, kRegionId)},
    {ST_ALLIANCESET, 0, FORM("ALLIANCESET", ALLIANCESET, kAllianceSet)},
    {ST_CRITERIA, 0, FORM("CRITERIA", CRITERIA, kCriteria)},
    {ST_CONDTREEPTR, 1, FORM("CONDTREEPTR", CONDTREE*, kCondTreePtr)},
    {ST_AIP_struct, 1, {"AIP_struct", (uint32_t)sizeof(AIP_struct), 0, kAip, 1, 1}},
    {ST_UNITTYPE, 1, {"UNITTYPE", (uint32_t)sizeof(UNITTYPE), 0, kUnitType, 2, 1}},
    {ST_BUILDINGTYPE, 1, {"BUILDINGTYPE", (uint32_t)sizeof(BUILDINGTYPE), 0, kBuildingType, 2, 1}},
    {ST_PARTTYPE, 1, {"PARTTYPE", (uint32_t)sizeof(PARTTYPE), 0, kPartType, 2, 1}},
    {ST_WEAPONTYPE, 1, {"WEAPONTYPE", (uint32_t)sizeof(WEAPONTYPE), 0, kWeaponType, 2, 1}},
    {ST_EXPLTYPE, 1, {"EXPLTYPE", (uint32_t)sizeof(EXPLTYPE), 0, kExplType, 2, 1}},
    {ST_EXPLANIMTYPE, 1, {"EXPLANIMTYPE", (uint32_t)sizeof(EXPLANIMTYPE), 0, kExplAnimType, 4, 1}},
    {ST_CONDSTATEGLLHEADER, 0, FORM("CONDSTATEGLLHEADER", GLL, kGllHeadCondState)},
    {ST_CONDSTATEGLLNODE, 0, FORM("CONDSTATEGLLNODE", GLL_NODE, kGllNodeCondState)},
    {ST_CONDITIONGLLHEADER, 0, FORM("CONDITIONGLLHEADER", GLL, kGllHeadCondition)},
    {ST_CONDITIONGLLNODE, 0, FORM("CONDITIONGLLNODE", GLL_NODE, kGllNodeCondition)},
    {ST_REGIONADJUSTGLLHEADER, 0, FORM("REGIONADJUSTGLLHEADER", GLL, kGllHeadRegionAdjust)},
    {ST_REGIONADJUSTGLLNODE, 0, FORM("REGIONADJUSTGLLNODE", GLL_NODE, kGllNodeRegionAdjust)},
    {ST_TRIGSFGLLHEADER, 0, FORM("TRIGSFGLLHEADER", GLL, kGllHeadTrigSf)},
    {ST_TRIGSFGLLNODE, 0, FORM("TRIGSFGLLNODE", GLL_NODE, kGllNodeTrigSf)},
    {ST_GIVESFGLLHEADER, 0, FORM("GIVESFGLLHEADER", GLL, kGllHeadGiveSf)},
    {ST_GIVESFGLLNODE, 0, FORM("GIVESFGLLNODE", GLL_NODE, kGllNodeGiveSf)},
    {ST_GIVEBONUSCREDITSGLLHEADER, 0, FORM("GIVEBONUSCREDITSGLLHEADER", GLL, kGllHeadBonus)},
    {ST_GIVEBONUSCREDITSGLLNODE, 0, FORM("GIVEBONUSCREDITSGLLNODE", GLL_NODE, kGllNodeBonus)},
    {ST_GAMEMSG_DATAGLLHEADER, 0, FORM("GAMEMSG_DATAGLLHEADER", GLL, kGllHeadGameMsg)},
    {ST_GAMEMSG_DATAGLLNODE, 0, FORM("GAMEMSG_DATAGLLNODE", GLL_NODE, kGllNodeGameMsg)},
    {ST_CNBOOLGLLHEADER, 0, FORM("CNBOOLGLLHEADER", GLL, kGllHeadCnBool)},
    {ST_CNBOOLGLLNODE, 0, FORM("CNBOOLGLLNODE", GLL_NODE, kGllNodeCnBool)},
    {ST_CNDESTITEMGLLHEADER, 0, FORM("CNDESTITEMGLLHEADER", GLL, kGllHeadCnDestItem)},
    {ST_CNDESTITEMGLLNODE, 0, FORM("CNDESTITEMGLLNODE", GLL_NODE, kGllNodeCnDestItem)},
    {ST_RELEASESFGLLHEADER, 0, FORM("RELEASESFGLLHEADER", GLL, kGllHeadReleaseSf)},
    {ST_RELEASESFGLLNODE, 0, FORM("RELEASESFGLLNODE", GLL_NODE, kGllNodeReleaseSf)},
    {ST_IDLISTGLLHEADER, 0, FORM("IDLISTGLLHEADER", GLL, kGllHeadIdList)},
    {ST_IDLISTGLLNODE, 0, FORM("IDLISTGLLNODE", GLL_NODE, kGllNodeIdList)},
    {-1, 0, {nullptr, 0, 0, nullptr, 0, 0}},
};

int SaveField_WeakValid(int target, const void* p, int32_t id)
{
    if (!p) return 0;
    switch (target) {
    case ST_UNIT: return ((const UNIT*)p)->id == id;
    case ST_BUILDING: return ((const BUILDING*)p)->id == id;
    case ST_EXPL: return ((const EXPL*)p)->id == id;
    case ST_PROJECTILE: return ((const PROJECTILE*)p)->id == id;
    case ST_PART: return ((const PART*)p)->id == id;
    default: return 0;
    }
}
