// Explosions in play: made by parts (health effects), buildings (health
// effects), units and projectiles, kept on one list and played once per
// update (the second half of update step 7, after the projectiles).
//
// An explosion counts cycles from 0. Each play of its type (EXPLANIMTYPE)
// starts when the count reaches its start cycle, as an animation iterator
// with a display element of its own at the explosion's position plus the
// offset of one of the play's hot spots of the exploding sprite. The
// explosion ends when every play of its type has started and every play has
// ended; a play whose animation loops keeps it alive until it is terminated.
// An attached explosion follows its part and ends when the part is gone.
// How and why: the note at the head of explosion.cpp.
#pragma once

#include <cstdint>

#include "platform/animtype.h"

struct DISPLAYELEMENT;
struct EXPLANIMTYPE;
struct EXPLTYPE;
struct PART;
struct SPRITE;

// The display layer of every play: above all units, flyers included.
enum { EXPL_LAYER = 6 };

// One play in progress.
struct EXPLANIM {
    ANIMITERATOR iter;
    DISPLAYELEMENT* display;
    int32_t dx, dy;         // from the explosion's position: hot spot h - hot spot 0
    EXPLANIM* next;         // the explosion's plays, oldest first; the free list when free
    EXPLANIM* prev;
};

struct EXPL {
    int32_t id;             // -1 once ended
    EXPLTYPE* type;
    EXPLANIMTYPE* curanim;  // the next play of the type to start; null once all started
    int32_t entry;          // curanim's index in the type's list
    int32_t cycle;          // cycles played
    EXPLANIM* firstexplanim;// the plays in progress
    PART* part;             // the part it follows, when attached
    int32_t partid;         // the part's id when it was made
    uint8_t isattached;
    int remap, frame, direction;
    int32_t x, y;           // pixel position
    SPRITE* sprite;         // the exploding sprite whose hot spots place the plays
    EXPL* next;             // on "explosions", oldest first; the free list when ended
    EXPL* prev;
};

// A handle: valid while the explosion still carries the id.
struct EXPLID {
    EXPL* expl;
    int32_t id;
};

// An explosion of type at (x, y), attached to part when part is given, at
// the end of the list, cycle 0, nothing playing yet; fills handle and
// answers 1. remap is the plays' colour remap, frame and direction (a facing
// 0..255) those of sprite (null: every play at (x, y)). Asserts handle and
// type.
int Expl_MakeExplosion(EXPLID* handle, EXPLTYPE* type, PART* part, int remap, int frame,
                       int direction, int x, int y, SPRITE* sprite);
// 1 while the handle's explosion is still that one.
int Expl_ValidExpl(const EXPLID* handle);
// Ends the explosion at once, its plays and their displays with it (off the
// list, id -1) and empties the handle; an invalid handle is nothing to do.
void Expl_TerminateExpl(EXPLID* handle);
// Update step 7, second half: every explosion in list order follows its
// part (or ends without it), moves its plays on, starts the plays whose
// start cycle the count has reached, counts one cycle and ends when nothing
// is left to start or play.
void Expl_UpdateAll(void);
// The list from the oldest, and its length; the plays in progress.
EXPL* Expl_First(void);
int Expl_Count(void);
int Expl_PlayCount(void);
// Expl_Init empties the list and the pools; Expl_Close also removes the
// plays' displays, logging "%d extra mallocs" (warning) for explosions and
// for plays still in use.
void Expl_Init(void);
void Expl_Close(void);

// Registers the counters, the explosion types with their plays as static
// blocks, the explosion list's heads and each explosion with its plays.
void Expl_Save(void);
// Zeroed records for a loaded explosion and play, and records given back
// without unlinking them; the counts are the file's.
EXPL* Expl_AllocRecord(void);
void Expl_FreeRecord(EXPL* e);
EXPLANIM* Expl_AllocPlayRecord(void);
void Expl_FreePlayRecord(EXPLANIM* a);
// After a load: null, or what is wrong with the loaded list and plays.
const char* Expl_CheckLoaded(void);
