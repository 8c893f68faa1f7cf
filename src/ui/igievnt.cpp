#include "ui/igievnt.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/debug.h"
#include "core/error.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "platform/cursor.h"
#include "platform/input.h"
#include "platform/sound.h"
#include "platform/video.h"
#include "rules/tfgen.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igibuild.h"
#include "ui/igidisp.h"
#include "ui/igimenu.h"
#include "ui/textedit.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/unit.h"

// --- selection ---

static void RefreshFirst(void) { igi_nfo.firstunit = Units_ListGetFirst(&igi_nfo.selected); }

void Igievnt_SelectUnit(UNIT* unit)
{
    Units_ListAppend(&igi_nfo.selected, unit, unit->id, unit->team);
    RefreshFirst();
}

int Igievnt_IsUnitSelected(const UNIT* unit)
{
    return unit && Units_ListFind(&igi_nfo.selected, unit->id) != nullptr;
}

void Igievnt_SelectUnitOnce(UNIT* unit)
{
    if (!Igievnt_IsUnitSelected(unit)) Igievnt_SelectUnit(unit);
}

void Igievnt_DeselectUnit(UNIT* unit)
{
    Units_ListDelete(&igi_nfo.selected, unit->id);
    RefreshFirst();
}

void Igievnt_ToggleUnit(UNIT* unit)
{
    if (Igievnt_IsUnitSelected(unit)) Igievnt_DeselectUnit(unit);
    else Igievnt_SelectUnit(unit);
}

void Igievnt_ClearSelection(void)
{
    Units_ListClear(&igi_nfo.selected);
    igi_nfo.firstunit = nullptr;
}

int Igievnt_SingleUnitSelected(void) { return Units_ListSize(&igi_nfo.selected) == 1; }

void Igievnt_ValidateSelection(void)
{
    Units_ListValidateTeamOnMap(&igi_nfo.selected, g_LocalTeam);
    RefreshFirst();
    Igievnt_UpdateOrderSettings();
}

static void ResetPlacingModes(void)
{
    int m = igi_nfo.actionmode;
    if ((m >= AM_TRAILINS0 && m <= AM_PLACE) || (m >= AM_SELL && m <= AM_CLUSTER)) Igievnt_SetActionMode(AM_DEFAULT);
}

void Igievnt_SelectBox(int x1, int y1, int x2, int y2, int add)
{
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (!add) Igievnt_ClearSelection();
    ITERATOR it;
    Iterate_UnitInitMapGrid(&it, g_LocalTeam, 0, MM_ALL, x1, y1, x2, y2);
    for (UNIT* u = Iterate_UnitNextMapGrid(&it); u; u = Iterate_UnitNextMapGrid(&it)) Igievnt_SelectUnitOnce(u);
    ResetPlacingModes();
    Igievnt_UpdateOrderSettings();
    if (igi_nfo.firstunit) Igievnt_PlayUnitSound(igi_nfo.firstunit, 0);
}

void Igievnt_DropBuilding(void)
{
    const int had = igi_nfo.sbuild != nullptr;
    igi_nfo.sbuild = nullptr;
    BuildId_Clear(&igi_nfo.sbuildid);
    // Its upgrade button and spied lists go with it.
    if (had) Igievnt_RefreshBuildPanel();
}

void Igievnt_SelectBuilding(BUILDING* building)
{
    Igievnt_DropBuilding();
    Igievnt_ClearSelection();
    int any = 0;
    for (UNITID& h : building->bay) {
        UNIT* u = UnitId_Ptr(&h);
        if (!u) continue;
        Igievnt_SelectUnitOnce(u);
        any = 1;
    }
    if (any) {
        Igievnt_ValidateSelection();
        if (igi_nfo.firstunit) Igievnt_PlayUnitSound(igi_nfo.firstunit, 0);
        return;
    }
    BuildId_Setup(&igi_nfo.sbuildid, building);
    igi_nfo.sbuild = building;
}

void Igievnt_ReplaceSelectedBuilding(int oldid, BUILDING* newbuilding)
{
    if (!igi_nfo.sbuild || igi_nfo.sbuildid.id != oldid || !newbuilding) return;
    Igievnt_SelectBuilding(newbuilding);
    Igievnt_RefreshBuildPanel(); // the new type's upgrade, if any
}

void Igievnt_ReplaceUnit(int oldid, UNIT* newunit)
{
    if (Units_ListFind(&igi_nfo.selected, oldid)) {
        Units_ListDelete(&igi_nfo.selected, oldid);
        Igievnt_SelectUnitOnce(newunit);
        Igievnt_ValidateSelection();
    }
    for (int g = 0; g < UNITS_IGIGROUPS; g++) {
        if (!Units_ListFind(&igi_nfo.group[g], oldid)) continue;
        Igievnt_GroupRemoveId(g, oldid);
        Igievnt_GroupAddUnit(g, newunit);
    }
}

