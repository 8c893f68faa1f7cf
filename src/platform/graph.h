// 8-bit bitmaps and the drawing primitives.
//
// Every primitive takes the destination, an optional clip rectangle and a
// flags word (0 for now), and clips to both the clip rectangle and the
// destination: nothing is ever written outside a bitmap.
#pragma once

#include <cstdint>

// The largest width or height of a bitmap (and of a picture a reader accepts).
enum { GRAPH_MAX_SIDE = 16384 };

struct BITMAP {
    uint8_t* data;
    int owned; // data was allocated by Graph_InitBitmap
    int x_size;
    int y_size;
};

// A rectangle: position and size (w, h < 1 is empty).
struct GRECT {
    int x, y, w, h;
};

// Sets a bitmap's size; with null data allocates w x h bytes (zeroed) and
// owns them, otherwise uses data (not owned). Asserts "bitmap"; 0 (and the
// bitmap cleared) when a side is below 1 or above GRAPH_MAX_SIDE.
int Graph_InitBitmap(BITMAP* bitmap, int w, int h, uint8_t* data);
// Frees owned data and clears the pointer; not-owned data is left alone.
void Graph_FreeBitmap(BITMAP* bitmap);
// Fills the whole bitmap with one colour.
void Graph_ClearBitmap(BITMAP* bitmap, uint8_t colour);

// Fills a rectangle. Asserts a bitmap with data and "x_size > 0", "y_size > 0";
// an empty rectangle is nothing to do.
void Graph_FillRect(BITMAP* dst, const GRECT* clip, int flags, int x, int y, int w, int h,
                    uint8_t colour);
// The one-pixel outline of a rectangle.
void Graph_DrawRect(BITMAP* dst, const GRECT* clip, int flags, int x, int y, int w, int h,
                    uint8_t colour);
// A line from (x1, y1) to (x2, y2), both ends included: along the longer axis
// one pixel a step, the other coordinate rounded to the nearest (halves away
// from the start).
void Graph_DrawLine(BITMAP* dst, const GRECT* clip, int flags, int x1, int y1, int x2, int y2,
                    uint8_t colour);
// The outline of a circle (midpoint rule): in each octant the pixel nearest
// the true circle; radius 0 is the centre pixel, a negative one nothing.
void Graph_DrawCircle(BITMAP* dst, const GRECT* clip, int flags, int cx, int cy, int radius,
                      uint8_t colour);
void Graph_PutPixel(BITMAP* dst, const GRECT* clip, int flags, int x, int y, uint8_t colour);
// Copies src's rectangle (sx, sy, w, h) to (x, y); the part outside src is
// not copied. src may be dst, the rectangles overlapping.
void Graph_Blit(BITMAP* dst, const GRECT* clip, int flags, int x, int y, const BITMAP* src, int sx,
                int sy, int w, int h);
// As Graph_Blit, colour 0 not copied.
void Graph_BlitTransparent(BITMAP* dst, const GRECT* clip, int flags, int x, int y,
                           const BITMAP* src, int sx, int sy, int w, int h);
// As Graph_Blit, every pixel through a 256-entry colour table.
void Graph_BlitTable(BITMAP* dst, const GRECT* clip, int flags, int x, int y, const BITMAP* src,
                     int sx, int sy, int w, int h, const uint8_t* table);
// Scales src's rectangle (sx, sy, sw, sh) into (x, y, w, h), nearest
// neighbour: destination column i takes source column sx + (2i + 1) sw / 2w
// (rows likewise), so 1:1 is a plain copy and clipping never moves a sample.
// Samples outside src leave their pixels alone.
void Graph_BlitStretch(BITMAP* dst, const GRECT* clip, int flags, int x, int y, int w, int h,
                       const BITMAP* src, int sx, int sy, int sw, int sh);
// Blends src's rectangle onto dst through g_BlendTables[level] (colour 0 not
// drawn); level 0..BLEND_LEVELS-1, others clamped to that range.
void Graph_BlitBlend(BITMAP* dst, const GRECT* clip, int flags, int x, int y, const BITMAP* src,
                     int sx, int sy, int w, int h, int level);
// Replaces every pixel of the rectangle by table[pixel], in place.
void Graph_RemapRect(BITMAP* dst, const GRECT* clip, int flags, int x, int y, int w, int h,
                     const uint8_t* table);
// Fills a bitmap with each pixel's angle about its centre pixel
// (x_size / 2, y_size / 2) scaled to 0..253, 254 at the centre. Angles run as
// the engine's (core/angle.h): 0 east, anticlockwise on the screen with y
// down, so north is about 63 and west 127.
void Graph_MakeAngleMap(BITMAP* bitmap);
