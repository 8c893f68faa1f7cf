// The top bar and the indicator fields of the game screen: the building
// action modes, the credits field, the fire modes, the stop button, the panel
// selectors, the team grid and the resource field.
#pragma once

#include <cstdint>

enum { IGITOP_GRIDCELLW = 13, IGITOP_GRIDCELLH = 17, IGITOP_GRIDCOLUMNS = 4 };

// Zones 8, 9, 10: action modes sell, power, repair building.
void Igievnt_BuildModeHandler(uint32_t zd, uint32_t reason);
// Zone 11: follows the watched team's credits; a click sells resources.
void Igievnt_CreditsHandler(uint32_t zd, uint32_t reason);
// Zones 12, 13: the fire modes while units are selected, else mode 0.
void Igievnt_FireModeHandler(uint32_t zd, uint32_t reason);
// Zone 14: action mode 0 and QSTOP for the selection; pressed for one frame.
void Igievnt_StopHandler(uint32_t zd, uint32_t reason);
// Zones 15 to 20: panel modes 1 to 6.
void Igievnt_PanelSelectHandler(uint32_t zd, uint32_t reason);
// Zone 24: the watched team from a grid of 4 cells a row; reason 1 falls back
// to the local team when the right to watch is lost.
void Igievnt_TeamGridHandler(uint32_t zd, uint32_t reason);
// Zone 25: a click sells resources.
void Igievnt_ResourceHandler(uint32_t zd, uint32_t reason);
// 1 when the local team may watch team's credits: its own, one whose
// resources it may see, or an agreed ally.
int Igievnt_CanWatchTeam(int team);
