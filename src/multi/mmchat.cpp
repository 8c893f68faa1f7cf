#include "multi/mmchat.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "core/error.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "core/textlines.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "game/systems.h"
#include "multi/mmframe.h"
#include "multi/mmmain.h"
#include "multi/mmsummary.h"
#include "net/zeph.h"
#include "platform/font.h"
#include "platform/plat.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qiedit.h"
#include "widgets/qilayer.h"
#include "widgets/qimenu.h"

MM_CHAT MM_chat;

namespace {

// A received line waiting for the poll.
struct MMChatLine {
    MMChatLine* next;
    MMChatLine* prev;
    char text[MM_CHAT_LINE_MAX + 1];
};

struct QUEUE {
    std::mutex lock;
    MMChatLine* head = nullptr;
    MMChatLine* tail = nullptr;
    int count = 0;
};

QUEUE s_queue;
QIWidget* s_layer = nullptr;
uint32_t s_lastPing = 0;
int s_ruleNode = 0;
// Colour buttons shown, per colour; kept across visits as the buttons are
// rebuilt shown with each visit's page.
uint8_t s_colourShown[NET_NODES];

const QIFont* Font(int slot) { return &MM_menu.fonts[slot]; }

std::string Text(const char* id, const char* def)
{
    QIString s;
    QI_PlainText(id, &s, def);
    return s.c_str();
}

void Show(QIWidget* w, bool shown)
{
    if (!w) return;
    if (shown)
        w->flags |= QIWF_SHOWN;
    else
        w->flags &= ~QIWF_SHOWN;
}

void Redraw(QIWidget* w)
{
    if (!w) return;
    w->MarkTree();
    QIDesktop* d = MM_menu.desktop;
    if (!d || QIWidget::IsHidden(w)) return;
    if (d->palette)
        d->Repaint(w);
    else
        w->Draw(nullptr);
}

void Enable(QIWidget* w, bool on)
{
    if (!w) return;
    if (on)
        w->Enable();
    else
        w->Disable();
}

} // namespace

// ---------------------------------------------------------------- messages and rules

void MM_chat_add_message(const char* text, int colour)
{
    QIList* list = MM_chat.msglist;
    if (!list) return;
    char line[MM_CHAT_LINE_MAX + 1];
    snprintf(line, sizeof line, "%s", text);
    const QIFont* f = colour == MM_CHAT_REFUSAL                  ? MM_chat_refusal_font()
                      : colour >= 0 && colour < NET_NODES ? MM_chat_team_font(colour)
                                                          : Font(MM_FONT_TEXT);
    list->Add(new QITextItem(f, line));
    list->ScrollToEnd();
    Mm_RedrawList(list);
}

int MM_chat_rule_char_width(int c)
{
    char s[2] = {(char)c, 0};
    return QI_TextWidth(Font(MM_FONT_TEXT), s);
}

void MM_chat_add_rule_text(const char* line)
{
    if (MM_chat.rulelist) MM_chat.rulelist->InsertSorted(new MMChatRule(Font(MM_FONT_TEXT), line, 0));
}

// The map's briefing section 1 into the rules list; then the heading,
// always on entry, after a later map load only when the file was read.
static void LoadRules(bool heading_always)
{
    char path[GAME_PATH * 2];
    snprintf(path, sizeof path, "%s\\%s\\quorvex.brf", g_ScenarioCategoryDir, g_ScenarioName);
    if (Text_WrapFileSection(path, 1, MM_CHAT_RULE_WIDTH, MM_chat_rule_char_width, MM_chat_add_rule_text) ||
        heading_always) {
        MM_chat_add_rule_text("");
        MM_chat_add_rule_text("RULES");
        MM_chat_add_rule_text("");
    }
    if (MM_chat.rulelist) {
        MM_chat.rulelist->SetCurrent(-1);
        Mm_RedrawList(MM_chat.rulelist);
    }
}

void MM_chat_load_rules(void) { LoadRules(false); }

void MM_chat_reload_rules(void)
{
    if (MM_chat.rulelist) MM_chat.rulelist->Clear();
    MM_chat.ruleno = 1;
    TextLines_Clear();
    MM_chat_load_rules();
}

// A rule line held already, number and text alike.
static const char* s_seekText;
static int32_t s_seekNumber;
static int s_seekFound;
static int SeekRule(const char* text, int32_t key)
{
    if (key == s_seekNumber && strcmp(text, s_seekText) == 0) s_seekFound = 1;
    return !s_seekFound;
}

// A received rule line: the mark, three digits, the text.
static void TakeRule(const char* line)
{
    const char* d = line + 1;
    for (int i = 0; i < 3; i++)
        if (d[i] < '0' || d[i] > '9') return;
    const int32_t number = (d[0] - '0') * 100 + (d[1] - '0') * 10 + (d[2] - '0');
    const char* text = d + 3;
    s_seekText = text;
    s_seekNumber = number;
    s_seekFound = 0;
    TextLines_ForEach(SeekRule);
    if (s_seekFound) return;
    TextLines_AddSorted(text, number);
    if (MM_chat.rulelist) {
        MM_chat.rulelist->InsertSorted(new MMChatRule(Font(MM_FONT_TEXT), text, number));
        Mm_RedrawList(MM_chat.rulelist);
    }
}

int MM_chat_send_to_node(const char* text, int32_t number)
{
    char line[MM_CHAT_LINE_MAX + 1];
    snprintf(line, sizeof line, "%c%.3d%s", (char)MM_CHAT_RULE_MARK, (int)number, text);
    Net_SendMessage(s_ruleNode, line);
    TLOG(TLOG_CHANNEL, "sending <%s> to node %d", line, s_ruleNode);
    return 1;
}

void MM_chat_send_rules(int node)
{
    s_ruleNode = node;
    TextLines_ForEach(MM_chat_send_to_node);
}

// ---------------------------------------------------------------- the queue

// Lines are shown in the order they came, two that arrive between two polls
// as well: taking each poll's lines newest first would put a quick reply
// above what it answers, while lines of separate polls read oldest first.

void MM_chat_queue_line(const char* line)
{
    MMChatLine* l = new MMChatLine;
    snprintf(l->text, sizeof l->text, "%s", line);
    std::lock_guard<std::mutex> g(s_queue.lock);
    l->next = nullptr;
    l->prev = s_queue.tail;
    if (s_queue.tail)
        s_queue.tail->next = l;
    else
        s_queue.head = l;
    s_queue.tail = l;
    s_queue.count++;
}

void MM_chat_add_line(int node, const char* text)
{
    if (!text) return;
    char line[MM_CHAT_LINE_MAX + 1];
    if ((uint8_t)text[0] == MM_CHAT_RULE_MARK) {
        snprintf(line, sizeof line, "%s", text);
    } else {
        const char* name = node >= 0 && node < NET_NODES ? g_NetSession.players[node].name : "";
        snprintf(line, sizeof line, "%.*s> %s", NET_NAME_SIZE, name, text);
    }
    MM_chat_queue_line(line);
}

void MM_chat_kicked(int) { MM_chat.kicked = 1; }

static MMChatLine* TakeLine(void)
{
    std::lock_guard<std::mutex> g(s_queue.lock);
    MMChatLine* l = s_queue.head;
    if (!l) return nullptr;
    s_queue.head = l->next;
    if (s_queue.head)
        s_queue.head->prev = nullptr;
    else
        s_queue.tail = nullptr;
    s_queue.count--;
    return l;
}

static void DrainQueue(void)
{
    while (MMChatLine* l = TakeLine()) delete l;
}

