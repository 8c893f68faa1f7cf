// Frame timing, the playback flag and the message pump: what the game loop
// (src/game) decides each frame with, kept below every subsystem so that the
// modules that need a piece of it (the order recorder, the widget desktop)
// don't reach up into the game layer.
#pragma once

#include <cstdint>

struct FRAME_DECISION {
    int runupdate;  // run one update this frame
    int skipdraw;   // fast playback: draw only when the update count is a multiple of 100
};

// The update interval in ms for a rate (clamped to 1..60).
int Game_UpdateInterval(int updatespersecond);
// The frame's decision from the game clock and the state: an update is due
// one interval after lastupdate, the time the previous one was due.
FRAME_DECISION Game_DecideFrame(uint32_t now, uint32_t lastupdate, int updatespersecond,
                                int paused, int playback, uint32_t updatecount, int orderskip);
// Updates keep a fixed schedule: each is due one interval after the previous
// one was due, so a frame that runs late doesn't push back every later
// update. Late by more than this many intervals (a stall, a pause, fast
// playback), the schedule starts afresh instead of racing to catch up.
enum { GAME_STALLINTERVALS = 4 };
// When the update that runs at now counts as due, given when the previous
// one was due: lastdue + the interval, or now after a stall.
uint32_t Game_NextDue(uint32_t lastdue, uint32_t now, int updatespersecond);
// One step of the rate average: (26 x elapsed + 230 x avg) / 256.
int Game_SmoothRate(int avg, int elapsed);

// The network game's update interval, re-tuned at the start of every round.
struct NETINTERVAL {
    int base;      // 1000 / updates per second
    int interval;  // the current interval, base .. 2 x base
    int step;      // the adjustment, 10 ms shrinking by 1 a round down to 1
};
void Game_NetIntervalStart(NETINTERVAL* ni, int updatespersecond);
// late: the round's orders arrived only after all its updates had run.
void Game_NetIntervalRetune(NETINTERVAL* ni, int late);

// Order playback running (set by the order module).
void Game_SetPlayback(int on);
int Game_Playback(void);
// Pumps window messages (waiting while the window is inactive, except at the
// multiplayer menus and in a network game); 0 once quit was seen. After the
// platform's messages it calls the message hook.
int Game_PumpMessages(void);
// Installs the function that Game_PumpMessages calls on the main thread (the
// modem's line messages arrive through it); null removes it.
void Game_SetMessageHook(void (*hook)(void));
