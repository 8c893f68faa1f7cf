#include "rules/tfovl.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <strings.h>
#include <vector>

#include "core/error.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "map/overlay.h"
#include "platform/animtype.h"
#include "platform/effects.h"
#include "platform/graph.h"
#include "platform/sprite.h"
#include "units/expltype.h"
#include "units/hlthexpl.h"

typedef std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> PARSER_PTR;

// ---- reading with the end of the file as an error

static int ReadNumber(TF_PARSER* parser)
{
    char token[TF_FIELD];
    if (!TF_GetValue(parser, token, sizeof token)) TF_ReportExpected(parser, "_number_", "EOF");
    return Str_ToInt(token);
}

static void ReadName(TF_PARSER* parser, char* field)
{
    if (!TF_GetValue(parser, field, TF_FIELD)) TF_ReportExpected(parser, "_name_", "EOF");
}

static void Open(TF_PARSER* parser, int brace)
{
    if (!(brace ? TF_ExpectOpenBrace(parser) : TF_ExpectOpenParen(parser)))
        TF_ReportExpected(parser, brace ? "{" : "(", "EOF");
}

static void Close(TF_PARSER* parser, int brace)
{
    if (!(brace ? TF_ExpectCloseBrace(parser) : TF_ExpectCloseParen(parser)))
        TF_ReportExpected(parser, brace ? "}" : ")", "EOF");
}

// ---- overlay-effect grids

static uint8_t GridByte(int value)
{
    return value == -1 ? (uint8_t)EFFECTS_NOT_FOOTPRINT : (uint8_t)value;
}

static void ReadOvlEffect(TF_PARSER* parser)
{
    char name[TF_FIELD];
    Open(parser, 0);
    ReadName(parser, name);
    int w = ReadNumber(parser);
    int h = ReadNumber(parser);
    Close(parser, 0);
    // Checked before the cells are read: a hostile size must not size a buffer.
    if (w < 1 || h < 1 || w > EFFECTS_OVL_MAX_SIDE || h > EFFECTS_OVL_MAX_SIDE ||
        Effects_FindType(name)) {
        TF_Error(parser, "Unable to add ovl effect");
    }
    Open(parser, 1);
    std::vector<uint8_t> grid((size_t)w * h * 2);
    for (uint8_t& b : grid) b = GridByte(ReadNumber(parser));
    Close(parser, 1);
    if (!Effects_AddOvlEffect(name, w, h, grid.data())) TF_Error(parser, "Unable to add ovl effect");
}

int Tfovl_ParseOvlEffects(TF_PARSER* parser)
{
    char token[TF_FIELD];
    while (TF_GetToken(parser, token, sizeof token)) {
        if (strcmp(token, "DefineOvlEffect") != 0) TF_Error(parser, "Unknown string [%s]", token);
        ReadOvlEffect(parser);
    }
    return 1;
}

int Tfovl_LoadOvlEffects(const char* path)
{
    PARSER_PTR parser(TF_Open(path), TF_Close);
    if (!parser) return 0;
    return Tfovl_ParseOvlEffects(parser.get());
}

// ---- terrain effects

enum { SPECIAL_EFFECTS = 16 };

static void SetCell(TF_PARSER* parser, EFFECTTYPE* table, int row, int col, int value, int second)
{
    if (!Effects_SetEffect(table, row, col, value, second))
        TF_Error(parser, "Effect cell (%d, %d) is outside the table (rows 0..%d, columns -1..%d)",
                 row, col, EFFECTS_ROWS - 1, EFFECTS_COLUMNS - 1);
}

static void ReadSetEffect(TF_PARSER* parser, EFFECTTYPE* table)
{
    Open(parser, 0);
    int row = ReadNumber(parser), col = ReadNumber(parser);
    int value = ReadNumber(parser), second = ReadNumber(parser);
    Close(parser, 0);
    SetCell(parser, table, row, col, value, second);
}

static void ReadSetOvlEffect(TF_PARSER* parser, EFFECTTYPE* table)
{
    Open(parser, 0);
    int n = ReadNumber(parser);
    int value = ReadNumber(parser), second = ReadNumber(parser);
    Close(parser, 0);
    if (n >= SPECIAL_EFFECTS) TF_Error(parser, "Limit of %d special effects exceeded", SPECIAL_EFFECTS);
    // A negative number would land on column -1, the whole row.
    if (n < 0) TF_Error(parser, "Bad special effect [%d]", n);
    SetCell(parser, table, EFFECTS_SPECIAL_ROW + n / EFFECTS_COLUMNS, n % EFFECTS_COLUMNS, value,
            second);
}

