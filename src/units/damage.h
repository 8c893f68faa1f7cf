// The damage table and the damage formula.
//
// Every weapon has an offense class (A0 .. Z9) and every target type a
// defense class. The table holds, for each defense class and each declared
// offense class, how much of a weapon's strength gets through, how far it
// varies and how often a hit is critical. Offense classes get their columns
// in the order "damage.txt" declares them, so only the declared ones take
// room; the weapon loader turns a class name into its column with
// Damage_OffenseColumn and keeps the column.
//
// The formula draws from the synchronised random stream, and only when an
// entry asks for it (a critical percentage or a deviation above 0): every
// machine of a game must draw the same numbers in the same order.
#pragma once

#include <cstdint>

#include "core/tfparse.h"

enum {
    MAXOFFENSECLASSES = 260, // A0 .. Z9: (letter - 'A') x 10 + digit
    MAXDEFENSECLASSES = 40,
    DAMAGE_NAMELEN = 64,     // defense names: 63 characters and the terminator
};

// What a hit of one offense column does to one defense class.
struct DAMAGEENTRY {
    uint16_t damage;   // percentage of the weapon's strength
    uint8_t deviation; // the percentage varies by -deviation .. deviation-1
    uint8_t critical;  // percentage of hits that do full damage
};

struct DAMAGEDEFENSE {
    char name[DAMAGE_NAMELEN];
    DAMAGEENTRY* row; // MAXOFFENSECLASSES entries indexed by column; null until the first entry
    uint16_t defaultdamage;
    uint16_t defaultdeviation;
    uint16_t defaultcritical;
};

// What a weapon brings to a hit: its offense column, strength and area radius.
struct OFFENSEINFO {
    int offense;
    int hitpoints;
    int areaeffect;
};

// ---- life cycle (the common game systems)

// Empties the table: no columns, no defense classes, every class undeclared.
// Empties the tables (a reload, a failed load).
void Damage_FreeAll(void);
void Damage_Init(void);
// Frees every defense record and its row; both counts 0.
void Damage_Close(void);

// ---- offense classes

// The class 0..259 of a name of a letter (either case) and a digit; -1 for
// anything else ("AA", "5A", "A", "A10").
int Damage_OffenseIndex(const char* name);
// Gives the class the next column and returns it; -1 when the class already
// has one. Asserts the class is 0..259.
int Damage_AddOffense(int offense);
// The class's column, or -1 when it was not declared. Asserts 0..259.
int Damage_OffenseEntry(int offense);
// The column of a class name, -1 when the name is malformed or undeclared.
int Damage_OffenseColumn(const char* classname);
// The number of declared offense classes (columns).
int Damage_ColumnCount(void);

// ---- defense classes

// A new defense class (name cut to 63 characters) with these defaults and no
// row; -1 when a class of that name exists (case ignored) or the table holds
// MAXDEFENSECLASSES already.
int Damage_AddDefense(const char* name, int damage, int deviation, int critical);
// The defense class of that name (case ignored), or -1.
int Damage_FindDefense(const char* name);
// The number of defense classes.
int Damage_DefenseCount(void);
// The record of a defense class, or null when out of range.
const DAMAGEDEFENSE* Damage_GetDefense(int defense);
// Sets the entry of an offense class (0..259) for a defense; nothing when the
// class has no column. The first entry of a defense creates its row with the
// defense's defaults. Asserts the defense and class exist as indexes.
void Damage_SetEntry(int defense, int offenseclass, int damage, int deviation, int critical);
// Damage_SetEntry for the ten classes of a letter index 0..25 (A = 0).
void Damage_SetGroupEntries(int defense, int letter, int damage, int deviation, int critical);

// ---- the formula

// Hit points of damage that a hit of the offense column with hitpoints of
// strength does to targetdefense at targetdefensestrength percent, at
// distance from the centre of an area of radius areaeffect. *critical is set
// to whether the hit was critical (a critical hit does hitpoints in full),
// except for a defense without a row: that logs "No entries for defense %d
// (%s)" and returns hitpoints with *critical untouched. Beyond the area: 0.
// Draws Rand_Next(100) when the entry's critical percentage is above 0, then
// Rand_Next(2 x deviation) when its deviation is above 0 and the hit was not
// critical. May be negative when damage + deviation < 0. Asserts the column
// and defense exist.
int Damage_GetDamage(int offense, int targetdefense, int hitpoints, int targetdefensestrength,
                     int areaeffect, int distance, int* critical);

// ---- the damage file

// Reads "damage.txt" into the table (see Tfweapon_LoadDamage in damage.cpp
// for the syntax); 1 on success, 0 when the file can't be opened or an entry
// value is missing (logged with the file and line). Malformed class names,
// duplicate or too many defense classes and wrong brackets are fatal
// text-file errors naming the file and line.
int Tfweapon_LoadDamageFile(const char* path);
// The same over an open parser (tests, fuzzing); the parser stays open.
int Tfweapon_LoadDamage(TF_PARSER* parser);

// SetVulnerability "(" defense strength ")": *defense gets the class of the
// named defense, *strength the integer. 0 when the text ends early, or when
// the defense is unknown: that logs "No match for defense [%s] in
// damage.txt" with the file and line.
int Textfile_ParseSetVulnerability(TF_PARSER* parser, int keyword_read, int* defense,
                                   int* strength);
