// The lobby's session with the online service: connect, the per-frame poll,
// messages, kicks and leaving the page.
#include <cstdio>
#include <cstring>

#include "core/config.h"
#include "core/crc32.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "multi/mmframe.h"
#include "multi/mmmain.h"
#include "multi/mmznet.h"
#include "multi/mmzsvr.h"
#include "net/net.h"
#include "platform/cursor.h"
#include "platform/plat.h"
#include "platform/thread.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qiedit.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qistatic.h"

static void Repaint(void)
{
    if (MM_menu.desktop && MM_znet.page && !QIWidget::IsHidden(MM_znet.page)) MM_menu.desktop->Repaint(nullptr);
}

// The lists are rebuilt whenever the service's lists change, and the
// player's pick must survive: it stays on its room, game or player (by the
// service's id), none when that one went, or a Join or a private line would
// go to whatever moved into its place.
template <class ROW> static int32_t PickedId(QIList* list)
{
    const ROW* row = dynamic_cast<const ROW*>(MM_znet_selected(list));
    return row ? row->record.id : -1;
}

template <class ROW> static void Repick(QIList* list, int32_t id)
{
    int32_t at = -1, i = 0;
    for (QIGraphic* g = list->first; g && at < 0 && id >= 0; g = static_cast<QIGraphic*>(g->next), i++) {
        const ROW* row = dynamic_cast<const ROW*>(g);
        if (row && row->record.id == id) at = i;
    }
    list->SetCurrent(at);
}

void MM_znet_fill_rooms(void)
{
    QIList* list = MM_znet.rooms;
    if (!list) return;
    const int32_t picked = PickedId<MMScrollZnetRoom>(list);
    list->Clear();
    Zeph_SessionListRewind();
    while (const ZephSessionRecord* r = Zeph_SessionListNext())
        list->InsertSorted(new MMScrollZnetRoom(&MM_menu.fonts[MM_FONT_TEXT], *r));
    Repick<MMScrollZnetRoom>(list, picked);
}

static void FillGames(void)
{
    QIList* list = MM_znet.games;
    if (!list) return;
    const int32_t picked = PickedId<MMScrollZnetGame>(list);
    list->Clear();
    Zeph_GameListRewind();
    while (const ZephSessionRecord* r = Zeph_GameListNext())
        list->InsertSorted(new MMScrollZnetGame(&MM_menu.fonts[MM_FONT_TEXT], *r));
    Repick<MMScrollZnetGame>(list, picked);
}

static void FillPlayers(void)
{
    QIList* list = MM_znet.players;
    if (!list) return;
    const int32_t picked = PickedId<MMScrollZnetPlayer>(list);
    list->Clear();
    Zeph_PlayerListRewind();
    while (const ZephPlayerRecord* r = Zeph_PlayerListNext())
        list->Add(new MMScrollZnetPlayer(&MM_menu.fonts[MM_FONT_TEXT], *r));
    Repick<MMScrollZnetPlayer>(list, picked);
}

void MM_znet_error(const char* key)
{
    // The service's keys carry their whole text in the string scripts: the
    // default is empty, so a text of the key takes no arguments either.
    Mm_PopKeyError(&MM_menu, key);
}

// The check value of a client list of sessions, in the client's order.
static uint32_t SessionsCheck(void (*rewind)(void), ZephSessionRecord* (*next)(void))
{
    uint32_t crc = Crc32_Block("", 0), n = 0;
    rewind();
    while (const ZephSessionRecord* r = next()) {
        uint8_t bytes[DP_SESSION_BYTES];
        Zeph_SessionToBytes(r, bytes);
        crc = Crc32_Update(crc, bytes, sizeof bytes);
        n++;
    }
    return Crc32_Update(crc, &n, sizeof n) | 1;
}

static uint32_t PlayersCheck(void)
{
    uint32_t crc = Crc32_Block("", 0), n = 0;
    Zeph_PlayerListRewind();
    while (const ZephPlayerRecord* r = Zeph_PlayerListNext()) {
        crc = Crc32_Update(crc, r->name, sizeof r->name);
        crc = Crc32_Update(crc, &r->id, sizeof r->id);
        crc = Crc32_Update(crc, &r->address, sizeof r->address);
        n++;
    }
    // The owner's crown goes with the rows.
    const uint16_t owner = Zeph_GetModeratorInfo()->id;
    crc = Crc32_Update(crc, &owner, sizeof owner);
    return Crc32_Update(crc, &n, sizeof n) | 1;
}

