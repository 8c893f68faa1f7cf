// The time-sliced path search.
//
// Design note.
//
// Graph and costs. The tiles are the nodes; a unit may step to any of its 8
// neighbours that the movement code's step rule allows (Units_CanTravel:
// target on the map with speed above 0, altitude difference within both
// tiles' climb limits). Units, buildings and things on the tiles are not
// obstacles here: movement deals with them when it walks the path. A step
// costs round(100 x factor) x 10 straight and x 14 diagonally, the factor
// being Units_ComputeInverseRelativeSpeed's (the inverse-relative-speed
// table of the target tile's speed and, for units that neither fly nor
// tunnel, the altitude difference). Costs are integers so every machine of
// a game finds the same path; sums are 64-bit.
//
// Terrain reads. A tile's speed, climb limit, altitude and cost speed are
// read from the map the first time a search touches it and kept in the
// per-map table, marked with the search's stamp; a record whose stamp is
// not the current one is stale, so nothing is cleared between searches and
// a terrain change is seen by the next search. The rule applied to these
// values is exactly that of Units_CanTravel and
// Units_ComputeInverseRelativeSpeed (the tests compare them).
//
// Heuristic. Octile distance with the cheapest step of the unit's type: the
// factor of the fastest speed in its effects table at level ground, times 10
// per straight and 14 per diagonal step. No step costs less, so the
// heuristic is consistent and a tile once expanded (closed) is final.
//
// Open list and ties. A radix heap over f (see OPENLIST): tiles come out in
// order of f, and among equal f mostly the one pushed last first, which
// leans the search towards the deeper tiles. Improved tiles are pushed again; the
// older entry is skipped when popped (its tile is closed by then). The order
// depends on nothing but the map and the request.
//
// Unreachable goals. Before expanding, the connected regions (CRE) of the
// unit's movement class are consulted: when the goal lies outside the
// start's region, the goal is replaced by the tile of the start's region
// nearest it (squared distance, then lower index), found by a ring scan
// around the goal, and the search runs to that tile; when that is the start
// tile the answer is the empty path at once. When the open list runs dry
// without the goal (a start on a tile of no region, a class without region
// map) the answer is the path to the expanded tile nearest the goal by the
// heuristic. Either way the unit's srchtilepos becomes the tile the path
// ends on, so a unit parked there is at its destination and does not search
// again.
//
// Budget. Pathsrch_Update expands at most the budget (PATHSRCH_BUDGET tiles)
// per update, over as many requests as it covers. A search that runs out
// keeps its open list and table and goes on in the next update exactly
// where it stopped, so slicing never changes a path.
//
// Queue. Requests are unit handles (UNITID) in a ring of PATHSRCH_QUEUE
// entries in request order; the front one is the running search. A unit is
// queued at most once: asking again restarts its request in its place (the
// running search is begun anew). When the ring is full the request is
// logged ("Search queue filled - make it bigger") and set aside, and it
// joins the ring at the start of the next update.
//
// Dead units. The handle is checked when a search begins, each time it
// resumes and before the path is stored; a unit that died, or whose record
// now holds another unit (a new id), fails the check and its search is
// dropped without touching the record. Deleting a unit also cancels its
// request (Pathsrch_CancelUnit).
#include "map/pathsrch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/debug.h"
#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "map/cre.h"
#include "map/map.h"
#include "map/mapview.h"
#include "platform/effects.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitlist.h"
#include "units/unitmove.h"

enum {
    PATHSRCH_QUEUE = 1024,          // requests the ring holds
    PATHSRCH_STRAIGHT = 10,         // step cost multipliers
    PATHSRCH_DIAGONAL = 14,
    PATHSRCH_NODIR = 0xFF,
    PATHSRCH_CLOSED_COLOUR = 252,   // debug picture
    PATHSRCH_PATH_COLOUR = 255,
};

