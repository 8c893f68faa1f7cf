// Start positions and regions: the one-shot tools that set them, the
// brushes through which the select tool moves and deletes them, and the
// region list's item.
//
// Design note. A start position is a team's world-pixel pair, (-1, -1) for
// none; a region a rectangle (x2, y2 exclusive) or a circle (centre and
// radius in x1, y1, x2). Both stay at least a pixel inside the map, so that
// a saved 0 never reads as "none". A rectangle is grabbed at its outline:
// a corner resizes it down to 8 x 8, an edge moves it whole; a circle is
// grabbed at its outline too and always moves whole with its radius.
#pragma once

#include <cstdint>

#include "editor/mebrush.h"
#include "editor/metool.h"
#include "widgets/qiitem.h"

struct REGION;
struct TEAM_STARTPOS;

enum {
    MESTART_HALF = 5,    // a start position's rectangle reaches this far each way
    MEREGION_GRAB = 6,   // how near an outline a point grabs it
    MEREGION_MIN = 8,    // the smallest side a corner drag leaves
};

enum MEREGION_GRAB {
    MERG_NONE = 0,
    MERG_WHOLE = 1,
    MERG_TOPLEFT = 2,
    MERG_TOPRIGHT = 3,
    MERG_BOTTOMLEFT = 4,
    MERG_BOTTOMRIGHT = 5,
};

// Sets the current team's start position with one click, then gives the
// map back to the tool it was armed from.
class MeToolStartPos : public MeTool {
public:
    MeTool* previousTool = nullptr;

    int CursorClick(void) override { return METOOL_CURSOR_PICK; }
    // Armed: the current team's start becomes the point (kept a pixel inside
    // the map); the previous tool is current again.
    void Click(const QIPointer& event) override;
    // Unless current: remembers the current tool, becomes current in click mode.
    void Arm(void);
};

// Draws one rectangle region with a drag, then gives the map back.
class MeToolRegion : public MeTool {
public:
    MeTool* previousTool = nullptr;
    // A press on the map started the band since the tool was armed.
    bool pressed = false;

    int CursorClick(void) override { return METOOL_CURSOR_PICK; }
    // The band, in click mode only.
    void Draw(const QIPointer& event) override;
    // In click mode, marks the band as started by a press.
    void LeftDown(const QIPointer& event) override;
    // Armed and pressed: adds the band as a rectangle region with a new id
    // (a click without a drag makes 1 x 1); the previous tool is current,
    // idle. Without a press (the pointer only passed over the map) nothing
    // is made and the tool stays armed.
    void ClickDone(void) override;
    void Begin(MeTool* previous);
    // Unless current: Begin with the current tool, current in click mode.
    void Arm(void);
};

class MeBrushStart : public MeBrush {
public:
    TEAM_STARTPOS* thing;

    explicit MeBrushStart(TEAM_STARTPOS* start);
    int Kind(void) override { return MEBK_START; }
    void* Thing(void) override { return thing; }
    bool IsSame(MeBrush* other) override { return other && other->Thing() == thing; }
    // 10 x 10 about the point.
    IRect GetRect(void) override;
    // (-1, -1): no start position.
    void Delete(void) override;
    // x, y by delta; the pair follows, kept to 1 .. 24 x map size - 2.
    void MoveBy(const IPoint& delta, const IPoint& point) override;
    void Snap(void) override;
};

class MeBrushRegion : public MeBrush {
public:
    int32_t x2 = 0, y2 = 0; // the second corner (a circle: radius, 0)
    REGION* thing;
    int32_t grab = MERG_NONE;

    explicit MeBrushRegion(REGION* region);
    int Kind(void) override { return MEBK_REGION; }
    void* Thing(void) override { return thing; }
    bool IsSame(MeBrush* other) override { return other && other->Thing() == thing; }
    // A circle's is the square around it.
    IRect GetRect(void) override;
    void Hilite(void) override;
    void UnHilite(void) override;
    void Delete(void) override;
    // The grab is chosen at the first move from the point; see the design note.
    void MoveBy(const IPoint& delta, const IPoint& point) override;
    // x, y, x2, y2 from the region; the grab undecided.
    void Snap(void) override;
    // Enclosed strictly by rect; or rect is a point (under 4 x 4) within 6
    // pixels of the outline.
    bool Intersects(const IRect& rect) override;
    void Copy(void) override {}
};

// The fill of a row of the editor's own lists (regions, scenario folders)
// for its QIROW_STATE: pointed at, current, or both; -1 for a plain row.
int MeEditor_RowFill(uint32_t state);

// A row of the region list: "Circle %5d %3d,%3d (%3d)" or
// "Rect %5d %3d,%3d->%3d,%3d".
class MeRegionItem : public QIGraphic {
public:
    REGION* region;
    const QIFont* font;

    MeRegionItem(REGION* r, const QIFont* f);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    int Height(void) override;
    int Width(void) override { return 100; }
    // The row's text.
    void Text(char* out, int size) const;
};
