// The thing file: thing types, their menu images and the blocks that fail.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/tfparse.h"
#include "map/overlay.h"
#include "platform/animtype.h"
#include "platform/sprite.h"
#include "rules/tfovl.h"
#include "support/testsupport.h"

namespace {

class ThingFile : public testing::Test {
protected:
    QvTempDir dir_;
    QvLogCapture log_;
    void SetUp() override
    {
        Ovl_Init();
        AddAnim("Tree", 200, 100);
        AddAnim("Bush", 40, 30);
    }
    void TearDown() override
    {
        Ovl_FreeAll();
        AnimType_FreeAll();
        Sprite_FreeAll();
    }
    void AddAnim(const char* name, int w, int h)
    {
        std::vector<uint8_t> pixels((size_t)w * h, 5);
        SPRITE_DESC d{SPRITE_REGULAR, 1, 1, w, h, pixels.data(), 0, nullptr, 0, nullptr, nullptr};
        std::string path = dir_.file(std::string(name) + ".spr");
        ASSERT_EQ(Sprite_Write(path.c_str(), &d), 1);
        ANIMTYPE* a = AnimType_New(name);
        ASSERT_EQ(AnimType_SetSprite(a, Sprite_Load(path.c_str())), 1);
    }
    static void Parse(const std::string& text)
    {
        std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> p(
            TF_OpenText("overlay.txt", text.data(), text.size()), TF_Close);
        Tfovl_ParseThings(p.get());
    }
};

TEST_F(ThingFile, BlocksFillTypesWithMenuImagesAndCraterSlots)
{
    Parse("SetMaxThingLevels(3)");
    EXPECT_EQ(Ovl_NrTypes(), 0);
    Parse("setmaxthinglevels(3)\n"
          "definethingtype(\"Oak\") { setthingimage(\"tree\")\n"
          "  SETLEVEL(2) CanBeMorphedInto() IsCrater(2) SetImageSortHeight(9)\n"
          "  SetHitpoints(300 7) SetWaterSeeding(4 3) setmineralseeding(5 6)\n"
          "  MakesCrater(7) NoEdit() SetThingShadowImage(Bush) }\n"
          "DefineThingType(Shrub) { SetThingImage(Bush) }");
    ASSERT_EQ(Ovl_NrTypes(), 2);
    const OVERLAYTYPE* oak = Ovl_GetType(0);
    EXPECT_STREQ(oak->name, "Oak");
    EXPECT_STREQ(oak->imagename, "Tree.spr");
    EXPECT_EQ(oak->level, 2);
    EXPECT_EQ(oak->canbemorphedinto, 1u);
    EXPECT_EQ(oak->iscrater, 3u);
    EXPECT_EQ(g_CraterTypes[2], 0);
    EXPECT_EQ(oak->maxhitpoints, 300);
    EXPECT_EQ(oak->seedwater + oak->seedwaterradius * 100u, 304u);
    EXPECT_EQ(oak->seedmineral + oak->seedmineralradius * 100, 605);
    EXPECT_EQ(oak->makescrater, 7u);
    EXPECT_EQ(oak->noedit, 1u);
    EXPECT_EQ(oak->shadowanimtype, AnimType_Find("Bush"));
    EXPECT_EQ(oak->menuimage.x_size * 100 + oak->menuimage.y_size, 5427);
    EXPECT_EQ(oak->menuimage.data[0], 5);
    const OVERLAYTYPE* shrub = Ovl_GetType(1);
    EXPECT_EQ(shrub->menuimage.x_size * 100 + shrub->menuimage.y_size, 4030);
    // Read again after the reset: the same types, the crater slot filled once.
    Ovl_FreeTypes();
    EXPECT_EQ(g_CraterTypes[2], -1);
    Parse("SetMaxThingLevels(3) DefineThingType(Shrub) { SetThingImage(Bush) }");
    ASSERT_EQ(Ovl_NrTypes(), 1);
    EXPECT_STREQ(Ovl_GetType(0)->name, "Shrub");
}

TEST_F(ThingFile, MenuImagesKeepProportionsWithin54By40)
{
    const int rows[][4] = {
        {200, 100, 54, 27}, {40, 30, 40, 30}, {54, 40, 54, 40}, {55, 41, 54, 40},
        {100, 200, 20, 40}, {512, 1, 54, 1},
    };
    for (const auto& r : rows) {
        int w, h;
        Tfovl_MenuImageSize(r[0], r[1], &w, &h);
        EXPECT_EQ(w * 1000 + h, r[2] * 1000 + r[3]) << r[0] << " x " << r[1];
    }
}

TEST_F(ThingFile, BadBlocksStopNamingTheCause)
{
    const struct {
        const char *text, *message, *logged;
    } rows[] = {
        {"SetMaxThingLevels(1) DefineThingType(A) { SetLevel(1) }",
         "Expected [SetThingImage] but found [SetLevel]", ""},
        {"SetMaxThingLevels(1) DefineThingType(A) { SetThingImage(Tree) IsCrater(3) }",
         "Unable to parse DefineThingType", "Bad size for crater (Must be 0..2)"},
        {"SetMaxThingLevels(1) DefineThingType(A) { SetThingImage(Tree) MakesCrater(8) }",
         "Unable to parse DefineThingType", "Bad size for crater made (Must be 0..7)"},
        {"SetMaxThingLevels(1) DefineThingType(A) { SetThingImage(Elm) }",
         "Unable to parse DefineThingType", "Animation type \"Elm\" not previously defined"},
        {"SetMaxThingLevels(1) DefineThingType(A) { SetThingImage(Tree) noedit() }",
         "Unable to parse DefineThingType",
         "Unknown string [noedit] while parsing DefineThingType function"},
        {"SetMaxThingLevels(1) DefineThingType(A) { SetThingImage(Tree)\n"
         "SetHealthExplosion(50 Nothing) }",
         "Unable to parse DefineThingType", "Error in file [overlay.txt] at line [2]"},
        {"SetMaxThingLevels(1) DefineThingType(A) { SetThingImage(Tree) SetLevel(1)",
         "Expected [}] but found [EOF]", ""},
        {"SetMaxThingLevels(1) Tree", "Expected [DefineThingType] but found [Tree]", ""},
    };
    for (const auto& r : rows) {
        log_.clear();
        QV_EXPECT_FATAL(Parse(r.text), r.message);
        EXPECT_NE(log_.text().find(r.logged), std::string::npos) << r.text;
        Ovl_FreeAll();
        Ovl_Init();
    }
}

} // namespace
