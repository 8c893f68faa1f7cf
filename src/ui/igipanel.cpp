#include "ui/igipanel.h"

#include "core/gamestate.h"
#include "platform/input.h"
#include "platform/sound.h"
#include "rules/gamemsg.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igicomms.h"
#include "ui/igidisp.h"
#include "ui/igievnt.h"
#include "ui/igimenu.h"
#include "ui/igitrail.h"
#include "ui/textedit.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unithold.h"

// --- messages ---

static int s_msgcount[MSG_STDCOUNT];

void Igipanel_Msg(int id)
{
    if (id < 0 || id >= MSG_STDCOUNT) return;
    s_msgcount[id]++;
    GameMsg_TriggerStd(GameMsg_Std(id));
}

void Igipanel_MsgVar(int id, const GAMEMSG_ARG* args, int nargs)
{
    if (id < 0 || id >= MSG_STDCOUNT) return;
    s_msgcount[id]++;
    GameMsg_TriggerVar(GameMsg_Std(id), args, nargs);
}

int Igipanel_MsgCount(int id) { return id >= 0 && id < MSG_STDCOUNT ? s_msgcount[id] : 0; }

void Igipanel_ResetMsgCounts(void)
{
    for (int& c : s_msgcount) c = 0;
}

// --- helpers ---

static int Team(void) { return g_LocalTeam; }
static const UNITLIST* Sel(void) { return &igi_nfo.selected; }

// With nothing selected the player hears why nothing happens.
static int NeedUnit(void)
{
    if (igi_nfo.firstunit) return 1;
    Igipanel_Msg(MSG_NEEDUNIT);
    return 0;
}

static int LeftRelease(uint32_t reason) { return reason == ZR_INPUT && igi_nfo.event.kind == EV_LEFTUP; }

static int Clamp2(int v) { return v < 0 ? 0 : v > 2 ? 2 : v; }

// --- the orders panel ---

static void AutoMoveButton(uint32_t zd)
{
    int mode = (int)zd - 33;
    if (!NeedUnit()) return;
    if (igi_nfo.automove != mode) Orders_QAutoMoveOn(Team(), Sel(), mode);
    else Orders_QAutoMoveOff(Team(), Sel());
}

static void Preset(int tenacity, int selfpreservation, int autonomy)
{
    if (!NeedUnit()) return;
    Orders_QSetTenacity(Team(), Sel(), tenacity);
    Orders_QSetSelfPreservation(Team(), Sel(), selfpreservation);
    Orders_QSetAutonomy(Team(), Sel(), autonomy);
}

static void PresetButton(uint32_t zd)
{
    if (zd == 36) return Preset(0, 0, 2);
    if (zd == 37) return Preset(2, 0, 1);
    if (Team() < 0 || Team() >= TEAM_MAXTEAMS) return;
    const TEAM_UNITDEF& d = teamdata[Team()].unitdef;
    Preset(Clamp2(d.tenacity), Clamp2(d.selfpreservation), Clamp2(d.autonomy));
}

static void SetDefaultsButton(uint32_t)
{
    if (!igi_nfo.firstunit) return;
    Orders_QTacticalAI(Team(), igi_nfo.tenacity, igi_nfo.selfpreservation, igi_nfo.autonomy);
}

void Igievnt_OrdersTabHandler(uint32_t zd, uint32_t reason)
{
    // The tabs are part of the panel's background.
    if (reason == ZR_DRAW) IgiDisp_ClearZoneDirty((int)zd);
    if (!LeftRelease(reason)) return;
    igi_nfo.orderspage = zd == 31 ? 0 : 1;
    Igievnt_SetMfdMode(MFD_ORDERS);
}

enum { TACTICAL_X = 548, TACTICAL_CELL = 30 };

int Igievnt_TacticalLevelAt(int zd, int x)
{
    int level = (x - TACTICAL_X) / TACTICAL_CELL;
    level = Clamp2(level);
    return zd == 39 ? 2 - level : level;
}

void Igievnt_TacticalRowHandler(uint32_t zd, uint32_t reason)
{
    if (reason == ZR_DRAW) {
        IgiDisp_SetZoneDirty((int)zd);
        IgiDisp_DrawZone((int)zd);
        return;
    }
    if (!LeftRelease(reason) || !NeedUnit()) return;
    int level = Igievnt_TacticalLevelAt((int)zd, igi_nfo.event.x);
    if (zd == 41) Orders_QSetTenacity(Team(), Sel(), level);
    else if (zd == 39) Orders_QSetSelfPreservation(Team(), Sel(), level);
    else Orders_QSetAutonomy(Team(), Sel(), level);
}

// --- the special panel ---

static void MorphButton(uint32_t) { Igievnt_SetActionMode(AM_MORPH); }

static void UnmorphButton(uint32_t)
{
    if (igi_nfo.firstunit) Orders_QUnmorph(Team(), Sel());
    Igievnt_SetActionMode(AM_DEFAULT);
}

static void SelfDestructButton(uint32_t)
{
    if (igi_nfo.firstunit) Orders_QSelfDestruct(Team(), Sel());
}

