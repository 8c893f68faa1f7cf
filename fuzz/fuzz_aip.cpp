// Hostile bytes as an AI plan, read against fixed unit and building types:
// the load gives a plan or null, never an assertion (out-of-range entries
// are skipped before the program's setters see them); every account of a
// plan dumps, and deleting the plan frees all the load allocated.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "ai/aip.h"
#include "ai/aiprog.h"
#include "fuzzsupport.h"
#include "units/building.h"
#include "units/prereq.h"
#include "units/unit.h"

namespace {

UNITTYPE* UnitType(const char* name, int id)
{
    UNITTYPE* t = Units_NewType();
    snprintf(t->symbolid, sizeof t->symbolid, "%s", name);
    t->prereq.id = (uint16_t)id;
    t->prereq.makers[0] = 10;
    return t;
}

BUILDINGTYPE* BuildingType(const char* name, int id)
{
    BUILDINGTYPE* t = Build_NewType();
    snprintf(t->name, sizeof t->name, "%s", name);
    t->prereq.id = (uint16_t)id;
    return t;
}

// Tank (1), Jet (2), Factory (10) and BigFactory (11), its upgrade.
void OpenTypes(void)
{
    static bool open = false;
    if (open) return;
    open = true;
    Units_InitAll();
    Build_InitAll();
    UnitType("Tank", 1);
    UnitType("Jet", 2);
    BUILDINGTYPE* factory = BuildingType("Factory", 10);
    BUILDINGTYPE* big = BuildingType("BigFactory", 11);
    factory->upgradeto = big;
    big->upgradefrom = factory;
    PREREQ_Init();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QV_FUZZ_GUARD(OpenTypes());
    QvFuzzHeapCheck heap;
    const char* path = QvFuzz_WriteTemp(".aip", data, size);
    if (!path) return 0;
    QV_FUZZ_GUARD({
        AIP_struct* plan = AIP_Load(path);
        if (plan) {
            for (int a = 0; a < AIBUILD_MAX_ACCOUNTS; a++)
                AIBuild_AccountDumpOf(plan->construction_program->account[a], 0, a);
            AIP_Delete(plan);
        }
    });
    return 0;
}
