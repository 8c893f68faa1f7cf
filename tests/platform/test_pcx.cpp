// The picture files: PCX written and read back, BMP of both depths, both row
// orders and run-length compression, and the refusal of broken files.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/tlog.h"
#include "platform/bmp.h"
#include "platform/pcx.h"
#include "support/testsupport.h"

namespace {

// Captures the trace log of a test.
class LoggedFiles : public testing::Test {
protected:
    QvTempDir dir;
    QvLogCapture log;
    std::string Log() const { return log.text(); }
    void ClearLog() const { log.clear(); }
};

std::vector<PAL_RGB> RandomPalette(std::mt19937& rng)
{
    std::vector<PAL_RGB> p(256);
    for (auto& c : p) c = PAL_RGB{(uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng()};
    return p;
}

// bytes with v written at offset at.
std::string With(std::string bytes, size_t at, std::initializer_list<uint8_t> v)
{
    for (uint8_t x : v) bytes[at++] = (char)x;
    return bytes;
}

} // namespace

// ------------------------------------------------------------------ PCX

class PcxFile : public LoggedFiles {
protected:
    std::mt19937 rng{99};

    // Writes pixels as a PCX (with the given palette, or the current one),
    // reads it back and checks both halves.
    void RoundTrip(int w, int h, const std::vector<uint8_t>& pixels, const PAL_RGB* pal)
    {
        BITMAP b;
        ASSERT_EQ(Graph_InitBitmap(&b, w, h, const_cast<uint8_t*>(pixels.data())), 1);
        std::string path = dir.file("pic.pcx");
        ASSERT_EQ(Graph_SavePCX(path.c_str(), &b, pal), 1);
        BITMAP back{};
        PAL_RGB pal2[256];
        ASSERT_EQ(Pcx_Read(path.c_str(), &back, pal2), 1) << Log();
        ASSERT_EQ(back.x_size * 10000 + back.y_size, w * 10000 + h);
        EXPECT_EQ(std::vector<uint8_t>(back.data, back.data + (size_t)w * h), pixels)
            << w << "x" << h;
        EXPECT_EQ(memcmp(pal2, pal ? pal : g_Palette, sizeof pal2), 0);
        Graph_FreeBitmap(&back);
    }

