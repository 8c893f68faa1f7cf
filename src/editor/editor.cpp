#include "editor/editor.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <string>
#include <vector>

#include "core/debug.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "editor/medesk.h"
#include "editor/meendcond.h"
#include "editor/melayers.h"
#include "editor/meorders.h"
#include "editor/meplayer.h"
#include "editor/mestats.h"
#include "editor/mefile.h"
#include "editor/meminimap.h"
#include "editor/mepickthing.h"
#include "editor/meterrain.h"
#include "map/overlay.h"
#include "units/building.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/region.h"
#include "map/mapview.h"
#include "platform/plat.h"
#include "platform/font.h"
#include "platform/palette.h"
#include "platform/video.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qiitem.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qimenu.h"
#include "widgets/qistatic.h"

MeEditor g_MeEditor;

const int32_t g_MeRelations[3] = {TR_ENEMY, TR_NEUTRAL, TR_ALLY};
const uint8_t g_MeColours[13] = {90, 13, 10, 8, 0, 5, 8, 8, 25, 15, 22, 24, 138};

static const char* const kBitmapDir = "mapedit\\";
static const char* const kFontFiles[3] = {"font256a.pcx", "font256b.pcx", "font8a.pcx"};

// The library's look before the visit: the pages drawn after it keep theirs.
static IPoint s_savedOffset;
static const uint8_t* s_savedColours = nullptr;
static uint32_t s_savedFlags = 0;
// The editor shows the whole map; a game played after the visit sees through
// its own fog again (the see-all flag is read by the simulation too).
static int s_savedSeeAll = 0;


static MEFONT* NewFont(int slot)
{
    MEFONT* f = new MEFONT;
    f->font = QIFont{slot, nullptr, 0};
    f->name.Set("");
    return f;
}

static void FreeList(MELIST*& list)
{
    if (!list) return;
    for (LListNode* n = list->head; n;) {
        LListNode* next = n->next;
        delete n;
        n = next;
    }
    delete list;
    list = nullptr;
}

template <class T> static void FreeOwned(T*& p)
{
    delete p;
    p = nullptr;
}

void MeEditor::OpenTools(void)
{
    plainTool.Init();
    terrainBrush.Init();
    selectTool.Init();
}

void MeEditor::CloseTools(void)
{
    plainTool.Close();
    terrainBrush.Close();
    selectTool.Close();
    // The path being edited belongs to the map the tools leave.
    pathTool.Close();
}

void MeEditor::Init(void)
{
    Graph_InitBitmap(&scratch, 24, 24, nullptr);
    tool = &plainTool;
    flags &= ~(MEF_OPEN | MEF_DRAWMAP | MEF_ALTITUDES);
    MeBigMap::ForgetFrame();
    showIds = showPlayers = 0;
    // The team menu starts on the first team, showing that team's side.
    team = 0;
    side = teamdata[team].side;
    view = MEVIEW{};
    Font_Init(MEEDITOR_FONTBYTES);
    Display_BuildTeamRemaps();
    Display_CreateTerrainBuffer();
    OpenTools();
    tileSets = new MELIST;
    currentTileSet = nullptr;
    owned = new MELIST;
    char name[MEEDITOR_NAMELEN + 1];
    Str_CopySafe(name, g_ScenarioName, sizeof name);
    scenarioName = new QIString(name);
    endCondSelector.text = new QIString("");
    fsmSelector.text = new QIString("");
    credits = new QIString;
    credits->Format(20, "%d", 20000);
    techLevel = new QIString;
    techLevel->Format(20, "%d", g_TechLevel);
    fontA = NewFont(MEEDITOR_FONTA);
    fontB = NewFont(MEEDITOR_FONTB);
    fontSmall = NewFont(MEEDITOR_FONTSMALL);
    s_savedSeeAll = Fog_GetSeeAll();
    Fog_SetSeeAll(1);
    for (METEAM& t : teams) t = METEAM{};
    plasmaSeed = 1;
    overlayTotal = waterTotal = crystalTotal = 0;
    plasmaGrain = 5;
    plasmaWater = 4;
    InitNoneLabel();
    pathTool.Init();
    startPosTool.Init();
    regionTool.Init();
    g_EditorPartsKeepMode = 1;
    g_EditorKeepTerrain = 1;
    MeMenuFile::StoreBaseline();
}

