#include "shell/shell.h"

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/debug.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "game/gameloop.h"
#include "rules/scenario.h"
#include "shell/shellcamp.h"
#include "shell/shellres.h"
#include "shell/shellvideo.h"
#include "units/team.h"

SHELLINFO g_ShellInfo;

static int s_started;
static char s_text[256];
// The page whose button started the game, where a refused start comes back,
// and the state that page was reached from.
static int s_startedFrom, s_startedFromPrevious;
// The state before the previous one, and (when set) the previous state the
// next page is given instead of the one that just ran: a refused step is
// undone whole, so the page it returns to leads back where it led before
// (else its Back would take the refused step again, for ever).
static int s_beforePrevious, s_undoneTo;
// The file whose absence refused the last start from the custom missions:
// the page, built again, names it in a box (else the click seemed to do
// nothing). The box while it shows, and its Ok seen (the box goes at the
// next frame: the click is still on its way out of its button).
static char s_missing[SHELL_TEXT_MAX + 1];
static SHELLCTL* s_box;
static int s_boxDone;

static const uint32_t DIAL = SHELL_FOURCC('D', 'I', 'A', 'L');
static const uint32_t TEXT = SHELL_FOURCC('T', 'E', 'X', 'T');
static const uint32_t LBOX = SHELL_FOURCC('L', 'B', 'O', 'X');
static const uint32_t STAT = SHELL_FOURCC('S', 'T', 'A', 'T');
static const uint32_t RECT = SHELL_FOURCC('R', 'E', 'C', 'T');
// The box's Ok: no state's number.
enum { BOX_OK = 1000 };

static const char* const FONTS[14] = {"font12",   "font14",   "font14n",  "font14o",  "font14s",
                                      "font16",   "font14r",  "font16r",  "font12bn", "font12bn",
                                      "font12bn", "font12bo", "font12bs", "font12bn"};
static const char* const NAV_IMAGES[6] = {"cube_up", "cube_dn", "cube_lft", "cube_rgt", "m_down", "m_state"};
static uint8_t* s_nav[6];

// Styles of labels: filling their button, centred both ways; a page title,
// centred on its x.
enum { LABEL_STYLE = SHELL_NOHIT | SHELL_FOLLOW | SHELL_HCENTRE | SHELL_VCENTRE, TITLE_STYLE = SHELL_HCENTRE };

const char* Shell_Text(const char* key)
{
    MLString_Get(key, s_text, sizeof s_text, 1);
    return s_text;
}

void Shell_Init(void)
{
    char path[UTILS_PATH];
    Utils_MakePath(path, g_DataDir, "shell", nullptr, "shell", ".rli");
    Shell_MapResourceLibrary(path);
    if (!Shell_ResourceLibraryMapped())
        TLOG(TLOG_ERROR, "Shell library [%s] could not be mapped", Fs_Resolve(path).c_str());
    Shell_InitControls();
    Shell_RegisterAnim();
    for (int i = 0; i < 14; i++) Shell_LoadFont(i, FONTS[i]);
    Shell_RegisterControlClass(DIAL, Shell_DialogHandler, 0);
    Shell_RegisterControlClass(SHELL_FOURCC('P', 'O', 'P', 'P'), Shell_PopupHandler, 1);
    Shell_RegisterControlClass(STAT, Shell_NumberHandler, 1);
    for (int i = 0; i < 6; i++) s_nav[i] = (uint8_t*)Shell_LoadResource(NAV_IMAGES[i], SHELLRES_FLT, nullptr);
}

void Shell_Close(void)
{
    for (int i = 0; i < 6; i++) Debug_Free(&s_nav[i]);
    Shell_FreeDialogBuffer();
    Shell_CloseControls();
    Shell_UnmapResourceLibrary();
}

void Shell_Reset(void)
{
    s_started = s_undoneTo = 0;
    s_missing[0] = '\0';
}

