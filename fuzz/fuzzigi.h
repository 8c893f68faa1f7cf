// Fuzz support: what the interface's targets share.
#pragma once

// Opens an empty square map of the given side with fresh effects, grid, fog,
// teams, units, buildings, identities, orders, input and events, the random
// stream at its start and team 0 local: the world every interface target
// builds its own units and buildings on.
void QvFuzz_OpenInterfaceWorld(int side);

// Closes what an interface target's world and inputs opened: the text panel,
// the pause, the interface's zones, lists, panels and edit trail, the vortex list,
// events, input, orders, buildings, units, teams, fog, grid, effects and the
// map; the local team back to 0. Every target closes the same things, so an
// input that opens something new is never lost in one target only.
void QvFuzz_CloseInterfaceWorld(void);

// Every pending order goes through the codec and back (abort when one
// doesn't), then the queue is emptied.
void QvFuzz_CheckPendingOrders(void);
