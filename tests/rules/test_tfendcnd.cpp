// The end-condition and state-machine files: what each line and criterion
// stores, the files that stop the game (class, message, line), and the
// descriptions the editor reads.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "ai/ai.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/tfparse.h"
#include "map/region.h"
#include "rules/endcond.h"
#include "rules/tfendcnd.h"
#include "support/testsupport.h"
#include "units/team.h"

namespace {

class EndCondFile : public testing::Test {
protected:
    void SetUp() override
    {
        Endcond_Init();
        AI_SpecialForcesInit();
        AI_AIPInit();
        const REGION rect{1, RT_RECTANGLE, 0, 0, 240, 240, {}};
        const REGION circle{2, RT_CIRCLE, 120, 120, 48, 0, {}};
        Region_Add(&rect);
        Region_Add(&circle);
        AI_NewSpecialForce(1, 7);
    }
    void TearDown() override
    {
        Endcond_Close();
        AI_SpecialForcesClose();
        AI_AIPClose();
        Region_FreeAll();
    }

    // Reads text as the scenario reader does: the first keyword, then the rest.
    void Load(const std::string& text, int kind = ENDCOND_END, int team = 0)
    {
        std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> p(
            TF_OpenText("t.end", text.data(), text.size()), TF_Close);
        char first[TF_FIELD];
        ASSERT_EQ(TF_GetToken(p.get(), first, sizeof first), 1);
        ASSERT_EQ(Tfendcnd_Load(p.get(), kind, team), 1);
    }

    CRITERIA* FirstCriterion(int team = 0, int kind = ENDCOND_END)
    {
        CONDSTATE* s = Endcond_GetState(Endcond_GetTree(team, kind), 1);
        return static_cast<CONDITION*>(GLL_GoFirst(s->conds))->criteria;
    }

    QvLogCapture log_;
};

std::string InState(const std::string& lines)
{
    return "DefineEndCondTree(0) { DefineCondState() {\n" + lines + "\n} }";
}

std::string Condition(const std::string& crit)
{
    return InState("DefineCondition(0 0 0 0 \"t\") { " + crit + " }");
}

TEST_F(EndCondFile, EveryLineOfAStateGoesIntoItsRecord)
{
    Load("DefineEndCondTree(360) {\n"
         "  Description(\"Hold the bridge\")\n"
         "  DefineCondState() {\n"
         "    DefineCondition(2 100 50 9 \"first\") { CritTimerGame(10) }\n"
         "    TriggerSpecialForces(7 1) ReleaseSpecialForces(7) GiveSpecialForces(7 3)\n"
         "    BonusCredits(8 -200) TriggerMessage(MSG_MESSAGE)\n"
         "    SetAlliance(0 1 2 0 0 0 0 0 1) AdjustRegionPri(1 5 2 9)\n"
         "    SetAIPFile(attack.aip) SetMessageFile(msgs.txt)\n"
         "  }\n"
         "  DefineCondState() { }\n"
         "}");
    const CONDTREE* tree = Endcond_GetTree(0, ENDCOND_END);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->timelimit, 360);
    EXPECT_EQ(tree->current, 1);
    EXPECT_STREQ(tree->description, "Hold the bridge");
    ASSERT_EQ(tree->condstates->count, 2);
    const CONDSTATE* s = Endcond_GetState(tree, 1);
    const CONDITION* c = static_cast<CONDITION*>(s->conds->first->element);
    EXPECT_EQ(c->next, 2);
    EXPECT_EQ(c->expiry, 100);
    EXPECT_EQ(c->delay, 50);
    EXPECT_EQ(c->spare, 9);
    EXPECT_STREQ(c->text, "first");
    const TRIGSF* trig = static_cast<TRIGSF*>(s->specialforces_trigger->first->element);
    EXPECT_EQ(trig->force, 7);
    EXPECT_EQ(trig->region, 1);
    EXPECT_EQ(*static_cast<int*>(s->specialforces_release->first->element), 7);
    EXPECT_EQ(static_cast<GIVESF*>(s->specialforces_give->first->element)->team, 3);
    const GIVEBONUSCREDITS* bonus = static_cast<GIVEBONUSCREDITS*>(s->give_bonus_credits->first->element);
    EXPECT_EQ(bonus->team, 8);
    EXPECT_EQ(bonus->amount, -200);
    EXPECT_STREQ(static_cast<GAMEMSG_DATA*>(s->gamemsgdata->first->element)->sym, "MSG_MESSAGE");
    ASSERT_NE(s->alliances, nullptr);
    EXPECT_EQ(s->alliances->relation[0], TR_ENEMY);
    EXPECT_EQ(s->alliances->relation[1], TR_NEUTRAL);
    EXPECT_EQ(s->alliances->relation[2], TR_ALLY);
    const REGIONADJUST* adj = static_cast<REGIONADJUST*>(s->tweakregions->first->element);
    EXPECT_EQ(adj->rid.id, 1);
    EXPECT_EQ(adj->rid.region, Region_FindById(1));
    EXPECT_EQ(adj->minforce, 2);
    EXPECT_EQ(adj->maxforce, 9);
    EXPECT_STREQ(s->aipfile, "attack.aip");
    EXPECT_STREQ(s->msgfile, "msgs.txt");
    EXPECT_EQ(s->aip, nullptr);
    // An empty state is valid and keeps every list null.
    const CONDSTATE* empty = Endcond_GetState(tree, 2);
    EXPECT_EQ(empty->conds, nullptr);
    EXPECT_EQ(empty->alliances, nullptr);
}

