#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/gamestate.h"
#include "map/mapview.h"
#include "platform/input.h"
#include "platform/sound.h"
#include "platform/wav.h"
#include "rules/tfgen.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igievnt.h"
#include "ui/textedit.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/orders.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/unitstate.h"
#include "units/weapon.h"

namespace {

void ResetInterface()
{
    Units_ListClear(&igi_nfo.selected);
    for (UNITLIST& g : igi_nfo.group) Units_ListClear(&g);
    igi_nfo = IGI_NFO{};
}

class InterfaceState : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        ResetInterface();
        Orders_Init();
        g_LocalTeam = 1;
        g_DebugFlags = 0;
        g_NetworkGame = 0;
    }
    void TearDown() override
    {
        ResetInterface();
        Orders_Close();
        g_LocalTeam = 0;
        g_DebugFlags = 0;
        QvWorldTest::TearDown();
    }
    // The codes of the pending orders, oldest first.
    std::vector<int> Pending()
    {
        std::vector<int> codes;
        for (ORDERREC* n = Orders_QueueHead(&g_OrdersPending); n; n = n->next) codes.push_back(n->code);
        return codes;
    }
    std::vector<int> GroupIds(int g)
    {
        std::vector<int> ids;
        for (UNITLISTELEM* e = igi_nfo.group[g].head; e; e = e->next) ids.push_back(e->u.id);
        return ids;
    }
};

TEST_F(InterfaceState, SelectionOperationsKeepFirstUnitAndDropLostUnits)
{
    UNIT* a = Units_NewAt(tank_, 1, -1, 10, 10);
    UNIT* b = Units_NewAt(tank_, 1, -1, 11, 10);
    UNIT* enemy = Units_NewAt(tank_, 2, -1, 12, 10);
    Igievnt_SelectUnit(a);
    Igievnt_SelectUnitOnce(a);
    Igievnt_SelectUnitOnce(b);
    EXPECT_EQ(Units_ListSize(&igi_nfo.selected), 2);
    EXPECT_EQ(igi_nfo.firstunit, a);
    Igievnt_ToggleUnit(a);
    EXPECT_FALSE(Igievnt_IsUnitSelected(a));
    EXPECT_TRUE(Igievnt_SingleUnitSelected());
    EXPECT_EQ(igi_nfo.firstunit, b);
    Igievnt_SelectUnit(enemy); // as a stale order of events might leave it
    Units_Delete(b);
    Igievnt_ValidateSelection();
    EXPECT_EQ(Units_ListSize(&igi_nfo.selected), 0) << "dead and foreign units dropped";
    EXPECT_EQ(igi_nfo.firstunit, nullptr);
}

TEST_F(InterfaceState, BoxSelectsOwnUnitsInsideWithCornersInAnyOrder)
{
    UNIT* in1 = Units_NewAt(tank_, 1, -1, 10, 10);
    UNIT* in2 = Units_NewAt(tank_, 1, -1, 12, 14);
    UNIT* out = Units_NewAt(tank_, 1, -1, 13, 10);
    Units_NewAt(tank_, 2, -1, 11, 11);
    Igievnt_SelectUnit(out);
    igi_nfo.actionmode = AM_SELL;
    Igievnt_SelectBox(12, 14, 10, 10, 0);
    EXPECT_EQ(Units_ListSize(&igi_nfo.selected), 2);
    EXPECT_TRUE(Igievnt_IsUnitSelected(in1));
    EXPECT_TRUE(Igievnt_IsUnitSelected(in2));
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
    igi_nfo.actionmode = AM_FIRE;
    Igievnt_SelectBox(13, 10, 13, 10, 1);
    EXPECT_EQ(Units_ListSize(&igi_nfo.selected), 3) << "Shift adds";
    EXPECT_EQ(igi_nfo.actionmode, AM_FIRE) << "fire mode survives a box";
}

