// The staging page's small widgets and its player rows.
#include <cstdio>
#include <cstring>

#include "core/tlog.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mmsummary.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qimenu.h"

// Palette indices of colours 0..7; 8 (none) draws as 0.
static const uint8_t kColourIndex[NET_NODES + 1] = {51, 43, 67, 59, 75, 83, 91, 35, 0};

int MM_chat_colour_index(int colour) { return kColourIndex[colour >= 0 && colour <= 8 ? colour : 8]; }

// Font slot 5 through a remap that turns every glyph pixel into a colour.
const QIFont* MM_chat_team_font(int colour)
{
    static uint8_t tables[NET_NODES][256];
    static QIFont fonts[NET_NODES];
    const int c = colour >= 0 && colour < NET_NODES ? colour : 0;
    if (!fonts[c].remapBase) {
        for (int i = 0; i < 256; i++) tables[c][i] = i ? kColourIndex[c] : 0;
        fonts[c] = QIFont{MM_FONT_TEAM, tables[c], 0};
    }
    return &fonts[c];
}

QIGraphicText* MM_chat_entry(const char* text, int32_t* field, int32_t value, bool plain)
{
    const QIFont* f = &MM_menu.fonts[MM_FONT_TEXT];
    QIGraphicText* e = new QIGraphicText(f, plain ? f : &MM_menu.fonts[MM_FONT_LABELO], f, text, field, value, QIJ_LEFT);
    e->x = 3; // the boxes' pictures have their frame in the first columns
    return e;
}

const QIFont* MM_chat_refusal_font(void)
{
    // Colour 1's dark blue read at about 1.6:1 on the navy page; the
    // light grey near white reads at well over 7:1.
    static uint8_t table[256];
    static QIFont font;
    if (!font.remapBase) {
        for (int i = 0; i < 256; i++) table[i] = i ? 29 : 0;
        font = QIFont{MM_FONT_TEAM, table, 0};
    }
    return &font;
}

// ---------------------------------------------------------------- minimap

MMScrollChatMiniMap::MMScrollChatMiniMap(const char* name, QIWidget* parent, const IRect& r)
    : QIStatic(name, nullptr, r, "", nullptr, QIJ_LEFT)
{
    flags &= ~QIWF_HASTIP;
    // A static takes no input, but a location is picked by a click here.
    flags |= QIWF_HITTEST;
    if (parent) QIWidget::AddChild(parent, this);
}

void MMScrollChatMiniMap::set_scenario(const BITMAP* pic)
{
    map_on = 0;
    picture = pic;
    const int pw = pic ? pic->x_size : 0, ph = pic ? pic->y_size : 0;
    minimap_x = (w - pw) / 2;
    minimap_y = (h - ph) / 2;
}

// Whether row r (a human or computer row) has chosen location k.
static int TakenBy(int k)
{
    for (int n = 0; n < NET_NODES; n++) {
        const MMChatSlot* s = MM_chat.slots[n];
        if (s && s->option >= HUMAN && s->option <= COMPUTER_HARD && s->cache.team == k) return n;
    }
    return -1;
}

static bool Exists(int k)
{
    const MULTI_scenario_team& t = g_MultiScenario.teams[k];
    return t.units != 0 || t.buildings != 0;
}

