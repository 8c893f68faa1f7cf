#include "multi/mmmodem.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/addrbook.h"
#include "core/config.h"
#include "core/gamestate.h"
#include "core/tfmod.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mmmain.h"
#include "net/modem.h"
#include "net/net.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qidroplist.h"
#include "widgets/qiedit.h"
#include "widgets/qilayer.h"
#include "widgets/qislider.h"
#include "widgets/qistatic.h"

namespace {

struct PAGE {
    QILayer* layer = nullptr;
    QILayer* setup = nullptr;
    QIPopup* status = nullptr;
    QIList* phones = nullptr;
    QIList* modems = nullptr;
    QIList* lines = nullptr;
    QIStatic* callKind = nullptr;
    QIEdit* nameField = nullptr;
    QIEdit* numberField = nullptr;
    MMScrollPhoneBook* edited = nullptr;
    bool fieldsOpen = false; // Add or Edit enabled the fields
    bool creator = false;
    bool tried = false; // the network was started for this call
};
PAGE s_modem;
QIString s_nameText, s_numberText;

const QIFont* Font(int slot) { return &MM_menu.fonts[slot]; }

// The row's cell cut to the visible row; false when nothing shows.
bool Cell(const IPoint& origin, const QIGraphic& g, const IRect& row, uint32_t state, IRect* cut)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return false;
    const int left = origin.x + g.x, top = origin.y + g.y;
    const int x1 = std::max(left, row.x), y1 = std::max(top, row.y);
    const int x2 = std::min(left + 585, row.x + row.w), y2 = std::min(top + 16, row.y + row.h);
    if (x2 <= x1 || y2 <= y1) return false;
    *cut = IRect(x1, y1, x2 - x1, y2 - y1);
    Mm_FillRow(*cut, state);
    return true;
}

template <class ROW> ROW* Current(QIList* list)
{
    return list && list->current >= 0 ? dynamic_cast<ROW*>(list->ItemAt(list->current)) : nullptr;
}

void Repaint(QIWidget* w)
{
    if (MM_menu.desktop && w && !QIWidget::IsHidden(w)) MM_menu.desktop->Repaint(w);
}

void ShowOrHide(QIWidget* w, bool show)
{
    if (!w) return;
    if (MM_menu.desktop) {
        if (show)
            MM_menu.desktop->ShowWidget(w);
        else
            MM_menu.desktop->HideWidget(w);
    } else if (show) {
        w->flags |= QIWF_SHOWN;
    } else {
        w->flags &= ~QIWF_SHOWN;
    }
}

// The pointer's focus dropped and the screen redrawn, after a layer came or went.
void Refocus(void)
{
    QIDesktop* d = MM_menu.desktop;
    if (!d) return;
    d->ForgetWidget(nullptr);
    d->Repaint(nullptr);
}

// Hints (Add's texts) give way to the first key typed in their field.
void SetFields(const char* name, const char* number, bool open, bool hints = false)
{
    for (QIEdit* e : {s_modem.nameField, s_modem.numberField}) {
        if (!e) continue;
        const char* text = e == s_modem.nameField ? name : number;
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
    s_modem.fieldsOpen = open;
}

// The status pop-up opened for a new call.
void OpenStatus(bool dialing)
{
    QIString kind;
    if (dialing)
        QI_Text("ModemDialing", &kind, "Dialing ...");
    else
        QI_Text("ModemAnswering", &kind, "Answering ...");
    if (s_modem.callKind) s_modem.callKind->SetText(kind.c_str());
    if (s_modem.lines) s_modem.lines->Clear();
    s_modem.tried = false;
    ShowOrHide(s_modem.status, true);
    Repaint(s_modem.status);
}

void Leave(void)
{
    Mm_SetPoll(nullptr);
    if (s_modem.phones) s_modem.phones->Clear();
    if (s_modem.modems) s_modem.modems->Clear();
    s_modem.edited = nullptr;
    MODEM_MessageRegister(nullptr);
    MODEM_Close();
    ShowOrHide(s_modem.status, false);
    ShowOrHide(s_modem.setup, false);
}

QIButton* FaceButton(const char* name, QIHANDLER fn, const IRect& r, const char* label)
{
    const QIImage face("mm_moda.bmp", r, 0);
    return new QIButton(name, fn, r, face, face, face, face, label, Font(MM_FONT_LABEL), Font(MM_FONT_LABELO),
                        Font(MM_FONT_LABELG));
}

// The four buttons both the page and its setup layer carry.
void CallButtons(QIWidget* parent)
{
    QIWidget::AddChild(parent, Mm_BarButton("ModemBack", MM_modem_back, IRect(27, 414, 110, 32), "Previous Menu"));
    QIWidget::AddChild(parent, Mm_BarButton("ModemMain", MM_modem_main, IRect(140, 414, 110, 32), "Main Menu"));
    QIWidget::AddChild(parent, Mm_BarButton("ModemAnswer", MM_modem_answer, IRect(393, 414, 110, 32), "Answer"));
    QIWidget::AddChild(parent, Mm_BarButton("ModemDial", MM_modem_dial, IRect(506, 414, 110, 32), "Dial"));
}

QITextList* RowList(const char* name, const char* pic, const IRect& r, const IPoint& origin, int cellWidth)
{
    QITextList* l = new QITextList(name, nullptr, QIImage(pic, IRect(origin.x, origin.y, r.w, r.h), 0), r,
                                   IPoint(cellWidth, 16), 1, nullptr, nullptr);
    l->listFlags = QILF_FILLCELLS;
    return l;
}

} // namespace