TEST_F(InterfaceState, GroupBytesFollowTheListsAndATypeChangeMovesMembership)
{
    UNIT* a = Units_NewAt(tank_, 1, -1, 10, 10);
    UNIT* b = Units_NewAt(tank_, 1, -1, 11, 10);
    Igievnt_GroupAddUnit(1, a);
    Igievnt_GroupAddUnit(4, a);
    Igievnt_GroupAddUnit(4, a);
    Igievnt_GroupAddUnit(4, b);
    Igievnt_SelectUnit(a);
    EXPECT_EQ(GroupIds(4), (std::vector<int>{a->id, b->id}));
    int oldid = a->id;
    UNIT* c = Units_NewAt(jet_, 1, -1, 10, 11);
    Igievnt_ReplaceUnit(oldid, c);
    EXPECT_EQ(GroupIds(1), (std::vector<int>{c->id}));
    EXPECT_EQ(GroupIds(4), (std::vector<int>{b->id, c->id}));
    for (int g = 0; g < UNITS_IGIGROUPS; g++) {
        EXPECT_EQ(a->interfaceinfo.group[g], 0) << g;
        EXPECT_EQ(c->interfaceinfo.group[g], g == 1 || g == 4) << g;
    }
    EXPECT_TRUE(Igievnt_IsUnitSelected(c));
    EXPECT_FALSE(Igievnt_IsUnitSelected(a));

    UNITLIST list;
    Units_ListInit(&list);
    Units_ListAppend(&list, a, a->id, a->team);
    Units_ListAppend(&list, b, b->id, b->team);
    Igievnt_GroupAddList(7, &list);
    Units_ListClose(&list);
    Igievnt_GroupRemoveUnit(7, a);
    Units_Delete(b);
    Igievnt_GroupRemoveId(7, oldid + 1000);
    EXPECT_EQ(Units_ListSize(&igi_nfo.group[7]), 1) << "an unknown id removes nothing";
    Igievnt_GroupClear(4);
    EXPECT_EQ(c->interfaceinfo.group[4], 0);
    EXPECT_EQ(Units_ListSize(&igi_nfo.group[4]), 0);
}

TEST_F(InterfaceState, UnitThatChangesTypeKeepsItsGroupsAndSelection)
{
    UNIT* a = Units_NewAt(tank_, 1, -1, 10, 10);
    UNIT* b = Units_NewAt(tank_, 1, -1, 11, 10);
    const int oldid = a->id;
    Igievnt_GroupAddUnit(1, a);
    Igievnt_GroupAddUnit(4, a);
    Igievnt_GroupAddUnit(4, b);
    Igievnt_SelectUnit(a);
    UNIT* n = Units_ChangeUnitType(a, jet_, 0);
    ASSERT_NE(n, nullptr);
    ASSERT_NE(n->id, oldid);
    EXPECT_EQ(GroupIds(1), (std::vector<int>{n->id}));
    EXPECT_EQ(GroupIds(4), (std::vector<int>{b->id, n->id}));
    EXPECT_EQ(n->interfaceinfo.group[1], 1);
    EXPECT_EQ(n->interfaceinfo.group[4], 1);
    EXPECT_EQ(n->interfaceinfo.group[2], 0);
    EXPECT_TRUE(Igievnt_IsUnitSelected(n));
    EXPECT_EQ(Units_ListSize(&igi_nfo.selected), 1);
}

TEST_F(InterfaceState, SummaryShowsMixedSettingsAsThree)
{
    UNIT* a = Units_NewAt(tank_, 1, -1, 10, 10);
    UNIT* b = Units_NewAt(tank_, 1, -1, 11, 10);
    a->usertactaiinfo.tenacity = 2;
    b->usertactaiinfo.tenacity = 0;
    a->usertactaiinfo.autonomy = b->usertactaiinfo.autonomy = 1;
    Igievnt_UpdateOrderSettings();
    EXPECT_EQ(igi_nfo.tenacity, 3) << "nothing selected";
    EXPECT_EQ(igi_nfo.automove, 3);
    Igievnt_SelectUnit(a);
    Igievnt_UpdateOrderSettings();
    EXPECT_EQ(igi_nfo.tenacity, 2);
    EXPECT_EQ(igi_nfo.commontype, tank_);
    Igievnt_SelectUnit(b);
    Igievnt_UpdateOrderSettings();
    EXPECT_EQ(igi_nfo.tenacity, 3);
    EXPECT_EQ(igi_nfo.autonomy, 1);
    a->sorder.code = b->sorder.code = SO_AUTOMOVE;
    a->sorder.automove.level = b->sorder.automove.level = 2;
    Igievnt_UpdateOrderSettings();
    EXPECT_EQ(igi_nfo.automove, 2);
    EXPECT_EQ(igi_nfo.autonomy, 3) << "automove hides the tactical settings";
}

