// 8-bit PCX pictures.
//
// The reader trusts nothing in the file: every size is checked against the
// bytes present before it is used, a run that would spill past its scan line
// is refused rather than clipped, and the bitmap is allocated only once the
// whole picture has decoded.
#include "platform/pcx.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/fspath.h"
#include "core/tlog.h"

enum {
    PCX_HEADER = 128,
    PCX_PALETTE_TAIL = 769, // the 0x0C marker and 256 RGB triples
    PCX_MAX_RUN = 63,
};

static int pcx_Refuse(const char* name, size_t offset, const char* what)
{
    TLOG(TLOG_ERROR, "Bad PCX file [%s] at offset %zu: %s", Fs_Resolve(name).c_str(), offset, what);
    return 0;
}

static unsigned pcx_U16(const uint8_t* p) { return (unsigned)p[0] | (unsigned)p[1] << 8; }

int Pcx_ReadMemory(const uint8_t* data, size_t len, const char* name, BITMAP* out,
                   PAL_RGB palette[256])
{
    if (!out) return 0;
    if (!data || len < PCX_HEADER) return pcx_Refuse(name, len, "the file ends inside the header");
    if (data[0] != 0x0A) return pcx_Refuse(name, 0, "expected the PCX marker 0x0A");
    if (data[1] != 5) return pcx_Refuse(name, 1, "expected version 5");
    if (data[2] != 1) return pcx_Refuse(name, 2, "expected run-length encoding 1");
    if (data[3] != 8) return pcx_Refuse(name, 3, "expected 8 bits a pixel");
    unsigned xmin = pcx_U16(data + 4), ymin = pcx_U16(data + 6);
    unsigned xmax = pcx_U16(data + 8), ymax = pcx_U16(data + 10);
    if (xmax < xmin) return pcx_Refuse(name, 8, "the right edge lies left of the left edge");
    if (ymax < ymin) return pcx_Refuse(name, 10, "the bottom edge lies above the top edge");
    unsigned w = xmax - xmin + 1, h = ymax - ymin + 1;
    if (w > PCX_MAX_SIDE) return pcx_Refuse(name, 8, "the picture is wider than 8192");
    if (h > PCX_MAX_SIDE) return pcx_Refuse(name, 10, "the picture is taller than 8192");
    if (data[65] != 1) return pcx_Refuse(name, 65, "expected one colour plane");
    unsigned pitch = pcx_U16(data + 66);
    if (pitch < w) return pcx_Refuse(name, 66, "the bytes a line are fewer than the width");

    if (len < PCX_HEADER + PCX_PALETTE_TAIL)
        return pcx_Refuse(name, len, "the file is too short for the palette at its end");
    size_t tail = len - PCX_PALETTE_TAIL;
    if (data[tail] != 0x0C) return pcx_Refuse(name, tail, "expected the palette marker 0x0C");

    // A line takes at least two bytes for every 63 of it (one for a last odd
    // byte): a file too short for that is refused before a picture of its
    // claimed size is allocated.
    unsigned rest = pitch % PCX_MAX_RUN;
    size_t least = (size_t)h * (pitch / PCX_MAX_RUN * 2 + (rest == 0 ? 0 : rest == 1 ? 1 : 2));
    if (tail - PCX_HEADER < least)
        return pcx_Refuse(name, tail, "the file is too short for the picture's size");

    // Decode every line (padding included) into a bitmap of our own, handed
    // over only when the whole picture has decoded; the pixel data must end
    // before the palette.
    BITMAP pic;
    if (!Graph_InitBitmap(&pic, (int)w, (int)h, nullptr)) return pcx_Refuse(name, 8, "bad size");
    std::vector<uint8_t> line(pitch);
    size_t pos = PCX_HEADER;
    const char* fault = nullptr;
    size_t at = 0;
    for (unsigned y = 0; y < h && !fault; y++) {
        unsigned x = 0;
        while (x < pitch) {
            if (pos >= tail || (data[pos] >= 0xC0 && pos + 1 >= tail)) {
                fault = "the pixel data runs into the palette";
                at = pos;
                break;
            }
            unsigned count = 1;
            uint8_t b = data[pos];
            if (b >= 0xC0) {
                count = b & PCX_MAX_RUN;
                b = data[pos + 1];
                if (count > pitch - x) {
                    fault = "a run goes past the end of its line";
                    at = pos;
                    break;
                }
                pos++;
            }
            pos++;
            memset(&line[x], b, count);
            x += count;
        }
        if (!fault) memcpy(pic.data + (size_t)y * w, line.data(), w);
    }
    if (fault) {
        Graph_FreeBitmap(&pic);
        return pcx_Refuse(name, at, fault);
    }

    *out = pic;
    if (palette) {
        const uint8_t* p = data + tail + 1;
        for (int i = 0; i < 256; i++) palette[i] = PAL_RGB{p[3 * i], p[3 * i + 1], p[3 * i + 2]};
    }
    return 1;
}

