#include "editor/meorders.h"

#include "editor/editor.h"
#include "platform/font.h"
#include "units/team.h"
#include "units/unit.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qilayer.h"
#include "widgets/qimenu.h"
#include "widgets/qistatic.h"

enum {
    MEOR_LEFT = 456,
    MEOR_LABELW = 84,
    MEOR_CHOICEX = 540,
    MEOR_CHOICEW = 32,
    MEOR_ROWH = 18,
};

static const QIFont* FontA(void) { return g_MeEditor.fontA ? &g_MeEditor.fontA->font : nullptr; }
static const QIFont* FontB(void) { return g_MeEditor.fontB ? &g_MeEditor.fontB->font : nullptr; }

static void Redraw(QIWidget* menu)
{
    if (menu) static_cast<QIMenu*>(menu)->SyncFromIndex();
}

int MeOrders::Single(uint32_t mask)
{
    switch (mask) {
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    default: return -1;
    }
}

void MeOrders::Refresh(void)
{
    MEORDERS& o = g_MeEditor.orders;
    Redraw(o.orderMenu);
    Redraw(o.pursuitMenu);
    Redraw(o.toleranceMenu);
    Redraw(o.independenceMenu);
}

void MeOrders::Reset(void)
{
    MEORDERS& o = g_MeEditor.orders;
    const TEAM_UNITDEF& d = teamdata[0].unitdef;
    o.defPursuit = d.tenacity;
    o.defTolerance = 2 - d.selfpreservation;
    o.defIndependence = d.autonomy;
    o.order = o.pursuit = o.tolerance = o.independence = -1;
    for (uint32_t& m : o.masks) m = 0;
    Refresh();
}

void MeOrders::FromSelection(void)
{
    MEORDERS& o = g_MeEditor.orders;
    const uint32_t tenacity = o.masks[0], selfpres = o.masks[1], autonomy = o.masks[2], order = o.masks[3];
    o.order = o.pursuit = o.tolerance = o.independence = -1;
    if (!tenacity && !selfpres && !autonomy) {
        o.order = Single(order);
    } else if (!order) {
        o.pursuit = Single(tenacity);
        if (Single(selfpres) >= 0) o.tolerance = 2 - Single(selfpres);
        o.independence = Single(autonomy);
    }
    Refresh();
}

void MeOrders::Apply(void)
{
    MeEditor& me = g_MeEditor;
    const MEORDERS& o = me.orders;
    if (!me.tool) return;
    me.tool->SetSelectionOrders(o.pursuit, o.independence, o.tolerance < 0 ? -1 : 2 - o.tolerance, o.order);
}

int MeOrders::OnOrder(QIWidget*, int event, QIARG)
{
    if (event != QIN_CHANGED) return event;
    MEORDERS& o = g_MeEditor.orders;
    o.pursuit = o.tolerance = o.independence = -1;
    Redraw(o.pursuitMenu);
    Redraw(o.toleranceMenu);
    Redraw(o.independenceMenu);
    Apply();
    return event;
}

int MeOrders::OnTactical(QIWidget*, int event, QIARG)
{
    if (event != QIN_CHANGED) return event;
    MEORDERS& o = g_MeEditor.orders;
    o.order = -1;
    Redraw(o.orderMenu);
    Apply();
    return event;
}

static int Preset(int event, int pursuit, int tolerance, int independence)
{
    if (event != QIN_PRESSED) return event;
    MEORDERS& o = g_MeEditor.orders;
    o.order = -1;
    Redraw(o.orderMenu);
    o.pursuit = pursuit;
    o.tolerance = tolerance;
    o.independence = independence;
    Redraw(o.pursuitMenu);
    Redraw(o.toleranceMenu);
    Redraw(o.independenceMenu);
    MeOrders::Apply();
    return event;
}

int MeOrders::OnGuard(QIWidget*, int event, QIARG) { return Preset(event, TACTAI_LOW, TACTAI_HIGH, TACTAI_HIGH); }

int MeOrders::OnPursue(QIWidget*, int event, QIARG)
{
    return Preset(event, TACTAI_HIGH, TACTAI_HIGH, TACTAI_MEDIUM);
}

int MeOrders::OnDefault(QIWidget*, int event, QIARG)
{
    const MEORDERS& o = g_MeEditor.orders;
    return Preset(event, o.defPursuit, o.defTolerance, o.defIndependence);
}

int MeOrders::OnSetDefault(QIWidget*, int event, QIARG)
{
    if (event != QIN_PRESSED) return event;
    MEORDERS& o = g_MeEditor.orders;
    // A mixed value keeps the old default: placed units must get 0..2.
    if (o.pursuit >= 0) o.defPursuit = o.pursuit;
    if (o.tolerance >= 0) o.defTolerance = o.tolerance;
    if (o.independence >= 0) o.defIndependence = o.independence;
    return event;
}

