// The test frame: one fixed picture that exercises the drawing primitives,
// the three fonts and (through the flip) the cursor. `make run` shows it, and
// the display tests compare its CRC-32 with a recorded value.
//
// Not part of the engine: the display tests link it.
#pragma once

struct BITMAP;

// Draws the test frame into a 640 x 480 bitmap. Assumes the demo palette and
// the fonts in slots 0..2 are loaded (a slot left empty draws no text); the
// picture depends on nothing else.
void Demo_DrawTestFrame(BITMAP* dst);
// Loads what the test frame needs from an interface directory: the palette
// "quorvex.pal" (applied) and the fonts "font256a.pcx", "font256b.pcx" and
// "font8a.pcx" into slots 0..2 (after Font_Init). 1 when everything loaded;
// what failed is logged and the rest is still loaded.
int Demo_LoadAssets(const char* interfacedir);
// Has the game draw the test frame every frame; the assets are loaded from
// g_InterfaceDir at the first frame.
void Demo_Install(void);
// Frees what the demo loaded (the fonts).
void Demo_Close(void);
