// The command panels' set-up and the two panels that only command the
// selection: orders (automatic movement, presets, tactical levels) and
// special (morphing, phasing, self-destruct, packing, destinations).
//
// Every panel button runs through the standard-button handler (ui/igibtn.h)
// and queues player orders for the local team; only interface-local state
// (action mode, pages, latched buttons) changes at once.
#pragma once

#include <cstdint>

// Defines the zones of the communications, menu, orders, trail and special
// panels (the special buttons twice) with their start states: zone 1 off,
// 70 off in network games, 71 in single-player ones, 65 without digital
// sound, 66 without CD audio. Creates the trail and saved-game lists.
void Igipanel_DefineZones(void);
// The panels' fields back to a game's start (part of the state reset).
void Igipanel_ResetState(void);
// Deletes the lists Igipanel_DefineZones made.
void Igipanel_Close(void);

// Triggers a standard game message for the panels and counts it.
void Igipanel_Msg(int id);
struct GAMEMSG_ARG;
// The same with the message's text composed from args.
void Igipanel_MsgVar(int id, const GAMEMSG_ARG* args, int nargs);
// How many times the panels triggered message id since the last reset.
int Igipanel_MsgCount(int id);
void Igipanel_ResetMsgCounts(void);

// Zones 31 and 32: the orders panel's pages.
void Igievnt_OrdersTabHandler(uint32_t zd, uint32_t reason);
// Zones 39 to 41: the tactical rows (self-preservation runs 2 to 0).
void Igievnt_TacticalRowHandler(uint32_t zd, uint32_t reason);
// The tactical level a click at x gives on row zd.
int Igievnt_TacticalLevelAt(int zd, int x);
// Button 81: packs the selected building, places a carried package, or
// packs the building a selected unit belongs to.
void Igievnt_BtnPack(uint32_t zd);
