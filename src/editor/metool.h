// The big map's tools: the base every tool derives from, and its pointer
// state machine.
//
// Design note. The big-map widget hands every pointer event over the map to
// the current tool; the base turns them into five states:
//   0 idle, 1 click mode (a layer asked for clicks: placing, start
//   positions, regions), 2 rubber band, 3 band with Shift, 4 band with Ctrl,
//   5 moving the selection, 6 continuous action (a derived tool's own).
// Right-button scrolling (the Scrolling flag) runs beside any state: while
// it is set left presses and releases are ignored and moves scroll the map,
// a band or move following the pointer. Every stored point is in world
// pixels, so a drag survives scrolling and zoom. Leaving the map ends a band
// (BandDone) and a move (without MoveDone): the release that follows
// arrives in state 0 and does nothing.
#pragma once

#include <cstdint>

#include "widgets/qivalue.h"

class QIPointer;
class MeBrush;

enum METOOL_FLAGS : uint32_t {
    METF_POINTERINSIDE = 0x1,
    METF_SCROLLING = 0x2,
};

enum METOOL_STATE {
    METS_IDLE = 0,
    METS_CLICK = 1,
    METS_BAND = 2,
    METS_SHIFTBAND = 3,
    METS_CTRLBAND = 4,
    METS_MOVE = 5,
    METS_PAINT = 6,
};

// Cursor numbers of the cursor file.
enum { METOOL_CURSOR_IDLE = 0, METOOL_CURSOR_PICK = 34, METOOL_CURSOR_CLICK = 38, METOOL_CURSOR_PAINT = 39,
       METOOL_CURSOR_MOVE = 40 };

// A right click shorter than this cancels instead of only scrolling.
enum { METOOL_SHORTCLICKMS = 200 };

class MeTool {
public:
    uint32_t flags = 0; // METOOL_FLAGS
    int32_t state = METS_IDLE;
    uint32_t scrollStart = 0;
    IPoint anchor;
    IPoint current;
    IRect clip{0, 0, 0, 0};

    MeTool() {}
    virtual ~MeTool() {}

    // Stores the state, then UpdateCursor.
    virtual void SetState(int newState);
    virtual int CursorIdle(void) { return METOOL_CURSOR_IDLE; }
    virtual int CursorBand(void) { return METOOL_CURSOR_IDLE; }
    virtual int CursorShiftBand(void) { return METOOL_CURSOR_IDLE; }
    virtual int CursorClick(void) { return METOOL_CURSOR_CLICK; }
    virtual int CursorMove(void) { return METOOL_CURSOR_MOVE; }
    virtual int CursorPaint(void) { return METOOL_CURSOR_PAINT; }
    virtual int CursorScroll(void) { return METOOL_CURSOR_MOVE; }
    virtual void Click(const QIPointer& event) { (void)event; }
    // The rubber band.
    virtual void Draw(const QIPointer& event);
    virtual void DrawMap(void) {}
    // Sets PointerInside, UpdateCursor.
    virtual void PointerEnter(void);
    // Ends a band (BandDone) or a move (no MoveDone); clears PointerInside.
    virtual void PointerLeave(const QIPointer& event);
    virtual void ClickDone(void) {}
    virtual void Init(void) {}
    virtual void Close(void) {}
    // The state's cursor through Cursor_Set (while a cursor file is loaded).
    virtual void UpdateCursor(void);
    virtual void LeftDown(const QIPointer& event);
    virtual void LeftUp(const QIPointer& event);
    // Captures the pointer and starts scrolling.
    virtual void RightDown(const QIPointer& event);
    // Ends scrolling; a short click cancels.
    virtual void RightUp(const QIPointer& event);
    virtual void PointerMove(const QIPointer& event);
    // In click mode back to idle (re-entering when the pointer is inside).
    virtual void Cancel(int byRightClick);
    virtual void AltClick(const QIPointer& event) { (void)event; }
    virtual void BandDone(void) {}
    virtual void BandChanged(void) {}
    virtual void MoveBy(const IPoint& delta, const IPoint& point) { (void)delta, (void)point; }
    virtual void DeleteSelection(void) {}
    virtual bool HitSelection(const QIPointer& event) { (void)event; return false; }
    virtual void SelectInRect(void) {}
    virtual int ClassifyInBand(MeBrush* brush) { (void)brush; return 0; }
    virtual bool IsSelected(MeBrush* brush) { (void)brush; return false; }
    virtual void HideSelection(void) {}
    virtual void ShowSelection(void) {}
    virtual void BrushBigger(void) {}
    virtual void BrushSmaller(void) {}
    virtual void NextShape(void) {}
    virtual void PrevShape(void) {}
    virtual void ResetBrushSize(void) {}
    virtual void NextTeamSelection(void) {}
    virtual void CopySelection(void) {}
    virtual void SelectBuildingsOfTeam(int team) { (void)team; }
    virtual void SelectUnitsOfTeam(int team) { (void)team; }
    virtual void SelectAllObjects(void) {}
    virtual void DrawSelectionRanges(void) {}
    virtual void DrawSelectionLabels(void) {}
    virtual void SetSelectionOrders(int tenacity, int autonomy, int selfpreservation, int level)
    {
        (void)tenacity, (void)autonomy, (void)selfpreservation, (void)level;
    }
    virtual void MoveDone(void) {}
    virtual void ForgetSelection(void) {}
    virtual void RemoveDuplicateObjects(void) {}

    // The band's outline in colour 15 on the back buffer, clipped to clip:
    // only in the band states, and only when it is wider or higher than 4.
    void DrawRubberBand(void);

protected:
    // The band between anchor and current as DrawRubberBand draws it,
    // whatever the state.
    void DrawBand(void);
    // current := the event's world point; a drag also sets anchor.
    void TakePoint(const QIPointer& event);
    void StartDrag(const QIPointer& event);
};