static void ReadEffectType(TF_PARSER* parser)
{
    char name[TF_FIELD];
    Open(parser, 0);
    ReadName(parser, name);
    int value = ReadNumber(parser), second = ReadNumber(parser);
    Close(parser, 0);
    EFFECTTYPE* table = Effects_NewTable(name, value, second);
    if (!table) TF_Error(parser, "Too many effects tables (at most %d)", EFFECTS_MAX_TABLES);
    Open(parser, 1);
    char token[TF_FIELD];
    for (;;) {
        int quoted = 0;
        if (!TF_GetTokenQuoted(parser, token, sizeof token, &quoted))
            TF_ReportExpected(parser, "}", "EOF");
        if (!quoted && strcmp(token, "}") == 0) return;
        if (strcmp(token, "SetEffect") == 0) ReadSetEffect(parser, table);
        else if (strcmp(token, "SetOvlEffect") == 0) ReadSetOvlEffect(parser, table);
        else TF_Error(parser, "Unexpected function [%s]", token);
    }
}

static void ReadTerrainOffense(TF_PARSER* parser)
{
    char offense[TF_FIELD];
    Open(parser, 0);
    int row = ReadNumber(parser), col = ReadNumber(parser);
    ReadName(parser, offense);
    int strength = ReadNumber(parser);
    Close(parser, 0);
    if (!isalpha((unsigned char)offense[0]) || !isdigit((unsigned char)offense[1]))
        TF_Error(parser, "Bad terrain offense [%s] (a letter and a digit)", offense);
    int code = (toupper((unsigned char)offense[0]) - 'A') * 10 + (offense[1] - '0');
    if (!Effects_SetTextureDefault(row, col, code, strength))
        TF_Error(parser, "Terrain cell (%d, %d) is outside the table (rows 0..%d, columns -1..%d)",
                 row, col, EFFECTS_TEXTURE_ROWS - 1, EFFECTS_COLUMNS - 1);
}

int Tfovl_ParseTerrainEffects(TF_PARSER* parser)
{
    char token[TF_FIELD];
    while (TF_GetToken(parser, token, sizeof token)) {
        if (strcasecmp(token, "DefineEffectType") == 0) ReadEffectType(parser);
        else if (strcasecmp(token, "SetTerrainOffense") == 0) ReadTerrainOffense(parser);
        else TF_Error(parser, "Unknown string [%s]", token);
    }
    return 0;
}

int Tfovl_LoadTerrainEffects(const char* path)
{
    PARSER_PTR parser(TF_Open(path), TF_Close);
    if (!parser) return -1;
    return Tfovl_ParseTerrainEffects(parser.get());
}

// ---- thing types

enum { MENU_W = 54, MENU_H = 40, MENU_WSCALE = 13952, MENU_HSCALE = 10368, MAKESCRATER_MAX = 7 };

void Tfovl_MenuImageSize(int sx, int sy, int* w, int* h)
{
    // Multiplied before dividing, so that a sprite twice as wide as high
    // keeps those proportions exactly.
    int64_t x = sx, y = sy;
    bool widthlimits = sx > MENU_W, heightlimits = sy > MENU_H;
    if (widthlimits && (!heightlimits || MENU_WSCALE * y <= MENU_HSCALE * x)) {
        x = x * MENU_WSCALE / sx / 256;
        y = y * MENU_WSCALE / sx / 256;
    } else if (heightlimits) {
        x = x * MENU_HSCALE / sy / 256;
        y = y * MENU_HSCALE / sy / 256;
    }
    *w = x < 1 ? 1 : (int)x;
    *h = y < 1 ? 1 : (int)y;
}

static void MakeMenuImage(OVERLAYTYPE* t)
{
    Graph_FreeBitmap(&t->menuimage);
    if (!t->sprite || t->sx < 1 || t->sy < 1) return;
    BITMAP work{};
    if (!Graph_InitBitmap(&work, t->sx, t->sy, nullptr)) return;
    Graph_DrawRLE(&work, nullptr, 0, 0, 0, Sprite_GetFrame(t->sprite, 0, 0), t->sx, t->sy, nullptr,
                  Sprite_GetKind(t->sprite), RENDER_OPAQUE);
    int w, h;
    Tfovl_MenuImageSize(t->sx, t->sy, &w, &h);
    if (Graph_InitBitmap(&t->menuimage, w, h, nullptr))
        Graph_BlitStretch(&t->menuimage, nullptr, 0, 0, 0, w, h, &work, 0, 0, t->sx, t->sy);
    Graph_FreeBitmap(&work);
}

