// Unit movement per update: walking the stored path tile by tile along the
// step curves, waiting for paths, obstacles and time, and handling steps
// that can't be taken.
//
// The wait for a taken tile has an end here where the plain rule has none:
// a unit held up by a unit that won't leave (one idle or at work on the
// tile, a ring of waiting units, a line in a crowd) goes round it once its
// patience is out. A unit at work (firing, mending, acting) is gone round
// whatever its team: an enemy gun holding a gap, or a mender mending its
// own side, would otherwise hold a unit on the move for as long as it
// works. Going round takes steps like any other, so each still looks for
// targets and crushes by Units_CanEnterTile.
#include <algorithm>
#include <cstdlib>

#include "core/debug.h"
#include "core/gamestate.h"
#include "map/map.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "units/building.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/target.h"
#include "units/team.h"
#include "units/weapon.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/autotarget.h"
#include "units/unithold.h"
#include "units/unitsorder.h"
#include "units/unitstate.h"
#include "rules/gamemsg.h"
#include "ui/igievnt.h"

namespace {

bool TurnsWhileMoving(const UNIT* u) { return Units_IsFlyUnit(u) || Units_IsHoverUnit(u); }

// Fliers and hovers swing round over time; a body on the ground is set.
void FaceBase(UNIT* u, int facing)
{
    if (u->basepart == nullptr) return;
    if (TurnsWhileMoving(u))
        Parts_SetRotateState(u->basepart, facing & 255);
    else
        Parts_SetAngle(u->basepart, facing & 255);
}

void Snap(UNIT* u)
{
    u->move.curspeed = 0;
    u->move.targetspeed = 0;
    u->move.curvepos = 0;
    u->pixelpos = {u->tilepos.x * 24, u->tilepos.y * 24};
    u->move.srctilepos = u->tilepos;
}

// The unit stops on its tile, takes it as its destination and carries on
// with whatever command is pending.
void StopHere(UNIT* u)
{
    Path_Clear(&u->move.path);
    Snap(u);
    u->move.srchtilepos = u->tilepos;
    Units_RunPendingMoveCommand(u);
}

UNIT* UnitAt(int level, int x, int y)
{
    if (!Map_IsValidTile(x, y)) return nullptr;
    return MAP_ELEMENT_AT(x, y)->unit[level];
}

// Another unit on the unit's level of (x, y).
UNIT* Occupant(const UNIT* u, int x, int y)
{
    UNIT* o = UnitAt(u->maplevel, x, y);
    return o == u ? nullptr : o;
}

int Reach(const UNIT* u, int x, int y) { return std::max(abs(x - u->tilepos.x), abs(y - u->tilepos.y)); }

bool NextStepIs(const UNIT* u, int x, int y)
{
    int nx, ny;
    return Path_Peek(&u->move.path, &nx, &ny, 0) && nx == x && ny == y;
}

// The direction after a step into (x, y): towards the following path tile,
// or the step's own when there is none.
int NextDir(const UNIT* u, int x, int y, int d1)
{
    int nx, ny;
    if (!Path_Peek(&u->move.path, &nx, &ny, 0) || (nx == x && ny == y)) return d1;
    return Units_GetVectorDir(x, y, nx, ny);
}

void PlayStepAnimation(UNIT* u, int32_t rate)
{
    if (u->basepart) Parts_PlayAnimation(u->basepart, u->basepart->dinfo.defaultanim, rate, 1);
}

// Walks one alternative of the detour table from the unit's tile; 1 with
// its tiles when every step is open.
int WalkDetour(const UNIT* u, const uint8_t* rel, int n, int base, UNIT_POS* tiles)
{
    int cx = u->tilepos.x, cy = u->tilepos.y;
    for (int k = 0; k < n; k++) {
        int nx = cx, ny = cy;
        Units_DirToNeighbour((base + rel[k]) & 7, &nx, &ny);
        if (!Units_CanTravel(u, cx, cy, nx, ny) || UnitAt(u->maplevel, nx, ny) != nullptr) return 0;
        tiles[k] = {nx, ny};
        cx = nx;
        cy = ny;
    }
    return 1;
}

// The first alternative of the detour table round (x, y) that is open now,
// its tiles pushed onto the path so that it leads to the step after (x, y);
// 0 when none is.
int Detour(UNIT* u, int x, int y)
{
    if (Reach(u, x, y) != 1) return 0;   // the table leads round a neighbour only
    const int d1 = Units_GetVectorDir(u->tilepos.x, u->tilepos.y, x, y);
    const int d2 = NextDir(u, x, y, d1);
    const int base = d1 & ~1;
    const uint8_t* list = g_StepDetours[d1 & 1][(d2 - base) & 7];
    for (int k = 0; list[k] != UNITS_DETOUR_END;) {
        int n = 0;
        while (list[k + n] != UNITS_DETOUR_NEXT && list[k + n] != UNITS_DETOUR_END) n++;
        UNIT_POS tiles[UNITS_DETOUR_MAX];
        if (WalkDetour(u, &list[k], n, base, tiles)) {
            for (int i = n - 1; i >= 0; i--) Path_PushOptimal(&u->move.path, tiles[i].x, tiles[i].y);
            return 1;
        }
        k += n;
        if (list[k] == UNITS_DETOUR_NEXT) k++;
    }
    return 0;
}

// A unit held up on its tile by other units has its patience: it starts at
// the first hold-up since the unit's last step (move.waituntil holds its
// end, 0 while the unit is not held up), runs on through the waits, stops
// and searches anew that follow, and ends with the next step taken. The
// search does not see units, so a search anew from the same tile leads into
// the same unit again: once the patience is out the unit goes round (see
// GoRound) where it would only stop or search anew.
bool PatienceOut(UNIT* u)
{
    if (u->move.waituntil == 0) u->move.waituntil = g_UpdateCount + UNITS_WAITPATIENCE;
    return (int32_t)(g_UpdateCount - u->move.waituntil) >= 0;
}

// The step into (x, y) waits for the unit there to go on.
void WaitForTile(UNIT* u, int x, int y)
{
    Path_Push(&u->move.path, x, y);
    u->state = US_WAITFOROBSTACLE;
    PatienceOut(u);
}

// A unit with nothing to do, of the unit's own team or one at peace with
// it both ways, steps aside for it wherever it stands: the search does not
// see units and would route the unit into it again for as long as it
// stands.
bool StandsIdleInTheWay(const UNIT* u, const UNIT* o)
{
    return Units_IsStationary(o) && o->sorder.code == SO_NONE && Path_Count(&o->move.path) == 0 &&
           Team_GetRelation(u->team, o->team) != TR_ENEMY && Team_GetRelation(o->team, u->team) != TR_ENEMY;
}

// A unit of any team that stands on its tile at work (firing, mending,
// acting): no wait of its own will end and move it on, and it began
// waiting, if it ever did, before u did, so GivesWay never lets u go. An
// enemy gun holding a gap can fire for as long as the battle lasts; the
// steps round it each look for targets and crush as any step does.
bool BusyInTheWay(const UNIT* o)
{
    return o->state == US_FIRING || o->state == US_FIRINGONCE || o->state == US_ACTING;
}

// The idle unit o steps aside for u: onto a free neighbour or, hemmed in by
// idle units, onto the tile of one that steps aside first, each unit of the
// chain farther from u than the one before, at most `depth` of them; the
// units of the chain move out together. 0 when it can't.
int AskAside(const UNIT* u, UNIT* o, int depth)
{
    if (Pathsrch_MoveAside(o, 0)) return 1;
    const int ox = o->tilepos.x, oy = o->tilepos.y, reach = Reach(u, ox, oy);
    for (int d = 0; depth > 1 && d < 8; d++) {
        int nx = ox, ny = oy;
        Units_DirToNeighbour(d, &nx, &ny);
        if (!Units_CanTravel(o, ox, oy, nx, ny) || Reach(u, nx, ny) <= reach) continue;
        UNIT* n = UnitAt(o->maplevel, nx, ny);
        if (n == nullptr || !StandsIdleInTheWay(u, n) || !AskAside(u, n, depth - 1)) continue;
        Units_MoveTo(o, nx, ny, Units_AllocGroupId());
        return 1;
    }
    return 0;
}

// The stored path ends on the search's goal, an unreachable one included; a
// unit whose path was cut short, or that stepped aside, ends it farther off
// and searches on from there rather than stopping.
bool FarFromGoal(const UNIT* u)
{
    return abs(u->tilepos.x - u->move.srchtilepos.x) > 4 || abs(u->tilepos.y - u->move.srchtilepos.y) > 4;
}

// One step onto a neighbour, the nearest in direction to the held tile (x,
// y) first, free or made free by idle units stepping aside; from there the
// unit searches on, or near its destination stops and leaves the rest to
// its order. 0 when it is hemmed in.
int StepAside(UNIT* u, int x, int y)
{
    static const int8_t turns[7] = {1, -1, 2, -2, 3, -3, 4};
    const int tx = u->tilepos.x, ty = u->tilepos.y;
    const int d1 = Units_GetVectorDir(tx, ty, x, y);
    for (int pass = 0; pass < 2; pass++)
        for (int8_t t : turns) {
            int nx = tx, ny = ty;
            Units_DirToNeighbour((d1 + t) & 7, &nx, &ny);
            if (!Units_CanTravel(u, tx, ty, nx, ny) || Units_IsImpassible(u->type, nx, ny)) continue;
            UNIT* o = UnitAt(u->maplevel, nx, ny);
            if (o != nullptr && (pass == 0 || !StandsIdleInTheWay(u, o) || !AskAside(u, o, UNITS_ASIDECHAIN)))
                continue;
            Path_Clear(&u->move.path);
            Path_Push(&u->move.path, nx, ny);
            u->state = US_MOVING;
            return 1;
        }
    return 0;
}

// The unit goes round the unit on its next path tile, which won't leave it:
// by the detour table, else a step aside. 0, the path as it was, when it is
// hemmed in.
int GoRound(UNIT* u)
{
    int x, y;
    if (!Path_Pop(&u->move.path, &x, &y)) return 0;
    if (Detour(u, x, y)) {
        u->state = US_MOVING;
        return 1;
    }
    if (StepAside(u, x, y)) return 1;
    Path_Push(&u->move.path, x, y);
    return 0;
}

// The unit that waits on the tile this waiting unit waits for, if any.
const UNIT* WaitsFor(const UNIT* u)
{
    int x, y;
    if (u->state != US_WAITFOROBSTACLE || !Path_Peek(&u->move.path, &x, &y, 0)) return nullptr;
    const UNIT* o = Occupant(u, x, y);
    return o && o->state == US_WAITFOROBSTACLE ? o : nullptr;
}

// a has waited longer than b; on a tie the lower id counts as longer.
bool WaitedLonger(const UNIT* a, const UNIT* b)
{
    const int32_t d = (int32_t)(a->move.waituntil - b->move.waituntil);
    return d < 0 || (d == 0 && a->id < b->id);
}

// Units each waiting for the next one's tile round a ring would wait for
// ever. Once its patience is out, the unit of a ring that has waited longest
// gives way, only that one and the same on every machine; the others, and
// the lines of units waiting behind the ring, follow as it turns. A ring
// longer than UNITS_WAITRING is not seen.
enum { RING_NONE, RING_WAITS, RING_GOES };
int RingPlace(const UNIT* u)
{
    bool longest = true;
    const UNIT* o = WaitsFor(u);
    for (int n = 0; o != nullptr && n < UNITS_WAITRING; n++, o = WaitsFor(o)) {
        if (o == u) return longest ? RING_GOES : RING_WAITS;
        if (WaitedLonger(o, u)) longest = false;
    }
    return RING_NONE;
}

// Outside a ring, a unit waiting for the tile of one held up past its own
// patience (hemmed in, its stops and searches leading nowhere) gives way
// when its patience is out too and it has waited longer: a ring with such a
// unit in it, searching anew rather than waiting, is not seen as a ring.
bool GivesWay(UNIT* u, const UNIT* o)
{
    if ((int32_t)(g_UpdateCount - u->move.waituntil) < 0) return false;
    const int ring = RingPlace(u);
    if (ring != RING_NONE) return ring == RING_GOES;
    // In a crowd a line of waiting units can stand long though the units
    // ahead keep moving, each wait there begun anew: one that has waited
    // past UNITS_WAITLONG after its patience behind a unit that waits too
    // goes round.
    if (o->state == US_WAITFOROBSTACLE && (int32_t)(g_UpdateCount - u->move.waituntil) >= UNITS_WAITLONG)
        return true;
    if (o->state == US_WAITING || o->move.waituntil == 0 ||
        (int32_t)(g_UpdateCount - o->move.waituntil) < UNITS_WAITPATIENCE)
        return false;
    // One that is about to step on is no longer held up.
    int x, y;
    if ((o->state == US_MOVING || o->state == US_WAITFOROBSTACLE) &&
        (!Path_Peek(&o->move.path, &x, &y, 0) || Occupant(o, x, y) == nullptr))
        return false;
    return WaitedLonger(u, o);
}

// Giving way: the unit goes round the tile ahead; hemmed in, it drops the
// tile as if there were none: it stops when it was its last step near its
// goal, or searches anew (a stored path cut short ends far from it).
void GiveWay(UNIT* u)
{
    if (GoRound(u)) return;
    // Hemmed in: its patience begins again, and the next of the ring that
    // has waited longest tries next.
    u->move.waituntil = g_UpdateCount + UNITS_WAITPATIENCE;
    int x, y;
    Path_Pop(&u->move.path, &x, &y);
    if (Path_Count(&u->move.path) == 0 && !FarFromGoal(u)) {
        StopHere(u);
    } else {
        Pathsrch_StartUnitSearch(u);
    }
}

// A local tunnelling carrier that arrives under the door of its home
// building to pick units up is ready for them.
void TellVehicleAvailable(const UNIT* u)
{
    const UNITTYPE* t = u->type;
    if (u->team != g_LocalTeam || t->hold == 0 || t->defmovemode != MM_TUNNEL ||
        t->defmaplevel != ML_TUNNEL || u->sorder.code != SO_PICKUP)
        return;
    BUILDID home = u->associate;
    BUILDING* b = BuildId_Ptr(&home);
    if (b != nullptr && Build_AtDoorTile(u->tilepos.x, u->tilepos.y - 1) == b)
        GameMsg_TriggerStd(GameMsg_Std(MSG_PHASEVEHICLEAVAIL));
}

// The grab happens as the grabber steps onto its victim's tile: the victim
// goes into the hold and the order ends, whether or not there was room.
void Grab(UNIT* u, int x, int y)
{
    UNIT* v = UnitId_Ptr(&u->sorder.grabunit.unit);
    if (v == nullptr || v != Occupant(u, x, y)) return;
    if (Units_HoldAvailable(u, v) && u->operation.code == UO_NONE) {
        Units_HoldAddUnit(u, v);
        Team_SetRelation(u->team, v->team, TR_ENEMY);
        u->operation = {UO_CONVERT, u->type->grabinfo.n, 0};
        if (u->team != g_LocalTeam && v->team == g_LocalTeam) {
            GameMsg_TriggerStd(GameMsg_Std(MSG_ALLIANCECHANGED));
            GameMsg_TriggerStd(GameMsg_Std(MSG_NEWENEMY));
        }
        if (u->team == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(MSG_UNITCAPTURED));
    }
    Units_SOrderNone(u);
}

void MoveStep(UNIT* u)
{
    PART* base = u->basepart;
    if (!TurnsWhileMoving(u) && base && !Parts_IsIdle(base) && !Parts_RotationDone(base)) return;
    const int pos = u->move.curvepos;
    if (pos > 0 && pos < UNITS_CURVEPOINTS) {
        Units_ApplyStepCurve(u);
        Units_RampStepSpeed(u);
        return;
    }
    const bool pending = u->nextstate.type != UNS_NONE;
    if (pending) {
        StopHere(u);
        return;
    }
    if (Path_Count(&u->move.path) > 0) {
        if (!Units_EndStep(u)) {
            // The body turns on the spot before it sets off again.
            Snap(u);
            for (PART* p = base; p; p = p->partup) Parts_ResetAnimation(p);
            PlayStepAnimation(u, 65536);
            return;
        }
        if (Units_BeginPathStep(u)) {
            if (u->move.curvepos >= UNITS_CURVEPOINTS) {
                u->move.curvepos = (uint8_t)(u->move.curvepos - UNITS_CURVEPOINTS);
                Units_ApplyStepCurve(u);
            }
            Units_RampStepSpeed(u);
        }
        return;
    }
    FaceBase(u, u->move.facing);
    Snap(u);
    if (FarFromGoal(u)) {
        Pathsrch_StartUnitSearch(u);
        return;
    }
    StopHere(u);
    TellVehicleAvailable(u);
}

void WaitForObstacle(UNIT* u)
{
    int nx = 0, ny = 0;
    bool nonext = !Path_Peek(&u->move.path, &nx, &ny, 0);
    bool over = false, giveway = false;
    if (!nonext) {
        UNIT* o = Occupant(u, nx, ny);
        if (o && Units_IsStationary(o)) {
            if (o->sorder.code == SO_NONE) {
                const bool aside = StandsIdleInTheWay(u, o) ? AskAside(u, o, UNITS_ASIDECHAIN) : Pathsrch_MoveAside(o, 0);
                if (!aside) over = true;
            } else {
                nonext = true;
            }
        } else if (o && NextStepIs(o, u->tilepos.x, u->tilepos.y)) {
            over = true;   // head-on: this one gives way
        } else if (o && BusyInTheWay(o)) {
            giveway = PatienceOut(u);   // round it, as round an idle one
        } else if (o && GivesWay(u, o)) {
            giveway = true;
        }
        // A unit that stays on the tile: stopping or searching anew would
        // bring this one back to it.
        if ((over || nonext) && u->nextstate.type == UNS_NONE && PatienceOut(u) && GoRound(u)) return;
    }
    if (!over && u->nextstate.type == UNS_NONE) {
        if (giveway)
            GiveWay(u);
        else if (nonext)
            Units_MoveTo(u, u->move.srchtilepos.x, u->move.srchtilepos.y, Units_AllocGroupId());
        else if (Occupant(u, nx, ny) == nullptr)
            u->state = US_MOVING;
        return;
    }
    // A wait that is over leaves the unit at rest on its tile, with no path
    // left that would keep it from stepping aside when asked.
    if (over)
        StopHere(u);
    else
        Units_RunPendingMoveCommand(u);
}

bool AllPartsIdle(const UNIT* u)
{
    for (const PART* p = u->basepart; p; p = p->partup)
        if (!Parts_IsIdle(p)) return false;
    return true;
}

void Surface(UNIT* u)
{
    u->nextstate.pushedtype = UNS_NONE;
    u->nextstate.type = UNS_UNPHASE;
    Units_RunPendingMoveCommand(u);
}

bool OwnsPhaseBuilding(const UNIT* u)
{
    const BUILDINGTYPE* bt = u->type->phaseinfo.buildingtype;
    return bt != nullptr && PREREQ_HowMany(bt->prereq.id, u->team) > 0;
}

void Phasing(UNIT* u)
{
    UNITNEXTSTATE& next = u->nextstate;
    if (u->sorder.code == SO_MOVE || u->sorder.code == SO_ATTACK) {
        // Surface first, then carry out the command with its arguments,
        // which stay where they are.
        next.pushedtype = next.type;
        next.type = UNS_UNPHASE;
        Units_RunPendingMoveCommand(u);
        return;
    }
    if (next.type == UNS_UNPHASE) {
        Units_RunPendingMoveCommand(u);
        return;
    }
    if (!u->isphased) return;
    const int max = u->type->maxhitpoints;
    if (max > 0 && (int64_t)u->hitpoints * 100 / max < u->type->phaseinfo.a) {
        Surface(u);
    } else if (!OwnsPhaseBuilding(u)) {
        if (UnitAt(ML_GROUND, u->tilepos.x, u->tilepos.y) == nullptr)
            Surface(u);
        else
            Units_SetHitpoints(u, 0);
    }
}

// 1 when the level of the unit's tile is free; an idle unit there is asked
// to step aside.
bool ClearLevel(UNIT* u, int level)
{
    UNIT* o = UnitAt(level, u->tilepos.x, u->tilepos.y);
    if (o == nullptr || o == u) return true;
    if (Units_IsStationary(o) && o->sorder.code == SO_NONE) Pathsrch_MoveAside(o, 0);
    return false;
}

void Unphasing(UNIT* u)
{
    if (u->maplevel == ML_TUNNEL && !ClearLevel(u, ML_GROUND)) return;
    if ((u->maplevel == ML_TUNNEL || u->maplevel == ML_GROUND) && !ClearLevel(u, ML_FLY)) return;
    if (!Units_RestoreMoveMode(u)) return;
    UNITNEXTSTATE& next = u->nextstate;
    if (next.pushedtype != UNS_NONE) {
        next.type = next.pushedtype;
        next.pushedtype = UNS_NONE;
    }
    Units_RunPendingMoveCommand(u);
}

} // namespace