// A start refused from the custom missions for a file that isn't there.
static void NoteMissing(int from)
{
    const char* name = Scenario_MissingFile();
    if (from == SS_CUSTOM && *name && g_ScenarioName[0]) snprintf(s_missing, sizeof s_missing, "%s", name);
}

void Shell_StartRefused(void)
{
    NoteMissing(s_startedFrom);
    if (s_startedFrom) {
        g_ShellInfo.next = s_startedFrom;
        s_undoneTo = s_startedFromPrevious;
    }
    s_startedFrom = 0;
}

void Shell_StoreDebriefStats(void)
{
    SHELLINFO* s = &g_ShellInfo;
    s->lastMission = s->mission;
    s->lastSide = s->side;
    for (int t = 0; t < SHELL_TEAMS; t++) {
        const TEAM_DATA* d = &teamdata[t];
        SHELLDEBRIEF* r = &s->debrief[t];
        r->type = d->type;
        r->side = d->side;
        r->water = d->stats.collected[0];
        r->corite = d->stats.collected[1];
        r->madeUnits = d->stats.made_units;
        r->madeBuildings = d->stats.made_buildings;
        r->lostUnits = d->stats.losses_units;
        r->lostBuildings = d->stats.losses_buildings;
        r->killedUnits = d->stats.kills_units;
        r->killedBuildings = d->stats.kills_buildings;
    }
}

void Shell_RecordMissionResult(int won)
{
    SHELLINFO* s = &g_ShellInfo;
    if (won) {
        s->result = 1;
        if (s->mode == SHELL_CAMPAIGN) {
            int32_t bit = (int32_t)(1u << ((s->mission - 204) & 31));
            if (s->side == SHELL_SIDE_FIRST) s->wonFirst |= bit;
            else s->wonSecond |= bit;
            if (s->mission == s->highestMission && s->highestMission < 216) s->highestMission++;
        }
    } else {
        s->result = 0;
    }
    s->selectedMission = s->highestMission < 215 ? s->highestMission : 215;
}

// --- page building ---

static SHELLCTL* AddButton(SHELLCTL* parent, int x, int y, int w, int h, int id, const char* label, int font)
{
    SHELLCTL* b = Shell_CreateControl(SHELL_FOURCC('B', 'T', 'T', 'N'), parent, 0, x, y, w, h, id, 0, 0, 0);
    if (b && label)
        Shell_CreateControl(TEXT, b, LABEL_STYLE, 0, 0, w, h, (intptr_t)Shell_Text(label), font, font + 1, font + 2);
    return b;
}

SHELLCTL* Shell_AddTextButton(SHELLCTL* parent, int x, int y, int width, int height, int id, const char* label)
{
    return AddButton(parent, x, y, width, height, id, label, 2);
}

SHELLCTL* Shell_AddMenuButton(SHELLCTL* parent, int x, int y, int width, int height, int id, const char* label)
{
    return AddButton(parent, x, y, width, height, id, label, 10);
}

static SHELLCTL* AddText(SHELLCTL* parent, uint32_t style, int x, int y, int w, int h, const char* key, int font)
{
    return Shell_CreateControl(TEXT, parent, style, x, y, w, h, (intptr_t)Shell_Text(key), font, font, font);
}

static void AddTitle(SHELLCTL* page, const char* key, int font, int y)
{
    AddText(page, TITLE_STYLE, 320, y, 0, 30, key, font);
}

intptr_t Shell_PassThroughHandler(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3,
                                  intptr_t p4)
{
    return Shell_DialogHandler(c, message, p1, p2, p3, p4);
}

#define PAGE_PASS() Shell_DialogHandler(c, message, p1, p2, p3, p4)