// A failure inside a block: logged with where, then the block fails.
static int Fail(TF_PARSER* parser, const char* fmt, const char* arg)
{
    TLOG(TLOG_ERROR, fmt, arg);
    TF_ReportErrorLine(parser);
    return 0;
}

static ANIMTYPE* ReadAnim(TF_PARSER* parser)
{
    char name[TF_FIELD];
    if (!TF_GetParenString(parser, name)) TF_ReportExpected(parser, "_name_", "EOF");
    ANIMTYPE* a = AnimType_Find(name);
    if (!a) Fail(parser, "Animation type \"%s\" not previously defined\n", name);
    return a;
}

static int ReadOne(TF_PARSER* parser)
{
    int v;
    if (!TF_GetParenInt(parser, &v)) TF_ReportExpected(parser, "_number_", "EOF");
    return v;
}

static void ReadTwo(TF_PARSER* parser, int* a, int* b)
{
    if (!TF_GetParenInt2(parser, a, b)) TF_ReportExpected(parser, "_number_", "EOF");
}

static void ReadNone(TF_PARSER* parser)
{
    if (!TF_ExpectEmptyParens(parser)) TF_ReportExpected(parser, ")", "EOF");
}

static int ThingShadow(TF_PARSER* p, OVERLAYTYPE* t, int)
{
    t->shadowanimtype = ReadAnim(p);
    return t->shadowanimtype != nullptr;
}

static int ThingLevel(TF_PARSER* p, OVERLAYTYPE* t, int)
{
    t->level = ReadOne(p);
    return 1;
}

static int ThingMorph(TF_PARSER* p, OVERLAYTYPE* t, int)
{
    ReadNone(p);
    t->canbemorphedinto = 1;
    return 1;
}

static int ThingCrater(TF_PARSER* p, OVERLAYTYPE* t, int index)
{
    int size = ReadOne(p);
    if (size < 0 || size >= OVL_CRATER_SIZES) {
        TLOG(TLOG_ERROR, "Bad size for crater (Must be 0..%d)", OVL_CRATER_SIZES - 1);
        TF_ReportErrorLine(p);
        return 0;
    }
    t->iscrater = (uint32_t)(size + 1);
    g_CraterTypes[size] = index;
    return 1;
}

static int ThingSortHeight(TF_PARSER* p, OVERLAYTYPE*, int)
{
    ReadOne(p);
    return 1;
}

static int ThingHitpoints(TF_PARSER* p, OVERLAYTYPE* t, int)
{
    int max, ignored;
    ReadTwo(p, &max, &ignored);
    t->maxhitpoints = max;
    return 1;
}

static int ThingHealthExpl(TF_PARSER* p, OVERLAYTYPE* t, int)
{
    char name[TF_FIELD];
    Open(p, 0);
    int threshold = ReadNumber(p);
    ReadName(p, name);
    Close(p, 0);
    EXPLTYPE* e = Expl_FindType(name);
    if (!e) return Fail(p, "Explosion type %s not defined\n", name);
    Hlthexpl_Add(&t->healthexplosions, threshold, 0, e);
    return 1;
}

static int ThingWater(TF_PARSER* p, OVERLAYTYPE* t, int)
{
    int amount, radius;
    ReadTwo(p, &amount, &radius);
    t->seedwater = (uint8_t)amount;
    t->seedwaterradius = (uint8_t)radius;
    return 1;
}

static int ThingMineral(TF_PARSER* p, OVERLAYTYPE* t, int)
{
    int amount, radius;
    ReadTwo(p, &amount, &radius);
    t->seedmineral = (uint8_t)amount;
    t->seedmineralradius = (uint8_t)radius;
    return 1;
}

static int ThingMakesCrater(TF_PARSER* p, OVERLAYTYPE* t, int)
{
    int size = ReadOne(p);
    // The field holds 3 bits; a larger size would turn into another one.
    if (size < 0 || size > MAKESCRATER_MAX) {
        TLOG(TLOG_ERROR, "Bad size for crater made (Must be 0..%d)", MAKESCRATER_MAX);
        TF_ReportErrorLine(p);
        return 0;
    }
    t->makescrater = (uint32_t)size;
    return 1;
}

