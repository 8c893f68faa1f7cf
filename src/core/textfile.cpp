// Readers shared by the definition files.
//
// The tokenizer's bracket forms return 0 at the end of the text, so a file
// that simply stops returns 0 here and the calling loader reports its own
// block as broken.
#include "core/textfile.h"

#include <cstring>

#include "core/mlstring.h"
#include "core/utils.h"

static int KeywordInt(TF_PARSER* parser, int keyword_read, const char* keyword, int* value)
{
    return TF_ExpectKeywordIf(parser, keyword_read, keyword) && TF_GetParenInt(parser, value);
}

static int KeywordFlag(TF_PARSER* parser, int keyword_read, const char* keyword, int* flag)
{
    if (!TF_ExpectKeywordIf(parser, keyword_read, keyword) || !TF_ExpectEmptyParens(parser))
        return 0;
    *flag = 1;
    return 1;
}

int Textfile_ParseSetDescription(TF_PARSER* parser, int keyword_read, char* buffer)
{
    char key[TF_FIELD];
    if (!TF_ExpectKeywordIf(parser, keyword_read, "SetDescription")) return 0;
    if (!TF_GetParenString(parser, key)) return 0;
    if (!MLString_Get(key, buffer, TF_FIELD, 1)) Str_CopySafe(buffer, key, TF_FIELD);
    return 1;
}

int Textfile_ParseSetCPULoad(TF_PARSER* parser, int keyword_read, int* load)
{
    return KeywordInt(parser, keyword_read, "SetCPULoad", load);
}

int Textfile_ParseSetSide(TF_PARSER* parser, int keyword_read, int* side)
{
    return KeywordInt(parser, keyword_read, "SetSide", side);
}

int Textfile_ParseSetImageSortHeight(TF_PARSER* parser, int keyword_read, int* height)
{
    return KeywordInt(parser, keyword_read, "SetImageSortHeight", height);
}

int Textfile_ParseSetCost(TF_PARSER* parser, int keyword_read, int* cost, int* time)
{
    if (!TF_ExpectKeywordIf(parser, keyword_read, "SetCost")) return 0;
    if (!TF_GetParenInt2(parser, cost, time)) return 0;
    // Production divides by the build time.
    if (*time < 1) *time = 1;
    return 1;
}

int Textfile_ParseSetHitpoints(TF_PARSER* parser, int keyword_read, int* max, int* second)
{
    return TF_ExpectKeywordIf(parser, keyword_read, "SetHitpoints") &&
           TF_GetParenInt2(parser, max, second);
}

int Textfile_ParseCanRepair(TF_PARSER* parser, int keyword_read, int* flag)
{
    return KeywordFlag(parser, keyword_read, "CanRepair", flag);
}

int Textfile_ParseCanHeal(TF_PARSER* parser, int keyword_read, int* flag)
{
    return KeywordFlag(parser, keyword_read, "CanHeal", flag);
}

// --- the prerequisite block ---

// The ids end up in unsigned 16-bit fields: a value that doesn't fit would
// silently become another type's id.
static void CheckId(TF_PARSER* parser, int id)
{
    if (id < 0 || id > TEXTFILE_MAXPREREQID) TF_Error(parser, "Prerequisite id out of range [%d]", id);
}

// keyword "(" up to TEXTFILE_PREREQS ids ")".
static int IdList(TF_PARSER* parser, const char* keyword, int* ids)
{
    char buffer[TF_FIELD];
    if (!TF_ExpectKeyword(parser, keyword, buffer)) return 0;
    int count = TF_GetIntList(parser, ids, TEXTFILE_PREREQS);
    for (int i = 0; i < count; i++) CheckId(parser, ids[i]);
    return 1;
}

// An optional line: read only when the next token is keyword, spelled
// exactly. 1 when absent or read whole, 0 when the text ended inside it.
static int OptionalInt(TF_PARSER* parser, const char* keyword, int* value)
{
    char token[TF_FIELD];
    if (!TF_PeekToken(parser, token, sizeof token) || strcmp(token, keyword) != 0) return 1;
    TF_GetToken(parser, token, sizeof token);
    return TF_GetParenInt(parser, value);
}

int Textfile_ParsePrereqs(TF_PARSER* parser, int keyword_read, int* type,
                          int makers[TEXTFILE_PREREQS], int prereqs[TEXTFILE_PREREQS],
                          int* equivalence, int* techlevel)
{
    *type = 0;
    *equivalence = 0;
    *techlevel = 0;
    for (int i = 0; i < TEXTFILE_PREREQS; i++) makers[i] = prereqs[i] = 0;

    if (!TF_ExpectKeywordIf(parser, keyword_read, "SetRequirements")) return 0;
    if (!TF_ExpectOpenBrace(parser)) return 0;

    if (!KeywordInt(parser, 0, "SetType", type)) return 0;
    CheckId(parser, *type);
    if (!IdList(parser, "SetPrereqs", prereqs)) return 0;
    if (!IdList(parser, "SetMaker", makers)) return 0;
    if (!OptionalInt(parser, "SetEquivalence", equivalence)) return 0;
    CheckId(parser, *equivalence);
    if (!OptionalInt(parser, "SetTechLevel", techlevel)) return 0;
    // Stored in a byte and compared with the scenario's 0..10: a negative
    // level would wrap to a type that no tech level ever allows.
    if (*techlevel < 0 || *techlevel > TEXTFILE_MAXTECHLEVEL)
        TF_Error(parser, "Tech-level out of range [%d]", *techlevel);

    return TF_ExpectCloseBrace(parser);
}
