// What a click in the map view means.
//
// One classification serves the map-click handler, which turns the kind into
// player orders, and the display, which picks the cursor for the point under
// the pointer every frame; so it reads the interface state and the world and
// changes neither.
#pragma once

#include <cstdint>

struct UNIT;
struct BUILDING;

enum IGI_CLICKKIND {
    CK_NOTHING = 0,
    CK_MOVE = 1,
    CK_IMPOSSIBLE = 2,
    CK_MOVE2 = 3,
    CK_FIRE = 4,
    CK_CANTFIRE = 5,
    CK_ROTATE = 6,
    CK_BOARDUNIT = 7,
    CK_UNLOADUNIT = 8,
    CK_BOARDBUILDING = 9,
    CK_GRAB = 10,
    CK_SABOTAGE = 11,
    CK_MORPHUNIT = 12,
    CK_MORPHOVL = 13,
    CK_CANTMORPH = 14,
    CK_SPY = 15,
    CK_SPYHOME = 16,
    CK_GOTOREPAIR = 17,
    CK_GOTOHEAL = 18,
    CK_GOTOREARM = 19,
    CK_REPAIRUNIT = 20,
    CK_HEALUNIT = 21,
    CK_TRANSPORT = 22,
    CK_BOOST = 23,
    CK_SHRED = 24,
    CK_SELECTUNIT = 25,
    CK_SELL = 26,
    CK_POWER = 27,
    CK_REPAIRBUILDING = 28,
    CK_PLACE = 29,
    CK_TELEPORT = 30,
    CK_CANTTELEPORT = 31,
    CK_UNLOADBUILDING = 32,
    CK_SPYREPORT = 33,
    CK_SPYSEARCH = 34,
    CK_PRIMARY = 35,
    CK_SELECTBUILDING = 36,
    CK_PRODDEST = 37,
    CK_CLUSTDEST = 38,
    CK_WAYPOINT = 39,
    CK_TRAILINS0 = 40,
    CK_TRAILINS1 = 41,
    CK_TRAILEDIT = 42,
    CK_NEUTRAL = 43,
};

// The click kind (IGI_CLICKKIND) for the unit and building under the
// pointer (null: none), the edit trail's waypoint there (-1: none), the
// tile and the modifier bits, in the current action mode and selection.
// An action mode outside 0..15 logs "Unknown action mode" (warning) and
// gives 0; so does a local team outside the teams. Changes nothing.
int Igievnt_ClassifyClick(UNIT* unit, BUILDING* building, int waypoint, int tx, int ty, uint32_t modifiers);
