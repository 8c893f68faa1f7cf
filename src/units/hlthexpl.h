// Health-level explosions.
//
// A type's list of explosions to start when an object's hit points fall
// through given percentages: entries in descending order of threshold. A
// fall from old to new percent crosses every threshold t with old > t >= new;
// walking Hlthexpl_FindCrossed then Hlthexpl_NextCrossed visits them from the
// highest to the lowest. A rise crosses nothing.
#pragma once

struct EXPLTYPE;

struct HEALTHEXPL {
    int threshold;        // hit-point percentage
    int attach;           // the explosion follows the object
    EXPLTYPE* expltype;
    HEALTHEXPL* next;
};

// Inserts an entry in order (before existing entries of an equal threshold);
// 1. Out of memory is fatal (the debug heap never returns null).
int Hlthexpl_Add(HEALTHEXPL** list, int threshold, int attach, EXPLTYPE* expltype);
// The first entry whose threshold t satisfies old > t >= new, else null.
HEALTHEXPL* Hlthexpl_FindCrossed(int oldpercent, int newpercent, HEALTHEXPL* list);
// The entry after entry when its threshold satisfies old > t >= new, else null.
HEALTHEXPL* Hlthexpl_NextCrossed(int oldpercent, int newpercent, HEALTHEXPL* entry);
// Frees every entry; the list becomes empty.
void Hlthexpl_Free(HEALTHEXPL** list);
