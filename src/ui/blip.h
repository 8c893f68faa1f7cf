// Minimap blips: growing circles where something worth a look happened.
//
// Game messages make the types (one per message that carries a blip) and
// start the live blips; the minimap grows and draws them each time it is
// drawn. Both lists are emptied at the start and end of every game. The last
// blip position outlives games: the jump key keeps working after a restart
// until a new blip moves it.
#pragma once

#include <cstdint>

struct BITMAP;
struct GRECT;

enum BLIP_FORM {
    BF_CIRCLE = 0,
    BF_MAX = 1,
};

enum {
    MAXSHADE = 32,
    BLIPDEF_CIRCLE_COLOR = (31 * MAXSHADE + 0) * MAXSHADE + 10,
    BLIPDEF_CIRCLE_LIFE = 10,
    BLIPDEF_CIRCLE_SPEED = 100,
};

struct BLIP_CIRCLE {
    uint16_t color; // 15-bit RGB, red highest
    int life;       // radius in minimap pixels at which the blip ends
    int speed;      // growth per update in 1/100 pixel, applied in whole pixels
};

struct BLIP_TYPE {
    int form;
    BLIP_CIRCLE circle;
    BLIP_TYPE* next;
};

struct BLIP {
    BLIP_TYPE* type;
    uint8_t ended;
    float radius;
    int x, y; // map tile
    BLIP* prev;
    BLIP* next;
};

// A new type with the form's defaults at the front of the type list; null
// with the error "Unknown blip form [%d]" for a form outside 0..BF_MAX - 1.
BLIP_TYPE* Blip_AddNewType(int form);
// Each component clamped to 0..31. Asserts btype and its circle form.
void Blip_FormCircleColor(BLIP_TYPE* btype, int r, int g, int b);
// life = n, below 1 gives 0. Asserts btype and its circle form.
void Blip_FormCircleLife(BLIP_TYPE* btype, int n);
// speed = n, below 1 gives 1. Asserts btype and its circle form.
void Blip_FormCircleSpeed(BLIP_TYPE* btype, int n);

// Starts a blip of radius 0 at tile (x, y) at the front of the live list and
// makes (x, y) the last blip position; 1. Asserts btype.
int Blip_NewInstance(BLIP_TYPE* btype, int x, int y);
// Grows every circle by speed / 100 whole pixels, ends those whose radius
// reached their life, then frees the ended ones.
void Blip_UpdateInstances(void);
// Draws every circle's outline centred at (x - scrollx + originx,
// y - scrolly + originy), radius truncated, in the palette colour nearest the
// type's colour, clipped to clip.
void Blip_DrawInstances(BITMAP* bitmap, const GRECT* clip, int originx, int originy, int scrollx,
                        int scrolly);
// Centres the map view near the last blip (origin at x x 24 - 216,
// y x 24 - 216 pixels); nothing before the first blip of the process.
void Blip_TriggerBlipJump(void);

// The live list from the newest (tests and the minimap).
const BLIP* Blip_First(void);
// The last blip position; 0 when no blip was started since the process began.
int Blip_LastPosition(int* x, int* y);

// Free every live blip and every type (start and end of each game).
void Blip_Init(void);
void Blip_Close(void);
