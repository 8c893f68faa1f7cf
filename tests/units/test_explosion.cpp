// Explosions in play: plays by cycle at their hot spots, ends, loops,
// handles, attached explosions, buildings' effects.
#include "units/explosion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gen_sprites.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "support/world.h"
#include "units/building.h"
#include "units/expltype.h"
#include "units/hlthexpl.h"
#include "units/parts.h"
#include "units/unit.h"

namespace {

// A sprite of 4 frames, 2 rotations and 3 hot spots, hot spot h of image
// (f, r) at (h (10 + f), h (100 + r)); a looping animation "Loop".
class ExplosionTest : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        SortDisp_Init();
        Parts_Init();
        AnimType_Init();
        ExplType_Init();
        Expl_Init();
        GENSPRITE g;
        GenSprite_Pattern(SPRITE_REGULAR, 4, 2, 8, 8, &g);
        g.nrhotspots = 3;
        g.hotspots.clear();
        for (int i = 0; i < 24; i++) // i = (f * 2 + r) * 3 + h
            g.hotspots.push_back({i % 3 * (10 + i / 6), i % 3 * (100 + i / 3 % 2), 0});
        SPRITE_DESC d = g.Desc();
        ASSERT_EQ(Sprite_Write(dir_.file("x.spr").c_str(), &d), 1);
        sprite_ = Sprite_Load(dir_.file("x.spr").c_str());
        parttype_ = Parts_NewType();
        parttype_->sprite = sprite_;
        loop_ = Anim("Loop", 0, 3, 1, "Loop");
    }
    void TearDown() override
    {
        QvWorldTest::TearDown(); // the buildings end their effects first
        Expl_Close();
        ExplType_Close();
        AnimType_Close();
        parttype_->sprite = nullptr;
        Parts_Close();
        Sprite_Free(sprite_);
        SortDisp_Close();
    }
    // Frames first..last (none for first -1), then link.
    ANIMTYPE* Anim(const char* name, int first, int last, int delay, const char* link = nullptr)
    {
        ANIMTYPE* a = AnimType_New(name);
        sprite_->refcount++; // the type's reference
        AnimType_SetSprite(a, sprite_);
        if (first >= 0) AnimType_AddFrames(a, first, last, delay);
        if (link) AnimType_Link(a, AnimType_Find(link));
        return a;
    }
    EXPLTYPE* Type(const char* name, ANIMTYPE* anim, int cycle = 0)
    {
        EXPLTYPE* t = Expl_AddType(name);
        if (anim) Expl_AddAnimationToType(t, cycle, 0, 0, anim, RENDER_OPAQUE);
        return t;
    }
    static EXPLID Make(EXPLTYPE* t, PART* part = nullptr, SPRITE* s = nullptr)
    {
        EXPLID id;
        Expl_MakeExplosion(&id, t, part, 3, 2, 128, 100, 200, s); // frame 2, rotation 1
        return id;
    }
    static void Run(int updates)
    {
        while (updates-- > 0) Expl_UpdateAll();
    }

    QvTempDir dir_;
    SPRITE* sprite_ = nullptr;
    PARTTYPE* parttype_ = nullptr;
    ANIMTYPE* loop_ = nullptr;
};

} // namespace

TEST_F(ExplosionTest, PlaysStartAtTheirCyclesAtTheirHotSpotsAndTheExplosionEnds)
{
    const int elements = SortDisp_Count();
    ANIMTYPE* once = Anim("Once", 0, 1, 0); // a delay below 1 counts 1
    EXPLTYPE* t = Type("Blast", once);
    Expl_AddAnimationToType(t, 2, 1, 2, Anim("Longer", 0, 3, 1), RENDER_LIGHT);
    Expl_AddAnimationToType(t, 2, 2, 1, once, RENDER_TRANSLUCENT_A0); // goes before "Longer"
    EXPLID id = Make(t, nullptr, sprite_);
    const std::vector<std::vector<int>> frames = {{0}, {1}, {0, 0}, {1, 1}, {2}, {3}, {}};
    for (size_t u = 0; u < frames.size(); u++) {
        Run(1);
        std::vector<int> shown;
        for (EXPLANIM* a = id.expl ? id.expl->firstexplanim : nullptr; a; a = a->next)
            shown.push_back(SortDisp_GetFrame(a->display));
        EXPECT_EQ(shown, frames[u]) << "update " << u;
        if (u != 2) continue;
        // Plays 1 and 2 start together at hot spot 1 + (id + index) mod 2,
        // offset from hot spot 0 by (12h, 101h) at frame 2, rotation 1.
        const EXPLANIM* a = id.expl->firstexplanim;
        for (int index : {1, 2}) {
            const int h = 1 + (id.id + index) % 2;
            EXPECT_EQ(std::pair(a->display->x, a->display->y), std::pair(100 + 12 * h, 200 + 101 * h));
            EXPECT_EQ(SortDisp_GetRemap(a->display), 3);
            EXPECT_EQ(SortDisp_GetRenderMode(a->display),
                      index == 1 ? RENDER_TRANSLUCENT_A0 : RENDER_LIGHT);
            a = a->next;
        }
    }
    EXPECT_FALSE(Expl_ValidExpl(&id)) << "every play started and ended";
    EXPECT_EQ(Expl_Count() + Expl_PlayCount(), 0);
    EXPECT_EQ(SortDisp_Count(), elements) << "the displays went with the plays";

    EXPLID none = Make(Type("Nothing", nullptr)), late = Make(Type("Late", once, 1000));
    EXPLID empty = Make(Type("Empty", Anim("Empty", -1, 0, 0, "Empty")));
    Run(1);
    EXPECT_FALSE(Expl_ValidExpl(&none)) << "a type without plays ends at its first update";
    EXPECT_FALSE(Expl_ValidExpl(&empty)) << "an animation looping on no frames shows nothing";
    EXPECT_TRUE(Expl_ValidExpl(&late)) << "a play still to start keeps it";
}

