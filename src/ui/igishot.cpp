#include "ui/igishot.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/fspath.h"
#include "core/tlog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/pcx.h"
#include "platform/video.h"
#include "rules/gamemsg.h"
#include "ui/igidisp.h"
#include "ui/igipanel.h"

static int s_next;

void Igievnt_ResetScreenshots(void) { s_next = 0; }

// The first number without a file: shots of earlier runs are kept.
static void NextName(char* name, size_t size)
{
    for (;; s_next++) {
        snprintf(name, size, "quor%04d.pcx", s_next);
        if (!Fs_Exists(name) || s_next >= 9999) break;
    }
    s_next++;
}

// The view moved over the map a step at a time, each piece copied from the
// drawn view; the last column and row take only the remainder, from the
// right and bottom of the view.
static int WholeMap(BITMAP* out)
{
    const int w = mapsizex * 24, h = mapsizey * 24;
    if (!Graph_InitBitmap(out, w, h, nullptr) || !out->data) return 0;
    BITMAP* back = Backbuf_Lock();
    if (!back || !back->data) return 0;
    const int oldx = g_MapView.x, oldy = g_MapView.y;
    for (int sy = 0; sy < h; sy += IGISHOT_STEP) {
        for (int sx = 0; sx < w; sx += IGISHOT_STEP) {
            Map_SetViewPixelPosRedraw(sx, sy);
            for (int i = 0; i < IGISHOT_DRAWS; i++) IgiDisp_DrawGameScreen();
            const int ox = sx - g_MapView.x, oy = sy - g_MapView.y;
            const int cw = std::min(w - sx, IGISHOT_STEP - ox), ch = std::min(h - sy, IGISHOT_STEP - oy);
            for (int row = 0; row < ch; row++) {
                const int y = MAPVIEW_SCREEN_Y + oy + row;
                if (y >= back->y_size) break;
                memcpy(out->data + (size_t)(sy + row) * w + sx,
                       back->data + (size_t)y * back->x_size + MAPVIEW_SCREEN_X + ox, (size_t)cw);
            }
        }
    }
    Map_SetViewPixelPosRedraw(oldx, oldy);
    return 1;
}

int Igievnt_Screenshot(int whole)
{
    char name[32];
    NextName(name, sizeof name);
    BITMAP map = {};
    const BITMAP* shot = Backbuf_Lock();
    if (whole) {
        if (!WholeMap(&map)) {
            Graph_FreeBitmap(&map);
            TLOG(TLOG_WARNING, "Screenshot %s: no bitmap for the whole map", name);
            return 0;
        }
        shot = &map;
    }
    int saved = shot && Graph_SavePCX(name, shot, g_Palette);
    Graph_FreeBitmap(&map);
    if (!saved) {
        TLOG(TLOG_WARNING, "Screenshot %s could not be written", name);
        return 0;
    }
    Igipanel_Msg(MSG_SCRNSHOT);
    return 1;
}
