#include "units/hlthexpl.h"

#include "core/debug.h"

static int Crossed(int oldpercent, int newpercent, int threshold)
{
    return oldpercent > threshold && threshold >= newpercent;
}

int Hlthexpl_Add(HEALTHEXPL** list, int threshold, int attach, EXPLTYPE* expltype)
{
    ASSERT(list);
    HEALTHEXPL* e = static_cast<HEALTHEXPL*>(Debug_Malloc(sizeof(HEALTHEXPL)));
    e->threshold = threshold;
    e->attach = attach;
    e->expltype = expltype;
    HEALTHEXPL** at = list;
    while (*at && (*at)->threshold > threshold) at = &(*at)->next;
    e->next = *at;
    *at = e;
    return 1;
}

HEALTHEXPL* Hlthexpl_FindCrossed(int oldpercent, int newpercent, HEALTHEXPL* list)
{
    HEALTHEXPL* e = list;
    while (e && e->threshold >= oldpercent) e = e->next;
    return e && Crossed(oldpercent, newpercent, e->threshold) ? e : nullptr;
}

HEALTHEXPL* Hlthexpl_NextCrossed(int oldpercent, int newpercent, HEALTHEXPL* entry)
{
    if (!entry || !entry->next) return nullptr;
    return Crossed(oldpercent, newpercent, entry->next->threshold) ? entry->next : nullptr;
}

void Hlthexpl_Free(HEALTHEXPL** list)
{
    ASSERT(list);
    while (*list) {
        HEALTHEXPL* next = (*list)->next;
        Debug_Free(list);
        *list = next;
    }
}
