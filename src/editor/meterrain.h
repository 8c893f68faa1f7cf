// The editor's terrain model and zoom.
//
// An element's tile word holds a texture for each corner (nibbles 0..3,
// clockwise from the top left), the mask variation (bits 16..17) and the
// texture variation (bits 18..20). A vertex is shared by up to four
// elements: vertex (x, y) is nibble 0 of (x, y), 1 of (x-1, y), 2 of
// (x-1, y-1) and 3 of (x, y-1). Row and column 0 are never written.
//
// Corner types with a fixed role: 0 water and 1 land (random terrain), 10
// and 11 a moderate step, 12..15 cliffs, 2 a corner shut in by cliffs.
#pragma once

#include <cstdint>

#include "widgets/qivalue.h"
#include "widgets/qiwidget.h"

enum {
    METERRAIN_LAND = 1,
    METERRAIN_FILL = 2,
    METERRAIN_STEPUP = 10,
    METERRAIN_STEPDOWN = 11,
    METERRAIN_CLIFF12 = 12,
    METERRAIN_CLIFF13 = 13,
    METERRAIN_CLIFF14 = 14,
    METERRAIN_CLIFF15 = 15,
};

enum { METERRAIN_NAMESHOWN = 16 };

// A tile set found on disk: the folder below the graphics directory that
// holds a ".til" of its own name, and the name as the layer shows it.
struct METILESET : LListNode {
    char folder[16];
    char name[METERRAIN_NAMESHOWN + 1];
};

class MeTerrain {
public:
    // The tile-set list from dir's sub-folders that hold "NAME.til" (case
    // ignored), sorted, shown capital-first; 0 (logged "Cannot open
    // directory %s") with the list empty when dir can't be read.
    static int ListTileSets(const char* dir);
    // Current: the entry named as the terrain (case ignored), else the
    // first, else none.
    static void FindCurrentTileSet(void);
    // The tile-set change: -1 previous (the first stays), +1 next (the last
    // wraps), then the set reloaded. With a map open the palette and tile
    // set are read before the old ones go; when either can't be read both
    // stay and so does the current entry. Nothing without a current entry.
    static void ChangeTileSet(int step);
    // "TerrainDec" and "TerrainInc": ChangeTileSet on a click (18).
    static int OnTerrainDec(QIWidget* widget, int event, QIARG data);
    static int OnTerrainInc(QIWidget* widget, int event, QIARG data);
    // "%s" of the current tile set's name (empty without one).
    static void NameText(QIString* text);
    // With a map open: 144 texture items (16 without a variation, then 16
    // for each of the 8) bound to the brush's corner type, 4 mask items.
    static void FillTilePickers(void);

    // "TerrainLayer" at (448, 32), 192 x 300, hidden: the tile set, the
    // texture and mask pickers, the brush's shape, mode, size, altitude and
    // paint switches, and the zoom; registers the pickers, the shape menu
    // and the zoom buttons with the editor.
    static void BuildLayer(void);
    // "%d" of the terrain brush's size.
    static void SizeText(QIString* text);
    // "MaskScroller" changed (12): the brush may choose mask variation i
    // when item i is selected or current.
    static int OnMaskScroller(QIWidget* widget, int event, QIARG data);
    // "TextureVariation" changed (12): the texture picker's current item
    // moves to that row, which scrolls into view.
    static int OnTextureVariation(QIWidget* widget, int event, QIARG data);

    // "Random": on a click (18) with a map open, PlasmaDialog.
    static int OnRandomTerrain(QIWidget* widget, int event, QIARG data);
    // "Generate Random Terrain" with the stored seed, grain and water level;
    // Ok stores what was typed (no number: 0) and generates.
    static void PlasmaDialog(void);
    // The dialog's outcome: code 23 (Ok) stores the three texts' numbers
    // and generates; any other changes nothing.
    static void PlasmaResult(int code, const char* seed, const char* grain, const char* water);
    // A new terrain for every element from a plasma field of seed and grain
    // (grain & 31): heights 1..144 become altitudes 2..11; at most water + 2
    // is water (corner type 0 at water + 2), above it land (type 1 at its
    // altitude); random texture and mask variations; lit again.
    static void GeneratePlasma(int grain, int seed, int water);

    // Writes type into the four nibbles of vertex (x, y); nothing unless
    // x > 0 and y > 0 (callers keep x < mapsizex, y < mapsizey).
    static void SetVertexType(int x, int y, int type);
    // Nibble 0 of element (x, y).
    static int VertexType(int x, int y);
    // "AutoRidge": on a click (18), slope and cliff corner types from the
    // altitudes over the whole map, then the big map and minimap redrawn.
    // Other events are returned unchanged.
    static int TerrainFromAltitude(QIWidget* widget, int event, QIARG data);
    // Stores the zoom and re-applies the view origin at it; zoom 1 marks
    // the whole map for redraw. Asserts "z >= 1 && z <= ME_MAXZOOM". 1.
    static int SetZoom(int z);
    // The largest zoom the map allows (its smaller side / 19, 1..4) into the
    // view state and the zoom-in buttons' limits.
    static void InitZoom(void);
    // The zoom buttons' handler: on 12, the zoom (already stored by the
    // button) applied as SetZoom does.
    static int OnZoom(QIWidget* widget, int event, QIARG data);
};
