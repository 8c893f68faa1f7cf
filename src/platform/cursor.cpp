#include "platform/cursor.h"

#include <cstring>
#include <string>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/fspath.h"
#include "core/tlog.h"
#include "platform/graph.h"
#include "platform/plat.h"

CURSORINFO cursorinfo = {0, nullptr, -1, 0, 0, 1};

enum { CURSOR_HEADER = 12, CURSOR_ENTRY = 12 };


static void FreeCursors(CURSOR* cursors, int count)
{
    for (int i = 0; i < count; i++) Debug_Free(&cursors[i].pixels);
    Debug_Free(&cursors);
}

// A u16 field into an int.
static int ReadU16(BYTEREADER* r, int lo, int hi, const char* what, int* out)
{
    uint32_t v;
    if (!Bytes_ReadU16(r, (uint32_t)lo, (uint32_t)hi, what, &v)) return 0;
    *out = (int)v;
    return 1;
}

// Reads one cursor's header and frames into c; 0 on the first fault.
static int ReadCursor(BYTEREADER* r, CURSOR* c)
{
    if (!ReadU16(r, 1, CURSOR_MAXFRAMES, "a frame count of 1..64", &c->frames)) return 0;
    size_t hotat = r->at;
    int ms;
    if (!ReadU16(r, 0, 0xFFFF, "", &c->hotx) || !ReadU16(r, 0, 0xFFFF, "", &c->hoty)) return 0;
    size_t msat = r->at;
    if (!ReadU16(r, 0, 0xFFFF, "", &ms)) return 0;
    if (!ReadU16(r, 1, CURSOR_MAXSIZE, "a width of 1..32", &c->w)) return 0;
    if (!ReadU16(r, 1, CURSOR_MAXSIZE, "a height of 1..32", &c->h)) return 0;
    if (c->hotx >= c->w) return Bytes_Fail(r, hotat, "a hot spot x below the width");
    if (c->hoty >= c->h) return Bytes_Fail(r, hotat + 2, "a hot spot y below the height");
    if (c->frames > 1 && ms == 0) return Bytes_Fail(r, msat, "milliseconds per frame of 1..65535");
    c->msperframe = ms;
    size_t bytes = (size_t)c->frames * c->w * c->h;
    if (r->size - r->at < bytes) return Bytes_Fail(r, r->size, "the frames to go on");
    c->pixels = (uint8_t*)Debug_Malloc(bytes);
    memcpy(c->pixels, r->data + r->at, bytes);
    r->at += bytes;
    return 1;
}

// Parses a whole file into a new cursor array; null (with r->expected set)
// on the first fault.
static CURSOR* ParseCursors(BYTEREADER* r, int* count)
{
    static const uint8_t magic[4] = {'C', 'R', 'S', 'R'};
    if (r->size < 4 || memcmp(r->data, magic, 4) != 0) {
        Bytes_Fail(r, 0, "the magic \"CRSR\"");
        return nullptr;
    }
    if (r->size < CURSOR_HEADER) {
        Bytes_Fail(r, r->size, "the header to go on");
        return nullptr;
    }
    uint32_t version = Bytes_U32(r->data + 4);
    uint32_t n = Bytes_U32(r->data + 8);
    if (version != CURSOR_VERSION) {
        Bytes_Fail(r, 4, "version 512");
        return nullptr;
    }
    if (n < 1 || n > CURSOR_MAXCURSORS) {
        Bytes_Fail(r, 8, "a cursor count of 1..1024");
        return nullptr;
    }
    // Every cursor takes at least one entry and one pixel: a count the file
    // can't hold is refused before anything is allocated for it.
    if ((r->size - CURSOR_HEADER) / (CURSOR_ENTRY + 1) < n) {
        Bytes_Fail(r, r->size, "the cursors to go on");
        return nullptr;
    }
    r->at = CURSOR_HEADER;
    CURSOR* cursors = (CURSOR*)Debug_Calloc(n, sizeof(CURSOR));
    for (uint32_t i = 0; i < n; i++) {
        if (!ReadCursor(r, &cursors[i])) {
            FreeCursors(cursors, (int)n);
            return nullptr;
        }
    }
    if (r->at != r->size) {
        Bytes_Fail(r, r->at, "the end of the file after the last cursor");
        FreeCursors(cursors, (int)n);
        return nullptr;
    }
    *count = (int)n;
    return cursors;
}

int Cursor_Load(const char* path)
{
    if (!path) path = "";
    std::string bytes;
    if (!Fs_ReadAll(path, &bytes)) {
        TLOG(TLOG_ERROR, "Cursor file [%s]: unable to read the file", Fs_Resolve(path).c_str());
        return 0;
    }
    BYTEREADER r;
    Bytes_Init(&r, (const uint8_t*)bytes.data(), bytes.size());
    int count = 0;
    CURSOR* cursors = ParseCursors(&r, &count);
    if (!cursors) {
        TLOG(TLOG_ERROR, "Cursor file [%s]: offset %zu: expected %s",
             Fs_Resolve(path).c_str(), r.failat, r.expected);
        return 0;
    }
    Cursor_Unload();
    cursorinfo.cursors = cursors;
    cursorinfo.nrcursors = count;
    cursorinfo.current = 0;
    cursorinfo.frame = 0;
    cursorinfo.framestart = Plat_SystemMs();
    return 1;
}

void Cursor_Unload(void)
{
    FreeCursors(cursorinfo.cursors, cursorinfo.nrcursors);
    cursorinfo.cursors = nullptr;
    cursorinfo.nrcursors = 0;
    cursorinfo.current = -1;
    cursorinfo.frame = 0;
}


