#include "shell/shellctl.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/bytes.h"
#include "core/debug.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "shell/shellres.h"

struct SHELLCLASS {
    SHELLCLASS* next;
    uint32_t fourcc;
    SHELL_HANDLER handler;
    int extraWords;
};

struct SHELLFONT {
    uint8_t* resource; // null: empty slot
    const uint8_t* pixels;
    int width, height;
    uint16_t glyphWidth[256];
    uint16_t glyphX[256];
};

static SHELLCLASS* s_classes;
static SHELLFONT s_fonts[SHELL_FONT_SLOTS];
static uint8_t s_palette[256][4];
static int s_fadeLevel, s_fadeSpeed;
static uint8_t* s_scroll[2];   // "scroll", "scrollb"
static int s_frameW, s_frameH; // of one scroll-bar frame
static uint8_t* s_dialogBuffer;
static uint32_t s_dialogCapacity;
static uint32_t s_lastFlip;
static int s_flipped;

enum { SCROLL_FRAMES = 5 };

static uint32_t Low(uint32_t message) { return message & 0xFFFF; }

// A PIXL chunk as a bitmap over its pixels; 0 when it has none.
static int ChunkBitmap(const uint8_t* chunk, BITMAP* out)
{
    if (!chunk) return 0;
    int w = (int)Bytes_U16(chunk + 12), h = (int)Bytes_U16(chunk + 14);
    if (w < 1 || h < 1) return 0;
    out->data = const_cast<uint8_t*>(chunk + 16);
    out->owned = 0;
    out->x_size = w;
    out->y_size = h;
    return 1;
}

// --- registry and records ---

int Shell_RegisterControlClass(uint32_t fourcc, SHELL_HANDLER handler, int extraWords)
{
    if (!fourcc || !handler) return -2;
    SHELLCLASS* c = (SHELLCLASS*)Debug_Calloc(1, sizeof(SHELLCLASS));
    c->next = s_classes;
    c->fourcc = fourcc;
    c->handler = handler;
    c->extraWords = extraWords < 0 ? 0 : extraWords;
    s_classes = c;
    return 0;
}

static void FreeClasses(void)
{
    while (SHELLCLASS* c = s_classes) {
        s_classes = c->next;
        Debug_Free(&c);
    }
}

SHELLCTL* Shell_CreateControl(uint32_t fourcc, SHELLCTL* parent, uint32_t style, int x, int y,
                              int width, int height, intptr_t p1, intptr_t p2, intptr_t p3,
                              intptr_t p4)
{
    SHELLCLASS* cls = s_classes;
    while (cls && cls->fourcc != fourcc) cls = cls->next;
    if (!cls) return nullptr;
    SHELLCTL* c = (SHELLCTL*)Debug_Calloc(1, sizeof(SHELLCTL) + cls->extraWords * sizeof(intptr_t));
    c->parent = parent;
    c->fourcc = fourcc;
    c->style = style;
    static const int16_t LOOK[6] = {240, 0, 250, 0, 208, 0};
    memcpy(c->look, LOOK, sizeof LOOK);
    c->x = x + (parent ? parent->x : 0);
    c->y = y + (parent ? parent->y : 0);
    c->width = width;
    c->height = height;
    c->imageW = width;
    c->imageH = height;
    c->handler = cls->handler;
    if (c->handler(c, SM_CREATE, p1, p2, p3, p4) != 0) {
        // Children a failed creation made go with it.
        while (c->child) Shell_SendMessage(c->child, SM_DESTROY);
        Debug_Free(&c);
        return nullptr;
    }
    if (parent) {
        c->next = parent->child;
        parent->child = c;
    }
    return c;
}

intptr_t Shell_SendMessage(SHELLCTL* control, uint32_t message, intptr_t p1, intptr_t p2,
                           intptr_t p3, intptr_t p4)
{
    if (!control || !control->handler) return -2;
    return control->handler(control, message, p1, p2, p3, p4);
}

int Shell_PointInControl(const SHELLCTL* c, int x, int y)
{
    return c && x >= c->x && y >= c->y && x < c->x + c->width && y < c->y + c->height;
}

SHELLCTL* Shell_HitTest(SHELLCTL* first, int x, int y)
{
    for (SHELLCTL* c = first; c; c = c->next) {
        if (!Shell_PointInControl(c, x, y)) continue;
        if (c->child)
            if (SHELLCTL* hit = Shell_HitTest(c->child, x, y)) return hit;
        return (c->style & SHELL_NOHIT) ? nullptr : c;
    }
    return nullptr;
}

static void Unlink(SHELLCTL* c)
{
    if (!c->parent) return;
    for (SHELLCTL** link = &c->parent->child; *link; link = &(*link)->next)
        if (*link == c) {
            *link = c->next;
            return;
        }
}

