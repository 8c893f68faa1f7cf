// Explosions in play: animation iterators, plays started by cycle at their
// hot spots, ends, loops, handles, attached explosions and buildings'
// health effects.
#include "units/explosion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/uid.h"
#include "gen_sprites.h"
#include "platform/animtype.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/expltype.h"
#include "units/hlthexpl.h"
#include "units/parts.h"
#include "units/unit.h"

namespace {

struct RANGE {
    int first, last, delay;
};

// A world with a sprite of 4 frames and 2 rotations whose three hot spots
// differ with frame and rotation (hot spot h of image (f, r) at
// (h (10 + f), h (100 + r))), the animation and explosion type lists,
// the display list and the explosions.
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
        for (int f = 0; f < 4; f++)
            for (int r = 0; r < 2; r++)
                for (int h = 0; h < 3; h++) g.hotspots.push_back({h * (10 + f), h * (100 + r), 0});
        SPRITE_DESC d = g.Desc();
        std::string path = dir_.file("x.spr");
        EXPECT_EQ(Sprite_Write(path.c_str(), &d), 1);
        sprite_ = Sprite_Load(path.c_str());
        ASSERT_NE(sprite_, nullptr);
        elements_ = SortDisp_Count();
    }
    void TearDown() override
    {
        QvWorldTest::TearDown(); // the buildings end their effects
        Expl_Close();
        ExplType_Close();
        AnimType_Close();
        for (int i = 0; i < g_NrPartTypes; i++) g_PartTypes[i].sprite = nullptr;
        Parts_Close();
        Sprite_Free(sprite_);
        SortDisp_Close();
    }
    ANIMTYPE* Anim(const char* name, std::vector<RANGE> ranges, const char* link = nullptr)
    {
        ANIMTYPE* a = AnimType_New(name);
        sprite_->refcount++; // the type's reference
        AnimType_SetSprite(a, sprite_);
        for (const RANGE& r : ranges) AnimType_AddFrames(a, r.first, r.last, r.delay);
        if (link) AnimType_Link(a, AnimType_Find(link));
        return a;
    }
    // A type of one play of animation anim from cycle 0 at hot spot 0.
    EXPLTYPE* Type(const char* name, ANIMTYPE* anim)
    {
        EXPLTYPE* t = Expl_AddType(name);
        if (anim) Expl_AddAnimationToType(t, 0, 0, 0, anim, RENDER_OPAQUE);
        return t;
    }
    static EXPLID Make(EXPLTYPE* t, int x = 100, int y = 200, SPRITE* s = nullptr, int frame = 0,
                       int direction = 0)
    {
        EXPLID id;
        Expl_MakeExplosion(&id, t, nullptr, 3, frame, direction, x, y, s);
        return id;
    }
    static void Run(int updates)
    {
        for (int i = 0; i < updates; i++) Expl_UpdateAll();
    }
    // The frames its plays show, oldest first.
    static std::vector<int> Frames(const EXPLID& id)
    {
        std::vector<int> out;
        for (EXPLANIM* a = id.expl->firstexplanim; a; a = a->next)
            out.push_back(SortDisp_GetFrame(a->display));
        return out;
    }

    QvTempDir dir_;
    SPRITE* sprite_ = nullptr;
    int elements_ = 0;
};

} // namespace

TEST_F(ExplosionTest, AnIteratorShowsEachFrameForItsDelayThenFollowsTheLink)
{
    Anim("B", {{2, 3, 1}});
    Anim("Empty", {}, "Empty");
    const struct {
        const char* name;
        std::vector<RANGE> ranges;
        const char* link;
        const char* shown; // the frame after starting and after each update; "." ended
    } rows[] = {
        {"delays", {{0, 1, 2}}, nullptr, "0 0 1 1 . ."},
        {"delay below 1 counts 1", {{0, 2, 0}, {1, 1, -0}}, nullptr, "0 1 2 1 ."},
        {"link continues", {{1, 1, 1}}, "B", "1 2 3 ."},
        {"self-link loops", {{1, 2, 1}}, "self-link loops", "1 2 1 2 1 2 1"},
        {"empty types passed", {}, "B", "2 3 ."},
        {"a loop of empty types ends", {}, "Empty", "."},
    };
    for (const auto& r : rows) {
        ANIMTYPE* a = Anim(r.name, r.ranges);
        if (r.link) AnimType_Link(a, AnimType_Find(r.link));
        ANIMITERATOR it;
        std::string shown;
        for (int on = AnimIter_Start(&it, a);; on = AnimIter_Advance(&it)) {
            shown += on ? std::to_string(it.frame) : ".";
            if (shown.size() >= std::string(r.shown).size()) break;
            shown += " ";
        }
        EXPECT_EQ(shown, r.shown) << r.name;
        EXPECT_EQ(AnimIter_Playing(&it), shown.back() != '.') << r.name;
    }
}

