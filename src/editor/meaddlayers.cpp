// The add-unit, add-building and add-object layers: the pickers the select
// tool places from, and the buttons acting on the current tool's selection.
#include <cstdio>

#include "editor/editor.h"
#include "editor/mefile.h"
#include "editor/melayers.h"
#include "editor/meterrain.h"
#include "platform/font.h"
#include "widgets/qibutton.h"
#include "widgets/qigauge.h"
#include "widgets/qiitem.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qimenu.h"
#include "widgets/qislider.h"
#include "widgets/qistatic.h"

enum {
    MEAL_ITEMW = 60,
    MEAL_ITEMH = 50,
    MEAL_COLUMNS = 3,
    MEAL_MAXZOOM = 4,
};

static const QIFont* FontA(void) { return g_MeEditor.fontA ? &g_MeEditor.fontA->font : nullptr; }
static const QIFont* FontB(void) { return g_MeEditor.fontB ? &g_MeEditor.fontB->font : nullptr; }
static const QIFont* FontSmall(void) { return g_MeEditor.fontSmall ? &g_MeEditor.fontSmall->font : nullptr; }
static int LineA(void) { return FontA() ? Font_GetHeight(FontA()->slot) : 10; }

static QIImage Cut(const char* file, int x, int y, int w, int h) { return QIImage(file, IRect(x, y, w, h), 0); }

// Click mode when the picker's current index names an item and a scenario
// is open to place on.
static int Picked(QIList* list, int event)
{
    if (event != QIN_CHANGED || !list || !(g_MeEditor.flags & MEF_OPEN)) return event;
    if (list->current >= 0 && list->ItemAt(list->current)) g_MeEditor.selectTool.SetState(METS_CLICK);
    return event;
}

int MeLayers::OnUnitPicked(QIWidget*, int event, QIARG) { return Picked(g_MeEditor.unitPicker, event); }
int MeLayers::OnBuildingPicked(QIWidget*, int event, QIARG) { return Picked(g_MeEditor.buildingPicker, event); }
int MeLayers::OnObjectPicked(QIWidget*, int event, QIARG) { return Picked(g_MeEditor.objectPicker, event); }

// The current tool's operation on a click, with a scenario open.
template <void (*Op)(MeTool*)> static int OnTool(QIWidget*, int event, QIARG)
{
    if (event == QIN_CLICKED && g_MeEditor.tool && (g_MeEditor.flags & MEF_OPEN)) Op(g_MeEditor.tool);
    return event;
}

static void Delete(MeTool* t) { t->DeleteSelection(); }
static void Copy(MeTool* t) { t->CopySelection(); }
static void AllUnits(MeTool* t) { t->SelectUnitsOfTeam(-1); }
static void TeamUnits(MeTool* t) { t->SelectUnitsOfTeam(g_MeEditor.team); }
static void AllBuildings(MeTool* t) { t->SelectBuildingsOfTeam(-1); }
static void TeamBuildings(MeTool* t) { t->SelectBuildingsOfTeam(g_MeEditor.team); }
static void AllObjects(MeTool* t) { t->SelectAllObjects(); }
static void IncTeam(MeTool* t) { t->NextTeamSelection(); }
static void RemoveDups(MeTool* t) { t->RemoveDuplicateObjects(); }

int MeLayers::OnDelete(QIWidget* w, int e, QIARG d) { return OnTool<Delete>(w, e, d); }
int MeLayers::OnCopy(QIWidget* w, int e, QIARG d) { return OnTool<Copy>(w, e, d); }
int MeLayers::OnSelectAllUnits(QIWidget* w, int e, QIARG d) { return OnTool<AllUnits>(w, e, d); }
int MeLayers::OnSelectTeamUnits(QIWidget* w, int e, QIARG d) { return OnTool<TeamUnits>(w, e, d); }
int MeLayers::OnSelectAllBuildings(QIWidget* w, int e, QIARG d) { return OnTool<AllBuildings>(w, e, d); }
int MeLayers::OnSelectTeamBuildings(QIWidget* w, int e, QIARG d) { return OnTool<TeamBuildings>(w, e, d); }
int MeLayers::OnSelectAllObjects(QIWidget* w, int e, QIARG d) { return OnTool<AllObjects>(w, e, d); }
int MeLayers::OnIncTeam(QIWidget* w, int e, QIARG d) { return OnTool<IncTeam>(w, e, d); }
int MeLayers::OnRemoveDups(QIWidget* w, int e, QIARG d) { return OnTool<RemoveDups>(w, e, d); }

void MeLayers::BrushSizeText(QIString* text) { text->Format(16, "%d", g_MeEditor.selectTool.brushSize); }

