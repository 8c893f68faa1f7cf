// Part types: the table's limit and the checks that make a type usable.
#include "units/parts.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/tlog.h"
#include "platform/sprite.h"
#include "support/testsupport.h"
#include "units/weapon.h"

namespace {

class PartTypes : public testing::Test {
protected:
    void SetUp() override
    {
        Parts_Init();
        Weapon_Init();
    }
    void TearDown() override
    {
        for (int i = 0; i < g_NrPartTypes; i++) g_PartTypes[i].sprite = nullptr;
        Parts_Close();
        Weapon_Close();
    }
    QvLogCapture log_{TLOG_DIAG};
    SPRITE sprite_{};
};

} // namespace

TEST_F(PartTypes, TheTableHoldsOneHundredAndTwentyEightTypes)
{
    for (int i = 0; i < PARTS_MAXTYPES; i++) ASSERT_NE(Parts_NewType(), nullptr) << i;
    EXPECT_EQ(Parts_NewType(), nullptr);
    EXPECT_EQ(g_NrPartTypes, PARTS_MAXTYPES);
    EXPECT_NE(log_.text().find("Max number of part types exceeded"), std::string::npos);
    Parts_Close();
    EXPECT_EQ(g_NrPartTypes, 0);
    const PARTTYPE* t = Parts_NewType();
    EXPECT_EQ(t, &g_PartTypes[0]);
    EXPECT_EQ(t->overrideanim, -1);
    EXPECT_EQ(t->weapons[3].fireanim, 1);
    EXPECT_EQ(t->rotationspeed, 1 << 24);
    EXPECT_EQ(t->halfrotationangle, 1 << 23);
}

TEST_F(PartTypes, SetupReportsTheFirstFaultInOrder)
{
    WEAPONTYPE* w = Weapon_NewType();
    const struct {
        std::function<void(PARTTYPE*)> spoil;
        const char* fault; // null: usable
    } rows[] = {
        {[](PARTTYPE*) {}, nullptr},
        {[](PARTTYPE* t) { t->spritename[0] = 0; t->sprite = nullptr; }, "Sprite filename not defined"},
        {[](PARTTYPE* t) { t->sprite = nullptr; t->nrweapons = 9; }, "Sprite handle is NULL"},
        {[](PARTTYPE* t) { t->nrweapons = 5; }, "Invalid number of weapons 5"},
        {[](PARTTYPE* t) { t->nrweapons = -1; }, "Invalid number of weapons -1"},
        {[](PARTTYPE* t) { t->weapons[1].type = nullptr; t->weapons[0].fireframe = -2; },
         "Bad fire frame -2 for weapon 0"},
        {[](PARTTYPE* t) { t->weapons[1].type = nullptr; t->halfrotationangle = -1; },
         "Weapon type for weapon 1 is NULL"},
        {[](PARTTYPE* t) { t->weapons[2].type = nullptr; t->halfrotationangle = -1; },
         "Bad half rotation angle -1"},
        {[](PARTTYPE* t) { t->scandelay = -3; }, "Bad scan delay -3"},
    };
    for (const auto& r : rows) {
        Parts_Close();
        PARTTYPE* t = Parts_NewType();
        snprintf(t->spritename, sizeof t->spritename, "turret");
        t->sprite = &sprite_;
        t->nrweapons = 2;
        t->weapons[0].type = t->weapons[1].type = w;
        r.spoil(t);
        log_.clear();
        EXPECT_EQ(Parts_SetupType(t), r.fault ? 0 : 1) << (r.fault ? r.fault : "usable");
        if (r.fault) {
            EXPECT_NE(log_.text().find(r.fault), std::string::npos) << log_.text();
        }
        t->sprite = nullptr;
    }
}

TEST_F(PartTypes, WeaponQueriesLookAtTheUsedSlotsOnly)
{
    WEAPONTYPE* plain = Weapon_NewType();
    WEAPONTYPE* special = Weapon_NewType();
    PARTTYPE* t = Parts_NewType();
    t->weapons[0].type = plain;
    t->weapons[1].type = special;
    const struct {
        std::function<void(WEAPONTYPE*)> make;
        int (*query)(const PARTTYPE*);
    } rows[] = {
        {[](WEAPONTYPE* w) { w->selfdestruct.isselfdestruct = 1; }, Parts_TypeHasSelfDestruct},
        {[](WEAPONTYPE* w) { w->directhitpointdamage = -5; }, Parts_TypeHasRepairWeapon},
        {[](WEAPONTYPE* w) { w->oinfo.hitpoints = -1; }, Parts_TypeHasRepairWeapon},
        {[](WEAPONTYPE* w) { w->CanShootIndirect = 1; }, Parts_TypeCanShootIndirect},
    };
    for (const auto& r : rows) {
        *special = *plain;
        r.make(special);
        t->nrweapons = 1;
        EXPECT_EQ(r.query(t), 0) << (&r - rows) << ": the second slot isn't used";
        t->nrweapons = 2;
        EXPECT_EQ(r.query(t), 1) << (&r - rows);
    }
}
