// The frame and the update.
//
// A frame runs every pass of the in-game loop: poll input, decide from the
// game clock whether an update is due, run at most one update, handle its
// orders, draw. An update is due when 1000 / updates-per-second ms of the
// game clock have passed since the last one; none runs while paused.
// During order playback the first SetOrderSkip updates run without waiting
// and only every 100th of them is drawn.
#pragma once

#include <cstdint>

struct BITMAP;

struct FRAME_DECISION {
    int runupdate;  // run one update this frame
    int skipdraw;   // fast playback: draw only when the update count is a multiple of 100
};

// The update interval in ms for a rate (clamped to 1..60).
int Game_UpdateInterval(int updatespersecond);
// The frame's decision from the game clock and the state.
FRAME_DECISION Game_DecideFrame(uint32_t now, uint32_t lastupdate, int updatespersecond,
                                int paused, int playback, uint32_t updatecount, int orderskip);
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

// Marks now as the time of the last update (the game's start).
void Game_StartTimer(void);
// Order playback running (set by the order module).
void Game_SetPlayback(int on);
int Game_Playback(void);
// The smoothed frame and update times in ms (rate display).
int Game_FrameAverage(void);
int Game_UpdateAverage(void);

// One frame. When it is drawn: the flashing colours step, the draw hook
// draws into the back buffer, and the flip shows it with the cursor.
void Game_Tick(void);
// The function that draws the game screen into the back buffer (null: none);
// it isn't called while there is no back buffer.
void Game_SetDrawHook(void (*fn)(BITMAP* backbuffer));
// Called when a game's in-game loop ends, before its systems close (the
// demo's world lets go of what it placed).
void Game_SetEndHook(void (*fn)(void));
// Runs the end hook, if any.
void Game_RunEndHook(void);
// One update: the subsystems' steps in their fixed order; every 1024 updates
// the CD track is polled (music loops).
void Game_Update(void);
// Pumps window messages (waiting while the window is inactive); 0 once quit
// was seen.
int Game_PumpMessages(void);
// The in-game loop: frames and message pumps until the state changes or quit.
void Game_RunInGame(void);
