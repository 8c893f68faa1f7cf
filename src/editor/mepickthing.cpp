#include "editor/mepickthing.h"

#include <cstdio>

#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/medesk.h"
#include "editor/meminimap.h"
#include "editor/methings.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/overlay.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/sprite.h"
#include "platform/video.h"
#include "units/building.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"
#include "widgets/qidesktop.h"

enum { GHOST_MODE = RENDER_TRANSLUCENT_A1 };

static const uint8_t* TeamRemap(int team)
{
    return team >= 0 && team < TEAM_MAXTEAMS ? g_TeamRemap[teamdata[team].colour & 7] : nullptr;
}

static GRECT Clip(const IRect& r) { return GRECT{r.x, r.y, r.w, r.h}; }

static GRECT MapClip(void) { return GRECT{MEBIGMAP_X, MEBIGMAP_Y, MEBIGMAP_SIDE, MEBIGMAP_SIDE}; }

static bool Inside(int x, int y) { return x >= 1 && y >= 1 && x < mapsizex && y < mapsizey; }

// Frame f, rotation 0 of sprite with its top-left at (x, y).
static void DrawSprite(BITMAP* bb, const GRECT& clip, const SPRITE* s, int f, int x, int y, const uint8_t* remap,
                       int mode)
{
    if (!s || f >= Sprite_NrFrames(s)) return;
    Graph_DrawRLE(bb, &clip, 0, x, y, Sprite_GetFrame(s, f, 0), Sprite_GetWidth(s), Sprite_GetHeight(s), remap,
                  Sprite_GetKind(s), mode);
}

// Frame 0 of sprite drawn as the map draws it on tile t's corner (screen
// point c): the hot spot on the corner.
static void DrawOnTile(BITMAP* bb, const SPRITE* s, const IPoint& c, const uint8_t* remap, int mode)
{
    if (!s || Sprite_NrFrames(s) < 1) return;
    int hx = 0, hy = 0;
    Sprite_GetHotspotXY(s, 0, 0, 0, &hx, &hy);
    const GRECT clip = MapClip();
    DrawSprite(bb, clip, s, 0, c.x - hx, c.y - hy, remap, mode);
}

// The count under a cell's picture: shadow in font A, then font B.
static void DrawCount(BITMAP* bb, const GRECT& clip, const IPoint& cell, int n)
{
    const MeEditor& me = g_MeEditor;
    if (!me.fontA || !me.fontB) return;
    char text[16];
    snprintf(text, sizeof text, "%d", n);
    Font_Print(cell.x + 3, cell.y + 3, text, 0, me.fontA->font.slot, nullptr, &clip, bb);
    Font_Print(cell.x + 2, cell.y + 2, text, 0, me.fontB->font.slot, nullptr, &clip, bb);
}

static void DrawMenuSprite(const IPoint& cell, const IRect& row, const SPRITE* s, int w, int h)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb || !s) return;
    const GRECT clip = Clip(row);
    DrawSprite(bb, clip, s, 0, cell.x + w / 2 - Sprite_GetWidth(s) / 2, cell.y + h / 2 - Sprite_GetHeight(s) / 2,
               TeamRemap(g_MeEditor.team), RENDER_OPAQUE);
}

static void DrawCountAt(const IPoint& cell, const IRect& row, int n)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    DrawCount(bb, Clip(row), cell, n);
}

bool MeDesktop::BuildingFits(const BUILDINGTYPE* type, int x, int y)
{
    if (!type || x < 1 || y < 1 || x + type->width >= mapsizex || y + type->height >= mapsizey) return false;
    for (const BUILDTYPE_PART& p : type->activepart)
        if (!Inside(x + p.x / 24, y + p.y / 24)) return false;
    return true;
}

// --------------------------------------------------------------- units

MePickUnit::MePickUnit(UNITTYPE* unitType) : MePickItem(MEPF_OBJBO), type(unitType) {}

void MePickUnit::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    MePickItem::Draw(origin, row, state);
    const IPoint cell = ContentAt(origin, state);
    DrawMenuSprite(cell, row, type->menusprite, w, h);
    DrawCountAt(cell, row, PREREQ_HowMany(type->prereq.id, g_MeEditor.team));
}

const char* MePickUnit::TipText(void) { return type->description[0] ? type->description : type->symbolid; }

void MePickUnit::Place(const QIPointer& pointer)
{
    const IPoint t = MeBigMap::ScreenToTile(pointer);
    if (!Inside(t.x, t.y) || Units_UnitAtMapLevel(type->defmaplevel, t.x, t.y)) return;
    // Inside a building the unit would stand where the game can't move it.
    if (Build_BarsUnitType(type, t.x, t.y)) return;
    UNIT* u = Units_NewAt(type, g_MeEditor.team, -1, t.x, t.y);
    if (!u) return;
    MeBrushUnit::Count(u, u->team, 1);
    MeBrushUnit::ApplyDefaults(u);
    if (g_MeEditor.miniMap) g_MeEditor.miniMap->MarkUnit(u);
}

void MePickUnit::Preview(const QIPointer& pointer)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    const IPoint c = MeBigMap::TileToScreen(MeBigMap::ScreenToTile(pointer));
    for (int i = 0; i < type->partinfo.nrparts; i++)
        if (const PARTTYPE* p = type->partinfo.parttype[i])
            DrawOnTile(bb, p->sprite, c, TeamRemap(g_MeEditor.team), GHOST_MODE);
}

// ----------------------------------------------------------- buildings

MePickBuilding::MePickBuilding(BUILDINGTYPE* buildingType) : MePickItem(MEPF_OBJBO), type(buildingType) {}

