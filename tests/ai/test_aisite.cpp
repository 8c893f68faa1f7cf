// Computer players that build: the crew and transport lists, reserved
// areas, the placement search around the base and the crews' hooks.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ai/ai.h"
#include "ai/aibuild.h"
#include "ai/aigrid.h"
#include "ai/aip.h"
#include "ai/aisite.h"
#include "ai/aiteam.h"
#include "core/config.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "map/cre.h"
#include "map/fog.h"
#include "map/map.h"
#include "platform/effects.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/orders.h"
#include "units/ordersint.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitbld.h"
#include "units/unithold.h"
#include "units/unitlist.h"
#include "units/unitsorder.h"

namespace {

class Sites : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Tlog_SetMask(Tlog_GetMask() | TLOG_AI);
        g_UpdateCount = 0;
        crew_ = QvWorld_UnitType("Crew");
        crew_->abilities.canbuild = 1;
        crew_->prereq.id = 3;
        crew_->buildcost = 40;
        post_ = QvWorld_BuildingType("Post", 1, 1);
        post_->cost = 100;
        post_->buildtime = 3;
        post_->prereq.id = 10;
        post_->prereq.makers[0] = 3;
        post_->flags |= BTF_NOTBUILDEREATER;
        tank_->prereq.id = 1;
        tank_->prereq.makers[0] = 3;   // a unit a crew "could make": never bought for one
        Units_PostProcessAllTypes();
        for (TEAM_DATA& td : teamdata) td.type = TT_HUMAN;
        teamdata[2].type = TT_COMPUTER;
        Fog_SetSeeAll(1);
        CRE_Build();
        PREREQ_Init();
        AI_SpecialForcesInit();
        AI_AIPInit();
    }
    void TearDown() override
    {
        if (ai_game_initialised) AI_Close();
        if (plan_) AIP_Delete(plan_);
        AI_AIPClose();
        AI_SpecialForcesClose();
        PREREQ_Done();
        CRE_Close();
        Fog_SetSeeAll(0);
        QvWorldTest::TearDown();
    }
    // The team's plan: posts (and tanks) to have, all from account 0.
    void Start(int posts, int credits, const std::string& extra = "")
    {
        Team_SetCredits(2, credits);
        dir_.write("plan.aip",
                   "struct account { string account_name; int budget; int max_reserve; };\n"
                   "struct entry { int priority; int build_type; string item_name; int build_amount; };\n"
                   "account unit_construction_program[] = { {\"a\", 0, 0} };\n"
                   "entry a[] = { {1, 0, \"Post\", " + std::to_string(posts) + "}, {1, 0, \"Tank\", 5} };\n" + extra);
        plan_ = AIP_Load(dir_.file("plan.aip").c_str());
        ASSERT_NE(plan_, nullptr);
        Init();
        AI_Activate(2);
        AI_AIPSwitch(2, plan_);
    }
    // The strengths need a part on every type; units made later need none.
    void Init()
    {
        PARTTYPE* bare = Parts_NewType();
        for (int i = 0; i < Units_UnitTypeCount(); i++) {
            Units_GetTypePtr(i)->partinfo.nrparts = 1;
            Units_GetTypePtr(i)->partinfo.parttype[0] = bare;
        }
        AI_Init();
        for (int i = 0; i < Units_UnitTypeCount(); i++) {
            Units_GetTypePtr(i)->partinfo.nrparts = 0;
            Units_GetTypePtr(i)->partinfo.parttype[0] = nullptr;
        }
    }
    AI_Team* Team() { return AI_GetTeam(2); }
    static std::vector<int> Ids(const GLL* list)
    {
        std::vector<int> ids;
        for (const GLL_NODE* n = list->first; n; n = n->next) ids.push_back(static_cast<UNIT*>(n->element)->id);
        return ids;
    }
    // The place the search gives a 1 x 1 post, (-1, -1) for none.
    std::pair<int, int> Place(const UNIT* crew = nullptr)
    {
        int x = -1, y = -1;
        if (!AIBuild_FindNormalFacilityLocation(Team(), post_, &x, &y, crew)) return {-1, -1};
        return {x, y};
    }
    QvTempDir dir_;
    UNITTYPE* crew_ = nullptr;
    BUILDINGTYPE* post_ = nullptr;
    AIP_struct* plan_ = nullptr;
};

// ------------------------------------------------------------------ placement

TEST_F(Sites, RingsAreTriedInTheirOrderAroundTheBase)
{
    Start(1, 0);
    Team()->aibuild.base_x = Team()->aibuild.base_y = 50;
    // Each row reserves the places before it, one tile each: the search
    // then lands on the next one of the rings' order.
    const std::vector<std::pair<int, int>> order = {
        {50, 49}, {50, 51}, {51, 50}, {49, 50},                       // ring 1
        {49, 48}, {50, 48}, {49, 52}, {50, 52}, {52, 49}, {52, 50}, {48, 49}, {48, 50}};
    for (size_t k = 0; k < order.size(); k++) {
        AIBuild_ClearReservedAreas(Team());
        for (size_t i = 0; i < k; i++) AIBuild_ReserveArea(Team(), order[i].first, order[i].second, 1, 1);
        EXPECT_EQ(Place(), order[k]) << "place " << k;
    }
}

TEST_F(Sites, ReservedRectanglesOverlapByThePartsRule)
{
    Start(1, 0);
    const int slot = AIBuild_ReserveArea(Team(), 20, 20, 5, 5);   // a post at (22, 22) and its margin
    EXPECT_EQ(slot, 0);
    struct Row { const char* name; int x, y, w, h, reserved; };
    const Row rows[] = {
        {"touching the margin's corner", 24, 24, 3, 3, 1},
        {"just right of it", 25, 20, 3, 3, 0},
        {"just below it", 20, 25, 3, 3, 0},
        {"just left of it", 17, 20, 3, 3, 0},
        {"covering it", 10, 10, 30, 30, 1},
    };
    for (const Row& r : rows) EXPECT_EQ(AIBuild_IsReserved(Team(), r.x, r.y, r.w, r.h), r.reserved) << r.name;
    AIBuild_ClearReservedFlag(Team(), 40);   // ignored
    AIBuild_ClearReservedFlag(Team(), slot);
    EXPECT_EQ(AIBuild_IsReserved(Team(), 10, 10, 30, 30), 0);
    for (int i = 0; i < AIBUILD_RESERVED_AREAS; i++) EXPECT_EQ(AIBuild_ReserveArea(Team(), i, 0, 1, 1), i);
    EXPECT_EQ(AIBuild_ReserveArea(Team(), 0, 0, 1, 1), -1);
    AIBuild_DumpReservedAreas(Team());
    EXPECT_NE(log_.text().find("   (31, 0)->(31, 0)"), std::string::npos);
}

