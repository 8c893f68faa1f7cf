// What a click in the map view means: one row per situation, every kind.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "gen_sprites.h"
#include "map/fog.h"
#include "platform/input.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "support/world.h"
#include "ui/igi.h"
#include "ui/igiclick.h"
#include "ui/igievnt.h"
#include "units/building.h"
#include "units/buildbay.h"
#include "units/iterate.h"
#include "units/parts.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitlist.h"
#include "units/weapon.h"

namespace {

class ClickKind : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Units_ListClear(&igi_nfo.selected);
        igi_nfo = IGI_NFO{};
        Cfg_SetDefaults(&g_Config);
        g_LocalTeam = 1;
        Team_ForceRelation(1, 2, TR_ENEMY);
        Team_ForceRelation(2, 1, TR_ENEMY);
        Team_ForceRelation(1, 3, TR_ALLY);
        Team_ForceRelation(3, 1, TR_ALLY);
        Fog_SetSeeAll(1);
        SortDisp_Init();
        Parts_Init();
        Weapon_Init();
        GENSPRITE g;
        GenSprite_Pattern(SPRITE_REGULAR, 4, 8, 8, 8, &g);
        g.sectionno = {0, 1};
        g.sections = {{0, 0, SPRITE_SPEED_ONE, 0}, {1, 3, SPRITE_SPEED_ONE, 0}};
        SPRITE_DESC d = g.Desc();
        const std::string path = dir_.file("part.spr");
        ASSERT_EQ(Sprite_Write(path.c_str(), &d), 1);
        sprite_ = Sprite_Load(path.c_str());
        // A gun that hits ground units and tiles, so that fire clicks can be
        // told from refused ones.
        gun_ = Weapon_NewType();
        gun_->kind = WLINEAR;
        gun_->CanShootGround = 1;
        gun_->tilerange = 6;
        gun_->range = 6 * 24;
        gun_->initialspeed = 12;
        gun_->directhitpointdamage = 20;
        gun_->oinfo = OFFENSEINFO{-1, 0, 0};
        PARTTYPE* turret = Parts_NewType();
        turret->sprite = sprite_;
        turret->nrweapons = 1;
        turret->weapons[0] = {gun_, 1, 1};
        gunner_ = QvWorld_UnitType("Gunner");
        gunner_->partinfo.parttype[0] = turret;
        gunner_->partinfo.nrparts = 1;
        gunner_->maxhitpoints = 100;
        human_ = QvWorld_UnitType("Trooper");
        human_->abilities.ishuman = 1;
        human_->maxhitpoints = 100;
        hut_ = QvWorld_BuildingType("Hut", 2, 2);
    }
    void TearDown() override
    {
        Units_ListClear(&igi_nfo.selected);
        igi_nfo = IGI_NFO{};
        Fog_SetSeeAll(0);
        g_LocalTeam = 0;
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Units_Delete(u);
        for (int i = 0; i < g_NrPartTypes; i++) g_PartTypes[i].sprite = nullptr;
        Weapon_Close();
        Parts_Close();
        Sprite_Free(sprite_);
        SortDisp_Close();
        QvWorldTest::TearDown();
    }
    void Select(std::vector<UNIT*> units)
    {
        Igievnt_ClearSelection();
        for (UNIT* u : units) Igievnt_SelectUnit(u);
    }
    QvTempDir dir_;
    SPRITE* sprite_ = nullptr;
    WEAPONTYPE* gun_ = nullptr;
    UNITTYPE* gunner_ = nullptr;
    UNITTYPE* human_ = nullptr;
    BUILDINGTYPE* hut_ = nullptr;
};

struct Click {
    UNIT* unit = nullptr;
    BUILDING* build = nullptr;
    int waypoint = -1;
    int x = 30, y = 30;
    uint32_t mods = 0;
};