MMScrollPhoneBook::MMScrollPhoneBook(const QIFont* f, const char* n, const char* num) : font(f), name(n), number(num)
{
    w = 585;
    h = 16;
}

int MMScrollPhoneBook::Compare(QIGraphic* other)
{
    const MMScrollPhoneBook* o = static_cast<const MMScrollPhoneBook*>(other);
    return strcasecmp(o->name.c_str(), name.c_str()) < 0 ? 1 : 0;
}

void MMScrollPhoneBook::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    IRect cut;
    if (!Cell(origin, *this, row, state, &cut)) return;
    QI_DrawTextLiteral(font, origin.x + x + 2, origin.y + y + 1, &cut, name.c_str());
    QI_DrawTextLiteral(font, origin.x + x + 287, origin.y + y + 1, &cut, number.c_str());
}

MMScrollModem::MMScrollModem(const QIFont* f, uint32_t dev, const char* n, uint32_t rate)
    : font(f), device(dev), maxRate(rate), name(n)
{
    w = 585;
    h = 16;
}

void MMScrollModem::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    IRect cut;
    if (!Cell(origin, *this, row, state, &cut)) return;
    const int left = origin.x + x, top = origin.y + y + 1;
    QI_DrawTextLiteral(font, left + 109 - QI_TextWidthLiteral(font, name.c_str()) / 2, top, &cut, name.c_str());
    char rate[31];
    snprintf(rate, sizeof rate, "%u bps max", maxRate);
    QI_DrawTextLiteral(font, left + 220, top, &cut, rate);
}

QIWidget* MM_modem_page(void) { return s_modem.layer; }
QIList* MM_modem_phones(void) { return s_modem.phones; }
QIList* MM_modem_modems(void) { return s_modem.modems; }
QIList* MM_modem_status_list(void) { return s_modem.lines; }
QIString* MM_modem_name_text(void) { return &s_nameText; }
QIString* MM_modem_number_text(void) { return &s_numberText; }

void MM_modem_forget(void)
{
    s_modem = PAGE();
    s_nameText.Set(nullptr);
    s_numberText.Set(nullptr);
}

void MM_modem_add_device(uint32_t device, const char* name, uint32_t maxRate)
{
    if (!s_modem.modems) return;
    s_modem.modems->Add(new MMScrollModem(Font(MM_FONT_TEXT), device, name ? name : "", maxRate));
    Mm_RedrawList(s_modem.modems);
}

void MM_modem_status_line(const char* statusId)
{
    if (!s_modem.lines) return;
    QIString text;
    QI_Text(statusId && *statusId ? statusId : "ModemMessage", &text, "ModemMessage");
    TLOG(TLOG_SETUP, "Modem status: %s", text.c_str());
    s_modem.lines->Add(new QITextItem(Font(MM_FONT_TEXT), text.c_str()));
    Mm_RedrawList(s_modem.lines);
}

void MM_modem_fill_phonebook(void)
{
    QIList* list = s_modem.phones;
    if (!list) return;
    list->Clear();
    for (const ADDRESSBOOK_ENTRY* e = g_AddressBookPhone; e; e = e->next)
        list->InsertSorted(new MMScrollPhoneBook(Font(MM_FONT_TEXT), e->name, e->address));
    s_modem.edited = nullptr;
    list->SetCurrent(-1);
    list->listFlags |= QILF_VSCROLL;
    Mm_RedrawList(list);
}