intptr_t Shell_ControlDefaultHandler(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2,
                                     intptr_t p3, intptr_t p4)
{
    if (!c) return -2;
    // The sibling is taken first: a destroy sent on may take this control.
    SHELLCTL* next = c->next;
    if ((message & SHELL_TO_CHILDREN) && c->child)
        Shell_SendMessage(c->child, message | SHELL_TO_SIBLING, p1, p2, p3, p4);
    if ((message & SHELL_TO_SIBLING) && next) Shell_SendMessage(next, message, p1, p2, p3, p4);
    switch (Low(message)) {
    case SM_DESTROY:
        while (c->child) {
            SHELLCTL* child = c->child;
            Shell_SendMessage(child, SM_DESTROY);
            if (c->child == child) { // a handler that doesn't pass destroy on
                c->child = child->next;
                Debug_Free(&child);
            }
        }
        Unlink(c);
        Debug_Free(&c->owned);
        Debug_Free(&c);
        return 0;
    case SM_UPDATE:
        if ((c->style & SHELL_FOLLOW) && c->parent)
            c->style = (c->style & ~(SHELL_HOT | SHELL_PRESSED)) |
                       (c->parent->style & (SHELL_HOT | SHELL_PRESSED));
        return 0;
    case SM_SETLOOK:
        c->image = (const uint8_t*)p1;
        for (int i = 0; i < 3; i++) {
            intptr_t v = i == 0 ? p2 : i == 1 ? p3 : p4;
            c->look[2 * i] = (int16_t)(v & 0xFFFF);
            c->look[2 * i + 1] = (int16_t)((v >> 16) & 0xFFFF);
        }
        return 0;
    case SM_SETIMAGERECT:
        c->imageX = (int32_t)p1 - c->x;
        c->imageY = (int32_t)p2 - c->y;
        c->imageW = (int32_t)p3;
        c->imageH = (int32_t)p4;
        return 0;
    case SM_OWN:
        c->owned = (void*)p1;
        return (intptr_t)c;
    default: return 0;
    }
}

int Shell_CompareText(const char* a, const char* b)
{
    if (!a || !b) return 0;
    return strcmp(b, a);
}

// --- drawing ---

void Shell_DrawImage(const uint8_t* chunk, int x, int y, int width, int height, int sx, int sy)
{
    BITMAP src;
    BITMAP* dst = Backbuf_Lock();
    if (!dst || !ChunkBitmap(chunk, &src)) return;
    Graph_Blit(dst, nullptr, 0, x, y, &src, sx, sy, width, height);
}

void Shell_DrawControlLook(SHELLCTL* c)
{
    int pair = (c->style & SHELL_HOT) ? ((c->style & SHELL_PRESSED) ? 2 : 1) : 0;
    int a = c->look[2 * pair], b = c->look[2 * pair + 1];
    if (c->image) {
        if (a >= 0 && b >= 0)
            Shell_DrawImage(c->image, c->x + c->imageX, c->y + c->imageY, c->imageW, c->imageH, a, b);
    } else if (a >= 0 && !c->child) {
        if (BITMAP* dst = Backbuf_Lock())
            Graph_DrawRect(dst, nullptr, 0, c->x, c->y, c->width, c->height, (uint8_t)a);
    }
}

// --- fonts ---

void Shell_FreeFont(int slot)
{
    if (slot < 0 || slot >= SHELL_FONT_SLOTS) return;
    Debug_Free(&s_fonts[slot].resource);
    memset(&s_fonts[slot], 0, sizeof s_fonts[slot]);
}

void Shell_LoadFont(int slot, const char* name)
{
    if (slot < 0 || slot >= SHELL_FONT_SLOTS) return;
    Shell_FreeFont(slot);
    uint8_t* res = (uint8_t*)Shell_LoadResource(name, SHELLRES_FLT, nullptr);
    const uint8_t* pixl = Shell_FindChunk(res, SHELLRES_PIXL);
    int w = pixl ? (int)Bytes_U16(pixl + 12) : 0, h = pixl ? (int)Bytes_U16(pixl + 14) : 0;
    if (w < 1 || h < 1) {
        Debug_Free(&res);
        return;
    }
    SHELLFONT* f = &s_fonts[slot];
    f->resource = res;
    f->pixels = pixl + 16;
    f->width = w;
    f->height = h;
    uint8_t separator = f->pixels[0];
    int x = 1;
    for (int code = 0; code < 256; code++) {
        int start = x;
        while (x < w && f->pixels[x] != separator) x++;
        f->glyphX[code] = (uint16_t)(start < w ? start : w);
        f->glyphWidth[code] = (uint16_t)(x > start ? x - start : 0);
        if (x < w) x++;
    }
}

int Shell_FontLoaded(int slot) { return slot >= 0 && slot < SHELL_FONT_SLOTS && s_fonts[slot].resource; }

static const SHELLFONT* Font(int slot) { return Shell_FontLoaded(slot) ? &s_fonts[slot] : nullptr; }

void Shell_MeasureText(int slot, const char* text, int* width, int* height)
{
    const SHELLFONT* f = Font(slot);
    int w = 0;
    if (f && text)
        for (const unsigned char* p = (const unsigned char*)text; *p; p++) w += f->glyphWidth[*p];
    if (width) *width = w;
    if (height) *height = f && text ? f->height : 0;
}

