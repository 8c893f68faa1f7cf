// The game screen's pictures and fonts: the 26 interface bitmaps at their
// required sizes, each cell and look drawn distinct, and the three interface
// fonts, which fit the interface's 19200-byte font buffer together.
#pragma once

#include <string>

struct PAL_RGB;

enum { GENSCREEN_BITMAPS = 26, GENSCREEN_FONTBYTES = 19200 };

// The file name and size of interface bitmap i (0..25).
const char* GenScreen_BitmapName(int i);
void GenScreen_BitmapSize(int i, int* w, int* h);
// Writes bitmap i as an 8-bit BMP to path; 1 ok.
int GenScreen_WriteBitmap(int i, const std::string& path, const PAL_RGB* palette);
// Writes "font12w.pcx", "font12t.pcx" and "font16.pcx" into dir; 1 ok.
int GenScreen_WriteFonts(const std::string& dir, const PAL_RGB* palette);
// Writes the 26 bitmaps and the three fonts into dir (which must exist); 1 ok.
int GenScreen_WriteAll(const std::string& dir, const PAL_RGB* palette);
