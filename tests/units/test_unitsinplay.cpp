// Units and buildings in play: carriers boarding each other, units held off
// the map, phasing with huge hit points, production that must be paid,
// factories taking waiting requests, and the boost and heal choosers with a
// healer mending a friend.
#include <gtest/gtest.h>

#include <string>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "gen_sprites.h"
#include "map/cre.h"
#include "map/fog.h"
#include "map/pathsrch.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/autoprod.h"
#include "units/autotarget.h"
#include "units/buildbay.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/constructq.h"
#include "units/damage.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/projectile.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unithold.h"
#include "units/unitmove.h"
#include "units/unitproc.h"
#include "units/unitsorder.h"
#include "units/unitstate.h"
#include "units/weapon.h"

namespace {

// The world with buildings, path searches, orders, parts and shots running;
// nobody's team is the local one unless a test says so.
class UnitsInPlay : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        g_LocalTeam = 7;
        g_UpdateCount = 1;
        tinfo.enableap = 0;
        Fog_SetSeeAll(1);
        Cfg_SetDefaults(&g_Config);
        SortDisp_Init();
        Parts_Init();
        Projectile_Init();
        Weapon_Init();
        Damage_Init();
        Pathsrch_Init();
        Orders_Init();
        for (int t = 0; t < TEAM_MAXTEAMS; t++) Team_SetCredits(t, 1000);
    }
    void TearDown() override
    {
        Orders_Close();
        AP_Stop();
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Units_Delete(u);
        for (int i = 0; i < g_NrPartTypes; i++) g_PartTypes[i].sprite = nullptr;
        Pathsrch_Close();
        CRE_Close();
        PREREQ_Done();
        Projectile_Close();
        Parts_Close();
        Weapon_Close();
        Damage_Close();
        if (sprite_) Sprite_Free(sprite_);
        SortDisp_Close();
        Fog_SetSeeAll(0);
        QvWorldTest::TearDown();
        g_UpdateCount = 0;
        tinfo.enableap = 0;
    }
    // One update of the game's steps that these tests need.
    static void Update(int n = 1)
    {
        for (int i = 0; i < n; i++) {
            Build_ProcessAll();
            Pathsrch_Update();
            Units_ProcessAll();
            Weapon_UpdateProjectiles();
            Orders_AfterUpdate();
            g_UpdateCount++;
        }
    }
    // A type of a body and a turret carrying weapon w.
    UNITTYPE* Armed(const char* name, WEAPONTYPE* w)
    {
        if (!sprite_) {
            GENSPRITE g;
            GenSprite_Pattern(SPRITE_REGULAR, 4, 8, 8, 8, &g);
            g.sectionno = {0, 1};
            g.sections = {{0, 0, SPRITE_SPEED_ONE, 0}, {1, 3, SPRITE_SPEED_ONE, 0}};
            SPRITE_DESC d = g.Desc();
            const std::string path = dir_.file("part.spr");
            EXPECT_EQ(Sprite_Write(path.c_str(), &d), 1);
            sprite_ = Sprite_Load(path.c_str());
        }
        UNITTYPE* t = QvWorld_UnitType(name);
        for (int i = 0; i < 2; i++) {
            PARTTYPE* p = Parts_NewType();
            p->sprite = sprite_;
            p->nrweapons = i;
            p->weapons[0] = {w, 1, 1};
            t->partinfo.parttype[i] = p;
        }
        t->partinfo.nrparts = 2;
        t->maxhitpoints = 100;
        t->seeingrange = 6;
        t->scandelay = 1;
        return t;
    }
    // A straight shot of 3 tiles' reach at ground units, of strength hp
    // (below 0: it mends).
    static WEAPONTYPE* Beam(int hp)
    {
        WEAPONTYPE* w = Weapon_NewType();
        w->kind = WLINEAR;
        w->CanShootGroundUnit = 1;
        w->tilerange = 3;
        w->range = 3.5f * 24;
        w->initialspeed = 12;
        w->firedelay = 6;
        w->maxammo = 0;
        w->oinfo = OFFENSEINFO{-1, hp, 0};
        return w;
    }

    QvTempDir dir_;
    SPRITE* sprite_ = nullptr;
};

