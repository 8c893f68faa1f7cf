// The connection page "MultiMenuMain": the player's name and the choice of
// carrier. A carrier that starts switches to its page; one that can't shows
// "Error!" and leaves the page and the configuration as they were. The name
// reaches the configuration file only when it changed, and only when the
// page is left.
#pragma once

#include "widgets/qiwidget.h"

enum { MM_NAME_MAX = 15 }; // the session's name field holds 15 characters

// Builds the page (shown) under the backdrop; the player name starts as the
// configured one, cut to 15 characters.
void MM_main_init(QIWidget* backdrop);
// The page's layer; null outside the menus.
QIWidget* MM_main_page(void);
// Forgets the page's widgets (the desktop deleted them).
void MM_main_forget(void);
// Copies the player name into the configuration (memory and file) when it
// differs, case included; 1 when it was written.
int MM_main_store_name(void);
// The handlers; each acts on a click (18) only.
int MM_main_ipx(QIWidget* widget, int code, QIARG arg);
int MM_main_internet(QIWidget* widget, int code, QIARG arg);
int MM_main_znet(QIWidget* widget, int code, QIARG arg);
int MM_main_serial(QIWidget* widget, int code, QIARG arg);
int MM_main_exit(QIWidget* widget, int code, QIARG arg);
