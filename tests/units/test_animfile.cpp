// Explosion types and the animation file: the registry, the order of the
// plays, and what "animate.txt" accepts and how it reports what it doesn't.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/config.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "gen_sprites.h"
#include "map/overlay.h"
#include "platform/animtype.h"
#include "platform/effects.h"
#include "platform/sprite.h"
#include "rules/textfiles.h"
#include "rules/tfovl.h"
#include "rules/tfunit.h"
#include "support/testsupport.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/expltype.h"
#include "units/weapon.h"

namespace {

class AnimFileTest : public testing::Test {
protected:
    QvTempDir dir_;
    QvLogCapture log_;
    size_t logMark_ = 0; // where the last Load's lines begin
    char oldGraphics_[GAME_PATH], oldData2_[GAME_PATH];

    void SetUp() override
    {
        memcpy(oldGraphics_, g_GraphicsDir, sizeof oldGraphics_);
        memcpy(oldData2_, g_DataDir2, sizeof oldData2_);
        Str_CopySafe(g_GraphicsDir, dir_.file("graphics").c_str(), sizeof g_GraphicsDir);
        g_DataDir2[0] = '\0';
        // A pattern sprite of 4 frames for the small cases, and the demo's
        // explosion.
        GENSPRITE g;
        GenSprite_Pattern(SPRITE_REGULAR, 4, 1, 6, 5, &g);
        Put("BOOM.SPR", g);
        GenSprite_Build(GENSPRITE_EXPLODE, &g);
        Put(GenSprite_FileName(GENSPRITE_EXPLODE), g);
    }
    void TearDown() override
    {
        ExplType_FreeAll();
        AnimType_FreeAll();
        Sprite_FreeAll();
        memcpy(g_GraphicsDir, oldGraphics_, sizeof oldGraphics_);
        memcpy(g_DataDir2, oldData2_, sizeof oldData2_);
    }
    void Put(const std::string& name, const GENSPRITE& g)
    {
        dir_.write("graphics/" + name, "");
        SPRITE_DESC d = g.Desc();
        ASSERT_EQ(Sprite_Write(dir_.file("graphics/" + name).c_str(), &d), 1);
    }
    std::string Path() const { return dir_.file("animate.txt"); }
    int Load(const std::string& text)
    {
        dir_.write("animate.txt", text);
        logMark_ = Log().size();
        return Tfweapon_Load(Path().c_str());
    }
    std::string Log() const { return log_.text(); }
    // The last Load logged text and the file-and-line report of the given line.
    void ExpectRejected(const std::string& text, int line)
    {
        std::string log = Log().substr(logMark_);
        EXPECT_NE(log.find(text), std::string::npos) << log;
        std::string where = "Error in file [" + Path() + "] at line [" + std::to_string(line) + "]";
        EXPECT_NE(log.find(where), std::string::npos) << log;
    }
    static std::string Plays(const EXPLTYPE* t)
    {
        std::string s;
        for (const EXPLANIMTYPE* p = t->firstanim; p; p = p->next) {
            if (!s.empty()) s += " ";
            s += std::to_string(p->startcycle) + ":" + p->animtype->name;
        }
        return s;
    }
};

const char* const TWO_ANIMS = "DefineAnimationType(A) { SetSprite(BOOM.SPR) Frame(0 1) }\n"
                              "DefineAnimationType(B) { SetSprite(BOOM.SPR) Frame(1 1) }\n";

} // namespace

using ExplTypePlays = AnimFileTest;

// Types are found in any case, never made twice and kept in creation order
// (for saving); plays are sorted by cycle, equal cycles in reverse order.
TEST_F(ExplTypePlays, SortedByCycleWithEqualCyclesInReverseOrder)
{
    ANIMTYPE* a = AnimType_New("a");
    ANIMTYPE* b = AnimType_New("b");
    ANIMTYPE* c = AnimType_New("c");
    ANIMTYPE* d = AnimType_New("d");
    EXPLTYPE* t = Expl_AddType("t");
    EXPLTYPE* u = Expl_AddType("u");
    EXPECT_EQ(Expl_FindType("T"), t);
    EXPECT_EQ(Expl_AddType("T"), nullptr);
    EXPECT_EQ(t->next, u);
    EXPECT_EQ(Expl_AddAnimationToType(t, 5, 0, 0, a, RENDER_OPAQUE), 1);
    EXPECT_EQ(Expl_AddAnimationToType(t, 0, 0, 0, b, RENDER_OPAQUE), 1);
    EXPECT_EQ(Expl_AddAnimationToType(t, 5, 0, 0, c, RENDER_OPAQUE), 1);
    EXPECT_EQ(Expl_AddAnimationToType(t, 9, 0, 0, d, RENDER_OPAQUE), 1);
    EXPECT_EQ(Plays(t), "0:b 5:c 5:a 9:d");
    EXPECT_EQ(Expl_AddAnimationToType(t, 1, 0, 0, a, 16), 0);
    EXPECT_EQ(t->nranims, 4);
}

