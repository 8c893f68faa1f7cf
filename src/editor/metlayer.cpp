// The terrain layer: the tile set, the texture and mask pickers, the brush's
// shape, mode, size, altitude and what it paints, and the zoom.
#include "editor/editor.h"
#include "editor/meterrain.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qigauge.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qimenu.h"
#include "widgets/qistatic.h"

static const char* const kButns = "me_butns.bmp";

// Cells of "me_butns.bmp" that the layer cuts (the brush shapes' are
// SetBrushButtonImages'): the check boxes, their labels and the gauges.
enum {
    CHECK_X = 100, CHECK_Y = 96, CHECK_SIDE = 16,
    LABEL_X = 220, LABEL_Y = 96, LABEL_W = 24, LABEL_H = 16,
    GAUGE_X = 100, GAUGE_Y = 130, GAUGE_W = 100, GAUGE_H = 12, GAUGE_STEP = 10,
    SHAPE_SIDE = 32,
};

static QIImage Cell(int x, int y, int w, int h) { return QIImage(kButns, IRect(x, y, w, h), 0); }

static const QIFont* Font(void) { return g_MeEditor.fontB ? &g_MeEditor.fontB->font : nullptr; }
static const QIFont* Small(void) { return g_MeEditor.fontSmall ? &g_MeEditor.fontSmall->font : nullptr; }

static QIWidget* Add(QIWidget* parent, QIWidget* child)
{
    QIWidget::AddChild(parent, child);
    return child;
}

static void Caption(QIWidget* layer, const char* id, const char* text, int x, int y, int w)
{
    Add(layer, new QIStatic(id, nullptr, IRect(x, y, w, 12), text, Small(), QIJ_LEFT));
}

static QIButton* TextButton(const char* id, QIHANDLER fn, int x, int y, const char* text)
{
    return new QIButton(id, fn, IRect(x, y, 18, 14), text, Small(), Small(), Small());
}

// A value button drawn as a text button.
static QIValueButton* StepButton(const char* id, QIHANDLER fn, int x, int y, const char* text, int32_t* value,
                                 int step, int limit)
{
    QIValueButton* b = new QIValueButton(id, fn, IRect(x, y, 18, 14), QIImage(), QIImage(), QIImage(), QIImage(),
                                         value, step, limit);
    b->title.Set(text);
    b->normalFont = b->focusFont = b->activeFont = Small();
    return b;
}

static QIGauge* Gauge(const char* id, QIHANDLER fn, int x, int y, int levels, int minimum, int32_t* value)
{
    const int w = levels * GAUGE_STEP;
    return new QIGauge(id, fn, IRect(x, y, w, GAUGE_H), Cell(GAUGE_X, GAUGE_Y, w, GAUGE_H),
                       Cell(GAUGE_X, GAUGE_Y + GAUGE_H, w, GAUGE_H), Cell(GAUGE_X, GAUGE_Y + 2 * GAUGE_H, w, GAUGE_H),
                       Cell(GAUGE_X, GAUGE_Y + 3 * GAUGE_H, GAUGE_STEP, GAUGE_H), minimum, minimum + levels - 1, value,
                       IPoint(GAUGE_STEP * (1 - minimum), 0), IPoint(GAUGE_STEP, 0));
}

// A check box on the editor's own cells; label l of the two label cells.
static QICheckButton* Check(const char* id, int x, int y, int l, int32_t* value)
{
    QICheckButton* c = new QICheckButton(id, nullptr, IRect(x, y, CHECK_SIDE + 2 + LABEL_W, CHECK_SIDE),
                                         IPoint(CHECK_SIDE + 2, 0), Cell(LABEL_X, LABEL_Y + 2 * LABEL_H * l, LABEL_W, LABEL_H),
                                         Cell(LABEL_X, LABEL_Y + 2 * LABEL_H * l + LABEL_H, LABEL_W, LABEL_H), value, 1, 0);
    c->SetImages(Cell(CHECK_X, CHECK_Y, CHECK_SIDE, CHECK_SIDE), Cell(CHECK_X + CHECK_SIDE, CHECK_Y, CHECK_SIDE, CHECK_SIDE),
                 Cell(CHECK_X + 2 * CHECK_SIDE, CHECK_Y, CHECK_SIDE, CHECK_SIDE),
                 Cell(CHECK_X + 3 * CHECK_SIDE, CHECK_Y, CHECK_SIDE, CHECK_SIDE));
    c->style = QIBS_LATCHING | QIBS_TOGGLEONRELEASE; // a click ticks, the next one clears
    return c;
}