int MM_modem_start(void)
{
    Mm_SetPoll(MM_modem_poll);
    if (s_modem.modems) s_modem.modems->Clear();
    MODEM_Init(MM_modem_add_device);
    MODEM_MessageRegister(MM_modem_status_line);
    QIList* modems = s_modem.modems;
    for (int i = 0; modems && g_Config.modem[0] && i < modems->count; i++)
        if (strcmp(static_cast<MMScrollModem*>(modems->ItemAt(i))->name.c_str(), g_Config.modem) == 0) {
            modems->SetCurrent(i);
            Mm_RedrawList(modems);
            break;
        }
    MM_modem_fill_phonebook();
    return 1;
}

int MM_modem_add(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    QIString name, number;
    QI_Text("ModemNameDefault", &name, "[name]");
    QI_Text("ModemNumberDefault", &number, "[phone number]");
    SetFields(name.c_str(), number.c_str(), true, true);
    s_modem.edited = nullptr;
    if (s_modem.phones) {
        s_modem.phones->SetCurrent(-1);
        Mm_RedrawList(s_modem.phones);
    }
    return 0;
}

int MM_modem_edit(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    MMScrollPhoneBook* row = Current<MMScrollPhoneBook>(s_modem.phones);
    // A longer entry than the fields hold would be cut by Accept.
    if (!row || strlen(row->name.c_str()) > MM_MODEM_FIELD_MAX || strlen(row->number.c_str()) > MM_MODEM_FIELD_MAX)
        return 0;
    s_modem.edited = row;
    SetFields(row->name.c_str(), row->number.c_str(), true);
    return 0;
}

int MM_modem_delete(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    MMScrollPhoneBook* row = Current<MMScrollPhoneBook>(s_modem.phones);
    if (!row) return 0;
    AddressBook_Remove(&g_AddressBookPhone, row->name.c_str(), row->number.c_str());
    MM_modem_fill_phonebook();
    Tfmod_WriteAddresses();
    return 0;
}

int MM_modem_accept(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED || !s_modem.fieldsOpen) return 0;
    const std::string name = s_nameText.c_str(), number = s_numberText.c_str();
    // As the internet page: no half entry, and nothing removed for one.
    if (name.empty() || number.empty()) {
        Mm_PopError(&MM_menu, "ModemEntryIncomplete", "An entry needs both a name and a number");
        return 0;
    }
    if (s_modem.edited)
        AddressBook_Remove(&g_AddressBookPhone, s_modem.edited->name.c_str(), s_modem.edited->number.c_str());
    AddressBook_Insert(&g_AddressBookPhone, name.c_str(), number.c_str());
    MM_modem_fill_phonebook();
    SetFields("...", "...", false);
    Tfmod_WriteAddresses();
    return 0;
}

int MM_modem_cancel(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    s_modem.edited = nullptr;
    SetFields("...", "...", false);
    return 0;
}

int MM_modem_back(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    Leave();
    Mm_SwitchPage(s_modem.layer, MM_main_page());
    return 0;
}

int MM_modem_main(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    Leave();
    Mm_SwitchPage(s_modem.layer, nullptr);
    Mm_Leave(GS_FRONTEND);
    return 0;
}

int MM_modem_setup(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    ShowOrHide(s_modem.setup, true);
    Refocus();
    return 0;
}

int MM_modem_phonebook(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    ShowOrHide(s_modem.setup, false);
    Refocus();
    const MMScrollModem* row = Current<MMScrollModem>(s_modem.modems);
    if (row && strcmp(row->name.c_str(), g_Config.modem) != 0) {
        Tfmod_SetModem(row->name.c_str());
        Str_CopySafe(g_Config.modem, row->name.c_str(), sizeof g_Config.modem);
    }
    return 0;
}

int MM_modem_dial(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    s_modem.creator = true;
    const MMScrollModem* modem = Current<MMScrollModem>(s_modem.modems);
    if (!modem) {
        Mm_PopError(&MM_menu, "ModemWarningNoModem", "You don't have a modem selected in the Modem Setup");
        return 0;
    }
    const MMScrollPhoneBook* phone = Current<MMScrollPhoneBook>(s_modem.phones);
    if (!phone) {
        Mm_PopError(&MM_menu, "ModemWarningNoNumber", "You don't have a phone number selected to dial");
        return 0;
    }
    OpenStatus(true);
    MODEM_dial(modem->device, phone->number.c_str());
    return 0;
}

