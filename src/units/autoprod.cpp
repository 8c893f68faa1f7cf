// Automatic production.
//
// Lists hold BUILDID records (weak handles) taken from this module's free
// list; a list is made on its first insertion and freed with AP_Stop. Every
// building that leaves the game leaves the lists first (Build_Remove calls
// AP_RemoveBuilding), so the lists never hold a stale handle; readers still
// skip one rather than follow it.
//
// Where a step reads "b enters the paused list of u" after a primary
// change, it is the type's primary now (old or new) that does: a paused
// primary stays paused when a new building does not take the type over.
#include "units/autoprod.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/gamestate.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "core/fspath.h"
#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"
#include "units/building.h"
#include "units/buildid.h"
#include "units/constructq.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

APUNITINFO s_info[TEAM_MAXTEAMS][UNITS_MAXTYPES];
int s_online = 0;
std::vector<BUILDID*> s_free;

bool ValidTeam(int t) { return t >= 0 && t < TEAM_MAXTEAMS; }
bool ValidUnit(int u) { return u >= 0 && u < Units_UnitTypeCount() && u < UNITS_MAXTYPES; }

APUNITINFO* Info(int team, int u)
{
    return ValidTeam(team) && ValidUnit(u) ? &s_info[team][u] : nullptr;
}

BUILDID* NewNode(BUILDING* b)
{
    BUILDID* n;
    if (!s_free.empty()) {
        n = s_free.back();
        s_free.pop_back();
    } else {
        n = new BUILDID;
    }
    BuildId_Setup(n, b);
    return n;
}

BUILDING* NodeBuilding(void* element) { return BuildId_Ptr(static_cast<BUILDID*>(element)); }

// The node of b in the list, the cursor left on it; false when absent.
bool Seek(GLL* list, const BUILDING* b)
{
    if (list == nullptr || b == nullptr) return false;
    for (void* e = GLL_GoFirst(list); e != nullptr; e = GLL_GoNext(list))
        if (static_cast<BUILDID*>(e)->id == b->id) return true;
    return false;
}

bool InList(GLL* list, const BUILDING* b) { return Seek(list, b); }

void ListRemove(GLL* list, const BUILDING* b)
{
    if (Seek(list, b)) AP_FreeNode(GLL_DeleteCurrent(list));
}

void ListDestroy(GLL** list)
{
    if (*list == nullptr) return;
    for (void* e = GLL_GoFirst(*list); e != nullptr; e = GLL_GoFirst(*list))
        AP_FreeNode(GLL_DeleteCurrent(*list));
    GLL_Destroy(*list, nullptr);
    *list = nullptr;
}

int ListCount(const GLL* list) { return list ? list->count : 0; }

// The buildings of a list in order (stale handles skipped).
std::vector<BUILDING*> Members(GLL* list)
{
    std::vector<BUILDING*> out;
    if (list == nullptr) return out;
    for (GLL_NODE* n = list->first; n != nullptr; n = n->next)
        if (BUILDING* b = NodeBuilding(n->element)) out.push_back(b);
    return out;
}

bool CanMakeFor(const BUILDING* b, int u)
{
    const BUILDINGTYPE* t = b->buildingtype;
    const UNITTYPE* ut = Units_GetTypePtr(u);
    if (t == nullptr || ut == nullptr || !(t->flags & BTF_CANMAKE)) return false;
    return PREREQ_CanThisMakeThat(t->prereq.id, ut->prereq.id, b->team) != 0;
}

const BUILDINGTYPE* FinalType(const BUILDINGTYPE* t)
{
    for (int n = 0; t != nullptr && t->upgradeto != nullptr && n < BUILD_MAXTYPES; n++)
        t = t->upgradeto;
    return t;
}

BUILDING* Primary(APUNITINFO* I) { return BuildId_Ptr(&I->primary); }

void ClearRecords(void)
{
    for (auto& row : s_info)
        for (APUNITINFO& I : row) {
            ListDestroy(&I.upflist);
            ListDestroy(&I.pausedlist);
            BuildId_Clear(&I.primary);
            I.usersetprimary = I.allpaused = I.primarypaused = 0;
        }
}