intptr_t Shell_BuildMainMenu(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    if ((message & 0xFFFF) != SM_CREATE) return PAGE_PASS();
    AddTitle(c, "SS_MAIN_MENU", 13, 0);
    static const struct {
        const char* key;
        int y, id;
    } BUTTONS[] = {{"SS_SINGLE_PLAYER", 90, SS_SINGLE},  {"SS_MULTI_PLAYER", 135, SS_MULTI},
                   {"SS_INSTANT_ACTION", 188, SS_INSTANT}, {"SS_CONSTRUCTION_KIT", 238, SS_EDITOR},
                   {"SS_REPLAY_INTRO", 290, SS_INTRO},   {"SS_CREDITS", 340, SS_CREDITS},
                   {"SS_QUIT", 403, SS_QUIT}};
    for (const auto& b : BUTTONS) Shell_AddMenuButton(c, 240, b.y, 160, 30, b.id, b.key);
    return 0;
}

intptr_t Shell_BuildSinglePlayer(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3,
                                 intptr_t p4)
{
    if ((message & 0xFFFF) != SM_CREATE) return PAGE_PASS();
    AddTitle(c, "SS_SINGLE_PLAYER_OPTIONS", 13, 0);
    Shell_AddMenuButton(c, 240, 135, 160, 30, 15, "SS_START_NEW_GAME");
    Shell_AddMenuButton(c, 240, 188, 160, 30, SS_LOADGAME, "SS_LOAD_SAVED_GAME");
    Shell_AddMenuButton(c, 240, 238, 160, 30, SS_CUSTOM, "SS_PLAY_CUSTOM_MISSION");
    Shell_AddMenuButton(c, 0, 412, 160, 30, SS_MAIN, "SS_PREVIOUS_MENU");
    return 0;
}

// A folder of the custom missions' list. One whose name is longer than a
// scenario name may be would load a cut name's folder: left out, and said.
static void AddMissionFolder(const char* name, void* list, int flag)
{
    if (!(flag & SHELLRES_DIR_FLAG) || !strcmp(name, ".") || !strcmp(name, "..")) return;
    if (strlen(name) >= sizeof g_ScenarioName) {
        TLOG(TLOG_WARNING, "Mission folder [%s] in [%s] has a name longer than %d characters: not listed", name,
             g_ScenarioCategoryDir, (int)sizeof g_ScenarioName - 1);
        return;
    }
    Shell_SendMessage((SHELLCTL*)list, SM_ADDSORTED, (intptr_t)name);
}

// The box's frame passes its Ok's click on to the page.
static SHELL_HANDLER s_rectHandler;
static intptr_t BoxHandler(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    if ((message & 0xFFFF) == SM_CLICKED) return Shell_SendMessage(c->parent, SM_CLICKED, p1);
    return s_rectHandler(c, message, p1, p2, p3, p4);
}

// On the page's empty right-hand side, clear of its lists and buttons.
static void AddMissingBox(SHELLCTL* page, const char* name)
{
    enum { X = 420, Y = 186, W = 204, H = 124 };
    s_box = Shell_CreateControl(RECT, page, 0, X, Y, W, H, 0, 0, 0, 0);
    if (!s_box) return;
    s_rectHandler = s_box->handler;
    s_box->handler = BoxHandler;
    AddText(s_box, TITLE_STYLE, W / 2, 8, 0, 20, "SS_MISSION_NOT_STARTED", 13);
    AddText(s_box, TITLE_STYLE, W / 2, 36, 0, 20, "SS_FILE_NOT_FOUND", 8);
    Shell_CreateControl(TEXT, s_box, TITLE_STYLE, W / 2, 58, 0, 20, (intptr_t)name, 8, 8, 8);
    Shell_AddTextButton(s_box, (W - 80) / 2, H - 34, 80, 26, BOX_OK, "SS_OK");
}

