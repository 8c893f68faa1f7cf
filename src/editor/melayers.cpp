#include "editor/melayers.h"

#include <algorithm>
#include <cstdio>

#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/mestats.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qimenu.h"
#include "platform/input.h"
#include "units/team.h"

enum { MEMENU_X = 150, MEMENU_W = 49, MEMENU_H = 32 };

enum MELAYER_TOOL { MELT_SELECT, MELT_TERRAIN, MELT_PATH };

struct MELAYER {
    const char* button;
    const char* title;
    const char* layer;
    int tool;   // MELAYER_TOOL
    int picker; // 0 none, 1 units, 2 buildings, 3 objects
    int imageX; // the button's column in "me_butns.bmp"
};

static const MELAYER kRows[MELAYER_ROWS] = {
    {"File", "File", "FileLayer", MELT_SELECT, 0, 0},
    {"Terrain", "Terrain", "TerrainLayer", MELT_TERRAIN, 0, 441},
    {"AddUnit", "Unit", "AddUnitLayer", MELT_SELECT, 1, 196},
    {"AddBuilding", "Building", "AddBuildingLayer", MELT_SELECT, 2, 245},
    {"AddObject", "Object", "AddObjectLayer", MELT_SELECT, 3, 294},
    {"Paths", "Paths", "PathsLayer", MELT_PATH, 0, 392},
    {"Orders", "Orders", "OrdersLayer", MELT_SELECT, 0, 343},
    {"AI", "AI", "EndCondLayer", MELT_SELECT, 0, 49},
    {"Player", "Player", "PlayerLayer", MELT_SELECT, 0, 490},
    {"Stats", "Stats", "StatsLayer", MELT_SELECT, 0, 147},
};

static IPoint s_cursor;

IPoint MeLayers::MenuOffset(const IPoint& delta)
{
    s_cursor.x += delta.x;
    s_cursor.y += delta.y;
    return s_cursor;
}

void MeLayers::LinkChild(QIWidget* child, QIWidget* parent) { QIWidget::AddChild(parent, child); }

static void Become(MeTool* tool)
{
    MeEditor& me = g_MeEditor;
    if (me.tool) me.tool->HideSelection();
    me.tool = tool;
    tool->ShowSelection();
}

// The area a widget and its descendants cover: lower panels lie outside
// their layer's rectangle.
static void Extend(const QIWidget* w, int& x0, int& y0, int& x1, int& y1)
{
    if (w->w && w->h) {
        x0 = std::min(x0, w->x), y0 = std::min(y0, w->y);
        x1 = std::max(x1, w->x + w->w), y1 = std::max(y1, w->y + w->h);
    }
    for (const QIWidget* c = w->FirstChild(); c; c = c->Next()) Extend(c, x0, y0, x1, y1);
}

static IRect Extent(const QIWidget* w)
{
    int x0 = w->x, y0 = w->y, x1 = w->x + w->w, y1 = w->y + w->h;
    Extend(w, x0, y0, x1, y1);
    return IRect(x0, y0, x1 - x0, y1 - y0);
}

static QIList* Picker(int which)
{
    MeEditor& me = g_MeEditor;
    switch (which) {
    case 1: return me.unitPicker;
    case 2: return me.buildingPicker;
    case 3: return me.objectPicker;
    default: return nullptr;
    }
}

QIWidget* MeLayers::ShowLayer(int row, int event)
{
    MeEditor& me = g_MeEditor;
    if (row < 0 || row >= MELAYER_ROWS) return nullptr;
    const MELAYER& r = kRows[row];
    if (row == MELAYER_PLAYER || row == MELAYER_STATS) MeStats::Recount();
    if ((event != QIN_PRESSED && event != QIN_CLICKED) || !me.desktop) return nullptr;
    QIWidget* layer = me.desktop->FindByName(r.layer);
    if (!layer) return nullptr;
    if (event == QIN_PRESSED) {
        if (me.teamMenu && !me.teamMenu->IsHidden()) me.teamMenu->Draw(nullptr);
        me.desktop->ShowWidget(layer);
    } else {
        me.desktop->HideWidget(layer);
        // The library's hide leaves the layer's picture: what was under it
        // is drawn again.
        const IRect area = Extent(layer);
        me.desktop->Repaint(&area);
    }
    const bool open = me.flags & MEF_OPEN;
    const bool shown = !layer->IsHidden();
    if (r.tool == MELT_TERRAIN) {
        if (shown && open)
            Become(&me.terrainBrush);
        else if (me.tool == &me.terrainBrush)
            Become(&me.plainTool);
    } else if (!open) {
        if (me.tool == &me.selectTool) Become(&me.plainTool);
    } else if (shown) {
        if (me.tool) me.tool->HideSelection();
        if (r.tool == MELT_PATH) {
            me.tool = &me.pathTool;
        } else {
            me.tool = &me.selectTool;
            me.selectTool.picker = Picker(r.picker);
        }
        me.tool->ShowSelection();
    }
    if (row == MELAYER_STATS && open) MeStats::CheckOutstanding();
    return layer;
}

