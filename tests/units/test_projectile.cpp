// Projectiles: flight to the aim point and what a hit does.
#include "units/projectile.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>
#include <string>

#include "core/uid.h"
#include "gen_sprites.h"
#include "platform/animtype.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "map/fog.h"
#include "map/region.h"
#include "support/world.h"
#include "core/gamestate.h"
#include "rules/gamemsg.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/explosion.h"
#include "units/expltype.h"
#include "units/parts.h"
#include "units/swave.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitstate.h"
#include "units/vortex.h"
#include "units/weapon.h"

namespace {

// A shooter of team 1 at tile (10, 10) and a target of team 2 at (14, 10),
// four tiles east; the shot leaves from the shooter's top-left pixel.
class ProjectileTest : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Projectile_Init();
        Weapon_Init();
        Damage_Init();
        Fog_SetSeeAll(1);
        w_ = Weapon_NewType();
        w_->kind = WLINEAR;
        w_->CanShootGround = 1;
        w_->range = 5.5f * 24;
        w_->initialspeed = 10;
        w_->acceleration = 0;
        w_->maxspeed = 0;
        w_->directhitpointdamage = 7;
        w_->oinfo = OFFENSEINFO{-1, 0, 0};
        tank_->maxhitpoints = 500;
        me_ = Units_NewAt(tank_, 1, -1, 10, 10);
        foe_ = Units_NewAt(tank_, 2, -1, 14, 10);
        part_.unit = me_;
    }
    void TearDown() override
    {
        Fog_SetSeeAll(0);
        Vortex_Close();
        Swave_Close();
        Projectile_Close();
        Weapon_Close();
        Damage_Close();
        Region_FreeAll();
        QvWorldTest::TearDown();
    }
    void Fire(UNIT* at)
    {
        TARGET t;
        Target_Setup(&t, FM_UNIT, at, nullptr, 0, 0);
        PROJECTILEID id;
        ASSERT_EQ(Weapon_MakeProjectile(&id, w_, &t, &part_), 1);
    }
    // Updates until no projectile is left (at most cap); the number run.
    int Fly(int cap, const std::function<void(int)>& each = nullptr)
    {
        int n = 0;
        while (Projectile_Count() > 0 && n < cap) {
            Weapon_UpdateProjectiles();
            if (each) each(++n);
            else ++n;
        }
        return n;
    }
public:
    WEAPONTYPE* w_ = nullptr;
    UNIT* me_ = nullptr;
    UNIT* foe_ = nullptr;
    PART part_{};
};

} // namespace

