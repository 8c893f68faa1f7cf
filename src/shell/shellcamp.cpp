#include "shell/shellcamp.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "core/utils.h"
#include "shell/shell.h"
#include "shell/shellbrf.h"
#include "shell/shellres.h"
#include "shell/shellvideo.h"

static const uint32_t BTTN = SHELL_FOURCC('B', 'T', 'T', 'N');
static const uint32_t TEXT = SHELL_FOURCC('T', 'E', 'X', 'T');
static const uint32_t SBOX = SHELL_FOURCC('S', 'B', 'O', 'X');
static const uint32_t LBOX = SHELL_FOURCC('L', 'B', 'O', 'X');
static const uint32_t STAT = SHELL_FOURCC('S', 'T', 'A', 'T');

enum {
    LABEL_FILL = SHELL_NOHIT | SHELL_FOLLOW | SHELL_HCENTRE | SHELL_VCENTRE, // 163
    LABEL_AT = SHELL_NOHIT | SHELL_FOLLOW,                                   // 3
    CENTRED = SHELL_HCENTRE,
    FIRST_MISSION = 204, LAST_RING = 215, FINAL_MISSION = 216, RING = 12,
    STATE_NEWCAMPAIGN = 15, STATE_MAP = 16, STATE_OPTIONS = 17, STATE_ARCHIVE = 18, STATE_STORY = 19,
    STATE_BASIC = 20, STATE_ADVANCED = 21, STATE_LAUNCH = 22,
};

// A look word: a frame's (x, y) in the image, -1 for none.
static intptr_t Frame(int x, int y) { return (intptr_t)(uint32_t)((uint32_t)(uint16_t)y << 16 | (uint16_t)x); }

// --- missions ---

const char* Shell_SelectMission(int mission, int side)
{
    SHELLINFO* s = &g_ShellInfo;
    if (mission >= 200 && mission <= FINAL_MISSION) s->mission = mission;
    if (side == SHELL_SIDE_FIRST || side == SHELL_SIDE_SECOND) s->side = side;
    // A stored value out of range (a loaded record may hold 0) selects nothing.
    if (s->mission < 200 || s->mission > FINAL_MISSION ||
        (s->side != SHELL_SIDE_FIRST && s->side != SHELL_SIDE_SECOND)) {
        s->title[0] = 0;
        return s->title;
    }
    Game_SetScenarioCategory(s->mode == SHELL_CUSTOM ? SC_SINGLE : SC_FIXED);
    static const char* const TRAINING[4] = {"t1", "t2", "t3", "t4"};
    static const char* const TRAINING_KEYS[4] = {"SS_BASIC_TRAINING_1", "SS_BASIC_TRAINING_2",
                                                 "SS_ADVANCED_TRAINING_1", "SS_ADVANCED_TRAINING_2"};
    char name[16], key[32];
    if (s->mission < FIRST_MISSION) {
        snprintf(name, sizeof name, "%s", TRAINING[s->mission - 200]);
        snprintf(key, sizeof key, "%s", TRAINING_KEYS[s->mission - 200]);
    } else {
        if (s->mission == FINAL_MISSION) snprintf(name, sizeof name, "m13v");
        else snprintf(name, sizeof name, "m%02d%c", s->mission - 203, s->side == SHELL_SIDE_FIRST ? 'a' : 's');
        snprintf(key, sizeof key, "SS_MISSION_NAME_%02d", s->mission - 203);
    }
    Game_SetScenarioName(name);
    MLString_Get(key, s->title, sizeof s->title, 1);
    return s->title;
}