intptr_t Shell_BuildCustomMission(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3,
                                  intptr_t p4)
{
    switch (message & 0xFFFF) {
    case SM_CLICKED:
        if (p1 != BOX_OK) break;
        s_boxDone = 1;
        return 0;
    case SM_UPDATE:
        if (s_boxDone && s_box) {
            Shell_SendMessage(s_box, SM_DESTROY);
            s_box = nullptr;
        }
        s_boxDone = 0;
        break;
    case SM_DESTROY: s_box = nullptr; break;
    case SM_CREATE: {
        s_box = nullptr;
        s_boxDone = 0;
        AddTitle(c, "SS_CUSTOM_MISSION_SELECTION", 13, 0);
        AddText(c, 0, 62, 80, 0, 20, "SS_CUSTOM_MISSIONS", 13);
        AddText(c, 0, 62, 230, 0, 20, "SS_SAVED_CUSTOM_MISSIONS", 13);
        AddText(c, TITLE_STYLE, 470, 84, 0, 20, "SS_SIDE", 13);
        AddText(c, TITLE_STYLE, 555, 84, 0, 20, "SS_MAP_SIZE", 13);
        AddText(c, TITLE_STYLE, 515, 141, 0, 20, "SS_NUMBER_OF_ENEMIES", 13);
        Shell_AddMenuButton(c, 0, 412, 160, 30, SS_SINGLE, "SS_PREVIOUS_MENU");
        Shell_AddMenuButton(c, 240, 403, 160, 30, SS_START, "SS_LOAD_MISSION");
        Shell_CreateControl(LBOX, c, 0, 60, 253, 346, 132, 8, 0, 0, 0);
        SHELLCTL* folders = Shell_CreateControl(LBOX, c, 0, 60, 102, 346, 118, 8, 0, 0, 0);
        Game_SetScenarioCategory(SC_SINGLE);
        std::string pattern = std::string(g_ScenarioCategoryDir) + "\\*.*";
        Shell_ForEachFile(AddMissionFolder, pattern.c_str(), folders);
        if (s_missing[0]) AddMissingBox(c, s_missing);
        s_missing[0] = '\0';
        return 0;
    }
    case SM_SELCHANGED:
        if (p1) {
            char name[SHELL_TEXT_MAX + 1];
            Shell_SendMessage((SHELLCTL*)p1, SM_GETTEXT, (intptr_t)name, sizeof name);
            Game_SetScenarioName(name);
        }
        return 0;
    }
    return PAGE_PASS();
}

static const char* SideKey(int side)
{
    static const char* const SIDES[4] = {"SS_ASHWARD", "SS_SOLARCH", "SS_VELKIN", "SS_CIVILIAN"};
    return side >= 0 && side < 4 ? Shell_Text(SIDES[side]) : "--";
}

void Shell_LabelsOnOneLine(SHELLCTL* a, SHELLCTL* b)
{
    if (!a || !b || !a->child || !b->child) return;
    const int top = std::max(a->y, b->y), bottom = std::min(a->y + a->height, b->y + b->height);
    if (bottom <= top) return;
    for (SHELLCTL* label : {a->child, b->child}) {
        label->y = top;
        label->height = bottom - top;
    }
}

