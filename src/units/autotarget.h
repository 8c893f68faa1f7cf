// Automatic targeting: the weapon queries over a unit's parts, the target
// choosers, the search that service orders and movement run, the answer to
// being hit and the choice of roaming destinations.
//
// Relations are taken from the searching unit's team towards the team the
// other unit appears to be to it (apparentteam). Searches walk the map-grid
// rectangle of the searcher's seeing range team by team (0..8), so every
// machine meets the candidates in the same order. Units inside a building,
// and units morphed into a thing while they have no order, are never found.
#pragma once

struct UNIT;
struct TARGET;
struct BUILDING;
struct WEAPONTYPE;
struct PROJECTILE;

// The parts' range answers in chain order: the first TARGETRANGE_OK ends it
// with 0, else the last part's answer; TARGETRANGE_NOAVAILABLEWEAPON without
// parts.
int Units_CheckTargetWithWeapons(UNIT* u, TARGET* target);
// The first part's tile range of a loaded weapon that can shoot target; -1.
int Units_FirstWeaponResult(UNIT* u, TARGET* target);
// 1 when a part can shoot target or it is a unit the unit can run over.
int Units_CanAttackTarget(UNIT* u, TARGET* target);
int Units_IsTargetAppropriate(UNIT* u, UNIT* other);
int Units_CanShootGround(UNIT* u, int x, int y);
int Units_CanShootBuilding(UNIT* u, BUILDING* b);
// Some weapon of some part can shoot fliers / ground units at all.
int Units_CanShootAnyFlyer(const UNIT* u);
int Units_CanShootAnyGround(const UNIT* u);
// Without a target the first part's first weapon; with one the first loaded
// weapon that can shoot it and has it in range; null when none.
const WEAPONTYPE* Units_Weapon_Used(UNIT* u, TARGET* target);
// How much the attacker's weapon hurts the victim per 100 updates, at least
// 30 (draws from the synchronised stream through the damage formula).
int Units_TargetThreat(UNIT* attacker, UNIT* victim);

// The choosers fill out and answer it, or null.
// Best-scored enemy unit in range now: threat to the searcher, weakness and
// nearness, less for own and friendly units near it when the first weapon
// splashes.
TARGET* Units_ChooseEnemyUnit(UNIT* u, TARGET* out);
// A weak ally to boost: the first in range, else the nearest (only in
// range at low tenacity).
TARGET* Units_ChooseBoostTarget(UNIT* u, TARGET* out);
// An ally that is hurt or boosted, not morphed into an overlay: the first in
// range, else the nearest (only in range at low tenacity).
TARGET* Units_ChooseHealTarget(UNIT* u, TARGET* out);
// 1 while the unit is below its maximum hit points or boosted.
int Units_NeedsHealing(const UNIT* v);
// An enemy building that is no resource source, aimed at its attack point:
// the first in range, else the nearest (only in range at low tenacity).
TARGET* Units_ChooseEnemyBuilding(UNIT* u, TARGET* out);
// Looks for a target by the unit's levels (healers and boosters for an
// ally to mend or boost, the others for an enemy); 1 when it gave the unit
// an attack order (its former order queued when the queue was empty).
int Units_AutoTarget(UNIT* u, int homex, int homey, int destx, int desty);
// Enemies seen around tile (x, y) that can hit the unit there; out gets the
// last one the unit would take on by its roaming level (cleared when none).
int Units_CountThreats(UNIT* u, int x, int y, TARGET* out);
// Starts the next roaming leg: away from threats, else to a tile its team
// has not explored or does not see.
void Units_PickAutomoveDestination(UNIT* u);
// A projectile hit the unit: an idle or ground-attacking unit closes in on
// the shooter or backs off, then goes back to what it did.
void Units_Tactical_Hit_Response(UNIT* u, PROJECTILE* p);
