// The markers of the map view: brackets, bars and texts around the selected
// and hovered units and buildings, and the building placement outline.
//
// Markers read the records as they are and change nothing: a sprite or frame
// that is missing draws the marker around a tile-sized box, a maximum of 0
// draws a plain line, values past their maximum fill their bar and stop.
#pragma once

#include <cstdint>

struct BITMAP;
struct GRECT;
struct UNIT;
struct BUILDING;
struct BUILDINGTYPE;

enum {
    IGIMARK_OWNFIRST = 15,     // the first selected or the hovered unit of the local team
    IGIMARK_OWNOTHER = 93,     // other selected units; a selected own building
    IGIMARK_OWNBUILD = 7,      // an own building not selected
    IGIMARK_ENEMY = 22,
    IGIMARK_NEUTRAL = 24,
    IGIMARK_ALLY = 138,
    IGIMARK_HEALTHY = 25,
    IGIMARK_BOOST = 27,
    IGIMARK_EMPTY = 14,
};

// The health bar's colour: 25 for a maximum below 1 or hit points above the
// higher health level (percent of the maximum), 22 at or below the lower
// one, else 24. The two levels are taken in either order.
int IgiMark_HealthColour(int hitpoints, int max);
// A framed bar clipped to clip: (w - 2) x value / max filled (value cut to
// 0..max), at least 1 for a value of 1 or more and at least minfill, the
// rest colour 14; a max of 0 or below fills by the value's sign alone.
void IgiMark_Bar(BITMAP* dst, const GRECT* clip, int x, int y, int w, int h, int value, int max,
                 int minfill, int fill, int frame);
// The same, filled from the bottom, without a minimum.
void IgiMark_BarVertical(BITMAP* dst, const GRECT* clip, int x, int y, int w, int h, int value,
                         int max, int fill, int frame);

// The marker colour of a unit: 15 for the local team's first selected or
// hovered unit, 93 for its other units, else by the local team's relation
// (22, 24, 138).
int IgiMark_UnitColour(const UNIT* u, int hover);
// The marker colour of a building: 93 selected and 7 not for the local
// team's, else by relation.
int IgiMark_BuildingColour(const BUILDING* b);
// The marker of a unit on screen (a unit inside a building: that
// building's), clipped to clip. hover adds the name when the tooltip shows.
void IgiMark_DrawUnit(BITMAP* dst, const GRECT* clip, UNIT* u, int hover);
// The marker of a building the local team sees (others draw nothing).
void IgiMark_DrawBuilding(BITMAP* dst, const GRECT* clip, BUILDING* b, int hover);
// The text of a building state (1..12) into out, and whether it has a bar
// (1) or not (0); -1 and an empty text for another state.
int IgiMark_StateText(const BUILDING* b, char* out, int size);

// Overlays 3 and 4 of the map view: a marker for every selected unit and
// the selected building; with the pointer at screen (mx, my) over the view
// (overview set): the placement outline in action mode 9, else (outside the
// trail panel) the hover marker of the unit or building under it.
void IgiMark_DrawOverlays(BITMAP* dst, const GRECT* clip, int overview, int mx, int my);
// The placement outline of type with the cursor on tile (tx, ty): the
// type's images at the placement's top-left in the local team's colours,
// each failed footprint tile shaded (unexplored ones darker).
void IgiMark_DrawPlacement(BITMAP* dst, const GRECT* clip, const BUILDINGTYPE* type, int tx, int ty);

// ---- the power gauge (zone 25) ----

enum {
    IGIMARK_POWER = 2,          // the resource that is power
    IGIMARK_GAUGEH = 81,        // the supply bar's full height
    IGIMARK_GAUGEBOTTOM = 473,
};

// The scale of the power gauge: the step (5 gauge units, at least 1), the
// top (the smallest multiple of the step that is at least both values, at
// least one step) and the number of gaps (5 a step).
struct IGIMARK_SCALE {
    int step, top, gaps;
};
IGIMARK_SCALE IgiMark_GaugeScale(int unit, int usage, int supply);
// The gauge colour: 138 when the supply covers the usage, 24 above 70 per
// cent of it, else 22.
int IgiMark_GaugeColour(int usage, int supply);
// Takes the gauge unit: the largest power production of a building type
// (IgiDisp_Init).
void IgiMark_InitGauge(void);
int IgiMark_GaugeUnit(void);
// Zone 25: the smoothed power supply, usage and store of the watched team
// as the gauge at the zone's origin (ox, oy). Leaves the zone dirty while
// a shown value still moves or the gauge may blink.
void IgiMark_DrawPowerGauge(BITMAP* dst, const BITMAP* resobars, int ox, int oy);

// ---- the building panel's list cells (zone 30) ----

enum {
    IGIMARK_CELLW = 64, IGIMARK_CELLH = 50,
    IGIMARK_CLOCKTOP = 254,     // the progress scale of the clock sweep
};

// Which colour table a cell's picture goes through.
enum IGIMARK_CELLTABLE {
    CT_TEAM = 0,                // the local team's colours
    CT_DIM = 1,                 // no plans
    CT_GREY = 2,                // the selected maker can't make it
    CT_HIGHLIGHT = 3,           // a spied type the local team has no plans for
};
// The table of the entry of type index `index` with prerequisite id in the
// current list mode: spy lists highlight what the local team lacks; else no
// plans dim; else a type the selected own building (unit lists) or the
// first selected unit (building lists; with none selected, nothing can be
// made) can't make is grey.
int IgiMark_CellTable(int index, int prereqid);
// The grey table: colour i becomes the palette colour nearest the grey of
// its g_GreyRemap level (levels 0..63). Made on first use.
const uint8_t* IgiMark_GreyTable(void);
// The count shown on a unit type's cell into out ("%d%s", empty for none):
// with automatic production on the queued number with " (P)" when that
// type is paused, " (S)" when any maker of it is; off, the construct
// queue's count for the selected own building or for the type.
void IgiMark_CellCount(int index, char* out, int size);
// The clock sweep level 0..254 of a unit type's production for the
// selected own building (or the team's maker nearest done); 0 when none.
int IgiMark_ClockLevel(int index);
// The list's draw callback: picture, bar, clock, count and frame of one cell.
void IgiMark_DrawListCell(int position, int x, int y, const char* text, int32_t data1, int32_t data2,
                          int selected, const GRECT* clip);
// Zone 30's tooltip: "%s %dc" of the entry under the pointer, and for a type
// without plans its prerequisites (unmet first) in a second box that ends
// above y 474. 1 when drawn.
int IgiMark_DrawListTooltip(BITMAP* dst);
