#include "multi/mminet.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "core/addrbook.h"
#include "core/gll.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mmmain.h"
#include "platform/graph.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "widgets/qibutton.h"
#include "widgets/qidraw.h"
#include "widgets/qiedit.h"
#include "widgets/qigauge.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qistatic.h"

namespace {
struct PAGE {
    QILayer* layer = nullptr;
    QIList* list = nullptr;
    QIEdit* nameField = nullptr;
    QIEdit* addressField = nullptr;
    QIString nameText, addressText;
    MMScrollInetAddress* edited = nullptr;
    bool fieldsOpen = false; // Add or Edit enabled the fields
};
PAGE s_inet;
} // namespace

NetAddress MM_inet_address(const char* text)
{
    NetAddress a;
    memset(&a, 0, sizeof a);
    a.kind = NET_TYPE_UDP;
    const in_addr_t ip = inet_addr(text);
    memcpy(a.bytes, &ip, 4);
    return a;
}

MMScrollInetAddress::MMScrollInetAddress(const QIFont* f, const MM_SESSION_HEAD& h, std::string n, std::string a,
                                         std::string s)
    : font(f), name(std::move(n)), address(std::move(a)), status(std::move(s)), head(h)
{
    w = 552;
    this->h = 16;
    head.address = MM_inet_address(address.c_str());
}

bool MMScrollInetAddress::Valid(void) const { return inet_addr(address.c_str()) != INADDR_NONE; }

int MMScrollInetAddress::Compare(QIGraphic* other)
{
    const MMScrollInetAddress* o = static_cast<const MMScrollInetAddress*>(other);
    return strcasecmp(o->name.c_str(), name.c_str()) < 0 ? 1 : 0;
}

void MMScrollInetAddress::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    const int left = origin.x + x, top = origin.y + y;
    IRect box(left, top, 552, 16);
    const int x1 = std::max(box.x, row.x), y1 = std::max(box.y, row.y);
    const int x2 = std::min(box.x + box.w, row.x + row.w), y2 = std::min(box.y + box.h, row.y + row.h);
    if (x2 <= x1 || y2 <= y1) return;
    const IRect cut(x1, y1, x2 - x1, y2 - y1);
    Mm_FillRow(cut, state);
    QI_DrawTextLiteral(font, left + 2, top + 1, &cut, name.c_str());
    QI_DrawTextLiteral(font, left + 200, top + 1, &cut, address.c_str());
    QI_DrawTextLiteral(font, left + 300, top + 1, &cut, status.c_str());
    char rtt[21];
    snprintf(rtt, sizeof rtt, "%4d ms", NetPkt_Running() ? (int)NetPkt_GetRoundTrip(&head.address) : 250);
    QI_DrawText(font, left + 500, top + 1, &cut, rtt);
}

static MMScrollInetAddress* Row(QIGraphic* g) { return static_cast<MMScrollInetAddress*>(g); }

QIWidget* MM_inet_page(void) { return s_inet.layer; }
QIList* MM_inet_list(void) { return s_inet.list; }

void MM_inet_forget(void)
{
    s_inet.layer = nullptr;
    s_inet.list = nullptr;
    s_inet.nameField = s_inet.addressField = nullptr;
    s_inet.edited = nullptr;
    s_inet.fieldsOpen = false;
    s_inet.nameText.Set(nullptr);
    s_inet.addressText.Set(nullptr);
}

void MM_inet_fill_addresses(void)
{
    QIList* list = s_inet.list;
    if (!list) return;
    list->Clear();
    for (const ADDRESSBOOK_ENTRY* e = g_AddressBookInternet; e; e = e->next) {
        MM_SESSION_HEAD h{};
        list->InsertSorted(new MMScrollInetAddress(&MM_menu.fonts[MM_FONT_TEXT], h, e->name, e->address, "..."));
    }
    s_inet.edited = nullptr;
    list->SetCurrent(-1);
    Mm_RedrawList(list);
}

