#include "units/projectile.h"

#include <vector>

#include "core/debug.h"
#include "core/uid.h"
#include "units/parts.h"
#include "units/unit.h"

static PROJECTILE* s_first;
static PROJECTILE* s_last;
static PROJECTILE* s_free;
static int s_count;
static std::vector<PROJECTILE*> s_blocks; // every record made, for the close

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
    Parts_GetPixelPosition(part, &p->x, &p->y);
    p->prev = s_last;
    if (s_last) s_last->next = p;
    else s_first = p;
    s_last = p;
    s_count++;
    *out = {p, p->id};
    return 1;
}

PROJECTILE* Projectile_First(void) { return s_first; }
int Projectile_Count(void) { return s_count; }

static void FreeAll(void)
{
    for (PROJECTILE* p : s_blocks) Debug_FreeBlock(p);
    s_blocks.clear();
    s_first = s_last = s_free = nullptr;
    s_count = 0;
}

void Projectile_Init(void) { FreeAll(); }
void Projectile_Close(void) { FreeAll(); }
