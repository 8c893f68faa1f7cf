#include "multi/mmframe.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/addrbook.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "multi/mmchat.h"
#include "multi/mmmodem.h"
#include "multi/mmserial.h"
#include "multi/mmipx.h"
#include "multi/mminet.h"
#include "multi/mmmain.h"
#include "multi/mmznet.h"
#include "multi/mmzsvr.h"
#include "platform/cursor.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qiedit.h"
#include "widgets/qigauge.h"
#include "widgets/qiitem.h"
#include "widgets/qilist.h"
#include "widgets/qilayer.h"
#include "widgets/qimenu.h"
#include "widgets/qistatic.h"

MM_MENU MM_menu = {};

const uint8_t g_MmColours[12] = {0x87, 0xB2, 0xDF, 0xFC, 0x00, 0x82, 0x82, 0x08, 0x19, 0x00, 0x00, 0x00};

const char* const g_MmFontFiles[MM_FONTS] = {"f16blue.pcx",  "f14blue.pcx",  "f14blueo.pcx",
                                             "f14blueg.pcx", "f12gold.pcx",  "f12team.pcx",
                                             "f12bluen.pcx", "f12blueo.pcx", "f12blueg.pcx"};

static void (*s_poll)(void) = nullptr;
static const char* s_missing = nullptr; // the first file the build lacked

static void RunPoll(QIPointer*)
{
    if (s_poll) s_poll();
}

void Mm_SetPoll(void (*poll)(void)) { s_poll = poll; }
void (*Mm_Poll(void))(void) { return s_poll; }

void Mm_Leave(int state)
{
    g_GameState = state;
    if (!MM_menu.desktop) return;
    MM_menu.desktop->exitCode = 0;
    MM_menu.desktop->dflags &= ~QID_RUNNING;
}

void Mm_SwitchPage(QIWidget* from, QIWidget* to)
{
    QIDesktop* d = MM_menu.desktop;
    if (!d) return;
    if (from) d->HideWidget(from);
    if (to) d->ShowWidget(to);
}

QIWidget* Mm_Page(const char* name)
{
    if (!MM_menu.backdrop) return nullptr;
    for (QIWidget* w = MM_menu.backdrop->FirstChild(); w; w = w->Next())
        if (w->name.CompareCStr(name) == QISTR_EQUAL) return w;
    return nullptr;
}

QIDesktop* Mm_Build(void)
{
    MM_menu.artdir = g_DataDir;
    Tfmod_ReadAddresses();
    g_QIColours = g_MmColours;
    s_poll = nullptr;
    QIDesktop* d = new QIDesktop("MultiMenuBase", RunPoll, QIImage("mm.bmp", IRect(0, 0, 1, 1), 0),
                                 "multmenu\\");
    MM_menu.desktop = d;
    d->dflags |= QID_EXPORTTIPS;
    g_QIDefaultFlags &= ~QIWF_HASTIP;
    QIContainer* backdrop = new QIContainer("Backdrop", nullptr);
    backdrop->Assign(IRect(0, 0, 640, 480));
    QIWidget::AddChild(nullptr, backdrop);
    MM_menu.backdrop = backdrop;
    s_missing = nullptr;
    for (int slot = 0; slot < MM_FONTS; slot++)
        if (!QI_LoadNamedResource(&MM_menu.fonts[slot], slot, g_MmFontFiles[slot]) && !s_missing)
            s_missing = g_MmFontFiles[slot];
    // The builders in the menus' order.
    MM_main_init(backdrop);
    MM_inet_init(backdrop);
    MM_znet_init(backdrop);
    MM_zsvr_init(backdrop);
    MM_ipx_init(backdrop);
    MM_modem_init(backdrop);
    MM_serial_init(backdrop);
    MM_chat_init(backdrop);
    Game_SetScenarioCategory(SC_MULTI);
    if (cursorinfo.nrcursors > MM_CURSOR) Cursor_Set(MM_CURSOR); // none loaded: headless tests
    return d;
}

