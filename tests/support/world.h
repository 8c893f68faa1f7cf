// A small game world for tests of units, buildings, teams and sight: a flat
// map made in memory, the map grid, sight, teams with their defaults,
// effects tables, and empty unit and building tables. Types are made by hand
// (the type files come later).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/testsupport.h"

struct UNITTYPE;
struct BUILDINGTYPE;

// Opens the world on a w x h map (every element altitude 4, terrain 1),
// group ids and the synchronised random stream back at their start.
void QvWorld_Open(int w, int h);
// Deletes every unit and building and closes what QvWorld_Open opened.
void QvWorld_Close(void);
// A unit type named name with the defaults, move mode mode.
UNITTYPE* QvWorld_UnitType(const char* name, int movemode = 3);
// A building type named name with a w x h footprint (every cell effect
// code 0), registered as an overlay-effect grid of the same name.
BUILDINGTYPE* QvWorld_BuildingType(const char* name, int w, int h);

// A digest of the game state: teams, units and buildings hashed field by
// field in a fixed order (pointers never, ids and positions always). Two
// runs of the same game give the same digest; later modules extend it.
uint64_t QvDigest_State(void);

// A saved-game file with its save ids replaced by block positions (globals
// then locals, from 0; 0xF0000000 and 0xFFFFFFFF kept, an id naming no
// block 0xEEEEEEEE) and its CRCs zeroed: equal games give equal canonical
// saves whatever their addresses. "" for a file that doesn't parse.
std::string QvSave_Canonical(const std::string& file);

// The fixture of most unit tests: the world open on a w x h map, ids counted
// from 1, a ground type "Tank" and a flying type "Jet", the log captured.
class QvWorldTest : public testing::Test {
protected:
    explicit QvWorldTest(int w = 64, int h = 64) : w_(w), h_(h) {}
    void SetUp() override;
    void TearDown() override;

    QvLogCapture log_;
    UNITTYPE* tank_ = nullptr;
    UNITTYPE* jet_ = nullptr;

private:
    int w_, h_;
};
