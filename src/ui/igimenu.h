// The menu panel: saved games (load, save, delete, the name field and the
// list of the save directory), the four sliders, the objectives, restart,
// hand-over, surrender and exit.
//
// Saving and loading act at once on the local machine; surrender and the
// hand-over are player orders. A name typed into the field reaches the file
// system, so only a plain file name is used: no separators, no drive, no
// leading dot. A network game never loads: one machine's load would split
// the lock-step game.
#pragma once

#include <cstdint>

struct SLIST;

enum {
    IGIMENU_NAMEZONE = 6,
    IGIMENU_LISTZONE = 7,
    IGIMENU_ROW = 12,
    IGIMENU_LOCK = 3,           // the button lock of the list's right drag
    IGIMENU_SPEEDZONE = 67,
};

// The name field's default and reset text.
extern const char* const kIgiSaveName;

// Zones 3 to 7 and 65 to 73 (Igipanel_DefineZones), the saved-game list.
void Igimenu_DefineZones(void);
// Deletes the list.
void Igimenu_Close(void);
// The saved-game list; null before set-up.
SLIST* Igimenu_List(void);
// Refills the list from the save directory keeping its scroll (the panel
// opens, a save, a delete).
void Igimenu_RefillList(void);
// 1 for a plain file name: not empty, no '/', '\\' or ':', no leading '.'.
int Igimenu_ValidName(const char* name);
// The buttons' actions: load, save and delete the file named in zone 6. A
// file not loaded says so on the panel and, with its name and why, on the
// message lines; the game goes on as it was.
void Igimenu_Load(void);
// The load behind the button, without its messages: Save_Load's result; a
// file of another scenario (sound, and its scenario there) becomes the
// pending load of state 6, which ends this game.
int Igimenu_LoadFile(const char* path);
void Igimenu_Save(void);
void Igimenu_Delete(void);
// After a load in place: drops every handle into the old game (selection,
// selected building, waypoints), rebuilds the ten groups from the units'
// group bytes and the global trail list.
void Igimenu_AfterLoad(void);

// Zone handlers: the name field (6) and the list (7).
void Igievnt_SaveNameHandler(uint32_t zd, uint32_t reason);
void Igievnt_SaveListHandler(uint32_t zd, uint32_t reason);
