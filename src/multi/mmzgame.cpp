// Creating and joining rooms and games from the lobby, and the hand-over of
// a game to the program's own UDP session and the staging page.
#include <cstdio>
#include <cstring>

#include "core/tlog.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mmznet.h"
#include "net/net.h"
#include "platform/thread.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qiedit.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qistatic.h"

namespace {

// The ids of a Create popup (room, then game) or a Join popup.
struct CREATE_IDS {
    const char *popup, *title, *titleText, *name, *nameText, *pw, *edName, *edPw, *unlocked, *locked, *ok, *cancel;
};
const CREATE_IDS kCreate[2] = {
    {"ZephnetCreateRoom", "ZephnetCRTitle", "Create Room", "ZephnetCRName", "Room Name", "ZephnetCRPW",
     "ZephnetCREdName", "ZephnetCREdPW", "ZephnetCRUnLocked", "ZephnetCRLocked", "ZephnetCROK", "ZephnetCRCancel"},
    {"ZephnetCreateGame", "ZephnetCGTitle", "Create Game", "ZephnetCGName", "Game Name", "ZephnetCGPW",
     "ZephnetCGEdName", "ZephnetCGEdPW", "ZephnetCGUnLocked", "ZephnetCGLocked", "ZephnetCGOK", "ZephnetCGCancel"},
};
struct JOIN_IDS {
    const char *title, *pw, *edPw, *ok, *cancel;
};
const JOIN_IDS kJoin[2] = {
    {"ZephnetJRTitle", "ZephnetJRPW", "ZephnetJREdPW", "ZephnetJROK", "ZephnetJRCancel"},
    {"ZephnetJGTitle", "ZephnetJGPW", "ZephnetJGEdPW", "ZephnetJGOK", "ZephnetJGCancel"},
};

const QIFont* Font(int slot) { return &MM_menu.fonts[slot]; }

IRect At(const QIWidget* pop, int dx, int dy, int w, int h) { return IRect(pop->x + dx, pop->y + dy, w, h); }

void Label(QIPopup* pop, const char* id, const char* text, const IRect& r, int font, int just)
{
    QIWidget::AddChild(pop, new QIStatic(id, nullptr, r, text, Font(font), just));
}

// OK in slot 0 and Cancel in slot 1, their faces cut from the frame.
void Buttons(QIPopup* pop, const char* file, const char* ok, const char* cancel)
{
    const struct {
        const char* id;
        const char* label;
        IRect face;
        int slot;
    } kButtons[2] = {{ok, "OK", IRect(69, 131, 117, 37), 0}, {cancel, "Cancel", IRect(194, 131, 108, 37), 1}};
    for (const auto& b : kButtons) {
        const QIImage face(file, b.face, 0);
        pop->AddButton(new QIButton(b.id, nullptr, At(pop, b.face.x, b.face.y, b.face.w, b.face.h), face, face, face,
                                    face, b.label, Font(MM_FONT_LABEL), Font(MM_FONT_LABELO), Font(MM_FONT_LABELG)),
                       b.slot);
    }
}

QIPopup* CreatePopup(int game)
{
    const CREATE_IDS& id = kCreate[game];
    MM_ZNET& z = MM_znet;
    z.createName.Set("");
    z.createPassword.Set("");
    QIPopup* pop = new QIPopup(id.popup, nullptr, IPoint(390, 202), QIImage("pop_crea.bmp", IRect(0, 0, 390, 202), 0));
    Label(pop, id.title, id.titleText, At(pop, 121, 0, 152, 20), MM_FONT_TITLE, QIJ_CENTRE);
    Label(pop, id.name, id.nameText, At(pop, 31, 27, 203, 15), MM_FONT_HEADING, QIJ_LEFT);
    // Its text in line with the name's and the edits' left edges.
    QIWidget::AddChild(pop, Mm_Caption(id.pw, "Password", At(pop, 29, 74, 203, 15), MM_FONT_HEADING, IPoint(31 - 29, 0)));
    QIWidget::AddChild(pop, new QIEdit(id.edName, nullptr, At(pop, 31, 52, 238, 16), IPoint(5, 1), QIJ_LEFT,
                                       &z.createName, 0x4FFF, 0, MM_ZNET_NAME_MAX, 15, Font(MM_FONT_TEXT)));
    QIWidget::AddChild(pop, new QIEdit(id.edPw, MM_znet_password_changed, At(pop, 31, 98, 238, 16), IPoint(5, 1),
                                       QIJ_LEFT, &z.createPassword, 0x4FFF, 0, MM_ZNET_PASSWORD_MAX, 15,
                                       Font(MM_FONT_TEXT)));
    QIWidget::AddChild(pop, new QIStatic(id.unlocked, nullptr, At(pop, 280, 49, 89, 63),
                                         QIImage("lockgame.bmp", IRect(0, 0, 89, 63), 0)));
    QIStatic* locked = new QIStatic(id.locked, nullptr, At(pop, 280, 49, 89, 63),
                                    QIImage("lockgame.bmp", IRect(89, 0, 89, 63), 0));
    locked->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(pop, locked);
    Buttons(pop, "pop_crea.bmp", id.ok, id.cancel);
    return pop;
}

QIPopup* JoinPopup(int game)
{
    const JOIN_IDS& id = kJoin[game];
    MM_znet.joinPassword.Set("");
    QIPopup* pop = new QIPopup("ZephnetJoinRoom", nullptr, IPoint(390, 202),
                               QIImage("pop_2pic.bmp", IRect(0, 0, 390, 202), 0));
    Label(pop, id.title, "Join Room", At(pop, 121, 0, 152, 20), MM_FONT_TITLE, QIJ_CENTRE);
    Label(pop, id.pw, "Enter Password", At(pop, 48, 43, 296, 32), MM_FONT_HEADING, QIJ_LEFT);
    QIWidget::AddChild(pop, new QIEdit(id.edPw, nullptr, At(pop, 48, 94, 296, 17), IPoint(5, 1), QIJ_LEFT,
                                       &MM_znet.joinPassword, 0x4FFF, 0, MM_ZNET_PASSWORD_MAX, 15,
                                       Font(MM_FONT_TEXT)));
    Buttons(pop, "pop_2pic.bmp", id.ok, id.cancel);
    return pop;
}

// Opens the popup over the page and runs it with the lobby's poll going on.
int Run(QIPopup* pop)
{
    QIDesktop* d = MM_menu.desktop;
    QIWidget::AddChild(MM_menu.backdrop, pop);
    d->Refresh(pop);
    return d->EventLoop(pop, 0);
}

void Close(QIPopup* pop)
{
    if (MM_znet.popup == pop) MM_znet.popup = nullptr;
    MM_menu.desktop->ClosePopup(pop);
}

// After a room was entered: the room's lists start empty, the poll fills them.
void RoomEntered(const char* error)
{
    if (error) {
        MM_znet_error(error);
        return;
    }
    for (QIList* l : {MM_znet.games, MM_znet.players, MM_znet.messages})
        if (l) {
            l->Clear();
            l->SetCurrent(-1);
            Mm_RedrawList(l);
        }
    MM_znet_refill();
}

void Hint(const char* fallback)
{
    QIString text;
    QI_PlainText("ZephnetSelectRoom", &text, fallback);
    MM_znet_add_line(text.c_str());
}

} // namespace