void MeEditor::Close(void)
{
    g_EditorPartsKeepMode = 0;
    g_EditorKeepTerrain = 0;
    pathTool.Close();
    selectTool.Close();
    terrainBrush.Close();
    plainTool.Close();
    startPosTool.Close();
    regionTool.Close();
    FreeOwned(paths.none);
    FreeOwned(pickerItem);
    FreeOwned(fontA);
    FreeOwned(fontB);
    FreeOwned(fontSmall);
    FreeOwned(credits);
    FreeOwned(techLevel);
    FreeOwned(fsmSelector.text);
    FreeOwned(endCondSelector.text);
    FreeOwned(scenarioName);
    FreeList(tileSets);
    currentTileSet = nullptr;
    FreeList(owned);
    Display_FreeTerrainBuffer();
    Font_Close();
    Graph_FreeBitmap(&scratch);
    PREREQ_Done();
    Fog_SetSeeAll(s_savedSeeAll);
    flags &= ~MEF_OPEN;
    // The widgets go with the desktop; forget every pointer into them.
    if (s_savedColours) {
        g_QIButtonOffset = s_savedOffset;
        g_QIColours = s_savedColours;
        g_QIDefaultFlags = s_savedFlags;
        s_savedColours = nullptr;
    }
    delete desktop;
    desktop = nullptr;
    backdrop = nullptr;
    info = teamMenu = nullptr;
    scenarioList = unitPicker = buildingPicker = objectPicker = regionList = maskPicker = texturePicker =
        nullptr;
    terrainShapeMenu = objectShapeMenu = nullptr;
    bigMap = nullptr;
    miniMap = nullptr;
    view.bigMap = nullptr;
    view.miniMap = nullptr;
    view.zoomInc[0] = view.zoomDec[0] = view.zoomText = nullptr;
    sideWidget = groupWidget = statsLayer = nullptr;
    outstandingList = nullptr;
    endCondSelector.widget = fsmSelector.widget = nullptr;
    endCondSelector.list = fsmSelector.list = nullptr;
    for (METEAM& t : teams) t.relationWidget = nullptr;
    orders.orderMenu = orders.pursuitMenu = orders.toleranceMenu = orders.independenceMenu = nullptr;
    paths.directionMenu = nullptr;
    selectTool.picker = nullptr;
}

static void LoadFont(MEFONT* font, const char* file)
{
    char path[GAME_PATH];
    font->name.Set(file);
    if (!Utils_MakePath(path, g_DataDir, kBitmapDir, "", file, "") || !Font_Load(path, font->font.slot))
        TLOG(TLOG_ERROR, "MapEditor: font [%s] not loaded", file);
}

void MeEditor::BuildDesktop(void)
{
    desktop = new QIDesktop("MapEdit", MeDesktop::ShowCursorPos, QIImage("me_butns.bmp", IRect(0, 0, 640, 480), 0),
                            kBitmapDir);
    desktop->dflags |= QID_EXPORTTIPS;
    s_savedOffset = g_QIButtonOffset;
    s_savedColours = g_QIColours;
    // The main menu clears the default Sticky flag for the rest of the visit.
    s_savedFlags = g_QIDefaultFlags;
    g_QIButtonOffset = IPoint(1, 1);
    g_QIColours = g_MeColours;
    LoadFont(fontA, kFontFiles[0]);
    LoadFont(fontB, kFontFiles[1]);
    LoadFont(fontSmall, kFontFiles[2]);
    backdrop = new QIContainer("Backdrop", nullptr);
    QIWidget::AddChild(nullptr, backdrop);
    desktop->defaultFont = &fontB->font;
    desktop->tipFont = &fontSmall->font;
    desktop->keyHook = MeDesktop::HandleEvent;
    BuildToolTipLayer();
    BuildBigMap();
    MeLayers::BuildTeamMenu();
    // The info box's place for the minimap.
    const uint32_t saved = g_QIDefaultFlags;
    g_QIDefaultFlags |= QIWF_STICKY;
    miniMap = new MeMiniMap("MiniMap", g_QIDefaultFlags | QIWF_MOVEUPDATE, IRect(506, 332, 134, 136), &view);
    g_QIDefaultFlags = saved;
    QIWidget::AddChild(backdrop, miniMap);
    view.miniMap = miniMap;
    MeStats::BuildInfoBox();
    MeLayers::BuildMainMenu();
    MeMenuFile::BuildLayer();
    MeTerrain::BuildLayer();
    MeLayers::BuildAddUnit();
    MeLayers::BuildAddBuilding();
    MeLayers::BuildAddObject();
    MePaths::BuildLayer();
    MeOrders::BuildLayer();
    MePlayer::BuildLayer();
    MeEndCond::BuildLayer();
    // The statistics layer last, after the layers whose contents it counts.
    MeStats::BuildLayer();
    MeTerrain::ListTileSets(g_GraphicsDir);
    MeTerrain::FindCurrentTileSet();
    ListScenarios();
    // That drew the names before the desktop opened: its first frame draws
    // them again.
    if (scenarioList) scenarioList->flags |= QIWF_MARK;
}