TEST_F(ProjectileTest, FlightEndsAtTheAimOrTheCap)
{
    const struct {
        const char* what;
        std::function<void(WEAPONTYPE*)> set;
        std::function<void(ProjectileTest*, int)> during; // after each update
        int minupdates, maxupdates;
        bool hitsfoe;
    } rows[] = {
        {"accelerating linear arrives on the fifth update",
         [](WEAPONTYPE* w) { w->acceleration = 10; w->maxspeed = 40; }, nullptr, 5, 5, true},
        // Half a pixel per update used to count as one: 13 updates.
        {"half a pixel's acceleration gains half a pixel an update",
         [](WEAPONTYPE* w) { w->initialspeed = 1; w->acceleration = 0.5f; w->maxspeed = 40; }, nullptr,
         16, 20, true},
        {"speed 0 crawls a pixel per update", [](WEAPONTYPE* w) { w->initialspeed = 0; },
         nullptr, 100, 110, true},
        {"braking stops at a pixel per update", [](WEAPONTYPE* w) { w->initialspeed = 30; w->acceleration = -100; },
         nullptr, 60, 110, true},
        {"homing turning at once follows a moving target",
         [](WEAPONTYPE* w) { w->kind = WHOMING; w->rotationalspeed = 0; },
         [](ProjectileTest* t, int n) { if (n == 2) Units_ChangeTile(t->foe_, 14, 14); }, 3, 20,
         true},
        {"homing whose target dies flies to its last point",
         [](WEAPONTYPE* w) { w->kind = WHOMING; w->rotationalspeed = 0; },
         [](ProjectileTest* t, int n) {
             if (n == 2) { Units_Delete(t->foe_); t->foe_ = nullptr; }
         },
         3, 20, false},
        {"homing that can't turn back ends at its cap",
         [](WEAPONTYPE* w) { w->kind = WHOMING; w->rotationalspeed = 1 << 14; },
         [](ProjectileTest* t, int n) { if (n == 2) Units_ChangeTile(t->foe_, 4, 10); }, 29, 31,
         false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        if (!foe_) foe_ = Units_NewAt(tank_, 2, -1, 14, 10);
        Units_ChangeTile(foe_, 14, 10);
        Units_SetHitpoints(foe_, 500);
        w_->kind = WLINEAR;
        w_->initialspeed = 10, w_->acceleration = 0, w_->maxspeed = 0;
        r.set(w_);
        Fire(foe_);
        int n = Fly(400, [&](int k) { if (r.during) r.during(this, k); });
        EXPECT_EQ(Projectile_Count(), 0);
        EXPECT_GE(n, r.minupdates);
        EXPECT_LE(n, r.maxupdates);
        if (foe_) {
            EXPECT_EQ(foe_->hitpoints, r.hitsfoe ? 493 : 500);
        }
    }
}

TEST_F(ProjectileTest, ImpactHurtsRepairsBoostsAndCounts)
{
    // Beside the target: an ally of the shooter's team (one tile east), and
    // a far unit out of the area.
    UNIT* own = Units_NewAt(tank_, 1, -1, 15, 10);
    UNIT* far = Units_NewAt(tank_, 2, -1, 20, 10);
    const int px = 14 * 24 + 12, py = 10 * 24 + 12;
    const struct {
        const char* what;
        std::function<void(WEAPONTYPE*)> set;
        int foehp, hits;
        int foe, own; // hit points after
        int kills;
        int boosted;
    } rows[] = {
        {"direct and area, own team hurt too",
         [](WEAPONTYPE* w) { w->oinfo = OFFENSEINFO{-1, 20, 30}; }, 500, 1, 473, 480, 0, 0},
        {"repair mends the direct target only",
         [](WEAPONTYPE* w) { w->directhitpointdamage = 0; w->oinfo = OFFENSEINFO{-1, -15, 30}; },
         300, 1, 315, 500, 0, 0},
        {"a booster boosts and does no damage",
         [](WEAPONTYPE* w) { w->boost = WEAPONBOOST{10, 256, 400, 0, 1}; w->oinfo = OFFENSEINFO{-1, 20, 30}; },
         300, 1, 400, 500, 0, 1},
        {"two killing hits count one kill", [](WEAPONTYPE* w) { w->directhitpointdamage = 50; },
         40, 2, 0, 500, 1, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        *w_ = WEAPONTYPE{};
        w_->CanShootGround = 1;
        w_->directhitpointdamage = 7;
        r.set(w_);
        foe_->boost = UNIT_BOOST{};
        Units_SetHitpoints(foe_, r.foehp);
        Units_SetHitpoints(own, 500);
        int kills = teamdata[1].stats.kills_units;
        TARGET t;
        Target_Setup(&t, FM_UNIT, foe_, nullptr, 0, 0);
        for (int i = 0; i < r.hits; i++) Weapon_Impact(w_, &w_->oinfo, &t, 1, px, py);
        EXPECT_EQ(foe_->hitpoints, r.foe);
        EXPECT_EQ(own->hitpoints, r.own);
        EXPECT_EQ(far->hitpoints, 500);
        EXPECT_EQ(teamdata[1].stats.kills_units - kills, r.kills);
        EXPECT_EQ(foe_->boost.state != BS_OFF, r.boosted != 0);
    }
}

TEST_F(ProjectileTest, HarassmentGoesToTheFirstRegionUnderTheHit)
{
    REGION a{1, RT_RECTANGLE, 0, 0, 400, 400, {}}, b{2, RT_RECTANGLE, 0, 0, 800, 800, {}};
    REGION* ra = Region_Add(&a);
    REGION* rb = Region_Add(&b);
    w_->oinfo = OFFENSEINFO{-1, 20, 0};
    Weapon_Impact(w_, &w_->oinfo, nullptr, 1, 100, 100);
    Weapon_Impact(w_, &w_->oinfo, nullptr, 1, 900, 900);
    EXPECT_EQ(ra->harass[1], 20);
    EXPECT_EQ(rb->harass[1], 0);
}

TEST_F(ProjectileTest, ATypeWithoutADefenceClassTakesTheStrengthInFull)
{
    Damage_AddOffense(0);
    w_->oinfo = OFFENSEINFO{0, 30, 10};
    w_->directhitpointdamage = 0;
    for (int i = 0; i < 2; i++) Weapon_DoDamage(14, 10, w_, 1);
    EXPECT_EQ(foe_->hitpoints, 440);
    const std::string text = log_.text();
    const size_t first = text.find("has no defence class");
    EXPECT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find("has no defence class", first + 1), std::string::npos) << text;
}

// Regression: only a unit whose pixel position was its tile's corner was hit;
// one mid-step belongs to the tile under its pixel centre.
TEST_F(ProjectileTest, DamageAtATileHitsTheUnitWhoseCentreIsOnIt)
{
    w_->oinfo = OFFENSEINFO{-1, 30, 0};
    w_->directhitpointdamage = 0;
    const struct {
        int dx, dy; // pixels from the foe's tile corner
        bool hit;
    } rows[] = {{0, 0, true}, {11, -12, true}, {-12, 11, true}, {12, 0, false}, {0, -13, false}};
    for (const auto& r : rows) {
        Units_SetHitpoints(foe_, 500);
        foe_->pixelpos = UNIT_POS{14 * 24 + r.dx, 10 * 24 + r.dy};
        Weapon_DoDamage(14, 10, w_, 1);
        EXPECT_EQ(foe_->hitpoints, r.hit ? 470 : 500) << r.dx << "," << r.dy;
    }
}

TEST_F(ProjectileTest, SelfDestructScalesWithTheOwnersHealthAndKillsIt)
{
    w_->kind = WSELFDESTRUCT;
    w_->directhitpointdamage = 0;
    w_->oinfo = OFFENSEINFO{-1, 100, 30};
    w_->selfdestruct = WEAPONSELFDESTRUCT{1, {20, 50}, {80, 150}};
    const struct { int ownerhp, foeloss; } rows[] = {
        {50, 50}, {325, 125}, {500, 150},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.ownerhp);
        Units_SetHitpoints(foe_, 500);
        UNIT* bomber = Units_NewAt(tank_, 1, -1, 15, 10);
        Units_SetHitpoints(bomber, r.ownerhp);
        part_.unit = bomber;
        Fire(foe_);
        EXPECT_EQ(Fly(2), 1);
        EXPECT_EQ(bomber->hitpoints, 0);
        EXPECT_EQ(500 - foe_->hitpoints, r.foeloss);
        Units_Delete(bomber);
    }
}

