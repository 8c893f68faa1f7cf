// Vortices: what a vortex weapon leaves where it lands.
//
// A vortex stays at the impact for its weapon's lingering time and carries
// that lingering damage: every "rate" updates its weapon's persistent offense
// hits the area around the centre again. The projectile that opened it stays
// on the projectile list, undrawn, as long as the vortex keeps it.
//
// Records come from a pool with a free list and sit on one GLL in opening
// order; update step 3 ages them (after the shock waves) in that order.
#pragma once

#include <cstdint>

struct BITMAP;
struct GLL;
struct PROJECTILE;

struct VORTEX {
    PROJECTILE* proj;   // the shot that opened it
    int32_t x, y;       // centre, map pixels
    int32_t radius;     // drawn radius, pixels (the weapon's area, 0 when negative)
    int32_t age;        // updates since it opened
    int32_t life;       // updates it lasts, at least 1
    int32_t hitsleft;   // lingering hits still to come
    int32_t hitwait;    // updates since the last lingering hit
};

// Opens a vortex of proj's weapon at map pixel (x, y) at the end of the
// list and keeps proj (Weapon_KeepProjectile); tells the local team when it
// sees the tile ("MSG_TEMPORALINSTABILITY", "MSG_SFXTEMPRIFT"). Asserts proj.
VORTEX* Vortex_Open(PROJECTILE* proj, int x, int y);
// Update step 3, second half: every vortex ages one update in list order,
// hits on its rate, and the ones whose time is up close and let their
// projectile go.
void Vortex_UpdateAll(void);
// The list (elements VORTEX*, opening order) and its length.
GLL* Vortex_List(void);
int Vortex_Count(void);
// Draws every vortex over the map view of the back buffer (456 x 456 at
// screen y 32, from g_MapView); nothing without a back buffer.
void Vortex_DrawAll(void);
// Draws every vortex into a map-sized bitmap, one pixel per tile.
void Vortex_DrawInRect(BITMAP* bitmap);
// The common-systems entries: both free every vortex without letting go of
// projectiles (their list goes too); the close logs "Close - %d extra
// mallocs" with the vortices still open.
void Vortex_Init(void);
void Vortex_Close(void);

// Registers the vortex list: its head variable, its header and nodes and
// each vortex.
void Saveget_Vortices(void);
// After a load: null, or what is wrong with the loaded vortex list.
const char* Vortex_CheckLoaded(void);
// A zeroed record for a loaded vortex, and one given back.
VORTEX* Vortex_AllocRecord(void);
void Vortex_FreeRecord(VORTEX* v);
