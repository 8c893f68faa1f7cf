#include "ui/igibuild.h"

#include <cstdlib>

#include "core/gamestate.h"
#include "platform/cursor.h"
#include "platform/input.h"
#include "rules/gamemsg.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igidisp.h"
#include "ui/igimark.h"
#include "ui/igievnt.h"
#include "ui/igimouse.h"
#include "ui/slist.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/constructq.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitlist.h"

enum { ZONE_LIST = 30, ZONE_UP = 26, ZONE_DOWN = 27, ZONE_DECOY = 28, ZONE_UPGRADE = 29 };

static SLIST* s_lists[LM_COUNT];

static int Local(void) { return g_LocalTeam; }
static int LocalValid(void) { return g_LocalTeam >= 0 && g_LocalTeam < TEAM_MAXTEAMS; }
static int Shift(void) { return (igi_nfo.event.modifiers & (MOD_LSHIFT | MOD_RSHIFT)) != 0; }

static void Msg(int id)
{
    if (GAME_MSG* m = GameMsg_Std(id)) GameMsg_TriggerStd(m);
}

// --- the lists ---

static BUILDING* OwnSelected(void)
{
    BUILDING* b = igi_nfo.sbuild;
    return b && b->team == Local() ? b : nullptr;
}


void Igievnt_MakeBuildLists(void)
{
    const ZONE& z = igi_nfo.zone.data[ZONE_LIST];
    for (SLIST*& l : s_lists) {
        SList_Delete(l);
        l = SList_New(z.lx, z.ly, z.rx, z.ry + 1, 0, IGI_LISTROW, IgiMark_DrawListCell, nullptr);
        SList_SetColumns(l, IGI_LISTCOLUMNS, IGI_LISTMINCOL);
    }
}

void Igievnt_Close(void)
{
    IgiDisp_SetZoneList(ZONE_LIST, nullptr);
    for (SLIST*& l : s_lists) {
        SList_Delete(l);
        l = nullptr;
    }
}

SLIST* Igievnt_BuildList(int listmode) { return listmode >= 0 && listmode < LM_COUNT ? s_lists[listmode] : nullptr; }

static SLIST* Current(void) { return Igievnt_BuildList(igi_nfo.listmode); }

static void AddUnitTypes(SLIST* l, int team, const BUILDING* maker)
{
    for (int i = 0; i < Units_UnitTypeCount(); i++) {
        const UNITTYPE* t = Units_GetTypePtr(i);
        if (!PREREQ_HavePlans(t->prereq.id, team)) continue;
        int decoy = t->decoy == DM_ISDECOY;
        if (maker) {
            if (decoy || !PREREQ_CanThisMakeThat(maker->buildingtype->prereq.id, t->prereq.id, team)) continue;
        } else if (decoy != (igi_nfo.decoy != 0)) {
            continue;
        }
        SList_AddEntry(l, SLIST_END, t->description, i, t->prereq.id, 0);
    }
}

// Building types carry no hidden mark yet: every type with plans shows.
static void AddBuildingTypes(SLIST* l, int team, int spied)
{
    for (int i = 0; i < g_NrBuildingTypes; i++) {
        const BUILDINGTYPE* t = &g_BuildingTypes[i];
        if (!PREREQ_HavePlans(t->prereq.id, team)) continue;
        int decoy = t->decoyof != nullptr;
        if (spied ? decoy : decoy != (igi_nfo.decoy != 0)) continue;
        SList_AddEntry(l, SLIST_END, t->description, i, t->prereq.id, 0);
    }
}

void Igievnt_RefillBuildList(void)
{
    SLIST* l = Current();
    if (!l) return;
    SList_Clear(l);
    IgiDisp_SetZoneList(ZONE_LIST, l);
    IgiDisp_SetZoneDirty(ZONE_LIST);
    if (!LocalValid()) return;
    BUILDING* spied = BuildId_Ptr(&igi_nfo.spybuild);
    switch (igi_nfo.listmode) {
    case LM_UNITS: AddUnitTypes(l, Local(), nullptr); break;
    case LM_BUILDINGS: AddBuildingTypes(l, Local(), 0); break;
    case LM_SPYPLANS: if (spied) AddUnitTypes(l, spied->team, spied); break;
    default: if (spied) AddBuildingTypes(l, spied->team, 1); break;
    }
}

void Igievnt_ScrollBuildList(int dy)
{
    SLIST* l = Current();
    if (l && SList_Scroll(l, 0, dy)) IgiDisp_SetZoneDirty(ZONE_LIST);
}