// ---------------------------------------------------------------- reading

using AnimFileReading = AnimFileTest;

TEST_F(AnimFileReading, BuildsTypesWithRangesLinksAndPlays)
{
    ASSERT_EQ(Load("; comment\n"
                   "DefineAnimationType ( Spin ) {\n"
                   "  setsprite ( boom.spr )\n" // SetSprite in any case, sprite by file name
                   "  Frame ( 0 2 )\n"
                   "  Frame ( 1 2 )\n" // goes on from frame 0 at the same delay
                   "  Frames ( 2 3 5 )\n"
                   "  Link ( Spin )\n" // itself: a loop
                   "}\n"
                   "DefineAnimationType ( Once ) { SetSprite ( EXPLODE.SPR ) Frames ( 0 7 1 ) }\n"
                   "DefineAnimationType ( Then ) { SetSprite ( BOOM.SPR ) Link ( once ) }\n"
                   "DefineExplosionType ( Empty ) { }\n"
                   "DefineExplosionType(X) {\n"
                   "  PlayAnimation(0 7 2 Spin translucentB1)\n" // hot spots kept in order
                   "  PlayAnimation(1 3 4 Once LIGHT)\n"         // render names in any case
                   "}\n"),
              1)
        << Log();
    ANIMTYPE* spin = AnimType_Find("SPIN");
    ASSERT_NE(spin, nullptr);
    ASSERT_NE(spin->sprite, nullptr);
    EXPECT_EQ(spin->link, spin);
    ASSERT_EQ(spin->nrframes, 2);
    EXPECT_EQ(spin->lastframe->delay, 5);
    EXPECT_EQ(AnimType_Find("Then")->link, AnimType_Find("Once"));
    // Both types of BOOM.SPR share the one loaded sprite.
    EXPECT_EQ(AnimType_Find("Then")->sprite, spin->sprite);
    ASSERT_NE(Expl_FindType("empty"), nullptr);
    const EXPLANIMTYPE* p = Expl_FindType("X")->firstanim;
    ASSERT_TRUE(p && p->next);
    EXPECT_EQ(p->hotspotmin * 10 + p->hotspotmax, 27);
    EXPECT_EQ(p->rendertype, RENDER_TRANSLUCENT_B1);
    EXPECT_EQ(p->next->rendertype, RENDER_LIGHT);
    EXPECT_EQ(Tfweapon_Load(dir_.file("absent.txt").c_str()), 0);
}

TEST_F(AnimFileReading, TheDemoRuleFilesLoadTogetherThroughTheGameLoader)
{
    for (int id = 0; id < GENSPRITE_COUNT; id++) {
        GENSPRITE g;
        GenSprite_Build(id, &g);
        Put(GenSprite_FileName(id), g);
    }
    std::string deftxt = QV_DEMO_ANIMATE_TXT;
    deftxt.erase(deftxt.rfind('/'));
    Cfg_SetDefaults(&g_Config);
    char oldDefTxt[GAME_PATH], oldScenario[GAME_PATH];
    memcpy(oldDefTxt, g_DefTxtDir, sizeof oldDefTxt);
    memcpy(oldScenario, g_ScenarioDir, sizeof oldScenario);
    Str_CopySafe(g_DefTxtDir, deftxt.c_str(), sizeof g_DefTxtDir);
    g_ScenarioDir[0] = '\0';
    Effects_Init();
    Damage_Init();
    Weapon_Init();
    // The unit types name the demo terrain's effects tables.
    ASSERT_EQ(Tfovl_LoadTerrainEffects((deftxt + "/../graphics/DEMO/trneff.txt").c_str()), 0);
    Game_LoadTextFiles(nullptr);
    EXPECT_NE(Weapon_FindType("Demolition"), nullptr);
    EXPECT_NE(Effects_FindType("BUILDING.SPR"), nullptr);
    EXPECT_GE(Ovl_FindType("Tree"), 0);
    // Every animation type has its sprite and frames; the explosions play.
    for (const ANIMTYPE* a = g_AnimTypeList; a; a = a->next) {
        EXPECT_NE(a->sprite, nullptr) << a->name;
        EXPECT_GT(a->nrframes, 0) << a->name;
    }
    for (const char* name : {"SmallBlast", "BigBlast", "Crater", "Burning"}) {
        ASSERT_NE(Expl_FindType(name), nullptr) << name;
        EXPECT_GT(Expl_FindType(name)->nranims, 0) << name;
    }
    Build_FreeTypes();
    Tfunit_Reset();
    Ovl_FreeTypes();
    Weapon_Close();
    Damage_Close();
    Effects_Close();
    memcpy(g_DefTxtDir, oldDefTxt, sizeof oldDefTxt);
    memcpy(g_ScenarioDir, oldScenario, sizeof oldScenario);
}

