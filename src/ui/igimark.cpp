// The markers of the map view and the building placement outline.
#include "ui/igimark.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>

#include "core/gamestate.h"
#include "core/mlstring.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "platform/input.h"
#include "platform/video.h"
#include "rules/tfgen.h"
#include "ui/igi.h"
#include "ui/igibuild.h"
#include "ui/igidisp.h"
#include "ui/igizone.h"
#include "ui/slist.h"
#include "ui/igimouse.h"
#include "ui/igipump.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/constructq.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

enum { NAME_FONT = 1, TEXT_FONT = 1, C_BLACK = 0, CHARGE_COLOUR = 93, SECOND_COLOUR = 26,
       STORE0_COLOUR = 26, STORE1_COLOUR = 24, STATE_COLOUR = 24, HOLD_FULL = 22, HOLD_FREE = 138 };

// Straight lines as one-pixel rectangles: the markers draw hundreds a frame.
void HLine(BITMAP* dst, const GRECT* clip, int x1, int x2, int y, int c)
{
    Graph_FillRect(dst, clip, 0, std::min(x1, x2), y, std::abs(x2 - x1) + 1, 1, (uint8_t)c);
}

void VLine(BITMAP* dst, const GRECT* clip, int x, int y1, int y2, int c)
{
    Graph_FillRect(dst, clip, 0, x, std::min(y1, y2), 1, std::abs(y2 - y1) + 1, (uint8_t)c);
}

void Centred(BITMAP* dst, const GRECT* clip, int cx, int y, const char* text, int font)
{
    Font_Print(cx - Font_StringWidth(text, font) / 2, y, text, 0, font, nullptr, clip, dst);
}

int RelationColour(int team)
{
    switch (Team_GetRelation(g_LocalTeam, team)) {
    case TR_ENEMY: return IGIMARK_ENEMY;
    case TR_NEUTRAL: return IGIMARK_NEUTRAL;
    default: return IGIMARK_ALLY;
    }
}

// The share of w filled by value out of max, kept within 0 .. w.
int Share(int w, int value, int max)
{
    if (w <= 0 || value <= 0) return 0;
    if (max <= 0 || value >= max) return w;
    return (int)((int64_t)value * w / max);
}

} // namespace

int IgiMark_HealthColour(int hitpoints, int max)
{
    const int high = std::max(g_General.healthlow, g_General.healthhigh);
    const int low = std::min(g_General.healthlow, g_General.healthhigh);
    if (max < 1 || (int64_t)hitpoints * 100 > (int64_t)high * max) return IGIMARK_HEALTHY;
    if ((int64_t)hitpoints * 100 <= (int64_t)low * max) return IGIMARK_ENEMY;
    return IGIMARK_NEUTRAL;
}

void IgiMark_Bar(BITMAP* dst, const GRECT* clip, int x, int y, int w, int h, int value, int max,
                 int minfill, int fill, int frame)
{
    if (w < 3 || h < 3) return;
    Graph_DrawRect(dst, clip, 0, x, y, w, h, (uint8_t)frame);
    int n = Share(w - 2, value, max);
    if (value >= 1 && n < 1) n = 1;
    n = std::min(std::max(n, minfill), w - 2);
    Graph_FillRect(dst, clip, 0, x + 1, y + 1, n, h - 2, (uint8_t)fill);
    Graph_FillRect(dst, clip, 0, x + 1 + n, y + 1, w - 2 - n, h - 2, IGIMARK_EMPTY);
}

void IgiMark_BarVertical(BITMAP* dst, const GRECT* clip, int x, int y, int w, int h, int value,
                         int max, int fill, int frame)
{
    if (w < 3 || h < 3) return;
    Graph_DrawRect(dst, clip, 0, x, y, w, h, (uint8_t)frame);
    const int n = Share(h - 2, value, max);
    Graph_FillRect(dst, clip, 0, x + 1, y + 1, w - 2, h - 2 - n, IGIMARK_EMPTY);
    Graph_FillRect(dst, clip, 0, x + 1, y + h - 1 - n, w - 2, n, (uint8_t)fill);
}

int IgiMark_UnitColour(const UNIT* u, int hover)
{
    if (u->team != g_LocalTeam) return RelationColour(u->team);
    return hover || u == igi_nfo.firstunit ? IGIMARK_OWNFIRST : IGIMARK_OWNOTHER;
}

int IgiMark_BuildingColour(const BUILDING* b)
{
    if (b->team != g_LocalTeam) return RelationColour(b->team);
    return b == igi_nfo.sbuild ? IGIMARK_OWNOTHER : IGIMARK_OWNBUILD;
}

// ---- units ----

