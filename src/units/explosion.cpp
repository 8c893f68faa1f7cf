// Explosions in play.
//
// Design note.
//
// States of an explosion, all on the one list "explosions" (oldest first):
//   starting  some plays of its type have not started: curanim is the next
//             one, entry its index, cycle the updates played so far;
//   playing   every play has started (curanim null) and some still run;
//   ended     id -1, off the list, its plays and their displays gone, the
//             record on the free list.
// Each update (Expl_UpdateAll, after the projectiles) takes every explosion
// in list order: an attached one whose part handle has gone stale ends; one
// whose part lives moves with it. Then the plays that were running advance
// one update (those whose animation ended leave, with their display), and
// only then the plays whose start cycle the count has reached start, so a
// play shows its first frame for its whole delay and plays of one start
// cycle start in the same update. An explosion made during an update plays
// its cycle 0 in that update's step 7 when it was made before it.
//
// Invariants: a live explosion's plays are exactly its firstexplanim list,
// each with one display element of its own on EXPL_LAYER; s_nrexpl and
// s_nranims count the records handed out and not yet returned (they are
// what a saved game keeps besides the list, and what the close reports);
// an ended record keeps id -1 until it is reused with a new id, so a handle
// never follows it.
//
// Why so: every machine must play the same explosions, so nothing is drawn
// at random; the hot spot a play uses is chosen from the explosion's id and
// the play's index in its type, which spreads the plays of one type over
// its range of hot spots. An explosion whose plays all end on their own
// ends by itself, so nothing piles up; one that loops (a burning wreck) is
// owned by whoever holds its handle and must be terminated by it, and
// termination takes the displays along so that no element outlives its
// record. A type without plays has nothing to show and ends at its first
// update. The counted cycle stops once every play has started, so no
// start cycle, however large, can make it overflow.
#include "units/explosion.h"
#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include <vector>

#include "core/debug.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "units/expltype.h"
#include "units/parts.h"

static EXPL* s_first;
static EXPL* s_last;
static EXPL* s_free;
static EXPLANIM* s_freeanims;
static int s_nrexpl;                    // explosions handed out
static int s_nranims;                   // plays handed out
static std::vector<EXPL*> s_blocks;     // every record made, for the close
static std::vector<EXPLANIM*> s_animblocks;

// ---- records

static EXPL* NewRecord(void)
{
    EXPL* e = s_free;
    if (e) {
        s_free = e->next;
    } else {
        e = (EXPL*)Debug_MallocFor(sizeof(EXPL), "explosion");
        s_blocks.push_back(e);
    }
    *e = EXPL{};
    s_nrexpl++;
    return e;
}

static EXPLANIM* NewPlay(void)
{
    EXPLANIM* a = s_freeanims;
    if (a) {
        s_freeanims = a->next;
    } else {
        a = (EXPLANIM*)Debug_MallocFor(sizeof(EXPLANIM), "explosion play");
        s_animblocks.push_back(a);
    }
    *a = EXPLANIM{};
    s_nranims++;
    return a;
}

static void FreePlay(EXPL* e, EXPLANIM* a)
{
    if (a->prev) a->prev->next = a->next;
    else e->firstexplanim = a->next;
    if (a->next) a->next->prev = a->prev;
    SortDisp_DeleteChain(a->display);
    *a = EXPLANIM{};
    a->next = s_freeanims;
    s_freeanims = a;
    s_nranims--;
}

static void End(EXPL* e)
{
    while (e->firstexplanim) FreePlay(e, e->firstexplanim);
    if (e->prev) e->prev->next = e->next;
    else s_first = e->next;
    if (e->next) e->next->prev = e->prev;
    else s_last = e->prev;
    e->id = -1;
    e->part = nullptr;
    e->prev = nullptr;
    e->next = s_free;
    s_free = e;
    s_nrexpl--;
}

// ---- making and ending

int Expl_MakeExplosion(EXPLID* handle, EXPLTYPE* type, PART* part, int remap, int frame,
                       int direction, int x, int y, SPRITE* sprite)
{
    ASSERT(handle && type);
    EXPL* e = NewRecord();
    e->id = Uid_Next();
    e->type = type;
    e->curanim = type->firstanim;
    e->part = part;
    e->partid = part ? part->id : -1;
    e->isattached = part != nullptr;
    e->remap = remap;
    e->frame = frame;
    e->direction = direction;
    e->x = x;
    e->y = y;
    e->sprite = sprite;
    e->prev = s_last;
    if (s_last) s_last->next = e;
    else s_first = e;
    s_last = e;
    *handle = {e, e->id};
    return 1;
}

