#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/gamestate.h"
#include "map/mapview.h"
#include "platform/input.h"
#include "screendata.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igievnt.h"
#include "ui/igipump.h"
#include "ui/igitop.h"
#include "ui/textedit.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

// The interface started on a 64 x 64 world, local team 1.
class InterfacePump : public QvWorldTest {
protected:
    QvScreenData screen_;
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Input_Init();
        Event_Init();
        Orders_Init();
        g_LocalTeam = 1;
        g_DebugFlags = 0;
        g_NetworkGame = 0;
        Map_SetViewPixelPos(0, 0);
        Igi_Init();
    }
    void TearDown() override
    {
        Igi_Close();
        Orders_Close();
        Event_Close();
        Input_Close();
        g_LocalTeam = 0;
        QvWorldTest::TearDown();
    }
    void Send(uint32_t kind, int x, int y, int key = 0, int ch = 0)
    {
        EVENT e{};
        e.kind = kind;
        e.x = x;
        e.y = y;
        e.key = (uint32_t)key;
        e.ch = (uint8_t)ch;
        Igievnt_HandleEvent(&e);
    }
    void Click(int x, int y)
    {
        Send(EV_LEFTDOWN, x, y);
        Send(EV_LEFTUP, x, y);
    }
    std::vector<int> Pending()
    {
        std::vector<int> codes;
        for (ORDERREC* n = Orders_QueueHead(&g_OrdersPending); n; n = n->next) codes.push_back(n->code);
        return codes;
    }
};

TEST_F(InterfacePump, StartDefinesTheFrameOpensTheBuildingPanelAndIgnoresRepeats)
{
    EXPECT_EQ(log_.text().find("Some zones were not initialised"), std::string::npos) << log_.text();
    Igi_Init();
    EXPECT_EQ(igi_nfo.zone.defined, 96) << "every panel, the building and special ones twice; a second start is ignored";
    EXPECT_EQ(igi_nfo.mfdmode, MFD_BUILD);
    EXPECT_EQ(Igizone_GetDisabled(2), 1);
    EXPECT_EQ(Igizone_GetDisabled(21), 1);
    EXPECT_TRUE(Igizone_IsDefined(30));
    EXPECT_EQ(igi_nfo.zone.data[15].button.pressed, 1u);
    EXPECT_EQ(igi_nfo.watchteam, 1);
    EXPECT_EQ(std::vector<uint8_t>(igi_nfo.commteam, igi_nfo.commteam + IGI_COMMROWS),
              (std::vector<uint8_t>{0, 2, 3, 4, 5, 6, 7}))
        << "seven rows, seven other teams";
    Igi_Close();
    Igi_Close();
    EXPECT_FALSE(Igi_Started());
    Igi_Init();
    EXPECT_TRUE(Igi_Started());
}

TEST_F(InterfacePump, TopBarModesStopAndPanelSelectors)
{
    Click(300, 10);
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT) << "no fire mode without units";
    UNIT* u = Units_NewAt(tank_, 1, -1, 5, 5);
    Igievnt_SelectUnit(u);
    Click(300, 10);
    EXPECT_EQ(igi_nfo.actionmode, AM_FIRE);
    Click(350, 10);
    EXPECT_EQ(igi_nfo.actionmode, AM_FIRENOMV);
    Click(350, 10);
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
    Click(20, 10);
    EXPECT_EQ(igi_nfo.actionmode, AM_SELL);

    Click(400, 10);
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
    EXPECT_EQ(Pending(), (std::vector<int>{QCLEARSELECTED, QADDSELECTED, QSTOP}));
    EXPECT_EQ(igi_nfo.zone.data[14].button.pressed, 1u);
    Igievnt_Update();
    EXPECT_EQ(igi_nfo.zone.data[14].button.pressed, 0u) << "pressed for one frame";

    Click(460, 40);
    EXPECT_EQ(igi_nfo.mfdmode, MFD_ORDERS);
    EXPECT_EQ(Igizone_Find(460, 300), ZD_NULL) << "the building list is gone";
    Click(460, 10);
    EXPECT_EQ(igi_nfo.mfdmode, MFD_BUILD);
    EXPECT_EQ(Igizone_Find(460, 300), 30);
}

