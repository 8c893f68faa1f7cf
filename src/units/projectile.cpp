// Projectiles, from launch to the last effect of their impact.
//
// States of a projectile, all on the one list in launch order:
//   flying   - moves once per update (step 7) towards its aim point, shown by
//              its display, smoking every SmokeDelay updates;
//   landed   - the impact has hit; it is undrawn (display deleted) and stays
//              only while something still needs it: lingering hits still to
//              come (hitsleft > 0) or vortices and waves that keep it
//              (held > 0);
//   free     - back on the free list, id -1.
// A shot with neither lingering hits nor keepers after its impact is freed
// in the update it lands, so no landed projectile ever waits for nothing.
//
// Flight: 16.16 fixed point, integer steps; speed from initialspeed, plus
// acceleration (in 16.16 too) up to maxspeed, never below one pixel an update, so every
// straight flight reaches its aim; a homing shot that cannot reach its target
// lands after 2 x range + 24 pixels. Every bound from the weapon file is cut
// (areas and caps at 2^20 pixels, rate below 1 counts 1, negative times 0) so
// that no weapon data keeps a projectile, vortex or wave alive for ever.
//
// Impact: direct damage, area damage through the map grid (every team, the
// shooter's own too), boosts, repairs of the direct target, harassment in the
// region under the hit, kills counted once. A vortex weapon opens a vortex at
// the hit, which carries the weapon's lingering hits; a wave weapon starts a
// ring that carries its area damage outwards (so the impact itself deals no
// area damage), and its lingering hits stay with the projectile as for every
// other kind. Vortices and waves keep their projectile, so the handles and
// the saved game see one owner record for every effect of one shot.
//
// Determinism: the list, the vortex list and the wave list are walked in
// creation order; nothing reads a clock, an address or the local random
// stream, and the only floats are the angle table's, the same everywhere.
#include "units/projectile.h"
#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include <cstdlib>
#include <vector>

#include "ai/aiteam.h"
#include "core/angle.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "core/utils.h"
#include "map/region.h"
#include "platform/animtype.h"
#include "platform/sortdisp.h"
#include "rules/gamemsg.h"
#include "ui/igievnt.h"
#include "units/autotarget.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/explosion.h"
#include "units/iterate.h"
#include "units/parts.h"
#include "units/swave.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitstate.h"
#include "units/vortex.h"
#include "units/weapon.h"

static PROJECTILE* s_first;
static PROJECTILE* s_last;
static PROJECTILE* s_free;
static int s_count;
static std::vector<PROJECTILE*> s_blocks; // every record made, for the close
static std::vector<const void*> s_noDefenceLogged; // types told about once

enum {
    FIX_ONE = 1 << 16,
    // Farther than any map reaches: areas and flight caps from the weapon
    // file are cut here so their arithmetic stays inside int.
    FAR_PIXELS = 1 << 20,
    // Just over the flyers (layer 5), the highest units.
    PROJECTILE_LAYER = 6,
};

static PROJECTILE* Take(void)
{
    if (PROJECTILE* p = s_free) {
        s_free = p->next;
        return p;
    }
    PROJECTILE* p = (PROJECTILE*)Debug_MallocFor(sizeof(PROJECTILE), "projectile");
    s_blocks.push_back(p);
    return p;
}

static void Release(PROJECTILE* p)
{
    SortDisp_DeleteChain(p->display);
    p->display = nullptr;
    if (p->prev) p->prev->next = p->next;
    else s_first = p->next;
    if (p->next) p->next->prev = p->prev;
    else s_last = p->prev;
    p->id = -1;
    p->next = s_free;
    s_free = p;
    s_count--;
}

// Speeds from the file as 16.16; a shot never crawls below a pixel per
// update, so every flight ends.
static int32_t FixSpeed(float v)
{
    if (!(v > 1.0f)) return FIX_ONE;
    if (v > 30000.0f) return 30000 << 16;
    return (int32_t)(v * 65536.0f);
}

