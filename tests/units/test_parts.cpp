// Parts: the type table and its checks, turning, animation, firing,
// ammunition, health effects and the parts of a unit.
#include "units/parts.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/tlog.h"
#include "core/gamestate.h"
#include "gen_sprites.h"
#include "map/fog.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/explosion.h"
#include "units/expltype.h"
#include "units/hlthexpl.h"
#include "units/projectile.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/weapon.h"

namespace {

class PartTypes : public testing::Test {
protected:
    void SetUp() override
    {
        Parts_Init();
        Weapon_Init();
    }
    void TearDown() override
    {
        for (int i = 0; i < g_NrPartTypes; i++) g_PartTypes[i].sprite = nullptr;
        Parts_Close();
        Weapon_Close();
    }
    QvLogCapture log_{TLOG_DIAG};
    SPRITE sprite_{};
};

} // namespace

TEST_F(PartTypes, TheTableHoldsOneHundredAndTwentyEightTypes)
{
    for (int i = 0; i < PARTS_MAXTYPES; i++) ASSERT_NE(Parts_NewType(), nullptr) << i;
    EXPECT_EQ(Parts_NewType(), nullptr);
    EXPECT_NE(log_.text().find("Max number of part types exceeded"), std::string::npos);
}

TEST_F(PartTypes, SetupReportsTheFirstFaultInOrder)
{
    WEAPONTYPE* w = Weapon_NewType();
    const struct {
        std::function<void(PARTTYPE*)> spoil;
        const char* fault; // null: usable
    } rows[] = {
        {[](PARTTYPE*) {}, nullptr},
        {[](PARTTYPE* t) { t->spritename[0] = 0; t->sprite = nullptr; }, "Sprite filename not defined"},
        {[](PARTTYPE* t) { t->sprite = nullptr; t->nrweapons = 9; }, "Sprite handle is NULL"},
        {[](PARTTYPE* t) { t->nrweapons = -1; }, "Invalid number of weapons -1"},
        {[](PARTTYPE* t) { t->weapons[1].type = nullptr; t->weapons[0].fireframe = -2; },
         "Bad fire frame -2 for weapon 0"},
        {[](PARTTYPE* t) { t->weapons[1].type = nullptr; t->halfrotationangle = -1; },
         "Weapon type for weapon 1 is NULL"},
        {[](PARTTYPE* t) { t->weapons[2].type = nullptr; t->halfrotationangle = -1; },
         "Bad half rotation angle -1"},
        {[](PARTTYPE* t) { t->scandelay = -3; }, "Bad scan delay -3"},
    };
    for (const auto& r : rows) {
        Parts_Close();
        PARTTYPE* t = Parts_NewType();
        snprintf(t->spritename, sizeof t->spritename, "turret");
        t->sprite = &sprite_;
        t->nrweapons = 2;
        t->weapons[0].type = t->weapons[1].type = w;
        r.spoil(t);
        log_.clear();
        EXPECT_EQ(Parts_SetupType(t), r.fault ? 0 : 1) << (r.fault ? r.fault : "usable");
        if (r.fault) {
            EXPECT_NE(log_.text().find(r.fault), std::string::npos) << log_.text();
        }
        t->sprite = nullptr;
    }
}

// ---- instances

