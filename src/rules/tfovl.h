// The thing file (the types of the map's things) and the effect files:
// overlay-effect grids (the footprints that things and
// buildings put on tiles) and a terrain's effects tables with its texture
// defaults.
//
// Top-level keywords of the terrain-effects file are read without regard to
// case, every other keyword exactly. Every error is fatal and names the file
// and line; a block that the end of the file cuts off is one of them, since a
// truncated file would otherwise load as a whole one.
#pragma once

struct TF_PARSER;

// Reads the overlay-effects file at path: 0 when it can't be opened, else 1.
// Blocks are DefineOvlEffect("name" w h) { w x h pairs of integers }, row by
// row; a value of -1 is stored as EFFECTS_NOT_FOOTPRINT. Fatal: "Unknown
// string [%s]" for another top-level token, "Unable to add ovl effect" for a
// side outside 1..EFFECTS_OVL_MAX_SIDE or a repeated name, "Expected [%s] but
// found [%s]" for a missing number or bracket.
int Tfovl_LoadOvlEffects(const char* path);
int Tfovl_ParseOvlEffects(TF_PARSER* parser);

// Reads the terrain-effects file at path: -1 when it can't be opened, else 0.
// DefineEffectType("name" value second) { SetEffect(row col value second) |
// SetOvlEffect(n value second) } makes one effects table;
// SetTerrainOffense(row col "offense" strength) sets a texture default to
// {letter x 10 + digit, strength}. Fatal: "Unknown string [%s]" at the top,
// "Unexpected function [%s]" in a table, "Limit of %d special effects
// exceeded", a table beyond EFFECTS_MAX_TABLES, a cell outside its table, an
// offense that is not a letter and a digit.
int Tfovl_LoadTerrainEffects(const char* path);
int Tfovl_ParseTerrainEffects(TF_PARSER* parser);

// Reads the thing file at path: 0 when it can't be opened, else 1.
// SetMaxThingLevels(n) first, then DefineThingType("sym") { SetThingImage(
// "anim") lines } blocks, each one thing type with its menu image. Fatal:
// "Unable to parse DefineThingType" after a logged cause, "Unable to
// allocate new overlay type" beyond OVL_MAX_TYPES, "Expected [%s] but found
// [%s]" for another top-level token.
int Tfovl_LoadThings(const char* path);
int Tfovl_ParseThings(TF_PARSER* parser);
// Reads one block after the keyword DefineThingType: 1, or 0 (logged with
// the file and line) when it fails.
int Tfovl_DefineThingType(TF_PARSER* parser);
// The size of a thing type's menu image for an sx x sy sprite: the sprite's
// proportions within 54 x 40, smaller sprites keeping their size.
void Tfovl_MenuImageSize(int sx, int sy, int* w, int* h);
// Reloads the animation types' sprites in place, then makes every thing
// type's menu image again from its sprite (a new palette).
void Tfovl_FreeThingImages(void);
