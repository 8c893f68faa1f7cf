#include "units/explosion.h"

#include <vector>

#include "core/debug.h"
#include "core/uid.h"

static EXPL* s_first;
static EXPL* s_last;
static EXPL* s_free;
static int s_count;
static std::vector<EXPL*> s_blocks; // every record made, for the close

int Expl_MakeExplosion(EXPLID* handle, EXPLTYPE* type, PART* part, int remap, int frame,
                       int direction, int x, int y, SPRITE* sprite)
{
    ASSERT(handle && type);
    EXPL* e = s_free;
    if (e) {
        s_free = e->next;
    } else {
        e = (EXPL*)Debug_MallocFor(sizeof(EXPL), "explosion");
        s_blocks.push_back(e);
    }
    *e = EXPL{};
    e->id = Uid_Next();
    e->type = type;
    e->part = part;
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
    s_count++;
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
    EXPL* e = handle->expl;
    if (e->prev) e->prev->next = e->next;
    else s_first = e->next;
    if (e->next) e->next->prev = e->prev;
    else s_last = e->prev;
    e->id = -1;
    e->next = s_free;
    s_free = e;
    s_count--;
    *handle = {nullptr, -1};
}

EXPL* Expl_First(void) { return s_first; }
int Expl_Count(void) { return s_count; }

static void FreeAll(void)
{
    for (EXPL* e : s_blocks) Debug_FreeBlock(e);
    s_blocks.clear();
    s_first = s_last = s_free = nullptr;
    s_count = 0;
}

void Expl_Init(void) { FreeAll(); }
void Expl_Close(void) { FreeAll(); }
