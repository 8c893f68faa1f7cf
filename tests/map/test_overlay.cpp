// Things on the map: types, creation, moving, deleting while in use,
// highlighting, terrain effects and the whole-list operations.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/uid.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/overlay.h"
#include "platform/effects.h"
#include "platform/sortdisp.h"
#include "support/testsupport.h"

namespace {

class Overlays : public testing::Test {
protected:
    void SetUp() override
    {
        g_NewMapRequest = MAP_NEWREQUEST{1, 40, 30, 4, 1};
        ASSERT_EQ(Map_Load(nullptr), 1);
        SortDisp_Init();
        Effects_Init();
        Mapgrid_Init();
        Ovl_Init();
        tree = Ovl_NewType();
        snprintf(tree->name, sizeof(tree->name), "Tree");
        rock = Ovl_NewType();
        snprintf(rock->name, sizeof(rock->name), "Rock");
    }
    void TearDown() override
    {
        Ovl_FreeAll();
        Mapgrid_Close();
        Effects_Close();
        EXPECT_EQ(SortDisp_Count(), 0);   // every overlay's element went with it
        SortDisp_Close();
        Map_Free();
    }
    OVERLAYTYPE* tree = nullptr;
    OVERLAYTYPE* rock = nullptr;
    OVERLAY* Thing(int tx, int ty, int type = 0, int layer = 3)
    {
        return Ovl_New(type, -1, 2, layer, nullptr, 24, 24, tx, ty);
    }
    std::vector<OVERLAY*> List()
    {
        std::vector<OVERLAY*> out;
        for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay) out.push_back(o);
        return out;
    }
};

} // namespace

// ------------------------------------------------------------------ types

TEST_F(Overlays, AtMost150TypesFoundByNameWithoutCase)
{
    EXPECT_EQ(Ovl_FindType("ROCK"), 1);
    EXPECT_LT(Textfile_FindOvlType("Bush"), 0);
    for (int i = Ovl_NrTypes(); i < OVL_MAX_TYPES; i++) ASSERT_NE(Ovl_NewType(), nullptr);
    EXPECT_EQ(Ovl_NewType(), nullptr);
}

// ------------------------------------------------------------------ creating

TEST_F(Overlays, NewThingStandsOnItsTileInTheGridAndTheDisplay)
{
    Uid_Reset();
    OVERLAY* a = Thing(5, 7);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Mapgrid_FindAtPixel(5, 7), a);
    ASSERT_NE(a->display, nullptr);
    EXPECT_EQ(a->display->y, 7 * 24);

    // Regression: a given id was not reserved, so a later one could repeat it.
    OVERLAY* b = Ovl_New(-1, 500, -1, 0, nullptr, 0, 0, 6, 7);
    EXPECT_EQ(b->id, 500);
    EXPECT_EQ(Thing(6, 8)->id, 501);
    EXPECT_EQ(List()[1], b) << "newest last";

    QvLogCapture log;
    const struct {
        int type, id, tx, ty;
        const char* logged;
    } refused[] = {
        {0, -1, 0, 5, "off the map"}, {0, -1, 5, 30, "off the map"},
        {2, -1, 5, 5, "no thing type 2"}, {0, 0, 5, 5, "invalid id 0"},
    };
    for (const auto& r : refused) {
        log.clear();
        EXPECT_EQ(Ovl_New(r.type, r.id, 2, 3, nullptr, 24, 24, r.tx, r.ty), nullptr) << r.logged;
        EXPECT_NE(log.text().find(r.logged), std::string::npos) << log.text();
    }
    EXPECT_EQ(Ovl_Count(), 3);
}

TEST_F(Overlays, NewWithoutAGridJoinsItWhenAllOn)
{
    Mapgrid_Close();
    OVERLAY* a = Thing(3, 3);
    ASSERT_NE(a, nullptr);
    Mapgrid_Init();
    Ovl_AllOn();
    EXPECT_EQ(Mapgrid_FindAtPixel(3, 3), a);
}

// ------------------------------------------------------------------ moving

TEST_F(Overlays, MoveCarriesGridLinkAndDisplayAlong)
{
    OVERLAY* a = Thing(5, 5);
    Ovl_MoveTo(a, 20, 9);   // into another grid cell
    EXPECT_EQ(Mapgrid_FindAtPixel(5, 5), nullptr);
    EXPECT_EQ(Mapgrid_FindAtPixel(20, 9), a);
    EXPECT_EQ(a->display->y, 216);
    // Clamped to the valid tiles, however far.
    Ovl_MoveRel(a, INT32_MAX, INT32_MIN);
    EXPECT_EQ(Mapgrid_FindAtPixel(39, 1), a);
    EXPECT_EQ(a->display->x, 39 * 24);
}

TEST_F(Overlays, AllOffAndAllOnTakeEveryOverlayOutOfTheGridAndBack)
{
    OVERLAY* a = Thing(5, 5);
    Ovl_AllOff();
    EXPECT_EQ(Mapgrid_FindAtPixel(5, 5), nullptr);
    // Moved while out: it stays out, and comes back at its new tile.
    Ovl_MoveTo(a, 6, 6);
    EXPECT_EQ(Mapgrid_FindAtPixel(6, 6), nullptr);
    Ovl_AllOn();
    Ovl_AllOn();
    EXPECT_EQ(Mapgrid_FindAtPixel(6, 6), a);
    Ovl_AllOff();   // once was enough to be linked once
    EXPECT_EQ(Mapgrid_FindAtPixel(6, 6), nullptr);
}

