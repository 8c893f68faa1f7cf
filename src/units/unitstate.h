// Changes to a unit as a whole: hit points, team, type, experience, boost,
// disguise, blending, what each team takes it for and how it is drawn.
//
// A type change re-makes the unit in its own record, so pointers to it stay
// good; its id is kept when asked. The game-wide hit-point sum
// (UNITS_totalhitpoints) follows every change made here and every unit made
// and deleted, so the synchronisation check can compare it.
#pragma once

#include <cstdint>

struct UNIT;
struct UNITTYPE;
struct WEAPONTYPE;
struct OVERLAYTYPE;
struct EXPLTYPE;

// The sum of every live unit's hit points.
extern int64_t UNITS_totalhitpoints;

// Hit points clamped to 0..maximum, with the health effects of the parts;
// nothing for a dead unit (0) or one inside a building. Reaching the maximum
// tells a local unit "MSG_UNITHEALED" (humans) or "MSG_UNITREPAIRED".
void Units_SetHitpoints(UNIT* u, int hitpoints);
void Units_UpdateHealthEffects(UNIT* u, int oldpercent, int newpercent);
void Units_AddAmmo(UNIT* u, int percent);
int Units_AmmoLeft(const UNIT* u);
int Units_AmmoMax(const UNIT* u);

// To another team (asserts the team); MM_FIXED units stay. With the long
// form's flag the unit stops, its order ends and the new team's computer
// player is told (without it the unit reaches no computer player).
void Units_GiveUnitToOtherTeam(UNIT* u, int team);
void Units_GiveUnitToOtherTeam_Long(UNIT* u, int team, int flag);
// Re-makes the unit as newtype in its record, hit points scaled by
// (new max x r + 128) div 256 with r = hp x 256 / old max, tactical levels
// kept; null with "Tile already claimed!" (warning) when the new map level of
// its tile is taken.
UNIT* Units_ChangeUnitType(UNIT* u, UNITTYPE* newtype, int keepid);
// Veterans change type at their threshold ("MSG_SFXVETACHIEVED" for a local one).
void Units_AddExperience(UNIT* u, int amount);
// "Unit is already boosted? (%d)" when it is; else the weapon's boost.
void Units_Boost(UNIT* u, const WEAPONTYPE* w);
// Switches to the alternate type or back; answers the unit.
UNIT* Units_DoAlternateState(UNIT* u);
// Phases when the unit is able to, otherwise as Units_DoAlternateState.
UNIT* Units_InitiateSpecialFunction(UNIT* u);
void Units_ToggleBlend(UNIT* u);
void Units_SelfDestruct(UNIT* u);

// Disguises.
int Units_CanMorphUnit(const UNIT* u, const UNITTYPE* into);
int Units_CanMorphOverlay(const UNIT* u, const OVERLAYTYPE* into);
void Units_MorphTo(UNIT* u, UNITTYPE* utypeinto, int teaminto);
void Units_MorphToOverlay(UNIT* u, OVERLAYTYPE* otypeinto);
void Units_ClearMorphState(UNIT* u);

// Drawing: the render type seen by the local team (UNIT_RENDER), the layer
// from the move mode ("Unknown move mode [%d]" takes 0), highlights.
int Units_RenderType(const UNIT* u);
void Units_UpdateRenderType(UNIT* u);
void Units_UpdateDisplayLayer(UNIT* u);
void Units_Set_Seen(UNIT* u, int team, int value);
void Units_Hilite(UNIT* u);
void Units_Dim(UNIT* u);
void Units_UnHilite(UNIT* u);

// Tactical levels and their user copies; tenacity also sets an attack
// order's home tile.
void Units_SetUserTenacity(UNIT* u, int level);
void Units_SetUserAutonomy(UNIT* u, int level);
void Units_SetUserSelfPreservation(UNIT* u, int level);

void Units_PlayPartsAnimation(UNIT* u, int anim, int mode);
// 1 (and isanimating cleared) when every part's animation has finished.
int Units_AnimationDone(UNIT* u);
void Units_PlayExplosion(UNIT* u, EXPLTYPE* type);
// Onto the map at the nearest free tile within 5 of (x, y); "%d already on
// map" (warning) for a unit on it; with no free tile the unit is deleted.
int Units_PlaceOnMapCritical(UNIT* u, int x, int y);