void Units_RampStepSpeed(UNIT* u)
{
    int cur = u->move.curspeed;
    const int target = u->move.targetspeed;
    if (cur < target)
        cur = cur + MOVE_ACCELERATION < target ? cur + MOVE_ACCELERATION : target;
    else if (cur > target)
        cur = cur - MOVE_ACCELERATION > target ? cur - MOVE_ACCELERATION : target;
    u->move.curspeed = (uint8_t)cur;
    u->move.curvepos = (uint8_t)(u->move.curvepos + cur);
}

void Units_ApplyStepCurve(UNIT* u)
{
    if (u->move.pixelarray == nullptr || u->move.curvepos >= UNITS_CURVEPOINTS) return;
    const PIXELARRAY& p = u->move.pixelarray[u->move.curvepos];
    const MOVETRANSLATE& t = u->move.translate;
    int x = t.negatex ? -p.xoff : p.xoff;
    int y = t.negatey ? -p.yoff : p.yoff;
    if (t.swapxy) {
        const int s = x;
        x = y;
        y = s;
    }
    u->pixelpos = {u->move.srctilepos.x * 24 + x, u->move.srctilepos.y * 24 + y};
    FaceBase(u, p.facing + u->move.basefacing);
}

int Units_EndStep(UNIT* u)
{
    if (!TurnsWhileMoving(u) && u->move.curvepos >= UNITS_CURVEPOINTS && u->basepart)
        Parts_SetAngle(u->basepart, u->move.facing & 255);
    int nx, ny;
    if (!Path_Peek(&u->move.path, &nx, &ny, 0)) return 0;
    const int facing = Units_GetVectorDir(u->tilepos.x, u->tilepos.y, nx, ny) * 32;
    if (u->basepart == nullptr) return 1;
    Parts_SetRotateState(u->basepart, facing);
    return TurnsWhileMoving(u) || Parts_RotationDone(u->basepart);
}