namespace {

// One tile of the per-map table (16 bytes, so that the rows of a tile's
// neighbours touch few cache lines); valid for the search whose stamp it
// has. The direction of the step that reached a tile is only read back when
// the path is stored, so it lives in a table of its own.
using TILEREC = PATHSRCH_TILE;
static_assert(sizeof(TILEREC) == 16, "a tile record stays 16 bytes");

const uint32_t STAMP_CLOSED = 0x80000000u;

// The open list: a radix heap over f. With a consistent heuristic no tile
// ever enters with an f below the last one taken out, so the entries can be
// kept in 65 buckets by the highest bit in which their f differs from that
// last f (bucket 0: equal to it). Taking out empties bucket 0 first (last in,
// first out); when it is empty, the first non-empty bucket's smallest f
// becomes the last f and its entries are spread over the lower buckets.
// Every entry moves down at most 64 times, and the buckets are plain
// arrays, so neither a push nor a pop waits on comparisons that no branch
// predictor can guess, as a comparison heap's do. The order depends only on
// the order of the pushes, so it is the same on every machine and in every
// slicing of a search.
using OPENENTRY = PQELEMENT;

struct OPENLIST {
    std::vector<OPENENTRY> bucket[PATHSRCH_BUCKETS];
    uint64_t last = 0;
    size_t size = 0;

    static int BucketOf(uint64_t f, uint64_t last) { return f == last ? 0 : 64 - __builtin_clzll(f ^ last); }
    bool empty() const { return size == 0; }
    void clear()
    {
        for (std::vector<OPENENTRY>& b : bucket) b.clear();
        last = 0;
        size = 0;
    }
    // An f below the last one can't happen with the heuristic we use; were
    // it to, the entry would simply come out next.
    void push(const OPENENTRY& e)
    {
        bucket[e.f <= last ? 0 : BucketOf(e.f, last)].push_back(e);
        size++;
    }
    // Moves the entries of a bucket (all below bucket i afterwards) to the
    // buckets of their f against the new last, in their order: counted
    // first, so that each bucket grows once and the copies do not wait on
    // the bucket's end pointer stored by the copy before.
    void Spread(std::vector<OPENENTRY>& from, int i)
    {
        uint32_t count[65] = {};
        OPENENTRY* out[65];
        const size_t n = from.size();
        if (s_spreadTo.size() < n) s_spreadTo.resize(n);
        uint8_t* to = s_spreadTo.data();
        for (size_t k = 0; k < n; k++) {
            const int b = BucketOf(from[k].f, last);
            to[k] = (uint8_t)b;
            count[b]++;
        }
        for (int b = 0; b < i; b++) {
            if (!count[b]) continue;
            const size_t old = bucket[b].size();
            bucket[b].resize(old + count[b]);
            out[b] = bucket[b].data() + old;
        }
        for (size_t k = 0; k < n; k++) *out[to[k]]++ = from[k];
        from.clear();
    }
    static std::vector<uint8_t> s_spreadTo;   // the bucket of each entry being spread

    OPENENTRY pop()
    {
        if (bucket[0].empty()) {
            int i = 1;
            while (bucket[i].empty()) i++;
            std::vector<OPENENTRY>& from = bucket[i];
            uint64_t least = from[0].f;
            for (const OPENENTRY& e : from) least = std::min(least, e.f);
            last = least;
            for (const OPENENTRY& e : from) bucket[BucketOf(e.f, last)].push_back(e);
            from.clear();
        }
        const OPENENTRY e = bucket[0].back();
        bucket[0].pop_back();
        size--;
        return e;
    }
};

std::vector<uint8_t> OPENLIST::s_spreadTo;

const int TILEBITS = 20;
static_assert(MAP_MAX_SIDE * MAP_MAX_SIDE <= (1 << TILEBITS), "tile index fits its field");

struct SEARCH {
    bool active;         // begun (the front request)
    bool done;
    UNITID unit;
    const UNITTYPE* type;
    bool altmatters;
    int32_t start, goal;
    int goalx, goaly;
    uint64_t minbase;    // cheapest step base cost of the type
    OPENLIST open;
    int32_t best;        // the closed tile nearest the goal
    uint64_t besth, bestg;
};

const int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
const int kDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};

bool s_open = false;
int s_w = 0, s_h = 0;
std::vector<TILEREC> s_tiles;
std::vector<uint8_t> s_from;           // per tile: direction of the step that reached it
int32_t s_offset[8];                   // tile index step to each neighbour
uint32_t s_stamp = 0;
uint32_t s_costBase[UNITS_IRS_SIZE];   // round(100 x factor) per table entry