TEST_F(Sites, PositionTestKeepsMarginsLevelExitsAndFreeTiles)
{
    Start(1, 0);
    struct Row { const char* name; int x, y, fits; void (*prepare)(); };
    const Row rows[] = {
        {"open land", 30, 30, 1, [] {}},
        {"2 tiles from the left edge", 2, 30, 1, [] {}},
        {"1 tile from the left edge", 1, 30, 0, [] {}},
        {"2 tiles from the right edge", 61, 30, 1, [] {}},
        {"1 tile from the right edge", 62, 30, 0, [] {}},
        {"exit strip 2 rows from the bottom", 30, 61, 1, [] {}},
        {"exit strip off the map", 30, 62, 0, [] {}},
        {"an altitude step in the exit strip", 30, 30, 0, [] { MAP_ELEMENT_AT(30, 32)->altitude = 6; }},
        {"a thing in the clearance", 30, 30, 0, [] { MAP_ELEMENT_AT(28, 28)->effect = 3; }},
        {"bare terrain under the footprint", 30, 30, 0, [] { MAP_ELEMENT_AT(30, 30)->tile &= ~0xFu; }},
    };
    for (const Row& r : rows) {
        r.prepare();
        EXPECT_EQ(AIBuild_PositionFits(Team(), post_, r.x, r.y, nullptr), r.fits) << r.name;
        MAP_ELEMENT_AT(30, 32)->altitude = 4;
        MAP_ELEMENT_AT(28, 28)->effect = MAP_EFFECT_NONE;
        MAP_ELEMENT_AT(30, 30)->tile |= 1;
    }
    // A standing building writes its codes: the next one keeps its margin.
    Build_New(post_, 4, -1, 40, 40);
    EXPECT_EQ(AIBuild_PositionFits(Team(), post_, 42, 40, nullptr), 0);
    EXPECT_EQ(AIBuild_PositionFits(Team(), post_, 43, 40, nullptr), 1);
}

TEST_F(Sites, FootprintsMissingMisSizedBridgesAndUnits)
{
    Start(1, 0);
    BUILDINGTYPE* ghost = QvWorld_BuildingType("Ghost", 1, 1);
    snprintf(ghost->image[0], sizeof ghost->image[0], "Nothing");
    BUILDINGTYPE* wide = QvWorld_BuildingType("Wide", 2, 2);
    wide->width = 3;
    BUILDINGTYPE* bridge = QvWorld_BuildingType("Bridge", 2, 1);
    bridge->flags |= BTF_ISBRIDGE;
    EXPECT_EQ(AIBuild_CanBuildHere(ghost, 20, 20), 0);
    EXPECT_NE(log_.text().find("[AIBUILD] CanBuildHere - No effects for Ghost"), std::string::npos);
    EXPECT_EQ(AIBuild_CanBuildHere(wide, 20, 20), 0);
    EXPECT_NE(log_.text().find("[AIBUILD] CanBuildHere - Incorrect size for Wide"), std::string::npos);
    int x, y;
    Team()->aibuild.base_x = Team()->aibuild.base_y = 20;
    EXPECT_EQ(AIBuild_FindNormalFacilityLocation(Team(), wide, &x, &y, nullptr), 0);   // never placed
    // Water (no terrain bits) and a step: only a bridge stands there.
    BUILDINGTYPE* wall = QvWorld_BuildingType("Wall", 2, 1);
    MAP_ELEMENT_AT(20, 20)->tile &= ~0xFu;
    MAP_ELEMENT_AT(21, 20)->altitude = 2;
    EXPECT_EQ(AIBuild_CanBuildHere(wall, 19, 20), 0);
    EXPECT_EQ(AIBuild_CanBuildHere(wall, 21, 20), 0);
    EXPECT_EQ(AIBuild_CanBuildHere(wall, 22, 20), 1);
    EXPECT_EQ(AIBuild_CanBuildHere(bridge, 19, 20), 1);
    EXPECT_EQ(AIBuild_CanBuildHere(bridge, 21, 20), 1);
    // Entries of code 31 are not part of the footprint.
    Effects_OvlEntry(bridge->footprint, 0, 0)[0] = MAP_EFFECT_NONE;
    Units_NewAt(tank_, 4, -1, 20, 20);
    EXPECT_EQ(AIBuild_CanBuildHere(bridge, 19, 20), 0);   // a unit on the footprint's tile
    EXPECT_EQ(AIBuild_CanBuildHere(bridge, 20, 20), 1);   // it stands on the skipped entry
}

TEST_F(Sites, AMineFitsInTheFewRingsOfItsHalfSize)
{
    Start(1, 0);
    BUILDINGTYPE* mine = QvWorld_BuildingType("Mine", 4, 4);
    int x = -1, y = -1;
    ASSERT_EQ(AIBuild_CanMineFitHere(Team(), mine, 30, 30, &x, &y), 1);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(30, 29));
    // Units that touch all of ring 1 but not the first place of ring 2.
    Units_NewAt(tank_, 4, -1, 33, 32);
    Units_NewAt(tank_, 4, -1, 30, 33);
    ASSERT_EQ(AIBuild_CanMineFitHere(Team(), mine, 30, 30, &x, &y), 1);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(29, 28));
    EXPECT_NE(log_.text().find("AIBuild_CanMineFitHere Ends"), std::string::npos);
    // Rings 1 and 2 only (3 exceeds 4 / 2): a free ring 3 is never tried.
    AIBuild_ReserveArea(Team(), 27, 26, 8, 8);
    EXPECT_EQ(AIBuild_CanMineFitHere(Team(), mine, 30, 30, &x, &y), 0);
    EXPECT_EQ(AIBuild_IsReserved(Team(), 27, 32, 4, 4), 1);
    EXPECT_EQ(AIBuild_IsReserved(Team(), 29, 27, 4, 4), 1);
}