void MM_znet_refill(void)
{
    MM_znet.roomsCheck = MM_znet.gamesCheck = MM_znet.playersCheck = 0;
    MM_znet.playersDue = true;
}

// ---------------------------------------------------------------- connect

static QIPopup* Connecting(void)
{
    if (!MM_menu.desktop) return nullptr;
    QIPopup* pop = new QIPopup("ZephnetConnecting", nullptr, IPoint(390, 130),
                               QIImage("pop_1pic.bmp", IRect(0, 0, 390, 130), 0));
    QIWidget::AddChild(pop, new QIStatic("ZephnetCTitle", nullptr, IRect(pop->x + 37, pop->y + 39, 316, 70),
                                         "Connecting to Zephnet", &MM_menu.fonts[MM_FONT_TEXT], QIJ_CENTRE));
    QIWidget::AddChild(MM_menu.backdrop, pop);
    MM_menu.desktop->Refresh(pop);
    return pop;
}

static void Close(QIPopup* pop)
{
    if (pop && MM_menu.desktop) MM_menu.desktop->ClosePopup(pop);
}

static void Flip(void)
{
    Cursor_Update();
    Graph_FlipWithCursor();
}

int MM_znet_connect(void)
{
    QIPopup* pop = Connecting();
    if (!Zeph_Init()) {
        Close(pop);
        return 0;
    }
    MM_ZNET& z = MM_znet;
    Mm_SetPoll(MM_znet_poll);
    Zeph_SetPlayerName(g_NetPlayerName);
    z.shown = false;
    z.lastPlayers = 0;
    MM_znet_refill();
    z.kicked = false;
    Zeph_EnumSessions();
    Zeph_SetTagAMHandler(MM_znet_add_message);
    Zeph_SetTagAKHandler(MM_znet_kicked);
    if (z.serverText) z.serverText->SetText(g_Config.zephnetserver);
    for (QIList* l : {z.rooms, z.games, z.players, z.messages})
        if (l) {
            l->Clear();
            l->SetCurrent(-1);
        }
    // A refused enumeration never finishes: the wait is bounded so the
    // program can't hang here without input.
    const uint32_t start = Thread_ClockMs();
    bool in = false;
    while (!Zeph_SessionEnumDone() && Thread_ClockMs() - start < MM_ZNET_CONNECT_MS) {
        Flip();
        ZEPH_poll();
        if (!Zeph_JoinFirstOpenRoom()) {
            in = true;
            break;
        }
        Thread_Sleep(1);
    }
    if (!in) {
        if (const char* e = Zeph_JoinFirstOpenRoom()) {
            TLOG(TLOG_SETUP, "Timed out getting into lobby");
            MM_znet_error(e);
            Close(pop);
            return 1;
        }
    }
    MM_znet_fill_rooms();
    TLOG(TLOG_SETUP, "Got into lobby");
    Close(pop);
    return 1;
}

// ---------------------------------------------------------------- poll

static void Kicked(void)
{
    MM_ZNET& z = MM_znet;
    z.kicked = false;
    char sender[sizeof z.kickSender], text[sizeof z.kickText];
    memcpy(sender, z.kickSender, sizeof sender);
    memcpy(text, z.kickText, sizeof text);
    Mm_PopError(&MM_menu, "Kicked Out", "Kicked out by %s: %s", sender, text);
    if (const char* e = Zeph_JoinFirstOpenRoom()) {
        TLOG(TLOG_SETUP, "Timed out getting into lobby");
        MM_znet_error(e);
    }
}