std::vector<UNITID> s_ring;            // PATHSRCH_QUEUE slots
int s_ringHead = 0, s_ringCount = 0;
std::vector<UNITID> s_waiting;         // found the ring full
SEARCH s_search;
PATHSRCH s_state;                      // as a saved game holds it
void FreeStaged(void);
int s_budget = PATHSRCH_BUDGET;
uint32_t s_expansions = 0;

std::vector<int32_t> s_lastPath;       // of the last finished search, for the picture

UNITID& RingAt(int i) { return s_ring[(size_t)((s_ringHead + i) % PATHSRCH_QUEUE)]; }

bool SameUnit(const UNITID& h, const UNIT* u) { return h.unit == u && h.id == u->id; }

void NewStamp(void)
{
    if (++s_stamp == STAMP_CLOSED) {
        for (TILEREC& r : s_tiles) r.stamp = 0;
        s_stamp = 1;
    }
}

bool IsClosed(const TILEREC* r) { return r->stamp == (s_stamp | STAMP_CLOSED); }

// The tile record of (x, y) for the running search, its terrain read when
// the search first touches it: speed and climb limit as
// Units_GetTileEffects gives them (special-effect cell, or for none the
// cell of the tile's texture effects), altitude and cost speed.
__attribute__((noinline)) void Fill(TILEREC* r, int32_t i)
{
    const int x = i % s_w, y = i / s_w;
    r->stamp = s_stamp;
    r->g = UINT64_MAX;
    s_from[(size_t)i] = PATHSRCH_NODIR;
    const MAP_ELEMENT* e = &g_MapElements[i];
    const EFFECTTYPE* table = s_search.type->effects;
    r->speed = 100;
    r->climb = 1;
    if (x < 1 || y < 1) {
        r->speed = r->climb = 0;
    } else if (table) {
        const uint8_t* cell = Units_EffectCell(table, e);
        r->speed = cell[0];
        r->climb = cell[1];
    }
    r->alt = (uint8_t)e->altitude;
    r->costspeed = table ? Units_CostCell(table, e)[0] : 100;
}

inline TILEREC* Touch(int32_t i)
{
    TILEREC* r = &s_tiles[(size_t)i];
    if ((r->stamp & ~STAMP_CLOSED) != s_stamp) Fill(r, i);
    return r;
}

uint64_t Heuristic(int x, int y)
{
    const int dx = abs(x - s_search.goalx), dy = abs(y - s_search.goaly);
    const int lo = std::min(dx, dy), hi = std::max(dx, dy);
    return s_search.minbase * (uint64_t)(PATHSRCH_STRAIGHT * (hi - lo) + PATHSRCH_DIAGONAL * lo);
}

void PushOpen(int32_t tile, int x, int y, uint64_t g)
{
    const uint64_t h = Heuristic(x, y);
    s_search.open.push(OPENENTRY{g + h, h << TILEBITS | (uint64_t)tile});
}

// The cheapest step base of a type: the fastest speed of its table on level
// ground.
uint64_t MinBase(const UNITTYPE* type)
{
    int fastest = 100;
    if (type->effects) {
        fastest = 0;
        for (const auto& row : type->effects->cell)
            for (const auto& cell : row) fastest = std::max(fastest, (int)cell[0]);
    }
    return s_costBase[fastest];
}

// The tile of the region nearest (x, y) by squared distance (then lower
// index), scanning square rings around it until no closer one can exist.
int32_t NearestInRegion(int movementclass, int region, int x, int y)
{
    int32_t best = -1;
    long bestd = 0;
    const int maxr = std::max(s_w, s_h);
    for (int r = 1; r <= maxr; r++) {
        if (best >= 0 && (long)r * r > bestd) break;
        for (int ty = y - r; ty <= y + r; ty++) {
            const int step = (ty == y - r || ty == y + r) ? 1 : 2 * r;
            for (int tx = x - r; tx <= x + r; tx += step) {
                if (CRE_ClassRegionAt(movementclass, tx, ty) != region) continue;
                const long d = (long)(tx - x) * (tx - x) + (long)(ty - y) * (ty - y);
                const int32_t i = ty * s_w + tx;
                if (best < 0 || d < bestd || (d == bestd && i < best)) {
                    best = i;
                    bestd = d;
                }
            }
        }
    }
    return best;
}