// After a pause or resume: all or none paused sets or clears both flags.
void SettlePaused(APUNITINFO* I)
{
    if (ListCount(I->pausedlist) == 0) {
        I->allpaused = I->primarypaused = 0;
    } else if (ListCount(I->pausedlist) == ListCount(I->upflist)) {
        I->allpaused = I->primarypaused = 1;
    }
}

void IdList(GLL* list, std::string* out)
{
    std::vector<BUILDING*> m = Members(list);
    if (m.empty()) {
        *out = "<empty>";
        return;
    }
    out->clear();
    for (BUILDING* b : m) {
        if (!out->empty()) *out += ' ';
        *out += std::to_string(b->id);
    }
}

const char* YesNo(int v) { return v ? "yes" : "no"; }

} // namespace

int AP_IsEnabled(void) { return tinfo.enableap; }

int AP_IsOnline(void) { return s_online; }

void AP_Start(void)
{
    s_online = AP_IsEnabled() ? 1 : 0;
    if (!s_online) return;
    ClearRecords();
    for (int team = 0; team < TEAM_MAXTEAMS; team++)
        for (BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext) {
            if (!b->complete) continue;
            AP_AddBuilding(b);
            AP_SetPrimary(b, 0, 0);
        }
}

void AP_Stop(void)
{
    if (!s_online) return;
    ClearRecords();
    for (BUILDING* b = g_Buildings; b; b = b->next) ListDestroy(&b->ap.srclist);
    for (BUILDID* n : s_free) delete n;
    s_free.clear();
    s_online = 0;
}

void AP_AddBuilding(BUILDING* b)
{
    if (!s_online || b == nullptr || !b->complete || !ValidTeam(b->team)) return;
    for (int u = 0; u < Units_UnitTypeCount() && u < UNITS_MAXTYPES; u++) {
        if (!CanMakeFor(b, u)) continue;
        APUNITINFO* I = &s_info[b->team][u];
        AP_ListInsert(&I->upflist, b);
        if (I->allpaused) AP_ListInsert(&I->pausedlist, b);
    }
    ListDestroy(&b->ap.srclist);
    b->ap = BUILD_APINFO{nullptr, 0, 0, 0};
}

void AP_RemoveBuilding(BUILDING* b)
{
    if (!s_online || b == nullptr || !ValidTeam(b->team)) return;
    // A producer leaves the source lists of its peers, so that their counts
    // stay true for the producers that remain.
    if (b->ap.source && b->unittypetobuild) AP_ClearSource(b, b->unittypetobuild->unittypeid);
    BUILDING* s = nullptr;
    if (b->primary) {
        s = AP_FindSuccessor(b);
        if (s) AP_ChangePrimary(b, s);
    }
    std::vector<BUILDING*> heirs;
    for (int u = 0; u < Units_UnitTypeCount() && u < UNITS_MAXTYPES; u++) {
        APUNITINFO* I = &s_info[b->team][u];
        ListRemove(I->upflist, b);
        if (Primary(I) == b) {
            std::vector<BUILDING*> rest = Members(I->upflist);
            if (s && CanMakeFor(s, u)) BuildId_Setup(&I->primary, s);
            else if (!rest.empty()) BuildId_Setup(&I->primary, rest.back());
            else BuildId_Clear(&I->primary);
            I->usersetprimary = 0;
            BUILDING* heir = Primary(I);
            if (heir && heir != s && std::find(heirs.begin(), heirs.end(), heir) == heirs.end())
                heirs.push_back(heir);
        }
        ListRemove(I->pausedlist, b);
    }
    ListDestroy(&b->ap.srclist);
    // A factory that became primary takes the requests for any factory.
    for (BUILDING* heir : heirs) AP_ProduceNextQueued(heir);
}