TEST_F(Sites, TheBaseIsTheAverageOfBuildingsElseUnits)
{
    Units_NewAt(crew_, 2, -1, 11, 20);
    Units_NewAt(crew_, 2, -1, 12, 21);
    Start(1, 0);
    EXPECT_EQ(Team()->aibuild.base_x, 11);
    EXPECT_EQ(Team()->aibuild.base_y, 20);
    AI_Close();
    Build_New(post_, 2, -1, 30, 40);
    Build_New(post_, 2, -1, 33, 45);
    Init();
    EXPECT_EQ(Team()->aibuild.base_x, 31);
    EXPECT_EQ(Team()->aibuild.base_y, 42);
    EXPECT_NE(log_.text().find("AT Team 2 Base Located at (31, 42)"), std::string::npos);
}

// ------------------------------------------------------------------ crews

TEST_F(Sites, CrewsBuyBuildingsOnlyAtReservedPlacesAndThe33rdGetsNoArea)
{
    std::vector<UNIT*> crews;
    for (int i = 0; i < 33; i++) crews.push_back(Units_NewAt(crew_, 2, -1, 10 + i, 5));
    Start(40, 100000);
    EXPECT_EQ(Team()->aibuild.unassigned_cc->count, 33);
    UNIT* head = AIBuild_UnassignedCCGet(Team());   // the last one added
    UNIT* tail = static_cast<UNIT*>(Team()->aibuild.unassigned_cc->last->element);
    AIBuild_BuildCandidates(Team());
    AIBuild_AssignConstructionUnits(Team());
    EXPECT_EQ(Team()->aibuild.unassigned_cc->count, 0);
    EXPECT_EQ(head->ai.cc_reserved_area, 0);
    EXPECT_EQ(tail->ai.cc_reserved_area, -1);
    std::vector<std::pair<int, int>> places;
    for (UNIT* c : crews) {
        EXPECT_EQ(c->sorder.code, SO_CONSTRUCT);
        EXPECT_EQ(c->ai.cc_construct_type, 10);   // never the tank
        EXPECT_EQ(c->ai.cc_construct_cost, 100);
        places.emplace_back(c->sorder.construct.topleftpos.x, c->sorder.construct.topleftpos.y);
    }
    // Reserved with their margins: the first 32 at least 2 tiles apart.
    for (size_t i = 1; i < places.size(); i++)
        for (size_t j = i + 1; j < places.size(); j++)
            EXPECT_TRUE(abs(places[i].first - places[j].first) > 2 ||
                        abs(places[i].second - places[j].second) > 2);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 10), 33);
    EXPECT_EQ(Team()->aibuild.prespent_credits, 3300);
    EXPECT_TRUE(AIBuild_BooksBalance(Team()));
}

TEST_F(Sites, EachWayACrewLeavesGivesBackWhatItHeld)
{
    UNIT* idle = Units_NewAt(crew_, 2, -1, 20, 20);
    Start(3, 1000);
    AI_UnitRemove(idle);
    EXPECT_EQ(Team()->aibuild.unassigned_cc->count, 0);
    UNIT* shot = Units_NewAt(crew_, 2, -1, 20, 20);
    UNIT* inside = Units_NewAt(crew_, 2, -1, 21, 20);
    AI_UnitAdd(shot);
    AI_UnitAdd(inside);
    AIBuild_BuildCandidates(Team());
    AIBuild_AssignConstructionUnits(Team());
    ASSERT_EQ(AIBuild_UnderConstruction(2, 10), 2);
    EXPECT_EQ(AI_GetCredits(2), 800);
    AI_UnitBuildingStarted(inside);
    const int inside_slot = inside->ai.cc_reserved_area;
    AI_UnitRemove(shot);   // shot on its way: count, area and money back
    EXPECT_NE(log_.text().find("  Removing assigned construction crew - shot dead"), std::string::npos);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 10), 1);
    EXPECT_EQ(AI_GetCredits(2), 900);
    AI_UnitRemove(inside);  // consumed by its site: the area only
    EXPECT_FALSE(Team()->aibuild.reserved[inside_slot].in_use);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 10), 1);
    EXPECT_EQ(AI_GetCredits(2), 900);
    for (const AIBUILD_RESERVED& r : Team()->aibuild.reserved) EXPECT_FALSE(r.in_use);
    EXPECT_TRUE(AIBuild_BooksBalance(Team()));
}

TEST_F(Sites, RegressionACrewComingOutOfItsBuildingFreesItsPlace)
{
    UNIT* c = Units_NewAt(crew_, 2, -1, 20, 20);
    Start(1, 1000);
    AIBuild_BuildCandidates(Team());
    AIBuild_AssignConstructionUnits(Team());
    const int slot = c->ai.cc_reserved_area;
    ASSERT_GE(slot, 0);
    AI_UnitBuildingStarted(c);
    // The building keeps its builder: it comes out and joins again.
    AI_UnitBuildingFinished(c);
    AI_UnitAdd(c);
    EXPECT_FALSE(Team()->aibuild.reserved[slot].in_use);
    EXPECT_EQ(c->ai.cc_construct_type, 0);
    EXPECT_EQ(Ids(Team()->aibuild.unassigned_cc), std::vector<int>{c->id});
}