void MMScrollChatMiniMap::Draw(const IRect* clip)
{
    if (IsHidden()) return;
    QIStatic::Draw(clip);
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    const IRect own(x, y, w, h);
    QIDrawClip inside(&own);
    GRECT g;
    const GRECT* c = QI_WithinDrawClip(&own, &g);
    const int ox = x + minimap_x, oy = y + minimap_y;
    if (map_on && picture && picture->data)
        Graph_Blit(bb, c, 0, ox, oy, picture, 0, 0, picture->x_size, picture->y_size);
    if (locations_type <= 0 || locations_type > 3) return;
    const int own_node = g_NetOwnNode;
    const MMChatSlot* mine = own_node < NET_NODES ? MM_chat.slots[own_node] : nullptr;
    for (int k = 0; k < NET_NODES; k++) {
        if (!Exists(k)) continue;
        const int by = TakenBy(k);
        int colour = 15;
        if (by >= 0) {
            const MMChatSlot* s = MM_chat.slots[by];
            const bool ally = s->cache.relations[own_node < NET_NODES ? own_node : 0] == NET_REL_ALLY;
            if (locations_type == 1 && by != own_node) continue;
            if (locations_type == 2 && by != own_node && !ally) continue;
            colour = MM_chat_colour_index(s->cache.colour);
        }
        (void)mine;
        const MULTI_scenario_team& t = g_MultiScenario.teams[k];
        Graph_FillRect(bb, c, 0, t.start_x + ox - 2, t.start_y + oy - 2, 7, 7, (uint8_t)colour);
    }
}

int MMScrollChatMiniMap::HandleInput(QIWidget** path, int kind, QIARG pointer)
{
    if (*path || kind != QIE_LEFTDOWN || !pointer) return QIStatic::HandleInput(path, kind, pointer);
    if (MM_chat.locations_placement == 0) return 1;
    const QIPointer* p = reinterpret_cast<const QIPointer*>(pointer);
    const int px = p->x - x, py = p->y - y;
    for (int k = 0; k < NET_NODES; k++) {
        if (!Exists(k) || TakenBy(k) >= 0) continue;
        const MULTI_scenario_team& t = g_MultiScenario.teams[k];
        const int bx = t.start_x + minimap_x - 2, by = t.start_y + minimap_y - 2;
        if (px < bx || px >= bx + 8 || py < by || py >= by + 8) continue;
        const int dest = MM_chat.msg_dest;
        Net_Lock();
        const bool computer = g_NetCreator && dest >= 0 && dest < NET_NODES && g_NetSettings.slottypes[dest] >= 1 &&
                              g_NetSettings.slottypes[dest] <= 3;
        if (computer)
            g_NetSettings.node[dest].team = (uint8_t)k;
        else
            g_NetStaged.team = (uint8_t)k;
        Net_Unlock();
        Net_SendPlayerState();
        return 1;
    }
    return 1;
}

// ---------------------------------------------------------------- rule lines

MMChatRule::MMChatRule(const QIFont* f, const char* text, int32_t number) : QITextItem(f, text), order(number) {}

int MMChatRule::Height(void) { return QI_FontHeight(font); }
int MMChatRule::Width(void) { return QI_TextWidth(font, text.c_str()); }

int MMChatRule::Compare(QIGraphic* other)
{
    const MMChatRule* o = dynamic_cast<const MMChatRule*>(other);
    return o && order > o->order ? 1 : 0;
}

// ---------------------------------------------------------------- alliance button

// "alliance.bmp": a column per button (enemy, neutral, ally) of 18 x 12
// cells: plain, marked, pressed.
MMChatAlliance::MMChatAlliance(const char* name, const IRect& r, int column)
    : QIButton(name, nullptr, r, QIImage("alliance.bmp", IRect(column * 18, 0, 18, 12), 0),
               QIImage("alliance.bmp", IRect(column * 18, 12, 18, 12), 0),
               QIImage("alliance.bmp", IRect(column * 18, 24, 18, 12), 0),
               QIImage("alliance.bmp", IRect(column * 18, 24, 18, 12), 0), "", nullptr, nullptr, nullptr)
{
    style |= QIBS_LATCHING;
}

void MMChatAlliance::Draw(const IRect* clip)
{
    if (IsHidden()) return;
    const QIImage& img = pressed ? images[QIBI_ACTIVE] : reverse ? images[QIBI_NORMALFOCUS] : images[QIBI_NORMAL];
    if (img.Usable()) QI_DrawBitmapClipped(&img, x, y, clip);
    for (QIWidget* c = FirstChild(); c; c = c->Next()) c->Draw(clip);
}

// ---------------------------------------------------------------- rows

