#include "multi/mmipx.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/gamestate.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mmmain.h"
#include "platform/graph.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "widgets/qibutton.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qistatic.h"

namespace {
struct PAGE {
    QILayer* layer = nullptr;
    QIList* games = nullptr;
    QIList* players = nullptr;
    // What the players list shows: the row and its record then.
    const MMScrollIpxGame* shown = nullptr;
    NetSession shownSession{};
};
PAGE s_ipx;
uint32_t s_lastSearch = 0;
} // namespace

uint32_t MM_ipx_last_search(void) { return s_lastSearch; }
void MM_ipx_set_last_search(uint32_t ms) { s_lastSearch = ms; }

MMScrollIpxGame::MMScrollIpxGame(const QIFont* f, const NetSession& s) : font(f)
{
    w = 360;
    h = 20;
    Take(s);
}

void MMScrollIpxGame::Take(const NetSession& s)
{
    session = s;
    session.name[NET_GAME_NAME_SIZE - 1] = 0;
    for (NetSessionPlayer& p : session.players) p.name[NET_NAME_SIZE - 1] = 0;
}

void MM_ipx_player_text(int count, char* out, int size)
{
    snprintf(out, (size_t)size, "%d Player%s", count, count == 1 ? "" : "s");
}

const char* MM_ipx_status_text(uint8_t flags)
{
    if (!(flags & NET_SESSION_OPEN)) return "No Response ...";
    return (flags & NET_SESSION_LAUNCHED) ? "In Progress ..." : "Waiting for Players ...";
}

void MMScrollIpxGame::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    const int left = origin.x + x, top = origin.y + y;
    const int x1 = std::max(left, row.x), y1 = std::max(top, row.y);
    const int x2 = std::min(left + 360, row.x + row.w), y2 = std::min(top + 20, row.y + row.h);
    if (x2 <= x1 || y2 <= y1) return;
    const IRect cut(x1, y1, x2 - x1, y2 - y1);
    Mm_FillRow(cut, state);
    char players[26], status[26];
    MM_ipx_player_text(session.count, players, sizeof players);
    snprintf(status, sizeof status, "%s", MM_ipx_status_text(session.flags));
    const char* texts[3] = {session.name, players, status};
    const int centres[3] = {63, 162, 280};
    for (int i = 0; i < 3; i++)
        QI_DrawTextLiteral(font, left + centres[i] - QI_TextWidthLiteral(font, texts[i]) / 2, top + 5, &cut, texts[i]);
}

QIWidget* MM_ipx_page(void) { return s_ipx.layer; }
QIList* MM_ipx_games(void) { return s_ipx.games; }
QIList* MM_ipx_players(void) { return s_ipx.players; }

void MM_ipx_forget(void) { s_ipx = PAGE(); }

static void EmptyLists(void)
{
    if (s_ipx.games) {
        s_ipx.games->Clear();
        s_ipx.games->SetCurrent(-1);
    }
    if (s_ipx.players) s_ipx.players->Clear();
    s_ipx.shown = nullptr;
}

int MM_ipx_start(void)
{
    if (!Net_Init(NET_TYPE_IPX)) return 0;
    Mm_SetPoll(MM_ipx_poll);
    Net_BeginSession();
    EmptyLists();
    return 1;
}

static void FillPlayers(void)
{
    QIList* games = s_ipx.games;
    if (!games || games->current < 0) return;
    const MMScrollIpxGame* row = static_cast<const MMScrollIpxGame*>(games->ItemAt(games->current));
    if (!row) return;
    // Rebuilt only when the picked row or its record changed: the same list.
    if (row == s_ipx.shown && memcmp(&row->session, &s_ipx.shownSession, sizeof row->session) == 0) return;
    s_ipx.shown = row;
    s_ipx.shownSession = row->session;
    s_ipx.players->Clear();
    for (const NetSessionPlayer& p : row->session.players)
        if (p.flags & NET_PLAYER_ACTIVE) s_ipx.players->Add(new QITextItem(&MM_menu.fonts[MM_FONT_TEXT], p.name));
}

// Under the found-sessions lock: whether a creator's game is in the list.
static bool Found(const NetAddress& creator)
{
    if (g_FoundSessions)
        for (NetSession* s = (NetSession*)GLL_GoFirst(g_FoundSessions); s; s = (NetSession*)GLL_GoNext(g_FoundSessions))
            if (NetPkt_SameAddress(&s->creator_address, &creator)) return true;
    return false;
}

