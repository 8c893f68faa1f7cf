#include "editor/medesk.h"

#include <cstdio>
#include <cstring>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/mefile.h"
#include "editor/meminimap.h"
#include "editor/meterrain.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "map/terrain.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/pcx.h"
#include "platform/sortdisp.h"
#include "platform/video.h"
#include "units/bldpics.h"
#include "units/building.h"
#include "widgets/qidesktop.h"
#include "widgets/qimenu.h"

const uint8_t g_MeAltitudeRemap[16] = {2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 15, 15, 15};

static int s_shotCounter = 0;

enum {
    SC_MINUS = 12,
    SC_EQUALS = 13,
    SC_R = 19,
    SC_T = 20,
    SC_O = 24,
    SC_S = 31,
    SC_D = 32,
    SC_Z = 44,
    SC_X = 45,
    SC_C = 46,
    SC_N = 49,
};

int MeDesktop::ScreenshotCounter(void) { return s_shotCounter; }

void MeDesktop::Screenshot(void)
{
    char name[32];
    // The first number without a file: shots of earlier runs are kept, past
    // 9999 too (mscr10000.pcx and on) rather than one written over.
    for (;; s_shotCounter++) {
        snprintf(name, sizeof name, "mscr%04d.pcx", s_shotCounter);
        if (!Fs_Exists(name)) break;
    }
    s_shotCounter++;
    uint8_t rgb[768];
    Graph_GetPalette(rgb, 0, 256);
    PAL_RGB pal[256];
    for (int i = 0; i < 256; i++) pal[i] = PAL_RGB{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
    if (BITMAP* bb = Backbuf_Lock()) Graph_SavePCX(name, bb, pal);
}

void MeDesktop::RemapAltitudes(void)
{
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) {
            int old = MAP_ELEMENT_AT(x, y)->altitude;
            if (old > 15) old = 0;
            const int now = g_MeAltitudeRemap[old];
            if (now != (int)MAP_ELEMENT_AT(x, y)->altitude) Terrain_Relight(x, y, now);
        }
    MeBigMap::Refresh(1, 0, 0, 0, 0);
}

static void QuitTo(int state)
{
    if (g_MeEditor.desktop) MeMenuFile::Leave(state);
}

static void Zoom(int z)
{
    MeEditor& me = g_MeEditor;
    if (!MeTerrain::SetZoom(z)) return;
    if (me.view.zoom > 1) MeBigMap::RedrawZoomed(1, 0, 0, 0, 0);
    if (me.desktop) me.desktop->Repaint(nullptr);
}

static void RefreshShapeMenus(void)
{
    for (QIWidget* w : {g_MeEditor.terrainShapeMenu, g_MeEditor.objectShapeMenu})
        if (w && !w->IsHidden()) w->Draw(nullptr);
}

void MeDesktop::HandleEvent(QIKey* key, QIPointer* pointer)
{
    (void)pointer;
    MeEditor& me = g_MeEditor;
    const uint32_t m = key->modifiers;
    const bool shift = m & (MOD_LSHIFT | MOD_RSHIFT), ctrl = m & MOD_CTRL, alt = m & MOD_ALT;
    MeTool* tool = me.tool;
    const int code = key->code;
    if (code >= SC_1 && code <= SC_1 + 8) {
        me.team = code - SC_1;
        me.RefreshTeam();
        // The menu shows the team the key chose, so pressing the old one works again.
        if (QIMenu* menu = dynamic_cast<QIMenu*>(me.teamMenu)) menu->SyncFromIndex();
    }
    switch (code) {
    case SC_MINUS:
        if (me.view.zoom > 1) Zoom(me.view.zoom - 1);
        break;
    case SC_EQUALS:
        if (me.view.zoom < me.view.maxZoom) Zoom(me.view.zoom + 1);
        break;
    case SC_Q:
        if (ctrl) {
            if (me.flags & MEF_OPEN) QuitTo(GS_NEWGAME);
        } else if (shift) {
            QuitTo(GS_FRONTEND);
        } else if (alt) {
            QuitTo(GS_QUIT);
        }
        break;
    case SC_R:
        if (ctrl) break;
        if (alt) RemapAltitudes();
        else me.RandomizeVariation();
        break;
    case SC_A: me.flags ^= MEF_ALTITUDES; break;
    case SC_T: MeTerrain::ChangeTileSet(shift ? -1 : 1); break;
    case SC_D:
    case SC_DELETE:
        if (ctrl) tool->CopySelection();
        else tool->DeleteSelection();
        break;
    case SC_Z:
        if (shift) Screenshot();
        break;
    case SC_X:
        if (ctrl) {
            me.SetBrushButtonImages(1);
        } else if (shift) {
            tool->PrevShape();
        } else {
            tool->NextShape();
        }
        RefreshShapeMenus();
        break;
    case SC_C:
        if (ctrl) tool->ResetBrushSize();
        else if (shift) tool->BrushSmaller();
        else tool->BrushBigger();
        if (me.desktop) me.desktop->Repaint(nullptr);
        break;
    case SC_S:
        if (ctrl) MeMenuFile::Save();
        break;
    case SC_O:
        if (ctrl && MeMenuFile::QuerySave()) MeMenuFile::Load();
        break;
    case SC_N:
        if (MeMenuFile::QuerySave()) MeMenuFile::Create();
        break;
    case SC_SPACE: tool->Cancel(1); break;
    default: break;
    }
    key->code = 0;
}