TEST_F(ProjectileTest, TwoTeamsFiringEveryKindGiveTheSameStateTwice)
{
    WEAPONTYPE* kinds[WKIND_COUNT];
    for (int k = 0; k < WKIND_COUNT; k++) {
        kinds[k] = Weapon_NewType();
        *kinds[k] = *w_;
        kinds[k]->kind = k;
        kinds[k]->acceleration = (float)k;
        kinds[k]->maxspeed = 25;
        kinds[k]->rotationalspeed = k << 18;
        kinds[k]->oinfo = OFFENSEINFO{-1, 3 + k, 20 * k};
        kinds[k]->selfdestruct = WEAPONSELFDESTRUCT{1, {0, 10}, {100, 60}};
        kinds[k]->ispersistent = k % 2 == 0;
        kinds[k]->persistent = WEAPONPERSISTENT{k, 3, OFFENSEINFO{-1, 2, 30}};
    }
    kinds[WWAVE]->maxspeed = 7;
    auto run = [&](std::vector<uint64_t>* digests) {
        Units_Delete(me_);
        Units_Delete(foe_);
        QvWorld_Close();
        QvWorld_Open(64, 64);
        Uid_Reset();
        tank_ = QvWorld_UnitType("Tank");
        tank_->maxhitpoints = 200;
        std::vector<UNIT*> units;
        for (int i = 0; i < 8; i++) units.push_back(Units_NewAt(tank_, 1 + i % 2, -1, 8 + 3 * (i % 2), 8 + 2 * i));
        std::vector<PART> parts(units.size());
        int vortices = 0, waves = 0;
        for (int n = 0; n < 500; n++) {
            for (size_t i = 0; i < units.size(); i++) {
                UNIT* u = units[i];
                UNIT* aim = units[(i + 1 + 2 * (n % 4)) % units.size()];
                if (u->hitpoints < 1 || aim->hitpoints < 1 || (n + (int)i) % 9 != 0) continue;
                parts[i].unit = u;
                WEAPONTYPE* w = kinds[(n / 9 + i) % WKIND_COUNT];
                if (w->kind == WSELFDESTRUCT && n < 400) w = kinds[0];
                TARGET t;
                Target_Setup(&t, FM_UNIT, aim, nullptr, 0, 0);
                PROJECTILEID id;
                Weapon_MakeProjectile(&id, w, &t, &parts[i]);
            }
            Swave_UpdateAll();
            Vortex_UpdateAll();
            Weapon_UpdateProjectiles();
            vortices += Vortex_Count();
            waves += Swave_Count();
            digests->push_back(QvDigest_State());
        }
        EXPECT_GT(vortices, 0);
        EXPECT_GT(waves, 0);
        Vortex_Close();
        Swave_Close();
        Projectile_Close();
        for (UNIT* u : units) Units_Delete(u);
        me_ = Units_NewAt(tank_, 1, -1, 10, 10);
        foe_ = Units_NewAt(tank_, 2, -1, 14, 10);
    };
    std::vector<uint64_t> a, b;
    run(&a);
    run(&b);
    for (size_t i = 0; i < a.size(); i++) ASSERT_EQ(a[i], b[i]) << "update " << i;
    EXPECT_NE(a[10], a[499]);
}

