#include "editor/mestart.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/uid.h"
#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/meselect.h"
#include "map/map.h"
#include "map/region.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "units/team.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qitext.h"

enum {
    COLOUR_PLAIN = 0,
    COLOUR_LIT = 10,
    COLOUR_HANDLE = 15,
    HANDLE_SIDE = 7,
    ROW_BOTH = 78,
    ROW_CURRENT = 75,
    ROW_HOVER = 72,
    START_TEAMS = 8, // the neutral team's start is selectable but not drawn
};

static int Clamp(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }
static int MapW(void) { return 24 * mapsizex; }
static int MapH(void) { return 24 * mapsizey; }
static bool IsCircle(const REGION* r) { return (r->flags & REGION_SHAPE_MASK) == RT_CIRCLE; }

// Gives the map back to the tool a one-shot tool was armed from.
static MeTool* Restore(MeTool*& previous)
{
    MeTool* back = previous;
    g_MeEditor.tool = back;
    previous = nullptr;
    return back;
}

void MeToolStartPos::Click(const QIPointer& event)
{
    if (!previousTool) return;
    // Kept inside as a drag keeps it: a 0 would read as no start position.
    const IPoint w = MeBigMap::ScreenToWorld(event);
    TEAM_STARTPOS& s = teamdata[g_MeEditor.team].startpos;
    s.x = Clamp(w.x, 1, MapW() - 2);
    s.y = Clamp(w.y, 1, MapH() - 2);
    MeTool* back = Restore(previousTool);
    back->UpdateCursor();
    back->PointerEnter();
}

void MeToolStartPos::Arm(void)
{
    MeEditor& me = g_MeEditor;
    if (me.tool == this) return;
    previousTool = me.tool;
    me.tool = this;
    SetState(METS_CLICK);
    UpdateCursor();
}

void MeToolRegion::Draw(const QIPointer& event)
{
    (void)event;
    if (state == METS_CLICK) DrawBand();
}

void MeToolRegion::LeftDown(const QIPointer& event)
{
    if (state == METS_CLICK && !(flags & METF_SCROLLING)) pressed = true;
    MeTool::LeftDown(event);
}

void MeToolRegion::ClickDone(void)
{
    // The pointer leaving the map ends click mode too: only a band that a
    // press started makes a region.
    if (!previousTool || !pressed) return;
    pressed = false;
    REGION r = {};
    r.id = (uint32_t)Uid_Next();
    r.flags = RT_RECTANGLE;
    r.x1 = std::min(anchor.x, current.x);
    r.y1 = std::min(anchor.y, current.y);
    r.x2 = r.x1 + abs(current.x - anchor.x) + 1;
    r.y2 = r.y1 + abs(current.y - anchor.y) + 1;
    Region_Add(&r);
    MeTool* back = Restore(previousTool);
    PointerLeave(QIPointer());
    back->PointerEnter();
    back->SetState(METS_IDLE);
}

void MeToolRegion::Begin(MeTool* previous)
{
    previousTool = previous;
    pressed = false;
    anchor = current = IPoint(0, 0);
}

void MeToolRegion::Arm(void)
{
    MeEditor& me = g_MeEditor;
    if (me.tool == this) return;
    // A press that repeated while held would start the band again where
    // the pointer stands.
    if (me.bigMap) me.bigMap->flags &= ~QIWF_FASTLEFT;
    Begin(me.tool);
    me.tool = this;
    SetState(METS_CLICK);
    UpdateCursor();
}

MeBrushStart::MeBrushStart(TEAM_STARTPOS* start) : thing(start) { Snap(); }

IRect MeBrushStart::GetRect(void) { return IRect(x - MESTART_HALF, y - MESTART_HALF, 2 * MESTART_HALF, 2 * MESTART_HALF); }

void MeBrushStart::Delete(void) { thing->x = thing->y = -1; }

void MeBrushStart::MoveBy(const IPoint& delta, const IPoint& point)
{
    (void)point;
    x += delta.x;
    y += delta.y;
    thing->x = Clamp(x, 1, MapW() - 2);
    thing->y = Clamp(y, 1, MapH() - 2);
}

void MeBrushStart::Snap(void)
{
    x = thing->x;
    y = thing->y;
}

MeBrushRegion::MeBrushRegion(REGION* region) : thing(region) { Snap(); }

IRect MeBrushRegion::GetRect(void)
{
    if (IsCircle(thing)) return IRect(thing->x1 - thing->x2, thing->y1 - thing->x2, 2 * thing->x2, 2 * thing->x2);
    return IRect(thing->x1, thing->y1, thing->x2 - thing->x1, thing->y2 - thing->y1);
}

void MeBrushRegion::Hilite(void) { thing->flags |= REGION_HILITE; }

void MeBrushRegion::UnHilite(void) { thing->flags &= ~REGION_HILITE; }

void MeBrushRegion::Delete(void) { Region_Delete(thing); }

void MeBrushRegion::Snap(void)
{
    x = thing->x1;
    y = thing->y1;
    x2 = thing->x2;
    y2 = thing->y2;
    grab = MERG_NONE;
}