namespace {

struct GEOMETRY {
    int cx, top, half, r, h;
};

// The sprite box of the unit's base part as shown now; a tile-sized box
// around its position when it has no picture.
GEOMETRY UnitGeometry(const UNIT* u)
{
    int w = MAP_TILE_PIXELS, hgt = MAP_TILE_PIXELS, hx = w / 2, hy = hgt / 2;
    const DISPLAYELEMENT* e = u->basepart ? u->basepart->display : nullptr;
    const SPRITE* sp = e ? e->sprite : nullptr;
    if (sp && sp->rsize > 0 && (int)e->frame < sp->fsize) {
        const int rot = (int)((e->direction * (unsigned)sp->rsize + 128) / 256 % (unsigned)sp->rsize);
        const SPRITE_POINT p = Sprite_GetHotspot(sp, 0, (int)e->frame, rot);
        w = sp->w;
        hgt = sp->h;
        hx = p.x;
        hy = p.y;
    }
    GEOMETRY g;
    g.half = w / 2;
    g.cx = u->pixelpos.x - g_MapView.x - hx + g.half;
    g.top = u->pixelpos.y - g_MapView.y - hy + 28;
    g.r = (g.half / 3) * 2;
    g.h = hgt + 4;
    return g;
}

void Brackets(BITMAP* dst, const GRECT* clip, const GEOMETRY& g, int c)
{
    const int l = g.cx - g.half, rgt = g.cx + g.half;
    for (int y : {g.top + 1, g.top + 2 + g.h}) {
        HLine(dst, clip, l, g.cx - g.r - 1, y, c);
        HLine(dst, clip, rgt, g.cx + g.r + 1, y, c);
    }
    for (int x : {l, rgt}) {
        VLine(dst, clip, x, g.top + 2, g.top + 8, c);
        VLine(dst, clip, x, g.top + g.h + 1, g.top + g.h - 5, c);
    }
}

// Life out of the decoy's span, else the weapon's charge, else experience
// toward promotion.
void SecondValue(const UNIT* u, int* value, int* max, int* colour)
{
    const UNITTYPE* t = u->type;
    if (t->decoy == DM_ISDECOY) {
        *value = u->liferemaining;
        *max = t->decoyinfo.n;
        *colour = IGIMARK_BOOST;
    } else if (t->abilities.weaponcharge) {
        *max = t->weaponchargeinfo;
        *value = *max - u->chargeremaining;
        *colour = CHARGE_COLOUR;
    } else {
        *value = (int)std::min<uint32_t>(u->experience, 0x7fffffff);
        *max = t->abilities.canveteran ? t->veteraninfo.n : 0;
        *colour = SECOND_COLOUR;
    }
}

// The construction site the unit is building, or null.
BUILDING* SiteOf(const UNIT* u)
{
    if (u->sorder.code != SO_CONSTRUCT) return nullptr;
    BUILDING* b = Build_AtTile(u->sorder.construct.topleftpos.x, u->sorder.construct.topleftpos.y);
    if (!b || b->state != BS_BEINGBUILT || UnitId_Ptr(&b->whomademe) != u) return nullptr;
    return b;
}

void ThirdRow(BITMAP* dst, const GRECT* clip, const UNIT* u, const GEOMETRY& g, int c)
{
    const UNITTYPE* t = u->type;
    const int y = g.top + g.h + 6, w = 2 * g.r + 1;
    for (int i = 0; i < UNIT_RESOURCES; i++)
        if (u->resource[i] > 0 && t->resource[i][0] > 0) {
            IgiMark_BarVertical(dst, clip, g.cx + g.half + 2, g.top + g.h - 12, 4, 14, u->resource[i],
                                t->resource[i][0], STORE0_COLOUR, c);
            break;
        }
    if (const BUILDING* site = SiteOf(u)) {
        const int team = std::clamp(site->team, 0, TEAM_MAXTEAMS - 1);
        IgiMark_Bar(dst, clip, g.cx - g.r, y, w, 4, site->prodtime - site->prodleft, site->prodtime, 0,
                    teamdata[team].palindex, c);
        return;
    }
    const int places = t->hold;
    if (places <= 0) return;
    const int bw = std::clamp(w / places, 4, 20), held = Units_ListSize(&u->hold);
    for (int i = 0; i < places; i++) {
        const int x = g.cx - (places * bw) / 2 + i * bw;
        Graph_DrawRect(dst, clip, 0, x, y, bw - 1, 4, (uint8_t)c);
        if (i < held) Graph_FillRect(dst, clip, 0, x + 1, y + 1, bw - 3, 2, (uint8_t)c);
    }
}

} // namespace

