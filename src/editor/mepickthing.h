// The unit, building and object picker items: a framed cell with the
// thing's menu picture and how many of it the current team has (objects:
// their level), placing a thing of their type on a map click, and its
// ghost under the pointer.
//
// Placing follows the map's rules rather than reporting anything: a unit
// needs a free tile at its level that no building's footprint closes to its
// type, a building a footprint inside the map that closes no tile to a unit
// standing on it (buildings may overlap each other), an object replaces
// another of a different type unless Shift is held. Nothing is placed on
// row or column 0.
#pragma once

#include "editor/mepick.h"

struct UNITTYPE;
struct BUILDINGTYPE;
struct OVERLAYTYPE;

class MePickUnit : public MePickItem {
public:
    UNITTYPE* type;

    explicit MePickUnit(UNITTYPE* unitType);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    const char* TipText(void) override;
    // A unit of the current team with the default orders on the free tile
    // under the pointer, unless a building's footprint closes it to the type.
    void Place(const QIPointer& pointer) override;
    // The type's parts as ghosts on the tile under the pointer.
    void Preview(const QIPointer& pointer) override;
};

class MePickBuilding : public MePickItem {
public:
    BUILDINGTYPE* type;

    explicit MePickBuilding(BUILDINGTYPE* buildingType);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    const char* TipText(void) override;
    // A building of the current team, its footprint centred on the pointer,
    // unless it would close a tile to a unit standing there.
    void Place(const QIPointer& pointer) override;
    // The building and its footprint cells, green where free, red where not.
    void Preview(const QIPointer& pointer) override;

    // The top-left tile of a footprint centred on the pointer.
    static IPoint Anchor(const BUILDINGTYPE* type, const QIPointer& pointer);
};

class MePickObject : public MePickItem {
public:
    int32_t type; // the overlay type's index
    OVERLAYTYPE* otype;

    explicit MePickObject(int typeIndex);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    const char* TipText(void) override;
    // An object on the tile under the pointer (Shift keeps one already there).
    void Place(const QIPointer& pointer) override;
    void Preview(const QIPointer& pointer) override;
};
