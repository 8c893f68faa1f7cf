#include "units/parts.h"

#include <cstring>
#include <vector>

#include "core/debug.h"
#include "core/tlog.h"
#include "platform/sprite.h"
#include "core/angle.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "platform/sortdisp.h"
#include "units/building.h"
#include "units/hlthexpl.h"
#include "units/projectile.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/weapon.h"

PARTTYPE g_PartTypes[PARTS_MAXTYPES];
int g_NrPartTypes;

PARTTYPE* Parts_NewType(void)
{
    if (g_NrPartTypes >= PARTS_MAXTYPES) {
        TLOG(TLOG_DIAG, "Max number of part types exceeded");
        return nullptr;
    }
    PARTTYPE* t = &g_PartTypes[g_NrPartTypes++];
    memset(t, 0, sizeof *t);
    t->defaultanim = 0;
    t->overrideanim = -1;
    t->fireanim = 1;
    for (PARTWEAPON& w : t->weapons) w = {nullptr, 1, 0};
    t->rotationspeed = PARTS_FULLTURN;
    t->halfrotationangle = PARTS_FULLTURN / 2;
    return t;
}

int Parts_SetupType(const PARTTYPE* type)
{
    ASSERT(type);
    if (!type->spritename[0]) {
        TLOG(TLOG_ERROR, "Sprite filename not defined");
        return 0;
    }
    if (!type->sprite) {
        TLOG(TLOG_ERROR, "Sprite handle is NULL");
        return 0;
    }
    if (type->nrweapons < 0 || type->nrweapons > PARTS_MAXWEAPONS) {
        TLOG(TLOG_ERROR, "Invalid number of weapons %d", type->nrweapons);
        return 0;
    }
    for (int i = 0; i < type->nrweapons; i++) {
        if (!type->weapons[i].type) {
            TLOG(TLOG_ERROR, "Weapon type for weapon %d is NULL", i);
            return 0;
        }
        if (type->weapons[i].fireframe < 0) {
            TLOG(TLOG_ERROR, "Bad fire frame %d for weapon %d", type->weapons[i].fireframe, i);
            return 0;
        }
    }
    if (type->halfrotationangle < 0) {
        TLOG(TLOG_ERROR, "Bad half rotation angle %d", type->halfrotationangle);
        return 0;
    }
    if (type->scandelay < 0) {
        TLOG(TLOG_ERROR, "Bad scan delay %d", type->scandelay);
        return 0;
    }
    return 1;
}

// Only the used slots count; a broken count is read as none.
template <class F> static int AnyWeapon(const PARTTYPE* type, F test)
{
    ASSERT(type);
    int n = type->nrweapons < 0 ? 0 : type->nrweapons > PARTS_MAXWEAPONS ? PARTS_MAXWEAPONS
                                                                         : type->nrweapons;
    for (int i = 0; i < n; i++)
        if (type->weapons[i].type && test(type->weapons[i].type)) return 1;
    return 0;
}

int Parts_TypeHasSelfDestruct(const PARTTYPE* type)
{
    return AnyWeapon(type, [](const WEAPONTYPE* w) { return w->selfdestruct.isselfdestruct != 0; });
}

int Parts_TypeHasRepairWeapon(const PARTTYPE* type)
{
    return AnyWeapon(type, [](const WEAPONTYPE* w) {
        return w->directhitpointdamage < 0 || w->oinfo.hitpoints < 0;
    });
}

int Parts_TypeCanShootIndirect(const PARTTYPE* type)
{
    return AnyWeapon(type, [](const WEAPONTYPE* w) { return w->CanShootIndirect != 0; });
}

void Parts_ReloadTypeSprites(void)
{
    for (int i = 0; i < g_NrPartTypes; i++)
        if (g_PartTypes[i].sprite) Textfile_ReloadSprite(g_PartTypes[i].sprite);
}

void Parts_FreeTypes(void)
{
    for (int i = 0; i < g_NrPartTypes; i++) {
        PARTTYPE* t = &g_PartTypes[i];
        Sprite_Free(t->sprite);
        t->sprite = nullptr;
        Hlthexpl_Free(&t->healthexpl);
    }
    g_NrPartTypes = 0;
}


// ------------------------------------------------------------------ instances

enum : int32_t { MASK = PARTS_FULLTURN - 1, HALF = PARTS_FULLTURN / 2 };