void IgiMark_DrawUnit(BITMAP* dst, const GRECT* clip, UNIT* u, int hover)
{
    if (!u || !u->type) return;
    if (BUILDING* in = BuildId_Ptr(const_cast<BUILDID*>(&u->partof))) {
        IgiMark_DrawBuilding(dst, clip, in, hover);
        return;
    }
    if (!IgiDisp_UnitOnScreen(u)) return;
    const GEOMETRY g = UnitGeometry(u);
    const int c = IgiMark_UnitColour(u, hover);
    Brackets(dst, clip, g, c);
    char text[96];
    if (hover && IgiDisp_TooltipShown()) {
        snprintf(text, sizeof text, " %s ", u->type->description);
        Centred(dst, clip, g.cx, g.top - 14, text, NAME_FONT);
    }
    const int w = 2 * g.r + 1, max = u->type->maxhitpoints;
    const int hc = u->boost.state != BS_OFF ? IGIMARK_BOOST : IgiMark_HealthColour(u->hitpoints, max);
    IgiMark_Bar(dst, clip, g.cx - g.r, g.top, w, 4, u->hitpoints, max, 1, hc, c);
    if (u->team == g_LocalTeam) {
        int value = 0, vmax = 0, colour = 0;
        SecondValue(u, &value, &vmax, &colour);
        if (vmax > 0) IgiMark_Bar(dst, clip, g.cx - g.r, g.top + g.h, w, 4, value, vmax, 0, colour, c);
        else HLine(dst, clip, g.cx - g.r, g.cx + g.r, g.top + g.h + 1, c);
        ThirdRow(dst, clip, u, g, c);
    }
    for (int i = 0; i < UNITS_IGIGROUPS; i++)
        if (u->interfaceinfo.group[i]) {
            // Left of the marker: the carried resource's bar stands right of it.
            // The key that recalls the group: group 0 is on key 1, group 9 on 0.
            snprintf(text, sizeof text, "%d", (i + 1) % UNITS_IGIGROUPS);
            Font_Print(g.cx - g.half - 2 - Font_StringWidth(text, TEXT_FONT), g.top + 2, text, 0, TEXT_FONT, nullptr,
                       clip, dst);
            break;
        }
    if (g_DebugFlags & DBG_UNITVALUES) {
        snprintf(text, sizeof text, "%d %d %u", u->hitpoints, u->liferemaining, u->experience);
        Font_Print(g.cx - g.half, g.top + g.h + 12, text, 0, TEXT_FONT, nullptr, clip, dst);
    }
}

// ---- buildings ----

namespace {

int SeenByLocalTeam(const BUILDING* b)
{
    if (b->team == g_LocalTeam) return 1;
    const BUILDINGTYPE* t = b->buildingtype;
    return Fog_AnySeenInTiles(b->tilex, b->tiley, b->tilex + std::max(1, (int)t->width) - 1,
                              b->tiley + std::max(1, (int)t->height) - 1, g_LocalTeam);
}

// A type shows its stores to others when it is a resource site: one of its
// resources produces.
int ShowsStores(const BUILDINGTYPE* t)
{
    for (const BUILDTYPE_RESOURCE& r : t->resource)
        if (r.production > 0) return 1;
    return 0;
}

// The first active part that charges and is charging: its unit's charge.
const UNIT* ChargingMount(const BUILDING* b)
{
    for (UNITID id : b->bay) {
        const UNIT* u = UnitId_Ptr(&id);
        if (u && u->type && u->type->abilities.weaponcharge && u->ischarging) return u;
    }
    return nullptr;
}

} // namespace

int IgiMark_StateText(const BUILDING* b, char* out, int size)
{
    static const struct {
        int key;
        int bar;
    } kStates[13] = {{-1, 0},          {MLSD_CONST, 1},   {-2, 1},         {MLSD_DISABLE, 0}, {MLSD_CHARGE, 1},
                     {MLSD_DEMO, 1},   {MLSD_DEMO, 1},    {MLSD_UPGRADE, 1}, {MLSD_PACK, 1},   {MLSD_UNPACK, 1},
                     {MLSD_PWRDN, 1},  {MLSD_PWROFF, 0},  {MLSD_PWRUP, 1}};
    out[0] = 0;
    if (b->state < 1 || b->state > 12) return -1;
    const int key = kStates[b->state].key;
    if (key == -2) snprintf(out, (size_t)size, "%s", b->unittypetobuild ? b->unittypetobuild->description : "");
    else snprintf(out, (size_t)size, "%s", MLString_Display(key));
    return kStates[b->state].bar;
}

