// The unit-type file: every unit type of the game with its parts (turrets
// and weapon mounts) and their weapons.
//
// The file is a sequence of DefineUnitType("sym") { ... } blocks. Keywords
// are exact (case matters) except inside SetRequirements, whose required
// lines ignore case. Each keyword takes a fixed argument list; a list that
// is short, holds a bracket where a value belongs, or a word where a number
// belongs stops at once with "Expected Integer", "Expected String" or
// "Expected Float"; one value too many with "Expected [)] but found [%s]".
//
// Two routes for errors, both naming the file and the line: argument lists,
// images, effects, modes, too many equivalents, "Wrong number of
// parameters", the shadow-sprite check and the end of the file inside a
// block stop at once (TF_Error). Unknown keywords, undefined types,
// explosions and weapons, the decoy and weapon rules, a fourth part and a
// resource index outside the table are logged with "Error in file [%s] at
// line [%d]" and fail the block, which stops with "Unable to parse unit type
// definition".
#pragma once

struct TF_PARSER;
struct UNITTYPE;
struct PARTTYPE;

// Reads the file at path: 0 when it can't be opened, else 1 (every error in
// the text is fatal, see above).
int Tfunit_DefineUnitType(const char* path);
// The same over an open parser (tests, fuzzing); the parser stays open.
// After the blocks, when the scenario preset the sides and the start-units
// option is off, resolves the equivalent units (MpTeams_ResolveEquivalentUnits).
int Tfunit_ParseFile(TF_PARSER* parser);
// Reads one block after the token DefineUnitType into a new unit type: 1 when
// the type is valid (Units_IsValidType), 0 when it isn't or a line failed
// (logged with the file and line), or when UNITS_MAXTYPES types exist. A
// valid type with SetDefaultUnit above 0 joins its side's start units; its
// equivalent names are kept when the sides are preset and the start-units
// option is off.
int Tfunit_ParseUnitType(TF_PARSER* parser);
// Reads one part block after the token AddPart ("{" directly) into a new
// part type of unittype, validated by Parts_SetupType: the part type, or null
// when a line or the validation failed (logged with the file and line).
PARTTYPE* Tfunit_ParsePart(TF_PARSER* parser, UNITTYPE* unittype);
// Forgets every unit and part type with their sprites, the start units and
// the unit equivalents, so that the file can be read again from scratch.
void Tfunit_Reset(void);