int Shell_CubeTransitionNames(int previous, int current, const char* names[2])
{
    if (previous == STATE_NEWCAMPAIGN) {
        names[0] = "cube_in";
        return 1;
    }
    const char* first;
    if (previous == STATE_OPTIONS) first = "cube03";
    else if (previous == STATE_ARCHIVE) first = "cube02";
    else if (current == STATE_OPTIONS) first = "cube02";
    else if (current == STATE_ARCHIVE) first = "cube03";
    else if (current == SS_DEBRIEF && previous == STATE_MAP) first = "cube05";
    else if (current == SS_DEBRIEF && previous == SS_RETURN) first = "cube04";
    else if (current == STATE_MAP && previous == SS_DEBRIEF) first = "cube04";
    else first = previous >= current ? "cube05" : "cube04";
    names[0] = first;
    names[1] = "cube01";
    return 2;
}

void Shell_PlayCubeTransition(int previous, int current)
{
    const char* names[2];
    int n = Shell_CubeTransitionNames(previous, current, names);
    for (int i = 0; i < n; i++) Shell_PlayShellVideo(names[i]);
}

SHELLRINGSLOT Shell_RingSlot(int slot)
{
    const SHELLINFO* s = &g_ShellInfo;
    int n = ((s->selectedMission - FIRST_MISSION + slot) % RING + RING) % RING;
    SHELLRINGSLOT r;
    r.label = n + 1;
    r.id = n + FIRST_MISSION;
    int normal = 2, hot = 3, pressed = 4;
    if (r.id == s->selectedMission) normal = hot = pressed = 7;
    else if (r.id > s->highestMission) normal = hot = pressed = 2;
    r.fonts[0] = normal;
    r.fonts[1] = hot;
    r.fonts[2] = pressed;
    uint32_t bit = 1u << n;
    r.frame = ((uint32_t)s->wonSecond & bit ? 1 : 0) + ((uint32_t)s->wonFirst & bit ? 2 : 0);
    return r;
}

// --- building blocks ---

static SHELLCTL* Label(SHELLCTL* button, uint32_t style, int x, int y, int w, int h, const char* text, int f0,
                       int f1, int f2)
{
    return Shell_CreateControl(TEXT, button, style, x, y, w, h, (intptr_t)text, f0, f1, f2);
}

static SHELLCTL* Text(SHELLCTL* page, uint32_t style, int x, int y, int w, int h, const char* key, int font)
{
    return Label(page, style, x, y, w, h, Shell_Text(key), font, font, font);
}

static void Title(SHELLCTL* page, const char* text, int font, int y)
{
    Label(page, CENTRED, 320, y, 0, 30, text, font, font, font);
}

// A BTTN whose image (a PIXL chunk) shows as look at (ix, iy) with height h
// of the image (0: all of it).
static SHELLCTL* ImageButton(SHELLCTL* parent, int x, int y, int w, int h, int id, const uint8_t* pixl,
                             intptr_t normal, intptr_t hot, intptr_t pressed, int ix, int iy, int frames)
{
    SHELLCTL* b = Shell_CreateControl(BTTN, parent, 0, x, y, w, h, id, 0, 0, 0);
    if (!b || !pixl) return b;
    Shell_SendMessage(b, SM_SETLOOK, (intptr_t)pixl, normal, hot, pressed);
    int iw = (int)Bytes_U16(pixl + 12), ih = (int)Bytes_U16(pixl + 14);
    Shell_SendMessage(b, SM_SETIMAGERECT, ix, iy, iw, frames > 0 ? ih / frames : ih);
    return b;
}

// Loads a library image into a block the button will own; its PIXL chunk.
static const uint8_t* LoadImage(void** block, const char* name)
{
    *block = Shell_LoadResource(name, SHELLRES_FLT, nullptr);
    const uint8_t* pixl = Shell_FindChunk(*block, SHELLRES_PIXL);
    if (!pixl) Debug_Free(block);
    return pixl;
}

