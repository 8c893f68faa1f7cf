#include "units/vortex.h"
#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include "core/angle.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/pool.h"
#include "core/tlog.h"
#include "map/fog.h"
#include "map/mapview.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "rules/gamemsg.h"
#include "units/projectile.h"
#include "units/team.h"
#include "units/weapon.h"

static POOL s_pool;
static GLL* s_list;

enum {
    // Drawn radii are cut here: a vortex never covers more than the view.
    VORTEX_MAX_DRAWN = 1024,
    VORTEX_ARMS = 3,
    // Palette entries of the swirl: a ramp from its brightest entry at the
    // eye down to the rim; the eye itself white.
    VORTEX_COLOUR_EYE = 15,
    VORTEX_COLOUR_BRIGHT = 255,
    VORTEX_RAMP_STEPS = 12,
    VORTEX_MINIMAP_COLOUR = 250,
};

static void Ensure(void)
{
    if (!s_list) {
        Pool_Init(&s_pool, "VORTEX", sizeof(VORTEX), 16);
        s_list = GLL_Create();
    }
}

// Tells the local team when it sees the tile under map pixel (x, y).
static void TellIfSeen(int x, int y, int msg, int sfx)
{
    if (g_LocalTeam < 0 || g_LocalTeam >= TEAM_MAXTEAMS || x < 0 || y < 0) return;
    if (!Fog_IsSeen(x / 24, y / 24, g_LocalTeam)) return;
    GameMsg_TriggerStdXY(GameMsg_Std(msg), x / 24, y / 24);
    GameMsg_TriggerStdXY(GameMsg_Std(sfx), x / 24, y / 24);
}

VORTEX* Vortex_Open(PROJECTILE* proj, int x, int y)
{
    ASSERT(proj);
    Ensure();
    const WEAPONTYPE* w = proj->weapon;
    VORTEX* v = (VORTEX*)Pool_Alloc(&s_pool);
    v->proj = proj;
    v->x = x;
    v->y = y;
    v->radius = proj->oinfo.areaeffect > 0 ? proj->oinfo.areaeffect : 0;
    int64_t times = w->ispersistent && w->persistent.times > 0 ? w->persistent.times : 0;
    int64_t rate = w->persistent.rate > 1 ? w->persistent.rate : 1;
    int64_t life = times * rate;
    v->life = life < 1 ? 1 : life > INT32_MAX ? INT32_MAX : (int32_t)life;
    v->hitsleft = (int32_t)times;
    GLL_GoLast(s_list);
    GLL_InsertAfter(s_list, v);
    Weapon_KeepProjectile(proj);
    TellIfSeen(x, y, MSG_TEMPORALINSTABILITY, MSG_SFXTEMPRIFT);
    return v;
}

// One update of a vortex; 1 when its time is up.
static int Age(VORTEX* v)
{
    v->age++;
    const WEAPONTYPE* w = v->proj->weapon;
    if (v->hitsleft > 0 && ++v->hitwait >= (w->persistent.rate > 1 ? w->persistent.rate : 1)) {
        v->hitwait = 0;
        v->hitsleft--;
        Weapon_RingDamage(w, &w->persistent.oinfo, v->proj->team, v->x, v->y, -1, INT32_MAX);
    }
    return v->age >= v->life;
}

void Vortex_UpdateAll(void)
{
    if (!s_list) return;
    // Hits never open vortices, so the cursor walk is not disturbed.
    VORTEX* v = (VORTEX*)GLL_GoFirst(s_list);
    while (v) {
        if (!Age(v)) {
            v = (VORTEX*)GLL_GoNext(s_list);
            continue;
        }
        GLL_DeleteCurrent(s_list);
        Weapon_LetGoProjectile(v->proj);
        Pool_Free(&s_pool, v);
        v = (VORTEX*)GLL_GetCurrent(s_list);
    }
}

GLL* Vortex_List(void)
{
    Ensure();
    return s_list;
}

int Vortex_Count(void) { return s_list ? s_list->count : 0; }

// ------------------------------------------------------------------ drawing

// The swirl: arms winding a turn and a half from the eye to the rim, turning
// a sixteenth of a turn an update, bright at the eye and darker outwards.
static void Swirl(BITMAP* dst, const GRECT* clip, int cx, int cy, const VORTEX* v)
{
    int r = v->radius < VORTEX_MAX_DRAWN ? v->radius : VORTEX_MAX_DRAWN;
    if (r < 4) r = 4;
    const int32_t spin = (int32_t)((uint32_t)v->age * (UTIL_FULL_TURN / 16));
    for (int arm = 0; arm < VORTEX_ARMS; arm++) {
        int lx = cx, ly = cy;
        for (int d = 1; d <= r; d++) {
            const int32_t a = spin + arm * ((int32_t)UTIL_FULL_TURN / VORTEX_ARMS) +
                              (int32_t)((int64_t)d * (UTIL_FULL_TURN * 3 / 2) / r);
            const int x = cx + (int)(Util_Cos(a) * (float)d);
            const int y = cy - (int)(Util_Sin(a) * (float)d);
            Graph_DrawLine(dst, clip, 0, lx, ly, x, y,
                           (uint8_t)(VORTEX_COLOUR_BRIGHT - d * VORTEX_RAMP_STEPS / (r + 1)));
            lx = x, ly = y;
        }
    }
    Graph_PutPixel(dst, clip, 0, cx, cy, VORTEX_COLOUR_EYE);
}

