#include "shell/shellvideo.h"

#include <cstring>

#include "core/debug.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "platform/graph.h"
#include "platform/movie.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "shell/shellctl.h"

static_assert(SHELL_ANIM == SHELL_FOURCC('A', 'N', 'I', 'M'), "ANIM's FourCC");

enum { A_MOVIE, A_BUFFER };

static void SetSurface(uint8_t* pixels, int pitch, int height, void* value)
{
    Movie_SetDestination((MOVIE*)value, 0, 0, pitch, height, pixels);
}

static void DecodeOnSurface(uint8_t*, int, int, void* value) { Movie_DecodeFrame((MOVIE*)value); }

void Shell_PlayVideoFullScreen(const char* path, int x, int y)
{
    MOVIE* m = Movie_Open(path);
    if (!m) return;
    int windowed = Video_IsWindowed();
    if (windowed) Video_WithLockedSurface(SetSurface, m);
    // The last frame is shown too: step on only while one follows.
    while (!Plat_QuitSeen()) {
        if (windowed) {
            Video_WithLockedSurface(DecodeOnSurface, m);
        } else {
            BITMAP* back = Backbuf_Lock();
            if (!back) break;
            Movie_SetDestination(m, x, y, 640, 480, back->data);
            Movie_DecodeFrame(m);
        }
        Shell_FadeStepSync();
        if (m->current >= m->frames - 1) break;
        Movie_NextFrame(m);
    }
    Movie_Close(m);
}

static void ShellVideoPath(char* path, const char* name)
{
    Utils_MakePath(path, g_DataDir, "shell", nullptr, name, ".smk");
}

void Shell_PlayShellVideo(const char* name)
{
    char path[UTILS_PATH];
    ShellVideoPath(path, name);
    TLOG(TLOG_DIAG, "Shell video [%s]", name);
    Shell_PlayVideoFullScreen(path, 0, 0);
}

SHELLCTL* Shell_CreateAnim(SHELLCTL* parent, uint32_t style, int x, int y, int width, int height, const char* path,
                           uint8_t* buffer, int bufferWidth, int bufferHeight)
{
    return Shell_CreateControl(SHELL_ANIM, parent, style, x, y, width, height, (intptr_t)path, (intptr_t)buffer,
                               bufferWidth, bufferHeight);
}

SHELLCTL* Shell_PlayVideo(SHELLCTL* parent, const char* name, int x, int y)
{
    char path[UTILS_PATH];
    ShellVideoPath(path, name);
    return Shell_CreateAnim(parent, 0, x, y, 0, 0, path, nullptr, 0, 0);
}

void Shell_RegisterAnim(void) { Shell_RegisterControlClass(SHELL_ANIM, Shell_AnimHandler, 2); }

// Copies the control's own buffer to the back buffer, clipped to it.
static void Draw(SHELLCTL* c, const uint8_t* pixels)
{
    BITMAP* back = Backbuf_Lock();
    if (!back || !pixels) return;
    for (int row = 0; row < c->height; row++) {
        int y = c->y + row;
        if (y < 0 || y >= back->y_size) continue;
        int x0 = c->x < 0 ? -c->x : 0;
        int x1 = c->x + c->width > back->x_size ? back->x_size - c->x : c->width;
        if (x1 > x0)
            memcpy(back->data + (size_t)y * back->x_size + c->x + x0, pixels + (size_t)row * c->width + x0,
                   (size_t)(x1 - x0));
    }
}

intptr_t Shell_AnimHandler(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    intptr_t* a = Shell_Extra(c);
    MOVIE* m = (MOVIE*)a[A_MOVIE];
    switch (message & 0xFFFF) {
    case SM_CREATE: {
        m = Movie_Open((const char*)p1);
        if (!m) return -1;
        a[A_MOVIE] = (intptr_t)m;
        if (p2) {
            a[A_BUFFER] = p2;
            Movie_SetDestination(m, c->x, c->y, (int)p3, (int)p4, (uint8_t*)p2);
        } else {
            uint8_t* own = (uint8_t*)Debug_Malloc((size_t)m->width * m->height);
            memset(own, 0, (size_t)m->width * m->height);
            c->owned = own;
            a[A_BUFFER] = (intptr_t)own;
            Movie_SetDestination(m, 0, 0, m->width, m->height, own);
        }
        c->width = m->width;
        c->height = m->height;
        c->style |= SHELL_LOOP;
        Movie_DecodeFrame(m);
        return 0;
    }
    case SM_UPDATE:
        if (m && Movie_Wait(m) == 0) {
            if (m->current < m->frames - 1) Movie_NextFrame(m);
            else if (c->style & SHELL_LOOP) Movie_GoToFrame(m, 1);
            Movie_DecodeFrame(m);
        }
        break;
    case SM_DRAW:
        if (c->owned) Draw(c, (const uint8_t*)c->owned);
        break;
    case SM_DESTROY:
        Movie_Close(m);
        a[A_MOVIE] = 0;
        break;
    }
    return Shell_ControlDefaultHandler(c, message, p1, p2, p3, p4);
}