static SHELLCTL* OwnedImageButton(SHELLCTL* parent, int x, int y, int w, int h, int id, const char* image,
                                  intptr_t normal, intptr_t hot, intptr_t pressed, int ix, int iy, int frames)
{
    void* block = nullptr;
    const uint8_t* pixl = LoadImage(&block, image);
    SHELLCTL* b = ImageButton(parent, x, y, w, h, id, pixl, normal, hot, pressed, ix, iy, frames);
    if (b) Shell_SendMessage(b, SM_OWN, (intptr_t)block);
    else Debug_Free(&block);
    return b;
}

SHELLCTL* Shell_AddImageButtonAt(SHELLCTL* parent, int x, int y, int width, int height, int id,
                                 const char* label, int labelX, int labelY, const char* image, int imageX,
                                 int imageY)
{
    SHELLCTL* b = OwnedImageButton(parent, x, y, width, height, id, image, Frame(-1, -1), Frame(-1, -1),
                                   Frame(0, 0), imageX, imageY, 1);
    if (b && label) {
        if (labelX < 0 && labelY < 0) Label(b, LABEL_FILL, 0, 0, width, height, Shell_Text(label), 2, 3, 4);
        else Label(b, LABEL_AT, labelX, labelY, 0, 0, Shell_Text(label), 2, 3, 4);
    }
    return b;
}

SHELLCTL* Shell_AddImageButton(SHELLCTL* parent, int x, int y, int width, int height, int id, const char* label,
                               const char* image, int imageX, int imageY)
{
    return Shell_AddImageButtonAt(parent, x, y, width, height, id, label, -1, -1, image, imageX, imageY);
}

SHELLCTL* Shell_AddFramedButton(SHELLCTL* parent, int x, int y, int width, int height, int id, const char* label,
                                const char* image, int imageX, int imageY, int frames)
{
    SHELLCTL* b = OwnedImageButton(parent, x, y, width, height, id, image, Frame(0, 0), Frame(0, 0), Frame(0, 0),
                                   imageX, imageY, frames);
    if (b && label) Label(b, LABEL_FILL, 0, 0, width, height, Shell_Text(label), 2, 3, 4);
    return b;
}

void Shell_AddNavButtons(SHELLCTL* dialog, const char* up, const char* down, const char* left, const char* right)
{
    const struct {
        const char* label;
        int id, x, y, w, h;
        const char* image;
        int ix, iy, lx, ly, style;
    } NAV[4] = {
        {up, SHELL_NAV_UP, 280, 0, 80, 50, "cube_up", 290, 0, 40, 25, 35},
        {down, SHELL_NAV_DOWN, 280, 430, 80, 50, g_ShellInfo.current == STATE_MAP ? "m_down" : "cube_dn", 290, 445,
         40, 27, 99},
        {left, SHELL_NAV_LEFT, 0, 200, 80, 80, "cube_lft", 0, 210, 37, 40, 131},
        {right, SHELL_NAV_RIGHT, 560, 200, 80, 80, "cube_rgt", 595, 210, 47, 40, 147},
    };
    for (const auto& n : NAV) {
        if (!n.label) continue;
        SHELLCTL* b = ImageButton(dialog, n.x, n.y, n.w, n.h, n.id, Shell_NavImage(n.image), Frame(-1, -1),
                                  Frame(-1, -1), Frame(0, 0), n.ix, n.iy, 1);
        if (b) Label(b, (uint32_t)n.style, n.lx, n.ly, 0, 0, Shell_Text(n.label), 2, 3, 4);
    }
}

// Maps a navigation click to its state through targets (0: not on this page).
static int NavTarget(intptr_t id, const int targets[4])
{
    return id >= SHELL_NAV_UP && id <= SHELL_NAV_RIGHT ? targets[id - SHELL_NAV_UP] : 0;
}

static SHELLCTL* Briefing(SHELLCTL* page, int x, int y, int w, int h, int section, int width)
{
    SHELLCTL* box = Shell_CreateControl(SBOX, page, 0, x, y, w, h, 0, 0, 0, 0);
    if (box) Shell_FillListFromBriefing(g_ScenarioName, section, box, width);
    return box;
}