// Crew a came out of the post it started still holding the post's 100 as
// if on its way: its player's next order stalled and the 100 came back a
// second time while the site was still paying from it. Now a site takes
// the crew's purchase, and a site of another type (its player sent crew b
// elsewhere) takes none: b's purchase goes back.
TEST_F(Sites, RegressionASiteTakesItsCrewsPurchaseAndACrewBackHoldsNone)
{
    UNIT* a = Units_NewAt(crew_, 2, -1, 20, 20);
    UNIT* b = Units_NewAt(crew_, 2, -1, 22, 20);
    BUILDINGTYPE* shed = QvWorld_BuildingType("Shed", 1, 1);
    Start(2, 1000);
    AIBuild_BuildCandidates(Team());
    AIBuild_AssignConstructionUnits(Team());
    ASSERT_EQ(AIBuild_UnderConstruction(2, 10), 2);
    BUILDING* post = Build_New(post_, 2, -1, 30, 30);
    BUILDING* other = Build_New(shed, 2, -1, 34, 30);
    post->state = other->state = BS_BEINGBUILT;
    AI_BuildingCommenced(post, a);
    AI_BuildingCommenced(other, b);
    EXPECT_EQ(post->ai.refundable, 100);
    EXPECT_EQ(other->ai.refundable, 0);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 10), 1);
    EXPECT_EQ(Team()->aibuild.prespent_credits, 100);
    for (const UNIT* c : {a, b}) {
        EXPECT_EQ(c->ai.cc_construct_type, 0);
        EXPECT_EQ(c->ai.cc_construct_cost, 0);
    }
    EXPECT_TRUE(Ids(Team()->aibuild.unassigned_cc).empty());   // inside: nobody's to assign
    AI_UnitBuildingStarted(a);
    AI_UnitBuildingFinished(a);
    AI_UnitAdd(a);
    AI_BuildingStalled(a);
    EXPECT_EQ(Team()->aibuild.prespent_credits, 100);
    EXPECT_EQ(AI_GetCredits(2), 900);
    EXPECT_TRUE(AIBuild_BooksBalance(Team()));
    post->state = other->state = BS_IDLE;
}

// A crew its cancelled site put back still has the in-building flag: given
// to a computer team, bought for, then given on, it kept that purchase as
// its site's, and the next team's books paid it back.
TEST_F(Sites, RegressionACrewPutBackByItsSiteAndGivenOnGivesItsPurchaseBack)
{
    UNIT* c = Units_NewAt(crew_, 2, -1, 20, 20);
    Start(1, 1000);
    AI_UnitBuildingStarted(c);
    AI_UnitAdd(c);
    AIBuild_BuildCandidates(Team());
    AIBuild_AssignConstructionUnits(Team());
    ASSERT_EQ(Team()->aibuild.prespent_credits, 100);
    AI_UnitRemove(c);
    EXPECT_EQ(c->ai.cc_construct_cost, 0);
    EXPECT_EQ(Team()->aibuild.prespent_credits, 0);
    EXPECT_EQ(AI_GetCredits(2), 1000);
}

TEST_F(Sites, AStallPutsTheCrewBackAtTheHeadWithItsMoney)
{
    UNIT* a = Units_NewAt(crew_, 2, -1, 20, 20);
    UNIT* b = Units_NewAt(crew_, 2, -1, 22, 20);
    Start(1, 1000);
    UNIT* first = AIBuild_UnassignedCCGet(Team());
    UNIT* other = first == a ? b : a;
    AIBuild_BuildCandidates(Team());
    AIBuild_AssignConstructionUnits(Team());
    ASSERT_NE(first->ai.cc_construct_type, 0);   // the head took the one post
    EXPECT_EQ(Ids(Team()->aibuild.unassigned_cc), std::vector<int>{other->id});
    AI_BuildingStalled(first);
    b = first;
    EXPECT_EQ(Ids(Team()->aibuild.unassigned_cc), (std::vector<int>{first->id, other->id}));
    EXPECT_EQ(b->ai.cc_construct_type, 0);
    EXPECT_EQ(b->ai.cc_construct_cost, 0);
    EXPECT_EQ(b->ai.cc_reserved_area, -1);
    EXPECT_EQ(b->sorder.code, SO_NONE);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 10), 0);
    EXPECT_EQ(Team()->aibuild.prespent_credits, 0);
    EXPECT_EQ(AI_GetCredits(2), 1000);
    for (const AIBUILD_RESERVED& r : Team()->aibuild.reserved) EXPECT_FALSE(r.in_use);
}

TEST_F(Sites, RegressionACrewPassesOverPlacesItCannotBuildOnOrReach)
{
    UNIT* c = Units_NewAt(crew_, 2, -1, 50, 56);
    Start(1, 1000);
    Team()->aibuild.base_x = Team()->aibuild.base_y = 50;
    // Explored only within 4 tiles of (50, 54): (50, 49) is not.
    Fog_SetSeeAll(0);
    SEEMAP seen{};
    Fog_Sweep(&seen, 50, 54, 4, 10, 2);
    EXPECT_EQ(Place(), std::make_pair(50, 49));   // the position test alone takes it
    EXPECT_EQ(Place(c), std::make_pair(50, 51));
    Fog_Unsweep(&seen);
    // Walled in by a cliff round x 47..53, y 53..59: only places inside it.
    Fog_SetSeeAll(1);
    for (int i = 47; i <= 53; i++)
        for (const auto& [x, y] : {std::make_pair(i, 53), std::make_pair(i, 59), std::make_pair(47, i + 6),
                                   std::make_pair(53, i + 6)})
            MAP_ELEMENT_AT(x, y)->altitude = 20;
    CRE_Close();
    CRE_Build();
    EXPECT_EQ(Place(), std::make_pair(50, 49));
    EXPECT_EQ(Place(c), std::make_pair(48, 54));
}

// ------------------------------------------------------------------ sites and transports

class Transports : public Sites {
protected:
    void SetUp() override
    {
        Sites::SetUp();
        well_ = QvWorld_BuildingType("Well", 2, 2);
        well_->resource[0].production = 5;
        well_->resource[0].maxstored = 100;
        ore_ = QvWorld_BuildingType("Ore", 2, 2);
        ore_->resource[1].production = 5;
        depot_ = QvWorld_BuildingType("Depot", 2, 2);
        depot_->resource[0].salepercent = 50;
        depot_->resource[0].maxstored = 1000;
        tanker_ = QvWorld_UnitType("Tanker");
        tanker_->resource[0][0] = 10;
        tanker_->bldpairs.count = 1;
        tanker_->bldpairs.pair[0].srctype = well_;
        tanker_->bldpairs.pair[0].dsttype = depot_;
        tanker_->bldpairs.pair[0].n = 0;
        for (int i = 0; i < 3; i++) wells_.push_back(Build_New(well_, TEAM_NEUTRAL, -1, 10 + 10 * i, 20));
        ore_site_ = Build_New(ore_, TEAM_NEUTRAL, -1, 40, 20);
        depot_b_ = Build_New(depot_, 2, -1, 20, 40);
    }
    AIBUILD_SITE* Site(const BUILDING* b)
    {
        for (int r = 0; r < AIBUILD_RESOURCES; r++)
            for (int i = 0; i < AIBuild_ResourceCount(r); i++)
                if (AIBUILD_SITE* s = AIBuild_ResourceGet(r, i); s && s->id == b->id) return s;
        return nullptr;
    }
    void Score(const BUILDING* b, int score, int usable = 1)
    {
        Site(b)->score[2] = score;
        Site(b)->usable[2] = usable;
    }
    BUILDINGTYPE* well_ = nullptr;
    BUILDINGTYPE* ore_ = nullptr;
    BUILDINGTYPE* depot_ = nullptr;
    UNITTYPE* tanker_ = nullptr;
    std::vector<BUILDING*> wells_;
    BUILDING* ore_site_ = nullptr;
    BUILDING* depot_b_ = nullptr;
};

