// Windows BMP pictures.
//
// Only what paint programs save is read: an info header of 40 bytes or one
// of its longer successors, 8 or 24 bits, uncompressed or (8 bits) with
// run-length compression. Every offset and size from the file is checked
// against the bytes present before it is used.
#include "platform/bmp.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/fspath.h"
#include "core/tlog.h"

enum {
    BMP_FILE_HEADER = 14,
    BMP_INFO_MIN = 40,
    BMP_CORE_HEADER = 12, // the old 16-bit header: not read
    BMP_RGB = 0,          // compression: none
    BMP_RLE8 = 1,         // compression: runs of 8-bit indices
};

static int bmp_Refuse(const char* path, int code, size_t offset, const char* what)
{
    TLOG(TLOG_ERROR, "Bad BMP file [%s] at offset %zu: %s", Fs_Resolve(path).c_str(), offset, what);
    return code;
}

// Run-length 8-bit pixel data from d[at] to d[len] into out (w x h indices,
// rows from the top; pixels the data skips stay 0): pairs {count, index} are
// runs, {0, 0} ends a line, {0, 1} the picture, {0, 2, dx, dy} moves the pen
// and {0, n >= 3} is followed by n literal indices padded to an even length.
// Rows are stored from the bottom unless topdown. Runs may fill a row's
// padding to a multiple of 4 pixels, as common image tools write them; those
// pixels are dropped. BMP_OK or a refusal.
static int bmp_DecodeRle8(const char* path, const uint8_t* d, size_t at, size_t len, int64_t w,
                          int64_t h, int topdown, uint8_t* out)
{
    const int64_t rowend = (w + 3) & ~(int64_t)3; // the row with its padding
    int64_t x = 0, y = 0; // y counts rows in the order the file stores them
    auto row = [&](void) { return out + (size_t)w * (size_t)(topdown ? y : h - 1 - y); };
    auto shown = [&](unsigned n) { return (size_t)(x >= w ? 0 : std::min<int64_t>(n, w - x)); };
    while (len - at >= 2) {
        size_t here = at;
        unsigned count = d[at], value = d[at + 1];
        at += 2;
        if (count > 0) {
            if (y >= h || x + count > rowend)
                return bmp_Refuse(path, BMP_UNSUPPORTED, here, "a run goes past the picture");
            memset(row() + x, (int)value, shown(count));
            x += count;
        } else if (value == 0) {
            x = 0;
            y++;
        } else if (value == 1) {
            return BMP_OK;
        } else if (value == 2) {
            if (len - at < 2) break;
            x += d[at];
            y += d[at + 1];
            at += 2;
            if (x > w || y > h)
                return bmp_Refuse(path, BMP_UNSUPPORTED, here, "a move goes past the picture");
        } else {
            size_t padded = (size_t)(value + 1) & ~(size_t)1;
            if (len - at < padded) break;
            if (y >= h || x + value > rowend)
                return bmp_Refuse(path, BMP_UNSUPPORTED, here, "a run goes past the picture");
            memcpy(row() + x, d + at, shown(value));
            x += value;
            at += padded;
        }
    }
    return bmp_Refuse(path, BMP_UNSUPPORTED, len,
                      "the pixel data ends before its end-of-picture mark");
}

