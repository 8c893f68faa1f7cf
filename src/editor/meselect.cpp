#include "editor/meselect.h"

#include <vector>

#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/meminimap.h"
#include "editor/meorders.h"
#include "editor/mepick.h"
#include "editor/methings.h"
#include "core/rand.h"
#include "map/mapgrid.h"
#include "map/overlay.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitlist.h"
#include "widgets/qilist.h"
#include "widgets/qidesktop.h"
#include "widgets/qiwidget.h"

static MeBrushList& Selection(void) { return g_MeBrushLists[MEBL_SELECTION]; }

static void Repaint(void)
{
    if (g_MeEditor.desktop) g_MeEditor.desktop->Repaint(nullptr);
}

static void RedrawAll(void)
{
    if (g_MeEditor.miniMap) g_MeEditor.miniMap->Redraw();
    Repaint();
}

static void SetMapFlag(bool on)
{
    QIWidget* map = g_MeEditor.bigMap;
    if (!map) return;
    if (on)
        map->flags |= QIWF_FASTLEFT;
    else
        map->flags &= ~QIWF_FASTLEFT;
}

void MeToolSelect::SetState(int newState)
{
    MeTool::SetState(newState);
    SetMapFlag(newState == METS_CLICK);
}

void MeToolSelect::Click(const QIPointer& event)
{
    if (state != METS_CLICK || !picker) return;
    MePickItem* item = dynamic_cast<MePickItem*>(picker->PickRandomSelected());
    if (!item) return;
    QIPointer at = event;
    if (brushSize > 1 && (picker->listFlags & QILF_MULTISELECT)) {
        const int s = 24 * brushSize;
        at.x += Crt_Rand() % s - s / 2;
        at.y += Crt_Rand() % s - s / 2;
    }
    item->Place(at);
}

// The brush's outline around the pointer's tile, in screen pixels.
static void DrawOutline(const IRect& clip, const QIPointer& event, int size, int shape)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    const GRECT c = {clip.x, clip.y, clip.w, clip.h};
    const IPoint corner = MeBigMap::TileToScreen(MeBigMap::ScreenToTile(event));
    const int x0 = corner.x - 12 * size, y0 = corner.y - 12 * size;
    const int x1 = corner.x + 12 * size + 12, y1 = corner.y + 12 * size + 12;
    if (shape == 0) {
        Graph_DrawRect(bb, &c, 0, x0, y0, x1 - x0 + 1, y1 - y0 + 1, 15);
    } else if (shape == 1) {
        const int r = size == 1 ? 18 : (24 * size + 24) / 2;
        const int d = size == 1 ? 6 : 18;
        Graph_DrawCircle(bb, &c, 0, corner.x + d, corner.y + d, r, 15);
    } else {
        const int mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
        Graph_DrawLine(bb, &c, 0, mx, y0, x1, my, 15);
        Graph_DrawLine(bb, &c, 0, x1, my, mx, y1, 15);
        Graph_DrawLine(bb, &c, 0, mx, y1, x0, my, 15);
        Graph_DrawLine(bb, &c, 0, x0, my, mx, y0, 15);
    }
}

void MeToolSelect::Draw(const QIPointer& event)
{
    if (state != METS_CLICK || (flags & METF_SCROLLING)) {
        DrawRubberBand();
        return;
    }
    // Ghosts and outline are drawn in zoom-1 geometry: zoomed, they would
    // show away from where the click places.
    if (!picker || g_MeEditor.view.zoom != 1) return;
    if (MePickItem* item = dynamic_cast<MePickItem*>(picker->ItemAt(picker->current))) item->Preview(event);
    if (brushSize > 1 && (picker->listFlags & QILF_MULTISELECT)) DrawOutline(clip, event, brushSize, brushShape);
}

void MeToolSelect::ClickDone(void) { RedrawAll(); }

// The editor closes its tools when it ends and before a load replaces the
// scenario: brushes kept past that would reach freed things.
void MeToolSelect::Close(void) { ForgetSelection(); }