// --- groups ---

static void CheckGroup(int group)
{
    ASSERT(group >= 0);
    ASSERT(group < UNITS_IGIGROUPS);
}

void Igievnt_GroupAddUnit(int group, UNIT* unit)
{
    CheckGroup(group);
    if (unit->interfaceinfo.group[group] && Units_ListFind(&igi_nfo.group[group], unit->id)) return;
    Units_ListAppend(&igi_nfo.group[group], unit, unit->id, unit->team);
    unit->interfaceinfo.group[group] = 1;
}

void Igievnt_GroupRemoveId(int group, int id)
{
    CheckGroup(group);
    UNITLISTELEM* e = Units_ListFind(&igi_nfo.group[group], id);
    if (!e) return;
    // Read the handle without resolving it: resolving a stale handle clears
    // its id, and the element could then no longer be removed by that id.
    UNIT* u = e->u.unit && e->u.unit->id == id ? e->u.unit : nullptr;
    Units_ListDelete(&igi_nfo.group[group], id);
    if (u) u->interfaceinfo.group[group] = 0;
}

void Igievnt_GroupRemoveUnit(int group, UNIT* unit)
{
    CheckGroup(group);
    unit->interfaceinfo.group[group] = 0;
    Units_ListDelete(&igi_nfo.group[group], unit->id);
}

void Igievnt_GroupClear(int group)
{
    CheckGroup(group);
    UNIT* u;
    int id;
    while (Units_ListRemoveFirst(&igi_nfo.group[group], &u, &id))
        if (u) u->interfaceinfo.group[group] = 0;
}

void Igievnt_GroupAddList(int group, UNITLIST* list)
{
    CheckGroup(group);
    for (UNITLISTELEM* e = list->head; e; e = e->next) {
        UNIT* u = UnitId_Ptr(&e->u);
        if (u) Igievnt_GroupAddUnit(group, u);
    }
}

// --- modes and buttons ---

static void CheckButton(int zd)
{
    ASSERT(zd>=0 && zd<ZD_MAXIMUM);
    ASSERT(igi_nfo.zone.data[zd].type == ZT_STDBTN);
}

void Igievnt_ButtonDown(int zd)
{
    CheckButton(zd);
    ZONE* z = &igi_nfo.zone.data[zd];
    if (!z->button.pressed) z->dirty = 1;
    z->button.pressed = 1;
}

void Igievnt_ButtonUp(int zd)
{
    CheckButton(zd);
    ZONE* z = &igi_nfo.zone.data[zd];
    if (z->button.pressed) z->dirty = 1;
    z->button.pressed = 0;
}

static const struct {
    int mode, zd;
} s_modeButtons[] = {
    {AM_FIRE, 12}, {AM_FIRENOMV, 13}, {AM_TRAILINS0, 45}, {AM_MORPH, 74},
    {AM_SELL, 8},  {AM_POWER, 9},     {AM_REPAIR, 10},
};

void Igievnt_SetActionMode(int newmode)
{
    ASSERT(newmode>=0 && newmode<AM_MAXIMUM);
    if (newmode == igi_nfo.actionmode) newmode = AM_DEFAULT;
    for (const auto& b : s_modeButtons) Igievnt_ButtonUp(b.zd);
    igi_nfo.actionmode = newmode;
    for (const auto& b : s_modeButtons)
        if (b.mode == newmode) Igievnt_ButtonDown(b.zd);
}

int Igievnt_IsIdle(void) { return igi_nfo.dragmode == 0 && igi_nfo.buttonlock == 0; }

static int PanelMask(int mode)
{
    switch (mode) {
    case MFD_BUILD: return ZL_BUILD;
    case MFD_ORDERS: return igi_nfo.orderspage ? ZL_ORDERSET : ZL_ORDERS;
    case MFD_TRAIL: return igi_nfo.trailpage ? ZL_TRAILGLOBAL : ZL_TRAILLOCAL;
    case MFD_COMMS: return ZL_COMMS;
    case MFD_MENU: return ZL_MENU;
    case MFD_SPECIAL: return ZL_SPECIAL;
    default: ERR_FATAL(ERRC_FATAL, "Invalid mfd mode [%d]", mode);
    }
    return 0;
}

