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

#include "core/frame.h"

struct BITMAP;

// Marks now as the time of the last update (the game's start).
void Game_StartTimer(void);
// The smoothed frame and update times in ms (rate display).
int Game_FrameAverage(void);
int Game_UpdateAverage(void);

// One frame. In a network game, while between rounds, one QuorNet_Step
// (its completed round's orders executed at once, before the update
// decision), the drop checks while it waits, and no update until the round
// is complete; "Console is now in single player mode" when the game leaves
// the network, "Change in multiplayer game participants" when the players
// changed. Updates then run at the re-tuned interval; after UnitCycles of
// them the next round starts. A single-player game runs no update while the
// text panel is shown. When it is drawn: the flashing colours step, then the
// game screen (IgiDisp_Update) draws and flips while the interface runs, else
// the draw hook draws and the flip shows it with the cursor.
void Game_Tick(void);
// The frame loop's round flags set for a network game's start, with the
// updates per round (0 counts as 1) and the interval from the current rate.
void Game_StartNetRounds(uint32_t unitcycles);
// The network game's current update interval in ms.
int Game_NetInterval(void);
// Called after each update, before its orders run (null: none): the state
// it sees is the same on every machine of a network game and in a playback.
void Game_SetUpdateHook(void (*fn)(void));
// What draws a frame while the interface doesn't run (null: nothing); it
// isn't called while there is no back buffer. The interface draws its own.
void Game_SetDrawHook(void (*fn)(BITMAP* backbuffer));
// One update: the subsystems' steps in their fixed order, then
// Game_FinishUpdate; then, in a network game (also once it went on alone)
// or a playback, with UnitCycles set, every 4 x UnitCycles updates
// QCHECKSYNC of a synchronised draw Rand_Next(666) and of
// UNITS_totalhitpoints.
void Game_Update(void);
// One step of the update: a name for measurements and the step itself.
struct GAME_STEP {
    const char* name;
    void (*fn)(void);
};
// The update's steps in the order Game_Update runs them; *count gets their
// number.
const GAME_STEP* Game_UpdateSteps(int* count);
// The end of an update after its steps: unless DisableEndConditions, the end
// conditions (a winner ends the game through Game_EndWithWinner); then the
// counter advances; every 1024 updates the CD track is polled (music loops).
void Game_FinishUpdate(void);
// How the last game ended: the winner (-1: none yet) and whether that was
// the local team. Kept for the front end.
struct GAME_RESULT {
    int winner;
    int won;
};
GAME_RESULT Game_GetResult(void);
void Game_ClearResult(void);
// Logs "Team %d won (%s)" ("That's you" / "ie. You lost"), shows the
// interface directory's "win.pcx" or "lose.pcx" until a key, a click or the
// window's close (the result is kept before it shows), and sets the engine
// state to the front end (0).
void Game_EndWithWinner(int team);
// Shows the interface directory's picture once (its palette set); a
// missing one is a warning and a black screen.
void Game_ShowPicture(const char* name);
// The in-game loop: frames and message pumps until the state changes or quit.
void Game_RunInGame(void);