void MeToolSelect::Cancel(int byRightClick)
{
    (void)byRightClick;
    MeBrushList& sel = Selection();
    while (MeBrush* b = sel.head) {
        sel.Remove(b);
        b->Snap();
        b->UnHilite();
        delete b;
    }
    if (state == METS_CLICK) {
        SetState(METS_IDLE);
        g_MeEditor.DisableEditButtons();
    }
    SelectionChanged();
}

void MeToolSelect::BandDone(void)
{
    MeBrushList& sel = Selection();
    MeBrushList& add = g_MeBrushLists[MEBL_BANDADD];
    MeBrushList& rem = g_MeBrushLists[MEBL_BANDREMOVE];
    while (MeBrush* b = add.head) {
        add.Remove(b);
        sel.Append(b);
    }
    while (MeBrush* b = rem.head) {
        rem.Remove(b);
        for (MeBrush* s = sel.head; s; s = s->Next())
            if (s->IsSame(b)) {
                sel.Remove(s);
                delete s;
                break;
            }
        delete b;
    }
    SelectionChanged();
}

void MeToolSelect::BandChanged(void)
{
    MeBrushList& add = g_MeBrushLists[MEBL_BANDADD];
    MeBrushList& rem = g_MeBrushLists[MEBL_BANDREMOVE];
    while (MeBrush* b = add.head) {
        b->UnHilite();
        add.Remove(b);
        delete b;
    }
    while (MeBrush* b = rem.head) {
        b->Hilite();
        rem.Remove(b);
        delete b;
    }
    SelectInRect();
}

void MeToolSelect::MoveBy(const IPoint& delta, const IPoint& point)
{
    for (MeBrush* b = Selection().head; b; b = b->Next()) b->MoveBy(delta, point);
    const IPoint none(0, 0);
    for (MeBrush* b = Selection().head; b; b = b->Next()) b->MoveBy(none, point);
}

// Whether b's thing went with an earlier brush of this operation: the thing
// is freed, so b must only be dropped.
static bool AlreadyGone(const std::vector<void*>& gone, MeBrush* b)
{
    void* t = b->Thing();
    for (void* g : gone)
        if (g == t) return true;
    return false;
}

void MeToolSelect::DeleteSelection(void)
{
    MeBrushList& sel = Selection();
    std::vector<void*> gone;
    int deleted = 0;
    while (MeBrush* b = sel.head) {
        sel.Remove(b);
        if (!b->Thing() || !AlreadyGone(gone, b)) {
            if (b->Thing()) gone.push_back(b->Thing());
            // A building takes its units along: their own brushes later in
            // the selection must not delete them again.
            if (b->Kind() == MEBK_BUILD) {
                UNIT* units[MEBUILD_UNITS];
                const int n = MeBrushBuild::Units(static_cast<BUILDING*>(b->Thing()), units);
                gone.insert(gone.end(), units, units + n);
            }
            b->Delete();
            deleted++;
        }
        delete b;
    }
    if (deleted) RedrawAll();
}

bool MeToolSelect::HitSelection(const QIPointer& event)
{
    const IPoint w = MeBigMap::ScreenToWorld(event);
    const IRect r(w.x, w.y, 1, 1);
    for (MeBrush* b = Selection().head; b; b = b->Next())
        if (b->Intersects(r)) return true;
    return false;
}

int MeToolSelect::ClassifyInBand(MeBrush* brush)
{
    const int x = anchor.x < current.x ? anchor.x : current.x;
    const int y = anchor.y < current.y ? anchor.y : current.y;
    const int w = (anchor.x < current.x ? current.x - anchor.x : anchor.x - current.x) + 1;
    const int h = (anchor.y < current.y ? current.y - anchor.y : anchor.y - current.y) + 1;
    if (!brush->Intersects(IRect(x, y, w, h))) return 0;
    if (IsSelected(brush)) {
        brush->UnHilite();
        return 2;
    }
    brush->Hilite();
    return 1;
}

bool MeToolSelect::IsSelected(MeBrush* brush)
{
    for (MeBrush* b = Selection().head; b; b = b->Next())
        if (b->IsSame(brush)) return true;
    return false;
}

