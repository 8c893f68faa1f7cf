// The scenario editor through its desktop's real loop on a scenario tree in
// the target's own directory, driven by arbitrary key codes (held keys give
// any modifiers), pointer moves and presses and releases of both buttons:
// the main menu's layers, the File layer with its boxes and folder
// operations (load, create, save, delete, leave), the Stats layer; and by
// the commands the add and Paths layers give: a unit, building or object
// picker on the select tool, the path tool's waypoints and their
// assignment, selections by team; the team menu, the Player layer and the
// AI layer with its file pickers over description files of every kind. No
// crash, no assertion, the debug heap as it was, at most one unit on a tile
// at its level, every waypoint inside the map, team records within their
// ranges and file names the scenario file can carry. A way out ends the
// visit; the rest of the input goes on in a new one. Each input starts from
// the same tree and a fresh editor. Screenshots go to the target's own
// directory.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "ai/ai.h"
#include "core/config.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "editor/mepath.h"
#include "editor/mepickthing.h"
#include "fuzzinstall.h"
#include "fuzzsupport.h"
#include "game/systems.h"
#include "gen_mapedit.h"
#include "map/map.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "rules/endcond.h"
#include "support/passscript.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitsorder.h"
#include "widgets/qilist.h"
#include "widgets/qidesktop.h"
#include "widgets/qimenu.h"

namespace fs = std::filesystem;

enum { BYTES_PER_PASS = 4, MAX_PASSES = 400, MAX_VISITS = 8 };

// A loadable scenario: the local team and a computer team with a condition
// file, a unit, a building, a thing and a region on the installation's map.
static const char kScenario[] =
    "SetVersion(2)\nSetDefaultTerrain(DEMO)\nSetTechLevel(7)\n"
    "SetTeam(0) { SetTeamSide(0) SetCredit(900) SetStartLocation(240 300) }\n"
    "SetTeam(1) { SetTeamSide(0) SetEnd(win.end) }\n"
    "SetDefaultTeam(0)\nPutUnitAt(12 DemoTank 4 4)\nSetDefaultTeam(1)\n"
    "AddBuildingAt(20 DemoDepot 10 10 critical)\nAddThingAt(30 Tree 2 2)\n"
    "DefineRegion(40 c 100 120 48)\n";

// Folder names of every kind beside "FUZZ", each a copy of it: spaces, bytes
// above 127, mixed case, longer than the list shows, the longest a name may be.
static std::vector<std::string> Folders(void)
{
    return {"FUZZ", "Two Words", "\xc3\x9cN\xc3\x8f", "MiXeD", "ABCDEFGHIJKLMNOP", std::string(255, 'L')};
}

static std::string s_map;

static void WriteFile(const std::string& path, const std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || fclose(f) != 0) abort();
}

