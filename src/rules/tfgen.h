// The general settings file: game-wide rule values that no type record
// carries (service rates and prices, health thresholds, the map-sound
// radius), the initial game speed and every team's default behaviour.
//
// A flat list of "Keyword(integers)" lines in any order; keywords are exact
// (case matters) and the last of a repeated one wins.
#pragma once

struct TF_PARSER;

struct GENERALRULES {
    int healspeed;   // hit points per heal step at full efficiency: efficiency x n / 100
    int healcost;    // credits per heal step; no step while the team has fewer
    int repairspeed; // as healspeed, for non-human units
    int repaircost;  // as healcost, for repairs
    int rearmspeed;  // percent of full ammunition per part per step at full efficiency
    int healthlow;   // at or below this percent of maximum hit points: critical
    int healthhigh;  // above this percent: healthy; between the two: damaged
    int sfxradius;   // tiles from the view's centre within which map sounds play, >= 1
};

extern GENERALRULES g_General;

// Service values to 0, thresholds to 33 and 66, the radius to 40.
void Tfgen_Reset(void);
// Parses the file at path and closes it: 0 when it can't be opened, else 1.
// Errors in the text are fatal (see Tfgen_ParseLine).
int Tfgen_Load(const char* path);
// Resets the thresholds and the radius, then reads keyword lines to the end of
// the text; returns 1. An unknown keyword is the fatal "Unknown string [%s]",
// a keyword without its parenthesised integers (the end of the text
// included) the fatal "Expected [%s] but found [%s]".
int Tfgen_ParseLine(TF_PARSER* parser);
