// The game's rule files, loaded in their fixed order.
//
// Each file is looked for in the scenario's own directory first and then in
// the "deftxt" directory; when neither loads, the game stops with
// "Processing failed on [%s]" naming the first file that failed with an
// error (a broken scenario file rather than the default one tried after it).
// The loaders of the files whose modules don't exist yet join the table as
// those modules arrive.
#pragma once

// One rule file: its configuration slot (CFG_DEFFILE) and its loader, which
// returns 1 when the file loaded and 0 when it couldn't be read or failed
// (having logged why).
struct RULEFILE {
    int deffile;
    int (*load)(const char* path);
    // Empties what a failed load left behind, before the next place is tried.
    void (*reset)(void);
};

// Called with each file's name before it loads (a loading screen); may be null.
typedef void (*RULEFILE_PROGRESS)(const char* filename);

// Loads every rule file in order; fatal class 4 "Processing failed on [%s]"
// when a file loads from neither directory.
void Game_LoadTextFiles(RULEFILE_PROGRESS progress);
// Loads one rule file from the scenario directory, else from deftxt; 1 on
// success, else 0 with *failedpath naming the file to report.
int Game_LoadRuleFile(const RULEFILE* file, char* failedpath, unsigned pathsize);
