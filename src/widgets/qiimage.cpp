#include "widgets/qiimage.h"

#include <cstring>
#include <strings.h>

#include "core/fspath.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "platform/bmp.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/video.h"
#include "widgets/qidraw.h"
#include "widgets/qiproptree.h"

static QIBmpList* s_list = nullptr;
static const char* s_bitmapDir = "";

void QI_SetBmpList(QIBmpList* list) { s_list = list; }
QIBmpList* QI_BmpList(void) { return s_list; }
void QI_SetBitmapDir(const char* dir) { s_bitmapDir = dir ? dir : ""; }
const char* QI_BitmapDir(void) { return s_bitmapDir; }

// ---------------------------------------------------------------- images

QIImage::QIImage() : IRect(0, 0, 0, 0), remapBase(&g_BlendTables[0][0][0]) {}

QIImage::QIImage(const char* fileName, const IRect& source, int transparent)
    : IRect(source), file(fileName), flags(transparent ? (uint32_t)QIIMG_TRANSPARENT : 0u),
      remapBase(&g_BlendTables[0][0][0])
{
}

QIImage::QIImage(const QIImage& other)
    : IRect(other), file(other.file), bitmap(other.bitmap),
      flags(other.flags & (QIIMG_TRANSPARENT | QIIMG_REMAP)), remapBase(other.remapBase),
      remapOffset(other.remapOffset)
{
}

QIImage& QIImage::operator=(const QIImage& other)
{
    Assign(other);
    file.Assign(other.file);
    bitmap = other.bitmap;
    flags = other.flags & (QIIMG_TRANSPARENT | QIIMG_REMAP);
    remapBase = other.remapBase;
    remapOffset = other.remapOffset;
    return *this;
}

int QIImage::Load(QIPropTree* tree, const char* section)
{
    tree->Enter(section ? section : "Bitmap");
    IRect::Load(tree, "Rect");
    tree->Leave();
    tree->GetString("File", file);
    return 1;
}

int QIImage::Save(QIPropTree* tree, const char* section)
{
    tree->Enter(section ? section : "Bitmap");
    IRect::Save(tree, "Rect");
    tree->Leave();
    tree->SetString("File", file);
    return 1;
}

void QIImage::Resolve(void)
{
    if (s_list && file.length) bitmap = s_list->FindOrLoad(file.text);
    if (bitmap && (int64_t)x + w > bitmap->x_size) {
        TLOG(TLOG_SAVE, "x+w > xsize (%s,%d,%d,%d)", file.c_str(), x, w, bitmap->x_size);
        bitmap = nullptr;
    }
    if (bitmap && (int64_t)y + h > bitmap->y_size) {
        TLOG(TLOG_SAVE, "y+h > ysize (%s,%d,%d,%d)", file.c_str(), y, h, bitmap->y_size);
        bitmap = nullptr;
    }
    if (x < 0 || y < 0) {
        TLOG(TLOG_SAVE, "(x || y) < 0 (%s,%d,%d)", file.c_str(), x, y);
        bitmap = nullptr;
    }
}

// ---------------------------------------------------------------- the cache

QIBmpEntry::~QIBmpEntry() { QI_FreeBitmap(bitmap); }

QIBmpList::~QIBmpList()
{
    while (first) {
        QIBmpEntry* e = first;
        first = static_cast<QIBmpEntry*>(e->next);
        delete e;
    }
    last = nullptr;
    count = 0;
    if (s_list == this) s_list = nullptr;
}

static int LoadBitmapFile(BITMAP* bitmap, const char* name, const char* directory, bool* wrongKind);

void QIBmpList::NoteRefused(const char* name)
{
    if (!Refused(name)) refused_.push_back(name);
}

bool QIBmpList::Refused(const char* name) const
{
    for (const std::string& r : refused_)
        if (strcasecmp(r.c_str(), name) == 0) return true;
    return false;
}

BITMAP* QIBmpList::FindOrLoad(const char* name)
{
    for (QIBmpEntry* e = first; e; e = static_cast<QIBmpEntry*>(e->next))
        if (e->name.CompareCStr(name) == QISTR_EQUAL) return e->bitmap;
    if (Refused(name)) return nullptr;
    BITMAP* bitmap = (BITMAP*)Debug_Calloc(1, sizeof(BITMAP));
    bool wrongKind = false;
    if (!LoadBitmapFile(bitmap, name, directory, &wrongKind)) {
        Debug_Free(&bitmap);
        // A missing file may still come; a picture of the wrong kind won't
        // change, and saying so once is enough.
        if (wrongKind) NoteRefused(name);
        return nullptr;
    }
    QIBmpEntry* e = new QIBmpEntry;
    e->name.Set(name);
    e->bitmap = bitmap;
    e->next = first;
    if (first) first->prev = e;
    first = e;
    if (!last) last = e;
    count++;
    return bitmap;
}

// ---------------------------------------------------------------- loaders

