// The internet address page "MultiMenuInternet": the book of named
// addresses, each row probed (SEARCH and PING) every five seconds while the
// page is shown, its answer turned into a status and its round trip shown;
// rows are added, edited and deleted in place and the book written back to
// "Address.txt" after each change.
//
// A row's network address comes from its text when the row is made; each
// visit probes every row on its first poll. An address text that is not a
// dotted IPv4 address, or is the all-ones address, is never probed or
// joined (a JOIN there would be a broadcast).
#pragma once

#include <cstdint>
#include <string>

#include "net/net.h"
#include "widgets/qiitem.h"
#include "widgets/qiwidget.h"

class QIList;

enum { MM_INET_PROBE_MS = 5000, MM_INET_FIELD_MAX = 20, MM_JOIN_WAIT_MS = 5000 };

// The part of a found session a host's answer carries to a row.
struct MM_SESSION_HEAD {
    uint8_t flags;
    uint8_t creator;
    NetAddress address; // the creator's; doubles as the row's own address
    char name[NET_GAME_NAME_SIZE + 1];
    uint8_t count;
};

class MMScrollInetAddress : public QIGraphic {
public:
    const QIFont* font;
    uint32_t lastProbe = 0;
    bool probed = false; // this visit
    std::string name, address, status;
    MM_SESSION_HEAD head{};

    MMScrollInetAddress(const QIFont* f, const MM_SESSION_HEAD& h, std::string n, std::string a, std::string s);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    int Height(void) override { return 16; }
    int Width(void) override { return 552; }
    // Name order without regard to case: 0 when other belongs after this row.
    int Compare(QIGraphic* other) override;
    // 1 when the row's text is an address the page may probe and join.
    bool Valid(void) const;
};

// The UDP form of an address text; kind 1 and all ones when the text is
// no dotted IPv4 address.
NetAddress MM_inet_address(const char* text);

void MM_inet_init(QIWidget* backdrop);
QIWidget* MM_inet_page(void);
void MM_inet_forget(void);
// Starts UDP (0 when it can't: nothing else changes), the poll, a fresh
// session state; every row is probed on the first poll. 1.
int MM_inet_start(void);
void MM_inet_fill_addresses(void);
void MM_inet_poll(void);
int MM_inet_add_player(QIWidget* widget, int code, QIARG arg);
int MM_inet_edit_player(QIWidget* widget, int code, QIARG arg);
int MM_inet_delete_player(QIWidget* widget, int code, QIARG arg);
int MM_inet_accept(QIWidget* widget, int code, QIARG arg);
int MM_inet_cancel(QIWidget* widget, int code, QIARG arg);
int MM_inet_back(QIWidget* widget, int code, QIARG arg);
int MM_inet_main(QIWidget* widget, int code, QIARG arg);
int MM_inet_create(QIWidget* widget, int code, QIARG arg);
int MM_inet_join(QIWidget* widget, int code, QIARG arg);
// The page's list (tests); null outside the menus.
QIList* MM_inet_list(void);