// Hints (Add's texts) give way to the first key typed in their field.
static void SetFields(const char* name, const char* address, bool open, bool hints = false)
{
    for (QIEdit* e : {s_inet.nameField, s_inet.addressField}) {
        if (!e) continue;
        const char* text = e == s_inet.nameField ? name : address;
        if (hints)
            Mm_SetEditHint(e, text);
        else
            Mm_SetEditText(e, text);
        if (open)
            e->Enable();
        else
            e->Disable();
        if (!QIWidget::IsHidden(e)) e->Draw(nullptr);
    }
    s_inet.fieldsOpen = open;
}

static MMScrollInetAddress* Current(void)
{
    QIList* list = s_inet.list;
    return list && list->current >= 0 ? Row(list->ItemAt(list->current)) : nullptr;
}

int MM_inet_add_player(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    QIString name, address;
    QI_Text("InetNameDefault", &name, "[name]");
    QI_Text("InetAddressDefault", &address, "[internet address]");
    SetFields(name.c_str(), address.c_str(), true, true);
    s_inet.list->SetCurrent(-1);
    s_inet.edited = nullptr;
    Mm_RedrawList(s_inet.list);
    return 0;
}

int MM_inet_edit_player(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    MMScrollInetAddress* row = Current();
    // A longer entry than the fields hold would be cut by Accept.
    if (!row || row->name.size() > MM_INET_FIELD_MAX || row->address.size() > MM_INET_FIELD_MAX) return 0;
    s_inet.edited = row;
    SetFields(row->name.c_str(), row->address.c_str(), true);
    return 0;
}

int MM_inet_delete_player(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    MMScrollInetAddress* row = Current();
    if (!row) return 0;
    AddressBook_Remove(&g_AddressBookInternet, row->name.c_str(), row->address.c_str());
    MM_inet_fill_addresses();
    Tfmod_WriteAddresses();
    return 0;
}

int MM_inet_accept(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED || !s_inet.fieldsOpen) return 0;
    const std::string name = s_inet.nameText.c_str(), address = s_inet.addressText.c_str();
    // The book takes no half entry: refused before the edited one goes, so
    // an emptied field loses nothing, and the fields stay open to mend.
    if (name.empty() || address.empty()) {
        Mm_PopError(&MM_menu, "InetEntryIncomplete", "An entry needs both a name and an address");
        return 0;
    }
    if (s_inet.edited)
        AddressBook_Remove(&g_AddressBookInternet, s_inet.edited->name.c_str(), s_inet.edited->address.c_str());
    AddressBook_Insert(&g_AddressBookInternet, name.c_str(), address.c_str());
    MM_inet_fill_addresses();
    SetFields("...", "...", false);
    Tfmod_WriteAddresses();
    return 0;
}

int MM_inet_cancel(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    s_inet.edited = nullptr;
    SetFields("...", "...", false);
    return 0;
}

int MM_inet_start(void)
{
    if (!Net_Init(NET_TYPE_UDP)) return 0;
    Mm_SetPoll(MM_inet_poll);
    Net_BeginSession();
    s_inet.edited = nullptr;
    if (s_inet.list)
        for (QIGraphic* g = s_inet.list->first; g; g = static_cast<QIGraphic*>(g->next)) Row(g)->probed = false;
    return 1;
}

static void Status(MMScrollInetAddress* row, const NetSession* s)
{
    QIString text;
    if (s->flags & NET_SESSION_OPEN) {
        QIString open, closed;
        QI_Text("InetGameStatusOpen", &open, "Open");
        QI_Text("InetGameStatusClosed", &closed, "Closed");
        QI_Text("InetGameStatusPlayers", &text, "%s %d Player Game ...",
                (s->flags & NET_SESSION_LAUNCHED) ? closed.c_str() : open.c_str(), (int)s->count);
    } else {
        QI_Text("InetGameStatusNoResponse", &text, "No Response ...");
    }
    row->status = text.c_str();
}