TEST_F(ProjectileTest, TheLocalPlayerHearsOfHitsOnItsOwnAndItsAllies)
{
    std::string file;
    for (const char* m : {"MSG_UNDERATTACK", "MSG_ATTACKED", "MSG_ALLYUNDERATTACK", "MSG_ALLYATTACK"})
        file += std::string("CreateMsg(\"") + m + "\") { }\n";
    {
        QvLocalMessages local(file);
        GameMsg_Init();
    }
    GameMsg_LookupStdIds();
    const int oldlocal = g_LocalTeam;
    g_LocalTeam = 1;
    for (int a : {1, 2, 3})
        for (int b : {1, 2, 3})
            if (a != b) Team_SetRelation(a, b, (a == 2 || b == 2) ? TR_ENEMY : TR_ALLY);
    BUILDING* depot = Build_New(QvWorld_BuildingType("Depot", 2, 2), 1, -1, 20, 20);
    UNIT* ally = Units_NewAt(tank_, 3, -1, 30, 30);
    const struct {
        int attacker, x, y; // the tile hit
        int msg;            // -1: none
    } rows[] = {
        {2, 10, 10, MSG_UNDERATTACK},
        {2, 20, 20, MSG_ATTACKED},
        {2, 30, 30, MSG_ALLYUNDERATTACK},
        {3, 10, 10, MSG_ALLYATTACK},
        {1, 14, 10, -1},
        {3, 14, 10, -1},
    };
    const int msgs[] = {MSG_UNDERATTACK, MSG_ATTACKED, MSG_ALLYUNDERATTACK, MSG_ALLYATTACK};
    w_->oinfo = OFFENSEINFO{-1, 5, 0};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.msg);
        for (int m : msgs) GameMsg_Std(m)->lasttime = -1000000;
        // A blast of no radius on the tile's centre: it spares no team.
        Weapon_RingDamage(w_, &w_->oinfo, r.attacker, r.x * 24 + 12, r.y * 24 + 12, -1, 0);
        for (int m : msgs) EXPECT_EQ(GameMsg_Std(m)->lasttime != -1000000, m == r.msg) << m;
    }
    EXPECT_EQ(ally->hitpoints, 495);
    Build_Remove(depot);
    g_LocalTeam = oldlocal;
    GameMsg_ResetStdIds();
    GameMsg_Close();
}

TEST_F(ProjectileTest, LingeringDamageHitsTheAreaAgainThenFrees)
{
    // The shot lands at the foe's centre on the 5th update, 24 pixels a step.
    w_->initialspeed = 24, w_->directhitpointdamage = 0, w_->ispersistent = 1;
    const struct {
        int times, rate, hp, freed; // the foe's hit points when the shot is freed
    } rows[] = {{3, 2, 470, 11}, {2, 0, 480, 7}, {-2, 1, 500, 5}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.times);
        Units_SetHitpoints(foe_, 500);
        w_->persistent = WEAPONPERSISTENT{r.times, r.rate, OFFENSEINFO{-1, 10, 12}};
        Fire(foe_);
        EXPECT_EQ(Fly(100), r.freed);
        EXPECT_EQ(foe_->hitpoints, r.hp);
    }
}

