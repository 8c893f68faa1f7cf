// Player orders of every kind built at random, from a stream of their own
// (never the simulation's), by a sending team to its own units and buildings
// and now and then to other teams': what the order sweep and the long-game
// hunt give the computer players' units.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

struct UNIT;
struct BUILDING;
struct UNITLIST;

// The team's units on the map's lists; those of them that can build.
std::vector<UNIT*> TeamUnits(int team);
std::vector<UNIT*> TeamCrews(int team);

class OrderBuilder {
public:
    explicit OrderBuilder(uint32_t seed) : rng_(seed) {}
    // 0..n-1 from the stream; 0 when n <= 0.
    int Pick(int n) { return n > 0 ? (int)(rng_() % (unsigned)n) : 0; }
    uint32_t Next() { return rng_(); }
    // Queues the order of code from team with arguments drawn from the
    // stream: a selection of 1 to 4 of its units, tiles near its base, its
    // units and buildings mostly (one time in four any team's), a construct
    // order to one of its crews mostly. QSURRENDER surrenders team 7 from
    // update 3000 on and is a Stop before; unknown codes go out bare.
    void Send(int code, int team);

private:
    std::mt19937 rng_;
    int Owner(int team);
    int UnitId(int team);
    BUILDING* Building(int team);
    int BuildingId(int team);
    void Tile(int team, int* x, int* y);
    void Select(int team, UNITLIST* sel);
    void Raw(int code, int team);
};