int MM_modem_answer(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    s_modem.creator = false;
    const MMScrollModem* modem = Current<MMScrollModem>(s_modem.modems);
    if (!modem) {
        Mm_PopError(&MM_menu, "ModemWarningNoModem", "You don't have a modem selected in the Modem Setup");
        return 0;
    }
    OpenStatus(false);
    MODEM_Answer(modem->device);
    return 0;
}

int MM_modem_hangup(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    MODEM_Disconnect();
    ShowOrHide(s_modem.status, false);
    Refocus();
    return 0;
}

void MM_modem_poll(void)
{
    const uint32_t status = MODEM_GetStatus();
    if (status == 3) {
        MODEM_Connect();
        return;
    }
    // Once per call: a line that can't carry the network would otherwise
    // add a line on every frame.
    if (status != 4 || s_modem.tried) return;
    s_modem.tried = true;
    TLOG(TLOG_DIAG, "Modem Connection has been successfully established");
    if (!Net_Init(NET_TYPE_SERIAL)) {
        QIString text;
        QI_Text("ModemCannotInitialise", &text, "Could not initialise serial interface");
        if (s_modem.lines) {
            s_modem.lines->Add(new QITextItem(Font(MM_FONT_TEXT), text.c_str()));
            Mm_RedrawList(s_modem.lines);
        }
        return;
    }
    MODEM_MessageRegister(nullptr);
    Net_BeginSession();
    if (s_modem.creator) {
        Net_HostGame();
    } else {
        NetAddress line;
        memset(&line, 0, sizeof line);
        line.kind = NET_TYPE_SERIAL;
        const char* refused = nullptr;
        for (int i = 0; i < MM_MODEM_JOIN_TRIES; i++)
            if (!(refused = Net_Join(&line, MM_MODEM_JOIN_WAIT_MS))) break;
        if (refused) {
            Mm_PopKeyError(&MM_menu, refused);
            return;
        }
    }
    ShowOrHide(s_modem.status, false);
    ShowOrHide(s_modem.setup, false);
    MM_chat_enter_from(s_modem.layer);
}