static void DrawGlyphs(int slot, int x, int y, const char* text, const GRECT* clip)
{
    const SHELLFONT* f = Font(slot);
    BITMAP* dst = Backbuf_Lock();
    if (!f || !text || !dst) return;
    BITMAP src;
    src.data = const_cast<uint8_t*>(f->pixels);
    src.owned = 0;
    src.x_size = f->width;
    src.y_size = f->height;
    for (const unsigned char* p = (const unsigned char*)text; *p; p++) {
        int gw = f->glyphWidth[*p];
        if (!gw) continue;
        Graph_BlitTransparent(dst, clip, 0, x, y, &src, f->glyphX[*p], 0, gw, f->height);
        x += gw;
    }
}

void Shell_DrawText(int slot, int x, int y, const char* text) { DrawGlyphs(slot, x, y, text, nullptr); }

void Shell_DrawTextClipped(int slot, int x, int y, const char* text, const int clip[4])
{
    GRECT r{clip[0], clip[1], clip[2], clip[3]};
    DrawGlyphs(slot, x, y, text, &r);
}

// --- palette and flips ---

void Shell_Flip(void)
{
    // The flip doesn't wait for the display: fades and timed pages assume 60
    // frames a second, so the shell paces itself on the system clock. Tests
    // on the virtual clock count frames instead.
    if (!(Plat_IsHeadless() && PlatHeadless_VirtualClock())) {
        while (s_flipped && Plat_SystemMs() - s_lastFlip < 1000 / 60 && !Plat_QuitSeen()) {
            Plat_PumpMessages();
            Plat_Idle();
        }
    }
    s_lastFlip = Plat_SystemMs();
    s_flipped = 1;
    Graph_FlipWithCursor();
}

void Shell_SetPalette(const uint8_t* rgb, int first, int count)
{
    if (rgb)
        for (int i = 0; i < count; i++)
            if (first + i >= 0 && first + i < 256) memcpy(s_palette[first + i], rgb + 3 * i, 3);
    if (s_fadeLevel < 0) s_fadeLevel = 0;
    if (s_fadeLevel > 256) s_fadeLevel = 256;
    uint8_t shown[256][4];
    for (int i = 0; i < 256; i++) {
        for (int k = 0; k < 3; k++) shown[i][k] = (uint8_t)((s_palette[i][k] * s_fadeLevel) >> 8);
        shown[i][3] = 0;
    }
    Video_SetPalette(&shown[0][0], 0, 256);
}

void Shell_FadeStep(void)
{
    if (s_fadeSpeed > 0) {
        s_fadeLevel += s_fadeSpeed;
        Shell_SetPalette(nullptr, 0, 0);
        if (s_fadeLevel >= 256) s_fadeSpeed = 0;
    } else if (s_fadeSpeed < 0) {
        s_fadeLevel += s_fadeSpeed;
        Shell_SetPalette(nullptr, 0, 0);
        if (s_fadeLevel <= 0) {
            s_fadeSpeed = 0;
            Graph_Flush();
        }
    }
}

void Shell_FadeStepSync(void)
{
    Shell_Flip();
    Shell_FadeStep();
}

static void FadeOut(int speed)
{
    s_fadeSpeed = speed;
    while (s_fadeSpeed != 0) Shell_FadeStepSync();
}

void Shell_ChangePalette(const uint8_t* rgb, int first, int count)
{
    if (s_fadeLevel == 0) {
        Shell_SetPalette(rgb, first, count);
        s_fadeSpeed = 32;
        return;
    }
    int same = 1;
    for (int i = 0; i < count && same; i++)
        if (first + i >= 0 && first + i < 256 && memcmp(s_palette[first + i], rgb + 3 * i, 3) != 0)
            same = 0;
    if (same) return;
    FadeOut(-16);
    Shell_SetPalette(rgb, first, count);
    s_fadeSpeed = 16;
}

int Shell_FadeLevel(void) { return s_fadeLevel; }
int Shell_FadeSpeed(void) { return s_fadeSpeed; }

// --- the modal loop ---

int Shell_RunDialog(SHELLCTL* root)
{
    if (!root) return 2;
    // A button already held as the page opens (the press that answered the
    // end picture, say) is no press on this page: only its release is seen.
    int lastX = -1, lastY = -1, lastButtons;
    Mouse_GetState(&lastX, &lastY, &lastButtons);
    lastX = lastY = -1;
    Shell_SendMessage(root, SM_DRAW | SHELL_TO_CHILDREN);
    Shell_Flip();
    Shell_FadeStep();
    while (root->result == 0) {
        // A closed window or an interrupt leaves every page as its quit would.
        if (Plat_QuitSeen()) return 2;
        int x, y, buttons;
        Mouse_GetState(&x, &y, &buttons);
        if (x != lastX || y != lastY) Shell_SendMessage(root, SM_MOVE | SHELL_TO_CHILDREN, x, y, buttons);
        int changed = buttons ^ lastButtons;
        if (changed & MOUSE_BUTTON_LEFT)
            Shell_SendMessage(Shell_HitTest(root, x, y),
                              (buttons & MOUSE_BUTTON_LEFT) ? SM_LEFTDOWN : SM_LEFTUP, x, y, buttons);
        if (changed & MOUSE_BUTTON_RIGHT)
            Shell_SendMessage(Shell_HitTest(root, x, y),
                              (buttons & MOUSE_BUTTON_RIGHT) ? SM_RIGHTDOWN : SM_RIGHTUP, x, y, buttons);
        Event_Poll(&g_EventHead, &g_EventTail);
        EVENT ev;
        while (Event_Get(&g_EventHead, &g_EventTail, &ev)) {
        }
        lastX = x;
        lastY = y;
        lastButtons = buttons;
        Shell_SendMessage(root, SM_UPDATE | SHELL_TO_CHILDREN, x, y, buttons);
        Shell_SendMessage(root, SM_DRAW | SHELL_TO_CHILDREN);
        Shell_Flip();
        Shell_FadeStep();
    }
    return root->result;
}

