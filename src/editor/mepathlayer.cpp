// The Paths layer: the path tool's buttons and the direction menu.
#include "editor/editor.h"
#include "editor/mepath.h"
#include "platform/font.h"
#include "widgets/qibutton.h"
#include "widgets/qilayer.h"
#include "widgets/qimenu.h"
#include "widgets/qistatic.h"

enum { MEPL_LEFT = 456, MEPL_BUTTONW = 150, MEPL_ROWH = 18, MEPL_DIRW = 32 };

static const QIFont* FontA(void) { return g_MeEditor.fontA ? &g_MeEditor.fontA->font : nullptr; }
static const QIFont* FontB(void) { return g_MeEditor.fontB ? &g_MeEditor.fontB->font : nullptr; }

// On a click with a scenario open.
static bool Acts(int event) { return event == QIN_CLICKED && (g_MeEditor.flags & MEF_OPEN); }

static int OnAdd(QIWidget*, int event, QIARG)
{
    if (Acts(event)) MePaths::BeginAdd();
    return event;
}

static int OnClear(QIWidget*, int event, QIARG)
{
    if (Acts(event)) MePaths::Clear();
    return event;
}

static int OnDelete(QIWidget*, int event, QIARG)
{
    if (Acts(event) && g_MeEditor.tool) g_MeEditor.tool->DeleteSelection();
    return event;
}

static int OnAssign(QIWidget*, int event, QIARG)
{
    if (Acts(event)) MePaths::AssignToSelection(g_MeEditor.paths.direction);
    return event;
}

static int OnCopy(QIWidget*, int event, QIARG)
{
    if (Acts(event)) MePaths::CopyFromSelection();
    return event;
}

static int OnDirection(QIWidget*, int event, QIARG)
{
    if (event == QIN_CHANGED && (g_MeEditor.flags & MEF_OPEN)) MePaths::SetDirection(g_MeEditor.paths.direction);
    return event;
}

void MePaths::DirectionFromMenu(void)
{
    MEPATHS& p = g_MeEditor.paths;
    switch (p.directionMask) {
    case 1: p.direction = 0; break;
    case 2: p.direction = 1; break;
    case 4: p.direction = 2; break;
    default: p.direction = -1; break;
    }
    if (p.directionMenu) static_cast<QIMenu*>(p.directionMenu)->SyncFromIndex();
}

void MeEditor::InitNoneLabel(void)
{
    paths.none = new QIString("none");
    paths.direction = 0;
}

static void Label(QIWidget* parent, const char* id, const char* text, int y)
{
    const int line = FontB() ? Font_GetHeight(FontB()->slot) : 10;
    QIWidget::AddChild(parent, new QIStatic(id, nullptr, IRect(MEPL_LEFT, y, 160, line), text, FontB(), QIJ_LEFT));
}

static QIButton* Button(QIWidget* parent, const char* id, const char* title, QIHANDLER fn, const IRect& at)
{
    QIButton* b = new QIButton(id, fn, at, title, FontA(), FontB(), nullptr);
    QIWidget::AddChild(parent, b);
    return b;
}

void MePaths::BuildLayer(void)
{
    MeEditor& me = g_MeEditor;
    QILayer* layer = new QILayer("PathsLayer", nullptr, IRect(448, 32, 192, 300), 0);
    QILayer* lower = new QILayer("PathsLayer2", nullptr, IRect(448, 396, 58, 72), 0);
    QIWidget::AddChild(me.backdrop, layer);
    QIWidget::AddChild(layer, lower);
    Label(layer, "PathWp", "Waypoints:", 38);
    static const struct {
        const char *id, *title;
        QIHANDLER fn;
    } kButtons[] = {{"PathWpAdd", "Add Waypoints", OnAdd},
                    {"PathWpClear", "Clear All", OnClear},
                    {"PathWpDelete", "Delete", OnDelete},
                    {"PathWpAssign", "Assign path to unit", OnAssign},
                    {"PathWpCopy", "Copy Waypoints", OnCopy}};
    int y = 54;
    for (const auto& b : kButtons) {
        Button(layer, b.id, b.title, b.fn, IRect(MEPL_LEFT + 8, y, MEPL_BUTTONW, MEPL_ROWH));
        y += MEPL_ROWH + 2;
    }
    y += 12;
    Label(layer, "PathDir", "Path Direction:", y);
    y += 16;
    QIMenu* menu = new QIMenu("PathDirMenu", OnDirection, &me.paths.direction);
    QIWidget::AddChild(layer, menu);
    me.paths.directionMenu = menu;
    static const char* const kDirections[3][2] = {
        {"PathDirOnce", "->"}, {"PathDirPingPong", "<->"}, {"PathDirLooped", "()"}};
    for (int i = 0; i < 3; i++)
        Button(menu, kDirections[i][0], kDirections[i][1], nullptr,
               IRect(MEPL_LEFT + 8 + i * (MEPL_DIRW + 4), y, MEPL_DIRW, MEPL_ROWH))
            ->style |= QIBS_LATCHING;
    menu->SyncFromIndex();
    // The lower panel shows and hides with its parent.
    layer->flags &= ~QIWF_SHOWN;
}
