// The modem pages: "MultiMenuModem" with the phone book and its editing
// fields, its setup layer "MultiMenuModemSetup" with the modems found, and
// the status pop-up "ModemStatus" that lists the call's progress. The
// machine that dials creates the game, the one that answers joins it; both
// go on to the staging page once the line is connected.
//
// The network is started once per Dial or Answer: a line that connects but
// can't carry the network adds one status line and waits for the next call.
#pragma once

#include <cstdint>

#include "widgets/qiitem.h"
#include "widgets/qistring.h"
#include "widgets/qiwidget.h"

class QIList;

enum { MM_MODEM_FIELD_MAX = 20, MM_MODEM_JOIN_TRIES = 51, MM_MODEM_JOIN_WAIT_MS = 100 };

// A phone book row: name and number; sorted by name without regard to case.
class MMScrollPhoneBook : public QIGraphic {
public:
    const QIFont* font;
    QIString name, number;

    MMScrollPhoneBook(const QIFont* f, const char* n, const char* num);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    int Height(void) override { return 16; }
    int Width(void) override { return 585; }
    // 0 when other belongs after this row.
    int Compare(QIGraphic* other) override;
};

// A modem row: the line device, its name and its maximum rate.
class MMScrollModem : public QIGraphic {
public:
    const QIFont* font;
    uint32_t device, maxRate;
    QIString name;

    MMScrollModem(const QIFont* f, uint32_t dev, const char* n, uint32_t rate);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    int Height(void) override { return 16; }
    int Width(void) override { return 585; }
};

// Builds the page and its setup layer (hidden) and the status pop-up
// (hidden) under the backdrop.
void MM_modem_init(QIWidget* backdrop);
QIWidget* MM_modem_page(void);
void MM_modem_forget(void);
// The poll, the modem layer with its callbacks, the configured modem
// preselected (exact), the phone book; 1.
int MM_modem_start(void);
// The phone list from the address book, nothing current.
void MM_modem_fill_phonebook(void);
// Starts the network once the line is connected (see above).
void MM_modem_poll(void);
// The modem layer's callbacks: a modem row; a status line by its text id
// ("ModemMessage" when the id has none).
void MM_modem_add_device(uint32_t device, const char* name, uint32_t maxRate);
void MM_modem_status_line(const char* statusId);
// The handlers; each acts on a click (18) only. Accept acts only after Add
// or Edit opened the fields; Edit skips an entry longer than the fields.
int MM_modem_add(QIWidget* widget, int code, QIARG arg);
int MM_modem_edit(QIWidget* widget, int code, QIARG arg);
int MM_modem_delete(QIWidget* widget, int code, QIARG arg);
int MM_modem_accept(QIWidget* widget, int code, QIARG arg);
int MM_modem_cancel(QIWidget* widget, int code, QIARG arg);
int MM_modem_back(QIWidget* widget, int code, QIARG arg);
int MM_modem_main(QIWidget* widget, int code, QIARG arg);
int MM_modem_setup(QIWidget* widget, int code, QIARG arg);
int MM_modem_phonebook(QIWidget* widget, int code, QIARG arg);
int MM_modem_dial(QIWidget* widget, int code, QIARG arg);
int MM_modem_answer(QIWidget* widget, int code, QIARG arg);
int MM_modem_hangup(QIWidget* widget, int code, QIARG arg);
// Tests: the lists and the edit texts; null outside the menus.
QIList* MM_modem_phones(void);
QIList* MM_modem_modems(void);
QIList* MM_modem_status_list(void);
QIString* MM_modem_name_text(void);
QIString* MM_modem_number_text(void);