// An acceleration from the file as 16.16, kept as fine as the position: half
// a pixel per update is half a pixel, not one.
static int32_t FixAcceleration(float v)
{
    if (!(v > 0.0f)) return 0;
    if (v > 30000.0f) return 30000 << 16;
    return (int32_t)(v * 65536.0f);
}

static int Facing(int32_t heading) { return (heading >> 16) & 255; }

// The in-flight animation from its first frame; the iterator steps it with
// the flight, so a looping flame flickers and a linked one runs on.
static void Show(PROJECTILE* p)
{
    ANIMTYPE* a = p->weapon->InFlightAnimation;
    if (!a || !a->sprite || !AnimIter_Start(&p->anim, a)) return;
    p->display = SortDisp_NewElement(p->anim.sprite, nullptr, SORTDISP_REMAP_NONE, p->anim.frame,
                                     Facing(p->heading), p->x, p->y, PROJECTILE_LAYER, 0);
}

// An explosion of type at the shot, not attached, drawn from the shot's own
// sprite so that its hot spots are the shot's.
static void Explode(const PROJECTILE* p, EXPLTYPE* type)
{
    if (!type) return;
    const ANIMTYPE* a = p->weapon->InFlightAnimation;
    EXPLID e;
    Expl_MakeExplosion(&e, type, nullptr, SORTDISP_REMAP_NONE,
                       a && a->firstframe ? a->firstframe->first : 0, Facing(p->heading), p->x,
                       p->y, a ? a->sprite : nullptr);
}

int Weapon_MakeProjectile(PROJECTILEID* out, WEAPONTYPE* w, TARGET* target, PART* part)
{
    ASSERT(out && w && target && part);
    PROJECTILE* p = Take();
    *p = PROJECTILE{};
    p->id = Uid_Next();
    UnitId_Setup(&p->owner, part->unit);
    p->weapon = w;
    p->target = *target;
    p->part = part;
    p->team = part->unit ? part->unit->team : -1;
    p->oinfo = w->oinfo;
    Parts_GetPixelPosition(part, &p->x, &p->y);
    p->fx = p->x * FIX_ONE;
    p->fy = p->y * FIX_ONE;
    Target_GetPosition(&p->target, &p->aimx, &p->aimy);
    if (p->aimx < 0) p->aimx = p->x, p->aimy = p->y;
    p->heading = Util_VectorAngle((float)(p->aimx - p->x), (float)(p->aimy - p->y));
    p->speed = FixSpeed(w->initialspeed);
    Show(p);
    Igievnt_PlaySoundNear(&w->FireSound, p->x / 24, p->y / 24, part->unit ? part->unit->id : -1);
    if (w->FireExplosion) {
        DISPLAYELEMENT* d = part->display;
        EXPLID fire;
        Expl_MakeExplosion(&fire, w->FireExplosion, part,
                           d ? SortDisp_GetRemap(d) : (int)SORTDISP_REMAP_NONE,
                           d ? SortDisp_GetFrame(d) : 0, d ? SortDisp_GetDirection(d) : 0, p->x,
                           p->y, d ? SortDisp_GetSprite(d) : nullptr);
    }
    p->prev = s_last;
    if (s_last) s_last->next = p;
    else s_first = p;
    s_last = p;
    s_count++;
    *out = {p, p->id};
    return 1;
}

// ------------------------------------------------------------------ impact

static int64_t ISqrt(int64_t v)
{
    if (v <= 0) return 0;
    int64_t r = (int64_t)__builtin_sqrt((double)v);
    while (r * r > v) r--;
    while ((r + 1) * (r + 1) <= v) r++;
    return r;
}

