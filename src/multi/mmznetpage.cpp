// The lobby page's widgets and its four kinds of list rows.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "multi/mmframe.h"
#include "multi/mmznet.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "widgets/qibutton.h"
#include "widgets/qidraw.h"
#include "widgets/qidroplist.h"
#include "widgets/qiedit.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qistatic.h"

MM_ZNET MM_znet;

int MM_znet_precedes(const char* a, const char* b)
{
    for (size_t i = 0;; i++) {
        const unsigned char ca = (unsigned char)a[i], cb = (unsigned char)b[i];
        if (ca != cb) return ca < cb;
        if (!ca) return 0;
    }
}

// The part of a w x h box at (left, top) inside the row's clip; false when
// nothing of it shows.
static bool Cut(int left, int top, int w, int h, const IRect& row, IRect* out)
{
    const int x1 = std::max(left, row.x), y1 = std::max(top, row.y);
    const int x2 = std::min(left + w, row.x + row.w), y2 = std::min(top + h, row.y + row.h);
    if (x2 <= x1 || y2 <= y1) return false;
    *out = IRect(x1, y1, x2 - x1, y2 - y1);
    return true;
}

// The fill of a room, game or player row; false when the row shows nothing.
static bool RowBox(int left, int top, int w, const IRect& row, uint32_t state, IRect* cut)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb || !Cut(left, top, w, 16, row, cut)) return false;
    Mm_FillRow(*cut, state);
    return true;
}

// A row's name centred on centre, between the picture on its left and
// what the row shows right of it (from..to on the row): a name too wide
// for its centre goes as far left as it may, and one wider than the whole
// space is cut at a character and ends in "..", rather than running into
// the player count or the ping picture.
static void Fitted(const QIFont* f, int left, int centre, int from, int to, int top, const IRect& cut,
                   const char* text)
{
    const int room = to - from;
    std::string shown = text;
    int w = QI_TextWidthLiteral(f, shown.c_str());
    if (w > room) {
        const int dots = QI_TextWidthLiteral(f, "..");
        while (!shown.empty() && QI_TextWidthLiteral(f, shown.c_str()) + dots > room) shown.pop_back();
        shown += "..";
        w = QI_TextWidthLiteral(f, shown.c_str());
    }
    int x = centre - w / 2;
    if (x < from) x = from;
    if (x + w > to) x = to - w;
    QI_DrawTextLiteral(f, left + x, top, &cut, shown.c_str());
}

static void Picture(const QIImage& image, int x, int y, const IRect& cut)
{
    if (image.Usable()) QI_DrawBitmapClipped(&image, x, y, &cut);
}

MMScrollZnetMessage::MMScrollZnetMessage(const QIFont* f, const char* text, int32_t privateFlag)
    : QITextItem(f, text), priv(privateFlag)
{
    if (priv) w += 16;
}

void MMScrollZnetMessage::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    const int left = origin.x + x, top = origin.y + y;
    Background(left, top, row, state);
    IRect cut;
    if (!Cut(left, top, w, h, row, &cut)) return;
    if (priv) Picture(icon, left, top, cut);
    QI_DrawTextLiteral(font, priv ? left + 16 : left, top, &cut, text.c_str());
}

MMScrollZnetRoom::MMScrollZnetRoom(const QIFont* f, const ZephSessionRecord& r) : font(f), record(r)
{
    record.name[ZEPH_SESSION_NAME_SIZE - 1] = 0;
    w = 138;
    h = 16;
}

void MMScrollZnetRoom::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    const int left = origin.x + x, top = origin.y + y;
    IRect cut;
    if (!RowBox(left, top, 138, row, state, &cut)) return;
    Fitted(font, left, 69, 16, 138, top + 2, cut, record.name);
    if (record.password) Picture(padlock, left, top, cut);
}

int MMScrollZnetRoom::Compare(QIGraphic* other)
{
    return MM_znet_precedes(static_cast<MMScrollZnetRoom*>(other)->record.name, record.name);
}