static void PhaseButton(uint32_t zd)
{
    if (!igi_nfo.firstunit) return;
    if (zd == 77) Orders_QPhase(Team(), Sel());
    else Orders_QUnphase(Team(), Sel());
}

static void FormationButton(uint32_t) { Igievnt_SetActionMode(AM_MOVE2); }
static void WaterSaleButton(uint32_t) { Igievnt_SellResource(); }

static BUILDING* OwnSelectedBuilding(void)
{
    BUILDING* b = igi_nfo.sbuild;
    return b && b->team == Team() ? b : nullptr;
}

static void ExitPointButton(uint32_t)
{
    if (OwnSelectedBuilding()) Igievnt_SetActionMode(AM_PRODDEST);
}

void Igievnt_BtnPack(uint32_t)
{
    if (BUILDING* b = OwnSelectedBuilding()) {
        if (Build_CanPack(b)) Orders_QPackBuilding(Team(), b->id);
        return;
    }
    UNIT* f = igi_nfo.firstunit;
    if (!f) return;
    if (Units_HasBuildingPackage(f) && f->building_package->building_type) {
        igi_nfo.placetype = (uint16_t)f->building_package->building_type->index;
        if (igi_nfo.actionmode != AM_PLACE) Igievnt_SetActionMode(AM_PLACE);
        return;
    }
    for (UNITLISTELEM* e = igi_nfo.selected.head; e; e = e->next) {
        UNIT* u = UnitId_Ptr(&e->u);
        BUILDING* b = u ? BuildId_Ptr(&u->partof) : nullptr;
        if (!b) continue;
        Orders_QPackBuilding(Team(), b->id);
        return;
    }
}

// --- set-up ---

static void DefineOrdersPanel(void)
{
    const int both = ZL_ORDERS | ZL_ORDERSET;
    Igievnt_DefinePlain(31, Igievnt_OrdersTabHandler, 448, 64, 96, 32, both);
    Igievnt_DefinePlain(32, Igievnt_OrdersTabHandler, 544, 64, 96, 32, both);
    Igievnt_DefineStdButton(33, AutoMoveButton, "IGI_ORORD1", SBT_SML, 478, 118, both);
    Igievnt_DefineStdButton(34, AutoMoveButton, "IGI_ORORD2", SBT_SML, 559, 118, both);
    Igievnt_DefineStdButton(35, AutoMoveButton, "IGI_ORORD3", SBT_MED, 502, 143, both);
    Igievnt_DefineStdButton(36, PresetButton, "IGI_ORPRE1", SBT_SML, 478, 190, both);
    Igievnt_DefineStdButton(37, PresetButton, "IGI_ORPRE2", SBT_SML, 559, 190, both);
    Igievnt_DefineStdButton(38, PresetButton, "IGI_ORPRE3", SBT_MED, 502, 215, both);
    Igievnt_DefinePlain(39, Igievnt_TacticalRowHandler, 548, 266, 90, 22, ZL_ORDERSET);
    Igievnt_DefinePlain(40, Igievnt_TacticalRowHandler, 548, 292, 90, 22, ZL_ORDERSET);
    Igievnt_DefinePlain(41, Igievnt_TacticalRowHandler, 548, 240, 90, 22, ZL_ORDERSET);
    Igievnt_DefineStdButton(42, SetDefaultsButton, "IGI_ORSETD", SBT_MED, 502, 317, ZL_ORDERSET);
}

static void DefineSpecialPanel(void)
{
    static const struct {
        int zd;
        ZONE_ACTION action;
        const char* key;
        int sbt, x, y;
    } buttons[] = {
        {74, MorphButton, "IGI_SPMORP", SBT_SML, 482, 100},
        {75, UnmorphButton, "IGI_SPREVE", SBT_SML, 559, 100},
        {76, SelfDestructButton, "IGI_SPSELF", SBT_MED, 504, 150},
        {77, PhaseButton, "IGI_SPPHAS", SBT_SML, 482, 125},
        {78, PhaseButton, "IGI_SPUNPH", SBT_SML, 559, 125},
        {79, FormationButton, "IGI_SPFORM", SBT_MED, 504, 175},
        {80, WaterSaleButton, "IGI_SPWATE", SBT_MED, 504, 250},
        {81, Igievnt_BtnPack, "IGI_SPPACK", SBT_MED, 504, 275},
        {82, ExitPointButton, "IGI_SPEXIT", SBT_MED, 504, 300},
    };
    for (const auto& b : buttons) Igievnt_DefineStdButton(b.zd, b.action, b.key, b.sbt, b.x, b.y, ZL_SPECIAL);
}

void Igipanel_DefineZones(void)
{
    Igicomms_DefineZones();
    Igimenu_DefineZones();
    DefineOrdersPanel();
    Igitrail_DefineZones();
    // The special panel's buttons are defined twice, as the frame's zones
    // are: the count of definitions says whether every panel was set up.
    DefineSpecialPanel();
    DefineSpecialPanel();
}

void Igipanel_ResetState(void)
{
    Igicomms_ResetState();
    Igitrail_ResetState();
}

void Igipanel_Close(void)
{
    Igitrail_Close();
    Igimenu_Close();
}
