// The game screen's debug lines: rates and counts (debug flag 8), the
// status block with the objects under the pointer and selected (flag 16),
// the network line (flag 32). They read the game and change nothing.
#pragma once

#include <cstdint>

struct BITMAP;

enum {
    IGIDEBUG_NETWORK = 32,       // the debug flag of the network line
    IGIDEBUG_RATEFRAMES = 15,    // frames between refreshes of the rates
    IGIDEBUG_BLOCKRIGHT = 430,   // the moving block runs over x 0..430
};

// Forgets the rates and puts the moving block at the left (a game's start).
void IgiDebug_Reset(void);
// Draws the lines the debug flags ask for (step 9 of a frame); now is the
// system clock in ms, (mx, my) the pointer.
void IgiDebug_Draw(BITMAP* dst, uint32_t now, int mx, int my);
// The lines drawn by the last IgiDebug_Draw, for the tests.
int IgiDebug_LineCount(void);
const char* IgiDebug_Line(int i);
// The moving block's x.
int IgiDebug_BlockX(void);