// ------------------------------------------------------------------ boarding

class UnitsInPlayBoard : public UnitsInPlay {};

TEST_F(UnitsInPlayBoard, RegressionTwoCarriersBoardingEachOtherEndInOneHoldNotARing)
{
    tank_->hold = 2;
    tank_->holdmass = 100;
    UNIT* a = Units_NewAt(tank_, 0, -1, 10, 10);
    UNIT* b = Units_NewAt(tank_, 0, -1, 11, 10);
    Units_SOrderBoard(a, b);
    Units_SOrderBoard(b, a);
    Update(3);
    // The first in the walk got in; the second's carrier was gone from the
    // map, which ends its order.
    EXPECT_FALSE(a->onmap);
    EXPECT_TRUE(b->onmap);
    EXPECT_EQ(Units_HoldHowMany(b), 1);
    EXPECT_EQ(Units_HoldHowMany(a), 0);
    EXPECT_EQ(b->sorder.code, SO_NONE);
    EXPECT_EQ(Units_TotalMass(b), 2 * tank_->mass);
    // However it is asked, no unit goes into a hold inside its own.
    UNIT* c = Units_NewAt(tank_, 0, -1, 20, 20);
    Units_HoldAddUnit(c, b);   // c holds b holds a
    EXPECT_EQ(Units_HoldAvailable(a, c), 0) << "a inside b inside c";
    EXPECT_EQ(Units_HoldAvailable(b, c), 0) << "b inside c";
    EXPECT_EQ(Units_HoldAvailable(c, c), 0) << "itself";
    UNIT* d = Units_NewAt(tank_, 0, -1, 30, 30);
    EXPECT_EQ(Units_HoldAvailable(d, c), 1) << "a carrier of its own";
}

// ------------------------------------------------------------------ held units

class UnitsInPlayHeld : public UnitsInPlay {};

TEST_F(UnitsInPlayHeld, RegressionHeldUnitsChargeAtTheirHoldersRateAndTheirTimeRunsOn)
{
    BUILDINGTYPE* depot = QvWorld_BuildingType("Depot", 2, 2);
    depot->rooms[0] = 4;
    depot->rooms[1] = 100;
    depot->efficiencyhp.slope = 65536;   // the hit-point percentage
    depot->efficiencyhp.intercept = 0;
    BUILDING* in = Build_New(depot, 0, -1, 20, 20);
    in->hitpoints = depot->maxhitpoints / 2;
    tank_->abilities.weaponcharge = 1;
    tank_->maxhitpoints = 100;
    tank_->hold = 2;
    tank_->holdmass = 100;
    UNIT* carrier = Units_NewAt(tank_, 0, -1, 10, 10);
    UNIT* inside = Units_NewAt(tank_, 0, -1, 12, 10);
    UNIT* aboard = Units_NewAt(tank_, 0, -1, 14, 10);
    UNIT* out = Units_NewAt(tank_, 0, -1, 16, 10);
    for (UNIT* u : {inside, aboard, out}) {
        u->ischarging = 1;
        u->chargeremaining = 300;
    }
    Build_HoldAddUnit(in, inside);
    Units_HoldAddUnit(carrier, aboard);
    Update(2);
    EXPECT_EQ(inside->chargeremaining, 300 - 2 * 50) << "at the building's efficiency";
    EXPECT_EQ(aboard->chargeremaining, 300 - 2 * 100);
    EXPECT_EQ(out->chargeremaining, 300 - 2 * 100);
    Update(20);
    for (UNIT* u : {inside, aboard, out}) EXPECT_EQ(u->ischarging, 0);

    // A boost fades aboard; a decoy's life runs out there and its seat is
    // freed.
    aboard->hitpoints = 50;
    aboard->boost = {BS_DEC, 0, 512, 40};
    Update(3);
    EXPECT_EQ(aboard->hitpoints, 44) << "2 a step";
    UNITTYPE* decoy = QvWorld_UnitType("Decoy");
    decoy->decoy = DM_ISDECOY;
    UNIT* d = Units_NewAt(decoy, 0, -1, 18, 10);
    d->liferemaining = 2;
    Units_HoldAddUnit(carrier, d);
    ASSERT_EQ(Units_HoldHowMany(carrier), 2);
    Update(5);
    EXPECT_EQ(Units_IdToUnitPtrOffMap(d->id, 0), nullptr);
    EXPECT_EQ(Units_HoldHowMany(carrier), 1);
}

