// Unit matching: every unit measured by one number, its strength as a given
// computer team sees it: how hard its type hits (damage over fire delay of
// its first weapon), scaled by the unit's hit points and the team's plan.
#pragma once

struct UNIT;

// Computes the type strength table for every unit type, logging "Unit Name
// '%s' Symbol '%s' strength %4.4f basic %4.4f" per type.
void AI_Match_Init(void);
// Empties the type strength table and resets every team's factors.
void AI_Match_Close(void);
// The team's multipliers and addends become 1.0 for all 100 types.
void AiMatch_ResetFactors(int team);
// From the team's plan (none: the factors stay): multiplier = unit matching
// x basic strength, addend = unit matching x second value, per type.
void AiMatch_ApplyPlan(int team);
// trunc(hit points x multiplier + addend) for the unit's type and the team,
// at least 1; asserts the unit, its type, the team and the type index.
int AiMatch_UnitStrength(const UNIT* the_unit, int team);
// The basic strength of a type index, computed directly (0 for no type).
float AiMatch_TypeStrength(int type);
// The team's multiplier of a type index (tests and the digest).
float AiMatch_Multiplier(int team, int type);