TEST_F(Transports, SitesAreListedWaterFirstWithTheirDoors)
{
    well_->bayx = 1;
    well_->bayy = 2;
    Start(1, 0);
    ASSERT_EQ(AIBuild_ResourceCount(0), 3);
    ASSERT_EQ(AIBuild_ResourceCount(1), 1);
    EXPECT_EQ(AIBuild_ResourceGet(0, 0)->id, wells_[0]->id);   // the walk is newest first
    EXPECT_EQ(AIBuild_ResourceGet(0, 0)->x, 11);
    EXPECT_EQ(AIBuild_ResourceGet(0, 0)->y, 22);
    EXPECT_EQ(AIBuild_ResourceGet(0, 3), nullptr);
    EXPECT_EQ(AIBuild_ResourceGet(2, 0), nullptr);
    EXPECT_EQ(Team()->aibuild.takers[0]->count, 1);   // the depot, taken at AI_Init
    AI_BuildingCompleted(depot_b_);
    EXPECT_EQ(Team()->aibuild.takers[0]->count, 1);   // listed once
    EXPECT_EQ(Team()->aibuild.takers[1]->count, 0);
    EXPECT_NE(log_.text().find("resource #1 found at (40, 20) id number"), std::string::npos);
    AI_Close();
    EXPECT_NE(log_.text().find("leaving RLD"), std::string::npos);
    EXPECT_EQ(AIBuild_ResourceCount(0), 0);
}

TEST_F(Transports, TheBestFreeSiteWinsAndWithoutAPartnerNoneIsTaken)
{
    UNIT* t = Units_NewAt(tanker_, 2, -1, 20, 30);
    Start(1, 0);
    struct Row { const char* name; int a, b, c, ore; int chosen; };   // chosen: well index, 3 ore, -1 none
    const Row rows[] = {
        {"highest score", 5, 7, 5, 5, 1},
        {"first of equal scores, water first", 5, 5, 5, 5, 0},
        {"ore has no partner: stays unassigned", 5, 5, 5, 9, -1},
    };
    for (const Row& r : rows) {
        Score(wells_[0], r.a);
        Score(wells_[1], r.b);
        Score(wells_[2], r.c);
        Score(ore_site_, r.ore);
        AIBuild_AssignTransport(Team());
        if (r.chosen < 0) {
            EXPECT_EQ(Team()->aibuild.unassigned_transports->count, 1) << r.name;
            continue;
        }
        ASSERT_EQ(Team()->aibuild.assigned_transports->count, 1) << r.name;
        EXPECT_EQ(t->ai.producer_id, wells_[(size_t)r.chosen]->id) << r.name;
        EXPECT_EQ(t->ai.consumer_id, depot_b_->id) << r.name;
        EXPECT_EQ(t->ai.resource_type, 0) << r.name;
        EXPECT_EQ(t->sorder.code, SO_TRAIL) << r.name;
        EXPECT_EQ(Site(wells_[(size_t)r.chosen])->served[2], 1) << r.name;
        AI_UnitRemove(t);   // dead: the site is free again
        EXPECT_EQ(Site(wells_[(size_t)r.chosen])->served[2], 0) << r.name;
        AI_UnitAdd(t);
    }
    // A served site is passed over.
    Score(ore_site_, 0, 0);
    AIBuild_AssignTransport(Team());
    UNIT* u = Units_NewAt(tanker_, 2, -1, 21, 30);
    AI_UnitAdd(u);
    AIBuild_AssignTransport(Team());
    EXPECT_NE(u->ai.producer_id, t->ai.producer_id);
}

TEST_F(Transports, ARemovedPartnerReleasesItsTransportsMostRecentFirst)
{
    std::vector<UNIT*> ts;
    for (int i = 0; i < 3; i++) ts.push_back(Units_NewAt(tanker_, 2, -1, 20 + i, 30));
    Start(1, 0);
    for (BUILDING* w : wells_) Score(w, 1);
    for (int i = 0; i < 3; i++) AIBuild_AssignTransport(Team());
    ASSERT_EQ(Team()->aibuild.assigned_transports->count, 3);
    const std::vector<int> assigned = Ids(Team()->aibuild.assigned_transports);
    Build_RemoveFromGame(depot_b_, BRM_DESTROYED);
    EXPECT_EQ(Team()->aibuild.assigned_transports->count, 0);
    // Walked from the last to the first, each put at the head: the list
    // ends in the order they had.
    EXPECT_EQ(Ids(Team()->aibuild.unassigned_transports), assigned);
    for (UNIT* t : ts) EXPECT_EQ(t->sorder.code, SO_NONE);
    for (BUILDING* w : wells_) EXPECT_EQ(Site(w)->served[2], 0);
    EXPECT_EQ(Team()->aibuild.takers[0]->count, 0);
}

TEST_F(Transports, RegressionAGoneSourceHidesNoLaterSite)
{
    UNIT* t = Units_NewAt(tanker_, 2, -1, 20, 30);
    Start(1, 0);
    for (BUILDING* w : wells_) Score(w, 1);
    const int gone = wells_[0]->id;
    Build_RemoveFromGame(wells_[0], BRM_DESTROYED);
    EXPECT_EQ(AIBuild_ResourceGet(0, 0), nullptr);
    EXPECT_EQ(AIBuild_CountTransportsNeeded(Team()), 1);   // two live sites, one transport
    AIBuild_AssignTransport(Team());
    EXPECT_EQ(t->ai.producer_id, wells_[1]->id);
    EXPECT_NE(t->ai.producer_id, gone);
}

