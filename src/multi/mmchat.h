// The staging page "MultiMenuChat": where the players of a network game
// meet before the launch.
//
// Eight rows follow the session's nodes (row n is node n). Each machine
// edits only its own choices (on the creator also the free and computer
// rows and every handicap), writes them into its staged record or the
// settings block and sends them; the rows are redrawn from what comes back.
// The per-frame poll copies the session and settings blocks under the
// network lock and works from the copies, so the lock is never held while
// the page's own queue lock is taken: the network dispatcher calls
// MM_chat_add_line under the network lock, and the two locks must never be
// taken in the other order.
//
// Received lines go through a queue filled on the network thread and
// drained by the poll in arrival order. Rule lines (the mark byte, three
// digits, the text) go into the rules list sorted by number; a rule already
// held (same number and text) is not added again, as every machine sends
// its rules to a newcomer.
//
// The LAUNCH reaching a machine ends the session there; the settings then
// become the teams (MM_chat_update_game) and the menus end for a new game.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "net/net.h"
#include "widgets/qibutton.h"
#include "widgets/qidroplist.h"
#include "widgets/qiitem.h"
#include "widgets/qistatic.h"
#include "widgets/qistring.h"

class QIEdit;
class QILayer;
class QIMenu;

enum {
    MM_CHAT_PLAYERS_NAME = 19,
    MM_CHAT_PLAYERS_MESSAGE = 200,
    MM_CHAT_PLAYERS_SIDE = 219,
    MM_CHAT_PLAYERS_ALLIANCE = 309,
    MM_CHAT_PLAYERS_HANDICAP = 369,
    MM_CHAT_PLAYERS_WIDTH = 450,
    MM_CHAT_PLAYERS_HEIGHT = 13,
    MM_CHAT_PLAYERS_OFFSET = 1,
    MM_CHAT_PLAYERS_TOP = 68,
    MM_CHAT_LINE_MAX = 80,
    MM_CHAT_RULE_MARK = 0xB7,
    MM_CHAT_REFUSAL = 100, // the colour of MM_chat_add_message for a refused command
    MM_CHAT_RULE_WIDTH = 279,
    MM_CHAT_PING_MS = 1000,
    MM_CHAT_GAME_NAME_MAX = NET_GAME_NAME_SIZE - 1, // the session name's 23 characters
    MM_CHAT_HANDICAPS = 21,
};

// Row types; the slot types of the settings block share the values.
enum MODE { HUMAN = 0, COMPUTER_EASY = 1, COMPUTER_MEDIUM = 2, COMPUTER_HARD = 3, AVAILABLE = 4, CLOSED = 5 };

// Chat destinations.
enum { MM_DEST_PUBLIC, MM_DEST_PRIVATE, MM_DEST_ALLIES, MM_DEST_NEUTRAL, MM_DEST_ENEMY, MM_DEST_RULE };

// Option bits of the settings block.
enum : uint32_t {
    MM_OPT_GIVEMONEY = 1u << 0,
    MM_OPT_VIEWRESOURCES = 1u << 1,
    MM_OPT_VELKIN = 1u << 2,
    MM_OPT_HANDICAP = 1u << 3,
    MM_OPT_TEAMS = 1u << 4,
    MM_OPT_FOG = 1u << 5,
    MM_OPT_SHROUD = 1u << 6,
    MM_OPT_THREERIGS = 1u << 7,
    MM_OPT_FIXED = 1u << 8,
    MM_OPT_VISIBLE_SHIFT = 9,
    MM_OPT_MINIMAP = 1u << 11,
    MM_OPT_TYPE_SHIFT = 12,
    MM_OPT_CATEGORY_SHIFT = 14,
};

// The thumbnail with the start locations; a click picks one under fixed
// placement.
class MMScrollChatMiniMap : public QIStatic {
public:
    uint8_t map_on = 0;
    int32_t minimap_x = 0, minimap_y = 0;
    int32_t locations_type = 0;
    const BITMAP* picture = nullptr;