// ------------------------------------------------------------------ phasing

class UnitsInPlayPhase : public UnitsInPlay {};

TEST_F(UnitsInPlayPhase, RegressionHugeHitPointsPhaseAndStayPhased)
{
    BUILDINGTYPE* gate = QvWorld_BuildingType("Gate", 2, 2);
    gate->prereq.id = 30;
    PREREQ_Init();
    Build_New(gate, 0, -1, 30, 30);
    ASSERT_GT(PREREQ_HowMany(30, 0), 0);
    tank_->abilities.canphase = 1;
    tank_->phaseinfo.a = 50;
    tank_->phaseinfo.buildingtype = gate;
    tank_->maxhitpoints = 30000000;   // x 100 is past an int
    UNIT* u = Units_NewAt(tank_, 0, -1, 10, 10);
    ASSERT_EQ(u->hitpoints, tank_->maxhitpoints);
    EXPECT_EQ(Units_AbleToPhase(u), 1);
    Units_Phase(u);
    Update(5);
    EXPECT_EQ(u->isphased, 1) << "at full strength it stays below";
}

// ------------------------------------------------------------------ production

class UnitsInPlayCost : public UnitsInPlay {
protected:
    void SetUp() override
    {
        UnitsInPlay::SetUp();
        tank_->buildcost = 400;
        tank_->prereq.id = 1;
        tank_->prereq.makers[0] = 10;
        factory_ = QvWorld_BuildingType("Factory", 3, 3);
        factory_->flags |= BTF_CANMAKE;
        factory_->bayx = 1;
        factory_->bayy = 2;
        factory_->buildtime = 2;
        factory_->prereq.id = 10;
        PREREQ_Init();
    }
    BUILDINGTYPE* factory_ = nullptr;
};

TEST_F(UnitsInPlayCost, RegressionAJobOfNoTimeChargesItsWholeCostBeforeTheUnitComesOut)
{
    tank_->buildtime = 0;
    BUILDING* f = Build_New(factory_, 0, -1, 10, 10);
    ASSERT_EQ(Build_StartProduction(f, tank_), 1);
    Team_SetCredits(0, 100);   // short, for now
    Update(3);
    EXPECT_EQ(f->state, BS_PRODUCING) << "waits for the credits";
    EXPECT_EQ(teamdata[0].unitcount, 0);
    Team_SetCredits(0, 1000);
    Update();
    EXPECT_EQ(teamdata[0].credits, 600);
    EXPECT_EQ(teamdata[0].unitcount, 1);
    EXPECT_EQ(f->state, BS_IDLE);
}

class UnitsInPlayQueue : public UnitsInPlayCost {
protected:
    void SetUp() override
    {
        UnitsInPlayCost::SetUp();
        g_LocalTeam = 0;   // requests become orders only for the local team
        tank_->buildtime = 50;
        tinfo.enableap = 1;
        AP_Start();
    }
    // A factory put up as a site, complete after its build time.
    BUILDING* PutUp(int x, int y)
    {
        BUILDING* b = Build_NewConstructionSite(factory_, 0, x, y);
        Update(factory_->buildtime + 1);
        return b;
    }
};