static QIButton* Button(QIWidget* parent, const char* id, const char* title, QIHANDLER fn, const IRect& at)
{
    QIButton* b = new QIButton(id, fn, at, title, FontA(), FontB(), nullptr);
    QIWidget::AddChild(parent, b);
    return b;
}

// A picker list of 60 x 50 items in three columns with its scroll bar.
static QIList* Picker(QIWidget* layer, const char* id, QIHANDLER fn, int height)
{
    MeEditor& me = g_MeEditor;
    QIList* list = new QIList(id, fn, IRect(448, 32, 181, height), IPoint(MEAL_ITEMW, MEAL_ITEMH), MEAL_COLUMNS,
                              nullptr, nullptr);
    QIWidget::AddChild(layer, list);
    QISlider* bar = new QITrackSlider("", nullptr, IRect(0, 0, 0, 0), QISO_VERTICAL, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr);
    list->AttachVScroll(bar);
    list->SetEmptyItem(me.pickerItem);
    MeMenuFile::BuildScrollList(bar);
    return list;
}

// "AddUnitLayer"-like layer and its lower panel of delete, copy and select
// buttons.
static QILayer* AddLayer(const char* id, const char* lowerId, QIList** picker, const char* pickerId,
                         QIHANDLER picked, const char* selectAll, QIHANDLER all, const char* selectPlr,
                         QIHANDLER plr)
{
    MeEditor& me = g_MeEditor;
    QILayer* layer = new QILayer(id, nullptr, IRect(448, 32, 192, 300), 0);
    QIWidget::AddChild(me.backdrop, layer);
    QILayer* lower = new QILayer(lowerId, nullptr, IRect(448, 396, 58, 72), 0);
    QIWidget::AddChild(layer, lower);
    if (!me.pickerItem) {
        me.pickerItem = new QIStateImage(Cut("me_objbo.bmp", 2, 0, MEAL_ITEMW, MEAL_ITEMH),
                                         Cut("me_objbo.bmp", 66, 0, MEAL_ITEMW, MEAL_ITEMH),
                                         Cut("me_objbo.bmp", 130, 0, MEAL_ITEMW, MEAL_ITEMH),
                                         Cut("me_objbo.bmp", 130, 0, MEAL_ITEMW, MEAL_ITEMH),
                                         IPoint(MEAL_ITEMW, MEAL_ITEMH));
        me.pickerItem->Update();
    }
    *picker = Picker(layer, pickerId, picked, 300);
    Button(lower, "Delete", "Del", MeLayers::OnDelete, IRect(448, 395, 25, 18));
    Button(lower, "Copy", "Copy", MeLayers::OnCopy, IRect(473, 395, 32, 18));
    Button(lower, selectAll, "Sel All", all, IRect(448, 413, 57, 18));
    Button(lower, selectPlr, "Sel Plr", plr, IRect(448, 431, 57, 18));
    Button(lower, "IncPlr", "Inc Plr", MeLayers::OnIncTeam, IRect(448, 449, 57, 18));
    // The lower panel shows and hides with its parent.
    layer->flags &= ~QIWF_SHOWN;
    return layer;
}

void MeLayers::BuildAddUnit(void)
{
    AddLayer("AddUnitLayer", "AddUnitLayer2", &g_MeEditor.unitPicker, "UnitScroller", OnUnitPicked,
             "UnitSelectAll", OnSelectAllUnits, "UnitSelectPlr", OnSelectTeamUnits);
}

void MeLayers::BuildAddBuilding(void)
{
    AddLayer("AddBuildingLayer", "AddBuildingLayer2", &g_MeEditor.buildingPicker, "BuildingScroller",
             OnBuildingPicked, "BuildingSelectAll", OnSelectAllBuildings, "BuildingSelectPlr",
             OnSelectTeamBuildings);
}

// The four cuts of a value or shape button: x, then the y of normal,
// focused and pressed (pressed with focus is the pressed cut).
static QIValueButton* ValueButton(QIWidget* parent, const char* id, QIHANDLER fn, const IRect& at, int cutX,
                                  const int ys[3], int32_t* value, int step, int limit, QIWidget* listener)
{
    const QIImage n = Cut("me_butns.bmp", cutX, ys[0], at.w, at.h);
    const QIImage f = Cut("me_butns.bmp", cutX, ys[1], at.w, at.h);
    const QIImage p = Cut("me_butns.bmp", cutX, ys[2], at.w, at.h);
    QIValueButton* b = new QIValueButton(id, fn, at, n, f, p, p, value, step, limit);
    b->listener = listener;
    QIWidget::AddChild(parent, b);
    return b;
}