static PART* s_free;
static std::vector<PART*> s_blocks; // every record made, for the close
static int s_inuse;

static int32_t Wrap(int64_t a) { return (int32_t)(a & MASK); }
static int32_t FacingAngle(int facing) { return Wrap((int64_t)facing << 16); }
static int UsedSlots(const PARTTYPE* t)
{
    return t->nrweapons < 0 ? 0 : t->nrweapons > PARTS_MAXWEAPONS ? PARTS_MAXWEAPONS : t->nrweapons;
}

int Parts_InUse(void) { return s_inuse; }

int32_t Parts_ClampRelative(int32_t r, int32_t limit)
{
    int32_t l = Wrap(limit);
    if (r < HALF) return r < l ? r : l;
    int64_t lo = (int64_t)PARTS_FULLTURN - l; // a limit of 0 pins the part at 0
    return Wrap(r > lo ? r : lo);
}

static void SetDirection(PART* p)
{
    if (p->display) SortDisp_SetDirection(p->display, (p->angle >> 16) & 255);
}

// ---- display

SPRITE* Parts_GetSprite(const PART* part)
{
    ASSERT(part);
    return part->dinfo.sprite;
}

int Parts_GetFrame(const PART* part)
{
    ASSERT(part);
    int f = part->anim.frame >> 16;
    int n = part->dinfo.sprite ? Sprite_NrFrames(part->dinfo.sprite) : 1;
    return f < 0 ? 0 : f >= n ? (n > 0 ? n - 1 : 0) : f;
}

int Parts_GetDirection(const PART* part)
{
    ASSERT(part);
    int n = part->dinfo.sprite ? Sprite_NrRotations(part->dinfo.sprite) : 0;
    if (n < 1) return 0;
    int d = (n * ((part->angle >> 16) & 255) + 128) / 256;
    return d == n ? 0 : d;
}

void Parts_GetPixelPosition(const PART* part, int* x, int* y)
{
    ASSERT(part && part->unit);
    *x = part->unit->pixelpos.x;
    *y = part->unit->pixelpos.y;
    const PART* base = part;
    while (base->partdown) base = base->partdown;
    for (const PART* q = base; q && q != part; q = q->partup) {
        int f = Parts_GetFrame(q), r = Parts_GetDirection(q), x0, y0, x1, y1;
        Sprite_GetHotspotXY(q->dinfo.sprite, 0, f, r, &x0, &y0);
        Sprite_GetHotspotXY(q->dinfo.sprite, 1, f, r, &x1, &y1);
        *x += x1 - x0;
        *y += y1 - y0;
    }
}

void Parts_Show(PART* part)
{
    if (part->display) SortDisp_ShowChain(part->display);
}
void Parts_Hide(PART* part)
{
    if (part->display) SortDisp_HideChain(part->display);
}

void Parts_SetTeamRemap(PART* part, int team)
{
    ASSERT(part && team >= 0 && team < TEAM_MAXTEAMS);
    if (part->display) SortDisp_SetRemap(part->display, teamdata[team].colour);
}

int Parts_GetRemap(const PART* part)
{
    return part->display ? SortDisp_GetRemap(part->display) : SORTDISP_REMAP_NONE;
}

void Parts_SetRenderMode(PART* part, int mode)
{
    ASSERT(part);
    if (g_EditorPartsKeepMode || !part->display) return;
    SortDisp_SetRenderMode(part->display, mode);
}

void Parts_SetLayer(UNIT* unit, int layer)
{
    ASSERT(unit);
    for (PART* p = unit->basepart; p; p = p->partup)
        if (p->display) SortDisp_SetLayer(p->display, layer);
}

void Parts_UpdatePosition(PART* part)
{
    if (!part->display) return;
    int x, y;
    Parts_GetPixelPosition(part, &x, &y);
    SortDisp_SetPosition(part->display, x, y);
}

void Parts_UpdateDisplay(PART* part)
{
    ASSERT(part);
    if (!part->display) return;
    SortDisp_SetSprite(part->display, part->dinfo.sprite);
    SortDisp_SetFrame(part->display, Parts_GetFrame(part));
    SetDirection(part);
    Parts_UpdatePosition(part);
}

// ---- animation