TEST_F(UnitsInPlayQueue, RegressionAFactoryCompletedAfterTheRequestsTakesThem)
{
    ASSERT_EQ(Units_AddToConstructQueue(tank_->unittypeid, -1), 1);
    BUILDING* f = PutUp(10, 10);
    ASSERT_TRUE(f->complete);
    EXPECT_EQ(AP_GetPrimaryMaker(0, tank_->unittypeid), f);
    EXPECT_EQ(f->state, BS_PRODUCING);
    EXPECT_EQ(Units_NumberOnConstructQueue(tank_->unittypeid), 0);
    // The primary lost, the next factory completed takes what waited.
    ASSERT_EQ(Units_AddToConstructQueue(tank_->unittypeid, -1), 1);
    Build_RemoveFromGame(f, BRM_DESTROYED);
    BUILDING* g = PutUp(20, 20);
    EXPECT_EQ(g->state, BS_PRODUCING);
    EXPECT_EQ(Units_NumberOnConstructQueue(tank_->unittypeid), 0);
}

TEST_F(UnitsInPlayQueue, RegressionAFactoryThatInheritsThePrimaryTakesTheRequests)
{
    BUILDINGTYPE* yard = QvWorld_BuildingType("Yard", 2, 2);
    yard->flags |= BTF_CANMAKE;
    yard->prereq.id = 16;
    tank_->prereq.makers[1] = 16;
    PREREQ_Init();
    BUILDING* y = Build_New(yard, 0, -1, 30, 30);
    BUILDING* f = Build_New(factory_, 0, -1, 10, 10);
    ASSERT_EQ(AP_GetPrimaryMaker(0, tank_->unittypeid), f);
    ASSERT_EQ(Units_AddToConstructQueue(tank_->unittypeid, -1), 1);
    Build_RemoveFromGame(f, BRM_DESTROYED);   // no factory of its kind left
    ASSERT_EQ(AP_GetPrimaryMaker(0, tank_->unittypeid), y);
    Update();
    EXPECT_EQ(y->state, BS_PRODUCING);
}

// A shredder made at the factory grinds what it can shoot beside it, but
// not the factory (its weapon shoots no buildings) nor its own side.
class UnitsInPlayShredder : public UnitsInPlayCost {};

TEST_F(UnitsInPlayShredder, RegressionAShredderSparesTheFactoryThatMadeItAndItsOwnSide)
{
    WEAPONTYPE* grinder = Weapon_NewType();
    grinder->kind = WSHREDDER;
    grinder->CanShootGround = grinder->CanShootGroundUnit = grinder->CanShootFlyer = 1;
    grinder->oinfo = OFFENSEINFO{-1, 30, 0};
    tank_->abilities.isshredder = 1;
    tank_->shredderinfo = grinder;
    tank_->buildtime = 1;
    Team_SetRelation(0, 1, TR_ENEMY);
    Team_SetRelation(1, 0, TR_ENEMY);
    BUILDING* f = Build_New(factory_, 0, -1, 10, 10);
    const int whole = f->hitpoints;
    ASSERT_GT(whole, 0);
    ASSERT_EQ(Build_StartProduction(f, tank_), 1);
    Update(300);
    ASSERT_EQ(teamdata[0].unitcount, 1);
    EXPECT_EQ(f->hitpoints, whole);
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    UNIT* s = Iterate_UnitNext(&it);
    ASSERT_NE(s, nullptr);
    // An enemy and a friend on free tiles beside it.
    UNIT* beside[2] = {};
    for (int i = 0, dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1 && i < 2; dx++) {
            const int x = s->tilepos.x + dx, y = s->tilepos.y + dy;
            if (Units_UnitAtMapLevel(ML_GROUND, x, y) || Build_AtTile(x, y)) continue;
            beside[i] = Units_NewAt(tank_, i == 0 ? 1 : 0, -1, x, y);
            i++;
        }
    ASSERT_TRUE(beside[0] && beside[1]);
    Update(3);
    EXPECT_LT(beside[0]->hitpoints, tank_->maxhitpoints) << "the enemy is ground";
    EXPECT_EQ(beside[1]->hitpoints, tank_->maxhitpoints) << "the friend is spared";
    EXPECT_EQ(f->hitpoints, whole);
}