void IgiMark_DrawBuilding(BITMAP* dst, const GRECT* clip, BUILDING* b, int hover)
{
    if (!b || !b->buildingtype || !SeenByLocalTeam(b)) return;
    const BUILDINGTYPE* t = b->buildingtype;
    const int c = IgiMark_BuildingColour(b);
    const int left = b->tilex * MAP_TILE_PIXELS - g_MapView.x;
    const int top = b->tiley * MAP_TILE_PIXELS - g_MapView.y + MAPVIEW_SCREEN_Y;
    int cx = left + t->pixelw / 2;
    const SPRITE* sp = t->sprite[0];
    if (sp && sp->fsize > 0 && sp->rsize > 0 && sp->images[0].nrhot > 1) cx = left + Sprite_GetHotspot(sp, 1, 0, 0).x;
    const int half = std::max((int)t->pixelw, (int)MAP_TILE_PIXELS) / 2, r = (half / 3) * 2, w = 2 * r + 1;
    const int bottom = top + std::max((int)t->pixelh, (int)MAP_TILE_PIXELS);
    char text[160];
    if (hover && IgiDisp_TooltipShown()) {
        if (b->team == g_LocalTeam) snprintf(text, sizeof text, " %s%s ", t->description, b->primary ? " (P)" : "");
        else snprintf(text, sizeof text, " %s ", (t->decoyof ? t->decoyof : t)->description);
        Centred(dst, clip, cx, top - 14, text, NAME_FONT);
    }
    // Bottom brackets.
    HLine(dst, clip, cx - half, cx - r - 1, bottom + 1, c);
    HLine(dst, clip, cx + half, cx + r + 1, bottom + 1, c);
    VLine(dst, clip, cx - half, bottom + 1, bottom - 5, c);
    VLine(dst, clip, cx + half, bottom + 1, bottom - 5, c);
    IgiMark_Bar(dst, clip, cx - r, bottom, w, 4, b->hitpoints, t->maxhitpoints, 1,
                IgiMark_HealthColour(b->hitpoints, t->maxhitpoints), c);
    if (const UNIT* m = ChargingMount(b))
        IgiMark_Bar(dst, clip, cx - r, bottom - 5, w, 4, m->type->weaponchargeinfo - m->chargeremaining,
                    m->type->weaponchargeinfo, 0, CHARGE_COLOUR, c);
    if (b->team == g_LocalTeam || ShowsStores(t)) {
        if (t->resource[0].maxstored > 0)
            IgiMark_BarVertical(dst, clip, cx - r - 6, bottom - 12, 4, 16, b->stored[0], t->resource[0].maxstored,
                                STORE0_COLOUR, c);
        if (t->resource[1].maxstored > 0)
            IgiMark_BarVertical(dst, clip, cx + r + 2, bottom - 12, 4, 16, b->stored[1], t->resource[1].maxstored,
                                STORE1_COLOUR, c);
    }
    int y = bottom + 6;
    const int places = t->rooms[0];
    if (places > 0 && Team_AgreedRelation(g_LocalTeam, b->team, TR_ALLY)) {
        const int bw = std::clamp((2 * r) / places, 3, 20), held = Build_HoldCount(b);
        for (int i = 0; i < places; i++) {
            const int x = cx - (places * (bw + 2) - 2) / 2 + i * (bw + 2);
            Graph_DrawRect(dst, clip, 0, x, y, bw, 5, C_BLACK);
            Graph_FillRect(dst, clip, 0, x + 1, y + 1, bw - 2, 3, i < held ? HOLD_FULL : HOLD_FREE);
        }
        y += 7;
    }
    const int bar = IgiMark_StateText(b, text, sizeof text);
    if (bar >= 0) {
        Centred(dst, clip, cx, y, text, TEXT_FONT);
        y += Font_GetHeight(TEXT_FONT) + 1;
        if (bar) {
            IgiMark_Bar(dst, clip, cx - r, y, w, 4, b->prodtime - b->prodleft, b->prodtime, 0, STATE_COLOUR, c);
            y += 6;
        }
    }
    if (b->team == g_LocalTeam) {
        const int queued = Units_QueuedOrdersForBuilding(b->id);
        if (queued > 0) {
            IgiDisp_FormatInt(text, sizeof text, MLString_Display(MLSD_N_QUEUED), queued);
            Centred(dst, clip, cx, y, text, TEXT_FONT);
            y += Font_GetHeight(TEXT_FONT) + 1;
        }
        if (b->state != BS_UPGRADING && t->upgradeto && Build_CanUpgrade(b) == BUP_OK) {
            IgiDisp_FormatInt(text, sizeof text, MLString_Display(MLSD_UPGRADE_N), t->upgradeto->cost);
            Centred(dst, clip, cx, y, text, TEXT_FONT);
            y += Font_GetHeight(TEXT_FONT) + 1;
        }
    }
    if ((g_DebugFlags & DBG_NOFOG) && (t->resource[0].maxstored > 0 || t->resource[1].maxstored > 0)) {
        snprintf(text, sizeof text, "%d %d %d %d", b->stored[0], b->stored[1], b->stored[2], b->stored[3]);
        Centred(dst, clip, cx, y, text, TEXT_FONT);
    }
}

// ---- the overlays ----

