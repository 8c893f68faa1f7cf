// Vortices and shock waves: what they hit and when, the projectile they
// keep, the local team's messages and the three pictures.
#include "units/vortex.h"

#include <gtest/gtest.h>

#include <string>

#include "core/config.h"
#include "core/gamestate.h"
#include "gen_palette.h"
#include "map/fog.h"
#include "map/mapview.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "rules/gamemsg.h"
#include "support/golden.h"
#include "support/world.h"
#include "units/damage.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/unit.h"
#include "units/unitstate.h"
#include "units/weapon.h"

namespace {

// A shooter of team 1 at tile (10, 10), its target of team 2 at (14, 10)
// (96 pixels east: a shot of 24 pixels an update lands on the 5th update), a
// bystander of team 1 at (15, 10), 24 pixels beyond the target.
class VortexTest : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Projectile_Init();
        Vortex_Init();
        Swave_Init();
        Weapon_Init();
        Damage_Init();
        w_ = Weapon_NewType();
        w_->CanShootGround = 1;
        w_->range = 5.5f * 24;
        w_->initialspeed = 24;
        w_->maxspeed = 10;
        w_->oinfo = OFFENSEINFO{-1, 20, 40};
        tank_->maxhitpoints = 500;
        me_ = Units_NewAt(tank_, 1, -1, 10, 10);
        foe_ = Units_NewAt(tank_, 2, -1, 14, 10);
        by_ = Units_NewAt(tank_, 1, -1, 15, 10);
        part_.unit = me_;
    }
    void TearDown() override
    {
        Vortex_Close();
        Swave_Close();
        Projectile_Close();
        Weapon_Close();
        Damage_Close();
        QvWorldTest::TearDown();
    }
    void Fire(int tx, int ty)
    {
        TARGET t;
        Target_Setup(&t, FM_GROUND, nullptr, nullptr, tx, ty);
        PROJECTILEID id;
        ASSERT_EQ(Weapon_MakeProjectile(&id, w_, &t, &part_), 1);
    }
    // One update's steps 3 and 7 as the game runs them.
    static void Update()
    {
        Swave_UpdateAll();
        Vortex_UpdateAll();
        Weapon_UpdateProjectiles();
    }

    WEAPONTYPE* w_ = nullptr;
    UNIT* me_ = nullptr;
    UNIT* foe_ = nullptr;
    UNIT* by_ = nullptr;
    PART part_{};
};

} // namespace