static void Label(QIWidget* parent, const char* id, const char* text, int x, int y, int w)
{
    const int line = FontB() ? Font_GetHeight(FontB()->slot) : 10;
    QIWidget::AddChild(parent, new QIStatic(id, nullptr, IRect(x, y, w, line), text, FontB(), QIJ_LEFT));
}

static QIButton* Button(QIWidget* parent, const char* id, const char* text, QIHANDLER fn, const IRect& at)
{
    QIButton* b = new QIButton(id, fn, at, text, FontA(), FontB(), nullptr);
    QIWidget::AddChild(parent, b);
    return b;
}

// A one-of-three menu bound to value, its buttons in a row (or a column).
static QIMenu* Menu(QIWidget* parent, const char* id, QIHANDLER fn, int32_t* value, const char* const ids[3],
                    const char* const titles[3], int x, int y, int w, bool column)
{
    QIMenu* menu = new QIMenu(id, fn, value);
    QIWidget::AddChild(parent, menu);
    for (int i = 0; i < 3; i++) {
        const IRect at = column ? IRect(x, y + i * MEOR_ROWH, w, MEOR_ROWH) : IRect(x + i * w, y, w, MEOR_ROWH);
        Button(menu, ids[i], titles[i], nullptr, at)->style |= QIBS_LATCHING;
    }
    return menu;
}

void MeOrders::BuildLayer(void)
{
    MeEditor& me = g_MeEditor;
    MEORDERS& o = me.orders;
    QILayer* layer = new QILayer("OrdersLayer", nullptr, IRect(448, 32, 192, 300), 0);
    QILayer* lower = new QILayer("OrdersLayer2", nullptr, IRect(448, 396, 58, 72), 0);
    QIWidget::AddChild(me.backdrop, layer);
    QIWidget::AddChild(layer, lower);

    static const char* const kOrderIds[3] = {"OrderScout", "OrderHarass", "OrderSearch"};
    static const char* const kOrderTitles[3] = {"Scout", "Harass", "Search & Destroy"};
    Label(layer, "Order", "Orders:", MEOR_LEFT, 38, 120);
    o.orderMenu = Menu(layer, "OrderMenu", OnOrder, &o.order, kOrderIds, kOrderTitles, MEOR_LEFT + 16, 52, 120, true);

    Label(layer, "OrderBehav", "Behavior settings", MEOR_LEFT, 112, 160);
    static const struct {
        const char *id, *title;
        QIHANDLER fn;
    } kPresets[] = {{"OrderBehavGuard", "Guard", OnGuard},
                    {"OrderBehavPursue", "Pursue", OnPursue},
                    {"OrderBehavDefault", "Default", OnDefault}};
    for (int i = 0; i < 3; i++) Button(layer, kPresets[i].id, kPresets[i].title, kPresets[i].fn, IRect(MEOR_LEFT + i * 58, 126, 58, MEOR_ROWH));

    static const char* const kLevels[3] = {"Low", "Med", "High"};
    static const struct {
        const char *menu, *label1, *text1, *label2, *text2;
        const char* ids[3];
    } kTactical[] = {
        {"OrderTenacityMenu", "OrderPR1", "Pursuit", "OrderPR2", "Range", {"OrderPRLow", "OrderPRMed", "OrderPRHigh"}},
        {"OrderSelfPresMenu", "OrderDT1", "Damage", "OrderDT2", "Tolerance", {"OrderDTLow", "OrderDTMed", "OrderDTHigh"}},
        {"AutonomyMenu", "OrderIND1", "Independence", "OrderIND2", "", {"OrderINDLow", "OrderINDMed", "OrderINDHigh"}},
    };
    int32_t* values[3] = {&o.pursuit, &o.tolerance, &o.independence};
    QIWidget** menus[3] = {&o.pursuitMenu, &o.toleranceMenu, &o.independenceMenu};
    int y = 154;
    for (int i = 0; i < 3; i++, y += 2 * MEOR_ROWH + 4) {
        const auto& t = kTactical[i];
        Label(layer, t.label1, t.text1, MEOR_LEFT, y, MEOR_LABELW);
        Label(layer, t.label2, t.text2, MEOR_LEFT, y + MEOR_ROWH, MEOR_LABELW);
        *menus[i] = Menu(layer, t.menu, OnTactical, values[i], t.ids, kLevels, MEOR_CHOICEX, y + 6, MEOR_CHOICEW, false);
    }
    Button(layer, "OrderSetDefault", "Use as default", OnSetDefault, IRect(MEOR_LEFT, y + 2, 120, MEOR_ROWH));

    // The lower panel shows and hides with its parent.
    layer->flags &= ~QIWF_SHOWN;
}
