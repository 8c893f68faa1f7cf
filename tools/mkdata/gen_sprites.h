// The demo sprites, drawn in code in the demo palette's colours.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/sprite.h"

enum GENSPRITE_ID {
    GENSPRITE_UNITBODY = 0, // "UNITBODY.SPR" 32 x 32, 2 frames (tracks), 8 rotations, team ramp
    GENSPRITE_TURRET,       // "TURRET.SPR"   32 x 32, 8 rotations, team ramp; hot spot 0 the muzzle
    GENSPRITE_SHADOW,       // "SHADOW.SPR"   SSPR 32 x 32, 8 rotations: the unit's shadow
    GENSPRITE_LIGHT,        // "LIGHT.SPR"    LSPR 48 x 48: a round light pool
    GENSPRITE_TREE,         // "TREE.SPR"     32 x 40, 2 frames (sway)
    GENSPRITE_CRATER,       // "CRATER.SPR"   32 x 24
    GENSPRITE_EXPLODE,      // "EXPLODE.SPR"  48 x 48, 8 frames
    GENSPRITE_BUILDING,     // "BUILDING.SPR" 48 x 48, 2 frames (beacon), team ramp
    GENSPRITE_BLDSHAD,      // "BLDSHAD.SPR"  SSPR 56 x 56: the building's shadow
    GENSPRITE_FACTORY,      // "FACTORY.SPR"  72 x 48, 2 frames (beacon), team ramp, bay door
    GENSPRITE_COUNT
};

// A sprite as full images, ready for Sprite_Encode / Sprite_Write.
struct GENSPRITE {
    int kind = SPRITE_REGULAR;
    int frames = 1, rotations = 1, w = 0, h = 0;
    std::vector<uint8_t> pixels;        // image (f, r) at (f * rotations + r) * w * h
    int nrhotspots = 0;
    std::vector<SPRITE_POINT> hotspots; // nrhotspots per image
    std::vector<int> sectionno;
    std::vector<SPRITE_SECTION> sections;

    // A description pointing into this sprite's vectors.
    SPRITE_DESC Desc() const;
    // Pixel (x, y) of image (f, r).
    uint8_t& At(int f, int r, int x, int y)
    {
        return pixels[((size_t)(f * rotations + r) * h + y) * w + x];
    }
};

// The file name of a demo sprite ("UNITBODY.SPR", ...); "" outside the range.
const char* GenSprite_FileName(int id);
// Draws demo sprite id (rotation r faces r x 45 degrees anticlockwise from
// east, y down). A pure function: the same sprite every time.
void GenSprite_Build(int id, GENSPRITE* out);
// A test pattern: frames x rotations images of w x h with transparent gaps,
// runs of several lengths, an empty row and (w >= 2) a row holding only its
// first and last pixel, different in every image; two hot spots per image
// and sections 0 and 5 (where the frames allow).
void GenSprite_Pattern(int kind, int frames, int rotations, int w, int h, GENSPRITE* out);
