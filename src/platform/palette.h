// The palette and the colour tables built from it.
//
// The current palette is 256 colours of 8 bits a channel; every change bumps
// g_PaletteVersion so the display uploads it at the next flip. The colour
// tables (team remaps, translucent, highlight, dimming, title text, blend,
// shade, grey) are rebuilt from the palette when it is applied.
#pragma once

#include <cstdint>

struct PAL_RGB {
    uint8_t r, g, b;
};

enum { BLEND_LEVELS = 4, PAL_TEAMS = 9 };

extern PAL_RGB g_Palette[256];
extern uint32_t g_PaletteVersion;

// The loaded palette information ("PALS"): the colours that Display_ApplyPalette
// sets, and each team colour's table value (team colour c remaps indices
// 32..41 by 8 x value).
struct PALINFO {
    PAL_RGB colours[256];
    uint8_t teamcolour[8];
};
extern PALINFO g_PalInfo;

// The PALS file: magic, version and size (docs/formats.md).
enum { PALS_VERSION = 0x100, PALS_FILE_SIZE = 784 };
// The flashing entries: pairs of red (16, 17), green (18, 19) and white (20, 21).
enum { PAL_FLASH_FIRST = 16, PAL_FLASH_COUNT = 6 };

// Per-team remap tables, indexed by team colour 0..7: entry i of 32..41 is
// i + 8 x g_PalInfo.teamcolour[c] (capped at 255), identity elsewhere.
extern uint8_t g_TeamRemap[8][256];
// The small tables the interface draws with. Each maps a palette index to the
// index nearest (Graph_ColourMatch) to a colour made from its channels r, g, b
// (8 bits); index 0, the transparent colour, always maps to 0.
// Translucent box: half the colour, half the dark blue-grey (32, 40, 56).
extern uint8_t g_TranslucentTable[256];
// Highlight: each channel brighter by a quarter, min(255, c + c / 4).
extern uint8_t g_HighlightTable[256];
// Dimming: each channel halved.
extern uint8_t g_DimTable[256];
// Title text: a gold of the colour's brightness L = (77 r + 150 g + 29 b) / 256,
// namely (L, 13 L / 16, L / 4).
extern uint8_t g_TitleTextTable[256];
// g_BlendTables[level][src][dst]: src over dst at opacity (level + 1) / 5,
// each channel (s (level + 1) + d (4 - level) + 2) / 5; level 0 faint ..
// BLEND_LEVELS-1 strong.
extern uint8_t g_BlendTables[BLEND_LEVELS][256][256];
// g_ShadeTable[shade][colour]: each channel min(255, c x shade / 128); row 128
// is the identity and column 0 stays 0.
extern uint8_t g_ShadeTable[256][256];
// Entry i = trunc((0.4 r + 0.4 g + 0.2 b) / 4), computed in float from palette
// colour i's 8-bit channels: a grey level 0..63 (not a palette index).
extern uint8_t g_GreyRemap[256];

// Sets count entries from first from 6-bit triples (each value's low 6 bits,
// scaled by 4); entries outside 0..255 are skipped. Bumps the version.
void Graph_SetPalette(const uint8_t* rgb6, int first, int count);
// Sets count entries from first from 4-byte {r, g, b, 0} entries, as above.
void Video_SetPalette(const uint8_t* entries, int first, int count);
// Reads count entries from first as 8-bit triples (only those inside 0..255).
void Graph_GetPalette(uint8_t* rgb, int first, int count);
// The palette index nearest to a 15-bit colour (5 bits a channel, red high,
// bit 15 ignored; channel c5 stands for (255 c5 + 15) / 31): least squared
// distance, ties to the lower index. Index 0 (transparent wherever sprites
// and fonts draw) and the flashing entries 16..21 are never chosen, so a
// matched colour neither vanishes nor blinks. Looks up a 32768-entry table
// that is rebuilt at the first call after the other entries changed.
uint8_t Graph_ColourMatch(uint16_t rgb15);
// The 15-bit colour nearest to an 8-bit one (each channel (31 c + 127) / 255).
uint16_t Graph_Rgb15(int r, int g, int b);

// Loads a "PALS" file into g_PalInfo; 0 (logged, with the file and offset) on
// a missing, truncated or inconsistent file.
int Palstuff_LoadInfo(const char* path);
// Writes g_PalInfo-shaped data as a "PALS" file (atomically); 1 on success.
int Palstuff_Write(const char* path, const PALINFO* info);
// Sets the palette from g_PalInfo and rebuilds every colour table.
void Display_ApplyPalette(void);
// Rebuilds the colour tables from the current palette.
void Display_BuildColourTables(void);
// Builds g_TeamRemap from g_PalInfo.teamcolour.
void Display_BuildTeamRemaps(void);
// Sets entries 16..21 to pairs of red, green and white, the first of each
// pair bright and the second dark (half as bright).
void Display_SetFlashColours(void);
// One step of the flashing colours (the frame calls it): every 8 frames each
// pair swaps its bright and dark entry (frames 0..7 as Display_SetFlashColours,
// 8..15 swapped, ...). Only those six entries change, and the version bumps
// only when they do; no colour table is rebuilt.
void Display_CycleFlashColours(uint32_t frame);
