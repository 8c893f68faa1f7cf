#include "demo/widgetdemo.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "core/gameloop.h"
#include "core/gamestate.h"
#include "core/quorvex.h"
#include "core/tlog.h"
#include "platform/font.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "widgets/qidraw.h"
#include "widgets/qiimage.h"
#include "widgets/qiitem.h"
#include "widgets/qistatic.h"
#include "widgets/qitext.h"
#include "widgets/qiwidget.h"

namespace {

enum { FONT_BYTES = 256 * 1024, ROW_H = 18 };

const char* const kDir = "wdemo\\";
const char* const kPage = "wpage.bmp";
const char* const kCells = "wcells.bmp";
// Where the page picture keeps its emblem (mkdata draws it there).
const IRect kEmblem(560, 400, 64, 64);

struct PAGE {
    bool open = false;
    std::unique_ptr<QIBmpList> bitmaps;
    std::unique_ptr<QITreeRoot> root;
    QIWidget* page = nullptr;
    QIFont big{1, nullptr, 0}, small{2, nullptr, 0}, large{0, nullptr, 0};
    QIFont dimFont{2, g_DimTable, 0}; // readable on the light row under the pointer
    QIImage cells, remap;
    std::vector<std::unique_ptr<QIGraphic>> rows;
    QIString rowsCaption;
    int32_t chosen = 0;
};
PAGE s_page;

void ClockText(QIString* text)
{
    const uint32_t ms = Plat_SystemMs();
    text->Format(40, "System clock %u.%u s", ms / 1000, ms / 100 % 10);
}

QIImage Cell(int c) { return QIImage(kCells, IRect(24 * c, 0, 24, 24), 0); }

// Every widget of the tree, parents first.
template <class FN> void Walk(QIWidget* w, FN fn)
{
    for (; w; w = w->Next()) {
        fn(w);
        Walk(w->FirstChild(), fn);
    }
}

void Build(void)
{
    PAGE& p = s_page;
    QIWidget* page = new QIStatic("WPage", nullptr, IRect(0, 0, 640, 480),
                                  QIImage(kPage, IRect(0, 0, 640, 480), 0));
    QIWidget::AddChild(nullptr, page);
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
    QIWidget::AddChild(page, new QICallbackText("WClock", nullptr, IRect(16, 148, 288, 12),
                                                ClockText, &p.small, QIJ_CENTRE));

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

    Walk(p.root->first, [](QIWidget* w) {
        w->Update();
        if (w->flags & QIWF_EXPORTS) w->ExportDefines();
    });
    for (auto& item : p.rows) item->Update();
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
    QI_DrawTextfAt(&p.small, 16, 366, "%d widgets", (int)(p.root ? p.root->count : 0));
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
    uint8_t rgb6[768];
    if (QI_LoadPalette(rgb6, kPage, kDir)) {
        Graph_SetPalette(rgb6, 0, 256);
        Display_BuildColourTables();
    } else {
        ok = 0;
    }
    QI_SetBitmapDir(kDir);
    Font_Init(FONT_BYTES);
    static const char* const kFonts[3] = {"font256a.pcx", "font256b.pcx", "font8a.pcx"};
    for (int slot = 0; slot < 3; slot++) {
        QIFont f{};
        if (!QI_LoadNamedResource(&f, slot, kFonts[slot])) ok = 0;
    }
    p.bitmaps.reset(new QIBmpList(kDir));
    QI_SetBmpList(p.bitmaps.get());
    g_QIColours = g_QILibraryColours;
    g_QIDefaultFlags = 0x36200; // as the desktop will set it
    p.root.reset(new QITreeRoot);
    Build();
    p.open = true;
    if (!p.bitmaps->count) ok = 0;
    return ok;
}

void WidgetDemo_Draw(void)
{
    if (!s_page.open || !Backbuf_Lock()) return;
    s_page.page->Draw(nullptr);
    DrawShowcase();
    DrawRows();
}

void WidgetDemo_Close(void)
{
    PAGE& p = s_page;
    if (!p.open) return;
    p.rows.clear();
    p.root.reset();
    p.cells = QIImage();
    QI_SetBmpList(nullptr);
    p.bitmaps.reset();
    g_QIDefaultFlags = 0;
    Font_Close();
    p.open = false;
}

void WidgetDemo_Run(void)
{
    WidgetDemo_Open();
    while (Game_PumpMessages()) {
        WidgetDemo_Draw();
        g_FrameCount++;
        Graph_FlipWithCursor();
        Plat_Idle();
    }
    WidgetDemo_Close();
    g_GameState = GS_QUIT;
}

void WidgetDemo_Install(void) { Game_SetFrontEndHook(WidgetDemo_Run); }