void MeEditor::BuildToolTipLayer(void)
{
    QILayer* layer = new QILayer("LineToolTipLayer", nullptr, IRect(448, 468, 192, 12), 0);
    QIWidget::AddChild(backdrop, layer);
    QIStatic* line =
        new QIStatic("BaseLineToolTip", nullptr, IRect(449, 469, 190, 10), "Default", &fontSmall->font, QIJ_LEFT);
    line->flags &= ~QIWF_HASTIP;
    QIWidget::AddChild(layer, line);
    desktop->status = line;
}

void MeEditor::BuildBigMap(void)
{
    const uint32_t saved = g_QIDefaultFlags;
    g_QIDefaultFlags |= QIWF_STICKY;
    QIGroup* map = new MeBigMapView("BigMap", MeBigMap::HandleEvent,
                                    IRect(MEBIGMAP_X, MEBIGMAP_Y, MEBIGMAP_SIDE, MEBIGMAP_SIDE));
    g_QIDefaultFlags = saved;
    map->flags |= QIWF_MOVEUPDATE | QIWF_FASTLEFT;
    map->flags &= ~QIWF_HASTIP;
    QIWidget::AddChild(backdrop, map);
    bigMap = map;
    view.bigMap = map;
    for (MeTool* t : {static_cast<MeTool*>(&selectTool), static_cast<MeTool*>(&terrainBrush),
                      static_cast<MeTool*>(&startPosTool), static_cast<MeTool*>(&regionTool),
                      static_cast<MeTool*>(&pathTool), &plainTool})
        t->clip = IRect(MEBIGMAP_X, MEBIGMAP_Y, MEBIGMAP_SIDE, MEBIGMAP_SIDE);
}

bool MeEditor::ScenarioExists(const char* folder)
{
    char path[GAME_PATH];
    if (!Utils_MakePath(path, g_ScenarioCategoryDir, folder, "", "QUORVEX", ".scn")) return false;
    return Fs_Exists(path) != 0;
}

bool MeEditor_ShownName(const char* folder, char* out, size_t size)
{
    const size_t n = strlen(folder);
    if (n > MEEDITOR_NAMELEN || n + 1 > size) return false;
    for (size_t i = 0; i < n; i++)
        out[i] = (char)(i == 0 ? toupper((unsigned char)folder[i]) : tolower((unsigned char)folder[i]));
    out[n] = 0;
    return true;
}

namespace {

// A scenario folder's row. The library fills a plain row with the scheme's
// background entry, black in the editor's scheme, and the current row with
// the face, the panel's own colour: the picked folder looked plain and the
// others picked. Drawn as the region list's rows, plain ones in the panel's
// colour.
class MeFolderItem : public QITextItem {
public:
    MeFolderItem(const QIFont* f, const char* t) : QITextItem(f, t) {}
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override
    {
        if (BITMAP* bb = Backbuf_Lock()) {
            const int fill = MeEditor_RowFill(state);
            // Within the repaint's clip too: a box's close repaints only its
            // place, and a row filled outside it lost its text until the
            // pointer passed over the list.
            GRECT clip;
            Graph_FillRect(bb, QI_WithinDrawClip(&row, &clip), 0, row.x, row.y, row.w, row.h,
                           (uint8_t)(fill >= 0 ? fill : g_MeColours[QIC_FACE]));
        }
        QI_DrawText(font, origin.x + x, origin.y + y, &row, text.c_str());
    }
};

} // namespace

