// The stored form of the game's records: variants chosen by their code,
// weak handles, and what a file may not carry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "save/save.h"
#include "save/saveblk.h"
#include "save/savefield.h"
#include "save/saveget.h"
#include "save/saveptr.h"
#include "save/savetype.h"
#include "support/testsupport.h"
#include "map/map.h"
#include "rules/endcond.h"
#include "units/building.h"
#include "units/trail.h"
#include "units/unit.h"

namespace {

std::vector<uint8_t> encode(int type, const void* rec)
{
    const SAVEFORM* f = SaveForm_Get(type, 0);
    std::vector<uint8_t> out(f->stored);
    SaveForm_Encode(f, rec, f->memsize, out.data());
    return out;
}

// A unit with every plain field set to something other than zero.
void fillUnit(UNIT* u)
{
    memset(u, 0, sizeof *u);
    u->id = 17;
    u->team = 3;
    u->movemode = MM_GROUND;
    u->maplevel = ML_GROUND;
    u->state = US_MOVING;
    u->onmap = u->inuse = 1;
    u->tilepos = {40, 41};
    u->pixelpos = {960, 984};
    u->hitpoints = 250;
    u->seq = 9;
    u->claimlevel = -1;
    u->move.curvepos = 37;
    u->move.path.count = 3;
    u->spy.nrplans = 2;
    u->spy.plans[1] = 513;
}

struct OrderRow {
    const char* name;
    int code;
    void (*fill)(STANDINGORDERINFO* so);
};

const OrderRow kOrders[] = {
    {"attack", SO_ATTACK, [](STANDINGORDERINFO* so) { so->attack.target.mode = FM_GROUND, so->attack.target.x = 7, so->attack.destpos = {-1, -1}; }},
    {"move", SO_MOVE, [](STANDINGORDERINFO* so) { so->move.destpos = {12, 13}, so->move.groupid = 99, so->move.retries = 2; }},
    {"construct", SO_CONSTRUCT, [](STANDINGORDERINFO* so) { so->construct.buildtype = 4, so->construct.topleftpos = {5, 6}; }},
    {"spy", SO_SPY, [](STANDINGORDERINFO* so) { so->spy.building.id = 8, so->spy.mode = SPY_STEAL, so->spy.stealid = 300, so->spy.effect = 2; }},
    {"sabotage", SO_SABOTAGE_BUILDING, [](STANDINGORDERINFO* so) { so->sabotage.unit.id = 4, so->sabotage.sabotageleft = 30; }},
    {"trail", SO_TRAIL, [](STANDINGORDERINFO* so) { so->trail.didtrailwait = 1, so->trail.mode = TRAIL_LOOP, so->trail.followstate = 5; }},
    {"board", SO_BOARD, [](STANDINGORDERINFO* so) { so->board.unit.id = 21, so->board.retries = 1; }},
    {"board a building", SO_BOARDBLD, [](STANDINGORDERINFO* so) { so->boardbld.building.id = 3, so->boardbld.retries = 4; }},
    {"grab", SO_GRABUNIT, [](STANDINGORDERINFO* so) { so->grabunit.unit.id = 2; }},
    {"pickup", SO_PICKUP, [](STANDINGORDERINFO* so) { so->pickup.retries = 6; }},
    {"repair", SO_REPAIRSELF, [](STANDINGORDERINFO* so) { so->serviceself.returnpos = {3, 4}, so->serviceself.state = SERVICE_SERVICING; }},
    {"rearm", SO_REARMSELF, [](STANDINGORDERINFO* so) { so->serviceself.state = SERVICE_MOVING_BACK; }},
    {"morph into a thing", SO_MORPHOVL, [](STANDINGORDERINFO* so) { so->morphovl.countdown = 40; }},
    {"morph into a unit", SO_MORPHUNIT, [](STANDINGORDERINFO* so) { so->morphunit.teaminto = 8, so->morphunit.countdown = 2; }},
    {"unmorph", SO_UNMORPH, [](STANDINGORDERINFO* so) { so->unmorph.countdown = 11; }},
    {"move by itself", SO_AUTOMOVE, [](STANDINGORDERINFO* so) { so->automove.level = 2, so->automove.retreat = 1; }},
};

TEST(SaveUnitForms, EachStandingOrderComesBackWithItsOwnFields)
{
    const SAVEFORM* form = SaveForm_Get(ST_UNIT, 0);
    for (const OrderRow& row : kOrders) {
        UNIT u, back;
        fillUnit(&u);
        u.sorder.code = row.code;
        row.fill(&u.sorder);
        u.sorder.nextscantime = 77;
        u.snextorder.code = SO_MOVE;
        u.snextorder.move.destpos = {1, 2};
        std::vector<uint8_t> bytes = encode(ST_UNIT, &u);
        memset(&back, 0xCC, sizeof back);
        const char* bad = nullptr;
        ASSERT_TRUE(SaveForm_Decode(form, bytes.data(), &back, form->memsize, &bad)) << row.name << ": " << bad;
        EXPECT_EQ(encode(ST_UNIT, &back), bytes) << row.name;
        // The case's record comes back whole, the other cases' bytes zero.
        STANDINGORDERINFO want;
        memset(&want, 0, sizeof want);
        want.code = row.code;
        want.nextscantime = 77;
        row.fill(&want);
        // Null pointers come back as the null id, to be converted.
        for (size_t w = 0; w + 8 <= sizeof back.sorder; w += 8) {
            uint64_t v;
            memcpy(&v, (uint8_t*)&back.sorder + w, 8);
            if (v == SaveSlot_FromId(SAVEID_NULL)) memset((uint8_t*)&back.sorder + w, 0, 8);
        }
        EXPECT_EQ(memcmp(&back.sorder, &want, sizeof want), 0) << row.name;
        EXPECT_EQ(back.snextorder.move.destpos.y, 2) << row.name;
        EXPECT_EQ(back.spy.plans[1], 513) << row.name;
        EXPECT_EQ(back.seq, 9u) << row.name;
        EXPECT_EQ(back.onmap, 1u) << row.name;
    }
}

TEST(SaveUnitForms, AnUnknownOrderIsStoredAsNoneAndAFileCarryingOneIsRefused)
{
    const SAVEFORM* form = SaveForm_Get(ST_UNIT, 0);
    UNIT u, none;
    fillUnit(&u);
    fillUnit(&none);
    u.sorder.code = 55;
    u.sorder.move.groupid = 1234;
    EXPECT_EQ(encode(ST_UNIT, &u), encode(ST_UNIT, &none));
    // The selector is the variant's first stored word.
    std::vector<uint8_t> bytes = encode(ST_UNIT, &none);
    std::vector<uint8_t> other = encode(ST_UNIT, &none);
    UNIT moved = none;
    moved.sorder.code = SO_PICKUP;
    other = encode(ST_UNIT, &moved);
    size_t at = 0;
    while (at < bytes.size() && bytes[at] == other[at]) at++;
    ASSERT_LT(at, bytes.size());
    struct {
        const char* name;
        size_t offset;
        uint8_t value;
        const char* field;
    } const rows[] = {
        {"an order code past the last", at, 18, "sorder"},
        {"a team past 8", (size_t)(4 + 4), 9, "team"},
        {"padding of a short case not zero", at + 8, 1, "sorder"},
    };
    for (const auto& r : rows) {
        std::vector<uint8_t> b = bytes;
        b[r.offset] = r.value;
        UNIT back;
        const char* bad = nullptr;
        EXPECT_FALSE(SaveForm_Decode(form, b.data(), &back, form->memsize, &bad)) << r.name;
        EXPECT_STREQ(bad ? bad : "", r.field) << r.name;
    }
}

std::vector<std::string> registered(int type, void* rec, std::vector<uint32_t>* flags = nullptr)
{
    SavePtr_Reset();
    Save_RegisterTypePointers(type, rec);
    std::vector<std::string> descs;
    for (SAVEPOINTER* p = SavePtr_First(); p; p = SavePtr_Next()) {
        descs.push_back(p->desc);
        if (flags) flags->push_back(p->flags);
    }
    SavePtr_Close();
    return descs;
}

size_t countOf(const std::vector<std::string>& v, const std::string& s)
{
    size_t n = 0;
    for (const std::string& x : v) n += x == s;
    return n;
}

TEST(SaveUnitForms, OnlyTheCurrentCaseRegistersItsPointers)
{
    QvLogCapture log;
    Save_Init();
    UNIT u;
    fillUnit(&u);
    u.sorder.code = SO_TRAIL;
    u.snextorder.code = SO_MORPHUNIT;
    u.nextstate.type = UNS_FIRE;
    std::vector<std::string> d = registered(ST_UNIT, &u);
    EXPECT_EQ(countOf(d, "so->trail.trail"), 1u);
    EXPECT_EQ(countOf(d, "so->trail.waypoint"), 1u);
    EXPECT_EQ(countOf(d, "so->morphunit.utypeinto"), 1u);
    EXPECT_EQ(countOf(d, "ns->fire.target.unit"), 1u);
    EXPECT_EQ(countOf(d, "so->attack.target.unit"), 0u);
    u.sorder.code = SO_MOVE;
    u.nextstate.type = UNS_MOVE;
    d = registered(ST_UNIT, &u);
    EXPECT_EQ(countOf(d, "so->trail.trail"), 0u);
    EXPECT_EQ(countOf(d, "ns->fire.target.unit"), 0u);
    // Kind 6 registers its target as kind 5 does.
    u.nextstate.type = UNS_FIREONCE;
    EXPECT_EQ(countOf(registered(ST_UNIT, &u), "ns->fireonce.target.unit"), 1u);
}

TEST(SaveUnitForms, SavingAUnitWithAnUnknownOrderSaysSoAndRegistersNoneOfItsPointers)
{
    QvLogCapture log;
    Save_Init();
    UNIT u;
    fillUnit(&u);
    u.sorder.code = 40;
    SavePtr_Reset();
    Saveget_Unit(&u);
    size_t withUnknown = SavePtr_Count();
    SavePtr_Close();
    u.sorder.code = SO_NONE;
    EXPECT_EQ(registered(ST_UNIT, &u).size(), withUnknown);
    EXPECT_NE(log.text().find("Unknown unit standing order being saved 40"), std::string::npos) << log.text();
}

TEST(SaveUnitForms, AHandleToAReusedRecordIsMarkedStaleAndTheGameKeepsIt)
{
    QvLogCapture log;
    Save_Init();
    BUILDING home;
    memset(&home, 0, sizeof home);
    home.id = 30;
    UNIT u;
    fillUnit(&u);
    u.associate = {&home, 30};
    u.partof = {&home, 12};  // the record was reused by building 30
    std::vector<uint32_t> flags;
    std::vector<std::string> d = registered(ST_UNIT, &u, &flags);
    for (size_t i = 0; i < d.size(); i++) {
        if (d[i] == "u->associate") {
            EXPECT_EQ(flags[i] & SAVEPTR_STALE, 0u);
        }
        if (d[i] == "u->partof") {
            EXPECT_NE(flags[i] & SAVEPTR_STALE, 0u);
        }
    }
    EXPECT_EQ(u.partof.building, &home);
    EXPECT_EQ(u.partof.id, 12);
    // While a file's ids are converted back nothing can be followed.
    g_SaveFlags &= ~(uint32_t)SAVEF_LIVE;
    flags.clear();
    d = registered(ST_UNIT, &u, &flags);
    for (size_t i = 0; i < d.size(); i++) EXPECT_EQ(flags[i] & SAVEPTR_STALE, 0u) << d[i];
    Save_Init();
}

struct CritRow {
    const char* name;
    int type;
    std::vector<std::string> pointers;  // what the node registers
};

TEST(SaveUnitForms, EachCriteriaNodeRegistersWhatItsTypeHolds)
{
    QvLogCapture log;
    Save_Init();
    const CritRow rows[] = {
        {"or", CRIT_OR, {"data->nodes"}},
        {"once", CRIT_ONCE, {"data->node"}},
        {"hold a region", CRIT_HOLDREGION, {"data->region"}},
        {"build a unit", CRIT_BUILDUNIT, {"data->region", "data->itemname"}},
        {"destroy units", CRIT_DESTROYUNIT, {"data->region", "data->idlist"}},
        {"credits", CRIT_HAVECREDITS, {}},
        {"kill all", CRIT_KILLALL, {}},
        {"game timer", CRIT_TIMERGAME, {}},
        {"steal a plan", CRIT_STEALPLAN, {"data->plan_name"}},
    };
    const SAVEFORM* form = SaveForm_Get(ST_CRITERIA, 0);
    for (const CritRow& row : rows) {
        CRITERIA c;
        memset(&c, 0, sizeof c);
        c.type = (uint16_t)row.type;
        EXPECT_EQ(registered(ST_CRITERIA, &c), row.pointers) << row.name;
        if (row.type == CRIT_STEALPLAN) c.stealplan.planid = 700, c.stealplan.team = 2;
        if (row.type == CRIT_TIMERGAME) c.timer.time = 5000, c.timer.deadline = 9;
        std::vector<uint8_t> bytes = encode(ST_CRITERIA, &c);
        CRITERIA back;
        memset(&back, 0xEE, sizeof back);
        const char* bad = nullptr;
        ASSERT_TRUE(SaveForm_Decode(form, bytes.data(), &back, sizeof back, &bad)) << row.name << ": " << bad;
        EXPECT_EQ(back.type, row.type) << row.name;
        EXPECT_EQ(encode(ST_CRITERIA, &back), bytes) << row.name;
        if (row.type == CRIT_STEALPLAN) {
            EXPECT_EQ(back.stealplan.planid, 700) << row.name;
        }
        if (row.type == CRIT_TIMERGAME) {
            EXPECT_EQ(back.timer.time, 5000) << row.name;
        }
    }
    // A node type past the last is no node a file may carry.
    CRITERIA c;
    memset(&c, 0, sizeof c);
    std::vector<uint8_t> bytes = encode(ST_CRITERIA, &c);
    bytes[0] = CRIT_KINDS;
    CRITERIA back;
    const char* bad = nullptr;
    EXPECT_FALSE(SaveForm_Decode(form, bytes.data(), &back, sizeof back, &bad));
    EXPECT_STREQ(bad ? bad : "", "type");
    // Nor a team of none (-1) where the criterion indexes the start counts
    // and the teams by its team.
    c.type = CRIT_KILLTEAMUNITS;
    c.killenemy.team = -1;
    bytes = encode(ST_CRITERIA, &c);
    EXPECT_FALSE(SaveForm_Decode(form, bytes.data(), &back, sizeof back, &bad));
    EXPECT_STREQ(bad ? bad : "", "killenemy.team");
}

} // namespace