void MM_inet_poll(void)
{
    QIList* list = s_inet.list;
    if (!list) return;
    Net_LockFoundSessions();
    if (g_FoundSessions)
        for (NetSession* s = (NetSession*)GLL_GoFirst(g_FoundSessions); s; s = (NetSession*)GLL_GoNext(g_FoundSessions))
            for (QIGraphic* g = list->first; g; g = static_cast<QIGraphic*>(g->next)) {
                MMScrollInetAddress* row = Row(g);
                if (!NetPkt_SameAddress(&row->head.address, &s->creator_address)) continue;
                row->head.flags = s->flags;
                row->head.creator = s->creator;
                memcpy(row->head.name, s->name, NET_GAME_NAME_SIZE);
                row->head.name[NET_GAME_NAME_SIZE] = 0;
                row->head.count = s->count;
                Status(row, s);
            }
    Net_UnlockFoundSessions();
    const uint32_t now = Plat_SystemMs();
    for (QIGraphic* g = list->first; g; g = static_cast<QIGraphic*>(g->next)) {
        MMScrollInetAddress* row = Row(g);
        if (row->probed && now - row->lastProbe <= MM_INET_PROBE_MS) continue;
        row->probed = true;
        row->lastProbe = now;
        row->head.address = MM_inet_address(row->address.c_str());
        QIString text;
        if (!row->Valid()) {
            QI_Text("InetGameStatusInvalid", &text, "Address is invalid ...");
        } else {
            g_TypedAddress = row->head.address;
            Net_Search();
            Net_Ping(&row->head.address);
            QI_Text("InetGameStatusWaiting", &text, "Waiting for a response ...");
        }
        row->status = text.c_str();
    }
    Mm_RedrawList(list);
}

static void Leave(void)
{
    Net_Close();
    Mm_SetPoll(nullptr);
}

int MM_inet_back(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    Leave();
    Mm_SwitchPage(s_inet.layer, MM_main_page());
    return 0;
}

int MM_inet_main(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    Leave();
    Mm_SwitchPage(s_inet.layer, nullptr);
    Mm_Leave(GS_FRONTEND);
    return 0;
}

int MM_inet_create(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    Net_HostGame();
    TLOG(TLOG_SETUP, "Hosting \"%.*s\"", NET_GAME_NAME_SIZE, g_NetSession.name);
    MM_chat_enter_from(s_inet.layer);
    return 0;
}

int MM_inet_join(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    MMScrollInetAddress* row = Current();
    if (!row || !row->Valid()) return 0;
    const char* reason = Net_Join(&row->head.address, MM_JOIN_WAIT_MS);
    if (reason) {
        Mm_PopKeyError(&MM_menu, reason);
        return 0;
    }
    TLOG(TLOG_SETUP, "Joined \"%.*s\" at %s", NET_GAME_NAME_SIZE, g_NetSession.name, row->address.c_str());
    MM_chat_enter_from(s_inet.layer);
    return 0;
}

static QIButton* EditButton(const char* name, QIHANDLER fn, const IRect& r, const char* label)
{
    const QIFont* f = MM_menu.fonts;
    const QIImage face("mm_manu.bmp", r, 0);
    return new QIButton(name, fn, r, face, face, face, face, label, &f[MM_FONT_LABEL], &f[MM_FONT_LABELO],
                        &f[MM_FONT_LABELG]);
}