MMScrollZnetGame::MMScrollZnetGame(const QIFont* f, const ZephSessionRecord& r) : MMScrollZnetRoom(f, r) { w = 247; }

void MMScrollZnetGame::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    const int left = origin.x + x, top = origin.y + y;
    IRect cut;
    if (!RowBox(left, top, 247, row, state, &cut)) return;
    Fitted(font, left, 80, 16, 156, top + 2, cut, record.name);
    char count[21];
    snprintf(count, sizeof count, "%d/%d", record.players, record.maxplayers);
    QI_DrawTextLiteral(font, left + 160, top + 2, &cut, count);
    if (record.password) Picture(padlock, left, top, cut);
}

MMScrollZnetPlayer::MMScrollZnetPlayer(const QIFont* f, const ZephPlayerRecord& r) : font(f), record(r)
{
    record.name[ZEPH_NAME_SIZE - 1] = 0;
    w = 124;
    h = 16;
}

void MMScrollZnetPlayer::Update(void)
{
    crown.Resolve();
    ping.Resolve();
    lamp.Resolve();
}

void MMScrollZnetPlayer::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    const int left = origin.x + x, top = origin.y + y;
    IRect cut;
    if (!RowBox(left, top, 124, row, state, &cut)) return;
    Fitted(font, left, 62, 16, 106, top + 2, cut, record.name);
    const uint16_t owner = Zeph_GetModeratorInfo()->id;
    if (owner != 0 && record.id == owner) Picture(crown, left, top, cut);
    Picture(ping, left + 108, top, cut);
    Picture(lamp, left + 119, top + 5, cut);
}

int MMScrollZnetPlayer::Compare(QIGraphic* other)
{
    return MM_znet_precedes(static_cast<MMScrollZnetPlayer*>(other)->record.name, record.name);
}

// ---------------------------------------------------------------- the page

QIWidget* MM_znet_page(void) { return MM_znet.page; }

void MM_znet_forget(void)
{
    MM_ZNET& z = MM_znet;
    z.page = nullptr;
    z.serverText = z.roomText = z.messagesTitle = nullptr;
    z.rooms = z.games = z.players = z.messages = nullptr;
    z.entryField = nullptr;
    z.popup = nullptr;
    z.entry.Set("");
    z.mode = 0;
    z.shown = false;
    z.lastPlayers = 0;
    MM_znet_refill();
    z.kicked = false;
}

QIGraphic* MM_znet_selected(QIList* list)
{
    if (!list || list->current < 0) return nullptr;
    QIGraphic* g = list->first;
    for (int i = 0; g && i < list->current; i++) g = static_cast<QIGraphic*>(g->next);
    return g;
}

void MM_znet_add_line(const char* text)
{
    if (!MM_znet.messages) return;
    MM_znet.messages->Add(new QITextItem(&MM_menu.fonts[MM_FONT_TEXT], text));
    Mm_RedrawList(MM_znet.messages);
}

static QIList* List(QILayer* page, const char* name, const IRect& r, int rowWidth, const IRect& bar)
{
    QITextList* l = new QITextList(name, nullptr, QIImage("MM_SELE.BMP", r, 0), r, IPoint(rowWidth, 16), 1, nullptr,
                                   nullptr);
    l->listFlags = 0;
    QIWidget::AddChild(page, l);
    l->AttachVScroll(Mm_ScrollBar(bar));
    return l;
}