int MM_znet_create_room(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED || !MM_menu.desktop) return 0;
    QIPopup* pop = CreatePopup(0);
    MM_znet.popup = pop;
    if (Run(pop) == MM_POP_OK)
        RoomEntered(Zeph_CreateRoom(MM_znet.createName.c_str(), MM_znet.createPassword.c_str()));
    Close(pop);
    return 0;
}

int MM_znet_create_game(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED || !MM_menu.desktop) return 0;
    QIPopup* pop = CreatePopup(1);
    MM_znet.popup = pop;
    if (Run(pop) == MM_POP_OK) {
        if (const char* e = Zeph_CreateGame(MM_znet.createName.c_str(), MM_znet.createPassword.c_str())) {
            MM_znet_error(e);
        } else if (!Net_Init(NET_TYPE_UDP)) {
            TLOG(TLOG_NERR, "UDP could not be started");
        } else {
            Net_BeginSession();
            Net_HostGame();
            MM_chat_enter_from(MM_znet.page);
        }
    }
    Close(pop);
    return 0;
}

int MM_znet_password_changed(QIWidget* widget, int code, QIARG)
{
    QIPopup* pop = MM_znet.popup;
    if (code != QIN_EDITED || !pop || !widget) return 0;
    const int game = pop->name.CompareCStr(kCreate[1].popup) == QISTR_EQUAL;
    QIWidget* unlocked = nullptr;
    QIWidget* locked = nullptr;
    for (QIWidget* w = pop->FirstChild(); w; w = w->Next()) {
        if (w->name.CompareCStr(kCreate[game].unlocked) == QISTR_EQUAL) unlocked = w;
        if (w->name.CompareCStr(kCreate[game].locked) == QISTR_EQUAL) locked = w;
    }
    if (!unlocked || !locked) return 0;
    const bool empty = !static_cast<QIEdit*>(widget)->Shown()[0];
    QIWidget* show = empty ? unlocked : locked;
    QIWidget* hide = empty ? locked : unlocked;
    hide->flags &= ~QIWF_SHOWN;
    MM_menu.desktop->ShowWidget(show);
    return 0;
}