void IgiMark_DrawOverlays(BITMAP* dst, const GRECT* clip, int overview, int mx, int my)
{
    for (UNITLISTELEM* e = igi_nfo.selected.head; e; e = e->next) IgiMark_DrawUnit(dst, clip, UnitId_Ptr(&e->u), 0);
    if (igi_nfo.sbuild) IgiMark_DrawBuilding(dst, clip, igi_nfo.sbuild, 0);
    if (!overview) return;
    int px, py, tx, ty;
    Igidisp_ScreenToMap(mx, my, &px, &py);
    if (igi_nfo.actionmode == AM_PLACE) {
        if (igi_nfo.placetype >= g_NrBuildingTypes) return;
        const UNIT* f = igi_nfo.firstunit;
        const BUILDINGTYPE* type = f && f->building_package && f->building_package->building_type
                                       ? f->building_package->building_type
                                       : &g_BuildingTypes[igi_nfo.placetype];
        Igidisp_PixelToTile(px, py, &tx, &ty);
        IgiMark_DrawPlacement(dst, clip, type, tx, ty);
        return;
    }
    if (igi_nfo.mfdmode == MFD_TRAIL) return;
    if (UNIT* u = Igievnt_VisibleUnit(Igidisp_UnitAtPixel(px, py))) IgiMark_DrawUnit(dst, clip, u, 1);
    else if (BUILDING* b = Igidisp_BuildAtPixel(px, py)) IgiMark_DrawBuilding(dst, clip, b, 1);
}

namespace {

void DrawImage(BITMAP* dst, const GRECT* clip, const SPRITE* sp, int x, int y, const uint8_t* remap)
{
    if (!sp || sp->fsize < 1 || sp->rsize < 1) return;
    Graph_DrawRLE(dst, clip, 0, x, y, Sprite_GetFrame(sp, 0, 0), sp->w, sp->h, remap, Sprite_GetKind(sp),
                  RENDER_OPAQUE);
}

} // namespace

void IgiMark_DrawPlacement(BITMAP* dst, const GRECT* clip, const BUILDINGTYPE* type, int tx, int ty)
{
    enum { UNEXPLORED_SHADE = 24 };
    if (!type || type->width < 1 || type->height < 1) return;
    int lx, ly;
    Igievnt_PlacementTopLeft(type, tx, ty, &lx, &ly);
    const int x = lx * MAP_TILE_PIXELS - g_MapView.x, y = ly * MAP_TILE_PIXELS - g_MapView.y + MAPVIEW_SCREEN_Y;
    const int colour = std::clamp((int)teamdata[std::clamp(g_LocalTeam, 0, TEAM_MAXTEAMS - 1)].colour, 0, 7);
    DrawImage(dst, clip, type->shadowsprite, x, y, nullptr);
    DrawImage(dst, clip, type->sprite[0], x, y, g_TeamRemap[colour]);
    uint8_t cells[BUILD_MAXSIDE * BUILD_MAXSIDE] = {};
    if (type->width > BUILD_MAXSIDE || type->height > BUILD_MAXSIDE) return;
    Build_ApplyEffects(igi_nfo.firstunit, nullptr, type, lx, ly, cells);
    for (int j = 0; j < type->height; j++)
        for (int i = 0; i < type->width; i++) {
            const int k = cells[j * type->width + i];
            if (k == BPC_NONE || k == BPC_FREE) continue;
            const uint8_t* table = k == BPC_UNEXPLORED ? g_ShadeTable[UNEXPLORED_SHADE] : g_DimTable;
            Graph_RemapRect(dst, clip, 0, x + i * MAP_TILE_PIXELS, y + j * MAP_TILE_PIXELS, MAP_TILE_PIXELS,
                            MAP_TILE_PIXELS, table);
        }
}

// ---- the power gauge ----

namespace {

struct GAUGE {
    int unit;
    int usage, supply, store;  // as shown
};

GAUGE s_Gauge;

} // namespace

void IgiMark_InitGauge(void)
{
    s_Gauge = GAUGE{};
    for (int i = 0; i < g_NrBuildingTypes; i++)
        s_Gauge.unit = std::max(s_Gauge.unit, (int)g_BuildingTypes[i].resource[IGIMARK_POWER].production);
}

int IgiMark_GaugeUnit(void) { return s_Gauge.unit; }

IGIMARK_SCALE IgiMark_GaugeScale(int unit, int usage, int supply)
{
    // A team without power (at the start, after a surrender) or a world
    // without power plants still gets a scale: an empty gauge.
    IGIMARK_SCALE sc;
    sc.step = std::max(1, 5 * unit);
    const int64_t most = std::max({usage, supply, 1});
    sc.top = (int)std::min<int64_t>((most + sc.step - 1) / sc.step * sc.step, 0x7fffffff);
    sc.gaps = (int)std::min<int64_t>((int64_t)sc.top / sc.step * 5, 0x7fffffff);
    return sc;
}

int IgiMark_GaugeColour(int usage, int supply)
{
    if (supply >= usage) return IGIMARK_ALLY;
    if ((int64_t)supply * 100 > (int64_t)usage * 70) return IGIMARK_NEUTRAL;
    return IGIMARK_ENEMY;
}