BUILDING* AP_FindSuccessor(const BUILDING* b)
{
    if (b == nullptr || !ValidTeam(b->team)) return nullptr;
    const BUILDINGTYPE* final = FinalType(b->buildingtype);
    for (BUILDING* o = teamdata[b->team].firstbuilding; o; o = o->teamnext) {
        if (o == b || !o->complete || FinalType(o->buildingtype) != final) continue;
        if (Build_IsIdle(o) || o->state == BS_PRODUCING) return o;
    }
    return nullptr;
}

void AP_ChangePrimary(BUILDING* oldprimary, BUILDING* newprimary)
{
    if (oldprimary == nullptr || newprimary == nullptr) {
        TLOG(TLOG_ERROR, "AP_ChangePrimary: a building is missing");
        return;
    }
    AP_SetPrimary(newprimary, 0, 1);
    AP_ProduceNextQueued(newprimary);
}

void AP_SetPrimary(BUILDING* b, int userset, int force)
{
    if (!s_online || b == nullptr || !ValidTeam(b->team)) return;
    bool became = false;
    for (int u = 0; u < Units_UnitTypeCount() && u < UNITS_MAXTYPES; u++) {
        APUNITINFO* I = &s_info[b->team][u];
        BUILDING* p = Primary(I);
        if (p && !I->allpaused) ListRemove(I->pausedlist, p);
        if (CanMakeFor(b, u)) {
            if (userset || force) {
                I->usersetprimary = userset;
                b->ap.usersetprimary = userset;
                BuildId_Setup(&I->primary, b);
                became = true;
            } else if (!I->usersetprimary) {
                I->usersetprimary = 0;
                b->ap.usersetprimary = 0;
                BuildId_Setup(&I->primary, b);
                became = true;
            }
        }
        if (I->primarypaused && Primary(I)) AP_ListInsert(&I->pausedlist, Primary(I));
    }
    if (became) {
        Build_ClearPrimary(b->team, b->buildingtype);
        b->primary = 1;
    }
    Units_TransferToPrimaryQueue(b);
}

void AP_ProduceNextQueued(BUILDING* b)
{
    if (b == nullptr || b->team != g_LocalTeam || !b->complete || !Build_IsIdle(b)) return;
    int type = Units_GetFromConstructQueue(b);
    if (type >= 0) Orders_QConstructUnit(b->team, type, b->id);
}

void AP_MakeSource(BUILDING* b, int unittype)
{
    if (!s_online || b == nullptr) return;
    APUNITINFO* I = Info(b->team, unittype);
    if (I == nullptr) return;
    for (BUILDING* o : Members(I->upflist))
        if (o != b) AP_ListInsert(&o->ap.srclist, b);
    b->ap.source = 1;
}

void AP_ClearSource(BUILDING* b, int unittype)
{
    if (!s_online || b == nullptr) return;
    APUNITINFO* I = Info(b->team, unittype);
    if (I != nullptr)
        for (BUILDING* o : Members(I->upflist))
            if (o != b) ListRemove(o->ap.srclist, b);
    b->ap.capacity = 0;
    b->ap.source = 0;
}

int AP_ComputeCapacity(BUILDING* b)
{
    if (!s_online || b == nullptr || b->unittypetobuild == nullptr) return 0;
    APUNITINFO* I = Info(b->team, b->unittypetobuild->unittypeid);
    if (I == nullptr) return 0;
    int sum = 0;
    for (BUILDING* o : Members(I->upflist)) {
        if (o == b) {
            sum += Build_GetEfficiency(o);
        } else if (Build_IsIdle(o) && !o->ap.source) {
            int n = ListCount(o->ap.srclist);
            sum += n > 1 ? Build_GetEfficiency(o) / n : Build_GetEfficiency(o);
        }
    }
    b->ap.capacity = sum;
    return sum;
}

BUILDING* AP_GetPrimaryMaker(int team, int unittype)
{
    if (!s_online) return nullptr;
    APUNITINFO* I = Info(team, unittype);
    return I ? Primary(I) : nullptr;
}

GLL* AP_GetMakerList(int team, int unittype)
{
    if (!s_online) return nullptr;
    APUNITINFO* I = Info(team, unittype);
    return I ? I->upflist : nullptr;
}