static UNIT* LocalSpyIn(BUILDING* b)
{
    return b && LocalValid() && b->team != Local() ? UnitId_Ptr(&b->spy[Local()]) : nullptr;
}

int Igievnt_ChooseListMode(void)
{
    UNIT* f = igi_nfo.firstunit;
    if (f && Igievnt_SingleUnitSelected() && f->type->abilities.canbuild) return LM_BUILDINGS;
    BUILDING* b = igi_nfo.sbuild;
    if (LocalSpyIn(b)) {
        if (b->buildingtype->spytype == BSPY_HQ) return LM_SPYHQ;
        if (b->buildingtype->spytype == BSPY_UNITPLAN) return LM_SPYPLANS;
    }
    return LM_UNITS;
}

static void FollowSelection(void)
{
    int mode = Igievnt_ChooseListMode();
    BUILDING* spied = mode >= LM_SPYPLANS ? igi_nfo.sbuild : nullptr;
    if (mode == igi_nfo.listmode && BuildId_Ptr(&igi_nfo.spybuild) == spied) return;
    igi_nfo.listmode = mode;
    if (spied) BuildId_Setup(&igi_nfo.spybuild, spied);
    else BuildId_Clear(&igi_nfo.spybuild);
    Igievnt_RefillBuildList();
}

void Igievnt_RefreshBuildPanel(void)
{
    FollowSelection();
    BUILDING* b = OwnSelected();
    int spied = igi_nfo.listmode >= LM_SPYPLANS;
    const int upgrade = Igizone_GetDisabled(ZONE_UPGRADE), decoy = Igizone_GetDisabled(ZONE_DECOY);
    Igizone_SetDisabled(ZONE_UPGRADE, spied || !b || !b->buildingtype->upgradeto);
    Igizone_SetDisabled(ZONE_DECOY, spied);
    // A disabled button isn't drawn: what it showed stays until the panel's
    // background is drawn again over it.
    if (upgrade != Igizone_GetDisabled(ZONE_UPGRADE) || decoy != Igizone_GetDisabled(ZONE_DECOY))
        Igidisp_SetDirty();
    Igievnt_RefillBuildList();
}

static int SameType(int a, int b)
{
    if (a == b) return 1;
    const UNITTYPE* ta = nullptr;
    const UNITTYPE* tb = nullptr;
    for (int i = 0; i < Units_UnitTypeCount(); i++) {
        const UNITTYPE* t = Units_GetTypePtr(i);
        if (t->prereq.id == a) ta = t;
        if (t->prereq.id == b) tb = t;
    }
    return ta && tb && ta->prereq.equivalence != 0 && ta->prereq.equivalence == tb->prereq.equivalence;
}

int Igievnt_TypeInList(int prereqid, const UNIT* spy)
{
    if (spy)
        for (int i = 0; i < spy->spy.nrplans && i < UNITS_MAXSTOLEN; i++)
            if (SameType(prereqid, spy->spy.plans[i])) return 0;
    if (!LocalValid()) return 1;
    if (PREREQ_HavePlans(prereqid, Local())) return 2;
    if (PREREQ_CanMake(prereqid, Local())) return 3;
    return 1;
}

// --- the unit-type list's clicks ---

static int Constructs(const BUILDING* b, const UNITTYPE* t) { return b->unittypetobuild == t; }

static void RightOnUnitType(int u)
{
    const UNITTYPE* t = Units_GetTypePtr(u);
    if (!t) return;
    if (Shift()) {
        Units_DeleteUnitTypeFromConstructQueue(u);
        return;
    }
    const int team = Local();
    const int canmake = PREREQ_CanMake(t->prereq.id, team);
    if (BUILDING* b = OwnSelected()) {
        if (canmake && PREREQ_CanThisMakeThat(b->buildingtype->prereq.id, t->prereq.id, team))
            AP_UserSetPrimary(b, u);
        if (Constructs(b, t)) {
            if (b->paused) Orders_QCancelConstruct(team, b->id);
            else Orders_QPauseConstruct(team, b->id);
        }
        return;
    }
    if (igi_nfo.sbuild) return;
    if (canmake) AP_UserSetPrimary(nullptr, u);
    int allpaused = 1;
    for (BUILDING* o = teamdata[team].firstbuilding; o; o = o->teamnext)
        if (Constructs(o, t) && !o->paused) allpaused = 0;
    for (BUILDING* o = teamdata[team].firstbuilding; o; o = o->teamnext) {
        if (!Constructs(o, t)) continue;
        if (allpaused) Orders_QCancelConstruct(team, o->id);
        else if (!o->paused) Orders_QPauseConstruct(team, o->id);
    }
}