void IgiMark_DrawPowerGauge(BITMAP* dst, const BITMAP* resobars, int ox, int oy)
{
    enum { X = 596, TOP = 392, W = 17, TICKX = 599, MARKX = 612, TICK = 93, MARK = 15 };
    if (!dst) return;
    const int team = std::clamp((int)igi_nfo.watchteam, 0, TEAM_MAXTEAMS - 1);
    const TEAM_RESOURCE& power = teamdata[team].resource[IGIMARK_POWER];
    int store = 0, storemax = 0;
    for (const BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext) {
        if (ShowsStores(b->buildingtype)) continue;
        store = std::max(store, (int)b->stored[0]);
        storemax = std::max(storemax, (int)b->buildingtype->resource[0].maxstored);
    }
    GAUGE& g = s_Gauge;
    g.usage = IgiDisp_Smooth(g.usage, std::max(0, (int)power.usage));
    g.supply = IgiDisp_Smooth(g.supply, std::max(0, (int)power.supply));
    g.store = IgiDisp_Smooth(g.store, store);
    const IGIMARK_SCALE sc = IgiMark_GaugeScale(g.unit, g.usage, g.supply);
    const int colour = IgiMark_GaugeColour(g.usage, g.supply);
    const int height = std::max(1, (int)((int64_t)g.supply * IGIMARK_GAUGEH / sc.top));
    const int blink = g.usage > 0 && height == 1 && colour == IGIMARK_ENEMY;
    if (resobars) Graph_Blit(dst, nullptr, 0, ox, oy, resobars, blink && g_FrameCount % 40 < 10 ? 52 : 0, 0, 52, 104);
    Graph_FillRect(dst, nullptr, 0, X, TOP, W, IGIMARK_GAUGEH, IGIMARK_EMPTY);
    Graph_FillRect(dst, nullptr, 0, X, IGIMARK_GAUGEBOTTOM - height + 1, W, height, (uint8_t)colour);
    if ((int64_t)sc.top / sc.gaps * IGIMARK_GAUGEH / sc.top > 3)
        for (int i = 1; i < sc.gaps; i++) {
            const int y = IGIMARK_GAUGEBOTTOM - (int)((int64_t)i * IGIMARK_GAUGEH / sc.gaps);
            HLine(dst, nullptr, X, TICKX, y, TICK);
            if (y + 1 < IGIMARK_GAUGEBOTTOM - 1) HLine(dst, nullptr, X, TICKX, y + 1, C_BLACK);
        }
    const int y = IGIMARK_GAUGEBOTTOM - std::max(1, (int)((int64_t)g.usage * IGIMARK_GAUGEH / sc.top));
    HLine(dst, nullptr, X, MARKX, y, MARK);
    if (y + 1 < IGIMARK_GAUGEBOTTOM - 1) HLine(dst, nullptr, X, MARKX, y + 1, C_BLACK);
    IgiMark_BarVertical(dst, nullptr, 624, 391, 11, 83, g.store, storemax, STORE0_COLOUR, C_BLACK);
    if (blink || g.usage != power.usage || g.supply != power.supply || g.store != store) IgiDisp_SetZoneDirty(25);
}

// ---- the building list cells ----

namespace {

const BUILDING* OwnSelectedBuilding(void)
{
    const BUILDING* b = igi_nfo.sbuild;
    return b && b->team == g_LocalTeam ? b : nullptr;
}

int BuildingList(void) { return igi_nfo.listmode == LM_BUILDINGS || igi_nfo.listmode == LM_SPYHQ; }

const SPRITE* CellPicture(int index)
{
    if (BuildingList()) {
        if (index < 0 || index >= g_NrBuildingTypes) return nullptr;
        const BUILDINGTYPE* t = &g_BuildingTypes[index];
        return t->sprite[2] ? t->sprite[2] : t->sprite[0];
    }
    const UNITTYPE* t = Units_GetTypePtr(index);
    return t ? t->menusprite : nullptr;
}

uint8_t s_Grey[256];
int s_GreyMade;

// The cell under the pointer, when the pointer is over the list.
int UnderPointer(int x, int y, int* held)
{
    int mx, my, buttons;
    Mouse_GetState(&mx, &my, &buttons);
    *held = buttons & MOUSE_BUTTON_LEFT;
    return Igizone_Find(mx, my) == 30 && mx >= x && mx < x + IGIMARK_CELLW && my >= y && my < y + IGIMARK_CELLH;
}

} // namespace

const uint8_t* IgiMark_GreyTable(void)
{
    if (!s_GreyMade) {
        for (int i = 0; i < 256; i++) {
            const int v = std::min(31, g_GreyRemap[i] / 2);  // 0..63 to a 5-bit channel
            s_Grey[i] = Graph_ColourMatch((uint16_t)(v << 10 | v << 5 | v));
        }
        s_GreyMade = 1;
    }
    return s_Grey;
}