// Why a cursor can't be written; null when it fits the format.
static const char* CheckCursor(const CURSOR* c)
{
    if (c->frames < 1 || c->frames > CURSOR_MAXFRAMES) return "frame count outside 1..64";
    if (c->w < 1 || c->w > CURSOR_MAXSIZE || c->h < 1 || c->h > CURSOR_MAXSIZE)
        return "size outside 1..32";
    if (c->hotx < 0 || c->hotx >= c->w || c->hoty < 0 || c->hoty >= c->h)
        return "hot spot outside the frame";
    if (c->msperframe < (c->frames > 1) || c->msperframe > 0xFFFF)
        return "milliseconds per frame outside the range";
    if (!c->pixels) return "no pixels";
    return nullptr;
}

int Cursor_Write(const char* path, const CURSOR* cursors, int count)
{
    if (!path) path = "";
    if (!cursors || count < 1 || count > CURSOR_MAXCURSORS) {
        TLOG(TLOG_ERROR, "Cursor file [%s]: %d cursors, 1..1024 can be written",
             Fs_Resolve(path).c_str(), count);
        return 0;
    }
    std::string out = "CRSR";
    Bytes_AppendU32(&out, CURSOR_VERSION);
    Bytes_AppendU32(&out, (uint32_t)count);
    for (int i = 0; i < count; i++) {
        const CURSOR* c = &cursors[i];
        if (const char* bad = CheckCursor(c)) {
            TLOG(TLOG_ERROR, "Cursor file [%s]: cursor %d: %s", Fs_Resolve(path).c_str(), i, bad);
            return 0;
        }
        Bytes_AppendU16(&out, (uint32_t)c->frames);
        Bytes_AppendU16(&out, (uint32_t)c->hotx);
        Bytes_AppendU16(&out, (uint32_t)c->hoty);
        Bytes_AppendU16(&out, (uint32_t)c->msperframe);
        Bytes_AppendU16(&out, (uint32_t)c->w);
        Bytes_AppendU16(&out, (uint32_t)c->h);
        out.append((const char*)c->pixels, (size_t)c->frames * c->w * c->h);
    }
    if (!Fs_WriteAtomic(path, out.data(), out.size())) {
        TLOG(TLOG_ERROR, "Unable to write to file [%s]", Fs_Resolve(path).c_str());
        return 0;
    }
    return 1;
}

void Cursor_Set(int c)
{
    ASSERT(c>=0 && c<cursorinfo.nrcursors);
    if (c == cursorinfo.current) return;
    cursorinfo.current = c;
    cursorinfo.frame = 0;
    cursorinfo.framestart = Plat_SystemMs();
}

void Cursor_Update(void)
{
    if (cursorinfo.current < 0) return;
    const CURSOR* c = &cursorinfo.cursors[cursorinfo.current];
    if (c->frames < 2) return;
    // Whole frames passed since the current one began; the remainder stays
    // with the frame, so irregular updates keep the exact pace.
    uint32_t passed = Plat_SystemMs() - cursorinfo.framestart;
    uint32_t steps = passed / (uint32_t)c->msperframe;
    if (!steps) return;
    cursorinfo.framestart += steps * (uint32_t)c->msperframe;
    cursorinfo.frame = (int)((cursorinfo.frame + steps % (uint32_t)c->frames) % (uint32_t)c->frames);
}

int Cursor_Current(void) { return cursorinfo.current; }

void Mouse_ShowCursor(void) { cursorinfo.shown = 1; }
void Mouse_HideCursor(void) { cursorinfo.shown = 0; }
int Mouse_IsCursorShown(void) { return cursorinfo.shown; }

// The current frame's rectangle with the pointer at (x, y), unclipped;
// null before a load.
static const CURSOR* Placed(int x, int y, long* left, long* top)
{
    if (cursorinfo.current < 0) return nullptr;
    const CURSOR* c = &cursorinfo.cursors[cursorinfo.current];
    *left = (long)x - c->hotx;
    *top = (long)y - c->hoty;
    return c;
}

void Cursor_GetRect(int x, int y, GRECT* out)
{
    ASSERT(out);
    long left, top;
    const CURSOR* c = Placed(x, y, &left, &top);
    *out = GRECT{x, y, 0, 0};
    if (!c) return;
    long x0 = left > 0 ? left : 0, y0 = top > 0 ? top : 0;
    const long width = PLAT_WIDTH, height = PLAT_HEIGHT;
    long x1 = left + c->w < width ? left + c->w : width;
    long y1 = top + c->h < height ? top + c->h : height;
    if (x0 >= x1 || y0 >= y1) return;
    *out = GRECT{(int)x0, (int)y0, (int)(x1 - x0), (int)(y1 - y0)};
}

void Cursor_Draw(BITMAP* dst, int x, int y)
{
    ASSERT(dst);
    long left, top;
    const CURSOR* c = Placed(x, y, &left, &top);
    if (!c || !dst->data) return;
    long x0 = left > 0 ? left : 0, y0 = top > 0 ? top : 0;
    long x1 = left + c->w < dst->x_size ? left + c->w : dst->x_size;
    long y1 = top + c->h < dst->y_size ? top + c->h : dst->y_size;
    const uint8_t* frame = c->pixels + (size_t)cursorinfo.frame * c->w * c->h;
    for (long py = y0; py < y1; py++) {
        const uint8_t* src = frame + (py - top) * c->w;
        uint8_t* out = dst->data + py * (long)dst->x_size;
        for (long px = x0; px < x1; px++)
            if (src[px - left]) out[px] = src[px - left];
    }
}
