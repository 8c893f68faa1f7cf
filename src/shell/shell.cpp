#include "shell/shell.h"

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <strings.h>

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
// Why the last start was refused: the page it comes back to names the file
// in a box (else the click seemed to do nothing), and for a broken file the
// line and what was wrong. The box while it shows, its page's own handler,
// and its Ok seen (the box goes at the next frame: the click is still on its
// way out of its button).
struct REFUSAL {
    int pending, missing, line;
    char file[SHELL_TEXT_MAX + 1], what[SHELL_TEXT_MAX + 1];
};
static REFUSAL s_refusal;
static SHELLCTL* s_box;
static SHELL_HANDLER s_boxPage;
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
    s_refusal.pending = 0;
}

static std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The reason with every bracketed path cut to its file's name: the box is
// narrow, and the log has the whole path.
static std::string ShortPaths(std::string text)
{
    for (size_t open = text.find('['); open != std::string::npos; open = text.find('[', open + 1)) {
        const size_t close = text.find(']', open);
        if (close == std::string::npos) break;
        const std::string name = BaseName(text.substr(open + 1, close - open - 1));
        text.replace(open + 1, close - open - 1, name);
    }
    return text;
}

// A file's name for the box. Every mission's scenario file and map have the
// same names ("QUORVEX.scn" alone doesn't say whose it is): those two come
// with the mission's folder.
static std::string ShownName(const std::string& path)
{
    const std::string name = BaseName(path);
    for (const char* own : {g_ScenarioScnPath, g_ScenarioMapPath})
        if (!name.empty() && !strcasecmp(name.c_str(), BaseName(own).c_str()))
            return std::string(g_ScenarioName) + "/" + name;
    return name;
}

// Takes a refusal's reason apart for its box: a missing file (the reader
// noted it), "<file> line <n>: <what>", or a reason naming its file in
// brackets (a map that doesn't read).
static void NoteRefusal(const char* why)
{
    REFUSAL* r = &s_refusal;
    *r = REFUSAL{};
    r->pending = 1;
    const std::string text = why ? why : "";
    std::string file, what = text;
    if (const char* missing = Scenario_MissingFile(); *missing) {
        r->missing = 1;
        file = missing;
    } else {
        for (size_t at = text.find(" line "); at != std::string::npos; at = text.find(" line ", at + 1)) {
            const char* digits = text.c_str() + at + 6;
            char* end = nullptr;
            const long line = strtol(digits, &end, 10);
            if (end == digits || end[0] != ':') continue;
            file = text.substr(0, at);
            r->line = (int)line;
            what = end + 1 + (end[1] == ' ');
            break;
        }
        const size_t open = text.find('['), close = text.find(']', open);
        if (file.empty() && open != std::string::npos && close != std::string::npos)
            file = text.substr(open + 1, close - open - 1);
    }
    snprintf(r->file, sizeof r->file, "%s", ShownName(file).c_str());
    snprintf(r->what, sizeof r->what, "%s", ShortPaths(what).c_str());
}

