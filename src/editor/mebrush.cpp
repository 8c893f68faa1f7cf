#include "editor/mebrush.h"

MeBrushList g_MeBrushLists[MEBL_COUNT];

bool MeBrush::Intersects(const IRect& r)
{
    IRect g = GetRect();
    // In 64 bits: a far scroll or a huge sprite must not wrap the sums.
    return (int64_t)r.x + r.w >= g.x && (int64_t)g.x + g.w >= r.x && (int64_t)r.y + r.h >= g.y &&
           (int64_t)g.y + g.h >= r.y;
}

void MeBrushList::Append(MeBrush* brush)
{
    if (!brush) return;
    brush->prev = tail;
    brush->next = nullptr;
    if (tail)
        tail->next = brush;
    else
        head = brush;
    tail = brush;
    count++;
}

void MeBrushList::Remove(MeBrush* brush)
{
    if (!brush) return;
    MeBrush* p = brush->Prev();
    MeBrush* n = brush->Next();
    if (p)
        p->next = n;
    else
        head = n;
    if (n)
        n->prev = p;
    else
        tail = p;
    brush->next = brush->prev = nullptr;
    count--;
}

void MeBrushList::DestroyAll(void)
{
    while (head) {
        MeBrush* b = head;
        Remove(b);
        delete b;
    }
}

void MeBrushList::UnlinkAll(void)
{
    while (head) Remove(head);
}

bool MeBrushList::Holds(const MeBrush* brush) const
{
    for (const MeBrush* b = head; b; b = b->Next())
        if (b == brush) return true;
    return false;
}
