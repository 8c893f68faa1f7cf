// Seeds of the rule-file target's building reader: files that use every
// keyword, the decoy and upgrade links, a factory's bay and the efficiency
// lines, over the names the target provides (the demo's explosions, defences
// and things, a unit type "Tank" and a footprint named after "BUILDING.SPR").
#include <cstdio>
#include <string>

#include "mkdata.h"

namespace {

// The target's selector for the building file, then the text.
const char SELECTOR = '8';

const char* const SEEDS[][2] = {
    {"build-full.txt",
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
    {"build-links.txt",
     "DefineBuildingType(Factory) {\n"
     "  SetBuildingImages(BUILDING.SPR BUILDING.SPR BUILDING.SPR)\n"
     "  CanMake() SetBay(1 0) SetCost(300 1) SetHitpoints(99 0)\n"
     "}\n"
     "DefineBuildingType(FakeFactory) { IsDecoyOf(Factory) }\n"
     "DefineBuildingType(BigFactory) {\n"
     "  SetBuildingImages(BUILDING.SPR BUILDING.SPR BUILDING.SPR)\n"
     "  IsUpgradeOf(Factory) CanMake() SetBay(0 1)\n"
     "}\n"},
};

int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_rules") return 1;
    for (const auto& seed : SEEDS) {
        std::string content = std::string(1, SELECTOR) + seed[1];
        if (!Mkdata_WriteFile(dir + "/" + seed[0], content.data(), content.size())) return 0;
    }
    return 1;
}

} // namespace

MKDATA_REGISTER(buildseeds, "buildseeds", nullptr, Seeds);
