#include "demo/widgetdemo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/gamestate.h"
#include "core/tlog.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "platform/cursor.h"
#include "platform/font.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qidroplist.h"
#include "widgets/qiedit.h"
#include "widgets/qigauge.h"
#include "widgets/qiimage.h"
#include "widgets/qiitem.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qimenu.h"
#include "widgets/qistatic.h"
#include "widgets/qitext.h"
#include "widgets/qiwidget.h"

namespace {

enum { FONT_BYTES = 256 * 1024, ROW_H = 18 };

const char* const kDir = "wdemo\\";
const char* const kPage = "wpage.bmp";
const char* const kCells = "wcells.bmp";
const char* const kSection = "WidgetDemo";
// Where the page picture keeps its emblem (mkdata draws it there).
const IRect kEmblem(560, 400, 64, 64);

struct PAGE {
    bool open = false;
    std::unique_ptr<QIDesktop> desktop;
    QIWidget* page = nullptr;
    QICallbackText* clock = nullptr;
    QICallbackText* counter = nullptr;
    QICallbackText* values = nullptr;
    int32_t presses = 0, level = 5, held = 0, checked = 1, sound = 0;
    QIFont big{1, nullptr, 0}, small{2, nullptr, 0}, large{0, nullptr, 0};
    QIFont dimFont{2, g_DimTable, 0}; // readable on the light row under the pointer
    QIImage cells, remap;
    std::vector<std::unique_ptr<QIGraphic>> rows;
    QIString rowsCaption;
    int32_t chosen = 0;
    // The menu and its three layers.
    QIMenu* menu = nullptr;
    QIWidget* layers[3] = {};
    int32_t layerIndex = 0;
    QIList* log = nullptr;
    int32_t logLines = 0;
    int32_t difficulty = 1, colour = 0, gaugeLevel = 3, track = 20, trackRange = 100, trackPage = 10;
    QIString fieldText[3];
    QIStatic* echo = nullptr;
    QIStatic* answer = nullptr;
    QICallbackText* choice = nullptr;
    QICallbackText* gaugeText = nullptr;
};
PAGE s_page;

void ClockText(QIString* text)
{
    const uint32_t ms = Plat_SystemMs();
    text->Format(40, "System clock %u.%u s", ms / 1000, ms / 100 % 10);
}

QIImage Cell(int c) { return QIImage(kCells, IRect(24 * c, 0, 24, 24), 0); }

void DrawRows(void);
void DrawShowcase(void);

// The drawing functions' showcase and the list rows: not widgets of their
// own, drawn whenever the page is.
class Showcase : public QIWidget {
public:
    Showcase() : QIWidget("WShowcase", nullptr) { flags &= ~(QIWF_HITTEST | QIWF_HASTIP | QIWF_EXPORTS); }
    void Draw(const IRect*) override
    {
        DrawShowcase();
        DrawRows();
    }
};

void CounterText(QIString* text) { text->Format(40, "Pressed %d times", s_page.presses); }
void ValuesText(QIString* text)
{
    text->Format(60, "Level %d  held %d  ticked %d  sound %d", s_page.level, s_page.held,
                 s_page.checked, s_page.sound);
}

int CountPress(QIWidget*, int code, QIARG)
{
    if (code == QIN_PRESSED) {
        s_page.presses++;
        s_page.counter->Draw(nullptr);
    }
    return 0;
}

int ShowValues(QIWidget*, int code, QIARG)
{
    if (code == QIN_CHANGED) s_page.values->Draw(nullptr);
    return 0;
}

// Play and Quit end the loop with the state the program goes to next.
int EndWith(QIWidget* w, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    const int state = w->name.CompareCStr("WPlay") == QISTR_EQUAL ? GS_NEWGAME : GS_QUIT;
    g_GameState = state;
    s_page.desktop->exitCode = state;
    s_page.desktop->dflags &= ~QID_RUNNING;
    return 0;
}

// A filled line of changing text (the status line's tips, read-outs): it
// clears its box and cuts the text at its edge, so a long text leaves
// nothing behind when a short one follows.
class TextLine : public QIStatic {
public:
    TextLine(const char* name, const IRect& rect, const char* t, const QIFont* f)
        : QIStatic(name, nullptr, rect, t, f, QIJ_LEFT)
    {
        style = QISS_FILL;
    }
    void Draw(const IRect* clip) override
    {
        IRect box(x, y, w + 1, h + 1);
        if (clip) {
            const int32_t x1 = std::max(box.x, clip->x), y1 = std::max(box.y, clip->y);
            const int32_t x2 = std::min(box.x + box.w, clip->x + clip->w);
            const int32_t y2 = std::min(box.y + box.h, clip->y + clip->h);
            if (x2 <= x1 || y2 <= y1) return;
            box = IRect(x1, y1, x2 - x1, y2 - y1);
        }
        QIStatic::Draw(&box);
    }
};

// A button just wide enough for the widest of its titles in any of its
// fonts, with a margin for the frame.
int32_t FitWidth(const char* const* titles, int n, QIFont* const* fonts)
{
    int32_t widest = 0;
    for (int t = 0; t < n; t++)
        for (int f = 0; f < 3; f++) widest = std::max(widest, (int32_t)QI_TextWidth(fonts[f], titles[t]));
    return widest + 10;
}

// List rows whose font suits their fill: entry 3, under the pointer, is
// white on this palette, as the list font is; the dimmed font reads there.
class PageRow : public QITextItem {
public:
    PageRow(const char* t) : QITextItem(&s_page.small, t) {}
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override
    {
        font = (state & (QIROW_HOVER | QIROW_CURRENT)) == QIROW_HOVER ? &s_page.dimFont : &s_page.small;
        QITextItem::Draw(origin, row, state);
    }
};

// A drop list's choice, likewise for its open rows.
class PageChoice : public QIGraphicText {
public:
    PageChoice(const char* t, int32_t* valueAt, int32_t v)
        : QIGraphicText(&s_page.small, &s_page.small, &s_page.big, t, valueAt, v, QIJ_LEFT)
    {
    }
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override
    {
        const bool white = !(state & QIROW_NOBACK) && (state & (QIROW_HOVER | QIROW_CURRENT)) == QIROW_HOVER;
        secondFont = white ? &s_page.dimFont : &s_page.small;
        QIGraphicText::Draw(origin, row, state);
    }
};

template <class T> T* Add(QIWidget* parent, T* w)
{
    w->flags |= QIWF_HASTIP;
    QIWidget::AddChild(parent, w);
    return w;
}

void BuildButtons(QIWidget* page)
{
    PAGE& p = s_page;
    const IRect frame(172, 364, 384, 112);
    QIWidget::AddChild(page, new QICaptionFrame("WButtons", nullptr, frame, "Buttons", &p.small,
                                                QIJ_LEFT));
    QIFont* f[3] = {&p.small, &p.big, &p.big};
    const int x0 = 180, y1 = 380, y2 = 406, y3 = 434;

    QIButton* count = Add(page, new QIButton("WCount", CountPress, IRect(x0, y1, 64, 20), "Hold me",
                                             f[0], f[1], f[2]));
    count->flags |= QIWF_REPEATLEFT;
    p.counter = new QICallbackText("WCounter", nullptr, IRect(x0 + 70, y1 + 4, 110, 12), CounterText,
                                   &p.small, QIJ_LEFT);
    QIWidget::AddChild(page, p.counter);
    Add(page, new QIButton("WLatch", nullptr, IRect(x0 + 186, y1, 56, 20), "Latch", f[0], f[1], f[2]))
        ->style = QIBS_LATCHING | QIBS_SECONDPRESSRELEASES;
    Add(page, new QIButton("WFlip", nullptr, IRect(x0 + 248, y1, 56, 20), "Flip", f[0], f[1], f[2]))
        ->style = QIBS_LATCHING | QIBS_TOGGLEONRELEASE;

    Add(page, new QIValueButton("WLess", ShowValues, IRect(x0, y2, 24, 24), Cell(0), Cell(1),
                                Cell(2), Cell(3), &p.level, -1, 0));
    Add(page, new QIValueButton("WMore", ShowValues, IRect(x0 + 30, y2, 24, 24), Cell(0), Cell(1),
                                Cell(2), Cell(3), &p.level, 1, 9));
    Add(page, new QIPressButton("WHold", ShowValues, IRect(x0 + 60, y2, 24, 24), Cell(0), Cell(1),
                                Cell(2), Cell(3), &p.held, 1, 0));
    const IPoint label(14, 3);
    QIImage tag(kCells, IRect(48, 6, 24, 12), 0), tagFocus(kCells, IRect(72, 6, 24, 12), 0);
    Add(page, new QICheckButton("WTick", ShowValues, IRect(x0 + 92, y2 + 3, 11, 18), label, tag,
                                tagFocus, &p.checked, 1, 0))
        ->style = QIBS_LATCHING | QIBS_SECONDPRESSRELEASES;
    p.values = new QICallbackText("WValues", nullptr, IRect(x0 + 136, y2 + 6, 230, 12), ValuesText,
                                  &p.small, QIJ_LEFT);
    QIWidget::AddChild(page, p.values);

    Add(page, new QIButton("WPlay", EndWith, IRect(x0, y3, 64, 20), "Play", f[0], f[1], f[2]));
    Add(page, new QIButton("WQuit", EndWith, IRect(x0 + 70, y3, 64, 20), "Quit", f[0], f[1], f[2]));
    // The toggle fits its titles in the larger focus font.
    static const char* const kSound[2] = {"Sound on", "Sound off"};
    Add(page, new QIToggleButton("WSound", ShowValues, IRect(x0 + 140, y3, FitWidth(kSound, 2, f), 20),
                                 kSound[0], kSound[1], f[0], f[1], f[2], &p.sound, 1, 0));
    // A row of its own across the frame, for the longest tips.
    TextLine* status = new TextLine("WStatus", IRect(x0, y3 + 24, frame.x + frame.w - 6 - x0, 12), "", &p.small);
    status->flags &= ~QIWF_EXPORTS;
    QIWidget::AddChild(page, status);
    p.desktop->status = status;
}

// ------------------------------------------------------------ the layers

const char* const kLayerTitles[3] = {"Buttons", "Lists", "Edits"};

void ShowLayer(int32_t index)
{
    PAGE& p = s_page;
    for (int i = 0; i < 3; i++)
        if (i != index && (p.layers[i]->flags & QIWF_SHOWN)) p.desktop->HideWidget(p.layers[i]);
    if (index >= 0 && index < 3) p.desktop->ShowWidget(p.layers[index]);
    p.menu->Draw(nullptr);
}

int SwitchLayer(QIWidget*, int code, QIARG)
{
    if (code == QIN_CHANGED) ShowLayer(s_page.layerIndex);
    return 0;
}

void BuildMenu(void)
{
    PAGE& p = s_page;
    p.menu = new QIMenu("WMenu", SwitchLayer, &p.layerIndex);
    p.menu->Assign(IRect(16, 6, 216, 20));
    QIWidget::AddChild(nullptr, p.menu);
    for (int i = 0; i < 3; i++) {
        QIButton* b = new QIButton(kLayerTitles[i], nullptr, IRect(16 + 72 * i, 6, 64, 18), kLayerTitles[i],
                                   &p.small, &p.big, &p.big);
        b->style = QIBS_LATCHING;
        QIWidget::AddChild(p.menu, b);
    }
}

// A page over the whole screen, hidden at first. Its picture clears what
// the page before left; the menu is drawn over it.
QIWidget* NewLayer(const char* name)
{
    QILayer* layer = new QILayer(name, nullptr, IRect(0, 0, 640, 480), QIImage(kPage, IRect(0, 0, 640, 480), 0));
    QIWidget::AddChild(nullptr, layer);
    return layer;
}

int AddLogLine(QIWidget*, int code, QIARG)
{
    PAGE& p = s_page;
    if (code != QIN_CLICKED) return 0;
    char line[40];
    snprintf(line, sizeof line, "Line %d: a click", ++p.logLines);
    p.log->Add(new PageRow(line));
    return 0;
}

void ChoiceText(QIString* text)
{
    text->Format(60, "Difficulty %d  colour %d", s_page.difficulty, s_page.colour);
}

int ShowChoice(QIWidget*, int code, QIARG)
{
    if (code == QIN_DROPCLOSE) s_page.choice->Draw(nullptr);
    return 0;
}

QIList* WithBar(QIList* list)
{
    list->AttachVScroll(new QITrackSlider());
    return list;
}

void BuildLists(QIWidget* layer)
{
    PAGE& p = s_page;
    QIWidget::AddChild(layer, new QIStatic("WGridTitle", nullptr, IRect(24, 40, 240, 12),
                                           "Two columns, several selected", &p.small, QIJ_LEFT));
    QIList* grid = new QIList("WGrid", nullptr, IRect(24, 56, 240, 112), IPoint(120, 14), 2, nullptr, nullptr);
    grid->listFlags = QILF_VSCROLL | QILF_MULTISELECT | QILF_FILLCELLS;
    QIWidget::AddChild(layer, grid);
    WithBar(grid);
    for (int i = 0; i < 40; i++) {
        char text[24];
        snprintf(text, sizeof text, "Item %d", i + 1);
        grid->Add(new PageRow(text));
    }

    QIWidget::AddChild(layer, new QIButton("WLogAdd", AddLogLine, IRect(24, 186, 80, 18), "Add line",
                                           &p.small, &p.big, &p.big));
    p.log = new QIList("WLog", nullptr, IRect(24, 212, 240, 96), IPoint(240, 12), 1, nullptr, nullptr);
    p.log->listFlags = QILF_VSCROLL | QILF_FOLLOWEND | QILF_FILLCELLS;
    p.log->maxItems = 100;
    QIWidget::AddChild(layer, p.log);
    WithBar(p.log);

    QIWidget::AddChild(layer, new QIStatic("WTextTitle", nullptr, IRect(330, 40, 200, 12),
                                           "A text list over a picture", &p.small, QIJ_LEFT));
    QITextList* text = new QITextList("WTextList", nullptr, QIImage(kPage, IRect(330, 56, 200, 96), 0),
                                      IRect(330, 56, 200, 96), IPoint(200, 12), 1, nullptr, nullptr);
    text->listFlags |= QILF_FILLCELLS;
    QIWidget::AddChild(layer, text);
    static const char* const kWords[] = {"Ridge", "Basin", "Dune", "Canyon", "Mesa", "Plateau"};
    for (const char* w : kWords) text->Add(new PageRow(w));

    static const char* const kLevels[] = {"Easy", "Normal", "Hard"};
    static const char* const kColours[] = {"Red", "Green", "Blue", "Amber"};
    struct {
        const char* name;
        const char* const* words;
        int n, y;
        int32_t* value;
    } drops[2] = {{"WDropLevel", kLevels, 3, 200, &p.difficulty}, {"WDropColour", kColours, 4, 240, &p.colour}};
    for (auto& d : drops) {
        QIDropList* drop = new QIDropList(d.name, ShowChoice, IRect(330, d.y, 120, 16),
                                          IRect(330, d.y + 18, 120, 0), IPoint(120, 14), QIImage(), QIImage(),
                                          QIImage(), QIImage());
        QIWidget::AddChild(layer, drop);
        for (int i = 0; i < d.n; i++)
            drop->Add(new PageChoice(d.words[i], d.value, i));
        drop->SetCurrent(*d.value);
    }
    p.choice = new QICallbackText("WChoice", nullptr, IRect(470, 202, 160, 12), ChoiceText, &p.small, QIJ_LEFT);
    QIWidget::AddChild(layer, p.choice);
}

int EchoEdit(QIWidget* w, int code, QIARG)
{
    PAGE& p = s_page;
    if (code != QIN_ENTER && code != QIN_EDITED) return 0;
    const char* text = code == QIN_ENTER ? static_cast<QIEditBase*>(w)->buffer : QIEditBase::Working();
    p.echo->text.Format(80, "%s %d: %s", w->name.c_str(), code, text);
    p.echo->Draw(nullptr);
    return 0;
}

void GaugeText(QIString* text)
{
    text->Format(60, "Level=%d  slider %d", s_page.gaugeLevel, s_page.track);
}

int ShowGauge(QIWidget*, int code, QIARG)
{
    if (code == QIN_CHANGED) s_page.gaugeText->Draw(nullptr);
    return 0;
}

// A yes/no question in a modal popup; its code goes into the static.
int Ask(QIWidget* w, int code, QIARG)
{
    PAGE& p = s_page;
    if (code != QIN_CLICKED) return 0;
    QIPopup* pop = new QIPopup("WAsk", nullptr, IPoint(240, 100), &p.big, "Are you sure?");
    pop->AddButton(new QIButton("WAskNo", nullptr, IRect(0, 0, 60, 20), "No", &p.small, &p.big, &p.big), 3);
    pop->AddButton(new QIButton("WAskYes", nullptr, IRect(0, 0, 60, 20), "Yes", &p.small, &p.big, &p.big), 2);
    // The popup belongs to this layer; the menu sleeps while it runs.
    QIWidget::AddChild(w->Parent(), pop);
    p.desktop->HideWidget(p.menu);
    p.desktop->Refresh(pop);
    const int answer = p.desktop->EventLoop(pop, 0);
    p.desktop->ClosePopup(pop);
    p.menu->flags |= QIWF_SHOWN;
    p.desktop->Repaint(nullptr);
    p.answer->text.Format(40, "The popup said %d", answer);
    p.answer->Draw(nullptr);
    return 0;
}

void BuildEdits(QIWidget* layer)
{
    PAGE& p = s_page;
    static const struct {
        const char* name;
        int32_t just;
        uint32_t classes;
        const char* text;
    } kFields[3] = {
        {"WEditLeft", QIEJ_LEFT, QIEC_LETTERS | QIEC_DIGITS | QIEC_SPACE | QIEC_PUNCTUATION, "Player one"},
        {"WEditCentre", QIEJ_CENTRE, QIEC_DIGITS | QIEC_STOP, "127.0.0.1"},
        {"WEditRight", QIEJ_RIGHT, QIEC_HEX | QIEC_UPPER, "C0FFEE"},
    };
    for (int i = 0; i < 3; i++) {
        p.fieldText[i].Set(kFields[i].text);
        QIWidget::AddChild(layer, new QIEdit(kFields[i].name, EchoEdit, IRect(24, 48 + 28 * i, 200, 18),
                                             IPoint(4, 3), kFields[i].just, &p.fieldText[i],
                                             kFields[i].classes, 0, 40, 255, &p.dimFont));
    }
    p.echo = new TextLine("WEcho", IRect(24, 140, 280, 12), "Type, Tab, Enter", &p.small);
    QIWidget::AddChild(layer, p.echo);

    // The level strip is one level's band across the gauge, cut from the
    // bottom of a gauge-sized column: level n draws the column's band 2n
    // pixels up, 2n pixels up the gauge, always inside its box.
    const QIImage strip(kCells, IRect(72, 22, 24, 2), 0);
    QIWidget::AddChild(layer, new QIGauge("WGauge", ShowGauge, IRect(330, 48, 24, 24), Cell(0), Cell(1),
                                          Cell(2), strip, 0, 10, &p.gaugeLevel, IPoint(0, 22),
                                          IPoint(0, -2)));
    QITrackSlider* slider = new QITrackSlider("WTrack", ShowGauge, IRect(330, 90, 200, 13), QISO_HORIZONTAL,
                                              &p.track, &p.trackRange, &p.trackPage, nullptr, nullptr, nullptr);
    QIWidget::AddChild(layer, slider);
    p.gaugeText = new QICallbackText("WGaugeText", nullptr, IRect(370, 52, 200, 12), GaugeText, &p.small,
                                     QIJ_LEFT);
    QIWidget::AddChild(layer, p.gaugeText);

    QIWidget::AddChild(layer, new QIButton("WAskButton", Ask, IRect(24, 180, 64, 20), "Ask", &p.small,
                                           &p.big, &p.big));
    p.answer = new TextLine("WAnswer", IRect(100, 184, 200, 12), "", &p.small);
    QIWidget::AddChild(layer, p.answer);
}

// Live read-outs are drawn again every pass.
void EachPass(QIPointer*)
{
    if (!s_page.clock->IsHidden()) s_page.clock->Draw(nullptr);
}


void Build(void)
{
    PAGE& p = s_page;
    // The menu goes first: the layers, added after it, sit under it.
    BuildMenu();
    p.layers[2] = NewLayer("WEdits");
    BuildEdits(p.layers[2]);
    p.layers[1] = NewLayer("WLists");
    BuildLists(p.layers[1]);
    QIWidget* page = NewLayer("WPage");
    page->flags |= QIWF_SHOWN;
    p.layers[0] = page;
    p.layers[1]->flags &= ~QIWF_SHOWN;
    p.layers[2]->flags &= ~QIWF_SHOWN;
    p.menu->SyncFromIndex();
    QIWidget::AddChild(page, new Showcase);
    p.page = page;
    QIWidget::AddChild(page, new QIStatic("WTitle", nullptr, IRect(0, 8, 640, 14),
                                          "Widget library", &p.big, QIJ_CENTRE));

    QICaptionFrame* frame =
        new QICaptionFrame("WStatics", nullptr, IRect(16, 40, 288, 96), "Statics", &p.small, QIJ_LEFT);
    QIWidget::AddChild(page, frame);
    static const struct {
        const char* name;
        const char* text;
        int just;
    } kStatics[3] = {{"WLeft", "Left", QIJ_LEFT},
                     {"WCentre", "Centred both ways", QIJ_CENTRE},
                     {"WRight", "Right", QIJ_RIGHT}};
    for (int i = 0; i < 3; i++) {
        QIStatic* s = new QIStatic(kStatics[i].name, nullptr, IRect(28, 58 + 24 * i, 264, 16),
                                   kStatics[i].text, &p.small, kStatics[i].just);
        if (i == 1) s->style |= QISS_FILL;
        QIWidget::AddChild(frame, s);
    }
    p.clock = new QICallbackText("WClock", nullptr, IRect(16, 148, 288, 12), ClockText, &p.small,
                                 QIJ_CENTRE);
    QIWidget::AddChild(page, p.clock);

    // Opaque, transparent and remapping: one emblem three ways.
    QIImage opaque(kPage, kEmblem, 0), clear(kPage, kEmblem, 1), remap;
    remap.flags |= QIIMG_REMAP;
    remap.w = remap.h = 64;
    remap.remapOffset = 256 * 15; // over white: every colour lightens
    QIWidget::AddChild(page, new QIStatic("WOpaque", nullptr, IRect(330, 40, 64, 64), opaque));
    QIWidget::AddChild(page, new QIStatic("WClear", nullptr, IRect(410, 40, 64, 64), clear));
    QIWidget::AddChild(page, new QIStatic("WRemap", nullptr, IRect(490, 40, 64, 64), remap));

    QI_Text("WRowsCaption", &p.rowsCaption, "List rows in %d states", 4);
    const char* const states[3] = {"Plain row", "Row under the pointer", "Current row"};
    for (int i = 0; i < 3; i++)
        p.rows.emplace_back(new QITextItem(i == 1 ? &p.dimFont : &p.small, states[i]));
    p.rows.emplace_back(
        new QIGraphicText(&p.small, &p.small, &p.big, "Centred value row", &p.chosen, 7, QIJ_CENTRE));
    p.rows.back()->w = 280;
    for (int i = 0; i < 4; i++) {
        QIStateImage* item = new QIStateImage(Cell(0), Cell(1), Cell(2), Cell(3), IPoint(24, 24));
        item->x = 4 + 30 * i;
        p.rows.emplace_back(item);
    }
    p.cells = Cell(1);
    p.cells.Resolve();
    for (auto& item : p.rows) item->Update();
    BuildButtons(page);
}

void DrawRows(void)
{
    PAGE& p = s_page;
    QI_FillOrFrame(12, 172, 308, 340, 1, 1);
    QI_DrawText(&p.small, 24, 180, nullptr, p.rowsCaption.c_str());
    const IPoint origin(20, 196);
    const uint32_t kText[4] = {0, QIROW_HOVER, QIROW_CURRENT, QIROW_CURRENT};
    for (int i = 0; i < 4; i++) {
        QIGraphic* item = p.rows[i].get();
        item->y = ROW_H * i;
        item->x = 4;
        item->Draw(origin, IRect(origin.x, origin.y + ROW_H * i, 280, ROW_H), kText[i]);
    }
    const uint32_t kImage[4] = {0, QIROW_HOVER, QIROW_CURRENT, QIROW_CURRENT | QIROW_HOVER};
    for (int i = 0; i < 4; i++)
        p.rows[4 + i]->Draw(IPoint(origin.x, origin.y + 4 * ROW_H + 4),
                            IRect(origin.x, origin.y + 4 * ROW_H + 4, 280, 24), kImage[i]);
}

// Every drawing function of the library, once.
void DrawShowcase(void)
{
    PAGE& p = s_page;
    for (int s = 0; s < 4; s++) QI_DrawFrame(330 + 72 * s, 120, 390 + 72 * s, 160, s, 1);
    QI_DrawFrame(330, 170, 390, 200, 0, 0);
    QI_FillFramed(402, 170, 462, 200, 0, 0);
    QI_FillFramed(474, 170, 534, 200, 1, 0);
    QI_FillFramed(546, 170, 606, 200, 1, 1);
    QI_FillOrFrame(330, 212, 460, 280, 0, 1);
    QI_FillOrFrame(476, 212, 606, 280, 1, 0);
    QI_DrawVTrack(612, 120, 160);
    QI_DrawHTrack(330, 290, 276);
    QI_DrawTextBox(330, 312, "A tip box", &p.small);

    QI_DrawBitmapPart(&p.cells, 330, 340);
    QI_DrawBitmapAt(&p.cells, IPoint(360, 340));
    QI_DrawBitmapSized(&p.cells, IPoint(390, 340), IPoint(12, 24));
    QI_DrawBitmapOffset(&p.cells, IPoint(410, 340), IPoint(12, 12), IPoint(6, 6));
    const IRect clip(440, 346, 40, 12);
    QI_DrawBitmapClipped(&p.cells, 440, 340, &clip);
    QI_DrawBitmapClippedAt(&p.cells, IPoint(470, 340), &clip);

    const QIRemap gold{0, g_TitleTextTable};
    const IRect band(16, 350, 120, 40);
    QI_DrawTextf(&p.small, 16, 352, nullptr, "Frame %u", g_FrameCount);
    QI_DrawTextfAt(&p.small, 16, 366, "%d widgets", (int)(p.desktop ? p.desktop->count : 0));
    QI_DrawTextClipped(&p.big, 16, 380, &gold, &band, "Clipped to its band, this text");
    QI_DrawTextfRemap(&p.large, 16, 400, &gold, "Remapped %s", "text");
    const IRect band2(16, 420, 150, 30);
    QI_DrawTextfRemapClipped(&p.large, 16, 430, &gold, &band2, "%s", "Cut short at the band's end");
}

} // namespace

