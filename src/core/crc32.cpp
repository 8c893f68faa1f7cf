#include "core/crc32.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/fspath.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define CRC_HAVE_X86 1
#else
#define CRC_HAVE_X86 0
#endif

namespace {

constexpr uint32_t CRC_POLY = 0x04C11DB7u;

// t[k][b]: the CRC register after byte b followed by k zero bytes, from a zero
// register. t[0] is the plain table; the others let 16 bytes be folded at once.
struct CRC_TABLES {
    uint32_t t[16][256];
};

constexpr CRC_TABLES MakeTables()
{
    CRC_TABLES r{};
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i << 24;
        for (int bit = 0; bit < 8; bit++) c = (c & 0x80000000u) ? (c << 1) ^ CRC_POLY : (c << 1);
        r.t[0][i] = c;
    }
    for (int k = 1; k < 16; k++)
        for (int i = 0; i < 256; i++) {
            uint32_t prev = r.t[k - 1][i];
            r.t[k][i] = (prev << 8) ^ r.t[0][prev >> 24];
        }
    return r;
}

// Built by the compiler: nothing to initialise at run time, so no thread can
// see a half-built table.
constexpr CRC_TABLES s_tab = MakeTables();

inline uint32_t LoadBE32(const unsigned char* p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
}

// The register (not complemented) after the bytes.
uint32_t UpdateSliced(uint32_t c, const unsigned char* p, size_t n)
{
    const auto& t = s_tab.t;
    while (n >= 16) {
        uint32_t one = c ^ LoadBE32(p);
        c = t[15][one >> 24] ^ t[14][(one >> 16) & 0xff] ^ t[13][(one >> 8) & 0xff] ^
            t[12][one & 0xff] ^ t[11][p[4]] ^ t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^
            t[7][p[8]] ^ t[6][p[9]] ^ t[5][p[10]] ^ t[4][p[11]] ^ t[3][p[12]] ^
            t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]];
        p += 16;
        n -= 16;
    }
    while (n--) c = (c << 8) ^ t[0][(c >> 24) ^ *p++];
    return c;
}

#if CRC_HAVE_X86

// x^n mod P, bit i standing for x^i.
constexpr uint64_t XPowMod(unsigned n)
{
    uint32_t v = 1;
    for (unsigned i = 0; i < n; i++) v = (v & 0x80000000u) ? (v << 1) ^ CRC_POLY : (v << 1);
    return v;
}

// The folding distances: 4 lanes (512 bits) in the main loop, 1 lane at the end.
constexpr uint64_t K512_HI = XPowMod(512 + 64), K512_LO = XPowMod(512);
constexpr uint64_t K128_HI = XPowMod(128 + 64), K128_LO = XPowMod(128);

// A 128-bit lane holds 16 message bytes as a polynomial, the first byte's top
// bit at x^127 (hence the byte reversal). Moving a lane X = H*x^64 + L forward
// by n bits only needs its value mod P: H*(x^(n+64) mod P) + L*(x^n mod P),
// two carry-less products of under 96 bits. Four lanes run side by side to
// hide the multiplier's latency; at the end the one remaining lane goes
// through the table as 16 plain bytes, which multiplies by x^32 and reduces.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), _mm_clmulepi64_si128(x, k, 0x00));
}

// 16 message bytes, the first one's top bit at x^127.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const unsigned char* q, __m128i rev)
{
    return _mm_shuffle_epi8(_mm_loadu_si128((const __m128i*)q), rev);
}

// Folds the whole 16-byte blocks of p (n >= 64); returns the register after
// them and sets *used to the bytes consumed.
__attribute__((target("pclmul,sse4.1"))) uint32_t UpdateClmul(uint32_t c,
                                                               const unsigned char* p,
                                                               size_t n, size_t* used)
{
    const __m128i rev = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m128i k512 = _mm_set_epi64x((long long)K512_HI, (long long)K512_LO);
    const __m128i k128 = _mm_set_epi64x((long long)K128_HI, (long long)K128_LO);
    const unsigned char* start = p;

    // The running register stands in for the first 32 bits of the message.
    __m128i x0 = _mm_xor_si128(Load(p, rev), _mm_set_epi32((int)c, 0, 0, 0));
    __m128i x1 = Load(p + 16, rev);
    __m128i x2 = Load(p + 32, rev);
    __m128i x3 = Load(p + 48, rev);
    p += 64;
    n -= 64;
    while (n >= 64) {
        x0 = _mm_xor_si128(Fold(x0, k512), Load(p, rev));
        x1 = _mm_xor_si128(Fold(x1, k512), Load(p + 16, rev));
        x2 = _mm_xor_si128(Fold(x2, k512), Load(p + 32, rev));
        x3 = _mm_xor_si128(Fold(x3, k512), Load(p + 48, rev));
        p += 64;
        n -= 64;
    }
    __m128i x = _mm_xor_si128(Fold(x0, k128), x1);
    x = _mm_xor_si128(Fold(x, k128), x2);
    x = _mm_xor_si128(Fold(x, k128), x3);
    while (n >= 16) {
        x = _mm_xor_si128(Fold(x, k128), Load(p, rev));
        p += 16;
        n -= 16;
    }
    alignas(16) unsigned char rest[16];
    _mm_store_si128((__m128i*)rest, _mm_shuffle_epi8(x, rev));
    *used = (size_t)(p - start);
    return UpdateSliced(0, rest, 16);
}

