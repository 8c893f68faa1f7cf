// The path tool: a scratch trail of waypoints (the edit path) built by
// clicks on map vertices, selected, dragged and deleted through waypoint
// brushes, and copied into the local trails of the selected units, which
// then follow it once, back and forth or looped.
//
// Design note. The tool is the select tool plus waypoints: units are
// selected as there, but only waypoints move or get deleted. A waypoint
// stands on a vertex (tile position (x, y) is world pixel (24x, 24y)),
// always inside 1 .. size - 1 so that a unit can reach it. Brushes of the
// edit path's waypoints are dropped whenever the edit path is emptied, so
// none outlives its waypoint.
#pragma once

#include <cstdint>

#include "editor/mebrush.h"
#include "editor/meselect.h"
#include "units/trail.h"

class MeBrushWaypoint : public MeBrush {
public:
    WAYPOINT* thing;
    TRAIL* trail;

    MeBrushWaypoint(WAYPOINT* waypoint, TRAIL* owner);
    int Kind(void) override { return MEBK_WAYPOINT; }
    void* Thing(void) override { return thing; }
    bool IsSame(MeBrush* other) override { return other && other->Thing() == thing; }
    // 12 x 12 pixels around the vertex.
    IRect GetRect(void) override;
    // Takes the waypoint out of its trail.
    void Delete(void) override;
    // Follows x, y to the nearest vertex inside the map that no other
    // waypoint of the trail holds.
    void MoveBy(const IPoint& delta, const IPoint& point) override;
    void Snap(void) override;
};

enum MEPATH_FLAGS : uint32_t {
    MEPF_EDITINGPATH = 0x1, // waypoint brushes take part in hits and cancel first
    MEPF_ADDARMED = 0x2,    // the next click may add a waypoint
};

class MeToolPath : public MeToolSelect {
public:
    TRAIL editPath{nullptr, nullptr};
    uint32_t pathFlags = 0; // MEPATH_FLAGS

    int CursorClick(void) override { return METOOL_CURSOR_PICK; }
    // Adds a waypoint at the vertex nearest the pointer, once a press.
    void Click(const QIPointer& event) override;
    // In click mode the next waypoint's marker; otherwise as the select tool.
    void Draw(const QIPointer& event) override;
    // The selected units' paths, then the edit path.
    void DrawMap(void) override;
    void ClickDone(void) override;
    void Init(void) override;
    void Close(void) override;
    // Drops the selected waypoints first, then the whole selection.
    void Cancel(int byRightClick) override;
    // A band selecting a unit with a path starts path editing.
    void BandDone(void) override;
    // Only waypoints move.
    void MoveBy(const IPoint& delta, const IPoint& point) override;
    // Only waypoints are deleted.
    void DeleteSelection(void) override;
    bool HitSelection(const QIPointer& event) override;
    // Waypoints, then units.
    void SelectInRect(void) override;

    void SelectWaypoints(void);
    // trail's waypoints, numbered, joined and lit where selected.
    void DrawPaths(TRAIL* trail, bool isEditPath);
    // Unlinks and destroys every brush of an edit path waypoint.
    void ForgetWaypoints(void);
};

// The Paths layer's operations on the editor's path tool.
class MePaths {
public:
    // Click mode with path editing and adding armed.
    static void BeginAdd(void);
    static void Clear(void);
    // The edit path to every selected unit in direction (0 once, 1 back
    // and forth, 2 looped, -1 as 0); emptied once a unit took it.
    static void AssignToSelection(int direction);
    // The first selected unit with a path lends it to the edit path and
    // goes to the selection's end.
    static void CopyFromSelection(void);
    static void SetDirection(int direction);
    // "PathsLayer" and "PathsLayer2" with the buttons (acting on a click with
    // a scenario open) and the direction menu, hidden.
    static void BuildLayer(void);
    // The shown direction from the selection's direction mask: a single bit's
    // direction, else -1 (none chosen); the menu redrawn.
    static void DirectionFromMenu(void);
};