namespace {

// A world with two tanks, a body type (the base) and a turret type on
// sprites of 8 rotations and 4 frames (section 0: frame 0; section 1: frames
// 1..3, the fire animation), a gun of range 5 tiles, everything seen.
class PartTest : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        SortDisp_Init();
        Parts_Init();
        Projectile_Init();
        Weapon_Init();
        Fog_SetSeeAll(1);
        sprite_ = MakeSprite(8);
        gun_ = Weapon_NewType();
        gun_->CanShootGround = 1;
        gun_->maxammo = 3;
        gun_->firedelay = 4;
        gun_->tilerange = 5;
        gun_->range = 5.5f * 24;
        body_ = NewType(0);
        turret_ = NewType(1);
        me_ = Units_NewAt(tank_, 1, -1, 10, 10);
        foe_ = Units_NewAt(tank_, 2, -1, 13, 10);
    }
    void TearDown() override
    {
        for (auto p = parts_.rbegin(); p != parts_.rend(); ++p)
            if ((*p)->id != -1) Parts_Delete(*p);
        for (int i = 0; i < g_NrPartTypes; i++) g_PartTypes[i].sprite = nullptr; // sprite_ is ours
        Fog_SetSeeAll(0);
        Parts_Close();
        Projectile_Close();
        Sprite_Free(sprite_);
        SortDisp_Close();
        Weapon_Close();
        QvWorldTest::TearDown();
    }
    SPRITE* MakeSprite(int rotations)
    {
        GENSPRITE g;
        GenSprite_Pattern(SPRITE_REGULAR, 4, rotations, 8, 8, &g);
        g.sectionno = {0, 1};
        g.sections = {{0, 0, SPRITE_SPEED_ONE, 0}, {1, 3, SPRITE_SPEED_ONE, 0}};
        SPRITE_DESC d = g.Desc();
        std::string path = dir_.file("s" + std::to_string(rotations) + ".spr");
        EXPECT_EQ(Sprite_Write(path.c_str(), &d), 1);
        return Sprite_Load(path.c_str());
    }
    PARTTYPE* NewType(int weapons)
    {
        PARTTYPE* t = Parts_NewType();
        t->sprite = sprite_;
        t->nrweapons = weapons;
        t->weapons[0] = {gun_, 1, 1};
        return t;
    }
    PART* Make(PARTTYPE* t, PART* below, int facing, UNIT* u = nullptr)
    {
        parts_.push_back(Parts_New(t, u ? u : me_, below, facing, 1));
        return parts_.back();
    }
    void Run(PART* p, int updates)
    {
        for (int i = 0; i < updates; i++) {
            g_UpdateCount++;
            for (PART* q = p; q; q = q->partdown) Parts_Process(q);
        }
    }
    TARGET At(UNIT* u)
    {
        TARGET t;
        Target_Setup(&t, FM_GROUND, nullptr, nullptr, u->tilepos.x, u->tilepos.y);
        return t;
    }

    QvTempDir dir_;
    SPRITE* sprite_ = nullptr;
    WEAPONTYPE* gun_ = nullptr;
    PARTTYPE* body_ = nullptr;
    PARTTYPE* turret_ = nullptr;
    UNIT* me_ = nullptr;
    UNIT* foe_ = nullptr;
    std::vector<PART*> parts_;
};

const int32_t Q = 1 << 22; // a quarter turn

} // namespace

TEST(PartAngles, RelativeAnglesClampToTheLimitOnEitherSide)
{
    const struct { int32_t r, limit, out; } rows[] = {
        {Q, Q / 2, Q / 2},
        {(1 << 24) - Q, Q / 2, (1 << 24) - Q / 2},
        {(1 << 24) - 1, 0, 0},
        {Q, (1 << 24) + Q / 2, Q / 2},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Parts_ClampRelative(r.r, r.limit), r.out) << r.r << " " << r.limit;
}

class PartTurning : public PartTest {};

TEST_F(PartTurning, DirectionIsTheNearestRotation)
{
    const struct {
        int rotations, facing, direction;
    } rows[] = {{8, 15, 0}, {8, 16, 1}, {8, 250, 0}, {3, 43, 1}};
    for (const auto& r : rows) {
        SPRITE* s = MakeSprite(r.rotations);
        body_->sprite = s;
        PART* p = Make(body_, nullptr, r.facing);
        EXPECT_EQ(Parts_GetDirection(p), r.direction) << r.rotations << " " << r.facing;
        Parts_Delete(p);
        Sprite_Free(s);
    }
    body_->sprite = sprite_;
}