TEST_F(InterfacePump, TeamGridWatchesOnlyTeamsItMaySee)
{
    struct Row {
        const char* name;
        int x, y, want;
    } rows[] = {
        {"team 2 without the right", 588 + 2 * 13 + 3, 345, 1},
        {"own cell", 588 + 13 + 3, 345, 1},
        {"past the fourth column", 639, 345, 1},
    };
    for (const Row& r : rows) {
        Click(r.x, r.y);
        EXPECT_EQ(igi_nfo.watchteam, r.want) << r.name;
    }
    teamdata[1].seeresource[6] = 1;
    Click(588 + 2 * 13 + 3, 342 + 17 + 3);
    EXPECT_EQ(igi_nfo.watchteam, 6);
    teamdata[1].seeresource[6] = 0;
    Igievnt_Update();
    EXPECT_EQ(igi_nfo.watchteam, 1) << "back to the local team when the right is lost";
}

TEST_F(InterfacePump, MapViewTileIsClampedAndUnseenEnemiesAreNotUnderThePointer)
{
    Send(EV_RIGHTUP, 11, 100);
    EXPECT_EQ(igi_nfo.event.zone, 22u);
    EXPECT_EQ(igi_nfo.event.tilex, 1) << "pixel 11 is tile 0, clamped to 1";
    Map_SetViewPixelPos(10000, 10000);
    Send(EV_RIGHTUP, 447, 479);
    EXPECT_EQ(igi_nfo.event.tilex, 63);
    EXPECT_EQ(igi_nfo.event.tiley, 63);

    Map_SetViewPixelPos(0, 0);
    UNIT* own = Units_NewAt(tank_, 1, -1, 5, 5);
    UNIT* enemy = Units_NewAt(tank_, 2, -1, 8, 5);
    auto at = [](UNIT* u, int* sx, int* sy) {
        *sx = u->pixelpos.x - g_MapView.x;
        *sy = u->pixelpos.y - g_MapView.y + 32;
    };
    int sx, sy;
    at(own, &sx, &sy);
    Send(EV_RIGHTUP, sx, sy);
    EXPECT_EQ(igi_nfo.event.unit, own);
    at(enemy, &sx, &sy);
    enemy->seen[1] = 0;
    Send(EV_RIGHTUP, sx, sy);
    EXPECT_EQ(igi_nfo.event.unit, nullptr) << "an enemy under the fog";
    enemy->seen[1] = 1;
    Send(EV_RIGHTUP, sx, sy);
    EXPECT_EQ(igi_nfo.event.unit, enemy);
}

TEST_F(InterfacePump, LockedFieldGetsEveryClickAndKeepsKeysUntilEscape)
{
    static char text[32];
    auto handler = [](uint32_t zd, uint32_t reason) {
        if (reason == ZR_INPUT) Igievnt_HandleEditZone((int)zd);
    };
    Igizone_SetActiveMask(0);
    Igievnt_DefineButton(51, handler, 500, 341, 80, 6, 2, 1, text, 20, "old", TEC_ALL, 0, ZL_BUILD);
    Igievnt_SetMfdMode(MFD_BUILD);
    Send(EV_LEFTUP, 510, 343); // a strip no lower zone covers
    ASSERT_EQ(igi_nfo.lockzone, 51u);
    Send(EV_KEY, 510, 343, SC_A, 'x');
    UNIT* u = Units_NewAt(tank_, 1, -1, 5, 5);
    Igievnt_SelectUnit(u);
    Click(300, 10); // zone 12 under the pointer: the field has the lock
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
    EXPECT_STREQ(text, "oldx");
    Send(EV_KEY, 0, 0, SC_ESCAPE, 0);
    EXPECT_STREQ(text, "old");
    EXPECT_EQ(igi_nfo.lockzone, (uint32_t)ZD_NULL);
    Click(300, 10);
    EXPECT_EQ(igi_nfo.actionmode, AM_FIRE);
}

TEST_F(InterfacePump, EveryEventOfAFrameIsHandledThatFrame)
{
    UNIT* u = Units_NewAt(tank_, 1, -1, 5, 5);
    Igievnt_SelectUnit(u);
    Input_RawMouseMove(300, 10);
    Input_RawMouseButton(0, 1);
    Input_RawMouseButton(0, 0);
    Input_RawKey(SC_Q, 1, 'q'); // plain Q: a key that does nothing
    Igievnt_Update();
    EXPECT_EQ(igi_nfo.actionmode, AM_FIRE);
    EXPECT_EQ(igi_nfo.event.kind, (uint32_t)EV_KEY) << "the key came last";
    EXPECT_EQ(igi_nfo.mousex, 300);
    Igievnt_Update();
    EXPECT_EQ(igi_nfo.actionmode, AM_FIRE) << "nothing is handled twice";
    EXPECT_EQ(g_EventHead, nullptr);
}

} // namespace
