// Automatic targeting and the answer to being hit.
//
// Every search walks the map grid team by team in a fixed order and draws
// only from the synchronised stream, so all machines pick the same target.
#include "units/autotarget.h"

#include <cstdlib>

#include "ai/ai.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "map/fog.h"
#include "map/map.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/iterate.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/unitsorder.h"
#include "units/weapon.h"

// ------------------------------------------------------------------ weapon queries

int Units_CheckTargetWithWeapons(UNIT* u, TARGET* target)
{
    if (!u->basepart) return TARGETRANGE_NOAVAILABLEWEAPON;
    // Every part would answer an invalid target alike: the handle is checked
    // once for the chain (the searches ask this for every candidate).
    if (!Target_Valid(target)) return TARGETRANGE_INVALIDTARGET;
    int answer = TARGETRANGE_NOAVAILABLEWEAPON;
    for (PART* p = u->basepart; p; p = p->partup) {
        answer = Parts_TargetStatusValid(p, target);
        if (answer == TARGETRANGE_OK) return TARGETRANGE_OK;
    }
    return answer;
}

int Units_FirstWeaponResult(UNIT* u, TARGET* target)
{
    for (PART* p = u->basepart; p; p = p->partup) {
        const int r = Parts_GetWeaponTileRange(p, target);
        if (r != -1) return r;
    }
    return -1;
}

int Units_CanAttackTarget(UNIT* u, TARGET* target)
{
    for (PART* p = u->basepart; p; p = p->partup)
        if (Parts_CanShootTarget(p, target)) return 1;
    if (target->mode != FM_UNIT) return 0;
    const UNIT* v = UnitId_Ptr(&target->unit);
    return v && v->type->rundowninfo.defence < u->type->rundowninfo.attack;
}

int Units_IsTargetAppropriate(UNIT* u, UNIT* other)
{
    TARGET t;
    Target_Setup(&t, FM_UNIT, other, nullptr, 0, 0);
    return Units_CanAttackTarget(u, &t);
}

static int AnyPartShoots(UNIT* u, TARGET* t)
{
    for (PART* p = u->basepart; p; p = p->partup)
        if (Parts_CanShootTarget(p, t)) return 1;
    return 0;
}

int Units_CanShootGround(UNIT* u, int x, int y)
{
    TARGET t;
    Target_Setup(&t, FM_GROUND, nullptr, nullptr, x, y);
    return AnyPartShoots(u, &t);
}

int Units_CanShootBuilding(UNIT* u, BUILDING* b)
{
    TARGET t;
    Target_Setup(&t, FM_BUILDING, nullptr, b, b ? b->tilex : 0, b ? b->tiley : 0);
    return AnyPartShoots(u, &t);
}

static int AnyWeapon(const UNIT* u, int flyer)
{
    for (const PART* p = u->basepart; p; p = p->partup) {
        ASSERT(p->type);
        ASSERT(p->type->nrweapons >= 0 && p->type->nrweapons <= PARTS_MAXWEAPONS);
        for (int i = 0; i < p->type->nrweapons; i++) {
            const WEAPONTYPE* w = p->type->weapons[i].type;
            if (w && (flyer ? w->CanShootFlyer : w->CanShootGround)) return 1;
        }
    }
    return 0;
}

int Units_CanShootAnyFlyer(const UNIT* u) { return AnyWeapon(u, 1); }
int Units_CanShootAnyGround(const UNIT* u) { return AnyWeapon(u, 0); }

const WEAPONTYPE* Units_Weapon_Used(UNIT* u, TARGET* target)
{
    ASSERT(u);
    for (PART* p = u->basepart; p; p = p->partup) {
        if (!target) {
            if (p->type->nrweapons > 0) return p->type->weapons[0].type;
            continue;
        }
        for (int i = 0; i < p->type->nrweapons; i++) {
            const WEAPONTYPE* w = p->type->weapons[i].type;
            if (w && p->weapon[i].ammo > 0 && Weapon_CanShoot(w, target) &&
                Weapon_TargetInRange(u, w, target) == TARGETRANGE_OK)
                return w;
        }
    }
    return nullptr;
}

