// Seeds of the rule-file target's building reader: files that use every
// keyword, the decoy and upgrade links, a factory's bay and the efficiency
// lines, over the names the target provides (the demo's explosions, defences
// and things, a unit type "Tank" and a footprint named after "BUILDING.SPR");
// then values of the building and unit readers that must be refused: numbers
// that are no whole int, types left without hit points, decoy counts, spy
// and sabotage times out of range.
#include <cstdio>
#include <string>

#include "mkdata.h"

namespace {

// The target's selectors for the building and unit files, then the text.
const char BUILDING = '8', UNIT = '9';

const struct {
    const char* name;
    char selector;
    const char* text;
} SEEDS[] = {
    {"build-full.txt", BUILDING,
     "DefineBuildingType(\"Depot\") {\n"
     "  SetBuildingImages(BUILDING.SPR BUILDING.SPR BUILDING.SPR)\n"
     "  SetShadowImage(BLDSHAD.SPR)\n"
     "  SetDescription(Supply_Depot)\n"
     "  SetSell(10 3) SetResource(0 5 100 50) SetResourceSale(0 50 2)\n"
     "  SupplyResource(1 0 0 25) NeedResource(1 4) SetOffOnTimes(6 6)\n"
     "  SetCPULoad(2) SetCPUGainPercent(10) SetStealTime(300) SetRadar(1 1)\n"
     "  SetSeeingRange(6) SetSeeingHeight(3) SetRooms(2 1)\n"
     "  SetRequirements { SetType(20) SetPrereqs(1 2) SetMaker(3) SetTechLevel(2) }\n"
     "  SetHitpoints(800 400) SetImageSortHeight(4) SetSide(1)\n"
     "  SetEquivalentBuilding(Other) SetCost(500 120) SetRepairCost(5 10)\n"
     "  IsBridge() IsNotBuilderEater() IsBuiltFromEdge() GivesMiniMap()\n"
     "  IsTeleport(2 SmallBlast) CanRearm() CanRearmFlyer() CanRepair() CanHeal()\n"
     "  ActivePart(Tank 4 8 none 0 0 none 0 0 none 0 0) AssociatedUnit(Tank 1)\n"
     "  SetSpyType(RESOURCE) SetVulnerability(Armour 40) MakesCrater(2)\n"
     "  SetHealthExplosion(50 BigBlast)\n"
     "  SetEfficiencyHitPoints { (20 10) (100 60) }\n"
     "  SetEfficiencyResource { (0 0) (100 100) }\n"
     "  SetTransportUnit(Tank 30 40) SetConstructAnimation(0) SetIdleAnimation(1)\n"
     "  SetDestructAnimation(2) SetUpgradeAnimation(3) SetRepairAnimation(4)\n"
     "  SetRearmAnimation(5) SetResourceSaleAnimation(6) SetBoardAnimation(7)\n"
     "  SetSellActionIndicator(Tree) SetRepairActionIndicator(Tree)\n"
     "  SetPowerUpActionIndicator(Tree) SetPowerDownActionIndicator(Tree)\n"
     "  SetPackActionIndicator(Tree) SetInterface(1 2)\n"
     "}\n"},
    {"build-links.txt", BUILDING,
     "DefineBuildingType(Factory) {\n"
     "  SetBuildingImages(BUILDING.SPR BUILDING.SPR BUILDING.SPR)\n"
     "  CanMake() SetBay(1 0) SetCost(300 1) SetHitpoints(99 0)\n"
     "}\n"
     "DefineBuildingType(FakeFactory) { IsDecoyOf(Factory) }\n"
     "DefineBuildingType(BigFactory) {\n"
     "  SetBuildingImages(BUILDING.SPR BUILDING.SPR BUILDING.SPR)\n"
     "  IsUpgradeOf(Factory) CanMake() SetBay(0 1) SetHitpoints(200 0)\n"
     "}\n"},
    {"build-badnumber.txt", BUILDING,
     "DefineBuildingType(Depot) {\n"
     "  SetBuildingImages(BUILDING.SPR BUILDING.SPR BUILDING.SPR)\n"
     "  SetHitpoints(1e3 0) SetCost(99999999999 10)\n"
     "}\n"},
    {"build-nohitpoints.txt", BUILDING,
     "DefineBuildingType(Depot) {\n"
     "  SetBuildingImages(BUILDING.SPR BUILDING.SPR BUILDING.SPR) SetHitpoints(1 0)\n"
     "}\n"
     "DefineBuildingType(Fake) { IsDecoyOf(Depot) }\n"},
    {"units-badnumber.txt", UNIT,
     "DefineUnitType(\"Tank\") {\n  SetStrength(4e2)\n  SetSeeingRange(99999999999)\n}\n"},
    {"units-decoycount.txt", UNIT,
     "DefineUnitType(\"Tank\") {\n  SetStrength(100)\n}\n"
     "DefineUnitType(\"Fake\") {\n  IsDecoyOf(\"Tank\" \"-1\")\n  IsDecoyOf(\"Tank\" \"70000\")\n}\n"},
    {"units-spytimes.txt", UNIT,
     "DefineUnitType(\"Spy\") {\n  CanSpy(50 10)\n  CanSabotage(-3 0 0)\n}\n"},
};

int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_rules") return 1;
    for (const auto& seed : SEEDS) {
        std::string content = std::string(1, seed.selector) + seed.text;
        if (!Mkdata_WriteFile(dir + "/" + seed.name, content.data(), content.size())) return 0;
    }
    return 1;
}

} // namespace

MKDATA_REGISTER(buildseeds, "buildseeds", nullptr, Seeds);