int Expl_ValidExpl(const EXPLID* handle)
{
    return handle && handle->expl && handle->id != -1 && handle->expl->id == handle->id;
}

void Expl_TerminateExpl(EXPLID* handle)
{
    if (!Expl_ValidExpl(handle)) return;
    End(handle->expl);
    *handle = {nullptr, -1};
}

// ---- playing

// The offset of hot spot h from hot spot 0 of the exploding sprite at the
// explosion's frame and direction; none without a sprite.
static void HotspotOffset(const EXPL* e, int h, int32_t* dx, int32_t* dy)
{
    *dx = *dy = 0;
    const SPRITE* s = e->sprite;
    if (!s || Sprite_NrFrames(s) < 1 || Sprite_NrRotations(s) < 1) return;
    const int frames = Sprite_NrFrames(s), rotations = Sprite_NrRotations(s);
    const int f = e->frame < 0 ? 0 : e->frame >= frames ? frames - 1 : e->frame;
    // As the display list turns a facing into a rotation.
    const int r = ((e->direction & 255) * rotations + 128) / 256 % rotations;
    const SPRITE_POINT p = Sprite_GetHotspot(s, h, f, r);
    const SPRITE_POINT o = Sprite_GetHotspot(s, 0, f, r);
    *dx = p.x - o.x;
    *dy = p.y - o.y;
}

static void StartPlay(EXPL* e, const EXPLANIMTYPE* entry, int index)
{
    ANIMITERATOR it;
    if (!AnimIter_Start(&it, entry->animtype)) return;
    const int64_t span = (int64_t)entry->hotspotmax - entry->hotspotmin + 1;
    int64_t k = ((int64_t)e->id + index) % span;
    if (k < 0) k += span;
    EXPLANIM* a = NewPlay();
    a->iter = it;
    HotspotOffset(e, (int)(entry->hotspotmin + k), &a->dx, &a->dy);
    a->display = SortDisp_NewElement(it.sprite, nullptr, e->remap, it.frame, e->direction,
                                     e->x + a->dx, e->y + a->dy, EXPL_LAYER, 0);
    SortDisp_SetRenderMode(a->display, entry->rendertype);
    // Oldest first: the plays draw in the order they started.
    EXPLANIM** link = &e->firstexplanim;
    EXPLANIM* prev = nullptr;
    while (*link) {
        prev = *link;
        link = &(*link)->next;
    }
    a->prev = prev;
    *link = a;
}

static int PartGone(const EXPL* e)
{
    return !e->part || e->part->id == -1 || e->part->id != e->partid;
}

static void Follow(EXPL* e)
{
    int x, y;
    Parts_GetPixelPosition(e->part, &x, &y);
    if (x == e->x && y == e->y) return;
    e->x = x;
    e->y = y;
    for (EXPLANIM* a = e->firstexplanim; a; a = a->next)
        SortDisp_SetPosition(a->display, x + a->dx, y + a->dy);
}

static void Update(EXPL* e)
{
    if (e->isattached) {
        if (PartGone(e)) {
            End(e);
            return;
        }
        Follow(e);
    }
    for (EXPLANIM* a = e->firstexplanim, *next; a; a = next) {
        next = a->next;
        if (!AnimIter_Advance(&a->iter)) {
            FreePlay(e, a);
            continue;
        }
        if (SortDisp_GetSprite(a->display) != a->iter.sprite)
            SortDisp_SetSprite(a->display, a->iter.sprite);
        SortDisp_SetFrame(a->display, a->iter.frame);
    }
    while (e->curanim && e->curanim->startcycle <= e->cycle) {
        StartPlay(e, e->curanim, e->entry);
        e->curanim = e->curanim->next;
        e->entry++;
    }
    if (e->curanim) e->cycle++;
    else if (!e->firstexplanim) End(e);
}

