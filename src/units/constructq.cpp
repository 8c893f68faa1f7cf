// The unit construct queue: a fixed array in order of arrival with per-type
// counts kept beside it, so the per-type limit is checked without a scan.
#include "units/constructq.h"

#include "core/gamestate.h"
#include "core/tlog.h"
#include "save/saveblk.h"
#include "save/savetype.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

struct CQENTRY {
    int unittype;
    int buildingid;          // -1: the type's primary maker
};

CQENTRY s_entries[CQ_CAPACITY];
int s_count = 0;
int s_typecount[CQ_TYPES];

bool ValidType(int t) { return t >= 0 && t < CQ_TYPES; }

void RemoveAt(int i)
{
    s_typecount[s_entries[i].unittype]--;
    for (int j = i + 1; j < s_count; j++) s_entries[j - 1] = s_entries[j];
    s_count--;
}

template <class PRED> void RemoveWhere(PRED pred)
{
    for (int i = 0; i < s_count;)
        if (pred(s_entries[i])) RemoveAt(i);
        else i++;
}

bool ForBuilding(const CQENTRY& e, const BUILDING* b)
{
    if (e.buildingid == b->id) return true;
    return e.buildingid == -1 && AP_GetPrimaryMaker(b->team, e.unittype) == b;
}

bool CanServe(const CQENTRY& e, BUILDING* b)
{
    if (!ForBuilding(e, b) || AP_IsPaused(b, e.unittype)) return false;
    const UNITTYPE* ut = Units_GetTypePtr(e.unittype);
    if (ut == nullptr || b->buildingtype == nullptr) return false;
    if (!PREREQ_CanThisMakeThat(b->buildingtype->prereq.id, ut->prereq.id, b->team)) return false;
    if (!PREREQ_CanMake(ut->prereq.id, b->team)) return false;
    return teamdata[b->team].credits >= ut->buildcost;
}

} // namespace

void Units_InitConstructQueues(void)
{
    s_count = 0;
    for (int& c : s_typecount) c = 0;
}

int Units_AddToConstructQueue(int unittype, int buildingid)
{
    if (!ValidType(unittype)) {
        TLOG(TLOG_ERROR, "Construct queue: unit type %d out of range", unittype);
        return 0;
    }
    if (s_count >= CQ_CAPACITY || s_typecount[unittype] >= CQ_PERTYPE) return 0;
    s_entries[s_count++] = CQENTRY{unittype, buildingid};
    s_typecount[unittype]++;
    return 1;
}

int Units_GetFromConstructQueue(BUILDING* b)
{
    if (b == nullptr) return -1;
    for (int i = 0; i < s_count; i++) {
        if (!CanServe(s_entries[i], b)) continue;
        int type = s_entries[i].unittype;
        RemoveAt(i);
        return type;
    }
    return -1;
}

void Units_DeleteBuildingFromConstructQueue(const BUILDING* b)
{
    if (b == nullptr) return;
    int id = b->id;
    RemoveWhere([id](const CQENTRY& e) { return e.buildingid == id; });
}

void Units_DeleteUnitsForBuilding(int unittype, int buildingid)
{
    RemoveWhere([=](const CQENTRY& e) {
        return e.unittype == unittype && e.buildingid == buildingid;
    });
}

void Units_DeleteUnitTypeFromConstructQueue(int unittype)
{
    RemoveWhere([=](const CQENTRY& e) { return e.unittype == unittype; });
}

void Units_DecrementConstructQueue(int unittype, const BUILDING* b)
{
    for (int i = s_count; i-- > 0;) {
        const CQENTRY& e = s_entries[i];
        if (e.unittype != unittype) continue;
        bool match = b == nullptr || e.buildingid == b->id ||
                     (e.buildingid == -1 && b->team == g_LocalTeam &&
                      AP_GetPrimaryMaker(b->team, unittype) == b);
        if (!match) continue;
        RemoveAt(i);
        return;
    }
}

int Units_NumberOnConstructQueue(int unittype)
{
    return ValidType(unittype) ? s_typecount[unittype] : 0;
}

int Units_NumberOnConstructQueueForBuilding(int unittype, int buildingid)
{
    int n = 0;
    for (int i = 0; i < s_count; i++)
        n += s_entries[i].unittype == unittype && s_entries[i].buildingid == buildingid;
    return n;
}

int Units_QueuedOrdersForBuilding(int buildingid)
{
    int n = 0;
    for (int i = 0; i < s_count; i++) n += s_entries[i].buildingid == buildingid;
    return n;
}

void Units_TransferToPrimaryQueue(const BUILDING* b)
{
    if (b == nullptr) return;
    for (int i = 0; i < s_count; i++)
        if (s_entries[i].buildingid == b->id) s_entries[i].buildingid = -1;
}

int Units_ConstructQueueCount(void) { return s_count; }

int Units_ConstructQueueEntry(int i, int* unittype, int* buildingid)
{
    if (i < 0 || i >= s_count) return 0;
    if (unittype) *unittype = s_entries[i].unittype;
    if (buildingid) *buildingid = s_entries[i].buildingid;
    return 1;
}

void Units_SaveConstructQueue(void)
{
    Save_RegisterBlock(SAVEK_GLOBAL, &s_count, ST_ULONG, sizeof s_count);
    Save_RegisterBlock(SAVEK_GLOBAL, s_entries, ST_ULONG, sizeof s_entries);
    Save_RegisterBlock(SAVEK_GLOBAL, s_typecount, ST_ULONG, sizeof s_typecount);
}

const char* Units_ConstructQueueCheckLoaded(void)
{
    if (s_count < 0 || s_count > CQ_CAPACITY) return "the construct queue's count";
    int counts[CQ_TYPES] = {};
    for (int i = 0; i < s_count; i++) {
        if (!ValidType(s_entries[i].unittype) || s_entries[i].buildingid < -1) return "a construct queue entry";
        if (++counts[s_entries[i].unittype] > CQ_PERTYPE) return "the construct queue's entries of a type";
    }
    for (int t = 0; t < CQ_TYPES; t++)
        if (counts[t] != s_typecount[t]) return "the construct queue's counts by type";
    return nullptr;
}