    MMScrollChatMiniMap(const char* name, QIWidget* parent, const IRect& r);
    void Draw(const IRect* clip) override;
    // The left press (3) picks a location; the rest as the base.
    int HandleInput(QIWidget** path, int kind, QIARG pointer) override;
    void enable_minimap(void) { map_on = 1; }
    void disable_minimap(void) { map_on = 0; }
    // Hides the picture, takes it and centres it (halves toward zero).
    void set_scenario(const BITMAP* pic);
    void set_locations(int type) { locations_type = type; }
    bool ismap(void) const { return map_on != 0; }
};

// A line of the rules list, kept in order of its rule number.
class MMChatRule : public QITextItem {
public:
    int32_t order;
    MMChatRule(const QIFont* f, const char* text, int32_t number);
    int Height(void) override;
    int Width(void) override;
    // 0 (other after this) unless this order is greater.
    int Compare(QIGraphic* other) override;
};

// An alliance button with the mark of the other player's view.
class MMChatAlliance : public QIButton {
public:
    int32_t reverse = 0;
    MMChatAlliance(const char* name, const IRect& r, int column);
    void Draw(const IRect* clip) override;
};

// One player row.
class MMChatSlot {
public:
    int32_t option = AVAILABLE;
    int32_t index;
    int32_t side = -1, team = -1, alliance = 1, handicap = 0, default_handicap = 100;
    NetNodeSettings cache{};
    QIWidget* row;          // "MultiMenuChatRow"
    QIWidget* inner;        // its settings, shown while the node is active
    QIDropList* drp_type;
    QIDropList* drp_side;
    QIDropList* drp_team;
    QIDropList* drp_handicap;
    QIGraphicText* type_entry = nullptr;
    QIMenu* bar_alliance;
    MMChatAlliance* btn_enemy;
    MMChatAlliance* btn_neutral;
    MMChatAlliance* btn_ally;
    QIStatic* img_launch;
    QIButton* btn_message;
    int32_t ready = 0;      // the ready light as shown

    explicit MMChatSlot(int n);
    // The row from the node's record, type and ready bit (poll copies).
    void Refresh(const NetSession& session, const NetGameSettings& settings);
    // A free place again.
    void Reset(const NetGameSettings& settings);
    // The type list's entries of a free or computer row, or the one human entry.
    void FillTypes(bool human, const char* name);
    void FillSides(bool velkin);
    void Redraw(void);
};

struct MM_CHAT {
    MMChatSlot* slots[NET_NODES];
    QIStatic* title_alliance;
    QIMenu* bar_messages;
    int32_t msg_dest;
    std::atomic<int> kicked;
    QIButton* colour_btns[NET_NODES];
    QIList* rulelist;
    int32_t ruleno;
    int32_t first_user_rule;
    QIDropList* drp_message;
    QIList* msglist;
    QIEdit* ed_message;
    QIString message;
    int32_t msgdest;
    MMScrollChatMiniMap* minimap;
    QIStatic* maptext;
    QIString game_name;
    int32_t game_type, map_category, givemoney, viewresources, allowvelkin, allowhandicap, allowalliances,
        fogstyle, startingunits, locations_placement, locations_visible;
    QIString credits;
    QIEdit* ed_game_name;
    QIEdit* ed_credits;
    QIDropList* drp_game_type;
    QIDropList* drp_giving;
    QIDropList* drp_viewally;
    QIDropList* drp_allowvelkin;
    QIDropList* drp_allowhandicaps;
    QIDropList* drp_allowteams;
    QIButton* btn_selectmap;
    QIDropList* drp_fogstyle;
    QIDropList* drp_startingunits;
    QIButton* btn_startplacement;
    QIDropList* drp_startvisible;
    QIButton* btn_viewmap;
    QIButton* btn_kick;
};

extern MM_CHAT MM_chat;

// Builds the page (hidden) under the backdrop, every widget in place.
void MM_chat_init(QIWidget* backdrop);
// The page's layer; null outside the menus.
QIWidget* MM_chat_page(void);
// Forgets the page's widgets (the desktop deleted them) and empties the queue.
void MM_chat_forget(void);
// Entry after hosting or joining: the poll and handlers installed, the rows
// free, the defaults, this node's row and record, the map's summary, credits
// and rules, the host's controls; sends this node's state.
void MM_chat_start(void);
// The page's network state undone: poll and message handler removed, the
// network and the online service's session closed.
void MM_chat_finish(void);
// What a connection page does once hosted or joined: its poll off, the
// staging page entered, its own page hidden.
void MM_chat_enter_from(QIWidget* page);

