// Prerequisites: the id table built from the types, per-team counts, the
// "can make" flags, plans, makers and equivalents.
#include "units/prereq.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "core/gamestate.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

enum {
    ID_HQ = 10,        // no prerequisites
    ID_FACTORY = 11,   // needs the HQ, made by it
    ID_LAB = 12,       // needs HQ and factory, tech level 5
    ID_OUTPOST = 13,   // stands for the HQ
    ID_BUILDER = 20,   // made by the HQ
    ID_TANK = 21,      // needs the factory, made by it
    ID_JET = 22,       // needs the lab, four makers
};

void SetPrereq(PREREQ* p, int id, std::initializer_list<int> prereqs, std::initializer_list<int> makers,
               int equivalence = 0, int techlevel = 0)
{
    memset(p, 0, sizeof *p);
    p->id = (uint16_t)id;
    int i = 0;
    for (int v : prereqs) p->prereqs[i++] = (uint16_t)v;
    i = 0;
    for (int v : makers) p->makers[i++] = (uint16_t)v;
    p->equivalence = (uint16_t)equivalence;
    p->techlevel = (uint8_t)techlevel;
}

class PrereqTest : public testing::Test {
protected:
    void SetUp() override
    {
        oldTech_ = g_TechLevel;
        g_TechLevel = 10;
        QvWorld_Open(16, 16);
        hq_ = QvWorld_BuildingType("Headquarters", 2, 2);
        factory_ = QvWorld_BuildingType("Factory", 2, 2);
        lab_ = QvWorld_BuildingType("Laboratory", 1, 1);
        outpost_ = QvWorld_BuildingType("Outpost", 1, 1);
        SetPrereq(&hq_->prereq, ID_HQ, {}, {});
        SetPrereq(&factory_->prereq, ID_FACTORY, {ID_HQ}, {ID_HQ});
        SetPrereq(&lab_->prereq, ID_LAB, {ID_HQ, ID_FACTORY}, {ID_HQ}, 0, 5);
        SetPrereq(&outpost_->prereq, ID_OUTPOST, {}, {}, ID_HQ);
        builder_ = QvWorld_UnitType("Builder");
        tank_ = QvWorld_UnitType("Tank");
        jet_ = QvWorld_UnitType("Jet", MM_FLY);
        plain_ = QvWorld_UnitType("Plain");
        SetPrereq(&builder_->prereq, ID_BUILDER, {}, {ID_HQ});
        SetPrereq(&tank_->prereq, ID_TANK, {ID_FACTORY}, {ID_FACTORY});
        SetPrereq(&jet_->prereq, ID_JET, {ID_LAB}, {ID_FACTORY, ID_LAB, ID_HQ, ID_OUTPOST});
    }
    void TearDown() override
    {
        PREREQ_Done();
        QvWorld_Close();
        g_TechLevel = oldTech_;
    }

    int oldTech_ = 10;
    BUILDINGTYPE *hq_ = nullptr, *factory_ = nullptr, *lab_ = nullptr, *outpost_ = nullptr;
    UNITTYPE *builder_ = nullptr, *tank_ = nullptr, *jet_ = nullptr, *plain_ = nullptr;
};

class PrereqTable : public PrereqTest {};

TEST_F(PrereqTable, IdsMapToTheirTypesAndAnythingElseIsNoType)
{
    PREREQ_Init();
    EXPECT_EQ(PREREQ_BuildingTypePtr(ID_LAB), lab_);
    EXPECT_EQ(PREREQ_BuildingTypePtr(ID_TANK), nullptr);
    EXPECT_EQ(PREREQ_MapPrereqIdToUnitId(ID_OUTPOST), -1);
    for (int bad : {0, -3, (int)PREREQ_MAXIDS}) {
        EXPECT_FALSE(PREREQ_IsValid(bad) || PREREQ_IsUnit(bad) || PREREQ_IsBuilding(bad)) << bad;
        EXPECT_EQ(PREREQ_GetMakers(bad)[0], 0) << bad;
    }
    const uint16_t* makers = PREREQ_GetMakers(ID_JET);   // a full list still ends in 0
    EXPECT_EQ(makers[3], ID_OUTPOST);
    EXPECT_EQ(makers[4], 0);
}

TEST_F(PrereqTable, ATakenOrOutOfRangeIdIsLoggedAndLeftOut)
{
    QvLogCapture log;
    UNITTYPE* twin = QvWorld_UnitType("Twin");
    SetPrereq(&twin->prereq, ID_FACTORY, {}, {});
    SetPrereq(&QvWorld_UnitType("Huge")->prereq, 300, {}, {});
    PREREQ_Init();
    EXPECT_EQ(PREREQ_UnitTypePtr(ID_FACTORY), twin);   // units claim their ids first
    EXPECT_EQ(PREREQ_WhatIs("Huge"), 0);
    EXPECT_NE(log.text().find("Prerequisite id 11 of [Factory] is already taken"), std::string::npos);
    EXPECT_NE(log.text().find("Prerequisite id 300 of [Huge] is out of range"), std::string::npos);
}

TEST_F(PrereqTable, WhatIsIgnoresCaseAndComparesSixtyFourCharacters)
{
    std::string longname(UNITTYPE_NAME - 1, 'L');
    snprintf(plain_->symbolid, sizeof plain_->symbolid, "%s", longname.c_str());
    SetPrereq(&plain_->prereq, 5, {}, {});
    PREREQ_Init();
    EXPECT_EQ(PREREQ_WhatIs("TANK"), ID_TANK);
    EXPECT_EQ(PREREQ_WhatIs("Tan"), 0);
    EXPECT_EQ(PREREQ_WhatIs(longname.c_str()), 5);
    EXPECT_EQ(PREREQ_WhatIs((longname + "extra").c_str()), 0);
}

