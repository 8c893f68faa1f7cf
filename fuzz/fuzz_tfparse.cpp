// Hostile bytes through the text-file tokenizer: every reader on every text,
// in an order chosen by the first byte and by where the parser stands.
#include <cstddef>
#include <cstdint>

#include "core/gll.h"
#include "core/tfparse.h"
#include "fuzzsupport.h"

enum { FUZZ_OPS = 16, FUZZ_STEPS = 4096 };

static void Step(TF_PARSER* parser, GLL* list, int op)
{
    char buffer[TF_LONGTOKEN];
    char field[TF_FIELD];
    char name[TF_FILENAME];
    char strings[3][TF_FIELD];
    int ints[4];
    float floats[3];
    float f;

    switch (op) {
    case 0: TF_GetToken(parser, buffer, sizeof buffer); break;
    case 1: TF_GetToken(parser, field, 2); break;
    case 2: TF_PeekToken(parser, field, sizeof field); break;
    case 3: TF_GetInt(parser, field, &ints[0]); break;
    case 4: TF_GetFloat(parser, field, &f); break;
    case 5: TF_GetString(parser, field); break;
    case 6: TF_GetFilename(parser, name); break;
    case 7: TF_GetIntList(parser, ints, 4); break;
    case 8: TF_GetStringList(parser, strings, 3); break;
    case 9: TF_GetFloatList(parser, floats, 3); break;
    case 10: TF_GetBraceInt(parser, list); break;
    case 11: TF_GetParenInt4(parser, &ints[0], &ints[1], &ints[2], &ints[3]); break;
    case 12: TF_GetParenString(parser, field); break;
    case 13: TF_GetKeywordInt2(parser, "Size", &ints[0], &ints[1]); break;
    case 14: TF_ExpectKeywordIf(parser, 0, "Unit"); break;
    default: TF_ExpectEmptyParens(parser); break;
    }
}

static void Drive(TF_PARSER* parser, GLL* list, unsigned first)
{
    for (unsigned i = 0; i < FUZZ_STEPS && parser->pos < parser->length; i++) {
        Step(parser, list, (int)((first + i + parser->pos) % FUZZ_OPS));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    if (size == 0) return 0;
    // Outside the guard, so that a fatal error half way still frees them.
    TF_PARSER* parser = nullptr;
    GLL* list = nullptr;
    QV_FUZZ_GUARD({
        parser = TF_OpenText("fuzz.txt", (const char*)data + 1, size - 1);
        list = GLL_Create();
        Drive(parser, list, data[0]);
    });
    TF_Close(parser);
    GLL_Destroy(list, GLL_FREE_ELEMENTS);
    return 0;
}
