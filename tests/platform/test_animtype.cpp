// Animation types: the sprite, frame ranges, links, reloading and the
// references they hold (names are read through the animation file).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/tlog.h"
#include "gen_sprites.h"
#include "platform/animtype.h"
#include "platform/sprite.h"
#include "support/testsupport.h"

namespace {

class AnimTypeTest : public testing::Test {
protected:
    QvTempDir dir_;
    QvLogCapture log_;
    void TearDown() override
    {
        AnimType_FreeAll();
        Sprite_FreeAll();
    }
    std::string Log() const { return log_.text(); }
    // A sprite of frames frames, loaded by path.
    SPRITE* MakeSprite(int frames, const std::string& name = "a.spr", uint8_t mark = 1)
    {
        GENSPRITE g;
        GenSprite_Pattern(SPRITE_REGULAR, frames, 1, 4, 3, &g);
        g.At(0, 0, 0, 0) = mark;
        SPRITE_DESC d = g.Desc();
        EXPECT_EQ(Sprite_Write(dir_.file(name).c_str(), &d), 1);
        return Sprite_Load(dir_.file(name).c_str());
    }
};

} // namespace

using AnimTypeFrames = AnimTypeTest;

TEST_F(AnimTypeFrames, SpriteAndLinkAreSetOnceAndTheTypeHoldsItsSpritesReference)
{
    ANIMTYPE* t = AnimType_New("boom");
    SPRITE* a = MakeSprite(4);
    SPRITE* b = MakeSprite(4, "b.spr");
    EXPECT_EQ(AnimType_SetSprite(t, nullptr), 0);
    EXPECT_EQ(AnimType_SetSprite(t, a), 1);
    EXPECT_EQ(AnimType_SetSprite(t, b), 0);
    EXPECT_NE(Log().find("Cannot set an animation type's Sprite twice, in [boom]"), std::string::npos);
    Sprite_Free(b); // refused: still the caller's

    ANIMTYPE* stop = AnimType_New("stop");
    EXPECT_EQ(AnimType_Link(t, nullptr), 0);
    EXPECT_EQ(AnimType_Link(t, t), 1); // a loop on itself
    EXPECT_EQ(AnimType_Link(t, stop), 0);
    EXPECT_NE(Log().find("Cannot Link an animation type twice, in boom"), std::string::npos);
    EXPECT_TRUE(t->sprite == a && t->link == t);
    AnimType_FreeAll();
    EXPECT_EQ(Sprite_Count(), 0);
}

TEST_F(AnimTypeFrames, RangesMustLieInTheSpriteAndConsecutiveOnesMerge)
{
    ANIMTYPE* t = AnimType_New("walk");
    EXPECT_EQ(AnimType_AddFrames(t, 0, 0, 2), 0); // no sprite yet
    ASSERT_EQ(AnimType_SetSprite(t, MakeSprite(6)), 1);
    // Past the sprite, before it, backwards, a negative delay.
    for (auto [first, last, delay] : {std::tuple{0, 6, 2}, {-1, 2, 2}, {3, 2, 2}, {0, 1, -1}})
        EXPECT_EQ(AnimType_AddFrames(t, first, last, delay), 0)
            << first << ".." << last << " " << delay;
    EXPECT_EQ(t->firstframe, nullptr);

    // 2..2 goes on at the same delay: merged; 3 has another delay; 5 is not
    // consecutive; the same frame again is a range of its own.
    for (auto [first, last, delay] : {std::tuple{0, 1, 2}, {2, 2, 2}, {3, 3, 5}, {5, 5, 5}, {5, 5, 5}})
        EXPECT_EQ(AnimType_AddFrames(t, first, last, delay), 1);
    EXPECT_EQ(t->nrframes, 4);
    std::vector<std::vector<int>> got;
    for (const ANIMFRAME* f = t->firstframe; f; f = f->next) got.push_back({f->first, f->last, f->delay});
    EXPECT_EQ(got, (std::vector<std::vector<int>>{{0, 2, 2}, {3, 3, 5}, {5, 5, 5}, {5, 5, 5}}));
    EXPECT_EQ(t->lastframe->next, nullptr);
}

TEST_F(AnimTypeFrames, ReloadKeepsEveryTypesSpriteAddress)
{
    SPRITE* s = MakeSprite(3, "a.spr", 40);
    ANIMTYPE* one = AnimType_New("one");
    ANIMTYPE* two = AnimType_New("two");
    ASSERT_EQ(AnimType_SetSprite(one, s), 1);
    s->refcount++; // the second type's own reference, as a second lookup gives it
    ASSERT_EQ(AnimType_SetSprite(two, s), 1);
    MakeSprite(3, "a.spr", 41); // rewrites the file (and loads a copy, freed at the end)
    AnimType_ReloadSprites();
    EXPECT_TRUE(one->sprite == s && two->sprite == s);
    const uint8_t* rle = Sprite_GetFrame(s, 0, 0);
    EXPECT_EQ(rle[2], 41); // row 0: (0, count) then the first pixel
    AnimType_FreeAll();
    EXPECT_EQ(Sprite_Count(), 1); // only the copy
}