static void Frame(QIWidget* layer, int x, int y, int w, int h)
{
    Add(layer, new QICaptionFrame("", nullptr, IRect(x, y, w, h), "", Small(), QIJ_LEFT));
}

void MeTerrain::BuildLayer(void)
{
    MeEditor& me = g_MeEditor;
    MeBrushTerrain& brush = me.terrainBrush;
    QILayer* layer = new QILayer("TerrainLayer", nullptr, IRect(448, 32, 192, 300), 0);
    layer->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(me.backdrop, layer);
    const int L = 448, T = 32;
    Frame(layer, L + 2, T + 2, 188, 30);
    Frame(layer, L + 2, T + 34, 188, 52);
    Frame(layer, L + 2, T + 88, 188, 48);
    Frame(layer, L + 2, T + 138, 188, 48);
    Frame(layer, L + 2, T + 188, 92, 30);
    Frame(layer, L + 96, T + 188, 94, 30);
    Frame(layer, L + 2, T + 220, 188, 24);
    Frame(layer, L + 2, T + 246, 188, 20);

    Caption(layer, "TerrainName", "Terrain:", L + 6, T + 4, 60);
    Add(layer, TextButton("TerrainDec", OnTerrainDec, L + 146, T + 4, "-"));
    Add(layer, TextButton("TerrainInc", OnTerrainInc, L + 166, T + 4, "+"));
    Add(layer, new QICallbackText("TerrainName", nullptr, IRect(L + 6, T + 18, 130, 12), NameText, Font(), QIJ_LEFT));

    QIWidget* textures = Add(layer, new QIMenu("TextureMenu", nullptr, nullptr));
    textures->Assign(IRect(L + 4, T + 36, 184, 48));
    textures->flags |= QIWF_HITTEST;
    Caption(textures, "TerrainTiles", "Tiles", L + 6, T + 38, 40);
    Add(textures, Gauge("TextureVariation", OnTextureVariation, L + 94, T + 38, 9, 0, &brush.variation));
    QIList* picker = new QIList("TextureScroller", nullptr, IRect(L + 6, T + 52, 180, 32), IPoint(32, 32), 16, nullptr,
                                nullptr);
    picker->listFlags = QILF_VSCROLL | QILF_HSCROLL;
    Add(textures, picker);
    me.texturePicker = picker;

    Caption(layer, "TerrainMask", "Masks", L + 6, T + 90, 60);
    QIList* masks = new QIList("MaskScroller", OnMaskScroller, IRect(L + 6, T + 102, 128, 32), IPoint(32, 32), 4,
                               nullptr, nullptr);
    masks->listFlags = QILF_MULTISELECT;
    Add(layer, masks);
    me.maskPicker = masks;

    Caption(layer, "TerrainBrush", "Brushes", L + 6, T + 140, 60);
    QIMenu* shapes = new QIMenu("BrushMenu", nullptr, &brush.shape);
    shapes->Assign(IRect(L + 6, T + 152, 3 * SHAPE_SIDE + 4, SHAPE_SIDE));
    shapes->flags |= QIWF_HITTEST;
    Add(layer, shapes);
    const char* const shapeIds[3] = {"BrushSquare", "BrushCircle", "BrushDiamond"};
    for (int i = 0; i < 3; i++) {
        QIButton* b = new QIButton(shapeIds[i], nullptr, IRect(L + 6 + (SHAPE_SIDE + 2) * i, T + 152, SHAPE_SIDE, SHAPE_SIDE),
                                   QIImage(), QIImage(), QIImage(), QIImage(), "", nullptr, nullptr, nullptr);
        b->style = QIBS_LATCHING;
        Add(shapes, b);
    }
    me.terrainShapeMenu = shapes;
    me.SetBrushButtonImages(0);
    shapes->SyncFromIndex();
    Add(layer, new QIToggleButton("BrushMode", MeEditor::OnBrushMode, IRect(L + 112, T + 160, 72, 16), "Spray", "Solid",
                                  Small(), Small(), Small(), &brush.spray, 1, 0));
    brush.spray = 0;

    Caption(layer, "TerrainBrushSize", "Brush Size", L + 6, T + 190, 80);
    QIWidget* size = new QICallbackText("BrushSize", nullptr, IRect(L + 28, T + 202, 24, 14), SizeText, Font(), QIJ_CENTRE);
    Add(layer, StepButton("BrushDec", nullptr, L + 6, T + 202, "-", &brush.size, -1, 1))->listener = size;
    Add(layer, size);
    Add(layer, StepButton("BrushInc", nullptr, L + 56, T + 202, "+", &brush.size, 1, METB_MAXSIZE))->listener = size;
    Caption(layer, "TerrainZoom", "Zoom", L + 100, T + 190, 60);
    QIValueButton* zoomDec = StepButton("ZoomDec", OnZoom, L + 100, T + 202, "-", &me.view.zoom, -1, 1);
    QIValueButton* zoomInc = StepButton("ZoomInc", OnZoom, L + 150, T + 202, "+", &me.view.zoom, 1, ME_MAXZOOM);
    QIWidget* zoom = new QICallbackText("Zoom", nullptr, IRect(L + 122, T + 202, 26, 14), MeEditor::ZoomText, Font(), QIJ_CENTRE);
    zoomDec->listener = zoomInc->listener = zoom;
    Add(layer, zoomDec);
    Add(layer, zoom);
    Add(layer, zoomInc);
    me.view.zoomText = zoom;
    me.view.zoomDec[0] = zoomDec;
    me.view.zoomInc[0] = zoomInc;

    Caption(layer, "TerrainAltitude", "Altitude", L + 6, T + 226, 40);
    QIWidget* alt = Add(layer, new QIMenu("AltMenu", nullptr, nullptr));
    alt->Assign(IRect(L + 50, T + 224, 138, 16));
    alt->flags |= QIWF_HITTEST;
    Add(alt, Gauge("AltLevel", nullptr, L + 50, T + 226, 10, 2, &brush.altitude));
    Add(alt, StepButton("AltDec", nullptr, L + 151, T + 224, "-", &brush.altitude, -100, -2));
    Add(alt, StepButton("AltInc", nullptr, L + 170, T + 224, "+", &brush.altitude, -100, -1));

    Caption(layer, "TerrainPaint", "Paint", L + 6, T + 250, 40);
    Add(layer, Check("DrawTerrain", L + 60, T + 248, 0, &brush.paintTerrain));
    Add(layer, Check("DrawAltitude", L + 120, T + 248, 1, &brush.paintAltitude));
}