void Parts_PlayAnimation(PART* part, int anim, int32_t speed, int mode)
{
    ASSERT(part);
    SPRITE_SECTION sec = Sprite_GetSectionInfo(part->dinfo.sprite, anim);
    if (mode == PAM_STILL || mode == PAM_ONCE) part->anim.frame = sec.first << 16;
    else if (mode == PAM_LOOP && anim != part->anim.anim) part->anim.frame = sec.first << 16;
    else if (mode == PAM_BACKWARD) part->anim.frame = sec.last << 16;
    part->anim.anim = anim;
    part->anim.mode = mode;
    part->anim.speed = (sec.speed >> 8) * (speed >> 8);
}

void Parts_ResetAnimation(PART* part)
{
    if (part->dinfo.overrideanim != -1)
        Parts_PlayAnimation(part, part->dinfo.overrideanim, PARTS_SPEED_ONE, PAM_LOOP);
    else
        Parts_PlayAnimation(part, part->dinfo.defaultanim, PARTS_SPEED_ONE, PAM_STILL);
}

int Parts_AnimationState(const PART* part)
{
    if (part->anim.mode == PAM_LOOP) return 2;
    if (part->anim.mode == PAM_STILL) return 1;
    return part->anim.anim == part->dinfo.overrideanim ? 1 : 0;
}

void Parts_UpdateAnimation(PART* part)
{
    SPRITE_SECTION sec = Sprite_GetSectionInfo(part->dinfo.sprite, part->anim.anim);
    const int64_t first = (int64_t)sec.first << 16, end = ((int64_t)sec.last + 1) << 16;
    int64_t f = part->anim.frame;
    switch (part->anim.mode) {
    case PAM_LOOP:
        f += part->anim.speed;
        if (f >= end) {
            f += first - end;
            if (f >= end) f = first;
        }
        part->anim.frame = (int32_t)f;
        break;
    case PAM_ONCE:
        f += part->anim.speed;
        part->anim.frame = (int32_t)f;
        if (f >= end) Parts_ResetAnimation(part);
        break;
    case PAM_BACKWARD:
        f -= part->anim.speed;
        part->anim.frame = (int32_t)f;
        if (f < first) Parts_ResetAnimation(part);
        break;
    default: break;
    }
}

static void InstallSet(PART* part, const PART_ANIMSET* set, int typeflag)
{
    part->dinfo = *set;
    part->typefireanim = (uint8_t)typeflag;
    Parts_ResetAnimation(part);
    Parts_UpdateDisplay(part);
}

void Parts_SetAnimationSet(PART* part, const PART_ANIMSET* set) { InstallSet(part, set, 0); }

static PART_ANIMSET TypeSet(const PARTTYPE* t)
{
    return {t->sprite, t->defaultanim, t->overrideanim, t->fireanim};
}

void Parts_UseTypeAnimationSet(PART* part)
{
    PART_ANIMSET set = TypeSet(part->type);
    InstallSet(part, &set, 1);
}

// ---- life

static void EndAttachedEffect(PART* part);

PART* Parts_New(PARTTYPE* type, UNIT* unit, PART* partdown, int facing, int team)
{
    ASSERT(type && type->sprite && unit);
    PART* p = s_free;
    if (p) {
        s_free = p->partup;
    } else {
        p = (PART*)Debug_MallocFor(sizeof(PART), "part");
        s_blocks.push_back(p);
    }
    *p = PART{};
    s_inuse++;
    p->type = type;
    p->id = Uid_Next();
    p->dinfo = TypeSet(type);
    p->typefireanim = 1;
    p->anim.anim = -1;
    Parts_ResetAnimation(p);
    p->angle = FacingAngle(facing);
    p->relangle = partdown ? Wrap((int64_t)p->angle - partdown->angle) : 0;
    p->unit = unit;
    p->partdown = partdown;
    if (partdown) {
        partdown->partup = p;
        p->relangle = Parts_ClampRelative(p->relangle, type->halfrotationangle);
        p->angle = Wrap((int64_t)partdown->angle + p->relangle);
    }
    p->display = SortDisp_NewElement(type->sprite, partdown ? partdown->display : nullptr,
                                     teamdata[team].colour, Parts_GetFrame(p), (p->angle >> 16) & 255,
                                     unit->pixelpos.x, unit->pixelpos.y, Units_GetDisplayLayer(unit), 0);
    for (int i = 0; i < UsedSlots(type); i++) {
        int maxammo = type->weapons[i].type ? type->weapons[i].type->maxammo : 1;
        p->weapon[i].ammo = maxammo < 1 ? 1 : maxammo;
        p->weapon[i].nextfire = g_UpdateCount;
    }
    p->lasthealth = 100;
    p->healthexpl = {nullptr, -1};
    p->anglechanged = g_UpdateCount;
    return p;
}