static void Caption(QIWidget* parent, const char* id, const char* text, const IRect& at)
{
    QIWidget::AddChild(parent, new QIStatic(id, nullptr, at, text, FontSmall(), QIJ_CENTRE));
}

void MeLayers::BuildAddObject(void)
{
    MeEditor& me = g_MeEditor;
    QILayer* layer = new QILayer("AddObjectLayer", nullptr, IRect(448, 32, 192, 300), 0);
    QIWidget::AddChild(me.backdrop, layer);
    layer->flags &= ~QIWF_SHOWN;
    me.objectPicker = Picker(layer, "ObjectScroller", OnObjectPicked, 242);
    me.objectPicker->listFlags |= QILF_MULTISELECT;

    QILayer* brushPanel = new QILayer("", nullptr, IRect(448, 332, 58, 136), 0);
    QIWidget::AddChild(layer, brushPanel);
    for (const IRect& r : {IRect(448, 274, 72, 58), IRect(520, 274, 64, 58), IRect(584, 274, 56, 58)})
        QIWidget::AddChild(layer, new QILayer("", nullptr, r, 0));
    Caption(brushPanel, "ObjectBrush", "Brushes", IRect(450, 334, 54, 10));
    Caption(layer, "ObjectBrushSize", "Brush Size", IRect(522, 276, 60, 10));
    Caption(layer, "Zoom", "Zoom", IRect(586, 276, 52, 10));

    QIMenu* shapes = new QIMenu("ObjBrushMenu", nullptr, &me.selectTool.brushShape);
    shapes->SetFlag(false);
    QIWidget::AddChild(brushPanel, shapes);
    me.objectShapeMenu = shapes;
    static const struct {
        const char* id;
        int cutX, y;
    } kShapes[] = {{"ObjBrushSquare", 32, 346}, {"ObjBrushCircle", 64, 386}, {"ObjBrushDiamond", 0, 426}};
    for (const auto& s : kShapes) {
        const QIImage p = Cut("me_butns.bmp", s.cutX, 160, 32, 32);
        QIButton* b = new QIButton(s.id, nullptr, IRect(462, s.y, 32, 32), Cut("me_butns.bmp", s.cutX, 96, 32, 32),
                                   Cut("me_butns.bmp", s.cutX, 128, 32, 32), p, p, "", nullptr, nullptr, nullptr);
        b->style |= QIBS_LATCHING;
        QIWidget::AddChild(shapes, b);
        // The shape starts at 0, the square.
        if (s.cutX == 32) shapes->SetCurrent(b);
    }

    QICallbackText* zoom =
        new QICallbackText("Zoom", nullptr, IRect(620, 312, 16, LineA()), MeEditor::ZoomText, FontA(), QIJ_RIGHT);
    QIWidget::AddChild(layer, zoom);
    static const int kZoomInc[3] = {96, 128, 160}, kZoomDec[3] = {112, 144, 176};
    me.view.zoomInc[1] = ValueButton(layer, "ZoomInc", MeTerrain::OnZoom, IRect(590, 294, 32, 16), 524, kZoomInc,
                                     &me.view.zoom, 1, MEAL_MAXZOOM, zoom);
    me.view.zoomDec[1] = ValueButton(layer, "ZoomDec", MeTerrain::OnZoom, IRect(590, 310, 32, 16), 524, kZoomDec,
                                     &me.view.zoom, -1, 1, zoom);

    // Left presses repeat while held from here on, for every widget made later.
    g_QIDefaultFlags |= QIWF_REPEATLEFT | QIWF_FASTRIGHT;

    QICallbackText* size = new QICallbackText("ObjBrushSize", nullptr, IRect(564, 312, 16, LineA()),
                                              BrushSizeText, FontA(), QIJ_RIGHT);
    QIWidget::AddChild(layer, size);
    static const int kBrushInc[3] = {96, 132, 168}, kBrushDec[3] = {114, 150, 186};
    ValueButton(layer, "BrushInc", nullptr, IRect(526, 292, 34, 18), 556, kBrushInc, &me.selectTool.brushSize, 1,
                MESEL_MAXBRUSH, size);
    ValueButton(layer, "BrushDec", nullptr, IRect(526, 310, 34, 18), 556, kBrushDec, &me.selectTool.brushSize, -1,
                1, size);

    Button(layer, "Delete", "Del", OnDelete, IRect(448, 274, 31, 19));
    Button(layer, "Copy", "Copy", OnCopy, IRect(479, 274, 40, 19));
    Button(layer, "OvlSelectAll", "Sel All", OnSelectAllObjects, IRect(448, 293, 71, 19));
    Button(layer, "OvlRemoveDups", "No Dups", OnRemoveDups, IRect(448, 312, 71, 19));
}