int Bmp_Read(const char* path, uint8_t** pixels, PAL_RGB palette[256], int* depth, int* width,
             int* height)
{
    std::string file;
    if (!path || !Fs_ReadAll(path, &file)) {
        TLOG(TLOG_ERROR, "Unable to open BMP file [%s]", Fs_Resolve(path).c_str());
        return BMP_CANT_OPEN;
    }
    const uint8_t* d = (const uint8_t*)file.data();
    size_t len = file.size();

    if (len < BMP_FILE_HEADER + 4 || d[0] != 'B' || d[1] != 'M')
        return bmp_Refuse(path, BMP_NOT_BMP, 0, "expected the magic BM and a header");
    size_t dataoff = Bytes_U32(d + 10);
    uint32_t hsize = Bytes_U32(d + 14);
    if (hsize == BMP_CORE_HEADER)
        return bmp_Refuse(path, BMP_UNSUPPORTED, 14, "the old 12-byte header isn't read");
    if (hsize < BMP_INFO_MIN || hsize > 1024)
        return bmp_Refuse(path, BMP_NOT_BMP, 14, "expected an info header of 40 bytes or more");
    if (len < BMP_FILE_HEADER + (size_t)hsize)
        return bmp_Refuse(path, BMP_NOT_BMP, len, "the file ends inside the info header");

    int32_t w = (int32_t)Bytes_U32(d + 18), hraw = (int32_t)Bytes_U32(d + 22);
    unsigned planes = Bytes_U16(d + 26), bits = Bytes_U16(d + 28);
    uint32_t compression = Bytes_U32(d + 30), used = Bytes_U32(d + 46);
    if (planes != 1) return bmp_Refuse(path, BMP_NOT_BMP, 26, "expected one plane");
    if (bits != 8 && bits != 24)
        return bmp_Refuse(path, BMP_UNSUPPORTED, 28, "only 8 and 24 bits a pixel are read");
    if (compression != BMP_RGB && !(compression == BMP_RLE8 && bits == 8))
        return bmp_Refuse(path, BMP_UNSUPPORTED, 30,
                          "only uncompressed pictures and 8-bit run-length pictures are read");
    if (w < 1 || w > BMP_MAX_SIDE)
        return bmp_Refuse(path, BMP_UNSUPPORTED, 18, "the width is outside 1..8192");
    // A negative height stores the rows from the top.
    int topdown = hraw < 0;
    int64_t h = topdown ? -(int64_t)hraw : hraw;
    if (h < 1 || h > BMP_MAX_SIDE)
        return bmp_Refuse(path, BMP_UNSUPPORTED, 22, "the height is outside 1..8192");

    // The palette follows the headers: 4 bytes {b, g, r, 0} an entry.
    size_t paloff = BMP_FILE_HEADER + (size_t)hsize, entries = 0;
    if (bits == 8) {
        if (used > 256)
            return bmp_Refuse(path, BMP_UNSUPPORTED, 46, "more than 256 palette entries");
        entries = used ? used : 256;
    }
    if (dataoff < paloff + 4 * entries)
        return bmp_Refuse(path, BMP_UNSUPPORTED, 10,
                          "the pixel data overlaps the headers or the palette");
    size_t bpp = bits / 8;
    size_t stride = ((size_t)w * bpp + 3) & ~(size_t)3;
    size_t need = compression == BMP_RLE8 ? 2 : stride * (size_t)h;
    if (dataoff > len || len - dataoff < need)
        return bmp_Refuse(path, BMP_UNSUPPORTED, len, "the file ends inside the pixel data");

    size_t rowbytes = (size_t)w * bpp;
    uint8_t* out = (uint8_t*)Debug_Malloc(rowbytes * (size_t)h);
    if (compression == BMP_RLE8) {
        memset(out, 0, rowbytes * (size_t)h);
        int code = bmp_DecodeRle8(path, d, dataoff, len, w, h, topdown, out);
        if (code != BMP_OK) {
            Debug_Free(&out);
            return code;
        }
    }
    for (int64_t y = 0; compression == BMP_RGB && y < h; y++) {
        const uint8_t* src = d + dataoff + stride * (size_t)(topdown ? y : h - 1 - y);
        uint8_t* dst = out + rowbytes * (size_t)y;
        if (bits == 8) {
            memcpy(dst, src, rowbytes);
        } else {
            for (int32_t x = 0; x < w; x++) {
                dst[3 * x] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x];
            }
        }
    }
    if (palette) {
        memset(palette, 0, 256 * sizeof(PAL_RGB));
        for (size_t i = 0; i < entries; i++) {
            const uint8_t* e = d + paloff + 4 * i;
            palette[i] = PAL_RGB{e[2], e[1], e[0]};
        }
    }
    if (pixels)
        *pixels = out;
    else
        Debug_Free(&out);
    if (depth) *depth = (int)bits;
    if (width) *width = w;
    if (height) *height = (int)h;
    return BMP_OK;
}
