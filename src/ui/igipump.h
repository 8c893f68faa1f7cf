// The in-game input pump: once a frame it refreshes the interface's view of
// the selection, gives every active zone its per-frame update and drains the
// input event queue, handing each event to exactly one receiver: the locked
// zone, the keyboard, the building list (wheel) or the zone under the
// pointer. The queue is filled and drained in the same call, so no event
// survives a frame.
//
// Only the map view is handed a double click's kinds (2048 and 8192); every
// other receiver, a locked zone included, gets that press and release as a
// plain press (64) and release (512), so that two quick clicks on a button,
// list, slider, field or the minimap act twice.
#pragma once

struct EVENT;
struct UNIT;

// The per-frame pump; returns 0 (the game messages' update has no result).
int Igievnt_Update(void);
// Records the event in igi_nfo.event with what lies under the pointer and
// passes it to its receiver.
void Igievnt_HandleEvent(const EVENT* event);
// Sets the input-changed flag that the display reads and clears.
void Igievnt_SetInputChanged(void);
// The unit when the local team owns or sees it, else null: a click on fog
// must not aim at what the player cannot see.
UNIT* Igievnt_VisibleUnit(UNIT* u);