void MM_modem_init(QIWidget* backdrop)
{
    PAGE& p = s_modem;
    p = PAGE();
    p.layer = new QILayer("MultiMenuModem", nullptr, IRect(0, 0, 640, 480),
                          QIImage("MM_MODA.BMP", IRect(0, 0, 640, 480), 0));
    p.layer->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(backdrop, p.layer);
    static const MM_LABEL kLabels[] = {
        {"ModemTitle", "Modem Connection", IRect(160, 0, 320, 20), MM_FONT_TITLE, QIJ_CENTRE, nullptr},
        {"ModemName", "Players", IRect(35, 41, 100, 20), MM_FONT_HEADING, QIJ_LEFT, nullptr},
        {"ModemNumber", "Phone Numbers", IRect(320, 41, 100, 20), MM_FONT_HEADING, QIJ_LEFT, nullptr},
        {"ModemEdName", "Player's Name", IRect(260, 275, 115, 16), MM_FONT_TEXT, QIJ_CENTRE, nullptr},
        {"ModemEdIp", "Player's Phone Number", IRect(232, 317, 177, 18), MM_FONT_TEXT, QIJ_CENTRE, nullptr},
        {"ModemSubTitlePhone", "Modify Phone Number List", IRect(157, 220, 326, 19), MM_FONT_TEXT, QIJ_CENTRE, nullptr},
    };
    Mm_AddLabels(p.layer, kLabels);
    p.phones = RowList("PhoneBookScroller", "MM_MODA.BMP", IRect(33, 62, 552, 154), IPoint(33, 62), 552);
    QIWidget::AddChild(p.layer, p.phones);
    QISlider* bar = Mm_ScrollBar(IRect(586, 62, 16, 154));
    bar->name.Set("PhoneBookScrollerVS");
    p.phones->AttachVScroll(bar);
    QIWidget::AddChild(p.layer, FaceButton("ModemAddPlayer", MM_modem_add, IRect(152, 246, 101, 25), "Add Player"));
    QIWidget::AddChild(p.layer, FaceButton("ModemEditPlayer", MM_modem_edit, IRect(270, 246, 103, 25), "Edit Player"));
    QIWidget::AddChild(p.layer,
                       FaceButton("ModemDeletePlayer", MM_modem_delete, IRect(389, 246, 100, 25), "Delete Player"));
    QIWidget::AddChild(p.layer, FaceButton("ModemAccept", MM_modem_accept, IRect(202, 366, 114, 15), "Accept"));
    QIWidget::AddChild(p.layer, FaceButton("InetCancel", MM_modem_cancel, IRect(321, 366, 114, 15), "Cancel"));
    s_nameText.Set("...");
    s_numberText.Set("...");
    p.nameField = new QIEdit("ModemEditName", nullptr, IRect(178, 295, 283, 18), IPoint(5, 3), 0, &s_nameText, 0x4FFF,
                             0, MM_MODEM_FIELD_MAX, 15, Font(MM_FONT_TEXT));
    p.numberField = new QIEdit("ModemEditNumber", nullptr, IRect(178, 339, 283, 18), IPoint(5, 3), 0, &s_numberText,
                               0x4FFF, 0, MM_MODEM_FIELD_MAX, 15, Font(MM_FONT_TEXT));
    for (QIEdit* e : {p.nameField, p.numberField}) {
        e->Disable();
        QIWidget::AddChild(p.layer, e);
    }
    CallButtons(p.layer);
    QIWidget::AddChild(p.layer, Mm_BarButton("ModemSetup", MM_modem_setup, IRect(460, 447, 110, 32), "Modem Setup"));

    p.setup = new QILayer("MultiMenuModemSetup", nullptr, IRect(0, 220, 640, 260),
                          QIImage("MM_MODB.BMP", IRect(0, 220, 640, 260), 0));
    p.setup->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(p.layer, p.setup);
    CallButtons(p.setup);
    QIWidget::AddChild(p.setup,
                       Mm_BarButton("ModemPhoneBook", MM_modem_phonebook, IRect(460, 447, 110, 32), "Phone Book"));
    p.modems = RowList("ModemScroller", "MM_MODB.BMP", IRect(149, 244, 330, 150), IPoint(149, 244), 330);
    QIWidget::AddChild(p.setup, p.modems);
    bar = Mm_ScrollBar(IRect(480, 244, 16, 130));
    bar->name.Set("ModemScrollerVS");
    p.modems->AttachVScroll(bar);
    QIWidget::AddChild(p.setup, new QIStatic("ModemSubTitleModem", nullptr, IRect(157, 220, 326, 19),
                                             "Select Modem to Use", Font(MM_FONT_TEXT), QIJ_CENTRE));

    QIPopup* pop = new QIPopup("ModemStatus", nullptr, IPoint(400, 259), QIImage("pop_mod.bmp", IRect(0, 0, 400, 259), 0));
    pop->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(backdrop, pop);
    p.status = pop;
    const int x = pop->x, y = pop->y;
    const QIImage abortFace("pop_mod.bmp", IRect(110, 210, 90, 25), 0);
    QIWidget::AddChild(pop, new QIButton("ModemStatusAbort", MM_modem_hangup, IRect(x + 110, y + 210, 90, 25), abortFace,
                                         abortFace, abortFace, abortFace, "ABORT", Font(MM_FONT_LABEL),
                                         Font(MM_FONT_LABELO), Font(MM_FONT_LABELG)));
    QIWidget::AddChild(pop, new QIStatic("ModemStatusCallStatus", nullptr, IRect(x + 100, y + 2, 200, 24),
                                         "Modem Call Status", Font(MM_FONT_TITLE), QIJ_CENTRE));
    p.callKind = new QIStatic("ModemStatusAnswerDial", nullptr, IRect(x + 35, y + 19, 114, 24), "...",
                              Font(MM_FONT_HEADING), QIJ_LEFT);
    QIWidget::AddChild(pop, p.callKind);
    p.lines = new QITextList("ModemStatusList", nullptr, QIImage("pop_mod.bmp", IRect(29, 46, 329, 160), 0),
                             IRect(x + 29, y + 46, 329, 160), IPoint(329, 13), 1, nullptr, nullptr);
    QIWidget::AddChild(pop, p.lines);
    bar = Mm_ScrollBar(IRect(x + 360, y + 41, 16, 166));
    bar->name.Set("ModemStatusListVS");
    p.lines->AttachVScroll(bar);
}
