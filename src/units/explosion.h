// Explosions in play: made by parts (health effects) and projectiles, kept
// on one list.
//
// Only their making and ending are here; their animation plays belong to the
// explosion core, which keeps these records and adds to them.
#pragma once

#include <cstdint>

struct EXPLTYPE;
struct PART;
struct SPRITE;

struct EXPL {
    int32_t id;             // -1 once ended
    EXPLTYPE* type;
    PART* part;             // the part it follows, when attached
    uint8_t isattached;
    int remap, frame, direction;
    int32_t x, y;           // pixel position
    SPRITE* sprite;
    EXPL* next;             // on "explosions", oldest first; the free list when ended
    EXPL* prev;
};

// A handle: valid while the explosion still carries the id.
struct EXPLID {
    EXPL* expl;
    int32_t id;
};

// An explosion of type at (x, y), attached to part when part is given, at
// the end of the list; fills handle and answers 1. Asserts handle and type.
int Expl_MakeExplosion(EXPLID* handle, EXPLTYPE* type, PART* part, int remap, int frame,
                       int direction, int x, int y, SPRITE* sprite);
// 1 while the handle's explosion is still that one.
int Expl_ValidExpl(const EXPLID* handle);
// Ends the explosion at once (off the list, id -1); an invalid handle is
// nothing to do.
void Expl_TerminateExpl(EXPLID* handle);
// The list from the oldest, and its length.
EXPL* Expl_First(void);
int Expl_Count(void);
// Frees every explosion and the pool.
void Expl_Init(void);
void Expl_Close(void);