static void Resume(BUILDING* b, const UNITTYPE* t)
{
    if (b && Constructs(b, t) && b->paused) Orders_QUnpauseConstruct(Local(), b->id);
}

static void StartAt(BUILDING* maker, int u)
{
    const UNITTYPE* t = Units_GetTypePtr(u);
    if (teamdata[Local()].credits >= (int)t->buildcost) {
        Msg(MSG_UNITBUILD);
        Orders_QConstructUnit(Local(), u, maker->id);
    } else {
        Msg(MSG_NOCREDIT);
    }
}

static void LeftOnUnitType(int u)
{
    const UNITTYPE* t = Units_GetTypePtr(u);
    if (!t) return;
    const int team = Local();
    BUILDING* own = OwnSelected();
    int queued = 0, paused = 0;
    if (Shift()) {
        Units_DecrementConstructQueue(u, igi_nfo.sbuild);
        AP_GetUnitTypeInfo(igi_nfo.sbuild, u, &queued, &paused);
        if (AP_IsUnitTypeProduced(u) && queued == 0) AP_DistributeOrders(igi_nfo.sbuild, u);
        return;
    }
    if (igi_nfo.sbuild && !own) return;
    if (!PREREQ_CanMake(t->prereq.id, team)) {
        Resume(own, t);
        return;
    }
    const int produced = AP_IsUnitTypeProduced(u);
    BUILDING* maker = own;
    if (own) {
        Resume(own, t);
        if (!PREREQ_CanThisMakeThat(own->buildingtype->prereq.id, t->prereq.id, team)) return;
        AP_GetUnitTypeInfo(own, u, &queued, &paused);
        if (!Build_IsIdle(own)) {
            int bound = AP_GetPrimaryMaker(team, u) == own ? -1 : own->id;
            if (produced) {
                AP_DistributeOrders(own, u);
                if (queued <= 0) Units_AddToConstructQueue(u, bound);
            } else {
                Units_AddToConstructQueue(u, bound);
            }
            return;
        }
        if (produced && queued > 0) {
            AP_DistributeOrders(own, u);
            return;
        }
    } else {
        for (BUILDING* o = teamdata[team].firstbuilding; o; o = o->teamnext) Resume(o, t);
        if (produced) {
            AP_DistributeOrders(nullptr, u);
            return;
        }
        maker = AP_GetPrimaryMaker(team, u);
        if (!maker || !Build_IsIdle(maker)) {
            Units_AddToConstructQueue(u, -1);
            return;
        }
    }
    StartAt(maker, u);
}

static void LeftOnBuildingType(int index)
{
    if (index < 0 || index >= g_NrBuildingTypes) return;
    const BUILDINGTYPE* t = &g_BuildingTypes[index];
    UNIT* f = igi_nfo.firstunit;
    if (!f || !PREREQ_CanMake(t->prereq.id, Local())) return;
    if (!PREREQ_CanThisMakeThat(f->type->prereq.id, t->prereq.id, Local())) return;
    if (t->cost > teamdata[Local()].credits) {
        Msg(MSG_NOCREDIT);
        return;
    }
    igi_nfo.placetype = (uint16_t)index;
    igi_nfo.actionmode = AM_PLACE;
}

static void LeftOnSpiedPlan(int prereqid)
{
    BUILDING* b = igi_nfo.sbuild;
    UNIT* spy = LocalSpyIn(b);
    if (!spy || spy->spy.nrplans >= UNITS_MAXSTOLEN) return;
    int r = Igievnt_TypeInList(prereqid, spy);
    if (r == 1 || r == 3) Orders_QSpy(Local(), spy->id, b->id, 3, prereqid);
}

// --- the handlers ---

static void ListDragStep(void)
{
    if (igi_nfo.buttonlock != LOCK_LIST) return;
    if (!igi_nfo.dragging) {
        if (std::abs(igi_nfo.mousex - igi_nfo.pressx) < IGI_LISTDRAGTHRESHOLD &&
            std::abs(igi_nfo.mousey - igi_nfo.pressy) < IGI_LISTDRAGTHRESHOLD)
            return;
        igi_nfo.dragging = 1;
        Mouse_HideCursor();
        Mouse_SetPos(IGI_LISTDRAGX, IGI_LISTDRAGY);
        return;
    }
    Igievnt_ScrollBuildList(igi_nfo.mousey - IGI_LISTDRAGY);
    Mouse_SetPos(IGI_LISTDRAGX, IGI_LISTDRAGY);
}

