#include "ui/igizone.h"

#include "core/debug.h"
#include "ui/igi.h"

static ZONE_TABLE& Table(void) { return igi_nfo.zone; }

static void Unlink(ZONE* z)
{
    z->nextactive = nullptr;
    z->prevactive = nullptr;
    z->active = 0;
}

void Igizone_ClearAll(void)
{
    ZONE_TABLE& t = Table();
    for (ZONE& z : t.data) Unlink(&z);
    // A zone of an earlier game must not come back with its layers, handler
    // and a buffer that may be gone.
    for (int zd = 0; zd < ZD_MAXIMUM; zd++) {
        t.data[zd] = ZONE{};
        t.data[zd].zd = (uint32_t)zd;
    }
    t.first = t.last = nullptr;
    t.defined = 0;
}

void Igizone_Add(int zd, int type, int lx, int ly, int rx, int ry, int layers, ZONE_HANDLER handler)
{
    ASSERT(zd>=0 && zd<ZD_MAXIMUM);
    ASSERT(type>=0 && type<ZT_MAXIMUM);
    ASSERT(lx <= IGI_ZONEXMAX);
    ASSERT(ly <= IGI_ZONEYMAX);
    ASSERT(rx <= IGI_ZONEXMAX);
    ASSERT(ry <= IGI_ZONEYMAX);
    ASSERT(lx < rx && ly < ry);
    ASSERT(igi_nfo.zone.data[zd].prevactive == NULL);
    ASSERT(igi_nfo.zone.data[zd].nextactive == NULL);
    // A negative corner would wrap in the u16 fields and pass every hit test.
    ASSERT(lx >= 0 && ly >= 0);
    ZONE* z = &Table().data[zd];
    ASSERT(!z->active);
    z->zd = (uint32_t)zd;
    z->type = (uint32_t)type;
    z->lx = (uint16_t)lx;
    z->ly = (uint16_t)ly;
    z->rx = (uint16_t)rx;
    z->ry = (uint16_t)ry;
    z->layers = (uint16_t)layers;
    z->handler = handler;
    z->dirty = 1;
    z->disabled = 0;
    Unlink(z);
    Table().defined++;
}

void Igizone_SetActiveMask(int mask)
{
    ZONE_TABLE& t = Table();
    for (ZONE& z : t.data) Unlink(&z);
    t.first = t.last = nullptr;
    for (ZONE& z : t.data) {
        if (!(z.layers & mask)) continue;
        z.prevactive = t.last;
        if (t.last) t.last->nextactive = &z;
        else t.first = &z;
        t.last = &z;
        z.active = 1;
        z.dirty = 1;
    }
}

int Igizone_Find(int x, int y)
{
    for (ZONE* z = Table().first; z; z = z->nextactive) {
        if (z->disabled) continue;
        if (x >= z->lx && x <= z->rx && y >= z->ly && y <= z->ry) return (int)z->zd;
    }
    return ZD_NULL;
}

void Igizone_CallHandler(int zd, uint32_t reason)
{
    ASSERT(zd >= 0 && zd < ZD_MAXIMUM);
    ZONE* z = &Table().data[zd];
    if (!z->disabled && z->handler) z->handler((uint32_t)zd, reason);
}

// The next link is read before the call: a handler may rebuild the active list
// (a panel selector switches panels), after which the walk stops cleanly at
// whatever the new list holds next.
void Igizone_CallAllForward(uint32_t reason)
{
    for (ZONE* z = Table().first; z;) {
        ZONE* next = z->nextactive;
        if (!z->disabled && z->handler) z->handler(z->zd, reason);
        z = z->active ? z->nextactive : next;
    }
}

void Igizone_CallAllBackward(uint32_t reason)
{
    for (ZONE* z = Table().last; z;) {
        ZONE* prev = z->prevactive;
        if (!z->disabled && z->handler) z->handler(z->zd, reason);
        z = z->active ? z->prevactive : prev;
    }
}

void Igizone_SetDisabled(int zd, int value)
{
    ASSERT(zd >= 0 && zd < ZD_MAXIMUM);
    Table().data[zd].disabled = (uint8_t)value;
    Table().data[zd].dirty = 1;
}

int Igizone_GetDisabled(int zd)
{
    ASSERT(zd >= 0 && zd < ZD_MAXIMUM);
    return Table().data[zd].disabled;
}

void Igizone_SetAllDirty(void)
{
    for (ZONE* z = Table().first; z; z = z->nextactive) z->dirty = 1;
}

int Igizone_IsDefined(int zd)
{
    if (zd < 0 || zd >= ZD_MAXIMUM) return 0;
    return Table().data[zd].active;
}