// ---------------------------------------------------------------- options

uint32_t MM_chat_pack_options(void)
{
    const MM_CHAT& c = MM_chat;
    uint32_t o = 0;
    if (c.givemoney) o |= MM_OPT_GIVEMONEY;
    if (c.viewresources) o |= MM_OPT_VIEWRESOURCES;
    if (c.allowvelkin) o |= MM_OPT_VELKIN;
    if (c.allowhandicap) o |= MM_OPT_HANDICAP;
    if (c.allowalliances == 0) o |= MM_OPT_TEAMS;
    if (c.fogstyle == 0 || c.fogstyle == 2) o |= MM_OPT_FOG;
    if (c.fogstyle == 0 || c.fogstyle == 1) o |= MM_OPT_SHROUD;
    if (c.startingunits) o |= MM_OPT_THREERIGS;
    if (c.locations_placement) o |= MM_OPT_FIXED;
    o |= (uint32_t)(c.locations_visible & 3) << MM_OPT_VISIBLE_SHIFT;
    if (c.minimap && c.minimap->ismap()) o |= MM_OPT_MINIMAP;
    o |= (uint32_t)(c.game_type & 3) << MM_OPT_TYPE_SHIFT;
    o |= (uint32_t)(c.map_category & 3) << MM_OPT_CATEGORY_SHIFT;
    return o;
}

// ---------------------------------------------------------------- the page

static QIDropList* Drop(const char* name, int x, int y, int openx, int w = 156, QIHANDLER fn = MM_chat_options_changed)
{
    const QIImage closed("drop.bmp", IRect(0, 0, w, 15), 0);
    const QIImage focus("drop.bmp", IRect(156, 0, w, 15), 0);
    const QIImage open("drop.bmp", IRect(312, 0, w, 15), 0);
    return new QIDropList(name, fn, IRect(x, y, w, 15), IRect(openx, y + 19, w - 5, 0), IPoint(w - 5, 13), closed,
                          focus, open, open);
}

static void AddEntries(QIDropList* list, int32_t* field, const char* const (*entries)[2], int n, const int* values)
{
    list->Clear();
    for (int k = 0; k < n; k++)
        list->Add(MM_chat_entry(Text(entries[k][0], entries[k][1]).c_str(), field, values ? values[k] : k));
}

static const char* const kGameType[][2] = {{"ChatGameTypeNormal", "Normal"}, {"ChatGameTypeCampaign", "Campaign"}};
static const char* const kGive[][2] = {{"ChatGiveMoneyOff", "Don't Give Money"}, {"ChatGiveMoneyOn", "Give Money"}};
static const char* const kView[][2] = {{"ChatViewResourcesOff", "Hide Allied Resources"},
                                       {"ChatViewResourcesOn", "View Allied Resources"}};
static const char* const kVelkin[][2] = {{"ChatAllowVelkinOff", "No Velkin Side"},
                                         {"ChatAllowVelkinOn", "Allow Velkin Side"}};
static const char* const kHandicap[][2] = {{"ChatHandicapsOff", "No Handicaps"}, {"ChatHandicapsOn", "Handicaps"}};
static const char* const kAlliances[][2] = {{"ChatAlliancesOff", "Teams"}, {"ChatAlliancesOn", "Alliances"}};
static const char* const kFog[][2] = {{"ChatFogStyleOnOn", "Fog On, Shroud On"},
                                      {"ChatFogStyleOffOn", "Fog Off, Shroud On"},
                                      {"ChatFogStyleOnOff", "Fog On, Shroud Off"},
                                      {"ChatFogStyleOffOff", "Fog Off, Shroud Off"}};
static const char* const kUnits[][2] = {{"ChatStartingUnitsDefault", "Default Units"},
                                        {"ChatStartingUnitsThreeRigs", "Three Rigs"}};
static const char* const kVisibleRandom[][2] = {{"ChatDisplayLocationsOff", "Disply Off"},
                                                {"ChatDisplayLocationsAll", "Show All"}};
static const int kVisibleRandomValues[] = {0, 3};
static const char* const kVisibleFixed[][2] = {{"ChatDisplayLocationsAvailable", "Show Available"},
                                               {"ChatDisplayLocationsAllies", "Show Allies"},
                                               {"ChatDisplayLocationsAll", "Show All"}};
static const int kVisibleFixedValues[] = {1, 2, 3};
static const char* const kDest[][2] = {{"ChatMessageDestinationPublic", "Public"},
                                       {"ChatMessageDestinationPrivate", "Private"},
                                       {"ChatMessageDestinationAllies", "Allies"},
                                       {"ChatMessageDestinationNeutral", "Neutral"},
                                       {"ChatMessageDestinationEnemy", "Enemy"},
                                       {"ChatMessageDestinationAddRule", "Add Rule"}};

static QIButton* SetuButton(const char* name, QIHANDLER fn, const IRect& r, const char* label)
{
    const QIImage face("mm_setu.bmp", r, 0);
    return new QIButton(name, fn, r, face, face, face, face, label, Font(MM_FONT_LABEL), Font(MM_FONT_LABELO),
                        Font(MM_FONT_LABELG));
}

static QIWidget* Caption(const char* name, const char* text, int x, int y, int w, int h, int slot)
{
    return new QIStatic(name, nullptr, IRect(x, y, w, h), text, Font(slot), QIJ_LEFT);
}

// A heading over a column or a box: its text a few rows down its
// rectangle, clear of the swatches and boxes just above it. A fitted one
// ends within the rectangle ("Credits" is wider than its own and ran into
// the edit beside it).
static QIWidget* Heading(const char* name, const char* text, int x, int y, int w = 100, int h = 16, bool fit = false)
{
    return Mm_Caption(name, text, IRect(x, y, w, h), MM_FONT_HEADING, IPoint(0, 3), fit);
}

static QIButton* ColourButton(const char* name, int i)
{
    const int x = 25 * i;
    return new QIButton(name, MM_chat_colour_pick, IRect(27 + 25 * i, 33, 25, 14),
                        QIImage("colour.bmp", IRect(x, 0, 25, 14), 0), QIImage("colour.bmp", IRect(x, 42, 25, 14), 0),
                        QIImage("colour.bmp", IRect(x, 28, 25, 14), 0), QIImage("colour.bmp", IRect(x, 14, 25, 14), 0),
                        "", nullptr, nullptr, nullptr);
}

static QIList* TextList(const char* name, const IRect& r)
{
    QITextList* l = new QITextList(name, nullptr, QIImage("MM_SETU.BMP", r, 0), r, IPoint(279, 13), 1, nullptr, nullptr);
    l->listFlags = 0;
    return l;
}