int WidgetDemo_Open(void)
{
    PAGE& p = s_page;
    if (p.open) WidgetDemo_Close();
    int ok = 1;
    // The desktop makes its bitmap list and directory current; fonts and
    // pictures load from there.
    p.desktop.reset(new QIDesktop(kSection, EachPass, QIImage(kPage, IRect(0, 0, 640, 480), 0), kDir));
    // Only the widgets that say so look up a tip.
    g_QIDefaultFlags &= ~QIWF_HASTIP;
    Font_Init(FONT_BYTES);
    static const char* const kFonts[3] = {"font256a.pcx", "font256b.pcx", "font8a.pcx"};
    for (int slot = 0; slot < 3; slot++) {
        QIFont f{};
        if (!QI_LoadNamedResource(&f, slot, kFonts[slot])) ok = 0;
    }
    g_QIColours = g_QILibraryColours;
    p.presses = 0;
    p.level = 5;
    p.held = 0;
    p.checked = 1;
    p.layerIndex = 0;
    p.logLines = 0;
    p.difficulty = 1;
    p.colour = 0;
    p.gaugeLevel = 3;
    p.track = 20;
    Build();
    p.desktop->TickAll(nullptr);
    if (!p.desktop->palette) {
        // A page picture without a palette of its own (24 bits) would leave
        // the black start-up one: the cells' picture carries the same.
        uint8_t loaded[768];
        if (QI_LoadPalette(loaded, kCells, p.desktop->bitmapDir)) {
            p.desktop->palette = new uint8_t[768];
            memcpy(p.desktop->palette, loaded, sizeof loaded);
        } else {
            ok = 0;
        }
    }
    p.desktop->ApplyPalette();
    p.desktop->ExportDefines(nullptr);
    p.open = true;
    if (!p.desktop->bitmaps.count) ok = 0;
    return ok;
}