void Parts_Delete(PART* part)
{
    ASSERT(part && part->id != -1);
    // An attached effect would go on following a freed record.
    EndAttachedEffect(part);
    // The chain goes from here up: parts still above lose their displays
    // with it rather than keep pointers to freed elements.
    SortDisp_DeleteChain(part->display);
    for (PART* q = part; q; q = q->partup) q->display = nullptr;
    if (part->partdown && part->partdown->partup == part) part->partdown->partup = nullptr;
    if (part->partup) part->partup->partdown = nullptr;
    part->id = -1;
    part->partdown = nullptr;
    part->partup = s_free;
    s_free = part;
    s_inuse--;
}

// ---- turning

void Parts_ApplyRotation(PART* part, int32_t delta)
{
    delta = Wrap(delta);
    if (delta == 0) return;
    for (PART* p = part; p; p = p->partup) {
        int32_t old = p->angle;
        int32_t a = Wrap((int64_t)old + delta);
        if (p->partdown) {
            p->relangle = Parts_ClampRelative(Wrap((int64_t)a - p->partdown->angle),
                                              p->type->halfrotationangle);
            a = Wrap((int64_t)p->partdown->angle + p->relangle);
        }
        delta = Wrap((int64_t)a - old);
        if (a != old) p->anglechanged = g_UpdateCount;
        p->angle = a;
        SetDirection(p);
    }
}

static int Busy(const PART* p) { return p->state.state != PS_IDLE || p->next.state != PS_IDLE; }

// Whether one step of its own speed would still change q's relative angle.
static int WouldTurn(const PART* q, int dir)
{
    if (!q->partdown) return 1;
    int32_t a = Wrap((int64_t)q->angle + (int64_t)dir * q->type->rotationspeed);
    int32_t rel = Parts_ClampRelative(Wrap((int64_t)a - q->partdown->angle), q->type->halfrotationangle);
    return rel != q->relangle;
}

void Parts_RotateStep(PART* part, int32_t target)
{
    const int32_t c = part->angle, t = Wrap(target);
    const int64_t s = part->type->rotationspeed;
    int32_t d = Wrap((int64_t)t - c), n;
    int dir;
    // A speed of a whole turn or more reaches any angle in one step.
    if (d < HALF) {
        dir = 1;
        n = s >= d ? t : Wrap(c + s);
    } else {
        dir = -1;
        n = s >= PARTS_FULLTURN - d ? t : Wrap(c - s);
    }
    PART* below = part->partdown;
    if (!below) {
        Parts_ApplyRotation(part, Wrap((int64_t)n - c));
        return;
    }
    int32_t r = Wrap((int64_t)n - below->angle), l = Wrap(part->type->halfrotationangle);
    int beyond = dir > 0 ? (r < HALF && r > l) : (r >= HALF && r < PARTS_FULLTURN - l);
    if (beyond) {
        for (PART* q = below; q; q = q->partdown) {
            if (Busy(q)) continue;
            if (!q->partdown || WouldTurn(q, dir)) {
                Parts_ApplyRotation(q, Wrap((int64_t)dir * q->type->rotationspeed));
                break;
            }
        }
    }
    int32_t dd = Wrap((int64_t)below->angle + r);
    int32_t left = Wrap((int64_t)t - dd);
    int short_of = dir > 0 ? left < HALF : left >= HALF;
    Parts_ApplyRotation(part, Wrap((int64_t)(short_of ? dd : t) - c));
}

// ---- orders

static void TakeNext(PART* p)
{
    p->state = p->next;
    p->next = PART_STATEREC{};
    p->scancount = 0;
}

static PART_STATEREC Turning(int state, int facing)
{
    PART_STATEREC r{};
    r.state = state;
    r.angle = FacingAngle(facing);
    r.counter = -1;
    return r;
}

static void Unhandled(void) { TLOG(TLOG_ERROR, "Unhandled case"); }