int Units_BeginPathStep(UNIT* u)
{
    int x, y;
    if (!Path_Pop(&u->move.path, &x, &y)) return 1;
    if (Reach(u, x, y) > 1) {
        // A path stored before the unit was taken off the map and put back
        // elsewhere (a crew ordered on while inside the site it builds)
        // begins away from it: stepping there would jump tiles. It searches
        // anew from where it stands.
        Snap(u);
        if (Map_IsValidTile(u->move.srchtilepos.x, u->move.srchtilepos.y))
            Pathsrch_StartUnitSearch(u);
        else
            StopHere(u);
        return 0;
    }
    if (!Units_CanEnterTile(u, x, y)) return 0;
    if (!Units_CanTravel(u, u->tilepos.x, u->tilepos.y, x, y) ||
        Units_IsImpassible(u->type, x, y)) {
        Units_HandleBlockedStep(u, x, y);
        return 0;
    }
    if (Occupant(u, x, y) != nullptr) {
        Snap(u);
        Units_HandleBlockedStep(u, x, y);
        return 0;
    }
    const int d1 = Units_GetVectorDir(u->tilepos.x, u->tilepos.y, x, y);
    const int d2 = NextDir(u, x, y, d1);
    // The unit owns the tile it steps into for the whole step; its pixel
    // position stays where the curve has it.
    const UNIT_POS pixel = u->pixelpos;
    u->move.srctilepos = u->tilepos;
    u->move.waituntil = 0;   // no longer held up
    Units_ChangeTile(u, x, y);
    u->pixelpos = pixel;
    const int even = d1 & ~1, odd = d1 & 1, turn = (d2 - even) & 7;
    u->move.translate = g_MoveTranslate[d1];
    u->move.basefacing = even * 32;
    u->move.pixelarray = &g_StepCurves[g_StepCurveChoice[odd][turn] * UNITS_CURVEPOINTS];
    u->move.facing = (u->move.basefacing + g_StepEndFacing[odd][turn]) & 255;
    int tilespeed = 0;
    u->move.targetspeed = (uint8_t)Units_ComputeSpeed(u, u->move.srctilepos.x, u->move.srctilepos.y,
                                                      x, y, &tilespeed);
    PlayStepAnimation(u, (int32_t)(((int64_t)tilespeed * 65536) / 150));
    if (u->basepart) Parts_SetRotateState(u->basepart, d1 * 32);
    return 1;
}