// --- the classes ---

#define HANDLER(name)                                                                              \
    static intptr_t name(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3,     \
                         intptr_t p4)
#define PASS() Shell_ControlDefaultHandler(c, message, p1, p2, p3, p4)

static const uint8_t* LoadInto(const char* name, uint8_t** buffer, uint32_t* capacity)
{
    SHELLRESENTRY entry;
    if (!Shell_FindResourceEntry(name, SHELLRES_FLT, &entry)) return nullptr;
    if (entry.unpackedSize > *capacity) {
        Debug_Free(buffer);
        *buffer = (uint8_t*)Debug_Malloc(entry.unpackedSize);
        *capacity = entry.unpackedSize;
    }
    return (const uint8_t*)Shell_LoadResource(name, SHELLRES_FLT, *buffer);
}

void Shell_FreeDialogBuffer(void)
{
    Debug_Free(&s_dialogBuffer);
    s_dialogCapacity = 0;
}

static void DrawWholeImage(SHELLCTL* c)
{
    BITMAP b;
    if (ChunkBitmap(c->image, &b)) Shell_DrawImage(c->image, c->x, c->y, c->width, c->height, 0, 0);
}

intptr_t Shell_DialogHandler(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3,
                             intptr_t p4)
{
    switch (Low(message)) {
    case SM_CREATE: {
        // The page handler that passes its create on gets here once more.
        if (c->handler != Shell_DialogHandler) return 0;
        const uint8_t* res = LoadInto((const char*)p1, &s_dialogBuffer, &s_dialogCapacity);
        const uint8_t* pixl = Shell_FindChunk(res, SHELLRES_PIXL);
        if (!pixl) return -1;
        if (const uint8_t* rgb = Shell_FindChunk(res, SHELLRES_RGB3)) Shell_ChangePalette(rgb + 8, 0, 256);
        c->image = pixl;
        if (!p2) return 0;
        c->handler = (SHELL_HANDLER)p2;
        return c->handler(c, SM_CREATE, p1, p2, p3, p4);
    }
    case SM_DRAW: DrawWholeImage(c); break;
    case SM_CLICKED: c->result = (int32_t)p1; break;
    }
    return PASS();
}

intptr_t Shell_PopupHandler(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3,
                            intptr_t p4)
{
    switch (Low(message)) {
    case SM_CREATE: {
        uint8_t* res = (uint8_t*)Shell_LoadResource((const char*)p1, SHELLRES_FLT, nullptr);
        const uint8_t* pixl = Shell_FindChunk(res, SHELLRES_PIXL);
        if (!pixl) {
            Debug_Free(&res);
            return -1;
        }
        Shell_Extra(c)[0] = (intptr_t)res;
        c->image = pixl;
        c->width = c->imageW = (int)Bytes_U16(pixl + 12);
        c->height = c->imageH = (int)Bytes_U16(pixl + 14);
        c->x = 320 - c->width / 2;
        c->y = 240 - c->height / 2;
        return 0;
    }
    case SM_DESTROY: {
        uint8_t* res = (uint8_t*)Shell_Extra(c)[0];
        Debug_Free(&res);
        break;
    }
    case SM_DRAW: DrawWholeImage(c); break;
    case SM_CLICKED: c->result = (int32_t)p1; break;
    }
    return PASS();
}

intptr_t Shell_NumberHandler(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3,
                             intptr_t p4)
{
    switch (Low(message)) {
    case SM_CREATE:
        Shell_Extra(c)[0] = p1;
        c->look[0] = (int16_t)p2; // the font slot
        return 0;
    case SM_DRAW: {
        char text[16];
        snprintf(text, sizeof text, "%d", (int)Shell_Extra(c)[0]);
        int w, h;
        Shell_MeasureText(c->look[0], text, &w, &h);
        Shell_DrawText(c->look[0], c->x + (c->width - w) / 2, c->y + (c->height - h) / 2, text);
        break;
    }
    }
    return PASS();
}

HANDLER(RectHandler)
{
    if (Low(message) == SM_DRAW)
        if (BITMAP* dst = Backbuf_Lock()) {
            Graph_DrawRect(dst, nullptr, 0, c->x, c->y, c->width, c->height, 2);
            Graph_FillRect(dst, nullptr, 0, c->x + 1, c->y + 1, c->width - 2, c->height - 2, 4);
        }
    return PASS();
}

