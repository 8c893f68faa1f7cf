// The online service's lobby page "MultiMenuZephnet": the server and room
// the player is in, the rooms on the server, the games and players of the
// room, its messages, and the buttons that create and join rooms and games.
//
// The lobby talks to the service only through the client (net/zeph.h),
// whose callbacks run inside ZEPH_poll on the main thread. The room and
// game lists are rebuilt once per finished room enumeration, the player
// list at most every 250 ms of the system clock. A kick is only recorded by
// its handler; the poll shows the box and rejoins a lobby room after
// ZEPH_poll has returned, so nothing runs a modal loop or a join inside the
// client's dispatch.
//
// Message lines hold at most 80 characters: a longer one is cut. A created
// game hosts the program's own UDP session; a joined one finds the game's
// owner through the service and joins it over UDP at the owner's address.
#pragma once

#include <cstdint>

#include "net/zeph.h"
#include "widgets/qiitem.h"
#include "widgets/qistring.h"
#include "widgets/qiwidget.h"

class QIEdit;
class QIList;
class QILayer;
class QIPopup;
class QIStatic;

enum {
    MM_ZNET_LINE_MAX = 80,        // a message line's characters
    MM_ZNET_ENTRY_MAX = 60,       // the message entry's characters
    MM_ZNET_NAME_MAX = 32,        // a room or game name as typed
    MM_ZNET_PASSWORD_MAX = 12,
    MM_ZNET_PLAYER_MS = 250,      // the player list's refresh
    MM_ZNET_CONNECT_MS = 15000,   // the connect wait's bound, network clock
    MM_ZNET_OWNER_MS = 2000,      // a joined game's wait for its owner
    MM_ZNET_JOIN_MS = 5000,       // the UDP join's wait
    MM_ZNET_PRIVATE_MARK = 0xFE,  // first byte of a private text
};

// A message line; the private flag draws the icon and moves the text 16
// pixels right.
class MMScrollZnetMessage : public QITextItem {
public:
    int32_t priv;
    QIImage icon{"private.bmp", IRect(0, 0, 16, 16), 0};

    MMScrollZnetMessage(const QIFont* f, const char* text, int32_t privateFlag);
    void Update(void) override { icon.Resolve(); }
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
};

// A room row: 138 x 16, the name centred on x + 69 (kept right of the
// padlock, a longer one cut with ".."), the padlock when the room has a
// password.
class MMScrollZnetRoom : public QIGraphic {
public:
    const QIFont* font;
    ZephSessionRecord record;
    QIImage padlock{"padlock.bmp", IRect(0, 0, 16, 16), 1};

    MMScrollZnetRoom(const QIFont* f, const ZephSessionRecord& r);
    void Update(void) override { padlock.Resolve(); }
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    // 1 when other's name sorts before this row's (unsigned bytes).
    int Compare(QIGraphic* other) override;
};

// A game row: 247 x 16, the name centred on x + 80 (between the padlock
// and x + 156, a longer one cut with ".."), "players/maximum" at x + 160,
// the padlock when the game has a password.
class MMScrollZnetGame : public MMScrollZnetRoom {
public:
    MMScrollZnetGame(const QIFont* f, const ZephSessionRecord& r);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
};

// A player row: 124 x 16, the name centred on x + 62 (between the crown
// and x + 106, a longer one cut with ".."), the crown when the
// player owns the session, the ping picture and its first lamp.
class MMScrollZnetPlayer : public QIGraphic {
public:
    const QIFont* font;
    ZephPlayerRecord record;
    QIImage crown{"crown.bmp", IRect(0, 0, 16, 16), 1};
    QIImage ping{"ping.bmp", IRect(0, 0, 16, 16), 1};
    QIImage lamp{"ping.bmp", IRect(17, 5, 5, 5), 1};

    MMScrollZnetPlayer(const QIFont* f, const ZephPlayerRecord& r);
    void Update(void) override;
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    int Compare(QIGraphic* other) override;
};