void MM_chat_init(QIWidget* backdrop)
{
    MM_CHAT& c = MM_chat;
    QILayer* page = new QILayer("MultiMenuChat", nullptr, IRect(0, 0, 640, 480), QIImage("MM_SETU.BMP", IRect(0, 0, 640, 480), 0));
    page->flags &= ~QIWF_SHOWN;
    QIWidget::AddChild(backdrop, page);
    s_layer = page;
    QIWidget::AddChild(page, new QIStatic("ChatStaticTitle", nullptr, IRect(220, 0, 200, 23), "Multi-Player Setup",
                                          Font(MM_FONT_TITLE), QIJ_CENTRE));
    QIWidget::AddChild(page, Heading("ChatStaticPlayer", "Player", 19, 47, 100, 23));
    QIWidget::AddChild(page, Heading("ChatStaticSide", "Side", 219, 47, 100, 23));
    c.title_alliance = static_cast<QIStatic*>(Heading("ChatStaticAlliance", "Alliances", 309, 47, 100, 23));
    QIWidget::AddChild(page, c.title_alliance);
    QIWidget::AddChild(page, Heading("ChatStaticHandicap", "Handicap", 369, 47, 100, 23));
    c.bar_messages = new QIMenu("ChatMessageBar", nullptr, &c.msg_dest);
    // The bar covers its buttons, so that a click finds them through it.
    c.bar_messages->Assign(IRect(MM_CHAT_PLAYERS_MESSAGE, MM_CHAT_PLAYERS_TOP, 12, (int)MM_CHAT_PLAYERS_HEIGHT * (int)NET_NODES));
    c.bar_messages->flags |= QIWF_HITTEST;
    for (int i = 0; i < NET_NODES; i++) {
        c.slots[i] = new MMChatSlot(i);
        QIWidget::AddChild(page, c.slots[i]->row);
        QIWidget::AddChild(c.bar_messages, c.slots[i]->btn_message);
    }
    QIWidget::AddChild(page, c.bar_messages);
    QIWidget::AddChild(page, ColourButton("ColourDefault", 0));
    for (int k = 0; k < NET_NODES; k++) {
        char name[16];
        snprintf(name, sizeof name, "Colour%d", k);
        c.colour_btns[k] = ColourButton(name, k + 1);
        // A colour in use keeps its button hidden from the page's first frame.
        Show(c.colour_btns[k], s_colourShown[k] != 0);
        QIWidget::AddChild(page, c.colour_btns[k]);
    }
    QIWidget::AddChild(page, Heading("ChatGameName", "GAME NAME", 463, 25));
    c.ed_game_name = new QIEdit("ChatGameNameEd", MM_chat_options_changed, IRect(459, 47, 155, 15), IPoint(5, 1), QIJ_LEFT,
                                &c.game_name, 0x4FFF, 0, MM_CHAT_GAME_NAME_MAX, 15, Font(MM_FONT_TEXT));
    QIWidget::AddChild(page, c.ed_game_name);
    QIWidget::AddChild(page, Heading("ChatGameType", "GAME TYPE", 463, 68));
    c.drp_game_type = Drop("ChatGameType", 458, 90, 468);
    AddEntries(c.drp_game_type, &c.game_type, kGameType, 2, nullptr);
    QIWidget::AddChild(page, Heading("ChatOptions", "OPTIONS", 463, 109));
    struct OPT {
        QIDropList** list;
        const char* name;
        int32_t* field;
        const char* const (*entries)[2];
        int n, y;
    } opts[] = {
        {&c.drp_giving, "ChatGiveMoney", &c.givemoney, kGive, 2, 132},
        {&c.drp_viewally, "ChatViewResources", &c.viewresources, kView, 2, 149},
        {&c.drp_allowvelkin, "ChatAllowVelkin", &c.allowvelkin, kVelkin, 2, 166},
        {&c.drp_allowhandicaps, "ChatHandicaps", &c.allowhandicap, kHandicap, 2, 183},
        {&c.drp_allowteams, "ChatHandicaps", &c.allowalliances, kAlliances, 2, 201},
    };
    for (const OPT& o : opts) {
        *o.list = Drop(o.name, 458, o.y, 463);
        AddEntries(*o.list, o.field, o.entries, o.n, nullptr);
    }
    QIWidget::AddChild(page, Heading("ChatMaps", "MAPS", 463, 217));
    c.btn_selectmap = SetuButton("ChatCurrentMap", MM_chat_select_map, IRect(458, 237, 156, 15), "Select Map");
    QIWidget::AddChild(page, c.btn_selectmap);
    c.maptext = new QIStatic("ChatCurrentMap", nullptr, IRect(463, 262, 155, 16), "", Font(MM_FONT_TEXT), QIJ_LEFT);
    QIWidget::AddChild(page, c.maptext);
    c.drp_fogstyle = Drop("ChatFogStyle", 458, 290, 463);
    AddEntries(c.drp_fogstyle, &c.fogstyle, kFog, 4, nullptr);
    QIWidget::AddChild(page, Heading("ChatStartingUnits", "STARTING UNITS", 463, 308));
    c.drp_startingunits = Drop("ChatStartingUnits", 458, 331, 468);
    AddEntries(c.drp_startingunits, &c.startingunits, kUnits, 2, nullptr);
    QIWidget::AddChild(page, Heading("ChatCredits", "Credits", 463, 353, 50, 16, true));
    c.ed_credits = new QIEdit("ChatCreditsEd", MM_chat_options_changed, IRect(515, 356, 90, 15), IPoint(5, 1), QIJ_LEFT, &c.credits, 2,
                              0, 8, 15, Font(MM_FONT_TEXT));
    QIWidget::AddChild(page, c.ed_credits);
    c.minimap = new MMScrollChatMiniMap("ChatMiniMap", page, IRect(323, 227, 128, 128));
    c.btn_startplacement = SetuButton("ChatRandomLocations", MM_chat_set_locations, IRect(319, 191, 136, 15),
                                      "Random Placement");
    QIWidget::AddChild(page, c.btn_startplacement);
    c.drp_startvisible = Drop("ChatDisplayLocations", 319, 208, 324, 136);
    AddEntries(c.drp_startvisible, &c.locations_visible, kVisibleRandom, 2, kVisibleRandomValues);
    c.btn_viewmap = SetuButton("ChatMiniMapViewer", MM_chat_show_minimap, IRect(319, 359, 136, 15), "Show Minimap");
    QIWidget::AddChild(page, c.btn_viewmap);
    QIWidget::AddChild(page, Caption("ChatRules", "Rules", 23, 169, 100, 16, MM_FONT_HEADING));
    c.rulelist = TextList("ChatRuleList", IRect(19, 190, 278, 61));
    QIWidget::AddChild(page, c.rulelist);
    c.rulelist->AttachVScroll(Mm_ScrollBar(IRect(297, 190, 16, 61)));
    QIWidget::AddChild(page, Caption("ChatMessages", "Messages", 23, 249, 100, 16, MM_FONT_HEADING));
    // The destination list sits left of the chat entry, opening upwards
    // over the messages.
    c.drp_message = Drop("ChatMessageDestination", 19, 361, 19, 86, nullptr);
    c.drp_message->openBox = IRect(19, 361 - 6 * 13, 81, 0);
    c.ed_message = new QIEdit("ChatMessageEntry", MM_chat_send_message, IRect(108, 359, 206, 19), IPoint(5, 3),
                              QIJ_LEFT, &c.message, 0x4FFF, 0, 32, 15, Font(MM_FONT_TEXT));
    QIWidget::AddChild(page, c.ed_message);
    c.msglist = TextList("ChatMsgList", IRect(19, 272, 278, 83));
    QIWidget::AddChild(page, c.msglist);
    c.msglist->AttachVScroll(Mm_ScrollBar(IRect(297, 272, 16, 83)));
    QIWidget::AddChild(page, Mm_BarButton("ChatBack", MM_chat_back, IRect(27, 414, 110, 32), "Previous Menu"));
    QIWidget::AddChild(page, Mm_BarButton("ChatMain", MM_chat_main, IRect(140, 414, 110, 32), "Main Menu"));
    g_QIButtonOffset = IPoint(0, 1);
    QIWidget::AddChild(page, new QIButton("ChatLauch", MM_chat_launch, IRect(266, 410, 110, 32),
                                          QIImage("LAUNCH.BMP", IRect(0, 0, 110, 32), 0),
                                          QIImage("LAUNCH.BMP", IRect(110, 0, 110, 32), 0),
                                          QIImage("LAUNCH.BMP", IRect(220, 0, 110, 32), 0),
                                          QIImage("LAUNCH.BMP", IRect(220, 0, 110, 32), 0), "LAUNCH",
                                          Font(MM_FONT_LABEL), Font(MM_FONT_LABELO), Font(MM_FONT_LABELG)));
    g_QIButtonOffset = IPoint(0, 0);
    c.btn_kick = Mm_BarButton("ChatKick", MM_chat_kick, IRect(506, 414, 110, 32), "Kick Player");
    QIWidget::AddChild(page, c.btn_kick);
    // The drop lists last: an opened one covers what lies below it.
    QIWidget::AddChild(page, c.drp_message);
    QIWidget::AddChild(page, c.drp_startingunits);
    QIWidget::AddChild(page, c.drp_fogstyle);
    QIWidget::AddChild(page, c.drp_startvisible);
    for (int k = 4; k >= 0; k--) QIWidget::AddChild(page, *opts[k].list);
    QIWidget::AddChild(page, c.drp_game_type);
}

