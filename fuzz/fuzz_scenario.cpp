// Hostile scenario files: checked as the front end checks them before a
// start, then read as a game reads them, over fixed rule files
// (the demo's, with its sprites, palette and tile set) and a fixed 32 x 32
// map. Each input is one game: the common systems start before the load and
// close after it, whether it ends or is refused.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzzinstall.h"
#include "fuzzsupport.h"
#include "game/systems.h"
#include "rules/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzz_Setup();
    static bool installed = false;
    if (!installed) {
        QvFuzz_WriteInstallation();
        installed = true;
    }
    FILE* f = fopen(QvFuzz_Path("scenario/SINGLE/FUZZ/QUORVEX.scn"), "wb");
    if (!f) abort();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    QvFuzzHeapCheck check;
    // The front end's look before a start reads the same file: it never
    // fails without saying why.
    char why[512] = "";
    if (!Scenario_Check(why, sizeof why) && !why[0]) abort();
    InitCommonGameSystems();
    QV_FUZZ_GUARD(Scenario_Load(nullptr));
    CloseCommonGameSystems();
    // The types go with the modules that hold them open, once no unit,
    // building or thing of the game points at them.
    InitCommonGameSystems();
    QvFuzz_FreeRuleTypes();
    CloseCommonGameSystems();
    return 0;
}
