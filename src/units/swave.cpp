#include "units/swave.h"
#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include <cstring>
#include <vector>

#include "core/angle.h"
#include "core/debug.h"
#include "core/gll.h"
#include "core/gamestate.h"
#include "core/pool.h"
#include "core/tlog.h"
#include "map/fog.h"
#include "platform/graph.h"
#include "rules/gamemsg.h"
#include "units/projectile.h"
#include "units/team.h"
#include "units/vortex.h"
#include "units/weapon.h"

static POOL s_waves;
static POOL s_bubbles;
static int s_open;
static SWave* s_head;
static SWave* s_tail;
static int s_count;

enum {
    // Rings and growths from the weapon file are cut here, as every area is.
    SWAVE_FAR = 1 << 20,
    // A bubble's radius: a few pixels at the start, growing with the ring.
    SWAVE_BUBBLE_MIN = 6,
    SWAVE_BUBBLE_MAX = 48,
};

static void Ensure(void)
{
    if (s_open) return;
    Pool_Init(&s_waves, "SWave", sizeof(SWave), 16);
    Pool_Init(&s_bubbles, "SWaveNode", sizeof(SWaveNode) * SWAVE_BUBBLES, 16);
    s_open = 1;
}

static int32_t Growth(float maxspeed)
{
    if (!(maxspeed >= 1.0f)) return 1;
    if (maxspeed >= (float)SWAVE_FAR) return SWAVE_FAR;
    return (int32_t)maxspeed;
}

// The bubbles evenly round the ring, turning a 64th of a turn an update.
static void PlaceBubbles(SWave* w)
{
    int32_t br = SWAVE_BUBBLE_MIN + w->radius / 4;
    if (br > SWAVE_BUBBLE_MAX) br = SWAVE_BUBBLE_MAX;
    const int32_t spin = (int32_t)((uint32_t)w->age * (UTIL_FULL_TURN / 64));
    for (int i = 0; i < SWAVE_BUBBLES; i++) {
        const int32_t a = spin + i * ((int32_t)UTIL_FULL_TURN / SWAVE_BUBBLES);
        w->bubble[i].x = w->x + (int32_t)(Util_Cos(a) * (float)w->radius);
        w->bubble[i].y = w->y - (int32_t)(Util_Sin(a) * (float)w->radius);
        w->bubble[i].radius = br;
    }
}

SWave* Swave_Start(PROJECTILE* proj, int x, int y)
{
    ASSERT(proj);
    if (proj->oinfo.areaeffect < 0) return nullptr;
    Ensure();
    SWave* w = (SWave*)Pool_Alloc(&s_waves);
    w->bubble = (SWaveNode*)Pool_Alloc(&s_bubbles);
    w->proj = proj;
    w->x = x;
    w->y = y;
    w->maxradius = proj->oinfo.areaeffect < SWAVE_FAR ? proj->oinfo.areaeffect : SWAVE_FAR;
    w->growth = Growth(proj->weapon->maxspeed);
    PlaceBubbles(w);
    w->prev = s_tail;
    if (s_tail) s_tail->next = w;
    else s_head = w;
    s_tail = w;
    s_count++;
    Weapon_KeepProjectile(proj);
    if (g_LocalTeam >= 0 && g_LocalTeam < TEAM_MAXTEAMS && x >= 0 && y >= 0 &&
        Fog_IsSeen(x / 24, y / 24, g_LocalTeam)) {
        GameMsg_TriggerStdXY(GameMsg_Std(MSG_SEISMICDETECT), x / 24, y / 24);
        GameMsg_TriggerStdXY(GameMsg_Std(MSG_SFXRUMBLE), x / 24, y / 24);
    }
    return w;
}

static void Unlink(SWave* w)
{
    if (w->prev) w->prev->next = w->next;
    else s_head = w->next;
    if (w->next) w->next->prev = w->prev;
    else s_tail = w->prev;
    Pool_Free(&s_bubbles, w->bubble);
    Pool_Free(&s_waves, w);
    s_count--;
}

// One update of a wave; 1 when the ring has reached its end. The first ring
// includes the centre itself (distance 0).
static int Grow(SWave* w)
{
    const int32_t inner = w->age == 0 ? -1 : w->radius;
    const int64_t r = (int64_t)w->radius + w->growth;
    w->radius = r < w->maxradius ? (int32_t)r : w->maxradius;
    w->age++;
    PlaceBubbles(w);
    const PROJECTILE* p = w->proj;
    Weapon_RingDamage(p->weapon, &p->oinfo, p->team, w->x, w->y, inner, w->radius);
    return w->radius >= w->maxradius;
}

void Swave_UpdateAll(void)
{
    SWave* w = s_head;
    while (w) {
        SWave* next = w->next; // hits never start waves: the walk stays sound
        if (Grow(w)) {
            PROJECTILE* p = w->proj;
            Unlink(w);
            Weapon_LetGoProjectile(p);
        }
        w = next;
    }
}