TEST_F(InterfaceState, ActionModeTogglesAndPressesItsButton)
{
    Igievnt_SetActionMode(AM_FIRE);
    EXPECT_EQ(igi_nfo.zone.data[12].button.pressed, 1u);
    Igievnt_SetActionMode(AM_SELL);
    EXPECT_EQ(igi_nfo.zone.data[12].button.pressed, 0u);
    EXPECT_EQ(igi_nfo.zone.data[8].button.pressed, 1u);
    Igievnt_SetActionMode(AM_SELL);
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT) << "the same mode again returns to 0";
    EXPECT_EQ(igi_nfo.zone.data[8].button.pressed, 0u);
}

TEST_F(InterfaceState, PanelModeRefusedUnderALockAndCommunicationsOutsideDebugMode)
{
    Igizone_Add(30, ZT_STDBTN, 448, 64, 639, 313, ZL_BUILD, nullptr);
    Igizone_Add(54, ZT_STDBTN, 465, 95, 559, 220, ZL_COMMS, nullptr);
    EXPECT_TRUE(Igievnt_SetMfdMode(MFD_BUILD));
    EXPECT_EQ(igi_nfo.zone.data[15].button.pressed, 1u);
    EXPECT_TRUE(Igizone_IsDefined(30));
    EXPECT_FALSE(Igievnt_SetMfdMode(MFD_COMMS));
    g_DebugFlags = DBG_DEBUGMODE;
    igi_nfo.buttonlock = 4;
    EXPECT_FALSE(Igievnt_SetMfdMode(MFD_COMMS));
    igi_nfo.buttonlock = 0;
    EXPECT_TRUE(Igievnt_SetMfdMode(MFD_COMMS));
    EXPECT_EQ(igi_nfo.zone.data[15].button.pressed, 0u);
    EXPECT_EQ(igi_nfo.zone.data[18].button.pressed, 1u);
    EXPECT_FALSE(Igizone_IsDefined(30));
    EXPECT_TRUE(Igizone_IsDefined(54));
    Igizone_ClearAll();
}

using InterfaceStateDeathTest = InterfaceState;

TEST_F(InterfaceStateDeathTest, InvalidPanelModeAndGroupAreFatal)
{
    EXPECT_EXIT(Igievnt_SetMfdMode(7), testing::ExitedWithCode(1), "Invalid mfd mode \\[7\\]");
    EXPECT_EXIT(Igievnt_GroupClear(10), testing::ExitedWithCode(1), "group < UNITS_IGIGROUPS");
    EXPECT_EXIT(Igievnt_SetActionMode(16), testing::ExitedWithCode(1), "newmode>=0 && newmode<AM_MAXIMUM");
}