// Damage of oinfo to a defence class at distance; a type whose defence is
// no class of the table takes the strength in full, as a class without a
// row does.
static int AreaDamage(const OFFENSEINFO* oi, int defense, int strength, int dist,
                      const void* type, const char* name)
{
    if (dist > oi->areaeffect) return 0;
    if (oi->offense < 0 || oi->offense >= Damage_ColumnCount()) return oi->hitpoints;
    if (defense < 0 || defense >= Damage_DefenseCount()) {
        bool seen = false;
        for (const void* t : s_noDefenceLogged) seen |= t == type;
        if (!seen) {
            s_noDefenceLogged.push_back(type);
            TLOG(TLOG_WARNING, "Type %s has no defence class (%d): full damage", name, defense);
        }
        return oi->hitpoints;
    }
    int critical = 0;
    return Damage_GetDamage(oi->offense, defense, oi->hitpoints, strength, oi->areaeffect, dist,
                            &critical);
}

// Tells the local player of a hit on its own or an agreed ally's things, and
// of an agreed ally's hit on its own, at the victim's tile.
static void TellOfHit(int attacker, int victim, int isbuilding, int x, int y)
{
    const int me = g_LocalTeam;
    if (attacker < 0 || attacker >= TEAM_MAXTEAMS || me < 0 || me >= TEAM_MAXTEAMS) return;
    const int enemy = Team_GetRelation(victim, attacker) == TR_ENEMY;
    int msg = -1;
    if (victim == me && attacker != me && Team_AgreedRelation(me, attacker, TR_ALLY))
        msg = MSG_ALLYATTACK;
    else if (victim == me && enemy)
        msg = isbuilding ? MSG_ATTACKED : MSG_UNDERATTACK;
    else if (victim != me && enemy && Team_AgreedRelation(me, victim, TR_ALLY))
        msg = MSG_ALLYUNDERATTACK;
    if (msg >= 0) GameMsg_TriggerStdXY(GameMsg_Std(msg), x, y);
}

// The projectile whose impact or lingering hits are being dealt: the units
// they hurt answer its owner.
static PROJECTILE* s_hitBy;

static void HurtUnit(UNIT* u, const WEAPONTYPE* w, int team, int dmg)
{
    if (dmg == 0 || u->hitpoints < 1) {
        if (dmg > 0 && w->CanCancelBoosting) u->boost.state = BS_OFF;
        return;
    }
    Units_SetHitpoints(u, u->hitpoints - dmg);
    if (dmg > 0 && w->CanCancelBoosting) u->boost.state = BS_OFF;
    if (dmg > 0) TellOfHit(team, u->team, 0, u->tilepos.x, u->tilepos.y);
    if (u->hitpoints < 1 && team >= 0)
        Team_Stats_UnitKill(team, u->team, u->tilepos.x, u->tilepos.y);
    if (dmg > 0 && u->hitpoints >= 1 && s_hitBy) Units_Tactical_Hit_Response(u, s_hitBy);
}

static void HurtBuilding(BUILDING* b, int team, int dmg)
{
    if (dmg == 0 || b->hitpoints < 1) return;
    // The owner's computer player hears of the hit before the building can
    // be gone; the shooter's tile when it still stands.
    if (dmg > 0) {
        const UNIT* shooter = s_hitBy ? UnitId_Ptr(&s_hitBy->owner) : nullptr;
        AI_Team::ReportEvent(b->team, b->tilex, b->tiley, 1, shooter ? shooter->tilepos.x : -1,
                             shooter ? shooter->tilepos.y : -1);
    }
    Build_SetHitpoints(b, b->hitpoints - dmg);
    if (dmg > 0) TellOfHit(team, b->team, 1, b->tilex, b->tiley);
    if (b->hitpoints < 1 && team >= 0) Team_Stats_BuildingKill(team, b->team);
}

// Pixel distance from P to the building's footprint (0 inside).
static int BuildingDistance(const BUILDING* b, int px, int py)
{
    int x0 = b->tilex * 24, y0 = b->tiley * 24;
    int x1 = x0 + b->buildingtype->width * 24 - 1, y1 = y0 + b->buildingtype->height * 24 - 1;
    int64_t dx = px < x0 ? x0 - px : px > x1 ? px - x1 : 0;
    int64_t dy = py < y0 ? y0 - py : py > y1 ? py - y1 : 0;
    return (int)ISqrt(dx * dx + dy * dy);
}