void Expl_UpdateAll(void)
{
    EXPL* e = s_first;
    while (e) {
        EXPL* next = e->next; // an explosion only ever ends itself here
        Update(e);
        e = next;
    }
}

// ---- the list

EXPL* Expl_First(void) { return s_first; }
int Expl_Count(void) { return s_nrexpl; }
int Expl_PlayCount(void) { return s_nranims; }

static void FreeAll(void)
{
    for (EXPL* e : s_blocks) Debug_FreeBlock(e);
    for (EXPLANIM* a : s_animblocks) Debug_FreeBlock(a);
    s_blocks.clear();
    s_animblocks.clear();
    s_first = s_last = s_free = nullptr;
    s_freeanims = nullptr;
    s_nrexpl = s_nranims = 0;
}

// At a new start the display list that held the old plays' elements is a
// new one too, so they are dropped with their records, not deleted.
void Expl_Init(void) { FreeAll(); }

void Expl_Close(void)
{
    if (s_nrexpl) TLOG(TLOG_WARNING, "%d extra mallocs", s_nrexpl);
    if (s_nranims) TLOG(TLOG_WARNING, "%d extra mallocs", s_nranims);
    for (EXPL* e = s_first; e; e = e->next)
        for (EXPLANIM* a = e->firstexplanim; a; a = a->next) SortDisp_DeleteChain(a->display);
    FreeAll();
}

void Expl_Save(void)
{
    Save_RegisterBlock(SAVEK_GLOBAL, &s_nrexpl, ST_ULONG, sizeof s_nrexpl);
    Save_RegisterBlock(SAVEK_GLOBAL, &s_nranims, ST_ULONG, sizeof s_nranims);
    for (EXPLTYPE* t = g_ExplTypeList; t && Save_WalkGoesOn(); t = t->next) {
        Save_RegisterBlock(SAVEK_STATIC, t, ST_EXPLTYPE, sizeof *t);
        for (EXPLANIMTYPE* a = t->firstanim; a && Save_WalkGoesOn(); a = a->next)
            Save_RegisterBlock(SAVEK_STATIC, a, ST_EXPLANIMTYPE, sizeof *a);
    }
    Save_RegisterHead(&s_first, 1, ST_EXPL, "explosions");
    Save_RegisterHead(&s_last, 1, ST_EXPL, "explosions last");
    for (EXPL* e = s_first; e && Save_WalkGoesOn(); e = e->next) {
        Save_RegisterTypePointers(ST_EXPL, e);
        Save_RegisterBlock(SAVEK_LOCAL, e, ST_EXPL, sizeof *e);
        for (EXPLANIM* a = e->firstexplanim; a && Save_WalkGoesOn(); a = a->next) {
            Save_RegisterTypePointers(ST_EXPLANIM, a);
            Save_RegisterBlock(SAVEK_LOCAL, a, ST_EXPLANIM, sizeof *a);
        }
    }
}

// ---- saved games

EXPL* Expl_AllocRecord(void)
{
    EXPL* e = NewRecord();
    s_nrexpl--;
    return e;
}

void Expl_FreeRecord(EXPL* e)
{
    *e = EXPL{};
    e->id = -1;
    e->next = s_free;
    s_free = e;
}

EXPLANIM* Expl_AllocPlayRecord(void)
{
    EXPLANIM* a = NewPlay();
    s_nranims--;
    return a;
}

void Expl_FreePlayRecord(EXPLANIM* a)
{
    *a = EXPLANIM{};
    a->next = s_freeanims;
    s_freeanims = a;
}

const char* Expl_CheckLoaded(void)
{
    const EXPL* last = nullptr;
    int n = 0, plays = 0;
    for (const EXPL* e = s_first; e; last = e, e = e->next, n++) {
        if (e->prev != last || e->id < 0 || !e->type) return "an explosion's prev link, id or type";
        // The index of the next play its type starts, counted up as each starts.
        if (e->entry > e->type->nranims) return "an explosion's play index past its type's plays";
        const EXPLANIM* before = nullptr;
        for (const EXPLANIM* a = e->firstexplanim; a; before = a, a = a->next, plays++)
            if (a->prev != before) return "an explosion play's prev link";
    }
    if (last != s_last || n != s_nrexpl) return "the explosion list's end or count";
    return plays == s_nranims ? nullptr : "the count of explosion plays";
}