TEST_F(VortexTest, EffectsHitOnTheirTimeThenFreeTheirProjectile)
{
    const struct {
        const char* what;
        int kind, persistent, times, rate, area;
        int opened;    // the update a vortex or wave shows first (0: none)
        int freed;     // the update after which no projectile is left
        int foe, by;   // hit points then
        int byhitat;   // the update the bystander is first hurt (0: never)
    } rows[] = {
        {"vortex carries the lingering hits", WVORTEX, 1, 3, 2, 40, 5, 11, 420, 420, 5},
        {"vortex without lingering lasts one update", WVORTEX, 0, 3, 2, 40, 5, 6, 480, 480, 5},
        {"vortex rate below 1 hits every update", WVORTEX, 1, 2, -3, 40, 5, 7, 440, 440, 5},
        {"vortex negative times lasts one update", WVORTEX, 1, -4, 5, 40, 5, 6, 480, 480, 5},
        {"vortex negative area: direct only, lingering still", WVORTEX, 1, 1, 1, -1, 5, 6, 480, 480, 6},
        {"wave ring reaches the bystander on its third update", WWAVE, 0, 0, 1, 40, 5, 9, 480, 480, 8},
        {"wave and lingering: kept till both end", WWAVE, 1, 1, 10, 40, 5, 15, 460, 460, 8},
        {"wave of area 0 hits the centre once", WWAVE, 0, 0, 1, 0, 5, 6, 480, 500, 0},
        {"wave of negative area doesn't start", WWAVE, 0, 0, 1, -1, 0, 5, 500, 500, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Units_SetHitpoints(foe_, 500);
        Units_SetHitpoints(by_, 500);
        w_->kind = r.kind;
        w_->ispersistent = (uint8_t)r.persistent;
        w_->oinfo.areaeffect = r.area;
        w_->persistent = WEAPONPERSISTENT{r.times, r.rate, OFFENSEINFO{-1, 20, 30}};
        Fire(14, 10);
        int opened = 0, freed = 0, byhit = 0;
        for (int n = 1; n <= 40 && !freed; n++) {
            Update();
            if (!opened && Vortex_Count() + Swave_Count() > 0) opened = n;
            if (!byhit && by_->hitpoints < 500) byhit = n;
            if (Projectile_Count() == 0) freed = n;
        }
        EXPECT_EQ(opened, r.opened);
        EXPECT_EQ(freed, r.freed);
        EXPECT_EQ(Vortex_Count() + Swave_Count(), 0);
        EXPECT_EQ(foe_->hitpoints, r.foe);
        EXPECT_EQ(by_->hitpoints, r.by);
        EXPECT_EQ(byhit, r.byhitat);
    }
}

TEST_F(VortexTest, TheLocalTeamHearsOfRiftsAndRumblesItSees)
{
    std::string file;
    for (const char* m :
         {"MSG_TEMPORALINSTABILITY", "MSG_SFXTEMPRIFT", "MSG_SEISMICDETECT", "MSG_SFXRUMBLE"})
        file += std::string("CreateMsg(\"") + m + "\") { }\n";
    {
        QvLocalMessages local(file);
        GameMsg_Init();
    }
    GameMsg_LookupStdIds();
    const int oldlocal = g_LocalTeam;
    SEEMAP sight{};
    Fog_Sweep(&sight, 14, 10, 2, 1, 1); // team 1 sees around the target only
    const int msgs[] = {MSG_TEMPORALINSTABILITY, MSG_SFXTEMPRIFT, MSG_SEISMICDETECT,
                        MSG_SFXRUMBLE};
    const struct {
        const char* what;
        int kind, local, tx, ty;
        bool rift, rumble;
    } rows[] = {
        {"vortex seen", WVORTEX, 1, 14, 10, true, false},
        {"wave seen", WWAVE, 1, 14, 10, false, true},
        {"vortex unseen", WVORTEX, 1, 14, 20, false, false},
        {"wave unseen", WWAVE, 1, 14, 20, false, false},
        {"seen by another team only", WWAVE, 3, 14, 10, false, false},
        {"no local team", WVORTEX, -1, 14, 10, false, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        for (int m : msgs) GameMsg_Std(m)->lasttime = -1000000;
        g_LocalTeam = r.local;
        w_->kind = r.kind;
        Fire(r.tx, r.ty);
        for (int n = 0; n < 30 && Projectile_Count() > 0; n++) Update();
        for (int m : {MSG_TEMPORALINSTABILITY, MSG_SFXTEMPRIFT})
            EXPECT_EQ(GameMsg_Std(m)->lasttime != -1000000, r.rift) << m;
        for (int m : {MSG_SEISMICDETECT, MSG_SFXRUMBLE})
            EXPECT_EQ(GameMsg_Std(m)->lasttime != -1000000, r.rumble) << m;
    }
    Fog_Unsweep(&sight);
    g_LocalTeam = oldlocal;
    GameMsg_ResetStdIds();
    GameMsg_Close();
}

namespace {

// The headless display with the demo palette, a vortex of radius 60 at
// pixel (200, 150) of a 64 x 64 map, four updates old, and a wave of area
// 300 at (700, 500), grown three times to 192 pixels (lenses 2 tiles wide).
class VortexPicture : public VortexTest {
protected:
    void SetUp() override
    {
        VortexTest::SetUp();
        Plat_InitWith(&g_PlatHeadless);
        Cfg_SetDefaults(&g_Config);
        Input_Init();
        Video_Init();
        Mkdata_DemoPalette(&g_PalInfo);
        Display_ApplyPalette();
        Map_SetViewPixelPos(100, 50);
        w_->initialspeed = 2000;
        w_->kind = WVORTEX;
        w_->ispersistent = 1;
        w_->persistent = WEAPONPERSISTENT{5, 2, OFFENSEINFO{-1, 0, 0}};
        w_->oinfo = OFFENSEINFO{-1, 0, 60};
        Fire(200 / 24, 150 / 24);
        Update();
        w_->kind = WWAVE;
        w_->maxspeed = 64;
        w_->oinfo = OFFENSEINFO{-1, 0, 300};
        Fire(700 / 24, 500 / 24);
        for (int n = 0; n < 4; n++) Update();
        ASSERT_EQ(Vortex_Count(), 1);
        ASSERT_EQ(Swave_Count(), 1);
        Graph_InitBitmap(&map_, 64, 64, nullptr);
        for (int i = 0; i < 64 * 64; i++) map_.data[i] = Pattern(i % 64, i / 64);
    }
    void TearDown() override
    {
        Graph_FreeBitmap(&map_);
        Map_SetViewPixelPos(0, 0);
        Video_Close();
        Input_Close();
        Plat_Close();
        VortexTest::TearDown();
    }
    static uint8_t Pattern(int x, int y) { return (uint8_t)(1 + (x * 7 + y * 13) % 250); }
    BITMAP map_{};
};

} // namespace

// To record new values after a deliberate change of a picture: run
// test_units --gtest_filter='VortexPicture.*'; a mismatch prints the CRC and
// writes the picture as a PCX in the working directory.
const uint32_t kGoldenVortexView = 0x8351ADF1u;
const uint32_t kGoldenVortexMinimap = 0x26008715u;
const uint32_t kGoldenWaveLens = 0xBDC62966u;

TEST_F(VortexPicture, DrawingsMatchTheRecordedPictures)
{
    BITMAP* bb = Backbuf_Lock();
    ASSERT_NE(bb, nullptr);
    Graph_ClearBitmap(bb, 0);
    Vortex_DrawAll();
    EXPECT_TRUE(DemoFixture_Matches(bb->data, g_Palette, kGoldenVortexView, "vortex_view.pcx"));
    // Nothing outside the map view.
    for (int x = 0; x < 640; x++) EXPECT_EQ(bb->data[x + 31 * 640], 0) << x;

    Vortex_DrawInRect(&map_);
    EXPECT_TRUE(Golden_BitmapMatches(&map_, g_Palette, kGoldenVortexMinimap, "vortex_map.pcx"));

    for (int i = 0; i < 64 * 64; i++) map_.data[i] = Pattern(i % 64, i / 64);
    Swave_DrawLens(&map_);
    EXPECT_TRUE(Golden_BitmapMatches(&map_, g_Palette, kGoldenWaveLens, "wave_lens.pcx"));
    // The last lens drawn shows the pixels half as far from its centre.
    const SWaveNode& b = Swave_First()->bubble[SWAVE_BUBBLES - 1];
    const int cx = b.x / 24, cy = b.y / 24, r = b.radius / 24;
    ASSERT_EQ(r, 2);
    for (int dy = -r; dy <= r; dy++) {
        for (int dx = -r; dx <= r; dx++) {
            if (dx * dx + dy * dy > r * r) continue;
            EXPECT_EQ(map_.data[(cy + dy) * 64 + cx + dx], Pattern(cx + dx / 2, cy + dy / 2))
                << dx << "," << dy;
        }
    }
}
