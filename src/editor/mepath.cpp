#include "editor/mepath.h"

#include <cstdio>

#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/meminimap.h"
#include "map/map.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "units/unit.h"
#include "widgets/qidesktop.h"

static MeBrushList& Selection(void) { return g_MeBrushLists[MEBL_SELECTION]; }

static int Clamp(int v, int hi) { return v < 1 ? 1 : v > hi ? hi : v; }

MeBrushWaypoint::MeBrushWaypoint(WAYPOINT* waypoint, TRAIL* owner) : thing(waypoint), trail(owner)
{
    if (waypoint) x = 24 * waypoint->x, y = 24 * waypoint->y;
}

IRect MeBrushWaypoint::GetRect(void)
{
    if (!thing) return IRect(-1000000, -1000000, 0, 0);
    return IRect(24 * thing->x - 6, 24 * thing->y - 6, 12, 12);
}

void MeBrushWaypoint::Delete(void)
{
    if (!thing || !trail) return;
    Trail_RemoveWaypoint(trail, thing);
    thing = nullptr;
}

void MeBrushWaypoint::MoveBy(const IPoint& delta, const IPoint&)
{
    x += delta.x, y += delta.y;
    if (!thing || !trail) return;
    const int tx = Clamp(x >= 0 ? x / 24 : 0, mapsizex - 1), ty = Clamp(y >= 0 ? y / 24 : 0, mapsizey - 1);
    if (tx == thing->x && ty == thing->y) return;
    if (Trail_FindWaypoint(trail, tx, ty)) return;
    thing->x = tx, thing->y = ty;
}

void MeBrushWaypoint::Snap(void)
{
    if (thing) x = 24 * thing->x, y = 24 * thing->y;
}

// ------------------------------------------------------------ the tool

void MeToolPath::ForgetWaypoints(void)
{
    for (MeBrushList& l : g_MeBrushLists)
        for (MeBrush* b = l.head; b;) {
            MeBrush* n = b->Next();
            if (b->Kind() == MEBK_WAYPOINT) {
                l.Remove(b);
                delete b;
            }
            b = n;
        }
}

void MeToolPath::Click(const QIPointer& event)
{
    if (state != METS_CLICK || !(pathFlags & MEPF_ADDARMED)) return;
    // The nearest vertex at every zoom; one outside the map's inner
    // vertices would be saved with the unit and never reached.
    const IPoint v = MeBigMap::ScreenToVertex(event);
    if (v.x < 1 || v.y < 1 || v.x >= mapsizex || v.y >= mapsizey) return;
    if (Trail_FindWaypoint(&editPath, v.x, v.y)) return;
    Trail_AddWaypoint(&editPath, WPT_MOVE, v.x, v.y, 0);
    pathFlags &= ~MEPF_ADDARMED;
}

void MeToolPath::Draw(const QIPointer& event)
{
    if (state != METS_CLICK || (flags & METF_SCROLLING)) {
        MeToolSelect::Draw(event);
        return;
    }
    BITMAP* bb = Backbuf_Lock();
    if (!bb || g_MeEditor.view.zoom != 1) return;
    const GRECT c = {clip.x, clip.y, clip.w, clip.h};
    const IPoint v = MeBigMap::ScreenToVertex(event);
    const IPoint p = MeBigMap::WorldToScreen(IPoint(24 * v.x, 24 * v.y));
    Graph_DrawCircle(bb, &c, 0, p.x, p.y, 4, 15);
    Graph_DrawCircle(bb, &c, 0, p.x, p.y, 2, 15);
    if (const WAYPOINT* last = editPath.tail) {
        const IPoint q = MeBigMap::WorldToScreen(IPoint(24 * last->x, 24 * last->y));
        Graph_DrawLine(bb, &c, 0, q.x, q.y, p.x, p.y, 15);
    }
}

void MeToolPath::DrawMap(void)
{
    for (MeBrush* b = Selection().head; b; b = b->Next())
        if (b->Kind() == MEBK_UNIT && b->HasPath()) DrawPaths(static_cast<UNIT*>(b->Thing())->localtrail, false);
    if (editPath.head) DrawPaths(&editPath, true);
}