bool MeEditor::ListScenarios(void)
{
    if (scenarioList) scenarioList->Clear();
    const std::string dir = Fs_Resolve(g_ScenarioCategoryDir);
    DIR* d = opendir(dir.c_str());
    if (!d) {
        TLOG(TLOG_ERROR, "Cannot open directory %s", g_ScenarioCategoryDir);
        return false;
    }
    // Sorted: the order a directory lists its entries in is the file
    // system's, and the list must not change between two runs.
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        // Hidden folders are the system's; read-only ones (no owner write
        // bit, whoever runs us) couldn't be saved.
        if (e->d_name[0] == '.') continue;
        const std::string full = dir + "/" + e->d_name;
        struct stat st;
        if (stat(full.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)) continue;
        if (!ScenarioExists(e->d_name)) continue;
        names.push_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    for (const std::string& n : names) {
        char shown[MEEDITOR_NAMELEN + 1];
        if (!MeEditor_ShownName(n.c_str(), shown, sizeof shown)) {
            TLOG(TLOG_WARNING, "Scenario folder [%s] skipped: its name is longer than %d characters", n.c_str(),
                 MEEDITOR_NAMELEN);
            continue;
        }
        if (scenarioList) scenarioList->Add(new MeFolderItem(&fontB->font, shown));
    }
    // A picked row follows the name it picked, not its old place: after a
    // create or a delete the place holds another scenario, and Load acts on
    // the name. No row of the name: none is picked.
    if (scenarioList && scenarioList->current >= 0) {
        int32_t row = -1;
        for (int32_t i = 0; QIGraphic* item = scenarioList->ItemAt(i); i++) {
            const QITextItem* text = dynamic_cast<const QITextItem*>(item);
            if (text && scenarioName && strcasecmp(text->text.c_str(), scenarioName->c_str()) == 0) row = i;
        }
        scenarioList->SetCurrent(row);
    }
    if (scenarioList) scenarioList->Refresh();
    return true;
}

void MeEditor::FillObjectPickers(void)
{
    for (QIList* l : {unitPicker, buildingPicker, objectPicker, regionList})
        if (l) l->Clear();
    if (!(flags & MEF_OPEN)) return;
    if (unitPicker)
        for (int i = 0; i < Units_UnitTypeCount(); i++) {
            UNITTYPE* t = Units_GetTypePtr(i);
            if (t && t->side == side && !t->abilities.noedit) unitPicker->Add(new MePickUnit(t));
        }
    if (buildingPicker)
        for (int i = 0; i < g_NrBuildingTypes; i++)
            if (g_BuildingTypes[i].side == side) buildingPicker->Add(new MePickBuilding(&g_BuildingTypes[i]));
    if (objectPicker)
        for (int i = 0; i < Ovl_NrTypes(); i++)
            if (!Ovl_GetType(i)->noedit) objectPicker->Add(new MePickObject(i));
}

void MeEditor::DisableEditButtons(void)
{
    for (QIList* l : {unitPicker, buildingPicker, objectPicker}) {
        if (!l) continue;
        l->ClearSelection();
        l->SetCurrent(-1);
        l->MarkTree();
        l->Refresh();
    }
}

static void Refresh(QIWidget* w)
{
    // A radio group shows the choice its bound value now holds.
    if (QIMenu* menu = dynamic_cast<QIMenu*>(w))
        menu->SyncFromIndex();
    else if (w && !w->IsHidden())
        w->Draw(nullptr);
}

void MeEditor::RefreshAll(void)
{
    if (!(flags & MEF_OPEN)) return;
    SyncRelations(1);
    // The side shown before belonged to the old scenario's team: the loaded
    // team's own side is what the editor shows and keeps.
    side = teamdata[team].side;
    Refresh(sideWidget);
    FillObjectPickers();
    // After the pickers' refill, which empties the region list too.
    if (regionList)
        for (REGION* r = Region_FindByIndex(1); r; r = Region_FindByIndex(0))
            regionList->Add(new MeRegionItem(r, &fontB->font));
    MeTerrain::FillTilePickers();
    MeTerrain::FindCurrentTileSet();
    selectTool.ForgetSelection();
    MePlayer::ShowGroup();
    MePlayer::RefreshCredits();
    MeEndCond::ListEndConds(team, &fontB->font);
    MeEndCond::ListFsms(team, &fontB->font);
    MeOrders::Refresh();
}

static int RelationIndex(int relation)
{
    switch (relation) {
    case TR_ENEMY: return 0;
    case TR_NEUTRAL: return 1;
    case TR_ALLY: return 2;
    default: return -1;
    }
}