// The engine draws the view 456 pixels wide; the 8 columns past the big
// map are the side panel's and are put back after it.
constexpr int KEEP_X = (int)MEBIGMAP_X + (int)MEBIGMAP_SIDE, KEEP_W = (int)MAPVIEW_SIZE - (int)MEBIGMAP_SIDE,
              KEEP_H = MEBIGMAP_SIDE;

static void KeepPanel(BITMAP* bb, uint8_t* keep, int restore)
{
    if (bb->x_size < KEEP_X + KEEP_W || bb->y_size < MEBIGMAP_Y + KEEP_H) return;
    for (int y = 0; y < KEEP_H; y++) {
        uint8_t* row = bb->data + (size_t)(MEBIGMAP_Y + y) * bb->x_size + KEEP_X;
        if (restore) memcpy(row, keep + y * KEEP_W, KEEP_W);
        else memcpy(keep + y * KEEP_W, row, KEEP_W);
    }
}

static void ShowPosition(const QIPointer& p)
{
    MeEditor& me = g_MeEditor;
    const IPoint w = MeBigMap::ScreenToWorld(p);
    if (QIStatic* info = dynamic_cast<QIStatic*>(me.info)) {
        char text[64];
        snprintf(text, sizeof text, "%d, %d (%d, %d)", w.x, w.y, w.x / 24, w.y / 24);
        info->SetText(text);
    }
}

static void DrawView(const QIPointer& p)
{
    MeEditor& me = g_MeEditor;
    BITMAP* bb = Backbuf_Lock();
    MeTool* tool = me.tool;
    const bool inside = tool->flags & METF_POINTERINSIDE;
    if (me.view.zoom > 1) {
        if (BITMAP* zoomed = Display_TerrainBuffer())
            if (bb) Graph_Blit(bb, nullptr, 0, MEBIGMAP_X, MEBIGMAP_Y, zoomed, 0, 0, MEBIGMAP_SIDE, MEBIGMAP_SIDE);
        if (me.miniMap) me.miniMap->Draw(nullptr);
        if (inside) {
            tool->Draw(p);
            ShowPosition(p);
        }
        MeBigMap::KeepFrame();
        return;
    }
    static uint8_t keep[KEEP_W * KEEP_H];
    if (bb) KeepPanel(bb, keep, 0);
    do Map_DrawView();
    while (!Map_IsTerrainCacheComplete() && bb);
    if (me.miniMap) me.miniMap->Draw(nullptr);
    Ovl_UpdateOverlayAndMiniBuildingVisibility();
    Ovl_ProcessOverlaysOnScreen();
    BldPics_Follow();
    SortDisp_DrawAll();
    if (bb) KeepPanel(bb, keep, 1);
    if (me.flags & MEF_ALTITUDES) me.DrawAltitudeNumbers();
    me.DrawRegions();
    me.DrawStartPositions();
    if (inside) {
        tool->Draw(p);
        ShowPosition(p);
    }
    tool->DrawMap();
    if (me.showPlayers || me.showIds) tool->DrawSelectionLabels();
    MeBigMap::KeepFrame();
}

void MeDesktop::ShowCursorPos(QIPointer* pointer)
{
    MeEditor& me = g_MeEditor;
    if ((me.flags & MEF_OPEN) && me.bigMap && (me.bigMap->flags & QIWF_SHOWN) && (me.flags & MEF_DRAWMAP))
        DrawView(*pointer);
    const bool overMap = me.desktop && me.desktop->hitWidget && me.desktop->hitWidget == me.bigMap;
    if (overMap || !(pointer->buttons & 3)) MeBigMap::AutoScroll(*pointer, 0, 0, 479, 639);
}
