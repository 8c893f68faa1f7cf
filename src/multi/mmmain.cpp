#include "multi/mmmain.h"

#include <cstring>

#include "core/gamestate.h"
#include "core/tfmod.h"
#include "core/utils.h"
#include "multi/mmframe.h"
#include "multi/mminet.h"
#include "multi/mmipx.h"
#include "multi/mmserial.h"
#include "multi/mmznet.h"
#include "net/net.h"
#include "widgets/qibutton.h"
#include "widgets/qiedit.h"
#include "widgets/qilayer.h"
#include "widgets/qistatic.h"

static QILayer* s_page = nullptr;

QIWidget* MM_main_page(void) { return s_page; }
void MM_main_forget(void) { s_page = nullptr; }

int MM_main_store_name(void)
{
    if (strcmp(g_NetPlayerName, g_CfgPlayerName) == 0) return 0;
    Str_CopySafe(g_CfgPlayerName, g_NetPlayerName, sizeof g_CfgPlayerName);
    Tfmod_SetPlayerName(g_CfgPlayerName);
    return 1;
}

// A connection button: start the carrier, then leave for its page; a
// carrier that can't start leaves everything as it was.
static void Connect(int (*start)(void), QIWidget* (*page)(void), const char* failure)
{
    if (!start()) {
        Mm_PopError(&MM_menu, "Error!", "%s", failure);
        return;
    }
    MM_main_store_name();
    Mm_SwitchPage(s_page, page());
}

int MM_main_ipx(QIWidget*, int code, QIARG)
{
    if (code == QIN_CLICKED) Connect(MM_ipx_start, MM_ipx_page, "IPX Not Available");
    return 0;
}

int MM_main_internet(QIWidget*, int code, QIARG)
{
    if (code == QIN_CLICKED) Connect(MM_inet_start, MM_inet_page, "Internet Not Available");
    return 0;
}

int MM_main_znet(QIWidget*, int code, QIARG)
{
    if (code == QIN_CLICKED) Connect(MM_znet_connect, MM_znet_page, "Zephnet Not Available");
    return 0;
}

int MM_main_serial(QIWidget*, int code, QIARG)
{
    if (code == QIN_CLICKED) Connect(MM_serial_start, MM_serial_page, "Serial Not Available");
    return 0;
}

int MM_main_exit(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    MM_main_store_name();
    Mm_SwitchPage(s_page, nullptr);
    Mm_Leave(GS_FRONTEND);
    return 0;
}

void MM_main_init(QIWidget* backdrop)
{
    const QIFont* f = MM_menu.fonts;
    const char* pic = "MM_MAIN.BMP";
    s_page = new QILayer("MultiMenuMain", nullptr, IRect(0, 0, 640, 480), QIImage(pic, IRect(0, 0, 640, 480), 0));
    QIWidget::AddChild(backdrop, s_page);
    QIWidget::AddChild(s_page, new QIStatic("MainTitle", nullptr, IRect(160, 0, 320, 20), "Multi-Player Connection",
                                            &f[MM_FONT_TITLE], QIJ_CENTRE));
    QIWidget::AddChild(s_page, new QIStatic("MainPlayerNameStatic", nullptr, IRect(226, 59, 188, 30),
                                            "Player Name:", &f[MM_FONT_HEADING], QIJ_LEFT));
    memset(g_NetPlayerName, 0, sizeof g_NetPlayerName);
    memcpy(g_NetPlayerName, g_CfgPlayerName, strnlen(g_CfgPlayerName, MM_NAME_MAX));
    QIWidget::AddChild(s_page, new QIEdit("MainPlayerName", nullptr, IRect(226, 92, 188, 24), IPoint(5, 6), 0,
                                          g_NetPlayerName, 0xFF, 0, MM_NAME_MAX, 15, &f[MM_FONT_TEXT]));
    struct CONNECTION {
        const char* name;
        const char* label;
        QIHANDLER handler;
    };
    // The modem button acts once its page exists.
    static const CONNECTION kButtons[] = {
        {"MainZephnet", "INTERNET", MM_main_znet},
        {"MainIPX", "Local Area Network [IPX]", MM_main_ipx},
        {"MainModem", "Dial-Up MODEM", nullptr},
        {"MainSerial", "SERIAL/NULL MODEM", MM_main_serial},
        {"MainInternet", "MANUAL IP", MM_main_internet},
    };
    int y = 134;
    for (const CONNECTION& c : kButtons) {
        const IRect r(226, y, 188, 30);
        const QIImage face(pic, r, 0);
        QIWidget::AddChild(s_page, new QIButton(c.name, c.handler, r, face, face, face, face, c.label,
                                                &f[MM_FONT_HEADING], &f[MM_FONT_MAINO], &f[MM_FONT_MAING]));
        y += 52;
    }
    QIWidget::AddChild(s_page, Mm_BarButton("Main", MM_main_exit, IRect(266, 410, 110, 32), "MAIN MENU"));
}