TEST_F(Transports, TransportsNeededCountUsableSitesWithATaker)
{
    Start(1, 0);
    struct Row { const char* name; int usable_wells; int ore_usable; int transports; int building; int need; };
    const Row rows[] = {
        {"no usable site", 0, 0, 0, 0, 0},
        {"two wells", 2, 0, 0, 0, 2},
        {"ore without a taker adds none", 2, 1, 0, 0, 2},
        {"less those owned", 3, 0, 1, 0, 2},
        {"less those under construction", 3, 0, 1, 1, 1},
        {"never below 0", 1, 0, 2, 0, 0},
    };
    plan_->transport = tanker_->prereq.id = 5;
    for (const Row& r : rows) {
        for (int i = 0; i < 3; i++) Score(wells_[(size_t)i], 0, i < r.usable_wells);
        Score(ore_site_, 0, r.ore_usable);
        std::vector<UNIT*> made;
        for (int i = 0; i < r.transports; i++) {
            made.push_back(Units_NewAt(tanker_, 2, -1, 20 + i, 30));
            AI_UnitAdd(made.back());
        }
        for (int i = 0; i < r.building; i++) AIBuild_UnderConstructionAdd(2, 5);
        EXPECT_EQ(AIBuild_CountTransportsNeeded(Team()), r.need) << r.name;
        EXPECT_EQ(Team()->aibuild.transports_needed, r.need) << r.name;
        for (UNIT* u : made) Units_Delete(u);
        for (int i = 0; i < r.building; i++) AIBuild_UnderConstructionRemove(2, 5);
    }
}

// ------------------------------------------------------------------ the strategic grid

// Runs the distance transform on a hand-made grid; rows of digits.
static std::vector<std::string> Fire(const std::vector<std::string>& grid, int invert, int edge, int conn)
{
    const int rows = (int)grid.size(), columns = (int)grid[0].size();
    std::vector<int32_t> src, dst((size_t)rows * columns);
    for (const std::string& row : grid)
        for (char c : row) src.push_back(c - '0');
    Grassfire_Open(rows, columns);
    Grassfire_Run(src.data(), dst.data(), 1, invert, edge, conn, rows, columns);
    Grassfire_Close();
    std::vector<std::string> out;
    for (int r = 0; r < rows; r++) {
        out.emplace_back();
        for (int c = 0; c < columns; c++) out.back() += (char)('0' + dst[(size_t)(r * columns + c)]);
    }
    return out;
}

TEST(Grassfire, DistancesOnHandMadeGrids)
{
    struct Row { const char* name; std::vector<std::string> in; int invert, edge, conn; std::vector<std::string> out; };
    const Row rows[] = {
        {"8-connected, far border", {"00000", "00100", "00000", "00000"}, 0, 0, 8,
         {"21112", "21012", "21112", "22222"}},
        {"4-connected, far border", {"00000", "00100", "00000", "00000"}, 0, 0, 4,
         {"32123", "21012", "32123", "43234"}},
        {"capped at columns - 1", {"1000000"}, 0, 0, 4, {"0123456"}},
        {"cap 2 on three columns", {"100", "000", "000", "000"}, 0, 0, 4, {"012", "122", "222", "222"}},
        {"near border: the edge is a source", {"000", "000", "000"}, 0, 1, 8, {"111", "121", "111"}},
        {"inverted: cells other than 1 are sources", {"111", "101", "111"}, 1, 1, 4, {"212", "101", "212"}},
        {"inverted, edge 0: the border is near", {"111", "111", "111"}, 1, 0, 4, {"111", "121", "111"}},
    };
    for (const Row& r : rows) EXPECT_EQ(Fire(r.in, r.invert, r.edge, r.conn), r.out) << r.name;
}

TEST(Grassfire, SizesOtherThanOpenedAreFatalAndCloseWithoutOpenIsLogged)
{
    QvLogCapture log;
    Grassfire_Close();
    EXPECT_NE(log.text().find("Grassfire Closed without matching open."), std::string::npos);
    int32_t a[4] = {}, b[4] = {};
    Grassfire_Open(2, 2);
    EXPECT_DEATH(Grassfire_Run(a, b, 1, 0, 0, 8, 1, 4), "Grassfire assertion failure");
    Grassfire_Close();
}

class Grid : public Transports {
protected:
    // A plan that thinks every 9th update (period 0) with a plain threat.
    void StartGrid(const std::string& extra = "")
    {
        Start(1, 0,
              "int ground_unit_threat = 10; int relaxation_cycles = 1; float relaxation_coefficient = 0.5;\n"
              "float danger_diminishment = 1.0; int recompute_strategy_period = 0;\n" + extra);
    }
    GRIDCELL* Cell(int c, int r) { return AI_GridCell(Team(), c, r); }
    int Scouted(int c, int r)
    {
        const AI_TARGETS& g = Team()->strategic_targets;
        return g.scouted[r * g.grid_columns + c];
    }
    // Runs the team's step at update u.
    void Think(uint32_t u)
    {
        g_UpdateCount = u;
        AI_Team::Update(AI_map, Team());
    }
};