static const char* const kSideIds[4][2] = {{"ChatPlayerSideDefault", "Default"},
                                           {"ChatPlayerSideAshward", "Ashward"},
                                           {"ChatPlayerSideSolarch", "Solarch"},
                                           {"ChatPlayerSideVelkin", "Velkin"}};
static const char* const kTypeIds[4][2] = {{"ChatPlayerTypeAvailable", "Available"},
                                           {"ChatPlayerTypeComputer1", "Computer1"},
                                           {"ChatPlayerTypeComputer2", "Computer2"},
                                           {"ChatPlayerTypeComputer3", "Computer3"}};

static const QIFont* Font(int slot) { return &MM_menu.fonts[slot]; }

static QIGraphicText* Entry(const char* id, const char* def, int32_t* field, int32_t value)
{
    QIString text;
    QI_PlainText(id, &text, def);
    return MM_chat_entry(text.c_str(), field, value);
}

static QIDropList* RowList(int n, int x, int w, int32_t open_h)
{
    const int y = MM_CHAT_PLAYERS_TOP + MM_CHAT_PLAYERS_HEIGHT * n;
    const QIImage closed("drop.bmp", IRect(0, 0, w, MM_CHAT_PLAYERS_HEIGHT - 1), 0);
    const QIImage focus("drop.bmp", IRect(156, 0, w, MM_CHAT_PLAYERS_HEIGHT - 1), 0);
    const QIImage open("drop.bmp", IRect(312, 0, w, MM_CHAT_PLAYERS_HEIGHT - 1), 0);
    (void)open_h;
    return new QIDropList("ChatRowPlayer", MM_chat_row_changed, IRect(x, y, w, MM_CHAT_PLAYERS_HEIGHT - 1),
                          IRect(x, y + MM_CHAT_PLAYERS_HEIGHT, w, 0), IPoint(w, MM_CHAT_PLAYERS_HEIGHT), closed, focus,
                          open, open);
}