TEST_F(ClickKind, EverySituationGivesItsKind)
{
    UNITTYPE* carrier = QvWorld_UnitType("Carrier");
    carrier->hold = 2;
    carrier->holdmass = 50;
    UNITTYPE* grabber = QvWorld_UnitType("Grabber");
    grabber->abilities.cangrab = 1;
    UNITTYPE* spy = QvWorld_UnitType("Spy");
    spy->abilities.canspy = 1;
    spy->abilities.ishuman = 1;
    UNITTYPE* saboteur = QvWorld_UnitType("Saboteur");
    saboteur->abilities.cansabotage = 1;
    UNITTYPE* morpher = QvWorld_UnitType("Morpher");
    morpher->abilities.canmorphunit = 1;
    tank_->abilities.canbemorphedinto = 1;
    WEAPONTYPE* wrench = Weapon_NewType();
    *wrench = *gun_;
    wrench->directhitpointdamage = -10;
    PARTTYPE* kit = Parts_NewType();
    kit->sprite = sprite_;
    kit->nrweapons = 1;
    kit->weapons[0] = {wrench, 1, 1};
    UNITTYPE* healer = QvWorld_UnitType("Medic");
    healer->partinfo.parttype[0] = kit;
    healer->partinfo.nrparts = 1;
    healer->abilities.canheal = Parts_TypeHasRepairWeapon(kit);
    UNITTYPE* booster = QvWorld_UnitType("Booster");
    booster->abilities.canboost = 1;
    UNITTYPE* shredder = QvWorld_UnitType("Shredder");
    shredder->abilities.isshredder = 1;
    BUILDINGTYPE* depot = QvWorld_BuildingType("Depot", 2, 2);
    depot->flags = BTF_CANREPAIR | BTF_CANMAKE;
    BUILDINGTYPE* clinic = QvWorld_BuildingType("Clinic", 2, 2);
    clinic->flags = BTF_CANHEAL;
    BUILDINGTYPE* pad = QvWorld_BuildingType("Pad", 2, 2);
    pad->flags = BTF_CANREARMFLYER;
    BUILDINGTYPE* barracks = QvWorld_BuildingType("Barracks", 2, 2);
    barracks->rooms[0] = 4;
    barracks->rooms[1] = 100;
    BUILDINGTYPE* hq = QvWorld_BuildingType("Headquarters", 2, 2);
    hq->spytype = BSPY_HQ;
    BUILDINGTYPE* gate = QvWorld_BuildingType("Gate", 2, 2);
    gate->flags = BTF_ISTELEPORT;
    gate->rooms[0] = 4;
    gate->rooms[1] = 100;
    BUILDINGTYPE* dock = QvWorld_BuildingType("Dock", 2, 2);
    UNITTYPE* hauler = QvWorld_UnitType("Hauler");
    hauler->bldpairs.count = 1;
    hauler->bldpairs.pair[0].srctype = dock;

    UNIT* mine = Units_NewAt(tank_, 1, -1, 10, 10);
    UNIT* mine2 = Units_NewAt(tank_, 1, -1, 11, 10);
    UNIT* jet = Units_NewAt(jet_, 1, -1, 12, 10);
    UNIT* gunner = Units_NewAt(gunner_, 1, -1, 13, 10);
    UNIT* enemy = Units_NewAt(tank_, 2, -1, 20, 20);
    UNIT* enemyhuman = Units_NewAt(human_, 2, -1, 21, 20);
    UNIT* neutral = Units_NewAt(tank_, TEAM_NEUTRAL, -1, 22, 20);
    UNIT* ownhuman = Units_NewAt(human_, 1, -1, 14, 10);
    UNIT* box = Units_NewAt(carrier, 1, -1, 15, 10);
    UNIT* fullbox = Units_NewAt(carrier, 1, -1, 16, 10);
    Units_ListAppend(&fullbox->hold, mine2, mine2->id, 1);
    UNIT* grab = Units_NewAt(grabber, 1, -1, 17, 10);
    UNIT* agent = Units_NewAt(spy, 1, -1, 18, 10);
    UNIT* thief = Units_NewAt(spy, 1, -1, 18, 11);
    thief->spy.nrplans = 1;
    UNIT* sab = Units_NewAt(saboteur, 1, -1, 19, 10);
    UNIT* morph = Units_NewAt(morpher, 1, -1, 20, 10);
    UNIT* medic = Units_NewAt(healer, 1, -1, 21, 10);
    UNIT* boost = Units_NewAt(booster, 1, -1, 22, 10);
    UNIT* shred = Units_NewAt(shredder, 1, -1, 23, 10);
    UNIT* haul = Units_NewAt(hauler, 1, -1, 24, 10);
    BUILDING* ownhut = Build_New(hut_, 1, -1, 30, 40);
    BUILDING* enemyhut = Build_New(hut_, 2, -1, 34, 40);
    BUILDING* ownhq = Build_New(hq, 1, -1, 38, 40);
    BUILDING* enemyhq = Build_New(hq, 2, -1, 42, 40);
    BUILDING* enemyhq2 = Build_New(hq, 2, -1, 42, 48);
    BUILDING* owndepot = Build_New(depot, 1, -1, 46, 40);
    BUILDING* ownclinic = Build_New(clinic, 1, -1, 50, 40);
    BUILDING* ownpad = Build_New(pad, 1, -1, 54, 40);
    BUILDING* ownbarracks = Build_New(barracks, 1, -1, 30, 44);
    BUILDING* owngate = Build_New(gate, 1, -1, 34, 44);
    BUILDING* enemydock = Build_New(dock, 2, -1, 38, 44);
    BUILDING* neutraldock = Build_New(dock, TEAM_NEUTRAL, -1, 38, 48);
    BUILDING* neutralhut = Build_New(hut_, TEAM_NEUTRAL, -1, 42, 44);
    Build_HoldAddUnit(owngate, Units_NewAt(human_, 1, -1, 5, 5));
    UnitId_Setup(&enemyhq->spy[1], agent);
    UnitId_Setup(&ownhq->spy[2], enemy);
    Team_ForceRelation(1, 2, TR_ENEMY);
    for (UNIT* u : {mine, mine2, ownhuman, medic}) u->hitpoints = 40;

    const struct Row {
        const char* name;
        int mode;
        std::vector<UNIT*> sel;
        BUILDING* sbuild;
        Click at;
        int want;
    } rows[] = {
        {"nothing selected on ground", 0, {}, nullptr, {}, CK_NOTHING},
        {"default move", 0, {mine}, nullptr, {}, CK_MOVE},
        {"move mode with nothing selected", AM_MOVE, {}, nullptr, {}, CK_IMPOSSIBLE},
        {"second move mode", AM_MOVE2, {mine}, nullptr, {}, CK_MOVE2},
        {"mixed selection fires where it can't", AM_FIRE, {mine, jet}, nullptr, {}, CK_FIRE},
        {"armed unit fires at seen ground", AM_FIRENOMV, {gunner}, nullptr, {.x = 14, .y = 12}, CK_FIRE},
        {"unarmed unit can't fire", AM_FIRE, {mine}, nullptr, {}, CK_CANTFIRE},
        {"armed unit on an enemy", 0, {gunner}, nullptr, {.unit = enemy}, CK_FIRE},
        {"rotate", AM_ROTATE, {mine}, nullptr, {}, CK_ROTATE},
        {"board a carrier", 0, {mine}, nullptr, {.unit = box}, CK_BOARDUNIT},
        {"unload the selected carrier", 0, {fullbox}, nullptr, {.unit = fullbox}, CK_UNLOADUNIT},
        {"full carrier not selected", 0, {jet}, nullptr, {.unit = fullbox}, CK_SELECTUNIT},
        {"board an own building", 0, {mine}, nullptr, {.build = ownbarracks}, CK_BOARDBUILDING},
        {"flying unit can't board", 0, {jet}, nullptr, {.build = ownbarracks}, CK_SELECTBUILDING},
        {"grab an enemy human", AM_FIRE, {grab}, nullptr, {.unit = enemyhuman}, CK_GRAB},
        {"sabotage an enemy building", 0, {sab}, nullptr, {.build = enemyhut}, CK_SABOTAGE},
        {"morph into a unit", AM_MORPH, {morph}, nullptr, {.unit = enemy}, CK_MORPHUNIT},
        {"morph into nothing", AM_MORPH, {mine}, nullptr, {.unit = enemy}, CK_CANTMORPH},
        {"spy into an enemy headquarters", 0, {agent}, nullptr, {.build = enemyhq2}, CK_SPY},
        {"spy already inside", 0, {agent}, nullptr, {.build = enemyhq}, CK_CANTFIRE},
        {"spy brings plans home", 0, {thief}, nullptr, {.build = ownhq}, CK_SPYHOME},
        {"spy home in sell mode", AM_SELL, {thief}, nullptr, {.build = ownhq}, CK_SPYHOME},
        {"go to repair", 0, {mine}, nullptr, {.build = owndepot}, CK_GOTOREPAIR},
        {"humans go to heal", 0, {ownhuman}, nullptr, {.build = ownclinic}, CK_GOTOHEAL},
        {"flyer goes to rearm", 0, {jet}, nullptr, {.build = ownpad}, CK_GOTOREARM},
        {"ground unit can't rearm at a flyer pad", 0, {mine}, nullptr, {.build = ownpad}, CK_SELECTBUILDING},
        {"boost an own human", 0, {boost}, nullptr, {.unit = ownhuman}, CK_BOOST},
        {"boost needs one unit selected", 0, {boost, mine}, nullptr, {.unit = ownhuman}, CK_SELECTUNIT},
        {"matched transport pair", 0, {haul}, nullptr, {.build = neutraldock}, CK_TRANSPORT},
        {"no transport at an enemy dock", 0, {haul}, nullptr, {.build = enemydock}, CK_CANTFIRE},
        {"shredder on a unit", AM_FIRE, {shred}, nullptr, {.unit = enemy}, CK_SHRED},
        {"select an own unit", 0, {}, nullptr, {.unit = mine}, CK_SELECTUNIT},
        {"sell mode", AM_SELL, {}, nullptr, {.build = ownhut}, CK_SELL},
        {"power mode", AM_POWER, {}, nullptr, {}, CK_POWER},
        {"repair mode", AM_REPAIR, {}, nullptr, {}, CK_REPAIRBUILDING},
        {"place mode", AM_PLACE, {mine}, nullptr, {}, CK_PLACE},
        {"teleport to explored ground", 0, {}, owngate, {}, CK_TELEPORT},
        {"unload the selected building", 0, {}, owngate, {.build = owngate}, CK_UNLOADBUILDING},
        {"spy report from the selected enemy building", 0, {}, enemyhq, {.build = enemyhq}, CK_SPYREPORT},
        {"search the selected own building", 0, {}, ownhq, {.build = ownhq}, CK_SPYSEARCH},
        {"selected own building with nothing inside", 0, {}, ownhut, {.build = ownhut}, CK_SELECTBUILDING},
        {"shift makes a primary maker", 0, {mine}, nullptr, {.build = owndepot, .mods = MOD_LSHIFT}, CK_PRIMARY},
        {"select a building", 0, {}, nullptr, {.build = enemyhut}, CK_SELECTBUILDING},
        {"production destination", AM_PRODDEST, {}, nullptr, {}, CK_PRODDEST},
        {"cluster destination", AM_CLUSTER, {}, nullptr, {}, CK_CLUSTDEST},
        {"on a waypoint", 0, {mine}, nullptr, {.waypoint = 0}, CK_WAYPOINT},
        {"trail insertion 0 on a waypoint", AM_TRAILINS0, {}, nullptr, {.waypoint = 2}, CK_WAYPOINT},
        {"trail insertion 0", AM_TRAILINS0, {}, nullptr, {}, CK_TRAILINS0},
        {"trail insertion 1", AM_TRAILINS1, {}, nullptr, {}, CK_TRAILINS1},
        {"trail edit", AM_TRAILEDIT, {}, nullptr, {}, CK_TRAILEDIT},
        {"neutral unit", 0, {mine}, nullptr, {.unit = neutral}, CK_NEUTRAL},
        {"neutral building", 0, {mine}, nullptr, {.build = neutralhut}, CK_NEUTRAL},
        {"control fires at a neutral unit", 0, {mine, jet}, nullptr, {.unit = neutral, .mods = MOD_CTRL}, CK_FIRE},
        {"repair an own machine", 0, {medic}, nullptr, {.unit = mine}, CK_REPAIRUNIT},
        {"heal an own human", 0, {medic}, nullptr, {.unit = ownhuman}, CK_HEALUNIT},
        {"heal only with one unit selected", 0, {medic, mine2}, nullptr, {.unit = ownhuman}, CK_SELECTUNIT},
        {"healer on an enemy", 0, {medic}, nullptr, {.unit = enemy}, CK_IMPOSSIBLE},
    };
    for (const Row& r : rows) {
        Select(r.sel);
        igi_nfo.actionmode = r.mode;
        igi_nfo.sbuild = r.sbuild;
        EXPECT_EQ(Igievnt_ClassifyClick(r.at.unit, r.at.build, r.at.waypoint, r.at.x, r.at.y, r.at.mods), r.want)
            << r.name;
    }
    Fog_SetSeeAll(0);
    Select({});
    igi_nfo.actionmode = 0;
    igi_nfo.sbuild = owngate;
    EXPECT_EQ(Igievnt_ClassifyClick(nullptr, nullptr, -1, 60, 60, 0), CK_CANTTELEPORT);
}