void MM_inet_init(QIWidget* backdrop)
{
    PAGE& p = s_inet;
    const QIFont* f = MM_menu.fonts;
    const char* pic = "MM_MANU.BMP";
    p.layer = new QILayer("MultiMenuInternet", nullptr, IRect(0, 0, 640, 480), QIImage(pic, IRect(0, 0, 640, 480), 0));
    p.layer->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(backdrop, p.layer);
    static const MM_LABEL kLabels[] = {
        {"InetTitle", "Manual Internet Connection", IRect(160, 0, 320, 20), MM_FONT_TITLE, QIJ_CENTRE, nullptr},
        {"InetName", "Players", IRect(35, 41, 100, 20), MM_FONT_HEADING, QIJ_LEFT, nullptr},
        {"InetIp", "IP Address", IRect(233, 41, 100, 20), MM_FONT_HEADING, QIJ_LEFT, nullptr},
        {"InetStatus", "Connection Status", IRect(333, 41, 100, 20), MM_FONT_HEADING, QIJ_LEFT, nullptr},
        {"InetLatency", "Latency", IRect(533, 41, 100, 20), MM_FONT_HEADING, QIJ_LEFT, nullptr},
        {"InetEdName", "Player's Name", IRect(260, 275, 115, 16), MM_FONT_TEXT, QIJ_CENTRE, nullptr},
        {"InetEdIp", "Player's Internet IP", IRect(232, 317, 177, 18), MM_FONT_TEXT, QIJ_CENTRE, nullptr},
        {"InetSubTitle", "Modify Player's IP Address List", IRect(157, 220, 326, 19), MM_FONT_TEXT, QIJ_CENTRE, nullptr},
    };
    Mm_AddLabels(p.layer, kLabels);
    p.list = new QIList("InetScroller", nullptr, IRect(33, 62, 552, 154), IPoint(552, 12), 1, nullptr, nullptr);
    QIWidget::AddChild(p.layer, p.list);
    p.list->AttachVScroll(Mm_ScrollBar(IRect(586, 62, 16, 154)));
    QIWidget::AddChild(p.layer, EditButton("InetAddPlayer", MM_inet_add_player, IRect(152, 246, 101, 25), "Add Player"));
    QIWidget::AddChild(p.layer, EditButton("InetEditPlayer", MM_inet_edit_player, IRect(270, 246, 103, 25), "Edit Player"));
    QIWidget::AddChild(p.layer,
                       EditButton("InetDeletePlayer", MM_inet_delete_player, IRect(389, 246, 100, 25), "Delete Player"));
    QIWidget::AddChild(p.layer, EditButton("InetAccept", MM_inet_accept, IRect(202, 366, 114, 15), "Accept"));
    QIWidget::AddChild(p.layer, EditButton("InetCancel", MM_inet_cancel, IRect(321, 366, 114, 15), "Cancel"));
    p.nameText.Set("...");
    p.addressText.Set("...");
    p.nameField = new QIEdit("InetEditName", nullptr, IRect(178, 295, 283, 18), IPoint(5, 3), 0, &p.nameText, 0x4FFF,
                             0, MM_INET_FIELD_MAX, 15, &f[MM_FONT_TEXT]);
    p.addressField = new QIEdit("InetEditName", nullptr, IRect(178, 339, 283, 18), IPoint(5, 3), 0, &p.addressText,
                                0x4FFF, 0, MM_INET_FIELD_MAX, 15, &f[MM_FONT_TEXT]);
    p.nameField->Disable();
    p.addressField->Disable();
    p.fieldsOpen = false;
    QIWidget::AddChild(p.layer, p.nameField);
    QIWidget::AddChild(p.layer, p.addressField);
    QIWidget::AddChild(p.layer, Mm_BarButton("InetBack", MM_inet_back, IRect(27, 414, 110, 32), "Previous Menu"));
    QIWidget::AddChild(p.layer, Mm_BarButton("InetMain", MM_inet_main, IRect(140, 414, 110, 32), "Main Menu"));
    QIWidget::AddChild(p.layer, Mm_BarButton("InetCreate", MM_inet_create, IRect(393, 414, 110, 32), "Create Game"));
    QIWidget::AddChild(p.layer, Mm_BarButton("InetJoin", MM_inet_join, IRect(506, 414, 110, 32), "Join Game"));
    MM_inet_fill_addresses();
}
