// The Stats layer, its counts and the info box around the minimap.
#include "editor/mestats.h"

#include <cstdio>
#include <cstdlib>

#include "core/gamestate.h"
#include "core/tlog.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "map/overlay.h"
#include "platform/font.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/unit.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qiedit.h"
#include "widgets/qiitem.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qigauge.h"
#include "widgets/qislider.h"
#include "widgets/qistatic.h"

enum {
    MESTATS_TEXT = 32,          // a read-out's text
    MESTATS_TECHTEXT = 10,
    MESTATS_TECHMAX = 10,
    MESTATS_TECHLOG = 0x2000,
    MESTATS_LABELX = 456,
    MESTATS_PLAYERX = 536,
    MESTATS_TOTALX = 582,
    MESTATS_TOP = 40,
    MESTATS_ROW = 14,
    MESTATS_ARROW = 13,
};

int32_t MeStats::BuildingWorth(const BUILDINGTYPE* type)
{
    int32_t worth = 0;
    // A chain longer than the table can only be a cycle.
    for (int steps = 0; type && steps <= g_NrBuildingTypes; steps++, type = type->upgradefrom) worth += type->cost;
    return worth;
}

bool MeStats::IsSource(const BUILDINGTYPE* type, int resource)
{
    return type && resource >= 0 && resource < BUILD_RESOURCES && type->resource[resource].production > 0;
}

// The tech-level text and the edit showing it, from the game's tech level:
// the edit keeps its own copy of the text between edits.
static void ShowTechLevel(void)
{
    MeEditor& me = g_MeEditor;
    if (!me.techLevel) return;
    me.techLevel->Format(MESTATS_TECHTEXT, "%d", g_TechLevel);
    QIEditBase* edit = me.desktop ? dynamic_cast<QIEditBase*>(me.desktop->FindByName("TechLevel")) : nullptr;
    if (!edit || edit->Editing()) return;
    snprintf(edit->buffer, (size_t)edit->maxLength + 1, "%s", me.techLevel->c_str());
    if (!edit->IsHidden()) edit->Draw(nullptr);
}

void MeStats::Recount(void)
{
    MeEditor& me = g_MeEditor;
    ShowTechLevel();
    for (METEAM& t : me.teams) t.buildings = t.units = t.worth = 0;
    me.waterTotal = me.crystalTotal = me.overlayTotal = 0;
    ITERATOR it;
    Iterate_BuildInit(&it, 0, TR_ALL);
    while (BUILDING* b = Iterate_BuildNext(&it)) {
        if (b->team < 0 || b->team >= TEAM_MAXTEAMS) continue;
        METEAM& t = me.teams[b->team];
        t.buildings++;
        t.worth += BuildingWorth(b->buildingtype);
        me.waterTotal += IsSource(b->buildingtype, 0);
        me.crystalTotal += IsSource(b->buildingtype, 1);
    }
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        if (u->team < 0 || u->team >= TEAM_MAXTEAMS) continue;
        me.teams[u->team].units++;
        me.teams[u->team].worth += u->type ? u->type->buildcost : 0;
    }
    for (const OVERLAY* o = g_Overlays; o; o = o->nextoverlay) me.overlayTotal += o->type != -1;
}

static void AddItem(QIList* list, const char* text)
{
    const QIFont* font = g_MeEditor.fontB ? &g_MeEditor.fontB->font : nullptr;
    list->Add(new QITextItem(font, text));
}

void MeStats::CheckOutstanding(void)
{
    MeEditor& me = g_MeEditor;
    QIList* list = me.outstandingList;
    if (!list) return;
    list->Clear();
    if (me.waterTotal == 0) AddItem(list, "No water resources");
    if (me.crystalTotal == 0) AddItem(list, "No crystal resources");
    bool any = false;
    // Team 8 is the neutral one: it never plays from a start position.
    for (int t = 0; t < MEEDITOR_RELTEAMS; t++) {
        if (me.teams[t].buildings == 0 && me.teams[t].units == 0) continue;
        any = true;
        if (teamdata[t].startpos.x == -1 || teamdata[t].startpos.y == -1) {
            char text[MESTATS_TEXT + 8];
            snprintf(text, sizeof text, "Team %d has no start location", t + 1);
            AddItem(list, text);
        }
    }
    if (!any) AddItem(list, "No teams defined");
    list->Refresh();
}