void MM_znet_init(QIWidget* backdrop)
{
    MM_ZNET& z = MM_znet;
    const QIFont* f = MM_menu.fonts;
    z.page = new QILayer("MultiMenuZephnet", nullptr, IRect(0, 0, 640, 480),
                         QIImage("MM_SELE.BMP", IRect(0, 0, 640, 480), 0));
    z.page->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(backdrop, z.page);
    const MM_LABEL labels[] = {
        {"ZephnetTitle", "Internet Connection", IRect(160, 0, 320, 20), MM_FONT_TITLE, QIJ_CENTRE, nullptr},
        {"ZephnetServer", "Current Server", IRect(29, 4, 100, 16), MM_FONT_HEADING, QIJ_LEFT, nullptr},
        {"ZephnetServerTxt", "-", IRect(29, 28, 100, 16), MM_FONT_TEXT, QIJ_LEFT, &z.serverText},
        {"ZephnetRoom", "Current Room", IRect(29, 40, 100, 16), MM_FONT_HEADING, QIJ_LEFT, nullptr},
        {"ZephnetRoomTxt", "-", IRect(29, 64, 100, 16), MM_FONT_TEXT, QIJ_LEFT, &z.roomText},
        {"ZephnetRooms", "Rooms on Server", IRect(29, 80, 100, 16), MM_FONT_HEADING, QIJ_LEFT, nullptr},
        {"ZephnetGames", "Games in Room", IRect(194, 80, 100, 16), MM_FONT_HEADING, QIJ_LEFT, nullptr},
        {"ZephnetPlayers", "Players in Room", IRect(468, 80, 100, 16), MM_FONT_HEADING, QIJ_LEFT, nullptr},
        {"ZephnetMessages", "Messages in Room", IRect(250, 213, 140, 16), MM_FONT_HEADING, QIJ_LEFT,
         &z.messagesTitle},
    };
    Mm_AddLabels(z.page, labels);
    struct BUTTON {
        const char* name;
        const char* label;
        IRect r;
        QIHANDLER fn;
    };
    static const BUTTON kButtons[] = {
        {"ZephnetBack", "Previous Menu", IRect(27, 414, 110, 32), MM_znet_back},
        {"ZephnetMain", "Main Menu", IRect(140, 414, 110, 32), MM_znet_main},
        {"ZephnetRoomCreate", "Create Room", IRect(70, 447, 110, 32), MM_znet_create_room},
        {"ZephnetRoomJoin", "Join Room", IRect(183, 447, 110, 32), MM_znet_join_room},
        {"ZephnetGameCreate", "Create Game", IRect(347, 447, 110, 32), MM_znet_create_game},
        {"ZephnetGameJoin", "Join Game", IRect(460, 447, 110, 32), MM_znet_join_game_popup},
        {"ZephnetServer", "ChangeServer", IRect(506, 414, 110, 32), MM_znet_change_server},
    };
    for (const BUTTON& b : kButtons) QIWidget::AddChild(z.page, Mm_BarButton(b.name, b.fn, b.r, b.label));
    z.rooms = List(z.page, "ZephnetRoomList", IRect(28, 105, 138, 104), 138, IRect(169, 104, 16, 106));
    z.games = List(z.page, "ZephnetGameList", IRect(194, 105, 247, 104), 247, IRect(442, 104, 16, 106));
    z.players = List(z.page, "ZephnetPlayerList", IRect(468, 105, 124, 104), 124, IRect(593, 104, 16, 106));
    const IRect toggle(27, 366, 59, 19);
    g_QIButtonOffset = IPoint(0, 1);
    QIWidget::AddChild(z.page, new QIToggleButton("ZephnetPubPriv", nullptr, toggle, "Private", "Public",
                                                  &f[MM_FONT_LABEL], &f[MM_FONT_LABELO], &f[MM_FONT_LABELG],
                                                  QIImage("mm_sele.bmp", toggle, 0), QIImage("mm_sele.bmp", toggle, 0),
                                                  QIImage("mm_sele.bmp", toggle, 0), QIImage("mm_sele.bmp", toggle, 0),
                                                  &z.mode, 1, 0));
    g_QIButtonOffset = IPoint(0, 0);
    z.entry.Set("");
    z.entryField = new QIEdit("ZephnetMessageEntry", MM_znet_send_message, IRect(91, 366, 517, 19), IPoint(5, 2),
                              QIJ_LEFT, &z.entry, 0x4FFF, 0, MM_ZNET_ENTRY_MAX, 15, &f[MM_FONT_TEXT]);
    QIWidget::AddChild(z.page, z.entryField);
    z.messages = List(z.page, "ZephnetPlayerList", IRect(28, 238, 564, 121), 564, IRect(593, 236, 14, 122));
}