int Units_TargetThreat(UNIT* attacker, UNIT* victim)
{
    TARGET t;
    Target_Setup(&t, FM_UNIT, victim, nullptr, 0, 0);
    const WEAPONTYPE* w = Units_Weapon_Used(attacker, &t);
    int threat = 0;
    if (w && w->firedelay != 0) {
        const OFFENSEINFO& o = w->oinfo;
        const UNITTYPE* vt = victim->type;
        int damage = o.hitpoints;
        // A class missing from the damage table takes the strength in full,
        // as the impact itself does.
        if (o.offense >= 0 && o.offense < Damage_ColumnCount() && vt->defense >= 0 &&
            vt->defense < Damage_DefenseCount())
            damage = Damage_GetDamage(o.offense, vt->defense, o.hitpoints, vt->defensestrength,
                                      o.areaeffect, 0, nullptr);
        threat = (int)((int64_t)damage * 100 / w->firedelay);
    } else if (w) {
        threat = (int)((int64_t)w->oinfo.hitpoints * 100);
    }
    return threat < 30 ? 30 : threat;
}

// ------------------------------------------------------------------ choosers

static int LeftOut(const UNIT* u)
{
    BUILDID partof = u->partof;
    if (BuildId_Valid(&partof)) return 1;
    return u->operation.code == UO_MORPHOVL && u->sorder.code == SO_NONE;
}

// How u's team regards v by what v looks like to it.
static int RelationTo(const UNIT* u, const UNIT* v)
{
    return Team_GetRelation(u->team, v->apparentteam[u->team]);
}

static int Hyps(int x1, int y1, int x2, int y2) { return MAP_HYPS(abs(x1 - x2), abs(y1 - y2)); }

// A team without units on the map has nothing in any rectangle: its walk
// is skipped.
static int HasUnits(int team)
{
    for (const UNIT* head : teamdata[team].unitlist)
        if (head) return 1;
    return 0;
}

static void Rect(ITERATOR* it, int team, int mask, int x, int y, int r)
{
    Iterate_UnitInitMapGrid(it, team, mask, MM_ALL, x - r, y - r, x + r, y + r);
}

// The splash radius in tiles of the first part that carries weapons.
static int Splash(const UNIT* u)
{
    for (const PART* p = u->basepart; p; p = p->partup)
        if (p->type->nrweapons > 0 && p->type->weapons[0].type)
            return p->type->weapons[0].type->oinfo.areaeffect * 12 / 240;
    return 0;
}

// Own and friendly units near a candidate count against it, enemies for it:
// the shot's splash hurts them all.
static int SplashScore(const UNIT* u, const UNIT* v, int a)
{
    int score = 0;
    ITERATOR it;
    Rect(&it, 0, TR_ALL, v->tilepos.x, v->tilepos.y, a);
    while (UNIT* w = Iterate_UnitNextMapGrid(&it)) {
        if (w->operation.code == UO_MORPHOVL) continue;
        const int tiles = Hyps(w->tilepos.x, w->tilepos.y, v->tilepos.x, v->tilepos.y) / 100;
        const int amount = tiles == 0 ? 300 : 300 / tiles;
        if (w->team != u->team && RelationTo(u, w) == TR_ENEMY)
            score += amount;
        else
            score -= amount;
    }
    return score;
}

TARGET* Units_ChooseEnemyUnit(UNIT* u, TARGET* out)
{
    const int R = u->type->seeingrange, a = Splash(u);
    const int mode = AI_TargetMode(u->team);
    int best = 0, nearest = 0x7fffffff;
    UNIT* chosen = nullptr;
    // One walk over every other team's units instead of one per team: a
    // cell lists every team's units, so each walk read them all, and a unit
    // in a crowd looked at the crowd seven times. The choice stays that of
    // a walk team by team (lowest team first, the first met within a team):
    // a candidate only as good as the one kept takes its place when it is
    // of a lower team.
    int teambits = 0;
    for (int team = 0; team < TEAM_MAXTEAMS; team++)
        if (team != u->team && HasUnits(team)) teambits |= 1 << team;
    const int x = u->tilepos.x, y = u->tilepos.y;
    Iterate_UnitForEachMapGrid(teambits, MM_ALL, x - R, y - R, x + R, y + R, [&](UNIT* v) {
        if (RelationTo(u, v) != TR_ENEMY || LeftOut(v)) return true;
        if (u->type->abilities.canboost && (int64_t)v->hitpoints * 3 < (int64_t)v->type->maxhitpoints * 2)
            return true;
        TARGET t;
        Target_Setup(&t, FM_UNIT, v, nullptr, 0, 0);
        // In range with a loaded weapon that can shoot it: a part can
        // shoot it then, so Units_CanAttackTarget needs no asking.
        if (Units_CheckTargetWithWeapons(u, &t) != TARGETRANGE_OK) return true;
        const bool lower = chosen && v->team < chosen->team;
        // Computer players choose by their plan; everyone else scores.
        const int d = Hyps(v->tilepos.x, v->tilepos.y, x, y);
        if (mode != 2) {
            if (d < nearest || (d == nearest && lower)) {
                nearest = d;
                chosen = v;
            }
            return true;
        }
        if (v->hitpoints < 1) return true;
        int64_t score = (int64_t)v->type->maxhitpoints * Units_TargetThreat(v, u) / v->hitpoints +
                        (int64_t)(R * 100 - d) * 50 / 100;
        if (a > 0) score += SplashScore(u, v, a);
        score = score < 0 ? 0 : score + 1000;
        if (d < R * 100 && (score > best || (score == best && lower))) {
            best = (int)(score > 0x7fffffff ? 0x7fffffff : score);
            chosen = v;
        }
        return true;
    });
    if (!chosen) return nullptr;
    Target_Setup(out, FM_UNIT, chosen, nullptr, 0, 0);
    return out;
}

