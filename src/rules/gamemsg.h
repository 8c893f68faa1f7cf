// Game messages: what the local player is told about an event.
//
// Each message is data from "gamemsg.txt": a line of text, sounds for the
// message voice or as an effect, a minimap blip, and a time rule that keeps
// frequent events from repeating. Code names a message by its symbol and
// triggers it. The installation's file ("local" directory) is required; the
// scenario's own file is optional and its messages go ahead of the standard
// ones, so it replaces a message by defining the same symbol.
//
// Composed texts never go through printf: a data text with a conversion that
// its caller didn't pass would read memory it was never given. The triggers
// take typed arguments and fill only the conversions that match them.
#pragma once

#include <cstdint>

#include "platform/sound.h"

struct BLIP_TYPE;
struct TF_PARSER;

enum GAMEMSG_TTYPE {
    GMTT_NORMAL = 0,
    GMTT_TIMELIMITED = 1, // passes at most once per typetime
    GMTT_TIMEQUIET = 2,   // passes only after typetime without any trigger
    GMTT_MAXIMUM = 3,
};

enum {
    GAMEMSG_STRLEN = 256,
    GAMEMSG_SYMLEN = 64,
};

struct GAME_MSG_SFX {
    SOUND_EFFECT sound;
    GAME_MSG_SFX* next;
};

struct GAME_MSG {
    char msgsym[GAMEMSG_SYMLEN];
    int timetype;
    GAME_MSG_SFX* sfxlist; // file order
    uint8_t queuesnd;      // every sound queued on the message voice
    uint8_t issfx;         // the first sound plays as an ordinary effect
    uint8_t forcestring;   // the text shows even while a sound plays
    uint8_t badformat;     // its text's stray conversions were logged
    BLIP_TYPE* bliptype;
    char text[GAMEMSG_STRLEN];
    uint32_t typetime;     // milliseconds of the time rule
    int64_t lasttime;      // game milliseconds; far in the past until the first trigger
    GAME_MSG* next;
};

// The standard messages, in look-up order.
enum GAMEMSG_STD {
    MSG_SFXWATERLAUNCH, MSG_FACCOMPLETE, MSG_NEWFACILAVAIL, MSG_NEWUNITSAVAIL, MSG_UPGRADEAVAIL,
    MSG_UNITCOMPLETE, MSG_VEHICLECOMP, MSG_SFXPACKUP, MSG_SFXUNPACK, MSG_SFXPOWERDOWN,
    MSG_SFXPOWERUP, MSG_BUILDDESTROYED, MSG_SFXTEMPGATE, MSG_SFXDECONSTRUCT, MSG_ENDCONDCOMPSTATE,
    MSG_ENDCONDNOWSTATE, MSG_MISSIONSUCCESS, MSG_MISSIONFAILED, MSG_OBJECTFAIL, MSG_MESSAGE,
    MSG_NEEDUNIT, MSG_UNITSELECT, MSG_NOUNITSELECT, MSG_SCRNSHOT, MSG_PRIMSEL, MSG_CANTBUILDTHERE,
    MSG_SFXBUTTONCLICK, MSG_NOCREDIT, MSG_UNITBUILD, MSG_NOPATHAVAIL, MSG_IGILOADINGGAME,
    MSG_SAVEINVALID, MSG_SAVEOUTOFDATE, MSG_IGISAVINGGAME, MSG_SAVEDONE, MSG_INTERFACETERM,
    MSG_GROUPMADE, MSG_SQUAD1SELECTED, MSG_SQUAD2SELECTED, MSG_SQUAD3SELECTED, MSG_SQUAD4SELECTED,
    MSG_SQUAD5SELECTED, MSG_SQUAD6SELECTED, MSG_SQUAD7SELECTED, MSG_SQUAD8SELECTED,
    MSG_SQUAD9SELECTED, MSG_SQUAD0SELECTED, MSG_PAUSED, MSG_UNPAUSED, MSG_UNITRECEIVED,
    MSG_UNITTRANSFER, MSG_ORDGIVENCREDITS, MSG_GAVECREDITS, MSG_ALLYREQUEST, MSG_ALLIANCECHANGED,
    MSG_NEWENEMY, MSG_SFXPATH, MSG_PHASEOFFLINE, MSG_PHASEONLINE, MSG_POWERCRITICAL, MSG_LOWPOWER,
    MSG_SFXCREDITADD, MSG_ALLYDEFEATED, MSG_SFXMORPH, MSG_FACBUILD, MSG_SFXSTARTBUILD,
    MSG_PLANSBACKHQ, MSG_SPYSTOLEPLANS, MSG_SFXKLAXON, MSG_UACTSPYINFIL, MSG_UACTSPYCOMP,
    MSG_BUILDINGSABOTAGED, MSG_UNITSABOTAGED, MSG_SFXVETACHIEVED, MSG_UNITHEALED, MSG_UNITREPAIRED,
    MSG_UNITCAPTURED, MSG_PHASEVEHICLEAVAIL, MSG_SFXPHASE, MSG_PHASESTATEALT, MSG_UNITDESTROYED,
    MSG_TEMPORALINSTABILITY, MSG_SFXTEMPRIFT, MSG_ALLYATTACK, MSG_UNDERATTACK, MSG_ALLYUNDERATTACK,
    MSG_ATTACKED, MSG_SEISMICDETECT, MSG_SFXRUMBLE,
    MSG_STDCOUNT
};