TEST_F(Grid, RecomputeCountsWhatTheTeamHasSeenAndSpreadsTheThreat)
{
    Team_ForceRelation(2, 4, TR_ENEMY);
    Units_NewAt(crew_, 2, -1, 20, 40);   // own: scouts around (20, 40), seeing range 0
    crew_->seeingrange = 0;
    UNIT* near = Units_NewAt(tank_, 4, -1, 21, 41);
    UNIT* far = Units_NewAt(tank_, 4, -1, 60, 5);
    StartGrid();
    Think(2);   // the grid
    ASSERT_TRUE(Team()->stages.grid_done);
    EXPECT_EQ(Cell(2, 5)->enemy_units, 1);
    EXPECT_EQ(Cell(7, 0)->enemy_units, 0);   // never scouted: not counted
    EXPECT_EQ(Cell(2, 5)->enemy_ground_strength, 1);
    EXPECT_EQ(Cell(2, 5)->non_enemy_units, 1);
    EXPECT_EQ(Team()->enemy_units, 1);
    // Threat 10 spread once: edge neighbours 5, corners trunc(5 x 0.709..) = 3.
    EXPECT_EQ(Cell(2, 5)->threat, 10);
    EXPECT_EQ(Cell(3, 5)->threat, 5);
    EXPECT_EQ(Cell(3, 6)->threat, 3);
    EXPECT_EQ(Team()->highest_threat, 10);
    // The own depot at (20, 40) is the base; distances grow by one per cell.
    EXPECT_EQ(Team()->strategic_targets.base[5 * 8 + 2], 1);
    EXPECT_EQ(Team()->strategic_targets.distance_from_base[5 * 8 + 4], 2);
    // A cell once scouted stays scouted when nothing sees it any more.
    Units_Delete(near);
    Units_Delete(far);
    EXPECT_EQ(Scouted(2, 5), 1);
    Think(11);   // resources and the end of the cycle
    Think(20);
    EXPECT_EQ(Scouted(2, 5), 1);
}

TEST_F(Grid, DangerDecaysTowardZeroFromBelowOnly)
{
    StartGrid();
    Cell(0, 0)->danger = -3;
    Cell(1, 0)->danger = 3;
    Cell(2, 0)->danger = 0.5f;
    std::vector<float> seen;
    for (uint32_t u = 2; u < 2 + 9 * 6; u += 9) {
        Think(u);
        if (Team()->stages.grid_done) seen.push_back(Cell(0, 0)->danger);
    }
    EXPECT_EQ(seen, (std::vector<float>{-2, -1, 0}));
    EXPECT_EQ(Cell(1, 0)->danger, 3);
    EXPECT_EQ(Cell(2, 0)->danger, 0);
}

TEST_F(Grid, TeamsThinkOnTheirOwnUpdatesAndAPlanSharesItsWait)
{
    StartGrid();
    plan_->recompute_strategy_period = 20;
    plan_->last_recompute = -21;
    struct Row { const char* name; uint32_t update; int grid_done; };
    const Row rows[] = {
        {"not the team's update", 3, 0},
        {"its update: the grid", 2, 1},
        {"the resources and the end of the cycle", 11, 0},
        {"within the period", 20, 0},
        {"the period has passed", 38, 1},
    };
    for (const Row& r : rows) {
        Think(r.update);
        EXPECT_EQ(Team()->stages.grid_done, r.grid_done) << r.name;
    }
    EXPECT_EQ(plan_->last_recompute, 11);
}

TEST_F(Grid, SitesAreScoredForTheTeam)
{
    crew_->seeingrange = 8;
    Units_NewAt(crew_, 2, -1, 12, 22);   // beside the first well: scouted, one non-enemy unit
    StartGrid();
    Think(2);
    Think(11);
    AIBUILD_SITE* first = Site(wells_[0]);
    EXPECT_EQ(first->usable[2], 1);
    // 1 non-enemy unit - distance 3 from the base cell (2, 5).
    EXPECT_EQ(first->score[2], 1 - 3);
    EXPECT_EQ(Cell(1, 2)->resources, 1);
    EXPECT_EQ(Site(wells_[2])->usable[2], 0);       // nobody near: 0 >= 0 makes it unavailable
    EXPECT_EQ(Site(wells_[2])->score[2], -1000000000);   // not scouted
}

TEST_F(Grid, AKillReportsToBothTeamsAndATweakStaysOnTheGrid)
{
    teamdata[3].type = TT_COMPUTER;
    StartGrid();
    EXPECT_NE(AI_GetTeam(3), nullptr);
    Team_Stats_UnitKill(3, 2, 20, 41);
    EXPECT_EQ(Cell(2, 5)->danger, -1);
    EXPECT_EQ(AI_GridCell(AI_GetTeam(3), 2, 5)->danger, 1);
    Team_Stats_UnitKill(4, 4, 20, 41);   // no computer team: nothing
    AI_RegionTweak(2, 7, 1, 3, 50, 50, 500, 500);
    EXPECT_EQ(Cell(7, 7)->scripted_value, 7);
    EXPECT_EQ(Cell(6, 6)->scripted_value, 7);
    EXPECT_EQ(Cell(5, 6)->scripted_value, 0);
    EXPECT_EQ(Cell(7, 7)->scripted_max_force, 3);
    EXPECT_NE(log_.text().find("AI_RegionTweak Ends"), std::string::npos);
    AI_RegionTweak(4, 7, 1, 3, 0, 0, 500, 500);   // not a computer team
    EXPECT_EQ(Cell(0, 0)->scripted_value, 0);
    EXPECT_STREQ(AI_GoalLabel(SEIGE), "Goal Type: SEIGE");
    EXPECT_STREQ(AI_GoalLabel(9), "Goal Type: UNDEFINED");
}

// ------------------------------------------------------------------ player orders to computer crews

// The player's orders to a computer team's units (a team handed over, debug
// mode's team switch, a peer), run as after an update.
class CrewOrders : public Sites {
protected:
    void SetUp() override { Sites::SetUp(), Cfg_SetDefaults(&g_Config), Orders_Init(); }
    void TearDown() override { Orders_Close(), Sites::TearDown(); }
    static void Give(int code, UNIT* u, int a, int b)
    {
        UNITLIST sel;
        Units_ListInit(&sel);
        Units_ListAppend(&sel, u, u->id, u->team);
        code == QSTOP ? Orders_QStop(u->team, &sel)
        : code == QMOVE ? Orders_QMove(u->team, &sel, a, b, 0)
        : code == QCANCELBUILDING ? Orders_QCancelBuilding(u->team, a)
                                  : Orders_QConstructBuilding(u->team, u->id, a, b, b);
        Orders_AfterUpdate();
        Units_ListClose(&sel);
    }
    bool Listed(const UNIT* u) { return Ids(Team()->aibuild.unassigned_cc) == std::vector<int>{u->id}; }
    void Assign() { AIBuild_BuildCandidates(Team()), AIBuild_AssignConstructionUnits(Team()); }
};