void Weapon_RingDamage(const WEAPONTYPE* w, const OFFENSEINFO* oi, int team, int px, int py,
                       int inner, int outer)
{
    ASSERT(w && oi);
    if (oi->areaeffect < 0 || oi->hitpoints <= 0) return;
    int r = oi->areaeffect < FAR_PIXELS ? oi->areaeffect : FAR_PIXELS;
    if (outer < r) r = outer;
    if (r < 0 || inner >= r) return;
    int tx1 = (px - r - 12) / 24, ty1 = (py - r - 12) / 24;
    int tx2 = (px + r + 12) / 24, ty2 = (py + r + 12) / 24;
    if (px - r - 12 < 0) tx1 = 0;
    if (py - r - 12 < 0) ty1 = 0;
    // Collected first: a hit may move or remove what the walk stands on.
    std::vector<UNIT*> units;
    ITERATOR it;
    Iterate_UnitInitMapGrid(&it, 0, TR_ALL, MM_ALL, tx1, ty1, tx2, ty2);
    while (UNIT* u = Iterate_UnitNextMapGrid(&it)) units.push_back(u);
    for (UNIT* u : units) {
        int64_t dx = u->pixelpos.x + 12 - px, dy = u->pixelpos.y + 12 - py;
        int64_t d = ISqrt(dx * dx + dy * dy);
        if (d > r || d <= inner) continue;
        TARGET t;
        Target_Setup(&t, FM_UNIT, u, nullptr, 0, 0);
        if (!Weapon_CanShoot(w, &t)) continue;
        HurtUnit(u, w, team,
                 AreaDamage(oi, u->type->defense, u->type->defensestrength, (int)d, u->type,
                            u->type->symbolid));
    }
    std::vector<BUILDING*> buildings;
    Iterate_BuildInitMapGrid(&it, 0, TR_ALL, tx1, ty1, tx2, ty2);
    while (BUILDING* b = Iterate_BuildNextMapGrid(&it)) buildings.push_back(b);
    for (BUILDING* b : buildings) {
        int d = BuildingDistance(b, px, py);
        if (d > r || d <= inner) continue;
        const BUILDINGTYPE* bt = b->buildingtype;
        HurtBuilding(b, team, AreaDamage(oi, bt->defense, bt->defensestrength, d, bt, bt->name));
    }
}

static void AreaHits(const WEAPONTYPE* w, const OFFENSEINFO* oi, int team, int px, int py)
{
    Weapon_RingDamage(w, oi, team, px, py, -1, FAR_PIXELS);
}

void Weapon_Impact(const WEAPONTYPE* w, const OFFENSEINFO* oinfo, TARGET* direct, int team,
                   int px, int py)
{
    ASSERT(w && oinfo);
    if (team >= 0 && team < REGION_TEAMS)
        if (REGION* region = Region_FindAtPixel(px, py)) {
            // Held at the ends of its word: a long game's hits in one region
            // ran it past them.
            region->harass[team] = Utils_Saturate32((int64_t)region->harass[team] + oinfo->hitpoints);
        }
    UNIT* du = nullptr;
    BUILDING* db = nullptr;
    if (direct && Target_Valid(direct)) {
        if (direct->mode == FM_UNIT) {
            UNIT* u = UnitId_Ptr(&direct->unit);
            if (px >= 0 && py >= 0 && u->tilepos.x == px / 24 && u->tilepos.y == py / 24) du = u;
        } else if (direct->mode == FM_BUILDING) {
            BUILDING* b = BuildId_Ptr(&direct->building);
            if (b && b == Build_AtPixel(px, py)) db = b;
        }
    }
    if (w->boost.isbooster) {
        if (du) Units_Boost(du, w);
        return;
    }
    if (du) HurtUnit(du, w, team, w->directhitpointdamage);
    if (db) HurtBuilding(db, team, w->directhitpointdamage);
    if (oinfo->hitpoints < 0) {
        // A repairing weapon mends only what it aimed at.
        if (du) HurtUnit(du, w, team, oinfo->hitpoints);
        if (db) HurtBuilding(db, team, oinfo->hitpoints);
        return;
    }
    AreaHits(w, oinfo, team, px, py);
}