static bool Setup(void)
{
    QvFuzz_Setup();
    Plat_InitWith(&g_PlatHeadless);
    PlatHeadless_UseVirtualClock(1);
    QvFuzz_WriteInstallation();
    Video_Init();
    Input_Init();
    // The game's set-up as the editor reaches it (the game layer installs it
    // at the program's start).
    MapEditor_SetSystems(CloseCommonGameSystems, InitCommonGameSystems);
    const std::string home = QvFuzz_Dir();
    std::error_code ec;
    fs::create_directories(home + "/data/mapedit", ec);
    if (!GenMapEdit_WriteAll(home + "/data/mapedit")) abort();
    // A new scenario starts on "BARREN"; every side has its default machine
    // and the condition file is found from any scenario folder.
    fs::copy(home + "/data/graphics/DEMO", home + "/data/graphics/BARREN", ec);
    fs::rename(home + "/data/graphics/BARREN/DEMO.til", home + "/data/graphics/BARREN/BARREN.til", ec);
    fs::rename(home + "/data/graphics/BARREN/DEMO.pal", home + "/data/graphics/BARREN/BARREN.pal", ec);
    for (const char* side : {"1", "2", "3"})
        fs::copy_file(home + "/data/aip/Def_00_0.FSM", home + "/data/aip/Def_0" + side + "_0.FSM", ec);
    fs::copy_file(home + "/scenario/SINGLE/FUZZ/win.end", home + "/data/aip/win.end", ec);
    // Descriptions for the AI layer's lists: long, one word wider than the
    // list, empty, none; names the scenario file can't carry.
    const std::string aip = home + "/data/aip/";
    WriteFile(aip + "LONG.END", "DefineEndCondTree(1) { Description(\"Hold the ridge until the column comes, then "
                                "take the crossing. " + std::string(90, 'W') + "\") }\n");
    WriteFile(aip + "EMPTY.END", "DefineEndCondTree(1) { Description(\"\") }\n");
    WriteFile(aip + "NODESC.FSM", "DefineAICondTree() { }\n");
    WriteFile(aip + "two words.END", "x");
    WriteFile(aip + "BR(ACE.FSM", "x");
    if (!Fs_ReadAll((home + "/scenario/SINGLE/FUZZ/QUORVEX.map").c_str(), &s_map)) abort();
    // Tile sets to step through with T and the terrain layer: one more that
    // loads and one cut short.
    const std::string graphics = home + "/data/graphics/";
    fs::copy(graphics + "DEMO", graphics + "Other", ec);
    fs::rename(graphics + "Other/DEMO.til", graphics + "Other/Other.til", ec);
    fs::rename(graphics + "Other/DEMO.pal", graphics + "Other/Other.pal", ec);
    fs::copy(graphics + "DEMO", graphics + "broken", ec);
    fs::rename(graphics + "broken/DEMO.pal", graphics + "broken/broken.pal", ec);
    fs::resize_file(graphics + "broken/DEMO.til", 64, ec);
    fs::rename(graphics + "broken/DEMO.til", graphics + "broken/broken.til", ec);
    return true;
}

// The same tree at every input, whatever the last one saved, made or deleted.
static void WriteTree(void)
{
    const std::string root = std::string(QvFuzz_Dir()) + "/scenario";
    std::error_code ec;
    fs::remove_all(root, ec);
    for (const char* category : {"FIXED", "SINGLE", "MULTI"})
        for (const std::string& name : Folders()) {
            if (std::string(category) != "SINGLE" && name != "FUZZ") continue;
            const std::string dir = root + "/" + category + "/" + name;
            fs::create_directories(dir, ec);
            WriteFile(dir + "/QUORVEX.scn", kScenario);
            WriteFile(dir + "/QUORVEX.map", s_map);
        }
    // A folder without a scenario and a stray file are not listed.
    fs::create_directories(root + "/SINGLE/EMPTY", ec);
    WriteFile(root + "/SINGLE/NOTES.TXT", "notes");
}

static void CheckTrail(const TRAIL* t)
{
    for (const WAYPOINT* w = t ? t->head : nullptr; w; w = w->next)
        if (w->x < 1 || w->y < 1 || w->x >= mapsizex || w->y >= mapsizey) abort();
}

static bool Level(int v) { return v >= TACTAI_LOW && v <= TACTAI_HIGH; }

static bool Levels(const UNIT_TACTAI& t) { return Level(t.tenacity) && Level(t.autonomy) && Level(t.selfpreservation); }

// Null or one token of at most 63 characters.
static bool Carried(const char* name)
{
    if (!name) return true;
    const size_t n = strlen(name);
    return n > 0 && n <= 63 && strpbrk(name, " \t\r\n(){};\"") == nullptr;
}

static void CheckTeams(void)
{
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        const TEAM_DATA& d = teamdata[t];
        if (d.side < TS_DEFAULT || d.side >= TS_MAX || d.group < 0 || d.group > TEAM_NEUTRAL || d.credits < 0) abort();
        for (int i = 0; i < TEAM_MAXTEAMS; i++) {
            const int r = d.relation[i];
            if (r != TR_ENEMY && r != TR_NEUTRAL && r != TR_ALLY) abort();
            // Every player team is its own ally, and every team neutral towards team 8.
            if ((i == t && t != TEAM_NEUTRAL && r != TR_ALLY) || (i != t && i == TEAM_NEUTRAL && r != TR_NEUTRAL)) abort();
        }
        if (!Carried(Endcond_GetEndCondFile(t))) abort();
        for (int v = 0; v < 3; v++)
            if (!Carried(AI_GetFsmFilename(t, v))) abort();
    }
}

