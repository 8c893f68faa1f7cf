// The front end's screen state machine.
//
// Shell_Run walks numbered states: a page state builds one 640 x 480 DIAL of
// the control kit and runs it until a button names the next state (button
// ids are state numbers; 6 goes back to the state before); an action state
// writes the engine state (5 quit, 2 new game, 4 editor, 1 multiplayer menus)
// and leaves. Only the shell writes the engine state here, and only when it
// leaves; the engine calls Shell_Run again in its state 0, where the machine
// resumes at the stored next state (5 after a game, which goes on to the
// debriefing). A page that can't be built leaves no next state, which leaves
// as quit.
//
// SHELLINFO lives for the whole process: the play mode, campaign progress and
// the statistics of the last game that the debriefing shows. Everything
// Shell_Init loads (library, fonts, classes, images) lives for one Shell_Run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shell/shellctl.h"

enum SHELL_MODE { SHELL_FRONTEND = 225, SHELL_CAMPAIGN = 226, SHELL_MULTIPLAYER = 227,
                  SHELL_CUSTOM = 228, SHELL_INSTANT = 229 };
enum SHELL_SIDE { SHELL_SIDE_FIRST = 218, SHELL_SIDE_SECOND = 219 };
enum SHELL_STATE {
    SS_MAIN = 1, SS_QUIT = 2, SS_START = 3, SS_EDITOR = 4, SS_RETURN = 5, SS_BACK = 6,
    SS_SINGLE = 7, SS_MULTI = 8, SS_INSTANT = 9, SS_INTRO = 10, SS_CREDITS = 11,
    SS_LOADGAME = 12, SS_CUSTOM = 13, SS_CDEBRIEF = 14, SS_DEBRIEF = 23, SS_LAST = 23,
};
enum { SHELL_TEAMS = 8, SHELL_DEBRIEF_WORDS = 10, SHELL_TITLE = 64, SHELLINFO_SIZE = 440 };

// One team's line of the debriefing.
struct SHELLDEBRIEF {
    int32_t type; // TEAM_TYPE
    int32_t side; // TEAM_SIDE
    int32_t water, corite;
    int32_t madeUnits, madeBuildings;
    int32_t lostUnits, lostBuildings;
    int32_t killedUnits, killedBuildings;
};

struct SHELLINFO {
    int32_t current, next, previous;
    int32_t mode;             // SHELL_MODE
    int32_t reserved;         // cleared when a campaign starts
    int32_t selectedMission;  // 204..215
    int32_t highestMission;   // 216: the final mission is open
    int32_t result;           // of the last game: 1 won, 0 lost or not played
    int32_t wonFirst, wonSecond; // bit (mission - 204) per side
    int32_t mission;          // 200..216
    int32_t side;             // SHELL_SIDE
    char title[SHELL_TITLE];
    int32_t lastMission, lastSide;
    SHELLDEBRIEF debrief[SHELL_TEAMS];
};
static_assert(sizeof(SHELLINFO) == SHELLINFO_SIZE, "SHELLINFO is 440 bytes");

extern SHELLINFO g_ShellInfo;

// Runs the front end until it leaves; the engine state says where to.
void Shell_Run(void);
// Maps the library, starts the kit, loads fonts 0..13, registers DIAL, POPP
// and STAT and loads the navigation images; a missing library is logged.
void Shell_Init(void);
// Frees what Shell_Init loaded.
void Shell_Close(void);
// The next Shell_Run starts at the main page.
void Shell_Reset(void);
// The game that the shell's start asked for refused its scenario for why
// ("<file> line <n>: <what>", or a reason naming a file the reader noted
// missing): the next Shell_Run resumes at the page whose button started it
// (the custom missions, the campaign's launch), not at the game's return,
// and that page shows why in a box until its Ok.
void Shell_StartRefused(const char* why);
// While a refused start's box shows: 1, with its lines (the file, and for a
// broken one the line and what was wrong) joined by newlines in out and the
// middle of its Ok at (*okX, *okY) when asked; else 0.
int Shell_RefusalShown(char* out, size_t size, int* okX = nullptr, int* okY = nullptr);
// Copies the current mission and side and teams 0..7's type, side and
// statistics into the debriefing.
void Shell_StoreDebriefStats(void);
// A game ended: won (1) or lost (0); campaign progress and the selection.
void Shell_RecordMissionResult(int won);
// The text of key (log when missing) in the shell's shared 256-byte buffer.
const char* Shell_Text(const char* key);

// A BTTN with id and, for a label key, a TEXT filling it in fonts 2, 3, 4
// (Shell_AddMenuButton: 10, 11, 12); null when it can't be made.
SHELLCTL* Shell_AddTextButton(SHELLCTL* parent, int x, int y, int width, int height, int id,
                              const char* label);
SHELLCTL* Shell_AddMenuButton(SHELLCTL* parent, int x, int y, int width, int height, int id,
                              const char* label);

// Two buttons side by side whose rectangles stand a few rows apart: each
// label (the button's newest child) is centred in the band both rectangles
// cover, so that the two read as one line of choices. Nothing without such
// a band or a label.
void Shell_LabelsOnOneLine(SHELLCTL* a, SHELLCTL* b);

// Runs a page of the background's name built by handler (creation
// parameters 3 and 4 as given); its result becomes the next state, 0 when it
// can't be built.
void Shell_RunPage(const char* background, SHELL_HANDLER handler, intptr_t p3, intptr_t p4);
// The PIXL chunk of a navigation image that Shell_Init loaded, or null.
const uint8_t* Shell_NavImage(const char* name);

// Page handlers: build on create, pass the rest to the DIAL handler.
intptr_t Shell_PassThroughHandler(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2,
                                  intptr_t p3, intptr_t p4);
intptr_t Shell_BuildMainMenu(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3,
                             intptr_t p4);
intptr_t Shell_BuildSinglePlayer(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2,
                                 intptr_t p3, intptr_t p4);
// Lists the folders of the "SINGLE" category; a chosen line becomes the
// current scenario.
intptr_t Shell_BuildCustomMission(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2,
                                  intptr_t p3, intptr_t p4);
// A row per human and computer team of the last game.
intptr_t Shell_BuildCustomDebrief(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2,
                                  intptr_t p3, intptr_t p4);