// The shredder's grinding is contact, not a blast: it spares its own side,
// or it would grind the next units its factory delivers beside it.
static int SparedBy(int team, int other)
{
    return team >= 0 && team < TEAM_MAXTEAMS && other >= 0 && other < TEAM_MAXTEAMS &&
           (team == other || Team_GetRelation(team, other) == TR_ALLY);
}

// A unit mid-step stands on the tile under its pixel centre, wherever its
// position says it is: it is hit there, as a unit at rest would be.
void Weapon_DoDamage(int x, int y, const WEAPONTYPE* w, int team)
{
    ASSERT(w);
    OFFENSEINFO oi = w->oinfo;
    oi.areaeffect = 0;
    if (oi.hitpoints <= 0) return;
    std::vector<UNIT*> units;
    ITERATOR it;
    Iterate_UnitInitMapGrid(&it, 0, TR_ALL, MM_ALL, x > 0 ? x - 1 : 0, y > 0 ? y - 1 : 0, x + 1, y + 1);
    while (UNIT* u = Iterate_UnitNextMapGrid(&it))
        if (u->pixelpos.x + 12 >= x * 24 && u->pixelpos.x + 12 < x * 24 + 24 &&
            u->pixelpos.y + 12 >= y * 24 && u->pixelpos.y + 12 < y * 24 + 24)
            units.push_back(u);
    for (UNIT* u : units) {
        TARGET t;
        Target_Setup(&t, FM_UNIT, u, nullptr, 0, 0);
        if (!Weapon_CanShoot(w, &t) || SparedBy(team, u->team)) continue;
        HurtUnit(u, w, team,
                 AreaDamage(&oi, u->type->defense, u->type->defensestrength, 0, u->type,
                            u->type->symbolid));
    }
    if (!w->CanShootBuilding) return;
    std::vector<BUILDING*> buildings;
    Iterate_BuildInitMapGrid(&it, 0, TR_ALL, x > 0 ? x : 0, y > 0 ? y : 0, x + 1, y + 1);
    while (BUILDING* b = Iterate_BuildNextMapGrid(&it)) buildings.push_back(b);
    for (BUILDING* b : buildings) {
        int d = BuildingDistance(b, x * 24 + 12, y * 24 + 12);
        if (d > 0 || SparedBy(team, b->team)) continue;
        const BUILDINGTYPE* bt = b->buildingtype;
        HurtBuilding(b, team, AreaDamage(&oi, bt->defense, bt->defensestrength, 0, bt, bt->name));
    }
}

// The self-destruct's strength: the offence percentage follows the owner's
// hit-point percentage linearly between the two bounds, flat outside them.
static int SelfDestructStrength(const WEAPONTYPE* w, const UNIT* owner)
{
    const OFFENSEBOUND& lo = w->selfdestruct.minbound;
    const OFFENSEBOUND& hi = w->selfdestruct.maxbound;
    int hp = owner && owner->type->maxhitpoints > 0
                 ? (int)((int64_t)owner->hitpoints * 100 / owner->type->maxhitpoints)
                 : 100;
    int pct;
    if (hp <= lo.ownerhitpointpercent) pct = lo.offensepercent;
    else if (hp >= hi.ownerhitpointpercent) pct = hi.offensepercent;
    else
        pct = lo.offensepercent + (hi.offensepercent - lo.offensepercent) *
                                      (hp - lo.ownerhitpointpercent) /
                                      (hi.ownerhitpointpercent - lo.ownerhitpointpercent);
    return (int)((int64_t)w->oinfo.hitpoints * pct / 100);
}

