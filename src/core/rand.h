// Random numbers.
//
// Two streams read one fixed table of RAND_TABLESIZE numbers, each with its
// own position that wraps at the end of the table:
//  - the synchronised stream (Rand_Next) is the only randomness the
//    simulation may use; every machine of a game draws the same numbers in
//    the same order, and a saved game stores its position;
//  - the local stream (Rand_NextLocal) is for what each machine may decide on
//    its own (sound choices, screen effects) and is never read by the
//    simulation.
// A draw with a range of 0 or less returns 0 and consumes no number, so such
// a draw never moves a stream out of step.
//
// Crt_Srand/Crt_Rand are the C runtime's linear congruential generator under
// our own names: the editor, random terrain and the simulated packet loss use
// it; the game's synchronised streams never do.
#pragma once

#include <cstdint>

enum { RAND_TABLESIZE = 140 };

// table[position] % range from the synchronised stream, then the position
// advances (wrapping at RAND_TABLESIZE); 0 without advancing when range <= 0.
int32_t Rand_Next(int32_t range);
// The same from the local stream.
int32_t Rand_NextLocal(int32_t range);
// The synchronised stream's position, 0 .. RAND_TABLESIZE-1.
int32_t Rand_GetPosition(void);
// Sets the synchronised position to position modulo RAND_TABLESIZE, made
// non-negative (-1 gives RAND_TABLESIZE-1).
void Rand_SetPosition(int32_t position);
// The local stream's position, 0 .. RAND_TABLESIZE-1.
int32_t Rand_GetLocalPosition(void);
// Sets the local position as Rand_SetPosition does the synchronised one.
void Rand_SetLocalPosition(int32_t position);
// The synchronised position to 0, the local one to localstart (normalised as
// Rand_SetLocalPosition does).
void Rand_Reset(int32_t localstart);

// Seeds the runtime generator (its state is 1 until the first call).
void Crt_Srand(uint32_t seed);
// state = state * 214013 + 2531011 (mod 2^32); returns bits 16..30 of the new
// state, 0 .. 32767.
int32_t Crt_Rand(void);
