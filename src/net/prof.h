// Profiling slots of the network threads.
//
// A table of running totals in milliseconds, printed on the monochrome debug
// screen, one row per slot. Slots in use: 0 "NetPkt", 1 "WSOCK send",
// 2 "WSOCK recv", 5 "QuorNet".
#pragma once

#include <cstdint>

enum { PROF_SLOTS = 100 };

// Sets every total to 0.
void Prof_ResetSlots(void);
// Nothing unless the monochrome debug screen is on; then adds ms to the
// slot's total and prints "%-12s %10d %10d" (label, ms, total) at column 0
// of the slot's row. A slot outside the table is ignored.
void Prof_AddTime(int slot, const char* label, uint32_t ms);
// The slot's total (0 outside the table).
uint32_t Prof_Total(int slot);
