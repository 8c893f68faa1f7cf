#include "units/unitstate.h"

#include <cstring>

#include "ai/ai.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/overlay.h"
#include "platform/sortdisp.h"
#include "rules/gamemsg.h"
#include "ui/igievnt.h"
#include "units/building.h"
#include "units/explosion.h"
#include "units/parts.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/unitsorder.h"
#include "units/weapon.h"

int64_t UNITS_totalhitpoints;

static int Percent(int hp, int max) { return max > 0 ? (int)((int64_t)hp * 100 / max) : 0; }

// ------------------------------------------------------------------ hit points and ammunition

void Units_UpdateHealthEffects(UNIT* u, int oldpercent, int newpercent)
{
    for (PART* p = u->basepart; p; p = p->partup) Parts_UpdateHealthEffects(p, oldpercent, newpercent);
}

void Units_SetHitpoints(UNIT* u, int hitpoints)
{
    ASSERT(u);
    if (u->hitpoints == 0 || BuildId_Valid(&u->partof)) return;
    const int max = u->type->maxhitpoints;
    int h = hitpoints < 0 ? 0 : hitpoints > max ? max : hitpoints;
    if (h >= max && u->team == g_LocalTeam)
        GameMsg_TriggerStd(GameMsg_Std(u->type->abilities.ishuman ? MSG_UNITHEALED : MSG_UNITREPAIRED));
    UNITS_totalhitpoints += h - u->hitpoints;
    Units_UpdateHealthEffects(u, Percent(u->hitpoints, max), Percent(h, max));
    u->hitpoints = h;
}

void Units_AddAmmo(UNIT* u, int percent)
{
    for (PART* p = u->basepart; p; p = p->partup) Parts_AddAmmoPercent(p, percent);
}

int Units_AmmoLeft(const UNIT* u)
{
    int sum = 0;
    for (const PART* p = u->basepart; p; p = p->partup) sum += Parts_AmmoLeft(p);
    return sum;
}

int Units_AmmoMax(const UNIT* u)
{
    int sum = 0;
    for (const PART* p = u->basepart; p; p = p->partup) sum += Parts_MaxAmmo(p);
    return sum;
}

// ------------------------------------------------------------------ team

void Units_GiveUnitToOtherTeam(UNIT* u, int team) { Units_GiveUnitToOtherTeam_Long(u, team, 1); }

// The team list move keeps the unit and prerequisite counts: they are not
// counted again here.
void Units_GiveUnitToOtherTeam_Long(UNIT* u, int newteam, int flag)
{
    ASSERT(u);
    ASSERT(newteam>=0 && newteam<TEAM_MAXTEAMS);
    if (u->movemode == MM_FIXED) return;
    // Giving a disguised unit to its own team drops the disguise too.
    Units_ClearMorphState(u);
    const int team = newteam;
    if (team == u->team) return;
    // The old team's computer player sees the unit leave first.
    AI_UnitRemove(u);
    const int wason = u->onmap;
    if (wason) Units_RemoveFromMap(u);
    Units_MoveToTeamList(u, team);
    for (PART* p = u->basepart; p; p = p->partup) Parts_SetTeamRemap(p, team);
    if (flag) Units_SOrderStop(u);
    if (wason) Units_AddToMap(u);
    Units_UpdateRenderType(u);
    // Without the flag the unit is a script's (a special force handed over):
    // its computer player gets it when the script releases it.
    if (flag) AI_UnitAdd(u);
}

// ------------------------------------------------------------------ type