TEST_F(ExplosionTest, ALoopingHealthEffectBurnsUntilTerminatedAndItsHandleGoesStale)
{
    EXPLTYPE* type = Type("Fire", loop_);
    Hlthexpl_Add(&parttype_->healthexpl, 50, 1, type);
    PART* p = Parts_New(parttype_, Units_NewAt(tank_, 1, -1, 10, 10), nullptr, 0, 1);
    const int elements = SortDisp_Count();
    Parts_UpdateHealthEffects(p, 100, 40);
    const EXPLID fire = p->healthexpl;
    Run(500);
    EXPECT_TRUE(Expl_ValidExpl(&fire)) << "a loop never ends by itself";
    Parts_StopHealthEffect(p);
    EXPECT_FALSE(Expl_ValidExpl(&fire));
    EXPECT_EQ(SortDisp_Count(), elements) << "its display went with it";
    EXPLID next = Make(type);
    EXPECT_EQ(next.expl, fire.expl) << "the record came back from the free list";
    EXPECT_FALSE(Expl_ValidExpl(&fire)) << "with a new id";
    Parts_Delete(p);
    Hlthexpl_Free(&parttype_->healthexpl);
}

TEST_F(ExplosionTest, AnAttachedExplosionFollowsItsPartAndEndsWithIt)
{
    UNIT* u = Units_NewAt(tank_, 1, -1, 10, 10);
    PART* p = Parts_New(parttype_, u, nullptr, 0, 1);
    EXPLID id = Make(Type("Fire", loop_), p);
    u->pixelpos = {300, 260};
    Run(1);
    const DISPLAYELEMENT* d = id.expl->firstexplanim->display;
    EXPECT_EQ(std::pair(d->x, d->y), std::pair(300, 260));
    Parts_Delete(p);
    ASSERT_EQ(Parts_New(parttype_, u, nullptr, 0, 1), p) << "the record is another part's";
    Run(1);
    EXPECT_FALSE(Expl_ValidExpl(&id));
    Parts_Delete(p);
}

TEST_F(ExplosionTest, ABuildingsEffectsAreReplacedAsItBurnsDown)
{
    BUILDINGTYPE* bt = QvWorld_BuildingType("Depot", 2, 2); // 500 hit points
    const char* names[] = {"Smoke", "Fire", "Flames"};
    for (int i = 0; i < 3; i++) Hlthexpl_Add(&bt->healthexplosions, 75 - 25 * i, 0, Type(names[i], loop_));
    Hlthexpl_Add(&bt->healthexplosions, 10, 0, nullptr);
    BUILDING* b = Build_New(bt, 1, -1, 10, 10);
    const struct {
        int hp;
        const char* shown; // the building's effect, null none
    } rows[] = {{450, nullptr}, {350, "Smoke"}, {100, "Flames"}, // through 50 and 25: the last kept
                {200, nullptr}, {120, "Flames"}, {20, "Flames"}};    // repaired; 10 has no type
    for (const auto& r : rows) {
        Build_SetHitpoints(b, r.hp);
        Run(3);
        EXPECT_EQ(Expl_ValidExpl(&b->explosion) ? b->explosion.expl->type->name : "-",
                  std::string(r.shown ? r.shown : "-")) << r.hp;
        EXPECT_EQ(Expl_Count(), r.shown ? 1 : 0) << r.hp << ": the one before ended";
    }
    EXPECT_EQ(std::pair(b->explosion.expl->x, b->explosion.expl->y), std::pair(264, 264));
    Build_Remove(b);
    EXPECT_EQ(Expl_Count(), 0) << "the building's removal puts its fire out";
}
