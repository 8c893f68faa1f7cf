// The brushes of the things a scenario places: units, buildings and objects
// (overlays). Through the selection they move, copy, delete, light and
// re-team their things in the live game model, keep the editor's counts
// (per team: buildings, units, worth; objects, water and crystal sources)
// and mark the minimap.
//
// Design note. A building always takes its units along: moving, re-teaming
// and deleting it does the same to its associate unit and the units of its
// four bays, and the counts follow. A unit never shares a tile at its map
// level, nor stands inside a building: a move or a copy that would land on
// a taken tile, or on a footprint cell closed to its type, does not happen.
#pragma once

#include "editor/mebrush.h"

struct UNIT;
struct BUILDING;
struct OVERLAY;
struct BUILDINGTYPE;

enum { MEBUILD_UNITS = 5 }; // the associate unit and the four bay units

class MeBrushUnit : public MeBrush {
public:
    UNIT* thing;

    // x, y from the unit's tile (a null unit: a band placeholder).
    explicit MeBrushUnit(UNIT* unit);
    int Kind(void) override { return MEBK_UNIT; }
    void* Thing(void) override { return thing; }
    bool IsSame(MeBrush* other) override { return other && other->Thing() == thing; }
    // The base part's sprite where it is drawn.
    IRect GetRect(void) override;
    void Hilite(void) override;
    void UnHilite(void) override;
    // Uncounts the unit and deletes it.
    void Delete(void) override;
    // Follows x, y onto a free tile at its level outside any footprint
    // closed to its type, clamped inside the map.
    void MoveBy(const IPoint& delta, const IPoint& point) override;
    void Snap(void) override;
    // Teams 0..7 in turn; neutral stays neutral; counts unchanged.
    void NextTeam(void) override;
    void DrawRange(const IRect& clip) override;
    void DrawLabel(const IRect& clip) override;
    // level -1: no standing order and the three values (-1 keeps the
    // unit's own); 0..2: automove at that level.
    void SetOrders(int tenacity, int autonomy, int selfpreservation, int level) override;
    uint32_t TenacityBit(void) override;
    uint32_t AutonomyBit(void) override;
    uint32_t SelfPreservationBit(void) override;
    uint32_t AutoMoveBit(void) override;
    int HasPath(void) override;
    // The unit's local trail becomes a copy of trail, run in the editor's
    // direction (0 once, 1 back and forth, 2 looped; -1 as 0).
    void AssignPath(TRAIL* trail, int direction) override;
    void SetPathDirection(int direction) override;
    // Bit of the editor's direction of an SO_TRAIL order, else 0.
    uint32_t PathDirectionBit(void) override;
    // A new unit of the type and team with the default orders on the tile
    // one right and down, when that tile is on the map, free at its level
    // and not on a footprint cell closed to the type; the brush then wraps
    // it. Otherwise nothing.
    void Copy(void) override;

    // The counts of team with (sign 1) or without (sign -1) unit.
    static void Count(const UNIT* unit, int team, int sign);
    // Tenacity, autonomy and self-preservation (current and user copies)
    // from the Orders layer's defaults.
    static void ApplyDefaults(UNIT* unit);
    // The trail mode of an editor direction, and back (-1 for none).
    static int TrailMode(int direction);
    static int Direction(int trailMode);
};

class MeBrushBuild : public MeBrush {
public:
    BUILDING* thing;

    explicit MeBrushBuild(BUILDING* building);
    int Kind(void) override { return MEBK_BUILD; }
    void* Thing(void) override { return thing; }
    bool IsSame(MeBrush* other) override { return other && other->Thing() == thing; }
    // The bottom overlay's sprite where it is drawn.
    IRect GetRect(void) override;
    void Hilite(void) override;
    void UnHilite(void) override;
    // Deletes its units, uncounts everything and removes the building.
    void Delete(void) override;
    // Follows x, y, clamped so the footprint stays inside 1 .. size - 1,
    // unless the footprint would close a tile to a unit standing there or
    // one of its units would land on another's tile.
    void MoveBy(const IPoint& delta, const IPoint& point) override;
    void Snap(void) override;
    void NextTeam(void) override;
    void DrawLabel(const IRect& clip) override;
    // A new building of the type and team on the same tile, counted and
    // marked with its units; the brush then wraps it.
    void Copy(void) override;

    // The building, its overlays and its units by (dx, dy) tiles.
    static void MoveTo(BUILDING* building, int dx, int dy);
    // The building and its units to team (0..8), counts following.
    static void SetTeam(BUILDING* building, int team);
    // Its associate and bay units into out; how many.
    static int Units(BUILDING* building, UNIT* out[MEBUILD_UNITS]);
    // Whether a building of type with its top left at (x, y) would close a
    // tile to a unit standing on it, own's units (which move with it) aside.
    static bool CoversAUnit(const BUILDINGTYPE* type, int x, int y, BUILDING* own);
    // The counts of team with (1) or without (-1) the building alone.
    static void Count(const BUILDING* building, int team, int sign);
    // The building's units counted (and marked on the minimap).
    static void CountUnits(BUILDING* building);
};

class MeBrushObject : public MeBrush {
public:
    OVERLAY* thing;

    explicit MeBrushObject(OVERLAY* object);
    int Kind(void) override { return MEBK_OBJECT; }
    void* Thing(void) override { return thing; }
    bool IsSame(MeBrush* other) override { return other && other->Thing() == thing; }
    IRect GetRect(void) override;
    void Hilite(void) override;
    void UnHilite(void) override;
    // Deletes the object; the object count drops.
    void Delete(void) override;
    void MoveBy(const IPoint& delta, const IPoint& point) override;
    void Snap(void) override;
    // A new object of the type on the same tile; the brush then wraps it.
    void Copy(void) override;

    // A new object of type at tile (x, y) as the scenario places one,
    // counted and marked; null when it can't be made.
    static OVERLAY* Make(int type, int x, int y);
};