QIWidget* MM_chat_page(void) { return s_layer; }

void MM_chat_forget(void)
{
    DrainQueue();
    MM_CHAT& c = MM_chat;
    for (MMChatSlot*& s : c.slots) {
        delete s; // its widgets went with the desktop
        s = nullptr;
    }
    c.title_alliance = nullptr;
    c.bar_messages = nullptr;
    for (QIButton*& b : c.colour_btns) b = nullptr;
    c.rulelist = c.msglist = nullptr;
    c.drp_message = nullptr;
    c.ed_message = nullptr;
    c.minimap = nullptr;
    c.maptext = nullptr;
    c.ed_game_name = c.ed_credits = nullptr;
    c.drp_game_type = c.drp_giving = c.drp_viewally = c.drp_allowvelkin = c.drp_allowhandicaps = c.drp_allowteams =
        nullptr;
    c.drp_fogstyle = c.drp_startingunits = c.drp_startvisible = nullptr;
    c.btn_selectmap = c.btn_startplacement = c.btn_viewmap = c.btn_kick = nullptr;
    s_layer = nullptr;
}

static void SelectValue(QIDropList* list, int32_t value)
{
    if (!list) return;
    for (int i = 0; QIGraphic* g = list->ItemAt(i); i++) {
        const QIGraphicText* t = dynamic_cast<const QIGraphicText*>(g);
        if (t && t->value == value) {
            list->SetCurrent(i);
            Redraw(list);
            return;
        }
    }
}

static void ShowOptionValues(void)
{
    MM_CHAT& c = MM_chat;
    SelectValue(c.drp_game_type, c.game_type);
    SelectValue(c.drp_giving, c.givemoney);
    SelectValue(c.drp_viewally, c.viewresources);
    SelectValue(c.drp_allowvelkin, c.allowvelkin);
    SelectValue(c.drp_allowhandicaps, c.allowhandicap);
    SelectValue(c.drp_allowteams, c.allowalliances);
    SelectValue(c.drp_fogstyle, c.fogstyle);
    SelectValue(c.drp_startingunits, c.startingunits);
    SelectValue(c.drp_startvisible, c.locations_visible);
}

void MM_chat_show_map(void)
{
    MM_CHAT& c = MM_chat;
    char path[GAME_PATH * 2];
    snprintf(path, sizeof path, "%s\\%s\\QUORVEX.mm", g_ScenarioCategoryDir, g_ScenarioName);
    Mm_Load(path);
    if (c.minimap) {
        c.minimap->set_locations(c.locations_visible);
        c.minimap->set_scenario(&MM_minimap);
        Redraw(c.minimap);
    }
    char text[41];
    snprintf(text, sizeof text, "%s %d x %d", g_ScenarioName, g_MultiScenario.size_x, g_MultiScenario.size_y);
    if (c.maptext) {
        c.maptext->SetText(text);
        Redraw(c.maptext); // over the page's picture: the old name must go
    }
    char credits[13];
    snprintf(credits, sizeof credits, "%d", g_MultiScenario.base_credits);
    Mm_SetEditText(c.ed_credits, credits);
}

static void HostControls(bool on)
{
    MM_CHAT& c = MM_chat;
    QIWidget* controls[] = {c.ed_game_name,     c.ed_credits,         c.drp_game_type,  c.drp_giving,
                            c.drp_viewally,     c.drp_allowvelkin,    c.drp_allowhandicaps, c.drp_allowteams,
                            c.btn_selectmap,    c.drp_fogstyle,       c.drp_startingunits,  c.btn_startplacement,
                            c.drp_startvisible, c.btn_viewmap};
    for (QIWidget* w : controls) Enable(w, on);
    Show(c.btn_kick, on);
}

void MM_chat_start(void)
{
    MM_CHAT& c = MM_chat;
    Mm_SetPoll(MM_chat_poll);
    DrainQueue();
    Net_SetMessageHandler(MM_chat_add_line);
    Net_SetKickHandler(MM_chat_kicked);
    c.kicked = 0;
    s_lastPing = Plat_SystemMs();
    NetSession session;
    NetGameSettings settings;
    Net_Lock();
    session = g_NetSession;
    settings = g_NetSettings;
    const int own = g_NetOwnNode;
    const bool creator = g_NetCreator != 0;
    Net_Unlock();
    for (int i = 0; i < NET_NODES; i++) {
        MMChatSlot* s = c.slots[i];
        if (!s) continue;
        s->option = AVAILABLE;
        Show(s->inner, false);
        Enable(s->drp_type, creator && i != own);
        s->drp_side->Disable();
        s->drp_team->Disable();
        Show(s->drp_team, false);
        s->drp_handicap->Disable();
        s->bar_alliance->SetCurrent(s->btn_neutral);
        Show(s->bar_alliance, i != own);
        s->side = s->team = 0;
        s->alliance = 1;
        s->handicap = 0;
        s->default_handicap = 100;
        s->FillTypes(false, nullptr);
        s->FillSides(true);
        s->drp_team->SetCurrent(0);
        s->drp_handicap->SetCurrent(0);
        memset(&s->cache, 0, sizeof s->cache);
        s->Redraw();
    }
    if (c.msglist) c.msglist->Clear();
    if (c.rulelist) c.rulelist->Clear();
    c.ruleno = 1;
    c.first_user_rule = 0;
    TextLines_Clear();
    c.msgdest = 0;
    c.msg_dest = own < NET_NODES ? own : 0;
    c.locations_placement = 0;
    c.locations_visible = 0;
    c.givemoney = c.viewresources = c.allowvelkin = 1;
    c.allowhandicap = 0;
    c.allowalliances = 1;
    c.fogstyle = c.startingunits = c.game_type = c.map_category = 0;
    if (c.btn_startplacement) c.btn_startplacement->title.Set("Random Placement");
    if (c.drp_startvisible) AddEntries(c.drp_startvisible, &c.locations_visible, kVisibleRandom, 2, kVisibleRandomValues);
    char name[NET_GAME_NAME_SIZE + 1];
    snprintf(name, sizeof name, "%.*s", NET_GAME_NAME_SIZE, session.name);
    Mm_SetEditText(c.ed_game_name, name);
    ShowOptionValues();
    if (own < NET_NODES && c.slots[own]) {
        char player[NET_NAME_SIZE + 1];
        snprintf(player, sizeof player, "%.*s", NET_NAME_SIZE, session.players[own].name);
        c.slots[own]->FillTypes(true, player);
    }
    if (c.drp_message) {
        AddEntries(c.drp_message, &c.msgdest, kDest, creator ? 6 : 5, nullptr);
        c.drp_message->SetCurrent(0);
    }
    Net_Lock();
    g_NetStaged.side = NET_NO_SIDE;
    g_NetStaged.team = NET_NO_TEAM;
    g_NetStaged.colour = NET_NO_COLOUR;
    g_NetStaged.handicap = 0;
    for (uint8_t& r : g_NetStaged.relations) r = NET_REL_NEUTRAL;
    g_NetStaged.reserved = 0;
    Net_Unlock();
    char scenario[sizeof g_ScenarioName];
    Str_CopySafe(scenario, g_ScenarioName, sizeof scenario);
    Game_SetScenarioName(scenario);
    if (c.minimap) c.minimap->set_locations(0);
    MM_chat_show_map();
    LoadRules(true);
    if (creator) {
        Net_Lock();
        g_NetSettings.options = MM_chat_pack_options();
        for (NetSessionPlayer& p : g_NetSession.players) p.flags &= ~NET_PLAYER_READY;
        snprintf(g_NetSettings.scenario, sizeof g_NetSettings.scenario, "%.12s", g_ScenarioName);
        g_NetSettings.credits = (uint32_t)g_MultiScenario.base_credits;
        Net_Unlock();
    }
    HostControls(creator);
    Redraw(s_layer);
    Net_SendPlayerState();
}

