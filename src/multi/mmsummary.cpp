#include "multi/mmsummary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "map/map.h"
#include "platform/palette.h"
#include "units/iterate.h"
#include "units/team.h"

MULTI_scenario g_MultiScenario;
BITMAP MM_minimap;

void Mm_WriteRecord(uint8_t* out, const MULTI_scenario* in)
{
    Bytes_PutU32(out + 0, (uint32_t)in->size_x);
    Bytes_PutU32(out + 4, (uint32_t)in->size_y);
    memcpy(out + 8, in->tileset, 16);
    Bytes_PutU32(out + 24, (uint32_t)in->base_credits);
    Bytes_PutU32(out + 28, (uint32_t)in->team_count);
    for (int t = 0; t < MM_SUMMARY_TEAMS; t++) {
        uint8_t* p = out + 32 + t * MM_SUMMARY_TEAM_BYTES;
        const MULTI_scenario_team& r = in->teams[t];
        Bytes_PutU32(p + 0, (uint32_t)r.units);
        Bytes_PutU32(p + 4, (uint32_t)r.buildings);
        Bytes_PutU32(p + 8, (uint32_t)r.start_x);
        Bytes_PutU32(p + 12, (uint32_t)r.start_y);
        Bytes_PutU32(p + 16, (uint32_t)r.credits);
        Bytes_PutU32(p + 20, (uint32_t)r.group);
        for (int a = 0; a < MM_SUMMARY_TEAMS; a++) Bytes_PutU32(p + 24 + 4 * a, r.alliances[a]);
    }
}

void Mm_ReadRecord(const uint8_t* in, MULTI_scenario* out)
{
    out->size_x = (int32_t)Bytes_U32(in + 0);
    out->size_y = (int32_t)Bytes_U32(in + 4);
    memcpy(out->tileset, in + 8, 16);
    out->tileset[15] = 0; // a name always ends inside its field
    out->base_credits = (int32_t)Bytes_U32(in + 24);
    out->team_count = (int32_t)Bytes_U32(in + 28);
    for (int t = 0; t < MM_SUMMARY_TEAMS; t++) {
        const uint8_t* p = in + 32 + t * MM_SUMMARY_TEAM_BYTES;
        MULTI_scenario_team& r = out->teams[t];
        r.units = (int32_t)Bytes_U32(p + 0);
        r.buildings = (int32_t)Bytes_U32(p + 4);
        r.start_x = (int32_t)Bytes_U32(p + 8);
        r.start_y = (int32_t)Bytes_U32(p + 12);
        r.credits = (int32_t)Bytes_U32(p + 16);
        r.group = (int32_t)Bytes_U32(p + 20);
        for (int a = 0; a < MM_SUMMARY_TEAMS; a++) r.alliances[a] = Bytes_U32(p + 24 + 4 * a);
    }
}

static double Scale(int w, int h)
{
    const double sx = 128.0 / w, sy = 128.0 / h;
    return sx < sy ? sx : sy;
}

void Mm_ThumbnailSize(int w, int h, int* outw, int* outh)
{
    const double s = Scale(w, h);
    // The products exactly: 128 / 49 as a double lies below the true
    // quotient, and 49 times it then falls short of 128.
    *outw = (int)((long double)s * w);
    *outh = (int)((long double)s * h);
}

void Mm_FreeMinimap(void)
{
    Graph_FreeBitmap(&MM_minimap);
    memset(&MM_minimap, 0, sizeof MM_minimap);
}

int Mm_Save(const char* path, const BITMAP* picture)
{
    if (!picture || !picture->data || picture->x_size < 1 || picture->y_size < 1) {
        TLOG(TLOG_ERROR, "Cannot create file %s: no map picture", path);
        return 0;
    }
    const double s = Scale(picture->x_size, picture->y_size);
    int w, h;
    Mm_ThumbnailSize(picture->x_size, picture->y_size, &w, &h);
    BITMAP thumb{};
    if (!Graph_InitBitmap(&thumb, w, h, nullptr)) return 0;
    Graph_BlitStretch(&thumb, nullptr, 0, 0, 0, w, h, picture, 0, 0, picture->x_size, picture->y_size);
    // The grey table holds levels 0..63, not colours: each level becomes the
    // palette's entry nearest to that grey, so the thumbnail is a grey
    // picture in the palette it is drawn with.
    uint8_t greys[256];
    for (int i = 0; i < 256; i++) {
        const int v = 4 * std::min<int>(63, g_GreyRemap[i]);
        greys[i] = Graph_ColourMatch(Graph_Rgb15(v, v, v));
    }
    Graph_RemapRect(&thumb, nullptr, 0, 0, 0, w, h, greys);

    MULTI_scenario& m = g_MultiScenario;
    m.base_credits = MM_SUMMARY_NO_CREDITS;
    int counted = 0;
    for (int t = 0; t < 8; t++) {
        MULTI_scenario_team& r = m.teams[t];
        ITERATOR it;
        r.buildings = 0;
        Iterate_BuildInit(&it, t, 0);
        while (Iterate_BuildNext(&it)) r.buildings++;
        r.units = 0;
        Iterate_UnitInit(&it, t, 0, MM_ALL);
        while (Iterate_UnitNext(&it)) r.units++;
        const TEAM_DATA& td = teamdata[t];
        if (r.units || r.buildings) {
            counted++;
            if (td.credits < m.base_credits) m.base_credits = td.credits;
        }
        r.start_x = (int32_t)((td.startpos.x * s + 12) / 24);
        r.start_y = (int32_t)((td.startpos.y * s + 12) / 24);
        r.credits = td.credits;
        r.group = td.group;
        for (int a = 0; a < MM_SUMMARY_TEAMS; a++) r.alliances[a] = (uint32_t)td.relation[a];
    }
    m.team_count = counted;
    m.size_x = mapsizex;
    m.size_y = mapsizey;
    memset(m.tileset, 0, sizeof m.tileset);
    snprintf(m.tileset, sizeof m.tileset, "%s", g_TerrainName);

    std::vector<uint8_t> file(MM_SUMMARY_HEAD_BYTES + (size_t)w * h);
    Mm_WriteRecord(file.data(), &m);
    Bytes_PutU32(file.data() + MM_SUMMARY_RECORD_BYTES, (uint32_t)w);
    Bytes_PutU32(file.data() + MM_SUMMARY_RECORD_BYTES + 4, (uint32_t)h);
    memcpy(file.data() + MM_SUMMARY_HEAD_BYTES, thumb.data, (size_t)w * h);
    Graph_FreeBitmap(&thumb);
    if (!Fs_WriteAtomic(path, file.data(), file.size())) {
        TLOG(TLOG_ERROR, "Cannot create file %s", path);
        return 0;
    }
    return 1;
}