#define PAGE_PASS() Shell_DialogHandler(c, message, p1, p2, p3, p4)

// --- timed pages ---

static int s_timedNext, s_timedCount;

intptr_t Shell_TimedDialogHandler(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3,
                                  intptr_t p4)
{
    switch (message & 0xFFFF) {
    case SM_CREATE:
        s_timedNext = (int)p3;
        s_timedCount = (int)p4;
        return 0;
    case SM_UPDATE:
        if (s_timedCount-- < 0) c->result = s_timedNext;
        break;
    }
    return PAGE_PASS();
}

// --- the campaign map ---

static SHELLCTL* s_ring[RING];
static SHELLCTL* s_logos[2];
static SHELLCTL* s_mapTitle;
// The ring animation is the map's backdrop, no control of the page's tree:
// the newest control takes a click and older ones are drawn over newer
// ones, so as a child it either hides the buttons over it (made first) or
// takes their clicks (made after them), the centre "13" and the edges of the
// ring's marks. The page draws it over its background, under every control,
// and no hit test meets it.
static SHELLCTL* s_ringAnim;

void Shell_SetMissionButton(SHELLCTL* button, int slot)
{
    if (!button) return;
    SHELLRINGSLOT r = Shell_RingSlot(slot);
    char label[8];
    snprintf(label, sizeof label, "%d", r.label);
    Shell_SendMessage(button, SM_SETID, r.id);
    Shell_SendMessage(button, SM_SETTEXT, (intptr_t)label, r.fonts[0], r.fonts[1], r.fonts[2]);
    if (slot == 0) {
        for (int side = 0; side < 2; side++) {
            if (!s_logos[side] || !s_logos[side]->image) continue;
            int won = side == 0 ? (r.frame & 2) : (r.frame & 1);
            intptr_t f = Frame(0, won ? s_logos[side]->imageH : 0);
            Shell_SendMessage(s_logos[side], SM_SETLOOK, (intptr_t)s_logos[side]->image, f, f, f);
        }
    } else if (button->image) {
        intptr_t f = Frame(0, r.frame * button->imageH);
        Shell_SendMessage(button, SM_SETLOOK, (intptr_t)button->image, f, f, f);
    }
}

static void Ring(void)
{
    for (int i = 0; i < RING; i++) Shell_SetMissionButton(s_ring[i], i);
}