// ------------------------------------------------------------------ deleting

TEST_F(Overlays, DeleteTakesAnUnusedOverlayAway)
{
    OVERLAY* a = Thing(5, 5);
    OVERLAY* c = Thing(7, 5);
    Ovl_Delete(c);   // the last: the list still appends afterwards
    OVERLAY* d = Thing(8, 8);
    EXPECT_EQ(List(), (std::vector<OVERLAY*>{a, d}));
}

TEST_F(Overlays, DeleteWhileInUseIsDeferredToTheLastRelease)
{
    OVERLAY* a = Thing(5, 5);
    OVERLAY* b = Thing(6, 5);
    Ovl_Use(a);
    Ovl_Use(a);
    Ovl_Delete(a);
    // Gone from the game at once...
    EXPECT_EQ(List(), (std::vector<OVERLAY*>{b}));
    EXPECT_EQ(Mapgrid_FindAtPixel(5, 5), nullptr);
    // ...but the holders' record stays readable until they let go.
    Ovl_Delete(a);                  // again: nothing more
    Ovl_MoveTo(a, 9, 9);            // ignored for a deleted overlay
    EXPECT_EQ(Mapgrid_FindAtPixel(9, 9), nullptr);
    Ovl_Release(a);
    EXPECT_EQ(a->usecount, 1);
    Ovl_Release(a);                 // the last: freed (the sanitizer build checks no one reads it)
    EXPECT_EQ(Ovl_Count(), 1);
    // One never released is freed by Ovl_FreeAll (the pool would report it).
    OVERLAY* c = Thing(7, 7);
    Ovl_Use(c);
    Ovl_Delete(c);
}

// ------------------------------------------------------------------ terrain effects

TEST_F(Overlays, EffectsGridMarksTheTilesOfItsFootprint)
{
    // 3 x 2 from the top-left tile; one entry outside the footprint and one
    // code too large for the map's 5-bit field.
    const uint8_t grid[] = {1, 0, 2, 0, 31, 0, 4, 0, 40, 0, 6, 0};
    ASSERT_NE(Effects_AddOvlEffect("Bigrock", 3, 2, grid), nullptr);
    snprintf(rock->effectname, sizeof(rock->effectname), "BIGROCK");
    EXPECT_EQ(Ovl_GetEffects(1, 10, 10), 4);
    EXPECT_EQ(MAP_ELEMENT_AT(12, 10)->effect, (uint32_t)MAP_EFFECT_NONE);   // code 31: outside
    EXPECT_EQ(MAP_ELEMENT_AT(11, 11)->effect, (uint32_t)MAP_EFFECT_NONE);   // code 40: too large
    EXPECT_EQ(MAP_ELEMENT_AT(12, 11)->effect, 6u);
    // Only the part on valid tiles (row and column 0 are not).
    EXPECT_EQ(Ovl_GetEffects(1, 38, 28), 3);
    EXPECT_EQ(Ovl_GetEffects(1, INT32_MAX, 5), 0);
    EXPECT_EQ(Ovl_GetEffects(0, 5, 5), 0);   // a type without a grid
}

// ------------------------------------------------------------------ whole list

TEST_F(Overlays, IsThingAbsoluteFindsTheTopmostThingUnderAPixel)
{
    OVERLAY* low = Ovl_New(0, -1, 0, 1, nullptr, 48, 48, 5, 5);    // pixels 120..167
    OVERLAY* high = Ovl_New(1, -1, 0, 2, nullptr, 24, 24, 6, 6);   // pixels 144..167
    Ovl_New(-1, -1, 0, 9, nullptr, 100, 100, 4, 4);                // not a thing
    EXPECT_EQ(Ovl_IsThingAbsolute(120, 120), low);
    EXPECT_EQ(Ovl_IsThingAbsolute(167, 167), high);
    EXPECT_EQ(Ovl_IsThingAbsolute(168, 150), nullptr);
    EXPECT_EQ(Ovl_IsThingAbsolute(100, 100), nullptr);   // only the non-thing there
    // Same layer: the one lower on the map.
    OVERLAY* lower = Ovl_New(0, -1, 0, 1, nullptr, 48, 48, 5, 6);
    EXPECT_EQ(Ovl_IsThingAbsolute(130, 150), lower);
}

TEST_F(Overlays, DisplayAllShowsEverythingAndMakeVisibleMarksThings)
{
    OVERLAY* a = Thing(5, 5);
    OVERLAY* n = Ovl_New(-1, -1, 0, 0, nullptr, 0, 0, 6, 6);
    a->flags |= OVF_FOGGED;
    n->flags |= OVF_FOGGED;
    Ovl_MakeAllOverlaysVisible();
    EXPECT_TRUE(a->flags & OVF_SEEN);
    EXPECT_FALSE(n->flags & OVF_SEEN);   // not a thing

    SortDisp_HideChain(a->display);
    SortDisp_HideChain(n->display);
    Ovl_DisplayAll();
    EXPECT_TRUE(n->display->visible);
    EXPECT_FALSE(n->flags & OVF_FOGGED);
}