// The whole file, checked: 1 with its bytes, or 0 after logging why.
static int ReadChecked(const char* path, std::vector<uint8_t>* bytes)
{
    FILE* f = path ? Fs_Open(path, "rb") : nullptr;
    if (!f) {
        TLOG(TLOG_ERROR, "Cannot open file %s", path ? path : "(none)");
        return 0;
    }
    uint8_t chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes->insert(bytes->end(), chunk, chunk + n);
        if (bytes->size() > MM_SUMMARY_HEAD_BYTES + MM_SUMMARY_SIDE * MM_SUMMARY_SIDE) break;
    }
    fclose(f);
    if (bytes->size() < MM_SUMMARY_HEAD_BYTES) {
        TLOG(TLOG_ERROR, "%s: %zu bytes, a summary needs at least %d", path, bytes->size(),
             (int)MM_SUMMARY_HEAD_BYTES);
        return 0;
    }
    const int32_t w = (int32_t)Bytes_U32(bytes->data() + MM_SUMMARY_RECORD_BYTES);
    const int32_t h = (int32_t)Bytes_U32(bytes->data() + MM_SUMMARY_RECORD_BYTES + 4);
    if (w < 1 || w > MM_SUMMARY_SIDE || h < 1 || h > MM_SUMMARY_SIDE) {
        TLOG(TLOG_ERROR, "%s: offset %d: thumbnail of %d x %d, expected sides of 1..128", path,
             (int)MM_SUMMARY_RECORD_BYTES, w, h);
        return 0;
    }
    const size_t want = MM_SUMMARY_HEAD_BYTES + (size_t)w * (size_t)h;
    if (bytes->size() != want) {
        TLOG(TLOG_ERROR, "%s: %zu bytes, a %d x %d thumbnail makes %zu", path, bytes->size(), w, h, want);
        return 0;
    }
    return 1;
}

// A field brought into lo..hi; logs (warning) when it was outside and
// loud is set.
static void Clamp(const char* path, const char* field, int32_t* v, int32_t lo, int32_t hi, bool loud = true)
{
    if (*v >= lo && *v <= hi) return;
    const int32_t was = *v;
    *v = *v < lo ? lo : hi;
    if (loud) TLOG(TLOG_WARNING, "%s: %s %d outside %d..%d, taken as %d", path, field, was, lo, hi, *v);
}

static void BringIntoRange(const char* path, MULTI_scenario* m)
{
    Clamp(path, "credits", &m->base_credits, 0, MM_SUMMARY_CREDITS_MAX, m->base_credits != MM_SUMMARY_NO_CREDITS);
    Clamp(path, "team count", &m->team_count, 0, MM_SUMMARY_TEAMS - 1);
    Clamp(path, "map width", &m->size_x, 0, MAP_MAX_SIDE);
    Clamp(path, "map height", &m->size_y, 0, MAP_MAX_SIDE);
}

int Mm_Load(const char* path)
{
    Mm_FreeMinimap();
    std::vector<uint8_t> bytes;
    if (!ReadChecked(path, &bytes)) {
        memset(&g_MultiScenario, 0, sizeof g_MultiScenario);
        return 0;
    }
    Mm_ReadRecord(bytes.data(), &g_MultiScenario);
    BringIntoRange(path, &g_MultiScenario);
    const int w = (int)Bytes_U32(bytes.data() + MM_SUMMARY_RECORD_BYTES);
    const int h = (int)Bytes_U32(bytes.data() + MM_SUMMARY_RECORD_BYTES + 4);
    if (!Graph_InitBitmap(&MM_minimap, w, h, nullptr)) return 0;
    memcpy(MM_minimap.data, bytes.data() + MM_SUMMARY_HEAD_BYTES, (size_t)w * h);
    return 1;
}

int Mm_Browse(MULTI_scenario* out, const char* path)
{
    memset(out, 0, sizeof *out);
    std::vector<uint8_t> bytes;
    if (!ReadChecked(path, &bytes)) return 0;
    Mm_ReadRecord(bytes.data(), out);
    BringIntoRange(path, out);
    return 1;
}