void MM_chat_enter_from(QIWidget* page)
{
    Mm_SetPoll(nullptr);
    MM_chat_start();
    Mm_SwitchPage(page, s_layer);
    if (!MM_menu.desktop) {
        Show(page, false);
        Show(s_layer, true);
    }
}

// The page's network state undone; the kick handler stays.
static void CloseSession(void)
{
    Mm_SetPoll(nullptr);
    Net_SetMessageHandler(nullptr);
    DrainQueue();
    Net_Close();
    Zeph_Shutdown();
}

void MM_chat_finish(void) { CloseSession(); }

// Back to the connection page.
static void Exit(void)
{
    CloseSession();
    Mm_SwitchPage(s_layer, MM_main_page());
    if (!MM_menu.desktop) {
        Show(s_layer, false);
        Show(MM_main_page(), true);
    }
}

// ---------------------------------------------------------------- the poll

static bool Differs(const NetNodeSettings& a, const NetNodeSettings& b)
{
    return a.side != b.side || a.team != b.team || a.group != b.group || a.colour != b.colour ||
           a.handicap != b.handicap || memcmp(a.relations, b.relations, sizeof a.relations) != 0 ||
           a.reserved != b.reserved;
}

static void SetColumnMode(bool alliances, int own)
{
    MM_CHAT& c = MM_chat;
    if (c.title_alliance)
        c.title_alliance->SetText(alliances ? Text("ChatAlliancesOn", "Alliances").c_str()
                                            : Text("ChatAlliancesOff", "Teams").c_str());
    for (int i = 0; i < NET_NODES; i++) {
        MMChatSlot* s = c.slots[i];
        if (!s) continue;
        Show(s->drp_team, !alliances);
        Enable(s->drp_team, !alliances && i == own);
        Show(s->bar_alliance, alliances && i != own);
        s->Redraw();
    }
}

// A guest follows the creator's options.
static void Mirror(const NetSession& session, const NetGameSettings& settings, int own)
{
    MM_CHAT& c = MM_chat;
    const uint32_t o = settings.options;
    if (c.ed_credits && (uint32_t)strtoul(c.ed_credits->buffer, nullptr, 10) != settings.credits) {
        char t[51];
        snprintf(t, sizeof t, "%u", (unsigned)settings.credits);
        Mm_SetEditText(c.ed_credits, t);
    }
    char name[NET_GAME_NAME_SIZE + 1];
    snprintf(name, sizeof name, "%.*s", NET_GAME_NAME_SIZE, session.name);
    if (c.ed_game_name && strcmp(c.ed_game_name->buffer, name) != 0) Mm_SetEditText(c.ed_game_name, name);
    auto follow = [](int32_t* field, int32_t v, QIDropList* list) {
        if (*field == v) return false;
        *field = v;
        SelectValue(list, v);
        return true;
    };
    follow(&c.game_type, (o >> MM_OPT_TYPE_SHIFT) & 3, c.drp_game_type);
    const int32_t category = (o >> MM_OPT_CATEGORY_SHIFT) & 3;
    if (c.map_category != category) {
        c.map_category = category;
        Game_SetScenarioCategory(category ? SC_CAMPAIGN : SC_MULTI);
    }
    follow(&c.givemoney, (o & MM_OPT_GIVEMONEY) != 0, c.drp_giving);
    follow(&c.viewresources, (o & MM_OPT_VIEWRESOURCES) != 0, c.drp_viewally);
    if (follow(&c.allowvelkin, (o & MM_OPT_VELKIN) != 0, c.drp_allowvelkin))
        for (MMChatSlot* s : c.slots)
            if (s) s->FillSides(c.allowvelkin != 0);
    if (follow(&c.allowhandicap, (o & MM_OPT_HANDICAP) != 0, c.drp_allowhandicaps))
        for (MMChatSlot* s : c.slots)
            if (s) {
                s->handicap = 0;
                s->drp_handicap->SetCurrent(0);
            }
    if (follow(&c.allowalliances, (o & MM_OPT_TEAMS) == 0, c.drp_allowteams)) SetColumnMode(c.allowalliances != 0, own);
    const bool fog = o & MM_OPT_FOG, shroud = o & MM_OPT_SHROUD;
    follow(&c.fogstyle, fog && shroud ? 0 : shroud ? 1 : fog ? 2 : 3, c.drp_fogstyle);
    if (follow(&c.startingunits, (o & MM_OPT_THREERIGS) != 0, c.drp_startingunits) && own < NET_NODES &&
        c.slots[own]) {
        Enable(c.slots[own]->drp_side, c.startingunits != 0);
        if (!c.startingunits) {
            // The creator reset every side: a later state of ours must not
            // bring the old one back.
            Net_Lock();
            g_NetStaged.side = NET_NO_SIDE;
            Net_Unlock();
        }
    }
    if (c.locations_placement != ((o & MM_OPT_FIXED) != 0)) MM_chat_set_locations(nullptr, QIN_CLICKED, 0);
    const int32_t visible = (o >> MM_OPT_VISIBLE_SHIFT) & 3;
    if (c.locations_visible != visible) {
        c.locations_visible = visible;
        if (c.minimap) c.minimap->set_locations(visible);
        if (c.drp_startvisible)
            c.drp_startvisible->SetCurrent(c.locations_placement ? visible - 1 : visible == 3 ? 1 : 0);
        Redraw(c.minimap);
        Redraw(c.drp_startvisible);
    }
    char scenario[NET_SCENARIO_SIZE + 1];
    snprintf(scenario, sizeof scenario, "%.*s", NET_SCENARIO_SIZE, settings.scenario);
    if (scenario[0] && strcmp(scenario, g_ScenarioName) != 0) {
        Game_SetScenarioCategory(c.map_category ? SC_CAMPAIGN : SC_MULTI);
        Game_SetScenarioName(scenario);
        MM_chat_show_map();
        MM_chat_reload_rules();
    }
    if ((o & MM_OPT_MINIMAP) && c.minimap && !c.minimap->ismap()) {
        c.minimap->enable_minimap();
        Redraw(c.minimap);
    }
}