int Pcx_Read(const char* path, BITMAP* out, PAL_RGB palette[256])
{
    std::string bytes;
    if (!path || !Fs_ReadAll(path, &bytes)) {
        TLOG(TLOG_ERROR, "Unable to open PCX file [%s]", Fs_Resolve(path).c_str());
        return 0;
    }
    return Pcx_ReadMemory((const uint8_t*)bytes.data(), bytes.size(), path, out, palette);
}

// Appends one line's runs: a byte below 0xC0 alone stands for itself, any
// other value or repeat goes as a count byte and the value.
static void pcx_EncodeLine(std::vector<uint8_t>* out, const uint8_t* row, unsigned n)
{
    unsigned i = 0;
    while (i < n) {
        uint8_t v = row[i];
        unsigned run = 1;
        while (i + run < n && run < PCX_MAX_RUN && row[i + run] == v) run++;
        if (run > 1 || v >= 0xC0) out->push_back((uint8_t)(0xC0 | run));
        out->push_back(v);
        i += run;
    }
}


int Graph_SavePCX(const char* name, const BITMAP* bitmap, const PAL_RGB* palette)
{
    if (!name || !bitmap || !bitmap->data || bitmap->x_size < 1 || bitmap->y_size < 1 ||
        bitmap->x_size > PCX_MAX_SIDE || bitmap->y_size > PCX_MAX_SIDE) {
        TLOG(TLOG_ERROR, "Unable to write PCX file [%s]: no picture to write", name ? name : "");
        return 0;
    }
    if (!palette) palette = g_Palette;
    unsigned w = (unsigned)bitmap->x_size, h = (unsigned)bitmap->y_size;
    unsigned pitch = (w + 1) & ~1u; // lines hold an even number of bytes

    std::vector<uint8_t> out(PCX_HEADER, 0);
    out[0] = 0x0A;
    out[1] = 5;
    out[2] = 1;
    out[3] = 8;
    Bytes_PutU16(&out[8], w - 1);
    Bytes_PutU16(&out[10], h - 1);
    Bytes_PutU16(&out[12], 72);
    Bytes_PutU16(&out[14], 72);
    for (int i = 0; i < 16; i++) {
        out[16 + 3 * i] = palette[i].r;
        out[17 + 3 * i] = palette[i].g;
        out[18 + 3 * i] = palette[i].b;
    }
    out[65] = 1;
    Bytes_PutU16(&out[66], pitch);
    Bytes_PutU16(&out[68], 1); // colour palette

    std::vector<uint8_t> line(pitch, 0);
    for (unsigned y = 0; y < h; y++) {
        memcpy(line.data(), bitmap->data + (size_t)y * w, w);
        pcx_EncodeLine(&out, line.data(), pitch);
    }
    out.push_back(0x0C);
    for (int i = 0; i < 256; i++) {
        out.push_back(palette[i].r);
        out.push_back(palette[i].g);
        out.push_back(palette[i].b);
    }
    if (Fs_WriteAtomic(name, out.data(), out.size())) return 1;
    TLOG(TLOG_ERROR, "Unable to write to file [%s]", Fs_Resolve(name).c_str());
    return 0;
}
