// The File layer: the category and scenario lists, the folder and leave
// buttons, and the two whole-map terrain buttons.
#include <cstdio>

#include "core/gamestate.h"
#include "core/mlstring.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "editor/meterrain.h"
#include "platform/font.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qidroplist.h"
#include "widgets/qiitem.h"
#include "widgets/qilayer.h"
#include "widgets/qigauge.h"
#include "widgets/qislider.h"
#include "widgets/qistatic.h"

enum {
    MEFL_LEFT = 456,
    MEFL_BUTTONX = 560,
    MEFL_BUTTONW = 76,
    MEFL_BUTTONH = 18,
    MEFL_LISTW = 90,
    MEFL_LISTH = 150,
    MEFL_ITEMW = 200,
    MEFL_ARROW = 13,
    MEFL_DROPW = 176,
    MEFL_DROPH = 15,
    MEFL_TEXT = 64,
};

static const char* const kCategoryLabels[4][2] = {
    {"ScenarioTypeLabel0", "Fixed Missions"},
    {"ScenarioTypeLabel1", "Singleplayer Missions"},
    {"ScenarioTypeLabel2", "Multiplayer Missions"},
    {"ScenarioTypeLabel3", "Multiplayer Campaigns"},
};

// The category the "ScenarioType" list chose; the game's follows it.
static int32_t s_category = SC_SINGLE;

static const QIFont* Font(void) { return g_MeEditor.fontB ? &g_MeEditor.fontB->font : nullptr; }

static int OnCategory(QIWidget*, int event, QIARG)
{
    MeEditor& me = g_MeEditor;
    if (event != QIN_DROPCLOSE) return event;
    if (me.desktop) me.desktop->Repaint(nullptr);
    Game_SetScenarioCategory(s_category);
    me.ListScenarios();
    if (me.scenarioList && !me.scenarioList->IsHidden()) me.scenarioList->Draw(nullptr);
    return event;
}

static int OnPick(QIWidget* widget, int event, QIARG)
{
    QIList* list = static_cast<QIList*>(widget);
    if (event != QIN_CHANGED || list->current < 0 || !g_MeEditor.scenarioName) return event;
    if (QITextItem* item = dynamic_cast<QITextItem*>(list->ItemAt(list->current)))
        g_MeEditor.scenarioName->Set(item->text.c_str());
    return event;
}

static int OnCreate(QIWidget*, int event, QIARG)
{
    if (event == QIN_CLICKED && MeMenuFile::QuerySave()) MeMenuFile::Create();
    return event;
}

static int OnDelete(QIWidget*, int event, QIARG)
{
    if (event == QIN_CLICKED) MeMenuFile::Delete();
    return event;
}

static int OnLoad(QIWidget*, int event, QIARG)
{
    if (event == QIN_CLICKED && MeMenuFile::QuerySave()) MeMenuFile::Load();
    return event;
}

static int OnSave(QIWidget*, int event, QIARG)
{
    if (event == QIN_CLICKED) MeMenuFile::Save();
    return event;
}

static void Label(QIWidget* layer, const char* id, const char* text, int x, int y)
{
    const int line = Font() ? Font_GetHeight(Font()->slot) : 10;
    QIWidget::AddChild(layer, new QIStatic(id, nullptr, IRect(x, y, 120, line), text, Font(), QIJ_LEFT));
}

static void Button(QIWidget* layer, const char* id, const char* text, QIHANDLER fn, int x, int y)
{
    QIWidget::AddChild(layer, new QIButton(id, fn, IRect(x, y, MEFL_BUTTONW, MEFL_BUTTONH), text, Font(), Font(),
                                           Font()));
}

void MeMenuFile::BuildLayer(void)
{
    MeEditor& me = g_MeEditor;
    const int line = Font() ? Font_GetHeight(Font()->slot) : 10;
    QILayer* layer = new QILayer("FileLayer", nullptr, IRect(448, 32, 192, 300), 0);
    QILayer* lower = new QILayer("FileLayer2", nullptr, IRect(448, 396, 58, 72), 0);
    QIWidget::AddChild(me.backdrop, layer);
    QIWidget::AddChild(me.backdrop, lower);

    Label(layer, "ScenarioType", "Scenario Type:", MEFL_LEFT, 38);
    const int dropY = 52;
    QIDropList* types = new QIDropList("ScenarioType", OnCategory, IRect(MEFL_LEFT, dropY, MEFL_DROPW, MEFL_DROPH),
                                       IRect(MEFL_LEFT, dropY + MEFL_DROPH + 4, MEFL_DROPW - 5, 0),
                                       IPoint(MEFL_DROPW - 5, line), QIImage(), QIImage(), QIImage(), QIImage());
    s_category = SC_SINGLE;
    for (int c = 0; c < 4; c++) {
        char text[MEFL_TEXT];
        MLString_GetOrDefine(kCategoryLabels[c][0], kCategoryLabels[c][1], text, sizeof text);
        types->Add(new QIGraphicText(Font(), Font(), Font(), text, &s_category, c, QIJ_LEFT));
    }
    types->SetCurrent(SC_SINGLE);
    Game_SetScenarioCategory(SC_SINGLE);

    Label(layer, "ScenarioFiles", "Scenario Files:", MEFL_LEFT, 74);
    const IRect area(MEFL_LEFT, 88, MEFL_LISTW, MEFL_LISTH);
    QISlider* bar = new QITrackSlider("", nullptr, IRect(area.x + area.w, area.y, MEFL_ARROW, area.h), QISO_VERTICAL,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    QIList* list = new QIList("ScenarioList", OnPick, area, IPoint(MEFL_ITEMW, line), 1, bar, nullptr);
    BuildScrollList(bar);
    QIWidget::AddChild(layer, list);
    me.scenarioList = list;

    static const struct {
        const char *id, *text;
        QIHANDLER fn;
    } kButtons[] = {{"Create", "Create", OnCreate}, {"FileDelete", "Delete", OnDelete}, {"Load", "Load", OnLoad},
                    {"Save", "Save", OnSave},       {"Launch", "Launch", OnLaunch},     {"Menu", "Menu", OnMenu},
                    {"Quit", "Quit", OnQuit}};
    int y = area.y;
    for (const auto& b : kButtons) {
        Button(layer, b.id, b.text, b.fn, MEFL_BUTTONX - 4, y);
        y += MEFL_BUTTONH;
    }

    Label(layer, "MapOptions", "Map Options:", MEFL_LEFT, 250);
    Button(layer, "Random", "Random", MeTerrain::OnRandomTerrain, MEFL_LEFT, 264);
    Button(layer, "AutoRidge", "AutoRidge", MeTerrain::TerrainFromAltitude, MEFL_LEFT + MEFL_BUTTONW, 264);
    // Last: the drop list opens over the widgets below it.
    QIWidget::AddChild(layer, types);
}
