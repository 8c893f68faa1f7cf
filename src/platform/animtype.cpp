// Animation types: the type list, frame chains and links.
#include "platform/animtype.h"

#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include <strings.h>

#include "core/debug.h"
#include "core/guard.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "platform/sprite.h"

ANIMTYPE* g_AnimTypeList = nullptr;
static ANIMTYPE* s_animTail = nullptr;

ANIMTYPE* AnimType_Find(const char* name)
{
    if (!name) return nullptr;
    for (ANIMTYPE* t = g_AnimTypeList; t; t = t->next)
        if (strcasecmp(t->name, name) == 0) return t;
    return nullptr;
}

ANIMTYPE* AnimType_New(const char* name)
{
    if (!name || !*name) {
        TLOG(TLOG_ERROR, "Animation type without a name");
        return nullptr;
    }
    char cut[ANIMTYPE_NAMELEN];
    Str_CopySafe(cut, name, sizeof cut);
    // Names are found without regard to case, so two that differ only in
    // case would hide one another.
    if (AnimType_Find(cut)) {
        TLOG(TLOG_ERROR, "Animation type [%s] exists already", cut);
        return nullptr;
    }
    ANIMTYPE* t = (ANIMTYPE*)Debug_Calloc(1, sizeof(ANIMTYPE));
    Str_CopySafe(t->name, cut, sizeof t->name);
    if (s_animTail) s_animTail->next = t;
    else g_AnimTypeList = t;
    s_animTail = t;
    return t;
}

int AnimType_Count(void)
{
    int n = 0;
    for (const ANIMTYPE* t = g_AnimTypeList; t; t = t->next) n++;
    return n;
}

int AnimType_SetSprite(ANIMTYPE* type, SPRITE* sprite)
{
    ASSERT(type);
    if (type->sprite) {
        TLOG(TLOG_ERROR, "Cannot set an animation type's Sprite twice, in [%s]", type->name);
        return 0;
    }
    if (!sprite) return 0;
    type->sprite = sprite;
    return 1;
}

int AnimType_AddFrames(ANIMTYPE* type, int first, int last, int delay)
{
    ASSERT(type);
    if (!type->sprite) {
        TLOG(TLOG_ERROR, "Frames %d..%d before the sprite, in [%s]", first, last, type->name);
        return 0;
    }
    int frames = Sprite_NrFrames(type->sprite);
    if (first < 0 || first > last || last >= frames) {
        TLOG(TLOG_ERROR, "Frames %d..%d outside the %d frames of sprite [%s], in [%s]", first, last,
             frames, type->sprite->name, type->name);
        return 0;
    }
    if (delay < 0) {
        TLOG(TLOG_ERROR, "Negative frame delay %d, in [%s]", delay, type->name);
        return 0;
    }
    ANIMFRAME* tail = type->lastframe;
    if (tail && tail->last + 1 == first && tail->delay == delay) {
        tail->last = last;
        return 1;
    }
    ANIMFRAME* f = (ANIMFRAME*)Debug_Calloc(1, sizeof(ANIMFRAME));
    f->first = first;
    f->last = last;
    f->delay = delay;
    if (tail) tail->next = f;
    else type->firstframe = f;
    type->lastframe = f;
    type->nrframes++;
    return 1;
}

int AnimType_Link(ANIMTYPE* type, ANIMTYPE* next)
{
    ASSERT(type);
    if (type->link) {
        TLOG(TLOG_ERROR, "Cannot Link an animation type twice, in %s", type->name);
        return 0;
    }
    if (!next) return 0;
    type->link = next;
    return 1;
}

// ---- playing

static int Delay(const ANIMFRAME* f) { return f->delay < 1 ? 1 : f->delay; }

static int Stop(ANIMITERATOR* it)
{
    *it = ANIMITERATOR{};
    return 0;
}

// Enters the first range of type, passing over types without ranges along
// their links; at most as many hops as there are types, since more can only
// mean a loop of empty types.
static int Enter(ANIMITERATOR* it, ANIMTYPE* type)
{
    for (int hops = AnimType_Count(); type && !type->firstframe; hops--) {
        if (hops <= 0) return Stop(it);
        type = type->link;
    }
    if (!type) return Stop(it);
    it->animtype = type;
    it->sprite = type->sprite;
    it->curframe = type->firstframe;
    it->frame = it->curframe->first;
    it->wait = Delay(it->curframe);
    return 1;
}

int AnimIter_Start(ANIMITERATOR* it, ANIMTYPE* type)
{
    ASSERT(it);
    return Enter(it, type);
}

int AnimIter_Advance(ANIMITERATOR* it)
{
    ASSERT(it);
    if (!it->animtype) return 0;
    if (--it->wait > 0) return 1;
    ANIMFRAME* f = it->curframe;
    if (it->frame < f->last) {
        it->frame++;
        it->wait = Delay(f);
        return 1;
    }
    if (f->next) {
        it->curframe = f->next;
        it->frame = f->next->first;
        it->wait = Delay(f->next);
        return 1;
    }
    return Enter(it, it->animtype->link);
}

int AnimIter_Playing(const ANIMITERATOR* it) { return it && it->animtype != nullptr; }

void AnimType_ReloadSprites(void)
{
    for (ANIMTYPE* t = g_AnimTypeList; t; t = t->next) {
        if (!t->sprite) continue;
        int done = 0;
        for (ANIMTYPE* u = g_AnimTypeList; u != t && !done; u = u->next)
            done = u->sprite == t->sprite;
        if (!done) Textfile_ReloadSprite(t->sprite);
    }
}

void AnimType_FreeAll(void)
{
    while (g_AnimTypeList) {
        ANIMTYPE* t = g_AnimTypeList;
        g_AnimTypeList = t->next;
        while (t->firstframe) {
            ANIMFRAME* f = t->firstframe;
            t->firstframe = f->next;
            Debug_Free(&f);
        }
        Sprite_Free(t->sprite);
        Debug_Free(&t);
    }
    s_animTail = nullptr;
}

static MODULE_GUARD s_guard = MODULE_GUARD_INIT("Animations");

void AnimType_Init(void)
{
    Guard_Init(&s_guard);
    AnimType_FreeAll();
}

void AnimType_Close(void)
{
    Guard_Close(&s_guard);
    AnimType_FreeAll();
}

void AnimType_SaveAll(void)
{
    for (ANIMTYPE* t = g_AnimTypeList; t && Save_WalkGoesOn(); t = t->next) {
        Save_RegisterBlock(SAVEK_STATIC, t, ST_ANIMTYPE, sizeof *t);
        for (ANIMFRAME* f = t->firstframe; f && Save_WalkGoesOn(); f = f->next)
            Save_RegisterBlock(SAVEK_STATIC, f, ST_ANIMFRAME, sizeof *f);
    }
}