void SetGoal(int32_t tile)
{
    s_search.goal = tile;
    s_search.goalx = tile % s_w;
    s_search.goaly = tile / s_w;
}

void MakeTables(void)
{
    s_w = mapsizex;
    s_h = mapsizey;
    s_tiles.assign((size_t)s_w * s_h, TILEREC{});
    s_from.assign((size_t)s_w * s_h, PATHSRCH_NODIR);
    s_stamp = 0;
    s_lastPath.clear();
    for (int d = 0; d < 8; d++) s_offset[d] = kDy[d] * s_w + kDx[d];
}

// Begins the front request; false when its unit is gone (request dropped).
bool Begin(void)
{
    UNITID& h = RingAt(0);
    UNIT* u = UnitId_Ptr(&h);
    if (!u || !u->type) return false;
    if (!Map_IsValidTile(u->tilepos.x, u->tilepos.y) ||
        !Map_IsValidTile(u->move.srchtilepos.x, u->move.srchtilepos.y)) {
        // Taken off the map since it asked: it stops where it is.
        u->move.srchtilepos = u->tilepos;
        u->move.pathready = 1;
        return false;
    }
    if (s_w != mapsizex || s_h != mapsizey) MakeTables();
    SEARCH& s = s_search;
    s.active = true;
    s.done = false;
    s.unit = h;
    s.type = u->type;
    s.altmatters = u->movemode != MM_FLY && u->movemode != MM_TUNNEL;
    s.minbase = MinBase(u->type);
    s.open.clear();
    NewStamp();
    s.start = u->tilepos.y * s_w + u->tilepos.x;
    SetGoal(u->move.srchtilepos.y * s_w + u->move.srchtilepos.x);
    s.best = s.start;
    s.bestg = 0;
    s.besth = Heuristic(u->tilepos.x, u->tilepos.y);
    const int cls = CRE_ClassOf(u->type->effects);
    const int from = CRE_ClassRegionAt(cls, u->tilepos.x, u->tilepos.y);
    if (from != CRE_REGION_NONE &&
        CRE_ClassRegionAt(cls, s.goalx, s.goaly) != from) {
        SetGoal(NearestInRegion(cls, from, s.goalx, s.goaly));
        s.besth = Heuristic(u->tilepos.x, u->tilepos.y);
    }
    TILEREC* r = Touch(s.start);
    r->g = 0;
    if (s.start == s.goal) {
        s.done = true;
        return true;
    }
    PushOpen(s.start, u->tilepos.x, u->tilepos.y, 0);
    return true;
}