void AP_GetUnitTypeInfo(BUILDING* b, int unittype, int* queued, int* paused)
{
    int q = 0, p = 0;
    APUNITINFO* I = s_online ? Info(g_LocalTeam, unittype) : nullptr;
    if (I != nullptr) {
        if (b == nullptr) {
            q = Units_NumberOnConstructQueue(unittype);
            p = I->allpaused;
        } else if (Primary(I) == b) {
            q = Units_NumberOnConstructQueueForBuilding(unittype, -1);
            p = I->primarypaused;
        } else {
            q = Units_NumberOnConstructQueueForBuilding(unittype, b->id);
            p = InList(I->pausedlist, b);
        }
    }
    if (queued) *queued = q;
    if (paused) *paused = p;
}

void AP_PauseOrCancel(BUILDING* b, int unittype)
{
    APUNITINFO* I = s_online ? Info(g_LocalTeam, unittype) : nullptr;
    if (I == nullptr || (b != nullptr && b->team != g_LocalTeam)) return;
    if (b == nullptr) {
        if (I->allpaused) {
            Units_DeleteUnitTypeFromConstructQueue(unittype);
            AP_Resume(nullptr, unittype);
        } else if (Units_NumberOnConstructQueue(unittype) > 0) {
            I->allpaused = I->primarypaused = 1;
            for (BUILDING* o : Members(I->upflist)) AP_ListInsert(&I->pausedlist, o);
        }
    } else if (Primary(I) == b) {
        if (I->primarypaused) {
            Units_DeleteUnitsForBuilding(unittype, -1);
            AP_Resume(b, unittype);
        } else if (Units_NumberOnConstructQueueForBuilding(unittype, -1) > 0) {
            I->primarypaused = 1;
            AP_ListInsert(&I->pausedlist, b);
        }
    } else {
        if (InList(I->pausedlist, b)) {
            Units_DeleteUnitsForBuilding(unittype, b->id);
            AP_Resume(b, unittype);
        } else if (Units_NumberOnConstructQueueForBuilding(unittype, b->id) > 0) {
            AP_ListInsert(&I->pausedlist, b);
        }
    }
    SettlePaused(I);
}

void AP_Resume(BUILDING* b, int unittype)
{
    APUNITINFO* I = s_online ? Info(g_LocalTeam, unittype) : nullptr;
    if (I == nullptr || (b != nullptr && b->team != g_LocalTeam)) return;
    if (b == nullptr) {
        I->allpaused = I->primarypaused = 0;
        while (I->pausedlist != nullptr && I->pausedlist->count > 0) {
            BUILDING* o = NodeBuilding(I->pausedlist->first->element);
            GLL_GoFirst(I->pausedlist);
            AP_FreeNode(GLL_DeleteCurrent(I->pausedlist));
            if (o) AP_ProduceNextQueued(o);
        }
        ListDestroy(&I->pausedlist);
    } else if (Primary(I) == b) {
        if (!I->primarypaused) return;
        I->allpaused = I->primarypaused = 0;
        ListRemove(I->pausedlist, b);
        AP_ProduceNextQueued(b);
    } else {
        if (!InList(I->pausedlist, b)) return;
        I->allpaused = 0;
        ListRemove(I->pausedlist, b);
        AP_ProduceNextQueued(b);
    }
}

int AP_IsPaused(const BUILDING* b, int unittype)
{
    APUNITINFO* I = s_online ? Info(g_LocalTeam, unittype) : nullptr;
    if (I == nullptr) return 0;
    if (b == nullptr) return I->allpaused;
    if (Primary(I) == b) return I->primarypaused;
    return InList(I->pausedlist, b) ? 1 : 0;
}

int AP_AnyPaused(int unittype)
{
    APUNITINFO* I = s_online ? Info(g_LocalTeam, unittype) : nullptr;
    if (I == nullptr) return 0;
    return I->allpaused || I->primarypaused || ListCount(I->pausedlist) > 0;
}

