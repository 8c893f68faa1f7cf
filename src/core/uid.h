// Unique ids.
//
// One global counter hands out ids 1, 2, 3, ... INT32_MAX - 1 for the life
// of a game. A loaded game reserves the ids it already uses so that new ones
// never collide; the counter is saved with Uid_Get and restored with Uid_Set.
#pragma once

#include <cstdint>

// The next id (the counter's value), then the counter advances; fatal
// "Unique ids exhausted" when the counter has reached INT32_MAX.
int32_t Uid_Next(void);
// Raises the counter so that the next Uid_Next returns at least id + 1
// (reserving INT32_MAX - 1 or INT32_MAX leaves the ids exhausted); returns id.
int32_t Uid_Reserve(int32_t id);
// The counter, for saving: the id the next Uid_Next returns.
int32_t Uid_Get(void);
// Restores the counter; values below 1 are taken as 1.
void Uid_Set(int32_t value);
// Back to the start value 1.
void Uid_Reset(void);