template <int Row> static int Handler(QIWidget*, int event, QIARG)
{
    MeLayers::ShowLayer(Row, event);
    return event;
}

const QIHANDLER MeLayers::kHandlers[MELAYER_ROWS] = {
    Handler<0>, Handler<1>, Handler<2>, Handler<3>, Handler<4>,
    Handler<5>, Handler<6>, Handler<7>, Handler<8>, Handler<9>,
};

void MeLayers::BuildMainMenu(void)
{
    MeEditor& me = g_MeEditor;
    QIMenu* menu = new QIMenu("MainMenu", nullptr, nullptr);
    menu->SetFlag(false);
    LinkChild(menu, me.backdrop);
    s_cursor = IPoint(MEMENU_X, 0);
    g_QIDefaultFlags &= ~QIWF_STICKY;
    const QIFont* a = me.fontA ? &me.fontA->font : nullptr;
    const QIFont* b = me.fontB ? &me.fontB->font : nullptr;
    for (int i = 0; i < MELAYER_ROWS; i++) {
        const MELAYER& r = kRows[i];
        const IPoint at = s_cursor;
        const QIImage normal("me_butns.bmp", IRect(r.imageX, 0, MEMENU_W, MEMENU_H), 0);
        const QIImage focus("me_butns.bmp", IRect(r.imageX, MEMENU_H, MEMENU_W, MEMENU_H), 0);
        const QIImage down("me_butns.bmp", IRect(r.imageX, 2 * MEMENU_H, MEMENU_W, MEMENU_H), 0);
        QIButton* button = new QIButton(r.button, kHandlers[i], IRect(at.x, at.y, MEMENU_W, MEMENU_H), normal, focus,
                                        down, down, r.title, a, b, nullptr);
        button->style |= QIBS_LATCHING;
        LinkChild(button, menu);
        if (i == MELAYER_FILE) menu->SetCurrent(button);
        MenuOffset(IPoint(MEMENU_W, 0));
    }
}

enum { METEAM_X = 448, METEAM_Y = 332, METEAM_W = 19, METEAM_H = 21 };

void MeLayers::BuildTeamMenu(void)
{
    MeEditor& me = g_MeEditor;
    QIMenu* menu = new QIMenu("TeamMenu", OnTeamMenu, &me.team);
    me.teamMenu = menu;
    LinkChild(menu, me.backdrop);
    menu->SetFlag(false);
    const QIFont* a = me.fontA ? &me.fontA->font : nullptr;
    const QIFont* b = me.fontB ? &me.fontB->font : nullptr;
    for (int i = 0; i < MEEDITOR_TEAMS; i++) {
        char name[8], title[4];
        snprintf(name, sizeof name, "Plr%d", i + 1);
        snprintf(title, sizeof title, "%d", i + 1);
        const IRect rect(METEAM_X + METEAM_W * (i % 3), METEAM_Y + METEAM_H * (i / 3), METEAM_W, METEAM_H);
        QIButton* button = new QIButton(name, nullptr, rect, title, a, b, nullptr);
        button->style |= QIBS_LATCHING;
        LinkChild(button, menu);
        if (i == 0) menu->SetCurrent(button);
    }
}

int MeLayers::OnTeamMenu(QIWidget*, int event, QIARG data)
{
    if (event != QIN_CHANGED) return event;
    MeEditor& me = g_MeEditor;
    me.RefreshTeam();
    const QIPointer* p = (const QIPointer*)data;
    if (!p || !(p->modifiers & (MOD_LSHIFT | MOD_RSHIFT)) || me.team < 0 || me.team >= MEEDITOR_TEAMS) return event;
    const TEAM_STARTPOS& start = teamdata[me.team].startpos;
    if (start.x != 0 && start.y != 0) MeBigMap::Centre(start.x, start.y);
    return event;
}