void MM_znet_poll(void)
{
    MM_ZNET& z = MM_znet;
    ZEPH_poll();
    if (z.kicked) Kicked();
    const ZephSessionRecord* room = Zeph_GetRoomInfo();
    char name[ZEPH_SESSION_NAME_SIZE];
    snprintf(name, sizeof name, "%s", room->name);
    if (z.roomText && z.roomText->text.CompareCStr(name) != QISTR_EQUAL) z.roomText->SetText(name);
    char title[51];
    snprintf(title, sizeof title, "Messages in %s", name);
    if (z.messagesTitle && z.messagesTitle->text.CompareCStr(title) != QISTR_EQUAL) z.messagesTitle->SetText(title);
    const bool done = Zeph_SessionEnumDone();
    if (done && !z.shown) {
        z.shown = true;
        const uint32_t rooms = SessionsCheck(Zeph_SessionListRewind, Zeph_SessionListNext);
        const uint32_t games = SessionsCheck(Zeph_GameListRewind, Zeph_GameListNext);
        if (rooms != z.roomsCheck || games != z.gamesCheck) {
            z.roomsCheck = rooms;
            z.gamesCheck = games;
            MM_znet_fill_rooms();
            FillGames();
            Repaint();
        }
    } else if (!done) {
        z.shown = false;
    }
    const uint32_t now = Plat_SystemMs();
    if (now - z.lastPlayers > MM_ZNET_PLAYER_MS || z.playersDue) {
        z.lastPlayers = now;
        z.playersDue = false;
        const uint32_t players = PlayersCheck();
        if (players != z.playersCheck) {
            z.playersCheck = players;
            FillPlayers();
            Repaint();
        }
    }
    if (done) {
        Zeph_EnumSessions();
        // The enumeration has already finished when it returns (the client
        // waits for it): the next poll rebuilds from it.
        z.shown = false;
    }
}

int MM_znet_shutdown(void)
{
    Zeph_Shutdown();
    Mm_SetPoll(nullptr);
    return 1;
}

// ---------------------------------------------------------------- messages

static void FocusEntry(void)
{
    if (MM_menu.desktop && MM_znet.entryField) MM_menu.desktop->SetCapture(MM_znet.entryField, true);
}

int MM_znet_send_message(QIWidget*, int code, QIARG)
{
    if (code != QIN_ENTER) return 0;
    MM_ZNET& z = MM_znet;
    char text[MM_ZNET_ENTRY_MAX + 1];
    snprintf(text, sizeof text, "%s", z.entry.c_str());
    if (text[0] && z.mode == 0) {
        Zeph_BroadcastTagged(text);
        MM_znet_add_message(g_NetPlayerName, text);
    } else if (text[0]) {
        const MMScrollZnetPlayer* to = static_cast<const MMScrollZnetPlayer*>(MM_znet_selected(z.players));
        if (!to) {
            QIString hint;
            QI_PlainText("ZephnetPrivateMessage", &hint, "{To Send a Private Message Select a Player First}");
            MM_znet_add_line(hint.c_str());
            return 0;
        }
        char line[ZEPH_NAME_SIZE + sizeof text + 4];
        snprintf(line, sizeof line, "[%s] %s", to->record.name, text);
        line[MM_ZNET_LINE_MAX] = 0; // a line is cut at its 80 characters
        MM_znet_add_line(line);
        char marked[MM_ZNET_ENTRY_MAX + 2];
        snprintf(marked, sizeof marked, "%c%s", MM_ZNET_PRIVATE_MARK, text);
        Zeph_SendTaggedToPlayer(to->record.id, marked);
    }
    Mm_SetEditText(z.entryField, "");
    z.entry.Set("");
    FocusEntry();
    return 0;
}

void MM_znet_add_message(const char* sender, const char* text)
{
    if (!sender) sender = "";
    if (!text) text = "";
    const int priv = (uint8_t)text[0] == MM_ZNET_PRIVATE_MARK;
    char line[MM_ZNET_LINE_MAX + 1];
    snprintf(line, sizeof line, "%.*s> %s", MM_ZNET_LINE_MAX, sender, text + priv);
    if (!MM_znet.messages) return;
    MM_znet.messages->Add(new MMScrollZnetMessage(&MM_menu.fonts[MM_FONT_TEXT], line, priv));
    Mm_RedrawList(MM_znet.messages);
}

void MM_znet_kicked(const char* sender, const char* text)
{
    MM_ZNET& z = MM_znet;
    snprintf(z.kickSender, sizeof z.kickSender, "%s", sender ? sender : "");
    snprintf(z.kickText, sizeof z.kickText, "%s", text ? text : "");
    z.kicked = true;
}

// ---------------------------------------------------------------- leaving

int MM_znet_back(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    MM_znet_shutdown();
    Mm_SwitchPage(MM_znet.page, MM_main_page());
    return 0;
}

int MM_znet_main(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    MM_znet_shutdown();
    Mm_SwitchPage(MM_znet.page, nullptr);
    Mm_Leave(GS_FRONTEND);
    return 0;
}

int MM_znet_change_server(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    Mm_SwitchPage(MM_znet.page, MM_zsvr_page());
    MM_zsvr_show_server();
    return 0;
}