// The boost and heal choosers' walk: allies in reach that need the unit
// and that it can aim at. One in range is taken at once; otherwise the
// nearest, unless the unit's tenacity is low (it would have to go after
// it).
static TARGET* ChooseAlly(UNIT* u, TARGET* out, bool (*needs)(const UNIT* v))
{
    const int R = u->type->seeingrange;
    const int low = u->tactaiinfo.tenacity == TACTAI_LOW;
    int nearest = R * 100;
    UNIT* chosen = nullptr;
    for (int team = 0; team < TEAM_MAXTEAMS; team++) {
        if (!HasUnits(team)) continue;
        ITERATOR it;
        Rect(&it, team, 0, u->tilepos.x, u->tilepos.y, R);
        while (UNIT* v = Iterate_UnitNextMapGrid(&it)) {
            if (v == u || RelationTo(u, v) != TR_ALLY || LeftOut(v) || !needs(v)) continue;
            TARGET t;
            Target_Setup(&t, FM_UNIT, v, nullptr, 0, 0);
            if (!Units_CanAttackTarget(u, &t)) continue;
            if (Units_CheckTargetWithWeapons(u, &t) == TARGETRANGE_OK) {
                *out = t;
                return out;
            }
            const int d = Hyps(v->tilepos.x, v->tilepos.y, u->tilepos.x, u->tilepos.y);
            if (!low && d < nearest) {
                nearest = d;
                chosen = v;
            }
        }
    }
    if (!chosen) return nullptr;
    Target_Setup(out, FM_UNIT, chosen, nullptr, 0, 0);
    return out;
}

static bool NeedsBoost(const UNIT* v) { return v->type->maxhitpoints / 3 > v->hitpoints; }

int Units_NeedsHealing(const UNIT* v)
{
    return v->hitpoints < v->type->maxhitpoints || v->boost.state != BS_OFF;
}

// A unit morphed into an overlay is passed over even under an order.
static bool NeedsHealing(const UNIT* v)
{
    return v->operation.code != UO_MORPHOVL && Units_NeedsHealing(v);
}

TARGET* Units_ChooseBoostTarget(UNIT* u, TARGET* out) { return ChooseAlly(u, out, NeedsBoost); }

TARGET* Units_ChooseHealTarget(UNIT* u, TARGET* out) { return ChooseAlly(u, out, NeedsHealing); }

static int IsResourceSource(const BUILDING* b)
{
    for (int r = 0; r < BUILD_RESOURCES; r++)
        if (b->buildingtype->resource[r].production > 0) return 1;
    return 0;
}

TARGET* Units_ChooseEnemyBuilding(UNIT* u, TARGET* out)
{
    if (Build_Count() == 0) return nullptr;
    const int R = u->type->seeingrange;
    const int low = u->tactaiinfo.tenacity == TACTAI_LOW;
    int nearest = R * 100;
    TARGET chosen;
    Target_Clear(&chosen);
    ITERATOR it;
    Iterate_BuildInitMapGrid(&it, u->team, TR_ENEMY, u->tilepos.x - R, u->tilepos.y - R,
                             u->tilepos.x + R, u->tilepos.y + R);
    while (BUILDING* b = Iterate_BuildNextMapGrid(&it)) {
        if (IsResourceSource(b)) continue;
        TARGET t;
        Target_Setup(&t, FM_BUILDING, nullptr, b, b->tilex, b->tiley);
        if (!Units_CanAttackTarget(u, &t)) continue;
        int px = b->tilex, py = b->tiley;
        Build_GetAttackPoint(b, u, &px, &py);
        t.x = px;
        t.y = py;
        if (Units_CheckTargetWithWeapons(u, &t) == TARGETRANGE_OK) {
            *out = t;
            return out;
        }
        const int d = Hyps(px, py, u->tilepos.x, u->tilepos.y);
        if (!low && d < nearest) {
            nearest = d;
            chosen = t;
        }
    }
    if (chosen.mode == FM_NONE) return nullptr;
    *out = chosen;
    return out;
}