TEST_F(EndCondFile, TreesWithoutStatesAndStateMachinesGoIntoTheirOwnSlots)
{
    Load("DefineEndCondTree(0) { }", ENDCOND_END, 4);
    Load("DefineAICondTree() { DefineCondState() { } }", ENDCOND_FSM, 4);
    EXPECT_EQ(Endcond_GetTree(4, ENDCOND_END)->condstates, nullptr);
    EXPECT_EQ(Endcond_GetTree(4, ENDCOND_END)->timelimit, 0);
    EXPECT_EQ(Endcond_GetTree(4, ENDCOND_FSM)->condstates->count, 1);
    EXPECT_EQ(Endcond_GetTree(3, ENDCOND_FSM), nullptr);
}

TEST_F(EndCondFile, EachCriterionStoresItsArguments)
{
    const struct {
        const char* text;
        int kind;
        int f1, f2, f3;   // per kind: see the checks below
    } rows[] = {
        {"CritHoldRegion(1 4 6)", CRIT_HOLDREGION, 4, 6, 4},
        {"CritHoldRegion(1 -2147483648 0)", CRIT_HOLDREGION, INT32_MIN, 0, 0},  // its count, at once
        {"CritHarassRegion(2 5 3)", CRIT_HARASSREGION, 5, 3, 0},
        {"CritEnemyInRegion(1)", CRIT_ENEMYINREGION, 0, 0, 0},
        {"CritInRegion(2)", CRIT_INREGION, 0, 0, 0},
        {"CritTeamInRegion(1 8)", CRIT_TEAMINREGION, 8, 0, 0},
        {"CritBuildBuilding(Depot 0 3)", CRIT_BUILDBUILDING, 0, 3, 0},
        {"CritBeginBuildBuilding(\"Depot\" 2 1)", CRIT_BEGINBUILDBUILDING, 2, 1, 1},
        {"CritBuildUnit(Tank 5)", CRIT_BUILDUNIT, 0, 5, 0},
        {"CritDestroyBuildingType(Depot 6)", CRIT_DESTROYBUILDINGTYPE, 6, 0, 0},
        {"CritKillUnitType(Tank 2)", CRIT_KILLUNITTYPE, 2, 0, 0},
        {"CritMoveUnitsToRegion(1 2) { 11 12 13 }", CRIT_MOVEUNITSTOREGION, 3, 2, 1},
        {"CritMoveUnitsToRegion(1 0) { 11 12 }", CRIT_MOVEUNITSTOREGION, 2, 0, 0},
        {"CritDestroyBuilding() { }", CRIT_DESTROYBUILDING, 0, 0, 0},
        {"CritDestroyUnit() { 5 }", CRIT_DESTROYUNIT, 1, 0, 0},
        {"CritCaptureUnit() { 5 6 }", CRIT_CAPTUREUNIT, 2, 0, 0},
        {"CritCollectMineral(500)", CRIT_COLLECTMINERAL, 500, 0, 0},
        {"CritCollectWater(20)", CRIT_COLLECTWATER, 20, 0, 0},
        {"CritHaveCredits(900)", CRIT_HAVECREDITS, 900, 0, 0},
        {"CritKillTeamUnits(3 25)", CRIT_KILLTEAMUNITS, 3, 25, 0},
        {"CritDestroyTeamBuildings(5 10)", CRIT_DESTROYTEAMBUILDINGS, 5, 10, 0},
        {"CritKillEnemyUnits(50)", CRIT_KILLENEMYUNITS, 0, 50, 0},
        {"CritDestroyEnemyBuildings(75)", CRIT_DESTROYENEMYBUILDINGS, 0, 75, 0},
        {"CritMoreUnitsThanEnemy(150)", CRIT_MOREUNITSTHANENEMY, 0, 150, 0},
        {"CritLessUnitsThanEnemy(80)", CRIT_LESSUNITSTHANENEMY, 0, 80, 0},
        {"CritKillAll()", CRIT_KILLALL, 0, 0, 0},
        {"CritKillAllAndAllies()", CRIT_KILLALLANDALLIES, 0, 0, 0},
        {"CritTimer(100)", CRIT_TIMER, 100, 0, 0},
        {"CritTimerGame(3000)", CRIT_TIMERGAME, 3000, 0, 0},
        {"CritStealPlan(4 Depot)", CRIT_STEALPLAN, 4, 0, 0},
        {"CritNOT() { CritKillAll() }", CRIT_NOT, CRIT_KILLALL, 0, 0},
        {"CritONCE() { CritTimer(5) }", CRIT_ONCE, CRIT_TIMER, 0, 0},
        {"CritOR() { CritKillAll() CritTimer(1) CritHaveCredits(2) }", CRIT_OR, 3, 0, 0},
        {"CritAND() { CritKillAll() }", CRIT_AND, 1, 0, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        TearDown();
        SetUp();
        Load(Condition(r.text));
        const CRITERIA* c = FirstCriterion();
        ASSERT_EQ(c->type, r.kind);
        switch (r.kind) {
        case CRIT_HOLDREGION:
        case CRIT_HARASSREGION:
            EXPECT_EQ(c->useregion.a, r.f1);
            EXPECT_EQ(c->useregion.b, r.f2);
            EXPECT_EQ(c->useregion.counter, r.f3);
            EXPECT_NE(c->useregion.region, nullptr);
            break;
        case CRIT_TEAMINREGION: EXPECT_EQ(c->useregion.team, r.f1); break;
        case CRIT_ENEMYINREGION:
        case CRIT_INREGION: EXPECT_EQ(c->useregion.region, Region_FindById(c->useregion.regionid)); break;
        case CRIT_BUILDBUILDING:
        case CRIT_BEGINBUILDBUILDING:
        case CRIT_BUILDUNIT:
            EXPECT_EQ(c->builditem.regionid, r.f1);
            EXPECT_EQ(c->builditem.region != nullptr, r.f3 != 0);
            EXPECT_EQ(c->builditem.count, r.f2);
            EXPECT_EQ(c->builditem.itemid, 0);
            break;
        case CRIT_DESTROYBUILDINGTYPE:
        case CRIT_KILLUNITTYPE: EXPECT_EQ(c->builditem.team, r.f1); break;
        case CRIT_MOVEUNITSTOREGION:
            EXPECT_EQ(c->destroyitem.idlist->count, r.f1);
            EXPECT_EQ(c->destroyitem.count, r.f2);
            EXPECT_EQ(c->destroyitem.allowed, r.f3);
            break;
        case CRIT_DESTROYBUILDING:
        case CRIT_DESTROYUNIT:
        case CRIT_CAPTUREUNIT: EXPECT_EQ(c->destroyitem.idlist->count, r.f1); break;
        case CRIT_COLLECTMINERAL:
        case CRIT_COLLECTWATER:
        case CRIT_HAVECREDITS: EXPECT_EQ(c->amount.amount, r.f1); break;
        case CRIT_TIMER:
        case CRIT_TIMERGAME: EXPECT_EQ(c->timer.time, r.f1); break;
        case CRIT_STEALPLAN:
            EXPECT_EQ(c->stealplan.team, r.f1);
            EXPECT_STREQ(c->stealplan.plan_name, "Depot");
            EXPECT_EQ(c->stealplan.planid, 0);
            break;
        case CRIT_NOT:
        case CRIT_ONCE:
            EXPECT_EQ(c->unary.node->type, r.f1);
            EXPECT_EQ(c->unary.latch, 0);
            break;
        case CRIT_OR:
        case CRIT_AND: EXPECT_EQ(c->boolean.nodes->count, r.f1); break;
        default:
            EXPECT_EQ(c->killenemy.team, r.f1);
            EXPECT_EQ(c->killenemy.percent, r.f2);
            break;
        }
    }
}

TEST_F(EndCondFile, LongNamesAndTextsAreCutWithAWarning)
{
    Load(InState("SetAIPFile(averyverylongname.aip)\n"
                 "DefineCondition(0 0 0 0 \"" +
                 std::string(70, 'x') + "\") { CritKillAll() }"));
    const CONDSTATE* s = Endcond_GetState(Endcond_GetTree(0, ENDCOND_END), 1);
    EXPECT_STREQ(s->aipfile, "averyverylon");
    EXPECT_EQ(strlen(static_cast<CONDITION*>(s->conds->first->element)->text), 59u);
    EXPECT_NE(log_.text().find("Filename [averyverylongname.aip] too long - truncated"), std::string::npos);
    EXPECT_NE(log_.text().find("Condition text cut to 59 characters"), std::string::npos);
    EXPECT_NE(log_.text().find("Error in file [t.end] at line [3]"), std::string::npos);
}

std::string Nested(int depth)
{
    std::string s;
    for (int i = 0; i < depth; i++) s += "CritNOT() { ";
    return s;
}

struct Broken {
    const char* name;
    std::string text;
    int kind;
    int errclass;
    const char* message;
    int line;   // 0: no file and line
};

TEST_F(EndCondFile, BrokenFilesStopWithTheirClassMessageAndLine)
{
    const std::string force = "DefineCondition(0 0 0 0 \"t\") { CritKillAll() }\n";
    const Broken rows[] = {
        {"argument to a state machine", "DefineAICondTree(5) { }", ENDCOND_FSM, ERRC_PARSE,
         "Expected [)] but found [5]", 1},
        {"no brace", "DefineEndCondTree(0) Description(x)", ENDCOND_END, ERRC_PARSE,
         "Expected [{] but found [Description]", 1},
        {"unknown tree item", "DefineEndCondTree(0) {\nDefineState() }", ENDCOND_END, ERRC_PARSE,
         "Unknown string [DefineState]", 2},
        {"unknown state line", InState("Wait(3)"), ENDCOND_END, ERRC_PARSE, "Unknown string [Wait]", 2},
        {"state header", "DefineEndCondTree(0) {\nDefineCondState(1) { } }", ENDCOND_END, ERRC_PARSE,
         "Unable to parse DefineCondState", 2},
        {"description twice (mend)", "DefineEndCondTree(0) { Description(a)\nDescription(b) }",
         ENDCOND_END, ERRC_PARSE, "Description defined twice", 2},
        {"description without text", "DefineEndCondTree(0) { Description() }", ENDCOND_END, ERRC_PARSE,
         "Text file syntax error", 1},
        {"end inside the tree (mend)", "DefineEndCondTree(0) {\nDefineCondState() { }", ENDCOND_END,
         ERRC_PARSE, "Expected [}] but found [EOF]", 2},
        {"end inside a state (mend)", "DefineEndCondTree(0) { DefineCondState() {\n" + force,
         ENDCOND_END, ERRC_PARSE, "Expected [}] but found [EOF]", 3},
        {"end inside OR (mend)", "DefineEndCondTree(0) { DefineCondState() {\n"
                                 "DefineCondition(0 0 0 0 t) { CritOR() { CritKillAll()",
         ENDCOND_END, ERRC_PARSE, "Expected [}] but found [EOF]", 2},
        {"end before a criterion (mend)", "DefineEndCondTree(0) { DefineCondState() {\nDefineCondition(0 0 0 0 t) {",
         ENDCOND_END, ERRC_PARSE, "Expected [}] but found [EOF]", 2},
        {"end inside an id list (mend)",
         "DefineEndCondTree(0) { DefineCondState() {\nDefineCondition(0 0 0 0 t) { CritDestroyUnit() { 4 5",
         ENDCOND_END,
         ERRC_PARSE, "Expected [}] but found [EOF]", 2},
        {"next state beyond the tree (mend)",
         "DefineEndCondTree(0) {\nDefineCondState() {\nDefineCondition(3 0 0 0 t) { CritKillAll() }\n"
         "}\nDefineCondState() { } }",
         ENDCOND_END, ERRC_PARSE, "Next state 3 outside 0..2", 3},
        {"negative next state (mend)", InState("DefineCondition(-1 0 0 0 t) { CritKillAll() }"),
         ENDCOND_END, ERRC_PARSE, "Next state -1 outside 0..1", 2},
        {"condition arguments", InState("DefineCondition(0 0 0 t) { CritKillAll() }"), ENDCOND_END,
         ERRC_PARSE, "Text file syntax error", 2},
        {"condition without braces", InState("DefineCondition(0 0 0 0 t) CritKillAll()"), ENDCOND_END,
         ERRC_PARSE, "Text file syntax error", 2},
        {"unknown criterion", Condition("CritWin()"), ENDCOND_END, ERRC_PARSE, "Invalid criteria", 2},
        {"empty AND", Condition("CritAND() { }"), ENDCOND_END, ERRC_PARSE, "Invalid criteria", 2},
        {"criterion arguments", Condition("CritTimer()"), ENDCOND_END, ERRC_PARSE,
         "Text file syntax error", 2},
        {"missing hold region", Condition("CritHoldRegion(9 1 0)"), ENDCOND_END, ERRC_PARSE,
         "Text file syntax error", 2},
        {"missing harass region", Condition("CritHarassRegion(9 1 0)"), ENDCOND_END, ERRC_PARSE,
         "Region 9 does not exist", 2},
        {"team in region outside 0..8", Condition("CritTeamInRegion(1 9)"), ENDCOND_END, ERRC_PARSE,
         "Invalid team number specified", 2},
        {"criterion team outside 0..8 (mend)", Condition("CritKillTeamUnits(-1 50)"), ENDCOND_END,
         ERRC_PARSE, "Invalid team number specified", 2},
        {"nesting too deep", Condition(Nested(70)),
         ENDCOND_END, ERRC_PARSE, "Criteria nested deeper than 64", 2},
        {"trigger arguments", InState("TriggerSpecialForces(7)"), ENDCOND_END, ERRC_PARSE,
         "Unable to parse TriggerSpecialForces", 0},
        {"trigger unknown force", InState("TriggerSpecialForces(8 1)"), ENDCOND_END, ERRC_FATAL,
         "No special forces with ID 8 to trigger", 0},
        {"trigger unknown region", InState("TriggerSpecialForces(7 5)"), ENDCOND_END, ERRC_FATAL,
         "No region with ID 5 to send special force to", 0},
        {"trigger circle", InState("TriggerSpecialForces(7 2)"), ENDCOND_END, ERRC_FATAL,
         "Special force must be sent to a rectangular region - ID 2", 0},
        {"release arguments", InState("ReleaseSpecialForces()"), ENDCOND_END, ERRC_PARSE,
         "Unable to parse ReleaseSpecialForces", 0},
        {"release unknown force", InState("ReleaseSpecialForces(3)"), ENDCOND_END, ERRC_FATAL,
         "No special forces with ID 3 to release", 0},
        {"give arguments", InState("GiveSpecialForces(7)"), ENDCOND_END, ERRC_PARSE,
         "Unable to parse GiveSpecialForces", 0},
        {"give unknown force", InState("GiveSpecialForces(1 2)"), ENDCOND_END, ERRC_FATAL,
         "No special forces with ID 1 to give", 0},
        {"give to team 8", InState("GiveSpecialForces(7 8)"), ENDCOND_END, ERRC_FATAL,
         "No team 8 to give special force to", 0},
        {"credits arguments", InState("BonusCredits(1)"), ENDCOND_END, ERRC_PARSE,
         "Unable to parse GiveCredits", 0},
        {"credits to team 9", InState("BonusCredits(9 100)"), ENDCOND_END, ERRC_FATAL,
         "No team 9 to give credits to", 0},
        {"message without symbol", InState("TriggerMessage()"), ENDCOND_END, ERRC_PARSE,
         "Text file syntax error", 2},
        {"two alliances", InState("SetAlliance(0 0 0 0 0 0 0 0 0)\nSetAlliance(0 0 0 0 0 0 0 0 0)"),
         ENDCOND_END, ERRC_PARSE, "Cannot parse two SetAlliance commands per condition state", 3},
        {"eight alliances", InState("SetAlliance(0 0 0 0 0 0 0 0)"), ENDCOND_END, ERRC_PARSE,
         "Text file syntax error", 2},
        {"alliance value 3", InState("SetAlliance(0 0 0 3 0 0 0 0 0)"), ENDCOND_END, ERRC_PARSE,
         "Invalid alliance state [3] 0=enemy, 1=neutral, 2=ally", 0},
        {"tweak unknown region", InState("AdjustRegionPri(4 1 1 1)"), ENDCOND_END, ERRC_PARSE,
         "Region ID 4 does not exist", 2},
        {"tweak circle", InState("AdjustRegionPri(2 1 1 1)"), ENDCOND_END, ERRC_PARSE,
         "Tweak region must be a rectangular region - ID 2", 2},
        {"plan file without parens", InState("SetAIPFile a.aip"), ENDCOND_END, ERRC_PARSE,
         "Text file syntax error", 2},
    };
    for (const Broken& r : rows) {
        SCOPED_TRACE(r.name);
        TearDown();
        SetUp();
        log_.clear();
        std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> p(
            TF_OpenText("t.end", r.text.data(), r.text.size()), TF_Close);
        char first[TF_FIELD];
        TF_GetToken(p.get(), first, sizeof first);
        Error_SetFatalHook(QvTest_ThrowHook);
        int errclass = -1;
        std::string message;
        try {
            Tfendcnd_Load(p.get(), r.kind, 0);
        } catch (const QvFatal& f) {
            errclass = f.errclass;
            message = f.message;
        }
        Error_SetFatalHook(nullptr);
        EXPECT_EQ(errclass, r.errclass);
        EXPECT_EQ(message, r.message);
        const std::string where = "Line : " + std::to_string(r.line);
        if (r.line) EXPECT_NE(log_.text().find(where), std::string::npos) << log_.text();
        else EXPECT_EQ(log_.text().find("Line : "), std::string::npos) << log_.text();
    }
}

TEST_F(EndCondFile, ASecondTreeOfOneKindForOneTeamStops)
{
    Load("DefineEndCondTree(0) { }", ENDCOND_END, 2);
    Load("DefineAICondTree() { }", ENDCOND_FSM, 2);
    const std::string again = "DefineAICondTree() { }";
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> p(TF_OpenText("t.fsm", again.data(), again.size()),
                                                       TF_Close);
    char first[TF_FIELD];
    TF_GetToken(p.get(), first, sizeof first);
    QV_EXPECT_FATAL(Tfendcnd_Load(p.get(), ENDCOND_FSM, 2), "AI FSM already defined for player 2");
}

TEST_F(EndCondFile, DescriptionsComeFromTheFileHeadOrAreNull)
{
    QvTempDir dir;
    snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", dir.path().c_str());
    const struct {
        const char* name;
        int kind;
        const char* text;   // null: no file named
        const char* expect; // null: no description
    } rows[] = {
        {"end file", ENDCOND_END, "DefineEndCondTree(-30) { Description(\"Win it\") }", "Win it"},
        {"state machine", ENDCOND_FSM, "DefineAICondTree() {\n Description(Go) DefineCondState() {} }", "Go"},
        {"description second", ENDCOND_END, "DefineEndCondTree(0) { DefineCondState() {} Description(x) }",
         nullptr},
        {"limit not a number", ENDCOND_END, "DefineEndCondTree(x) { Description(a) }", nullptr},
        {"wrong header", ENDCOND_FSM, "DefineEndCondTree(0) { Description(a) }", nullptr},
        {"cut short", ENDCOND_END, "DefineEndCondTree(0) { Description(", nullptr},
        {"no end file named", ENDCOND_END, nullptr, "No Endcondition specified for team."},
        {"no state machine named", ENDCOND_FSM, nullptr, "No FSM specified for team."},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Endcond_SetEndCondFile(1, nullptr);
        AI_AIPClose();
        AI_AIPInit();
        if (r.text) {
            dir.write("team.txt", r.text);
            if (r.kind == ENDCOND_FSM) AI_SetFsmFilename(1, 0, "team.txt");
            else Endcond_SetEndCondFile(1, "team.txt");
        }
        char* d = Endcond_ReadDescription(1, r.kind);
        if (r.expect) EXPECT_STREQ(d, r.expect);
        else EXPECT_EQ(d, nullptr);
        Debug_Free(&d);
    }
    Endcond_SetEndCondFile(1, "absent.end");
    EXPECT_EQ(Endcond_ReadDescription(1, ENDCOND_END), nullptr);
    g_ScenarioDir[0] = 0;
}

// A limit below 0 made the time left overflow (the limit less the time
// played) and every save of the game one that no load takes.
class FileTrustEndCondFile : public EndCondFile {};

TEST_F(FileTrustEndCondFile, ANegativeTimeLimitIsRefusedWithItsLineInsteadOfOverflowingTheTimeLeft)
{
    for (const char* limit : {"-2147483648", "-1", "0", "2147483647"}) {
        SCOPED_TRACE(limit);
        TearDown();
        SetUp();
        log_.clear();
        const std::string text = std::string("DefineEndCondTree(") + limit + ")\n{\n}\n";
        std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> p(TF_OpenText("t.end", text.data(), text.size()),
                                                           TF_Close);
        char first[TF_FIELD];
        TF_GetToken(p.get(), first, sizeof first);
        Error_SetFatalHook(QvTest_ThrowHook);
        std::string message = "loaded";
        try {
            Tfendcnd_Load(p.get(), ENDCOND_END, 0);
        } catch (const QvFatal& f) {
            message = f.message;
        }
        Error_SetFatalHook(nullptr);
        if (limit[0] != '-') {
            EXPECT_EQ(message, "loaded");
            continue;
        }
        EXPECT_EQ(message, std::string("Time limit ") + limit + " is negative");
        EXPECT_NE(log_.text().find("t.end"), std::string::npos) << log_.text();
        EXPECT_NE(log_.text().find("Line : 1"), std::string::npos) << log_.text();
    }
}

}   // namespace