// Expands up to budget tiles of the running search; gives the number used.
int Run(int budget)
{
    SEARCH& s = s_search;
    int used = 0;
    while (!s.done && used < budget) {
        if (s.open.empty()) {
            SetGoal(s.best);        // exhausted: the nearest tile reached
            s.done = true;
            break;
        }
        const OPENENTRY top = s.open.pop();
        const int32_t tile = (int32_t)(top.htile & ((1u << TILEBITS) - 1));
        const uint64_t h = top.htile >> TILEBITS;
        TILEREC* c = &s_tiles[(size_t)tile];
        if (IsClosed(c)) continue;
        c->stamp |= STAMP_CLOSED;
        used++;
        s_expansions++;
        if (h < s.besth || (h == s.besth && (c->g < s.bestg || (c->g == s.bestg && tile < s.best)))) {
            s.best = tile;
            s.besth = h;
            s.bestg = c->g;
        }
        if (tile == s.goal) {
            s.done = true;
            break;
        }
        const int cx = tile % s_w, cy = tile / s_w;
        // Away from the map's edges every neighbour is on it: one test for
        // the tile instead of four per neighbour.
        const bool inner = cx >= 2 && cy >= 2 && cx < s_w - 1 && cy < s_h - 1;
        const int altmul = s.altmatters ? 256 : 0;
        if (inner) {
            // Ask for the neighbours' records and map elements (read by the
            // ones not touched yet) in the three rows at once rather than
            // one miss after another.
            for (int r = -1; r <= 1; r++) {
                const MAP_ELEMENT* e = &g_MapElements[tile + r * s_w - 1];
                __builtin_prefetch(e);
                __builtin_prefetch(e + 2);
                const TILEREC* t = &s_tiles[(size_t)(tile + r * s_w - 1)];
                __builtin_prefetch(t);
                __builtin_prefetch(t + 2);
            }
        }
        const uint64_t cg = c->g;
        const int calt = c->alt, cclimb = c->climb;
        for (int d = 0; d < 8; d++) {
            const int nx = cx + kDx[d], ny = cy + kDy[d];
            if (!inner && (nx < 1 || ny < 1 || nx >= s_w || ny >= s_h)) continue;
            const int32_t j = tile + s_offset[d];
            TILEREC* n = Touch(j);
            if (IsClosed(n) || n->speed == 0) continue;
            const int diff = abs((int)n->alt - calt);
            if (diff > n->climb || diff > cclimb) continue;
            const uint32_t base = s_costBase[diff * altmul + n->costspeed];
            const uint64_t g = cg + (uint64_t)base * ((d & 1) ? PATHSRCH_DIAGONAL : PATHSRCH_STRAIGHT);
            if (g < n->g) {
                n->g = g;
                s_from[(size_t)j] = (uint8_t)d;
                PushOpen(j, nx, ny, g);
            }
        }
    }
    return used;
}

// Stores the finished search's path in its unit (still alive).
void Finish(void)
{
    SEARCH& s = s_search;
    s_lastPath.clear();
    for (int32_t t = s.goal; t != s.start;) {
        s_lastPath.push_back(t);
        const int d = s_from[(size_t)t];
        ASSERT(d != PATHSRCH_NODIR);
        t -= kDy[d] * s_w + kDx[d];
    }
    std::reverse(s_lastPath.begin(), s_lastPath.end());
    if (UNIT* u = UnitId_Ptr(&s.unit)) {
        Path_Clear(&u->move.path);
        for (int32_t t : s_lastPath) Path_Append(&u->move.path, t % s_w, t / s_w);
        u->move.srchtilepos = UNIT_POS{s.goalx, s.goaly};
        u->move.pathready = 1;
    }
}

void PopFront(void)
{
    s_ringHead = (s_ringHead + 1) % PATHSRCH_QUEUE;
    s_ringCount--;
    s_search.active = false;
    s_search.open.clear();
}

bool Enqueue(const UNITID& h)
{
    if (s_ringCount == PATHSRCH_QUEUE) return false;
    RingAt(s_ringCount) = h;
    s_ringCount++;
    return true;
}

// Runs queued searches until budget expansions are spent.
void Work(long budget)
{
    while (!s_waiting.empty() && Enqueue(s_waiting.front())) s_waiting.erase(s_waiting.begin());
    while (budget > 0 && s_ringCount > 0) {
        if (!s_search.active && !Begin()) {
            PopFront();
            continue;
        }
        if (!UnitId_Valid(&s_search.unit)) {   // died while its search ran
            PopFront();
            continue;
        }
        budget -= Run((int)std::min(budget, (long)INT32_MAX));
        if (s_search.done) {
            Finish();
            PopFront();
        }
    }
}

} // namespace

void Pathsrch_Init(void)
{
    Units_InitInverseRelativeSpeed();
    for (int i = 0; i < UNITS_IRS_SIZE; i++)
        s_costBase[i] = (uint32_t)lroundf(g_InverseRelativeSpeed[i] * 100.0f);
    CRE_Build();
    MakeTables();
    s_ring.assign(PATHSRCH_QUEUE, UNITID{nullptr, -1});
    s_ringHead = s_ringCount = 0;
    s_waiting.clear();
    s_search = SEARCH{};
    FreeStaged();
    s_state = PATHSRCH{};
    s_open = true;
}