void MeToolPath::ClickDone(void)
{
    pathFlags |= MEPF_ADDARMED;
    MeToolSelect::ClickDone();
}

void MeToolPath::Init(void)
{
    pathFlags = MEPF_ADDARMED;
    Trail_Init(&editPath);
}

void MeToolPath::Close(void)
{
    MeToolSelect::Close();
    Trail_Clear(&editPath);
}

static void Drop(MeBrushList& list, MeBrush* b)
{
    list.Remove(b);
    b->Snap();
    b->UnHilite();
    delete b;
}

void MeToolPath::Cancel(int byRightClick)
{
    if (state == METS_CLICK) {
        SetState(METS_IDLE);
        g_MeEditor.DisableEditButtons();
        return;
    }
    MeBrushList& sel = Selection();
    if (pathFlags & MEPF_EDITINGPATH) {
        bool dropped = false;
        for (MeBrush* b = sel.head; b;) {
            MeBrush* n = b->Next();
            if (b->Kind() == MEBK_WAYPOINT) Drop(sel, b), dropped = true;
            b = n;
        }
        if (!byRightClick || dropped) return;
        pathFlags &= ~MEPF_EDITINGPATH;
    }
    while (sel.head) Drop(sel, sel.head);
}

void MeToolPath::BandDone(void)
{
    MeToolSelect::BandDone();
    if (pathFlags & MEPF_EDITINGPATH) return;
    for (MeBrush* b = Selection().head; b; b = b->Next())
        if (b->HasPath()) {
            pathFlags |= MEPF_EDITINGPATH;
            return;
        }
}

void MeToolPath::MoveBy(const IPoint& delta, const IPoint& point)
{
    for (MeBrush* b = Selection().head; b; b = b->Next())
        if (b->Kind() == MEBK_WAYPOINT) b->MoveBy(delta, point);
}

void MeToolPath::DeleteSelection(void)
{
    MeBrushList& sel = Selection();
    int deleted = 0;
    for (MeBrush* b = sel.head; b;) {
        MeBrush* n = b->Next();
        if (b->Kind() == MEBK_WAYPOINT) {
            sel.Remove(b);
            // Selected twice (a band and a click), the waypoint is freed once.
            if (b->Thing())
                for (MeBrush* o = sel.head; o; o = o->Next())
                    if (o->Kind() == MEBK_WAYPOINT && o->Thing() == b->Thing()) {
                        if (n == o) n = o->Next();
                        sel.Remove(o);
                        delete o;
                        break;
                    }
            b->Delete();
            delete b;
            deleted++;
        }
        b = n;
    }
    if (deleted) {
        if (g_MeEditor.miniMap) g_MeEditor.miniMap->Redraw();
        if (g_MeEditor.desktop) g_MeEditor.desktop->Repaint(nullptr);
    }
}

bool MeToolPath::HitSelection(const QIPointer& event)
{
    if (!(pathFlags & MEPF_EDITINGPATH)) return MeToolSelect::HitSelection(event);
    const IPoint w = MeBigMap::ScreenToWorld(event);
    const IRect r(w.x, w.y, 1, 1);
    for (MeBrush* b = Selection().head; b; b = b->Next())
        if (b->Kind() == MEBK_WAYPOINT && b->Intersects(r)) return true;
    return false;
}

void MeToolPath::SelectInRect(void)
{
    SelectWaypoints();
    SelectUnits();
}

void MeToolPath::SelectWaypoints(void)
{
    for (WAYPOINT* w = editPath.head; w; w = w->next) {
        MeBrushWaypoint probe(w, &editPath);
        const int c = ClassifyInBand(&probe);
        if (c) g_MeBrushLists[c == 1 ? MEBL_BANDADD : MEBL_BANDREMOVE].Append(new MeBrushWaypoint(w, &editPath));
    }
}