intptr_t Shell_BuildCustomDebrief(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3,
                                  intptr_t p4)
{
    if ((message & 0xFFFF) != SM_CREATE) return PAGE_PASS();
    const SHELLINFO* s = &g_ShellInfo;
    // Who won, over the table: the page reads as a result, not a list.
    static char title[SHELL_TEXT_MAX + 1];
    const GAME_RESULT end = Game_GetResult();
    std::string said = Shell_Text("SS_NO_WINNER");
    if (end.winner >= 0 && end.winner < SHELL_TEAMS) {
        // One look-up at a time: each overwrites the text the last one gave.
        said = Shell_Text(end.won ? "SS_VICTORY" : "SS_DEFEAT");
        said += ": ";
        said += SideKey(s->debrief[end.winner].side);
        said += " ";
        said += Shell_Text("SS_WON");
    }
    snprintf(title, sizeof title, "%s", said.c_str());
    Shell_CreateControl(TEXT, c, TITLE_STYLE, 320, 0, 0, 30, (intptr_t)title, 13, 13, 13);
    SHELLCTL* next = nullptr;
    if (s->mode == SHELL_MULTIPLAYER) next = Shell_AddMenuButton(c, 240, 403, 160, 30, SS_MULTI, "SS_CONTINUE");
    if (s->mode == SHELL_CUSTOM) next = Shell_AddMenuButton(c, 240, 403, 160, 30, SS_CUSTOM, "SS_CONTINUE");
    Shell_LabelsOnOneLine(next, Shell_AddMenuButton(c, 480, 412, 160, 30, SS_MAIN, "SS_MAIN_MENU"));
    AddText(c, 0, 32, 58, 0, 20, "SS_PLAYER", 8);
    AddText(c, 0, 168, 58, 0, 20, "SS_SIDE", 8);
    static const char* const GROUPS[4] = {"SS_COLLECTED", "SS_CREATED", "SS_LOST", "SS_DESTROYED"};
    for (int g = 0; g < 4; g++) AddText(c, TITLE_STYLE, 271 + 86 * g, 38, 78, 20, GROUPS[g], 8);
    static const char* const SUBS[8] = {"SS_WATER", "SS_CORITE", "SS_UNITS", "SS_BLDGS",
                                        "SS_UNITS", "SS_BLDGS",  "SS_UNITS", "SS_BLDGS"};
    for (int k = 0; k < 8; k++) AddText(c, TITLE_STYLE, 271 + 43 * k, 58, 35, 20, SUBS[k], 8);
    int y = 76;
    for (int t = 0; t < SHELL_TEAMS; t++) {
        const SHELLDEBRIEF* r = &s->debrief[t];
        if (r->type != TT_HUMAN && r->type != TT_COMPUTER) continue;
        AddText(c, SHELL_VCENTRE, 32, y, 130, 33, r->type == TT_HUMAN ? "SS_HUMAN" : "SS_COMPUTER", 8);
        Shell_CreateControl(TEXT, c, SHELL_VCENTRE, 168, y, 100, 33, (intptr_t)SideKey(r->side), 8, 8, 8);
        const int32_t numbers[8] = {r->water,     r->corite,        r->madeUnits,   r->madeBuildings,
                                    r->lostUnits, r->lostBuildings, r->killedUnits, r->killedBuildings};
        for (int k = 0; k < 8; k++) Shell_CreateControl(STAT, c, 0, 271 + 43 * k, y, 35, 33, numbers[k], 8, 0, 0);
        y += 39;
    }
    return 0;
}

// --- the machine ---

// Runs one page; its result is the next state (0 when it can't be built).
static void RunPage(const char* background, SHELL_HANDLER handler, void (*extra)(SHELLCTL* page),
                    intptr_t p3 = 0, intptr_t p4 = 0)
{
    SHELLCTL* page = Shell_CreateControl(DIAL, nullptr, 0, 0, 0, 640, 480, (intptr_t)background,
                                         (intptr_t)handler, p3, p4);
    if (!page) {
        TLOG(TLOG_ERROR, "Shell page [%s] could not be built", background);
        g_ShellInfo.next = 0;
        return;
    }
    if (extra) extra(page);
    g_ShellInfo.next = Shell_RunDialog(page);
    Shell_SendMessage(page, SM_DESTROY);
}

void Shell_RunPage(const char* background, SHELL_HANDLER handler, intptr_t p3, intptr_t p4)
{
    RunPage(background, handler, nullptr, p3, p4);
}

const uint8_t* Shell_NavImage(const char* name)
{
    for (int i = 0; i < 6; i++)
        if (!strcmp(NAV_IMAGES[i], name)) return Shell_FindChunk(s_nav[i], SHELLRES_PIXL);
    return nullptr;
}

static void ReturnButton(SHELLCTL* page) { Shell_AddMenuButton(page, 0, 418, 160, 30, SS_MAIN, nullptr); }
static void BackButton(SHELLCTL* page) { Shell_AddMenuButton(page, 240, 403, 160, 30, SS_SINGLE, "BACK"); }