static int MakePath(char* path, const char* name, const char* directory)
{
    return Utils_MakePath(path, g_DataDir, directory, "", name, "");
}

static int LoadBitmapFile(BITMAP* bitmap, const char* name, const char* directory, bool* wrongKind)
{
    char path[UTILS_PATH];
    MakePath(path, name, directory);
    uint8_t* pixels = nullptr;
    int depth = 0, w = 0, h = 0;
    const int code = Bmp_Read(path, &pixels, nullptr, &depth, &w, &h);
    if (code != BMP_OK) {
        TLOG(TLOG_ERROR, "Error loading bitmap [%s] (%d)", Fs_Resolve(path).c_str(), code);
        return 0;
    }
    if (depth != 8) {
        TLOG(TLOG_ERROR, "Bitmap must be 8 bit [%s]", Fs_Resolve(path).c_str());
        Debug_Free(&pixels);
        *wrongKind = true;
        return 0;
    }
    if (!Graph_InitBitmap(bitmap, w, h, pixels)) {
        TLOG(TLOG_ERROR, "Unable to alloc memory for [%s]", path);
        Debug_Free(&pixels);
        return 0;
    }
    bitmap->owned = 1; // the reader's block: Graph_FreeBitmap frees it
    return 1;
}

int QI_LoadBitmap(BITMAP* bitmap, const char* name, const char* directory)
{
    bool wrongKind = false;
    return LoadBitmapFile(bitmap, name, directory, &wrongKind);
}

int QI_LoadPalette(uint8_t* palette, const char* name, const char* directory)
{
    // A picture refused once is refused again without a word.
    if (s_list && s_list->Refused(name)) return 0;
    char path[UTILS_PATH];
    MakePath(path, name, directory);
    uint8_t* pixels = nullptr;
    PAL_RGB colours[256];
    int depth = 0, w = 0, h = 0;
    const int code = Bmp_Read(path, &pixels, colours, &depth, &w, &h);
    if (code != BMP_OK) {
        TLOG(TLOG_ERROR, "Error loading bitmap [%s] (%d)", Fs_Resolve(path).c_str(), code);
        return 0;
    }
    Debug_Free(&pixels);
    // A picture without a palette of its own would answer all black.
    if (depth != 8) {
        TLOG(TLOG_ERROR, "Bitmap must be 8 bit [%s]", Fs_Resolve(path).c_str());
        if (s_list) s_list->NoteRefused(name);
        return 0;
    }
    for (int i = 0; i < 256; i++) {
        palette[3 * i] = colours[i].r / 4;
        palette[3 * i + 1] = colours[i].g / 4;
        palette[3 * i + 2] = colours[i].b / 4;
    }
    return 1;
}

void QI_FreeBitmap(BITMAP* bitmap)
{
    if (!bitmap) return;
    Graph_FreeBitmap(bitmap);
    Debug_Free(&bitmap);
}

// ---------------------------------------------------------------- drawing

static void Draw(const QIImage* image, int x, int y, int sx, int sy, int w, int h,
                 const IRect* clip)
{
    BITMAP* bb = Backbuf_Lock();
    if (!image || !bb || w < 1 || h < 1) return;
    GRECT g;
    const GRECT* gc = QI_WithinDrawClip(clip, &g);
    if (image->bitmap) {
        if (image->flags & QIIMG_TRANSPARENT)
            Graph_BlitTransparent(bb, gc, 0, x, y, image->bitmap, sx, sy, w, h);
        else
            Graph_Blit(bb, gc, 0, x, y, image->bitmap, sx, sy, w, h);
    } else if (image->flags & QIIMG_REMAP) {
        Graph_RemapRect(bb, gc, 0, x, y, w, h, image->RemapTable());
    }
}

void QI_DrawBitmapPart(const QIImage* image, int x, int y)
{
    if (image) Draw(image, x, y, image->x, image->y, image->w, image->h, nullptr);
}

void QI_DrawBitmapAt(const QIImage* image, const IPoint& at) { QI_DrawBitmapPart(image, at.x, at.y); }

void QI_DrawBitmapSized(const QIImage* image, const IPoint& at, const IPoint& size)
{
    if (image) Draw(image, at.x, at.y, image->x, image->y, size.x, size.y, nullptr);
}

void QI_DrawBitmapOffset(const QIImage* image, const IPoint& at, const IPoint& size,
                         const IPoint& offset)
{
    if (image && image->bitmap)
        Draw(image, at.x, at.y, image->x + offset.x, image->y + offset.y, size.x, size.y, nullptr);
}

void QI_DrawBitmapClipped(const QIImage* image, int x, int y, const IRect* clip)
{
    if (image) Draw(image, x, y, image->x, image->y, image->w, image->h, clip);
}

void QI_DrawBitmapClippedAt(const QIImage* image, const IPoint& at, const IRect* clip)
{
    QI_DrawBitmapClipped(image, at.x, at.y, clip);
}