// (T - t) << 16 over T in 64 bits: exact for any total, and a total of 0
// (a job not set up) answers 0 instead of dividing by it.
static int32_t Progress(const BUILDING* b, int unittype)
{
    if (b == nullptr || b->team != g_LocalTeam || b->state != BS_PRODUCING ||
        b->unittypetobuild == nullptr || b->unittypetobuild->unittypeid != unittype)
        return 0;
    int64_t T = b->prodtime, t = b->prodleft;
    if (T <= 0) return 0;
    return (int32_t)(((T - t) << 16) / T);
}

int32_t AP_GetProgress(const BUILDING* b, int unittype)
{
    if (b != nullptr) return Progress(b, unittype);
    APUNITINFO* I = s_online ? Info(g_LocalTeam, unittype) : nullptr;
    if (I == nullptr) return 0;
    const BUILDING* best = nullptr;
    for (BUILDING* o : Members(I->upflist)) {
        if (o->team != g_LocalTeam || o->state != BS_PRODUCING || o->unittypetobuild == nullptr ||
            o->unittypetobuild->unittypeid != unittype)
            continue;
        if (best == nullptr || o->prodleft < best->prodleft) best = o;
    }
    return Progress(best, unittype);
}

int AP_ListInsert(GLL** list, BUILDING* b)
{
    if (list == nullptr || b == nullptr) return 0;
    if (*list == nullptr) *list = GLL_Create();
    if (InList(*list, b)) return 0;
    GLL_GoLast(*list);
    GLL_InsertAfter(*list, NewNode(b));
    return 1;
}

void AP_FreeNode(void* node)
{
    if (node != nullptr) s_free.push_back(static_cast<BUILDID*>(node));
}

int AP_DumpLog(void)
{
    char path[UTILS_PATH];
    if (!Utils_MakePath(path, g_HomeDir, "", "", "ap", ".log")) return 0;
    FILE* f = fopen(Fs_Resolve(path).c_str(), "w");
    if (f == nullptr) {
        TLOG(TLOG_WARNING, "Cannot write [%s]", path);
        return 0;
    }
    const std::string dashes(52, '-');
    std::string ids;
    fprintf(f, "AP Building list\n================\n\n");
    if (ValidTeam(g_LocalTeam))
        for (BUILDING* b = teamdata[g_LocalTeam].firstbuilding; b; b = b->teamnext) {
            fprintf(f, "Building [%5d] %s\n", b->id, b->buildingtype->name);
            fprintf(f, "  status         : %s%s\n",
                    b->primary ? "(primary) " : b->ap.source ? "(source) " : "(slave) ",
                    Build_IsIdle(b) ? "(avail) " : "(busy) ");
            fprintf(f, "  usersetprimary : %s\n", YesNo(b->primary && b->ap.usersetprimary));
            fprintf(f, "  order          : %d\n", b->state);
            fprintf(f, "  efficiency     : %d %%\n", Build_GetEfficiency(b));
            IdList(b->ap.srclist, &ids);
            fprintf(f, "  src list       : %s\n", ids.c_str());
            fprintf(f, "  AP capacity    : %d\n", b->ap.capacity);
            fprintf(f, "%s\n", dashes.c_str());
        }
    fprintf(f, "AP Unittype info\n================\n\n");
    for (int u = 0; ValidTeam(g_LocalTeam) && u < Units_UnitTypeCount() && u < UNITS_MAXTYPES;
         u++) {
        APUNITINFO* I = &s_info[g_LocalTeam][u];
        BUILDING* p = s_online ? Primary(I) : nullptr;
        fprintf(f, "Unit type [%s]\n", Units_GetTypePtr(u)->symbolid);
        fprintf(f, "  primary maker  : %d\n", p ? p->id : -1);
        fprintf(f, "  usersetprimary : %s\n", YesNo(I->usersetprimary));
        IdList(I->upflist, &ids);
        fprintf(f, "  upflist        : %s\n", ids.c_str());
        fprintf(f, "  allpaused      : %s\n", YesNo(I->allpaused));
        fprintf(f, "  primarypaused  : %s\n", YesNo(I->primarypaused));
        IdList(I->pausedlist, &ids);
        fprintf(f, "  pausedlist     : %s\n", ids.c_str());
        fprintf(f, "%s\n", dashes.c_str());
    }
    int ok = ferror(f) == 0;
    ok &= fclose(f) == 0;
    return ok;
}