TEST_F(PartTurning, TurretsTurnWithinTheirLimitAndPushAnIdleBase)
{
    const struct {
        const char* why;
        int32_t bodyspeed, turretspeed, limit;
        bool busybase;
        int facing, updates;
        int32_t body, turret; // angles after
    } rows[] = {
        {"a whole turn per update arrives at once", 1 << 24, 1 << 24, 1 << 23, false, 64, 1, 0, Q},
        {"limit 0 keeps the body's angle", Q / 4, 1 << 24, 0, false, 64, 3, Q * 3 / 4, Q * 3 / 4},
        {"past the limit the idle body turns", Q / 4, Q, Q / 2, false, 64, 1, Q / 4, Q * 3 / 4},
        {"a busy body is not pushed", Q / 4, Q, Q / 2, true, 64, 1, 0, Q / 2},
        {"clockwise the same way", Q / 4, Q, Q / 2, false, 192, 1, -Q / 4, -Q * 3 / 4},
    };
    for (const auto& r : rows) {
        body_->rotationspeed = r.bodyspeed;
        turret_->rotationspeed = r.turretspeed;
        turret_->halfrotationangle = r.limit;
        PART* base = Make(body_, nullptr, 0);
        PART* top = Make(turret_, base, 0);
        if (r.busybase) Parts_SetRotateState(base, 0);
        Parts_RotateTo(top, r.facing);
        for (int i = 0; i < r.updates; i++) {
            g_UpdateCount++;
            Parts_Process(top);
            Parts_Process(base);
        }
        EXPECT_EQ(base->angle, r.body & ((1 << 24) - 1)) << r.why;
        EXPECT_EQ(top->angle, r.turret & ((1 << 24) - 1)) << r.why;
        Parts_Delete(top);
        Parts_Delete(base);
    }
}

TEST_F(PartTurning, ARotationEndsAWholeUpdateAfterItsLastStep)
{
    turret_->rotationspeed = Q / 2;
    PART* p = Make(turret_, nullptr, 0);
    Parts_RotateTo(p, 64);
    Run(p, 2);
    ASSERT_EQ(p->angle, Q) << "arrived in update N";
    Run(p, 1);
    EXPECT_EQ(p->state.state, PS_ROTATE) << "N + 1: it has not stood still for an update";
    Run(p, 1);
    EXPECT_EQ(p->state.state, PS_IDLE) << "N + 2";
}

class PartAnimation : public PartTest {};

TEST_F(PartAnimation, EachModeEndsItsOwnWay)
{
    const struct { int mode, updates; int32_t speed; int frame, endmode, state; } rows[] = {
        {PAM_LOOP, 3, PARTS_SPEED_ONE, 1, PAM_LOOP, 2},   // 1 2 3 1
        {PAM_LOOP, 1, 7 * PARTS_SPEED_ONE, 1, PAM_LOOP, 2}, // 8 wraps to 5, still past: first
        {PAM_ONCE, 3, PARTS_SPEED_ONE, 0, PAM_STILL, 1},  // back to the default
        {PAM_BACKWARD, 3, PARTS_SPEED_ONE, 0, PAM_STILL, 1},
        {PAM_STILL, 5, PARTS_SPEED_ONE, 1, PAM_STILL, 1},
    };
    PART* p = Make(turret_, nullptr, 0);
    for (const auto& r : rows) {
        Parts_ResetAnimation(p);
        Parts_PlayAnimation(p, 1, r.speed, r.mode);
        for (int i = 0; i < r.updates; i++) Parts_UpdateAnimation(p);
        EXPECT_EQ(Parts_GetFrame(p), r.frame) << r.mode << " " << r.updates;
        EXPECT_EQ(p->anim.mode, r.endmode) << r.mode << " " << r.updates;
        EXPECT_EQ(Parts_AnimationState(p), r.state) << r.mode << " " << r.updates;
    }
}

class PartFiring : public PartTest {};

