// The in-game interface's operations over igi_nfo: the selection of units
// and of one building, the ten control groups, the action and panel modes,
// the standard buttons, the selection summary, the acknowledgement and map
// sounds, selling resources, the text-entry zones and event injection.
//
// Nothing here changes the game directly: orders go through the pending
// order queue for the local team.
#pragma once

#include <cstdint>

struct UNIT;
struct BUILDING;
struct SOUND_EFFECT;
struct UNITLIST;

// --- selection ---

// Appends the unit (no duplicate test) and recomputes firstunit.
void Igievnt_SelectUnit(UNIT* unit);
// Appends the unit only when it is not selected yet.
void Igievnt_SelectUnitOnce(UNIT* unit);
// Removes the unit from the selection.
void Igievnt_DeselectUnit(UNIT* unit);
// Removes a selected unit, selects an unselected one.
void Igievnt_ToggleUnit(UNIT* unit);
// Empties the selection.
void Igievnt_ClearSelection(void);
int Igievnt_IsUnitSelected(const UNIT* unit);
// 1 when exactly one unit is selected.
int Igievnt_SingleUnitSelected(void);
// Drops units no longer the local team's or no longer on the map, then
// recomputes firstunit and the summary.
void Igievnt_ValidateSelection(void);
// Selects the local team's units on the tiles x1..x2, y1..y2 (corners in any
// order): replaces the selection unless add is set, resets action modes 6..9
// and 11..15, and plays the first unit's selection sound.
void Igievnt_SelectBox(int x1, int y1, int x2, int y2, int add);
// Selects the building's bay units when it holds any, else the building.
void Igievnt_SelectBuilding(BUILDING* building);
// When the selected building has id oldid, selects newbuilding instead.
void Igievnt_ReplaceSelectedBuilding(int oldid, BUILDING* newbuilding);
// A unit replaced by another (a type change): the new one takes the old
// one's place in the selection and in every group.
void Igievnt_ReplaceUnit(int oldid, UNIT* newunit);
// Clears the selected building and its handle; when one was selected, the
// building panel follows (its upgrade button, its list).
void Igievnt_DropBuilding(void);

// --- groups: assert "group >= 0", "group < UNITS_IGIGROUPS" ---

void Igievnt_GroupAddUnit(int group, UNIT* unit);
void Igievnt_GroupRemoveUnit(int group, UNIT* unit);
// Removes the member with that id (a stale one too); its byte is cleared
// when the unit still lives.
void Igievnt_GroupRemoveId(int group, int id);
void Igievnt_GroupClear(int group);
// Adds every live unit of the list that is not a member yet.
void Igievnt_GroupAddList(int group, UNITLIST* list);

// --- modes and buttons ---

// Stores the action mode (the current one again gives 0) and presses its
// button. Asserts "newmode>=0 && newmode<AM_MAXIMUM".
void Igievnt_SetActionMode(int newmode);
// Shows panel mode 1..6 and activates its zones; 0 (refused) under a button
// lock, and for mode 4 outside debug mode and network games. The building
// panel (1) comes with its list filled. Another mode is
// fatal "Invalid mfd mode [%d]".
int Igievnt_SetMfdMode(int mode);
// Set / clear a standard button's pressed state, dirty when it changes.
// Assert the range of zd and "igi_nfo.zone.data[zd].type == ZT_STDBTN".
void Igievnt_ButtonDown(int zd);
void Igievnt_ButtonUp(int zd);
// 1 with no drag mode and no button lock.
int Igievnt_IsIdle(void);
// Recomputes the selection summary.
void Igievnt_UpdateOrderSettings(void);
// 0: the game speed changed (the speed slider follows); 1: the building
// list is stale; other kinds log "Unknown event type [%d]".
void Igievnt_HandleGameEvent(int kind);

// --- sounds ---

// One effect of the unit's sound set (0 selection, 1 acknowledgement) by
// the local random stream, the unit's id as owner; an empty set is silent.
void Igievnt_PlayUnitSound(UNIT* unit, int set);
// A map sound at tile (x, y): 1 when it plays (a tile of the 3 x 3 around it
// seen, within the sound radius of the view's centre). Asserts the radius
// unless the effect is clear (0 at once).
int Igievnt_PlaySoundNear(const SOUND_EFFECT* effect, int x, int y, int owner);

// --- the rest ---

// Queues QSELLRESOURCE for the building that should sell; nothing without one.
void Igievnt_SellResource(void);
// Debug mode on, said on the message line and in the log.
void Igievnt_DebugModeOn(void);
// Calls the zone's handler with an input event of kind; with onlyactive,
// only when the zone is in the active list.
void Igievnt_InjectEvent(int zd, uint32_t kind, int onlyactive);
// The text-entry zone handler for reason 2; 1 when an edit was accepted.
int Igievnt_HandleEditZone(int zd);
// The field being edited (for drawing), null when none holds the lock.
const struct TEXTFIELD* Igievnt_EditedField(void);
