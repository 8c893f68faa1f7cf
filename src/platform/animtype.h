// Animation types: named frame sequences of one sprite.
//
// An animation type plays its frame ranges in order, each frame shown for
// the range's delay, then goes on with the type it links to (itself for a
// loop) or stops. The definition file ("animate.txt") fills them in order:
// the sprite first, then the ranges, then at most one link.
//
// Every type stays on one list (g_AnimTypeList, in creation order) until
// AnimType_FreeAll; the save system walks the list and each type's frame
// chain, so records never move.
//
// An iterator (ANIMITERATOR) plays a type one update at a time: each frame
// is shown for its range's delay (a delay below 1 counts 1, so no frame is
// skipped and nothing stands still for ever), then the next frame, the next
// range, then the linked type; without a link it ends. Types without ranges
// pass straight on to their link; a chain of such types that comes back on
// itself ends rather than spin.
#pragma once

struct SPRITE;

enum { ANIMTYPE_NAMELEN = 64 };

// One frame range: frames first..last, each shown for delay updates.
struct ANIMFRAME {
    int first, last;
    int delay;
    ANIMFRAME* next;
};

struct ANIMTYPE {
    char name[ANIMTYPE_NAMELEN];
    SPRITE* sprite;             // one reference held while set
    ANIMFRAME* firstframe;      // the ranges in order
    ANIMFRAME* lastframe;
    int nrframes;               // ranges in the chain
    ANIMTYPE* link;             // played after the last range; null: stop
    ANIMTYPE* next;             // the type list
};

// A play of an animation type in progress.
struct ANIMITERATOR {
    ANIMTYPE* animtype;         // the type playing; null once ended
    ANIMFRAME* curframe;        // its range playing
    SPRITE* sprite;             // the type's sprite: what frame is a frame of
    int frame;                  // the frame shown
    int wait;                   // updates it is still shown, this one included
};

// The type list, oldest first.
extern ANIMTYPE* g_AnimTypeList;

// A new empty type named name (cut to 63 characters) at the end of the list;
// null, logged, for a null or empty name or one that exists (any case).
ANIMTYPE* AnimType_New(const char* name);
// The type of that name compared without regard to case; null when none.
ANIMTYPE* AnimType_Find(const char* name);
// The number of types.
int AnimType_Count(void);
// Registers every animation type as a static global ANIMTYPE block and each
// of its frame ranges along the chain as a static global ANIMFRAME block.
void AnimType_SaveAll(void);
// Gives the type its sprite, taking over the caller's reference; 0 (the
// reference left to the caller) for a null sprite or when the type has one,
// logging "Cannot set an animation type's Sprite twice, in [%s]". Asserts "type".
int AnimType_SetSprite(ANIMTYPE* type, SPRITE* sprite);
// Appends frames first..last shown delay updates each; a range that goes on
// from the last one (its last + 1 == first) at the same delay extends it.
// 0 (logged) without a sprite, for first > last, frames outside the sprite or
// a negative delay. Asserts "type".
int AnimType_AddFrames(ANIMTYPE* type, int first, int last, int delay);
// Makes next follow type (type itself: a loop); 0 for a null next, or when
// the type is linked already, logging "Cannot Link an animation type twice,
// in %s". Asserts "type".
int AnimType_Link(ANIMTYPE* type, ANIMTYPE* next);
// Starts it at the first frame of type (or of the first type with ranges
// along its links); 1 while it plays, 0 when there is nothing to show (null
// type included). Asserts "it".
int AnimIter_Start(ANIMITERATOR* it, ANIMTYPE* type);
// One update on: the same frame while its delay lasts, else the next frame,
// range or linked type; 1 while it plays, 0 once it has ended (and after).
int AnimIter_Advance(ANIMITERATOR* it);
// 1 while it plays.
int AnimIter_Playing(const ANIMITERATOR* it);

// Reloads every type's sprite in place (Textfile_ReloadSprite), each sprite
// once; its fatal errors apply.
void AnimType_ReloadSprites(void);
// Frees every type and its frames and drops their sprite references.
void AnimType_FreeAll(void);
// The common-systems entries: both leave the list empty.
void AnimType_Init(void);
void AnimType_Close(void);
