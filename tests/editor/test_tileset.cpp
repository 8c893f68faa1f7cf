// Tile sets on disk: the list, the current entry, stepping through them with
// their palettes, a set that can't be read, and the terrain pickers.
#include <gtest/gtest.h>

#include <strings.h>

#include <memory>
#include <string>

#include "core/gamestate.h"
#include "core/utils.h"
#include "editor/editor.h"
#include "editor/meterrain.h"
#include "editor/metpick.h"
#include "editorfixture.h"
#include "gen_palette.h"
#include "gen_tiles.h"
#include "map/tile.h"
#include "platform/palette.h"
#include "widgets/qidesktop.h"
#include "widgets/qilist.h"

namespace {

class TileSets : public EditorTest {
protected:
    QvTempDir graphics_;
    char savedDir_[GAME_PATH];
    char savedName_[16];
    void SetUp() override
    {
        EditorTest::SetUp();
        Str_CopySafe(savedDir_, g_GraphicsDir, sizeof savedDir_);
        Str_CopySafe(savedName_, g_TerrainName, sizeof savedName_);
        auto set = std::make_unique<GENTILE_SET>();
        GenTile_DemoSet(set.get());
        const std::string til = GenTile_Bytes(*set);
        PALINFO pal;
        Mkdata_DemoPalette(&pal);
        graphics_.write("DEMO/DEMO.til", til);
        Palstuff_Write(graphics_.file("DEMO/DEMO.pal").c_str(), &pal);
        graphics_.write("mIxEd/MIXED.til", til); // the file's case needn't be the folder's
        pal.colours[200] = PAL_RGB{1, 2, 3};
        Palstuff_Write(graphics_.file("mIxEd/MIXED.pal").c_str(), &pal);
        graphics_.write("broken/broken.til", til.substr(0, 100));
        Palstuff_Write(graphics_.file("broken/broken.pal").c_str(), &pal);
        graphics_.write("notile/other.til", til);
        graphics_.write("loose.til", til);
        Str_CopySafe(g_GraphicsDir, graphics_.path().c_str(), sizeof g_GraphicsDir);
        Game_SetTerrainName("DEMO");
    }
    void TearDown() override
    {
        Str_CopySafe(g_GraphicsDir, savedDir_, sizeof g_GraphicsDir);
        Game_SetTerrainName(savedName_);
        EditorTest::TearDown();
    }
    static std::string Names(void)
    {
        std::string s;
        for (LListNode* n = g_MeEditor.tileSets->head; n; n = n->next) s += static_cast<METILESET*>(n)->name + std::string(" ");
        return s;
    }
    static std::string CurrentName(void)
    {
        QIString text;
        MeTerrain::NameText(&text);
        return text.c_str();
    }
};

} // namespace

TEST_F(TileSets, ListedFoldersHoldTheirOwnSetAndTheCurrentOneFollowsTheTerrain)
{
    ASSERT_EQ(MeTerrain::ListTileSets(g_GraphicsDir), 1);
    EXPECT_EQ(Names(), "Broken Demo Mixed ");
    struct Row {
        const char* terrain;
        const char* current;
    } rows[] = {{"DEMO", "Demo"}, {"mixed", "Mixed"}, {"NOSUCH", "Broken"}, {"", "Broken"}};
    for (const Row& r : rows) {
        Str_CopySafe(g_TerrainName, r.terrain, sizeof g_TerrainName);
        MeTerrain::FindCurrentTileSet();
        EXPECT_EQ(CurrentName(), r.current) << r.terrain;
    }
    EXPECT_EQ(MeTerrain::ListTileSets((graphics_.path() + "/nowhere").c_str()), 0);
    EXPECT_EQ(Names(), "");
    MeTerrain::FindCurrentTileSet();
    EXPECT_EQ(CurrentName(), "");
    MeTerrain::ChangeTileSet(1); // nothing current: nothing happens
    EXPECT_NE(log_.text().find("Cannot open directory"), std::string::npos);
}

TEST_F(TileSets, StepsStopAtTheFirstWrapAfterTheLastAndKeepTheSetThatLoads)
{
    MeTerrain::ListTileSets(g_GraphicsDir);
    // Without a map only the name changes.
    g_MeEditor.flags &= ~MEF_OPEN;
    Game_SetTerrainName("broken");
    MeTerrain::FindCurrentTileSet();
    EXPECT_EQ(MeTerrain::OnTerrainDec(nullptr, 18, 0), 18);
    EXPECT_EQ(CurrentName(), "Broken") << "the first stays";
    MeTerrain::OnTerrainInc(nullptr, 17, 0); // not a click
    EXPECT_EQ(CurrentName(), "Broken");
    MeTerrain::OnTerrainInc(nullptr, 18, 0);
    MeTerrain::OnTerrainInc(nullptr, 18, 0);
    EXPECT_EQ(CurrentName(), "Mixed");
    EXPECT_STREQ(g_TerrainName, "mIxEd");
    const PAL_RGB before = g_PalInfo.colours[200];
    EXPECT_NE(before.g, 2) << "no palette read";
    MeTerrain::ChangeTileSet(1);
    EXPECT_EQ(CurrentName(), "Broken") << "the last wraps";

    // With a map: the palette and the tiles come with the set.
    g_MeEditor.flags |= MEF_OPEN;
    MeTerrain::ChangeTileSet(1);
    MeTerrain::ChangeTileSet(1);
    EXPECT_EQ(CurrentName(), "Mixed");
    EXPECT_EQ(g_PalInfo.colours[200].g, 2);
    MeTerrain::ChangeTileSet(-1);
    EXPECT_EQ(CurrentName(), "Demo");
    EXPECT_EQ(g_PalInfo.colours[200].g, before.g);

    // A set that can't be read leaves the set, palette and entry as they were.
    log_.clear();
    MeTerrain::ChangeTileSet(-1);
    EXPECT_EQ(CurrentName(), "Demo");
    EXPECT_STREQ(g_TerrainName, "DEMO");
    EXPECT_EQ(Tile_IsLoaded(), 1);
    EXPECT_EQ(g_PalInfo.colours[200].g, before.g);
    EXPECT_NE(log_.text().find("Tile set [broken] not loaded"), std::string::npos) << log_.text();
}

