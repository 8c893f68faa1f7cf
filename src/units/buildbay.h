// Buildings that serve units: service bays (repair, healing, rearming),
// building holds, transport partners, packing and teleporting, and what a
// building's removal does to the units inside it.
//
// The bay. A service building keeps a queue of the units that want its
// service (BUILDING.queue). One unit at a time is called in: each update,
// while no queued unit is on its way to the bay or being serviced, the head
// of the queue is told to come (SERVICE_MOVING_TO_BAY) and sent to the door.
// The unit servicing on the door tile gets one step per update: healing and
// repair cost the general settings' price first (no step while the team
// lacks it), then give efficiency x speed / 100 hit points; rearming gives
// efficiency x rearm speed / 100 percent of ammunition. A step gives at
// least 1 while the speed and the efficiency are above 0, so a slow bay
// never freezes its queue. Entries whose unit died or no longer wants this
// building drop out.
#pragma once

struct UNIT;
struct BUILDING;
struct BUILDINGTYPE;

// The door tile of the building; 0 (and the top-left tile) when the type
// has no door.
int Build_DoorTile(const BUILDING* b, int* x, int* y);
// The door-to-door measure of the game: hundredths of a tile.
int Build_TileDistance(int x1, int y1, int x2, int y2);

// The team's nearest complete healing (human) or repair building to (x, y)
// by door distance, the first in list order on a tie; none while the
// general settings' speed for that service is 0.
BUILDING* Build_FindRepairBuilding(int team, int human, int x, int y);
// The same for rearming, flyers or not; none while the rearm speed is 0.
BUILDING* Build_FindRearmBuilding(int team, int flyer, int x, int y);
// Join / leave the building's service queue (joining twice keeps one entry).
void Build_ServiceQueueJoin(BUILDING* b, UNIT* u);
void Build_ServiceQueueLeave(BUILDING* b, UNIT* u);
// The bay's step of the building's update (see above).
void Build_ServiceStep(BUILDING* b);

// 1 when the building's hold takes the unit: fewer units than the type's
// first room value, the unit's total mass at most the second.
int Build_CanHold(const BUILDING* b, const UNIT* u);
// The unit leaves the map into the building's hold (partof set).
void Build_HoldAddUnit(BUILDING* b, UNIT* u);
// Held units out on the free tiles nearest the door (within 3): all of them,
// or the head of the hold only. 1 when the hold is empty afterwards.
int Build_HoldDropAll(BUILDING* b);
int Build_HoldDropLast(BUILDING* b);
// The nearest partner for a transport pair from (x, y): flag 0 an own
// building of the type with room for the resource (or keeping on
// delivering), flag 1 a neutral building of the type producing it; only
// buildings whose footprint the team sees now. Null when none.
BUILDING* Build_FindTransportPartner(const BUILDINGTYPE* type, int team, int flag, int resource,
                                     int x, int y);
// Before a building leaves the game: its held units come out near the door
// (deleted when no tile is free) and its spies are ejected (deleted when
// that fails).
void Build_ReleaseOccupants(BUILDING* b);

// The packing is done: a unit of the transport type comes out near the door
// carrying the package and the building leaves the game. 0 while no tile is
// free (it waits), 1 when it left.
int Build_FinishPack(BUILDING* b);
// An idle complete teleport building puts its held units, in hold order, on
// the free tiles nearest (x, y), which its team must have explored; the
// type's explosion plays at each and the local team hears "MSG_SFXTEMPGATE".
// The number of units moved.
int Build_Teleport(BUILDING* b, int x, int y);