// One argument of a composed text.
struct GAMEMSG_ARG {
    int isstring;
    int value;
    const char* text; // null prints nothing
};
inline GAMEMSG_ARG GameMsg_Int(int v) { return {0, v, nullptr}; }
inline GAMEMSG_ARG GameMsg_Str(const char* s) { return {1, 0, s}; }

// --- the files ---

// Reads the local "gamemsg.txt" (fatal class 0 "Game message file [%s]" when
// missing), then the scenario's (when present), and reserves the message
// voice. A broken file is fatal class 2 "Error parsing [%s]" after its cause
// and "Error in file [%s] at line [%d]" were logged.
void GameMsg_Init(void);
// Releases the voice with its queue, frees every message and its sounds.
void GameMsg_Close(void);
// Reads message blocks until the end of the text (or a "}" at top level),
// each new message ahead of all before it. 0 when a block is broken (logged
// with file and line); the fatal "Expected String", "Expected Integer" and
// "Unknown CIRCLE function [%s] in CreateMsg(%s)" stop at once.
int GameMsg_ParseFile(TF_PARSER* parser);

// The first message of the symbol (exact case), or null with the warning
// "Missing game message [%s]".
GAME_MSG* GameMsg_SymToData(const char* sym);
// Looks up every standard message (each miss warned); reset clears them.
void GameMsg_LookupStdIds(void);
void GameMsg_ResetStdIds(void);
// A standard message, null when neither file defined it. Asserts the id.
GAME_MSG* GameMsg_Std(int id);

// --- triggering ---

// Each takes a null message quietly and returns 1 when anything was shown,
// played or placed. The XY forms place the message's blip at map tile (x, y)
// when both are above 0. The Var forms compose the message's text with args
// (GameMsg_Format); a message with empty text does nothing.
int GameMsg_TriggerStd(GAME_MSG* msg);
int GameMsg_TriggerStdXY(GAME_MSG* msg, int x, int y);
int GameMsg_TriggerVar(GAME_MSG* msg, const GAMEMSG_ARG* args, int nargs);
int GameMsg_TriggerVarXY(GAME_MSG* msg, int x, int y, const GAMEMSG_ARG* args, int nargs);
// Once a frame: starts the next queued sound when the message voice is idle.
void GameMsg_Update(void);

// Composes fmt into out (GAMEMSG_STRLEN bytes, always terminated, cut to
// fit): %d %i %u %x %X %c take the next integer argument, %s the next string,
// with flags, width and precision; %% is a percent sign. The n-th conversion
// takes the n-th argument; one of any other form, or whose argument is
// missing or of the other kind, is copied as written. Returns the number of
// conversions so copied.
int GameMsg_Format(char* out, const char* fmt, const GAMEMSG_ARG* args, int nargs);
