// The building-type file: every building type with its images and
// footprint, cost, sight, resources, production abilities, animations,
// upgrade and decoy links and prerequisites.
//
// DefineBuildingType("sym") { keyword lines } blocks, the top-level keyword
// in any case, the keywords inside a block exact. Every error ends the
// program naming the file and line: a block whose keyword logged a cause
// fails as a whole ("Failed on parsing of DefineBuildingType()"), and so
// does a block that the end of the file cuts off. Types refer to unit types,
// explosion types, thing types, game messages and overlay-effect grids read
// before this file.
#pragma once

struct TF_PARSER;

// Reads the file at path: 0 when it can't be opened, else 1. Blocks beyond
// BUILD_MAXTYPES types are not read (logged "Max of [%d] building types
// reached"). Equivalent building names are resolved afterwards while they
// are in use.
int BuildingType_LoadFile(const char* path);
// The same over an open parser (tests, fuzzing); the parser stays open.
int BuildingType_Parse(TF_PARSER* parser);
// One block, after the keyword DefineBuildingType when keyword_read (else
// it is expected first): 1, or 0 when it fails (the cause logged with the
// file and line). Fatal (class 4) "No effects for [%s]", "Missing image
// definitions for building [%s]", "Repeat building type symbol [%s]"; fatal
// text-file errors for a malformed argument list, an efficiency line whose
// two points share their x, a footprint outside 1..BUILD_MAXSIDE tiles and a
// bay outside the footprint grid.
int BuildingType_ParseDefinition(TF_PARSER* parser, int keyword_read);
// Reloads every type's sprites in place (images 2, 1 and 3, then the shadow):
// placed buildings keep valid sprites. Fatal "Unable to reload [%s]" and
// "Incompatible sprites [%s] and [%s]".
void BuildingType_ReloadSprites(void);
// After a change of tile set: the sprites are rebuilt against the new
// palette by reloading them in place (BuildingType_ReloadSprites).
void BuildingType_FreeSprites(void);