intptr_t Shell_BuildMissions(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    SHELLINFO* s = &g_ShellInfo;
    static const int NAV[4] = {STATE_STORY, SS_DEBRIEF, STATE_OPTIONS, STATE_ARCHIVE};
    switch (message & 0xFFFF) {
    case SM_CREATE: {
        Shell_AddImageButton(c, 0, 70, 150, 65, STATE_BASIC, "SS_BASIC_TRAINING", "m_basic", 0, 70);
        Shell_AddImageButton(c, 485, 70, 150, 65, STATE_ADVANCED, "SS_ADVANCED_TRAINING", "m_adv", 484, 70);
        Shell_SelectMission(s->selectedMission, SHELL_SIDE_FIRST);
        s_mapTitle = Label(c, CENTRED, 320, 68, 0, 30, s->title, 6, 6, 6);
        s_logos[0] = Shell_AddFramedButton(c, 235, 105, 45, 40, SHELL_SIDE_FIRST, nullptr, "m_alogo2", 235, 105, 2);
        s_logos[1] = Shell_AddFramedButton(c, 365, 105, 45, 40, SHELL_SIDE_SECOND, nullptr, "m_slogo2", 365, 105, 2);
        char ring[32];
        snprintf(ring, sizeof ring, "m_ring%02d", s->highestMission - FIRST_MISSION);
        s_ringAnim = Shell_PlayVideo(nullptr, ring, c->x + 248, c->y + 190);
        static const int AT[RING - 1][4] = {
            {363, 163, 354, 185}, {402, 200, 383, 215}, {415, 253, 393, 258}, {402, 305, 381, 299},
            {363, 345, 349, 327}, {310, 359, 307, 339}, {257, 345, 267, 325}, {218, 305, 238, 295},
            {205, 253, 228, 252}, {218, 200, 240, 211}, {257, 163, 272, 181}};
        s_ring[0] = Shell_CreateControl(BTTN, c, 0, 310, 134, 20, 20, 0, 0, 0, 0);
        if (s_ring[0]) Label(s_ring[0], LABEL_FILL, 0, 0, 20, 20, "1", 7, 7, 7);
        for (int i = 1; i < RING; i++) {
            s_ring[i] = ImageButton(c, AT[i - 1][0], AT[i - 1][1], 20, 20, 0, Shell_NavImage("m_state"),
                                    Frame(0, 0), Frame(0, 0), Frame(0, 0), AT[i - 1][2], AT[i - 1][3], 4);
            if (s_ring[i]) Label(s_ring[i], LABEL_FILL, 0, 0, 20, 20, "", 2, 3, 4);
        }
        Ring();
        if (s->highestMission == FINAL_MISSION) {
            SHELLCTL* b = Shell_CreateControl(BTTN, c, 0, 310, 253, 20, 20, FINAL_MISSION, 0, 0, 0);
            if (b) Label(b, LABEL_FILL, 0, 0, 20, 20, "13", 2, 3, 4);
        }
        Shell_AddNavButtons(c, "SS_MISSION", s->lastMission ? "SS_DEBRIEFING" : nullptr, "SS_OPTIONS",
                            "SS_ARCHIVE");
        return 0;
    }
    case SM_CLICKED: {
        if (int to = NavTarget(p1, NAV)) {
            c->result = to;
            return 0;
        }
        if (p1 >= FIRST_MISSION && p1 <= LAST_RING) {
            if (p1 > s->highestMission) return 0;
            s->selectedMission = (int32_t)p1;
            Shell_SelectMission((int)p1, -1);
            Shell_SendMessage(s_mapTitle, SM_SETTEXT, (intptr_t)s->title, -1, -1, -1);
            Ring();
            return 0;
        }
        if (p1 == FINAL_MISSION) {
            Shell_SelectMission(FINAL_MISSION, -1);
            c->result = SS_START;
            return 0;
        }
        if (p1 == SHELL_SIDE_FIRST || p1 == SHELL_SIDE_SECOND) {
            Shell_SelectMission(-1, (int)p1);
            c->result = STATE_LAUNCH;
            return 0;
        }
        break;
    }
    case SM_UPDATE: Shell_SendMessage(s_ringAnim, SM_UPDATE, p1, p2, p3, p4); break;
    case SM_DRAW:
        if (!s_ringAnim) break;
        // The background, the animation, then the controls.
        Shell_DialogHandler(c, SM_DRAW, p1, p2, p3, p4);
        Shell_SendMessage(s_ringAnim, SM_DRAW);
        if ((message & SHELL_TO_CHILDREN) && c->child)
            Shell_SendMessage(c->child, message | SHELL_TO_SIBLING, p1, p2, p3, p4);
        return 0;
    case SM_DESTROY:
        Shell_SendMessage(s_ringAnim, SM_DESTROY);
        s_ringAnim = nullptr;
        memset(s_ring, 0, sizeof s_ring);
        memset(s_logos, 0, sizeof s_logos);
        s_mapTitle = nullptr;
        break;
    }
    return PAGE_PASS();
}

// --- the other pages ---

