#include "ui/igimenu.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "core/fspath.h"
#include "platform/input.h"
#include "platform/sound.h"
#include "rules/gamemsg.h"
#include "save/save.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igidisp.h"
#include "ui/igievnt.h"
#include "ui/igipanel.h"
#include "ui/igitext.h"
#include "ui/igitrail.h"
#include "ui/igiworld.h"
#include "ui/slist.h"
#include "ui/textedit.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/unit.h"

const char* const kIgiSaveName = "murn.sav";

static SLIST* s_list;

enum { BRIEFING_SECTION = 1 };

SLIST* Igimenu_List(void) { return s_list; }

int Igimenu_ValidName(const char* name)
{
    return name && name[0] && name[0] != '.' && !strpbrk(name, "/\\:");
}

void Igimenu_RefillList(void)
{
    if (!s_list) return;
    int sx = s_list->scrollx, sy = s_list->scrolly;
    SList_Clear(s_list);
    SList_ReadDirectory(s_list, g_SaveDir, SLIST_FILES);
    SList_Scroll(s_list, sx, sy);
    IgiDisp_SetZoneDirty(IGIMENU_LISTZONE);
}

// The path of the named file in the save directory, or 0 with a warning on
// the message lines. Without a configured directory the name would reach
// whatever folder the process runs in.
static int SavePath(char* path)
{
    if (!g_SaveDir[0] || !Igimenu_ValidName(igi_nfo.savename) ||
        !Utils_MakePath(path, g_SaveDir, "", "", igi_nfo.savename, "")) {
        char line[IGIDISP_MESSAGELEN + 32];
        snprintf(line, sizeof line, "Not a saved game name [%s]", igi_nfo.savename);
        IgiDisp_AddMessage(line);
        return 0;
    }
    return 1;
}

void Igimenu_Delete(void)
{
    char path[GAME_PATH];
    if (!SavePath(path)) return;
    std::remove(Fs_Resolve(path).c_str());
    Igimenu_RefillList();
}

// Steps 1 and 2 of a load or save: nothing selected, the message shown
// before the wait.
static void BeforeWait(int msg)
{
    Igievnt_ClearSelection();
    Igievnt_DropBuilding();
    Igievnt_UpdateOrderSettings();
    Igievnt_HandleGameEvent(1);
    Igidisp_SetDirty();
    const GAMEMSG_ARG arg = GameMsg_Str(igi_nfo.savename);
    Igipanel_MsgVar(msg, &arg, 1);
    IgiDisp_Update();
}

void Igimenu_AfterLoad(void)
{
    IgiWorld_AfterLoad();
    Igievnt_ClearSelection();
    Igievnt_DropBuilding();
    Trail_Clear(&igi_nfo.edittrail);
    igi_nfo.curwaypoint = nullptr;
    igi_nfo.event.waypoint = -1;
    igi_nfo.event.unit = nullptr;
    igi_nfo.event.build = nullptr;
    // The lists held handles into the freed game: the units' own bytes say
    // who belongs where.
    for (UNITLIST& g : igi_nfo.group) Units_ListClear(&g);
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    for (UNIT* u = Iterate_UnitNext(&it); u; u = Iterate_UnitNext(&it)) {
        if (u->team != g_LocalTeam) continue;
        for (int g = 0; g < UNITS_IGIGROUPS; g++)
            if (u->interfaceinfo.group[g]) Units_ListAppend(&igi_nfo.group[g], u, u->id, u->team);
    }
    Igievnt_UpdateOrderSettings();
    Igitrail_RebuildList();
    Igidisp_SetDirty();
}

int Igimenu_LoadFile(const char* path)
{
    const int result = Save_Load(path);
    if (result == SAVE_OTHERSCENARIO) {
        snprintf(g_PendingLoadName, sizeof g_PendingLoadName, "%s", path);
        g_SaveFlags |= SAVEF_PENDINGLOAD;
        g_GameState = GS_LOADGAME;
    }
    return result;
}

static void NotLoaded(int msg)
{
    Igipanel_Msg(msg);
    const std::string line = std::string("Saved game [") + igi_nfo.savename + "] not loaded: " + Save_LoadReason();
    IgiDisp_AddMessage(line.c_str());
}

void Igimenu_Load(void)
{
    char path[GAME_PATH];
    if (g_NetworkGame || !SavePath(path)) return;
    BeforeWait(MSG_IGILOADINGGAME);
    switch (Igimenu_LoadFile(path)) {
    case SAVE_LOADED: Igimenu_AfterLoad(); break;
    case SAVE_BADFILE: NotLoaded(MSG_SAVEINVALID); break;
    case SAVE_OLDVERSION: NotLoaded(MSG_SAVEOUTOFDATE); break;
    default: break;
    }
}

void Igimenu_Save(void)
{
    char path[GAME_PATH];
    if (!SavePath(path)) return;
    BeforeWait(MSG_IGISAVINGGAME);
    if (Save_Game(path, 0)) {
        Igipanel_Msg(MSG_SAVEDONE);
    } else {
        char line[IGIDISP_MESSAGELEN + 32];
        snprintf(line, sizeof line, "Unable to save [%s]", igi_nfo.savename);
        IgiDisp_AddMessage(line);
    }
    Igimenu_RefillList();
}

static void ResetName(void)
{
    snprintf(igi_nfo.savename, sizeof igi_nfo.savename, "%s", kIgiSaveName);
    IgiDisp_SetZoneDirty(IGIMENU_NAMEZONE);
}

void Igievnt_SaveNameHandler(uint32_t zd, uint32_t reason)
{
    IgiDisp_SetZoneDirty((int)zd);
    if (reason == ZR_INPUT) Igievnt_HandleEditZone((int)zd);
}