void Parts_RotateTo(PART* part, int facing)
{
    switch (part->state.state) {
    case PS_IDLE: case PS_ROTATE: case PS_HOLDANGLE: case PS_STOP:
        part->state = Turning(PS_ROTATE, facing);
        part->next = PART_STATEREC{};
        if (part->angle == part->state.angle) TakeNext(part);
        break;
    case PS_FIRING: part->next = Turning(PS_ROTATE, facing); break;
    default: Unhandled(); break;
    }
}

void Parts_SetRotateState(PART* part, int facing)
{
    switch (part->state.state) {
    case PS_IDLE: case PS_ROTATE: case PS_HOLDANGLE: case PS_STOP:
        part->state = Turning(PS_HOLDANGLE, facing);
        part->next = PART_STATEREC{};
        break;
    case PS_FIRING: part->next = Turning(PS_HOLDANGLE, facing); break;
    default: Unhandled(); break;
    }
}

static void SetFiring(PART* part, PART_STATEREC* rec, const TARGET* target, int once)
{
    if (target->mode < FM_GROUND || target->mode > FM_BUILDING) {
        TLOG(TLOG_ERROR, "Bad fire mode requested [%d]", target->mode);
        return;
    }
    TARGET t = *target;
    if (part->type->nrweapons <= 0 || !Target_Valid(&t)) return;
    for (int i = 0; i < UsedSlots(part->type); i++) {
        if (!Weapon_CanShoot(part->type->weapons[i].type, &t)) continue;
        *rec = PART_STATEREC{};
        rec->state = PS_FIRING;
        rec->target = t;
        rec->weapon = i;
        rec->once = once;
        rec->counter = -1;
        return;
    }
}

static void Fire(PART* part, const TARGET* target, int once)
{
    ASSERT(part && target);
    switch (part->state.state) {
    case PS_IDLE: case PS_STOP:
        SetFiring(part, &part->state, target, once);
        part->next = PART_STATEREC{};
        break;
    case PS_ROTATE: case PS_FIRING: case PS_HOLDANGLE:
        SetFiring(part, &part->next, target, once);
        break;
    default: Unhandled(); break;
    }
}

void Parts_Fire(PART* part, const TARGET* target) { Fire(part, target, 0); }
void Parts_FireOnce(PART* part, const TARGET* target) { Fire(part, target, 1); }

void Parts_StopFiring(PART* part)
{
    switch (part->state.state) {
    case PS_ROTATE: case PS_FIRING: case PS_HOLDANGLE:
        part->next = PART_STATEREC{};
        part->next.state = PS_STOP;
        break;
    case PS_IDLE: case PS_STOP: break;
    default: Unhandled(); break;
    }
}

void Parts_SetAngle(PART* part, int facing)
{
    Parts_ApplyRotation(part, Wrap((int64_t)FacingAngle(facing) - part->angle));
    if (part->state.state == PS_ROTATE || part->state.state == PS_HOLDANGLE)
        part->state.angle = part->angle;
}

int Parts_IsIdle(const PART* part) { return !Busy(part); }

int Parts_RotationDone(const PART* part)
{
    return part->state.state == PS_HOLDANGLE && part->angle == part->state.angle;
}

// ---- weapons

int Parts_CanShootTarget(const PART* part, TARGET* target)
{
    for (int i = 0; i < UsedSlots(part->type); i++)
        if (Weapon_CanShoot(part->type->weapons[i].type, target)) return 1;
    return 0;
}

// The first slot with ammunition that can shoot the target, -1 if none.
static int LoadedSlot(const PART* part, TARGET* target)
{
    for (int i = 0; i < UsedSlots(part->type); i++)
        if (part->weapon[i].ammo > 0 && Weapon_CanShoot(part->type->weapons[i].type, target))
            return i;
    return -1;
}

int Parts_TargetStatus(PART* part, TARGET* target)
{
    if (!Target_Valid(target)) return TARGETRANGE_INVALIDTARGET;
    return Parts_TargetStatusValid(part, target);
}

int Parts_TargetStatusValid(PART* part, TARGET* target)
{
    if (UsedSlots(part->type) == 0) return TARGETRANGE_NOAVAILABLEWEAPON;
    int w = LoadedSlot(part, target);
    if (w < 0) return TARGETRANGE_NOAVAILABLEWEAPON;
    return Weapon_TargetInRange(part->unit, part->type->weapons[w].type, target);
}

