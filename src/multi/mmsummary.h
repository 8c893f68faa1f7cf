// The multiplayer summary file "QUORVEX.mm" beside each multiplayer
// scenario: map size, tile set, credits, each team's counts, start location
// and relations, and a grey thumbnail of the map at most 128 pixels a side
// (byte table in docs/formats.md, "Multiplayer summary").
//
// The readers take nothing on trust: a file that is missing, short, or whose
// thumbnail size disagrees with its length is refused with a logged reason,
// leaving an empty record and no thumbnail, and the caller goes on. Values
// that no map has are brought into range with a logged warning: credits to
// 0..99999999 (so "no credits", 999999999, reads as the largest the page
// can show, without a warning), the team count to 0..8, map sides to
// 0..512.
#pragma once

#include <cstdint>

#include "platform/graph.h"

enum {
    MM_SUMMARY_TEAMS = 9,
    MM_SUMMARY_TEAM_BYTES = 60,
    MM_SUMMARY_RECORD_BYTES = 32 + MM_SUMMARY_TEAMS * MM_SUMMARY_TEAM_BYTES, // 572
    MM_SUMMARY_HEAD_BYTES = MM_SUMMARY_RECORD_BYTES + 8,                     // 580
    MM_SUMMARY_SIDE = 128,
    MM_SUMMARY_NO_CREDITS = 999999999,
    MM_SUMMARY_CREDITS_MAX = 99999999, // what the staging page's 8-character field shows
};

struct MULTI_scenario_team {
    int32_t units;
    int32_t buildings;
    int32_t start_x, start_y; // thumbnail pixels
    int32_t credits;
    int32_t group;
    uint32_t alliances[MM_SUMMARY_TEAMS];
};

struct MULTI_scenario {
    int32_t size_x, size_y;
    char tileset[16];
    int32_t base_credits;
    int32_t team_count;
    MULTI_scenario_team teams[MM_SUMMARY_TEAMS];
};

// The summary last loaded or saved, and the staging thumbnail.
extern MULTI_scenario g_MultiScenario;
extern BITMAP MM_minimap;

// The thumbnail side for a picture side, as the writer scales it: the
// smaller of 128 / w and 128 / h, times the side, taken exactly (49 gives 127).
void Mm_ThumbnailSize(int w, int h, int* outw, int* outh);
// Computes the loaded scenario's summary (teams 0..7; record 8 as held) and
// writes it through a temporary file; 1, or 0 after logging "Cannot create
// file %s" (the previous file stays).
int Mm_Save(const char* path, const BITMAP* map_picture);
// Reads the whole file into g_MultiScenario and MM_minimap (its previous
// pixels freed); 1, or 0 with an empty record and no thumbnail after
// logging "Cannot open file %s" or the reason with the file name.
int Mm_Load(const char* path);
// Reads only the fixed record, checked as Mm_Load checks the file; 0 leaves
// out zeroed.
int Mm_Browse(MULTI_scenario* out, const char* path);
// The record's 572 bytes, and back (field by field, little-endian).
void Mm_WriteRecord(uint8_t* out, const MULTI_scenario* in);
void Mm_ReadRecord(const uint8_t* in, MULTI_scenario* out);
// Frees the thumbnail's pixels.
void Mm_FreeMinimap(void);