HANDLER(ButtonHandler)
{
    intptr_t* id = Shell_Extra(c);
    switch (Low(message)) {
    case SM_CREATE: *id = p1; return 0;
    case SM_SETID: *id = p1; break;
    case SM_UPDATE:
        if (!(p3 & (MOUSE_BUTTON_LEFT | MOUSE_BUTTON_RIGHT))) c->style &= ~SHELL_PRESSED;
        break;
    case SM_DRAW: Shell_DrawControlLook(c); break;
    case SM_MOVE:
        if (Shell_PointInControl(c, (int)p1, (int)p2)) c->style |= SHELL_HOT;
        else c->style &= ~SHELL_HOT;
        break;
    case SM_LEFTDOWN:
        if (c->style & SHELL_HOT) {
            c->style |= SHELL_PRESSED;
            Shell_SendMessage(c->parent, SM_PRESSED, *id);
        }
        break;
    case SM_LEFTUP:
        if ((c->style & SHELL_PRESSED) && (c->style & SHELL_HOT))
            Shell_SendMessage(c->parent, SM_CLICKED, *id);
        c->style &= ~SHELL_PRESSED;
        break;
    case SM_RIGHTDOWN: c->style |= SHELL_RIGHTPRESS; break;
    case SM_SETTEXT: return Shell_SendMessage(c->child, message, p1, p2, p3, p4);
    }
    return PASS();
}

// GRAB words: id, minimum x, y, maximum x, y, drag offset x, y.
enum { G_ID, G_MINX, G_MINY, G_MAXX, G_MAXY, G_DX, G_DY, G_WORDS };

static void GrabRelease(SHELLCTL* c)
{
    c->style &= ~SHELL_PRESSED;
    Shell_SendMessage(c->parent, SM_CLICKED, Shell_Extra(c)[G_ID]);
}

HANDLER(GrabHandler)
{
    intptr_t* g = Shell_Extra(c);
    switch (Low(message)) {
    case SM_CREATE:
        g[G_ID] = p1;
        g[G_MINX] = c->x;
        g[G_MINY] = c->y;
        g[G_MAXX] = c->x + p2 - c->width;
        g[G_MAXY] = c->y + p3 - c->height;
        return 0;
    case SM_MOVE:
        if (Shell_PointInControl(c, (int)p1, (int)p2)) c->style |= SHELL_HOT;
        else c->style &= ~SHELL_HOT;
        if ((c->style & SHELL_PRESSED) && (p3 & MOUSE_BUTTON_LEFT)) {
            intptr_t x = p1 + g[G_DX], y = p2 + g[G_DY];
            c->x = (int32_t)(x < g[G_MINX] ? g[G_MINX] : x > g[G_MAXX] ? g[G_MAXX] : x);
            c->y = (int32_t)(y < g[G_MINY] ? g[G_MINY] : y > g[G_MAXY] ? g[G_MAXY] : y);
            Shell_SendMessage(c->parent, SM_THUMBMOVED, c->y - g[G_MINY], g[G_MAXY] - g[G_MINY]);
        }
        break;
    case SM_LEFTDOWN:
        if (c->style & SHELL_HOT) {
            c->style |= SHELL_PRESSED;
            Shell_SendMessage(c->parent, SM_PRESSED, g[G_ID]);
            g[G_DX] = c->x - p1;
            g[G_DY] = c->y - p2;
        }
        break;
    case SM_LEFTUP:
        if (c->style & SHELL_PRESSED) GrabRelease(c);
        break;
    case SM_UPDATE:
        if ((c->style & SHELL_PRESSED) && !(p3 & (MOUSE_BUTTON_LEFT | MOUSE_BUTTON_RIGHT))) GrabRelease(c);
        break;
    case SM_DRAW: Shell_DrawControlLook(c); break;
    case SM_SETRANGE:
        if (!(c->style & SHELL_PRESSED)) {
            intptr_t d = p1 - p2, span = g[G_MAXY] - g[G_MINY];
            c->y = (int32_t)(d <= 0 ? g[G_MINY] : g[G_MINY] + span * p3 / d);
        }
        break;
    }
    return PASS();
}

// SCRL words: total, visible, position, thumb.
enum { S_TOTAL, S_VISIBLE, S_POS, S_THUMB };

static intptr_t Look(int x, int y) { return (intptr_t)((x & 0xFFFF) | ((y & 0xFFFF) << 16)); }

