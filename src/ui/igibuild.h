// The building panel: the lists of what the player can make or has spied
// (zone 30) with their buttons (zones 26 to 29).
//
// Four scroll lists over zone 30, one per list mode (unit types, building
// types, spied unit plans, spied headquarters); the list mode follows the
// selection once a frame and each change refills its list. Entries carry
// the type's index (data1) and prerequisite id (data2). The construct queue
// and the primary makers are the local interface's, changed here directly;
// everything else goes through orders.
#pragma once

#include <cstdint>

struct UNIT;
struct SLIST;

enum IGI_LISTMODE { LM_UNITS = 0, LM_BUILDINGS = 1, LM_SPYPLANS = 2, LM_SPYHQ = 3, LM_COUNT = 4 };

enum {
    IGI_LISTROW = 50,        // the building lists' row height
    IGI_LISTCOLUMNS = 3,
    IGI_LISTMINCOL = 64,
    IGI_LISTSTEP = 250,      // pixels zones 26 and 27 scroll by
    IGI_LISTDRAGX = 544, IGI_LISTDRAGY = 189,
    IGI_LISTDRAGTHRESHOLD = 4,
};

// Makes the four lists (Igievnt_Init); Igievnt_Close deletes them.
void Igievnt_MakeBuildLists(void);
void Igievnt_Close(void);
// The list of a list mode (null outside 0..3 or before the lists exist).
SLIST* Igievnt_BuildList(int listmode);
// Refills the current list mode's list by its filter and shows it in zone 30.
void Igievnt_RefillBuildList(void);
// Scrolls the current list by dy pixels, zone 30 dirty when it moved.
void Igievnt_ScrollBuildList(int dy);
// After the building selection changed: the list mode follows, the upgrade
// button is enabled only for an own building that can be upgraded, both
// buttons are off for the spied lists, and the list is refilled.
void Igievnt_RefreshBuildPanel(void);
// The list mode the selection asks for now.
int Igievnt_ChooseListMode(void);
// The spy's view of a plan: 0 already stolen (the id, or for a unit type an
// equivalent type), 2 the local team has the plans, 3 it can make the type,
// else 1.
int Igievnt_TypeInList(int prereqid, const UNIT* spy);

// Zone handlers: the list (30), its scroll buttons (26, 27), the decoy
// toggle (28) and the upgrade button (29).
void Igievnt_BuildPanelHandler(uint32_t zd, uint32_t reason);
void Igievnt_BuildScrollHandler(uint32_t zd, uint32_t reason);
void Igievnt_DecoyHandler(uint32_t zd, uint32_t reason);
void Igievnt_UpgradeHandler(uint32_t zd, uint32_t reason);
