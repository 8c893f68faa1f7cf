// The computer-player frame's special forces, plan list and FSM names.
#include <gtest/gtest.h>

#include <string>

#include "ai/ai.h"
#include "ai/aip.h"
#include "core/cfile.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/uid.h"
#include "support/world.h"
#include "units/unit.h"

namespace {

class SpecialForces : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        AI_SpecialForcesInit();
        AI_AIPInit();
    }
    void TearDown() override
    {
        AI_AIPClose();
        AI_SpecialForcesClose();
        QvWorldTest::TearDown();
    }
};

TEST_F(SpecialForces, ForcesAreKeptNewestFirstAndWalkedByTeam)
{
    SPECIAL_FORCE* a = AI_NewSpecialForce(2, 40);
    SPECIAL_FORCE* b = AI_NewSpecialForce(3, 0xFFFFFFFFu);
    SPECIAL_FORCE* c = AI_NewSpecialForce(2, 0xFFFFFFFFu);
    EXPECT_EQ(b->id, 41u);   // the scenario's id was reserved
    EXPECT_EQ(c->id, 42u);
    EXPECT_EQ(AI_FindSpecialForce(40), a);
    EXPECT_EQ(AI_FindSpecialForce(99), nullptr);
    EXPECT_EQ(AI_SpecialForceFirst(2), c);
    EXPECT_EQ(AI_SpecialForceNext(), a);
    EXPECT_EQ(AI_SpecialForceNext(), nullptr);
    AI_AddToSpecialForce(a, 7);
    AI_AddToSpecialForce(a, 9);
    EXPECT_EQ(AI_SpecialForceUnitFirst(a), 7);
    EXPECT_EQ(AI_SpecialForceUnitNext(), 9);
    EXPECT_EQ(AI_SpecialForceUnitNext(), 0);

    QvTempDir dir;
    CFILE* f = Cfile_BufferCreate();
    ASSERT_EQ(Cfile_OpenWrite(f, dir.file("sf.scn").c_str(), 1), 1);
    EXPECT_EQ(AI_SaveSpecialForces(f), 1);
    ASSERT_EQ(Cfile_Close(f), 1);
    Cfile_BufferFree(f);
    // Written in the order made, as a scenario file gave them.
    EXPECT_EQ(dir.read("sf.scn"), "DefineSpecialForces ( 40 2 )\n{\n  7  9\n}\n\n"
                                  "DefineSpecialForces ( 41 3 )\n{\n\n}\n\n"
                                  "DefineSpecialForces ( 42 2 )\n{\n\n}\n\n");
}

TEST_F(SpecialForces, MovingGivingAndReleasingTouchOnlyLiveUnitsOnceEach)
{
    UNIT* a = Units_NewAt(tank_, 1, -1, 10, 10);
    UNIT* b = Units_NewAt(tank_, 1, -1, 11, 10);
    UNIT* away = Units_NewAt(tank_, 4, -1, 12, 10);
    SPECIAL_FORCE* f = AI_NewSpecialForce(1, 0xFFFFFFFFu);
    for (int id : {a->id, b->id, away->id, 999}) AI_AddToSpecialForce(f, id);
    AI_MoveSpecialForce(f, -5, -5, 0, 0);   // clamped onto the map
    EXPECT_EQ(a->sorder.code, SO_MOVE);
    EXPECT_EQ(a->sorder.move.destpos.x, 1);
    EXPECT_EQ(b->sorder.move.destpos.y, 1);
    EXPECT_NE(away->sorder.code, SO_MOVE);   // not on the force's team
    AI_GiveSpecialForce(f, 5);
    EXPECT_EQ(a->team, 5);
    EXPECT_EQ(away->team, 5);   // found on any team once not on the force's
    EXPECT_EQ(f->team, 5);
    AI_ReleaseSpecialForce(f);
    AI_ReleaseSpecialForce(f);
    EXPECT_EQ(f->released, 1);
}

TEST_F(SpecialForces, RepeatedOrUnmatchedLifeCycleCallsAreLoggedAndHarmless)
{
    AI_SpecialForcesInit();
    AI_AIPInit();
    AI_SetFsmFilename(2, 1, "b.fsm");
    AI_SetFsmFilename(2, 1, "c.fsm");
    AI_SetFsmVariation(2, 1);
    EXPECT_STREQ(AI_GetCurrentFsmFilename(2), "c.fsm");
    EXPECT_EQ(AI_GetFsmFilename(2, 0), nullptr);
    AI_AIPClose();
    AI_AIPClose();
    AI_SpecialForcesClose();
    AI_SpecialForcesClose();
    const std::string log = log_.text();
    for (const char* line : {"AI_SpecialForcesInit called twice without matching Close",
                             "AI_AIPInit called twice without matching Close",
                             "AI_AIPClose called without matching Init",
                             "AI_SpecialForcesClose called without matching Open"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    AI_SpecialForcesInit();
    AI_AIPInit();
    EXPECT_EQ(AI_GetFsmVariation(2), 0);
    EXPECT_EQ(AI_GetFsmFilename(2, 1), nullptr);
}

TEST_F(SpecialForces, PlansLoadFromTheScenarioThenTheAipDirectoryAndAnyScriptFailureIsNull)
{
    QvTempDir scen, aip;
    snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", scen.path().c_str());
    snprintf(g_AipDir, sizeof g_AipDir, "%s", aip.path().c_str());
    scen.write("a.aip", "int x = 1;\n");
    aip.write("b.aip", "int y = 2;\n");
    aip.write("bad.aip", "int y = \n");
    const struct {
        const char* name;
        bool loads;
    } rows[] = {{"a.aip", true}, {"b.aip", true}, {"bad.aip", false}, {"none.aip", false}};
    for (const auto& r : rows) {
        AIP_struct* p = AI_AIPLoad(r.name);
        EXPECT_EQ(p != nullptr, r.loads) << r.name;
        if (p) {
            EXPECT_STREQ(p->filename, r.name);
        }
    }
    EXPECT_EQ(AI_AIPList()->count, 2);
    EXPECT_NE(log_.text().find("Could not find / could not load AIP 'bad.aip'"), std::string::npos);
    EXPECT_NE(log_.text().find("Could not find / could not load AIP 'none.aip'"), std::string::npos);
    g_ScenarioDir[0] = 0;
    g_AipDir[0] = 0;
}

}   // namespace