static void TakeLines(void)
{
    MM_CHAT& c = MM_chat;
    while (MMChatLine* l = TakeLine()) {
        if ((uint8_t)l->text[0] == MM_CHAT_RULE_MARK) {
            TakeRule(l->text);
        } else if (c.msglist) {
            c.msglist->Add(new QITextItem(Font(MM_FONT_TEXT), l->text));
            c.msglist->ScrollToEnd();
            Mm_RedrawList(c.msglist);
        }
        delete l;
    }
}

void MM_chat_poll(void)
{
    MM_CHAT& c = MM_chat;
    ZEPH_poll();
    const uint32_t now = Plat_SystemMs();
    if (now - s_lastPing > MM_CHAT_PING_MS) {
        Net_PingAll();
        s_lastPing = now;
    }
    if (c.kicked) {
        Mm_PopError(&MM_menu, "ChatKickedOut", "You have been kicked from the game");
        Exit();
        return;
    }
    Net_Lock();
    const int launched = g_NetLaunched;
    Net_Unlock();
    if (launched) {
        Net_EndSession();
        MM_chat_update_game();
        // The game's own handlers come with it: nothing more reaches the
        // queue, which the rest of this pass empties.
        Net_SetMessageHandler(nullptr);
        Mm_SetPoll(nullptr);
        Mm_Leave(GS_NEWGAME);
    }
    NetSession session;
    NetGameSettings settings;
    Net_Lock();
    session = g_NetSession;
    settings = g_NetSettings;
    const int own = g_NetOwnNode;
    const bool creator = g_NetCreator != 0;
    Net_Unlock();
    if (creator && !launched) {
        const uint32_t credits = c.ed_credits ? (uint32_t)strtoul(c.ed_credits->buffer, nullptr, 10) : settings.credits;
        if (credits != settings.credits) {
            Net_Lock();
            g_NetSettings.credits = credits;
            Net_Unlock();
            settings.credits = credits;
            Net_SendPlayerState();
        }
    } else if (!creator) {
        Mirror(session, settings, own);
    }
    TakeLines();
    bool changed = false;
    for (int n = 0; n < NET_NODES; n++) {
        MMChatSlot* s = c.slots[n];
        if (!s) continue;
        const bool active = n < NET_NODES && (session.players[n].flags & NET_PLAYER_ACTIVE);
        if (active) {
            const int ready = (session.players[n].flags & NET_PLAYER_READY) != 0;
            const int type = settings.slottypes[n];
            if (!Differs(s->cache, settings.node[n]) && s->ready == ready && s->option == type &&
                !QIWidget::IsHidden(s->inner) == !QIWidget::IsHidden(s->row))
                continue;
            if (type == HUMAN && s->option != HUMAN && n != own && !launched) MM_chat_send_rules(n);
            s->Refresh(session, settings);
            changed = true;
        } else if (n == 0 && !launched) {
            Mm_PopError(&MM_menu, "ChatWarningGameCreatorQuit", "Game Creator has Quit");
            Exit();
            return;
        } else if (s->option != AVAILABLE) {
            s->Reset(settings);
            changed = true;
        }
    }
    if (changed) Redraw(c.minimap);
    for (int k = 0; k < NET_NODES; k++) {
        bool used = false;
        for (int n = 0; n < NET_NODES; n++)
            if ((session.players[n].flags & NET_PLAYER_ACTIVE) && settings.node[n].colour == k) used = true;
        QIButton* b = c.colour_btns[k];
        if (used == !s_colourShown[k]) continue;
        s_colourShown[k] = !used;
        if (!b) continue;
        if (MM_menu.desktop && !QIWidget::IsHidden(s_layer))
            used ? MM_menu.desktop->HideWidget(b) : MM_menu.desktop->ShowWidget(b);
        else
            Show(b, !used);
    }
}

// Every colour button starts shown with the program.
static struct COLOURS_SHOWN {
    COLOURS_SHOWN() { memset(s_colourShown, 1, sizeof s_colourShown); }
} s_coloursShown;

// ---------------------------------------------------------------- commands

int MM_chat_row_changed(QIWidget*, int code, QIARG arg)
{
    if (code == QIN_CHANGED) {
        const QIPointer* p = reinterpret_cast<const QIPointer*>(arg);
        if (p && (p->buttons & 1)) return 0;
    } else if (code != QIN_DROPCLOSE) {
        return 0;
    }
    MM_CHAT& c = MM_chat;
    Net_Lock();
    const int own = g_NetOwnNode;
    if (g_NetCreator) {
        for (int i = 0; i < NET_NODES; i++) {
            MMChatSlot* s = c.slots[i];
            // A node outside the session is a free place whatever its slot says.
            const int type = Net_IsNodeInSession(i) ? (int)g_NetSettings.slottypes[i] : (int)AVAILABLE;
            if (!s || s->option == type) continue;
            if (s->option == AVAILABLE) {
                g_NetSession.players[i].flags &= ~NET_PLAYER_ACTIVE;
                g_NetSettings.slottypes[i] = AVAILABLE;
            } else if (s->option >= 1 && s->option <= 3) {
                g_NetSession.players[i].flags |= NET_PLAYER_ACTIVE;
                g_NetSettings.slottypes[i] = (uint8_t)s->option;
            }
            s->FillTypes(false, nullptr);
            break;
        }
    }
    if (own < NET_NODES && c.slots[own]) {
        const MMChatSlot* mine = c.slots[own];
        if (mine->side >= 0 && mine->side <= 3) g_NetStaged.side = (int8_t)(mine->side - 1);
        if (mine->team >= 0 && mine->team <= 8) g_NetStaged.group = (uint8_t)mine->team;
    }
    static const uint8_t kRel[3] = {NET_REL_ENEMY, NET_REL_NEUTRAL, NET_REL_ALLY};
    for (int j = 0; j < NET_NODES; j++)
        if (c.slots[j] && c.slots[j]->alliance >= 0 && c.slots[j]->alliance <= 2)
            g_NetStaged.relations[j] = kRel[c.slots[j]->alliance];
    if (g_NetCreator && own < NET_NODES) {
        g_NetStaged.handicap = (uint8_t)c.slots[own]->handicap;
        for (int n = 0; n < NET_NODES; n++)
            if (c.slots[n]) g_NetSettings.node[n].handicap = (uint8_t)c.slots[n]->handicap;
    }
    Net_Unlock();
    Net_SendPlayerState();
    return 0;
}

int MM_chat_back(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    Exit();
    return 0;
}

int MM_chat_main(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    CloseSession();
    Mm_SwitchPage(s_layer, nullptr);
    Mm_Leave(GS_FRONTEND);
    return 0;
}

static int SlotType(int n)
{
    Net_Lock();
    const int t = n >= 0 && n < NET_NODES ? (int)g_NetSettings.slottypes[n] : (int)AVAILABLE;
    const int active = Net_IsNodeInSession(n);
    Net_Unlock();
    return active ? t : AVAILABLE;
}

int MM_chat_kick(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED || !g_NetCreator) return 0;
    const int n = MM_chat.msg_dest;
    if (SlotType(n) != HUMAN)
        MM_chat_add_message("[No Human Player Selected]", MM_CHAT_REFUSAL);
    else if (n == g_NetOwnNode)
        MM_chat_add_message("[You Cannot Kick Yourself]", MM_CHAT_REFUSAL);
    else
        Net_Kick(n);
    return 0;
}

static void GiveBackKeyboard(void)
{
    if (MM_menu.desktop && MM_chat.ed_message) MM_menu.desktop->SetCapture(MM_chat.ed_message, true);
}

static void ClearEntry(void)
{
    Mm_SetEditText(MM_chat.ed_message, "");
}

