// The online service's server list page: the servers the service reports,
// beside the configured one, listed again on "Update List" and every 60
// seconds while the page is shown. The lobby's client stays connected
// throughout; Connect and Previous Menu go back to the lobby on the same
// server, Main Menu closes the client and leaves the menus.
//
// A listing waits for the client's enumeration at most 6000 ms of the
// network clock (the client gives the library 5000) and then shows what
// came; only the servers of the latest enumeration are listed.
#pragma once

#include <cstdint>

#include "net/zeph.h"
#include "widgets/qiitem.h"
#include "widgets/qiwidget.h"

class QIList;

enum { MM_ZSVR_SEARCH_MS = 60000, MM_ZSVR_WAIT_MS = 6000 };

// A server row, 360 x 20: the host name centred on x + 151.
class MMScrollServer : public QIGraphic {
public:
    const QIFont* font;
    ZephServerRecord record;

    MMScrollServer(const QIFont* f, const ZephServerRecord& r);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
};

// Builds the page, hidden, under the backdrop.
void MM_zsvr_init(QIWidget* backdrop);
QIWidget* MM_zsvr_page(void);
QIList* MM_zsvr_list(void);
void MM_zsvr_forget(void);
// The page's entry from the lobby: poll, search clock, server name; no
// search. 1.
int MM_zsvr_show_server(void);
void MM_zsvr_poll(void);
// System clock of the latest search (or entry).
uint32_t MM_zsvr_last_search(void);
int MM_zsvr_search(QIWidget* widget, int code, QIARG arg);
int MM_zsvr_connect(QIWidget* widget, int code, QIARG arg);
int MM_zsvr_back(QIWidget* widget, int code, QIARG arg);
int MM_zsvr_main(QIWidget* widget, int code, QIARG arg);
