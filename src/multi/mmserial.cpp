#include "multi/mmserial.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/tfmod.h"
#include "core/utils.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mmmain.h"
#include "net/comm.h"
#include "net/net.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qidroplist.h"
#include "widgets/qilayer.h"
#include "widgets/qislider.h"
#include "widgets/qistatic.h"

namespace {

struct PAGE {
    QILayer* layer = nullptr;
    QIList* ports = nullptr;
    QIList* speeds = nullptr;
};
PAGE s_serial;

const char* const kSpeeds[] = {"9600", "14400", "19200", "38400", "56000", "57600", "115200", "128000"};

const QIFont* Font(int slot) { return &MM_menu.fonts[slot]; }

// The serial devices with hardware behind them, by name.
std::vector<std::string> DevicesPresent(void)
{
    std::vector<std::string> found;
    DIR* d = opendir("/dev");
    if (!d) return found;
    while (struct dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (strncmp(n, "ttyS", 4) != 0 && strncmp(n, "ttyUSB", 6) != 0 && strncmp(n, "ttyACM", 6) != 0) continue;
        struct stat st;
        if (stat((std::string("/sys/class/tty/") + n + "/device").c_str(), &st) == 0)
            found.push_back(std::string("/dev/") + n);
    }
    closedir(d);
    std::sort(found.begin(), found.end());
    return found;
}

const char* CurrentText(QIList* list)
{
    const MMScrollSerial* r = list ? dynamic_cast<const MMScrollSerial*>(list->ItemAt(list->current)) : nullptr;
    return r ? r->text.c_str() : nullptr;
}

// The choice into the configuration when it changed; nothing without a port.
void Keep(void)
{
    const char* port = CurrentText(s_serial.ports);
    const char* speed = CurrentText(s_serial.speeds);
    if (!port || !speed) return;
    if (strcmp(port, g_Config.serialport) == 0 && strcmp(speed, g_Config.serialbaud) == 0) return;
    Tfmod_SetSerial(port, speed);
    Str_CopySafe(g_Config.serialport, port, sizeof g_Config.serialport);
    Str_CopySafe(g_Config.serialbaud, speed, sizeof g_Config.serialbaud);
}

void Nothing(void) {}

// Steps 1 to 3 of Create and Join: the network started on the chosen line.
bool StartLine(void)
{
    Keep();
    const char* port = CurrentText(s_serial.ports);
    const char* speed = CurrentText(s_serial.speeds);
    if (port && speed) {
        COMM_SetPort(port, (uint32_t)strtoul(speed, nullptr, 10));
        if (Net_Init(NET_TYPE_SERIAL)) return true;
    }
    // Closed again: the next attempt opens the port chosen then, not this one.
    Net_Close();
    Mm_PopError(&MM_menu, "SerialUnableToInitialise", "Could not initialise serial interface");
    return false;
}

} // namespace

MMScrollSerial::MMScrollSerial(const QIFont* f, const char* t, int32_t rowWidth) : font(f), text(t), width(rowWidth)
{
    w = rowWidth;
    h = Height();
}

int MMScrollSerial::Height(void) { return font ? QI_FontHeight(font) : 12; }

void MMScrollSerial::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    const int left = origin.x + x, top = origin.y + y;
    const int x1 = std::max(left, row.x), y1 = std::max(top, row.y);
    const int x2 = std::min(left + width, row.x + row.w), y2 = std::min(top + Height(), row.y + row.h);
    if (x2 <= x1 || y2 <= y1) return;
    const IRect cut(x1, y1, x2 - x1, y2 - y1);
    Mm_FillRow(cut, state);
    QI_DrawTextLiteral(font, left + (width - QI_TextWidthLiteral(font, text.c_str())) / 2, top + 1, &cut,
                       text.c_str());
}

QIWidget* MM_serial_page(void) { return s_serial.layer; }
QIList* MM_serial_ports(void) { return s_serial.ports; }
QIList* MM_serial_speeds(void) { return s_serial.speeds; }
void MM_serial_forget(void) { s_serial = PAGE(); }

static QIList* TextList(const char* name, const IRect& r)
{
    QITextList* l = new QITextList(name, nullptr, QIImage("MM_SER.BMP", r, 0), r, IPoint(r.w, 12), 1, nullptr, nullptr);
    l->listFlags = QILF_FILLCELLS;
    return l;
}