void MM_ipx_poll(void)
{
    QIList* games = s_ipx.games;
    if (!games) return;
    Net_LockFoundSessions();
    if (g_FoundSessions)
        for (NetSession* s = (NetSession*)GLL_GoFirst(g_FoundSessions); s; s = (NetSession*)GLL_GoNext(g_FoundSessions)) {
            bool matched = false;
            for (QIGraphic* g = games->first; g; g = static_cast<QIGraphic*>(g->next)) {
                MMScrollIpxGame* row = static_cast<MMScrollIpxGame*>(g);
                if (!NetPkt_SameAddress(&row->session.creator_address, &s->creator_address)) continue;
                row->Take(*s);
                row->itemFlags |= QIIF_REDRAW;
                matched = true;
            }
            if (!matched) games->Add(new MMScrollIpxGame(&MM_menu.fonts[MM_FONT_TEXT], *s));
        }
    // A game that left the found list (its searches went unanswered) leaves
    // the page: forged answers fill it no longer than that. The list keeps
    // the pick on its game, or none when it was the one gone, so Join joins
    // what the user picked; the players of a gone game go with it.
    for (QIGraphic* g = games->first; g;) {
        QIGraphic* next = static_cast<QIGraphic*>(g->next);
        MMScrollIpxGame* row = static_cast<MMScrollIpxGame*>(g);
        if (!Found(row->session.creator_address)) {
            if (row == s_ipx.shown) {
                s_ipx.shown = nullptr;
                s_ipx.players->Clear();
            }
            games->Remove(g);
        }
        g = next;
    }
    Net_UnlockFoundSessions();
    FillPlayers();
    const uint32_t now = Plat_SystemMs();
    if (now - s_lastSearch > MM_IPX_SEARCH_MS) {
        Net_Search();
        s_lastSearch = now;
    }
    Mm_RedrawList(games);
    Mm_RedrawList(s_ipx.players);
}

static void Leave(void)
{
    Net_Close();
    Mm_SetPoll(nullptr);
}

int MM_ipx_back(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    Leave();
    Mm_SwitchPage(s_ipx.layer, MM_main_page());
    return 0;
}

int MM_ipx_main(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    Leave();
    Mm_SwitchPage(s_ipx.layer, nullptr);
    Mm_Leave(GS_FRONTEND);
    return 0;
}

int MM_ipx_create(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    Net_HostGame();
    TLOG(TLOG_SETUP, "Hosting \"%.*s\"", NET_GAME_NAME_SIZE, g_NetSession.name);
    MM_chat_enter_from(s_ipx.layer);
    return 0;
}

int MM_ipx_join(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    QIList* games = s_ipx.games;
    const MMScrollIpxGame* row =
        games && games->current >= 0 ? static_cast<const MMScrollIpxGame*>(games->ItemAt(games->current)) : nullptr;
    if (!row) return 0;
    const NetAddress to = row->session.creator_address;
    const char* reason = Net_Join(&to, 5000);
    if (reason) {
        Mm_PopError(&MM_menu, "Error!", "%s", reason);
        return 0;
    }
    TLOG(TLOG_SETUP, "Joined \"%.*s\"", NET_GAME_NAME_SIZE, g_NetSession.name);
    MM_chat_enter_from(s_ipx.layer);
    return 0;
}

void MM_ipx_init(QIWidget* backdrop)
{
    PAGE& p = s_ipx;
    const QIFont* f = MM_menu.fonts;
    const char* pic = "MM_LAN.BMP";
    p.layer = new QILayer("MultiMenuIpx", nullptr, IRect(0, 0, 640, 480), QIImage(pic, IRect(0, 0, 640, 480), 0));
    p.layer->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(backdrop, p.layer);
    QIWidget::AddChild(p.layer, new QIStatic("IpxTitle", nullptr, IRect(220, 0, 200, 20), "Local Area Network (IPX)",
                                             &f[MM_FONT_TITLE], QIJ_CENTRE));
    QIWidget::AddChild(p.layer, new QIStatic("IpxOwner", nullptr, IRect(34, 81, 100, 20), "Games found on Network",
                                             &f[MM_FONT_HEADING], QIJ_LEFT));
    QIWidget::AddChild(p.layer, new QIStatic("IpxPlayers", nullptr, IRect(462, 81, 100, 20), "Players in Game",
                                             &f[MM_FONT_HEADING], QIJ_LEFT));
    p.games = new QIList("IpxGameScroller", nullptr, IRect(36, 102, 360, 261), IPoint(360, 20), 1, nullptr, nullptr);
    QIWidget::AddChild(p.layer, p.games);
    p.games->AttachVScroll(Mm_ScrollBar(IRect(396, 102, 16, 261)));
    p.players = new QIList("IpxPlayerScroller", nullptr, IRect(462, 102, 130, 261), IPoint(360, 20), 1, nullptr, nullptr);
    p.players->listFlags = 0;
    QIWidget::AddChild(p.layer, p.players);
    QIWidget::AddChild(p.layer, Mm_BarButton("IpxBack", MM_ipx_back, IRect(27, 414, 110, 32), "Previous Menu"));
    QIWidget::AddChild(p.layer, Mm_BarButton("IpxMain", MM_ipx_main, IRect(140, 414, 110, 32), "Main Menu"));
    QIWidget::AddChild(p.layer, Mm_BarButton("IpxCreate", MM_ipx_create, IRect(393, 414, 110, 32), "Create Game"));
    QIWidget::AddChild(p.layer, Mm_BarButton("IpxJoin", MM_ipx_join, IRect(506, 414, 110, 32), "Join Game"));
}