// One unit a tile and level, waypoints the units can reach, and tactical
// levels and trail modes the scenario reader takes.
static void CheckWorld(void)
{
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        if (u->onmap && Units_UnitAtMapLevel(u->maplevel, u->tilepos.x, u->tilepos.y) != u) abort();
        CheckTrail(u->localtrail);
        if (!Levels(u->tactaiinfo) || !Levels(u->usertactaiinfo)) abort();
        if (u->sorder.code == SO_TRAIL && !Level(u->sorder.trail.mode)) abort();
    }
    CheckTrail(&g_MeEditor.pathTool.editPath);
    CheckTeams();
}

// The layers give their commands only with a scenario open.
static void Command(const uint8_t* b)
{
    MeEditor& me = g_MeEditor;
    if (!(me.flags & MEF_OPEN)) return;
    switch ((b[0] & 0x7f) - 8) {
    case 0: { // a picker's item chosen for the select tool
        QIList* pickers[3] = {me.unitPicker, me.buildingPicker, me.objectPicker};
        QIList* l = pickers[b[1] % 3];
        if (!l) break;
        me.tool = &me.selectTool;
        me.selectTool.picker = l;
        l->SetCurrent(l->count ? b[2] % l->count : -1);
        me.selectTool.SetState(METS_CLICK);
        break;
    }
    case 1: // the path tool, adding waypoints
        me.tool->HideSelection();
        me.tool = b[1] & 1 ? static_cast<MeTool*>(&me.pathTool) : &me.selectTool;
        me.tool->ShowSelection();
        if (b[1] & 2) MePaths::BeginAdd();
        break;
    case 2:
        switch (b[1] % 5) {
        case 0: MePaths::Clear(); break;
        case 1: MePaths::AssignToSelection(b[2] % 4 - 1); break;
        case 2: MePaths::CopyFromSelection(); break;
        case 3: MePaths::SetDirection(b[2] % 3); break;
        default: me.tool->Cancel(b[2] & 1); break;
        }
        break;
    default:
        switch (b[1] % 6) {
        case 0: me.tool->SelectUnitsOfTeam(b[2] % 10 - 1); break;
        case 1: me.tool->SelectBuildingsOfTeam(b[2] % 10 - 1); break;
        case 2: me.tool->SelectAllObjects(); break;
        case 3: me.tool->RemoveDuplicateObjects(); break;
        case 4: me.tool->NextTeamSelection(); break;
        default: me.selectTool.brushSize = 1 + b[2] % 10; break;
        }
        break;
    }
    CheckWorld();
}

static void Post(const uint8_t* b)
{
    CheckWorld(); // what the last pass left
    const int x = b[1] * 5 / 2, y = b[2] * 15 / 8;
    PlatHeadless_Advance(b[3] % 100);
    if ((b[0] & 0x7f) >= 8 && (b[0] & 0x7f) < 12) {
        Command(b);
        return;
    }
    switch (b[0] % 8) {
    case 0: Input_RawMouseMove(x, y); break;
    case 1: Input_RawMouseButton(0, 1); break;
    case 2: Input_RawMouseButton(0, 0); break;
    case 3: Input_RawMouseButton(1, 1); break;
    case 4: Input_RawMouseButton(1, 0); break;
    case 5:
    case 6:
        Input_RawKey(b[1], 1, (int8_t)b[2]);
        // With the top bit the key stays down: a held modifier or arrow.
        if (!(b[0] & 0x80)) Input_RawKey(b[1], 0, 0);
        break;
    default:
        // Now and then the start-position or region tool is armed, as the
        // player and end-condition layers' buttons do.
        if (b[2] == 0xA5) {
            // The team chosen as its number key chooses it.
            g_MeEditor.team = b[1] % 9;
            g_MeEditor.RefreshTeam();
            if (QIMenu* menu = dynamic_cast<QIMenu*>(g_MeEditor.teamMenu)) menu->SyncFromIndex();
            g_MeEditor.startPosTool.Arm();
        } else if (b[2] == 0x5A) {
            g_MeEditor.regionTool.Arm();
        } else {
            PlatHeadless_Advance(b[1] * 4u);
        }
        break;
    }
}