TEST_F(InterfaceState, SellResourcePicksTheFullestStoreWhenNothingSellsBetter)
{
    BUILDINGTYPE* store = QvWorld_BuildingType("Store", 2, 2);
    store->resource[1].maxstored = 1000;
    BUILDINGTYPE* hut = QvWorld_BuildingType("Hut", 2, 2);
    Build_New(hut, 1, -1, 20, 20);
    BUILDING* low = Build_New(store, 1, -1, 24, 20);
    BUILDING* high = Build_New(store, 1, -1, 28, 20);
    low->stored[1] = 10;
    high->stored[1] = 300;
    Igievnt_SellResource();
    ORDERREC* n = Orders_QueueHead(&g_OrdersPending);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->code, QSELLRESOURCE);
    EXPECT_EQ((int)Bytes_U32(n->payload), high->id);
    Orders_QueueFree(&g_OrdersPending);
    igi_nfo.sbuild = low;
    BuildId_Setup(&igi_nfo.sbuildid, low);
    Igievnt_SellResource();
    ASSERT_NE(Orders_QueueHead(&g_OrdersPending), nullptr);
    EXPECT_EQ((int)Bytes_U32(Orders_QueueHead(&g_OrdersPending)->payload), low->id);
}

TEST_F(InterfaceState, GameSpeedEventMovesTheSpeedSliderOnlyWhenShown)
{
    const int oldups = g_UpdatesPerSecond;
    Igievnt_DefineSlider(67, Igievnt_HandleStdButton, nullptr, 0, 528, 213, 103, 10, 60, 20, 0, ZL_MENU);
    g_UpdatesPerSecond = 30;
    Igievnt_HandleGameEvent(0);
    EXPECT_EQ(igi_nfo.zone.data[67].button.position, 34) << "not shown: unchanged";
    Igizone_SetActiveMask(ZL_MENU);
    Igievnt_HandleGameEvent(0);
    EXPECT_EQ(igi_nfo.zone.data[67].button.position, 51);
    g_UpdatesPerSecond = 100;
    Igievnt_HandleGameEvent(0);
    EXPECT_EQ(igi_nfo.zone.data[67].button.position, 103) << "capped at the slider's maximum";
    Igievnt_HandleGameEvent(1);
    EXPECT_EQ(log_.text().find("Unknown event type"), std::string::npos);
    Igievnt_HandleGameEvent(5);
    EXPECT_NE(log_.text().find("Unknown event type [5]"), std::string::npos);
    g_UpdatesPerSecond = oldups;
    Igizone_ClearAll();
}

TEST(Slider, KnobAndValueFollowEachOtherByIntegerDivision)
{
    igi_nfo.zone = ZONE_TABLE{};
    static std::vector<int> reported;
    reported.clear();
    auto cb = [](uint32_t, int v) { reported.push_back(v); };
    Igievnt_DefineSlider(68, Igievnt_HandleStdButton, cb, 1, 528, 229, 103, 10, 50, 10, 1, ZL_MENU);
    EXPECT_EQ(igi_nfo.zone.data[68].button.position, 20);
    EXPECT_EQ(reported, std::vector<int>{9});
    Igievnt_SetSliderValue(68, 999);
    EXPECT_EQ(igi_nfo.zone.data[68].button.position, 103);
    EXPECT_EQ(reported.size(), 1u) << "a plain set reports nothing";

    // A drag: press, follow the pointer while held, report at the release.
    igi_nfo.event.kind = EV_LEFTDOWN;
    Igievnt_HandleStdButton(68, ZR_INPUT);
    EXPECT_EQ(igi_nfo.buttonlock, 4);
    igi_nfo.mousebuttons = MOUSE_BUTTON_LEFT;
    igi_nfo.mousex = 528 + 40;
    Igievnt_HandleStdButton(68, ZR_UPDATE);
    igi_nfo.mousex = 2000; // a warp beyond the track
    Igievnt_HandleStdButton(68, ZR_UPDATE);
    EXPECT_EQ(igi_nfo.zone.data[68].button.position, 103);
    igi_nfo.mousebuttons = 0;
    Igievnt_HandleStdButton(68, ZR_UPDATE);
    EXPECT_EQ(reported, (std::vector<int>{9, 50 * 40 / 103, 50, 50}));
    EXPECT_EQ(igi_nfo.buttonlock, 0);
    EXPECT_EQ(igi_nfo.zone.data[68].button.pressed, 0u);
    igi_nfo = IGI_NFO{};
}

