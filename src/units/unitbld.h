// Service orders at buildings and along trails: putting up a building,
// spying and bringing stolen plans home, sabotage, trails (transport trips
// included), entering a building, picking up units at the home building,
// and going to a service building for repair or rearming; with the setters
// of these orders and the automatic repair and rearm of idle units.
//
// A spy inside a building is off the map and in the building's spy slot of
// its team. Its order (SO_SPY, mode SPY_SPYING or SPY_STEAL) keeps the spy
// effect it applied on entering (spy.effect), and ejection undoes exactly
// that, whatever the building's type has become since.
#pragma once

struct UNIT;
struct BUILDING;

// --- setters

// SO_SPY for the unit with that id: on the map for SPY_SPY and
// SPY_RETURNPLANS, in the team's off-map list for SPY_STEAL and SPY_LEAVE;
// SPY_EJECTALL ejects every team's spy from the building. Any other mode is
// fatal "Invalid SPY order mode [%d]" (class 4).
void Units_SOrderSpy(int unitid, int team, BUILDING* b, int mode, int stealid);
// Puts a spy back on the map within 4 of where it entered and undoes its
// effect; 0 when the building is gone or no tile is free.
int Units_SpyEject(UNIT* u);
// SO_GRABUNIT (asserts "unittograb") when Units_CanGrab, else the unit stops.
void Units_SOrderGrabUnit(UNIT* u, UNIT* unittograb);
// SO_BOARDBLD when the building takes the unit, else the order ends.
void Units_SOrderBoardBuilding(UNIT* u, BUILDING* b);
// Asserts "unit" and "building": the service order (code SO_REPAIRSELF,
// SO_REARMSELF or the given one) in SERVICE_MOVING_TO_QUEUE with the unit's
// tile as return position; the building's queue takes the unit.
// nextscantime is left as it is.
void Units_SOrderRepairSelf(UNIT* u, BUILDING* b);
void Units_SOrderRearmSelf(UNIT* u, BUILDING* b);
void Units_SOrderAtBuilding(UNIT* u, BUILDING* b, int code);
// An idle unit whose health is at or below its self-preservation threshold
// (and not boosted) goes to the nearest repair / healing building; 1 when
// it got the order.
int Units_TryAutoRepair(UNIT* u);
// An idle unit out of ammunition goes to the nearest rearm building; 1 when
// it got the order.
int Units_TryAutoRearm(UNIT* u);

// --- handlers, called by Units_ProcessSOrder

// 0 when the unit was deleted (a package builder), else 1.
int Units_ProcessSOConstruct(UNIT* u);
void Units_ProcessSOSpy(UNIT* u);
void Units_ProcessSOSabotage(UNIT* u);
// The trail step of the dispatcher (transport stops included).
void Units_ProcessSOTrailStep(UNIT* u);
// Walks the trail until a command was issued or it came round.
void Units_ProcessSOTrail(UNIT* u);
void Units_ProcessSOBoardBuilding(UNIT* u);
void Units_ProcessSOPickUp(UNIT* u);
// Asserts "(service_type == SO_REARMSELF) || (service_type == SO_REPAIRSELF)"
// and "unit"; an invalid service state is fatal "Service state invalid for
// unit" (class 4).
void Units_ProcessSOServiceSelf(UNIT* u, int service_type);
// The spy step for a spy off the map (the per-update loop's last pass).
void Units_UpdateSpy(UNIT* u);