void MeTerrain::SizeText(QIString* text) { text->Format(16, "%d", g_MeEditor.terrainBrush.size); }

void MeEditor::SetBrushButtonImages(int toggle)
{
    if (toggle) terrainBrush.spray = !terrainBrush.spray;
    if (!terrainShapeMenu) return;
    static const int kColumn[3] = {32, 64, 0};
    const int row = terrainBrush.spray ? 192 : 96;
    int i = 0;
    for (QIWidget* w = terrainShapeMenu->FirstChild(); w && i < 3; w = w->Next(), i++) {
        QIButton* b = dynamic_cast<QIButton*>(w);
        if (!b) continue;
        const int x = kColumn[i];
        b->SetImages(Cell(x, row, 32, 32), Cell(x, row + 32, 32, 32), Cell(x, row + 64, 32, 32), Cell(x, row + 64, 32, 32));
        b->Update();
    }
}

static void RefreshShapes(void)
{
    QIWidget* m = g_MeEditor.terrainShapeMenu;
    if (m && !m->IsHidden()) m->Draw(nullptr);
}

int MeEditor::OnBrushMode(QIWidget* widget, int event, QIARG data)
{
    (void)widget, (void)data;
    if (event != 12) return event;
    g_MeEditor.SetBrushButtonImages(0);
    RefreshShapes();
    return event;
}

int MeTerrain::OnMaskScroller(QIWidget* widget, int event, QIARG data)
{
    (void)data;
    QIList* list = dynamic_cast<QIList*>(widget);
    if (event != 12 || !list) return event;
    uint32_t set = 0;
    for (int i = 0; i < list->count; i++) {
        const QIGraphic* item = list->ItemAt(i);
        if ((item && (item->itemFlags & QIIF_SELECTED)) || i == list->current) set |= 1u << i;
    }
    g_MeEditor.terrainBrush.masks = set;
    return event;
}

int MeTerrain::OnTextureVariation(QIWidget* widget, int event, QIARG data)
{
    (void)widget, (void)data;
    QIList* picker = g_MeEditor.texturePicker;
    if (event != 12 || !picker) return event;
    const int setting = g_MeEditor.terrainBrush.variation;
    const int current = picker->current < 0 ? 0 : picker->current;
    picker->SetCurrent(current % 16 + 16 * setting);
    picker->ScrollToItem(16 * setting);
    picker->Refresh();
    return event;
}