void MeToolSelect::HideSelection(void)
{
    for (MeBrush* b = Selection().head; b; b = b->Next()) b->UnHilite();
    SetMapFlag(true);
}

void MeToolSelect::ShowSelection(void)
{
    for (MeBrush* b = Selection().head; b; b = b->Next()) b->Hilite();
    SetMapFlag(false);
}

void MeToolSelect::BrushBigger(void)
{
    if (brushSize < MESEL_MAXBRUSH) brushSize++;
}

void MeToolSelect::BrushSmaller(void)
{
    if (brushSize > 1) brushSize--;
}

void MeToolSelect::NextShape(void) { brushShape = (brushShape + 1) % MESEL_SHAPES; }

void MeToolSelect::PrevShape(void) { brushShape = (brushShape + MESEL_SHAPES - 1) % MESEL_SHAPES; }

void MeToolSelect::ResetBrushSize(void) { brushSize = 1; }

void MeToolSelect::NextTeamSelection(void)
{
    for (MeBrush* b = Selection().head; b; b = b->Next()) b->NextTeam();
    if (Selection().head) RedrawAll();
}

void MeToolSelect::CopySelection(void)
{
    const IPoint step(24, 24), none(0, 0);
    MeBrushList& sel = Selection();
    for (MeBrush* b = sel.head; b;) {
        MeBrush* n = b->Next();
        void* original = b->Thing();
        b->Copy();
        if (b->Thing() == original) {
            // No copy (a unit's tile was taken): the selection holds copies
            // only, so the original leaves it rather than stand in for one.
            sel.Remove(b);
            b->UnHilite();
            delete b;
        } else {
            b->MoveBy(step, none);
        }
        b = n;
    }
    // The copies moved off the tiles they were marked on.
    if (Selection().head && g_MeEditor.miniMap) g_MeEditor.miniMap->Redraw();
    Repaint();
}

void MeToolSelect::DrawSelectionRanges(void)
{
    for (MeBrush* b = Selection().head; b; b = b->Next()) b->DrawRange(clip);
}

void MeToolSelect::DrawSelectionLabels(void)
{
    for (MeBrush* b = Selection().head; b; b = b->Next()) b->DrawLabel(clip);
}

void MeToolSelect::SetSelectionOrders(int tenacity, int autonomy, int selfpreservation, int level)
{
    for (MeBrush* b = Selection().head; b; b = b->Next()) b->SetOrders(tenacity, autonomy, selfpreservation, level);
}

void MeToolSelect::MoveDone(void)
{
    for (MeBrush* b = Selection().head; b; b = b->Next()) b->Snap();
    // The minimap shows where the things went.
    if (Selection().head && g_MeEditor.miniMap) g_MeEditor.miniMap->Redraw();
}

void MeToolSelect::ForgetSelection(void)
{
    // The scenario under the brushes is being replaced: their things may be
    // gone already, so nothing is called on them, but the brushes are ours.
    for (MeBrushList& l : g_MeBrushLists) l.DestroyAll();
}

void MeToolSelect::RemoveDuplicateObjects(void)
{
    MoveDone();
    MeBrushList& sel = Selection();
    std::vector<void*> gone;
    for (MeBrush* a = sel.head; a; a = a->Next()) {
        if (a->Kind() != MEBK_OBJECT) continue;
        MeBrush* b = a->Next();
        while (b) {
            MeBrush* n = b->Next();
            if (b->Kind() == MEBK_OBJECT && b->x == a->x && b->y == a->y) {
                sel.Remove(b);
                // The same object selected twice is a duplicate of itself: drop
                // the brush, keep the object.
                if (b->Thing() != a->Thing() && !AlreadyGone(gone, b)) {
                    gone.push_back(b->Thing());
                    b->Delete();
                }
                delete b;
            }
            b = n;
        }
    }
}

template <class B, class T> static void Classify(MeToolSelect* tool, T* thing)
{
    B probe(thing);
    const int c = tool->ClassifyInBand(&probe);
    if (c) g_MeBrushLists[c == 1 ? MEBL_BANDADD : MEBL_BANDREMOVE].Append(new B(thing));
}

