// The end-condition and state-machine files.
//
// Both have one layout: DefineEndCondTree(timelimit) or DefineAICondTree(),
// then in braces an optional Description("text") and the states, each
// DefineCondState() { ... } with its conditions (DefineCondition(next expiry
// delay spare "text") { criterion }) and entry actions. Keywords are
// compared exactly. A broken file stops the program with the file and line;
// the regions and special forces a file names must exist already (the
// scenario file, read first, defines them).
#pragma once

struct TF_PARSER;
struct CRITERIA;

enum { TFENDCND_MAXDEPTH = 64 };   // criteria nested inside one another

// Reads the rest of a file whose first keyword the caller matched: kind 0
// (ENDCOND_END) an end-condition tree, 1 (ENDCOND_FSM) a state machine, for
// team 0..8 (asserted). The tree goes into the team's slot of that kind at
// once. 1 on success; every error is fatal: "%s already defined for player
// %d" for a filled slot, "Text file syntax error", "Unknown string [%s]",
// "Invalid criteria", the region and special-force errors, a next state
// outside 0..the number of states (at the condition's line) and the end of
// the text inside braces ("Expected [}] but found [EOF]").
int Tfendcnd_Load(TF_PARSER* parser, int kind, int team);
// Reads one criterion (recursively) into a new node stored in *node before
// anything else is read; 1, or 0 on a syntax error or a missing region (the
// caller reports it). Unknown keywords are fatal "Invalid criteria".
int Tfendcnd_ParseCriteria(TF_PARSER* parser, CRITERIA** node);

// The description of the team's file (kind 0 its end-condition file, 1 its
// state machine of variation 0), found in the scenario's folder or the "aip"
// directory: a new copy the caller frees, or a copy of "No Endcondition
// specified for team." / "No FSM specified for team." when the team names no
// file, or null when the file is missing or doesn't begin with the tree's
// header and a Description. Never stops the program.
char* Endcond_ReadDescription(int team, int kind);