// Fire frame 1 and fire delay 4: a shot every 4 updates while the target
// stands in range; what ends the firing decides the state after.
TEST_F(PartFiring, FiresInCyclesUntilAmmunitionTargetOrRangeRunOut)
{
    const struct {
        const char* why;
        int maxammo, updates;
        std::function<void(UNIT**)> between; // after the first shot
        int shots, ammo, state;
    } rows[] = {
        {"three rounds then out", 3, 30, nullptr, 3, 0, PS_IDLE},
        {"never runs out", 0, 30, nullptr, 5, 1, PS_FIRING}, // launches at 3, 9, .. 27
        {"out of range between shots", 3, 30, [](UNIT** foe) { Units_SetUnitPosition(*foe, 30, 10); }, 1, 2, PS_IDLE},
        {"target lost between shots", 3, 30, [](UNIT** foe) { Units_Delete(*foe); *foe = nullptr; }, 1, 2, PS_IDLE},
    };
    for (const auto& r : rows) {
        if (!foe_) foe_ = Units_NewAt(tank_, 2, -1, 13, 10);
        Units_SetUnitPosition(foe_, 13, 10);
        gun_->maxammo = r.maxammo;
        PART* p = Make(turret_, nullptr, 0);
        TARGET t;
        Target_Setup(&t, FM_UNIT, foe_, nullptr, 0, 0);
        gun_->CanShootGroundUnit = 1;
        Parts_Fire(p, &t);
        int before = Projectile_Count();
        for (int i = 0; i < r.updates; i++) {
            Run(p, 1);
            if (r.between && Projectile_Count() == before + 1 && i < 5) r.between(&foe_);
        }
        EXPECT_EQ(Projectile_Count() - before, r.shots) << r.why;
        EXPECT_EQ(p->weapon[0].ammo, r.ammo) << r.why;
        EXPECT_EQ(p->state.state, r.state) << r.why;
        Parts_Delete(p);
    }
    const PROJECTILE* last = Projectile_First();
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->weapon, gun_);
    EXPECT_EQ(UnitId_Ptr((UNITID*)&last->owner), me_);
}

TEST_F(PartFiring, OnceFiresOneShotAndOrdersWaitForTheCycle)
{
    PART* p = Make(turret_, nullptr, 0);
    TARGET t = At(foe_);
    Parts_FireOnce(p, &t);
    Run(p, 3); // aimed and started in 1, launched at fire frame 1 in 3
    EXPECT_EQ(Projectile_Count(), 1);
    Parts_RotateTo(p, 64);
    EXPECT_EQ(p->state.state, PS_FIRING) << "the cycle is still playing";
    Run(p, 10);
    EXPECT_EQ(Projectile_Count(), 1);
    EXPECT_NE(p->state.state, PS_FIRING);
}

// A firing state naming a weapon the part doesn't have is a broken record.
TEST_F(PartFiring, AWeaponOutsideThePartTypeIsAnAssertion)
{
    PART* p = Make(turret_, nullptr, 0);
    TARGET t = At(foe_);
    Parts_Fire(p, &t);
    Run(p, 1);
    ASSERT_EQ(p->state.state, PS_FIRING);
    p->state.weapon = turret_->nrweapons;
    QV_EXPECT_FATAL(Parts_Process(p), "ASSERT (w >= 0 && w < p->type->nrweapons)");
    p->state.weapon = 0;
}

TEST_F(PartFiring, ChargingUnitsAndBuildingEfficiencySetTheNextShot)
{
    tank_->abilities.weaponcharge = 1;
    tank_->weaponchargeinfo = 77;
    gun_->maxammo = 1;
    PART* p = Make(turret_, nullptr, 0);
    TARGET t = At(foe_);
    Parts_Fire(p, &t);
    Run(p, 3);
    EXPECT_EQ(me_->ischarging, 1u);
    EXPECT_EQ(me_->chargeremaining, 77);
    // A gun in a building at 0 % efficiency waits firedelay x 100 updates.
    BUILDING* b = Build_New(QvWorld_BuildingType("Tower", 2, 2), 1, -1, 20, 20);
    b->efficiency = 0;
    BuildId_Setup(&me_->partof, b);
    gun_->maxammo = 5;
    PART* q = Make(turret_, nullptr, 0);
    Parts_Fire(q, &t);
    Run(q, 3);
    EXPECT_EQ(q->weapon[0].nextfire, g_UpdateCount + 400u) << "launched in the last update";
    BuildId_Clear(&me_->partof);
}