// The current state is refused: back to the previous page as it was.
static void Refuse(SHELLINFO* s)
{
    s->next = s->previous;
    s_undoneTo = s_beforePrevious;
}

// Performs the current state; 1 when the shell leaves to the engine.
static int Perform(int state)
{
    SHELLINFO* s = &g_ShellInfo;
    switch (state) {
    case SS_MAIN: RunPage("main", Shell_BuildMainMenu, nullptr); return 0;
    case SS_QUIT:
        g_GameState = GS_QUIT;
        s->next = SS_MAIN;
        return 1;
    case SS_START:
        // The game's start would end the program on a missing scenario file
        // or one its reader can't get through: say why and stay.
        if (char why[GAME_PATH + 320]; !Scenario_Check(why, sizeof why)) {
            if (!Fs_Exists(g_ScenarioScnPath))
                TLOG(TLOG_ERROR, "Scenario file [%s] not found", Fs_Resolve(g_ScenarioScnPath).c_str());
            else
                TLOG(TLOG_ERROR, "Scenario [%s] not started: %s", g_ScenarioName, why);
            NoteMissing(s->previous);
            Refuse(s);
            return 0;
        }
        s->result = 0;
        s->next = SS_RETURN;
        s_startedFrom = s->previous;
        s_startedFromPrevious = s_beforePrevious;
        g_GameState = GS_NEWGAME;
        return 1;
    case SS_EDITOR:
        g_GameState = GS_EDITOR;
        s->next = SS_MAIN;
        return 1;
    case SS_RETURN:
        if (!Shell_PerformCampaign(state)) s->next = SS_CDEBRIEF;
        return 0;
    case SS_SINGLE: RunPage("single", Shell_BuildSinglePlayer, nullptr); return 0;
    case SS_MULTI:
        s->mode = SHELL_MULTIPLAYER;
        s->result = 0;
        s->next = SS_RETURN;
        g_GameState = GS_MULTIMENU;
        return 1;
    case SS_INSTANT:
        s->mode = SHELL_INSTANT;
        RunPage("instant", Shell_PassThroughHandler, ReturnButton);
        return 0;
    case SS_INTRO: s->next = SS_MAIN; return 0;
    case SS_CREDITS: RunPage("credits", Shell_PassThroughHandler, ReturnButton); return 0;
    case SS_LOADGAME: RunPage("loadgame", Shell_PassThroughHandler, BackButton); return 0;
    case SS_CUSTOM:
        s->mode = SHELL_CUSTOM;
        RunPage("custom", Shell_BuildCustomMission, nullptr);
        return 0;
    case SS_CDEBRIEF: RunPage("cdebrief", Shell_BuildCustomDebrief, nullptr); return 0;
    default:
        if (!Shell_PerformCampaign(state)) {
            TLOG(TLOG_WARNING, "Shell state %d is not built yet", state);
            Refuse(s);
        }
        return 0;
    }
}

void Shell_Run(void)
{
    SHELLINFO* s = &g_ShellInfo;
    Shell_Init();
    if (!s_started) {
        s->mode = SHELL_FRONTEND;
        s->current = s->next = SS_MAIN;
        s_started = 1;
    }
    for (;;) {
        s_beforePrevious = s->previous;
        s->previous = s_undoneTo ? s_undoneTo : s->current;
        s_undoneTo = 0;
        s->current = s->next;
        s->next = 0;
        if (s->current < 1 || s->current > SS_LAST || s->current == SS_BACK) {
            g_GameState = GS_QUIT;
            s->next = SS_MAIN;
            break;
        }
        TLOG(TLOG_DIAG, "Shell state %d", s->current);
        if (Perform(s->current)) break;
        if (s->next == SS_BACK) s->next = s->previous;
    }
    Shell_Close();
}
