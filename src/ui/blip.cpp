#include "ui/blip.h"

#include "core/debug.h"
#include "core/tlog.h"
#include "map/mapview.h"
#include "platform/graph.h"
#include "platform/palette.h"

static BLIP_TYPE* s_types;
static BLIP* s_blips;
static int s_lastx = -1, s_lasty = -1;

static int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

BLIP_TYPE* Blip_AddNewType(int form)
{
    if (form < 0 || form >= BF_MAX) {
        TLOG(TLOG_ERROR, "Unknown blip form [%d]", form);
        return nullptr;
    }
    BLIP_TYPE* t = (BLIP_TYPE*)Debug_Calloc(1, sizeof(BLIP_TYPE));
    t->form = form;
    t->circle.color = BLIPDEF_CIRCLE_COLOR;
    t->circle.life = BLIPDEF_CIRCLE_LIFE;
    t->circle.speed = BLIPDEF_CIRCLE_SPEED;
    t->next = s_types;
    s_types = t;
    return t;
}

void Blip_FormCircleColor(BLIP_TYPE* btype, int r, int g, int b)
{
    ASSERT(btype);
    ASSERT(btype->form == BF_CIRCLE);
    btype->circle.color =
        (uint16_t)((Clamp(r, 0, MAXSHADE - 1) * MAXSHADE + Clamp(g, 0, MAXSHADE - 1)) * MAXSHADE +
                   Clamp(b, 0, MAXSHADE - 1));
}

void Blip_FormCircleLife(BLIP_TYPE* btype, int n)
{
    ASSERT(btype);
    ASSERT(btype->form == BF_CIRCLE);
    btype->circle.life = n < 1 ? 0 : n;
}

void Blip_FormCircleSpeed(BLIP_TYPE* btype, int n)
{
    ASSERT(btype);
    ASSERT(btype->form == BF_CIRCLE);
    btype->circle.speed = n < 1 ? 1 : n;
}

int Blip_NewInstance(BLIP_TYPE* btype, int x, int y)
{
    ASSERT(btype);
    BLIP* b = (BLIP*)Debug_Calloc(1, sizeof(BLIP));
    b->type = btype;
    b->x = x;
    b->y = y;
    b->next = s_blips;
    if (s_blips) s_blips->prev = b;
    s_blips = b;
    s_lastx = x;
    s_lasty = y;
    return 1;
}

static void Unlink(BLIP* b)
{
    if (b->prev) b->prev->next = b->next;
    else s_blips = b->next;
    if (b->next) b->next->prev = b->prev;
}

void Blip_UpdateInstances(void)
{
    for (BLIP* b = s_blips; b; b = b->next) {
        if (b->type->form != BF_CIRCLE) continue;
        // Whole pixels only: a speed below 100 leaves the blip a point for good.
        b->radius += (float)(b->type->circle.speed / 100);
        if (b->radius >= (float)b->type->circle.life) b->ended = 1;
    }
    for (BLIP* b = s_blips; b;) {
        BLIP* next = b->next;
        if (b->ended) {
            Unlink(b);
            Debug_FreeBlock(b);
        }
        b = next;
    }
}

void Blip_DrawInstances(BITMAP* bitmap, const GRECT* clip, int originx, int originy, int scrollx,
                        int scrolly)
{
    for (const BLIP* b = s_blips; b; b = b->next) {
        if (b->type->form != BF_CIRCLE) continue;
        Graph_DrawCircle(bitmap, clip, 0, b->x - scrollx + originx, b->y - scrolly + originy,
                         (int)b->radius, Graph_ColourMatch(b->type->circle.color));
    }
}

void Blip_TriggerBlipJump(void)
{
    if (s_lastx < 0 && s_lasty < 0) return;
    Map_SetViewPixelPosRedraw(s_lastx * 24 - 216, s_lasty * 24 - 216);
}

const BLIP* Blip_First(void) { return s_blips; }

int Blip_LastPosition(int* x, int* y)
{
    *x = s_lastx;
    *y = s_lasty;
    return !(s_lastx < 0 && s_lasty < 0);
}

static void FreeAll(void)
{
    while (s_blips) {
        BLIP* b = s_blips;
        s_blips = b->next;
        Debug_FreeBlock(b);
    }
    while (s_types) {
        BLIP_TYPE* t = s_types;
        s_types = t->next;
        Debug_FreeBlock(t);
    }
}

void Blip_Init(void) { FreeAll(); }
void Blip_Close(void) { FreeAll(); }