void Mm_Close(void)
{
    QIDesktop* d = MM_menu.desktop;
    if (d) {
        d->SaveProperties();
        d->Close();
    }
    Font_Close();
    delete d;
    MM_menu.desktop = nullptr;
    MM_menu.backdrop = nullptr;
    s_poll = nullptr;
    MM_chat_forget();
    MM_inet_forget();
    MM_ipx_forget();
    MM_znet_forget();
    MM_zsvr_forget();
    MM_serial_forget();
    MM_modem_forget();
    MM_main_forget();
    g_QIDefaultFlags = 0;
    AddressBook_FreeAll(&g_AddressBookInternet);
    AddressBook_FreeAll(&g_AddressBookPhone);
}

void Mm_Main(void)
{
    TLOG(TLOG_SETUP, "Multi Menu is starting.");
    MM_menu.artdir = g_DataDir;
    Font_Init(MM_FONT_BYTES);
    QIDesktop* d = Mm_Build();
    d->TickAll(nullptr);
    if (!d->palette && !s_missing) s_missing = "mm.bmp";
    if (s_missing) {
        // Without its pictures and fonts the page can't be worked: back to
        // the front end rather than an empty screen nobody can leave.
        TLOG(TLOG_ERROR, "Multi Menu could not be built: [%s] is missing in [%s%s]", s_missing, g_DataDir, "/multmenu");
        g_GameState = GS_FRONTEND;
    } else {
        d->LoadProperties();
        d->Run();
        // Quit from outside (the window closed, Ctrl+C) while others wait on
        // the staging page: they are told as when Main Menu is pressed.
        if (g_QuitRequested && s_poll == MM_chat_poll) MM_chat_finish();
    }
    Mm_Close();
    Mouse_ShowCursor(); // closing the desktop hid it; the next state shows its own
    if (g_QuitRequested) g_GameState = GS_QUIT;
    TLOG(TLOG_SETUP, "Multi Menu has shutdown.");
}

QIButton* Mm_BarButton(const char* name, QIHANDLER fn, const IRect& rect, const char* label)
{
    const QIFont* f = MM_menu.fonts;
    g_QIButtonOffset = IPoint(0, 1);
    QIButton* b = new QIButton(name, fn, rect, QIImage("BUTTON.BMP", IRect(0, 0, 110, 32), 0),
                               QIImage("BUTTON.BMP", IRect(110, 0, 110, 32), 0),
                               QIImage("BUTTON.BMP", IRect(220, 0, 110, 32), 0),
                               QIImage("BUTTON.BMP", IRect(220, 0, 110, 32), 0), label, &f[MM_FONT_LABEL],
                               &f[MM_FONT_LABELO], &f[MM_FONT_LABELG]);
    g_QIButtonOffset = IPoint(0, 0);
    return b;
}

void Mm_AddLabels(QIWidget* parent, const MM_LABEL* labels, size_t count)
{
    const QIFont* f = MM_menu.fonts;
    for (size_t i = 0; i < count; i++) {
        const MM_LABEL& l = labels[i];
        QIStatic* s = new QIStatic(l.name, nullptr, l.r, l.text, &f[l.font], l.just);
        QIWidget::AddChild(parent, s);
        if (l.keep) *l.keep = s;
    }
}

void Mm_SetEditText(QIEdit* edit, const char* text)
{
    if (!edit) return;
    edit->editFlags &= ~QIEF_HINT;
    snprintf(edit->buffer, (size_t)edit->maxLength + 1, "%s", text);
    if (edit->bound) edit->bound->Set(edit->buffer);
    edit->caret = 0;
    edit->PlaceText();
    if (!QIWidget::IsHidden(edit)) edit->Draw(nullptr);
}

void Mm_SetEditHint(QIEdit* edit, const char* hint)
{
    Mm_SetEditText(edit, hint);
    if (edit) edit->editFlags |= QIEF_HINT;
}