int Parts_GetWeaponTileRange(const PART* part, TARGET* target)
{
    if (!Target_Valid(target)) return -1;
    int w = LoadedSlot(part, target);
    return w < 0 ? -1 : part->type->weapons[w].type->tilerange;
}

void Parts_AddAmmoPercent(PART* part, int percent)
{
    for (int i = 0; i < UsedSlots(part->type); i++) {
        int maxammo = part->type->weapons[i].type->maxammo;
        // Never runs out, or no limit set: clamping would silence it for good.
        if (maxammo <= 0) continue;
        int64_t a = part->weapon[i].ammo + (int64_t)percent * maxammo / 100;
        part->weapon[i].ammo = (int)(a < 0 ? 0 : a > maxammo ? maxammo : a);
    }
}

int Parts_MaxAmmo(const PART* part)
{
    int sum = 0;
    for (int i = 0; i < UsedSlots(part->type); i++) sum += part->type->weapons[i].type->maxammo;
    return sum;
}

int Parts_AmmoLeft(const PART* part)
{
    int sum = 0;
    for (int i = 0; i < UsedSlots(part->type); i++) sum += part->weapon[i].ammo;
    return sum;
}

int Parts_SelfDestruct(PART* part)
{
    for (int i = 0; i < UsedSlots(part->type); i++) {
        WEAPONTYPE* w = part->type->weapons[i].type;
        if (!w->selfdestruct.isselfdestruct) continue;
        TARGET t;
        Target_Setup(&t, FM_UNIT, part->unit, nullptr, 0, 0);
        PROJECTILEID id;
        Weapon_MakeProjectile(&id, w, &t, part);
        return 1;
    }
    return 0;
}

// ---- health

static void EndAttachedEffect(PART* part)
{
    if (Expl_ValidExpl(&part->healthexpl) && part->healthexpl.expl->isattached)
        Expl_TerminateExpl(&part->healthexpl);
}

void Parts_UpdateHealthEffects(PART* part, int oldpercent, int newpercent)
{
    ASSERT(part);
    if (part->lasthealth < newpercent) EndAttachedEffect(part);
    for (HEALTHEXPL* e = Hlthexpl_FindCrossed(oldpercent, newpercent, part->type->healthexpl); e;
         e = Hlthexpl_NextCrossed(oldpercent, newpercent, e)) {
        EndAttachedEffect(part);
        int x, y;
        Parts_GetPixelPosition(part, &x, &y);
        Expl_MakeExplosion(&part->healthexpl, e->expltype, e->attach ? part : nullptr,
                           Parts_GetRemap(part), Parts_GetFrame(part), (part->angle >> 16) & 255,
                           x, y, part->dinfo.sprite);
        part->lasthealth = newpercent;
    }
}

void Parts_StopHealthEffect(PART* part)
{
    ASSERT(part);
    EndAttachedEffect(part);
}

// ---- the update

// From the unit's centre, as a target unit's position is its centre: aiming
// from the tile's corner would leave every turret a little off its mark.
static int32_t AngleTo(const PART* part, TARGET* target)
{
    int tx, ty;
    Target_GetPosition(target, &tx, &ty);
    int dx = tx - (part->unit->pixelpos.x + 12), dy = ty - (part->unit->pixelpos.y + 12);
    return dx == 0 && dy == 0 ? 0 : Util_VectorAngle((float)dx, (float)dy);
}

// A part of a building fires as fast as the building works.
static uint32_t NextFire(const PART* part, const WEAPONTYPE* w)
{
    UNIT* u = part->unit;
    if (BuildId_Valid(&u->partof)) {
        int e = Build_GetEfficiency(BuildId_Ptr(&u->partof));
        if (e < 1) e = 1;
        return g_UpdateCount + (uint32_t)((int64_t)w->firedelay * 100 / e);
    }
    return g_UpdateCount + (uint32_t)w->firedelay;
}

static void Launch(PART* part, WEAPONTYPE* w, int slot)
{
    PART_STATEREC* st = &part->state;
    if (!Target_Valid(&st->target) || !Weapon_CanShoot(w, &st->target)) {
        Target_Clear(&st->target);
        return;
    }
    PROJECTILEID id;
    if (!Weapon_MakeProjectile(&id, w, &st->target, part)) return;
    if (w->maxammo > 0) part->weapon[slot].ammo--;
    UNIT* u = part->unit;
    if (part->weapon[slot].ammo == 0 && u->type->abilities.weaponcharge) {
        u->ischarging = 1;
        u->chargeremaining = u->type->weaponchargeinfo;
    }
    part->weapon[slot].nextfire = NextFire(part, w);
}

