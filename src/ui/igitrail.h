// The trail panel: the edit trail that map clicks fill, sent as the
// selection's local trail or stored as one of the local team's 30 global
// trails, which a list names; and the trails drawn on the map and the
// minimap while the panel shows.
//
// A global trail's name lives only in the list (entry text, slot in data1):
// names aren't part of the game, so a loaded game names its trails afresh.
// A slot that a list entry holds is in use even while its trail is still
// empty: the order that fills it may not have executed yet.
#pragma once

#include <cstdint>

struct BITMAP;
struct GRECT;
struct SLIST;
struct TRAIL;

enum {
    IGITRAIL_LISTZONE = 52,
    IGITRAIL_ROW = 12,
    IGITRAIL_DRAGTHRESHOLD = 4,
    IGITRAIL_LOCK = 2,           // the button lock of the list's right drag
};

// Zones 43 to 53 (Igipanel_DefineZones), the list over zone 52.
void Igitrail_DefineZones(void);
// Execution mode 2, name counter 1 (part of the state reset).
void Igitrail_ResetState(void);
// Deletes the list.
void Igitrail_Close(void);
// The global trail list; null before set-up.
SLIST* Igitrail_List(void);
// The selected entry's slot, or -1.
int Igitrail_SelectedSlot(void);
// Reads the list's selection into igi_nfo.globaltrail and the name field
// (the MLS_EVNT_NOTRAIL text when none) and marks the list dirty.
void Igitrail_RefreshName(void);
// Rebuilds the list from the local team's non-empty global trails, each
// named from the counter, nothing selected (after a saved game loads).
void Igitrail_RebuildList(void);
// The trail the panel shows: the selected global trail, else the trail of
// the local team's unit under the pointer, else of the first selected unit
// (the one it follows under SO_TRAIL, else its local trail); null for none.
TRAIL* Igitrail_ShownTrail(void);

// The scroll lists' right drag, shared with the saved-game list: a right
// press confines the mouse to the list and takes lock; a move of 4 pixels
// starts scrolling with the pointer held at the list's centre; the release
// puts the pointer back, or, without a drag, calls rightclick.
void Igievnt_ListDragInput(SLIST* list, int lock, void (*rightclick)(void));
// The drag's per-frame step; 1 when the list scrolled.
int Igievnt_ListDragUpdate(SLIST* list, int lock);

// Zone handlers: tabs 43 and 44, the execution mode (49), the name field
// (51) and the list (52).
void Igievnt_TrailTabHandler(uint32_t zd, uint32_t reason);
void Igievnt_ExecModeHandler(uint32_t zd, uint32_t reason);
void Igievnt_TrailNameHandler(uint32_t zd, uint32_t reason);
void Igievnt_TrailListHandler(uint32_t zd, uint32_t reason);
// The execution mode of a click at x in zone 49: 2, 0, 1 by thirds.
int Igievnt_ExecModeAt(int x);

// In the trail panel: the shown trail (style 1), the edit trail, its current
// waypoint (style 2) and the hovered one, numbered boxes joined by lines,
// into the map view clipped to clip.
void Igitrail_DrawMapOverlay(BITMAP* dst, const GRECT* clip);
// In the trail panel: the shown trail and the edit trail on the minimap.
void Igitrail_DrawMinimap(BITMAP* dst);
