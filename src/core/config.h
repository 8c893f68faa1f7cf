// The configuration file "quorvex.cfg".
//
// Four sections, each a block of keyword lines in braces:
//
//   EngineSetup { SetDataDir "data" SetEntryPoint GAME DisableAI 1 ... }
//   LoggingPreferences { EnableNetErrors 1 ... }
//   UserPreferences { SetDefaultMove 1 ... }
//   MultiPlayerConfiguration { SetPlayerName "Name" SerialSettings { SetPort "COM1" SetBaud "9600" } }
//
// A line is a keyword and one value token (a number, a bare word or a quoted
// text). Section names and keywords are matched exactly, with case. Every key
// has a default, so a missing line keeps it. The README lists every key.
#pragma once

#include "core/tfparse.h"

enum CFG_ENTRY { CFG_ENTRY_SHELL = 0, CFG_ENTRY_GAME, CFG_ENTRY_MAPEDIT, CFG_ENTRY_MULTI };

enum CFG_DEFFILE {
    CFG_UNITS, CFG_BUILD, CFG_WEAPON, CFG_OVERLAY, CFG_ANIMATE, CFG_DAMAGE,
    CFG_TRNEFF, CFG_OVLEFF, CFG_GENERAL, CFG_GAMEMSG, CFG_NDEFFILES
};

enum { CFG_PATH = 260 };

struct QCONFIG {
    // EngineSetup
    char datadir[CFG_PATH];        // SetDataDir: base of art, fonts, deftxt, aip, local
    char datadir2[CFG_PATH];       // SetSecondDataDir: searched after the first for sprites
    char scenariodir[CFG_PATH];    // SetScenarioDir: base of the scenario categories
    char savedir[CFG_PATH];        // SetSaveDir: saved games ("save")
    char deffiles[CFG_NDEFFILES][TF_FIELD]; // SetUnitsFile .. SetGameMsgFile
    int entrypoint;                // SetEntryPoint SHELL | GAME | MAPEDIT | MULTI
    char startscenario[TF_FIELD];  // SetStartScenario
    int startcategory;             // SetStartCategory FIXED | SINGLE | MULTI | CAMPAIGN (0..3)
    int startteam;                 // SetStartTeam 0..7
    int windowed;                  // SetWindowed
    int debugflags;                // SetDebugFlags (1 debug, 4 no fog, 8 rates, 16 unit values, 64 path picture)
    int monodisplay;               // SetMonoDisplay
    int ratedisplay;               // SetRateDisplay
    int disableai;                 // DisableAI
    int disableendconditions;      // DisableEndConditions
    int enablefsmmessages;         // EnableFSMMessages
    char orderrecord[CFG_PATH];    // SetOrderRecord: record the orders into this file
    char orderplayback[CFG_PATH];  // SetOrderPlayback: play the orders back from this file
    int orderskip;                 // SetOrderSkip
    int netloss;                   // SetIntroducedNetLoss (percent)
    int loadsavedgame;             // LoadSavedGame
    char loadsavedgamename[CFG_PATH]; // LoadSavedGameName
    // LoggingPreferences
    char logfile[CFG_PATH];        // SetLogFile ("quorvex.log")
    unsigned logmask;              // EnableErrors .. EnableNetStatistics
    unsigned logoptions;           // ShowLogMarker .. ShowLogTime
    // UserPreferences
    int defaultmove;               // SetDefaultMove (1)
    int defaultfire;               // SetDefaultFire (1)
    int infodelay;                 // SetInfoDelay (800 ms)
    // MultiPlayerConfiguration (the player name lives in g_CfgPlayerName)
    char zephnetserver[TF_FIELD];  // SetZephnetServer
    char modem[TF_FIELD];          // SetModem
    char modemports[CFG_PATH];     // SetModemPorts: the modems' tty paths, separated by ";"
    char serialports[CFG_PATH];    // SetSerialPorts: serial lines offered first, separated by ";"
    char serialport[TF_FIELD];     // SerialSettings { SetPort }
    char serialbaud[TF_FIELD];     // SerialSettings { SetBaud }
};

extern QCONFIG g_Config;

// The configuration's file name in the start directory.
#define CFG_FILENAME "quorvex.cfg"

// Fills every key with its default.
void Cfg_SetDefaults(QCONFIG* cfg);
// Reads a configuration file over what cfg holds (the caller sets the defaults
// first, so a file may leave keys out), and fills g_CfgPlayerName (emptied
// first). Only the record is filled: the caller applies the log settings.
// A file that can't be opened is fatal class 0 "Configuration File : %s"; an
// unknown section "Unknown Section [%s] in %s", an unknown key "Unknown string
// [%s]", a value longer than its field "Value of %s longer than %d
// characters" and a malformed line are fatal class 2 with the file and line.
void Cfg_Load(const char* path, QCONFIG* cfg);
// Reads configuration text (tests, fuzzing); same rules as Cfg_Load.
void Cfg_LoadText(const char* name, const char* text, size_t length, QCONFIG* cfg);
// The entry-point keyword of a CFG_ENTRY value ("SHELL" ..), "" outside 0..3.
const char* Cfg_EntryName(int entry);