void Pathsrch_Close(void)
{
    s_open = false;
    FreeStaged();
    s_state = PATHSRCH{};
    s_tiles.clear();
    s_tiles.shrink_to_fit();
    s_from.clear();
    s_from.shrink_to_fit();
    s_ring.clear();
    s_ringHead = s_ringCount = 0;
    s_waiting.clear();
    s_search = SEARCH{};
    s_lastPath.clear();
    s_stamp = 0;
    s_w = s_h = 0;
}

int Pathsrch_IsOpen(void)
{
    return s_open;
}

void Pathsrch_StartUnitSearch(UNIT* u)
{
    ASSERT(u);
    ASSERT(u->team < TEAM_MAXTEAMS);
    ASSERT(Map_IsValidTile(u->move.srchtilepos.x, u->move.srchtilepos.y));
    Path_Clear(&u->move.path);
    u->move.pathready = 0;
    u->state = US_WAITFORPATH;
    if (u->tilepos.x == u->move.srchtilepos.x && u->tilepos.y == u->move.srchtilepos.y) {
        Pathsrch_CancelUnit(u);
        u->move.pathready = 1;
        return;
    }
    if (!s_open || !Map_IsValidTile(u->tilepos.x, u->tilepos.y)) {
        // Nowhere to search from: the unit stops where it is.
        TLOG(TLOG_ERROR, "Path search for unit %d from %d,%d: %s", u->id, u->tilepos.x,
             u->tilepos.y, s_open ? "not on the map" : "no path search open");
        Pathsrch_CancelUnit(u);
        u->move.srchtilepos = u->tilepos;
        u->move.pathready = 1;
        return;
    }
    for (int i = 0; i < s_ringCount; i++)
        if (SameUnit(RingAt(i), u)) {
            if (i == 0 && s_search.active) {
                s_search.active = false;    // begun anew at the next update
                s_search.open.clear();
            }
            return;
        }
    for (const UNITID& h : s_waiting)
        if (SameUnit(h, u)) return;
    UNITID h;
    UnitId_Setup(&h, u);
    if (!Enqueue(h)) {
        TLOG(TLOG_WARNING, "Search queue filled - make it bigger");
        s_waiting.push_back(h);
    }
}

void Pathsrch_CancelUnit(const UNIT* u)
{
    if (!s_open || !u) return;
    for (int i = 0; i < s_ringCount; i++) {
        if (!SameUnit(RingAt(i), u)) continue;
        if (i == 0) {
            PopFront();
            return;
        }
        for (int j = i; j + 1 < s_ringCount; j++) RingAt(j) = RingAt(j + 1);
        s_ringCount--;
        return;
    }
    for (size_t i = 0; i < s_waiting.size(); i++)
        if (SameUnit(s_waiting[i], u)) {
            s_waiting.erase(s_waiting.begin() + (long)i);
            return;
        }
}

void Pathsrch_Update(void)
{
    if (s_open) Work(s_budget);
}

void Pathsrch_RunAll(void)
{
    if (!s_open) return;
    while (s_ringCount > 0 || !s_waiting.empty()) Work(INT32_MAX);
}

int Pathsrch_Pending(void)
{
    return s_ringCount + (int)s_waiting.size();
}

void Pathsrch_SetBudget(int expansions)
{
    s_budget = expansions > 0 ? expansions : PATHSRCH_BUDGET;
}

uint32_t Pathsrch_Expansions(void)
{
    return s_expansions;
}