int Igievnt_SetMfdMode(int mode)
{
    if (igi_nfo.buttonlock) return 0;
    if (mode == MFD_COMMS && !(g_DebugFlags & DBG_DEBUGMODE) && !g_NetworkGame) return 0;
    int mask = PanelMask(mode);
    igi_nfo.mfdmode = mode;
    igi_nfo.actionmode = AM_DEFAULT;
    Igievnt_SetActionMode(AM_DEFAULT);
    for (int zd = 15; zd <= 20; zd++) Igievnt_ButtonUp(zd);
    Igievnt_ButtonDown(14 + mode);
    if (mode == MFD_MENU) Igimenu_RefillList();
    Igizone_SetActiveMask(mask);
    if (mode == MFD_BUILD) Igievnt_RefreshBuildPanel();
    Igidisp_SetDirty(); // the new panel's background too
    return 1;
}

static int TacticalOf(const UNIT* u, int which)
{
    const UNIT_TACTAI& t = u->usertactaiinfo;
    return which == 0 ? t.tenacity : which == 1 ? t.selfpreservation : t.autonomy;
}

static int AutomoveOf(const UNIT* u)
{
    if (u->sorder.code == SO_AUTOMOVE) return u->sorder.automove.level;
    if (u->snextorder.code == SO_AUTOMOVE) return u->snextorder.automove.level;
    return 3;
}

static int CanMorph(const UNIT* u)
{
    return u->type && (u->type->abilities.canmorphunit || u->type->abilities.canmorphovl);
}

void Igievnt_UpdateOrderSettings(void)
{
    IGI_NFO& n = igi_nfo;
    n.commontype = nullptr;
    n.tenacity = n.selfpreservation = n.autonomy = 3;
    n.canmorph = n.allphased = 0;
    n.automove = 3;
    int first = 1;
    for (UNITLISTELEM* e = n.selected.head; e; e = e->next) {
        UNIT* u = UnitId_Ptr(&e->u);
        if (!u) continue;
        if (first) {
            n.commontype = u->type;
            n.tenacity = TacticalOf(u, 0);
            n.selfpreservation = TacticalOf(u, 1);
            n.autonomy = TacticalOf(u, 2);
            n.canmorph = (uint8_t)CanMorph(u);
            n.allphased = (uint8_t)u->isphased;
            n.automove = AutomoveOf(u);
            first = 0;
            continue;
        }
        if (u->type != n.commontype) n.commontype = nullptr;
        if (TacticalOf(u, 0) != n.tenacity) n.tenacity = 3;
        if (TacticalOf(u, 1) != n.selfpreservation) n.selfpreservation = 3;
        if (TacticalOf(u, 2) != n.autonomy) n.autonomy = 3;
        if (!CanMorph(u)) n.canmorph = 0;
        if (!u->isphased) n.allphased = 0;
        if (AutomoveOf(u) != n.automove) n.automove = 3;
    }
    if (n.automove != 3) n.tenacity = n.selfpreservation = n.autonomy = 3;
}

void Igievnt_HandleGameEvent(int kind)
{
    switch (kind) {
    case 0:
        if (Igizone_IsDefined(67)) {
            int range = igi_nfo.zone.data[67].button.range;
            Igievnt_SetSliderValue(67, g_UpdatesPerSecond < range ? g_UpdatesPerSecond : range);
        }
        break;
    case 1: Igievnt_RefreshBuildPanel(); break;
    default: Tlog_Printf(TLOG_ERROR, "Unknown event type [%d]", kind); break;
    }
}

// --- sounds ---

void Igievnt_PlayUnitSound(UNIT* unit, int set)
{
    if (!unit || !unit->type || set < 0 || set >= UNITTYPE_SOUNDSETS) return;
    const UNITTYPE_SOUNDSET& s = unit->type->sound[set];
    int count = s.count < UNITTYPE_SOUNDS ? s.count : UNITTYPE_SOUNDS;
    if (count <= 0) return;
    Sound_Effect(&s.effect[Rand_NextLocal(count)], unit->id);
}

static int IntSqrt(int v)
{
    int r = 0;
    while ((r + 1) * (r + 1) <= v) r++;
    return r;
}

int Igievnt_PlaySoundNear(const SOUND_EFFECT* effect, int x, int y, int owner)
{
    // Most weapons and units are silent, and the units move and fight
    // outside a game too (tools, tests) where no general rules were read:
    // a silent effect never needs the radius.
    if (Sound_IsClearedEffect(effect)) return 0;
    int radius = g_General.sfxradius;
    ASSERT(radius != 0);
    int seen = 0;
    for (int dy = -1; dy <= 1 && !seen; dy++)
        for (int dx = -1; dx <= 1 && !seen; dx++) {
            int tx = x + dx, ty = y + dy;
            if (tx >= 0 && ty >= 0 && tx < mapsizex && ty < mapsizey && Fog_IsSeen(tx, ty, g_LocalTeam)) seen = 1;
        }
    if (!seen) return 0;
    int ax = x - g_MapView.tilex - 10, ay = y - g_MapView.tiley - 10;
    if (ax < 0) ax = -ax;
    if (ay < 0) ay = -ay;
    // Coordinates are tiles of a map of at most a few hundred a side, so the
    // square fits easily; the root is whole tiles.
    int d = IntSqrt(ax * ax + ay * ay);
    if (d > radius) return 0;
    int volume = effect->volume * (radius - d) / radius;
    return Sound_PlaySoundEffect(effect, owner, volume, radius - d) ? 1 : 0;
}

