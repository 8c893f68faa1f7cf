// Screen zones of the in-game interface.
//
// The 640 x 480 game screen is cut into at most ZD_MAXIMUM rectangles, each
// with a fixed identifier (zd), a layer mask naming the panels it belongs to,
// a handler and its button data. Zones are defined once when the interface
// starts and never move; switching panels only rebuilds the active list,
// which is always in ascending zd order. Hit tests walk the active list, so
// the lowest identifier wins where zones overlap: the pause screen (zone 2)
// takes every point while enabled, except the chat field (zone 1).
//
// The table lives in igi_nfo.zone (ui/igi.h).
#pragma once

#include <cstdint>

enum {
    ZD_NULL = 0,      // no zone
    ZD_MAXIMUM = 83,
    IGI_ZONEXMAX = 639,
    IGI_ZONEYMAX = 479,
    IGI_LABELMAX = 30, // label characters
};

enum ZONE_TYPE { ZT_STDBTN = 0, ZT_MAXIMUM = 3 };

// Special-button types (the button-size table's rows).
enum SPECIAL_BUTTON { SBT_MAXIMUM = 4 };

// Handler reasons.
enum ZONE_REASON { ZR_DRAW = 0, ZR_UPDATE = 1, ZR_INPUT = 2 };

// Layer mask bits: one per panel (page) of the multi-function display.
enum ZONE_LAYER {
    ZL_BUILD = 2,
    ZL_ORDERS = 4,
    ZL_ORDERSET = 8,
    ZL_TRAILLOCAL = 16,
    ZL_TRAILGLOBAL = 32,
    ZL_COMMS = 64,
    ZL_MENU = 128,
    ZL_SPECIAL = 256,
    ZL_ALL = 510,
};

typedef void (*ZONE_HANDLER)(uint32_t zd, uint32_t reason);
typedef void (*SLIDER_CALLBACK)(uint32_t zd, int value);
// What a standard button does when clicked.
typedef void (*ZONE_ACTION)(uint32_t zd);

// Button data, owned by the button and panel code.
struct ZONE_BUTTON {
    uint32_t pressed;
    uint32_t sbt;                   // special-button type, 3 for selectors
    int16_t textx, texty, textw;    // text-entry zones: the text area
    char label[IGI_LABELMAX + 1];
    // text-entry zones
    char* buffer;
    int32_t maxlen;
    uint32_t charclass;
    uint32_t flag;
    uint8_t editing;
    char kept[256];                 // the text before the edit, put back on cancel
    // sliders
    int32_t range, value, position;
    uint8_t continuous;
    SLIDER_CALLBACK callback;
    uint8_t slider;                 // the standard-button handler drags it
    ZONE_ACTION action;             // a panel button's click
};

struct ZONE {
    uint32_t zd;
    uint32_t type;
    uint16_t lx, ly, rx, ry;        // inclusive on all four sides
    uint16_t layers;
    uint8_t dirty;
    uint8_t disabled;
    uint8_t active;                 // in the active list (a lone active zone has no links)
    ZONE_HANDLER handler;
    ZONE* nextactive;
    ZONE* prevactive;
    ZONE_BUTTON button;
};

struct ZONE_TABLE {
    ZONE data[ZD_MAXIMUM];
    ZONE* first;
    ZONE* last;
    int32_t defined;                // definitions since the last clear
};

// Unlinks and empties every zone record, empties the active list, zeroes the
// definition count.
void Igizone_ClearAll(void);
// Defines zone zd (not linked): dirty, enabled, definition count + 1. Asserts
// the ranges of zd, type and the rectangle, lx < rx, ly < ry, and that the
// zone is not linked.
void Igizone_Add(int zd, int type, int lx, int ly, int rx, int ry, int layers, ZONE_HANDLER handler);
// Rebuilds the active list from the zones sharing a bit with mask, in
// ascending zd order, each marked dirty.
void Igizone_SetActiveMask(int mask);
// The first enabled active zone holding (x, y), or ZD_NULL.
int Igizone_Find(int x, int y);
// The handler of an enabled zone with reason (active or not).
void Igizone_CallHandler(int zd, uint32_t reason);
// Every enabled active zone's handler, first to last / last to first.
void Igizone_CallAllForward(uint32_t reason);
void Igizone_CallAllBackward(uint32_t reason);
// Stores the disabled byte and marks the zone dirty. Asserts the range of zd.
void Igizone_SetDisabled(int zd, int value);
int Igizone_GetDisabled(int zd);
// Marks every active zone dirty.
void Igizone_SetAllDirty(void);
// 1 when the zone is in the active list.
int Igizone_IsDefined(int zd);