MMChatSlot::MMChatSlot(int n) : index(n)
{
    const int y = MM_CHAT_PLAYERS_TOP + MM_CHAT_PLAYERS_HEIGHT * n;
    const IRect r(MM_CHAT_PLAYERS_NAME, y, MM_CHAT_PLAYERS_WIDTH, MM_CHAT_PLAYERS_HEIGHT);
    QIContainer* outer = new QIContainer("MultiMenuChatRow", nullptr);
    outer->Assign(r);
    QIContainer* in = new QIContainer("MultiMenuChatRow", nullptr);
    in->Assign(r);
    in->flags &= ~QIWF_SHOWN;
    row = outer;
    inner = in;
    drp_type = RowList(n, MM_CHAT_PLAYERS_NAME, MM_CHAT_PLAYERS_MESSAGE - MM_CHAT_PLAYERS_NAME - 2, 0);
    // The type list stays on the row itself, above the inner layer (which
    // covers the whole row): on a free row it is how the creator puts a
    // computer player there, so it can't hide with the rest.
    QIWidget::AddChild(outer, in);
    QIWidget::AddChild(outer, drp_type);
    drp_side = RowList(n, MM_CHAT_PLAYERS_SIDE, MM_CHAT_PLAYERS_ALLIANCE - MM_CHAT_PLAYERS_SIDE - 2, 0);
    drp_team = RowList(n, MM_CHAT_PLAYERS_ALLIANCE, MM_CHAT_PLAYERS_HANDICAP - MM_CHAT_PLAYERS_ALLIANCE - 2, 0);
    drp_handicap = RowList(n, MM_CHAT_PLAYERS_HANDICAP, 80, 0);
    // Its cell reaches over the option boxes: only the light's own bar is drawn.
    img_launch = new QIStatic("ChatRowLaunch", nullptr, IRect(MM_CHAT_PLAYERS_HANDICAP + 84, y, 12, 12),
                              QIImage("lights.bmp", IRect(12, 0, 12, 12), 1));
    img_launch->flags &= ~QIWF_SHOWN;
    bar_alliance = new QIMenu("ChatAllianceBar", MM_chat_row_changed, &alliance);
    bar_alliance->Assign(IRect(MM_CHAT_PLAYERS_ALLIANCE, y, 56, 12));
    bar_alliance->flags |= QIWF_HITTEST;
    btn_enemy = new MMChatAlliance("ChatAllianceEnemy", IRect(MM_CHAT_PLAYERS_ALLIANCE, y, 18, 12), 0);
    btn_neutral = new MMChatAlliance("ChatAllianceNeutral", IRect(MM_CHAT_PLAYERS_ALLIANCE + 19, y, 18, 12), 1);
    btn_ally = new MMChatAlliance("ChatAllianceAlly", IRect(MM_CHAT_PLAYERS_ALLIANCE + 38, y, 18, 12), 2);
    QIWidget::AddChild(bar_alliance, btn_enemy);
    QIWidget::AddChild(bar_alliance, btn_neutral);
    QIWidget::AddChild(bar_alliance, btn_ally);
    QIWidget::AddChild(in, drp_side);
    QIWidget::AddChild(in, drp_team);
    QIWidget::AddChild(in, bar_alliance);
    QIWidget::AddChild(in, drp_handicap);
    QIWidget::AddChild(in, img_launch);
    const IRect m(MM_CHAT_PLAYERS_MESSAGE, y, 12, 12);
    btn_message = new QIButton("ChatRowMessage", nullptr, m, QIImage("lights.bmp", IRect(24, 0, 12, 12), 0),
                               QIImage("lights.bmp", IRect(24, 0, 12, 12), 0),
                               QIImage("lights.bmp", IRect(36, 0, 12, 12), 0),
                               QIImage("lights.bmp", IRect(36, 0, 12, 12), 0), "", nullptr, nullptr, nullptr);
    btn_message->style |= QIBS_LATCHING;
    FillTypes(false, nullptr);
    FillSides(true);
    drp_team->Add(Entry("ChatPlayerTeamNone", "No Team", &team, 0));
    for (int t = 0; t < 8; t++) {
        char id[24], def[8];
        snprintf(id, sizeof id, "ChatPlayerTeam%c", 'A' + t);
        snprintf(def, sizeof def, "Team %c", 'A' + t);
        drp_team->Add(Entry(id, def, &team, t + 1));
    }
    drp_team->flags &= ~QIWF_SHOWN;
    for (int k = 0; k < MM_CHAT_HANDICAPS; k++) {
        char text[16];
        if (k == 0)
            snprintf(text, sizeof text, "Default 1.00");
        else
            snprintf(text, sizeof text, "%d.%02d", (100 + 25 * (k - 1)) / 100, (100 + 25 * (k - 1)) % 100);
        drp_handicap->Add(MM_chat_entry(text, &handicap, k));
    }
    drp_side->Disable();
    drp_team->Disable();
    drp_handicap->Disable();
}

void MMChatSlot::FillTypes(bool human, const char* name)
{
    drp_type->Clear();
    if (human) {
        QIString text;
        QI_PlainText("ChatPlayerTypeHuman", &text, "Human");
        type_entry = MM_chat_entry(name ? name : text.c_str(), &option, HUMAN, true);
        drp_type->Add(type_entry);
        drp_type->SetCurrent(0);
        return;
    }
    drp_type->Add(Entry(kTypeIds[0][0], kTypeIds[0][1], &option, AVAILABLE));
    for (int k = 1; k <= 3; k++) drp_type->Add(Entry(kTypeIds[k][0], kTypeIds[k][1], &option, k));
    drp_type->SetCurrent(option >= 1 && option <= 3 ? option : 0);
    type_entry = static_cast<QIGraphicText*>(drp_type->ItemAt(drp_type->current));
}

void MMChatSlot::FillSides(bool velkin)
{
    drp_side->Clear();
    for (int k = 0; k < (velkin ? 4 : 3); k++) drp_side->Add(Entry(kSideIds[k][0], kSideIds[k][1], &side, k));
    drp_side->SetCurrent(side >= 0 && side < (velkin ? 4 : 3) ? side : 0);
}