    // A valid small file to corrupt: 5 x 3, an odd width.
    std::string Small()
    {
        std::vector<uint8_t> px = {1, 1, 1, 0xC5, 9, 200, 200, 3, 4, 5, 7, 7, 7, 7, 7};
        BITMAP b;
        Graph_InitBitmap(&b, 5, 3, px.data());
        auto pal = RandomPalette(rng);
        EXPECT_EQ(Graph_SavePCX(dir.file("small.pcx").c_str(), &b, pal.data()), 1);
        return dir.read("small.pcx");
    }
};

TEST_F(PcxFile, WriteThenReadGivesTheSamePixelsAndPalette)
{
    const int sizes[][2] = {{1, 1}, {3, 5}, {64, 3}, {127, 4}, {641, 3}};
    for (const auto& s : sizes) {
        int w = s[0], h = s[1];
        auto pal = RandomPalette(rng);
        std::vector<uint8_t> px((size_t)w * h);
        for (auto& p : px) p = (uint8_t)rng();
        RoundTrip(w, h, px, pal.data());
        // Long runs, values that need a count byte and runs across a line end.
        for (size_t i = 0; i < px.size(); i++)
            px[i] = (i / 70) % 2 ? 0xC0 + (i / 140) % 64 : (uint8_t)(i / 200);
        RoundTrip(w, h, px, pal.data());
    }
    // Without a palette the current one is saved.
    for (int i = 0; i < 256; i++) g_Palette[i] = PAL_RGB{(uint8_t)i, (uint8_t)(i * 3), 9};
    RoundTrip(2, 2, {1, 2, 3, 4}, nullptr);
}

TEST_F(PcxFile, RefusesBrokenFilesNamingTheOffset)
{
    const std::string good = Small();
    const size_t pal = good.size() - 769; // the palette marker
    // The first line (pitch 6) starts with a run of three 1s, 0xC3 0x01; the
    // last (7 7 7 7 7 and a padding 0) with 0xC5 0x07 0x00.
    ASSERT_EQ((uint8_t)good[128], 0xC3);
    ASSERT_EQ((uint8_t)good[pal - 3], 0xC5);
    // A large claimed size with a tiny body, refused before any allocation.
    std::string huge = With(good, 8, {0xFF, 0x1F, 0xFF, 0x1F});
    huge = With(huge, 66, {0x00, 0x20});
    const struct {
        const char* why;
        std::string bytes;
        std::string offset; // "" when any offset will do
    } rows[] = {
        {"header cut short", good.substr(0, 100), "100"},
        // Without its palette the pixel data is taken for it, and must not be.
        {"palette missing", good.substr(0, pal), ""},
        {"marker", With(good, 0, {0x0B}), "0"},
        {"right edge left of the left", With(good, 4, {10, 0}), "8"},
        {"bytes a line below the width", With(good, 66, {4, 0}), "66"},
        {"size", huge, std::to_string(pal)},
        {"run past the line", With(good, 128, {0xC7}), "128"},
        {"run past the last line", With(good, pal - 3, {0xC7}), std::to_string(pal - 3)},
    };
    for (const auto& r : rows) {
        ClearLog();
        BITMAP out{nullptr, 7, 7, 7};
        long blocks = Debug_LiveBlocks();
        EXPECT_EQ(Pcx_ReadMemory((const uint8_t*)r.bytes.data(), r.bytes.size(), "bad.pcx", &out,
                                 nullptr),
                  0)
            << r.why;
        EXPECT_EQ(out.x_size, 7) << r.why;
        EXPECT_EQ(Debug_LiveBlocks(), blocks) << r.why;
        EXPECT_NE(Log().find("[bad.pcx] at offset " + r.offset), std::string::npos)
            << r.why << ": " << Log();
    }
    // Every shorter file is refused.
    for (size_t n = 0; n < good.size(); n++) {
        BITMAP out{};
        ASSERT_EQ(Pcx_ReadMemory((const uint8_t*)good.data(), n, "cut.pcx", &out, nullptr), 0)
            << n;
    }
}

// ------------------------------------------------------------------ BMP

namespace {

// The headers and `entries` palette entries (entry i is r i, g 2i, b 3i) of
// a BMP whose pixel data follows: `used` is the header's count of entries.
std::string BmpHeaders(int bits, int w, int h, uint32_t compression, size_t databytes,
                       int used = 0)
{
    int entries = bits == 8 ? (used ? used : 256) : 0;
    std::string s = "BM";
    const uint32_t fields[] = {(uint32_t)(54 + 4 * entries + databytes), 0,
                               (uint32_t)(54 + 4 * entries), 40, (uint32_t)w, (uint32_t)h};
    for (uint32_t f : fields) Bytes_AppendU32(&s, f);
    Bytes_AppendU16(&s, 1);
    Bytes_AppendU16(&s, (unsigned)bits);
    for (uint32_t f : {compression, (uint32_t)databytes, 2835u, 2835u, (uint32_t)used, 0u})
        Bytes_AppendU32(&s, f);
    for (int i = 0; i < entries; i++) {
        s.push_back((char)(i * 3)); // blue
        s.push_back((char)(i * 2)); // green
        s.push_back((char)i);       // red
        s.push_back(0);
    }
    return s;
}

// An uncompressed BMP as a paint program writes it: pixels given top row
// first (24-bit as r, g, b).
std::string BmpBytes(int bits, int w, int h, bool topdown, const std::vector<uint8_t>& px,
                     int used = 0)
{
    int bpp = bits / 8, stride = (w * bpp + 3) & ~3;
    std::string s = BmpHeaders(bits, w, topdown ? -h : h, 0, (size_t)stride * h, used);
    for (int j = 0; j < h; j++) {
        int row = topdown ? j : h - 1 - j;
        for (int i = 0; i < w; i++) {
            const uint8_t* p = &px[(size_t)(row * w + i) * bpp];
            if (bits == 8)
                s.push_back((char)p[0]);
            else
                s.push_back((char)p[2]), s.push_back((char)p[1]), s.push_back((char)p[0]);
        }
        for (int k = w * bpp; k < stride; k++) s.push_back((char)0xEE); // padding is ignored
    }
    return s;
}

// An 8-bit run-length BMP of w x h (negative: rows from the top) around the
// given pixel data.
std::string RleBytes(int w, int h, const std::vector<uint8_t>& data)
{
    return BmpHeaders(8, w, h, 1, data.size()) + std::string(data.begin(), data.end());
}

} // namespace

class BmpFile : public LoggedFiles {
protected:
    struct Result {
        int code, depth = -1, w = -1, h = -1;
        std::vector<uint8_t> px;
        PAL_RGB pal[256];
    };
    Result Read(const std::string& bytes)
    {
        dir.write("pic.bmp", bytes);
        Result r;
        uint8_t* px = nullptr;
        memset(r.pal, 0x77, sizeof r.pal);
        long blocks = Debug_LiveBlocks();
        r.code = Bmp_Read(dir.file("pic.bmp").c_str(), &px, r.pal, &r.depth, &r.w, &r.h);
        if (r.code == BMP_OK) {
            r.px.assign(px, px + (size_t)r.w * r.h * (r.depth / 8));
            Debug_Free(&px);
        } else {
            EXPECT_EQ(px, nullptr);
            EXPECT_EQ(r.depth, -1);
            EXPECT_EQ(Debug_LiveBlocks(), blocks); // nothing allocated on failure
        }
        return r;
    }
    static std::vector<uint8_t> Pixels(size_t n, int seed)
    {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; i++) v[i] = (uint8_t)(i * 31 + seed);
        return v;
    }
};