static bool Near(int a, int b) { return abs(a - b) < MEREGION_GRAB; }

void MeBrushRegion::MoveBy(const IPoint& delta, const IPoint& point)
{
    REGION* r = thing;
    const int W = MapW(), H = MapH();
    if (IsCircle(r)) {
        // Moved whole, the radius kept, the circle inside the map.
        x += delta.x;
        y += delta.y;
        r->x1 = Clamp(x, r->x2 + 1, W - r->x2 - 1);
        r->y1 = Clamp(y, r->x2 + 1, H - r->x2 - 1);
        return;
    }
    if (grab == MERG_NONE) {
        // Where the press was, not where the first step of the drag got to:
        // a quick first move must still take the corner that was pressed.
        const IPoint p(point.x - delta.x, point.y - delta.y);
        const bool top = Near(r->y1, p.y), bottom = Near(r->y2, p.y);
        if (Near(r->x1, p.x)) grab = top ? MERG_TOPLEFT : bottom ? MERG_BOTTOMLEFT : MERG_WHOLE;
        else if (Near(r->x2, p.x)) grab = top ? MERG_TOPRIGHT : bottom ? MERG_BOTTOMRIGHT : MERG_WHOLE;
        else grab = MERG_WHOLE;
    }
    switch (grab) {
    case MERG_WHOLE: {
        x += delta.x, y += delta.y, x2 += delta.x, y2 += delta.y;
        const int w = r->x2 - r->x1, h = r->y2 - r->y1;
        r->x1 = Clamp(x, 1, W - w - 1);
        r->y1 = Clamp(y, 1, H - h - 1);
        r->x2 = r->x1 + w;
        r->y2 = r->y1 + h;
        break;
    }
    case MERG_TOPLEFT:
        x += delta.x, y += delta.y;
        r->x1 = Clamp(x, 1, r->x2 - MEREGION_MIN);
        r->y1 = Clamp(y, 1, r->y2 - MEREGION_MIN);
        break;
    case MERG_TOPRIGHT:
        y += delta.y, x2 += delta.x;
        r->y1 = Clamp(y, 1, r->y2 - MEREGION_MIN);
        r->x2 = Clamp(x2, r->x1 + MEREGION_MIN, W - 1);
        break;
    case MERG_BOTTOMLEFT:
        x += delta.x, y2 += delta.y;
        r->x1 = Clamp(x, 1, r->x2 - MEREGION_MIN);
        r->y2 = Clamp(y2, r->y1 + MEREGION_MIN, H - 1);
        break;
    case MERG_BOTTOMRIGHT:
        x2 += delta.x, y2 += delta.y;
        r->x2 = Clamp(x2, r->x1 + MEREGION_MIN, W - 1);
        r->y2 = Clamp(y2, r->y1 + MEREGION_MIN, H - 1);
        break;
    default: break;
    }
}

bool MeBrushRegion::Intersects(const IRect& r)
{
    const IRect g = GetRect();
    if ((int64_t)g.x > r.x && (int64_t)g.y > r.y && (int64_t)r.x + r.w > (int64_t)g.x + g.w &&
        (int64_t)r.y + r.h > (int64_t)g.y + g.h)
        return true;
    if (r.w >= 4 || r.h >= 4) return false;
    if (IsCircle(thing)) {
        // Within 6 pixels of the circle's outline.
        const double dx = r.x - thing->x1, dy = r.y - thing->y1;
        const double d = __builtin_sqrt(dx * dx + dy * dy);
        return d > thing->x2 - MEREGION_GRAB && d < thing->x2 + MEREGION_GRAB;
    }
    const int64_t right = (int64_t)g.x + g.w, bottom = (int64_t)g.y + g.h;
    const bool side = (Near(g.x, r.x) || std::abs(right - r.x) < MEREGION_GRAB) && r.y > g.y - MEREGION_GRAB &&
                      r.y < bottom + MEREGION_GRAB;
    const bool edge = (Near(g.y, r.y) || std::abs(bottom - r.y) < MEREGION_GRAB) && r.x > g.x - MEREGION_GRAB &&
                      r.x < right + MEREGION_GRAB;
    return side || edge;
}

MeRegionItem::MeRegionItem(REGION* r, const QIFont* f) : region(r), font(f)
{
    w = 100;
    h = Height();
}

int MeRegionItem::Height(void) { return font ? Font_GetHeight(font->slot) : 10; }

void MeRegionItem::Text(char* out, int size) const
{
    const REGION* r = region;
    if (IsCircle(r)) snprintf(out, (size_t)size, "Circle %5d %3d,%3d (%3d)", (int)r->id, r->x1, r->y1, r->x2);
    else snprintf(out, (size_t)size, "Rect %5d %3d,%3d->%3d,%3d", (int)r->id, r->x1, r->y1, r->x2, r->y2);
}

int MeEditor_RowFill(uint32_t state)
{
    const uint32_t lit = state & (QIROW_HOVER | QIROW_CURRENT);
    if (!lit) return -1;
    return lit == (QIROW_HOVER | QIROW_CURRENT) ? ROW_BOTH : lit == QIROW_CURRENT ? ROW_CURRENT : ROW_HOVER;
}