intptr_t Shell_BuildOptions(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    static const int NAV[4] = {0, 0, 0, SS_BACK};
    switch (message & 0xFFFF) {
    case SM_CREATE: {
        Title(c, Shell_Text("SS_OPTIONS"), 5, 0);
        Shell_AddImageButton(c, 67, 342, 150, 32, 222, "SS_LOAD", "o_btn1", 67, 342);
        Shell_AddImageButton(c, 218, 342, 150, 32, 223, "SS_SAVE", "o_btn2", 218, 342);
        Shell_AddImageButton(c, 369, 342, 150, 32, 224, "SS_DELETE", "o_btn3", 369, 342);
        Shell_AddImageButton(c, 60, 382, 238, 66, SS_MAIN, "SS_QUIT_TO_MAIN_MENU", "o_quittm", 48, 382);
        Shell_AddImageButton(c, 298, 409, 238, 66, SS_QUIT, "SS_QUIT_TO_WIN95", "o_quitt95", 286, 409);
        Text(c, 0, 78, 116, 0, 20, "SS_AVAILABLE_GAMES", 6);
        Text(c, CENTRED, 440, 116, 0, 20, "SS_SAVE_LOCATION", 6);
        Text(c, CENTRED, 440, 181, 0, 20, "SS_MISSION_PROGRESSION", 6);
        SHELLCTL* files = Shell_CreateControl(LBOX, c, 0, 75, 142, 294, 200, 8, 0, 0, 0);
        std::string pattern = std::string(g_SaveDir) + "\\*.sav";
        Shell_SendMessage(files, SM_FILLFILES, (intptr_t)pattern.c_str(), SHELL_FILES_FILES);
        Shell_AddNavButtons(c, nullptr, nullptr, nullptr, "SS_BACK");
        return 0;
    }
    case SM_CLICKED:
        if (int to = NavTarget(p1, NAV)) {
            c->result = to;
            return 0;
        }
        if (p1 >= 222 && p1 <= 224) return 0;
        break;
    }
    return PAGE_PASS();
}

intptr_t Shell_BuildArchive(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    static const int NAV[4] = {0, 0, SS_BACK, 0};
    switch (message & 0xFFFF) {
    case SM_CREATE:
        Title(c, Shell_Text("SS_ARCHIVE"), 5, 30);
        Briefing(c, 114, 110, 420, 210, 0, 400);
        Shell_AddNavButtons(c, nullptr, nullptr, "SS_BACK", nullptr);
        Shell_AddImageButtonAt(c, 105, 320, 100, 50, 0, nullptr, -1, -1, "a_left", 120, 325);
        Shell_AddImageButtonAt(c, 440, 320, 100, 50, 0, nullptr, -1, -1, "a_right", 457, 325);
        return 0;
    case SM_CLICKED:
        if (int to = NavTarget(p1, NAV)) {
            c->result = to;
            return 0;
        }
        break;
    }
    return PAGE_PASS();
}

intptr_t Shell_BuildStory(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    static const int NAV[4] = {0, STATE_MAP, STATE_OPTIONS, STATE_ARCHIVE};
    switch (message & 0xFFFF) {
    case SM_CREATE:
        Title(c, g_ShellInfo.title, 6, 109);
        Shell_AddImageButtonAt(c, 70, 0, 140, 110, SHELL_SIDE_FIRST, "SS_ASHWARD", 20, 90, "s_logoaw", 112, 0);
        Shell_AddImageButtonAt(c, 440, 0, 140, 110, SHELL_SIDE_SECOND, "SS_SOLARCH", 40, 90, "s_logoso", 482, 0);
        Briefing(c, 110, 153, 430, 262, 0, 411);
        Shell_AddNavButtons(c, nullptr, "SS_MAIN_INTERFACE", "SS_OPTIONS", "SS_ARCHIVE");
        return 0;
    case SM_CLICKED:
        if (int to = NavTarget(p1, NAV)) {
            c->result = to;
            return 0;
        }
        if (p1 == SHELL_SIDE_FIRST || p1 == SHELL_SIDE_SECOND) {
            Shell_SelectMission(-1, (int)p1);
            c->result = STATE_LAUNCH;
            return 0;
        }
        break;
    }
    return PAGE_PASS();
}