SWave* Swave_First(void) { return s_head; }
int Swave_Count(void) { return s_count; }

void Swave_DrawLens(BITMAP* bitmap)
{
    if (!s_head || !bitmap || !bitmap->data) return;
    const int bw = bitmap->x_size, bh = bitmap->y_size;
    const std::vector<uint8_t> copy(bitmap->data, bitmap->data + (size_t)bw * bh);
    for (const SWave* w = s_head; w; w = w->next) {
        for (int i = 0; i < SWAVE_BUBBLES; i++) {
            const SWaveNode& b = w->bubble[i];
            if (b.x < 0 || b.y < 0) continue;
            const int cx = b.x / 24, cy = b.y / 24;
            int r = b.radius / 24;
            if (r < 1) r = 1;
            for (int dy = -r; dy <= r; dy++) {
                for (int dx = -r; dx <= r; dx++) {
                    const int x = cx + dx, y = cy + dy;
                    if (dx * dx + dy * dy > r * r || x < 0 || y < 0 || x >= bw || y >= bh)
                        continue;
                    const int sx = cx + dx / 2, sy = cy + dy / 2;
                    if (sx < 0 || sy < 0 || sx >= bw || sy >= bh) continue;
                    bitmap->data[(size_t)y * bw + x] = copy[(size_t)sy * bw + sx];
                }
            }
        }
    }
}

// Running waves go back to the pools before they close, so only the close's
// own count reports them.
static void FreeAll(void)
{
    if (!s_open) return;
    while (s_head) {
        SWave* next = s_head->next;
        Pool_Free(&s_bubbles, s_head->bubble);
        Pool_Free(&s_waves, s_head);
        s_head = next;
    }
    s_tail = nullptr;
    s_count = 0;
    Pool_Close(&s_waves);
    Pool_Close(&s_bubbles);
    s_open = 0;
}

void Swave_Init(void) { FreeAll(); }

void Swave_Close(void)
{
    TLOG(TLOG_DIAG, "Close - %d extra mallocs", s_count);
    FreeAll();
}

void Swave_GetPtr(SWave* w)
{
    Save_RegisterTypePointers(ST_SWave, w);
}

void Swave_Save(void)
{
    Save_RegisterBlock(SAVEK_GLOBAL, &s_count, ST_ULONG, sizeof s_count);
    Save_RegisterHead(&s_head, 1, ST_SWave, "swaves");
    Save_RegisterHead(&s_tail, 1, ST_SWave, "swaves last");
    for (SWave* w = s_head; w && Save_WalkGoesOn(); w = w->next) {
        Swave_GetPtr(w);
        Save_RegisterBlock(SAVEK_LOCAL, w, ST_SWave, sizeof *w);
        if (w->bubble) Save_RegisterBlock(SAVEK_LOCAL, w->bubble, ST_SWaveNode, sizeof(SWaveNode) * SWAVE_BUBBLES);
    }
}

// ---- saved games

SWave* Swave_AllocRecord(void)
{
    Ensure();
    return (SWave*)Pool_Alloc(&s_waves);
}

void Swave_FreeRecord(SWave* w) { Pool_Free(&s_waves, w); }

SWaveNode* Swave_AllocBubbles(void)
{
    Ensure();
    return (SWaveNode*)Pool_Alloc(&s_bubbles);
}

void Swave_FreeBubbles(SWaveNode* b) { Pool_Free(&s_bubbles, b); }

// The waves and vortices keeping a projectile (the vortex list checked
// before the waves).
static int Keepers(const PROJECTILE* p)
{
    int n = 0;
    for (const SWave* w = s_head; w; w = w->next) n += w->proj == p;
    if (Vortex_Count() > 0)
        for (const GLL_NODE* node = Vortex_List()->first; node; node = node->next)
            n += static_cast<const VORTEX*>(node->element)->proj == p;
    return n;
}

const char* Swave_CheckLoaded(void)
{
    const SWave* last = nullptr;
    int n = 0;
    for (const SWave* w = s_head; w; last = w, w = w->next, n++)
        if (w->prev != last || !w->bubble || !w->proj) return "a wave's prev link, bubbles or projectile";
    if (last != s_tail || n != s_count) return "the wave list's end or count";
    // A projectile counts its keepers: one short frees it while a wave or
    // vortex still names it, one over leaves it on the list for ever.
    int kept = 0;
    for (const PROJECTILE* p = Projectile_First(); p; p = p->next) {
        const int k = Keepers(p);
        if (p->held != k) return "a projectile's count of the vortices and waves keeping it";
        kept += k;
    }
    return kept == s_count + Vortex_Count() ? nullptr : "a vortex or wave keeping a projectile off the list";
}
