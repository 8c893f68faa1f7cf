// The communications panel and the chat line: the other players in seven
// rows, whom chat goes to (one by one or by a group mode applied every
// frame), alliances and gifts to the chosen row's team.
//
// Alliances and gifts are player orders; chat goes straight to the network,
// outside the order stream, and only to players whose node is active in a
// network game: a single-player game's chat only ends the typing.
#pragma once

#include <cstddef>
#include <cstdint>

enum {
    IGICOMMS_ROWY = 95,
    IGICOMMS_ROWH = 18,
    IGICOMMS_GROUPS = 5,      // group mode 5: recipients chosen one by one
    IGICOMMS_CHATZONE = 1,
};

// The debug code that chat turns into debug mode.
extern const char* const kIgiDebugCode;

// Zones 1 and 54 to 64 (Igipanel_DefineZones).
void Igicomms_DefineZones(void);
// Chosen row 0, group mode 5, no recipients, not typing (state reset).
void Igicomms_ResetState(void);
// The player rows: each other team in the game (not disabled, not the
// neutral team) in order; the rows left over hold the neutral team, which
// is no player (interface start).
void Igicomms_ListPlayers(void);

// 1 when the row's team plays on an active node of a network game.
int Igicomms_TakesPart(int row);
// Sets the recipient flags by the group mode (5 only drops rows that no
// longer take part); marks zone 55 dirty when a flag changes.
void Igicomms_ApplyGroupMode(void);
// The decimal digits at the start of text, saturating at the largest int;
// 0 when there are none.
int Igicomms_ParseAmount(const char* text);
// What the chat key does: remember the panel, show the communications
// panel, enable zone 1 and press it. 0 when the panel can't be shown.
int Igievnt_OpenChat(void);
// A chat text from another node: at most 255 of its bytes are read (the
// text needs no terminator), shown through MSG_MESSAGE with the node's
// player name; the debug code turns debug mode on.
void Igievnt_ChatReceived(int node, const char* text);

// Zone handlers: the player list (54), the recipient column (55), the
// alliance column (56), the amount field (59) and the chat line (1).
void Igievnt_PlayerListHandler(uint32_t zd, uint32_t reason);
void Igievnt_RecipientHandler(uint32_t zd, uint32_t reason);
void Igievnt_AllianceHandler(uint32_t zd, uint32_t reason);
void Igievnt_AmountHandler(uint32_t zd, uint32_t reason);
void Igievnt_ChatHandler(uint32_t zd, uint32_t reason);
// Draws zone 54, 55 or 56 when dirty.
void IgiDisp_DrawPanelZone(int zd);