static void Firing(PART* p)
{
    PART_STATEREC* st = &p->state;
    ASSERT(p->state.state == PS_FIRING);
    const int w = st->weapon;
    ASSERT(w >= 0 && w < p->type->nrweapons);
    WEAPONTYPE* wt = p->type->weapons[w].type;
    if (p->weapon[w].ammo == 0) {
        TakeNext(p);
        return;
    }
    // The angle to the target holds for the whole update: turning moves
    // neither the unit nor the target.
    int32_t aim = 0;
    if (Target_Valid(&st->target)) {
        aim = AngleTo(p, &st->target);
        if (aim != p->angle) Parts_RotateStep(p, aim);
    }
    if (st->counter < 0) {
        if (p->next.state != PS_IDLE || !Target_Valid(&st->target)) {
            TakeNext(p);
            return;
        }
        if (p->weapon[w].nextfire > g_UpdateCount) return;
        if (aim != p->angle) return;
        if (Weapon_TargetInRange(p->unit, wt, &st->target) != TARGETRANGE_OK) {
            TakeNext(p);
            return;
        }
        int anim = p->typefireanim ? p->type->weapons[w].fireanim : p->dinfo.fireanim;
        Parts_PlayAnimation(p, anim, PARTS_SPEED_ONE, PAM_ONCE);
        st->counter = 0;
        return;
    }
    int old = st->counter++;
    if (old == p->type->weapons[w].fireframe) {
        Launch(p, wt, w);
        if (st->once) Target_Clear(&st->target);
    }
    if (st->counter > p->type->weapons[w].fireframe && Parts_AnimationState(p) != 0)
        st->counter = -1;
}

void Parts_Process(PART* part)
{
    ASSERT(part && part->type && part->unit);
    Parts_UpdateAnimation(part);
    switch (part->state.state) {
    case PS_IDLE:
        if (--part->scancount < 1) part->scancount = part->type->scandelay;
        break;
    case PS_ROTATE:
        if (part->angle == part->state.angle && (int64_t)part->anglechanged < (int64_t)g_UpdateCount - 1) {
            Parts_ResetAnimation(part);
            TakeNext(part);
        } else if (part->next.state == PS_IDLE) {
            Parts_PlayAnimation(part, part->dinfo.defaultanim, PARTS_SPEED_ONE, PAM_LOOP);
            Parts_RotateStep(part, part->state.angle);
        } else {
            Parts_ResetAnimation(part);
            TakeNext(part);
        }
        break;
    case PS_HOLDANGLE:
        if (part->next.state == PS_IDLE) Parts_RotateStep(part, part->state.angle);
        else TakeNext(part);
        break;
    case PS_FIRING: Firing(part); break;
    case PS_STOP: TakeNext(part); break;
    default: Unhandled(); break;
    }
    if (part->display) SortDisp_SetFrame(part->display, Parts_GetFrame(part));
    Parts_UpdatePosition(part);
}

// ---- init and close

void Parts_Init(void)
{
    Parts_FreeTypes();
    for (PART* p : s_blocks) Debug_FreeBlock(p);
    s_blocks.clear();
    s_free = nullptr;
    s_inuse = 0;
}

void Parts_Close(void)
{
    Parts_FreeTypes();
    TLOG(TLOG_DIAG, "Close - %d extra mallocs", s_inuse);
    for (PART* p : s_blocks) Debug_FreeBlock(p);
    s_blocks.clear();
    s_free = nullptr;
    s_inuse = 0;
}

// ---- saved games

PART* Parts_AllocRecord(void)
{
    PART* p = s_free;
    if (p) {
        s_free = p->partup;
    } else {
        p = (PART*)Debug_MallocFor(sizeof(PART), "part");
        s_blocks.push_back(p);
    }
    *p = PART{};
    s_inuse++;
    return p;
}

void Parts_FreeRecord(PART* p)
{
    *p = PART{};
    p->id = -1;
    p->partup = s_free;
    s_free = p;
    s_inuse--;
}
