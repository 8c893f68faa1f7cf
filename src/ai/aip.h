// AI plans: scripts that tune a computer player.
//
// A plan is a script of the program's script language; loading runs it and
// keeps what the computer player reads from it. The strategic fields come
// with the computer players; until then a plan is a script that loaded,
// known by its file name.
#pragma once

struct AIP_struct {
    char filename[64];    // without directories (for the debug console)
};

// Runs the plan script at path (the home directory added to its includes);
// a new plan, or null when the script fails to load (any non-zero result of
// IParse_LoadScript: 10 missing file, 1 error in the text).
AIP_struct* AIP_Load(const char* path);
// Frees a plan (asserts it).
void AIP_Delete(AIP_struct* plan);
