// The terrain brush: paints corner types with their variations, and
// altitudes, under a square, circle or diamond of size 1..10, solid or
// sprayed, optionally only over (or everywhere but over) one corner type.
//
// Design note. The brush works on vertices: a step paints the four corners
// around each vertex it covers (quarter cells, two a tile each way: (even,
// even) is nibble 0 of element (cx / 2, cy / 2), (odd, even) nibble 1,
// (odd, odd) 2, (even, odd) 3) and sets the altitude of the element whose
// top-left corner the vertex is. A stroke runs from the left press to the
// release; raise and lower change an element once a stroke, which the
// visited map remembers. The protection map is a snapshot of the corner
// types at the Shift-pick and doesn't follow later painting. Both maps
// exist from Init to Close; without them nothing is protected and every
// element counts as unvisited.
#pragma once

#include <cstdint>

#include "editor/metool.h"

enum {
    METB_MAXSIZE = 10,
    METB_MINALT = 2,
    METB_MAXALT = 11,
    METB_RAISE = -1,
    METB_LOWER = -2,
    METB_KEEP = -3,
};

enum METB_SHAPE { METB_SQUARE = 0, METB_CIRCLE = 1, METB_DIAMOND = 2, METB_SHAPES = 3 };

class MeBrushTerrain : public MeTool {
public:
    int32_t dirty[4] = {-1, -1, -1, -1}; // least x, greatest x, least y, greatest y (elements)
    int32_t altitude = 2;                // 0..31 fixed, METB_RAISE, METB_LOWER or METB_KEEP
    int32_t size = 2;                    // 1..METB_MAXSIZE
    int32_t cornerType = 1;              // 0..15
    int32_t variation = 0;               // 0 random, k = 1..8 variation k - 1
    int32_t shape = METB_SQUARE;
    int32_t spray = 0;
    int32_t paintTerrain = 1;            // "DrawTerrain"
    int32_t paintAltitude = 0;           // "DrawAltitude"
    uint32_t masks = 1;                  // bit v: mask variation v may be chosen
    uint8_t* visited = nullptr;          // mapsizex x mapsizey
    uint8_t* allowed = nullptr;          // 2 mapsizex x 2 mapsizey quarter cells, 1 paintable
    int32_t protectedType = -1;
    int32_t inverted = 1;

    // In click mode from the start: the layer switch never sets a state,
    // and a brush left idle would start rubber bands instead of painting.
    MeBrushTerrain() { state = METS_CLICK; }
    ~MeBrushTerrain() override { Close(); }

    // One brush step at the event's point.
    void Click(const QIPointer& event) override;
    // Alt switches to picking; the outline; with Alt and Shift the marks.
    void Draw(const QIPointer& event) override;
    // Ends the stroke: nothing visited.
    void ClickDone(void) override;
    // Both maps for the current map (none for a map without cells).
    void Init(void) override;
    void Close(void) override;
    // Click mode; every corner paintable again.
    void Cancel(int byRightClick) override;
    // Eyedropper; with Shift, protection by the corner's type.
    void AltClick(const QIPointer& event) override;
    void BrushBigger(void) override;
    void BrushSmaller(void) override;
    void NextShape(void) override;
    void PrevShape(void) override;
    void ResetBrushSize(void) override;

    // Element (x, y): ti the new type of nibble i, -1 to keep it; protected
    // corners are kept.
    void PaintTile(int x, int y, int t0, int t1, int t2, int t3);
    // Element (x, y)'s altitude by value (as the altitude field), 2..11.
    void SetAltitude(int x, int y, int value);
    // What a new map takes from the brush: its altitude when fixed (2..11),
    // else 2.
    int NewMapAltitude(void) const;

private:
    void Grow(int x, int y);
    // Quarter cell (cx, cy) centred for the size as a step centres it.
    void Centre(int& cx, int& cy) const;
    void Protect(int type);
    void DrawOutline(const QIPointer& event);
    void DrawProtection(void);
};
