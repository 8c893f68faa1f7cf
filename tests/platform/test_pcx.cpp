// The picture files: PCX written and read back, BMP of both depths and row
// orders, and the refusal of every kind of broken file.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

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

bool SamePalette(const PAL_RGB* a, const PAL_RGB* b)
{
    for (int i = 0; i < 256; i++)
        if (a[i].r != b[i].r || a[i].g != b[i].g || a[i].b != b[i].b) return false;
    return true;
}

} // namespace

// ------------------------------------------------------------------ PCX

class PcxFile : public LoggedFiles {
protected:
    std::mt19937 rng{99};

    // Writes pixels as a PCX, reads it back and checks both halves.
    void RoundTrip(int w, int h, const std::vector<uint8_t>& pixels)
    {
        auto pal = RandomPalette(rng);
        BITMAP b;
        ASSERT_EQ(Graph_InitBitmap(&b, w, h, const_cast<uint8_t*>(pixels.data())), 1);
        std::string path = dir.file("pic.pcx");
        ASSERT_EQ(Graph_SavePCX(path.c_str(), &b, pal.data()), 1);
        BITMAP back{};
        PAL_RGB pal2[256];
        ASSERT_EQ(Pcx_Read(path.c_str(), &back, pal2), 1) << Log();
        ASSERT_EQ(back.x_size, w);
        ASSERT_EQ(back.y_size, h);
        EXPECT_EQ(back.owned, 1);
        EXPECT_EQ(std::vector<uint8_t>(back.data, back.data + (size_t)w * h), pixels)
            << w << "x" << h;
        EXPECT_TRUE(SamePalette(pal2, pal.data()));
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

    // Reads bytes expecting a refusal that leaves out alone and names the offset.
    void ExpectRefused(const std::string& bytes, const std::string& offset, const char* why)
    {
        ClearLog();
        BITMAP out{nullptr, 7, 7, 7};
        long blocks = Debug_LiveBlocks();
        EXPECT_EQ(
            Pcx_ReadMemory((const uint8_t*)bytes.data(), bytes.size(), "bad.pcx", &out, nullptr), 0)
            << why;
        EXPECT_EQ(out.data, nullptr);
        EXPECT_EQ(out.x_size, 7) << why;
        EXPECT_EQ(Debug_LiveBlocks(), blocks) << why;
        EXPECT_NE(Log().find("[bad.pcx] at offset " + offset), std::string::npos)
            << why << ": " << Log();
    }
};

TEST_F(PcxFile, WriteThenReadGivesTheSamePixelsAndPalette)
{
    const int sizes[][2] = {{1, 1},  {2, 1},   {3, 5},   {63, 2},
                            {64, 3}, {127, 4}, {641, 3}, {640, 480}};
    for (const auto& s : sizes) {
        int w = s[0], h = s[1];
        std::vector<uint8_t> px((size_t)w * h);
        for (auto& p : px) p = (uint8_t)rng();
        RoundTrip(w, h, px);
        // Long runs, values that need a count byte and runs across a line end.
        for (size_t i = 0; i < px.size(); i++)
            px[i] = (i / 70) % 2 ? 0xC0 + (i / 140) % 64 : (uint8_t)(i / 200);
        RoundTrip(w, h, px);
        std::fill(px.begin(), px.end(), 0xFF);
        RoundTrip(w, h, px);
    }
}

TEST_F(PcxFile, SavesWithTheCurrentPaletteWhenGivenNone)
{
    for (int i = 0; i < 256; i++) g_Palette[i] = PAL_RGB{(uint8_t)i, (uint8_t)(i * 3), 9};
    uint8_t px[4] = {1, 2, 3, 4};
    BITMAP b;
    Graph_InitBitmap(&b, 2, 2, px);
    ASSERT_EQ(Graph_SavePCX(dir.file("cur.pcx").c_str(), &b, nullptr), 1);
    BITMAP back{};
    PAL_RGB pal[256];
    ASSERT_EQ(Pcx_Read(dir.file("cur.pcx").c_str(), &back, pal), 1);
    EXPECT_TRUE(SamePalette(pal, g_Palette));
    Graph_FreeBitmap(&back);
}

TEST_F(PcxFile, RefusesEveryTruncation)
{
    std::string bytes = Small();
    for (size_t n = 0; n < bytes.size(); n++) {
        BITMAP out{};
        ASSERT_EQ(Pcx_ReadMemory((const uint8_t*)bytes.data(), n, "cut.pcx", &out, nullptr), 0)
            << n;
        ASSERT_EQ(out.data, nullptr);
    }
    ExpectRefused(bytes.substr(0, 100), "100", "header cut short");
    // Without its palette the pixel data is taken for it, and must not be.
    ExpectRefused(bytes.substr(0, bytes.size() - 769), "", "palette missing");
}

TEST_F(PcxFile, RefusesInconsistentHeaders)
{
    std::string good = Small();
    auto with = [&](size_t at, std::initializer_list<uint8_t> v) {
        std::string b = good;
        size_t k = at;
        for (uint8_t x : v) b[k++] = (char)x;
        return b;
    };
    ExpectRefused(with(0, {0x0B}), "0", "marker");
    ExpectRefused(with(1, {3}), "1", "version");
    ExpectRefused(with(2, {0}), "2", "encoding");
    ExpectRefused(with(3, {4}), "3", "depth");
    ExpectRefused(with(4, {10, 0}), "8", "right edge left of the left");
    ExpectRefused(with(8, {0x00, 0x20}), "8", "wider than 8192");
    ExpectRefused(with(10, {0x00, 0x20}), "10", "taller than 8192");
    ExpectRefused(with(65, {3}), "65", "planes");
    ExpectRefused(with(66, {4, 0}), "66", "bytes a line below the width");
    ExpectRefused(with(good.size() - 769, {0x0D}), std::to_string(good.size() - 769),
                  "palette marker");
    // A large claimed size with a tiny body is refused before any allocation.
    std::string huge = with(8, {0xFF, 0x1F, 0xFF, 0x1F});
    huge[66] = 0x00;
    huge[67] = 0x20;
    ExpectRefused(huge, std::to_string(good.size() - 769), "size");
}

TEST_F(PcxFile, RefusesRunsThatOverflowTheirLine)
{
    std::string good = Small();
    // The first line (pitch 6) starts with a run of three 1s: 0xC3 0x01.
    ASSERT_EQ((uint8_t)good[128], 0xC3);
    std::string over = good;
    over[128] = (char)0xC7; // seven bytes into a line of six
    ExpectRefused(over, "128", "run past the line");
    std::string last = good;
    // The last line (7 7 7 7 7 and a padding 0) starts with 0xC5 0x07 0x00:
    // widened past the line.
    size_t lastrun = good.size() - 769 - 3;
    ASSERT_EQ((uint8_t)good[lastrun], 0xC5);
    last[lastrun] = (char)0xC7;
    ExpectRefused(last, std::to_string(lastrun), "run past the last line");
}

TEST_F(PcxFile, SurvivesRandomCorruptionWithoutReadingOutOfBounds)
{
    std::string good = Small();
    for (int round = 0; round < 3000; round++) {
        std::string b = good;
        int flips = 1 + round % 4;
        for (int k = 0; k < flips; k++) b[rng() % b.size()] = (char)rng();
        if (round % 3 == 0) b.resize(rng() % b.size());
        // An exact-size heap copy so the sanitizer sees any read past the end.
        std::vector<uint8_t> exact(b.begin(), b.end());
        BITMAP out{};
        PAL_RGB pal[256];
        if (Pcx_ReadMemory(exact.data(), exact.size(), "fuzz.pcx", &out, pal)) {
            EXPECT_GE(out.x_size, 1);
            Graph_FreeBitmap(&out);
        }
    }
}

TEST_F(PcxFile, MissingFileIsLogged)
{
    BITMAP out{};
    EXPECT_EQ(Pcx_Read(dir.file("none.pcx").c_str(), &out, nullptr), 0);
    EXPECT_NE(Log().find("none.pcx"), std::string::npos);
}

// ------------------------------------------------------------------ BMP

namespace {

void Put16(std::string* s, unsigned v)
{
    s->push_back((char)(v & 0xFF));
    s->push_back((char)(v >> 8));
}
void Put32(std::string* s, uint32_t v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// A BMP as a paint program writes it: 8 bits with `used` palette entries or
// 24 bits as b, g, r; pixels given top row first (24-bit as r, g, b).
std::string BmpBytes(int bits, int w, int h, bool topdown, const std::vector<uint8_t>& px,
                     int used = 0)
{
    int bpp = bits / 8, stride = (w * bpp + 3) & ~3;
    int entries = bits == 8 ? (used ? used : 256) : 0;
    std::string s = "BM";
    Put32(&s, (uint32_t)(54 + 4 * entries + stride * h));
    Put32(&s, 0);
    Put32(&s, (uint32_t)(54 + 4 * entries));
    Put32(&s, 40);
    Put32(&s, (uint32_t)w);
    Put32(&s, (uint32_t)(topdown ? -h : h));
    Put16(&s, 1);
    Put16(&s, (unsigned)bits);
    Put32(&s, 0);
    Put32(&s, (uint32_t)(stride * h));
    Put32(&s, 2835);
    Put32(&s, 2835);
    Put32(&s, (uint32_t)used);
    Put32(&s, 0);
    for (int i = 0; i < entries; i++) {
        s.push_back((char)(i * 3)); // blue
        s.push_back((char)(i * 2)); // green
        s.push_back((char)i);       // red
        s.push_back(0);
    }
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
    std::vector<uint8_t> Pixels(size_t n, int seed)
    {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; i++) v[i] = (uint8_t)(i * 31 + seed);
        return v;
    }
};

TEST_F(BmpFile, ReadsEightBitsBothRowOrdersWithPadding)
{
    for (bool topdown : {false, true}) {
        for (int w : {1, 3, 4, 5}) {
            auto px = Pixels((size_t)w * 3, w);
            Result r = Read(BmpBytes(8, w, 3, topdown, px));
            ASSERT_EQ(r.code, BMP_OK) << Log();
            EXPECT_EQ(r.depth, 8);
            EXPECT_EQ(r.w, w);
            EXPECT_EQ(r.h, 3);
            EXPECT_EQ(r.px, px) << "width " << w << (topdown ? " top-down" : " bottom-up");
            EXPECT_EQ(r.pal[10].r, 10);
            EXPECT_EQ(r.pal[10].g, 20);
            EXPECT_EQ(r.pal[10].b, 30);
        }
    }
    // A short palette: the entries it lacks are black.
    Result r = Read(BmpBytes(8, 2, 2, false, Pixels(4, 0), 16));
    ASSERT_EQ(r.code, BMP_OK);
    EXPECT_EQ(r.pal[15].r, 15);
    EXPECT_EQ(r.pal[16].r, 0);
}

TEST_F(BmpFile, ReadsTwentyFourBitsAsRedGreenBlue)
{
    for (bool topdown : {false, true}) {
        for (int w : {1, 2, 3, 5}) {
            auto px = Pixels((size_t)w * 4 * 3, w);
            Result r = Read(BmpBytes(24, w, 4, topdown, px));
            ASSERT_EQ(r.code, BMP_OK) << Log();
            EXPECT_EQ(r.depth, 24);
            EXPECT_EQ(r.px, px) << "width " << w << (topdown ? " top-down" : " bottom-up");
            EXPECT_EQ(r.pal[200].g, 0); // zeroed
        }
    }
}

TEST_F(BmpFile, EachFaultHasItsCode)
{
    EXPECT_EQ(Bmp_Read(dir.file("none.bmp").c_str(), nullptr, nullptr, nullptr, nullptr, nullptr),
              BMP_CANT_OPEN);
    std::string good = BmpBytes(8, 5, 3, false, Pixels(15, 1));
    auto with32 = [&](size_t at, uint32_t v) {
        std::string b = good;
        for (int k = 0; k < 4; k++) b[at + k] = (char)(v >> (8 * k));
        return b;
    };
    auto with16 = [&](size_t at, unsigned v) {
        std::string b = good;
        b[at] = (char)v;
        b[at + 1] = (char)(v >> 8);
        return b;
    };
    std::string magic = good;
    magic[1] = 'A';
    EXPECT_EQ(Read(magic).code, BMP_NOT_BMP);
    EXPECT_EQ(Read(good.substr(0, 10)).code, BMP_NOT_BMP);
    EXPECT_EQ(Read(good.substr(0, 40)).code, BMP_NOT_BMP);
    EXPECT_EQ(Read(with32(14, 20)).code, BMP_NOT_BMP);     // info header size
    EXPECT_EQ(Read(with16(26, 2)).code, BMP_NOT_BMP);      // planes
    EXPECT_EQ(Read(with32(14, 12)).code, BMP_UNSUPPORTED); // the old header
    EXPECT_EQ(Read(with16(28, 16)).code, BMP_UNSUPPORTED);
    EXPECT_EQ(Read(with16(28, 4)).code, BMP_UNSUPPORTED);
    EXPECT_EQ(Read(with32(30, 1)).code, BMP_UNSUPPORTED); // run-length compression
    EXPECT_EQ(Read(with32(18, 0)).code, BMP_UNSUPPORTED);
    EXPECT_EQ(Read(with32(18, 9000)).code, BMP_UNSUPPORTED);
    EXPECT_EQ(Read(with32(22, 0)).code, BMP_UNSUPPORTED);
    EXPECT_EQ(Read(with32(22, 0x80000000u)).code, BMP_UNSUPPORTED); // the most negative height
    EXPECT_EQ(Read(with32(46, 300)).code, BMP_UNSUPPORTED);
    EXPECT_EQ(Read(with32(10, 60)).code, BMP_UNSUPPORTED); // pixels inside the palette
    EXPECT_EQ(Read(with32(10, 0xFFFFFFF0u)).code, BMP_UNSUPPORTED);
    EXPECT_EQ(Read(good.substr(0, good.size() - 1)).code, BMP_UNSUPPORTED);
    EXPECT_NE(Log().find("pic.bmp] at offset"), std::string::npos);
    // Every shorter file is refused one way or the other.
    for (size_t n = 0; n < good.size(); n++) {
        int code = Read(good.substr(0, n)).code;
        ASSERT_TRUE(code == BMP_NOT_BMP || code == BMP_UNSUPPORTED) << n;
    }
}