// --- the rest ---

static int CanStore(const BUILDING* b)
{
    if (!b || !b->buildingtype) return 0;
    for (const BUILDTYPE_RESOURCE& r : b->buildingtype->resource)
        if (r.maxstored > 0) return 1;
    return 0;
}

static int Stored(const BUILDING* b)
{
    int sum = 0;
    for (int s : b->stored) sum += s;
    return sum;
}

void Igievnt_SellResource(void)
{
    BUILDING* pick = nullptr;
    if (igi_nfo.sbuild && igi_nfo.sbuild->team == g_LocalTeam && CanStore(igi_nfo.sbuild)) pick = igi_nfo.sbuild;
    for (UNITLISTELEM* e = igi_nfo.selected.head; e && !pick; e = e->next) {
        UNIT* u = UnitId_Ptr(&e->u);
        if (u) pick = BuildId_Ptr(&u->partof);
    }
    if (!pick) {
        for (BUILDING* b = teamdata[g_LocalTeam].firstbuilding; b; b = b->teamnext)
            if (CanStore(b) && (!pick || Stored(b) > Stored(pick))) pick = b;
    }
    if (pick) Orders_QSellResource(g_LocalTeam, pick->id);
}

void Igievnt_DebugModeOn(void)
{
    g_DebugFlags |= DBG_DEBUGMODE;
    Display_Message("Debug mode is on");
    Display_Message("Game processing may now be incorrect - no bug reports please!");
    Tlog_Printf(1, "SCF on linear input device");
}

void Igievnt_InjectEvent(int zd, uint32_t kind, int onlyactive)
{
    if (onlyactive && !Igizone_IsDefined(zd)) return;
    igi_nfo.event.kind = kind;
    Igizone_CallHandler(zd, ZR_INPUT);
}

// One field edits at a time: the one holding the lock. Keys repeat only
// while it edits (a held Backspace deletes on), so held hot keys don't; a
// refused character says once that the field is full, until a key is taken.
static TEXTFIELD s_field;
static int s_fullSaid;

static void EndEdit(ZONE* z)
{
    Input_EnableKeyRepeat(0);
    igi_nfo.lockzone = ZD_NULL;
    z->button.editing = 0;
    z->dirty = 1;
    Mouse_ShowCursor();
    Mouse_SetClipRect(0, 0, IGI_ZONEXMAX, IGI_ZONEYMAX);
}

int Igievnt_HandleEditZone(int zd)
{
    ASSERT(zd >= 0 && zd < ZD_MAXIMUM);
    ZONE* z = &igi_nfo.zone.data[zd];
    ZONE_BUTTON& b = z->button;
    if (!b.buffer) return 0;
    const IGI_EVENT& ev = igi_nfo.event;
    if (!b.editing) {
        if (ev.kind != EV_LEFTUP) return 0;
        ASSERT(igi_nfo.lockzone == ZD_NULL);
        igi_nfo.lockzone = (uint32_t)zd;
        b.editing = 1;
        z->dirty = 1;
        Mouse_HideCursor();
        Mouse_SetClipRect(z->lx, z->ly, z->rx, z->ry);
        snprintf(b.kept, sizeof b.kept, "%s", b.buffer);
        Input_EnableKeyRepeat(1);
        s_fullSaid = 0;
        TextField_Init(&s_field, b.textx, b.texty, b.textw, TFA_LEFT, b.buffer, (size_t)b.maxlen + 1,
                       (int)b.charclass, (int)strlen(b.buffer), 0, 255, 0);
        return 0;
    }
    if (ev.kind != EV_KEY) return 0;
    int r = TextField_Key(&s_field, (int)ev.key, ev.ch, (int)ev.modifiers);
    z->dirty = 1;
    if (r == TE_FULL && !s_fullSaid) Display_Message("The field is full: %d characters fit", s_field.edit.length);
    s_fullSaid = r == TE_FULL;
    if (r != TE_ACCEPT && r != TE_CANCEL) return 0;
    EndEdit(z);
    if (r == TE_CANCEL || b.buffer[0] == 0) {
        // The kept copy came from this buffer, so it fits.
        memcpy(b.buffer, b.kept, strlen(b.kept) + 1);
    }
    return r == TE_ACCEPT;
}

const TEXTFIELD* Igievnt_EditedField(void) { return igi_nfo.lockzone ? &s_field : nullptr; }