static SHELLCTL* s_training[2];
static SHELLCTL* s_trainingBox;

intptr_t Shell_BuildTraining(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    static const int NAV[4] = {SS_START, STATE_MAP, STATE_OPTIONS, STATE_ARCHIVE};
    int first = g_ShellInfo.current == STATE_ADVANCED ? 202 : 200;
    switch (message & 0xFFFF) {
    case SM_CREATE: {
        Shell_SelectMission(first, -1);
        static const char* const KEYS[4] = {"SS_BASIC_TRAINING_1", "SS_BASIC_TRAINING_2", "SS_ADVANCED_TRAINING_1",
                                            "SS_ADVANCED_TRAINING_2"};
        const char* const* keys = KEYS + (first - 200);
        s_training[0] = Shell_AddImageButton(c, 110, 95, 210, 55, first, keys[0], "t_one", 105, 95);
        s_training[1] = Shell_AddImageButton(c, 325, 95, 210, 55, first + 1, keys[1], "t_two", 322, 95);
        if (s_training[0]) Shell_SendMessage(s_training[0], SM_SETTEXT, 0, 3, 3, 4);
        s_trainingBox = Briefing(c, 120, 158, 398, 240, 0, 370);
        Shell_AddNavButtons(c, "SS_LAUNCH", "SS_MAIN_INTERFACE", "SS_OPTIONS", "SS_ARCHIVE");
        return 0;
    }
    case SM_CLICKED:
        if (int to = NavTarget(p1, NAV)) {
            c->result = to;
            return 0;
        }
        if (p1 == first || p1 == first + 1) {
            for (SHELLCTL* b : s_training) Shell_SendMessage(b, SM_SETTEXT, 0, 2, 3, 4);
            Shell_SendMessage(s_training[p1 - first], SM_SETTEXT, 0, 3, 3, 4);
            Shell_SelectMission((int)p1, -1);
            Shell_SendMessage(s_trainingBox, SM_CLEAR);
            Shell_FillListFromBriefing(g_ScenarioName, 0, s_trainingBox, 370);
            return 0;
        }
        break;
    case SM_DESTROY:
        s_training[0] = s_training[1] = s_trainingBox = nullptr;
        break;
    }
    return PAGE_PASS();
}

intptr_t Shell_BuildLaunch(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    if ((message & 0xFFFF) != SM_CREATE) return PAGE_PASS();
    if (g_ShellInfo.side == SHELL_SIDE_SECOND) {
        Shell_LabelsOnOneLine(Shell_AddImageButton(c, 145, 348, 105, 75, SS_START, "SS_LAUNCH", "bs_lnch", 138, 350),
                              Shell_AddTextButton(c, 10, 400, 80, 65, SS_BACK, "SS_BACK"));
        Briefing(c, 350, 150, 255, 295, 1, 235);
    } else {
        Shell_AddImageButton(c, 250, 405, 160, 60, SS_START, "SS_LAUNCH", "ba_lnch", 250, 410);
        Shell_AddTextButton(c, 15, 405, 135, 60, SS_BACK, "SS_BACK");
        Briefing(c, 25, 20, 275, 340, 1, 255);
    }
    return 0;
}