void Vortex_DrawAll(void)
{
    if (!s_list || s_list->count == 0) return;
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    const GRECT view = {MAPVIEW_SCREEN_X, MAPVIEW_SCREEN_Y, MAPVIEW_SIZE, MAPVIEW_SIZE};
    for (GLL_NODE* n = s_list->first; n; n = n->next) {
        const VORTEX* v = (const VORTEX*)n->element;
        const int64_t cx = (int64_t)v->x - g_MapView.x + MAPVIEW_SCREEN_X;
        const int64_t cy = (int64_t)v->y - g_MapView.y + MAPVIEW_SCREEN_Y;
        const int64_t reach = VORTEX_MAX_DRAWN + 1;
        if (cx < view.x - reach || cy < view.y - reach || cx > view.x + view.w + reach ||
            cy > view.y + view.h + reach)
            continue;
        Swirl(bb, &view, (int)cx, (int)cy, v);
    }
}

void Vortex_DrawInRect(BITMAP* bitmap)
{
    if (!s_list || !bitmap || !bitmap->data) return;
    for (GLL_NODE* n = s_list->first; n; n = n->next) {
        const VORTEX* v = (const VORTEX*)n->element;
        const int r = (v->radius < VORTEX_MAX_DRAWN ? v->radius : VORTEX_MAX_DRAWN) / 24;
        Graph_DrawCircle(bitmap, nullptr, 0, v->x / 24, v->y / 24, r, VORTEX_MINIMAP_COLOUR);
        Graph_PutPixel(bitmap, nullptr, 0, v->x / 24, v->y / 24, VORTEX_COLOUR_EYE);
    }
}

// ------------------------------------------------------------------ pool

// Open vortices go back to the pool before it closes, so only the close's
// own count reports them, as every pooled record of a game is reported.
static void FreeAll(void)
{
    if (!s_list) return;
    for (GLL_NODE* n = s_list->first; n; n = n->next) Pool_Free(&s_pool, n->element);
    GLL_Destroy(s_list, nullptr);
    s_list = nullptr;
    Pool_Close(&s_pool);
}

void Vortex_Init(void) { FreeAll(); }

void Vortex_Close(void)
{
    TLOG(TLOG_DIAG, "Close - %d extra mallocs", Vortex_Count());
    FreeAll();
}

void Saveget_Vortices(void)
{
    // The list is made on first use: every listing makes it, so that equal
    // games give equal saves whoever asked for the list before.
    Ensure();
    Save_RegisterHead(&s_list, 1, ST_VORTEXGLLHEADER, "vortices");
    Save_RegisterTypePointers(ST_VORTEXGLLHEADER, s_list);
    Save_RegisterBlock(SAVEK_LOCAL, s_list, ST_VORTEXGLLHEADER, sizeof *s_list);
    for (GLL_NODE* n = s_list->first; n && Save_WalkGoesOn(); n = n->next) {
        Save_RegisterTypePointers(ST_VORTEXGLLNODE, n);
        Save_RegisterBlock(SAVEK_LOCAL, n, ST_VORTEXGLLNODE, sizeof *n);
        // A loaded node may name no vortex: listed without one, the load
        // refuses it.
        if (!n->element) continue;
        Save_RegisterTypePointers(ST_VORTEX, n->element);
        Save_RegisterBlock(SAVEK_LOCAL, n->element, ST_VORTEX, sizeof(VORTEX));
    }
}

const char* Vortex_CheckLoaded(void)
{
    int n = 0;
    const GLL_NODE* last = nullptr;
    for (const GLL_NODE* node = s_list ? s_list->first : nullptr; node; last = node, node = node->next) {
        if (node->prev != last || ++n > s_list->count) return "the vortex list's links";
        // Each update ages the vortex and hits with its projectile's weapon.
        if (!node->element || !static_cast<const VORTEX*>(node->element)->proj)
            return "a vortex list node without its vortex or projectile";
    }
    if (s_list && (n != s_list->count || s_list->last != last)) return "the vortex list's count";
    return nullptr;
}

VORTEX* Vortex_AllocRecord(void)
{
    Ensure();
    return (VORTEX*)Pool_Alloc(&s_pool);
}

void Vortex_FreeRecord(VORTEX* v) { Pool_Free(&s_pool, v); }
