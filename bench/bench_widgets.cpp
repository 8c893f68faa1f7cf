// The widget desktop's full repaint: a page of 200 image buttons with
// titles over the 640 x 480 background, against blitting the background and
// the same 200 source rectangles in the same run. What the repaint adds is
// the titles, the tree walk and the virtual calls.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "benchsupport.h"
#include "core/config.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "gen_widgets.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qitext.h"

namespace {

enum { COLUMNS = 20, ROWS = 10, SIDE = 24 };

struct Page {
    std::unique_ptr<QIDesktop> desktop;
    QIFont font{2, nullptr, 0};
    std::string dir;

    Page()
    {
        char tmpl[] = "/tmp/qvbench_widgets_XXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "/tmp";
        std::filesystem::create_directories(dir + "/" GENWIDGETS_DIR);
        GenWidgets_WriteAll(dir + "/" GENWIDGETS_DIR);
        Plat_InitWith(&g_PlatHeadless);
        Cfg_SetDefaults(&g_Config);
        Video_Init();
        Str_CopySafe(g_DataDir, dir.c_str(), sizeof g_DataDir);
        desktop.reset(new QIDesktop("Bench", nullptr,
                                    QIImage(GENWIDGETS_PAGE, IRect(0, 0, 640, 480), 0), "wdemo\\"));
        Font_Init(256 * 1024);
        QIFont slot{};
        QI_LoadNamedResource(&slot, 2, "font8a.pcx");
        QIWidget* page = new QIWidget("page", nullptr);
        page->Assign(IRect(0, 0, 640, 480));
        QIWidget::AddChild(nullptr, page);
        for (int i = 0; i < COLUMNS * ROWS; i++) {
            const int c = i % 4;
            QIImage cell(GENWIDGETS_CELLS, IRect(SIDE * c, 0, SIDE, SIDE), 0);
            char title[8];
            snprintf(title, sizeof title, "%d", i);
            QIButton* b = new QIButton("b", nullptr, IRect(8 + 31 * (i % COLUMNS), 8 + 46 * (i / COLUMNS), SIDE, SIDE),
                                       cell, cell, cell, cell, title, &font, &font, &font);
            b->flags &= ~QIWF_EXPORTS;
            QIWidget::AddChild(page, b);
        }
        desktop->TickAll(nullptr);
    }
    ~Page()
    {
        desktop.reset();
        Font_Close();
        Video_Close();
        Plat_Close();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

Page& Get()
{
    static Page p;
    return p;
}

void BM_DesktopRepaint(benchmark::State& state)
{
    Page& p = Get();
    for (auto _ : state) {
        p.desktop->Repaint(nullptr);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DesktopRepaint);

void BM_DesktopBlits(benchmark::State& state)
{
    Page& p = Get();
    BITMAP* bb = Backbuf_Lock();
    const BITMAP* bg = p.desktop->background.bitmap;
    const QIButton* first = static_cast<QIButton*>(p.desktop->first->FirstChild());
    const BITMAP* cells = first->images[0].bitmap;
    for (auto _ : state) {
        Graph_Blit(bb, nullptr, 0, 0, 0, bg, 0, 0, 640, 480);
        for (int i = 0; i < COLUMNS * ROWS; i++)
            Graph_Blit(bb, nullptr, 0, 8 + 31 * (i % COLUMNS), 8 + 46 * (i / COLUMNS), cells,
                       SIDE * (i % 4), 0, SIDE, SIDE);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DesktopBlits);

} // namespace

QV_BENCH_RATIO(desktoprepaint, "desktop repaint ratio", "BM_DesktopRepaint", "BM_DesktopBlits");
