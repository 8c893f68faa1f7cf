#include "editorfixture.h"

#include <memory>

#include "editor/editor.h"
#include "gen_palette.h"
#include "gen_tiles.h"
#include "map/mapview.h"
#include "map/terrain.h"
#include "map/tile.h"
#include "platform/palette.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"

void EditorTest::SetUp()
{
    screen_ = new QvHeadlessScreen;
    bb_ = Backbuf_Lock();
    Mkdata_DemoPalette(&g_PalInfo);
    Display_ApplyPalette();
    auto set = std::make_unique<GENTILE_SET>();
    GenTile_DemoSet(set.get());
    dir_.write("DEMO.til", GenTile_Bytes(*set));
    ASSERT_EQ(Tile_LoadInfo(dir_.file("DEMO.til").c_str()), 1);
    QvWorld_Open(w_, h_);
    g_MeEditor.Init();
    g_MeEditor.flags |= MEF_OPEN | MEF_DRAWMAP;
}

void EditorTest::ResetTerrainBrush(void)
{
    MeBrushTerrain& b = g_MeEditor.terrainBrush;
    b.altitude = 2, b.size = 2, b.cornerType = 1, b.variation = 0, b.shape = METB_SQUARE;
    b.spray = 0, b.paintTerrain = 1, b.paintAltitude = 0, b.masks = 1;
    b.protectedType = -1, b.inverted = 1;
    b.state = METS_CLICK;
}

void EditorTest::TearDown()
{
    ResetTerrainBrush();
    g_MeEditor.Close();
    QvWorld_Close();
    Tile_Close();
    delete screen_;
}

void EditorTest::View(int x, int y, int z)
{
    g_MeEditor.view.zoom = z;
    g_MapView.x = x;
    g_MapView.y = y;
    g_MapView.tilex = x / 24;
    g_MapView.tiley = y / 24;
    g_MapView.offx = x % 24;
    g_MapView.offy = y % 24;
}

QIPointer EditorTest::At(int x, int y, uint32_t buttons, uint32_t modifiers)
{
    QIPointer p;
    p.x = x;
    p.y = y;
    p.buttons = buttons;
    p.modifiers = modifiers;
    return p;
}