class PrereqCounts : public PrereqTest {};

TEST_F(PrereqCounts, HowManyFollowsAddsAndRemovesAndNeverGoesNegative)
{
    QvLogCapture log;
    PREREQ_Init();
    PREREQ_Add(tank_, ID_TANK, 2);
    PREREQ_Add(tank_, ID_TANK, 2);
    PREREQ_Add(tank_, ID_TANK, 3);
    PREREQ_Remove(tank_, ID_TANK, 2);
    PREREQ_Add(nullptr, 0, 1);   // "none" is quietly nothing
    EXPECT_EQ(PREREQ_HowMany(ID_TANK, 2), 1);
    EXPECT_TRUE(log.text().empty());
    PREREQ_Remove(tank_, ID_TANK, 2);
    PREREQ_Remove(tank_, ID_TANK, 2);
    PREREQ_Add(tank_, ID_TANK, 2);
    EXPECT_EQ(PREREQ_HowMany(ID_TANK, 2), 1);
    EXPECT_NE(log.text().find("team 2 owns no object of id 21"), std::string::npos);
    PREREQ_Add(nullptr, ID_HQ, TEAM_MAXTEAMS);
    EXPECT_NE(log.text().find("PREREQ_Add: invalid prerequisite id 10 or team 9"), std::string::npos);
}

TEST_F(PrereqCounts, CanMakeFlipsAsPrerequisitesOrTheirEquivalentsComeAndGo)
{
    PREREQ_Init();
    PREREQ_Add(hq_, ID_HQ, 1);
    PREREQ_Add(factory_, ID_FACTORY, 1);
    EXPECT_TRUE(PREREQ_CanMake(ID_LAB, 1));
    EXPECT_FALSE(PREREQ_CanMake(ID_FACTORY, 2));
    PREREQ_Remove(hq_, ID_HQ, 1);
    EXPECT_FALSE(PREREQ_CanMake(ID_LAB, 1));
    PREREQ_Add(outpost_, ID_OUTPOST, 1);
    EXPECT_TRUE(PREREQ_CanMake(ID_LAB, 1));
}

TEST_F(PrereqCounts, ATechLevelAboveTheGamesOrAPrerequisiteOfNoTypeIsNeverMet)
{
    QvLogCapture log;
    SetPrereq(&plain_->prereq, 30, {ID_HQ, 17}, {});
    g_TechLevel = 4;
    PREREQ_Init();
    EXPECT_NE(log.text().find("Prerequisite 17 of id 30 names no type"), std::string::npos);
    PREREQ_Add(hq_, ID_HQ, 0);
    PREREQ_Add(factory_, ID_FACTORY, 0);
    PREREQ_Add(nullptr, 17, 0);
    EXPECT_FALSE(PREREQ_CanMake(ID_LAB, 0));
    EXPECT_FALSE(PREREQ_CanMake(30, 0));
}

// Regression: the table started every count at 0, so objects placed before
// it (a scenario's, a loaded game's) were never counted.
TEST_F(PrereqCounts, ObjectsAreCountedWhetherMadeBeforeOrAfterTheTable)
{
    QvLogCapture log;
    BUILDING* b = Build_New(hq_, 2, -1, 2, 2);
    UNIT* u = Units_NewAt(builder_, 2, -1, 8, 8);
    UNIT* held = Units_NewAt(builder_, 2, -1, 9, 8);
    Units_RemoveFromMap(held);   // off the map counts too
    Units_NewAt(tank_, 3, -1, 10, 8);
    ASSERT_TRUE(b != nullptr && u != nullptr);
    PREREQ_Init();
    EXPECT_EQ(PREREQ_HowMany(ID_HQ, 2), 1);
    EXPECT_EQ(PREREQ_HowMany(ID_TANK, 3), 1);
    PREREQ_Init();   // built again: the same counts, not twice as many
    EXPECT_EQ(PREREQ_HowMany(ID_BUILDER, 2), 2);
    Build_Remove(b);
    Units_Delete(u);
    Units_Delete(held);
    EXPECT_EQ(PREREQ_HowMany(ID_HQ, 2) + PREREQ_HowMany(ID_BUILDER, 2), 0);
    Build_New(factory_, 2, -1, 2, 2);
    EXPECT_EQ(PREREQ_HowMany(ID_FACTORY, 2), 1);
    EXPECT_EQ(log.text().find("owns no object"), std::string::npos) << log.text();
}

class PrereqPlans : public PrereqTest {};

TEST_F(PrereqPlans, PlansComeFromAMakerItsEquivalentOrTheft)
{
    PREREQ_Init();
    PREREQ_Add(hq_, ID_HQ, 1);
    EXPECT_FALSE(PREREQ_HavePlans(ID_TANK, 1));
    PREREQ_Add(outpost_, ID_OUTPOST, 2);
    EXPECT_TRUE(PREREQ_HavePlans(ID_BUILDER, 2));
    PREREQ_StolePlans(ID_TANK, 3);
    EXPECT_TRUE(PREREQ_HavePlans(ID_TANK, 3));
    EXPECT_FALSE(PREREQ_CanMake(ID_TANK, 3));   // plans are no prerequisites
    PREREQ_Init();
    EXPECT_FALSE(PREREQ_HaveStolen(ID_TANK, 3));
}

TEST_F(PrereqPlans, AnEquivalentOfAMakerCanMakeWhatItMakes)
{
    PREREQ_Init();
    EXPECT_TRUE(PREREQ_CanThisMakeThat(ID_OUTPOST, ID_BUILDER, 0));
    EXPECT_FALSE(PREREQ_CanThisMakeThat(ID_OUTPOST, ID_TANK, 0));
}

}   // namespace