// An end-condition file is read after the scenario's units and buildings
// are made: an id of a building or unit criterion that names none counts as
// done from the start, and is logged with the file and the id's line. A
// state machine's ids are not checked (a team's computer player may take
// one over later in the game).
class PlayerViewEndCondFile : public EndCondFile {};

TEST_F(PlayerViewEndCondFile, AnIdThatNamesNoBuildingOrUnitIsLoggedWithItsLine)
{
    const char* rows[][2] = {
        {"CritDestroyBuilding() { 1011 }", "t.end line 2: CritDestroyBuilding names no building with id 1011"},
        {"CritDestroyUnit() {\n 4 5 }", "t.end line 3: CritDestroyUnit names no unit with id 5"},
        {"CritCaptureUnit() { 6 }", "t.end line 2: CritCaptureUnit names no unit with id 6"},
        {"CritMoveUnitsToRegion(1 0) { 7 }", "t.end line 2: CritMoveUnitsToRegion names no unit with id 7"},
    };
    for (const auto& r : rows) {
        for (int kind : {ENDCOND_END, ENDCOND_FSM}) {
            TearDown();
            SetUp();
            log_.clear();
            const std::string text = Condition(r[0]);
            Load(kind == ENDCOND_END ? text : "DefineAICondTree()" + text.substr(text.find(' ')), kind);
            EXPECT_EQ(log_.text().find(r[1]) != std::string::npos, kind == ENDCOND_END) << r[0] << " " << kind;
        }
    }
}