void Igievnt_SaveListHandler(uint32_t zd, uint32_t reason)
{
    if (!s_list) return;
    if (reason == ZR_UPDATE) {
        // The list only offers names: it never keeps a selection.
        SList_Select(s_list, -1);
        if (Igievnt_ListDragUpdate(s_list, IGIMENU_LOCK)) IgiDisp_SetZoneDirty((int)zd);
        return;
    }
    if (reason != ZR_INPUT) return;
    if (igi_nfo.event.kind == EV_LEFTUP) {
        const char* text = nullptr;
        if (SList_SelectAt(s_list, igi_nfo.event.x, igi_nfo.event.y, &text, nullptr, nullptr) < 0 || !text) return;
        snprintf(igi_nfo.savename, sizeof igi_nfo.savename, "%s", text);
        IgiDisp_SetZoneDirty(IGIMENU_NAMEZONE);
        return;
    }
    Igievnt_ListDragInput(s_list, IGIMENU_LOCK, ResetName);
}

// --- buttons and sliders ---

static void LoadButton(uint32_t) { Igimenu_Load(); }
static void SaveButton(uint32_t) { Igimenu_Save(); }
static void DeleteButton(uint32_t) { Igimenu_Delete(); }

static void ObjectivesButton(uint32_t)
{
    char path[GAME_PATH];
    if (Utils_MakePath(path, g_ScenarioDir, "", "", "quorvex.brf", "")) IgiDisp_ShowBriefing(path, BRIEFING_SECTION);
}

static void RestartButton(uint32_t) { g_GameState = GS_NEWGAME; }
static void HandOverButton(uint32_t) { Orders_QAITakeover(g_LocalTeam); }
static void SurrenderButton(uint32_t) { Orders_QSurrender(g_LocalTeam); }

static void ExitButton(uint32_t)
{
    g_GameState = GS_QUIT;
    Igipanel_Msg(MSG_INTERFACETERM);
}

static void DigitalVolume(uint32_t, int value) { Sound_SetDigitalVolume(value); }
static void CdVolume(uint32_t, int value) { Sound_SetCdVolume(value); }
static void GameSpeed(uint32_t, int value) { Orders_QGameSpeed(value); }
static void ScrollSpeed(uint32_t, int value) { IgiDisp_SetScrollSlider(value); }

void Igimenu_DefineZones(void)
{
    Igievnt_DefineStdButton(3, LoadButton, "IGI_MELOAD", SBT_SML, 473, 90, ZL_MENU);
    Igievnt_DefineStdButton(4, SaveButton, "IGI_MESAVE", SBT_SML, 473, 112, ZL_MENU);
    Igievnt_DefineStdButton(5, DeleteButton, "IGI_MEDELE", SBT_SML, 473, 134, ZL_MENU);
    Igievnt_DefineButton(IGIMENU_NAMEZONE, Igievnt_SaveNameHandler, 547, 92, 90, 15, 2, 2, igi_nfo.savename,
                         IGI_TEXTMAX, kIgiSaveName, TEC_LETTERS | TEC_DIGITS | TEC_FULLSTOP, 0, ZL_MENU);
    Igievnt_DefinePlain(IGIMENU_LISTZONE, Igievnt_SaveListHandler, 547, 114, 90, 44, ZL_MENU);
    Igievnt_DefineSlider(65, Igievnt_HandleStdButton, DigitalVolume, 1, 528, 181, 103, 10, 127, 88, 1, ZL_MENU);
    int cd = Sound_GetCdVolume();
    Igievnt_DefineSlider(66, Igievnt_HandleStdButton, CdVolume, 1, 528, 197, 103, 10, 127, cd < 127 ? cd : 127, 1,
                         ZL_MENU);
    Igievnt_DefineSlider(IGIMENU_SPEEDZONE, Igievnt_HandleStdButton, GameSpeed, 0, 528, 213, 103, 10, 60,
                         g_UpdatesPerSecond, 0, ZL_MENU);
    Igievnt_DefineSlider(68, Igievnt_HandleStdButton, ScrollSpeed, 1, 528, 229, 103, 10, 50, 10, 1, ZL_MENU);
    Igievnt_DefineStdButton(69, ObjectivesButton, "IGI_MEOBJE", SBT_LGE, 479, 249, ZL_MENU);
    Igievnt_DefineStdButton(70, RestartButton, "IGI_MESTAR", SBT_LGE, 479, 271, ZL_MENU);
    Igievnt_DefineStdButton(71, HandOverButton, "IGI_MERELI", SBT_LGE, 479, 271, ZL_MENU);
    Igievnt_DefineStdButton(72, SurrenderButton, "IGI_MESURR", SBT_LGE, 479, 293, ZL_MENU);
    Igievnt_DefineStdButton(73, ExitButton, "IGI_MEEXIT", SBT_LGE, 479, 315, ZL_MENU);
    Igizone_SetDisabled(70, g_NetworkGame ? 1 : 0);
    Igizone_SetDisabled(71, g_NetworkGame ? 0 : 1);
    Igizone_SetDisabled(65, Sound_DigitalOn() ? 0 : 1);
    Igizone_SetDisabled(66, Sound_RedbookOn() ? 0 : 1);
    if (!s_list) s_list = SList_New(548, 115, 635, 156, 0, IGIMENU_ROW, nullptr, nullptr);
    SList_Clear(s_list);
    IgiDisp_SetZoneList(IGIMENU_LISTZONE, s_list);
}

void Igimenu_Close(void)
{
    IgiDisp_SetZoneList(IGIMENU_LISTZONE, nullptr);
    SList_Delete(s_list);
    s_list = nullptr;
}