UNIT* Units_ChangeUnitType(UNIT* u, UNITTYPE* newtype, int keepid)
{
    ASSERT(u);
    ASSERT(newtype);
    const int onmap = u->onmap, x = u->tilepos.x, y = u->tilepos.y;
    if (onmap && newtype->defmaplevel != u->maplevel && newtype->defmaplevel >= 0 &&
        newtype->defmaplevel < ML_LEVELS && Units_UnitAtMapLevel(newtype->defmaplevel, x, y)) {
        TLOG(TLOG_WARNING, "Tile already claimed!");
        return nullptr;
    }
    const int oldmax = u->type->maxhitpoints;
    const int64_t r = oldmax > 0 ? (int64_t)u->hitpoints * 256 / oldmax : 0;
    const UNIT_TACTAI tact = u->tactaiinfo, user = u->usertactaiinfo;
    const int team = u->team, id = u->id;
    // What it carries stays with it: the remade unit takes the hold and the
    // package over instead of the deletion taking them away.
    UNITLIST hold = u->hold;
    BUILDINGPACKAGE* package = u->building_package;
    Units_ListInit(&u->hold);
    u->building_package = nullptr;
    Units_DeleteKeepPtr(u);
    UNIT* n = onmap ? Units_NewAtKeepPtr(u, newtype, team, keepid ? id : -1, x, y)
                    : Units_NewKeepPtr(u, newtype, team, keepid ? id : -1);
    if (!n) {
        Units_ListClose(&hold); // lost with the unit; the passengers stay off the map
        delete package;
        return nullptr;
    }
    n->hold = hold;
    n->building_package = package;
    const int h = (int)(((int64_t)newtype->maxhitpoints * r + 128) / 256);
    UNITS_totalhitpoints += h - n->hitpoints;
    n->hitpoints = h;
    n->tactaiinfo = tact;
    n->usertactaiinfo = user;
    // The player's selection and groups follow the unit into its new form.
    Igievnt_ReplaceUnit(id, n);
    // Back to its computer player, unless a script still holds it.
    if (!AI_InUnreleasedForce(n)) AI_UnitAdd(n);
    return n;
}

static void PlayAll(UNIT* u, int anim, int mode)
{
    for (PART* p = u->basepart; p; p = p->partup) Parts_PlayAnimation(p, anim, PARTS_SPEED_ONE, mode);
    u->isanimating = 1;
}

void Units_AddExperience(UNIT* u, int amount)
{
    ASSERT(u);
    u->experience += amount;
    const UNITTYPE* t = u->type;
    if (!t->abilities.canveteran || !t->veteraninfo.type ||
        (int64_t)t->veteraninfo.n > (int64_t)u->experience)
        return;
    const int anim = t->veteraninfo.m;
    // The re-made unit keeps only what a type change keeps: its experience
    // starts again from 0.
    if (!Units_ChangeUnitType(u, t->veteraninfo.type, 1)) return;
    for (PART* p = u->basepart; p; p = p->partup) Parts_ResetAnimation(p);
    PlayAll(u, anim, PAM_ONCE);
    if (u->team == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(MSG_SFXVETACHIEVED));
}

void Units_Boost(UNIT* u, const WEAPONTYPE* w)
{
    ASSERT(u && w);
    if (u->boost.state != BS_OFF) {
        TLOG(TLOG_WARNING | TLOG_SAVE, "Unit is already boosted? (%d)", u->boost.state);
        return;
    }
    u->boost.state = BS_ON;
    u->boost.counter = w->boost.time;
    u->boost.fadespeed = w->boost.fadespeed;
    u->boost.floor = w->boost.deadly ? 0 : u->hitpoints;
    Units_SetHitpoints(u, w->boost.hitpoints);
    Units_AddExperience(u, 1);
}

UNIT* Units_DoAlternateState(UNIT* u)
{
    ASSERT(u);
    UNIT* n = nullptr;
    if (UNITTYPE* back = u->alternate_utype) {
        n = Units_ChangeUnitType(u, back, 1);
    } else if (u->type->abilities.canalternate && u->type->alternateinfo.type) {
        UNITTYPE* old = u->type;
        n = Units_ChangeUnitType(u, old->alternateinfo.type, 1);
        if (n) n->alternate_utype = old;
    } else {
        return u;
    }
    if (!n) return u;
    PlayAll(n, n->type->alternateinfo.n, PAM_ONCE);
    return n;
}

UNIT* Units_InitiateSpecialFunction(UNIT* u)
{
    if (!Units_AbleToPhase(u)) return Units_DoAlternateState(u);
    Units_SOrderPhase(u);
    return u;
}