void MeToolSelect::SelectInRect(void)
{
    SelectUnits();
    SelectBuildings();
    SelectObjects();
    SelectRegions();
    SelectStarts();
}

void MeToolSelect::SelectUnits(void)
{
    // Gathered first: classifying lights units, and the walk must not
    // depend on what that does to the lists.
    std::vector<UNIT*> units;
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it))
        if (u->onmap && !BuildId_Valid(&u->associate) && !BuildId_Valid(&u->partof)) units.push_back(u);
    for (UNIT* u : units) Classify<MeBrushUnit>(this, u);
}

void MeToolSelect::SelectBuildings(void)
{
    std::vector<BUILDING*> all;
    for (BUILDING* b = g_Buildings; b; b = b->next) all.push_back(b);
    for (BUILDING* b : all) Classify<MeBrushBuild>(this, b);
}

void MeToolSelect::SelectObjects(void)
{
    if (!Mapgrid_IsOpen()) return;
    const int x0 = anchor.x < current.x ? anchor.x : current.x, x1 = anchor.x < current.x ? current.x : anchor.x;
    const int y0 = anchor.y < current.y ? anchor.y : current.y, y1 = anchor.y < current.y ? current.y : anchor.y;
    const int cells = 24 * MAPGRID_CELL_TILES;
    const int cx0 = x0 < 0 ? 0 : x0 / cells, cy0 = y0 < 0 ? 0 : y0 / cells;
    const int cx1 = x1 / cells < Mapgrid_CellsX() ? x1 / cells : Mapgrid_CellsX() - 1;
    const int cy1 = y1 / cells < Mapgrid_CellsY() ? y1 / cells : Mapgrid_CellsY() - 1;
    std::vector<OVERLAY*> found;
    for (int cy = cy0; cy <= cy1; cy++)
        for (int cx = cx0; cx <= cx1; cx++) {
            const MAPGRID_CELL* cell = Mapgrid_Cell(cx, cy);
            if (!cell) continue;
            for (int i = 0; i < cell->count[MGL_OVERLAY]; i++) {
                OVERLAY* o = static_cast<OVERLAY*>(cell->items[MGL_OVERLAY][i]);
                if (o->type != -1) found.push_back(o);
            }
        }
    for (OVERLAY* o : found) Classify<MeBrushObject>(this, o);
}

template <class B, class T> static void SelectLit(T* thing)
{
    B* b = new B(thing);
    b->Hilite();
    Selection().Append(b);
}

void MeToolSelect::SelectBuildingsOfTeam(int team)
{
    for (BUILDING* b = g_Buildings; b; b = b->next)
        if (team == -1 || b->team == team) SelectLit<MeBrushBuild>(b);
}

void MeToolSelect::SelectUnitsOfTeam(int team)
{
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    std::vector<UNIT*> units;
    while (UNIT* u = Iterate_UnitNext(&it))
        if (team == -1 || u->team == team) units.push_back(u);
    for (UNIT* u : units) SelectLit<MeBrushUnit>(u);
}

void MeToolSelect::SelectAllObjects(void)
{
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay)
        if (o->type != -1) SelectLit<MeBrushObject>(o);
}

void MeToolSelect::SelectionChanged(void)
{
    masks = MESELMASKS{};
    for (MeBrush* b = Selection().head; b; b = b->Next()) {
        const uint32_t automove = b->AutoMoveBit();
        masks.automove |= automove;
        if (!automove) {
            masks.autonomy |= b->AutonomyBit();
            masks.selfpreservation |= b->SelfPreservationBit();
            masks.tenacity |= b->TenacityBit();
        }
        masks.pathdirection |= b->PathDirectionBit();
    }
    MEORDERS& o = g_MeEditor.orders;
    o.masks[0] = masks.tenacity;
    o.masks[1] = masks.selfpreservation;
    o.masks[2] = masks.autonomy;
    o.masks[3] = masks.automove;
    g_MeEditor.paths.directionMask = masks.pathdirection;
    MeOrders::FromSelection();
    MePaths::DirectionFromMenu();
}