int MM_znet_join_room(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    const MMScrollZnetRoom* row = static_cast<const MMScrollZnetRoom*>(MM_znet_selected(MM_znet.rooms));
    if (!row) {
        Hint("{You must select a room to join}");
        return 0;
    }
    if (row->record.password == 0) {
        const ZephSessionRecord room = row->record; // the join's poll may rebuild the list
        RoomEntered(Zeph_JoinRoom(&room, ""));
        return 0;
    }
    if (!MM_menu.desktop) return 0;
    MM_znet.chosen = row->record;
    QIPopup* pop = JoinPopup(0);
    if (Run(pop) == MM_POP_OK) RoomEntered(Zeph_JoinRoom(&MM_znet.chosen, MM_znet.joinPassword.c_str()));
    Close(pop);
    return 0;
}

int MM_znet_join_game_popup(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    const MMScrollZnetGame* row = static_cast<const MMScrollZnetGame*>(MM_znet_selected(MM_znet.games));
    if (!row) {
        Hint("{You must select a game to join}");
        return 0;
    }
    MM_znet.chosen = row->record;
    const ZephSessionRecord& game = MM_znet.chosen;
    if (game.password == 0) {
        if (!MM_znet_join_game(&game, "")) TLOG(TLOG_NDIAG, "Couldn't join game : %s", game.name);
        return 0;
    }
    if (!MM_menu.desktop) return 0;
    QIPopup* pop = JoinPopup(1);
    if (Run(pop) == MM_POP_OK && !MM_znet_join_game(&game, MM_znet.joinPassword.c_str()))
        TLOG(TLOG_NDIAG, "Couldn't join game : %s", game.name);
    Close(pop);
    return 0;
}

int MM_znet_join_game(const ZephSessionRecord* session, const char* password)
{
    if (const char* e = Zeph_JoinGame(session, password)) {
        TLOG(TLOG_SETUP, "Couldn't join game : %s", e);
        return 0;
    }
    // The game's players come with the service's join notices.
    const uint32_t start = Thread_ClockMs();
    while (Thread_ClockMs() - start < MM_ZNET_OWNER_MS) {
        ZEPH_poll();
        Thread_Sleep(1);
    }
    const ZephPlayerRecord owner = *Zeph_GetModeratorInfo();
    if (owner.id == 0) {
        TLOG(TLOG_DIAG, "Couldn't find the owner of the game");
        return 0;
    }
    if (!Net_Init(NET_TYPE_UDP)) {
        TLOG(TLOG_NERR, "UDP could not be started");
        return 1;
    }
    Net_BeginSession();
    NetAddress at;
    memset(&at, 0, sizeof at);
    at.kind = NET_TYPE_UDP;
    for (int i = 0; i < 4; i++) at.bytes[i] = (uint8_t)(owner.address >> (8 * i));
    if (const char* reason = Net_Join(&at, MM_ZNET_JOIN_MS)) {
        TLOG(TLOG_SETUP, "Couldn't join the game at %d.%d.%d.%d: %s", at.bytes[0], at.bytes[1], at.bytes[2],
             at.bytes[3], reason);
        // Left started, the network would meet the next join, or another
        // page's carrier, as already running with this one.
        Net_Close();
        return 1;
    }
    MM_chat_enter_from(MM_znet.page);
    return 1;
}
