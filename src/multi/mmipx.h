// The IPX page "MultiMenuIpx": the games that hosts on the local network
// announce, one row per creator address, updated in place and removed when
// the game leaves the network layer's found list (its searches went
// unanswered), the pick staying on its game; the players of the picked
// game; a search every two seconds while the page is shown.
#pragma once

#include <cstdint>

#include "net/net.h"
#include "widgets/qiitem.h"
#include "widgets/qiwidget.h"

class QIList;

enum { MM_IPX_SEARCH_MS = 2000 };

class MMScrollIpxGame : public QIGraphic {
public:
    const QIFont* font;
    NetSession session; // texts terminated within their fields

    MMScrollIpxGame(const QIFont* f, const NetSession& s);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    int Width(void) override { return 360; }
    int Height(void) override { return 20; }
    // The copy of a found session, its texts terminated.
    void Take(const NetSession& s);
};

// "%d Player%s" and the status word of a found session.
void MM_ipx_player_text(int count, char* out, int size);
const char* MM_ipx_status_text(uint8_t flags);

void MM_ipx_init(QIWidget* backdrop);
QIWidget* MM_ipx_page(void);
void MM_ipx_forget(void);
// Starts IPX (0 when it can't: nothing else changes), the poll, a fresh
// session state and empty lists; 1.
int MM_ipx_start(void);
void MM_ipx_poll(void);
int MM_ipx_create(QIWidget* widget, int code, QIARG arg);
int MM_ipx_join(QIWidget* widget, int code, QIARG arg);
int MM_ipx_back(QIWidget* widget, int code, QIARG arg);
int MM_ipx_main(QIWidget* widget, int code, QIARG arg);
// The page's lists (tests); null outside the menus.
QIList* MM_ipx_games(void);
QIList* MM_ipx_players(void);
// The clock of the latest search; survives visits.
uint32_t MM_ipx_last_search(void);
void MM_ipx_set_last_search(uint32_t ms);