TEST_F(ExplosionTest, PlaysStartAtTheirCyclesAtTheirHotSpotsAndTheExplosionEnds)
{
    ANIMTYPE* once = Anim("Once", {{0, 1, 1}});  // 2 updates
    ANIMTYPE* longer = Anim("Longer", {{0, 3, 1}});
    EXPLTYPE* t = Expl_AddType("Blast");
    Expl_AddAnimationToType(t, 0, 0, 0, once, RENDER_OPAQUE);
    Expl_AddAnimationToType(t, 2, 1, 2, longer, RENDER_LIGHT);
    Expl_AddAnimationToType(t, 2, 2, 1, once, RENDER_TRANSLUCENT_A0);
    // Frame 2, facing 128 (rotation 1 of 2): hot spot h - hot spot 0 is (12h, 101h).
    EXPLID id = Make(t, 100, 200, sprite_, 2, 128);
    EXPECT_EQ(Expl_PlayCount(), 0) << "nothing plays before its first update";

    const struct {
        const char* when;
        std::vector<int> frames; // of the plays, oldest first
    } rows[] = {
        {"cycle 0", {0}},
        {"cycle 1", {1}},
        {"cycle 2: both plays of cycle 2 together", {0, 0}},
        {"cycle 3", {1, 1}},
        {"the shorter play ended", {2}},
        {"the last frame", {3}},
    };
    for (const auto& r : rows) {
        Run(1);
        ASSERT_TRUE(Expl_ValidExpl(&id)) << r.when;
        EXPECT_EQ(Frames(id), r.frames) << r.when;
        if (std::string(r.when) == "cycle 2: both plays of cycle 2 together") {
            // Entries 1 and 2 (equal cycles: the later added first) pick hot
            // spot 1 + (id + index) mod 2; modes and remap as given.
            const EXPLANIM* a = id.expl->firstexplanim;
            for (int index : {1, 2}) {
                const int h = 1 + (id.id + index) % 2;
                EXPECT_EQ(a->display->x, 100 + 12 * h) << index;
                EXPECT_EQ(a->display->y, 200 + 101 * h) << index;
                EXPECT_EQ(SortDisp_GetRemap(a->display), 3);
                EXPECT_EQ(SortDisp_GetRenderMode(a->display),
                          index == 1 ? RENDER_TRANSLUCENT_A0 : RENDER_LIGHT);
                a = a->next;
            }
        }
    }
    Run(1);
    EXPECT_FALSE(Expl_ValidExpl(&id)) << "every play started and ended";
    EXPECT_EQ(Expl_Count(), 0);
    EXPECT_EQ(Expl_PlayCount(), 0);
    EXPECT_EQ(SortDisp_Count(), elements_) << "the displays went with the plays";

    EXPLID none = Make(Expl_AddType("Nothing"));
    EXPLTYPE* lateType = Expl_AddType("Late");
    Expl_AddAnimationToType(lateType, 1000, 0, 0, once, RENDER_OPAQUE);
    EXPLID late = Make(lateType);
    Run(1);
    EXPECT_FALSE(Expl_ValidExpl(&none)) << "a type without plays ends at its first update";
    EXPECT_TRUE(Expl_ValidExpl(&late)) << "a play still to start keeps it";
}

TEST_F(ExplosionTest, ALoopingHealthEffectBurnsUntilTerminated)
{
    EXPLTYPE* fire = Type("Fire", Anim("Flames", {{0, 3, 2}}, "Flames"));
    PARTTYPE* pt = Parts_NewType();
    pt->sprite = sprite_;
    Hlthexpl_Add(&pt->healthexpl, 50, 1, fire);
    UNIT* u = Units_NewAt(tank_, 1, -1, 10, 10);
    PART* p = Parts_New(pt, u, nullptr, 0, 1);
    const int elements = SortDisp_Count();
    Parts_UpdateHealthEffects(p, 100, 40);
    ASSERT_TRUE(Expl_ValidExpl(&p->healthexpl));
    Run(500);
    EXPECT_TRUE(Expl_ValidExpl(&p->healthexpl)) << "a loop never ends by itself";
    EXPECT_EQ(Expl_PlayCount(), 1);
    Parts_StopHealthEffect(p);
    EXPECT_FALSE(Expl_ValidExpl(&p->healthexpl));
    EXPECT_EQ(Expl_PlayCount(), 0);
    EXPECT_EQ(SortDisp_Count(), elements) << "no display left behind";
    Parts_Delete(p);
    Hlthexpl_Free(&pt->healthexpl);
}