TEST_F(TileSets, PickersHoldEveryTextureRowAndTheMasksAndAPressPicksTheTexture)
{
    QIList textures("TextureScroller", nullptr, IRect(0, 0, 160, 160), IPoint(32, 32), 16, nullptr, nullptr);
    QIList masks("MaskScroller", nullptr, IRect(0, 0, 128, 32), IPoint(32, 32), 4, nullptr, nullptr);
    g_MeEditor.texturePicker = &textures;
    g_MeEditor.maskPicker = &masks;
    g_MeEditor.flags &= ~MEF_OPEN;
    MeTerrain::FillTilePickers();
    EXPECT_EQ(textures.count, 0) << "nothing without a map";
    g_MeEditor.flags |= MEF_OPEN;
    MeTerrain::FillTilePickers();
    MeTerrain::FillTilePickers(); // a refill replaces
    ASSERT_EQ(textures.count, 144);
    ASSERT_EQ(masks.count, 4);
    struct Row {
        int index, texture, variation;
    } rows[] = {{0, 0, 0}, {15, 15, 0}, {16, 0, 0}, {16 + 16 * 3 + 5, 5, 3}, {143, 15, 7}};
    for (const Row& r : rows) {
        MePickTile* item = static_cast<MePickTile*>(textures.ItemAt(r.index));
        EXPECT_EQ(item->texture, r.texture) << r.index;
        EXPECT_EQ(item->variation, r.variation) << r.index;
        // The preview is that texture in that variation.
        EXPECT_EQ(memcmp(item->preview.data, Tile_GetTexture(r.texture, r.variation), TILE_AREA), 0) << r.index;
    }
    MePickTile* item = static_cast<MePickTile*>(textures.ItemAt(16 + 16 * 3 + 5));
    g_MeEditor.terrainBrush.cornerType = 1;
    item->Clicked(IPoint(4, 4), QIE_MOVE);
    EXPECT_EQ(g_MeEditor.terrainBrush.cornerType, 1) << "only a left press picks";
    item->Clicked(IPoint(4, 4), QIE_LEFTDOWN);
    EXPECT_EQ(g_MeEditor.terrainBrush.cornerType, 5);
    EXPECT_EQ(memcmp(static_cast<MePickMask*>(masks.ItemAt(2))->preview.data, Tile_GetMask(2)->data, TILE_AREA), 0);
    textures.Clear();
    masks.Clear();
    g_MeEditor.texturePicker = g_MeEditor.maskPicker = nullptr;
}

TEST_F(TileSets, TheRunDirectoryHoldsFourSetsThatLoadWithPalettesOfTheirOwn)
{
    const std::string graphics = std::string(QV_TEST_RUNDIR) + "/data/graphics";
    ASSERT_EQ(MeTerrain::ListTileSets(graphics.c_str()), 1);
    EXPECT_EQ(Names(), "Ashlands Barren Demo Snowfield ");
    Str_CopySafe(g_GraphicsDir, graphics.c_str(), sizeof g_GraphicsDir);
    Game_SetTerrainName("DEMO");
    MeTerrain::FindCurrentTileSet();
    const PAL_RGB demoGrass = g_PalInfo.colours[96 + 16 + 12];
    std::string demoTexture((const char*)Tile_GetTexture(1, 0), TILE_AREA);
    for (const char* name : {"Snowfield", "Ashlands"}) {
        SCOPED_TRACE(name);
        while (CurrentName() != name) MeTerrain::ChangeTileSet(1);
        EXPECT_EQ(Tile_IsLoaded(), 1);
        const PAL_RGB grass = g_PalInfo.colours[96 + 16 + 12];
        EXPECT_FALSE(grass.r == demoGrass.r && grass.g == demoGrass.g && grass.b == demoGrass.b);
        EXPECT_NE(std::string((const char*)Tile_GetTexture(1, 0), TILE_AREA), demoTexture);
    }
    EXPECT_EQ(log_.text().find("not loaded"), std::string::npos) << log_.text();
}
