// The dispatcher, the save module's registrars and the load's record hooks.
#include "save/saveget.h"

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
#include "units/unit.h"

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

void* Save_AllocLocal(int type, uint32_t size)
{
    switch (type) {
    case ST_DISPLAYELEMENT: return SortDisp_AllocRecord();
    case ST_OVERLAY: return Ovl_AllocRecord();
    default: return Debug_MallocFor(size ? size : 1, "n->data");
    }
}

void Save_FreeLocal(int type, void* record)
{
    switch (type) {
    case ST_DISPLAYELEMENT: SortDisp_FreeRecord((DISPLAYELEMENT*)record); break;
    case ST_OVERLAY: Ovl_FreeRecord((OVERLAY*)record); break;
    case ST_BYTEMAP: Seemap_FreeRecord((BYTEMAP*)record); break;
    default: Debug_Free(&record); break;
    }
}