void Units_HandleBlockedStep(UNIT* u, int x, int y)
{
    const int tx = u->tilepos.x, ty = u->tilepos.y;
    UNIT* o = Occupant(u, x, y);
    const bool standing = o && Units_IsStationary(o) && Units_CanTravel(u, tx, ty, x, y);
    if (standing && Team_AgreedRelation(u->team, o->team, TR_ALLY)) {
        const int effect = MAP_ELEMENT_AT(tx, ty)->effect;
        if ((effect == 2 || effect == 4) && Pathsrch_MoveAside(o, 0)) {
            WaitForTile(u, x, y);
            return;
        }
    }
    if (o && (o->state == US_MOVING || o->state == US_WAITFORPATH ||
              o->state == US_WAITFOROBSTACLE) &&
        !NextStepIs(o, tx, ty)) {
        WaitForTile(u, x, y);
        return;
    }
    // Held up by a unit that is not about to leave the tile: once the
    // patience is out, a step aside rather than a stop or a search anew.
    const bool aside = o != nullptr && PatienceOut(u);
    if (Path_Count(&u->move.path) == 0) {
        if (aside && StepAside(u, x, y)) return;
        if (FarFromGoal(u))
            Pathsrch_StartUnitSearch(u);
        else
            StopHere(u);
        return;
    }
    if (tx == x && ty == y) {
        Pathsrch_StartUnitSearch(u);
        return;
    }
    if (Detour(u, x, y)) return;
    // No way round: an idle unit in the way steps aside rather than the
    // unit searching anew into it.
    if (standing && StandsIdleInTheWay(u, o) && AskAside(u, o, UNITS_ASIDECHAIN)) {
        WaitForTile(u, x, y);
        return;
    }
    if (!(aside && StepAside(u, x, y))) Pathsrch_StartUnitSearch(u);
}

