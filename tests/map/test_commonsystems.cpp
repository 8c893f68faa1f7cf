// The common game systems' world entries: display sorting, effects,
// regions, sprites, animations and things start empty with every game and
// are closed holders first, so that what a game leaves behind is freed
// without touching a module already closed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/tlog.h"
#include "game/systems.h"
#include "gen_sprites.h"
#include "map/map.h"
#include "map/overlay.h"
#include "map/region.h"
#include "platform/animtype.h"
#include "platform/effects.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "support/testsupport.h"

namespace {

TEST(CommonSystems, CloseFreesWhatAGameLeftHoldersFirst)
{
    QvTempDir dir;
    QvLogCapture log;
    g_NewMapRequest = MAP_NEWREQUEST{1, 8, 8, 5, 1};
    ASSERT_EQ(Map_Load(nullptr), 1);
    InitCommonGameSystems();
    GENSPRITE g;
    GenSprite_Pattern(SPRITE_REGULAR, 2, 1, 8, 8, &g);
    SPRITE_DESC d = g.Desc();
    ASSERT_TRUE(Sprite_Write(dir.file("s.spr").c_str(), &d));
    SPRITE* s = Sprite_Load(dir.file("s.spr").c_str());
    ASSERT_NE(s, nullptr);
    ANIMTYPE* a = AnimType_New("Sway");
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(AnimType_SetSprite(a, s)); // the animation type holds the sprite
    OVERLAYTYPE* t = Ovl_NewType();
    ASSERT_NE(t, nullptr);
    t->animtype = a;
    t->sprite = s;
    // A thing (its display element belongs to it) and a stray element.
    ASSERT_NE(Ovl_New(0, -1, -1, 3, s, 8, 8, 2, 2), nullptr);
    SortDisp_NewElement(s, nullptr, 0, 1, 0, 40, 40, 5, 0);
    REGION r{};
    r.id = 7;
    ASSERT_NE(Region_Add(&r), nullptr);
    ASSERT_NE(Effects_NewTable("Mud", 1, 2), nullptr);

    CloseCommonGameSystems(); // not fatal: nothing is freed through a closed module
    EXPECT_EQ(
        (std::vector<int>{Sprite_Count(), AnimType_Count(), Region_Count(), SortDisp_Count()}),
        std::vector<int>(4, 0));

    // The next game or editor visit: every module open again and empty.
    InitCommonGameSystems();
    EXPECT_EQ((std::vector<int>{Ovl_NrTypes(), Ovl_Count(), Effects_NrTables()}),
              std::vector<int>(3, 0));
    EXPECT_EQ(AnimType_Find("Sway"), nullptr);
    DISPLAYELEMENT* e = SortDisp_NewElement(nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(SortDisp_Count(), 1);
    SortDisp_DeleteChain(e);
    CloseCommonGameSystems();
    Map_Free();
}

} // namespace