// ---------------------------------------------------------------- errors
//
// A file that breaks the rules fails the load, with the reason and the file
// and line in the log, and keeps what was read before the error.

using AnimFileErrors = AnimFileTest;

TEST_F(AnimFileErrors, MisspeltBlockKeywordFailsAndKeepsTheTypesBefore)
{
    EXPECT_EQ(Load(std::string(TWO_ANIMS) + "DefineExplosionType(X) { }\n"
                                            "\n"
                                            "DefineAnimatonType(C) { SetSprite(BOOM.SPR) }\n"
                                            "DefineExplosionType(Y) { }\n"),
              0);
    ExpectRejected("[TFWEAPON] Expected DefineAnimationType or DefineExplosionType but found "
                   "DefineAnimatonType",
                   5);
    EXPECT_NE(Expl_FindType("X"), nullptr);
    EXPECT_EQ(Expl_FindType("Y"), nullptr);
}

TEST_F(AnimFileErrors, EachFailureNamesItsCauseAndLine)
{
    const std::string two = TWO_ANIMS;
    const struct {
        std::string text;
        const char* logged;
        int line;
    } rows[] = {
        // Line keywords other than SetSprite match case.
        {"DefineAnimationType(A) { SetSprite(BOOM.SPR)\n frame(0 1) }\n",
         "Expected Frame or Link in DefineAnimationType(A) but found frame", 2},
        // A Link that is not the last line fails on the next token.
        {"DefineAnimationType(A) {\n  SetSprite(BOOM.SPR)\n  Link(A)\n  Frame(0 1)\n}\n",
         "Expected } in DefineAnimationType(A) but found Frame", 4},
        {two + "DefineAnimationType(a) { SetSprite(BOOM.SPR) }\n",
         "AnimationType \"a\" defined twice", 3},
        {"\nDefineAnimationType(A) {\n SetSprite(NOSUCH.SPR)\n}\n",
         "Couldn't add sprite to animation type", 3},
        // BOOM.SPR has frames 0..3.
        {"DefineAnimationType(A) {\n SetSprite(BOOM.SPR)\n Frames(2 4 1)\n}\n",
         "Couldn't add frame to animation type", 3},
        {two + "DefineExplosionType(X) {\n  PlayAnimation(0 0 0 Nothing opaque)\n}\n",
         "Animation type \"Nothing\" not previously defined", 4},
        // A short line doesn't borrow the next line's tokens.
        {two + "DefineExplosionType(X) {\n  PlayAnimation(0 0 A opaque)\n}\n",
         "PlayAnimation takes 5 values but found 4, in DefineExplosionType(X)", 4},
        // A truncated file fails where the text ends.
        {"DefineAnimationType(A) {\n SetSprite(BOOM.SPR)\n Frames(0 1",
         "Unexpected end of file in Frames", 3},
    };
    for (const auto& r : rows) {
        ExplType_FreeAll();
        AnimType_FreeAll();
        // A sprite that can't be loaded leaves no reference behind.
        EXPECT_EQ(Sprite_Count(), 0);
        EXPECT_EQ(Load(r.text), 0) << r.text;
        ExpectRejected(r.logged, r.line);
    }
}

// The file's parser used to stay allocated when a fatal error left through a
// test or fuzz hook.
TEST_F(AnimFileErrors, UnknownRenderTypeIsFatalAndLeavesNoParserBehind)
{
    long blocks = Debug_LiveBlocks();
    QV_EXPECT_FATAL(Load(std::string(TWO_ANIMS) + "DefineExplosionType(X) {\n"
                                                  "  PlayAnimation(0 0 0 A glow)\n"
                                                  "}\n"),
                    "Expected [_RenderType_ not recognised] but found [glow]");
    EXPECT_NE(Log().find("Line : 4"), std::string::npos) << Log();
    ExplType_FreeAll();
    AnimType_FreeAll();
    Sprite_FreeAll();
    EXPECT_EQ(Debug_LiveBlocks(), blocks);
}