// The impact; 1 when it freed the projectile, 0 when the shot lingers.
static int Hit(PROJECTILE* p, int px, int py)
{
    p->x = px, p->y = py;
    const WEAPONTYPE* w = p->weapon;
    OFFENSEINFO oi = p->oinfo;
    UNIT* owner = UnitId_Ptr(&p->owner);
    if (w->kind == WSELFDESTRUCT) {
        oi.hitpoints = SelfDestructStrength(w, owner);
        if (owner) {
            px = owner->pixelpos.x + 12, py = owner->pixelpos.y + 12;
            p->x = px, p->y = py;
            Units_SetHitpoints(owner, 0);
        }
    }
    SortDisp_DeleteChain(p->display);
    p->display = nullptr;
    Explode(p, w->HitExplosion);
    Igievnt_PlaySoundNear(&w->HitSound, px / 24, py / 24, -1);
    if (w->kind == WWAVE) oi.areaeffect = -1; // the ring carries the area damage
    s_hitBy = p;
    Weapon_Impact(w, &oi, &p->target, p->team, px, py);
    s_hitBy = nullptr;
    if (w->kind == WVORTEX) Vortex_Open(p, px, py);
    if (w->kind == WWAVE) Swave_Start(p, px, py);
    if (w->kind != WVORTEX && w->ispersistent && w->persistent.times > 0) {
        p->hitsleft = w->persistent.times;
        p->hitwait = 0;
    }
    if (p->hitsleft > 0 || p->held > 0) return 0;
    Release(p);
    return 1;
}

// One update of a landed shot: its lingering damage, if any is left; 1 when
// that freed it.
static int Linger(PROJECTILE* p)
{
    if (p->hitsleft < 1) return 0;
    const WEAPONPERSISTENT& pd = p->weapon->persistent;
    if (++p->hitwait < (pd.rate > 1 ? pd.rate : 1)) return 0;
    p->hitwait = 0;
    s_hitBy = p;
    AreaHits(p->weapon, &pd.oinfo, p->team, p->x, p->y);
    s_hitBy = nullptr;
    if (--p->hitsleft > 0 || p->held > 0) return 0;
    Release(p);
    return 1;
}

void Weapon_KeepProjectile(PROJECTILE* p)
{
    ASSERT(p && p->id != -1);
    p->held++;
}

void Weapon_LetGoProjectile(PROJECTILE* p)
{
    ASSERT(p && p->id != -1 && p->held > 0);
    if (--p->held == 0 && p->hitsleft < 1) Release(p);
}

// ------------------------------------------------------------------ flight

static int32_t TurnTowards(int32_t heading, int32_t want, int32_t limit)
{
    int32_t diff = (want - heading) & (UTIL_FULL_TURN - 1);
    if (diff >= UTIL_FULL_TURN / 2) diff -= UTIL_FULL_TURN;
    if (limit > 0 && diff > limit) diff = limit;
    if (limit > 0 && diff < -limit) diff = -limit;
    return (heading + diff) & (UTIL_FULL_TURN - 1);
}

