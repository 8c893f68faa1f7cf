// Targets: a tile, a unit or a building, the last two through handles so
// that a target that has gone is noticed instead of followed. Once
// Target_Valid has passed, the handle's pointer is used as it is: the
// searches ask for positions of every candidate.
#include "units/target.h"

#include "map/map.h"
#include "units/building.h"
#include "units/unit.h"

void Target_Clear(TARGET* t)
{
    // The empty handles, as UnitId_Clear and BuildId_Clear leave them.
    t->mode = FM_NONE;
    t->unit.unit = nullptr;
    t->unit.id = -1;
    t->building.building = nullptr;
    t->building.id = -1;
    t->x = t->y = 0;
}

void Target_Setup(TARGET* t, int mode, UNIT* unit, BUILDING* building, int x, int y)
{
    Target_Clear(t);
    switch (mode) {
    case FM_GROUND:
        t->mode = FM_GROUND;
        t->x = x;
        t->y = y;
        break;
    case FM_UNIT:
        if (unit) {
            t->mode = FM_UNIT;
            t->unit.unit = unit;
            t->unit.id = unit->id;
        }
        break;
    case FM_BUILDING:
        if (building) {
            t->mode = FM_BUILDING;
            BuildId_Setup(&t->building, building);
        }
        break;
    default:
        break;
    }
}

int Target_Valid(TARGET* t)
{
    int valid = 0;
    switch (t->mode) {
    case FM_GROUND: valid = 1; break;
    case FM_UNIT:
        // UnitId_Valid's test; a failing handle is cleared below with the rest.
        valid = t->unit.unit && t->unit.id != -1 && t->unit.unit->id == t->unit.id;
        break;
    case FM_BUILDING: valid = BuildId_Valid(&t->building); break;
    default: break;
    }
    if (!valid) Target_Clear(t);
    return valid;
}

int Target_GetTilePosition(TARGET* t, int tile[2])
{
    if (!Target_Valid(t)) return 0;
    switch (t->mode) {
    case FM_GROUND:
        tile[0] = t->x;
        tile[1] = t->y;
        break;
    case FM_UNIT: {
        const UNIT* u = t->unit.unit;
        tile[0] = u->tilepos.x;
        tile[1] = u->tilepos.y;
        break;
    }
    default: {
        const BUILDING* b = t->building.building;
        tile[0] = b->tilex;
        tile[1] = b->tiley;
        break;
    }
    }
    return 1;
}

void Target_GetPosition(TARGET* t, int* px, int* py)
{
    const int half = MAP_TILE_PIXELS / 2;
    int x = -1, y = -1;
    if (Target_Valid(t)) {
        switch (t->mode) {
        case FM_GROUND:
            x = t->x * MAP_TILE_PIXELS + half;
            y = t->y * MAP_TILE_PIXELS + half;
            break;
        case FM_UNIT: {
            const UNIT* u = t->unit.unit;
            x = u->pixelpos.x + half;
            y = u->pixelpos.y + half;
            break;
        }
        default: {
            const BUILDING* b = t->building.building;
            x = b->tilex * MAP_TILE_PIXELS + b->buildingtype->width * half;
            y = b->tiley * MAP_TILE_PIXELS + b->buildingtype->height * half;
            break;
        }
        }
    }
    if (px) *px = x;
    if (py) *py = y;
}
