#include "editor/mefile.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
#include <vector>

#include "ai/ai.h"
#include "core/crc32.h"
#include "core/gamestate.h"
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

// The units' fields and trails gathered into one block for a single CRC
// call: a call per unit spent more on starting the CRC than on its bytes.
struct BYTES {
    std::vector<uint8_t> b;
    size_t n = 0;
    // Room for more bytes; grows rarely (the block is kept between calls).
    void Room(size_t more)
    {
        if (n + more > b.size()) b.resize(2 * (n + more));
    }
    void Add(int32_t v)
    {
        Put(b.data() + n, (uint32_t)v);
        n += 4;
    }
};

static uint32_t Units(uint32_t crc)
{
    static BYTES f;
    f.n = 0;
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        f.Room(64);
        f.Add(u->tilepos.x);
        f.Add(u->tilepos.y);
        f.b[f.n++] = (uint8_t)u->team;
        f.Add(u->id);
        f.Add(u->hitpoints);
        f.Add(u->sorder.code);
        if (u->sorder.code == SO_TRAIL) {
            f.Add(u->sorder.trail.followstate == 1);
            f.Add(u->sorder.trail.mode);
        } else if (u->sorder.code == SO_AUTOMOVE) {
            f.Add(u->sorder.automove.level);
        }
        // The Orders layer may change only these; leaving them out would let
        // Quit drop that edit without asking.
        f.Add(u->usertactaiinfo.tenacity);
        f.Add(u->usertactaiinfo.autonomy);
        f.Add(u->usertactaiinfo.selfpreservation);
        if (u->localtrail)
            for (const WAYPOINT* wp = u->localtrail->head; wp; wp = wp->next) {
                f.Room(16);
                f.Add(wp->type);
                f.Add(wp->value);
                f.Add(wp->x);
                f.Add(wp->y);
            }
    }
    return Crc32_Update(crc, f.b.data(), f.n);
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

// The map is most of the sequence, and its elements are wide: reading them
// costs more than the CRC. Each element's two words go out as one 8-byte
// store, a few rows at a time.
static uint32_t Elements(uint32_t crc)
{
    if (!g_MapElements) return crc;
    enum { CHUNK = 4096 };
    static uint8_t out[CHUNK * 8];
    const size_t total = (size_t)mapsizex * mapsizey;
    for (size_t start = 0; start < total; start += CHUNK) {
        const size_t n = std::min(total - start, (size_t)CHUNK);
        const MAP_ELEMENT* e = g_MapElements + start;
        for (size_t i = 0; i < n; i++) {
            const uint64_t v = (uint64_t)e[i].initalt | (uint64_t)e[i].tile << 32;
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(out + 8 * i, &v, 8);
            } else {
                Put(out + 8 * i, (uint32_t)v);
                Put(out + 8 * i + 4, (uint32_t)(v >> 32));
            }
        }
        crc = Crc32_Update(crc, out, n * 8);
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

// The tile set and the tech level: the scenario file keeps both, so a change
// of either alone is an edit to save. The tile set's name is matched without
// regard to case when it is read, so its case alone changes nothing.
static uint32_t Settings(uint32_t crc)
{
    for (const char* c = g_TerrainName; *c && c < g_TerrainName + sizeof g_TerrainName; c++) {
        const uint8_t upper = (uint8_t)toupper((unsigned char)*c);
        crc = Crc32_Update(crc, &upper, 1);
    }
    return Word(crc, g_TechLevel);
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
    crc = Teams(crc);
    return Settings(crc);
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
