#include "editor/mefile.h"

#include <algorithm>
#include <cstring>

#include "ai/ai.h"
#include "core/crc32.h"
#include "editor/editor.h"
#include "map/map.h"
#include "map/overlay.h"
#include "map/region.h"
#include "rules/endcond.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"

static void Put(uint8_t* p, uint32_t u)
{
    p[0] = (uint8_t)u, p[1] = (uint8_t)(u >> 8), p[2] = (uint8_t)(u >> 16), p[3] = (uint8_t)(u >> 24);
}

// Every number goes in as 4 little-endian bytes whatever the host, so the
// value doesn't depend on how the records are laid out.
static uint32_t Word(uint32_t crc, int32_t v)
{
    uint8_t b[4];
    Put(b, (uint32_t)v);
    return Crc32_Update(crc, b, sizeof b);
}

static uint32_t Text(uint32_t crc, const char* s)
{
    return s ? Crc32_Update(crc, s, std::strlen(s)) : crc;
}

static uint32_t Buildings(uint32_t crc)
{
    ITERATOR it;
    Iterate_BuildInit(&it, 0, TR_ALL);
    while (BUILDING* b = Iterate_BuildNext(&it)) {
        crc = Word(crc, b->tilex);
        crc = Word(crc, b->tiley);
        crc = Word(crc, b->team);
        crc = Word(crc, b->id);
        crc = Word(crc, b->hitpoints);
    }
    return crc;
}

static uint32_t Units(uint32_t crc)
{
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        crc = Word(crc, u->tilepos.x);
        crc = Word(crc, u->tilepos.y);
        const uint8_t team = (uint8_t)u->team;
        crc = Crc32_Update(crc, &team, 1);
        crc = Word(crc, u->id);
        crc = Word(crc, u->hitpoints);
        crc = Word(crc, u->sorder.code);
        if (u->sorder.code == SO_TRAIL) {
            crc = Word(crc, u->sorder.trail.followstate == 1);
            crc = Word(crc, u->sorder.trail.mode);
        } else if (u->sorder.code == SO_AUTOMOVE) {
            crc = Word(crc, u->sorder.automove.level);
        }
        // The Orders layer may change only these; leaving them out would let
        // Quit drop that edit without asking.
        crc = Word(crc, u->usertactaiinfo.tenacity);
        crc = Word(crc, u->usertactaiinfo.autonomy);
        crc = Word(crc, u->usertactaiinfo.selfpreservation);
        if (u->localtrail)
            for (const WAYPOINT* wp = u->localtrail->head; wp; wp = wp->next) {
                crc = Word(crc, wp->type);
                crc = Word(crc, wp->value);
                crc = Word(crc, wp->x);
                crc = Word(crc, wp->y);
            }
    }
    return crc;
}

static uint32_t Overlays(uint32_t crc)
{
    for (const OVERLAY* o = g_Overlays; o; o = o->nextoverlay) {
        if (o->type == -1) continue;
        crc = Word(crc, o->tilepos.x);
        crc = Word(crc, o->tilepos.y);
        crc = Word(crc, o->type);
    }
    return crc;
}

// The map is most of the sequence: one row at a time keeps it near the speed
// of a checksum over a plain block.
static uint32_t Elements(uint32_t crc)
{
    uint8_t row[MAP_MAX_SIDE * 8];
    const int w = std::min(mapsizex, (int)MAP_MAX_SIDE);
    for (int y = 0; y < mapsizey; y++) {
        for (int x = 0; x < w; x++) {
            const MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
            Put(row + 8 * x, e->initalt);
            Put(row + 8 * x + 4, e->tile);
        }
        crc = Crc32_Update(crc, row, (size_t)w * 8);
    }
    return crc;
}

static uint32_t Regions(uint32_t crc)
{
    for (const REGION* r = Region_FindByIndex(1); r; r = Region_FindByIndex(0)) {
        crc = Word(crc, r->x1);
        crc = Word(crc, r->x2);
        crc = Word(crc, r->y1);
        crc = Word(crc, r->y2);
    }
    return crc;
}

static uint32_t Teams(uint32_t crc)
{
    for (int t = 0; t < MEEDITOR_TEAMS; t++) {
        const TEAM_DATA& d = teamdata[t];
        crc = Text(crc, Endcond_GetEndCondFile(t));
        crc = Text(crc, AI_GetFsmFilename(t, 0));
        for (int i = 0; i < TEAM_MAXTEAMS; i++) crc = Word(crc, d.relation[i]);
        crc = Word(crc, d.side);
        crc = Word(crc, d.type);
        crc = Word(crc, d.credits);
        crc = Word(crc, d.startpos.x);
        crc = Word(crc, d.startpos.y);
        crc = Word(crc, d.unitdef.selfpreservation);
        crc = Word(crc, d.unitdef.tenacity);
        crc = Word(crc, d.unitdef.autonomy);
        crc = Word(crc, d.group);
    }
    return crc;
}

uint32_t MeMenuFile::ChangeChecksum(void)
{
    if (!(g_MeEditor.flags & MEF_OPEN)) return 0;
    uint32_t crc = 0;
    crc = Buildings(crc);
    crc = Units(crc);
    crc = Overlays(crc);
    crc = Elements(crc);
    crc = Regions(crc);
    return Teams(crc);
}

int MeMenuFile::IsModified(void)
{
    if (!(g_MeEditor.flags & MEF_MODIFIED) && ChangeChecksum() != g_MeEditor.baseline)
        g_MeEditor.flags |= MEF_MODIFIED;
    return (g_MeEditor.flags & MEF_MODIFIED) != 0;
}

void MeMenuFile::StoreBaseline(void)
{
    g_MeEditor.baseline = ChangeChecksum();
    g_MeEditor.flags &= ~MEF_MODIFIED;
}
