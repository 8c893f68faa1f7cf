// The in-game interface's state record.
//
// igi_nfo is the one record every panel reads: the panel and action modes,
// the drag state, the locked zone, the selection and the ten control groups,
// the current input event and what lies under the pointer, and the zone
// table. Nothing in it belongs to the synchronised game: it changes the game
// only through player orders.
#pragma once

#include <cstdint>

#include "ui/igizone.h"
#include "units/buildid.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitlist.h"

struct UNIT;
struct UNITTYPE;
struct BUILDING;

enum {
    AM_MAXIMUM = 16,
    IGI_COMMROWS = 7,       // rows of the communications panel's player list
    IGI_TEXTMAX = 255,      // characters of the panels' text fields
};

enum IGI_MFDMODE {
    MFD_NONE = 0,
    MFD_BUILD = 1,
    MFD_ORDERS = 2,
    MFD_TRAIL = 3,
    MFD_COMMS = 4,
    MFD_MENU = 5,
    MFD_SPECIAL = 6,
};

enum IGI_ACTIONMODE {
    AM_DEFAULT = 0,
    AM_MOVE = 1,
    AM_MOVE2 = 2,
    AM_FIRE = 3,
    AM_FIRENOMV = 4,
    AM_ROTATE = 5,
    AM_TRAILINS0 = 6,
    AM_TRAILINS1 = 7,
    AM_TRAILEDIT = 8,
    AM_PLACE = 9,
    AM_MORPH = 10,
    AM_SELL = 11,
    AM_POWER = 12,
    AM_REPAIR = 13,
    AM_PRODDEST = 14,
    AM_CLUSTER = 15,
};

// The debug displays of g_DebugFlags, cleared at every reset.
enum { IGI_DEBUGDISPLAYS = 0x7e };

// The current input event and what lies under the pointer.
struct IGI_EVENT {
    int32_t x, y;
    uint32_t kind;
    uint8_t ch;
    uint32_t key;
    uint32_t modifiers;
    int32_t value;
    uint32_t zone;
    uint16_t tilex, tiley;
    uint16_t mapx, mapy;
    UNIT* unit;
    BUILDING* build;
    int32_t waypoint;       // the edit trail's waypoint under the pointer (index), -1: none
};

struct IGI_NFO {
    int32_t mfdmode;
    int32_t actionmode;
    // drag state
    int32_t dragmode;
    int32_t buttonlock;
    uint8_t dragging;
    int32_t pressx, pressy;
    int32_t boxx, boxy;
    int32_t scrollvx, scrollvy;
    uint32_t lockzone;
    // mouse at the start of the frame
    int32_t mousex, mousey, mousebuttons;
    // selection
    UNITLIST selected;
    UNIT* firstunit;
    BUILDING* sbuild;
    BUILDID sbuildid;
    UNITLIST group[UNITS_IGIGROUPS];
    uint8_t watchteam;
    int32_t credits;        // the watched team's credits as shown
    // selection summary
    UNITTYPE* commontype;
    int32_t tenacity, selfpreservation, autonomy;
    uint8_t canmorph, allphased;
    int32_t automove;
    IGI_EVENT event;
    // building panel
    int32_t listmode;
    BUILDID spybuild;
    uint16_t placetype;
    uint8_t decoy;
    uint8_t upgraderefused; // the building module refused the last upgrade
    // the trail panel's edit trail: its current waypoint (also the one a
    // drag holds), the edit sub-mode, the chosen global trail (-1: none)
    TRAIL edittrail;
    WAYPOINT* curwaypoint;
    int32_t editsubmode;
    int32_t globaltrail;
    // orders and trail panels' pages
    uint8_t orderspage;     // 0 first page, 1 settings
    uint8_t trailpage;      // 0 local trail, 1 global trail
    // communications panel
    uint8_t commteam[IGI_COMMROWS];
    uint32_t commflag[IGI_COMMROWS]; // recipient flags
    uint8_t commrow;        // the chosen row: gifts go to its team
    int32_t commgroup;      // recipient group mode 0..5 (5: one by one)
    char amount[IGI_TEXTMAX + 1];
    char chat[IGI_TEXTMAX + 1];
    uint8_t chattyping;
    int32_t chatreturn;     // the panel mode Tab and the chat key left; typing's end goes back to it
    // trail panel: execution mode, the name counter, the name field
    int32_t execmode;
    uint16_t trailcounter;
    char trailname[IGI_TEXTMAX + 1];
    // menu panel: the saved game's name
    char savename[IGI_TEXTMAX + 1];
    int32_t debugvalue[6];
    uint8_t inputchanged;
    ZONE_TABLE zone;
};

extern IGI_NFO igi_nfo;

// Starts the interface once per game, after the scenario has loaded: resets
// the state, defines the zones and opens the building panel. A repeated call
// is ignored.
void Igi_Init(void);
// Closes what Igi_Init started; ignored when not started.
void Igi_Close(void);
// 1 between Igi_Init and Igi_Close.
int Igi_Started(void);
// Back to the state of a game's start (part of Igi_Init).
void Igi_ResetState(void);
// Defines every zone the interface owns, disables the pause screen and the
// text panel, logs "Some zones were not initialised (%d, %d)" when fewer
// than 82 definitions were made, and opens the building panel.
void Igievnt_Init(void);
