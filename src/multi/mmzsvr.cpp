#include "multi/mmzsvr.h"

#include <algorithm>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "multi/mmframe.h"
#include "multi/mmznet.h"
#include "platform/graph.h"
#include "platform/plat.h"
#include "platform/thread.h"
#include "platform/video.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qidroplist.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qistatic.h"

namespace {
struct PAGE {
    QILayer* layer = nullptr;
    QIList* list = nullptr;
    QIStatic* server = nullptr;
    uint32_t lastSearch = 0;
};
PAGE s_zsvr;
} // namespace

MMScrollServer::MMScrollServer(const QIFont* f, const ZephServerRecord& r) : font(f), record(r)
{
    record.host[ZEPH_HOST_SIZE - 1] = 0;
    w = 360;
    h = 20;
}

void MMScrollServer::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    const int left = origin.x + x, top = origin.y + y;
    const int x1 = std::max(left, row.x), y1 = std::max(top, row.y);
    const int x2 = std::min(left + 360, row.x + row.w), y2 = std::min(top + 20, row.y + row.h);
    if (x2 <= x1 || y2 <= y1) return;
    const IRect cut(x1, y1, x2 - x1, y2 - y1);
    Mm_FillRow(cut, state);
    QI_DrawTextLiteral(font, left + 151 - QI_TextWidthLiteral(font, record.host) / 2, top + 5, &cut, record.host);
}

QIWidget* MM_zsvr_page(void) { return s_zsvr.layer; }
QIList* MM_zsvr_list(void) { return s_zsvr.list; }
uint32_t MM_zsvr_last_search(void) { return s_zsvr.lastSearch; }

void MM_zsvr_forget(void)
{
    s_zsvr.layer = nullptr;
    s_zsvr.list = nullptr;
    s_zsvr.server = nullptr;
}

int MM_zsvr_show_server(void)
{
    Mm_SetPoll(MM_zsvr_poll);
    s_zsvr.lastSearch = Plat_SystemMs();
    if (s_zsvr.server) s_zsvr.server->SetText(g_Config.zephnetserver);
    return 1;
}

void MM_zsvr_poll(void)
{
    if (Plat_SystemMs() - s_zsvr.lastSearch > MM_ZSVR_SEARCH_MS) MM_zsvr_search(nullptr, QIN_CLICKED, 0);
    ZEPH_poll();
}

static int ListedServers(void)
{
    int n = 0;
    Zeph_ServerListRewind();
    while (Zeph_ServerListNext()) n++;
    return n;
}

int MM_zsvr_search(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    s_zsvr.lastSearch = Plat_SystemMs();
    QIDesktop* d = MM_menu.desktop;
    QIPopup* pop = nullptr;
    if (d) {
        pop = new QIPopup("ZSvrSearching", nullptr, IPoint(390, 130), QIImage("pop_1pic.bmp", IRect(0, 0, 390, 130), 0));
        QIWidget::AddChild(pop, new QIStatic("ZNetCTitle", nullptr, IRect(pop->x + 37, pop->y + 39, 316, 70),
                                             "Collecting Server List", &MM_menu.fonts[MM_FONT_TEXT], QIJ_CENTRE));
        QIWidget::AddChild(MM_menu.backdrop, pop);
        d->Refresh(pop);
    }
    if (s_zsvr.list) s_zsvr.list->Clear();
    // The client keeps the servers of earlier enumerations: only those
    // reported by this one are listed.
    const int earlier = ListedServers();
    Zeph_EnumServers();
    const uint32_t start = Thread_ClockMs();
    while (!Zeph_ServerEnumDone() && Thread_ClockMs() - start < MM_ZSVR_WAIT_MS) {
        TLOG(TLOG_SETUP, "Calling Poll Function...");
        ZEPH_poll();
        Thread_Sleep(10);
    }
    Zeph_ServerListRewind();
    int at = 0;
    while (const ZephServerRecord* r = Zeph_ServerListNext())
        if (at++ >= earlier && s_zsvr.list) s_zsvr.list->Add(new MMScrollServer(&MM_menu.fonts[MM_FONT_TEXT], *r));
    if (pop) d->ClosePopup(pop);
    Mm_RedrawList(s_zsvr.list);
    return 0;
}

// Back to the lobby on the same server: the client was started with the
// configured one, and the lobby's session stays in it.
int MM_zsvr_connect(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    Mm_SetPoll(MM_znet_poll);
    Mm_SwitchPage(s_zsvr.layer, MM_znet_page());
    return 0;
}

int MM_zsvr_back(QIWidget* widget, int code, QIARG arg) { return MM_zsvr_connect(widget, code, arg); }

int MM_zsvr_main(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    MM_znet_shutdown();
    Mm_SwitchPage(s_zsvr.layer, nullptr);
    Mm_Leave(GS_FRONTEND);
    return 0;
}

void MM_zsvr_init(QIWidget* backdrop)
{
    PAGE& p = s_zsvr;
    const char* pic = "MM_ZSVR.BMP";
    // The internet address page's layer carries the same id.
    p.layer = new QILayer("MultiMenuInternet", nullptr, IRect(0, 0, 640, 480), QIImage(pic, IRect(0, 0, 640, 480), 0));
    p.layer->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(backdrop, p.layer);
    const MM_LABEL kLabels[] = {
        {"ZsvrTitle", "Internet Connection", IRect(160, 0, 320, 20), MM_FONT_TITLE, QIJ_CENTRE, nullptr},
        {"ZsvrCurrentServerTitle", "Current Server", IRect(158, 47, 130, 31), MM_FONT_HEADING, QIJ_LEFT, nullptr},
        {"ZsvrCurrentServer", "-", IRect(276, 50, 200, 15), MM_FONT_TEXT, QIJ_LEFT, &p.server},
        {"ZsvrName", "Internet Server", IRect(150, 81, 198, 20), MM_FONT_HEADING, QIJ_CENTRE, nullptr},
        {"ZsvrPlayers", "Players", IRect(348, 81, 100, 20), MM_FONT_HEADING, QIJ_CENTRE, nullptr},
        {"ZsvrStatus", "Status", IRect(448, 81, 60, 20), MM_FONT_HEADING, QIJ_CENTRE, nullptr},
    };
    Mm_AddLabels(p.layer, kLabels);
    const IRect r(148, 102, 359, 261);
    p.list = new QITextList("ZsvrScroller", nullptr, QIImage(pic, r, 0), r, IPoint(360, 16), 1, nullptr, nullptr);
    p.list->listFlags = 0;
    QIWidget::AddChild(p.layer, p.list);
    p.list->AttachVScroll(Mm_ScrollBar(IRect(508, 102, 16, 261)));
    QIWidget::AddChild(p.layer, Mm_BarButton("ZsvrBack", MM_zsvr_back, IRect(27, 414, 110, 32), "Previous Menu"));
    QIWidget::AddChild(p.layer, Mm_BarButton("ZsvrMain", MM_zsvr_main, IRect(140, 414, 110, 32), "Main Menu"));
    QIWidget::AddChild(p.layer, Mm_BarButton("ZsvrConnect", MM_zsvr_connect, IRect(266, 410, 110, 32), "Connect"));
    QIWidget::AddChild(p.layer, Mm_BarButton("ZsvrRescan", MM_zsvr_search, IRect(506, 414, 110, 32), "Update List"));
}
