#include "rules/tfovl.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <strings.h>
#include <vector>

#include "core/tfparse.h"
#include "core/utils.h"
#include "platform/effects.h"

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