int IgiMark_CellTable(int index, int prereqid)
{
    const int local = g_LocalTeam;
    if (igi_nfo.listmode >= LM_SPYPLANS) return PREREQ_HavePlans(prereqid, local) ? CT_TEAM : CT_HIGHLIGHT;
    if (!PREREQ_HavePlans(prereqid, local)) return CT_DIM;
    if (BuildingList()) {
        // With nothing selected (a placement empties the selection before
        // the list is refilled) no unit can make the type.
        const UNIT* f = igi_nfo.firstunit;
        return f && f->type && PREREQ_CanThisMakeThat(f->type->prereq.id, prereqid, local) ? CT_TEAM : CT_GREY;
    }
    (void)index;
    const BUILDING* b = OwnSelectedBuilding();
    if (b && !PREREQ_CanThisMakeThat(b->buildingtype->prereq.id, prereqid, local)) return CT_GREY;
    return CT_TEAM;
}

void IgiMark_CellCount(int index, char* out, int size)
{
    out[0] = 0;
    BUILDING* b = const_cast<BUILDING*>(OwnSelectedBuilding());
    int queued = 0;
    const char* suffix = "";
    if (AP_IsOnline()) {
        int paused = 0;
        AP_GetUnitTypeInfo(b, index, &queued, &paused);
        suffix = paused ? " (P)" : AP_AnyPaused(index) ? " (S)" : "";
    } else {
        queued = b ? Units_NumberOnConstructQueueForBuilding(index, b->id) : Units_NumberOnConstructQueue(index);
    }
    if (queued > 0) snprintf(out, (size_t)size, "%d%s", queued, suffix);
}

int IgiMark_ClockLevel(int index)
{
    const int64_t progress = AP_GetProgress(OwnSelectedBuilding(), index);
    if (progress <= 0) return 0;
    return (int)std::min<int64_t>(IGIMARK_CLOCKTOP, progress * IGIMARK_CLOCKTOP >> 16);
}

void IgiMark_DrawListCell(int position, int x, int y, const char* text, int32_t data1, int32_t data2,
                          int selected, const GRECT* clip)
{
    (void)text;
    (void)selected;
    BITMAP* dst = Backbuf_Lock();
    if (!dst || position < 0) return;
    const int units = !BuildingList();
    const int colour = std::clamp((int)teamdata[std::clamp(g_LocalTeam, 0, TEAM_MAXTEAMS - 1)].colour, 0, 7);
    uint8_t table[256];
    const uint8_t* team = g_TeamRemap[colour];
    const int which = IgiMark_CellTable(data1, data2);
    const uint8_t* over = which == CT_DIM ? g_DimTable : which == CT_GREY ? IgiMark_GreyTable()
                        : which == CT_HIGHLIGHT ? g_HighlightTable : nullptr;
    for (int i = 0; i < 256; i++) table[i] = over ? over[team[i]] : team[i];
    if (const SPRITE* sp = CellPicture(data1); sp && sp->fsize > 0 && sp->rsize > 0) {
        const GRECT cell = {x, y, IGIMARK_CELLW, IGIMARK_CELLH};
        GRECT c = cell;
        if (clip) {
            const int l = std::max(c.x, clip->x), t = std::max(c.y, clip->y);
            const int r = std::min(c.x + c.w, clip->x + clip->w), b = std::min(c.y + c.h, clip->y + clip->h);
            c = {l, t, std::max(0, r - l), std::max(0, b - t)};
        }
        Graph_DrawRLE(dst, &c, 0, x + 9, y + 2, Sprite_GetFrame(sp, 0, 0), sp->w, sp->h, table, Sprite_GetKind(sp),
                      RENDER_OPAQUE);
    }
    const BUILDING* spied = BuildId_Ptr(&igi_nfo.spybuild);
    if (igi_nfo.listmode == LM_SPYPLANS && spied) {
        const int making = spied->state == BS_PRODUCING && spied->unittypetobuild &&
                           spied->unittypetobuild->unittypeid == data1;
        IgiMark_Bar(dst, clip, x + 16, y + 5, 32, 5, making ? spied->prodtime - spied->prodleft : 0,
                    spied->prodtime, 0, STATE_COLOUR, C_BLACK);
    }
    if (units && igi_nfo.listmode == LM_UNITS) {
        const int level = IgiMark_ClockLevel(data1);
        const BITMAP* clock = IgiDisp_ClockBitmap();
        if (level > 0 && clock)
            for (int j = 0; j < IGIMARK_CELLH && j < clock->y_size; j++)
                for (int i = 0; i < IGIMARK_CELLW && i < clock->x_size; i++) {
                    const int px = x + i, py = y + j;
                    if (clock->data[j * clock->x_size + i] >= level || px < 0 || py < 0 || px >= dst->x_size ||
                        py >= dst->y_size)
                        continue;
                    if (clip && (px < clip->x || py < clip->y || px >= clip->x + clip->w || py >= clip->y + clip->h))
                        continue;
                    uint8_t& p = dst->data[(size_t)py * dst->x_size + px];
                    p = g_DimTable[p];
                }
        char count[32];
        IgiMark_CellCount(data1, count, sizeof count);
        if (count[0]) Font_Print(x + 11, y + 2, count, 0, 0, nullptr, clip, dst);
    }
    int held = 0, look = UnderPointer(x, y, &held) ? (held ? 2 : 1) : 0;
    if (!units && igi_nfo.actionmode == AM_PLACE && data1 == igi_nfo.placetype) look = 2;
    if (const BITMAP* box = IgiDisp_Bitmap(IBM_BUISOBOX))
        Graph_BlitTransparent(dst, clip, 0, x, y, box, look * IGIMARK_CELLW, 0, IGIMARK_CELLW, IGIMARK_CELLH);
}