void MMChatSlot::Redraw(void)
{
    row->MarkTree();
    QIDesktop* d = MM_menu.desktop;
    if (!d || QIWidget::IsHidden(row)) return;
    if (d->palette)
        d->Repaint(row);
    else
        row->Draw(nullptr);
}

static void Show(QIWidget* w, bool shown)
{
    if (shown)
        w->flags |= QIWF_SHOWN;
    else
        w->flags &= ~QIWF_SHOWN;
}

// The bar's current button and the other player's marks.
static void SetAlliance(MMChatSlot* s, int current)
{
    s->alliance = current;
    MMChatAlliance* b[3] = {s->btn_enemy, s->btn_neutral, s->btn_ally};
    s->bar_alliance->SetCurrent(b[current]);
}

static void Mark(MMChatSlot* s, int which)
{
    MMChatAlliance* b[3] = {s->btn_enemy, s->btn_neutral, s->btn_ally};
    for (int k = 0; k < 3; k++) b[k]->reverse = k == which;
}

static int RelationIndex(int relation)
{
    switch (relation) {
    case NET_REL_ENEMY: return 0;
    case NET_REL_NEUTRAL: return 1;
    case NET_REL_ALLY: return 2;
    default: return -1;
    }
}

void MMChatSlot::Refresh(const NetSession& session, const NetGameSettings& settings)
{
    const int n = index;
    cache = settings.node[n];
    Show(inner, true);
    const int type = settings.slottypes[n];
    if (type == HUMAN) {
        option = HUMAN;
        drp_type->Disable();
        char name[NET_NAME_SIZE + 1];
        snprintf(name, sizeof name, "%.*s", NET_NAME_SIZE, session.players[n].name);
        FillTypes(true, name);
    } else {
        option = type;
        if (g_NetCreator)
            drp_type->Enable();
        else
            drp_type->Disable();
        FillTypes(false, nullptr);
    }
    if (type_entry) type_entry->SetFont(cache.colour < 8 ? MM_chat_team_font(cache.colour) : Font(MM_FONT_TEXT));
    ready = (session.players[n].flags & NET_PLAYER_READY) != 0;
    Show(img_launch, ready);
    if (cache.side >= -1 && cache.side <= 2) {
        side = cache.side + 1;
        drp_side->SetCurrent(side);
    } else {
        TLOG(TLOG_ERROR, "Unknown side");
    }
    if (cache.group <= 8) {
        team = (int8_t)cache.group;
        drp_team->SetCurrent(team);
    }
    const int own = g_NetOwnNode;
    if (own < NET_NODES) {
        const int mine = RelationIndex(settings.node[own].relations[n]);
        if (mine >= 0) SetAlliance(this, mine);
        const int theirs = RelationIndex(cache.relations[own]);
        if (theirs >= 0) Mark(this, theirs);
    }
    if (cache.handicap < MM_CHAT_HANDICAPS) {
        handicap = cache.handicap;
        drp_handicap->SetCurrent(handicap);
    }
    TLOG(TLOG_SETUP, "Staging row %d: %.*s type %d colour %d ready %d", n, NET_NAME_SIZE, session.players[n].name,
         type, cache.colour, ready);
    Redraw();
}

void MMChatSlot::Reset(const NetGameSettings& settings)
{
    cache = settings.node[index];
    option = AVAILABLE;
    Show(inner, false);
    if (g_NetCreator)
        drp_type->Enable();
    else
        drp_type->Disable();
    drp_side->Disable();
    drp_team->Disable();
    drp_handicap->Disable();
    FillTypes(false, nullptr);
    side = 0;
    drp_side->SetCurrent(0);
    team = 0;
    drp_team->SetCurrent(0);
    SetAlliance(this, 1);
    Mark(this, 1);
    handicap = 0;
    drp_handicap->SetCurrent(0);
    ready = 0;
    Show(img_launch, false);
    Redraw();
}