void WidgetDemo_Draw(void)
{
    if (!s_page.open || !Backbuf_Lock()) return;
    // Lists draw only what changed unless marked: this is a whole frame.
    for (QIWidget* w = s_page.desktop->first; w; w = w->Next()) w->MarkTree();
    s_page.desktop->Draw(nullptr, nullptr);
}

void WidgetDemo_ShowLayer(int index)
{
    if (!s_page.open) return;
    s_page.layerIndex = index;
    s_page.menu->SyncFromIndex();
    ShowLayer(index);
}

QIDesktop* WidgetDemo_Desktop(void) { return s_page.open ? s_page.desktop.get() : nullptr; }

void WidgetDemo_Close(void)
{
    PAGE& p = s_page;
    if (!p.open) return;
    p.rows.clear();
    p.cells = QIImage();
    p.rowsCaption.Set(nullptr);
    p.desktop->Close();
    p.desktop.reset();
    // After the fields: closing commits an edit in progress into these.
    for (QIString& text : p.fieldText) text.Set(nullptr);
    g_QIDefaultFlags = 0;
    Font_Close();
    p.open = false;
}

void WidgetDemo_Run(void)
{
    WidgetDemo_Open();
    g_GameState = GS_QUIT; // unless Play says otherwise
    s_page.desktop->Run();
    WidgetDemo_Close();
    Mouse_ShowCursor(); // closing the desktop hid it; the world shows it
    // A closed window ends the menu and the program.
    if (g_QuitRequested) g_GameState = GS_QUIT;
}

void WidgetDemo_Install(void) { Game_SetFrontEndHook(WidgetDemo_Run); }