void MeRegionItem::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    const int bx = origin.x + x, by = origin.y + y;
    GRECT gc;
    const int fill = MeEditor_RowFill(state);
    if (fill >= 0) Graph_FillRect(bb, QI_WithinDrawClip(&row, &gc), 0, bx, by, w, h, (uint8_t)fill);
    char text[64];
    Text(text, sizeof text);
    if (font) QI_DrawText(font, bx, by, &row, text);
}

void MeToolSelect::SelectRegions(void)
{
    for (REGION* r = Region_FindByIndex(1); r; r = Region_FindByIndex(0)) {
        MeBrushRegion probe(r);
        const int c = ClassifyInBand(&probe);
        if (c == 1) g_MeBrushLists[MEBL_BANDADD].Append(new MeBrushRegion(r));
        else if (c == 2) g_MeBrushLists[MEBL_BANDREMOVE].Append(new MeBrushRegion(r));
    }
}

void MeToolSelect::SelectStarts(void)
{
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        TEAM_STARTPOS* s = &teamdata[t].startpos;
        if (s->x == -1) continue; // no start position to select
        MeBrushStart probe(s);
        const int c = ClassifyInBand(&probe);
        if (c == 1) g_MeBrushLists[MEBL_BANDADD].Append(new MeBrushStart(s));
        else if (c == 2) g_MeBrushLists[MEBL_BANDREMOVE].Append(new MeBrushStart(s));
    }
}

static GRECT MapClip(void) { return GRECT{MEBIGMAP_X, MEBIGMAP_Y, MEBIGMAP_SIDE, MEBIGMAP_SIDE}; }

// A label in the shadow font, then one pixel up and left in the label font.
static void Label(int x, int y, const char* text, const GRECT* clip, BITMAP* bb)
{
    const MeEditor& me = g_MeEditor;
    if (me.fontA) Font_Print(x + 1, y + 1, text, 0, me.fontA->font.slot, nullptr, clip, bb);
    if (me.fontB) Font_Print(x, y, text, 0, me.fontB->font.slot, nullptr, clip, bb);
}

void MeEditor::DrawStartPositions(void)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb || !tool) return;
    const GRECT clip = MapClip();
    for (int t = 0; t < START_TEAMS; t++) {
        TEAM_STARTPOS* s = &teamdata[t].startpos;
        if (s->x == -1) continue;
        MeBrushStart probe(s);
        const uint8_t colour = tool->IsSelected(&probe) ? COLOUR_LIT : COLOUR_PLAIN;
        const IPoint p = MeBigMap::WorldToScreen(IPoint(s->x, s->y));
        // Two lines each way, 10 pixels across.
        for (int i = 0; i < 2; i++) {
            Graph_DrawLine(bb, &clip, 0, p.x - 3, p.y + 1 + i, p.x + 7, p.y + 1 + i, colour);
            Graph_DrawLine(bb, &clip, 0, p.x + 1 + i, p.y - 3, p.x + 1 + i, p.y + 7, colour);
        }
        char text[16];
        snprintf(text, sizeof text, "Player %d", t + 1);
        Label(p.x - 16, p.y - 19, text, &clip, bb);
    }
}

void MeEditor::DrawRegions(void)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    const GRECT clip = MapClip();
    for (REGION* r = Region_FindByIndex(1); r; r = Region_FindByIndex(0)) {
        const bool lit = r->flags & REGION_HILITE;
        const uint8_t colour = lit ? COLOUR_LIT : COLOUR_PLAIN;
        // The shadow stands out from either outline colour.
        const uint8_t shadow = lit ? COLOUR_PLAIN : COLOUR_HANDLE;
        IPoint a, b;
        if (IsCircle(r)) {
            const IPoint c = MeBigMap::WorldToScreen(IPoint(r->x1, r->y1));
            Graph_DrawCircle(bb, &clip, 0, c.x + 1, c.y + 1, r->x2, shadow);
            Graph_DrawCircle(bb, &clip, 0, c.x, c.y, r->x2, colour);
            a = IPoint(c.x - r->x2, c.y - r->x2);
        } else {
            a = MeBigMap::WorldToScreen(IPoint(r->x1, r->y1));
            b = MeBigMap::WorldToScreen(IPoint(r->x2, r->y2));
            const int w = b.x - a.x, h = b.y - a.y;
            if (w > 4 || h > 4) {
                Graph_DrawRect(bb, &clip, 0, a.x + 1, a.y + 1, w, h, shadow);
                Graph_DrawRect(bb, &clip, 0, a.x, a.y, w, h, colour);
            }
            if (lit)
                for (const IPoint& c : {a, IPoint(b.x, a.y), IPoint(a.x, b.y), b})
                    Graph_FillRect(bb, &clip, 0, c.x - HANDLE_SIDE / 2, c.y - HANDLE_SIDE / 2, HANDLE_SIDE, HANDLE_SIDE,
                                   COLOUR_HANDLE);
        }
        char text[24];
        snprintf(text, sizeof text, "Region %u", r->id);
        Label(a.x + 3, a.y + 2, text, &clip, bb);
    }
}