void Shell_StartRefused(const char* why)
{
    NoteRefusal(why);
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

intptr_t Shell_BuildCustomMission(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3,
                                  intptr_t p4)
{
    switch (message & 0xFFFF) {
    case SM_CREATE: {
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
        // Back from a refused start: the refused scenario's row is chosen,
        // as it was when Load Mission was pressed.
        if (s_refusal.pending) Shell_SelectLine(folders, g_ScenarioName);
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

// --- the refusal box ---

// A text of the pages that the string files may not have yet: its built-in
// default, and a ready-to-paste line in the log.
static const char* TextOr(const char* key, const char* fallback)
{
    MLString_GetOrDefine(key, fallback, s_text, sizeof s_text);
    return s_text;
}

// The box's frame passes its Ok's click on to the page.
static SHELL_HANDLER s_rectHandler;
static intptr_t BoxHandler(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    if ((message & 0xFFFF) == SM_CLICKED) return Shell_SendMessage(c->parent, SM_CLICKED, p1);
    return s_rectHandler(c, message, p1, p2, p3, p4);
}

// The box is the page's newest control, so that it takes the clicks over
// whatever lies under it; but older controls draw over newer ones, and the
// campaign map's ring buttons cut through its lines. The page draws without
// it, then the box over everything.
static intptr_t DrawBoxOnTop(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    SHELLCTL** link = &c->child;
    while (*link && *link != s_box) link = &(*link)->next;
    if (!*link) return s_boxPage(c, message, p1, p2, p3, p4);
    *link = s_box->next;
    const intptr_t result = s_boxPage(c, message, p1, p2, p3, p4);
    *link = s_box;
    Shell_SendMessage(s_box, (message & ~SHELL_TO_SIBLING) | SHELL_TO_CHILDREN, p1, p2, p3, p4);
    return result;
}

// The page under a box: the box's Ok takes it away, everything else is the
// page's own.
static intptr_t BoxPageHandler(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
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
    case SM_DRAW:
        if (s_box && (message & SHELL_TO_CHILDREN)) return DrawBoxOnTop(c, message, p1, p2, p3, p4);
        break;
    case SM_DESTROY: s_box = nullptr; break;
    }
    return s_boxPage(c, message, p1, p2, p3, p4);
}

// What wraps into width in the font: words on lines, a word wider than the
// line alone on its own.
static std::vector<std::string> Wrap(const std::string& text, int font, int width)
{
    std::vector<std::string> lines;
    std::string line;
    size_t at = 0;
    while (at < text.size()) {
        const size_t space = text.find(' ', at);
        const std::string word = text.substr(at, space == std::string::npos ? std::string::npos : space - at);
        at = space == std::string::npos ? text.size() : space + 1;
        if (word.empty()) continue;
        const std::string longer = line.empty() ? word : line + " " + word;
        int w = 0;
        Shell_MeasureText(font, longer.c_str(), &w, nullptr);
        if (w > width && !line.empty()) {
            lines.push_back(line);
            line = word;
        } else {
            line = longer;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// Where the box stands on each page a start is chosen on: clear of the
// page's lists, briefing and buttons where there is room, else centred.
static void BoxPlace(int* x, int* y, int w, int h)
{
    const SHELLINFO* s = &g_ShellInfo;
    *x = (640 - w) / 2;
    *y = (480 - h) / 2;
    if (s->current == SS_CUSTOM) {
        *x = 420;
        *y = 186;
    } else if (s->current == 22) {
        *x = s->side == SHELL_SIDE_SECOND ? 90 : 350;
        *y = s->side == SHELL_SIDE_SECOND ? 70 : 60;
    }
}

// The box naming why the last start was refused, over the page until its Ok.
static void AddRefusalBox(SHELLCTL* page)
{
    enum { W = 204, FONT = 8, TOP = 36, STEP = 22, MAX_LINES = 6 };
    const REFUSAL* r = &s_refusal;
    std::vector<std::string> lines;
    lines.push_back(r->missing ? Shell_Text("SS_FILE_NOT_FOUND") : TextOr("SS_FILE_BROKEN", "This file can't be read:"));
    lines.push_back(r->file[0] ? r->file : "?");
    if (!r->missing) {
        std::string what = r->what;
        if (r->line) what = std::string(TextOr("SS_FILE_LINE", "line")) + " " + std::to_string(r->line) + ": " + what;
        for (const std::string& l : Wrap(what, FONT, W - 12)) lines.push_back(l);
    }
    if (lines.size() > MAX_LINES) lines.resize(MAX_LINES);
    const int h = TOP + (int)lines.size() * STEP + 44;
    int x, y;
    BoxPlace(&x, &y, W, h);
    s_box = Shell_CreateControl(RECT, page, 0, x, y, W, h, 0, 0, 0, 0);
    if (!s_box) return;
    s_rectHandler = s_box->handler;
    s_box->handler = BoxHandler;
    s_boxPage = page->handler;
    page->handler = BoxPageHandler;
    s_boxDone = 0;
    AddText(s_box, TITLE_STYLE, W / 2, 8, 0, 20, "SS_MISSION_NOT_STARTED", 13);
    for (size_t i = 0; i < lines.size(); i++)
        Shell_CreateControl(TEXT, s_box, TITLE_STYLE, W / 2, TOP + (int)i * STEP, 0, 20,
                            (intptr_t)lines[i].c_str(), FONT, FONT, FONT);
    Shell_AddTextButton(s_box, (W - 80) / 2, h - 34, 80, 26, BOX_OK, "SS_OK");
}

int Shell_RefusalShown(char* out, size_t size, int* okX, int* okY)
{
    if (size) out[0] = '\0';
    if (!s_box) return 0;
    if (okX) *okX = s_box->x + s_box->width / 2;
    if (okY) *okY = s_box->y + s_box->height - 21;
    // Children run newest first: the texts from the last one up.
    std::vector<SHELLCTL*> texts;
    for (SHELLCTL* c = s_box->child; c; c = c->next)
        if (c->fourcc == TEXT) texts.insert(texts.begin(), c);
    std::string all;
    for (SHELLCTL* t : texts) {
        char line[SHELL_TEXT_MAX + 1];
        Shell_SendMessage(t, SM_GETTEXT, (intptr_t)line, sizeof line);
        all += (all.empty() ? "" : "\n") + std::string(line);
    }
    snprintf(out, size, "%s", all.c_str());
    return 1;
}

// --- the machine ---

// Runs one page; its result is the next state (0 when it can't be built).
// The page a refused start comes back to shows why.
static void RunPage(const char* background, SHELL_HANDLER handler, void (*extra)(SHELLCTL* page),
                    intptr_t p3 = 0, intptr_t p4 = 0)
{
    s_box = nullptr;
    SHELLCTL* page = Shell_CreateControl(DIAL, nullptr, 0, 0, 0, 640, 480, (intptr_t)background,
                                         (intptr_t)handler, p3, p4);
    if (!page) {
        TLOG(TLOG_ERROR, "Shell page [%s] could not be built", background);
        g_ShellInfo.next = 0;
        return;
    }
    if (extra) extra(page);
    if (s_refusal.pending) AddRefusalBox(page);
    s_refusal.pending = 0;
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
                snprintf(why, sizeof why, "scenario file [%s] not found", Fs_Resolve(g_ScenarioScnPath).c_str());
            TLOG(TLOG_ERROR, "Refused start: %s", why);
            TLOG(TLOG_ERROR, "Scenario [%s] not started: %s", g_ScenarioName, why);
            NoteRefusal(why);
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