// The options word of the page's values.
uint32_t MM_chat_pack_options(void);

// The network's callbacks: a received line queued (network thread, under
// the network lock); the kick noted.
void MM_chat_add_line(int node, const char* text);
void MM_chat_kicked(int node);
// Queues a line as received (the local echo; no network lock).
void MM_chat_queue_line(const char* line);
// The page's per-frame work (see the file's note).
void MM_chat_poll(void);
// Every stored rule line to a node; the walk callback sends one.
void MM_chat_send_rules(int node);
int MM_chat_send_to_node(const char* text, int32_t number);

// Rules: the map's briefing section 1 wrapped into the list, then "",
// "RULES", "" when the file was read (on entry always); reload empties the
// list first.
void MM_chat_load_rules(void);
void MM_chat_reload_rules(void);
int MM_chat_rule_char_width(int c);
void MM_chat_add_rule_text(const char* line);

// Handlers.
int MM_chat_row_changed(QIWidget* widget, int code, QIARG arg);
int MM_chat_back(QIWidget* widget, int code, QIARG arg);
int MM_chat_main(QIWidget* widget, int code, QIARG arg);
int MM_chat_kick(QIWidget* widget, int code, QIARG arg);
int MM_chat_send_message(QIWidget* widget, int code, QIARG arg);
int MM_chat_launch(QIWidget* widget, int code, QIARG arg);
int MM_chat_send_launch(QIWidget* widget, int code, QIARG arg);
int MM_chat_colour_pick(QIWidget* widget, int code, QIARG arg);
int MM_chat_set_locations(QIWidget* widget, int code, QIARG arg);
// The creator's option lists and edits (a guest's do nothing): Enter in an
// edit sends the game name and credits; a choice made (22, or 12 with the
// pointer let go) packs the options word, updates the rows it touches and
// sends it with the scenario name.
int MM_chat_options_changed(QIWidget* widget, int code, QIARG arg);
// Shows the map's picture and spreads that to the guests.
int MM_chat_show_minimap(QIWidget* widget, int code, QIARG arg);
// The map's summary, thumbnail (hidden, centred), "name w x h" and credits
// on the page.
void MM_chat_show_map(void);
// The maps of a category directory: its folders holding "QUORVEX.scn" whose
// names fit the settings block, re-cased ("Duel"), sorted; 0 when the
// directory can't be searched.
int MM_chat_list_maps(const char* dir, std::vector<std::string>* names);
// The map chooser: a map picked with OK becomes the game's, with its
// credits and rules; Cancel changes nothing.
int MM_chat_select_map(QIWidget* widget, int code, QIARG arg);
// The chooser list's selection: the map's size, players and type shown.
int MM_chat_map_row_text(QIWidget* widget, int code, QIARG arg);

// A line into the message list in a colour (1 refusal, 2 group, 4 private,
// 6 heading); tests read the list.
void MM_chat_add_message(const char* text, int colour);
// The font of refusal lines: light enough to read on the page's navy.
const QIFont* MM_chat_refusal_font(void);

// The palette index a colour 0..8 draws with (anything else as 8), and
// font slot 5 drawn in colour 0..7.
int MM_chat_colour_index(int colour);
const QIFont* MM_chat_team_font(int colour);
// A drop list's entry in the page's text fonts (plain: one font for every
// state), its text inset from the box's left border; chosen, it stores value
// through field.
QIGraphicText* MM_chat_entry(const char* text, int32_t* field, int32_t value, bool plain = false);

// The launch on this machine: option marks, local team, and the teams the
// active nodes play (type, colour, credits, side, relations). Corrects the
// settings block's out-of-range values alike on every machine.
void MM_chat_update_game(void);
// The same over given blocks (tests, the fuzz target): own is this node.
void MM_chat_update_game_from(NetSession* session, NetGameSettings* settings, int own);
