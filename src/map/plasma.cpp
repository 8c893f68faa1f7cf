// Plasma height field: diamond-square midpoint displacement on a square of
// 2^k + 1 points that covers the requested size.
//
// Every height is drawn from the runtime generator in one fixed order (the
// four corners, then per level the square centres row by row, then the edge
// midpoints row by row), so a seed always gives the same field. Heights are
// kept inside 1..144 as they are made, so that a rough grain saturates a
// point, not the averages built on it.
//
// Displacement of a point made at step s (the distance to the points it
// averages): (r - mask / 2) * s / 1024 with r = Crt_Rand() & mask. It
// shrinks with the step, so large features come from the first levels and
// the detail from the last; with mask 0 it is 0.
#include "map/plasma.h"

#include <algorithm>

#include "core/debug.h"
#include "core/rand.h"
#include "core/tlog.h"

namespace {

struct FIELD {
    int side;   // points per row, 2^k + 1
    int32_t* h;
    int32_t& at(int x, int y) { return h[(size_t)y * side + x]; }
};

int32_t Clamp(int32_t v) { return std::clamp<int32_t>(v, PLASMA_MIN_HEIGHT, PLASMA_MAX_HEIGHT); }

int32_t Displace(int32_t mask, int step)
{
    int32_t r = Crt_Rand() & mask;
    return (r - (mask >> 1)) * step / 1024;   // mask is at most 32767: no overflow
}

// The centre of each square of side 2 * half, from its four corners.
void SquareCentres(FIELD& f, int half, int32_t mask)
{
    for (int y = half; y < f.side; y += 2 * half)
        for (int x = half; x < f.side; x += 2 * half) {
            int32_t sum = f.at(x - half, y - half) + f.at(x + half, y - half) +
                          f.at(x - half, y + half) + f.at(x + half, y + half);
            f.at(x, y) = Clamp(sum / 4 + Displace(mask, half));
        }
}

// The edge midpoints, each from its (3 or 4) neighbours at distance half.
void EdgeMidpoints(FIELD& f, int half, int32_t mask)
{
    for (int y = 0; y < f.side; y += half) {
        int x0 = ((y / half) % 2 == 0) ? half : 0;
        for (int x = x0; x < f.side; x += 2 * half) {
            int32_t sum = 0;
            int n = 0;
            if (x >= half) { sum += f.at(x - half, y); n++; }
            if (x + half < f.side) { sum += f.at(x + half, y); n++; }
            if (y >= half) { sum += f.at(x, y - half); n++; }
            if (y + half < f.side) { sum += f.at(x, y + half); n++; }
            f.at(x, y) = Clamp(sum / n + Displace(mask, half));
        }
    }
}

} // namespace

int Plasma_Generate(uint8_t* buffer, int w, int h, int grain, unsigned seed)
{
    if (!buffer || w < 1 || h < 1 || w > PLASMA_MAX_SIDE || h > PLASMA_MAX_SIDE) {
        TLOG(TLOG_ERROR, "Plasma_Generate: refused a %d x %d field%s (at most %d x %d)", w, h,
             buffer ? "" : " without a buffer", PLASMA_MAX_SIDE, PLASMA_MAX_SIDE);
        return 0;
    }
    Crt_Srand(seed);
    // The generator gives 15 bits, so the bits of the mask above them draw
    // nothing; centring on half the usable mask keeps the displacement even.
    int32_t mask = (65535 >> (grain & 31)) & 0x7FFF;

    int n = 1;
    while (n < std::max(w, h) - 1) n *= 2;
    FIELD f{n + 1, nullptr};
    f.h = static_cast<int32_t*>(Debug_Malloc(sizeof(int32_t) * (size_t)f.side * f.side));

    f.at(0, 0) = PLASMA_MIN_HEIGHT + Crt_Rand() % PLASMA_MAX_HEIGHT;
    f.at(n, 0) = PLASMA_MIN_HEIGHT + Crt_Rand() % PLASMA_MAX_HEIGHT;
    f.at(0, n) = PLASMA_MIN_HEIGHT + Crt_Rand() % PLASMA_MAX_HEIGHT;
    f.at(n, n) = PLASMA_MIN_HEIGHT + Crt_Rand() % PLASMA_MAX_HEIGHT;
    for (int half = n / 2; half >= 1; half /= 2) {
        SquareCentres(f, half, mask);
        EdgeMidpoints(f, half, mask);
    }

    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) buffer[(size_t)y * w + x] = (uint8_t)f.at(x, y);
    Debug_Free(&f.h);
    return 1;
}