static int ThingNoEdit(TF_PARSER* p, OVERLAYTYPE* t, int)
{
    ReadNone(p);
    t->noedit = 1;
    return 1;
}

static const struct {
    const char* keyword;
    int exact;
    int (*read)(TF_PARSER* parser, OVERLAYTYPE* type, int index);
} s_thingKeywords[] = {
    {"SetThingShadowImage", 0, ThingShadow},
    {"SetLevel", 0, ThingLevel},
    {"CanBeMorphedInto", 0, ThingMorph},
    {"IsCrater", 0, ThingCrater},
    {"SetImageSortHeight", 1, ThingSortHeight},
    {"SetHitpoints", 0, ThingHitpoints},
    {"SetHealthExplosion", 1, ThingHealthExpl},
    {"SetWaterSeeding", 0, ThingWater},
    {"SetMineralSeeding", 0, ThingMineral},
    {"MakesCrater", 1, ThingMakesCrater},
    {"NoEdit", 1, ThingNoEdit},
};

static const char* BaseName(const char* path)
{
    const char* base = path;
    for (const char* c = path; *c; c++)
        if (*c == '/' || *c == '\\') base = c + 1;
    return base;
}

static int ReadThingImage(TF_PARSER* parser, OVERLAYTYPE* t)
{
    char token[TF_FIELD];
    if (!TF_ExpectKeyword(parser, "SetThingImage", token)) TF_ReportExpected(parser, "SetThingImage", "EOF");
    t->animtype = ReadAnim(parser);
    if (!t->animtype) return 0;
    t->sprite = t->animtype->sprite;
    if (t->sprite) {
        t->sx = Sprite_GetWidth(t->sprite);
        t->sy = Sprite_GetHeight(t->sprite);
        Str_CopySafe(t->imagename, BaseName(t->sprite->name), sizeof t->imagename);
    }
    return 1;
}

int Tfovl_DefineThingType(TF_PARSER* parser)
{
    OVERLAYTYPE* t = Ovl_NewType();
    if (!t) ERR_FATAL(ERRC_FATAL, "Unable to allocate new overlay type");
    int index = Ovl_NrTypes() - 1;
    char name[TF_FIELD];
    if (!TF_GetParenString(parser, name)) TF_ReportExpected(parser, "_name_", "EOF");
    Str_CopySafe(t->name, name, sizeof t->name);
    Open(parser, 1);
    if (!ReadThingImage(parser, t)) return 0;
    char token[TF_FIELD];
    for (;;) {
        int quoted = 0;
        if (!TF_GetTokenQuoted(parser, token, sizeof token, &quoted))
            TF_ReportExpected(parser, "}", "EOF");
        if (!quoted && strcmp(token, "}") == 0) break;
        const auto* k = std::begin(s_thingKeywords);
        while (k != std::end(s_thingKeywords) &&
               (k->exact ? strcmp(k->keyword, token) : strcasecmp(k->keyword, token)) != 0)
            k++;
        if (k == std::end(s_thingKeywords)) {
            TLOG(TLOG_ERROR, "Unknown string [%s] while parsing %s function", token,
                 "DefineThingType");
            TF_ReportErrorLine(parser);
            return 0;
        }
        if (!k->read(parser, t, index)) return 0;
    }
    MakeMenuImage(t);
    return 1;
}

int Tfovl_ParseThings(TF_PARSER* parser)
{
    char token[TF_FIELD];
    int levels;
    if (!TF_GetKeywordInt(parser, "SetMaxThingLevels", &levels)) return 1;
    while (TF_GetToken(parser, token, sizeof token)) {
        if (strcasecmp(token, "DefineThingType") != 0)
            TF_ReportExpected(parser, "DefineThingType", token);
        if (!Tfovl_DefineThingType(parser)) TF_Error(parser, "Unable to parse DefineThingType");
    }
    return 1;
}

int Tfovl_LoadThings(const char* path)
{
    PARSER_PTR parser(TF_Open(path), TF_Close);
    if (!parser) return 0;
    return Tfovl_ParseThings(parser.get());
}

void Tfovl_FreeThingImages(void)
{
    AnimType_ReloadSprites();
    for (int i = 0; i < Ovl_NrTypes(); i++) MakeMenuImage(Ovl_GetType(i));
}
