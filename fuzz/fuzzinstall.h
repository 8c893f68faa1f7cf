// A scenario installation in the fuzz target's own directory, shared by the
// targets that read whole scenarios: the demo's rule files over its sprites,
// palette and tile set (drawn as mkdata draws them), condition files, and a
// valid scenario "FUZZ" in the single-player category with a 32 x 32 map.
#pragma once

// Writes it and points the game's directories at it; once per process.
void QvFuzz_WriteInstallation(void);
// The rule types outlive the common systems (the next load frees them): an
// input leaves none behind. Called with the common systems up.
void QvFuzz_FreeRuleTypes(void);