HANDLER(ScrollHandler)
{
    intptr_t* s = Shell_Extra(c);
    switch (Low(message)) {
    case SM_CREATE: {
        s[S_TOTAL] = p1;
        s[S_VISIBLE] = p2;
        s[S_POS] = p3;
        const uint8_t* art = Shell_FindChunk(s_scroll[p4 ? 1 : 0], SHELLRES_PIXL);
        int fw = s_frameW, fh = s_frameH;
        SHELLCTL* up = Shell_CreateControl(SHELL_FOURCC('B', 'T', 'T', 'N'), c, 0, 0, 0, fw, fh, 1, 0, 0, 0);
        Shell_SendMessage(up, SM_SETLOOK, (intptr_t)art, Look(0, 0), Look(0, 0), Look(0, fh));
        SHELLCTL* down = Shell_CreateControl(SHELL_FOURCC('B', 'T', 'T', 'N'), c, 0, 0, c->height - fh, fw,
                                             fh, 2, 0, 0, 0);
        Shell_SendMessage(down, SM_SETLOOK, (intptr_t)art, Look(0, 3 * fh), Look(0, 3 * fh), Look(0, 4 * fh));
        SHELLCTL* thumb = Shell_CreateControl(SHELL_FOURCC('G', 'R', 'A', 'B'), c, 0, 0, fh, fw, fh, 3, fw,
                                              c->height - 2 * fh, 0);
        Shell_SendMessage(thumb, SM_SETLOOK, (intptr_t)art, Look(0, 2 * fh), Look(0, 2 * fh), Look(0, 2 * fh));
        s[S_THUMB] = (intptr_t)thumb;
        Shell_SendMessage(thumb, SM_SETRANGE, s[S_TOTAL], s[S_VISIBLE], s[S_POS]);
        return 0;
    }
    case SM_CLICKED:
        if (p1 == 1) Shell_SendMessage(c->parent, SM_SCROLLTO, s[S_POS] - 1);
        if (p1 == 2) Shell_SendMessage(c->parent, SM_SCROLLTO, s[S_POS] + 1);
        if (p1 == 3) Shell_SendMessage(c->parent, SM_SCROLLTO, s[S_POS]);
        return 0;
    case SM_THUMBMOVED: {
        // The position the thumb's offset stands for, rounded to the nearest
        // line; nothing to scroll (or nowhere to move) is line 0.
        intptr_t d = s[S_TOTAL] - s[S_VISIBLE], line = 0;
        if (d > 0 && p2 != 0) line = ((p1 + p2 / d / 2) * d) / p2;
        Shell_SendMessage(c->parent, SM_SCROLLTO, line);
        return 0;
    }
    case SM_SETRANGE:
        if (p1 >= 0) s[S_TOTAL] = p1;
        if (p2 >= 0) s[S_VISIBLE] = p2;
        if (p3 >= 0) s[S_POS] = p3;
        Shell_SendMessage((SHELLCTL*)s[S_THUMB], SM_SETRANGE, s[S_TOTAL], s[S_VISIBLE], s[S_POS]);
        return 0;
    case SM_GETPOS: return s[S_POS];
    }
    return PASS();
}

static char* TextOf(SHELLCTL* c) { return (char*)(Shell_Extra(c) + 1); }

HANDLER(TextHandler)
{
    switch (Low(message)) {
    case SM_CREATE:
    case SM_SETTEXT:
        if (p1 || Low(message) == SM_CREATE) {
            // At most the text's room; a longer text is cut.
            snprintf(TextOf(c), SHELL_TEXT_MAX + 1, "%s", p1 ? (const char*)p1 : "");
        }
        for (int i = 0; i < 3; i++) {
            intptr_t f = i == 0 ? p2 : i == 1 ? p3 : p4;
            if (f >= 0) c->look[2 * i] = (int16_t)f;
        }
        return 0;
    case SM_GETTEXT:
        if (p1 && p2 > 0) snprintf((char*)p1, (size_t)p2, "%s", TextOf(c));
        return 0;
    case SM_DRAW: {
        SHELLCTL* parent = c->parent;
        int clipped = (c->style & SHELL_CLIP) && parent;
        if (clipped && (c->x >= parent->x + parent->width || c->y >= parent->y + parent->height ||
                        c->x + c->width <= parent->x || c->y + c->height <= parent->y))
            break;
        int pair = (c->style & SHELL_HOT) ? ((c->style & SHELL_PRESSED) ? 2 : 1) : 0;
        int font = c->look[2 * pair], w, h;
        Shell_MeasureText(font, TextOf(c), &w, &h);
        int dx = 0, dy = 0;
        if (c->style & 0xF0) {
            dx = (c->style & SHELL_HCENTRE) ? (c->width - w) / 2 : (c->style & SHELL_RIGHT) ? c->width - w : 0;
            dy = (c->style & SHELL_VCENTRE) ? (c->height - h) / 2 : (c->style & SHELL_BOTTOM) ? c->height - h : 0;
        }
        if (clipped) {
            // A selected line's outline one pixel inside the list: on its
            // first line it would cover the box's frame and its corner.
            if ((c->style & SHELL_PRESSED))
                if (BITMAP* dst = Backbuf_Lock())
                    Graph_DrawRect(dst, nullptr, 0, parent->x + 1, c->y + 1, parent->width - 2, c->height - 1, 170);
            int clip[4] = {parent->x, parent->y, parent->width, parent->height};
            Shell_DrawTextClipped(font, c->x + dx, c->y + dy, TextOf(c), clip);
        } else {
            Shell_DrawText(font, c->x + dx, c->y + dy, TextOf(c));
        }
        break;
    }
    }
    return PASS();
}