void MePickBuilding::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    MePickItem::Draw(origin, row, state);
    const IPoint cell = ContentAt(origin, state);
    DrawMenuSprite(cell, row, type->sprite[2], w, h);
    DrawCountAt(cell, row, PREREQ_HowMany(type->prereq.id, g_MeEditor.team));
}

const char* MePickBuilding::TipText(void) { return type->description[0] ? type->description : type->name; }

IPoint MePickBuilding::Anchor(const BUILDINGTYPE* type, const QIPointer& pointer)
{
    // In world pixels: the half footprint is map size, whatever the zoom.
    const IPoint w = MeBigMap::ScreenToWorld(pointer);
    const int ax = w.x - type->width * 24 / 2, ay = w.y - type->height * 24 / 2;
    return IPoint(ax >= 0 ? ax / 24 : -1, ay >= 0 ? ay / 24 : -1);
}

void MePickBuilding::Place(const QIPointer& pointer)
{
    const IPoint t = Anchor(type, pointer);
    for (BUILDING* b = g_Buildings; b; b = b->next)
        if (b->tilex == t.x && b->tiley == t.y) return;
    if (!MeDesktop::BuildingFits(type, t.x, t.y) || MeBrushBuild::CoversAUnit(type, t.x, t.y, nullptr)) return;
    BUILDING* b = Build_New(type, g_MeEditor.team, -1, t.x, t.y);
    if (!b) return;
    MeBrushBuild::Count(b, b->team, 1);
    if (g_MeEditor.miniMap) g_MeEditor.miniMap->MarkBuilding(b);
    MeBrushBuild::CountUnits(b);
}

void MePickBuilding::Preview(const QIPointer& pointer)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    const IPoint t = Anchor(type, pointer);
    const IPoint c = MeBigMap::TileToScreen(t);
    // Top-left on the tile, as the map shows a building.
    const GRECT map = MapClip();
    DrawSprite(bb, map, type->shadowsprite, 0, c.x, c.y, nullptr, RENDER_OPAQUE);
    DrawSprite(bb, map, type->sprite[0], 0, c.x, c.y, TeamRemap(g_MeEditor.team), RENDER_OPAQUE);
    uint8_t cells[BUILD_MAXSIDE * BUILD_MAXSIDE] = {};
    if (type->width < 1 || type->height < 1 || type->width > BUILD_MAXSIDE || type->height > BUILD_MAXSIDE) return;
    Build_ApplyEffects(nullptr, nullptr, type, t.x, t.y, cells);
    const uint8_t green = Graph_ColourMatch(Graph_Rgb15(0, 255, 0));
    const uint8_t red = Graph_ColourMatch(Graph_Rgb15(255, 0, 0));
    for (int cy = 0; cy < type->height; cy++)
        for (int cx = 0; cx < type->width; cx++) {
            const uint8_t k = cells[cy * type->width + cx];
            if (k == BPC_NONE) continue;
            Graph_RemapRect(bb, &map, 0, c.x + 24 * cx, c.y + 24 * cy, 24, 24,
                            g_BlendTables[1][k == BPC_FREE ? green : red]);
        }
}

// ------------------------------------------------------------- objects

MePickObject::MePickObject(int typeIndex) : MePickItem(MEPF_OBJBO), type(typeIndex), otype(Ovl_GetType(typeIndex)) {}

void MePickObject::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    MePickItem::Draw(origin, row, state);
    BITMAP* bb = Backbuf_Lock();
    if (!bb || !otype) return;
    const IPoint cell = ContentAt(origin, state);
    const GRECT clip = Clip(row);
    const BITMAP& m = otype->menuimage;
    if (m.data)
        Graph_BlitTransparent(bb, &clip, 0, cell.x + (w - m.x_size - 1) / 2, cell.y + (h - m.y_size - 1) / 2, &m, 0, 0,
                              m.x_size, m.y_size);
    DrawCount(bb, clip, cell, otype->level);
}

const char* MePickObject::TipText(void) { return otype ? otype->name : ""; }

// Brushes of a thing about to go: a later operation on them would reach a
// freed record.
static void ForgetBrushes(void* thing)
{
    for (MeBrushList& l : g_MeBrushLists)
        for (MeBrush* b = l.head; b;) {
            MeBrush* n = b->Next();
            if (b->Thing() == thing) {
                l.Remove(b);
                delete b;
            }
            b = n;
        }
}

static OVERLAY* ObjectAt(int x, int y)
{
    const MAPGRID_CELL* cell = Mapgrid_CellOfTile(x, y);
    if (!cell) return nullptr;
    for (int i = 0; i < cell->count[MGL_OVERLAY]; i++) {
        OVERLAY* o = static_cast<OVERLAY*>(cell->items[MGL_OVERLAY][i]);
        if (o->type != -1 && o->tilepos.x == x && o->tilepos.y == y) return o;
    }
    return nullptr;
}

void MePickObject::Place(const QIPointer& pointer)
{
    const IPoint t = MeBigMap::ScreenToTile(pointer);
    if (!otype || !Inside(t.x, t.y)) return;
    if (OVERLAY* old = ObjectAt(t.x, t.y)) {
        if (old->type == type) return;
        if (!(pointer.modifiers & (MOD_RSHIFT | MOD_LSHIFT))) {
            ForgetBrushes(old);
            g_MeEditor.overlayTotal--;
            Ovl_Delete(old);
        }
    }
    MeBrushObject::Make(type, t.x, t.y);
}

void MePickObject::Preview(const QIPointer& pointer)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb || !otype) return;
    DrawOnTile(bb, otype->sprite, MeBigMap::TileToScreen(MeBigMap::ScreenToTile(pointer)), nullptr, GHOST_MODE);
}