int DetectClmul()
{
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
    return (c & bit_PCLMUL) && (c & bit_SSSE3) && (c & bit_SSE4_1);
}

int HasClmul()
{
    static const int has = DetectClmul();
    return has;
}

#else
int HasClmul() { return 0; }
#endif

std::atomic<int> s_clmulOff{0};

// Below this the set-up of the folding costs more than it saves.
constexpr size_t CLMUL_MIN = 128;

uint32_t UpdateRegister(uint32_t c, const unsigned char* p, size_t n)
{
#if CRC_HAVE_X86
    if (n >= CLMUL_MIN && !s_clmulOff.load(std::memory_order_relaxed) && HasClmul()) {
        size_t used = 0;
        c = UpdateClmul(c, p, n, &used);
        p += used;
        n -= used;
    }
#endif
    return UpdateSliced(c, p, n);
}

constexpr size_t FILE_CHUNK = 64 * 1024;

// Folds the rest of an open file into *crc; 1 when it was read to the end.
int UpdateFromFile(FILE* f, uint32_t* crc, uint64_t* count)
{
    std::vector<unsigned char> buf(FILE_CHUNK);
    uint64_t total = 0;
    size_t got;
    while ((got = fread(buf.data(), 1, buf.size(), f)) > 0) {
        *crc = Crc32_Update(*crc, buf.data(), got);
        total += got;
    }
    if (count) *count = total;
    return !ferror(f);
}

int TreeWalk(const std::string& dir, const std::string& rel, uint32_t* crc)
{
    DIR* d = opendir(dir.c_str());
    if (!d) return 0;
    std::vector<std::string> names;
    while (struct dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        names.push_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end()); // std::string compares bytewise

    for (const std::string& name : names) {
        std::string full = dir == "/" ? "/" + name : dir + "/" + name;
        std::string relname = rel.empty() ? name : rel + "\\" + name;
        struct stat st;
        if (lstat(full.c_str(), &st) != 0) return 0;
        if (S_ISDIR(st.st_mode)) {
            if (!TreeWalk(full, relname, crc)) return 0;
            continue;
        }
        if (!S_ISREG(st.st_mode)) continue;
        // A name from readdir is already the Linux name: putting it through the
        // game-path resolver would turn a backslash in it into a separator.
        FILE* f = fopen(full.c_str(), "rb");
        if (!f) return 0;
        struct stat fst;
        if (fstat(fileno(f), &fst) != 0) {
            fclose(f);
            return 0;
        }
        unsigned char header[9] = {0};
        uint64_t size = (uint64_t)fst.st_size;
        for (int i = 0; i < 8; i++) header[1 + i] = (unsigned char)(size >> (8 * i));
        *crc = Crc32_Update(*crc, relname.data(), relname.size());
        *crc = Crc32_Update(*crc, header, sizeof header);
        uint64_t got = 0;
        int ok = UpdateFromFile(f, crc, &got);
        fclose(f);
        // A file that changed size while being read would give a value that
        // matches neither version of the tree.
        if (!ok || got != size) return 0;
    }
    return 1;
}

} // namespace

uint32_t Crc32_Update(uint32_t crc, const void* data, size_t length)
{
    if (length == 0 || !data) return crc;
    return ~UpdateRegister(~crc, static_cast<const unsigned char*>(data), length);
}

uint32_t Crc32_Block(const void* data, size_t length) { return Crc32_Update(0, data, length); }

int Crc32_SetCarryless(int enable)
{
    s_clmulOff.store(enable ? 0 : 1, std::memory_order_relaxed);
    return enable && HasClmul();
}

int Crc32_File(const char* path, uint32_t* crc)
{
    uint32_t value = 0;
    FILE* f = path ? Fs_Open(path, "rb") : nullptr;
    int ok = f && UpdateFromFile(f, &value, nullptr);
    if (f) fclose(f);
    if (crc) *crc = ok ? value : 0;
    return ok;
}

int Crc32_Tree(const char* dirpath, uint32_t* crc)
{
    uint32_t value = 0;
    int ok = 0;
    if (dirpath && *dirpath) {
        std::string dir = Fs_Resolve(dirpath);
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        ok = TreeWalk(dir, "", &value);
    }
    if (crc) *crc = ok ? value : 0;
    return ok;
}
