// The dispatcher, the save module's registrars and the load's record hooks.
#include "save/saveget.h"

#include <cstring>
#include <map>

#include "core/debug.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "map/fog.h"
#include "map/overlay.h"
#include "platform/sortdisp.h"
#include "save/saveblk.h"
#include "save/savefield.h"
#include "save/savetype.h"
#include "units/building.h"
#include "units/explosion.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/vortex.h"

namespace {

int32_t s_rand[2];  // synchronised, local
int32_t s_uid;

} // namespace

void Save_RegisterBlockPointers(int type, int global, void* data, uint32_t size, int target)
{
    const SAVEFORM* form = SaveForm_Get(type, global);
    if (!form) {
        TLOG(TLOG_ERROR, "No GetPtr for %s type", Save_TypeName(type));
        return;
    }
    SaveForm_RegisterPointers(form, data, size, target);
}

void Save_RegisterTypePointers(int type, void* record)
{
    const SAVEFORM* form = SaveForm_Get(type, 0);
    if (!form) form = SaveForm_Get(type, 1);
    if (!form) {
        TLOG(TLOG_ERROR, "No GetPtr for %s type", Save_TypeName(type));
        return;
    }
    SaveForm_RegisterPointers(form, record, form->memsize, ST_VOID);
}

void Saveget_Unit(UNIT* u)
{
    for (const STANDINGORDERINFO* so : {&u->sorder, &u->snextorder})
        if (so->code < SO_NONE || so->code > SO_DUMMY)
            TLOG(TLOG_ERROR, "Unknown unit standing order being saved %d", so->code);
    Save_RegisterTypePointers(ST_UNIT, u);
}

void Rand_Save(void)
{
    if (g_SaveFlags & SAVEF_LIVE) {
        s_rand[0] = Rand_GetPosition();
        s_rand[1] = Rand_GetLocalPosition();
    }
    Save_RegisterBlock(SAVEK_GLOBAL, &s_rand[0], ST_ULONG, 4);
    Save_RegisterBlock(SAVEK_GLOBAL, &s_rand[1], ST_ULONG, 4);
}

void Save_RegisterUid(void)
{
    if (g_SaveFlags & SAVEF_LIVE) s_uid = Uid_Get();
    Save_RegisterBlock(SAVEK_GLOBAL, &s_uid, ST_ULONG, 4);
}

void Save_RestoreStaged(void)
{
    Rand_SetPosition(s_rand[0]);
    Rand_SetLocalPosition(s_rand[1]);
    Uid_Set(s_uid);
    Save_RestoreUnitCounters();
}

// Records with a pool or a free list come from it and go back to it; the
// rest are plain heap blocks (zeroed: a stored form leaves the fields no
// file carries, as a unit's computer-player record, at zero).
void* Save_AllocLocal(int type, uint32_t size)
{
    switch (type) {
    case ST_DISPLAYELEMENT: return SortDisp_AllocRecord();
    case ST_OVERLAY: return Ovl_AllocRecord();
    case ST_BYTEMAP: return Seemap_AllocRecord();
    case ST_UNIT: return Units_AllocRecord();
    case ST_PART: return Parts_AllocRecord();
    case ST_WAYPOINT: return Trail_AllocWaypointRecord();
    case ST_BUILDING: return Build_AllocRecord();
    case ST_MINIBUILDING: return MiniBuild_AllocRecord();
    case ST_BUILDINGPACKAGE: return new BUILDINGPACKAGE{};
    case ST_BUILDID: return new BUILDID{};
    case ST_PROJECTILE: return Projectile_AllocRecord();
    case ST_EXPL: return Expl_AllocRecord();
    case ST_EXPLANIM: return Expl_AllocPlayRecord();
    case ST_VORTEX: return Vortex_AllocRecord();
    case ST_SWave: return Swave_AllocRecord();
    case ST_SWaveNode: return Swave_AllocBubbles();
    default: {
        void* p = Debug_MallocFor(size ? size : 1, "n->data");
        memset(p, 0, size ? size : 1);
        return p;
    }
    }
}

uint32_t Save_LocalRecords(int type)
{
    switch (type) {
    case ST_DISPLAYELEMENT: case ST_OVERLAY: case ST_BYTEMAP: case ST_UNIT: case ST_PART: case ST_WAYPOINT:
    case ST_BUILDING: case ST_MINIBUILDING: case ST_BUILDINGPACKAGE: case ST_BUILDID: case ST_PROJECTILE:
    case ST_EXPL: case ST_EXPLANIM: case ST_VORTEX: case ST_SWave:
        return 1;
    case ST_SWaveNode: return SWAVE_BUBBLES;
    default: return 0;
    }
}

void Save_FreeLocal(int type, void* record)
{
    switch (type) {
    case ST_DISPLAYELEMENT: SortDisp_FreeRecord((DISPLAYELEMENT*)record); break;
    case ST_OVERLAY: Ovl_FreeRecord((OVERLAY*)record); break;
    case ST_BYTEMAP: Seemap_FreeRecord((BYTEMAP*)record); break;
    case ST_UNIT: Units_FreeRecord((UNIT*)record); break;
    case ST_PART: Parts_FreeRecord((PART*)record); break;
    case ST_WAYPOINT: Trail_FreeWaypointRecord((WAYPOINT*)record); break;
    case ST_BUILDING: Build_FreeRecord((BUILDING*)record); break;
    case ST_MINIBUILDING: MiniBuild_FreeRecord((MINIBUILDING*)record); break;
    case ST_BUILDINGPACKAGE: delete (BUILDINGPACKAGE*)record; break;
    case ST_BUILDID: delete (BUILDID*)record; break;
    case ST_PROJECTILE: Projectile_FreeRecord((PROJECTILE*)record); break;
    case ST_EXPL: Expl_FreeRecord((EXPL*)record); break;
    case ST_EXPLANIM: Expl_FreePlayRecord((EXPLANIM*)record); break;
    case ST_VORTEX: Vortex_FreeRecord((VORTEX*)record); break;
    case ST_SWave: Swave_FreeRecord((SWave*)record); break;
    case ST_SWaveNode: Swave_FreeBubbles((SWaveNode*)record); break;
    default: Debug_Free(&record); break;
    }
}