TEST_F(BmpFile, ReadsBothDepthsBothRowOrdersWithPadding)
{
    for (int bits : {8, 24}) {
        for (bool topdown : {false, true}) {
            for (int w : {1, 3, 4}) {
                auto px = Pixels((size_t)w * 3 * (bits / 8), w);
                Result r = Read(BmpBytes(bits, w, 3, topdown, px));
                ASSERT_EQ(r.code, BMP_OK) << Log();
                EXPECT_EQ(r.depth, bits);
                EXPECT_EQ(r.px, px) << bits << " bits, width " << w << (topdown ? " top-down" : "");
                // 8 bits fills the palette, 24 zeroes it.
                EXPECT_EQ(r.pal[10].b, bits == 8 ? 30 : 0);
            }
        }
    }
    // A short palette: the entries it lacks are black.
    Result r = Read(BmpBytes(8, 2, 2, false, Pixels(4, 0), 16));
    ASSERT_EQ(r.code, BMP_OK);
    EXPECT_EQ(r.pal[15].r, 15);
    EXPECT_EQ(r.pal[16].r, 0);
}

// Paint programs write 8-bit pictures run-length compressed; they used to be
// refused.
TEST_F(BmpFile, ReadsRunLengthPicturesAndRefusesRunsOutsideThem)
{
    const int64_t kHeaders = 54 + 1024; // where the pixel data starts
    const struct {
        const char* what;
        int w, h;
        std::vector<uint8_t> data;
        std::vector<uint8_t> px; // top row first; empty when refused
        int64_t offset;          // of the refusal, from the pixel data
    } rows[] = {
        {"runs, end of line, end of picture", 4, 2,
         {4, 9, 0, 0, 1, 5, 3, 6, 0, 1},
         {5, 6, 6, 6, 9, 9, 9, 9}, 0},
        {"literal runs of odd and even length, padded", 5, 2,
         {0, 3, 1, 2, 3, 0, 2, 4, 0, 0, 0, 5, 10, 11, 12, 13, 14, 0, 0, 1},
         {10, 11, 12, 13, 14, 1, 2, 3, 4, 4}, 0},
        {"a move skips pixels, which stay 0", 4, 3,
         {1, 7, 0, 2, 2, 1, 1, 8, 0, 0, 0, 2, 1, 0, 2, 9, 0, 1},
         {0, 9, 9, 0, 0, 0, 0, 8, 7, 0, 0, 0}, 0},
        // Image tools fill a row's padding (to a multiple of 4) inside its runs.
        {"a run into the row's padding, dropped", 5, 2,
         {8, 7, 0, 0, 2, 1, 3, 2, 3, 3, 0, 1},
         {1, 1, 2, 2, 2, 7, 7, 7, 7, 7}, 0},
        {"a literal run into the row's padding, dropped", 3, 1, {0, 4, 1, 2, 3, 9, 0, 1}, {1, 2, 3}, 0},
        {"a run past the padded row", 5, 1, {4, 1, 5, 2, 0, 1}, {}, 2},
        {"a literal run past the padded row", 3, 1, {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}, {}, 0},
        {"a run past the line", 4, 2, {3, 1, 2, 1, 0, 1}, {}, 2},
        {"a run above the picture", 2, 1, {2, 1, 0, 0, 1, 1, 0, 1}, {}, 4},
        {"no end of picture", 2, 1, {2, 1, 0, 0}, {}, 4},
        {"cut inside a literal run", 4, 1, {0, 4, 1, 2, 3}, {}, 5},
    };
    for (const auto& r : rows) {
        ClearLog();
        Result got = Read(RleBytes(r.w, r.h, r.data));
        if (r.px.empty()) {
            EXPECT_EQ(got.code, BMP_UNSUPPORTED) << r.what;
            EXPECT_NE(Log().find("pic.bmp] at offset " + std::to_string(kHeaders + r.offset)),
                      std::string::npos)
                << r.what << ": " << Log();
            continue;
        }
        ASSERT_EQ(got.code, BMP_OK) << r.what << ": " << Log();
        EXPECT_EQ(got.px, r.px) << r.what;
    }
}

