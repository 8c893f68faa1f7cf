// The display: window, back buffer, flip with the cursor, terrain buffer.
#include "platform/video.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/guard.h"
#include "core/tlog.h"
#include "platform/cursor.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"

static MODULE_GUARD s_guard = MODULE_GUARD_INIT("Video");
static int s_open = 0;
static int s_windowed = 0;
static BITMAP s_backbuf = {nullptr, 0, 0, 0};
static BITMAP s_terrain = {nullptr, 0, 0, 0};
// The block under the cursor while the cursor's frame is shown.
static std::vector<uint8_t> s_under;

// The message box is for a person watching the window: a run whose standard
// input isn't a terminal (CI, a script, a test under a virtual display) gets
// the text in stderr and error.log only, and never waits for a click.
static int Interactive(void) { return !Plat_IsHeadless() && isatty(STDIN_FILENO); }

void Video_Init(void)
{
    Guard_Init(&s_guard);
    if (!Plat_OpenVideo(g_Config.windowed)) {
        Guard_Close(&s_guard);
        ERR_FATAL(ERRC_FATAL, "Unable to open the display (%s)", Plat_Backend()->name);
    }
    Graph_InitBitmap(&s_backbuf, PLAT_WIDTH, PLAT_HEIGHT, nullptr);
    s_windowed = g_Config.windowed ? 1 : 0;
    s_open = 1;
    if (Interactive()) Error_SetDialog(Plat_Dialog);
    TLOG(TLOG_DIAG, "Display open: 640 x 480 %s", s_windowed ? "windowed" : "full screen");
}

// Closes everything but leaves the fatal dialog in place: the fatal path
// closes the window first, so that the box isn't hidden behind it.
void Video_Shutdown(void)
{
    Display_FreeTerrainBuffer();
    if (!s_open) return;
    s_open = 0;
    Graph_FreeBitmap(&s_backbuf);
    s_backbuf = BITMAP{nullptr, 0, 0, 0};
    Plat_CloseVideo();
}

void Video_Close(void)
{
    Guard_Close(&s_guard);
    Error_SetDialog(nullptr);
    Video_Shutdown();
}

int Video_IsWindowed(void) { return s_windowed; }

void Backbuf_Init(void)
{
    if (!s_backbuf.data) return;
    Graph_ClearBitmap(&s_backbuf, 0);
    Plat_Present(s_backbuf.data, g_Palette);
}

BITMAP* Backbuf_Lock(void) { return s_backbuf.data ? &s_backbuf : nullptr; }

void Graph_FlipWithCursor(void)
{
    Plat_PumpMessages();
    if (!s_backbuf.data) return;

    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int mx = 0, my = 0;
    if (Mouse_IsCursorShown()) {
        Mouse_GetState(&mx, &my, nullptr);
        GRECT r = {0, 0, 0, 0};
        Cursor_GetRect(mx, my, &r);
        x0 = r.x < 0 ? 0 : r.x;
        y0 = r.y < 0 ? 0 : r.y;
        x1 = r.x + r.w > PLAT_WIDTH ? PLAT_WIDTH : r.x + r.w;
        y1 = r.y + r.h > PLAT_HEIGHT ? PLAT_HEIGHT : r.y + r.h;
    }
    const int w = x1 - x0, h = y1 - y0;
    const int cursor = w > 0 && h > 0;
    if (cursor) {
        s_under.resize((size_t)w * h);
        for (int y = 0; y < h; y++)
            memcpy(&s_under[(size_t)y * w], s_backbuf.data + (size_t)(y0 + y) * PLAT_WIDTH + x0,
                   (size_t)w);
        Cursor_Draw(&s_backbuf, mx, my);
    }
    Plat_Present(s_backbuf.data, g_Palette);
    if (cursor)
        for (int y = 0; y < h; y++)
            memcpy(s_backbuf.data + (size_t)(y0 + y) * PLAT_WIDTH + x0, &s_under[(size_t)y * w],
                   (size_t)w);
}

void Graph_Flush(void) {}

int Video_WithLockedSurface(VIDEO_SURFACE_FN callback, void* value)
{
    if (!s_backbuf.data || !callback) return 0;
    callback(s_backbuf.data, PLAT_WIDTH, PLAT_HEIGHT, value);
    return 1;
}

void Display_CreateTerrainBuffer(void)
{
    if (s_terrain.data) return;
    if (!Graph_InitBitmap(&s_terrain, 480, 480, nullptr) || !s_terrain.data)
        ERR_FATAL(ERRC_FATAL, "Unable to create terrain buffer");
}

void Display_FreeTerrainBuffer(void)
{
    if (!s_terrain.data) return;
    Graph_FreeBitmap(&s_terrain);
    s_terrain = BITMAP{nullptr, 0, 0, 0};
}

BITMAP* Display_TerrainBuffer(void) { return s_terrain.data ? &s_terrain : nullptr; }

static DISPLAY_MESSAGEFN s_messageHook;

void Display_SetMessageHook(DISPLAY_MESSAGEFN fn) { s_messageHook = fn; }

static void MessageV(const char* fmt, va_list ap)
{
    char line[512];
    vsnprintf(line, sizeof line, fmt ? fmt : "", ap);
    // The trace log keeps every message, shown or not: a report of a game
    // then says what its player was told.
    TLOG(TLOG_DIAG, "Message: %s", line);
    if (s_messageHook) s_messageHook(line);
}

void Display_Message(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    MessageV(fmt, ap);
    va_end(ap);
}

void Display_PaddedMessage(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    MessageV(fmt, ap);
    va_end(ap);
}
