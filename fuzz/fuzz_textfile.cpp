// Hostile bytes through the readers shared by the definition files: a
// definition-file driver that hands each keyword to its reader and skips
// every other token, as the unit and building loaders do.
#include <cstddef>
#include <cstdint>
#include <strings.h>

#include "core/textfile.h"
#include "core/tfparse.h"
#include "fuzzsupport.h"

enum { FUZZ_STEPS = 4096 };

typedef int (*FUZZ_READER)(TF_PARSER* parser);

static int Description(TF_PARSER* p)
{
    char text[TF_FIELD];
    return Textfile_ParseSetDescription(p, 1, text);
}

static int CpuLoad(TF_PARSER* p)
{
    int v;
    return Textfile_ParseSetCPULoad(p, 1, &v);
}

static int Side(TF_PARSER* p)
{
    int v;
    return Textfile_ParseSetSide(p, 1, &v);
}

static int SortHeight(TF_PARSER* p)
{
    int v;
    return Textfile_ParseSetImageSortHeight(p, 1, &v);
}

static int Cost(TF_PARSER* p)
{
    int cost, time;
    return Textfile_ParseSetCost(p, 1, &cost, &time);
}

static int Hitpoints(TF_PARSER* p)
{
    int max, second;
    return Textfile_ParseSetHitpoints(p, 1, &max, &second);
}

static int Repair(TF_PARSER* p)
{
    int flag = 0;
    return Textfile_ParseCanRepair(p, 1, &flag);
}

static int Heal(TF_PARSER* p)
{
    int flag = 0;
    return Textfile_ParseCanHeal(p, 1, &flag);
}

static int Requirements(TF_PARSER* p)
{
    int type, equivalence, techlevel;
    int makers[TEXTFILE_PREREQS], prereqs[TEXTFILE_PREREQS];
    return Textfile_ParsePrereqs(p, 1, &type, makers, prereqs, &equivalence, &techlevel);
}

static const struct {
    const char* keyword;
    FUZZ_READER reader;
} s_readers[] = {
    {"SetDescription", Description}, {"SetCPULoad", CpuLoad},
    {"SetSide", Side},               {"SetImageSortHeight", SortHeight},
    {"SetCost", Cost},               {"SetHitpoints", Hitpoints},
    {"CanRepair", Repair},           {"CanHeal", Heal},
    {"SetRequirements", Requirements},
};

static void Drive(TF_PARSER* parser)
{
    char token[TF_FIELD];
    for (int step = 0; step < FUZZ_STEPS && TF_GetToken(parser, token, sizeof token); step++) {
        for (const auto& entry : s_readers) {
            if (strcasecmp(token, entry.keyword) != 0) continue;
            if (!entry.reader(parser)) return;
            break;
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    // Outside the guard, so that a fatal error half way still frees it.
    TF_PARSER* parser = nullptr;
    QV_FUZZ_GUARD({
        parser = TF_OpenText("fuzz.txt", (const char*)data, size);
        Drive(parser);
    });
    TF_Close(parser);
    return 0;
}