// The preferences, what the player sees and a phasing target steer the
// edges of the classification.
TEST_F(ClickKind, PreferencesSightAndPhasingDecideTheEdges)
{
    UNIT* gunner = Units_NewAt(gunner_, 1, -1, 10, 10);
    UNIT* mine = Units_NewAt(tank_, 1, -1, 11, 10);
    UNIT* jet = Units_NewAt(jet_, 1, -1, 12, 10);
    UNIT* enemy = Units_NewAt(tank_, 2, -1, 14, 12);
    BUILDING* enemyhut = Build_New(hut_, 2, -1, 14, 12);
    const struct Row {
        const char* name;
        int mode, defaultmove, defaultfire, seeall;
        std::vector<UNIT*> sel;
        Click at;
        int want;
    } rows[] = {
        {"default move off", 0, 0, 1, 1, {mine}, {}, CK_NOTHING},
        {"default fire off at an enemy", 0, 1, 0, 1, {mine}, {.unit = enemy}, CK_NOTHING},
        {"control fires whatever the preference", 0, 1, 0, 1, {mine, jet}, {.unit = enemy, .mods = MOD_CTRL},
         CK_FIRE},
        {"fire at unseen ground", AM_FIRE, 1, 1, 0, {gunner}, {.x = 40, .y = 40}, CK_CANTFIRE},
        {"mixed fire at unseen ground", AM_FIRE, 1, 1, 0, {gunner, mine}, {.x = 40, .y = 40}, CK_FIRE},
        {"nothing selected on ground whatever the preference", 0, 1, 1, 1, {}, {}, CK_NOTHING},
        {"nothing selected on an enemy unit", 0, 1, 1, 1, {}, {.unit = enemy}, CK_NOTHING},
    };
    for (const Row& r : rows) {
        Select(r.sel);
        igi_nfo.actionmode = r.mode;
        g_Config.defaultmove = r.defaultmove;
        g_Config.defaultfire = r.defaultfire;
        Fog_SetSeeAll(r.seeall);
        EXPECT_EQ(Igievnt_ClassifyClick(r.at.unit, r.at.build, r.at.waypoint, r.at.x, r.at.y, r.at.mods), r.want)
            << r.name;
    }
    Fog_SetSeeAll(1);
    // A phasing unit is no target: the fire click falls through to the
    // building under it.
    Select({gunner});
    igi_nfo.actionmode = AM_FIRE;
    const int onunit = Igievnt_ClassifyClick(enemy, enemyhut, -1, 14, 12, 0);
    enemy->state = US_PHASING;
    EXPECT_EQ(Igievnt_ClassifyClick(enemy, enemyhut, -1, 14, 12, 0),
              Igievnt_ClassifyClick(nullptr, enemyhut, -1, 14, 12, 0));
    EXPECT_EQ(onunit, CK_FIRE);
    igi_nfo.actionmode = AM_MAXIMUM;
    EXPECT_EQ(Igievnt_ClassifyClick(nullptr, nullptr, -1, 5, 5, 0), CK_NOTHING);
    EXPECT_NE(log_.text().find("Unknown action mode"), std::string::npos);
}

} // namespace