void MeEditor::RefreshTeam(void)
{
    for (int i = 0; i < MEEDITOR_RELTEAMS; i++) {
        const int r = Team_GetRelation(team, i);
        const int index = RelationIndex(r);
        teams[i].relation = index >= 0 ? index : r;
        Refresh(teams[i].relationWidget);
    }
    side = teamdata[team].side;
    Refresh(sideWidget);
    if (flags & MEF_OPEN) {
        FillObjectPickers();
        MePlayer::ShowGroup();
        MePlayer::RefreshCredits();
        MeEndCond::ListEndConds(team, &fontB->font);
        MeEndCond::ListFsms(team, &fontB->font);
    }
    if (desktop) desktop->Repaint(nullptr);
}

void MeEditor::SyncRelations(int fromTeams)
{
    for (int i = 0; i < MEEDITOR_RELTEAMS; i++) {
        const int r = Team_GetRelation(team, i);
        int index = RelationIndex(r);
        if (index < 0) {
            TLOG(TLOG_ERROR, "Unknown Relation %d", r);
            index = r;
        }
        if (index != teams[i].relation) {
            const int chosen = fromTeams ? index : teams[i].relation;
            if (chosen >= 0 && chosen < 3) Team_SetRelation(team, i, g_MeRelations[chosen]);
            const int back = RelationIndex(Team_GetRelation(team, i));
            teams[i].relation = back >= 0 ? back : Team_GetRelation(team, i);
        }
        // Every row, also one whose record already held the relation (the
        // records start at enemy): its widget may still show no choice.
        Refresh(teams[i].relationWidget);
    }
}

void MeEditor::SetSide(void)
{
    Team_SetSide(team, side);
    side = teamdata[team].side;
    Refresh(sideWidget);
    FillObjectPickers();
}

void MeEditor::RandomizeVariation(void)
{
    for (int x = 0; x < mapsizex; x++)
        for (int y = 0; y < mapsizey; y++) {
            MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
            uint32_t tile = e->tile & ~0x1f0000u;
            tile |= (uint32_t)(Crt_Rand() & 7) << 18;
            tile |= (uint32_t)(Crt_Rand() & 3) << 16;
            e->tile = tile;
        }
    MeBigMap::Refresh(1, 0, 0, 0, 0);
    if (miniMap) miniMap->Redraw();
}

void MeEditor::DrawAltitudeNumbers(void)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb || !fontA || !fontB) return;
    const GRECT clip = {MEBIGMAP_X, MEBIGMAP_Y, MEBIGMAP_SIDE, MEBIGMAP_SIDE};
    const int tx = g_MapView.x / 24, ty = g_MapView.y / 24;
    for (int y = ty; y < ty + 20; y++)
        for (int x = tx; x < tx + 20; x++) {
            if (x < 0 || y < 0 || x >= mapsizex || y >= mapsizey) continue;
            const IPoint p = MeBigMap::WorldToScreen(IPoint(x * 24, y * 24));
            char text[16];
            snprintf(text, sizeof text, "%d", (int)MAP_ELEMENT_AT(x, y)->altitude - 2);
            Font_Print(p.x, p.y, text, 0, fontA->font.slot, nullptr, &clip, bb);
            Font_Print(p.x - 1, p.y - 1, text, 0, fontB->font.slot, nullptr, &clip, bb);
        }
}

void MeEditor::ZoomText(QIString* text) { text->Format(16, "%dx", g_MeEditor.view.zoom); }

static void (*s_closeSystems)(void) = nullptr;
static void (*s_initSystems)(void) = nullptr;

void MapEditor_SetSystems(void (*close)(void), void (*init)(void))
{
    s_closeSystems = close;
    s_initSystems = init;
}

void MapEditor_CloseSystems(void)
{
    ASSERT(s_closeSystems != nullptr);
    s_closeSystems();
}

void MapEditor_InitSystems(void)
{
    ASSERT(s_initSystems != nullptr);
    s_initSystems();
}

void MapEditor_Main(void)
{
    MeEditor& me = g_MeEditor;
    TLOG(TLOG_SAVE, "MapEditor is starting.");
    me.interfaceDir = g_InterfaceDir;
    me.Init();
    me.BuildDesktop();
    me.desktop->LoadProperties();
    me.desktop->Run();
    // A closed window or an interrupt leaves as Alt+Q does: a failed save
    // keeps the editor, and its loop, going.
    while (!MeMenuFile::LeaveOnClose()) me.desktop->Run();
    me.desktop->SaveProperties();
    me.desktop->Close();
    me.Close();
    TLOG(TLOG_SAVE, "MapEditor has shutdown.");
}
