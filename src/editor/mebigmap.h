// The editor's big map: the 448 x 448 view at (0, 32), its transforms
// between screen points, world pixels, elements, vertices and half-tile
// corner cells, scrolling and the zoomed renderer.
//
// At zoom 1 the engine's own renderer draws the view as the game does; at
// zoom z of 2..4 the view shows 19 z tiles, each drawn shrunk to 24 / z
// pixels into the terrain buffer, which the frame hook copies to the screen.
// The zoomed picture is rebuilt only when the view or the map changes.
// Every division truncates toward zero, so a point above the map gives row
// 0, not -1.
#pragma once

#include <cstdint>

#include "widgets/qimenu.h"
#include "widgets/qiwidget.h"

class QIPointer;
class MeMiniMap;

enum {
    ME_MAXZOOM = 4,
    MEBIGMAP_X = 0,
    MEBIGMAP_Y = 32,
    MEBIGMAP_SIDE = 448,
    MEBIGMAP_ZOOMSIDE = 456, // the zoomed picture: 19 tiles of 24 / z pixels
    MEBIGMAP_TILES = 19,
    MEBIGMAP_MINSPEED = 4,
    MEBIGMAP_MAXSPEED = 24,
};

// The view state the big map, the zoom controls and the minimap share.
struct MEVIEW {
    int32_t zoom = 1;
    int32_t maxZoom = ME_MAXZOOM;
    QIWidget* zoomInc[2] = {}; // the terrain layer's and the add-object layer's
    QIWidget* zoomDec[2] = {};
    QIWidget* zoomText = nullptr;
    int32_t speed = 1;         // edge scrolling, pixels a frame (times the zoom)
    int32_t dragVx = 0, dragVy = 0;
    QIWidget* bigMap = nullptr;
    MeMiniMap* miniMap = nullptr;
};

class MeBigMap {
public:
    // (x z + ox, (y - 32) z + oy).
    static IPoint ScreenToWorld(const IPoint& p);
    static IPoint ScreenToTile(const IPoint& p);
    // The nearest tile corner.
    static IPoint ScreenToVertex(const IPoint& p);
    // The 12-pixel cell, shifted half a cell so that it is the one nearest.
    static IPoint ScreenToCorner(const IPoint& p);
    static IPoint WorldToScreen(const IPoint& w);
    static IPoint TileToScreen(const IPoint& t);
    // Where ScreenToCorner's cell starts: the inverse of ScreenToCorner.
    static IPoint CornerToScreen(const IPoint& c);

    // World pixel (x, y) becomes the view's top-left (clamped); zoomed, the
    // picture is redrawn.
    static void Centre(int x, int y);
    // Centre at the origin plus (dx, dy) screen pixels.
    static void ScrollBy(int dx, int dy);
    // Marks view-relative tiles (x1, y1)..(x2, y2) for redraw (all: the map).
    static void Refresh(int all, int x1, int y1, int x2, int y2);
    // Draws view-relative tiles x1..x2-1, y1..y2-1 (all: the whole view on
    // colour 0) into the terrain buffer; off-map cells stay as they were.
    static void RedrawZoomed(int all, int x1, int y1, int x2, int y2);
    // Edge and arrow-key scrolling, once a frame: whether the view moved.
    // The speed starts at 4 and grows by 1 a moving frame up to 24.
    static int AutoScroll(const QIPointer& p, int top, int left, int bottom, int right);
    // Right-drag scrolling with inertia: slow motion halves the velocity,
    // a reversal stops it.
    static void DragScroll(const QIPointer& p);
    // The motion of a drag's move: the desktop holds the captured pointer
    // at the screen centre, so the move's distance from it (0 uncaptured).
    static IPoint Motion(const QIPointer& p);
    // The widget's handler: pointer events to the current tool while a
    // scenario is open.
    static int HandleEvent(QIWidget* widget, int event, QIARG arg);
    // Keeps the view as the frame hook just drew it (the map area of the
    // back buffer), for the repaints that come while the hook draws none.
    static void KeepFrame(void);
    // No view is kept: the scenario it showed is closed.
    static void ForgetFrame(void);
};

// The big map's widget. The frame hook draws the view over it once a pass,
// but not while a modal box covers it; a repaint of the desktop then (a
// tool ending its click as the box takes the pointer, a box closing over
// another) would leave the desktop's picture in the map's place. The widget
// draws the last view kept, within the repaint's clip, so the map stays
// under every box.
class MeBigMapView : public QIGroup {
public:
    MeBigMapView(const char* name, QIHANDLER fn, const IRect& rect) : QIGroup(name, fn, rect) {}
    void Draw(const IRect* clip) override;
};