static void SendToGroup(const char* text, int dest)
{
    static const uint8_t kRel[3] = {NET_REL_ALLY, NET_REL_NEUTRAL, NET_REL_ENEMY};
    static const char* const kSent[3][2] = {{"ChatMessageAllyDestination", "[ALLIES] %s"},
                                            {"ChatMessageNeutralDestination", "[NEUTRAL] %s"},
                                            {"ChatMessageEnemyDestination", "[ENEMY] %s"}};
    static const char* const kNone[3][2] = {{"ChatMessageNoAllyDestination", "[You have no Allies]"},
                                            {"ChatMessageNoNeutralDestination", "[You are neutral to no one]"},
                                            {"ChatMessageNoEnemyDestination", "[You have no Enemies]"}};
    const int g = dest - MM_DEST_ALLIES;
    const int own = g_NetOwnNode;
    const MMChatSlot* mine = own < NET_NODES ? MM_chat.slots[own] : nullptr;
    int sent = 0;
    for (int j = 0; j < NET_NODES && mine; j++) {
        if (j == own || SlotType(j) != HUMAN || mine->cache.relations[j] != kRel[g]) continue;
        sent += Net_SendMessage(j, text);
    }
    if (sent) {
        QIString line;
        QI_Text(kSent[g][0], &line, kSent[g][1], text);
        MM_chat_add_message(line.c_str(), 2);
        ClearEntry();
    } else {
        MM_chat_add_message(Text(kNone[g][0], kNone[g][1]).c_str(), MM_CHAT_REFUSAL);
    }
}

int MM_chat_send_message(QIWidget*, int code, QIARG)
{
    if (code != QIN_ENTER) return 0;
    MM_CHAT& c = MM_chat;
    char text[MM_CHAT_LINE_MAX + 1];
    snprintf(text, sizeof text, "%s", c.ed_message ? c.ed_message->buffer : "");
    if (!text[0]) {
        GiveBackKeyboard();
        return 0;
    }
    char line[MM_CHAT_LINE_MAX * 2]; // cut to a line's length where it is shown or sent
    switch (c.msgdest) {
    case MM_DEST_PUBLIC:
        Net_BroadcastMessage(text);
        if ((uint8_t)text[0] == MM_CHAT_RULE_MARK)
            snprintf(line, sizeof line, "%s", text);
        else
            snprintf(line, sizeof line, "%.*s> %s", NET_NAME_SIZE - 1, g_NetPlayerName, text);
        line[MM_CHAT_LINE_MAX] = 0;
        MM_chat_queue_line(line);
        ClearEntry();
        break;
    case MM_DEST_PRIVATE:
        if (SlotType(c.msg_dest) != HUMAN) {
            MM_chat_add_message("[No Human Player Selected]", MM_CHAT_REFUSAL);
            break;
        }
        Net_Lock();
        snprintf(line, sizeof line, "[%.*s] %s", NET_NAME_SIZE, g_NetSession.players[c.msg_dest].name, text);
        Net_Unlock();
        line[MM_CHAT_LINE_MAX] = 0;
        MM_chat_add_message(line, 4);
        Net_SendMessage(c.msg_dest, text);
        ClearEntry();
        break;
    case MM_DEST_ALLIES:
    case MM_DEST_NEUTRAL:
    case MM_DEST_ENEMY: SendToGroup(text, c.msgdest); break;
    case MM_DEST_RULE:
        if (!g_NetCreator) break;
        TextLines_AddSorted(text, c.ruleno);
        snprintf(line, sizeof line, "%c%.3d%s", (char)MM_CHAT_RULE_MARK, (int)c.ruleno, text);
        line[MM_CHAT_LINE_MAX] = 0;
        Net_BroadcastMessage(line);
        if (c.rulelist) {
            c.rulelist->InsertSorted(new MMChatRule(Font(MM_FONT_TEXT), text, c.ruleno));
            Mm_RedrawList(c.rulelist);
        }
        c.ruleno++;
        ClearEntry();
        break;
    default: break;
    }
    GiveBackKeyboard();
    return 0;
}

int MM_chat_send_launch(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    Net_SendLaunch();
    return 0;
}

// Random start locations for the active nodes, each a usable slot of its
// own, into settings; 0 (nothing written) when there are fewer usable slots
// than nodes.
static int PlaceAtRandom(const NetSession& session, NetGameSettings* settings)
{
    int usable = 0, nodes = 0;
    for (int t = 0; t < NET_NODES; t++) usable += g_MultiScenario.teams[t].units != 0 || g_MultiScenario.teams[t].buildings != 0;
    for (int n = 0; n < NET_NODES; n++) nodes += (session.players[n].flags & NET_PLAYER_ACTIVE) != 0;
    if (nodes > usable) return 0;
    uint8_t taken[NET_NODES] = {};
    for (int n = 0; n < NET_NODES; n++) {
        if (!(session.players[n].flags & NET_PLAYER_ACTIVE)) continue;
        int r = Rand_NextLocal(8);
        for (int k = 0; k < NET_NODES; k++, r = (r + 1) % 8) {
            const MULTI_scenario_team& t = g_MultiScenario.teams[r];
            if (!taken[r] && (t.units != 0 || t.buildings != 0)) break;
        }
        taken[r] = 1;
        settings->node[n].team = (uint8_t)r;
    }
    return 1;
}

struct LAUNCHCHECK {
    NetSession session;
    NetGameSettings settings;
    int own;
};

// The launch's teams for the check alone: the log's "Launched team" lines
// are the launch's own, alike on every node.
static void LaunchTeams(void* arg)
{
    LAUNCHCHECK* c = static_cast<LAUNCHCHECK*>(arg);
    const unsigned mask = Tlog_GetMask();
    Tlog_Enable(TLOG_SETUP, 0);
    MM_chat_update_game_from(&c->session, &c->settings, c->own);
    Tlog_SetMask(mask);
}

// The chosen scenario read by the start's own load with the teams the launch
// would give: a broken one is refused here, on the page where it was
// chosen, before every node leaves for a game that can't start.
static bool ScenarioRefused(const std::string& heading, const LAUNCHCHECK& launch)
{
    LAUNCHCHECK copy = launch; // the launch's set-up works on its own blocks
    char why[GAME_PATH + 320];
    const char* caughtAs = Error_SetCaughtAs("Refused start");
    const int loads = Game_CheckScenario(LaunchTeams, &copy, why, sizeof why);
    Error_SetCaughtAs(caughtAs);
    if (loads) return false;
    TLOG(TLOG_ERROR, "Scenario [%s] not started: %s", g_ScenarioName, why);
    MM_chat_add_message(heading.c_str(), 6);
    // The page's lines are short: a text file goes by its name, so that its
    // line and the reason stay on the page; the log has the whole path.
    const char* line = strstr(why, " line ");
    const char* name = why;
    for (const char* c = why; line && c < line; c++)
        if (*c == '/') name = c + 1;
    MM_chat_add_message(name, MM_CHAT_REFUSAL);
    return true;
}