TEST_F(PartFiring, AmmunitionRefillsWithinTheLimitAndSparesEndlessWeapons)
{
    const struct { int maxammo, ammo, percent, out; } rows[] = {
        {10, 4, 50, 9}, {10, 4, 100, 10}, {10, 4, -50, 0}, {0, 1, 100, 1},
    };
    PART* p = Make(turret_, nullptr, 0);
    for (const auto& r : rows) {
        gun_->maxammo = r.maxammo;
        p->weapon[0].ammo = r.ammo;
        Parts_AddAmmoPercent(p, r.percent);
        EXPECT_EQ(p->weapon[0].ammo, r.out) << r.maxammo << " " << r.percent;
    }
    TARGET t = At(foe_);
    gun_->CanShootGround = 0;
    EXPECT_EQ(Parts_TargetStatus(p, &t), TARGETRANGE_NOAVAILABLEWEAPON);
    Parts_Fire(p, &t);
    EXPECT_TRUE(Parts_IsIdle(p)) << "no slot can shoot it";
    t.mode = 7;
    Parts_Fire(p, &t);
    EXPECT_NE(log_.text().find("Bad fire mode requested [7]"), std::string::npos);
}

TEST_F(PartFiring, HealthEffectsFollowTheThresholdsCrossed)
{
    ExplType_Init();
    Expl_Init();
    Hlthexpl_Add(&turret_->healthexpl, 75, 1, Expl_AddType("Smoke"));
    Hlthexpl_Add(&turret_->healthexpl, 50, 0, Expl_AddType("Fire"));
    Hlthexpl_Add(&turret_->healthexpl, 25, 1, Expl_AddType("Flames"));
    PART* p = Make(turret_, nullptr, 0);
    const struct {
        int oldpct, newpct, live;
        const char* current; // the effect kept, null: none alive
    } rows[] = {
        {100, 40, 1, "Fire"},   // Smoke started and replaced at once
        {40, 60, 1, "Fire"},    // healing ends only an attached effect
        {60, 20, 3, "Flames"},  // a second Fire, then Flames
        {20, 90, 2, nullptr},   // healed: Flames ends
    };
    for (const auto& r : rows) {
        Parts_UpdateHealthEffects(p, r.oldpct, r.newpct);
        EXPECT_EQ(Expl_Count(), r.live) << r.oldpct << " to " << r.newpct;
        if (r.current) {
            ASSERT_TRUE(Expl_ValidExpl(&p->healthexpl)) << r.newpct;
            EXPECT_STREQ(p->healthexpl.expl->type->name, r.current);
        } else {
            EXPECT_FALSE(Expl_ValidExpl(&p->healthexpl)) << r.newpct;
        }
    }
    Parts_UpdateHealthEffects(p, 90, 10);
    EXPECT_EQ(Expl_Count(), 4);
    Parts_Delete(p);
    EXPECT_EQ(Expl_Count(), 3) << "the attached one ends with its part";
    Expl_Close();
    ExplType_Close();
}

class UnitParts : public PartTest {};

TEST_F(UnitParts, UnitsAreMadeMovedAndDeletedWithTheirPartsAndShadow)
{
    UNITTYPE* t = QvWorld_UnitType("Gun");
    t->partinfo.nrparts = 2;
    t->partinfo.parttype[0] = body_;
    t->partinfo.parttype[1] = turret_;
    t->shadowsprite = sprite_;
    int before = SortDisp_Count();
    UNIT* u = Units_NewAt(t, 3, -1, 5, 6);
    ASSERT_NE(u->basepart, nullptr);
    PART* top = u->basepart->partup;
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(Parts_GetRemap(top), teamdata[3].colour);
    EXPECT_EQ(SortDisp_Count() - before, 3) << "two parts and the shadow";
    int x, y;
    Parts_GetPixelPosition(top, &x, &y);
    SPRITE_POINT h0 = Sprite_GetHotspot(sprite_, 0, 0, 0), h1 = Sprite_GetHotspot(sprite_, 1, 0, 0);
    Units_SetUnitPosition(u, 7, 6);
    Parts_GetPixelPosition(top, &x, &y);
    EXPECT_EQ(x, 7 * 24 + h1.x - h0.x) << "parts follow their unit";
    EXPECT_EQ(y, 6 * 24 + h1.y - h0.y);
    EXPECT_EQ(Parts_InUse(), 2);
    Units_Delete(u);
    EXPECT_EQ(SortDisp_Count(), before);
    EXPECT_EQ(Parts_InUse(), 0);
    t->shadowsprite = nullptr; // lent: the type table releases the sprites it holds
}
