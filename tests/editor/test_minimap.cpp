// The editor's minimap: placement, the frame, the layers' order and clicks.
#include <gtest/gtest.h>

#include "editor/editor.h"
#include "editor/meminimap.h"
#include "editorfixture.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

class MiniMap : public EditorTest {
protected:
    explicit MiniMap(int side = 200) : EditorTest(side, side) {}
    void SetUp() override
    {
        EditorTest::SetUp();
        mm = new MeMiniMap("MiniMap", 0x2000, IRect(506, 332, 134, 136), &g_MeEditor.view);
        mm->Create();
    }
    void TearDown() override
    {
        delete mm;
        EditorTest::TearDown();
    }
    uint8_t At(int x, int y) const { return mm->composite.data[y * mm->composite.x_size + x]; }
    MeMiniMap* mm = nullptr;
};

class SmallMiniMap : public MiniMap {
protected:
    SmallMiniMap() : MiniMap(64) {}
};

} // namespace

TEST_F(SmallMiniMap, ASmallMapIsCentredInTheInsetArea)
{
    EXPECT_EQ(mm->display.x, 506 + 6 + 29);
    EXPECT_EQ(mm->display.y, 332 + 6 + 30);
    EXPECT_EQ(mm->display.w, 64);
    EXPECT_EQ(mm->display.h, 64);
    MeBigMap::Centre(24 * 60, 24 * 60);
    mm->Draw(nullptr);
    EXPECT_EQ(mm->scroll.x, 0);
    EXPECT_EQ(mm->scroll.y, 0);
}

TEST_F(MiniMap, TheFrameStaysInViewWhenTheBigMapGoesToTheFarSide)
{
    MeBigMap::Centre(24 * 200, 24 * 200);
    mm->Draw(nullptr);
    EXPECT_EQ(mm->scroll.x, 200 - 122);
    EXPECT_EQ(mm->scroll.y, 200 - 124);
    // The frame's bottom-right corner is the display's.
    const int fx = mm->display.x + mm->display.w - 19, fy = mm->display.y + mm->display.h - 19;
    EXPECT_EQ(bb_->data[fy * bb_->x_size + fx], MEMINIMAP_FRAMECOLOUR);
    MeBigMap::Centre(0, 0);
    mm->Draw(nullptr);
    EXPECT_EQ(mm->scroll.x, 0);
    EXPECT_EQ(bb_->data[mm->display.y * bb_->x_size + mm->display.x], MEMINIMAP_FRAMECOLOUR);
}

TEST_F(MiniMap, UnitsCoverObjectsAndBuildingsSurvivePainting)
{
    const uint8_t team2 = (uint8_t)teamdata[2].palindex;
    OVERLAY object{};
    object.tilepos = TILEPOS{10, 10};
    UNIT unit{};
    unit.team = 2;
    unit.tilepos.x = 10;
    unit.tilepos.y = 10;
    mm->MarkObject(&object);
    EXPECT_EQ(At(10, 10), MEMINIMAP_OBJECTCOLOUR);
    mm->MarkUnit(&unit);
    EXPECT_EQ(At(10, 10), team2);
    mm->MarkObject(&object);
    EXPECT_EQ(At(10, 10), team2) << "an object never hides a unit";

    MINIBUILDING mb{};
    mb.x = 20, mb.y = 30, mb.width = 3, mb.height = 2, mb.team = 5;
    BUILDING b{};
    b.minib = &mb;
    mm->MarkBuilding(&b);
    const uint8_t bare = MeMiniMap::TerrainColour(21, 31);
    MAP_ELEMENT_AT(21, 31)->tile = 0x5555;
    mm->UpdateElement(21, 31);
    EXPECT_EQ(At(21, 31), (uint8_t)teamdata[5].palindex);
    EXPECT_NE(mm->terrain.data[31 * 200 + 21], bare) << "the terrain layer takes the paint";
    mm->UpdateElement(25, 35);
    EXPECT_EQ(At(25, 35), MeMiniMap::TerrainColour(25, 35));
}

TEST_F(MiniMap, ClicksNearTheTopLeftCornerNeverGoNegative)
{
    mm->mstate |= MEMM_DRAGGING; // the scroll stays where a right drag left it
    for (IPoint scroll : {IPoint(0, 0), IPoint(30, 40)}) {
        mm->scroll = scroll;
        mm->OnClick(IPoint(mm->display.x + 2, mm->display.y + 1));
        EXPECT_EQ(g_MapView.x, scroll.x * 24);
        EXPECT_EQ(g_MapView.y, scroll.y * 24);
    }
    mm->OnClick(IPoint(mm->display.x + 50, mm->display.y + 60));
    EXPECT_EQ(g_MapView.x, (30 + 50 - 9) * 24);
    EXPECT_EQ(g_MapView.y, (40 + 60 - 9) * 24);
}