// ------------------------------------------------------------------ the search

// Gives the attack order; 1 when the unit took it, its former order queued.
static int TakeTarget(UNIT* u, TARGET* t, int homex, int homey, int destx, int desty)
{
    const STANDINGORDERINFO was = u->sorder;
    Units_SOrderAttack(u, t, homex, homey, destx, desty);
    if (u->sorder.code != SO_ATTACK) return 0;
    if (u->snextorder.code == SO_NONE) u->snextorder = was;
    return 1;
}

int Units_AutoTarget(UNIT* u, int homex, int homey, int destx, int desty)
{
    const UNITTYPE* type = u->type;
    const int autonomy = u->tactaiinfo.autonomy;
    if (type->abilities.noautotarget && autonomy != TACTAI_HIGH) return 0;
    const int idle = u->sorder.code == SO_NONE;
    TARGET t;
    // Healers and boosters look for allies, never for enemies.
    if (type->abilities.canheal || type->abilities.canboost) {
        if (!idle && autonomy != TACTAI_HIGH) return 0;
        if (!(type->abilities.canheal && Units_ChooseHealTarget(u, &t)) &&
            !(type->abilities.canboost && Units_ChooseBoostTarget(u, &t)))
            return 0;
        if (u->snextorder.code == SO_NONE) u->snextorder = u->sorder;
        Units_SOrderAttack(u, &t, homex, homey, destx, desty);
        return 1;
    }
    const PART* second = u->basepart ? u->basepart->partup : nullptr;
    const int may = idle || autonomy == TACTAI_HIGH ||
                    (autonomy == TACTAI_MEDIUM && type->partinfo.nrparts >= 2 && second &&
                     second->state.state != PS_FIRING);
    if (!may) return 0;
    if (Units_ChooseEnemyUnit(u, &t)) return TakeTarget(u, &t, homex, homey, destx, desty);
    if (Units_ChooseEnemyBuilding(u, &t)) return TakeTarget(u, &t, homex, homey, destx, desty);
    return 0;
}

// ------------------------------------------------------------------ roaming

static int RoamLevel(const UNIT* u)
{
    return u->sorder.code == SO_AUTOMOVE ? u->sorder.automove.level : u->tactaiinfo.autonomy;
}

int Units_CountThreats(UNIT* u, int x, int y, TARGET* out)
{
    Target_Clear(out);
    // Ranges are measured from the unit's position: it stands at (x, y) for
    // the count.
    const UNIT_POS tile = u->tilepos, pixel = u->pixelpos;
    u->tilepos = {x, y};
    u->pixelpos = {x * 24, y * 24};
    const int R = u->type->seeingrange, level = RoamLevel(u);
    TARGET me;
    Target_Setup(&me, FM_UNIT, u, nullptr, 0, 0);
    int count = 0;
    // One walk over every other team's units instead of one per team: the
    // tests only read, so their order matters only for which target is
    // kept, and that is the one a walk team by team would meet last (the
    // highest team, then the last in the walk).
    int teambits = 0, outteam = -1;
    for (int team = 0; team < TEAM_MAXTEAMS; team++)
        if (team != u->team && HasUnits(team)) teambits |= 1 << team;
    Iterate_UnitForEachMapGrid(teambits, MM_ALL, x - R, y - R, x + R, y + R, [&](UNIT* v) {
        if (RelationTo(u, v) != TR_ENEMY || LeftOut(v)) return true;
        if (!Fog_IsSeen(v->tilepos.x, v->tilepos.y, u->team)) return true;
        if (Units_CanAttackTarget(v, &me) && Units_CheckTargetWithWeapons(v, &me) == TARGETRANGE_OK)
            count++;
        if (v->team < outteam) return true;
        TARGET t;
        Target_Setup(&t, FM_UNIT, v, nullptr, 0, 0);
        if (!Units_CanAttackTarget(u, &t)) return true;
        if (level != TACTAI_HIGH &&
            !(level == TACTAI_MEDIUM && Units_CheckTargetWithWeapons(u, &t) == TARGETRANGE_OK))
            return true;
        if (Hyps(v->tilepos.x, v->tilepos.y, x, y) < (R + 1) * 100) {
            *out = t;
            outteam = v->team;
        }
        return true;
    });
    u->tilepos = tile;
    u->pixelpos = pixel;
    return count;
}

