#include "units/parts.h"

#include <cstring>

#include "core/debug.h"
#include "core/tlog.h"
#include "platform/sprite.h"
#include "units/hlthexpl.h"
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

static void FreeTypes(void)
{
    for (int i = 0; i < g_NrPartTypes; i++) {
        PARTTYPE* t = &g_PartTypes[i];
        Sprite_Free(t->sprite);
        t->sprite = nullptr;
        Hlthexpl_Free(&t->healthexpl);
    }
    g_NrPartTypes = 0;
}

void Parts_Init(void) { FreeTypes(); }
void Parts_Close(void) { FreeTypes(); }