void MeStats::WorthText(char* out, int size, int32_t worth)
{
    snprintf(out, (size_t)size, "%d.%d", worth / 1000, (worth % 1000) / 100);
}

void MeStats::CommitTechLevel(void)
{
    MeEditor& me = g_MeEditor;
    if (!me.techLevel) return;
    const int level = atoi(me.techLevel->c_str());
    if (level >= 0 && level <= MESTATS_TECHMAX)
        g_TechLevel = level;
    else
        TLOG(MESTATS_TECHLOG, "tech level out of range [%d]", level);
    ShowTechLevel();
    // The tech level counts as a change: "Modified?" says so at once.
    QIWidget* changed = me.desktop ? me.desktop->FindByName("ScenarioChangedTotal") : nullptr;
    if (changed && !changed->IsHidden()) changed->Draw(nullptr);
}

// ---------------------------------------------------------------- the layer

static int TeamSum(int32_t METEAM::*field)
{
    int sum = 0;
    for (const METEAM& t : g_MeEditor.teams) sum += t.*field;
    return sum;
}

static const METEAM& Current(void)
{
    const int t = g_MeEditor.team;
    return g_MeEditor.teams[t >= 0 && t < MEEDITOR_TEAMS ? t : 0];
}

static void Number(QIString* text, int value) { text->Format(MESTATS_TEXT, "%d", value); }

static void Worth(QIString* text, int32_t worth)
{
    char s[MESTATS_TEXT];
    MeStats::WorthText(s, sizeof s, worth);
    text->Set(s);
}

static void PlayerUnits(QIString* t) { Number(t, Current().units); }
static void TotalUnits(QIString* t) { Number(t, TeamSum(&METEAM::units)); }
static void PlayerBuildings(QIString* t) { Number(t, Current().buildings); }
static void TotalBuildings(QIString* t) { Number(t, TeamSum(&METEAM::buildings)); }
static void PlayerWorth(QIString* t) { Worth(t, Current().worth); }
static void TotalWorth(QIString* t) { Worth(t, TeamSum(&METEAM::worth)); }
static void Overlays(QIString* t) { Number(t, g_MeEditor.overlayTotal); }
static void Water(QIString* t) { Number(t, g_MeEditor.waterTotal); }
static void Crystals(QIString* t) { Number(t, g_MeEditor.crystalTotal); }
static void Changed(QIString* t) { t->Set(MeMenuFile::IsModified() == 1 ? "Yes" : "No"); }

static int OnTechLevel(QIWidget*, int event, QIARG)
{
    if (event == QIN_ENTER) MeStats::CommitTechLevel();
    return event;
}

struct STATSROW {
    const char* id;
    const char* label;
    QITEXTFN player, total;
};

static const STATSROW kRows[] = {
    {"UnitCount", "Units:", PlayerUnits, TotalUnits},
    {"BuildingCount", "Buildings:", PlayerBuildings, TotalBuildings},
    {"WorthCount", "Worth ('000):", PlayerWorth, TotalWorth},
    {"OvlCount", "Overlays:", nullptr, Overlays},
    {"WaterCount", "Water:", nullptr, Water},
    {"CrystalCount", "Crystals:", nullptr, Crystals},
    {"ScenarioChanged", "Modified?", nullptr, Changed},
};

static void Label(QIWidget* layer, const char* id, const char* text, int x, int y, int w, int h)
{
    const QIFont* font = g_MeEditor.fontB ? &g_MeEditor.fontB->font : nullptr;
    QIWidget::AddChild(layer, new QIStatic(id, nullptr, IRect(x, y, w, h), text, font, QIJ_LEFT));
}