void Mm_RedrawList(QIList* list)
{
    if (!list || QIWidget::IsHidden(list)) return;
    list->MarkTree();
    if (MM_menu.desktop && MM_menu.desktop->palette) {
        MM_menu.desktop->Repaint(list);
        // The scroll bar stands beside the list, outside its rectangle: its
        // thumb follows the list's new end only when it is repainted too.
        if (list->vScroll && !QIWidget::IsHidden(list->vScroll)) MM_menu.desktop->Repaint(list->vScroll);
    } else
        list->Draw(nullptr);
}

int Mm_RowFill(uint32_t state)
{
    switch (state & (QIROW_HOVER | QIROW_CURRENT)) {
    case QIROW_HOVER: return 72;
    case QIROW_CURRENT: return 75;
    case QIROW_HOVER | QIROW_CURRENT: return 78;
    default: return -1;
    }
}

void Mm_FillRow(const IRect& cut, uint32_t state)
{
    const int fill = Mm_RowFill(state);
    BITMAP* bb = Backbuf_Lock();
    if (fill < 0 || !bb) return;
    // A repaint draws the row's text only inside its clip: a fill beyond it
    // would cover text that is not drawn again.
    GRECT clip;
    Graph_FillRect(bb, QI_WithinDrawClip(&cut, &clip), 0, cut.x, cut.y, cut.w, cut.h, (uint8_t)fill);
}

static QIWidget* StepButton(const char* file)
{
    return new QIButton(nullptr, nullptr, IRect(0, 0, 0, 0), QIImage(file, IRect(0, 0, 16, 16), 0),
                        QIImage(file, IRect(16, 0, 16, 16), 0), QIImage(file, IRect(32, 0, 16, 16), 0),
                        QIImage(file, IRect(32, 0, 16, 16), 0), "", nullptr, nullptr, nullptr);
}

namespace {
class MMCaption : public QIStatic {
public:
    MMCaption(const char* name, const char* t, const IRect& r, const QIFont* f, const IPoint& offset, bool fitted)
        : QIStatic(name, nullptr, r, t, f, QIJ_LEFT), shift(offset), fit(fitted)
    {
    }
    void Draw(const IRect* clip) override
    {
        if (!(flags & QIWF_SHOWN)) return;
        QIDrawClip within(clip);
        if (text.length) {
            int tx = x + shift.x;
            if (fit) tx = std::min(tx, x + w - QI_TextWidth(font, text.text));
            QI_DrawText(font, tx, y + shift.y, clip, text.text);
        }
        QIWidget::Draw(clip);
    }

private:
    IPoint shift;
    bool fit;
};
} // namespace

QIStatic* Mm_Caption(const char* name, const char* text, const IRect& r, int font, const IPoint& offset, bool fitted)
{
    return new MMCaption(name, text, r, &MM_menu.fonts[font], offset, fitted);
}

// A list's scroll bar with the pages' step buttons.
QISlider* Mm_ScrollBar(const IRect& r)
{
    QITrackSlider* bar = new QITrackSlider("", nullptr, r, QISO_VERTICAL, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr);
    // Cut from the bar's ends as the library places them: handed to the
    // constructor they kept their empty rectangles, and no arrow showed or
    // took a click.
    bar->AttachDecButton(StepButton("up.bmp"));
    bar->AttachIncButton(StepButton("down.bmp"));
    return bar;
}

// ---------------------------------------------------------------- pop-ups

static IRect At(const QIWidget* pop, int dx, int dy, int w, int h) { return IRect(pop->x + dx, pop->y + dy, w, h); }

static QIButton* PopButton(MM_MENU* menu, QIWidget* pop, const char* name, const char* label,
                           const char* file, int x, int y, int w, int h)
{
    const QIImage face(file, IRect(x, y, w, h), 0);
    return new QIButton(name, nullptr, At(pop, x, y, w, h), face, face, face, face, label,
                        &menu->fonts[MM_FONT_LABEL], &menu->fonts[MM_FONT_LABELO], &menu->fonts[MM_FONT_LABELG]);
}