TEST_F(BmpFile, EachFaultHasItsCode)
{
    const std::string good = BmpBytes(8, 5, 3, false, Pixels(15, 1));
    const struct {
        std::string bytes;
        int code;
    } rows[] = {
        {With(good, 1, {'A'}), BMP_NOT_BMP},
        {With(good, 14, {20, 0, 0, 0}), BMP_NOT_BMP}, // info header size
        {With(good, 28, {16, 0}), BMP_UNSUPPORTED},
        {With(BmpBytes(24, 2, 2, false, Pixels(12, 1)), 30, {1, 0, 0, 0}), BMP_UNSUPPORTED},
        {With(good, 22, {0, 0, 0, 0x80}), BMP_UNSUPPORTED}, // the most negative height
        {With(good, 46, {0x2C, 1, 0, 0}), BMP_UNSUPPORTED}, // 300 palette entries
        {With(good, 10, {60, 0, 0, 0}), BMP_UNSUPPORTED},   // pixels inside the palette
        {good.substr(0, good.size() - 1), BMP_UNSUPPORTED},
    };
    for (size_t i = 0; i < std::size(rows); i++) {
        ClearLog();
        EXPECT_EQ(Read(rows[i].bytes).code, rows[i].code) << "row " << i;
        EXPECT_NE(Log().find("pic.bmp] at offset"), std::string::npos) << "row " << i;
    }
    // Every shorter file is refused one way or the other.
    for (size_t n = 0; n < good.size(); n++) {
        int code = Read(good.substr(0, n)).code;
        ASSERT_TRUE(code == BMP_NOT_BMP || code == BMP_UNSUPPORTED) << n;
    }
}
