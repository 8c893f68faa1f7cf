// The scenario editor: one object for the whole program, visited from the
// state loop's editor state.
//
// Design note. MapEditor_Main starts the object, builds the desktop (every
// layer hidden), runs the desktop's modal loop and closes the object when a
// quit key or a closed window ends the loop. Everything between happens in
// widget handlers, the key hook and the frame hook, on the main thread. The
// object edits the live game model (map elements, teams, things) directly;
// every operation that touches the map first tests MEF_OPEN. Widget
// pointers of layers that this build doesn't have stay null and the
// operations that would use them skip them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "editor/mebigmap.h"
#include "editor/mepath.h"
#include "editor/meselect.h"
#include "editor/mestart.h"
#include "editor/metbrush.h"
#include "editor/metool.h"
#include "platform/graph.h"
#include "widgets/qistring.h"
#include "widgets/qitext.h"

class QIDesktop;
class QIContainer;
class QIList;
class QIStateImage;
class QIWidget;
class MeMiniMap;
class LListNode;

// The editor flags.
enum MEEDITOR_FLAGS : uint32_t {
    MEF_MODIFIED = 0x1,
    MEF_OPEN = 0x2,     // a scenario is open
    MEF_DRAWMAP = 0x4,  // cleared while a modal box covers the map
    MEF_ALTITUDES = 0x8,
    MEF_CLOSING = 0x10, // a close request's save question is up: further ones wait for its answer
};

enum {
    MEEDITOR_NAMELEN = 12,     // the scenario name text, without its terminator
    MEEDITOR_TEAMS = 9,        // teams 0..8 (8 neutral)
    MEEDITOR_RELTEAMS = 8,     // teams with relations
    MEEDITOR_FONTBYTES = 12800,
    MEEDITOR_FONTA = 0,
    MEEDITOR_FONTB = 1,
    MEEDITOR_FONTSMALL = 2,
};

// Relation index 0 enemy, 1 neutral, 2 ally to the team relation.
extern const int32_t g_MeRelations[3];
// The editor's colour table.
extern const uint8_t g_MeColours[13];

// An owned list of items with virtual destructors.
struct MELIST {
    LListNode* head = nullptr;
    LListNode* tail = nullptr;
    int32_t count = 0;
};

// A loaded font: the engine slot and the file it came from.
struct MEFONT {
    QIFont font;
    QIString name;
};

// The Orders layer's state.
struct MEORDERS {
    QIWidget* orderMenu = nullptr;
    QIWidget* pursuitMenu = nullptr;
    QIWidget* toleranceMenu = nullptr;
    QIWidget* independenceMenu = nullptr;
    int32_t order = -1, pursuit = -1, tolerance = -1, independence = -1;
    int32_t defPursuit = 1, defTolerance = 1, defIndependence = 1;
    uint32_t masks[4] = {};
};

// The Paths layer's state, with the "none" label.
struct MEPATHS {
    QIString* none = nullptr;
    QIWidget* directionMenu = nullptr;
    int32_t direction = 0; // -1 none or mixed, 0 once, 1 ping-pong, 2 looped
    uint32_t directionMask = 0;
};

// An end-condition or state-machine selector.
struct MESELECTOR {
    QIWidget* widget = nullptr; // the name field
    QIString* text = nullptr;
    QIList* list = nullptr;     // the description
};

struct METEAM {
    int32_t relation;        // 0 enemy, 1 neutral, 2 ally: the current team's towards this one
    QIWidget* relationWidget;
    int32_t buildings, units, worth;
};

