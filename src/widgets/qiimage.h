// Images, the bitmap cache and the bitmap and palette loaders.
//
// Widgets never own pixels: a picture is a QIImage, the name of an 8-bit
// bitmap file and a source rectangle inside it. The images of a desktop
// share the current QIBmpList, which loads each file once, the first time an
// image naming it resolves, and keeps it while the list lives. A failed load
// is not remembered: the next request tries the file again.
//
// Files are read from the data directory, then the bitmap directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "widgets/qistring.h"
#include "widgets/qivalue.h"

struct BITMAP;

enum QIIMAGE_FLAGS : uint32_t {
    QIIMG_TRANSPARENT = 0x1, // palette index 0 is not drawn
    QIIMG_REMAP = 0x2,       // no bitmap: the screen rectangle goes through the remap table
};

class QIImage : public IRect {
public:
    QIString file;                // relative to the bitmap directory
    BITMAP* bitmap = nullptr;     // bound by Resolve; not owned
    uint32_t flags = 0;           // QIIMAGE_FLAGS
    const uint8_t* remapBase;     // g_BlendTables[0] at construction
    int32_t remapOffset = 0;      // the remap table is remapBase + remapOffset

    // No file, an empty rectangle.
    QIImage();
    // transparent sets QIIMG_TRANSPARENT.
    QIImage(const char* fileName, const IRect& source, int transparent);
    QIImage(const QIImage& other);
    QIImage& operator=(const QIImage& other);

    // Enters section (null: "Bitmap"): "Rect" (the source rectangle, left
    // again) and the string "File". The section is left entered. 1.
    int Load(QIPropTree* tree, const char* section) override;
    int Save(QIPropTree* tree, const char* section) override;
    // Binds the bitmap through the current list and checks the rectangle
    // against it; an image that doesn't fit is unbound with a line in the
    // trace log's category 128 naming the file and the numbers.
    virtual void Resolve(void);

    // Drawn when its bitmap is bound or it remaps.
    bool Usable(void) const { return bitmap || (flags & QIIMG_REMAP); }
    const uint8_t* RemapTable(void) const { return remapBase + remapOffset; }
};

// A loaded file of the cache.
class QIBmpEntry : public LListNode {
public:
    QIString name;
    BITMAP* bitmap = nullptr;
    ~QIBmpEntry() override;
};

class QIBmpList {
public:
    QIBmpEntry* first = nullptr;
    QIBmpEntry* last = nullptr;
    int32_t count = 0;
    const char* directory; // the bitmap directory, e.g. "wdemo\\"

    explicit QIBmpList(const char* dir) : directory(dir) {}
    QIBmpList(const QIBmpList&) = delete;
    QIBmpList& operator=(const QIBmpList&) = delete;
    // Deletes every entry with its bitmap.
    ~QIBmpList();

    // The bitmap of the entry named name (case-blind), loading the file the
    // first time; null (nothing kept) when it doesn't load. A file refused
    // as not 8-bit is not tried again, so that is logged once.
    BITMAP* FindOrLoad(const char* name);
    // Marks name as a file that doesn't load (the palette loader refused it).
    void NoteRefused(const char* name);
    bool Refused(const char* name) const;

private:
    std::vector<std::string> refused_;
};

// The list that images resolve through (null: they don't) and the bitmap
// directory that text resources load from.
void QI_SetBmpList(QIBmpList* list);
QIBmpList* QI_BmpList(void);
void QI_SetBitmapDir(const char* dir);
const char* QI_BitmapDir(void);

// Reads an 8-bit BMP (data directory + directory + name) into bitmap, whose
// pixels QI_FreeBitmap frees. 1, or 0 with one error line: "Error loading
// bitmap [%s] (%d)" (path, reader's code), "Bitmap must be 8 bit [%s]" or
// "Unable to alloc memory for [%s]".
int QI_LoadBitmap(BITMAP* bitmap, const char* name, const char* directory);
// Reads the palette of such a file as 768 bytes of 6-bit components. 1, or
// 0 with palette untouched and one line, "Error loading bitmap [%s] (%d)"
// or "Bitmap must be 8 bit [%s]" (then the current list marks it refused).
int QI_LoadPalette(uint8_t* palette, const char* name, const char* directory);
// Frees a bitmap from the heap with its pixels; null is nothing to do.
void QI_FreeBitmap(BITMAP* bitmap);

// Drawing into the back buffer; nothing for an image that isn't usable or
// without a back buffer. A bound bitmap is copied (skipping index 0 when
// transparent); a remapping image passes the destination rectangle through
// its table.
// The whole source rectangle at (x, y).
void QI_DrawBitmapPart(const QIImage* image, int x, int y);
void QI_DrawBitmapAt(const QIImage* image, const IPoint& at);
// The source origin with the given size.
void QI_DrawBitmapSized(const QIImage* image, const IPoint& at, const IPoint& size);
// From the source origin + offset, the given size; bitmaps only.
void QI_DrawBitmapOffset(const QIImage* image, const IPoint& at, const IPoint& size,
                         const IPoint& offset);
// The whole source rectangle, clipped to clip when it isn't null.
void QI_DrawBitmapClipped(const QIImage* image, int x, int y, const IRect* clip);
void QI_DrawBitmapClippedAt(const QIImage* image, const IPoint& at, const IRect* clip);