void Units_ToggleBlend(UNIT* u)
{
    if (!u->type->abilities.canblend) return;
    u->isblended = !u->isblended;
    Units_UpdateRenderType(u);
}

void Units_SelfDestruct(UNIT* u)
{
    ASSERT(u);
    ASSERT(u->type);
    if (!u->type->abilities.canselfdestruct) return;
    for (PART* p = u->basepart; p; p = p->partup)
        if (Parts_SelfDestruct(p)) return;
}

// ------------------------------------------------------------------ disguises

static int MorphableOperation(const UNIT* u)
{
    return u->operation.code == UO_NONE || u->operation.code == UO_MORPHUNIT ||
           u->operation.code == UO_MORPHOVL;
}

int Units_CanMorphUnit(const UNIT* u, const UNITTYPE* into)
{
    return MorphableOperation(u) && u->type->abilities.canmorphunit &&
           into->abilities.canbemorphedinto && u->type->partinfo.nrparts == into->partinfo.nrparts;
}

int Units_CanMorphOverlay(const UNIT* u, const OVERLAYTYPE* into)
{
    return MorphableOperation(u) && u->type->abilities.canmorphovl && into->canbemorphedinto;
}

void Units_MorphTo(UNIT* u, UNITTYPE* utypeinto, int teaminto)
{
    ASSERT(u);
    ASSERT(utypeinto);
    ASSERT(teaminto >= 0 && teaminto < TEAM_MAXTEAMS);
    ASSERT(u->type->partinfo.nrparts == utypeinto->partinfo.nrparts);
    // Whoever sees the unit as it changes is not fooled.
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        bool fooled = t != u->team && !Team_AgreedRelation(t, u->team, TR_ALLY) && !u->seen[t];
        u->apparentteam[t] = (uint8_t)(fooled ? teaminto : u->team);
    }
    int i = 0;
    for (PART* p = u->basepart; p; p = p->partup, i++) {
        Parts_SetTeamRemap(p, teaminto);
        const PARTTYPE* pt = utypeinto->partinfo.parttype[i];
        PART_ANIMSET set{pt->sprite, pt->defaultanim, pt->overrideanim, pt->fireanim};
        Parts_SetAnimationSet(p, &set);
    }
    Units_UpdateDisplayPos(u);
    u->operation.code = UO_MORPHUNIT;
}

void Units_MorphToOverlay(UNIT* u, OVERLAYTYPE* otypeinto)
{
    ASSERT(u);
    ASSERT(otypeinto);
    if (u->basepart) {
        PART_ANIMSET set{otypeinto->sprite, -1, -1, -1};
        Parts_SetAnimationSet(u->basepart, &set);
        for (PART* p = u->basepart->partup; p; p = p->partup) Parts_Hide(p);
    }
    u->operation.code = UO_MORPHOVL;
}

void Units_ClearMorphState(UNIT* u)
{
    ASSERT(u);
    if (u->operation.code != UO_MORPHUNIT && u->operation.code != UO_MORPHOVL) return;
    memset(u->apparentteam, u->team, sizeof u->apparentteam);
    for (PART* p = u->basepart; p; p = p->partup) {
        Parts_SetTeamRemap(p, u->team);
        Parts_UseTypeAnimationSet(p);
    }
    if (u->basepart) Parts_Show(u->basepart);
    Units_UpdateDisplayPos(u);
    u->operation.code = UO_NONE;
}

// ------------------------------------------------------------------ drawing

int Units_RenderType(const UNIT* u)
{
    const bool allied = Team_AgreedRelation(u->team, g_LocalTeam, TR_ALLY) != 0;
    if (!u->onmap) return UR_HIDDEN;
    if (u->isphased) return allied ? UR_TRANSLUCENT_A0 : UR_HIDDEN;
    if (u->type->decoy == DM_ISDECOY && allied) return UR_TRANSLUCENT_B1;
    if (u->movemode == MM_TUNNEL) return allied ? UR_TRANSLUCENT_B1 : UR_HIDDEN;
    if (u->type->abilities.canblend && u->isblended)
        return allied || u->state == US_MOVING || u->state == US_WAITFOROBSTACLE ? UR_TRANSLUCENT_A0
                                                                                 : UR_TRANSLUCENT_B0;
    return UR_OPAQUE;
}