static int EntryUnderPointer(int32_t* data1, int32_t* data2)
{
    SLIST* l = Current();
    return l ? SList_SelectAt(l, igi_nfo.event.x, igi_nfo.event.y, nullptr, data1, data2) : -1;
}

static void RightUp(void)
{
    if (igi_nfo.buttonlock != LOCK_LIST) {
        Igievnt_Cancel();
        return;
    }
    Mouse_SetClipRect(0, 0, IGI_ZONEXMAX, IGI_ZONEYMAX);
    igi_nfo.buttonlock = LOCK_NONE;
    if (igi_nfo.dragging) {
        igi_nfo.dragging = 0;
        Mouse_SetPos(igi_nfo.pressx, igi_nfo.pressy);
        Mouse_ShowCursor();
        return;
    }
    int32_t d1, d2;
    if (igi_nfo.listmode == LM_UNITS && EntryUnderPointer(&d1, &d2) >= 0) RightOnUnitType(d1);
}

static void LeftUp(void)
{
    int32_t d1, d2;
    if (EntryUnderPointer(&d1, &d2) < 0) return;
    switch (igi_nfo.listmode) {
    case LM_UNITS: LeftOnUnitType(d1); break;
    case LM_BUILDINGS: LeftOnBuildingType(d1); break;
    default: LeftOnSpiedPlan(d2); break;
    }
}

void Igievnt_BuildPanelHandler(uint32_t zd, uint32_t reason)
{
    if (reason == ZR_UPDATE) {
        FollowSelection();
        ListDragStep();
        return;
    }
    if (reason != ZR_INPUT || !LocalValid()) return;
    switch (igi_nfo.event.kind) {
    case EV_RIGHTDOWN:
        if (igi_nfo.dragmode != DRAG_NONE || igi_nfo.buttonlock != LOCK_NONE) break;
        {
            const ZONE& z = igi_nfo.zone.data[zd];
            Mouse_SetClipRect(z.lx, z.ly, z.rx, z.ry);
        }
        igi_nfo.buttonlock = LOCK_LIST;
        igi_nfo.pressx = igi_nfo.event.x;
        igi_nfo.pressy = igi_nfo.event.y;
        igi_nfo.dragging = 0;
        break;
    case EV_RIGHTUP: RightUp(); break;
    case EV_LEFTUP:
    case EV_LEFTDOUBLEUP: LeftUp(); break;
    default: break;
    }
}

static int LeftRelease(uint32_t reason)
{
    return reason == ZR_INPUT && (igi_nfo.event.kind == EV_LEFTUP || igi_nfo.event.kind == EV_LEFTDOUBLEUP);
}

void Igievnt_BuildScrollHandler(uint32_t zd, uint32_t reason)
{
    if (!LeftRelease(reason)) return;
    Igievnt_ScrollBuildList(zd == ZONE_UP ? -IGI_LISTSTEP : IGI_LISTSTEP);
}

void Igievnt_DecoyHandler(uint32_t zd, uint32_t reason)
{
    if (!LeftRelease(reason)) return;
    Msg(MSG_SFXBUTTONCLICK);
    if (igi_nfo.zone.data[zd].button.pressed) Igievnt_ButtonUp((int)zd);
    else Igievnt_ButtonDown((int)zd);
    igi_nfo.decoy = igi_nfo.zone.data[zd].button.pressed ? 1 : 0;
    Igievnt_RefillBuildList();
}

void Igievnt_UpgradeHandler(uint32_t zd, uint32_t reason)
{
    if (reason == ZR_UPDATE) {
        Igievnt_ButtonUp((int)zd);
        return;
    }
    if (!LeftRelease(reason)) return;
    Msg(MSG_SFXBUTTONCLICK);
    Igievnt_ButtonDown((int)zd);
    BUILDING* b = OwnSelected();
    if (!b) return;
    int answer = Build_CanUpgrade(b);
    if (answer == BUP_OK) Orders_QUpgradeBuilding(Local(), b->id);
    else if (answer == BUP_NOCREDITS) Msg(MSG_NOCREDIT);
    else igi_nfo.upgraderefused = 1;
}