TEST(EditZone, ClickTakesTheLockKeysEditEscapeRestoresEnterKeepsAndEmptyRestores)
{
    igi_nfo = IGI_NFO{};
    static char buf[16];
    auto handler = [](uint32_t zd, uint32_t reason) {
        if (reason == ZR_INPUT) Igievnt_HandleEditZone((int)zd);
    };
    Igievnt_DefineButton(59, handler, 481, 296, 67, 16, 2, 2, buf, 8, "1000", TEC_DIGITS, 0, ZL_COMMS);
    EXPECT_STREQ(buf, "1000");
    struct Step {
        uint32_t kind;
        int key, ch;
    };
    auto run = [&](std::vector<Step> steps) {
        int accepted = 0;
        for (const Step& s : steps) {
            igi_nfo.event.kind = s.kind;
            igi_nfo.event.key = (uint32_t)s.key;
            igi_nfo.event.ch = (uint8_t)s.ch;
            accepted = Igievnt_HandleEditZone(59);
        }
        return accepted;
    };
    run({{EV_LEFTUP, 0, 0}});
    EXPECT_EQ(igi_nfo.lockzone, 59u);
    EXPECT_FALSE(run({{EV_KEY, SC_1, '2'}, {EV_KEY, SC_A, 'a'}, {EV_KEY, SC_ESCAPE, 0}}));
    EXPECT_STREQ(buf, "1000") << "cancel puts the kept text back";
    EXPECT_EQ(igi_nfo.lockzone, (uint32_t)ZD_NULL);
    run({{EV_LEFTUP, 0, 0}});
    for (int i = 0; i < 10; i++) run({{EV_KEY, SC_1, '9'}});
    EXPECT_STREQ(buf, "10009999") << "the field holds maxlen characters";
    EXPECT_TRUE(run({{EV_KEY, SC_RETURN, 0}}));
    EXPECT_STREQ(buf, "10009999");
    run({{EV_LEFTUP, 0, 0}});
    EXPECT_TRUE(run({{EV_KEY, SC_BACKSPACE, 0, }, {EV_KEY, SC_BACKSPACE, 0}, {EV_KEY, SC_BACKSPACE, 0},
                     {EV_KEY, SC_BACKSPACE, 0}, {EV_KEY, SC_BACKSPACE, 0}, {EV_KEY, SC_BACKSPACE, 0},
                     {EV_KEY, SC_BACKSPACE, 0}, {EV_KEY, SC_BACKSPACE, 0}, {EV_KEY, SC_KP_ENTER, 0}}));
    EXPECT_STREQ(buf, "10009999") << "an empty text accepted is the old one";
    igi_nfo = IGI_NFO{};
}

class MapSound : public InterfaceState {
protected:
    void SetUp() override
    {
        InterfaceState::SetUp();
        memcpy(oldDataDir_, g_DataDir, sizeof oldDataDir_);
        snprintf(g_DataDir, sizeof g_DataDir, "%s", data_.path().c_str());
        std::filesystem::create_directories(data_.file("sound"));
        std::vector<uint8_t> s(100, 200);
        ASSERT_TRUE(Wav_Write(data_.file("sound/bang.wav").c_str(), s.data(), (int)s.size()));
        Sound_Init();
        Sound_InitEffect(&bang_, "bang", 100);
        oldRadius_ = g_General.sfxradius;
        Map_SetViewPixelPos(0, 0);
    }
    void TearDown() override
    {
        Sound_Close();
        g_General.sfxradius = oldRadius_;
        memcpy(g_DataDir, oldDataDir_, sizeof oldDataDir_);
        InterfaceState::TearDown();
    }
    QvTempDir data_;
    char oldDataDir_[GAME_PATH];
    SOUND_EFFECT bang_{};
    int oldRadius_ = 0;
};