// ------------------------------------------------------------------ the player's choices

void AP_UserSetPrimary(BUILDING* b, int unittype)
{
    if (!s_online) return;
    if (b) {
        AP_SetPrimary(b, 1, 0);
        AP_ProduceNextQueued(b);
        return;
    }
    if (APUNITINFO* I = Info(g_LocalTeam, unittype)) I->usersetprimary = 0;
}

void AP_DistributeOrders(BUILDING* b, int unittype)
{
    APUNITINFO* I = s_online ? Info(g_LocalTeam, unittype) : nullptr;
    if (!I) return;
    // The primary takes the first queued unit; then every other idle maker.
    BUILDING* primary = BuildId_Ptr(&I->primary);
    std::vector<BUILDING*> makers = Members(I->upflist);
    if (primary && Build_IsIdle(primary)) AP_ProduceNextQueued(primary);
    for (BUILDING* o : makers)
        if (o != primary && Build_IsIdle(o)) AP_ProduceNextQueued(o);
    if (b && b->team == g_LocalTeam && Build_IsIdle(b)) AP_ProduceNextQueued(b);
}

int AP_IsUnitTypeProduced(int unittype)
{
    APUNITINFO* I = s_online ? Info(g_LocalTeam, unittype) : nullptr;
    return I && BuildId_Ptr(&I->primary) != nullptr;
}

namespace {

void RegisterList(GLL* list)
{
    if (list == nullptr) return;
    Save_RegisterTypePointers(ST_APGLLHEADER, list);
    Save_RegisterBlock(SAVEK_LOCAL, list, ST_APGLLHEADER, sizeof *list);
    for (GLL_NODE* n = list->first; n && Save_WalkGoesOn(); n = n->next) {
        Save_RegisterTypePointers(ST_APGLLNODE, n);
        Save_RegisterBlock(SAVEK_LOCAL, n, ST_APGLLNODE, sizeof *n);
        // A loaded node may name no handle: listed without one, the load
        // refuses it.
        if (!n->element) continue;
        Save_RegisterTypePointers(ST_BUILDID, n->element);
        Save_RegisterBlock(SAVEK_LOCAL, n->element, ST_BUILDID, sizeof(BUILDID));
    }
}

// A loaded list: links both ways, as many nodes as its count, each with a
// handle, and every building a handle still names on the team.
const char* CheckList(const GLL* list, int team)
{
    if (list == nullptr) return nullptr;
    int n = 0;
    const GLL_NODE* last = nullptr;
    for (const GLL_NODE* node = list->first; node; last = node, node = node->next) {
        if (node->prev != last || ++n > list->count) return "an automatic production list's links";
        if (node->element == nullptr) return "an automatic production list's handle";
        const BUILDID* h = static_cast<const BUILDID*>(node->element);
        if (h->building && h->building->id == h->id && h->building->team != team)
            return "a building on another team's automatic production list";
    }
    if (n != list->count || list->last != last) return "an automatic production list's count or end";
    return nullptr;
}

} // namespace

void Saveget_APUnitInfo(void)
{
    Save_RegisterBlockPointers(ST_APUNITINFO, 1, s_info, sizeof s_info, ST_NONE);
    Save_RegisterBlock(SAVEK_GLOBAL, s_info, ST_APUNITINFO, sizeof s_info);
    for (auto& row : s_info)
        for (APUNITINFO& I : row) {
            RegisterList(I.upflist);
            RegisterList(I.pausedlist);
        }
}

const char* AP_CheckLoaded(void)
{
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        for (const APUNITINFO& I : s_info[t]) {
            if (const char* why = CheckList(I.upflist, t)) return why;
            if (const char* why = CheckList(I.pausedlist, t)) return why;
            if (I.primary.building && I.primary.building->id == I.primary.id && I.primary.building->team != t)
                return "an automatic production primary of another team";
        }
    return nullptr;
}
