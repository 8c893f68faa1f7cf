// Service orders: what a unit pursues over many updates (UNIT.sorder), the
// queued order that takes over when it ends (UNIT.snextorder), the setters
// that give them and the per-update dispatcher that carries them out through
// the unit's state commands.
//
// Unless a setter says otherwise it sets the order's nextscantime to the
// current update, so the order runs at the next dispatch. Every random draw
// is from the synchronised stream.
#pragma once

#include <cstdint>

struct UNIT;
struct UNITTYPE;
struct UNITLIST;
struct TARGET;
struct BUILDING;
struct OVERLAYTYPE;

// Ends the order: the parts' animations restart (unless the unit is
// animating), a canidle type gets a new idle delay; a transport type at the
// door of an own or neutral building of its pairs starts a trip from there
// instead; otherwise the code becomes SO_NONE and the user's tactical
// levels are in force again (Units_SOrderEnd).
void Units_SOrderNone(UNIT* u);
// The last step alone: SO_NONE and the user's tactical levels.
void Units_SOrderEnd(UNIT* u);
// Units_StopMove, then Units_SOrderNone.
void Units_SOrderStop(UNIT* u);
// Attack target from home (x, y), heading for (destx, desty) (-1, -1: none).
// A medium-autonomy unit busy with another order and having two parts or
// more only turns its turrets on a target in range; a low-tenacity unit
// with nothing in range stops and has no order.
void Units_SOrderAttack(UNIT* u, const TARGET* target, int homex, int homey, int destx, int desty);
// SO_MOVE to (x, y) with a new move group (asserts "destx > 0", "desty > 0",
// "destx < mapsizex", "desty < mapsizey"); the parts stop firing.
void Units_SOrderMove(UNIT* u, int x, int y);
// The same without the checks, with the given group.
void Units_SetMoveOrder(UNIT* u, int x, int y, uint32_t group);
// Moves the units of team named by the ids of list to (x, y) as one group:
// keeping their formation around their mean tile, or spread at random over
// a square of sqrt(count) tiles (x drawn first); each destination clamped to
// 1 .. size - 1. Units that were attacking keep medium autonomy on the way;
// the others drop a queued order other than roaming. Nothing when no id
// names a unit of the team any more.
void Units_SOrderMoveGroup(const UNITLIST* list, int x, int y, int keepformation, int team);
void Units_SOrderConstruct(UNIT* u, int buildtype, int x, int y);
void Units_SOrderSabotageBuilding(UNIT* u, BUILDING* b);
// SO_TRAIL along the unit's local trail / its team's global trail index
// (asserts 0 .. QUORVEX_GLOBALTRAILS - 1) in a TRAIL_MODE.
void Units_SOrderFollowLocalTrail(UNIT* u, int mode);
void Units_SOrderFollowGlobalTrail(UNIT* u, int mode, int index);
// Turns the unit towards tile (x, y); the order ends.
void Units_SOrderRotate(UNIT* u, int x, int y);
void Units_SOrderBoard(UNIT* u, UNIT* carrier);
// SO_PICKUP, only while the unit's home transport building exists.
void Units_SOrderPickUp(UNIT* u);
// Morphs after the type's morph time (asserts "utypeinto", "teaminto >= 0
// && teaminto < TEAM_MAXTEAMS" / "otypeinto"); a unit that can't morph into
// it has no order afterwards. The local team hears "MSG_SFXMORPH".
void Units_SOrderMorphUnit(UNIT* u, UNITTYPE* utypeinto, int teaminto);
void Units_SOrderMorphOverlay(UNIT* u, OVERLAYTYPE* otypeinto);
void Units_SOrderUnMorph(UNIT* u);
// Roams at level (TACTICAL_AI_LEVELS) with high tenacity; nextscantime is
// left as it is.
void Units_SOrderAutomove(UNIT* u, int level);
void Units_SOrderSelfDestruct(UNIT* u);
// Units_Phase / Units_UnPhase, then the order ends.
void Units_SOrderPhase(UNIT* u);
void Units_SOrderUnPhase(UNIT* u);
// Idle indirect-fire units of a computer team join an attack on target.
void Units_RallyIdleIndirectFire(int team, const TARGET* target);

// Once per update: runs the unit's order (a queued one when it has none);
// 0 only when the unit was deleted.
int Units_ProcessSOrder(UNIT* u);
// The SO_ATTACK handler: fire, chase, back off, approach, or give up.
void Units_ProcessSOAttack(UNIT* u);
// The SO_AUTOMOVE handler: next leg, stop and fight on enemies met.
void Units_ProcessSOAutomove(UNIT* u);
// The idle step of a unit waiting for its path: scan delay, idle
// animation, then the automatic target search from its tile.
void Units_IdleServiceChecks(UNIT* u);