int Weapon_UpdateProjectile(PROJECTILE* p)
{
    const WEAPONTYPE* w = p->weapon;
    if (p->hitsleft > 0 || p->held > 0) return Linger(p);
    if (w->kind == WSELFDESTRUCT) {
        return Hit(p, p->x, p->y);
    }
    if (w->kind == WHOMING && Target_Valid(&p->target))
        Target_GetPosition(&p->target, &p->aimx, &p->aimy);
    int64_t dx = (int64_t)p->aimx * FIX_ONE - p->fx, dy = (int64_t)p->aimy * FIX_ONE - p->fy;
    int64_t dist = ISqrt(dx * dx + dy * dy);
    if (dist <= p->speed) {
        return Hit(p, p->aimx, p->aimy);
    }
    if (w->kind == WHOMING) {
        int32_t want = Util_VectorAngle((float)dx, (float)dy);
        p->heading = TurnTowards(p->heading, want, w->rotationalspeed);
        p->fx += (int32_t)(Util_Cos(p->heading) * (float)p->speed);
        p->fy -= (int32_t)(Util_Sin(p->heading) * (float)p->speed);
    } else {
        p->fx += (int32_t)(dx * p->speed / dist);
        p->fy += (int32_t)(dy * p->speed / dist);
    }
    p->x = p->fx >> 16;
    p->y = p->fy >> 16;
    if (p->display) {
        SortDisp_SetPosition(p->display, p->x, p->y);
        SortDisp_SetDirection(p->display, Facing(p->heading));
        // An animation that has ended keeps its last frame for the rest of the flight.
        if (AnimIter_Advance(&p->anim)) {
            if (p->anim.sprite != SortDisp_GetSprite(p->display))
                SortDisp_SetSprite(p->display, p->anim.sprite);
            SortDisp_SetFrame(p->display, p->anim.frame);
        }
    }
    p->travelled += p->speed >> 16;
    int32_t grow = w->acceleration > 0 ? FixAcceleration(w->acceleration) : 0;
    if (w->acceleration < 0) grow = -FixAcceleration(-w->acceleration);
    int32_t top = w->maxspeed >= 0 ? FixSpeed(w->maxspeed) : p->speed;
    int64_t s = (int64_t)p->speed + grow;
    if (grow > 0 && s > top) s = p->speed > top ? p->speed : top;
    p->speed = s < FIX_ONE ? FIX_ONE : (int32_t)s;
    if (w->SmokeDelay > 0 && w->SmokeExplosion && ++p->smokecounter >= w->SmokeDelay) {
        p->smokecounter = 0;
        Explode(p, w->SmokeExplosion);
    }
    const float far = (float)FAR_PIXELS;
    int cap = (w->range > 0 ? (w->range < far ? (int)(2 * w->range) : 2 * FAR_PIXELS) : 0) + 24;
    if (w->kind == WHOMING && p->travelled >= cap) {
        return Hit(p, p->x, p->y);
    }
    return 0;
}

void Weapon_UpdateProjectiles(void)
{
    PROJECTILE* p = s_first;
    while (p) {
        PROJECTILE* next = p->next; // a projectile made during its hit joins the end
        Weapon_UpdateProjectile(p);
        p = next;
    }
}

PROJECTILE* Projectile_First(void) { return s_first; }
int Projectile_Count(void) { return s_count; }

static void FreeAll(void)
{
    for (PROJECTILE* p : s_blocks) Debug_FreeBlock(p);
    s_blocks.clear();
    s_noDefenceLogged.clear();
    s_first = s_last = s_free = nullptr;
    s_count = 0;
}

// A new game's display list is new: the old elements are gone with it.
void Projectile_Init(void) { FreeAll(); }

void Projectile_Close(void)
{
    for (PROJECTILE* p = s_first; p; p = p->next) SortDisp_DeleteChain(p->display);
    FreeAll();
}

void Weapon_SaveProjectiles(void)
{
    Save_RegisterBlock(SAVEK_GLOBAL, &s_count, ST_ULONG, sizeof s_count);
    Save_RegisterHead(&s_first, 1, ST_PROJECTILE, "projectiles");
    Save_RegisterHead(&s_last, 1, ST_PROJECTILE, "projectiles last");
    for (PROJECTILE* p = s_first; p && Save_WalkGoesOn(); p = p->next) {
        Save_RegisterTypePointers(ST_PROJECTILE, p);
        Save_RegisterBlock(SAVEK_LOCAL, p, ST_PROJECTILE, sizeof *p);
    }
}

// ---- saved games

PROJECTILE* Projectile_AllocRecord(void)
{
    PROJECTILE* p = Take();
    *p = PROJECTILE{};
    return p;
}

void Projectile_FreeRecord(PROJECTILE* p)
{
    *p = PROJECTILE{};
    p->id = -1;
    p->next = s_free;
    s_free = p;
}

const char* Projectile_CheckLoaded(void)
{
    const PROJECTILE* last = nullptr;
    int n = 0;
    for (const PROJECTILE* p = s_first; p; last = p, p = p->next, n++) {
        if (p->prev != last || p->id < 0) return "a projectile's prev link or id";
        // Its hits look up the damage table's column of its class.
        if (p->oinfo.offense >= Damage_ColumnCount()) return "a projectile's offense class";
    }
    return last == s_last && n == s_count ? nullptr : "the projectile list's end or count";
}