class MeEditor {
public:
    const char* interfaceDir = nullptr;
    QIDesktop* desktop = nullptr;
    QIContainer* backdrop = nullptr;
    QIWidget* info = nullptr;
    QIWidget* teamMenu = nullptr;
    MELIST* owned = nullptr; // its items are deleted at close
    QIList* scenarioList = nullptr;
    QIString* scenarioName = nullptr;
    MELIST* tileSets = nullptr;
    void* currentTileSet = nullptr;
    QIList* unitPicker = nullptr;
    QIList* buildingPicker = nullptr;
    QIList* objectPicker = nullptr;
    QIStateImage* pickerItem = nullptr; // the three pickers' empty-cell frame
    QIList* regionList = nullptr;
    QIList* maskPicker = nullptr;
    QIList* texturePicker = nullptr;
    MEFONT* fontA = nullptr;
    MEFONT* fontB = nullptr;
    MEFONT* fontSmall = nullptr;
    QIWidget* terrainShapeMenu = nullptr;
    QIWidget* objectShapeMenu = nullptr;
    MeTool* tool = nullptr;
    MeToolSelect selectTool;
    MeBrushTerrain terrainBrush;
    MeToolStartPos startPosTool;
    MeToolRegion regionTool;
    MeToolPath pathTool;
    MeTool plainTool;
    QIString* techLevel = nullptr;
    BITMAP scratch{};
    uint32_t baseline = 0;
    uint32_t flags = 0; // MEEDITOR_FLAGS
    int32_t showIds = 0, showPlayers = 0;
    int32_t category = 0;
    MEVIEW view;
    QIWidget* bigMap = nullptr;
    MeMiniMap* miniMap = nullptr;
    MEORDERS orders;
    MEPATHS paths;
    MESELECTOR endCondSelector, fsmSelector;
    QIWidget* statsLayer = nullptr;
    QIList* outstandingList = nullptr;
    int32_t team = 0;
    int32_t side = 0;
    QIWidget* sideWidget = nullptr;
    int32_t plasmaSeed = 1, plasmaGrain = 5, plasmaWater = 4;
    METEAM teams[MEEDITOR_TEAMS] = {};
    QIWidget* groupWidget = nullptr;
    QIString* credits = nullptr;
    int32_t overlayTotal = 0, waterTotal = 0, crystalTotal = 0;

    // Tools, fonts, buffers, texts and the engine's editor switches; the
    // tool is the plain one, no scenario open.
    void Init(void);
    // Undoes Init and deletes the desktop.
    void Close(void);
    // The desktop "MapEdit" on "me_butns.bmp" with its fonts, hooks and
    // every piece this build has; then the scenario list.
    void BuildDesktop(void);
    void BuildToolTipLayer(void);
    void BuildBigMap(void);
    // Init (Close) of the plain tool, the terrain brush and the select tool.
    void OpenTools(void);
    void CloseTools(void);
    // Whether folder holds "QUORVEX.scn" in the category directory.
    bool ScenarioExists(const char* folder);
    // The scenario list from the category directory's writable, visible
    // folders holding a scenario; false (logged "Cannot open directory %s")
    // when the directory can't be read.
    bool ListScenarios(void);
    // The three object pickers emptied and, with a scenario open, filled
    // for the current side.
    void FillObjectPickers(void);
    void DisableEditButtons(void);
    // After a load or create; nothing without a scenario. The side follows
    // the current team's.
    void RefreshAll(void);
    // After the current team changed.
    void RefreshTeam(void);
    // fromTeams: the records follow the teams; else the teams the records.
    void SyncRelations(int fromTeams);
    // The user's side pick into the current team, read back.
    void SetSide(void);
    // New random variation bits (16..20) in every element.
    void RandomizeVariation(void);
    // Each element's altitude - 2 over the 20 x 20 elements from the view's
    // top-left (zoom 1 only).
    void DrawAltitudeNumbers(void);
    // Teams 0..7's start crosses with "Player %d" (lit when selected) and
    // every region's outline with "Region %d", clipped to the big map
    // (zoom 1 only).
    void DrawStartPositions(void);
    void DrawRegions(void);
    // toggle: flips the brush's spray first. The brush-shape buttons'
    // images: solid or sprayed square, circle and diamond of "me_butns.bmp".
    void SetBrushButtonImages(int toggle);
    // "BrushMode" changed (12): the shape buttons follow the mode.
    static int OnBrushMode(QIWidget* widget, int event, QIARG data);
    // "%dx" of the zoom.
    static void ZoomText(QIString* text);
    // The Paths layer's "none" text; the direction once.
    void InitNoneLabel(void);
};

extern MeEditor g_MeEditor;

// The state loop's editor state: start, build, run, close; logs "MapEditor
// is starting." and "MapEditor has shutdown." (TLOG_SAVE).
void MapEditor_Main(void);
// The game's common systems, closed and started again around every load and
// create so that each module starts empty. The game layer above the editor
// installs them (the editor includes nothing of it); a load or create
// without them asserts.
void MapEditor_SetSystems(void (*close)(void), void (*init)(void));
void MapEditor_CloseSystems(void);
void MapEditor_InitSystems(void);
// The scenario list's shown name of a folder ("mYmAP" is "Mymap"); false
// when the name doesn't fit the scenario name text.
bool MeEditor_ShownName(const char* folder, char* out, size_t size);
