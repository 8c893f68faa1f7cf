#include "editor/meselect.h"

#include <vector>

#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/meminimap.h"
#include "editor/meorders.h"
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

void MeToolSelect::ClickDone(void) { RedrawAll(); }

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
}

void MeToolSelect::CopySelection(void)
{
    const IPoint step(24, 24), none(0, 0);
    for (MeBrush* b = Selection().head; b; b = b->Next()) {
        b->Copy();
        b->MoveBy(step, none);
    }
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
}