static int Offset(int R) { return Rand_Next(2 * R + 1) - R; }

void Units_PickAutomoveDestination(UNIT* u)
{
    const int R = u->type->seeingrange;
    int x = u->tilepos.x, y = u->tilepos.y, retreat;
    TARGET t;
    int best = Units_CountThreats(u, x, y, &t);
    if (best > 0) {
        const int ux = x, uy = y;
        for (int k = 0; k < 3 && best > 0; k++) {
            const int tx = ux + Offset(R);
            const int ty = uy + Offset(R);
            if (!Map_IsValidTile(tx, ty) || !Units_Can_Reach_X_Y(u, tx, ty)) continue;
            const int n = Units_CountThreats(u, tx, ty, &t);
            if (n <= best) {
                best = n;
                x = tx;
                y = ty;
            }
        }
        retreat = 1;
    } else {
        x = 1 + Rand_Next(mapsizex - 1);
        y = 1 + Rand_Next(mapsizey - 1);
        for (int k = 0; k < 3 && Fog_IsExplored(x, y, u->team); k++) {
            x = 1 + Rand_Next(mapsizex - 1);
            y = 1 + Rand_Next(mapsizey - 1);
        }
        for (int k = 0; k < 3 && Fog_IsSeen(x, y, u->team); k++) {
            x = 1 + Rand_Next(mapsizex - 1);
            y = 1 + Rand_Next(mapsizey - 1);
        }
        retreat = 0;
    }
    if (u->sorder.code == SO_AUTOMOVE) u->sorder.automove.retreat = retreat;
    Units_MoveTo(u, x, y, Units_AllocGroupId());
}

// ------------------------------------------------------------------ being hit

static int Open(UNIT* u, int x, int y) { return Map_IsValidTile(x, y) && Units_Can_Reach_X_Y(u, x, y); }

void Units_Tactical_Hit_Response(UNIT* u, PROJECTILE* p)
{
    ASSERT(u && p);
    UNIT* owner = UnitId_Ptr(&p->owner);
    if (!owner || !owner->onmap || owner->hitpoints < 1) return;
    TARGET shooter;
    Target_Setup(&shooter, FM_UNIT, owner, nullptr, 0, 0);
    if (!Target_Valid(&shooter) || u->tactaiinfo.autonomy == TACTAI_LOW) return;
    const int code = u->sorder.code;
    if (code == SO_ATTACK && u->sorder.attack.target.mode == FM_UNIT) return;
    if (code != SO_ATTACK && code != SO_NONE && !(code == SO_MOVE && u->state == US_WAITFORPATH))
        return;
    if (u->snextorder.code == SO_NONE) {
        if (code == SO_NONE) {
            u->snextorder.code = SO_DUMMY;
            u->snextorder.nextscantime = (int32_t)g_UpdateCount;
        } else {
            u->snextorder = u->sorder;
        }
    }
    const int R = u->type->seeingrange;
    const int ux = u->tilepos.x, uy = u->tilepos.y;
    const int dx = owner->tilepos.x - ux, dy = owner->tilepos.y - uy;
    const int d = MAP_HYPS(abs(dx), abs(dy));
    int x = ux, y = uy;
    // Right above or below the shooter there is no direction to take: only
    // the random tries are left.
    bool found = false;
    if (d > 0) {
        int k = -R;
        if (Units_CanAttackTarget(u, &shooter)) {
            k = p->oinfo.areaeffect / 24;
            if (k < 2) k = 2;
        }
        x = ux + (int)((int64_t)dx * k * 100 / d);
        y = uy + (int)((int64_t)dy * k * 100 / d);
        found = Open(u, x, y);
    }
    for (int k = 0; k < 3 && !found; k++) {
        x = ux + Offset(R);
        y = uy + Offset(R);
        found = Open(u, x, y);
    }
    if (!found) return;
    Units_SOrderMove(u, x, y);
}