void MM_serial_init(QIWidget* backdrop)
{
    QILayer* page = new QILayer("MultiMenuSerial", nullptr, IRect(0, 0, 640, 480), QIImage("MM_SER.BMP", IRect(0, 0, 640, 480), 0));
    page->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(backdrop, page);
    s_serial.layer = page;
    struct TEXT {
        const char* name;
        const char* text;
        IRect r;
        int font, just;
    } texts[] = {
        {"SerialStaticTitle", "Serial Connection", IRect(220, 0, 200, 20), MM_FONT_TITLE, QIJ_CENTRE},
        {"SerialStaticSetup", "Communications Port Setup", IRect(206, 92, 219, 19), MM_FONT_HEADING, QIJ_CENTRE},
        {"SerialStaticPort", "Comm Port", IRect(147, 143, 100, 16), MM_FONT_HEADING, QIJ_LEFT},
        {"SerialStaticBaud", "Baud Rate", IRect(325, 143, 100, 16), MM_FONT_HEADING, QIJ_LEFT},
    };
    for (const TEXT& t : texts)
        QIWidget::AddChild(page, new QIStatic(t.name, nullptr, t.r, t.text, Font(t.font), t.just));
    s_serial.ports = TextList("SerialPortScroller", IRect(147, 167, 172, 183));
    QIWidget::AddChild(page, s_serial.ports);
    s_serial.speeds = TextList("SerialBaudScroller", IRect(321, 167, 164, 183));
    QIWidget::AddChild(page, s_serial.speeds);
    QISlider* bar = Mm_ScrollBar(IRect(487, 167, 16, 183));
    s_serial.speeds->AttachVScroll(bar);
    bar->name.Set("SerialPortScrollerVS"); // the speed list's, under the port list's name
    QIWidget::AddChild(page, Mm_BarButton("SerialBack", MM_serial_back, IRect(27, 414, 110, 32), "Previous Menu"));
    QIWidget::AddChild(page, Mm_BarButton("SerialMain", MM_serial_main, IRect(140, 414, 110, 32), "Main Menu"));
    QIWidget::AddChild(page, Mm_BarButton("SerialCreate", MM_serial_create, IRect(393, 414, 110, 32), "Create Game"));
    QIWidget::AddChild(page, Mm_BarButton("SerialJoin", MM_serial_join, IRect(506, 414, 110, 32), "Join Game"));
}

int MM_serial_start(void)
{
    Mm_SetPoll(Nothing);
    QIList* ports = s_serial.ports;
    QIList* speeds = s_serial.speeds;
    if (!ports || !speeds) return 1;
    ports->Clear();
    speeds->Clear();
    std::vector<std::string> names;
    const std::string listed = g_Config.serialports;
    for (size_t at = 0; at <= listed.size();) {
        const size_t end = std::min(listed.find(';', at), listed.size());
        if (end > at) names.push_back(listed.substr(at, end - at));
        at = end + 1;
    }
    for (const std::string& d : DevicesPresent())
        if (std::find(names.begin(), names.end(), d) == names.end()) names.push_back(d);
    for (const std::string& n : names) ports->Add(new MMScrollSerial(Font(MM_FONT_TEXT), n.c_str(), 172));
    ports->SetCurrent(ports->count ? 0 : -1);
    for (int i = 0; g_Config.serialport[0] && i < ports->count; i++)
        if (strcmp(static_cast<MMScrollSerial*>(ports->ItemAt(i))->text.c_str(), g_Config.serialport) == 0) {
            ports->SetCurrent(i);
            break;
        }
    int speed = 0;
    for (int i = 0; i < (int)(sizeof kSpeeds / sizeof kSpeeds[0]); i++) {
        speeds->Add(new MMScrollSerial(Font(MM_FONT_TEXT), kSpeeds[i], 164));
        if (strcmp(kSpeeds[i], g_Config.serialbaud) == 0) speed = i;
    }
    speeds->SetCurrent(speed);
    if (MM_menu.desktop && s_serial.layer) {
        s_serial.layer->MarkTree();
        if (!QIWidget::IsHidden(s_serial.layer)) MM_menu.desktop->Repaint(s_serial.layer);
    }
    return 1;
}

// Back to the connection page, the network closed.
static void Leave(bool frontEnd)
{
    Keep();
    Mm_SetPoll(nullptr);
    Net_Close();
    if (frontEnd) {
        Mm_SwitchPage(s_serial.layer, nullptr);
        Mm_Leave(GS_FRONTEND);
    } else {
        Mm_SwitchPage(s_serial.layer, MM_main_page());
    }
}

int MM_serial_back(QIWidget*, int code, QIARG)
{
    if (code == QIN_CLICKED) Leave(false);
    return 0;
}

int MM_serial_main(QIWidget*, int code, QIARG)
{
    if (code == QIN_CLICKED) Leave(true);
    return 0;
}

int MM_serial_create(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED || !StartLine()) return 0;
    Net_BeginSession();
    Net_HostGame();
    MM_chat_enter_from(s_serial.layer);
    return 0;
}

int MM_serial_join(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED || !StartLine()) return 0;
    Net_BeginSession();
    NetAddress line;
    memset(&line, 0, sizeof line);
    line.kind = NET_TYPE_SERIAL;
    if (const char* refused = Net_Join(&line, 5000)) {
        Net_Close();
        Mm_PopKeyError(&MM_menu, refused);
        return 0;
    }
    MM_chat_enter_from(s_serial.layer);
    return 0;
}