// ---- the list's tooltip ----

namespace {

enum { TIP_TOP = 68, TIP_BOTTOM = 66, TIP_GAP = 10 };

const char* PrereqName(int id)
{
    for (int i = 0; i < Units_UnitTypeCount(); i++)
        if (Units_GetTypePtr(i)->prereq.id == id) return Units_GetTypePtr(i)->description;
    for (int i = 0; i < g_NrBuildingTypes; i++)
        if (g_BuildingTypes[i].prereq.id == id) return g_BuildingTypes[i].description;
    return "?";
}

// A framed box of lines (each with its colour table) whose right edge is at
// right, its top at top; the box's height.
int LinesBox(BITMAP* dst, int right, int top, const char* const* lines, const uint8_t* const* tables, int n,
             int* left)
{
    int w = 0;
    for (int i = 0; i < n; i++) w = std::max(w, Font_StringWidth(lines[i], 1));
    w += 6;
    const int lh = Font_GetHeight(1), h = n * lh + 4, x = std::max(0, right - w);
    top = std::clamp(top, 0, 474 - h);
    Graph_FillRect(dst, nullptr, 0, x, top, w, h, C_BLACK);
    HLine(dst, nullptr, x, x + w - 1, top, TIP_TOP);
    VLine(dst, nullptr, x, top, top + h - 1, TIP_TOP);
    HLine(dst, nullptr, x, x + w - 1, top + h - 1, TIP_BOTTOM);
    VLine(dst, nullptr, x + w - 1, top, top + h - 1, TIP_BOTTOM);
    for (int i = 0; i < n; i++) Font_Print(x + 3, top + 2 + i * lh, lines[i], 0, 1, tables[i], nullptr, dst);
    *left = x;
    return h;
}

} // namespace

int IgiMark_DrawListTooltip(BITMAP* dst)
{
    SLIST* l = Igievnt_BuildList(igi_nfo.listmode);
    int mx, my, buttons;
    Mouse_GetState(&mx, &my, &buttons);
    int32_t index = 0, prereqid = 0;
    if (!dst || !l || SList_SelectAt(l, mx, my, nullptr, &index, &prereqid) < 0) return 0;
    const PREREQ* prereq = nullptr;
    char text[160];
    if (BuildingList()) {
        if (index < 0 || index >= g_NrBuildingTypes) return 0;
        snprintf(text, sizeof text, "%s %dc", g_BuildingTypes[index].description, g_BuildingTypes[index].cost);
        prereq = &g_BuildingTypes[index].prereq;
    } else {
        const UNITTYPE* t = Units_GetTypePtr(index);
        if (!t) return 0;
        snprintf(text, sizeof text, "%s %dc", t->description, t->buildcost);
        prereq = &t->prereq;
    }
    const char* name[1] = {text};
    const uint8_t* table[1] = {g_TitleTextTable};
    int left = 0;
    const int h = LinesBox(dst, 448 - TIP_GAP, my - Font_GetHeight(1) / 2 - 2, name, table, 1, &left);
    HLine(dst, nullptr, left + 1, mx, my, TIP_BOTTOM);
    if (PREREQ_HavePlans(prereqid, g_LocalTeam)) return 1;
    const char* lines[PREREQ_LISTLEN];
    const uint8_t* tables[PREREQ_LISTLEN];
    int n = 0;
    for (int met = 0; met < 2; met++)
        for (int i = 0; i < PREREQ_LISTLEN && prereq->prereqs[i]; i++) {
            if ((PREREQ_HowMany(prereq->prereqs[i], g_LocalTeam) > 0) != (met == 1)) continue;
            lines[n] = PrereqName(prereq->prereqs[i]);
            tables[n++] = met ? g_TitleTextTable : g_HighlightTable;
        }
    if (n > 0) LinesBox(dst, left - TIP_GAP, my - Font_GetHeight(1) / 2 - 2 + h, lines, tables, n, &left);
    return 1;
}