// 1 when name a sorts before name b, comparing bytes as unsigned.
int MM_znet_precedes(const char* a, const char* b);

struct MM_ZNET {
    QIString entry;            // the message entry's committed text
    int32_t mode = 0;          // 0 public, 1 private
    bool shown = false;        // lists rebuilt from the finished enumeration
    uint32_t lastPlayers = 0;  // system clock of the last player rebuild
    bool playersDue = true;    // the first poll rebuilds them whatever the clock
    // Check values of the client's lists as the rows show them (0: rebuild):
    // the lobby enumerates every frame, and rows that would come back the
    // same are not rebuilt and repainted again.
    uint32_t roomsCheck = 0, gamesCheck = 0, playersCheck = 0;
    QIString createName, createPassword, joinPassword;
    ZephSessionRecord chosen{};
    bool kicked = false;       // an "AK" text waits for the poll
    char kickSender[ZEPH_NAME_SIZE + 1] = {};
    char kickText[ZEPH_TEXT_MAX + 1] = {};
    // The page's widgets (the desktop owns them).
    QILayer* page = nullptr;
    QIStatic* serverText = nullptr;
    QIStatic* roomText = nullptr;
    QIStatic* messagesTitle = nullptr;
    QIList* rooms = nullptr;
    QIList* games = nullptr;
    QIList* players = nullptr;
    QIList* messages = nullptr;
    QIEdit* entryField = nullptr;
    QIPopup* popup = nullptr;  // the Create popup that is open
};

extern MM_ZNET MM_znet;

// ---- the page (mmznetpage.cpp) ----
// Builds the page, hidden, under the backdrop.
void MM_znet_init(QIWidget* backdrop);
QIWidget* MM_znet_page(void);
// Forgets the page's widgets (the desktop deleted them) and resets the state.
void MM_znet_forget(void);
// The list's selected row, or null.
QIGraphic* MM_znet_selected(QIList* list);
// A plain line (hint or echo) appended to the message list and drawn.
void MM_znet_add_line(const char* text);

// ---- the session (mmznet.cpp) ----
// The INTERNET button's start: 0 when the client can't be started, else 1
// with the lobby's poll installed (in a lobby room or not).
int MM_znet_connect(void);
void MM_znet_poll(void);
// Closes the client and removes the poll; 1.
int MM_znet_shutdown(void);
int MM_znet_send_message(QIWidget* widget, int code, QIARG arg);
// The "AM" handler: "%s> %s", a leading 0xFE left out and shown as private.
void MM_znet_add_message(const char* sender, const char* text);
// The "AK" handler: records the kick for the next poll.
void MM_znet_kicked(const char* sender, const char* text);
int MM_znet_back(QIWidget* widget, int code, QIARG arg);
int MM_znet_main(QIWidget* widget, int code, QIARG arg);
int MM_znet_change_server(QIWidget* widget, int code, QIARG arg);
// The error box for a key of the service's client, with an empty default.
void MM_znet_error(const char* key);
// The room list rebuilt from the client's rooms, in name order.
void MM_znet_fill_rooms(void);
// The next poll rebuilds every list from the client's, changed or not.
void MM_znet_refill(void);

// ---- rooms and games (mmzgame.cpp) ----
int MM_znet_create_room(QIWidget* widget, int code, QIARG arg);
int MM_znet_join_room(QIWidget* widget, int code, QIARG arg);
int MM_znet_create_game(QIWidget* widget, int code, QIARG arg);
int MM_znet_join_game_popup(QIWidget* widget, int code, QIARG arg);
// The Create popups' password field: the locked picture while it holds text.
int MM_znet_password_changed(QIWidget* widget, int code, QIARG arg);
// 1 when the game's owner was found (joined over UDP or not), 0 when the
// service refused or no owner came within 2000 ms.
int MM_znet_join_game(const ZephSessionRecord* session, const char* password);
