// The select tool: the selection as a list of brushes, built and toggled by
// the rubber band, moved by dragging, copied, deleted and re-teamed.
//
// Design note. The selection is g_MeBrushLists[MEBL_SELECTION]; while a band
// is dragged the band-add and band-remove lists hold fresh brushes for what it
// would select and deselect, rebuilt from scratch on every change, so that
// lighting follows a growing and shrinking band. A brush that leaves the
// selection is destroyed, never its thing, except through DeleteSelection.
#pragma once

#include <cstdint>

#include "editor/mebrush.h"
#include "editor/metool.h"

class QIList;

enum { MESEL_MAXBRUSH = 10, MESEL_SHAPES = 3 };

// What SelectionChanged gathers: bit v of a mask stands for value v, so more
// than one bit means the selection is mixed.
struct MESELMASKS {
    uint32_t automove, autonomy, selfpreservation, tenacity, pathdirection;
};

class MeToolSelect : public MeTool {
public:
    QIList* picker = nullptr; // the current add layer's list (null: none)
    int32_t brushSize = 1;    // 1..MESEL_MAXBRUSH
    int32_t brushShape = 0;   // 0 square, 1 circle, 2 diamond
    MESELMASKS masks{};       // the last SelectionChanged's

    // Base SetState; click mode sets the big map's fast-left flag, others clear it.
    void SetState(int newState) override;
    // In click mode: the picker's item (a random one of its chosen items)
    // places at the pointer, scattered over the brush when it is bigger.
    void Click(const QIPointer& event) override;
    // In click mode the picker's ghost and the brush outline (zoom 1 only:
    // they are drawn in its geometry); otherwise the rubber band.
    void Draw(const QIPointer& event) override;
    // Recomputes the minimap and repaints the desktop.
    void ClickDone(void) override;
    // Forgets the selection: the things under it go with the scenario.
    void Close(void) override;
    // Clears the selection; in click mode also back to idle with the pickers'
    // choices cleared; then SelectionChanged.
    void Cancel(int byRightClick) override;
    // The band-add brushes join the selection; each band-remove brush takes
    // its selected twin out; then SelectionChanged.
    void BandDone(void) override;
    // Restores the highlights of the last classification and classifies again.
    void BandChanged(void) override;
    // Every selected brush by delta, then again by nothing so that one held
    // back by another selected thing follows it.
    void MoveBy(const IPoint& delta, const IPoint& point) override;
    // Deletes every selected thing once; repaints when one went.
    void DeleteSelection(void) override;
    // Whether a selected brush touches the event's world point.
    bool HitSelection(const QIPointer& event) override;
    // Units, buildings and objects under the band to the band lists.
    void SelectInRect(void) override;
    // 0 outside the band; 1 (lit) when unselected; 2 (unlit) when selected.
    int ClassifyInBand(MeBrush* brush) override;
    // Whether a selected brush wraps brush's thing.
    bool IsSelected(MeBrush* brush) override;
    void HideSelection(void) override;
    void ShowSelection(void) override;
    void BrushBigger(void) override;
    void BrushSmaller(void) override;
    void NextShape(void) override;
    void PrevShape(void) override;
    void ResetBrushSize(void) override;
    void NextTeamSelection(void) override;
    // Every selected brush wraps a copy of its thing, one tile right and down;
    // one whose copy could not be made leaves the selection.
    void CopySelection(void) override;
    // Appends a lit brush for every building (unit, object) of team (-1
    // every team), selected already or not.
    void SelectBuildingsOfTeam(int team) override;
    // Units inside buildings too.
    void SelectUnitsOfTeam(int team) override;
    void SelectAllObjects(void) override;
    void DrawSelectionRanges(void) override;
    void DrawSelectionLabels(void) override;
    void SetSelectionOrders(int tenacity, int autonomy, int selfpreservation, int level) override;
    // Snaps every selected brush to its thing.
    void MoveDone(void) override;
    // Empties the three lists, destroying their brushes but no thing.
    void ForgetSelection(void) override;
    // Of the selected objects sharing a place, keeps the first.
    void RemoveDuplicateObjects(void) override;
    // The band's classification of every region (by list position) and of
    // every team's start position: 1 joins the band-add list, 2 the
    // band-remove list.
    void SelectRegions(void);
    void SelectStarts(void);
    // Gathers masks from the selection.
    virtual void SelectionChanged(void);

    // SelectInRect's parts: units that don't belong to a building; every
    // building; the objects in the map-grid cells under the band.
    void SelectUnits(void);
    void SelectBuildings(void);
    void SelectObjects(void);
};
