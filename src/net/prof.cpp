#include "net/prof.h"

#include <atomic>
#include <cstdio>

#include "core/mono.h"

// Each slot has one writing thread; atomics keep a reader on another thread
// from seeing a torn total.
static std::atomic<uint32_t> s_slots[PROF_SLOTS];

void Prof_ResetSlots(void)
{
    for (auto& s : s_slots) s.store(0);
}

void Prof_AddTime(int slot, const char* label, uint32_t ms)
{
    if (!Mono_Enabled() || slot < 0 || slot >= PROF_SLOTS) return;
    uint32_t total = s_slots[slot].fetch_add(ms) + ms;
    char line[64];
    snprintf(line, sizeof line, "%-12s %10d %10d", label, (int)ms, (int)total);
    Mono_PrintAt(0, slot, line);
}

uint32_t Prof_Total(int slot) { return slot < 0 || slot >= PROF_SLOTS ? 0 : s_slots[slot].load(); }