static bool InList(const MeBrushList& l, const WAYPOINT* w)
{
    for (const MeBrush* b = l.head; b; b = b->Next())
        if (const_cast<MeBrush*>(b)->Thing() == w) return true;
    return false;
}

static bool Lit(const WAYPOINT* w)
{
    return (InList(g_MeBrushLists[MEBL_SELECTION], w) || InList(g_MeBrushLists[MEBL_BANDADD], w)) &&
           !InList(g_MeBrushLists[MEBL_BANDREMOVE], w);
}

void MeToolPath::DrawPaths(TRAIL* trail, bool isEditPath)
{
    BITMAP* bb = Backbuf_Lock();
    MeEditor& me = g_MeEditor;
    if (!bb || !trail) return;
    const GRECT c = {clip.x, clip.y, clip.w, clip.h};
    const uint8_t colour = isEditPath ? 22 : 138;
    const WAYPOINT* prev = nullptr;
    bool prevLit = false;
    IPoint pp;
    int n = 0;
    for (const WAYPOINT* w = trail->head; w; w = w->next, n++) {
        const IPoint p = MeBigMap::WorldToScreen(IPoint(24 * w->x, 24 * w->y));
        const bool lit = Lit(w);
        if (prev) {
            Graph_DrawLine(bb, &c, 0, pp.x, pp.y, p.x, p.y, colour);
            if (lit || prevLit)
                for (const IPoint& d : {IPoint(1, 0), IPoint(0, 1), IPoint(1, 1)})
                    Graph_DrawLine(bb, &c, 0, pp.x + d.x, pp.y + d.y, p.x + d.x, p.y + d.y, colour);
        }
        const int s = lit ? 3 : 2;
        Graph_DrawCircle(bb, &c, 0, p.x + s, p.y + s, 8, 0);
        Graph_DrawCircle(bb, &c, 0, p.x, p.y, 8, lit ? 15 : colour);
        if (lit)
            for (const IPoint& d : {IPoint(1, 0), IPoint(0, 1), IPoint(1, 1)})
                Graph_DrawCircle(bb, &c, 0, p.x + d.x, p.y + d.y, 8, 15);
        if (me.fontA && me.fontB) {
            char text[16];
            snprintf(text, sizeof text, "%02d", n);
            Font_Print(p.x - 4, p.y - 5, text, 0, me.fontA->font.slot, nullptr, &c, bb);
            Font_Print(p.x - 5, p.y - 6, text, 0, me.fontB->font.slot, nullptr, &c, bb);
        }
        prev = w, prevLit = lit, pp = p;
    }
}

// --------------------------------------------------------- Paths layer

static MeToolPath& Tool(void) { return g_MeEditor.pathTool; }

void MePaths::BeginAdd(void)
{
    Tool().SetState(METS_CLICK);
    Tool().pathFlags |= MEPF_EDITINGPATH | MEPF_ADDARMED;
}

void MePaths::Clear(void)
{
    Tool().ForgetWaypoints();
    Trail_Clear(&Tool().editPath);
}

void MePaths::AssignToSelection(int direction)
{
    MeToolPath& t = Tool();
    bool taken = false;
    for (MeBrush* b = Selection().head; b; b = b->Next())
        if (b->Kind() == MEBK_UNIT) {
            b->AssignPath(&t.editPath, direction);
            taken = true;
        }
    // With no unit to take it the path stays for the next try.
    if (taken) Clear();
}

void MePaths::CopyFromSelection(void)
{
    MeToolPath& t = Tool();
    MeBrushList& sel = Selection();
    for (MeBrush* b = sel.head; b; b = b->Next())
        if (b->HasPath()) {
            Clear();
            Trail_Copy(&t.editPath, static_cast<UNIT*>(b->Thing())->localtrail);
            sel.Remove(b);
            sel.Append(b);
            return;
        }
}

void MePaths::SetDirection(int direction)
{
    for (MeBrush* b = Selection().head; b; b = b->Next()) b->SetPathDirection(direction);
}