TEST_F(MapSound, PlaysWithinTheRadiusOfTheViewCentreOnSeenTilesOnly)
{
    ASSERT_FALSE(Sound_IsClearedEffect(&bang_));
    Units_NewAt(tank_, 1, -1, 20, 20);
    // The view's centre is tile (10, 10); (20, 20) lies 14 whole tiles off.
    struct Row {
        const char* name;
        int radius, x, y, want;
    } rows[] = {
        {"at the radius: volume 0", 14, 20, 20, 1},
        {"one tile beyond", 13, 20, 20, 0},
        {"unseen tile", 100, 60, 60, 0},
    };
    for (const Row& r : rows) {
        g_General.sfxradius = r.radius;
        EXPECT_EQ(Igievnt_PlaySoundNear(&bang_, r.x, r.y, -1), r.want) << r.name;
    }
    EXPECT_EQ(Igievnt_PlaySoundNear(nullptr, 20, 20, -1), 0);
}

// The units' own sounds reach the player through the map sound: a shot's
// launch (owned by the shooter, so that its next acknowledgement cuts it),
// its impact, and a unit crushed under an enemy; each only where the local
// team sees.
TEST_F(MapSound, ShotsAndCrushingPlayNearTheirTiles)
{
    g_General.sfxradius = 40;
    Projectile_Init();
    Weapon_Init();
    Damage_Init();
    WEAPONTYPE* w = Weapon_NewType();
    w->kind = WLINEAR;
    w->CanShootGround = 1;
    w->range = 6 * 24;
    w->initialspeed = 10;
    w->oinfo = OFFENSEINFO{-1, 0, 0};
    UNITTYPE* crusher = QvWorld_UnitType("Crusher");
    crusher->rundowninfo.attack = 5;
    tank_->rundowninfo.squish = bang_;
    Team_SetRelation(1, 2, TR_ENEMY);
    UNIT* me = Units_NewAt(tank_, 1, -1, 10, 10);
    Units_NewAt(tank_, 2, -1, 14, 10);
    PART part{};
    part.unit = me;
    auto fireAt = [&](int x, int y) {
        TARGET t;
        Target_Setup(&t, FM_GROUND, nullptr, nullptr, x, y);
        PROJECTILEID id;
        ASSERT_EQ(Weapon_MakeProjectile(&id, w, &t, &part), 1);
    };
    auto land = [&] {
        for (int i = 0; i < 200 && Projectile_Count() > 0; i++) Weapon_UpdateProjectiles();
        ASSERT_EQ(Projectile_Count(), 0);
    };
    auto crushAt = [&](int x, int y) {
        UNIT* c = Units_NewAt(crusher, 1, -1, x - 1, y);
        UNIT* v = Units_NewAt(tank_, 2, -1, x, y);
        Units_CanEnterTile(c, x, y);
        EXPECT_EQ(v->hitpoints, 0);
        Units_Delete(c);
        Units_Delete(v);
    };
    // The launch sound is the shooter's: its acknowledgement takes its voice.
    const int before = Sound_VoicesPlaying();
    w->FireSound = bang_;
    fireAt(13, 10);
    w->FireSound = SOUND_EFFECT{};
    ASSERT_EQ(Sound_VoicesPlaying(), before + 1);
    Sound_Effect(&bang_, me->id);
    EXPECT_EQ(Sound_VoicesPlaying(), before + 1);
    land();
    const struct {
        const char* name;
        std::function<void()> act;
        int voices;
    } rows[] = {
        {"launch", [&] { w->FireSound = bang_; fireAt(13, 10); w->FireSound = SOUND_EFFECT{}; land(); }, 1},
        {"impact", [&] { fireAt(13, 10); w->HitSound = bang_; land(); w->HitSound = SOUND_EFFECT{}; }, 1},
        {"silent weapon", [&] { fireAt(13, 10); land(); }, 0},
        {"crushed in sight", [&] { crushAt(11, 12); }, 1},
        {"crushed beyond the radius", [&] { crushAt(50, 50); }, 0},
    };
    for (const auto& r : rows) {
        const int playing = Sound_VoicesPlaying();
        r.act();
        EXPECT_EQ(Sound_VoicesPlaying() - playing, r.voices) << r.name;
    }
    land();
    Projectile_Close();
    Weapon_Close();
    Damage_Close();
}

} // namespace
