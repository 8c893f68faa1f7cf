// The widget demonstration's pictures: 8-bit BMPs in the demo palette.
#pragma once

#include <string>

struct BITMAP;
struct PAL_RGB;

// The folder below the data directory, and the pictures in it.
#define GENWIDGETS_DIR "wdemo"
#define GENWIDGETS_PAGE "wpage.bmp"   // 640 x 480: the page and its palette
#define GENWIDGETS_CELLS "wcells.bmp" // four 24 x 24 state cells in a row
#define GENWIDGETS_CHECK "comsgbox.bmp" // 44 x 18: four 11 x 18 check-box states

// Where the page holds the emblem that the demonstration cuts out three
// times (index 0 around it, for the transparent copy).
enum { GENWIDGETS_EMBLEM_X = 560, GENWIDGETS_EMBLEM_Y = 400, GENWIDGETS_EMBLEM_SIDE = 64 };

// Writes a bitmap as a BMP of 8 bits a pixel with the palette, or of 24
// bits (each pixel's palette colour); 1 on success.
int GenWidgets_WriteBmp(const std::string& path, const BITMAP* bitmap, const PAL_RGB* palette,
                        int bits);
// Writes the three pictures and the demo fonts into dir (which must exist).
int GenWidgets_WriteAll(const std::string& dir);
// The check box's four 11 x 18 states into a 44 x 18 bitmap.
void GenWidgets_DrawCheck(BITMAP* bitmap);
