// The pause: the game's paused flag, the pause screen (zone 2, locked, the
// mouse confined to it) and, in a network game, requests that arrive from
// other machines on the network's thread.
//
// A request made off the main thread, or while the interface is busy (a
// drag, a button lock, or a zone other than 2 holding the lock), only sets
// the paused flag and stays pending; the main thread applies it through
// Igievnt_ApplyNetPause once the interface is idle. The flag itself changes
// at once, so the simulation stops with the request.
#pragma once

#include <cstdint>

enum { IGIPAUSE_ZONE = 2, IGIPAUSE_KEY = 88 };

// Pauses (1) or resumes (0) for player (a network node; outside the
// session an empty name). Returns 1 while the request is pending.
int Igievnt_SetPause(int paused, int player);
// The network's pause handler (Net_SetPauseHandler's signature).
void Igievnt_NetPauseHandler(int state, int node);
// Main thread, once per pass of a network game: applies a pending request
// when the interface is idle.
void Igievnt_ApplyNetPause(void);
// 1 while a request waits for the interface.
int Igievnt_PausePending(void);
// Zone 2: F12 with no drag and no button lock ends the pause (in a network
// game by asking every machine); every other input is swallowed.
void Igievnt_PauseHandler(uint32_t zd, uint32_t reason);
// Forgets any request and the pause screen; the calling thread becomes the
// main thread (the interface's start and close).
void Igievnt_PauseReset(void);