void Pathsrch_DrawDebug(void)
{
    // The closed tiles of the latest search (finished or running) and the
    // last stored path.
    if (!(g_DebugFlags & DBG_PATHPICTURE) || !s_open || s_stamp == 0) return;
    BITMAP* bb = Backbuf_Lock();
    if (!bb || !bb->data) return;
    const int cx1 = std::min(MAPVIEW_SCREEN_X + (int)MAPVIEW_SIZE, bb->x_size);
    const int cy1 = std::min(MAPVIEW_SCREEN_Y + (int)MAPVIEW_SIZE, bb->y_size);
    // A square of side size at the centre of the tile, clipped to the view.
    auto mark = [&](int32_t tile, int size, uint8_t colour) {
        const int sx = MAPVIEW_SCREEN_X + (tile % s_w) * MAP_TILE_PIXELS - g_MapView.x + (MAP_TILE_PIXELS - size) / 2;
        const int sy = MAPVIEW_SCREEN_Y + (tile / s_w) * MAP_TILE_PIXELS - g_MapView.y + (MAP_TILE_PIXELS - size) / 2;
        for (int y = std::max(sy, (int)MAPVIEW_SCREEN_Y); y < std::min(sy + size, cy1); y++)
            for (int x = std::max(sx, (int)MAPVIEW_SCREEN_X); x < std::min(sx + size, cx1); x++)
                bb->data[(size_t)y * bb->x_size + x] = colour;
    };
    for (int ty = g_MapView.tiley; ty <= g_MapView.tiley + MAPVIEW_TILES && ty < s_h; ty++)
        for (int tx = g_MapView.tilex; tx <= g_MapView.tilex + MAPVIEW_TILES && tx < s_w; tx++) {
            const TILEREC& r = s_tiles[(size_t)ty * s_w + tx];
            if (IsClosed(&r)) mark(ty * s_w + tx, 4, PATHSRCH_CLOSED_COLOUR);
        }
    for (int32_t t : s_lastPath) mark(t, 8, PATHSRCH_PATH_COLOUR);
}

int Pathsrch_MoveAside(UNIT* u, int depth)
{
    (void)depth;
    ASSERT(u);
    if (!u->onmap || !Units_IsStationary(u) || Path_Count(&u->move.path) > 0) return 0;
    const int x = u->tilepos.x, y = u->tilepos.y;
    for (int d = 0; d < 8; d++) {
        int nx = x, ny = y;
        Units_DirToNeighbour(d, &nx, &ny);
        if (!Units_CanTravel(u, x, y, nx, ny)) continue;
        if (MAP_ELEMENT_AT(nx, ny)->unit[u->maplevel] != nullptr) continue;
        Units_MoveTo(u, nx, ny, Units_AllocGroupId());
        return 1;
    }
    return 0;
}

// ------------------------------------------------------------------ saved games

namespace {

void FreeStaged(void)
{
    Debug_Free(&s_state.open);
    Debug_Free(&s_state.waiting);
}

// The running search into its saved form; the open list and the waiting
// requests as arrays that the state owns until the next save or the close.
void Stage(void)
{
    FreeStaged();
    PATHSRCH& p = s_state;
    p.ringhead = s_ringHead;
    p.ringcount = s_ringCount;
    p.stamp = s_stamp;
    p.active = s_search.active;
    p.done = s_search.done;
    p.altmatters = s_search.altmatters;
    p.unit = s_search.unit;
    p.type = s_search.type;
    p.start = s_search.start;
    p.goal = s_search.goal;
    p.goalx = s_search.goalx;
    p.goaly = s_search.goaly;
    p.minbase = s_search.minbase;
    p.best = s_search.best;
    p.besth = s_search.besth;
    p.bestg = s_search.bestg;
    p.openlast = s_search.open.last;
    p.nopen = (int32_t)s_search.open.size;
    if (p.nopen) p.open = (PQELEMENT*)Debug_Malloc((size_t)p.nopen * sizeof(PQELEMENT));
    size_t n = 0;
    for (int b = 0; b < PATHSRCH_BUCKETS; b++) {
        const std::vector<OPENENTRY>& from = s_search.open.bucket[b];
        p.buckets[b] = (uint32_t)from.size();
        for (const OPENENTRY& e : from) p.open[n++] = e;
    }
    p.nwaiting = (int32_t)s_waiting.size();
    if (p.nwaiting) p.waiting = (UNITID*)Debug_Malloc((size_t)p.nwaiting * sizeof(UNITID));
    for (size_t i = 0; i < s_waiting.size(); i++) p.waiting[i] = s_waiting[i];
}

bool TileOk(int32_t tile) { return tile >= 0 && tile < s_w * s_h; }

} // namespace