// A decoy made at the factory, or placed, lives its type's count + 1 updates.
class UnitsInPlayDecoy : public UnitsInPlayCost {};

TEST_F(UnitsInPlayDecoy, RegressionADecoyMadeAtTheFactoryLivesItsTime)
{
    tank_->decoy = DM_ISDECOY;
    tank_->decoyinfo.n = 40;
    tank_->buildtime = 1;
    UNIT* placed = Units_NewAt(tank_, 1, -1, 30, 30);
    EXPECT_EQ(placed->liferemaining, 40);
    BUILDING* f = Build_New(factory_, 0, -1, 10, 10);
    ASSERT_EQ(Build_StartProduction(f, tank_), 1);
    int made = 0;
    while (teamdata[0].unitcount == 0 && made < 50) Update(), made++;
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    UNIT* d = Iterate_UnitNext(&it);
    if (d == placed) d = Iterate_UnitNext(&it);
    ASSERT_TRUE(d && d->team == 0) << "after " << made << " updates";
    const int id = d->id;
    int lived = 0;   // updates at whose end it is in the game, its first among them
    while ((Units_IdToUnitPtr(id, 0) || Units_IdToUnitPtrOffMap(id, 0)) && lived < 100) lived++, Update();
    EXPECT_EQ(lived, 40 + 1);
}

// ------------------------------------------------------------------ boost and heal targets

class UnitsInPlayTargets : public UnitsInPlay {
protected:
    // A healer whose beam mends 20 a shot.
    UNITTYPE* Medic()
    {
        UNITTYPE* medic = Armed("Medic", Beam(-20));
        medic->abilities.canheal = 1;
        return medic;
    }
    // A mender of team `side` held up on its tile, a unit of team 0 waiting
    // behind it, then the mender mending one hurt friend after another from
    // that tile: the unit waited as long as it fired, for its patience began
    // later. Once its patience is out it goes round, as behind an idle unit,
    // whatever the mender's team.
    void BehindAMenderAtWork(int side)
    {
        UNITTYPE* medic = Medic();
        // Walked in the order made: the unit sees the mender as the last
        // update left it.
        UNIT* u = Units_NewAt(tank_, 0, -1, 10, 10);
        UNIT* m = Units_NewAt(medic, side, -1, 20, 10);
        UNIT* ahead = Units_NewAt(tank_, side, -1, 21, 10);
        ahead->move.srchtilepos = ahead->tilepos;
        // The mender held up behind a unit that is about to move on.
        auto holdUp = [&] {
            Path_Clear(&m->move.path);
            Path_Push(&m->move.path, 21, 10);
            m->state = US_WAITFOROBSTACLE;
            m->move.waituntil = g_UpdateCount + 1000;
            ahead->state = US_MOVING;
        };
        holdUp();
        Units_MoveTo(u, 30, 10, Units_AllocGroupId());
        for (int t = 0; t < 300 && u->state != US_WAITFOROBSTACLE; t++) Update(), holdUp();
        ASSERT_EQ(u->state, US_WAITFOROBSTACLE);
        ASSERT_EQ(u->tilepos.x, 19);
        // The mender's wait began before the unit's; it sets to work.
        Path_Clear(&m->move.path);
        m->move.waituntil = u->move.waituntil - 10;
        m->state = US_FIRING;
        ahead->state = US_NONE;
        UNIT* hurt = Units_NewAt(tank_, side, -1, 20, 12);
        int passed = -1, firing = 0;
        for (int t = 0; t < 2000 && passed < 0; t++) {
            hurt->hitpoints = 30;   // one hurt friend after another
            Update();
            firing += m->state == US_FIRING;
            if (u->tilepos.x > 20) passed = t;
        }
        EXPECT_EQ(m->tilepos.x, 20) << "it mended from its tile";
        EXPECT_GT(firing, 0);
        EXPECT_GE(passed, 0) << "waited for ever";
        EXPECT_LT(passed, 200);
    }
};