TEST_F(ExplosionTest, AHandleGoesStaleWhenItsExplosionEndsAndItsRecordIsReused)
{
    EXPLTYPE* fire = Type("Fire", Anim("Flames", {{0, 3, 1}}, "Flames"));
    EXPLID a = Make(fire);
    EXPLID copy = a;
    Run(1);
    Expl_TerminateExpl(&a);
    EXPECT_EQ(a.expl, nullptr) << "the handle terminated is emptied";
    EXPECT_FALSE(Expl_ValidExpl(&copy));
    Expl_TerminateExpl(&copy); // a stale handle: nothing to do
    EXPLID b = Make(fire);
    EXPECT_EQ(b.expl, copy.expl) << "the record came back from the free list";
    EXPECT_FALSE(Expl_ValidExpl(&copy)) << "with a new id";
    EXPECT_TRUE(Expl_ValidExpl(&b));
    EXPECT_EQ(Expl_Count(), 1);
}

TEST_F(ExplosionTest, AnAttachedExplosionFollowsItsPartAndEndsWithIt)
{
    EXPLTYPE* fire = Type("Fire", Anim("Flames", {{0, 3, 1}}, "Flames"));
    PARTTYPE* pt = Parts_NewType();
    pt->sprite = sprite_;
    UNIT* u = Units_NewAt(tank_, 1, -1, 10, 10);
    PART* p = Parts_New(pt, u, nullptr, 0, 1);
    EXPLID id;
    Expl_MakeExplosion(&id, fire, p, 0, 0, 0, 240, 240, nullptr);
    Run(1);
    u->pixelpos = {300, 260};
    Run(1);
    const DISPLAYELEMENT* d = id.expl->firstexplanim->display;
    EXPECT_EQ(std::pair(d->x, d->y), std::pair(300, 260)) << "it follows";
    // The part goes; its record comes back as another part.
    Parts_Delete(p);
    PART* q = Parts_New(pt, u, nullptr, 0, 1);
    ASSERT_EQ(q, p);
    Run(1);
    EXPECT_FALSE(Expl_ValidExpl(&id)) << "its part is gone, though the record is in use";
    EXPECT_EQ(Expl_PlayCount(), 0);
    Parts_Delete(q);
}

TEST_F(ExplosionTest, ABuildingsEffectsAreReplacedAsItBurnsDown)
{
    ANIMTYPE* loop = Anim("Loop", {{0, 3, 1}}, "Loop");
    BUILDINGTYPE* bt = QvWorld_BuildingType("Depot", 2, 2); // 500 hit points
    Hlthexpl_Add(&bt->healthexplosions, 75, 0, Type("Smoke", loop));
    Hlthexpl_Add(&bt->healthexplosions, 50, 0, Type("Fire", loop));
    Hlthexpl_Add(&bt->healthexplosions, 25, 0, Type("Flames", loop));
    Hlthexpl_Add(&bt->healthexplosions, 10, 0, nullptr); // a threshold without a type
    BUILDING* b = Build_New(bt, 1, -1, 10, 10);
    ASSERT_NE(b, nullptr);
    const struct {
        const char* what;
        int hp;
        const char* shown; // the building's effect, null none
    } rows[] = {
        {"above every threshold", 450, nullptr},
        {"through 75", 350, "Smoke"},
        {"through 50 and 25 at once: the last kept", 100, "Flames"},
        {"repaired: the fire is out", 200, nullptr},
        {"through 25 again", 120, "Flames"},
        {"through 10: no type, the fire stays", 20, "Flames"},
    };
    for (const auto& r : rows) {
        Build_SetHitpoints(b, r.hp);
        Run(3);
        if (r.shown) {
            ASSERT_TRUE(Expl_ValidExpl(&b->explosion)) << r.what;
            EXPECT_STREQ(b->explosion.expl->type->name, r.shown) << r.what;
            EXPECT_EQ(std::pair(b->explosion.expl->x, b->explosion.expl->y), std::pair(264, 264));
        } else {
            EXPECT_FALSE(Expl_ValidExpl(&b->explosion)) << r.what;
        }
        EXPECT_EQ(Expl_Count(), r.shown ? 1 : 0) << r.what << ": the one before ended";
    }
    Build_Remove(b);
    EXPECT_EQ(Expl_Count(), 0) << "the building's removal puts its fire out";
    EXPECT_EQ(SortDisp_Count(), elements_);
}