void Units_UpdateRenderType(UNIT* u)
{
    const int mode = Units_RenderType(u);
    for (PART* p = u->basepart; p; p = p->partup) Parts_SetRenderMode(p, mode);
}

void Units_UpdateDisplayLayer(UNIT* u)
{
    int layer;
    switch (u->movemode) {
    case MM_FLY: layer = 5; break;
    case MM_HOVER: case MM_GROUND: layer = 2; break;
    case MM_FIXED: layer = 4; break;
    case MM_TUNNEL: layer = 0; break;
    default:
        TLOG(TLOG_ERROR, "Unknown move mode [%d]", u->movemode);
        layer = 0;
        break;
    }
    Parts_SetLayer(u, layer);
}

void Units_Set_Seen(UNIT* u, int team, int value)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    u->seen[team] = (uint8_t)value;
    if (value) u->ever_seen[team] = 1;
}

// The editor calls these while it keeps the parts' modes: they write the
// displays directly.
void Units_Hilite(UNIT* u)
{
    for (PART* p = u->basepart; p; p = p->partup) {
        SortDisp_SetRemap(p->display, 16);
        SortDisp_SetRenderMode(p->display, UR_HILITE);
    }
}

void Units_Dim(UNIT* u)
{
    for (PART* p = u->basepart; p; p = p->partup) SortDisp_SetRenderMode(p->display, UR_TRANSLUCENT_A0);
}

void Units_UnHilite(UNIT* u)
{
    for (PART* p = u->basepart; p; p = p->partup) {
        SortDisp_SetRemap(p->display, teamdata[u->team].colour);
        SortDisp_SetRenderMode(p->display, UR_OPAQUE);
    }
}

// ------------------------------------------------------------------ behaviour and animation

void Units_SetUserTenacity(UNIT* u, int level)
{
    u->tactaiinfo.tenacity = u->usertactaiinfo.tenacity = level;
    if (u->sorder.code == SO_ATTACK) u->sorder.attack.homepos = u->tilepos;
}

void Units_SetUserAutonomy(UNIT* u, int level)
{
    u->tactaiinfo.autonomy = u->usertactaiinfo.autonomy = level;
}

void Units_SetUserSelfPreservation(UNIT* u, int level)
{
    u->tactaiinfo.selfpreservation = u->usertactaiinfo.selfpreservation = level;
}

void Units_PlayPartsAnimation(UNIT* u, int anim, int mode)
{
    ASSERT(u);
    PlayAll(u, anim, mode);
}

int Units_AnimationDone(UNIT* u)
{
    for (const PART* p = u->basepart; p; p = p->partup)
        if (Parts_AnimationState(p) == 0) return 0;
    u->isanimating = 0;
    return 1;
}

void Units_PlayExplosion(UNIT* u, EXPLTYPE* type)
{
    if (!type || !u->basepart) return;
    PART* b = u->basepart;
    int x, y;
    Parts_GetPixelPosition(b, &x, &y);
    EXPLID id;
    Expl_MakeExplosion(&id, type, nullptr, Parts_GetRemap(b), Parts_GetFrame(b), (b->angle >> 16) & 255,
                       x, y, b->dinfo.sprite);
}

int Units_PlaceOnMapCritical(UNIT* u, int x, int y)
{
    if (u->onmap) {
        TLOG(TLOG_WARNING, "%d already on map", u->id);
        return 0;
    }
    int fx, fy;
    if (!Units_ClosestLocation(u, x, y, &fx, &fy, 5)) {
        Units_Delete(u);
        return 0;
    }
    Units_SetUnitPosition(u, fx, fy);
    Units_AddToMap(u);
    return 1;
}