// LIST words: line count, visible lines, top line, scroll bar, line height,
// font slot, selected line.
enum { L_COUNT, L_VISIBLE, L_TOP, L_SCROLL, L_HEIGHT, L_FONT, L_SELECTED };

static void LayOut(SHELLCTL* c)
{
    intptr_t* l = Shell_Extra(c);
    int k = 0;
    // Walked from the bottom line (the newest child) up.
    for (SHELLCTL* line = c->child; line; line = line->next) k++;
    for (SHELLCTL* line = c->child; line; line = line->next) {
        k--;
        line->y = (int32_t)(c->y + (k - l[L_TOP]) * l[L_HEIGHT]);
    }
    Shell_SendMessage((SHELLCTL*)l[L_SCROLL], SM_SETRANGE, l[L_COUNT], l[L_VISIBLE], l[L_TOP]);
}

static SHELLCTL* AddLine(SHELLCTL* c, const char* text)
{
    intptr_t* l = Shell_Extra(c);
    SHELLCTL* line = Shell_CreateControl(SHELL_FOURCC('T', 'E', 'X', 'T'), c, SHELL_CLIP | SHELL_NOHIT, 2, 0,
                                         c->width - 2, (int)l[L_HEIGHT], (intptr_t)text, l[L_FONT],
                                         l[L_FONT], l[L_FONT]);
    if (line) l[L_COUNT]++;
    return line;
}

// Moves the newest line to its place in byte order: below every line that
// sorts before it or equals it.
static void SortIn(SHELLCTL* c, SHELLCTL* line)
{
    c->child = line->next; // out of the list for now
    std::vector<SHELLCTL*> lines;
    for (SHELLCTL* l = c->child; l; l = l->next) lines.insert(lines.begin(), l);
    size_t at = 0;
    while (at < lines.size() && Shell_CompareText(TextOf(line), TextOf(lines[at])) <= 0) at++;
    lines.insert(lines.begin() + at, line);
    c->child = nullptr;
    for (SHELLCTL* l : lines) {
        l->next = c->child;
        c->child = l;
    }
}

static void ScrollTo(SHELLCTL* c, intptr_t top)
{
    intptr_t* l = Shell_Extra(c);
    intptr_t most = l[L_COUNT] - l[L_VISIBLE];
    if (top > most) top = most;
    if (top < 0) top = 0;
    l[L_TOP] = top;
    LayOut(c);
}

HANDLER(ListHandler)
{
    intptr_t* l = Shell_Extra(c);
    switch (Low(message)) {
    case SM_CREATE: {
        l[L_FONT] = p1;
        l[L_SCROLL] = p2;
        int h = 0;
        Shell_MeasureText((int)p1, "", nullptr, &h);
        l[L_HEIGHT] = h;
        // No font, no lines to show (and no division by its height).
        l[L_VISIBLE] = h > 0 ? c->height / h : 0;
        return 0;
    }
    case SM_ADDLINE:
        if (AddLine(c, (const char*)p1)) LayOut(c);
        return 0;
    case SM_ADDSORTED:
        if (SHELLCTL* line = AddLine(c, (const char*)p1)) {
            SortIn(c, line);
            LayOut(c);
        }
        return 0;
    case SM_CLEAR:
        while (c->child) Shell_SendMessage(c->child, SM_DESTROY);
        l[L_COUNT] = l[L_TOP] = 0;
        l[L_SELECTED] = 0;
        LayOut(c);
        return 0;
    case SM_SCROLLTO: ScrollTo(c, p1); return 0;
    case SM_GETTOP: return l[L_TOP];
    case SM_SELECTAT: {
        SHELLCTL* hit = nullptr;
        if (Shell_PointInControl(c, (int)p1, (int)p2))
            for (SHELLCTL* line = c->child; line; line = line->next)
                if (Shell_PointInControl(line, (int)p1, (int)p2)) hit = line;
        if (hit) l[L_SELECTED] = (intptr_t)hit;
        for (SHELLCTL* line = c->child; line; line = line->next) line->style &= ~(SHELL_HOT | SHELL_PRESSED);
        if (SHELLCTL* sel = (SHELLCTL*)l[L_SELECTED]) sel->style |= SHELL_PRESSED;
        Shell_SendMessage(c->parent, SM_SELCHANGED, l[L_SELECTED]);
        return 0;
    }
    }
    return PASS();
}

// SBOX and LBOX words: scroll bar, list.
enum { B_SCROLL, B_LIST };

struct FILLPARAM {
    SHELLCTL* list;
    int flags;
};

static void FillOne(const char* name, void* parameter, int flag)
{
    FILLPARAM* f = (FILLPARAM*)parameter;
    if (!strcmp(name, ".")) return;
    if (!strcmp(name, "..")) {
        if (!(f->flags & SHELL_FILES_PARENT)) return;
    } else if (flag & SHELLRES_DIR_FLAG) {
        if (!(f->flags & SHELL_FILES_DIRS)) return;
    } else if (!(f->flags & SHELL_FILES_FILES)) {
        return;
    }
    Shell_SendMessage(f->list, SM_ADDSORTED, (intptr_t)name);
}