// Only a crew or a package's carrier takes a construct order; any other unit
// refuses it, logged (BIGWAR2's DemoMender took one, stalled onto the crew
// list, died, and its slot, reused and freed, was read as a crew with no
// type). A carrier whose order stalls is no crew either.
TEST_F(CrewOrders, RegressionAConstructOrderNamesAUnitThatCanBuildAndOnlyCrewsAreListed)
{
    Start(1, 1000);
    Build_New(post_, 4, -1, 30, 30);
    const struct { const char* name; UNITTYPE* type; bool package, refused; } rows[] = {
        {"a tank", tank_, false, true}, {"a crew", crew_, false, false}, {"a tank carrying a post", tank_, true, false}};
    for (const auto& r : rows) {
        UNIT* u = Units_NewAt(r.type, 2, -1, 30, 31);   // beside team 4's post
        AI_UnitAdd(u);
        if (r.package) u->building_package = new BUILDINGPACKAGE{post_, {}};
        log_.clear();
        Give(QCONSTRUCTBUILDING, u, post_->index, 30);
        const std::string line = "QCONSTRUCTBUILDING (14) of team 2: unit that can't build " + std::to_string(u->id) + ";";
        EXPECT_EQ(log_.text().find(line) != std::string::npos, r.refused) << r.name;
        ASSERT_EQ(u->sorder.code == SO_CONSTRUCT, !r.refused) << r.name;
        if (!r.refused) Units_ProcessSOConstruct(u);   // stalls on the post
        ASSERT_EQ(Listed(u), r.type == crew_) << r.name;
        Units_Delete(u);
        Units_Delete(Units_NewAt(tank_, 4, -1, 40, 40));   // the slot reused and freed
        char why[128];
        EXPECT_TRUE(AI_CheckLists(2, why, sizeof why)) << r.name << ": " << why;
        Assign();
    }
}

// A crew on its way to build that its player stops or sends elsewhere, or
// that its cancelled site puts back, is the computer's again at once, its
// purchase back; one its player sends to build keeps that order (its
// purchase back too) until it stalls. Each then takes the plan's next site.
TEST_F(CrewOrders, RegressionAStoppedOrPutBackCrewIsListedWithItsPurchaseBackAndBuildsOn)
{
    Start(8, 1000);
    for (int code : {QSTOP, QMOVE, QCANCELBUILDING, QCONSTRUCTBUILDING}) {
        SCOPED_TRACE(Orders_CodeName(code));
        UNIT* c = Units_NewAt(crew_, 2, -1, 20, 20);
        AI_UnitAdd(c);
        Assign();
        ASSERT_EQ(Team()->aibuild.prespent_credits, 100);
        int a = code == QMOVE ? 30 : post_->index;
        if (code == QCANCELBUILDING) {   // its site started as Units_ProcessSOConstruct starts one
            BUILDING* site = Build_NewConstructionSite(post_, 2, 20, 24);
            UnitId_Setup(&site->whomademe, c);
            AI_BuildingCommenced(site, c);
            AI_UnitBuildingStarted(c);
            Units_TakeOffMap(c);
            Units_SOrderNone(c);
            a = site->id;
        }
        Give(code, c, a, 40);
        const bool keeps = code == QCONSTRUCTBUILDING;
        EXPECT_EQ(Listed(c), !keeps);
        EXPECT_EQ(c->sorder.code == SO_CONSTRUCT, keeps);
        EXPECT_EQ(Team()->aibuild.prespent_credits + AIBuild_UnderConstruction(2, 10), 0);
        char why[128];
        EXPECT_TRUE(AIBuild_BooksBalance(Team()) && AI_CheckCrews(2, why, sizeof why)) << why;
        if (keeps) AI_BuildingStalled(c);
        Assign();
        EXPECT_EQ(c->ai.cc_construct_type, 10);
        EXPECT_EQ(Team()->aibuild.prespent_credits, 100);
        Units_Delete(c);
    }
}

// ------------------------------------------------------------------ takeover

TEST_F(Sites, OnlyAHumanTeamOfTheEightIsHandedToTheComputer)
{
    EXPECT_EQ(AI_TakeOver(3), 0);   // before AI_Init
    teamdata[8].type = TT_HUMAN;
    teamdata[5].type = TT_DISABLED;
    UNIT* walker = Units_NewAt(crew_, 3, -1, 20, 20);
    UNIT* inside = Units_NewAt(crew_, 3, -1, 30, 30);
    BUILDING* site = Build_NewConstructionSite(post_, 3, 30, 31);
    UnitId_Setup(&site->whomademe, inside);
    Units_TakeOffMap(inside);
    Units_SOrderConstruct(walker, post_->index, 40, 40);
    Start(1, 500);
    struct Row { const char* name; int team; int taken; };
    const Row rows[] = {
        {"a computer team", 2, 0}, {"team 8", 8, 0}, {"a disabled team", 5, 0},
        {"outside the teams", 9, 0}, {"a human team", 3, 1}, {"the same team again", 3, 0},
    };
    Tlog_SetMask(TLOG_ERROR | TLOG_WARNING | TLOG_DIAG);   // what the shipped configuration logs
    for (const Row& r : rows) EXPECT_EQ(AI_TakeOver(r.team), r.taken) << r.name;
    EXPECT_NE(log_.text().find("AI takeover of team 8 refused"), std::string::npos);
    // Once, when it runs (Hand over logged nothing).
    const std::string said = "Team 3 handed over to the computer at update " + std::to_string(g_UpdateCount) + "\n";
    EXPECT_EQ(log_.text().find(said), log_.text().rfind(said)) << log_.text();
    EXPECT_NE(log_.text().find(said), std::string::npos) << log_.text();
    EXPECT_EQ(teamdata[3].type, TT_COMPUTER);
    EXPECT_TRUE(AI_IsEnabled(3));
    EXPECT_EQ(AI_GetCredits(3), teamdata[3].credits);
    EXPECT_EQ(walker->sorder.code, SO_NONE);   // stopped, then the AI's
    EXPECT_EQ(Ids(AI_GetTeam(3)->aibuild.unassigned_cc), std::vector<int>{walker->id});
    EXPECT_EQ(AI_GetTeam(3)->aibuild.base_x, 30);   // its site is its base
}

}   // namespace