namespace {

// The display list open, a shell animation (frames 2..3 of an 8-rotation
// sprite) and an explosion type each for firing, smoke and the hit.
class ProjectileShowTest : public ProjectileTest {
protected:
    void SetUp() override
    {
        ProjectileTest::SetUp();
        SortDisp_Init();
        AnimType_Init();
        ExplType_Init();
        Expl_Init();
        GENSPRITE g;
        GenSprite_Pattern(SPRITE_REGULAR, 4, 8, 8, 8, &g);
        SPRITE_DESC d = g.Desc();
        const std::string path = dir_.file("shell.spr");
        ASSERT_EQ(Sprite_Write(path.c_str(), &d), 1);
        shell_ = AnimType_New("Shell");
        ASSERT_EQ(AnimType_SetSprite(shell_, Sprite_Load(path.c_str())), 1);
        ASSERT_EQ(AnimType_AddFrames(shell_, 2, 3, 1), 1);
        w_->InFlightAnimation = shell_;
        w_->FireExplosion = fire_ = Expl_AddType("Fire");
        w_->SmokeExplosion = smoke_ = Expl_AddType("Smoke");
        w_->HitExplosion = hit_ = Expl_AddType("Hit");
    }
    void TearDown() override
    {
        Vortex_Close();
        Swave_Close();
        Projectile_Close();
        Expl_Close();
        ExplType_Close();
        AnimType_Close();
        SortDisp_Close();
        ProjectileTest::TearDown();
    }
    static int Explosions(const EXPLTYPE* type)
    {
        int n = 0;
        for (const EXPL* e = Expl_First(); e; e = e->next) n += e->type == type;
        return n;
    }

    QvTempDir dir_;
    ANIMTYPE* shell_ = nullptr;
    EXPLTYPE *fire_ = nullptr, *smoke_ = nullptr, *hit_ = nullptr;
};

} // namespace

TEST_F(ProjectileShowTest, ShownOnItsWayWithFireSmokeAndHitExplosions)
{
    const struct {
        const char* what;
        int kind, smokedelay;
        int smokes;        // smoke explosions when it lands on the 11th update
    } rows[] = {
        {"straight, smoking every third update", WLINEAR, 3, 3},
        {"homing, smoking every update", WHOMING, 1, 10},
        {"no smoke for a delay of 0", WLINEAR, 0, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Expl_Close();
        Expl_Init();
        Units_SetHitpoints(foe_, 500);
        w_->kind = r.kind;
        w_->rotationalspeed = 0;
        w_->SmokeDelay = r.smokedelay;
        Fire(foe_);
        PROJECTILE* p = Projectile_First();
        ASSERT_NE(p->display, nullptr);
        EXPECT_EQ(SortDisp_GetSprite(p->display), shell_->sprite);
        EXPECT_EQ(SortDisp_GetFrame(p->display), 2);
        EXPECT_EQ(Explosions(fire_), 1);
        EXPECT_EQ(Expl_First()->part, &part_);
        EXPECT_EQ(Expl_First()->x, p->x);
        int n = 0;
        std::vector<int> frames;  // the animation plays 2, 3 and ends on its last frame
        while (Projectile_Count() > 0 && n < 50) {
            if (n < 3) frames.push_back(SortDisp_GetFrame(p->display));
            EXPECT_EQ(p->display->x, p->x);
            EXPECT_EQ(p->display->y, p->y);
            EXPECT_EQ(SortDisp_GetDirection(p->display), (p->heading >> 16) & 255);
            Weapon_UpdateProjectiles();
            n++;
        }
        EXPECT_EQ(n, 11);
        EXPECT_EQ(frames, std::vector<int>({2, 3, 3}));
        EXPECT_EQ(SortDisp_Count(), 0);
        EXPECT_EQ(Explosions(smoke_), r.smokes);
        ASSERT_EQ(Explosions(hit_), 1);
        EXPECT_EQ(Expl_Count(), 2 + r.smokes);
        const EXPL* h = Expl_First();
        while (h->type != hit_) h = h->next;
        EXPECT_EQ(h->x, foe_->pixelpos.x + 12);
        EXPECT_EQ(h->y, foe_->pixelpos.y + 12);
    }
}
