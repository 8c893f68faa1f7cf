// The mouse commands: the map view (zone 22) and the minimap (zone 23)
// turn presses, drags and releases into view scrolling, box selection and,
// through Igievnt_MapClick, player orders for the local team's selection.
//
// Drag state lives in igi_nfo: the drag mode says which button is held
// where, the dragging flag that the pointer has gone past the zone's
// threshold (the cursor is hidden meanwhile). The mouse is confined to the
// zone from a press to its release. Nothing held across frames is followed
// without its handle: what lies under the pointer is looked up per event.
#pragma once

#include <cstdint>

struct BUILDINGTYPE;

enum IGI_DRAGMODE {
    DRAG_NONE = 0,
    DRAG_MAPLEFT = 1,
    DRAG_MAPRIGHT = 2,
    DRAG_MINIRIGHT = 3,
    DRAG_MINILEFT = 4,
    DRAG_TEXT = 5,
};

enum IGI_BUTTONLOCK { LOCK_NONE = 0, LOCK_LIST = 1, LOCK_SLIDER = 4, LOCK_WAYPOINT = 5 };

enum {
    IGI_BOXTHRESHOLD = 15,       // pixels a left drag in the map view must pass
    IGI_SCROLLTHRESHOLD = 5,     // the same for a right drag
    IGI_WAYPOINTTHRESHOLD = 3,
    IGI_MINIMAPTHRESHOLD = 3,
};

// Zone 22: presses, drags and releases (reason 2) and the drags' per-frame
// steps (reason 1). Reason 0 draws nothing: the display draws the view.
void Igievnt_MapViewHandler(uint32_t zd, uint32_t reason);
// Zone 23: the minimap's drags, view centring and orders.
void Igievnt_MinimapHandler(uint32_t zd, uint32_t reason);
// Zone 21, the text panel while it holds the input: a left release in its
// close box or outside it, or Escape, closes it; a right drag scrolls it.
void Igievnt_TextPanelHandler(uint32_t zd, uint32_t reason);
// Classifies the current event (igi_nfo.event) and acts on the kind.
void Igievnt_MapClick(void);
// A right click that was no drag: leaves placement alone, else drops the
// current waypoint, or opens the building panel with nothing selected, or
// empties the selection; the action mode becomes 0.
void Igievnt_Cancel(void);
// The top-left tile of type's footprint placed under tile (x, y).
void Igievnt_PlacementTopLeft(const BUILDINGTYPE* type, int x, int y, int* lx, int* ly);
// The index of the edit trail's waypoint on tile (x, y) while the trail
// panel is shown, else -1.
int Igievnt_WaypointAt(int x, int y);
// Inserts a waypoint of type (0 move, 1 fire) at tile (x, y) next to the
// current one, which it becomes: after copying the chosen global trail into
// an empty edit trail (for a move only in edit sub-mode 0); never onto
// another waypoint, and a fire waypoint never into an empty trail.
void Igievnt_InsertWaypoint(int type, int x, int y);
// The scroll velocity after one frame of a scroll drag with the pointer d
// pixels from its rest point, clamped to +/- limit.
int Igievnt_ScrollVelocity(int velocity, int d, int limit);
