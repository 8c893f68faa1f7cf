// Saved games: the flags word and the start-up state (design note in save.h).
#include "save/save.h"

uint32_t g_SaveFlags = SAVEF_LIVE;

void Save_Init(void)
{
    g_SaveFlags = (g_SaveFlags & SAVEF_DUMP) | SAVEF_LIVE;
}