TEST_F(UnitsInPlayTargets, RegressionAtLowTenacityTheBoosterStillTakesAWeakAllyInRange)
{
    UNITTYPE* booster = Armed("Booster", Beam(10));
    booster->abilities.canboost = 1;
    UNIT* b = Units_NewAt(booster, 0, -1, 10, 10);
    UNIT* nearby = Units_NewAt(tank_, 0, -1, 12, 10);
    UNIT* far = Units_NewAt(tank_, 0, -1, 15, 10);
    nearby->hitpoints = far->hitpoints = 10;
    TARGET t;
    b->tactaiinfo.tenacity = TACTAI_LOW;
    ASSERT_NE(Units_ChooseBoostTarget(b, &t), nullptr);
    EXPECT_EQ(t.unit.id, nearby->id) << "in range";
    nearby->hitpoints = 100;   // only the far one is weak now
    EXPECT_EQ(Units_ChooseBoostTarget(b, &t), nullptr) << "out of range at low tenacity";
    b->tactaiinfo.tenacity = TACTAI_MEDIUM;
    ASSERT_NE(Units_ChooseBoostTarget(b, &t), nullptr);
    EXPECT_EQ(t.unit.id, far->id);
}

TEST_F(UnitsInPlayTargets, HealersChooseHurtOrBoostedAlliesNotWholeOnesOrEnemies)
{
    UNITTYPE* medic = Medic();
    UNIT* m = Units_NewAt(medic, 0, -1, 10, 10);
    UNIT* whole = Units_NewAt(tank_, 0, -1, 11, 10);
    UNIT* enemy = Units_NewAt(tank_, 1, -1, 10, 11);
    enemy->hitpoints = 10;
    Team_SetRelation(0, 1, TR_ENEMY);
    Team_SetRelation(1, 0, TR_ENEMY);
    TARGET t;
    EXPECT_EQ(Units_ChooseHealTarget(m, &t), nullptr);
    whole->boost = {BS_DEC, 0, 256, 10};
    ASSERT_NE(Units_ChooseHealTarget(m, &t), nullptr);
    EXPECT_EQ(t.unit.id, whole->id) << "a boost fading";
    whole->boost = UNIT_BOOST{};
    UNIT* hurt = Units_NewAt(tank_, 0, -1, 12, 12);
    hurt->hitpoints = 30;
    hurt->operation.code = UO_MORPHOVL;
    hurt->sorder.code = SO_MOVE;
    EXPECT_EQ(Units_ChooseHealTarget(m, &t), nullptr) << "morphed into an overlay, ordered or not";
    hurt->operation.code = UO_NONE;
    ASSERT_NE(Units_ChooseHealTarget(m, &t), nullptr);
    EXPECT_EQ(t.unit.id, hurt->id);
}

TEST_F(UnitsInPlayTargets, RegressionAnIdleHealerMendsAHurtFriendUntilItIsWhole)
{
    UNITTYPE* medic = Medic();
    UNIT* m = Units_NewAt(medic, 0, -1, 10, 10);
    UNIT* hurt = Units_NewAt(tank_, 0, -1, 12, 10);
    hurt->hitpoints = 30;
    int updates = 0;
    while (hurt->hitpoints < tank_->maxhitpoints && updates < 200) Update(), updates++;
    EXPECT_EQ(hurt->hitpoints, tank_->maxhitpoints) << "after " << updates << " updates";
    Update(10);
    EXPECT_NE(m->sorder.code, SO_ATTACK) << "done once the friend is whole";
}

TEST_F(UnitsInPlayTargets, RegressionAUnitBehindAnAllyFiringOnItsTileGoesRound)
{
    BehindAMenderAtWork(0);
}

TEST_F(UnitsInPlayTargets, RegressionAUnitBehindAnEnemyMendingOnItsTileGoesRound)
{
    Team_SetRelation(0, 1, TR_ENEMY);
    Team_SetRelation(1, 0, TR_ENEMY);
    BehindAMenderAtWork(1);
}

} // namespace