intptr_t Shell_BuildDebrief(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    const SHELLINFO* s = &g_ShellInfo;
    int replay = s->lastMission <= 201 ? STATE_BASIC : s->lastMission <= 203 ? STATE_ADVANCED : STATE_LAUNCH;
    const int nav[4] = {STATE_MAP, replay, STATE_OPTIONS, STATE_ARCHIVE};
    switch (message & 0xFFFF) {
    case SM_CREATE: {
        Title(c, Shell_SelectMission(s->lastMission, s->lastSide), 6, 120);
        Briefing(c, 121, 164, 404, 136, s->result == 1 ? 2 : 3, 384);
        static const char* const GROUPS[4] = {"SS_COLLECTED", "SS_CREATED", "SS_LOST", "SS_DESTROYED"};
        for (int g = 0; g < 4; g++) Text(c, CENTRED, 160 + 106 * g, 315, 106, 20, GROUPS[g], 0);
        Text(c, CENTRED, 52, 335, 104, 20, "SS_SIDE", 0);
        static const char* const SUBS[8] = {"SS_WATER", "SS_CORITE", "SS_UNITS", "SS_BLDGS",
                                            "SS_UNITS", "SS_BLDGS",  "SS_UNITS", "SS_BLDGS"};
        for (int k = 0; k < 8; k++) Text(c, CENTRED, 160 + 53 * k, 335, 53, 20, SUBS[k], 0);
        for (int t = 0; t < 2; t++) {
            const SHELLDEBRIEF* r = &s->debrief[t];
            int y = t ? 381 : 355;
            const int32_t numbers[8] = {r->water,     r->corite,        r->madeUnits,   r->madeBuildings,
                                        r->lostUnits, r->lostBuildings, r->killedUnits, r->killedBuildings};
            Shell_CreateControl(STAT, c, 0, 52, y, 104, 20, r->side, 0, 0, 0);
            for (int k = 0; k < 8; k++) Shell_CreateControl(STAT, c, 0, 160 + 53 * k, y, 53, 20, numbers[k], 0, 0, 0);
        }
        Shell_AddNavButtons(c, "SS_MAIN_INTERFACE", "SS_REPLAY_MISSION", "SS_OPTIONS", "SS_ARCHIVE");
        return 0;
    }
    case SM_CLICKED:
        if (int to = NavTarget(p1, nav)) {
            c->result = to;
            return 0;
        }
        break;
    }
    return PAGE_PASS();
}

// --- the states ---

int Shell_PerformCampaign(int state)
{
    SHELLINFO* s = &g_ShellInfo;
    if (state == SS_RETURN) {
        if (s->mode != SHELL_CAMPAIGN) return 0;
        Shell_RunPage("return", Shell_TimedDialogHandler, SS_DEBRIEF, 1);
        return 1;
    }
    if (state == STATE_NEWCAMPAIGN) {
        s->mode = SHELL_CAMPAIGN;
        Shell_SelectMission(FIRST_MISSION, SHELL_SIDE_FIRST);
        s->reserved = s->wonFirst = s->wonSecond = 0;
        s->lastMission = s->lastSide = 0;
        s->selectedMission = FIRST_MISSION;
        s->highestMission = FINAL_MISSION;
        Shell_RunPage("bridge", Shell_TimedDialogHandler, STATE_MAP, 1);
        return 1;
    }
    if (state < STATE_MAP || state > SS_DEBRIEF) return 0;
    Shell_PlayCubeTransition(s->previous, state);
    switch (state) {
    case STATE_MAP: Shell_RunPage("missions", Shell_BuildMissions, 0, 0); break;
    case STATE_OPTIONS: Shell_RunPage("options", Shell_BuildOptions, 0, 0); break;
    case STATE_ARCHIVE: Shell_RunPage("archive", Shell_BuildArchive, 0, 0); break;
    case STATE_STORY: Shell_RunPage("story", Shell_BuildStory, 0, 0); break;
    case STATE_BASIC:
    case STATE_ADVANCED: Shell_RunPage("training", Shell_BuildTraining, 0, 0); break;
    case STATE_LAUNCH: {
        const char* side = s->side == SHELL_SIDE_SECOND ? "brief_s" : "brief_a";
        Shell_PlayShellVideo(side);
        Shell_RunPage(side, Shell_BuildLaunch, 0, 0);
        break;
    }
    case SS_DEBRIEF: Shell_RunPage("debrief", Shell_BuildDebrief, 0, 0); break;
    }
    return 1;
}