void Pathsrch_SaveAll(void)
{
    if (!s_open) return;
    if (g_SaveFlags & SAVEF_LIVE) Stage();
    Save_RegisterTypePointers(ST_PATHSRCH, &s_state);
    Save_RegisterBlock(SAVEK_GLOBAL, &s_state, ST_PATHSRCH, sizeof s_state);
    for (UNITID& h : s_ring) Save_RegisterTypePointers(ST_UNITID, &h);
    Save_RegisterBlock(SAVEK_GLOBAL, s_ring.data(), ST_UNITID, s_ring.size() * sizeof(UNITID));
    for (int y = 0; y < s_h; y++) {
        Save_RegisterBlock(SAVEK_GLOBAL, &s_tiles[(size_t)y * s_w], ST_PRIQUEUE, (size_t)s_w * sizeof(TILEREC));
        Save_RegisterBlock(SAVEK_GLOBAL, &s_from[(size_t)y * s_w], ST_NONE, (size_t)s_w);
    }
    if (s_state.open) Save_RegisterBlock(SAVEK_LOCAL, s_state.open, ST_PQELEMENT, (size_t)s_state.nopen * sizeof(PQELEMENT));
    if (s_state.waiting) {
        // A listing reads no entry: a loaded count is checked afterwards.
        for (int i = 0; !(g_SaveFlags & SAVEF_LISTONLY) && i < s_state.nwaiting; i++)
            Save_RegisterTypePointers(ST_UNITID, &s_state.waiting[i]);
        Save_RegisterBlock(SAVEK_LOCAL, s_state.waiting, ST_UNITID, (size_t)s_state.nwaiting * sizeof(UNITID));
    }
}

const char* Pathsrch_CheckLoaded(void)
{
    if (!s_open) return nullptr;
    const PATHSRCH& p = s_state;
    if (p.ringhead < 0 || p.ringhead >= PATHSRCH_QUEUE || p.ringcount < 0 || p.ringcount > PATHSRCH_QUEUE)
        return "the path search's ring";
    uint64_t sum = 0;
    for (uint32_t b : p.buckets) sum += b;
    if (sum != (uint64_t)p.nopen || Save_LoadedSize(p.open) != (p.open ? (long)p.nopen * (long)sizeof(PQELEMENT) : -1))
        return "the path search's open list";
    for (int i = 0; i < p.nopen; i++)
        if (!TileOk((int32_t)(p.open[i].htile & ((1u << TILEBITS) - 1)))) return "an open tile off the map";
    // Each entry in the bucket its f has against the last f, as pushes and
    // spreads place them: a bucket being spread that got one of its own
    // entries back would grow while it is walked.
    for (int b = 0, i = 0; b < PATHSRCH_BUCKETS; b++)
        for (uint32_t k = 0; k < p.buckets[b]; k++, i++)
            if ((p.open[i].f <= p.openlast ? 0 : OPENLIST::BucketOf(p.open[i].f, p.openlast)) != b)
                return "an open entry out of its bucket";
    if (Save_LoadedSize(p.waiting) != (p.waiting ? (long)p.nwaiting * (long)sizeof(UNITID) : -1))
        return "the path search's waiting requests";
    if (p.active && (!p.type || !TileOk(p.start) || !TileOk(p.goal) || !TileOk(p.best) ||
                     p.goal != p.goaly * s_w + p.goalx))
        return "the running search's tiles";
    return nullptr;
}

void Pathsrch_AfterLoad(void)
{
    if (!s_open) return;
    const PATHSRCH& p = s_state;
    s_ringHead = p.ringhead;
    s_ringCount = p.ringcount;
    s_stamp = p.stamp;
    s_search.active = p.active;
    s_search.done = p.done;
    s_search.altmatters = p.altmatters;
    s_search.unit = p.unit;
    s_search.type = p.type;
    s_search.start = p.start;
    s_search.goal = p.goal;
    s_search.goalx = p.goalx;
    s_search.goaly = p.goaly;
    s_search.minbase = p.minbase;
    s_search.best = p.best;
    s_search.besth = p.besth;
    s_search.bestg = p.bestg;
    s_search.open.clear();
    s_search.open.last = p.openlast;
    s_search.open.size = (size_t)p.nopen;
    size_t n = 0;
    for (int b = 0; b < PATHSRCH_BUCKETS; b++)
        s_search.open.bucket[b].assign(p.open + n, p.open + n + p.buckets[b]), n += p.buckets[b];
    s_waiting.assign(p.waiting, p.waiting + p.nwaiting);
}