namespace {

// The unit can run the attack target over.
bool CanRunOver(const UNIT* u, TARGET* t)
{
    if (t->mode != FM_UNIT) return false;
    const UNIT* v = UnitId_Ptr(&t->unit);
    return v && v->type && v->type->rundowninfo.defence < u->type->rundowninfo.attack;
}

// 0 when an attacker should stop before this step: its target is gone,
// out of its reach for good, or already in range of a part.
int AttackStep(UNIT* u)
{
    TARGET* t = &u->sorder.attack.target;
    if (!Target_Valid(t)) return 0;
    bool canshoot = false, inrange = false;
    for (PART* p = u->basepart; p; p = p->partup) {
        if (!Parts_CanShootTarget(p, t)) continue;
        canshoot = true;
        if (Parts_TargetStatus(p, t) == TARGETRANGE_OK) inrange = true;
    }
    if (!canshoot && !CanRunOver(u, t)) return 0;
    return inrange ? 0 : 1;
}

bool HeadsFor(const UNIT* u, UNIT_POS p)
{
    return u->move.srchtilepos.x == p.x && u->move.srchtilepos.y == p.y;
}

// 0 when a boarding unit should not take the step into (x, y): its carrier
// is gone, or the route no longer leads to it.
int BoardStep(UNIT* u, int x, int y)
{
    UNIT* c = UnitId_Ptr(&u->sorder.board.unit);
    if (!c || !c->onmap) {
        StopHere(u);
        return 0;
    }
    UNIT_POS goal = c->tilepos;
    if (c->state == US_MOVING) {
        goal = c->move.srchtilepos;
    } else if (c->maplevel == u->maplevel && abs(c->tilepos.x - u->tilepos.x) < 2 &&
               abs(c->tilepos.y - u->tilepos.y) < 2) {
        // Within reach already: the step is still taken, as the unit's
        // last, so that it stops whole on that tile and boards from there
        // (or, out of reach after all, the order sends it back).
        Path_Clear(&u->move.path);
        u->move.srchtilepos = {x, y};
        return 1;
    }
    if (HeadsFor(u, goal)) return 1;
    Units_MoveTo(u, goal.x, goal.y, Units_AllocGroupId());
    return 0;
}

// 1 when a medium-tenacity attacker's step would take it beyond its reach
// from home: it turns back instead.
int TurnsBack(UNIT* u, int x, int y)
{
    const UNIT_POS home = u->sorder.attack.homepos;
    if (u->tactaiinfo.tenacity != TACTAI_MEDIUM || !Map_IsValidTile(home.x, home.y)) return 0;
    if (MAP_HYPS(abs(x - home.x), abs(y - home.y)) <= u->type->seeingrange * 100) return 0;
    Units_SOrderMove(u, home.x, home.y);
    return 1;
}

// Units going somewhere look around before each step, by their autonomy.
int TakesTarget(UNIT* u)
{
    const int autonomy = u->tactaiinfo.autonomy;
    if (autonomy == TACTAI_MEDIUM) {
        const int dx = u->sorder.code == SO_MOVE ? u->sorder.move.destpos.x : u->move.srchtilepos.x;
        const int dy = u->sorder.code == SO_MOVE ? u->sorder.move.destpos.y : u->move.srchtilepos.y;
        return Units_AutoTarget(u, u->tilepos.x, u->tilepos.y, dx, dy);
    }
    if (autonomy == TACTAI_HIGH) return Units_AutoTarget(u, u->tilepos.x, u->tilepos.y, -1, -1);
    return 0;
}

} // namespace

