// Angles and the sine table.
#include "core/angle.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr double ANG_PI = 3.14159265358979323846;

// sin x for 0 <= x <= pi/2 by its Taylor series; 15 terms leave an error far
// below the float rounding that follows.
constexpr double ang_SinSeries(double x)
{
    double x2 = x * x;
    double term = x;
    double sum = x;
    for (int n = 1; n <= 15; n++) {
        term *= -x2 / ((2.0 * n) * (2.0 * n + 1.0));
        sum += term;
    }
    return sum;
}

// One quarter turn is computed; the other three are its mirror images, which
// makes sin(pi/2) exactly 1 and sin(pi) exactly 0.
constexpr std::array<float, UTIL_SINE_SIZE> ang_MakeSineTable()
{
    constexpr int QUARTER = UTIL_SINE_SIZE / 4;
    std::array<float, QUARTER + 1> q{};
    for (int j = 0; j <= QUARTER; j++) q[j] = (float)ang_SinSeries(ANG_PI / 2.0 * j / QUARTER);
    std::array<float, UTIL_SINE_SIZE> t{};
    for (int i = 0; i < UTIL_SINE_SIZE; i++) {
        int j = i % QUARTER;
        switch (i / QUARTER) {
        case 0: t[i] = q[j]; break;
        case 1: t[i] = q[QUARTER - j]; break;
        case 2: t[i] = j ? -q[j] : 0.0f; break;
        default: t[i] = -q[QUARTER - j]; break;
        }
    }
    return t;
}

} // namespace

constinit const std::array<float, UTIL_SINE_SIZE> g_SineTable = ang_MakeSineTable();

int32_t Util_VectorAngle(float x, float y)
{
    double radians = std::atan2(-(double)y, (double)x);
    // Multiplying by 2^24 first is exact, so the axes land on exact values.
    double units = radians * (double)UTIL_FULL_TURN / (2.0 * ANG_PI);
    if (!std::isfinite(units)) return 0;
    return (int32_t)(std::lround(units) & (UTIL_FULL_TURN - 1));
}

float Util_Sin(int32_t angle24)
{
    return g_SineTable[((uint32_t)angle24 >> 14) & (UTIL_SINE_SIZE - 1)];
}

float Util_Cos(int32_t angle24)
{
    return g_SineTable[(((uint32_t)angle24 >> 14) + UTIL_SINE_SIZE / 4) & (UTIL_SINE_SIZE - 1)];
}