static int RunPopup(MM_MENU* menu, QIPopup* pop)
{
    QIDesktop* d = menu->desktop;
    QIWidget::AddChild(menu->backdrop, pop);
    d->Refresh(pop);
    const int result = d->EventLoop(pop, 1);
    d->ClosePopup(pop);
    return result;
}

int Mm_RunPopup(QIPopup* pop)
{
    if (MM_menu.desktop) return RunPopup(&MM_menu, pop);
    delete pop;
    return 0;
}

void Mm_PopError(MM_MENU* menu, const char* key, const char* format, ...)
{
    if (!key) key = "";
    if (!format) format = "";
    char title[MM_KEY_SIZE - 4];
    snprintf(title, sizeof title, "%s", key); // a key from the network may be long
    char desc[MM_KEY_SIZE];
    snprintf(desc, sizeof desc, "%sDesc", title);
    char found[MM_MESSAGE_MAX + 1];
    const char* chosen = format;
    if (MLString_Get(desc, found, sizeof found, 0)) {
        if (QI_SameArguments(found, format))
            chosen = found;
        else
            TLOG(TLOG_WARNING, "Text [%s] takes other arguments than \"%s\": the default is used", desc, format);
    } else {
        TLOG(TLOG_WARNING, "#define %s \"%s\"", desc, format);
    }
    char message[MM_MESSAGE_MAX + 1];
    va_list ap;
    va_start(ap, format);
    vsnprintf(message, sizeof message, chosen, ap);
    va_end(ap);
    TLOG(TLOG_SETUP, "Error box [%s]: %s", title, message);
    if (!menu || !menu->desktop) return;

    QIPopup* pop = new QIPopup("PopError", nullptr, IPoint(390, 202), QIImage("pop_1pic.bmp", IRect(0, 0, 390, 202), 0));
    const QIFont* text = &menu->fonts[MM_FONT_TEXT];
    // The key names the box; what it shows is the key's own text, when the
    // strings have one (a key is no title for a player).
    char shown[MM_KEY_SIZE];
    if (!MLString_Get(title, shown, sizeof shown, 0)) snprintf(shown, sizeof shown, "%s", title);
    QIStatic* head = new QIStatic(title, nullptr, At(pop, 37, 4, 316, 16), shown, text, QIJ_CENTRE);
    head->flags &= ~QIWF_EXPORTS;
    QIWidget::AddChild(pop, head);
    QIStatic* msg = new QIStatic(desc, nullptr, At(pop, 37, 39, 316, 70), message, text, QIJ_CENTRE);
    msg->flags &= ~QIWF_EXPORTS;
    QIWidget::AddChild(pop, msg);
    pop->AddButton(PopButton(menu, pop, "PopOk", "Ok", "pop_1pic.bmp", 120, 132, 138, 44), 0);
    RunPopup(menu, pop);
}

int Mm_PopYesNo(MM_MENU* menu, const char* key, const char* format, ...)
{
    (void)key;
    char message[MM_MESSAGE_MAX + 1];
    message[0] = '\0';
    if (format) {
        va_list ap;
        va_start(ap, format);
        vsnprintf(message, sizeof message, format, ap);
        va_end(ap);
    }
    if (!menu || !menu->desktop) return 0;
    QIPopup* pop = new QIPopup("PopYesNo", nullptr, IPoint(390, 202), QIImage("pop_2pic.bmp", IRect(0, 0, 390, 202), 0));
    QIWidget::AddChild(pop, new QIStatic("PopMessage", nullptr, At(pop, 37, 39, 316, 70), message,
                                         &menu->fonts[MM_FONT_TEXT], QIJ_CENTRE));
    pop->AddButton(PopButton(menu, pop, "PopYes", "Yes", "pop_crea.bmp", 69, 131, 117, 37), 2);
    pop->AddButton(PopButton(menu, pop, "PopNo", "No", "pop_2pic.bmp", 194, 131, 108, 37), 3);
    return RunPopup(menu, pop);
}

void Mm_PopKeyError(MM_MENU* menu, const char* key)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-zero-length"
    Mm_PopError(menu, key, "");
#pragma GCC diagnostic pop
}