void MeStats::BuildLayer(void)
{
    MeEditor& me = g_MeEditor;
    const QIFont* font = me.fontB ? &me.fontB->font : nullptr;
    const int line = font ? Font_GetHeight(font->slot) : 10;
    QILayer* layer = new QILayer("StatsLayer", nullptr, IRect(448, 32, 192, 300), 0);
    QILayer* lower = new QILayer("StatsLayer2", nullptr, IRect(448, 396, 58, 72), 0);
    layer->flags &= ~QIWF_SHOWN;
    lower->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(me.backdrop, layer);
    QIWidget::AddChild(me.backdrop, lower);
    me.statsLayer = layer;
    int y = MESTATS_TOP;
    Label(layer, "StatsSummary", "Summary:", MESTATS_LABELX, y, 80, line);
    Label(layer, "StatsPlayer", "Player", MESTATS_PLAYERX, y, 44, line);
    Label(layer, "StatsTotal", "Total", MESTATS_TOTALX, y, 50, line);
    for (const STATSROW& r : kRows) {
        y += MESTATS_ROW;
        Label(layer, r.id, r.label, MESTATS_LABELX, y, 80, line);
        char name[40];
        if (r.player) {
            snprintf(name, sizeof name, "%sPlayer", r.id);
            QIWidget::AddChild(layer, new QICallbackText(name, nullptr, IRect(MESTATS_PLAYERX, y, 44, line), r.player,
                                                         font, QIJ_LEFT));
        }
        snprintf(name, sizeof name, "%sTotal", r.id);
        QIWidget::AddChild(layer, new QICallbackText(name, nullptr, IRect(MESTATS_TOTALX, y, 50, line), r.total, font,
                                                     QIJ_LEFT));
    }
    y += MESTATS_ROW + 4;
    Label(layer, "TechLevelLabel", "Tech Level:", MESTATS_LABELX, y + 3, 80, line);
    const int editWidth = (font ? Font_StringWidth("9999", font->slot) : 32) + 2 * QIEDIT_MARGIN;
    QIEdit* tech = new QIEdit("TechLevel", OnTechLevel, IRect(MESTATS_PLAYERX, y, editWidth, line + 6),
                              IPoint(QIEDIT_MARGIN / 2, 3), QIEJ_LEFT, me.techLevel, QIEC_DIGITS | QIEC_PUNCTUATION, 0,
                              4, g_MeColours[QIC_FACE], font);
    QIWidget::AddChild(layer, tech);
    y += line + 6 + MESTATS_ROW;
    Label(layer, "Outstanding", "Outstanding Items:", MESTATS_LABELX, y, 120, line);
    y += MESTATS_ROW;
    const IRect area(MESTATS_LABELX, y, 192 - 16, 32 + 300 - 8 - y);
    QISlider* bar =
        new QITrackSlider("", nullptr, IRect(area.x + area.w - MESTATS_ARROW, area.y, MESTATS_ARROW, area.h),
                          QISO_VERTICAL, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    QIList* list = new QIList("OutstandingList", nullptr, IRect(area.x, area.y, area.w - MESTATS_ARROW, area.h),
                              IPoint(area.w - MESTATS_ARROW, line), 1, bar, nullptr);
    MeMenuFile::BuildScrollList(bar);
    QIWidget::AddChild(layer, list);
    me.outstandingList = list;
}

void MeStats::BuildInfoBox(void)
{
    MeEditor& me = g_MeEditor;
    // The read-out's strip sits in the top bar's 150 pixels left of the main
    // menu: anywhere over the side panel it was drawn, every frame, over the
    // shown layer's lowest widgets (the object brush's size and zoom
    // buttons). The minimap keeps its own place in the lower right corner.
    const QIImage frame("topbits.bmp", IRect(0, 0, 150, 32), 0);
    QILayer* box = new QILayer("InfoBoxLayer", nullptr, IRect(0, 0, 150, 32), frame);
    QIWidget::AddChild(me.backdrop, box);
    const QIFont* font = me.fontB ? &me.fontB->font : nullptr;
    QIStatic* title = new QIStatic("InfoBox", nullptr, IRect(0, 0, 150, 32), frame, "Info", font, QIJ_CENTRE);
    QIWidget::AddChild(box, title);
    me.info = title;
}