int Units_CanEnterTile(UNIT* u, int x, int y)
{
    if (u->sorder.code == SO_ATTACK && !AttackStep(u)) {
        StopHere(u);
        return 0;
    }
    if (u->sorder.code == SO_ATTACK && TurnsBack(u, x, y)) return 0;
    if ((u->sorder.code == SO_MOVE || u->sorder.code == SO_TRAIL) && TakesTarget(u)) return 0;
    if (u->sorder.code == SO_BOARD && !BoardStep(u, x, y)) return 0;
    if (u->sorder.code == SO_GRABUNIT) Grab(u, x, y);
    UNIT* o = Occupant(u, x, y);
    if (o && o->type && u->type && o->hitpoints > 0 &&
        o->type->rundowninfo.defence < u->type->rundowninfo.attack &&
        Team_GetRelation(u->team, o->team) == TR_ENEMY) {
        Igievnt_PlaySoundNear(&o->type->rundowninfo.squish, x, y, -1);
        Team_Stats_UnitKill(u->team, o->team, x, y);
        Units_SetHitpoints(o, 0);
    }
    return 1;
}

void Units_UpdateMovement(UNIT* u)
{
    ASSERT(u);
    if (u->isanimating) {
        if (Units_AnimationDone(u) && u->state == US_PHASING) {
            Units_UpdateRenderType(u);
            Units_UpdateDisplayLayer(u);
        }
        return;
    }
    switch (u->state) {
    case US_NONE:
        if (u->nextstate.type != UNS_NONE) Units_RunPendingMoveCommand(u);
        break;
    case US_MOVING: MoveStep(u); break;
    case US_WAITFOROBSTACLE: WaitForObstacle(u); break;
    case US_WAITFORPATH:
        if (u->nextstate.type != UNS_NONE) {
            Units_RunPendingMoveCommand(u);
        } else if (u->move.pathready) {
            u->state = US_MOVING;
            u->move.groupid = 0;
        }
        break;
    case US_WAITING:
        if (u->nextstate.type != UNS_NONE)
            Units_RunPendingMoveCommand(u);
        else if ((int32_t)(g_UpdateCount - u->move.waituntil) >= 0) {
            u->state = Path_Count(&u->move.path) > 0 ? US_MOVING : US_NONE;
            u->move.waituntil = 0;   // a timed wait is no hold-up
        }
        break;
    case US_ACTING:
    case US_FIRING:
    case US_FIRINGONCE:
        if (u->nextstate.type != UNS_NONE || AllPartsIdle(u)) Units_RunPendingMoveCommand(u);
        break;
    case US_PHASING: Phasing(u); break;
    case US_UNPHASING: Unphasing(u); break;
    default: break;
    }
}