int MM_chat_launch(QIWidget* widget, int code, QIARG arg)
{
    if (code != QIN_CLICKED) return 0;
    if (!g_NetCreator) return MM_chat_send_launch(widget, code, arg);
    LAUNCHCHECK launch;
    Net_Lock();
    launch.session = g_NetSession;
    launch.settings = g_NetSettings;
    launch.own = g_NetOwnNode;
    Net_Unlock();
    const NetSession& session = launch.session;
    NetGameSettings& settings = launch.settings;
    const std::string heading = Text("ChatLaunchNotPossible", "Launch Not Possible");
    for (int n = 0; n < NET_NODES; n++) {
        if (n == launch.own || !(session.players[n].flags & NET_PLAYER_ACTIVE) || settings.slottypes[n] != HUMAN)
            continue;
        if (session.players[n].flags & NET_PLAYER_READY) continue;
        MM_chat_add_message(heading.c_str(), 6);
        MM_chat_add_message(Text("ChatLaunchNoAllLaunch", "Not all players are ready to launch").c_str(), MM_CHAT_REFUSAL);
        return 0;
    }
    const bool random = MM_chat.locations_placement == 0;
    if (random && !PlaceAtRandom(session, &settings)) {
        MM_chat_add_message(heading.c_str(), 6);
        MM_chat_add_message(Text("ChatLaunchTooFewLocations", "Not enough start locations").c_str(), MM_CHAT_REFUSAL);
        return 0;
    }
    bool refused = false;
    for (int n = 0; n < NET_NODES && !random; n++) {
        if (!(session.players[n].flags & NET_PLAYER_ACTIVE) || settings.node[n].team < NET_NODES) continue;
        if (!refused) MM_chat_add_message(heading.c_str(), 6);
        refused = true;
        QIString line;
        char name[NET_NAME_SIZE + 1];
        snprintf(name, sizeof name, "%.*s", NET_NAME_SIZE, session.players[n].name);
        QI_Text("ChatLaunchNoStartLocation", &line, "%s has not selected a start location", name);
        MM_chat_add_message(line.c_str(), MM_CHAT_REFUSAL);
    }
    if (refused || ScenarioRefused(heading, launch)) return 0;
    // The drawn locations go out with the launch; a refused one keeps none.
    if (random) {
        Net_Lock();
        for (int n = 0; n < NET_NODES; n++)
            if (session.players[n].flags & NET_PLAYER_ACTIVE) g_NetSettings.node[n].team = settings.node[n].team;
        Net_Unlock();
    }
    Net_HostLaunch();
    return 0;
}

int MM_chat_colour_pick(QIWidget* widget, int code, QIARG)
{
    if (code != QIN_CLICKED || !widget) return 0;
    int colour = NET_NO_COLOUR;
    for (int k = 0; k < NET_NODES; k++)
        if (widget == MM_chat.colour_btns[k]) colour = k;
    const int dest = MM_chat.msg_dest;
    Net_Lock();
    const bool computer = g_NetCreator && dest >= 0 && dest < NET_NODES && g_NetSettings.slottypes[dest] >= 1 &&
                          g_NetSettings.slottypes[dest] <= 3;
    if (computer)
        g_NetSettings.node[dest].colour = (uint8_t)colour;
    else
        g_NetStaged.colour = (uint8_t)colour;
    Net_Unlock();
    Net_SendPlayerState();
    return 0;
}

int MM_chat_set_locations(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED) return 0;
    MM_CHAT& c = MM_chat;
    const bool fixed = c.locations_placement == 0;
    c.locations_placement = fixed;
    c.locations_visible = fixed ? 1 : 0;
    if (c.minimap) c.minimap->set_locations(c.locations_visible);
    if (c.btn_startplacement) c.btn_startplacement->title.Set(fixed ? "Fixed Placement" : "Random Placement");
    if (c.drp_startvisible) {
        if (fixed)
            AddEntries(c.drp_startvisible, &c.locations_visible, kVisibleFixed, 3, kVisibleFixedValues);
        else
            AddEntries(c.drp_startvisible, &c.locations_visible, kVisibleRandom, 2, kVisibleRandomValues);
        c.drp_startvisible->SetCurrent(0);
    }
    Redraw(c.btn_startplacement);
    Redraw(c.drp_startvisible);
    Redraw(c.minimap);
    MM_chat_options_changed(nullptr, QIN_CHANGED, 0);
    return 0;
}

// ---------------------------------------------------------------- the creator's options

int MM_chat_options_changed(QIWidget*, int code, QIARG arg)
{
    if (!g_NetCreator) return 0;
    MM_CHAT& c = MM_chat;
    if (code == QIN_ENTER) {
        Net_Lock();
        snprintf(g_NetSession.name, sizeof g_NetSession.name, "%s", c.ed_game_name ? c.ed_game_name->buffer : "");
        Net_Unlock();
        Net_BroadcastSession();
        const uint32_t credits = c.ed_credits ? (uint32_t)strtoul(c.ed_credits->buffer, nullptr, 10) : 0;
        Net_Lock();
        const bool differs = c.ed_credits && credits != g_NetSettings.credits;
        if (differs) g_NetSettings.credits = credits;
        Net_Unlock();
        if (differs) Net_SendPlayerState();
        return 0;
    }
    if (code == QIN_CHANGED) {
        // A drop list still held open by the pointer: its choice is not made yet.
        const QIPointer* p = reinterpret_cast<const QIPointer*>(arg);
        if (p && (p->buttons & 1)) return 0;
    } else if (code != QIN_DROPCLOSE) {
        return 0;
    }
    const uint32_t o = MM_chat_pack_options();
    Net_Lock();
    if (c.ed_credits) g_NetSettings.credits = (uint32_t)strtoul(c.ed_credits->buffer, nullptr, 10);
    const uint32_t was = g_NetSettings.options;
    const int own = g_NetOwnNode;
    Net_Unlock();
    const uint32_t changed = o ^ was;
    if (changed & MM_OPT_VELKIN)
        for (MMChatSlot* s : c.slots)
            if (s) {
                s->FillSides(c.allowvelkin != 0);
                s->Redraw();
            }
    if (changed & MM_OPT_HANDICAP)
        for (MMChatSlot* s : c.slots) {
            if (!s) continue;
            if (!c.allowhandicap) {
                s->handicap = 0;
                s->drp_handicap->SetCurrent(0);
            }
            Enable(s->drp_handicap, c.allowhandicap != 0);
            s->Redraw();
        }
    if (changed & MM_OPT_TEAMS) SetColumnMode(c.allowalliances != 0, own);
    if ((changed & MM_OPT_THREERIGS) && own < NET_NODES && c.slots[own]) {
        Enable(c.slots[own]->drp_side, c.startingunits != 0);
        Redraw(c.slots[own]->drp_side);
    }
    Net_Lock();
    if ((changed & MM_OPT_THREERIGS) && !c.startingunits) {
        // Every side back to the default at once; the creator's own staged
        // side too, or its next state would bring its old one back.
        for (NetNodeSettings& n : g_NetSettings.node) n.side = NET_NO_SIDE;
        g_NetStaged.side = NET_NO_SIDE;
    }
    if (changed & MM_OPT_HANDICAP && !c.allowhandicap) {
        for (NetNodeSettings& n : g_NetSettings.node) n.handicap = 0;
        g_NetStaged.handicap = 0;
    }
    g_NetSettings.options = o;
    snprintf(g_NetSettings.scenario, sizeof g_NetSettings.scenario, "%.12s", g_ScenarioName);
    Net_Unlock();
    if (c.minimap) {
        c.minimap->set_locations(c.locations_visible);
        Redraw(c.minimap);
    }
    Net_SendPlayerState();
    return 0;
}

int MM_chat_show_minimap(QIWidget*, int code, QIARG)
{
    if (code != QIN_CLICKED || !MM_chat.minimap) return 0;
    MM_chat.minimap->enable_minimap();
    Redraw(MM_chat.minimap);
    MM_chat_options_changed(nullptr, QIN_CHANGED, 0);
    return 0;
}