// The side of team in the folder's scenario file as the reader takes it; -1
// without one.
static int FileSide(const std::string& text, int team)
{
    const size_t at = text.find("SetTeam(" + std::to_string(team) + ")");
    if (at == std::string::npos) return -1;
    const size_t end = text.find('}', at), side = text.find("SetTeamSide(", at);
    if (side == std::string::npos || side > end) return -1;
    const int v = atoi(text.c_str() + side + 12);
    return v < 0 ? 0 : v > TS_MAX ? TS_MAX : v;
}

// The editor's start with "FUZZ" opened by the File layer's load: the player
// teams' sides are the file's, whatever the last visit showed.
static void OpenEditor(void)
{
    MeEditor& me = g_MeEditor;
    me.Init();
    me.BuildDesktop();
    Game_SetScenarioCategory(SC_SINGLE);
    me.scenarioName->Set("FUZZ");
    MeMenuFile::Load();
    std::string text;
    if (!(me.flags & MEF_OPEN) || !Fs_ReadAll((std::string(QvFuzz_Dir()) + "/scenario/SINGLE/FUZZ/QUORVEX.scn").c_str(), &text))
        return;
    for (int t = 0; t < TEAM_NEUTRAL; t++)
        if (teamdata[t].side != FileSide(text, t)) abort();
    if (me.side != teamdata[me.team].side) abort();
}

// Everything an input could leave for the next, as the program's start has
// it: the editor object with its brushes and tools, the game's state, the
// editor's random stream, the clocks and the pointer. A crash then
// reproduces from its input alone.
static void FreshState(void)
{
    g_MeEditor.~MeEditor();
    new (&g_MeEditor) MeEditor();
    Game_ResetState();
    Crt_Srand(1);
    PlatHeadless_SetClock(0, 0);
    Input_Shutdown();
}

static void CloseEditor(void)
{
    CheckWorld();
    g_MeEditor.desktop->Close();
    g_MeEditor.Close();
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static std::vector<char*> args;
    for (int i = 0; i < *argc; i++)
        if (strncmp((*argv)[i], "-max_len=", 9) == 0) return 0;
    static char maxLen[32];
    snprintf(maxLen, sizeof maxLen, "-max_len=%d", BYTES_PER_PASS * MAX_PASSES);
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, maxLen);
    args.push_back(nullptr);
    *argc = (int)args.size() - 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = Setup();
    (void)ready;
    // Screenshots go to the target's directory; libFuzzer's own paths are
    // relative to where it started.
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd) || chdir(QvFuzz_Dir()) != 0) abort();
    QvFuzzHeapCheck check;
    const size_t passes = size / BYTES_PER_PASS < MAX_PASSES ? size / BYTES_PER_PASS : MAX_PASSES;
    WriteTree();
    FreshState();
    try {
        InitCommonGameSystems();
        size_t next = 0;
        for (int visit = 0; visit < MAX_VISITS && next < passes; visit++) {
            OpenEditor();
            {
                // Room after the input for what its last pass started: a
                // load shows a frame for each file it reads.
                QvPassScript script((int)(passes - next) + 100);
                script.Wait(0, (int)(passes - next));
                script.onPass = [&](int) {
                    if (next < passes) Post(data + next++ * BYTES_PER_PASS);
                };
                g_MeEditor.desktop->Run();
                if (script.overran) abort(); // the loop didn't end
            }
            CloseEditor();
            Input_RawReleaseAll();
        }
        CloseCommonGameSystems();
        // The types go once nothing of the game points at them.
        InitCommonGameSystems();
        QvFuzz_FreeRuleTypes();
        CloseCommonGameSystems();
    } catch (const QvFuzzFatal&) {
        abort(); // an assertion
    }
    Input_RawReleaseAll();
    Mouse_FlushEvents();
    KEY_EVENT k;
    while (Input_GetKeyEvent(&k)) {
    }
    g_GameState = GS_FRONTEND;
    if (chdir(cwd) != 0) abort();
    return 0;
}