HANDLER(ScrollBoxHandler)
{
    intptr_t* b = Shell_Extra(c);
    switch (Low(message)) {
    case SM_CREATE: {
        int fw = s_frameW;
        SHELLCTL* bar = Shell_CreateControl(SHELL_FOURCC('S', 'C', 'R', 'L'), c, 0, c->width - fw, 0, fw,
                                            c->height, 0, 0, 0, p1 >= 8);
        SHELLCTL* list = Shell_CreateControl(SHELL_FOURCC('L', 'I', 'S', 'T'), c, SHELL_NOHIT, 0, 0,
                                             c->width - fw, c->height, p1, (intptr_t)bar, 0, 0);
        b[B_SCROLL] = (intptr_t)bar;
        b[B_LIST] = (intptr_t)list;
        c->look[0] = 240;
        return 0;
    }
    case SM_SCROLLTO:
    case SM_ADDLINE:
    case SM_CLEAR:
    case SM_ADDSORTED: return Shell_SendMessage((SHELLCTL*)b[B_LIST], message, p1, p2, p3, p4);
    case SM_DRAW:
        if (BITMAP* dst = Backbuf_Lock())
            Graph_DrawRect(dst, nullptr, 0, c->x, c->y, c->width, c->height, (uint8_t)c->look[0]);
        break;
    }
    if (c->fourcc == SHELL_FOURCC('L', 'B', 'O', 'X')) {
        switch (Low(message)) {
        case SM_LEFTDOWN: return Shell_SendMessage((SHELLCTL*)b[B_LIST], SM_SELECTAT, p1, p2);
        case SM_SELCHANGED: return Shell_SendMessage(c->parent, SM_SELCHANGED, p1);
        case SM_FILLFILES: {
            FILLPARAM f{(SHELLCTL*)b[B_LIST], (int)p2};
            Shell_ForEachFile(FillOne, (const char*)p1, &f);
            return 0;
        }
        }
    }
    return PASS();
}

int Shell_SelectLine(SHELLCTL* box, const char* text)
{
    if (!box || !text || (box->fourcc != SHELL_FOURCC('L', 'B', 'O', 'X'))) return 0;
    SHELLCTL* list = (SHELLCTL*)Shell_Extra(box)[B_LIST];
    if (!list) return 0;
    // Lines run from the bottom one (the newest child) up.
    intptr_t count = 0, at = -1;
    SHELLCTL* found = nullptr;
    for (SHELLCTL* line = list->child; line; line = line->next, count++)
        if (!found && !strcmp(TextOf(line), text)) {
            found = line;
            at = count;
        }
    if (!found) return 0;
    const intptr_t row = count - 1 - at, visible = Shell_Extra(list)[L_VISIBLE];
    ScrollTo(list, row < visible ? 0 : row - visible + 1);
    Shell_SendMessage(list, SM_SELECTAT, found->x + 1, found->y + 1);
    return 1;
}

void Shell_InitControls(void)
{
    s_fadeLevel = s_fadeSpeed = 0;
    for (int i = 0; i < SHELL_FONT_SLOTS; i++) Shell_FreeFont(i);
    static const char* const ART[2] = {"scroll", "scrollb"};
    for (int i = 0; i < 2; i++) s_scroll[i] = (uint8_t*)Shell_LoadResource(ART[i], SHELLRES_FLT, nullptr);
    const uint8_t* pixl = Shell_FindChunk(s_scroll[0], SHELLRES_PIXL);
    s_frameW = pixl ? (int)Bytes_U16(pixl + 12) : 0;
    s_frameH = pixl ? (int)Bytes_U16(pixl + 14) / SCROLL_FRAMES : 0;
    Shell_RegisterControlClass(SHELL_FOURCC('R', 'E', 'C', 'T'), RectHandler, 0);
    Shell_RegisterControlClass(SHELL_FOURCC('B', 'T', 'T', 'N'), ButtonHandler, 1);
    Shell_RegisterControlClass(SHELL_FOURCC('G', 'R', 'A', 'B'), GrabHandler, G_WORDS);
    Shell_RegisterControlClass(SHELL_FOURCC('S', 'C', 'R', 'L'), ScrollHandler, 4);
    Shell_RegisterControlClass(SHELL_FOURCC('T', 'E', 'X', 'T'), TextHandler, 65);
    Shell_RegisterControlClass(SHELL_FOURCC('L', 'I', 'S', 'T'), ListHandler, 7);
    Shell_RegisterControlClass(SHELL_FOURCC('S', 'B', 'O', 'X'), ScrollBoxHandler, 2);
    Shell_RegisterControlClass(SHELL_FOURCC('L', 'B', 'O', 'X'), ScrollBoxHandler, 2);
}

void Shell_CloseControls(void)
{
    FadeOut(-16);
    FreeClasses();
    for (int i = 0; i < 2; i++) Debug_Free(&s_scroll[i]);
    for (int i = 0; i < SHELL_FONT_SLOTS; i++) Shell_FreeFont(i);
    s_frameW = s_frameH = 0;
}
